// The door's music and sound-effect engine: MOD and S3M tracker modules
// loaded into one in-memory form and played row by row and tick by tick,
// four voices for the door's raw 8-bit sound effects, and the mixer that
// renders both into 44100 Hz 16-bit stereo for the door sound thread.
// Every public operation holds the engine's lock, because the sound thread
// mixes while the interface thread loads, stops and steps. It reads no file
// and knows nothing of the door commands: the parser hands it bytes.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sound/uDDOFXSound.h"

// One cell of a pattern. Note 0 none, 1..120, 254 cut; Volume 255 none.
// MOD effects 0..15 with E effects as 0xE0 + x (parameter the low nibble);
// S3M effects 1..26 for the letters A..Z.
struct TModNote {
  uint8_t Note = 0, Sample = 0, Volume = 255, Effect = 0, Param = 0;
};

struct TModSample {
  std::vector<int16_t> Data;
  int32_t Length = 0, LoopStart = 0, LoopEnd = 0;  // in samples
  bool Looped = false;
  int32_t Volume = 0;     // 0..64
  int32_t C2Spd = 8363;   // S3M: the rate of middle C
  int32_t Finetune = 0;   // MOD: -8..7
};

// The playback state of one channel.
struct TModChannel {
  int32_t Sample = 0;
  double Position = 0;  // in samples
  double Period = 0, BasePeriod = 0, TargetPeriod = 0;
  int32_t PortaSpeed = 0, Volume = 0, BaseVolume = 0, Pan = 0;  // pan 0 left .. 255 right
  bool Active = false;
  uint8_t Effect = 0, Param = 0, LastParam = 0, VolSlideMemory = 0, PortaMemory = 0;
  int32_t VibPos = 0, VibSpeed = 0, VibDepth = 0, VibWave = 0;
  int32_t TremPos = 0, TremSpeed = 0, TremDepth = 0;
  int32_t ArpFirst = 0, ArpSecond = 0;
  int32_t NoteDelayTick = 0, NoteCutTick = 0;
  TModNote DelayedNote;
  int32_t LoopRow = 0, LoopCount = 0;
  int32_t LastNote = 0;
  int32_t LastLeft = 0, LastRight = 0;
  int32_t Ramp = 0;
  double Peak = 0;
  int32_t Level = 0;
};

// A sound effect's bytes, shared between the door's tables and the voices
// that play them, so starting an effect never copies its data.
using TSfxChunk = std::shared_ptr<const std::string>;

struct TSfxVoice {
  bool Active = false;
  std::vector<TSfxChunk> Chunks;  // signed 8-bit samples, played one after another
  int32_t ChunkIndex = 0;
  double Position = 0;  // in bytes of the current chunk
  double Step = 0;      // source bytes per output frame
  int64_t Started = 0;
  int32_t Id = 0;
};

// Where the song is, for the door's pattern controls and for tests.
struct TModPosition {
  int Order = 0, Row = 0, Tick = 0, Speed = 0, Tempo = 0, GlobalVolume = 0;
};

class TDDOFXAudio : public TDDOFXMixSource {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kVoices = 4;
  static constexpr int kSoundIds = 150;
  static constexpr int kMaxChannels = 32;
  static constexpr int kMinRate = 1000, kMaxRate = 96000;  // a sound effect's sample rate

  TDDOFXAudio();
  ~TDDOFXAudio() override;
  TDDOFXAudio(const TDDOFXAudio&) = delete;
  TDDOFXAudio& operator=(const TDDOFXAudio&) = delete;

  // --- Music ----------------------------------------------------------------
  // Loads a MOD or S3M module and starts it; false (no module left) when the
  // bytes are neither.
  bool LoadMusic(const std::string& bytes, const std::string& name);
  void StopMusic();
  void TogglePause();
  void SetVolume(int v);
  int GetVolume() const { return FMusicVolume.load(); }
  // 0..64 while the channel plays, else 0.
  int ChannelLevel(int channel);
  // The module's channels while it plays, else 0.
  int ChannelCount();
  std::string MusicName();
  // Moves to the next (Direction > 0) or previous order entry.
  void StepPattern(int direction);
  bool Playing();
  bool Paused();
  TModPosition Position();
  // A copy of one channel's state (for tests); a zeroed record outside.
  TModChannel Channel(int channel);
  // The loaded module's counts (0 without one).
  int OrderCount();
  int PatternCount();
  int SampleCount();  // not counting the empty slot 0
  // Bytes of sample data the module holds.
  size_t SampleMemory();

  // --- Sound effects --------------------------------------------------------
  // Plays Chunks one after another at Rate samples per second (below 1 is
  // 8500; it is held to kMinRate..kMaxRate) on a free voice, else on the
  // oldest; Id 1..150 can be asked about with SampleStatus.
  void PlaySample(const std::vector<TSfxChunk>& chunks, int id, int rate);
  void StopSamples() override;
  // "1" while a voice plays Id, "0" once it ended or was cut off, else "N/A".
  std::string SampleStatus(int id);
  // A copy of voice I (0..3); an idle record outside.
  TSfxVoice Voice(int i);

  // --- Mixing ---------------------------------------------------------------
  bool IsActive() override;
  // Frames of interleaved 16-bit stereo at 44100 Hz, left first.
  void Mix(int16_t* out, int frames) override;

  // The sound switch of the program: while false the mix is silence.
  std::atomic<bool> FEnabled{true};

 private:
  // Loaders (the module's fields are cleared before either runs).
  bool LoadMod(const std::string& data);
  bool LoadS3m(const std::string& data);
  void ResetPlayback();
  void ClearModule();

  // Playback of rows and ticks (uDDOFXTracker.cpp).
  void TickDriver();
  void AdvanceRow();
  void RowNote(TModChannel& ch, const TModNote& cell, bool porta);
  void RowEffectsMod(TModChannel& ch);
  void RowEffectsS3m(TModChannel& ch);
  void TickEffects(TModChannel& ch);
  void PatternLoop(TModChannel& ch, int y);
  void NextRow();
  double PeriodFor(int note, int sample) const;
  void CutToTails(TModChannel& ch);
  void SetPatternDelay(int y);

  void MixMusic(int32_t* acc, int frames);
  void MixVoices(int32_t* acc, int frames);
  void EndVoice(TSfxVoice& v);

  std::mutex FLock;
  bool FLoaded = false, FPlaying = false, FPaused = false, FIsS3m = false;
  std::string FMusicName;
  int32_t FChannelCount = 0;
  std::vector<TModSample> FSamples;
  std::vector<std::vector<TModNote>> FPatterns;
  std::vector<uint8_t> FOrders;
  int32_t FOrderPos = 0, FRow = 0, FTick = 0;
  int32_t FSpeed = 6, FTempo = 125, FGlobalVolume = 64;
  int32_t FJumpOrder = -1, FBreakRow = -1, FPatternDelay = 0;
  bool FRepeatingRow = false;  // a pattern delay holds the row
  std::vector<TModChannel> FChannels;
  double FTickCountdown = 0, FTailLeft = 0, FTailRight = 0;
  std::atomic<int> FMusicVolume{64};

  std::array<TSfxVoice, kVoices> FSfxVoices;
  int64_t FSfxCounter = 0;
  std::array<bool, kSoundIds> FSfxFinished{};
  std::vector<int32_t> FAcc;  // the mix sums, kept to spare the sound thread allocations
};
