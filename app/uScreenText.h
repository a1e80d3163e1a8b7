// Text fitting shared by the text-mode screens: padding, cutting with an
// overflow mark, word wrap, centring, digit grouping and keeping the end of
// long names. Pure functions on 8-bit CP437 strings; no state.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"

using TDynStringArray = std::vector<std::string>;

// Cut to Width, or filled with blanks up to Width.
std::string PadText(const std::string& text, int width);
// Unchanged when it fits; else the first Width - 1 characters and the
// overflow mark 26 (just the first Width characters when Width is 1 or less).
std::string EllipsizeText(const std::string& text, int width);
// Lines of at most Width characters (Width below 1 counts as 1); always at
// least one line; words longer than a line are split.
TDynStringArray WrapText(const std::string& text, int width);
// Text with (Width - length) / 2 blanks before and the rest after; unchanged
// when it is not shorter than Width.
std::string CenterText(const std::string& text, int width);
// 1234567 gives "1,234,567".
std::string GroupThousands(int64_t value);
// Text when it fits; a plain cut when Width is 3 or less; else "..." and the
// last Width - 3 characters.
std::string KeepTailText(const std::string& text, int width);
std::string TrimText(const std::string& text);
// A file name of this machine (UTF-8) as the screens show it: each
// character as its CP437 form, "?" where it has none.
std::string ShownFileName(const std::string& name);
std::string UpperText(std::string text);
bool SameTextNoCase(const std::string& a, const std::string& b);
// The whole text as a decimal integer (an optional sign, digits, nothing
// else); false otherwise or when it does not fit 64 bits.
bool TryParseInt(const std::string& text, int64_t& value);

// Recurring colours of the screens.
namespace scr {
constexpr TColorRGB Black{0, 0, 0};
constexpr TColorRGB FaceBlue{0, 0, 170};
constexpr TColorRGB BevelBlue{0, 0, 255};
constexpr TColorRGB Navy{0, 0, 85};
constexpr TColorRGB White{255, 255, 255};
constexpr TColorRGB TitleYellow{255, 255, 85};
constexpr TColorRGB AlertRed{255, 0, 0};
constexpr TColorRGB KeyLavender{170, 170, 255};
constexpr TColorRGB LightGrey{170, 170, 170};
constexpr TColorRGB DarkGrey{85, 85, 85};
constexpr TColorRGB DarkGreen{0, 85, 0};
constexpr TColorRGB Green{0, 255, 0};
constexpr TColorRGB Cyan{0, 170, 170};
}  // namespace scr

// CP437 characters with a fixed role on the screens.
namespace cp {
constexpr uint8_t SingleTL = 218, SingleTR = 191, SingleBL = 192, SingleBR = 217, SingleH = 196, SingleV = 179;
constexpr uint8_t DoubleTL = 201, DoubleTR = 187, DoubleBL = 200, DoubleBR = 188, DoubleH = 205, DoubleV = 186;
constexpr uint8_t TeeLeft = 195, TeeRight = 180;
constexpr uint8_t Overflow = 26;
constexpr uint8_t HalfLeft = 221, HalfRight = 222;
constexpr uint8_t FullBlock = 219, LightShade = 176, SmallSquare = 254;
}  // namespace cp
