// Text fitting of the text-mode screens.
#include "app/uScreenText.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "core/uUtf8Cp437.h"

std::string PadText(const std::string& text, int width) {
  if (width <= 0) return "";
  if (int(text.size()) >= width) return text.substr(0, size_t(width));
  return text + std::string(size_t(width) - text.size(), ' ');
}

std::string EllipsizeText(const std::string& text, int width) {
  if (int(text.size()) <= width) return text;
  if (width <= 1) return width <= 0 ? "" : text.substr(0, size_t(width));
  return text.substr(0, size_t(width - 1)) + char(cp::Overflow);
}

TDynStringArray WrapText(const std::string& text, int width) {
  if (width < 1) width = 1;
  TDynStringArray lines;
  std::string line;
  size_t at = 0;
  while (at < text.size()) {
    size_t blank = text.find(' ', at);
    std::string word = text.substr(at, blank == std::string::npos ? std::string::npos : blank - at);
    at = blank == std::string::npos ? text.size() : blank + 1;
    if (word.empty()) continue;
    while (int(word.size()) > width) {
      if (!line.empty()) {
        lines.push_back(line);
        line.clear();
      }
      lines.push_back(word.substr(0, size_t(width)));
      word.erase(0, size_t(width));
    }
    if (line.empty())
      line = word;
    else if (int(line.size() + 1 + word.size()) <= width)
      line += ' ' + word;
    else {
      lines.push_back(line);
      line = word;
    }
  }
  lines.push_back(line);
  return lines;
}

std::string CenterText(const std::string& text, int width) {
  if (int(text.size()) >= width) return text;
  size_t before = (size_t(width) - text.size()) / 2;
  return std::string(before, ' ') + text + std::string(size_t(width) - text.size() - before, ' ');
}

std::string GroupThousands(int64_t value) {
  std::string digits = std::to_string(value);
  size_t start = digits[0] == '-' ? 1 : 0;
  for (int i = int(digits.size()) - 3; i > int(start); i -= 3) digits.insert(size_t(i), ",");
  return digits;
}

std::string KeepTailText(const std::string& text, int width) {
  if (int(text.size()) <= width) return text;
  if (width <= 3) return width <= 0 ? "" : text.substr(0, size_t(width));
  return "..." + text.substr(text.size() - size_t(width - 3));
}

std::string TrimText(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && uint8_t(text[b]) <= ' ') ++b;
  while (e > b && uint8_t(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

std::string UpperText(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

bool SameTextNoCase(const std::string& a, const std::string& b) { return UpperText(a) == UpperText(b); }

bool TryParseInt(const std::string& text, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i >= text.size()) return false;
  uint64_t v = 0;
  const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    uint64_t d = uint64_t(text[i] - '0');
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  value = negative ? int64_t(0 - v) : int64_t(v);
  return true;
}

std::string ShownFileName(const std::string& name) { return Utf8ToCp437(name); }
