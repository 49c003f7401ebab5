// The store, the repeat check, the sender's delivery rules and replay, with a scripted
// transport in place of the network.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
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

const char kCollector[] = "https://collector.test/collect";

std::string Ga4Payload(int n) {
  return "https://ga4.test/g/collect?v=2&cid=AB&tid=G-R8KQ2W7NXD&ep.qd_category=Download"
         "&ep.qd_action=A" +
         std::to_string(n) + "&en=A" + std::to_string(n);
}
std::string DocPayload(int n) {
  return "{\"common\":{\"source_type\":\"downloader\",\"cross_end_id\":\"\"},\"n\":" +
         std::to_string(n) + "}";
}
std::string Key(char type, int64_t ms, const std::string& rest) {
  return std::string(1, type) + "::" + std::to_string(ms) + "::" + rest;
}
constexpr int64_t kT0 = 1767225600000;

// A transport answering by URL with scripted statuses, counting what arrived.
class FakeTransport {
 public:
  std::atomic<long> ga4Status{204};
  std::atomic<long> collectorStatus{200};
  long Post(const std::string& url, const std::string& body) {
    std::lock_guard<std::mutex> guard(lock_);
    const bool ga4 = url.find("/g/collect") != std::string::npos;
    const long status = ga4 ? ga4Status.load() : collectorStatus.load();
    ++attempts_;
    if ((ga4 && status == 204) || (!ga4 && status == 200)) ++accepted_[ga4 ? url : body];
    urls_.push_back(url);
    ids_.push_back(TaskIdOf(ga4 ? url : body));
    return status;
  }
  // The collector-side id of every attempt, in order ("" when it carried none).
  std::vector<std::string> ids() {
    std::lock_guard<std::mutex> guard(lock_);
    return ids_;
  }
  static std::string TaskIdOf(const std::string& wire) {
    return testsupport::SplitTaskId(wire).taskId;
  }
  int attempts() {
    std::lock_guard<std::mutex> guard(lock_);
    return attempts_;
  }
  std::map<std::string, int> accepted() {
    std::lock_guard<std::mutex> guard(lock_);
    return accepted_;
  }
  std::vector<std::string> urls() {
    std::lock_guard<std::mutex> guard(lock_);
    return urls_;
  }

 private:
  std::mutex lock_;
  int attempts_ = 0;
  std::map<std::string, int> accepted_;
  std::vector<std::string> urls_;
  std::vector<std::string> ids_;
};

