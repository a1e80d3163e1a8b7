// The receive pipeline: every byte a board sends is counted, captured,
// queued, drained in chunks (paced by the modem-speed simulation) and handed
// through the fixed chain of filters to exactly one text emulation.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <thread>

#include "app/uApp.h"
#include "core/uAnsiParser.h"
#include "core/uAsciiParser.h"
#include "core/uAvatarParser.h"
#include "core/uVT52Parser.h"
#include "core/uViewdataParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uPetsciiParser.h"
#include "core/uSessionCapture.h"
#include "core/uTextEmulation.h"
#include "data/uConfig.h"
#include "door/uDDOFXParser.h"
#include "door/uOOIIParser.h"
#include "graphics/uIGSParser.h"
#include "graphics/uITerm2Parser.h"
#include "graphics/uRipParser.h"
#include "graphics/uSixelParser.h"
#include "net/uIEMSI.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Tick.h"

namespace {

constexpr size_t kChunkLimit = 2048;
constexpr size_t kPauseLimit = 16 * 1024 * 1024;
constexpr size_t kTailLength = 512;
// The most quiet time a modem-speed budget may take into a new burst: one
// period of the main timer, which drains a backlog at least that often.
constexpr uint32_t kBudgetIdleMs = 500;

}  // namespace

void TApplication::OnTelnetData(const uint8_t* data, int count) {
  if (count <= 0) return;
  FBytesIn += count;
  if (CaptureActive()) CaptureWrite(data, size_t(count));
  // Time with nothing waiting banks no budget: a burst after a quiet spell
  // starts with at most one timer period's worth of bytes. While a backlog
  // waits, the budget counts every millisecond, so the rate stays exact.
  if (FRxPending.empty() && FSimBytesPerSec > 0) {
    const uint32_t now = uint32_t(platform::TickMs());
    if (now - FBudgetTick > kBudgetIdleMs) FBudgetTick = now - kBudgetIdleMs;
  }
  FRxPending.insert(FRxPending.end(), data, data + count);
  DrainInput();
}

int32_t TApplication::BaudBudget() {
  if (FSimBytesPerSec <= 0) return INT32_MAX;
  // The tick is read as 32 bits on purpose: the difference wraps correctly.
  uint32_t now = uint32_t(platform::TickMs());
  uint32_t elapsed = now - FBudgetTick;
  FBudgetTick = now;
  double d = elapsed / 1000.0 * FSimBytesPerSec + FBudgetCarry;
  int32_t whole = int32_t(std::min(d, double(INT32_MAX)));
  FBudgetCarry = d - whole;
  return whole;
}

void TApplication::DrainInput() {
  if (FDraining) return;
  if (FPaused) {
    if (FRxPending.size() < kPauseLimit) return;
    FPaused = false;
  }
  FDraining = true;
  try {
    size_t done = 0;  // bytes taken from the front of FRxPending
    while (FRunning) {
      size_t n = FRxPending.size() - done;
      if (n < 1) break;
      size_t chunk = std::min(n, kChunkLimit);
      if (FSimBytesPerSec > 0) {
        int32_t budget = BaudBudget();
        if (budget < 1) break;
        chunk = std::min(chunk, size_t(budget));
      }
      std::vector<uint8_t> copy(FRxPending.begin() + ptrdiff_t(done), FRxPending.begin() + ptrdiff_t(done + chunk));
      done += chunk;
      ProcessIncoming(copy.data(), int(chunk), false);
      if (!FRunning) break;
      if (FRxPending.size() > done) {
        // Keys, timers and new data get through between chunks; new data is
        // appended behind what is left, and its own drain returns at once.
        FRxPending.erase(FRxPending.begin(), FRxPending.begin() + ptrdiff_t(done));
        done = 0;
        PumpMessages();
      }
    }
    FRxPending.erase(FRxPending.begin(), FRxPending.begin() + ptrdiff_t(std::min(done, FRxPending.size())));
  } catch (...) {
    FDraining = false;
    throw;
  }
  FDraining = false;
  if (FWindow) FWindow->UpdateNow();
  int32_t pace = FConfig ? FConfig->DoorFramePaceMs : 0;
  if (pace > 0) {
    uint64_t now = platform::TickMs();
    if (now - FLastFrameTick < uint64_t(pace))
      std::this_thread::sleep_for(std::chrono::milliseconds(uint64_t(pace) - (now - FLastFrameTick)));
    FLastFrameTick = platform::TickMs();
  }
}

