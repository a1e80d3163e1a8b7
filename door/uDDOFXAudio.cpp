// Loading MOD and S3M modules into the common form, the music controls, the
// sound-effect voices and the mixer. Row and tick playback lives in
// uDDOFXTracker.cpp.
#include "door/uDDOFXAudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The MOD period of notes 25..60 (three octaves from C).
constexpr int kModPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                 428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

constexpr double kModClock = 3546895.0, kS3mClock = 14317056.0;
constexpr int kRows = 64;
// A sample longer than this in an S3M header is taken as broken (length 0).
constexpr uint32_t kMaxS3mSampleLength = 4000000;
// Patterns beyond what an order byte can name are never played: not loaded.
constexpr int kMaxPatterns = 256;

// Every read is bounded: outside the data a byte reads as 0.
class TReader {
 public:
  explicit TReader(const std::string& data) : FData(data) {}
  size_t Size() const { return FData.size(); }
  uint8_t Byte(size_t at) const { return at < FData.size() ? uint8_t(FData[at]) : 0; }
  uint32_t Le16(size_t at) const { return uint32_t(Byte(at)) | uint32_t(Byte(at + 1)) << 8; }
  uint32_t Le32(size_t at) const { return Le16(at) | Le16(at + 2) << 16; }
  uint32_t Be16(size_t at) const { return uint32_t(Byte(at)) << 8 | Byte(at + 1); }
  bool Has(size_t at, const char* text) const {
    for (size_t i = 0; text[i]; ++i)
      if (Byte(at + i) != uint8_t(text[i])) return false;
    return true;
  }

 private:
  const std::string& FData;
};

// A loop shorter than two samples, or one past the end, does not loop.
void FixLoop(TModSample& s) {
  s.LoopEnd = std::min(s.LoopEnd, s.Length);
  if (s.LoopEnd - s.LoopStart < 2) {
    s.Looped = false;
    s.LoopStart = s.LoopEnd = 0;
  }
  if (!s.Looped) s.LoopStart = s.LoopEnd = 0;
}

int ModNoteFor(int period) {
  for (int i = 0; i < 36; ++i)
    if (std::abs(kModPeriods[i] - period) <= kModPeriods[i] / 60 + 2) return i + 25;
  const long n = std::lround(std::log2(856.0 / period) * 12 + 25);
  return int(std::clamp<long>(n, 1, 120));
}

int ModChannelCount(const TReader& r, int& samples) {
  samples = 15;
  if (r.Size() < 1084) return 4;
  char sig[5] = {char(r.Byte(1080)), char(r.Byte(1081)), char(r.Byte(1082)), char(r.Byte(1083)), 0};
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  int channels = 0;
  if (!std::strcmp(sig, "M.K.") || !std::strcmp(sig, "M!K!") || !std::strcmp(sig, "FLT4") || !std::strcmp(sig, "4CHN"))
    channels = 4;
  else if (!std::strcmp(sig, "FLT8") || !std::strcmp(sig, "8CHN") || !std::strcmp(sig, "OCTA") || !std::strcmp(sig, "CD81"))
    channels = 8;
  else if (sig[0] >= '1' && sig[0] <= '9' && !std::strcmp(sig + 1, "CHN"))
    channels = sig[0] - '0';
  else if (sig[0] >= '1' && sig[0] <= '3' && digit(sig[1]) && sig[2] == 'C' && sig[3] == 'H')
    channels = (sig[0] - '0') * 10 + (sig[1] - '0');
  else
    return 4;
  samples = 31;
  return channels;
}

}  // namespace

TDDOFXAudio::TDDOFXAudio() = default;
TDDOFXAudio::~TDDOFXAudio() = default;

// ---------------------------------------------------------------------------
// Loaders

void TDDOFXAudio::ClearModule() {
  FLoaded = FPlaying = FPaused = false;
  FIsS3m = false;
  FPatterns.clear();
  FSamples.clear();
  FOrders.clear();
  FChannels.clear();
  FChannelCount = 0;
  FMusicName.clear();
}

void TDDOFXAudio::ResetPlayback() {
  FOrderPos = FRow = FTick = 0;
  FGlobalVolume = 64;
  FJumpOrder = FBreakRow = -1;
  FPatternDelay = 0;
  FRepeatingRow = false;
  FTickCountdown = 0;
  FChannels.assign(size_t(FChannelCount), TModChannel{});
}

