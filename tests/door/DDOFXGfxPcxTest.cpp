// PCX pictures from the door's packs: files written by ImageMagick and by
// Pillow decode to the indices Pillow reads and the colours netpbm's
// pcxtoppm gives; hand-made files show the run-length edge cases; and the
// pack and loose-file look-ups that find them.
#include <cstdlib>

#include "tests/door/DDOFXGfxHarness.h"

using namespace ddofxgfxtest;

namespace {

const char* const kPython = "/usr/bin/python3";

std::string Shell(const std::string& command, const std::string& outFile) {
  if (std::system((command + " > '" + outFile + "'").c_str()) != 0) return {};
  return testsupport::ReadWholeFile(outFile);
}

// A P6 file's pixels (8-bit samples only).
bool ReadPpm(const std::string& ppm, int& w, int& h, std::string& rgb) {
  size_t at = 0;
  auto token = [&]() {
    while (at < ppm.size() && std::isspace(static_cast<unsigned char>(ppm[at]))) ++at;
    const size_t from = at;
    while (at < ppm.size() && !std::isspace(static_cast<unsigned char>(ppm[at]))) ++at;
    return ppm.substr(from, at - from);
  };
  if (token() != "P6") return false;
  w = std::stoi(token());
  h = std::stoi(token());
  if (token() != "255") return false;
  rgb = ppm.substr(at + 1);
  return rgb.size() == size_t(w) * size_t(h) * 3;
}

// A header of an 8-bit one-plane PCX of W x H with Bpl bytes per line.
std::string PcxHeader(int w, int h, int bpl) {
  std::string s(128, '\0');
  s[0] = 10;
  s[1] = 5;
  s[2] = 1;
  s[3] = 8;
  s[8] = char((w - 1) & 0xFF);
  s[9] = char((w - 1) >> 8);
  s[10] = char((h - 1) & 0xFF);
  s[11] = char((h - 1) >> 8);
  s[65] = 1;
  s[66] = char(bpl & 0xFF);
  s[67] = char(bpl >> 8);
  return s;
}

class DDOFXGfxPcx : public ::testing::Test {
 protected:
  DDOFXGfxPcx() {
    H.Run("LIGMODE");
    H.Run("2fDOOR");
  }
  void Load(const std::string& bytes) {
    H.AddAsset("DOORS", MakePack({{"PIC.PCX", bytes}}));
    H.Run("2vPIC.PCX");
  }
  TGfxHarness H;
  testsupport::TempDir Work;
};

struct TPeerCase {
  const char* Name;
  std::string Make;  // shell command writing the PCX to the file named by $OUT
  bool EightBit;
  int Width, Height;
};

class DDOFXGfxPcxPeers : public DDOFXGfxPcx, public ::testing::WithParamInterface<TPeerCase> {};

TEST_P(DDOFXGfxPcxPeers, DecodeAsThePeersDo) {
  const TPeerCase& c = GetParam();
  // The source: a pattern of many colours, wider and taller than the page
  // for some cases so that clipping shows.
  const std::string png = Work.File("source.png"), pcx = Work.File("picture.pcx");
  const std::string makeSource = std::string(kPython) +
                                 " -c \"from PIL import Image\nim=Image.new('RGB',(" + std::to_string(c.Width) + "," +
                                 std::to_string(c.Height) +
                                 "))\nim.putdata([((x*7)%256,(y*5)%256,((x+y)*3)%256) for y in range(im.height) for x in "
                                 "range(im.width)])\nim.save('" +
                                 png + "')\"";
  ASSERT_EQ(std::system(makeSource.c_str()), 0) << "python3-pil is needed";
  ASSERT_EQ(std::system(("export SRC='" + png + "' OUT='" + pcx + "'; " + c.Make).c_str()), 0) << c.Make;
  const std::string bytes = testsupport::ReadWholeFile(pcx);
  ASSERT_GT(bytes.size(), 128u);
  std::fill(H.Gfx->Pages[0].begin(), H.Gfx->Pages[0].end(), uint8_t(77));
  Load(bytes);
  if (!c.EightBit) {
    EXPECT_TRUE(H.Logged("not an 8-bit PCX: PIC.PCX"));
    EXPECT_EQ(H.PageAt(0, 0, 0), 77);
    return;
  }
  int w = 0, h = 0;
  std::string rgb;
  ASSERT_TRUE(ReadPpm(Shell("pcxtoppm '" + pcx + "' 2>/dev/null", Work.File("ref.ppm")), w, h, rgb)) << "netpbm is needed";
  const std::string indices = Shell(std::string(kPython) + " -c \"import sys\nfrom PIL import Image\nim=Image.open('" +
                                        pcx + "')\nsys.stdout.buffer.write(bytes(im.getdata()))\"",
                                    Work.File("ref.idx"));
  ASSERT_EQ(indices.size(), size_t(w) * size_t(h));
  ASSERT_EQ(w, c.Width);
  int mismatches = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint8_t index = H.PageAt(0, x, y);
      if (x >= w || y >= h) {
        mismatches += index != 77;
        continue;
      }
      const size_t at = size_t(y) * size_t(w) + size_t(x);
      mismatches += index != uint8_t(indices[at]);
      for (int k = 0; k < 3; ++k)
        mismatches += H.Gfx->Palette[size_t(index) * 3 + size_t(k)] != (uint8_t(rgb[at * 3 + size_t(k)]) >> 2);
    }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(H.Gfx->Pages[3], H.Gfx->Pages[0]) << "page H holds the picture too";
}

