// Login steps: parsing a phonebook entry's step lines and running them
// against the call.
#include "data/uLoginScript.h"

#include <algorithm>

#include "data/uIniFile.h"
#include "net/uWireTransport.h"
#include "platform/Tick.h"

namespace {

constexpr size_t kReceivedLimit = 4096;
constexpr int32_t kDefaultPauseMs = 500;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

// Backslash escapes: \r, \n, \t, \\ and \" as in C; a backslash before any
// other character gives that character; one at the very end stays.
std::string ResolveEscapes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char e = s[++i];
    out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
  }
  return out;
}

}  // namespace

bool ParseLoginStep(std::string_view line, TLoginScriptLine& step) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() == '#') return false;
  const size_t space = line.find(' ');
  std::string verb(line.substr(0, space));
  for (char& c : verb)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  const std::string_view arg = space == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(space + 1));
  step = TLoginScriptLine{};
  if (verb == "WAITFOR" || verb == "SEND") {
    step.Kind = verb == "WAITFOR" ? lsWaitFor : lsSend;
    std::string_view text = arg;
    const size_t open = arg.find('"');
    if (open != std::string_view::npos) {
      const size_t close = arg.find('"', open + 1);
      if (close != std::string_view::npos) text = arg.substr(open + 1, close - open - 1);
    }
    step.Text = ResolveEscapes(text);
    return true;
  }
  if (verb == "PAUSE") {
    step.Kind = lsPause;
    if (!TryParseInt32(arg, step.Ms)) step.Ms = kDefaultPauseMs;
    return true;
  }
  return false;
}

TLoginScript::TLoginScript(const std::shared_ptr<TWireTransport>& transport) : FTransport(transport) {}

void TLoginScript::LoadFromLines(const std::vector<std::string>& lines) {
  std::vector<TLoginScriptLine> steps;
  TLoginScriptLine step;
  for (const std::string& line : lines)
    if (ParseLoginStep(line, step)) steps.push_back(step);
  FSteps = std::move(steps);
}

void TLoginScript::Start() {
  if (FSteps.empty()) return;
  FPos = 0;
  FRunning = true;
  FReceived.clear();
  RunSteps();
}

// From the current step on: sends go out at once, a WAITFOR waits for Feed,
// a PAUSE waits for the timer.
void TLoginScript::RunSteps() {
  while (FRunning) {
    if (FPos >= int32_t(FSteps.size())) {
      FRunning = false;
      return;
    }
    const TLoginScriptLine& step = FSteps[size_t(FPos)];
    switch (step.Kind) {
      case lsWaitFor:
        return;
      case lsSend:
        if (auto transport = FTransport.lock()) transport->SendString(step.Text);
        ++FPos;
        break;
      default: {
        const uint64_t now = platform::TickMs();
        // A negative length gives a deadline already passed.
        FDeadline = step.Ms >= 0 ? now + uint64_t(step.Ms) : now - std::min(now, uint64_t(-int64_t(step.Ms)));
        ++FPos;
        return;
      }
    }
  }
}

void TLoginScript::Tick() {
  if (!FRunning || FPos <= 0 || FPos > int32_t(FSteps.size())) return;
  if (FSteps[size_t(FPos - 1)].Kind != lsPause || platform::TickMs() < FDeadline) return;
  RunSteps();
}

void TLoginScript::Feed(std::string_view text) {
  if (!FRunning || FPos >= int32_t(FSteps.size()) || FSteps[size_t(FPos)].Kind != lsWaitFor) return;
  FReceived.append(text);
  if (FReceived.size() > kReceivedLimit) FReceived.erase(0, FReceived.size() - kReceivedLimit);
  const std::string& wanted = FSteps[size_t(FPos)].Text;
  if (wanted.empty() || FReceived.find(wanted) == std::string::npos) return;
  FReceived.clear();
  ++FPos;
  RunSteps();
}
