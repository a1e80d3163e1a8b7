// FLI/FLC players: flics written here from the published chunk format are
// read back by ffmpeg and must show the same frames, on the simulated 30 ms
// door clock; the timing, looping, palette and clipping rules; and broken
// or hostile files.
#include <cmath>
#include <cstdlib>

#include "tests/door/DDOFXGfxHarness.h"

using namespace ddofxgfxtest;

namespace {

enum : uint16_t { kColor256 = 4, kDeltaFlc = 7, kColor64 = 11, kDeltaFli = 12, kBlack = 13, kByteRun = 15, kCopy = 16 };

void Put16(std::string& s, uint32_t v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

std::string Chunk(uint16_t type, std::string data) {
  if (data.size() % 2) data += '\0';
  std::string c;
  Put32(c, uint32_t(6 + data.size()));
  Put16(c, type);
  return c + data;
}

std::string Frame(const std::vector<std::string>& chunks) {
  std::string body;
  for (const std::string& c : chunks) body += c;
  std::string f;
  Put32(f, uint32_t(16 + body.size()));
  Put16(f, 0xF1FA);
  Put16(f, uint16_t(chunks.size()));
  f += std::string(8, '\0');
  return f + body;
}

// A whole flic: the 128-byte header and the frames.
std::string Flic(bool flc, int w, int h, const std::vector<std::string>& frames, uint32_t speed = 100) {
  std::string body;
  for (const std::string& f : frames) body += f;
  std::string head;
  Put32(head, uint32_t(128 + body.size()));
  Put16(head, flc ? 0xAF12 : 0xAF11);
  Put16(head, uint16_t(frames.size()));
  Put16(head, uint16_t(w));
  Put16(head, uint16_t(h));
  Put16(head, 8);
  Put16(head, 3);
  Put32(head, flc ? speed : speed * 70 / 1000);
  head.resize(80, '\0');
  if (flc) {
    Put32(head, 128);
    Put32(head, frames.empty() ? 128 : uint32_t(128 + frames[0].size()));
  }
  head.resize(128, '\0');
  return head + body;
}

// A full palette: entry i is (4i, 255 - 4i, 2i) in 8 bits, or in 6 bits.
std::string Palette(bool sixBits) {
  std::string d;
  Put16(d, 1);
  d += '\0';
  d += '\0';  // 256 colours
  for (int i = 0; i < 256; ++i) {
    const int r = (i * 4) & 0xFF, g = 255 - r, b = (i * 2) & 0xFF;
    d += char(sixBits ? r >> 2 : r);
    d += char(sixBits ? g >> 2 : g);
    d += char(sixBits ? b >> 2 : b);
  }
  return d;
}

// Byte-run rows: a run of the row's colour, then the rest copied literally.
std::string ByteRun(int w, int h) {
  std::string d;
  for (int y = 0; y < h; ++y) {
    d += '\0';
    const int run = std::min(w, 5);
    d += char(run);
    d += char(y * 3 + 1);
    for (int x = run; x < w;) {
      const int n = std::min(w - x, 100);
      d += char(-n);
      for (int k = 0; k < n; ++k) d += char((x + k) * 7 + y);
      x += n;
    }
  }
  return d;
}

// Word-delta: skip 2 lines, change two packets on line 2, then a line with
// a repeated pair, then skip to line 9 and copy one pair there.
std::string DeltaFlc() {
  std::string d;
  Put16(d, 3);           // lines with packets
  Put16(d, 0x10000 - 2);  // skip two lines
  Put16(d, 2);           // two packets
  d += char(1);
  d += char(2);
  d += "\x21\x22\x23\x24";
  d += char(3);
  d += char(-3);  // pair repeated three times
  d += "\x30\x31";
  Put16(d, 1);
  d += char(4);
  d += char(-2);
  d += "\x40\x41";
  Put16(d, 0x10000 - 5);
  Put16(d, 1);
  d += char(10);
  d += char(1);
  d += "\x50\x51";
  return d;
}

std::string DeltaFli() {
  std::string d;
  Put16(d, 4);  // first line
  Put16(d, 2);  // lines
  d += char(2);  // packets on line 4
  d += char(3);
  d += char(2);
  d += "\x61\x62";
  d += char(1);
  d += char(-4);
  d += char(0x63);
  d += char(1);  // line 5
  d += char(0);
  d += char(3);
  d += "\x71\x72\x73";
  return d;
}

class DDOFXGfxFlic : public ::testing::Test {
 protected:
  DDOFXGfxFlic() { H.Run("LIGMODE"); }
  // The composed colour of a flic pixel read by ffmpeg as V (8 bits): the
  // engine keeps 6 bits and scales them to 8 on composing.
  static uint8_t Composed(uint8_t v) { return uint8_t(std::nearbyint((v >> 2) * 255.0 / 63.0)); }
  // ffmpeg's frames as RGB, one string per frame.
  std::vector<std::string> FfmpegFrames(const std::string& file, int w, int h) {
    const std::string raw = Work.File("frames.raw");
    const std::string cmd = "ffmpeg -v error -y -i '" + file + "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 '" + raw + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "ffmpeg is needed";
    const std::string all = testsupport::ReadWholeFile(raw);
    std::vector<std::string> frames;
    const size_t size = size_t(w) * size_t(h) * 3;
    for (size_t at = 0; at + size <= all.size(); at += size) frames.push_back(all.substr(at, size));
    return frames;
  }
  int Mismatches(const std::string& rgb, int x0, int y0, int w, int h) {
    int bad = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 3;
        const uint32_t want = (uint32_t(Composed(uint8_t(rgb[at]))) << 16) |
                              (uint32_t(Composed(uint8_t(rgb[at + 1]))) << 8) | Composed(uint8_t(rgb[at + 2]));
        bad += H.At(x0 + x, y0 + y) != want;
      }
    return bad;
  }
  TGfxHarness H;
  testsupport::TempDir Work;
};

TEST_F(DDOFXGfxFlic, AnFlcShowsFfmpegsFramesOnEveryThirdOrFourthTick) {
  const int w = 37, h = 23;
  const std::string file = Flic(true, w, h,
                                {Frame({Chunk(kColor256, Palette(false)), Chunk(kByteRun, ByteRun(w, h))}),
                                 Frame({Chunk(kDeltaFlc, DeltaFlc())}),
                                 Frame({Chunk(kColor256, std::string("\x01\x00\x01\x02\xFF\x00\x10\x20\x30\x40", 10))}),
                                 Frame({Chunk(kBlack, "")})});
  H.AddAsset("TEST.FLC", file);
  testsupport::WriteWholeFile(Work.File("test.flc"), file);
  const std::vector<std::string> reference = FfmpegFrames(Work.File("test.flc"), w, h);
  ASSERT_EQ(reference.size(), 4u);
  H.Run("5OFLIC,7,13,9,0,1,10,1, test.flc ");
  EXPECT_TRUE(H.Logged("flic 7:  test.flc  37x23, 4 frames"));
  H.Run("5UFLIC,7");
  std::vector<uint64_t> shownAt;
  for (int tick = 0; tick < 60 && shownAt.size() < 4; ++tick) {
    const int32_t before = H.Gfx->Flics[7].FrameIndex;
    H.Advance(kTickMs);
    if (H.Gfx->Flics[7].FrameIndex == before) continue;
    shownAt.push_back(H.NowMs);
    H.Compose();
    EXPECT_EQ(Mismatches(reference[shownAt.size() - 1], 13, 9, w, h), 0) << "frame " << shownAt.size();
  }
  ASSERT_EQ(shownAt.size(), 4u);
  for (size_t i = 1; i < shownAt.size(); ++i) {
    const uint64_t gap = shownAt[i] - shownAt[i - 1];
    EXPECT_TRUE(gap == 90 || gap == 120) << gap;
  }
  EXPECT_EQ(H.Gfx->Pages[3], H.Gfx->Pages[0]);
  // Mode 1: after its last frame the slot closes.
  H.Advance(400);
  EXPECT_FALSE(H.Gfx->Flics[7].Open);
}

TEST_F(DDOFXGfxFlic, AnFliWithByteDeltasAndSixBitColoursMatchesFfmpeg) {
  const int w = 20, h = 8;
  const std::string file = Flic(false, w, h,
                                {Frame({Chunk(kColor64, Palette(true)), Chunk(kByteRun, ByteRun(w, h))}),
                                 Frame({Chunk(kDeltaFli, DeltaFli())})});
  H.AddAsset("TEST.FLI", file);
  testsupport::WriteWholeFile(Work.File("test.fli"), file);
  const std::vector<std::string> reference = FfmpegFrames(Work.File("test.fli"), w, h);
  ASSERT_EQ(reference.size(), 2u);
  H.Run("5OFLIC,1,0,0,0,0,10,1,TEST.FLI");
  H.Run("5UFLIC,0");
  for (size_t k = 0; k < 2; ++k) {
    ASSERT_TRUE(H.Gfx->DecodeFlicFrame(1));
    H.Compose();
    EXPECT_EQ(Mismatches(reference[k], 0, 0, w, h), 0) << "frame " << k + 1;
  }
}

TEST_F(DDOFXGfxFlic, TheLastPixelWordSetsTheLineEnd) {
  std::string d;
  Put16(d, 1);
  Put16(d, 0x8000 | 0x77);
  Put16(d, 0);
  H.AddAsset("END.FLC", Flic(true, 5, 2, {Frame({Chunk(kDeltaFlc, d)})}));
  H.Run("5OFLIC,1,0,0,0,0,10,1,END.FLC");
  ASSERT_TRUE(H.Gfx->DecodeFlicFrame(1));
  EXPECT_EQ(H.PageAt(0, 4, 0), 0x77);
  EXPECT_EQ(H.PageAt(0, 3, 0), 0);
}

std::string CountingFlic(int frames) {
  // Frame k fills the picture with colour k and carries a palette chunk.
  std::vector<std::string> list;
  for (int k = 1; k <= frames; ++k)
    list.push_back(Frame({Chunk(kColor256, Palette(false)), Chunk(kCopy, std::string(8, char(k)))}));
  return Flic(true, 4, 2, list);
}

TEST_F(DDOFXGfxFlic, LastFrameLimitsLoopOrClose) {
  H.AddAsset("COUNT.FLC", CountingFlic(5));
  H.Run("5OFLIC,1,0,0,3,0,10,0,COUNT.FLC");
  H.Run("5OFLIC,2,10,0,3,1,10,0,COUNT.FLC");
  std::vector<int> loop, once;
  for (int k = 0; k < 5; ++k) {
    if (H.Gfx->Flics[1].Open && H.Gfx->DecodeFlicFrame(1)) loop.push_back(H.PageAt(0, 0, 0));
    if (H.Gfx->Flics[2].Open && H.Gfx->DecodeFlicFrame(2)) once.push_back(H.PageAt(0, 10, 0));
  }
  EXPECT_EQ(loop, (std::vector<int>{1, 2, 3, 1, 2}));
  EXPECT_EQ(once, (std::vector<int>{1, 2, 3}));
  // The palette chunks were not taken: the palette flag was 0.
  EXPECT_EQ(H.Gfx->Palette[3 * 1 + 2], 42);
  H.Gfx->Flics[2].Playing = true;
  H.Gfx->Now = H.NowMs;
  H.Gfx->AdvanceFlics();
  EXPECT_FALSE(H.Gfx->Flics[2].Open) << "a player past its end closes";
}

TEST_F(DDOFXGfxFlic, AStallResumesWithTheNextFrameWithoutCatchingUp) {
  H.AddAsset("COUNT.FLC", CountingFlic(9));
  H.Run("5OFLIC,1,0,0,0,0,10,0,COUNT.FLC");
  H.Run("5UFLIC,1");
  H.Advance(30);
  ASSERT_EQ(H.Gfx->Flics[1].FrameIndex, 1);
  H.Run("2aFPALOUT");  // faded out: the flic holds still
  H.Advance(2000);
  EXPECT_EQ(H.Gfx->Flics[1].FrameIndex, 1);
  H.Run("2aFPALIN");
  H.Advance(30);
  EXPECT_EQ(H.Gfx->Flics[1].FrameIndex, 2);
  EXPECT_EQ(H.Gfx->Flics[1].NextDue, H.NowMs + 100);
}

TEST_F(DDOFXGfxFlic, ALargeFlicIsClippedAtTheCorner) {
  H.AddAsset("BIG.FLC", Flic(true, 320, 200, {Frame({Chunk(kCopy, std::string(64000, '\x09'))})}));
  H.Run("5OFLIC,1,400,300,0,0,10,0,BIG.FLC");
  H.Run("5OFLIC,2,-300,-190,0,0,10,0,BIG.FLC");
  ASSERT_TRUE(H.Gfx->DecodeFlicFrame(1));
  ASSERT_TRUE(H.Gfx->DecodeFlicFrame(2));
  EXPECT_EQ(H.PageAt(0, 639, 479), 9);
  EXPECT_EQ(H.PageAt(0, 399, 300), 0);
  EXPECT_EQ(H.PageAt(0, 19, 9), 9);
  EXPECT_EQ(H.PageAt(0, 20, 9), 0);
}

TEST_F(DDOFXGfxFlic, PlayPauseAndStopAll) {
  H.AddAsset("COUNT.FLC", CountingFlic(3));
  for (int n : {1, 5, 300}) H.Run("5OFLIC," + std::to_string(n) + ",0,0,0,0,10,0,count.flc");
  EXPECT_FALSE(H.Gfx->Flics[1].Playing) << "a new player waits";
  H.Run("5UFLIC,0");
  EXPECT_TRUE(H.Gfx->Flics[1].Playing && H.Gfx->Flics[5].Playing && H.Gfx->Flics[300].Playing);
  H.Run("5PFLIC,5");
  EXPECT_FALSE(H.Gfx->Flics[5].Playing);
  EXPECT_TRUE(H.Gfx->Flics[1].Playing);
  H.Run("5SFLIC,0");
  EXPECT_FALSE(H.Gfx->Flics[1].Open || H.Gfx->Flics[5].Open || H.Gfx->Flics[300].Open);
  H.Run("5OFLIC,301,0,0,0,0,10,0,COUNT.FLC");
  H.Run("5OFLIC,-1,0,0,0,0,10,0,COUNT.FLC");
  for (const TGfxFlic& f : H.Gfx->Flics) EXPECT_FALSE(f.Open);
}

struct TBadFlic {
  const char* Name;
  std::string Bytes;
  const char* Logged;  // empty: opens
};

class DDOFXGfxBadFlic : public DDOFXGfxFlic, public ::testing::WithParamInterface<TBadFlic> {};

TEST_P(DDOFXGfxBadFlic, NeverReadsOrWritesOutside) {
  H.AddAsset("BAD.FLC", GetParam().Bytes);
  H.Run("5OFLIC,1,0,0,0,0,100,1,BAD.FLC");
  if (*GetParam().Logged) {
    EXPECT_TRUE(H.Logged(GetParam().Logged));
    EXPECT_FALSE(H.Gfx->Flics[1].Open);
    return;
  }
  H.Run("5UFLIC,1");
  H.Advance(3000);  // decodes whatever there is, then ends or closes
}

std::string Corrupt(std::string s, size_t at, const std::string& bytes) {
  s.replace(at, bytes.size(), bytes);
  return s;
}

const std::string kGood = Flic(true, 8, 4, {Frame({Chunk(kByteRun, ByteRun(8, 4))}), Frame({Chunk(kDeltaFlc, DeltaFlc())})});

INSTANTIATE_TEST_SUITE_P(
    Table, DDOFXGfxBadFlic,
    ::testing::Values(
        TBadFlic{"Short", std::string(100, '\0'), "flic not found: BAD.FLC"},
        TBadFlic{"WrongMagic", Corrupt(kGood, 4, "\x12\xAE"), "not a FLI/FLC: BAD.FLC"},
        TBadFlic{"HugeFrame", Corrupt(kGood, 8, "\xFF\xFF\xFF\xFF"), "flic frame too large: BAD.FLC"},
        TBadFlic{"ZeroSizeChunkBeforeTheFrame", Corrupt(kGood, 128, std::string("\x00\x00\x00\x00\x00\x00", 6)), ""},
        TBadFlic{"FrameSizePastTheEnd", Corrupt(kGood, 128, "\xFF\xFF\xFF\x7F"), ""},
        TBadFlic{"ChunkSizesPastTheEnd", Corrupt(kGood, 128 + 16, "\xFF\xFF\xFF\xFF"), ""},
        TBadFlic{"ChunkCountHuge", Corrupt(kGood, 128 + 6, "\xFF\xFF"), ""},
        TBadFlic{"FirstFrameOffsetPastTheEnd", Corrupt(kGood, 80, "\xFF\xFF\xFF\xFF"), ""},
        TBadFlic{"DeltaLineCountsHuge",
                 Flic(true, 8, 4, {Frame({Chunk(kDeltaFlc, "\xFF\xFF\x00\x40"), Chunk(kDeltaFli, "\xFF\xFF\xFF\xFF\xFF")})}),
                 ""},
        TBadFlic{"ColourPacketsPastTheEnd", Flic(true, 8, 4, {Frame({Chunk(kColor256, "\xFF\xFF\x10")})}), ""}),
    [](const ::testing::TestParamInfo<TBadFlic>& info) { return std::string(info.param.Name); });

}  // namespace
