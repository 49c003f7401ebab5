// The language texts and license texts of the skin package, read from the source tree: every
// language has every key the installer looks up, the formats it fills with numbers stay safe
// to format, and the inline markup is balanced. A small checker returns the problems it finds,
// so a broken text can be shown to fail as well.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "system/language.h"

#ifndef KERFO_SKIN_SOURCE_DIR
#error "KERFO_SKIN_SOURCE_DIR must name the skin folder of the source tree"
#endif

namespace {

using Problems = std::vector<std::string>;

// The keys of the two sections: the controls whose text the window sets, the three formats it
// keeps, and the message box texts of every box type.
const std::vector<std::string> kInstallPageKeys = {
    "select_language_text", "install_btn",      "install_setting",
    "license_link",         "license_link_new", "browser_btn",
    "install_path_text",    "install_minbtn",   "install_closebtn",
    "finish_label",         "start_app",        "agree_improvement",
    "extra_text",           "text_fail_retry",  "retry_btn",
    "text_fail_advice",     "anima_text_1",     "anima_text_2",
    "anima_text_3",         "anima_text_4",     "anima_text_5",
    "anima_text_6",         "anima_text_7",     "anima_text_8",
    "anima_text_9",         "anima_text_10",    "install_label",
    "space_need",           "space_free"};
const std::vector<std::string> kMessagePageKeys = {"ReplaceDesText",
                                                   "ReplaceQueText",
                                                   "ReplaceText",
                                                   "CancelText",
                                                   "CancelDesText",
                                                   "CancelQueText",
                                                   "YesText",
                                                   "NoText",
                                                   "AppExistDesText",
                                                   "AppExistQueText",
                                                   "OkButtonText",
                                                   "PathErrorDesText",
                                                   "InstallRunTimeOutDesText",
                                                   "InstallRunTimeOutQueText",
                                                   "ConfirmText",
                                                   "MD5FailDesText",
                                                   "MD5FailQueText",
                                                   "UrlFailDexText",
                                                   "UrlFailQueText",
                                                   "InternetFailDesText",
                                                   "InternetFailQueText",
                                                   "InternetTimeoutDesText",
                                                   "InternetTimeoutQueText",
                                                   "NoEnoughSpaceDesText",
                                                   "ClickShortcutToLaunchText",
                                                   "NotSupportSystemDesText",
                                                   "AgreeDesText",
                                                   "AgreeInstallText",
                                                   "NotAgreeText",
                                                   "SuggestSSDText",
                                                   "AcceptText",
                                                   "RejectText"};

const char kBom[] = "\xEF\xBB\xBF";

std::string Narrow(const std::wstring& ascii) {
  return std::string(ascii.begin(), ascii.end());
}

std::string ReadSkinFile(const std::string& relative) {
  std::ifstream in(std::string(KERFO_SKIN_SOURCE_DIR) + "/" + relative, std::ios::binary);
  if (!in) return {};
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The conversions of a printf format in order, one letter each ("f", "s"); "%%" adds nothing
// and a '%' that starts no plain conversion (no conversion letter, '*' widths, length
// modifiers) adds '?'.
std::string Conversions(const std::string& format) {
  std::string kinds;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    size_t j = i + 1;
    if (j < format.size() && format[j] == '%') {
      i = j;
      continue;
    }
    while (j < format.size() && std::strchr("-+ #0", format[j]) != nullptr) ++j;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
    if (j < format.size() && format[j] == '.') {
      ++j;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
    }
    const bool known = j < format.size() && std::strchr("diouxXeEfFgGcs", format[j]) != nullptr;
    kinds += known ? format[j] : '?';
    i = known ? j : i;
  }
  return kinds;
}

bool IsOneFloatConversion(const std::string& kinds) {
  return kinds.size() == 1 && std::strchr("eEfFgG", kinds[0]) != nullptr;
}

// Inline markup: "{f n}", "{c #RRGGBB}", "{a}", "{u}" with their closers, and "{n}". Returns
// an empty string when every tag is known and balanced, else what is wrong; counts the links.
std::string MarkupProblem(const std::string& text, int* links = nullptr) {
  std::vector<char> open;
  int linkCount = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '}') return "stray '}'";
    if (text[i] != '{') continue;
    const size_t end = text.find('}', i);
    if (end == std::string::npos) return "unterminated tag";
    const std::string tag = text.substr(i + 1, end - i - 1);
    i = end;
    auto digitsFrom = [&](size_t from) {
      return tag.size() > from && tag.find_first_not_of("0123456789", from) == std::string::npos;
    };
    auto colourFrom = [&](size_t from) {
      const size_t hex = tag.size() - from;
      return (hex == 6 || hex == 8) &&
             tag.find_first_not_of("0123456789abcdefABCDEF", from) == std::string::npos;
    };
    if (tag == "n") continue;
    if (tag == "a" || tag == "u" || (tag.rfind("f ", 0) == 0 && digitsFrom(2)) ||
        (tag.rfind("c #", 0) == 0 && colourFrom(3))) {
      open.push_back(tag[0]);
      if (tag == "a") ++linkCount;
      continue;
    }
    if (tag.size() == 2 && tag[0] == '/' && std::strchr("afcu", tag[1]) != nullptr) {
      if (open.empty() || open.back() != tag[1]) return "closer {" + tag + "} without its opener";
      open.pop_back();
      continue;
    }
    return "unknown tag {" + tag + "}";
  }
  if (!open.empty()) return std::string("unclosed {") + open.back() + "}";
  if (links != nullptr) *links = linkCount;
  return {};
}

