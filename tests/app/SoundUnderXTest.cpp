// Sound in the real program under a virtual X server, with what it would
// have played captured by the audio layer's test mode: a loopback board
// stores, loads and queues an APC clip and plays ANSI music; the board's
// queries get their answers while the clip plays and after; a clicked link
// to an MP3 on a web server plays it, with the player's statuses on the
// status line; without a sound device the program runs on silently and says
// so in its log.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/app/AppFixture.h"
#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"
#include "tests/support/WaveFile.h"

using namespace testsupport;

namespace {

const std::string kEsc = "\x1b";

std::string Apc(const std::string& text) { return kEsc + "_" + text + kEsc + "\\"; }

class SoundUnderXTest : public EndToEndTest {
 protected:
  // The bottom line as the program painted it, once it shows Text.
  bool BottomLineShows(const std::string& text, uint32_t ms = 30000) {
    return LogHas("Paint: bottom line \"" + text + "\"", ms);
  }
  // Calls the board from the command line and takes the call.
  std::unique_ptr<LoopbackPeer> Call(LoopbackListener& board, const std::vector<std::string>& env) {
    Launch({"/S127.0.0.1:" + std::to_string(board.Port())}, env);
    auto peer = board.Accept(60000);
    if (peer) peer->ReadFor(300);  // the Telnet negotiation
    return peer;
  }
  // Sends a query and returns the reply up to its final "n" (Telnet
  // commands left out), or what came within the time.
  static std::string Ask(LoopbackPeer& peer, const std::string& query) {
    peer.Write(query);
    const Bytes reply = peer.ReadUntil("n", 20000);
    return WithoutTelnetCommands(reply);
  }
  // Asks for channel 0's state until the answer is Want.
  static bool ChannelBecomes(LoopbackPeer& peer, char want) {
    const std::string expected = kEsc + "[=7;0;" + want + "n";
    return WaitFor([&] { return Ask(peer, kEsc + "[=7;0n") == expected; }, 60000);
  }
  // What the program has played so far (nothing before its output opened).
  TWave Capture() {
    TWave wave;
    ReadWave(Dir.File("mix.wav"), wave);
    return wave;
  }
  // Waits until Count stretches of sound (louder than Threshold) have been
  // played and the output has gone on quietly for 100 ms after the last.
  bool WaitForRuns(size_t count, int threshold) {
    return WaitFor(
        [&] {
          const TWave wave = Capture();
          const auto runs = SoundRuns(wave, 40, threshold);
          return runs.size() >= count && wave.Frames() > runs.back().End + 4800;
        },
        60000);
  }
};

}  // namespace

