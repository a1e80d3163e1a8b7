// The X/Ymodem engine driven byte by byte with a hand-made peer and an
// injected clock: start requests, retries, timeouts (also inside a block and
// while sending), aborts with their reasons, names and sizes from headers,
// and the engine talking to itself in every protocol.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/uCrc.h"
#include "net/uXYmodem.h"
#include "tests/support/ChildProcess.h"

namespace fs = std::filesystem;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

namespace {

enum : uint8_t { SOH = 1, STX = 2, EOT = 4, ACK = 6, NAK = 0x15, CAN = 0x18, SUB = 0x1A };

// One block as a sender puts it on the wire; short data is padded with SUB
// to 128 bytes, or to 1024 when more than 128 are given or asked for.
std::string Frame(uint8_t number, std::string data, bool crc, size_t minSize = 128) {
  size_t size = data.size() > 128 || minSize > 128 ? 1024 : 128;
  data.resize(size, static_cast<char>(SUB));
  std::string f;
  f += static_cast<char>(size == 1024 ? STX : SOH);
  f += static_cast<char>(number);
  f += static_cast<char>(255 - number);
  f += data;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data());
  if (crc) {
    uint16_t c = Crc16Block(p, size);
    f += static_cast<char>(c >> 8);
    f += static_cast<char>(c & 0xFF);
  } else {
    f += static_cast<char>(XYChecksum(p, size));
  }
  return f;
}

std::string Header(const std::string& name, const std::string& size) {
  std::string d = name;
  d += '\0';
  d += size;
  d.resize(128, '\0');
  return Frame(0, d, true);
}

class XYmodemScripted : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Temp.Path().empty());
    Dir = Temp.Path() + "down/";
    Engine = MakeEngine(Dir, Sent, Events);
  }

  std::unique_ptr<TXYmodemEngine> MakeEngine(const std::string& dir, std::string& sent,
                                             std::vector<std::string>& events) {
    auto e = std::make_unique<TXYmodemEngine>(dir);
    e->Clock = [this] { return Now; };
    e->OnSend = [&sent](const uint8_t* d, int n) { sent.append(reinterpret_cast<const char*>(d), n); };
    e->OnFileDone = [&events](const std::string& name, bool ok) {
      events.push_back("done " + name + (ok ? " ok" : " failed"));
    };
    e->OnBatchDone = [&events] { events.push_back("batch"); };
    return e;
  }

  // Feeds bytes; returns those passed on to the screen.
  std::string Feed(const std::string& bytes) {
    std::string passed;
    for (unsigned char c : bytes)
      if (Engine->ProcessByte(c)) passed += static_cast<char>(c);
    return passed;
  }
  std::string TakeSent() {
    std::string s;
    s.swap(Sent);
    return s;
  }
  void Advance(uint64_t ms) {
    Now += ms;
    Engine->Tick();
  }
  std::string UploadFile(const std::string& name, const std::string& content) {
    std::string path = Temp.File(name);
    EXPECT_TRUE(WriteWholeFile(path, content));
    Engine->AddSendFile(path);
    return path;
  }

  testsupport::TempDir Temp;
  std::string Dir;
  uint64_t Now = 1000000;
  std::string Sent;
  std::vector<std::string> Events;
  std::unique_ptr<TXYmodemEngine> Engine;
};

const std::string kCancel = "\x18\x18\x18";

TEST_F(XYmodemScripted, StartRequestFollowsTheProtocol) {
  const struct {
    int protocol;
    char expected;
  } rows[] = {{xpAuto, 'C'}, {xpXmodem, NAK}, {xpXmodemCrc, 'C'}, {xpXmodem1K, 'C'},
              {xpYmodem, 'C'}, {xpYmodemG, 'G'}};
  for (auto row : rows) {
    Engine->StartReceive(row.protocol, "f.bin");
    EXPECT_EQ(TakeSent(), std::string(1, row.expected)) << XYProtocolName(row.protocol);
  }
  EXPECT_EQ(XYProtocolName(xpAuto), "");
  EXPECT_EQ(XYProtocolName(xpXmodem1K), "Xmodem-1K");
}

