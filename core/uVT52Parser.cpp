#include "core/uVT52Parser.h"

#include <array>

#include "core/uControlChars.h"

namespace {

// NUL is padding on a VT52 line and is dropped, as the terminal does; BEL has
// no sound here.
enum class TGround : uint8_t { Print, Ignore, Backspace, Tab, LineFeed, ClearScreen, Return, Escape };

constexpr std::array<TGround, 256> GroundTable = [] {
  std::array<TGround, 256> t{};
  t.fill(TGround::Print);
  t[cc::NUL] = TGround::Ignore;
  t[cc::BEL] = TGround::Ignore;
  t[cc::BS] = TGround::Backspace;
  t[cc::HT] = TGround::Tab;
  t[cc::LF] = TGround::LineFeed;
  t[cc::VT] = TGround::LineFeed;
  t[cc::FF] = TGround::ClearScreen;
  t[cc::CR] = TGround::Return;
  t[cc::ESC] = TGround::Escape;
  return t;
}();

// The byte after ESC: DEC VT52 (A..D, H, I, J, K, Y) and the Atari ST
// additions (E, L, M, b, c, d, e, f, j, k, l, o, p, q).
enum class TEscape : uint8_t {
  None, Up, Down, Right, Left, ClearHome, Home, ReverseIndex, EraseEos, EraseEol,
  InsertLine, DeleteLine, Position, Foreground, Background, EraseBos, CursorOn,
  CursorOff, SaveCursor, RestoreCursor, EraseLine, EraseBol, ReverseOn, ReverseOff,
};

constexpr std::array<TEscape, 256> EscapeTable = [] {
  std::array<TEscape, 256> t{};
  t.fill(TEscape::None);
  t['A'] = TEscape::Up;
  t['B'] = TEscape::Down;
  t['C'] = TEscape::Right;
  t['D'] = TEscape::Left;
  t['E'] = TEscape::ClearHome;
  t['H'] = TEscape::Home;
  t['I'] = TEscape::ReverseIndex;
  t['J'] = TEscape::EraseEos;
  t['K'] = TEscape::EraseEol;
  t['L'] = TEscape::InsertLine;
  t['M'] = TEscape::DeleteLine;
  t['Y'] = TEscape::Position;
  t['b'] = TEscape::Foreground;
  t['c'] = TEscape::Background;
  t['d'] = TEscape::EraseBos;
  t['e'] = TEscape::CursorOn;
  t['f'] = TEscape::CursorOff;
  t['j'] = TEscape::SaveCursor;
  t['k'] = TEscape::RestoreCursor;
  t['l'] = TEscape::EraseLine;
  t['o'] = TEscape::EraseBol;
  t['p'] = TEscape::ReverseOn;
  t['q'] = TEscape::ReverseOff;
  return t;
}();

// ESC Y sends row and column offset by 32.
constexpr int PositionBias = 32;

}  // namespace

TVT52Parser::TVT52Parser(TTerminalBuffer& ABuffer) : Buffer(ABuffer) { Reset(); }

void TVT52Parser::Reset() {
  State = vsGround;
  PendingRow = 0;
  SavedX = 0;
  SavedY = 0;
  HasSaved = false;
}

void TVT52Parser::Feed(uint8_t B) {
  switch (State) {
    case vsGround: Ground(B); return;
    case vsEscape:
      State = vsGround;
      Escape(B);
      return;
    case vsRow:
      PendingRow = int(B) - PositionBias;
      State = vsColumn;
      return;
    case vsColumn:
      Buffer.GotoXY(int(B) - PositionBias, PendingRow);  // the buffer clamps
      State = vsGround;
      return;
    case vsForeground:
      Buffer.SetFgRGB(AnsiPalette[B & 15]);
      State = vsGround;
      return;
    case vsBackground:
      Buffer.SetBgRGB(AnsiPalette[B & 15]);
      State = vsGround;
      return;
  }
}

void TVT52Parser::Ground(uint8_t B) {
  switch (GroundTable[B]) {
    case TGround::Print: Buffer.PutChar(B); break;
    case TGround::Ignore: break;
    case TGround::Backspace: Buffer.MoveCursorBy(-1, 0); break;
    case TGround::Tab: TabToNextStop(Buffer); break;
    case TGround::LineFeed: Buffer.NewLine(false); break;
    case TGround::ClearScreen: Buffer.ClearScreen(true); break;
    case TGround::Return: Buffer.CarriageReturn(); break;
    case TGround::Escape: State = vsEscape; break;
  }
}

void TVT52Parser::Escape(uint8_t B) {
  const bool inRegion = Buffer.CursorY >= Buffer.MarginY0 && Buffer.CursorY <= Buffer.MarginY1;
  switch (EscapeTable[B]) {
    case TEscape::None: break;
    case TEscape::Up: Buffer.MoveCursorBy(0, -1); break;
    case TEscape::Down: Buffer.MoveCursorBy(0, 1); break;
    case TEscape::Right: Buffer.MoveCursorBy(1, 0); break;
    case TEscape::Left: Buffer.MoveCursorBy(-1, 0); break;
    case TEscape::ClearHome:
      Buffer.ClearScreen(true);
      Buffer.GotoXY(0, 0);
      break;
    case TEscape::Home: Buffer.GotoXY(0, 0); break;
    case TEscape::ReverseIndex:
      // On the top row the screen scrolls down (a blank line at the top margin).
      if (Buffer.CursorY == 0)
        Buffer.InsertLines(0, 1);
      else
        Buffer.MoveCursorBy(0, -1);
      break;
    case TEscape::EraseEos: Buffer.EraseToEndOfScreen(); break;
    case TEscape::EraseEol: Buffer.EraseToEndOfLine(); break;
    case TEscape::InsertLine:
      if (inRegion) Buffer.InsertLines(Buffer.CursorY, 1);
      break;
    case TEscape::DeleteLine:
      if (inRegion) Buffer.DeleteLines(Buffer.CursorY, 1);
      break;
    case TEscape::Position: State = vsRow; break;
    case TEscape::Foreground: State = vsForeground; break;
    case TEscape::Background: State = vsBackground; break;
    case TEscape::EraseBos: Buffer.EraseToStartOfScreen(); break;
    case TEscape::CursorOn: Buffer.SetCursorVisible(true); break;
    case TEscape::CursorOff: Buffer.SetCursorVisible(false); break;
    case TEscape::SaveCursor:
      SavedX = Buffer.CursorX;
      SavedY = Buffer.CursorY;
      HasSaved = true;
      break;
    case TEscape::RestoreCursor:
      if (HasSaved) Buffer.GotoXY(SavedX, SavedY);
      break;
    case TEscape::EraseLine: Buffer.ClearRow(Buffer.CursorY); break;
    case TEscape::EraseBol: Buffer.EraseToStartOfLine(); break;
    case TEscape::ReverseOn: Buffer.SetReverse(true); break;
    case TEscape::ReverseOff: Buffer.SetReverse(false); break;
  }
}
