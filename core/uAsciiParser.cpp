#include "core/uAsciiParser.h"

#include <array>

#include "core/uControlChars.h"

namespace {

enum class TGround : uint8_t { Print, Ignore, Backspace, Tab, LineFeed, ClearScreen, Return, Escape };

// Controls other than these (BEL included) and DEL are dropped.
constexpr std::array<TGround, 256> GroundTable = [] {
  std::array<TGround, 256> t{};
  t.fill(TGround::Print);
  for (int b = 0; b < 32; ++b) t[b] = TGround::Ignore;
  t[cc::DEL] = TGround::Ignore;
  t[cc::BS] = TGround::Backspace;
  t[cc::HT] = TGround::Tab;
  t[cc::LF] = TGround::LineFeed;
  t[cc::FF] = TGround::ClearScreen;
  t[cc::CR] = TGround::Return;
  t[cc::ESC] = TGround::Escape;
  return t;
}();

constexpr std::array<uint8_t, 256> FoldTable = [] {
  std::array<uint8_t, 256> t{};
  for (int b = 0; b < 128; ++b) t[b] = uint8_t(b);
  for (int b = 128; b < 256; ++b) t[b] = '.';
  for (int b : {176, 177, 178, 219, 220, 223}) t[b] = '#';
  for (int b : {179, 186}) t[b] = '|';
  for (int b = 180; b <= 218; ++b)
    if (b != 186 && b != 196 && b != 205) t[b] = '+';
  for (int b : {196, 205}) t[b] = '-';
  for (int b : {248, 254}) t[b] = '*';
  t[255] = ' ';
  return t;
}();

// ECMA-48 5.4: a control sequence ends with a final byte 0x40..0x7E.
constexpr bool IsFinalByte(uint8_t B) { return B >= 0x40 && B <= 0x7E; }

}  // namespace

uint8_t AsciiFold(uint8_t Ch) { return FoldTable[Ch]; }

TAsciiParser::TAsciiParser(TTerminalBuffer& ABuffer) : Buffer(ABuffer) {
  Reset();
  Buffer.SetFgRGB(AnsiPalette[7]);
  Buffer.SetBgRGB(AnsiPalette[0]);
}

void TAsciiParser::Reset() { State = tsGround; }

void TAsciiParser::Feed(uint8_t B) {
  if (State == tsEscape) {
    State = B == '[' ? tsSequence : tsGround;
    return;
  }
  if (State == tsSequence) {
    if (IsFinalByte(B)) State = tsGround;
    return;
  }
  switch (GroundTable[B]) {
    case TGround::Print: Buffer.PutChar(FoldTable[B]); break;
    case TGround::Ignore: break;
    case TGround::Backspace: Buffer.MoveCursorBy(-1, 0); break;
    case TGround::Tab: TabToNextStop(Buffer); break;
    case TGround::LineFeed: Buffer.NewLine(false); break;
    case TGround::ClearScreen:
      Buffer.ClearScreen(true);
      Buffer.GotoXY(0, 0);
      break;
    case TGround::Return: Buffer.CarriageReturn(); break;
    case TGround::Escape: State = tsEscape; break;
  }
}
