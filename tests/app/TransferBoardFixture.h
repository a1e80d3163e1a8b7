// The whole program calling boards for transfer tests: a board that is a
// real transfer program (lrzsz) on the far end of a raw loopback call, run
// by socat in the board's own folder; an upload folder and a download folder
// in the program's folder; and helpers to reach the picker on screen and
// read the popups painted over the online screen.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/screens/uFilePicker.h"
#include "tests/app/ScreenFixture.h"

class TransferBoardFixture : public ScreenFixture {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    Up = Folder.Path() + "up/";
    Down = Folder.Path() + "down/";
    BoardDir = Folder.Path() + "board/";
    std::filesystem::create_directories(Up);
    std::filesystem::create_directories(BoardDir);
    WriteSettings("");
  }
  void TearDown() override {
    Board.Stop();
    ScreenFixture::TearDown();
  }

  // The settings file: the upload and download folders, a recent backup
  // (no reminder), then More.
  void WriteSettings(const std::string& more) {
    testsupport::WriteWholeFile(Folder.File("korvan_config.ini"),
                                "[Config]\nUploadDir=up\nDownloadDir=down\nLastPhonebookBackup=" +
                                    FormatIsoDate(NowDateTime()) + "\n" + more + "\n[Debug]\nRawLog=1\n");
  }

  // Starts the program and calls a board whose end of a raw call is the
  // shell command Command, run in BoardDir when the call is accepted.
  void CallProgramBoard(const std::string& command) {
    for (const char* program : {"socat", "rz", "sz", "rx", "sx", "rb", "sb"})
      ASSERT_FALSE(testsupport::FindProgram(program).empty()) << program << " is needed: run scripts/setup.sh";
    const uint16_t port = testsupport::FreeLoopbackPort();
    testsupport::ChildProcess::Options options;
    options.WorkingDir = BoardDir;
    options.OutputFile = Folder.File("board.log");
    ASSERT_TRUE(Board.Start({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                             "SYSTEM:" + command},
                            options));
    Start();
    // socat listens a moment after it starts; a refused call is tried again.
    for (int i = 0; i < 100 && !App->CallConnected(); ++i) {
      auto entry = std::make_shared<TPhonebookEntry>();
      entry->Name = "program board";
      entry->Host = "127.0.0.1";
      entry->Port = port;
      entry->UseRaw = true;
      App->ConnectToEntry(entry, false);
      RunUntil([&] { return App->CallConnected() || !App->CallOpen(); }, 2000);
      if (!App->CallConnected()) {
        App->DisconnectCurrent();
        usleep(50000);
      }
    }
    ASSERT_TRUE(App->CallConnected()) << "no call to the board";
  }

  // Calls a scripted board listening on loopback with a raw call.
  std::unique_ptr<testsupport::LoopbackPeer> CallRawBoard(testsupport::LoopbackListener& board) {
    auto entry = LoopbackEntry(board, "scripted board");
    entry->UseRaw = true;
    return CallEntry(board, entry);
  }

  // The picker on screen, or null.
  std::shared_ptr<TFilePickerScreen> Picker() const {
    return std::dynamic_pointer_cast<TFilePickerScreen>(App->CurrentScreen());
  }
  bool AwaitPicker() {
    return RunUntil([&] { return Picker() != nullptr; }, 10000);
  }
  // Moves the picker's selection to Name (keys through the program) and
  // waits until it got there.
  void SelectInPicker(const std::string& name) {
    auto picker = Picker();
    ASSERT_TRUE(picker);
    int index = -1;
    for (size_t i = 0; i < picker->Items().size(); ++i)
      if (picker->Items()[i].Name == name) index = int(i);
    ASSERT_GE(index, 0) << name << " is not listed";
    Key(platform::vk::Home);
    for (int i = 0; i < index; ++i) Key(platform::vk::Down);
    ASSERT_TRUE(RunUntil([&] { return Picker() && Picker()->Selected() == index; }, 5000));
  }
  // A menu answered from the keyboard as the window delivers it: the key
  // goes down, and a digit then also types its character.
  void MenuAnswer(uint16_t key) {
    Key(key);
    if (key >= platform::vk::Digit(0) && key <= platform::vk::Digit(9))
      Type(std::string(1, char('0' + (key - platform::vk::Digit(0)))));
    RunNoting([] { return false; }, 50);
  }
  // Keys and a wait until the loop has handled them.
  void KeyAndPump(uint16_t key, bool alt = false) {
    Key(key, false, false, alt);
    RunNoting([] { return false; }, 50);
  }

  // Runs the loop like RunUntil, noting each status text shown on the way
  // (a call that ends replaces the last one with its own).
  bool RunNoting(const std::function<bool()>& done, uint32_t ms = 20000) {
    return RunUntil([&] {
      if (Seen.empty() || Seen.back() != App->StatusText()) Seen.push_back(App->StatusText());
      return done();
    }, ms);
  }
  bool WasShown(const std::string& status) const {
    return std::find(Seen.begin(), Seen.end(), status) != Seen.end();
  }
  std::string SeenText() const {
    std::string all;
    for (const std::string& s : Seen) all += "\n  " + s;
    return all;
  }

  // The popup layer's text over the online screen, painted now.
  std::string PopupText() {
    Paint();
    std::string text;
    for (int y = 0; y < App->LastFramePopups().Rows(); ++y) text += PopupRow(y) + "\n";
    return text;
  }

  // Bytes of the given size: random, or heavy in the bytes Zmodem escapes.
  static std::string RandomBytes(size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::mt19937 rng(seed);
    for (char& c : data) c = char(rng());
    return data;
  }
  static std::string EscapeHeavyBytes(size_t size) {
    const std::string pattern = "\x18\xff\x18\x18\x11\x13\x91\x93\xff\xff\x10\x90\r\x8d*\x18";
    std::string data;
    while (data.size() < size) data += pattern;
    data.resize(size);
    return data;
  }
  static bool SameFiles(const std::string& a, const std::string& b) {
    return system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
  }

  std::string Up, Down, BoardDir;
  testsupport::ChildProcess Board;
  std::vector<std::string> Seen;
};
