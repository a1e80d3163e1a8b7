// Buttons, mouse regions, icons and scenes: the level-1 commands that turn a
// RIPscrip picture into a menu.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "RipTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using testsupport::ScratchAppFolder;
using testsupport::WriteWholeFile;

// A button style: wid, hgt, orient, flags, bevsize, dfore, dback, bright,
// dark, surface, grp_no, flags2, uline_col, corner_col and six reserved digits.
std::string Style(int wid, int hgt, int orient, int flags, int bevel, int dfore, int bright, int dark, int surface,
                  int uline) {
  return "1B" + Mega(wid) + Mega(hgt) + Mega(orient) + Mega(flags, 4) + Mega(bevel) + Mega(dfore) + Mega(0) +
         Mega(bright) + Mega(dark) + Mega(surface) + Mega(0) + Mega(0) + Mega(uline) + Mega(0) + "000000";
}

std::string Button(int x0, int y0, int x1, int y1, const std::string& text) {
  return "1U" + Mega(x0) + Mega(y0) + Mega(x1) + Mega(y1) + "00" + "0" + "0" + text;
}

int CountIndex(const RipRig& rig, int index) {
  int n = 0;
  for (int y = 0; y < TRipCanvas::kHeight; ++y)
    for (int x = 0; x < TRipCanvas::kWidth; ++x) n += rig.Pixel(x, y) == index;
  return n;
}

TEST(RipButtons, NoStyleNoButton) {
  RipRig rig;
  rig.Feed("!|" + Button(10, 10, 40, 40, "<>OK<>X") + "\r");
  EXPECT_EQ(rig.Canvas.DrawnPixelCount(), 0);
  EXPECT_EQ(rig.Canvas.HotspotCount(), 0);
}

TEST(RipButtons, FixedSizeFaceIsOnePixelLargerThanItsRegion) {
  RipRig rig;
  rig.Feed("!|" + Style(20, 10, 2, 0, 0, 15, 15, 8, 7, 14) + "|" + Button(10, 10, 0, 0, "<>OK<>X") + "\r");
  ExpectProbes(rig, {{10, 10, 7}, {30, 20, 7}, {31, 21, kUndrawn}, {9, 10, kUndrawn}});
  std::string text;
  ASSERT_TRUE(rig.Canvas.HitTest(29, 19, text));
  EXPECT_EQ(text, "X");
  EXPECT_FALSE(rig.Canvas.HitTest(30, 20, text));
}

TEST(RipButtons, LabelTextsAndRegions) {
  struct Row {
    std::string Text, Region;
    bool KeyColoured;
  };
  for (const Row& r : {Row{"icon<>Quit<>Q", "Q", true}, Row{"<>Files", "", false}, Row{"Help", "", false},
                       Row{"<>Quit<>send this", "send this", false}}) {
    RipRig rig;
    rig.Feed("!|" + Style(0, 0, 2, 0, 0, 15, 15, 8, 1, 14) + "|" + Button(100, 100, 200, 130, r.Text) + "\r");
    std::string text;
    EXPECT_EQ(rig.Canvas.HitTest(150, 115, text), !r.Region.empty()) << r.Text;
    EXPECT_EQ(text, r.Region) << r.Text;
    EXPECT_GT(CountIndex(rig, 15), 0) << r.Text << ": the label is drawn";
    EXPECT_EQ(CountIndex(rig, 14) > 0, r.KeyColoured) << r.Text << ": the hot key's colour";
  }
}

TEST(RipButtons, BevelIsBrightAboveAndDarkBelow) {
  RipRig rig;
  rig.Feed("!|" + Style(0, 0, 2, 512, 2, 15, 15, 8, 7, 14) + "|" + Button(10, 10, 50, 30, "") + "\r");
  ExpectProbes(rig, {{10, 10, 15}, {11, 11, 15}, {30, 10, 15}, {50, 30, 8}, {49, 29, 8}, {30, 30, 8}, {30, 20, 7}});
}

TEST(RipMouseRegions, AddedClearedAndReset) {
  RipRig rig;
  rig.Feed("!|1M00" + Mega(0) + Mega(0) + Mega(10) + Mega(10) + "0" + "0" + "00000" + "quit\r");
  std::string text;
  ASSERT_TRUE(rig.Canvas.HitTest(10, 10, text));
  EXPECT_EQ(text, "quit");
  rig.Feed("!|1M000000AAAA0000000\r");  // no text: no region
  EXPECT_EQ(rig.Canvas.HotspotCount(), 1);
  rig.Feed("!|1K\r");
  EXPECT_EQ(rig.Canvas.HotspotCount(), 0);
  rig.Feed("!|1M0000000A0A0000000x\r!|*\r");
  EXPECT_EQ(rig.Canvas.HotspotCount(), 0) << "the reset command removes the regions";
}

class RipAssetsTest : public ::testing::Test {
 protected:
  ScratchAppFolder App;
  std::string Icons() { return App.Path() + "icons/"; }
  void SetUp() override { std::filesystem::create_directories(Icons()); }
};

