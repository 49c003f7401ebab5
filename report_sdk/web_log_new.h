// IWebLogNew: the report interface the program hands out through GetReportObj. Its six slots
// keep their order (Init, SetClientInfo, SetExtraCommon, PostEvent, PostGA4, destructor) because
// a host that loads the interface from the executable calls them by position.
//
// Threading: Init once (start-up), then SetClientInfo; SetExtraCommon, PostEvent and PostGA4 may
// be called from any thread. GetReportObj is safe from any thread; DestroyReportObj only from a
// host that no longer uses the interface.
// Ownership: the process owns the one instance; callers never delete it themselves.
#pragma once

#ifndef KERFO_REPORT_EXPORT
#define KERFO_REPORT_EXPORT
#endif

class IWebLogNew {
 public:
  // type 1: a product reports, 2: a downloader reports. Texts are UTF-8; null reads as "".
  virtual int Init(int type, int mainPid, int subPid, const char* email, const char* phone,
                   const char* product, const char* productVersion, const char* userId) = 0;
  virtual int SetClientInfo(int downloaderId, int kitType, const char* toolsLang,
                            const char* toolsVersion) = 0;
  // Members merged into every document's "common" block; -1 for text shorter than 2 bytes.
  virtual int SetExtraCommon(const char* json) = 0;
  // 0 accepted, -1 refused as a repeat, -2 an immediate send failed (item kept), -99..-90 the
  // document did not pass its checks.
  virtual int PostEvent(const char* json, bool bWait) = 0;
  // The query tail of a GA4 hit; results as PostEvent without the validation codes.
  virtual int PostGA4(const char* tail, bool bWait) = 0;
  virtual ~IWebLogNew() = default;
};

// Hands out the process's report interface, creating it on the first call.
KERFO_REPORT_EXPORT IWebLogNew* GetReportObj();
// Destroys the interface and starts the executable again with "-sendrestlogs", which delivers
// what is still stored and ends.
KERFO_REPORT_EXPORT void DestroyReportObj();
