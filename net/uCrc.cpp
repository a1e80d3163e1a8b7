// Buffer loops over the shared CRC tables.
#include "net/uCrc.h"

uint16_t Crc16Block(const uint8_t* data, size_t len, uint16_t crc) {
  for (size_t i = 0; i < len; ++i) crc = Crc16Update(crc, data[i]);
  return crc;
}

uint32_t Crc32Raw(const uint8_t* data, size_t len, uint32_t crc) {
  for (size_t i = 0; i < len; ++i) crc = Crc32Update(crc, data[i]);
  return crc;
}

uint32_t Crc32Block(const uint8_t* data, size_t len) { return ~Crc32Raw(data, len); }
