// The simulated services over real loopback connections, driven with libcurl the way the
// installer drives them: both schemes on one port, the download faults on the wire, the
// configuration modes, the signed data service, the log upload and the admin API.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <random>

#include "signature.h"
#include "sim_test_util.h"
#include "vendor_sim.h"

namespace {

using simtest::Fetch;
using simtest::ParseJson;
using simtest::Reply;
using simtest::Request;

const size_t kSetupSize = 300001;

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& ch : bytes) ch = static_cast<char>(random() & 0xff);
  return bytes;
}

class SimServices : public testing::Test {
 protected:
  void SetUp() override {
    setup_ = RandomBytes(kSetupSize, 7);
    files_.Write("setup.exe", setup_);
    files_.Write("sub/c.bin", "final");
    const std::string scenario = state_.Write("scenario.json", R"({
      "download": {
        "dir": ")" + files_.path() + R"(",
        "redirects": {"/a": "/b", "/b": "/sub/c.bin", "/loop1": "/loop2", "/loop2": "/loop1"},
        "not_found": ["/setup-old.exe"]
      },
      "config": {
        "downloader": {"Md5": "{md5:setup.exe}", "Filesize": "{size:setup.exe}",
                       "Download_url": "{download}/setup.exe?x=1&y=2"}
      },
      "config_cn": {"before": "<?xml version=\"1.0\"?><html>", "after": "</html>", "bom": true}
    })");
    vendorsim::SimOptions options;
    options.stateDir = state_.path() + "/state";
    options.scenarioPath = scenario;
    std::string error;
    ASSERT_TRUE(sim_.Start(options, &error)) << error;
  }

  std::string Url(const std::string& endpoint, const std::string& path, bool tls = false) const {
    return std::string(tls ? "https" : "http") + "://127.0.0.1:" +
           std::to_string(sim_.Port(endpoint)) + path;
  }

  void AddRule(const std::string& json) {
    Request request;
    request.method = "POST";
    request.body = json;
    const Reply reply = Fetch(Url("Admin", "/rules"), request);
    ASSERT_EQ(reply.status, 200) << reply.body;
  }

  Json::Value Recorded(const std::string& endpoint) {
    return ParseJson(Fetch(Url("Admin", "/requests?endpoint=" + endpoint)).body);
  }

  simtest::ScratchDir state_;
  simtest::ScratchDir files_;
  std::string setup_;
  vendorsim::VendorSim sim_;
};

TEST_F(SimServices, DownloadServesRangesOverBothSchemesOnOnePort) {
  const Reply head = Fetch(Url("Download", "/setup.exe", true), [] {
    Request r;
    r.method = "HEAD";
    return r;
  }());
  EXPECT_EQ(head.code, CURLE_OK);
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.HasHeaderLine("Content-Length: 300001")) << head.headers;

  for (bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "https" : "http");
    Request last;
    last.range = "300000-300001";  // the last byte, asked up to the content length
    const Reply reply = Fetch(Url("Download", "/setup.exe", tls), last);
    EXPECT_EQ(reply.status, 206);
    EXPECT_TRUE(reply.HasHeaderLine("Content-Range: bytes 300000-300000/300001")) << reply.headers;
    EXPECT_EQ(reply.body, setup_.substr(300000));
  }
  Request past;
  past.range = "300001-300010";
  EXPECT_EQ(Fetch(Url("Download", "/setup.exe"), past).status, 416);

  // One handle, two requests: the second rides the first connection.
  simtest::Client client;
  Request slice;
  slice.range = "0-99";
  EXPECT_EQ(client.Fetch(Url("Download", "/setup.exe", true), slice).body, setup_.substr(0, 100));
  const Reply again = client.Fetch(Url("Download", "/setup.exe", true), slice);
  EXPECT_EQ(again.connects, 0);
  const Json::Value records = Recorded("Download");
  ASSERT_GE(records.size(), 2u);
  const Json::Value& first = records[records.size() - 2];
  const Json::Value& second = records[records.size() - 1];
  EXPECT_EQ(first["connection"], second["connection"]);
  EXPECT_EQ(second["on_connection"].asInt(), first["on_connection"].asInt() + 1);
  EXPECT_TRUE(second["tls"].asBool());
}

