// Feeds arbitrary bytes to the RIPscrip/SkyPix parser on a canvas, paints
// text cells over the picture now and then, and checks that every pixel's
// palette index stays a palette index.
// fuzz-sources: graphics/uRipCanvas.cpp graphics/uRipShapes.cpp graphics/uRipText.cpp graphics/uRipParser.cpp
// fuzz-sources: graphics/uRipLevel1.cpp graphics/uSkyPix.cpp graphics/uSkyPixFonts.cpp graphics/uBGIFont.cpp
// fuzz-sources: core/uBuiltinGlyphs.cpp core/uDebugLog.cpp core/uPlainFileName.cpp core/uFontRendererFont.cpp
// fuzz-sources: platform/AppFolder.cpp platform/FindFile.cpp platform/Surface.cpp platform/Tick.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "graphics/uRipParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  static TRipCanvas canvas;
  TRipParser parser(&canvas);
  parser.Reset();
  canvas.SetViewport(0, 0, 639, 349);
  canvas.SetLineStyle(0, 0, 1);
  canvas.SetFillStyle(1);
  int replies = 0;
  parser.OnReply = [&](const std::string&) { ++replies; };
  parser.OnGetCursorPixels = [](int& x, int& y) { x = 8, y = 14; };
  parser.OnGotoPixels = [](int x, int y) {};
  std::vector<uint8_t> out;
  for (size_t i = 0; i < size; ++i) {
    out.clear();
    parser.Feed(data[i], out);
    if (out.size() > 2) std::abort();
    if (data[i] == 0x07 && i + 2 < size)  // BEL: a text cell lands on the picture
      canvas.DrawTerminalGlyph(data[i + 1] * 3 - 8, data[i + 2] * 2 - 14, 1 + data[i + 1] % 16, 1 + data[i + 2] % 16,
                               data[i + 1], {255, 255, 255}, {0, 0, 170}, nullptr, data[i + 2] & 1, data[i + 2] & 2,
                               data[i + 2] & 4);
  }
  for (int y = 0; y < TRipCanvas::kHeight; y += 7)
    for (int x = 0; x < TRipCanvas::kWidth; x += 3)
      if (canvas.IndexAt(x, y) > 15 && canvas.IndexAt(x, y) != TRipCanvas::kNoIndex) std::abort();
  if (canvas.HotspotCount() > int(size)) std::abort();
  return 0;
}
