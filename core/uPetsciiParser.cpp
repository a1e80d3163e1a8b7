#include "core/uPetsciiParser.h"

#include <algorithm>
#include <array>

#include "core/uControlChars.h"

namespace {

// ---- PETSCII

enum class TPetscii : uint8_t {
  Print, Ignore, Colour, Return, ShiftReturn, LowerSet, UpperSet, Down, Up, Right, Left,
  ReverseOn, ReverseOff, Home, Clear, Delete, Insert,
};

// Colour codes with their index in C64Palette (40 columns) and AnsiPalette
// (80 columns, the C128 VDC's RGBI colours).
struct TPetsciiColour {
  uint8_t Code;
  uint8_t C64;
  uint8_t Ansi;
};
constexpr TPetsciiColour PetsciiColours[] = {
    {5, 1, 15},    // white
    {28, 2, 1},    // red
    {30, 5, 2},    // green
    {31, 6, 4},    // blue
    {129, 8, 5},   // orange
    {144, 0, 0},   // black
    {149, 9, 3},   // brown
    {150, 10, 9},  // light red
    {151, 11, 6},  // dark grey
    {152, 12, 8},  // grey
    {153, 13, 10}, // light green
    {154, 14, 12}, // light blue
    {155, 15, 7},  // light grey
    {156, 4, 13},  // purple
    {158, 7, 11},  // yellow
    {159, 3, 14},  // cyan
};

// Every control (0..31, 128..159) not listed is ignored; PETSCII has no line
// feed, so LF (10) is among them.
constexpr std::array<TPetscii, 256> PetsciiTable = [] {
  std::array<TPetscii, 256> t{};
  t.fill(TPetscii::Print);
  for (int b = 0; b < 32; ++b) t[b] = TPetscii::Ignore;
  for (int b = 128; b < 160; ++b) t[b] = TPetscii::Ignore;
  for (const auto& c : PetsciiColours) t[c.Code] = TPetscii::Colour;
  t[13] = TPetscii::Return;
  t[141] = TPetscii::ShiftReturn;
  t[14] = TPetscii::LowerSet;
  t[142] = TPetscii::UpperSet;
  t[17] = TPetscii::Down;
  t[145] = TPetscii::Up;
  t[29] = TPetscii::Right;
  t[157] = TPetscii::Left;
  t[18] = TPetscii::ReverseOn;
  t[146] = TPetscii::ReverseOff;
  t[19] = TPetscii::Home;
  t[147] = TPetscii::Clear;
  t[20] = TPetscii::Delete;
  t[148] = TPetscii::Insert;
  return t;
}();

constexpr std::array<int8_t, 256> ColourIndex(bool Col80) {
  std::array<int8_t, 256> t{};
  t.fill(-1);
  for (const auto& c : PetsciiColours) t[c.Code] = int8_t(Col80 ? c.Ansi : c.C64);
  return t;
}
constexpr std::array<int8_t, 256> C64ColourOf = ColourIndex(false);
constexpr std::array<int8_t, 256> AnsiColourOf = ColourIndex(true);

// With lenient letters and the upper-case set, ASCII lower case (97..122) and
// the shifted letters (192..222) show as the capitals 65..90 and 64..94.
constexpr uint8_t LenientLetter(uint8_t B) {
  if (B >= 97 && B <= 122) return uint8_t(B - 32);
  if (B >= 192 && B <= 222) return uint8_t(B - 128);
  return B;
}

// ---- ATASCII

enum class TAtascii : uint8_t {
  Print, Ignore, Escape, Up, Down, Left, Right, Clear, Backspace, Tab, Eol, DeleteLine,
  InsertLine, ClearTab, SetTab, DeleteChar, InsertChar, LineFeed, Return,
};

// ATASCII has its own codes; the ASCII controls are glyphs there (LF and CR
// only act in the lenient mode).
constexpr std::array<TAtascii, 256> AtasciiTable = [] {
  std::array<TAtascii, 256> t{};
  t.fill(TAtascii::Print);
  t[27] = TAtascii::Escape;
  t[28] = TAtascii::Up;
  t[29] = TAtascii::Down;
  t[30] = TAtascii::Left;
  t[31] = TAtascii::Right;
  t[125] = TAtascii::Clear;
  t[126] = TAtascii::Backspace;
  t[127] = TAtascii::Tab;
  t[155] = TAtascii::Eol;
  t[156] = TAtascii::DeleteLine;
  t[157] = TAtascii::InsertLine;
  t[158] = TAtascii::ClearTab;
  t[159] = TAtascii::SetTab;
  t[253] = TAtascii::Ignore;  // bell
  t[254] = TAtascii::DeleteChar;
  t[255] = TAtascii::InsertChar;
  t[cc::LF] = TAtascii::LineFeed;
  t[cc::CR] = TAtascii::Return;
  return t;
}();

constexpr uint8_t AtasciiEol = 155;
constexpr int TabInterval = 8;

}  // namespace

