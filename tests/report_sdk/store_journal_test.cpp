// The report store as files on disk: items with equal keys, restarts after a kill (an object
// destroyed without any compaction leaves exactly what a killed process leaves), stores written
// by the earlier format, torn journals, damaged and unreadable stores, the bounds, and two live
// users of one store.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "report_sdk/network_communicate.h"
#include "report_sdk/report_format.h"
#include "support/report_wire.h"
#include "support/temp_dir.h"

namespace reportsdk {
namespace {

constexpr int64_t kT0 = 1767225600000;

std::string Doc(const std::string& tag) {
  return "{\"common\":{\"source_type\":\"downloader\",\"cross_end_id\":\"\"},\"tag\":\"" + tag +
         "\"}";
}
std::string Hit(const std::string& tag) {
  return "https://ga4.test/g/collect?v=2&cid=AB&tid=G-R8KQ2W7NXD&ep.qd_category=Download"
         "&ep.qd_action=" +
         tag + "&en=" + tag;
}
std::string Key(char type, int64_t ms, const std::string& rest) {
  return std::string(1, type) + "::" + std::to_string(ms) + "::" + rest;
}

// Deliveries by what they carried (a document's body, a hit's address) without their task id.
// Each delivery must carry an id no earlier delivery had: every item is taken once.
class Collector {
 public:
  std::atomic<bool> up{true};
  long Post(const std::string& url, const std::string& body) {
    if (!up) return 0;
    std::lock_guard<std::mutex> guard(lock_);
    const bool hit = url.find("/g/collect") != std::string::npos;
    const testsupport::ReportWire wire = testsupport::SplitTaskId(hit ? url : body);
    ++seen_[wire.report];
    EXPECT_FALSE(wire.taskId.empty()) << wire.report;
    EXPECT_TRUE(ids_.insert(wire.taskId).second) << "task id taken twice: " << wire.taskId;
    return hit ? 204 : 200;
  }
  std::map<std::string, int> seen() {
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
  }
  int total() {
    int n = 0;
    for (const auto& item : seen()) n += item.second;
    return n;
  }

 private:
  std::mutex lock_;
  std::map<std::string, int> seen_;
  std::set<std::string> ids_;
};

class Log {
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

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string ReadText(const std::wstring& path) {
  std::string text;
  platform::ReadWholeFile(path, &text);
  return text;
}

// A store as the current code's predecessor wrote it: compact jsoncpp text, members sorted,
// no ids. The third entry was sent; the first carries a member of some other writer.
const char kTodaysStore[] =
    "{\"send_count\":3,\"send_item\":["
    "{\"note\":\"kept\",\"task_content\":\"https://ga4.test/g/collect?v=2&cid=AB&tid=G-R8KQ2W7ND"
    "&ep.qd_category=Download&ep.qd_action=Old1&en=Old1\",\"task_guid\":\"1::1767225600000::"
    "Download::Old1\",\"task_status\":0},"
    "{\"task_content\":\"{\\\"common\\\":{\\\"source_type\\\":\\\"downloader\\\",\\\"cross_end_id"
    "\\\":\\\"\\\"},\\\"tag\\\":\\\"old2\\\"}\",\"task_guid\":\"2::1767225600000::Download::Old1\","
    "\"task_status\":0},"
    "{\"task_content\":\"{\\\"common\\\":{\\\"source_type\\\":\\\"downloader\\\",\\\"cross_end_id"
    "\\\":\\\"\\\"},\\\"tag\\\":\\\"old3\\\"}\",\"task_guid\":\"2::1767225600001::Download::Old3\","
    "\"task_status\":2}]}";

class Store : public testing::Test {
 protected:
  std::wstring StorePath() const { return dir_.File(L"tempga.wk"); }

