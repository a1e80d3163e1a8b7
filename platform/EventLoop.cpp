#include "platform/EventLoop.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <mutex>

#include "platform/EventBackend.h"
#include "platform/Keys.h"
#include "platform/OpenUrl.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

namespace platform {

Event Event::Key(uint16_t vk, bool shift, bool ctrl, bool alt) {
  Event e;
  e.Kind = EventKind::KeyDown;
  e.VirtualKey = vk;
  e.ScanCode = ScanCodeForVirtualKey(vk);
  e.Shift = shift;
  e.Ctrl = ctrl;
  e.Alt = alt;
  return e;
}

Event Event::Character(uint32_t codePoint) {
  Event e;
  e.Kind = EventKind::Char;
  e.CodePoint = codePoint;
  return e;
}

Event Event::Mouse(EventKind kind, int x, int y, int button) {
  Event e;
  e.Kind = kind;
  e.X = x;
  e.Y = y;
  e.Button = button;
  return e;
}

// Events posted from any thread, and the wake-up of queued calls. The wake
// hook may still be running on a worker while the loop is destroyed, so it
// reaches the backend only through this record, under its lock.
struct EventLoop::Pending {
  std::mutex Lock;
  std::deque<Event> Events;
  bool WakeQueued = false;
  EventBackend* Backend = nullptr;

