// Turns a TTerminalBuffer into bytes that can be saved: the visible screen as
// ANSI, and the whole history (scrollback plus screen) as ANSI or as UTF-8
// text. Colours that equal one of the 16 standard colours exactly are written
// as the standard SGR colours, every other colour as 24-bit SGR.
#pragma once
#include <cstdint>
#include <vector>

#include "core/uTerminalBuffer.h"

// The screen as the user sees it (the scrollback view is honoured). A row
// that fills its last column wraps by itself on replay, so no CR LF follows
// it; a NUL cell is written as a space.
void ExportScreenAnsi(const TTerminalBuffer& buffer, std::vector<uint8_t>& bytes);
// Scrollback (oldest first) and the live screen, with leading and trailing
// blank rows dropped and each row cut after its last non-blank cell. Text
// mode starts with the UTF-8 byte-order mark and converts CP437 to UTF-8.
void ExportBufferText(const TTerminalBuffer& buffer, bool withColours, int& lineCount, std::vector<uint8_t>& bytes);
// The first of the 16 palette entries equal to Colour, else -1.
int FindStandardPaletteIndex(TColorRGB colour);