  std::unique_ptr<CNetworkCommunicate> Make(Collector* collector) {
    CNetworkCommunicate::Hooks hooks;
    hooks.post = [collector](const std::string& url, const std::string& body) {
      return collector->Post(url, body);
    };
    hooks.collectorUrl = [] { return std::string("https://collector.test/collect"); };
    hooks.log = [this](const std::string& line) { log_.Add(line); };
    hooks.pause = [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    hooks.idlePollMs = 2;
    auto net = std::make_unique<CNetworkCommunicate>(hooks);
    net->store().SetPath(StorePath());
    return net;
  }
  int Count() {
    CReportStore reader(nullptr);
    reader.SetPath(StorePath());
    return reader.CountEntries();
  }
  Json::Value Snapshot() {
    Json::Value root;
    std::string errors;
    EXPECT_TRUE(ParseJson(ReadText(StorePath()), &root, &errors));
    return root;
  }

  testsupport::TempDir dir_;
  Log log_;
};

// Many items with one key in one millisecond, then a kill: each is its own entry, and the next
// start delivers every one exactly once.
TEST_F(Store, EqualKeysAreSeparateItemsAcrossAKill) {
  Collector down;
  down.up = false;
  {
    auto net = Make(&down);
    net->ReplayStore();
    for (int i = 0; i < 11; ++i) {
      ASSERT_EQ(net->Post(Key('2', kT0, "Download::CoreFuncEnd"), Doc("end"), false, true, false),
                0);
      ASSERT_EQ(net->Post(Key('1', kT0, "Download::CoreFuncEnd"), Hit("end"), false, true, false),
                0);
    }
    // The twelfth alike post is a repeat: refused and not stored.
    EXPECT_EQ(net->Post(Key('2', kT0, "Download::CoreFuncEnd"), Doc("end"), false, true, false),
              -1);
    EXPECT_EQ(net->store().CountEntries(), 22);
  }  // killed: nothing folded, the items are only in the journal

  Collector up;
  auto next = Make(&up);
  next->ReplayStore();
  EXPECT_TRUE(log_.Has("Read history: 22/22")) << log_.All();
  next->StartSender();
  ASSERT_TRUE(WaitFor([&] { return next->Idle(); }));
  EXPECT_EQ(up.seen(), (std::map<std::string, int>{{Doc("end"), 11}, {Hit("end"), 11}}));
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(Snapshot()["send_count"].asInt(), 0);

  // Delivering one of two items with the same key leaves the other stored.
  next.reset();
  auto quiet = Make(&up);
  ASSERT_EQ(quiet->Post(Key('2', kT0 + 5, "a::b"), Doc("x1"), false, true, false), 0);
  ASSERT_EQ(quiet->Post(Key('2', kT0 + 5, "a::b"), Doc("x2"), false, true, false), 0);
  const std::vector<CReportStore::Entry> stored = quiet->store().WaitingEntries();
  ASSERT_EQ(stored.size(), 2u);
  SendItemRecord first;
  first.key = stored[0].key;
  first.payload = stored[0].payload;
  first.type = kItemDocument;
  first.storeId = stored[0].id;
  first.taskId = stored[0].id;
  ASSERT_TRUE(quiet->SendItem(first, true));
  ASSERT_EQ(quiet->store().WaitingEntries().size(), 1u);
  EXPECT_EQ(quiet->store().WaitingEntries()[0].payload, Doc("x2"));
  EXPECT_EQ(Count(), 1);
}

// A store written in the earlier format loads as it is: its waiting entries are replayed, the
// sent one is left, members of other writers survive the rewrite, and a second live user of the
// store does not replay what the first has claimed.
TEST_F(Store, StoreOfTheEarlierFormatLoadsAndKeepsItsMembers) {
  dir_.Write(L"tempga.wk", kTodaysStore);
  Collector down;
  down.up = false;
  auto first = Make(&down);
  first->ReplayStore();
  EXPECT_TRUE(log_.Has("Read history: 2/3")) << log_.All();
  EXPECT_EQ(first->QueueCount(), 2u);

  const Json::Value root = Snapshot();
  ASSERT_EQ(root["send_count"].asInt(), 3);
  const Json::Value& items = root["send_item"];
  EXPECT_EQ(items[0]["task_guid"].asString(), "1::1767225600000::Download::Old1");
  EXPECT_EQ(items[0]["note"].asString(), "kept");
  EXPECT_EQ(items[1]["task_guid"].asString(), "2::1767225600000::Download::Old1");
  EXPECT_EQ(items[2]["task_status"].asInt(), 2);
  EXPECT_NE(items[0]["task_id"].asString(), items[1]["task_id"].asString());
  EXPECT_EQ(items[0]["task_owner"].asString(), first->store().OwnerId());

  Collector up;
  auto second = Make(&up);
  second->ReplayStore();
  EXPECT_EQ(second->QueueCount(), 0u);  // the live first process owns both

  // The first ends without delivering; now its items are orphans and the next user sends them.
  first.reset();
  auto third = Make(&up);
  third->ReplayStore();
  EXPECT_EQ(third->QueueCount(), 2u);
  third->StartSender();
  ASSERT_TRUE(WaitFor([&] { return third->Idle(); }));
  EXPECT_EQ(up.total(), 2);
  EXPECT_EQ(Count(), 1);  // the sent entry stays as it was
}

std::wstring Journal(const testsupport::TempDir& dir, int gen) {
  return dir.File(L"tempga.wk.j" + std::to_wstring(gen));
}

// A kill in the middle of a record leaves a torn tail; a later process appends after it. Both
// sides of the damage are read, and a record whose bytes changed is skipped.
TEST_F(Store, TornAndDamagedJournalRecordsAreSkipped) {
  Collector down;
  down.up = false;
  {
    auto net = Make(&down);
    for (int i = 0; i < 3; ++i) {
      net->Post(Key('2', kT0 + i, "a::" + std::to_string(i)), Doc("t" + std::to_string(i)), false,
                true, false);
    }
  }
  ASSERT_TRUE(platform::PathExists(Journal(dir_, 0)));
  std::string bytes = ReadText(Journal(dir_, 0));
  // The second record's body gets one byte changed; a torn record is appended.
  const size_t second = bytes.find("KRJ1", 4);
  ASSERT_NE(second, std::string::npos);
  bytes[second + 40] ^= 0x20;
  const size_t third = bytes.find("KRJ1", second + 4);
  ASSERT_NE(third, std::string::npos);
  bytes += bytes.substr(third, 30);
  ASSERT_TRUE(platform::WriteFileAtomically(Journal(dir_, 0), bytes));
  {
    auto net = Make(&down);
    net->Post(Key('2', kT0 + 9, "a::9"), Doc("t9"), false, true, false);
  }
  Collector up;
  auto net = Make(&up);
  net->ReplayStore();
  EXPECT_TRUE(log_.Has("damaged stretches skipped")) << log_.All();
  net->StartSender();
  ASSERT_TRUE(WaitFor([&] { return net->Idle(); }));
  EXPECT_EQ(up.seen(), (std::map<std::string, int>{{Doc("t0"), 1}, {Doc("t2"), 1}, {Doc("t9"), 1}}));
}

// Damaged, truncated, wrongly typed and oversized stores: read up to the damage or kept aside,
// never a crash and never emptied without a copy.
TEST_F(Store, DamagedStoresAreReadUpToTheDamageAndKeptAside) {
  const std::string whole = kTodaysStore;
  struct Case {
    std::string text;
    size_t replayed;
  };
  const Case cases[] = {
      {whole.substr(0, whole.find("\"task_guid\":\"2::1767225600000")), 1},  // cut mid-entry
      {"{\"send_count\":2,\"send_item\":[{\"task_guid\":\"1::1767225600000::Download::Old1\","
       "\"task_content\":\"" + Hit("ok") + "\"},7,{\"task_guid\":[],\"task_content\":5},"
       "{\"task_guid\":\"1::1767225600000::Download::Old2\",\"task_status\":\"x\"}]}",
       1},                                    // wrong types around one good entry
      {std::string(5000, '{'), 0},            // nesting beyond any reader's patience
      {"\xEF\xBB\xBF\x00\xFF garbage", 0},    // not JSON at all
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n++);
    platform::RemoveFile(StorePath() + L".bad");
    ASSERT_TRUE(platform::WriteFileAtomically(StorePath(), c.text));
    Collector down;
    down.up = false;
    auto net = Make(&down);
    net->ReplayStore();
    EXPECT_EQ(net->QueueCount(), c.replayed);
    EXPECT_EQ(ReadText(StorePath() + L".bad"), c.text);
    EXPECT_TRUE(log_.Has("Store damaged")) << log_.All();
    EXPECT_TRUE(Snapshot()["send_item"].isArray());
    net.reset();
    platform::RemoveFile(StorePath());
  }

