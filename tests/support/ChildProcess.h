// Test helper: runs a peer program (a server, a transfer tool) as a child
// process from an argument vector, with an optional pipe to its standard
// input and its output collected in a file, and ends it when the test is done.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// The full path of a program found on PATH (or in /usr/sbin, /sbin), or empty.
std::string FindProgram(const std::string& name);

// A scratch folder removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder with a trailing "/".
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + name; }

 private:
  std::string FPath;
};

// Points the program's folder (platform::AppFolder) at a scratch folder for
// the test's lifetime, with a "dll" link to the build's optional libraries,
// so files the program keeps beside itself land in the scratch folder.
class ScratchAppFolder {
 public:
  ScratchAppFolder();
  ~ScratchAppFolder();
  const std::string& Path() const { return FDir.Path(); }
  std::string File(const std::string& name) const { return FDir.File(name); }

 private:
  TempDir FDir;
};

std::string ReadWholeFile(const std::string& path);
// What a shell command line prints on its standard output.
std::string CommandOutput(const std::string& command);
bool WriteWholeFile(const std::string& path, const std::string& data);

// While it lives, no file of this process grows beyond Bytes: a write past it
// fails part-way, as on a full disk (and unlike permission bits it binds root
// too). SIGXFSZ is ignored meanwhile so the write returns an error instead.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(unsigned long bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool Active() const { return FActive; }

 private:
  bool FActive = false;
  unsigned long FSavedCur = 0, FSavedMax = 0;
  void (*FSavedHandler)(int) = nullptr;
};

class ChildProcess {
 public:
  struct Options {
    bool StdinPipe = false;      // else standard input is /dev/null
    std::string OutputFile;      // standard output and error go here; empty: /dev/null
    std::string WorkingDir;      // empty: the test's own
    std::vector<std::string> Env;  // "NAME=value" set over the test's environment
  };

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Argv[0] is the program (a full path, or a name looked up on PATH).
  bool Start(const std::vector<std::string>& argv, const Options& options);
  bool Start(const std::vector<std::string>& argv) { return Start(argv, Options{}); }
  pid_t Pid() const { return FPid; }
  bool Running();
  bool WriteStdin(const std::string& data);
  void CloseStdin();
  // Exit status (or 128 + signal) once ended within the time; -1 otherwise.
  int Wait(int timeoutMs = 5000);
  // SIGTERM, then SIGKILL when it does not end within a second; reaps it.
  void Stop();

 private:
  pid_t FPid = -1;
  int FStdin = -1;
  int FStatus = -1;
};

}  // namespace testsupport
