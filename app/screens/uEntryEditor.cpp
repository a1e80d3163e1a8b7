#include "app/screens/uEntryEditor.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/screens/uDirectoryScreen.h"
#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "core/uDebugLog.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

const char* const kEditorStatus = "Up/Dn: field   Enter: next   Left/Right: move/toggle   Esc: save & back";

namespace {

const char* const kFieldLabels[kEditFieldCount] = {
    "Name",     "Host",         "Port",          "Term Type",    "Screen Size",   "Font",
    "Sixel",    "iTerm2 Images", "ICE Colors",   "UTF-8",        "IEMSI",         "Sim. Baud Rate",
    "Username", "Password",     "Script",        "Protocol",     "Key File",      "Trust New Key",
    "Trust New Cert", "Client Cert", "Client Key", "RLogin Client", "RLogin Server", "Shell Command"};

// Help lines by row; rows 3 and 5 take theirs from the preset and font name.
const char* const kFieldHelp[kEditFieldCount] = {
    "Label shown in the phonebook list - purely cosmetic, never sent anywhere; doesn't need to match the host",
    "Hostname or IP address to connect to - the same thing you'd type after \"telnet\" or \"ssh\" on a command line",
    "TCP port to connect on - auto-set when Protocol cycles to its default (23/22/992/513); override by hand for "
    "non-standard ports",
    "",
    "Terminal width x height reported to the BBS (COLSxROWS, e.g. 80x25) - affects word-wrap/menus, not this "
    "window's size",
    "",
    "Sixel bitmap graphics - lets the BBS send real images (photos, rendered art) as escape sequences instead of "
    "character art",
    "iTerm2 inline images (OSC 1337 File=) - a modern Sixel alternative some BBS/door software uses for "
    "PNG/JPEG/GIF; off by default since it's new",
    "Blink SGR shows a bright background (ICE colors) instead of blinking - matches most BBS ANSI art; No = real "
    "blinking text",
    "Decode incoming text as UTF-8 instead of CP437 - only for BBSes that actually send UTF-8; most classic boards "
    "expect CP437",
    "Auto-answers a BBS/door's IEMSI login banner (FTSC FSC-0056) with this entry's Username/Password - harmless if "
    "never sent",
    "Cosmetic only - paces incoming bytes like a real modem, so screens draw in slowly. Off = fast as the wire "
    "allows (default)",
    "Login name sent when the BBS asks for one - left blank to type it by hand at connect time instead of storing "
    "it here",
    "Login password sent when the BBS asks for one. F2 shows/hides it while editing. Stored in korvan.ini in plain "
    "text - keep that file private",
    "KVScript to run on connect - just the name (e.g. harbor), loaded from KORVAN's scripts/ folder. Blank = none. "
    "See SCRIPTING.txt",
    "Telnet: plain text.  SSH: encrypted.  TelnetS: TLS.  RLogin: trusts a client username.  Raw: bare socket.  "
    "Shell: local process",
    "Path to a private key file to authenticate with instead of/alongside a password - blank logs in with "
    "Username/Password only",
    "Yes: silently accept and remember this SSH server's host key the first time it's seen - No: ask before "
    "trusting an unknown key",
    "Yes: silently accept this TelnetS server's TLS cert even if self-signed/unverifiable - No: ask before trusting "
    "it",
    "PEM file with a TLS client certificate to present during the TelnetS handshake (mutual-TLS boards only) - "
    "blank sends none",
    "PEM private key for Client Cert above - blank if Client Cert is a combined cert+key file. Password unlocks it "
    "if encrypted",
    "Username on THIS machine that the rlogin server is asked to trust (sent as the \"client\" name in the rlogin "
    "login string)",
    "Username to log in as on the remote host (the rlogin \"server\" name) - what you'd normally just call "
    "\"username\"",
    "Command line to launch (Shell only) - blank runs $SHELL, else /bin/sh. For another shell, point this at its "
    "program, e.g. /bin/bash"};

bool IsChoiceField(int f) {
  return f == efTermType || f == efScreenSize || f == efFontName || f == efSimBaud || f == efProtocol;
}

std::string YesNo(bool b) { return b ? "Yes" : "No"; }

// The entry's text field behind a text row, null for the other kinds
// (const or not, as the entry is).
template <class Entry>
auto TextFieldOf(Entry& e, int f) -> decltype(&e.Name) {
  switch (f) {
    case efName: return &e.Name;
    case efHost: return &e.Host;
    case efTermType: return &e.TermType;
    case efFontName: return &e.FontName;
    case efUsername: return &e.Username;
    case efPassword: return &e.Password;
    case efSSHKeyFile: return &e.SSHKeyFile;
    case efTlsClientCertFile: return &e.TlsClientCertFile;
    case efTlsClientKeyFile: return &e.TlsClientKeyFile;
    case efRLoginClientUser: return &e.RLoginClientUser;
    case efRLoginServerUser: return &e.RLoginServerUser;
    case efShellCommand: return &e.ShellCommand;
    default: return nullptr;
  }
}

template <class Entry>
auto FlagFieldOf(Entry& e, int f) -> decltype(&e.UseSixel) {
  switch (f) {
    case efUseSixel: return &e.UseSixel;
    case efUseITerm2Images: return &e.UseITerm2Images;
    case efIceColors: return &e.IceColors;
    case efUseUTF8: return &e.UseUTF8;
    case efUseIEMSI: return &e.UseIEMSI;
    case efSSHTrustNewKey: return &e.SSHTrustNewKey;
    case efTlsTrustNewCert: return &e.TlsTrustNewCert;
    default: return nullptr;
  }
}

// The text read as a whole number, 0 when it is not one.
int64_t IntOrZero(const std::string& text) {
  int64_t v = 0;
  return TryParseInt(TrimText(text), v) ? v : 0;
}

int LongestLabel(int first, int last) {
  size_t n = 0;
  for (int f = first; f <= last; ++f) n = std::max(n, std::string(kFieldLabels[f]).size());
  return int(n);
}

}  // namespace

