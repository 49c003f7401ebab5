#include "vendor_sim.h"

#include <easylogging++.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "deliveries.h"
#include "download_plan.h"
#include "multipart.h"
#include "png.h"
#include "recorder.h"
#include "scenario.h"
#include "signature.h"
#include "sim_server.h"
#include "tls.h"
#include "zip_check.h"

namespace vendorsim {
namespace {

enum class Kind { kDownload, kConfig, kConfigCn, kData, kAlert, kCollector, kGa4, kLogUpload, kAdmin };

struct EndpointInfo {
  const char* name;
  Kind kind;
  size_t threads;  // connection threads; keep-alive holds one per open connection
};

const EndpointInfo kEndpoints[] = {
    {"ConfigService", Kind::kConfig, 8},
    {"ConfigServiceChina", Kind::kConfigCn, 8},
    {"DataService", Kind::kData, 12},
    {"DataServiceTest", Kind::kData, 12},
    {"AlertService", Kind::kAlert, 4},
    {"AlertServiceTest", Kind::kAlert, 4},
    {"Collector", Kind::kCollector, 8},
    {"CollectorTest", Kind::kCollector, 8},
    {"Ga4", Kind::kGa4, 8},
    {"LogUpload", Kind::kLogUpload, 4},
    {"LogUploadTest", Kind::kLogUpload, 4},
    {"Download", Kind::kDownload, 64},
    {"Admin", Kind::kAdmin, 4},
};

const char kOriginalContentType[] = "X-Vendorsim-Original-Content-Type";

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string JsonText(const Json::Value& value, bool pretty = true) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = pretty ? "  " : "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += ch;
    }
  }
  return out;
}

// Maps a URL path onto a file below root; false for anything that would leave it.
bool SafeJoin(const std::string& root, const std::string& urlPath, std::string* out) {
  if (root.empty() || urlPath.empty() || urlPath.front() != '/') return false;
  std::string joined = root;
  size_t pos = 1;
  bool any = false;
  while (pos <= urlPath.size()) {
    size_t end = urlPath.find('/', pos);
    if (end == std::string::npos) end = urlPath.size();
    const std::string segment = urlPath.substr(pos, end - pos);
    pos = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == ".." || segment.find('\0') != std::string::npos ||
        segment.find('\\') != std::string::npos) {
      return false;
    }
    joined += "/" + segment;
    any = true;
  }
  if (!any) return false;
  char rootReal[PATH_MAX];
  char fileReal[PATH_MAX];
  if (::realpath(root.c_str(), rootReal) == nullptr ||
      ::realpath(joined.c_str(), fileReal) == nullptr) {
    return false;
  }
  const std::string prefix = std::string(rootReal) + "/";
  if (std::string(fileReal).compare(0, prefix.size(), prefix) != 0) return false;
  *out = fileReal;
  return true;
}

bool RegularFileSize(const std::string& path, uint64_t* size) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

// MD5 of served files, remembered by size and modification time (installers can be large).
bool CachedMd5(const std::string& path, std::string* hex) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  static std::mutex mutex;
  static std::map<std::string, std::pair<std::string, std::string>> cache;
  const std::string stamp = std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) +
                            "." + std::to_string(st.st_mtim.tv_nsec);
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(path);
    if (it != cache.end() && it->second.first == stamp) {
      *hex = it->second.second;
      return true;
    }
  }
  if (!Md5HexOfFile(path, hex)) return false;
  std::lock_guard<std::mutex> lock(mutex);
  cache[path] = std::make_pair(stamp, *hex);
  return true;
}

