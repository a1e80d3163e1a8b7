// The process-wide debug log: one text file shared by every thread, written
// only while enabled. Lines are "hh:nn:ss.zzz message" with CR LF; the file is
// flushed at most every 200 ms so per-byte logging costs no disk write a line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Decided once by the owner before LogOpen (the RawLog setting, or door mode's
// log switch). Lines sent while off or before the file is open are dropped.
extern bool LogEnabled;

void LogOpen(const std::string& path);
void LogLine(const std::string& msg);
void LogHex(const std::string& tag, const uint8_t* data, size_t len);
inline void LogHexPtr(const std::string& tag, const void* p, size_t len) {
  LogHex(tag, static_cast<const uint8_t*>(p), len);
}
void LogClose();
bool LogIsOpen();
// Writes out lines the 200 ms pacing still holds back. The program's timer
// calls it, so that the last lines before a quiet spell reach the file too.
void LogFlushPending();

// "48 65 0A | He." : two upper-case hex digits and a blank per byte, a bar,
// then the bytes 32..126 as themselves and every other byte as ".".
std::string HexDumpLine(const uint8_t* p, size_t len);
