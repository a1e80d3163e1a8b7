// SyncTERM APC images: store, list (digests checked with md5sum), draw PPM
// and JPEG XL pictures at offsets, zooms, crops and mirrors (checked with
// ImageMagick, and with djxl for JPEG XL made by cjxl -d 0), the repeated-
// draw rule, the bounded cache, and the decoders' refusals: oversized,
// cut-short and malformed files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "graphics/uApcImages.h"
#include "platform/AppFolder.h"
#include "tests/graphics/ImageTestSupport.h"

using namespace imagetest;

namespace {

const std::string ESC = Escape();

std::string B64(TempDir& dir, const std::string& bytes) {
  WriteWholeFile(dir.File("raw.bin"), bytes);
  return CommandOutput("base64 -w0 '" + dir.File("raw.bin") + "'");
}

class ApcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HavePeer(kConvert, "imagemagick"));
    Engine.Clock = [this] { return Now; };
  }
  // Sends one APC string; returns whether the engine took it.
  bool Apc(const std::string& s) { return Engine.HandleApc(s, Reply); }
  std::string Make(const std::string& name, const std::string& magickArgs) {
    EXPECT_TRUE(Magick(magickArgs, Dir.File(name))) << magickArgs;
    return ReadWholeFile(Dir.File(name));
  }
  void Store(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(Apc("SyncTERM:C;S;" + name + ";" + B64(Dir, bytes)));
  }
  // Draws, each time a few seconds apart so that no draw counts as video.
  void Draw(const std::string& command) {
    Now += 5000;
    ASSERT_TRUE(Apc(command));
  }

  TempDir Dir;
  TScreenRig Rig;
  TApcImageEngine Engine{&Rig.Renderer};
  std::string Reply;
  uint64_t Now = 1000000;
};

// ---- Which strings are image commands.

TEST_F(ApcTest, RecognisesImageCommandsOnly) {
  const struct {
    std::string S;
    bool Taken;
  } cases[] = {
      {"SyncTERM:C;S;picture.PPM;UDMKMSAxCjI1NQowIDAgMAo=", true},
      {"SyncTERM:C;S;a.jxl;", true},
      {"SyncTERM:C;S;a.Pbm;AAAA", true},
      {"SyncTERM:C;S;tune.wav;UklGRg==", false},  // sounds are the audio engine's
      {"SyncTERM:C;S;noext", false},
      {"SyncTERM:C;S;a.ppm", false},  // no data separator
      {"SyncTERM:C;L", true},
      {"SyncTERM:C;L;*.jxl", true},
      {"SyncTERM:C;LX", false},
      {"SyncTERM:C;DrawPPM;x.ppm", true},
      {"SyncTERM:C;DrawJXL;x.jxl", true},
      {"SyncTERM:C;DrawPPMBlob;", true},
      {"SyncTERM:C;DrawJXLBlob;AAAA", true},
      {"SyncTERM:C;Q;x", false},
      {"SyncTERM:A;Play", false},
      {"syncterm:c;L", false},
  };
  for (const auto& c : cases) EXPECT_EQ(Apc(c.S), c.Taken) << c.S;
}

// ---- Store and list.

TEST_F(ApcTest, ListGivesNamesWithTheirMd5InCacheOrder) {
  ASSERT_TRUE(HavePeer("md5sum", "coreutils"));
  const std::string red = Make("red.ppm", "-size 3x2 xc:red -depth 8");
  const std::string empty;
  Store("red.ppm", red);
  Store("b.jxl", "not really a picture");
  Store("empty.ppm", empty);
  ASSERT_TRUE(Apc("SyncTERM:C;L"));
  WriteWholeFile(Dir.File("b.jxl"), "not really a picture");
  WriteWholeFile(Dir.File("empty.ppm"), empty);
  auto md5 = [&](const std::string& f) { return CommandOutput("md5sum '" + Dir.File(f) + "'").substr(0, 32); };
  EXPECT_EQ(Reply, ESC + "_SyncTERM:C;L\nred.ppm\t" + md5("red.ppm") + "\nb.jxl\t" + md5("b.jxl") + "\nempty.ppm\t" +
                       md5("empty.ppm") + "\n" + ESC + "\\");

  // A name stored again keeps its place and takes the new file.
  Store("red.ppm", "other");
  WriteWholeFile(Dir.File("other"), "other");
  ASSERT_TRUE(Apc("SyncTERM:C;L;*.ppm"));
  EXPECT_EQ(Reply,
            ESC + "_SyncTERM:C;L\nred.ppm\t" + md5("other") + "\nempty.ppm\t" + md5("empty.ppm") + "\n" + ESC + "\\");
}

