// ANSI music: the BASIC PLAY strings boards send between CSI M and SO, played
// one after another on a worker thread as square-wave tones (8-bit, 22050 Hz
// mono) through one stream of the audio layer. Each note is queued as its
// tone and the silence after it, one note ahead of what is heard, so notes
// follow each other without gaps and their lengths are the sound itself.
// The interface thread only queues strings and stops everything.
#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Thread.h"

namespace platform {
class AudioStream;
}

// Octave x 12 + semitone (0 = C) to Hz, octaves 0..6: octave 1 as below,
// octave k its values doubled k - 1 times, octave 0 its values halved and
// rounded down.
constexpr std::array<int, 84> MakeAnsiMusicFreqTable() {
  constexpr int octaveOne[12] = {131, 139, 147, 156, 165, 175, 185, 196, 208, 220, 233, 247};
  std::array<int, 84> hz{};
  for (int octave = 0; octave <= 6; ++octave)
    for (int n = 0; n < 12; ++n) hz[size_t(octave * 12 + n)] = octaveOne[n] << octave >> 1;
  return hz;
}
inline constexpr std::array<int, 84> AnsiMusicFreqTable = MakeAnsiMusicFreqTable();

// The samples of one tone: Ms milliseconds (22050 Hz, 8-bit) of a square wave
// between 218 and 38 at exactly Hz, starting high; its phase is kept as a
// fraction, so the wave's period is the table frequency's, not a rounded
// number of samples. Empty for frequency 0 or duration 0.
std::vector<uint8_t> BuildToneWave(int hz, int ms);

// One note or rest as a string plays it: a tone of ToneMs at Hz (0: a rest),
// then SilenceMs of silence.
struct TAnsiNote {
  int Hz = 0;
  int ToneMs = 0;
  int SilenceMs = 0;
  bool operator==(const TAnsiNote&) const = default;
};
// The notes of one music string, with its own tempo, octave, length and
// articulation (nothing carries over from one string to the next).
std::vector<TAnsiNote> ParseAnsiMusic(const std::string& s);

class TAnsiMusicPlayer : public platform::Thread {
 public:
  static constexpr size_t kMaxQueued = 64;
  static constexpr int kRate = 22050;

  TAnsiMusicPlayer();  // starts the thread
  ~TAnsiMusicPlayer() override;

  // Queues a string while fewer than 64 wait; otherwise it is dropped.
  void Enqueue(const std::string& s);
  // Empties the queue and stops the tune playing now.
  void StopAll();

 protected:
  void Execute() override;

 private:
  void PlayString(const std::string& s);
  // Queues the note and waits until only it is left to hear; false when the
  // string is to end.
  bool PlayNote(const TAnsiNote& note);
  bool Aborted() const { return Terminated() || FAbort.load(); }

  std::mutex FLock;  // FQueue, and FStream's reset against its opening
  std::condition_variable FWake;
  std::deque<std::string> FQueue;
  std::atomic<bool> FAbort{false};
  std::unique_ptr<platform::AudioStream> FStream;  // opened by the thread for its first note
};
