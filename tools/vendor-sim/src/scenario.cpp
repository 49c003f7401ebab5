#include "scenario.h"

#include <fstream>
#include <sstream>

namespace vendorsim {
namespace {

// Reports the first key of obj that is not in allowed.
bool CheckKeys(const Json::Value& obj, std::initializer_list<const char*> allowed,
               const std::string& where, std::string* error) {
  if (!obj.isObject()) {
    *error = where + " must be an object";
    return false;
  }
  for (const std::string& key : obj.getMemberNames()) {
    bool known = key == "comment";
    for (const char* name : allowed) known = known || key == name;
    if (!known) {
      *error = "unknown key \"" + key + "\" in " + where;
      return false;
    }
  }
  return true;
}

bool GetInt(const Json::Value& obj, const char* key, const std::string& where, int64_t* out,
            std::string* error) {
  if (!obj.isMember(key)) return true;
  const Json::Value& value = obj[key];
  if (!value.isInt64()) {
    *error = where + "." + key + " must be an integer";
    return false;
  }
  *out = value.asInt64();
  return true;
}

bool GetInt(const Json::Value& obj, const char* key, const std::string& where, int* out,
            std::string* error) {
  int64_t wide = *out;
  if (!GetInt(obj, key, where, &wide, error)) return false;
  if (wide < INT32_MIN || wide > INT32_MAX) {
    *error = where + "." + key + " is out of range";
    return false;
  }
  *out = static_cast<int>(wide);
  return true;
}

bool GetBool(const Json::Value& obj, const char* key, const std::string& where, bool* out,
             std::string* error) {
  if (!obj.isMember(key)) return true;
  if (!obj[key].isBool()) {
    *error = where + "." + key + " must be true or false";
    return false;
  }
  *out = obj[key].asBool();
  return true;
}

bool GetString(const Json::Value& obj, const char* key, const std::string& where,
               std::string* out, std::string* error, bool* present = nullptr) {
  if (!obj.isMember(key)) return true;
  if (!obj[key].isString()) {
    *error = where + "." + key + " must be a string";
    return false;
  }
  *out = obj[key].asString();
  if (present != nullptr) *present = true;
  return true;
}

bool InRange(int64_t value, int64_t low, int64_t high, const std::string& name,
             std::string* error) {
  if (value < low || value > high) {
    *error = name + " must lie between " + std::to_string(low) + " and " + std::to_string(high);
    return false;
  }
  return true;
}

bool IsStatus(int status) { return status >= 100 && status <= 599; }

std::string Resolve(const std::string& dir, const std::string& baseDir) {
  if (dir.empty() || dir.front() == '/' || baseDir.empty()) return dir;
  return baseDir + (baseDir.back() == '/' ? "" : "/") + dir;
}

// Element text: strings as they are, numbers in decimal, null as an empty element.
bool ChildText(const Json::Value& value, const std::string& where, std::string* text,
               std::string* error) {
  if (value.isNull()) {
    text->clear();
  } else if (value.isString()) {
    *text = value.asString();
  } else if (value.isInt64()) {
    *text = std::to_string(value.asInt64());
  } else if (value.isUInt64()) {
    *text = std::to_string(value.asUInt64());
  } else {
    *error = where + " must be a string, an integer or null";
    return false;
  }
  return true;
}

bool ParseCdn(const Json::Value& obj, const std::string& where, CdnHeaders* cdn,
              std::string* error) {
  if (!CheckKeys(obj, {"kind", "cache_status", "ray_id", "location", "x_cache"}, where, error)) {
    return false;
  }
  std::string kind = "none";
  if (!GetString(obj, "kind", where, &kind, error)) return false;
  if (kind == "cloudflare") {
    cdn->kind = CdnHeaders::Kind::kCloudflare;
  } else if (kind == "xcache") {
    cdn->kind = CdnHeaders::Kind::kXCache;
  } else if (kind == "none") {
    cdn->kind = CdnHeaders::Kind::kNone;
  } else {
    *error = where + ".kind must be cloudflare, xcache or none";
    return false;
  }
  return GetString(obj, "cache_status", where, &cdn->cacheStatus, error) &&
         GetString(obj, "ray_id", where, &cdn->rayId, error) &&
         GetString(obj, "location", where, &cdn->location, error) &&
         GetString(obj, "x_cache", where, &cdn->xCache, error);
}

bool ParseConfig(const Json::Value& obj, const std::string& where, ConfigSection* config,
                 std::string* error) {
  if (!CheckKeys(obj, {"mode", "status", "delay_ms", "bom", "before", "after", "downloader",
                       "body", "content_type"},
                 where, error)) {
    return false;
  }
  if (!GetString(obj, "mode", where, &config->mode, error) ||
      !GetInt(obj, "status", where, &config->status, error) ||
      !GetInt(obj, "delay_ms", where, &config->delayMs, error) ||
      !GetBool(obj, "bom", where, &config->bom, error) ||
      !GetString(obj, "before", where, &config->before, error) ||
      !GetString(obj, "after", where, &config->after, error) ||
      !GetString(obj, "body", where, &config->body, error, &config->hasBody) ||
      !GetString(obj, "content_type", where, &config->contentType, error)) {
    return false;
  }
  if (config->mode != "answer" && config->mode != "no_element" && config->mode != "silent" &&
      config->mode != "close") {
    *error = where + ".mode must be answer, no_element, silent or close";
    return false;
  }
  if (!IsStatus(config->status)) {
    *error = where + ".status is not an HTTP status";
    return false;
  }
  if (!InRange(config->delayMs, 0, 600000, where + ".delay_ms", error)) return false;
  if (obj.isMember("downloader")) {
    const Json::Value& children = obj["downloader"];
    config->children.clear();
    if (children.isObject()) {
      for (const std::string& name : children.getMemberNames()) {
        std::string text;
        if (!ChildText(children[name], where + ".downloader." + name, &text, error)) return false;
        config->children.emplace_back(name, text);
      }
    } else if (children.isArray()) {
      for (Json::ArrayIndex i = 0; i < children.size(); ++i) {
        const Json::Value& pair = children[i];
        const std::string at = where + ".downloader[" + std::to_string(i) + "]";
        if (!pair.isArray() || pair.size() != 2 || !pair[0].isString()) {
          *error = at + " must be [\"Name\", value]";
          return false;
        }
        std::string text;
        if (!ChildText(pair[1], at, &text, error)) return false;
        config->children.emplace_back(pair[0].asString(), text);
      }
    } else {
      *error = where + ".downloader must be an object or an array of pairs";
      return false;
    }
  }
  return true;
}

bool ParseDownload(const Json::Value& obj, const std::string& baseDir, DownloadSection* download,
                   std::string* error) {
  const std::string where = "download";
  if (!CheckKeys(obj, {"dir", "cdn", "redirects", "not_found"}, where, error)) return false;
  std::string dir;
  bool hasDir = false;
  if (!GetString(obj, "dir", where, &dir, error, &hasDir)) return false;
  if (hasDir) download->dir = Resolve(dir, baseDir);
  if (obj.isMember("cdn") && !ParseCdn(obj["cdn"], where + ".cdn", &download->cdn, error)) {
    return false;
  }
  if (obj.isMember("redirects")) {
    const Json::Value& redirects = obj["redirects"];
    if (!redirects.isObject()) {
      *error = "download.redirects must be an object of path: target";
      return false;
    }
    download->redirects.clear();
    for (const std::string& from : redirects.getMemberNames()) {
      const Json::Value& to = redirects[from];
      const std::string at = "download.redirects[\"" + from + "\"]";
      Redirect redirect;
      if (to.isString()) {
        redirect.target = to.asString();
      } else if (CheckKeys(to, {"target", "status"}, at, error)) {
        if (!GetString(to, "target", at, &redirect.target, error) ||
            !GetInt(to, "status", at, &redirect.status, error)) {
          return false;
        }
      } else {
        return false;
      }
      if (redirect.target.empty() || redirect.status < 300 || redirect.status > 399) {
        *error = at + " needs a target and a 3xx status";
        return false;
      }
      download->redirects[from] = redirect;
    }
  }
  if (obj.isMember("not_found")) {
    const Json::Value& list = obj["not_found"];
    if (!list.isArray()) {
      *error = "download.not_found must be an array of paths";
      return false;
    }
    download->notFound.clear();
    for (const Json::Value& path : list) {
      if (!path.isString()) {
        *error = "download.not_found must hold strings";
        return false;
      }
      download->notFound.insert(path.asString());
    }
  }
  return true;
}

bool ParseData(const Json::Value& obj, const std::string& baseDir, DataSection* data,
               std::string* error) {
  const std::string where = "data";
  if (!CheckKeys(obj, {"salt", "check_signature", "max_skew_s", "shape", "banners", "privacy",
                       "images_dir", "bad_signature_code", "stale_code", "missing_code"},
                 where, error)) {
    return false;
  }
  std::string images;
  bool hasImages = false;
  if (!GetString(obj, "salt", where, &data->salt, error) ||
      !GetBool(obj, "check_signature", where, &data->checkSignature, error) ||
      !GetInt(obj, "max_skew_s", where, &data->maxSkewSeconds, error) ||
      !GetString(obj, "shape", where, &data->shape, error) ||
      !GetString(obj, "images_dir", where, &images, error, &hasImages) ||
      !GetInt(obj, "bad_signature_code", where, &data->badSignatureCode, error) ||
      !GetInt(obj, "stale_code", where, &data->staleCode, error) ||
      !GetInt(obj, "missing_code", where, &data->missingCode, error)) {
    return false;
  }
  if (hasImages) data->imagesDir = Resolve(images, baseDir);
  if (data->shape != "members" && data->shape != "data" && data->shape != "array") {
    *error = "data.shape must be members, data or array";
    return false;
  }
  if (data->maxSkewSeconds < 0) {
    *error = "data.max_skew_s must not be negative";
    return false;
  }
  for (const char* key : {"banners", "privacy"}) {
    if (!obj.isMember(key)) continue;
    if (!obj[key].isArray()) {
      *error = std::string("data.") + key + " must be an array of items";
      return false;
    }
    (std::string(key) == "banners" ? data->banners : data->privacy) = obj[key];
  }
  return true;
}

bool ParseSimple(const Json::Value& obj, const std::string& where, SimpleSection* simple,
                 std::string* error) {
  if (!CheckKeys(obj, {"status", "body", "content_type", "require_json"}, where, error)) {
    return false;
  }
  if (!GetInt(obj, "status", where, &simple->status, error) ||
      !GetString(obj, "body", where, &simple->body, error) ||
      !GetString(obj, "content_type", where, &simple->contentType, error) ||
      !GetBool(obj, "require_json", where, &simple->requireJson, error)) {
    return false;
  }
  if (!IsStatus(simple->status)) {
    *error = where + ".status is not an HTTP status";
    return false;
  }
  return true;
}

}  // namespace

bool DownloadFaults::operator==(const DownloadFaults& o) const {
  return rateBytesPerSecond == o.rateBytesPerSecond && dropAfter == o.dropAfter &&
         stallAfter == o.stallAfter && stallMs == o.stallMs && whole200 == o.whole200 &&
         wrongTotalDelta == o.wrongTotalDelta && noLength == o.noLength &&
         lowercaseHeaders == o.lowercaseHeaders && corruptOffset == o.corruptOffset &&
         resetAfter == o.resetAfter && bodyDelta == o.bodyDelta;
}

Scenario DefaultScenario() {
  Scenario s;
  const std::string setup = "kerfo-fixture-setup-signed.exe";
  s.config.children = {
      {"Downloader_id", "101"},
      {"Software_id", "1001"},
      {"Site_id", "1"},
      {"Software_name", "Kerfo PDF Editor"},
      {"Software_version", "1.0.0.1"},
      {"Install_url", ""},
      {"Download_url", "{download}/" + setup},
      {"Banner_url", ""},
      {"Md5", "{md5:" + setup + "}"},
      {"Filesize", "{size:" + setup + "}"},
      {"Extra_download_url", "{download}/" + setup},
      {"Cnet_download_url", ""},
      {"Md5_extra", ""},
      {"Downloader_type", "1"},
      {"Downloader_config", "0"},
      {"Slice_num", "0"},
      {"Slice_size", "0"},
      {"Additional_time", "0"},
      {"Back_running", "0"},
      {"TimeoutCfg", "3,20"},
  };
  Json::Value banner(Json::objectValue);
  banner["banner_url"] = "{http:DataService}/images/banner1.png";
  banner["jump_url"] = "{http:DataService}/landing/1";
  banner["prompt"] = "Kerfo PDF Editor";
  banner["sort"] = 1;
  s.data.banners.append(banner);
  banner["banner_url"] = "{http:DataService}/images/banner2.png";
  banner["jump_url"] = "{http:DataService}/landing/2";
  banner["sort"] = 2;
  s.data.banners.append(banner);
  Json::Value privacy(Json::objectValue);
  privacy["lang_code"] = "en";
  Json::Value tc(Json::objectValue);
  tc["field"] = "tc";
  tc["url"] = "{http:DataService}/terms/en";
  Json::Value p(Json::objectValue);
  p["field"] = "p";
  p["url"] = "{http:DataService}/privacy/en";
  privacy["urls"].append(tc);
  privacy["urls"].append(p);
  s.data.privacy.append(privacy);
  s.alert.body = "{\"code\":200,\"msg\":\"ok\"}";
  s.collector.body = "{\"code\":200,\"msg\":\"ok\"}";
  s.collector.requireJson = true;
  s.ga4.status = 204;
  s.ga4.contentType = "text/plain";
  s.logUpload.body = "{\"code\":200,\"msg\":\"success\"}";
  return s;
}

bool ParseRule(const Json::Value& value, Rule* rule, std::string* error) {
  const std::string where = "rule";
  if (!CheckKeys(value, {"id", "endpoint", "method", "path", "first", "count", "delay_ms",
                         "drop", "status", "body", "headers", "cdn", "rate_bps", "drop_after",
                         "stall_after", "stall_ms", "whole_200", "wrong_total", "no_length",
                         "lowercase_headers", "corrupt_offset", "reset_after", "body_delta"},
                 where, error)) {
    return false;
  }
  Rule r;
  DownloadFaults& f = r.faults;
  if (!GetString(value, "id", where, &r.id, error) ||
      !GetString(value, "endpoint", where, &r.endpoint, error) ||
      !GetString(value, "method", where, &r.method, error) ||
      !GetString(value, "path", where, &r.path, error) ||
      !GetInt(value, "first", where, &r.first, error) ||
      !GetInt(value, "count", where, &r.count, error) ||
      !GetInt(value, "delay_ms", where, &r.delayMs, error) ||
      !GetBool(value, "drop", where, &r.drop, error) ||
      !GetInt(value, "status", where, &r.status, error) ||
      !GetString(value, "body", where, &r.body, error, &r.hasBody) ||
      !GetInt(value, "rate_bps", where, &f.rateBytesPerSecond, error) ||
      !GetInt(value, "drop_after", where, &f.dropAfter, error) ||
      !GetInt(value, "stall_after", where, &f.stallAfter, error) ||
      !GetInt(value, "stall_ms", where, &f.stallMs, error) ||
      !GetBool(value, "whole_200", where, &f.whole200, error) ||
      !GetInt(value, "wrong_total", where, &f.wrongTotalDelta, error) ||
      !GetBool(value, "no_length", where, &f.noLength, error) ||
      !GetBool(value, "lowercase_headers", where, &f.lowercaseHeaders, error) ||
      !GetInt(value, "corrupt_offset", where, &f.corruptOffset, error) ||
      !GetInt(value, "reset_after", where, &f.resetAfter, error) ||
      !GetInt(value, "body_delta", where, &f.bodyDelta, error)) {
    return false;
  }
  if (!InRange(r.first, 1, INT32_MAX, "rule.first", error) ||
      !InRange(r.count, 0, INT32_MAX, "rule.count", error) ||
      !InRange(r.delayMs, 0, 600000, "rule.delay_ms", error) ||
      !InRange(f.stallMs, 0, 600000, "rule.stall_ms", error) ||
      !InRange(f.rateBytesPerSecond, 0, INT64_MAX, "rule.rate_bps", error)) {
    return false;
  }
  if (value.isMember("drop_after") && f.dropAfter < 0) {
    *error = "rule.drop_after must not be negative";
    return false;
  }
  if (value.isMember("stall_after") && (f.stallAfter < 0 || !value.isMember("stall_ms"))) {
    *error = "rule.stall_after needs a non-negative offset and stall_ms";
    return false;
  }
  if (value.isMember("reset_after") && f.resetAfter < 0) {
    *error = "rule.reset_after must not be negative";
    return false;
  }
  if (value.isMember("corrupt_offset") && f.corruptOffset < 0) {
    *error = "rule.corrupt_offset must not be negative";
    return false;
  }
  if (value.isMember("status") && !IsStatus(r.status)) {
    *error = "rule.status is not an HTTP status";
    return false;
  }
  if (r.drop && value.isMember("status")) {
    *error = "rule cannot both drop and answer a status";
    return false;
  }
  if (value.isMember("headers")) {
    const Json::Value& headers = value["headers"];
    if (!headers.isObject()) {
      *error = "rule.headers must be an object of name: value";
      return false;
    }
    for (const std::string& name : headers.getMemberNames()) {
      if (!headers[name].isString() || name.empty() ||
          name.find_first_of(":\r\n") != std::string::npos ||
          headers[name].asString().find_first_of("\r\n") != std::string::npos) {
        *error = "rule.headers[\"" + name + "\"] must be a one-line string";
        return false;
      }
      r.headers.emplace_back(name, headers[name].asString());
    }
  }
  if (value.isMember("cdn")) {
    r.hasCdn = true;
    if (!ParseCdn(value["cdn"], "rule.cdn", &r.cdn, error)) return false;
  }
  *rule = r;
  return true;
}

bool ParseScenario(const Json::Value& root, const std::string& baseDir, Scenario* scenario,
                   std::string* error) {
  if (!CheckKeys(root, {"config", "config_cn", "download", "data", "alert", "collector", "ga4",
                        "log_upload", "rules"},
                 "scenario", error)) {
    return false;
  }
  Scenario s = DefaultScenario();
  if (root.isMember("config") && !ParseConfig(root["config"], "config", &s.config, error)) {
    return false;
  }
  if (root.isMember("config_cn")) {
    s.hasConfigCn = true;
    s.configCn = s.config;
    if (!ParseConfig(root["config_cn"], "config_cn", &s.configCn, error)) return false;
  }
  if (root.isMember("download") && !ParseDownload(root["download"], baseDir, &s.download, error)) {
    return false;
  }
  if (root.isMember("data") && !ParseData(root["data"], baseDir, &s.data, error)) return false;
  if ((root.isMember("alert") && !ParseSimple(root["alert"], "alert", &s.alert, error)) ||
      (root.isMember("collector") &&
       !ParseSimple(root["collector"], "collector", &s.collector, error)) ||
      (root.isMember("ga4") && !ParseSimple(root["ga4"], "ga4", &s.ga4, error)) ||
      (root.isMember("log_upload") &&
       !ParseSimple(root["log_upload"], "log_upload", &s.logUpload, error))) {
    return false;
  }
  if (root.isMember("rules")) {
    const Json::Value& rules = root["rules"];
    if (!rules.isArray()) {
      *error = "rules must be an array";
      return false;
    }
    for (Json::ArrayIndex i = 0; i < rules.size(); ++i) {
      Rule rule;
      if (!ParseRule(rules[i], &rule, error)) {
        *error = "rules[" + std::to_string(i) + "]: " + *error;
        return false;
      }
      s.rules.push_back(rule);
    }
  }
  s.source = root;
  *scenario = std::move(s);
  return true;
}

bool ParseJsonText(const std::string& text, Json::Value* value, std::string* error) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["allowComments"] = true;
  builder["rejectDupKeys"] = true;
  builder["stackLimit"] = 200;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    if (!reader->parse(text.data(), text.data() + text.size(), value, &errors)) {
      *error = "JSON: " + errors;
      return false;
    }
  } catch (const std::exception& e) {
    *error = std::string("JSON: ") + e.what();
    return false;
  }
  return true;
}

