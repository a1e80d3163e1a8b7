// The window's mouse events as the window procedure hands them on: a move,
// press or release is offered to the call's modes first (door graphics take
// every press and release while their picture is shown); everything else
// reaches the screen shown as a mouse event with the cell under the pointer.
// The pointer's shape shows what a click would do there: what a mode says
// (the door's own pointer or a hand over its hot spots), a hand over a link,
// the arrow elsewhere.
#include <cstdio>

#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uOnlineMouse.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"

void TApplication::HandleMouseEvent(const platform::Event& e) {
  using platform::EventKind;
  FMouseX = e.X;
  FMouseY = e.Y;
  TMouseEvent m;
  TModeMouse modeEvent{TMouseKind::Move, e.Button, e.X, e.Y, FWindow->ClientWidth(), FWindow->ClientHeight(), e.Shift};
  switch (e.Kind) {
    case EventKind::MouseMove:
      if (FModes->Mouse(modeEvent)) return;
      m.Kind = TMouseKind::Move;
      break;
    case EventKind::MouseDown:
    case EventKind::MouseDouble:
      if (!FWindow->HasFocus()) FWindow->Raise();
      // The second press of a left double click is told apart: a mode may
      // leave it alone, as the screen does.
      modeEvent.Kind =
          e.Kind == EventKind::MouseDouble && e.Button == button::Left ? TMouseKind::DoubleClick : TMouseKind::Down;
      if (FModes->Mouse(modeEvent)) return;
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
      modeEvent.Kind = TMouseKind::Up;
      if (FModes->Mouse(modeEvent)) return;
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
  const TModeMouse at{TMouseKind::Move, 0, FMouseX, FMouseY, FWindow->ClientWidth(), FWindow->ClientHeight()};
  if (!FModes->Pointer(at, kind) && ScreenMode() == smOnline && FMouse->LinkHover()) kind = platform::CursorKind::Hand;
  if (kind != FWindow->Cursor()) FWindow->SetCursor(kind);
}