class Transport : public testing::Test {
 protected:
  std::unique_ptr<CNetworkCommunicate> Make() {
    CNetworkCommunicate::Hooks hooks;
    hooks.post = [this](const std::string& url, const std::string& body) {
      return transport_.Post(url, body);
    };
    hooks.collectorUrl = [] { return std::string(kCollector); };
    hooks.log = [this](const std::string& line) {
      std::lock_guard<std::mutex> guard(logLock_);
      log_.push_back(line);
    };
    hooks.pause = [this](uint32_t ms) {
      std::lock_guard<std::mutex> guard(logLock_);
      pauses_.push_back(ms);
    };
    hooks.idlePollMs = 5;
    platform::CreateOneDirectory(dir_.File(L"backup"));
    auto net = std::make_unique<CNetworkCommunicate>(hooks);
    net->store().SetPath(dir_.File(L"backup\\tempga.wk"));
    return net;
  }
  bool Logged(const std::string& text) {
    std::lock_guard<std::mutex> guard(logLock_);
    for (const auto& line : log_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  static bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  Json::Value StoreJson() {
    std::string text;
    Json::Value root;
    std::string errors;
    EXPECT_TRUE(platform::ReadWholeFile(dir_.File(L"backup\\tempga.wk"), &text));
    EXPECT_TRUE(ParseJson(text, &root, &errors)) << text;
    return root;
  }

  testsupport::TempDir dir_;
  FakeTransport transport_;
  std::mutex logLock_;
  std::vector<std::string> log_;
  std::vector<uint32_t> pauses_;
};

TEST_F(Transport, TwelfthAlikePostWithinAMinuteIsRefusedAndStaysRefused) {
  auto net = Make();
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(
        net->Post(Key('1', kT0 + i * 1000, "Download::Start"), Ga4Payload(i), false, false, false),
        0)
        << i;
  }
  EXPECT_EQ(
      net->Post(Key('1', kT0 + 11000, "Download::Start"), Ga4Payload(11), false, false, false), -1);
  EXPECT_TRUE(Logged("Detect repeat 11, more than 10 within 60 seconds"));
  EXPECT_EQ(
      net->Post(Key('1', kT0 + 12000, "Download::Start"), Ga4Payload(12), false, false, false), -1);
  EXPECT_EQ(net->QueueCount(), 11u);
  // Another action, or the other item type, is counted on its own.
  EXPECT_EQ(net->Post(Key('1', kT0 + 12000, "Download::Stop"), Ga4Payload(1), false, false, false),
            0);
  EXPECT_EQ(net->Post(Key('2', kT0 + 12000, "Download::Start"), DocPayload(1), false, false, false),
            0);
}

TEST_F(Transport, PostsMoreThanAMinuteApartNeverCount) {
  auto net = Make();
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(net->Post(Key('2', kT0 + i * 61000LL, "Other::FlowError"), DocPayload(i), false,
                        false, false),
              0)
        << i;
  }
  // The window is exactly 60 whole seconds: 60.999 s apart still counts.
  auto near = Make();
  for (int i = 0; i < 11; ++i)
    near->Post(Key('2', kT0, "a::b"), DocPayload(i), false, false, false);
  EXPECT_EQ(near->LookForRepeatCount(Key('2', kT0 + 60999, "a::b"), 60), 11);
  EXPECT_EQ(near->LookForRepeatCount(Key('2', kT0 + 61000, "a::b"), 60), 0);
  // Malformed keys are counted by their parts and never throw.
  EXPECT_EQ(near->LookForRepeatCount("", 60), 0);
  EXPECT_EQ(near->LookForRepeatCount("2::", 60), 0);
  EXPECT_EQ(near->LookForRepeatCount("2::abc", 60), 0);
}

TEST_F(Transport, DeliveryRulesPerItemType) {
  auto net = Make();
  struct Case {
    int type;
    long ga4;
    long collector;
    bool delivered;
  };
  const Case cases[] = {
      {kItemGa4, 204, 200, true},
      {kItemGa4, 200, 200, false},  // a GA4 hit answered 200 is not delivered
      {kItemDocument, 204, 200, true},
      {kItemDocument, 204, 204, false},  // a document answered 204 is not delivered
      {kItemDocument, 204, 500, false},
      {kItemGa4, 0, 200, false},  // no response
  };
  int n = 0;
  for (const Case& c : cases) {
    transport_.ga4Status = c.ga4;
    transport_.collectorStatus = c.collector;
    pauses_.clear();
    SendItemRecord item;
    item.type = c.type;
    item.key = Key(c.type == kItemGa4 ? '1' : '2', kT0 + n, "x::y");
    item.payload = c.type == kItemGa4 ? Ga4Payload(n) : DocPayload(n);
    ++n;
    const size_t queued = net->QueueCount();
    const int before = transport_.attempts();
    EXPECT_EQ(net->SendItem(item, true), c.delivered) << n;
    EXPECT_EQ(transport_.attempts() - before, c.delivered ? 1 : 3) << n;
    EXPECT_EQ(pauses_,
              c.delivered ? std::vector<uint32_t>{} : (std::vector<uint32_t>{2000, 2000, 2000}))
        << n;
    EXPECT_EQ(net->QueueCount(), queued + (c.delivered ? 0 : 1)) << n;
  }
  EXPECT_EQ(transport_.urls().back().find("https://ga4.test/g/collect?"), 0u);
  bool sawCollector = false;
  for (const auto& url : transport_.urls()) sawCollector |= url == kCollector;
  EXPECT_TRUE(sawCollector);
}

