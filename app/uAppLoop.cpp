// The message loop and window procedure of the application object: every
// window event, timer tick and wake-up of worker calls is handled here, on
// the interface thread, in the roles and order the window procedure gives.
#include <cstdio>

#include "app/uApp.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uUtf8Cp437.h"
#include "data/uConfig.h"
#include "sound/uDDOFXSound.h"
#include "data/uPhonebook.h"
#include "door/uDDOFXParser.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Keys.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

void TApplication::Run() {
  if (!FWindow) return;
  FRunning = true;
  FWindow->RunUntil([this](const platform::Event& e) { WndProc(e); }, [this] { return !FRunning; }, UINT32_MAX);
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
    case EventKind::Paint: {
      if (!FRenderer) break;
      EnsureBackBuffer(FWindow->ClientWidth(), FWindow->ClientHeight());
      FBack.Fill(0);
      try {
        PaintScreen(FBack);
      } catch (const std::exception& ex) {
        FMode = smDirectory;
        FStatus = std::string("Render error: ") + ex.what();
      }
      if (FScreenshotDue) TakeScreenshot();
      FWindow->Present(FBack);
      break;
    }
    case EventKind::KeyDown: {
      FLastVKey = e.VirtualKey;
      FLastScanCode = e.ScanCode;
      LogLine("Key: WM_KEYDOWN vk=" + std::to_string(e.VirtualKey) + " scan=" + std::to_string(e.ScanCode) +
              " repeat=" + (e.Repeat ? "True" : "False"));
      std::string before = FStatus;
      try {
        HandleKeyDown(e.VirtualKey, e.Shift, e.Ctrl, e.ScanCode, e.Alt);
        if (FMode == smOnline && FStatus != before && FStatus.find_first_not_of(' ') != std::string::npos)
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
    case EventKind::MouseMove:
      FMouseX = e.X;
      FMouseY = e.Y;
      break;
    case EventKind::MouseDown:
      if (e.Button == 1 && FMode != smOnline) ScreenMouseDown(e.X, e.Y);
      if (e.Button == 2 && FMode == smEditor) PasteToEditor();
      break;
    case EventKind::MouseDouble:
      if (e.Button == 1 && FMode != smOnline) ScreenDoubleClick(e.X, e.Y);
      break;
    case EventKind::Wheel:
      HandleWheel(e.WheelDelta > 0, e.Shift);
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
    case tmSplash:
      FWindow->KillTimer(tmSplash);
      if (FMode == smSplash) {
        FMode = smDirectory;
        Invalidate();
      }
      break;
    case tmQuit:
      FWindow->KillTimer(tmQuit);
      FRunning = false;
      FWindow->PostQuit(0);
      break;
    case tmIgsReplay:
      IgsReplayTick();
      break;
    case tmHeldInput:
      ReplayHeldInput();
      break;
    case tmDoor:
      DoorAnimationTick();
      break;
    default:
      break;
  }
}

void TApplication::OnMainTimer() {
  if (!FBuffer) return;
  platform::CheckSynchronize(0);
  FBlinkPhase = !FBlinkPhase;
  FBuffer->Dirty = true;
  Invalidate();
  UpdateWindowTitle();
  UpdateDoorTimer();
  FZmodem->Tick();
  FXYmodem->Tick();
  if (FSimBytesPerSec > 0 && !FRxPending.empty()) DrainInput();
  if (FDialStage > 0) DialTick();
}

void TApplication::UpdateDoorTimer() {
  // The door audio engine follows the sound setting; the 30 ms door timer
  // runs while door graphics or timed door events are active.
  if (FDDOFXParser->Audio.FEnabled != FConfig->AnsiMusicEnabled) {
    FDDOFXParser->Audio.FEnabled = FConfig->AnsiMusicEnabled;
    if (!FConfig->AnsiMusicEnabled) FDDOFXParser->Audio.StopSamples();
    FDDOFXSound->Wake();
  }
  bool wanted = FDDOFXParser->Gfx.GraphicsMode || FDDOFXParser->HasActiveEvents();
  if (wanted && !FWindow->HasTimer(tmDoor)) FWindow->SetTimer(tmDoor, 30);
  if (!wanted && FWindow->HasTimer(tmDoor)) FWindow->KillTimer(tmDoor);
}

void TApplication::DoorAnimationTick() {
  uint64_t now = platform::TickMs();
  FDDOFXParser->TickEvents(now);
  if (FDDOFXParser->Gfx.GraphicsMode) {
    if (FDDOFXParser->Gfx.Tick(now) && IsDoorGraphicsMode()) Invalidate();
  } else {
    UpdateDoorTimer();
  }
}

bool TApplication::IsDoorGraphicsMode() const {
  return FMode == smOnline && FDDOFXParser && FDDOFXParser->Gfx.GraphicsMode && !FDoorTextView;
}

void TApplication::HandleWheel(bool up, bool shift) {
  if (FMode == smOnline) {
    if (!FWheelScrollback) {
      FSavedStatus = FStatus;
      FWheelScrollback = true;
    }
    FBuffer->SetScrollbackView(FBuffer->ScrollbackView + (up ? 3 : -3));
    if (FBuffer->ScrollbackView <= 0) {
      FBuffer->SetScrollbackView(0);
      FWheelScrollback = false;
      FStatus = FSavedStatus;
    } else {
      ScrollbackStatusText();
    }
    Invalidate();
  } else if (FMode == smDirectory) {
    TPhonebook* book = ActivePhonebook();
    int last = book ? book->Count() - 1 : -1;
    if (up && FDirectoryRow > 0) --FDirectoryRow;
    if (!up && FDirectoryRow < last) ++FDirectoryRow;
    Invalidate();
  }
}

TPhonebook* TApplication::ActivePhonebook() const {
  if (FShowGuide && FGuidebook) return FGuidebook.get();
  return FPhonebook.get();
}