TEST_F(ApcTest, ListPatterns) {
  for (const char* name : {"a.jxl", "b.JXL", "ab.ppm", "abc.ppm", "x.pbm"}) Store(name, "x");
  const struct {
    const char* Pattern;
    const char* Names;
  } cases[] = {
      {"", "a.jxl b.JXL ab.ppm abc.ppm x.pbm"},
      {"*", "a.jxl b.JXL ab.ppm abc.ppm x.pbm"},
      {"*.jxl", "a.jxl"},  // case-sensitive
      {"a?.ppm", "ab.ppm"},
      {"a*", "a.jxl ab.ppm abc.ppm"},
      {"*b*.*m", "ab.ppm abc.ppm"},
      {"*.p?m", "ab.ppm abc.ppm x.pbm"},
      {"ab.ppm**", "ab.ppm"},
      {"nothing", ""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Apc(std::string("SyncTERM:C;L") + (*c.Pattern ? std::string(";") + c.Pattern : "")));
    std::string names;
    size_t at = Reply.find('\n') + 1;
    while (at < Reply.size() && Reply[at] != '\x1b') {
      names += (names.empty() ? "" : " ") + Reply.substr(at, Reply.find('\t', at) - at);
      at = Reply.find('\n', at) + 1;
    }
    EXPECT_EQ(names, c.Names) << "pattern " << c.Pattern;
  }
  Engine.Reset();
  ASSERT_TRUE(Apc("SyncTERM:C;L"));
  EXPECT_EQ(Reply, ESC + "_SyncTERM:C;L\n" + ESC + "\\");
}

TEST_F(ApcTest, CacheIsBoundedInTotalBytes) {
  const std::string mib(1024 * 1024, 'x');
  Store("big.ppm", std::string(40 * mib.size(), 'a'));
  Store("small.ppm", "s");
  Store("ten.ppm", std::string(10 * mib.size(), 'b'));  // 50 MiB in all: the cache empties first
  ASSERT_TRUE(Apc("SyncTERM:C;L"));
  EXPECT_EQ(std::count(Reply.begin(), Reply.end(), '\t'), 1);
  EXPECT_NE(Reply.find("ten.ppm\t"), std::string::npos);
  EXPECT_LE(Engine.TotalBytes(), TApcImageEngine::CacheLimit);

  Store("huge.ppm", std::string(49 * mib.size(), 'c'));  // never stored, and the cache stays
  ASSERT_TRUE(Apc("SyncTERM:C;L"));
  EXPECT_EQ(Reply.find("huge.ppm"), std::string::npos);
  EXPECT_NE(Reply.find("ten.ppm\t"), std::string::npos);
}

TEST_F(ApcTest, ManyNamesCountAndEmptyTheCache) {
  for (size_t i = 0; i <= TApcImageEngine::MaxFiles; ++i)
    ASSERT_TRUE(Apc("SyncTERM:C;S;f" + std::to_string(i) + ".ppm;"));
  ASSERT_TRUE(Apc("SyncTERM:C;L"));
  EXPECT_EQ(std::count(Reply.begin(), Reply.end(), '\t'), 1);
  TLogCapture log;
  EXPECT_TRUE(Apc("SyncTERM:C;S;" + std::string(300, 'n') + ".ppm;AAAA"));
  EXPECT_TRUE(log.Has("APC images: store of a name over 255 characters - skipped"));
  EXPECT_TRUE(Apc("SyncTERM:C;S;bad.ppm;#!*"));
  EXPECT_TRUE(log.Has("APC images: store of bad.ppm was not valid base64"));
}

