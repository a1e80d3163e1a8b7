// The X/Ymodem engine against lrzsz, both ways: files received from sx and sb
// and sent to rx and rb must arrive with the same bytes (Xmodem keeping the
// protocol's padding where the receiver cannot know the size).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "net/uXYmodem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProcess.h"

namespace fs = std::filesystem;
using testsupport::PeerProcess;

namespace {

std::string ReadAll(const fs::path& p) { return testsupport::ReadWholeFile(p.string()); }

// Random bytes that do not end in SUB, so Xmodem's padding cannot be confused
// with the file's own tail.
std::string MakeContent(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  if (!s.empty() && static_cast<uint8_t>(s.back()) == 0x1A) s.back() = 'x';
  return s;
}

void WriteFile(const fs::path& p, const std::string& content) {
  ASSERT_TRUE(testsupport::WriteWholeFile(p.string(), content)) << p;
}

class XYmodemPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* prog : {"sx", "rx", "sb", "rb"})
      ASSERT_FALSE(testsupport::FindProgram(prog).empty())
          << prog << " (package lrzsz) is missing: run scripts/setup.sh";
    ASSERT_FALSE(Temp.Path().empty());
    Root = Temp.Path();
    Src = Root / "src";
    Dst = Root / "dst";
    fs::create_directories(Src);
    fs::create_directories(Dst);
    Engine = std::make_unique<TXYmodemEngine>(Dst.string());
    Engine->OnSend = [this](const uint8_t* d, int n) { Peer.Send(d, n); };
    Engine->OnFileDone = [this](const std::string& name, bool ok) {
      Events.push_back("done " + name + (ok ? " ok" : " failed"));
    };
    Engine->OnBatchDone = [this] { Events.push_back("batch"); };
  }
  void TearDown() override { Peer.Kill(); }

  void StartPeer(std::vector<std::string> argv, const fs::path& cwd) {
    std::string err;
    ASSERT_TRUE(Peer.Start(argv, cwd.string(), (Root / "peer.log").string(), &err)) << err;
  }

  // Moves bytes until the engine is idle and the peer has ended, ticking the
  // engine as the application's timer would. Returns the peer's exit status.
  int Run(int limitMs = 20000) {
    auto start = std::chrono::steady_clock::now();
    bool linkOpen = true;
    int status = -1;
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(limitMs)) {
      if (linkOpen)
        linkOpen = Peer.Pump(10, [this](const uint8_t* d, int n) {
          for (int i = 0; i < n; ++i)
            if (Engine->Mode != TXYmodemEngine::xmIdle && Engine->ProcessByte(d[i]))
              Passed.push_back(static_cast<char>(d[i]));
        });
      Engine->Tick();
      if (Engine->Mode == TXYmodemEngine::xmIdle) {
        // Let the peer read our last answer, then collect it.
        for (int i = 0; i < 50 && linkOpen; ++i) linkOpen = Peer.Pump(10, [](const uint8_t*, int) {});
        if (Peer.Wait(3000, &status)) return status;
        ADD_FAILURE() << "engine finished but the peer did not end\n" << ReadAll(Root / "peer.log");
        return -1;
      }
    }
    ADD_FAILURE() << "transfer did not finish in " << limitMs << " ms; engine mode " << Engine->Mode
                  << "\n" << ReadAll(Root / "peer.log");
    return -1;
  }

  testsupport::TempDir Temp;
  fs::path Root, Src, Dst;
  PeerProcess Peer;
  std::unique_ptr<TXYmodemEngine> Engine;
  std::vector<std::string> Events;
  std::string Passed;
};

struct ReceiveRow {
  const char* label;
  int protocol;
  std::vector<std::string> sxOptions;
  size_t size;
  int expectProtocol;
};

TEST_F(XYmodemPeer, ReceivesFromSx) {
  const ReceiveRow rows[] = {
      {"checksum", xpXmodem, {}, 5000, xpXmodem},
      {"crc", xpXmodemCrc, {}, 5000, xpXmodemCrc},
      {"1k", xpXmodem1K, {"-k"}, 70000, xpXmodem1K},
      {"1k answering a crc request", xpXmodemCrc, {"-k"}, 3000, xpXmodem1K},
      {"automatic", xpAuto, {}, 1000, xpXmodemCrc},
      {"300 bytes, padding removed", xpXmodemCrc, {}, 300, xpXmodemCrc},
      {"exact block multiple", xpXmodemCrc, {}, 1024, xpXmodemCrc},
  };
  for (const ReceiveRow& row : rows) {
    SCOPED_TRACE(row.label);
    std::string content = MakeContent(row.size, static_cast<unsigned>(row.size));
    WriteFile(Src / "up.bin", content);
    Events.clear();
    fs::remove(Dst / "down.bin");  // each row a fresh download, not a second copy
    std::vector<std::string> argv{"sx", "-q"};
    argv.insert(argv.end(), row.sxOptions.begin(), row.sxOptions.end());
    argv.push_back("up.bin");
    StartPeer(argv, Src);
    Engine->StartReceive(row.protocol, "down.bin");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Engine->Protocol, row.expectProtocol);
    EXPECT_EQ(ReadAll(Dst / "down.bin"), content);
    EXPECT_EQ(Events, std::vector<std::string>{"done down.bin ok"});
  }
}