TEST_F(SimServices, EachDownloadFaultShowsOnTheWireOnceAndThenStops) {
  struct Case {
    const char* rule;
    CURLcode code;
    long status;
    std::function<void(const Reply&)> check;
  };
  const std::string slice = setup_.substr(0, 100000);
  const Case cases[] = {
      {R"("lowercase_headers":true)", CURLE_OK, 206,
       [&](const Reply& r) {
         EXPECT_NE(r.headers.find("content-range: bytes 0-99999/300001\r\n"), std::string::npos);
         EXPECT_EQ(r.headers.find("Content-"), std::string::npos) << r.headers;
         EXPECT_EQ(r.body, slice);
       }},
      {R"("no_length":true)", CURLE_OK, 206,
       [&](const Reply& r) {
         EXPECT_EQ(r.headers.find("Content-Length"), std::string::npos) << r.headers;
         EXPECT_TRUE(r.HasHeaderLine("Connection: close"));
         EXPECT_EQ(r.body, slice);
       }},
      {R"("drop_after":1000)", CURLE_PARTIAL_FILE, 206,
       [&](const Reply& r) { EXPECT_EQ(r.body, slice.substr(0, 1000)); }},
      {R"("whole_200":true)", CURLE_OK, 200,
       [&](const Reply& r) {
         EXPECT_EQ(r.headers.find("Content-Range"), std::string::npos);
         EXPECT_EQ(r.body, setup_);
       }},
      {R"("wrong_total":-1)", CURLE_OK, 206,
       [&](const Reply& r) {
         EXPECT_TRUE(r.HasHeaderLine("Content-Range: bytes 0-99999/300000")) << r.headers;
         EXPECT_EQ(r.body, slice);
       }},
      {R"("corrupt_offset":5)", CURLE_OK, 206,
       [&](const Reply& r) {
         ASSERT_EQ(r.body.size(), slice.size());
         EXPECT_NE(r.body[5], slice[5]);
         EXPECT_EQ(r.body.substr(6), slice.substr(6));
       }},
      {R"("status":503)", CURLE_OK, 503, [](const Reply&) {}},
      {R"("drop":true)", CURLE_GOT_NOTHING, 0, [](const Reply&) {}},
      {R"("cdn":{"kind":"cloudflare","location":"AMS","cache_status":"MISS"})", CURLE_OK, 206,
       [&](const Reply& r) {
         EXPECT_TRUE(r.HasHeaderLine("CF-Cache-Status: MISS"));
         EXPECT_TRUE(r.HasHeaderLine("CF-RAY: 8c1f0e2d3b4a5f60-AMS"));
         EXPECT_EQ(r.body, slice);
       }},
  };
  Request request;
  request.range = "0-99999";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    AddRule(std::string(R"({"endpoint":"Download","path":"/setup.exe","count":1,)") + c.rule + "}");
    const Reply faulty = Fetch(Url("Download", "/setup.exe"), request);
    EXPECT_EQ(faulty.code, c.code);
    EXPECT_EQ(faulty.status, c.status);
    c.check(faulty);
    const Reply next = Fetch(Url("Download", "/setup.exe"), request);
    EXPECT_EQ(next.status, 206);
    EXPECT_EQ(next.body, slice);
  }
}