  // Beyond the size that is read at all: kept aside whole, and the store starts afresh.
  const std::string big = whole + std::string(4000, ' ');
  ASSERT_TRUE(platform::WriteFileAtomically(StorePath(), big));
  Collector down;
  auto net = Make(&down);
  CReportStore::Limits limits;
  limits.maxSnapshotBytes = 1000;
  net->store().SetLimits(limits);
  net->ReplayStore();
  EXPECT_TRUE(log_.Has("Store too large to read")) << log_.All();
  EXPECT_EQ(ReadText(StorePath() + L".bad"), big);
  EXPECT_EQ(Snapshot()["send_count"].asInt(), 0);
}

// A store that exists but cannot be read (another process holds it) is retried, then left
// byte for byte as it was; items posted meanwhile wait in the journal and nothing is lost once
// it can be read again.
TEST_F(Store, AStoreThatCannotBeReadIsNotOverwritten) {
  dir_.Write(L"tempga.wk", kTodaysStore);
  std::atomic<int> reads{0};
  std::atomic<bool> locked{true};
  Collector down;
  down.up = false;
  auto net = Make(&down);
  net->store().SetSnapshotReader([&](const std::wstring& path, std::string* text) {
    ++reads;
    return !locked && platform::ReadWholeFile(path, text);
  });
  net->ReplayStore();
  EXPECT_GE(reads.load(), 5);
  EXPECT_TRUE(log_.Has("Store unreadable")) << log_.All();
  EXPECT_EQ(net->QueueCount(), 0u);
  ASSERT_EQ(net->Post(Key('2', kT0 + 7, "new::one"), Doc("new"), false, true, false), 0);
  EXPECT_FALSE(net->store().Compact().read);
  EXPECT_EQ(ReadText(StorePath()), kTodaysStore);

  locked = false;
  const CReportStore::ReplayList list = net->store().Compact();
  ASSERT_TRUE(list.read);
  EXPECT_EQ(list.items.size(), 2u);  // the old orphans; the new item is this process's own
  EXPECT_EQ(Snapshot()["send_count"].asInt(), 4);
}

// A collector that never answers, over 50 runs of ten minutes each: the store stays within its
// count bound, drops the oldest first and says so; with an age bound only recent runs stay.
TEST_F(Store, ANeverAnsweringCollectorKeepsTheStoreBounded) {
  CReportStore::Limits limits;
  limits.maxItems = 100;
  limits.compactAfterRecords = 16;
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    const bool byAge = pass == 1;
    if (byAge) limits.maxAgeMs = 3LL * 86400000;
    int64_t now = kT0;
    int largest = 0;
    for (int run = 0; run < 50; ++run) {
      Collector down;
      down.up = false;
      auto net = Make(&down);
      net->store().SetLimits(limits);
      net->store().SetClock([&now] { return now; });
      net->ReplayStore();
      for (int i = 0; i < 20; ++i) {
        const std::string tag = std::to_string(pass) + "-" + std::to_string(run) + "-" +
                                std::to_string(i);
        ASSERT_EQ(net->Post(Key('2', now + i * 6000, "Run::" + tag), Doc(tag), false, true, false),
                  0);
      }
      if (net->store().CompactionDue()) net->store().Compact();
      largest = std::max(largest, Count());
      now += byAge ? 86400000 : 600000;
    }
    // A run's own posts can sit in the journal on top of the bound until the next compaction.
    EXPECT_LE(largest, 100 + 20);
    EXPECT_TRUE(log_.Has("Store over its bounds, dropped ")) << log_.All();
    Collector down;
    auto last = Make(&down);
    const std::vector<CReportStore::Entry> left = last->store().WaitingEntries();
    ASSERT_FALSE(left.empty());
    // Oldest first: what is left are the last runs' items.
    const std::string newest = std::to_string(pass) + "-49-19";
    EXPECT_NE(left.back().payload.find(newest), std::string::npos);
    EXPECT_EQ(left.front().payload.find(std::to_string(pass) + "-0-"), std::string::npos);
    if (byAge) {
      EXPECT_LE(left.size(), 4u * 20u);
    }
    last->ReplayStore();
    EXPECT_LE(Count(), byAge ? 80 : 100);
    last.reset();
    platform::RemoveFile(StorePath());
  }
}

// Posters racing on one key: the repeat check admits exactly eleven.
TEST_F(Store, RacingPostersPassNoMoreThanTheRepeatLimit) {
  Collector down;
  auto net = Make(&down);
  std::atomic<int> accepted{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 8; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 6; ++i) {
        if (net->Post(Key('2', kT0, "race::same"), Doc("race"), false, false, false) == 0) {
          ++accepted;
        }
      }
    });
  }
  for (auto& thread : posters) thread.join();
  EXPECT_EQ(accepted.load(), 11);
}

