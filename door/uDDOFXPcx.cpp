// 8-bit PCX pictures from the door's "S" packs, decoded into a page by their
// top-left corner; a 256-colour palette at the file's end replaces the
// engine's. Only the rows and columns that land on the page are written.
#include <algorithm>

#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

namespace {

int Le16(const std::string& d, size_t at) { return uint8_t(d[at]) | (uint8_t(d[at + 1]) << 8); }

}  // namespace

bool TDDOFXGfx::LoadPcx(const std::string& name, int page, int x, int y) {
  std::string data;
  if (!FindAsset('S', name, data)) {
    Log("PCX not found in resource: " + name);
    return false;
  }
  if (data.size() <= 896 || uint8_t(data[0]) != 10 || uint8_t(data[3]) != 8 || uint8_t(data[65]) != 1) {
    Log("not an 8-bit PCX: " + name);
    return false;
  }
  const int width = Le16(data, 8) - Le16(data, 4) + 1;
  const int height = Le16(data, 10) - Le16(data, 6) + 1;
  const int bytesPerLine = Le16(data, 66);
  if (width <= 0 || height <= 0 || bytesPerLine < width) return false;
  uint8_t* target = Page(page);
  std::vector<uint8_t> line(size_t(bytesPerLine), 0);
  size_t pos = 128;
  const size_t end = data.size();
  // Rows above the page are decoded and dropped; decoding stops below it.
  // Once the data runs out a row keeps the bytes of the row before.
  for (int row = 0; row < height; ++row) {
    int column = 0;
    while (column < bytesPerLine && pos < end) {
      uint8_t b = uint8_t(data[pos++]);
      int count = 1;
      uint8_t value = b;
      if (b > 191) {
        if (pos >= end) break;
        count = b & 63;
        value = uint8_t(data[pos++]);
      }
      // A run never continues on the next row.
      const int n = std::min(count, bytesPerLine - column);
      std::fill(line.begin() + column, line.begin() + column + n, value);
      column += n;
    }
    const int64_t ty = int64_t(y) + row;
    if (ty >= kHeight) break;
    if (ty < 0) continue;
    for (int c = 0; c < width; ++c) {
      const int64_t tx = int64_t(x) + c;
      if (tx < 0) continue;
      if (tx >= kWidth) break;
      target[ty * kWidth + tx] = line[size_t(c)];
    }
  }
  if (data.size() >= 769 && uint8_t(data[data.size() - 769]) == 12) {
    const size_t at = data.size() - 768;
    for (int i = 0; i < 768; ++i) Palette[size_t(i)] = uint8_t(data[at + size_t(i)]) >> 2;
  }
  if (page == 0) {
    std::copy(target, target + kPageSize, Page(3));
    if (!WindowTargeted()) {
      ChangedTextWindow = -1;
      ++PageVersion;
    }
  }
  Dirty = true;
  return true;
}
