#include "core/uViewdataParser.h"

#include <array>

#include "core/uControlChars.h"

namespace {

// Attribute codes (ETS 300 706 table 26, level 1).
enum : uint8_t {
  vaAlphaFirst = 0x00, vaAlphaLast = 0x07,
  vaFlash = 0x08, vaSteady = 0x09,
  vaMosaicFirst = 0x10, vaMosaicLast = 0x17,
  vaConceal = 0x18, vaContiguous = 0x19, vaSeparated = 0x1A,
  vaBlackBackground = 0x1C, vaNewBackground = 0x1D,
  vaHold = 0x1E, vaRelease = 0x1F,
};

constexpr uint8_t PrestelAttributeFirst = 0x40;  // ESC 0x40..0x5F
constexpr uint8_t PrestelAttributeLast = 0x5F;
constexpr uint8_t Mode7HighBit = 0x80;

// The CP437 shade standing for a mosaic byte: by how many of the six sextant
// bits (1, 2, 4, 8, 16, 64; bit 32 only marks the mosaic range) are set.
constexpr std::array<uint8_t, 128> MosaicGlyph = [] {
  constexpr uint8_t byCount[7] = {32, 176, 176, 177, 177, 178, 219};
  std::array<uint8_t, 128> t{};
  for (int f = 0; f < 128; ++f) {
    int n = 0;
    for (int bit : {1, 2, 4, 8, 16, 64}) n += (f & bit) ? 1 : 0;
    t[f] = byCount[n];
  }
  return t;
}();

// In mosaic mode 0x40..0x5F stay characters ("blast-through" capitals).
constexpr bool IsMosaicByte(uint8_t B) { return (B >= 0x20 && B <= 0x3F) || (B >= 0x60 && B <= 0x7F); }

}  // namespace

TViewdataParser::TViewdataParser(TTerminalBuffer& ABuffer) : Buffer(ABuffer) { Reset(); }

// The black background is a direct colour, so flash never brightens it
// through the buffer's iCE colours.
void TViewdataParser::RowDefaults() {
  Mosaic = false;
  Colour = 7;
  Hold = false;
  Conceal = false;
  HeldMosaic = -1;
  Buffer.SetFgRGB(ViewdataPalette[7]);
  Buffer.SetBgRGB(ViewdataPalette[0]);
  Buffer.SetBlink(false);
}

void TViewdataParser::Reset() {
  EscapePending = false;
  RowStarted = false;
  RowDefaults();
}

// Called before anything that belongs to a row position: a row entered by a
// wrap, a line feed, a return or a clear starts from the defaults.
void TViewdataParser::EnterCell() {
  if (!RowStarted) {
    RowDefaults();
    RowStarted = true;
  }
}

// A write into the right margin has already wrapped the cursor to a new row.
void TViewdataParser::AfterCell() {
  if (Buffer.CursorX == Buffer.MarginX0) RowStarted = false;
}

void TViewdataParser::Feed(uint8_t B) {
  if (EscapePending) {
    EscapePending = false;
    if (B >= PrestelAttributeFirst && B <= PrestelAttributeLast) {
      SerialAttribute(uint8_t(B - PrestelAttributeFirst), true);
      return;
    }
    // A lone ESC is the raw escape attribute (it shows a held mosaic like
    // any other); the byte after it is then taken as it stands.
    SerialAttribute(cc::ESC, false);
  }
  switch (B) {
    case cc::LF:
      Buffer.NewLine(false);
      RowStarted = false;
      return;
    case cc::FF:
      Buffer.ClearScreen(true);
      Reset();
      Buffer.GotoXY(0, 0);
      return;
    case cc::CR:
      Buffer.CarriageReturn();
      RowStarted = false;
      return;
    case cc::ESC: EscapePending = true; return;
    default: break;
  }
  if (B <= cc::US) {
    SerialAttribute(B, false);
  } else if (B < cc::C1First) {
    PrintCharacter(B);
  } else if (B <= cc::C1Last) {
    SerialAttribute(uint8_t(B - Mode7HighBit), true);
  } else {
    PrintCharacter(uint8_t(B - Mode7HighBit));
  }
}

void TViewdataParser::SerialAttribute(uint8_t Code, bool Spacing) {
  EnterCell();
  const bool showHeld = Hold && Mosaic && HeldMosaic >= 0 && Code < vaHold && Code != vaContiguous &&
                        Code != vaSeparated;
  if (Code <= vaAlphaLast) {
    Colour = Code - vaAlphaFirst;
    Mosaic = false;
    Buffer.SetFgRGB(ViewdataPalette[Colour]);
    Conceal = false;
  } else if (Code >= vaMosaicFirst && Code <= vaMosaicLast) {
    Colour = Code - vaMosaicFirst;
    Mosaic = true;
    Buffer.SetFgRGB(ViewdataPalette[Colour]);
    Conceal = false;
  } else {
    switch (Code) {
      case vaFlash: Buffer.SetBlink(true); break;
      case vaSteady: Buffer.SetBlink(false); break;
      case vaConceal: Conceal = true; break;
      case vaBlackBackground: Buffer.SetBgRGB(ViewdataPalette[0]); break;
      case vaNewBackground:
        Buffer.SetFgRGB(ViewdataPalette[Colour]);
        Buffer.SetBgRGB(ViewdataPalette[Colour]);
        break;
      case vaHold: Hold = true; break;
      case vaRelease: Hold = false; break;
      default: break;  // contiguous, separated, sizes, escape: nothing to show
    }
  }
  if (showHeld) {
    DrawMosaic(HeldMosaic);
  } else if (Spacing) {
    Buffer.PutChar(' ');
    AfterCell();
  }
}

void TViewdataParser::PrintCharacter(uint8_t B) {
  EnterCell();
  if (Mosaic && IsMosaicByte(B)) {
    DrawMosaic(B);
    return;
  }
  Buffer.PutChar(Conceal ? uint8_t(' ') : B);
  AfterCell();
}

void TViewdataParser::DrawMosaic(int32_t F) {
  HeldMosaic = F;
  Buffer.PutChar(Conceal ? uint8_t(' ') : MosaicGlyph[F & 0x7F]);
  AfterCell();
}
