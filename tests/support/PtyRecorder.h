// Test helper: runs a full-screen program in a pseudo terminal of a fixed
// size and records every byte it writes, typing keys at it on the way. Each
// step waits for a text in the output (or for any output), then types; the
// output offsets at which keys were typed are kept, so a test can compare
// screens at those points. The recording is whatever the program wrote on
// this machine: tests compare emulators on it, never against fixed bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct PtyStep {
  std::string Expect;  // wait until the output since the last step holds this; empty: any output
  std::string Keys;    // then type these
};

struct PtyRecording {
  std::string Output;
  std::vector<size_t> Marks;  // Output's length when each step typed its keys
  int ExitCode = -1;          // 128 + signal when killed
  std::string Error;          // empty when every step was met and the program ended by itself
};

struct PtyOptions {
  int Cols = 80;
  int Rows = 24;
  std::vector<std::string> Env;  // "NAME=value": the program's whole environment
  std::string WorkingDir;        // empty: the test's own
  uint32_t StepLimitMs = 60000;  // per step and for the end of the program
};

// Argv[0] is looked up on PATH. A program that cannot be started, a step
// whose text never comes and a program that does not end are reported in
// Error; the program is then killed.
PtyRecording RecordInPty(const std::vector<std::string>& Argv, const std::vector<PtyStep>& Steps,
                         const PtyOptions& Options);

}  // namespace testsupport
