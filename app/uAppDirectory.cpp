// The dialing directory (screen mode 0): the framed list of the active
// phonebook with its banner, column header, selection bar, colour families
// by terminal type and the status footer; its keys, mouse rows and the two
// popups it may carry (board-list update question, backup reminder).
#include <algorithm>

#include "app/uApp.h"
#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "core/uFontRenderer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

namespace {

// The 16 text-mode colours in the PC order (1 blue, 4 red) the banner's
// palette indices refer to.
constexpr TColorRGB kVgaPalette[16] = {
    {0, 0, 0},     {0, 0, 170},     {0, 170, 0},     {0, 170, 170},   {170, 0, 0},     {170, 0, 170},
    {170, 85, 0},  {170, 170, 170}, {85, 85, 85},    {85, 85, 255},   {85, 255, 85},   {85, 255, 255},
    {255, 85, 85}, {255, 85, 255},  {255, 255, 85},  {255, 255, 255}};

struct TBannerCell {
  uint8_t Ch, Fg, Bg;
};

// Block letters of the product's name, three rows: '#' full block, 'u'
// upper half, 'l' lower half. Each letter is four cells wide.
const char* const kLetters[6][3] = {
    {"# l#", "#l# ", "# u#"},   // K
    {"l##l", "#  #", "u##u"},   // O
    {"###l", "###u", "# u#"},   // R
    {"#  #", "#  #", " uu "},   // V
    {"l##l", "####", "#  #"},   // A
    {"#l #", "# ##", "#  #"}};  // N

struct TBanner {
  TBannerCell Cells[3][80];
  TBanner() {
    for (int x = 0; x < 80; ++x) {
      Cells[0][x] = {x == 0 ? cp::DoubleTL : x == 79 ? cp::DoubleTR : cp::DoubleH, 1, 0};
      Cells[1][x] = Cells[2][x] = {' ', 7, 0};
    }
    Cells[1][0] = Cells[1][79] = Cells[2][0] = Cells[2][79] = {cp::DoubleV, 1, 0};
    const int width = 6 * 4 + 5, left = (80 - width) / 2;
    for (int x = left - 1; x <= left + width; ++x) Cells[0][x] = {' ', 7, 0};
    for (int l = 0; l < 6; ++l) {
      const uint8_t fg = l < 3 ? 9 : 12, shade = l < 3 ? 1 : 4;
      for (int row = 0; row < 3; ++row)
        for (int i = 0; i < 4; ++i) {
          const char c = kLetters[l][row][i];
          TBannerCell& cell = Cells[row][left + l * 5 + i];
          if (c == '#') cell = {cp::FullBlock, fg, 0};
          if (c == 'l') cell = {220, fg, 0};
          // The bottom row's upper halves sit on the darker shade of the letter.
          if (c == 'u') cell = {223, fg, uint8_t(row == 2 ? shade : 0)};
        }
    }
  }
};

const TBanner& Banner() {
  static const TBanner banner;
  return banner;
}

TColorRGB FamilyColour(const std::string& termType) {
  const std::string t = UpperText(TrimText(termType));
  if (t == "SKYPIX") return {255, 85, 85};
  if (t.rfind("AMIGA", 0) == 0) return {255, 0, 255};
  if (t == "AVATAR") return {170, 0, 0};
  const std::string c = UpperText(CanonicalTermTypeOf(termType));
  if (c == "RIP") return {255, 255, 85};
  if (c == "PETSCII") return {0, 170, 170};
  if (c == "ATASCII") return {0, 255, 0};
  if (c == "ASCII") return {255, 255, 255};
  return {125, 125, 125};
}

// The type column: the trimmed type up to "(", at most 8 characters.
std::string TypeColumnText(const std::string& termType) {
  std::string t = TrimText(termType);
  size_t paren = t.find('(');
  if (paren != std::string::npos) t = TrimText(t.substr(0, paren));
  return t.substr(0, 8);
}

}  // namespace

