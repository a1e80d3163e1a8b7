// Popups and the transfer window on their own, as drawn into the popup
// layer; and in the running program: the online screen's bottom line and
// status bar, the boxes over it, the backup reminder's answers with the
// files they leave behind, and every screen on tiny and wide grids.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uEntryEditor.h"
#include "app/screens/uPopups.h"
#include "app/uScreenText.h"
#include "data/uConfig.h"
#include "net/uWireTransport.h"
#include "platform/Tick.h"
#include "tests/app/ScreenFixture.h"
#include "tests/app/ScreenServicesFixture.h"
#include "tests/support/Loopback.h"

namespace vk = platform::vk;

namespace {

class PopupBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { Layer.Reset(80, 25); }
  std::string Row(int y) const {
    std::string s;
    for (int x = 0; x < Layer.Cols(); ++x) s += Layer.At(x, y) ? char(Layer.At(x, y)->Cell.Ch) : ' ';
    return s;
  }
  std::string AllRows() const {
    std::string s;
    for (int y = 0; y < Layer.Rows(); ++y) s += Row(y) + "\n";
    return s;
  }
  const TPopupCell* At(int x, int y) const { return Layer.At(x, y); }

  TPopups Popups;
  TPopupLayer Layer;
};

TEST_F(PopupBoxTest, TerminatedBoxGeometry) {
  Popups.Terminated.Reason = "Disconnected";
  Popups.DrawTerminatedBox(Layer);
  // Inner width 25, outer 27, at column 26, rows 10 to 13.
  ASSERT_TRUE(At(26, 10));
  EXPECT_EQ(At(26, 10)->Cell.Ch, cp::SingleTL);
  EXPECT_COLOUR(At(26, 10)->Cell.Fg, 0, 0, 0);
  EXPECT_EQ(At(52, 10)->Cell.Ch, cp::SingleTR);
  EXPECT_COLOUR(At(52, 10)->Cell.Fg, 0, 0, 255);
  EXPECT_EQ(At(26, 13)->Cell.Ch, cp::SingleBL);
  EXPECT_EQ(At(52, 13)->Cell.Ch, cp::SingleBR);
  EXPECT_EQ(At(25, 11)->Cell.Ch, cp::HalfLeft);
  EXPECT_EQ(At(53, 11)->Cell.Ch, cp::HalfRight);
  EXPECT_TRUE(At(26, 10)->UiFont);
  EXPECT_EQ(Row(11).substr(27, 25), PadText("  CONNECTION TERMINATED", 25));
  EXPECT_COLOUR(At(29, 11)->Cell.Fg, 255, 255, 85);
  EXPECT_EQ(Row(12).substr(27, 25), CenterText("Disconnected", 25).substr(0, 25));
  EXPECT_COLOUR(At(33, 12)->Cell.Fg, 255, 0, 0);
  EXPECT_COLOUR(At(30, 12)->Cell.Bg, 0, 0, 170);
  EXPECT_FALSE(At(26, 14));
  // Without a reason: 3 rows at row 11.
  Layer.Reset(80, 25);
  Popups.Terminated.Reason.clear();
  Popups.DrawTerminatedBox(Layer);
  EXPECT_EQ(At(26, 11)->Cell.Ch, cp::SingleTL);
  EXPECT_EQ(At(26, 13)->Cell.Ch, cp::SingleBL);
  EXPECT_FALSE(At(26, 10));
  // A summary adds two rows, cut to the box.
  Layer.Reset(80, 25);
  Popups.Terminated.Summary = "Online 00:01:02   In 2 KB   Out 10 bytes";
  Popups.DrawTerminatedBox(Layer);
  EXPECT_NE(AllRows().find(Popups.Terminated.Summary), std::string::npos);
}

TEST_F(PopupBoxTest, RedialQuestionToastAndAnOverlongReason) {
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = std::string(30, 'N');
  Popups.Redial.Open = true;
  Popups.Redial.Entry = entry;
  Popups.Redial.Reason = std::string(90, 'R');
  Popups.DrawRedialBox(Layer);
  EXPECT_EQ(Popups.RedialQuestion(), "Redial " + std::string(21, 'N') + "...?  Y/N");
  EXPECT_NE(AllRows().find(Popups.RedialQuestion()), std::string::npos);
  // The reason runs over the frame and is clipped by the grid.
  EXPECT_EQ(Row(12), std::string(80, 'R'));
  Popups.Redial.Entry.reset();
  EXPECT_EQ(Popups.RedialQuestion(), "Redial?  Y/N");

  Layer.Reset(80, 25);
  Popups.Toast.Title = "CAPTURE STARTED";
  Popups.Toast.Text = "capture.txt";
  Popups.DrawMessageBox(Layer);
  const int x = (80 - (15 + 4 + 2)) / 2;
  EXPECT_EQ(At(x, 10)->Cell.Ch, cp::SingleTL);
  EXPECT_COLOUR(At(x, 10)->Cell.Bg, 0, 85, 0);
  EXPECT_COLOUR(At(x + 20, 10)->Cell.Fg, 0, 255, 0);
  EXPECT_NE(Row(11).find("CAPTURE STARTED"), std::string::npos);
  EXPECT_NE(Row(12).find("capture.txt"), std::string::npos);
  EXPECT_COLOUR(At(int(Row(12).find("capture.txt")), 12)->Cell.Fg, 0, 255, 0);
}

