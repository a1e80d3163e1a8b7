// The call's receive pipeline: every byte a board sends is counted, captured,
// queued, drained in chunks (paced by the modem-speed simulation) and handed
// through the fixed chain of filters (the call's own stages, then its modes in
// table order) to exactly one text emulation.
#include <algorithm>
#include <cmath>
#include <string_view>
#include <thread>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uSessionCapture.h"
#include "core/uTerminalBuffer.h"
#include "core/uTextEmulation.h"
#include "data/uConfig.h"
#include "data/uLoginScript.h"
#include "net/uIEMSI.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

namespace {

constexpr size_t kChunkLimit = 2048;
// How much received data may wait undrained while the transport reads on.
constexpr size_t kReadAhead = 64 * 1024;
constexpr size_t kPauseLimit = 16 * 1024 * 1024;
constexpr size_t kTailLength = 512;
// The most quiet time a modem-speed budget may take into a new burst: one
// period of the main timer, which drains a backlog at least that often.
constexpr uint32_t kBudgetIdleMs = 500;

// Whether Tail holds Text (upper-case ASCII; the tail's case is ignored)
// ending within its last Count characters.
bool EndsInChunk(const std::string& tail, size_t count, std::string_view text) {
  const size_t from = tail.size() > count + text.size() ? tail.size() - count - text.size() : 0;
  return std::search(tail.begin() + ptrdiff_t(from), tail.end(), text.begin(), text.end(), [](char a, char b) {
           return (a >= 'a' && a <= 'z' ? char(a - 'a' + 'A') : a) == b;
         }) != tail.end();
}

}  // namespace

void TCall::OnTelnetData(const uint8_t* data, int count) {
  if (count <= 0) return;
  FCounts.BytesIn += count;
  if (CaptureActive()) CaptureWrite(data, size_t(count));
  Host.Received(data, count);
  // Time with nothing waiting banks no budget: a burst after a quiet spell
  // starts with at most one timer period's worth of bytes. While a backlog
  // waits, the budget counts every millisecond, so the rate stays exact.
  if (RxWaiting() == 0 && FSimBytesPerSec > 0) {
    const uint32_t now = uint32_t(platform::TickMs());
    if (now - FBudgetTick > kBudgetIdleMs) FBudgetTick = now - kBudgetIdleMs;
  }
  FRxPending.insert(FRxPending.end(), data, data + count);
  // The bytes are copied: the transport reads on while they are drained,
  // unless that would leave more than kReadAhead waiting. Then it waits
  // until the drain has caught up.
  // Door frame pacing keeps one drain per delivery: each is a frame.
  if (ReadAheadAllowed()) {
    if ((FDraining || FModes.HoldsInput()) && RxWaiting() > kReadAhead)
      platform::HoldCaller();
    else
      platform::ReleaseCaller();
  }
  DrainInput();
}

bool TCall::ReadAheadAllowed() const {
  const TAppConfig* config = Host.Settings();
  return !(config && config->DoorFramePaceMs > 0);
}

