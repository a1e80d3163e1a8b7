// Saving and loading a board list of 1 000 and 10 000 entries: wall time and
// the peak memory each step added, beside the file's size. Each size runs in
// a child process of its own, so one size's heap does not colour the next.
// Then the board-list merge of 50 000 fresh boards over 50 000 previous ones
// (half of them still listed), and the import of the largest foreign
// phonebook accepted: a PuTTY export just under the import's size limit.
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
#include "data/uPhonebookImport.h"

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

// Previous: boards 0..Count-1; fresh: boards Count/2..Count*3/2-1, so half
// match by name, and every fourth previous one holds a login.
void RunMerge(int count) {
  auto board = [](int i) {
    auto e = std::make_shared<TPhonebookEntry>();
    e->Name = "Board number " + std::to_string(i) + " of the list";
    e->Host = "bbs" + std::to_string(i) + ".example.org";
    return e;
  };
  for (TGuideMergeMode mode : {gmSurvey, gmKeepEdited, gmUpdateAll}) {
    TPhonebook fresh("unused.ini");
    std::vector<TPhonebookEntryPtr> previous;
    for (int i = 0; i < count; ++i) {
      previous.push_back(board(i));
      if (i % 4 == 0) previous.back()->Username = "caller";
      fresh.Append(board(count / 2 + i));
    }
    int32_t orphans = 0, result = 0;
    std::vector<std::string> report;
    const Step merge = Measure(
        [&] { result = TPhonebook::MergeBBSGuide(fresh, previous, mode, orphans, mode == gmSurvey ? &report : nullptr); });
    std::printf("merge %d over %d, mode %d: %8.1f ms  (count %d, orphans %d, list %d)\n", count, count, int(mode),
                merge.Ms, result, orphans, fresh.Count());
    std::fflush(stdout);
  }
}

// A PuTTY sessions export of about Bytes, one session per board with the
// values a real export carries.
std::string PuttyExport(size_t bytes) {
  std::string out = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int i = 0; out.size() < bytes; ++i) {
    out += "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\Board%20" + std::to_string(i) + "]\r\n";
    out += "\"HostName\"=\"bbs" + std::to_string(i) + ".example.org\"\r\n";
    out += "\"Protocol\"=\"telnet\"\r\n\"PortNumber\"=dword:00000017\r\n\"UserName\"=\"\"\r\n";
    for (int k = 0; k < 12; ++k)
      out += "\"Colour" + std::to_string(k) + "\"=\"187,187,187\"\r\n\"Setting" + std::to_string(k) +
             "\"=dword:00000000\r\n";
    out += "\"LineCodePage\"=\"UTF-8\"\r\n\r\n";
  }
  out.resize(bytes);
  return out;
}

void RunForeignImport(const fs::path& dir) {
  const std::string path = (dir / "putty.reg").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << PuttyExport(kMaxImportFileBytes - 1024);
  }
  TPhonebook book((dir / "korvan.ini").string());
  TImportOutcome outcome;
  const Step step = Measure([&] { outcome = ImportIntoPhonebook(book, path); });
  std::printf("import of a %.1f MB PuTTY export: %8.1f ms  +%6.1f MB  (%d entries from %s, saved %d)\n",
              fs::file_size(path) / 1048576.0, step.Ms, step.PeakMb, outcome.Count, outcome.Source.c_str(),
              int(outcome.Saved));
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
  RunMerge(50000);
  RunForeignImport(dir);
  fs::remove_all(dir);
  return 0;
}
