// The message loop and window procedure of the application object: every
// window event, timer tick and wake-up of worker calls is handled here, on
// the interface thread, in the roles and order the window procedure gives.
#include <cstdio>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uAppDoors.h"
#include "app/uAppOutput.h"
#include "app/uAppReader.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"
#include "app/uOnlineMouse.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uUtf8Cp437.h"
#include "data/uConfig.h"
#include "data/uLoginScript.h"
#include "data/uPhonebook.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Keys.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

void TApplication::Run() {
  if (!FWindow) return;
  FRunning = true;
  // Idle, the loop sleeps until the next timer or paint is due or an event
  // comes: FRunning is only ever cleared by the events it handles.
  FWindow->RunUntil([this](const platform::Event& e) { WndProc(e); }, [this] { return !FRunning; }, UINT32_MAX, 0);
  FRunning = false;
}

bool TApplication::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
  if (!FWindow) return false;
  FRunning = true;
  return FWindow->RunUntil([this](const platform::Event& e) { WndProc(e); },
                           [this, &done] { return !FRunning || done(); }, timeoutMs) &&
         done();
}

void TApplication::WakeMainThread() {
  if (FWindow) {
    platform::Event e;
    e.Kind = platform::EventKind::Wake;
    FWindow->Post(e);
  }
}

void TApplication::Invalidate() {
  if (FWindow) FWindow->Invalidate();
}

void TApplication::PumpMessages() {
  if (!FWindow || !FRunning) return;
  FWindow->PumpMessages(true);
  if (FWindow->QuitPosted()) FRunning = false;
}

void TApplication::WndProc(const platform::Event& e) {
  using platform::EventKind;
  switch (e.Kind) {
    case EventKind::Close:
      FRunning = false;
      FWindow->PostQuit(0);
      break;
    case EventKind::Size:
      FreeBackBuffer();
      Invalidate();
      SnapAspectAfterResize();
      break;
    case EventKind::Activate:
      Invalidate();
      break;
    case EventKind::Paint:
      PaintFrame();
      break;
    case EventKind::KeyDown: {
      FLastVKey = e.VirtualKey;
      FLastScanCode = e.ScanCode;
      LogLine("Key: WM_KEYDOWN vk=" + std::to_string(e.VirtualKey) + " scan=" + std::to_string(e.ScanCode) +
              " repeat=" + (e.Repeat ? "True" : "False"));
      std::string before = FStatus;
      const uint64_t untilBefore = FStatusUntil;
      try {
        HandleKeyDown(e.VirtualKey, e.Shift, e.Ctrl, e.ScanCode, e.Alt);
        // A message that set its own display time keeps it.
        if (ScreenMode() == smOnline && FStatus != before && FStatusUntil == untilBefore &&
            FStatus.find_first_not_of(' ') != std::string::npos)
          FStatusUntil = platform::TickMs() + (FStatusShort ? 600 : 3000);
      } catch (const std::exception& ex) {
        FStatus = std::string("Key handler error: ") + ex.what();
      }
      FStatusShort = false;
      Invalidate();
      break;
    }
    case EventKind::Char: {
      // Typed text arrives as Unicode and becomes CP437 (M6); characters
      // CP437 lacks take their approximation or "?".
      uint8_t ch = UnicodeToCp437OrQuestion(e.CodePoint);
      if (ch < 32) break;
      LogLine(std::string("Key: WM_CHAR received '") + char(ch) + "'");
      try {
        HandleChar(ch, e.CodePoint);
      } catch (const std::exception& ex) {
        FStatus = std::string("Key handler error: ") + ex.what();
      }
      Invalidate();
      break;
    }
    case EventKind::Timer:
      OnTimer(e.TimerId);
      break;
    case EventKind::DropFiles:
      FUploads->HandleDroppedFiles(e.Paths);
      break;
    case EventKind::MouseMove:
    case EventKind::MouseDown:
    case EventKind::MouseDouble:
    case EventKind::MouseUp:
    case EventKind::Wheel:
      HandleMouseEvent(e);
      break;
    case EventKind::LinkNotOpened:
      if (!e.Paths.empty()) FMouse->LinkNotOpened(e.Paths.front(), e.ExitStatus);
      Invalidate();
      break;
    case EventKind::Wake: {
      platform::CheckSynchronize(0);
      uint64_t now = platform::TickMs();
      if (now >= FLastAudioPoll + 250) FLastAudioPoll = now;
      break;
    }
    default:
      break;
  }
}

