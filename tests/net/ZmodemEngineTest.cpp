// The Zmodem engine against a scripted peer built from the framing unit:
// the automatic-start filter, the receive rules (names, resume, skip,
// acknowledgements, positions, the end of a session) and the send rules
// (bursts, windows, fallbacks, timeouts, cancel).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/uZmodem.h"
#include "tests/net/ZmodemPeer.h"

namespace fs = std::filesystem;
using namespace zm;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + i / 251);
  return b;
}

// What the engine sent, decoded.
struct Frame {
  bool IsHeader;
  TZHeader Header;
  size_t Length = 0;  // subpacket length
  uint8_t End = 0;    // subpacket end type
};

class ZmodemEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("korvan_zme_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir / "recv");
    fs::create_directories(Dir / "send");
    E = std::make_unique<TZmodemEngine>((Dir / "recv").string());
    E->Clock = [this] { return Now; };
    E->OnSend = [this](const uint8_t* d, int n) { Sent.insert(Sent.end(), d, d + n); };
    E->OnFileDone = [this](const std::string& n, bool ok) { Done.emplace_back(n, ok); };
    E->OnFileSkipped = [this](const std::string& n) { Skipped.push_back(n); };
    E->OnRemoteSkipped = [this](const std::string& n) { Refused.push_back(n); };
    E->OnProgress = [this](const std::string&, int64_t d, int64_t t) { Progress.emplace_back(d, t); };
    E->OnSessionEnd = [this] { ++SessionEnds; };
  }
  void TearDown() override { fs::remove_all(Dir); }

  // Feeds bytes as received; returns what reached the screen.
  std::string Feed(const Bytes& in) {
    std::string screen;
    uint8_t out[4];
    for (uint8_t b : in) {
      int n = 0;
      E->ProcessIncoming(b, out, n);
      screen.append(reinterpret_cast<char*>(out), size_t(n));
    }
    return screen;
  }
  void Hex(uint8_t type, uint32_t pos = 0) { Hex(TZHeader::At(type, pos)); }
  void Hex(const TZHeader& h) {
    Bytes b;
    TZmodemEncoder::AppendHexHeader(b, h);
    Feed(b);
  }
  void Bin(const TZHeader& h) {
    Bytes b;
    Enc.AppendBinaryHeader(b, h);
    Feed(b);
  }
  void Sub(const Bytes& data, uint8_t end) {
    Bytes b;
    Enc.AppendSubpacket(b, data.data(), data.size(), end);
    Feed(b);
  }
  void Offer(const std::string& info) {
    Bin({ZFILE, {0, 0, 0, 0}});
    Sub(Bytes(info.begin(), info.end()), ZCRCW);
  }
  // Takes and decodes everything the engine sent so far.
  std::vector<Frame> Take() {
    std::vector<Frame> out;
    TZmodemDecoder d;
    for (uint8_t b : Sent) {
      switch (d.Feed(b)) {
        case TZmodemDecoder::TResult::Header: out.push_back({true, d.Header()}); break;
        case TZmodemDecoder::TResult::GoodSubpacket: out.push_back({false, {}, d.PacketLength(), d.EndType()}); break;
        default: break;
      }
    }
    Sent.clear();
    return out;
  }
  static std::vector<uint8_t> Types(const std::vector<Frame>& f) {
    std::vector<uint8_t> t;
    for (const Frame& x : f)
      if (x.IsHeader) t.push_back(x.Header.Type);
    return t;
  }
  static std::string Ends(const std::vector<Frame>& f) {
    std::string s;
    for (const Frame& x : f)
      if (!x.IsHeader) s += char(x.End);
    return s;
  }
  void TickAfter(uint64_t ms) {
    Now += ms;
    E->Tick();
  }

  fs::path Dir;
  std::unique_ptr<TZmodemEngine> E;
  TZmodemEncoder Enc;
  uint64_t Now = 100000;
  Bytes Sent;
  std::vector<std::pair<std::string, bool>> Done;
  std::vector<std::string> Skipped, Refused;
  std::vector<std::pair<int64_t, int64_t>> Progress;
  int SessionEnds = 0;
};

// ------------------------------------------------------------ automatic start

