// The screen of the online terminal and of every text-mode screen: a grid of
// character cells with cursor, pen, scroll margins, a deferred scroll, an
// alternate screen and a 2000-row scrollback ring with a view offset.
// It stores cells and applies edits; it knows nothing of the emulation that
// drives it, and it raises only its two events (cleared, scrolled).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/uDebugLog.h"

struct TColorRGB {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  friend constexpr bool operator==(const TColorRGB&, const TColorRGB&) = default;
};

// One cell, 11 bytes in this order. Colours are resolved when the cell is
// written, so a later change of bold, blink or iCE colours never recolours it.
struct TCell {
  uint8_t Ch = 32;
  TColorRGB Fg{0xAA, 0xAA, 0xAA};
  TColorRGB Bg{0, 0, 0};
  bool Bold = false;
  bool Blink = false;
  bool Underline = false;
  bool Reverse = false;
  friend constexpr bool operator==(const TCell&, const TCell&) = default;
};
static_assert(sizeof(TCell) == 11, "a cell is 11 bytes");

using TCellRow = std::vector<TCell>;

// A snapshot of the pen.
struct TTextAttributes {
  TColorRGB Fg;
  TColorRGB Bg;
  int32_t FgIndex = 7;
  int32_t BgIndex = 0;
  bool Bold = false;
  bool Blink = false;
  bool Underline = false;
  bool Reverse = false;
  friend constexpr bool operator==(const TTextAttributes&, const TTextAttributes&) = default;
};

