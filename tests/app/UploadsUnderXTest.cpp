// Uploads in the real program under a virtual X server, driven with real
// keys (xdotool): boards that are lrzsz's receivers on the far end of a raw
// call (run by socat in a folder of their own), two calls one after the
// other, and what each board received.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <random>
#include <string>

#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class UploadsUnderXTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    for (const char* program : {"socat", "rz", "rx"})
      ASSERT_FALSE(FindProgram(program).empty()) << program << " (packages socat, lrzsz) is needed for this test";
    fs::create_directories(Dir.File("up"));
  }
  void TearDown() override {
    for (ChildProcess& b : Boards) b.Stop();
    EndToEndTest::TearDown();
  }

  // A board whose end of a raw call is Command, run in Folder when the call
  // is accepted; its port.
  uint16_t ProgramBoard(const std::string& folder, const std::string& command) {
    fs::create_directories(folder);
    const uint16_t port = FreeLoopbackPort();
    ChildProcess::Options options;
    options.WorkingDir = folder;
    options.OutputFile = folder + "/board.log";
    EXPECT_TRUE(Boards.emplace_back().Start(
        {"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr", "SYSTEM:" + command}, options));
    EXPECT_TRUE(WaitForPort(port, 30000)) << "socat does not listen";
    return port;
  }

  void WriteBoards(const std::vector<std::pair<std::string, uint16_t>>& boards) {
    TPhonebook book(Dir.File("korvan.ini"));
    for (const auto& [name, port] : boards) {
      TPhonebookEntryPtr e = book.Add();
      e->Name = name;
      e->Host = "127.0.0.1";
      e->Port = port;
      e->UseRaw = true;
    }
    ASSERT_TRUE(book.SaveToFile());
  }

  // Keys sent once the screen Mode is painted after Mark.
  bool OnScreen(size_t mark, int mode) {
    return LogHasSince(mark, "Paint: screen mode " + std::to_string(mode), 30000);
  }

  // Hangs up and calls the directory's next board. Answer is typed first:
  // the answer to a question the upload may have left open, which holds
  // every key until it is answered.
  void HangUpAndCallTheNextBoard(const std::string& answer = "") {
    Keys("alt+h");
    const size_t mark = LogMark();
    ASSERT_TRUE(WaitFor(
        [&] {
          if (!answer.empty()) Keys(answer);
          Keys("alt+d");
          return LogHasSince(mark, "Paint: screen mode 0", 3000);
        },
        30000))
        << KeyAndCallLines(LogSince(mark));
    Keys("Down Return");
  }

  static std::string RandomBytes(size_t n, unsigned seed) {
    std::string data(n, '\0');
    std::mt19937 rng(seed);
    for (char& c : data) c = char(rng());
    return data;
  }

  std::deque<ChildProcess> Boards;
};

const std::string kOpened = "Zmodem: BBS is waiting for an upload - opening the file picker";

}  // namespace

// A board waiting for an upload opens the picker; the next board, called
// at once, opens it again. A file with a UTF-8 name is shown in CP437 and
// reaches each board under its own name.
TEST_F(UploadsUnderXTest, EachBoardThatWaitsForAnUploadOpensThePicker) {
  const std::string name = "\xc3\x9cn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9.txt";  // Ünïcödé.txt
  const std::string shown = "\x9an\x8b" "c\x94" "d\x82.txt";
  const std::string data = RandomBytes(20000, 3);
  ASSERT_TRUE(WriteWholeFile(Dir.File("up/" + name), data));
  const std::string first = Dir.File("first"), second = Dir.File("second");
  WriteBoards({{"First", ProgramBoard(first, "rz")}, {"Second", ProgramBoard(second, "rz")}});
  WriteConfig("UploadDir=up\n");
  Launch();

  CallSelectedBoard();
  for (const std::string& board : {first, second}) {
    SCOPED_TRACE(board);
    const size_t mark = LogMark();
    ASSERT_TRUE(LogHasSince(mark, kOpened, 60000)) << KeyAndCallLines(LogSince(mark));
    ASSERT_TRUE(OnScreen(mark, 7)) << KeyAndCallLines(LogSince(mark));
    Keys("Down Return Escape");  // the file queued, the queue handed over
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(board + "/" + name) == data; }, 60000))
        << ReadWholeFile(board + "/board.log") << KeyAndCallLines(LogSince(mark));
    const std::string shownLines = LinesWith(LinesWith(LogSince(mark), {"Paint: bottom line"}), {name, shown});
    EXPECT_NE(shownLines.find(shown), std::string::npos) << LinesWith(LogSince(mark), {"Paint: bottom line"});
    EXPECT_EQ(shownLines.find(name), std::string::npos) << shownLines;
    // "Clear the upload queue?" Yes: the next board starts with none.
    if (board == first) HangUpAndCallTheNextBoard("y");
  }
}

// Hanging up while an Xmodem upload waits for its receiver leaves nothing
// of it to the next call: an upload there, called at once, arrives whole.
TEST_F(UploadsUnderXTest, AnUploadAfterOneLeftWaitingArrivesWhole) {
  const std::string data = RandomBytes(100 * 128, 10);  // whole blocks: rx keeps no padding
  ASSERT_TRUE(WriteWholeFile(Dir.File("up/data.bin"), data));
  LoopbackListener silent;  // never starts receiving
  const std::string receiver = Dir.File("receiver");
  WriteBoards({{"Silent", silent.Port()}, {"Receiver", ProgramBoard(receiver, "rx -c received.bin")}});
  WriteConfig("UploadDir=up\n");
  Launch();

  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = silent.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  for (const bool waiting : {true, false}) {
    SCOPED_TRACE(waiting ? "the upload left waiting" : "the upload in the next call");
    size_t mark = LogMark();
    Keys("alt+k");
    ASSERT_TRUE(OnScreen(mark, 7)) << KeyAndCallLines(LogSince(mark));
    mark = LogMark();
    Keys("Down Return");
    ASSERT_TRUE(OnScreen(mark, 1)) << KeyAndCallLines(LogSince(mark));
    Keys("Return");  // Xmodem-CRC
    const std::string sending = "Paint: bottom line \"Sending data.bin (Xmodem-CRC), waiting for receiver...\"";
    ASSERT_TRUE(LogHasSince(mark, sending, 30000)) << KeyAndCallLines(LogSince(mark));
    if (!waiting) break;
    HangUpAndCallTheNextBoard();
    ASSERT_TRUE(WaitFor([&] { return Title().rfind("KORVAN - Receiver - 00:", 0) == 0; }, 60000))
        << Title() << "\n" << KeyAndCallLines(Log());
  }
  EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(receiver + "/received.bin") == data; }, 120000))
      << ReadWholeFile(receiver + "/board.log") << LinesWith(Log(), {"XYmodem", "Paint: bottom", "Telnet"});
}
