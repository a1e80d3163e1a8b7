// The Overkill Ansiterm client emulation. Not built yet: no byte is taken.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class TAnsiParser;
class TWireTransport;

class TOOIIParser {
 public:
  TOOIIParser(TAnsiParser* parser, bool flag) {}
  bool FilterByte(uint8_t) { return false; }
  // How many leading bytes of Data FilterByte would pass without taking or
  // noting them: all, while the client is not built.
  size_t PlainRun(const uint8_t*, size_t count) const { return count; }
  std::shared_ptr<TWireTransport> Sender;
  int FOOIIMode = 0;
  std::string AssetDir;
};