TEST_F(XYmodemScripted, UnansweredStartFallsBackToChecksumThenGivesUp) {
  Engine->StartReceive(xpAuto, "f.bin");
  EXPECT_EQ(Feed("Board text\r\n"), "Board text\r\n");  // still shown until the first block
  TakeSent();
  std::string pokes;
  for (int i = 0; i < 20; ++i) {
    Advance(2999);
    EXPECT_EQ(TakeSent(), "") << i;
    Advance(1);
    pokes += TakeSent();
  }
  EXPECT_EQ(pokes, std::string(10, 'C') + std::string(10, NAK));
  EXPECT_FALSE(Engine->UseCrc);
  Advance(3000);
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  EXPECT_EQ(Engine->LastAbortReason, "No response from sender - download timed out");
  EXPECT_EQ(Events, std::vector<std::string>{"done  failed"});
}

TEST_F(XYmodemScripted, SenderStoppingInsideABlockIsAskedAgainThenGivenUp) {
  Engine->StartReceive(xpXmodemCrc, "f.bin");
  Feed(Frame(1, "first", true));
  TakeSent();
  Feed(Frame(2, "second", true).substr(0, 60));  // the sender stops mid-block
  Advance(500);  // the application's tick sees the block grow: activity
  EXPECT_EQ(TakeSent(), "");
  Advance(9999);
  EXPECT_EQ(TakeSent(), "");
  Advance(1);
  EXPECT_EQ(TakeSent(), std::string(1, NAK));
  // A whole block after the NAK is taken as usual.
  Feed(Frame(2, "second", true));
  EXPECT_EQ(TakeSent(), std::string(1, ACK));
  // Silence again: 20 NAKs ten seconds apart, then the end, with the data
  // received so far kept on disk.
  Feed(Frame(3, "third", true).substr(0, 100));
  int naks = 0, ticks = 0;
  while (Engine->Mode != TXYmodemEngine::xmIdle && ticks < 100) {
    Advance(10000);
    ++ticks;
    if (Engine->Mode != TXYmodemEngine::xmIdle) naks += TakeSent() == std::string(1, NAK);
  }
  EXPECT_EQ(naks, 20);
  EXPECT_EQ(ticks, 22);  // the first tick only sees the part block's bytes
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "No response from sender - download timed out");
  EXPECT_EQ(ReadWholeFile(Dir + "f.bin").substr(0, 6), std::string("first\x1A", 6));
  EXPECT_EQ(ReadWholeFile(Dir + "f.bin").size(), 256u);
  EXPECT_EQ(Events, std::vector<std::string>{"done f.bin failed"});
}

TEST_F(XYmodemScripted, LongDownloadIsNotTimedOutWhileBlocksArrive) {
  Engine->StartReceive(xpXmodem1K, "long.bin");
  for (int n = 1; n <= 100; ++n) {
    Advance(5000);
    Feed(Frame(static_cast<uint8_t>(n), std::string(1024, 'a'), true));
  }
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmReceiving);
  EXPECT_EQ(Engine->ErrorCount, 0);
}

TEST_F(XYmodemScripted, BadBlocksAreRefusedTenTimesThenTheTransferEnds) {
  const struct {
    const char* label;
    std::string bad;
  } rows[] = {
      {"wrong CRC", [] { std::string f = Frame(1, "x", true); f.back() ^= 1; return f; }()},
      {"wrong complement", [] { std::string f = Frame(1, "x", true); f[2] = 0; return f; }()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    Events.clear();
    Engine->StartReceive(xpXmodemCrc, "f.bin");
    TakeSent();
    for (int i = 0; i < 10; ++i) Feed(row.bad);
    EXPECT_EQ(TakeSent(), std::string(10, NAK));
    EXPECT_EQ(Engine->ErrorCount, 10);
    Feed(row.bad);
    EXPECT_EQ(TakeSent(), kCancel);
    EXPECT_EQ(Engine->LastAbortReason, "Too many block errors");
    EXPECT_EQ(Events, std::vector<std::string>{"done  failed"});
  }
}

TEST_F(XYmodemScripted, RepeatedBlockIsAcknowledgedNotWrittenAndGapsAbort) {
  Engine->StartReceive(xpXmodem, "f.bin");
  TakeSent();
  Feed(Frame(1, "one", false) + Frame(1, "one", false) + Frame(2, "two", false));
  EXPECT_EQ(TakeSent(), std::string(3, ACK));
  Feed(Frame(4, "four", false));
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "Block sequence error (expected 3, got 4)");
  EXPECT_EQ(ReadWholeFile(Dir + "f.bin").size(), 256u);
}

