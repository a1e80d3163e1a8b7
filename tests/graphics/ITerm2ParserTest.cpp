// iTerm2 inline images made as a board makes them: PNG, JPEG and GIF files
// from ImageMagick, base64 from coreutils, inside ESC ] 1337;File= strings.
// The picture's size on the screen, its pixels and the cursor afterwards;
// other OSC strings pass untouched; bad, unsupported, oversized and cut-short
// files are dropped with their log lines, and nothing of a dropped string
// reaches the screen.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "graphics/uITerm2Parser.h"
#include "tests/graphics/ImageTestSupport.h"

using namespace imagetest;

namespace {

const std::string ESC = Escape();
const std::string BEL = "\x07";

// A picture file made by ImageMagick, and its base64 text from coreutils.
struct TMadeFile {
  std::string Path, Bytes, Base64;
};

TMadeFile MakeFile(TempDir& dir, const std::string& name, const std::string& magickArgs) {
  TMadeFile f;
  f.Path = dir.File(name);
  EXPECT_TRUE(Magick(magickArgs, f.Path)) << magickArgs;
  f.Bytes = ReadWholeFile(f.Path);
  f.Base64 = CommandOutput("base64 '" + f.Path + "'");  // lines of 76, as boards often send
  return f;
}

std::string Base64Of(TempDir& dir, const std::string& bytes) {
  WriteWholeFile(dir.File("raw.bin"), bytes);
  return CommandOutput("base64 -w0 '" + dir.File("raw.bin") + "'");
}

std::string Osc1337(const std::string& args, const std::string& base64, const std::string& end = BEL) {
  return ESC + "]1337;File=" + args + ":" + base64 + end;
}

class ITerm2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HavePeer(kConvert, "imagemagick"));
    ASSERT_TRUE(HavePeer("base64", "coreutils"));
  }
  TempDir Dir;
  TScreenRig Rig;
  TITerm2Parser Parser{&Rig.Buffer, &Rig.Renderer, TScreenRig::CellW, TScreenRig::CellH};
};

// ---- Sizes.

struct TSizeCase {
  const char* Name;
  int PictureW, PictureH;
  const char* Args;
  int W, H;  // the size asked for (the sprite is that, cut to the screen)
};

const TSizeCase kSizes[] = {
    {"no_arguments", 40, 20, "", 40, 20},
    {"width_50_percent_of_80_columns", 40, 20, "width=50%", 320, 160},
    {"width_10_cells", 40, 20, "width=10", 80, 40},
    {"width_10px", 40, 20, "width=10px", 10, 5},
    {"width_auto", 40, 20, "width=auto;height=auto", 40, 20},
    {"height_2_cells_keeps_aspect", 40, 20, "height=2", 64, 32},
    {"both_given_stretch", 200, 50, "width=100px;height=100px;preserveAspectRatio=1", 100, 100},
    {"aspect_off_keeps_own_height", 200, 50, "width=100px;preserveAspectRatio=0", 100, 50},
    {"keys_ignore_case_and_others_are_ignored", 40, 20, "name=Zm9v;size=99;inline=1;WIDTH=20px", 20, 10},
    {"width_over_4096_is_4096", 100, 100, "width=9999px", 4096, 4096},
    {"bad_number_is_automatic", 40, 20, "width=ten", 40, 20},
};

class ITerm2SizeTest : public ITerm2Test, public ::testing::WithParamInterface<TSizeCase> {};

TEST_P(ITerm2SizeTest, PictureTakesTheAskedSizeAndTheCursorGoesBelowIt) {
  const TSizeCase& c = GetParam();
  const TMadeFile png = MakeFile(
      Dir, "p.png", "-size " + std::to_string(c.PictureW) + "x" + std::to_string(c.PictureH) + " gradient:red-blue");
  Rig.Buffer.GotoXY(5, 1);
  // Cut in the middle, as a board's data arrives in pieces.
  const std::string all = "<" + Osc1337(c.Args, png.Base64) + ">";
  const std::string first = Feed(Parser, all.substr(0, all.size() / 2));
  EXPECT_EQ(first + Feed(Parser, all.substr(all.size() / 2)), "<>");
  EXPECT_TRUE(Parser.TakeImagePlaced());
  const TImageSprite* s = Rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->X, 5 * 8);
  EXPECT_EQ(s->Y, 16);
  EXPECT_EQ(s->W, std::min(c.W, 640 - 40));
  EXPECT_EQ(s->H, std::min(c.H, 400 - 16));
  EXPECT_EQ(Rig.Buffer.CursorX, 0);
  EXPECT_EQ(Rig.Buffer.CursorY, std::min(24, 1 + (c.H + 15) / 16));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ITerm2SizeTest, ::testing::ValuesIn(kSizes),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- Formats.

