// The built-in functions of KVScript: the host operations (sending, waiting,
// the screen, the call, the user) and the pure ones on texts, numbers, the
// clock and chance. Each takes its evaluated arguments; a missing optional
// argument reads as the empty string, and extra arguments are ignored.
#include <climits>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "data/uScript.h"
#include "platform/Tick.h"

using TBuiltinFn = TValue (*)(TScript& script, const TValueArray& args);

struct TBuiltin {
  const char* Name;
  int32_t MinArgs;
  TBuiltinFn Fn;
};

namespace {

constexpr char kCR = 13;
constexpr char kLF = 10;

std::string Text(const TValueArray& a, size_t i) { return i < a.size() ? ValueToStr(a[i]) : std::string(); }
int64_t Number(const TValueArray& a, size_t i) { return i < a.size() ? ValueToInt(a[i]) : 0; }

// The arguments as one text, followed by Tail; refused before it is built
// when it would be longer than a script's strings may be.
std::string Joined(const TScript& s, const TValueArray& a, std::string_view tail = {}) {
  uint64_t length = tail.size();
  for (const TValue& v : a) length += v.Kind == vkStr ? v.Str.size() : ValueToStr(v).size();
  CheckTextLength(length, s.BuiltinLine);
  std::string out;
  out.reserve(size_t(length));
  for (const TValue& v : a) out += ValueToStr(v);
  out += tail;
  return out;
}

// Host operations take 32-bit numbers: the low 32 bits of the value.
int32_t Low32(int64_t n) { return int32_t(uint32_t(uint64_t(n))); }

// Seconds to milliseconds for a host wait. A value too large for 32 bits is
// held at the largest wait rather than wrapped into a short wait or into
// "no limit".
int32_t SecondsToMs(int64_t seconds) {
  if (seconds > INT32_MAX / 1000) return INT32_MAX;
  if (seconds < INT32_MIN / 1000) return INT32_MIN;
  return int32_t(seconds * 1000);
}

TValue Int(int64_t n) { return MakeIntValue(n); }
TValue Str(std::string s) { return MakeStrValue(std::move(s)); }

std::tm LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return parts;
}

std::string TrimBytes(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= 32) ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= 32) --b;
  return s.substr(a, b - a);
}

// --- Host operations ----------------------------------------------------------

TValue BiSend(TScript& s, const TValueArray& a) {
  s.Host->Send(Joined(s, a));
  return Int(0);
}

TValue BiSendLn(TScript& s, const TValueArray& a) {
  s.Host->Send(Joined(s, a, std::string_view(&kCR, 1)));
  return Int(0);
}

// The last argument is a timeout in seconds when there are at least two and
// it is an integer value (a string of digits is a pattern).
TValue BiWaitFor(TScript& s, const TValueArray& a) {
  size_t patternCount = a.size();
  int32_t timeoutMs = -1;
  if (a.size() >= 2 && a.back().Kind == vkInt) {
    timeoutMs = SecondsToMs(a.back().Int);
    --patternCount;
  }
  std::vector<std::string> patterns;
  patterns.reserve(patternCount);
  for (size_t i = 0; i < patternCount; ++i) patterns.push_back(ValueToStr(a[i]));
  const int32_t seen = s.Host->WaitFor(patterns, timeoutMs);
  s.CheckStopped();
  return Int(seen);
}

TValue BiClear(TScript& s, const TValueArray&) {
  s.Host->ClearReceived();
  return Int(0);
}

TValue BiDelay(TScript& s, const TValueArray& a) {
  s.Host->Delay(Low32(Number(a, 0)));
  s.CheckStopped();
  return Int(0);
}

TValue BiSleep(TScript& s, const TValueArray& a) {
  s.Host->Delay(SecondsToMs(Number(a, 0)));
  s.CheckStopped();
  return Int(0);
}

TValue BiConnected(TScript& s, const TValueArray&) { return Int(s.Host->IsConnected() ? 1 : 0); }
TValue BiConnect(TScript& s, const TValueArray& a) { return Int(s.Host->Dial(Text(a, 0)) ? 1 : 0); }

TValue BiHangup(TScript& s, const TValueArray&) {
  s.Host->Hangup();
  return Int(0);
}

TValue BiEntry(TScript& s, const TValueArray&) { return Str(s.Host->EntryName()); }

TValue BiPrint(TScript& s, const TValueArray& a) {
  s.Host->Print(Joined(s, a));
  return Int(0);
}

TValue BiBeep(TScript& s, const TValueArray&) {
  s.Host->Beep();
  return Int(0);
}

TValue BiGetLine(TScript& s, const TValueArray& a) { return Str(s.Host->GetLine(Low32(Number(a, 0)))); }

