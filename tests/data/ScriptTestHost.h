// A script host for the interpreter's tests: it records what a script asks
// of the outside world and answers from fields the test sets. The live-call
// host is tested with the runner; this one stands in for it here.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "data/uScript.h"

namespace scripttest {

class TRecordingHost : public TScriptHost {
 public:
  struct TWait {
    std::vector<std::string> Patterns;
    int32_t TimeoutMs;
  };

  std::string Output;  // each Print's text and a line feed
  std::vector<std::string> Sent;
  std::vector<TWait> Waits;
  std::vector<int32_t> Delays;
  std::vector<std::pair<std::string, std::string>> Asks;
  std::vector<std::string> Dials;
  std::vector<int32_t> LinesAsked;
  int Hangups = 0, Beeps = 0, Clears = 0;

  int32_t WaitResult = 0;
  bool DialResult = true;
  bool Connected = true;
  std::vector<std::string> Screen = {"first row", "second row", "third row"};
  int32_t Columns = 80, CursorCol = 5, CursorRow = 2;
  std::string Entry = "Test Board", User = "sysop", Pass = "secret", Last = "last line";
  std::string Answer = "typed answer";
  // Called on every stop check; the script stops once it returns true.
  std::function<bool()> StopWhen = [] { return false; };

  bool IsStopped() override { return StopWhen(); }
  void Send(const std::string& text) override { Sent.push_back(text); }
  int32_t WaitFor(const std::vector<std::string>& patterns, int32_t timeoutMs) override {
    Waits.push_back({patterns, timeoutMs});
    return WaitResult;
  }
  void ClearReceived() override { ++Clears; }
  void Delay(int32_t ms) override { Delays.push_back(ms); }
  void Print(const std::string& text) override { Output += text + "\n"; }
  std::string GetLine(int32_t row) override {
    LinesAsked.push_back(row);
    return row >= 1 && row <= int32_t(Screen.size()) ? Screen[size_t(row - 1)] : "";
  }
  int32_t Rows() override { return int32_t(Screen.size()); }
  int32_t Cols() override { return Columns; }
  int32_t CursorX() override { return CursorCol; }
  int32_t CursorY() override { return CursorRow; }
  bool IsConnected() override { return Connected; }
  bool Dial(const std::string& name) override {
    Dials.push_back(name);
    return DialResult;
  }
  void Hangup() override { ++Hangups; }
  void Beep() override { ++Beeps; }
  std::string EntryName() override { return Entry; }
  std::string LastLine() override { return Last; }
  std::string Username() override { return User; }
  std::string Password() override { return Pass; }
  std::string Ask(const std::string& prompt, const std::string& defaultText) override {
    Asks.push_back({prompt, defaultText});
    return Answer;
  }
};

// Parses and runs Source against Host. Returns what the script printed, or,
// when it failed, what it printed and then "error <line>: <message>".
inline std::string RunScript(const std::string& source, TScriptHost* host, const std::string& name = "test") {
  TScript script;
  std::string output;
  try {
    script.Parse(source, name);
    script.Run(host);
  } catch (const EScriptError& e) {
    output = "error " + std::to_string(e.Line) + ": " + e.what();
  }
  if (auto* recording = dynamic_cast<TRecordingHost*>(host)) return recording->Output + output;
  return output;
}

}  // namespace scripttest
