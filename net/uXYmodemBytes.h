// Control bytes of the X/Ymodem block protocols, and the one path helper
// both sides of the engine use.
#pragma once
#include <cstdint>
#include <string>

namespace xy {
enum : uint8_t {
  kSOH = 0x01,  // 128-byte block follows
  kSTX = 0x02,  // 1024-byte block follows
  kEOT = 0x04,  // end of file
  kACK = 0x06,
  kNAK = 0x15,  // bad block; at the start: checksum wanted
  kCAN = 0x18,
  kSUB = 0x1A,  // padding of the last block
  kC = 'C',     // start: CRC-16 wanted
  kG = 'G',     // start: CRC-16 and streaming wanted
};

// The part of a path after its last "/".
inline std::string NamePart(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace xy
