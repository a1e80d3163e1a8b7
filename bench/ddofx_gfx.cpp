// Cost of one composed door frame: a full-screen 256-colour picture from a
// door pack in page 0, forty animations of 32 x 32 sprites moving along
// motion paths, twenty sprite sequences drawn by the door, thirty lines of
// bitmap text and three framed text windows, one of them taking a line of
// the door's text every frame, then the 640 x 480 true-colour frame as the
// online screen gets it. Prints frames per second and the share of one 30 ms door tick a
// frame (tick plus composing) takes, in processor time. Never fails on time.
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "door/uDDOFXGfx.h"

namespace {

double Seconds(std::clock_t from) { return double(std::clock() - from) / CLOCKS_PER_SEC; }

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// A 640 x 480 PCX of diagonal colour bands, run-length coded, with a palette.
std::string Picture() {
  std::string pcx(128, '\0');
  pcx[0] = 10;
  pcx[3] = 8;
  Put32(pcx, 8, 639 | (479u << 16));
  pcx[65] = 1;
  pcx[66] = char(640 & 0xFF);
  pcx[67] = char(640 >> 8);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640;) {
      const int n = std::min(63, 640 - x);
      pcx += char(0xC0 | n);
      pcx += char((x / 16 + y / 8) & 0xFF);
      x += n;
    }
  pcx += '\x0C';
  for (int i = 0; i < 768; ++i) pcx += char((i * 37) & 0xFF);
  std::string pack(48, '\0');
  pack.replace(0, 7, "BIG.PCX");
  Put32(pack, 12, 48);
  Put32(pack, 16, uint32_t(pcx.size()));
  return pack + pcx;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/ddofx_gfx_bench_XXXXXX";
  const std::string folder = std::string(mkdtemp(pattern)) + "/";
  std::ofstream(folder + "BENCHS", std::ios::binary) << Picture();

  TDDOFXGfx gfx;
  gfx.Reset();
  gfx.SetAssetDir(folder);
  std::vector<uint8_t> font(4096);
  for (size_t i = 0; i < font.size(); ++i) font[i] = uint8_t(i * 73);
  gfx.SetTextFont(font.data());
  gfx.ExecCommand("LIGMODE");
  gfx.ExecCommand("2fBENCH");
  // Sprites cut from a drawn work page.
  for (int k = 0; k < 8; ++k) {
    gfx.ExecCommand("2C," + std::to_string(k + 1));
    gfx.ExecCommand("2aRECT,0,31,0,31");
    gfx.ExecCommand("2C,0");
    gfx.ExecCommand("2aRECT," + std::to_string(k * 3) + ",20,4,9");
    gfx.ExecCommand("2S,0,31,0,31,SP" + std::to_string(k));
  }
  gfx.ExecCommand("2vBIG.PCX");
  gfx.ExecCommand("2CPYVP2BP");
  for (int n = 1; n <= 40; ++n) {
    const std::string s = std::to_string(n);
    gfx.ExecCommand("2MOTION," + s + "," + std::to_string(n * 13 % 600) + ",40," + std::to_string(n * 29 % 600) +
                    ",470,100,300,500,100,60");
    gfx.ExecCommand("2ANIM," + s + ",0,0,1,SP0,SP7," + s + "," + s + ",1," + std::to_string(n % 3) + ",25");
    gfx.ExecCommand("2PLAYA," + s);
  }
  for (int n = 1; n <= 20; ++n)
    gfx.ExecCommand("2SSA," + std::to_string(n) + "," + std::to_string(n * 30) + ",300,2,SP0,SP7,2,1");
  for (int line = 0; line < 30; ++line)
    gfx.ExecCommand("2XT,8," + std::to_string(15 + line * 16) + ",15,1,Line " + std::to_string(line) +
                    " of the door's text, drawn in its 8 x 16 font");

  // Text windows in cells of 8 x 16: two framed ones with titles and one
  // without a frame that the door's text scrolls through.
  gfx.ExecCommand("1OPEN,1,2,40,2,12,15,14,Y,N,N,Y,0,Status,of the door,");
  gfx.ExecCommand("1OPEN,2,44,79,2,12,11,14,Y,N,N,Y,0,Players,online,");
  gfx.ExecCommand("1OPEN,3,2,79,16,29,7,7,N,N,N,Y,0,,,");
  for (int w = 1; w <= 2; ++w) {
    gfx.ExecCommand("1WIN," + std::to_string(w));
    for (int line = 0; line < 9; ++line)
      for (char c : "\x1b[1;3" + std::to_string(line % 8) + "mEntry " + std::to_string(line) + " of window\r\n")
        if (c) gfx.FeedTextWindow(uint8_t(c));
  }
  gfx.ExecCommand("1WIN,3");
  const std::string streamed = "\x1b[0;32mThe door writes a line of text into its window, scrolling it.\r\n";

  std::vector<uint32_t> frame(size_t(ddofxgfx::kPageSize));
  uint64_t now = 1000;
  const int frames = 2000;
  std::clock_t t0 = std::clock();
  for (int i = 0; i < frames; ++i) gfx.RenderFrame(frame.data(), "");
  const double compose = Seconds(t0);
  t0 = std::clock();
  for (int i = 0; i < frames; ++i) {
    for (char c : streamed) gfx.FeedTextWindow(uint8_t(c));
    gfx.ExecCommand("2DSS");
    gfx.Tick(now += 30);
    gfx.RenderFrame(frame.data(), "Connected 00:12:34  Door graphics");
  }
  const double full = Seconds(t0);
  const double perFrame = full / frames * 1000.0;
  std::printf("compose only: %.0f frames/s (%.2f ms a frame)\n", frames / compose, compose / frames * 1000.0);
  std::printf("tick + sequences + a text window line + compose with status line: %.0f frames/s, %.2f ms a frame = %.1f%% of a 30 ms door tick\n",
              frames / full, perFrame, perFrame / 30.0 * 100.0);
  std::printf("(%zu animations playing, %d sequences, 30 text lines, %d text windows, picture %s)\n",
              gfx.PlayList.size(), 20, int(gfx.TextWindows[1].Defined + gfx.TextWindows[2].Defined + gfx.TextWindows[3].Defined),
              gfx.Pages[0][0] != 0 || gfx.Pages[0][1000] != 0 ? "loaded" : "MISSING");
  return 0;
}
