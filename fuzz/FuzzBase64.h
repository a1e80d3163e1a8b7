// Base64 text of arbitrary bytes, for fuzz targets that wrap their input in
// the strings boards send pictures in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

inline std::string FuzzBase64(const uint8_t* data, size_t size) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    uint32_t v = uint32_t(data[i]) << 16;
    if (i + 1 < size) v |= uint32_t(data[i + 1]) << 8;
    if (i + 2 < size) v |= data[i + 2];
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += i + 1 < size ? kAlphabet[v >> 6 & 63] : '=';
    out += i + 2 < size ? kAlphabet[v & 63] : '=';
  }
  return out;
}
