// The whole application driven headless, for tests: a scratch program
// folder with the build's fonts and libraries, the application object with
// a headless window, its loop run until a condition holds, and helpers to
// type keys and read screen rows. Also a reader that strips Telnet commands
// from what a board received.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/uApp.h"
#include "tests/app/AppProbe.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"
#include "platform/Sync.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"

namespace testsupport {


// Telnet negotiation the client sends first; boards in these tests ignore it.
constexpr uint8_t kIac = 255;

// Bytes a board received, with Telnet commands (IAC ...) left out.
inline std::string WithoutTelnetCommands(const Bytes& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == 0) {  // Telnet's bare CR
      out += '\r';
      ++i;
      continue;
    }
    if (in[i] != kIac) {
      out += char(in[i]);
      continue;
    }
    if (i + 1 >= in.size()) break;
    uint8_t cmd = in[i + 1];
    if (cmd == kIac) {
      out += char(kIac);
      ++i;
    } else if (cmd >= 251 && cmd <= 254) {
      i += 2;
    } else if (cmd == 250) {  // subnegotiation up to IAC SE
      size_t j = i + 2;
      while (j + 1 < in.size() && !(in[j] == kIac && in[j + 1] == 240)) ++j;
      i = j + 1;
    } else {
      ++i;
    }
  }
  return out;
}

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    std::filesystem::create_directory_symlink(std::string(KORVAN_BINARY_DIR) + "/fonts", Folder.Path() + "fonts", ec);
    WriteWholeFile(Folder.File("korvan_config.ini"), "[Debug]\nRawLog=1\n");
  }
  void TearDown() override {
    App.reset();
    platform::CheckSynchronize(0);
  }

  TApplication& Start(std::vector<std::string> args = {}) {
    TAppOptions options;
    options.Headless = true;
    options.Args = std::move(args);
    App = std::make_unique<TApplication>(options);
    EXPECT_TRUE(App->Started()) << App->StartError();
    return *App;
  }

  // Runs the loop until Done holds; false after the time limit.
  bool RunUntil(const std::function<bool()>& done, uint32_t ms = 20000) { return App->RunUntil(done, ms); }

  // The text of one screen row.
  std::string Row(int y) const {
    std::string s;
    for (int x = 0; x < App->CallScreen().FWidth; ++x) s += char(App->CallScreen().GetCell(x, y).Ch);
    return s;
  }

  // Whether any row of the call's screen holds Text, and the whole screen
  // for a failure message.
  bool CallScreenHas(const std::string& text) const {
    for (int y = 0; y < App->CallScreen().FHeight; ++y)
      if (Row(y).find(text) != std::string::npos) return true;
    return false;
  }
  std::string CallScreenText() const {
    std::string s;
    for (int y = 0; y < App->CallScreen().FHeight; ++y) s += Row(y) + "\n";
    return s;
  }
  bool StatusIs(const std::string& text, uint32_t ms = 20000) {
    return RunUntil([&] { return App->StatusText() == text; }, ms);
  }

  void Key(uint16_t key, bool shift = false, bool ctrl = false, bool alt = false) {
    App->Window().Post(platform::Event::Key(key, shift, ctrl, alt));
  }
  void Type(const std::string& text) {
    for (unsigned char c : text) App->Window().Post(platform::Event::Character(c));
  }

  // Connects to the listener from the command line and waits until the
  // call is up and the board side is accepted.
  std::unique_ptr<LoopbackPeer> CallBoard(LoopbackListener& board, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"/S127.0.0.1:" + std::to_string(board.Port())};
    args.insert(args.end(), extra.begin(), extra.end());
    Start(args);
    std::unique_ptr<LoopbackPeer> peer;
    EXPECT_TRUE(RunUntil([&] {
      if (!peer) peer = board.Accept(10);
      return peer && App->CallConnected();
    }));
    return peer;
  }

  // What the board received (Telnet commands left out), read while the loop
  // runs until at least Count bytes came or Ms passed.
  std::string BoardReceives(LoopbackPeer& peer, size_t count, uint32_t ms = 10000) {
    std::string got;
    RunUntil([&] {
      got += WithoutTelnetCommands(peer.ReadFor(5));
      return got.size() >= count;
    }, ms);
    return got;
  }

  // A phonebook entry for a board listening on loopback.
  static std::shared_ptr<TPhonebookEntry> LoopbackEntry(const LoopbackListener& board, const std::string& name) {
    auto entry = std::make_shared<TPhonebookEntry>();
    entry->Name = name;
    entry->Host = "127.0.0.1";
    entry->Port = board.Port();
    return entry;
  }

  // Calls Entry and waits until the board side is accepted and the call is up.
  std::unique_ptr<LoopbackPeer> CallEntry(LoopbackListener& board, const std::shared_ptr<TPhonebookEntry>& entry) {
    App->ConnectToEntry(entry, false);
    std::unique_ptr<LoopbackPeer> peer;
    EXPECT_TRUE(RunUntil([&] {
      if (!peer) peer = board.Accept(10);
      return peer && App->CallConnected();
    }));
    return peer;
  }

  // The program's internals, for what nothing outside shows.
  TAppProbe Probe() { return TAppProbe(*App); }

  ScratchAppFolder Folder;
  std::unique_ptr<TApplication> App;
};


}  // namespace testsupport