// ---- Drawing PPM pictures.

struct TDrawCase {
  const char* Name;
  const char* Args;      // before the file name
  const char* Expected;  // ImageMagick operations on the source giving the sprite
  int X, Y;              // where the sprite lands
};

// The source is 20 x 10; the screen 640 x 400.
const TDrawCase kDraws[] = {
    {"plain", "", "", 0, 0},
    {"offset", "DX=100;DY=37;", "", 100, 37},
    {"zoom_3_by_2", "ZX=3;ZY=2;DX=8;", "-sample 300%x200%", 8, 0},
    {"crop", "SX=5;SY=2;SW=7;SH=4;", "-crop 7x4+5+2 +repage", 0, 0},
    {"crop_without_size_takes_the_rest", "SX=15;", "-crop 5x10+15+0 +repage", 0, 0},
    {"crop_window_cut_to_the_picture", "SX=15;SW=100;", "-crop 5x10+15+0 +repage", 0, 0},
    {"mirror_x_with_zoom", "FX;ZX=2;", "-flop -sample 200%x100%", 0, 0},
    {"mirror_y_any_value", "fy=0;", "-flip", 0, 0},
    {"left_of_the_screen", "DX=-12;", "-crop 8x10+12+0 +repage", 0, 0},
    {"past_the_bottom_right", "DX=630;DY=395;", "-crop 10x5+0+0 +repage", 630, 395},
    {"keys_ignore_case_repeated_key_takes_the_last", "dx=5;Dx=9;unknown=3;", "", 9, 0},
};

class ApcDrawTest : public ApcTest, public ::testing::WithParamInterface<TDrawCase> {};

TEST_P(ApcDrawTest, DrawsWhatImageMagickMakesOfTheSource) {
  const TDrawCase& c = GetParam();
  Store("pic.ppm", Make("pic.ppm", "-size 20x10 plasma:fractal -seed 11 -depth 8"));
  Draw("SyncTERM:C;DrawPPM;" + std::string(c.Args) + "pic.ppm");
  EXPECT_TRUE(Engine.TakeImagePlaced());
  const TImageSprite* s = Rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->X, c.X);
  EXPECT_EQ(s->Y, c.Y);
  ASSERT_TRUE(Magick("'" + Dir.File("pic.ppm") + "' " + c.Expected, Dir.File("expected.ppm")));
  ASSERT_TRUE(WriteWholeFile(Dir.File("sprite.ppm"), SpriteAsPpm(*s)));
  EXPECT_EQ(DifferingPixels(Dir.File("expected.ppm"), Dir.File("sprite.ppm")), "0");
}

INSTANTIATE_TEST_SUITE_P(Draws, ApcDrawTest, ::testing::ValuesIn(kDraws),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ApcTest, InlinePpmAndTheScreenSizeFromTheApplication) {
  Engine.OnScreenPixels = [](int& w, int& h) { w = 30, h = 4; };
  Draw("SyncTERM:C;DrawPPMBlob;DX=25;" + B64(Dir, Make("b.ppm", "-size 20x10 xc:'#ff0000' -depth 8")));
  const TImageSprite* s = Rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->W, 5);
  EXPECT_EQ(s->H, 4);
  EXPECT_EQ(s->Pixels[0], (TColorRGB{255, 0, 0}));
}

TEST_F(ApcTest, DrawsThatPlaceNothing) {
  Store("pic.ppm", Make("pic.ppm", "-size 100x50 xc:blue -depth 8"));
  TLogCapture log;
  for (const char* args : {"ZX=17;", "ZY=0;", "SX=100;", "SY=-1;", "SW=0;", "SH=-5;", "DX=640;", "DY=-50;"}) {
    Draw(std::string("SyncTERM:C;DrawPPM;") + args + "pic.ppm");
    EXPECT_TRUE(Rig.Renderer.Sprites().empty()) << args;
  }
  EXPECT_EQ(log.Text().find("APC images:"), std::string::npos) << "silent drops\n" << log.Text();
  Draw("SyncTERM:C;DrawPPM;SX=90;pic.ppm");
  ASSERT_NE(Rig.Only(), nullptr);
  EXPECT_EQ(Rig.Only()->W, 10);
}