TEST_F(ZmodemEngineTest, AutoStartFilter) {
  struct Row {
    const char* Name;
    std::string In;
    std::string Screen;
    bool HeldAfter;
  };
  Bytes zrqinit;
  TZmodemEncoder::AppendHexHeader(zrqinit, TZHeader::At(ZRQINIT, 0));
  const std::string hdr(zrqinit.begin(), zrqinit.end() - 3);  // without CR LF XON
  Bytes zrinitBytes;
  TZmodemEncoder::AppendHexHeader(zrinitBytes, TZHeader{ZRINIT, {0, 0, 0, CANFDX | CANOVIO | CANFC32}});
  const std::string zrinit(zrinitBytes.begin(), zrinitBytes.end() - 3);
  const Row rows[] = {
      {"header never shown", "**\x18" "B", "", false},
      {"two stars and a letter", "**a", "**a", false},
      {"four stars show one", "****", "*", true},
      {"lone star at the end is held", "abc*", "abc", true},
      {"ZDLE without a star is text", "x\x18y", "x\x18y", false},
      {"whole ZRQINIT and its line end hidden (lrzsz)", "rz\r" + hdr + "\r\x8a\x11", "rz\r", false},
      {"line end with the high bit on its CR", "rz\r" + hdr + "\x8d\n\x11", "rz\r", false},
      {"a waiting receiver's ZRINIT and its line end hidden", zrinit + "\r\x8a\x11" "ok", "ok", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    E = std::make_unique<TZmodemEngine>((Dir / "recv").string());
    E->Clock = [this] { return Now; };
    EXPECT_EQ(Feed(Bytes(row.In.begin(), row.In.end())), row.Screen);
    EXPECT_EQ(E->HasHeldBytes(), row.HeldAfter);
  }
}

TEST_F(ZmodemEngineTest, ASenderThatOffersNothingGivesTheScreenBackAfterThreeSeconds) {
  Hex(ZRQINIT);
  EXPECT_EQ(Feed({'n', 'o'}), "");  // the session is open: the sender's bytes
  TickAfter(2500);
  EXPECT_EQ(E->Direction, 2);
  TickAfter(500);
  EXPECT_EQ(E->Direction, 0);
  EXPECT_EQ(Feed({'o', 'k'}), "ok");
}

TEST_F(ZmodemEngineTest, HeldStarsAreReleasedWhenOldEnough) {
  EXPECT_EQ(Feed({'h', 'i', '*'}), "hi");
  uint8_t buf[4];
  int n = -1;
  Now += 10;
  EXPECT_FALSE(E->TakeHeldBytes(50, buf, n));
  EXPECT_EQ(n, 0);
  Now += 50;
  ASSERT_TRUE(E->TakeHeldBytes(50, buf, n));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size_t(n)), "*");
  EXPECT_FALSE(E->HasHeldBytes());
}

// ------------------------------------------------------------ receiving

TEST_F(ZmodemEngineTest, ReceiveAcknowledgesAndRecoversPositions) {
  Hex(ZRQINIT);
  auto f = Take();
  ASSERT_EQ(Types(f), Bytes{ZRINIT});
  EXPECT_EQ(f[0].Header.P[3], CANFDX | CANOVIO | CANFC32);
  Offer(std::string("data.bin\0" "20000 0 0", 18));
  f = Take();
  ASSERT_EQ(Types(f), Bytes{ZRPOS});
  EXPECT_EQ(f[0].Header.Position(), 0u);

  const Bytes data = Pattern(20000);
  Bin(TZHeader::At(ZDATA, 0));
  Sub(Bytes(data.begin(), data.begin() + 3000), ZCRCW);  // ZACK with 3000
  f = Take();
  ASSERT_EQ(Types(f), Bytes{ZACK});
  EXPECT_EQ(f[0].Header.Position(), 3000u);

  Bin(TZHeader::At(ZDATA, 3000));
  Sub(Bytes(data.begin() + 3000, data.begin() + 10000), ZCRCG);
  EXPECT_TRUE(Take().empty());  // ZCRCG: no answer
  // A damaged subpacket after 10000 good bytes (8192 written, 1808 buffered).
  Bytes bad;
  Enc.AppendSubpacket(bad, data.data() + 10000, 1000, ZCRCG);
  for (size_t i = 1;; ++i)  // flip a plain letter of the data: only the CRC catches it
    if (bad[i - 1] != ZDLE && bad[i] >= 'a' && bad[i] <= 'z') {
      bad[i] ^= 0x01;
      break;
    }
  Feed(bad);
  f = Take();
  ASSERT_EQ(Types(f), Bytes{ZRPOS});
  EXPECT_EQ(f[0].Header.Position(), 10000u);
  EXPECT_EQ(E->ErrorCount, 1);

  // Stale data at the wrong position is refused with our position again.
  Bin(TZHeader::At(ZDATA, 11000));
  Sub(Bytes(data.begin() + 11000, data.begin() + 12000), ZCRCG);
  f = Take();
  ASSERT_EQ(Types(f), Bytes{ZRPOS});
  EXPECT_EQ(f[0].Header.Position(), 10000u);

  Bin(TZHeader::At(ZDATA, 10000));
  Sub(Bytes(data.begin() + 10000, data.end()), ZCRCW);
  Take();
  Hex(ZEOF, 19999);  // wrong position: ignored
  EXPECT_TRUE(Done.empty());
  Hex(ZEOF, 20000);
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_EQ(Done[0], std::make_pair(std::string("data.bin"), true));
  EXPECT_EQ(Types(Take()), Bytes{ZRINIT});
  EXPECT_EQ(zmpeer::ReadAll(Dir / "recv" / "data.bin"), data);
  EXPECT_EQ(E->LargestSubpacket, 10000);
}

