// The window and look commands as the user gives them: the window-size
// steps (Ctrl+Left/Right) up to full screen and back, Alt+Enter, the status
// bar (Alt+S) with the size a board is told, the phonebook switch (F11), the
// next font (F12) and the sharp glyphs (Shift+F12), each with its status
// text and the setting it saves.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/screens/uDirectoryScreen.h"
#include "data/uConfig.h"
#include "data/uDateTime.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"
#include "tests/app/ScreenFixture.h"

namespace fs = std::filesystem;
namespace vk = platform::vk;
using namespace testsupport;

namespace {

class WindowCommandsTest : public ScreenFixture {
 protected:
  void WriteSettings(const std::string& lines) {
    WriteWholeFile(Folder.File("korvan_config.ini"), "[Config]\nLastPhonebookBackup=" +
                                                         FormatIsoDate(NowDateTime()) + "\n" + lines +
                                                         "[Debug]\nRawLog=1\n");
  }
  TAppConfig Saved() const {
    TAppConfig config(Folder.File("korvan_config.ini"));
    config.Load();
    return config;
  }
  // A key, and the status text it left ("" when it left the text as it was).
  std::string StatusAfter(uint16_t key, bool shift = false, bool ctrl = false, bool alt = false) {
    Probe().Status() = "(unchanged)";
    Key(key, shift, ctrl, alt);
    Pump();
    return App->StatusText() == "(unchanged)" ? "" : App->StatusText();
  }
};

TEST_F(WindowCommandsTest, CtrlArrowsStepTheWindowSizeThroughFullScreenAndBack) {
  WriteSettings("ScreenScale=1\n");
  Start();
  platform::EventLoop& w = App->Window();
  ASSERT_EQ(w.ClientWidth(), 640);
  struct Step {
    bool Up;
    const char* Status;  // "" when the key does nothing
    int Width, Height;   // 0: full screen
  };
  const Step steps[] = {
      {true, "Screen size: 1.5x (Ctrl+Left/Right)", 960, 600},
      {true, "Screen size: 2x (Ctrl+Left/Right)", 1280, 800},
      {true, "Screen size: 2.5x (Ctrl+Left/Right)", 1600, 1000},
      {true, "Screen size: 3x (Ctrl+Left/Right)", 1920, 1200},
      {true, "Screen size: Full Screen (Ctrl+Left/Right)", 0, 0},
      {true, "", 0, 0},
      {false, "Screen size: 3x (Ctrl+Left/Right)", 1920, 1200},
      {false, "Screen size: 2.5x (Ctrl+Left/Right)", 1600, 1000},
      {false, "Screen size: 2x (Ctrl+Left/Right)", 1280, 800},
      {false, "Screen size: 1.5x (Ctrl+Left/Right)", 960, 600},
      {false, "Screen size: 1x (Ctrl+Left/Right)", 640, 400},
      {false, "", 640, 400},
  };
  for (const Step& s : steps) {
    const std::string name = std::string(s.Up ? "Ctrl+Right to " : "Ctrl+Left to ") + s.Status;
    EXPECT_EQ(StatusAfter(s.Up ? vk::Right : vk::Left, false, true), s.Status) << name;
    EXPECT_EQ(w.FullScreen(), s.Width == 0) << name;
    if (s.Width != 0) {
      EXPECT_EQ(w.ClientWidth(), s.Width) << name;
      EXPECT_EQ(w.ClientHeight(), s.Height) << name;
    }
    EXPECT_EQ(Saved().ScreenScaleFullScreen, s.Width == 0) << name;
  }
  EXPECT_EQ(Saved().ScreenScale, 1.0);

  // The steps work over an open prompt too, and not with Alt or Shift.
  EXPECT_EQ(StatusAfter(vk::Right, true, true), "");
  EXPECT_EQ(StatusAfter(vk::Right, false, true, true), "");
  EXPECT_EQ(w.ClientWidth(), 640);
}

TEST_F(WindowCommandsTest, AltEnterGoesFullScreenAndBackToTheSamePlace) {
  WriteSettings("ScreenScale=1.5\n");
  Start();
  platform::EventLoop& w = App->Window();
  w.SetOuterPosition(123, 45);
  EXPECT_EQ(StatusAfter(vk::Return, false, false, true), "Fullscreen (Alt+Enter to restore)");
  EXPECT_TRUE(w.FullScreen());
  EXPECT_FALSE(Saved().ScreenScaleFullScreen) << "Alt+Enter is not stored";
  // Ctrl+Right does nothing in full screen; Alt+Enter returns.
  EXPECT_EQ(StatusAfter(vk::Right, false, true), "");
  w.SetClientSize(1920, 1200);  // what the window system gave the full screen
  w.SetOuterPosition(0, 0);
  EXPECT_EQ(StatusAfter(vk::Return, false, false, true), "Windowed (Alt+Enter for fullscreen)");
  EXPECT_FALSE(w.FullScreen());
  EXPECT_EQ(w.ClientWidth(), 960);
  EXPECT_EQ(w.ClientHeight(), 600);
  int x = 0, y = 0;
  w.OuterPosition(x, y);
  EXPECT_EQ(x, 123);
  EXPECT_EQ(y, 45);
}

TEST_F(WindowCommandsTest, TheStatusBarSwitchTellsTheBoardItsNewSize) {
  LoopbackListener board;
  WritePhonebook({"Board|127.0.0.1|" + std::to_string(board.Port()) + "|ANSI-BBS"});
  Start();
  Key(vk::Return);
  auto peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  peer->Write(Bytes{255, 253, 31});  // DO NAWS
  const Bytes naws24 = {255, 250, 31, 0, 80, 0, 24, 255, 240}, naws25 = {255, 250, 31, 0, 80, 0, 25, 255, 240};
  std::string got;
  ASSERT_TRUE(RunUntil([&] {
    const Bytes more = peer->ReadFor(5);
    got.append(more.begin(), more.end());
    return got.find(std::string(naws24.begin(), naws24.end())) != std::string::npos;
  })) << "the status bar is on: the board has 24 rows";
  EXPECT_EQ(StatusAfter(vk::Letter('S'), false, false, true), "Status bar: OFF (Alt+S to toggle)");
  EXPECT_FALSE(peer->ReadUntil(naws25, 10000).empty()) << "25 rows without the bar";
  EXPECT_FALSE(Saved().ShowStatusBar);
  EXPECT_EQ(App->CallScreen().VisibleRows(), 25);
  EXPECT_EQ(StatusAfter(vk::Letter('S'), false, false, true), "Status bar: ON (Alt+S to toggle)");
  EXPECT_FALSE(peer->ReadUntil(naws24, 10000).empty());
  EXPECT_TRUE(Saved().ShowStatusBar);
  EXPECT_EQ(App->CallScreen().VisibleRows(), 24);
}

TEST_F(WindowCommandsTest, F11SwitchesTheListShownAndSaysHowManyEntriesItHas) {
  WritePhonebook({"One|a.example|23|ANSI-BBS", "Two|b.example|23|ANSI-BBS"});
  TPhonebook guide(Folder.File("bbsguide.ini"), "bbsguide");
  AddPhonebookRows(guide, {"G1|g1.example|23|ANSI-BBS", "G2|g2.example|23|ANSI-BBS", "G3|g3.example|23|ANSI-BBS"});
  ASSERT_TRUE(guide.SaveToFile());
  Start();
  Key(vk::Down);
  EXPECT_EQ(StatusAfter(vk::Fn(11)), "Phonebook: Telnet BBS Guide (3 entries) - F11 to switch back");
  EXPECT_TRUE(Saved().UseGuidePhonebook);
  EXPECT_TRUE(App->ShowingBoardList());
  EXPECT_EQ(App->ActivePhonebook()->Count(), 3);
  EXPECT_EQ(App->Directory().Selected(), 0) << "the selection goes to the first row";
  EXPECT_EQ(StatusAfter(vk::Fn(11)), "Phonebook: Custom - korvan.ini (2 entries) - F11 to switch");
  EXPECT_FALSE(Saved().UseGuidePhonebook);
  EXPECT_FALSE(App->ShowingBoardList());
  EXPECT_EQ(App->ActivePhonebook()->Count(), 2);
  // Not with Ctrl or Alt, and not on the online screen.
  EXPECT_EQ(StatusAfter(vk::Fn(11), false, false, true), "");
  Key(vk::Escape);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smOnline);
  EXPECT_EQ(StatusAfter(vk::Fn(11)), "");
}

