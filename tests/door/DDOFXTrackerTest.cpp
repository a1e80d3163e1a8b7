// The door tracker: MOD and S3M files written here from the published
// formats load with the counts that openmpt123 and xmp report, play their
// rows, ticks and effects, and render notes at the pitch and songs at the
// length the reference player gives them.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "door/uDDOFXAudio.h"
#include "tests/door/TrackerFiles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/WaveFile.h"

using namespace trackertest;

namespace {

constexpr int kTickFrames = 882;  // one tick at tempo 125

TSampleSpec LoopedSine(int period = 32, int cycles = 64, int volume = 64) {
  TSampleSpec s;
  s.Data = Sine(period, cycles);
  s.LoopStart = 0;
  s.LoopLength = int(s.Data.size());
  s.Volume = volume;
  return s;
}

TCell ModNote(int period, int sample = 1, int effect = 0, int param = 0) {
  TCell c;
  c.Period = period;
  c.Sample = sample;
  c.Effect = effect;
  c.Param = param;
  return c;
}
TCell ModEffect(int effect, int param) { return ModNote(0, 0, effect, param); }

TCell S3mNote(int note, int sample = 1, int effect = 0, int param = 0, int volume = -1) {
  TCell c;
  c.Note = note;
  c.Sample = sample;
  c.Effect = effect;
  c.Param = param;
  c.Volume = volume;
  return c;
}
TCell S3mEffect(char letter, int param) { return S3mNote(255, 0, letter - 'A' + 1, param); }

std::vector<int16_t> Render(TDDOFXAudio& a, int frames) {
  std::vector<int16_t> out(size_t(frames) * 2);
  a.Mix(out.data(), frames);
  return out;
}

void Ticks(TDDOFXAudio& a, int n) {
  std::vector<int16_t> out(kTickFrames * 2);
  for (int i = 0; i < n; ++i) a.Mix(out.data(), kTickFrames);
}

// The rows as they start: (order, row) each time a tick 0 has just run.
std::vector<std::pair<int, int>> RowTrace(TDDOFXAudio& a, int ticks) {
  std::vector<std::pair<int, int>> rows;
  std::vector<int16_t> out(kTickFrames * 2);
  TModPosition before = a.Position();
  for (int i = 0; i < ticks; ++i) {
    before = a.Position();
    a.Mix(out.data(), kTickFrames);
    if (before.Tick == 0) rows.push_back({before.Order, before.Row});
  }
  return rows;
}

std::string Need(const std::string& program) {
  const std::string path = testsupport::FindProgram(program);
  if (path.empty()) ADD_FAILURE() << program << " is missing (scripts/packages.txt installs it)";
  return path;
}

std::string InfoField(const std::string& info, const std::string& field) {
  std::smatch m;
  const std::regex re(field + R"(\.*:\s*([^\n]*))");
  return std::regex_search(info, m, re) ? m[1].str() : std::string();
}

double RoughFrequency(const std::string& wav) {
  const std::string out = testsupport::CommandOutput("sox '" + wav + "' -n remix 1 stat 2>&1");
  std::smatch m;
  const std::regex re(R"(Rough\s+frequency:\s+([0-9.]+))");
  return std::regex_search(out, m, re) ? std::stod(m[1].str()) : -1;
}

void WriteWave(const std::string& path, const std::vector<int16_t>& samples) {
  const std::vector<uint8_t> image = testsupport::WaveImage(44100, 2, 16, testsupport::SampleBytes(samples));
  testsupport::WriteWholeFile(path, std::string(image.begin(), image.end()));
}

// A 4-channel MOD of one pattern with Cells placed at (row, channel).
std::string OneModPattern(const std::vector<std::tuple<int, int, TCell>>& cells, std::vector<int> orders = {0},
                          const std::string& sig = "M.K.", int channels = 4,
                          std::vector<TSampleSpec> samples = {LoopedSine()}) {
  TPattern p = EmptyPattern(channels);
  for (const auto& [row, ch, cell] : cells) At(p, channels, row, ch) = cell;
  int highest = 0;
  for (int o : orders) highest = std::max(highest, o);
  std::vector<TPattern> patterns(size_t(highest) + 1, EmptyPattern(channels));
  patterns[0] = p;
  return MakeMod(sig, channels, samples, orders, patterns);
}

std::string OneS3mPattern(const std::vector<std::tuple<int, int, TCell>>& cells, int channels = 4,
                          std::vector<TSampleSpec> samples = {LoopedSine()}) {
  TPattern p = EmptyPattern(channels);
  for (const auto& [row, ch, cell] : cells) At(p, channels, row, ch) = cell;
  return MakeS3m(channels, samples, {0}, {p});
}

}  // namespace

// ---------------------------------------------------------------------------
// Loaders

