// Reading ANSI music strings into notes (tempo, lengths, dots, octaves,
// articulation, limits) and the square wave of one tone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound/uAnsiMusic.h"

namespace {

constexpr int C4 = 1048, C6 = 4192, B1 = 247, A4 = 1760, CSharp4 = 1112, C3 = 524;

struct MusicRow {
  const char* Name;
  const char* Music;
  std::vector<TAnsiNote> Notes;
};

class AnsiMusicTest : public ::testing::TestWithParam<MusicRow> {};

const MusicRow kRows[] = {
    {"quarter C at tempo 120", "T120L4C", {{C4, 437, 62}}},
    {"legato", "MLC", {{C4, 500, 0}}},
    {"staccato", "MSC", {{C4, 375, 125}}},
    {"one dot", "C.", {{C4, 656, 93}}},
    {"two dots", "C..", {{C4, 819, 117}}},
    {"three dots as two", "C...", {{C4, 819, 117}}},
    {"N with one dot", "ML N49.", {{C4, 750, 0}}},
    {"N with two dots takes only the first", "ML N49..", {{C4, 750, 0}}},
    {"O7 is octave 6", "O7C", {{C6, 437, 62}}},
    {"O9 is octave 6", "O9C", {{C6, 437, 62}}},
    {"eight > stop at octave 6", ">>>>>>>>C", {{C6, 437, 62}}},
    {"< goes down", "<C", {{C3, 437, 62}}},
    {"T10 is tempo 32", "MLT10C", {{C4, 1875, 0}}},
    {"T999 is tempo 255", "MLT999C", {{C4, 235, 0}}},
    {"T alone keeps the tempo", "MLTC", {{C4, 500, 0}}},
    {"a run of digits too long keeps the tempo", "MLT99999999999C", {{C4, 500, 0}}},
    {"L0 is length 1", "MLL0C", {{C4, 2000, 0}}},
    {"note length", "MLC8", {{C4, 250, 0}}},
    {"halves round to even, down", "MLT48L16C", {{C4, 312, 0}}},
    {"halves round to even, up", "MLT80L16C", {{C4, 188, 0}}},
    {"C- in octave 2 is B of octave 1", "O2C-", {{B1, 437, 62}}},
    {"B# in octave 6 is C of octave 6", "O6B#", {{C6, 437, 62}}},
    {"sharp and plus", "C#C+D-", {{CSharp4, 437, 62}, {CSharp4, 437, 62}, {CSharp4, 437, 62}}},
    {"A of octave 4", "A", {{A4, 437, 62}}},
    {"N0 rests", "N0", {{0, 0, 500}}},
    {"N85 is C of octave 6", "N85", {{C6, 437, 62}}},
    {"N beyond the table stays in octave 6", "N2000", {{AnsiMusicFreqTable[6 * 12 + 1999 % 12], 437, 62}}},
    {"pause", "P4P8.", {{0, 0, 500}, {0, 0, 375}}},
    {"pause of the default length", "L2P", {{0, 0, 1000}}},
    {"a leading B is skipped", "BC", {{C4, 437, 62}}},
    {"a leading F is skipped", "FC", {{C4, 437, 62}}},
    {"MB and MF are ignored", "MBMFC", {{C4, 437, 62}}},
    {"letters in either case", "mlt120l4c", {{C4, 500, 0}}},
    {"other characters are skipped", "XYZ !C", {{C4, 437, 62}}},
    {"empty", "", {}},
};

}  // namespace

TEST_P(AnsiMusicTest, PlaysTheseNotes) {
  EXPECT_EQ(ParseAnsiMusic(GetParam().Music), GetParam().Notes);
}

INSTANTIATE_TEST_SUITE_P(Rows, AnsiMusicTest, ::testing::ValuesIn(kRows), [](const auto& info) {
  std::string name;
  for (char ch : std::string(info.param.Name)) name += std::isalnum(uint8_t(ch)) ? ch : '_';
  return name;
});

TEST(AnsiMusicTableTest, OctavesDoubleFromOctaveOne) {
  EXPECT_EQ(AnsiMusicFreqTable[0], 65);
  EXPECT_EQ(AnsiMusicFreqTable[11], 123);
  EXPECT_EQ(AnsiMusicFreqTable[12], 131);
  EXPECT_EQ(AnsiMusicFreqTable[24], 262);
  EXPECT_EQ(AnsiMusicFreqTable[83], 7904);
}

TEST(AnsiMusicToneTest, TheSquareWaveKeepsTheTableFrequency) {
  for (int hz : {65, 440, 1048, 7904}) {
    SCOPED_TRACE(hz);
    const std::vector<uint8_t> wave = BuildToneWave(hz, 1000);
    ASSERT_EQ(wave.size(), 22050u);
    EXPECT_EQ(wave[0], 218);
    size_t changes = 0;
    for (size_t i = 1; i < wave.size(); ++i) {
      ASSERT_TRUE(wave[i] == 218 || wave[i] == 38);
      changes += wave[i] != wave[i - 1];
    }
    // Two changes a period: a period rounded to whole samples would be off
    // by up to half a sample a period (1102 Hz for 1048).
    EXPECT_NEAR(double(changes), 2.0 * hz, 1.0);
  }
  EXPECT_TRUE(BuildToneWave(0, 500).empty());
  EXPECT_TRUE(BuildToneWave(440, 0).empty());
  EXPECT_EQ(BuildToneWave(440, 1).size(), 22u);
}