std::string UrlDecodeForm(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() &&
               std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

Json::Value ParseForm(const std::string& body) {
  Json::Value form(Json::objectValue);
  size_t pos = 0;
  while (pos < body.size()) {
    size_t end = body.find('&', pos);
    if (end == std::string::npos) end = body.size();
    const std::string pair = body.substr(pos, end - pos);
    pos = end + 1;
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    const std::string key = UrlDecodeForm(pair.substr(0, eq));
    const std::string value = eq == std::string::npos ? "" : UrlDecodeForm(pair.substr(eq + 1));
    form[IsValidUtf8(key) ? key : Base64(key)] = IsValidUtf8(value) ? value : Base64(value);
  }
  return form;
}

bool IsDecimal(const std::string& text) {
  if (text.empty() || text.size() > 18) return false;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

std::string SanitizeFileName(const std::string& name) {
  std::string out;
  for (char ch : name) {
    out += (std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-' || ch == '_')
               ? ch
               : '_';
  }
  if (out.empty() || out == "." || out == "..") out = "upload.bin";
  return out.substr(0, 120);
}

uint32_t ColourOf(const std::string& name) {
  uint32_t hash = 2166136261u;
  for (char ch : name) hash = (hash ^ static_cast<unsigned char>(ch)) * 16777619u;
  return (hash & 0x7f7f7f) | 0x404040;  // never too dark, never white
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

// Expands {http:Name}, {https:Name}, {host:Name}, {download}, {download_https}, {md5:file} and
// {size:file} in scenario texts, at answer time (ports are known only once bound). Unknown
// placeholders stay as they are.
class Placeholders {
 public:
  explicit Placeholders(const std::map<std::string, int>& ports) : ports_(ports) {}
  std::string Expand(const std::string& text, const std::string& downloadDir) const;
  Json::Value ExpandJson(const Json::Value& value, const std::string& downloadDir) const;

 private:
  int Port(const std::string& endpoint) const {
    auto it = ports_.find(endpoint);
    return it == ports_.end() ? 0 : it->second;
  }
  const std::map<std::string, int>& ports_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

const std::vector<std::string>& IniEndpointNames() {
  static const std::vector<std::string> names = {
      "ConfigService", "ConfigServiceChina", "DataService", "DataServiceTest",
      "AlertService",  "AlertServiceTest",   "Collector",   "CollectorTest",
      "Ga4",           "LogUpload",          "LogUploadTest"};
  return names;
}

std::string EndpointsIniFromJson(const Json::Value& endpoints) {
  if (!endpoints.isObject()) return std::string();
  std::string ini =
      "; Points the installer's outside services at a running vendor simulator.\r\n"
      "; Every service answers HTTPS and plain HTTP on its port.\r\n"
      "[Endpoints]\r\n";
  const Json::Value& ports = endpoints["ports"];
  for (const std::string& name : IniEndpointNames()) {
    if (!ports.isObject() || !ports[name].isInt()) continue;
    const int port = ports[name].asInt();
    if (port < 1 || port > 65535) continue;
    ini += name + "=127.0.0.1:" + std::to_string(port) + "\r\n";
  }
  return ini;
}

std::string Placeholders::Expand(const std::string& text, const std::string& downloadDir) const {
  if (text.find('{') == std::string::npos) return text;
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('{', pos);
    if (open == std::string::npos) break;
    const size_t close = text.find('}', open + 1);
    if (close == std::string::npos) break;
    out += text.substr(pos, open - pos);
    const std::string token = text.substr(open + 1, close - open - 1);
    const size_t colon = token.find(':');
    const std::string kind = colon == std::string::npos ? token : token.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : token.substr(colon + 1);
    std::string replacement;
    bool known = true;
    if (kind == "download" && arg.empty()) {
      replacement = "http://127.0.0.1:" + std::to_string(Port("Download"));
    } else if (kind == "download_https" && arg.empty()) {
      replacement = "https://127.0.0.1:" + std::to_string(Port("Download"));
    } else if ((kind == "http" || kind == "https" || kind == "host") && Port(arg) > 0) {
      const std::string host = "127.0.0.1:" + std::to_string(Port(arg));
      replacement = kind == "host" ? host : kind + "://" + host;
    } else if (kind == "md5" || kind == "size") {
      std::string path;
      uint64_t size = 0;
      if (SafeJoin(downloadDir, "/" + arg, &path) && RegularFileSize(path, &size)) {
        if (kind == "size") {
          replacement = std::to_string(size);
        } else if (!CachedMd5(path, &replacement)) {
          replacement.clear();
        }
      } else {
        LOG(INFO) << " Scenario: no file \"" << arg << "\" for {" << token << "}";
      }
    } else {
      known = false;
    }
    out += known ? replacement : "{" + token + "}";
    pos = close + 1;
  }
  out += text.substr(pos);
  return out;
}

Json::Value Placeholders::ExpandJson(const Json::Value& value,
                                     const std::string& downloadDir) const {
  if (value.isString()) return Json::Value(Expand(value.asString(), downloadDir));
  if (value.isArray()) {
    Json::Value out(Json::arrayValue);
    for (const Json::Value& item : value) out.append(ExpandJson(item, downloadDir));
    return out;
  }
  if (value.isObject()) {
    Json::Value out(Json::objectValue);
    for (const std::string& key : value.getMemberNames()) {
      out[key] = ExpandJson(value[key], downloadDir);
    }
    return out;
  }
  return value;
}

// ---------------------------------------------------------------------------------------------

struct VendorSim::Impl {
  // One request in flight: its record and the rules that act on it.
  struct Exchange {
    uint64_t seq = 0;
    Effect effect;
    std::shared_ptr<const Scenario> scenario;
  };

  SimOptions options;
  std::string baseDir;  // where relative folders of admin-sent scenarios are taken from
  StopSignal stop;
  SSL_CTX* tls = nullptr;
  std::map<std::string, std::unique_ptr<DualServer>> servers;
  std::map<std::string, int> ports;
  std::vector<std::thread> threads;
  Recorder recorder;
  DeliveryLedger deliveries;
  RuleBook rules;
  Placeholders placeholders{ports};

  mutable std::mutex scenarioMutex;
  std::shared_ptr<const Scenario> scenario;

  std::mutex stopMutex;
  std::condition_variable stopCv;
  bool stopRequested = false;
  bool stopped = false;

  // Written only while starting, before any server thread exists; read-only afterwards.
  int PortOf(const std::string& endpoint) const {
    auto it = ports.find(endpoint);
    return it == ports.end() ? 0 : it->second;
  }

  std::shared_ptr<const Scenario> Snapshot() const {
    std::lock_guard<std::mutex> lock(scenarioMutex);
    return scenario;
  }

  void Install(Scenario next) {
    if (!options.filesDir.empty()) next.download.dir = options.filesDir;
    if (next.download.dir.empty()) next.download.dir = options.stateDir + "/files";
    rules.Replace(next.rules);
    std::lock_guard<std::mutex> lock(scenarioMutex);
    scenario = std::make_shared<const Scenario>(std::move(next));
  }

  // ---- common request handling ----

  Exchange Begin(const std::string& endpoint, const httplib::Request& req) {
    RecordedRequest record;
    record.endpoint = endpoint;
    record.timeMs = NowMs();
    ConnectionContext* conn = CurrentConnection();
    if (conn != nullptr) {
      record.connection = conn->id;
      record.onConnection = conn->requests;
      conn->recorded = true;
    }
    record.tls = req.ssl != nullptr;
    record.method = req.method;
    record.target = req.target;
    record.path = req.path;
    for (const auto& header : req.headers) {
      const std::string& name = header.first;
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT") {
        continue;
      }
      if (name == "Content-Length" && conn != nullptr && conn->syntheticLength) continue;
      if (name == kOriginalContentType) {
        record.headers.emplace_back("Content-Type", header.second);
        continue;
      }
      record.headers.push_back(header);
    }
    record.bodySize = req.body.size();
    record.body.assign(req.body, 0, std::min(req.body.size(), Recorder::kMaxBody));
    Exchange exchange;
    exchange.seq = recorder.Add(std::move(record));
    exchange.scenario = Snapshot();
    RuleBook::Match match = rules.Apply(endpoint, req.method, req.path);
    exchange.effect = CombineRules(match.rules);
    if (!match.ids.empty()) recorder.SetRules(exchange.seq, match.ids);
    return exchange;
  }

  void Abort(const Exchange& exchange, const std::string& endpoint, const char* why) {
    if (ConnectionContext* conn = CurrentConnection()) conn->abort = true;
    recorder.Finish(exchange.seq, 0, true);
    LOG(INFO) << " " << endpoint << ": request " << exchange.seq << " dropped (" << why << ")";
  }

  // Delay, drop and status of the acting rules. True when the answer is complete.
  bool ApplyRules(const Exchange& exchange, const std::string& endpoint, httplib::Response& res) {
    const Effect& effect = exchange.effect;
    if (effect.delayMs > 0 && !stop.Sleep(effect.delayMs, CurrentConnection())) {
      Abort(exchange, endpoint, "client left during the delay");
      return true;
    }
    if (effect.drop) {
      Abort(exchange, endpoint, "rule");
      return true;
    }
    for (const auto& header : effect.headers) res.set_header(header.first, header.second);
    if (effect.status != 0) {
      res.status = effect.status;
      res.set_content(effect.hasBody ? effect.body : "scripted status\n", "text/plain");
      Finish(exchange, res);
      return true;
    }
    return false;
  }

  void Finish(const Exchange& exchange, const httplib::Response& res) {
    recorder.Finish(exchange.seq, res.status, false);
  }

  void Answer(const Exchange& exchange, httplib::Response& res, int status,
              const std::string& body, const std::string& type) {
    res.status = status;
    res.set_content(body, type);
    Finish(exchange, res);
  }

  void NotFound(const Exchange& exchange, httplib::Response& res) {
    Answer(exchange, res, 404, "not found\n", "text/plain");
  }

  // Every answer passes here. One that no handler recorded was refused by the request parser
  // (bad request line, headers, range or size): it is recorded as malformed and its connection
  // closes, since what follows on it cannot be trusted.
  void LogExchange(const std::string& endpoint, const httplib::Request& req,
                   const httplib::Response& res) {
    if (endpoint == "Admin") {
      if (req.method.empty() || res.status >= 400) {
        LOG(INFO) << " Admin: " << req.method << " " << req.path << " -> " << res.status;
      }
      return;
    }
    ConnectionContext* conn = CurrentConnection();
    if (conn == nullptr || conn->recorded) {
      LOG(INFO) << " " << endpoint << ": " << req.method << " " << req.target << " -> "
                << res.status;
      return;
    }
    conn->closeAfterResponse = true;
    RecordedRequest record;
    record.endpoint = endpoint;
    record.timeMs = NowMs();
    record.connection = conn->id;
    record.onConnection = conn->requests;
    record.tls = conn->ssl != nullptr;
    record.method = req.method;
    record.target = req.target;
    record.path = req.path;
    record.status = res.status;
    // 404 and 405 come from routing (no such path or verb here); the rest from parsing.
    const bool unrouted = res.status == 404 || res.status == 405;
    record.notes[unrouted ? "unrouted" : "malformed"] = true;
    const uint64_t seq = recorder.Add(std::move(record));
    recorder.Finish(seq, res.status, false);
    LOG(INFO) << " " << endpoint << ": " << (unrouted ? "unrouted" : "malformed") << " request "
              << seq << " answered " << res.status
              << " (method \"" << (IsValidUtf8(req.method) ? req.method : "?") << "\")";
  }

  // ---- configuration service ----

  void HandleConfig(const std::string& endpoint, bool china, const httplib::Request& req,
                    httplib::Response& res) {
    Exchange x = Begin(endpoint, req);
    if (ApplyRules(x, endpoint, res)) return;
    if (req.path != "/queryDownloaderV2") return NotFound(x, res);
    const Scenario& s = *x.scenario;
    const ConfigSection& config = china && s.hasConfigCn ? s.configCn : s.config;

    Json::Value params(Json::objectValue);
    bool paramsOk = true;
    for (const char* name : {"LanguageId", "SoftWareID", "SiteID"}) {
      const std::string value = req.get_param_value(name);
      params[name] = value;
      paramsOk = paramsOk && req.has_param(name) && IsDecimal(value);
    }
    params["package_type"] = req.has_param("package_type") ? req.get_param_value("package_type")
                                                            : Json::Value();
    recorder.Note(x.seq, "params", params);
    recorder.Note(x.seq, "params_ok", paramsOk);
    if (!paramsOk) {
      LOG(INFO) << " " << endpoint << ": request " << x.seq << " lacks a numeric parameter";
      return Answer(x, res, 400, "LanguageId, SoftWareID and SiteID must be numbers\n",
                    "text/plain");
    }
    if (config.mode == "close") return Abort(x, endpoint, "mode close");
    if (config.mode == "silent") {
      // Hold the connection without a word until the client gives up.
      stop.Sleep(600000, CurrentConnection());
      return Abort(x, endpoint, "mode silent");
    }
    if (config.delayMs > 0 && !stop.Sleep(config.delayMs, CurrentConnection())) {
      return Abort(x, endpoint, "client left during the delay");
    }
    const std::string& dir = s.download.dir;
    std::string body;
    if (config.hasBody) {
      body = placeholders.Expand(config.body, dir);
    } else {
      if (config.bom) body += "\xEF\xBB\xBF";
      body += placeholders.Expand(config.before, dir);
      if (config.mode == "answer") {
        body += "<Downloader>";
        for (const auto& child : config.children) {
          body += "<" + child.first + ">" + XmlEscape(placeholders.Expand(child.second, dir)) +
                  "</" + child.first + ">";
        }
        body += "</Downloader>";
      }
      body += placeholders.Expand(config.after, dir);
    }
    Answer(x, res, config.status, body, config.contentType);
  }

  // ---- download host ----

  void HandleDownload(const httplib::Request& req, httplib::Response& res) {
    const std::string endpoint = "Download";
    Exchange x = Begin(endpoint, req);
    if (ApplyRules(x, endpoint, res)) return;
    const Scenario& s = *x.scenario;
    const DownloadSection& download = s.download;
    if (download.notFound.count(req.path) != 0) return NotFound(x, res);
    auto redirect = download.redirects.find(req.path);
    if (redirect != download.redirects.end()) {
      std::string target = placeholders.Expand(redirect->second.target, download.dir);
      if (!target.empty() && target.front() == '/') {
        const std::string host = req.has_header("Host")
                                     ? req.get_header_value("Host")
                                     : "127.0.0.1:" + std::to_string(PortOf("Download"));
        target = std::string(req.ssl != nullptr ? "https://" : "http://") + host + target;
      }
      res.status = redirect->second.status;
      res.set_header("Location", target);
      for (const auto& line : CdnHeaderLines(x.effect.hasCdn ? x.effect.cdn : download.cdn)) {
        res.set_header(line.first, line.second);
      }
      res.set_content("", "text/plain");
      recorder.Note(x.seq, "location", target);
      return Finish(x, res);
    }
    std::string path;
    uint64_t size = 0;
    if (!SafeJoin(download.dir, req.path, &path) || !RegularFileSize(path, &size)) {
      return NotFound(x, res);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return NotFound(x, res);
    auto file = std::shared_ptr<int>(new int(fd), [](int* p) {
      ::close(*p);
      delete p;
    });

    const DownloadFaults& faults = x.effect.faults;
    // Planned as a GET: a HEAD answer announces the same length and sends no body.
    const bool head = req.method == "HEAD";
    const DownloadAnswer plan =
        PlanFileAnswer("GET", req.get_header_value("Range"), size,
                       x.effect.hasCdn ? x.effect.cdn : download.cdn, faults);
    std::string contentType = "application/octet-stream";
    for (const auto& header : plan.headers) {
      std::string key = header.first;
      for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      if (key == "content-length") continue;  // the library writes it from the body length
      if (key == "content-type") {
        contentType = header.second;
        continue;
      }
      res.set_header(header.first, header.second);
    }
    if (ConnectionContext* conn = CurrentConnection()) {
      conn->lowercaseHeaders = faults.lowercaseHeaders;
      conn->dropContentLength = faults.noLength;
    }
    res.status = plan.status;
    Json::Value note(Json::objectValue);
    note["file_size"] = static_cast<Json::UInt64>(size);
    note["body_first"] = static_cast<Json::UInt64>(plan.bodyFirst);
    note["body_length"] = static_cast<Json::UInt64>(plan.bodyLength);
    recorder.Note(x.seq, "answer", note);
    if (plan.bodyLength == 0) {
      res.set_content("", contentType);
      return Finish(x, res);
    }
    if (head) {
      // The library announces the provider's length for HEAD and never asks it for bytes.
      res.set_content_provider(static_cast<size_t>(plan.bodyLength), contentType,
                               [](size_t, size_t, httplib::DataSink&) { return false; });
      return Finish(x, res);
    }
    auto pump = std::make_shared<BodyPump>(plan.bodyFirst, plan.bodyLength, faults);
    const auto started = std::chrono::steady_clock::now();
    const uint64_t seq = x.seq;
    const int status = plan.status;
    res.set_content_provider(
        static_cast<size_t>(plan.bodyLength), contentType,
        [this, pump, file, started, seq, status](size_t, size_t, httplib::DataSink& sink) {
          return PumpBody(*pump, *file, started, seq, status, sink);
        });
    Finish(x, res);
  }

  bool PumpBody(BodyPump& pump, int fd, std::chrono::steady_clock::time_point started,
                uint64_t seq, int status, httplib::DataSink& sink) {
    ConnectionContext* conn = CurrentConnection();
    std::vector<char> buffer;
    while (true) {
      const BodyPump::Step step = pump.Next();
      switch (step.kind) {
        case BodyPump::Step::Kind::kDone:
          return true;
        case BodyPump::Step::Kind::kStall:
          LOG(INFO) << " Download: request " << seq << " stalls " << step.stallMs << " ms after "
                    << pump.sent() << " bytes";
          if (!stop.Sleep(step.stallMs, conn)) return Cut(conn, seq, status, "client left");
          pump.Stalled();
          continue;
        case BodyPump::Step::Kind::kDrop:
          return Cut(conn, seq, status, "drop_after");
        case BodyPump::Step::Kind::kReset:
          if (conn != nullptr) conn->reset = true;
          return Cut(conn, seq, status, "reset_after");
        case BodyPump::Step::Kind::kWrite: {
          const int64_t elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - started)
                                      .count();
          const int64_t wait = pump.PaceDelayMs(elapsed);
          if (wait > 0 && !stop.Sleep(wait, conn)) return Cut(conn, seq, status, "client left");
          buffer.resize(step.bytes);
          const ssize_t got = ::pread(fd, buffer.data(), step.bytes,
                                      static_cast<off_t>(step.fileOffset));
          if (got <= 0) return Cut(conn, seq, status, "file shrank while serving");
          pump.Corrupt(step.fileOffset, buffer.data(), static_cast<size_t>(got));
          if (!sink.write(buffer.data(), static_cast<size_t>(got))) return false;
          pump.Wrote(static_cast<size_t>(got));
          return true;
        }
      }
    }
  }

  bool Cut(ConnectionContext* conn, uint64_t seq, int status, const char* why) {
    if (conn != nullptr) conn->abort = true;
    recorder.Finish(seq, status, true);
    LOG(INFO) << " Download: request " << seq << " cut (" << why << ")";
    return false;
  }

  // ---- data service ----

  void HandleData(const std::string& endpoint, const httplib::Request& req,
                  httplib::Response& res) {
    Exchange x = Begin(endpoint, req);
    if (ApplyRules(x, endpoint, res)) return;
    const Scenario& s = *x.scenario;
    const DataSection& data = s.data;
    const bool banners = req.path == "/api/v1/banners";
    const bool privacy = req.path == "/api/v1/user_privacy_info";
    if (banners || privacy) {
      const size_t mark = req.target.find('?');
      const std::string query = mark == std::string::npos ? "" : req.target.substr(mark + 1);
      std::vector<const char*> required = {"parent_pid", "timestamp"};
      if (banners) {
        required.push_back("lang_code");
        required.push_back("type");
      }
      bool complete = true;
      for (const char* name : required) complete = complete && req.has_param(name);
      Json::Value reply(Json::objectValue);
      if (!complete) {
        reply["code"] = data.missingCode;
        reply["msg"] = "missing parameter";
        recorder.Note(x.seq, "verify", "missing_parameter");
        return Answer(x, res, 200, JsonText(reply, false), "application/json");
      }
      if (data.checkSignature) {
        const VerifyResult verdict =
            CheckSignedQuery(query, data.salt, NowMs() / 1000, data.maxSkewSeconds);
        recorder.Note(x.seq, "verify", VerdictName(verdict.verdict));
        recorder.Note(x.seq, "verify_expected", verdict.expected);
        if (verdict.verdict != VerifyVerdict::kOk) {
          LOG(INFO) << " " << endpoint << ": request " << x.seq << " refused, "
                    << VerdictName(verdict.verdict);
          reply["code"] = verdict.verdict == VerifyVerdict::kStaleTimestamp ? data.staleCode
                          : verdict.verdict == VerifyVerdict::kBadSignature
                              ? data.badSignatureCode
                              : data.missingCode;
          reply["msg"] = VerdictName(verdict.verdict);
          return Answer(x, res, 200, JsonText(reply, false), "application/json");
        }
      }
      const Json::Value items = placeholders.ExpandJson(banners ? data.banners : data.privacy,
                                                        s.download.dir);
      Json::Value body;
      if (data.shape == "array") {
        body = items;
      } else if (data.shape == "data") {
        body = Json::Value(Json::objectValue);
        body["code"] = 200;
        body["msg"] = "success";
        body["data"] = items;
      } else {
        body = Json::Value(Json::objectValue);
        body["code"] = 200;
        body["msg"] = "success";
        char key[32];
        for (Json::ArrayIndex i = 0; i < items.size(); ++i) {
          std::snprintf(key, sizeof key, "item%03u", static_cast<unsigned>(i));
          body[key] = items[i];
        }
      }
      return Answer(x, res, 200, JsonText(body, false), "application/json");
    }
    if (req.method == "GET" && req.path.compare(0, 8, "/images/") == 0) {
      const std::string name = req.path.substr(8);
      std::string path;
      uint64_t size = 0;
      if (!data.imagesDir.empty() && SafeJoin(data.imagesDir, "/" + name, &path) &&
          RegularFileSize(path, &size) && size < (64u << 20)) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return Answer(x, res, 200, bytes.str(), "image/png");
      }
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0 &&
          name.find('/') == std::string::npos) {
        if (name.find("broken") != std::string::npos) {
          return Answer(x, res, 200, "this is not a picture\n", "image/png");
        }
        return Answer(x, res, 200, MakeSolidPng(650, 300, ColourOf(name)), "image/png");
      }
      return NotFound(x, res);
    }
    if (req.method == "GET" && (req.path.compare(0, 7, "/terms/") == 0 ||
                                req.path.compare(0, 9, "/privacy/") == 0 ||
                                req.path.compare(0, 9, "/landing/") == 0)) {
      return Answer(x, res, 200,
                    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Kerfo</title>"
                    "</head><body><p>Simulated page " +
                        XmlEscape(req.path) + "</p></body></html>\n",
                    "text/html; charset=utf-8");
    }
    NotFound(x, res);
  }

  // ---- alert, collectors, GA4 ----

  void HandleSimple(const std::string& endpoint, Kind kind, const httplib::Request& req,
                    httplib::Response& res) {
    Exchange x = Begin(endpoint, req);
    if (ApplyRules(x, endpoint, res)) return;
    const Scenario& s = *x.scenario;
    const SimpleSection* section = nullptr;
    if (kind == Kind::kAlert && req.path == "/api/exception/send") {
      section = &s.alert;
      recorder.Note(x.seq, "form", ParseForm(req.body));
    } else if (kind == Kind::kCollector && (req.path == "/collect" || req.path == "/collector")) {
      section = &s.collector;
    } else if (kind == Kind::kGa4 && req.path == "/g/collect") {
      section = &s.ga4;
      Json::Value hit(Json::objectValue);
      hit["v"] = req.get_param_value("v");
      hit["cid"] = req.get_param_value("cid");
      hit["body_empty"] = req.body.empty();
      hit["well_formed"] = req.get_param_value("v") == "2" && req.has_param("cid");
      recorder.Note(x.seq, "ga4", hit);
    }
    if (section == nullptr || req.method != "POST") return NotFound(x, res);
    Json::Value parsed;
    std::string error;
    const bool json = kind == Kind::kCollector && ParseJsonText(req.body, &parsed, &error);
    if (section->requireJson) {
      if (!json) {
        LOG(INFO) << " " << endpoint << ": request " << x.seq << " refused, body is not JSON";
        recorder.Note(x.seq, "json", false);
        return Answer(x, res, 400, "{\"code\":400,\"msg\":\"body is not JSON\"}",
                      "application/json");
      }
      recorder.Note(x.seq, "json", true);
    }
    // A report taken (the answer its sender counts as delivered: 204 for a hit, 200 for a
    // document): its sender's id is counted once; one sent again is answered alike.
    if ((kind == Kind::kGa4 && section->status == 204) ||
        (kind == Kind::kCollector && section->status == 200)) {
      const std::string id =
          kind == Kind::kGa4 ? req.get_param_value("ep.task_id") : DocumentTaskId(parsed);
      if (!id.empty()) {
        const bool fresh = deliveries.Accept(endpoint, id);
        recorder.Note(x.seq, "task_id", id);
        recorder.Note(x.seq, "duplicate", !fresh);
        if (!fresh) {
          LOG(INFO) << " " << endpoint << ": request " << x.seq << " repeats task " << id;
        }
      }
    }
    Answer(x, res, section->status, section->status == 204 ? "" : section->body,
           section->contentType);
  }

  // ---- log upload ----

  void HandleLogUpload(const std::string& endpoint, const httplib::Request& req,
                       httplib::Response& res) {
    Exchange x = Begin(endpoint, req);
    if (ApplyRules(x, endpoint, res)) return;
    const Scenario& s = *x.scenario;
    if (req.path != "/v1/productLogUpload" || req.method != "POST") return NotFound(x, res);
    const std::string contentType = req.has_header(kOriginalContentType)
                                        ? req.get_header_value(kOriginalContentType)
                                        : req.get_header_value("Content-Type");
    Json::Value verdict(Json::objectValue);
    auto refuse = [&](const std::string& why) {
      verdict["accepted"] = false;
      verdict["reason"] = why;
      recorder.Note(x.seq, "upload", verdict);
      LOG(INFO) << " " << endpoint << ": request " << x.seq << " refused, " << why;
      Json::Value reply(Json::objectValue);
      reply["code"] = 400;
      reply["msg"] = why;
      Answer(x, res, 400, JsonText(reply, false), "application/json");
    };
    const MultipartResult form = ParseMultipart(contentType, req.body);
    if (!form.ok) return refuse("multipart: " + form.error);
    Json::Value fields(Json::objectValue);
    for (const MultipartPart& part : form.parts) {
      if (part.hasFilename) continue;
      fields[part.name] = IsValidUtf8(part.data) ? part.data : Base64(part.data);
    }
    verdict["fields"] = fields;
    const MultipartPart* file = form.Find("file");
    if (file == nullptr || !file->hasFilename) return refuse("no \"file\" part with a file name");
    verdict["filename"] = IsValidUtf8(file->filename) ? file->filename : Base64(file->filename);
    verdict["file_size"] = static_cast<Json::UInt64>(file->data.size());
    for (const char* name : {"product_id", "version"}) {
      const MultipartPart* part = form.Find(name);
      if (part == nullptr || part->data.empty()) {
        return refuse(std::string("no \"") + name + "\" field");
      }
    }
    const std::string stored = options.stateDir + "/uploads/" + std::to_string(x.seq) + "-" +
                               SanitizeFileName(file->filename);
    {
      std::ofstream out(stored, std::ios::binary | std::ios::trunc);
      out.write(file->data.data(), static_cast<std::streamsize>(file->data.size()));
      verdict["stored"] = out.good() ? stored : "";
    }
    const ZipCheckResult zip = CheckZip(file->data);
    Json::Value entries(Json::arrayValue);
    for (const ZipEntryInfo& entry : zip.entries) {
      Json::Value item(Json::objectValue);
      item["name"] = IsValidUtf8(entry.name) ? entry.name : Base64(entry.name);
      item["size"] = static_cast<Json::UInt64>(entry.size);
      entries.append(item);
    }
    verdict["zip_entries"] = entries;
    verdict["zip_ok"] = zip.ok;
    if (!zip.ok) return refuse("archive: " + zip.error);
    verdict["accepted"] = true;
    recorder.Note(x.seq, "upload", verdict);
    Answer(x, res, s.logUpload.status, s.logUpload.body, s.logUpload.contentType);
  }

  // ---- admin ----

  void AddAdminRoutes(DualServer& server) {
    server.Get("/health", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("ok\n", "text/plain");
    });
    server.Get("/endpoints", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(JsonText(EndpointsJson()), "application/json");
    });
    server.Get("/endpoints.ini", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(EndpointsIniFromJson(EndpointsJson()), "text/plain");
    });
    server.Get("/requests", [this](const httplib::Request& req, httplib::Response& res) {
      uint64_t since = 0;
      const std::string sinceText = req.get_param_value("since");
      if (!sinceText.empty()) {
        if (!IsDecimal(sinceText) || sinceText[0] == '-') {
          res.status = 400;
          res.set_content("since must be a sequence number\n", "text/plain");
          return;
        }
        since = std::stoull(sinceText);
      }
      res.set_content(JsonText(recorder.ToJson(req.get_param_value("endpoint"), since)),
                      "application/json");
    });
    server.Delete("/requests", [this](const httplib::Request&, httplib::Response& res) {
      recorder.Clear();
      res.set_content("cleared\n", "text/plain");
    });
    server.Get("/deliveries", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(JsonText(deliveries.ToJson()), "application/json");
    });
    server.Get("/scenario", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(JsonText(Snapshot()->source), "application/json");
    });
    auto putScenario = [this](bool merge) {
      return [this, merge](const httplib::Request& req, httplib::Response& res) {
        Json::Value patch;
        std::string error;
        Scenario next;
        if (ParseJsonText(req.body, &patch, &error)) {
          const Json::Value root = merge ? MergeJson(Snapshot()->source, patch) : patch;
          if (ParseScenario(root, baseDir, &next, &error)) {
            Install(std::move(next));
            LOG(INFO) << " Admin: scenario " << (merge ? "patched" : "replaced");
            res.set_content("ok\n", "text/plain");
            return;
          }
        }
        LOG(INFO) << " Admin: scenario refused, " << error;
        res.status = 400;
        res.set_content(error + "\n", "text/plain");
      };
    };
    server.Put("/scenario", putScenario(false));
    server.Patch("/scenario", putScenario(true));
    server.Get("/rules", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(JsonText(rules.ToJson()), "application/json");
    });
    server.Post("/rules", [this](const httplib::Request& req, httplib::Response& res) {
      Json::Value value;
      std::string error;
      std::vector<Rule> added;
      bool ok = ParseJsonText(req.body, &value, &error);
      if (ok) {
        Json::Value list(Json::arrayValue);
        if (value.isArray()) {
          list = value;
        } else {
          list.append(value);
        }
        for (const Json::Value& item : list) {
          Rule rule;
          if (!ParseRule(item, &rule, &error)) {
            ok = false;
            break;
          }
          added.push_back(rule);
        }
      }
      if (!ok) {
        LOG(INFO) << " Admin: rule refused, " << error;
        res.status = 400;
        res.set_content(error + "\n", "text/plain");
        return;
      }
      for (const Rule& rule : added) rules.Add(rule);
      res.set_content("ok\n", "text/plain");
    });
    server.Delete("/rules", [this](const httplib::Request&, httplib::Response& res) {
      rules.Clear();
      res.set_content("cleared\n", "text/plain");
    });
    server.Post("/stop", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content("stopping\n", "text/plain");
      RequestStop();
    });
  }

  void AddServiceRoutes(DualServer& server, const std::string& name, Kind kind) {
    using httplib::Request;
    using httplib::Response;
    const std::string any = "/.*";
    switch (kind) {
      case Kind::kDownload: {
        auto handler = [this](const Request& req, Response& res) { HandleDownload(req, res); };
        server.Get(any, handler);
        server.Post(any, [this](const Request& req, Response& res) {
          Exchange x = Begin("Download", req);
          Answer(x, res, 405, "download host takes GET and HEAD\n", "text/plain");
        });
        return;
      }
      case Kind::kConfig:
      case Kind::kConfigCn: {
        const bool china = kind == Kind::kConfigCn;
        server.Get(any, [this, name, china](const Request& req, Response& res) {
          HandleConfig(name, china, req, res);
        });
        server.Post(any, [this, name](const Request& req, Response& res) {
          NotFound(Begin(name, req), res);
        });
        return;
      }
      case Kind::kData:
        server.Get(any, [this, name](const Request& req, Response& res) {
          HandleData(name, req, res);
        });
        server.Post(any, [this, name](const Request& req, Response& res) {
          NotFound(Begin(name, req), res);
        });
        return;
      case Kind::kLogUpload:
        server.SetRequestSetup([](Request& req) {
          // The multipart body is parsed by our own parser, so the library must keep it raw.
          if (req.has_header("Content-Type")) {
            const std::string type = req.get_header_value("Content-Type");
            req.headers.erase("Content-Type");
            req.set_header(kOriginalContentType, type);
          }
        });
        server.Post(any, [this, name](const Request& req, Response& res) {
          HandleLogUpload(name, req, res);
        });
        server.Get(any, [this, name](const Request& req, Response& res) {
          NotFound(Begin(name, req), res);
        });
        return;
      case Kind::kAlert:
      case Kind::kCollector:
      case Kind::kGa4:
        server.Post(any, [this, name, kind](const Request& req, Response& res) {
          HandleSimple(name, kind, req, res);
        });
        server.Get(any, [this, name](const Request& req, Response& res) {
          NotFound(Begin(name, req), res);
        });
        return;
      case Kind::kAdmin:
        AddAdminRoutes(server);
        return;
    }
  }

  Json::Value EndpointsJson() const {
    Json::Value root(Json::objectValue);
    Json::Value list(Json::objectValue);
    for (const auto& port : ports) list[port.first] = port.second;
    root["ports"] = list;
    root["host"] = "127.0.0.1";
    root["state_dir"] = options.stateDir;
    root["certificate"] = options.stateDir + "/cert.pem";
    root["pid"] = static_cast<Json::Int64>(::getpid());
    return root;
  }

  void RequestStop() {
    {
      std::lock_guard<std::mutex> lock(stopMutex);
      stopRequested = true;
    }
    stopCv.notify_all();
  }
};

