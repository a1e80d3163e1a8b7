// Frames per second of the renderer, from buffer to presented surface, at the
// application's settings (scale 4, nearest reduction, 8 x 16 font): a frame
// in which every cell of 80 x 25 changed, and one in which a single row did.
// Also shows how many cells each kind of frame draws.
#include <chrono>
#include <cstdio>

#include "core/uFontRenderer.h"

namespace {

using Clock = std::chrono::steady_clock;

void FillScreen(TTerminalBuffer& b, int phase) {
  for (int r = 0; r < b.FHeight; ++r)
    for (int c = 0; c < b.FWidth; ++c)
      b.SetCell(c, r, TCell{uint8_t(33 + (r * 7 + c + phase) % 200), AnsiPalette[(c + phase) % 16],
                            AnsiPalette[(r + phase) % 8]});
}

struct Result {
  double Fps;
  double CellsPerFrame;
};

Result Run(bool fullScreen, int windowW, int windowH, bool smooth, double seconds) {
  TBitmapFont font;
  TFontRenderer renderer(&font);
  renderer.SetScale(4);
  renderer.SetAntiAliasGlyphs(false);
  renderer.SetSmoothScaling(smooth);
  TTerminalBuffer buffer(80, 25);
  buffer.SetCursorVisible(false);
  platform::Surface window(windowW, windowH);
  FillScreen(buffer, 0);
  renderer.RenderBuffer(buffer, window, 0, 0, windowW, windowH, true, false, false);
  uint64_t cellsBefore = renderer.CellsDrawn();
  int frames = 0;
  Clock::time_point start = Clock::now();
  double elapsed = 0;
  while (elapsed < seconds) {
    ++frames;
    if (fullScreen) {
      FillScreen(buffer, frames);
    } else {
      int row = frames % 25;
      for (int c = 0; c < 80; ++c)
        buffer.SetCell(c, row, TCell{uint8_t(33 + (c + frames) % 200), AnsiPalette[(c + frames) % 16], AnsiPalette[0]});
    }
    renderer.RenderBuffer(buffer, window, 0, 0, windowW, windowH, true, false, false);
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  }
  return {frames / elapsed, double(renderer.CellsDrawn() - cellsBefore) / frames};
}

}  // namespace

int main() {
  struct Case {
    const char* Name;
    int W, H;
    bool Smooth;
  } cases[] = {
      {"window 1280x800 (whole multiple, nearest)", 1280, 800, true},
      {"window 1920x1080 (smooth stretch)", 1920, 1080, true},
  };
  std::printf("80x25 cells, scale 4 (render bitmap 2560x1600, display 640x400)\n");
  for (const Case& c : cases) {
    Result full = Run(true, c.W, c.H, c.Smooth, 1.5);
    Result row = Run(false, c.W, c.H, c.Smooth, 1.5);
    std::printf("%s\n", c.Name);
    std::printf("  every cell changed: %8.1f frames/s  (%6.0f cells drawn a frame)\n", full.Fps, full.CellsPerFrame);
    std::printf("  one row changed:    %8.1f frames/s  (%6.0f cells drawn a frame)\n", row.Fps, row.CellsPerFrame);
    std::printf("  one-row / full ratio: %.2f\n", row.Fps / full.Fps);
  }
  return 0;
}
