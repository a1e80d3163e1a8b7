#include "tests/support/TopLevelWindows.h"

#include <X11/Xlib.h>

namespace testsupport {

TopLevelWindows::TopLevelWindows(const std::string& display) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return;
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  XSync(d, False);  // listening before anything the test starts can draw
  FDisplay = d;
}

TopLevelWindows::~TopLevelWindows() {
  if (FDisplay) XCloseDisplay(static_cast<Display*>(FDisplay));
}

const std::vector<TopLevelWindows::Window>& TopLevelWindows::Seen() {
  Display* d = static_cast<Display*>(FDisplay);
  if (!d) return FWindows;
  auto find = [&](::Window id) -> Window* {
    for (Window& w : FWindows)
      if (w.Id == id && !w.Destroyed) return &w;
    return nullptr;
  };
  while (XPending(d) > 0) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == CreateNotify && e.xcreatewindow.parent == DefaultRootWindow(d)) {
      Window w;
      w.Id = e.xcreatewindow.window;
      w.Width = e.xcreatewindow.width;
      w.Height = e.xcreatewindow.height;
      FWindows.push_back(w);
    } else if (e.type == MapNotify) {
      if (Window* w = find(e.xmap.window)) w->Mapped = true;
    } else if (e.type == DestroyNotify) {
      if (Window* w = find(e.xdestroywindow.window)) w->Destroyed = true;
    }
  }
  return FWindows;
}

}  // namespace testsupport
