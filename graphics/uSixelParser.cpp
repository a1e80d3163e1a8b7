#include "graphics/uSixelParser.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/uControlChars.h"
#include "core/uDebugLog.h"
#include "core/uEscapeRun.h"
#include "core/uFontRenderer.h"
#include "platform/Tick.h"

namespace {

constexpr uint32_t Pack(int r, int g, int b) {
  return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// The VT340's sixteen colours; register n above 15 starts as register n mod 16.
constexpr uint32_t kDefaultPalette[16] = {
    Pack(0, 0, 0),     Pack(0, 0, 170),    Pack(0, 170, 0),    Pack(0, 170, 170),
    Pack(170, 0, 0),   Pack(170, 0, 170),  Pack(170, 85, 0),   Pack(170, 170, 170),
    Pack(85, 85, 85),  Pack(85, 85, 255),  Pack(85, 255, 85),  Pack(85, 255, 255),
    Pack(255, 85, 85), Pack(255, 85, 255), Pack(255, 255, 85), Pack(255, 255, 255),
};

int64_t Limit(int64_t v, int64_t lo, int64_t hi) { return std::min(std::max(v, lo), hi); }

// Digits Text[From..To) as a number; false when empty, not all digits, or
// beyond 32 bits.
bool ParseDecimal(const std::string& text, size_t from, size_t to, int64_t& value) {
  value = 0;
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return false;
  }
  return true;
}

// A percentage 0..100 as a byte, rounded half up.
int PercentToByte(int64_t v) { return int((Limit(v, 0, 100) * 255 + 50) / 100); }

// DEC's HLS: hue 0 is blue, 120 red, 240 green (the VT340 and every Sixel
// encoder count from blue), lightness and saturation in percent. The hue is
// turned to the usual red origin, then converted as standard HSL.
uint32_t HlsToRgb(int64_t hue, int64_t lightness, int64_t saturation) {
  const double h = double((Limit(hue, 0, 360) + 240) % 360);
  const double l = double(Limit(lightness, 0, 100)) / 100.0, s = double(Limit(saturation, 0, 100)) / 100.0;
  const double c = (1.0 - std::fabs(2.0 * l - 1.0)) * s;
  const double x = c * (1.0 - std::fabs(h / 60.0 - 2.0 * std::floor(h / 120.0) - 1.0));
  const double m = l - c / 2.0;
  double r, g, b;
  if (h < 60) {
    r = c, g = x, b = 0;
  } else if (h < 120) {
    r = x, g = c, b = 0;
  } else if (h < 180) {
    r = 0, g = c, b = x;
  } else if (h < 240) {
    r = 0, g = x, b = c;
  } else if (h < 300) {
    r = x, g = 0, b = c;
  } else {
    r = c, g = 0, b = x;
  }
  auto channel = [&](double v) { return int(Limit(std::lround((v + m) * 255.0), 0, 255)); };
  return Pack(channel(r), channel(g), channel(b));
}

}  // namespace

TSixelParser::TSixelParser(TTerminalBuffer* buffer, TFontRenderer* renderer, int cellW, int cellH)
    : Clock(platform::TickMs),
      FBuffer(buffer),
      FRenderer(renderer),
      FCellWidth(std::max(1, cellW)),
      FCellHeight(std::max(1, cellH)) {
  ResetPalette();
}

void TSixelParser::Reset() {
  FState = ssGround;
  FCmdParams.clear();
  FPendingCmd = pcNone;
  ResetPalette();
  FPixels = std::vector<uint32_t>();
  FStride = 0;
  FSpriteRgb = std::vector<TColorRGB>();
  FSpriteMask = std::vector<uint8_t>();
  FStoredRows = 0;
  FImageWidth = FImageHeight = 0;
  FImagePlaced = false;
  VideoStartDelayMs = 0;
  FHoldStarted = false;
  FHoldStart = 0;
}

void TSixelParser::ResetPalette() {
  for (size_t i = 0; i < FPalette.size(); ++i) FPalette[i] = kDefaultPalette[i % 16];
  FColour = 0;
}

