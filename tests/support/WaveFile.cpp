#include "tests/support/WaveFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

namespace testsupport {

namespace {

uint32_t Get32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}
uint16_t Get16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8); }

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

bool ReadWave(const std::string& path, TWave& wave) {
  const std::string s = ReadWholeFile(path);
  if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return false;
  wave = TWave{};
  bool haveFormat = false, haveData = false;
  for (size_t at = 12; at + 8 <= s.size();) {
    const uint32_t size = Get32(s, at + 4);
    const size_t body = at + 8;
    if (s.compare(at, 4, "fmt ") == 0 && body + 16 <= s.size()) {
      wave.Channels = Get16(s, body + 2);
      wave.Rate = int(Get32(s, body + 4));
      wave.Bits = Get16(s, body + 14);
      haveFormat = true;
    } else if (s.compare(at, 4, "data") == 0) {
      const size_t n = std::min<size_t>(size, s.size() - body);
      wave.Data.assign(s.begin() + long(body), s.begin() + long(body + n));
      haveData = true;
    }
    at = body + size + (size & 1);
  }
  if (!haveFormat || !haveData) return false;
  if (wave.Bits == 16 && wave.Data.size() >= 2) {
    wave.Samples.resize(wave.Data.size() / 2);
    std::memcpy(wave.Samples.data(), wave.Data.data(), wave.Samples.size() * 2);
  }
  return true;
}

std::vector<int16_t> ReadRawSamples(const std::string& path) {
  const std::string s = ReadWholeFile(path);
  std::vector<int16_t> out(s.size() / 2);
  if (!out.empty()) std::memcpy(out.data(), s.data(), out.size() * 2);
  return out;
}

std::vector<uint8_t> WaveImage(int rate, int channels, int bits, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  const uint32_t align = uint32_t(channels * bits / 8);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  Put(out, uint32_t(36 + data.size()), 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put(out, 16, 4);
  Put(out, 1, 2);
  Put(out, uint32_t(channels), 2);
  Put(out, uint32_t(rate), 4);
  Put(out, uint32_t(rate) * align, 4);
  Put(out, align, 2);
  Put(out, uint32_t(bits), 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  Put(out, uint32_t(data.size()), 4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> out(samples.size() * 2);
  if (!out.empty()) std::memcpy(out.data(), samples.data(), out.size());
  return out;
}

std::string Base64Clip(const std::vector<uint8_t>& data) {
  static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    const uint32_t n = uint32_t(data[i]) << 16 | (i + 1 < data.size() ? data[i + 1] << 8 : 0) |
                       (i + 2 < data.size() ? data[i + 2] : 0);
    out += abc[n >> 18];
    out += abc[(n >> 12) & 63];
    out += i + 1 < data.size() ? abc[(n >> 6) & 63] : '=';
    out += i + 2 < data.size() ? abc[n & 63] : '=';
  }
  return out;
}

std::vector<TSoundRun> SoundRuns(const TWave& wave, size_t minGap, int threshold) {
  std::vector<TSoundRun> runs;
  if (wave.Channels <= 0) return runs;
  const size_t frames = wave.Samples.size() / size_t(wave.Channels);
  bool in = false;
  size_t lastLoud = 0;
  for (size_t f = 0; f < frames; ++f) {
    bool loud = false;
    for (int c = 0; c < wave.Channels; ++c) loud = loud || std::abs(wave.Samples[f * size_t(wave.Channels) + size_t(c)]) > threshold;
    if (!loud) continue;
    if (in && f - lastLoud - 1 <= minGap) {
      runs.back().End = f + 1;
    } else {
      runs.push_back({f, f + 1});
      in = true;
    }
    lastLoud = f;
  }
  return runs;
}

int PeakLevel(const TWave& wave, int channel, size_t from, size_t to) {
  int peak = 0;
  for (size_t f = from; f < to && f * size_t(wave.Channels) < wave.Samples.size(); ++f) {
    int v = wave.Samples[f * size_t(wave.Channels) + size_t(channel)];
    peak = std::max(peak, v < 0 ? -v : v);
  }
  return peak;
}

double CrossingFrequency(const TWave& wave, int channel, size_t from, size_t to) {
  const int half = PeakLevel(wave, channel, from, to) / 2;
  if (half == 0) return 0;
  size_t first = 0, last = 0, swings = 0;
  int side = 0;  // +1 above +half, -1 below -half, 0 not yet
  for (size_t f = from; f < to && f * size_t(wave.Channels) < wave.Samples.size(); ++f) {
    const int v = wave.Samples[f * size_t(wave.Channels) + size_t(channel)];
    const int now = v > half ? 1 : v < -half ? -1 : 0;
    if (now == 0 || now == side) continue;
    if (side != 0) {
      if (swings == 0) first = f;
      last = f;
      ++swings;
    }
    side = now;
  }
  if (swings < 3) return 0;
  return double(swings - 1) / 2.0 * wave.Rate / double(last - first);
}

std::string MakeMp3(const std::string& folder, double seconds, std::string& error) {
  const std::string wav = folder + "tone.wav", mp3 = folder + "tone.mp3";
  const PeerResult sox = RunPeer({"sox", "-n", "-r", "48000", "-c", "2", "-b", "16", wav, "synth",
                                  std::to_string(seconds), "sine", "220-880", "sine", "660", "vol", "0.7"});
  if (sox.ExitCode != 0) {
    error = "sox: " + sox.Output;
    return "";
  }
  const PeerResult lame = RunPeer({"lame", "--quiet", "-b", "128", wav, mp3});
  if (lame.ExitCode != 0) {
    error = "lame: " + lame.Output;
    return "";
  }
  return mp3;
}

std::vector<int16_t> Mpg123Samples(const std::string& mp3, std::string& error) {
  const std::string raw = mp3 + ".raw";
  const PeerResult dec = RunPeer({"sh", "-c", "mpg123 -q -s \"$1\" > \"$2\"", "sh", mp3, raw});
  if (dec.ExitCode != 0) {
    error = "mpg123: " + dec.Output;
    return {};
  }
  return ReadRawSamples(raw);
}

TOverlap CompareFromFirstSound(const std::vector<int16_t>& heard, const std::vector<int16_t>& expected) {
  auto firstSound = [](const std::vector<int16_t>& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == 0) ++i;
    return i & ~size_t(1);
  };
  const size_t a = firstSound(heard), b = firstSound(expected);
  TOverlap result;
  if (a >= heard.size() || b >= expected.size()) return result;
  result.Samples = std::min(heard.size() - a, expected.size() - b);
  for (size_t i = 0; i < result.Samples; ++i) result.Differing += heard[a + i] != expected[b + i];
  result.Whole = result.Samples == expected.size() - b;
  return result;
}

}  // namespace testsupport
