// Feeds arbitrary bytes to the Sixel decoder on a screen of arbitrary size,
// with the cursor anywhere, and checks that every picture it places lies on
// the screen, that it hands on no more than it was given (plus a held ESC),
// and that the cursor stays on the grid.
// fuzz-sources: graphics/uSixelParser.cpp core/uTerminalBuffer.cpp core/uDebugLog.cpp core/uUtf8Cp437.cpp
// fuzz-sources: core/uFontRenderer.cpp core/uFontRendererFont.cpp core/uFontRendererFrame.cpp
// fuzz-sources: core/uFontRendererPresent.cpp core/uBuiltinGlyphs.cpp platform/Surface.cpp platform/FindFile.cpp
// fuzz-sources: platform/Tick.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"
#include "graphics/uSixelParser.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int cols = 1 + data[0] % 132, rows = 1 + data[1] % 60;
  TBitmapFont font(8, 16);
  TFontRenderer renderer(&font);
  TTerminalBuffer buffer(cols, rows);
  buffer.GotoXY(data[2] % cols, data[2] / 4 % rows);
  TSixelParser parser(&buffer, &renderer, 8, 16);
  uint64_t now = 0;
  parser.Clock = [&] { return now += 700; };
  parser.VideoStartDelayMs = data[2] & 1 ? 1000 : 0;
  std::vector<uint8_t> out;
  for (size_t i = 3; i < size; ++i) parser.ProcessByte(data[i], out);
  Check(out.size() <= size);
  Check(buffer.CursorX >= 0 && buffer.CursorX < buffer.FWidth && buffer.CursorY >= 0 &&
        buffer.CursorY < buffer.FHeight);
  for (const TImageSprite& s : renderer.Sprites()) {
    Check(s.W > 0 && s.H > 0 && s.X >= 0 && s.Y >= 0);
    Check(s.X + s.W <= cols * 8 && s.Y + s.H <= rows * 16);
  }
  return 0;
}
