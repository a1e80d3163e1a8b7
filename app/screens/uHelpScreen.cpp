#include "app/screens/uHelpScreen.h"

#include <algorithm>
#include <cctype>

#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

const char* const kHelpStatus = "Alt+=: About   Alt+Z: Help   Alt+X: Quit";

namespace {

// CP437 arrows.
const std::string kUp(1, char(24)), kDown(1, char(25)), kRight(1, char(26)), kLeft(1, char(27));

}  // namespace

int HelpKeyCharClass(char c) {
  if (c == ' ' || c == '+' || c == '-' || c == '/') return 0;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return 1;
  if (c >= '0' && c <= '9') return 2;
  return 3;
}

bool CompareHelpKeys(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = HelpKeyCharClass(a[i]), cb = HelpKeyCharClass(b[i]);
    if (ca != cb) return ca < cb;
    const int ua = std::toupper(uint8_t(a[i])), ub = std::toupper(uint8_t(b[i]));
    if (ua != ub) return ua < ub;
  }
  return a.size() < b.size();
}

std::vector<THelpItem> HelpItems() {
  std::vector<THelpItem> items = {
      {"NAVIGATION", "Esc", "Back / cancel screen"},
      {"NAVIGATION", kUp + " " + kDown + " " + kLeft + " " + kRight, "Move lightbar/cursor"},
      {"NAVIGATION", "PgUp/PgDn", "Jump 10 / scrollback"},
      {"NAVIGATION", "Home/End", "Jump to top/bottom"},
      {"PHONEBOOK", "Enter", "Connect / commit field"},
      {"PHONEBOOK", "Alt+E", "Edit selected entry"},
      {"PHONEBOOK", "Ins", "Add new entry"},
      {"PHONEBOOK", "Del", "Delete selected entry"},
      {"PHONEBOOK", "Alt+" + kUp + "/" + kDown, "Move entry in list"},
      {"PHONEBOOK", "Alt+D", "Open phonebook"},
      {"PHONEBOOK", "Alt+Q", "Quick dial host[:port]"},
      {"PHONEBOOK", "Alt+I", "Import phonebook file"},
      {"PHONEBOOK", "Alt+C", "Configuration screen"},
      {"SESSION", "Alt+H", "Hang up connection"},
      {"SESSION", "Alt+L", "Send saved login"},
      {"SESSION", "Scroll Lock", "Pause/resume output"},
      {"SESSION", "Alt+B", "Toggle scrollback mode"},
      {"SESSION", "Alt+8", "Toggle UTF-8 mode"},
      {"SESSION", "Alt+W", "Toggle doorway mode"},
      {"SESSION", "Alt+G", "Toggle session capture"},
      {"SESSION", "Alt+P", "Save screenshot (.png)"},
      {"SESSION", "Alt+N", "Save screen as .ans"},
      {"SESSION", "Alt+V", "Save whole scrollback"},
      {"SESSION", "Alt+M", "ANSI music on/off"},
      {"SESSION", "Alt+J", "Local shell ($SHELL)"},
      {"SESSION", "Alt+T", "Copy screen as text"},
      {"SESSION", "F1-F10", "Send F-key macro"},
      {"SESSION", "F12", "Cycle fonts (no macro)"},
      {"SCRIPTS", "Alt+O", "Run / stop a script"},
      {"SCRIPTS", "Ctrl+O", "Record a script"},
      {"SCRIPTS", "Shift+F1-F10", "Run script hotkey"},
      {"FILE TRANSFERS", "Alt+U", "Zmodem upload"},
      {"FILE TRANSFERS", "Alt+A", "ASCII line upload"},
      {"FILE TRANSFERS", "Alt+Y", "Xmodem/Ymodem download"},
      {"FILE TRANSFERS", "Alt+K", "Xmodem/Ymodem upload"},
      {"WINDOW & APP", "Alt+Enter", "Toggle fullscreen"},
      {"WINDOW & APP", "Alt+R", "SCRN RDR: on/off"},
      {"WINDOW & APP", "Alt+F", "SCRN RDR: prompts only"},
      {"WINDOW & APP", "Alt+S", "Toggle status bar"},
      {"WINDOW & APP", "F11", "Switch phonebook list"},
      {"WINDOW & APP", "Ctrl+F11", "Refresh Guide list"},
      {"WINDOW & APP", "Shift+F12", "Sharp/normal font"},
      {"WINDOW & APP", "Ctrl+" + kLeft + "/" + kRight, "Screen size down/up"},
      {"CLIPBOARD", "Ctrl+C", "Copy selection"},
      {"CLIPBOARD", "Ctrl+V", "Paste clipboard"},
      {"CLIPBOARD", "Shift+Mouse", "Select/paste in mouse doors"},
  };
  // An entry moves back only past entries of its own section that it sorts
  // before, so sections stay together and equal keys keep their order.
  for (size_t i = 1; i < items.size(); ++i) {
    THelpItem item = items[i];
    size_t j = i;
    while (j > 0 && items[j - 1].Section == item.Section && CompareHelpKeys(item.Key, items[j - 1].Key)) {
      items[j] = items[j - 1];
      --j;
    }
    items[j] = item;
  }
  // Each section goes to the column that holds fewer entries so far (the
  // left one on a tie); headings are not counted.
  int counts[2] = {0, 0};
  for (size_t i = 0; i < items.size();) {
    size_t end = i;
    while (end < items.size() && items[end].Section == items[i].Section) ++end;
    const int column = counts[1] < counts[0] ? 1 : 0;
    counts[column] += int(end - i);
    for (size_t k = i; k < end; ++k) items[k].Column = column;
    i = end;
  }
  return items;
}

