// SyncTERM APC image commands. Not built yet: no APC string is taken, and the
// JPEG XL library is reported as missing.
#pragma once
#include <functional>
#include <string>

class TFontRenderer;

class TApcImageEngine {
 public:
  explicit TApcImageEngine(TFontRenderer* renderer) {}
  bool HandleApc(const std::string&, std::string& reply) {
    reply.clear();
    return false;
  }
  bool TakeImagePlaced() { return false; }
  void Reset() {}
  std::function<void(int& w, int& h)> OnScreenPixels;
};

// The JPEG XL decoding library could be bound.
bool LoadJxlLibrary();
