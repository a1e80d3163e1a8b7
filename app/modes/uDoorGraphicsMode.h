// ZUD-O/D door graphics as a mode of the call: the door command interpreter
// takes its commands out of the stream (unless a minor text emulation runs),
// the door's 640 x 480 picture replaces the text grid while its graphics
// page is up, a 30 ms timer animates it while needed, the door sound follows
// the sound switch, window clicks become clicks on the page, and door
// assets received during a door session are registered and unpacked.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "app/call/uCallMode.h"

class TDDOFXGfx;
class TDDOFXParser;
class TDDOFXSoundOut;

class TDoorGraphicsMode : public TCallMode {
 public:
  explicit TDoorGraphicsMode(TCallModeServices& services);
  ~TDoorGraphicsMode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  void FoldersChanged(const std::string& downloadFolder, const std::string& doorFolder) override;
  void SoundSwitched(bool on) override;

  bool Engaged() const override;
  size_t PlainRun(const uint8_t* data, size_t count) const override;
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  bool DoorSession() const override;
  void FileReceived(const std::string& path, const std::string& folder) override;

  bool ReplacesFrame() const override { return IsDoorGraphicsMode(); }
  void PaintFrame(TModeFrame& frame) override;
  bool HoldsPromptLine(int cols, std::string& text) const override;
  bool Mouse(const TModeMouse& m) override;
  bool Pointer(const TModeMouse& at, platform::CursorKind& kind) const override;
  bool Key(const TKeyEvent& key) override;
  bool Char(uint8_t ch, uint16_t scanCode) override;

  void MainTick() override { UpdateDoorTimer(); }
  void TimerTick() override { DoorAnimationTick(); }

  // The online screen shows the door's picture rather than the text grid.
  bool IsDoorGraphicsMode() const;

 private:
  // The 30 ms animation timer runs while the door has something to animate;
  // the door sound follows the sound setting.
  void UpdateDoorTimer();
  void DoorAnimationTick();
  // A window pixel to a pixel of the door's 640 x 480 picture as the online
  // screen fits it; false outside it.
  bool ClientToDoorPixel(const TModeMouse& at, int& px, int& py) const;
  // A press or release for the door's page; every one is the door's while
  // its picture is shown.
  bool ForwardDoorMouse(const TModeMouse& m, bool down);
  void RegisterZipAssets(const std::string& path);
  // The door's text font: the VGA font file beside the program, else
  // sampled from the main font.
  void LoadDoorFont();
  // A key the door took goes no further; while the door locked the keys,
  // neither does one it did not take.
  bool DoorKey(int hkey, int lkey);

  std::unique_ptr<TDDOFXParser> FParser;
  TDDOFXGfx* FGfx = nullptr;  // the parser's engine
  std::vector<uint32_t> FFrame;  // the composed 640 x 480 door picture
  std::unique_ptr<TDDOFXSoundOut> FSound;
  // The user switched back to the text grid while the door's picture is up.
  bool FDoorTextView = false;
  // The door's picture was shown after the last chunk.
  bool FPictureShown = false;
};

// Unpacks a door-asset archive into Folder; false when any entry could not
// be written whole or names anything but a plain file of that folder.
bool UnzipDoorAssets(const std::string& path, const std::string& folder);
