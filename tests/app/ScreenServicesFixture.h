// Program screens on their own, without the application: a stand-in that
// offers the screen services over a real phonebook and real settings in a
// scratch folder and keeps what a screen asked of it (the screens shown and
// opened, the calls, the status text), and a painter that composes a screen
// into a grid of any size the way the application does before it renders.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/screens/uPopups.h"
#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"
#include "tests/support/ChildProcess.h"

class TTestServices : public TScreenServices {
 public:
  explicit TTestServices(const std::string& folder)
      : Book(std::make_unique<TPhonebook>(folder + "korvan.ini")),
        Guide(std::make_unique<TPhonebook>(folder + "bbsguide.ini")),
        Settings(folder + "korvan_config.ini") {}

  TPhonebook* ActivePhonebook() const override { return ShowGuide ? Guide.get() : Book.get(); }
  bool ShowingBoardList() const override { return ShowGuide; }
  TAppConfig& Config() override { return Settings; }
  const std::vector<std::string>& FontList() override { return Fonts; }
  const std::string& StatusText() const override { return Status; }
  void SetStatusText(const std::string& text) override { Status = text; }
  const TPopups& Popups() const override { return PopupState; }
  void ShowToast(const std::string& title, const std::string& text, uint32_t) override {
    PopupState.Toast.Title = title;
    PopupState.Toast.Text = text;
  }
  TScreenMode ScreenMode() const override { return Mode; }
  void ShowScreen(TScreenMode mode) override { Shown.push_back(mode); }
  void OpenScreen(std::shared_ptr<TScreen> screen) override {
    screen->Enter();
    Opened.push_back(std::move(screen));
  }
  void CloseScreen() override { ++Closed; }
  void SetScreenTimer(uint32_t ms) override { TimerMs = ms; }
  void Repaint() override {}
  void SpeakDirectoryLine(int) override {}
  void ConnectToEntry(const std::shared_ptr<TPhonebookEntry>& entry) override { Calls.push_back(entry); }
  bool CallOpen() const override { return false; }
  void BeginEntryEdit(const std::shared_ptr<TPhonebookEntry>& entry) override { Editing = entry; }
  void EndEntryEdit() override { EditEnded = true; }
  std::string ClipboardText() override { return Clipboard; }
  void Quit(const std::string& reason) override { QuitReason = reason; }
  void ApplyScreenScale() override { ++ScaleApplied; }
  void ApplyFolderSettings() override { ++FoldersApplied; }

  std::unique_ptr<TPhonebook> Book, Guide;
  bool ShowGuide = false;
  TAppConfig Settings;
  std::vector<std::string> Fonts;
  std::string Status;
  TPopups PopupState;
  TScreenMode Mode = smOnline;
  std::vector<TScreenMode> Shown;
  std::vector<std::shared_ptr<TScreen>> Opened;
  int Closed = 0;
  uint32_t TimerMs = 0;
  std::vector<std::shared_ptr<TPhonebookEntry>> Calls;
  std::shared_ptr<TPhonebookEntry> Editing;
  bool EditEnded = false;
  std::string Clipboard;
  std::string QuitReason;
  int ScaleApplied = 0, FoldersApplied = 0;
};

// One painted frame: the composed grid, the popup layer over it, the caret.
struct TPaintedFrame {
  TPaintedFrame(int cols, int rows) : Grid(std::make_unique<TTerminalBuffer>(cols, rows)) {
    TCellGrid(*Grid).Clear();
    Popups.Reset(Grid->FWidth, Grid->FHeight);
  }
  std::string Row(int y) const {
    std::string s;
    for (int x = 0; x < Grid->FWidth; ++x) s += char(Grid->GetCell(x, y).Ch);
    return s;
  }
  std::string Text(int x, int y, int n) const { return Row(y).substr(size_t(x), size_t(n)); }
  TCell Cell(int x, int y) const { return Grid->GetCell(x, y); }
  // The popup layer's text of a row, blank where nothing was drawn.
  std::string PopupRow(int y) const {
    std::string s;
    for (int x = 0; x < Popups.Cols(); ++x) {
      const TPopupCell* p = Popups.At(x, y);
      s += p ? char(p->Cell.Ch) : ' ';
    }
    return s;
  }
  // The popup layer's text, all rows.
  std::string PopupText() const {
    std::string s;
    for (int y = 0; y < Popups.Rows(); ++y) s += PopupRow(y) + "\n";
    return s;
  }

  std::unique_ptr<TTerminalBuffer> Grid;
  TPopupLayer Popups;
  bool Caret = false;
  int CaretCol = -1, CaretRow = -1;
  TColorRGB CaretColour{};
};

inline std::unique_ptr<TPaintedFrame> PaintScreen(TScreen& screen, int cols = 80, int rows = 25,
                                                   bool standardFont = true) {
  auto painted = std::make_unique<TPaintedFrame>(cols, rows);
  platform::Surface surface;
  TScreenFrame frame(*painted->Grid, painted->Popups, surface, standardFont);
  screen.Paint(frame);
  painted->Caret = frame.HasCaret();
  painted->CaretCol = frame.CaretCol();
  painted->CaretRow = frame.CaretRow();
  painted->CaretColour = frame.CaretColour();
  return painted;
}

inline TKeyEvent KeyOf(uint16_t key, bool shift = false, bool ctrl = false, bool alt = false) {
  return TKeyEvent{key, shift, ctrl, alt, 0};
}

// Entries for a phonebook, one per row "Name|Host|Port|TermType" (the
// later fields may be left out).
inline void AddPhonebookRows(TPhonebook& book, const std::vector<std::string>& rows) {
  for (const std::string& row : rows) {
    std::vector<std::string> f;
    size_t at = 0;
    for (;;) {
      size_t bar = row.find('|', at);
      f.push_back(row.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
      if (bar == std::string::npos) break;
      at = bar + 1;
    }
    TPhonebookEntryPtr e = book.Add();
    e->Name = f[0];
    if (f.size() > 1) e->Host = f[1];
    if (f.size() > 2) e->Port = uint16_t(std::stoi(f[2]));
    if (f.size() > 3) e->TermType = f[3];
  }
}

// A scratch folder with a services stand-in over it.
class ScreenUnitTest : public ::testing::Test {
 protected:
  void Fill(const std::vector<std::string>& rows) { AddPhonebookRows(*Services.Book, rows); }
  // The phonebook as saved on disk.
  TPhonebook Saved() {
    TPhonebook book(Folder.File("korvan.ini"));
    EXPECT_TRUE(book.LoadFromFile());
    return book;
  }

  testsupport::TempDir Folder;
  TTestServices Services{Folder.Path()};
};

inline bool SameColour(TColorRGB a, TColorRGB b) { return a.R == b.R && a.G == b.G && a.B == b.B; }
#define EXPECT_COLOUR(actual, r, g, b) \
  EXPECT_TRUE(SameColour((actual), TColorRGB{r, g, b})) \
      << "colour " << int((actual).R) << "," << int((actual).G) << "," << int((actual).B)
