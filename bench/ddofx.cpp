// Speed of the door command interpreter on what a door sends: plain text
// with an occasional command (through the plain-run fast path and byte by
// byte), a stream of framed queries, and variable loops replayed from a
// macro. Prints megabytes and commands per second in processor time. Never
// fails on time.
#include <cstdio>
#include <ctime>
#include <string>

#include "door/uDDOFXParser.h"

namespace {

double Seconds(std::clock_t from) { return double(std::clock() - from) / CLOCKS_PER_SEC; }

std::string Framed(const std::string& c) { return "\x1d{" + c + "}"; }

}  // namespace

int main() {
  TDDOFXParser parser(nullptr);
  size_t replies = 0;
  parser.Sender = [&replies](const std::string& s) { replies += s.size(); };
  parser.Sleep = [](uint32_t) {};

  std::string text;
  while (text.size() < (8u << 20)) text += "The quick brown fox jumps over the lazy door. " + Framed("2aNOP,1,2");
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());

  std::clock_t t0 = std::clock();
  size_t passed = 0;
  for (size_t i = 0; i < text.size();) {
    if (const size_t run = parser.PlainRun(data + i, text.size() - i)) {
      passed += run;
      i += run;
    } else {
      passed += parser.FilterByte(data[i++]) ? 0 : 1;
    }
  }
  const double fast = Seconds(t0);
  t0 = std::clock();
  for (size_t i = 0; i < text.size(); ++i) passed += parser.FilterByte(data[i]) ? 0 : 1;
  const double slow = Seconds(t0);
  std::printf("text with commands, %zu MiB: %.1f MB/s with plain runs, %.1f MB/s byte by byte (%.1fx)\n",
              text.size() >> 20, text.size() / fast / 1e6, text.size() / slow / 1e6, slow / fast);

  std::string queries;
  for (int i = 0; i < 200000; ++i) queries += Framed(i % 2 ? "dLITERM" : "~VARADD,1,3");
  t0 = std::clock();
  for (char c : queries) parser.FilterByte(uint8_t(c));
  const double q = Seconds(t0);
  std::printf("framed queries and variable commands: %.0f commands/s\n", 200000 / q);

  parser.ExecuteCommand("4DEFM,1,1,(~INCVAR,2)(~VARMLT,3,7)(~VARDIV,3,3)");
  parser.ExecuteCommand("~DEFVAR,2,2,0");
  parser.ExecuteCommand("~DEFVAR,3,2,1");
  t0 = std::clock();
  for (int i = 0; i < 100; ++i) parser.ExecuteCommand("~REPMAC,10000,(4RUNM,1)");
  const double m = Seconds(t0);
  std::printf("macro replays: %.0f replays/s (three variable commands each)\n", 100 * 10000 * 2 / m);
  std::printf("(%zu bytes passed, %zu reply bytes)\n", passed, replies);
  return 0;
}
