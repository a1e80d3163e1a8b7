// Turns one stream's 16-bit frames (mono or stereo, any rate the mixer
// takes) into stereo frames at the mix rate. At the mix rate it copies them
// exactly; at other rates a windowed-sinc filter reads the source at exact
// fractional positions (a rational step, never a rounded rate), so a clip of
// N frames lasts N / rate seconds to the frame, however it is fed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

class AudioResampler {
 public:
  // Source rate and channels (1 or 2); output is OutRate stereo.
  AudioResampler(int rate, int channels, int outRate);

  // Appends interleaved source frames.
  void Push(const int16_t* samples, size_t frames);
  // Makes everything pushed so far available, as if silence followed.
  void Flush();
  // Drops everything pushed and not yet taken.
  void Clear();
  // Output frames that can be taken now.
  size_t Available() const;
  // Adds up to Frames output frames (stereo) into Sum; returns how many.
  size_t MixInto(int32_t* sum, size_t frames);

 private:
  void Compact();

  int FRate, FChannels, FOutRate;
  bool FCopy;                 // the same rate: frames pass unchanged
  int FHalf = 0;              // filter taps on each side of a position, in source frames
  int FPhases = 0;
  std::vector<float> FTable;  // (FPhases + 1) rows of 2 x FHalf taps
  std::vector<float> FIn;        // stereo source frames still read, silence before the first
  std::vector<int16_t> FCopyIn;  // stereo frames, when copying; FHead is the next
  size_t FHead = 0;
  size_t FPos = 0;            // the source frame (index into FIn) of the next output
  uint64_t FAcc = 0;          // its fraction, in 1/OutRate of a source frame
};

}  // namespace platform
