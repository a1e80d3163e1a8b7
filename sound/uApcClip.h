// One APC audio clip and the decoders that make it: RIFF/WAVE with 8-bit or
// 16-bit PCM, parsed here, and Ogg/Vorbis through the optional library. The
// decoders touch only their arguments, so any thread may run them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The most decoded bytes one clip may hold.
inline constexpr size_t kMaxClipBytes = size_t(64) << 20;

struct TApcClip {
  bool Valid = false;
  // 16-bit signed little-endian samples, channels interleaved (left first).
  // Shared by the cache and the slots it is loaded into; never changed in
  // place, so a later store under the same name leaves a loaded slot alone.
  std::shared_ptr<const std::vector<uint8_t>> Samples;
  int Channels = 0;
  int Rate = 0;  // frames per second
  size_t Bytes() const { return Samples ? Samples->size() : 0; }
};

// Tells the container by its first four bytes and decodes it. False (Clip
// not valid) on failure, with the decoders' log lines.
bool DecodeClip(const std::vector<uint8_t>& data, TApcClip& clip);

// A RIFF/WAVE file of 8-bit or 16-bit PCM.
bool ParseRiffWave(const std::vector<uint8_t>& data, TApcClip& clip);
