// The login recorder: received text and typed keys in, script lines out.
#include "data/uScriptRecorder.h"

#include <cstdio>

namespace {

constexpr size_t kOutputKeep = 8192;  // bytes of received text kept
constexpr size_t kPromptTail = 40;
constexpr uint8_t kBel = 7, kBs = 8, kLf = 10, kCr = 13, kDel = 127;

bool IsBlank(char c) { return uint8_t(c) <= ' '; }

std::string TrimBlanks(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

void KeepTail(std::string& s, size_t n) {
  if (s.size() > n) s.erase(0, s.size() - n);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x + 32);
    if (y >= 'A' && y <= 'Z') y = char(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Text for a comment line: control bytes as blanks.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (uint8_t(c) < 32) c = ' ';
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return s;
}

}  // namespace

std::string QuoteScriptString(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    const uint8_t b = uint8_t(ch);
    switch (b) {
      case 8: out += "\\b"; break;
      case 9: out += "\\t"; break;
      case 10: out += "\\n"; break;
      case 13: out += "\\r"; break;
      case 27: out += "\\e"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '^': out += "\\^"; break;
      default:
        if (b < 32 || b == 127) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02X", b);
          out += hex;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

TScriptRecorder::TScriptRecorder() : FStartTime(std::time(nullptr)) {}

void TScriptRecorder::SetEntry(const std::string& name, const std::string& username, const std::string& password) {
  FEntryName = name;
  FUsername = username;
  FPassword = password;
  if (!name.empty() && !FBound) {
    // Text received before the board's entry was known is not its prompt.
    FRecentOutput.clear();
    FOutputSinceKey.clear();
  }
  FBound = true;
}

void TScriptRecorder::Feed(const uint8_t* data, int32_t count) {
  if (count <= 0) return;
  std::string kept;
  for (int32_t i = 0; i < count; ++i)
    if (FStripper.Keep(data[i]) && data[i] != kBel) kept += char(data[i]);
  FRecentOutput += kept;
  FOutputSinceKey += kept;
  KeepTail(FRecentOutput, kOutputKeep);
  KeepTail(FOutputSinceKey, kOutputKeep);
}

bool TScriptRecorder::HasNewOutput() const {
  std::string text;
  for (char c : FOutputSinceKey)
    if (uint8_t(c) >= 32) text += c;
  text = TrimBlanks(text);
  if (text.empty()) return false;
  // Only asterisks or hashes: a board masking a password.
  if (text.find_first_not_of("*#") == std::string::npos) return false;
  // Only the echo of what was typed.
  if (FTyped.size() >= text.size() && EndsWith(FTyped, text)) return false;
  return true;
}

std::string TScriptRecorder::BuildExpect() const {
  std::string work = FRecentOutput;
  for (char& c : work)
    if (c == char(kCr)) c = char(kLf);
  std::string line;
  size_t end = work.size();
  for (;;) {
    const size_t lf = end == 0 ? std::string::npos : work.find_last_of(char(kLf), end - 1);
    const size_t from = lf == std::string::npos ? 0 : lf + 1;
    const std::string candidate = work.substr(from, end - from);
    if (!TrimBlanks(candidate).empty()) {
      line = candidate;
      break;
    }
    if (lf == std::string::npos) return "";
    end = lf;
  }
  std::string printable;
  for (char c : line)
    if (uint8_t(c) >= 32) printable += c;
  line = TrimBlanks(printable);
  if (line.empty()) return "";
  const std::string last = TrimBlanks(FLastTyped);
  if (!last.empty() && last.size() >= line.size() && EndsWith(last, line)) return "";
  const size_t tailFrom = line.size() > kPromptTail ? line.size() - kPromptTail : 0;
  std::string tail;
  const size_t digit = line.find_last_of("0123456789");
  if (digit != std::string::npos && digit >= tailFrom)
    tail = line.substr(digit + 1);
  else
    tail = line.substr(tailFrom);
  tail = TrimBlanks(tail);
  if (tail.size() >= 3) return tail;
  return TrimBlanks(line.substr(tailFrom));
}

void TScriptRecorder::KeysTyped(const std::string& text) {
  for (char ch : text) {
    const uint8_t b = uint8_t(ch);
    if (FAfterCR && (b == kLf || b == 0)) {
      FAfterCR = false;
      continue;
    }
    FAfterCR = false;
    if (FStepOpen && !FTyped.empty() && HasNewOutput()) EmitStep(false);
    if (!FStepOpen) {
      FStepOpen = true;
      FTyped.clear();
      FPrompt = BuildExpect();
    }
    if (b == kCr) {
      EmitStep(true);
      FAfterCR = true;
    } else if (b == kBs || b == kDel) {
      if (!FTyped.empty() && uint8_t(FTyped.back()) >= 32)
        FTyped.pop_back();
      else
        FTyped += ch;
    } else {
      FTyped += ch;
    }
    FOutputSinceKey.clear();
  }
}

void TScriptRecorder::EmitStep(bool withEnter) {
  if (!FStepOpen) return;
  FStepOpen = false;
  if (FTyped.empty() && !withEnter) return;
  FSteps.push_back("");
  if (!FPrompt.empty()) FSteps.push_back("expect " + QuoteScriptString(FPrompt));
  if (withEnter) {
    if (!FPassword.empty() && FTyped == FPassword) {
      FSteps.push_back("sendln password()           // phonebook entry's password");
    } else if (!FUsername.empty() && SameNoCase(FTyped, FUsername)) {
      FSteps.push_back("sendln username()           // phonebook entry's username");
    } else {
      if (Lower(FPrompt).find("pass") != std::string::npos)
        FSteps.push_back(
            "// (typed by hand - put it in the phonebook entry's Password field and use password() instead)");
      FSteps.push_back("sendln " + QuoteScriptString(FTyped));
    }
  } else {
    FSteps.push_back("send " + QuoteScriptString(FTyped));
  }
  ++FStepCount;
  FLastTyped = FTyped;
  FTyped.clear();
  FPrompt.clear();
  if (withEnter)
    FRecentOutput.clear();
  else
    FRecentOutput = FOutputSinceKey;
}

std::string TScriptRecorder::BuildScriptText(const std::string& name) {
  EmitStep(false);
  char stamp[32];
  std::tm local{};
  localtime_r(&FStartTime, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M", &local);
  // The names go into comment lines and string literals so that the file
  // always parses: a line break cannot end a comment early, and a quote or
  // backslash in the name is escaped.
  std::vector<std::string> lines;
  lines.push_back("// " + OneLine(name) + ".kvs - recorded by KORVAN " + stamp);
  if (!FEntryName.empty()) lines.push_back("// Board: " + OneLine(FEntryName));
  lines.push_back("//");
  lines.push_back("// expect \"text\" waits up to 30 seconds for that text, then stops the");
  lines.push_back("// script if it never shows up. sendln sends a line + Enter, send sends");
  lines.push_back("// keys without Enter. Edit freely - see SCRIPTING.txt.");
  lines.push_back("");
  lines.push_back("function expect(p)");
  lines.push_back("  if waitfor(p, 30) = 0 then");
  lines.push_back("    print " + QuoteScriptString(name + ": never saw ") + " + p");
  lines.push_back("    exit");
  lines.push_back("  end");
  lines.push_back("end");
  lines.insert(lines.end(), FSteps.begin(), FSteps.end());
  lines.push_back("");
  lines.push_back("print " + QuoteScriptString(name + " done"));
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}
