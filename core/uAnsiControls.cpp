// The control sequences of the ANSI-BBS emulation: what each CSI final does
// to the buffer, the private modes, the replies to the host and the SGR
// colours. Sequences are dispatched on one key packed from the private
// marker and the final byte, family by family.
#include <algorithm>
#include <cstdio>

#include "core/uAnsiParser.h"
#include "core/uControlChars.h"
#include "core/uDebugLog.h"

namespace {

constexpr uint32_t CsiKey(uint8_t Marker, uint8_t Final) { return uint32_t(Marker) << 8 | Final; }

// Cursor (ECMA-48 8.3 and the xterm/SyncTERM names).
constexpr uint32_t kCUU = CsiKey(0, 'A');
constexpr uint32_t kCUD = CsiKey(0, 'B');
constexpr uint32_t kCUF = CsiKey(0, 'C');
constexpr uint32_t kCUB = CsiKey(0, 'D');
constexpr uint32_t kCNL = CsiKey(0, 'E');
constexpr uint32_t kCPL = CsiKey(0, 'F');
constexpr uint32_t kCHA = CsiKey(0, 'G');
constexpr uint32_t kHPA = CsiKey(0, '`');
constexpr uint32_t kCUP = CsiKey(0, 'H');
constexpr uint32_t kHVP = CsiKey(0, 'f');
constexpr uint32_t kCHT = CsiKey(0, 'I');
constexpr uint32_t kCBT = CsiKey(0, 'Z');
constexpr uint32_t kHPR = CsiKey(0, 'a');
constexpr uint32_t kVPA = CsiKey(0, 'd');
constexpr uint32_t kVPR = CsiKey(0, 'e');
constexpr uint32_t kSCOSC = CsiKey(0, 's');
constexpr uint32_t kSCORC = CsiKey(0, 'u');
// Erasing and editing.
constexpr uint32_t kICH = CsiKey(0, '@');
constexpr uint32_t kED = CsiKey(0, 'J');
constexpr uint32_t kEL = CsiKey(0, 'K');
constexpr uint32_t kIL = CsiKey(0, 'L');
constexpr uint32_t kDL = CsiKey(0, 'M');
constexpr uint32_t kDCH = CsiKey(0, 'P');
constexpr uint32_t kECH = CsiKey(0, 'X');
constexpr uint32_t kREP = CsiKey(0, 'b');
// Modes, margins and tab stops.
constexpr uint32_t kDECSET = CsiKey('?', 'h');
constexpr uint32_t kDECRST = CsiKey('?', 'l');
constexpr uint32_t kSM = CsiKey(0, 'h');
constexpr uint32_t kRM = CsiKey(0, 'l');
constexpr uint32_t kDECSTBM = CsiKey(0, 'r');
constexpr uint32_t kSaveCursorVisible = CsiKey('?', 's');
constexpr uint32_t kRestoreCursorVisible = CsiKey('?', 'u');
constexpr uint32_t kTBC = CsiKey(0, 'g');
constexpr uint32_t kSGR = CsiKey(0, 'm');
// Reports.
constexpr uint32_t kDA = CsiKey(0, 'c');
constexpr uint32_t kSyncTermDA = CsiKey('<', 'c');
constexpr uint32_t kDSR = CsiKey(0, 'n');
constexpr uint32_t kSyncTermQuery = CsiKey('=', 'n');
constexpr uint32_t kWindowOps = CsiKey(0, 't');
constexpr uint32_t kGraphicsQuery = CsiKey('?', 'S');

// Private modes (DECSET/DECRST numbers).
enum : int {
  pmColumns132 = 3,
  pmMouseX10 = 9,
  pmCursorVisible = 25,
  pmAltScreen = 47,
  pmMouseNormal = 1000,
  pmMouseButton = 1002,
  pmMouseAny = 1003,
  pmAltScreen1047 = 1047,
  pmAltScreen1049 = 1049,
  pmMouseSgr = 1006,
};

std::string Csi(const char* fmt, int a = 0, int b = 0, int c = 0) {
  char text[64];
  std::snprintf(text, sizeof text, fmt, a, b, c);
  return std::string(1, char(cc::ESC)) + text;
}

}  // namespace

