// The mixer behind every stream. One lock (Mix) guards the stream list and
// every stream's queue; the output's thread (SDL's callback, or our null
// sink) takes it once per turn and pulls a turn's worth of frames from every
// stream through the stream's converter. (SDL's own audio stream converter
// is not used: in SDL 2.26 it resamples 0.05% slow and loses the last
// frames of a piece handed over whole.) Opening and closing the output
// happen under a second lock (Output), never while Mix is held, because
// closing an SDL device waits for its callback.
#include "platform/Audio.h"
#include "platform/AudioResampler.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

namespace {

constexpr int kMixFrameBytes = kMixChannels * 2;
// Frames the null sink mixes per turn (10 ms); the SDL device asks for its own.
constexpr int kSinkTurnFrames = kMixRate / 100;
constexpr int kDeviceFrames = 1024;
constexpr int kMaxTurnFrames = 4096;

std::string FormatText(const AudioFormat& f) {
  return std::to_string(f.Rate) + " Hz, " + std::to_string(f.Channels) + " channels, " +
         (f.Type == SampleType::S16 ? "16" : "8") + " bit";
}

// A WAV file of the mix whose header is rewritten after every append, so it
// is valid whenever a reader looks.
class TCaptureFile {
 public:
  bool Open(const std::string& path) {
    FFile = std::fopen(path.c_str(), "wb");
    FBytes = 0;
    if (FFile) WriteHeader();
    return FFile != nullptr;
  }
  void Append(const int16_t* samples, size_t frames) {
    if (!FFile) return;
    std::fseek(FFile, 0, SEEK_END);
    std::fwrite(samples, kMixFrameBytes, frames, FFile);
    FBytes += uint64_t(frames) * kMixFrameBytes;
    WriteHeader();
  }
  void Close() {
    if (FFile) std::fclose(FFile);
    FFile = nullptr;
  }

 private:
  void Put(uint32_t v, int bytes) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, size_t(bytes), FFile);
  }
  void WriteHeader() {
    const uint32_t data = uint32_t(std::min<uint64_t>(FBytes, 0xFFFFFFFFull - 36));
    std::fseek(FFile, 0, SEEK_SET);
    std::fwrite("RIFF", 1, 4, FFile);
    Put(data + 36, 4);
    std::fwrite("WAVEfmt ", 1, 8, FFile);
    Put(16, 4);
    Put(1, 2);
    Put(kMixChannels, 2);
    Put(kMixRate, 4);
    Put(kMixRate * kMixFrameBytes, 4);
    Put(kMixFrameBytes, 2);
    Put(16, 2);
    std::fwrite("data", 1, 4, FFile);
    Put(data, 4);
    std::fflush(FFile);
  }

  std::FILE* FFile = nullptr;
  uint64_t FBytes = 0;
};

}  // namespace

struct AudioStream::Core {
  struct Buffer {
    std::vector<uint8_t> Data;
    size_t Put = 0;        // bytes handed to the converter so far
    uint64_t Tag = 0;
    uint64_t EndOut = 0;   // mixed frames at which its last frame has played
  };

  AudioFormat Format;
  std::unique_ptr<AudioResampler> Convert;
  DoneFn OnDone;
  PullFn Pull;
  bool AutoClose = false;  // PlayAndForget: leaves the mixer when drained

  // Under the mixer's lock.
  std::deque<Buffer> Buffers;
  size_t FirstUnput = 0;        // index of the first buffer not wholly handed over
  uint64_t SourceFramesPut = 0;  // frames taken from buffers (or pulled) so far
  uint64_t OutFrames = 0;        // frames mixed from this stream
  bool Flushed = true;           // nothing waits in the converter for more input
  std::vector<int16_t> Wide;     // source samples widened to 16 bit
  std::vector<uint8_t> Scratch;  // pulled source bytes

  std::atomic<uint64_t> Queued{0}, Finished{0};
  std::atomic<uint64_t> Resets{0};
  mutable std::mutex WaitLock;
  mutable std::condition_variable WaitCv;

  void Wake() {
    std::lock_guard<std::mutex> hold(WaitLock);
    WaitCv.notify_all();
  }
};

namespace {

class TMixer {
 public:
  using Core = AudioStream::Core;

  // A new stream with its callbacks (and, for a self-closing stream, its one
  // buffer) in place before the mixer can see it.
  std::shared_ptr<Core> Add(const AudioFormat& format, AudioStream::DoneFn onDone, AudioStream::PullFn pull,
                            std::vector<uint8_t>* only, std::string* error) {
    if (format.Rate < 1000 || format.Rate > 384000 || format.Channels < 1 || format.Channels > 2) {
      if (error) *error = "unsupported format (" + FormatText(format) + ")";
      return nullptr;
    }
    auto core = std::make_shared<Core>();
    core->Format = format;
    core->OnDone = std::move(onDone);
    core->Pull = std::move(pull);
    core->Convert = std::make_unique<AudioResampler>(format.Rate, format.Channels, kMixRate);
    if (only) {
      core->AutoClose = true;
      if (Append(*core, std::move(*only), 0) == 0) return nullptr;
    }
    EnsureOutput();
    std::lock_guard<std::mutex> hold(FMix);
    FStreams.push_back(core);
    return core;
  }

