// Bitmap fonts: the three file formats with their size rules, the companion
// names (matched ignoring case), and the built-in glyph sets.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/uBuiltinGlyphs.h"
#include "core/uFontRenderer.h"
#include "tests/support/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

class BitmapFontTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = (Dir / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    return path;
  }
  // A font whose glyph 'A' is a solid block, so a load is visible.
  static std::vector<uint8_t> SolidA(size_t size) {
    std::vector<uint8_t> f(size, 0);
    for (size_t y = 0; y < 16 && 'A' * 16 + y < size; ++y) f['A' * 16 + y] = 0xFF;
    return f;
  }
  static std::vector<uint8_t> AaFile(int w, int h, char lastMagic = 'G') {
    std::vector<uint8_t> f = {'F', '1', '6', uint8_t(lastMagic), uint8_t(w), uint8_t(w >> 8), uint8_t(h),
                              uint8_t(h >> 8)};
    f.resize(8 + size_t(256) * w * h, 0);
    return f;
  }
  testsupport::TempDir Temp;
  fs::path Dir{Temp.Path()};
};

TEST_F(BitmapFontTest, BuiltinFontIsTheVgaSet) {
  TBitmapFont font(8, 16);
  // Glyph 0xDB is the full block, 0x20 is empty, row 15 of 'A' is blank.
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x) {
      EXPECT_TRUE(font.GetPixel(0xDB, x, y));
      EXPECT_FALSE(font.GetPixel(0x20, x, y));
    }
  EXPECT_EQ(0, std::memcmp(kVga8x16Glyphs + 0xDB * 16, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 16));
  // The installed file holds the same glyphs as the built-in set.
  std::ifstream in(std::string(KORVAN_SOURCE_DIR) + "/assets/fonts/IBM_VGA_8x16.F16", std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(file.size(), 4096u);
  EXPECT_EQ(0, std::memcmp(file.data(), kVga8x16Glyphs, 4096));
  // Another base size starts blank.
  TBitmapFont wide(9, 16);
  EXPECT_FALSE(wide.GetPixel(0xDB, 0, 0));
}

