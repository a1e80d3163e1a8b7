#include "sound/uIGSSound.h"

#include <chrono>
#include <cstring>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "platform/Tick.h"

TIGSSoundOut::TIGSSoundOut(TOpener opener) : FOpener(std::move(opener)), FBlock(kBufferSamples) {
  if (!FOpener)
    FOpener = [] {
      return platform::OpenAudioStream({int(kRate), 1, platform::SampleType::S16}, nullptr);
    };
  Start();
}

TIGSSoundOut::~TIGSSoundOut() {
  Terminate();
  Wake();
  WaitFor();
}

void TIGSSoundOut::Wake() { FWake.Wake(); }

bool TIGSSoundOut::OpenDevice() {
  if (FStream) return true;
  FStream = FOpener();
  if (!FStream) {
    LogLine("IGSSound: waveOutOpen failed");
    return false;
  }
  FOpen.store(true);
  LogLine("IGSSound: output opened");
  return true;
}

void TIGSSoundOut::CloseDevice() {
  if (!FStream) return;
  FStream.reset();  // what is still queued is dropped
  FOpen.store(false);
  LogLine("IGSSound: output closed");
}

void TIGSSoundOut::Refill() {
  while (FStream->Pending() < kBufferCount) {
    FSynth.Render(FBlock.data(), FBlock.size());
    std::vector<uint8_t> bytes(FBlock.size() * sizeof(int16_t));
    std::memcpy(bytes.data(), FBlock.data(), bytes.size());
    FStream->Queue(std::move(bytes));
  }
}

void TIGSSoundOut::Execute() {
  while (!Terminated()) {
    if (!FStream) {
      if (!FSynth.IsActive()) {
        // Closed and quiet: nothing to do until a sound starts.
        FWake.Wait(0, [this] { return Terminated(); });
        continue;
      }
      if (!OpenDevice()) {
        // Nothing may wait for an output that is not there. The next try
        // comes a second later however often sounds start meanwhile, so a
        // board that keeps starting sounds costs one try a second.
        FSynth.StopAll();
        FWake.Pause(kRetryWaitMs, [this] { return Terminated(); });
        continue;
      }
      FIdleSince = 0;
    }
    Refill();
    if (FSynth.IsActive()) {
      FIdleSince = 0;
    } else {
      const uint64_t now = platform::TickMs();
      if (FIdleSince == 0) {
        FIdleSince = now;
      } else if (now - FIdleSince > kIdleCloseMs) {
        CloseDevice();
        FIdleSince = 0;
        continue;
      }
    }
    FWake.Wait(kOpenWaitMs, [this] { return Terminated(); });
  }
  CloseDevice();
}
