// Cost of the door raycaster's picture: one cast of the 320 x 160 view and
// its copy onto the page, in the default maze, with a row of panels and with
// a billboard in every tenth cell; and the Overkill client's scan of received
// text for its banners (the plain-run fast path against feeding byte by
// byte). Prints frames per second, the share of one 30 ms door tick a frame
// takes, and megabytes per second, in processor time. Never fails on time.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "door/uDDOFXRay.h"
#include "door/uOOIIParser.h"

namespace {

double Seconds(std::clock_t from) { return double(std::clock() - from) / CLOCKS_PER_SEC; }

void Frames(const char* label, TDDOFXRay& ray, std::vector<uint8_t>& page0, std::vector<uint8_t>& page3) {
  const int frames = 300;
  uint64_t now = 1000;
  const std::clock_t start = std::clock();
  for (int i = 0; i < frames; ++i) {
    ray.MarkRedraw();
    ray.Angle = (ray.Angle + 3) & 511;  // turning, so no two frames are alike
    ray.Tick(page0.data(), page3.data(), now += 30);
  }
  const double ms = Seconds(start) * 1000 / frames;
  std::printf("%-44s %8.2f ms a frame  %7.1f frames/s  %5.1f%% of a 30 ms tick\n", label, ms, 1000 / ms, ms / 30 * 100);
}

}  // namespace

int main() {
  std::vector<uint8_t> sprite(32 * 32, 9);
  TDDOFXRay::TCallbacks calls;
  calls.SpriteIndexByName = [](const std::string&) { return 0; };
  calls.SpritePixels = [&](int, int& w, int& h, const uint8_t*& pixels) {
    w = h = 32;
    pixels = sprite.data();
    return true;
  };
  TDDOFXRay ray(calls);
  std::vector<uint8_t> page0(640 * 480), page3(640 * 480);
  ray.ExecCommand("5DANIM,0,159,1", page0.data(), page3.data());
  Frames("default maze", ray, page0, page3);
  ray.ExecCommand("5DSCALE,640,480", page0.data(), page3.data());
  ray.ExecCommand("5DANIM,0,479,1", page0.data(), page3.data());
  Frames("default maze, view stretched over the page", ray, page0, page3);
  ray.ExecCommand("5COBJECT,HIOBJ,1,S", page0.data(), page3.data());
  ray.ExecCommand("5COBJECT,LOOBJ,1,S", page0.data(), page3.data());
  for (int x = 5; x <= 8; ++x) ray.ExecCommand("5CHOBJ,1," + std::to_string(x) + ",7,0,1", page0.data(), page3.data());
  Frames("with a row of panels", ray, page0, page3);
  for (int x = 2; x <= 243; ++x)
    for (int y = 2; y <= 63; ++y)
      if ((x + y) % 10 == 0) ray.ExecCommand("5CHOBJ,3," + std::to_string(x) + "," + std::to_string(y) + ",0,1",
                                             page0.data(), page3.data());
  Frames("with a billboard in every tenth cell", ray, page0, page3);

  // The Overkill client watching 64 MB of board text for its banners.
  TOOIIParser ooii(nullptr, nullptr);
  TOOIIData game;
  game.Banner1 = std::string("\xDB\x08[\xDB\x08O\xDB\x08K", 9) + " banner one";
  game.Banner2 = std::string("\xDB\x08[\xDB\x08O\xDB\x08K", 9) + " banner two";
  ooii.UseGameData(game);
  std::string text;
  while (text.size() < (1u << 20)) text += "\x1b[1;33mThe quick brown fox \xDB\xDB jumps over the lazy dog \xB0\xB1\xB2\r\n";
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  size_t passed = 0;
  std::clock_t start = std::clock();
  for (int round = 0; round < 64; ++round)
    for (size_t i = 0; i < text.size();) {
      const size_t run = ooii.PlainRun(data + i, text.size() - i);
      if (run > 0) {
        passed += run;
        i += run;
      } else {
        passed += !ooii.FilterByte(data[i++]);
      }
    }
  const double fast = 64.0 * double(text.size()) / (1 << 20) / Seconds(start);
  start = std::clock();
  for (int round = 0; round < 8; ++round)
    for (size_t i = 0; i < text.size(); ++i) passed += !ooii.FilterByte(data[i]);
  const double slow = 8.0 * double(text.size()) / (1 << 20) / Seconds(start);
  std::printf("Overkill banner watch, plain runs            %8.0f MB/s\n", fast);
  std::printf("Overkill banner watch, byte by byte          %8.0f MB/s  (plain runs %.1fx faster)\n", slow, fast / slow);
  return passed == 0;
}
