// The Sixel decoder against img2sixel (libsixel), an independent encoder:
// pictures made by ImageMagick come back pixel for pixel in RGB and in HLS
// colour, and the cursor ends below them. Then the decoder's rules one by
// one on hand-written strings, the strings it must not show, and pictures
// far larger than the screen.
#include <gtest/gtest.h>

#include <string>

#include "graphics/uSixelParser.h"
#include "tests/graphics/ImageTestSupport.h"

using namespace imagetest;

namespace {

const std::string ESC = Escape();
std::string Dcs(const std::string& data) { return ESC + "Pq" + data + ESC + "\\"; }

TColorRGB PixelAt(const TImageSprite& s, int x, int y) { return s.Pixels[size_t(y) * size_t(s.W) + size_t(x)]; }
bool DrawnAt(const TImageSprite& s, int x, int y) { return s.Mask[size_t(y) * size_t(s.W) + size_t(x)] != 0; }

constexpr TColorRGB kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

struct TPeerPicture {
  const char* Name;
  const char* MagickArgs;  // ImageMagick arguments that make the picture
  const char* Options;     // img2sixel's
  // What the decoded picture must equal: the source; or, where the
  // encoder's palette is not the source's colours, libsixel's own decoding
  // (sixel2png) of the same string, or of the same picture encoded with RGB
  // registers (libsixel's decoder turns some hues wrongly).
  enum { Source, Libsixel, LibsixelRgb } Reference;
  const char* Fuzz;  // ImageMagick's colour distance that counts as equal
};

// Full and empty channels only: every encoder writes them exactly, as
// percentages and as hue, lightness and saturation.
const char* const kPrimaries =
    "-size 64x36 xc:black -fill red -draw 'rectangle 0,0 15,11' -fill '#00ff00' -draw 'rectangle 16,0 31,11' "
    "-fill blue -draw 'rectangle 32,12 47,23' -fill white -draw 'rectangle 48,24 63,35' -fill yellow "
    "-draw 'rectangle 0,24 15,35' -fill magenta -draw 'rectangle 16,12 31,23' -fill cyan -draw 'point 63,0' "
    "PNG24:";
const char* const kOddHeight =
    "-size 10x13 xc:blue -fill red -draw 'rectangle 0,0 4,6' -fill yellow -draw 'rectangle 5,7 9,12' "
    "-fill white -draw 'point 9,0' -fill black -draw 'point 0,12' PNG24:";
const char* const kPlasma = "-size 50x31 plasma:fractal -seed 9 -depth 8 PNG24:";

const TPeerPicture kPeerPictures[] = {
    {"primaries_rgb", kPrimaries, "-I -d none -t rgb", TPeerPicture::Source, "0"},
    {"primaries_hls", kPrimaries, "-I -d none -t hls", TPeerPicture::Source, "0"},
    {"odd_height_rgb", kOddHeight, "-I -d none -t rgb", TPeerPicture::Source, "0"},
    {"odd_height_hls", kOddHeight, "-I -d none -t hls", TPeerPicture::Source, "0"},
    {"plasma_palette_rgb", kPlasma, "-t rgb", TPeerPicture::Libsixel, "0"},
    // Hue in whole degrees, lightness and saturation in whole percent.
    {"plasma_palette_hls", kPlasma, "-t hls", TPeerPicture::LibsixelRgb, "3%"},
};

class SixelPeerTest : public ::testing::TestWithParam<TPeerPicture> {};

TEST_P(SixelPeerTest, Img2SixelPictureDecodesAsTheSourceOrAsLibsixel) {
  ASSERT_TRUE(HavePeer("img2sixel", "libsixel-bin"));
  ASSERT_TRUE(HavePeer("sixel2png", "libsixel-bin"));
  ASSERT_TRUE(HavePeer(kConvert, "imagemagick"));
  const TPeerPicture& picture = GetParam();
  TempDir dir;
  const std::string src = dir.File("source.png"), sixel = dir.File("picture.six");
  // ImageMagick takes the output format from a prefix on the file name.
  ASSERT_EQ(system((kConvert + " " + picture.MagickArgs + "'" + src + "'").c_str()), 0);
  ASSERT_EQ(system(("img2sixel " + std::string(picture.Options) + " '" + src + "' > '" + sixel + "'").c_str()), 0);
  const std::string bytes = ReadWholeFile(sixel);
  std::string reference = src;
  if (picture.Reference != TPeerPicture::Source) {
    std::string encoded = sixel;
    if (picture.Reference == TPeerPicture::LibsixelRgb) {
      encoded = dir.File("rgb.six");
      ASSERT_EQ(system(("img2sixel -t rgb '" + src + "' > '" + encoded + "'").c_str()), 0);
    }
    reference = dir.File("libsixel.png");
    ASSERT_EQ(system(("sixel2png < '" + encoded + "' > '" + reference + "'").c_str()), 0);
  }
  int width = 0, height = 0;
  ASSERT_EQ(std::sscanf(CommandOutput("identify -format '%w %h' '" + src + "'").c_str(), "%d %d", &width, &height), 2);

  TScreenRig rig;
  rig.Buffer.GotoXY(3, 2);
  TSixelParser parser(&rig.Buffer, &rig.Renderer, TScreenRig::CellW, TScreenRig::CellH);
  EXPECT_EQ(Feed(parser, "A" + bytes + "B"), "AB");
  EXPECT_TRUE(parser.TakeImagePlaced());
  const TImageSprite* s = rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->X, 3 * 8);
  EXPECT_EQ(s->Y, 2 * 16);
  ASSERT_EQ(s->W, width);
  ASSERT_EQ(s->H, height);
  ASSERT_TRUE(WriteWholeFile(dir.File("decoded.ppm"), SpriteAsPpm(*s)));
  EXPECT_EQ(DifferingPixels(reference, dir.File("decoded.ppm"), picture.Fuzz), "0") << bytes.substr(0, 300);
  // Below the picture, at the left margin.
  EXPECT_EQ(rig.Buffer.CursorX, 0);
  EXPECT_EQ(rig.Buffer.CursorY, 2 + (height + 15) / 16);
}

