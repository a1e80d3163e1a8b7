#include "platform/X11Selection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include "platform/Tick.h"

namespace platform {
namespace {

// One connection and one unmapped window for the length of one read.
struct Connection {
  Display* Dpy = XOpenDisplay(nullptr);
  Window Win = 0;
  Connection() {
    if (!Dpy) return;
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    Win = XCreateWindow(Dpy, DefaultRootWindow(Dpy), 0, 0, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent,
                        CWEventMask, &attributes);
  }
  ~Connection() {
    if (!Dpy) return;
    if (Win) XDestroyWindow(Dpy, Win);
    XCloseDisplay(Dpy);
  }
  // The next event of Type for the window, waiting at most until Deadline.
  bool Next(int type, XEvent& event, uint64_t deadline, Atom property) {
    for (;;) {
      while (XPending(Dpy) > 0) {
        XNextEvent(Dpy, &event);
        if (event.type != type) continue;
        if (type == PropertyNotify &&
            (event.xproperty.atom != property || event.xproperty.state != PropertyNewValue))
          continue;
        return true;
      }
      const uint64_t now = TickMs();
      if (now >= deadline) return false;
      pollfd p{ConnectionNumber(Dpy), POLLIN, 0};
      poll(&p, 1, int(deadline - now));
    }
  }
};

// The property's whole value, deleting it (which asks an INCR owner for the
// next step).
bool TakeProperty(Display* dpy, Window win, Atom property, Atom& type, std::string& out) {
  Atom actualType = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, win, property, 0, 0x1fffffff, True, AnyPropertyType, &actualType, &format, &items,
                         &after, &data) != Success)
    return false;
  type = actualType;
  if (data) {
    const size_t bytes = size_t(items) * size_t(format == 32 ? sizeof(long) : format / 8);
    out.assign(reinterpret_cast<const char*>(data), bytes);
    XFree(data);
  } else {
    out.clear();
  }
  return true;
}

}  // namespace

unsigned long X11ClipboardOwner() {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) return 0;
  const Window owner = XGetSelectionOwner(dpy, XInternAtom(dpy, "CLIPBOARD", False));
  XCloseDisplay(dpy);
  return owner;
}

SelectionRead ReadX11Clipboard(std::string& text, size_t limit, int timeoutMs) {
  text.clear();
  Connection c;
  if (!c.Dpy || !c.Win) return SelectionRead::Unavailable;
  const Atom clipboard = XInternAtom(c.Dpy, "CLIPBOARD", False);
  const Atom utf8 = XInternAtom(c.Dpy, "UTF8_STRING", False);
  const Atom incr = XInternAtom(c.Dpy, "INCR", False);
  const Atom property = XInternAtom(c.Dpy, "KORVAN_CLIPBOARD", False);
  if (XGetSelectionOwner(c.Dpy, clipboard) == 0) return SelectionRead::NoOwner;
  XConvertSelection(c.Dpy, clipboard, utf8, property, c.Win, CurrentTime);
  XFlush(c.Dpy);
  XEvent event;
  if (!c.Next(SelectionNotify, event, TickMs() + uint64_t(timeoutMs), property)) return SelectionRead::TimedOut;
  if (event.xselection.property == 0) return SelectionRead::Unavailable;
  Atom type = 0;
  std::string piece;
  if (!TakeProperty(c.Dpy, c.Win, property, type, piece)) return SelectionRead::Unavailable;
  if (type != incr) {
    if (piece.size() > limit) return SelectionRead::TooLarge;
    text = std::move(piece);
    return SelectionRead::Ok;
  }
  // In steps: the owner puts each piece into the property once the last
  // was deleted, and ends with an empty one.
  XFlush(c.Dpy);
  for (;;) {
    if (!c.Next(PropertyNotify, event, TickMs() + uint64_t(timeoutMs), property)) {
      text.clear();
      return SelectionRead::TimedOut;
    }
    if (!TakeProperty(c.Dpy, c.Win, property, type, piece)) {
      text.clear();
      return SelectionRead::Unavailable;
    }
    XFlush(c.Dpy);
    if (piece.empty()) return SelectionRead::Ok;
    if (text.size() + piece.size() > limit) {
      text.clear();
      return SelectionRead::TooLarge;
    }
    text += piece;
  }
}

}  // namespace platform
