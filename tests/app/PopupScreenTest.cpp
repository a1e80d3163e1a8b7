// Popups, the online screen's bottom line, the status bar and the transfer
// window as drawn into the popup layer, and the answers to the backup
// reminder with the files they leave behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/uScreenText.h"
#include "data/uConfig.h"
#include "net/uWireTransport.h"
#include "platform/Tick.h"
#include "tests/app/ScreenFixture.h"
#include "tests/support/Loopback.h"

namespace vk = platform::vk;

namespace {

class PopupScreenTest : public ScreenFixture {
 protected:
  // Paints the online screen with no call open.
  void PaintOnline() {
    App->FMode = smOnline;
    Paint();
  }
  const TPopupCell* At(int x, int y) const { return App->FPopupLayer.At(x, y); }
};

TEST_F(PopupScreenTest, TerminatedBoxGeometry) {
  Start();
  App->FStatusBar = false;
  App->FTerminatedText = "Disconnected";
  App->FTerminatedUntil = platform::TickMs() + 60000;
  PaintOnline();
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
  EXPECT_EQ(PopupRow(11).substr(27, 25), PadText("  CONNECTION TERMINATED", 25));
  EXPECT_COLOUR(At(29, 11)->Cell.Fg, 255, 255, 85);
  EXPECT_EQ(PopupRow(12).substr(27, 25), CenterText("Disconnected", 25).substr(0, 25));
  EXPECT_COLOUR(At(33, 12)->Cell.Fg, 255, 0, 0);
  EXPECT_COLOUR(At(30, 12)->Cell.Bg, 0, 0, 170);
  EXPECT_FALSE(At(26, 14));
  // Without a reason: 3 rows at row 11.
  App->FTerminatedText.clear();
  PaintOnline();
  EXPECT_EQ(At(26, 11)->Cell.Ch, cp::SingleTL);
  EXPECT_EQ(At(26, 13)->Cell.Ch, cp::SingleBL);
  EXPECT_FALSE(At(26, 10));
}

TEST_F(PopupScreenTest, RedialQuestionToastAndAnOverlongReason) {
  Start();
  App->FStatusBar = false;
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = std::string(30, 'N');
  App->FRedialEntry = entry;
  App->FRedialPrompt = true;
  App->FRedialText = std::string(90, 'R');
  PaintOnline();
  EXPECT_EQ(App->RedialQuestion(), "Redial " + std::string(21, 'N') + "...?  Y/N");
  std::string rows;
  for (int y = 0; y < 25; ++y) rows += PopupRow(y) + "\n";
  EXPECT_NE(rows.find(App->RedialQuestion()), std::string::npos);
  // The reason runs over the frame and is clipped by the grid.
  EXPECT_EQ(PopupRow(12), std::string(80, 'R'));
  App->FRedialPrompt = false;
  App->FRedialEntry.reset();
  EXPECT_EQ(App->RedialQuestion(), "Redial?  Y/N");

  App->FToastTitle = "CAPTURE STARTED";
  App->FToastText = "capture.txt";
  App->FToastUntil = platform::TickMs() + 60000;
  PaintOnline();
  const int x = (80 - (15 + 4 + 2)) / 2;
  EXPECT_EQ(At(x, 10)->Cell.Ch, cp::SingleTL);
  EXPECT_COLOUR(At(x, 10)->Cell.Bg, 0, 85, 0);
  EXPECT_COLOUR(At(x + 20, 10)->Cell.Fg, 0, 255, 0);
  EXPECT_NE(PopupRow(11).find("CAPTURE STARTED"), std::string::npos);
  EXPECT_NE(PopupRow(12).find("capture.txt"), std::string::npos);
  EXPECT_COLOUR(At(int(PopupRow(12).find("capture.txt")), 12)->Cell.Fg, 0, 255, 0);
}

TEST_F(PopupScreenTest, StatusBarAndPromptLines) {
  Start();
  App->FStatusBar = true;
  PaintOnline();
  const std::string bar = App->StatusBarText();
  EXPECT_EQ(bar.size(), 78u);
  const std::string sep = std::string(" ") + char(cp::SingleV) + " ";
  EXPECT_EQ(bar, " " + CenterText("KORVAN", 20) + sep + " 80x25 " + sep + "OFFLINE" + sep + "    -     " + sep +
                     " 00:00  " + sep + "Alt+Z:Help");
  EXPECT_EQ(PopupRow(24), PadText(" " + bar, 80));
  EXPECT_COLOUR(At(5, 24)->Cell.Fg, 170, 170, 170);
  EXPECT_COLOUR(At(int(PopupRow(24).find(char(cp::SingleV))), 24)->Cell.Fg, 0, 0, 0);
  EXPECT_COLOUR(At(5, 24)->Cell.Bg, 0, 0, 170);
  // A status message for a while, white, centred.
  App->FStatus = "Hello there";
  App->FStatusUntil = platform::TickMs() + 60000;
  PaintOnline();
  EXPECT_EQ(PopupRow(24), PadText(std::string(34, ' ') + "Hello there", 80));
  EXPECT_COLOUR(At(40, 24)->Cell.Fg, 255, 255, 255);
  // Paused input shows the waiting bytes grouped.
  App->FPaused = true;
  App->FRxPending.assign(12345, 'x');
  PaintOnline();
  EXPECT_NE(PopupRow(24).find("PAUSED - 12,345 bytes waiting - Scroll Lock to resume"), std::string::npos);
  App->FPaused = false;
  // An expired message gives way to the bar, or to nothing without it.
  App->FStatusUntil = 0;
  App->FStatusBar = false;
  PaintOnline();
  EXPECT_EQ(PopupRow(24), std::string(80, ' '));
}

TEST_F(PopupScreenTest, StatusBarOfALiveCallNamesTheBoardAndTheTime) {
  testsupport::LoopbackListener board;
  WritePhonebook({"|127.0.0.1|" + std::to_string(board.Port()) + "|ansi-bbs"});
  Start();
  Key(vk::Return);
  std::unique_ptr<testsupport::LoopbackPeer> peer = AwaitCall(board);
  ASSERT_TRUE(peer);
  App->FConnectTick = platform::TickMs() - (3723 * 1000);
  const std::string bar = App->StatusBarText();
  EXPECT_NE(bar.find("127.0.0.1"), std::string::npos) << "an entry without a name shows its host";
  EXPECT_NE(bar.find("ONLINE"), std::string::npos);
  EXPECT_NE(bar.find("ANSI-BBS"), std::string::npos);
  EXPECT_NE(bar.find("01:02:03"), std::string::npos);
  App->FConnectTick = platform::TickMs() - 3599 * 1000;
  EXPECT_NE(App->StatusBarText().find("59:59"), std::string::npos);
}

TEST_F(PopupScreenTest, TransferWindow) {
  Start();
  App->FStatusBar = false;
  App->FXferTitle = "Receiving via Zmodem";
  App->FXferFile = std::string(60, 'a') + "0123456789";
  App->FXferDone = 512;
  App->FXferTotal = 1024;
  App->FXferErrors = 2;
  App->FXferBlock = 1024;
  App->FXferPanelUntil = platform::TickMs() + 60000;
  PaintOnline();
  // 80 columns: inner 60, left 9, top 6.
  EXPECT_EQ(At(9, 6)->Cell.Ch, cp::SingleTL);
  EXPECT_EQ(At(70, 17)->Cell.Ch, cp::SingleBR);
  EXPECT_NE(PopupRow(8).find("Receiving via Zmodem"), std::string::npos);
  EXPECT_EQ(PopupRow(10).substr(12, 58),
            std::string(1, char(cp::SmallSquare)) + " File: ..." + UpperText(std::string(35, 'a') + "0123456789") +
                std::string(2, ' '));
  EXPECT_NE(PopupRow(11).find("Size: 1,024"), std::string::npos);
  EXPECT_NE(PopupRow(12).find(" Pos: 512"), std::string::npos);
  EXPECT_EQ(PopupRow(12).substr(44, 9), "Errors: 2");
  EXPECT_EQ(PopupRow(13).substr(44, 11), "Block: 1024");
  EXPECT_NE(PopupRow(13).find("Rate: (measuring...)"), std::string::npos);
  // Bar of 40 cells: 20 filled, " 50%".
  const std::string bar = PopupRow(15);
  const size_t open = bar.find('[');
  ASSERT_NE(open, std::string::npos);
  EXPECT_EQ(bar.substr(open, 47), "[" + std::string(20, char(cp::FullBlock)) + std::string(20, char(cp::LightShade)) +
                                      "]  50%");
  EXPECT_COLOUR(At(int(open) + 1, 15)->Cell.Fg, 85, 255, 85);
  EXPECT_COLOUR(At(int(open) + 30, 15)->Cell.Fg, 0, 85, 0);
  // Unknown size: empty bar and " --%".
  App->FXferTotal = 0;
  PaintOnline();
  EXPECT_NE(PopupRow(15).find(std::string(40, char(cp::LightShade)) + "]  --%"), std::string::npos);
  // 40 columns: inner 36 at left 1, no Errors or Block.
  App->FBuffer->Resize(40, 25);
  PaintOnline();
  EXPECT_EQ(At(1, 6)->Cell.Ch, cp::SingleTL);
  EXPECT_EQ(PopupRow(12).find("Errors"), std::string::npos);
}

TEST_F(PopupScreenTest, BackupReminderAnswers) {
  WriteConfig(true);
  WritePhonebook({"Board|b|23"});
  Start();
  ASSERT_TRUE(App->FBackupDue);
  Paint();
  EXPECT_NE(PopupRow(11).find("PHONEBOOK BACKUP"), std::string::npos);
  EXPECT_NE(PopupRow(12).find("It's been 90+ days since your last backup."), std::string::npos);
  EXPECT_NE(PopupRow(13).find("Back it up now?  Y/N"), std::string::npos);
  EXPECT_NE(PopupRow(10).find(char(cp::SingleTL)), std::string::npos);
  // With a non-CP437 font the frame is plain ASCII.
  App->FStdFontLoaded = false;
  Paint();
  EXPECT_NE(PopupRow(10).find("+-"), std::string::npos);
  EXPECT_NE(PopupRow(11).find(':'), std::string::npos);
  EXPECT_NE(PopupRow(11).find('|'), std::string::npos);
  App->FStdFontLoaded = true;

  // Keys other than Y and N are taken by the reminder.
  Key(vk::Down);
  Pump();
  EXPECT_TRUE(App->FBackupDue);
  Type("y");
  Pump();
  EXPECT_FALSE(App->FBackupDue);
  const platform::LocalTime now = platform::NowLocal();
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", now.Year, now.Month, now.Day);
  const std::string backup = Folder.File(std::string("phonebook_backup_") + date + ".ini");
  EXPECT_EQ(testsupport::ReadWholeFile(backup), testsupport::ReadWholeFile(Folder.File("korvan.ini")));
  EXPECT_EQ(App->FStatus, TruncateWithDots(std::string("Phonebook backed up: ") + "phonebook_backup_" + date + ".ini",
                                           1000));
  EXPECT_FALSE(std::filesystem::exists(Folder.File(std::string("bbsguide_backup_") + date + ".ini")));
  TAppConfig saved(Folder.File("korvan_config.ini"));
  saved.Load();
  EXPECT_EQ(FormatIsoDate(saved.LastPhonebookBackup), FormatIsoDate(NowDateTime()));
}

TEST_F(PopupScreenTest, AFailedBackupKeepsTheReminderForNextTime) {
  WriteConfig(true);
  Start();
  std::filesystem::remove(Folder.File("korvan.ini"));
  const double before = App->FConfig->LastPhonebookBackup;
  App->AnswerBackupPrompt(true);
  EXPECT_EQ(App->FStatus, "Phonebook backup failed - check the KORVAN folder is writable.");
  EXPECT_EQ(App->FConfig->LastPhonebookBackup, before);
  EXPECT_FALSE(App->FBackupDue) << "closed for this run";
  App->AnswerBackupPrompt(false);
  EXPECT_EQ(App->FStatus, "Not backing up now - will ask again in 90 days.");
  EXPECT_GT(App->FConfig->LastPhonebookBackup, before);
}

TEST_F(PopupScreenTest, GuideQuestionWordsTheCount) {
  Start();
  App->FGuidePrompt = true;
  App->FGuideEdited.push_back(std::make_shared<TPhonebookEntry>());
  Paint();
  std::string rows;
  for (int y = 0; y < 25; ++y) rows += PopupRow(y) + "\n";
  EXPECT_NE(rows.find("1 entry you edited would be overwritten."), std::string::npos);
  EXPECT_NE(rows.find("K = Keep edited entries, update the rest"), std::string::npos);
  App->FGuideEdited.resize(3);
  Paint();
  rows.clear();
  for (int y = 0; y < 25; ++y) rows += PopupRow(y) + "\n";
  EXPECT_NE(rows.find("3 entries you edited would be overwritten."), std::string::npos);
}

}  // namespace

namespace {

TEST_F(PopupScreenTest, EveryScreenPaintsOnTinyAndWideGrids) {
  WritePhonebook({"Board|b.example|23|ANSI-BBS", "Other|o.example|23|RIP"});
  WriteConfig(true);
  Start();
  App->FTerminatedText = std::string(300, 'x');
  App->FSessionSummary = "Online 00:00:01";
  App->FTerminatedUntil = platform::TickMs() + 60000;
  App->FToastTitle = std::string(200, 't');
  App->FToastUntil = App->FTerminatedUntil;
  App->FXferPanelUntil = App->FTerminatedUntil;
  App->FRedialPrompt = true;
  App->FGuidePrompt = true;
  const int sizes[][2] = {{1, 1}, {2, 3}, {10, 5}, {39, 8}, {132, 60}, {300, 100}};
  for (const auto& size : sizes) {
    App->FBuffer->Resize(size[0], size[1]);
    for (int mode : {smDirectory, smEditor, smOnline}) {
      App->FMode = mode;
      App->FDirectoryRow = 1;
      Paint();
      EXPECT_EQ(App->FPopupLayer.Cols, size[0]);
    }
  }
}

}  // namespace
