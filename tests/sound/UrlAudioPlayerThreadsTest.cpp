// The URL audio player against real servers on loopback: an MP3 made by
// sox and lame, served by Python's http.server, plays whole and decodes to
// exactly what mpg123 makes of it; canned replies show the content-type
// decision, the header budget and the request bytes; links it cannot play go
// back to the browser; a stop request ends it quietly.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "platform/Sync.h"
#include "sound/uUrlAudioPlayer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/PeerProgram.h"
#include "tests/support/Serve.h"
#include "tests/support/WaveFile.h"

using testsupport::TWave;

namespace {

struct TStatus {
  std::string Text;
  bool Browser;
};

double CpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

class UrlAudioPlayerThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    unsetenv("KORVAN_AUDIO_CAPTURE");
    platform::SetAudioCaptureFile(Dir.File("mix.wav"));
    LogEnabled = true;
    LogOpen(Dir.File("debug.log"));
  }
  void TearDown() override {
    if (Player) {
      Player->RequestStop();
      testsupport::ServeUntil([&] { return Ended; }, 20000);
    }
    platform::AudioShutdown();
    platform::SetAudioCaptureFile("");
    LogClose();
    LogEnabled = false;
  }

  void Start(const std::string& url) {
    Player = std::make_shared<TUrlAudioPlayer>(url);
    Player->OnStatus = [this](const std::string& text, bool browser) { Statuses.push_back({text, browser}); };
    Player->OnTerminate = [this] { Ended = true; };
    ASSERT_TRUE(Player->Start());
  }
  bool WaitForStatus(const std::string& text, int ms = 30000) {
    return testsupport::ServeUntil(
        [&] {
          for (const TStatus& s : Statuses)
            if (s.Text == text) return true;
          return false;
        },
        uint32_t(ms));
  }
  bool WaitEnded(int ms = 30000) { return testsupport::ServeUntil([&] { return Ended; }, uint32_t(ms)); }
  std::string StatusList() const {
    std::string out;
    for (const TStatus& s : Statuses) out += "[" + s.Text + (s.Browser ? " +browser" : "") + "] ";
    return out;
  }
  std::string LogText() {
    LogFlushPending();
    return testsupport::ReadWholeFile(Dir.File("debug.log"));
  }
  // An MP3 file of the given length (48000 Hz stereo, like the mix).
  std::string MakeMp3(double seconds) {
    std::string error;
    const std::string mp3 = testsupport::MakeMp3(Dir.Path(), seconds, error);
    EXPECT_FALSE(mp3.empty()) << error;
    return mp3;
  }

  testsupport::TempDir Dir;
  std::shared_ptr<TUrlAudioPlayer> Player;
  std::vector<TStatus> Statuses;
  bool Ended = false;
};

// A server that reads one request, answers with canned bytes and closes.
class CannedServer {
 public:
  explicit CannedServer(std::string reply) : FReply(std::move(reply)) {
    FThread = std::thread([this] {
      auto peer = FListener.Accept(20000);
      if (!peer) return;
      const std::string request = testsupport::ToString(peer->ReadUntil("\r\n\r\n", 20000));
      {
        std::lock_guard<std::mutex> hold(FLock);
        FRequest = request;
      }
      peer->Write(FReply);
      peer->Close();  // the end of the body, as HTTP/1.0 without a length has it
    });
  }
  ~CannedServer() {
    FListener.Close();
    FThread.join();
  }
  uint16_t Port() const { return FListener.Port(); }
  std::string Request() {
    std::lock_guard<std::mutex> hold(FLock);
    return FRequest;
  }

 private:
  testsupport::LoopbackListener FListener;
  std::string FReply;
  std::mutex FLock;
  std::string FRequest;
  std::thread FThread;
};

}  // namespace

TEST_F(UrlAudioPlayerThreadsTest, AnMp3FromAWebServerPlaysWholeAsMpg123DecodesIt) {
  const std::string mp3 = MakeMp3(8.0);
  std::string error;
  const std::vector<int16_t> expected = testsupport::Mpg123Samples(mp3, error);
  ASSERT_FALSE(expected.empty()) << error;
  const uint16_t port = testsupport::FreeLoopbackPort();
  testsupport::ChildProcess server;
  ASSERT_TRUE(server.Start({"python3", "-m", "http.server", std::to_string(port), "--bind", "127.0.0.1",
                            "--directory", Dir.Path()}));
  ASSERT_TRUE(testsupport::WaitForPort(port, 20000)) << "python3 -m http.server did not start";

  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/tone.mp3";
  Start(url);
  ASSERT_TRUE(WaitForStatus("Playing audio stream: " + url)) << StatusList();
  // With its buffer full and six buffers playing, the player waits for the
  // sound instead of spinning on the readable socket.
  testsupport::ServeFor(1000);
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  testsupport::ServeFor(2000);
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  EXPECT_LT(cpu, 0.5 * wall) << "the process kept a core busy while the stream played";

  ASSERT_TRUE(WaitForStatus("Audio stream ended")) << StatusList();
  ASSERT_TRUE(WaitEnded());
  EXPECT_TRUE(Player->IsStopConfirmed());
  Player.reset();
  platform::AudioShutdown();

  TWave wave;
  ASSERT_TRUE(testsupport::ReadWave(Dir.File("mix.wav"), wave));
  ASSERT_GT(expected.size(), size_t(48000 * 2 * 7));
  // Aligned at the first sound of each, every sample matches, to the end.
  const testsupport::TOverlap overlap = testsupport::CompareFromFirstSound(wave.Samples, expected);
  ASSERT_GT(overlap.Samples, 0u);
  EXPECT_TRUE(overlap.Whole) << "the end of the file was not heard";
  EXPECT_EQ(overlap.Differing, 0u);
  const std::string log = LogText();
  EXPECT_NE(log.find("UrlAudio: Content-Type: \"audio/mpeg\""), std::string::npos) << log;
  EXPECT_NE(log.find("UrlAudio: Cleanup done, Execute returning"), std::string::npos);
}