TEST_F(PopupBoxTest, TransferWindow) {
  TTransferView v{"Receiving via Zmodem", std::string(60, 'a') + "0123456789", 512, 1024, "", 2, 1024};
  DrawTransferWindow(Layer, v);
  // 80 columns: inner 60, left 9, top 6.
  EXPECT_EQ(At(9, 6)->Cell.Ch, cp::SingleTL);
  EXPECT_EQ(At(70, 17)->Cell.Ch, cp::SingleBR);
  EXPECT_NE(Row(8).find("Receiving via Zmodem"), std::string::npos);
  EXPECT_EQ(Row(10).substr(12, 58), std::string(1, char(cp::SmallSquare)) + " File: ..." +
                                        UpperText(std::string(35, 'a') + "0123456789") + std::string(2, ' '));
  EXPECT_NE(Row(11).find("Size: 1,024"), std::string::npos);
  EXPECT_NE(Row(12).find(" Pos: 512"), std::string::npos);
  EXPECT_EQ(Row(12).substr(44, 9), "Errors: 2");
  EXPECT_EQ(Row(13).substr(44, 11), "Block: 1024");
  EXPECT_NE(Row(13).find("Rate: (measuring...)"), std::string::npos);
  // Bar of 40 cells: 20 filled, " 50%".
  const std::string bar = Row(15);
  const size_t open = bar.find('[');
  ASSERT_NE(open, std::string::npos);
  EXPECT_EQ(bar.substr(open, 47),
            "[" + std::string(20, char(cp::FullBlock)) + std::string(20, char(cp::LightShade)) + "]  50%");
  EXPECT_COLOUR(At(int(open) + 1, 15)->Cell.Fg, 85, 255, 85);
  EXPECT_COLOUR(At(int(open) + 30, 15)->Cell.Fg, 0, 85, 0);
  // Unknown size: empty bar and " --%"; a measured rate loses its " @ ".
  Layer.Reset(80, 25);
  v.Total = 0;
  v.Rate = " @ 9.8 KB/s";
  DrawTransferWindow(Layer, v);
  EXPECT_NE(Row(15).find(std::string(40, char(cp::LightShade)) + "]  --%"), std::string::npos);
  EXPECT_NE(Row(13).find("Rate: 9.8 KB/s"), std::string::npos);
  // 40 columns: inner 36 at left 1, no Errors or Block.
  Layer.Reset(40, 25);
  DrawTransferWindow(Layer, v);
  EXPECT_EQ(At(1, 6)->Cell.Ch, cp::SingleTL);
  EXPECT_EQ(Row(12).find("Errors"), std::string::npos);
}

TEST_F(PopupBoxTest, GuideQuestionWordsTheCountAndBackupReminderFrames) {
  Popups.GuideEdited.push_back("My Board");
  Popups.DrawGuideUpdatePrompt(Layer, false);
  EXPECT_NE(AllRows().find("1 entry you edited would be overwritten."), std::string::npos);
  EXPECT_NE(AllRows().find("K = Keep edited entries, update the rest"), std::string::npos);
  Layer.Reset(80, 25);
  Popups.GuideEdited.resize(3);
  Popups.DrawGuideUpdatePrompt(Layer, true);
  EXPECT_NE(AllRows().find("3 entries you edited would be overwritten."), std::string::npos);
  EXPECT_NE(AllRows().find("+-"), std::string::npos) << "ASCII frame";
  Layer.Reset(80, 25);
  Popups.DrawBackupReminder(Layer, false);
  EXPECT_NE(Row(11).find("PHONEBOOK BACKUP"), std::string::npos);
  EXPECT_NE(Row(12).find("It's been 90+ days since your last backup."), std::string::npos);
  EXPECT_NE(Row(13).find("Back it up now?  Y/N"), std::string::npos);
  EXPECT_NE(Row(10).find(char(cp::SingleTL)), std::string::npos);
}

