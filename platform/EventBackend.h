// What the event loop needs of a window system: wait for native input, turn
// it into events, show a frame, and the window's properties. One SDL2
// implementation and one headless implementation for tests.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLoop.h"

namespace platform {

class EventBackend {
 public:
  virtual ~EventBackend() = default;
  virtual bool Ok() const = 0;
  // Blocks until native input is available, Interrupt is called or the
  // timeout (milliseconds, negative: none) passes.
  virtual void Wait(int timeoutMs) = 0;
  virtual void Interrupt() = 0;  // any thread
  virtual void Poll(std::vector<Event>& out) = 0;
  // Shows Frame; only the Changed rectangles differ from the frame shown
  // before (the backend shows all of it when it holds no earlier frame).
  // A frame over the window's own image is shown without a copy.
  virtual void Present(const Surface& frame, const std::vector<Rect>& changed) = 0;
  // The window's own image (0x00RRGGBB rows without padding) when the window
  // system gives one, else null. Generation changes whenever the image is
  // made anew (after a resize), the old one being gone then.
  virtual uint32_t* WindowImage(int& width, int& height, uint64_t& generation) { return nullptr; }
  // Refreshes a second of the display the window is on; 0 when unknown.
  virtual int RefreshHz() const = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual std::string Title() const = 0;
  virtual void SetClientSize(int width, int height) = 0;
  virtual void ClientSize(int& width, int& height) const = 0;
  virtual void SetCursor(CursorKind kind) = 0;
  virtual void SetFullScreen(bool on) = 0;
  virtual bool FullScreen() const = 0;
  // Maximised or minimised: the window system, not the user's drag, sized it.
  virtual void SetMaximized(bool on) = 0;
  virtual bool Maximized() const = 0;
  // Minimised to the task bar (on), or shown again as it was (off).
  virtual void SetMinimized(bool on) = 0;
  virtual bool Minimized() const = 0;
  virtual void Raise() = 0;
  // The window is made hidden, so that placing and sizing it before it is
  // first seen costs the window system nothing; Show maps it (once).
  virtual void Show() = 0;
  virtual bool HasFocus() const = 0;
  virtual void DesktopSize(int& width, int& height) const = 0;
  // The usable part of the screen (without panels); false when unknown.
  virtual bool WorkArea(Rect& area) const = 0;
  // Frame widths around the client area: left, top, right, bottom.
  virtual void FrameBorders(int& left, int& top, int& right, int& bottom) const = 0;
  // Moves the window so its outer frame's top-left corner is at X, Y.
  virtual void SetOuterPosition(int x, int y) = 0;
  virtual void OuterPosition(int& x, int& y) const = 0;
  virtual void SetClipboardText(const std::string& utf8) = 0;
  virtual std::string ClipboardText() const = 0;
  // Why the last ClipboardText gave nothing though the clipboard held text
  // (too large, its owner did not answer); empty otherwise.
  virtual std::string ClipboardRefusal() const { return ""; }
  virtual void Beep() = 0;
  // Starts the browser on Url; false when it could not be started. Ended is
  // called, on any thread, with the opener's exit status once it has ended.
  virtual bool OpenUrl(const std::string& url, std::function<void(int status)> ended) = 0;
};

std::unique_ptr<EventBackend> MakeHeadlessBackend(const EventLoop::Options& options);
// Null with Error set when SDL cannot open a window.
std::unique_ptr<EventBackend> MakeSdlBackend(const EventLoop::Options& options, std::string& error);

}  // namespace platform