uint8_t DecGraphicsToCp437(uint8_t B) {
  switch (B) {
    case '`': return 4;
    case 'a': return 177;
    case 'f': return 248;
    case 'g': return 241;
    case 'j': return 217;
    case 'k': return 191;
    case 'l': return 218;
    case 'm': return 192;
    case 'n': return 197;
    case 'o':
    case 'p':
    case 'q':
    case 'r':
    case 's': return 196;
    case 't': return 195;
    case 'u': return 180;
    case 'v': return 193;
    case 'w': return 194;
    case 'x': return 179;
    case 'y': return 243;
    case 'z': return 242;
    case '{': return 227;
    case '}': return 156;
    case '~': return 250;
    default: return B;
  }
}

void TAnsiParser::DesignateCharset(bool ForG1, uint8_t Final) {
  (ForG1 ? G1Graphics : G0Graphics) = Final == '0' ? 1 : 0;
}

void TAnsiParser::DispatchCSI(uint8_t Final) {
  // A private marker matters only where a sequence with it is defined;
  // elsewhere the sequence acts as if it had none.
  if (DispatchKey(CsiKey(PrivateMarker, Final))) return;
  if (PrivateMarker != 0) DispatchKey(CsiKey(0, Final));
}

bool TAnsiParser::DispatchKey(uint32_t Key) {
  // Colours first: they are by far the most frequent sequence.
  if (Key == kSGR) {
    ApplySGR();
    return true;
  }
  return HandleCursor(Key) || HandleEdit(Key) || HandleModes(Key) || HandleReports(Key);
}

// The board's rows: with a status line reserved at the bottom, the board's
// cursor stays above it.
int TAnsiParser::BoardRow(int64_t Row) const {
  return int(std::clamp<int64_t>(Row, -1, Buffer->VisibleRows() - 1));
}

// ---------------------------------------------------------------- cursor

bool TAnsiParser::HandleCursor(uint32_t Key) {
  TTerminalBuffer& b = *Buffer;
  const int64_t n = Params.Count1(0);
  const auto column = [&](int64_t x) { return int(std::clamp<int64_t>(x, -1, b.FWidth)); };
  const auto down = [&](int64_t by) { b.MoveCursorBy(0, BoardRow(b.CursorY + by) - b.CursorY); };
  switch (Key) {
    case kCUU: b.MoveCursorBy(0, -int(n)); return true;
    case kCUD:
    case kVPR: down(n); return true;
    case kCUF:
    case kHPR: b.MoveCursorBy(int(n), 0); return true;
    case kCUB: b.MoveCursorBy(-int(n), 0); return true;
    case kCNL: b.GotoXY(0, BoardRow(b.CursorY + n)); return true;
    case kCPL: b.GotoXY(0, BoardRow(b.CursorY - n)); return true;
    case kCHA:
    case kHPA: b.GotoXY(column(n - 1), b.CursorY); return true;
    case kVPA: b.GotoXY(b.CursorX, BoardRow(n - 1)); return true;
    case kCUP:
    case kHVP: {
      const int64_t row = Params.Count1(0), col = Params.Count1(1);
      if (LogEnabled) {
        char text[128];
        std::snprintf(text, sizeof text, "AnsiParser: CUP %c requested row=%d col=%d -> MoveCursor(%d,%d)",
                      char(Key & 0xFF), Params.OrDefault(0, 1), Params.OrDefault(1, 1), int(col - 1),
                      int(row - 1));
        LogLine(text);
      }
      b.GotoXY(column(col - 1), BoardRow(row - 1));
      return true;
    }
    case kCHT: TabForward(int(std::min<int64_t>(n, b.FWidth))); return true;
    case kCBT: TabBackward(int(std::min<int64_t>(n, b.FWidth))); return true;
    case kSCOSC:
      CsiSavedX = b.CursorX;
      CsiSavedY = b.CursorY;
      return true;
    case kSCORC: b.GotoXY(CsiSavedX, BoardRow(CsiSavedY)); return true;
    default: return false;
  }
}