TEST(DDOFXTrackerTest, CountsMatchTheReferencePlayers) {
  const std::string openmpt = Need("openmpt123"), xmp = Need("xmp");
  ASSERT_FALSE(openmpt.empty());
  ASSERT_FALSE(xmp.empty());
  testsupport::TempDir dir;
  struct Row {
    const char* Name;
    std::string Bytes;
  };
  TPattern p8 = EmptyPattern(8);
  At(p8, 8, 0, 7) = ModNote(428);
  TPattern p6 = EmptyPattern(6);
  At(p6, 6, 3, 5) = S3mNote(0x40);
  const std::vector<Row> rows = {
      {"mk4.mod", OneModPattern({{0, 0, ModNote(428)}}, {0, 2, 1, 2})},
      {"chn8.mod", MakeMod("8CHN", 8, {LoopedSine(), LoopedSine(16)}, {0, 0, 1}, {p8, p8})},
      {"ch12.mod", OneModPattern({{0, 11, ModNote(428)}}, {1, 0}, "12CH", 12)},
      {"old15.mod", OneModPattern({{0, 0, ModNote(428)}}, {0, 1}, "", 4)},
      {"four.s3m", MakeS3m(4, {LoopedSine(), LoopedSine(16), LoopedSine(8)}, {0, 1, 0}, {EmptyPattern(4), EmptyPattern(4)})},
      {"six.s3m", MakeS3m(6, {LoopedSine()}, {1, 0, 2, 1}, {p6, p6, p6}, 4, 140, true)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string path = dir.File(row.Name);
    ASSERT_TRUE(testsupport::WriteWholeFile(path, row.Bytes));
    TDDOFXAudio a;
    ASSERT_TRUE(a.LoadMusic(row.Bytes, row.Name));
    const std::string info = testsupport::CommandOutput("'" + openmpt + "' --info '" + path + "' 2>&1");
    EXPECT_EQ(std::to_string(a.ChannelCount()), InfoField(info, "Channels"));
    EXPECT_EQ(std::to_string(a.OrderCount()), InfoField(info, "Orders"));
    EXPECT_EQ(std::to_string(a.PatternCount()), InfoField(info, "Patterns"));
    EXPECT_EQ(std::to_string(a.SampleCount()), InfoField(info, "Samples"));
    const std::string xinfo = testsupport::CommandOutput("'" + xmp + "' --load-only '" + path + "' 2>&1");
    EXPECT_EQ(std::to_string(a.ChannelCount()), InfoField(xinfo, "Channels *").substr(0, std::to_string(a.ChannelCount()).size()));
    EXPECT_EQ(std::to_string(a.PatternCount()), InfoField(xinfo, "Patterns *"));
  }
}

TEST(DDOFXTrackerTest, ModSignaturesDecideSamplesAndChannels) {
  struct Row {
    const char* Sig;
    bool Loads;
    int Channels, Samples;
  };
  const Row rows[] = {
      {"M.K.", true, 4, 31}, {"M!K!", true, 4, 31}, {"FLT8", true, 8, 31}, {"OCTA", true, 8, 31},
      {"6CHN", true, 6, 31}, {"12CH", true, 12, 31}, {"32CH", true, 32, 31}, {"33CH", false, 0, 0},
      {"0CHN", true, 4, 15},  // not a signature: an old 15-sample module
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Sig);
    const int channels = row.Loads && row.Samples == 31 ? row.Channels : 4;
    std::string bytes = OneModPattern({{0, 0, ModNote(428)}}, {0}, "M.K.", std::max(channels, 4));
    bytes.replace(1080, 4, row.Sig);
    TDDOFXAudio a;
    EXPECT_EQ(row.Loads, a.LoadMusic(bytes, "x.mod"));
    EXPECT_EQ(row.Channels, a.ChannelCount());
    EXPECT_EQ(row.Samples, a.SampleCount());
  }
}

TEST(DDOFXTrackerTest, FifteenSampleModReadsItsPatternsFromOffset600) {
  const std::string bytes = OneModPattern({{0, 0, ModNote(428)}, {0, 3, ModNote(214)}}, {0}, "", 4);
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(bytes, "old.mod"));
  EXPECT_EQ(15, a.SampleCount());
  EXPECT_EQ(4, a.ChannelCount());
  Ticks(a, 1);
  EXPECT_EQ(37, a.Channel(0).LastNote);
  EXPECT_EQ(49, a.Channel(3).LastNote);
  EXPECT_TRUE(a.Channel(0).Active);
}

