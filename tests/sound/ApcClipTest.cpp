// Clip decoding against real encoders: WAV files made by sox decode to the
// samples sox itself converts them to, Ogg/Vorbis files made by oggenc to
// exactly what oggdec makes of them; the RIFF walk's edge cases from files
// built by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/uDebugLog.h"
#include "sound/uApcClip.h"
#include "sound/uVorbisFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"
#include "tests/support/WaveFile.h"

using testsupport::ReadWholeFile;

namespace {

std::vector<uint8_t> FileBytes(const std::string& path) {
  const std::string s = ReadWholeFile(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

void RunTool(const std::vector<std::string>& args) {
  PeerResult r = RunPeer(args);
  ASSERT_EQ(r.ExitCode, 0) << args[0] << ": " << r.Output;
}

std::vector<uint8_t> Bytes(const std::vector<int16_t>& s) { return testsupport::SampleBytes(s); }

class ApcClipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogEnabled = true;
    LogOpen(App.File("debug.log"));
  }
  void TearDown() override {
    LogClose();
    LogEnabled = false;
  }
  std::string LogText() {
    LogClose();
    const std::string text = ReadWholeFile(App.File("debug.log"));
    LogOpen(App.File("debug.log"));
    return text;
  }
  // A sine made by sox in the given sample format.
  std::string SoxWave(const std::string& name, const std::vector<std::string>& format, const std::string& length) {
    const std::string path = Dir.File(name);
    std::vector<std::string> args = {"sox", "-n"};
    args.insert(args.end(), format.begin(), format.end());
    args.insert(args.end(), {path, "synth", length, "sine", "300-2000", "vol", "0.8"});
    RunTool(args);
    return path;
  }

  testsupport::ScratchAppFolder App;  // with the dll folder, for libvorbisfile
  testsupport::TempDir Dir;
};

}  // namespace