  void Remove(const std::shared_ptr<Core>& core) {
    std::lock_guard<std::mutex> hold(FMix);
    FStreams.erase(std::remove(FStreams.begin(), FStreams.end(), core), FStreams.end());
    core->Buffers.clear();
  }

  // The buffer's number in the stream's order (from 1); 0 when nothing was
  // left of it.
  uint64_t Queue(Core& c, std::vector<uint8_t> data, uint64_t tag) {
    EnsureOutput();
    std::lock_guard<std::mutex> hold(FMix);
    return Append(c, std::move(data), tag);
  }

  void Reset(Core& c) {
    {
      std::lock_guard<std::mutex> hold(FMix);
      c.Resets.fetch_add(1);
      while (!c.Buffers.empty()) {
        const uint64_t tag = c.Buffers.front().Tag;
        c.Buffers.pop_front();
        c.Finished.fetch_add(1);
        if (c.OnDone) c.OnDone(tag, false);
      }
      c.FirstUnput = 0;
      c.Convert->Clear();
      c.Flushed = true;
      Resync(c);
    }
    c.Wake();
  }

  // Mixes Frames frames of every stream into Out (16-bit stereo). Heard is
  // called with the turn before any buffer of it counts as played, so that
  // what a notice reports is already in the capture.
  void Mix(int16_t* out, int frames, const std::function<void(const int16_t*, int)>& heard = nullptr) {
    FWoken.clear();
    {
      std::lock_guard<std::mutex> hold(FMix);
      std::fill(FSum.begin(), FSum.begin() + frames * kMixChannels, 0);
      for (auto& stream : FStreams) MixStream(*stream, frames);
      for (int i = 0; i < frames * kMixChannels; ++i) out[i] = int16_t(std::clamp(FSum[i], -32768, 32767));
      if (heard) heard(out, frames);
      for (auto& stream : FStreams)
        if (FinishPlayed(*stream)) FWoken.push_back(stream);
      // Self-closing streams leave once everything they held has played.
      FStreams.erase(std::remove_if(FStreams.begin(), FStreams.end(),
                                    [](const std::shared_ptr<Core>& s) { return s->AutoClose && s->Buffers.empty(); }),
                     FStreams.end());
    }
    for (auto& stream : FWoken) stream->Wake();
  }

  bool EnsureOutput();
  void Shutdown();
  bool DeviceIsReal() {
    std::lock_guard<std::mutex> hold(FOutput);
    return FDevice != 0;
  }
  void SetCapture(const std::string& path) {
    Shutdown();
    std::lock_guard<std::mutex> hold(FOutput);
    FCapturePath = path;
  }
  void SetLog(std::function<void(const std::string&)> log) {
    std::lock_guard<std::mutex> hold(FOutput);
    FLog = std::move(log);
  }

 private:
  uint64_t Append(Core& c, std::vector<uint8_t> data, uint64_t tag) {
    const size_t frameBytes = size_t(c.Format.FrameBytes());
    data.resize(data.size() - data.size() % frameBytes);
    if (data.empty()) return 0;
    c.Buffers.push_back(Core::Buffer{std::move(data), 0, tag, 0});
    return c.Queued.fetch_add(1) + 1;
  }

  // Whenever the converter is empty, the frames mixed are what everything
  // handed over has become, whatever the converter dropped or padded.
  static void Resync(Core& c) { c.OutFrames = c.SourceFramesPut * kMixRate / uint64_t(c.Format.Rate); }

  // Hands source frames to the converter as 16-bit samples.
  static void Take(Core& c, const uint8_t* data, size_t frames) {
    if (frames == 0) return;
    const size_t samples = frames * size_t(c.Format.Channels);
    if (c.Format.Type == SampleType::S16) {
      c.Wide.resize(samples);
      std::memcpy(c.Wide.data(), data, samples * 2);
    } else {
      c.Wide.resize(samples);
      for (size_t i = 0; i < samples; ++i) c.Wide[i] = int16_t((int(data[i]) - 128) * 256);
    }
    c.Convert->Push(c.Wide.data(), frames);
    c.SourceFramesPut += frames;
    c.Flushed = false;
  }

