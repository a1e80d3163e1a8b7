// Cost of the audio layer's conversion to the mix format, the work its
// output thread does for every stream on every turn: one minute of sound per
// stream format, in 10 ms turns as the mixer takes it. Prints the time per
// second of sound and how many such streams one core could keep up with;
// never fails.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/Audio.h"
#include "platform/AudioResampler.h"

int main() {
  struct Row {
    const char* Name;
    int Rate, Channels;
  };
  const Row rows[] = {
      {"48000 Hz stereo (copied)", 48000, 2},
      {"44100 Hz stereo (MP3 streams)", 44100, 2},
      {"22050 Hz mono (ANSI music, speech)", 22050, 1},
      {"8000 Hz mono", 8000, 1},
      {"96000 Hz stereo (filtered down)", 96000, 2},
  };
  const int seconds = 60;
  const int turn = platform::kMixRate / 100;
  std::vector<int32_t> sum(size_t(turn) * 2);
  std::printf("%-38s %12s %14s\n", "stream format", "us per sec", "streams/core");
  for (const Row& row : rows) {
    std::vector<int16_t> source(size_t(row.Rate) * size_t(row.Channels));
    for (size_t i = 0; i < source.size(); ++i) source[i] = int16_t(8000 * std::sin(double(i) * 0.01));
    platform::AudioResampler conv(row.Rate, row.Channels, platform::kMixRate);
    uint64_t mixed = 0;
    int64_t check = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int s = 0; s < seconds; ++s) {
      conv.Push(source.data(), size_t(row.Rate));
      while (conv.Available() >= size_t(turn)) {
        std::fill(sum.begin(), sum.end(), 0);
        mixed += conv.MixInto(sum.data(), size_t(turn));
        check += sum[0];
      }
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perSecond = elapsed / (double(mixed) / platform::kMixRate);
    std::printf("%-38s %12.1f %14.0f   (checksum %lld)\n", row.Name, perSecond * 1e6, 1.0 / perSecond,
                static_cast<long long>(check));
  }
  return 0;
}
