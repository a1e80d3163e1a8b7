// The SDL window's key translation, fed the events the window system would
// queue (on SDL's dummy video driver, so no display is needed): Alt chords
// are commands and type nothing, modifiers come from the key event itself
// (for mouse events too), and the keypad with NumLock off gives the
// navigation keys.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/Keys.h"

using namespace platform;

namespace {

// SDL's dummy video driver, asked for by name, for the lifetime of a test.
struct DummyVideo {
  DummyVideo() { setenv("SDL_VIDEODRIVER", "dummy", 1); }
  ~DummyVideo() { unsetenv("SDL_VIDEODRIVER"); }
};

SDL_Event KeyDown(SDL_Keycode sym, uint16_t mod) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event Text(const char* utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  SDL_strlcpy(e.text.text, utf8, sizeof e.text.text);
  return e;
}

// What the loop delivers for the queued SDL events, as "key vk alt" and
// "char c" lines.
std::vector<std::string> Deliver(EventLoop& loop, const std::vector<SDL_Event>& queued) {
  for (SDL_Event e : queued) EXPECT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
  std::vector<std::string> seen;
  auto handler = [&](const Event& e) {
    if (e.Kind == EventKind::KeyDown)
      seen.push_back("key " + std::to_string(e.VirtualKey) + (e.Alt ? " alt" : "") + (e.Shift ? " shift" : ""));
    if (e.Kind == EventKind::Char) seen.push_back("char " + std::to_string(e.CodePoint));
  };
  loop.RunUntil(handler, [] { return false; }, 50);
  return seen;
}

std::string Key(uint16_t vk, const std::string& mods = "") { return "key " + std::to_string(vk) + mods; }
std::string Char(char c) { return "char " + std::to_string(int(uint8_t(c))); }

}  // namespace

TEST(SdlInputTest, AltChordsTypeNothingAndModifiersComeFromTheKeyEvent) {
  DummyVideo video;
  EventLoop::Options options;
  EventLoop loop(options);
  ASSERT_TRUE(loop.Ok()) << loop.Error();
  // Nothing is held as far as SDL's own state knows: what the events carry
  // is what counts (a quick chord is released before its events are read).
  SDL_SetModState(KMOD_NONE);
  struct Row {
    const char* Name;
    std::vector<SDL_Event> Queued;
    std::vector<std::string> Expected;
  };
  const Row rows[] = {
      {"plain letter types", {KeyDown(SDLK_g, KMOD_NONE), Text("g")}, {Key(vk::Letter('G')), Char('g')}},
      {"left Alt chord is a command only", {KeyDown(SDLK_g, KMOD_LALT), Text("g")}, {Key(vk::Letter('G'), " alt")}},
      {"Alt+Shift chord types nothing",
       {KeyDown(SDLK_n, KMOD_LALT | KMOD_LSHIFT), Text("N")},
       {Key(vk::Letter('N'), " alt shift")}},
      {"Alt with a digit types nothing", {KeyDown(SDLK_8, KMOD_LALT), Text("8")}, {Key(vk::Digit(8), " alt")}},
      {"right Alt as Alt types nothing", {KeyDown(SDLK_e, KMOD_RALT), Text("e")}, {Key(vk::Letter('E'), " alt")}},
      {"AltGr as right Alt still types its character",
       {KeyDown(SDLK_q, KMOD_RALT), Text("@")},
       {Key(vk::Letter('Q'), " alt"), Char('@')}},
      {"AltGr as the mode key still types", {KeyDown(SDLK_q, KMOD_MODE), Text("@")}, {Key(vk::Letter('Q')), Char('@')}},
      {"the chord's text is dropped, the next key types",
       {KeyDown(SDLK_b, KMOD_LALT), Text("b"), KeyDown(SDLK_x, KMOD_NONE), Text("x")},
       {Key(vk::Letter('B'), " alt"), Key(vk::Letter('X')), Char('x')}},
  };
  for (const Row& r : rows) EXPECT_EQ(Deliver(loop, r.Queued), r.Expected) << r.Name;
}

TEST(SdlInputTest, KeypadGivesNavigationKeysWithNumLockOffAndDigitsWithItOn) {
  DummyVideo video;
  EventLoop::Options options;
  EventLoop loop(options);
  ASSERT_TRUE(loop.Ok()) << loop.Error();
  struct Row {
    SDL_Keycode Sym;
    uint16_t Off, On;
  };
  const Row rows[] = {{SDLK_KP_8, vk::Up, uint16_t(vk::Numpad0 + 8)},   {SDLK_KP_2, vk::Down, uint16_t(vk::Numpad0 + 2)},
                      {SDLK_KP_4, vk::Left, uint16_t(vk::Numpad0 + 4)}, {SDLK_KP_6, vk::Right, uint16_t(vk::Numpad0 + 6)},
                      {SDLK_KP_7, vk::Home, uint16_t(vk::Numpad0 + 7)}, {SDLK_KP_1, vk::End, uint16_t(vk::Numpad0 + 1)},
                      {SDLK_KP_9, vk::Prior, uint16_t(vk::Numpad0 + 9)}, {SDLK_KP_3, vk::Next, uint16_t(vk::Numpad0 + 3)},
                      {SDLK_KP_0, vk::Insert, vk::Numpad0},             {SDLK_KP_PERIOD, vk::Delete, vk::Decimal}};
  for (const Row& r : rows) {
    EXPECT_EQ(Deliver(loop, {KeyDown(r.Sym, KMOD_NONE)}), std::vector<std::string>{Key(r.Off)}) << SDL_GetKeyName(r.Sym);
    EXPECT_EQ(Deliver(loop, {KeyDown(r.Sym, KMOD_NUM)}), std::vector<std::string>{Key(r.On)}) << SDL_GetKeyName(r.Sym);
  }
  // The same physical key follows the main block's rules: its scan code too.
  EXPECT_EQ(ScanCodeForVirtualKey(vk::Up), ScanCodeForVirtualKey(uint16_t(vk::Numpad0 + 8)));
}

