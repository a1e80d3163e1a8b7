// Atari ST IGS graphics commands embedded in VT52 text. The command set is
// not built yet: every byte goes on to the text emulation.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TTerminalBuffer;
class TGistSynth;

class TIGSParser {
 public:
  explicit TIGSParser(TTerminalBuffer* buffer) : FBuffer(buffer) {}

  void FeedByte(uint8_t b, std::vector<uint8_t>& out) { out.push_back(b); }
  bool IsBusy() const { return false; }
  bool ProcessQueued(std::vector<uint8_t>&) { return false; }
  bool TakeDirty() {
    bool d = FDirty;
    FDirty = false;
    return d;
  }
  void Reset() { FDirty = false; FGraphicsShown = false; }
  bool MouseZoneAt(int, int, std::string&) const { return false; }

  std::function<void(const std::string&)> OnReply;
  std::function<void()> OnSoundWake;
  std::function<void(bool is80)> OnColumnModeSwitch;
  bool FGraphicsShown = false;
  int CanvasWidth = 640, CanvasHeight = 400;
  TGistSynth* Synth = nullptr;
  const uint8_t* Glyphs8x16 = nullptr;
  const uint8_t* Glyphs8x8 = nullptr;

 private:
  TTerminalBuffer* FBuffer;
  bool FDirty = false;
};