void TApplication::DrawDirectory(platform::Surface& target, int width, int height) {
  TTerminalBuffer& b = BeginListScreen();
  const int W = b.FWidth, H = b.FHeight;
  TPhonebook* book = ActivePhonebook();
  const bool guide = book && book == FGuidebook.get() && FShowGuide;
  DrawListFrame(0, 0, W - 1, H - 1, scr::FaceBlue, scr::Black,
                guide ? "KORVAN Dialing Directory - Telnet BBS Guide (F11)" : "KORVAN Dialing Directory", true);
  if (W >= 80) {
    const int left = (W - 80) / 2;
    TTextAttributes pen;
    b.SaveAttributes(pen);
    for (int row = 0; row < 3; ++row)
      for (int x = 0; x < 80; ++x) {
        const TBannerCell& c = Banner().Cells[row][x];
        b.SetFgRGB(kVgaPalette[c.Fg]);
        b.SetBgRGB(kVgaPalette[c.Bg]);
        b.WriteCharAt(left + x, row, c.Ch);
      }
    b.RestoreAttributes(pen);
  }
  DrawTextAt(2, 3, PadText("Name", 33) + PadText("Host", 27) + PadText("Port", 8) + "Term", scr::BevelBlue, scr::Black);
  DrawHRule(1, W - 2, 4, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  const int lines = H - 8;
  FDirListRow = 5;
  FDirListRows = lines;
  const int count = book ? book->Count() : 0;
  if (count == 0)
    DrawTextAt(4, 6, "(directory is empty - press Ins to add a BBS entry)", TColorRGB{170, 170, 0}, scr::Black);
  if (FDirectoryRow < FDirTop) FDirTop = FDirectoryRow;
  if (FDirectoryRow > FDirTop + lines - 1) FDirTop = FDirectoryRow - lines + 1;
  if (FDirTop < 0) FDirTop = 0;
  for (int i = 0; i < lines && FDirTop + i < count; ++i) {
    const int n = FDirTop + i, y = 5 + i;
    const TPhonebookEntry& e = *book->GetEntry(n);
    const std::string name = PadText(e.Name.substr(0, 32), 33), host = PadText(e.Host.substr(0, 26), 27);
    const std::string port = PadText(std::to_string(e.Port), 8), type = TypeColumnText(e.TermType);
    if (n == FDirectoryRow) {
      FillRect(2, y, W - 3, y, scr::FaceBlue);
      DrawTextAt(2, y, name + host + port + type, scr::White, scr::FaceBlue);
      continue;
    }
    TColorRGB bg = scr::Black;
    if (n % 2 == 1) {
      bg = TColorRGB{16, 16, 16};
      FillRect(2, y, W - 3, y, bg);
    }
    DrawTextAt(2, y, name, TColorRGB{0, 230, 230}, bg);
    DrawTextAt(35, y, host, scr::LightGrey, bg);
    DrawTextAt(62, y, port, scr::DarkGrey, bg);
    DrawTextAt(70, y, type, FamilyColour(e.TermType), bg);
  }
  DrawHRule(1, W - 2, H - 3, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  DrawFooter(W, H);
  RenderListScreen(target, width, height);
  ClearPopupLayer();
  if (FGuidePrompt)
    DrawGuideUpdatePrompt();
  else if (FBackupDue)
    DrawBackupReminder();
  if (FPopupsDrawn) FRenderer->Present(target, 0, 0, width, height, false);
}

bool TApplication::DirectoryRowAt(int cellRow, int& index) const {
  TPhonebook* book = ActivePhonebook();
  const int offset = cellRow - FDirListRow;
  index = FDirTop + offset;
  if (offset >= 0 && offset < FDirListRows && book && index >= 0 && index < book->Count()) return true;
  index = -1;
  return false;
}

void TApplication::HandleDirectoryKey(uint16_t key, bool shift, bool ctrl, bool alt) {
  (void)shift;
  TPhonebook* book = ActivePhonebook();
  const int count = book ? book->Count() : 0;
  const int last = count - 1;
  switch (key) {
    case vk::Return:
      if (std::shared_ptr<TPhonebookEntry> e = book ? book->GetEntry(FDirectoryRow) : nullptr) {
        ConnectToEntry(e, false);
        return;
      }
      break;
    case vk::Escape:
      // The call's screen was never touched by the directory: going back
      // shows it as it is now. Without a call the screen starts blank.
      if (!FTelnet) {
        FBuffer->ClearScreen(false);
        FBuffer->SetCursorVisible(true);
        FBuffer->ResetAttributes();
      }
      FMode = smOnline;
      break;
    case vk::Prior: FDirectoryRow = std::min(std::max(FDirectoryRow - 10, 0), last); break;
    case vk::Next: FDirectoryRow = std::min(FDirectoryRow + 10, last); break;
    case vk::Home: FDirectoryRow = count > 0 ? 0 : -1; break;
    case vk::End: FDirectoryRow = last; break;
    case vk::Up:
      if (FDirectoryRow > 0) --FDirectoryRow;
      break;
    case vk::Down:
      if (FDirectoryRow < last) ++FDirectoryRow;
      break;
    case vk::Insert: {
      if (!book) break;
      std::shared_ptr<TPhonebookEntry> e = book->Add();
      e->TermType = FConfig->DefaultTermType;
      FDirectoryRow = book->Count() - 1;
      OpenEntryEditor(e);
      return;
    }
    case vk::Delete:
      if (!book || count == 0) break;
      book->Delete(FDirectoryRow);
      FDirectoryRow = std::min(FDirectoryRow, book->Count() - 1);
      break;
    default:
      if (key >= vk::Letter('A') && key <= vk::Letter('Z') && !alt && !ctrl && count > 0) {
        const char letter = char('A' + (key - vk::Letter('A')));
        for (int k = 1; k <= count; ++k) {
          const int n = (FDirectoryRow + k) % count;
          const std::string name = UpperText(TrimText(book->GetEntry(n)->Name));
          if (!name.empty() && name[0] == letter) {
            FDirectoryRow = n;
            break;
          }
        }
        break;
      }
      return;
  }
  Invalidate();
}

void TApplication::MoveDirectoryEntry(int delta) {
  TPhonebook* book = ActivePhonebook();
  if (!book) return;
  const int before = FDirectoryRow;
  if (delta < 0 && before > 0 && before < book->Count()) {
    book->MoveUp(before);
    --FDirectoryRow;
  } else if (delta > 0 && before >= 0 && before < book->Count() - 1) {
    book->MoveDown(before);
    ++FDirectoryRow;
  } else {
    return;
  }
  if (!book->SaveToFile()) FStatus = "Phonebook not saved: " + book->LastError();
  Invalidate();
}

bool TApplication::PixelToCell(int x, int y, int& col, int& row) const {
  if (!FRenderer || !FWindow) return false;
  return FRenderer->ClientToCell(x, y, 0, 0, FWindow->ClientWidth(), FWindow->ClientHeight(), col, row);
}

void TApplication::ScreenMouseDown(int x, int y) {
  int col = 0, row = 0;
  if (!PixelToCell(x, y, col, row)) return;
  if (FMode == smDirectory) {
    int index = -1;
    if (DirectoryRowAt(row, index)) FDirectoryRow = index;
  } else if (FMode == smEditor) {
    std::shared_ptr<TPhonebookEntry> entry = EditorEntry();
    if (!entry) return;
    for (int f = 0; f < kEditFieldCount; ++f)
      if (FEditRowY[size_t(f)] == row && col >= FEditRowX0[size_t(f)] && col <= FEditRowX1[size_t(f)]) {
        EditorClickField(*entry, f);
        break;
      }
  }
  Invalidate();
}

void TApplication::ScreenDoubleClick(int x, int y) {
  int col = 0, row = 0;
  if (!PixelToCell(x, y, col, row)) return;
  if (FMode == smDirectory) {
    int index = -1;
    if (!DirectoryRowAt(row, index)) return;
    FDirectoryRow = index;
    ConnectToEntry(ActivePhonebook()->GetEntry(index), false);
  } else if (FMode == smEditor && IsToggleEditField(FEditField)) {
    SetEditText(SameTextNoCase(FEditText, "Yes") ? "No" : "Yes");
  }
  Invalidate();
}
