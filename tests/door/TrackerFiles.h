// MOD and S3M files written by the tests from the published formats
// (ProTracker's 1084-byte header and 4-byte cells; Scream Tracker 3's
// header, parapointers, instrument headers and packed patterns), small
// enough to show one behaviour each.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace trackertest {

struct TCell {
  int Period = 0;  // MOD: the Amiga period; 0 none
  int Note = 255;  // S3M: octave << 4 | semitone; 254 cut, 255 none
  int Sample = 0;
  int Volume = -1;  // S3M volume column; -1 none
  int Effect = 0;   // MOD 0..15; S3M 1..26 (A..Z), 0 none
  int Param = 0;
};

struct TSampleSpec {
  std::vector<int8_t> Data;
  int Volume = 64;
  int Finetune = 0;                       // MOD
  int LoopStart = 0, LoopLength = 0;      // in samples; no loop when LoopLength < 2
  int C2Spd = 8363;                       // S3M
};

// One pattern: 64 rows x Channels cells, row by row.
using TPattern = std::vector<TCell>;

inline TPattern EmptyPattern(int channels) { return TPattern(size_t(64 * channels)); }
inline TCell& At(TPattern& p, int channels, int row, int channel) { return p[size_t(row * channels + channel)]; }

// A looped sine of Period samples, Cycles times.
inline std::vector<int8_t> Sine(int period, int cycles, int amplitude = 100) {
  std::vector<int8_t> d(size_t(period * cycles));
  for (size_t i = 0; i < d.size(); ++i) d[i] = int8_t(std::lround(amplitude * std::sin(2 * M_PI * double(i) / period)));
  return d;
}

inline void PutBe16(std::string& s, size_t at, int v) {
  s[at] = char((v >> 8) & 0xFF);
  s[at + 1] = char(v & 0xFF);
}
inline void PutLe16(std::string& s, size_t at, uint32_t v) {
  s[at] = char(v & 0xFF);
  s[at + 1] = char((v >> 8) & 0xFF);
}
inline void PutLe32(std::string& s, size_t at, uint32_t v) {
  PutLe16(s, at, v & 0xFFFF);
  PutLe16(s, at + 2, v >> 16);
}

// A 31-sample MOD with signature Sig (4 characters), or a 15-sample one
// when Sig is empty.
inline std::string MakeMod(const std::string& sig, int channels, const std::vector<TSampleSpec>& samples,
                           const std::vector<int>& orders, const std::vector<TPattern>& patterns) {
  const int sampleSlots = sig.empty() ? 15 : 31;
  const size_t headerSize = sig.empty() ? 600 : 1084;
  std::string m(headerSize, '\0');
  m.replace(0, 9, "korvantst");
  for (int i = 0; i < sampleSlots && i < int(samples.size()); ++i) {
    const size_t at = 20 + size_t(i) * 30;
    const TSampleSpec& s = samples[size_t(i)];
    m.replace(at, 6, "sample");
    PutBe16(m, at + 22, int(s.Data.size() / 2));
    m[at + 24] = char(s.Finetune & 15);
    m[at + 25] = char(s.Volume);
    PutBe16(m, at + 26, s.LoopLength >= 2 ? s.LoopStart / 2 : 0);
    PutBe16(m, at + 28, s.LoopLength >= 2 ? s.LoopLength / 2 : 1);
  }
  const size_t songAt = 20 + size_t(sampleSlots) * 30;
  m[songAt] = char(orders.size());
  m[songAt + 1] = char(127);
  for (size_t i = 0; i < orders.size(); ++i) m[songAt + 2 + i] = char(orders[i]);
  if (!sig.empty()) m.replace(1080, 4, sig);
  for (const TPattern& p : patterns)
    for (int c = 0; c < 64 * channels; ++c) {
      const TCell& cell = p[size_t(c)];
      const int effect = cell.Effect & 15;
      m.push_back(char((cell.Sample & 0xF0) | ((cell.Period >> 8) & 15)));
      m.push_back(char(cell.Period & 0xFF));
      m.push_back(char(((cell.Sample & 15) << 4) | effect));
      m.push_back(char(cell.Param));
    }
  for (const TSampleSpec& s : samples) m.append(reinterpret_cast<const char*>(s.Data.data()), s.Data.size() & ~size_t(1));
  return m;
}

inline void Align16(std::string& s) {
  while (s.size() % 16) s.push_back('\0');
}

