// An Atari ST IGS board in the real program under a virtual X server: the
// board's inquiries are answered byte for byte, a wait holds its later input
// back, a filled box lands at its place in a screenshot at the scale of each
// resolution, a switch between the resolutions switches the text screen
// between 40 and 80 columns, and a click by xdotool in a mouse zone sends
// the zone's text. A sound effect is heard in the captured output as the
// board started it, and the output closes once it has been silent a while.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "data/uPhonebook.h"
#include "platform/Tick.h"
#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"
#include "tests/support/WaveFile.h"

using namespace testsupport;

namespace {

const std::string kEsc = "\x1b";

class IgsUnderXTest : public EndToEndTest {
 protected:
  // The board's answer up to and including Until, or what came in the time.
  static std::string Reply(LoopbackPeer& peer, const std::string& until) {
    return ToString(peer.ReadUntil(until, 30000));
  }
  struct TSize {
    int W = 0, H = 0;
  };
  TSize Shot(const std::string& shot) {
    system((X + "import -window " + Window + " '" + shot + "' 2>/dev/null").c_str());
    TSize s;
    std::sscanf(CommandOutput("/usr/bin/identify -format '%w %h' '" + shot + "' 2>/dev/null").c_str(), "%d %d", &s.W,
                &s.H);
    return s;
  }
  static bool Near(int a, int b) { return std::abs(a - b) <= 3; }
  // Waits until the screenshot shows Colour as a box Want (in window pixels).
  bool ShowsBox(const std::string& colour, const TBox& want, TBox& got, TSize& size) {
    return ShowsBoxThat(colour, got, size, [&] {
      return Near(got.X, want.X) && Near(got.Y, want.Y) && Near(got.W, want.W) && Near(got.H, want.H);
    });
  }
  // Waits until the screenshot shows Colour as one row of text cells from
  // column 0 on row Row, Width window pixels wide.
  bool ShowsTextRow(const std::string& colour, int row, int width, TBox& got, TSize& size) {
    return ShowsBoxThat(colour, got, size, [&] {
      return got.H > 8 && got.X == 0 && Near(got.W, width) && std::abs(got.Y - row * got.H) <= row;
    });
  }
  bool ShowsBoxThat(const std::string& colour, TBox& got, TSize& size, const std::function<bool()>& fits) {
    const std::string shot = Dir.File("shot.png");
    return WaitFor(
        [&] {
          size = Shot(shot);
          got = BoxOf(shot, colour);
          return fits();
        },
        30000);
  }
};

}  // namespace

TEST_F(IgsUnderXTest, AnIgsBoardDrawsAnswersSwitchesColumnsAndTakesClicks) {
  ASSERT_EQ(system("test -x /usr/bin/convert && test -x /usr/bin/import && test -x /usr/bin/identify"), 0)
      << "ImageMagick (imagemagick) is needed for this test";
  WriteConfig();
  LoopbackListener board;
  {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = "ST Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    e->UseRaw = true;
    e->TermType = "Atari ST IGS";
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch();
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());

  // The version and the resolution, exactly; two inquiries chained without
  // a second "G#".
  ASSERT_TRUE(peer->Write("G#?0:"));
  EXPECT_EQ(Reply(*peer, "2.19"), "2.19");
  ASSERT_TRUE(peer->Write("G#?3:?0:"));
  EXPECT_EQ(Reply(*peer, "2.19"), "0:2.19");
  // Half a second of waiting (30 sixtieths) holds the next inquiry back.
  const uint64_t sent = platform::TickMs();
  ASSERT_TRUE(peer->Write("G#q30:G#?0:"));
  EXPECT_EQ(Reply(*peer, "2.19"), "2.19");
  EXPECT_GE(platform::TickMs() - sent, 480u) << "the inquiry after the wait was answered before the wait ended";

  // Low resolution (320 x 200, 40 columns): green is colour 2, the text
  // colour magenta; a green box, then a row of 40 blocks of text in the
  // default colour on row 20, the cursor hidden. The line feed that ends the
  // chain of commands is dropped.
  ASSERT_TRUE(peer->Write("G#R0:S2,0,7,0:S1,7,0,7:C2,2:Z40,50,119,99:\n" + kEsc + "f" + kEsc + "Y" + char(32 + 20) +
                          char(32) + std::string(40, '\xdb')));
  TBox green, magenta;
  TSize size = Shot(Dir.File("shot.png"));
  ASSERT_GT(size.W, 0);
  EXPECT_TRUE(ShowsBox("#00ee00", TBox{80 * size.W / 320, 50 * size.H / 200, 40 * size.W / 320, 50 * size.H / 200},
                       green, size))
      << green.W << "x" << green.H << " at " << green.X << "," << green.Y << " in " << size.W << "x" << size.H;
  EXPECT_TRUE(ShowsTextRow("#ee00ee", 20, size.W, magenta, size))
      << "40 blocks fill a row of 40 columns: " << magenta.W << "x" << magenta.H << " at " << magenta.X << ","
      << magenta.Y << " in " << size.W << "x" << size.H;

  // A mouse zone; a click in it sends its text, "^M" as a carriage return.
  ASSERT_TRUE(peer->Write("G#X4,1,200,120,300,180,0,GO^M:"));
  ASSERT_TRUE(peer->Write("G#?0:"));
  EXPECT_EQ(Reply(*peer, "2.19"), "2.19");
  const int clickX = 250 * size.W / 320, clickY = 150 * size.H / 200;
  system((X + "xdotool mousemove --window " + Window + " " + std::to_string(clickX) + " " + std::to_string(clickY) +
          " click 1")
             .c_str());
  EXPECT_EQ(Reply(*peer, "\r"), "GO\r");

  // Medium resolution (640 x 200): 80 columns, so the 40 blocks fill half
  // the row; the palette has four colours and the same box is half as wide.
  ASSERT_TRUE(peer->Write("G#R1:S2,0,7,0:S1,7,0,7:C2,2:Z40,50,119,99:?3:"));
  EXPECT_EQ(Reply(*peer, "1:"), "1:");
  EXPECT_TRUE(ShowsBox("#00ee00", TBox{80 * size.W / 640, 50 * size.H / 200, 40 * size.W / 640, 50 * size.H / 200},
                       green, size))
      << green.W << "x" << green.H << " at " << green.X << "," << green.Y << " in " << size.W << "x" << size.H;
  EXPECT_TRUE(ShowsTextRow("#ee00ee", 20, size.W / 2, magenta, size))
      << "40 blocks fill half a row of 80 columns: " << magenta.W << "x" << magenta.H << " at " << magenta.X << ","
      << magenta.Y << " in " << size.W << "x" << size.H;
}

