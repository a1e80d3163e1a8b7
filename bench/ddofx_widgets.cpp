// Cost of a door's user interface: ten bordered text windows taking a
// stream of coloured ANSI text, three framed graphics windows with level
// bars, list boxes, 300 push buttons and 300 mouse regions; then the frame
// composed each tick, the text feed in bytes per second, and the mouse (a
// move with hover tests and a press that reaches the last region). Prints
// figures and the share of a 30 ms door tick; never fails on time.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "door/uDDOFXGfx.h"

namespace {

double Seconds(std::clock_t from) { return double(std::clock() - from) / CLOCKS_PER_SEC; }

}  // namespace

int main() {
  TDDOFXGfx gfx;
  gfx.Reset();
  std::vector<uint8_t> font(4096);
  for (size_t i = 0; i < font.size(); ++i) font[i] = uint8_t(i * 73);
  gfx.SetTextFont(font.data());
  gfx.OnMusicLevel = [](int channel) { return channel * 5 % 41; };
  int fired = 0;
  gfx.OnGadget = [&](const std::string&, const std::string&) { ++fired; };
  gfx.ExecCommand("LIGMODE");
  gfx.ExecCommand("2C,9");
  gfx.ExecCommand("2aRECT,0,15,0,15");
  gfx.ExecCommand("2S,0,15,0,15,KEY");
  for (int n = 1; n <= 10; ++n) {
    const int col = (n - 1) % 5 * 16 + 1, row = (n - 1) / 5 * 12 + 1;
    gfx.ExecCommand("1OPEN," + std::to_string(n) + "," + std::to_string(col) + "," + std::to_string(col + 15) + "," +
                    std::to_string(row) + "," + std::to_string(row + 10) + ",15,14,Y,N,Y,Y,,Window " +
                    std::to_string(n) + ",status");
  }
  for (int n = 1; n <= 3; ++n) {
    const std::string s = std::to_string(n);
    gfx.ExecCommand("2GWIN," + s + "," + std::to_string(n * 120) + "," + std::to_string(n * 120 + 300) + "," +
                    std::to_string(n * 60) + "," + std::to_string(n * 60 + 200) + ",640,480,0,1,0,0,0,0,0,0,0,0,0,Win " +
                    s);
    gfx.ExecCommand("2ALERTGWIN," + s);
    gfx.ExecCommand("2C," + std::to_string(n + 1));
    gfx.ExecCommand("2aRECT,0,639,0,479");
    gfx.ExecCommand("7DEFBAR," + s + ",20,150,30,6,12,1,10,14,0,1");
    gfx.ExecCommand("2CALMGWIN");
  }
  for (int n = 4; n <= 16; ++n)
    gfx.ExecCommand("7DEFBAR," + std::to_string(n) + "," + std::to_string(n * 30) + ",470,20,6,14,1,9,15,1,1");
  gfx.ExecCommand("7MUSBAR,1");
  for (int n = 1; n <= 5; ++n) {
    gfx.ExecCommand("5CLBOX," + std::to_string(n) + "," + std::to_string(n * 100) + ",400,12,6,15,0,11,4,14,6,100,1");
    gfx.ExecCommand("5LBMODLST," + std::to_string(n) + ",0,1,0,an item of the list,send,");
  }
  for (int n = 1; n <= 300; ++n) {
    gfx.ExecCommand("5CPUSHB," + std::to_string(n) + ",KEY,KEY," + std::to_string(n % 38 * 16) + "," +
                    std::to_string(15 + n / 38 * 16) + ",0,0,0,2,b,");
    gfx.ExecCommand("3MREGN," + std::to_string(n) + "," + std::to_string(600 + n % 10) + ",639,440,479,1,r,");
  }

  std::string text;
  for (int line = 0; line < 200; ++line)
    text += "\x1b[" + std::to_string(31 + line % 7) + ";" + std::to_string(40 + line % 8) + "mLine " +
            std::to_string(line) + " of the door's text\x1b[0m\r\n";

  std::vector<uint32_t> frame(size_t(ddofxgfx::kPageSize));
  uint64_t now = 1000;
  const int frames = 1000;
  size_t fed = 0;
  std::clock_t t0 = std::clock();
  for (int i = 0; i < frames; ++i) {
    gfx.ExecCommand("1WIN," + std::to_string(i % 10 + 1));
    for (size_t k = 0; k < 64; ++k) gfx.FeedTextWindow(uint8_t(text[(fed + k) % text.size()]));
    fed += 64;
    gfx.Tick(now += 30);
    gfx.RenderFrame(frame.data(), "Connected 00:12:34  Door graphics");
  }
  const double full = Seconds(t0);
  const double perFrame = full / frames * 1000.0;

  const size_t bytes = 4 << 20;
  t0 = std::clock();
  for (size_t k = 0; k < bytes; ++k) gfx.FeedTextWindow(uint8_t(text[k % text.size()]));
  const double feed = Seconds(t0);

  const int moves = 20000;
  t0 = std::clock();
  for (int i = 0; i < moves; ++i) {
    gfx.MouseMove(i % 640, i % 480, true);
    gfx.IsOverHotspot(i % 640, i % 480);
  }
  const double move = Seconds(t0);
  t0 = std::clock();
  for (int i = 0; i < moves; ++i) {
    gfx.MouseDown(630, 470, 1);
    gfx.MouseUp();
  }
  const double press = Seconds(t0);

  std::printf("64 text bytes + tick + compose: %.0f frames/s, %.2f ms a frame = %.1f%% of a 30 ms door tick\n",
              frames / full, perFrame, perFrame / 30.0 * 100.0);
  std::printf("text window feed: %.1f MB/s of coloured ANSI text\n", bytes / feed / 1e6);
  std::printf("mouse move with hover tests: %.2f us; press through 300 buttons to 300 regions: %.2f us\n",
              move / moves * 1e6, press / moves * 1e6);
  std::printf("(10 text windows, 3 graphics windows, 16 level bars, 5 list boxes, 300 buttons, %d region firings)\n",
              fired);
  return 0;
}