// A tab moves along the cursor's line. After a wrap at the bottom that line
// is the one still to scroll in, so the scroll is carried out first, as for
// a relative move; otherwise the tab would land on the line just written.
void TAnsiParser::TabForward(int N) {
  Buffer->ResolvePendingScroll();
  GrowTabStops();
  for (int i = 0; i < N; ++i) {
    int c = Buffer->CursorX + 1;
    while (c < Buffer->FWidth && !(size_t(c) < TabStops.size() && TabStops[size_t(c)])) ++c;
    if (c >= Buffer->FWidth) {
      // Already on the last column, the cursor stays, and so does a wrap
      // held there.
      if (Buffer->CursorX != Buffer->FWidth - 1) Buffer->GotoXY(Buffer->FWidth - 1, Buffer->CursorY);
      return;
    }
    Buffer->GotoXY(c, Buffer->CursorY);
  }
}

void TAnsiParser::TabBackward(int N) {
  Buffer->ResolvePendingScroll();
  GrowTabStops();
  for (int i = 0; i < N; ++i) {
    int c = Buffer->CursorX - 1;
    while (c >= 0 && !(size_t(c) < TabStops.size() && TabStops[size_t(c)])) --c;
    if (c < 0) {
      Buffer->GotoXY(0, Buffer->CursorY);
      return;
    }
    Buffer->GotoXY(c, Buffer->CursorY);
  }
}

// ---------------------------------------------------------------- erase and edit

bool TAnsiParser::HandleEdit(uint32_t Key) {
  TTerminalBuffer& b = *Buffer;
  const int32_t n = Params.Count1(0);
  // After a wrap at the bottom the cursor stands on a line that has not
  // scrolled in yet: an edit at the cursor acts there, as a relative move
  // does, not on the line just written.
  if (Key == kICH || Key == kDCH || Key == kEL || Key == kIL || Key == kDL || Key == kECH ||
      (Key == kED && Params.OrDefault(0, 0) < 2))
    b.ResolvePendingScroll();
  const bool inRegion = b.CursorY >= b.MarginY0 && b.CursorY <= b.MarginY1;
  switch (Key) {
    case kICH: InsertChars(n); return true;
    case kDCH: DeleteChars(n); return true;
    case kED:
      switch (Params.OrDefault(0, 0)) {
        case 0: b.EraseToEndOfScreen(); break;
        case 1: b.EraseToStartOfScreen(); break;
        case 2:
        case 3: b.ClearScreen(true); break;
        default: break;
      }
      return true;
    case kEL:
      switch (Params.OrDefault(0, 0)) {
        case 0: b.EraseToEndOfLine(); break;
        case 1: b.EraseToStartOfLine(); break;
        case 2: b.ClearRow(b.CursorY); break;
        default: break;
      }
      return true;
    case kIL:
      if (inRegion) b.InsertLines(b.CursorY, n);
      return true;
    case kDL:
      if (inRegion) b.DeleteLines(b.CursorY, n);
      return true;
    case kECH: {
      const int count = std::min(n, b.MarginX1 - b.CursorX + 1);
      for (int i = 0; i < count; ++i) b.WriteCharAt(b.CursorX + i, b.CursorY, ' ');
      return true;
    }
    case kREP: Repeat(n); return true;
    default: return false;
  }
}

void TAnsiParser::Repeat(int32_t N) {
  if (N > RepeatMax) {
    LogLine("AnsiParser: repeat count " + std::to_string(N) + " cut to " + std::to_string(RepeatMax));
    N = RepeatMax;
  }
  uint8_t run[256];
  std::fill(std::begin(run), std::end(run), LastChar);
  while (N > 0) {
    const int32_t chunk = std::min<int32_t>(N, int32_t(sizeof run));
    Buffer->PutChars(run, size_t(chunk), VtMode);
    N -= chunk;
  }
}

void TAnsiParser::InsertChars(int N) {
  TTerminalBuffer& b = *Buffer;
  N = std::min(std::max(N, 1), b.MarginX1 - b.CursorX + 1);
  const int y = b.CursorY;
  for (int i = b.MarginX1; i >= b.CursorX + N; --i) b.SetCell(i, y, b.GetCell(i - N, y));
  for (int i = b.CursorX; i < b.CursorX + N; ++i) b.WriteCharAt(i, y, ' ');
}

void TAnsiParser::DeleteChars(int N) {
  TTerminalBuffer& b = *Buffer;
  N = std::min(std::max(N, 1), b.MarginX1 - b.CursorX + 1);
  const int y = b.CursorY;
  for (int i = b.CursorX; i <= b.MarginX1 - N; ++i) b.SetCell(i, y, b.GetCell(i + N, y));
  for (int i = b.MarginX1 - N + 1; i <= b.MarginX1; ++i) b.WriteCharAt(i, y, ' ');
}