TEST_F(PopupBoxTest, EveryBoxAndScreenPaintsOnTinyAndWideGrids) {
  testsupport::TempDir folder;
  TTestServices services(folder.Path());
  for (const char* name : {"Board", "Other"}) services.Book->Add()->Name = name;
  services.PopupState.BackupDue = true;
  services.PopupState.GuidePrompt = true;
  TDirectoryScreen directory(services);
  directory.Key(KeyOf(vk::End));
  TEntryEditorScreen editor(services, services.Book->GetEntry(1));
  editor.Enter();
  Popups.Terminated = {std::string(300, 'x'), "Online 00:00:01", 1};
  Popups.Toast = {std::string(200, 't'), "", 1};
  Popups.Redial.Open = true;
  const int sizes[][2] = {{1, 1}, {2, 3}, {10, 5}, {39, 8}, {132, 60}, {300, 100}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
    PaintScreen(directory, size[0], size[1]);
    PaintScreen(editor, size[0], size[1]);
    Layer.Reset(size[0], size[1]);
    Popups.DrawTerminatedBox(Layer);
    Popups.DrawRedialBox(Layer);
    Popups.DrawGuideUpdatePrompt(Layer, false);
    Popups.DrawMessageBox(Layer);
    DrawTransferWindow(Layer, TTransferView{std::string(100, 'T'), std::string(200, 'f'), 5, 3, "", 0, 0});
    EXPECT_EQ(Layer.Cols(), size[0]);
  }
}

// The online screen's bottom line and boxes, and the backup reminder, in
// the running program.
class PopupScreenTest : public ScreenFixture {
 protected:
  // Paints the online screen with no call open.
  void PaintOnline() {
    App->ShowScreen(smOnline);
    Paint();
  }
  const TPopupCell* At(int x, int y) const { return App->LastFramePopups().At(x, y); }
};

TEST_F(PopupScreenTest, StatusBarAndPromptLines) {
  Start();
  Probe().StatusBar() = true;
  PaintOnline();
  const std::string bar = Probe().StatusBarText();
  EXPECT_EQ(bar.size(), 78u);
  const std::string sep = std::string(" ") + char(cp::SingleV) + " ";
  EXPECT_EQ(bar, " " + CenterText("KORVAN", 20) + sep + " 80x25 " + sep + "OFFLINE" + sep + "    -     " + sep +
                     " 00:00  " + sep + "Alt+Z:Help");
  EXPECT_EQ(PopupRow(24), PadText(" " + bar, 80));
  EXPECT_COLOUR(At(5, 24)->Cell.Fg, 170, 170, 170);
  EXPECT_COLOUR(At(int(PopupRow(24).find(char(cp::SingleV))), 24)->Cell.Fg, 0, 0, 0);
  EXPECT_COLOUR(At(5, 24)->Cell.Bg, 0, 0, 170);
  // A status message for a while, white, centred.
  Probe().Status() = "Hello there";
  Probe().StatusUntil() = platform::TickMs() + 60000;
  PaintOnline();
  EXPECT_EQ(PopupRow(24), PadText(std::string(34, ' ') + "Hello there", 80));
  EXPECT_COLOUR(At(40, 24)->Cell.Fg, 255, 255, 255);
  // Paused input shows the waiting bytes grouped.
  Probe().Paused() = true;
  Probe().Pending().assign(12345, 'x');
  PaintOnline();
  EXPECT_NE(PopupRow(24).find("PAUSED - 12,345 bytes waiting - Scroll Lock to resume"), std::string::npos);
  Probe().Paused() = false;
  // An expired message gives way to the bar, or to nothing without it.
  Probe().StatusUntil() = 0;
  Probe().StatusBar() = false;
  PaintOnline();
  EXPECT_EQ(PopupRow(24), std::string(80, ' '));
}

TEST_F(PopupScreenTest, TheOnlineScreenDrawsItsBoxesInOrder) {
  Start();
  Probe().StatusBar() = false;
  const uint64_t later = platform::TickMs() + 60000;
  Probe().TransferTitle() = "Receiving via Zmodem";
  Probe().TransferShownUntil() = later;
  Probe().Popups().Terminated = {"Disconnected", "", later};
  PaintOnline();
  std::string rows;
  for (int y = 0; y < 25; ++y) rows += PopupRow(y) + "\n";
  EXPECT_NE(rows.find("Receiving via Zmodem"), std::string::npos);
  EXPECT_NE(rows.find("CONNECTION TERMINATED"), std::string::npos) << "drawn after the transfer window";
  Probe().Popups().Toast = {"CAPTURE STARTED", "", later};
  PaintOnline();
  EXPECT_NE(PopupRow(12).find("CAPTURE STARTED"), std::string::npos) << "the toast last, over the banner";
  EXPECT_EQ(PopupRow(12).find("Disconnected"), std::string::npos);
}

