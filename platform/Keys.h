// Key numbering used across the program: the PC virtual-key codes the key
// tables are written in, and the set-1 keyboard scan codes that go with them.
#pragma once
#include <cstdint>

namespace platform {
namespace vk {
constexpr uint16_t Back = 0x08, Tab = 0x09, Clear = 0x0C, Return = 0x0D, Shift = 0x10, Control = 0x11,
                   Menu = 0x12, Pause = 0x13, Capital = 0x14, Escape = 0x1B, Space = 0x20, Prior = 0x21,
                   Next = 0x22, End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28,
                   Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E, Key0 = 0x30, KeyA = 0x41, LWin = 0x5B,
                   RWin = 0x5C, Apps = 0x5D, Numpad0 = 0x60, Multiply = 0x6A, Add = 0x6B, Separator = 0x6C,
                   Subtract = 0x6D, Decimal = 0x6E, Divide = 0x6F, F1 = 0x70, F12 = 0x7B, F24 = 0x87,
                   NumLock = 0x90, Scroll = 0x91, Oem1 = 0xBA /* ; */, OemPlus = 0xBB, OemComma = 0xBC,
                   OemMinus = 0xBD, OemPeriod = 0xBE, Oem2 = 0xBF /* / */, Oem3 = 0xC0 /* ` */,
                   Oem4 = 0xDB /* [ */, Oem5 = 0xDC /* \ */, Oem6 = 0xDD /* ] */, Oem7 = 0xDE /* ' */;
constexpr uint16_t Letter(char upper) { return uint16_t(KeyA + (upper - 'A')); }
constexpr uint16_t Digit(int d) { return uint16_t(Key0 + d); }
constexpr uint16_t Fn(int n) { return uint16_t(F1 + n - 1); }  // F1..F24
}  // namespace vk

// Set-1 make code of a virtual key (the low byte; extended keys share the
// code of their keypad twin, as the key data of the original platform did).
uint16_t ScanCodeForVirtualKey(uint16_t virtualKey);

}  // namespace platform
