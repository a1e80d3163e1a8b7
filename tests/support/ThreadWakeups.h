// How often threads of this process wake: the kernel counts each time a
// thread goes to sleep of its own accord (a wait, a poll, a sleep), so the
// count's growth over a quiet while is the wake-ups in it.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace testsupport {

// The ids of this process's threads now. A thread is started and ended
// first, once: a sanitizer's runtime starts its own background thread with
// the process's first thread, and that one wakes on a clock of its own.
inline std::set<std::string> ThreadIds() {
  static const bool runtimeStarted = [] {
    std::thread([] {}).join();
    return true;
  }();
  (void)runtimeStarted;
  std::set<std::string> ids;
  std::error_code ec;
  for (const auto& t : std::filesystem::directory_iterator("/proc/self/task", ec))
    ids.insert(t.path().filename().string());
  return ids;
}

// The threads that are there now and were not among Before.
inline std::set<std::string> ThreadsSince(const std::set<std::string>& before) {
  std::set<std::string> added;
  for (const std::string& id : ThreadIds())
    if (!before.count(id)) added.insert(id);
  return added;
}

// The voluntary switches of the threads Ids so far.
inline uint64_t VoluntarySwitches(const std::set<std::string>& ids) {
  uint64_t total = 0;
  for (const std::string& id : ids) {
    std::ifstream in("/proc/self/task/" + id + "/status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stoull(line.substr(line.find(':') + 1));
  }
  return total;
}

}  // namespace testsupport
