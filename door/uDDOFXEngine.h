// What the door command interpreter asks of the door graphics engine: the
// commands it hands on, the text window that takes plain bytes, hot keys,
// text fields to draw, and the callbacks by which the engine answers. This
// base draws nothing and takes no command: graphics mode never starts, so a
// door sees a client that answers every query but shows no picture. The
// engine proper derives from it.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// A text field as the engine draws it: the parser has already masked and
// upper-cased the text it shows.
struct TDDOFXFieldView {
  bool Defined = false;
  bool Focused = false;
  int X = 0, Y = 0;  // left pixel column and bottom pixel row
  int Width = 0;     // in characters
  uint8_t Bg = 0, FocusBg = 0, Fg = 0;
  std::string FontName;
  std::string Text;
};

class TDDOFXEngine {
 public:
  virtual ~TDDOFXEngine() = default;

  // The door's graphics page is up (between "LIGMODE" and "2GEXIT").
  virtual bool GraphicsMode() const { return false; }
  // True when the command was served; some served commands answer false so
  // that the interpreter's later steps see them as well.
  virtual bool ExecCommand(const std::string& command) { return false; }
  virtual void Reset() {}
  virtual void SetAssetDir(const std::string& folder) {}
  // Timed door events hold still while the door's background is paused.
  virtual bool BackgroundPaused() const { return false; }

  // An open text window takes the plain bytes of the stream.
  virtual bool TextWindowActive() const { return false; }
  virtual void FeedTextWindow(uint8_t b) {}

  // Keys: gadget hot keys (Pass may be cleared) and the raycaster's keys.
  virtual bool HotKey(int hkey, int lkey, bool& pass) { return false; }
  virtual void RayKeyPress(int hkey, int lkey) {}

  // Text fields 1..250.
  virtual void SetField(int n, const TDDOFXFieldView& field) {}
  virtual void DrawField(int n) {}
  virtual void ClearFields() {}

  // Time, mouse and font from the application.
  virtual bool Tick(uint64_t nowMs) { return false; }
  virtual bool MouseDown(int x, int y, int button) { return false; }
  virtual void MouseUp() {}
  virtual bool MouseMove(int x, int y, bool inside) { return false; }
  virtual bool IsDraggingWindow() const { return false; }
  virtual bool HasCustomPointer() const { return false; }
  virtual bool IsOverHotspot(int x, int y) const { return false; }
  virtual void SetTextFont(const uint8_t* glyphs4096) {}

  // Set by the interpreter: a log line (already prefixed "DDOFX gfx: "), a
  // gadget that fired (send text with carets decoded, macro), a text field
  // clicked, a sound bite wanted, a region's result (send text, macro,
  // variable register, value), a reply for the door, a music channel level.
  std::function<void(const std::string&)> OnLog;
  std::function<void(const std::string&, const std::string&)> OnGadget;
  std::function<void(int)> OnFieldClick;
  std::function<void(int, int)> OnPlayBite;
  std::function<void(const std::string&, const std::string&, int, int64_t)> OnResult;
  std::function<void(const std::string&)> OnReply;
  std::function<int(int)> OnMusicLevel;
};