// ---------------------------------------------------------------------------------------------

VendorSim::VendorSim() : impl_(new Impl) {}

VendorSim::~VendorSim() { Stop(); }

bool VendorSim::Start(const SimOptions& options, std::string* error) {
  Impl& d = *impl_;
  if (!d.servers.empty()) {
    *error = "already started";
    return false;
  }
  if (options.stateDir.empty()) {
    *error = "a state folder is required";
    return false;
  }
  // A client that disappears mid-answer must cost an error code, not the process.
  std::signal(SIGPIPE, SIG_IGN);
  d.options = options;
  for (const std::string& dir : {options.stateDir, options.stateDir + "/uploads",
                                 options.stateDir + "/files"}) {
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
      *error = "cannot create " + dir;
      return false;
    }
  }
  d.baseDir = options.stateDir;
  Scenario scenario = DefaultScenario();
  if (!options.scenarioPath.empty() &&
      !LoadScenarioFile(options.scenarioPath, &scenario, error)) {
    *error = "scenario " + options.scenarioPath + ": " + *error;
    return false;
  }
  d.Install(std::move(scenario));

  const std::string cert = options.stateDir + "/cert.pem";
  const std::string key = options.stateDir + "/key.pem";
  if (!GenerateSelfSignedCertificate(cert, key, error)) return false;
  d.tls = MakeServerContext(cert, key, error);
  if (d.tls == nullptr) return false;

  for (const EndpointInfo& info : kEndpoints) {
    const std::string name = info.name;
    auto server = std::make_unique<DualServer>(name, info.kind == Kind::kAdmin ? nullptr : d.tls,
                                               &d.stop);
    const size_t threads = info.threads;
    server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server->set_keep_alive_max_count(1000);
    server->set_keep_alive_timeout(5);
    server->set_read_timeout(10, 0);
    server->set_write_timeout(30, 0);
    server->set_payload_max_length(256u << 20);
    server->set_exception_handler(
        [name](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
          std::string what = "unknown";
          try {
            if (ep) std::rethrow_exception(ep);
          } catch (const std::exception& e) {
            what = e.what();
          } catch (...) {
          }
          LOG(INFO) << " " << name << ": handler error on " << req.method << " " << req.path
                    << ": " << what;
          res.status = 500;
          res.set_content("internal error\n", "text/plain");
        });
    Impl* impl = &d;
    server->set_logger([impl, name](const httplib::Request& req, const httplib::Response& res) {
      impl->LogExchange(name, req, res);
    });
    d.AddServiceRoutes(*server, name, info.kind);
    const int port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0) {
      *error = "cannot bind " + name + " on 127.0.0.1";
      Stop();
      return false;
    }
    d.ports[name] = port;
    d.servers[name] = std::move(server);
  }
  for (auto& entry : d.servers) {
    DualServer* server = entry.second.get();
    d.threads.emplace_back([server] { server->listen_after_bind(); });
  }
  // A server only honours stop() once it runs; wait for all of them (bounded).
  for (int i = 0; i < 500; ++i) {
    bool all = true;
    for (auto& entry : d.servers) all = all && entry.second->is_running();
    if (all) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const Json::Value endpoints = d.EndpointsJson();
  if (!WriteFileAtomically(options.stateDir + "/endpoints.ini", EndpointsIniFromJson(endpoints)) ||
      !WriteFileAtomically(options.stateDir + "/endpoints.json", JsonText(endpoints))) {
    *error = "cannot write the endpoint files into " + options.stateDir;
    Stop();
    return false;
  }
  LOG(INFO) << " Vendor simulator running, admin port " << d.ports["Admin"] << ", state "
            << options.stateDir;
  return true;
}

