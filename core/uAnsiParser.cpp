// The byte-level state machine of the ANSI-BBS emulation: ground state,
// escape, CSI collection, ANSI music capture, skipped and APC strings.
#include "core/uAnsiParser.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/uControlChars.h"
#include "core/uDebugLog.h"

namespace {

constexpr char kBulkApcPrefix[] = "SyncTERM:C;";
constexpr int kBulkApcPrefixLength = 11;

// The characters an echoed music capture may hold (no space).
bool IsMusicCharacter(uint8_t B) {
  return B == '#' || B == '+' || B == '-' || B == '.' || (B >= '0' && B <= '9') || B == '<' || B == '>' ||
         (B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z');
}

// Ground-state bytes that are simply printed, for each mode: everything but
// the controls that act and, outside VT mode, the "M" that may start music.
struct TPlainTable {
  bool Plain[256];
  constexpr explicit TPlainTable(bool VtMode) : Plain() {
    for (int b = 0; b < 256; ++b) Plain[b] = true;
    for (uint8_t b : {cc::NUL, cc::BEL, cc::BS, cc::HT, cc::LF, cc::FF, cc::CR, cc::ESC}) Plain[b] = false;
    if (VtMode) {
      Plain[cc::SO] = Plain[cc::SI] = false;
    } else {
      Plain[uint8_t('M')] = false;
    }
  }
};
constexpr TPlainTable kBbsPlain(false);
constexpr TPlainTable kVtPlain(true);

// The first byte from P on that Plain does not pass, or End. Sixteen bytes
// at a time are sifted for the only bytes that can stop a run (controls and
// "M"), and those few are looked up in the table: no branch per byte.
const uint8_t* EndOfPlainRun(const uint8_t* p, const uint8_t* end, const bool* plain) {
#if defined(__SSE2__)
  const __m128i controlsTop = _mm_set1_epi8(0x1F);
  const __m128i music = _mm_set1_epi8('M');
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i control = _mm_cmpeq_epi8(_mm_max_epu8(bytes, controlsTop), controlsTop);
    for (unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(bytes, music)))); mask;
         mask &= mask - 1) {
      const int at = __builtin_ctz(mask);
      if (!plain[p[at]]) return p + at;
    }
  }
#endif
  while (p < end && plain[*p]) ++p;
  return p;
}

}  // namespace

TAnsiParser::TAnsiParser(TTerminalBuffer* ABuffer) : Buffer(ABuffer) {
  ResetState();
  BuildTabStops();
}

void TAnsiParser::BuildTabStops() {
  TabStops.clear();
  GrowTabStops();
}

// Columns the screen gained since the stops were made (a wider mode or a
// resize) get the default stop every 8 columns, so a tab still reaches them.
void TAnsiParser::GrowTabStops() {
  for (size_t c = TabStops.size(); c < size_t(Buffer->FWidth); ++c) TabStops.push_back(c % 8 == 0);
}

void TAnsiParser::Reset() {
  ResetState();
  EscInString = false;
  StringEndsOnBel = false;
  ApcBulkMode = false;
  ApcOverflow = false;
  std::vector<uint8_t>().swap(ApcBulk);
  MouseMode = 0;
  SgrMouse = false;
  LastChar = 32;
  SavedCursorVisible = true;
  BuildTabStops();
  G0Graphics = 0;
  G1Graphics = 0;
  ShiftOut = false;
  DecSaved = false;
  if (Buffer->InAltScreen) Buffer->LeaveAltScreen();
}

void TAnsiParser::ResetState() {
  State = stGround;
  ClearParams();
  MusicText.clear();
  MusicEcho = false;
  ApcLength = 0;
}

void TAnsiParser::ClearParams() {
  Params.Clear();
  PrivateMarker = 0;
  SpaceIntermediate = false;
}

