// The script runner: one thread per running script, its live-call host, the
// receive window with its escape stripper, and the scripts folder.
#include "data/uScriptRunner.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/AppFolder.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

namespace {

constexpr uint8_t kNul = 0, kBel = 7, kEsc = 27;

// WAITFOR wakes at least this often to ask whether the call is still up.
constexpr int64_t kWaitSliceMs = 500;
// A send held back looks again this often whether the board has taken some.
constexpr int64_t kSendWaitSliceMs = 50;
// DIAL: how often it looks at the call, how long a call that never began
// may take to show, and how long a call may take to connect at all.
constexpr int64_t kDialPollMs = 200;
constexpr int64_t kDialStartGraceMs = 1500;
constexpr int64_t kDialLimitMs = 90000;

constexpr const char* kScriptFileTooLarge = "script file larger than 16 MiB";

// States of the escape stripper.
enum : int32_t { esText = 0, esEsc = 1, esCsi = 2, esString = 3, esIntermediate = 4, esStringEsc = 5 };

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

const char* const kExampleScript[] = {
    "// example.kvs - KORVAN script example (KVScript).  See SCRIPTING.txt.",
    "//",
    "// To use a script, put its name in a phonebook entry's Script field",
    "// (Alt+E) - e.g. \"example\" - and it runs when that entry connects.",
    "// Or press Alt+O any time to pick and run any script from here",
    "// (door games etc); Alt+O again stops it.",
    "// Scripts are only ever loaded from this scripts folder.",
    "",
    "print \"Example script running on \" + entry()",
    "",
    "// Answer a login prompt if one shows up in the next 30 seconds",
    "n = waitfor(\"login:\", \"name:\", \"handle:\", 30)",
    "if n > 0 then",
    "  sendln \"My Handle\"",
    "  if waitfor(\"password:\", 15) then",
    "    sendln \"GoldFern\"",
    "  end",
    "else",
    "  print \"No login prompt seen\"",
    "end",
};

}  // namespace

// --- Escape stripper ---------------------------------------------------------

bool TEscapeStripper::Keep(uint8_t b) {
  switch (State) {
    case esText:
      if (b == kEsc) {
        State = esEsc;
        return false;
      }
      return b != kNul;
    case esEsc:
      if (b == '[')
        State = esCsi;
      else if (b == ']' || b == 'P' || b == '_')
        State = esString;
      else if (b >= 32 && b <= 47)
        State = esIntermediate;
      else
        State = esText;
      return false;
    case esCsi:
      if (b >= 64 && b <= 126)
        State = esText;
      else if (b == kEsc)
        State = esEsc;
      return false;
    case esString:
      if (b == kBel)
        State = esText;
      else if (b == kEsc)
        State = esStringEsc;
      return false;
    default:  // after an intermediate, or ESC inside a string: one more byte
      State = esText;
      return false;
  }
}

// --- Runner ------------------------------------------------------------------

TScriptRunner::TScriptRunner(std::unique_ptr<TScript> script, const std::string& bbsName, TScriptRunnerEvents events,
                             const std::string& scriptPath)
    : platform::Thread(kTransportStackSize),
      FEvents(std::move(events)),
      FScript(std::move(script)),
      FHost(std::make_unique<TRunnerHost>(*this)),
      FScriptPath(scriptPath) {
  const size_t slash = scriptPath.find_last_of('/');
  FScript->SetGlobal("scriptdir", slash == std::string::npos ? std::string() : scriptPath.substr(0, slash + 1));
  FScript->SetGlobal("bbsname", bbsName);
  if (!Start()) {
    FStartFailed = true;
    FResultText = "error: the script's thread could not be started";
  }
}

TScriptRunner::~TScriptRunner() {
  Stop();
  WaitFor();
}

void TScriptRunner::Execute() {
  FResultText.clear();
  FErrorLine = 0;
  try {
    FScript->Run(FHost.get());
  } catch (const EScriptAbort&) {
    FResultText = "stopped";
  } catch (const EScriptError& e) {
    FErrorLine = e.Line;
    FResultText = std::string("error: ") + e.what();
  } catch (const std::exception& e) {
    FResultText = std::string("error: ") + e.what();
  }
}

void TScriptRunner::Feed(const uint8_t* data, int32_t count) {
  if (count <= 0 || Done()) return;
  std::string kept;
  kept.reserve(size_t(count));
  for (int32_t i = 0; i < count; ++i)
    if (FStripper.Keep(data[i])) kept += char(data[i]);
  if (kept.empty()) return;
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (kept.size() >= kWindowSize) {
      FWindow.assign(kept, kept.size() - kWindowSize, kWindowSize);
    } else {
      const size_t total = FWindow.size() + kept.size();
      if (total > kWindowSize) FWindow.erase(0, total - kWindowSize);
      FWindow += kept;
    }
    FDataEvent = true;
  }
  FWake.notify_all();
}