INSTANTIATE_TEST_SUITE_P(Pictures, SixelPeerTest, ::testing::ValuesIn(kPeerPictures),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- The decoder's rules, one string each.

struct TRule {
  const char* Name;
  std::string Data;   // between ESC P q and ESC "\"
  int Width, Height;  // of the placed picture; 0 when none is placed
  int X, Y;           // a pixel to look at
  bool Drawn;
  TColorRGB Colour;
  int CursorRow;  // after the picture, from row 0
};

const TRule kRules[] = {
    {"rgb_percent_red", "#1;2;100;0;0#1~", 1, 6, 0, 5, true, kRed, 1},
    {"hls_hue_0_is_blue", "#1;1;0;50;100~", 1, 6, 0, 0, true, kBlue, 1},
    {"hls_hue_120_is_red", "#1;1;120;50;100~", 1, 6, 0, 0, true, kRed, 1},
    {"hls_hue_240_is_green", "#1;1;240;50;100~", 1, 6, 0, 0, true, kGreen, 1},
    {"hls_grey_lightness_40", "#1;1;77;40;0~", 1, 6, 0, 0, true, TColorRGB{102, 102, 102}, 1},
    {"register_300_is_ignored", "#2;2;0;100;0#300;2;100;0;0~", 1, 6, 0, 0, true, kGreen, 1},
    {"register_alone_selects_its_colour", "#5~", 1, 6, 0, 0, true, TColorRGB{170, 0, 170}, 1},
    {"default_register_18_is_register_2", "#18~", 1, 6, 0, 0, true, TColorRGB{0, 170, 0}, 1},
    {"repeat_10_paints_a_block", "#15!10~", 10, 6, 9, 5, true, TColorRGB{255, 255, 255}, 1},
    {"repeat_0_paints_one_column", "#15!0~", 1, 6, 0, 0, true, TColorRGB{255, 255, 255}, 1},
    {"repeat_beyond_32_bits_counts_1", "#15!99999999999~", 1, 6, 0, 0, true, TColorRGB{255, 255, 255}, 1},
    {"bits_pick_rows", "#15A", 1, 2, 0, 0, false, TColorRGB{}, 1},  // 'A' = bit 1 only
    {"raster_size_without_sixels_is_transparent", "\"1;1;200;100", 200, 100, 199, 99, false, TColorRGB{}, 7},
    {"pan_2_doubles_rows", "\"2;1#15@", 1, 2, 0, 1, true, TColorRGB{255, 255, 255}, 1},
    {"pad_3_triples_columns", "\"1;3#15@", 3, 1, 2, 0, true, TColorRGB{255, 255, 255}, 1},
    {"pan_20_counts_as_16", "\"20;2#15@", 1, 8, 0, 7, true, TColorRGB{255, 255, 255}, 1},
    {"graphics_newline_starts_a_band", "#15~-~$#1!2~", 2, 12, 1, 11, true, TColorRGB{0, 0, 170}, 1},
    {"controls_and_blanks_are_ignored", "#1\r\n5 ~", 1, 6, 0, 0, true, TColorRGB{255, 255, 255}, 1},
    {"image_24_high_moves_2_lines", "#15~-~-~-~", 1, 24, 0, 23, true, TColorRGB{255, 255, 255}, 2},
    {"image_13_high_moves_1_line", "#15~-~-@", 1, 13, 0, 12, true, TColorRGB{255, 255, 255}, 1},
    {"over_long_parameters_are_cut", "#1;2;" + std::string(200, '0') + "100;0;0~", 1, 6, 0, 0, true,
     TColorRGB{0, 0, 170}, 1},
    {"nothing_painted_places_nothing", "#1;2;100;0;0", 0, 0, 0, 0, false, TColorRGB{}, 0},
};

class SixelRuleTest : public ::testing::TestWithParam<TRule> {};

TEST_P(SixelRuleTest, PlacesThePicture) {
  const TRule& rule = GetParam();
  TScreenRig rig;
  TSixelParser parser(&rig.Buffer, &rig.Renderer, TScreenRig::CellW, TScreenRig::CellH);
  // Cut anywhere, the string gives the same picture: feed it in two halves
  // with text before and after.
  const std::string all = "x" + Dcs(rule.Data) + "y";
  const std::string first = Feed(parser, all.substr(0, all.size() / 2));
  EXPECT_EQ(first + Feed(parser, all.substr(all.size() / 2)), "xy");
  if (rule.Width == 0) {
    EXPECT_FALSE(parser.TakeImagePlaced());
    EXPECT_TRUE(rig.Renderer.Sprites().empty());
    EXPECT_EQ(rig.Buffer.CursorY, 0);
    return;
  }
  const TImageSprite* s = rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->W, rule.Width);
  EXPECT_EQ(s->H, rule.Height);
  ASSERT_LT(rule.X, s->W);
  ASSERT_LT(rule.Y, s->H);
  EXPECT_EQ(DrawnAt(*s, rule.X, rule.Y), rule.Drawn);
  if (rule.Drawn) {
    EXPECT_EQ(PixelAt(*s, rule.X, rule.Y), rule.Colour);
  }
  EXPECT_EQ(rig.Buffer.CursorY, rule.CursorRow);
  EXPECT_EQ(rig.Buffer.CursorX, 0);
}

