// The banner and privacy fetch bodies over a recording window and scripted services: retries
// and their events, the picture names, the two download ways, "every item must load", the
// policy links and their error events, and replies or addresses that must change nothing.
#include "remote/cbs_services.h"
#include "remote/service_replies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "config/configure.h"
#include "config/log_capture.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

using remote::BannerRecord;

constexpr char kPicture[] = "a loadable picture";

class RecordingWindow : public remote::IBannerWindow {
 public:
  explicit RecordingWindow(std::wstring folder) : folder_(std::move(folder)) {}
  EnumLanguage BannerLanguage() const override { return EnumLanguage::Czech; }
  int BannerProductId() const override { return 7001; }
  std::wstring BannerDownloadFolder() const override { return folder_; }
  bool CanLoadBannerImage(const std::wstring& path) override {
    std::string bytes;
    return platform::ReadWholeFile(path, &bytes) && bytes == kPicture;
  }
  void StoreBanner(const BannerRecord& record) override { stored[record.sort] = record; }
  void PostBannerReady() override { ++posted; }

  std::map<int, BannerRecord> stored;
  int posted = 0;

 private:
  std::wstring folder_;
};

struct Event {
  std::string category, action, key, value;
};

// Scripted answers: replies in order (the last repeats), picture bytes per address for each
// way (absent: that way fails).
class Script {
 public:
  std::vector<std::pair<int, std::string>> replies;
  std::map<std::wstring, std::string> systemBytes, engineBytes;
  std::vector<std::string> requested;
  std::vector<std::wstring> systemPaths, enginePaths;
  std::vector<Event> events;
  std::vector<std::string> flowErrors;
  std::vector<unsigned> sleeps;
  uint32_t tick = 0;
  uint32_t msPerCall = 4000;

  remote::RemoteServices Services() {
    remote::RemoteServices s;
    s.httpGet = [this](const std::string& url, std::string* body) {
      requested.push_back(url);
      tick += msPerCall;
      const auto& r = replies[std::min(requested.size(), replies.size()) - 1];
      *body = r.second;
      return r.first;
    };
    s.urlToFile = [this](const std::wstring& url, const std::wstring& path) -> long {
      systemPaths.push_back(path);
      const auto it = systemBytes.find(url);
      if (it == systemBytes.end()) return -2146697211;  // INET_E_RESOURCE_NOT_FOUND
      return platform::WriteFileAtomically(path, it->second) ? 0 : -1;
    };
    s.engineDownload = [this](const std::wstring& url, const std::wstring& path) {
      enginePaths.push_back(path);
      const auto it = engineBytes.find(url);
      if (it == engineBytes.end()) return 10;
      return platform::WriteFileAtomically(path, it->second) ? 1 : 7;
    };
    s.removeFile = [](const std::wstring& path) { return platform::RemoveFile(path); };
    s.userLog = [this](const char* category, const char* action, const char* label) {
      if (std::string(category) == "Other" && std::string(action) == "FlowError")
        flowErrors.push_back(label);
    };
    s.funnelEvent = [this](const std::string& c, const std::string& a, const std::string& k,
                           const std::string& v) { events.push_back({c, a, k, v}); };
    s.tickCount = [this] { return tick; };
    s.unixTime = [] { return int64_t{1700000000}; };
    s.sleep = [this](unsigned ms) { sleeps.push_back(ms); };
    s.isTestEnvironment = [] { return false; };
    s.endpoints.dataService = "data.kerfo.example";
    s.endpoints.dataServiceTest = "data-test.kerfo.example";
    return s;
  }

  int Count(const std::string& action) const {
    int n = 0;
    for (const Event& e : events) n += e.action == action;
    return n;
  }
};

std::string Item(const std::string& url, int sort) {
  return R"({"banner_url":")" + url + R"(","jump_url":"https://kerfo.example/p)" +
         std::to_string(sort) + R"(","prompt":"Kerfo \u00e5","sort":)" + std::to_string(sort) +
         "}";
}

class BannerFetchTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir_;
  RecordingWindow window_{dir_.path()};
  Script script_;
};

