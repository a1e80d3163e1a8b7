// The shared CRCs against the published check values of their catalogue
// entries (the CRC of "123456789") and a split computation.
#include <gtest/gtest.h>

#include <cstring>

#include "net/uCrc.h"

namespace {

const uint8_t* Bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

TEST(Crc, CheckValues) {
  const char* check = "123456789";
  EXPECT_EQ(Crc16Block(Bytes(check), 9), 0x31C3);         // CRC-16/XMODEM
  EXPECT_EQ(Crc32Block(Bytes(check), 9), 0xCBF43926u);    // CRC-32 (ISO-HDLC)
  EXPECT_EQ(Crc32Raw(Bytes(check), 9), ~0xCBF43926u);     // same, not inverted
  EXPECT_EQ(Crc16Block(nullptr, 0), 0);
  EXPECT_EQ(Crc32Block(nullptr, 0), 0u);
}

TEST(Crc, ContinuesAcrossSplitBuffers) {
  const char* text = "The quick brown fox jumps over the lazy dog";
  size_t n = std::strlen(text);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{17}, n}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(Crc16Block(Bytes(text) + cut, n - cut, Crc16Block(Bytes(text), cut)),
              Crc16Block(Bytes(text), n));
    EXPECT_EQ(Crc32Raw(Bytes(text) + cut, n - cut, Crc32Raw(Bytes(text), cut)),
              Crc32Raw(Bytes(text), n));
  }
}

}  // namespace
