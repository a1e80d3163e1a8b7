// The two CRCs of the transfer and login protocols, table-driven, with the
// tables built once at compile time. CRC-16/XMODEM (polynomial $1021, start 0,
// MSB first, no final xor) checks Xmodem/Ymodem blocks, Zmodem CRC-16 headers
// and EMSI short packets. CRC-32 uses the reflected polynomial $EDB88320; the
// standard form (start and final xor $FFFFFFFF) checks Zmodem CRC-32 frames,
// the raw form (no final inversion) checks EMSI long packets.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace crc_detail {
constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> t{};
  for (unsigned n = 0; n < 256; ++n) {
    unsigned c = n << 8;
    for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? ((c << 1) ^ 0x1021) : (c << 1);
    t[n] = static_cast<uint16_t>(c);
  }
  return t;
}
constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? ((c >> 1) ^ 0xEDB88320u) : (c >> 1);
    t[n] = c;
  }
  return t;
}
}  // namespace crc_detail

inline constexpr std::array<uint16_t, 256> kCrc16Table = crc_detail::MakeCrc16Table();
inline constexpr std::array<uint32_t, 256> kCrc32Table = crc_detail::MakeCrc32Table();

// One byte into a running CRC-16/XMODEM.
inline uint16_t Crc16Update(uint16_t crc, uint8_t b) {
  return static_cast<uint16_t>(kCrc16Table[((crc >> 8) ^ b) & 0xFF] ^ (crc << 8));
}
// One byte into a running reflected CRC-32 (no inversion here).
inline uint32_t Crc32Update(uint32_t crc, uint8_t b) {
  return (crc >> 8) ^ kCrc32Table[(crc ^ b) & 0xFF];
}

// CRC-16/XMODEM of a buffer; pass a previous result as crc to continue it.
uint16_t Crc16Block(const uint8_t* data, size_t len, uint16_t crc = 0);
// Standard CRC-32 (start $FFFFFFFF, result inverted), as Zmodem sends it.
uint32_t Crc32Block(const uint8_t* data, size_t len);
// Reflected CRC-32 from a given start without final inversion: continue a
// running value, or the EMSI form with the default start.
uint32_t Crc32Raw(const uint8_t* data, size_t len, uint32_t crc = 0xFFFFFFFFu);