// One frame: the painter of the current screen draws into the back buffer
// (on X11 the window's own image), and the window shows the parts that
// changed. The renderer keeps what it presented into the back buffer and
// brings only changed cells up to date, so the buffer is cleared black only
// when it is new (a new one of its own is black already) or the last frame
// was drawn by something else.
void TApplication::PaintFrame() {
  if (!FRenderer) return;
  platform::Surface& back = FWindow->BackBuffer();
  const bool fresh = back.Id() != FBackId;
  FBackId = back.Id();
  if (fresh || !FLastFrameByRenderer) {
    if (!fresh || back.IsView()) back.Fill(0);
    FRenderer->ForgetTarget();
  }
  FRenderer->BeginFrame();
  try {
    PaintScreen(back);
  } catch (const std::exception& ex) {
    SwitchScreen(smDirectory);
    FStatus = std::string("Render error: ") + ex.what();
  }
  FLastFrameByRenderer = FRenderer->EndFrame();
  if (FScreenshotDue) FOutput->TakeScreenshot(back);
  FRenderer->TakeTargetDamage(FFrameDamage);
  if (!FLastFrameByRenderer) {
    FRenderer->ForgetTarget();
    FFrameDamage.assign(1, platform::Rect{0, 0, back.Width(), back.Height()});
  }
  FWindow->Present(back, FFrameDamage);
}

void TApplication::OnTimer(int id) {
  switch (id) {
    case tmMain:
      OnMainTimer();
      break;
    case tmFocus:
      if (FWindow->HasFocus() || FFocusTries >= 40) {
        FWindow->KillTimer(tmFocus);
      } else {
        ++FFocusTries;
        ForceForeground();
      }
      break;
    case tmScreen:
      FWindow->KillTimer(tmScreen);
      if (std::shared_ptr<TScreen> screen = FScreens.Current()) screen->Tick();
      Invalidate();
      break;
    case tmQuit:
      FWindow->KillTimer(tmQuit);
      FRunning = false;
      FWindow->PostQuit(0);
      break;
    case tmHeldInput:
      FCall->ReplayHeldInput();
      break;
    case tmDoorProcess:
      FDoors->DoorProcessTick();
      break;
    default:
      // A mode's own timer.
      if (FModes && id >= tmModeFirst && size_t(id - tmModeFirst) < FModes->Count())
        FModes->At(size_t(id - tmModeFirst)).TimerTick();
      break;
  }
}

void TApplication::OnMainTimer() {
  if (!FBuffer) return;
  platform::CheckSynchronize(0);
  FBlinkPhase = !FBlinkPhase;
  FBuffer->Dirty = true;
  FReader->SpeakChanges();
  FCall->LoginStepsTick();
  FScripts->ScriptTick();
  UpdateWindowTitle();
  FModes->MainTick();
  FCall->TransfersTick();
  if (FUploads->AsciiUploadRunning()) FUploads->AsciiUploadTick();
  if (FCall->SimBytesPerSec() > 0 && FCall->RxWaiting() > 0) FCall->DrainInput();
  if (FDialStage > 0) DialTick();
  // The call's screen blinks and counts the call's time with this tick; a
  // composed screen is painted again only when its picture changed.
  if (ComposedPictureChanged()) Invalidate();
  LogFlushPending();
}

bool TApplication::PixelToCell(int x, int y, int& col, int& row) const {
  if (!FRenderer || !FWindow) return false;
  return FRenderer->ClientToCell(x, y, 0, 0, FWindow->ClientWidth(), FWindow->ClientHeight(), col, row);
}

TPhonebook* TApplication::ActivePhonebook() const {
  if (FShowGuide && FGuidebook) return FGuidebook.get();
  return FPhonebook.get();
}
