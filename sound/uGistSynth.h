// The sound of IGS boards: the Atari ST's three-voice square-wave sound chip
// with its noise generator, emulated sample by sample from a 250 kHz clock,
// and the sequencer of GIST sound effects that animates its registers with
// envelopes and oscillators 200 times a second. Twenty effects are built in
// and can be changed word by word.
// Every public operation holds the one lock for its whole run: the interface
// thread starts sounds while the sound thread renders them.
#pragma once
#include <array>
#include <climits>
#include <cstdint>
#include <mutex>
#include <vector>

// An effect record: 56 signed 16-bit words.
using TGistEffect = std::array<int16_t, 56>;

class TGistSynth {
 public:
  static constexpr int kEffectCount = 20;
  static constexpr uint32_t kChipClock = 250000;
  static constexpr uint32_t kTickRate = 200;
  static constexpr int32_t kPriority = 32766;
  // Repeats waiting to start; a flood of starts drops the oldest.
  static constexpr size_t kMaxScheduled = 256;

  explicit TGistSynth(uint32_t sampleRate);

  void Reset();
  // Starts an effect on any voice; effects 0..4 repeat every 200 ms up to
  // the repeat count.
  void PlayEffect(int effect);
  // Starts an effect with a note (held until KeyOff) on a voice (outside
  // 0..2: any) at a volume (outside 0..15: the effect's own).
  void PlayNote(int effect, int voice, int note, int volume);
  void KeyOff(int voice);
  void ReleaseVoice(int voice);
  void KeyOffAll();
  void StopAll();
  void SetEffectWord(int effect, int word, int32_t value);
  void RestoreEffect(int effect);
  void SetRepeatCount(int n);
  bool IsActive();
  // Fills Buffer with Count mono samples at the sample rate.
  void Render(int16_t* buffer, size_t count);

  uint32_t Rate() const { return FRate; }
  // The built-in record of an effect, as Reset loads it.
  static const TGistEffect& BuiltInEffect(int effect);
  // The tone period of a note 24..108 (other notes move by octaves into it).
  static int32_t NotePeriod(int note);

  // For tests: the chip registers and the number of repeats scheduled.
  uint8_t Register(int r);
  size_t ScheduledCount();
  int32_t RepeatCount();

 private:
  struct TVoice {
    int16_t Remaining = 0;  // ticks left; 0 idle, -1 releasing
    int16_t TonePeriod = 0, NoisePeriod = 0, Volume = 0, VolPhase = 0;
    int32_t VolAttack = 0, VolDecay = 0, VolSustain = 0, VolRelease = 0, VolLfoAmp = 0, VolLfoStep = 0;
    int16_t VolLfoDelay = 0;
    int16_t TonePhase = 0;
    int32_t ToneAttack = 0, ToneAttackTarget = 0, ToneDecay = 0, ToneDecayTarget = 0, ToneRelease = 0;
    int32_t ToneLfoLimit = 0, ToneLfoStep = 0, ToneLfoUpReload = 0, ToneLfoLower = 0, ToneLfoDownReload = 0;
    int16_t ToneLfoDelay = 0;
    int16_t NoisePhase = 0;
    int32_t NoiseAttack = 0, NoiseAttackTarget = 0, NoiseDecay = 0, NoiseDecayTarget = 0, NoiseRelease = 0;
    int32_t NoiseLfoAmp = 0, NoiseLfoStep = 0;
    int16_t NoiseLfoDelay = 0;
    int16_t Note = -1;
    int16_t Priority = 0;
    int32_t VolLevel = 0, VolLfo = 0, ToneEnv = 0, ToneLfo = 0, NoiseEnv = 0, NoiseLfo = 0;
  };
  struct TScheduled {
    int64_t Due = 0;
    int32_t Effect = 0;
  };

  void ResetLocked();
  void WriteRegister(int r, uint8_t value);
  double ChipSample();
  int PickVoice(int requested, int priority) const;
  int StartEffect(int effect, int requested, int priority, int note, int volume);
  void LoadVoice(TVoice& v, const TGistEffect& e, int note, int priority, int volume);
  void SequencerTick();
  void TickVoice(int v);
  void KeyOffLocked(int voice);
  void StopAllLocked();
  void Schedule(int64_t due, int effect);
  void StartDueRepeats();

  std::mutex FLock;
  uint32_t FRate;
  std::array<uint8_t, 16> FRegs{};
  uint32_t FToneCounter[3] = {}, FTonePeriod[3] = {1, 1, 1};
  bool FToneOut[3] = {};
  uint32_t FNoiseCounter = 0, FNoisePeriod = 1, FNoiseLfsr = 1;
  bool FNoiseOut = false, FNoisePrescale = false;
  uint32_t FClockAcc = 0;
  double FDcIn = 0, FDcOut = 0;
  TVoice FVoices[3];
  uint8_t FMixer = 63;
  uint32_t FTickAcc = 0;
  int64_t FSampleCount = 0;
  std::array<TGistEffect, kEffectCount> FEffects{};
  int32_t FRepeatCount = 5;
  // Kept in start order, the oldest first, so that a flood drops the oldest.
  std::vector<TScheduled> FSchedule;
  int64_t FNextDue = INT64_MAX;  // the earliest Due, so a sample with none due costs nothing
  bool FScheduleDropLogged = false;
};
