// File naming with the _2/_3 rule and PNG screenshots checked by pngcheck and
// read back through libpng.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "core/uScreenshot.h"
#include "tests/support/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

class ScreenshotTest : public ::testing::Test {
 protected:
  testsupport::TempDir Temp;
  fs::path Dir{Temp.Path()};
};

TEST_F(ScreenshotTest, SanitizeFileNamePart) {
  EXPECT_EQ(SanitizeFileNamePart("My BBS!"), "My_BBS_");
  EXPECT_EQ(SanitizeFileNamePart(""), "korvan");
  EXPECT_EQ(SanitizeFileNamePart("bbs.example-1_x:23/../\xE9"), "bbs.example-1_x_23_.._" "_");
}

TEST_F(ScreenshotTest, NamesCountUpWithinOneSecond) {
  // The folder is made with its parents; a trailing "/" or "\" is not doubled.
  for (std::string folder : {(Dir / "a" / "b").string(), (Dir / "c").string() + "/", (Dir / "d").string() + "\\"}) {
    SCOPED_TRACE(folder);
    std::string names[3];
    for (int i = 0; i < 3; ++i) {
      MakeCaptureFileName(folder, "name", "png", names[i]);
      ASSERT_FALSE(names[i].empty());
      EXPECT_EQ(names[i].find("//"), std::string::npos);
      std::FILE* f = std::fopen(names[i].c_str(), "wb");
      ASSERT_TRUE(f);
      std::fclose(f);
    }
    std::smatch m;
    ASSERT_TRUE(std::regex_match(names[0], m, std::regex(".*/name_(\\d{8}_\\d{6})\\.png")));
    // The three may straddle a second; only names of one second count up.
    std::string stamp = m[1];
    if (names[2].find(stamp) != std::string::npos) {
      EXPECT_EQ(fs::path(names[1]).filename(), "name_" + stamp + "_2.png");
      EXPECT_EQ(fs::path(names[2]).filename(), "name_" + stamp + "_3.png");
    }
  }
  // A folder that cannot be made gives an empty name.
  std::FILE* f = std::fopen((Dir / "file").c_str(), "wb");
  std::fclose(f);
  std::string name = "x";
  MakeCaptureFileName((Dir / "file" / "sub").string(), "n", "png", name);
  EXPECT_EQ(name, "");
}

TEST_F(ScreenshotTest, FirstFreeFileNameNumbersBeforeTheExtension) {
  for (const char* name : {"a.txt", "a_2.txt", "archive.tar.gz", "README", ".profile"})
    std::fclose(std::fopen((Dir / name).c_str(), "wb"));
  fs::create_symlink(Dir / "nowhere", Dir / "dangling.txt");
  const auto taken = [](const std::string& path) { return fs::path(path).filename() == "held_2.txt"; };
  struct Row {
    const char* Name;
    const char* Wanted;
    const char* Expected;
  };
  const Row rows[] = {
      {"free name kept", "new.txt", "new.txt"},
      {"numbers count on", "a.txt", "a_3.txt"},
      {"last dot only", "archive.tar.gz", "archive.tar_2.gz"},
      {"no extension", "README", "README_2"},
      {"leading dot is part of the name", ".profile", ".profile_2"},
      {"a link counts even when it leads nowhere", "dangling.txt", "dangling_2.txt"},
      {"the caller's objection counts", "held.txt", "held.txt"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(FirstFreeFileName((Dir / row.Wanted).string(), taken), (Dir / row.Expected).string());
  }
  std::fclose(std::fopen((Dir / "held.txt").c_str(), "wb"));
  EXPECT_EQ(FirstFreeFileName((Dir / "held.txt").string(), taken), (Dir / "held_3.txt").string());
}

TEST_F(ScreenshotTest, PngIsTruecolourAndExact) {
  platform::Surface s(7, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) s.SetPixel(x, y, platform::PackRGB(uint8_t(x * 40), uint8_t(y * 100), 0xA5));
  std::string path = (Dir / "shot.png").string(), error;
  ASSERT_TRUE(SaveScreenshotPng(s, 7, 3, path, error)) << error;
  EXPECT_EQ(error, "");
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  ASSERT_FALSE(testsupport::FindProgram("pngcheck").empty()) << "pngcheck is missing (scripts/packages.txt)";
  testsupport::ChildProcess check;
  testsupport::ChildProcess::Options options;
  options.OutputFile = (Dir / "pngcheck.txt").string();
  ASSERT_TRUE(check.Start({"pngcheck", "-v", path}, options));
  EXPECT_EQ(check.Wait(), 0);
  std::string report = testsupport::ReadWholeFile(options.OutputFile);
  EXPECT_NE(report.find("7 x 3 image, 24-bit RGB"), std::string::npos) << report;

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) {
      uint32_t c = s.Pixel(x, y);
      const uint8_t* p = &rgb[size_t(y * 7 + x) * 3];
      EXPECT_EQ(platform::PackRGB(p[0], p[1], p[2]), c) << x << "," << y;
    }
}

TEST_F(ScreenshotTest, FailuresAreReportedWithoutFiles) {
  platform::Surface s(4, 4);
  std::string path = (Dir / "none.png").string(), error;
  EXPECT_FALSE(SaveScreenshotPng(s, 4, 0, path, error));
  EXPECT_EQ(error, "nothing to capture");
  EXPECT_FALSE(SaveScreenshotPng(platform::Surface(), 4, 4, path, error));
  EXPECT_EQ(error, "nothing to capture");
  EXPECT_FALSE(fs::exists(path));
  // An unwritable place gives a reason and no partial file.
  std::string bad = (Dir / "missing" / "x.png").string();
  EXPECT_FALSE(SaveScreenshotPng(s, 4, 4, bad, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  // A write cut short (a file-size limit stands in for a full disk) fails,
  // and nothing is left behind.
  bool written;
  {
    testsupport::FileSizeLimit limit(16);
    ASSERT_TRUE(limit.Active());
    written = SaveScreenshotPng(s, 4, 4, (Dir / "full.png").string(), error);
  }
  EXPECT_FALSE(written);
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(Dir / "full.png"));
  EXPECT_FALSE(fs::exists(Dir / "full.png.tmp"));
}

}  // namespace