INSTANTIATE_TEST_SUITE_P(Rules, SixelRuleTest, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- What reaches the text emulation.

struct TPassing {
  const char* Name;
  std::string In, Out;
  size_t Pictures;
};

const TPassing kPassing[] = {
    {"plain_text", "Hello\r\n", "Hello\r\n", 0},
    {"other_escapes", ESC + "[1;31mX" + ESC + "7", ESC + "[1;31mX" + ESC + "7", 0},
    // A DCS string that is not sixel is swallowed with its whole terminator;
    // the 'q' of a status request does not start a picture.
    {"status_request_dcs", "A" + ESC + "P$qm" + ESC + "\\B", "AB", 0},
    {"dcs_ended_by_another_escape", "A" + ESC + "P1$r" + ESC + "[0mB", "A" + ESC + "[0mB", 0},
    {"sixel_with_parameters", ESC + "P0;1;0q#15~" + ESC + "\\", "", 1},
    {"esc_at_chunk_end_then_text", ESC + "Pq#15~" + ESC + "\\" + ESC, "", 1},
    {"sixel_with_esc_inside", ESC + "Pq#15~" + ESC + "x~" + ESC + "\\Z", "Z", 1},
    // An ESC takes the byte after it along, even another ESC, whose "P" then
    // starts nothing.
    {"escape_escape_then_p", "A" + ESC + ESC + "PB", "A" + ESC + ESC + "PB", 0},
    {"art_between_pictures", ESC + "[0;1;34m\xdb\xdb" + ESC + "[2C" + Dcs("#1~") + ESC + "[K" + ESC + "[5;1H.",
     ESC + "[0;1;34m\xdb\xdb" + ESC + "[2C" + ESC + "[K" + ESC + "[5;1H.", 1},
};

class SixelPassingTest : public ::testing::TestWithParam<TPassing> {};

TEST_P(SixelPassingTest, HandsOnWhatIsNotAPicture) {
  TScreenRig rig;
  TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
  EXPECT_EQ(Feed(parser, GetParam().In), GetParam().Out);
  EXPECT_EQ(rig.Renderer.Sprites().size(), GetParam().Pictures);
}

// The call hands the runs PlainRun counts on whole: in chunks of any size
// the same bytes come out and the same pictures are placed.
TEST_P(SixelPassingTest, PlainRunsGiveTheSameBytes) {
  for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(5), size_t(4096)}) {
    TScreenRig rig;
    TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
    EXPECT_EQ(FeedByRuns(parser, GetParam().In, chunk), GetParam().Out) << "chunks of " << chunk;
    EXPECT_EQ(rig.Renderer.Sprites().size(), GetParam().Pictures) << "chunks of " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(Bytes, SixelPassingTest, ::testing::ValuesIn(kPassing),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SixelParserTest, PlainRunStopsAtEscapeAndOnlyInTheGroundState) {
  TScreenRig rig;
  TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
  const std::string text = "abc" + ESC + "Pq";
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_EQ(parser.PlainRun(data, text.size()), 3u);
  // Other escapes are part of the run; an ESC whose next byte is still to
  // come is not.
  const std::string art = "ab" + ESC + "[1m" + ESC + "7" + ESC;
  EXPECT_EQ(parser.PlainRun(reinterpret_cast<const uint8_t*>(art.data()), art.size()), art.size() - 1);
  Feed(parser, text);
  EXPECT_EQ(parser.PlainRun(reinterpret_cast<const uint8_t*>("xyz"), 3), 0u);
}

// ---- Pictures larger than the screen, and the palette's life.

TEST(SixelParserTest, PictureIsClippedToTheScreenAndTheCursorFollowsItsFullHeight) {
  TScreenRig rig;
  rig.Buffer.GotoXY(78, 0);
  TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
  Feed(parser, Dcs("#15!64~-!64~-!64~"));  // 64 x 18
  const TImageSprite* s = rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->X, 78 * 8);
  EXPECT_EQ(s->W, 16);  // what is left of the 640-pixel screen
  EXPECT_EQ(s->H, 18);
  EXPECT_EQ(rig.Buffer.CursorY, 2);
}

