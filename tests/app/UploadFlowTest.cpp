// Zmodem uploads through the whole program: rz on the board's end asks for
// an upload, the picker opens, the queue goes out byte for byte; a board
// that refuses a file; the message-upload warning; files dropped on the
// window; and an upload queued for one board never reaching another.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>

#include "app/screens/uDirectoryScreen.h"
#include "net/uZmodem.h"
#include "tests/app/TransferBoardFixture.h"

namespace fs = std::filesystem;
namespace vk = platform::vk;
using namespace testsupport;

class UploadFlowTest : public TransferBoardFixture {
 protected:
  // The three files of a queue: empty, heavy in escaped bytes, 10 MiB.
  void WriteQueueFiles() {
    ASSERT_TRUE(WriteWholeFile(Up + "empty.dat", ""));
    ASSERT_TRUE(WriteWholeFile(Up + "cancan.bin", EscapeHeavyBytes(200000)));
    ASSERT_TRUE(WriteWholeFile(Up + "big.bin", RandomBytes(10 << 20, 22)));
  }
  // With the picker open: Enter on each file, then Esc hands the queue over.
  void QueueAndCommit(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      SelectInPicker(name);
      KeyAndPump(vk::Return);
    }
    for (const std::string& name : names)
      ASSERT_NE(std::find(Picker()->Queue().begin(), Picker()->Queue().end(), Up + name), Picker()->Queue().end())
          << name;
    KeyAndPump(vk::Escape);
    ASSERT_EQ(Picker(), nullptr);
  }
  // Waits for the end of the sending session and of the board program.
  void AwaitBatchEnd() {
    ASSERT_TRUE(RunNoting([&] { return Probe().TransferPrompts().Batch.Open; }, 120000))
        << App->StatusText() << "\n" << ReadWholeFile(Folder.File("board.log"));
    RunNoting([&] { return !Board.Running(); }, 10000);
  }
};

TEST_F(UploadFlowTest, TheBoardsRequestOpensThePickerAndTheQueueArrivesWhole) {
  WriteQueueFiles();
  CallProgramBoard("exec rz -q");
  if (HasFatalFailure()) return;
  ASSERT_TRUE(AwaitPicker()) << "rz's request did not open the picker";
  EXPECT_EQ(App->StatusText(), "BBS is ready to receive - pick a file to upload (Esc to cancel).");
  QueueAndCommit({"empty.dat", "cancan.bin", "big.bin"});
  AwaitBatchEnd();
  for (const char* name : {"empty.dat", "cancan.bin", "big.bin"}) {
    ASSERT_TRUE(fs::exists(BoardDir + name)) << name;
    EXPECT_TRUE(SameFiles(Up + name, BoardDir + name)) << name;
  }
  EXPECT_EQ(Probe().FilesUp(), 3);
  const std::string popup = PopupText();
  EXPECT_NE(popup.find("UPLOAD BATCH COMPLETE"), std::string::npos) << popup;
  EXPECT_NE(popup.find("Clear the upload queue?  Y/N"), std::string::npos) << popup;
  Type("y");
  Pump();
  EXPECT_FALSE(Probe().TransferPrompts().Batch.Open);
  EXPECT_EQ(App->StatusText(), "Upload queue cleared.");
}

TEST_F(UploadFlowTest, ABoardThatRefusesAFileSaysSoInTheBatchBox) {
  WriteQueueFiles();
  // A name the board cannot save under (a folder holds it): rz skips it.
  fs::create_directories(BoardDir + "cancan.bin");
  CallProgramBoard("exec rz -q");
  if (HasFatalFailure()) return;
  ASSERT_TRUE(AwaitPicker());
  QueueAndCommit({"empty.dat", "cancan.bin"});
  AwaitBatchEnd();
  EXPECT_TRUE(fs::is_directory(BoardDir + "cancan.bin"));
  EXPECT_TRUE(WasShown("BBS refused cancan.bin - already on the board, too big, or can't be saved there"))
      << SeenText();
  EXPECT_TRUE(SameFiles(Up + "empty.dat", BoardDir + "empty.dat"));
  const std::string popup = PopupText();
  EXPECT_NE(popup.find("BBS REFUSED CANCAN.BIN"), std::string::npos) << popup;
  EXPECT_NE(popup.find("Already on the board, or over its upload size limit"), std::string::npos) << popup;
  KeyAndPump(vk::Escape);  // No: the queue is kept
  EXPECT_EQ(App->StatusText(), "Upload queue kept.");
  EXPECT_EQ(PopupText().find("BBS REFUSED"), std::string::npos);
}

