// The real program under a virtual X server, for the tests that drive it as
// a user does: a copy of it beside the build's fonts and libraries in a
// scratch folder, its own virtual display, and helpers to start it, type
// into its window and read its debug log.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "data/uDateTime.h"
#include "data/uPhonebook.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/VirtualDisplay.h"

namespace testsupport {

inline bool WaitFor(const std::function<bool()>& done, uint32_t ms) {
  const uint64_t until = platform::TickMs() + ms;
  while (platform::TickMs() < until) {
    if (done()) return true;
    usleep(50000);
  }
  return done();
}

// The log lines that name one of the words, for failure messages.
inline std::string LinesWith(const std::string& log, const std::vector<std::string>& words) {
  std::string out;
  size_t at = 0;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    for (const std::string& w : words)
      if (line.find(w) != std::string::npos) {
        out += line + "\n";
        break;
      }
    at = end + 1;
  }
  return out;
}

struct TBox {
  int W = 0, H = 0, X = 0, Y = 0;
};

// Where the pixels of one colour lie in a screenshot (their bounding box);
// all zero when there are none.
inline TBox BoxOf(const std::string& shot, const std::string& colour) {
  TBox b;
  const std::string geometry = CommandOutput("/usr/bin/convert '" + shot + "' -fuzz 12% -fill black +opaque '" +
                                             colour + "' -trim -format '%w %h %X %Y' info: 2>/dev/null");
  std::sscanf(geometry.c_str(), "%d %d %d %d", &b.W, &b.H, &b.X, &b.Y);
  return b;
}

inline std::string KeyAndCallLines(const std::string& log) { return LinesWith(log, {"Key:", "Telnet", "Paint:"}); }

