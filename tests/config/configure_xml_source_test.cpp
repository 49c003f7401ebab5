#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "config/configure.h"
#include "config/control_text_source.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string Doc(const std::string& labels) {
  return kBom +
         "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\n"
         "<VerticalLayout><VerticalLayout name=\"Product_config\">" +
         labels + "</VerticalLayout></VerticalLayout>";
}

std::wstring Text(const CConfigureXmlSource& source, const wchar_t* key) {
  std::wstring text = L"<none>";
  source.GetControlText(key, &text);
  return text;
}

TEST(ConfigureXmlSourceTest, ReadsLabelsByNameAndFirstOfDuplicatesWins) {
  CConfigureXmlSource source;
  ASSERT_TRUE(
      source.Parse(Doc("<Label name=\"Site_id\" text=\"611\" />"
                       "<Label text=\"reversed\" name=\"Md5\" />"
                       "<Label name=\"Md5_extra\" />"
                       "<Label text=\"no name\" />"
                       "<Label name=\"Software_name\" text=\"K &amp; \xC3\x9C\" />"
                       "<Label name=\"Site_id\" text=\"999\" />")));
  EXPECT_EQ(L"611", Text(source, L"Site_id"));
  EXPECT_EQ(L"reversed", Text(source, L"Md5"));
  EXPECT_EQ(L"", Text(source, L"Md5_extra"));
  EXPECT_EQ(L"K & \u00DC", Text(source, L"Software_name"));
  EXPECT_EQ(L"<none>", Text(source, L"site_id"));  // keys are case-sensitive
  EXPECT_EQ(5u, source.Items().size());
}

TEST(ConfigureXmlSourceTest, PositionalRuleTakesFirstAttributeAsKey) {
  // The start-up scan reads attributes by position, so a reversed Label is misread there.
  CConfigureXmlSource source;
  ASSERT_TRUE(source.Parse(Doc("<Label name=\"Site_id\" text=\"611\" />"
                               "<Label text=\"reversed\" name=\"Md5\" />"
                               "<Label name=\"lonely\" />"),
                           EnumConfigureKeyRule::ByAttributePosition));
  EXPECT_EQ(L"611", Text(source, L"Site_id"));
  EXPECT_EQ(L"Md5", Text(source, L"reversed"));
  EXPECT_EQ(L"<none>", Text(source, L"Md5"));
  EXPECT_EQ(2u, source.Items().size());
}

TEST(ConfigureXmlSourceTest, FindsNamedLayoutAnywhereButPositionalUsesFirstChild) {
  const std::string doc =
      "<Window><HorizontalLayout><Label name=\"a\" text=\"b\"/></HorizontalLayout>"
      "<TabLayout><VerticalLayout name=\"Product_config\"><Label name=\"Site_id\" text=\"7\"/>"
      "</VerticalLayout></TabLayout></Window>";
  CConfigureXmlSource byName;
  ASSERT_TRUE(byName.Parse(doc));
  EXPECT_EQ(L"7", Text(byName, L"Site_id"));
  CConfigureXmlSource byPosition;
  ASSERT_TRUE(byPosition.Parse(doc, EnumConfigureKeyRule::ByAttributePosition));
  EXPECT_EQ(L"b", Text(byPosition, L"a"));
}

TEST(ConfigureXmlSourceTest, BrokenDocumentsFailCleanly) {
  const std::string cases[] = {
      "",
      kBom,
      "garbage",
      "<VerticalLayout>",
      "<VerticalLayout><VerticalLayout name=\"Product_config\"><Label name=\"a\"",
      "<VerticalLayout><VerticalLayout name=\"Other\"/></VerticalLayout>",
      std::string("<a>\0<b/></a>", 11),
      std::string(5000, '<'),
  };
  for (const auto& doc : cases) {
    CConfigureXmlSource source;
    ASSERT_TRUE(source.Parse(Doc("<Label name=\"x\" text=\"y\"/>")));
    EXPECT_FALSE(source.Parse(doc)) << doc.substr(0, 40);
    EXPECT_TRUE(source.Items().empty());  // nothing stale survives a failed parse
  }
  CConfigureXmlSource empty;
  EXPECT_FALSE(empty.Parse("<VerticalLayout/>", EnumConfigureKeyRule::ByAttributePosition));
}

TEST(ConfigureXmlSourceTest, TruncatedAndMutatedDocumentsNeverCrash) {
  std::string labels;
  for (int i = 0; i < 30; ++i) {
    labels += "<Label name=\"Key" + std::to_string(i) +
              "\" text=\"https://h.example/?a=1&amp;b=" + std::to_string(i) + "\" />\n";
  }
  const std::string doc = Doc(labels);
  for (size_t cut = 0; cut < doc.size(); ++cut) {
    CConfigureXmlSource source;
    EXPECT_FALSE(source.Parse(doc.substr(0, cut))) << cut;  // every prefix is incomplete
  }
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string mutated = doc;
    const int flips = 1 + static_cast<int>(rng() % 8);
    for (int f = 0; f < flips; ++f) {
      mutated[rng() % mutated.size()] = static_cast<char>(rng() & 0xFF);
    }
    for (const auto rule :
         {EnumConfigureKeyRule::ByAttributeName, EnumConfigureKeyRule::ByAttributePosition}) {
      CConfigureXmlSource source;
      const bool ok = source.Parse(mutated, rule);
      if (!ok) {
        EXPECT_TRUE(source.Items().empty());
      }
      // Whatever was read must be usable by a load.
      CConfigure config(0, 0, 0);
      EXPECT_EQ(1, config.loadFromSkin(source, true));
    }
  }
}

}  // namespace