INSTANTIATE_TEST_SUITE_P(
    Table, DDOFXGfxPcxPeers,
    ::testing::Values(
        TPeerCase{"ImageMagickEightBit", "convert \"$SRC\" -colors 200 -type palette PCX:\"$OUT\"", true, 301, 203},
        TPeerCase{"ImageMagickLargerThanThePage", "convert \"$SRC\" -colors 256 -type palette PCX:\"$OUT\"", true, 700,
                  500},
        TPeerCase{"ImageMagickTrueColour", "convert \"$SRC\" -type truecolor PCX:\"$OUT\"", false, 40, 30},
        TPeerCase{"PillowEightBitOddWidth",
                  std::string(kPython) +
                      " -c \"import os\nfrom PIL import Image\nImage.open(os.environ['SRC']).quantize(256).save(os."
                      "environ['OUT'])\"",
                  true, 333, 211},
        TPeerCase{"PillowTrueColour",
                  std::string(kPython) +
                      " -c \"import os\nfrom PIL import Image\nImage.open(os.environ['SRC']).save(os.environ['OUT'])\"",
                  false, 40, 30}),
    [](const ::testing::TestParamInfo<TPeerCase>& info) { return std::string(info.param.Name); });

TEST_F(DDOFXGfxPcx, RunsFillAtMostTheirLineAndPaddingIsDropped) {
  // 5 wide, 6 bytes per line, two rows: a run of 5 of colour 7 then the pad
  // byte; a run of 63 of colour 2 that the line end cuts, then nothing more.
  std::string pcx = PcxHeader(5, 3, 6);
  pcx += std::string("\xC5\x07\x09", 3);
  pcx += std::string("\xFF\x02", 2);
  pcx += std::string(900, '\0');  // more than 896 bytes in all, no palette marker
  const std::array<uint8_t, 768> before = H.Gfx->Palette;
  Load(pcx);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(H.PageAt(0, x, 0), 7);
  EXPECT_EQ(H.PageAt(0, 5, 0), 0) << "the pad byte is not drawn";
  for (int x = 0; x < 5; ++x) EXPECT_EQ(H.PageAt(0, x, 1), 2);
  EXPECT_EQ(H.PageAt(0, 0, 2), 0) << "the cut run did not go on to the next row";
  EXPECT_EQ(H.Gfx->Palette, before);
}

TEST_F(DDOFXGfxPcx, APaletteMarkerReplacesThePaletteAndShortDataRepeatsTheRow) {
  std::string pcx = PcxHeader(2, 4, 2);
  pcx += std::string("\x03\x04", 2);
  pcx += std::string(768, '\0');  // rows 2.. are decoded from these zeros
  std::string palette(768, '\0');
  palette[3] = char(255);
  palette[4] = char(128);
  palette[5] = char(3);
  pcx += '\x0C' + palette;
  Load(pcx);
  EXPECT_EQ(H.PageAt(0, 0, 0), 3);
  EXPECT_EQ(H.PageAt(0, 1, 0), 4);
  EXPECT_EQ(H.Gfx->Palette[3], 63);
  EXPECT_EQ(H.Gfx->Palette[4], 32);
  EXPECT_EQ(H.Gfx->Palette[5], 0);
}

struct TBadPcx {
  const char* Name;
  std::string Bytes;
  const char* Logged;  // empty: nothing
};

class DDOFXGfxBadPcx : public DDOFXGfxPcx, public ::testing::WithParamInterface<TBadPcx> {};