TEST_F(ApcClipTest, WaveFilesFromSoxDecodeToTheSamplesSoxConvertsThemTo) {
  struct Row {
    const char* Name;
    std::vector<std::string> Format;
    std::string Length;
    int Rate, Channels;
  };
  const Row rows[] = {
      {"8-bit mono", {"-b", "8", "-e", "unsigned", "-c", "1", "-r", "22050"}, "0.1", 22050, 1},
      {"8-bit stereo odd size", {"-b", "8", "-e", "unsigned", "-c", "2", "-r", "11025"}, "1001s", 11025, 2},
      {"16-bit mono odd size", {"-b", "16", "-c", "1", "-r", "8000"}, "777s", 8000, 1},
      {"16-bit stereo", {"-b", "16", "-c", "2", "-r", "44100"}, "0.25", 44100, 2},
      {"16-bit at 96000 Hz", {"-b", "16", "-c", "1", "-r", "96000"}, "0.05", 96000, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string wav = SoxWave("clip.wav", row.Format, row.Length);
    const std::string raw = Dir.File("clip.raw");
    RunTool({"sox", wav, "-t", "raw", "-e", "signed-integer", "-b", "16", "-L", raw});
    TApcClip clip;
    ASSERT_TRUE(DecodeClip(FileBytes(wav), clip));
    EXPECT_TRUE(clip.Valid);
    EXPECT_EQ(clip.Rate, row.Rate);
    EXPECT_EQ(clip.Channels, row.Channels);
    EXPECT_EQ(*clip.Samples, FileBytes(raw));
  }
}

TEST_F(ApcClipTest, WaveFilesOfOtherSampleWidthsFail) {
  for (const char* bits : {"24", "32"}) {
    SCOPED_TRACE(bits);
    const std::string wav = SoxWave("wide.wav", {"-b", bits, "-c", "2", "-r", "48000"}, "0.1");
    TApcClip clip;
    EXPECT_FALSE(DecodeClip(FileBytes(wav), clip));
    EXPECT_FALSE(clip.Valid);
  }
}

TEST_F(ApcClipTest, OggFilesFromOggencDecodeExactlyAsOggdecDoes) {
  ASSERT_TRUE(LoadVorbisFile());
  for (const char* channels : {"1", "2"}) {
    SCOPED_TRACE(channels);
    const std::string wav = SoxWave("clip.wav", {"-b", "16", "-c", channels, "-r", "44100"}, "0.7");
    const std::string ogg = Dir.File("clip.ogg"), raw = Dir.File("clip.raw");
    RunTool({"oggenc", "-Q", "-o", ogg, wav});
    RunTool({"oggdec", "-Q", "-R", "-o", raw, ogg});
    TApcClip clip;
    ASSERT_TRUE(DecodeClip(FileBytes(ogg), clip));
    EXPECT_EQ(clip.Rate, 44100);
    EXPECT_EQ(clip.Channels, std::stoi(channels));
    EXPECT_EQ(*clip.Samples, FileBytes(raw));
  }
}

TEST_F(ApcClipTest, OggStreamsOfMoreThanTwoChannelsAreRefused) {
  const std::string wav = SoxWave("six.wav", {"-b", "16", "-c", "6", "-r", "44100"}, "0.2");
  const std::string ogg = Dir.File("six.ogg");
  RunTool({"oggenc", "-Q", "-o", ogg, wav});
  TApcClip clip;
  EXPECT_FALSE(DecodeClip(FileBytes(ogg), clip));
  const std::string log = LogText();
  EXPECT_NE(log.find("VorbisFile: implausible stream (channels=6 rate=44100) - rejected"), std::string::npos) << log;
  EXPECT_NE(log.find("ApcAudio: Ogg/Vorbis decode failed (see VorbisFile log lines above) - clip dropped"),
            std::string::npos);
}

TEST_F(ApcClipTest, BrokenOggAndOtherBytesAreRefusedWithTheirLines) {
  const std::string wav = SoxWave("clip.wav", {"-b", "16", "-c", "1", "-r", "22050"}, "0.5");
  const std::string ogg = Dir.File("clip.ogg");
  RunTool({"oggenc", "-Q", "-o", ogg, wav});
  std::vector<uint8_t> cut = FileBytes(ogg);
  cut.resize(60);  // the page header survives, the stream does not
  TApcClip clip;
  EXPECT_FALSE(DecodeClip(cut, clip));
  EXPECT_FALSE(DecodeClip({'I', 'D', '3', 4, 0, 0, 0, 0}, clip));
  EXPECT_FALSE(DecodeClip({'R', 'I', 'F'}, clip));
  const std::string log = LogText();
  EXPECT_NE(log.find("VorbisFile: ov_open_callbacks failed - not a valid Ogg/Vorbis stream"), std::string::npos) << log;
  EXPECT_NE(log.find("ApcAudio: clip is neither RIFF/WAVE nor OggS - unrecognized format, dropped"),
            std::string::npos);
}

TEST(ApcRiffWalkTest, EdgeCasesOfTheChunkWalk) {
  // Chunks are assembled by hand: "RIFF" size "WAVE" then the listed chunks.
  auto chunk = [](const char* id, std::vector<uint8_t> body, int64_t claimed = -1) {
    std::vector<uint8_t> out(id, id + 4);
    const uint32_t size = claimed < 0 ? uint32_t(body.size()) : uint32_t(claimed);
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(size >> (8 * i)));
    out.insert(out.end(), body.begin(), body.end());
    if (claimed < 0 && body.size() % 2) out.push_back(0);
    return out;
  };
  auto fmt = [&](int channels, int rate, int bits) {
    std::vector<uint8_t> b = {1, 0, uint8_t(channels), 0};
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(rate >> (8 * i)));
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, uint8_t(bits), 0});
    return chunk("fmt ", b);
  };
  auto riff = [](std::vector<std::vector<uint8_t>> chunks) {
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
    return out;
  };
  const std::vector<uint8_t> pcm = Bytes({100, -100, 200, -200, 300, -300, 400, -400, 500, -500, 600, -600});

  struct Row {
    const char* Name;
    std::vector<uint8_t> File;
    bool Ok;
    std::vector<uint8_t> Samples;
    int Rate = 22050;
  };
  std::vector<uint8_t> tooShort = riff({fmt(1, 22050, 16), chunk("data", {1, 0, 2})});
  tooShort.resize(43);
  std::vector<uint8_t> shortFmtAtEnd = riff({chunk("data", pcm), chunk("LIST", std::vector<uint8_t>(20))});
  const std::vector<uint8_t> tail = {'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0, 0x22, 0x56};
  shortFmtAtEnd.insert(shortFmtAtEnd.end(), tail.begin(), tail.end());
  std::vector<uint8_t> longData = riff({fmt(1, 22050, 16), chunk("data", pcm, 100000)});
  // A size near 4 GiB before the data chunk ends the walk instead of wrapping
  // back to the start.
  std::vector<uint8_t> wrapping = riff({fmt(1, 22050, 16), chunk("junk", {}, 0xFFFFFFF8), chunk("data", pcm)});
  std::vector<uint8_t> wrappingOdd = riff({fmt(1, 22050, 16), chunk("junk", {}, 0xFFFFFFFF), chunk("data", pcm)});
  std::vector<uint8_t> dataAtEnd = riff({fmt(1, 22050, 16), chunk("LIST", std::vector<uint8_t>(40))});
  const std::vector<uint8_t> empty = {'d', 'a', 't', 'a', 8, 0, 0, 0};
  dataAtEnd.insert(dataAtEnd.end(), empty.begin(), empty.end());

  const Row rows[] = {
      {"43 bytes", tooShort, false, {}},
      {"short fmt chunk at the end", shortFmtAtEnd, false, {}},
      {"data before fmt", riff({chunk("data", pcm), fmt(1, 22050, 16)}), true, pcm},
      {"odd chunk and its pad byte", riff({fmt(1, 22050, 16), chunk("odd ", {1, 2, 3}), chunk("data", pcm)}), true, pcm},
      {"data longer than the file", longData, true, pcm},
      {"8-bit 128, 255, 0", riff({fmt(1, 22050, 8), chunk("data", {128, 255, 0, 1})}), true,
       Bytes({0, 32512, -32768, -32512})},
      {"16-bit odd byte count", riff({fmt(1, 22050, 16), chunk("data", {1, 0, 2, 0, 3}), chunk("pad ", pcm)}), true,
       Bytes({1, 2})},
      {"96000 Hz", riff({fmt(2, 96000, 16), chunk("data", pcm)}), true, pcm, 96000},
      {"zero channels", riff({fmt(0, 22050, 16), chunk("data", pcm)}), false, {}},
      {"zero rate", riff({fmt(1, 0, 16), chunk("data", pcm)}), false, {}},
      {"24 bit", riff({fmt(1, 22050, 24), chunk("data", pcm)}), false, {}},
      {"no data chunk", riff({fmt(1, 22050, 16), chunk("LIST", pcm)}), false, {}},
      {"a later data chunk wins", riff({fmt(1, 22050, 16), chunk("data", {9, 9}), chunk("data", pcm)}), true, pcm},
      {"a size that would wrap", wrapping, false, {}},
      {"an odd size that would wrap", wrappingOdd, false, {}},
      {"data chunk header at the very end", dataAtEnd, false, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TApcClip clip;
    ASSERT_EQ(ParseRiffWave(row.File, clip), row.Ok);
    EXPECT_EQ(clip.Valid, row.Ok);
    if (!row.Ok) continue;
    EXPECT_EQ(*clip.Samples, row.Samples);
    EXPECT_EQ(clip.Rate, row.Rate);
  }
}

TEST(VorbisMemSourceTest, ReadsWholeElementsAndSeeksOnlyWithinTheData) {
  const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  TVorbisMemSource s{data, 10, 0};
  uint8_t out[16] = {};
  EXPECT_EQ(VorbisMemRead(out, 4, 3, &s), 2u) << "two whole 4-byte elements of the ten bytes";
  EXPECT_EQ(VorbisMemTell(&s), 8);
  EXPECT_EQ(VorbisMemRead(out, 4, 1, &s), 0u);
  EXPECT_EQ(VorbisMemRead(out, 1, SIZE_MAX, &s), 2u) << "a count whose byte size overflows";
  EXPECT_EQ(VorbisMemRead(out, 0, 5, &s), 0u);
  EXPECT_EQ(VorbisMemSeek(&s, -3, SEEK_END), 0);
  EXPECT_EQ(VorbisMemTell(&s), 7);
  EXPECT_EQ(VorbisMemSeek(&s, 4, SEEK_CUR), -1) << "past the end";
  EXPECT_EQ(VorbisMemSeek(&s, -1, SEEK_SET), -1);
  EXPECT_EQ(VorbisMemSeek(&s, INT64_MAX, SEEK_CUR), -1);
  EXPECT_EQ(VorbisMemSeek(&s, 0, 7), -1);
  EXPECT_EQ(VorbisMemTell(&s), 7);
  EXPECT_EQ(VorbisMemSeek(&s, 10, SEEK_SET), 0);
  EXPECT_EQ(VorbisMemClose(&s), 0);
}