// A fonts folder of its own: the standard font under a lower-case name, two
// more whose letter A differs from it, a file too short to be a font, and
// the standard font's 16x32 companion.
class FontCommandsTest : public WindowCommandsTest {
 protected:
  void SetUp() override {
    WindowCommandsTest::SetUp();
    const std::string vga = ReadWholeFile(std::string(KORVAN_BINARY_DIR) + "/fonts/IBM_VGA_8x16.F16");
    ASSERT_EQ(vga.size(), 4096u);
    fs::remove(Folder.Path() + "fonts");
    fs::create_directory(Folder.Path() + "fonts");
    std::string solidA = vga;
    for (int row = 0; row < 16; ++row) solidA[size_t('A' * 16 + row)] = char(0xff);
    WriteWholeFile(Folder.File("fonts/ibm_vga_8x16.F16"), vga);
    WriteWholeFile(Folder.File("fonts/Amiga.F16"), solidA);
    WriteWholeFile(Folder.File("fonts/Zed.F16"), solidA);
    WriteWholeFile(Folder.File("fonts/Bad.F16"), "too short");
    WriteWholeFile(Folder.File("fonts/ibm_vga_16x32.F32"), std::string(256 * 32 * 2, '\0'));
  }
  bool SolidA() { return Probe().MainFont().GetPixel('A', 0, 0); }
};