TEST_F(UploadFlowTest, DroppedFilesGoOutAtOnceAndFoldersAreSkipped) {
  ASSERT_TRUE(WriteWholeFile(Up + "one.txt", "first dropped file\n"));
  ASSERT_TRUE(WriteWholeFile(Up + "two words.bin", RandomBytes(70000, 5)));
  fs::create_directories(Up + "a folder");
  auto drop = [&](const std::vector<std::string>& paths) {
    platform::Event e;
    e.Kind = platform::EventKind::DropFiles;
    e.Paths = paths;
    App->Window().Post(e);
    RunNoting([] { return false; }, 30);
  };
  // Before any call there is nowhere to send to.
  Start();
  drop({Up + "one.txt"});
  EXPECT_EQ(App->StatusText(), "Connect first - nowhere to send a dropped file to yet.");
  App.reset();

  CallProgramBoard("exec rz -q");
  if (HasFatalFailure()) return;
  ASSERT_TRUE(AwaitPicker());
  KeyAndPump(vk::Escape);  // nothing picked: the request is left alone
  EXPECT_EQ(App->StatusText(), "Upload queue cleared.");
  drop({Up + "a folder"});
  EXPECT_EQ(App->StatusText(), "Nothing to upload - folders can't be dropped directly (drop the files inside instead).");
  // The board's relay is held while the files are dropped, so that no
  // progress of the transfer can replace the status before it is seen.
  ASSERT_EQ(kill(Board.Pid(), SIGSTOP), 0);
  drop({Up + "one.txt", Up + "a folder", Up + "two words.bin"});
  EXPECT_TRUE(WasShown("Sending 2 dropped files... (1 folder(s) skipped)")) << SeenText();
  ASSERT_EQ(kill(Board.Pid(), SIGCONT), 0);
  ASSERT_TRUE(RunNoting([&] { return Probe().FilesUp() == 2 && !Board.Running(); }, 60000))
      << App->StatusText() << "\n" << ReadWholeFile(Folder.File("board.log"));
  EXPECT_TRUE(SameFiles(Up + "one.txt", BoardDir + "one.txt"));
  EXPECT_TRUE(SameFiles(Up + "two words.bin", BoardDir + "two words.bin"));
}

TEST_F(UploadFlowTest, MessageUploadWarning) {
  for (const char* name : {"photo.jpg", "README", "notes.TXT"}) ASSERT_TRUE(WriteWholeFile(Up + name, name));
  LoopbackListener board;
  Start();
  auto peer = CallRawBoard(board);
  ASSERT_TRUE(peer);
  // Text that scrolled past the last 512 characters does not count.
  peer->Write("Saving your message to tempmsg.txt\r\n" + std::string(600, '.'));
  ASSERT_TRUE(RunUntil([&] { return Probe().RecentText().size() >= 512; }));
  KeyAndPump(vk::Letter('U'), true);
  ASSERT_TRUE(Picker());
  QueueAndCommit({"photo.jpg"});
  EXPECT_FALSE(Probe().TransferPrompts().MessageUpload.Open);
  EXPECT_EQ(App->StatusText(), "photo.jpg queued - sends once the BBS starts the upload");

  peer->Write("\r\nEnter your message (Zmodem upload to TEMPMSG.TXT)\r\n");
  ASSERT_TRUE(RunUntil([&] { return Probe().RecentText().find("TEMPMSG") != std::string::npos; }));
  KeyAndPump(vk::Letter('U'), true);
  ASSERT_TRUE(Picker());
  EXPECT_EQ(Picker()->Queue(), std::vector<std::string>{Up + "photo.jpg"}) << "the queue made before reappears";
  KeyAndPump(vk::Escape);
  ASSERT_TRUE(Probe().TransferPrompts().MessageUpload.Open);
  EXPECT_EQ(App->StatusText(), "This looks like a message upload - send a non-text file as the message? Y/N");
  std::string popup = PopupText();
  EXPECT_NE(popup.find("THIS LOOKS LIKE A MESSAGE UPLOAD"), std::string::npos) << popup;
  EXPECT_NE(popup.find("photo.jpg is not a text file."), std::string::npos) << popup;
  EXPECT_NE(popup.find("Y) Send it anyway    N) Pick another file"), std::string::npos) << popup;
  Type("n");
  Pump();
  ASSERT_TRUE(Picker()) << "N picks another file";
  EXPECT_TRUE(Picker()->Queue().empty());
  EXPECT_EQ(App->StatusText(), "Pick a text or ANSI file for the message (Esc to cancel).");

  // Text files pass; a third that is not text asks again, counting all.
  QueueAndCommit({"README", "notes.TXT"});
  EXPECT_FALSE(Probe().TransferPrompts().MessageUpload.Open);
  EXPECT_EQ(App->StatusText(), "2 files queued - sends once the BBS starts the upload");
  KeyAndPump(vk::Letter('U'), true);
  QueueAndCommit({"photo.jpg"});
  ASSERT_TRUE(Probe().TransferPrompts().MessageUpload.Open);
  EXPECT_NE(PopupText().find("Not all 3 files are text files."), std::string::npos);
  Type("y");
  Pump();
  EXPECT_EQ(App->StatusText(), "3 files queued - sends once the BBS starts the upload");
  EXPECT_EQ(Probe().Zmodem().UploadFileCount(), 3);
}

