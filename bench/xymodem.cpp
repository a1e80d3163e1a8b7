// Throughput of the X/Ymodem engine: one engine sends a file to another in
// memory (no link between them), per protocol, so the figures show the cost
// of framing, checking and file I/O alone. Prints MB/s; never fails.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "net/uXYmodem.h"

namespace fs = std::filesystem;

int main() {
  const fs::path dir = fs::temp_directory_path() / "korvan_bench_xymodem";
  fs::create_directories(dir / "down");
  const size_t size = 16u << 20;
  {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
    std::FILE* f = std::fopen((dir / "src.bin").c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
  double baseline = 0;
  for (int protocol : {xpXmodem, xpXmodemCrc, xpXmodem1K, xpYmodem, xpYmodemG}) {
    std::string toReceiver, toSender;
    TXYmodemEngine sender(dir.string()), receiver((dir / "down").string());
    sender.OnSend = [&](const uint8_t* d, int n) { toReceiver.append(reinterpret_cast<const char*>(d), n); };
    receiver.OnSend = [&](const uint8_t* d, int n) { toSender.append(reinterpret_cast<const char*>(d), n); };
    sender.AddSendFile((dir / "src.bin").string());
    auto start = std::chrono::steady_clock::now();
    sender.StartSend(protocol);
    receiver.StartReceive(protocol, "dst.bin");
    while (sender.Mode || receiver.Mode) {
      std::string a, b;
      a.swap(toSender);
      b.swap(toReceiver);
      if (a.empty() && b.empty()) break;
      for (unsigned char c : b)
        if (receiver.Mode) receiver.ProcessByte(c);
      for (unsigned char c : a)
        if (sender.Mode) sender.ProcessByte(c);
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double mbps = size / secs / 1e6;
    if (baseline == 0) baseline = mbps;
    std::printf("%-11s %8.1f MB/s  (%.2fx Xmodem)%s\n", XYProtocolName(protocol).c_str(), mbps,
                mbps / baseline, sender.Mode || receiver.Mode ? "  [did not finish]" : "");
  }
  fs::remove_all(dir);
  return 0;
}