TValue BiScreen(TScript& s, const TValueArray&) {
  const int32_t rows = s.Host->Rows();
  std::string out;
  for (int32_t row = 1; row <= rows; ++row) {
    const std::string line = s.Host->GetLine(row);
    CheckTextLength(uint64_t(out.size()) + (row > 1 ? 1 : 0) + line.size(), s.BuiltinLine);
    if (row > 1) out += kLF;
    out += line;
  }
  return Str(std::move(out));
}

TValue BiRows(TScript& s, const TValueArray&) { return Int(s.Host->Rows()); }
TValue BiCols(TScript& s, const TValueArray&) { return Int(s.Host->Cols()); }
TValue BiCursorX(TScript& s, const TValueArray&) { return Int(s.Host->CursorX()); }
TValue BiCursorY(TScript& s, const TValueArray&) { return Int(s.Host->CursorY()); }
TValue BiLastLine(TScript& s, const TValueArray&) { return Str(s.Host->LastLine()); }
TValue BiUsername(TScript& s, const TValueArray&) { return Str(s.Host->Username()); }
TValue BiPassword(TScript& s, const TValueArray&) { return Str(s.Host->Password()); }

TValue BiInput(TScript& s, const TValueArray& a) {
  std::string answer = s.Host->Ask(a.empty() ? std::string("?") : Text(a, 0), Text(a, 1));
  s.CheckStopped();
  return Str(std::move(answer));
}

// --- Texts --------------------------------------------------------------------

TValue BiLen(TScript&, const TValueArray& a) { return Int(int64_t(Text(a, 0).size())); }

TValue BiUpper(TScript&, const TValueArray& a) {
  std::string t = Text(a, 0);
  for (char& c : t)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return Str(std::move(t));
}

TValue BiLower(TScript&, const TValueArray& a) {
  std::string t = Text(a, 0);
  for (char& c : t)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return Str(std::move(t));
}

TValue BiTrim(TScript&, const TValueArray& a) { return Str(TrimBytes(Text(a, 0))); }

TValue BiLeft(TScript&, const TValueArray& a) {
  std::string t = Text(a, 0);
  const int64_t n = Number(a, 1);
  return Str(n <= 0 ? std::string() : t.substr(0, size_t(n) < t.size() ? size_t(n) : t.size()));
}

TValue BiRight(TScript&, const TValueArray& a) {
  std::string t = Text(a, 0);
  const int64_t n = Number(a, 1);
  if (n <= 0) return Str("");
  if (uint64_t(n) >= t.size()) return Str(std::move(t));
  return Str(t.substr(t.size() - size_t(n)));
}

TValue BiMid(TScript&, const TValueArray& a) {
  std::string t = Text(a, 0);
  int64_t start = Number(a, 1);
  if (start < 1) start = 1;
  if (uint64_t(start - 1) >= t.size()) return Str("");
  if (a.size() < 3) return Str(t.substr(size_t(start - 1)));
  int64_t count = Number(a, 2);
  if (count < 0) count = 0;
  return Str(t.substr(size_t(start - 1), uint64_t(count) < t.size() ? size_t(count) : t.size()));
}

// An empty needle is never found, as an empty pattern never matches.
TValue BiPos(TScript&, const TValueArray& a) {
  const std::string needle = Text(a, 0), text = Text(a, 1);
  if (needle.empty()) return Int(0);
  const size_t at = text.find(needle);
  return Int(at == std::string::npos ? 0 : int64_t(at) + 1);
}

TValue BiContains(TScript&, const TValueArray& a) {
  const std::string text = Text(a, 0), needle = Text(a, 1);
  return Int(!needle.empty() && text.find(needle) != std::string::npos ? 1 : 0);
}

TValue BiReplace(TScript& s, const TValueArray& a) {
  std::string text = Text(a, 0);
  const std::string from = Text(a, 1), to = Text(a, 2);
  if (from.empty()) return Str(std::move(text));
  // The result's length is known from the number of matches before any of
  // it is built.
  uint64_t matches = 0;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + from.size())) ++matches;
  const uint64_t length = uint64_t(text.size()) - matches * from.size() + matches * to.size();
  CheckTextLength(length, s.BuiltinLine);
  std::string out;
  out.reserve(size_t(length));
  size_t pos = 0;
  for (size_t at; (at = text.find(from, pos)) != std::string::npos; pos = at + from.size()) {
    out.append(text, pos, at - pos);
    out += to;
  }
  out.append(text, pos, std::string::npos);
  return Str(std::move(out));
}

TValue BiStr(TScript&, const TValueArray& a) { return Str(Text(a, 0)); }
TValue BiVal(TScript&, const TValueArray& a) { return Int(Number(a, 0)); }
TValue BiChr(TScript&, const TValueArray& a) { return Str(std::string(1, char(uint8_t(Number(a, 0))))); }

TValue BiAsc(TScript&, const TValueArray& a) {
  const std::string t = Text(a, 0);
  return Int(t.empty() ? 0 : static_cast<unsigned char>(t[0]));
}

TValue BiNumber(TScript&, const TValueArray& a) { return Int(ExtractNumber(Text(a, 0))); }