uint8_t AtasciiScreenCode(uint8_t B) {
  switch (B >> 5) {
    case 0: return uint8_t(B + 64);   // 0..31
    case 1:
    case 2: return uint8_t(B - 32);   // 32..95
    case 3: return B;                 // 96..127
    case 4: return uint8_t(B + 64);   // 128..159
    case 5:
    case 6: return uint8_t(B - 32);   // 160..223
    default: return B;                // 224..255
  }
}

TPetsciiParser::TPetsciiParser(TTerminalBuffer& ABuffer, int32_t AMode)
    : Buffer(ABuffer), Mode(AMode == pmAtascii ? pmAtascii : pmPetscii) {
  Reset();
}

void TPetsciiParser::Reset() {
  if (Mode == pmPetscii) {
    Col80 = Buffer.FWidth == 80 ? 1 : 0;
    Colour = 15;
    Reverse = false;
    LowerCase = false;
    ApplyColours();
  } else {
    EscapeNext = false;
    TabStops.assign(size_t(Buffer.FWidth), false);
    for (size_t c = 0; c < TabStops.size(); c += TabInterval) TabStops[c] = true;
    Buffer.SetFgRGB(AtasciiForeground);
    Buffer.SetBgRGB(AtasciiBackground);
  }
}

void TPetsciiParser::ApplyColours() {
  const TColorRGB* palette = Col80 ? AnsiPalette : C64Palette;
  const TColorRGB f = palette[Colour & 15];
  const TColorRGB k = palette[0];
  Buffer.SetFgRGB(Reverse ? k : f);
  Buffer.SetBgRGB(Reverse ? f : k);
}

void TPetsciiParser::ProcessByte(uint8_t B) {
  if (Mode == pmPetscii)
    ProcessPetscii(B);
  else
    ProcessAtascii(B);
}

void TPetsciiParser::SetCharset(bool Lower) {
  LowerCase = Lower;
  if (OnCharsetChange) OnCharsetChange(Lower);
}

void TPetsciiParser::DeleteChar(int Row, int Col) {
  const int w = Buffer.FWidth;
  if (Row < 0 || Row >= Buffer.FHeight || Col < 0 || Col >= w) return;
  for (int c = Col; c < w - 1; ++c) Buffer.SetCell(c, Row, Buffer.GetCell(c + 1, Row));
  Buffer.SetCell(w - 1, Row, Buffer.PenCell(' '));
}

void TPetsciiParser::InsertChar(int Row, int Col) {
  const int w = Buffer.FWidth;
  if (Row < 0 || Row >= Buffer.FHeight || Col < 0 || Col >= w) return;
  for (int c = w - 1; c > Col; --c) Buffer.SetCell(c, Row, Buffer.GetCell(c - 1, Row));
  Buffer.SetCell(Col, Row, Buffer.PenCell(' '));
}

// ---- PETSCII

void TPetsciiParser::ProcessPetscii(uint8_t B) {
  switch (PetsciiTable[B]) {
    case TPetscii::Print:
      Buffer.PutChar(LenientLetters && !LowerCase ? LenientLetter(B) : B);
      break;
    case TPetscii::Ignore: break;
    case TPetscii::Colour:
      Colour = Col80 ? AnsiColourOf[B] : C64ColourOf[B];
      ApplyColours();
      break;
    case TPetscii::Return:
      Reverse = false;
      ApplyColours();
      Buffer.CarriageReturn();
      Buffer.NewLine(false);
      break;
    case TPetscii::ShiftReturn:
      Buffer.CarriageReturn();
      Buffer.NewLine(false);
      break;
    case TPetscii::LowerSet: SetCharset(true); break;
    case TPetscii::UpperSet: SetCharset(false); break;
    case TPetscii::Down: Buffer.NewLine(false); break;
    case TPetscii::Up: Buffer.MoveCursorBy(0, -1); break;
    case TPetscii::Right: PetsciiRight(); break;
    case TPetscii::Left: PetsciiLeft(); break;
    case TPetscii::ReverseOn:
    case TPetscii::ReverseOff:
      Reverse = PetsciiTable[B] == TPetscii::ReverseOn;
      ApplyColours();
      break;
    case TPetscii::Home: Buffer.GotoXY(0, 0); break;
    case TPetscii::Clear:
      Buffer.ClearScreen(true);
      Buffer.GotoXY(0, 0);
      break;
    case TPetscii::Delete: PetsciiDelete(); break;
    case TPetscii::Insert: InsertChar(Buffer.CursorY, Buffer.CursorX); break;
  }
}

// Cursor right runs on into the next row, and off the bottom-right cell of
// the board's rows the screen scrolls at once.
void TPetsciiParser::PetsciiRight() {
  const int last = Buffer.FWidth - 1;
  const int lastRow = Buffer.VisibleRows() - 1;
  if (Buffer.CursorX < last) {
    Buffer.GotoXY(Buffer.CursorX + 1, Buffer.CursorY);
  } else if (Buffer.CursorY < lastRow) {
    Buffer.GotoXY(0, Buffer.CursorY + 1);
  } else {
    Buffer.ScrollUp(1);
    Buffer.GotoXY(0, lastRow);
  }
}

