// Sixel pictures (DCS ... q ... ST). Decoding is not built yet: every byte
// goes on to the next stage.
#pragma once
#include <cstdint>
#include <vector>

class TTerminalBuffer;
class TFontRenderer;

class TSixelParser {
 public:
  TSixelParser(TTerminalBuffer* buffer, TFontRenderer* renderer, int cellW, int cellH) {}
  void ProcessByte(uint8_t b, std::vector<uint8_t>& out) { out.push_back(b); }
  // How many leading bytes of Data ProcessByte would hand on unchanged
  // without noting them: all, while decoding is not built.
  size_t PlainRun(const uint8_t*, size_t count) const { return count; }
  bool TakeImagePlaced() {
    bool p = FPlaced;
    FPlaced = false;
    return p;
  }
  void Reset() { FPlaced = false; }
  uint32_t VideoStartDelayMs = 0;

 private:
  bool FPlaced = false;
};
