// Decoding speed of inline pictures: a 640 x 480 Sixel picture (made by
// img2sixel from an ImageMagick plasma) through the Sixel filter, the same
// bytes through libsixel's decoder in the same run, and the same picture as
// an iTerm2 PNG string through the iTerm2 filter. Each picture is decoded
// and placed as a sprite on a 640 x 480 screen. Prints pictures per second
// and the ratio; nothing here passes or fails on time.
#include <sixel.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"
#include "graphics/uITerm2Parser.h"
#include "graphics/uSixelParser.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs Body until at least a second has passed; pictures per second.
template <typename F>
double PerSecond(F body) {
  int n = 0;
  const auto start = Clock::now();
  double seconds = 0;
  do {
    body();
    ++n;
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } while (seconds < 1.0);
  return n / seconds;
}

template <typename TFilter>
void FeedAll(TFilter& filter, const std::string& bytes, std::vector<uint8_t>& out) {
  for (char c : bytes) filter.ProcessByte(uint8_t(c), out);
}

}  // namespace

int main() {
  char folder[] = "/tmp/korvan-bench-images-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  const std::string dir = folder, png = dir + "/picture.png", six = dir + "/picture.six";
  if (system(("/usr/bin/convert -size 640x480 plasma:fractal -seed 1 -depth 8 PNG24:'" + png + "'").c_str()) != 0 ||
      system(("img2sixel '" + png + "' > '" + six + "'").c_str()) != 0) {
    std::fprintf(stderr, "ImageMagick (imagemagick) and img2sixel (libsixel-bin) are needed\n");
    return 1;
  }
  const std::string sixel = ReadFile(six);
  const std::string iterm = "\x1b]1337;File=inline=1:" + [&] {
    std::string b64;
    FILE* p = popen(("base64 -w0 '" + png + "'").c_str(), "r");
    char buf[65536];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) b64.append(buf, n);
    if (p) pclose(p);
    return b64;
  }() + "\x07";
  system(("rm -rf '" + dir + "'").c_str());

  TBitmapFont font(8, 16);
  TFontRenderer renderer(&font);
  TTerminalBuffer buffer(80, 30);
  std::vector<uint8_t> out;

  TSixelParser sixelParser(&buffer, &renderer, 8, 16);
  const double sixelRate = PerSecond([&] {
    buffer.GotoXY(0, 0);
    out.clear();
    FeedAll(sixelParser, sixel, out);
  });
  if (renderer.Sprites().size() != 1 || renderer.Sprites()[0].W != 640 || renderer.Sprites()[0].H != 480) {
    std::fprintf(stderr, "the Sixel picture was not placed whole\n");
    return 1;
  }

  sixel_allocator_t* allocator = nullptr;
  sixel_allocator_new(&allocator, nullptr, nullptr, nullptr, nullptr);
  std::vector<unsigned char> raw(sixel.begin(), sixel.end());
  const double libsixelRate = PerSecond([&] {
    unsigned char *pixels = nullptr, *palette = nullptr;
    int w = 0, h = 0, colours = 0;
    sixel_decode_raw(raw.data(), int(raw.size()), &pixels, &w, &h, &palette, &colours, allocator);
    sixel_allocator_free(allocator, pixels);
    sixel_allocator_free(allocator, palette);
  });
  sixel_allocator_unref(allocator);

  renderer.ClearSprites();
  TITerm2Parser itermParser(&buffer, &renderer, 8, 16);
  const double itermRate = PerSecond([&] {
    buffer.GotoXY(0, 0);
    out.clear();
    FeedAll(itermParser, iterm, out);
  });
  if (renderer.Sprites().size() != 1 || renderer.Sprites()[0].W != 640) {
    std::fprintf(stderr, "the iTerm2 picture was not placed\n");
    return 1;
  }

  std::printf("picture: 640x480 plasma; Sixel %zu bytes (img2sixel, 256 colours), iTerm2 PNG %zu bytes of base64\n",
              sixel.size(), iterm.size());
  std::printf("Sixel filter (decode and place):    %8.1f pictures/s\n", sixelRate);
  std::printf("libsixel sixel_decode_raw (indexed): %8.1f pictures/s\n", libsixelRate);
  std::printf("ratio Sixel filter / libsixel:       %8.2f\n", sixelRate / libsixelRate);
  std::printf("iTerm2 filter, PNG (decode, scale, place): %8.1f pictures/s\n", itermRate);
  return 0;
}
