// Test helpers for sound: reading and writing 16-bit PCM WAV files (the
// audio layer's capture, and clips for the players), and finding where the
// sound in a capture starts and ends.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct TWave {
  int Rate = 0;
  int Channels = 0;
  int Bits = 0;
  std::vector<uint8_t> Data;   // the data chunk as stored
  std::vector<int16_t> Samples;  // 16-bit data, interleaved; empty for other widths
  size_t Frames() const { return Channels > 0 && Bits > 0 ? Data.size() / size_t(Channels * Bits / 8) : 0; }
};

// A plain RIFF/WAVE file; false when it is not one.
bool ReadWave(const std::string& path, TWave& wave);
// Raw little-endian 16-bit samples (what "mpg123 -s" and "oggdec -R" write).
std::vector<int16_t> ReadRawSamples(const std::string& path);
// A RIFF/WAVE image with one "fmt " and one "data" chunk.
std::vector<uint8_t> WaveImage(int rate, int channels, int bits, const std::vector<uint8_t>& data);
std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples);
// A clip's bytes as base64 text, the way a board sends it in an APC string.
std::string Base64Clip(const std::vector<uint8_t>& data);

// One stretch of sound in a capture: frames [Start, End) where some sample of
// a channel lies beyond Threshold (is not 0, by default), with quiet gaps of
// at most MinGap frames bridged.
struct TSoundRun {
  size_t Start = 0, End = 0;
  size_t Length() const { return End - Start; }
};
std::vector<TSoundRun> SoundRuns(const TWave& wave, size_t minGap, int threshold = 0);
// The highest absolute sample of one channel over a frame range.
int PeakLevel(const TWave& wave, int channel, size_t from, size_t to);
// An MP3 file of Seconds of two sweeping tones, made by sox and lame in
// Folder, given with its trailing "/" (48000 Hz stereo, the mix's format, so a capture holds its samples
// as decoded); empty with Error set when a tool failed.
std::string MakeMp3(const std::string& folder, double seconds, std::string& error);
// What "mpg123 -s" makes of an MP3 file; empty with Error set on failure.
std::vector<int16_t> Mpg123Samples(const std::string& mp3, std::string& error);
// Heard against Expected, each from its first sound on (frame-aligned): the
// samples both cover, how many of those differ, and whether all of Expected
// was heard.
struct TOverlap {
  size_t Samples = 0;
  size_t Differing = 0;
  bool Whole = false;
};
TOverlap CompareFromFirstSound(const std::vector<int16_t>& heard, const std::vector<int16_t>& expected);
// Frequency of one channel over a frame range, from its swings between the
// halves of its peak level (so a square wave's ringing edges count once).
double CrossingFrequency(const TWave& wave, int channel, size_t from, size_t to);

}  // namespace testsupport
