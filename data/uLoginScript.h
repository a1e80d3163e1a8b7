// Login steps of a phonebook entry: wait for a text from the board, send a
// text, pause. They run against the live call on the interface thread, with
// no thread of their own: started when the call connects, fed every received
// chunk and ticked by the application's 500 ms timer. Separate from KVScript.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TWireTransport;

enum TLoginStepKind : int32_t { lsWaitFor = 0, lsSend = 1, lsPause = 2 };

struct TLoginScriptLine {
  int32_t Kind = lsWaitFor;
  std::string Text;  // what to wait for or send, escapes resolved
  int32_t Ms = 0;    // pause length (PAUSE only)
};

// One line as a step; false for a blank line, a "#" comment or an unknown
// verb. The verb ends at the first space only; the text of WAITFOR and SEND
// is what stands between the first two double quotes of the argument (a
// backslash does not protect a quote there), or the whole argument.
bool ParseLoginStep(std::string_view line, TLoginScriptLine& step);

class TLoginScript {
 public:
  // The transport is not owned: a call that has ended sends nothing.
  explicit TLoginScript(const std::shared_ptr<TWireTransport>& transport);

  // Replaces the steps by the valid steps of the lines, in order.
  void LoadFromLines(const std::vector<std::string>& lines);
  // Runs the steps from the first; without steps nothing ever runs.
  void Start();
  // The 500 ms timer: ends a pause whose time has come.
  void Tick();
  // Every received chunk, as 8-bit text, control sequences included.
  void Feed(std::string_view text);

  bool Running() const { return FRunning; }
  const std::vector<TLoginScriptLine>& Steps() const { return FSteps; }

 private:
  void RunSteps();

  std::vector<TLoginScriptLine> FSteps;
  int32_t FPos = 0;
  bool FRunning = false;
  uint64_t FDeadline = 0;
  std::string FReceived;  // what arrived while a WAITFOR is current, its last 4096 bytes
  std::weak_ptr<TWireTransport> FTransport;
};
