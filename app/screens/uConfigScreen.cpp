#include "app/screens/uConfigScreen.h"

#include <algorithm>
#include <limits>

#include "app/uAppGuide.h"
#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "data/uConfig.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

const char* const kConfigStatus = "Up/Dn: field   PgUp/PgDn: page   Enter: next   Esc: save & back";

namespace {

// The longest text a row takes, typed or pasted.
constexpr int kMaxConfigText = 250;

const char* const kPageOneLabels[cfScriptKeysLink + 1] = {
    "Default Term Type", "Screen Scale", "Download Directory", "Upload Directory", "Capture Directory",
    "BBS Guide Archive Name", "ANSI Music", "ATASCII Lenient CR/LF", "PETSCII Lenient Letters",
    "ASCII Upload Delay (ms)", "-> F1-F10 Editable Macro Keys", "-> External Door Programs",
    "-> Shift+F1-F10 Script Keys"};

std::string PageOneHelp(int field) {
  switch (field) {
    case cfTermType: return "Used for newly-created phonebook entries";
    case cfScreenScale:
      return "Window size, 1x-3x in 0.5 steps, then Full Screen (same as Alt+Enter). Applies live as you cycle it, "
             "and is remembered as the size KORVAN starts at next time";
    case cfDownloadDir:
      return "Where Zmodem downloads are saved (relative to the korvan program, or an absolute path like /tmp)";
    case cfUploadDir:
      return "Default folder browsed when sending a file (relative to the korvan program, or an absolute path like "
             "/tmp)";
    case cfCaptureDir:
      return "Where Alt+G captures (.ans + .log), Alt+P screenshots (.png), and Alt+N ANSI exports (.ans) are saved. "
             "Leave blank to use the Download Directory above.";
    case cfGuideArchiveName:
      return std::string("Filename Ctrl+F11 downloads from ") + kGuideServiceHost +
             ". %MMYY%/%MM%/%YY%/%YYYY% expand to the date; a full URL also works. Blank = default";
    case cfAnsiMusic:
      return "Play embedded ESC[M...^N BASIC PLAY macros (Qmodem/TeliMate/ansi.sys-style ANSI Music)";
    case cfAtasciiLenientCRLF:
      return "Treat plain CR/LF as line breaks in ATASCII sessions - off is byte-exact hardware behavior, but "
             "garbles boards that mix plain-ASCII banners into ATASCII";
    case cfPetsciiLenientLetters:
      return "Show lowercase/0xC0-0xDE bytes as letters without a charset switch - off is byte-exact, but garbles "
             "boards that print plain banners in PETSCII mode";
    case cfAsciiLineDelay:
      return "Milliseconds between lines of an ASCII (Alt+A) upload - paces slower BBS input buffers, like mTelnet "
             "does. 0 = no pacing";
    case cfFKeyMacrosLink:
      return "Press Enter (or double-click) to open the F1-F10 macro page and assign text to send when each key is "
             "pressed";
    case cfExternalDoorsLink:
      return "Press Enter (or double-click) to open the external door programs page and assign up to 8 local "
             "programs to Ctrl+F1..Ctrl+F8";
    default:
      return "Press Enter (or double-click) to open the script hotkeys page and assign a script from the scripts "
             "folder to each of Shift+F1..Shift+F10";
  }
}

std::string ListHelp(int field) {
  if (IsFKeyField(field))
    return "Text sent to the BBS when you press F" + std::to_string(field - cfFKey1 + 1) +
           " while connected.  \\r=Enter  \\n=LF  \\e=Esc  \\t=Tab  \\b=Backspace  \\\\=backslash"
           "  \\^=caret  \\xHH=any byte  ^A..^Z=Ctrl key.  Leave blank to keep the key's default behavior.";
  if (field == cfExtDoorWorkDir)
    return "Folder holding your DOSBox .conf files. Every program below starts in this folder, so a slot can just "
           "say -conf dosdoor.conf instead of the full path. Blank = KORVAN's own directory.";
  if (field == cfExtDoorComPort)
    return "Shares your live BBS session with the door program. A port number (6400 or TCP:6400) makes KORVAN "
           "listen on 127.0.0.1 for DOSBox's serial1=nullmodem server:127.0.0.1 port:6400. A COM name (COM11) or "
           "a device path (/dev/ttyS10) uses that serial port instead. Blank = none.";
  if (IsDoorField(field))
    return "Command line for Ctrl+F" + std::to_string(field - cfExtDoorCmd1 + 1) +
           ", e.g. \"/usr/bin/dosbox\" -conf dosdoor.conf. %HOST% %PORT% %USER% %PASSWORD% are filled in "
           "from the connected entry. Blank = unassigned.";
  return "Script run when you press Shift+F" + std::to_string(field - cfScriptKey1 + 1) +
         ".  Just the name, e.g. tw-pairtrade (\".kvs\" optional) - it is always loaded from KORVAN's scripts "
         "folder, never from a path.  Pressing the key again while that script runs stops it.  Leave blank for "
         "none.";
}

bool IsLinkField(int f) { return f >= cfFKeyMacrosLink && f <= cfScriptKeysLink; }
bool IsChoiceField(int f) { return f == cfTermType || f == cfScreenScale || IsToggleConfigField(f); }

std::string YesNo(bool b) { return b ? "Yes" : "No"; }

// The stored text of a text row on pages 2 to 4 (null for the other rows).
template <class Config>
auto ListSettingOf(Config& c, int f) -> decltype(&c.WorkDir) {
  if (IsFKeyField(f)) return &c.FKey[size_t(f - cfFKey1)];
  if (f == cfExtDoorWorkDir) return &c.WorkDir;
  if (f == cfExtDoorComPort) return &c.ComPort;
  if (f >= cfExtDoorCmd1 && f <= cfExtDoorCmd8) return &c.Command[size_t(f - cfExtDoorCmd1)];
  if (IsScriptKeyField(f)) return &c.ShiftF[size_t(f - cfScriptKey1)];
  return nullptr;
}

int LongestLabel(std::initializer_list<int> fields) {
  size_t n = 0;
  for (int f : fields) n = std::max(n, std::string(kPageOneLabels[f]).size());
  return int(n);
}

}  // namespace