  // Takes source frames from the queued buffers (or the pull callback) into
  // the converter until it can give Want frames, or the stream has nothing
  // more.
  void Feed(Core& c, size_t want) {
    const AudioFormat& f = c.Format;
    const size_t frameBytes = size_t(f.FrameBytes());
    for (;;) {
      const size_t avail = c.Convert->Available();
      if (avail >= want) return;
      // Source frames for what is missing, and a few for the filter.
      const size_t frames = size_t(uint64_t(want - avail) * uint64_t(f.Rate) / kMixRate) + 16;
      if (c.Pull) {
        c.Scratch.resize(frames * frameBytes);
        const size_t got = std::min(c.Pull(c.Scratch.data(), c.Scratch.size()), c.Scratch.size()) / frameBytes;
        Take(c, c.Scratch.data(), got);
        if (got < frames) return;  // nothing more now
        continue;
      }
      size_t taken = 0;
      while (taken < frames && c.FirstUnput < c.Buffers.size()) {
        Core::Buffer& b = c.Buffers[c.FirstUnput];
        const size_t n = std::min(frames - taken, (b.Data.size() - b.Put) / frameBytes);
        Take(c, b.Data.data() + b.Put, n);
        b.Put += n * frameBytes;
        taken += n;
        if (b.Put == b.Data.size()) {
          b.EndOut = c.SourceFramesPut * kMixRate / uint64_t(f.Rate);
          ++c.FirstUnput;
        }
      }
      if (taken > 0) continue;
      // Nothing left to take: let the converter give up what its filter
      // holds back, so the last buffer plays to its end.
      if (!c.Flushed) c.Convert->Flush();
      c.Flushed = true;
      return;
    }
  }

  void MixStream(Core& c, int frames) {
    Feed(c, size_t(frames));
    c.OutFrames += c.Convert->MixInto(FSum.data(), size_t(frames));
  }

  // A buffer is done once the frames it became have been mixed, or when
  // everything handed over has come out of the converter. True when one was.
  bool FinishPlayed(Core& c) {
    const bool drained = c.Flushed && c.FirstUnput >= c.Buffers.size() && c.Convert->Available() == 0;
    if (drained && !c.Pull) Resync(c);
    bool finished = false;
    while (c.FirstUnput > 0 && (drained || c.Buffers.front().EndOut <= c.OutFrames)) {
      const uint64_t tag = c.Buffers.front().Tag;
      c.Buffers.pop_front();
      --c.FirstUnput;
      c.Finished.fetch_add(1);
      if (c.OnDone) c.OnDone(tag, true);
      finished = true;
    }
    return finished;
  }

  static void DeviceCallback(void* self, Uint8* stream, int len) {
    auto* mixer = static_cast<TMixer*>(self);
    auto* out = reinterpret_cast<int16_t*>(stream);
    int frames = len / kMixFrameBytes;
    while (frames > 0) {
      const int n = std::min(frames, kMaxTurnFrames);
      mixer->Mix(out, n);
      out += n * kMixChannels;
      frames -= n;
    }
  }

  void SinkLoop();
  void Log(const std::string& line) {
    if (FLog) FLog(line);
  }

  std::mutex FMix;
  std::vector<std::shared_ptr<Core>> FStreams;
  std::vector<int32_t> FSum = std::vector<int32_t>(kMaxTurnFrames * kMixChannels);
  std::vector<std::shared_ptr<Core>> FWoken;  // streams whose waiters to wake after a turn

