// The whole program's speed, against what its parts or a minimal program do
// on the same machine. Prints figures and ratios from one run; nothing here
// passes or fails.
//
//   flood     a loopback board sends a large ANSI art corpus, then a cursor
//             report request, and times the reply: MB/s of the program
//             (headless, and the built program under Xvfb) against the ANSI
//             parser alone on the same bytes
//   zmodem    a download from sz through the program (headless) against sz
//             to rz on the same loopback
//   frames    the cost of a frame at three window sizes for a full change,
//             a one-row change and no change, renderer and presentation to
//             an X window (Xvfb) through the window's own image, in CPU time
//             of this process and of the X server
//   idle      CPU and wake-ups a second of the built program over 20 s at
//             the directory and in a call to a quiet board (Xvfb)
//   startup   start to first frame on screen, against a minimal SDL2
//             program opening the same window (Xvfb)
//
// Usage: bench_program_speed [section...] (default: all). Build in a Release tree.
#include <SDL2/SDL.h>
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/uApp.h"
#include "bench/uArtCorpus.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"
#include "platform/EventLoop.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// CPU seconds of the calling thread, and of this whole process.
double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}
double ProcessCpu() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

std::string ExeFolder() { return fs::read_symlink("/proc/self/exe").parent_path().string() + "/"; }

// ---- Processes and what the kernel counts of them.

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int stdio = -1,
            const std::string& dir = "") {
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> all(env);
  for (char** e = environ; *e; ++e) all.push_back(*e);
  for (const std::string& e : all) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdio >= 0) {
    posix_spawn_file_actions_adddup2(&actions, stdio, 0);
    posix_spawn_file_actions_adddup2(&actions, stdio, 1);
  }
  int devnull = open("/dev/null", O_WRONLY);
  posix_spawn_file_actions_adddup2(&actions, devnull, 2);
  if (stdio < 0) posix_spawn_file_actions_adddup2(&actions, devnull, 1);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(devnull);
  return pid;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// User plus system CPU seconds of a process (all its threads).
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), {});
  size_t close = all.rfind(')');
  if (close == std::string::npos) return 0;
  std::vector<std::string> fields;
  std::string f;
  for (char c : all.substr(close + 2)) {
    if (c == ' ') {
      fields.push_back(f);
      f.clear();
    } else {
      f += c;
    }
  }
  if (fields.size() < 13) return 0;
  return (std::stod(fields[11]) + std::stod(fields[12])) / double(sysconf(_SC_CLK_TCK));
}

// CPU seconds the scheduler counted for the live threads of a process, to
// the nanosecond: an idle program uses too little for the clock ticks of
// CpuSeconds to tell apart.
double ThreadsCpuSeconds(pid_t pid) {
  uint64_t total = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code ec;
  for (const auto& t : fs::directory_iterator(tasks, ec)) {
    std::ifstream in(t.path() / "schedstat");
    uint64_t ns = 0;
    if (in >> ns) total += ns;
  }
  return total / 1e9;
}

// Context switches of every thread of a process, split by their cause: a
// voluntary one is a thread going to sleep of its own accord (a wait, a poll,
// a sleep), so each is a wake-up of the program's; an involuntary one is a
// running thread the scheduler set aside for another, often the X server
// that a request of the thread has just woken on the same core.
struct Switches {
  uint64_t Voluntary = 0;
  uint64_t Involuntary = 0;
  uint64_t Total() const { return Voluntary + Involuntary; }
};

Switches ThreadSwitches(pid_t pid) {
  Switches total;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code ec;
  for (const auto& t : fs::directory_iterator(tasks, ec)) {
    std::ifstream in(t.path() / "status");
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        total.Voluntary += std::stoull(line.substr(line.find(':') + 1));
      else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        total.Involuntary += std::stoull(line.substr(line.find(':') + 1));
    }
  }
  return total;
}

// An Xvfb of its own, on a display number it picks itself. A display that
// does not take a client (another server answered on the same number) is
// given up and another one started.
struct Xvfb {
  pid_t Pid = -1;
  std::string Name;
  explicit Xvfb(const std::string& screen = "2600x1700x24") {
    for (int attempt = 0; attempt < 5 && Name.empty(); ++attempt) {
      Start(screen);
      if (!Name.empty() && !TakesClients()) {
        Stop(Pid);
        Pid = -1;
        Name.clear();
      }
    }
  }
  ~Xvfb() { Stop(Pid); }
  bool Ok() const { return !Name.empty(); }

