// The banner and privacy reply readers: the shapes the service may use, the "code" rule, and
// hostile replies (malformed, huge, deeply nested, wrong member types), which must all end as
// "no content" with a reason and never crash.
#include "remote/service_replies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using remote::BannerItem;
using remote::ParseBannerReply;
using remote::ParsePrivacyReply;
using remote::PrivacyItem;

const char kItem1[] =
    R"({"banner_url":"https://d.example/images/a.png","jump_url":"https://d.example/a",)"
    R"("prompt":"Fr\u00e5n","sort":2})";
const char kItem2[] = R"({"banner_url":"https://d.example/images/b.png","sort":1})";

TEST(BannerReply, EveryShapeOfTheServiceGivesItsItems) {
  const std::string shapes[] = {
      std::string(R"({"code":200,"msg":"ok","item000":)") + kItem1 + R"(,"item001":)" + kItem2 + "}",
      std::string(R"({"code":200,"msg":"ok","data":[)") + kItem1 + "," + kItem2 + "]}",
      std::string("[") + kItem1 + "," + kItem2 + "]",
  };
  for (const std::string& text : shapes) {
    std::vector<BannerItem> items;
    const remote::ReplyCheck check = ParseBannerReply(text, &items);
    ASSERT_TRUE(check.ok()) << check.why << " in " << text;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].bannerUrl, "https://d.example/images/a.png");
    EXPECT_EQ(items[0].jumpUrl, "https://d.example/a");
    EXPECT_EQ(items[0].prompt, "Fr\xc3\xa5n");
    EXPECT_EQ(items[0].sort, 2);
    EXPECT_EQ(items[1].jumpUrl, "");  // left out: empty
    EXPECT_EQ(items[1].sort, 1);
  }
}

TEST(BannerReply, CodeRuleAppliesWhereverCodeIsNamed) {
  std::vector<BannerItem> items;
  EXPECT_FALSE(ParseBannerReply(R"({"code":401})", &items).codeOk);
  EXPECT_FALSE(ParseBannerReply(R"({"code":"200","a":{"sort":1}})", &items).codeOk);
  EXPECT_FALSE(ParseBannerReply(R"({"code":200.5})", &items).codeOk);
  // Named only inside an item: the top level lacks it.
  EXPECT_FALSE(ParseBannerReply(R"([{"sort":1,"code":200}])", &items).codeOk);
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(ParseBannerReply(R"({"code":200})", &items).ok());
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(ParseBannerReply("[]", &items).ok());
}

TEST(BannerReply, HostileRepliesAreNoContentWithAReason) {
  std::string deep(100000, '[');
  std::string huge = "[" + std::string(remote::kMaxReplyBytes, ' ') + "]";
  std::string many = "[";
  for (size_t i = 0; i <= remote::kMaxReplyItems; ++i) many += std::string(i ? "," : "") + kItem2;
  many += "]";
  const std::string bad[] = {
      "",
      "not json",
      R"({"code":200,"a":{"sort":1})",      // cut short
      R"([{"sort":1}] trailing)",
      deep,
      std::string(20, '[') + std::string(20, ']'),
      huge,
      many,
      R"([{"banner_url":7}])",
      R"([{"banner_url":"https://x/a.png","sort":"3"}])",
      R"([{"banner_url":"https://x/a.png","sort":3.5}])",
      R"([{"banner_url":"https://x/a.png","sort":4294967296}])",
      R"([{"banner_url":"https://x/a.png","sort":-2147483649}])",
      R"([{"banner_url":"https://x/a.png","prompt":{"t":"x"}}])",
      R"([{"banner_url":"https://x/a.png","jump_url":["x"]}])",
      R"([{"sort":1}, 5])",
      R"([[{"sort":1}]])",
      R"("just text")",
      "42",
  };
  for (const std::string& text : bad) {
    std::vector<BannerItem> items{BannerItem{}};
    const remote::ReplyCheck check = ParseBannerReply(text, &items);
    EXPECT_FALSE(check.ok()) << text.substr(0, 80);
    EXPECT_FALSE(check.why.empty()) << text.substr(0, 80);
    EXPECT_TRUE(items.empty());
  }
  std::vector<BannerItem> items;
  EXPECT_FALSE(ParseBannerReply(deep, &items).parsed);
  EXPECT_GT(ParseBannerReply("not json", &items).errorLength, 0u);
}

TEST(BannerReply, SortsAtTheEdgesOfTheIntegerRangeAreRead) {
  std::vector<BannerItem> items;
  ASSERT_TRUE(ParseBannerReply(R"([{"sort":-2147483648},{"sort":2147483647},{"sort":4.0}])",
                               &items)
                  .ok());
  EXPECT_EQ(items[0].sort, -2147483647 - 1);
  EXPECT_EQ(items[1].sort, 2147483647);
  EXPECT_EQ(items[2].sort, 4);
}

TEST(PrivacyReply, ItemsWithTheirAddressesAndHostileForms) {
  std::vector<PrivacyItem> items;
  const remote::ReplyCheck check = ParsePrivacyReply(
      R"({"code":200,"msg":"ok","item000":{"lang_code":"en","urls":[{"field":"tc","url":"https://t"},)"
      R"({"field":"p","url":"https://p"},{"field":"x"}]},"item001":{"lang_code":"se"}})",
      &items);
  ASSERT_TRUE(check.ok()) << check.why;
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].langCode, "en");
  ASSERT_EQ(items[0].urls.size(), 3u);
  EXPECT_EQ(items[0].urls[1].field, "p");
  EXPECT_EQ(items[0].urls[1].url, "https://p");
  EXPECT_EQ(items[0].urls[2].url, "");
  EXPECT_TRUE(items[1].urls.empty());

  const std::string bad[] = {
      R"([{"lang_code":1}])",
      R"([{"lang_code":"en","urls":{"field":"tc"}}])",
      R"([{"lang_code":"en","urls":["https://t"]}])",
      R"([{"lang_code":"en","urls":[{"field":"tc","url":5}]}])",
      R"([{"lang_code":"en","urls":[{"field":null,"url":true}]}])",
      R"({"code":500,"a":{"lang_code":"en"}})",
  };
  for (const std::string& text : bad) {
    items.assign(1, PrivacyItem{});
    const remote::ReplyCheck c = ParsePrivacyReply(text, &items);
    EXPECT_FALSE(c.ok()) << text;
    EXPECT_FALSE(c.why.empty()) << text;
    EXPECT_TRUE(items.empty());
  }
}

}  // namespace
