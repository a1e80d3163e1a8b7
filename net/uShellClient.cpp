#include "net/uShellClient.h"
#include "core/uErrnoText.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "core/uDebugLog.h"
#include "platform/Tick.h"

extern char** environ;

namespace {

constexpr int kPollMs = 20;        // a pass of the loop waits this long for output
constexpr int kDrainIdleMs = 50;   // after the end, output still arriving within this is shown
constexpr int kDrainMaxMs = 1000;  // ... but for no longer than this in all
constexpr int kHangupGraceMs = 2000;
constexpr size_t kReadChunk = 4096;

// "11 (Resource temporarily unavailable)": the errno value with its text.

// The child's environment: ours, announcing a VT100.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e)
    if (std::strncmp(*e, "TERM=", 5) != 0) env.emplace_back(*e);
  env.emplace_back("TERM=vt100");
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> p;
  for (std::string& w : words) p.push_back(w.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::shared_ptr<TShellClient> TShellClient::Create(const std::string& command, uint16_t cols, uint16_t rows) {
  std::shared_ptr<TShellClient> client(new TShellClient(command, cols, rows));
  if (!client->Start()) {
    LogLine("Shell: could not start the transport thread");
    return nullptr;
  }
  return client;
}

TShellClient::TShellClient(const std::string& command, uint16_t cols, uint16_t rows)
    : FCommand(command), FCols(cols), FRows(rows) {
  FSendBuf.reserve(4096);
}

TShellClient::~TShellClient() { Release(); }

void TShellClient::SendBytes(const uint8_t* data, int count) {
  if (count <= 0) return;
  BytesSent += count;
  std::lock_guard<std::mutex> hold(FSendLock);
  FSendBuf.insert(FSendBuf.end(), data, data + count);
}

size_t TShellClient::SendBacklog() {
  std::lock_guard<std::mutex> hold(FSendLock);
  return FSendBuf.size() + FWriteQueued;
}

void TShellClient::SendString(const std::string& s) {
  SendBytes(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int>(s.size()));
}

void TShellClient::Disconnect() { FStop = true; }

void TShellClient::SetWindowSize(uint16_t cols, uint16_t rows) {
  // Stored here; the transport thread, which owns the pty, applies it.
  FCols = cols;
  FRows = rows;
  FResizePending = true;
}

void TShellClient::Execute() {
  if (!StartProcess()) {
    Release();
    return;
  }
  Connected = true;
  Report(TReportKind::rkConnected, "Local shell started");
  ReceiveLoop();
  Connected = false;
  Release();
  Report(TReportKind::rkDisconnected, "Local shell session ended");
}

bool TShellClient::StartProcess() {
  std::vector<std::string> args = SplitCommandLine(FCommand);
  if (args.empty()) {
    const char* shell = std::getenv("SHELL");
    args.emplace_back(shell && *shell ? shell : "/bin/sh");
  }
  std::string shown = FCommand.empty() ? args[0] : FCommand;
  std::vector<std::string> env = ChildEnvironment();
  // Everything the child needs is built before the fork: between fork and
  // exec only async-signal-safe calls are made.
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);

  int report[2];  // the child writes its exec errno here; exec closes it
  if (pipe2(report, O_CLOEXEC) != 0) {
    Report(TReportKind::rkDisconnected, "Local shell failed: pipe error " + ErrnoText(errno));
    return false;
  }
  // The flag is cleared before the size is read: a change made meanwhile
  // is applied again on the first pass instead of being lost.
  FResizePending = false;
  winsize size{};
  size.ws_col = FCols;
  size.ws_row = FRows;
  pid_t pid = forkpty(&FMaster, nullptr, nullptr, &size);
  if (pid < 0) {
    int err = errno;
    close(report[0]);
    close(report[1]);
    FMaster = -1;
    Report(TReportKind::rkDisconnected, "Local shell failed: forkpty error " + ErrnoText(err));
    return false;
  }
  if (pid == 0) {
    close(report[0]);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGWINCH}) sigaction(sig, &dfl, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvpe(argv[0], argv.data(), envp.data());
    int err = errno;
    ssize_t ignored = write(report[1], &err, sizeof err);
    (void)ignored;
    _exit(127);
  }
  FChild = pid;
  close(report[1]);
  int err = 0;
  ssize_t got;
  do got = read(report[0], &err, sizeof err);
  while (got < 0 && errno == EINTR);
  close(report[0]);
  fcntl(FMaster, F_SETFD, FD_CLOEXEC);
  fcntl(FMaster, F_SETFL, fcntl(FMaster, F_GETFL, 0) | O_NONBLOCK);
  if (got == sizeof err) {
    Report(TReportKind::rkDisconnected,
           "Local shell failed: could not start \"" + shown + "\" (error " + std::to_string(err) + ": " +
               std::strerror(err) + ")");
    return false;
  }
  LogLine("Shell: started \"" + shown + "\" as process " + std::to_string(pid));
  return true;
}

