// A headless application in a scratch program folder for the screen tests:
// write korvan.ini before Start, post keys, characters and clicks, paint a
// frame into the back buffer and read the composed cells back.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/uApp.h"
#include "core/uFontRenderer.h"
#include "data/uDateTime.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"
#include "tests/app/AppFixture.h"
#include "tests/app/ScreenServicesFixture.h"

class ScreenFixture : public testsupport::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    WriteConfig(false);
  }
  // The settings file; with BackupDue the last backup is old enough for the
  // reminder to open at start.
  void WriteConfig(bool backupDue) {
    const std::string last = FormatIsoDate(NowDateTime() - (backupDue ? 100 : 0));
    testsupport::WriteWholeFile(Folder.File("korvan_config.ini"),
                                "[Config]\nLastPhonebookBackup=" + last + "\n[Debug]\nRawLog=1\n");
  }
  // One phonebook section per entry: "Name|Host|Port|TermType".
  void WritePhonebook(const std::vector<std::string>& rows) {
    TPhonebook book(Folder.File("korvan.ini"));
    AddPhonebookRows(book, rows);
    ASSERT_TRUE(book.SaveToFile());
  }

  // Starts the program and leaves the splash for the directory.
  TApplication& Start(std::vector<std::string> args = {}) {
    AppFixture::Start(std::move(args));
    if (App->ScreenMode() == smSplash) {
      Key(platform::vk::Space);
      Pump();
    }
    return *App;
  }

  void Pump(uint32_t ms = 30) { App->RunUntil([] { return false; }, ms); }

  // Waits until the program called the board and the call is up.
  std::unique_ptr<testsupport::LoopbackPeer> AwaitCall(testsupport::LoopbackListener& board) {
    std::unique_ptr<testsupport::LoopbackPeer> peer;
    EXPECT_TRUE(RunUntil([&] {
      if (!peer) peer = board.Accept(10);
      return peer && App->CallConnected();
    }));
    return peer;
  }

  void Keys(uint16_t key, int times) {
    for (int i = 0; i < times; ++i) Key(key);
  }
  // The client pixel in the middle of a cell of the painted grid.
  void ClickCell(int col, int row, bool twice = false) {
    const int cw = App->Window().ClientWidth() / App->LastFrameGrid().FWidth;
    const int ch = App->Window().ClientHeight() / App->LastFrameGrid().FHeight;
    const int x = col * cw + cw / 2, y = row * ch + ch / 2;
    App->Window().Post(platform::Event::Mouse(platform::EventKind::MouseDown, x, y, 1));
    App->Window().Post(platform::Event::Mouse(platform::EventKind::MouseUp, x, y, 1));
    if (twice) App->Window().Post(platform::Event::Mouse(platform::EventKind::MouseDouble, x, y, 1));
  }

  // Paints one frame of the current screen.
  void Paint() { App->PaintFrame(); }

  // What the last frame showed under its popups (Row hides the base
  // fixture's row of the call's buffer).
  const TTerminalBuffer& Screen() const { return App->LastFrameGrid(); }
  std::string Row(int y) const {
    std::string s;
    for (int x = 0; x < Screen().FWidth; ++x) s += char(Screen().GetCell(x, y).Ch);
    return s;
  }
  std::string Text(int x, int y, int n) const { return Row(y).substr(size_t(x), size_t(n)); }
  TCell Cell(int x, int y) const { return Screen().GetCell(x, y); }
  // The popup layer's text of a row (blank where no popup drew).
  std::string PopupRow(int y) const {
    std::string s;
    for (int x = 0; x < App->LastFramePopups().Cols(); ++x) {
      const TPopupCell* p = App->LastFramePopups().At(x, y);
      s += p ? char(p->Cell.Ch) : ' ';
    }
    return s;
  }
};
