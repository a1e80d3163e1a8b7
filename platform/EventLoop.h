// The main window and its event loop, run on the interface thread. Events are
// delivered to one handler in the order the original window procedure saw its
// messages: input first, then a coalesced paint, then due timers. Worker
// threads never call the window: they post events or queue calls (Sync.h),
// which wake the loop.
//
// Two backends: an SDL2 window for the program, and a headless one in which
// tests inject events, step the loop and read back the presented frame.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Surface.h"

namespace platform {

enum class EventKind {
  Paint, KeyDown, KeyUp, Char, MouseMove, MouseDown, MouseUp, MouseDouble, Wheel, Timer,
  DropFiles, Size, Activate, Close, Wake, Quit
};

enum class CursorKind { Arrow, Hand, IBeam, None };

// Mouse buttons are numbered 1 left, 2 right, 4 middle.
struct Event {
  EventKind Kind = EventKind::Wake;
  uint16_t VirtualKey = 0;  // KeyDown, KeyUp
  uint16_t ScanCode = 0;    // set-1 make code
  bool Repeat = false;      // the key was already down
  bool Shift = false, Ctrl = false, Alt = false;
  uint32_t CodePoint = 0;   // Char: the typed Unicode character
  int X = 0, Y = 0;         // mouse position in client pixels; Size: new client size
  int Button = 0;
  int WheelDelta = 0;       // 120 per notch, up is positive
  int TimerId = 0;
  bool Active = false;      // Activate: gained (true) or lost (false) focus
  std::vector<std::string> Paths;  // DropFiles

  static Event Key(uint16_t vk, bool shift = false, bool ctrl = false, bool alt = false);
  static Event Character(uint32_t codePoint);
  static Event Mouse(EventKind kind, int x, int y, int button = 0);
};

class EventBackend;

class EventLoop {
 public:
  struct Options {
    std::string Title = "KORVAN";
    int Width = 640, Height = 400;
    bool Headless = false;
  };
  using Handler = std::function<void(const Event&)>;

  explicit EventLoop(const Options& options);
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // False when the window could not be made; Error() says why.
  bool Ok() const;
  const std::string& Error() const { return FError; }
  bool Headless() const { return FHeadless; }

  // Runs until PostQuit; returns its code.
  int Run(Handler handler);
  // Runs until Done returns true, the loop quits or TimeoutMs pass; returns Done().
  bool RunUntil(Handler handler, const std::function<bool()>& done, uint32_t timeoutMs);
  // Delivers what is pending now without waiting (the long-drain pump). Uses
  // the handler of the running Run/RunUntil.
  void PumpMessages(bool exceptPaint);
  // Delivers a pending paint now (the window's immediate update).
  void UpdateNow();
  void PostQuit(int code = 0);
  bool QuitPosted() const { return FQuit; }

  // Any thread: append an event (tests inject input this way).
  void Post(const Event& event);

  void Invalidate();
  // Set replaces a timer of the same id; a late timer fires once, then keeps
  // its period from that moment.
  void SetTimer(int id, uint32_t periodMs);
  void KillTimer(int id);
  bool HasTimer(int id) const;

  // Window.
  void SetTitle(const std::string& title);
  std::string Title() const;
  void SetClientSize(int width, int height);
  int ClientWidth() const;
  int ClientHeight() const;
  void Present(const Surface& frame);
  const Surface& PresentedFrame() const { return FPresented; }  // last frame shown
  void SetCursor(CursorKind kind);
  void SetFullScreen(bool on);
  bool FullScreen() const;
  // Maximised or minimised (the window system chose the size).
  void SetMaximized(bool on);
  bool Maximized() const;
  void Raise();
  bool HasFocus() const;
  void DesktopSize(int& width, int& height) const;
  bool WorkArea(Rect& area) const;
  void FrameBorders(int& left, int& top, int& right, int& bottom) const;
  void SetOuterPosition(int x, int y);
  void OuterPosition(int& x, int& y) const;
  void SetClipboardText(const std::string& utf8);
  std::string ClipboardText() const;
  void Beep();
  int BeepCount() const { return FBeeps; }
  bool OpenUrl(const std::string& url);

 private:
  struct Timer {
    int Id;
    uint32_t Period;
    uint64_t Due;
  };
  bool Step(bool block, bool exceptPaint);
  void Dispatch(const Event& event);
  int MsUntilNextTimer() const;

  std::unique_ptr<EventBackend> FBackend;
  std::string FError;
  bool FHeadless;
  Handler FHandler;
  bool FQuit = false;
  int FQuitCode = 0;
  bool FInvalid = true;
  std::vector<Timer> FTimers;
  Surface FPresented;
  int FBeeps = 0;
  struct Pending;
  std::shared_ptr<Pending> FPending;  // shared with the wake hook
};

}  // namespace platform