TEST_F(SimServices, StallAndRateLimitSlowTheBodyWithoutChangingIt) {
  Request request;
  request.range = "0-99999";
  AddRule(R"({"path":"/setup.exe","count":1,"stall_after":500,"stall_ms":400})");
  auto started = std::chrono::steady_clock::now();
  Reply reply = Fetch(Url("Download", "/setup.exe"), request);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
  EXPECT_EQ(reply.body, setup_.substr(0, 100000));

  AddRule(R"({"path":"/setup.exe","count":1,"rate_bps":200000})");
  started = std::chrono::steady_clock::now();
  reply = Fetch(Url("Download", "/setup.exe"), request);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
  EXPECT_EQ(reply.body, setup_.substr(0, 100000));

  // A client that gives up during a stall frees the server at once.
  AddRule(R"({"path":"/setup.exe","count":1,"stall_after":10,"stall_ms":60000})");
  request.timeoutMs = 300;
  EXPECT_EQ(Fetch(Url("Download", "/setup.exe"), request).code, CURLE_OPERATION_TIMEDOUT);
}

TEST_F(SimServices, RedirectsNotFoundAndLoops) {
  Request follow;
  follow.maxRedirects = 5;
  Reply chain = Fetch(Url("Download", "/a", true), follow);
  EXPECT_EQ(chain.code, CURLE_OK);
  EXPECT_EQ(chain.body, "final");
  const std::string location = "Location: https://127.0.0.1:" +
                               std::to_string(sim_.Port("Download")) + "/b";
  EXPECT_TRUE(chain.HasHeaderLine(location)) << chain.headers;
  EXPECT_EQ(Fetch(Url("Download", "/loop1"), follow).code, CURLE_TOO_MANY_REDIRECTS);
  EXPECT_EQ(Fetch(Url("Download", "/setup-old.exe")).status, 404);
  EXPECT_EQ(Fetch(Url("Download", "/missing.exe")).status, 404);
  EXPECT_EQ(Fetch(Url("Download", "/../../etc/passwd")).status, 404);
  EXPECT_EQ(Fetch(Url("Download", "/%2e%2e/%2e%2e/etc/passwd")).status, 404);
}

TEST_F(SimServices, ConfigurationServiceModes) {
  const std::string query = "/queryDownloaderV2?LanguageId=1&SoftWareID=101&SiteID=2&package_type=5";
  const Reply plain = Fetch(Url("ConfigService", query));
  EXPECT_EQ(plain.status, 200);
  const std::string md5 = vendorsim::Md5Hex(setup_);
  EXPECT_NE(plain.body.find("<Md5>" + md5 + "</Md5>"), std::string::npos) << plain.body;
  EXPECT_NE(plain.body.find("<Filesize>300001</Filesize>"), std::string::npos);
  EXPECT_NE(plain.body.find("/setup.exe?x=1&amp;y=2</Download_url>"), std::string::npos);
  EXPECT_EQ(plain.body.compare(0, 12, "<Downloader>"), 0);
  const Json::Value record = Recorded("ConfigService")[0];
  EXPECT_EQ(record["notes"]["params"]["package_type"].asString(), "5");
  EXPECT_FALSE(record["tls"].asBool());

  const Reply china = Fetch(Url("ConfigServiceChina", query, true));
  EXPECT_EQ(china.body.compare(0, 3, "\xEF\xBB\xBF"), 0);
  EXPECT_NE(china.body.find("<?xml version=\"1.0\"?><html><Downloader>"), std::string::npos);
  EXPECT_NE(china.body.find("</Downloader></html>"), std::string::npos);

  EXPECT_EQ(Fetch(Url("ConfigService", "/queryDownloaderV2?LanguageId=x&SoftWareID=1&SiteID=2"))
                .status,
            400);

  struct Mode {
    const char* patch;
    CURLcode code;
    std::string body;
  };
  const Mode modes[] = {
      {R"({"config":{"mode":"no_element","before":"<html>maintenance</html>"}})", CURLE_OK,
       "<html>maintenance</html>"},
      {R"({"config":{"mode":"close"}})", CURLE_GOT_NOTHING, ""},
      {R"({"config":{"mode":"silent"}})", CURLE_OPERATION_TIMEDOUT, ""},
      {R"({"config":{"mode":"answer","delay_ms":2000}})", CURLE_OPERATION_TIMEDOUT, ""},
  };
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.patch);
    Request patch;
    patch.method = "PATCH";
    patch.body = mode.patch;
    ASSERT_EQ(Fetch(Url("Admin", "/scenario"), patch).status, 200);
    Request quick;
    quick.timeoutMs = 700;
    const Reply reply = Fetch(Url("ConfigService", query), quick);
    EXPECT_EQ(reply.code, mode.code);
    EXPECT_EQ(reply.body, mode.body);
  }
}