TEST_F(ApcTest, FailedDrawsAreLogged) {
  TLogCapture log;
  Store("notppm.ppm", "P5 1 1 255\n\x01");
  const struct {
    std::string Command, Line;
  } cases[] = {
      {"SyncTERM:C;DrawPPM;missing.ppm", "APC images: \"missing.ppm\" is not in the cache - skipped"},
      {"SyncTERM:C;DrawPPMBlob;@@@", "APC images: blob is not valid base64 - skipped"},
      {"SyncTERM:C;DrawPPM;notppm.ppm", "APC images: could not decode notppm.ppm"},
      {"SyncTERM:C;DrawJXLBlob;" + std::string(400, 'A'),
       "APC images: could not decode " + std::string(64, 'A') + "..."},
  };
  for (const auto& c : cases) {
    Draw(c.Command);
    EXPECT_TRUE(log.Has(c.Line)) << c.Line << "\n" << log.Text();
  }
  EXPECT_TRUE(Rig.Renderer.Sprites().empty());
}

TEST_F(ApcTest, RepeatedDrawsToOneSpotAreVideo) {
  TLogCapture log;
  Store("pic.ppm", Make("pic.ppm", "-size 4x4 xc:red -depth 8"));
  const std::string draw = "SyncTERM:C;DrawPPM;DX=0;DY=0;pic.ppm";
  auto drawAt = [&](uint64_t after) {
    Now += after;
    Rig.Renderer.ClearSprites();
    Apc(draw);
    return !Rig.Renderer.Sprites().empty();
  };
  EXPECT_TRUE(drawAt(0));
  EXPECT_TRUE(drawAt(300));
  EXPECT_FALSE(drawAt(300));
  const std::string videoLine =
      "APC images: repeated image draws to the same spot, each under a second apart - treating it as video and "
      "ignoring it (still images only)";
  EXPECT_TRUE(log.Has(videoLine));
  EXPECT_FALSE(drawAt(900)) << "still suppressed";
  EXPECT_TRUE(drawAt(1500)) << "a draw 1.5 s later is a still picture again";
  // Elsewhere is not the same spot.
  EXPECT_TRUE(drawAt(5000));
  EXPECT_TRUE(drawAt(100));
  Now += 100;
  Apc("SyncTERM:C;DrawPPM;DX=50;pic.ppm");
  EXPECT_EQ(Rig.Renderer.Sprites().size(), 2u);
  const std::string text = log.Text();
  EXPECT_EQ(text.find(videoLine), text.rfind(videoLine)) << "logged once per call";
}

// ---- The PPM decoder.

