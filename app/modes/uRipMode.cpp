#include "app/modes/uRipMode.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "app/screens/uPopupLayer.h"
#include "app/uMouseReport.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "graphics/uBGIFont.h"
#include "graphics/uRipParser.h"
#include "platform/AppFolder.h"

namespace {

const char* const kStrokeFontFiles[11] = {"",         "TRIP.CHR", "LITT.CHR", "SANS.CHR", "GOTH.CHR", "SCRI.CHR",
                                          "SIMP.CHR", "TSCR.CHR", "LCOM.CHR", "EURO.CHR", "BOLD.CHR"};

// The grid SkyPix gives back at the end of its page.
constexpr int kTextCols = 80, kTextRows = 25;

const char* TrueFalse(bool b) { return b ? "True" : "False"; }

// One text cell over a canvas at its place in a grid of CellW x CellH.
void DrawCell(TRipCanvas& canvas, int col, int row, int cellW, int cellH, const TCell& cell, const TBitmapFont& font,
              bool underline, bool hidden) {
  TColorRGB fg = cell.Fg, bg = cell.Bg;
  if (cell.Reverse) std::swap(fg, bg);
  canvas.DrawTerminalGlyph(col * cellW, row * cellH, cellW, cellH, cell.Ch, fg, bg, &font, underline, hidden, false);
}

}  // namespace

std::string RipClickText(const std::string& text) {
  if (text.size() == 2 && text[0] == '^') {
    const int upper = std::toupper(static_cast<unsigned char>(text[1]));
    // Only "^@" to "^_" name control codes; "^1" and the like are sent as typed.
    if (upper >= '@' && upper <= '_') return std::string(1, char(upper - '@'));
  }
  return text;
}

TRipMode::TRipMode(TCallModeServices& services)
    : TCallMode(services), FRipCanvas(std::make_unique<TRipCanvas>()) {
  FRipParser = std::make_unique<TRipParser>(FRipCanvas.get());
  FRipParser->OnReply = [this](const std::string& s) { Services().SendToHost(s); };
  FRipParser->OnTextWindow = [this](int x0, int y0, int x1, int y1, int wrap, int size) {
    RipTextWindow(x0, y0, x1, y1, wrap, size);
  };
  FRipParser->OnGotoPixels = [this](int x, int y) { GotoXYPixels(x, y); };
  FRipParser->OnGetCursorPixels = [this](int& x, int& y) { OnRipCursorPixels(x, y); };
  FRipParser->OnSkyPixEnd = [this] { OnSkyPixEnd(); };
  FRipParser->OnSkyPixStart = [] {};  // nothing to do when a SkyPix page starts
  // The ten stroke fonts.
  for (int slot = 1; slot <= 10; ++slot) {
    FBgiFonts[slot] = std::make_unique<TBGIStrokeFont>();
    FBgiFonts[slot]->LoadFromFile(platform::AppFolder() + "fonts/" + kStrokeFontFiles[slot]);
    FRipCanvas->SetFontSlot(slot, FBgiFonts[slot].get());
    if (LogEnabled) {
      char line[96];
      std::snprintf(line, sizeof line, "BGIFont: slot %d (%s) Valid=%s", slot, kStrokeFontFiles[slot],
                    TrueFalse(FBgiFonts[slot]->Valid));
      LogLine(line);
    }
  }
}

TRipMode::~TRipMode() {
  FRipParser.reset();
  FComposed.reset();
  FRipCanvas.reset();
  for (auto& font : FBgiFonts) font.reset();
}

void TRipMode::Open(const TPhonebookEntry& entry) {
  FRipMode = entry.UseRIP;
  FRipGridSet = false;
  FRipCanvas->Clear();
  FRipParser->Reset();
  FRipParser->SkyPixHideFontNames = Services().Settings().SkyPixHideFontNames;
}

void TRipMode::Reset() {
  FRipMode = false;
  FRipCellW = 8;
  FRipCellH = 8;
  FRipGridSet = false;
  FRipTextHidden = false;
}

bool TRipMode::TakeByte(uint8_t b, std::vector<uint8_t>& out) {
  FRipParser->Feed(b, out);
  return true;
}

unsigned TRipMode::EndChunk() { return FRipMode && FRipCanvas->Dirty() ? ccCanvasChanged : ccNone; }

// Outside RIP the canvas is not shown, and a call that turns RIP on clears
// it first (Open): a board's clear screen need not wipe it meanwhile.
void TRipMode::Cleared() {
  if (FRipMode) FRipCanvas->Clear();
}

void TRipMode::Scrolled(int lines) {
  if (FRipMode) FRipParser->ScrollUp(lines * 14);
}