TEST_F(SoundUnderXTest, ApcClipsAndAnsiMusicFromABoardPlayAndItsQueriesAreAnswered) {
  WriteConfig();
  LoopbackListener board;
  auto peer = Call(board, {"KORVAN_AUDIO_CAPTURE=" + Dir.File("mix.wav")});
  ASSERT_TRUE(peer) << KeyAndCallLines(Log());

  EXPECT_EQ(Ask(*peer, Apc("SyncTERM:Q;libsndfile")), kEsc + "[=7;100;1n");
  EXPECT_EQ(Ask(*peer, Apc("SyncTERM:Q;libsndfileFormat;1;2")), kEsc + "[=1;1-n");
  EXPECT_EQ(Ask(*peer, Apc("SyncTERM:Q;libsndfileFormat;32;96")), kEsc + "[=1;1-n");
  EXPECT_EQ(Ask(*peer, Apc("SyncTERM:Q;libsndfileFormat;1;4")), kEsc + "[=1;0-n");
  EXPECT_EQ(Ask(*peer, kEsc + "[=7;0n"), kEsc + "[=7;0;0n");

  // Half a second of a constant level per side, in the mix format, so the
  // capture holds its samples exactly; queued at -6 dB on the left.
  std::vector<int16_t> samples;
  for (int i = 0; i < 24000; ++i) samples.insert(samples.end(), {12000, -12000});
  const std::string clip = testsupport::Base64Clip(WaveImage(48000, 2, 16, SampleBytes(samples)));
  peer->Write(Apc("SyncTERM:C;S;chime;" + clip) + Apc("SyncTERM:A;Load;S=0;chime") +
              Apc("SyncTERM:A;Queue;C=0;S=0;VL=-6dB"));
  EXPECT_TRUE(ChannelBecomes(*peer, '1')) << LinesWith(Log(), {"ApcAudio"});
  EXPECT_TRUE(ChannelBecomes(*peer, '0')) << "a channel whose clip has played is no longer busy";
  // The music starts after a stretch of silence: answered at once, it
  // could follow the clip within the same 10 ms turn of the mixer and look
  // like one sound with it.
  ASSERT_TRUE(WaitForRuns(1, 200)) << LinesWith(Log(), {"Audio"});

  // Two quarter notes of C at tempo 120 (1048 Hz), the second after a pause.
  peer->Write(kEsc + "[MFT120L4CP4C\x0e");
  ASSERT_TRUE(WaitForRuns(3, 8000)) << LinesWith(Log(), {"Audio", "Music"});

  TWave wave = Capture();
  auto runs = SoundRuns(wave, 200);
  ASSERT_GE(runs.size(), 1u);
  EXPECT_EQ(runs[0].Length(), 24000u);
  EXPECT_EQ(wave.Samples[2 * runs[0].Start], 6014);  // 12000 x 10^(-6/20)
  EXPECT_EQ(wave.Samples[2 * runs[0].Start + 1], -12000);
  auto tones = SoundRuns(wave, 40, 8000);
  ASSERT_EQ(tones.size(), 3u);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_NEAR(double(tones[i].Length()), 9635 * 48000.0 / 22050, 16);
    EXPECT_NEAR(CrossingFrequency(wave, 0, tones[i].Start, tones[i].End), 1048, 6);
  }
  // Tone, silence, pause: the second C starts one second after the first.
  EXPECT_NEAR(double(tones[2].Start - tones[1].Start), (9635 + 1367 + 11025) * 48000.0 / 22050, 4);
}

TEST_F(SoundUnderXTest, AltMDuringALongTuneStopsItAtOnceAndMutesWhatFollows) {
  WriteConfig();
  LoopbackListener board;
  auto peer = Call(board, {"KORVAN_AUDIO_CAPTURE=" + Dir.File("mix.wav")});
  ASSERT_TRUE(peer) << KeyAndCallLines(Log());
  peer->Write(kEsc + "[MFMLT32L1CCCC\x0e");  // four notes of 7.5 s
  ASSERT_TRUE(WaitFor([&] { return !SoundRuns(Capture(), 40, 8000).empty(); }, 60000));
  EXPECT_TRUE(KeyUntilLogged("alt+m", 77)) << KeyAndCallLines(Log());
  // Music is off now: a tune is dropped, while an APC clip (a marker) plays.
  peer->Write(kEsc + "[MFMLT255L8O2C\x0e");
  std::vector<int16_t> marker(4800, 20000);
  peer->Write(Apc("SyncTERM:C;S;m;" + Base64Clip(WaveImage(48000, 1, 16, SampleBytes(marker)))) +
              Apc("SyncTERM:A;Load;S=0;m") + Apc("SyncTERM:A;Queue;C=0;S=0"));
  ASSERT_TRUE(WaitForRuns(2, 8000));
  const TWave wave = Capture();
  const auto runs = SoundRuns(wave, 40, 8000);
  ASSERT_EQ(runs.size(), 2u) << "the tune that came while muted was not played";
  EXPECT_LT(runs[0].Length(), size_t(48000 * 5)) << "the 30-second tune stopped when Alt+M was pressed";
  EXPECT_EQ(runs[1].Length(), 4800u);
}

