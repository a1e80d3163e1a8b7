// The output thread of IGS sound. It owns the sound-chip synthesiser that the
// IGS interpreter drives, opens a stream of the audio layer (22050 Hz mono,
// 16 bit) only while the synthesiser has something to play, keeps four
// buffers of 1024 samples queued on it, and closes it again after 1.5 s of
// silence. A stream that cannot be opened stops every voice and is tried
// again after at most a second, so a missing output never leaves sounds
// pending. The interface thread only starts sounds and wakes the thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Thread.h"
#include "platform/WakeSignal.h"
#include "sound/uGistSynth.h"

namespace platform {
class AudioStream;
}

class TIGSSoundOut : public platform::Thread {
 public:
  static constexpr uint32_t kRate = 22050;
  static constexpr size_t kBufferCount = 4;
  static constexpr size_t kBufferSamples = 1024;
  static constexpr uint32_t kIdleCloseMs = 1500;
  static constexpr uint32_t kRetryWaitMs = 1000;  // after a failed open
  static constexpr uint32_t kOpenWaitMs = 10;     // open: a refill at least this often

  // Opens the output stream in the format above; null when it cannot.
  using TOpener = std::function<std::unique_ptr<platform::AudioStream>()>;

  // Starts the thread at once. Without an opener the audio layer's stream
  // is opened.
  explicit TIGSSoundOut(TOpener opener = nullptr);
  ~TIGSSoundOut() override;

  // Any thread: a sound was started, the thread looks at once. While the
  // output is closed and all is quiet the thread sleeps until this call.
  void Wake();
  // The output stream is open.
  bool IsOpen() const { return FOpen.load(); }

  TGistSynth FSynth{kRate};

 protected:
  void Execute() override;

 private:
  bool OpenDevice();
  void CloseDevice();
  // Queues a buffer for every one that has finished playing.
  void Refill();

  TOpener FOpener;
  std::unique_ptr<platform::AudioStream> FStream;  // the sound thread's
  std::atomic<bool> FOpen{false};
  platform::WakeSignal FWake;
  uint64_t FIdleSince = 0;  // tick when the synthesiser fell silent; 0 while it plays
  std::vector<int16_t> FBlock;
};