TEST(DDOFXTrackerTest, ModPeriodsBecomeNotes) {
  // 428 is in the table; 400 is within 404 div 60 + 2 of 404; 1000 matches
  // nothing and is placed by its logarithm.
  const std::string bytes =
      OneModPattern({{0, 0, ModNote(428)}, {0, 1, ModNote(400)}, {0, 2, ModNote(1000)}, {0, 3, ModNote(113)}});
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(bytes, "p.mod"));
  Ticks(a, 1);
  EXPECT_EQ(37, a.Channel(0).LastNote);
  EXPECT_EQ(38, a.Channel(1).LastNote);
  EXPECT_EQ(22, a.Channel(2).LastNote);
  EXPECT_EQ(60, a.Channel(3).LastNote);
  EXPECT_NEAR(428.0, a.Channel(0).Period, 0.01);
}

TEST(DDOFXTrackerTest, ModPansAndS3mPans) {
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneModPattern({}, {0}, "8CHN", 8), "m.mod"));
  const int expected[8] = {80, 176, 176, 80, 80, 176, 176, 80};
  for (int c = 0; c < 8; ++c) EXPECT_EQ(expected[c], a.Channel(c).Pan) << c;
  ASSERT_TRUE(a.LoadMusic(MakeS3m(4, {LoopedSine()}, {0}, {EmptyPattern(4)}), "s.s3m"));
  EXPECT_EQ(64, a.Channel(0).Pan);
  EXPECT_EQ(192, a.Channel(1).Pan);
  ASSERT_TRUE(a.LoadMusic(MakeS3m(4, {LoopedSine()}, {0}, {EmptyPattern(4)}, 6, 125, false, {3, 12, 0, 15}), "d.s3m"));
  EXPECT_EQ(51, a.Channel(0).Pan);
  EXPECT_EQ(204, a.Channel(1).Pan);
  EXPECT_EQ(255, a.Channel(3).Pan);
}

TEST(DDOFXTrackerTest, S3mLoaderRefusalsAndHeaderValues) {
  TDDOFXAudio a;
  // Orders made only of "skip" markers: nothing to play.
  std::string bytes = MakeS3m(4, {LoopedSine()}, {254, 254}, {EmptyPattern(4)});
  EXPECT_FALSE(a.LoadMusic(bytes, "skip.s3m"));
  EXPECT_EQ("", a.MusicName());
  // No channel enabled.
  bytes = MakeS3m(4, {LoopedSine()}, {0}, {EmptyPattern(4)});
  for (int i = 0; i < 32; ++i) bytes[64 + size_t(i)] = char(255);
  EXPECT_FALSE(a.LoadMusic(bytes, "mute.s3m"));
  // Speed 0 is 6, tempo below 32 is 125, global volume is cut to 1..64,
  // and orders stop at 255.
  bytes = MakeS3m(4, {LoopedSine()}, {0, 254, 0, 255, 0}, {EmptyPattern(4)}, 0, 20, false, {}, 0);
  ASSERT_TRUE(a.LoadMusic(bytes, "hdr.s3m"));
  EXPECT_EQ(2, a.OrderCount());
  const TModPosition pos = a.Position();
  EXPECT_EQ(6, pos.Speed);
  EXPECT_EQ(125, pos.Tempo);
  EXPECT_EQ(1, pos.GlobalVolume);
  EXPECT_EQ("hdr.s3m", a.MusicName());
  // Short or foreign data is neither format.
  EXPECT_FALSE(a.LoadMusic(std::string(599, '\0'), "short"));
  EXPECT_FALSE(a.LoadMusic("CTMF" + std::string(100, 'x'), "song.cmf"));
  EXPECT_FALSE(a.Playing());
}

TEST(DDOFXTrackerTest, TruncatedAndHostileModulesStayBounded) {
  // A MOD cut inside its patterns: the missing cells are empty, the samples
  // have no data; it loads and plays silence.
  std::string mod = OneModPattern({{0, 0, ModNote(428)}}, {0, 1});
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(mod.substr(0, 1200), "cut.mod"));
  EXPECT_EQ(2, a.PatternCount());
  const std::vector<int16_t> out = Render(a, 44100);
  for (int16_t v : out) ASSERT_EQ(0, v);

  // An S3M whose 200 instruments all claim the same 3 MB of data: the
  // samples together are held to the size of the file.
  const size_t dataSize = 3 << 20;
  std::string s3m = MakeS3m(4, std::vector<TSampleSpec>(200, LoopedSine()), {0}, {EmptyPattern(4)});
  const size_t firstHeader = size_t(uint8_t(s3m[96 + 1]) | uint8_t(s3m[96 + 2]) << 8) * 16;
  const size_t dataAt = (s3m.size() + 15) / 16 * 16;
  s3m.resize(dataAt + dataSize, '\x10');
  for (int i = 0; i < 200; ++i) {
    const size_t at = size_t(uint8_t(s3m[97 + size_t(i) * 2]) | uint8_t(s3m[98 + size_t(i) * 2]) << 8) * 16;
    ASSERT_GE(at, firstHeader);
    PutLe32(s3m, at + 16, uint32_t(dataSize));
    s3m[at + 13] = char(((dataAt / 16) >> 16) & 0xFF);
    PutLe16(s3m, at + 14, uint32_t((dataAt / 16) & 0xFFFF));
  }
  ASSERT_TRUE(a.LoadMusic(s3m, "overlap.s3m"));
  EXPECT_LE(a.SampleMemory(), s3m.size() * sizeof(int16_t));
  EXPECT_EQ(200, a.SampleCount());

  // Pattern counts beyond what an order can name are not allocated.
  std::string many = MakeS3m(4, {LoopedSine()}, {0}, {EmptyPattern(4)});
  PutLe16(many, 36, 65535);
  ASSERT_TRUE(a.LoadMusic(many, "many.s3m"));
  EXPECT_LE(a.PatternCount(), 256);
}