bool TDDOFXAudio::LoadMod(const std::string& data) {
  const TReader r(data);
  if (r.Size() < 600) return false;
  int sampleCount = 0;
  const int channels = ModChannelCount(r, sampleCount);
  if (channels < 1 || channels > kMaxChannels) return false;
  FChannelCount = channels;

  FSamples.assign(size_t(sampleCount) + 1, TModSample{});
  for (int i = 1; i <= sampleCount; ++i) {
    const size_t at = 20 + size_t(i - 1) * 30;
    TModSample& s = FSamples[size_t(i)];
    s.Length = int32_t(r.Be16(at + 22) * 2);
    const int nibble = r.Byte(at + 24) & 15;
    s.Finetune = nibble >= 8 ? nibble - 16 : nibble;
    s.Volume = std::min<int32_t>(r.Byte(at + 25), 64);
    s.LoopStart = int32_t(r.Be16(at + 26) * 2);
    s.LoopEnd = s.LoopStart + int32_t(r.Be16(at + 28) * 2);
    s.Looped = r.Be16(at + 28) > 1;
    s.C2Spd = 8363;
  }

  const size_t songAt = 20 + size_t(sampleCount) * 30;
  const int songLength = std::clamp<int>(r.Byte(songAt), 1, 128);
  int highest = 0;
  for (int i = 0; i < 128; ++i) {
    const int p = r.Byte(songAt + 2 + size_t(i));
    highest = std::max(highest, p);
    if (i < songLength) FOrders.push_back(uint8_t(p));
  }
  const int patternCount = highest + 1;

  size_t at = sampleCount == 31 ? 1084 : 600;
  const size_t cells = size_t(kRows) * size_t(channels);
  FPatterns.assign(size_t(patternCount), std::vector<TModNote>(cells));
  for (auto& pattern : FPatterns)
    for (size_t c = 0; c < cells; ++c, at += 4) {
      if (at + 4 > r.Size()) continue;  // a cell beyond the data stays empty
      const uint8_t b0 = r.Byte(at), b1 = r.Byte(at + 1), b2 = r.Byte(at + 2), b3 = r.Byte(at + 3);
      TModNote& n = pattern[c];
      n.Sample = uint8_t((b0 & 0xF0) | (b2 >> 4));
      const int period = (b0 & 15) << 8 | b1;
      n.Effect = b2 & 15;
      n.Param = b3;
      if (n.Effect == 14) {
        n.Effect = uint8_t(0xE0 + (b3 >> 4));
        n.Param = b3 & 15;
      }
      n.Volume = 255;
      if (period != 0) n.Note = uint8_t(ModNoteFor(period));
    }

  for (int i = 1; i <= sampleCount; ++i) {
    TModSample& s = FSamples[size_t(i)];
    const size_t left = at < r.Size() ? r.Size() - at : 0;
    s.Length = int32_t(std::min<size_t>(size_t(s.Length), left));
    s.Data.resize(size_t(s.Length));
    for (int32_t k = 0; k < s.Length; ++k) s.Data[size_t(k)] = int16_t(int8_t(r.Byte(at + size_t(k))) * 256);
    at += size_t(s.Length);
    FixLoop(s);
  }
  FSpeed = 6;
  FTempo = 125;
  FIsS3m = false;
  return true;
}

