#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/AppFolder.h"
#include "platform/Tick.h"

extern char** environ;

namespace testsupport {

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    std::string full = dir + "/" + name;
    if (access(full.c_str(), X_OK) == 0) return full;
  }
  return "";
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "korvan-test-XXXXXX").string();
  if (mkdtemp(tmpl.data())) FPath = tmpl + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
}

ScratchAppFolder::ScratchAppFolder() {
  chmod(FDir.Path().c_str(), 0755);  // peers running as another user may read it
  std::error_code ec;
  std::filesystem::create_directory_symlink(platform::AppFolder() + "dll", FDir.Path() + "dll", ec);
  platform::SetAppFolder(FDir.Path());
}

ScratchAppFolder::~ScratchAppFolder() { platform::SetAppFolder(""); }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << data;
  return bool(f);
}

FileSizeLimit::FileSizeLimit(unsigned long bytes) {
  FSavedHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  FSavedCur = saved.rlim_cur;
  FSavedMax = saved.rlim_max;
  rlimit small = saved;
  small.rlim_cur = bytes;
  FActive = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

FileSizeLimit::~FileSizeLimit() {
  rlimit saved{FSavedCur, FSavedMax};
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, FSavedHandler);
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::vector<std::string>& argv, const Options& options) {
  if (argv.empty() || FPid > 0) return false;
  std::string program = FindProgram(argv[0]);
  if (program.empty()) return false;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int pipeFds[2] = {-1, -1};
  if (options.StdinPipe) {
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  const std::string out = options.OutputFile.empty() ? "/dev/null" : options.OutputFile;
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (!options.WorkingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.WorkingDir.c_str());

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e) envStore.emplace_back(*e);
  // A variable given in Options.Env takes the place of the inherited one.
  for (const auto& e : options.Env) {
    const std::string name = e.substr(0, e.find('=') + 1);
    auto same = std::find_if(envStore.begin(), envStore.end(), [&](const std::string& s) { return s.rfind(name, 0) == 0; });
    if (same != envStore.end())
      *same = e;
    else
      envStore.push_back(e);
  }
  std::vector<char*> env;
  for (auto& e : envStore) env.push_back(e.data());
  env.push_back(nullptr);

  // The child gets its own process group so Stop reaches anything it starts.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  int rc = posix_spawn(&FPid, program.c_str(), &actions, &attr, args.data(), env.data());
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (options.StdinPipe) {
    ::close(pipeFds[0]);
    FStdin = pipeFds[1];
  }
  if (rc != 0) {
    FPid = -1;
    CloseStdin();
    return false;
  }
  FStatus = -1;
  return true;
}

bool ChildProcess::Running() { return FPid > 0 && Wait(0) < 0; }

bool ChildProcess::WriteStdin(const std::string& data) {
  if (FStdin < 0) return false;
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(FStdin, data.data() + done, data.size() - done);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

void ChildProcess::CloseStdin() {
  if (FStdin >= 0) ::close(FStdin);
  FStdin = -1;
}

int ChildProcess::Wait(int timeoutMs) {
  if (FPid <= 0) return FStatus;
  uint64_t until = platform::TickMs() + uint64_t(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(FPid, &status, WNOHANG);
    if (r == FPid) {
      FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      FPid = -1;
      return FStatus;
    }
    if (r < 0 || platform::TickMs() >= until) return -1;
    usleep(5000);
  }
}

void ChildProcess::Stop() {
  CloseStdin();
  if (FPid <= 0) return;
  kill(-FPid, SIGTERM);
  kill(FPid, SIGTERM);
  if (Wait(1000) >= 0) return;
  kill(-FPid, SIGKILL);
  kill(FPid, SIGKILL);
  Wait(5000);
}

std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

}  // namespace testsupport