TEST_F(ITerm2Test, PngComesBackPixelForPixel) {
  const TMadeFile png = MakeFile(Dir, "p.png", "-size 37x23 plasma:fractal -seed 7 -depth 8");
  Feed(Parser, Osc1337("", png.Base64));
  ASSERT_NE(Rig.Only(), nullptr);
  ASSERT_TRUE(WriteWholeFile(Dir.File("decoded.ppm"), SpriteAsPpm(*Rig.Only())));
  EXPECT_EQ(DifferingPixels(png.Path, Dir.File("decoded.ppm")), "0");
}

TEST_F(ITerm2Test, BelAndStringTerminatorGiveTheSamePicture) {
  const TMadeFile png = MakeFile(Dir, "p.png", "-size 16x16 plasma:fractal -seed 3");
  Feed(Parser, Osc1337("", png.Base64, BEL));
  Rig.Buffer.GotoXY(40, 0);
  Feed(Parser, Osc1337("", png.Base64, ESC + "\\"));
  ASSERT_EQ(Rig.Renderer.Sprites().size(), 2u);
  EXPECT_EQ(Rig.Renderer.Sprites()[0].Pixels, Rig.Renderer.Sprites()[1].Pixels);
  EXPECT_EQ(Rig.Renderer.Sprites()[0].Mask, Rig.Renderer.Sprites()[1].Mask);
}

struct TFormatCase {
  const char* Name;
  const char* File;
  const char* MagickArgs;
  int W, H;
  int X, Y;  // a pixel to look at
  bool Drawn;
  TColorRGB Colour;
  int Tolerance;  // per channel (JPEG is lossy)
};

const TFormatCase kFormats[] = {
    {"png_transparent_pixel",
     "t.png",
     "-size 8x8 xc:'#00ff00' -alpha set -fill none -draw 'color 3,3 point'",
     8,
     8,
     3,
     3,
     false,
     {},
     0},
    {"png_opaque_pixel", "t.png", "-size 8x8 xc:'#00ff00' -alpha set -fill none -draw 'color 3,3 point'", 8, 8, 4, 4,
     true, TColorRGB{0, 255, 0}, 0},
    {"png_16_bit_grey", "g.png", "-size 9x5 xc:'#808080' -depth 16 -colorspace gray", 9, 5, 8, 4, true,
     TColorRGB{128, 128, 128}, 1},
    {"jpeg", "j.jpg", "-size 48x32 xc:'#c03020' -quality 95", 48, 32, 20, 20, true, TColorRGB{0xc0, 0x30, 0x20}, 6},
    {"jpeg_cmyk", "c.jpg", "-size 20x10 xc:'#ff8000' -colorspace CMYK -quality 95", 20, 10, 5, 5, true,
     TColorRGB{0xff, 0x80, 0x00}, 8},
    {"jpeg_progressive_grey", "j.jpg", "-size 33x17 xc:'#707070' -colorspace gray -interlace JPEG", 33, 17, 32, 16,
     true, TColorRGB{0x70, 0x70, 0x70}, 3},
    {"gif_first_frame_of_animation", "a.gif", "-delay 10 -size 12x10 xc:'#0000ff' -size 12x10 xc:'#ff0000' -loop 0", 12,
     10, 5, 5, true, TColorRGB{0, 0, 255}, 0},
    {"gif_transparent_colour",
     "t.gif",
     "-size 6x6 xc:'#ffff00' -fill '#000000' -draw 'point 2,2' -transparent black",
     6,
     6,
     2,
     2,
     false,
     {},
     0},
    // Rows come in four passes; row 1 is the last pass's first.
    {"gif_interlaced", "i.gif",
     "-size 10x20 xc:'#ff0000' -fill '#00ff00' -draw 'rectangle 0,1 9,1' -fill '#0000ff' -draw 'rectangle 0,4 9,4' "
     "-interlace GIF",
     10, 20, 5, 1, true, TColorRGB{0, 255, 0}, 0},
    {"gif_interlaced_pass_two", "i.gif",
     "-size 10x20 xc:'#ff0000' -fill '#00ff00' -draw 'rectangle 0,1 9,1' -fill '#0000ff' -draw 'rectangle 0,4 9,4' "
     "-interlace GIF",
     10, 20, 5, 4, true, TColorRGB{0, 0, 255}, 0},
};

