// The Zmodem engine against lrzsz on a loopback TCP connection: downloads
// from sz, uploads to rz, batches, resume, skip, refused names and cancels.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "net/uZmodem.h"
#include "tests/net/ZmodemPeer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = uint8_t(rng());
  return b;
}

// Every byte the escaping must treat specially, in long runs and mixed.
Bytes EscapeHeavyBytes() {
  const uint8_t special[] = {0x18, 0xFF, 0x11, 0x13, 0x91, 0x93, 0x10, 0x90, 0x0D, 0x8D, 0x7F, 0x2A, 0x40, 0x58};
  Bytes b;
  for (int round = 0; round < 2000; ++round)
    for (uint8_t s : special) b.insert(b.end(), size_t(1 + round % 5), s);
  return b;
}

struct FileRow {
  const char* Name;
  Bytes Data;
};

std::vector<FileRow> TransferSet() {
  return {
      {"empty.bin", {}},
      {"one.bin", {0x42}},
      {"two_k.bin", RandomBytes(2048, 2)},
      {"random_1m.bin", RandomBytes(1 << 20, 3)},
      {"escapes.bin", EscapeHeavyBytes()},
  };
}

struct Way {
  const char* Name;
  bool Upload;
};
const Way kBothWays[] = {{"download from sz", false}, {"upload to rz", true}};

struct Events {
  std::vector<std::pair<std::string, bool>> Done;
  std::vector<std::string> Skipped;
  std::vector<std::pair<int64_t, int64_t>> Progress;
  int SessionEnds = 0;
};

class ZmodemInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* p : {"sz", "rz"})
      ASSERT_TRUE(zmpeer::ProgramExists(p)) << p << " (Debian package lrzsz) is needed for this test";
    Root = fs::temp_directory_path() / ("korvan_zm_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Root);
    fs::create_directories(Root / "send");
    fs::create_directories(Root / "recv");
    Engine = std::make_unique<TZmodemEngine>((Root / "recv").string());
    Engine->OnFileDone = [this](const std::string& n, bool ok) { Ev.Done.emplace_back(n, ok); };
    Engine->OnFileSkipped = [this](const std::string& n) { Ev.Skipped.push_back(n); };
    Engine->OnProgress = [this](const std::string&, int64_t d, int64_t t) { Ev.Progress.emplace_back(d, t); };
    Engine->OnSessionEnd = [this] { ++Ev.SessionEnds; };
  }
  void TearDown() override { fs::remove_all(Root); }

  std::string PeerErr() const { return (Root / "peer.err").string(); }
  std::string PeerLog() const {
    std::ifstream in(PeerErr());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Every file of the set reported done and stored byte-identical.
  void ExpectArrived(const std::vector<FileRow>& set) {
    ASSERT_EQ(Ev.Done.size(), set.size());
    for (size_t i = 0; i < set.size(); ++i) {
      EXPECT_EQ(Ev.Done[i], std::make_pair(std::string(set[i].Name), true));
      EXPECT_EQ(zmpeer::ReadAll(Root / "recv" / set[i].Name), set[i].Data) << set[i].Name;
    }
  }

  // One file of send/ into a fresh recv/: downloaded from sz, or uploaded
  // by the engine to rz. A line fault, when given, damages what the
  // receiving side reads.
  std::unique_ptr<zmpeer::TPeerSession> StartOneFile(const std::string& name, bool upload,
                                                     std::function<void(uint8_t*, size_t)> fault = {}) {
    Ev = {};
    fs::remove_all(Root / "recv");
    fs::create_directories(Root / "recv");
    std::unique_ptr<zmpeer::TPeerSession> s;
    if (upload) {
      Engine->AddUploadFile((Root / "send" / name).string());
      s = std::make_unique<zmpeer::TPeerSession>(*Engine, std::vector<std::string>{"rz", "-q"},
                                                 (Root / "recv").string(), PeerErr());
      s->TamperOut = std::move(fault);
      Engine->StartUpload();
    } else {
      s = std::make_unique<zmpeer::TPeerSession>(*Engine, std::vector<std::string>{"sz", "-q", name},
                                                 (Root / "send").string(), PeerErr());
      s->TamperIn = std::move(fault);
    }
    return s;
  }

  fs::path Root;
  std::unique_ptr<TZmodemEngine> Engine;
  Events Ev;
};