 private:
  void Start(const std::string& screen) {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::vector<std::string> argv = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                                     "-nolisten", "tcp"};
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    Pid = fork();
    if (Pid == 0) {
      close(fds[0]);
      int devnull = open("/dev/null", O_WRONLY);
      dup2(devnull, 1);
      dup2(devnull, 2);
      execvp("Xvfb", args.data());
      _exit(127);
    }
    close(fds[1]);
    char buf[32] = {};
    ssize_t n = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    if (n > 0) Name = ":" + std::string(buf, size_t(n)).substr(0, std::string(buf, size_t(n)).find('\n'));
  }
  bool TakesClients() const {
    pid_t probe = Spawn({"xdpyinfo", "-display", Name}, {});
    int status = 0;
    return probe > 0 && waitpid(probe, &status, 0) == probe && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
};

// ---- Loopback boards.

struct Listener {
  int Fd = -1;
  uint16_t Port = 0;
  Listener() {
    Fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(Fd, 4);
    getsockname(Fd, reinterpret_cast<sockaddr*>(&a), &len);
    Port = ntohs(a.sin_port);
  }
  ~Listener() { close(Fd); }
  int Accept(int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(Fd, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(Fd + 1, &set, nullptr, nullptr, &tv) <= 0) return -1;
    int fd = accept(Fd, nullptr, nullptr);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
  }
};

bool SendAll(int fd, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += size_t(n);
  }
  return true;
}

// MB a CPU second, the best of three runs.
double ParserAloneMBs(const std::string& corpus) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    TTerminalBuffer buffer(80, 25);
    TAnsiParser parser(&buffer);
    const double t = ThreadCpu();
    parser.Feed(reinterpret_cast<const uint8_t*>(corpus.data()), corpus.size());
    best = std::max(best, corpus.size() / 1e6 / (ThreadCpu() - t));
  }
  return best;
}

// A Telnet board: drains what the client sends, sends Data (IAC doubled)
// and a cursor report request, and returns the seconds until the report.
// BoardCpu (may be null) gets the CPU seconds the board's own threads took;
// Accepted (may be empty) runs once the program has called.
double FloodBoard(Listener& board, const std::string& corpus, int acceptMs, double* boardCpu = nullptr,
                  const std::function<void()>& accepted = {}) {
  const double cpuAtStart = ThreadCpu();
  std::atomic<double> readerCpu{0};
  int fd = board.Accept(acceptMs);
  if (fd < 0) return -1;
  if (accepted) accepted();
  std::atomic<bool> replied{false};
  std::atomic<int64_t> repliedAt{0};
  std::thread reader([&] {
    struct TakeCpu {
      std::atomic<double>& To;
      ~TakeCpu() { To = ThreadCpu(); }
    } takeCpu{readerCpu};
    std::string seen;
    char buf[4096];
    while (!replied) {
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      seen.append(buf, size_t(n));
      size_t esc = seen.rfind("\x1b[");
      if (esc != std::string::npos && seen.find('R', esc) != std::string::npos) {
        repliedAt = Clock::now().time_since_epoch().count();
        replied = true;
      }
      if (seen.size() > 8192) seen.erase(0, seen.size() - 64);
    }
  });
  usleep(300000);  // the client's negotiation settles first
  std::string stream;
  stream.reserve(corpus.size() + corpus.size() / 64);
  for (char c : corpus) {
    stream += c;
    if (c == '\xff') stream += c;
  }
  stream += "\x1b[6n";
  Clock::time_point start = Clock::now();
  SendAll(fd, stream);
  for (int i = 0; i < 6000 && !replied; ++i) usleep(10000);
  shutdown(fd, SHUT_RDWR);
  reader.join();
  close(fd);
  if (boardCpu) *boardCpu = ThreadCpu() - cpuAtStart + readerCpu;
  if (!replied) return -1;
  return std::chrono::duration<double>(Clock::time_point(Clock::duration(repliedAt.load())) - start).count();
}