TEST_F(XYmodemScripted, TwoCancelsBetweenBlocksEndTheDownload) {
  Engine->StartReceive(xpXmodemCrc, "f.bin");
  Feed(Frame(1, "one", true));
  Feed("\x18x\x18");  // not in a row: ignored
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmReceiving);
  Feed("\x18\x18");
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  EXPECT_EQ(Engine->LastAbortReason, "Transfer cancelled by remote");
}

TEST_F(XYmodemScripted, XmodemPaddingIsTrimmedAndProtocolFollowsTheBlocks) {
  std::string content(300, 'k');
  Engine->StartReceive(xpXmodemCrc, "");
  Feed(Frame(1, content.substr(0, 128), true) + Frame(2, content.substr(128, 128), true) +
       Frame(3, content.substr(256), true) + std::string(1, EOT));
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  ASSERT_EQ(Events.size(), 1u);
  std::string name = Events[0].substr(5, Events[0].size() - 8);
  EXPECT_EQ(name.substr(0, 7), "XMODEM_");
  EXPECT_EQ(name.size(), std::string("XMODEM_yyyymmdd_hhnnss.bin").size());
  EXPECT_EQ(ReadWholeFile(Dir + name), content);
  EXPECT_EQ(Engine->Protocol, xpXmodemCrc);

  Engine->StartReceive(xpXmodemCrc, "k.bin");
  Feed(Frame(1, std::string(1024, 'k'), true));
  EXPECT_EQ(Engine->Protocol, xpXmodem1K);
}

TEST_F(XYmodemScripted, EmptyXmodemFileIsStillAFile) {
  Engine->StartReceive(xpXmodemCrc, "empty.bin");
  Feed(std::string(1, EOT));
  EXPECT_TRUE(fs::exists(Dir + "empty.bin"));
  EXPECT_EQ(fs::file_size(Dir + "empty.bin"), 0u);
  EXPECT_EQ(Events, std::vector<std::string>{"done empty.bin ok"});
}

TEST_F(XYmodemScripted, YmodemHeaderNamesAndSizesTheFile) {
  Engine->StartReceive(xpAuto, "");
  TakeSent();
  Feed(Header("report.txt", "1000 14571234567 100644"));
  EXPECT_EQ(TakeSent(), std::string(1, ACK) + "C");
  EXPECT_EQ(Engine->Protocol, xpYmodem);
  for (int n = 1; n <= 8; ++n) Feed(Frame(static_cast<uint8_t>(n), std::string(128, 'r'), true));
  Feed(std::string(1, EOT));
  EXPECT_EQ(TakeSent(), std::string(8, ACK) + std::string(1, ACK) + "C");
  EXPECT_EQ(ReadWholeFile(Dir + "report.txt"), std::string(1000, 'r'));
  Feed(Header("", ""));
  EXPECT_EQ(TakeSent(), std::string(1, ACK));
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  EXPECT_EQ(Events, (std::vector<std::string>{"done report.txt ok", "done  ok"}));
}

TEST_F(XYmodemScripted, HeaderSizeThatIsNotASmallNumberCountsAsUnknown) {
  const struct {
    const char* label;
    std::string size;
  } rows[] = {{"twenty digits", "99999999999999999999"}, {"letters", "12abc"}, {"empty", ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    fs::remove(Dir + "s.bin");
    Engine->StartReceive(xpYmodem, "");
    Feed(Header("s.bin", row.size) + Frame(1, "data", true) + std::string(1, EOT));
    EXPECT_EQ(ReadWholeFile(Dir + "s.bin"), "data");  // padding trimmed: size unknown
  }
}

TEST_F(XYmodemScripted, HeaderNamesThatAreNotPlainAreRefused) {
  const char* names[] = {"../evil.txt", "/tmp/evil.txt", "sub/evil.txt", "..\\evil.txt",
                         "C:evil.txt", "evil\x1b[2J.txt", ".."};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    Events.clear();
    Engine->StartReceive(xpYmodem, "");
    TakeSent();
    Feed(Header(name, "4"));
    EXPECT_EQ(TakeSent(), kCancel);
    EXPECT_EQ(Engine->LastAbortReason, "Refused file name from sender");
    EXPECT_EQ(Events, std::vector<std::string>{"done  failed"});
  }
  EXPECT_FALSE(fs::exists(Temp.File("evil.txt")));
  EXPECT_FALSE(fs::exists("/tmp/evil.txt"));
  EXPECT_TRUE(!fs::exists(Dir) || fs::is_empty(Dir));
}

