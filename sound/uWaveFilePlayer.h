// Plays a RIFF/WAVE file by path in the background, one at a time: a new
// sound stops the one playing. For sound cues that name a file of a game's
// sound set.
#pragma once
#include <memory>
#include <string>

namespace platform {
class AudioStream;
}

class TWaveFilePlayer {
 public:
  TWaveFilePlayer();
  ~TWaveFilePlayer();
  TWaveFilePlayer(const TWaveFilePlayer&) = delete;
  TWaveFilePlayer& operator=(const TWaveFilePlayer&) = delete;

  // False (with a log line) when the file cannot be read or is no PCM wave.
  bool Play(const std::string& path);
  void Stop();

 private:
  std::unique_ptr<platform::AudioStream> FStream;
};
