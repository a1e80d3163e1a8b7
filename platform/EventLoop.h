// The main window and its event loop, run on the interface thread. Events are
// delivered to one handler in the order the original window procedure saw its
// messages: input first, then a coalesced paint, then due timers. Paints are
// paced to the display's refresh: however often the window is invalidated,
// at most one paint runs per refresh period, showing everything that arrived
// in between. Worker threads never call the window: they post events or
// queue calls (Sync.h), which wake the loop.
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
  DropFiles, Size, Activate, Close, Wake, Quit, LinkNotOpened
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
  std::vector<std::string> Paths;  // DropFiles; LinkNotOpened: the link
  int ExitStatus = 0;       // LinkNotOpened: the opener's, 127 when it could not be started

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
  // Runs until Done returns true, the loop quits or TimeoutMs pass; returns
  // Done(). While idle the loop sleeps until the next timer or paint is due,
  // or an event arrives; PollMs, when not 0, also wakes it that often to look
  // at Done (for conditions no event of the loop changes).
  bool RunUntil(Handler handler, const std::function<bool()>& done, uint32_t timeoutMs, uint32_t pollMs = 20);
  // The handler PumpMessages delivers to when the window is pumped by its
  // owner instead of run (a second window beside another loop).
  void SetHandler(Handler handler) { FHandler = std::move(handler); }
  // Delivers what is pending now without waiting (the long-drain pump). Uses
  // the handler of the running Run/RunUntil.
  void PumpMessages(bool exceptPaint);
  // Delivers a pending paint now when a refresh period has passed since the
  // last one; otherwise the loop delivers it when the period ends.
  void UpdateNow();
  // Milliseconds between paints: the display's refresh period.
  uint32_t FrameMs() const { return FFrameMs; }
  void SetFrameMs(uint32_t ms) { FFrameMs = ms; }
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
  // The surface to draw the next frame into, of the window's size. Where the
  // window system gives the window's own image (X11), it is that image, so
  // that presenting it copies nothing; it then lasts until the window is
  // resized, and the next call gives the new one (with a new Id).
  Surface& BackBuffer();
  // Lets go of the back buffer (the window was resized).
  void FreeBackBuffer();
  // Shows Frame. With Changed, only those rectangles differ from the frame
  // presented before; without it, all of it may.
  void Present(const Surface& frame);
  void Present(const Surface& frame, const std::vector<Rect>& changed);
  const Surface& PresentedFrame() const { return FPresented; }  // last frame shown
  // Frames presented, and how many of them changed nothing.
  uint64_t FramesPresented() const { return FFrames; }
  uint64_t EmptyFramesPresented() const { return FEmptyFrames; }
  // Times the loop went to sleep waiting for something to do.
  uint64_t Sleeps() const { return FSleeps; }
  void SetCursor(CursorKind kind);
  CursorKind Cursor() const { return FCursor; }  // the shape set last
  void SetFullScreen(bool on);
  bool FullScreen() const;
  // Maximised or minimised (the window system chose the size).
  void SetMaximized(bool on);
  bool Maximized() const;
  // Minimised to the task bar while another program has the user's attention.
  void SetMinimized(bool on);
  bool Minimized() const;
  void Raise();
  // Shows the window, made hidden so that it is placed before it is seen; it
  // shows by itself when the loop first looks for input or shows a frame.
  void Show();
  bool HasFocus() const;
  void DesktopSize(int& width, int& height) const;
  bool WorkArea(Rect& area) const;
  void FrameBorders(int& left, int& top, int& right, int& bottom) const;
  void SetOuterPosition(int x, int y);
  void OuterPosition(int& x, int& y) const;
  void SetClipboardText(const std::string& utf8);
  std::string ClipboardText() const;
  // Why the last ClipboardText gave nothing though text was there, as a
  // status text; empty otherwise.
  std::string ClipboardRefusal() const;
  void Beep();
  int BeepCount() const { return FBeeps; }
  // Hands Url to the browser. When no browser took it (the opener could not
  // be started, or ended with a failure), a LinkNotOpened event follows.
  void OpenUrl(const std::string& url);
  // Every link handed to the browser, in order (tests read it).
  const std::vector<std::string>& UrlsOpened() const { return FUrlsOpened; }

 private:
  struct Timer {
    int Id;
    uint32_t Period;
    uint64_t Due;
  };
  bool Step(bool block, bool exceptPaint);
  void Dispatch(const Event& event);
  int MsUntilNextTimer() const;
  // Until the next timer or the next paint, whichever is first; -1: none.
  int MsUntilDue() const;
  bool PaintDue(uint64_t now) const { return now >= FLastPaint + FFrameMs; }
  void PaintNow();

  std::unique_ptr<EventBackend> FBackend;
  std::string FError;
  bool FHeadless;
  Handler FHandler;
  bool FQuit = false;
  int FQuitCode = 0;
  bool FInvalid = true;
  uint32_t FFrameMs = 16;
  uint64_t FLastPaint = 0;
  std::vector<Timer> FTimers;
  Surface FBack;
  uint64_t FBackGeneration = 0;  // of the window image FBack is a view of; 0: none
  Surface FPresented;
  uint64_t FFrames = 0, FEmptyFrames = 0, FSleeps = 0;
  int FBeeps = 0;
  CursorKind FCursor = CursorKind::Arrow;
  std::vector<std::string> FUrlsOpened;
  struct Pending;
  std::shared_ptr<Pending> FPending;  // shared with the wake hook
};

}  // namespace platform
