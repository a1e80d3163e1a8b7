// The door's first-person maze view. The graphics engine owns one, hands it
// every command that begins with "5", ticks it and passes it keys; it reaches
// the engine only through the five callbacks below. Until its map, textures
// and view are built it stays hidden and takes no command.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class TDDOFXRay {
 public:
  // What the raycaster asks of the engine: a sprite's index by name (-1 when
  // unknown), a sprite's size and pixels by index, a named asset (from the
  // door's "M" pack or a loose file), a reply for the door, a gadget to fire.
  struct TCallbacks {
    std::function<int(const std::string&)> SpriteIndexByName;
    std::function<bool(int, int&, int&, const uint8_t*&)> SpritePixels;
    std::function<bool(const std::string&, bool, std::string&)> ReadAsset;
    std::function<void(const std::string&)> ForwardReply;
    std::function<void(const std::string&, const std::string&)> FireGadget;
  };

  explicit TDDOFXRay(TCallbacks callbacks) : FCallbacks(std::move(callbacks)) { Reset(); }

  void Reset();
  // Page0 and Page3 are the engine's selected 640 x 480 pages (a graphics
  // window's canvases while one is targeted). True when the command was one
  // of the raycaster's.
  bool ExecCommand(const std::string& command, uint8_t* page0, uint8_t* page3);
  // True when the picture changed.
  bool Tick(uint8_t* page0, uint8_t* page3, uint64_t nowMs);
  // The view is cast again at the next tick.
  void MarkRedraw() { NeedsRedraw = true; }
  void KeyPress(int hkey, int lkey);

  bool Visible = false;
  bool NeedsRedraw = false;

 private:
  TCallbacks FCallbacks;
};