// A few kilobytes that paint 4096 x 4096 pixels: only what the screen shows
// is kept and handed over, and the cursor still moves by the full height.
TEST(SixelParserTest, HugePaintedPictureCostsOnlyTheScreen) {
  TScreenRig rig;
  rig.Buffer.GotoXY(0, 20);
  TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
  std::string data = "\"1;1;4095;4095#15";
  for (int band = 0; band < 700; ++band) data += "!99999~-";
  Feed(parser, Dcs(data));
  const TImageSprite* s = rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->W, 640);
  EXPECT_EQ(s->H, 400 - 20 * 16);
  EXPECT_TRUE(DrawnAt(*s, 639, 79));
  EXPECT_EQ(rig.Buffer.CursorY, 24);  // 256 line feeds, scrolled at the bottom
}

TEST(SixelParserTest, WithoutAScreenPixelsPastColumnOrRow4095AreDropped) {
  TBitmapFont font(8, 16);
  TFontRenderer renderer(&font);
  TSixelParser parser(nullptr, &renderer, 8, 16);
  std::string data = "#15!5000~";
  for (int band = 0; band < 700; ++band) data += "-";
  data += "~";
  Feed(parser, Dcs(data));
  ASSERT_EQ(renderer.Sprites().size(), 1u);
  EXPECT_EQ(renderer.Sprites()[0].W, 4096);
  EXPECT_EQ(renderer.Sprites()[0].H, 6);  // the sixel at row 4200 is not there
}

