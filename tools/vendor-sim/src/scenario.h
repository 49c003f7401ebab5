// The scenario of the vendor simulator: what every simulated service answers, which faults it
// injects and where its files live, read from JSON at start and replaced or patched at run
// time through the admin API.
// A Scenario is a plain value: build it on one thread, then share it read-only (the simulator
// hands out shared_ptr<const Scenario> snapshots). Rule counters live in RuleBook, which locks.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vendorsim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// CDN headers a download answer carries; the installer reads them with fixed offsets, so they
// are written exactly as real edges write them ("CF-RAY: <id>-<location>").
struct CdnHeaders {
  enum class Kind { kNone, kCloudflare, kXCache };
  Kind kind = Kind::kNone;
  std::string cacheStatus = "HIT";
  std::string rayId = "8c1f0e2d3b4a5f60";
  std::string location = "LAX";
  std::string xCache = "HIT";
};

// Faults of one download answer. Each changes exactly one aspect of the answer.
struct DownloadFaults {
  int64_t rateBytesPerSecond = 0;  // 0: unlimited
  int64_t dropAfter = -1;          // close the connection after this many body bytes
  int64_t stallAfter = -1;         // pause once after this many body bytes...
  int stallMs = 0;                 // ...for this long
  bool whole200 = false;           // ignore Range: 200 with the whole file
  int64_t wrongTotalDelta = 0;     // added to the total after "/" in Content-Range
  bool noLength = false;           // no Content-Length; the body ends with the connection
  bool lowercaseHeaders = false;   // every header name in lower case
  int64_t corruptOffset = -1;      // flip the bits of the byte at this file offset
  int64_t resetAfter = -1;         // reset the connection (RST) after this many body bytes
  int64_t bodyDelta = 0;           // a 206 body this many bytes longer (shorter) than its range

  bool operator==(const DownloadFaults& other) const;
};

// One scripted deviation. A rule matches requests by endpoint, method and path; it counts the
// requests it matches (1, 2, 3...) and acts on numbers first .. first + count - 1 (count 0: all
// from first on).
struct Rule {
  std::string id;
  std::string endpoint;  // "" any
  std::string method;    // "" any
  std::string path;      // "" any; exact match
  int first = 1;
  int count = 0;
  // Actions, applied in this order: delay, drop or status, extra headers; the download
  // faults only affect file answers of the download host.
  int delayMs = 0;
  bool drop = false;
  int status = 0;
  std::string body;
  bool hasBody = false;
  HeaderList headers;
  bool hasCdn = false;
  CdnHeaders cdn;
  DownloadFaults faults;
};

struct ConfigSection {
  std::string mode = "answer";  // answer | no_element | silent | close
  int status = 200;
  int delayMs = 0;
  bool bom = false;
  std::string before;  // text before <Downloader>
  std::string after;   // text after </Downloader>
  std::vector<std::pair<std::string, std::string>> children;  // element name, text
  bool hasBody = false;
  std::string body;  // replaces the whole answer when given
  std::string contentType = "text/xml; charset=utf-8";
};

struct Redirect {
  std::string target;  // absolute URL or a path on the same host
  int status = 302;
};

struct DownloadSection {
  std::string dir;  // the served folder
  CdnHeaders cdn;
  std::map<std::string, Redirect> redirects;
  std::set<std::string> notFound;
};

struct DataSection {
  std::string salt = "Wm4tPq9eXz2LbR7c";
  bool checkSignature = true;
  int64_t maxSkewSeconds = 300;
  std::string shape = "members";  // members | data | array
  Json::Value banners = Json::Value(Json::arrayValue);
  Json::Value privacy = Json::Value(Json::arrayValue);
  std::string imagesDir;
  int badSignatureCode = 401;
  int staleCode = 408;
  int missingCode = 400;
};

// Services that only record and answer: alert, collectors, GA4, log upload.
struct SimpleSection {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
  bool requireJson = false;  // a body that is not JSON gets 400
};

struct Scenario {
  ConfigSection config;
  bool hasConfigCn = false;
  ConfigSection configCn;  // the China host; the same as config unless given
  DownloadSection download;
  DataSection data;
  SimpleSection alert;
  SimpleSection collector;
  SimpleSection ga4;
  SimpleSection logUpload;
  std::vector<Rule> rules;
  Json::Value source = Json::Value(Json::objectValue);  // as given, for GET /scenario
};

Scenario DefaultScenario();

// Reads a scenario. Relative folders are taken from baseDir. Unknown keys are refused, so a
// misspelt fault never silently does nothing.
bool ParseScenario(const Json::Value& root, const std::string& baseDir, Scenario* scenario,
                   std::string* error);
bool ParseRule(const Json::Value& value, Rule* rule, std::string* error);

bool ParseJsonText(const std::string& text, Json::Value* value, std::string* error);
bool LoadScenarioFile(const std::string& path, Scenario* scenario, std::string* error);

// Objects merge member by member, everything else replaces.
Json::Value MergeJson(const Json::Value& base, const Json::Value& patch);

// Rules with their counters. Thread-safe.
class RuleBook {
 public:
  struct Match {
    std::vector<Rule> rules;  // copies of the rules that act on this request, in rule order
    std::vector<std::string> ids;
  };
  void Replace(const std::vector<Rule>& rules);
  void Add(const Rule& rule);
  void Clear();
  // Counts the request against every matching rule and returns those that act on it.
  Match Apply(const std::string& endpoint, const std::string& method, const std::string& path);
  Json::Value ToJson() const;

 private:
  struct Entry {
    Rule rule;
    int seen = 0;
    int acted = 0;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

// Combined effect of the acting rules on one request: the later rule wins per field.
struct Effect {
  int delayMs = 0;
  bool drop = false;
  int status = 0;
  bool hasBody = false;
  std::string body;
  HeaderList headers;
  bool hasCdn = false;
  CdnHeaders cdn;
  DownloadFaults faults;
};
Effect CombineRules(const std::vector<Rule>& rules);

}  // namespace vendorsim
