// A door's music and sounds in the real program under a virtual X server:
// the door simulator (tests/app/door_simulator.py --audio) plays a module
// from the door folder, turns its volume, starts sound bites and a
// multi-part sample from a theme, and names files outside the folder. What
// the program plays is captured twice: by the audio layer's test mode and,
// with the debug log on, in DDOFXSND.WAV of the door folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/ProgramUnderX.h"
#include "tests/door/DDOFXTestSupport.h"
#include "tests/door/TrackerFiles.h"
#include "tests/support/WaveFile.h"

using namespace testsupport;

namespace {

const std::string kSimulator = std::string(KORVAN_SOURCE_DIR) + "/tests/app/door_simulator.py";

// The longest run of frames whose left sample is exactly Value.
size_t LongestRun(const TWave& wave, int16_t value) {
  size_t best = 0, run = 0;
  for (size_t f = 0; f < wave.Frames(); ++f) {
    run = wave.Samples[f * 2] == value ? run + 1 : 0;
    best = std::max(best, run);
  }
  return best;
}

class DoorAudioUnderXTest : public EndToEndTest {
 protected:
  std::string SimLog() const { return ReadWholeFile(Dir.File("door.log")); }
  ChildProcess Sim;
};

TEST_F(DoorAudioUnderXTest, ADoorPlaysMusicAndSoundBitesThroughOneMixer) {
  WriteConfig();
  const std::string doors = Dir.File("doors/ddofx/");
  std::filesystem::create_directories(doors);
  using namespace trackertest;
  TSampleSpec sine;
  sine.Data = Sine(32, 64);
  sine.LoopLength = int(sine.Data.size());
  TPattern p = EmptyPattern(4);
  for (int row = 0; row < 64; row += 8) {
    TCell& c = At(p, 4, row, (row / 8) % 4);
    c.Period = row % 16 ? 428 : 285;
    c.Sample = 1;
  }
  const std::string tune = MakeMod("M.K.", 4, {sine}, {0, 0}, {p});
  ASSERT_TRUE(WriteWholeFile(doors + "Tune.mod", tune));
  // Bite 1: 48000 bytes of one level; at the 96000 Hz it is held to it
  // lasts 22050 output frames.
  ASSERT_TRUE(WriteWholeFile(doors + "SFX.PAK", ddofxtest::MakePack({{"SAM1.SAM", std::string(48000, '\x40')},
                                                                      {"PARTA", std::string(2000, '\x10')},
                                                                      {"PARTB", std::string(2000, '\x18')}})));
  ASSERT_TRUE(WriteWholeFile(doors + "SPEECH.LIB", ddofxtest::MakePack({{"H.SND", "hh"}})));
  const std::string victim = Dir.File("doors/victim.raw");
  ASSERT_TRUE(WriteWholeFile(victim, tune));

  ChildProcess::Options o;
  o.OutputFile = Dir.File("sim.out");
  ASSERT_TRUE(
      Sim.Start({"python3", kSimulator, "--listen", Dir.File("door.port"), "--log", Dir.File("door.log"), "--audio"}, o));
  ASSERT_TRUE(WaitFor([&] { return !ReadWholeFile(Dir.File("door.port")).empty(); }, 20000))
      << ReadWholeFile(Dir.File("sim.out"));
  WriteBoard("Door Board", uint16_t(std::stoi(ReadWholeFile(Dir.File("door.port")))));
  Launch({}, {"KORVAN_AUDIO_CAPTURE=" + Dir.File("mix.wav")});
  CallSelectedBoard();
  ASSERT_TRUE(WaitFor([&] { return SimLog().find("DONE") != std::string::npos; }, 120000))
      << SimLog() << LinesWith(Log(), {"DDOFX"});
  const std::string sim = SimLog();
  for (const char* step : {"ok detect", "ok music name", "ok volume", "ok volume set", "ok theme name",
                           "ok multi-part sample playing", "ok unknown multi-part sample", "ok music stopped"})
    EXPECT_NE(sim.find(step), std::string::npos) << step << "\n" << sim;
  EXPECT_EQ(sim.find("FAIL"), std::string::npos) << sim;

  // The capture is saved when the output closes, 1.5 s after the last bite.
  const std::string capture = doors + "DDOFXSND.WAV";
  TWave wave;
  ASSERT_TRUE(WaitFor([&] { return ReadWave(capture, wave) && LongestRun(wave, 0x40 * 256 * 3 / 4) > 0; }, 60000))
      << LinesWith(Log(), {"DDOFX"});
  EXPECT_EQ(44100, wave.Rate);
  EXPECT_EQ(2, wave.Channels);
  EXPECT_EQ(16, wave.Bits);
  EXPECT_EQ(0u, wave.Data.size() % 4096) << "whole buffers as they were played";
  EXPECT_NEAR(22050.0, double(LongestRun(wave, 0x40 * 256 * 3 / 4)), 2.0) << "the bite's rate was held at 96000";
  EXPECT_GT(PeakLevel(wave, 0, 0, 44100 * 2), 2000) << "the music is in it";
  EXPECT_GT(wave.Frames(), size_t(44100 * 3));

  TWave mix;
  ASSERT_TRUE(ReadWave(Dir.File("mix.wav"), mix));
  EXPECT_GT(PeakLevel(mix, 0, 0, mix.Frames()), 2000) << "heard through the audio layer";

  const std::string log = Log();
  EXPECT_NE(log.find("DDOFX: music tune.mod (" + std::to_string(tune.size()) + " bytes)"), std::string::npos);
  EXPECT_EQ(log.find("DDOFX: music TUNE.MOD"), std::string::npos) << "the same module is not started again";
  const size_t recording = log.find("DDOFXSound: recording output to " + capture);
  EXPECT_NE(recording, std::string::npos);
  EXPECT_EQ(log.find("DDOFXSound: recording output to", recording + 1), std::string::npos)
      << "music and bites in one recording";
  EXPECT_NE(log.find("DDOFX: refused sound file \"../victim.raw\""), std::string::npos);
  EXPECT_NE(log.find("DDOFX: MTALK - refused file name \"../victim.raw\""), std::string::npos);
  EXPECT_EQ(tune, ReadWholeFile(victim));
}

}  // namespace
