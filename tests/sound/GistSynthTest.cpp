// The sound-chip synthesiser rendered without a device: tone frequencies
// measured by sox on a written WAV, the noise generator's first samples,
// effect repeats at their spacing, notes at both ends of the range, voice
// choice, and the bounds on a flood of starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../support/ChildProcess.h"
#include "../support/PeerProgram.h"
#include "sound/uGistSynth.h"

namespace {

constexpr uint32_t kRate = 22050;

std::vector<int16_t> Render(TGistSynth& s, size_t count) {
  std::vector<int16_t> out(count);
  for (size_t done = 0; done < count; done += 1024) s.Render(out.data() + done, std::min<size_t>(1024, count - done));
  return out;
}

// An effect turned into a plain tone: fixed volume, no envelopes or
// oscillators, no noise, lasting Ticks.
void MakePlainTone(TGistSynth& s, int effect, int period, int ticks = 200) {
  for (int w = 0; w < 56; ++w) s.SetEffectWord(effect, w, 0);
  s.SetEffectWord(effect, 0, ticks);
  s.SetEffectWord(effect, 1, period);
  s.SetEffectWord(effect, 2, -1);
  s.SetEffectWord(effect, 3, 15);
}

void WriteWav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  auto u32 = [&](uint32_t v) { fwrite(&v, 4, 1, f); };
  auto u16 = [&](uint16_t v) { fwrite(&v, 2, 1, f); };
  const uint32_t bytes = uint32_t(samples.size() * 2);
  fwrite("RIFF", 1, 4, f), u32(36 + bytes), fwrite("WAVEfmt ", 1, 8, f);
  u32(16), u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
  fwrite("data", 1, 4, f), u32(bytes);
  fwrite(samples.data(), 2, samples.size(), f);
  fclose(f);
}

// The strongest frequency of a file by sox's spectrum ("stat -freq"), to
// the nearest of its bins (5.4 Hz apart at 22050 Hz).
double SoxFrequency(const std::vector<int16_t>& samples, uint32_t rate) {
  testsupport::TempDir dir;
  const std::string path = dir.File("tone.wav");
  WriteWav(path, samples, rate);
  const PeerResult r = RunPeer({"sox", path, "-n", "stat", "-freq"});
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  double best = -1, bestMagnitude = -1;
  std::istringstream lines(r.Output);
  std::string line;
  while (std::getline(lines, line)) {
    double freq, magnitude;
    char rest;
    if (sscanf(line.c_str(), "%lf %lf %c", &freq, &magnitude, &rest) == 2 && freq > 0 && magnitude > bestMagnitude) {
      best = freq;
      bestMagnitude = magnitude;
    }
  }
  EXPECT_GT(best, 0) << "no spectrum from sox: " << r.Output.substr(0, 400);
  return best;
}

TEST(GistSynthTest, ToneRegisterGivesTheChipFrequency) {
  // A square of period P at 250 kHz toggles every P clocks: 125000 / P Hz.
  for (int period : {284, 477, 1000, 60}) {
    TGistSynth s(kRate);
    MakePlainTone(s, 7, period);  // effects from 5 on do not repeat
    s.PlayEffect(7);
    const std::vector<int16_t> out = Render(s, kRate / 2);
    const double expected = 125000.0 / period;
    EXPECT_NEAR(SoxFrequency(out, kRate), expected, 6) << "period " << period;
  }
}

TEST(GistSynthTest, NotesAtBothEndsOfTheRange) {
  EXPECT_EQ(TGistSynth::NotePeriod(24), 3822);
  EXPECT_EQ(TGistSynth::NotePeriod(108), 30);
  EXPECT_EQ(TGistSynth::NotePeriod(69), 284);
  EXPECT_EQ(TGistSynth::NotePeriod(12), 3822);
  EXPECT_EQ(TGistSynth::NotePeriod(120), 30);
  EXPECT_EQ(TGistSynth::NotePeriod(1), TGistSynth::NotePeriod(25));
  struct TRow {
    int Note;
    double Hz;
  } rows[] = {{24, 125000.0 / 3822}, {108, 125000.0 / 30}, {120, 125000.0 / 30}};
  for (const TRow& row : rows) {
    TGistSynth s(kRate);
    MakePlainTone(s, 7, 477, 1);  // the note replaces the period; a note holds past the duration
    s.PlayNote(7, 0, row.Note, 15);
    const std::vector<int16_t> out = Render(s, kRate);
    EXPECT_TRUE(s.IsActive()) << row.Note;
    EXPECT_NEAR(SoxFrequency(out, kRate), row.Hz, 6) << "note " << row.Note;
    s.KeyOff(0);
    Render(s, 1024);
    EXPECT_FALSE(s.IsActive()) << row.Note;
  }
}

