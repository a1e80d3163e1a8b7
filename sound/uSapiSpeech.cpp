// The voice: espeak-ng turns text into 16-bit mono sound on a worker thread,
// chunk by chunk, and each chunk goes to a stream of the audio layer or to a
// WAV file. The interface thread only queues texts, purges and asks
// whether anything is still being said; it never waits for synthesis.
#include "sound/uSapiSpeech.h"

#include <espeak-ng/speak_lib.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "core/uDebugLog.h"
#include "core/uDllLoader.h"
#include "platform/Audio.h"

namespace {

const char* const kSpeechLibrary = "libespeak-ng.so.1";

// The library's entry points, looked up once by name.
struct TEspeak {
  decltype(&espeak_Initialize) Initialize = nullptr;
  decltype(&espeak_SetSynthCallback) SetSynthCallback = nullptr;
  decltype(&espeak_SetVoiceByName) SetVoiceByName = nullptr;
  decltype(&espeak_Synth) Synth = nullptr;
};

// A WAV file that is valid after every append: the two sizes in its header
// are rewritten each time sound is added.
class TWaveFile {
 public:
  bool Open(const std::string& path, int rate) {
    Close();
    FFile = std::fopen(path.c_str(), "wb");
    if (!FFile) return false;
    FRate = uint32_t(rate);
    FBytes = 0;
    WriteHeader();
    return true;
  }
  void Append(const int16_t* samples, int count) {
    if (!FFile || count <= 0) return;
    std::fseek(FFile, 0, SEEK_END);
    std::fwrite(samples, sizeof(int16_t), size_t(count), FFile);
    FBytes += uint32_t(count) * sizeof(int16_t);
    WriteHeader();
  }
  void Close() {
    if (FFile) std::fclose(FFile);
    FFile = nullptr;
  }

 private:
  void Put32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, FFile);
  }
  void Put16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, FFile);
  }
  void WriteHeader() {
    std::fseek(FFile, 0, SEEK_SET);
    std::fwrite("RIFF", 1, 4, FFile);
    Put32(36 + FBytes);
    std::fwrite("WAVEfmt ", 1, 8, FFile);
    Put32(16);
    Put16(1);  // PCM
    Put16(1);  // mono
    Put32(FRate);
    Put32(FRate * 2);
    Put16(2);
    Put16(16);
    std::fwrite("data", 1, 4, FFile);
    Put32(FBytes);
    std::fflush(FFile);
  }

  std::FILE* FFile = nullptr;
  uint32_t FRate = 0;
  uint32_t FBytes = 0;
};

// One voice per process. Lock guards everything below it; the worker
// synthesises without holding it and takes it for each chunk it delivers.
struct TVoice {
  TModuleHandle Library = nullptr;
  TEspeak Api;
  bool EngineStarted = false;
  int SampleRate = 0;
  std::thread Worker;
  bool Available = false;
  std::string WavePath;  // set by the interface thread only
  std::function<void(const std::string&, bool)> Observer;

  std::mutex Lock;
  std::condition_variable Wake;
  std::deque<std::string> Queue;
  uint64_t Generation = 0;  // a purge moves it on; older sound is dropped
  bool Busy = false;        // the worker is synthesising
  bool Stopping = false;
  std::unique_ptr<platform::AudioStream> Stream;
  TWaveFile Wave;
};

TVoice& Voice() {
  static TVoice* voice = new TVoice;  // outlives every caller, including exit
  return *voice;
}

// What the worker is saying: the generation it belongs to.
struct TUtterance {
  uint64_t Generation;
};

// espeak-ng hands over each piece of sound as it is made; returning 1 stops
// the synthesis, which is how a purge cuts off a long text.
int OnSynthChunk(short* samples, int count, espeak_EVENT* events) {
  TVoice& v = Voice();
  const auto* utterance = events ? static_cast<const TUtterance*>(events->user_data) : nullptr;
  std::lock_guard<std::mutex> hold(v.Lock);
  if (v.Stopping || !utterance || utterance->Generation != v.Generation) return 1;
  if (samples && count > 0) {
    if (v.Stream)
      v.Stream->Queue(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(samples),
                                           reinterpret_cast<uint8_t*>(samples + count)));
    else
      v.Wave.Append(samples, count);
  }
  return 0;
}

void WorkerLoop() {
  TVoice& v = Voice();
  for (;;) {
    std::string text;
    TUtterance utterance{};
    {
      std::unique_lock<std::mutex> hold(v.Lock);
      v.Wake.wait(hold, [&] { return v.Stopping || !v.Queue.empty(); });
      if (v.Stopping) return;
      text = std::move(v.Queue.front());
      v.Queue.pop_front();
      utterance.Generation = v.Generation;
      v.Busy = true;
    }
    espeak_ERROR result = v.Api.Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_AUTO,
                                      nullptr, &utterance);
    if (result != EE_OK) LogLine("Accessibility: Speak failed - espeak-ng error " + std::to_string(int(result)));
    std::lock_guard<std::mutex> hold(v.Lock);
    v.Busy = false;
  }
}

