// dlcli URL FILE [--md5 HEX] [--rounds N] [--slice-num N] [--slice-size BYTES]
//               [--timeout CONNECT,TRANSFER] [--log PATH] [--verbose]
//
// Runs download rounds of the engine the way the installer does (up to N rounds, 12 by default,
// one right after the other, each resuming from the task file of the last), shows progress, and
// checks the file's MD5 when one is given. Exit status: 0 on success, the last EnumErrorCode of
// the engine when every round failed, 2 for bad arguments, 20 when the MD5 differs.
#include <curl/curl.h>
#include <easylogging++.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analytics/single_user_log.h"
#include "download/download_impl.h"
#include "download/downloader.h"
#include "download/error_code.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tools/dlcli/console.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitMd5 = 20;

void Usage() {
  std::fprintf(stderr,
               "usage: dlcli URL FILE [--md5 HEX] [--rounds N] [--slice-num N] [--slice-size BYTES]\n"
               "             [--timeout CONNECT,TRANSFER] [--log PATH] [--verbose]\n"
               "  --md5 HEX    expected MD5 digest (32 lower-case hex digits)\n"
               "  --rounds N   download rounds before giving up (default 12)\n"
               "  --slice-num N, --slice-size BYTES, --timeout C,T\n"
               "               plan and time-outs as a server description with these values\n"
               "               would set them (defaults: 0, 0 = 4 MiB slices, 3,20 seconds)\n"
               "  --log PATH   engine log file (default FILE.log)\n"
               "  --verbose    engine log lines on standard output as well\n");
}

void SetupLog(const std::string& logFile, bool verbose) {
  el::Configurations conf;
  conf.setToDefault();
  conf.set(el::Level::Global, el::ConfigurationType::Format, "%datetime--[Thread](%thread) %msg");
  conf.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, verbose ? "true" : "false");
  conf.set(el::Level::Global, el::ConfigurationType::ToFile, "true");
  conf.set(el::Level::Global, el::ConfigurationType::Filename, logFile);
  el::Loggers::reconfigureLogger("default", conf);
}

class ProgressLine {
 public:
  explicit ProgressLine(bool terminal) : terminal_(terminal), startTick_(platform::TickCount()) {}

  void Update(int64_t downloaded, int64_t total) {
    const uint32_t now = platform::TickCount();
    const uint32_t every = terminal_ ? 200 : 1000;
    if (shown_ && now - lastTick_ < every && downloaded < total) return;
    if (!started_) {
      // Bytes resumed from an earlier round do not count towards the speed.
      started_ = true;
      firstBytes_ = downloaded;
      startTick_ = now;
    }
    const double seconds = (now - startTick_) / 1000.0;
    const int64_t speed =
        seconds > 0 ? static_cast<int64_t>((downloaded - firstBytes_) / seconds) : 0;
    const double percent = total > 0 ? 100.0 * static_cast<double>(downloaded) / total : 0.0;
    std::printf("%s%6.2f%%  %s / %s  %s/S%s", terminal_ ? "\r" : "", percent,
                Bytes(downloaded).c_str(), Bytes(total).c_str(),
                download::formatSpeedText(speed).c_str(), terminal_ ? "   " : "\n");
    std::fflush(stdout);
    shown_ = true;
    lastTick_ = now;
  }
  void End() {
    if (terminal_ && shown_) std::printf("\n");
    shown_ = false;
  }

 private:
  static std::string Bytes(int64_t n) {
    const std::string text = download::formatByteSize(n);
    return text.empty() ? "0B" : text;
  }
  bool terminal_;
  bool shown_ = false;
  bool started_ = false;
  uint32_t startTick_;
  uint32_t lastTick_ = 0;
  int64_t firstBytes_ = 0;
};