// ProcessChar for each byte, with the paths that art and text take most
// done here in place: runs of plain text go to the buffer as one span, a
// CSI sequence's introducer, parameters and colour final are read without
// going through the state functions. Every other byte goes to ProcessChar.
void TAnsiParser::Feed(const uint8_t* Data, size_t Count) {
  const uint8_t* p = Data;
  const uint8_t* const end = Data + Count;
  while (p < end) {
    switch (State) {
      case stGround: {
        if (GraphicsInUse()) break;
        const uint8_t* run = p;
        p = EndOfPlainRun(p, end, VtMode ? kVtPlain.Plain : kBbsPlain.Plain);
        if (p != run) {
          LastChar = p[-1];
          Buffer->PutChars(run, size_t(p - run), VtMode);
          continue;
        }
        if (*p != cc::ESC) break;
        if (p + 1 == end) {
          State = stEscape;
          return;
        }
        if (p[1] != '[') break;
        p += 2;
        State = stCsiEntry;
        ClearParams();
        continue;
      }
      case stEscape:
        if (*p != '[') break;
        ++p;
        State = stCsiEntry;
        ClearParams();
        continue;
      case stCsiEntry:
      case stCsiParam: {
        // Parameter digits and separators, the bulk of colour-heavy art.
        const uint8_t* start = p;
        for (; p < end; ++p) {
          if (*p >= '0' && *p <= '9')
            Params.AddDigit(*p);
          else if (*p == ';')
            Params.Push();
          else
            break;
        }
        if (p != start) State = stCsiParam;
        if (p == end) return;
        if (*p == 'm' && PrivateMarker == 0 && !SpaceIntermediate) {
          // The colour final, as ProcessCsi and DispatchCSI would take it.
          ++p;
          Params.Push();
          State = stGround;
          ApplySGR();
          continue;
        }
        break;
      }
      default: break;
    }
    ProcessChar(*p++);
  }
}

void TAnsiParser::ProcessChar(uint8_t B) {
  switch (State) {
    case stGround: ProcessGround(B); break;
    case stEscape: ProcessEscape(B); break;
    case stCsiEntry:
    case stCsiParam: ProcessCsi(B); break;
    case stCsiIgnore: ProcessCsiIgnore(B); break;
    case stMusic: ProcessMusic(B); break;
    case stSkipString: ProcessSkipString(B); break;
    case stG0Charset:
    case stG1Charset:
      DesignateCharset(State == stG1Charset, B);
      State = stGround;
      break;
    case stApcString: ProcessApc(B); break;
    default: ResetState(); break;
  }
}

// ---------------------------------------------------------------- ground

void TAnsiParser::Print(uint8_t B) {
  if (GraphicsInUse()) B = DecGraphicsToCp437(B);
  LastChar = B;
  Buffer->PutChar(B, VtMode);
}

// In VT mode a line feed scrolls at once, as on a VT100: with the wrap held
// at the last column there is nothing left for a deferred scroll to absorb.
void TAnsiParser::LineFeed() {
  Buffer->NewLine(false);
  if (VtMode) Buffer->ResolvePendingScroll();
}

// ESC M: the cursor moves up a line; on the top margin the region scrolls
// down instead, a blank line coming in at the top (VT100, ECMA-48 RI).
void TAnsiParser::ReverseIndex() {
  TTerminalBuffer& b = *Buffer;
  b.ResolvePendingScroll();
  if (b.CursorY == b.MarginY0)
    b.InsertLines(b.MarginY0, 1);
  else
    b.MoveCursorBy(0, -1);
}