// tinyxml2 lets a bare '&' through as text; the skin files escape every one.
bool EscapesAmpersands(const std::string& bytes) {
  static const char* const kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#"};
  for (size_t at = bytes.find('&'); at != std::string::npos; at = bytes.find('&', at + 1)) {
    bool known = false;
    for (const char* entity : kEntities)
      known = known || bytes.compare(at, std::strlen(entity), entity) == 0;
    if (!known) return false;
  }
  return true;
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// A text must show something and carry balanced markup; returns the markup problem (empty
// when none).
std::string CheckText(const std::string& at, const std::string& value, Problems* problems,
                      int* links = nullptr) {
  if (value.find_first_not_of(" \t\r\n") == std::string::npos) {
    problems->push_back(at + ": empty text");
  }
  const std::string markup = MarkupProblem(value, links);
  if (!markup.empty()) problems->push_back(at + ": markup: " + markup);
  return markup;
}

// What every skin XML file must be: UTF-8 with a byte-order mark, every '&' escaped, well
// formed. Returns the root element, or null (with the problem noted) when it does not parse.
const tinyxml2::XMLElement* ParseSkinXml(const std::string& bytes, tinyxml2::XMLDocument* document,
                                         Problems* problems) {
  if (bytes.rfind(kBom, 0) != 0) problems->push_back("no UTF-8 byte-order mark");
  if (!EscapesAmpersands(bytes)) problems->push_back("an unescaped '&'");
  if (document->Parse(bytes.data(), bytes.size()) != tinyxml2::XML_SUCCESS) {
    problems->push_back(std::string("does not parse: ") + document->ErrorStr());
    return nullptr;
  }
  return document->RootElement();
}

// Checks one section against its keys; `where` prefixes every problem.
void CheckSection(const tinyxml2::XMLElement* section, const std::vector<std::string>& keys,
                  const std::string& where, Problems* problems) {
  std::set<std::string> seen;
  for (const tinyxml2::XMLElement* label = section->FirstChildElement(); label != nullptr;
       label = label->NextSiblingElement()) {
    const char* name = label->Attribute("name");
    const char* text = label->Attribute("text");
    if (std::strcmp(label->Name(), "Label") != 0 || name == nullptr || text == nullptr) {
      problems->push_back(where + ": an element that is not a Label with name and text");
      continue;
    }
    const std::string key = name, value = text, at = where + "/" + key;
    if (!seen.insert(key).second) problems->push_back(at + ": duplicate key");
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
      problems->push_back(at + ": unknown key");
    }
    int links = 0;
    const std::string markup = CheckText(at, value, problems, &links);

    const std::string kinds = Conversions(value);
    if (key == "install_label" || key == "space_free") {
      if (!IsOneFloatConversion(kinds)) {
        problems->push_back(at +
                            ": needs one floating conversion and '%%' for a percent sign, "
                            "has \"" +
                            kinds + "\"");
      }
    } else if (key == "space_need") {
      if (kinds != "s") problems->push_back(at + ": needs exactly one %s, has \"" + kinds + "\"");
    } else if (!kinds.empty()) {
      problems->push_back(at + ": a text that is not formatted has conversions \"" + kinds + "\"");
    }
    if (key == "SuggestSSDText" && CountOf(value, "**1**") != 1) {
      problems->push_back(at + ": needs \"**1**\" exactly once");
    }
    if (key == "license_link_new" && markup.empty() && links != 2) {
      problems->push_back(at + ": needs two links (privacy policy, license), has " +
                          std::to_string(links));
    }
  }
  for (const std::string& key : keys) {
    if (seen.count(key) == 0) problems->push_back(where + "/" + key + ": missing");
  }
}

