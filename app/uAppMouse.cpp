// The window's mouse events as the window procedure hands them on: a press
// or release is offered to door graphics first; everything else reaches the
// screen shown as a mouse event with the cell under the pointer. The
// pointer's shape shows what a click would do there: the door's own pointer
// or a hand over its hot spots, a hand over a link, the arrow elsewhere.
#include <cstdio>

#include "app/uApp.h"
#include "app/uOnlineMouse.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "door/uDDOFXParser.h"

void TApplication::HandleMouseEvent(const platform::Event& e) {
  using platform::EventKind;
  FMouseX = e.X;
  FMouseY = e.Y;
  TMouseEvent m;
  switch (e.Kind) {
    case EventKind::MouseMove:
      if (IsDoorGraphicsMode()) {
        int px = 0, py = 0;
        const bool inside = ClientToDoorPixel(e.X, e.Y, px, py);
        if (FDDOFXParser->Gfx.MouseMove(inside ? px : 0, inside ? py : 0, inside)) Invalidate();
      }
      m.Kind = TMouseKind::Move;
      break;
    case EventKind::MouseDown:
    case EventKind::MouseDouble:
      if (!FWindow->HasFocus()) FWindow->Raise();
      if (ForwardDoorMouse(e.X, e.Y, e.Button, true)) return;
      if (e.Button == button::Left && LogEnabled) {
        char line[160];
        std::snprintf(line, sizeof line, "Mouse: L-down px=(%d,%d) mode=%d trackMode=%d shift=%s termRect=(%d,%d,%d,%d)",
                      e.X, e.Y, int(ScreenMode()), FParser->MouseMode, e.Shift ? "True" : "False", FTermRect.Left,
                      FTermRect.Top, FTermRect.Width(), FTermRect.Height());
        LogLine(line);
      }
      // Only the left button has a double click; a quick second press of
      // another button is a press like the first.
      m.Kind = e.Kind == EventKind::MouseDouble && e.Button == button::Left ? TMouseKind::DoubleClick
                                                                             : TMouseKind::Down;
      break;
    case EventKind::MouseUp:
      if (ForwardDoorMouse(e.X, e.Y, e.Button, false)) return;
      m.Kind = TMouseKind::Up;
      break;
    case EventKind::Wheel:
      m.Kind = TMouseKind::Wheel;
      m.WheelUp = e.WheelDelta > 0;
      break;
    default:
      return;
  }
  m.Button = e.Button;
  m.X = e.X;
  m.Y = e.Y;
  m.OnCell = PixelToCell(e.X, e.Y, m.Col, m.Row);
  m.Shift = e.Shift;
  m.Ctrl = e.Ctrl;
  m.Alt = e.Alt;
  std::shared_ptr<TScreen> screen = FScreens.Current();
  if (screen && screen->Mouse(m)) Invalidate();
  UpdatePointer();
}

void TApplication::UpdatePointer() {
  platform::CursorKind kind = platform::CursorKind::Arrow;
  int px = 0, py = 0;
  if (IsDoorGraphicsMode() && ClientToDoorPixel(FMouseX, FMouseY, px, py)) {
    const TDDOFXGfx& gfx = FDDOFXParser->Gfx;
    kind = gfx.HasCustomPointer() ? platform::CursorKind::None
           : gfx.IsOverHotspot(px, py) ? platform::CursorKind::Hand
                                       : platform::CursorKind::Arrow;
  } else if (ScreenMode() == smOnline && FMouse->LinkHover()) {
    kind = platform::CursorKind::Hand;
  }
  if (kind != FWindow->Cursor()) FWindow->SetCursor(kind);
}

bool TApplication::ClientToDoorPixel(int x, int y, int& px, int& py) const {
  // The door's picture keeps its 4:3 shape, centred with black bars.
  const int w = FWindow->ClientWidth(), h = FWindow->ClientHeight();
  if (w <= 0 || h <= 0) return false;
  int rw = w, rh = h;
  if (w * 3 > h * 4)
    rw = h * 4 / 3;
  else
    rh = w * 3 / 4;
  const int left = (w - rw) / 2, top = (h - rh) / 2;
  if (rw <= 0 || rh <= 0 || x < left || y < top || x >= left + rw || y >= top + rh) return false;
  px = (x - left) * 640 / rw;
  py = (y - top) * 480 / rh;
  return true;
}

bool TApplication::ForwardDoorMouse(int x, int y, int button, bool down) {
  if (!IsDoorGraphicsMode()) return false;
  TDDOFXGfx& gfx = FDDOFXParser->Gfx;
  int px = 0, py = 0;
  if (!down)
    gfx.MouseUp();
  else if (ClientToDoorPixel(x, y, px, py))
    gfx.MouseDown(px, py, button);
  Invalidate();
  return true;
}