// ---------------------------------------------------------------- modes

bool TAnsiParser::HandleModes(uint32_t Key) {
  TTerminalBuffer& b = *Buffer;
  switch (Key) {
    case kDECSET:
    case kDECRST:
      for (int i = 0; i < Params.Count; ++i) SetPrivateMode(Params.Values[size_t(i)], Key == kDECSET);
      return true;
    case kSM:
    case kRM: return true;  // ANSI modes: none is kept
    case kDECSTBM: {
      // 0 stands for the default, as everywhere in ECMA-48.
      const int visible = b.VisibleRows();
      const int top = Params.Count1(0);
      int bottom = Params.OrDefault(1, visible);
      if (bottom < 1 || bottom > visible) bottom = visible;
      if (top < bottom) {
        b.SetMargins(0, top - 1, b.FWidth - 1, bottom - 1);
        b.GotoXY(0, 0);
      }
      return true;
    }
    case kSaveCursorVisible: SavedCursorVisible = b.CursorVisible; return true;
    case kRestoreCursorVisible: b.SetCursorVisible(SavedCursorVisible); return true;
    case kTBC:
      GrowTabStops();
      switch (Params.OrDefault(0, 0)) {
        case 3: std::fill(TabStops.begin(), TabStops.end(), false); break;
        case 0:
          if (size_t(b.CursorX) < TabStops.size()) TabStops[size_t(b.CursorX)] = false;
          break;
        default: break;
      }
      return true;
    default: return false;
  }
}

void TAnsiParser::SetPrivateMode(int Mode, bool On) {
  TTerminalBuffer& b = *Buffer;
  switch (Mode) {
    case pmColumns132:
      b.Resize(On ? 132 : 80, b.FHeight);
      b.ClearScreen(true);
      b.GotoXY(0, 0);
      break;
    case pmMouseX10: MouseMode = On ? 1 : 0; break;
    case pmCursorVisible: b.SetCursorVisible(On); break;
    case pmAltScreen:
    case pmAltScreen1047:
    case pmAltScreen1049:
      if (On)
        b.EnterAltScreen();
      else
        b.LeaveAltScreen();
      break;
    case pmMouseNormal: MouseMode = On ? 2 : 0; break;
    case pmMouseButton: MouseMode = On ? 3 : 0; break;
    case pmMouseAny: MouseMode = On ? 4 : 0; break;
    case pmMouseSgr: SgrMouse = On; break;
    default: break;
  }
}

// ---------------------------------------------------------------- reports

void TAnsiParser::Reply(const std::string& S) {
  if (OnSendReply) OnSendReply(S);
}

void TAnsiParser::CellSize(int& CellW, int& CellH) {
  CellW = 8;
  CellH = 16;
  if (OnGetCellSize) OnGetCellSize(CellW, CellH);
}

bool TAnsiParser::HandleReports(uint32_t Key) {
  switch (Key) {
    case kDA: DeviceAttributes(); return true;
    case kSyncTermDA:
      Reply(Csi(AnnounceSixel ? "[<4c" : "[<c"));
      return true;
    case kSyncTermQuery: {
      // Only the two SyncTERM queries; other values act as plain DSR.
      const int what = Params.OrDefault(0, 0);
      if (what != 3 && what != 7) return false;
      if (!OnSendReply) return true;
      if (what == 3) {
        int w, h;
        CellSize(w, h);
        Reply(Csi("[=3;%d;%dn", h, w));
      } else if (Params.Count >= 2 && Params.Values[1] >= 0 && OnQueryAudioChannel) {
        const int channel = Params.Values[1];
        Reply(Csi("[=7;%d;%dn", channel, OnQueryAudioChannel(channel) ? 1 : 0));
      } else {
        Reply(Csi("[=7n"));
      }
      return true;
    }
    case kDSR: DeviceStatusReport(); return true;
    case kWindowOps: WindowOps(); return true;
    case kGraphicsQuery: GraphicsGeometryQuery(); return true;
    default: return false;
  }
}

void TAnsiParser::DeviceAttributes() { Reply(Csi(AnnounceSixel ? "[?1;2;4c" : "[?1;2c")); }

