// SkyPix commands (ESC [ fields !) on the RIP canvas, and the text drawn in
// a SkyPix font instead of the terminal while one is active.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "core/uControlChars.h"
#include "core/uDebugLog.h"
#include "graphics/uRipParser.h"
#include "graphics/uSkyPixFonts.h"

namespace {

// The rows of the screen that SkyPix font text scrolls.
constexpr int kTextBand = 262;

int32_t Sat(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// A whole decimal number that fits 32 bits, with an optional sign.
bool ReadInt(const std::string& text, int32_t& value) {
  const std::string s = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return false;
  value = int32_t(v);
  return true;
}

std::vector<std::string> SplitFields(const std::string& params) {
  std::vector<std::string> fields(1);
  for (char c : params) {
    if (c == ';')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

}  // namespace

bool TRipParser::SkyPixTakesString(const std::string& params) {
  const std::vector<std::string> f = SplitFields(params);
  int32_t cmd = -1;
  if (!ReadInt(f[0], cmd)) cmd = -1;
  if (cmd == 0 || cmd == 16) return true;
  if (cmd != 10) return false;
  int32_t size = 0;
  return !(f.size() >= 2 && ReadInt(f[1], size) && size == 0);
}

void TRipParser::DoSkyPix(const std::string& params, const std::string& stringArg) {
  if (!FCanvas) return;
  TRipCanvas& c = *FCanvas;
  if (!FSkyPixStarted) {
    FSkyPixStarted = true;
    c.ResetSkyPixPalette();
    if (OnSkyPixStart) OnSkyPixStart();
  }
  const std::vector<std::string> fields = SplitFields(params);
  std::vector<int32_t> l(fields.size(), 0);
  for (size_t i = 0; i < fields.size(); ++i)
    if (!ReadInt(fields[i], l[i])) l[i] = 0;
  const size_t n = l.size();
  LogLine("SkyPix DIAG: DoSkyPix dispatch Cmd=" + std::to_string(l[0]) + " params=\"" + params + "\" stringArg=\"" +
          stringArg + "\"");
  auto noteMaxY = [&](int64_t y) { FSkyPixMaxDrawnY = Sat(std::max<int64_t>(FSkyPixMaxDrawnY, y)); };

  switch (l[0]) {
    case 1:
      if (n < 3) break;
      c.MoveTo(l[1], l[2]);
      c.PutPixel(l[1], l[2], c.GetColor());
      noteMaxY(l[2]);
      break;
    case 2:
      if (n < 3) break;
      c.Line(FSkyPenX, FSkyPenY, l[1], l[2]);
      FSkyPenX = l[1], FSkyPenY = l[2];
      noteMaxY(l[2]);
      break;
    case 3:
      if (n < 4) break;
      if (l[1] == 1) {
        c.FillSameColor(l[2], l[3], c.GetColor());
      } else {
        c.SetFillColor(c.GetColor());
        c.FloodFill(l[2], l[3], c.GetColor());
      }
      break;
    case 4:
      if (n < 5 || l[3] < l[1] || l[4] < l[2]) break;
      c.FillRect(l[1], l[2], l[3], l[4], c.GetColor());
      c.MoveTo(l[3], l[4]);  // where the pixel-by-pixel fill leaves the pen
      noteMaxY(l[4]);
      break;
    case 5: {
      if (n < 5) break;
      auto at = [&](int d) {
        const double a = d * std::numbers::pi / 180.0;
        return std::pair<int64_t, int64_t>{int64_t(std::nearbyint(l[1] + std::cos(a) * l[3])),
                                           int64_t(std::nearbyint(l[2] - std::sin(a) * l[4]))};
      };
      for (int d = 0; d < 360; ++d) {
        const auto p = at(d), q = at(d + 1);
        c.Line(p.first, p.second, q.first, q.second);
      }
      noteMaxY(int64_t(l[2]) + l[4]);
      NoteShape(l[1], l[2], l[3], l[4]);
      break;
    }
    case 6:
      if (n < 5) break;
      c.GetImage(l[1], l[2], Sat(int64_t(l[1]) + l[3] - 1), Sat(int64_t(l[2]) + l[4] - 1));
      break;
    case 7:
      if (n < 9) break;
      c.DrawBrush(l[1], l[2], l[3], l[4], l[5], l[6], l[7]);
      break;
    case 8:
      if (n < 3) break;
      FSkyPenX = l[1], FSkyPenY = l[2];
      break;
    case 10: SkyPixSetFont(l, n, stringArg); break;
    case 11:
      if (n < 17) break;
      c.SetSkyPixPalette(std::vector<int32_t>(l.begin() + 1, l.begin() + 17));
      break;
    case 12:
    case 17: c.ResetSkyPixPalette(); break;
    case 13:
      if (n < 5) break;
      c.SetFillColor(c.GetColor());
      c.FillEllipse(l[1], l[2], l[3], l[4]);
      noteMaxY(int64_t(l[2]) + l[4]);
      NoteShape(l[1], l[2], l[3], l[4]);
      break;
    case 15:
      if (n >= 2) c.SetColor(l[1] & 15);
      break;
    case 18:
      if (n >= 2) FPenB = l[1] & 15;
      break;
    case 19:
      if (n >= 3) SkyPixTextPosition(l[1], l[2]);
      break;
    case 99: SkyPixEndPage(); break;
    default: break;
  }
}

void TRipParser::SkyPixSetFont(const std::vector<int32_t>& l, size_t n, const std::string& name) {
  if (n >= 2 && l[1] == 0) {
    FFontActive = false;
    FFont = nullptr;
    LogLine("SkyPix Set Font: size 0 - reset to default font");
    return;
  }
  const int size = n >= 2 ? l[1] : 8;
  const bool wasActive = FFontActive;
  FFont = GetSkyPixFont(name, size);
  FFontActive = FFont != nullptr;
  if (FFontActive && !wasActive && !FCaptionMode && OnGetCursorPixels) {
    int x = 0, y = 0;
    OnGetCursorPixels(x, y);
    FTextX = x, FTextY = y, FLineY = y, FMarginX = x;
    FInlineText = true;
    FGlyphDrawn = false;
  }
  if (FFont)
    LogLine("SkyPix Set Font: name=\"" + name + "\" -> loaded " + FFont->Name + " size " + std::to_string(FFont->Size));
  else
    LogLine("SkyPix Set Font: name=\"" + name + "\" (no matching font data - using default)");
}

void TRipParser::SkyPixTextPosition(int32_t x, int32_t y) {
  FSkyPenX = x, FSkyPenY = y;
  FTextX = x, FTextY = y, FLineY = y, FMarginX = x;
  FInlineText = false;
  FCaptionMode = true;
  FGlyphDrawn = false;
  if (FFontActive && FFont && FShapeValid) {
    // A caption placed just above an ellipse is moved onto its centre.
    const int64_t h = FFont->Height, b = FFont->Baseline;
    const int64_t cx = FShapeCX, cy = FShapeCY, rx = FShapeRX, ry = FShapeRY;
    if (std::abs(int64_t(x) - cx) <= rx + 4 && cy >= y && 2 * h + ry >= cy - y && 2 * h + y - b - 2 < cy - ry) {
      const int32_t snapped = Sat(cy - h / 2 - (h - b - 1) - 22);
      FSkyPenY = FTextY = FLineY = snapped;
      LogLine("SkyPix DIAG: cmd19 snapped caption at (" + std::to_string(x) + "," + std::to_string(y) +
              ") to shape center (" + std::to_string(cx) + "," + std::to_string(cy) +
              ") -> textY=" + std::to_string(snapped));
    }
  }
  if (OnGotoPixels) OnGotoPixels(x, FTextY);
}

void TRipParser::SkyPixEndPage() {
  FSkyPixStarted = false;
  FCanvas->ResetSkyPixPalette();
  FFontActive = false;
  FFont = nullptr;
  if (FInlineText) {
    LogLine("SkyPix DIAG: Cmd=99 inline text - cursor to end of text (" + std::to_string(FTextX) + "," +
            std::to_string(FTextY) + ")");
    if (OnGotoPixels) OnGotoPixels(Sat((int64_t(FTextX) + 7) / 8 * 8), FTextY / 14 * 14);
  } else {
    int x = 0, y = 0;
    if (OnGetCursorPixels) OnGetCursorPixels(x, y);
    LogLine("SkyPix DIAG: Cmd=99 FSkyPixMaxDrawnY=" + std::to_string(FSkyPixMaxDrawnY) +
            " cursorPxY=" + std::to_string(y));
    if (y < FSkyPixMaxDrawnY && OnGotoPixels) OnGotoPixels(0, FSkyPixMaxDrawnY);
  }
  FInlineText = false;
  FCaptionMode = false;
  FSkyPixMaxDrawnY = 0;
  if (OnSkyPixEnd) OnSkyPixEnd();
}

void TRipParser::NoteShape(int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
  if (FShapeValid && std::abs(int64_t(cx) - FShapeCX) < 4 && std::abs(int64_t(cy) - FShapeCY) < 4) {
    FShapeCX = int32_t((int64_t(FShapeCX) + cx) / 2);
    FShapeCY = int32_t((int64_t(FShapeCY) + cy) / 2);
    FShapeRX = std::max(FShapeRX, rx);
    FShapeRY = std::max(FShapeRY, ry);
  } else {
    FShapeCX = cx, FShapeCY = cy, FShapeRX = rx, FShapeRY = ry;
  }
  FShapeValid = true;
}

void TRipParser::DrawSkyPixChar(uint8_t b) {
  if (!FFont || !FCanvas) return;
  const TSkyPixFont& f = *FFont;
  const int h = f.Height, base = f.Baseline;
  if (b == cc::CR) return;
  if (b == cc::LF) {
    if (!FGlyphDrawn) return;
    if (f.FirstChar == ' ' && f.Count > 0) FTextX = Sat(int64_t(FTextX) + f.Glyphs[0].Advance);
    FLineY = Sat(int64_t(FLineY) + h);
    if (int64_t(FLineY) + h > kTextBand) {
      FCanvas->ScrollUp(h, kTextBand);
      FLineY = Sat(int64_t(FLineY) - h);
      FTextX = FMarginX;
      LogLine("SkyPix: font LF scrolled screen up " + std::to_string(h) + "px");
    }
    return;
  }
  const int i = int(b) - f.FirstChar;
  if (i < 0 || i >= f.Count) return;
  FGlyphDrawn = true;
  const TSkyPixGlyph& g = f.Glyphs[size_t(i)];
  const int64_t top = int64_t(FTextY) + h - base - 1;
  const int color = FCanvas->GetColor() & 15;
  for (int r = 0; r < h && g.Width > 0; ++r)
    for (int x = 0; x < g.Width; ++x)
      if ((g.Bits[size_t(r) * g.BytesPerRow + x / 8] >> (7 - x % 8)) & 1)
        FCanvas->PutPixel(int64_t(FTextX) + x, top + r, color);
  FTextX = Sat(int64_t(FTextX) + g.Advance);
  FSkyPixMaxDrawnY = Sat(std::max<int64_t>(FSkyPixMaxDrawnY, top + h));
}
