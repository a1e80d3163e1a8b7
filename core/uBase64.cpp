#include "core/uBase64.h"

namespace {

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool Base64Decode(std::string_view s, std::vector<uint8_t>& bytes) {
  bytes.clear();
  bytes.reserve(s.size() / 4 * 3 + 3);
  uint32_t group = 0;
  int count = 0;
  bool padded = false;
  for (char c : s) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
    if (c == '=') {
      padded = true;
      continue;
    }
    int v = ValueOf(c);
    if (v < 0 || padded) {
      bytes.clear();
      return false;
    }
    group = (group << 6) | uint32_t(v);
    if (++count == 4) {
      bytes.push_back(uint8_t(group >> 16));
      bytes.push_back(uint8_t(group >> 8));
      bytes.push_back(uint8_t(group));
      group = 0;
      count = 0;
    }
  }
  if (count == 1) {
    bytes.clear();
    return false;
  }
  if (count == 2) {
    bytes.push_back(uint8_t(group >> 4));
  } else if (count == 3) {
    bytes.push_back(uint8_t(group >> 10));
    bytes.push_back(uint8_t(group >> 2));
  }
  return true;
}