void TScriptRunner::Answer(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FAnswerText = text;
    FAnswerEvent = true;
  }
  FWake.notify_all();
}

void TScriptRunner::Stop() {
  FStopRequested.store(true);
  {
    std::lock_guard<std::mutex> lock(FLock);
    FStopEvent = true;
  }
  FWake.notify_all();
}

bool TScriptRunner::CallBack(const std::function<void()>& call) {
  bool ran = false;
  platform::Synchronize([&] {
    // Checked on the interface thread, where Stop is called: once a stop
    // was asked for, nothing of this script acts any more.
    if (FStopRequested.load()) return;
    call();
    ran = true;
  });
  return ran;
}

bool TScriptRunner::WaitEvent(int64_t ms, bool data, bool answer) {
  std::unique_lock<std::mutex> lock(FLock);
  auto ready = [&] { return FStopEvent || (data && FDataEvent) || (answer && FAnswerEvent); };
  bool woken;
  if (ms < 0) {
    FWake.wait(lock, ready);
    woken = true;
  } else {
    woken = FWake.wait_for(lock, std::chrono::milliseconds(ms), ready);
  }
  // The auto-reset events are taken by the wait they end.
  if (data && FDataEvent) FDataEvent = false;
  if (answer && FAnswerEvent && !FStopEvent) FAnswerEvent = false;
  return woken;
}

// --- Host --------------------------------------------------------------------

bool TRunnerHost::IsStopped() { return FRunner.FStopRequested.load() || FRunner.Terminated(); }

void TRunnerHost::Send(const std::string& text) {
  if (text.empty()) return;
  // A board that leaves what was sent unread holds the script back here,
  // instead of letting its sends pile up; a stop ends the wait.
  for (;;) {
    bool held = false;
    FRunner.CallBack([&] {
      if (FRunner.FEvents.OnSendHeldBack) held = FRunner.FEvents.OnSendHeldBack();
    });
    if (!held || IsStopped()) break;
    FRunner.WaitEvent(kSendWaitSliceMs, false, false);
  }
  if (IsStopped()) return;
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnSend) FRunner.FEvents.OnSend(text);
  });
}

int32_t TRunnerHost::ConnState() {
  int32_t state = 0;
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnGetState) state = FRunner.FEvents.OnGetState();
  });
  return state;
}

int32_t TRunnerHost::WaitFor(const std::vector<std::string>& patterns, int32_t timeoutMs) {
  std::vector<std::string> lowered;
  lowered.reserve(patterns.size());
  for (const std::string& p : patterns) lowered.push_back(LowerAscii(p));
  const uint64_t start = platform::TickMs();
  for (;;) {
    if (IsStopped()) return 0;
    {
      std::lock_guard<std::mutex> lock(FRunner.FLock);
      const std::string text = LowerAscii(FRunner.FWindow);
      size_t best = std::string::npos, bestLength = 0;
      int32_t bestIndex = 0;
      for (size_t i = 0; i < lowered.size(); ++i) {
        if (lowered[i].empty()) continue;
        const size_t at = text.find(lowered[i]);
        if (at != std::string::npos && (best == std::string::npos || at < best)) {
          best = at;
          bestLength = lowered[i].size();
          bestIndex = int32_t(i + 1);
        }
      }
      if (bestIndex > 0) {
        const std::string& window = FRunner.FWindow;
        const size_t before = window.find_last_of("\r\n", best);
        const size_t from = before == std::string::npos ? 0 : before + 1;
        const size_t after = window.find_first_of("\r\n", best + bestLength);
        FRunner.FLastLine = window.substr(from, (after == std::string::npos ? window.size() : after) - from);
        FRunner.FWindow.erase(0, best + bestLength);
        return bestIndex;
      }
    }
    if (ConnState() == 0) return 0;
    int64_t slice = kWaitSliceMs;
    if (timeoutMs >= 0) {
      const int64_t elapsed = int64_t(platform::TickMs() - start);
      if (elapsed >= timeoutMs) return 0;
      slice = std::min<int64_t>(slice, timeoutMs - elapsed);
    }
    FRunner.WaitEvent(slice, true, false);
  }
}

void TRunnerHost::ClearReceived() {
  std::lock_guard<std::mutex> lock(FRunner.FLock);
  FRunner.FWindow.clear();
}

void TRunnerHost::Delay(int32_t ms) {
  if (ms <= 0) return;
  FRunner.WaitEvent(ms, false, false);
}

void TRunnerHost::Print(const std::string& text) {
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnPrint) FRunner.FEvents.OnPrint(text);
  });
}

std::string TRunnerHost::GetLine(int32_t row) {
  std::string text;
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnGetLine) text = FRunner.FEvents.OnGetLine(row);
  });
  return text;
}

