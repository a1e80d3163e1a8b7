// Time sources shared by every subsystem: one monotonic 64-bit millisecond
// tick for all expiry comparisons, and the local wall-clock time for log lines
// and file names.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// Milliseconds since an arbitrary start, never going backwards.
uint64_t TickMs();

struct LocalTime {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
LocalTime NowLocal();

// "yyyy-mm-dd hh:nn:ss", the one date-and-time form the program writes.
std::string FormatDateTime(const LocalTime& t);

}  // namespace platform