std::string SignedQuery(const std::string& text, long long stamp) {
  const std::string signedText = text + std::to_string(stamp);
  return signedText + "&verify=" + vendorsim::Md5Hex(signedText + "Wm4tPq9eXz2LbR7c");
}

TEST_F(SimServices, DataServiceChecksTheSignature) {
  const long long now = static_cast<long long>(std::time(nullptr));
  const Reply good = Fetch(Url("DataService", "/api/v1/banners?" +
                                              SignedQuery("lang_code=en&parent_pid=29&type=1&timestamp=", now),
                               true));
  const Json::Value banners = ParseJson(good.body);
  EXPECT_EQ(banners["code"].asInt(), 200) << good.body;
  const std::string image = banners["item000"]["banner_url"].asString();
  EXPECT_EQ(image, Url("DataService", "/images/banner1.png"));
  const Reply png = Fetch(image);
  EXPECT_EQ(png.status, 200);
  EXPECT_EQ(png.body.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
  EXPECT_NE(Fetch(Url("DataService", "/images/broken.png")).body.compare(0, 4, "\x89PNG"), 0);

  const Reply privacy = Fetch(Url("DataServiceTest", "/api/v1/user_privacy_info?" +
                                                         SignedQuery("parent_pid=29&timestamp=", now)));
  EXPECT_EQ(ParseJson(privacy.body)["item000"]["lang_code"].asString(), "en");

  std::string bad = SignedQuery("parent_pid=29&timestamp=", now);
  bad.back() = bad.back() == 'a' ? 'b' : 'a';
  EXPECT_EQ(ParseJson(Fetch(Url("DataService", "/api/v1/user_privacy_info?" + bad)).body)["code"]
                .asInt(),
            401);
  const std::string stale = SignedQuery("parent_pid=29&timestamp=", now - 3600);
  EXPECT_EQ(ParseJson(Fetch(Url("DataService", "/api/v1/user_privacy_info?" + stale)).body)["code"]
                .asInt(),
            408);
  const Json::Value records = Recorded("DataService");
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[records.size() - 1]["notes"]["verify"].asString(), "stale_timestamp");
  EXPECT_EQ(records[records.size() - 2]["notes"]["verify"].asString(), "bad_signature");
}

// The upload exactly as the installer sends it: a curl form (the older form API, as the
// installer uses it) with a "content-type" header of its own, which curl completes with the
// boundary.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
long Upload(const std::string& url, const std::string& path, const char* productId,
            std::string* response) {
  CURL* curl = curl_easy_init();
  curl_httppost* form = nullptr;
  curl_httppost* last = nullptr;
  curl_formadd(&form, &last, CURLFORM_COPYNAME, "file", CURLFORM_FILE, path.c_str(),
               CURLFORM_FILENAME, "KerfoSetup_20240131235959123.zip", CURLFORM_END);
  if (productId != nullptr) {
    curl_formadd(&form, &last, CURLFORM_COPYNAME, "product_id", CURLFORM_COPYCONTENTS, productId,
                 CURLFORM_END);
  }
  curl_formadd(&form, &last, CURLFORM_COPYNAME, "version", CURLFORM_COPYCONTENTS, "1.0.0.1",
               CURLFORM_END);
  curl_formadd(&form, &last, CURLFORM_COPYNAME, "catalogue", CURLFORM_COPYCONTENTS, "CrashDmp",
               CURLFORM_END);
  curl_slist* headers = curl_slist_append(nullptr, "content-type:multipart/form-data");
  headers = curl_slist_append(headers, "Accept:*/*");
  curl_easy_setopt(curl, CURLOPT_HTTPPOST, form);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t s, size_t n, void* user) {
    static_cast<std::string*>(user)->append(data, s * n);
    return s * n;
  });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, response);
  long status = 0;
  if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  curl_formfree(form);
  curl_slist_free_all(headers);
  return status;
}
#pragma GCC diagnostic pop

