// Throughput of the ANSI-BBS parser and cell buffer against libvterm (its
// parser, state and screen layers) on the same generated stream and a screen
// of the same size, plus plain text with the debug log off. Prints figures
// and ratios only; nothing here passes or fails on time.
//
// The stream imitates what boards send: lines of words in 16 colours with
// bold and blink, some 256-colour and 24-bit SGR, CP437 box drawing, cursor
// positioning, line erasing, and enough line feeds to keep the screen
// scrolling; a second stream is drawn ANSI art. Bytes 0x80..0x9F are left out so that libvterm, in 8-bit mode,
// reads the same printable characters rather than C1 controls.
#include <vterm.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uTerminalBuffer.h"

namespace {

constexpr int kCols = 80;
constexpr int kRows = 25;

// A small deterministic generator, so every run measures the same bytes.
struct Rng {
  uint64_t s = 0x9E3779B97F4A7C15ull;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return uint32_t(s >> 16);
  }
  int Below(int n) { return int(Next() % uint32_t(n)); }
};

std::string AnsiStream(size_t size) {
  static const char* const words[] = {"the",    "board",  "message", "files",  "door",   "sysop", "welcome",
                                      "online", "new",    "users",   "Main",   "Menu",   "read",  "post",
                                      "chat",   "logoff", "ANSI",    "graphics", "node", "calls"};
  Rng rng;
  std::string out;
  out.reserve(size + 256);
  while (out.size() < size) {
    switch (rng.Below(20)) {
      case 0:  // cursor positioning
        out += "\x1b[" + std::to_string(1 + rng.Below(kRows)) + ";" + std::to_string(1 + rng.Below(kCols)) + "H";
        break;
      case 1: out += "\x1b[K"; break;
      case 2:  // 256 colours
        out += "\x1b[38;5;" + std::to_string(rng.Below(256)) + "m";
        break;
      case 3:  // 24-bit colour
        out += "\x1b[48;2;" + std::to_string(rng.Below(256)) + ";" + std::to_string(rng.Below(256)) + ";" +
               std::to_string(rng.Below(256)) + "m";
        break;
      case 4: {  // a box-drawing rule
        out += "\x1b[0;1;34m";
        out += char(0xDA);
        out.append(size_t(10 + rng.Below(40)), char(0xC4));
        out += char(0xBF);
        break;
      }
      default: {  // a coloured run of words, sometimes ending the line
        out += "\x1b[" + std::string(rng.Below(3) == 0 ? "1;" : "") + (rng.Below(8) == 0 ? "5;" : "") +
               std::to_string(30 + rng.Below(8)) + ";" + std::to_string(40 + rng.Below(8)) + "m";
        for (int w = rng.Below(8) + 1; w > 0; --w) {
          out += words[rng.Below(20)];
          out += ' ';
        }
        if (rng.Below(3) == 0) out += "\r\n";
        break;
      }
    }
  }
  return out;
}

// Drawn ANSI art: every short run of shade and block characters has its own
// SGR, blank stretches are skipped with cursor-forward, rows end in CR LF.
std::string ArtStream(size_t size) {
  static const uint8_t blocks[] = {0xB0, 0xB1, 0xB2, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, ' '};
  Rng rng;
  std::string out;
  out.reserve(size + 256);
  while (out.size() < size) {
    int col = 0;
    while (col < kCols - 8) {
      if (rng.Below(6) == 0) {
        const int skip = 1 + rng.Below(6);
        out += "\x1b[" + std::to_string(skip) + "C";
        col += skip;
        continue;
      }
      out += "\x1b[0;" + std::string(rng.Below(2) ? "1;" : "") + std::to_string(30 + rng.Below(8)) + ";" +
             std::to_string(40 + rng.Below(8)) + "m";
      for (int n = 1 + rng.Below(4); n > 0; --n, ++col) out += char(blocks[rng.Below(9)]);
    }
    out += "\r\n";
  }
  return out;
}

std::string PlainStream(size_t size) {
  Rng rng;
  std::string out;
  out.reserve(size + 128);
  while (out.size() < size) {
    int n = 20 + rng.Below(58);
    for (int i = 0; i < n; ++i) out += char(rng.Below(5) == 0 ? ' ' : 'a' + rng.Below(26));
    out += "\r\n";
  }
  return out;
}

template <class Feed>
double MBPerSecond(const std::string& stream, int passes, Feed feed) {
  // Fed in 2048-byte chunks, the size the receive drain hands on.
  constexpr size_t kChunk = 2048;
  const auto start = std::chrono::steady_clock::now();
  for (int p = 0; p < passes; ++p)
    for (size_t at = 0; at < stream.size(); at += kChunk)
      feed(stream.data() + at, std::min(kChunk, stream.size() - at));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return double(stream.size()) * passes / seconds / 1e6;
}

double Korvan(const std::string& stream, int passes) {
  TTerminalBuffer buffer(kCols, kRows);
  TAnsiParser parser(&buffer);
  return MBPerSecond(stream, passes, [&](const char* p, size_t n) {
    parser.Feed(reinterpret_cast<const uint8_t*>(p), n);
  });
}

double Libvterm(const std::string& stream, int passes) {
  VTerm* vt = vterm_new(kRows, kCols);
  vterm_set_utf8(vt, 0);
  VTermScreen* screen = vterm_obtain_screen(vt);
  vterm_screen_reset(screen, 1);
  const double rate = MBPerSecond(stream, passes, [&](const char* p, size_t n) { vterm_input_write(vt, p, n); });
  vterm_free(vt);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  LogEnabled = false;
  const std::string ansi = AnsiStream(8u << 20);
  const std::string plain = PlainStream(8u << 20);
  std::printf("ANSI stream: %.1f MiB x %d passes, %dx%d screen\n", double(ansi.size()) / (1 << 20), passes, kCols,
              kRows);

  // One untimed pass each warms caches and allocations.
  Korvan(ansi, 1);
  Libvterm(ansi, 1);
  const double korvan = Korvan(ansi, passes);
  const double vterm = Libvterm(ansi, passes);
  std::printf("  KORVAN parser+buffer: %8.1f MB/s\n", korvan);
  std::printf("  libvterm screen:      %8.1f MB/s\n", vterm);
  std::printf("  ratio KORVAN/libvterm: %.2f\n", korvan / vterm);

  const std::string art = ArtStream(8u << 20);
  const double artKorvan = Korvan(art, passes);
  const double artVterm = Libvterm(art, passes);
  std::printf("ANSI art (an SGR every few cells):\n");
  std::printf("  KORVAN parser+buffer: %8.1f MB/s\n", artKorvan);
  std::printf("  libvterm screen:      %8.1f MB/s\n", artVterm);
  std::printf("  ratio KORVAN/libvterm: %.2f\n", artKorvan / artVterm);

  const double plainKorvan = Korvan(plain, passes);
  const double plainVterm = Libvterm(plain, passes);
  std::printf("Plain text, debug log off:\n");
  std::printf("  KORVAN parser+buffer: %8.1f MB/s (%.0f bytes/s)\n", plainKorvan, plainKorvan * 1e6);
  std::printf("  libvterm screen:      %8.1f MB/s\n", plainVterm);
  std::printf("  ratio KORVAN/libvterm: %.2f\n", plainKorvan / plainVterm);
  return 0;
}