int32_t TCall::BaudBudget() {
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

void TCall::DrainInput() {
  if (FDraining) return;
  if (FPaused) {
    if (RxWaiting() < kPauseLimit) return;
    FPaused = false;
  }
  // A mode that holds a backlog of its own takes nothing more until it asks
  // for more; meanwhile the transport waits once the read-ahead is full.
  if (FModes.HoldsInput()) return;
  FDraining = true;
  // Events let through during the drain may end this call; it lives until
  // the drain is over, which then stops.
  std::shared_ptr<TCall> self = shared_from_this();
  // Sheds the drained front of the queue.
  auto compact = [this] {
    FRxPending.erase(FRxPending.begin(), FRxPending.begin() + ptrdiff_t(std::min(FRxHead, FRxPending.size())));
    FRxHead = 0;
  };
  try {
    std::vector<uint8_t> copy;
    while (Host.LoopRunning() && !FEnded && !FModes.HoldsInput()) {
      size_t n = RxWaiting();
      if (n < 1 && ReadAheadAllowed()) {
        // What the transport has read meanwhile joins the queue at once:
        // the drain goes on with it instead of waiting for the next round
        // of the loop.
        platform::CheckSynchronize(0);
        n = RxWaiting();
      }
      if (n < 1 || !Host.LoopRunning()) break;
      size_t chunk = std::min(n, kChunkLimit);
      if (FSimBytesPerSec > 0) {
        int32_t budget = BaudBudget();
        if (budget < 1) break;
        chunk = std::min(chunk, size_t(budget));
      }
      copy.assign(FRxPending.begin() + ptrdiff_t(FRxHead), FRxPending.begin() + ptrdiff_t(FRxHead + chunk));
      FRxHead += chunk;
      ProcessIncoming(copy.data(), int(chunk), false);
      if (RxWaiting() <= kReadAhead) platform::ReleaseHeldCallers();
      if (!Host.LoopRunning() || FEnded) break;
      if (RxWaiting() > 0) {
        // Keys, timers and new data get through between chunks; new data is
        // appended behind what is left, and its own drain returns at once.
        // The front is shed once it outweighs what waits, so every byte is
        // moved at most about once.
        if (FRxHead >= RxWaiting()) compact();
        // New data is taken after every chunk, so the transport is never
        // kept waiting for a whole drain. A look at the window costs more
        // than a chunk of plain text: it is taken at most once a
        // millisecond, which keys and timers do not notice.
        const uint64_t now = platform::TickMs();
        if (now != FLastPumpTick) {
          FLastPumpTick = now;
          Host.PumpMessages();
        } else if (ReadAheadAllowed()) {
          platform::CheckSynchronize(0);
        }
        // A drain that lasts through a flood still shows a frame per
        // display refresh.
        if (Host.LoopRunning()) Host.ShowFrameNow();
      }
    }
    compact();
  } catch (...) {
    FDraining = false;
    platform::ReleaseHeldCallers();
    throw;
  }
  FDraining = false;
  if (!FModes.HoldsInput()) platform::ReleaseHeldCallers();
  Host.ShowFrameNow();
  const TAppConfig* config = Host.Settings();
  int32_t pace = config ? config->DoorFramePaceMs : 0;
  if (pace > 0) {
    uint64_t now = platform::TickMs();
    if (now - FLastFrameTick < uint64_t(pace))
      std::this_thread::sleep_for(std::chrono::milliseconds(uint64_t(pace) - (now - FLastFrameTick)));
    FLastFrameTick = platform::TickMs();
  }
}

void TCall::ProcessIncoming(const uint8_t* data, int count, bool replay) {
  if (count > 0) {
    // The last kTailLength bytes received, the chunk's own when it is that long.
    if (size_t(count) >= kTailLength)
      FRxTail.assign(reinterpret_cast<const char*>(data) + count - kTailLength, kTailLength);
    else
      FRxTail.append(reinterpret_cast<const char*>(data), size_t(count));
    if (FRxTail.size() > kTailLength) FRxTail.erase(0, FRxTail.size() - kTailLength);
    if (!FRenegade) {
      // A match the tail holds ends in this chunk; earlier ones were seen.
      if (EndsInChunk(FRxTail, size_t(count), "RENEGADE BULLETIN BOARD SYSTEM") ||
          EndsInChunk(FRxTail, size_t(count), "{RENEGADE,")) {
        FRenegade = true;
        LogLine("Keys: Renegade BBS detected - PgUp/PgDn/Ins now send ESC[r / ESC[q / ESC[n");
      }
    }
  }
  const bool doorSession = FModes.DoorSession();
  FZmodem->DdofxActive = doorSession;
  FZmodem->UseDdofxDir = doorSession;

  // While an X/Ymodem transfer runs its blocks are binary data: the Zmodem
  // detector must not hold or swallow a "*" followed by a CAN in them.
  // Runs of bytes that every stage would hand on unchanged go to the text
  // emulation in one piece; the bytes a stage acts on pass one at a time.
  bool fed = false;
  for (int i = 0; i < count;) {
    if (const size_t run = PlainRun(data + i, size_t(count - i), replay)) {
      if (!replay) FZmodem->SkipPlainRun(run);
      FeedBytes(data + i, run);
      fed = true;
      i += int(run);
      continue;
    }
    if (replay || FXYmodem->Mode != TXYmodemEngine::xmIdle) {
      PassFilters(data[i++], fed);
      continue;
    }
    // The data of a file being received goes to the Zmodem engine in runs.
    if (const size_t taken = FZmodem->TakeDataRun(data + i, size_t(count - i))) {
      i += int(taken);
      continue;
    }
    uint8_t out[8];
    int n = 0;
    FZmodem->ProcessIncoming(data[i++], out, n);
    for (int k = 0; k < n; ++k) PassFilters(out[k], fed);
  }

  // The login steps see each chunk once, as the board sent it; a replay of
  // held-back bytes is not news to them.
  if (FLoginScript && !replay && count > 0)
    FLoginScript->Feed(std::string_view(reinterpret_cast<const char*>(data), size_t(count)));
  if (!replay && count > 0) Host.ReceivedChunk(data, count);
  if (!replay && FZmodem->HasHeldBytes() && !Host.TimerRunning(TCallTimer::HeldInput))
    Host.StartTimer(TCallTimer::HeldInput, 60);
  // What the modes changed: a placed picture draws the grid whole again; a
  // mode's own picture repaints the screen.
  const unsigned changes = FModes.EndChunk();
  if (changes & ccPicturePlaced) Host.PicturePlaced();
  if (fed && FXferPanelUntil != 0 && !(FZmodem->State >= 2 && FZmodem->State <= 4) &&
      FXYmodem->Mode == TXYmodemEngine::xmIdle)
    FXferPanelUntil = 0;  // the transfer window goes as soon as the board writes text again
  if (fed || (changes & ccCanvasChanged)) FBuffer.Dirty = true;
  if (fed) FModes.TextFed();
  if (fed || changes != ccNone) Host.Invalidate();
}

// Stages after the Zmodem detector: X/Ymodem, IEMSI, then the call's modes
// (the door clients, the picture decoders, one graphics emulation) in table
// order, then the text emulation.
void TCall::PassFilters(uint8_t b, bool& fed) {
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
    for (uint8_t r : released) fed = FModes.Pass(r) || fed;
    return;
  }
  fed = FModes.Pass(b) || fed;
}

