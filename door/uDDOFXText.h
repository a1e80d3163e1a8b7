// Small text rules of the door command language: numbers read as the
// doors' own tools write them, blanks and control bytes trimmed, ASCII case.
#pragma once
#include <cstdint>
#include <string>

namespace ddofxtext {

inline bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// Bytes up to the blank (controls included) are cut from both ends.
inline std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
  return s.substr(a, b - a);
}

inline std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return s;
}

inline std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return s;
}

// A decimal integer with an optional sign, nothing else; false when the
// text is not one or does not fit in 64 bits.
inline bool ParseInt64(const std::string& s, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return false;
  uint64_t magnitude = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    const unsigned digit = unsigned(s[i] - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
  return true;
}

inline int64_t Int64Def(const std::string& s, int64_t def) {
  int64_t v = 0;
  return ParseInt64(s, v) ? v : def;
}

// A 32-bit integer; Def when the text is not one or does not fit.
inline int IntDef(const std::string& s, int def) {
  int64_t v = 0;
  if (!ParseInt64(s, v) || v < INT32_MIN || v > INT32_MAX) return def;
  return int(v);
}

}  // namespace ddofxtext