// ---------------------------------------------------------------------------
// Rows and ticks

TEST(DDOFXTrackerTest, PatternBreakContinuesAtItsRowInTheNextOrder) {
  const std::string bytes = OneModPattern({{0, 0, ModNote(428)}, {5, 1, ModEffect(0xD, 0x23)}}, {0, 1});
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(bytes, "break.mod"));
  const auto rows = RowTrace(a, 6 * 9);
  ASSERT_EQ(9u, rows.size());
  const std::vector<std::pair<int, int>> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4},
                                                      {0, 5}, {1, 23}, {1, 24}, {1, 25}};
  EXPECT_EQ(expected, rows);
}

TEST(DDOFXTrackerTest, PatternLoopAndPatternDelay) {
  TDDOFXAudio a;
  // E60 marks row 1, E62 on row 3 goes back twice: rows 1..3 play three times.
  ASSERT_TRUE(a.LoadMusic(OneModPattern({{1, 0, ModEffect(0xE, 0x60)}, {3, 0, ModEffect(0xE, 0x62)}}), "loop.mod"));
  std::vector<int> rows;
  for (const auto& r : RowTrace(a, 6 * 12)) rows.push_back(r.second);
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5}), rows);

  // EEx holds the row for x more rows (six ticks each at speed 6), as
  // ProTracker and the reference players do.
  struct Row {
    int Param, TicksOfRow0;
  };
  for (const Row& row : {Row{0x0, 6}, Row{0x1, 12}, Row{0x3, 24}}) {
    ASSERT_TRUE(a.LoadMusic(OneModPattern({{0, 0, ModEffect(0xE, 0xE0 | row.Param)}}), "delay.mod"));
    int ticks = 0;
    while (a.Position().Row == 0 && ticks < 100) {
      Ticks(a, 1);
      ++ticks;
    }
    EXPECT_EQ(row.TicksOfRow0, ticks) << row.Param;
  }
}

TEST(DDOFXTrackerTest, ArpeggioCyclesThroughItsThreeNotesPerTick) {
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneModPattern({{0, 0, ModNote(428, 1, 0x0, 0x37)}}), "arp.mod"));
  std::vector<double> periods;
  for (int t = 0; t < 6; ++t) {
    Ticks(a, 1);
    periods.push_back(a.Channel(0).Period);
  }
  const double base = 428;
  const double plus3 = base / std::pow(2.0, 3 / 12.0), plus7 = base / std::pow(2.0, 7 / 12.0);
  const double expected[6] = {base, plus3, plus7, base, plus3, plus7};
  for (int t = 0; t < 6; ++t) EXPECT_NEAR(expected[t], periods[size_t(t)], 0.01) << "tick " << t;
}

// One effect on a note (or after it), and the channel after some ticks.
struct TEffectRow {
  const char* Name;
  bool S3m;
  std::vector<std::tuple<int, int, TCell>> Cells;
  int Ticks;
  double Period;  // < 0: not checked
  int Volume;     // < 0: not checked
};

class DDOFXTrackerEffects : public ::testing::TestWithParam<TEffectRow> {};

TEST_P(DDOFXTrackerEffects, ChannelAfterTicks) {
  const TEffectRow& row = GetParam();
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(row.S3m ? OneS3mPattern(row.Cells) : OneModPattern(row.Cells), "fx"));
  Ticks(a, row.Ticks);
  const TModChannel ch = a.Channel(0);
  if (row.Period >= 0) {
    EXPECT_NEAR(row.Period, ch.Period, 0.01);
  }
  if (row.Volume >= 0) {
    EXPECT_EQ(row.Volume, ch.Volume);
  }
}