TEST_F(Transport, ImmediateSendFailureKeepsTheItemQueuedAndStored) {
  auto net = Make();
  transport_.collectorStatus = 503;
  EXPECT_EQ(net->Post(Key('2', kT0, "a::b"), DocPayload(1), false, true, true), -2);
  EXPECT_EQ(net->QueueCount(), 1u);
  EXPECT_EQ(net->store().CountEntries(), 1);
  transport_.collectorStatus = 200;
  EXPECT_EQ(net->Post(Key('2', kT0 + 1, "a::c"), DocPayload(2), false, true, true), 0);
  EXPECT_EQ(net->store().CountEntries(), 1);  // the delivered one was removed
}

TEST_F(Transport, SenderDeliversEachItemOnceAndEmptiesTheStore) {
  auto net = Make();
  net->StartSender();
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(
        net->Post(Key('1', kT0 + i, "c::a" + std::to_string(i)), Ga4Payload(i), false, true, false),
        0);
    ASSERT_EQ(
        net->Post(Key('2', kT0 + i, "c::a" + std::to_string(i)), DocPayload(i), false, true, false),
        0);
  }
  ASSERT_TRUE(WaitFor([&] { return net->Idle(); }));
  const auto accepted = transport_.accepted();
  EXPECT_EQ(accepted.size(), 40u);
  for (const auto& item : accepted) EXPECT_EQ(item.second, 1) << item.first;
  EXPECT_EQ(net->store().CountEntries(), 0);
  EXPECT_EQ(StoreJson()["send_count"].asInt(), 0);
}

TEST_F(Transport, FailingCollectorKeepsItemsQueuedAndStored) {
  auto net = Make();
  transport_.collectorStatus = 500;
  net->StartSender();
  for (int i = 0; i < 3; ++i) {
    net->Post(Key('2', kT0 + i, "c::a" + std::to_string(i)), DocPayload(i), false, true, false);
  }
  ASSERT_TRUE(WaitFor([&] { return transport_.attempts() >= 12; }));
  EXPECT_FALSE(net->Idle());
  EXPECT_EQ(net->store().CountEntries(), 3);
  // The collector recovers: every item goes out once and the store empties.
  transport_.collectorStatus = 200;
  ASSERT_TRUE(WaitFor([&] { return net->Idle(); }));
  EXPECT_EQ(transport_.accepted().size(), 3u);
  EXPECT_EQ(net->store().CountEntries(), 0);
}

TEST_F(Transport, ReplaySkipsSentAndShortEntriesAndIgnoresTheRepeatCheck) {
  Json::Value root(Json::objectValue);
  Json::Value items(Json::arrayValue);
  auto add = [&](const std::string& key, int status, const std::string& content) {
    Json::Value e(Json::objectValue);
    e["task_guid"] = key;
    e["task_status"] = status;
    e["task_content"] = content;
    items.append(e);
  };
  for (int i = 0; i < 15; ++i) add(Key('1', kT0 + i, "Download::Start"), 0, Ga4Payload(i));
  add(Key('1', kT0, "Download::Sent"), 2, Ga4Payload(99));
  add("1::short", 0, Ga4Payload(98));
  add(Key('1', kT0, "Download::Tiny"), 0, "tiny");
  root["send_item"] = items;
  root["send_count"] = static_cast<int>(items.size());
  auto net = Make();
  ASSERT_TRUE(
      platform::WriteFileAtomically(dir_.File(L"backup\\tempga.wk"), root.toStyledString()));

  net->ReplayStore();
  EXPECT_TRUE(Logged("Read history: 17/18"));
  EXPECT_EQ(net->QueueCount(), 15u);  // fifteen alike items: none refused as repeats
  net->StartSender();
  ASSERT_TRUE(WaitFor([&] { return net->Idle(); }));
  EXPECT_EQ(transport_.accepted().size(), 15u);
  // The entries that were never replayed stay; the sent one is untouched.
  EXPECT_EQ(net->store().CountEntries(), 3);
}