TEST_F(SoundUnderXTest, WithoutASoundDeviceTheProgramRunsOnSilently) {
  WriteConfig();
  LoopbackListener board;
  auto peer = Call(board, {"SDL_AUDIODRIVER=no-such-driver"});
  ASSERT_TRUE(peer) << KeyAndCallLines(Log());
  std::vector<int16_t> samples(2000, 3000);
  peer->Write(Apc("SyncTERM:C;S;tick;" + testsupport::Base64Clip(WaveImage(8000, 1, 16, SampleBytes(samples)))) +
              Apc("SyncTERM:A;Load;S=1;tick") + Apc("SyncTERM:A;Queue;C=2;S=1") + kEsc + "[MFMLT255L64CDE\x0e");
  EXPECT_TRUE(LogHas("ApcAudio: Store \"tick\" ok - 8000 Hz, 1 ch, 4000 decoded bytes", 30000))
      << LinesWith(Log(), {"Audio"});
  EXPECT_TRUE(LogHas("Audio: no sound device (", 30000)) << LinesWith(Log(), {"Audio"});
  // The queries are still answered, and the call goes on.
  EXPECT_EQ(Ask(*peer, Apc("SyncTERM:Q;libsndfile")), kEsc + "[=7;100;1n");
  EXPECT_EQ(Ask(*peer, kEsc + "[=7;5n"), kEsc + "[=7;5;0n");
}

TEST_F(SoundUnderXTest, WithoutTheVorbisLibraryOggClipsAreRefusedAndWavClipsPlay) {
  // The program's own dll folder, with every library but libvorbisfile.
  std::filesystem::remove(Dir.File("dll"));
  std::filesystem::create_directory(Dir.File("dll"));
  for (const auto& lib : std::filesystem::directory_iterator(std::string(KORVAN_BINARY_DIR) + "/dll"))
    if (lib.path().filename() != "libvorbisfile.so.3")
      std::filesystem::create_symlink(std::filesystem::canonical(lib.path()), Dir.File("dll/") + lib.path().filename().string());
  WriteConfig();
  LoopbackListener board;
  auto peer = Call(board, {"KORVAN_AUDIO_CAPTURE=" + Dir.File("mix.wav")});
  ASSERT_TRUE(peer) << KeyAndCallLines(Log());
  EXPECT_EQ(Ask(*peer, Apc("SyncTERM:Q;libsndfileFormat;32;96")), kEsc + "[=1;0-n");
  EXPECT_EQ(Ask(*peer, Apc("SyncTERM:Q;libsndfileFormat;1;2")), kEsc + "[=1;1-n");
  EXPECT_TRUE(LogHas("VorbisFile: libvorbisfile.so.3 not found - OGG/Vorbis audio disabled", 30000))
      << LinesWith(Log(), {"Vorbis", "Dll"});
  // An Ogg clip is refused; a WAV clip still plays.
  const std::string ogg = "OggS" + std::string(60, '\0');
  peer->Write(Apc("SyncTERM:C;S;ogg;" + Base64Clip(std::vector<uint8_t>(ogg.begin(), ogg.end()))));
  std::vector<int16_t> samples(4800, 2000);
  peer->Write(Apc("SyncTERM:C;S;wav;" + Base64Clip(WaveImage(48000, 1, 16, SampleBytes(samples)))) +
              Apc("SyncTERM:A;Load;S=3;wav") + Apc("SyncTERM:A;Queue;C=4;S=3"));
  EXPECT_TRUE(LogHas("ApcAudio: Store \"ogg\" - clip decode failed (64 raw bytes), ignored", 30000))
      << LinesWith(Log(), {"Audio", "Vorbis"});
  EXPECT_TRUE(WaitFor([&] { return !SoundRuns(Capture(), 0).empty(); }, 30000));
}