void TAnsiParser::DeviceStatusReport() {
  if (!OnSendReply) return;
  switch (Params.OrDefault(0, 0)) {
    case 5: Reply(Csi("[0n")); break;
    case 6:
      Reply(Csi("[%d;%dR", BoardRow(Buffer->CursorY) + 1, Buffer->CursorX + 1));
      break;
    default: break;
  }
}

// Size reports give the rows the board may use (a status line is not its).
void TAnsiParser::WindowOps() {
  TTerminalBuffer& b = *Buffer;
  if (Params.Count >= 4) {
    const TColorRGB c = MakeColorRGB(uint8_t(Params.OrDefault(1, 0) & 0xFF), uint8_t(Params.OrDefault(2, 0) & 0xFF),
                                     uint8_t(Params.OrDefault(3, 0) & 0xFF));
    switch (Params.OrDefault(0, -1)) {
      case 0: b.SetBgRGB(c); break;
      case 1: b.SetFgRGB(c); break;
      default: break;
    }
    return;
  }
  const int op = Params.OrDefault(0, 0);
  if (op == 8) {
    if (OnResize) OnResize(Params.OrDefault(1, 0), Params.OrDefault(2, 0));
    return;
  }
  if (!OnSendReply) return;
  int w, h;
  switch (op) {
    case 14:
      CellSize(w, h);
      Reply(Csi("[4;%d;%dt", b.VisibleRows() * h, b.FWidth * w));
      break;
    case 16:
      CellSize(w, h);
      Reply(Csi("[6;%d;%dt", h, w));
      break;
    case 18: Reply(Csi("[8;%d;%dt", b.VisibleRows(), b.FWidth)); break;
    default: break;
  }
}

void TAnsiParser::GraphicsGeometryQuery() {
  if (!OnSendReply || Params.OrDefault(0, -1) != 2 || Params.OrDefault(1, -1) != 1) return;
  int w, h;
  CellSize(w, h);
  Reply(Csi("[?2;0;%d;%dS", Buffer->FWidth * w, Buffer->VisibleRows() * h));
}

// ---------------------------------------------------------------- colours

void TAnsiParser::ApplySGR() {
  TTerminalBuffer& b = *Buffer;
  if (Params.Count == 0) {
    b.ResetAttributes();
    return;
  }
  for (int i = 0; i < Params.Count; ++i) {
    const int v = Params.OrDefault(i, 0);
    switch (v) {
      case 0: b.ResetAttributes(); break;
      case 1: b.SetBold(true); break;
      case 4: b.SetUnderline(true); break;
      case 5:
      case 6: b.SetBlink(true); break;
      case 7: b.SetReverse(true); break;
      case 21:
      case 22: b.SetBold(false); break;
      case 24: b.SetUnderline(false); break;
      case 25: b.SetBlink(false); break;
      case 27: b.SetReverse(false); break;
      case 38:
      case 48: {
        ParseExtendedColor(i, v == 38);
        const int mode = Params.OrDefault(i + 1, -1);
        if (mode == 5)
          i += 2;
        else if (mode == 2)
          i += 4;
        break;
      }
      case 39: b.SetFgIndex(7); break;
      case 49: b.SetBgIndex(0); break;
      default:
        if (v >= 30 && v <= 37)
          b.SetFgIndex(v - 30);
        else if (v >= 40 && v <= 47)
          b.SetBgIndex(v - 40);
        else if (v >= 90 && v <= 97)
          b.SetFgPalette(v - 82);
        else if (v >= 100 && v <= 107)
          b.SetBgRGB(AnsiPalette[v - 92]);
        break;
    }
  }
}

void TAnsiParser::ParseExtendedColor(int Index, bool IsForeground) {
  TColorRGB c;
  switch (Params.OrDefault(Index + 1, -1)) {
    case 5: c = XtermIndexToRGB(Params.OrDefault(Index + 2, 0)); break;
    case 2:
      c = MakeColorRGB(uint8_t(Params.OrDefault(Index + 2, 0) & 0xFF), uint8_t(Params.OrDefault(Index + 3, 0) & 0xFF),
                       uint8_t(Params.OrDefault(Index + 4, 0) & 0xFF));
      break;
    default: return;
  }
  if (IsForeground)
    Buffer->SetFgRGB(c);
  else
    Buffer->SetBgRGB(c);
}
