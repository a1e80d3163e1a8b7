#include "app/screens/uQuickConnectScreen.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "app/uScreenText.h"
#include "data/uIniFile.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

std::vector<TQuickListRow> LoadQuickConnectList(const std::string& fileName) {
  std::vector<TQuickListRow> rows;
  struct stat st {};
  if (stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return rows;
  TIniFile ini;
  std::string error;
  ini.LoadFromFile(fileName, error);
  for (const std::string& section : ini.SectionNames()) {
    if (rows.size() >= 99) break;
    std::string host = TrimText(ini.ReadString(section, "S", ""));
    if (host.empty()) continue;
    // A port no TCP connection can use is read as the Telnet port, as on the command line.
    int32_t port = ini.ReadInteger(section, "P", 23);
    if (port < 1 || port > 65535) port = 23;
    rows.push_back(TQuickListRow{section, host, port});
  }
  return rows;
}

void TQuickConnectScreen::ConnectRow(int index) {
  if (index < 0 || index >= int(FRows.size())) return;
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = FRows[size_t(index)].Name;
  entry->Host = FRows[size_t(index)].Host;
  entry->Port = uint16_t(FRows[size_t(index)].Port);
  entry->Cols = 80;
  entry->Rows = 25;
  entry->TermType = "ANSI-BBS";
  entry->UseRIP = false;
  entry->UseSixel = true;
  entry->UseUTF8 = false;
  entry->UseRLogin = false;
  FIndex = index;
  FServices.ConnectToEntry(entry);
}

bool TQuickConnectScreen::Char(uint8_t ch, uint32_t) {
  if (ch < '0' || ch > '9') return false;
  const int count = int(FRows.size()), d = ch - '0';
  // A second digit extends the first while that still names a row.
  const int n = FTyped > 0 && FTyped * 10 + d <= count ? FTyped * 10 + d : d;
  FTyped = n >= 1 && n <= count ? n : 0;
  if (FTyped > 0) FIndex = FTyped - 1;
  FServices.Repaint();
  return true;
}

bool TQuickConnectScreen::Key(const TKeyEvent& k) {
  const int last = int(FRows.size()) - 1;
  // Digits come as characters; any key else ends a typed number.
  if (!(k.Key >= vk::Digit(0) && k.Key <= vk::Digit(9)) && !(k.Key >= vk::Numpad0 && k.Key <= vk::Numpad0 + 9))
    FTyped = 0;
  switch (k.Key) {
    case vk::Up: FIndex = std::max(0, FIndex - 1); break;
    case vk::Down: FIndex = std::max(0, std::min(last, FIndex + 1)); break;
    case vk::Home: FIndex = 0; break;
    case vk::End: FIndex = std::max(0, last); break;
    case vk::Return: ConnectRow(FIndex); return true;
    case vk::Escape: FServices.ShowScreen(smDirectory); return true;
    default: return false;
  }
  FServices.Repaint();
  return true;
}

void TQuickConnectScreen::Paint(TScreenFrame& frame) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols(), H = g.Rows();
  g.FillRect(0, 0, W - 1, H - 1, scr::Black);
  const size_t slash = FFileName.find_last_of('/');
  g.DrawListFrame(0, 0, W - 1, H - 1, scr::FaceBlue, scr::Black,
                  "KORVAN Quick Connect - " + (slash == std::string::npos ? FFileName : FFileName.substr(slash + 1)),
                  true);
  if (FRows.empty()) {
    g.DrawTextAt(3, 3, "(list file has no usable [Name]/S=host entries)", TColorRGB{170, 170, 0}, scr::Black);
  } else {
    // Rows 3 to H - 4 show the list; it scrolls so the selected row is
    // always among them.
    const int shown = std::max(1, H - 6);
    FTop = std::clamp(FTop, std::max(0, FIndex - shown + 1), FIndex);
    for (int i = FTop; i < int(FRows.size()) && 3 + i - FTop <= H - 4; ++i) {
      const TQuickListRow& r = FRows[size_t(i)];
      char number[16];
      std::snprintf(number, sizeof number, " [%.2d] ", i + 1);
      const std::string text =
          PadText(PadText(number + r.Name, W - 20) + r.Host + ":" + std::to_string(r.Port), W - 4);
      const bool selected = i == FIndex;
      g.DrawTextAt(2, 3 + i - FTop, text, selected ? scr::White : scr::LightGrey,
                   selected ? scr::FaceBlue : scr::Black);
    }
  }
  g.DrawHRule(1, W - 2, H - 3, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  g.DrawTextAt(2, H - 2, "Up/Down+Enter or type a number to connect (ANSI-BBS only) - Esc for phonebook",
               scr::DarkGrey, scr::Black);
}