TEST_F(SimServices, LogUploadParsesTheFormAndChecksTheArchive) {
  const std::string log = "2024-01-31 23:59:59,123--[Thread](1)  Install Totally Take 1.0\n";
  const std::string zip = files_.Write("upload.zip", simtest::MakeZip({{"setup_x.log", log}}));
  std::string response;
  EXPECT_EQ(Upload(Url("LogUpload", "/v1/productLogUpload", true), zip, "RERidavaza2900", &response),
            200)
      << response;
  const Json::Value upload = Recorded("LogUpload")[0]["notes"]["upload"];
  EXPECT_TRUE(upload["accepted"].asBool());
  EXPECT_EQ(upload["filename"].asString(), "KerfoSetup_20240131235959123.zip");
  EXPECT_EQ(upload["fields"]["product_id"].asString(), "RERidavaza2900");
  EXPECT_EQ(upload["fields"]["version"].asString(), "1.0.0.1");
  EXPECT_EQ(upload["fields"]["catalogue"].asString(), "CrashDmp");
  EXPECT_EQ(upload["zip_entries"][0]["name"].asString(), "setup_x.log");
  EXPECT_EQ(upload["zip_entries"][0]["size"].asUInt64(), log.size());
  std::ifstream stored(upload["stored"].asString(), std::ios::binary);
  EXPECT_TRUE(stored.good());

  const std::string notZip = files_.Write("not.zip", "plain text, not an archive");
  response.clear();
  EXPECT_EQ(Upload(Url("LogUploadTest", "/v1/productLogUpload"), notZip, "RERidavaza2900", &response),
            400);
  std::string damaged = simtest::MakeZip({{"a.log", std::string(5000, 'x')}});
  damaged[damaged.find("a.log") + 5 + 3] ^= 0x55;  // inside the compressed data
  response.clear();
  EXPECT_EQ(Upload(Url("LogUpload", "/v1/productLogUpload"), files_.Write("bad.zip", damaged),
                   "RERidavaza2900", &response),
            400);
  response.clear();
  EXPECT_EQ(Upload(Url("LogUpload", "/v1/productLogUpload"), zip, nullptr, &response), 400);
  EXPECT_NE(response.find("product_id"), std::string::npos);

  Request change;
  change.method = "POST";
  change.body = R"({"endpoint":"LogUpload","status":500,"count":1})";
  ASSERT_EQ(Fetch(Url("Admin", "/rules"), change).status, 200);
  EXPECT_EQ(Upload(Url("LogUpload", "/v1/productLogUpload"), zip, "RERidavaza2900", &response), 500);
}