TEST_F(ZmodemEngineTest, ReceiveEndOfSession) {
  Hex(ZRQINIT);
  Offer(std::string("a.txt\0" "5", 7));
  Bin(TZHeader::At(ZDATA, 0));
  Sub({'h', 'e', 'l', 'l', 'o'}, ZCRCE);
  Hex(ZEOF, 5);  // after ZCRCE: changes nothing
  EXPECT_EQ(Done.size(), 1u);
  Take();
  Bytes fin;
  TZmodemEncoder::AppendHexHeader(fin, TZHeader::At(ZFIN, 0));
  fin.insert(fin.end(), {'O', 'O', 'O'});
  EXPECT_EQ(Feed(fin), "O");  // the closing "OO" is swallowed, a third O is shown
  EXPECT_EQ(Types(Take()), Bytes{ZFIN});
  EXPECT_EQ(E->State, 0);
  EXPECT_EQ(zmpeer::ReadAll(Dir / "recv" / "a.txt"), (Bytes{'h', 'e', 'l', 'l', 'o'}));

  // No next file within 3 s: idle again; a late ZFIN is still answered.
  Hex(ZRQINIT);
  Offer(std::string("b.txt\0" "1", 7));
  Bin(TZHeader::At(ZDATA, 0));
  Sub({'x'}, ZCRCE);
  Take();
  TickAfter(2000);
  EXPECT_EQ(E->State, 1);
  TickAfter(1000);
  EXPECT_EQ(E->State, 0);
  EXPECT_EQ(E->Direction, 0);
  Hex(ZFIN);
  EXPECT_EQ(Types(Take()), Bytes{ZFIN});
}