TEST_F(PopupScreenTest, StatusBarOfALiveCallNamesTheBoardAndTheTime) {
  testsupport::LoopbackListener board;
  WritePhonebook({"|127.0.0.1|" + std::to_string(board.Port()) + "|ansi-bbs"});
  Start();
  Key(vk::Return);
  std::unique_ptr<testsupport::LoopbackPeer> peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  Probe().ConnectTick() = platform::TickMs() - (3723 * 1000);
  const std::string bar = Probe().StatusBarText();
  EXPECT_NE(bar.find("127.0.0.1"), std::string::npos) << "an entry without a name shows its host";
  EXPECT_NE(bar.find("ONLINE"), std::string::npos);
  EXPECT_NE(bar.find("ANSI-BBS"), std::string::npos);
  EXPECT_NE(bar.find("01:02:03"), std::string::npos);
  Probe().ConnectTick() = platform::TickMs() - 3599 * 1000;
  EXPECT_NE(Probe().StatusBarText().find("59:59"), std::string::npos);
}

TEST_F(PopupScreenTest, BackupReminderAnswers) {
  WriteConfig(true);
  WritePhonebook({"Board|b|23"});
  Start();
  ASSERT_TRUE(App->Popups().BackupDue);
  Paint();
  EXPECT_NE(PopupRow(11).find("PHONEBOOK BACKUP"), std::string::npos);
  // With a non-CP437 font the frame is plain ASCII.
  Probe().StandardFontLoaded() = false;
  Paint();
  EXPECT_NE(PopupRow(10).find("+-"), std::string::npos);
  Probe().StandardFontLoaded() = true;

  // Keys other than Y and N are taken by the reminder.
  Key(vk::Down);
  Pump();
  EXPECT_TRUE(App->Popups().BackupDue);
  Type("y");
  Pump();
  EXPECT_FALSE(App->Popups().BackupDue);
  const platform::LocalTime now = platform::NowLocal();
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", now.Year, now.Month, now.Day);
  const std::string backup = Folder.File(std::string("phonebook_backup_") + date + ".ini");
  EXPECT_EQ(testsupport::ReadWholeFile(backup), testsupport::ReadWholeFile(Folder.File("korvan.ini")));
  EXPECT_EQ(App->StatusText(),
            TruncateWithDots(std::string("Phonebook backed up: ") + "phonebook_backup_" + date + ".ini", 1000));
  EXPECT_FALSE(std::filesystem::exists(Folder.File(std::string("bbsguide_backup_") + date + ".ini")));
  TAppConfig saved(Folder.File("korvan_config.ini"));
  saved.Load();
  EXPECT_EQ(FormatIsoDate(saved.LastPhonebookBackup), FormatIsoDate(NowDateTime()));
}

TEST_F(PopupScreenTest, AFailedBackupKeepsTheReminderForNextTime) {
  WriteConfig(true);
  Start();
  std::filesystem::remove(Folder.File("korvan.ini"));
  const double before = App->Config().LastPhonebookBackup;
  Probe().AnswerBackupPrompt(true);
  EXPECT_EQ(App->StatusText(), "Phonebook backup failed - check the KORVAN folder is writable.");
  EXPECT_EQ(App->Config().LastPhonebookBackup, before);
  EXPECT_FALSE(App->Popups().BackupDue) << "closed for this run";
  Probe().AnswerBackupPrompt(false);
  EXPECT_EQ(App->StatusText(), "Not backing up now - will ask again in 90 days.");
  EXPECT_GT(App->Config().LastPhonebookBackup, before);
}

TEST_F(PopupScreenTest, TheOnlineScreenPaintsOnTinyAndWideGrids) {
  Start();
  const uint64_t later = platform::TickMs() + 60000;
  Probe().Popups().Terminated = {std::string(300, 'x'), "Online 00:00:01", later};
  Probe().Popups().Toast = {std::string(200, 't'), "", later};
  Probe().TransferShownUntil() = later;
  Probe().Popups().Redial.Open = true;
  Probe().Popups().GuidePrompt = true;
  const int sizes[][2] = {{1, 1}, {2, 3}, {10, 5}, {39, 8}, {132, 60}, {300, 100}};
  for (const auto& size : sizes) {
    Probe().Buffer().Resize(size[0], size[1]);
    for (TScreenMode mode : {smDirectory, smOnline}) {
      App->ShowScreen(mode);
      Paint();
      EXPECT_EQ(App->LastFramePopups().Cols(), size[0]);
    }
  }
}

}  // namespace
