// Bad conditions around the report SDK that need the real OS: a collector that accepts the
// connection and never answers (the real transport with its shipped time-outs), and a disk that
// fills up while the store is being written.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "report_sdk/network_communicate.h"
#include "report_sdk/post_data.h"
#include "report_sdk/report_format.h"
#include "support/report_wire.h"
#include "support/temp_dir.h"

namespace reportsdk {
namespace {

constexpr int64_t kT0 = 1767225600000;

std::string DocPayload(int n) {
  return "{\"common\":{\"source_type\":\"downloader\",\"cross_end_id\":\"\"},\"n\":" +
         std::to_string(n) + "}";
}
std::string Key(int64_t ms, const std::string& rest) {
  return "2::" + std::to_string(ms) + "::" + rest;
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class LogSink {
 public:
  void Add(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(line);
  }
  bool Has(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& line : lines_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  std::string All() {
    std::lock_guard<std::mutex> guard(lock_);
    std::string all;
    for (const auto& line : lines_) all += line + "\n";
    return all;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> lines_;
};

// A collector on loopback that, while hanging, accepts connections and never says a word; once
// told to answer it reads each request and answers 200, keeping the bodies it accepted.
class Collector {
 public:
  Collector() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::listen(listen_, 16) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  ~Collector() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : held_) ::close(fd);
    if (listen_ >= 0) ::close(listen_);
  }
  int port() const { return port_; }
  void Answer() { answer_ = true; }
  int connections() const { return connections_.load(); }
  std::vector<std::string> accepted() {
    std::lock_guard<std::mutex> guard(lock_);
    return accepted_;
  }

 private:
  void Loop() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      if (!answer_) {
        held_.push_back(fd);  // never read, never answered, closed only at the end
        continue;
      }
      Serve(fd);
      ::close(fd);
    }
  }
  // Reads one request with a short patience and answers 200 with an empty body.
  void Serve(int fd) {
    std::string request;
    size_t bodyStart = std::string::npos;
    size_t length = 0;
    char buffer[4096];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
      if (bodyStart != std::string::npos && request.size() >= bodyStart + length) break;
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
      if (n <= 0) return;
      request.append(buffer, static_cast<size_t>(n));
      if (bodyStart == std::string::npos) {
        const size_t end = request.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        bodyStart = end + 4;
        std::string head = request.substr(0, end);
        for (char& ch : head) ch = static_cast<char>(::tolower(static_cast<unsigned char>(ch)));
        const size_t at = head.find("content-length:");
        if (at != std::string::npos) length = std::strtoul(head.c_str() + at + 15, nullptr, 10);
      }
    }
    if (bodyStart == std::string::npos || request.size() < bodyStart + length) return;
    {
      std::lock_guard<std::mutex> guard(lock_);
      accepted_.push_back(request.substr(bodyStart, length));
    }
    const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    (void)::send(fd, reply, sizeof(reply) - 1, MSG_NOSIGNAL);
  }

  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> answer_{false};
  std::atomic<int> connections_{0};
  std::vector<int> held_;
  std::mutex lock_;
  std::vector<std::string> accepted_;
};

// The collector hangs for the first attempt; the real transport must give up on its own
// time-out (40 s), the item must stay stored and in the sender's hands, and once the collector
// answers again it must arrive exactly once and leave the store.
TEST(ReportSdkFaults, HangingCollectorTimesOutKeepsTheItemAndDeliversItOnceLater) {
  Collector collector;
  ASSERT_GT(collector.port(), 0);
  testsupport::TempDir dir;
  LogSink log;
  const std::string url = "http://127.0.0.1:" + std::to_string(collector.port()) + "/collect";

  std::atomic<int> pauses{0};
  std::atomic<int> storedAtFirstPause{-1};
  std::atomic<bool> idleAtFirstPause{true};
  std::atomic<int64_t> firstAttemptMs{0};
  const auto started = std::chrono::steady_clock::now();
  CNetworkCommunicate* self = nullptr;

  CNetworkCommunicate::Hooks hooks;
  hooks.post = [&log](const std::string& to, const std::string& body) {
    return PostDataError(to, body, std::wstring(), [&log](const std::string& l) { log.Add(l); });
  };
  hooks.collectorUrl = [url] { return url; };
  hooks.log = [&log](const std::string& line) { log.Add(line); };
  hooks.pause = [&](uint32_t) {
    if (pauses++ == 0) {
      firstAttemptMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count();
      storedAtFirstPause = self->store().CountEntries();
      idleAtFirstPause = self->Idle();
      collector.Answer();
    }
  };
  hooks.idlePollMs = 5;
  CNetworkCommunicate net(hooks);
  self = &net;
  net.store().SetPath(dir.File(L"tempga.wk"));

  const std::string payload = DocPayload(1);
  ASSERT_EQ(net.Post(Key(kT0, "Install::Start"), payload, false, true, false), 0);
  ASSERT_EQ(net.store().CountEntries(), 1);
  net.StartSender();

  ASSERT_TRUE(WaitFor([&] { return net.DeliveredCount() == 1 && net.Idle(); }, 70000)) << log.All();
  // Given up by the transport's own bound, not by anything on the collector's side.
  EXPECT_GE(firstAttemptMs.load(), 35000);
  EXPECT_LT(firstAttemptMs.load(), 50000);
  EXPECT_TRUE(log.Has("PostDataError: 28, ")) << log.All();
  EXPECT_EQ(storedAtFirstPause.load(), 1);
  EXPECT_FALSE(idleAtFirstPause.load());

  // Nothing else arrives later: the one delivery was the only one.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(pauses.load(), 1);
  ASSERT_EQ(collector.accepted().size(), 1u);
  EXPECT_EQ(testsupport::SplitTaskId(collector.accepted()[0]).report, payload);
  EXPECT_EQ(collector.connections(), 2);
  EXPECT_EQ(net.store().CountEntries(), 0);
}

