#include "sound/uApcClip.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/uDebugLog.h"
#include "sound/uVorbisFile.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

bool ParseRiffWave(const std::vector<uint8_t>& data, TApcClip& clip) {
  clip = TApcClip{};
  const uint8_t* d = data.data();
  const uint64_t size = data.size();
  if (size < 44 || std::memcmp(d, "RIFF", 4) != 0 || std::memcmp(d + 8, "WAVE", 4) != 0) return false;
  int channels = 0, rate = 0, bits = 0;
  bool haveData = false;
  uint64_t dataStart = 0, dataLength = 0;
  // Positions and steps are 64-bit: a chunk size near 4 GiB moves the walk
  // past the end, which ends it, instead of wrapping back.
  for (uint64_t at = 12; at + 8 <= size;) {
    const uint8_t* chunk = d + at;
    const uint32_t chunkSize = Le32(chunk + 4);
    const uint64_t body = at + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size - body < 16) return false;
      channels = Le16(d + body + 2);
      rate = int(std::min<uint32_t>(Le32(d + body + 4), INT32_MAX));  // the output refuses such rates
      bits = Le16(d + body + 14);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      haveData = true;
      dataStart = body;
      dataLength = chunkSize;
    }
    at = body + chunkSize + (chunkSize & 1);
  }
  if (!haveData || channels == 0 || rate == 0 || (bits != 8 && bits != 16)) return false;
  if (dataStart + dataLength > size) {
    dataLength = size - dataStart;
    if (dataLength == 0) return false;
  }
  auto samples = std::make_shared<std::vector<uint8_t>>();
  if (bits == 16) {
    dataLength &= ~uint64_t(1);
    samples->assign(d + dataStart, d + dataStart + dataLength);
  } else {
    samples->resize(size_t(dataLength) * 2);
    for (uint64_t i = 0; i < dataLength; ++i) {
      const int16_t v = int16_t((int(d[dataStart + i]) - 128) * 256);
      (*samples)[2 * i] = uint8_t(v);
      (*samples)[2 * i + 1] = uint8_t(uint16_t(v) >> 8);
    }
  }
  clip.Samples = std::move(samples);
  clip.Channels = channels;
  clip.Rate = rate;
  clip.Valid = true;
  return true;
}

bool DecodeClip(const std::vector<uint8_t>& data, TApcClip& clip) {
  clip = TApcClip{};
  if (data.size() < 4) return false;
  if (std::memcmp(data.data(), "RIFF", 4) == 0) return ParseRiffWave(data, clip);
  if (std::memcmp(data.data(), "OggS", 4) == 0) {
    auto samples = std::make_shared<std::vector<uint8_t>>();
    int channels = 0, rate = 0;
    if (!DecodeOggVorbis(data.data(), int64_t(data.size()), *samples, channels, rate, kMaxClipBytes)) {
      LogLine("ApcAudio: Ogg/Vorbis decode failed (see VorbisFile log lines above) - clip dropped");
      return false;
    }
    clip.Samples = std::move(samples);
    clip.Channels = channels;
    clip.Rate = rate;
    clip.Valid = true;
    return true;
  }
  LogLine("ApcAudio: clip is neither RIFF/WAVE nor OggS - unrecognized format, dropped");
  return false;
}