void THelpScreen::Enter() {
  if (!FOpened) {
    FOpened = true;
    FScroll = 0;
  }
  FServices.SetStatusText(kHelpStatus);
}

void THelpScreen::Paint(TScreenFrame& frame) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols(), H = g.Rows(), L = 2, R = W - 3, S = L + (R - L) / 2;
  const int firstRow = 2, lastRow = H - 4;
  g.FillRect(0, 0, W - 1, H - 1, scr::Black);
  g.DrawFramedBox(0, 0, W - 1, H - 1, scr::FaceBlue, scr::Black, "KORVAN Help - Keyboard Commands", true, scr::White);

  const std::vector<THelpItem> items = HelpItems();
  int used[2] = {0, 0};
  for (int column = 0; column < 2; ++column) {
    const int left = column == 0 ? L : S + 1, right = column == 0 ? S - 1 : R;
    size_t keyWidth = 0;
    for (const THelpItem& it : items)
      if (it.Column == column) keyWidth = std::max(keyWidth, it.Key.size());
    const int keyX = left + 1, descX = keyX + int(keyWidth) + 2, descW = std::max(3, right - descX + 1);
    int y = firstRow - FScroll;
    const std::string* section = nullptr;
    for (const THelpItem& it : items) {
      if (it.Column != column) continue;
      if (!section || *section != it.Section) {
        section = &it.Section;
        if (y >= firstRow && y <= lastRow) {
          g.DrawHRule(left, right, y, scr::Navy, scr::Black, false, cp::SingleH, cp::SingleH);
          g.DrawTextAt(keyX - 1, y, " " + it.Section + " ", scr::TitleYellow, scr::Black);
        }
        ++y;
      }
      if (y >= firstRow && y <= lastRow) {
        g.DrawTextAt(keyX, y, it.Key, scr::Cyan, scr::Black);
        g.DrawTextAt(descX, y, PadText(it.Description, descW), scr::LightGrey, scr::Black);
        if (int(it.Description.size()) > descW && LogEnabled)
          LogLine("Help: \"" + it.Description + "\" cut to " + std::to_string(descW) + " chars");
      }
      ++y;
    }
    used[column] = y - (firstRow - FScroll);
  }
  FTotalRows = std::max(used[0], used[1]);
  FVisibleRows = H - 5;

  const int sepLast = FTotalRows > FVisibleRows ? lastRow : firstRow + FTotalRows - 1;
  for (int y = firstRow; y <= sepLast; ++y) g.DrawTextAt(S, y, std::string(1, char(cp::SingleV)), scr::Navy, scr::Black);
  g.DrawHRule(1, W - 2, H - 3, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  g.DrawFooter(FServices.StatusText());
  if (FScroll > 0) g.DrawTextAt(W - 5, 1, " " + std::string(1, char(24)) + " ", scr::DarkGrey, scr::Black);
  if (FTotalRows - FScroll > FVisibleRows)
    g.DrawTextAt(W - 5, H - 3, " " + std::string(1, char(25)) + " ", scr::DarkGrey, scr::Black);
}

bool THelpScreen::Key(const TKeyEvent& k) {
  // A modifier pressed on its way to a chord is no key of its own.
  if (k.Key == vk::Shift || k.Key == vk::Control || k.Key == vk::Menu) return true;
  switch (k.Key) {
    case vk::Up: --FScroll; break;
    case vk::Down: ++FScroll; break;
    case vk::Prior: FScroll -= FVisibleRows; break;
    case vk::Next: FScroll += FVisibleRows; break;
    case vk::Home: FScroll = 0; break;
    case vk::End: FScroll = FTotalRows - FVisibleRows; break;
    default:
      FServices.CloseScreen();
      return true;
  }
  FScroll = std::max(0, std::min(FScroll, FTotalRows - FVisibleRows));
  FServices.Repaint();
  return true;
}

bool THelpScreen::Mouse(const TMouseEvent& m) {
  if (m.Kind != TMouseKind::Down) return false;
  FServices.CloseScreen();
  return true;
}