bool TEntryEditorScreen::IsToggleEditField(int f) {
  return (f >= efUseSixel && f <= efUseIEMSI) || f == efSSHTrustNewKey || f == efTlsTrustNewCert;
}

std::string FontDisplayName(const std::string& stem) {
  static const std::pair<const char*, const char*> kNamed[] = {
      {"PETSCII_40COL_UPPER_8x16", "PETSCII 40 COLUMN (Upper/Graphics)"},
      {"PETSCII_40COL_LOWER_8x16", "PETSCII 40 COLUMN (Lower/Upper)"},
      {"PETSCII_80COL_UPPER_8x16", "PETSCII 80 COLUMN (Upper/Graphics)"},
      {"PETSCII_80COL_LOWER_8x16", "PETSCII 80 COLUMN (Lower/Upper)"},
      {"ATASCII_8x16", "ATASCII (Atari 8-bit)"}};
  for (const auto& [file, shown] : kNamed)
    if (stem == file) return shown;
  std::string s = stem;
  std::replace(s.begin(), s.end(), '_', ' ');
  return s;
}

std::string LastCallAgeText(TDateTime lastConnected) {
  if (lastConnected <= 0) return "Never";
  double secs = std::floor((NowDateTime() - lastConnected) * 86400.0);
  if (secs < 0) secs = 0;
  if (secs < 60) return "just now";
  if (secs < 3600) return std::to_string(int64_t(secs / 60)) + " min ago";
  if (secs < 86400) return std::to_string(int64_t(secs / 3600)) + " hr ago";
  const int64_t days = int64_t(secs / 86400);
  return days == 1 ? "1 day ago" : std::to_string(days) + " days ago";
}

TEntryEditorScreen::TEntryEditorScreen(TScreenServices& services, std::shared_ptr<TPhonebookEntry> entry)
    : FServices(services), FEntry(std::move(entry)) {}

void TEntryEditorScreen::Enter() {
  if (FOpened) return;
  FOpened = true;
  FServices.BeginEntryEdit(FEntry);
  BeginEditField(efName);
  FServices.SetStatusText(kEditorStatus);
}

bool TEntryEditorScreen::EntryStillListed() {
  TPhonebook* book = FServices.ActivePhonebook();
  if (FEntry && book && book->IndexOf(FEntry.get()) >= 0) return true;
  FServices.SetStatusText(kDirectoryStatus);
  FServices.ShowScreen(smDirectory);
  return false;
}

void TEntryEditorScreen::BeginEditField(int field) {
  FField = field;
  FPasswordVisible = false;
  FLine.Set(EditFieldText(*FEntry, field));
}