bool TSixelParser::TakeImagePlaced() {
  const bool placed = FImagePlaced;
  FImagePlaced = false;
  return placed;
}

size_t TSixelParser::PlainRun(const uint8_t* data, size_t count) const {
  // ESC with anything but "P" goes on as the two bytes it was.
  if (FState != ssGround) return 0;
  return PassedEscapeRun(data, count, {'P'});
}

void TSixelParser::ProcessByte(uint8_t b, std::vector<uint8_t>& out) {
  switch (FState) {
    case ssGround:
      if (b == cc::ESC)
        FState = ssEscape;
      else
        out.push_back(b);
      return;
    case ssEscape:
      EscapeByte(b, out);
      return;
    case ssDcsParams:
      // The DCS parameters (aspect, background, grid) are not used: the
      // raster attributes inside the data carry the aspect. An intermediate
      // byte (ECMA-48: 0x20..0x2F) makes another control string of it, such
      // as a status request "$q", whose 'q' does not start a picture.
      if (b == 'q' && !FDcsIntermediate) {
        BeginImage();
        FState = ssData;
      } else if (b == cc::ESC) {
        FState = ssDcsEscape;
      } else if (b >= 0x20 && b <= 0x2F) {
        FDcsIntermediate = true;
      }
      return;
    case ssData:
      if (b == cc::ESC)
        FState = ssDataEscape;
      else
        DataByte(b);
      return;
    case ssDataEscape:
      if (b == '\\') {
        FinishImage();
        return;
      }
      FState = ssData;
      DataByte(b);
      return;
    case ssDcsEscape:
      // A DCS string this filter does not show ends here with its ESC "\"
      // whole; anything else after the ESC is read as a new escape.
      if (b == '\\')
        FState = ssGround;
      else
        EscapeByte(b, out);
      return;
  }
}

void TSixelParser::EscapeByte(uint8_t b, std::vector<uint8_t>& out) {
  if (b != 'P') {
    out.push_back(cc::ESC);
    out.push_back(b);
    FState = ssGround;
    return;
  }
  FState = ssDcsParams;
  FDcsIntermediate = false;
  FSpriteX = FBuffer ? FBuffer->CursorX * FCellWidth : 0;
  FSpriteY = FBuffer ? FBuffer->CursorY * FCellHeight : 0;
}

void TSixelParser::BeginImage() {
  FPixels.clear();
  FStoredRows = 0;
  FStride = 0;
  FImageWidth = FImageHeight = 0;
  FX = FBandTop = 0;
  FRepeat = 0;
  FCmdParams.clear();
  FPendingCmd = pcNone;
  FPan = FPad = 1;
  // Pixels right of or below the screen can never be seen: they are counted
  // in the picture's size but not stored, so memory follows the screen.
  FStoreWidth = FStoreHeight = MaxSide;
  if (FBuffer) {
    FStoreWidth = int(Limit(int64_t(FBuffer->FWidth) * FCellWidth - FSpriteX, 0, MaxSide));
    FStoreHeight = int(Limit(int64_t(FBuffer->FHeight) * FCellHeight - FSpriteY, 0, MaxSide));
  }
}

void TSixelParser::DataByte(uint8_t b) {
  switch (b) {
    case '!':
      FinishCommand();
      FPendingCmd = pcRepeat;
      return;
    case '"':
      FinishCommand();
      FPendingCmd = pcRaster;
      return;
    case '#':
      FinishCommand();
      FPendingCmd = pcColour;
      return;
    case '$':
      FinishCommand();
      FX = 0;
      return;
    case '-':
      FinishCommand();
      FBandTop = std::min(FBandTop + 6, MaxSide);
      FX = 0;
      return;
    default:
      break;
  }
  if ((b >= '0' && b <= '9') || b == ';') {
    if (FCmdParams.size() < MaxCommandText) FCmdParams.push_back(char(b));
    return;
  }
  if (b >= '?' && b <= '~') {
    FinishCommand();
    PaintSixel(b - '?');
  }
  // Controls, blanks, other punctuation and bytes above 126 are ignored,
  // and a pending command stays pending.
}

