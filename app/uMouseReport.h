// Mouse reports to a board that asked for mouse tracking, as xterm sends
// them: the button code of an event and its bytes, in the classic encoding
// (ESC [ M and three bytes) or the SGR one (ESC [ < code ; col ; row M/m).
#pragma once
#include <string>

// The tracking a board switched on (DEC private modes 9, 1000, 1002, 1003).
enum TMouseTracking : int {
  mtOff = 0, mtX10 = 1, mtNormal = 2, mtButtonEvent = 3, mtAnyEvent = 4
};

namespace mousecode {
constexpr int Left = 0, Middle = 1, Right = 2;
constexpr int Motion = 32;           // added to the held button while it moves
constexpr int MotionNoButton = 35;   // moving with no button held
constexpr int WheelUp = 64, WheelDown = 65;
constexpr int Shift = 4, Alt = 8, Ctrl = 16;
constexpr int Modifiers = Shift | Alt | Ctrl;
}  // namespace mousecode

int MouseModifierBits(bool shift, bool alt, bool ctrl);

// The bytes of one report at a cell (Col, Row 0-based). X10 tracking carries
// no modifier bits. SGR marks a release with "m" and keeps the button's
// code; the classic encoding reports a release as button 3 with the
// modifiers, and caps each of its three bytes at 255.
std::string MouseReportBytes(int tracking, bool sgr, int code, int col, int row, bool release);