TEST_F(Transport, HostileStoresReadSafelyAndHealOnTheNextWrite) {
  const std::string stores[] = {
      "",
      "{\"send_count\": 2, \"send_item\": [{\"task_guid\": \"1::00",  // truncated
      "\xFF\xFE{garbage",
      "[]",
      "{\"send_count\": 99, \"send_item\": []}",
      "{\"send_count\": -4, \"send_item\": {\"a\": 1}}",
      "{\"send_count\": \"x\", \"send_item\": [1, \"two\", null, {\"task_guid\": 5}]}",
      "{\"send_count\": 1, \"send_item\": [{\"task_guid\": [], \"task_status\": {}, "
      "\"task_content\": 7}]}",
      std::string(1000, '{'),
  };
  int n = 0;
  for (const std::string& text : stores) {
    auto net = Make();
    const std::wstring path = dir_.File(L"backup\\tempga.wk");
    ASSERT_TRUE(platform::WriteFileAtomically(path, text));
    net->ReplayStore();
    EXPECT_EQ(net->QueueCount(), 0u) << n;
    const std::string key = Key('2', kT0 + n, "hostile::store");
    EXPECT_EQ(net->Post(key, DocPayload(n), false, true, false), 0) << n;
    ASSERT_TRUE(net->store().Compact().read) << n;
    const Json::Value root = StoreJson();
    ASSERT_TRUE(root["send_item"].isArray()) << n;
    EXPECT_EQ(root["send_count"].asInt(), static_cast<int>(root["send_item"].size())) << n;
    EXPECT_EQ(root["send_item"][root["send_item"].size() - 1]["task_guid"].asString(), key) << n;
    ++n;
  }
  EXPECT_TRUE(platform::PathExists(dir_.File(L"backup\\tempga.wk.bad")));
}

TEST_F(Transport, PostersAndTheSenderNeverLoseEachOthersStoreChanges) {
  auto net = Make();
  transport_.collectorStatus = 500;  // keep everything stored while posters run
  net->StartSender();
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&net, t] {
      for (int i = 0; i < 15; ++i) {
        net->Post(Key('2', kT0 + t * 100 + i, "t" + std::to_string(t) + "::" + std::to_string(i)),
                  DocPayload(t * 100 + i), false, true, false);
      }
    });
  }
  for (auto& thread : posters) thread.join();
  EXPECT_EQ(net->store().CountEntries(), 60);
  transport_.collectorStatus = 200;
  ASSERT_TRUE(WaitFor([&] { return net->Idle(); }, 30000));
  EXPECT_EQ(net->store().CountEntries(), 0);
  EXPECT_EQ(transport_.accepted().size(), 60u);
}

TEST_F(Transport, AStoreThatCannotBeWrittenLosesNoQueuedItem) {
  auto net = Make();
  // The store's folder cannot exist: a file stands where it would be.
  dir_.Write(L"blocked", "a file");
  net->store().SetPath(dir_.File(L"blocked\\backup\\tempga.wk"));
  EXPECT_EQ(net->Post(Key('2', kT0, "a::b"), DocPayload(1), false, true, false), 0);
  EXPECT_TRUE(Logged("Store write failed"));
  EXPECT_EQ(net->QueueCount(), 1u);
  net->StartSender();
  ASSERT_TRUE(WaitFor([&] { return net->Idle(); }));
  EXPECT_EQ(transport_.accepted().size(), 1u);
}