void TRunnerHost::ScreenInfo(int32_t& rows, int32_t& cols, int32_t& cursorX, int32_t& cursorY) {
  rows = 25;
  cols = 80;
  cursorX = 1;
  cursorY = 1;
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnScreenInfo) FRunner.FEvents.OnScreenInfo(rows, cols, cursorX, cursorY);
  });
}

int32_t TRunnerHost::Rows() {
  int32_t rows, cols, x, y;
  ScreenInfo(rows, cols, x, y);
  return rows;
}

int32_t TRunnerHost::Cols() {
  int32_t rows, cols, x, y;
  ScreenInfo(rows, cols, x, y);
  return cols;
}

int32_t TRunnerHost::CursorX() {
  int32_t rows, cols, x, y;
  ScreenInfo(rows, cols, x, y);
  return x;
}

int32_t TRunnerHost::CursorY() {
  int32_t rows, cols, x, y;
  ScreenInfo(rows, cols, x, y);
  return y;
}

bool TRunnerHost::IsConnected() { return ConnState() == 2; }

bool TRunnerHost::Dial(const std::string& name) {
  ClearReceived();
  bool started = false;
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnDial) started = FRunner.FEvents.OnDial(name);
  });
  if (!started) return false;
  const uint64_t start = platform::TickMs();
  for (;;) {
    if (IsStopped()) return false;
    const int32_t state = ConnState();
    if (state == 2) return true;
    const int64_t elapsed = int64_t(platform::TickMs() - start);
    if (state == 0 && elapsed > kDialStartGraceMs) return false;
    if (elapsed > kDialLimitMs) return false;
    FRunner.WaitEvent(kDialPollMs, false, false);
  }
}

void TRunnerHost::Hangup() {
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnHangup) FRunner.FEvents.OnHangup();
  });
}

void TRunnerHost::Beep() {
  FRunner.CallBack([&] {
    if (FRunner.FEvents.OnBeep) FRunner.FEvents.OnBeep();
  });
}

std::string TRunnerHost::TextOf(const std::function<std::string()>& event) {
  std::string text;
  FRunner.CallBack([&] {
    if (event) text = event();
  });
  return text;
}

std::string TRunnerHost::EntryName() { return TextOf(FRunner.FEvents.OnGetEntry); }
std::string TRunnerHost::Username() { return TextOf(FRunner.FEvents.OnGetUsername); }
std::string TRunnerHost::Password() { return TextOf(FRunner.FEvents.OnGetPassword); }

std::string TRunnerHost::LastLine() { return FRunner.FLastLine; }

std::string TRunnerHost::Ask(const std::string& prompt, const std::string& defaultText) {
  if (!FRunner.FEvents.OnAsk) return defaultText;
  {
    std::lock_guard<std::mutex> lock(FRunner.FLock);
    FRunner.FAnswerText = defaultText;
  }
  const bool asked = FRunner.CallBack([&] { FRunner.FEvents.OnAsk(prompt, defaultText); });
  if (!asked) return defaultText;
  FRunner.WaitEvent(-1, false, true);
  std::lock_guard<std::mutex> lock(FRunner.FLock);
  return FRunner.FStopEvent ? defaultText : FRunner.FAnswerText;
}

// --- Scripts folder and files ---------------------------------------------------

std::string ScriptsFolder() {
  const std::string folder = platform::AppFolder() + "scripts/";
  std::error_code ec;
  if (std::filesystem::exists(folder, ec)) return folder;
  if (!std::filesystem::create_directories(folder, ec)) return folder;
  std::ofstream out(folder + "example.kvs", std::ios::binary);
  for (const char* line : kExampleScript) out << line << "\r\n";
  return folder;
}

std::string SanitizeScriptName(const std::string& name) {
  size_t a = 0, b = name.size();
  while (a < b && uint8_t(name[a]) <= ' ') ++a;
  while (b > a && uint8_t(name[b - 1]) <= ' ') --b;
  std::string out = name.substr(a, b - a);
  for (char& c : out)
    if (uint8_t(c) < 32 || std::strchr("\"*/:<>?\\|", c)) c = '_';
  return out;
}

std::unique_ptr<TScript> LoadScriptFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::strerror(errno));
  // A script's text is held to the length of a script's strings; a larger
  // file is refused as soon as its reading passes that length.
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    if (bytes.size() + size_t(in.gcount()) > kMaxTextLength) throw std::runtime_error(kScriptFileTooLarge);
    bytes.append(chunk, size_t(in.gcount()));
  }
  if (in.bad()) throw std::runtime_error("read error");
  // Lines end at CR, LF or CR LF; the parser gets them joined by CR LF.
  std::string source;
  source.reserve(bytes.size() + bytes.size() / 16);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' || bytes[i] == '\n') {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      source += "\r\n";
    } else {
      source += bytes[i];
    }
  }
  std::string name = path.substr(path.find_last_of('/') + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  auto script = std::make_unique<TScript>();
  script->Parse(source, name);
  return script;
}