TEST(ApcPnmTest, DecodesAndRefuses) {
  const struct {
    const char* Name;
    std::string File;
    bool Ok;
    int W, H;
    uint8_t First;  // red of the first pixel
  } cases[] = {
      {"p6_max_100_scales", std::string("P6 2 1 100\n") + char(100) + char(50) + char(0) + char(50) + char(0) + char(0),
       true, 2, 1, 255},
      {"p6_max_100_half", std::string("P6\n1 1\n100 ") + char(50) + char(0) + char(0), true, 1, 1, 127},
      {"p3_with_comments", "P3\n# made by hand\n2 # width\n1\n255\n# pixels\n1 2 3  4 5 6\n", true, 2, 1, 1},
      {"p6_one_byte_short", std::string("P6 2 1 255\n") + std::string(5, 'x'), false, 0, 0, 0},
      {"p3_sample_missing", "P3 2 1 255 1 2 3 4 5", false, 0, 0, 0},
      {"width_9000", "P6 9000 10 255\n" + std::string(9000 * 10 * 3, '\0'), false, 0, 0, 0},
      {"width_8192_accepted", "P6 8192 1 255\n" + std::string(8192 * 3, '\x07'), true, 8192, 1, 7},
      {"sixteen_bit_samples", "P6 1 1 65535\n\0\0\0\0\0\0", false, 0, 0, 0},
      {"p5_grey", "P5 1 1 255\n\x01", false, 0, 0, 0},
      {"p1_bitmap", "P1 1 1 1", false, 0, 0, 0},
      {"header_claims_8192_square_of_a_few_bytes", "P6 8192 8192 255\n\x01\x02", false, 0, 0, 0},
      {"over_the_pixel_limit", "P6 8192 4096 255\n" + std::string(16, '\0'), false, 0, 0, 0},
      {"number_over_100000", "P6 1000000 1 255\n", false, 0, 0, 0},
      {"two_bytes", "P6", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    TRgbaPicture p;
    EXPECT_EQ(DecodePnm(reinterpret_cast<const uint8_t*>(c.File.data()), c.File.size(), p), c.Ok) << c.Name;
    EXPECT_EQ(p.Width, c.W) << c.Name;
    EXPECT_EQ(p.Height, c.H) << c.Name;
    if (c.Ok) {
      ASSERT_EQ(p.Rgba.size(), size_t(c.W) * size_t(c.H) * 4) << c.Name;
      EXPECT_EQ(p.Rgba[0], c.First) << c.Name;
      EXPECT_EQ(p.Rgba[3], 255) << c.Name;
    } else {
      EXPECT_TRUE(p.Rgba.empty()) << c.Name;
    }
  }
}

// ---- JPEG XL through libjxl from the dll folder.

class ApcJxlTest : public ApcTest {
 protected:
  void SetUp() override {
    ApcTest::SetUp();
    ASSERT_TRUE(HavePeer("cjxl", "libjxl-tools"));
    ASSERT_TRUE(HavePeer("djxl", "libjxl-tools"));
    ASSERT_TRUE(LoadJxlLibrary()) << "libjxl is not in the build's dll folder";
  }
  std::string Jxl(const std::string& name, const std::string& magickArgs) {
    Make(name + ".png", magickArgs);
    EXPECT_EQ(
        system(
            ("cjxl -d 0 '" + Dir.File(name + ".png") + "' '" + Dir.File(name + ".jxl") + "' >/dev/null 2>&1").c_str()),
        0);
    return ReadWholeFile(Dir.File(name + ".jxl"));
  }
};

TEST_F(ApcJxlTest, LosslessJxlDrawsPixelEqualToDjxl) {
  const struct {
    const char* Name;
    const char* MagickArgs;
    const char* Args;
  } cases[] = {
      {"opaque", "-size 45x31 plasma:fractal -seed 21 -depth 8", "DX=3;DY=4;"},
      {"zoomed", "-size 13x9 plasma:fractal -seed 22 -depth 8", "ZX=2;ZY=3;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Rig.Renderer.ClearSprites();
    Store(std::string(c.Name) + ".jxl", Jxl(c.Name, c.MagickArgs));
    Draw("SyncTERM:C;DrawJXL;" + std::string(c.Args) + c.Name + ".jxl");
    const TImageSprite* s = Rig.Only();
    ASSERT_NE(s, nullptr);
    const std::string jxl = Dir.File(std::string(c.Name) + ".jxl"), ref = Dir.File("ref.png");
    ASSERT_EQ(system(("djxl '" + jxl + "' '" + ref + "' >/dev/null 2>&1").c_str()), 0);
    const std::string zoom = std::string(c.Name) == "zoomed" ? "-sample 200%x300%" : "";
    ASSERT_TRUE(Magick("'" + ref + "' " + zoom, Dir.File("expected.ppm")));
    ASSERT_TRUE(WriteWholeFile(Dir.File("sprite.ppm"), SpriteAsPpm(*s)));
    EXPECT_EQ(DifferingPixels(Dir.File("expected.ppm"), Dir.File("sprite.ppm")), "0");
  }
}

TEST_F(ApcJxlTest, InlineJxlWithTransparencyAndAnimation) {
  Draw("SyncTERM:C;DrawJXLBlob;" +
       B64(Dir, Jxl("t", "-size 8x8 xc:'#00ff00' -alpha set -fill none -draw 'color 3,3 point'")));
  const TImageSprite* s = Rig.Only();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Mask[3 * 8 + 3], 0);
  EXPECT_EQ(s->Mask[0], 1);
  EXPECT_EQ(s->Pixels[0], (TColorRGB{0, 255, 0}));

  // An animation shows its first frame.
  Make("anim.gif", "-delay 10 -size 12x10 xc:'#0000ff' -size 12x10 xc:'#ff0000' -loop 0");
  ASSERT_EQ(system(("cjxl -d 0 '" + Dir.File("anim.gif") + "' '" + Dir.File("anim.jxl") + "' >/dev/null 2>&1").c_str()),
            0);
  Rig.Renderer.ClearSprites();
  Draw("SyncTERM:C;DrawJXLBlob;" + B64(Dir, ReadWholeFile(Dir.File("anim.jxl"))));
  ASSERT_NE(Rig.Only(), nullptr);
  EXPECT_EQ(Rig.Only()->W, 12);
  EXPECT_EQ(Rig.Only()->Pixels[0], (TColorRGB{0, 0, 255}));
}

TEST_F(ApcJxlTest, OversizedCutShortAndForeignFilesAreRefused) {
  TLogCapture log;
  Store("wide.jxl", Jxl("wide", "-size 9000x10 xc:red"));
  Draw("SyncTERM:C;DrawJXL;wide.jxl");
  EXPECT_TRUE(log.Has("JXL: image 9000x10 rejected (empty or over 8192 per side)")) << log.Text();
  EXPECT_TRUE(log.Has("APC images: could not decode wide.jxl"));

  Store("edge.jxl", Jxl("edge", "-size 8192x1 xc:red"));
  Draw("SyncTERM:C;DrawJXL;edge.jxl");
  ASSERT_NE(Rig.Only(), nullptr);
  EXPECT_EQ(Rig.Only()->W, 640);  // accepted, and cut to the screen
  Rig.Renderer.ClearSprites();

  const std::string whole = Jxl("cut", "-size 64x64 plasma:fractal -seed 4");
  Store("cut.jxl", whole.substr(0, whole.size() / 2));
  Draw("SyncTERM:C;DrawJXL;cut.jxl");
  EXPECT_TRUE(log.Has("APC images: could not decode cut.jxl"));

  // The command names the format: a PPM drawn as JPEG XL is not a picture.
  Store("pic.ppm", Make("pic.ppm", "-size 4x4 xc:red -depth 8"));
  Draw("SyncTERM:C;DrawJXL;pic.ppm");
  EXPECT_TRUE(log.Has("JXL: decoder reported an error - not a valid JPEG XL image")) << log.Text();
  EXPECT_TRUE(Rig.Renderer.Sprites().empty());
}

// Without the library in the dll folder, JPEG XL is off and says so once;
// PPM goes on. Run in a fresh process, since the library is bound once.
TEST(ApcJxlMissingTest, MissingLibrarySwitchesJpegXlOff) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::TempDir folder;
        platform::SetAppFolder(folder.Path());
        TLogCapture log;
        const bool loaded = LoadJxlLibrary();
        TScreenRig rig;
        TApcImageEngine engine(&rig.Renderer);
        std::string reply;
        engine.HandleApc("SyncTERM:C;DrawJXLBlob;AAAA", reply);
        engine.HandleApc("SyncTERM:C;DrawPPMBlob;UDYgMSAxIDI1NQr/AAA=", reply);
        const std::string text = log.Text();
        const bool logged =
            text.find("JXL: libjxl.so (libjxl) not found in KORVAN's dll/ folder") != std::string::npos &&
            text.find("APC images: could not decode AAAA") != std::string::npos;
        std::exit(!loaded && logged && rig.Renderer.Sprites().size() == 1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