TEST(BannerPictureName, FollowsTheSortAndTheAddressExtensionInsideTheFolder) {
  const std::wstring folder = L"C:\\dl\\run";
  EXPECT_EQ(remote::BannerPictureName(folder, 3, "https://h/images/b.png"), L"C:\\dl\\run\\3.png");
  EXPECT_EQ(remote::BannerPictureName(folder + L"\\", 3, "https://h/b.JPG?v=2#x"),
            L"C:\\dl\\run\\3.JPG");
  EXPECT_EQ(remote::BannerPictureName(folder, -7, "https://h/b.gif"), L"C:\\dl\\run\\-7.gif");
  EXPECT_EQ(remote::BannerPictureName(folder, 2147483647, "https://h/b.jpeg"),
            L"C:\\dl\\run\\2147483647.jpeg");
  // No picture extension, or one that would leave the folder: no name at all.
  for (const char* url :
       {"https://h.example/image", "https://h/a.png/..\\..\\x", "https://h/a.b/../../evil.png.exe",
        "https://h/b.exe", "https://h/b.png.", "https://h/b", "https://h/b.p\\ng",
        "https://h/x.png/../y", ""}) {
    EXPECT_EQ(remote::BannerPictureName(folder, 1, url), L"") << url;
  }
  EXPECT_EQ(remote::BannerPictureName(L"", 1, "https://h/b.png"), L"");
}

TEST_F(BannerFetchTest, AllPicturesLoadedPostsOnceWithTheRecordsBySort) {
  script_.replies = {{0, "[" + Item("https://h/images/b.png", 3) + "," +
                             Item("https://h/images/a.jpg", 1) + "]"}};
  script_.systemBytes[L"https://h/images/b.png"] = kPicture;
  script_.engineBytes[L"https://h/images/a.jpg"] = kPicture;  // the system way fails for it
  const std::wstring log = dir_.File(L"log.txt");
  {
    testsupport::LogCapture capture(log);
    EXPECT_EQ(remote::GetCbsBanner(window_, script_.Services()), 0);
    EXPECT_TRUE(capture.Contains(" Get Cbs Ban2: true, 0"));
    EXPECT_TRUE(capture.Contains(" Get Cbs Ban 1 Success 1"));
    EXPECT_TRUE(capture.Contains(" Get Cbs Ban 2 Success 2"));
    EXPECT_TRUE(capture.Contains("Get Banner success"));
    EXPECT_TRUE(capture.Contains(" BAN: lang_code=cz&parent_pid=7001&timestamp=1700000000"));
  }
  EXPECT_EQ(window_.posted, 1);
  ASSERT_EQ(window_.stored.size(), 2u);
  const BannerRecord& three = window_.stored.at(3);
  EXPECT_EQ(three.localPath, dir_.File(L"3.png"));
  EXPECT_TRUE(platform::PathExists(dir_.File(L"3.png")));
  EXPECT_EQ(three.picUrl, L"https://h/images/b.png");
  EXPECT_EQ(three.jumpUrl, L"https://kerfo.example/p3");
  EXPECT_EQ(three.prompt, L"Kerfo \u00e5");
  EXPECT_EQ(window_.stored.at(1).localPath, dir_.File(L"1.jpg"));
  ASSERT_EQ(script_.requested.size(), 1u);
  EXPECT_NE(script_.requested[0].find("https://data.kerfo.example/api/v1/banners?lang_code=cz"),
            std::string::npos);
  // One request event with its bucket (4 s), one picture event per item.
  ASSERT_EQ(script_.Count("ObtainCarouselMapTime"), 1);
  EXPECT_EQ(script_.events[0].category, "Download");
  EXPECT_EQ(script_.events[0].key, "CarouselMapTimeInterval");
  EXPECT_EQ(script_.events[0].value, "[3~6]s");
  EXPECT_EQ(script_.Count("DownloadCarouselImagesTime"), 2);
}

TEST_F(BannerFetchTest, TwoOfThreeLoadedPostsNothingAndDropsTheBrokenPicture) {
  script_.replies = {{0, R"({"code":200,"item000":)" + Item("https://h/1.png", 1) +
                             R"(,"item001":)" + Item("https://h/2.png", 2) + R"(,"item002":)" +
                             Item("https://h/3.png", 3) + "}"}};
  script_.systemBytes[L"https://h/1.png"] = kPicture;
  script_.systemBytes[L"https://h/2.png"] = kPicture;
  script_.systemBytes[L"https://h/3.png"] = "<html>not a picture</html>";
  script_.engineBytes[L"https://h/3.png"] = "still not one";
  remote::GetCbsBanner(window_, script_.Services());
  EXPECT_EQ(window_.posted, 0);
  EXPECT_EQ(window_.stored.size(), 2u);
  EXPECT_FALSE(platform::PathExists(dir_.File(L"3.png")));
  // Three attempts, each trying both ways.
  EXPECT_EQ(std::count(script_.systemPaths.begin(), script_.systemPaths.end(), dir_.File(L"3.png")),
            3);
  EXPECT_EQ(script_.enginePaths.size(), 3u);
}