bool IsToggleConfigField(int f) { return f >= cfAnsiMusic && f <= cfPetsciiLenientLetters; }
bool IsFKeyField(int f) { return f >= cfFKey1 && f <= cfFKey10; }
bool IsDoorField(int f) { return f >= cfExtDoorWorkDir && f <= cfExtDoorCmd8; }
bool IsScriptKeyField(int f) { return f >= cfScriptKey1 && f <= cfScriptKey10; }

int ConfigPageOf(int f) {
  if (IsFKeyField(f)) return 2;
  if (IsDoorField(f)) return 3;
  if (IsScriptKeyField(f)) return 4;
  return 1;
}

std::string TConfigScreen::ConfigFieldText(const TAppConfig& c, int f) {
  if (const std::string* text = ListSettingOf(c, f)) return *text;
  switch (f) {
    case cfTermType: return c.DefaultTermType;
    case cfScreenScale: return c.ScreenScaleFullScreen ? "Full Screen" : ScaleText(c.ScreenScale);
    case cfDownloadDir: return c.DownloadDir;
    case cfUploadDir: return c.UploadDir;
    case cfCaptureDir: return c.CaptureDir;
    case cfGuideArchiveName: return c.GuideArchiveName;
    case cfAnsiMusic: return YesNo(c.AnsiMusicEnabled);
    case cfAtasciiLenientCRLF: return YesNo(c.AtasciiLenientCRLF);
    case cfPetsciiLenientLetters: return YesNo(c.PetsciiLenientLetters);
    case cfAsciiLineDelay: return std::to_string(c.AsciiLineDelayMs);
    default: return "";
  }
}

void TConfigScreen::Enter() {
  // Coming back from a screen opened over this one (help, about) keeps the
  // row and the text being edited.
  if (!FOpened) {
    FOpened = true;
    SelectConfigField(cfTermType);
  }
  FServices.SetStatusText(kConfigStatus);
}