// How many leading bytes of Data every stage after the Zmodem detector (and
// it too, unless Replay) would hand on unchanged and without noting them, so
// that they reach the text emulation as they are. The stages and the text
// emulation are chosen by the call's settings and the keyboard, never by the
// bytes, so they stay the same through a run.
//
// Each stage reads on to its own first stop byte, and a stage that stops on
// few bytes may come after one that stops on almost none: asked about the
// whole rest of the chunk before every escape, they would read it again and
// again. The stages are asked about a window that grows fourfold while it
// is plain throughout, so a run costs about its own length.
size_t TCall::PlainRun(const uint8_t* data, size_t count, bool replay) const {
  if (FXYmodem->Mode != TXYmodemEngine::xmIdle) return 0;
  auto stages = [&](size_t n) {
    if (!replay) n = FZmodem->PlainRun(data, n);
    if (FIemsiEnabled && n > 0) n = FIemsi->PlainRun(data, n);
    return n > 0 ? FModes.PlainRun(data, n) : 0;
  };
  for (size_t window = 16;; window *= 4) {
    const size_t look = std::min(window, count);
    const size_t run = stages(look);
    if (run < look || look == count) return run;
  }
}

// FeedByte for each byte of Data, in one piece where the emulation takes one.
void TCall::FeedBytes(const uint8_t* data, size_t count) {
  if (FModes.HidesText()) return;
  if (!FUtf8Mode && !ActiveMinorEmulation()) {
    FParser.Feed(data, count);
    return;
  }
  for (size_t i = 0; i < count; ++i) FeedTextByte(data[i]);
}

void TCall::FeedByte(uint8_t b) {
  if (!FModes.HidesText()) FeedTextByte(b);
}

void TCall::FeedTextByte(uint8_t b) {
  if (TTextEmulation* emulation = ActiveMinorEmulation()) {
    emulation->Feed(b);
  } else if (FUtf8Mode) {
    uint8_t out[2];
    int n = FUtf8Decoder.Decode(b, out);
    for (int i = 0; i < n; ++i) FParser.ProcessChar(out[i]);
  } else {
    FParser.ProcessChar(b);
  }
}

void TCall::ReplayHeldInput() {
  Host.StopTimer(TCallTimer::HeldInput);
  if (!FZmodem->HasHeldBytes()) return;
  uint64_t minAge = 50;
  if (FSimBytesPerSec > 0) minAge += uint64_t(std::llround(3000.0 / FSimBytesPerSec));
  uint8_t held[8];
  int count = 0;
  if (FZmodem->TakeHeldBytes(minAge, held, count)) {
    ProcessIncoming(held, count, true);
  } else if (FZmodem->HasHeldBytes()) {
    Host.StartTimer(TCallTimer::HeldInput, 60);
  }
}