// A scratch program folder: fonts beside it, a settings file that keeps the
// backup reminder quiet, and (for the built program) the executable itself.
struct ProgramFolder {
  std::string Path;
  explicit ProgramFolder(bool withBinary, const std::string& extraConfig = "") {
    char tmpl[] = "/tmp/korvan-bench-XXXXXX";
    Path = std::string(mkdtemp(tmpl)) + "/";
    std::error_code ec;
    fs::create_directory_symlink(ExeFolder() + "fonts", Path + "fonts", ec);
    fs::create_directory_symlink(ExeFolder() + "dll", Path + "dll", ec);
    if (withBinary) fs::copy_file(ExeFolder() + "korvan", Path + "korvan", ec);
    std::ofstream(Path + "korvan_config.ini") << "[Config]\nLastPhonebookBackup=2999-01-01 00:00:00\n" << extraConfig;
  }
  ~ProgramFolder() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
};

std::unique_ptr<TApplication> HeadlessProgram(const ProgramFolder& folder, const std::vector<std::string>& args) {
  TAppOptions options;
  options.Headless = true;
  options.AppFolder = folder.Path;
  options.Args = args;
  auto app = std::make_unique<TApplication>(options);
  return app->Started() ? std::move(app) : nullptr;
}

void Flood() {
  std::printf("== flood: ANSI art through the whole program\n");
  const std::string corpus = ArtCorpus(64u << 20);
  const double parser = ParserAloneMBs(corpus);
  std::printf("  corpus %.1f MB; ANSI parser alone: %.1f MB a CPU second\n", corpus.size() / 1e6, parser);
  {
    ProgramFolder folder(false);
    Listener board;
    auto app = HeadlessProgram(folder, {"/S127.0.0.1:" + std::to_string(board.Port)});
    if (!app) return;
    double seconds = -1, boardCpu = 0;
    std::atomic<bool> done{false};
    const double cpuBefore = ProcessCpu();
    std::thread boardThread([&] {
      seconds = FloodBoard(board, corpus, 20000, &boardCpu);
      done = true;
    });
    app->RunUntil([&] { return done.load(); }, 600000);
    boardThread.join();
    const double cpu = ProcessCpu() - cpuBefore - boardCpu;
    const uint64_t frames = app->Window().FramesPresented();
    const uint64_t sleeps = app->Window().Sleeps();
    app.reset();
    platform::CheckSynchronize(0);
    if (seconds > 0)
      std::printf(
          "  program, headless window 1600x1000: %.1f MB/s; %llu frames and %llu waits for input in %.2f s\n"
          "    a CPU second of the program (%.2f CPU s, the board's threads left out): %.1f MB, %.2f of the parser "
          "alone\n",
          corpus.size() / 1e6 / seconds, (unsigned long long)frames, (unsigned long long)sleeps, seconds, cpu,
          corpus.size() / 1e6 / cpu, corpus.size() / 1e6 / cpu / parser);
    else
      std::printf("  program, headless: no cursor report came\n");
  }
  Xvfb x;
  if (!x.Ok()) {
    std::printf("  Xvfb did not start: no figure for the real window\n");
    return;
  }
  ProgramFolder folder(true);
  Listener board;
  pid_t pid = Spawn({folder.Path + "korvan", "/S127.0.0.1:" + std::to_string(board.Port)},
                    {"DISPLAY=" + x.Name, "SDL_AUDIODRIVER=dummy"}, -1, folder.Path);
  // The program's start-up is not the flood's.
  double cpuBefore = 0;
  double seconds = FloodBoard(board, corpus, 30000, nullptr, [&] { cpuBefore = ThreadsCpuSeconds(pid); });
  const double cpu = ThreadsCpuSeconds(pid) - cpuBefore;
  Stop(pid);
  if (seconds > 0)
    std::printf(
        "  program under Xvfb, window 1600x1000: %.1f MB/s (%.2f s)\n"
        "    a CPU second of the program (%.2f CPU s): %.1f MB, %.2f of the parser alone\n",
        corpus.size() / 1e6 / seconds, seconds, cpu, corpus.size() / 1e6 / cpu, corpus.size() / 1e6 / cpu / parser);
  else
    std::printf("  program under Xvfb: no cursor report came\n");
}

// ---- Zmodem.

bool Have(const char* program) {
  return access((std::string("/usr/bin/") + program).c_str(), X_OK) == 0;
}

void MakeFile(const std::string& path, size_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::mt19937_64 rng(7);
  std::vector<uint64_t> block(1 << 16);
  for (size_t done = 0; done < bytes; done += block.size() * 8) {
    for (auto& v : block) v = rng();
    out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(std::min(bytes - done, block.size() * 8)));
  }
}

