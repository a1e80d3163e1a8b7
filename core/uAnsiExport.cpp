#include "core/uAnsiExport.h"

#include <string>

#include "core/uUtf8Cp437.h"

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr char kCrLf[] = "\r\n";

void Append(std::vector<uint8_t>& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

void AppendReset(std::vector<uint8_t>& out) {
  out.push_back(kEsc);
  Append(out, "[0m");
}

void AppendRgb(std::string& p, const char* intro, TColorRGB c) {
  p += intro;
  p += std::to_string(c.R) + ";" + std::to_string(c.G) + ";" + std::to_string(c.B);
}

// ESC [ 0 ; ... m for one cell: standard colours where they match exactly,
// bold and blink as the brightening attributes of the standard colours.
std::string SgrFor(const TCell& cell) {
  std::string p = "0";
  int f = FindStandardPaletteIndex(cell.Fg);
  if (f < 0) {
    AppendRgb(p, ";38;2;", cell.Fg);
  } else {
    p += ";" + std::to_string(30 + f % 8);
    if (f > 7 || cell.Bold) p += ";1";
  }
  int b = FindStandardPaletteIndex(cell.Bg);
  if (b < 0) {
    AppendRgb(p, ";48;2;", cell.Bg);
  } else {
    p += ";" + std::to_string(40 + b % 8);
    if (b > 7 || cell.Blink) p += ";5";
  }
  if (cell.Underline) p += ";4";
  if (cell.Reverse) p += ";7";
  if (b < 0 && cell.Blink) p += ";5";
  return std::string(1, char(kEsc)) + "[" + p + "m";
}

bool SameAttributes(const TCell& a, const TCell& b) {
  return a.Fg == b.Fg && a.Bg == b.Bg && a.Bold == b.Bold && a.Blink == b.Blink && a.Underline == b.Underline &&
         a.Reverse == b.Reverse;
}

// One run of attributes: a sequence is written before a cell only when it is
// the first of the run or its attributes differ from the last one written.
struct SgrRun {
  bool Started = false;
  TCell Last;
  void Emit(std::vector<uint8_t>& out, const TCell& cell) {
    if (Started && SameAttributes(cell, Last)) return;
    Append(out, SgrFor(cell));
    Started = true;
    Last = cell;
  }
};

bool IsBlank(const TCell& c) {
  return (c.Ch == 32 || c.Ch == 0) && !c.Underline && !c.Reverse && c.Bg == TColorRGB{0, 0, 0};
}

// Index of the last non-blank cell, -1 when the row is blank.
int LastNonBlank(const TCellRow& row) {
  for (int i = int(row.size()) - 1; i >= 0; --i)
    if (!IsBlank(row[size_t(i)])) return i;
  return -1;
}

uint8_t CellByte(uint8_t ch) { return ch == 0 ? ' ' : ch; }

}  // namespace

int FindStandardPaletteIndex(TColorRGB colour) {
  for (int i = 0; i < 16; ++i)
    if (AnsiPalette[i] == colour) return i;
  return -1;
}

void ExportScreenAnsi(const TTerminalBuffer& buffer, std::vector<uint8_t>& bytes) {
  bytes.clear();
  AppendReset(bytes);
  SgrRun run;
  for (int r = 0; r < buffer.FHeight; ++r) {
    for (int c = 0; c < buffer.FWidth; ++c) {
      TCell cell = buffer.GetDisplayCell(c, r);
      run.Emit(bytes, cell);
      bytes.push_back(CellByte(cell.Ch));
    }
    // Every screen row fills its last column, after which the cursor stands
    // at the start of the next row already: a CR LF would add a blank line.
  }
  AppendReset(bytes);
}

void ExportBufferText(const TTerminalBuffer& buffer, bool withColours, int& lineCount, std::vector<uint8_t>& bytes) {
  bytes.clear();
  lineCount = 0;
  std::vector<const TCellRow*> rows;
  for (int i = 0; i < buffer.ScrollbackCount; ++i) rows.push_back(&buffer.GetScrollbackLine(i));
  for (const TCellRow& row : buffer.Rows) rows.push_back(&row);
  int first = -1, last = -1;
  for (int i = 0; i < int(rows.size()); ++i)
    if (LastNonBlank(*rows[size_t(i)]) >= 0) {
      if (first < 0) first = i;
      last = i;
    }
  if (withColours)
    AppendReset(bytes);
  else
    Append(bytes, "\xEF\xBB\xBF");
  for (int i = first; first >= 0 && i <= last; ++i) {
    const TCellRow& row = *rows[size_t(i)];
    int m = LastNonBlank(row);
    SgrRun run;
    for (int c = 0; c <= m; ++c) {
      const TCell& cell = row[size_t(c)];
      if (withColours) {
        run.Emit(bytes, cell);
        bytes.push_back(CellByte(cell.Ch));
      } else if (cell.Ch < 32) {
        bytes.push_back(' ');
      } else if (cell.Ch < 128) {
        bytes.push_back(cell.Ch);
      } else {
        Append(bytes, CodePointToUtf8(Cp437ToUnicode(cell.Ch)));
      }
    }
    if (withColours && run.Started) AppendReset(bytes);
    // A row that fills the screen's last column wraps by itself when
    // replayed. Scrollback rows keep the width they had when they left the
    // screen, so the test is against the width the file replays on.
    bool wraps = withColours && m >= 0 && (m + 1) % buffer.FWidth == 0;
    if (!wraps) Append(bytes, kCrLf);
    ++lineCount;
  }
  if (withColours) AppendReset(bytes);
}
