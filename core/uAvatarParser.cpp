#include "core/uAvatarParser.h"

#include <array>

#include "core/uControlChars.h"

namespace {

// What a byte does outside a command. BS, HT and BEL act as on a PC console,
// which is what Avatar boards draw for; every other byte (ESC included) is a
// glyph.
enum class TGround : uint8_t { Print, Ignore, Backspace, Tab, LineFeed, ClearScreen, Return, Command, Repeat };

constexpr std::array<TGround, 256> GroundTable = [] {
  std::array<TGround, 256> t{};
  t.fill(TGround::Print);
  t[cc::BEL] = TGround::Ignore;
  t[cc::BS] = TGround::Backspace;
  t[cc::HT] = TGround::Tab;
  t[cc::LF] = TGround::LineFeed;
  t[cc::FF] = TGround::ClearScreen;
  t[cc::CR] = TGround::Return;
  t[cc::SYN] = TGround::Command;
  t[cc::EM] = TGround::Repeat;
  return t;
}();

// The byte after ^V. Unknown commands are dropped.
enum class TCommand : uint8_t { None, Attribute, Blink, Up, Down, Left, Right, EraseEol, Goto };

constexpr std::array<TCommand, 256> CommandTable = [] {
  std::array<TCommand, 256> t{};
  t.fill(TCommand::None);
  t[cc::SOH] = TCommand::Attribute;
  t[cc::STX] = TCommand::Blink;
  t[cc::ETX] = TCommand::Up;
  t[cc::EOT] = TCommand::Down;
  t[cc::ENQ] = TCommand::Left;
  t[cc::ACK] = TCommand::Right;
  t[cc::BEL] = TCommand::EraseEol;
  t[cc::BS] = TCommand::Goto;
  return t;
}();

}  // namespace

TAvatarParser::TAvatarParser(TTerminalBuffer& ABuffer) : Buffer(ABuffer) { Reset(); }

void TAvatarParser::DefaultPen() {
  Buffer.SetFgRGB(DosPalette[7]);
  Buffer.SetBgRGB(DosPalette[0]);
  Buffer.SetBold(false);
  Buffer.SetBlink(false);
}

void TAvatarParser::Reset() {
  State = asGround;
  GotoRow = -1;
  RepeatState = rsNone;
  RepeatChar = 32;
  DefaultPen();
}

void TAvatarParser::Feed(uint8_t B) {
  if (RepeatState == rsChar) {
    RepeatChar = B;
    RepeatState = rsCount;
    return;
  }
  if (RepeatState == rsCount) {
    RepeatState = rsNone;
    // The repeated byte is always a glyph, a control code too: ^Y never
    // repeats an action (a repeated ^L would push up to 255 screens into the
    // scrollback). A count is one byte, so at most 255 cells in one span.
    std::array<uint8_t, 255> run;
    run.fill(RepeatChar);
    Buffer.PutChars(run.data(), B);
    return;
  }
  switch (State) {
    case asCommand:
      State = asGround;
      Command(B);
      return;
    case asAttribute:
      SetAttribute(B);
      State = asGround;
      GotoRow = -1;
      return;
    case asGoto:
      if (GotoRow < 0) {
        GotoRow = B;
        return;
      }
      Buffer.GotoXY(int(B) - 1, GotoRow - 1);  // both 1-based
      State = asGround;
      GotoRow = -1;
      return;
    default:
      Ground(B);
  }
}

void TAvatarParser::Ground(uint8_t B) {
  switch (GroundTable[B]) {
    case TGround::Print: Buffer.PutChar(B); break;
    case TGround::Ignore: break;
    case TGround::Backspace: Buffer.MoveCursorBy(-1, 0); break;
    case TGround::Tab: TabToNextStop(Buffer); break;
    case TGround::LineFeed: Buffer.NewLine(false); break;
    case TGround::ClearScreen:
      Buffer.ClearScreen(true);
      DefaultPen();
      Buffer.GotoXY(0, 0);
      break;
    case TGround::Return: Buffer.CarriageReturn(); break;
    case TGround::Command: State = asCommand; break;
    case TGround::Repeat: RepeatState = rsChar; break;
  }
}

void TAvatarParser::Command(uint8_t B) {
  switch (CommandTable[B]) {
    case TCommand::None: break;
    case TCommand::Attribute: State = asAttribute; break;
    case TCommand::Blink: Buffer.SetBlink(true); break;
    case TCommand::Up: Buffer.MoveCursorBy(0, -1); break;
    case TCommand::Down: Buffer.MoveCursorBy(0, 1); break;
    case TCommand::Left: Buffer.MoveCursorBy(-1, 0); break;
    case TCommand::Right: Buffer.MoveCursorBy(1, 0); break;
    case TCommand::EraseEol: Buffer.EraseToEndOfLine(); break;
    case TCommand::Goto:
      State = asGoto;
      GotoRow = -1;
      break;
  }
}

// AVT/0 masks the attribute with 0x7F: blink comes only from ^V ^B.
void TAvatarParser::SetAttribute(uint8_t A) {
  A &= 0x7F;
  Buffer.SetFgRGB(DosPalette[A & 15]);
  Buffer.SetBgRGB(DosPalette[(A >> 4) & 7]);
  Buffer.SetBlink(false);
}