TEST_F(SimServices, CollectorsAndAlertsRecordAndFollowTheirRules) {
  Request json;
  json.method = "POST";
  json.body = R"({"pid":29,"actions":{"event_action":"Install"}})";
  EXPECT_EQ(Fetch(Url("Collector", "/collect", true), json).status, 200);
  EXPECT_EQ(Fetch(Url("CollectorTest", "/collector", true), json).status, 200);
  Request broken = json;
  broken.body = "{not json";
  EXPECT_EQ(Fetch(Url("Collector", "/collect"), broken).status, 400);

  Request hit;
  hit.method = "POST";
  const std::string ga4 = "/g/collect?v=2&cid=1A2B3C4D001122334455&tid=G-R8KQ2W7NXD&en=Install";
  EXPECT_EQ(Fetch(Url("Ga4", ga4, true), hit).status, 204);
  const Json::Value ga4Note = Recorded("Ga4")[0]["notes"]["ga4"];
  EXPECT_TRUE(ga4Note["well_formed"].asBool());
  EXPECT_TRUE(ga4Note["body_empty"].asBool());
  EXPECT_EQ(ga4Note["cid"].asString(), "1A2B3C4D001122334455");

  AddRule(R"({"endpoint":"Ga4","count":2,"status":500})");
  AddRule(R"({"endpoint":"Collector","count":1,"drop":true})");
  EXPECT_EQ(Fetch(Url("Ga4", ga4), hit).status, 500);
  EXPECT_EQ(Fetch(Url("Ga4", ga4), hit).status, 500);
  EXPECT_EQ(Fetch(Url("Ga4", ga4), hit).status, 204);
  EXPECT_EQ(Fetch(Url("Collector", "/collect"), json).code, CURLE_GOT_NOTHING);
  EXPECT_EQ(Fetch(Url("Collector", "/collect"), json).status, 200);

  Request alert;
  alert.method = "POST";
  alert.body = "pid=101&type=2&exception_code=MD5_Check_Fail_Cfg1&other=http://a/b?c=1,http://d";
  EXPECT_EQ(Fetch(Url("AlertService", "/api/exception/send", true), alert).status, 200);
  const Json::Value form = Recorded("AlertService")[0]["notes"]["form"];
  EXPECT_EQ(form["exception_code"].asString(), "MD5_Check_Fail_Cfg1");
  EXPECT_EQ(form["other"].asString(), "http://a/b?c=1,http://d");
  EXPECT_EQ(Recorded("AlertService")[0]["body"].asString(), alert.body);
}

// A report sent again under its id (its sender never saw the first answer) is answered as the
// first was and recorded as a duplicate; a refused send does not count; reports without an id
// are taken as before.
TEST_F(SimServices, CollectorsCountEachTaskIdOnce) {
  Request doc;
  doc.method = "POST";
  doc.body = R"({"actions":{"event_action":"Install"},"task_id":"A1-7"})";
  Request hit;
  hit.method = "POST";
  const std::string ga4 = "/g/collect?v=2&cid=AB&tid=G-R8KQ2W7NXD&en=Install&ep.task_id=A1-%37";

  AddRule(R"({"endpoint":"Collector","count":1,"status":503})");
  EXPECT_EQ(Fetch(Url("Collector", "/collect", true), doc).status, 503);
  EXPECT_EQ(Fetch(Url("Collector", "/collect", true), doc).status, 200);
  EXPECT_EQ(Fetch(Url("Collector", "/collect", true), doc).status, 200);
  EXPECT_EQ(Fetch(Url("Ga4", ga4, true), hit).status, 204);  // another collector: its own count
  EXPECT_EQ(Fetch(Url("Ga4", ga4, true), hit).status, 204);
  EXPECT_EQ(Fetch(Url("CollectorTest", "/collector", true), doc).status, 200);
  Request plain = doc;
  plain.body = R"({"actions":{"event_action":"Install"}})";
  EXPECT_EQ(Fetch(Url("Collector", "/collect", true), plain).status, 200);
  EXPECT_EQ(Fetch(Url("Collector", "/collect", true), plain).status, 200);

  const Json::Value docs = Recorded("Collector");
  ASSERT_EQ(docs.size(), 5u);
  EXPECT_FALSE(docs[0]["notes"].isMember("task_id"));  // refused: not taken, not counted
  EXPECT_EQ(docs[1]["notes"]["task_id"].asString(), "A1-7");
  EXPECT_FALSE(docs[1]["notes"]["duplicate"].asBool());
  EXPECT_TRUE(docs[2]["notes"]["duplicate"].asBool());
  EXPECT_FALSE(docs[3]["notes"].isMember("duplicate"));
  EXPECT_FALSE(docs[4]["notes"].isMember("duplicate"));
  const Json::Value hits = Recorded("Ga4");
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0]["notes"]["task_id"].asString(), "A1-7");  // decoded
  EXPECT_FALSE(hits[0]["notes"]["duplicate"].asBool());
  EXPECT_TRUE(hits[1]["notes"]["duplicate"].asBool());

  const Json::Value counts = ParseJson(Fetch(Url("Admin", "/deliveries")).body);
  EXPECT_EQ(counts["Collector"]["unique"].asInt(), 1);
  EXPECT_EQ(counts["Collector"]["duplicates"].asInt(), 1);
  EXPECT_EQ(counts["Ga4"]["unique"].asInt(), 1);
  EXPECT_EQ(counts["Ga4"]["duplicates"].asInt(), 1);
  EXPECT_EQ(counts["CollectorTest"]["unique"].asInt(), 1);
  EXPECT_EQ(counts["CollectorTest"]["duplicates"].asInt(), 0);

  // A GA4 host answering 200 (not the 204 its sender counts as delivered) takes nothing.
  Request patch;
  patch.method = "PATCH";
  patch.body = R"({"ga4": {"status": 200}})";
  ASSERT_EQ(Fetch(Url("Admin", "/scenario"), patch).status, 200);
  const std::string other = "/g/collect?v=2&cid=AB&tid=G-R8KQ2W7NXD&en=Install&ep.task_id=B2";
  EXPECT_EQ(Fetch(Url("Ga4", other), hit).status, 200);
  patch.body = R"({"ga4": {"status": 204}})";
  ASSERT_EQ(Fetch(Url("Admin", "/scenario"), patch).status, 200);
  EXPECT_EQ(Fetch(Url("Ga4", other), hit).status, 204);
  const Json::Value later = Recorded("Ga4");
  ASSERT_EQ(later.size(), 4u);
  EXPECT_FALSE(later[2]["notes"].isMember("task_id"));
  EXPECT_EQ(later[3]["notes"]["task_id"].asString(), "B2");
  EXPECT_FALSE(later[3]["notes"]["duplicate"].asBool());
}