bool LoadScenarioFile(const std::string& path, Scenario* scenario, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  Json::Value root;
  if (!ParseJsonText(text.str(), &root, error)) return false;
  const size_t slash = path.rfind('/');
  const std::string baseDir = slash == std::string::npos ? "." : path.substr(0, slash);
  return ParseScenario(root, baseDir, scenario, error);
}

Json::Value MergeJson(const Json::Value& base, const Json::Value& patch) {
  if (!base.isObject() || !patch.isObject()) return patch;
  Json::Value merged = base;
  for (const std::string& key : patch.getMemberNames()) {
    merged[key] = base.isMember(key) ? MergeJson(base[key], patch[key]) : patch[key];
  }
  return merged;
}

void RuleBook::Replace(const std::vector<Rule>& rules) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  for (const Rule& rule : rules) entries_.push_back(Entry{rule, 0, 0});
}

void RuleBook::Add(const Rule& rule) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back(Entry{rule, 0, 0});
}

void RuleBook::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
}

RuleBook::Match RuleBook::Apply(const std::string& endpoint, const std::string& method,
                                const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  Match match;
  for (size_t i = 0; i < entries_.size(); ++i) {
    Entry& entry = entries_[i];
    const Rule& rule = entry.rule;
    if (!rule.endpoint.empty() && rule.endpoint != endpoint) continue;
    if (!rule.method.empty() && rule.method != method) continue;
    if (!rule.path.empty() && rule.path != path) continue;
    const int64_t number = ++entry.seen;
    if (number < rule.first) continue;
    if (rule.count > 0 && number >= static_cast<int64_t>(rule.first) + rule.count) continue;
    ++entry.acted;
    match.rules.push_back(rule);
    match.ids.push_back(rule.id.empty() ? "#" + std::to_string(i) : rule.id);
  }
  return match;
}