int TSixelParser::SplitParams(std::array<int64_t, 5>& fields) const {
  fields.fill(0);
  if (FCmdParams.empty()) return 0;
  int count = 0;
  size_t at = 0;
  for (;;) {
    const size_t end = std::min(FCmdParams.find(';', at), FCmdParams.size());
    if (count < 5) {
      int64_t v = 0;
      fields[size_t(count)] = ParseDecimal(FCmdParams, at, end, v) ? v : 0;
    }
    ++count;
    if (end >= FCmdParams.size()) return count;
    at = end + 1;
  }
}

void TSixelParser::FinishCommand() {
  if (FPendingCmd == pcNone && FCmdParams.empty()) return;
  switch (FPendingCmd) {
    case pcColour:
      SelectColour();
      break;
    case pcRepeat: {
      int64_t n = 0;
      FRepeat = ParseDecimal(FCmdParams, 0, FCmdParams.size(), n) ? n : 1;
      break;
    }
    case pcRaster:
      RasterAttributes();
      break;
    case pcNone:
      break;
  }
  FPendingCmd = pcNone;
  FCmdParams.clear();
}

// # Pc ; Pu ; Px ; Py ; Pz: select register Pc, and with all five fields
// also set it, in HLS (Pu 1) or RGB percentages (any other Pu).
void TSixelParser::SelectColour() {
  std::array<int64_t, 5> f;
  const int count = SplitParams(f);
  if (count == 0 || f[0] < 0 || f[0] > 255) return;
  const size_t reg = size_t(f[0]);
  if (count >= 5)
    FPalette[reg] =
        f[1] == 1 ? HlsToRgb(f[2], f[3], f[4]) : Pack(PercentToByte(f[2]), PercentToByte(f[3]), PercentToByte(f[4]));
  FColour = int(reg);
}

// " Pan ; Pad ; Ph ; Pv: the pixel aspect, and a size the picture has at
// least (transparent where nothing is painted).
void TSixelParser::RasterAttributes() {
  std::array<int64_t, 5> f;
  const int count = SplitParams(f);
  if (count >= 4) {
    const int64_t ph = Limit(f[2], 0, MaxSide - 1), pv = Limit(f[3], 0, MaxSide - 1);
    if (ph > 0) {
      FImageWidth = std::max(FImageWidth, int(ph));
      FImageHeight = std::max(FImageHeight, 1);
      // The rows are made as wide as announced at once.
      if (FStride < std::min(int(ph), FStoreWidth)) Widen(std::min(int(ph), FStoreWidth));
    }
    if (pv > 0) FImageHeight = std::max(FImageHeight, int(pv));
  }
  FPan = count >= 1 ? int(Limit(f[0], 0, 16)) : 1;
  FPad = count >= 2 ? int(Limit(f[1], 0, 16)) : 1;
  if (FPan == 0) FPan = 1;
  if (FPad == 0) FPad = 1;
}

// Rows become at least Need pixels wide: 64 at first, then doubling, never
// wider than what is stored; the rows painted so far move to the new width.
void TSixelParser::Widen(int need) {
  int stride = std::max(FStride, 64);
  while (stride < need) stride *= 2;
  stride = std::min(stride, FStoreWidth);
  std::vector<uint32_t> wider(size_t(FStoredRows) * size_t(stride), 0);
  for (int y = 0; y < FStoredRows; ++y)
    std::copy_n(FPixels.data() + size_t(y) * size_t(FStride), FStride, wider.data() + size_t(y) * size_t(stride));
  FPixels.swap(wider);
  FStride = stride;
}