void TAnsiParser::ProcessGround(uint8_t B) {
  switch (B) {
    case cc::NUL:
    case cc::BEL: return;
    case cc::BS: Buffer->MoveCursorBy(-1, 0); return;
    case cc::HT: TabForward(1); return;
    case cc::LF: LineFeed(); return;
    case cc::FF: Buffer->ClearScreen(true); return;
    case cc::CR: Buffer->CarriageReturn(); return;
    case cc::ESC: State = stEscape; return;
    case cc::SO:
    case cc::SI:
      if (VtMode) {
        ShiftOut = B == cc::SO;
        return;
      }
      break;
    case 'M':
      // "M" followed by music characters and SO is ANSI music; the letters
      // are shown while they come and erased when the SO arrives. Shells
      // (VT mode) have no music, and there SO is a charset shift.
      if (!VtMode) {
        MusicStartX = Buffer->CursorX;
        MusicStartY = Buffer->CursorY;
        Buffer->PutChar('M');
        MusicText.clear();
        MusicEcho = true;
        State = stMusic;
        return;
      }
      break;
    default: break;
  }
  Print(B);
}

// ---------------------------------------------------------------- escape

void TAnsiParser::ProcessEscape(uint8_t B) {
  State = stGround;
  switch (B) {
    case '[':
      State = stCsiEntry;
      ClearParams();
      return;
    case ']':
    case 'P':
    case '^':
      State = stSkipString;
      EscInString = false;
      StringEndsOnBel = B == ']';
      return;
    case '_':
      State = stApcString;
      EscInString = false;
      ApcLength = 0;
      ApcBulkMode = false;
      ApcOverflow = false;
      ApcBulk.clear();
      return;
    default: break;
  }
  if (!VtMode) return;  // the second byte is dropped
  switch (B) {
    case 'D': LineFeed(); return;  // IND
    case 'E':                      // NEL
      Buffer->CarriageReturn();
      LineFeed();
      return;
    case 'M': ReverseIndex(); return;  // RI
    case '(': State = stG0Charset; return;
    case ')': State = stG1Charset; return;
    case '7':
      DecSavedX = Buffer->CursorX;
      DecSavedY = Buffer->CursorY;
      Buffer->SaveAttributes(DecSavedAttrs);
      DecSavedG0 = G0Graphics;
      DecSavedG1 = G1Graphics;
      DecSavedShift = ShiftOut;
      DecSaved = true;
      return;
    case '8':
      if (DecSaved) {
        Buffer->GotoXY(DecSavedX, BoardRow(DecSavedY));
        Buffer->RestoreAttributes(DecSavedAttrs);
        G0Graphics = DecSavedG0;
        G1Graphics = DecSavedG1;
        ShiftOut = DecSavedShift;
      }
      return;
    default: return;
  }
}

// ---------------------------------------------------------------- CSI

void TAnsiParser::ProcessCsi(uint8_t B) {
  if (B >= '0' && B <= '9') {
    Params.AddDigit(B);
    State = stCsiParam;
    return;
  }
  switch (B) {
    case ';':
      Params.Push();
      State = stCsiParam;
      return;
    case '?':
    case '<':
    case '=':
    case '>':
      PrivateMarker = B;
      State = stCsiParam;
      return;
    case ' ':
      SpaceIntermediate = true;
      State = stCsiParam;
      return;
    case cc::ESC:
      // An ESC inside a sequence abandons it and starts a new one.
      State = stEscape;
      return;
    case '!':
      // ESC [ ... ! is the RIPscrip query and the SkyPix command family: it
      // ends here, so the byte after it is text again.
      State = stGround;
      return;
    default: break;
  }
  if (B == ':' || (B > ' ' && B <= '/')) {
    // Sub-parameters and intermediates we do not speak: read the sequence
    // to its final byte and drop it whole, so its tail is not printed.
    State = stCsiIgnore;
    return;
  }
  if (B >= '@' && B <= '~') {
    if (B == 'M' && !VtMode && Params.Empty() && PrivateMarker == 0 && !SpaceIntermediate) {
      // ESC [ M starts a silent music string (in VT mode it is delete-line).
      State = stMusic;
      MusicText.clear();
      return;
    }
    Params.Push();
    State = stGround;
    if (SpaceIntermediate) {
      if (B == 'D' && OnFontSelect) OnFontSelect(Params.OrDefault(0, 0), Params.OrDefault(1, 0));
      return;  // other "SP" sequences are not ours
    }
    DispatchCSI(B);
    return;
  }
  // Any other control or a byte of 128 and above abandons the sequence.
  State = stGround;
}

