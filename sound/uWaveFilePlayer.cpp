#include "sound/uWaveFilePlayer.h"

#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "sound/uApcClip.h"

TWaveFilePlayer::TWaveFilePlayer() = default;
TWaveFilePlayer::~TWaveFilePlayer() = default;

void TWaveFilePlayer::Stop() { FStream.reset(); }

bool TWaveFilePlayer::Play(const std::string& path) {
  Stop();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > kMaxClipBytes) {
    LogLine("WaveFile: cannot play " + path + ": missing or larger than " + std::to_string(kMaxClipBytes) + " bytes");
    return false;
  }
  std::vector<uint8_t> data(size_t(st.st_size));
  FILE* f = std::fopen(path.c_str(), "rb");
  const bool read = f && std::fread(data.data(), 1, data.size(), f) == data.size();
  if (f) std::fclose(f);
  TApcClip clip;
  if (!read || !ParseRiffWave(data, clip) || !clip.Valid || !clip.Samples) {
    LogLine("WaveFile: cannot play " + path + ": not a PCM wave file");
    return false;
  }
  platform::AudioFormat format;
  format.Rate = clip.Rate;
  format.Channels = clip.Channels;
  format.Type = platform::SampleType::S16;
  std::string error;
  FStream = platform::OpenAudioStream(format, nullptr, &error);
  if (!FStream) {
    LogLine("WaveFile: cannot play " + path + ": " + error);
    return false;
  }
  return FStream->Queue(*clip.Samples);
}