// A collector that took an item whose answer was lost (the sender saw a failure, or died before
// noting the answer) sees the same id at every later send, from this process or the next one
// over the same store: it can count the item once.
TEST_F(Transport, EverySendOfAnItemCarriesTheSameTaskId) {
  std::vector<std::string> first;
  {
    auto net = Make();
    transport_.ga4Status = 500;
    transport_.collectorStatus = 500;
    EXPECT_EQ(net->Post(Key('1', kT0, "a::b"), Ga4Payload(1), false, true, true), -2);
    EXPECT_EQ(net->Post(Key('2', kT0, "a::b"), DocPayload(1), false, true, true), -2);
    first = transport_.ids();
    ASSERT_EQ(first.size(), 6u);  // three attempts each
    EXPECT_FALSE(first[0].empty());
    EXPECT_EQ(first[1], first[0]);
    EXPECT_EQ(first[2], first[0]);
    EXPECT_EQ(first[3], first[5]);
    EXPECT_NE(first[3], first[0]);
  }  // the process ends with both items stored
  transport_.ga4Status = 204;
  transport_.collectorStatus = 200;
  auto next = Make();
  next->ReplayStore();
  next->StartSender();
  ASSERT_TRUE(WaitFor([&] { return next->Idle(); }));
  const std::vector<std::string> all = transport_.ids();
  ASSERT_EQ(all.size(), 8u);
  EXPECT_EQ(std::set<std::string>(all.begin() + 6, all.end()),
            (std::set<std::string>{first[0], first[3]}));
  EXPECT_EQ(next->store().CountEntries(), 0);
  // On the wire: the stored payloads, each with its id added and nothing else changed.
  std::set<std::string> sent;
  for (const auto& item : transport_.accepted()) {
    const testsupport::ReportWire wire = testsupport::SplitTaskId(item.first);
    EXPECT_TRUE(wire.taskId == first[0] || wire.taskId == first[3]) << item.first;
    sent.insert(wire.report);
  }
  EXPECT_EQ(sent, (std::set<std::string>{Ga4Payload(1), DocPayload(1)}));
}

// Entries of a store written before ids existed get content ids, the same at every replay.
TEST_F(Transport, OldStoreEntriesGetStableTaskIds) {
  Json::Value root(Json::objectValue);
  Json::Value items(Json::arrayValue);
  for (int i = 0; i < 3; ++i) {
    Json::Value e(Json::objectValue);
    e["task_guid"] = Key('1', kT0 + i, "Old::A" + std::to_string(i));
    e["task_status"] = 0;
    e["task_content"] = Ga4Payload(i);
    items.append(e);
  }
  root["send_item"] = items;
  root["send_count"] = 3;
  transport_.ga4Status = 500;
  {
    auto net = Make();
    ASSERT_TRUE(
        platform::WriteFileAtomically(dir_.File(L"backup\\tempga.wk"), root.toStyledString()));
    net->ReplayStore();
    net->StartSender();
    ASSERT_TRUE(WaitFor([&] { return transport_.attempts() >= 3; }));
  }
  const std::string seen = transport_.ids()[0];
  EXPECT_EQ(seen.size(), 33u);
  EXPECT_EQ(seen[0], 'h');
  transport_.ga4Status = 204;
  auto net = Make();
  net->ReplayStore();
  net->StartSender();
  ASSERT_TRUE(WaitFor([&] { return net->Idle(); }));
  std::set<std::string> delivered;
  const std::vector<std::string> all = transport_.ids();
  delivered.insert(all.end() - 3, all.end());
  EXPECT_EQ(delivered.size(), 3u);
  EXPECT_EQ(delivered.count(seen), 1u);
  EXPECT_EQ(net->store().CountEntries(), 0);
}

TEST_F(Transport, UnknownPayloadsAreRefused) {
  auto net = Make();
  EXPECT_EQ(net->Post(Key('1', kT0, "a::b"), "neither kind", false, true, false), -1);
  EXPECT_EQ(net->QueueCount(), 0u);
  EXPECT_FALSE(platform::PathExists(dir_.File(L"backup\\tempga.wk")));
}

}  // namespace
}  // namespace reportsdk