void TSixelParser::PaintSixel(int bits) {
  const int64_t n = std::max<int64_t>(FRepeat, 1);
  FRepeat = 0;
  const int top = FBandTop;
  // Rows past the last one are not painted and do not count.
  if (top + 6 > MaxSide) bits &= (1 << std::max(0, MaxSide - top)) - 1;
  const int columns = int(std::min<int64_t>(n, MaxSide - FX));
  if (bits != 0 && columns > 0) {
    FImageHeight = std::max(FImageHeight, top + (31 - __builtin_clz(unsigned(bits))) + 1);
    FImageWidth = std::max(FImageWidth, FX + columns);
    const int stored = std::min(columns, FStoreWidth - FX);
    const int rows = std::min(6, FStoreHeight - top);
    if (stored > 0 && rows > 0) {
      if (FStride < FX + stored) Widen(FX + stored);
      if (FStoredRows < top + rows) {
        FStoredRows = (top + rows + 63) / 64 * 64;
        FPixels.resize(size_t(FStoredRows) * size_t(FStride), 0);
      }
      const uint32_t colour = FPalette[size_t(FColour)];
      uint32_t* at = FPixels.data() + size_t(top) * size_t(FStride) + size_t(FX);
      for (int k = 0; k < rows; ++k, at += FStride) {
        if (!(bits & (1 << k))) continue;
        if (stored == 1)
          *at = colour;
        else
          std::fill(at, at + stored, colour);
      }
    }
  }
  FX = int(std::min<int64_t>(FX + n, MaxSide));
}

void TSixelParser::FinishImage() {
  FinishCommand();
  if (FImageWidth == 0 || FImageHeight == 0) {
    EndImage();
    return;
  }
  const int fx = int(Limit(std::lround(double(FPad) / FPan), 1, 8));
  const int fy = int(Limit(std::lround(double(FPan) / FPad), 1, 8));
  const int w = FImageWidth * fx, h = FImageHeight * fy;

  if (FRenderer && VideoStartDelayMs > 0) {
    const uint64_t now = Clock();
    if (!FHoldStarted) {
      FHoldStarted = true;
      FHoldStart = now;
    }
    if (now - FHoldStart < uint64_t(VideoStartDelayMs)) {
      LogLine("SIXEL: FinishImage dropped a decoded frame - still inside VideoStartDelayMs hold (" +
              std::to_string(VideoStartDelayMs) + "ms)");
      EndImage();
      return;
    }
  }

  if (FRenderer) {
    // Only what lies on the screen is handed over.
    int visibleW = std::min(w, MaxSide), visibleH = std::min(h, MaxSide);
    if (FBuffer) {
      visibleW = int(Limit(int64_t(FBuffer->FWidth) * FCellWidth - FSpriteX, 0, w));
      visibleH = int(Limit(int64_t(FBuffer->FHeight) * FCellHeight - FSpriteY, 0, h));
    }
    if (visibleW > 0 && visibleH > 0) {
      const size_t n = size_t(visibleW) * size_t(visibleH);
      std::vector<TColorRGB>& rgb = FSpriteRgb;
      std::vector<uint8_t>& mask = FSpriteMask;
      rgb.resize(n);
      mask.assign(n, 0);
      for (int y = 0; y < visibleH; ++y) {
        const int sy = y / fy;
        if (sy >= FStoredRows) break;
        const uint32_t* row = FPixels.data() + size_t(sy) * size_t(FStride);
        const size_t at = size_t(y) * size_t(visibleW);
        const int rowEnd = std::min(visibleW, FStride * fx);
        for (int x = 0, sx = 0, step = 0; x < rowEnd; ++x) {
          const uint32_t p = row[size_t(sx)];
          if (++step == fx) step = 0, ++sx;
          if (!p) continue;
          rgb[at + size_t(x)] = TColorRGB{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
          mask[at + size_t(x)] = 1;
        }
      }
      FRenderer->AddImageSprite(FSpriteX, FSpriteY, visibleW, visibleH, rgb, mask);
      FImagePlaced = true;
    }
  }

  if (FBuffer) {
    const int lines = std::max(1, (h + FCellHeight - 1) / FCellHeight);
    for (int i = 0; i < lines; ++i) FBuffer->NewLine(false);
    FBuffer->CarriageReturn();
  }
  EndImage();
}

// The pixel store keeps its memory for the next picture (animations redraw
// one picture after another); Reset gives it back.
void TSixelParser::EndImage() {
  BeginImage();
  FState = ssGround;
}