int Run(int argc, char** argv) {
  std::string url;
  std::string file;
  std::string md5;
  std::string logFile;
  bool verbose = false;
  long rounds = 12;
  auto settings = analytics::CSingleUserLog::GetInstance().GetDownloadSettings();
  auto number = [](const char* text, long low, long high, long* out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    *out = value;
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--md5" && i + 1 < argc) {
      md5 = argv[++i];
    } else if (arg == "--rounds" && i + 1 < argc) {
      char* end = nullptr;
      rounds = std::strtol(argv[++i], &end, 10);
      if (end == nullptr || *end != '\0' || rounds < 1 || rounds > 1000) {
        std::fprintf(stderr, "dlcli: --rounds takes a number from 1 to 1000\n");
        return kExitUsage;
      }
    } else if ((arg == "--slice-num" || arg == "--slice-size") && i + 1 < argc) {
      long value = 0;
      if (!number(argv[++i], 0, 0x7fffffff, &value)) {
        std::fprintf(stderr, "dlcli: %s takes a number from 0 to 2147483647\n", arg.c_str());
        return kExitUsage;
      }
      (arg == "--slice-num" ? settings.sliceNum : settings.sliceSize) = static_cast<int32_t>(value);
    } else if (arg == "--timeout" && i + 1 < argc) {
      int connect = 0;
      int transfer = 0;
      char tail = 0;
      if (std::sscanf(argv[++i], "%d,%d%c", &connect, &transfer, &tail) != 2 || connect < 1 ||
          transfer < 1) {
        std::fprintf(stderr, "dlcli: --timeout takes two seconds counts, CONNECT,TRANSFER\n");
        return kExitUsage;
      }
      settings.connectTimeout = connect;
      settings.transferTimeout = transfer;
    } else if (arg == "--log" && i + 1 < argc) {
      logFile = argv[++i];
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "dlcli: unknown option %s\n", arg.c_str());
      Usage();
      return kExitUsage;
    } else if (url.empty()) {
      url = arg;
    } else if (file.empty()) {
      file = arg;
    } else {
      Usage();
      return kExitUsage;
    }
  }
  if (url.empty() || file.empty()) {
    Usage();
    return kExitUsage;
  }
  if (!md5.empty() && md5.size() != 32) {
    std::fprintf(stderr, "dlcli: --md5 takes 32 hexadecimal digits\n");
    return kExitUsage;
  }
  SetupLog(logFile.empty() ? file + ".log" : logFile, verbose);
  analytics::CSingleUserLog::GetInstance().SetDownloadSettings(settings);

  const std::wstring wideUrl = platform::AnsiToWide(url);
  const std::wstring wideFile = platform::AnsiToWide(file);
  ProgressLine progress(dlcli::StdoutIsTerminal());
  download::CDownLoadImpl engine;
  engine.setProgressCallback([&](int64_t done, int64_t total) { progress.Update(done, total); });

  int result = download::ErrContentLength;
  for (long round = 1; round <= rounds; ++round) {
    std::string cdn;
    result = engine.SuperDownloadFile(wideUrl, wideFile, &cdn, true);
    progress.End();
    LOG(INFO) << "dlcli round " << round << " result " << result;
    if (!cdn.empty()) std::printf("cdn: %s\n", cdn.c_str());
    if (result == download::ErrSuccess) {
      const int64_t size = platform::FileSize(wideFile);
      progress.Update(size, size);
      progress.End();
      break;
    }
    std::printf("round %ld of %ld failed with %d\n", round, rounds, result);
    std::fflush(stdout);
  }
  if (result != download::ErrSuccess) return result;

  if (!md5.empty()) {
    const std::wstring expected = platform::AnsiToWide(md5);
    if (!engine.checkMD5(wideFile, expected, expected, L"dlcli")) {
      std::printf("MD5 mismatch: expected %s\n", md5.c_str());
      return kExitMd5;
    }
    std::printf("MD5 ok\n");
  }
  std::printf("done: %s\n", file.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_ALL);
  const int code = Run(argc, argv);
  curl_global_cleanup();
  return code;
}
