// Cost of the door's music and sound-effect mixer: one minute of 44100 Hz
// stereo mixed in the 1024-frame buffers the door sound thread asks for,
// from MOD and S3M modules of 4, 8 and 32 busy channels with slides and
// vibrato on every row, with and without four sound effects on top. Prints
// the time per second of sound and the realtime factor (seconds of sound
// one core mixes in a second); never fails.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "door/uDDOFXAudio.h"
#include "tests/door/TrackerFiles.h"

using namespace trackertest;

namespace {

TSampleSpec Sample(int period) {
  TSampleSpec s;
  s.Data = Sine(period, 4096 / period);
  s.LoopStart = 0;
  s.LoopLength = int(s.Data.size());
  return s;
}

// Every channel plays a note on every fourth row and slides or vibrates in
// between, so each tick has work on each channel.
TPattern BusyPattern(int channels, bool s3m) {
  TPattern p = EmptyPattern(channels);
  static const int kPeriods[] = {856, 678, 570, 428, 339, 285, 214, 170};
  for (int row = 0; row < 64; ++row)
    for (int c = 0; c < channels; ++c) {
      TCell& cell = At(p, channels, row, c);
      if (row % 4 == 0) {
        cell.Sample = 1 + c % 3;
        if (s3m)
          cell.Note = 0x30 + (c * 5 + row) % 12 + ((row / 16) % 3) * 0x10;
        else
          cell.Period = kPeriods[(c + row / 4) % 8];
      }
      if (s3m) {
        cell.Effect = row % 2 ? 'H' - 64 : 'D' - 64;
        cell.Param = row % 2 ? 0x46 : 0x01;
      } else {
        cell.Effect = row % 2 ? 0x4 : 0xA;
        cell.Param = row % 2 ? 0x46 : 0x01;
      }
    }
  return p;
}

double MixMinute(TDDOFXAudio& audio, bool effects) {
  const int seconds = 60, frames = 1024;
  std::vector<int16_t> out(size_t(frames) * 2);
  auto bite = std::make_shared<const std::string>(std::string(22050, '\x30'));
  const auto start = std::chrono::steady_clock::now();
  int64_t mixed = 0, check = 0;
  while (mixed < int64_t(seconds) * TDDOFXAudio::kRate) {
    if (effects && mixed % (TDDOFXAudio::kRate / 4) < frames)
      for (int v = 0; v < 4; ++v) audio.PlaySample({bite}, v + 1, 11025 + 4000 * v);
    audio.Mix(out.data(), frames);
    check += out[0];
    mixed += frames;
  }
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (check == 1) std::printf(" ");  // keeps the mix from being optimised away
  return elapsed / seconds;
}

}  // namespace

int main() {
  struct Row {
    const char* Name;
    std::string Bytes;
  };
  const std::vector<TSampleSpec> samples = {Sample(32), Sample(64), Sample(16)};
  const std::vector<Row> rows = {
      {"MOD, 4 channels", MakeMod("M.K.", 4, samples, {0}, {BusyPattern(4, false)})},
      {"MOD, 8 channels", MakeMod("8CHN", 8, samples, {0}, {BusyPattern(8, false)})},
      {"MOD, 32 channels", MakeMod("32CH", 32, samples, {0}, {BusyPattern(32, false)})},
      {"S3M, 8 channels", MakeS3m(8, samples, {0}, {BusyPattern(8, true)})},
      {"S3M, 16 channels", MakeS3m(16, samples, {0}, {BusyPattern(16, true)})},
  };
  std::printf("%-34s %14s %16s\n", "what is mixed", "us per sec", "realtime factor");
  for (const Row& row : rows)
    for (bool effects : {false, true}) {
      TDDOFXAudio audio;
      if (!audio.LoadMusic(row.Bytes, row.Name)) {
        std::printf("%-34s did not load\n", row.Name);
        continue;
      }
      const double perSecond = MixMinute(audio, effects);
      const std::string name = std::string(row.Name) + (effects ? " + 4 effects" : "");
      std::printf("%-34s %14.1f %15.0fx\n", name.c_str(), perSecond * 1e6, 1.0 / perSecond);
    }
  TDDOFXAudio effectsOnly;
  const double perSecond = MixMinute(effectsOnly, true);
  std::printf("%-34s %14.1f %15.0fx\n", "4 effects, no music", perSecond * 1e6, 1.0 / perSecond);
  return 0;
}