TEST_F(UrlAudioPlayerThreadsTest, TheContentTypeDecidesWhatIsPlayed) {
  const std::string mp3 = testsupport::ReadWholeFile(MakeMp3(0.5));
  const std::string junk(70000, 'x');
  struct Row {
    const char* Name;
    std::string Reply;
    std::vector<TStatus> Expected;
  };
  const std::string ok = "HTTP/1.0 200 OK\r\n";
  const Row rows[] = {
      {"a web page", ok + "Content-Type: text/html; charset=utf-8\r\n\r\n<html>",
       {{"Not an audio stream (text/html; charset=utf-8) - opening in browser instead", true}}},
      {"an m3u playlist", ok + "Content-Type: audio/x-mpegurl\r\n\r\nhttp://x/\r\n",
       {{"Not an audio stream (audio/x-mpegurl) - opening in browser instead", true}}},
      {"a pls playlist in capitals", ok + "content-TYPE:   Audio/X-SCPLS  \r\n\r\n[playlist]",
       {{"Not an audio stream (Audio/X-SCPLS) - opening in browser instead", true}}},
      {"an error page with an audio type is played", "HTTP/1.0 404 Not Found\r\nContent-Type: audio/mpeg\r\n\r\n" + junk,
       {{"Playing audio stream: ", false}, {"Audio stream: no valid MP3 data found", false}}},
      {"no type, MP3 frames", ok + "Server: x\r\n\r\n" + mp3,
       {{"Playing audio stream: ", false}, {"Audio stream ended", false}}},
      {"the last type wins", ok + "Content-Type: text/plain\r\nContent-Type: application/mp3\r\n\r\n" + mp3,
       {{"Playing audio stream: ", false}, {"Audio stream ended", false}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Statuses.clear();
    Ended = false;
    CannedServer server(row.Reply);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/radio?x=1";
    Start(url);
    ASSERT_TRUE(WaitEnded()) << StatusList();
    testsupport::ServeFor(50);  // status calls queued before the end notice
    ASSERT_EQ(Statuses.size(), row.Expected.size()) << StatusList();
    for (size_t i = 0; i < Statuses.size(); ++i) {
      const std::string& want = row.Expected[i].Text;
      EXPECT_EQ(Statuses[i].Text, want == "Playing audio stream: " ? want + url : want);
      EXPECT_EQ(Statuses[i].Browser, row.Expected[i].Browser);
    }
    EXPECT_EQ(server.Request(), "GET /radio?x=1 HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
                                    "\r\nUser-Agent: korvan\r\nIcy-MetaData: 0\r\nConnection: close\r\n\r\n");
    Player.reset();
  }
}

TEST_F(UrlAudioPlayerThreadsTest, AHeaderInManySmallPiecesRunsOutOfRounds) {
  testsupport::LoopbackListener listener;
  std::atomic<int> pieces{0};
  std::thread server([&] {
    auto peer = listener.Accept(20000);
    if (!peer) return;
    peer->ReadUntil("\r\n\r\n");
    peer->Write(std::string("HTTP/1.0 200 OK\r\n"));
    // One byte of a header line every 20 ms, never ending the header.
    while (pieces < 2000 && peer->Write(std::string("x"))) {
      ++pieces;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  Start("http://127.0.0.1:" + std::to_string(listener.Port()) + "/");
  ASSERT_TRUE(WaitEnded(60000));
  const int sent = pieces.load();
  pieces = 2000;
  server.join();
  ASSERT_EQ(Statuses.size(), 1u) << StatusList();
  EXPECT_EQ(Statuses[0].Text, "Audio stream: no response");
  EXPECT_TRUE(Statuses[0].Browser);
  // 75 rounds of reading, not 15 seconds of them.
  EXPECT_GE(sent, 70);
  EXPECT_LT(sent, 500);
}

TEST_F(UrlAudioPlayerThreadsTest, LinksItCannotReachGoBackToTheBrowser) {
  const uint16_t closed = testsupport::ClosedLoopbackPort();
  struct Row {
    std::string Url, Status;
  };
  const Row rows[] = {
      {"https://example.org/stream.mp3", "Not a plain HTTP URL - opening in browser instead"},
      {"HTTP://example.org/", "Not a plain HTTP URL - opening in browser instead"},
      {"www.example.org/radio", "Not a plain HTTP URL - opening in browser instead"},
      {"http://:8000/", "Not a plain HTTP URL - opening in browser instead"},
      {"http://no-such-host.invalid/", "Audio stream: could not resolve no-such-host.invalid"},
      {"http://127.0.0.1:" + std::to_string(closed) + "/", "Audio stream: could not connect to 127.0.0.1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Url);
    Statuses.clear();
    Ended = false;
    Start(row.Url);
    ASSERT_TRUE(WaitEnded());
    testsupport::ServeFor(20);
    ASSERT_EQ(Statuses.size(), 1u) << StatusList();
    EXPECT_EQ(Statuses[0].Text, row.Status);
    EXPECT_TRUE(Statuses[0].Browser);
    EXPECT_TRUE(Player->IsStopConfirmed());
    Player.reset();
  }
}

TEST_F(UrlAudioPlayerThreadsTest, AStopWhileConnectingEndsQuietly) {
  testsupport::StalledListener stalled;
  Start("http://127.0.0.1:" + std::to_string(stalled.Port()) + "/");
  testsupport::ServeFor(300);
  EXPECT_FALSE(Player->IsStopConfirmed());
  Player->RequestStop();
  ASSERT_TRUE(WaitEnded(5000));
  EXPECT_TRUE(Player->IsStopConfirmed());
  testsupport::ServeFor(20);
  EXPECT_TRUE(Statuses.empty()) << StatusList();
  const std::string log = LogText();
  EXPECT_NE(log.find("UrlAudio: RequestStop called (instance $"), std::string::npos) << log;
  EXPECT_NE(log.find("UrlAudio: DoTerminate running (instance $"), std::string::npos);
}

TEST(UrlAudioPiecesTest, UrlsRequestsAndFrameHeaders) {
  std::string host, path;
  uint16_t port = 0;
  ASSERT_TRUE(SplitUrl("http://radio.example:8000/live?a=b", host, port, path));
  EXPECT_EQ(host, "radio.example");
  EXPECT_EQ(port, 8000);
  EXPECT_EQ(path, "/live?a=b");
  ASSERT_TRUE(SplitUrl("http://radio.example", host, port, path));
  EXPECT_EQ(port, 80);
  EXPECT_EQ(path, "/");
  ASSERT_TRUE(SplitUrl("http://radio.example:abc/x", host, port, path));
  EXPECT_EQ(port, 80) << "a port that is not a number";
  EXPECT_EQ(UrlAudioRequest("radio.example", 80, "/"),
            "GET / HTTP/1.0\r\nHost: radio.example\r\nUser-Agent: korvan\r\nIcy-MetaData: 0\r\nConnection: close\r\n\r\n");

  for (const char* type : {"", "audio/mpeg", "audio/aac", "application/mpeg", "application/x-mp3"})
    EXPECT_TRUE(IsAudioContentType(type)) << type;
  for (const char* type : {"audio/x-mpegurl", "audio/x-scpls", "text/html", "application/ogg"})
    EXPECT_FALSE(IsAudioContentType(type)) << type;

  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417-byte frames.
  std::vector<uint8_t> data(1000, 0);
  auto header = [&](size_t at, uint8_t b2, uint8_t b3) {
    data[at] = 0xFF, data[at + 1] = 0xFB, data[at + 2] = b2, data[at + 3] = b3;
  };
  header(10, 0x90, 0x40);
  header(10 + 417, 0x90, 0x40);
  TMp3Sync sync;
  ASSERT_TRUE(FindMp3Sync(data.data(), data.size(), sync));
  EXPECT_EQ(sync.Offset, 10u);
  EXPECT_EQ(sync.Rate, 44100);
  EXPECT_EQ(sync.Channels, 2);
  EXPECT_EQ(sync.Bitrate, 128);
  EXPECT_EQ(sync.FrameLength, 417);
  // A header whose next frame does not follow is passed over.
  data[10 + 417] = 0;
  header(600, 0x92, 0xC0);  // padded, mono; its next frame lies beyond the data
  ASSERT_TRUE(FindMp3Sync(data.data(), data.size(), sync));
  EXPECT_EQ(sync.Offset, 600u);
  EXPECT_EQ(sync.Channels, 1);
  EXPECT_EQ(sync.FrameLength, 418);
  EXPECT_FALSE(FindMp3Sync(data.data(), 7, sync));
  std::vector<uint8_t> layer2 = {0xFF, 0xFD, 0x90, 0x40, 0, 0, 0, 0, 0};
  EXPECT_FALSE(FindMp3Sync(layer2.data(), layer2.size(), sync));
}