  void Push(const Event& e) {
    std::lock_guard<std::mutex> hold(Lock);
    if (e.Kind == EventKind::Wake) {
      if (WakeQueued) return;  // one pending wake-up runs every queued call
      WakeQueued = true;
    }
    Events.push_back(e);
    if (Backend) Backend->Interrupt();
  }
  std::deque<Event> Take() {
    std::lock_guard<std::mutex> hold(Lock);
    std::deque<Event> out;
    out.swap(Events);
    WakeQueued = false;
    return out;
  }
};

EventLoop::EventLoop(const Options& options) : FHeadless(options.Headless) {
  if (!FHeadless) FBackend = MakeSdlBackend(options, FError);
  if (FHeadless) FBackend = MakeHeadlessBackend(options);
  FPending = std::make_shared<Pending>();
  FPending->Backend = FBackend.get();
  // A display that does not tell its rate is taken to refresh 60 times a second.
  const int hz = FBackend && FBackend->Ok() ? FBackend->RefreshHz() : 0;
  FFrameMs = uint32_t(1000 / (hz >= 20 && hz <= 1000 ? hz : 60));
  SetInterfaceThread();
  std::weak_ptr<Pending> pending = FPending;
  SetWakeHook([pending] {
    if (auto p = pending.lock()) {
      Event e;
      e.Kind = EventKind::Wake;
      p->Push(e);
    }
  });
}

EventLoop::~EventLoop() {
  SetWakeHook(nullptr);
  {
    std::lock_guard<std::mutex> hold(FPending->Lock);
    FPending->Backend = nullptr;
  }
  FBackend.reset();
}

bool EventLoop::Ok() const { return FBackend && FBackend->Ok(); }

void EventLoop::Post(const Event& event) { FPending->Push(event); }

void EventLoop::Invalidate() {
  FInvalid = true;
}

void EventLoop::SetTimer(int id, uint32_t periodMs) {
  KillTimer(id);
  FTimers.push_back(Timer{id, std::max<uint32_t>(periodMs, 1), TickMs() + std::max<uint32_t>(periodMs, 1)});
}

void EventLoop::KillTimer(int id) {
  FTimers.erase(std::remove_if(FTimers.begin(), FTimers.end(), [id](const Timer& t) { return t.Id == id; }),
                FTimers.end());
}

bool EventLoop::HasTimer(int id) const {
  return std::any_of(FTimers.begin(), FTimers.end(), [id](const Timer& t) { return t.Id == id; });
}

int EventLoop::MsUntilDue() const {
  int wait = MsUntilNextTimer();
  if (!FInvalid) return wait;
  const uint64_t now = TickMs(), paint = FLastPaint + FFrameMs;
  const int toPaint = paint <= now ? 0 : int(paint - now);
  return wait < 0 ? toPaint : std::min(wait, toPaint);
}

int EventLoop::MsUntilNextTimer() const {
  if (FTimers.empty()) return -1;
  uint64_t now = TickMs();
  uint64_t next = UINT64_MAX;
  for (const Timer& t : FTimers) next = std::min(next, t.Due);
  return next <= now ? 0 : int(std::min<uint64_t>(next - now, 1000000));
}

void EventLoop::Dispatch(const Event& event) {
  if (event.Kind == EventKind::Quit) {
    FQuit = true;
    return;
  }
  if (FHandler) FHandler(event);
}

// One round of the loop: input first, then one paint when the window is
// invalid, then the timers that are due. Returns true when anything ran.
bool EventLoop::Step(bool block, bool exceptPaint) {
  std::vector<Event> native;
  FBackend->Poll(native);
  std::deque<Event> posted = FPending->Take();
  for (const Event& e : native) {
    if (e.Kind == EventKind::Paint) {
      FInvalid = true;
      continue;
    }
    if (e.Kind == EventKind::Size) FInvalid = true;
    posted.push_back(e);
  }
  bool worked = !posted.empty();
  for (const Event& e : posted) {
    if (FQuit) return true;
    if (e.Kind == EventKind::Paint) {
      FInvalid = true;
      continue;
    }
    Dispatch(e);
  }
  if (FQuit) return true;
  uint64_t now = TickMs();
  if (FInvalid && !exceptPaint && PaintDue(now)) {
    PaintNow();
    worked = true;
    now = TickMs();
  }
  std::vector<int> due;
  for (Timer& t : FTimers)
    if (t.Due <= now) {
      due.push_back(t.Id);
      t.Due = now + t.Period;  // a late timer fires once, not once per missed period
    }
  for (int id : due) {
    if (FQuit) return true;
    if (!HasTimer(id)) continue;  // killed by an earlier timer of this round
    Event tick;
    tick.Kind = EventKind::Timer;
    tick.TimerId = id;
    Dispatch(tick);
    worked = true;
  }
  if (!worked && block && !FQuit) {
    ++FSleeps;
    FBackend->Wait(MsUntilDue());
  }
  return worked;
}

int EventLoop::Run(Handler handler) {
  FHandler = std::move(handler);
  while (!FQuit) Step(true, false);
  return FQuitCode;
}

bool EventLoop::RunUntil(Handler handler, const std::function<bool()>& done, uint32_t timeoutMs, uint32_t pollMs) {
  FHandler = std::move(handler);
  const uint64_t until = TickMs() + timeoutMs;
  while (!FQuit && !done()) {
    uint64_t now = TickMs();
    if (now >= until) break;
    // After a round that did something and left nothing due, the loop
    // sleeps at once rather than look for input once more: the wait ends
    // at once when input or a posted event is already there.
    const bool worked = Step(false, false);
    if (!worked || (!FQuit && !done() && MsUntilDue() != 0)) {
      // The time left can exceed an int (the program's own loop runs with
      // no limit); the wait ends at the next timer or paint that is due.
      int wait = MsUntilDue();
      int left = int(std::min<uint64_t>(until - now, INT_MAX));
      if (pollMs > 0) left = std::min(left, int(pollMs));
      ++FSleeps;
      FBackend->Wait(wait < 0 ? left : std::min(wait, left));
    }
  }
  return done();
}

void EventLoop::PumpMessages(bool exceptPaint) { Step(false, exceptPaint); }

void EventLoop::UpdateNow() {
  if (FInvalid && PaintDue(TickMs())) PaintNow();
}

void EventLoop::PaintNow() {
  FInvalid = false;
  FLastPaint = TickMs();
  Event paint;
  paint.Kind = EventKind::Paint;
  Dispatch(paint);
}

void EventLoop::PostQuit(int code) {
  FQuitCode = code;
  Event e;
  e.Kind = EventKind::Quit;
  Post(e);
  FQuit = true;
}

void EventLoop::SetTitle(const std::string& title) { FBackend->SetTitle(title); }
std::string EventLoop::Title() const { return FBackend->Title(); }
void EventLoop::SetClientSize(int width, int height) {
  FBackend->SetClientSize(width, height);
  FInvalid = true;
}
int EventLoop::ClientWidth() const {
  int w = 0, h = 0;
  FBackend->ClientSize(w, h);
  return w;
}
int EventLoop::ClientHeight() const {
  int w = 0, h = 0;
  FBackend->ClientSize(w, h);
  return h;
}
Surface& EventLoop::BackBuffer() {
  int w = 0, h = 0;
  uint64_t generation = 0;
  if (uint32_t* image = FBackend->WindowImage(w, h, generation)) {
    if (generation != FBackGeneration || !FBack.IsView() || FBack.Width() != w || FBack.Height() != h) {
      FBack = Surface::Over(image, w, h);
      FBackGeneration = generation;
    }
    return FBack;
  }
  FBackGeneration = 0;
  FBackend->ClientSize(w, h);
  if (FBack.IsView() || FBack.Width() != w || FBack.Height() != h || FBack.Empty()) FBack.Resize(w, h);
  return FBack;
}

void EventLoop::FreeBackBuffer() {
  FBack = Surface();
  FBackGeneration = 0;
}

void EventLoop::Present(const Surface& frame) {
  Present(frame, std::vector<Rect>{Rect{0, 0, frame.Width(), frame.Height()}});
}

void EventLoop::Present(const Surface& frame, const std::vector<Rect>& changed) {
  // A view of a window image the window system has since made anew points
  // at pixels that are gone: that frame is dropped and the next one drawn
  // into the new image.
  if (&frame == &FBack && FBackGeneration != 0) {
    int w = 0, h = 0;
    uint64_t generation = 0;
    if (!FBackend->WindowImage(w, h, generation) || generation != FBackGeneration) {
      FreeBackBuffer();
      FInvalid = true;
      return;
    }
  }
  ++FFrames;
  if (changed.empty()) ++FEmptyFrames;
  FBackend->Present(frame, changed);
  if (!FHeadless) return;
  // Tests read the frame back: keep a copy, refreshed where it changed.
  if (FPresented.Width() != frame.Width() || FPresented.Height() != frame.Height()) {
    FPresented = frame;
    return;
  }
  for (const Rect& r : changed) FPresented.Copy(frame, r, r.Left, r.Top);
}
void EventLoop::SetCursor(CursorKind kind) {
  FCursor = kind;
  FBackend->SetCursor(kind);
}
void EventLoop::SetFullScreen(bool on) { FBackend->SetFullScreen(on); }
bool EventLoop::FullScreen() const { return FBackend->FullScreen(); }
void EventLoop::SetMaximized(bool on) { FBackend->SetMaximized(on); }
bool EventLoop::Maximized() const { return FBackend->Maximized(); }
void EventLoop::SetMinimized(bool on) { FBackend->SetMinimized(on); }
bool EventLoop::Minimized() const { return FBackend->Minimized(); }
void EventLoop::Raise() { FBackend->Raise(); }
void EventLoop::Show() { FBackend->Show(); }
bool EventLoop::HasFocus() const { return FBackend->HasFocus(); }
void EventLoop::DesktopSize(int& width, int& height) const { FBackend->DesktopSize(width, height); }
bool EventLoop::WorkArea(Rect& area) const { return FBackend->WorkArea(area); }
void EventLoop::FrameBorders(int& left, int& top, int& right, int& bottom) const {
  FBackend->FrameBorders(left, top, right, bottom);
}
void EventLoop::SetOuterPosition(int x, int y) { FBackend->SetOuterPosition(x, y); }
void EventLoop::OuterPosition(int& x, int& y) const { FBackend->OuterPosition(x, y); }
void EventLoop::SetClipboardText(const std::string& utf8) { FBackend->SetClipboardText(utf8); }
std::string EventLoop::ClipboardText() const { return FBackend->ClipboardText(); }
std::string EventLoop::ClipboardRefusal() const { return FBackend->ClipboardRefusal(); }
void EventLoop::Beep() {
  ++FBeeps;
  FBackend->Beep();
}
void EventLoop::OpenUrl(const std::string& url) {
  FUrlsOpened.push_back(url);
  // The opener ends on a worker thread, perhaps after this loop is gone.
  std::weak_ptr<Pending> pending = FPending;
  auto ended = [pending, url](int status) {
    if (status == 0) return;
    if (auto p = pending.lock()) {
      Event e;
      e.Kind = EventKind::LinkNotOpened;
      e.Paths = {url};
      e.ExitStatus = status;
      p->Push(e);
    }
  };
  if (!FBackend->OpenUrl(url, ended)) ended(kOpenerNotStarted);
}

}  // namespace platform