// Cursor left runs back onto the last column of the row above; it stops at
// the top-left cell.
void TPetsciiParser::PetsciiLeft() {
  if (Buffer.CursorX > 0)
    Buffer.GotoXY(Buffer.CursorX - 1, Buffer.CursorY);
  else if (Buffer.CursorY > 0)
    Buffer.GotoXY(Buffer.FWidth - 1, Buffer.CursorY - 1);
}

void TPetsciiParser::PetsciiDelete() {
  if (Buffer.CursorX > 0)
    Buffer.GotoXY(Buffer.CursorX - 1, Buffer.CursorY);
  else if (Buffer.CursorY > 0)
    Buffer.GotoXY(0, Buffer.CursorY - 1);
  else
    return;
  if (Buffer.CursorX < Buffer.FWidth - 1) DeleteChar(Buffer.CursorY, Buffer.CursorX);
}

// ---- ATASCII

void TPetsciiParser::ProcessAtascii(uint8_t B) {
  if (EscapeNext) {
    EscapeNext = false;
    if (B == AtasciiEol) {
      Buffer.CarriageReturn();
      Buffer.NewLine(false);
    } else {
      Buffer.PutChar(AtasciiScreenCode(B));
    }
    return;
  }
  const int lastCol = Buffer.FWidth - 1;
  const int lastRow = Buffer.VisibleRows() - 1;  // a status row is not the board's
  const int x = Buffer.CursorX;
  const int y = Buffer.CursorY;
  switch (AtasciiTable[B]) {
    case TAtascii::Print: Buffer.PutChar(B); break;
    case TAtascii::Ignore: break;
    case TAtascii::Escape: EscapeNext = true; break;
    // The cursor keys wrap within their row or column and never scroll.
    case TAtascii::Up: Buffer.GotoXY(x, y > 0 ? y - 1 : lastRow); break;
    case TAtascii::Down: Buffer.GotoXY(x, y < lastRow ? y + 1 : 0); break;
    case TAtascii::Left: Buffer.GotoXY(x > 0 ? x - 1 : lastCol, y); break;
    case TAtascii::Right: Buffer.GotoXY(x < lastCol ? x + 1 : 0, y); break;
    case TAtascii::Clear:
      Buffer.ClearScreen(true);
      Buffer.GotoXY(0, 0);
      break;
    case TAtascii::Backspace: AtasciiBackspace(); break;
    case TAtascii::Tab: AtasciiTab(); break;
    case TAtascii::Eol:
      Buffer.CarriageReturn();
      Buffer.NewLine(false);
      break;
    case TAtascii::DeleteLine: AtasciiDeleteLine(); break;
    case TAtascii::InsertLine: AtasciiInsertLine(); break;
    case TAtascii::ClearTab:
    case TAtascii::SetTab:
      if (x < int(TabStops.size())) TabStops[size_t(x)] = AtasciiTable[B] == TAtascii::SetTab;
      break;
    case TAtascii::DeleteChar:
      if (x < lastCol) DeleteChar(y, x);
      break;
    case TAtascii::InsertChar:
      if (x < lastCol) InsertChar(y, x);
      break;
    case TAtascii::LineFeed:
      if (LenientCRLF)
        Buffer.NewLine(false);
      else
        Buffer.PutChar(B);
      break;
    case TAtascii::Return:
      if (LenientCRLF)
        Buffer.CarriageReturn();
      else
        Buffer.PutChar(B);
      break;
  }
}

void TPetsciiParser::AtasciiBackspace() {
  if (Buffer.CursorX < 1) return;
  Buffer.GotoXY(Buffer.CursorX - 1, Buffer.CursorY);
  Buffer.SetCell(Buffer.CursorX, Buffer.CursorY, Buffer.PenCell(' '));
}

void TPetsciiParser::AtasciiTab() {
  const int end = std::min(Buffer.FWidth, int(TabStops.size()));
  for (int c = Buffer.CursorX + 1; c < end; ++c) {
    if (TabStops[size_t(c)]) {
      Buffer.GotoXY(c, Buffer.CursorY);
      return;
    }
  }
  Buffer.CarriageReturn();
  Buffer.NewLine(false);
}

void TPetsciiParser::BlankRow(int Row) {
  for (int c = 0; c < Buffer.FWidth; ++c) Buffer.SetCell(c, Row, Buffer.PenCell(' '));
}

// Whole rows of the board, margins ignored: the Atari screen editor has
// none. Reserved status rows stay as they are.
void TPetsciiParser::AtasciiDeleteLine() {
  const int w = Buffer.FWidth;
  const int lastRow = Buffer.VisibleRows() - 1;
  for (int r = Buffer.CursorY; r < lastRow; ++r)
    for (int c = 0; c < w; ++c) Buffer.SetCell(c, r, Buffer.GetCell(c, r + 1));
  BlankRow(lastRow);
  Buffer.CarriageReturn();
}

void TPetsciiParser::AtasciiInsertLine() {
  const int w = Buffer.FWidth;
  for (int r = Buffer.VisibleRows() - 1; r > Buffer.CursorY; --r)
    for (int c = 0; c < w; ++c) Buffer.SetCell(c, r, Buffer.GetCell(c, r - 1));
  BlankRow(Buffer.CursorY);
  Buffer.CarriageReturn();
}
