// IGS: the byte parser on text-heavy and drawing-heavy board streams (with
// the VT52 emulation alone on the same text as the baseline), the canvas
// render the online screen does per frame, the longest single replay call
// of a heavy loop, and the sound-chip synthesiser against real time, with an
// empty and a full repeat schedule.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/uBuiltinGlyphs.h"
#include "core/uTerminalBuffer.h"
#include "core/uVT52Parser.h"
#include "graphics/uIGSParser.h"
#include "sound/uGistSynth.h"

namespace {

double Seconds(const std::function<void()>& work) {
  const auto t0 = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string Repeat(const std::string& unit, size_t bytes) {
  std::string s;
  s.reserve(bytes + unit.size());
  while (s.size() < bytes) s += unit;
  return s;
}

// Feeds a stream through the parser into the VT52 emulation, as the program does.
double FeedIgs(const std::string& stream) {
  TTerminalBuffer buffer(80, 25);
  TVT52Parser vt52(buffer);
  TIGSParser parser(&buffer);
  parser.FFont8x8 = kVga8x8Glyphs;
  parser.FFont8x14 = kVga8x16Glyphs;
  uint64_t now = 0;
  parser.Clock = [&] { return now; };
  std::vector<uint8_t> out;
  return Seconds([&] {
    for (char c : stream) {
      out.clear();
      parser.FeedByte(uint8_t(c), out);
      for (uint8_t b : out) vt52.Feed(b);
    }
  });
}

}  // namespace

int main() {
  const size_t kBytes = 8u << 20;
  const std::string text = Repeat("\x1bY%%The quick brown fox jumps over the lazy dog, 0123456789.\r\n", kBytes);
  const std::string mixed =
      Repeat("G#C>1,3:L>0,0,319,199:\r\nMenu item one    [A]\r\nMenu item two    [B]\r\nG#P>10,10:\r\n", kBytes);
  const std::string drawing = Repeat(
      "G#C>2,4:Z>10,10,200,120:C>1,2:L>0,0,319,199:O>160,100,60:A>2,4,1:U>20,20,300,180:W>40,40,Hello@\r\n",
      kBytes / 8);

  double vt52Only = 0;
  {
    TTerminalBuffer buffer(80, 25);
    TVT52Parser vt52(buffer);
    vt52Only = Seconds([&] {
      for (char c : text) vt52.Feed(uint8_t(c));
    });
  }
  const double mib = double(kBytes) / (1 << 20);
  printf("%-34s %8.1f MiB/s\n", "VT52 alone on text (baseline)", mib / vt52Only);
  const double textIgs = FeedIgs(text);
  printf("%-34s %8.1f MiB/s  (%.2f x the baseline's time)\n", "IGS then VT52 on the same text", mib / textIgs,
         textIgs / vt52Only);
  const double mixedIgs = FeedIgs(mixed);
  printf("%-34s %8.1f MiB/s\n", "IGS menu text with a few commands", mib / mixedIgs);
  const double drawIgs = FeedIgs(drawing);
  const double commands = double(drawing.size()) / 97.0 * 10.0;
  printf("%-34s %8.1f MiB/s, %.0f commands/s\n", "IGS drawing commands", double(drawing.size()) / (1 << 20) / drawIgs,
         commands / drawIgs);

  {
    TTerminalBuffer buffer(80, 25);
    TIGSParser parser(&buffer);
    std::vector<uint8_t> out;
    for (char c : std::string("G#R>0,1:C>2,3:O>160,100,90:")) parser.FeedByte(uint8_t(c), out);
    std::vector<uint32_t> frame(640 * 350);
    const int frames = 2000;
    const double s = Seconds([&] {
      for (int i = 0; i < frames; ++i) parser.RenderScaled(frame.data(), 640, 350);
    });
    printf("%-34s %8.0f frames/s (%.3f ms a frame)\n", "canvas render at 640x350", frames / s, s * 1000 / frames);
  }

  {
    // 100001 full-canvas XOR boxes, replayed as the 15 ms timer would.
    TTerminalBuffer buffer(80, 25);
    TIGSParser parser(&buffer);
    std::vector<uint8_t> out;
    const double first = Seconds([&] {
      for (char c : std::string("G#&>0,100000,1,0,Z|4,0,0,319,199:")) parser.FeedByte(uint8_t(c), out);
    });
    double longest = first, total = first;
    int calls = 1;
    for (bool more = true; more;) {
      const double s = Seconds([&] { more = parser.ProcessQueued(out); });
      longest = std::max(longest, s);
      total += s;
      ++calls;
    }
    printf("%-34s %8.2f ms longest call, %d calls, %.1f s in all\n", "heavy loop sliced", longest * 1000, calls, total);
  }

  {
    const uint32_t rate = 22050;
    const size_t seconds = 20;
    std::vector<int16_t> buffer(1024);
    auto render = [&](TGistSynth& s) {
      return Seconds([&] {
        for (size_t done = 0; done < rate * seconds; done += buffer.size()) s.Render(buffer.data(), buffer.size());
      });
    };
    TGistSynth quiet(rate);
    const double idle = render(quiet);
    TGistSynth busy(rate);
    for (int e : {10, 13, 14}) busy.PlayEffect(e);  // three long effects with tone, noise and oscillators
    const double voices = render(busy);
    TGistSynth flooded(rate);
    flooded.SetRepeatCount(50);
    for (int i = 0; i < 1000; ++i) flooded.PlayEffect(i % 5);
    const size_t scheduled = flooded.ScheduledCount();
    const double schedule = render(flooded);
    printf("%-34s %8.0f x real time\n", "synth, idle", double(seconds) / idle);
    printf("%-34s %8.0f x real time\n", "synth, three voices", double(seconds) / voices);
    printf("%-34s %8.0f x real time (%zu repeats waiting at first; %.2f x the idle time)\n",
           "synth, after a flood of starts", double(seconds) / schedule, scheduled, schedule / idle);
  }
  return 0;
}