  std::mutex FOutput;  // everything below
  std::atomic<bool> FOpen{false};
  bool FSdlStarted = false;
  SDL_AudioDeviceID FDevice = 0;
  bool FNoDeviceLogged = false;
  std::string FCapturePath;
  std::function<void(const std::string&)> FLog;
  std::thread FSink;
  std::mutex FSinkLock;
  std::condition_variable FSinkWake;
  bool FSinkStop = false;
  TCaptureFile FCapture;
};

bool TMixer::EnsureOutput() {
  if (FOpen.load()) return true;
  std::lock_guard<std::mutex> hold(FOutput);
  if (FOpen.load()) return true;
  std::string capture = FCapturePath;
  if (capture.empty()) {
    const char* env = std::getenv("KORVAN_AUDIO_CAPTURE");
    if (env) capture = env;
  }
  if (capture.empty()) {
    std::string why;
    if (!FSdlStarted) {
      FSdlStarted = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
      if (!FSdlStarted) why = SDL_GetError();
    }
    if (FSdlStarted) {
      SDL_AudioSpec want{}, have{};
      want.freq = kMixRate;
      want.format = AUDIO_S16SYS;
      want.channels = kMixChannels;
      want.samples = kDeviceFrames;
      want.callback = &TMixer::DeviceCallback;
      want.userdata = this;
      FDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
      if (FDevice) {
        SDL_PauseAudioDevice(FDevice, 0);
        FOpen.store(true);
        return true;
      }
      why = SDL_GetError();
    }
    if (!FNoDeviceLogged) Log("Audio: no sound device (" + why + ") - sound is played to nowhere");
    FNoDeviceLogged = true;
  } else {
    if (!FCapture.Open(capture)) Log("Audio: cannot write " + capture);
  }
  FSinkStop = false;
  FSink = std::thread([this] { SinkLoop(); });
  FOpen.store(true);
  return true;
}

void TMixer::Shutdown() {
  std::lock_guard<std::mutex> hold(FOutput);
  if (FDevice) SDL_CloseAudioDevice(FDevice);
  FDevice = 0;
  if (FSink.joinable()) {
    {
      std::lock_guard<std::mutex> sink(FSinkLock);
      FSinkStop = true;
    }
    FSinkWake.notify_all();
    FSink.join();
  }
  FCapture.Close();
  if (FSdlStarted) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  FSdlStarted = false;
  FOpen.store(false);
}

// The null sink: mixes in 10 ms turns on the clock's schedule, catching up
// after a late wake-up so the time line stays true (at most a second of it).
void TMixer::SinkLoop() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  uint64_t mixed = 0;
  std::vector<int16_t> out(size_t(kSinkTurnFrames) * kMixChannels);
  const std::function<void(const int16_t*, int)> heard = [this](const int16_t* samples, int frames) {
    FCapture.Append(samples, size_t(frames));
  };
  std::unique_lock<std::mutex> hold(FSinkLock);
  while (!FSinkStop) {
    hold.unlock();
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    uint64_t due = uint64_t(elapsed) * kMixRate / 1000000;
    if (due > mixed + kMixRate) mixed = due - kMixRate;
    while (mixed + kSinkTurnFrames <= due) {
      Mix(out.data(), kSinkTurnFrames, heard);
      mixed += kSinkTurnFrames;
    }
    hold.lock();
    const auto next = start + std::chrono::microseconds((mixed + kSinkTurnFrames) * 1000000 / kMixRate);
    FSinkWake.wait_until(hold, next, [this] { return FSinkStop; });
  }
}

TMixer& Mixer() {
  static TMixer* mixer = new TMixer;  // outlives every stream, including at exit
  return *mixer;
}

}  // namespace

AudioStream::AudioStream(std::shared_ptr<Core> core) : FCore(std::move(core)) {}

AudioStream::~AudioStream() {
  Mixer().Remove(FCore);
  FCore->Resets.fetch_add(1);
  FCore->Wake();
}

const AudioFormat& AudioStream::Format() const { return FCore->Format; }

bool AudioStream::Queue(std::vector<uint8_t> data, uint64_t tag) {
  return Mixer().Queue(*FCore, std::move(data), tag) != 0;
}

size_t AudioStream::Pending() const {
  // Finished first: it never passes the Queued read after it.
  const uint64_t finished = FCore->Finished.load();
  return size_t(FCore->Queued.load() - finished);
}

void AudioStream::Reset() { Mixer().Reset(*FCore); }

bool AudioStream::WaitPending(size_t atMost, uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> hold(FCore->WaitLock);
  return FCore->WaitCv.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return Pending() <= atMost; });
}

bool AudioStream::Play(std::vector<uint8_t> data) {
  const uint64_t resets = FCore->Resets.load();
  const uint64_t mine = Mixer().Queue(*FCore, std::move(data), 0);
  if (mine == 0) return false;
  std::unique_lock<std::mutex> hold(FCore->WaitLock);
  FCore->WaitCv.wait(hold, [&] { return FCore->Finished.load() >= mine || FCore->Resets.load() != resets; });
  return FCore->Resets.load() == resets;
}

std::unique_ptr<AudioStream> OpenAudioStream(const AudioFormat& format, AudioStream::DoneFn onDone,
                                             std::string* error) {
  auto core = Mixer().Add(format, std::move(onDone), nullptr, nullptr, error);
  return core ? std::make_unique<AudioStream>(std::move(core)) : nullptr;
}

std::unique_ptr<AudioStream> OpenPullAudioStream(const AudioFormat& format, AudioStream::PullFn pull,
                                                 std::string* error) {
  auto core = Mixer().Add(format, nullptr, std::move(pull), nullptr, error);
  return core ? std::make_unique<AudioStream>(std::move(core)) : nullptr;
}

bool PlayAndForget(const AudioFormat& format, std::vector<uint8_t> data) {
  return Mixer().Add(format, nullptr, nullptr, &data, nullptr) != nullptr;
}

void SetAudioCaptureFile(const std::string& path) { Mixer().SetCapture(path); }

void SetAudioLog(std::function<void(const std::string&)> log) { Mixer().SetLog(std::move(log)); }

void AudioShutdown() { Mixer().Shutdown(); }

bool AudioDeviceIsReal() { return Mixer().DeviceIsReal(); }

}  // namespace platform