// S3M C-4 with C2Spd 8363 has the period 1712.
INSTANTIATE_TEST_SUITE_P(
    Rows, DDOFXTrackerEffects,
    ::testing::Values(
        TEffectRow{"ModVolumeSet", false, {{0, 0, ModNote(428, 1, 0xC, 0x50)}}, 1, 428, 64},
        TEffectRow{"ModVolumeSlideDown", false, {{0, 0, ModNote(428, 1, 0xA, 0x02)}}, 6, 428, 54},
        TEffectRow{"ModVolumeSlideUpStopsAt64", false, {{0, 0, ModNote(428, 1, 0xA, 0x20)}}, 6, 428, 64},
        TEffectRow{"ModPortaUpStopsAt113", false, {{0, 0, ModNote(120, 1, 0x1, 0xFF)}}, 6, 113, -1},
        TEffectRow{"ModPortaDownStopsAt1712", false, {{0, 0, ModNote(1600, 1, 0x2, 0x40)}}, 6, 1712, -1},
        TEffectRow{"ModPortaDownAfterOneRow", false, {{0, 0, ModNote(428, 1, 0x2, 0x04)}}, 6, 448, -1},
        TEffectRow{"ModTonePortaStopsAtTarget", false,
                   {{0, 0, ModNote(428)}, {1, 0, ModNote(404, 1, 0x3, 0x08)}}, 12, 856 * std::pow(2.0, -13 / 12.0), -1},
        TEffectRow{"ModTonePortaHalfWay", false,
                   {{0, 0, ModNote(428)}, {1, 0, ModNote(404, 1, 0x3, 0x08)}}, 8, 420, -1},
        TEffectRow{"ModFinePortaUp", false, {{0, 0, ModNote(428)}, {1, 0, ModEffect(0xE, 0x13)}}, 7, 425, -1},
        TEffectRow{"ModFineVolumeDown", false, {{0, 0, ModNote(428)}, {1, 0, ModEffect(0xE, 0xB5)}}, 7, -1, 59},
        TEffectRow{"ModNoteCutAtTick3", false, {{0, 0, ModNote(428, 1, 0xE, 0xC3)}}, 4, -1, 0},
        TEffectRow{"ModNoteCutZeroNeverCuts", false, {{0, 0, ModNote(428, 1, 0xE, 0xC0)}}, 6, -1, 64},
        TEffectRow{"ModTremoloLeavesBase", false, {{0, 0, ModNote(428, 1, 0xC, 0x20)}, {1, 0, ModEffect(0x7, 0x48)}},
                   9, -1, 32 + 97 * 8 / 64},
        TEffectRow{"ModVibratoDepth", false, {{0, 0, ModNote(428, 1, 0x4, 0x88)}}, 3, 428 + 180.0 * 8 / 128, -1},
        TEffectRow{"S3mVolumeColumn", true, {{0, 0, S3mNote(0x40, 1, 0, 0, 20)}}, 1, 1712, 20},
        TEffectRow{"S3mVolumeSlideDown", true, {{0, 0, S3mNote(0x40, 1, 'D' - 64, 0x04)}}, 6, -1, 44},
        TEffectRow{"S3mFineVolumeDownOnce", true, {{0, 0, S3mNote(0x40, 1, 'D' - 64, 0xF2)}}, 6, -1, 62},
        TEffectRow{"S3mFineVolumeUpOnce", true, {{0, 0, S3mNote(0x40, 1, 'D' - 64, 0x2F, 40)}}, 6, -1, 42},
        TEffectRow{"S3mPortaUp", true, {{0, 0, S3mNote(0x40, 1, 'F' - 64, 0x04)}}, 6, 1712 - 5 * 16, -1},
        TEffectRow{"S3mExtraFinePortaDown", true, {{0, 0, S3mNote(0x40, 1, 'E' - 64, 0xE3)}}, 6, 1715, -1},
        TEffectRow{"S3mSlideMemory", true,
                   {{0, 0, S3mNote(0x40, 1, 'D' - 64, 0x02)}, {1, 0, S3mEffect('D', 0)}}, 12, -1, 44},
        TEffectRow{"S3mNoteCut", true, {{0, 0, S3mNote(0x40, 1, 'S' - 64, 0xC2)}}, 3, -1, 0},
        TEffectRow{"S3mNoteCutZeroNeverCuts", true, {{0, 0, S3mNote(0x40, 1, 'S' - 64, 0xC0)}}, 6, -1, 64},
        TEffectRow{"S3mRetriggerHalvesVolume", true, {{0, 0, S3mNote(0x40, 1, 'Q' - 64, 0x72)}}, 3, -1, 32},
        TEffectRow{"S3mVibratoIsFourTimesDeeper", true, {{0, 0, S3mNote(0x40, 1, 'H' - 64, 0x88)}}, 3,
                   1712 + 180.0 * 8 / 128 * 4, -1}),
    [](const ::testing::TestParamInfo<TEffectRow>& info) { return std::string(info.param.Name); });