// One run of the real program: a copy of it beside the build's fonts and
// libraries in a scratch folder (it reads and writes beside its executable),
// its own virtual display, and helpers to type into its window.
class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(system("command -v Xvfb >/dev/null && command -v xdotool >/dev/null"), 0)
        << "Xvfb and xdotool (packages xvfb, xdotool) are needed for this test";
    std::filesystem::copy_file(std::string(KORVAN_BINARY_DIR) + "/korvan", Dir.File("korvan"));
    std::filesystem::create_directory_symlink(std::string(KORVAN_BINARY_DIR) + "/fonts", Dir.File("fonts"));
    std::filesystem::create_directory_symlink(std::string(KORVAN_BINARY_DIR) + "/dll", Dir.File("dll"));
    ASSERT_TRUE(Screen.Ok()) << "Xvfb did not start";
    // Every X tool runs with a time limit: one that waits for something that
    // never comes (a focus change, a clipboard owner's answer) would
    // otherwise hold the whole test until its outer time-out.
    X = "DISPLAY=" + Screen.Name() + " timeout 30 ";
  }

  void WriteConfig(const std::string& extra = "") {
    WriteWholeFile(Dir.File("korvan_config.ini"), "[Config]\nLastPhonebookBackup=" + FormatIsoDate(NowDateTime()) +
                                                      "\nScreenScale=1\n" + extra + "[Debug]\nRawLog=1\n");
  }

  // Starts the program and waits for its window. Env: "NAME=value" set over
  // the test's own environment.
  void Launch(const std::vector<std::string>& args = {}, const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv = {Dir.File("korvan")};
    argv.insert(argv.end(), args.begin(), args.end());
    for (int attempt = 0;; ++attempt) {
      ChildProcess::Options options;
      // No slow unwinding on malloc here: it deadlocks inside the software GL
      // driver's code generator, which registers its frames while holding the
      // unwinder's lock.
      options.Env = {"DISPLAY=" + Screen.Name(), "SDL_AUDIODRIVER=dummy",
                     std::string("LSAN_OPTIONS=suppressions=") + KORVAN_SOURCE_DIR + "/tests/lsan.supp"};
      options.Env.insert(options.Env.end(), env.begin(), env.end());
      options.WorkingDir = Dir.Path();
      options.OutputFile = Dir.File("korvan.out");
      ASSERT_TRUE(Korvan.Start(argv, options));
      WaitFor(
          [&] {
            Window = CommandOutput(X + "xdotool search --name '^KORVAN' 2>/dev/null");
            Window = Window.substr(0, Window.find('\n'));
            return !Window.empty() || !Korvan.Running();
          },
          120000);  // a loaded machine starts the sanitized program slowly
      if (!Window.empty()) return;
      const std::string output = ReadWholeFile(Dir.File("korvan.out"));
      // A virtual display that a client cannot reach is the test machine's
      // fault, not the program's: it is reported, and the program is tried
      // once more, on a new display where the server has ended.
      if (attempt == 0 && !Korvan.Running() && output.find("Window creation failed") != std::string::npos) {
        const bool alive = Screen.Alive();
        std::fprintf(stderr, "display %s could not be opened (its server %s); the server wrote:\n%s\n",
                     Screen.Name().c_str(), alive ? "runs" : "has ended", Screen.ServerOutput().c_str());
        if (!alive) {
          ASSERT_TRUE(Screen.Restart()) << "Xvfb did not start again";
          X = "DISPLAY=" + Screen.Name() + " timeout 30 ";
        }
        continue;
      }
      FAIL() << "no window titled KORVAN appeared\n" << output;
    }
  }

  void TearDown() override {
    if (Korvan.Pid() > 0) {
      EXPECT_TRUE(Korvan.Running()) << ReadWholeFile(Dir.File("korvan.out"));
      Korvan.Stop();
    }
  }

  // The phonebook the program starts with: one board on a loopback port,
  // a raw TCP call (only what the program sends reaches it) unless Telnet.
  TPhonebookEntryPtr WriteBoard(const std::string& name, uint16_t port, bool raw = true) {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = name;
    e->Host = "127.0.0.1";
    e->Port = port;
    e->UseRaw = raw;
    EXPECT_TRUE(book.SaveToFile());
    return e;
  }
  // From the splash (left by a key) to the directory, where Enter calls the
  // selected board.
  void CallSelectedBoard() {
    EXPECT_TRUE(KeyUntilLogged("space", 32)) << KeyAndCallLines(Log());
    EXPECT_TRUE(LogHas("Paint: screen mode 0", 30000)) << KeyAndCallLines(Log());
    Keys("Return");
  }
  // Where the log ends now, and whether Text was written after that.
  size_t LogMark() const { return Log().size(); }
  std::string LogSince(size_t mark) const {
    const std::string log = Log();
    return mark < log.size() ? log.substr(mark) : std::string();
  }
  bool LogHasSince(size_t mark, const std::string& text, uint32_t ms) {
    return WaitFor([&] { return LogSince(mark).find(text) != std::string::npos; }, ms);
  }

  // The window's client area: its position on the screen and its size.
  struct Geometry {
    int X = -1, Y = -1, Width = 0, Height = 0;
    bool operator==(const Geometry&) const = default;
  };
  Geometry WindowGeometry() {
    const std::string text = CommandOutput(X + "xdotool getwindowgeometry " + Window + " 2>/dev/null");
    Geometry g;
    const size_t at = text.find("Position: "), size = text.find("Geometry: ");
    if (at != std::string::npos) std::sscanf(text.c_str() + at + 10, "%d,%d", &g.X, &g.Y);
    if (size != std::string::npos) std::sscanf(text.c_str() + size + 10, "%dx%d", &g.Width, &g.Height);
    return g;
  }
  static std::string Text(const Geometry& g) {
    return std::to_string(g.Width) + "x" + std::to_string(g.Height) + " at " + std::to_string(g.X) + "," +
           std::to_string(g.Y);
  }

  // The middle of a cell of a Cols x Rows grid of 8 x 16 glyphs, fitted into
  // the window with black bars as the program paints it.
  std::string CellPoint(int col, int row, int cols = 80, int rows = 25) {
    const Geometry g = WindowGeometry();
    const double aspect = cols * 8.0 / (rows * 16.0);
    double fitW = g.Width, fitH = g.Height;
    if (double(g.Width) / g.Height > aspect)
      fitW = std::nearbyint(g.Height * aspect);
    else
      fitH = std::nearbyint(g.Width / aspect);
    const double left = (g.Width - fitW) / 2, top = (g.Height - fitH) / 2;
    const int x = int(left + (col + 0.5) * fitW / cols), y = int(top + (row + 0.5) * fitH / rows);
    return " mousemove --window " + Window + " " + std::to_string(x) + " " + std::to_string(y);
  }
  void Mouse(const std::string& actions) { system((X + "xdotool" + actions).c_str()); }

  // A screenshot of the window into Shot, and where the 4:3 door picture
  // lies in it, fitted with black bars as the program paints it.
  struct TDoorPicture {
    int W = 0, H = 0;                       // the window
    int Left = 0, Top = 0, PW = 0, PH = 0;  // the door picture in it
  };
  TDoorPicture DoorShot(const std::string& shot) {
    system((X + "import -window " + Window + " '" + shot + "' 2>/dev/null").c_str());
    TDoorPicture p;
    std::sscanf(CommandOutput("/usr/bin/identify -format '%w %h' '" + shot + "' 2>/dev/null").c_str(), "%d %d", &p.W,
                &p.H);
    p.PW = p.W;
    p.PH = p.H;
    if (p.W * 3 > p.H * 4)
      p.PW = p.H * 4 / 3;
    else
      p.PH = p.W * 3 / 4;
    p.Left = (p.W - p.PW) / 2;
    p.Top = (p.H - p.PH) / 2;
    return p;
  }

  std::string Log() const { return ReadWholeFile(Dir.File("korvan_debug.log")); }
  bool LogHas(const std::string& text, uint32_t ms) {
    return WaitFor([&] { return Log().find(text) != std::string::npos; }, ms);
  }
  void Focus() { system((X + "xdotool windowfocus --sync " + Window + " 2>/dev/null").c_str()); }
  void Keys(const std::string& keys) { system((X + "xdotool key --delay 60 " + keys).c_str()); }
  // A key given until the program logs it: one sent before the window takes
  // input is lost.
  bool KeyUntilLogged(const std::string& key, int vk) {
    const std::string seen = "Key: WM_KEYDOWN vk=" + std::to_string(vk) + " ";
    return WaitFor(
        [&] {
          if (Log().find(seen) != std::string::npos) return true;
          Focus();
          Keys(key);
          return LogHas(seen, 2000);
        },
        30000);
  }
  std::string Title() {
    std::string t = CommandOutput(X + "xdotool getwindowname " + Window + " 2>/dev/null");
    return t.substr(0, t.find('\n'));
  }

  TempDir Dir;
  VirtualDisplay Screen{"1920x1200x24"};
  std::string X;  // the display and time limit for command lines
  ChildProcess Korvan;
  std::string Window;
};

}  // namespace testsupport
