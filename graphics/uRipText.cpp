// Text on the RIP canvas: font 0 is the built-in 8x8 bitmap font scaled by
// whole pixels, fonts 1..10 the BGI stroke fonts in the canvas's slots.
#include <algorithm>

#include "core/uBuiltinGlyphs.h"
#include "core/uDebugLog.h"
#include "graphics/uBGIFont.h"
#include "graphics/uRipCanvas.h"

void TRipCanvas::SetFont(int font, int size) {
  if (font >= 0 && font <= 10) FFontNum = font;
  if (size >= 1 && size <= 10) FFontSize = size;
}

void TRipCanvas::RipStrokeLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  StyledLine(x1, y1, x2, y2, FColor, 0xFFFF);
}

void TRipCanvas::RipDrawText(int64_t x, int64_t y, const std::string& text) {
  if (LogEnabled)
    LogLine("RipDrawText: FontNum=" + std::to_string(FFontNum) + " FontSize=" + std::to_string(FFontSize) +
            " X=" + std::to_string(x) + " Y=" + std::to_string(y) + " Text=" + text);
  const int size = std::clamp(FFontSize, 1, 10);
  const TBGIStrokeFont* font = FFontNum > 0 ? FFonts[FFontNum] : nullptr;
  if (font && font->Valid) {
    const double scale = TBGIStrokeFont::SizeScale(size);
    const int64_t baseY = y + int64_t((font->CapHeight - font->DescenderHeight) * scale);
    const TBGIStrokeFont::TLineProc line = [this](int64_t a, int64_t b, int64_t c, int64_t d) {
      RipStrokeLine(a, b, c, d);
    };
    // Strokes reach at most 64 font units left of a glyph's origin, and text
    // only moves right: past the clip area nothing more can show.
    const int64_t reach = int64_t(64 * scale) + 1;
    for (unsigned char ch : text) {
      if (x - reach > FViewX2) break;
      x += font->DrawChar(ch, x, line, scale, baseY);
    }
  } else {
    const int color = FColor & 15;
    for (unsigned char ch : text) {
      if (x > FViewX2 || y > FViewY2 || y + 8 * size <= FViewY1) break;  // text only moves right
      if (x + 8 * size <= FViewX1) {
        x += 8 * size;
        continue;
      }
      const uint8_t* glyph = kVga8x8Glyphs + size_t(ch) * 8;
      for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
          if (!((glyph[r] >> (7 - c)) & 1)) continue;
          for (int by = 0; by < size; ++by)
            for (int bx = 0; bx < size; ++bx) PutPixel(x + c * size + bx, y + r * size + by, color);
        }
      }
      x += 8 * size;
    }
  }
  FDirty = true;
}

int TRipCanvas::TextWidth(const std::string& text) const {
  const int size = std::clamp(FFontSize, 1, 10);
  const TBGIStrokeFont* font = FFontNum > 0 ? FFonts[FFontNum] : nullptr;
  if (font && font->Valid) {
    const double scale = TBGIStrokeFont::SizeScale(size);
    int w = 0;
    for (unsigned char ch : text) w += font->CharWidth(ch, scale);
    return w;
  }
  return int(text.size()) * 8 * size;
}

std::string TRipCanvas::UnescapeText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '!' || text[i + 1] == '\\' || text[i + 1] == '|'))
      ++i;
    out += text[i];
  }
  return out;
}

void TRipCanvas::OutTextXY(int64_t x, int64_t y, const std::string& text) {
  const std::string plain = UnescapeText(text);
  RipDrawText(x, y, plain);
  MoveTo(int32_t(x + TextWidth(plain)), int32_t(y));
}
