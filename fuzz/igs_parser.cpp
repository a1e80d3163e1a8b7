// Feeds arbitrary bytes to the IGS parser, its text to the VT52 emulation as
// the program does, with a clock that jumps at byte-chosen moments and the
// replay run between chunks. Checks that nothing crashes, the canvas keeps
// one of its three sizes, the cursor stays on the grid and a call never
// hands on more text than it was given room for.
// fuzz-sources: graphics/uIGSParser.cpp graphics/uIGSCanvas.cpp sound/uGistSynth.cpp
// fuzz-sources: core/uTerminalBuffer.cpp core/uVT52Parser.cpp core/uBuiltinGlyphs.cpp
// fuzz-sources: core/uDebugLog.cpp core/uUtf8Cp437.cpp platform/Tick.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/uBuiltinGlyphs.h"
#include "core/uTerminalBuffer.h"
#include "core/uVT52Parser.h"
#include "graphics/uIGSParser.h"
#include "sound/uGistSynth.h"

namespace {

void Check(const TIGSParser& p, const TTerminalBuffer& b) {
  const int w = p.CanvasWidth(), h = p.CanvasHeight();
  if (!((w == 320 && h == 200) || (w == 640 && h == 200) || (w == 640 && h == 400))) abort();
  if (b.CursorX < 0 || b.CursorX >= b.FWidth || b.CursorY < 0 || b.CursorY >= b.FHeight) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // One set of objects for the run, reset for each input, as the program
  // resets them for each call.
  static TGistSynth synth(22050);
  static TTerminalBuffer buffer(80, 25);
  static TVT52Parser vt52(buffer);
  static TIGSParser parser(&buffer);
  static uint64_t now = 1000;
  static std::string replies;
  static const bool wired = [] {
    parser.Clock = [] { return now; };
    parser.FSynth = &synth;
    parser.FFont8x8 = kVga8x8Glyphs;
    parser.FFont8x14 = kVga8x16Glyphs;  // any table of 14-byte strides will do here
    parser.OnReply = [](const std::string& s) { replies += s; };
    parser.OnColumnModeSwitch = [](int r) { buffer.Resize(r == 0 ? 40 : 80, 25); };
    // Small slices keep each input fast while still cutting heavy loops up.
    parser.WorkPerCall = 20000;
    return true;
  }();
  (void)wired;
  buffer.Resize(80, 25);
  buffer.ClearScreen(false);
  vt52.Reset();
  parser.Reset();
  now = 1000;
  replies.clear();

  std::vector<uint8_t> out;
  for (size_t i = 0; i < Size; ++i) {
    out.clear();
    parser.FeedByte(Data[i], out);
    if (out.size() > 2) abort();
    for (uint8_t b : out) vt52.Feed(b);
    // A byte of 0xFE moves the clock on and replays, as the 15 ms timer would.
    if (Data[i] == 0xFE) {
      now += 15 + (i < Size - 1 ? Data[i + 1] * 40 : 0);
      out.clear();
      for (int k = 0; k < 4 && parser.ProcessQueued(out); ++k) {
      }
      for (uint8_t b : out) vt52.Feed(b);
    }
    Check(parser, buffer);
  }
  static std::vector<uint32_t> frame(32 * 18);
  parser.RenderScaled(frame.data(), 32, 18);
  std::string zone;
  parser.MouseZoneAt(int(Size % 640), int(Size % 400), zone);
  if (replies.size() > Size * 8 + 16) abort();
  int16_t samples[32];
  synth.Render(samples, 32);
  return 0;
}