TEST(GistSynthTest, NoiseSequenceOfTheFirstSamples) {
  // At 125 kHz every sample holds two chip clocks and one step of the noise
  // generator (noise period 0 reads as 1), so each sample shows one bit.
  TGistSynth s(125000);
  for (int w = 0; w < 56; ++w) s.SetEffectWord(2, w, 0);
  s.SetEffectWord(2, 0, 100);
  s.SetEffectWord(2, 1, -1);
  s.SetEffectWord(2, 2, 0);
  s.SetEffectWord(2, 3, 15);
  s.PlayEffect(2);
  const std::vector<int16_t> out = Render(s, 200);

  uint32_t lfsr = 1;
  double dcIn = 0, dcOut = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const uint32_t bit = lfsr & 1;
    lfsr >>= 1;
    if (bit) lfsr ^= 0x12000;
    // Voice 0 at level 15 follows the noise; voices 1 and 2 sit at level 0,
    // which still gives 20 each.
    const double mix = 40.0 + (bit ? 10922.0 : 0.0);
    dcOut = dcOut * 0.995 + (mix - dcIn);
    dcIn = mix;
    const double expected = std::nearbyint(std::clamp(2.0 * dcOut, -32768.0, 32767.0));
    ASSERT_EQ(out[i], int16_t(expected)) << "sample " << i;
  }
}

// Sample numbers where a burst begins: loud after at least 50 ms of quiet.
std::vector<size_t> BurstStarts(const std::vector<int16_t>& out) {
  std::vector<size_t> starts;
  size_t quiet = kRate;
  for (size_t i = 0; i < out.size(); ++i) {
    if (std::abs(out[i]) > 2000) {
      if (quiet >= kRate / 20) starts.push_back(i);
      quiet = 0;
    } else {
      ++quiet;
    }
  }
  return starts;
}

TEST(GistSynthTest, RepeatedEffectBurstsEvery200Ms) {
  struct TRow {
    int Effect, Repeats;
    size_t Bursts;
  } rows[] = {{3, 5, 5}, {3, 1, 1}, {4, 3, 3}};
  for (const TRow& row : rows) {
    TGistSynth s(kRate);
    s.SetRepeatCount(row.Repeats);
    s.PlayEffect(row.Effect);
    const std::vector<int16_t> out = Render(s, kRate * 2);
    const std::vector<size_t> starts = BurstStarts(out);
    ASSERT_EQ(starts.size(), row.Bursts) << "effect " << row.Effect;
    for (size_t i = 1; i < starts.size(); ++i) {
      // The attack starts with the next 200 Hz tick after the scheduled sample.
      const long gap = long(starts[i] - starts[i - 1]);
      EXPECT_NEAR(gap, 4410, 120) << "effect " << row.Effect << " burst " << i;
    }
    EXPECT_FALSE(s.IsActive());
  }
}

TEST(GistSynthTest, EffectsBeyondFourDoNotRepeat) {
  TGistSynth s(kRate);
  s.PlayEffect(5);
  EXPECT_EQ(s.ScheduledCount(), 0u);
  s.PlayEffect(2);
  EXPECT_EQ(s.ScheduledCount(), 4u);
  s.PlayEffect(20);
  s.PlayEffect(-1);
  EXPECT_EQ(s.ScheduledCount(), 4u);
}

TEST(GistSynthTest, RepeatCountIsCut) {
  TGistSynth s(kRate);
  EXPECT_EQ(s.RepeatCount(), 5);
  s.SetRepeatCount(0);
  EXPECT_EQ(s.RepeatCount(), 1);
  s.SetRepeatCount(99);
  EXPECT_EQ(s.RepeatCount(), 50);
}

TEST(GistSynthTest, VoiceChoice) {
  TGistSynth s(kRate);
  for (int e : {10, 11, 12, 13}) MakePlainTone(s, e, 100 + e);
  s.PlayEffect(10);
  s.PlayEffect(11);
  s.PlayEffect(12);
  EXPECT_EQ(s.Register(0), 110);
  EXPECT_EQ(s.Register(2), 111);
  EXPECT_EQ(s.Register(4), 112);
  s.PlayEffect(13);  // all sound at the same priority: voice 2 gives way
  EXPECT_EQ(s.Register(4), 113);
  EXPECT_EQ(s.Register(0), 110);

  // With voices 1 and 2 sounding and voice 0 in its release, voice 0 is taken.
  TGistSynth r(kRate);
  MakePlainTone(r, 10, 110);
  r.SetEffectWord(10, 4, 1);   // attack phase...
  r.SetEffectWord(10, 5, 15);  // ...reached at once
  r.SetEffectWord(10, 11, -1);  // release of 1.0 a tick
  MakePlainTone(r, 11, 111);
  MakePlainTone(r, 12, 112);
  r.PlayEffect(10);
  r.PlayEffect(11);
  r.PlayEffect(12);
  Render(r, 200);  // one tick: voice 0 at full level
  r.KeyOff(0);
  r.KeyOff(5);  // not a voice: nothing
  Render(r, 200);  // voice 0 releasing
  EXPECT_TRUE(r.IsActive());
  MakePlainTone(r, 13, 113);
  r.PlayEffect(13);
  EXPECT_EQ(r.Register(0), 113);
  EXPECT_EQ(r.Register(4), 112);
}