void TShellClient::ReceiveLoop() {
  while (!FStop && !Terminated()) {
    ApplyPendingResize();
    Flush();
    int status = 0;
    if (waitpid(FChild, &status, WNOHANG) == FChild) {
      FExited = true;
      // What the program wrote just before it ended is still in the pty:
      // show it before the end is reported.
      Drain();
      RemoteClosed = true;
      return;
    }
    if (!FWriteQueue.MayRead(platform::TickMs())) {
      // The program has left a long queue of input unread: its output waits
      // in the terminal until it takes some, so nothing it prints can make
      // the queue longer meanwhile.
      pollfd p{FMaster, POLLOUT, 0};
      poll(&p, 1, kPollMs);
      continue;
    }
    if (HoldReceive) {
      // Whoever takes the output is full: it waits in the terminal.
      poll(nullptr, 0, kPollMs);
      continue;
    }
    if (!ReadOutput(kPollMs)) {
      // Every holder of the terminal closed it: the program has ended (or
      // left its terminal), which is an orderly end.
      RemoteClosed = true;
      return;
    }
  }
}

bool TShellClient::ReadOutput(int waitMs) {
  pollfd p{FMaster, POLLIN, 0};
  int n = poll(&p, 1, waitMs);
  if (n < 0) return errno == EINTR;
  if (n == 0) return true;
  uint8_t chunk[kReadChunk];
  ssize_t got = read(FMaster, chunk, sizeof chunk);
  if (got < 0) return errno == EAGAIN || errno == EINTR;  // EIO: the other side is closed
  if (got == 0) return false;
  FRecvBuf.assign(chunk, chunk + got);
  DeliverData(FRecvBuf.data(), static_cast<int>(FRecvBuf.size()));
  return true;
}

void TShellClient::Drain() {
  // Bounded: a helper the program left behind may keep writing to the
  // terminal, and the call must still end (and still hear a hang-up).
  uint64_t until = platform::TickMs() + kDrainMaxMs;
  while (!FStop && !Terminated() && platform::TickMs() < until) {
    pollfd p{FMaster, POLLIN, 0};
    if (poll(&p, 1, kDrainIdleMs) <= 0 || !(p.revents & POLLIN)) return;
    if (!ReadOutput(0)) return;
  }
}

void TShellClient::ApplyPendingResize() {
  if (!FResizePending.exchange(false)) return;
  winsize size{};
  size.ws_col = FCols;
  size.ws_row = FRows;
  if (ioctl(FMaster, TIOCSWINSZ, &size) != 0) LogLine("Shell: resize failed: " + ErrnoText(errno));
}

void TShellClient::Flush() {
  {
    std::lock_guard<std::mutex> hold(FSendLock);
    FWriteQueue.Append(FSendBuf.data(), FSendBuf.size());
    FSendBuf.clear();
    FWriteQueued = FWriteQueue.Size();
  }
  while (!FWriteQueue.Empty()) {
    ssize_t n = write(FMaster, FWriteQueue.Data(), FWriteQueue.Size());
    if (n > 0) {
      FWriteQueue.Consume(static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      break;  // the program is not reading: the rest waits for the next pass
    } else {
      LogLine("Shell: write to the pty failed: " + ErrnoText(errno));
      FWriteQueue.Clear();
    }
  }
  FWriteQueued = FWriteQueue.Size();
}

void TShellClient::Release() {
  if (FMaster >= 0) {
    // Closing our side hangs up the terminal: the kernel sends SIGHUP to
    // the program's session.
    close(FMaster);
    FMaster = -1;
  }
  if (FChild <= 0 || FExited) return;
  // The program leads its own session and process group; the whole group
  // ends with the call. The leader is looked at without being reaped, so the
  // group's number cannot be taken by another process meanwhile.
  kill(-FChild, SIGHUP);
  kill(-FChild, SIGCONT);
  uint64_t until = platform::TickMs() + kHangupGraceMs;
  siginfo_t info{};
  while (platform::TickMs() < until) {
    info.si_pid = 0;
    if (waitid(P_PID, static_cast<id_t>(FChild), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == FChild)
      break;
    usleep(10000);
  }
  // Whatever ignored the hang-up does not outlive the call.
  kill(-FChild, SIGKILL);
  int status = 0;
  waitpid(FChild, &status, 0);
  FExited = true;
}