// A quick Ctrl+click is often let go before its events are read: each mouse
// event carries the modifiers of the key events queued before it, and the
// wheel the pointer position of its own moment.
TEST(SdlInputTest, MouseEventsCarryTheModifiersAndPlaceOfTheirMoment) {
  DummyVideo video;
  EventLoop::Options options;
  EventLoop loop(options);
  ASSERT_TRUE(loop.Ok()) << loop.Error();
  SDL_SetModState(KMOD_NONE);
  auto button = [](uint32_t type, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = y;
    return e;
  };
  SDL_Event ctrlUp = KeyDown(SDLK_LCTRL, KMOD_NONE);
  ctrlUp.type = SDL_KEYUP;
  ctrlUp.key.state = SDL_RELEASED;
  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.y = -1;
  wheel.wheel.mouseX = 30;
  wheel.wheel.mouseY = 40;
  const std::vector<SDL_Event> queued = {KeyDown(SDLK_LCTRL, KMOD_LCTRL), button(SDL_MOUSEBUTTONDOWN, 5, 6),
                                         button(SDL_MOUSEBUTTONUP, 5, 6),  ctrlUp,
                                         button(SDL_MOUSEBUTTONDOWN, 7, 8), wheel};
  for (SDL_Event e : queued) ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
  std::vector<std::string> seen;
  auto handler = [&](const Event& e) {
    const std::string mods = e.Ctrl ? " ctrl" : "";
    const std::string at = " " + std::to_string(e.X) + "," + std::to_string(e.Y);
    if (e.Kind == EventKind::MouseDown) seen.push_back("down" + at + mods);
    if (e.Kind == EventKind::MouseUp) seen.push_back("up" + at + mods);
    if (e.Kind == EventKind::Wheel) seen.push_back("wheel " + std::to_string(e.WheelDelta) + at + mods);
  };
  loop.RunUntil(handler, [] { return false; }, 50);
  EXPECT_EQ(seen, (std::vector<std::string>{"down 5,6 ctrl", "up 5,6 ctrl", "down 7,8", "wheel -120 30,40"}));
}

TEST(SdlInputTest, NoDisplayMeansNoWindowUnlessADrawNowhereDriverIsAskedFor) {
  unsetenv("SDL_VIDEODRIVER");
  const char* display = getenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  std::string savedDisplay = display ? display : "", savedWayland = wayland ? wayland : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  {
    EventLoop::Options options;
    EventLoop loop(options);
    EXPECT_FALSE(loop.Ok()) << "a window was made with no display";
    EXPECT_NE(loop.Error().find("no display"), std::string::npos) << loop.Error();
  }
  if (display) setenv("DISPLAY", savedDisplay.c_str(), 1);
  if (wayland) setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1);
}

// SDL reports a drop of several files as one event per file between a begin
// and a complete event; the window hands them on as one batch.
TEST(SdlInputTest, FilesDroppedTogetherArriveAsOneBatch) {
  DummyVideo video;
  EventLoop::Options options;
  EventLoop loop(options);
  ASSERT_TRUE(loop.Ok()) << loop.Error();
  auto drop = [](Uint32 type, const char* file) {
    SDL_Event e{};
    e.type = type;
    e.drop.file = file ? SDL_strdup(file) : nullptr;
    EXPECT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
  };
  drop(SDL_DROPBEGIN, nullptr);
  drop(SDL_DROPFILE, "/tmp/one.txt");
  drop(SDL_DROPFILE, "/tmp/two words.bin");
  drop(SDL_DROPFILE, "/tmp/folder");
  drop(SDL_DROPCOMPLETE, nullptr);
  drop(SDL_DROPFILE, "/tmp/alone.txt");  // a drop without begin and complete
  std::vector<std::vector<std::string>> batches;
  loop.RunUntil([&](const Event& e) {
    if (e.Kind == EventKind::DropFiles) batches.push_back(e.Paths);
  }, [] { return false; }, 50);
  EXPECT_EQ(batches, (std::vector<std::vector<std::string>>{{"/tmp/one.txt", "/tmp/two words.bin", "/tmp/folder"},
                                                            {"/tmp/alone.txt"}}));
}
