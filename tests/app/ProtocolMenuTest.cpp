// The X/Ymodem protocol menus through the whole program: each UPLOAD choice
// to rx or rb on the board's end, each DOWNLOAD choice from sx or sb, a
// Ymodem-G receiver that answers as Synchronet's sexyz does, and the menus'
// own texts, keys and refusals.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "tests/app/TransferBoardFixture.h"

namespace fs = std::filesystem;
namespace vk = platform::vk;
using namespace testsupport;

namespace {

// Random bytes that do not end in SUB, so Xmodem's padding is not mistaken
// for the file's own tail.
std::string Content(size_t size, unsigned seed) {
  std::string s(size, '\0');
  std::mt19937 rng(seed);
  for (char& c : s) c = char(rng());
  if (!s.empty() && s.back() == '\x1a') s.back() = 'x';
  return s;
}

// The only file in a folder.
std::string OnlyFile(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(folder, ec)) files.push_back(e.path().string());
  return files.size() == 1 ? files[0] : "";
}

}  // namespace

class ProtocolMenuTest : public TransferBoardFixture {
 protected:
  // With a call open: Alt+K, the file picked, the upload menu open.
  void PickForUpload(const std::string& name) {
    KeyAndPump(vk::Letter('K'), true);
    ASSERT_TRUE(AwaitPicker());
    SelectInPicker(name);
    KeyAndPump(vk::Return);
    ASSERT_TRUE(Probe().TransferPrompts().UploadMenu.Open);
    EXPECT_EQ(App->StatusText(), "Select upload protocol...");
  }
  void AwaitTransferEnd() {
    ASSERT_TRUE(RunNoting([&] { return Probe().XYmodem().Mode == TXYmodemEngine::xmIdle && !Board.Running(); }, 60000))
        << App->StatusText() << "\n" << ReadWholeFile(Folder.File("board.log"));
  }
};

TEST_F(ProtocolMenuTest, EachUploadChoiceReachesItsReceiver) {
  struct Row {
    const char* Name;
    uint16_t Key;
    const char* Protocol;
    const char* Receiver;  // started on the board once the user types a key
    const char* Stored;
  };
  const Row rows[] = {
      {"Enter", vk::Return, "Xmodem-CRC", "rx -q -c got.bin", "got.bin"},
      {"1) Xmodem", vk::Digit(1), "Xmodem-CRC", "rx -q -c got.bin", "got.bin"},
      {"2) Xmodem-1K", vk::Digit(2), "Xmodem-1K", "rx -q -c got.bin", "got.bin"},
      {"3) Ymodem", vk::Digit(3), "Ymodem", "rb -q", "up.bin"},
      {"4) Ymodem-G to a receiver that asks for acknowledged blocks", vk::Digit(4), "Ymodem-G", "rb -q", "up.bin"},
  };
  // A whole number of 1024-byte blocks: Xmodem adds no padding.
  ASSERT_TRUE(WriteWholeFile(Up + "up.bin", Content(5 * 1024, 9)));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    fs::remove_all(BoardDir);
    fs::create_directories(BoardDir);
    CallProgramBoard(std::string("dd bs=1 count=1 of=/dev/null 2>/dev/null; exec ") + row.Receiver);
    if (HasFatalFailure()) return;
    PickForUpload("up.bin");
    if (HasFatalFailure()) return;
    MenuAnswer(row.Key);
    EXPECT_FALSE(Probe().TransferPrompts().UploadMenu.Open);
    EXPECT_EQ(App->StatusText(), std::string("Sending up.bin (") + row.Protocol + "), waiting for receiver...");
    Type("u");  // the board's upload command starts its receiver
    AwaitTransferEnd();
    // The completion's status text may give way to the batch's end or the
    // call's within one turn of the loop; the count and the file tell.
    EXPECT_TRUE(SameFiles(Up + "up.bin", BoardDir + row.Stored));
    EXPECT_EQ(Probe().FilesUp(), 1) << SeenText();
    App.reset();
    Board.Stop();
    Seen.clear();
  }
}

