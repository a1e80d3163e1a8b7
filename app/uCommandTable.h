// The program's commands as one table: each row a key chord, the screens
// where it applies, whether it also runs in doorway mode, a further
// condition and what it runs. The key dispatcher searches the rows of one
// stage top to bottom; the first row that matches and takes the key ends
// the search. A new command is a new row, not a new branch.
#pragma once
#include <cstdint>
#include <vector>

#include "app/screens/uScreen.h"

namespace mod {
constexpr uint8_t Shift = 1, Ctrl = 2, Alt = 4;
}

struct TKeyChord {
  uint16_t First = 0, Last = 0;  // the key, or a run of keys (F1..F10); 0: any key
  uint8_t Need = 0;              // modifiers that must be held
  uint8_t Refuse = 0;            // modifiers that must not be; the others are not tested

  bool Matches(const TKeyEvent& key) const {
    if (First != 0 && (key.Key < First || key.Key > (Last ? Last : First))) return false;
    const uint8_t held = uint8_t((key.Shift ? mod::Shift : 0) | (key.Ctrl ? mod::Ctrl : 0) | (key.Alt ? mod::Alt : 0));
    return (held & Need) == Need && (held & Refuse) == 0;
  }
};
constexpr TKeyChord Chord(uint16_t key, uint8_t need = 0, uint8_t refuse = 0) { return {key, key, need, refuse}; }

// The screens where a row applies.
using TScreenSet = uint32_t;
constexpr TScreenSet On(TScreenMode mode) { return TScreenSet(1) << mode; }
constexpr TScreenSet kAnyScreen = ~TScreenSet(0);

// Where in the key dispatcher's order the rows are tried: before the modal
// prompts, as the hotkeys after them, or as the function keys.
enum class TCommandStage { BeforePrompts, Hotkeys, FunctionKeys };

template <class Host>
struct TCommand {
  TCommandStage Stage;
  TKeyChord Key;
  TScreenSet Where;
  bool InDoorway;                            // also runs while doorway mode is on
  bool (*When)(const Host&);                 // a further condition, or null
  bool (*Run)(Host&, const TKeyEvent& key);  // true when the key is taken
};

// Runs the first row of Stage that matches the key on Screen and takes it;
// false when none does.
template <class Host>
bool RunCommand(const std::vector<TCommand<Host>>& table, TCommandStage stage, Host& host, const TKeyEvent& key,
                TScreenMode screen, bool doorway) {
  for (const TCommand<Host>& row : table) {
    if (row.Stage != stage || !row.Key.Matches(key) || !(row.Where & On(screen))) continue;
    if (doorway && !row.InDoorway) continue;
    if (row.When && !row.When(host)) continue;
    if (row.Run(host, key)) return true;
  }
  return false;
}