// The 16 colours in ANSI order (1 is red, 4 is blue). The bright colours are
// fully saturated (FF 00 00), not the VGA values with 55 in the other channels.
inline constexpr TColorRGB AnsiPalette[16] = {
    {0x00, 0x00, 0x00}, {0xAA, 0x00, 0x00}, {0x00, 0xAA, 0x00}, {0xAA, 0x55, 0x00},
    {0x00, 0x00, 0xAA}, {0xAA, 0x00, 0xAA}, {0x00, 0xAA, 0xAA}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

constexpr TColorRGB MakeColorRGB(uint8_t R, uint8_t G, uint8_t B) { return TColorRGB{R, G, B}; }
// xterm's 256 colours: 0..15 the palette above, 16..231 the 6x6x6 cube,
// 232..255 the grey ramp. The index is clamped to 0..255.
TColorRGB XtermIndexToRGB(int Index);
// Grey space on black, no attributes: a cleared screen, a new row, and every
// read outside the grid.
constexpr TCell DefaultCell() { return TCell{}; }
// A cell character as display text: 0, 32 and the shades and box drawing
// (176..223) give a space, 33..126 themselves, the rest its UTF-8 form.
std::string CellCharToText(uint8_t Ch);

class TTerminalBuffer;
using TBufferClearedEvent = std::function<void(TTerminalBuffer* Sender)>;
using TBufferScrolledEvent = std::function<void(int Lines)>;

class TTerminalBuffer {
 public:
  static constexpr int ScrollbackCapacity = 2000;
  // Bounds for a requested grid size; larger requests are cut with a log line.
  static constexpr int MaxWidth = 1000;
  static constexpr int MaxHeight = 1000;

  TTerminalBuffer(int AWidth, int AHeight);
  TTerminalBuffer(const TTerminalBuffer&) = delete;
  TTerminalBuffer& operator=(const TTerminalBuffer&) = delete;

  // ---- State. Read freely; change only through the operations below.
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  std::vector<TCellRow> Rows;  // the live grid, row 0 on top
  std::vector<TCellRow> Scrollback;  // up to ScrollbackCapacity slots, made as rows arrive
  int32_t ScrollbackCount = 0;
  int32_t ScrollbackHead = 0;  // slot of the oldest row
  std::vector<TCellRow> SavedRows;  // the main grid while the alternate one shows
  int32_t SavedCursorX = 0;
  int32_t SavedCursorY = 0;
  bool InAltScreen = false;
  int32_t CursorX = 0;
  int32_t CursorY = 0;
  // A VT100's last-column flag: a character written into the right margin
  // column with the wrap held back; the wrap happens when the next character
  // comes, and any cursor move, return or line feed forgets it.
  bool LastColumnFlag = false;
  bool CursorVisible = true;
  bool ScrollPending = false;
  int32_t PendingScrollLines = 0;
  bool PendingFromWrap = false;
  // The pen.
  TColorRGB Fg = AnsiPalette[7];
  TColorRGB Bg = AnsiPalette[0];
  int32_t FgIndex = 7;  // 0..7 from the ANSI colours, -1 for a direct colour
  bool Bold = false;
  bool Blink = false;
  bool Underline = false;
  bool Reverse = false;
  bool IceColors = true;  // blink selects bright backgrounds
  int32_t BgIndex = 0;
  bool Dirty = true;  // any change of cells, cursor, visibility or view
  std::vector<std::string> ReportedText;  // the screen reader's change detector
  std::vector<std::string> CandidateText;
  int64_t NewLineCalls = 0;  // counted while the debug log is on, to thin it
  int64_t MoveCursorCalls = 0;
  int32_t ScrollbackView = 0;  // 0 live; v > 0 shows the screen v rows back
  TBufferClearedEvent OnCleared;
  TBufferScrolledEvent OnScrolled;
  int32_t MarginX0 = 0;  // inclusive scroll and wrap margins
  int32_t MarginY0 = 0;
  int32_t MarginX1 = 0;
  int32_t MarginY1 = 0;
  int32_t ReservedRows = 0;  // bottom rows kept for a status line

  // ---- Pen (no cell changes, no Dirty). The setters the colour
  // sequences use most are inline: art sets the pen every few cells.
  void SetFgIndex(int N) {
    FgIndex = N < 0 ? 0 : (N > 7 ? 7 : N);
    DeriveFg();
  }
  void SetBgIndex(int N) {
    BgIndex = N < 0 ? 0 : (N > 7 ? 7 : N);
    DeriveBg();
  }
  void SetFgRGB(TColorRGB C);
  void SetBgRGB(TColorRGB C);
  void SetFgPalette(int N);  // palette 0..15 as a direct colour
  void SetBold(bool B) {
    Bold = B;
    DeriveFg();
  }
  void SetBlink(bool B) {
    Blink = B;
    if (IceColors) DeriveBg();
  }
  void SetIceColors(bool B);
  void SetUnderline(bool B) { Underline = B; }
  void SetReverse(bool B) { Reverse = B; }
  void ResetAttributes() {
    FgIndex = 7;
    Fg = AnsiPalette[7];
    BgIndex = 0;
    Bg = AnsiPalette[0];
    Bold = Blink = Underline = Reverse = false;
  }
  void SaveAttributes(TTextAttributes& A) const;
  void RestoreAttributes(const TTextAttributes& A);
  // The cell the pen would write for Ch.
  TCell PenCell(uint8_t Ch) const { return TCell{Ch, Fg, Bg, Bold, Blink, Underline, Reverse}; }

  // ---- Cells (positions outside the grid are ignored / read as DefaultCell).
  void WriteCharAt(int Col, int Row, uint8_t Ch);
  void SetCell(int Col, int Row, const TCell& Cell);
  TCell GetCell(int Col, int Row) const;

  // ---- Cursor and writing.
  // Writes at the cursor and advances. A character written into the right
  // margin column wraps the cursor at once, or, with HoldWrap (a VT100's
  // autowrap), leaves it there with LastColumnFlag set.
  void PutChar(uint8_t Ch, bool HoldWrap = false);
  // The same as PutChar for each byte in turn, written a row span at a time.
  // A run that ends before the right margin, with no wrap or scroll waiting
  // and the debug log off, is written here in place.
  void PutChars(const uint8_t* Data, size_t Count, bool HoldWrap = false) {
    if (ScrollPending || LastColumnFlag || LogEnabled || int64_t(CursorX) + int64_t(Count) > MarginX1) {
      PutCharsAnyhow(Data, Count, HoldWrap);
      return;
    }
    TCell cell = PenCell(0);
    TCell* dst = Rows[size_t(CursorY)].data() + CursorX;
    for (size_t i = 0; i < Count; ++i) {
      cell.Ch = Data[i];
      dst[i] = cell;
    }
    CursorX += int32_t(Count);
    Dirty = true;
  }
  void NewLine(bool FromWrap);
  void CarriageReturn();
  // The primitive of every move: clamps to the board's rows (the grid less
  // the reserved status rows). A request past an edge leaves the cursor on
  // the edge; the next character is still written.
  void MoveCursor(int X, int Y);
  void GotoXY(int X, int Y);
  void MoveCursorBy(int DX, int DY);
  void SetCursorVisible(bool B);

  // ---- Erasing.
  void ClearScreen(bool SaveToScrollback);
  void ClearRow(int Row);
  void EraseToEndOfLine();
  void EraseToStartOfLine();
  void EraseToEndOfScreen();
  void EraseToStartOfScreen();

  // ---- Texts.
  std::string GetRowText(int Row) const;
  std::string GetDisplayRowText(int Row) const;
  // The screen reader's scan: a row is reported once its text has stayed the
  // same over two scans. RowNumbers (may be null) gets the 0-based numbers.
  void CollectChangedRows(std::vector<std::string>* Lines, std::vector<std::string>* RowNumbers);

  // ---- Margins and reserved rows.
  void SetMargins(int X0, int Y0, int X1, int Y1);
  void ResetMargins();
  void SetReservedRows(int N);
  // The board's rows: the grid less the reserved status rows (at least one).
  int VisibleRows() const { return FHeight - ReservedRows > 1 ? FHeight - ReservedRows : 1; }
  // The margins span all of the board's rows and columns. Reserved status
  // rows do not count: the board's whole area scrolls into the scrollback
  // with a status line as without one.
  bool MarginsAreFullGrid() const {
    return MarginX0 == 0 && MarginY0 == 0 && MarginX1 == FWidth - 1 && MarginY1 == VisibleRows() - 1;
  }

  // ---- Deferred scroll.
  void ResolvePendingScroll();
  void CancelPendingScroll();

  // ---- Lines.
  void DeleteLines(int FromRow, int N);
  void InsertLines(int FromRow, int N);
  void ScrollRegionUp(int N) { DeleteLines(MarginY0, N); }
  // Scrolls the board's rows up into the scrollback; reserved rows stay.
  void ScrollUp(int N);

  // ---- Scrollback and view.
  void PushScrollback(const TCellRow& Row);
  // Row N of the scrollback, 0 the oldest; an empty row outside the ring.
  const TCellRow& GetScrollbackLine(int N) const;
  void SetScrollbackView(int V);
  bool IsScrolledBack() const { return ScrollbackView > 0; }
  TCell GetDisplayCell(int Col, int Row) const;

  // ---- Alternate screen and size.
  void EnterAltScreen();
  void LeaveAltScreen();
  void Resize(int AWidth, int AHeight);

 private:
  TCellRow BlankRow() const { return TCellRow(size_t(FWidth), DefaultCell()); }
  // The wrap a held character deferred, carried out before the next one.
  void WrapHeldCharacter();
  // PutChars in every case: wraps, deferred scrolls, the debug log.
  void PutCharsAnyhow(const uint8_t* Data, size_t Count, bool HoldWrap);
  void BlankSpan(TCellRow& Row, int From, int To, const TCell& Blank);  // inclusive
  TCell EraseCell() const;
  void DeriveFg() {
    if (FgIndex >= 0) Fg = AnsiPalette[(Bold && FgIndex < 8) ? FgIndex + 8 : FgIndex];
  }
  void DeriveBg() {
    if (BgIndex >= 0) Bg = AnsiPalette[(IceColors && Blink && BgIndex < 8) ? BgIndex + 8 : BgIndex];
  }
  // Row moves into the scrollback ring as it is; the row it hands back (an
  // old slot's, or a new one) is the caller's to refill.
  TCellRow TakeIntoScrollback(TCellRow&& Row);
  bool ClipToRegion(int& FromRow, int& N) const;
};