// Two live users of one store, each posting and replaying at once: every item, their own and
// the orphans of an earlier run, is delivered exactly once.
TEST_F(Store, TwoLiveUsersNeverSendTheSameItem) {
  {
    Collector down;
    down.up = false;
    auto earlier = Make(&down);
    for (int i = 0; i < 30; ++i) {
      earlier->Post(Key('2', kT0 + i, "old::" + std::to_string(i)), Doc("old" + std::to_string(i)),
                    false, true, false);
    }
  }
  Collector up;
  auto a = Make(&up);
  auto b = Make(&up);
  std::vector<std::thread> threads;
  for (CNetworkCommunicate* net : {a.get(), b.get()}) {
    const std::string who = net == a.get() ? "a" : "b";
    threads.emplace_back([net, who] {
      net->StartSender();
      net->ReplayStore();
      for (int i = 0; i < 25; ++i) {
        net->Post(Key('2', kT0 + 100 + i, who + "::" + std::to_string(i)),
                  Doc(who + std::to_string(i)), false, true, false);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(WaitFor([&] { return a->Idle() && b->Idle(); }));
  const auto seen = up.seen();
  EXPECT_EQ(seen.size(), 80u);
  for (const auto& item : seen) EXPECT_EQ(item.second, 1) << item.first;
  EXPECT_EQ(Count(), 0);
}

// The replay line shows the stored count as it stands, also without any entries.
TEST_F(Store, ReadHistoryShowsTheStoredCount) {
  dir_.Write(L"tempga.wk", "{\"send_count\": 5}");
  Collector down;
  auto net = Make(&down);
  net->ReplayStore();
  EXPECT_TRUE(log_.Has("Read history: 0/5")) << log_.All();
}

}  // namespace
}  // namespace reportsdk