// ---------------------------------------------------------------- the parser's events

void TRipMode::RipTextWindow(int x0, int y0, int x1, int y1, int wrap, int size) {
  if (LogEnabled) {
    char line[192];
    std::snprintf(line, sizeof line,
                  "RipTextWindow: called X0=%d Y0=%d X1=%d Y1=%d Wrap=%d Size=%d CurCellW=%d CurCellH=%d", x0, y0, x1,
                  y1, wrap, size, FRipCellW, FRipCellH);
    LogLine(line);
  }
  int cellW = 8, cellH = 14;
  switch (size) {
    case 0: cellW = 8, cellH = 8; break;
    case 1: cellW = 7, cellH = 8; break;
    case 2: cellW = 8, cellH = 14; break;
    case 3: cellW = 7, cellH = 14; break;
    case 4: cellW = 16, cellH = 14; break;
    default: break;
  }
  if (x0 == 0 && y0 == 0 && x1 == 0 && y1 == 0) {
    // A window of no size hides the text: what reaches the emulation is dropped.
    FRipTextHidden = true;
    return;
  }
  FRipTextHidden = false;
  TTerminalBuffer& grid = Services().Buffer();
  if (!FRipGridSet || cellW != FRipCellW || cellH != FRipCellH) {
    const int cols = cellW == 7 ? 91 : cellW == 16 ? 40 : 80;
    const int rows = TRipCanvas::kHeight / cellH;
    if (LogEnabled) {
      char line[128];
      std::snprintf(line, sizeof line, "RipTextWindow: RESIZING to Cols=%d Rows=%d (NewCellW=%d NewCellH=%d)", cols,
                    rows, cellW, cellH);
      LogLine(line);
    }
    grid.Resize(cols, rows);
    FRipCellW = cellW;
    FRipCellH = cellH;
    FRipGridSet = true;
  }
  grid.SetMargins(x0, y0, x1, y1);
  grid.MoveCursor(x0, y0);
  grid.Dirty = true;
  if (LogEnabled) {
    char line[96];
    std::snprintf(line, sizeof line, "RipTextWindow: after SetMargins - FBufW=%d FBufH=%d", grid.FWidth, grid.FHeight);
    LogLine(line);
  }
}

void TRipMode::GotoXYPixels(int x, int y) {
  if (FRipCellW <= 0) return;
  TTerminalBuffer& grid = Services().Buffer();
  // SkyPix places text on its 8 x 14 grid whatever the RIP cell.
  const int64_t col = x / 8, row = (int64_t(y) + 8) / 14;
  if (LogEnabled) {
    char line[128];
    std::snprintf(line, sizeof line, "SkyPix GotoXYPixels: Px=(%d,%d) -> preclamp Cell=(%lld,%lld) BufW=%d BufH=%d", x,
                  y, static_cast<long long>(col), static_cast<long long>(row), grid.FWidth, grid.FHeight);
    LogLine(line);
  }
  grid.MoveCursor(int(std::clamp<int64_t>(col, 0, std::max(grid.FWidth - 1, 0))),
                  int(std::clamp<int64_t>(row, 0, std::max(grid.FHeight - 1, 0))));
  if (LogEnabled) {
    char line[96];
    std::snprintf(line, sizeof line, "SkyPix GotoXYPixels: MoveCursor to (%d,%d)", grid.CursorX, grid.CursorY);
    LogLine(line);
  }
}

void TRipMode::OnRipCursorPixels(int& x, int& y) const {
  const TTerminalBuffer& grid = Services().Buffer();
  x = grid.CursorX * 8;
  y = grid.CursorY * 14;
}

void TRipMode::OnSkyPixEnd() {
  if (!FRipGridSet) return;
  TTerminalBuffer& grid = Services().Buffer();
  grid.Resize(kTextCols, kTextRows);
  grid.Dirty = true;
  FRipGridSet = false;
  if (LogEnabled)
    LogLine("SkyPix End (cmd 99): restored text grid to " + std::to_string(kTextCols) + "x" + std::to_string(kTextRows));
}

void TRipMode::EndRipTextHidden() {
  if (!FRipTextHidden) return;
  FRipTextHidden = false;
  FRipCanvas->Clear();
  Services().Invalidate();
}

// ---------------------------------------------------------------- the online screen

bool TRipMode::ReplacesFrame() const { return FRipMode && !FRipParser->RipDisabledByHost; }