bool TDDOFXAudio::LoadS3m(const std::string& data) {
  const TReader r(data);
  if (r.Size() <= 95 || !r.Has(44, "SCRM")) return false;
  const size_t orderCount = r.Le16(32), instrumentCount = r.Le16(34), patternCount = r.Le16(36);
  const bool isSigned = r.Le16(42) == 1;
  FSpeed = r.Byte(49) == 0 ? 6 : r.Byte(49);
  FTempo = r.Byte(50) < 32 ? 125 : r.Byte(50);

  // S3M channel -> our channel, -1 for channels that are not played.
  int map[32];
  std::vector<int> pans;
  for (int i = 0; i < 32; ++i) {
    const uint8_t v = r.Byte(64 + size_t(i));
    map[i] = -1;
    if (v < 16) {
      map[i] = int(pans.size());
      pans.push_back(v <= 7 ? 64 : 192);
    }
  }
  if (pans.empty()) return false;
  FChannelCount = int32_t(pans.size());

  for (size_t i = 0; i < orderCount; ++i) {
    const uint8_t o = r.Byte(96 + i);
    if (o == 255) break;
    if (o == 254) continue;
    FOrders.push_back(o);
  }
  if (FOrders.empty()) return false;

  const size_t insPtrAt = 96 + orderCount, patPtrAt = insPtrAt + instrumentCount * 2;
  if (r.Byte(53) == 252) {
    const size_t panAt = patPtrAt + patternCount * 2;
    for (int i = 0; i < 32; ++i)
      if (map[i] >= 0 && (r.Byte(panAt + size_t(i)) & 0x20)) pans[size_t(map[i])] = (r.Byte(panAt + size_t(i)) & 15) * 17;
  }

  // Samples cannot hold more than the file: instruments whose data overlap
  // (only a damaged or hostile file has them) stop being loaded once all
  // the samples together would be larger than the file itself.
  size_t budget = r.Size();
  const size_t instruments = std::min<size_t>(instrumentCount, 255);
  FSamples.assign(instruments + 1, TModSample{});
  for (size_t i = 0; i < instruments; ++i) {
    const size_t at = size_t(r.Le16(insPtrAt + i * 2)) * 16;
    if (at == 0 || at + 80 > r.Size() || r.Byte(at) != 1) continue;
    TModSample& s = FSamples[i + 1];
    const size_t dataAt = (size_t(r.Byte(at + 13)) << 16 | r.Le16(at + 14)) * 16;
    uint32_t length = r.Le32(at + 16);
    if (length > kMaxS3mSampleLength) length = 0;
    s.LoopStart = int32_t(std::min<uint32_t>(r.Le32(at + 20), kMaxS3mSampleLength));
    s.LoopEnd = int32_t(std::min<uint32_t>(r.Le32(at + 24), kMaxS3mSampleLength));
    s.Volume = std::min<int32_t>(r.Byte(at + 28), 64);
    const uint8_t flags = r.Byte(at + 31);
    s.Looped = flags & 1;
    const bool wide = flags & 4;
    const uint32_t c2 = r.Le32(at + 32);
    s.C2Spd = c2 == 0 || c2 > 0x7FFFFFFF ? 8363 : int32_t(c2);
    const size_t bytesPer = wide ? 2 : 1;
    const size_t left = dataAt < r.Size() ? (r.Size() - dataAt) / bytesPer : 0;
    size_t n = std::min<size_t>(length, left);
    n = std::min(n, budget / bytesPer);
    budget -= n * bytesPer;
    s.Length = int32_t(n);
    s.Data.resize(n);
    for (size_t k = 0; k < n; ++k) {
      int v;
      if (wide) {
        v = int(r.Le16(dataAt + k * 2));
        v = isSigned ? int(int16_t(uint16_t(v))) : v - 0x8000;
      } else {
        const uint8_t b = r.Byte(dataAt + k);
        v = (isSigned ? int(int8_t(b)) : int(b) - 128) * 256;
      }
      s.Data[k] = int16_t(v);
    }
    FixLoop(s);
  }

  const size_t patterns = std::min<size_t>(patternCount, kMaxPatterns);
  const size_t cells = size_t(kRows) * size_t(FChannelCount);
  FPatterns.assign(patterns, std::vector<TModNote>(cells));
  for (size_t p = 0; p < patterns; ++p) {
    const size_t at = size_t(r.Le16(patPtrAt + p * 2)) * 16;
    if (at == 0) continue;  // an empty pattern
    const size_t end = std::min(r.Size(), at + size_t(r.Le16(at)) + 2);
    size_t pos = at + 2;
    int row = 0;
    while (row < kRows && pos < end) {
      const uint8_t what = r.Byte(pos++);
      if (what == 0) {
        ++row;
        continue;
      }
      TModNote cell;
      if (what & 0x20) {
        const uint8_t note = r.Byte(pos), sample = r.Byte(pos + 1);
        pos += 2;
        cell.Note = note == 254 ? 254 : note == 255 ? 0 : uint8_t((note >> 4) * 12 + (note & 15) + 1);
        cell.Sample = sample;
      }
      if (what & 0x40) cell.Volume = std::min<uint8_t>(r.Byte(pos++), 64);
      if (what & 0x80) {
        cell.Effect = r.Byte(pos);
        cell.Param = r.Byte(pos + 1);
        pos += 2;
      }
      const int channel = map[what & 31];
      if (channel >= 0) FPatterns[p][size_t(row) * size_t(FChannelCount) + size_t(channel)] = cell;
    }
  }

  FIsS3m = true;
  ResetPlayback();
  for (size_t c = 0; c < pans.size(); ++c) FChannels[c].Pan = pans[c];
  FGlobalVolume = std::clamp<int>(r.Byte(48), 1, 64);
  return true;
}