std::string TEntryEditorScreen::EditFieldText(const TPhonebookEntry& entry, int field) {
  if (const std::string* text = TextFieldOf(entry, field)) return *text;
  if (const bool* flag = FlagFieldOf(entry, field)) return YesNo(*flag);
  switch (field) {
    case efPort: return std::to_string(entry.Port);
    case efScreenSize: return std::to_string(entry.Cols) + "x" + std::to_string(entry.Rows);
    case efSimBaud: return SimBaudText(entry.SimBaudRate);
    case efScript: return entry.KVScript;
    case efProtocol:
      if (entry.UseSSH) return "SSH";
      if (entry.UseTelnetS) return "TelnetS";
      if (entry.UseRLogin) return "RLogin";
      if (entry.UseRaw) return "Raw";
      if (entry.UseShell) return "Shell";
      return "Telnet";
    default: return "";
  }
}

void TEntryEditorScreen::CommitEditField() {
  TPhonebookEntry& entry = *FEntry;
  const std::string& text = FLine.Text;
  const int f = FField;
  if (std::string* field = TextFieldOf(entry, f)) {
    *field = text;
    return;
  }
  if (bool* flag = FlagFieldOf(entry, f)) {
    *flag = SameTextNoCase(text, "Yes");
    return;
  }
  int64_t v = 0;
  switch (f) {
    case efScript:
      entry.KVScript = TrimText(text);
      break;
    case efPort:
      // The port is 16 bits: a number beyond that is refused, not wrapped.
      if (!TryParseInt(text, v)) {
        entry.Port = 23;
      } else if (v < 0 || v > 65535) {
        FServices.SetStatusText("Port " + text + " is out of range (0-65535) - not changed.");
        LogLine("Editor: port text \"" + text + "\" out of range, port left at " + std::to_string(entry.Port));
      } else {
        entry.Port = uint16_t(v);
      }
      break;
    case efScreenSize: {
      size_t x = text.find_first_of("xX");
      if (x == std::string::npos) break;
      int64_t c = IntOrZero(text.substr(0, x)), r = IntOrZero(text.substr(x + 1));
      // Stored only when both fit a screen the buffer can hold.
      if (c > 0 && r > 0 && c <= TTerminalBuffer::MaxWidth && r <= TTerminalBuffer::MaxHeight) {
        entry.Cols = uint16_t(c);
        entry.Rows = uint16_t(r);
      }
      break;
    }
    case efSimBaud: {
      const std::string t = TrimText(text);
      if (SameTextNoCase(t, "Off"))
        entry.SimBaudRate = 0;
      else if (TryParseInt(t, v) && v >= 0 && v <= std::numeric_limits<int32_t>::max())
        entry.SimBaudRate = int32_t(v);
      break;
    }
    case efProtocol:
      entry.UseSSH = SameTextNoCase(text, "SSH");
      entry.UseTelnetS = SameTextNoCase(text, "TelnetS");
      entry.UseRLogin = SameTextNoCase(text, "RLogin");
      entry.UseRaw = SameTextNoCase(text, "Raw");
      entry.UseShell = SameTextNoCase(text, "Shell");
      break;
    default:
      break;
  }
}

void TEntryEditorScreen::LeaveEditor() {
  FServices.EndEntryEdit();
  FServices.SetStatusText(kDirectoryStatus);
  TPhonebook* book = FServices.ActivePhonebook();
  if (book && !book->SaveToFile()) FServices.SetStatusText("Phonebook not saved: " + book->LastError());
  FServices.ShowScreen(smDirectory);
}

void TEntryEditorScreen::CommitAndLeave() {
  CommitEditField();
  LeaveEditor();
}

void TEntryEditorScreen::MoveEditField(int delta, bool leaveAfterLast) {
  CommitEditField();
  int target = FField + delta;
  if (target >= kEditFieldCount && leaveAfterLast) {
    LeaveEditor();
    return;
  }
  BeginEditField(std::clamp(target, 0, kEditFieldCount - 1));
}

void TEntryEditorScreen::ClickField(int field) {
  CommitEditField();
  BeginEditField(field);
}