bool LoadLibrary(TVoice& v, std::string& why) {
  // Looked for again at every start: only the dll folder counts, as it is now.
  v.Library = LoadDllFromAppFolder(kSpeechLibrary);
  if (!v.Library) {
    why = DllFolderPath(kSpeechLibrary) + " cannot be loaded";
    return false;
  }
  TEspeak api;
  api.Initialize = reinterpret_cast<decltype(api.Initialize)>(DllSymbol(v.Library, "espeak_Initialize"));
  api.SetSynthCallback =
      reinterpret_cast<decltype(api.SetSynthCallback)>(DllSymbol(v.Library, "espeak_SetSynthCallback"));
  api.SetVoiceByName = reinterpret_cast<decltype(api.SetVoiceByName)>(DllSymbol(v.Library, "espeak_SetVoiceByName"));
  api.Synth = reinterpret_cast<decltype(api.Synth)>(DllSymbol(v.Library, "espeak_Synth"));
  if (!api.Initialize || !api.SetSynthCallback || !api.SetVoiceByName || !api.Synth) {
    why = DllFolderPath(kSpeechLibrary) + " lacks the espeak_ functions";
    return false;
  }
  v.Api = api;
  return true;
}

// The audio layer, which plays to nowhere when there is no sound card, so
// the reader behaves the same on a machine without audio.
void OpenSoundOutput(TVoice& v) {
  std::string why;
  v.Stream = platform::OpenAudioStream({v.SampleRate, 1, platform::SampleType::S16}, nullptr, &why);
  if (!v.Stream) LogLine("Accessibility: no sound output - " + why);
}

}  // namespace

bool InitSpeech() {
  TVoice& v = Voice();
  if (v.Available) return true;
  std::string why;
  if (!LoadLibrary(v, why)) {
    LogLine("Accessibility: espeak-ng init failed - " + why +
            " (screen-reader mode will announce nothing; libespeak-ng1 may not be installed)");
    return false;
  }
  if (!v.EngineStarted) {
    // DONT_EXIT: a missing voice data folder must not end the program.
    v.SampleRate = v.Api.Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (v.SampleRate <= 0) {
      LogLine("Accessibility: espeak-ng init failed - its voice data could not be read"
              " (screen-reader mode will announce nothing; espeak-ng-data may not be installed)");
      return false;
    }
    v.Api.SetSynthCallback(OnSynthChunk);
    if (v.Api.SetVoiceByName("en") != EE_OK) LogLine("Accessibility: espeak-ng has no English voice - using its default");
    v.EngineStarted = true;
  }
  if (!v.WavePath.empty()) {
    if (!v.Wave.Open(v.WavePath, v.SampleRate)) LogLine("Accessibility: cannot write " + v.WavePath);
  } else {
    OpenSoundOutput(v);
  }
  {
    std::lock_guard<std::mutex> hold(v.Lock);
    v.Stopping = false;
    v.Queue.clear();
  }
  v.Worker = std::thread(WorkerLoop);
  v.Available = true;
  LogLine("Accessibility: espeak-ng voice initialized OK");
  return true;
}

void SpeakText(const std::string& text, bool purge) {
  TVoice& v = Voice();
  if (!v.Available || text.empty()) return;
  if (v.Observer) v.Observer(text, purge);
  std::lock_guard<std::mutex> hold(v.Lock);
  if (purge) {
    v.Queue.clear();
    ++v.Generation;
    if (v.Stream) v.Stream->Reset();
  }
  v.Queue.push_back(text);
  v.Wake.notify_one();
}

bool IsSpeaking() {
  TVoice& v = Voice();
  if (!v.Available) return false;
  std::lock_guard<std::mutex> hold(v.Lock);
  return !v.Queue.empty() || v.Busy || (v.Stream && v.Stream->Pending() > 0);
}

void PurgeSpeechQueue() {
  TVoice& v = Voice();
  if (!v.Available) return;
  if (v.Observer) v.Observer("", true);
  std::lock_guard<std::mutex> hold(v.Lock);
  v.Queue.clear();
  ++v.Generation;
  if (v.Stream) v.Stream->Reset();
}

void ShutdownSpeech() {
  TVoice& v = Voice();
  if (!v.Available) return;
  {
    std::lock_guard<std::mutex> hold(v.Lock);
    v.Stopping = true;
    v.Queue.clear();
    ++v.Generation;
    v.Wake.notify_one();
  }
  v.Worker.join();
  std::lock_guard<std::mutex> hold(v.Lock);
  v.Stream.reset();
  v.Wave.Close();
  v.Busy = false;
  v.Available = false;
  // The engine itself stays loaded and initialised for the next start:
  // espeak_Terminate waits forever for a thread that synchronous output
  // never starts.
}

void SetSpeechWaveFile(const std::string& path) { Voice().WavePath = path; }

void SetSpeechObserver(std::function<void(const std::string& text, bool purge)> observer) {
  Voice().Observer = std::move(observer);
}