// A small filesystem that can be filled: a tmpfs of its own where mounting works (root), else
// a file-size limit on this process, which makes every growing write fail the same way.
class FullDisk {
 public:
  explicit FullDisk(const std::string& folder) : folder_(folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~FullDisk() {
    Free();
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool Limit() {
    oldXfsz_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit none = saved_;
    none.rlim_cur = 0;
    limited_ = ::setrlimit(RLIMIT_FSIZE, &none) == 0;
    return limited_;
  }
  bool Fill() {
    if (!mounted_) return Limit();
    const std::string filler = folder_ + "/filler";
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::vector<char> block(4096, 'x');
    int err = 0;
    for (int i = 0; i < 1024; ++i) {
      if (::write(fd, block.data(), block.size()) < 0) {
        err = errno;
        break;
      }
    }
    ::close(fd);
    // Pages the big blocks could not use still take a small new file: fill those too.
    for (int i = 0; err == ENOSPC && i < 64; ++i) {
      const std::string small = folder_ + "/filler" + std::to_string(i);
      const int one = ::open(small.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (one < 0) break;
      smalls_.push_back(small);
      const bool full = ::write(one, "x", 1) < 0 && errno == ENOSPC;
      ::close(one);
      if (full) break;
    }
    // tmpfs hands out whole pages, so an append into a file's last page still fits; the size
    // limit makes those fail as well, as on a disk without a free byte.
    return err == ENOSPC && Limit();
  }
  void Free() {
    if (limited_) {
      ::setrlimit(RLIMIT_FSIZE, &saved_);
      ::signal(SIGXFSZ, oldXfsz_);
      limited_ = false;
    }
    if (mounted_) ::unlink((folder_ + "/filler").c_str());
    for (const std::string& small : smalls_) ::unlink(small.c_str());
    smalls_.clear();
  }

 private:
  std::string folder_;
  std::vector<std::string> smalls_;
  bool mounted_ = false;
  bool limited_ = false;
  rlimit saved_{};
  sighandler_t oldXfsz_ = SIG_DFL;
};

std::string ReadText(const std::wstring& path) {
  std::string text;
  EXPECT_TRUE(platform::ReadWholeFile(path, &text));
  return text;
}

// Writes fail while the disk is full: every queued item stays in memory, the store on disk is
// the one before, untouched and valid, no temporary file is left, and the reason is logged.
// Once space returns everything is delivered and the store empties.
TEST(ReportSdkFaults, FullDiskKeepsQueuedItemsAndTheOldStore) {
  testsupport::TempDir dir;
  const std::wstring diskW = dir.File(L"disk");
  FullDisk disk(platform::WideToUtf8(diskW));
  LogSink log;
  std::mutex sentLock;
  std::vector<std::string> sent;
  std::atomic<bool> collectorUp{false};

  CNetworkCommunicate::Hooks hooks;
  hooks.post = [&](const std::string&, const std::string& body) -> long {
    if (!collectorUp) return 0;
    std::lock_guard<std::mutex> guard(sentLock);
    sent.push_back(testsupport::SplitTaskId(body).report);
    return 200;
  };
  hooks.collectorUrl = [] { return std::string("https://collector.test/collect"); };
  hooks.log = [&log](const std::string& line) { log.Add(line); };
  hooks.pause = [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  hooks.idlePollMs = 5;
  CNetworkCommunicate net(hooks);
  const std::wstring storePath = diskW + L"/tempga.wk";
  net.store().SetPath(storePath);

  ASSERT_EQ(net.Post(Key(kT0, "Install::A"), DocPayload(1), false, true, false), 0);
  ASSERT_EQ(net.Post(Key(kT0 + 1, "Install::B"), DocPayload(2), false, true, false), 0);
  ASSERT_TRUE(net.store().Compact().read);  // both now in the store file itself
  const std::string before = ReadText(storePath);
  ASSERT_EQ(net.store().CountEntries(), 2);

  ASSERT_TRUE(disk.Fill());
  // Both a new item and a change to a stored one fail to reach the disk, and say so.
  EXPECT_EQ(net.Post(Key(kT0 + 2, "Install::C"), DocPayload(3), false, true, false), 0);
  EXPECT_FALSE(net.store().Update(Key(kT0, "Install::A"), DocPayload(1), CReportStore::kSent));
  EXPECT_TRUE(log.Has("Store write failed, error ")) << log.All();
  EXPECT_EQ(net.QueueCount(), 3u);
  EXPECT_EQ(ReadText(storePath), before);
  ASSERT_EQ(net.store().CountEntries(), 2);
  // A failed write leaves nothing half-written beside the store.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(platform::WideToUtf8(diskW))) {
    names.push_back(entry.path().filename().string());
  }
  for (const auto& name : names) {
    // The store, its journals, lock and owner files; no temporary copy.
    EXPECT_TRUE((name.rfind("tempga.wk", 0) == 0 && name.find(".tmp") == std::string::npos) ||
                name.rfind("filler", 0) == 0)
        << name;
  }

  // Space returns: every item, also the one that never reached the disk, arrives once.
  disk.Free();
  collectorUp = true;
  net.StartSender();
  ASSERT_TRUE(WaitFor([&] { return net.DeliveredCount() == 3 && net.Idle(); }, 10000)) << log.All();
  {
    std::lock_guard<std::mutex> guard(sentLock);
    EXPECT_EQ(sent, (std::vector<std::string>{DocPayload(1), DocPayload(2), DocPayload(3)}));
  }
  EXPECT_EQ(net.store().CountEntries(), 0);
}

}  // namespace
}  // namespace reportsdk
