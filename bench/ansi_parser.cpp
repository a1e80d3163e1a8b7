// Throughput of the ANSI-BBS parser and cell buffer against libvterm (its
// parser, state and screen layers) on the same bytes and a screen of the same
// size, in CPU time. Prints figures and ratios only; nothing here passes or
// fails on time.
//
// First a corpus of real ANSI art (the pieces shipped with ansilove, each
// from a cleared screen, repeated to 48 MB) fed in chunks of 4 KiB, 64 bytes
// and single bytes, each side in a child process of its own that also
// reports the peak memory it added. Then generated streams: lines of words in
// 16 colours with bold and blink, some 256-colour and 24-bit SGR, CP437 box
// drawing, cursor positioning, line erasing and enough line feeds to keep the
// screen scrolling; drawn art with an SGR every few cells; plain text with the
// debug log off. Bytes 0x80..0x9F are left out of the generated streams so
// that libvterm, in 8-bit mode, reads the same printable characters rather
// than C1 controls (the real art has a few, which libvterm takes as C1
// controls).
#include <vterm.h>

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/uArtCorpus.h"
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

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// MB a CPU second: the stream fed in Chunk-byte pieces, Passes times.
template <class Feed>
double MBPerSecond(const std::string& stream, int passes, size_t chunk, Feed feed) {
  const double start = CpuSeconds();
  for (int p = 0; p < passes; ++p)
    for (size_t at = 0; at < stream.size(); at += chunk)
      feed(stream.data() + at, std::min(chunk, stream.size() - at));
  return double(stream.size()) * passes / (CpuSeconds() - start) / 1e6;
}

// The two engines, each with one screen of kCols x kRows.
struct TKorvan {
  TTerminalBuffer Buffer{kCols, kRows};
  TAnsiParser Parser{&Buffer};
  void Feed(const char* p, size_t n) { Parser.Feed(reinterpret_cast<const uint8_t*>(p), n); }
};

struct TLibvterm {
  VTerm* Vt;
  TLibvterm() : Vt(vterm_new(kRows, kCols)) {
    vterm_set_utf8(Vt, 0);
    vterm_screen_reset(vterm_obtain_screen(Vt), 1);
  }
  ~TLibvterm() { vterm_free(Vt); }
  void Feed(const char* p, size_t n) { vterm_input_write(Vt, p, n); }
};

// Fed in 2048-byte chunks, the size the receive drain hands on.
template <class Engine>
double Rate(const std::string& stream, int passes) {
  Engine engine;
  return MBPerSecond(stream, passes, 2048, [&](const char* p, size_t n) { engine.Feed(p, n); });
}
double Korvan(const std::string& stream, int passes) { return Rate<TKorvan>(stream, passes); }
double Libvterm(const std::string& stream, int passes) { return Rate<TLibvterm>(stream, passes); }

// ---- The real-art corpus, each measurement in a child process.

long StatusKiB(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

struct TMeasure {
  double MBs = 0;     // MB a CPU second
  double PeakMB = 0;  // the most memory the engine added while it ran
};

// In a child of its own, so that the peak of one measurement is not the
// other's: the engine is made, fed the corpus in Chunk-byte pieces (at
// least once, and again until half a CPU second has gone), and thrown away.
template <class Engine>
TMeasure MeasureInChild(const std::string& corpus, size_t chunk) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts at what is resident now
    const long before = StatusKiB("VmRSS");
    TMeasure m;
    {
      Engine engine;
      const double start = CpuSeconds();
      double spent = 0;
      int passes = 0;
      do {
        for (size_t at = 0; at < corpus.size(); at += chunk)
          engine.Feed(corpus.data() + at, std::min(chunk, corpus.size() - at));
        ++passes;
        spent = CpuSeconds() - start;
      } while (spent < 0.5);
      m.MBs = double(corpus.size()) * passes / spent / 1e6;
      m.PeakMB = double(StatusKiB("VmHWM") - before) / 1024.0;
    }
    if (write(fds[1], &m, sizeof m) != ssize_t(sizeof m)) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  TMeasure m;
  if (read(fds[0], &m, sizeof m) != ssize_t(sizeof m)) m = {};
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return m;
}

void RealArt() {
  const size_t pieces = ArtPieces().size();
  const std::string corpus = ArtCorpus(48u << 20);
  std::printf("Real ANSI art: %zu pieces from %s, repeated to %.1f MB, %dx%d screen, MB a CPU second:\n", pieces,
              kArtFolder, double(corpus.size()) / 1e6, kCols, kRows);
  double peakKorvan = 0, peakVterm = 0;
  for (size_t chunk : {size_t(4096), size_t(64), size_t(1)}) {
    const TMeasure korvan = MeasureInChild<TKorvan>(corpus, chunk);
    const TMeasure vterm = MeasureInChild<TLibvterm>(corpus, chunk);
    std::printf("  chunks of %4zu bytes: KORVAN %8.1f, libvterm %7.1f, ratio KORVAN/libvterm %.2f\n", chunk,
                korvan.MBs, vterm.MBs, korvan.MBs / vterm.MBs);
    peakKorvan = std::max(peakKorvan, korvan.PeakMB);
    peakVterm = std::max(peakVterm, vterm.PeakMB);
  }
  std::printf("  peak memory added: KORVAN %.2f MB, libvterm %.2f MB, KORVAN less libvterm %+.2f MB\n", peakKorvan,
              peakVterm, peakKorvan - peakVterm);
}

}  // namespace

int main(int argc, char** argv) {
  const int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  LogEnabled = false;
  RealArt();
  const std::string ansi = AnsiStream(8u << 20);
  const std::string plain = PlainStream(8u << 20);
  std::printf("ANSI stream: %.1f MiB x %d passes, %dx%d screen\n", double(ansi.size()) / (1 << 20), passes, kCols,
              kRows);

  // One untimed pass each warms caches and allocations.
  Korvan(ansi, 1);
  Libvterm(ansi, 1);
  const double korvan = Korvan(ansi, passes);
  const double vterm = Libvterm(ansi, passes);
  std::printf("  KORVAN parser+buffer: %8.1f MB/CPU s\n", korvan);
  std::printf("  libvterm screen:      %8.1f MB/CPU s\n", vterm);
  std::printf("  ratio KORVAN/libvterm: %.2f\n", korvan / vterm);

  const std::string art = ArtStream(8u << 20);
  const double artKorvan = Korvan(art, passes);
  const double artVterm = Libvterm(art, passes);
  std::printf("ANSI art (an SGR every few cells):\n");
  std::printf("  KORVAN parser+buffer: %8.1f MB/CPU s\n", artKorvan);
  std::printf("  libvterm screen:      %8.1f MB/CPU s\n", artVterm);
  std::printf("  ratio KORVAN/libvterm: %.2f\n", artKorvan / artVterm);

  const double plainKorvan = Korvan(plain, passes);
  const double plainVterm = Libvterm(plain, passes);
  std::printf("Plain text, debug log off:\n");
  std::printf("  KORVAN parser+buffer: %8.1f MB/CPU s (%.0f bytes)\n", plainKorvan, plainKorvan * 1e6);
  std::printf("  libvterm screen:      %8.1f MB/CPU s\n", plainVterm);
  std::printf("  ratio KORVAN/libvterm: %.2f\n", plainKorvan / plainVterm);
  return 0;
}
