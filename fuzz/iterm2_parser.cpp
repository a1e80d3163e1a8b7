// The iTerm2 image filter with arbitrary bytes: as a raw stream, and as a
// PNG, JPEG or GIF file wrapped in an OSC 1337 string with arbitrary
// arguments. Every picture placed must lie on the screen, the cursor stay on
// the grid, and text outside the strings come out unchanged.
// fuzz-sources: graphics/uITerm2Parser.cpp graphics/uImageFiles.cpp core/uBase64.cpp
// fuzz-sources: core/uTerminalBuffer.cpp core/uDebugLog.cpp core/uUtf8Cp437.cpp platform/Tick.cpp
// fuzz-sources: core/uFontRenderer.cpp core/uFontRendererFont.cpp core/uFontRendererFrame.cpp
// fuzz-sources: core/uFontRendererPresent.cpp core/uBuiltinGlyphs.cpp platform/Surface.cpp platform/FindFile.cpp
// fuzz-libs: -lpng16 -ljpeg -lgif -lz
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"
#include "fuzz/FuzzBase64.h"
#include "graphics/uITerm2Parser.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const char* const kArgs[] = {
    "", "width=50%", "width=10;height=3", "width=9999px;preserveAspectRatio=0", "height=2px", "width=auto;height=100%"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int cols = 1 + data[0] % 100, rows = 1 + data[0] / 4 % 40;
  TBitmapFont font(8, 16);
  TFontRenderer renderer(&font);
  TTerminalBuffer buffer(cols, rows);
  TITerm2Parser parser(&buffer, &renderer, 8, 16);
  std::string stream;
  if (data[1] & 1) {
    stream.assign(reinterpret_cast<const char*>(data + 2), size - 2);
  } else {
    // A file a board might send: the fuzzer's bytes are the file.
    stream = "a\x1b]1337;File=" + std::string(kArgs[data[1] / 2 % 6]) + ":" + FuzzBase64(data + 2, size - 2) +
             (data[1] & 2 ? "\x07" : "\x1b\\") + "b";
  }
  std::vector<uint8_t> out;
  for (char c : stream) parser.ProcessByte(uint8_t(c), out);
  Check(out.size() <= stream.size());
  if (!(data[1] & 1)) Check(std::string(out.begin(), out.end()) == "ab");
  Check(buffer.CursorX >= 0 && buffer.CursorX < buffer.FWidth && buffer.CursorY >= 0 &&
        buffer.CursorY < buffer.FHeight);
  for (const TImageSprite& s : renderer.Sprites())
    Check(s.W > 0 && s.H > 0 && s.X >= 0 && s.Y >= 0 && s.X + s.W <= cols * 8 && s.Y + s.H <= rows * 16);
  return 0;
}