// ---------------------------------------------------------------------------
// Music controls

bool TDDOFXAudio::LoadMusic(const std::string& bytes, const std::string& name) {
  std::lock_guard<std::mutex> hold(FLock);
  ClearModule();
  bool ok = LoadS3m(bytes);
  // A file that says it is an S3M is not read again as a signature-less MOD
  // (which any 600 bytes would make) when the S3M loader refused it.
  const bool saysS3m = bytes.size() > 95 && bytes.compare(44, 4, "SCRM") == 0;
  if (!ok && !saysS3m) {
    ClearModule();
    ok = LoadMod(bytes);
    if (ok) {
      ResetPlayback();
      for (int c = 0; c < FChannelCount; ++c) FChannels[size_t(c)].Pan = (c % 4 == 0 || c % 4 == 3) ? 80 : 176;
    }
  }
  if (!ok) {
    ClearModule();
    return false;
  }
  FTailLeft = FTailRight = 0;
  FMusicName = name;
  FLoaded = FPlaying = true;
  FPaused = false;
  return true;
}

void TDDOFXAudio::StopMusic() {
  std::lock_guard<std::mutex> hold(FLock);
  ClearModule();
}

void TDDOFXAudio::TogglePause() {
  std::lock_guard<std::mutex> hold(FLock);
  if (FLoaded) FPaused = !FPaused;
}

void TDDOFXAudio::SetVolume(int v) { FMusicVolume.store(std::clamp(v, 0, 64)); }

int TDDOFXAudio::ChannelLevel(int channel) {
  std::lock_guard<std::mutex> hold(FLock);
  if (!FPlaying || FPaused || channel < 0 || channel >= int(FChannels.size())) return 0;
  return FChannels[size_t(channel)].Level;
}

int TDDOFXAudio::ChannelCount() {
  std::lock_guard<std::mutex> hold(FLock);
  return FPlaying ? FChannelCount : 0;
}

std::string TDDOFXAudio::MusicName() {
  std::lock_guard<std::mutex> hold(FLock);
  return FLoaded ? FMusicName : std::string();
}

void TDDOFXAudio::StepPattern(int direction) {
  std::lock_guard<std::mutex> hold(FLock);
  if (!FLoaded) return;
  if (direction > 0)
    FOrderPos = FOrderPos + 1 >= int(FOrders.size()) ? 0 : FOrderPos + 1;
  else
    FOrderPos = std::max(FOrderPos - 1, 0);
  FRow = FTick = 0;
  FPatternDelay = 0;
  FRepeatingRow = false;
  FTickCountdown = 0;
}

bool TDDOFXAudio::Playing() {
  std::lock_guard<std::mutex> hold(FLock);
  return FPlaying;
}

bool TDDOFXAudio::Paused() {
  std::lock_guard<std::mutex> hold(FLock);
  return FPaused;
}

TModPosition TDDOFXAudio::Position() {
  std::lock_guard<std::mutex> hold(FLock);
  return {FOrderPos, FRow, FTick, FSpeed, FTempo, FGlobalVolume};
}

TModChannel TDDOFXAudio::Channel(int channel) {
  std::lock_guard<std::mutex> hold(FLock);
  if (channel < 0 || channel >= int(FChannels.size())) return {};
  return FChannels[size_t(channel)];
}

int TDDOFXAudio::OrderCount() {
  std::lock_guard<std::mutex> hold(FLock);
  return int(FOrders.size());
}

int TDDOFXAudio::PatternCount() {
  std::lock_guard<std::mutex> hold(FLock);
  return int(FPatterns.size());
}

int TDDOFXAudio::SampleCount() {
  std::lock_guard<std::mutex> hold(FLock);
  return FSamples.empty() ? 0 : int(FSamples.size()) - 1;
}