TEST_F(ProtocolMenuTest, EachDownloadChoiceTakesItsSendersFile) {
  struct Row {
    const char* Name;
    uint16_t Key;
    const char* Status;
    const char* Sender;
  };
  const Row rows[] = {
      {"Enter", vk::Return, "Waiting for Xmodem/Ymodem sender...", "sx -q up.bin"},
      {"1) Auto-detect, a batch sender", vk::Digit(1), "Waiting for Xmodem/Ymodem sender...", "sb -q up.bin"},
      {"2) Xmodem", vk::Digit(2), "Waiting for Xmodem sender...", "sx -q up.bin"},
      {"3) Xmodem-1K", vk::Digit(3), "Waiting for Xmodem-1K sender...", "sx -q -k up.bin"},
      {"4) Ymodem", vk::Digit(4), "Waiting for Ymodem sender...", "sb -q up.bin"},
      {"5) Ymodem-G", vk::Digit(5), "Waiting for Ymodem-G sender...", "sb -q -k up.bin"},
  };
  ASSERT_TRUE(WriteWholeFile(BoardDir + "up.bin", Content(7000, 4)));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    fs::remove_all(Down);
    // The board's sender starts once the user types "d", so the status the
    // answer set is still there to read.
    ASSERT_TRUE(WriteWholeFile(BoardDir + "gate.sh",
                               "while [ \"$(dd bs=1 count=1 2>/dev/null)\" != d ]; do :; done\nexec " +
                                   std::string(row.Sender) + "\n"));
    CallProgramBoard("exec sh gate.sh");
    if (HasFatalFailure()) return;
    KeyAndPump(vk::Letter('Y'), true);
    ASSERT_TRUE(Probe().TransferPrompts().DownloadMenu) << App->StatusText();
    MenuAnswer(row.Key);
    EXPECT_FALSE(Probe().TransferPrompts().DownloadMenu);
    EXPECT_EQ(App->StatusText(), row.Status);
    Type("d");
    AwaitTransferEnd();
    EXPECT_EQ(Probe().FilesDown(), 1) << SeenText();
    const std::string got = OnlyFile(Down);
    EXPECT_TRUE(SameFiles(BoardDir + "up.bin", got)) << got;
    App.reset();
    Board.Stop();
    Seen.clear();
  }
}

namespace {

// The receiving end of a Ymodem-G upload as Synchronet's sexyz plays it:
// "G" asks for a header, the next "G" acknowledges the header and asks for
// the data in one, an EOT is acknowledged, and the end-of-batch header gets
// no answer at all. Stepped from the test's loop, never blocking it.
class TSexyzLikeReceiver {
 public:
  explicit TSexyzLikeReceiver(LoopbackPeer& peer) : FPeer(peer) {}

  void Step() {
    const Bytes got = FPeer.ReadFor(2);
    FIn.insert(FIn.end(), got.begin(), got.end());
    for (bool progress = true; progress;) {
      progress = false;
      switch (FState) {
        case kAskHeader:
          FPeer.Write("G");
          FState = kHeader;
          progress = true;
          break;
        case kHeader:
          if (FIn.size() < 133) break;
          if (FIn[0] != 0x01 || FIn[1] != 0 || FIn[2] != 0xFF) {
            Error = "not a header block";
            FState = kDone;
            break;
          }
          if (FIn[3] == 0) {
            EndHeaders++;  // the end of the batch: not answered
            FIn.erase(FIn.begin(), FIn.begin() + 133);
            FState = kDone;
            break;
          }
          Name = reinterpret_cast<const char*>(&FIn[3]);
          Size = std::stoll(reinterpret_cast<const char*>(&FIn[3 + Name.size() + 1]));
          FIn.erase(FIn.begin(), FIn.begin() + 133);
          FPeer.Write("G");  // acknowledges the header and asks for the data
          FState = kData;
          progress = true;
          break;
        case kData:
          if (FIn.empty()) break;
          if (FIn[0] == 0x04) {  // EOT
            FIn.erase(FIn.begin());
            Data.resize(size_t(Size));
            FPeer.Write("\x06");
            FState = kAskHeader;
            progress = true;
            break;
          }
          {
            const size_t block = FIn[0] == 0x02 ? 1029 : 133;
            if (FIn.size() < block) break;
            Data.append(reinterpret_cast<const char*>(&FIn[3]), block - 5);
            FIn.erase(FIn.begin(), FIn.begin() + ptrdiff_t(block));
            progress = true;
          }
          break;
        case kDone:
          if (!FIn.empty()) Extra += ToString(FIn);
          FIn.clear();
          break;
      }
    }
  }
  bool Done() const { return FState == kDone; }

  std::string Name, Data, Error, Extra;
  long long Size = 0;
  int EndHeaders = 0;

