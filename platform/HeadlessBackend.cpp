// The headless window: no display, no input of its own. Tests post events to
// the loop and read the presented frame back from it.
#include <condition_variable>
#include <mutex>

#include "platform/EventBackend.h"

namespace platform {
namespace {

class HeadlessBackend : public EventBackend {
 public:
  explicit HeadlessBackend(const EventLoop::Options& options)
      : FTitle(options.Title), FWidth(options.Width), FHeight(options.Height) {}

  bool Ok() const override { return true; }
  void Wait(int timeoutMs) override {
    std::unique_lock<std::mutex> hold(FLock);
    if (FInterrupted) {
      FInterrupted = false;
      return;
    }
    if (timeoutMs < 0)
      FWake.wait(hold, [&] { return FInterrupted; });
    else
      FWake.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return FInterrupted; });
    FInterrupted = false;
  }
  void Interrupt() override {
    {
      std::lock_guard<std::mutex> hold(FLock);
      FInterrupted = true;
    }
    FWake.notify_all();
  }
  void Poll(std::vector<Event>&) override {}
  void Present(const Surface&, const std::vector<Rect>&) override {}
  int RefreshHz() const override { return 60; }
  void SetTitle(const std::string& title) override { FTitle = title; }
  std::string Title() const override { return FTitle; }
  void SetClientSize(int width, int height) override {
    FWidth = width;
    FHeight = height;
  }
  void ClientSize(int& width, int& height) const override {
    width = FWidth;
    height = FHeight;
  }
  void SetCursor(CursorKind) override {}
  void SetFullScreen(bool on) override { FFull = on; }
  bool FullScreen() const override { return FFull; }
  void SetMaximized(bool on) override { FMaximized = on; }
  bool Maximized() const override { return FMaximized; }
  void SetMinimized(bool on) override { FMinimized = on; }
  bool Minimized() const override { return FMinimized; }
  void Raise() override {}
  void Show() override {}
  bool HasFocus() const override { return true; }
  void DesktopSize(int& width, int& height) const override {
    width = 1920;
    height = 1080;
  }
  bool WorkArea(Rect& area) const override {
    area = Rect{0, 0, 1920, 1040};
    return true;
  }
  void FrameBorders(int& left, int& top, int& right, int& bottom) const override { left = top = right = bottom = 0; }
  void SetOuterPosition(int x, int y) override {
    FX = x;
    FY = y;
  }
  void OuterPosition(int& x, int& y) const override {
    x = FX;
    y = FY;
  }
  void SetClipboardText(const std::string& utf8) override { FClipboard = utf8; }
  std::string ClipboardText() const override { return FClipboard; }
  void Beep() override {}
  bool OpenUrl(const std::string&, std::function<void(int)>) override { return true; }  // the loop records it

 private:
  std::mutex FLock;
  std::condition_variable FWake;
  bool FInterrupted = false;
  std::string FTitle;
  int FWidth, FHeight;
  int FX = 0, FY = 0;
  bool FFull = false;
  bool FMaximized = false;
  bool FMinimized = false;
  std::string FClipboard;
};

}  // namespace

std::unique_ptr<EventBackend> MakeHeadlessBackend(const EventLoop::Options& options) {
  return std::make_unique<HeadlessBackend>(options);
}

}  // namespace platform