size_t TDDOFXAudio::SampleMemory() {
  std::lock_guard<std::mutex> hold(FLock);
  size_t n = 0;
  for (const TModSample& s : FSamples) n += s.Data.size() * sizeof(int16_t);
  return n;
}

// ---------------------------------------------------------------------------
// Sound effects

void TDDOFXAudio::PlaySample(const std::vector<TSfxChunk>& chunks, int id, int rate) {
  if (chunks.empty()) return;
  std::lock_guard<std::mutex> hold(FLock);
  TSfxVoice* voice = nullptr;
  for (TSfxVoice& v : FSfxVoices)
    if (!v.Active) {
      voice = &v;
      break;
    }
  if (!voice) {
    voice = &FSfxVoices[0];
    for (TSfxVoice& v : FSfxVoices)
      if (v.Started < voice->Started) voice = &v;
    if (voice->Id >= 1 && voice->Id <= kSoundIds) FSfxFinished[size_t(voice->Id - 1)] = true;
  }
  ++FSfxCounter;
  if (rate < 1) rate = 8500;
  rate = std::clamp(rate, kMinRate, kMaxRate);
  voice->Chunks = chunks;
  voice->ChunkIndex = 0;
  voice->Position = 0;
  voice->Step = double(rate) / kRate;
  voice->Started = FSfxCounter;
  voice->Id = id;
  voice->Active = true;
  if (id >= 1 && id <= kSoundIds) FSfxFinished[size_t(id - 1)] = false;
}

TSfxVoice TDDOFXAudio::Voice(int i) {
  std::lock_guard<std::mutex> hold(FLock);
  return i >= 0 && i < kVoices ? FSfxVoices[size_t(i)] : TSfxVoice{};
}

void TDDOFXAudio::StopSamples() {
  std::lock_guard<std::mutex> hold(FLock);
  for (TSfxVoice& v : FSfxVoices) {
    v.Active = false;
    v.Chunks.clear();
  }
}

std::string TDDOFXAudio::SampleStatus(int id) {
  if (id < 1 || id > kSoundIds) return "N/A";
  std::lock_guard<std::mutex> hold(FLock);
  for (const TSfxVoice& v : FSfxVoices)
    if (v.Active && v.Id == id) return "1";
  return FSfxFinished[size_t(id - 1)] ? "0" : "N/A";
}

// ---------------------------------------------------------------------------
// Mixing

bool TDDOFXAudio::IsActive() {
  if (!FEnabled.load()) return false;
  std::lock_guard<std::mutex> hold(FLock);
  if (FPlaying && !FPaused) return true;
  for (const TSfxVoice& v : FSfxVoices)
    if (v.Active) return true;
  return false;
}

void TDDOFXAudio::CutToTails(TModChannel& ch) {
  FTailLeft += ch.LastLeft;
  FTailRight += ch.LastRight;
  ch.LastLeft = ch.LastRight = 0;
}