class ITerm2FormatTest : public ITerm2Test, public ::testing::WithParamInterface<TFormatCase> {};

TEST_P(ITerm2FormatTest, DecodesTheFormat) {
  const TFormatCase& c = GetParam();
  const TMadeFile file = MakeFile(Dir, c.File, c.MagickArgs);
  Feed(Parser, Osc1337("", file.Base64));
  const TImageSprite* s = Rig.Only();
  ASSERT_NE(s, nullptr) << "not placed";
  EXPECT_EQ(s->W, c.W);
  EXPECT_EQ(s->H, c.H);
  const size_t at = size_t(c.Y) * size_t(s->W) + size_t(c.X);
  EXPECT_EQ(s->Mask[at] != 0, c.Drawn);
  if (c.Drawn) {
    const TColorRGB p = s->Pixels[at];
    EXPECT_NEAR(p.R, c.Colour.R, c.Tolerance);
    EXPECT_NEAR(p.G, c.Colour.G, c.Tolerance);
    EXPECT_NEAR(p.B, c.Colour.B, c.Tolerance);
  }
  EXPECT_EQ(Rig.Buffer.CursorY, (c.H + 15) / 16);
}

INSTANTIATE_TEST_SUITE_P(Formats, ITerm2FormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- What is not a picture, and what is dropped.

TEST_F(ITerm2Test, OtherOscStringsPassByteForByte) {
  const std::string title = ESC + "]0;My Board" + BEL + ESC + "]1338;x" + ESC + "\\" + ESC + "]" + ESC + "[2J";
  EXPECT_EQ(Feed(Parser, "a" + title + "b"), "a" + title + "b");
  EXPECT_TRUE(Rig.Renderer.Sprites().empty());
}

TEST_F(ITerm2Test, PlainRunStopsAtEscape) {
  const std::string text = "hello" + ESC + "]1337;File=:";
  EXPECT_EQ(Parser.PlainRun(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 5u);
  // Other escapes are part of the run; an ESC whose next byte is still to
  // come is not.
  const std::string art = "ab" + ESC + "[1m" + ESC + "7" + ESC;
  EXPECT_EQ(Parser.PlainRun(reinterpret_cast<const uint8_t*>(art.data()), art.size()), art.size() - 1);
  Feed(Parser, text);
  EXPECT_EQ(Parser.PlainRun(reinterpret_cast<const uint8_t*>("abc"), 3), 0u);
}

struct TDropCase {
  const char* Name;
  std::string Sequence;  // between "<" and ">"
  const char* LogLine;   // empty: nothing logged
};

class ITerm2DropTest : public ITerm2Test, public ::testing::WithParamInterface<TDropCase> {};

const std::string kTinyPngBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==";

const TDropCase kDrops[] = {
    {"character_outside_base64", Osc1337("", "iVBO*RK"), "ITERM2: base64 decode failed or empty - dropping image"},
    {"empty_payload", Osc1337("width=3", ""), ""},
    {"bmp_file", Osc1337("", "Qk0eAAAAAAAAABoAAAAMAAAAAQABAAEAGAAAAP8A"),
     "ITERM2: decoded payload is not a recognized PNG/JPEG/GIF (unrecognized magic bytes) - dropping image"},
    // Abandoned in its arguments: the terminator goes with it.
    {"bel_in_arguments", ESC + "]1337;File=width=3" + BEL, ""},
    {"escape_in_arguments", ESC + "]1337;File=width=3" + ESC + "\\", ""},
    // Too many arguments: the rest of the string, base64 and all, is dropped.
    {"arguments_over_512", ESC + "]1337;File=" + std::string(600, 'a') + ":" + kTinyPngBase64 + ESC + "\\", ""},
    {"arguments_over_512_ended_by_bel", ESC + "]1337;File=" + std::string(513, 'a') + ":" + kTinyPngBase64 + BEL, ""},
};

TEST_P(ITerm2DropTest, DropsTheStringWithItsLogLine) {
  TLogCapture log;
  EXPECT_EQ(Feed(Parser, "<" + GetParam().Sequence + ">"), "<>");
  EXPECT_TRUE(Rig.Renderer.Sprites().empty());
  EXPECT_EQ(Rig.Buffer.CursorY, 0);
  const std::string expected = GetParam().LogLine;
  if (!expected.empty()) {
    EXPECT_TRUE(log.Has(expected)) << log.Text();
  } else {
    EXPECT_EQ(log.Text().find("ITERM2:"), std::string::npos) << log.Text();
  }
}

INSTANTIATE_TEST_SUITE_P(Drops, ITerm2DropTest, ::testing::ValuesIn(kDrops),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ITerm2Test, TinyPngIsShown) {
  Feed(Parser, Osc1337("", kTinyPngBase64));
  ASSERT_NE(Rig.Only(), nullptr);
  EXPECT_EQ(Rig.Only()->W, 1);
}

// The call hands the runs PlainRun counts on whole: in chunks of any size
// the same bytes come out and the same pictures are placed.
TEST_F(ITerm2Test, PlainRunsGiveTheSameBytes) {
  const struct {
    const char* Name;
    std::string In, Out;
    size_t Pictures;
  } cases[] = {
      {"art", ESC + "[0;1;34m\xdb" + ESC + "[2C" + ESC + "7x" + ESC + "[K", ESC + "[0;1;34m\xdb" + ESC + "[2C" + ESC + "7x" + ESC + "[K", 0},
      {"title", "a" + ESC + "]0;Board" + BEL + "b", "a" + ESC + "]0;Board" + BEL + "b", 0},
      {"escape_escape_then_bracket", "a" + ESC + ESC + "]0;T" + BEL, "a" + ESC + ESC + "]0;T" + BEL, 0},
      {"eight_bit_bracket", "a" + ESC + "\xdd" + "1337;File=:" + kTinyPngBase64 + BEL + "z", "az", 1},
      {"picture_between_art", ESC + "[1m" + Osc1337("", kTinyPngBase64) + ESC + "[0m.", ESC + "[1m" + ESC + "[0m.", 1},
  };
  for (const auto& c : cases)
    for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(5), size_t(4096)}) {
      TScreenRig rig;
      TITerm2Parser parser{&rig.Buffer, &rig.Renderer, TScreenRig::CellW, TScreenRig::CellH};
      EXPECT_EQ(FeedByRuns(parser, c.In, chunk), c.Out) << c.Name << ", chunks of " << chunk;
      EXPECT_EQ(rig.Renderer.Sprites().size(), c.Pictures) << c.Name << ", chunks of " << chunk;
    }
}