TEST_F(BitmapFontTest, MainFileSizeRule) {
  struct Row {
    const char* Name;
    size_t Size;
    bool Loads;
  } rows[] = {{"exact.F16", 4096, true}, {"longer.F16", 4097, true}, {"short.F16", 4095, false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    TBitmapFont font(8, 16);
    EXPECT_EQ(r.Loads, font.LoadFromFile(Write(r.Name, SolidA(r.Size))));
    // A refused file leaves the glyphs as they were (the built-in 'A').
    EXPECT_EQ(r.Loads, font.GetPixel('A', 0, 0));
  }
  TBitmapFont font(8, 16);
  EXPECT_FALSE(font.LoadFromFile((Dir / "missing.F16").string()));
}

TEST_F(BitmapFontTest, CompanionNamesIgnoreCase) {
  EXPECT_EQ(TBitmapFont::AaCompanionName("fonts/Topaz.F16"), "");
  EXPECT_EQ(TBitmapFont::DoubleCompanionName("fonts/Topaz.F16"), "");
  EXPECT_EQ(TBitmapFont::AaCompanionName("f/topaz_8X16.f16"), "f/topaz_16x32_AA.f16g");
  EXPECT_EQ(TBitmapFont::DoubleCompanionName("f/topaz_8X16.f16"), "f/topaz_16x32.F32");
  EXPECT_EQ(TBitmapFont::DoubleCompanionName("fonts/IBM_VGA_8x16.F16"), "fonts/IBM_VGA_16x32.F32");
  // The folder part is never searched.
  EXPECT_EQ(TBitmapFont::AaCompanionName("a_8x16.F16dir/x.F16"), "");
}

TEST_F(BitmapFontTest, CompanionSizesAndMagic) {
  std::string main = Write("Topaz_8x16.F16", SolidA(4096));
  struct Row {
    const char* Name;
    size_t F32Size;
    char Magic;
    bool Has2x, HasAa;
  } rows[] = {
      {"both", 16384, 'G', true, true},
      {"f32 one short", 16383, 'G', false, true},
      {"f32 one long", 16385, 'G', false, true},
      {"lower-case magic", 16384, 'g', true, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    // Companions are found whatever the case of their names on disk.
    fs::remove(Dir / "TOPAZ_16X32.f32");
    fs::remove(Dir / "topaz_16x32_aa.F16G");
    Write("TOPAZ_16X32.f32", std::vector<uint8_t>(r.F32Size, 0xFF));
    Write("topaz_16x32_aa.F16G", AaFile(16, 32, r.Magic));
    TBitmapFont font(8, 16);
    EXPECT_TRUE(font.LoadFromFile(main));
    EXPECT_EQ(r.Has2x, font.Has2x());
    EXPECT_EQ(r.HasAa, font.HasAa());
    EXPECT_EQ(r.Has2x, font.GetPixel2x('A', 15, 31));
    EXPECT_FALSE(font.GetPixel2x('A', 16, 0));
  }
  // An anti-aliased companion of absurd size is refused before reading it.
  fs::remove(Dir / "topaz_16x32_aa.F16G");
  std::vector<uint8_t> huge = {'F', '1', '6', 'G', 0xFF, 0xFF, 0xFF, 0xFF};
  Write("topaz_16x32_aa.F16G", huge);
  TBitmapFont font(8, 16);
  EXPECT_TRUE(font.LoadFromFile(main));
  EXPECT_FALSE(font.HasAa());
}

TEST_F(BitmapFontTest, MemoryFontAndBackToBase) {
  TBitmapFont font(8, 16);
  font.LoadFromMemory(8, 8, kVga8x8Glyphs, sizeof kVga8x8Glyphs);
  EXPECT_FALSE(font.IsBaseSize());
  EXPECT_EQ(font.Height(), 8);
  EXPECT_TRUE(font.GetPixel(0xDB, 7, 7));
  EXPECT_FALSE(font.GetPixel(0xDB, 0, 8));
  EXPECT_TRUE(font.LoadFromFile(Write("a.F16", SolidA(4096))));
  EXPECT_TRUE(font.IsBaseSize());
  EXPECT_TRUE(font.GetPixel('A', 0, 15));
  // A failed load after an 8 x 8 font does not read 8 x 8 glyphs as 8 x 16.
  font.LoadFromMemory(8, 8, kVga8x8Glyphs, sizeof kVga8x8Glyphs);
  EXPECT_FALSE(font.LoadFromFile(Write("b.F16", SolidA(100))));
  EXPECT_TRUE(font.IsBaseSize());
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(font.GetPixel('A', x, y), ((kVga8x16Glyphs['A' * 16 + y] >> (7 - x)) & 1) != 0);
}

TEST_F(BitmapFontTest, CoverageClampsAndSampleAA) {
  TBitmapFont font(8, 16);
  std::vector<uint8_t> f(4096, 0);
  f[1 * 16 + 15] = 0x80;  // glyph 1: only pixel (0, 15)
  ASSERT_TRUE(font.LoadFromFile(Write("c.F16", f)));
  EXPECT_EQ(font.GetPixelCoverage(1, -5, 100), 1.0);
  EXPECT_EQ(font.GetPixelCoverage(1, 1, 15), 0.0);
  EXPECT_EQ(font.SampleAA(1, 0, 0), 0.0);  // no companion
  // A 16 x 32 map whose glyph 2 has its left half at 255: at base pixel
  // (3.5, 8) the sample falls between map columns 7 and 8, half covered.
  std::vector<uint8_t> aa = AaFile(16, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 8; ++x) aa[8 + (2 * 32 + y) * 16 + x] = 255;
  ASSERT_TRUE(font.LoadAaCompanion(Write("c.f16g", aa)));
  EXPECT_NEAR(font.SampleAA(2, 3.5, 8), 0.5, 1e-9);
  EXPECT_NEAR(font.SampleAA(2, 1, 8), 1.0, 1e-9);
  EXPECT_NEAR(font.SampleAA(2, 6, 8), 0.0, 1e-9);
  EXPECT_NEAR(font.SampleAA(2, -10, -10), 1.0, 1e-9);  // clamped to the corner
}

}  // namespace