TEST(DDOFXTrackerTest, S3mNoteDelayAndGlobalSettings) {
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneS3mPattern({{0, 0, S3mNote(0x40, 1, 'S' - 64, 0xD2)},
                                         {0, 1, S3mEffect('V', 0x20)},
                                         {1, 2, S3mEffect('T', 0x50)},
                                         {0, 3, S3mEffect('X', 0x80)}}),
                          "sd.s3m"));
  Ticks(a, 2);
  EXPECT_FALSE(a.Channel(0).Active) << "the note waits for tick 2";
  Ticks(a, 1);
  EXPECT_TRUE(a.Channel(0).Active);
  EXPECT_EQ(49, a.Channel(0).LastNote);
  EXPECT_EQ(32, a.Position().GlobalVolume);
  EXPECT_EQ(255, a.Channel(3).Pan);
  EXPECT_EQ(125, a.Position().Tempo);
  Ticks(a, 4);
  EXPECT_EQ(0x50, a.Position().Tempo);
}

TEST(DDOFXTrackerTest, StepPatternAndPause) {
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneModPattern({{0, 0, ModNote(428)}}, {0, 1, 2}), "s.mod"));
  a.StepPattern(-1);
  EXPECT_EQ(0, a.Position().Order);
  a.StepPattern(1);
  a.StepPattern(1);
  EXPECT_EQ(2, a.Position().Order);
  a.StepPattern(1);
  EXPECT_EQ(0, a.Position().Order);
  Ticks(a, 3);
  a.TogglePause();
  EXPECT_EQ(0, a.ChannelLevel(0));
  const TModPosition before = a.Position();
  const std::vector<int16_t> out = Render(a, 4000);
  for (int16_t v : out) ASSERT_EQ(0, v);
  EXPECT_EQ(before.Tick, a.Position().Tick);
  EXPECT_FALSE(a.IsActive());
  a.TogglePause();
  EXPECT_TRUE(a.IsActive());
  a.StopMusic();
  EXPECT_EQ(0, a.ChannelCount());
  a.TogglePause();
  EXPECT_FALSE(a.Paused());
}

// ---------------------------------------------------------------------------
// Rendering against the reference player