// Checks the bytes of one language file whose language layout is `layoutName`.
Problems CheckLanguageFile(const std::string& bytes, const std::string& layoutName) {
  Problems problems;
  tinyxml2::XMLDocument document;
  const tinyxml2::XMLElement* root = ParseSkinXml(bytes, &document, &problems);
  if (root == nullptr) return problems;
  const tinyxml2::XMLElement* language = root->FirstChildElement();
  if (language == nullptr || language->NextSiblingElement() != nullptr ||
      language->Attribute("name", layoutName.c_str()) == nullptr) {
    problems.push_back("the root must hold exactly one layout named \"" + layoutName + "\"");
    return problems;
  }
  const std::vector<std::string> sections = {"install_page", "message_page"};
  size_t index = 0;
  for (const tinyxml2::XMLElement* section = language->FirstChildElement(); section != nullptr;
       section = section->NextSiblingElement(), ++index) {
    const char* name = section->Attribute("name");
    if (index >= sections.size() || name == nullptr || sections[index] != name) {
      problems.push_back("sections must be exactly \"install_page\" and \"message_page\"");
      return problems;
    }
    CheckSection(section, index == 0 ? kInstallPageKeys : kMessagePageKeys, sections[index],
                 &problems);
  }
  if (index != sections.size()) problems.push_back("a section is missing");
  return problems;
}

// Checks License.xml: one hidden Text control with a license text per language, nothing else.
Problems CheckLicenseFile(const std::string& bytes) {
  Problems problems;
  tinyxml2::XMLDocument document;
  const tinyxml2::XMLElement* root = ParseSkinXml(bytes, &document, &problems);
  if (root == nullptr) return problems;
  std::set<std::string> expected, seen;
  for (int i = 0; i < FuntionImpl::kLanguageCount; ++i) {
    expected.insert(Narrow(FuntionImpl::GetLicenseLayoutName(FuntionImpl::LanguageFromIndex(i))));
  }
  for (const tinyxml2::XMLElement* control = root->FirstChildElement();
       control != nullptr; control = control->NextSiblingElement()) {
    const std::string name = control->Attribute("name") ? control->Attribute("name") : "";
    const std::string text = control->Attribute("text") ? control->Attribute("text") : "";
    if (expected.count(name) == 0) {
      problems.push_back("unexpected control \"" + name + "\"");
      continue;
    }
    if (!seen.insert(name).second) problems.push_back(name + ": duplicate");
    if (std::strcmp(control->Name(), "Text") != 0) problems.push_back(name + ": not a Text");
    if (!control->Attribute("visible", "false")) problems.push_back(name + ": not hidden");
    CheckText(name, text, &problems);
  }
  for (const std::string& name : expected) {
    if (seen.count(name) == 0) problems.push_back(name + ": missing");
  }
  return problems;
}

