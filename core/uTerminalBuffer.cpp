#include "core/uTerminalBuffer.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "core/uDebugLog.h"
#include "core/uUtf8Cp437.h"

namespace {

// Lines of the debug log are thinned to the first call and every 500th.
constexpr int64_t kLogEvery = 500;

std::string Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* fmt, ...) {
  char text[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof text, fmt, args);
  va_end(args);
  return text;
}

const TCellRow& EmptyRow() {
  static const TCellRow* empty = new TCellRow;
  return *empty;
}

// The text a screen reader compares: trailing blanks and control characters go.
std::string_view TrimmedRight(std::string_view t) {
  size_t n = t.size();
  while (n > 0 && (uint8_t(t[n - 1]) <= 32 || uint8_t(t[n - 1]) == 127)) --n;
  return t.substr(0, n);
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

TColorRGB XtermIndexToRGB(int Index) {
  static constexpr uint8_t kCubeLevels[6] = {0x00, 0x5F, 0x87, 0xAF, 0xD7, 0xFF};
  Index = Clamp(Index, 0, 255);
  if (Index < 16) return AnsiPalette[Index];
  if (Index < 232) {
    int n = Index - 16;
    return MakeColorRGB(kCubeLevels[n / 36], kCubeLevels[(n % 36) / 6], kCubeLevels[n % 6]);
  }
  uint8_t grey = uint8_t(8 + 10 * (Index - 232));
  return MakeColorRGB(grey, grey, grey);
}

std::string CellCharToText(uint8_t Ch) {
  static const std::array<std::string, 256>* table = [] {
    auto* t = new std::array<std::string, 256>;
    for (int c = 0; c < 256; ++c) {
      uint32_t cp = Cp437ToUnicode(uint8_t(c));
      if (c == 0 || c == 32 || (c >= 176 && c <= 223) || cp == 0)
        (*t)[size_t(c)].assign(1, ' ');
      else if (c >= 33 && c <= 126)
        (*t)[size_t(c)].assign(1, char(c));
      else
        (*t)[size_t(c)] = CodePointToUtf8(cp);
    }
    return t;
  }();
  return (*table)[Ch];
}

// ---------------------------------------------------------------- creation

TTerminalBuffer::TTerminalBuffer(int AWidth, int AHeight) {
  FWidth = Clamp(AWidth, 1, MaxWidth);
  FHeight = Clamp(AHeight, 1, MaxHeight);
  if (FWidth != AWidth || FHeight != AHeight)
    LogLine(Printf("TTerminalBuffer: size %dx%d cut to %dx%d", AWidth, AHeight, FWidth, FHeight));
  Rows.assign(size_t(FHeight), BlankRow());
  // Room for the whole ring, so its rows never move, but no slot is made
  // before a row arrives for it.
  Scrollback.reserve(ScrollbackCapacity);
  ReportedText.assign(size_t(FHeight), std::string());
  CandidateText.assign(size_t(FHeight), std::string());
  MarginX1 = FWidth - 1;
  MarginY1 = FHeight - 1;
  ResetAttributes();
  ClearScreen(true);
  Dirty = true;
}

// ---------------------------------------------------------------- pen

void TTerminalBuffer::SetFgRGB(TColorRGB C) {
  Fg = C;
  FgIndex = -1;
}

void TTerminalBuffer::SetBgRGB(TColorRGB C) {
  Bg = C;
  BgIndex = -1;
}

void TTerminalBuffer::SetFgPalette(int N) {
  Fg = AnsiPalette[Clamp(N, 0, 15)];
  FgIndex = -1;
}

void TTerminalBuffer::SetIceColors(bool B) {
  IceColors = B;
  DeriveBg();
}

void TTerminalBuffer::SaveAttributes(TTextAttributes& A) const {
  A.Fg = Fg;
  A.Bg = Bg;
  A.FgIndex = FgIndex;
  A.BgIndex = BgIndex;
  A.Bold = Bold;
  A.Blink = Blink;
  A.Underline = Underline;
  A.Reverse = Reverse;
}

void TTerminalBuffer::RestoreAttributes(const TTextAttributes& A) {
  Fg = A.Fg;
  Bg = A.Bg;
  FgIndex = A.FgIndex;
  BgIndex = A.BgIndex;
  Bold = A.Bold;
  Blink = A.Blink;
  Underline = A.Underline;
  Reverse = A.Reverse;
}

// ---------------------------------------------------------------- cells

void TTerminalBuffer::WriteCharAt(int Col, int Row, uint8_t Ch) {
  if (Col < 0 || Col >= FWidth || Row < 0 || Row >= FHeight) return;
  Rows[size_t(Row)][size_t(Col)] = PenCell(Ch);
  Dirty = true;
}

void TTerminalBuffer::SetCell(int Col, int Row, const TCell& Cell) {
  if (Col < 0 || Col >= FWidth || Row < 0 || Row >= FHeight) return;
  Rows[size_t(Row)][size_t(Col)] = Cell;
  Dirty = true;
}

TCell TTerminalBuffer::GetCell(int Col, int Row) const {
  if (Col < 0 || Col >= FWidth || Row < 0 || Row >= FHeight) return DefaultCell();
  return Rows[size_t(Row)][size_t(Col)];
}

// ---------------------------------------------------------------- writing

void TTerminalBuffer::WrapHeldCharacter() {
  LastColumnFlag = false;
  CursorX = MarginX0;
  NewLine(true);
  ResolvePendingScroll();
}

void TTerminalBuffer::PutChar(uint8_t Ch, bool HoldWrap) {
  ResolvePendingScroll();
  if (LastColumnFlag) WrapHeldCharacter();
  if (LogEnabled && Ch >= 32 && Ch <= 126)
    LogLine(Printf("PutChar: ch=%c (0x%.2x) at (%d,%d) Dirty-before=%s", char(Ch), Ch, CursorX, CursorY,
                   Dirty ? "True" : "False"));
  WriteCharAt(CursorX, CursorY, Ch);
  // Wrapping is immediate; at the bottom margin the scroll it causes waits
  // for the next output (NewLine defers it). A held wrap waits for the next
  // character instead.
  if (CursorX < MarginX1) {
    ++CursorX;
  } else if (HoldWrap) {
    LastColumnFlag = true;
  } else {
    CursorX = MarginX0;
    NewLine(true);
  }
}

void TTerminalBuffer::PutCharsAnyhow(const uint8_t* Data, size_t Count, bool HoldWrap) {
  if (LogEnabled) {
    for (size_t i = 0; i < Count; ++i) PutChar(Data[i], HoldWrap);
    return;
  }
  while (Count > 0) {
    ResolvePendingScroll();
    if (LastColumnFlag) WrapHeldCharacter();
    // The run up to and including the right margin column, then a wrap.
    size_t room = CursorX < MarginX1 ? size_t(MarginX1 - CursorX + 1) : 1;
    size_t n = Count < room ? Count : room;
    TCell cell = PenCell(0);
    TCell* dst = Rows[size_t(CursorY)].data() + CursorX;
    for (size_t i = 0; i < n; ++i) {
      cell.Ch = Data[i];
      dst[i] = cell;
    }
    Dirty = true;
    Data += n;
    Count -= n;
    if (n < room) {
      CursorX += int32_t(n);
    } else if (HoldWrap) {
      CursorX += int32_t(n) - 1;
      LastColumnFlag = true;
    } else {
      CursorX = MarginX0;
      NewLine(true);
    }
  }
}

void TTerminalBuffer::NewLine(bool FromWrap) {
  ResolvePendingScroll();
  LastColumnFlag = false;
  const int32_t from = CursorY++;
  if (from > MarginY1 && from < VisibleRows()) {
    // Below the scroll region, on a board row (fixed lines under a
    // scrolling window): the cursor moves down as far as the last board
    // row and the region does not scroll, as on a VT100.
    CursorY = std::min(CursorY, VisibleRows() - 1);
  } else if (CursorY > MarginY1) {
    // Past the bottom margin the scroll is deferred to the next output.
    // A cursor that stood below the margin is pulled back onto it and
    // defers as many lines as it had to climb.
    int lines = CursorY - MarginY1;
    if (LogEnabled && !MarginsAreFullGrid())
      LogLine(Printf("TTerminalBuffer.NewLine: SCROLL PENDING - CursorY=%d > MarginY1=%d, deferring %d line(s)",
                     CursorY, MarginY1, lines));
    ScrollPending = true;
    PendingFromWrap = FromWrap;
    PendingScrollLines += lines;
    CursorY = MarginY1;
  }
  if (LogEnabled) {
    ++NewLineCalls;
    if (NewLineCalls == 1 || NewLineCalls % kLogEvery == 0)
      LogLine(Printf("TTerminalBuffer.NewLine: CursorX=%d CursorY=%d Margins=(%d,%d,%d,%d) [call #%lld]", CursorX,
                     CursorY, MarginX0, MarginY0, MarginX1, MarginY1, static_cast<long long>(NewLineCalls)));
  }
  Dirty = true;
}

void TTerminalBuffer::CarriageReturn() {
  CursorX = MarginX0;
  LastColumnFlag = false;
  Dirty = true;
}

void TTerminalBuffer::MoveCursor(int X, int Y) {
  // Reserved status rows are not the board's: no emulation's move reaches them.
  CursorX = Clamp(X, 0, FWidth - 1);
  CursorY = Clamp(Y, 0, VisibleRows() - 1);
  LastColumnFlag = false;
  if (LogEnabled) {
    ++MoveCursorCalls;
    if (MoveCursorCalls == 1 || MoveCursorCalls % kLogEvery == 0)
      LogLine(Printf("TTerminalBuffer.MoveCursor: requested (%d,%d) -> actual CursorX=%d CursorY=%d "
                     "(FWidth=%d FHeight=%d) [call #%lld]",
                     X, Y, CursorX, CursorY, FWidth, FHeight, static_cast<long long>(MoveCursorCalls)));
  }
  Dirty = true;
}

void TTerminalBuffer::GotoXY(int X, int Y) {
  // An absolute move after a wrap into the bottom-right cell means the board
  // drew its last cell on purpose: the wrap's scroll is not wanted.
  if (ScrollPending && PendingFromWrap)
    CancelPendingScroll();
  else
    ResolvePendingScroll();
  MoveCursor(X, Y);
}

void TTerminalBuffer::MoveCursorBy(int DX, int DY) {
  ResolvePendingScroll();
  // Computed in 64 bits: a count near the 32-bit limit must not wrap around.
  auto target = [](int from, int by) {
    return int(std::clamp<int64_t>(int64_t(from) + by, INT32_MIN, INT32_MAX));
  };
  MoveCursor(target(CursorX, DX), target(CursorY, DY));
}

void TTerminalBuffer::SetCursorVisible(bool B) {
  CursorVisible = B;
  Dirty = true;
}

// ---------------------------------------------------------------- erasing

TCell TTerminalBuffer::EraseCell() const { return TCell{32, Fg, Bg, false, false, false, false}; }

void TTerminalBuffer::BlankSpan(TCellRow& Row, int From, int To, const TCell& Blank) {
  From = std::max(From, 0);
  To = std::min(To, int(Row.size()) - 1);
  if (From > To) return;
  std::fill(Row.begin() + From, Row.begin() + To + 1, Blank);
  Dirty = true;
}

void TTerminalBuffer::ClearScreen(bool SaveToScrollback) {
  const TCell blank = DefaultCell();
  for (TCellRow& row : Rows) {
    // A saved row moves into the ring whole; the row coming back is blanked.
    if (SaveToScrollback) row = TakeIntoScrollback(std::move(row));
    row.assign(size_t(FWidth), blank);
  }
  CursorX = 0;
  CursorY = 0;
  LastColumnFlag = false;
  CancelPendingScroll();
  PendingFromWrap = false;
  if (SaveToScrollback) ResetMargins();
  Dirty = true;
  if (OnCleared) OnCleared(this);
}

void TTerminalBuffer::ClearRow(int Row) {
  if (Row < 0 || Row >= FHeight) return;
  BlankSpan(Rows[size_t(Row)], 0, FWidth - 1, DefaultCell());
}

void TTerminalBuffer::EraseToEndOfLine() { BlankSpan(Rows[size_t(CursorY)], CursorX, FWidth - 1, EraseCell()); }

void TTerminalBuffer::EraseToStartOfLine() { BlankSpan(Rows[size_t(CursorY)], 0, CursorX, EraseCell()); }

void TTerminalBuffer::EraseToEndOfScreen() {
  const TCell blank = EraseCell();
  BlankSpan(Rows[size_t(CursorY)], CursorX, FWidth - 1, blank);
  for (int r = CursorY + 1; r < FHeight; ++r) BlankSpan(Rows[size_t(r)], 0, FWidth - 1, blank);
}

void TTerminalBuffer::EraseToStartOfScreen() {
  const TCell blank = EraseCell();
  BlankSpan(Rows[size_t(CursorY)], 0, CursorX, blank);
  for (int r = 0; r < CursorY; ++r) BlankSpan(Rows[size_t(r)], 0, FWidth - 1, blank);
}

// ---------------------------------------------------------------- texts

std::string TTerminalBuffer::GetRowText(int Row) const {
  std::string text;
  if (Row < 0 || Row >= FHeight) return text;
  text.reserve(size_t(FWidth));
  for (const TCell& c : Rows[size_t(Row)]) text += CellCharToText(c.Ch);
  return text;
}

std::string TTerminalBuffer::GetDisplayRowText(int Row) const {
  std::string text;
  if (Row < 0 || Row >= FHeight) return text;
  text.reserve(size_t(FWidth));
  for (int c = 0; c < FWidth; ++c) text += CellCharToText(GetDisplayCell(c, Row).Ch);
  return text;
}

void TTerminalBuffer::CollectChangedRows(std::vector<std::string>* Lines, std::vector<std::string>* RowNumbers) {
  if (!Lines) return;
  for (int r = 0; r < FHeight; ++r) {
    std::string t = GetRowText(r);
    std::string_view trimmed = TrimmedRight(t);
    std::string& reported = ReportedText[size_t(r)];
    std::string& candidate = CandidateText[size_t(r)];
    if (trimmed == TrimmedRight(reported)) {
      candidate.clear();
    } else if (trimmed != TrimmedRight(candidate)) {
      candidate = t;  // still changing: wait for a second look
    } else {
      if (!trimmed.empty()) {
        Lines->emplace_back(trimmed);
        if (RowNumbers) RowNumbers->push_back(std::to_string(r));
      }
      reported = t;
      candidate.clear();
    }
  }
}

// ---------------------------------------------------------------- margins

void TTerminalBuffer::SetMargins(int X0, int Y0, int X1, int Y1) {
  X0 = std::max(X0, 0);
  Y0 = std::max(Y0, 0);
  X1 = std::min(X1, FWidth - 1);
  Y1 = std::min(Y1, VisibleRows() - 1);
  if (X1 < X0 || Y1 < Y0) return;
  MarginX0 = X0;
  MarginY0 = Y0;
  MarginX1 = X1;
  MarginY1 = Y1;
}

void TTerminalBuffer::ResetMargins() {
  MarginX0 = 0;
  MarginY0 = 0;
  MarginX1 = FWidth - 1;
  MarginY1 = VisibleRows() - 1;
}

void TTerminalBuffer::SetReservedRows(int N) {
  N = std::max(N, 0);
  if (N == ReservedRows) return;
  ReservedRows = N;
  ResetMargins();
  CursorY = std::min(CursorY, VisibleRows() - 1);
}

// ---------------------------------------------------------------- deferred scroll

void TTerminalBuffer::ResolvePendingScroll() {
  if (!ScrollPending) return;
  ScrollPending = false;
  if (LogEnabled)
    LogLine(Printf("TTerminalBuffer.ResolvePendingScroll: firing deferred scroll of %d line(s)", PendingScrollLines));
  if (MarginsAreFullGrid())
    ScrollUp(PendingScrollLines);
  else
    ScrollRegionUp(PendingScrollLines);
  PendingScrollLines = 0;
}

void TTerminalBuffer::CancelPendingScroll() {
  ScrollPending = false;
  PendingScrollLines = 0;
}

// ---------------------------------------------------------------- lines

// Line edits act from the top margin at the earliest and never past the
// bottom one; false when nothing is left to do.
bool TTerminalBuffer::ClipToRegion(int& FromRow, int& N) const {
  if (N <= 0) return false;
  FromRow = std::max(FromRow, MarginY0);
  if (FromRow > MarginY1) return false;
  N = std::min(N, MarginY1 - FromRow + 1);
  return true;
}

void TTerminalBuffer::DeleteLines(int FromRow, int N) {
  if (!ClipToRegion(FromRow, N)) return;
  const TCell blank = DefaultCell();
  if (MarginX0 == 0 && MarginX1 == FWidth - 1) {
    // Whole rows: move the row references, then blank the rows that came free.
    std::rotate(Rows.begin() + FromRow, Rows.begin() + FromRow + N, Rows.begin() + MarginY1 + 1);
  } else {
    for (int r = FromRow; r <= MarginY1 - N; ++r)
      std::copy(Rows[size_t(r + N)].begin() + MarginX0, Rows[size_t(r + N)].begin() + MarginX1 + 1,
                Rows[size_t(r)].begin() + MarginX0);
  }
  for (int r = MarginY1 - N + 1; r <= MarginY1; ++r) BlankSpan(Rows[size_t(r)], MarginX0, MarginX1, blank);
  Dirty = true;
}

void TTerminalBuffer::InsertLines(int FromRow, int N) {
  if (!ClipToRegion(FromRow, N)) return;
  const TCell blank = DefaultCell();
  if (MarginX0 == 0 && MarginX1 == FWidth - 1) {
    std::rotate(Rows.begin() + FromRow, Rows.begin() + MarginY1 + 1 - N, Rows.begin() + MarginY1 + 1);
  } else {
    for (int r = MarginY1; r >= FromRow + N; --r)
      std::copy(Rows[size_t(r - N)].begin() + MarginX0, Rows[size_t(r - N)].begin() + MarginX1 + 1,
                Rows[size_t(r)].begin() + MarginX0);
  }
  for (int r = FromRow; r < FromRow + N; ++r) BlankSpan(Rows[size_t(r)], MarginX0, MarginX1, blank);
  Dirty = true;
}

void TTerminalBuffer::ScrollUp(int N) {
  if (N <= 0) return;
  // Beyond a screen plus a full ring every further line only repeats the
  // same blank state, so a huge count costs no more than that.
  const int board = VisibleRows();
  const int times = std::min(N, board + ScrollbackCapacity);
  const TCell blank = DefaultCell();
  for (int i = 0; i < times; ++i) {
    // The top row moves into the ring as it is; the slot's old row is
    // recycled as the new blank bottom row, so no cells are copied.
    TCellRow recycled = TakeIntoScrollback(std::move(Rows[0]));
    std::rotate(Rows.begin(), Rows.begin() + 1, Rows.begin() + board);
    recycled.assign(size_t(FWidth), blank);
    Rows[size_t(board - 1)] = std::move(recycled);
  }
  Dirty = true;
  if (OnScrolled) OnScrolled(N);
}

// ---------------------------------------------------------------- scrollback

// The ring's slots are made as the first rows arrive: they fill in order
// from slot 0 until the ring is full.
void TTerminalBuffer::PushScrollback(const TCellRow& Row) {
  int slot = (ScrollbackHead + ScrollbackCount) % ScrollbackCapacity;
  if (size_t(slot) == Scrollback.size()) Scrollback.emplace_back();
  Scrollback[size_t(slot)] = Row;
  if (ScrollbackCount < ScrollbackCapacity)
    ++ScrollbackCount;
  else
    ScrollbackHead = (ScrollbackHead + 1) % ScrollbackCapacity;
}

TCellRow TTerminalBuffer::TakeIntoScrollback(TCellRow&& Row) {
  int slot = (ScrollbackHead + ScrollbackCount) % ScrollbackCapacity;
  if (size_t(slot) == Scrollback.size()) Scrollback.emplace_back();
  TCellRow recycled = std::move(Scrollback[size_t(slot)]);
  Scrollback[size_t(slot)] = std::move(Row);
  if (ScrollbackCount < ScrollbackCapacity)
    ++ScrollbackCount;
  else
    ScrollbackHead = (ScrollbackHead + 1) % ScrollbackCapacity;
  return recycled;
}

const TCellRow& TTerminalBuffer::GetScrollbackLine(int N) const {
  if (N < 0 || N >= ScrollbackCount) return EmptyRow();
  return Scrollback[size_t((ScrollbackHead + N) % ScrollbackCapacity)];
}

void TTerminalBuffer::SetScrollbackView(int V) {
  V = Clamp(V, 0, ScrollbackCount);
  if (V == ScrollbackView) return;
  ScrollbackView = V;
  Dirty = true;
}

TCell TTerminalBuffer::GetDisplayCell(int Col, int Row) const {
  if (Col < 0 || Col >= FWidth || Row < 0 || Row >= FHeight) return DefaultCell();
  if (ScrollbackView == 0) return Rows[size_t(Row)][size_t(Col)];
  int v = ScrollbackCount + Row - ScrollbackView;
  if (v < 0) return DefaultCell();
  if (v < ScrollbackCount) {
    const TCellRow& line = GetScrollbackLine(v);
    return size_t(Col) < line.size() ? line[size_t(Col)] : DefaultCell();
  }
  return Rows[size_t(v - ScrollbackCount)][size_t(Col)];
}

// ---------------------------------------------------------------- alternate screen, size

void TTerminalBuffer::EnterAltScreen() {
  if (InAltScreen) return;
  SavedRows = std::move(Rows);
  SavedCursorX = CursorX;
  SavedCursorY = CursorY;
  Rows.assign(size_t(FHeight), BlankRow());
  CursorX = 0;
  CursorY = 0;
  LastColumnFlag = false;
  InAltScreen = true;
  Dirty = true;
}

void TTerminalBuffer::LeaveAltScreen() {
  if (!InAltScreen) return;
  if (SavedRows.size() == size_t(FHeight)) {
    Rows = std::move(SavedRows);
    CursorX = Clamp(SavedCursorX, 0, FWidth - 1);
    CursorY = Clamp(SavedCursorY, 0, VisibleRows() - 1);
  } else {
    Rows.assign(size_t(FHeight), BlankRow());
    CursorX = 0;
    CursorY = 0;
  }
  SavedRows.clear();
  InAltScreen = false;
  LastColumnFlag = false;
  Dirty = true;
}

void TTerminalBuffer::Resize(int AWidth, int AHeight) {
  int w = Clamp(AWidth, 1, MaxWidth);
  int h = Clamp(AHeight, 1, MaxHeight);
  if (w != AWidth || h != AHeight)
    LogLine(Printf("TTerminalBuffer: size %dx%d cut to %dx%d", AWidth, AHeight, w, h));
  if (w == FWidth && h == FHeight) return;
  std::vector<TCellRow> grid(size_t(h), TCellRow(size_t(w), DefaultCell()));
  for (int r = 0; r < std::min(h, FHeight); ++r)
    std::copy_n(Rows[size_t(r)].begin(), std::min(w, FWidth), grid[size_t(r)].begin());
  Rows = std::move(grid);
  FWidth = w;
  FHeight = h;
  ReportedText.assign(size_t(h), std::string());
  CandidateText.assign(size_t(h), std::string());
  CursorX = std::min(CursorX, FWidth - 1);
  LastColumnFlag = false;
  ScrollPending = false;
  PendingScrollLines = 0;
  PendingFromWrap = false;
  ResetMargins();
  CursorY = std::min(CursorY, VisibleRows() - 1);
  if (InAltScreen) SavedRows.clear();
  Dirty = true;
}