void VendorSim::RequestStop() { impl_->RequestStop(); }

bool VendorSim::WaitForStopRequest(int64_t ms) {
  std::unique_lock<std::mutex> lock(impl_->stopMutex);
  return impl_->stopCv.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return impl_->stopRequested; });
}

void VendorSim::Stop() {
  Impl& d = *impl_;
  if (d.stopped) return;
  d.stopped = true;
  d.stop.Raise();
  for (auto& entry : d.servers) entry.second->stop();
  for (std::thread& thread : d.threads) {
    if (thread.joinable()) thread.join();
  }
  d.threads.clear();
  d.servers.clear();
  if (d.tls != nullptr) {
    SSL_CTX_free(d.tls);
    d.tls = nullptr;
  }
  if (!d.ports.empty()) {
    std::remove((d.options.stateDir + "/endpoints.json").c_str());
    std::remove((d.options.stateDir + "/endpoints.ini").c_str());
    LOG(INFO) << " Vendor simulator stopped";
  }
}

int VendorSim::Port(const std::string& endpoint) const {
  return impl_->PortOf(endpoint);
}

Json::Value VendorSim::EndpointsJson() const { return impl_->EndpointsJson(); }

std::string VendorSim::EndpointsIni() const { return EndpointsIniFromJson(EndpointsJson()); }

const std::string& VendorSim::stateDir() const { return impl_->options.stateDir; }

}  // namespace vendorsim
