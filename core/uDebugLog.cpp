#include "core/uDebugLog.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/Tick.h"

bool LogEnabled = false;

namespace {

std::mutex& LogLock() {
  static std::mutex* lock = new std::mutex;  // lives as long as the process
  return *lock;
}

std::atomic<bool> logIsOpen{false};
FILE* logFile = nullptr;
bool logPendingFlush = false;
uint64_t logLastFlushTick = 0;

// Called inside the lock only. File errors are ignored: an unwritable log
// costs nothing but its lines.
void LogFlush(bool force) {
  if (!logPendingFlush || !logFile) return;
  uint64_t now = platform::TickMs();
  if (!force && now - logLastFlushTick < 200) return;
  std::fflush(logFile);
  logLastFlushTick = now;
  logPendingFlush = false;
}

std::string TimeStamp() {
  platform::LocalTime t = platform::NowLocal();
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second, t.Millisecond);
  return text;
}

void WriteLocked(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), logFile);
  std::fwrite("\r\n", 1, 2, logFile);
  logPendingFlush = true;
  LogFlush(false);
}

}  // namespace

bool LogIsOpen() { return logIsOpen.load(); }

void LogOpen(const std::string& path) {
  if (!LogEnabled) return;
  std::lock_guard<std::mutex> hold(LogLock());
  if (logFile) return;
  logFile = std::fopen(path.c_str(), "ab");
  if (!logFile) return;
  WriteLocked("--- log opened " + platform::FormatDateTime(platform::NowLocal()) + " ---");
  LogFlush(true);
  logIsOpen.store(true);
}

void LogFlushPending() {
  if (!logIsOpen.load()) return;
  std::lock_guard<std::mutex> hold(LogLock());
  LogFlush(true);
}

void LogLine(const std::string& msg) {
  if (!LogEnabled || !logIsOpen.load()) return;
  std::lock_guard<std::mutex> hold(LogLock());
  if (!logFile) return;
  WriteLocked(TimeStamp() + " " + msg);
}

std::string HexDumpLine(const uint8_t* p, size_t len) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(len * 4 + 2);
  for (size_t i = 0; i < len; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
    out += ' ';
  }
  out += "| ";
  for (size_t i = 0; i < len; ++i) out += (p[i] >= 32 && p[i] <= 126) ? char(p[i]) : '.';
  return out;
}

void LogHex(const std::string& tag, const uint8_t* data, size_t len) {
  if (!LogEnabled || !logIsOpen.load() || len == 0) return;
  std::string dump = " (" + std::to_string(len) + " bytes): " + HexDumpLine(data, len);
  std::lock_guard<std::mutex> hold(LogLock());
  if (!logFile) return;
  WriteLocked(TimeStamp() + " " + tag + dump);
}

void LogClose() {
  std::lock_guard<std::mutex> hold(LogLock());
  if (!logFile) return;
  logIsOpen.store(false);
  WriteLocked("--- log closed " + platform::FormatDateTime(platform::NowLocal()) + " ---");
  LogFlush(true);
  std::fclose(logFile);
  logFile = nullptr;
}