bool TEntryEditorScreen::Key(const TKeyEvent& k) {
  if (!EntryStillListed()) return true;
  TPhonebookEntry& e = *FEntry;
  const int f = FField;
  if (k.Ctrl && !k.Alt && k.Key == vk::Letter('V')) {
    Paste();
  } else if (k.Key == vk::Fn(2) && f == efPassword) {
    FPasswordVisible = !FPasswordVisible;
  } else if (k.Key == vk::Return) {
    MoveEditField(+1, true);
  } else if (k.Key == vk::Up || k.Key == vk::Down) {
    MoveEditField(k.Key == vk::Up ? -1 : +1, false);
  } else if (k.Key == vk::Escape) {
    CommitAndLeave();
  } else if (k.Key == vk::Left || k.Key == vk::Right) {
    const int d = k.Key == vk::Left ? -1 : +1;
    if (IsToggleEditField(f))
      FLine.Set(SameTextNoCase(FLine.Text, "Yes") ? "No" : "Yes");
    else if (f == efTermType)
      CycleTermType(e, FLine, d);
    else if (f == efScreenSize)
      CycleEntryScreenSize(e, FLine, d);
    else if (f == efFontName)
      CycleFont(FServices.FontList(), FLine, d);
    else if (f == efSimBaud)
      CycleSimBaud(e, FLine, d);
    else if (f == efProtocol)
      CycleProtocol(e, FLine, d);
    else if (d < 0)
      FLine.Left();
    else if (!FLine.Right() && f <= efPort) {
      // At the end of Name, Host or Port: on to the row beside it.
      CommitEditField();
      BeginEditField(f + 3);
    }
  } else if (k.Key == vk::Home) {
    FLine.Home();
  } else if (k.Key == vk::End) {
    FLine.End();
  } else if (k.Key == vk::Delete) {
    FLine.Delete();
  } else if (k.Key == vk::Back) {
    FLine.Backspace();
  } else {
    return false;
  }
  return true;
}

bool TEntryEditorScreen::Char(uint8_t ch, uint32_t) {
  if (!EntryStillListed()) return true;
  const int f = FField;
  if (IsToggleEditField(f)) {
    if (ch == ' ') FLine.Set(SameTextNoCase(FLine.Text, "Yes") ? "No" : "Yes");
    if (ch == 'Y' || ch == 'y') FLine.Set("Yes");
    if (ch == 'N' || ch == 'n') FLine.Set("No");
    return true;
  }
  if (ch < 32) return true;
  if (f == efPort && (ch < '0' || ch > '9')) return true;
  FLine.Insert(std::string(1, char(ch)));
  return true;
}

bool TEntryEditorScreen::Mouse(const TMouseEvent& m) {
  if (m.Kind == TMouseKind::Down && m.Button == button::Right) {
    Paste();
    return true;
  }
  if (m.Button != button::Left || !m.OnCell || !EntryStillListed()) return false;
  if (m.Kind == TMouseKind::Down) {
    for (int f = 0; f < kEditFieldCount; ++f) {
      const TRowPlace& p = FPlaces[size_t(f)];
      if (p.Y == m.Row && m.Col >= p.X0 && m.Col <= p.X1) {
        ClickField(f);
        break;
      }
    }
    return true;
  }
  if (m.Kind == TMouseKind::DoubleClick && IsToggleEditField(FField)) {
    FLine.Set(SameTextNoCase(FLine.Text, "Yes") ? "No" : "Yes");
    return true;
  }
  return false;
}

void TEntryEditorScreen::Paste() {
  const std::string text = PastableLine(FServices.ClipboardText());
  if (!text.empty()) FLine.Insert(text);
}

