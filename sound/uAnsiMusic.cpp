#include "sound/uAnsiMusic.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>

#include "platform/Audio.h"

namespace {

enum class TArticulation { Normal, Legato, Staccato };

const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G

// The music string being read, with its play state.
class TMusicReader {
 public:
  explicit TMusicReader(const std::string& s) : FText(s) {}

  std::vector<TAnsiNote> Notes() {
    if (!FText.empty() && (Upper(0) == 'B' || Upper(0) == 'F')) FAt = 1;
    while (FAt < FText.size()) Command();
    return std::move(FNotes);
  }

 private:
  char Upper(size_t at) const { return at < FText.size() ? char(std::toupper(uint8_t(FText[at]))) : '\0'; }

  // The digits that follow, or Default when there are none or too many to
  // be a number.
  int Number(int def) {
    size_t digits = 0;
    int64_t value = 0;
    while (FAt < FText.size() && std::isdigit(uint8_t(FText[FAt]))) {
      if (digits < 10) value = value * 10 + (FText[FAt] - '0');
      ++digits;
      ++FAt;
    }
    if (digits == 0 || digits > 9) return def;
    return int(value);
  }
  bool HasNumber() const { return FAt < FText.size() && std::isdigit(uint8_t(FText[FAt])); }
  int Dots() {
    int dots = 0;
    while (Upper(FAt) == '.') ++dots, ++FAt;
    return dots;
  }

  // 240000 / (tempo x length) ms, halves to even; one dot adds half, a second
  // (only where allowed) a quarter of that once more.
  int Duration(int length, int dots, bool secondDot) const {
    int ms = int(std::nearbyint(240000.0 / (double(FTempo) * length)));
    if (dots >= 1) ms += ms / 2;
    if (dots >= 2 && secondDot) ms += ms / 4;
    return ms;
  }

  void Tone(int octave, int semitone, int ms) {
    const int hz = AnsiMusicFreqTable[size_t(octave * 12 + semitone)];
    switch (FArticulation) {
      case TArticulation::Normal: FNotes.push_back({hz, 7 * ms / 8, ms / 8}); break;
      case TArticulation::Legato: FNotes.push_back({hz, ms, 0}); break;
      case TArticulation::Staccato: FNotes.push_back({hz, 3 * ms / 4, ms / 4}); break;
    }
  }
  void Rest(int ms) { FNotes.push_back({0, 0, ms}); }

  void Command() {
    const char c = Upper(FAt++);
    switch (c) {
      case 'T':
        if (HasNumber()) FTempo = std::clamp(Number(FTempo), 32, 255);
        break;
      case 'L': FLength = std::clamp(Number(FLength), 1, 64); break;
      case 'O': FOctave = std::clamp(Number(FOctave), 0, 6); break;
      case '<': FOctave = std::max(FOctave - 1, 0); break;
      case '>': FOctave = std::min(FOctave + 1, 6); break;
      case 'A': case 'B': case 'C': case 'D': case 'E': case 'F': case 'G': Note(c); break;
      case 'N': {
        const int n = Number(0);
        const int ms = Duration(FLength, Dots(), false);
        if (n <= 0)
          Rest(ms);
        else
          Tone(std::clamp((n - 1) / 12, 0, 6), (n - 1) % 12, ms);
        break;
      }
      case 'P': {
        const int length = std::clamp(Number(FLength), 1, 64);
        Rest(Duration(length, Dots(), true));
        break;
      }
      case 'M': {
        const char m = Upper(FAt);
        if (m == 'N') FArticulation = TArticulation::Normal;
        if (m == 'L') FArticulation = TArticulation::Legato;
        if (m == 'S') FArticulation = TArticulation::Staccato;
        if (m == 'N' || m == 'L' || m == 'S' || m == 'B' || m == 'F') ++FAt;
        break;
      }
      default: break;  // anything else is skipped
    }
  }

