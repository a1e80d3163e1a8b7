#include "app/modes/uIgsMode.h"

#include <cctype>
#include <cstdio>
#include <utility>

#include "app/screens/uPopupLayer.h"

#include "core/uAnsiParser.h"
#include "core/uBuiltinGlyphs.h"
#include "core/uDebugLog.h"
#include "data/uPhonebook.h"
#include "graphics/uIGSParser.h"
#include "graphics/uRipCanvas.h"
#include "sound/uIGSSound.h"

namespace {

constexpr uint32_t kReplayMs = 15;
constexpr TColorRGB kDefaultGrey{170, 170, 170};
constexpr TColorRGB kBlack{0, 0, 0};

bool NamesIgs(std::string type) {
  for (char& c : type) c = char(std::toupper(static_cast<unsigned char>(c)));
  return type.find("IGS") != std::string::npos;
}

}  // namespace

std::string IgsZoneTextToSend(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '^' && i + 1 < text.size()) {
      const int upper = std::toupper(static_cast<unsigned char>(text[i + 1]));
      if (upper >= 64 && upper <= 95) {
        out.push_back(char(upper - 64));
        ++i;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

TIgsMode::TIgsMode(TCallModeServices& services)
    : TCallMode(services),
      FSound(std::make_unique<TIGSSoundOut>()),
      FParser(std::make_unique<TIGSParser>(&services.Buffer())) {
  FParser->OnReply = [this](const std::string& s) { Services().SendToHost(s); };
  FParser->FSynth = &FSound->FSynth;
  FParser->FFont8x8 = kVga8x8Glyphs;
  FParser->FFont8x14 = Vga8x14Glyphs();
  FParser->OnSoundStarted = [this] { FSound->Wake(); };
  FParser->OnColumnModeSwitch = [this](int resolution) { Services().SwitchColumns(resolution != 0); };
}

TIgsMode::~TIgsMode() {
  FParser.reset();
  FSound.reset();
}

void TIgsMode::Open(const TPhonebookEntry& entry) {
  FIgsMode = NamesIgs(entry.TermType);
  FParser->Reset();
}

void TIgsMode::Reset() {
  FIgsMode = false;
  FParser->Reset();
  FSound->FSynth.StopAll();
}

size_t TIgsMode::PlainRun(const uint8_t* data, size_t count) const { return FParser->PlainRun(data, count); }

bool TIgsMode::TakeByte(uint8_t b, std::vector<uint8_t>& out) {
  FParser->FeedByte(b, out);
  return true;
}

unsigned TIgsMode::EndChunk() {
  const bool dirty = FIgsMode && FParser->TakeDirty();
  if (FIgsMode) StartIgsReplay();
  return dirty ? ccCanvasChanged : ccNone;
}

bool TIgsMode::HoldsInput() const { return FIgsMode && FParser->QueueFull(); }

void TIgsMode::StartIgsReplay() {
  if (!Services().TimerRunning(*this) && FIgsMode && FParser->IsBusy()) Services().StartTimer(*this, kReplayMs);
}

void TIgsMode::IgsReplayTick() {
  const bool held = HoldsInput();
  FReplayOut.clear();
  if (FIgsMode && FParser->ProcessQueued(FReplayOut)) {
    Services().FeedText(FReplayOut.data(), FReplayOut.size());
    FParser->TakeDirty();
    Services().Buffer().Dirty = true;
    Services().Invalidate();
  }
  if (!(FIgsMode && FParser->IsBusy())) Services().StopTimer(*this);
  // The backlog has shrunk: the call hands on what the board sent meanwhile.
  if (held && !HoldsInput()) Services().ResumeInput();
}

bool TIgsMode::IgsActive() const { return FIgsMode && FParser->FGraphicsShown && Services().OnlineShown(); }

void TIgsMode::DrawCell(int col, int row, int cellW, int cellH, const TCell& cell, bool hidden, bool transparent) {
  TColorRGB fg = cell.Fg, bg = cell.Bg;
  if (cell.Reverse) std::swap(fg, bg);
  FPicture->DrawTerminalGlyph(col * cellW, row * cellH, cellW, cellH, cell.Ch, fg, bg, &Services().MainFont(),
                              cell.Underline, hidden, transparent);
}

void TIgsMode::PaintFrame(TModeFrame& frame) {
  if (!FPicture) FPicture = std::make_unique<TRipCanvas>();
  const TTerminalBuffer& grid = Services().Buffer();
  const int cols = grid.FWidth, rows = grid.FHeight;
  // The text grid spreads over the whole picture.
  const int cellW = cols > 0 ? TRipCanvas::kWidth / cols : 8;
  const int cellH = rows > 0 ? TRipCanvas::kHeight / rows : 8;
  if (LogEnabled) {
    char line[128];
    std::snprintf(line, sizeof line, "SyncTermStyle: DrawnPixelCount=%d FBufW=%d FBufH=%d CellW=%d CellH=%d",
                  FPicture->DrawnPixelCount(), cols, rows, cellW, cellH);
    LogLine(line);
  }
  FParser->RenderScaled(FPicture->Bits(), TRipCanvas::kWidth, TRipCanvas::kHeight);
  FPicture->MarkDirty();
  TColorRGB textColour;
  FParser->TextColor(textColour.R, textColour.G, textColour.B);

  // Blank cells on black show the picture; text in the default grey takes
  // the IGS text colour; backgrounds of black are left out.
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < cols; ++col) {
      TCell cell = grid.GetDisplayCell(col, row);
      if ((cell.Ch == 32 || cell.Ch == 0) && !cell.Reverse && cell.Bg == kBlack) continue;
      if (cell.Fg == kDefaultGrey) cell.Fg = textColour;
      DrawCell(col, row, cellW, cellH, cell, cell.Blink && !frame.BlinkOn, !cell.Reverse && cell.Bg == kBlack);
    }
  }
  if (grid.CursorVisible && frame.BlinkOn && !grid.IsScrolledBack() && grid.CursorX >= 0 && grid.CursorX < cols &&
      grid.CursorY >= 0 && grid.CursorY < rows) {
    TCell cell = grid.GetDisplayCell(grid.CursorX, grid.CursorY);
    cell.Fg = textColour;
    cell.Underline = true;
    cell.Reverse = false;
    FPicture->DrawTerminalGlyph(grid.CursorX * cellW, grid.CursorY * cellH, cellW, cellH, cell.Ch, cell.Fg, cell.Bg,
                                &Services().MainFont(), true, false, true);
  }
  if (LogEnabled) LogLine("SyncTermStyle: post-text-loop DrawnPixelCount=" + std::to_string(FPicture->DrawnPixelCount()));

  // The bottom line, popups and highlights go into the picture as solid
  // cells, where the window shows them at the picture's scale.
  if (frame.Overlays && frame.Overlays->Cols() == cols && frame.Overlays->Rows() == rows) {
    const std::vector<TPopupCell>& cells = frame.Overlays->Cells();
    for (size_t i = 0; i < cells.size(); ++i)
      if (cells[i].Used) DrawCell(int(i % size_t(cols)), int(i / size_t(cols)), cellW, cellH, cells[i].Cell, false, false);
    frame.OverlaysDrawn = true;
  }
  FPicture->PaintTo(frame.Target, platform::Rect{0, 0, frame.Target.Width(), frame.Target.Height()});
}

bool TIgsMode::Mouse(const TModeMouse& m) {
  if (m.Kind != TMouseKind::Down || m.Button != button::Left || !IgsActive()) return false;
  // A board that asked for mouse reports gets the click as a report instead.
  if (Services().AnsiParser().MouseMode != 0 && !m.Shift) return false;
  if (m.ClientWidth <= 0 || m.ClientHeight <= 0 || m.X < 0 || m.Y < 0 || m.X >= m.ClientWidth ||
      m.Y >= m.ClientHeight)
    return false;
  // The picture fills the window: window pixels scale to IGS pixels.
  const int x = int(int64_t(m.X) * FParser->CanvasWidth() / m.ClientWidth);
  const int y = int(int64_t(m.Y) * FParser->CanvasHeight() / m.ClientHeight);
  std::string text;
  if (!FParser->MouseZoneAt(x, y, text)) return false;
  Services().SendTyped(IgsZoneTextToSend(text));
  return true;
}