TEST_F(XYmodemScripted, HeaderNamesNeverReplaceAFile) {
  Engine->IsProgramPath = [](const std::string& path) { return fs::path(path).filename() == "settings.ini"; };
  fs::create_directories(Dir);
  ASSERT_TRUE(WriteWholeFile(Dir + "settings.ini", "keep"));
  ASSERT_TRUE(WriteWholeFile(Dir + "notes.txt", "mine"));
  Engine->StartReceive(xpYmodem, "");
  TakeSent();
  Feed(Header("settings.ini", "4"));
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "Refused file name from sender");
  Engine->StartReceive(xpYmodem, "");
  Feed(Header("notes.txt", "4") + Frame(1, "data", true) + std::string(1, EOT));
  EXPECT_EQ(ReadWholeFile(Dir + "notes_2.txt"), "data");
  EXPECT_EQ(ReadWholeFile(Dir + "notes.txt"), "mine");
  EXPECT_EQ(ReadWholeFile(Dir + "settings.ini"), "keep");
}

TEST_F(XYmodemScripted, FileThatCannotBeCreatedFailsTheTransfer) {
  ASSERT_TRUE(WriteWholeFile(Temp.File("plainfile"), "x"));
  Engine->SetDownloadDir(Temp.File("plainfile"));  // a file where the folder should be
  Engine->StartReceive(xpXmodemCrc, "f.bin");
  TakeSent();
  Feed(Frame(1, "one", true));
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  EXPECT_EQ(Events, std::vector<std::string>{"done f.bin failed"});
}

// ------------------------------------------------------------------ sending

TEST_F(XYmodemScripted, BlockFormFollowsTheReceiversStartCharacter) {
  const struct {
    int protocol;
    char start;
    size_t frameLen;
  } rows[] = {
      {xpXmodem, NAK, 132},   {xpXmodem, 'C', 133},    {xpXmodemCrc, NAK, 132},
      {xpXmodemCrc, 'C', 133}, {xpXmodem1K, NAK, 1028}, {xpXmodem1K, 'C', 1029},
      {xpYmodem, NAK, 133},   {xpYmodem, 'C', 133},
  };
  for (auto row : rows) {
    SCOPED_TRACE(XYProtocolName(row.protocol) + " start " + std::to_string(row.start));
    UploadFile("up.bin", std::string(2000, 'u'));
    Engine->StartSend(row.protocol);
    EXPECT_EQ(Feed(std::string(1, row.start)), "");
    std::string frame = TakeSent();
    ASSERT_EQ(frame.size(), row.frameLen);
    EXPECT_EQ(static_cast<uint8_t>(frame[1]), row.protocol >= xpYmodem ? 0 : 1);
    std::string expected = row.protocol >= xpYmodem
                               ? Header("up.bin", "2000")
                               : Frame(1, frame.substr(3, frame.size() > 1000 ? 1024 : 128),
                                       row.frameLen % 2 == 1);
    EXPECT_EQ(frame, expected);
    Engine->Abort("test over");
    TakeSent();
  }
}

TEST_F(XYmodemScripted, XmodemUploadOf300Bytes) {
  std::string content;
  for (int i = 0; i < 300; ++i) content += static_cast<char>(i * 7);
  UploadFile("three.bin", content);
  Engine->StartSend(xpXmodemCrc);
  EXPECT_TRUE(Engine->IsWaitingForReceiver());
  EXPECT_EQ(Feed("login: "), "login: ");  // board text while waiting stays visible
  Feed("C");
  EXPECT_FALSE(Engine->IsWaitingForReceiver());
  std::string got = TakeSent();
  Feed(std::string(1, ACK));
  got += TakeSent();
  Feed(std::string(1, ACK));
  got += TakeSent();
  EXPECT_EQ(got, Frame(1, content.substr(0, 128), true) + Frame(2, content.substr(128, 128), true) +
                     Frame(3, content.substr(256), true));
  Feed(std::string(1, ACK));
  EXPECT_EQ(TakeSent(), std::string(1, EOT));
  EXPECT_TRUE(Events.empty());
  Feed(std::string(1, ACK));
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  EXPECT_EQ(Events, (std::vector<std::string>{"done three.bin ok", "batch"}));
}