Json::Value RuleBook::ToJson() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Json::Value list(Json::arrayValue);
  for (size_t i = 0; i < entries_.size(); ++i) {
    Json::Value item(Json::objectValue);
    item["index"] = static_cast<Json::UInt64>(i);
    item["id"] = entries_[i].rule.id;
    item["endpoint"] = entries_[i].rule.endpoint;
    item["path"] = entries_[i].rule.path;
    item["seen"] = entries_[i].seen;
    item["acted"] = entries_[i].acted;
    list.append(item);
  }
  return list;
}

Effect CombineRules(const std::vector<Rule>& rules) {
  Effect effect;
  const DownloadFaults none;
  for (const Rule& rule : rules) {
    if (rule.delayMs > 0) effect.delayMs = rule.delayMs;
    if (rule.drop) {
      effect.drop = true;
      effect.status = 0;
    }
    if (rule.status != 0) {
      effect.status = rule.status;
      effect.drop = false;
    }
    if (rule.hasBody) {
      effect.hasBody = true;
      effect.body = rule.body;
    }
    for (const auto& header : rule.headers) effect.headers.push_back(header);
    if (rule.hasCdn) {
      effect.hasCdn = true;
      effect.cdn = rule.cdn;
    }
    const DownloadFaults& f = rule.faults;
    DownloadFaults& out = effect.faults;
    if (f.rateBytesPerSecond != none.rateBytesPerSecond) out.rateBytesPerSecond = f.rateBytesPerSecond;
    if (f.dropAfter != none.dropAfter) out.dropAfter = f.dropAfter;
    if (f.stallAfter != none.stallAfter) {
      out.stallAfter = f.stallAfter;
      out.stallMs = f.stallMs;
    }
    if (f.whole200) out.whole200 = true;
    if (f.wrongTotalDelta != 0) out.wrongTotalDelta = f.wrongTotalDelta;
    if (f.noLength) out.noLength = true;
    if (f.lowercaseHeaders) out.lowercaseHeaders = true;
    if (f.corruptOffset != none.corruptOffset) out.corruptOffset = f.corruptOffset;
    if (f.resetAfter != none.resetAfter) out.resetAfter = f.resetAfter;
    if (f.bodyDelta != 0) out.bodyDelta = f.bodyDelta;
  }
  return effect;
}

}  // namespace vendorsim