TEST_P(DDOFXGfxBadPcx, LeavesThePage) {
  std::fill(H.Gfx->Pages[0].begin(), H.Gfx->Pages[0].end(), uint8_t(5));
  Load(GetParam().Bytes);
  EXPECT_EQ(H.PageAt(0, 0, 0), 5);
  if (*GetParam().Logged) {
    EXPECT_TRUE(H.Logged(GetParam().Logged));
  }
}

std::string WithHeader(std::string h, size_t at, char v) {
  h[at] = v;
  return h + std::string(1000, '\x01');
}

INSTANTIATE_TEST_SUITE_P(
    Table, DDOFXGfxBadPcx,
    ::testing::Values(TBadPcx{"TooShort", PcxHeader(4, 4, 4) + std::string(700, '\x01'), "not an 8-bit PCX: PIC.PCX"},
                      TBadPcx{"NotPcx", WithHeader(PcxHeader(4, 4, 4), 0, 11), "not an 8-bit PCX"},
                      TBadPcx{"FourBits", WithHeader(PcxHeader(4, 4, 4), 3, 4), "not an 8-bit PCX"},
                      TBadPcx{"ThreePlanes", WithHeader(PcxHeader(4, 4, 4), 65, 3), "not an 8-bit PCX"},
                      TBadPcx{"LineShorterThanWidth", PcxHeader(8, 4, 4) + std::string(1000, '\x01'), ""},
                      TBadPcx{"NegativeWidth", WithHeader(PcxHeader(4, 4, 4), 4, 9), ""}),
    [](const ::testing::TestParamInfo<TBadPcx>& info) { return std::string(info.param.Name); });

TEST_F(DDOFXGfxPcx, HugeDimensionsDecodeOnlyWhatTheDataHolds) {
  // 65535 x 65535 with a few bytes of data: only the page's part is written.
  std::string pcx = PcxHeader(65535, 65535, 65535) + std::string("\xC3\x06", 2) + std::string(800, '\0');
  Load(pcx);
  EXPECT_EQ(H.PageAt(0, 2, 0), 6);
  EXPECT_EQ(H.PageAt(0, 3, 0), 0);
}

TEST_F(DDOFXGfxPcx, PacksAreLookedForByKindAcrossTheFolder) {
  std::string red = PcxHeader(1, 1, 1) + std::string("\x01", 1) + std::string(900, '\0');
  std::string blue = PcxHeader(1, 1, 1) + std::string("\x02", 1) + std::string(900, '\0');
  std::string green = PcxHeader(1, 1, 1) + std::string("\x03", 1) + std::string(900, '\0');
  H.AddAsset("doors", MakePack({{"RED.PCX", red}}));       // the door's own pack, any case
  H.AddAsset("EXTRAs", MakePack({{"BLUE.PCX", blue}, {"RED.PCX", blue}}));
  H.AddAsset("OTHERM", MakePack({{"GREEN.PCX", green}}));  // kind M: never a picture pack
  H.Run("2vred.pcx");
  EXPECT_EQ(H.PageAt(0, 0, 0), 1) << "the door's own pack is asked first";
  H.Run("2bBLUE.PCX");
  EXPECT_EQ(H.PageAt(2, 0, 0), 2);
  H.Run("2wGREEN.PCX");
  EXPECT_EQ(H.PageAt(1, 0, 0), 0);
  EXPECT_TRUE(H.Logged("PCX not found in resource: GREEN.PCX"));
  // Without an asset folder nothing is found at all.
  H.Gfx->SetAssetDir("");
  std::string data;
  EXPECT_FALSE(H.Gfx->FindAsset('S', "RED.PCX", data));
}

TEST_F(DDOFXGfxPcx, LooseFilesAreFoundByPlainNamesInAnyCase) {
  H.AddAsset("ANIM.FLC", "flic bytes");
  std::string data;
  EXPECT_TRUE(H.Gfx->ReadAsset(" anim.flc ", false, data));
  EXPECT_EQ(data, "flic bytes");
  EXPECT_FALSE(H.Gfx->ReadAsset("../ANIM.FLC", false, data));
  EXPECT_FALSE(H.Gfx->ReadAsset("/etc/passwd", false, data));
  EXPECT_TRUE(data.empty());
  H.AddAsset("DOORM", MakePack({{"MAP.TXT", "map"}}));
  EXPECT_TRUE(H.Gfx->ReadAsset("map.txt", true, data));
  EXPECT_EQ(data, "map");
}

}  // namespace
