// Feeds arbitrary bytes to the ANSI-BBS emulation on a buffer of arbitrary
// size up to a board's usual 80 x 25 and a little over (sometimes with a
// status row, sometimes in VT mode), in pieces cut at arbitrary places and
// partly byte by byte, with every event wired, and checks after each piece
// that the grid, cursor and margins hold together. The screen is small and
// the rows' text is read at the end (and one row after each move of the
// scrollback view), so that a run goes through thousands of inputs a second.
// fuzz-sources: core/uAnsiParser.cpp core/uAnsiControls.cpp core/uTerminalBuffer.cpp
// fuzz-sources: core/uDebugLog.cpp core/uUtf8Cp437.cpp platform/Tick.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/uAnsiParser.h"
#include "core/uTerminalBuffer.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckGrid(const TTerminalBuffer& B) {
  Check(B.FWidth >= 1 && B.FHeight >= 1);
  Check(int(B.Rows.size()) == B.FHeight);
  for (const TCellRow& row : B.Rows) Check(int(row.size()) == B.FWidth);
  Check(B.CursorX >= 0 && B.CursorX < B.FWidth);
  Check(B.CursorY >= 0 && B.CursorY < B.FHeight);
  Check(B.MarginX0 >= 0 && B.MarginX0 <= B.MarginX1 && B.MarginX1 < B.FWidth);
  Check(B.MarginY0 >= 0 && B.MarginY0 <= B.MarginY1 && B.MarginY1 < B.FHeight);
  Check(B.ScrollbackCount >= 0 && B.ScrollbackCount <= TTerminalBuffer::ScrollbackCapacity);
  Check(B.ScrollbackView >= 0 && B.ScrollbackView <= B.ScrollbackCount);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  const uint8_t width = Data[0], height = Data[1], flags = Data[2], cut = Data[3];
  Data += 4;
  Size -= 4;
  TTerminalBuffer buffer(1 + width % 82, 1 + height % 26);
  buffer.SetReservedRows(flags & 3);
  TAnsiParser parser(&buffer);
  parser.VtMode = (flags & 4) != 0;
  parser.AnnounceSixel = (flags & 8) != 0;
  size_t replied = 0;
  parser.OnSendReply = [&](const std::string& s) { replied += s.size(); };
  parser.OnPlayMusic = [&](const std::string& s) { Check(s.size() <= size_t(TAnsiParser::MusicMax)); };
  parser.OnApc = [&](const std::string& s) { Check(!s.empty() && s.size() <= TAnsiParser::ApcBulkMax); };
  parser.OnResize = [](int, int) {};
  parser.OnFontSelect = [](int, int) {};
  parser.OnGetCellSize = [&](int& w, int& h) {
    w = 1 + (flags >> 4);
    h = 16;
  };
  parser.OnQueryAudioChannel = [](int channel) { return channel % 2 == 0; };

  // Pieces of 1 + cut bytes; every other piece goes byte by byte.
  const size_t step = 1 + cut % 97;
  bool byByte = (flags & 0x80) != 0;
  for (size_t at = 0; at < Size; at += step, byByte = !byByte) {
    const size_t n = Size - at < step ? Size - at : step;
    if (byByte)
      for (size_t i = 0; i < n; ++i) parser.ProcessChar(Data[at + i]);
    else
      parser.Feed(Data + at, n);
    CheckGrid(buffer);
    // A row shown from a moved scrollback view is read at once, while the
    // rows it mixes are as this piece left them.
    if (flags & 0x40) {
      buffer.SetScrollbackView(int(Data[at]) * 8);
      (void)buffer.GetDisplayRowText(Data[at] % buffer.FHeight);
    }
  }
  for (int r = 0; r < buffer.FHeight; ++r) (void)buffer.GetDisplayRowText(r);
  parser.Reset();
  CheckGrid(buffer);
  Check(!buffer.InAltScreen);
  return 0;
}
