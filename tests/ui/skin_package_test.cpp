// The skin package as committed under skin/: every layout parses, the controls the windows bind
// by name exist once each in the window that binds them (and in the file that owns them), every
// image a layout names is in the package, and the pictures are sound PNGs of their sizes.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#ifndef KERFO_SKIN_SOURCE_DIR
#error "KERFO_SKIN_SOURCE_DIR must name the skin/ folder of the source tree"
#endif

namespace {

namespace fs = std::filesystem;

const fs::path& SkinRoot() {
  static const fs::path root = fs::u8path(KERFO_SKIN_SOURCE_DIR);
  return root;
}

// Package paths use "\" or "/"; both name the same entry.
fs::path InPackage(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return SkinRoot() / fs::u8path(name);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> LayoutFiles() {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(SkinRoot())) {
    if (entry.is_regular_file() && entry.path().extension() == ".xml") {
      files.push_back(fs::relative(entry.path(), SkinRoot()).generic_u8string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

struct Png {
  bool sound = false;
  uint32_t width = 0;
  uint32_t height = 0;
};

uint32_t BigEndian32(const std::string& b, size_t at) {
  return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
         (uint32_t(uint8_t(b[at + 2])) << 8) | uint32_t(uint8_t(b[at + 3]));
}

// Signature, IHDR first, IEND last: catches files that are not PNGs and truncated ones.
Png ReadPng(const fs::path& path) {
  const std::string b = ReadAll(path);
  static const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
  static const std::string kEnd("\0\0\0\0IEND\xae\x42\x60\x82", 12);
  Png png;
  if (b.size() < 8 + 25 + 12 || b.compare(0, 8, kSignature) != 0) return png;
  if (BigEndian32(b, 8) != 13 || b.compare(12, 4, "IHDR") != 0) return png;
  if (b.compare(b.size() - 12, 12, kEnd) != 0) return png;
  png.width = BigEndian32(b, 16);
  png.height = BigEndian32(b, 20);
  png.sound = png.width > 0 && png.height > 0;
  return png;
}

// One window's layout with its includes resolved: where each control name appears.
struct WindowTree {
  std::multimap<std::string, std::string> fileOfName;  // name -> file that declares it
  std::vector<std::string> problems;                   // unreadable or cyclic includes
  std::vector<std::unique_ptr<tinyxml2::XMLDocument>> docs;

  size_t Count(const std::string& name) const { return fileOfName.count(name); }
  std::string FileOf(const std::string& name) const {
    auto it = fileOfName.find(name);
    return it == fileOfName.end() ? std::string() : it->second;
  }
};

void Walk(const tinyxml2::XMLElement* element, const std::string& file,
          std::vector<std::string>* stack, WindowTree* tree);

void LoadInto(const std::string& file, std::vector<std::string>* stack, WindowTree* tree) {
  if (std::find(stack->begin(), stack->end(), file) != stack->end()) {
    tree->problems.push_back("include cycle through " + file);
    return;
  }
  auto doc = std::make_unique<tinyxml2::XMLDocument>();
  const std::string text = ReadAll(InPackage(file));
  if (text.empty() || doc->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS ||
      doc->RootElement() == nullptr) {
    tree->problems.push_back("cannot read " + file);
    return;
  }
  stack->push_back(file);
  Walk(doc->RootElement(), file, stack, tree);
  stack->pop_back();
  tree->docs.push_back(std::move(doc));
}

void Walk(const tinyxml2::XMLElement* element, const std::string& file,
          std::vector<std::string>* stack, WindowTree* tree) {
  const std::string kind = element->Name();
  if (kind == "Include") {
    const char* source = element->Attribute("source");
    if (source == nullptr) {
      tree->problems.push_back("Include without source in " + file);
    } else {
      std::string name = source;
      std::replace(name.begin(), name.end(), '\\', '/');
      LoadInto(name, stack, tree);
    }
    return;
  }
  if (kind != "Font" && kind != "Default" && kind != "Window") {
    if (const char* name = element->Attribute("name")) tree->fileOfName.emplace(name, file);
  }
  for (auto* child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
    Walk(child, file, stack, tree);
  }
}

std::unique_ptr<WindowTree> Resolve(const std::string& windowFile) {
  auto tree = std::make_unique<WindowTree>();
  std::vector<std::string> stack;
  LoadInto(windowFile, &stack, tree.get());
  return tree;
}

std::vector<std::string> Numbered(const std::string& prefix, int from, int to) {
  std::vector<std::string> names;
  for (int i = from; i <= to; ++i) names.push_back(prefix + std::to_string(i));
  return names;
}

// The controls the code binds, by the layout file that owns them.
const std::map<std::string, std::vector<std::string>>& MainWindowNamesByFile() {
  static const auto* table = [] {
    auto* t = new std::map<std::string, std::vector<std::string>>{
        {"InstallMainLayout.xml", {"main_tablayout"}},
        {"InstallSetting.xml",
         {"backgroudlayout", "minbtn", "closebtn", "text_product_name", "text_fail_retry",
          "page_layout", "set_layout", "license_text_layout", "license_text",
          "select_language_text", "language_combox", "install_path_text", "install_file_path_edit",
          "browser_btn", "space_need", "space_free", "agree_improvement_checkbox",
          "agree_improvement"}},
        {"InstallCustom.xml",
         {"install_btn", "license_area", "license_checkbox", "license_link", "license_link_new",
          "install_setting"}},
        {"InstallRunning.xml",
         {"anima_picture", "image_play", "install_progress", "install_label", "install_minbtn",
          "install_closebtn"}},
        {"InstallFinished.xml",
         {"text_startshortcut", "start_app", "img_warning", "text_fail_advice"}},
    };
    for (auto& n : Numbered("anima_text_", 1, 10)) (*t)["InstallSetting.xml"].push_back(n);
    for (auto& n : Numbered("image_play_option", 1, 5)) (*t)["InstallRunning.xml"].push_back(n);
    return t;
  }();
  return *table;
}

const std::vector<std::string> kLicenseControls = {
    "license_english",    "license_japanese",   "license_chinese",     "license_spanish",
    "license_german",     "license_french",     "license_russian",     "license_portuguese",
    "license_arabic",     "license_italiano",   "license_chinesetrad", "license_korean",
    "license_nederlands", "license_indonesian", "license_turkish",     "license_hindi",
    "license_thai",       "license_malay",      "license_swedish",     "license_czech",
    "license_vietnamese"};

void ExpectEachOnce(const WindowTree& tree, const std::string& window,
                    const std::vector<std::string>& names, const std::string& file) {
  for (const auto& name : names) {
    EXPECT_EQ(tree.Count(name), 1u) << window << ": control \"" << name << "\"";
    if (tree.Count(name) == 1) {
      EXPECT_EQ(tree.FileOf(name), file) << window << ": control \"" << name << "\"";
    }
  }
}

void ExpectNoDuplicateNames(const WindowTree& tree, const std::string& window) {
  for (auto it = tree.fileOfName.begin(); it != tree.fileOfName.end();
       it = tree.fileOfName.upper_bound(it->first)) {
    EXPECT_EQ(tree.Count(it->first), 1u) << window << ": \"" << it->first << "\" is not unique";
  }
}

const tinyxml2::XMLElement* FindNamed(const tinyxml2::XMLElement* e, const std::string& name) {
  if (const char* n = e->Attribute("name"); n != nullptr && name == n) return e;
  for (auto* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
    if (auto* found = FindNamed(c, name)) return found;
  }
  return nullptr;
}

const tinyxml2::XMLElement* FindInFile(tinyxml2::XMLDocument* doc, const std::string& file,
                                       const std::string& name) {
  const std::string text = ReadAll(InPackage(file));
  if (doc->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) return nullptr;
  return FindNamed(doc->RootElement(), name);
}

TEST(SkinPackageTest, EveryLayoutFileIsWellFormedXml) {
  const auto files = LayoutFiles();
  ASSERT_FALSE(files.empty()) << "no layouts under " << SkinRoot().u8string();
  for (const auto& file : files) {
    tinyxml2::XMLDocument doc;
    const std::string text = ReadAll(InPackage(file));
    EXPECT_EQ(doc.Parse(text.data(), text.size()), tinyxml2::XML_SUCCESS)
        << file << ": " << doc.ErrorStr();
  }
}

TEST(SkinPackageTest, WindowsHaveTheirSizesAndCaptionAreas) {
  struct Expect {
    const char* file;
    const char* size;
  };
  for (const Expect& e :
       {Expect{"InstallMainWnd.xml", "650,560"}, Expect{"MessageBox.xml", "500,190"},
        Expect{"MessageBox_down.xml", "500,190"}, Expect{"transWnd.xml", "600,400"}}) {
    tinyxml2::XMLDocument doc;
    const std::string text = ReadAll(InPackage(e.file));
    ASSERT_EQ(doc.Parse(text.data(), text.size()), tinyxml2::XML_SUCCESS) << e.file;
    const auto* root = doc.RootElement();
    ASSERT_STREQ(root->Name(), "Window") << e.file;
    EXPECT_STREQ(root->Attribute("size"), e.size) << e.file;
  }
  tinyxml2::XMLDocument doc;
  const std::string text = ReadAll(InPackage("InstallMainWnd.xml"));
  ASSERT_EQ(doc.Parse(text.data(), text.size()), tinyxml2::XML_SUCCESS);
  EXPECT_STREQ(doc.RootElement()->Attribute("caption"), "0,0,0,310");

  tinyxml2::XMLDocument setting;
  const auto* background = FindInFile(&setting, "InstallSetting.xml", "backgroudlayout");
  ASSERT_NE(background, nullptr);
  EXPECT_STREQ(background->Attribute("height"), "360");
  EXPECT_STREQ(background->Attribute("bkimage"), "skin\\backgroud.png");
}

TEST(SkinPackageTest, MainWindowBindsEveryControlOnceInItsOwnFile) {
  const auto tree = Resolve("InstallMainWnd.xml");
  for (const auto& problem : tree->problems) {
    // The license texts travel in their own file; its test below says whether it is there.
    if (problem != "cannot read License.xml") ADD_FAILURE() << problem;
  }
  for (const auto& [file, names] : MainWindowNamesByFile()) {
    ExpectEachOnce(*tree, "InstallMainWnd.xml", names, file);
  }
  ExpectEachOnce(*tree, "InstallMainWnd.xml", {"Downloader_id", "Language_id", "Software_name"},
                 "configure/configure.xml");
  ExpectNoDuplicateNames(*tree, "InstallMainWnd.xml");

  // The install page shows pictures: five carousel options, all in one group.
  tinyxml2::XMLDocument running;
  for (const auto& name : Numbered("image_play_option", 1, 5)) {
    const auto* option = FindInFile(&running, "InstallRunning.xml", name);
    ASSERT_NE(option, nullptr) << name;
    EXPECT_STREQ(option->Name(), "Option") << name;
    EXPECT_STREQ(option->Attribute("group"), "image_play") << name;
  }
}

TEST(SkinPackageTest, MainWindowIncludesTheLicenseTextsOfAllLanguages) {
  if (!fs::exists(InPackage("License.xml"))) {
    GTEST_SKIP() << "License.xml is not in this tree";
  }
  const auto tree = Resolve("InstallMainWnd.xml");
  EXPECT_TRUE(tree->problems.empty()) << tree->problems.front();
  ExpectEachOnce(*tree, "InstallMainWnd.xml", kLicenseControls, "License.xml");
}

TEST(SkinPackageTest, FailureElementsAndCaptionTextsStartHidden) {
  struct Hidden {
    const char* file;
    std::string name;
  };
  std::vector<Hidden> hidden = {{"InstallSetting.xml", "text_fail_retry"},
                                {"InstallFinished.xml", "text_fail_advice"},
                                {"InstallFinished.xml", "img_warning"}};
  for (const auto& n : Numbered("anima_text_", 1, 10)) hidden.push_back({"InstallSetting.xml", n});
  for (const auto& h : hidden) {
    tinyxml2::XMLDocument doc;
    const auto* element = FindInFile(&doc, h.file, h.name);
    ASSERT_NE(element, nullptr) << h.name;
    EXPECT_STREQ(element->Attribute("visible"), "false") << h.name;
  }
}

TEST(SkinPackageTest, LanguageComboListsTheLanguagesInTheirOwnScriptsInIndexOrder) {
  const char* const kNames[] = {
      "English",    "日本語",           "简体中文",  "Español",  "Deutsch",  "Français",
      "Русский",    "Português",        "العربية",   "Italiano", "繁體中文", "한국어",
      "Nederlands", "Bahasa Indonesia", "Türkçe",    "हिन्दी",    "ไทย",      "Bahasa Melayu",
      "Svenska",    "Čeština",          "Tiếng Việt"};
  tinyxml2::XMLDocument doc;
  const auto* combo = FindInFile(&doc, "InstallSetting.xml", "language_combox");
  ASSERT_NE(combo, nullptr);
  std::vector<std::string> items;
  for (auto* item = combo->FirstChildElement("ListLabelElement"); item;
       item = item->NextSiblingElement("ListLabelElement")) {
    items.push_back(item->Attribute("text") ? item->Attribute("text") : "");
  }
  ASSERT_EQ(items.size(), std::size(kNames));
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i], kNames[i]) << "index " << i;
}

TEST(SkinPackageTest, MessageBoxesAndSplashBindTheirControls) {
  const std::vector<std::string> box = {"minbtn",       "closebtn", "msg_describe",
                                        "msg_question", "btn_yes",  "btn_no"};
  auto withIcon = box;
  withIcon.push_back("iconimage");
  struct Window {
    const char* file;
    std::vector<std::string> names;
  };
  for (const Window& w : {Window{"MessageBox.xml", withIcon}, Window{"MessageBox_down.xml", box},
                          Window{"transWnd.xml", {"minbtn", "closebtn", "foreImage", "version"}}}) {
    const auto tree = Resolve(w.file);
    for (const auto& problem : tree->problems) ADD_FAILURE() << w.file << ": " << problem;
    ExpectEachOnce(*tree, w.file, w.names, w.file);
    ExpectNoDuplicateNames(*tree, w.file);
  }
  EXPECT_EQ(Resolve("MessageBox_down.xml")->Count("iconimage"), 0u);
}

TEST(SkinPackageTest, EveryImageALayoutNamesIsInThePackage) {
  // Image attributes hold a bare path or file='...'; Default values carry them in escapes.
  const std::regex image(R"(skin[\\/][A-Za-z0-9_@.\\/-]+\.png)");
  size_t named = 0;
  for (const auto& file : LayoutFiles()) {
    const std::string text = ReadAll(InPackage(file));
    for (auto it = std::sregex_iterator(text.begin(), text.end(), image);
         it != std::sregex_iterator(); ++it) {
      ++named;
      const fs::path path = InPackage(it->str());
      EXPECT_TRUE(fs::is_regular_file(path)) << file << " names " << it->str();
      EXPECT_TRUE(ReadPng(path).sound) << it->str();
    }
  }
  EXPECT_GT(named, 40u);
  // The message box icons and the finish background are chosen by the code, not a layout.
  for (const char* name : {"skin/message_help.png", "skin/message_exclamation.png",
                           "skin/backgroud_complete.png", "skin/backgroud.png"}) {
    EXPECT_TRUE(ReadPng(InPackage(name)).sound) << name;
  }
}

TEST(SkinPackageTest, SlidesAreNumberedFromOneWithoutGapsAndFillTheFrame) {
  int count = 0;
  while (fs::exists(InPackage("skin/anima/" + std::to_string(count + 1) + ".png"))) ++count;
  EXPECT_GE(count, 3);
  for (int i = 1; i <= count; ++i) {
    const Png png = ReadPng(InPackage("skin/anima/" + std::to_string(i) + ".png"));
    EXPECT_TRUE(png.sound) << i;
    EXPECT_EQ(png.width, 650u) << i;
    EXPECT_EQ(png.height, 300u) << i;
  }
  // A file past a gap would never be shown: the frames are counted while the next one exists.
  for (const auto& entry : fs::directory_iterator(InPackage("skin/anima"))) {
    const std::string stem = entry.path().stem().u8string();
    const int n = std::atoi(stem.c_str());
    EXPECT_TRUE(entry.path().extension() == ".png" && n >= 1 && n <= count &&
                std::to_string(n) == stem)
        << "stray slide " << entry.path().filename().u8string();
  }
  // The carousel has an option per slide.
  const auto tree = Resolve("InstallMainWnd.xml");
  EXPECT_EQ(tree->Count("image_play_option" + std::to_string(count)), 1u);
  EXPECT_EQ(tree->Count("image_play_option" + std::to_string(count + 1)), 0u);
}

TEST(SkinPackageTest, SplashFramesLoopAndShareOneSize) {
  // The splash counts 00..20; frame 21 is frame 00 again so a count of 01..21 loops as well.
  const Png first = ReadPng(InPackage("skin/gif/bg00.png"));
  ASSERT_TRUE(first.sound);
  for (int i = 0; i <= 21; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "skin/gif/bg%.2d.png", i);
    const Png png = ReadPng(InPackage(name));
    EXPECT_TRUE(png.sound) << name;
    EXPECT_EQ(png.width, first.width) << name;
    EXPECT_EQ(png.height, first.height) << name;
  }
  EXPECT_EQ(ReadAll(InPackage("skin/gif/bg00.png")), ReadAll(InPackage("skin/gif/bg21.png")));
}

TEST(SkinPackageTest, PicturesAreSoundHaveTheirSizesAndStayWithinTheBudget) {
  uintmax_t total = 0;
  size_t doubles = 0;
  for (const auto& entry : fs::recursive_directory_iterator(SkinRoot())) {
    if (!entry.is_regular_file() || entry.path().extension() != ".png") continue;
    total += entry.file_size();
    const Png png = ReadPng(entry.path());
    const std::string name = entry.path().filename().u8string();
    EXPECT_TRUE(png.sound) << name;
    const std::string stem = entry.path().stem().u8string();
    if (stem.size() > 3 && stem.compare(stem.size() - 3, 3, "@2x") == 0) {
      // A double-density twin is exactly twice its base picture.
      ++doubles;
      const fs::path base =
          entry.path().parent_path() / fs::u8path(stem.substr(0, stem.size() - 3) + ".png");
      const Png single = ReadPng(base);
      ASSERT_TRUE(single.sound) << "no base picture for " << name;
      EXPECT_EQ(png.width, 2 * single.width) << name;
      EXPECT_EQ(png.height, 2 * single.height) << name;
    }
  }
  for (const char* name : {"skin/backgroud.png", "skin/backgroud_complete.png"}) {
    const Png png = ReadPng(InPackage(name));
    EXPECT_EQ(png.width, 650u) << name;
    EXPECT_EQ(png.height, 360u) << name;
  }
  EXPECT_GT(doubles, 20u);
  // The pictures ride inside the executable, which must stay small.
  EXPECT_LE(total, 300u * 1024u);
}

}  // namespace