TEST_F(XYmodemScripted, RejectedBlockIsResentTenTimesThenTheUploadEnds) {
  std::string path = UploadFile("r.bin", "data");
  Engine->StartSend(xpXmodemCrc);
  Feed("C");
  std::string first = TakeSent();
  for (int i = 0; i < 10; ++i) {
    Feed(std::string(1, NAK));
    EXPECT_EQ(TakeSent(), first) << i;
  }
  Feed(std::string(1, NAK));
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "Too many retries - receiver keeps rejecting this block");
  EXPECT_EQ(Events, (std::vector<std::string>{"done " + path + " failed", "batch"}));
}

TEST_F(XYmodemScripted, EotIsRepeatedThreeTimesThenTheUploadEnds) {
  UploadFile("e.bin", "");
  Engine->StartSend(xpXmodem);
  Feed(std::string(1, NAK));
  EXPECT_EQ(TakeSent(), std::string(1, EOT));  // an empty file: EOT at once
  Feed(std::string(3, NAK));
  EXPECT_EQ(TakeSent(), std::string(3, EOT));
  Feed(std::string(1, NAK));
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "EOT not acknowledged");
}

TEST_F(XYmodemScripted, UploadTimeouts) {
  // Nobody starts: 60 s, board text meanwhile does not count as a start.
  UploadFile("t.bin", "data");
  Engine->StartSend(xpXmodemCrc);
  Advance(59000);
  Feed("still typing");
  Advance(999);
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmSending);
  Advance(1);
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "Receiver never started - upload timed out");

  // The receiver stops answering after the first block.
  Events.clear();
  std::string path = UploadFile("t.bin", std::string(500, 't'));
  Engine->StartSend(xpXmodemCrc);
  Feed("C");
  TakeSent();
  Advance(59999);
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmSending);
  Advance(1);
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "No response from receiver - upload timed out");
  EXPECT_EQ(Events, (std::vector<std::string>{"done " + path + " failed", "batch"}));
}

TEST_F(XYmodemScripted, NothingToSend) {
  Engine->StartSend(xpYmodem);
  EXPECT_EQ(TakeSent(), kCancel);
  EXPECT_EQ(Engine->LastAbortReason, "No file to send");
  Engine->AddSendFile(Temp.File("missing.bin"));
  Engine->StartSend(xpXmodem);
  EXPECT_EQ(Engine->LastAbortReason, "No file to send");
  EXPECT_EQ(Events, (std::vector<std::string>{"done  failed", "batch",
                                              "done " + Temp.File("missing.bin") + " failed",
                                              "batch"}));
}

TEST_F(XYmodemScripted, YmodemBatchOfTwoFilesAndAMissingOne) {
  UploadFile("a.txt", "alpha");
  UploadFile("b.txt", "beta");
  Engine->AddSendFile(Temp.File("gone.txt"));
  Engine->StartSend(xpYmodem);
  const std::string ack(1, ACK);
  std::string wire;
  for (const char* step : {"C", "\x06", "C", "\x06", "\x06", "C", "\x06", "C", "\x06", "\x06"}) {
    Feed(step);
    wire += TakeSent();
  }
  EXPECT_TRUE(wire == Header("a.txt", "5") + Frame(1, "alpha", true, 1024) + "\x04" +
                         Header("b.txt", "4") + Frame(1, "beta", true, 1024) + "\x04" +
                         Header("", ""));
  Feed("C");  // the receiver missed the end-of-batch header: sent again
  EXPECT_EQ(TakeSent(), Header("", ""));
  Feed(ack);
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  EXPECT_EQ(Events, (std::vector<std::string>{"done " + Temp.File("gone.txt") + " failed",
                                              "done b.txt ok", "batch"}));
}

