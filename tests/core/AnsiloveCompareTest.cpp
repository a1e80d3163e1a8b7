// The renderer against an independent one: generated 80 x 25 screens of the
// 16 colours with CP437 text, block and line characters are exported as ANSI
// bytes; ansilove renders those bytes with its IBM PC 8 x 16 font, and our
// parser and renderer turn the same bytes into a screen drawn at scale 1. The two pictures must agree pixel
// for pixel once ansilove's palette is mapped onto ours. The 8 x 8 set is
// checked the same way on an 80 x 50 screen against ansilove's 80x50 font.
//
// The one palette difference: ansilove draws the bright colours with the
// VGA's 55 in the other channels (FF5555, 55FF55, ...), this terminal with
// the fully saturated values (FF0000, 00FF00, ...). Both index the same 16
// colours, so the test maps ansilove's colours to palette indices first.
#include <gtest/gtest.h>
#include <png.h>

#include <map>
#include <random>
#include <sstream>

#include "core/uAnsiExport.h"
#include "core/uAnsiParser.h"
#include "core/uBuiltinGlyphs.h"
#include "core/uFontRenderer.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr uint32_t kAnsiloveVga[16] = {0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA,
                                       0x00AAAA, 0xAAAAAA, 0x555555, 0xFF5555, 0x55FF55, 0xFFFF55,
                                       0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};

uint32_t Pack(TColorRGB c) { return platform::PackRGB(c.R, c.G, c.B); }

// A screen of random cells: printable ASCII, shades, blocks and the single
// and double box-drawing characters; any of the 16 colours on any of the 16
// backgrounds (the bright ones as iCE colours).
void FillScreen(TTerminalBuffer& b, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> chars;
  for (int c = 32; c < 127; ++c) chars.push_back(uint8_t(c));
  for (int c = 0xB0; c <= 0xDF; ++c) chars.push_back(uint8_t(c));
  for (int r = 0; r < b.FHeight; ++r)
    for (int c = 0; c < b.FWidth; ++c) {
      TCell cell;
      cell.Ch = chars[rng() % chars.size()];
      cell.Fg = AnsiPalette[rng() % 16];
      cell.Bg = AnsiPalette[rng() % 16];
      b.SetCell(c, r, cell);
    }
}

bool ReadPng(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgb) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
  w = int(image.width);
  h = int(image.height);
  return true;
}

struct Screen {
  unsigned Seed;
  int Rows;              // 25 with the 8 x 16 font, 50 with the 8 x 8 one
  const char* FontName;  // ansilove's name for the same glyph set
};

class AnsiloveCompareTest : public ::testing::TestWithParam<Screen> {};

TEST_P(AnsiloveCompareTest, SameScreenSamePixels) {
  ASSERT_FALSE(testsupport::FindProgram("ansilove").empty()) << "ansilove is missing (scripts/packages.txt)";
  testsupport::TempDir dir;
  const Screen param = GetParam();
  const int cellH = param.Rows == 25 ? 16 : 8, height = param.Rows * cellH;
  TTerminalBuffer buffer(80, param.Rows);
  FillScreen(buffer, param.Seed);
  buffer.SetCursorVisible(false);
  std::vector<uint8_t> bytes;
  ExportScreenAnsi(buffer, bytes);
  ASSERT_TRUE(testsupport::WriteWholeFile(dir.File("screen.ans"), std::string(bytes.begin(), bytes.end())));

  testsupport::ChildProcess ansilove;
  testsupport::ChildProcess::Options options;
  options.OutputFile = dir.File("ansilove.txt");
  // -i: blink selects the bright backgrounds (iCE colours), as here; -b 8:
  // 8-pixel cells (no ninth column); -c 80: the screen's width.
  ASSERT_TRUE(ansilove.Start({"ansilove", "-i", "-b", "8", "-c", "80", "-f", param.FontName, "-o", dir.File("screen.png"),
                              dir.File("screen.ans")},
                             options));
  ASSERT_EQ(ansilove.Wait(20000), 0) << testsupport::ReadWholeFile(options.OutputFile);
  int w = 0, h = 0;
  std::vector<uint8_t> theirs;
  ASSERT_TRUE(ReadPng(dir.File("screen.png"), w, h, theirs));
  ASSERT_EQ(w, 640);
  ASSERT_GE(h, height);  // it may add an empty row after the wrap of the last one

  // Our side reads the same bytes through the ANSI-BBS parser.
  TTerminalBuffer screen(80, param.Rows);
  TAnsiParser parser(&screen);
  parser.Feed(bytes.data(), bytes.size());
  screen.SetCursorVisible(false);
  TBitmapFont font;
  if (cellH == 8) font.LoadFromMemory(8, 8, kVga8x8Glyphs, sizeof kVga8x8Glyphs);
  TFontRenderer renderer(&font);
  renderer.SetAntiAliasGlyphs(false);
  platform::Surface target(640, height);
  renderer.RenderBuffer(screen, target, 0, 0, 640, height, true, false, false);
  const platform::Surface& ours = target;  // what the window gets
  ASSERT_EQ(ours.Width(), 640);
  ASSERT_EQ(ours.Height(), height);

  std::map<uint32_t, uint32_t> toOurs;
  for (int i = 0; i < 16; ++i) toOurs[kAnsiloveVga[i]] = Pack(AnsiPalette[i]);
  std::map<int, int> badPixelsByChar;
  std::ostringstream first;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint8_t* p = &theirs[(size_t(y) * 640 + size_t(x)) * 3];
      auto it = toOurs.find(platform::PackRGB(p[0], p[1], p[2]));
      ASSERT_NE(it, toOurs.end()) << "ansilove used a colour outside its VGA palette at " << x << "," << y;
      if (it->second != ours.Pixel(x, y)) {
        TCell cell = screen.GetCell(x / 8, y / cellH);
        if (badPixelsByChar.empty())
          first << "first at " << x << "," << y << " (cell " << x / 8 << "," << y / cellH << ", char 0x" << std::hex
                << int(cell.Ch) << ")";
        ++badPixelsByChar[cell.Ch];
      }
    }
  std::ostringstream summary;
  for (auto [ch, n] : badPixelsByChar) summary << " 0x" << std::hex << ch << ":" << std::dec << n;
  EXPECT_TRUE(badPixelsByChar.empty()) << first.str() << "; differing pixels by character:" << summary.str();
}

INSTANTIATE_TEST_SUITE_P(Screens, AnsiloveCompareTest,
                         ::testing::Values(Screen{1, 25, "80x25"}, Screen{2, 25, "80x25"}, Screen{3, 25, "80x25"},
                                           Screen{4, 50, "80x50"}),
                         [](const ::testing::TestParamInfo<Screen>& info) {
                           return "Seed" + std::to_string(info.param.Seed) + "Rows" + std::to_string(info.param.Rows);
                         });

}  // namespace
