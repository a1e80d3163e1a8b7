// Feeds arbitrary bytes to the Overkill Ansiterm client as received, after
// game texts taken from the input itself: the bytes before the first two
// NULs in a row are read as screens.txt, the rest is the stream. The game
// folder holds two short banners and an art file. Checks that nothing
// crashes or hangs and that a command never grows past its bound.
// fuzz-sources: door/uOOIIParser.cpp door/uOOIIData.cpp core/uPlainFileName.cpp
// fuzz-sources: core/uAnsiParser.cpp core/uAnsiControls.cpp core/uTerminalBuffer.cpp
// fuzz-sources: core/uDebugLog.cpp core/uUtf8Cp437.cpp platform/Tick.cpp
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/uAnsiParser.h"
#include "core/uTerminalBuffer.h"
#include "door/uOOIIParser.h"

namespace {

void Write(const std::string& path, const std::string& data) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
}

const std::string& GameFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/ooii_fuzz_XXXXXX";
    std::string dir = mkdtemp(pattern);
    dir += "/";
    mkdir((dir + "ooii").c_str(), 0755);
    mkdir((dir + "ooii/art").c_str(), 0755);
    mkdir((dir + "ooii/art/cmenus").c_str(), 0755);
    Write(dir + "ooii/banner1.bin", "\xDB\x08O\xDB\x08K1");
    Write(dir + "ooii/banner2.bin", "\xDB\x08O\xDB\x08K2");
    Write(dir + "ooii/art/cmenus/m1_0.bin", "\x1b[1;31mART\x1b[0m\r\n");
    return dir;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TTerminalBuffer buffer(80, 25);
  TAnsiParser ansi(&buffer);
  TOOIIParser parser(&ansi, nullptr);
  parser.ProgramFolder = GameFolder();
  parser.Random = [](int n) { return n - 1; };
  parser.Weekday = [] { return 3; };
  parser.Connected(nullptr, "");
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  const size_t split = input.find(std::string(2, '\0'));
  size_t at = 0;
  if (split != std::string::npos) {
    parser.Data.ParseScreens(input.substr(0, split));
    at = split + 2;
  }
  for (size_t i = at; i < Size;) {
    if (const size_t run = parser.PlainRun(Data + i, Size - i)) {
      if (run > Size - i) abort();
      ansi.Feed(Data + i, run);
      i += run;
      continue;
    }
    if (!parser.FilterByte(Data[i])) ansi.ProcessChar(Data[i]);
    if (parser.FCommand.size() > kMaxOOIICommandBytes) abort();
    ++i;
  }
  return 0;
}