void TApplication::ProcessIncoming(const uint8_t* data, int count, bool replay) {
  if (count > 0) {
    FRxTail.append(reinterpret_cast<const char*>(data), size_t(count));
    if (FRxTail.size() > kTailLength) FRxTail.erase(0, FRxTail.size() - kTailLength);
    if (!FRenegade) {
      std::string upper = FRxTail;
      for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
      if (upper.find("RENEGADE BULLETIN BOARD SYSTEM") != std::string::npos ||
          upper.find("{RENEGADE,") != std::string::npos) {
        FRenegade = true;
        LogLine("Keys: Renegade BBS detected - PgUp/PgDn/Ins now send ESC[r / ESC[q / ESC[n");
      }
    }
  }
  const bool doorSession = FDDOFXParser && FDDOFXParser->Active();
  FZmodem->DdofxActive = doorSession;
  FZmodem->UseDdofxDir = doorSession;

  // While an X/Ymodem transfer runs its blocks are binary data: the Zmodem
  // detector must not hold or swallow a "*" followed by a CAN in them.
  bool fed = false;
  for (int i = 0; i < count; ++i) {
    if (replay || FXYmodem->Mode != TXYmodemEngine::xmIdle) {
      PassFilters(data[i], fed);
      continue;
    }
    uint8_t out[8];
    int n = 0;
    FZmodem->ProcessIncoming(data[i], out, n);
    for (int k = 0; k < n; ++k) PassFilters(out[k], fed);
  }

  if (!replay && FZmodem->HasHeldBytes() && !FWindow->HasTimer(tmHeldInput)) FWindow->SetTimer(tmHeldInput, 60);
  bool sixelPlaced = FSixelEnabled && FSixel->TakeImagePlaced();
  bool itermPlaced = FITerm2Enabled && FITerm2->TakeImagePlaced();
  if (sixelPlaced || itermPlaced) FGfxDirty = true;
  bool igsDirty = FIgsMode && FIgsParser->TakeDirty();
  bool ripChanged = FRipMode && FRipCanvas->Changed;
  if (fed && FXferPanelUntil != 0 && !(FZmodem->State >= 2 && FZmodem->State <= 4) &&
      FXYmodem->Mode == TXYmodemEngine::xmIdle)
    FXferPanelUntil = 0;  // the transfer window goes as soon as the board writes text again
  if (fed || ripChanged || igsDirty) FBuffer->Dirty = true;
  if (fed || ripChanged || sixelPlaced || itermPlaced || igsDirty) Invalidate();
  if (FIgsMode) StartIgsReplay();
}

// Stages after the Zmodem detector: X/Ymodem, IEMSI, the door clients, the
// picture decoders, then the graphics emulation or the text emulation.
void TApplication::PassFilters(uint8_t b, bool& fed) {
  if (FXYmodem->Mode != TXYmodemEngine::xmIdle && !FXYmodem->ProcessByte(b)) return;
  if (FIemsiEnabled) {
    std::vector<uint8_t>& released = FIemsiOut;
    released.clear();
    FIemsi->ProcessByte(b, released);
    if (FIemsi->SendIciWanted) {
      FIemsi->SendIciWanted = false;
      SendIemsiIci();
    }
    if (FIemsi->SendAckWanted) {
      FIemsi->SendAckWanted = false;
      SendIemsiReply();
    }
    for (uint8_t r : released) PassDoorAndGraphics(r, fed);
    return;
  }
  PassDoorAndGraphics(b, fed);
}