void TConfigScreen::SelectConfigField(int field) {
  FField = std::clamp(field, 0, kConfigFieldCount - 1);
  FLine.Set(ConfigFieldText(FServices.Config(), FField));
}

void TConfigScreen::CommitConfigField() {
  TAppConfig& c = FServices.Config();
  const std::string& text = FLine.Text;
  const int f = FField;
  if (std::string* setting = ListSettingOf(c, f)) {
    if (f == cfExtDoorWorkDir) {
      // A folder the door programs start in: trimmed, and ending in the
      // separator so a file name can follow ("\" typed counts as one).
      std::string dir = TrimText(text);
      if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
      *setting = dir;
    } else if (IsScriptKeyField(f)) {
      *setting = TrimText(text);
    } else {
      *setting = text;  // a macro may end in a blank
    }
    return;
  }
  int64_t v = 0;
  switch (f) {
    case cfTermType: c.DefaultTermType = text; break;
    case cfDownloadDir: c.DownloadDir = text; break;
    case cfUploadDir: c.UploadDir = text; break;
    case cfCaptureDir: c.CaptureDir = text; break;
    case cfGuideArchiveName:
      c.GuideArchiveName = TrimText(text);
      if (c.GuideArchiveName.empty()) c.GuideArchiveName = TAppConfig::kDefaultGuideArchiveName;
      break;
    case cfAnsiMusic: c.AnsiMusicEnabled = SameTextNoCase(text, "Yes"); break;
    case cfAtasciiLenientCRLF: c.AtasciiLenientCRLF = SameTextNoCase(text, "Yes"); break;
    case cfPetsciiLenientLetters: c.PetsciiLenientLetters = SameTextNoCase(text, "Yes"); break;
    case cfAsciiLineDelay:
      // Text that is no number (or none that fits) keeps the old delay.
      if (TryParseInt(TrimText(text), v) && v <= std::numeric_limits<int32_t>::max())
        c.AsciiLineDelayMs = int32_t(std::max<int64_t>(v, 0));
      break;
    default:  // the scale stepper already changed the settings; links store nothing
      break;
  }
}

void TConfigScreen::MoveConfigField(int delta, bool isEnter) {
  if (isEnter && delta == 1 && IsLinkField(FField)) {
    static const int kLinked[] = {cfFKey1, cfExtDoorWorkDir, cfScriptKey1};
    ClickField(kLinked[FField - cfFKeyMacrosLink]);
    return;
  }
  CommitConfigField();
  int target = FField + delta;
  if (target >= kConfigFieldCount && isEnter) {
    SaveSettings();
    return;
  }
  SelectConfigField(std::clamp(target, 0, kConfigFieldCount - 1));
  FServices.Repaint();
}

void TConfigScreen::ChangeConfigPage(bool forward) {
  CommitConfigField();
  static const int kFirstRow[] = {cfTermType, cfFKey1, cfExtDoorWorkDir, cfScriptKey1};
  const int page = ConfigPageOf(FField) - 1;
  SelectConfigField(kFirstRow[(page + (forward ? 1 : 3)) % 4]);
  FServices.Repaint();
}

void TConfigScreen::ClickField(int field) {
  CommitConfigField();
  SelectConfigField(field);
  FServices.Repaint();
}

void TConfigScreen::SaveSettings() {
  CommitConfigField();
  TAppConfig& c = FServices.Config();
  if (!c.Save()) {
    // Nothing is lost: the settings stay as edited and the screen open, so
    // the user can free the folder and leave again.
    FServices.SetStatusText(c.LastError());
    FServices.Repaint();
    return;
  }
  FServices.ApplyFolderSettings();
  FServices.CloseScreen();
  FServices.SetStatusText("Settings saved.");
  FServices.Repaint();
}

void TConfigScreen::Flip() { FLine.Set(SameTextNoCase(FLine.Text, "Yes") ? "No" : "Yes"); }

