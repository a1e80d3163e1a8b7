// Saving and loading a board list of 1 000 and 10 000 entries: wall time and
// the peak memory each step added, beside the file's size. Each size runs in
// a child process of its own, so one size's heap does not colour the next.
// Prints figures and ratios; never fails.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/uPhonebook.h"

namespace fs = std::filesystem;

namespace {

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line))
    if (line.compare(0, prefix.size(), prefix) == 0) return std::atol(line.c_str() + prefix.size());
  return -1;
}

// Starts a new peak: the kernel sets the high-water mark back to the
// current resident size.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return bool(clear);
}

struct Step {
  double Ms;
  double PeakMb;  // above the resident size before the step
};

template <typename F>
Step Measure(F&& step) {
  const long before = StatusKb("VmRSS");
  const bool peakReset = ResetPeak();
  const auto start = std::chrono::steady_clock::now();
  step();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const long peak = peakReset ? StatusKb("VmHWM") : StatusKb("VmRSS");
  return Step{ms, (peak - before) / 1024.0};
}

// Boards as a downloaded list holds them: every one with a name, host and
// port and a note, some with a login, a few with login steps and a call.
void Fill(TPhonebook& book, int count) {
  for (int i = 0; i < count; ++i) {
    TPhonebookEntryPtr e = book.Add();
    e->Name = "Board number " + std::to_string(i) + " of the list";
    e->Host = "bbs" + std::to_string(i) + ".example.org";
    e->Port = i % 3 == 0 ? 2323 : 23;
    e->Notes = "Imported from the monthly list; software Mystic";
    if (i % 4 == 0) {
      e->Username = "caller" + std::to_string(i);
      e->Password = "secret" + std::to_string(i);
    }
    if (i % 10 == 0) {
      e->Script = {"WAITFOR login:", "SEND caller^M"};
      e->LastConnected = 45000.5 + i % 365;
      e->TimesConnected = i % 50;
    }
  }
}

void RunSize(int count, const fs::path& dir) {
  const std::string path = (dir / ("list" + std::to_string(count) + ".ini")).string();
  TPhonebook book(path);
  Fill(book, count);
  const Step save = Measure([&] { book.SaveToFile(); });
  const double fileMb = fs::file_size(path) / 1048576.0;
  book.Clear();
  TPhonebook loaded(path);
  const Step load = Measure([&] { loaded.LoadFromFile(); });
  const Step again = Measure([&] { loaded.SaveToFile(); });
  std::printf("%6d entries  file %6.2f MB  save %8.1f ms  +%6.1f MB  load %8.1f ms  +%6.1f MB (%.1fx the file)"
              "  save after load %8.1f ms  %s\n",
              count, fileMb, save.Ms, save.PeakMb, load.Ms, load.PeakMb, load.PeakMb / fileMb, again.Ms,
              loaded.Count() == count && !loaded.LoadRepaired() ? "" : "[entries lost]");
  std::fflush(stdout);
}

}  // namespace

int main() {
  const fs::path dir = fs::temp_directory_path() / ("korvan_bench_phonebook_" + std::to_string(getpid()));
  fs::create_directories(dir);
  if (!ResetPeak()) std::printf("(peak memory not resettable here: figures show resident growth instead)\n");
  for (int count : {1000, 10000}) {
    pid_t child = fork();
    if (child == 0) {
      RunSize(count, dir);
      std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
  }
  fs::remove_all(dir);
  return 0;
}
