// Speed of the KVScript interpreter on a loop-heavy script: a million rounds
// of integer arithmetic and string building. Prints statements per second
// and the time of the same program in Python 3 run alongside, with the ratio
// of the two. Both are timed in processor time, so other programs sharing
// the machine disturb the ratio less. Never fails on time.
#include <ctime>
#include <cstdio>
#include <string>

#include "data/uScript.h"

namespace {

const char* const kScript = R"(
s = ""
total = 0
for i = 1 to 1000000
  total = total + i * 7 % 13 - 3
  s = s + chr(65 + i % 26)
  if len(s) >= 64 then
    s = ""
  end
end
print total
)";

const char* const kPython = R"(
import time
t0 = time.process_time()
s = ""
total = 0
for i in range(1, 1000001):
    total = total + i * 7 % 13 - 3
    s = s + chr(65 + i % 26)
    if len(s) >= 64:
        s = ""
elapsed = time.process_time() - t0
print(total, elapsed)
)";

constexpr int64_t kRounds = 1000000;

// Counts stop checks: one before every statement and one after every loop
// round, so statements run = checks - rounds.
class TCountingHost : public TScriptHost {
 public:
  int64_t Checks = 0;
  std::string Printed;
  bool IsStopped() override {
    ++Checks;
    return false;
  }
  void Send(const std::string&) override {}
  int32_t WaitFor(const std::vector<std::string>&, int32_t) override { return 0; }
  void ClearReceived() override {}
  void Delay(int32_t) override {}
  void Print(const std::string& text) override { Printed += text; }
  std::string GetLine(int32_t) override { return ""; }
  int32_t Rows() override { return 25; }
  int32_t Cols() override { return 80; }
  int32_t CursorX() override { return 1; }
  int32_t CursorY() override { return 1; }
  bool IsConnected() override { return false; }
  bool Dial(const std::string&) override { return false; }
  void Hangup() override {}
  void Beep() override {}
  std::string EntryName() override { return ""; }
};

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

}  // namespace

int main() {
  TScript script;
  script.Parse(kScript, "bench");
  TCountingHost host;
  const double start = CpuSeconds();
  script.Run(&host);
  const double seconds = CpuSeconds() - start;
  const int64_t statements = host.Checks - kRounds;
  std::printf("KVScript: %lld statements in %.3f s of processor time = %.2f million statements/s (total %s)\n",
              static_cast<long long>(statements), seconds, statements / seconds / 1e6, host.Printed.c_str());

  std::string command = "python3 -c '";
  command += kPython;
  command += "'";
  std::FILE* python = popen(command.c_str(), "r");
  char line[256] = {};
  long long pyTotal = 0;
  double pySeconds = 0;
  const bool ran = python && std::fgets(line, sizeof line, python) && std::sscanf(line, "%lld %lf", &pyTotal, &pySeconds) == 2;
  if (python) pclose(python);
  if (!ran || pySeconds <= 0) {
    std::printf("Python 3: did not run (is python3 installed?)\n");
    return 0;
  }
  std::printf("Python 3: %.3f s = %.2f million statements/s (total %lld%s)\n", pySeconds, statements / pySeconds / 1e6,
              pyTotal, std::to_string(pyTotal) == host.Printed ? "" : ", DIFFERENT RESULT");
  std::printf("KVScript takes %.2fx the time of Python 3\n", seconds / pySeconds);
  return 0;
}
