// Drives the X/Ymodem engine with arbitrary peer bytes and clock steps (a
// simulated clock: no input waits), in every receiving and sending protocol,
// and checks that it stays within its folder and ends or keeps running
// without faults. Each input starts with an empty download folder: files
// left by earlier inputs would make every new name a longer search for a
// free one, and the run slower with every file.
// fuzz-sources: net/uXYmodem.cpp net/uXYmodemSend.cpp net/uCrc.cpp
// fuzz-sources: core/uPlainFileName.cpp core/uDebugLog.cpp platform/Tick.cpp
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "net/uXYmodem.h"

namespace {

std::string FolderOnce() {
  // Beside the fuzzer's other output (scripts/fuzz.sh runs from the checkout).
  static std::string dir = [] {
    std::string d = "build-fuzz/xymodem.files/";
    std::filesystem::create_directories(d);
    if (std::FILE* f = std::fopen((d + "src.bin").c_str(), "wb")) {
      for (int i = 0; i < 3000; ++i) std::fputc(i * 13, f);
      std::fclose(f);
    }
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string dir = FolderOnce();
  uint64_t now = 1000;
  size_t sent = 0;
  TXYmodemEngine e(dir + "down/");
  e.Clock = [&now] { return now; };
  e.OnSend = [&sent](const uint8_t*, int n) { sent += static_cast<size_t>(n); };
  const int protocol = data[0] % 6;
  if (data[0] & 0x80) {
    e.AddSendFile(dir + "src.bin");
    e.StartSend(protocol == 0 ? xpXmodem : protocol);
  } else {
    e.StartReceive(protocol, "f.bin");
  }
  // Byte $FF followed by n: the clock moves n * 500 ms and the engine ticks.
  for (size_t i = 1; i < size && e.Mode != TXYmodemEngine::xmIdle; ++i) {
    if (data[i] == 0xFF && i + 1 < size) {
      now += static_cast<uint64_t>(data[++i]) * 500;
      e.Tick();
      continue;
    }
    e.ProcessByte(data[i]);
  }
  e.Abort("fuzz input over");
  std::error_code ec;
  std::filesystem::remove_all(dir + "down/", ec);
  return 0;
}
