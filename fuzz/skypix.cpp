// Builds SkyPix commands from the input, with fields anywhere in the 32-bit
// range (most of them near its ends or near the canvas), and runs them on a
// canvas: no crash, and time bounded however far off the shapes lie.
// fuzz-sources: graphics/uRipCanvas.cpp graphics/uRipShapes.cpp graphics/uRipText.cpp graphics/uRipParser.cpp
// fuzz-sources: graphics/uRipLevel1.cpp graphics/uSkyPix.cpp graphics/uSkyPixFonts.cpp graphics/uBGIFont.cpp
// fuzz-sources: core/uBuiltinGlyphs.cpp core/uDebugLog.cpp core/uPlainFileName.cpp core/uFontRendererFont.cpp
// fuzz-sources: platform/AppFolder.cpp platform/FindFile.cpp platform/Surface.cpp platform/Tick.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/uRipParser.h"

namespace {

const int kCommands[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 15, 17, 18, 19, 99, 0, 16, 9};

struct Reader {
  const uint8_t* P;
  size_t N;
  uint8_t Byte() {
    if (!N) return 0;
    --N;
    return *P++;
  }
  // A field: near 0..640, near the 32-bit limit, or anything.
  int64_t Field() {
    const uint8_t kind = Byte();
    const uint32_t raw = uint32_t(Byte()) | uint32_t(Byte()) << 8 | uint32_t(Byte()) << 16 | uint32_t(Byte()) << 24;
    switch (kind % 4) {
      case 0: return raw % 700;
      case 1: return 2147483647 - raw % 64;
      case 2: return 2147483600 + raw % 200;  // past the limit: read as 0
      default: return raw;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 14) return 0;
  static TRipCanvas canvas;
  TRipParser parser(&canvas);
  parser.Reset();
  canvas.SetViewport(0, 0, 639, 349);
  parser.OnGetCursorPixels = [](int& x, int& y) { x = 320, y = 300; };
  parser.OnGotoPixels = [](int x, int y) {};
  Reader r{data, size};
  std::vector<uint8_t> out;
  for (int commands = 0; r.N && commands < 8; ++commands) {
    std::string cmd = "\x1b[" + std::to_string(kCommands[r.Byte() % 20]);
    const int fields = r.Byte() % 20;
    for (int i = 0; i < fields; ++i) cmd += ";" + std::to_string(r.Field());
    cmd += "!";
    if (r.Byte() & 1) cmd += "TOPAZ!";
    const int text = r.Byte() % 8;
    for (int i = 0; i < text; ++i) cmd += char(r.Byte());
    for (unsigned char c : cmd) {
      out.clear();
      parser.Feed(c, out);
    }
  }
  return 0;
}