void TConfigScreen::Paste() {
  if (IsToggleConfigField(FField) || FField == cfTermType || FField == cfScreenScale) return;
  // As much of the clipboard's first line as the row still takes.
  std::string text = PastableLine(FServices.ClipboardText());
  const int room = std::max(0, kMaxConfigText - int(FLine.Text.size()));
  if (int(text.size()) > room) text.resize(size_t(room));
  if (!text.empty()) FLine.Insert(text);
}

bool TConfigScreen::Key(const TKeyEvent& k) {
  const int f = FField;
  if (k.Ctrl && !k.Alt && k.Key == vk::Letter('V')) {
    Paste();
  } else if (k.Key == vk::Up || k.Key == vk::Down) {
    MoveConfigField(k.Key == vk::Up ? -1 : +1, false);
  } else if (k.Key == vk::Return) {
    MoveConfigField(+1, true);
  } else if (k.Key == vk::Next || k.Key == vk::Prior) {
    ChangeConfigPage(k.Key == vk::Next);
  } else if (k.Key == vk::Escape) {
    SaveSettings();
  } else if (k.Key == vk::Left || k.Key == vk::Right) {
    const int d = k.Key == vk::Left ? -1 : +1;
    if (IsToggleConfigField(f)) {
      Flip();
    } else if (f == cfTermType) {
      CycleDefaultTermType(FLine, d);
    } else if (f == cfScreenScale) {
      CycleScreenScale(FServices.Config(), FLine, d);
      FServices.ApplyScreenScale();
    } else if (d < 0) {
      FLine.Left();
    } else {
      FLine.Right();
    }
  } else if (k.Key == vk::Home) {
    FLine.Home();
  } else if (k.Key == vk::End) {
    FLine.End();
  } else if (k.Key == vk::Back) {
    FLine.Backspace();
  } else if (k.Key == vk::Delete) {
    FLine.Delete();
  } else {
    return false;
  }
  FServices.Repaint();
  return true;
}

bool TConfigScreen::Char(uint8_t ch, uint32_t) {
  if (ch < 32) return true;
  if (IsToggleConfigField(FField)) {
    if (ch == ' ') Flip();
    if (ch == 'Y' || ch == 'y') FLine.Set("Yes");
    if (ch == 'N' || ch == 'n') FLine.Set("No");
  } else if (FField != cfScreenScale && int(FLine.Text.size()) < kMaxConfigText) {
    FLine.Insert(std::string(1, char(ch)));
  }
  FServices.Repaint();
  return true;
}

bool TConfigScreen::Mouse(const TMouseEvent& m) {
  if (m.Kind == TMouseKind::Down && m.Button == button::Right) {
    Paste();
    FServices.Repaint();
    return true;
  }
  if (m.Button != button::Left || !m.OnCell) return false;
  if (m.Kind != TMouseKind::Down && m.Kind != TMouseKind::DoubleClick) return false;
  for (int f = 0; f < kConfigFieldCount; ++f) {
    const TRowPlace& p = FPlaces[size_t(f)];
    if (p.Y != m.Row || m.Col < p.X0 || m.Col > p.X1) continue;
    ClickField(f);
    if (m.Kind == TMouseKind::DoubleClick) {
      if (IsToggleConfigField(f))
        Flip();
      else if (IsLinkField(f))
        MoveConfigField(+1, true);
    }
    break;
  }
  return true;
}

// --- Painting ----------------------------------------------------------------

namespace {

constexpr TColorRGB kLabel = scr::Cyan, kValue = scr::LightGrey, kHint = scr::DarkGrey;

}  // namespace

void TConfigScreen::Paint(TScreenFrame& frame) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols(), H = g.Rows();
  const int page = ConfigPageOf(FField);
  g.FillRect(0, 0, W - 1, H - 1, scr::Black);
  g.DrawFramedBox(0, 0, W - 1, H - 1, scr::FaceBlue, scr::Black,
                  "Configuration - Page " + std::to_string(page) + " of 4", true, scr::White);
  FPlaces.fill(TRowPlace{});
  if (page == 1)
    PaintPageOne(frame);
  else
    PaintList(frame, page);
  g.DrawHRule(1, W - 2, H - 3, scr::FaceBlue, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  g.DrawFooter(FServices.StatusText());
}