void TRipMode::PaintFrame(TModeFrame& frame) {
  TTerminalBuffer& grid = Services().Buffer();
  const TBitmapFont& font = Services().MainFont();
  const int cols = grid.FWidth, rows = grid.FHeight;
  const int cellW = FRipCellW;
  const int cellH = rows > 0 ? TRipCanvas::kHeight / rows : FRipCellH;
  if (LogEnabled) {
    char line[128];
    std::snprintf(line, sizeof line, "SyncTermStyle: DrawnPixelCount=%d FBufW=%d FBufH=%d CellW=%d CellH=%d",
                  FRipCanvas->DrawnPixelCount(), cols, rows, cellW, cellH);
    LogLine(line);
  }
  // The text cells go onto the canvas itself, except where graphics were
  // drawn: there the graphics win.
  for (int row = 0; row < rows; ++row)
    for (int col = 0; col < cols; ++col) {
      const TCell cell = grid.GetDisplayCell(col, row);
      DrawCell(*FRipCanvas, col, row, cellW, cellH, cell, font, cell.Underline, cell.Blink && !frame.BlinkOn);
    }
  if (grid.CursorVisible && frame.BlinkOn && !grid.IsScrolledBack())
    DrawCell(*FRipCanvas, grid.CursorX, grid.CursorY, cellW, cellH, grid.GetDisplayCell(grid.CursorX, grid.CursorY),
             font, true, false);
  if (LogEnabled)
    LogLine("SyncTermStyle: post-text-loop DrawnPixelCount=" + std::to_string(FRipCanvas->DrawnPixelCount()));

  // The bottom line, the popups and the highlights go over a copy of the
  // canvas, at the text cells' scale: they cover graphics too, and leave
  // nothing behind on the board's picture when they close.
  TRipCanvas* shown = FRipCanvas.get();
  const TPopupLayer* layer = frame.Overlays;
  if (layer && !layer->Empty() && layer->Cols() == cols && layer->Rows() == rows) {
    if (!FComposed) FComposed = std::make_unique<TRipCanvas>();
    std::copy_n(FRipCanvas->Surface().Pixels(), TRipCanvas::kPixels, FComposed->Bits());
    const std::vector<TPopupCell>& cells = layer->Cells();
    for (size_t i = 0; i < cells.size(); ++i)
      if (cells[i].Used)
        DrawCell(*FComposed, int(i % size_t(cols)), int(i / size_t(cols)), cellW, cellH, cells[i].Cell, font,
                 cells[i].Cell.Underline, false);
    FRipCanvas->ClearDirty();
    shown = FComposed.get();
  }
  if (layer) frame.OverlaysDrawn = true;
  shown->PaintTo(frame.Target, platform::Rect{0, 0, frame.Target.Width(), frame.Target.Height()});
}

bool TRipMode::Mouse(const TModeMouse& m) {
  if (m.Kind != TMouseKind::Down || m.Button != button::Left || !FRipMode || !Services().OnlineShown()) return false;
  // A board that asked for mouse reports gets the click as a report, unless Shift is held.
  if (Services().AnsiParser().MouseMode != mtOff && !m.Shift) return false;
  // The canvas fills the window.
  const int width = m.ClientWidth, height = m.ClientHeight;
  const bool inside = width > 0 && height > 0 && m.X >= 0 && m.Y >= 0 && m.X < width && m.Y < height;
  if (FRipParser->RipDisabledByHost || !inside) {
    if (LogEnabled) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "HandleMouseDown: RIP hit-test SKIPPED - PxX=%d PxY=%d RipDisabledByHost=%s TermRect=(%d,%d,%d,%d)",
                    m.X, m.Y, TrueFalse(FRipParser->RipDisabledByHost), 0, 0, width, height);
      LogLine(line);
    }
    return false;
  }
  const int x = int(int64_t(m.X) * TRipCanvas::kWidth / width);
  const int y = int(int64_t(m.Y) * TRipCanvas::kHeight / height);
  if (LogEnabled) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "HandleMouseDown: RIP hit-test PxX=%d PxY=%d TermRect=(%d,%d,%d,%d) -> RipX=%d RipY=%d HotspotCount=%d",
                  m.X, m.Y, 0, 0, width, height, x, y, FRipCanvas->HotspotCount());
    LogLine(line);
  }
  std::string text;
  if (!FRipCanvas->HitTest(x, y, text)) {
    LogLine("HandleMouseDown: inside term rect but no hotspot matched RipX/RipY");
    return false;
  }
  LogLine("HandleMouseDown: hotspot HIT, sending " + text);
  EndRipTextHidden();
  Services().SendTyped(RipClickText(text));
  Services().Invalidate();
  return true;
}

bool TRipMode::Char(uint8_t, uint16_t) {
  EndRipTextHidden();
  return false;
}
