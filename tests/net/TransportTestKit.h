// Helpers for the SSH and local-shell transport tests, on top of the shared
// ones in tests/support: run a program to its end, a scratch program folder,
// and waits on a recorded transport.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/AppFolder.h"
#include "platform/Thread.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Serve.h"
#include "tests/support/TransportRecorder.h"

namespace kit {

using namespace testsupport;

// Runs Argv to its end with Input on its standard input; returns its exit
// status (-1 when it did not run or end in time) and its output.
inline int Run(const std::vector<std::string>& argv, std::string* output = nullptr, const std::string& input = "") {
  TempDir dir;
  ChildProcess child;
  ChildProcess::Options options;
  options.StdinPipe = true;
  options.OutputFile = dir.File("out");
  if (!child.Start(argv, options)) return -1;
  child.WriteStdin(input);
  child.CloseStdin();
  int status = child.Wait(30000);
  if (output) *output = ReadWholeFile(dir.File("out"));
  return status;
}

inline bool WaitForData(const TransportLog& log, const std::string& text, uint32_t ms = 20000) {
  ServeUntil([&] { return log.Data.find(text) != std::string::npos || log.Disconnected(); }, ms);
  return log.Data.find(text) != std::string::npos;
}

inline bool WaitEnd(const TransportLog& log, uint32_t ms = 20000) {
  return ServeUntil([&] { return log.Disconnected(); }, ms);
}

// The text of the first event of that kind, empty when none came.
inline std::string EventText(const TransportLog& log, TransportLog::Kind kind) {
  for (const auto& e : log.Events)
    if (e.What == kind) return e.Text;
  return "";
}

// Waits until the transport's thread has ended, so nothing outlives the test.
inline void WaitFinished(const std::shared_ptr<platform::Thread>& t) {
  if (t) ServeUntil([&] { return t->Finished(); }, 30000);
}

}  // namespace kit