// A Zmodem receiver's request as a board sends it.
const std::string kZrinit = "rz\r**\x18" "B0100000023be50\r\n\x11";

TEST_F(UploadFlowTest, AnUploadQueuedForOneBoardNeverGoesToAnother) {
  ASSERT_TRUE(WriteWholeFile(Up + "for-a.txt", "meant for board A"));
  struct Row {
    const char* Name;
    bool BoardAAsks;  // A's receiver announced itself, and nothing was picked then
    bool QueueOnA;    // the file was queued during A's call
  };
  const Row rows[] = {{"queued on A, armed when A hung up", false, true},
                      {"A's receiver was waiting when it hung up", true, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    LoopbackListener boardA, boardB;
    Start();
    auto a = CallRawBoard(boardA);
    ASSERT_TRUE(a);
    if (row.BoardAAsks) {
      a->Write(kZrinit);
      ASSERT_TRUE(AwaitPicker());
      KeyAndPump(vk::Escape);
    }
    if (row.QueueOnA) {
      KeyAndPump(vk::Letter('U'), true);
      QueueAndCommit({"for-a.txt"});
      EXPECT_EQ(App->StatusText(), "for-a.txt queued - sends once the BBS starts the upload");
    }
    App->DisconnectCurrent();
    Pump();
    auto b = CallRawBoard(boardB);
    ASSERT_TRUE(b);
    if (!row.QueueOnA) {
      KeyAndPump(vk::Letter('U'), true);
      QueueAndCommit({"for-a.txt"});
    } else {
      b->Write(kZrinit);
    }
    // Nothing of a Zmodem offer reaches B unasked.
    std::string got;
    RunUntil([&] {
      got += ToString(b->ReadFor(5));
      return false;
    }, 1500);
    EXPECT_EQ(got.find('\x18'), std::string::npos) << HexText(ToBytes(got));
    // The list is kept: the next picker shows it.
    if (row.QueueOnA) {
      KeyAndPump(vk::Letter('U'), true);
      ASSERT_TRUE(Picker());
      EXPECT_EQ(Picker()->Queue(), std::vector<std::string>{Up + "for-a.txt"});
    }
    App.reset();
  }
}

TEST_F(UploadFlowTest, UploadsWithoutACallAreRefusedAsADownloadIs) {
  Start();
  Key(vk::Escape);  // the directory gives way to the blank online screen
  Pump();
  ASSERT_EQ(App->ScreenMode(), smOnline);
  for (char letter : {'U', 'K', 'A', 'Y'}) {
    SCOPED_TRACE(letter);
    Probe().Status() = "";
    KeyAndPump(vk::Letter(letter), true);
    EXPECT_EQ(App->ScreenMode(), smOnline) << "no picker";
    EXPECT_FALSE(Probe().TransferPrompts().AnyOpen()) << "no menu";
    EXPECT_EQ(App->StatusText(), "");
  }
}

// A batch can end while the user is on another screen (a dropped file sent
// from the directory): its question waits for the online screen, where it
// is drawn, and takes no key meanwhile.
TEST_F(UploadFlowTest, TheBatchQuestionWaitsForTheOnlineScreen) {
  WritePhonebook({"Alpha|a.example|23", "Bravo|b.example|23"});
  Start();
  ASSERT_EQ(App->ScreenMode(), smDirectory);
  Probe().TransferPrompts().Batch.Open = true;
  const int before = App->Directory().Selected();
  Key(vk::Down);
  Type("n");
  Pump();
  EXPECT_EQ(App->Directory().Selected(), before + 1) << "the directory took the key";
  EXPECT_TRUE(Probe().TransferPrompts().Batch.Open);
  Key(vk::Escape);  // the directory gives way to the online screen
  Pump();
  ASSERT_EQ(App->ScreenMode(), smOnline);
  EXPECT_NE(PopupText().find("UPLOAD BATCH COMPLETE"), std::string::npos);
  Type("n");
  Pump();
  EXPECT_FALSE(Probe().TransferPrompts().Batch.Open);
  EXPECT_EQ(App->StatusText(), "Upload queue kept.");
}