void TConfigScreen::DrawRow(TScreenFrame& frame, int field, const std::string& label, int lx, int lw, int vx, int vw,
                            int y, const std::string& shown, bool placeholder) {
  TCellGrid& g = frame.Grid();
  lw = std::max(lw, 3);
  vw = std::max(vw, 3);
  FPlaces[size_t(field)] = {y, lx, vx + vw - 1};
  const bool current = field == FField;
  const TColorRGB bg = current ? scr::FaceBlue : scr::Black;
  const TColorRGB fg = current ? scr::White : placeholder ? kHint : kValue;
  if (current) g.FillRect(lx - 1, y, vx + vw, y, scr::FaceBlue);
  g.DrawTextAt(lx, y, PadText(label, lw) + ":", kLabel, bg);
  g.DrawTextAt(vx, y, PadText(shown, vw), fg, bg);
}

void TConfigScreen::DrawHelp(TCellGrid& g, const std::string& help, int firstRow) {
  const int L = 2, R = g.Cols() - 3, width = R - L + 1;
  int y = firstRow;
  for (const std::string& line : WrapText(help, width)) {
    if (y >= g.Rows() - 3) break;
    g.DrawTextAt(L, y++, PadText(line, width), kHint, scr::Black);
  }
}

void TConfigScreen::PaintPageOne(TScreenFrame& frame) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols(), L = 2, R = W - 3, M = L + (R - L) / 2 - 1;

  // What a row shows: the edit text on the current row (choices framed by
  // arrows), else the setting, with words for an empty capture folder and
  // the program's own folder.
  auto draw = [&](int f, int lx, int lw, int vx, int vw, int y) {
    std::string shown;
    bool placeholder = false;
    if (f == FField) {
      shown = IsChoiceField(f) ? "< " + FLine.Text + " >" : FLine.Text;
    } else {
      shown = ConfigFieldText(FServices.Config(), f);
      if (f == cfCaptureDir && shown.empty()) {
        shown = "(same as Download Directory)";
        placeholder = true;
      } else if ((f == cfDownloadDir || f == cfUploadDir) && shown == ".") {
        shown = "(Current KORVAN Directory)";
      }
    }
    DrawRow(frame, f, kPageOneLabels[f], lx, lw, vx, vw, y, shown, placeholder);
    if (f == FField && !IsChoiceField(f))
      frame.ShowCaret(vx + std::min(FLine.Caret, std::max(vw, 3) - 1), y, scr::White);
  };

  g.DrawTextAt(L + 1, 2, "GENERAL", scr::TitleYellow, scr::Black);
  g.DrawHRule(L, R, 3, scr::Navy, scr::Black, false, cp::SingleH, cp::SingleH);
  {
    const int lx = L + 1, lw = int(std::string(kPageOneLabels[cfTermType]).size()), vx = lx + lw + 2;
    draw(cfTermType, lx, lw, vx, M - vx, 4);
  }
  {
    const int lx = M + 3, lw = int(std::string(kPageOneLabels[cfScreenScale]).size()), vx = lx + lw + 2;
    draw(cfScreenScale, lx, lw, vx, R - vx, 4);
  }

  g.DrawTextAt(L + 1, 6, "FILE PATHS", scr::TitleYellow, scr::Black);
  g.DrawHRule(L, R, 7, scr::Navy, scr::Black, false, cp::SingleH, cp::SingleH);
  {
    const int lx = L + 1, lw = LongestLabel({cfDownloadDir, cfUploadDir, cfCaptureDir, cfGuideArchiveName});
    const int vx = lx + lw + 2;
    for (int f = cfDownloadDir; f <= cfGuideArchiveName; ++f) draw(f, lx, lw, vx, R - vx, 8 + f - cfDownloadDir);
  }

  g.DrawTextAt(L + 1, 13, PadText("COMPATIBILITY", M - L), scr::TitleYellow, scr::Black);
  g.DrawTextAt(M + 3, 13, PadText("MORE SETTINGS", R - (M + 3) + 1), scr::TitleYellow, scr::Black);
  g.DrawHRule(L, R, 14, scr::Navy, scr::Black, false, cp::SingleH, cp::SingleH);
  {
    const int lx = L + 1, lw = LongestLabel({cfAnsiMusic, cfAtasciiLenientCRLF, cfPetsciiLenientLetters, cfAsciiLineDelay});
    const int vx = lx + lw + 2;
    for (int f = cfAnsiMusic; f <= cfAsciiLineDelay; ++f) draw(f, lx, lw, vx, M - vx, 15 + f - cfAnsiMusic);
  }
  for (int y = 15; y <= 18; ++y) g.DrawTextAt(M + 1, y, std::string(1, char(cp::SingleV)), scr::Navy, scr::Black);
  for (int f = cfFKeyMacrosLink; f <= cfScriptKeysLink; ++f) {
    const int y = 15 + f - cfFKeyMacrosLink;
    const bool current = f == FField;
    if (current) g.FillRect(M + 2, y, R, y, scr::FaceBlue);
    g.DrawTextAt(M + 3, y, PadText(kPageOneLabels[f], R - (M + 3) + 1), current ? scr::White : kLabel,
                 current ? scr::FaceBlue : scr::Black);
    FPlaces[size_t(f)] = {y, M + 3, R};
  }
  if (FField <= cfScriptKeysLink) DrawHelp(g, PageOneHelp(FField), 20);
}