// A Ymodem-G receiver that answers as Synchronet's sexyz does: "G" asks for
// each header, the next "G" both acknowledges the header and asks for the
// data, each EOT is acknowledged, and the end-of-batch header is not.
TEST_F(XYmodemScripted, YmodemGBatchToAReceiverThatAnswersLikeSexyz) {
  const std::string one(1500, 'o'), two(100, 't');
  UploadFile("one.bin", one);
  UploadFile("two.bin", two);
  Engine->StartSend(xpYmodemG);
  Feed("G");
  EXPECT_EQ(TakeSent(), Header("one.bin", "1500"));
  Feed("G");
  EXPECT_EQ(TakeSent(), Frame(1, one.substr(0, 1024), true) + Frame(2, one.substr(1024), true, 1024) + "\x04");
  Feed("\x06");
  EXPECT_EQ(TakeSent(), "") << "the next header waits for the receiver's request";
  Feed("G");
  EXPECT_EQ(TakeSent(), Header("two.bin", "100"));
  Feed("G");
  EXPECT_EQ(TakeSent(), Frame(1, two, true, 1024) + "\x04");
  Feed("\x06");
  EXPECT_EQ(TakeSent(), Header("", ""));
  Feed("G");  // the receiver's request for the header it already has
  EXPECT_EQ(TakeSent(), "") << "no second copy for a receiver that has stopped";
  Advance(TXYmodemEngine::kEndOfBatchWaitMs - 500);
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmSending);
  Advance(500);
  EXPECT_EQ(Engine->Mode, TXYmodemEngine::xmIdle);
  EXPECT_EQ(Engine->LastAbortReason, "");
  EXPECT_EQ(TakeSent(), "") << "no cancel";
  EXPECT_EQ(Events, (std::vector<std::string>{"done two.bin ok", "batch"}));
}

// ------------------------------------------------------- engine to engine

struct LoopRow {
  const char* label;
  int sendProtocol, receiveProtocol;
  std::vector<size_t> sizes;
};

TEST_F(XYmodemScripted, EngineTalksToItself) {
  const LoopRow rows[] = {
      {"Xmodem", xpXmodem, xpXmodem, {1000}},
      {"Xmodem-CRC to automatic", xpXmodemCrc, xpAuto, {4096}},
      {"Xmodem-1K", xpXmodem1K, xpXmodem1K, {5000}},
      {"Ymodem", xpYmodem, xpYmodem, {3000, 0, 1024, 70000}},
      {"Ymodem-G", xpYmodemG, xpYmodemG, {3000, 0, 1024, 70000}},
  };
  for (const LoopRow& row : rows) {
    SCOPED_TRACE(row.label);
    std::string outDir = Temp.Path() + row.label + "/";
    std::string toReceiver, toSender;
    std::vector<std::string> sendEvents, recvEvents;
    auto sender = MakeEngine(Temp.Path(), toReceiver, sendEvents);
    auto receiver = MakeEngine(outDir, toSender, recvEvents);
    std::vector<std::string> contents;
    for (size_t i = 0; i < row.sizes.size(); ++i) {
      std::string c;
      for (size_t k = 0; k < row.sizes[i]; ++k) c += static_cast<char>((k * 31 + i) % 251);
      contents.push_back(c);
      std::string name = "loop" + std::to_string(i) + ".bin";
      ASSERT_TRUE(WriteWholeFile(Temp.File(name), c));
      sender->AddSendFile(Temp.File(name));
    }
    sender->StartSend(row.sendProtocol);
    receiver->StartReceive(row.receiveProtocol, "loop0.bin");
    for (int round = 0; round < 10000 && (sender->Mode || receiver->Mode); ++round) {
      std::string a, b;
      a.swap(toSender);
      b.swap(toReceiver);
      if (a.empty() && b.empty()) break;
      for (unsigned char c : a)
        if (sender->Mode) sender->ProcessByte(c);
      for (unsigned char c : b)
        if (receiver->Mode) receiver->ProcessByte(c);
    }
    EXPECT_EQ(sender->Mode, TXYmodemEngine::xmIdle);
    EXPECT_EQ(receiver->Mode, TXYmodemEngine::xmIdle);
    for (size_t i = 0; i < contents.size(); ++i)
      EXPECT_EQ(ReadWholeFile(outDir + "loop" + std::to_string(i) + ".bin"), contents[i]) << i;
    EXPECT_EQ(sendEvents.back(), "batch");
    EXPECT_EQ(sender->ErrorCount + receiver->ErrorCount, 0);
  }
}

}  // namespace
