// The real window, on SDL2. Native events are translated into the loop's
// event record: PC virtual-key codes with set-1 scan codes, Unicode typed
// characters, client-pixel mouse positions, and one drop event per drop.
// Frames go to the window's own surface, only the rectangles that changed
// (on X11 a shared-memory image per rectangle): a 2D picture needs no 3D
// pipeline, and a software rasteriser would spend a full-window composite on
// every frame. Where the window has no surface, an accelerated renderer
// takes a streaming texture updated only where it changed.
#include <SDL2/SDL.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "platform/Audio.h"
#include "platform/EventBackend.h"
#include "platform/Keys.h"
#include "platform/OpenUrl.h"
#include "platform/Tick.h"
#include "platform/X11Selection.h"

// The X11 connection the window's loop sleeps on. Xlib's macros would clash
// with this program's names, so it comes last and its None goes.
#include <SDL2/SDL_syswm.h>
#undef None

namespace platform {
namespace {

// With NumLock off the keypad's digit keys are the navigation keys printed
// under the digits, and its point is Del, as on the PC keyboard.
uint16_t KeypadNavigationKey(SDL_Keycode key) {
  switch (key) {
    case SDLK_KP_0: return vk::Insert;
    case SDLK_KP_1: return vk::End;
    case SDLK_KP_2: return vk::Down;
    case SDLK_KP_3: return vk::Next;
    case SDLK_KP_4: return vk::Left;
    case SDLK_KP_5: return vk::Clear;
    case SDLK_KP_6: return vk::Right;
    case SDLK_KP_7: return vk::Home;
    case SDLK_KP_8: return vk::Up;
    case SDLK_KP_9: return vk::Prior;
    case SDLK_KP_PERIOD: return vk::Delete;
    default: return 0;
  }
}

uint16_t VirtualKeyOf(SDL_Keycode key, uint16_t mod) {
  if (!(mod & KMOD_NUM))
    if (uint16_t nav = KeypadNavigationKey(key)) return nav;
  if (key >= SDLK_a && key <= SDLK_z) return uint16_t(vk::KeyA + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return uint16_t(vk::Key0 + (key - SDLK_0));
  if (key >= SDLK_F1 && key <= SDLK_F12) return uint16_t(vk::F1 + (key - SDLK_F1));
  if (key >= SDLK_F13 && key <= SDLK_F24) return uint16_t(vk::F1 + 12 + (key - SDLK_F13));
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return uint16_t(vk::Numpad0 + 1 + (key - SDLK_KP_1));
  switch (key) {
    case SDLK_BACKSPACE: return vk::Back;
    case SDLK_TAB: return vk::Tab;
    case SDLK_RETURN: case SDLK_KP_ENTER: return vk::Return;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return vk::Shift;
    case SDLK_LCTRL: case SDLK_RCTRL: return vk::Control;
    case SDLK_LALT: case SDLK_RALT: return vk::Menu;
    case SDLK_PAUSE: return vk::Pause;
    case SDLK_CAPSLOCK: return vk::Capital;
    case SDLK_ESCAPE: return vk::Escape;
    case SDLK_SPACE: return vk::Space;
    case SDLK_PAGEUP: return vk::Prior;
    case SDLK_PAGEDOWN: return vk::Next;
    case SDLK_END: return vk::End;
    case SDLK_HOME: return vk::Home;
    case SDLK_LEFT: return vk::Left;
    case SDLK_UP: return vk::Up;
    case SDLK_RIGHT: return vk::Right;
    case SDLK_DOWN: return vk::Down;
    case SDLK_PRINTSCREEN: return vk::Snapshot;
    case SDLK_INSERT: return vk::Insert;
    case SDLK_DELETE: return vk::Delete;
    case SDLK_LGUI: return vk::LWin;
    case SDLK_RGUI: return vk::RWin;
    case SDLK_APPLICATION: return vk::Apps;
    case SDLK_KP_0: return vk::Numpad0;
    case SDLK_KP_MULTIPLY: return vk::Multiply;
    case SDLK_KP_PLUS: return vk::Add;
    case SDLK_KP_MINUS: return vk::Subtract;
    case SDLK_KP_PERIOD: return vk::Decimal;
    case SDLK_KP_DIVIDE: return vk::Divide;
    case SDLK_NUMLOCKCLEAR: return vk::NumLock;
    case SDLK_SCROLLLOCK: return vk::Scroll;
    case SDLK_SEMICOLON: return vk::Oem1;
    case SDLK_EQUALS: return vk::OemPlus;
    case SDLK_COMMA: return vk::OemComma;
    case SDLK_MINUS: return vk::OemMinus;
    case SDLK_PERIOD: return vk::OemPeriod;
    case SDLK_SLASH: return vk::Oem2;
    case SDLK_BACKQUOTE: return vk::Oem3;
    case SDLK_LEFTBRACKET: return vk::Oem4;
    case SDLK_BACKSLASH: return vk::Oem5;
    case SDLK_RIGHTBRACKET: return vk::Oem6;
    case SDLK_QUOTE: return vk::Oem7;
    default: return 0;
  }
}

// Splits UTF-8 text into code points; malformed bytes are skipped.
std::vector<uint32_t> CodePoints(const char* text) {
  std::vector<uint32_t> out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    uint32_t cp = *p;
    int extra = cp < 0x80 ? 0 : (cp >> 5) == 6 ? 1 : (cp >> 4) == 14 ? 2 : (cp >> 3) == 30 ? 3 : -1;
    ++p;
    if (extra < 0) continue;
    if (extra > 0) cp &= (0x3F >> extra);
    bool ok = true;
    for (int i = 0; i < extra; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (*p & 0x3F);
    }
    if (ok) out.push_back(cp);
  }
  return out;
}

class SdlBackend : public EventBackend {
 public:
  SdlBackend(const EventLoop::Options& options, std::string& error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      error = std::string("cannot start the video system: ") + SDL_GetError();
      return;
    }
    FVideoStarted = true;
    // Without a display SDL falls back to drivers that draw nowhere; the
    // program would then run unseen. They serve only when asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* wanted = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver && (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0) &&
        !(wanted && SDL_strcasestr(wanted, driver))) {
      error = "no display to show it on (set DISPLAY or WAYLAND_DISPLAY)";
      return;
    }
    FWakeEvent = SDL_RegisterEvents(1);
    // The window is made hidden and shown (Show) once its drawing road is
    // settled and the program has placed it: first a plain window with its
    // own surface; where a window has no surface, a window with the flags of
    // the renderer that will draw into it. A window made without those flags
    // is destroyed and made again by SDL when the renderer starts, which
    // other programs would see as the window vanishing; a hidden one was
    // never seen.
    // The window's own surface is the display system's 2D image (on X11 a
    // shared-memory image), not SDL's substitute drawn through a 3D renderer
    // (which on a software rasteriser composites the whole window each
    // frame, and would make the window again). The environment may still
    // ask for the substitute.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    FWindow = SDL_CreateWindow(options.Title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               options.Width, options.Height, SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (FWindow && !SDL_GetWindowSurface(FWindow)) {
      SDL_DestroyWindow(FWindow);
      int renderIndex = -1;
      uint32_t flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN | RendererWindowFlags(renderIndex);
      FWindow = SDL_CreateWindow(options.Title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                 options.Width, options.Height, flags);
      if (FWindow) FRenderer = SDL_CreateRenderer(FWindow, renderIndex, 0);
      if (FWindow && !FRenderer) {
        error = std::string("cannot draw into the window: ") + SDL_GetError();
        return;
      }
    }
    if (!FWindow) {
      error = std::string("cannot create the window: ") + SDL_GetError();
      return;
    }
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    SDL_StartTextInput();
    WatchX11Connection();
  }
  ~SdlBackend() override {
    for (SDL_Cursor* c : FCursors)
      if (c) SDL_FreeCursor(c);
    if (FTexture) SDL_DestroyTexture(FTexture);
    if (FRenderer) SDL_DestroyRenderer(FRenderer);
    if (FWindow) SDL_DestroyWindow(FWindow);
    if (FWakeFd >= 0) close(FWakeFd);
    if (FVideoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
  }

  bool Ok() const override { return FWindow && (FRenderer || SDL_GetWindowSurface(FWindow)); }

  // On X11 the loop sleeps on the display connection and a wake-up counter
  // of its own: a timer running out then costs one poll, where SDL's own
  // wait would ask the display for events three times around it. Elsewhere
  // SDL waits.
  void Wait(int timeoutMs) override {
    if (!FDisplay) {
      if (timeoutMs < 0)
        SDL_WaitEvent(nullptr);
      else
        SDL_WaitEventTimeout(nullptr, timeoutMs);
      return;
    }
    // Requests of the round just run go out first; events already read off
    // the connection, or queued inside SDL, end the wait at once.
    if (XPending(FDisplay) > 0 || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return;
    pollfd fds[2] = {{FDisplayFd, POLLIN, 0}, {FWakeFd, POLLIN, 0}};
    const int n = poll(fds, 2, timeoutMs < 0 ? -1 : timeoutMs);
    // Only a wait that saw nothing from the display may skip the next look.
    FDisplayQuiet = n >= 0 && fds[0].revents == 0;
  }
  void Interrupt() override {
    if (FWakeFd >= 0) {
      const uint64_t one = 1;
      if (write(FWakeFd, &one, sizeof one) < 0) {
        // The counter is full: the loop is woken already.
      }
      return;
    }
    SDL_Event e{};
    e.type = FWakeEvent;
    SDL_PushEvent(&e);
  }

  void Poll(std::vector<Event>& out) override {
    Show();
    if (FWakeFd >= 0) {
      uint64_t count = 0;
      if (read(FWakeFd, &count, sizeof count) < 0) {
        // Nothing was posted since the last look.
      }
    }
    if (PumpDue()) {
      SDL_PumpEvents();
      FLastPump = TickMs();
    }
    FDisplayQuiet = false;
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) Translate(e, out);
  }

  void Present(const Surface& frame, const std::vector<Rect>& changed) override {
    Show();
    if (frame.Empty()) return;
    if (FRenderer) {
      PresentThroughTexture(frame, changed);
      return;
    }
    SDL_Surface* window = SDL_GetWindowSurface(FWindow);
    if (!window) return;
    // A new window surface (after a resize) or an exposed window holds none
    // of the earlier frames: it takes the whole frame.
    const bool whole = FExposed || window != FShownSurface || window->w != FShownW || window->h != FShownH;
    FExposed = false;
    FShownSurface = window;
    FShownW = window->w;
    FShownH = window->h;
    FRects.clear();
    if (frame.Pixels() == window->pixels) {
      // Drawn into the window's own image: only shown.
      if (whole) {
        FRects.push_back(SDL_Rect{0, 0, window->w, window->h});
      } else {
        for (const Rect& r : changed) {
          const Rect in = Intersect(r, Rect{0, 0, window->w, window->h});
          if (!IsEmpty(in)) FRects.push_back(SDL_Rect{in.Left, in.Top, in.Width(), in.Height()});
        }
      }
      if (!FRects.empty()) SDL_UpdateWindowSurfaceRects(FWindow, FRects.data(), int(FRects.size()));
      return;
    }
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(frame.Pixels()), frame.Width(),
                                                             frame.Height(), 32, frame.Width() * 4,
                                                             SDL_PIXELFORMAT_RGB888);
    if (!source) return;
    const Rect bounds{0, 0, std::min(frame.Width(), window->w), std::min(frame.Height(), window->h)};
    if (whole) {
      FRects.push_back(SDL_Rect{0, 0, window->w, window->h});
      SDL_FillRect(window, nullptr, 0);
      SDL_Rect all{bounds.Left, bounds.Top, bounds.Width(), bounds.Height()};
      SDL_BlitSurface(source, &all, window, &all);
    } else {
      for (const Rect& r : changed) {
        const Rect in = Intersect(r, bounds);
        if (IsEmpty(in)) continue;
        SDL_Rect part{in.Left, in.Top, in.Width(), in.Height()};
        SDL_Rect to = part;
        SDL_BlitSurface(source, &part, window, &to);
        FRects.push_back(part);
      }
    }
    SDL_FreeSurface(source);
    if (!FRects.empty()) SDL_UpdateWindowSurfaceRects(FWindow, FRects.data(), int(FRects.size()));
  }

  void PresentThroughTexture(const Surface& frame, const std::vector<Rect>& changed) {
    bool whole = FExposed;
    FExposed = false;
    if (!FTexture || FTexW != frame.Width() || FTexH != frame.Height()) {
      if (FTexture) SDL_DestroyTexture(FTexture);
      FTexture = SDL_CreateTexture(FRenderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                   frame.Width(), frame.Height());
      FTexW = frame.Width();
      FTexH = frame.Height();
      if (!FTexture) return;
      whole = true;
    }
    if (whole) {
      SDL_UpdateTexture(FTexture, nullptr, frame.Pixels(), frame.Width() * 4);
    } else {
      if (changed.empty()) return;
      for (const Rect& r : changed) {
        const Rect in = Intersect(r, Rect{0, 0, frame.Width(), frame.Height()});
        if (IsEmpty(in)) continue;
        SDL_Rect part{in.Left, in.Top, in.Width(), in.Height()};
        SDL_UpdateTexture(FTexture, &part, frame.Row(in.Top) + in.Left, frame.Width() * 4);
      }
    }
    SDL_RenderClear(FRenderer);
    SDL_RenderCopy(FRenderer, FTexture, nullptr, nullptr);
    SDL_RenderPresent(FRenderer);
  }

  // The window surface is the window's own image (on X11 a shared-memory
  // image) when it has SDL's RGB888 layout without row padding.
  uint32_t* WindowImage(int& width, int& height, uint64_t& generation) override {
    if (FRenderer) return nullptr;
    SDL_Surface* window = SDL_GetWindowSurface(FWindow);
    if (!window || !window->format || window->format->format != SDL_PIXELFORMAT_RGB888 ||
        window->pitch != window->w * 4 || SDL_MUSTLOCK(window))
      return nullptr;
    if (window != FImageSurface || window->pixels != FImagePixels) {
      FImageSurface = window;
      FImagePixels = window->pixels;
      ++FImageGeneration;
    }
    width = window->w;
    height = window->h;
    generation = FImageGeneration;
    return static_cast<uint32_t*>(window->pixels);
  }

  int RefreshHz() const override {
    SDL_DisplayMode mode{};
    int display = SDL_GetWindowDisplayIndex(FWindow);
    if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) != 0) return 0;
    return mode.refresh_rate;
  }

  void SetTitle(const std::string& title) override { SDL_SetWindowTitle(FWindow, title.c_str()); }
  std::string Title() const override { return SDL_GetWindowTitle(FWindow); }
  void SetClientSize(int width, int height) override { SDL_SetWindowSize(FWindow, width, height); }
  void ClientSize(int& width, int& height) const override { SDL_GetWindowSize(FWindow, &width, &height); }

  void SetCursor(CursorKind kind) override {
    if (kind == CursorKind::None) {
      SDL_ShowCursor(SDL_DISABLE);
      return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    int index = static_cast<int>(kind);
    if (!FCursors[index]) {
      SDL_SystemCursor id = kind == CursorKind::Hand    ? SDL_SYSTEM_CURSOR_HAND
                            : kind == CursorKind::IBeam ? SDL_SYSTEM_CURSOR_IBEAM
                                                        : SDL_SYSTEM_CURSOR_ARROW;
      FCursors[index] = SDL_CreateSystemCursor(id);
    }
    if (FCursors[index]) SDL_SetCursor(FCursors[index]);
  }
  void SetFullScreen(bool on) override {
    SDL_SetWindowFullscreen(FWindow, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  }
  bool FullScreen() const override {
    return (SDL_GetWindowFlags(FWindow) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
  }
  void SetMaximized(bool on) override {
    if (on)
      SDL_MaximizeWindow(FWindow);
    else
      SDL_RestoreWindow(FWindow);
  }
  bool Maximized() const override {
    return (SDL_GetWindowFlags(FWindow) & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_MINIMIZED)) != 0;
  }
  void SetMinimized(bool on) override {
    if (on)
      SDL_MinimizeWindow(FWindow);
    else
      SDL_RestoreWindow(FWindow);
  }
  bool Minimized() const override { return (SDL_GetWindowFlags(FWindow) & SDL_WINDOW_MINIMIZED) != 0; }
  void Raise() override {
    Show();
    SDL_RaiseWindow(FWindow);
  }
  // A visible window that is moved or resized is waited for by SDL until the
  // window system has done it; a hidden one moves at once.
  void Show() override {
    if (FShown) return;
    FShown = true;
    SDL_ShowWindow(FWindow);
  }
  bool HasFocus() const override { return (SDL_GetWindowFlags(FWindow) & SDL_WINDOW_INPUT_FOCUS) != 0; }
  void DesktopSize(int& width, int& height) const override {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
      width = mode.w;
      height = mode.h;
    } else {
      width = 1024;
      height = 768;
    }
  }
  bool WorkArea(Rect& area) const override {
    SDL_Rect r{};
    int display = SDL_GetWindowDisplayIndex(FWindow);
    if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &r) != 0) return false;
    area = Rect{r.x, r.y, r.x + r.w, r.y + r.h};
    return true;
  }
  void FrameBorders(int& left, int& top, int& right, int& bottom) const override {
    left = top = right = bottom = 0;
    SDL_GetWindowBordersSize(FWindow, &top, &left, &bottom, &right);
  }
  void SetOuterPosition(int x, int y) override {
    int left = 0, top = 0, right = 0, bottom = 0;
    FrameBorders(left, top, right, bottom);
    SDL_SetWindowPosition(FWindow, x + left, y + top);
  }
  void OuterPosition(int& x, int& y) const override {
    int left = 0, top = 0, right = 0, bottom = 0;
    FrameBorders(left, top, right, bottom);
    SDL_GetWindowPosition(FWindow, &x, &y);
    x -= left;
    y -= top;
  }
  void SetClipboardText(const std::string& utf8) override { SDL_SetClipboardText(utf8.c_str()); }
  // On X11 the clipboard is read over a connection of its own, which takes
  // texts of any size up to the paste limit; SDL reads it when this window
  // owns it (the interface thread would have to answer itself) or the owner
  // offers no UTF-8 text.
  std::string ClipboardText() const override {
    FClipboardRefusal.clear();
    if (FDisplay && X11ClipboardOwner() != FOwnWindow) {
      std::string text;
      switch (ReadX11Clipboard(text, kMaxPasteBytes, kClipboardWaitMs)) {
        case SelectionRead::Ok: return text;
        case SelectionRead::NoOwner: return "";
        case SelectionRead::TooLarge:
          FClipboardRefusal = "Clipboard text not pasted - it is over 64 MB.";
          return "";
        case SelectionRead::TimedOut:
          FClipboardRefusal = "Clipboard text not pasted - the program holding it did not hand it over.";
          return "";
        case SelectionRead::Unavailable: break;
      }
    }
    char* text = SDL_GetClipboardText();
    std::string result = text ? text : "";
    SDL_free(text);
    return result;
  }

  void Beep() override {
    // A short 880 Hz tone in place of the system's message beep.
    std::vector<uint8_t> tone(22050 / 12);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = ((i * 880 * 2 / 22050) & 1) ? 152 : 104;
    PlayAndForget(AudioFormat{22050, 1, SampleType::U8}, std::move(tone));
  }
  std::string ClipboardRefusal() const override { return FClipboardRefusal; }
  bool OpenUrl(const std::string& url, std::function<void(int status)> ended) override {
    return OpenUrlInBrowser(url, std::move(ended));
  }

 private:
  static constexpr size_t kMaxPasteBytes = size_t(64) << 20;
  static constexpr int kClipboardWaitMs = 5000;  // between two steps of the owner
  static constexpr uint64_t kPumpAtLeastMs = 1000;
  static constexpr uint64_t kBusyPumpMs = 10;

  // Whether SDL is asked to read the display this round. After a wait the
  // display did not answer (a timer or a worker ended it), only now and
  // then, for what SDL does on its own time (keeping the screen saver
  // away). While the loop is busy (a flood from a board wakes it for every
  // chunk) when the display has something or every few milliseconds: each
  // look costs SDL a string of reads on the connection, which at thousands
  // of rounds a second took more time than drawing.
  bool PumpDue() const {
    if (!FDisplay) return true;
    const uint64_t now = TickMs();
    if (FDisplayQuiet) return now >= FLastPump + kPumpAtLeastMs;
    if (now >= FLastPump + kBusyPumpMs || XEventsQueued(FDisplay, QueuedAlready) > 0) return true;
    pollfd p{FDisplayFd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
  }

  // The X11 display connection under the window, to sleep on; without one
  // (another window system) SDL's wait serves.
  void WatchX11Connection() {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(FWindow, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return;
    FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FWakeFd < 0) return;
    FDisplay = info.info.x11.display;
    FOwnWindow = info.info.x11.window;
    FDisplayFd = ConnectionNumber(FDisplay);
  }

  // A mouse event carries the modifiers held when it happened: those of the
  // last key event before it in the queue, not the state when the queue is
  // read (a quick Ctrl+click is often released by then).
  void Modifiers(Event& ev) const {
    ev.Shift = (FKeyMods & KMOD_SHIFT) != 0;
    ev.Ctrl = (FKeyMods & KMOD_CTRL) != 0;
    ev.Alt = (FKeyMods & KMOD_ALT) != 0;
  }
  // The window flags the renderer SDL picks first (or the one the render
  // driver hint names) needs, and that renderer's index.
  static uint32_t RendererWindowFlags(int& index) {
    const char* hint = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    for (int i = 0; i < SDL_GetNumRenderDrivers(); ++i) {
      SDL_RendererInfo info{};
      if (SDL_GetRenderDriverInfo(i, &info) != 0 || !info.name) continue;
      if (hint && *hint && SDL_strcasecmp(hint, info.name) != 0) continue;
      index = i;
      return SDL_strncasecmp(info.name, "opengl", 6) == 0 ? SDL_WINDOW_OPENGL : 0;
    }
    index = -1;
    return 0;
  }
  static int ButtonOf(uint8_t b) {
    return b == SDL_BUTTON_LEFT ? 1 : b == SDL_BUTTON_RIGHT ? 2 : b == SDL_BUTTON_MIDDLE ? 4 : 0;
  }

  void Translate(const SDL_Event& e, std::vector<Event>& out) {
    Event ev;
    // The text of a key arrives as the event right after its key-down.
    const int chord = FAltChordKey;
    FAltChordKey = 0;
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        ev.Kind = e.type == SDL_KEYDOWN ? EventKind::KeyDown : EventKind::KeyUp;
        const uint16_t mod = e.key.keysym.mod;
        FKeyMods = mod;
        ev.VirtualKey = VirtualKeyOf(e.key.keysym.sym, mod);
        // The modifiers held when this key went down, not when the event is
        // taken from the queue: a quick chord is often released by then.
        ev.Shift = (mod & KMOD_SHIFT) != 0;
        ev.Ctrl = (mod & KMOD_CTRL) != 0;
        ev.Alt = (mod & KMOD_ALT) != 0;
        if (e.type == SDL_KEYDOWN) {
          // An Alt chord is a command: the text the window system makes of
          // it is not typed. AltGr (reported as the mode key, or as right
          // Alt giving a character other than the key's own) still types.
          FAltChordKey = (mod & KMOD_MODE) ? 0 : (mod & KMOD_LALT) ? -1 : (mod & KMOD_RALT) ? e.key.keysym.sym : 0;
        }
        if (ev.VirtualKey == 0) return;
        ev.ScanCode = ScanCodeForVirtualKey(ev.VirtualKey);
        ev.Repeat = e.key.repeat != 0;
        out.push_back(ev);
        return;
      }
      case SDL_TEXTINPUT: {
        for (uint32_t cp : CodePoints(e.text.text)) {
          if (chord == -1 || (chord != 0 && cp < 128 && std::tolower(int(cp)) == std::tolower(chord))) continue;
          out.push_back(Event::Character(cp));
        }
        return;
      }
      case SDL_MOUSEMOTION:
        ev = Event::Mouse(EventKind::MouseMove, e.motion.x, e.motion.y);
        Modifiers(ev);
        out.push_back(ev);
        return;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        EventKind kind = e.type == SDL_MOUSEBUTTONUP ? EventKind::MouseUp
                         : e.button.clicks == 2      ? EventKind::MouseDouble
                                                     : EventKind::MouseDown;
        ev = Event::Mouse(kind, e.button.x, e.button.y, ButtonOf(e.button.button));
        if (ev.Button == 0) return;
        Modifiers(ev);
        out.push_back(ev);
        return;
      }
      case SDL_MOUSEWHEEL: {
        // Where the pointer was when the wheel turned.
        ev = Event::Mouse(EventKind::Wheel, e.wheel.mouseX, e.wheel.mouseY);
        ev.WheelDelta = e.wheel.y * 120;
        if (ev.WheelDelta == 0) return;
        Modifiers(ev);
        out.push_back(ev);
        return;
      }
      case SDL_DROPBEGIN:
        FDropped.clear();
        FDropping = true;
        return;
      case SDL_DROPFILE:
        if (e.drop.file) {
          FDropped.push_back(e.drop.file);
          SDL_free(e.drop.file);
        }
        if (!FDropping) FlushDrop(out);
        return;
      case SDL_DROPCOMPLETE:
        FDropping = false;
        FlushDrop(out);
        return;
      case SDL_WINDOWEVENT:
        switch (e.window.event) {
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            FImageSurface = nullptr;  // SDL makes the window's image anew
            ev.Kind = EventKind::Size;
            ev.X = e.window.data1;
            ev.Y = e.window.data2;
            out.push_back(ev);
            return;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
          case SDL_WINDOWEVENT_FOCUS_LOST:
            ev.Kind = EventKind::Activate;
            ev.Active = e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
            out.push_back(ev);
            return;
          case SDL_WINDOWEVENT_EXPOSED:
            FExposed = true;
            ev.Kind = EventKind::Paint;
            out.push_back(ev);
            return;
          case SDL_WINDOWEVENT_CLOSE:
            ev.Kind = EventKind::Close;
            out.push_back(ev);
            return;
          default:
            return;
        }
      case SDL_QUIT:
        ev.Kind = EventKind::Close;
        out.push_back(ev);
        return;
      default:
        return;  // the wake-up event only ends the wait
    }
  }

  void FlushDrop(std::vector<Event>& out) {
    if (FDropped.empty()) return;
    Event ev;
    ev.Kind = EventKind::DropFiles;
    SDL_GetMouseState(&ev.X, &ev.Y);
    ev.Paths.swap(FDropped);
    out.push_back(ev);
  }

  bool FVideoStarted = false;
  SDL_Window* FWindow = nullptr;
  SDL_Renderer* FRenderer = nullptr;
  SDL_Texture* FTexture = nullptr;
  int FTexW = 0, FTexH = 0;
  SDL_Surface* FShownSurface = nullptr;  // the window surface last drawn into
  int FShownW = 0, FShownH = 0;
  bool FExposed = true;
  bool FShown = false;
  // The window surface last handed out as the window's image.
  SDL_Surface* FImageSurface = nullptr;
  void* FImagePixels = nullptr;
  uint64_t FImageGeneration = 0;
  std::vector<SDL_Rect> FRects;
  uint32_t FWakeEvent = 0;
  Display* FDisplay = nullptr;
  int FDisplayFd = -1;
  unsigned long FOwnWindow = 0;  // the X11 window under the SDL window
  mutable std::string FClipboardRefusal;  // why the last clipboard read gave nothing
  int FWakeFd = -1;  // written by Interrupt, read by Poll
  bool FDisplayQuiet = false;  // the last wait ended without word from the display
  uint64_t FLastPump = 0;
  SDL_Cursor* FCursors[4] = {};
  bool FDropping = false;
  std::vector<std::string> FDropped;
  // The last key-down was an Alt chord: -1 drops its text, a key code drops
  // text equal to that key's own character, 0 drops nothing.
  int FAltChordKey = 0;
  // The modifiers after the last key event translated.
  uint16_t FKeyMods = 0;
};

}  // namespace

std::unique_ptr<EventBackend> MakeSdlBackend(const EventLoop::Options& options, std::string& error) {
  auto backend = std::make_unique<SdlBackend>(options, error);
  if (!backend->Ok()) return nullptr;
  return backend;
}

}  // namespace platform