TEST(SixelParserTest, PaletteLastsFromPictureToPictureUntilReset) {
  TScreenRig rig;
  TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
  Feed(parser, Dcs("#1;2;0;100;0~"));
  rig.Buffer.GotoXY(10, 10);
  Feed(parser, Dcs("#1~"));
  ASSERT_EQ(rig.Renderer.Sprites().size(), 2u);
  EXPECT_EQ(PixelAt(rig.Renderer.Sprites()[1], 0, 0), kGreen);
  parser.Reset();
  rig.Buffer.GotoXY(20, 10);
  Feed(parser, Dcs("#1~"));
  EXPECT_EQ(PixelAt(rig.Renderer.Sprites()[2], 0, 0), (TColorRGB{0, 0, 170}));
}

TEST(SixelParserTest, SamePlaceReplacesThePreviousFrame) {
  TScreenRig rig;
  TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
  Feed(parser, Dcs("#1;2;100;0;0~"));
  rig.Buffer.GotoXY(0, 0);
  Feed(parser, Dcs("#1;2;0;0;100~"));
  ASSERT_NE(rig.Only(), nullptr);
  EXPECT_EQ(PixelAt(*rig.Only(), 0, 0), kBlue);
}

TEST(SixelParserTest, HoldDropsFramesUntilItsDelayHasPassed) {
  TLogCapture log;
  TScreenRig rig;
  TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
  uint64_t now = 100000;
  parser.Clock = [&] { return now; };
  parser.VideoStartDelayMs = 2500;
  Feed(parser, Dcs("#15~"));  // the first frame starts the hold
  now += 2499;
  Feed(parser, Dcs("#15~"));
  EXPECT_TRUE(rig.Renderer.Sprites().empty());
  EXPECT_EQ(rig.Buffer.CursorY, 0) << "a dropped frame leaves the cursor";
  EXPECT_TRUE(log.Has("SIXEL: FinishImage dropped a decoded frame - still inside VideoStartDelayMs hold (2500ms)"));
  now += 1;
  Feed(parser, Dcs("#15~"));
  EXPECT_EQ(rig.Renderer.Sprites().size(), 1u);
  EXPECT_EQ(rig.Buffer.CursorY, 1);
}

// Escapes, introducers and their look-alikes in every order: the runs
// PlainRun counts, in chunks of any size, give what byte after byte gives.
TEST(SixelParserRunsTest, RandomEscapeRowsGiveTheSameBytesByRuns) {
  const std::string alphabet = "\x1b" "P" "q" "\\" "x" "[" "\xd0";
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    for (size_t n = next() % 20; n > 0; --n) bytes += alphabet[next() % alphabet.size()];
    TScreenRig rig;
    TSixelParser parser(&rig.Buffer, &rig.Renderer, 8, 16);
    const std::string expected = Feed(parser, bytes);
    for (size_t chunk : {size_t(1), size_t(3), size_t(64)}) {
      TScreenRig again;
      TSixelParser other(&again.Buffer, &again.Renderer, 8, 16);
      ASSERT_EQ(FeedByRuns(other, bytes, chunk), expected) << "round " << round << ", chunks of " << chunk;
    }
  }
}

}  // namespace