TEST_F(SimServices, MalformedRequestsGetA4xxAndTheServerCarriesOn) {
  const int port = sim_.Port("Download");
  const std::string inputs[] = {
      "GARBAGE\r\n\r\n",
      "GET /setup.exe HTTP/1.1\r\nRange: bytes=zz\r\n\r\n",
      "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n",
      "GET /setup.exe HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
      std::string("\x16\x03\x01\x00\x05hello", 10),
      std::string("\0\xff\0\xff\r\n\r\n", 8),
  };
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.substr(0, 40));
    const std::string answer = simtest::RawExchange(port, input, 2000);
    if (!answer.empty() && answer[0] == 'H') {
      EXPECT_EQ(answer.compare(0, 10, "HTTP/1.1 4"), 0) << answer.substr(0, 80);
    }
  }
  // Random bytes, some behind a plausible start, to every kind of service.
  std::mt19937 random(99);
  const char* starts[] = {"", "GET / HTTP/1.1\r\n", "POST /v1/productLogUpload HTTP/1.1\r\n",
                          "\x16\x03\x01"};
  for (int i = 0; i < 24; ++i) {
    const char* endpoint = i % 3 == 0 ? "Download" : i % 3 == 1 ? "LogUpload" : "DataService";
    simtest::RawExchange(sim_.Port(endpoint), starts[i % 4] + RandomBytes(1 + random() % 3000, i),
                         100);
  }
  Request slice;
  slice.range = "0-9";
  EXPECT_EQ(Fetch(Url("Download", "/setup.exe", true), slice).body, setup_.substr(0, 10));
  bool sawMalformed = false;
  for (const Json::Value& record : Recorded("Download")) {
    sawMalformed = sawMalformed || record["notes"]["malformed"].asBool();
  }
  EXPECT_TRUE(sawMalformed);
}

}  // namespace