void TApplication::PassDoorAndGraphics(uint8_t b, bool& fed) {
  if (FOOIIParser->FilterByte(b)) return;
  if (!MinorEmulationActive() && FDDOFXParser->FilterByte(b)) return;
  if (FITerm2Enabled) {
    std::vector<uint8_t>& out = FITerm2Out;
    out.clear();
    FITerm2->ProcessByte(b, out);
    for (uint8_t o : out) PassSixel(o, fed);
    return;
  }
  PassSixel(b, fed);
}

void TApplication::PassSixel(uint8_t b, bool& fed) {
  if (FSixelEnabled) {
    std::vector<uint8_t>& out = FSixelOut;
    out.clear();
    FSixel->ProcessByte(b, out);
    for (uint8_t o : out) PassGraphics(o, fed);
    return;
  }
  PassGraphics(b, fed);
}

void TApplication::PassGraphics(uint8_t b, bool& fed) {
  if (FIgsMode || FRipMode) {
    std::vector<uint8_t>& out = FGraphicsOut;
    out.clear();
    if (FIgsMode)
      FIgsParser->FeedByte(b, out);
    else
      FRipParser->Feed(b, out);
    for (uint8_t o : out) {
      FeedByte(o);
      fed = true;
    }
    return;
  }
  FeedByte(b);
  fed = true;
}

void TApplication::FeedByte(uint8_t b) {
  if (FRipTextHidden) return;
  if (TTextEmulation* emulation = ActiveMinorEmulation()) {
    emulation->Feed(b);
  } else if (FUtf8Mode) {
    uint8_t out[2];
    int n = FUtf8Decoder.Decode(b, out);
    for (int i = 0; i < n; ++i) FParser->ProcessChar(out[i]);
  } else {
    FParser->ProcessChar(b);
  }
}

TTextEmulation* TApplication::ActiveMinorEmulation() const {
  if (FPetsciiActive) return FPetscii.get();
  if (FAvatarActive) return FAvatar.get();
  if (FViewdataActive) return FViewdata.get();
  if (FVT52Active) return FVT52.get();
  if (FAsciiActive) return FAscii.get();
  return nullptr;
}

bool TApplication::TransferRunning() const {
  return (FZmodem->State >= 2 && FZmodem->State <= 4) ||
         (FXYmodem->Mode != TXYmodemEngine::xmIdle && !FXYmodem->IsWaitingForReceiver());
}

void TApplication::TogglePause() {
  if (FPaused) {
    FPaused = false;
    FBudgetTick = uint32_t(platform::TickMs());
    FBudgetCarry = 0;
    FStatusUntil = 0;
    DrainInput();
  } else {
    if (!FTelnet) return;
    if (TransferRunning()) {
      SetStatus("Can't pause during a file transfer", 2500);
    } else {
      FPaused = true;
    }
  }
  Invalidate();
}

void TApplication::ReplayHeldInput() {
  FWindow->KillTimer(tmHeldInput);
  if (!FZmodem->HasHeldBytes()) return;
  uint64_t minAge = 50;
  if (FSimBytesPerSec > 0) minAge += uint64_t(std::llround(3000.0 / FSimBytesPerSec));
  uint8_t held[8];
  int count = 0;
  if (FZmodem->TakeHeldBytes(minAge, held, count)) {
    ProcessIncoming(held, count, true);
  } else if (FZmodem->HasHeldBytes()) {
    FWindow->SetTimer(tmHeldInput, 60);
  }
}

void TApplication::StartIgsReplay() {
  if (!FWindow->HasTimer(tmIgsReplay) && FIgsMode && FIgsParser->IsBusy()) {
    FWindow->SetTimer(tmIgsReplay, 15);
    FIgsReplayRunning = true;
  }
}

void TApplication::IgsReplayTick() {
  std::vector<uint8_t> out;
  if (FIgsMode && FIgsParser->ProcessQueued(out)) {
    for (uint8_t b : out) FeedByte(b);
    FIgsParser->TakeDirty();
    FBuffer->Dirty = true;
    Invalidate();
  }
  if (!(FIgsMode && FIgsParser->IsBusy())) {
    FWindow->KillTimer(tmIgsReplay);
    FIgsReplayRunning = false;
  }
}