// An S3M of Channels channels (settings 0..7 left, 8..15 right), signed or
// unsigned 8-bit samples; Pans, when given, are stored as default pans.
inline std::string MakeS3m(int channels, const std::vector<TSampleSpec>& samples, const std::vector<int>& orders,
                           const std::vector<TPattern>& patterns, int speed = 6, int tempo = 125,
                           bool signedSamples = false, const std::vector<int>& pans = {}, int globalVolume = 64) {
  std::string m(96, '\0');
  m.replace(0, 9, "korvantst");
  m[28] = 0x1A;
  m[29] = 16;
  PutLe16(m, 32, uint32_t(orders.size()));
  PutLe16(m, 34, uint32_t(samples.size()));
  PutLe16(m, 36, uint32_t(patterns.size()));
  PutLe16(m, 40, 0x1320);
  PutLe16(m, 42, signedSamples ? 1 : 2);
  m.replace(44, 4, "SCRM");
  m[48] = char(globalVolume);
  m[49] = char(speed);
  m[50] = char(tempo);
  m[51] = char(0xB0);
  m[53] = char(pans.empty() ? 0 : 252);
  for (int i = 0; i < 32; ++i) m[64 + size_t(i)] = char(i < channels ? (i % 2 == 0 ? i / 2 : 8 + i / 2) : 255);
  for (int o : orders) m.push_back(char(o));
  const size_t insPtrAt = m.size();
  m.append(samples.size() * 2, '\0');
  const size_t patPtrAt = m.size();
  m.append(patterns.size() * 2, '\0');
  if (!pans.empty()) {
    std::string p(32, '\0');
    for (size_t i = 0; i < pans.size() && i < 32; ++i) p[i] = char(0x20 | (pans[i] & 15));
    m += p;
  }
  std::vector<size_t> headerAt;
  for (size_t i = 0; i < samples.size(); ++i) {
    Align16(m);
    headerAt.push_back(m.size());
    PutLe16(m, insPtrAt + i * 2, uint32_t(m.size() / 16));
    std::string h(80, '\0');
    h[0] = 1;
    const TSampleSpec& s = samples[i];
    PutLe32(h, 16, uint32_t(s.Data.size()));
    PutLe32(h, 20, uint32_t(s.LoopLength >= 2 ? s.LoopStart : 0));
    PutLe32(h, 24, uint32_t(s.LoopLength >= 2 ? s.LoopStart + s.LoopLength : 0));
    h[28] = char(s.Volume);
    h[31] = char(s.LoopLength >= 2 ? 1 : 0);
    PutLe32(h, 32, uint32_t(s.C2Spd));
    h.replace(76, 4, "SCRS");
    m += h;
  }
  for (size_t p = 0; p < patterns.size(); ++p) {
    Align16(m);
    PutLe16(m, patPtrAt + p * 2, uint32_t(m.size() / 16));
    std::string packed;
    for (int row = 0; row < 64; ++row) {
      for (int c = 0; c < channels; ++c) {
        const TCell& cell = patterns[p][size_t(row * channels + c)];
        uint8_t what = uint8_t(c);
        if (cell.Note != 255 || cell.Sample != 0) what |= 0x20;
        if (cell.Volume >= 0) what |= 0x40;
        if (cell.Effect != 0) what |= 0x80;
        if (what == uint8_t(c)) continue;
        packed.push_back(char(what));
        if (what & 0x20) {
          packed.push_back(char(cell.Note));
          packed.push_back(char(cell.Sample));
        }
        if (what & 0x40) packed.push_back(char(cell.Volume));
        if (what & 0x80) {
          packed.push_back(char(cell.Effect));
          packed.push_back(char(cell.Param));
        }
      }
      packed.push_back('\0');
    }
    std::string len(2, '\0');
    PutLe16(len, 0, uint32_t(packed.size() + 2));
    m += len + packed;
  }
  for (size_t i = 0; i < samples.size(); ++i) {
    Align16(m);
    const uint32_t seg = uint32_t(m.size() / 16);
    m[headerAt[i] + 13] = char((seg >> 16) & 0xFF);
    PutLe16(m, headerAt[i] + 14, seg & 0xFFFF);
    for (int8_t v : samples[i].Data) m.push_back(char(signedSamples ? v : int(v) + 128));
  }
  return m;
}

}  // namespace trackertest
