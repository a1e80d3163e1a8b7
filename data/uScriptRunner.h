// A KVScript running against the live call on a thread of its own. The
// runner owns the parsed script and the host it runs against; everything the
// host needs of the call, the screen and the user it asks for through a
// record of callbacks, each run on the interface thread while the script's
// thread waits. Received text reaches the runner through Feed, which strips
// escape sequences into the receive window that WAITFOR searches. Also here:
// the scripts folder beside the program, loading a script file and making a
// name safe to use as a script's file name.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data/uScript.h"
#include "platform/Thread.h"

// Everything a running script reaches outside itself. Each callback runs on
// the interface thread while the script's thread waits for it; an empty one
// gives the answer of a silent, disconnected call.
struct TScriptRunnerEvents {
  std::function<void(const std::string& text)> OnSend;
  // True while the call has so much waiting to leave that a send is to
  // wait until the board has taken some.
  std::function<bool()> OnSendHeldBack;
  std::function<void(const std::string& text)> OnPrint;
  // A screen row, 1-based.
  std::function<std::string(int32_t row)> OnGetLine;
  // Rows, columns and the cursor's column and row, 1-based.
  std::function<void(int32_t& rows, int32_t& cols, int32_t& cursorX, int32_t& cursorY)> OnScreenInfo;
  // 0 offline, 1 connecting, 2 connected.
  std::function<int32_t()> OnGetState;
  // True when a call to the named entry was started.
  std::function<bool(const std::string& name)> OnDial;
  std::function<void()> OnHangup;
  std::function<void()> OnBeep;
  std::function<std::string()> OnGetEntry;
  std::function<std::string()> OnGetUsername;
  std::function<std::string()> OnGetPassword;
  // Opens an input prompt; the answer comes back through TScriptRunner::Answer.
  std::function<void(const std::string& prompt, const std::string& defaultText)> OnAsk;
};

// The escape stripper both the runner and the login recorder put received
// bytes through: ESC "[" sequences end at a byte from 64 to 126; OSC, DCS
// and APC strings at BEL or at ESC and one more byte; ESC and an
// intermediate swallow one more byte; ESC and any other byte swallow it.
// NUL is dropped. True when B is text to keep. The state lives across
// calls, so a sequence split over two chunks is removed too.
struct TEscapeStripper {
  int32_t State = 0;
  bool Keep(uint8_t b);
};

class TScriptRunner;

// The live-call host: every operation of a script, run on the script's
// thread, reaching the call through the runner's callbacks.
class TRunnerHost : public TScriptHost {
 public:
  explicit TRunnerHost(TScriptRunner& runner) : FRunner(runner) {}

  bool IsStopped() override;
  void Send(const std::string& text) override;
  int32_t WaitFor(const std::vector<std::string>& patterns, int32_t timeoutMs) override;
  void ClearReceived() override;
  void Delay(int32_t ms) override;
  void Print(const std::string& text) override;
  std::string GetLine(int32_t row) override;
  int32_t Rows() override;
  int32_t Cols() override;
  int32_t CursorX() override;
  int32_t CursorY() override;
  bool IsConnected() override;
  bool Dial(const std::string& name) override;
  void Hangup() override;
  void Beep() override;
  std::string EntryName() override;
  std::string LastLine() override;
  std::string Username() override;
  std::string Password() override;
  std::string Ask(const std::string& prompt, const std::string& defaultText) override;

 private:
  // The screen's geometry, asked afresh for each of the four operations.
  void ScreenInfo(int32_t& rows, int32_t& cols, int32_t& cursorX, int32_t& cursorY);
  int32_t ConnState();
  // The text an entry callback gives, empty without one.
  std::string TextOf(const std::function<std::string()>& event);

  TScriptRunner& FRunner;
};

class TScriptRunner : public platform::Thread {
 public:
  // The receive window keeps at most this many of the latest bytes.
  static constexpr size_t kWindowSize = 65536;

  // Takes the script, sets its globals "scriptdir" (the folder of
  // ScriptPath, with its trailing "/") and "bbsname", and starts the
  // script's thread at once.
  TScriptRunner(std::unique_ptr<TScript> script, const std::string& bbsName, TScriptRunnerEvents events,
                const std::string& scriptPath);
  // Stops the script and waits for its thread, running queued interface
  // calls meanwhile so a callback the script waits in can finish.
  ~TScriptRunner() override;

  // Interface thread: received bytes.
  void Feed(const uint8_t* data, int32_t count);
  // Interface thread: the answer to the pending input prompt.
  void Answer(const std::string& text);
  // Interface thread: asks the script to stop and returns at once. Every wait
  // of the host ends, and no callback of this runner acts any more, so
  // nothing of a stopped script reaches the call or the next one.
  void Stop();

  // The script's thread has ended (or never started); ResultText and
  // ErrorLine are valid then.
  bool Done() const { return FStartFailed || Finished(); }
  bool StopRequested() const { return FStopRequested.load(); }
  const std::string& ScriptPath() const { return FScriptPath; }
  // Empty when the script ended by itself, "stopped" after a stop, else
  // "error: " and the message.
  const std::string& ResultText() const { return FResultText; }
  // The script line of an error, else 0.
  int32_t ErrorLine() const { return FErrorLine; }

 protected:
  void Execute() override;

 private:
  friend class TRunnerHost;

  // Runs Call on the interface thread and waits for it; a stopped runner's
  // calls do nothing there. False when the call did not run.
  bool CallBack(const std::function<void()>& call);
  // Waits up to Ms (negative: without limit) until the stop, or with Data
  // new received text, or with Answer an answer; true when one of those was
  // set. New text and an answer are taken as they wake the wait.
  bool WaitEvent(int64_t ms, bool data, bool answer);

  TScriptRunnerEvents FEvents;
  std::unique_ptr<TScript> FScript;
  std::unique_ptr<TRunnerHost> FHost;
  std::string FScriptPath;

  // Lock guards the receive window and the three events.
  std::mutex FLock;
  std::condition_variable FWake;
  std::string FWindow;
  bool FDataEvent = false, FStopEvent = false, FAnswerEvent = false;
  std::string FAnswerText;

  std::string FLastLine;   // the script's thread only
  TEscapeStripper FStripper;  // the interface thread only
  std::atomic<bool> FStopRequested{false};
  bool FStartFailed = false;
  std::string FResultText;
  int32_t FErrorLine = 0;
};

// The scripts folder beside the program, with a trailing "/". A folder that
// does not exist yet is made, with the example script in it; an existing
// folder is never touched. Write failures are ignored: the caller reports a
// missing script itself.
std::string ScriptsFolder();

// Name with bytes up to the blank trimmed at both ends, and control bytes
// and the characters " * / : < > ? \ | turned into "_". May be empty.
std::string SanitizeScriptName(const std::string& name);

// Reads the file (lines ended by CR, LF or CR LF) and parses it under the
// file's name without folder and extension. A file that cannot be read or
// is longer than a script's strings may be raises std::runtime_error; a
// syntax error raises EScriptError.
std::unique_ptr<TScript> LoadScriptFile(const std::string& path);