void TConfigScreen::PaintList(TScreenFrame& frame, int page) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols(), H = g.Rows(), L = 2, R = W - 3;
  auto heading = [&](const char* title, int y) {
    g.DrawTextAt(L + 1, y, title, scr::TitleYellow, scr::Black);
    g.DrawHRule(L, R, y + 1, scr::Navy, scr::Black, false, cp::SingleH, cp::SingleH);
  };
  // One row on screen row Y; a row that would reach the divider is not
  // drawn, nor any after it.
  bool cut = false;
  auto row = [&](int f, const std::string& label, int lw, int y, const char* placeholder) {
    if (cut || y >= H - 3) {
      cut = true;
      return;
    }
    const int lx = L + 1, vx = lx + lw + 2, vw = std::max(3, R - vx);
    const bool current = f == FField;
    std::string value = current ? FLine.Text : ConfigFieldText(FServices.Config(), f);
    const bool empty = !current && value.empty();
    if (current) {
      // A text longer than the value area scrolls so that the character
      // before the caret and the caret cell stay in view.
      const int len = int(value.size()), caret = FLine.Caret;
      const int start = len + 1 > vw ? std::max(1, caret + 2 - vw) : 1;
      value = value.substr(size_t(std::min(start - 1, len)));
      frame.ShowCaret(std::min(vx + caret - (start - 1), vx + vw - 1), y, scr::White);
    }
    DrawRow(frame, f, label, lx, lw, vx, vw, y, empty ? placeholder : value, empty);
  };
  int helpRow = 15;
  if (page == 2) {
    heading("FUNCTION KEY MACROS", 2);
    for (int n = 1; n <= 10; ++n) row(cfFKey1 + n - 1, "F" + std::to_string(n), 3, n + 3, "(not assigned)");
  } else if (page == 3) {
    heading("SHARED SETTINGS (apply to every slot below)", 2);
    row(cfExtDoorWorkDir, ".conf File Location", 22, 4, "(KORVAN's own directory)");
    row(cfExtDoorComPort, "Serial Bridge COM Port", 22, 5, "(no serial bridge)");
    heading("DOOR PROGRAMS (Ctrl+F1 .. Ctrl+F8)", 7);
    for (int n = 1; n <= 8; ++n) row(cfExtDoorCmd1 + n - 1, "Ctrl+F" + std::to_string(n), 7, n + 8, "(not assigned)");
    helpRow = 18;
  } else {
    heading("SCRIPT HOTKEYS - run a script from the scripts folder", 2);
    for (int n = 1; n <= 10; ++n) row(cfScriptKey1 + n - 1, "Shift+F" + std::to_string(n), 9, n + 3, "(no script)");
  }
  DrawHelp(g, ListHelp(FField), helpRow);
}
