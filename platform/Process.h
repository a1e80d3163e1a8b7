// Starting another program and watching for its end: the program is started
// from an argument vector (looked up on PATH), never through a shell, so no
// word of it is ever read as a command. It gets the parent's environment, its
// own working folder, standard input from /dev/null and none of the parent's
// other open files.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Starts Args[0] with Args as its argument vector in Folder (empty: the
// current folder). The process id, or -1 with Error set to the errno value
// (the program is missing, not runnable, the folder does not exist ...).
pid_t StartProgram(const std::vector<std::string>& args, const std::string& folder, int& error);

// Whether the program has ended; when it has, it is reaped and ExitCode is
// its exit status (128 + the signal number when a signal ended it).
bool ProgramEnded(pid_t pid, uint32_t& exitCode);

// Waits for the program's end without a time limit; its exit code.
uint32_t WaitForProgram(pid_t pid);

}  // namespace platform