void TAnsiParser::ProcessCsiIgnore(uint8_t B) {
  if (B == cc::ESC)
    State = stEscape;
  else if (B < ' ' || B >= 0x80 || (B >= '@' && B <= '~'))
    State = stGround;
}

// ---------------------------------------------------------------- music

void TAnsiParser::ProcessMusic(uint8_t B) {
  if (B == cc::SO) {
    if (OnPlayMusic) OnPlayMusic(MusicText);
    if (MusicEcho) EraseMusicEcho();
    State = stGround;
    MusicEcho = false;
    return;
  }
  if (B == cc::ESC || B == cc::CR || B == cc::LF || int(MusicText.size()) >= MusicMax ||
      (MusicEcho && !IsMusicCharacter(B))) {
    // Not music after all: what was shown stays, and the byte is read anew.
    State = stGround;
    MusicEcho = false;
    ProcessChar(B);
    return;
  }
  MusicText += char(B);
  if (MusicEcho) Buffer->PutChar(B);
}

void TAnsiParser::EraseMusicEcho() {
  int x = MusicStartX;
  int y = MusicStartY;
  for (size_t i = 0; i <= MusicText.size(); ++i) {
    Buffer->WriteCharAt(x, y, ' ');
    if (++x >= Buffer->FWidth) {
      x = 0;
      y = std::min(y + 1, Buffer->FHeight - 1);
    }
  }
  Buffer->GotoXY(MusicStartX, MusicStartY);
}

// ---------------------------------------------------------------- strings

void TAnsiParser::ProcessSkipString(uint8_t B) {
  // ST (ESC \) ends every string; BEL also ends an OSC, as xterm and the
  // programs written for it send them.
  if (B == cc::BEL && StringEndsOnBel) {
    State = stGround;
    EscInString = false;
  } else if (EscInString && B == '\\') {
    State = stGround;
    EscInString = false;
  } else {
    EscInString = B == cc::ESC;
  }
}

void TAnsiParser::ProcessApc(uint8_t B) {
  if (EscInString) {
    if (B == '\\') {
      DeliverApc();
      return;
    }
    EscInString = B == cc::ESC;
    return;
  }
  if (B == cc::ESC) {
    EscInString = true;
    return;
  }
  if (ApcBulkMode) {
    if (ApcBulk.size() < ApcBulkMax)
      ApcBulk.push_back(B);
    else
      ApcOverflow = true;
    return;
  }
  if (ApcLength >= ApcShortMax) {
    ApcOverflow = true;
    return;
  }
  ApcText[size_t(ApcLength++)] = B;
  if (ApcLength == kBulkApcPrefixLength && std::memcmp(ApcText.data(), kBulkApcPrefix, kBulkApcPrefixLength) == 0) {
    ApcBulkMode = true;
    ApcBulk.reserve(256);
    ApcBulk.assign(ApcText.begin(), ApcText.begin() + kBulkApcPrefixLength);
  }
}

void TAnsiParser::DeliverApc() {
  if (ApcOverflow) {
    // A cut string would be acted on with part of its data missing.
    LogLine("AnsiParser: APC string longer than " +
            std::to_string(ApcBulkMode ? ApcBulkMax : size_t(ApcShortMax)) + " bytes dropped");
  } else if (OnApc) {
    std::string text = ApcBulkMode ? std::string(ApcBulk.begin(), ApcBulk.end())
                                    : std::string(ApcText.begin(), ApcText.begin() + ApcLength);
    if (!text.empty()) OnApc(text);
  }
  ApcLength = 0;
  std::vector<uint8_t>().swap(ApcBulk);
  ApcBulkMode = false;
  ApcOverflow = false;
  EscInString = false;
  State = stGround;
}