std::string Joined(const Problems& problems) {
  std::string all;
  for (const std::string& problem : problems) all += "\n  " + problem;
  return all;
}

bool Mentions(const Problems& problems, const std::string& part) {
  for (const std::string& problem : problems) {
    if (problem.find(part) != std::string::npos) return true;
  }
  return false;
}

// One way of breaking a file: replace the first `from` by `to`; the checker must then report
// a problem that contains `expected`.
struct Break {
  std::string from, to, expected;
};

void ExpectEachBreakReported(const std::string& original, const std::vector<Break>& breaks,
                             const std::function<Problems(const std::string&)>& check) {
  for (const Break& broken : breaks) {
    std::string text = original;
    const size_t at = text.find(broken.from);
    ASSERT_NE(std::string::npos, at) << broken.from;
    text.replace(at, broken.from.size(), broken.to);
    const Problems problems = check(text);
    EXPECT_TRUE(Mentions(problems, broken.expected))
        << broken.from << " -> " << broken.to << ":" << Joined(problems);
  }
}

struct Language {
  std::string file;    // "language_nederland.xml"
  std::string layout;  // "language_nederland"
};

std::vector<Language> AllLanguages() {
  std::vector<Language> languages;
  for (int i = 0; i < FuntionImpl::kLanguageCount; ++i) {
    const std::string file =
        Narrow(FuntionImpl::GetLanguageFileName(FuntionImpl::LanguageFromIndex(i)));
    languages.push_back({file, file.substr(0, file.size() - 4)});
  }
  return languages;
}

TEST(LanguageFilesTest, EveryLanguageFileIsComplete) {
  for (const Language& language : AllLanguages()) {
    const std::string bytes = ReadSkinFile("language/" + language.file);
    ASSERT_FALSE(bytes.empty()) << language.file << " is missing";
    const Problems problems = CheckLanguageFile(bytes, language.layout);
    EXPECT_TRUE(problems.empty()) << language.file << ":" << Joined(problems);
  }
}

TEST(LanguageFilesTest, LicenseLayoutHasEveryLanguage) {
  const std::string bytes = ReadSkinFile("License.xml");
  ASSERT_FALSE(bytes.empty());
  const Problems problems = CheckLicenseFile(bytes);
  EXPECT_TRUE(problems.empty()) << Joined(problems);
}

TEST(LanguageFilesTest, FormatConversionsAreRecognised) {
  EXPECT_EQ("f", Conversions("Installing... %0.f%%"));
  EXPECT_EQ("f", Conversions("%%%0.f"));
  EXPECT_EQ("f", Conversions("%.1fGB"));
  EXPECT_EQ("s", Conversions("Space required: %s"));
  EXPECT_EQ("f?", Conversions("%0.f%"));       // a lone percent at the end
  EXPECT_EQ("fd", Conversions("%0.f% done"));  // "% d" is a conversion: it would read an int
  EXPECT_EQ("?", Conversions("%*.1f"));
  EXPECT_EQ("?", Conversions("%lf"));
  EXPECT_EQ("fd", Conversions("%.1f %d"));
  EXPECT_EQ("", Conversions("100%% ready"));
}

TEST(LanguageFilesTest, MarkupIsCheckedForBalance) {
  int links = 0;
  EXPECT_EQ("", MarkupProblem("{a}one{/a} and {c #4778FF}{u}two{/u}{/c}{n}{f 2}x{/f}", &links));
  EXPECT_EQ(1, links);
  EXPECT_NE("", MarkupProblem("{a}open"));
  EXPECT_NE("", MarkupProblem("{a}{u}crossed{/a}{/u}"));
  EXPECT_NE("", MarkupProblem("closed{/a}"));
  EXPECT_NE("", MarkupProblem("{b}bold{/b}"));
  EXPECT_NE("", MarkupProblem("{c red}x{/c}"));
  EXPECT_NE("", MarkupProblem("{a"));
}