TEST_F(XYmodemPeer, ReceivesBatchFromSb) {
  const std::vector<std::pair<std::string, size_t>> files = {
      {"first.txt", 1000}, {"empty.dat", 0}, {"big.bin", 150000}, {"last.bin", 1024}};
  std::vector<std::string> argv{"sb", "-q"};
  for (auto& [name, size] : files) {
    WriteFile(Src / name, MakeContent(size, static_cast<unsigned>(size) + 7));
    argv.push_back(name);
  }
  for (int protocol : {xpYmodem, xpYmodemG}) {
    SCOPED_TRACE(XYProtocolName(protocol));
    Events.clear();
    fs::remove_all(Dst);
    StartPeer(argv, Src);
    Engine->StartReceive(protocol, "");
    EXPECT_EQ(Run(), 0);
    std::vector<std::string> expected;
    for (auto& [name, size] : files) {
      EXPECT_EQ(fs::file_size(Dst / name), size) << name;
      EXPECT_EQ(ReadAll(Dst / name), ReadAll(Src / name)) << name;
      expected.push_back("done " + name + " ok");
    }
    expected.push_back("done  ok");  // the empty header ends the batch
    EXPECT_EQ(Events, expected);
    EXPECT_EQ(Engine->Protocol, xpYmodem);
  }
}

struct SendRow {
  const char* label;
  int protocol;
  std::vector<std::string> rxOptions;
  size_t size;
  size_t storedSize;  // what rx keeps: the file padded to whole blocks
};

TEST_F(XYmodemPeer, SendsToRx) {
  const SendRow rows[] = {
      {"checksum", xpXmodem, {}, 3000, 3072},
      {"crc", xpXmodemCrc, {"-c"}, 3000, 3072},
      {"crc protocol, checksum receiver", xpXmodemCrc, {}, 300, 384},
      {"1k", xpXmodem1K, {"-c"}, 5000, 5120},
      {"1k, checksum receiver", xpXmodem1K, {}, 2048, 2048},
      {"exact multiple", xpXmodemCrc, {"-c"}, 256, 256},
  };
  for (const SendRow& row : rows) {
    SCOPED_TRACE(row.label);
    std::string content = MakeContent(row.size, static_cast<unsigned>(row.size) + 3);
    WriteFile(Src / "up.bin", content);
    fs::remove(Dst / "got.bin");
    Events.clear();
    std::vector<std::string> argv{"rx", "-q"};
    argv.insert(argv.end(), row.rxOptions.begin(), row.rxOptions.end());
    argv.push_back("got.bin");
    StartPeer(argv, Dst);
    Engine->AddSendFile((Src / "up.bin").string());
    Engine->StartSend(row.protocol);
    EXPECT_EQ(Run(), 0);
    std::string got = ReadAll(Dst / "got.bin");
    ASSERT_EQ(got.size(), row.storedSize);
    EXPECT_EQ(got.substr(0, row.size), content);
    EXPECT_EQ(got.substr(row.size), std::string(row.storedSize - row.size, '\x1A'));
    EXPECT_EQ(Events, (std::vector<std::string>{"done up.bin ok", "batch"}));
  }
}

// rb answers each EOT and asks for each header after a pause of its own (about
// a second each), so the batch is kept short. rb never asks for streaming; the
// streamed sending side is checked against our own receiver.
TEST_F(XYmodemPeer, SendsBatchToRb) {
  const std::vector<std::pair<std::string, size_t>> files = {
      {"one.txt", 777}, {"empty.dat", 0}, {"two.bin", 100000}};
  for (auto& [name, size] : files) {
    WriteFile(Src / name, MakeContent(size, static_cast<unsigned>(size) + 11));
    Engine->AddSendFile((Src / name).string());
  }
  StartPeer({"rb", "-q"}, Dst);
  Engine->StartSend(xpYmodem);
  EXPECT_EQ(Run(), 0);
  for (auto& [name, size] : files) EXPECT_EQ(ReadAll(Dst / name), ReadAll(Src / name)) << name;
  EXPECT_EQ(Events, (std::vector<std::string>{"done two.bin ok", "batch"}));
}

}  // namespace