TEST(DDOFXTrackerTest, RenderedPitchMatchesTheReferencePlayer) {
  const std::string openmpt = Need("openmpt123");
  ASSERT_FALSE(openmpt.empty());
  ASSERT_FALSE(Need("sox").empty());
  testsupport::TempDir dir;
  struct Row {
    const char* Name;
    std::string Bytes;
    double Expected;  // the note's frequency over a 32-sample sine
  };
  const std::vector<Row> rows = {
      {"c3.mod", OneModPattern({{0, 0, ModNote(428)}}), 3546895.0 / 428 / 32},
      {"g3.mod", OneModPattern({{0, 0, ModNote(285)}}), 3546895.0 / 285 / 32},
      {"c4.s3m", OneS3mPattern({{0, 0, S3mNote(0x40)}}), 8363.0 / 32},
      {"a5.s3m", OneS3mPattern({{0, 0, S3mNote(0x59)}}), 8363.0 / 32 * std::pow(2.0, 21 / 12.0)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string path = dir.File(row.Name);
    ASSERT_TRUE(testsupport::WriteWholeFile(path, row.Bytes));
    TDDOFXAudio a;
    ASSERT_TRUE(a.LoadMusic(row.Bytes, row.Name));
    WriteWave(path + ".ours.wav", Render(a, 44100 * 2));
    const double ours = RoughFrequency(path + ".ours.wav");
    testsupport::CommandOutput("'" + openmpt + "' --quiet --render --force --samplerate 44100 --end-time 2 '" + path +
                               "' >/dev/null 2>&1");
    const double theirs = RoughFrequency(path + ".wav");
    ASSERT_GT(theirs, 0) << "openmpt123 rendered nothing";
    EXPECT_NEAR(theirs, ours, theirs * 0.01);
    EXPECT_NEAR(row.Expected, ours, row.Expected * 0.01);
  }
}

TEST(DDOFXTrackerTest, SongLengthMatchesTheReferencePlayerWithinATick) {
  const std::string openmpt = Need("openmpt123");
  ASSERT_FALSE(openmpt.empty());
  testsupport::TempDir dir;
  struct Row {
    const char* Name;
    std::string Bytes;
  };
  TPattern p = EmptyPattern(4), q = EmptyPattern(4);
  At(p, 4, 0, 0) = ModNote(428, 1, 0xF, 0x03);   // speed 3
  At(p, 4, 10, 1) = ModEffect(0xF, 0x96);        // tempo 150
  At(p, 4, 20, 1) = ModEffect(0xE, 0xE3);        // the row's ticks three times
  At(p, 4, 30, 1) = ModEffect(0xE, 0x60);
  At(p, 4, 33, 1) = ModEffect(0xE, 0x62);        // rows 30..33 three times
  At(q, 4, 0, 2) = ModEffect(0xF, 0x05);         // speed 5
  At(q, 4, 40, 3) = ModEffect(0xF, 0x40);        // tempo 64
  TPattern s = EmptyPattern(4);
  At(s, 4, 0, 0) = S3mNote(0x40, 1, 'A' - 64, 4);
  At(s, 4, 8, 1) = S3mEffect('T', 0xA0);
  At(s, 4, 16, 2) = S3mEffect('S', 0xE2);
  At(s, 4, 24, 3) = S3mEffect('S', 0xB0);
  At(s, 4, 27, 3) = S3mEffect('S', 0xB1);
  const std::vector<Row> rows = {
      {"tempo.mod", MakeMod("M.K.", 4, {LoopedSine()}, {0, 1, 0}, {p, q})},
      {"tempo.s3m", MakeS3m(4, {LoopedSine()}, {0, 0}, {s}, 6, 125)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string path = dir.File(row.Name);
    ASSERT_TRUE(testsupport::WriteWholeFile(path, row.Bytes));
    const std::string info = testsupport::CommandOutput("'" + openmpt + "' --info '" + path + "' 2>&1");
    std::smatch m;
    const std::string duration = InfoField(info, "Duration");
    ASSERT_TRUE(std::regex_match(duration, m, std::regex(R"((\d+):(\d+)\.(\d+))"))) << duration;
    const double theirs = std::stoi(m[1].str()) * 60 + std::stoi(m[2].str()) + std::stoi(m[3].str()) / 1000.0;

    // Ours loops: the song's length is the time until order 0, row 0 starts again.
    TDDOFXAudio a;
    ASSERT_TRUE(a.LoadMusic(row.Bytes, row.Name));
    int16_t frame[2];
    int64_t frames = 0;
    int slowest = 255;
    bool started = false;
    for (; frames < 44100LL * 600; ++frames) {
      const TModPosition before = a.Position();
      slowest = std::min(slowest, before.Tempo);
      a.Mix(frame, 1);
      const TModPosition after = a.Position();
      const bool ticked = after.Tick != before.Tick || after.Row != before.Row || after.Order != before.Order;
      if (ticked && before.Order == 0 && before.Row == 0 && before.Tick == 0) {
        if (started) break;
        started = true;
      }
    }
    const double ours = double(frames) / 44100;
    EXPECT_NEAR(theirs, ours, 2.5 / slowest + 0.002) << "openmpt " << theirs << " s, ours " << ours << " s";
  }
}

// ---------------------------------------------------------------------------
// The mixer and its voices

TEST(DDOFXTrackerTest, LevelsFlashAtANoteAndDecay) {
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneModPattern({{0, 0, ModNote(428)}}), "lv.mod"));
  Render(a, 882);
  EXPECT_EQ(64, a.ChannelLevel(0));
  EXPECT_EQ(0, a.ChannelLevel(1));
  Render(a, 882);
  EXPECT_EQ(57, a.ChannelLevel(0)) << "decayed by 0.82 per 20 ms";
  Render(a, 44100);
  Render(a, 882);
  EXPECT_EQ(22, a.ChannelLevel(0)) << "toward 35 % of the volume";
}

TEST(DDOFXTrackerTest, RestartedNoteDoesNotClick) {
  // A loud triangle that starts at its peak, restarted on every row: the old
  // sound fades out through the tail while the new one fades in, so no two
  // neighbouring output frames are far apart.
  TSampleSpec saw;
  for (int i = 0; i < 256; ++i) saw.Data.push_back(int8_t(i < 128 ? 63 - i : i - 192));
  saw.LoopStart = 0;
  saw.LoopLength = 256;
  std::vector<std::tuple<int, int, TCell>> cells;
  for (int r = 0; r < 64; ++r) cells.push_back({r, 0, ModNote(856)});
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneModPattern(cells, {0}, "M.K.", 4, {saw}), "saw.mod"));
  const std::vector<int16_t> out = Render(a, 44100);
  int worst = 0;
  for (size_t i = 2; i < out.size(); i += 2) worst = std::max(worst, std::abs(out[i] - out[i - 2]));
  // The triangle itself steps by about 20 per frame at this pitch; a hard
  // restart of it would jump by up to 20000.
  EXPECT_LT(worst, 800);
}

TEST(DDOFXTrackerTest, LargerModulesAreMixedAtFourSixths) {
  TDDOFXAudio four, eight;
  ASSERT_TRUE(four.LoadMusic(OneModPattern({{0, 0, ModNote(428)}}), "4.mod"));
  ASSERT_TRUE(eight.LoadMusic(OneModPattern({{0, 0, ModNote(428)}}, {0}, "8CHN", 8), "8.mod"));
  const std::vector<int16_t> a = Render(four, 8820), b = Render(eight, 8820);
  int peakA = 0, peakB = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    peakA = std::max(peakA, std::abs(int(a[i])));
    peakB = std::max(peakB, std::abs(int(b[i])));
  }
  ASSERT_GT(peakA, 1000);
  EXPECT_NEAR(peakA * 4.0 / 6.0, peakB, 2.0);
}

