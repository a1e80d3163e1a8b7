// A door command interpreter on a bench: an engine that records what it is
// handed, the texts sent to the door, the debug log in a scratch file, a
// clock and a calendar the test moves, and an asset folder of its own.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "core/uDebugLog.h"
#include "door/uDDOFXParser.h"
#include "tests/support/ChildProcess.h"

namespace ddofxtest {

constexpr char kGS = 0x1D;

// A door pack: one 24-byte directory entry per file, a closing empty
// entry, then the files' bytes.
inline std::string MakePack(const std::vector<std::pair<std::string, std::string>>& entries) {
  auto put32 = [](std::string& s, size_t at, uint64_t v) {
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
  };
  std::string dir((entries.size() + 1) * 24, '\0'), data;
  for (size_t i = 0; i < entries.size(); ++i) {
    dir.replace(i * 24, entries[i].first.size(), entries[i].first);
    put32(dir, i * 24 + 12, (entries.size() + 1) * 24 + data.size());
    put32(dir, i * 24 + 16, entries[i].second.size());
    data += entries[i].second;
  }
  return dir + data;
}

// One framed command as a door sends it.
inline std::string Cmd(const std::string& text) { return std::string(1, kGS) + "{" + text + "}"; }

class TRecordingEngine : public TDDOFXEngine {
 public:
  bool GraphicsMode() const override { return Graphics; }
  bool ExecCommand(const std::string& command) override {
    Commands.push_back(command);
    return false;
  }
  bool BackgroundPaused() const override { return Paused; }
  bool TextWindowActive() const override { return WindowOpen; }
  void FeedTextWindow(uint8_t b) override { Window.push_back(char(b)); }
  void SetField(int n, const TDDOFXFieldView& field) override {
    if (n >= 1 && n <= 250) Fields[size_t(n - 1)] = field;
  }
  void RayKeyPress(int hkey, int lkey) override { RayKeys.push_back({hkey, lkey}); }

  bool Graphics = false, Paused = false, WindowOpen = false;
  std::vector<std::string> Commands;
  std::string Window;
  TDDOFXFieldView Fields[250];
  std::vector<std::pair<int, int>> RayKeys;
};

class DDOFXBench : public ::testing::Test {
 protected:
  DDOFXBench() {
    LogEnabled = true;
    LogOpen(FLogDir.File("debug.log"));
    auto engine = std::make_unique<TRecordingEngine>();
    Engine = engine.get();
    Parser = std::make_unique<TDDOFXParser>(nullptr, std::move(engine));
    Parser->Sender = [this](const std::string& text) { Sent += text; };
    Parser->Clock = [this] { return NowMs; };
    Parser->LocalTime = [this] { return Local; };
    Parser->Sleep = [this](uint32_t ms) { Slept.push_back(ms); };
    Parser->ProgramFolder = Program.Path();
    Parser->SetAssetDir(Assets.Path());
  }
  ~DDOFXBench() override {
    Parser.reset();
    LogClose();
    LogEnabled = false;
  }

  // Feeds Bytes as received; returns the bytes handed on to the terminal.
  std::string Feed(const std::string& bytes) {
    std::string passed;
    for (char c : bytes)
      if (!Parser->FilterByte(uint8_t(c))) passed.push_back(c);
    return passed;
  }
  void Run(const std::string& command) { Feed(Cmd(command)); }
  // What the door got since the last call.
  std::string TakeSent() {
    std::string s;
    s.swap(Sent);
    return s;
  }
  size_t EngineCount(const std::string& command) const {
    size_t n = 0;
    for (const std::string& c : Engine->Commands) n += c == command;
    return n;
  }
  std::string Log() {
    LogFlushPending();
    return testsupport::ReadWholeFile(FLogDir.File("debug.log"));
  }
  size_t LogCount(const std::string& text) {
    const std::string log = Log();
    size_t n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  testsupport::TempDir FLogDir, Program, Assets;
  TRecordingEngine* Engine = nullptr;
  std::unique_ptr<TDDOFXParser> Parser;
  std::string Sent;
  uint64_t NowMs = 1000000;
  std::tm Local{};
  std::vector<uint32_t> Slept;
};

}  // namespace ddofxtest
