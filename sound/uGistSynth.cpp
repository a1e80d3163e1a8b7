#include "sound/uGistSynth.h"

#include <algorithm>
#include <cmath>

#include "core/uDebugLog.h"

namespace {

// Chip volume levels 0..15 as output amplitudes (a logarithmic ladder).
constexpr int32_t kVolumeConverter[16] = {20,  53,   88,   125,  193,  258,  385,  525,
                                          753, 1029, 1523, 2077, 3110, 4395, 7073, 10922};
// An effect's volume 0..15 as a factor of 1/256 for the envelope level.
constexpr int32_t kVolumeScale[16] = {0, 18, 35, 52, 69, 86, 103, 120, 137, 154, 171, 188, 205, 222, 239, 256};
// Per voice: the mixer bits (tone and noise enable) a new effect leaves alone.
constexpr uint8_t kMixerKeep[3] = {0xF6, 0xED, 0xDB};

constexpr int32_t kLevelFull = 0xF0000;  // 15.0 in 16.16

// The built-in effects. A record: 0 duration in 200 Hz ticks, 1 tone period
// (negative: no tone), 2 noise period (negative: no noise), 3 volume, 4 the
// volume envelope's first phase; then, as 16.16 pairs (integer word, fraction
// word), the volume envelope's attack, decay, sustain and release with its
// oscillator (amplitude, step, then a delay in ticks), the tone envelope
// (phase word, attack step and target, decay step and target, release) with
// its oscillator (upper limit, step, upward reload, lower limit, downward
// reload, delay), and the noise envelope (phase, attack, decay, release)
// with its oscillator (amplitude, step, delay).
// Records 0, 2 and 10 are given word for word. The others keep the
// durations, periods, first phases and running oscillators of their sounds;
// their envelope steps and oscillator settings are ours: an attack to full
// volume or a fade in, a decay to a sustain level, a release toward silence,
// pitch envelopes in units where 4096 doubles the period, and oscillators
// that swing between their limits.
constexpr TGistEffect kBuiltInEffects[TGistSynth::kEffectCount] = {
    // 0 alien invasion (the GIST record as published)
    {{28, 477, -1, 15, 1, 1, 4681, -5, 27853, 5, -9830, -1, -1278, 7, -32768, 7, -32768, 14, 1, -4080, -256, -4080, -256, 0, 0, -4080, -256, 18, -30086, 1696, 13405, -1200, -26066, 1696, 13405, -1200, -26066, -1200, -26066, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 1 red alert
    {{200, 477, -1, 15, 1, 15, 0, 0, 0, 15, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1024, 0, 64, 0, 64, 0, -1024, 0, -64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 2 gunshot (the GIST record as published)
    {{8, 1250, 31, 15, 1, 3, -16384, -1, -7562, 0, 0, -1, -10923, 0, 0, 1, 19988, 0, 1, -4080, -256, -4080, -256, 114, -4444, -57, -24712, 56, 24712, 0, 0, -3584, -8192, 28665, 0, 0, 0, -3584, -8192, 0, 1, -3, -14043, -31, 0, 31, 0, 0, 0, 1, -29491, 0, 0, 0, 0, 0}},
    // 3 laser 1
    {{8, 284, -1, 15, 1, 15, 0, -1, -32768, 10, 0, -2, 0, 0, 0, 0, 0, 0, 1, 512, 0, 4096, 0, 0, 0, 4096, 0, 256, 0, 128, 0, 64, 0, 64, 0, -128, 0, -64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 4 jackhammer
    {{8, 625, -1, 15, 1, 15, 0, 0, 0, 15, 0, -3, 0, 7, -32768, 7, -32768, 0, 1, -256, 0, -1024, 0, 0, 0, -1024, 0, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 5 teleport
    {{500, 477, 16, 15, 1, 0, -32768, -1, -655, 8, 0, -1, -6554, 3, 0, 0, -16384, 0, 1, -16, 0, -2048, 0, 8, 0, -1024, 0, 16, 0, 512, 0, 128, 0, 128, 0, -512, 0, -128, 0, 0, 1, 0, 16384, 8, 0, -1, -3277, 0, 0, -1, -32768, 0, 0, 0, 0, 0}},
    // 6 explosion
    {{200, 477, 31, 15, 1, 15, 0, -1, -5243, 0, 0, -1, -32768, 0, 0, 0, 0, 0, 1, 64, 0, 4096, 0, 0, 0, 4096, 0, -64, 0, 256, 0, 128, 0, 128, 0, -256, 0, -128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 7 laser 2
    {{40, 477, -1, 15, 1, 15, 0, -1, -19661, 4, 0, -1, 0, 0, 0, 0, 0, 0, 1, -256, 0, -3072, 0, 128, 0, 0, 0, 256, 0, 384, 0, 192, 0, 192, 0, -384, 0, -192, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 8 long bell
    {{20, 52, -1, 15, 1, 15, 0, -1, -3277, 6, 0, -1, -1311, 2, 0, 0, 16384, 160, 1, 8, 0, 64, 0, -4, 0, 0, 0, 4, 0, 48, 0, 16, 0, 16, 0, -48, 0, -16, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 9 surprise
    {{100, 477, -1, 15, 1, 1, 0, -1, -6554, 10, 0, -1, -32768, 2, 0, 1, 0, 0, 1, -64, 0, -2048, 0, 32, 0, -1024, 0, 64, 0, 256, 0, 64, 0, 64, 0, -256, 0, -64, 0, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 10 radio broadcast (the GIST record as published)
    {{800, 954, 23, 15, 1, 0, -32768, -1, -69, 14, 6554, -15, -6554, 7, 22938, 5, 19137, 0, 1, -30, -20744, -3665, 28433, 0, 5618, -3584, -8192, 0, -26399, 10977, -21383, -72, 27596, 263, 30420, -2983, -29831, -72, 27596, 30, 1, 1, -9175, 29, -15729, -2, 17302, -31, 0, 0, 15049, 15, -32768, -4, -6554, 145}},
    // 11 bounce ball (the same record as 3)
    {{8, 284, -1, 15, 1, 15, 0, -1, -32768, 10, 0, -2, 0, 0, 0, 0, 0, 0, 1, 512, 0, 4096, 0, 0, 0, 4096, 0, 256, 0, 128, 0, 64, 0, 64, 0, -128, 0, -64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 12 eerie sound
    {{200, 477, -1, 15, 1, 0, 16384, -1, -1311, 10, 0, -1, -6554, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1536, 0, 24, 0, 24, 0, -1536, 0, -24, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 13 motorcycle
    {{500, 1923, 15, 15, 1, 3, 0, -1, -3277, 11, 0, -1, -13107, 4, 0, 2, 0, 0, 1, -8, 0, -1024, 0, 4, 0, -512, 0, 16, 0, 256, 0, 64, 0, 64, 0, -256, 0, -64, 0, 0, 1, 0, -32768, 4, 0, -1, -6554, 0, 0, -1, -32768, 3, 0, 1, -32768, 0}},
    // 14 helicopter
    {{500, 62, 15, 15, 1, 15, 0, 0, 0, 15, 0, -1, -13107, 7, -32768, 2, -32768, 0, 1, 16, 0, 512, 0, -8, 0, 256, 0, 16, 0, 128, 0, 32, 0, 32, 0, -128, 0, -32, 0, 0, 1, 1, 0, 6, 0, -1, -3277, 2, 0, -1, -32768, 2, 0, 1, 0, 0}},
    // 15 steam locomotive
    {{800, -1, 23, 15, 1, 15, 0, 0, 0, 15, 0, -1, -6554, 7, 0, 1, -16384, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, -1, -16384, -8, 0, 0, 1311, -4, 0, 0, 16384, 4, 0, 0, -32768, 145}},
    // 16 wave
    {{400, 238, -1, 15, 1, 0, -32768, -1, -1311, 8, 0, -1, -6554, 5, 0, 0, 16384, 15, 1, 32, 0, 1024, 0, -16, 0, 512, 0, 32, 0, 512, 0, 32, 0, 32, 0, -512, 0, -32, 0, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 17 robot walk
    {{8, 1330, -1, 15, 1, 15, 0, -1, 0, 8, 0, -3, 0, 0, 0, 0, 0, 0, 1, -512, 0, -2048, 0, 256, 0, 0, 0, 256, 0, 512, 0, 256, 0, 256, 0, -512, 0, -256, 0, 0, 1, 1, 0, 4, 0, -1, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0}},
    // 18 passing plane
    {{50, 477, -1, 15, 1, 0, 19661, -1, -6554, 6, 0, -1, -3277, 0, 0, 0, 0, 0, 1, -32, 0, -1024, 0, 16, 0, 512, 0, 16, 0, 64, 0, 16, 0, 16, 0, -64, 0, -16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // 19 landing
    {{700, 78, -1, 15, 1, 0, -32768, -1, -655, 9, 0, -1, -6554, 0, 0, 0, 0, 0, 1, 8, 0, 4096, 0, 0, 0, 4096, 0, -16, 0, 96, 0, 24, 0, 24, 0, -96, 0, -24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
};

// Tone periods of notes 24..108: 125000 / frequency, A4 (note 69) at 440 Hz.
const std::array<int32_t, 85>& NoteTable() {
  static const std::array<int32_t, 85> table = [] {
    std::array<int32_t, 85> t{};
    for (int n = 24; n <= 108; ++n)
      t[size_t(n - 24)] = int32_t(std::lround(125000.0 / (440.0 * std::pow(2.0, (n - 69) / 12.0))));
    return t;
  }();
  return table;
}

// 32-bit arithmetic as the sequencer's registers do it: wrapping, never
// undefined.
int32_t Add32(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
int32_t Neg32(int32_t a) { return int32_t(0u - uint32_t(a)); }
int32_t Fixed(const TGistEffect& e, int word) {
  return int32_t((uint32_t(uint16_t(e[size_t(word)])) << 16) | uint32_t(uint16_t(e[size_t(word + 1)])));
}

// An envelope phase that moves toward its target: reached from below for a
// step of 0 or more, from above for a negative one.
bool Reached(int32_t value, int32_t step, int32_t target) { return step >= 0 ? value >= target : value <= target; }

}  // namespace

TGistSynth::TGistSynth(uint32_t sampleRate) : FRate(std::max<uint32_t>(sampleRate, 1)) { ResetLocked(); }

const TGistEffect& TGistSynth::BuiltInEffect(int effect) {
  return kBuiltInEffects[std::clamp(effect, 0, kEffectCount - 1)];
}

int32_t TGistSynth::NotePeriod(int note) {
  while (note < 24) note += 12;
  while (note > 108) note -= 12;
  return NoteTable()[size_t(note - 24)];
}

void TGistSynth::Reset() {
  std::lock_guard<std::mutex> lock(FLock);
  ResetLocked();
}

void TGistSynth::ResetLocked() {
  FRegs.fill(0);
  FRegs[7] = 63;
  for (int v = 0; v < 3; ++v) {
    FToneCounter[v] = 0;
    FTonePeriod[v] = 1;
    FToneOut[v] = false;
    FVoices[v] = TVoice{};
  }
  FNoiseCounter = 0;
  FNoisePeriod = 1;
  FNoiseLfsr = 1;
  FNoiseOut = false;
  FNoisePrescale = false;
  FClockAcc = 0;
  FDcIn = FDcOut = 0;
  FMixer = 63;
  FTickAcc = 0;
  FSampleCount = 0;
  for (int e = 0; e < kEffectCount; ++e) FEffects[size_t(e)] = kBuiltInEffects[e];
  FRepeatCount = 5;
  FSchedule.clear();
  FNextDue = INT64_MAX;
  FScheduleDropLogged = false;
}

// ---------------------------------------------------------------- the chip

void TGistSynth::WriteRegister(int r, uint8_t value) {
  if (r < 0 || r > 15) return;
  FRegs[size_t(r)] = value;
  if (r <= 5) {
    const int v = r / 2;
    const uint32_t period = (uint32_t(FRegs[size_t(2 * v + 1)] & 15) << 8) | FRegs[size_t(2 * v)];
    FTonePeriod[v] = period == 0 ? 1 : period;
  } else if (r == 6) {
    FNoisePeriod = (value & 31) == 0 ? 1 : (value & 31);
  }
}

double TGistSynth::ChipSample() {
  uint32_t ticks = 0;
  do {
    ++ticks;
    FClockAcc += FRate;
  } while (FClockAcc < kChipClock);
  FClockAcc -= kChipClock;

  uint32_t high[3] = {0, 0, 0};
  const uint8_t mixer = FRegs[7];
  for (uint32_t t = 0; t < ticks; ++t) {
    for (int v = 0; v < 3; ++v) {
      if (++FToneCounter[v] >= FTonePeriod[v]) {
        FToneCounter[v] = 0;
        FToneOut[v] = !FToneOut[v];
      }
    }
    FNoisePrescale = !FNoisePrescale;
    if (FNoisePrescale && ++FNoiseCounter >= FNoisePeriod) {
      FNoiseCounter = 0;
      const uint32_t bit = FNoiseLfsr & 1;
      FNoiseLfsr >>= 1;
      if (bit) FNoiseLfsr ^= 0x12000;
      FNoiseOut = bit != 0;
    }
    for (int v = 0; v < 3; ++v) {
      const bool toneOn = !(mixer & (1 << v)), noiseOn = !(mixer & (8 << v));
      if (!((toneOn && !FToneOut[v]) || (noiseOn && !FNoiseOut))) ++high[v];
    }
  }
  double mix = 0;
  for (int v = 0; v < 3; ++v) mix += double(kVolumeConverter[FRegs[size_t(8 + v)] & 15]) * high[v] / ticks;
  FDcOut = FDcOut * 0.995 + (mix - FDcIn);
  FDcIn = mix;
  return FDcOut;
}

void TGistSynth::Render(int16_t* buffer, size_t count) {
  std::lock_guard<std::mutex> lock(FLock);
  for (size_t i = 0; i < count; ++i) {
    if (FSampleCount >= FNextDue) StartDueRepeats();
    FTickAcc += kTickRate;
    if (FTickAcc >= FRate) {
      FTickAcc -= FRate;
      SequencerTick();
    }
    const double sample = std::clamp(2.0 * ChipSample(), -32768.0, 32767.0);
    buffer[i] = int16_t(std::nearbyint(sample));  // ties to even
    ++FSampleCount;
  }
}

// ---------------------------------------------------------------- starting

int TGistSynth::PickVoice(int requested, int priority) const {
  if (requested > 2) return -1;
  if (requested >= 0 && FVoices[requested].Priority <= priority) return requested;
  for (int v = 0; v < 3; ++v)
    if (FVoices[v].Remaining == 0) return v;
  int best = 0;
  for (int v = 1; v < 3; ++v)
    if (FVoices[v].Priority <= FVoices[best].Priority) best = v;
  return FVoices[best].Priority <= priority ? best : -1;
}

void TGistSynth::LoadVoice(TVoice& v, const TGistEffect& e, int note, int priority, int volume) {
  v.TonePeriod = e[1];
  v.NoisePeriod = e[2];
  v.Volume = (volume >= 0 && volume <= 15) ? int16_t(volume) : e[3];
  v.VolPhase = e[4];
  v.VolAttack = Fixed(e, 5);
  v.VolDecay = Fixed(e, 7);
  v.VolSustain = Fixed(e, 9);
  v.VolRelease = Fixed(e, 11);
  v.VolLfoAmp = Fixed(e, 13);
  v.VolLfoStep = Fixed(e, 15);
  v.VolLfoDelay = e[17];
  v.TonePhase = e[18];
  v.ToneAttack = Fixed(e, 19);
  v.ToneAttackTarget = Fixed(e, 21);
  v.ToneDecay = Fixed(e, 23);
  v.ToneDecayTarget = Fixed(e, 25);
  v.ToneRelease = Fixed(e, 27);
  v.ToneLfoLimit = Fixed(e, 29);
  v.ToneLfoStep = Fixed(e, 31);
  v.ToneLfoUpReload = Fixed(e, 33);
  v.ToneLfoLower = Fixed(e, 35);
  v.ToneLfoDownReload = Fixed(e, 37);
  v.ToneLfoDelay = e[39];
  v.NoisePhase = e[40];
  v.NoiseAttack = Fixed(e, 41);
  v.NoiseAttackTarget = Fixed(e, 43);
  v.NoiseDecay = Fixed(e, 45);
  v.NoiseDecayTarget = Fixed(e, 47);
  v.NoiseRelease = Fixed(e, 49);
  v.NoiseLfoAmp = Fixed(e, 51);
  v.NoiseLfoStep = Fixed(e, 53);
  v.NoiseLfoDelay = e[55];
  v.Note = int16_t(note);
  v.Priority = int16_t(priority);
  v.VolLevel = v.VolLfo = v.ToneEnv = v.ToneLfo = v.NoiseEnv = v.NoiseLfo = 0;
}

int TGistSynth::StartEffect(int effect, int requested, int priority, int note, int volume) {
  const TGistEffect& e = FEffects[size_t(effect)];
  if (e[0] == 0) return -1;
  const int v = PickVoice(requested, priority);
  if (v < 0) return -1;
  TVoice& voice = FVoices[v];
  voice.Remaining = 0;
  voice.Priority = 0;
  WriteRegister(8 + v, 0);
  LoadVoice(voice, e, note, priority, volume);

  uint8_t disabled = 0;
  if (voice.TonePeriod >= 0) {
    if (note >= 0) voice.TonePeriod = int16_t(NotePeriod(note));
    WriteRegister(2 * v, uint8_t(voice.TonePeriod & 255));
    WriteRegister(2 * v + 1, uint8_t((voice.TonePeriod >> 8) & 15));
  } else {
    voice.TonePhase = 0;
    voice.ToneLfoLimit = 0;
    disabled |= uint8_t(1 << v);
  }
  if (voice.NoisePeriod >= 0) {
    WriteRegister(6, uint8_t(voice.NoisePeriod & 31));
  } else {
    voice.NoisePhase = 0;
    voice.NoiseLfoAmp = 0;
    disabled |= uint8_t(8 << v);
  }
  FMixer = uint8_t((FMixer & kMixerKeep[v]) | disabled);
  WriteRegister(7, FMixer);
  if (voice.VolPhase == 0) {
    voice.VolLevel = kLevelFull;
    WriteRegister(8 + v, uint8_t(voice.Volume & 15));
  }
  voice.Remaining = e[0];
  return v;
}

void TGistSynth::Schedule(int64_t due, int effect) {
  if (FSchedule.size() >= kMaxScheduled) {
    // A flood of starts: the oldest waiting repeat makes room.
    FSchedule.erase(FSchedule.begin());
    if (!FScheduleDropLogged) {
      LogLine("IGSSound: more than " + std::to_string(kMaxScheduled) + " effect repeats waiting, the oldest dropped");
      FScheduleDropLogged = true;
    }
  }
  FSchedule.push_back(TScheduled{due, effect});
  FNextDue = std::min(FNextDue, due);
}

void TGistSynth::StartDueRepeats() {
  FNextDue = INT64_MAX;
  size_t kept = 0;
  for (size_t i = 0; i < FSchedule.size(); ++i) {
    const TScheduled s = FSchedule[i];
    if (s.Due <= FSampleCount) {
      StartEffect(s.Effect, -1, kPriority, -1, -1);
    } else {
      FSchedule[kept++] = s;
      FNextDue = std::min(FNextDue, s.Due);
    }
  }
  FSchedule.resize(kept);
}

void TGistSynth::PlayEffect(int effect) {
  std::lock_guard<std::mutex> lock(FLock);
  if (effect < 0 || effect >= kEffectCount) return;
  StartEffect(effect, -1, kPriority, -1, -1);
  if (effect <= 4)
    for (int i = 1; i < FRepeatCount; ++i) Schedule(FSampleCount + int64_t(i) * (FRate / 5), effect);
}

void TGistSynth::PlayNote(int effect, int voice, int note, int volume) {
  std::lock_guard<std::mutex> lock(FLock);
  if (effect < 0 || effect >= kEffectCount || note < 1) return;
  StartEffect(effect, (voice >= 0 && voice <= 2) ? voice : -1, kPriority, note, volume);
}

void TGistSynth::KeyOffLocked(int voice) {
  if (voice < 0 || voice > 2) return;
  TVoice& v = FVoices[voice];
  if (v.Remaining == 0) return;
  v.Remaining = 1;
  v.Note = -1;
}

void TGistSynth::KeyOff(int voice) {
  std::lock_guard<std::mutex> lock(FLock);
  KeyOffLocked(voice);
}

void TGistSynth::ReleaseVoice(int voice) {
  std::lock_guard<std::mutex> lock(FLock);
  KeyOffLocked(voice);
}

void TGistSynth::KeyOffAll() {
  std::lock_guard<std::mutex> lock(FLock);
  for (int v = 0; v < 3; ++v) KeyOffLocked(v);
}

void TGistSynth::StopAll() {
  std::lock_guard<std::mutex> lock(FLock);
  StopAllLocked();
}

void TGistSynth::StopAllLocked() {
  for (int v = 0; v < 3; ++v) {
    FVoices[v].Remaining = 0;
    FVoices[v].Priority = 0;
    WriteRegister(8 + v, 0);
  }
  FMixer = 63;
  WriteRegister(7, 63);
  FSchedule.clear();
  FNextDue = INT64_MAX;
  FScheduleDropLogged = false;
}

void TGistSynth::SetEffectWord(int effect, int word, int32_t value) {
  std::lock_guard<std::mutex> lock(FLock);
  if (effect < 0 || effect >= kEffectCount || word < 0 || word > 55) return;
  FEffects[size_t(effect)][size_t(word)] = int16_t(uint16_t(uint32_t(value) & 0xFFFF));
}

void TGistSynth::RestoreEffect(int effect) {
  std::lock_guard<std::mutex> lock(FLock);
  if (effect < 0 || effect >= kEffectCount) return;
  FEffects[size_t(effect)] = kBuiltInEffects[effect];
}

void TGistSynth::SetRepeatCount(int n) {
  std::lock_guard<std::mutex> lock(FLock);
  FRepeatCount = std::clamp(n, 1, 50);
}

bool TGistSynth::IsActive() {
  std::lock_guard<std::mutex> lock(FLock);
  for (const TVoice& v : FVoices)
    if (v.Remaining != 0) return true;
  return !FSchedule.empty();
}

uint8_t TGistSynth::Register(int r) {
  std::lock_guard<std::mutex> lock(FLock);
  return (r >= 0 && r <= 15) ? FRegs[size_t(r)] : 0;
}

size_t TGistSynth::ScheduledCount() {
  std::lock_guard<std::mutex> lock(FLock);
  return FSchedule.size();
}

int32_t TGistSynth::RepeatCount() {
  std::lock_guard<std::mutex> lock(FLock);
  return FRepeatCount;
}

// ---------------------------------------------------------------- the sequencer

void TGistSynth::SequencerTick() {
  for (int v = 2; v >= 0; --v)
    if (FVoices[v].Remaining != 0) TickVoice(v);
}

namespace {

// Attack then decay toward their targets (phases 1 and 2), or a release
// toward 0 (phase 4).
void StepEnvelope(int16_t& phase, int32_t& value, int32_t attack, int32_t attackTarget, int32_t decay,
                  int32_t decayTarget, int32_t release) {
  switch (phase) {
    case 1:
      value = Add32(value, attack);
      if (Reached(value, attack, attackTarget)) {
        value = attackTarget;
        phase = 2;
      }
      break;
    case 2:
      value = Add32(value, decay);
      if (Reached(value, decay, decayTarget)) {
        value = decayTarget;
        phase = 3;
      }
      break;
    case 4:
      value = Add32(value, release);
      if (release < 0 ? value <= 0 : value >= 0) value = 0;
      break;
    default: break;
  }
}

// A triangle between plus and minus the amplitude, after a delay.
void StepSwing(int32_t amplitude, int32_t& step, int16_t& delay, int32_t& value) {
  if (amplitude == 0) return;
  if (delay > 0) {
    --delay;
    return;
  }
  const int64_t limit = std::llabs(int64_t(amplitude));
  value = Add32(value, step);
  if (value >= limit) {
    value = int32_t(std::min<int64_t>(limit, INT32_MAX));
    step = Neg32(step);
  } else if (value <= -limit) {
    value = int32_t(std::max<int64_t>(-limit, INT32_MIN));
    step = Neg32(step);
  }
}

// When the release starts: a running envelope turns toward 0.
void BeginRelease(int16_t& phase, int32_t value, int32_t& release) {
  if (phase == 0) return;
  phase = 4;
  if ((release > 0 && value > 0) || (release < 0 && value < 0)) release = Neg32(release);
}

}  // namespace

void TGistSynth::TickVoice(int index) {
  TVoice& v = FVoices[index];

  // Volume envelope and its oscillator.
  switch (v.VolPhase) {
    case 1:
      v.VolLevel = Add32(v.VolLevel, v.VolAttack);
      if (v.VolLevel > 0xEFFFF) {
        v.VolLevel = kLevelFull;
        v.VolPhase = 2;
      }
      break;
    case 2:
      v.VolLevel = Add32(v.VolLevel, v.VolDecay);
      if (v.VolLevel <= v.VolSustain) {
        v.VolLevel = v.VolSustain;
        v.VolPhase = 3;
      }
      break;
    case 4:
      v.VolLevel = Add32(v.VolLevel, v.VolRelease);
      if (v.VolLevel <= 0) {
        v.VolLevel = 0;
        v.VolPhase = 0;
        v.Remaining = 1;
      }
      break;
    default: break;
  }
  StepSwing(v.VolLfoAmp, v.VolLfoStep, v.VolLfoDelay, v.VolLfo);
  if (v.VolPhase != 0 || (v.VolLfoAmp >> 16) != 0) {
    const int32_t m = Add32(v.VolLevel, v.VolLfo);
    int32_t level = 0;
    if (m >= 0) {
      const int32_t scaled = int32_t(int16_t(m >> 8)) * kVolumeScale[std::clamp<int>(v.Volume, 0, 15)];
      level = std::clamp<int32_t>(int16_t(scaled >> 16), 0, 15);
    }
    WriteRegister(8 + index, uint8_t(level));
  }

  // Tone envelope and oscillator.
  StepEnvelope(v.TonePhase, v.ToneEnv, v.ToneAttack, v.ToneAttackTarget, v.ToneDecay, v.ToneDecayTarget,
               v.ToneRelease);
  if (v.ToneLfoLimit != 0) {
    if (v.ToneLfoDelay > 0) {
      --v.ToneLfoDelay;
    } else {
      const uint64_t wide = uint64_t(uint32_t(v.ToneLfo)) + uint64_t(uint32_t(v.ToneLfoStep));
      const bool carry = wide > 0xFFFFFFFFull;
      const int32_t sum = int32_t(uint32_t(wide));
      if (v.ToneLfoStep >= 0) {
        if (carry) v.ToneLfoStep = v.ToneLfoUpReload;  // crossed zero upward
        if (sum >= v.ToneLfoLimit) {
          v.ToneLfo = v.ToneLfoLimit;
          v.ToneLfoStep = Neg32(v.ToneLfoStep);
        } else {
          v.ToneLfo = sum;
        }
      } else {
        if (!carry) v.ToneLfoStep = v.ToneLfoDownReload;  // crossed zero downward
        if (sum <= v.ToneLfoLower) {
          v.ToneLfo = v.ToneLfoLower;
          v.ToneLfoStep = Neg32(v.ToneLfoStep);
        } else {
          v.ToneLfo = sum;
        }
      }
    }
  }
  if ((v.TonePhase != 0 || (v.ToneLfoLimit >> 16) != 0) && v.TonePeriod >= 0) {
    const int32_t s = int16_t(Add32(v.ToneEnv, v.ToneLfo) >> 16);
    const int32_t shifted = int32_t(uint32_t(s * int32_t(v.TonePeriod)) << 4);
    int32_t d = int16_t(shifted >> 16);
    if (d < 0) d += 1;
    const int32_t period = std::clamp<int32_t>(int16_t(v.TonePeriod + d), 0, 4095);
    WriteRegister(2 * index, uint8_t(period & 255));
    WriteRegister(2 * index + 1, uint8_t((period >> 8) & 15));
  }

  // Noise envelope and oscillator.
  StepEnvelope(v.NoisePhase, v.NoiseEnv, v.NoiseAttack, v.NoiseAttackTarget, v.NoiseDecay, v.NoiseDecayTarget,
               v.NoiseRelease);
  StepSwing(v.NoiseLfoAmp, v.NoiseLfoStep, v.NoiseLfoDelay, v.NoiseLfo);
  if ((v.NoisePhase != 0 || (v.NoiseLfoAmp >> 16) != 0) && v.NoisePeriod >= 0) {
    const int32_t n = int16_t(Add32(v.NoiseEnv, v.NoiseLfo) >> 16) + int32_t(v.NoisePeriod);
    WriteRegister(6, uint8_t(std::clamp(n, 0, 31)));
  }

  // Duration: a note holds until it is keyed off.
  if (v.Note < 0) {
    v.Remaining = int16_t(v.Remaining - 1);
    if (v.Remaining == 0) {
      v.Priority = 0;
      if (v.VolPhase == 0) {
        WriteRegister(8 + index, 0);
      } else {
        v.Remaining = -1;
        v.VolPhase = 4;
        BeginRelease(v.TonePhase, v.ToneEnv, v.ToneRelease);
        BeginRelease(v.NoisePhase, v.NoiseEnv, v.NoiseRelease);
      }
    }
  }
}