void TEntryEditorScreen::Paint(TScreenFrame& frame) {
  if (!EntryStillListed()) return;
  const TPhonebookEntry& e = *FEntry;
  TCellGrid& g = frame.Grid();
  const int W = g.Cols(), H = g.Rows(), L = 2, R = W - 3;
  g.DrawFramedBox(0, 0, W - 1, H - 1, scr::FaceBlue, scr::Black, "Edit Phonebook Entry", true, scr::White);
  g.DrawHRule(L, R, 1, scr::Navy, scr::Black, false, cp::SingleH, cp::SingleH);
  g.DrawTextAt(L, 1, " CONNECTION ", scr::TitleYellow, scr::Black);

  struct TPlace {
    int LabelX, LabelW, ValueX, ValueW, Y;
  };
  std::array<TPlace, kEditFieldCount> place{};
  const int M = L + (R - L + 1) / 2;
  {
    const int lc = L + 1, lw = LongestLabel(0, 2);
    const int vc = lc + lw + 2, vw = std::max(3, M - lw - lc - 3);
    for (int f = 0; f <= 2; ++f) place[size_t(f)] = {lc, lw, vc, vw, 2 + f};
  }
  {
    const int lc = M + 1, lw = LongestLabel(3, 5);
    const int vc = lc + lw + 2, vw = std::max(3, R - lw - lc - 2);
    for (int f = 3; f <= 5; ++f) place[size_t(f)] = {lc, lw, vc, vw, 2 + f - 3};
  }
  g.DrawHRule(L, R, 6, scr::Navy, scr::Black, false, cp::SingleH, cp::SingleH);
  const int S = L + (R - L) / 2;
  const int n = 9;
  const struct {
    int Left, Right, First, Last;
    const char* Title;
  } columns[2] = {{L, S - 1, efUseSixel, efScript, "DISPLAY & LOGIN"}, {S + 1, R, efProtocol, efShellCommand, "SECURITY"}};
  for (const auto& c : columns) {
    const int lc = c.Left + 1, lw = LongestLabel(c.First, c.Last);
    const int vc = lc + lw + 2, vw = std::max(3, c.Right - vc);
    for (int f = c.First; f <= c.Last; ++f) place[size_t(f)] = {lc, lw, vc, vw, 7 + f - c.First};
    g.DrawTextAt(lc - 1, 6, std::string(" ") + c.Title + " ", scr::TitleYellow, scr::Black);
  }
  for (int y = 7; y < 7 + n; ++y) g.DrawTextAt(S, y, std::string(1, char(cp::SingleV)), scr::Navy, scr::Black);

  for (int f = 0; f < kEditFieldCount; ++f) {
    const TPlace& p = place[size_t(f)];
    const bool current = f == FField;
    std::string value = current ? FLine.Text : EditFieldText(e, f);
    if ((f == efFontName && SameTextNoCase(value, DefaultFontStem)) ||
        (f == efTermType && SameTextNoCase(value, DefaultTermTypeName)))
      value += " (DEFAULT)";
    if (f == efPassword && !value.empty()) {
      if (!current)
        value = "********";
      else if (!FPasswordVisible)
        value = std::string(value.size(), '*');
    }
    if (current && (IsChoiceField(f) || IsToggleEditField(f))) value = "< " + value + " >";
    const TColorRGB fg = current ? scr::White : scr::LightGrey, bg = current ? scr::FaceBlue : scr::Black;
    if (current) g.FillRect(p.LabelX - 1, p.Y, p.ValueX + p.ValueW, p.Y, scr::FaceBlue);
    g.DrawTextAt(p.LabelX, p.Y, PadText(kFieldLabels[f], p.LabelW) + ":", scr::Cyan, bg);
    g.DrawTextAt(p.ValueX, p.Y, PadText(value, p.ValueW), fg, bg);
    if (current && !IsChoiceField(f) && !IsToggleEditField(f)) {
      const int offset = std::min(FLine.Caret, p.ValueW - 1);
      if (offset >= 0) frame.ShowCaret(p.ValueX + offset, p.Y, fg);
    }
    FPlaces[size_t(f)] = {p.Y, p.LabelX, p.ValueX + p.ValueW - 1};
  }

  // Help line of the current row, or a warning that the entry cannot connect.
  std::string help = kFieldHelp[FField];
  if (FField == efTermType) help = TermTypeDescription(FLine.Text);
  if (FField == efFontName) help = FontDisplayName(FLine.Text);
  TColorRGB helpFg = scr::DarkGrey;
  if (FField == efHost && TrimText(FLine.Text).empty()) {
    help = "Host is empty - this entry won't be able to connect until one is set";
    helpFg = scr::AlertRed;
  } else if (FField == efPort && IntOrZero(FLine.Text) == 0) {
    help = "Port is 0 - this entry won't be able to connect until a real port is set";
    helpFg = scr::AlertRed;
  }
  const int hw = R - L + 1;
  std::string line1 = help, line2;
  if (int(help.size()) > hw) {
    size_t cut = help.rfind(' ', size_t(hw - 1));
    cut = cut == std::string::npos ? size_t(hw - 1) : cut;  // 0-based index of the cut
    line1 = help.substr(0, cut);
    line2 = TrimText(help.substr(cut + 1)).substr(0, size_t(hw));
  }
  const int helpRow = 7 + n + 1;
  if (!line1.empty() && helpRow < H - 3) g.DrawTextAt(L, helpRow, PadText(line1, hw), helpFg, scr::Black);
  if (!line2.empty() && helpRow + 1 < H - 3) g.DrawTextAt(L, helpRow + 1, PadText(line2, hw), helpFg, scr::Black);

  g.DrawHRule(1, W - 2, H - 3, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  if (helpRow + 1 < H - 4) {
    std::string info = "Last Connected: " + LastCallAgeText(e.LastConnected) +
                       "    Times Connected: " + std::to_string(e.TimesConnected);
    info = info.substr(0, size_t(std::max(0, W - 4)));
    g.DrawTextAt(2 + std::max(0, (W - 4 - int(info.size())) / 2), H - 4, info, scr::White, scr::Black);
  }
  g.DrawFooter(FServices.StatusText());
}
