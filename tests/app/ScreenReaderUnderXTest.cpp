// The screen reader of the real program under a virtual X server, heard
// through SDL's disk audio driver (which holds the program's sound output:
// 48000 Hz stereo): what the voice says of a board's screen is compared with
// what espeak-ng itself makes of the text a sighted user reads there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

using namespace testsupport;

namespace {

using TSamples = std::vector<int16_t>;

// 16-bit samples of a file from byte From on (a WAV file: Skip its header).
TSamples SamplesOf(const std::string& bytes, size_t from) {
  TSamples out((bytes.size() > from ? bytes.size() - from : 0) / 2);
  if (!out.empty()) std::memcpy(out.data(), bytes.data() + from, out.size() * 2);
  return out;
}

// The left channel of the output's stereo samples (the voice is mono, so
// both sides hold it).
TSamples Left(const TSamples& stereo) {
  TSamples out(stereo.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = stereo[2 * i];
  return out;
}

// The samples from the first to the last that is not silence.
TSamples Sound(const TSamples& s) {
  size_t first = 0, last = s.size();
  while (first < last && s[first] == 0) ++first;
  while (last > first && s[last - 1] == 0) --last;
  return TSamples(s.begin() + long(first), s.begin() + long(last));
}

// How alike two sounds at their rates are: the correlation of their
// loudness, 10 ms at a time (1: the same sound). The same words come out of
// the voice with slightly different samples each time, while other words
// have another rise and fall.
double Likeness(const TSamples& a, size_t rateA, const TSamples& b, size_t rateB) {
  auto loudness = [&](const TSamples& s, size_t frame) {
    std::vector<double> out;
    for (size_t i = 0; i + frame <= s.size(); i += frame) {
      double sum = 0;
      for (size_t k = i; k < i + frame; ++k) sum += double(s[k]) * s[k];
      out.push_back(std::sqrt(sum / frame));
    }
    return out;
  };
  const std::vector<double> la = loudness(a, rateA / 100), lb = loudness(b, rateB / 100);
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < std::min(la.size(), lb.size()); ++i) {
    ab += la[i] * lb[i];
    aa += la[i] * la[i];
    bb += lb[i] * lb[i];
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

class ScreenReaderUnderXTest : public EndToEndTest {
 protected:
  void SetUp() override {
    EndToEndTest::SetUp();
    ASSERT_EQ(system("command -v espeak-ng >/dev/null"), 0) << "espeak-ng (package espeak-ng) is needed for this test";
  }

  std::string Audio() const { return ReadWholeFile(Dir.File("audio.raw")); }

  // Waits until the voice has been silent for Ms of sound after having said
  // something since byte From (or, with nothing said, until Ms of sound
  // passed); returns the audio file's size then.
  size_t QuietAfter(size_t from, bool expectSpeech, int ms) {
    const size_t quiet = size_t(ms) * kOutputRate / 1000 * 4;
    size_t end = from;
    WaitFor(
        [&] {
          const std::string bytes = Audio();
          end = bytes.size();
          const TSamples s = SamplesOf(bytes, from);
          size_t lastSound = s.size();
          while (lastSound > 0 && s[lastSound - 1] == 0) --lastSound;
          if (expectSpeech && lastSound == 0) return false;
          return (s.size() - lastSound) * 2 >= quiet;
        },
        120000);
    return end;
  }

  static constexpr size_t kRate = 22050;         // the voice's own rate
  static constexpr size_t kOutputRate = 48000;   // the sound output's, in stereo
};

}  // namespace

// What is shown in CP437 is read as shown: a directory entry whose name is
// a rule of box lines says nothing, one with accented letters is read as
// those letters, and so are a board's rows.
TEST_F(ScreenReaderUnderXTest, DecorationIsSilentAndAccentedLettersAreReadAsShown) {
  // The voice's sound for the words on the screen, as espeak-ng makes it.
  ASSERT_EQ(system(("espeak-ng -v en -w " + Dir.File("expected.wav") + " 'caf\xc3\xa9 na\xc3\xafve'").c_str()), 0);
  const TSamples expected = Sound(SamplesOf(ReadWholeFile(Dir.File("expected.wav")), 44));
  ASSERT_GT(expected.size(), kRate / 4);
  // Forty box lines read as letters took ten seconds; the words alone take
  // under one.
  auto saysTheWords = [&](const TSamples& said) {
    const size_t saidMs = said.size() * 1000 / kOutputRate, expectedMs = expected.size() * 1000 / kRate;
    if (saidMs < expectedMs * 49 / 50 || saidMs > expectedMs * 51 / 50)
      return ::testing::AssertionFailure() << "the voice said " << saidMs << " ms, the words take " << expectedMs
                                           << " ms";
    const double likeness = Likeness(said, kOutputRate, expected, kRate);
    if (likeness < 0.95) return ::testing::AssertionFailure() << "the voice said other words (" << likeness << ")";
    return ::testing::AssertionSuccess();
  };

  WriteConfig("ScreenReaderMode=1\nShowStatusBar=0\n");
  LoopbackListener board;
  WriteBoard("Reader Board", board.Port());
  {
    TPhonebook book(Dir.File("korvan.ini"));
    ASSERT_TRUE(book.LoadFromFile());
    book.Add()->Name = std::string(20, '\xc4');
    book.Add()->Name = "caf\x82 na\x8bve";
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch({}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + Dir.File("audio.raw")});
  ASSERT_TRUE(KeyUntilLogged("space", 32)) << KeyAndCallLines(Log());
  ASSERT_TRUE(LogHas("Paint: screen mode 0", 30000)) << KeyAndCallLines(Log());
  size_t before = QuietAfter(0, false, 2000);
  Keys("Down Down");  // the rule, then the words
  size_t after = QuietAfter(before, true, 2000);
  EXPECT_TRUE(saysTheWords(Sound(Left(SamplesOf(Audio().substr(0, after), before))))) << "the directory's entries";

  Keys("Home Return");
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());
  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[HREADY"));
  ASSERT_TRUE(LogHas("READY", 30000)) << KeyAndCallLines(Log());
  // What the call's start is announced with is over before the board draws.
  before = QuietAfter(after, true, 2000);
  const std::string rule(40, '\xc4');
  ASSERT_TRUE(peer->Write("\x1b[2J\x1b[H" + rule + "\r\n\xdb\xdb\xb1\xb1\xb0\xb0 \xcd\xcd\r\ncaf\x82 na\x8bve"));
  after = QuietAfter(before, true, 2000);
  EXPECT_TRUE(saysTheWords(Sound(Left(SamplesOf(Audio().substr(0, after), before))))) << "the board's rows";
}