// --- Numbers, clock, chance -----------------------------------------------------

TValue BiRandom(TScript& s, const TValueArray& a) {
  const int32_t n = Low32(Number(a, 0));
  if (n <= 0) return Int(0);
  return Int(std::uniform_int_distribution<int64_t>(0, n - 1)(s.Random));
}

TValue BiTick(TScript&, const TValueArray&) { return Int(int64_t(platform::TickMs())); }

TValue BiTime(TScript&, const TValueArray&) {
  const std::tm t = LocalNow();
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return Str(text);
}

TValue BiDate(TScript&, const TValueArray&) {
  const std::tm t = LocalNow();
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return Str(text);
}

TValue BiDow(TScript&, const TValueArray&) { return Int((LocalNow().tm_wday + 6) % 7 + 1); }
TValue BiHour(TScript&, const TValueArray&) { return Int(LocalNow().tm_hour); }
TValue BiMinute(TScript&, const TValueArray&) { return Int(LocalNow().tm_min); }
TValue BiScriptName(TScript& s, const TValueArray&) { return Str(s.Name); }

constexpr TBuiltin kBuiltins[] = {
    {"send", 0, BiSend},           {"sendln", 0, BiSendLn},         {"waitfor", 1, BiWaitFor},
    {"wait", 1, BiWaitFor},        {"clear", 0, BiClear},           {"delay", 1, BiDelay},
    {"pause", 1, BiDelay},         {"sleep", 1, BiSleep},           {"connected", 0, BiConnected},
    {"connect", 1, BiConnect},     {"dial", 1, BiConnect},          {"hangup", 0, BiHangup},
    {"entry", 0, BiEntry},         {"print", 0, BiPrint},           {"message", 0, BiPrint},
    {"beep", 0, BiBeep},           {"getline", 1, BiGetLine},       {"screen", 0, BiScreen},
    {"rows", 0, BiRows},           {"cols", 0, BiCols},             {"cursorx", 0, BiCursorX},
    {"cursory", 0, BiCursorY},     {"len", 0, BiLen},               {"upper", 0, BiUpper},
    {"lower", 0, BiLower},         {"trim", 0, BiTrim},             {"left", 2, BiLeft},
    {"right", 2, BiRight},         {"mid", 2, BiMid},               {"pos", 2, BiPos},
    {"contains", 2, BiContains},   {"replace", 3, BiReplace},       {"str", 0, BiStr},
    {"val", 0, BiVal},             {"num", 0, BiVal},               {"chr", 0, BiChr},
    {"asc", 0, BiAsc},             {"random", 1, BiRandom},         {"tick", 0, BiTick},
    {"time", 0, BiTime},           {"date", 0, BiDate},             {"dow", 0, BiDow},
    {"hour", 0, BiHour},           {"minute", 0, BiMinute},         {"scriptname", 0, BiScriptName},
    {"lastline", 0, BiLastLine},   {"username", 0, BiUsername},     {"password", 0, BiPassword},
    {"input", 0, BiInput},         {"ask", 0, BiInput},             {"number", 0, BiNumber},
};

const TBuiltin* FindBuiltin(const std::string& name) {
  static const std::unordered_map<std::string, const TBuiltin*> table = [] {
    std::unordered_map<std::string, const TBuiltin*> t;
    for (const TBuiltin& b : kBuiltins) t.emplace(b.Name, &b);
    return t;
  }();
  auto it = table.find(name);
  return it == table.end() ? nullptr : it->second;
}

}  // namespace

int64_t ExtractNumber(std::string_view text) {
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0;
  while (i < text.size() && !isDigit(text[i])) ++i;
  if (i == text.size()) return 0;
  const bool negative = i > 0 && text[i - 1] == '-';
  int64_t value = 0;
  int digits = 0;
  while (i < text.size()) {
    if (isDigit(text[i])) {
      if (digits < 18) {
        value = value * 10 + (text[i] - '0');
        ++digits;
      }
      ++i;
    } else if (text[i] == ',' && i + 1 < text.size() && isDigit(text[i + 1])) {
      ++i;
    } else {
      break;
    }
  }
  return negative ? -value : value;
}

TValue TScript::CallBuiltin(const TNode& call, TValueArray& args) {
  if (!Host) throw EScriptError::CreateAt(call.Line, "no host");
  if (!call.Builtin) {
    call.Builtin = FindBuiltin(call.Name);
    if (!call.Builtin) throw EScriptError::CreateAt(call.Line, "unknown function \"" + call.Name + "\"");
  }
  if (args.size() < size_t(call.Builtin->MinArgs)) {
    char text[160];
    std::snprintf(text, sizeof text, "%s() needs %d argument(s)", call.Name.c_str(), int(call.Builtin->MinArgs));
    throw EScriptError::CreateAt(call.Line, text);
  }
  BuiltinLine = call.Line;
  return call.Builtin->Fn(*this, args);
}
