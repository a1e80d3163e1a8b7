// Buffer loops over the shared CRC tables. CRC-32 runs over whole file
// transfers, so it takes eight bytes a step ("slicing by 8": seven more
// tables derived from the first, built once at compile time).
#include "net/uCrc.h"

namespace {

using Crc32Slices = std::array<std::array<uint32_t, 256>, 8>;

constexpr Crc32Slices MakeCrc32Slices() {
  Crc32Slices t{};
  t[0] = kCrc32Table;
  for (size_t k = 1; k < 8; ++k)
    for (size_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ kCrc32Table[t[k - 1][n] & 0xFF];
  return t;
}

constexpr Crc32Slices kSlices = MakeCrc32Slices();

inline uint32_t Load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint16_t Crc16Block(const uint8_t* data, size_t len, uint16_t crc) {
  for (size_t i = 0; i < len; ++i) crc = Crc16Update(crc, data[i]);
  return crc;
}

uint32_t Crc32Raw(const uint8_t* data, size_t len, uint32_t crc) {
  for (; len >= 8; data += 8, len -= 8) {
    const uint32_t one = crc ^ Load32(data);
    const uint32_t two = Load32(data + 4);
    crc = kSlices[7][one & 0xFF] ^ kSlices[6][(one >> 8) & 0xFF] ^ kSlices[5][(one >> 16) & 0xFF] ^
          kSlices[4][one >> 24] ^ kSlices[3][two & 0xFF] ^ kSlices[2][(two >> 8) & 0xFF] ^
          kSlices[1][(two >> 16) & 0xFF] ^ kSlices[0][two >> 24];
  }
  for (size_t i = 0; i < len; ++i) crc = Crc32Update(crc, data[i]);
  return crc;
}

uint32_t Crc32Block(const uint8_t* data, size_t len) { return ~Crc32Raw(data, len); }