 private:
  enum { kAskHeader, kHeader, kData, kDone } FState = kAskHeader;
  LoopbackPeer& FPeer;
  Bytes FIn;
};

}  // namespace

TEST_F(ProtocolMenuTest, YmodemGToAReceiverThatAnswersAsSexyzDoes) {
  const std::string content = Content(5000, 17);
  ASSERT_TRUE(WriteWholeFile(Up + "up.bin", content));
  LoopbackListener board;
  Start();
  auto peer = CallRawBoard(board);
  ASSERT_TRUE(peer);
  PickForUpload("up.bin");
  MenuAnswer(vk::Digit(4));
  TSexyzLikeReceiver receiver(*peer);
  ASSERT_TRUE(RunUntil([&] {
    receiver.Step();
    return receiver.Done() && Probe().XYmodem().Mode == TXYmodemEngine::xmIdle;
  }, 30000)) << App->StatusText() << " " << receiver.Error;
  EXPECT_EQ(receiver.Error, "");
  EXPECT_EQ(receiver.Name, "up.bin");
  EXPECT_EQ(receiver.Data, content);
  EXPECT_EQ(receiver.EndHeaders, 1);
  EXPECT_EQ(App->StatusText(), "Transfer complete: up.bin") << "never \"Transfer failed\"";
  EXPECT_EQ(Probe().FilesUp(), 1);
  // Nothing more reaches the board: no second end header, no cancel.
  RunUntil([&] {
    receiver.Step();
    return false;
  }, 500);
  EXPECT_EQ(receiver.Extra, "");
}

TEST_F(ProtocolMenuTest, MenusTheirKeysAndRefusals) {
  const std::string longName = "a-file-name-longer-than-thirty-characters.bin";
  ASSERT_TRUE(WriteWholeFile(Up + longName, "x"));
  LoopbackListener board;
  Start();
  auto peer = CallRawBoard(board);
  ASSERT_TRUE(peer);

  KeyAndPump(vk::Letter('Y'), true);
  std::string popup = PopupText();
  for (const char* line : {"DOWNLOAD PROTOCOL", "1) Auto-detect (recommended)", "2) Xmodem", "3) Xmodem-1K",
                           "4) Ymodem", "5) Ymodem-G", "Esc: Cancel"})
    EXPECT_NE(popup.find(line), std::string::npos) << line << "\n" << popup;
  // 80 x 25: inner width 32, nine rows from row 8; lines centred.
  EXPECT_EQ(PopupRow(10).substr(26, 28), "1) Auto-detect (recommended)");
  KeyAndPump(uint16_t(vk::Numpad0 + 2));  // the keypad does not answer
  KeyAndPump(vk::Letter('X'), true);       // nor does any other key
  EXPECT_TRUE(Probe().TransferPrompts().DownloadMenu);
  EXPECT_TRUE(App->Running());
  KeyAndPump(vk::Escape);
  EXPECT_FALSE(Probe().TransferPrompts().DownloadMenu);
  EXPECT_EQ(App->StatusText(), "Download cancelled.");

  PickForUpload(longName);
  popup = PopupText();
  for (const char* line : {"UPLOAD PROTOCOL", "1) Xmodem", "2) Xmodem-1K", "3) Ymodem", "4) Ymodem-G"})
    EXPECT_NE(popup.find(line), std::string::npos) << line << "\n" << popup;
  KeyAndPump(vk::Escape);
  EXPECT_EQ(App->StatusText(), "Upload cancelled.");
  EXPECT_EQ(Probe().TransferPrompts().UploadMenu.File, "");
  EXPECT_EQ(Probe().XYmodem().Mode, TXYmodemEngine::xmIdle);

  PickForUpload(longName);
  MenuAnswer(vk::Digit(3));
  EXPECT_EQ(App->StatusText(), "Sending ...-than-thirty-characters.bin (Ymodem), waiting for receiver...");
  // The digit answered the menu; it is not typed to the board.
  EXPECT_EQ(ToString(peer->ReadFor(300)), "");
  // A transfer waiting for its receiver refuses another start.
  for (char letter : {'Y', 'K'}) {
    KeyAndPump(vk::Letter(letter), true);
    EXPECT_EQ(App->StatusText(), "An Xmodem/Ymodem transfer is already in progress.") << letter;
    EXPECT_FALSE(Probe().TransferPrompts().AnyOpen());
    EXPECT_EQ(Picker(), nullptr);
  }
}
