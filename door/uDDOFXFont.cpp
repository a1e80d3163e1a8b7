// Door fonts (256 glyphs of 8 x 16, bit 7 leftmost) looked up by name once
// and cached, the glyph drawer that fits a glyph into the current text cell
// (squeezing rows and columns when the cell is smaller), and bitmap text.
#include <algorithm>
#include <cctype>
#include <fstream>

#include "core/uPlainFileName.h"
#include "door/uDDOFXGfx.h"
#include "door/uDDOFXText.h"

using namespace ddofxgfx;

namespace {

// The first 4096 bytes of the file at Path; false when it is shorter or unreadable.
bool ReadGlyphFile(const std::string& path, std::array<uint8_t, 4096>& glyphs) {
  std::ifstream in(path, std::ios::binary);
  return in && in.read(reinterpret_cast<char*>(glyphs.data()), 4096) && in.gcount() == 4096;
}

}  // namespace

void TDDOFXGfx::FontMetrics(const uint8_t* glyphs, int32_t& top, int32_t& bottom) {
  top = 16;
  bottom = -1;
  for (int ch = 33; ch <= 126; ++ch)
    for (int row = 0; row < 16; ++row)
      if (glyphs[ch * 16 + row] != 0) {
        top = std::min(top, int32_t(row));
        bottom = std::max(bottom, int32_t(row));
      }
  if (bottom < 0) {
    top = 0;
    bottom = 15;
  }
}

void TDDOFXGfx::GlyphMetrics(const uint8_t* glyphs, int32_t& top, int32_t& bottom) const {
  if (glyphs == TextFont.data()) {
    top = TextFontTop;
    bottom = TextFontBottom;
    return;
  }
  for (const auto& [key, font] : Fonts)
    if (font && font->Glyphs.data() == glyphs) {
      top = font->Top;
      bottom = font->Bottom;
      return;
    }
  FontMetrics(glyphs, top, bottom);
}

const uint8_t* TDDOFXGfx::LoadFont(const std::string& name) {
  if (ddofxtext::Trim(name).empty()) return TextFont.data();
  const std::string key = ddofxtext::Upper(name);
  auto it = Fonts.find(key);
  if (it == Fonts.end()) {
    auto font = std::make_unique<TGfxFontObj>();
    bool found = false;
    std::string path = FontDir.empty() ? std::string() : FindPlainFile(FontDir, name);
    if (path.empty() && !AssetDir.empty()) path = FindPlainFile(AssetDir, name);
    if (!path.empty()) found = ReadGlyphFile(path, font->Glyphs);
    if (!found) {
      std::string data;
      if (FindAsset('M', name, data) && data.size() >= 4096) {
        std::copy(data.begin(), data.begin() + 4096, font->Glyphs.begin());
        found = true;
      }
    }
    if (found) {
      FontMetrics(font->Glyphs.data(), font->Top, font->Bottom);
    } else {
      Log("font not found, using default: " + name);
      font.reset();
    }
    it = Fonts.emplace(key, std::move(font)).first;
  }
  return it->second ? it->second->Glyphs.data() : TextFont.data();
}

void TDDOFXGfx::DrawGlyph(uint8_t* buffer, const uint8_t* glyphs, int cellWidth, int cellHeight, int x, int topY,
                          uint8_t ch, int fg, int bg) const {
  if (cellWidth <= 0 || cellHeight <= 0) return;
  const int W = cellWidth, H = cellHeight;
  const int rows = std::min(H, 16);
  int32_t top = 0, bottom = 15;
  GlyphMetrics(glyphs, top, bottom);
  // A: the glyph's ink fits the rows kept; B: it does not, so rows are
  // ORed together; C: the blank top rows are dropped instead.
  bool squeeze, vertical = false;
  int rowOffset = 0;
  if (H >= 16 || bottom < rows) {
    squeeze = W < 8;
  } else if (top < 16 - rows) {
    vertical = true;
    squeeze = true;
  } else {
    squeeze = W < 8;
    rowOffset = 16 - rows;
  }
  const uint8_t* glyph = glyphs + size_t(ch) * 16;
  for (int i = 0; i < H; ++i) {
    const int64_t y = int64_t(topY) + i;
    if (y < 0 || y >= kHeight) continue;
    int bits = 0;
    if (vertical) {
      const int from = i * 16 / H, to = std::min(std::max((i + 1) * 16 / H, from + 1) - 1, 15);
      for (int r = from; r <= to; ++r) bits |= glyph[r];
    } else if (i < rows) {
      bits = glyph[rowOffset + i];
    }
    for (int j = 0; j < W; ++j) {
      const int64_t px = int64_t(x) + j;
      if (px < 0 || px >= kWidth) continue;
      bool ink = false;
      if (squeeze && W < 8) {
        const int from = j * 8 / W, to = std::min(std::max((j + 1) * 8 / W, from + 1) - 1, 7);
        for (int c = from; c <= to && !ink; ++c) ink = (bits & (128 >> c)) != 0;
      } else {
        ink = j < 8 && (bits & (128 >> j)) != 0;
      }
      if (ink)
        buffer[y * kWidth + px] = uint8_t(fg);
      else if (bg >= 0)
        buffer[y * kWidth + px] = uint8_t(bg);
    }
  }
}

void TDDOFXGfx::DrawGlyph(uint8_t* buffer, const uint8_t* glyphs, int x, int topY, uint8_t ch, int fg, int bg) const {
  DrawGlyph(buffer, glyphs, CellWidth, CellHeight, x, topY, ch, fg, bg);
}

void TDDOFXGfx::TextCommand(int page, int x, int bottomY, int fg, int bg, const std::string& text) {
  if (bg >= 8 || bg < 0) bg = -1;
  const uint8_t* glyphs = LoadFont(FontName);
  uint8_t* target = Page(page);
  uint8_t* mirror = page == 0 ? Page(3) : nullptr;
  const int64_t top = int64_t(bottomY) - CellHeight + 1;
  if (CellWidth > 0 && top > -CellHeight && top < kHeight)
    for (size_t i = 0; i < text.size(); ++i) {
      const int64_t left = int64_t(x) + int64_t(i) * CellWidth;
      if (left >= kWidth) break;
      if (left + CellWidth <= 0) continue;
      const uint8_t ch = uint8_t(text[i]);
      DrawGlyph(target, glyphs, int(left), int(top), ch, fg, bg);
      if (mirror) DrawGlyph(mirror, glyphs, int(left), int(top), ch, fg, bg);
    }
  Dirty = true;
}
