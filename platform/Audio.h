// The program's one sound output: an SDL2 audio device fed by our own mixer
// of logical streams. Every player (speech, ANSI music, APC clips, URL
// streams, IGS and door sound) opens streams in its own sample format; each
// is converted to the mix format (AudioResampler) and the mixer adds them
// up. A stream plays queued buffers in order, with a notice per finished
// buffer, or pulls its samples from a callback.
//
// Without a sound device the mix goes to a null sink that consumes it at the
// pace a device would, so timing, completion notices and blocking plays work
// the same and the program runs on silently. In test mode (a capture file,
// from SetAudioCaptureFile or the environment variable KORVAN_AUDIO_CAPTURE)
// the null sink also writes the mix, silence included, to a WAV file: what
// would have been heard, on one time line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class SampleType : uint8_t {
  U8,   // unsigned 8 bit, 128 is silence
  S16,  // signed 16 bit, little-endian
};

struct AudioFormat {
  int Rate = 0;      // frames per second, 1000..384000
  int Channels = 0;  // 1 or 2, interleaved, left first
  SampleType Type = SampleType::S16;
  int FrameBytes() const { return Channels * (Type == SampleType::S16 ? 2 : 1); }
};

// What the device plays and the capture file holds: 16-bit stereo.
inline constexpr int kMixRate = 48000;
inline constexpr int kMixChannels = 2;

class AudioStream {
 public:
  // Runs on the mixer's thread once per buffer, when its last frame has been
  // mixed (Played) or Reset dropped it. It must be short and must not call
  // into the audio layer, except Pending().
  using DoneFn = std::function<void(uint64_t tag, bool played)>;
  // Runs on the mixer's thread when the stream needs samples: fills at most
  // Bytes bytes (whole frames) and returns how many it filled; fewer, even 0,
  // leaves the rest of this turn silent. It must not call into the audio layer.
  using PullFn = std::function<size_t(uint8_t* data, size_t bytes)>;

  struct Core;
  explicit AudioStream(std::shared_ptr<Core> core);
  // Leaves the mixer: what is still queued is dropped without notices, and
  // neither callback runs any more once this returns.
  ~AudioStream();
  AudioStream(const AudioStream&) = delete;
  AudioStream& operator=(const AudioStream&) = delete;

  const AudioFormat& Format() const;

  // Appends a buffer (cut to whole frames) behind what is queued; false when
  // nothing is left of it. Any thread.
  bool Queue(std::vector<uint8_t> data, uint64_t tag = 0);
  // Buffers queued and not finished yet. Any thread, lock-free.
  size_t Pending() const;
  // Drops everything queued and ends every wait and blocking play on the
  // stream at once; each dropped buffer gets its notice. Any thread.
  void Reset();
  // Waits until at most AtMost buffers are pending; false when the time ran
  // out first.
  bool WaitPending(size_t atMost, uint32_t timeoutMs) const;
  // Queues Data and waits until it has played. False when another thread's
  // Reset cut it short, or when nothing was queued.
  bool Play(std::vector<uint8_t> data);

 private:
  std::shared_ptr<Core> FCore;
};

// A stream of queued buffers (and notices through OnDone, which may be
// null). Null when the format cannot be played; Error then says why.
std::unique_ptr<AudioStream> OpenAudioStream(const AudioFormat& format, AudioStream::DoneFn onDone,
                                             std::string* error = nullptr);
// A stream that pulls its samples from Pull for as long as it is open.
std::unique_ptr<AudioStream> OpenPullAudioStream(const AudioFormat& format, AudioStream::PullFn pull,
                                                 std::string* error = nullptr);

// Plays Data once on a stream of its own that closes itself when done (the
// message beep).
bool PlayAndForget(const AudioFormat& format, std::vector<uint8_t> data);

// Test mode: the mix goes to this WAV file (48000 Hz, 16-bit stereo) at the
// pace of a device instead of to the sound card. Takes effect when the
// output next opens: closes the output now. Empty: the environment variable
// KORVAN_AUDIO_CAPTURE decides, else the sound card.
void SetAudioCaptureFile(const std::string& path);

// Where the layer's few log lines go (the program's debug log).
void SetAudioLog(std::function<void(const std::string&)> log);

// Closes the device (or the null sink and its capture file). Streams that
// are still open go silent until one of them queues a buffer or another
// stream opens, which opens the output again. Program exit and tests call it.
void AudioShutdown();

// True when the output is open and is a real device.
bool AudioDeviceIsReal();

}  // namespace platform