// sz on the accepted connection of Board, after answering the RLogin
// handshake; the seconds until sz ends.
double SzBoard(Listener& board, const std::string& file, bool rlogin, int acceptMs) {
  int fd = board.Accept(acceptMs);
  if (fd < 0) return -1;
  if (rlogin) {
    char buf[512];
    int nuls = 0;
    while (nuls < 4) {
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return -1;
      nuls += int(std::count(buf, buf + n, '\0'));
    }
    SendAll(fd, std::string(1, '\0'));
  }
  Clock::time_point start = Clock::now();
  pid_t sz = Spawn({"sz", "-q", "-b", file}, {}, fd);
  int status = 0;
  waitpid(sz, &status, 0);
  const double s = SecondsSince(start);
  close(fd);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

void Zmodem() {
  std::printf("== zmodem: a download from sz\n");
  if (!Have("sz") || !Have("rz")) {
    std::printf("  sz and rz (package lrzsz) are missing\n");
    return;
  }
  const size_t bytes = 64u << 20;
  ProgramFolder folder(false);
  fs::create_directory(folder.Path + "dl");
  fs::create_directory(folder.Path + "rz");
  const std::string file = folder.Path + "payload.bin";
  MakeFile(file, bytes);
  // sz to rz over the same loopback.
  double pair = -1;
  {
    Listener board;
    std::thread boardThread([&] { pair = SzBoard(board, file, false, 10000); });
    int client = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(board.Port);
    connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    pid_t rz = Spawn({"rz", "-q", "-b", "-y"}, {}, client, folder.Path + "rz");
    close(client);
    boardThread.join();
    waitpid(rz, nullptr, 0);
  }
  // sz to the program, headless, over RLogin (an 8-bit clean stream as sz
  // sends it; Telnet would need its IAC bytes doubled).
  double program = -1;
  {
    std::ofstream(folder.Path + "korvan_config.ini", std::ios::app) << "DownloadDir=" << folder.Path << "dl\n";
    Listener board;
    auto app = HeadlessProgram(folder, {"/S127.0.0.1:" + std::to_string(board.Port), "/R"});
    if (!app) return;
    std::atomic<bool> done{false};
    std::thread boardThread([&] {
      program = SzBoard(board, file, true, 20000);
      done = true;
    });
    app->RunUntil([&] { return done.load(); }, 600000);
    boardThread.join();
    app.reset();
    platform::CheckSynchronize(0);
  }
  std::error_code ec;
  const bool received = fs::file_size(folder.Path + "dl/payload.bin", ec) == bytes;
  if (pair > 0) std::printf("  sz to rz:          %.1f MB/s\n", bytes / 1e6 / pair);
  if (program > 0)
    std::printf("  sz to the program: %.1f MB/s, %.2f of sz to rz%s\n", bytes / 1e6 / program,
                pair > 0 ? pair / program : 0.0, received ? "" : " (the file did not arrive whole)");
  else
    std::printf("  sz to the program: the transfer failed\n");
}

// ---- Frame cost.

void FillScreen(TTerminalBuffer& b, int phase, int firstRow, int rows) {
  for (int r = firstRow; r < firstRow + rows; ++r)
    for (int c = 0; c < b.FWidth; ++c)
      b.SetCell(c, r, TCell{uint8_t(33 + (r * 7 + c + phase) % 200), AnsiPalette[(c + phase) % 16],
                            AnsiPalette[(r + phase) % 8]});
}

void Frames() {
  std::printf("== frames: one frame of 80 x 25 cells, drawn and shown in an X window (Xvfb)\n");
  Xvfb x;
  if (!x.Ok()) {
    std::printf("  Xvfb did not start\n");
    return;
  }
  setenv("DISPLAY", x.Name.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 0);
  struct Size {
    int W, H;
  } sizes[] = {{640, 400}, {1600, 1000}, {2560, 1600}};
  const char* kinds[] = {"full change", "one row", "no change"};
  platform::EventLoop::Options o;
  o.Width = 640;
  o.Height = 400;
  // The server may take a moment to accept its first client.
  std::unique_ptr<platform::EventLoop> window;
  for (int i = 0; i < 50 && !(window && window->Ok()); ++i) {
    if (i > 0) usleep(100000);
    window = std::make_unique<platform::EventLoop>(o);
  }
  if (!window->Ok()) {
    std::printf("  no window: %s\n", window->Error().c_str());
    return;
  }
  platform::EventLoop& loop = *window;
  for (const Size& size : sizes) {
    // The window's image is made anew once the window system has resized
    // the window: wait until the image of the new size stays.
    loop.SetClientSize(size.W, size.H);
    bool settled = false;
    for (int i = 0; i < 100 && !settled; ++i) {
      loop.PumpMessages(true);
      const platform::Surface& image = loop.BackBuffer();
      const uint64_t id = image.Id();
      if (image.Width() == size.W && image.Height() == size.H) {
        usleep(30000);
        loop.PumpMessages(true);
        settled = loop.BackBuffer().Id() == id;
      } else {
        usleep(10000);
      }
    }
    TBitmapFont font;
    TFontRenderer renderer(&font);
    renderer.SetScale(4);
    renderer.SetAntiAliasGlyphs(false);
    TTerminalBuffer buffer(80, 25);
    buffer.SetCursorVisible(false);
    // Drawn where the program draws: into the window's own image.
    std::vector<platform::Rect> damage;
    auto frame = [&] {
      platform::Surface& back = loop.BackBuffer();
      renderer.BeginFrame();
      renderer.RenderBuffer(buffer, back, 0, 0, size.W, size.H, true, false, false);
      renderer.EndFrame();
      renderer.TakeTargetDamage(damage);
      loop.Present(back, damage);
    };
    FillScreen(buffer, 0, 0, 25);
    frame();
    loop.PumpMessages(false);
    double cost[3] = {};
    for (int kind = 0; kind < 3; ++kind) {
      const int n = 200;
      const double xBefore = CpuSeconds(x.Pid), before = ThreadCpu();
      for (int i = 1; i <= n; ++i) {
        if (kind == 0) FillScreen(buffer, i, 0, 25);
        if (kind == 1) FillScreen(buffer, i, i % 25, 1);
        frame();
      }
      const double ours = (ThreadCpu() - before) / n * 1000, server = (CpuSeconds(x.Pid) - xBefore) / n * 1000;
      cost[kind] = ours + server;
      std::printf("  %4dx%-4d %-11s %7.3f ms (program %.3f + X server %.3f)\n", size.W, size.H, kinds[kind],
                  ours + server, ours, server);
    }
    std::printf("  %4dx%-4d one row / full: %.3f, no change / full: %.3f\n", size.W, size.H, cost[1] / cost[0],
                cost[2] / cost[0]);
  }
}

// ---- Idle.

void MeasureIdle(const char* what, pid_t pid) {
  usleep(3000000);  // start-up and the splash are over
  const double cpu = ThreadsCpuSeconds(pid);
  const Switches before = ThreadSwitches(pid);
  const Clock::time_point start = Clock::now();
  usleep(20000000);
  const double s = SecondsSince(start);
  const double cpu100 = (ThreadsCpuSeconds(pid) - cpu) / s * 100;
  const Switches after = ThreadSwitches(pid);
  std::printf("  %-34s %.3f %% CPU, %.1f wake-ups a second (all threads)\n", what, cpu100,
              (after.Total() - before.Total()) / s);
  std::printf("  %-34s of them %.1f a second its own sleeps, %.1f preemptions\n", "",
              (after.Voluntary - before.Voluntary) / s, (after.Involuntary - before.Involuntary) / s);
}

void Idle() {
  std::printf("== idle: the built program under Xvfb over 20 s\n");
  Xvfb x;
  if (!x.Ok()) {
    std::printf("  Xvfb did not start\n");
    return;
  }
  {
    ProgramFolder folder(true);
    pid_t pid = Spawn({folder.Path + "korvan"}, {"DISPLAY=" + x.Name, "SDL_AUDIODRIVER=dummy"}, -1, folder.Path);
    MeasureIdle("at the directory (after the splash)", pid);
    Stop(pid);
  }
  {
    ProgramFolder folder(true);
    Listener board;
    pid_t pid = Spawn({folder.Path + "korvan", "/S127.0.0.1:" + std::to_string(board.Port)},
                      {"DISPLAY=" + x.Name, "SDL_AUDIODRIVER=dummy"}, -1, folder.Path);
    int fd = board.Accept(30000);
    std::atomic<bool> stop{false};
    std::thread drain([&] {
      char buf[4096];
      while (!stop && recv(fd, buf, sizeof buf, 0) > 0) {
      }
    });
    SendAll(fd, "\x1b[2J\x1b[HWelcome to a quiet board.\r\nEnter your name: ");
    MeasureIdle("in a call to a quiet board", pid);
    stop = true;
    shutdown(fd, SHUT_RDWR);
    drain.join();
    close(fd);
    Stop(pid);
  }
}

// ---- Start-up.

int64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Child modes: print the monotonic time at the first frame shown.
int StartupChild(bool program) {
  if (!program) {
    SDL_Init(SDL_INIT_VIDEO);
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Without its X server SDL would draw nowhere, and quickly.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return 1;
    SDL_Window* w = SDL_CreateWindow("minimal", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 1600, 1000, 0);
    SDL_Surface* s = w ? SDL_GetWindowSurface(w) : nullptr;
    if (!s) return 1;
    SDL_FillRect(s, nullptr, 0);
    SDL_UpdateWindowSurface(w);
    std::printf("%lld\n", (long long)MonotonicNs());
    SDL_DestroyWindow(w);
    SDL_Quit();
    return 0;
  }
  TAppOptions options;
  options.AppFolder = std::getenv("KORVAN_BENCH_FOLDER");
  TApplication app(options);
  if (!app.Started()) {
    std::fprintf(stderr, "the program did not start: %s\n", app.StartError().c_str());
    return 1;
  }
  app.RunUntil([&] { return app.Window().FramesPresented() > 0; }, 60000);
  std::printf("%lld\n", (long long)MonotonicNs());
  std::fflush(stdout);
  _exit(0);  // the time is taken; tearing down is not start-up
}

void Startup() {
  std::printf("== startup: start to first frame on screen (Xvfb), best of 5\n");
  Xvfb x;
  if (!x.Ok()) {
    std::printf("  Xvfb did not start\n");
    return;
  }
  ProgramFolder folder(false);
  const char* names[2] = {"minimal SDL2 program", "the program (directory config, splash)"};
  double best[2] = {0, 0};
  int failed[2] = {0, 0};
  for (int run = 0; run < 5; ++run)
    for (int program = 0; program < 2; ++program) {
      const std::string errors = folder.Path + "child-errors.txt";
      const std::string cmd = "DISPLAY=" + x.Name + " SDL_AUDIODRIVER=dummy KORVAN_BENCH_FOLDER=" + folder.Path +
                              " " + ExeFolder() + "bench_program_speed " +
                              (program ? "--first-frame-program" : "--first-frame-minimal") + " 2>" + errors;
      const int64_t start = MonotonicNs();
      FILE* p = popen(cmd.c_str(), "r");
      long long at = 0;
      if (!p || std::fscanf(p, "%lld", &at) != 1) at = 0;
      const int status = p ? pclose(p) : -1;
      if (at <= 0 || status != 0) {
        ++failed[program];
        std::ifstream in(errors);
        std::string line, last;
        while (std::getline(in, line))
          if (!line.empty()) last = line;
        std::printf("  %s: no frame shown (%s)\n", names[program], last.empty() ? "no message" : last.c_str());
        continue;
      }
      const double ms = (at - start) / 1e6;
      best[program] = best[program] > 0 ? std::min(best[program], ms) : ms;
    }
  for (int program = 0; program < 2; ++program)
    if (best[program] <= 0) {
      std::printf("  %s: every run failed\n", names[program]);
      return;
    }
  std::printf("  %s, 1600x1000 window: %.1f ms\n", names[0], best[0]);
  std::printf("  %s: %.1f ms, %.2f x the minimal one\n", names[1], best[1], best[1] / best[0]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--first-frame-program") == 0) return StartupChild(true);
  if (argc == 2 && std::strcmp(argv[1], "--first-frame-minimal") == 0) return StartupChild(false);
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<std::string> sections(argv + 1, argv + argc);
  auto wanted = [&](const char* s) { return sections.empty() || std::find(sections.begin(), sections.end(), s) != sections.end(); };
  if (wanted("frames")) Frames();
  if (wanted("startup")) Startup();
  if (wanted("idle")) Idle();
  if (wanted("flood")) Flood();
  if (wanted("zmodem")) Zmodem();
  return 0;
}
