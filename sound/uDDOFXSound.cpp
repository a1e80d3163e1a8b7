#include "sound/uDDOFXSound.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "platform/Tick.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// The audio layer's stream as the door's wave output.
class TLayerOutput : public TDDOFXWaveOutput {
 public:
  explicit TLayerOutput(std::unique_ptr<platform::AudioStream> stream) : FStream(std::move(stream)) {}
  size_t Pending() const override { return FStream->Pending(); }
  void Queue(std::vector<uint8_t> data) override { FStream->Queue(std::move(data)); }

 private:
  std::unique_ptr<platform::AudioStream> FStream;
};

// Saves finished captures one at a time; a recording that finished before
// one already saved is not written over it.
std::mutex gSaveLock;
uint64_t gCaptureSerial = 0;  // under gSaveLock
uint64_t gSavedSerial = 0;    // under gSaveLock

void SaveCapture(std::vector<uint8_t> bytes, const std::string& path, uint64_t serial) {
  // The writer is the lowest priority work of the program.
  setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
  std::lock_guard<std::mutex> hold(gSaveLock);
  if (serial < gSavedSerial) return;
  std::error_code ec;
  const std::filesystem::path target(path);
  if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
  const std::string temp = path + ".tmp";
  std::string error;
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    error = std::strerror(errno);
  } else {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int saved = errno;
    if (std::fclose(f) != 0 || !written) error = std::strerror(written ? errno : saved);
    if (error.empty() && std::rename(temp.c_str(), path.c_str()) != 0) error = std::strerror(errno);
    if (!error.empty()) std::remove(temp.c_str());
  }
  if (!error.empty()) {
    LogLine("DDOFXSound: could not save " + path + ": " + error);
    return;
  }
  gSavedSerial = serial;
}

}  // namespace

std::vector<uint8_t> TDDOFXSoundOut::WaveHeader(uint32_t dataBytes) {
  std::vector<uint8_t> h(kWaveHeaderBytes, 0);
  std::memcpy(h.data(), "RIFF", 4);
  Put32(h, 4, dataBytes + 36);
  std::memcpy(h.data() + 8, "WAVEfmt ", 8);
  Put32(h, 16, 16);
  Put16(h, 20, 1);
  Put16(h, 22, 2);
  Put32(h, 24, kRate);
  Put32(h, 28, kRate * 4);
  Put16(h, 32, 4);
  Put16(h, 34, 16);
  std::memcpy(h.data() + 36, "data", 4);
  Put32(h, 40, dataBytes);
  return h;
}

TDDOFXSoundOut::TDDOFXSoundOut(TDDOFXMixSource* mixer, TOpener opener, TClock clock)
    : FMixer(mixer), FOpener(std::move(opener)), FClock(std::move(clock)), FBlock(size_t(kBufferFrames) * 2) {
  if (!FClock) FClock = [] { return platform::TickMs(); };
  if (!FOpener)
    FOpener = [](std::function<void()> onPlayed) -> std::unique_ptr<TDDOFXWaveOutput> {
      auto stream = platform::OpenAudioStream({kRate, 2, platform::SampleType::S16},
                                              [onPlayed](uint64_t, bool) { onPlayed(); });
      if (!stream) return nullptr;
      return std::make_unique<TLayerOutput>(std::move(stream));
    };
  Start();
}

TDDOFXSoundOut::~TDDOFXSoundOut() {
  Terminate();
  Wake();
  WaitFor();
  WaitForWriters();
}

void TDDOFXSoundOut::Wake() { FWake.Wake(); }

void TDDOFXSoundOut::SetCaptureFile(const std::string& path) {
  std::lock_guard<std::mutex> hold(FCaptureFileLock);
  FCaptureFile = path;
}

std::string TDDOFXSoundOut::CaptureFile() const {
  std::lock_guard<std::mutex> hold(FCaptureFileLock);
  return FCaptureFile;
}

void TDDOFXSoundOut::WaitForWriters() {
  std::vector<TWriter> writers;
  {
    std::lock_guard<std::mutex> hold(FWritersLock);
    writers.swap(FWriters);
  }
  for (TWriter& w : writers) w.Thread.join();
}

bool TDDOFXSoundOut::OpenDevice() {
  if (FOutput) return true;
  FOutput = FOpener([this] { Wake(); });
  if (!FOutput) {
    LogLine("DDOFXSound: waveOutOpen failed");
    return false;
  }
  FOpen.store(true);
  FJustOpened = true;
  StartCapture();
  return true;
}