TEST(GistSynthTest, EmptyEffectDoesNotStart) {
  TGistSynth s(kRate);
  s.SetEffectWord(6, 0, 0);
  s.PlayEffect(6);
  EXPECT_FALSE(s.IsActive());
  s.RestoreEffect(6);
  s.PlayEffect(6);
  EXPECT_TRUE(s.IsActive());
  s.StopAll();
  EXPECT_FALSE(s.IsActive());
  EXPECT_EQ(s.Register(7), 63);
}

TEST(GistSynthTest, SilenceDecaysToZero) {
  TGistSynth s(kRate);
  const std::vector<int16_t> out = Render(s, kRate);
  EXPECT_NE(out[0], 0);  // the idle level steps in and is filtered away
  EXPECT_EQ(out.back(), 0);
}

TEST(GistSynthTest, EveryBuiltInEffectEnds) {
  // The summary of each record: duration, tone and noise periods, first phases.
  struct TRow {
    int Duration, Tone, Noise, TonePhase, NoisePhase;
  } rows[20] = {{28, 477, -1, 1, 0},  {200, 477, -1, 0, 0}, {8, 1250, 31, 1, 1},  {8, 284, -1, 1, 0},
                {8, 625, -1, 1, 0},   {500, 477, 16, 1, 1}, {200, 477, 31, 1, 0}, {40, 477, -1, 1, 0},
                {20, 52, -1, 1, 0},   {100, 477, -1, 1, 0}, {800, 954, 23, 1, 1}, {8, 284, -1, 1, 0},
                {200, 477, -1, 0, 0}, {500, 1923, 15, 1, 1}, {500, 62, 15, 1, 1}, {800, -1, 23, 0, 1},
                {400, 238, -1, 1, 0}, {8, 1330, -1, 1, 1},  {50, 477, -1, 1, 0},  {700, 78, -1, 1, 0}};
  for (int e = 0; e < 20; ++e) {
    const TGistEffect& w = TGistSynth::BuiltInEffect(e);
    EXPECT_EQ(w[0], rows[e].Duration) << e;
    EXPECT_EQ(w[1], rows[e].Tone) << e;
    EXPECT_EQ(w[2], rows[e].Noise) << e;
    EXPECT_EQ(w[3], 15) << e;
    EXPECT_EQ(w[4], 1) << e;
    EXPECT_EQ(w[18], rows[e].TonePhase) << e;
    EXPECT_EQ(w[40], rows[e].NoisePhase) << e;
    TGistSynth s(kRate);
    s.SetRepeatCount(1);
    s.PlayEffect(e);
    std::vector<int16_t> buffer(1024);
    for (uint32_t t = 0; t < kRate * 30 && s.IsActive(); t += 1024) s.Render(buffer.data(), buffer.size());
    EXPECT_FALSE(s.IsActive()) << "effect " << e << " still sounds after 30 s";
  }
  EXPECT_EQ(TGistSynth::BuiltInEffect(11), TGistSynth::BuiltInEffect(3));
}

TEST(GistSynthTest, AFloodOfStartsKeepsTheScheduleBounded) {
  TGistSynth s(kRate);
  s.SetRepeatCount(50);
  for (int i = 0; i < 10000; ++i) s.PlayEffect(i % 5);
  EXPECT_LE(s.ScheduledCount(), TGistSynth::kMaxScheduled);
  Render(s, kRate * 12);
  EXPECT_EQ(s.ScheduledCount(), 0u);
}

TEST(GistSynthThreadsTest, StartsWhileTheSoundThreadRenders) {
  TGistSynth s(kRate);
  std::atomic<bool> stop{false};
  std::thread sound([&] {
    std::vector<int16_t> buffer(1024);
    while (!stop) {
      s.Render(buffer.data(), buffer.size());
      (void)s.IsActive();
    }
  });
  for (int i = 0; i < 3000; ++i) {
    s.PlayEffect(i % 20);
    s.PlayNote(i % 20, i % 4, 20 + i % 100, i % 17);
    if (i % 7 == 0) s.KeyOff(i % 3);
    if (i % 11 == 0) s.SetEffectWord(i % 20, i % 56, i);
    if (i % 13 == 0) s.RestoreEffect(i % 20);
    if (i % 101 == 0) s.StopAll();
  }
  stop = true;
  sound.join();
  s.Reset();
  EXPECT_FALSE(s.IsActive());
}

}  // namespace