TEST_F(SoundUnderXTest, AClickedLinkToAnMp3PlaysItAndALinkToAPageOpensTheBrowser) {
  // A web server on loopback with an MP3 file made here and a web page.
  TempDir web;
  std::string error;
  const std::string mp3 = MakeMp3(web.Path(), 3.0, error);
  ASSERT_FALSE(mp3.empty()) << error;
  const std::vector<int16_t> expected = Mpg123Samples(mp3, error);
  ASSERT_FALSE(expected.empty()) << error;
  ASSERT_TRUE(WriteWholeFile(web.File("page.html"), "<html>a page</html>"));
  const uint16_t port = FreeLoopbackPort();
  ChildProcess server;
  ASSERT_TRUE(server.Start({"python3", "-m", "http.server", std::to_string(port), "--bind", "127.0.0.1",
                            "--directory", web.Path()}));
  ASSERT_TRUE(WaitForPort(port, 20000)) << "python3 -m http.server did not start";
  const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";

  // An opener first on the program's PATH that writes down what it opens.
  std::filesystem::create_directory(Dir.File("bin"));
  ASSERT_TRUE(WriteWholeFile(Dir.File("bin/xdg-open"), "#!/bin/sh\nprintf '[%s]\\n' \"$@\" >> " +
                                                            Dir.File("opened.txt") + "\n"));
  std::filesystem::permissions(Dir.File("bin/xdg-open"), std::filesystem::perms::owner_all);

  WriteConfig();
  LoopbackListener board;
  auto peer = Call(board, {"KORVAN_AUDIO_CAPTURE=" + Dir.File("mix.wav"),
                           "PATH=" + Dir.File("bin") + ":" + std::getenv("PATH")});
  ASSERT_TRUE(peer) << KeyAndCallLines(Log());
  peer->Write(kEsc + "[2J" + kEsc + "[Hlisten: " + base + "tone.mp3 now\r\nread " + base + "page.html\r\n");
  ASSERT_TRUE(LogHas("read http://127.0.0.1", 30000)) << KeyAndCallLines(Log());

  // A click plays the stream to its end, with its statuses on the status line.
  Mouse(CellPoint(12, 0) + " click 1");
  EXPECT_TRUE(BottomLineShows("Playing audio stream: " + base + "tone.mp3"))
      << LinesWith(Log(), {"UrlAudio", "Paint: bottom"});
  EXPECT_TRUE(BottomLineShows("Audio stream ended")) << LinesWith(Log(), {"UrlAudio", "Paint: bottom"});
  ASSERT_TRUE(WaitForRuns(1, 0));
  const TOverlap heard = CompareFromFirstSound(Capture().Samples, expected);
  ASSERT_GT(heard.Samples, 0u);
  EXPECT_TRUE(heard.Whole) << "the end of the file was not heard";
  EXPECT_EQ(heard.Differing, 0u) << "the capture holds what mpg123 decodes";

  // Played again, a second click on the link stops it early.
  size_t mark = LogMark();
  Mouse(CellPoint(12, 0) + " click 1");
  ASSERT_TRUE(LogHasSince(mark, "UrlAudio: Content-Type: \"audio/mpeg\"", 30000)) << LogSince(mark);
  // A second of it is heard (the clicks are far enough apart not to make a
  // double click), then the click stops it.
  EXPECT_TRUE(WaitFor(
      [&] {
        const auto runs = SoundRuns(Capture(), 4800);
        return runs.size() >= 2 && runs[1].Length() >= 48000;
      },
      30000));
  mark = LogMark();
  Mouse(CellPoint(12, 0) + " click 1");
  EXPECT_TRUE(LogHasSince(mark, "UrlAudio: StopAudioPlayer called, FAudioPlayer=non-nil", 30000)) << LogSince(mark);
  EXPECT_TRUE(LogHasSince(mark, "UrlAudio: FinishAudioPlayerStop running", 30000)) << LogSince(mark);
  ASSERT_TRUE(WaitForRuns(2, 0));
  const auto runs = SoundRuns(Capture(), 4800);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_LT(runs[1].Length(), runs[0].Length() - 48000 / 2) << "the second play was cut short by the click";

  // The page is no audio stream: the browser gets it. The click waits out
  // the double-click time after the last one, as a second press of a double
  // click goes to no link.
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  Mouse(CellPoint(10, 1) + " click 1");
  EXPECT_TRUE(BottomLineShows("Not an audio stream (text/html) - opening in browser instead"))
      << LinesWith(Log(), {"UrlAudio", "Paint: bottom"});
  EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(Dir.File("opened.txt")) == "[" + base + "page.html]\n"; }, 30000))
      << ReadWholeFile(Dir.File("opened.txt"));
}