void TDDOFXAudio::MixMusic(int32_t* acc, int frames) {
  const int samples = int(FSamples.size()) - 1;
  const double clock = FIsS3m ? kS3mClock : kModClock;
  const int musicVolume = FMusicVolume.load();
  int done = 0;
  while (done < frames) {
    if (FTickCountdown <= 0) {
      TickDriver();
      FTickCountdown += 110250.0 / std::max(FTempo, 32);
    }
    const int chunk = std::clamp(int(FTickCountdown + 0.999), 1, frames - done);
    int32_t* out = acc + size_t(done) * 2;
    for (TModChannel& ch : FChannels) {
      if (!ch.Active || ch.Sample < 1 || ch.Sample > samples) continue;
      const TModSample& s = FSamples[size_t(ch.Sample)];
      if (s.Length <= 0) {
        ch.Active = false;
        continue;
      }
      const double step = ch.Period > 1 ? clock / ch.Period / kRate : 0;
      if (step <= 0) continue;
      const int g = std::clamp(ch.Volume, 0, 64) * FGlobalVolume * musicVolume / 64;
      const int left = (256 - ch.Pan) * g / 256, right = ch.Pan * g / 256;
      const int loopLength = s.LoopEnd - s.LoopStart;
      for (int f = 0; f < chunk; ++f) {
        int i = int(ch.Position);
        if (s.Looped && i >= s.LoopEnd) {
          // Back into the loop in one step, however far the position ran
          // past it (a large sample offset, a very high note).
          ch.Position = s.LoopStart + std::fmod(ch.Position - s.LoopStart, double(loopLength));
          i = int(ch.Position);
          if (i >= s.LoopEnd || i < s.LoopStart) {
            ch.Position = s.LoopStart;
            i = s.LoopStart;
          }
        } else if (!s.Looped && i >= s.Length) {
          CutToTails(ch);
          ch.Active = false;
          break;
        }
        const int s0 = s.Data[size_t(i)];
        const int s1 = i + 1 < s.Length ? s.Data[size_t(i) + 1] : s.Looped ? s.Data[size_t(s.LoopStart)] : s0;
        int value = s0 + int(std::lround((s1 - s0) * (ch.Position - i)));
        if (ch.Ramp > 0) {
          value = (32 - ch.Ramp) * value / 32;
          --ch.Ramp;
        }
        ch.LastLeft = value * left / 4096;
        ch.LastRight = value * right / 4096;
        out[f * 2] += ch.LastLeft;
        out[f * 2 + 1] += ch.LastRight;
        ch.Position += step;
      }
    }
    if (std::fabs(FTailLeft) < 1 && std::fabs(FTailRight) < 1) {
      FTailLeft = FTailRight = 0;
    } else {
      for (int f = 0; f < chunk; ++f) {
        out[f * 2] += int32_t(std::lround(FTailLeft));
        out[f * 2 + 1] += int32_t(std::lround(FTailRight));
        FTailLeft *= 0.995;
        FTailRight *= 0.995;
      }
    }
    FTickCountdown -= chunk;
    done += chunk;
  }

  const double decay = std::pow(0.82, double(frames) / 882.0);
  for (TModChannel& ch : FChannels) {
    ch.Level = ch.Active ? int(std::min<long>(std::lround((ch.Peak * 0.65 + 0.35) * std::clamp(ch.Volume, 0, 64)), 64)) : 0;
    ch.Peak *= decay;
  }
  const int divisor = FChannelCount / 2 + 2;
  for (int k = 0; k < frames * 2; ++k) acc[k] = acc[k] * 4 / divisor;
}

void TDDOFXAudio::EndVoice(TSfxVoice& v) {
  v.Active = false;
  v.Chunks.clear();
  if (v.Id >= 1 && v.Id <= kSoundIds) FSfxFinished[size_t(v.Id - 1)] = true;
}

void TDDOFXAudio::MixVoices(int32_t* acc, int frames) {
  for (TSfxVoice& v : FSfxVoices) {
    if (!v.Active) continue;
    int f = 0;
    while (f < frames) {
      // Past the current chunk (or on an empty one): the next chunk from its start.
      while (v.ChunkIndex < int(v.Chunks.size()) &&
             (!v.Chunks[size_t(v.ChunkIndex)] || v.Position >= double(v.Chunks[size_t(v.ChunkIndex)]->size()))) {
        ++v.ChunkIndex;
        v.Position = 0;
      }
      if (v.ChunkIndex >= int(v.Chunks.size())) {
        EndVoice(v);
        break;
      }
      const std::string& bytes = *v.Chunks[size_t(v.ChunkIndex)];
      const size_t i = size_t(v.Position);
      const int s0 = int(int8_t(bytes[i])) * 256;
      const int s1 = i + 1 < bytes.size() ? int(int8_t(bytes[i + 1])) * 256 : s0;
      const int value = (s0 + int(std::lround((s1 - s0) * (v.Position - double(i))))) * 3 / 4;
      acc[f * 2] += value;
      acc[f * 2 + 1] += value;
      v.Position += v.Step;
      ++f;
    }
  }
}

void TDDOFXAudio::Mix(int16_t* out, int frames) {
  if (frames <= 0) return;
  std::lock_guard<std::mutex> hold(FLock);
  if (FAcc.size() < size_t(frames) * 2) FAcc.resize(size_t(frames) * 2);
  int32_t* acc = FAcc.data();
  std::fill(acc, acc + size_t(frames) * 2, 0);
  const bool enabled = FEnabled.load();
  if (enabled && FPlaying && !FPaused && FChannelCount > 0) MixMusic(acc, frames);
  if (enabled) MixVoices(acc, frames);
  for (int k = 0; k < frames * 2; ++k) out[k] = int16_t(std::clamp<int32_t>(acc[k], -32768, 32767));
}
