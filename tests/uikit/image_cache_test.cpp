#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/uikit/ui_fixture.h"

namespace {

class CountingDecoder : public uikit::IImageDecoder {
 public:
  uikit::ImagePtr Decode(const std::string& bytes) override {
    ++calls;
    return backend.Decode(bytes);
  }
  std::atomic<int> calls{0};
  uikit::headless::HeadlessBackend backend;
};

class ImageCacheTest : public ::testing::Test {
 protected:
  void Package(const std::vector<testsupport::ZipEntry>& entries) {
    zip_ = testsupport::MakeZip(entries);
    ASSERT_TRUE(package_.SetFromMemory(zip_.data(), zip_.size()));
  }
  testsupport::TempDir temp_;
  testsupport::LogCapture log_{temp_.File(L"img.log")};
  std::string zip_;
  uikit::ResourcePackage package_;
  CountingDecoder decoder_;
};

TEST_F(ImageCacheTest, LoadsOnceByNameIgnoringCaseAndSlashes) {
  Package({{"skin/backgroud.png", uitest::PngBytes(650, 360)}});
  uikit::ImageCache cache(package_, decoder_);
  auto a = cache.Get(L"skin\\backgroud.png");
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(650, a->Width());
  EXPECT_EQ(360, a->Height());
  EXPECT_EQ(a, cache.Get(L"SKIN/Backgroud.PNG"));
  EXPECT_TRUE(cache.Has(L"skin/backgroud.png"));
  EXPECT_EQ(1, decoder_.calls.load());
  EXPECT_EQ(1, cache.Density(L"skin\\backgroud.png"));
}

TEST_F(ImageCacheTest, FailuresAreRememberedAndLoggedOnce) {
  Package({{"skin/bad.png", "not an image"}});
  uikit::ImageCache cache(package_, decoder_);
  EXPECT_FALSE(cache.Has(L"skin\\bad.png"));  // Has does not log
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(nullptr, cache.Get(L"skin\\bad.png"));
    EXPECT_EQ(nullptr, cache.Get(L"skin\\missing.png"));
  }
  EXPECT_EQ(nullptr, cache.Get(L""));
  EXPECT_EQ(1, decoder_.calls.load());
  int bad = 0, missing = 0;
  for (const auto& line : log_.Lines()) {
    bad += line.find("bad.png") != std::string::npos;
    missing += line.find("Image missing from the skin: skin\\missing.png") != std::string::npos;
  }
  EXPECT_EQ(1, bad);
  EXPECT_EQ(1, missing);
}

TEST_F(ImageCacheTest, RegisteredImagesWinOverPackageFiles) {
  Package({{"FirstFrame", uitest::PngBytes(1, 1)}});
  uikit::ImageCache cache(package_, decoder_);
  auto built = std::make_shared<uikit::headless::HeadlessImage>(650, 300);
  cache.Register(L"FirstFrame", built);
  EXPECT_EQ(built, cache.Get(L"firstframe"));
  cache.DropLoaded();
  EXPECT_EQ(built, cache.Get(L"FirstFrame"));  // registered images survive
  cache.Remove(L"FirstFrame");
  auto fromPackage = cache.Get(L"FirstFrame");
  ASSERT_NE(nullptr, fromPackage);
  EXPECT_EQ(1, fromPackage->Width());
  // A name that failed becomes available once registered.
  EXPECT_EQ(nullptr, cache.Get(L"Merge0102.png"));
  cache.Register(L"Merge0102.png", std::make_shared<uikit::headless::HeadlessImage>(1300, 300));
  ASSERT_NE(nullptr, cache.Get(L"Merge0102.png"));
}

TEST_F(ImageCacheTest, DoubleSizeFilesAtHighDensity) {
  Package({{"skin/btn.png", uitest::PngBytes(20, 10)},
           {"skin/btn@2x.png", uitest::PngBytes(40, 20)},
           {"skin/only.png", uitest::PngBytes(5, 5)},
           {"skin/broken@2x.png", "junk"},
           {"skin/broken.png", uitest::PngBytes(7, 7)}});
  uikit::ImageCache cache(package_, decoder_);
  EXPECT_EQ(20, cache.Get(L"skin\\btn.png")->Width());
  cache.SetHighDensity(true);
  EXPECT_EQ(40, cache.Get(L"skin\\btn.png")->Width());
  EXPECT_EQ(2, cache.Density(L"skin\\btn.png"));
  EXPECT_EQ(5, cache.Get(L"skin\\only.png")->Width());   // no @2x: the plain file
  EXPECT_EQ(1, cache.Density(L"skin\\only.png"));
  EXPECT_EQ(7, cache.Get(L"skin\\broken.png")->Width()); // a broken @2x falls back
  cache.SetHighDensity(false);
  EXPECT_EQ(20, cache.Get(L"skin\\btn.png")->Width());
}

TEST_F(ImageCacheTest, WorkersRegisterWhileTheWindowThreadReads) {
  Package({{"skin/a.png", uitest::PngBytes(3, 3)}});
  uikit::ImageCache cache(package_, decoder_);
  std::thread worker([&cache] {
    for (int i = 0; i < 200; ++i) {
      cache.Register(L"Merge" + std::to_wstring(i % 10),
                     std::make_shared<uikit::headless::HeadlessImage>(i + 1, 1));
    }
  });
  for (int i = 0; i < 200; ++i) {
    EXPECT_NE(nullptr, cache.Get(L"skin/a.png"));
    cache.Get(L"Merge" + std::to_wstring(i % 10));
  }
  worker.join();
  EXPECT_NE(nullptr, cache.Get(L"Merge9"));
}

}  // namespace