TEST_F(ZmodemInterop, DownloadsEachFileByteIdentical) {
  for (const FileRow& row : TransferSet()) {
    SCOPED_TRACE(row.Name);
    Ev = {};
    zmpeer::WriteAll(Root / "send" / row.Name, row.Data);
    zmpeer::TPeerSession s(*Engine, {"sz", "-q", row.Name}, (Root / "send").string(), PeerErr());
    s.Run(30000);
    ASSERT_FALSE(s.TimedOut) << PeerLog();
    EXPECT_EQ(s.ExitCode, 0) << PeerLog();
    EXPECT_EQ(zmpeer::ReadAll(Root / "recv" / row.Name), row.Data);
    ASSERT_EQ(Ev.Done.size(), 1u);
    EXPECT_EQ(Ev.Done[0], std::make_pair(std::string(row.Name), true));
    EXPECT_EQ(Engine->State, 0);
    // The closing "OO" of sz never reaches the screen.
    EXPECT_EQ(s.Screen.find("OO"), std::string::npos) << s.Screen;
  }
}

TEST_F(ZmodemInterop, DownloadsABatch) {
  std::vector<std::string> argv = {"sz", "-q"};
  const auto set = TransferSet();
  for (const FileRow& row : set) {
    zmpeer::WriteAll(Root / "send" / row.Name, row.Data);
    argv.push_back(row.Name);
  }
  zmpeer::TPeerSession s(*Engine, argv, (Root / "send").string(), PeerErr());
  s.Run(60000);
  ASSERT_FALSE(s.TimedOut) << PeerLog();
  EXPECT_EQ(s.ExitCode, 0) << PeerLog();
  ExpectArrived(set);
}

TEST_F(ZmodemInterop, ResumesAPartialFile) {
  const Bytes data = RandomBytes(1 << 20, 7);
  zmpeer::WriteAll(Root / "send" / "big.bin", data);
  zmpeer::WriteAll(Root / "recv" / "big.bin", Bytes(data.begin(), data.begin() + 400000));
  zmpeer::TPeerSession s(*Engine, {"sz", "-q", "big.bin"}, (Root / "send").string(), PeerErr());
  s.Run(30000);
  ASSERT_FALSE(s.TimedOut) << PeerLog();
  EXPECT_EQ(zmpeer::ReadAll(Root / "recv" / "big.bin"), data);
  ASSERT_FALSE(Ev.Progress.empty());
  EXPECT_EQ(Ev.Progress.front(), std::make_pair(int64_t(400000), int64_t(data.size())));
  ASSERT_EQ(Ev.Done.size(), 1u);
  EXPECT_TRUE(Ev.Done[0].second);
}

TEST_F(ZmodemInterop, SkipsAFileThatIsAlreadyComplete) {
  const Bytes offered = RandomBytes(5000, 8);
  const Bytes existing = RandomBytes(6000, 9);
  zmpeer::WriteAll(Root / "send" / "have.bin", offered);
  zmpeer::WriteAll(Root / "send" / "new.bin", offered);
  zmpeer::WriteAll(Root / "recv" / "have.bin", existing);
  zmpeer::TPeerSession s(*Engine, {"sz", "-q", "have.bin", "new.bin"}, (Root / "send").string(), PeerErr());
  s.Run(30000);
  ASSERT_FALSE(s.TimedOut) << PeerLog();
  EXPECT_EQ(Ev.Skipped, std::vector<std::string>{"have.bin"});
  EXPECT_EQ(zmpeer::ReadAll(Root / "recv" / "have.bin"), existing);
  EXPECT_EQ(zmpeer::ReadAll(Root / "recv" / "new.bin"), offered);
  EXPECT_EQ(Engine->State, 0);
}

TEST_F(ZmodemInterop, RefusesANameThatLeavesTheFolder) {
  // sz -f sends the path as given; from a sibling folder that is "../send/x".
  zmpeer::WriteAll(Root / "send" / "x.bin", RandomBytes(300, 10));
  zmpeer::WriteAll(Root / "send" / "ok.bin", RandomBytes(300, 11));
  fs::create_directories(Root / "other");
  zmpeer::TPeerSession s(*Engine, {"sz", "-q", "-f", "../send/x.bin", "../send/ok.bin"},
                         (Root / "other").string(), PeerErr());
  s.Run(30000);
  ASSERT_FALSE(s.TimedOut) << PeerLog();
  ASSERT_EQ(Ev.Done.size(), 2u);
  EXPECT_EQ(Ev.Done[0], std::make_pair(std::string("../send/x.bin"), false));
  EXPECT_EQ(Ev.Done[1], std::make_pair(std::string("../send/ok.bin"), false));
  // Nothing was written anywhere: not in the receive folder, not beside it.
  EXPECT_TRUE(fs::is_empty(Root / "recv"));
  EXPECT_FALSE(fs::exists(Root / "x.bin"));
  EXPECT_EQ(Engine->State, 0);
}

