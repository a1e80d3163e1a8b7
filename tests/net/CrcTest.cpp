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

// The eight-bytes-a-step loop against the plain byte-at-a-time definition,
// for every length and start offset around its step size.
TEST(Crc, WideLoopMatchesBytewise) {
  uint8_t data[80];
  for (size_t i = 0; i < sizeof data; ++i) data[i] = uint8_t(i * 37 + 11);
  for (size_t start = 0; start < 8; ++start)
    for (size_t len = 0; start + len <= sizeof data; ++len) {
      uint32_t ref = 0x12345678u;
      for (size_t i = 0; i < len; ++i) ref = Crc32Update(ref, data[start + i]);
      ASSERT_EQ(Crc32Raw(data + start, len, 0x12345678u), ref) << start << " " << len;
    }
}

}  // namespace
