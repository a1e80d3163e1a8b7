#include "app/screens/uAboutScreen.h"

#include "app/screens/uPopups.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

void TAboutScreen::Enter() { FServices.SetStatusText("Press any key to continue"); }

void TAboutScreen::Paint(TScreenFrame& frame) {
  // The grid comes blank and black; the box goes over it, with a plain
  // ASCII frame while a font without the line characters is loaded.
  DrawAboutBox(frame.Popups(), !frame.StandardFont());
}

bool TAboutScreen::Key(const TKeyEvent& k) {
  // A modifier pressed on its way to a chord is no key of its own.
  if (k.Key == vk::Shift || k.Key == vk::Control || k.Key == vk::Menu) return true;
  FServices.CloseScreen();
  return true;
}

bool TAboutScreen::Mouse(const TMouseEvent& m) {
  if (m.Kind != TMouseKind::Down) return false;
  FServices.CloseScreen();
  return true;
}
