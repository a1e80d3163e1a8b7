// Fuzzes the receive side of the Zmodem engine: headers, subpackets and the
// automatic-start filter. The first input byte picks a preamble so the
// fuzzer also starts deep inside a session: 0 raw bytes, 1 after a ZRQINIT,
// 2 inside a file offer (ZFILE header, subpacket follows), 3 inside file data.
// fuzz-sources: net/uZmodem.cpp net/uZmodemReceive.cpp net/uZmodemSend.cpp
// fuzz-sources: net/uZmodemFrame.cpp net/uCrc.cpp core/uDebugLog.cpp
// fuzz-sources: core/uPlainFileName.cpp platform/Tick.cpp
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "net/uZmodem.h"

namespace {

// The scratch receive folder, removed when the run ends (kept alive past
// every static destructor for that).
const std::string& Folder() {
  static const std::string* dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("korvan_fuzz_zm_" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Folder(), ec);
    });
    return new std::string(d.string());
  }();
  return *dir;
}

void Preamble(TZmodemEngine& e, int mode) {
  std::vector<uint8_t> in;
  zm::TZmodemEncoder enc;
  if (mode >= 1) zm::TZmodemEncoder::AppendHexHeader(in, zm::TZHeader::At(zm::ZRQINIT, 0));
  if (mode >= 2) enc.AppendBinaryHeader(in, {zm::ZFILE, {0, 0, 0, 0}});
  if (mode >= 3) {
    static const char info[] = "fuzz.bin\0" "100000 0 0";
    enc.AppendSubpacket(in, reinterpret_cast<const uint8_t*>(info), sizeof info, zm::ZCRCW);
    enc.AppendBinaryHeader(in, zm::TZHeader::At(zm::ZDATA, 0));
  }
  uint8_t out[4];
  int n;
  for (uint8_t b : in) e.ProcessIncoming(b, out, n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint64_t now = 1000;
  TZmodemEngine e(Folder());
  e.Clock = [&now] { return now; };
  size_t sent = 0;
  e.OnSend = [&sent](const uint8_t*, int n) { sent += size_t(n); };
  Preamble(e, data[0] & 3);
  uint8_t out[4];
  int n;
  for (size_t i = 1; i < size; ++i) {
    e.ProcessIncoming(data[i], out, n);
    if (n < 0 || n > 4) __builtin_trap();
    if ((i & 1023) == 0) {  // time passes now and then
      now += 700;
      e.Tick();
    }
  }
  e.Abort();
  return 0;
}
