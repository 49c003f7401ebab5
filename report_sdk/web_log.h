// WebLog: the IWebLogNew the program hands out. It has no state of its own; every slot goes to
// the context it was made over (the process-wide CManagement for GetReportObj's instance).
// Threading: as IWebLogNew. Ownership: does not own the context.
#pragma once

#include "report_sdk/management.h"
#include "report_sdk/web_log_new.h"

namespace reportsdk {

class WebLog : public IWebLogNew {
 public:
  explicit WebLog(CManagement* context) : context_(context) {}

  int Init(int type, int mainPid, int subPid, const char* email, const char* phone,
           const char* product, const char* productVersion, const char* userId) override;
  int SetClientInfo(int downloaderId, int kitType, const char* toolsLang,
                    const char* toolsVersion) override;
  int SetExtraCommon(const char* json) override;
  int PostEvent(const char* json, bool bWait) override;
  int PostGA4(const char* tail, bool bWait) override;
  ~WebLog() override = default;

 private:
  CManagement* context_;
};

}  // namespace reportsdk
