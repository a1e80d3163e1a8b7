// The real window, on SDL2. Native events are translated into the loop's
// event record: PC virtual-key codes with set-1 scan codes, Unicode typed
// characters, client-pixel mouse positions, and one drop event per drop.
#include <SDL2/SDL.h>

#include <cmath>
#include <vector>

#include "platform/EventBackend.h"
#include "platform/Keys.h"

namespace platform {
namespace {

uint16_t VirtualKeyOf(SDL_Keycode key) {
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
    FWakeEvent = SDL_RegisterEvents(1);
    FWindow = SDL_CreateWindow(options.Title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               options.Width, options.Height, SDL_WINDOW_RESIZABLE);
    if (!FWindow) {
      error = std::string("cannot create the window: ") + SDL_GetError();
      return;
    }
    FRenderer = SDL_CreateRenderer(FWindow, -1, 0);
    if (!FRenderer) FRenderer = SDL_CreateRenderer(FWindow, -1, SDL_RENDERER_SOFTWARE);
    if (!FRenderer) {
      error = std::string("cannot draw into the window: ") + SDL_GetError();
      return;
    }
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    SDL_StartTextInput();
  }
  ~SdlBackend() override {
    for (SDL_Cursor* c : FCursors)
      if (c) SDL_FreeCursor(c);
    if (FTexture) SDL_DestroyTexture(FTexture);
    if (FRenderer) SDL_DestroyRenderer(FRenderer);
    if (FWindow) SDL_DestroyWindow(FWindow);
    if (FAudio) SDL_CloseAudioDevice(FAudio);
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS | (FAudioStarted ? SDL_INIT_AUDIO : 0));
  }

  bool Ok() const override { return FWindow && FRenderer; }

  void Wait(int timeoutMs) override {
    if (timeoutMs < 0)
      SDL_WaitEvent(nullptr);
    else
      SDL_WaitEventTimeout(nullptr, timeoutMs);
  }
  void Interrupt() override {
    SDL_Event e{};
    e.type = FWakeEvent;
    SDL_PushEvent(&e);
  }

  void Poll(std::vector<Event>& out) override {
    SDL_Event e;
    while (SDL_PollEvent(&e)) Translate(e, out);
  }

  void Present(const Surface& frame) override {
    if (frame.Empty()) return;
    if (!FTexture || FTexW != frame.Width() || FTexH != frame.Height()) {
      if (FTexture) SDL_DestroyTexture(FTexture);
      FTexture = SDL_CreateTexture(FRenderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                   frame.Width(), frame.Height());
      FTexW = frame.Width();
      FTexH = frame.Height();
      if (!FTexture) return;
    }
    SDL_UpdateTexture(FTexture, nullptr, frame.Pixels(), frame.Width() * 4);
    SDL_RenderClear(FRenderer);
    SDL_RenderCopy(FRenderer, FTexture, nullptr, nullptr);
    SDL_RenderPresent(FRenderer);
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
  void Raise() override { SDL_RaiseWindow(FWindow); }
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
  std::string ClipboardText() const override {
    char* text = SDL_GetClipboardText();
    std::string result = text ? text : "";
    SDL_free(text);
    return result;
  }

  void Beep() override {
    // A short 880 Hz tone in place of the system's message beep.
    if (!FAudioStarted) {
      FAudioStarted = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
      if (FAudioStarted) {
        SDL_AudioSpec want{}, have{};
        want.freq = 22050;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        want.samples = 1024;
        FAudio = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (FAudio) SDL_PauseAudioDevice(FAudio, 0);
      }
    }
    if (!FAudio) return;
    std::vector<int16_t> tone(22050 / 12);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = ((i * 880 * 2 / 22050) & 1) ? 6000 : -6000;
    SDL_QueueAudio(FAudio, tone.data(), uint32_t(tone.size() * sizeof(int16_t)));
  }
  bool OpenUrl(const std::string& url) override { return SDL_OpenURL(url.c_str()) == 0; }

 private:
  static void Modifiers(Event& ev) {
    SDL_Keymod mod = SDL_GetModState();
    ev.Shift = (mod & KMOD_SHIFT) != 0;
    ev.Ctrl = (mod & KMOD_CTRL) != 0;
    ev.Alt = (mod & KMOD_ALT) != 0;
  }
  static int ButtonOf(uint8_t b) {
    return b == SDL_BUTTON_LEFT ? 1 : b == SDL_BUTTON_RIGHT ? 2 : b == SDL_BUTTON_MIDDLE ? 4 : 0;
  }

  void Translate(const SDL_Event& e, std::vector<Event>& out) {
    Event ev;
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        ev.Kind = e.type == SDL_KEYDOWN ? EventKind::KeyDown : EventKind::KeyUp;
        ev.VirtualKey = VirtualKeyOf(e.key.keysym.sym);
        if (ev.VirtualKey == 0) return;
        ev.ScanCode = ScanCodeForVirtualKey(ev.VirtualKey);
        ev.Repeat = e.key.repeat != 0;
        Modifiers(ev);
        out.push_back(ev);
        return;
      }
      case SDL_TEXTINPUT:
        for (uint32_t cp : CodePoints(e.text.text)) out.push_back(Event::Character(cp));
        return;
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
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        ev = Event::Mouse(EventKind::Wheel, x, y);
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

  SDL_Window* FWindow = nullptr;
  SDL_Renderer* FRenderer = nullptr;
  SDL_Texture* FTexture = nullptr;
  int FTexW = 0, FTexH = 0;
  uint32_t FWakeEvent = 0;
  SDL_Cursor* FCursors[4] = {};
  bool FDropping = false;
  std::vector<std::string> FDropped;
  bool FAudioStarted = false;
  SDL_AudioDeviceID FAudio = 0;
};

}  // namespace

std::unique_ptr<EventBackend> MakeSdlBackend(const EventLoop::Options& options, std::string& error) {
  auto backend = std::make_unique<SdlBackend>(options, error);
  if (!backend->Ok()) return nullptr;
  return backend;
}

}  // namespace platform