TEST_F(BannerFetchTest, RequestIsTriedThreeTimesWithPauses) {
  script_.replies = {{28, ""}, {0, ""}, {0, "[" + Item("https://h/1.png", 1) + "]"}};
  script_.systemBytes[L"https://h/1.png"] = kPicture;
  script_.msPerCall = 100;
  remote::GetCbsBanner(window_, script_.Services());
  EXPECT_EQ(script_.requested.size(), 3u);
  EXPECT_EQ(script_.sleeps, (std::vector<unsigned>{100, 100}));
  EXPECT_EQ(script_.Count("ObtainCarouselMapTime"), 3);
  EXPECT_EQ(window_.posted, 1);

  Script failing;
  failing.replies = {{6, ""}};
  RecordingWindow other(dir_.path());
  remote::GetCbsBanner(other, failing.Services());
  EXPECT_EQ(failing.requested.size(), 3u);
  EXPECT_EQ(failing.sleeps.size(), 2u);
  EXPECT_EQ(other.posted, 0);
  EXPECT_TRUE(failing.systemPaths.empty());
}

TEST_F(BannerFetchTest, BadRepliesAndAddressesDownloadNothingOutsideTheFolder) {
  const std::string replies[] = {
      "<html>502</html>",
      R"({"code":401,"msg":"bad signature"})",
      R"([{"banner_url":"https://h/1.png","sort":"1"}])",
      R"(28 partial [{"banner_url")",
  };
  int n = 0;
  for (const std::string& reply : replies) {
    Script script;
    script.replies = {{0, reply}};
    RecordingWindow window(dir_.path());
    const std::wstring log = dir_.File(L"bad" + std::to_wstring(++n) + L".txt");
    testsupport::LogCapture capture(log);
    remote::GetCbsBanner(window, script.Services());
    EXPECT_TRUE(script.systemPaths.empty()) << reply;
    EXPECT_EQ(window.posted, 0);
    EXPECT_TRUE(capture.Contains(" Get Cbs Ban: no banners, ")) << reply;
  }
  // Addresses that are no web address or name no picture file are never fetched; the carousel
  // then stays off since not every item loaded.
  script_.replies = {{0, "[" + Item("file:///C:/Windows/win.ini#.png", 1) + "," +
                             Item("https://h/a.png/..\\\\..\\\\..\\\\x", 2) + "," +
                             Item("https://h/run.exe", 3) + "," + Item("https://h/ok.png", 4) +
                             "," + R"({"banner_url":"","sort":5})" + "]"}};
  script_.systemBytes[L"https://h/ok.png"] = kPicture;
  remote::GetCbsBanner(window_, script_.Services());
  ASSERT_EQ(script_.systemPaths.size(), 1u);
  EXPECT_EQ(script_.systemPaths[0], dir_.File(L"4.png"));
  EXPECT_EQ(window_.stored.size(), 1u);
  EXPECT_EQ(window_.posted, 0);
}

TEST_F(BannerFetchTest, AMissingRunFolderIsMadeBeforeThePicturesArrive) {
  RecordingWindow window(dir_.File(L"KerfoRun\\20261209"));
  script_.replies = {{0, "[" + Item("https://h/1.png", 1) + "]"}};
  script_.systemBytes[L"https://h/1.png"] = kPicture;
  remote::GetCbsBanner(window, script_.Services());
  EXPECT_EQ(window.posted, 1);
  EXPECT_TRUE(platform::IsDirectory(dir_.File(L"KerfoRun\\20261209")));
  EXPECT_TRUE(platform::PathExists(dir_.File(L"KerfoRun\\20261209\\1.png")));
}

TEST_F(BannerFetchTest, ARequestErrorWithABodyIsNoContent) {
  script_.replies = {{28, "[" + Item("https://h/1.png", 1) + "]"}};
  script_.systemBytes[L"https://h/1.png"] = kPicture;
  remote::GetCbsBanner(window_, script_.Services());
  EXPECT_EQ(script_.requested.size(), 3u);
  EXPECT_TRUE(script_.systemPaths.empty());
  EXPECT_EQ(window_.posted, 0);
}

class PrivacyFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    configure_.setDefaultPolicyUrls(L"https://default/privacy", L"https://default/terms");
  }
  CConfigure configure_{277, 1, 2};
  Script script_;
};

TEST_F(PrivacyFetchTest, LinksAreStoredPerLanguageAndGapsFallBackToTheDefaults) {
  script_.replies = {{0, R"({"code":200,"msg":"ok",)"
                         R"("item000":{"lang_code":"en","urls":[{"field":"tc","url":"https://t/en"},)"
                         R"({"field":"p","url":"https://p/en"}]},)"
                         R"("item001":{"lang_code":"se","urls":[{"field":"p","url":"https://p/se"}]}})"}};
  testsupport::TempDir dir;
  {
    testsupport::LogCapture capture(dir.File(L"log.txt"));
    EXPECT_EQ(remote::GetCbsPrivacy(configure_, 7001, script_.Services()), 0);
    EXPECT_TRUE(capture.Contains(" Get Cbs tcp2: 1, 0"));
    EXPECT_TRUE(capture.Contains(" Get Cbs tcp3: 0, p, 12"));
    EXPECT_TRUE(capture.Contains(" TCP: parent_pid=7001&timestamp=1700000000&verify="));
  }
  EXPECT_EQ(configure_.getLicenseUrl("en"), L"https://t/en");
  EXPECT_EQ(configure_.getPrivacyUrl("en"), L"https://p/en");
  EXPECT_EQ(configure_.getPrivacyUrl("se"), L"https://p/se");
  EXPECT_EQ(configure_.getLicenseUrl("se"), L"https://default/terms");
  {
    std::lock_guard<std::mutex> hold(configure_.content().policyLock);
    EXPECT_EQ(configure_.content().policyLinks.at("se").second, L"");
  }
  EXPECT_EQ(script_.flowErrors, std::vector<std::string>{"DL005"});
  ASSERT_EQ(script_.Count("ObtainProtocolTime"), 1);
  EXPECT_EQ(script_.events[0].category, "StartDownloader");
  EXPECT_EQ(script_.events[0].key, "ProtocolObtainProtocolTime");
}

TEST_F(PrivacyFetchTest, EachMissingKindIsReportedOncePerThread) {
  script_.replies = {{0, R"([{"lang_code":"en","urls":[{"field":"tc","url":""}]},)"
                         R"({"lang_code":"de","urls":[]},{"lang_code":"fr"}])"}};
  remote::GetCbsPrivacy(configure_, 1, script_.Services());
  EXPECT_EQ(script_.flowErrors, (std::vector<std::string>{"DL005", "DL004"}));
  EXPECT_EQ(configure_.getLicenseUrl("fr"), L"https://default/terms");
}

TEST_F(PrivacyFetchTest, AddressesTheShellWouldRunAreNotStored) {
  script_.replies = {{0, R"([{"lang_code":"en","urls":[{"field":"tc","url":"C:\\Windows\\calc.exe"},)"
                         R"({"field":"p","url":"file:///C:/x.html"}]}])"}};
  remote::GetCbsPrivacy(configure_, 1, script_.Services());
  EXPECT_EQ(configure_.getLicenseUrl("en"), L"https://default/terms");
  EXPECT_EQ(configure_.getPrivacyUrl("en"), L"https://default/privacy");
  EXPECT_EQ(script_.flowErrors, (std::vector<std::string>{"DL005", "DL004"}));
}

TEST_F(PrivacyFetchTest, NoReplyOrABadOneChangesNothing) {
  const std::pair<int, std::string> replies[] = {
      {7, ""}, {0, ""}, {0, R"({"code":408})"}, {0, "[{"}, {0, R"([{"lang_code":["en"]}])"}};
  for (const auto& reply : replies) {
    Script script;
    script.replies = {reply};
    remote::GetCbsPrivacy(configure_, 1, script.Services());
    EXPECT_TRUE(script.flowErrors.empty()) << reply.second;
  }
  std::lock_guard<std::mutex> hold(configure_.content().policyLock);
  EXPECT_TRUE(configure_.content().policyLinks.empty());
}

}  // namespace
