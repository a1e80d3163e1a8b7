#include "data/uDateTime.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr long long kMsPerDay = 86400000;
// Days from 1970-01-01 back to 1899-12-30.
constexpr long long kUnixEpochOffset = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Whole day number and milliseconds into the day, the inverse of the encoding.
void SplitValue(TDateTime value, long long& days, long long& ms) {
  days = static_cast<long long>(std::trunc(value));
  ms = std::llround(std::fabs(value - static_cast<double>(days)) * kMsPerDay);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    days += 1;  // 24:00 is midnight of the next day, whatever the sign
  }
}

TDateTime JoinValue(long long days, long long ms) {
  double time = static_cast<double>(ms) / kMsPerDay;
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

// A small cursor over the text being parsed.
struct Reader {
  std::string_view s;
  size_t p = 0;
  bool AtEnd() const { return p >= s.size(); }
  char Peek() const { return AtEnd() ? '\0' : s[p]; }
  // Up to maxDigits decimal digits; Count gets how many were read.
  bool Number(int& value, size_t& count, size_t maxDigits = 4) {
    size_t start = p;
    value = 0;
    while (!AtEnd() && p - start < maxDigits && s[p] >= '0' && s[p] <= '9') value = value * 10 + (s[p++] - '0');
    count = p - start;
    return count > 0;
  }
  void SkipBlanks() {
    while (!AtEnd() && (s[p] == ' ' || s[p] == '\t')) ++p;
  }
};

bool ParseDate(Reader& r, int& y, int& m, int& d) {
  int a, b, c;
  size_t na, nb, nc;
  if (!r.Number(a, na)) return false;
  char sep = r.Peek();
  if (sep != '-' && sep != '/' && sep != '.') return false;
  ++r.p;
  if (!r.Number(b, nb, 2) || r.Peek() != sep) return false;
  ++r.p;
  if (!r.Number(c, nc)) return false;
  if (na == 4) {  // year first
    if (nc > 2) return false;
    y = a, m = b, d = c;
    return true;
  }
  if (na > 2 || (nc != 4 && nc != 2)) return false;
  y = nc == 2 ? (c < 50 ? 2000 + c : 1900 + c) : c;
  if (sep == '/' && a <= 12) {
    m = a, d = b;  // month first, as US dates are written
  } else {
    d = a, m = b;
  }
  return true;
}

bool ParseTime(Reader& r, int& h, int& n, int& sec, int& ms) {
  size_t count;
  h = n = sec = ms = 0;
  if (!r.Number(h, count, 2) || r.Peek() != ':') return false;
  ++r.p;
  if (!r.Number(n, count, 2) || count != 2) return false;
  if (r.Peek() == ':') {
    ++r.p;
    if (!r.Number(sec, count, 2) || count != 2) return false;
    if (r.Peek() == '.' || r.Peek() == ',') {
      ++r.p;
      double scale = 100;
      size_t start = r.p;
      double fraction = 0;
      while (!r.AtEnd() && r.Peek() >= '0' && r.Peek() <= '9') {
        fraction += (r.s[r.p++] - '0') * scale;
        scale /= 10;
      }
      if (r.p == start) return false;
      ms = static_cast<int>(std::lround(fraction));
      if (ms > 999) ms = 999;
    }
  }
  r.SkipBlanks();
  std::string_view rest = r.s.substr(r.p);
  auto isWord = [&](const char* w) {
    return rest.size() == 2 && (rest[0] | 0x20) == w[0] && (rest[1] | 0x20) == w[1];
  };
  if (isWord("am") || isWord("pm")) {
    if (h < 1 || h > 12) return false;
    if (isWord("am")) h = h == 12 ? 0 : h;
    else h = h == 12 ? 12 : h + 12;
    r.p = r.s.size();
  }
  return true;
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  value = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                              kUnixEpochOffset);
  return true;
}

bool TryEncodeDateTime(const platform::LocalTime& t, TDateTime& value) {
  TDateTime date;
  if (!TryEncodeDate(t.Year, t.Month, t.Day, date)) return false;
  if (t.Hour < 0 || t.Hour > 23 || t.Minute < 0 || t.Minute > 59 || t.Second < 0 || t.Second > 59 ||
      t.Millisecond < 0 || t.Millisecond > 999)
    return false;
  long long ms = ((t.Hour * 60LL + t.Minute) * 60 + t.Second) * 1000 + t.Millisecond;
  value = JoinValue(static_cast<long long>(date), ms);
  return true;
}

platform::LocalTime DecodeDateTime(TDateTime value) {
  long long days, ms;
  SplitValue(value, days, ms);
  platform::LocalTime t{};
  CivilFromDays(days - kUnixEpochOffset, t.Year, t.Month, t.Day);
  t.Millisecond = static_cast<int>(ms % 1000);
  long long secs = ms / 1000;
  t.Second = static_cast<int>(secs % 60);
  t.Minute = static_cast<int>(secs / 60 % 60);
  t.Hour = static_cast<int>(secs / 3600);
  return t;
}

TDateTime NowDateTime() {
  TDateTime value = 0;
  TryEncodeDateTime(platform::NowLocal(), value);
  return value;
}

std::string FormatIsoDateTime(TDateTime value) {
  long long days, ms;
  SplitValue(value, days, ms);
  long long secondsMs = (ms + 500) / 1000 * 1000;  // to the nearest second
  if (secondsMs >= kMsPerDay) {
    secondsMs = 0;
    days += 1;
  }
  return platform::FormatDateTime(DecodeDateTime(JoinValue(days, secondsMs)));
}

// The day itself: the time of day is dropped, not rounded into the next day.
std::string FormatIsoDate(TDateTime value) {
  long long days, ms;
  SplitValue(value, days, ms);
  return platform::FormatDateTime(DecodeDateTime(static_cast<double>(days))).substr(0, 10);
}

bool TryParseDateTime(std::string_view text, TDateTime& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  Reader r{text};
  int y, m, d, h = 0, n = 0, s = 0, ms = 0;
  if (!ParseDate(r, y, m, d)) return false;
  if (!r.AtEnd()) {
    if (r.Peek() == 'T' || r.Peek() == 't') ++r.p;
    else if (r.Peek() != ' ' && r.Peek() != '\t') return false;
    r.SkipBlanks();
    if (!ParseTime(r, h, n, s, ms)) return false;
    r.SkipBlanks();
    if (!r.AtEnd()) return false;
  }
  return TryEncodeDateTime(platform::LocalTime{y, m, d, h, n, s, ms}, value);
}
