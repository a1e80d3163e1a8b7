#include "app/screens/uDirectoryScreen.h"

#include <algorithm>

#include "app/screens/uEntryEditor.h"
#include "app/screens/uPopups.h"
#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

const char* const kDirectoryStatus = "Enter: Connect  Alt+E: Edit  Alt+C: Config  Alt+Z: Help  Alt+X: Exit";

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

void TDirectoryScreen::Paint(TScreenFrame& frame) {
  TCellGrid& g = frame.Grid();
  TTerminalBuffer& b = g.Buffer();
  const int W = g.Cols(), H = g.Rows();
  TPhonebook* book = FServices.ActivePhonebook();
  g.DrawListFrame(0, 0, W - 1, H - 1, scr::FaceBlue, scr::Black,
                  FServices.ShowingBoardList() ? "KORVAN Dialing Directory - Telnet BBS Guide (F11)"
                                               : "KORVAN Dialing Directory",
                  true);
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
  g.DrawTextAt(2, 3, PadText("Name", 33) + PadText("Host", 27) + PadText("Port", 8) + "Term", scr::BevelBlue,
               scr::Black);
  g.DrawHRule(1, W - 2, 4, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  const int lines = H - 8;
  FListRow = 5;
  FListRows = lines;
  const int count = book ? book->Count() : 0;
  if (count == 0)
    g.DrawTextAt(4, 6, "(directory is empty - press Ins to add a BBS entry)", TColorRGB{170, 170, 0}, scr::Black);
  if (FIndex < FTop) FTop = FIndex;
  if (FIndex > FTop + lines - 1) FTop = FIndex - lines + 1;
  if (FTop < 0) FTop = 0;
  for (int i = 0; i < lines && FTop + i < count; ++i) {
    const int n = FTop + i, y = 5 + i;
    const TPhonebookEntry& e = *book->GetEntry(n);
    const std::string name = PadText(e.Name.substr(0, 32), 33), host = PadText(e.Host.substr(0, 26), 27);
    const std::string port = PadText(std::to_string(e.Port), 8), type = TypeColumnText(e.TermType);
    if (n == FIndex) {
      g.FillRect(2, y, W - 3, y, scr::FaceBlue);
      g.DrawTextAt(2, y, name + host + port + type, scr::White, scr::FaceBlue);
      continue;
    }
    TColorRGB bg = scr::Black;
    if (n % 2 == 1) {
      bg = TColorRGB{16, 16, 16};
      g.FillRect(2, y, W - 3, y, bg);
    }
    g.DrawTextAt(2, y, name, TColorRGB{0, 230, 230}, bg);
    g.DrawTextAt(35, y, host, scr::LightGrey, bg);
    g.DrawTextAt(62, y, port, scr::DarkGrey, bg);
    g.DrawTextAt(70, y, type, FamilyColour(e.TermType), bg);
  }
  g.DrawHRule(1, W - 2, H - 3, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  g.DrawFooter(FServices.StatusText());
  // At most one question over the list, the update question first.
  const TPopups& popups = FServices.Popups();
  if (popups.GuidePrompt)
    popups.DrawGuideUpdatePrompt(frame.Popups(), !frame.StandardFont());
  else if (popups.BackupDue)
    popups.DrawBackupReminder(frame.Popups(), !frame.StandardFont());
}

bool TDirectoryScreen::RowAt(int cellRow, int& index) const {
  TPhonebook* book = FServices.ActivePhonebook();
  const int offset = cellRow - FListRow;
  index = FTop + offset;
  if (offset >= 0 && offset < FListRows && book && index >= 0 && index < book->Count()) return true;
  index = -1;
  return false;
}

void TDirectoryScreen::ClampSelection(int count) {
  if (count == 0)
    FIndex = 0;
  else if (FIndex >= count)
    FIndex = count - 1;
}

void TDirectoryScreen::OpenEditor(const std::shared_ptr<TPhonebookEntry>& entry) {
  FServices.OpenScreen(std::make_shared<TEntryEditorScreen>(FServices, entry));
}

void TDirectoryScreen::MoveEntry(int delta) {
  TPhonebook* book = FServices.ActivePhonebook();
  if (!book) return;
  const int before = FIndex;
  if (delta < 0 && before > 0 && before < book->Count()) {
    book->MoveUp(before);
    --FIndex;
  } else if (delta > 0 && before >= 0 && before < book->Count() - 1) {
    book->MoveDown(before);
    ++FIndex;
  } else {
    return;
  }
  if (!book->SaveToFile()) FServices.SetStatusText("Phonebook not saved: " + book->LastError());
}

bool TDirectoryScreen::Key(const TKeyEvent& k) {
  // A key that moves the selection has the new row read out.
  const int before = FIndex;
  const bool handled = SelectionKey(k);
  if (FIndex != before) FServices.SpeakDirectoryLine(FIndex);
  return handled;
}

bool TDirectoryScreen::SelectionKey(const TKeyEvent& k) {
  TPhonebook* book = FServices.ActivePhonebook();
  const int count = book ? book->Count() : 0;
  const int last = count - 1;
  if (k.Alt) {
    // The directory's own Alt keys: edit the selected entry, move it.
    if (k.Key == vk::Letter('E')) {
      std::shared_ptr<TPhonebookEntry> e = book ? book->GetEntry(FIndex) : nullptr;
      if (!e) return false;
      OpenEditor(e);
      return true;
    }
    if (k.Key == vk::Up || k.Key == vk::Down) {
      MoveEntry(k.Key == vk::Up ? -1 : +1);
      return true;
    }
    return false;
  }
  switch (k.Key) {
    case vk::Return:
      if (std::shared_ptr<TPhonebookEntry> e = book ? book->GetEntry(FIndex) : nullptr) FServices.ConnectToEntry(e);
      return true;
    case vk::Escape: FServices.ShowScreen(smOnline); return true;
    case vk::Prior: FIndex = std::min(std::max(FIndex - 10, 0), last); return true;
    case vk::Next: FIndex = std::min(FIndex + 10, last); return true;
    case vk::Home: FIndex = count > 0 ? 0 : -1; return true;
    case vk::End: FIndex = last; return true;
    case vk::Up:
      if (FIndex > 0) --FIndex;
      return true;
    case vk::Down:
      if (FIndex < last) ++FIndex;
      return true;
    case vk::Insert: {
      if (!book) return true;
      std::shared_ptr<TPhonebookEntry> e = book->Add();
      e->TermType = FServices.Config().DefaultTermType;
      FIndex = book->Count() - 1;
      OpenEditor(e);
      return true;
    }
    case vk::Delete:
      if (!book || count == 0) return true;
      book->Delete(FIndex);
      FIndex = std::min(FIndex, book->Count() - 1);
      return true;
    default:
      break;
  }
  if (k.Key >= vk::Letter('A') && k.Key <= vk::Letter('Z') && !k.Ctrl && count > 0) {
    // The next entry, wrapping around, whose name starts with the letter.
    const char letter = char('A' + (k.Key - vk::Letter('A')));
    for (int step = 1; step <= count; ++step) {
      const int n = (FIndex + step) % count;
      const std::string name = UpperText(TrimText(book->GetEntry(n)->Name));
      if (!name.empty() && name[0] == letter) {
        FIndex = n;
        break;
      }
    }
    return true;
  }
  return false;
}

bool TDirectoryScreen::Mouse(const TMouseEvent& m) {
  TPhonebook* book = FServices.ActivePhonebook();
  int index = -1;
  switch (m.Kind) {
    case TMouseKind::Down:
      if (m.Button != button::Left || !m.OnCell) return false;
      if (RowAt(m.Row, index)) {
        FIndex = index;
        FServices.SpeakDirectoryLine(FIndex);
      }
      return true;
    case TMouseKind::DoubleClick:
      if (m.Button != button::Left || !m.OnCell || !RowAt(m.Row, index)) return false;
      FIndex = index;
      FServices.ConnectToEntry(book->GetEntry(index));
      return true;
    case TMouseKind::Wheel: {
      const int last = book ? book->Count() - 1 : -1;
      if (m.WheelUp && FIndex > 0) --FIndex;
      if (!m.WheelUp && FIndex < last) ++FIndex;
      return true;
    }
    case TMouseKind::Up:
    case TMouseKind::Move: break;
  }
  return false;
}