TEST_F(ZmodemEngineTest, ReceiveSkipResumeAndNeverCutShort) {
  struct Row {
    const char* Name;
    std::string Info;
    size_t Existing;  // bytes already in r.txt
    bool SkipExpected;
    uint32_t Rpos;
    std::string StoredAs;  // where the data lands
  };
  const Row rows[] = {
      {"complete file skipped", std::string("r.txt\0" "1000", 10), 1000, true, 0, ""},
      {"larger file skipped", std::string("r.txt\0" "1000 0 0", 14), 1500, true, 0, ""},
      {"partial file resumed", std::string("r.txt\0" "1000", 10), 400, false, 400, "r.txt"},
      {"empty file written", std::string("r.txt\0" "1000", 10), 0, false, 0, "r.txt"},
      {"no size: the next free name", std::string("r.txt\0", 6), 1500, false, 0, "r_2.txt"},
      {"size 0: the next free name", std::string("r.txt\0" "0", 7), 1500, false, 0, "r_2.txt"},
      {"size not a number: the next free name", std::string("r.txt\0" "12x", 9), 1500, false, 0, "r_2.txt"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    fs::remove(Dir / "recv" / "r.txt");
    fs::remove(Dir / "recv" / "r_2.txt");
    const Bytes old = Pattern(row.Existing);
    zmpeer::WriteAll(Dir / "recv" / "r.txt", old);
    Skipped.clear();
    Progress.clear();
    Hex(ZRQINIT);
    Take();
    Offer(row.Info);
    auto f = Take();
    ASSERT_EQ(f.size(), 1u);
    if (row.SkipExpected) {
      EXPECT_EQ(f[0].Header.Type, ZSKIP);
      EXPECT_EQ(Skipped, std::vector<std::string>{"r.txt"});
      EXPECT_EQ(zmpeer::ReadAll(Dir / "recv" / "r.txt"), old);
      continue;
    }
    EXPECT_EQ(f[0].Header.Type, ZRPOS);
    EXPECT_EQ(f[0].Header.Position(), row.Rpos);
    if (row.Rpos > 0) {
      ASSERT_FALSE(Progress.empty());
      EXPECT_EQ(Progress[0], std::make_pair(int64_t(400), int64_t(1000)));
    }
    Bin(TZHeader::At(ZDATA, row.Rpos));
    Sub({'Z'}, ZCRCE);
    Bytes expect(old.begin(), old.begin() + row.Rpos);
    expect.push_back('Z');
    EXPECT_EQ(zmpeer::ReadAll(Dir / "recv" / row.StoredAs), expect);
    EXPECT_EQ(E->ReceivePath, (Dir / "recv" / row.StoredAs).string());
    if (row.StoredAs != "r.txt") {
      EXPECT_EQ(zmpeer::ReadAll(Dir / "recv" / "r.txt"), old);
    }
  }
}

TEST_F(ZmodemEngineTest, ReceiveNeverTouchesTheProgramsFilesOrWhatANameLeadsTo) {
  E->IsProgramPath = [](const std::string& path) { return fs::path(path).filename() == "settings.ini"; };
  zmpeer::WriteAll(Dir / "recv" / "settings.ini", {'k', 'e', 'e', 'p'});
  zmpeer::WriteAll(Dir / "outside.txt", {'m', 'i', 'n', 'e'});
  fs::create_symlink(Dir / "outside.txt", Dir / "recv" / "link.txt");
  fs::create_directories(Dir / "recv" / "box");
  struct Row {
    const char* Name;
    std::string Info;
    uint8_t Answer;
    std::string StoredAs;
  };
  const Row rows[] = {
      {"the program's own file, without a size", std::string("settings.ini\0", 13), ZSKIP, ""},
      {"the program's own file, to resume", std::string("settings.ini\0" "100", 16), ZSKIP, ""},
      {"a link, to resume", std::string("link.txt\0" "100", 12), ZRPOS, "link_2.txt"},
      {"a folder", std::string("box\0", 4), ZRPOS, "box_2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Done.clear();
    Hex(ZRQINIT);
    Take();
    Offer(row.Info);
    auto f = Take();
    ASSERT_EQ(Types(f), Bytes{row.Answer});
    if (row.Answer == ZSKIP) {
      ASSERT_EQ(Done.size(), 1u);
      EXPECT_FALSE(Done[0].second);
      continue;
    }
    EXPECT_EQ(f[0].Header.Position(), 0u);
    Bin(TZHeader::At(ZDATA, 0));
    Sub({'n', 'e', 'w'}, ZCRCE);
    EXPECT_EQ(zmpeer::ReadAll(Dir / "recv" / row.StoredAs), (Bytes{'n', 'e', 'w'}));
  }
  EXPECT_EQ(zmpeer::ReadAll(Dir / "recv" / "settings.ini"), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(zmpeer::ReadAll(Dir / "outside.txt"), (Bytes{'m', 'i', 'n', 'e'}));
}

TEST_F(ZmodemEngineTest, DoorGraphicsFilesGoToTheirFolderAndAlwaysOverwrite) {
  E->SetDdofxDir((Dir / "ddofx").string());
  E->UseDdofxDir = true;
  E->DdofxActive = true;
  fs::create_directories(Dir / "ddofx");
  zmpeer::WriteAll(Dir / "ddofx" / "art.zip", Pattern(500));  // complete, larger: still replaced
  Hex(ZRQINIT);
  Take();
  Offer(std::string("art.zip\0" "3", 9));
  auto f = Take();
  ASSERT_EQ(Types(f), Bytes{ZRPOS});
  EXPECT_EQ(f[0].Header.Position(), 0u);
  Bin(TZHeader::At(ZDATA, 0));
  Sub({'n', 'e', 'w'}, ZCRCE);
  EXPECT_EQ(zmpeer::ReadAll(Dir / "ddofx" / "art.zip"), (Bytes{'n', 'e', 'w'}));
  EXPECT_EQ(E->ReceiveFolder, (Dir / "ddofx").string() + "/");
  EXPECT_TRUE(fs::is_empty(Dir / "recv"));
}

TEST_F(ZmodemEngineTest, ReceiveRefusesNamesThatAreNotPlain) {
  const char* names[] = {"sub/dir/a.bin", "../a.bin", "..", "a\\b.bin", "C:a.bin", "bell\x07.bin", "", "/etc/x"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    Done.clear();
    Hex(ZRQINIT);
    Take();
    Offer(std::string(name) + std::string("\0" "3", 2));
    EXPECT_EQ(Types(Take()), Bytes{ZSKIP});
    ASSERT_EQ(Done.size(), 1u);
    EXPECT_EQ(Done[0], std::make_pair(std::string(name), false));
    // Its data, should the sender send it anyway, is not stored.
    Bin(TZHeader::At(ZDATA, 0));
    Sub({'a', 'b', 'c'}, ZCRCE);
    EXPECT_EQ(Done.size(), 1u);
  }
  EXPECT_TRUE(fs::is_empty(Dir / "recv"));
  EXPECT_FALSE(fs::exists(Dir / "a.bin"));
}

TEST_F(ZmodemEngineTest, ReceiveIntoAFolderThatCannotBeCreatedFails) {
  zmpeer::WriteAll(Dir / "blocker", {1});
  E->SetDownloadDir((Dir / "blocker" / "inside").string());
  Hex(ZRQINIT);
  Take();
  Offer(std::string("f.bin\0" "3", 7));
  EXPECT_EQ(Types(Take()), Bytes{ZSKIP});
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_FALSE(Done[0].second);
}

TEST_F(ZmodemEngineTest, CancelFromTheSenderFailsTheFile) {
  struct Row {
    const char* Name;
    Bytes Cancel;
    uint8_t EndFirst;  // a header can only follow the end of a frame
  };
  Bytes zcan;
  TZmodemEncoder::AppendHexHeader(zcan, TZHeader::At(ZCAN, 0));
  const Row rows[] = {{"ZCAN header", zcan, ZCRCW}, {"row of CAN bytes mid-frame", Bytes(8, ZDLE), ZCRCG}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Done.clear();
    Hex(ZRQINIT);
    Offer(std::string("c.bin\0" "100", 9));
    Bin(TZHeader::At(ZDATA, 0));
    Sub(Pattern(10), row.EndFirst);
    Feed(row.Cancel);
    ASSERT_EQ(Done.size(), 1u);
    EXPECT_EQ(Done[0], std::make_pair(std::string("c.bin"), false));
    EXPECT_EQ(E->State, 0);
    EXPECT_EQ(E->Direction, 0);
  }
}

// ------------------------------------------------------------ sending

class ZmodemSendTest : public ZmodemEngineTest {
 protected:
  // Queues a file, starts, answers ZRINIT with the given buffer and flags,
  // and the ZFILE offer with ZRPOS 0; returns the first burst.
  std::vector<Frame> StartSending(size_t size, int bufSize, uint8_t flags) {
    zmpeer::WriteAll(Dir / "send" / "up.bin", Pattern(size));
    E->AddUploadFile((Dir / "send" / "up.bin").string());
    E->StartUpload();
    EXPECT_EQ(Types(Take()), Bytes{ZRQINIT});
    Hex({ZRINIT, {uint8_t(bufSize), uint8_t(bufSize >> 8), 0, flags}});
    auto f = Take();
    EXPECT_EQ(Types(f), Bytes{ZFILE});
    EXPECT_EQ(f[0].Header.P[3], ZCRESUM);
    Hex(ZRPOS, 0);
    return Take();
  }
};

TEST_F(ZmodemSendTest, BurstShapes) {
  struct Row {
    const char* Name;
    size_t Size;
    int BufSize;
    uint8_t Flags;
    bool Allow8K;
    std::string FirstBurst, SecondBurst;
    size_t SubpacketLength;
  };
  const uint8_t full = CANFDX | CANOVIO | CANFC32;
  const Row rows[] = {
      {"buffer 0 streams 4 then 8", 64 * 1024, 0, full, true, "iiik", "iiiiiiik", 1024},
      {"buffer 16K with 8K blocks", 64 * 1024, 16384, full, true, "k", "k", 8192},
      {"buffer 16K without 8K", 64 * 1024, 16384, full, false, "iiik", "iiiiiiik", 1024},
      {"no CANOVIO: one per ZACK", 64 * 1024, 0, CANFDX | CANFC32, true, "k", "k", 1024},
      {"2048 bytes end with ZCRCE", 2048, 0, full, true, "ih", "", 1024},
      {"empty file", 0, 0, full, true, "h", "", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TearDown();
    SetUp();
    E->Allow8K = row.Allow8K;
    auto f = StartSending(row.Size, row.BufSize, row.Flags);
    EXPECT_EQ(Ends(f), row.FirstBurst);
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f[0].Header.Type, ZDATA);
    EXPECT_EQ(f[1].Length, row.SubpacketLength);
    if (row.SecondBurst.empty()) {
      EXPECT_EQ(Types(f).back(), ZEOF);
      EXPECT_EQ(f.back().Header.Position(), row.Size);
      continue;
    }
    Hex(ZACK, uint32_t(E->BlockSize * row.FirstBurst.size()));
    EXPECT_EQ(Ends(Take()), row.SecondBurst);
  }
}

TEST_F(ZmodemSendTest, RepeatedPositionFallsBackThenCancels) {
  E->Allow8K = true;
  auto f = StartSending(200 * 1024, 16384, CANFDX | CANOVIO | CANFC32);
  EXPECT_EQ(E->BlockSize, 8192);
  // The same position again: answered at once, with 1024-byte subpackets
  // from now on, behind a mark (an empty subpacket that wants a ZACK).
  Hex(ZRPOS, 0);
  f = Take();
  ASSERT_EQ(Types(f), Bytes{ZDATA});
  EXPECT_EQ(f[0].Header.Position(), 0u);
  ASSERT_GE(f.size(), 3u);
  EXPECT_EQ(f[1].Length, 0u);
  EXPECT_EQ(f[1].End, ZCRCQ);
  EXPECT_EQ(f[2].Length, 1024u);
  EXPECT_EQ(E->BlockSize, 1024);
  // Asked again before the mark is acknowledged: the receiver is still
  // reading what was sent before the restart; a copy would only make it ask
  // once more. Nothing is sent.
  Hex(ZRPOS, 0);
  EXPECT_TRUE(Take().empty());
  // The mark is acknowledged (nothing more is sent for it); the restart
  // itself was damaged, and the request for it is answered at once.
  Hex(ZACK, 0);
  EXPECT_TRUE(Take().empty());
  Hex(ZRPOS, 0);
  f = Take();
  ASSERT_EQ(Types(f), Bytes{ZDATA});
  EXPECT_EQ(f[0].Header.Position(), 0u);
  for (int i = 4; i < 10; ++i) {
    Hex(ZRPOS, 0);
    Take();
    EXPECT_TRUE(Done.empty()) << i;
  }
  Sent.clear();
  Hex(ZRPOS, 0);  // the tenth request that does not move on
  const Bytes cancel = {ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, BS, BS, BS, BS, BS, BS, BS, BS};
  EXPECT_EQ(Sent, cancel);
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_EQ(Done[0], std::make_pair(std::string("up.bin"), false));
  EXPECT_EQ(E->State, 0);
}

TEST_F(ZmodemSendTest, AbortForgetsTheFallbackToSmallSubpackets) {
  const uint8_t full = CANFDX | CANOVIO | CANFC32;
  StartSending(200 * 1024, 16384, full);
  Hex(ZRPOS, 0);  // asked again: 1024-byte subpackets for this session
  ASSERT_EQ(E->BlockSize, 1024);
  E->Abort();  // the call ends
  Take();
  // The next call's board announces a receiver with a 16 KiB buffer.
  E->AddUploadFile((Dir / "send" / "up.bin").string());
  Hex({ZRINIT, {0, 0x40, 0, full}});
  E->SendToWaitingReceiver();
  EXPECT_EQ(Types(Take()), Bytes{ZFILE});
  Hex(ZRPOS, 0);
  auto f = Take();
  ASSERT_GE(f.size(), 2u);
  EXPECT_EQ(f[1].Length, 8192u);
}

TEST_F(ZmodemSendTest, UnacknowledgedBurstIsResentThenFails) {
  auto f = StartSending(64 * 1024, 0, CANFDX | CANFC32);  // one subpacket per ZACK
  EXPECT_EQ(Ends(f), "k");
  for (int retry = 1; retry <= 5; ++retry) {
    TickAfter(4999);
    EXPECT_TRUE(Take().empty());
    TickAfter(1);
    f = Take();
    ASSERT_EQ(Types(f), Bytes{ZDATA}) << retry;
    EXPECT_EQ(f[0].Header.Position(), 0u);
  }
  TickAfter(5000);
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_FALSE(Done[0].second);
  EXPECT_EQ(E->State, 0);
  EXPECT_EQ(E->ErrorCount, 6);
}

TEST_F(ZmodemSendTest, EndOfBatch) {
  StartSending(100, 0, CANFDX | CANOVIO | CANFC32);
  Hex({ZRINIT, {0, 0, 0, CANFDX | CANOVIO | CANFC32}});  // confirms the file
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_TRUE(Done[0].second);
  EXPECT_EQ(Types(Take()), Bytes{ZFIN});
  EXPECT_EQ(SessionEnds, 1);
  Hex(ZFIN);
  EXPECT_EQ(Sent, (Bytes{'O', 'O'}));
  EXPECT_EQ(E->State, 0);
}

TEST_F(ZmodemSendTest, SkipAndMissingFiles) {
  zmpeer::WriteAll(Dir / "send" / "a.bin", Pattern(10));
  E->AddUploadFile((Dir / "send" / "gone.bin").string());  // dropped silently
  E->AddUploadFile((Dir / "send" / "a.bin").string());
  E->StartUpload();
  Hex({ZRINIT, {0, 0, 0, CANFDX | CANOVIO | CANFC32}});
  EXPECT_EQ(Types(Take()), (Bytes{ZRQINIT, ZFILE}));
  Hex(ZSKIP);
  EXPECT_EQ(Refused, std::vector<std::string>{(Dir / "send" / "a.bin").string()});
  EXPECT_EQ(Types(Take()), Bytes{ZFIN});
  EXPECT_TRUE(Done.empty());
}

TEST_F(ZmodemSendTest, StartsOnlyWhenThereIsSomethingToDo) {
  E->StartUpload();
  EXPECT_TRUE(Sent.empty());
  EXPECT_EQ(E->State, 0);
  // The board's receiver announces itself: the application is asked.
  int asked = 0;
  E->OnUploadRequested = [&] { ++asked; };
  Hex({ZRINIT, {0, 0, 0, CANFDX | CANOVIO | CANFC32}});
  EXPECT_EQ(asked, 1);
  StartSending(50000, 0, CANFDX | CANOVIO | CANFC32);
  const int state = E->State;
  E->AddUploadFile("/nonexistent");
  E->SendToWaitingReceiver();  // a transfer runs: nothing happens
  EXPECT_EQ(E->State, state);
  EXPECT_TRUE(Sent.empty());
}

TEST_F(ZmodemEngineTest, ASenderThatFallsSilentEndsTheSession) {
  Hex(ZRQINIT);
  Offer(std::string("s.bin\0" "100", 9));
  Bin(TZHeader::At(ZDATA, 0));
  Sub(Pattern(10), ZCRCG);  // then nothing more
  Take();
  TickAfter(500);  // the application's ticks see the last bytes arrive
  TickAfter(TZmodemEngine::kPeerSilenceMs - 500);
  EXPECT_EQ(E->State, 3);
  TickAfter(500);
  EXPECT_EQ(E->State, 0);
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_FALSE(Done[0].second);
  EXPECT_EQ(Feed({'o', 'k'}), "ok");  // the board's text reaches the screen again
}

TEST_F(ZmodemEngineTest, AbortCancelsALiveSessionOnly) {
  E->Abort();
  EXPECT_TRUE(Sent.empty());
  Hex(ZRQINIT);
  Offer(std::string("p.bin\0" "100", 9));
  Take();
  E->Abort();
  EXPECT_EQ(Sent.size(), 16u);
  ASSERT_EQ(Done.size(), 1u);
  EXPECT_FALSE(Done[0].second);
  EXPECT_EQ(E->State, 0);
  EXPECT_EQ(Feed({'h', 'i'}), "hi");
}

}  // namespace
