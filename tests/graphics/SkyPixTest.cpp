// SkyPix commands, their palette, SPF2 fonts written by the test, and text
// drawn in a SkyPix font instead of on the terminal.
#include <gtest/gtest.h>

#include <filesystem>

#include "RipTestSupport.h"
#include "graphics/uSkyPixFonts.h"
#include "tests/support/ChildProcess.h"

namespace {

using testsupport::ScratchAppFolder;
using testsupport::WriteWholeFile;

TEST(SkyPixPalette, FirstCommandSwitchesToTheSkyPixColours) {
  RipRig rig;
  int starts = 0;
  rig.Parser.OnSkyPixStart = [&] { ++starts; };
  rig.Feed("!|c01|X0505\r");
  rig.Feed(ESC "[15;4!");
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(rig.Canvas.PaletteEntry(1), (TRipPaletteEntry{17, 17, 255}));
  EXPECT_EQ(rig.Canvas.PaletteEntry(15), (TRipPaletteEntry{187, 0, 136}));
  EXPECT_EQ(rig.Canvas.PixelAt(5, 5), platform::PackRGB(0, 0, 170)) << "what was drawn keeps its colour";
  rig.Feed(ESC "[99!" ESC "[1;5;5!");
  EXPECT_EQ(starts, 2) << "a new page starts after the end of the last";
}

TEST(SkyPixPalette, TwelveBitEntries) {
  RipRig rig;
  rig.Feed(ESC "[11;3840;240;15;291;0;0;0;0;0;0;0;0;0;0;0;0!");
  EXPECT_EQ(rig.Canvas.PaletteEntry(0), (TRipPaletteEntry{255, 0, 0}));
  EXPECT_EQ(rig.Canvas.PaletteEntry(1), (TRipPaletteEntry{0, 255, 0}));
  EXPECT_EQ(rig.Canvas.PaletteEntry(2), (TRipPaletteEntry{0, 0, 255}));
  EXPECT_EQ(rig.Canvas.PaletteEntry(3), (TRipPaletteEntry{17, 34, 51}));
  rig.Feed(ESC "[11;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1!");  // fifteen values: nothing
  EXPECT_EQ(rig.Canvas.PaletteEntry(0), (TRipPaletteEntry{255, 0, 0}));
  rig.Feed(ESC "[17!");
  EXPECT_EQ(rig.Canvas.PaletteEntry(0), TRipCanvas::kSkyPixPalette[0]);
}

TEST(SkyPixCommands, TooFewFieldsDoNothing) {
  RipRig rig;
  rig.Feed(ESC "[15;4!");
  EXPECT_EQ(rig.Canvas.GetColor(), 4);
  rig.Feed(ESC "[15!" ESC "[1;7!" ESC "[13;5;5;5!");
  EXPECT_EQ(rig.Canvas.GetColor(), 4);
  EXPECT_EQ(rig.Canvas.DrawnPixelCount(), 0);
}

TEST(SkyPixCommands, StringArgumentsAreReadToTheNextBang) {
  ScratchAppFolder app;  // no fonts there
  RipRig rig;
  EXPECT_EQ(rig.Feed(ESC "[10!topaz.font!after"), ESC "[10!after") << "the name is taken from the stream";
  EXPECT_EQ(rig.Feed(ESC "[10;0!after"), ESC "[10;0!after") << "size 0 reads no string";
  EXPECT_EQ(rig.Feed(ESC "[16;1!name\rnext"), ESC "[16;1!\rnext") << "CR abandons the string";
}

TEST(SkyPixCommands, BrushCopiesPartOfTheClipboard) {
  RipRig rig;
  rig.Feed(ESC "[15;4!" ESC "[4;0;0;9;9!" ESC "[6;0;0;10;10!" ESC "[7;5;5;100;100;20;20;192;0!");
  ExpectProbes(rig, {{100, 100, 4}, {104, 104, 4}, {105, 105, kUndrawn}});
}

TEST(SkyPixCommands, FillsInTheDrawingColour) {
  RipRig rig;
  rig.Feed(ESC "[15;3!" ESC "[8;10;10!" ESC "[2;30;10!" ESC "[2;30;30!" ESC "[2;10;30!" ESC "[2;10;10!");
  rig.Feed(ESC "[3;0;20;20!");
  ExpectProbes(rig, {{20, 20, 3}, {10, 10, 3}, {5, 5, kUndrawn}});
  rig.Feed(ESC "[15;6!" ESC "[3;1;20;20!");  // same-colour fill: the square and its border
  ExpectProbes(rig, {{20, 20, 6}, {10, 10, 6}, {5, 5, kUndrawn}});
}

class SkyPixFontTest : public ::testing::Test {
 protected:
  ScratchAppFolder App;
  std::string Dir() { return App.Path() + "fonts/skypix/"; }
  void SetUp() override { std::filesystem::create_directories(Dir()); }
};

TEST_F(SkyPixFontTest, FamilyAndNearestSize) {
  WriteWholeFile(Dir() + "HELVETICA_13.SPF", SpfBytes(13, 32, 10, 2));
  WriteWholeFile(Dir() + "HELVETICA_24.SPF", SpfBytes(24, 32, 20, 2));
  WriteWholeFile(Dir() + "COURIER_11.SPF", SpfBytes(11, 32, 9, 2));
  WriteWholeFile(Dir() + "topaz_08.spf", SpfBytes(8, 32, 6, 96));  // the font cache outlives a test
  struct Row {
    std::string Name;
    int Size;
    std::string Family;
    int Loaded;
  };
  for (const Row& r : {Row{"helvetica.font", 14, "HELVETICA", 13}, Row{"Helvetica", 100, "HELVETICA", 24},
                       Row{" Topaz ", 30, "TOPAZ", 8}, Row{"Courier", 12, "COURIER", 11}, Row{"ARIAL", 8, "", 0},
                       Row{".font", 8, "", 0}, Row{"TIMES", 18, "", 0}}) {
    const TSkyPixFont* f = GetSkyPixFont(r.Name, r.Size);
    if (r.Family.empty()) {
      EXPECT_EQ(f, nullptr) << r.Name;
      continue;
    }
    ASSERT_NE(f, nullptr) << r.Name;
    EXPECT_EQ(f->Name, r.Family);
    EXPECT_EQ(f->Size, r.Loaded) << r.Name;
    EXPECT_EQ(f->Height, r.Loaded) << r.Name << ": the file of that size was read";
  }
  EXPECT_EQ(SkyPixFileName(FindSkyPixFamily("TOPAZ"), 8), "TOPAZ_08.SPF");
}

TEST_F(SkyPixFontTest, ASecondRequestComesFromTheCache) {
  WriteWholeFile(Dir() + "RUBY_12.SPF", SpfBytes(12, 32, 9, 3));
  const TSkyPixFont* first = GetSkyPixFont("ruby", 12);
  ASSERT_NE(first, nullptr);
  std::filesystem::remove(Dir() + "RUBY_12.SPF");
  EXPECT_EQ(GetSkyPixFont("RUBY.font", 13), first);
}

TEST(SkyPixFontFile, DamagedFilesAreRefused) {
  const std::string good = SpfBytes(8, 32, 6, 3);
  struct Row {
    const char* Name;
    std::string Bytes;
  };
  std::string noHeight = good, noGlyphs = good, tooMany = good, badMagic = good;
  noHeight[4] = 0;
  noGlyphs[7] = 0;
  tooMany[7] = char(1), tooMany[8] = char(1);  // 257 glyphs
  badMagic[3] = '1';
  for (const Row& r : {Row{"height 0", noHeight}, Row{"no glyphs", noGlyphs}, Row{"257 glyphs", tooMany},
                       Row{"not SPF2", badMagic}, Row{"ends inside a glyph", good.substr(0, good.size() - 1)},
                       Row{"nine bytes", good.substr(0, 8)}}) {
    TSkyPixFont f;
    EXPECT_FALSE(LoadSpfBytes(std::vector<uint8_t>(r.Bytes.begin(), r.Bytes.end()), f)) << r.Name;
  }
  TSkyPixFont f;
  ASSERT_TRUE(LoadSpfBytes(std::vector<uint8_t>(good.begin(), good.end()), f));
  EXPECT_EQ(f.Glyphs[0].Advance, 8) << "a glyph of width 0 keeps its advance";
  EXPECT_TRUE(f.Glyphs[0].Bits.empty());
}

class SkyPixTextTest : public SkyPixFontTest {
 protected:
  RipRig Rig;
  int CursorX = 0, CursorY = 0;
  std::vector<std::pair<int, int>> Gotos;
  int Ends = 0;
  void SetUp() override {
    SkyPixFontTest::SetUp();
    WriteWholeFile(Dir() + "TOPAZ_08.SPF", SpfBytes(8, 32, 6, 96));
    Rig.Parser.OnGetCursorPixels = [this](int& x, int& y) { x = CursorX, y = CursorY; };
    Rig.Parser.OnGotoPixels = [this](int x, int y) { Gotos.push_back({x, y}); };
    Rig.Parser.OnSkyPixEnd = [this] { ++Ends; };
  }
};

TEST_F(SkyPixTextTest, InlineTextIsDrawnAtTheCursorAndTheCursorFollowsIt) {
  CursorX = 16, CursorY = 28;
  EXPECT_EQ(Rig.Feed(ESC "[10;8!topaz!AB" ESC "[1mC" ESC "[99!after"), ESC "[10;8!after");
  // Glyph tops lie at y + height - baseline - 1 = 29.
  ExpectProbes(Rig, {{16, 29, 15}, {31, 36, 15}, {39, 36, 15}, {40, 29, kUndrawn}, {16, 28, kUndrawn}});
  ASSERT_EQ(Gotos.size(), 1u);
  EXPECT_EQ(Gotos[0], (std::pair<int, int>{40, 28})) << "the next 8-pixel column, the text's 14-pixel row";
  EXPECT_EQ(Ends, 1);
}

TEST_F(SkyPixTextTest, LineFeedNearTheBottomScrollsTheTextBand) {
  Rig.Feed(ESC "[19;0;250!" ESC "[10;8!TOPAZ!A\nB");
  ExpectProbes(Rig, {{0, 243, 15}, {0, 251, 15}, {8, 251, kUndrawn}, {0, 262, kUndrawn}});
}

TEST_F(SkyPixTextTest, LineFeedHigherUpOnlyMovesOnBySpace) {
  Rig.Feed(ESC "[19;0;100!" ESC "[10;8!TOPAZ!A\nB");
  ExpectProbes(Rig, {{0, 101, 15}, {8, 101, kUndrawn}, {16, 101, 15}, {0, 109, kUndrawn}});
}

TEST_F(SkyPixTextTest, CaptionAboveAnEllipseSnapsToItsCentre) {
  // Two ellipses within three pixels merge into one box centred at (321, 101);
  // height 8, baseline 6: the caption row is 101 - 4 - 1 - 22 = 74.
  Rig.Feed(ESC "[10;8!TOPAZ!" ESC "[10;0!" ESC "[5;320;100;60;30!" ESC "[5;322;103;10;10!" ESC "[10;8!TOPAZ!");
  Rig.Feed(ESC "[19;300;60!");
  ASSERT_FALSE(Gotos.empty());
  EXPECT_EQ(Gotos.back(), (std::pair<int, int>{300, 74}));
  Rig.Feed(ESC "[5;500;300;5;5!" ESC "[19;300;60!");
  EXPECT_EQ(Gotos.back(), (std::pair<int, int>{300, 60})) << "far from the last ellipse: no snap";
}

TEST_F(SkyPixTextTest, EndOfPageMovesTheCursorBelowWhatWasDrawn) {
  CursorX = 0, CursorY = 14;
  Rig.Feed(ESC "[4;0;0;10;200!" ESC "[99!");
  ASSERT_EQ(Gotos.size(), 1u);
  EXPECT_EQ(Gotos[0], (std::pair<int, int>{0, 200}));
  CursorY = 300;
  Rig.Feed(ESC "[4;0;0;10;200!" ESC "[99!");
  EXPECT_EQ(Gotos.size(), 1u) << "a cursor already below the picture stays";
  EXPECT_EQ(Ends, 2);
}

}  // namespace
