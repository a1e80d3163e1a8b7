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
  std::shared_ptr<TWireTransport> Sender;
  int FOOIIMode = 0;
  std::string AssetDir;
};