void TDDOFXSoundOut::CloseDevice() {
  FinishCapture();
  if (!FOutput) return;
  FOutput.reset();  // what is still queued is dropped
  FOpen.store(false);
}

void TDDOFXSoundOut::StartCapture() {
  FinishCapture();
  const std::string path = CaptureFile();
  if (!LogEnabled || path.empty()) return;
  try {
    FCapture = std::make_unique<std::vector<uint8_t>>();
    // Sized once, so recording never reallocates in the audio thread.
    FCapture->reserve(kWaveHeaderBytes + kCaptureDataLimit + kBufferBytes);
    *FCapture = WaveHeader(0);
  } catch (const std::bad_alloc&) {
    FCapture.reset();
    LogLine("DDOFXSound: no memory to record output to " + path);
    return;
  }
  FCapturePath = path;
  FCaptureBytes = 0;
  LogLine("DDOFXSound: recording output to " + path);
}

void TDDOFXSoundOut::AppendCapture(const uint8_t* data, size_t count) {
  if (!FCapture) return;
  FCapture->insert(FCapture->end(), data, data + count);
  FCaptureBytes += count;
  if (FCaptureBytes >= kCaptureDataLimit) FinishCapture();
}

void TDDOFXSoundOut::FinishCapture() {
  if (!FCapture) return;
  std::unique_ptr<std::vector<uint8_t>> capture = std::move(FCapture);
  try {
    HandToWriter(std::move(capture));
  } catch (const std::exception& e) {
    // Only this recording is lost; the sound goes on.
    LogLine(std::string("DDOFXSound: recording dropped: ") + e.what());
  }
}

void TDDOFXSoundOut::HandToWriter(std::unique_ptr<std::vector<uint8_t>> capture) {
  const uint32_t length = uint32_t(std::min<uint64_t>(FCaptureBytes, kCaptureDataLimit));
  capture->resize(kWaveHeaderBytes + length);
  const std::vector<uint8_t> header = WaveHeader(length);
  std::copy(header.begin(), header.end(), capture->begin());
  uint64_t serial;
  {
    std::lock_guard<std::mutex> hold(gSaveLock);
    serial = ++gCaptureSerial;
  }
  std::lock_guard<std::mutex> hold(FWritersLock);
  // Writers that are done are let go, so a long session keeps none of them.
  for (size_t i = 0; i < FWriters.size();)
    if (FWriters[i].Done->load()) {
      FWriters[i].Thread.join();
      FWriters.erase(FWriters.begin() + long(i));
    } else {
      ++i;
    }
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread writer([bytes = std::move(*capture), path = FCapturePath, serial, done]() mutable {
    SaveCapture(std::move(bytes), path, serial);
    done->store(true);
  });
  FWriters.push_back({std::move(writer), done});
}

void TDDOFXSoundOut::Refill() {
  int done = kBufferCount - int(std::min<size_t>(FOutput->Pending(), kBufferCount));
  const uint64_t now = FClock();
  if (!FJustOpened) {
    if (done == kBufferCount && now - FLastUnderrunLog > kWarnEveryMs) {
      LogLine("DDOFXSound: output underrun (audio thread was late)");
      FLastUnderrunLog = now;
    } else if (done >= 10 && now - FLastDryLog > kWarnEveryMs) {
      char text[96];
      std::snprintf(text, sizeof text, "DDOFXSound: output nearly ran dry (%d of %d buffers left)", kBufferCount - done,
                    kBufferCount);
      LogLine(text);
      FLastDryLog = now;
    }
  }
  FJustOpened = false;
  for (; done > 0; --done) {
    FMixer->Mix(FBlock.data(), kBufferFrames);
    std::vector<uint8_t> bytes(kBufferBytes);
    std::memcpy(bytes.data(), FBlock.data(), kBufferBytes);
    AppendCapture(bytes.data(), bytes.size());
    FOutput->Queue(std::move(bytes));
  }
}

void TDDOFXSoundOut::Execute() {
  while (!Terminated()) {
    if (!FOutput) {
      if (!FMixer->IsActive()) {
        // Closed and quiet: every start of a sound (and the sound switch)
        // wakes the thread, so it needs no clock of its own meanwhile.
        FWake.Wait(0, [this] { return Terminated(); });
        continue;
      }
      if (!OpenDevice()) {
        // Effects that cannot be heard are dropped, so the mixer can go idle.
        FMixer->StopSamples();
        FWake.Pause(kRetryWaitMs, [this] { return Terminated(); });
        continue;
      }
      FIdleSince = 0;
    }
    Refill();
    if (FMixer->IsActive()) {
      FIdleSince = 0;
    } else {
      const uint64_t now = FClock();
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
