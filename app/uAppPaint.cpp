// Painting: every frame is drawn into a back buffer the size of the client
// area by the painter of the current screen mode, then shown in one block.
// Also keeps the window's proportions after the user resizes it.
#include <cmath>

#include "app/uApp.h"
#include "core/uAnsiParser.h"
#include "core/uFontRenderer.h"
#include "platform/Tick.h"

void TApplication::EnsureBackBuffer(int width, int height) {
  if (FBack.Width() == width && FBack.Height() == height && !FBack.Empty()) return;
  FBack.Resize(width, height);
}

void TApplication::FreeBackBuffer() { FBack = platform::Surface(); }

void TApplication::PaintScreen(platform::Surface& target) {
  const int w = target.Width(), h = target.Height();
  BeginFrame(FMode == smDirectory || FMode == smEditor);
  switch (FMode) {
    case smDirectory: DrawDirectory(target, w, h); break;
    case smEditor: DrawEntryEditor(target, w, h); break;
    case smOnline: PaintTerminal(target, w, h); break;
    case smSplash: DrawSplash(target, w, h); break;
    case smQuickConnect: DrawQuickConnect(target, w, h); break;
    default:
      // The editor, configuration, help, about and file picker screens draw
      // the buffer as the screens left it.
      FRenderer->RenderBuffer(*FBuffer, target, 0, 0, w, h, true, false, false);
      break;
  }
}

void TApplication::SnapAspectAfterResize() {
  // A window the system sized (full screen, maximised, minimised) keeps its size.
  if (!FRenderer || !FWindow || FWindow->FullScreen() || FWindow->Maximized()) return;
  int pw = FRenderer->PixelWidth(), ph = FRenderer->PixelHeight();
  if (pw <= 0 || ph <= 0) return;
  int cw = FWindow->ClientWidth(), ch = FWindow->ClientHeight();
  if (cw <= 0) return;
  double aspect = double(pw) / double(ph);
  int wanted = int(std::nearbyint(cw / aspect));  // halves to even, as the rounding mode is
  if (wanted != ch) FWindow->SetClientSize(cw, wanted);
}

void TApplication::DrawSplash(platform::Surface& target, int width, int height) {
  FRenderer->RenderBuffer(*FBuffer, target, 0, 0, width, height, true, false, false);
}

void TApplication::DrawQuickConnect(platform::Surface& target, int width, int height) {
  FRenderer->RenderBuffer(*FBuffer, target, 0, 0, width, height, true, false, false);
}

void TApplication::ShowSplash() {
  // The splash picture: the program's name in a box, fed through the ANSI
  // parser like any board screen.
  static const char kSplash[] =
      "\x1b[0m\x1b[2J\x1b[H"
      "\x1b[9;24H\x1b[1;34m\xc9\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd"
      "\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xbb"
      "\x1b[10;24H\xba\x1b[0;44m                             \x1b[1;34;40m\xba"
      "\x1b[11;24H\xba\x1b[0;44m           \x1b[1;33mKORVAN\x1b[0;44m            \x1b[1;34;40m\xba"
      "\x1b[12;24H\xba\x1b[0;37;44m   a terminal for BBS calls  \x1b[1;34;40m\xba"
      "\x1b[13;24H\xba\x1b[0;44m                             \x1b[1;34;40m\xba"
      "\x1b[14;24H\xc8\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd"
      "\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xbc\x1b[0m";
  FParser->Feed(reinterpret_cast<const uint8_t*>(kSplash), sizeof kSplash - 1);
  FBuffer->SetCursorVisible(false);
  FMode = smSplash;
  FWindow->SetTimer(tmSplash, 2500);
  Invalidate();
}