  void Note(char letter) {
    int semitone = kSemitone[letter - 'A'];
    const char accidental = Upper(FAt);
    if (accidental == '#' || accidental == '+') ++semitone, ++FAt;
    else if (accidental == '-') --semitone, ++FAt;
    const int length = std::clamp(Number(FLength), 1, 64);
    const int ms = Duration(length, Dots(), true);
    int octave = FOctave;
    if (semitone < 0) semitone += 12, octave = std::max(octave - 1, 0);
    if (semitone > 11) semitone -= 12, octave = std::min(octave + 1, 6);
    Tone(octave, semitone, ms);
  }

  const std::string& FText;
  size_t FAt = 0;
  int FOctave = 4, FTempo = 120, FLength = 4;
  TArticulation FArticulation = TArticulation::Normal;
  std::vector<TAnsiNote> FNotes;
};

}  // namespace

std::vector<uint8_t> BuildToneWave(int hz, int ms) {
  if (hz <= 0 || ms <= 0) return {};
  const int64_t samples = std::max<int64_t>(1, int64_t(ms) * TAnsiMusicPlayer::kRate / 1000);
  std::vector<uint8_t> wave(static_cast<size_t>(samples));
  // The half period that sample i falls in is i x 2 x Hz / rate, whole part.
  for (int64_t i = 0; i < samples; ++i) wave[size_t(i)] = (i * 2 * hz / TAnsiMusicPlayer::kRate) & 1 ? 38 : 218;
  return wave;
}

std::vector<TAnsiNote> ParseAnsiMusic(const std::string& s) { return TMusicReader(s).Notes(); }

TAnsiMusicPlayer::TAnsiMusicPlayer() { Start(); }

TAnsiMusicPlayer::~TAnsiMusicPlayer() {
  Terminate();
  {
    std::lock_guard<std::mutex> hold(FLock);
    FWake.notify_all();
    if (FStream) FStream->Reset();
  }
  WaitFor();
  FStream.reset();
}

void TAnsiMusicPlayer::Enqueue(const std::string& s) {
  std::lock_guard<std::mutex> hold(FLock);
  if (FQueue.size() < kMaxQueued) FQueue.push_back(s);
  FWake.notify_all();
}

void TAnsiMusicPlayer::StopAll() {
  std::lock_guard<std::mutex> hold(FLock);
  FQueue.clear();
  FAbort.store(true);
  FWake.notify_all();
  if (FStream) FStream->Reset();
}

void TAnsiMusicPlayer::Execute() {
  while (!Terminated()) {
    std::string s;
    {
      std::unique_lock<std::mutex> hold(FLock);
      if (FQueue.empty()) {
        // Nothing to play: asleep until a string comes or the player ends
        // (both notify under the lock).
        FWake.wait(hold, [&] { return !FQueue.empty() || Terminated(); });
        continue;
      }
      s = std::move(FQueue.front());
      FQueue.pop_front();
      // Cleared together with the take: a StopAll after it ends this string.
      FAbort.store(false);
    }
    PlayString(s);
  }
}

void TAnsiMusicPlayer::PlayString(const std::string& s) {
  for (const TAnsiNote& note : ParseAnsiMusic(s))
    if (Aborted() || !PlayNote(note)) return;
}

bool TAnsiMusicPlayer::PlayNote(const TAnsiNote& note) {
  std::vector<uint8_t> samples = BuildToneWave(note.Hz, note.ToneMs);
  samples.resize(samples.size() + size_t(int64_t(note.SilenceMs) * kRate / 1000), 128);
  if (samples.empty()) return true;
  {
    std::lock_guard<std::mutex> hold(FLock);
    if (Aborted()) return false;
    if (!FStream) {
      FStream = platform::OpenAudioStream({kRate, 1, platform::SampleType::U8}, nullptr);
      if (!FStream) return false;
    }
    FStream->Queue(std::move(samples));
  }
  // One note ahead: the next is built while this one is heard.
  while (!FStream->WaitPending(1, 50))
    if (Aborted()) return false;
  return !Aborted();
}