TEST_F(ITerm2Test, PayloadOverItsLimitIsDroppedUpToTheTerminator) {
  TLogCapture log;
  std::string data = ESC + "]1337;File=:";
  data.append(TITerm2Parser::PayloadLimit + 1000, 'A');
  data += BEL + "after";
  EXPECT_EQ(Feed(Parser, data), "after");
  EXPECT_TRUE(Rig.Renderer.Sprites().empty());
  EXPECT_TRUE(log.Has("ITERM2: base64 payload exceeded 25165824 bytes - aborting this image"));
}

// ---- Hostile files: a header that claims a huge picture is refused before
// anything is decoded; a file cut short is a failure, not a grey picture.

void PutBigEndian32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char(v >> (24 - 8 * i));
}

// The PNG with its IHDR saying W x H, and its checksum made right.
std::string PngClaiming(std::string png, uint32_t w, uint32_t h) {
  PutBigEndian32(png, 16, w);
  PutBigEndian32(png, 20, h);
  const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));
  PutBigEndian32(png, 29, crc);
  return png;
}

// The JPEG with its frame header saying W x H.
std::string JpegClaiming(std::string jpg, uint16_t w, uint16_t h) {
  for (size_t i = 2; i + 9 < jpg.size(); ++i)
    if (uint8_t(jpg[i]) == 0xFF && (uint8_t(jpg[i + 1]) == 0xC0 || uint8_t(jpg[i + 1]) == 0xC2)) {
      jpg[i + 5] = char(h >> 8), jpg[i + 6] = char(h);
      jpg[i + 7] = char(w >> 8), jpg[i + 8] = char(w);
      return jpg;
    }
  ADD_FAILURE() << "no frame header";
  return jpg;
}

