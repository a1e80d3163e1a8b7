// ZUD-O/D door graphics: the in-band command interpreter, its graphics
// engine and its audio engine. Not built yet: no byte is taken and graphics
// mode never starts.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TAnsiParser;
class TWireTransport;

class TDDOFXAudio {
 public:
  bool FEnabled = true;
  void StopSamples() {}
};

class TDDOFXGfx {
 public:
  void Reset() {}
  bool Tick(uint64_t) { return false; }
  bool MouseDown(int, int, int) { return false; }
  void MouseUp() {}
  bool MouseMove(int, int, bool) { return false; }
  bool IsDraggingWindow() const { return false; }
  bool HasCustomPointer() const { return false; }
  bool IsOverHotspot(int, int) const { return false; }
  void SetTextFont(const uint8_t*) {}
  bool GraphicsMode = false;
  bool SoundEnabled = true;
};

class TDDOFXParser {
 public:
  TDDOFXParser(TAnsiParser* parser, bool flag) {}
  bool FilterByte(uint8_t) { return false; }
  // How many leading bytes of Data FilterByte would pass without taking or
  // noting them: all, while the interpreter is not built.
  size_t PlainRun(const uint8_t*, size_t count) const { return count; }
  void Reset() {}
  void SetAssetDir(const std::string& folder) { FAssetDir = folder; }
  void StopAudio() {}
  void AddAssetFromFile(const std::string&) {}
  void AddAssetFromZipEntry(const std::string&, uint16_t, uint16_t, uint32_t, int) {}
  void TickEvents(uint64_t) {}
  bool HasActiveEvents() const { return false; }
  bool IsTextFieldActive() const { return false; }
  bool Active() const { return false; }

  std::shared_ptr<TWireTransport> Sender;
  TDDOFXGfx Gfx;
  TDDOFXAudio Audio;
  bool KeysLocked = false;
  bool CommandSeen = false;
  std::function<void()> OnSoundWake;
  std::function<void()> OnToggleMute;

 private:
  std::string FAssetDir;
};
