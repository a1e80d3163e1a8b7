// The output thread of door music and sound effects. It pulls 44100 Hz
// 16-bit stereo from the door's mixer into twelve buffers of 1024 frames
// queued on a stream of the audio layer, opens that stream only while the
// mixer has something to play and closes it after 1.5 s of silence, warns
// in the debug log (at most every 5 s) when it fell behind, and, while the
// debug log is on, records what it plays into a WAV file of at most 60 s.
// Each finished recording is saved by a writer thread of its own through a
// temporary file and a rename, one writer at a time, so the audio thread
// never waits for the disk and two recordings never mix in one file.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Thread.h"
#include "platform/WakeSignal.h"

// What the output thread needs of the door's mixer; every call is safe from
// any thread.
class TDDOFXMixSource {
 public:
  virtual ~TDDOFXMixSource() = default;
  // Music or an effect plays and the sound switch is on.
  virtual bool IsActive() = 0;
  // Frames of interleaved 16-bit stereo at 44100 Hz.
  virtual void Mix(int16_t* out, int frames) = 0;
  virtual void StopSamples() = 0;
};

// A buffered PCM output: buffers queue behind each other and each one that
// has played wakes the thread.
class TDDOFXWaveOutput {
 public:
  virtual ~TDDOFXWaveOutput() = default;
  // Buffers queued and not yet played.
  virtual size_t Pending() const = 0;
  virtual void Queue(std::vector<uint8_t> data) = 0;
};

class TDDOFXSoundOut : public platform::Thread {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kBufferCount = 12;
  static constexpr int kBufferFrames = 1024;
  static constexpr size_t kBufferBytes = kBufferFrames * 4;
  static constexpr uint32_t kIdleCloseMs = 1500;
  static constexpr uint32_t kRetryWaitMs = 1000;
  static constexpr uint32_t kOpenWaitMs = 20;
  static constexpr uint32_t kWarnEveryMs = 5000;
  static constexpr uint32_t kCaptureDataLimit = 10584000;  // 60 s of 44100 Hz 16-bit stereo
  static constexpr uint32_t kWaveHeaderBytes = 44;

  // Opens the output; OnPlayed runs (on any thread) each time a buffer has
  // played. Null when there is no output.
  using TOpener = std::function<std::unique_ptr<TDDOFXWaveOutput>(std::function<void()> onPlayed)>;

  // The millisecond clock of the idle close and the warnings.
  using TClock = std::function<uint64_t()>;

  // Starts the thread at once. Without an opener the audio layer's stream is
  // opened; without a clock the monotonic tick is used. The mixer is not
  // owned and must outlive this object.
  explicit TDDOFXSoundOut(TDDOFXMixSource* mixer, TOpener opener = nullptr, TClock clock = nullptr);
  ~TDDOFXSoundOut() override;

  // Any thread: something started to play, or the sound switch turned.
  void Wake();
  // The capture file (DDOFXSND.WAV in the door folder); empty: no capture.
  void SetCaptureFile(const std::string& path);
  std::string CaptureFile() const;
  bool IsOpen() const { return FOpen.load(); }
  // Waits until every finished capture has been saved.
  void WaitForWriters();

  // The 44-byte RIFF/WAVE header of 44100 Hz 16-bit stereo PCM.
  static std::vector<uint8_t> WaveHeader(uint32_t dataBytes);

 protected:
  void Execute() override;

 private:
  bool OpenDevice();
  void CloseDevice();
  void Refill();
  void StartCapture();
  void AppendCapture(const uint8_t* data, size_t count);
  void FinishCapture();
  void HandToWriter(std::unique_ptr<std::vector<uint8_t>> capture);

  TDDOFXMixSource* FMixer;
  TOpener FOpener;
  TClock FClock;
  std::unique_ptr<TDDOFXWaveOutput> FOutput;
  std::atomic<bool> FOpen{false};
  platform::WakeSignal FWake;
  uint64_t FIdleSince = 0;
  uint64_t FLastUnderrunLog = 0, FLastDryLog = 0;
  bool FJustOpened = false;
  std::vector<int16_t> FBlock;

  mutable std::mutex FCaptureFileLock;
  std::string FCaptureFile;
  std::unique_ptr<std::vector<uint8_t>> FCapture;  // the recording, sized once for 60 s
  std::string FCapturePath;
  uint64_t FCaptureBytes = 0;

  struct TWriter {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Done;
  };
  std::mutex FWritersLock;
  std::vector<TWriter> FWriters;
};
