// Ogg/Vorbis decoding from memory through libvorbisfile, which is loaded
// from the dll folder the first time it is needed. Without it Ogg clips are
// refused and everything else goes on. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// True when the library and its five entry points are there. Only the first
// call looks; later calls give the remembered answer.
bool LoadVorbisFile();

// Decodes a whole Ogg/Vorbis stream into 16-bit little-endian samples,
// channels interleaved. Streams of more than two channels or below 1000 Hz
// are refused, and so is one that decodes to more than MaxBytes. False with
// Samples empty on any failure, each with its log line.
bool DecodeOggVorbis(const uint8_t* data, int64_t length, std::vector<uint8_t>& samples, int& channels, int& rate,
                     size_t maxBytes);

// The in-memory source handed to the library, and its four callbacks.
struct TVorbisMemSource {
  const uint8_t* Data = nullptr;
  int64_t Size = 0;
  int64_t Position = 0;
};
size_t VorbisMemRead(void* buffer, size_t size, size_t count, void* source);
int VorbisMemSeek(void* source, int64_t offset, int whence);
int VorbisMemClose(void* source);
long VorbisMemTell(void* source);
