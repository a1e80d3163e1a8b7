// The command table on its own: how a row's chord, screens, doorway flag and
// condition decide whether it runs, and that the first row taking a key ends
// the search while a row that declines lets the next one try.
#include <gtest/gtest.h>

#include <string>

#include "app/uCommandTable.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

namespace {

struct THost {
  std::string Ran;
  bool Ready = true;
};

TKeyEvent Press(uint16_t key, bool shift = false, bool ctrl = false, bool alt = false) {
  return TKeyEvent{key, shift, ctrl, alt, 0};
}

TEST(CommandTableTest, ChordsTestOnlyTheModifiersTheyName) {
  struct Row {
    const char* Name;
    TKeyChord Chord;
    TKeyEvent Key;
    bool Matches;
  } rows[] = {
      {"Alt+D", Chord(vk::Letter('D'), mod::Alt), Press(vk::Letter('D'), false, false, true), true},
      {"Alt+D with Shift held too", Chord(vk::Letter('D'), mod::Alt), Press(vk::Letter('D'), true, false, true), true},
      {"Alt+D without Alt", Chord(vk::Letter('D'), mod::Alt), Press(vk::Letter('D')), false},
      {"refused Shift", Chord(vk::Left, mod::Ctrl, mod::Shift), Press(vk::Left, true, true), false},
      {"another key", Chord(vk::Left, mod::Ctrl), Press(vk::Right, false, true), false},
      {"inside a run", TKeyChord{vk::Fn(1), vk::Fn(10), 0, 0}, Press(vk::Fn(10)), true},
      {"past a run", TKeyChord{vk::Fn(1), vk::Fn(10), 0, 0}, Press(vk::Fn(11)), false},
      {"any key with Alt", TKeyChord{0, 0, mod::Alt, 0}, Press(vk::Up, false, false, true), true},
  };
  for (const Row& r : rows) EXPECT_EQ(r.Chord.Matches(r.Key), r.Matches) << r.Name;
}

TEST(CommandTableTest, TheFirstRowThatTakesTheKeyWins) {
  using C = TCommand<THost>;
  const auto hot = TCommandStage::Hotkeys;
  const std::vector<C> table = {
      {TCommandStage::BeforePrompts, Chord(vk::Letter('A')), kAnyScreen, true, nullptr,
       [](THost& h, const TKeyEvent&) { h.Ran += "early "; return true; }},
      {hot, Chord(vk::Letter('A')), On(smDirectory), false, nullptr,
       [](THost& h, const TKeyEvent&) { h.Ran += "directory "; return true; }},
      {hot, Chord(vk::Letter('A')), kAnyScreen, false, [](const THost& h) { return h.Ready; },
       [](THost& h, const TKeyEvent&) { h.Ran += "declines "; return false; }},
      {hot, Chord(vk::Letter('A')), kAnyScreen, true, nullptr,
       [](THost& h, const TKeyEvent&) { h.Ran += "any "; return true; }},
      {hot, Chord(vk::Letter('A')), kAnyScreen, true, nullptr,
       [](THost& h, const TKeyEvent&) { h.Ran += "never "; return true; }},
  };
  struct Row {
    const char* Name;
    TScreenMode Screen;
    bool Doorway, Ready;
    const char* Ran;
  } rows[] = {
      {"the directory's own row", smDirectory, false, true, "directory "},
      {"elsewhere a declining row lets the next try", smOnline, false, true, "declines any "},
      {"its condition unmet it is not run", smOnline, false, false, "any "},
      {"doorway mode skips rows not meant for it", smDirectory, true, true, "any "},
  };
  for (const Row& r : rows) {
    THost host;
    host.Ready = r.Ready;
    EXPECT_TRUE(RunCommand(table, hot, host, Press(vk::Letter('A')), r.Screen, r.Doorway)) << r.Name;
    EXPECT_EQ(host.Ran, r.Ran) << r.Name;
  }
  THost host;
  EXPECT_FALSE(RunCommand(table, hot, host, Press(vk::Letter('B')), smOnline, false)) << "no row for the key";
  EXPECT_EQ(host.Ran, "");
}

}  // namespace
