#include "platform/AudioResampler.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr int kTapsPerSide = 8;  // at or above the mix rate: more when the source is faster
constexpr int kPhases = 256;     // filter rows per source frame, interpolated between

double Blackman(double x) { return 0.42 + 0.5 * std::cos(M_PI * x) + 0.08 * std::cos(2 * M_PI * x); }

}  // namespace

AudioResampler::AudioResampler(int rate, int channels, int outRate)
    : FRate(rate), FChannels(channels), FOutRate(outRate), FCopy(rate == outRate) {
  if (FCopy) return;
  // Cut below the lower of the two Nyquist frequencies, with room for the
  // filter's slope; in source frames, a faster source needs a wider filter.
  const double cutoff = 0.9 * std::min(1.0, double(outRate) / rate);
  FHalf = int(std::ceil(kTapsPerSide / std::min(1.0, double(outRate) / rate)));
  FPhases = kPhases;
  const int taps = 2 * FHalf;
  FTable.resize(size_t(FPhases + 1) * size_t(taps));
  for (int p = 0; p <= FPhases; ++p) {
    const double frac = double(p) / FPhases;
    float* row = &FTable[size_t(p) * size_t(taps)];
    double sum = 0;
    for (int j = 0; j < taps; ++j) {
      const double t = double(j - FHalf + 1) - frac;  // source offset from the position
      const double x = cutoff * t;
      const double sinc = x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x);
      const double w = std::abs(t) >= FHalf ? 0.0 : Blackman(t / FHalf);
      row[j] = float(sinc * w);
      sum += sinc * w;
    }
    // Each row passes a constant level unchanged.
    for (int j = 0; j < taps; ++j) row[j] = float(row[j] / sum);
  }
  // History before the first frame is silence.
  FIn.assign(size_t(FHalf - 1) * 2, 0.0f);
  FPos = size_t(FHalf - 1);
}

void AudioResampler::Push(const int16_t* samples, size_t frames) {
  if (FCopy && FChannels == 2) {
    FCopyIn.insert(FCopyIn.end(), samples, samples + frames * 2);
    return;
  }
  if (FCopy) {
    const size_t at = FCopyIn.size();
    FCopyIn.resize(at + frames * 2);
    for (size_t f = 0; f < frames; ++f) FCopyIn[at + 2 * f] = FCopyIn[at + 2 * f + 1] = samples[f];
    return;
  }
  const size_t at = FIn.size();
  FIn.resize(at + frames * 2);
  for (size_t f = 0; f < frames; ++f) {
    const float l = samples[f * size_t(FChannels)];
    FIn[at + 2 * f] = l;
    FIn[at + 2 * f + 1] = FChannels == 2 ? float(samples[f * 2 + 1]) : l;
  }
}

void AudioResampler::Flush() {
  if (!FCopy) FIn.resize(FIn.size() + size_t(FHalf) * 2, 0.0f);
}

void AudioResampler::Clear() {
  FHead = 0;
  FAcc = 0;
  if (FCopy) {
    FCopyIn.clear();
    return;
  }
  // The next output reads history before its frame: silence.
  FIn.assign(size_t(FHalf - 1) * 2, 0.0f);
  FPos = size_t(FHalf - 1);
}

size_t AudioResampler::Available() const {
  if (FCopy) return FCopyIn.size() / 2 - FHead;
  // An output at source position P reads frames floor(P) - Half + 1 up to
  // floor(P) + Half; the last such position with every frame there:
  const size_t frames = FIn.size() / 2;
  if (frames < size_t(FHalf) + 1 || FPos > frames - 1 - size_t(FHalf)) return 0;
  const size_t lastPos = frames - 1 - size_t(FHalf);
  // Positions FPos + (FAcc + k x Rate) / Out for k = 0, 1, ... whose whole
  // part is at most lastPos.
  const uint64_t room = uint64_t(lastPos + 1 - FPos) * uint64_t(FOutRate) - FAcc;
  return size_t((room + uint64_t(FRate) - 1) / uint64_t(FRate));
}

size_t AudioResampler::MixInto(int32_t* sum, size_t frames) {
  const size_t n = std::min(frames, Available());
  if (FCopy) {
    const int16_t* in = FCopyIn.data() + FHead * 2;
    for (size_t i = 0; i < n * 2; ++i) sum[i] += in[i];
    FHead += n;
    Compact();
    return n;
  }
  const size_t taps = size_t(2 * FHalf);
  for (size_t i = 0; i < n; ++i) {
    const double phase = double(FAcc) * FPhases / FOutRate;
    const size_t p = std::min(size_t(phase), size_t(FPhases - 1));
    const float a = float(phase - double(p));
    const float* row0 = &FTable[p * taps];
    const float* row1 = row0 + taps;
    const float* in = &FIn[(FPos - size_t(FHalf - 1)) * 2];
    float l = 0, r = 0;
    for (size_t j = 0; j < taps; ++j) {
      const float h = row0[j] + a * (row1[j] - row0[j]);
      l += h * in[2 * j];
      r += h * in[2 * j + 1];
    }
    sum[2 * i] += int32_t(std::lrint(std::clamp(l, -32768.0f, 32767.0f)));
    sum[2 * i + 1] += int32_t(std::lrint(std::clamp(r, -32768.0f, 32767.0f)));
    FAcc += uint64_t(FRate);
    FPos += size_t(FAcc / uint64_t(FOutRate));
    FAcc %= uint64_t(FOutRate);
  }
  Compact();
  return n;
}

void AudioResampler::Compact() {
  if (FCopy) {
    if (FHead >= 4096) {
      FCopyIn.erase(FCopyIn.begin(), FCopyIn.begin() + long(FHead * 2));
      FHead = 0;
    }
    return;
  }
  // Frames before the next output's first tap are no longer read.
  const size_t unread = FPos - size_t(FHalf - 1);
  if (unread < 4096) return;
  FIn.erase(FIn.begin(), FIn.begin() + long(unread * 2));
  FPos -= unread;
}

}  // namespace platform