// The GIF with its screen, or its first frame, saying W x H.
std::string GifClaiming(std::string gif, uint16_t w, uint16_t h, bool frame) {
  size_t at = 6;
  if (frame) {
    const uint8_t flags = uint8_t(gif[10]);
    at = 13 + ((flags & 0x80) ? 3u * (2u << (flags & 7)) : 0u);
    while (at < gif.size() && uint8_t(gif[at]) == 0x21) {  // extensions
      at += 2;
      while (at < gif.size() && gif[at] != 0) at += 1 + uint8_t(gif[at]);
      ++at;
    }
    EXPECT_EQ(uint8_t(gif[at]), 0x2C) << "no frame found";
    at += 5;  // separator, left, top
  }
  gif[at] = char(w), gif[at + 1] = char(w >> 8);
  gif[at + 2] = char(h), gif[at + 3] = char(h >> 8);
  return gif;
}

TEST_F(ITerm2Test, HeadersClaimingHugePicturesAreRefusedBeforeDecoding) {
  const std::string png = MakeFile(Dir, "s.png", "-size 16x16 xc:red").Bytes;
  const std::string jpg = MakeFile(Dir, "s.jpg", "-size 16x16 xc:red").Bytes;
  const std::string gif = MakeFile(Dir, "s.gif", "-size 16x16 xc:red").Bytes;
  const struct {
    const char* Name;
    std::string File;
    const char* Size;
  } cases[] = {
      {"png", PngClaiming(png, 20000, 20000), "20000x20000"},
      {"png_one_side", PngClaiming(png, 5000, 10), "5000x10"},
      {"jpeg", JpegClaiming(jpg, 20000, 20000), "20000x20000"},
      {"gif_screen", GifClaiming(gif, 20000, 20000, false), "20000x20000"},
      {"gif_frame", GifClaiming(gif, 20000, 16, true), "20000x16"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TLogCapture log;
    EXPECT_EQ(Feed(Parser, "<" + Osc1337("", Base64Of(Dir, c.File)) + ">"), "<>");
    EXPECT_TRUE(Rig.Renderer.Sprites().empty());
    EXPECT_TRUE(log.Has("ITERM2: picture of " + std::string(c.Size) + " is over 4096 per side - dropping image"))
        << log.Text();
  }
}

TEST_F(ITerm2Test, FilesCutShortAreRefusedWithTheDecodersMessage) {
  const struct {
    const char* Name;
    const char* File;
    const char* MagickArgs;
  } cases[] = {
      {"png", "c.png", "-size 64x64 plasma:fractal -seed 5"},
      {"png_without_its_end_chunk", "c.png", "-size 64x64 plasma:fractal -seed 5"},
      {"jpeg", "c.jpg", "-size 64x64 plasma:fractal -seed 5"},
      {"jpeg_progressive", "c.jpg", "-size 64x64 plasma:fractal -seed 5 -interlace JPEG"},
      {"gif", "c.gif", "-size 64x64 plasma:fractal -seed 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string whole = MakeFile(Dir, c.File, c.MagickArgs).Bytes;
    ASSERT_GT(whole.size(), 200u);
    const std::string cut = std::string(c.Name) == "png_without_its_end_chunk" ? whole.substr(0, whole.size() - 12)
                                                                               : whole.substr(0, whole.size() / 2);
    TLogCapture log;
    EXPECT_EQ(Feed(Parser, "<" + Osc1337("", Base64Of(Dir, cut)) + ">"), "<>");
    EXPECT_TRUE(Rig.Renderer.Sprites().empty()) << whole.size() << " bytes cut to " << cut.size();
    const std::string text = log.Text();
    EXPECT_NE(text.find("ITERM2: image decode raised "), std::string::npos) << text;
    EXPECT_NE(text.find(" - dropping image"), std::string::npos) << text;
  }
}

// Escapes, introducers and their look-alikes in every order: the runs
// PlainRun counts, in chunks of any size, give what byte after byte gives.
TEST(ITerm2ParserRunsTest, RandomEscapeRowsGiveTheSameBytesByRuns) {
  const std::string alphabet = "\x1b" "]" "\xdd" "\x07" "\\" "x" "[" "0";
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    for (size_t n = next() % 20; n > 0; --n) bytes += alphabet[next() % alphabet.size()];
    TScreenRig rig;
    TITerm2Parser parser{&rig.Buffer, &rig.Renderer, TScreenRig::CellW, TScreenRig::CellH};
    const std::string expected = Feed(parser, bytes);
    for (size_t chunk : {size_t(1), size_t(3), size_t(64)}) {
      TScreenRig again;
      TITerm2Parser other{&again.Buffer, &again.Renderer, TScreenRig::CellW, TScreenRig::CellH};
      ASSERT_EQ(FeedByRuns(other, bytes, chunk), expected) << "round " << round << ", chunks of " << chunk;
    }
  }
}

}  // namespace
