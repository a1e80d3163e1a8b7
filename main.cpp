// The program body: opens the main window and runs its event loop until the
// window is closed.
#include <cstdio>

#include "platform/EventLoop.h"
#include "platform/Surface.h"

int main(int argc, char** argv) {
  platform::EventLoop loop(platform::EventLoop::Options{});
  if (!loop.Ok()) {
    std::fprintf(stderr, "korvan: %s\n", loop.Error().c_str());
    return 1;
  }
  platform::Surface frame;
  return loop.Run([&](const platform::Event& e) {
    switch (e.Kind) {
      case platform::EventKind::Paint:
        frame.Resize(loop.ClientWidth(), loop.ClientHeight());
        frame.Fill(0);
        loop.Present(frame);
        break;
      case platform::EventKind::Close:
        loop.PostQuit(0);
        break;
      default:
        break;
    }
  });
}
