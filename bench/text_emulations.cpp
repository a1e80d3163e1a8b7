// Byte-stream throughput of each text emulation on typical board output,
// next to the buffer's own PutChar on plain text as the baseline.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/uAsciiParser.h"
#include "core/uAvatarParser.h"
#include "core/uControlChars.h"
#include "core/uPetsciiParser.h"
#include "core/uTerminalBuffer.h"
#include "core/uVT52Parser.h"
#include "core/uViewdataParser.h"

namespace {

constexpr size_t kStreamBytes = 16u << 20;

std::string Fill(const std::string& Unit) {
  std::string s;
  s.reserve(kStreamBytes + Unit.size());
  while (s.size() < kStreamBytes) s += Unit;
  return s;
}

double Seconds(const std::function<void()>& Work) {
  const auto t0 = std::chrono::steady_clock::now();
  Work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double MiBPerSecond(size_t Bytes, double S) { return double(Bytes) / (1024.0 * 1024.0) / S; }

}  // namespace

int main() {
  const std::string text = "The quick brown fox jumps over the lazy dog. 0123456789 ABCDEFGHIJ\r\n";
  const std::string plain = Fill(text);

  double baseline = 0;
  {
    TTerminalBuffer b(80, 25);
    baseline = Seconds([&] {
      for (char c : plain) {
        if (c == '\r')
          b.CarriageReturn();
        else if (c == '\n')
          b.NewLine(false);
        else
          b.PutChar(uint8_t(c));
      }
    });
  }
  printf("%-10s %8.1f MiB/s  (baseline: buffer PutChar, CR, LF)\n", "buffer", MiBPerSecond(plain.size(), baseline));

  struct TCase {
    const char* Name;
    std::string Stream;
    std::function<std::unique_ptr<TTextEmulation>(TTerminalBuffer&)> Make;
    int Width, Height;
  };
  const std::string esc(1, char(cc::ESC));
  const TCase cases[] = {
      {"Avatar", Fill(std::string("\x16\x01\x1E") + text + "\x19\xC4\x28" + "\x16\x08\x05\x0A"),
       [](TTerminalBuffer& b) { return std::make_unique<TAvatarParser>(b); }, 80, 25},
      {"VT52", Fill(esc + "Y%*" + esc + "p" + text + esc + "q" + esc + "K"),
       [](TTerminalBuffer& b) { return std::make_unique<TVT52Parser>(b); }, 80, 25},
      {"ASCII", Fill(esc + "[1;33;44m" + text + "\xC9\xCD\xBB\r\n"),
       [](TTerminalBuffer& b) { return std::make_unique<TAsciiParser>(b); }, 80, 25},
      {"Viewdata", Fill(esc + "A" + "Red text " + esc + "Q" + "\x7F\x7F\x23\x35" + "\x81" + "Mode 7 text" + "\x97\xFF\xA3"),
       [](TTerminalBuffer& b) { return std::make_unique<TViewdataParser>(b); }, 40, 24},
      {"PETSCII", Fill(std::string("\x1C") + "HELLO \x12" + "REVERSE\x92 \x9E" + "YELLOW\x0D"),
       [](TTerminalBuffer& b) { return std::make_unique<TPetsciiParser>(b, TPetsciiParser::pmPetscii); }, 40, 25},
      {"ATASCII", Fill(std::string("HELLO ATARI \x7F") + "TAB\x1F\x1E" + "\x9B"),
       [](TTerminalBuffer& b) { return std::make_unique<TPetsciiParser>(b, TPetsciiParser::pmAtascii); }, 40, 24},
  };
  for (const TCase& c : cases) {
    TTerminalBuffer b(c.Width, c.Height);
    std::unique_ptr<TTextEmulation> e = c.Make(b);
    const double s = Seconds([&] {
      for (char ch : c.Stream) e->Feed(uint8_t(ch));
    });
    const double rate = MiBPerSecond(c.Stream.size(), s);
    printf("%-10s %8.1f MiB/s  %5.2fx the baseline\n", c.Name, rate, rate / MiBPerSecond(plain.size(), baseline));
  }
  return 0;
}
