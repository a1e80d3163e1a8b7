// Zmodem throughput against lrzsz over loopback TCP: the same file from sz to
// our receiver and from sz to rz, then from our sender to rz; prints MB/s of
// each and our ratio to the lrzsz pair. Usage: bench_zmodem_transfer [MiB]
// (default 256) [runs] (default 5). Build in a Release tree for meaningful figures.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "net/uZmodem.h"
#include "platform/Tick.h"
#include "tests/net/ZmodemPeer.h"

namespace fs = std::filesystem;

namespace {

bool SameFile(const fs::path& a, const fs::path& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (true) {
    fa.read(ba.data(), std::streamsize(ba.size()));
    fb.read(bb.data(), std::streamsize(bb.size()));
    if (fa.gcount() != fb.gcount()) return false;
    if (fa.gcount() == 0) return true;
    if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
  }
}

void MakeFile(const fs::path& p, uint64_t bytes) {
  std::ofstream out(p, std::ios::binary);
  std::mt19937_64 rng(42);
  std::vector<uint64_t> block(1 << 17);
  for (uint64_t done = 0; done < bytes;) {
    for (auto& x : block) x = rng();
    const uint64_t n = std::min<uint64_t>(bytes - done, block.size() * 8);
    out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(n));
    done += n;
  }
}

// sz and rz on the two ends of one loopback connection; seconds taken.
double LrzszPair(const fs::path& sendDir, const fs::path& recvDir, const std::string& name) {
  int a = -1, b = -1;
  zmpeer::LoopbackPair(a, b);
  const uint64_t start = platform::TickMs();
  const pid_t sz = zmpeer::Spawn({"sz", "-q", name}, sendDir.string(), a, "/dev/null");
  const pid_t rz = zmpeer::Spawn({"rz", "-q"}, recvDir.string(), b, "/dev/null");
  ::close(a);
  ::close(b);
  int st1 = 0, st2 = 0;
  ::waitpid(sz, &st1, 0);
  ::waitpid(rz, &st2, 0);
  const double secs = double(platform::TickMs() - start) / 1000.0;
  if (!WIFEXITED(st1) || WEXITSTATUS(st1) != 0 || !WIFEXITED(st2) || WEXITSTATUS(st2) != 0)
    std::fprintf(stderr, "warning: sz or rz did not exit cleanly\n");
  return secs;
}

// Our engine against one lrzsz program; seconds taken.
double WithEngine(TZmodemEngine& engine, const std::vector<std::string>& argv, const fs::path& dir, bool upload) {
  const uint64_t start = platform::TickMs();
  zmpeer::TPeerSession s(engine, argv, dir.string(), "/dev/null");
  if (upload) engine.StartUpload();
  s.Run(30 * 60 * 1000);
  if (s.TimedOut || s.ExitCode != 0) std::fprintf(stderr, "warning: the transfer did not end cleanly\n");
  return double(platform::TickMs() - start) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
  if (!zmpeer::ProgramExists("sz") || !zmpeer::ProgramExists("rz")) {
    std::fprintf(stderr, "sz and rz (Debian package lrzsz) are needed\n");
    return 1;
  }
#ifndef NDEBUG
  std::printf("note: this is not an optimised build; figures are not representative\n");
#endif
  const fs::path root = fs::temp_directory_path() / ("korvan_bench_zm_" + std::to_string(::getpid()));
  fs::create_directories(root / "send");
  const std::string name = "bench.bin";
  const uint64_t bytes = mib << 20;
  MakeFile(root / "send" / name, bytes);
  auto fresh = [&](const char* sub) {
    fs::remove_all(root / sub);
    fs::create_directories(root / sub);
    return root / sub;
  };
  auto rate = [&](double secs) { return double(bytes) / 1e6 / secs; };

  // Each case runs several times, interleaved, and keeps its best time, so
  // a burst of load from elsewhere on the machine does not decide the ratio.
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  double lrzsz = 1e30, ours_rx = 1e30, ours_tx = 1e30;
  bool refOk = true, rxOk = true, txOk = true;
  for (int run = 0; run < runs; ++run) {
    const fs::path ref = fresh("ref");
    lrzsz = std::min(lrzsz, LrzszPair(root / "send", ref, name));
    refOk = refOk && SameFile(root / "send" / name, ref / name);

    const fs::path down = fresh("down");
    TZmodemEngine receiver(down.string());
    ours_rx = std::min(ours_rx, WithEngine(receiver, {"sz", "-q", name}, root / "send", false));
    rxOk = rxOk && SameFile(root / "send" / name, down / name);

    const fs::path up = fresh("up");
    TZmodemEngine sender(up.string());
    sender.AddUploadFile((root / "send" / name).string());
    ours_tx = std::min(ours_tx, WithEngine(sender, {"rz", "-q"}, up, true));
    txOk = txOk && SameFile(root / "send" / name, up / name);
  }

  std::printf("Zmodem over loopback TCP, %llu MiB file, best of %d runs\n", static_cast<unsigned long long>(mib), runs);
  std::printf("  sz -> rz (reference)     %8.1f MB/s%s\n", rate(lrzsz), refOk ? "" : "  (file differs!)");
  std::printf("  sz -> our receiver       %8.1f MB/s%s\n", rate(ours_rx), rxOk ? "" : "  (file differs!)");
  std::printf("  our sender -> rz         %8.1f MB/s%s\n", rate(ours_tx), txOk ? "" : "  (file differs!)");
  std::printf("  receive ratio (ours/rz)  %8.2f   (target >= 0.90)\n", lrzsz / ours_rx);
  std::printf("  send ratio (ours/sz)     %8.2f   (target >= 0.90)\n", lrzsz / ours_tx);
  fs::remove_all(root);
  return 0;
}