TEST_F(RipAssetsTest, NamesResolveInsideTheIconsFolderOnly) {
  WriteWholeFile(Icons() + "logo.icn", IconBytes(1, 1, [](int, int) { return 1; }));
  EXPECT_EQ(TRipParser::ResolveRipAsset("../x", ".ICN"), "");
  EXPECT_EQ(TRipParser::ResolveRipAsset("a\\b", ".ICN"), "");
  EXPECT_EQ(TRipParser::ResolveRipAsset("", ".ICN"), "");
  EXPECT_EQ(TRipParser::ResolveRipAsset("LOGO", ".ICN"), Icons() + "logo.icn") << "found ignoring case";
  EXPECT_EQ(TRipParser::ResolveRipAsset("MISSING", ".RIP"), Icons() + "MISSING.RIP");
  EXPECT_EQ(TRipParser::ResolveRipAsset("LOGO.BMP", ".ICN"), Icons() + "LOGO.BMP");
}

TEST_F(RipAssetsTest, IconDrawsInTheDefaultPaletteAndMayFillTheClipboard) {
  WriteWholeFile(Icons() + "TILE.ICN", IconBytes(4, 2, [](int x, int y) { return (x + 4 * y) * 2 + 1; }));
  RipRig rig;
  rig.Feed("!|a0100|1I0A0A00100TILE\r");  // entry 1 turned black first
  EXPECT_EQ(rig.Canvas.PixelAt(10, 10), platform::PackRGB(0, 0, 170)) << "index 1 in the EGA colours";
  EXPECT_EQ(rig.Canvas.PixelAt(13, 11), platform::PackRGB(255, 255, 255)) << "index 15";
  EXPECT_EQ(rig.Canvas.IndexAt(13, 11), 15);
  EXPECT_EQ(rig.Canvas.ClipboardWidth(), 4);
  EXPECT_EQ(rig.Canvas.ClipboardHeight(), 2);
}

TEST_F(RipAssetsTest, IconsThatDoNotFitOrAreDamagedAreRefused) {
  auto index = [](int, int) { return 4; };
  WriteWholeFile(Icons() + "WIDE.ICN", IconBytes(700, 1, index));
  WriteWholeFile(Icons() + "FOUR.ICN", IconBytes(4, 2, index));
  WriteWholeFile(Icons() + "SHORT.ICN", IconBytes(4, 2, index, 1));
  WriteWholeFile(Icons() + "HUGE.ICN", std::string("\xff\x0f\xff\x0f", 4));
  WriteWholeFile(Icons() + "TINY.ICN", std::string("\x01", 1));
  struct Row {
    const char* Name;
    std::string Command;
    bool Drawn;
  };
  for (const Row& r : {Row{"700 pixels wide", "1I000000000WIDE", false},
                       Row{"one pixel past the right edge", "1I" + Mega(637) + "0000000FOUR", false},
                       Row{"touching the right edge", "1I" + Mega(636) + "0000000FOUR", true},
                       Row{"one pixel past the bottom edge", "1I00" + Mega(349) + "00000FOUR", false},
                       Row{"past a viewport", "v00000A0A|1I0808000000FOUR", false},
                       Row{"rows cut short", "1I000000000SHORT", false},
                       Row{"4096 pixels a side", "1I000000000HUGE", false},
                       Row{"shorter than its header", "1I000000000TINY", false},
                       Row{"no such file", "1I000000000NONE", false}}) {
    RipRig rig;
    rig.Feed("!|" + r.Command + "\r");
    EXPECT_EQ(rig.Canvas.DrawnPixelCount() > 0, r.Drawn) << r.Name;
  }
}

TEST_F(RipAssetsTest, ScenesNestFourDeep) {
  WriteWholeFile(Icons() + "LOOP.RIP", "!|w0000000000\r\n!|1R00000000LOOP\r\n");
  RipRig rig;
  int windows = 0;
  rig.Parser.OnTextWindow = [&](int, int, int, int, int, int) { ++windows; };
  rig.Feed("!|1R00000000LOOP\r\n");
  EXPECT_EQ(windows, TRipParser::kMaxSceneDepth);
  EXPECT_EQ(rig.Parser.SceneDepth(), 0);
}

TEST_F(RipAssetsTest, SceneFramesItsOwnBytesAndLeavesTheLineThatCalledIt) {
  // The scene's text never reaches the screen, its last line ends with the
  // file, and the calling line goes on after it.
  WriteWholeFile(Icons() + "part.rip", "hello\r\n!|c02|X0505|1M0000000A0A0000000help");
  RipRig rig;
  EXPECT_EQ(rig.Feed("!|1R00000000PART|c04\r\nafter"), "after");
  EXPECT_EQ(rig.Pixel(5, 5), 2);
  EXPECT_EQ(rig.Canvas.GetColor(), 4);
  std::string text;
  EXPECT_TRUE(rig.Canvas.HitTest(5, 5, text));
  EXPECT_EQ(text, "help");
}

}  // namespace