// Each case breaks the English file in memory and names the problem the checker must report.
TEST(LanguageFilesTest, BrokenTextsAreRejected) {
  const std::string english = ReadSkinFile("language/language_english.xml");
  ASSERT_FALSE(english.empty());
  ASSERT_TRUE(CheckLanguageFile(english, "language_english").empty());

  const std::vector<Break> cases = {
      {kBom, "", "byte-order mark"},
      {"%0.f%%", "%0.f%", "install_page/install_label"},
      {"%0.f%%", "%0.f %d%%", "install_page/install_label"},
      {"%.1fGB", "%sGB", "install_page/space_free"},
      {"Space required: %s", "Space required: %s of %s", "install_page/space_need"},
      {"Space required: %s", "Space required", "install_page/space_need"},
      {"**1**", "**2**", "message_page/SuggestSSDText"},
      {"**1**", "**1** (**1**)", "message_page/SuggestSSDText"},
      {"{a}Privacy Policy{/a}", "Privacy Policy", "install_page/license_link_new: needs two"},
      {"{a}Privacy Policy{/a}", "{a}Privacy Policy", "install_page/license_link_new: markup"},
      {"name=\"UrlFailDexText\"", "name=\"UrlFailDesText\"",
       "message_page/UrlFailDexText: missing"},
      {"name=\"UrlFailDexText\"", "name=\"UrlFailDesText\"",
       "message_page/UrlFailDesText: unknown"},
      {"name=\"YesText\"", "name=\"NoText\"", "message_page/NoText: duplicate"},
      {"text=\"Try Again\"", "text=\" \"", "install_page/retry_btn: empty"},
      {"text=\"Decline\"", "text=\"Decline 100%\"", "message_page/NotAgreeText: a text that is"},
      {"name=\"language_english\"", "name=\"language_englisch\"", "exactly one layout"},
      {"name=\"message_page\"", "name=\"messages\"", "sections must be"},
      {"text=\"Yes\"", "text=\"Yes & no\"", "unescaped '&'"},
      {"text=\"Yes\"", "text=\"Yes", "does not parse"},
  };
  ExpectEachBreakReported(english, cases, [](const std::string& text) {
    return CheckLanguageFile(text, "language_english");
  });

  // A third section, and a second language layout in the same file.
  std::string extra = english;
  extra.replace(extra.find("    </VerticalLayout>\n</VerticalLayout>"), 0,
                "        <VerticalLayout name=\"other_page\" />\n");
  EXPECT_TRUE(Mentions(CheckLanguageFile(extra, "language_english"), "sections must be"));
  std::string twice = english;
  twice.replace(twice.rfind("</VerticalLayout>"), 0, "<VerticalLayout name=\"language_x\" />");
  EXPECT_TRUE(Mentions(CheckLanguageFile(twice, "language_english"), "exactly one layout"));
}

TEST(LanguageFilesTest, BrokenLicenseLayoutIsRejected) {
  const std::string license = ReadSkinFile("License.xml");
  ASSERT_FALSE(license.empty());
  const std::vector<Break> cases = {
      {"name=\"license_nederlands\"", "name=\"license_nederland\"", "license_nederlands: missing"},
      {"<Text name=\"license_korean\" visible=\"false\"",
       "<Label name=\"license_korean\" "
       "visible=\"false\"",
       "license_korean: not a Text"},
      {"name=\"license_thai\" visible=\"false\"", "name=\"license_thai\"",
       "license_thai: not hidden"},
      {"{n}", "{n", "markup"},
  };
  ExpectEachBreakReported(license, cases, CheckLicenseFile);
  // An empty text.
  std::string empty = license;
  const size_t start = empty.find("text=\"", empty.find("name=\"license_czech\"")) + 6;
  empty.erase(start, empty.find('"', start) - start);
  EXPECT_TRUE(Mentions(CheckLicenseFile(empty), "license_czech: empty text"));
}

}  // namespace