namespace {

// The time of day of a log line ("hh:nn:ss.zzz message") in milliseconds;
// -1 when the line holding Text is not there.
int64_t LoggedAt(const std::string& log, const std::string& text) {
  const size_t at = log.find(text);
  if (at == std::string::npos) return -1;
  const size_t line = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
  int h = 0, m = 0, s = 0, ms = 0;
  if (std::sscanf(log.c_str() + line, "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) return -1;
  return ((int64_t(h) * 60 + m) * 60 + s) * 1000 + ms;
}

}  // namespace

TEST_F(IgsUnderXTest, AnEffectPlaysItsBurstsAtTheirSpacingAndTheOutputClosesWhenIdle) {
  WriteConfig();
  LoopbackListener board;
  {
    TPhonebook book(Dir.File("korvan.ini"));
    TPhonebookEntryPtr e = book.Add();
    e->Name = "ST Board";
    e->Host = "127.0.0.1";
    e->Port = board.Port();
    e->UseRaw = true;
    e->TermType = "Atari ST IGS";
    ASSERT_TRUE(book.SaveToFile());
  }
  Launch({}, {"KORVAN_AUDIO_CAPTURE=" + Dir.File("mix.wav")});
  CallSelectedBoard();
  std::unique_ptr<LoopbackPeer> peer = board.Accept(60000);
  ASSERT_TRUE(peer) << "the board was not called\n" << KeyAndCallLines(Log());

  // Effect 3 with the repeat count of 5: five bursts 200 ms apart.
  ASSERT_TRUE(peer->Write("G#b3:\n"));
  testsupport::TWave wave;
  std::vector<TSoundRun> bursts;
  ASSERT_TRUE(WaitFor(
      [&] {
        if (!ReadWave(Dir.File("mix.wav"), wave)) return false;
        bursts = SoundRuns(wave, 960, 1000);
        return bursts.size() >= 5 && wave.Frames() > bursts.back().End + 4800;
      },
      60000))
      << bursts.size() << " bursts\n" << LinesWith(Log(), {"IGSSound", "Audio"});
  ASSERT_EQ(bursts.size(), 5u);
  // Each burst is heard from where its square wave first swings past the
  // threshold, which its phase moves by up to a period (2.3 ms).
  for (size_t i = 1; i < bursts.size(); ++i)
    EXPECT_NEAR(double(bursts[i].Start - bursts[i - 1].Start), 0.2 * 48000, 120) << "burst " << i;

  // The output closes 1.5 s after the synthesiser fell silent: the time it
  // was open is the sound's length and that, less what was rendered ahead.
  ASSERT_TRUE(LogHas("IGSSound: output closed", 30000)) << LinesWith(Log(), {"IGSSound"});
  const std::string log = Log();
  const int64_t opened = LoggedAt(log, "IGSSound: output opened"), closed = LoggedAt(log, "IGSSound: output closed");
  ASSERT_GE(opened, 0);
  const int64_t sounding = int64_t((bursts.back().End - bursts.front().Start) * 1000 / 48000);
  EXPECT_GE(closed - opened, sounding + 1500 - 250) << LinesWith(log, {"IGSSound"});
  // A loaded machine may run the sound thread late, never early.
  EXPECT_LE(closed - opened, sounding + 1500 + 1500) << LinesWith(log, {"IGSSound"});
}
