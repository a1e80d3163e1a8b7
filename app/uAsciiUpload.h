// A paced text upload: a file's lines typed into the board one per line
// delay, for boards whose input buffers lose characters when a whole file
// arrives at once. It holds the lines and the start time; the owner ticks
// it and sends what it hands back.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TAsciiUpload {
 public:
  enum class TStart { Started, Unreadable, Empty };

  // Reads the whole file; CR LF, LF or a lone CR ends a line, and the line
  // ends are not part of the lines. Running only when Started.
  TStart Start(const std::string& path, uint64_t now);
  bool Running() const { return FRunning; }
  int32_t LineCount() const { return int32_t(FLines.size()); }

  // Sends (through Send, each line followed by CR LF) the lines due Now:
  // line k once (k + 1) x DelayMs have passed since the start, every line
  // at once for a delay of 0 or less. True when the last line has gone; the
  // upload is then over.
  bool Tick(uint64_t now, int32_t delayMs, const std::function<void(const std::string&)>& send);
  // Ends a running upload; false when none ran.
  bool Cancel();

 private:
  bool FRunning = false;
  std::vector<std::string> FLines;
  size_t FNext = 0;
  uint64_t FStart = 0;
};