TEST_F(ZmodemInterop, UploadsToRz) {
  const auto set = TransferSet();
  for (const FileRow& row : set) {
    zmpeer::WriteAll(Root / "send" / row.Name, row.Data);
    Engine->AddUploadFile((Root / "send" / row.Name).string());
  }
  zmpeer::TPeerSession s(*Engine, {"rz", "-q"}, (Root / "recv").string(), PeerErr());
  Engine->StartUpload();
  s.Run(60000);
  ASSERT_FALSE(s.TimedOut) << PeerLog();
  EXPECT_EQ(s.ExitCode, 0) << PeerLog();
  ExpectArrived(set);
  EXPECT_EQ(Ev.SessionEnds, 1);
  EXPECT_EQ(Engine->State, 0);
  EXPECT_EQ(Engine->UploadFileCount(), 0);
}

TEST_F(ZmodemInterop, UploadsWhenRzAnnouncesItself) {
  const Bytes data = RandomBytes(100000, 12);
  zmpeer::WriteAll(Root / "send" / "late.bin", data);
  int asked = 0;
  Engine->OnUploadRequested = [&] {
    ++asked;
    Engine->AddUploadFile((Root / "send" / "late.bin").string());
    Engine->SendToWaitingReceiver();
  };
  zmpeer::TPeerSession s(*Engine, {"rz", "-q"}, (Root / "recv").string(), PeerErr());
  s.Run(30000);
  ASSERT_FALSE(s.TimedOut) << PeerLog();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(s.ExitCode, 0) << PeerLog();
  EXPECT_EQ(zmpeer::ReadAll(Root / "recv" / "late.bin"), data);
}

// Damaged bytes on the line, a few times, well into the file: the receiver
// asks for the data again from the last good position and the file still
// arrives whole.
class LineFault {
 public:
  LineFault(size_t every, int times) : FEvery(every), FLeft(times) {}
  void operator()(uint8_t* data, size_t count) {
    for (size_t i = 1; i < count && FLeft > 0; ++i) {
      if (++FSeen < FEvery) continue;
      // A printable byte not after ZDLE: the framing stays, only the CRC fails.
      if (data[i] >= 0x20 && data[i] < 0x7E && data[i - 1] != 0x18) {
        data[i] ^= 0x01;
        FSeen = 0;
        --FLeft;
      }
    }
  }
  bool Done() const { return FLeft == 0; }

 private:
  size_t FEvery, FSeen = 0;
  int FLeft;
};

TEST_F(ZmodemInterop, RecoversFromDamagedSubpackets) {
  const Bytes data = RandomBytes(3 << 20, 14);
  zmpeer::WriteAll(Root / "send" / "noisy.bin", data);
  for (const Way& row : kBothWays) {
    SCOPED_TRACE(row.Name);
    LineFault fault(700 * 1024, 3);
    auto s = StartOneFile("noisy.bin", row.Upload, std::ref(fault));
    s->Run(60000);
    ASSERT_FALSE(s->TimedOut) << PeerLog();
    EXPECT_TRUE(fault.Done());
    EXPECT_EQ(s->ExitCode, 0) << PeerLog();
    EXPECT_EQ(zmpeer::ReadAll(Root / "recv" / "noisy.bin"), data);
    ASSERT_EQ(Ev.Done.size(), 1u);
    EXPECT_TRUE(Ev.Done[0].second);
    // Damage that falls into bytes already dropped after an earlier one
    // (the sender had more on its way) is never seen as a bad subpacket.
    if (!row.Upload) {
      EXPECT_GE(Engine->ErrorCount, 1);
    }
  }
}

// Our abort must stop the peer at once with a cancel, long before any of
// its own timeouts (ten seconds and more) would.
TEST_F(ZmodemInterop, AbortCancelsThePeer) {
  const Bytes data = RandomBytes(32 << 20, 13);
  zmpeer::WriteAll(Root / "send" / "huge.bin", data);
  for (const Way& row : kBothWays) {
    SCOPED_TRACE(row.Name);
    auto s = StartOneFile("huge.bin", row.Upload);
    s->AfterChunk = [&] { return Ev.Progress.empty() || Ev.Progress.back().first < (1 << 20); };
    s->Run(30000);
    ASSERT_FALSE(s->TimedOut) << PeerLog();
    Engine->Abort();
    EXPECT_EQ(Engine->State, 0);
    const uint64_t start = platform::TickMs();
    EXPECT_TRUE(s->WaitExit(5000)) << "the peer did not stop after our cancel\n" << PeerLog();
    EXPECT_LT(platform::TickMs() - start, 5000u);
    EXPECT_NE(s->ExitCode, 0) << PeerLog();
  }
}

}  // namespace