TEST(DDOFXTrackerTest, SampleLoopWrapsFromFarPastItsEnd) {
  // An offset of 0xFF00 samples into a 32-sample loop: the position comes
  // back inside the loop at once and the mix goes on.
  TSampleSpec s = LoopedSine(32, 1);
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneModPattern({{0, 0, ModNote(428, 1, 0x9, 0xFF)}}, {0}, "M.K.", 4, {s}), "far.mod"));
  const auto start = std::chrono::steady_clock::now();
  Render(a, 44100);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  const TModChannel ch = a.Channel(0);
  EXPECT_TRUE(ch.Active);
  EXPECT_LT(ch.Position, 32.0);
  // Without a loop the same offset ends the note.
  s.LoopLength = 0;
  ASSERT_TRUE(a.LoadMusic(OneModPattern({{0, 0, ModNote(428, 1, 0x9, 0xFF)}}, {0}, "M.K.", 4, {s}), "end.mod"));
  Render(a, 882);
  EXPECT_FALSE(a.Channel(0).Active);
}

TEST(DDOFXTrackerTest, MusicVolumeAndTheSoundSwitch) {
  TDDOFXAudio a;
  ASSERT_TRUE(a.LoadMusic(OneModPattern({{0, 0, ModNote(428)}}), "v.mod"));
  a.SetVolume(200);
  EXPECT_EQ(64, a.GetVolume());
  a.SetVolume(-5);
  EXPECT_EQ(0, a.GetVolume());
  for (int16_t v : Render(a, 4410)) ASSERT_EQ(0, v);
  a.SetVolume(64);
  a.PlaySample({std::make_shared<const std::string>(std::string(1000, '\x40'))}, 3, 8000);
  a.FEnabled = false;
  EXPECT_FALSE(a.IsActive());
  for (int16_t v : Render(a, 4410)) ASSERT_EQ(0, v);
  a.FEnabled = true;
  EXPECT_TRUE(a.IsActive());
}

TEST(DDOFXTrackerTest, VoicesStealTheOldestAndReportTheirState) {
  TDDOFXAudio a;
  auto bytes = std::make_shared<const std::string>(std::string(44100, '\x20'));
  EXPECT_EQ("N/A", a.SampleStatus(5));
  EXPECT_EQ("N/A", a.SampleStatus(0));
  EXPECT_EQ("N/A", a.SampleStatus(151));
  for (int id = 1; id <= 4; ++id) a.PlaySample({bytes}, id, 44100);
  EXPECT_EQ("1", a.SampleStatus(1));
  a.PlaySample({bytes}, 5, 44100);
  EXPECT_EQ("0", a.SampleStatus(1)) << "the oldest was cut off";
  EXPECT_EQ("1", a.SampleStatus(5));
  EXPECT_EQ("1", a.SampleStatus(2));
  a.PlaySample({}, 6, 8000);
  EXPECT_EQ("N/A", a.SampleStatus(6)) << "nothing to play starts nothing";
  a.StopSamples();
  EXPECT_EQ("N/A", a.SampleStatus(5)) << "a stop leaves the finished flags alone";
  EXPECT_FALSE(a.IsActive());
}

TEST(DDOFXTrackerTest, VoiceRatesAndChunks) {
  struct Row {
    int Rate;
    double Step;
  };
  // Below 1 is the default 8500; a door's rate is held to 1000..96000.
  for (const Row& row : {Row{0, 8500.0 / 44100}, Row{-7, 8500.0 / 44100}, Row{22050, 0.5}, Row{500, 1000.0 / 44100},
                         Row{2000000000, 96000.0 / 44100}}) {
    TDDOFXAudio a;
    a.PlaySample({std::make_shared<const std::string>("ab")}, 1, row.Rate);
    EXPECT_DOUBLE_EQ(row.Step, a.Voice(0).Step) << row.Rate;
  }
  // Three chunks play one after another (an empty one is passed over); at
  // 22050 Hz each byte lasts two frames, and the voice ends after them.
  TDDOFXAudio a;
  const std::string one(100, '\x10'), two(50, '\x20');
  a.PlaySample({std::make_shared<const std::string>(one), std::make_shared<const std::string>(""),
                std::make_shared<const std::string>(two)},
               7, 22050);
  const std::vector<int16_t> out = Render(a, 400);
  EXPECT_EQ(0x10 * 256 * 3 / 4, out[0]);
  EXPECT_EQ(out[0], out[1]);
  EXPECT_EQ(0x20 * 256 * 3 / 4, out[2 * 250]);
  EXPECT_EQ(0, out[2 * 300]);
  EXPECT_EQ("0", a.SampleStatus(7));
  EXPECT_FALSE(a.IsActive());
}
