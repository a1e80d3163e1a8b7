#include "tests/support/PtyRecorder.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "tests/support/ChildProcess.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> p;
  for (std::string& w : words) p.push_back(w.data());
  p.push_back(nullptr);
  return p;
}

class PtySession {
 public:
  ~PtySession() {
    if (FPid > 0) {
      kill(-FPid, SIGKILL);
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
    if (FMaster >= 0) close(FMaster);
  }

  bool Start(std::vector<std::string> argv, const PtyOptions& options, std::string& error) {
    std::vector<std::string> env = options.Env;
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> envp = Pointers(env);
    winsize size{};
    size.ws_col = uint16_t(options.Cols);
    size.ws_row = uint16_t(options.Rows);
    FPid = forkpty(&FMaster, nullptr, nullptr, &size);
    if (FPid < 0) {
      error = std::string("forkpty failed: ") + std::strerror(errno);
      return false;
    }
    if (FPid == 0) {
      struct sigaction dfl {};
      dfl.sa_handler = SIG_DFL;
      for (int sig : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGWINCH}) sigaction(sig, &dfl, nullptr);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      if (!options.WorkingDir.empty() && chdir(options.WorkingDir.c_str()) != 0) _exit(126);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    return true;
  }

  // Appends what the program writes until Done holds; false when the
  // deadline passes or the program's side of the terminal closes first.
  template <class Done>
  bool ReadUntil(std::string& out, Clock::time_point deadline, const Done& done) {
    char buf[4096];
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{FMaster, POLLIN, 0};
      int r = poll(&p, 1, int(left));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      ssize_t n = read(FMaster, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        FClosed = true;
        return done();
      }
      out.append(buf, size_t(n));
    }
    return true;
  }

  bool Type(const std::string& keys) {
    size_t done = 0;
    while (done < keys.size()) {
      ssize_t n = write(FMaster, keys.data() + done, keys.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }

  bool Closed() const { return FClosed; }

  // The exit code once the program ended (128 + signal when killed).
  int Reap(Clock::time_point deadline) {
    int status = 0;
    while (true) {
      pid_t r = waitpid(FPid, &status, WNOHANG);
      if (r == FPid) break;
      if (r < 0 && errno != EINTR) return -1;
      if (Clock::now() >= deadline) return -1;
      pollfd none{-1, 0, 0};
      poll(&none, 0, 10);
    }
    FPid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t FPid = -1;
  int FMaster = -1;
  bool FClosed = false;
};

}  // namespace

PtyRecording RecordInPty(const std::vector<std::string>& Argv, const std::vector<PtyStep>& Steps,
                         const PtyOptions& Options) {
  PtyRecording rec;
  std::vector<std::string> argv = Argv;
  if (argv.empty()) {
    rec.Error = "no program";
    return rec;
  }
  argv[0] = FindProgram(Argv[0]);
  if (argv[0].empty()) {
    rec.Error = "cannot find " + Argv[0] + " (is its package installed? see scripts/packages.txt)";
    return rec;
  }
  PtySession session;
  if (!session.Start(argv, Options, rec.Error)) return rec;
  const auto limit = std::chrono::milliseconds(Options.StepLimitMs);
  for (size_t i = 0; i < Steps.size(); ++i) {
    const PtyStep& step = Steps[i];
    const size_t from = rec.Output.size();
    const bool met = session.ReadUntil(rec.Output, Clock::now() + limit, [&] {
      return step.Expect.empty() ? rec.Output.size() > from : rec.Output.find(step.Expect, from) != std::string::npos;
    });
    if (!met) {
      rec.Error = "step " + std::to_string(i + 1) + ": \"" + step.Expect + "\" did not come" +
                  (session.Closed() ? " before the program ended" : " in time");
      return rec;
    }
    rec.Marks.push_back(rec.Output.size());
    if (!session.Type(step.Keys)) {
      rec.Error = "step " + std::to_string(i + 1) + ": the keys could not be typed";
      return rec;
    }
  }
  const auto deadline = Clock::now() + limit;
  session.ReadUntil(rec.Output, deadline, [&] { return session.Closed(); });
  rec.ExitCode = session.Reap(deadline);
  if (!session.Closed() || rec.ExitCode < 0) rec.Error = Argv[0] + " did not end in time";
  return rec;
}

}  // namespace testsupport
