// The door relay's mirror: a small window that shows the sysop what the
// relayed board sends, through its own screen buffer and ANSI parser. It
// starts minimised and never takes the focus from the caller's session; it
// has no input. Closing it changes nothing for the relay.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/EventLoop.h"

class TTerminalBuffer;
class TAnsiParser;
class TBitmapFont;
class TFontRenderer;

class TDoorViewer {
 public:
  // Null with Error set when no window can be made (no display).
  static std::unique_ptr<TDoorViewer> Create(const std::string& title, int cols, int rows, std::string& error);
  ~TDoorViewer();
  TDoorViewer(const TDoorViewer&) = delete;
  TDoorViewer& operator=(const TDoorViewer&) = delete;

  // Bytes from the board, while the window exists.
  void Feed(const uint8_t* data, int count);
  // Takes the window's pending events and repaints when due; false once the
  // user has closed the window.
  bool Pump();

 private:
  TDoorViewer() = default;
  void Handle(const platform::Event& e);
  void Paint();

  std::unique_ptr<platform::EventLoop> FWindow;
  std::unique_ptr<TTerminalBuffer> FBuffer;
  std::unique_ptr<TAnsiParser> FParser;
  std::unique_ptr<TBitmapFont> FFont;
  std::unique_ptr<TFontRenderer> FRenderer;
  bool FClosed = false;
};