TEST_F(FontCommandsTest, F12StepsThroughTheFontsStandardFontFirst) {
  Start();
  ASSERT_FALSE(SolidA());
  struct Step {
    const char* Status;
    bool SolidA;
  };
  const Step steps[] = {
      {"Font: ibm vga 8x16", false},
      {"Font: Amiga", true},
      {"Failed to load font: Bad.F16", true},  // the glyphs stay as they were
      {"Font: Zed", true},
      {"Font: ibm vga 8x16", false},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(StatusAfter(vk::Fn(12)), s.Status);
    EXPECT_EQ(SolidA(), s.SolidA) << s.Status;
  }
  // On the online screen too, and in doorway mode.
  Key(vk::Escape);
  Key(vk::Letter('W'), false, false, true);
  Pump();
  ASSERT_EQ(App->ScreenMode(), smOnline);
  EXPECT_EQ(StatusAfter(vk::Fn(12)), "Font: Amiga");
}

TEST_F(FontCommandsTest, ShiftF12SwitchesTheSharpGlyphsAndStoresTheChoice) {
  WriteSettings("UpscaledFont=0\n");
  Start();
  EXPECT_EQ(StatusAfter(vk::Fn(12)), "Font: ibm vga 8x16");
  EXPECT_EQ(StatusAfter(vk::Fn(12), true), "Font: SHARP 16x32 upscaled (Shift+F12 to toggle)");
  EXPECT_TRUE(Saved().UpscaledFont);
  EXPECT_EQ(StatusAfter(vk::Fn(12), true), "Font: NORMAL 8x16 (Shift+F12 to toggle)");
  EXPECT_FALSE(Saved().UpscaledFont);
  EXPECT_EQ(StatusAfter(vk::Fn(12)), "Font: Amiga");
  EXPECT_EQ(StatusAfter(vk::Fn(12), true), "Font: SHARP - this font has no 16x32 version (Shift+F12)");
  EXPECT_TRUE(Saved().UpscaledFont) << "stored as on all the same";
}

TEST_F(FontCommandsTest, AFolderWithoutFontsSaysSo) {
  fs::remove_all(Folder.Path() + "fonts");
  Start();
  EXPECT_EQ(StatusAfter(vk::Fn(12)), "No .F16 fonts found in fonts/");
}

}  // namespace
