// A RIPscrip screen of a few thousand drawing commands (lines, shapes, text,
// buttons, bars and flood fills) through the parser and canvas, in commands
// per second, with the cost of presenting one frame beside it: the text grid
// painted over the picture and the picture stretched into a window.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "graphics/uRipParser.h"

namespace {

std::string Mega(int v, int digits = 2) {
  std::string s(size_t(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v /= 36) s[size_t(i)] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36];
  return s;
}

double Seconds(const std::function<void()>& work) {
  const auto t0 = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// One menu screen: a framed background, shapes, text, buttons, and a flood
// fill in every cell of a grid of boxes.
std::string Screen(int& commands) {
  std::mt19937 rng(7);
  auto x = [&] { return int(rng() % 640); };
  auto y = [&] { return int(rng() % 350); };
  std::string s = "!|*|v00007I9Q\r\n";
  commands = 2;
  auto line = [&](const std::string& cmd) {
    s += "!|" + cmd + "\r\n";
    ++commands;
  };
  line("S0101|B00007I9Q");
  for (int i = 0; i < 600; ++i) line("c" + Mega(1 + i % 15) + "|L" + Mega(x()) + Mega(y()) + Mega(x()) + Mega(y()));
  for (int i = 0; i < 300; ++i) line("C" + Mega(x()) + Mega(y()) + Mega(5 + i % 40));
  for (int i = 0; i < 300; ++i) line("R" + Mega(x()) + Mega(y()) + Mega(x()) + Mega(y()));
  for (int i = 0; i < 200; ++i) line("S" + Mega(i % 12) + Mega(1 + i % 15) + "|o" + Mega(x()) + Mega(y()) + "0K0A");
  for (int i = 0; i < 200; ++i) line("O" + Mega(x()) + Mega(y()) + "002I" + Mega(10 + i % 30) + Mega(10 + i % 20));
  for (int i = 0; i < 200; ++i)
    line("p03" + Mega(x()) + Mega(y()) + Mega(x()) + Mega(y()) + Mega(x()) + Mega(y()));
  for (int i = 0; i < 200; ++i) line("Z" + Mega(x()) + Mega(y()) + Mega(x()) + Mega(y()) + Mega(x()) + Mega(y()) +
                                     Mega(x()) + Mega(y()) + "00");
  for (int i = 0; i < 200; ++i) line("@" + Mega(x()) + Mega(y()) + "Main menu item");
  line("1B0000020000020F000F0807000000E00000000000000");
  for (int i = 0; i < 100; ++i)
    line("1U" + Mega(x()) + Mega(y()) + Mega(x()) + Mega(y()) + "0000<>Files<>F");
  // A grid of boxes, each filled with a pattern: the fills cover the screen.
  line("c0F|v00007I9Q");
  for (int bx = 0; bx < 16; ++bx)
    for (int by = 0; by < 10; ++by) {
      const int x0 = bx * 40, y0 = by * 35;
      line("c0F|R" + Mega(x0) + Mega(y0) + Mega(x0 + 39) + Mega(y0 + 34) + "|S" + Mega(by % 12) + Mega(1 + bx % 15) +
           "|F" + Mega(x0 + 20) + Mega(y0 + 17) + "0F");
    }
  return s;
}

}  // namespace

int main() {
  int commands = 0;
  const std::string screen = Screen(commands);
  TRipCanvas canvas;
  TRipParser parser(&canvas);
  std::vector<uint8_t> out;
  const int rounds = 20;
  const double parse = Seconds([&] {
    for (int r = 0; r < rounds; ++r) {
      parser.Reset();
      for (unsigned char c : screen) {
        out.clear();
        parser.Feed(c, out);
      }
    }
  });
  std::printf("RIPscrip screen: %d commands, %zu bytes\n", commands, screen.size());
  std::printf("  parse and draw: %.0f commands/s, %.2f ms a screen\n", commands * rounds / parse,
              parse / rounds * 1000);

  // Presenting a frame: 80 x 25 text cells of 8 x 14 painted over the
  // picture, then the picture stretched into a 1280 x 700 window.
  platform::Surface window(1280, 700);
  const int frames = 200;
  const double text = Seconds([&] {
    for (int f = 0; f < frames; ++f)
      for (int row = 0; row < 25; ++row)
        for (int col = 0; col < 80; ++col)
          canvas.DrawTerminalGlyph(col * 8, row * 14, 8, 14, uint8_t('A' + (row + col) % 26), {170, 170, 170},
                                   {0, 0, 0}, nullptr, false, false, false);
  });
  const double stretch = Seconds([&] {
    for (int f = 0; f < frames; ++f) canvas.PaintTo(window, platform::Rect{0, 0, 1280, 700});
  });
  const double screenMs = parse / rounds * 1000, frameMs = (text + stretch) / frames * 1000;
  std::printf("  frame: text cells %.3f ms + stretch %.3f ms = %.3f ms (%.0f frames/s)\n", text / frames * 1000,
              stretch / frames * 1000, frameMs, 1000 / frameMs);
  std::printf("  one screen costs %.1f frames\n", screenMs / frameMs);

  // The online screen's bottom line goes over a copy of the picture, so it
  // never stays on it: the copy and one row of cells come on top.
  TRipCanvas composed;
  const double overlay = Seconds([&] {
    for (int f = 0; f < frames; ++f) {
      std::copy_n(canvas.Surface().Pixels(), TRipCanvas::kPixels, composed.Bits());
      for (int col = 0; col < 80; ++col)
        composed.DrawTerminalGlyph(col * 8, 24 * 14, 8, 14, uint8_t(' ' + col), {255, 255, 255}, {0, 0, 170}, nullptr,
                                   false, false, false);
    }
  });
  std::printf("  bottom line over a copy: +%.3f ms a frame\n", overlay / frames * 1000);
  return 0;
}
