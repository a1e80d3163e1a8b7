// The renderer's direct road against its reference: every glyph, with every
// attribute, through every font form, at every whole scale, must give the
// same display bitmap and the same window picture as drawing the full-scale
// render bitmap and reducing it. And a picture presented in parts, frame
// after frame, must equal the same picture presented whole.
#include <gtest/gtest.h>

#include <cmath>

#include "core/uBuiltinGlyphs.h"
#include "core/uFontRenderer.h"
#include "tests/support/ChildProcess.h"

namespace {

constexpr TColorRGB kRed{0xAA, 0, 0}, kBlue{0, 0, 0xAA}, kWhite{0xFF, 0xFF, 0xFF}, kYellow{0xFF, 0xFF, 0x55};

::testing::AssertionResult SamePixels(const platform::Surface& got, const platform::Surface& want) {
  if (got.Width() != want.Width() || got.Height() != want.Height())
    return ::testing::AssertionFailure() << "size " << got.Width() << "x" << got.Height() << " against "
                                         << want.Width() << "x" << want.Height();
  for (int y = 0; y < got.Height(); ++y)
    for (int x = 0; x < got.Width(); ++x)
      if (got.Pixel(x, y) != want.Pixel(x, y))
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << ": " << std::hex << got.Pixel(x, y)
                                             << " against " << want.Pixel(x, y);
  return ::testing::AssertionSuccess();
}

// A double-size companion unlike a plain doubling of the 8 x 16 glyphs, so
// that a road taking the wrong glyph form shows.
std::string DoubleGlyphs() {
  std::string f32(256 * 64, '\0');
  for (int ch = 0; ch < 256; ++ch)
    for (int y = 0; y < 32; ++y) {
      uint8_t base = uint8_t(kVga8x16Glyphs[ch * 16 + y / 2]);
      f32[size_t(ch * 64 + y * 2)] = char(base ^ (y % 3 == 0 ? 0x81 : 0));
      f32[size_t(ch * 64 + y * 2 + 1)] = char((ch * 7 + y) & 0xFF);
    }
  return f32;
}

enum class FontForm { Vga8x16, Vga8x8, WithDouble, DoubleOff };

struct Fonts {
  testsupport::TempDir Dir;
  TBitmapFont Font, Ui;
  explicit Fonts(FontForm form) {
    std::string vga(kVga8x16Glyphs, kVga8x16Glyphs + 4096);
    if (form == FontForm::WithDouble || form == FontForm::DoubleOff) {
      EXPECT_TRUE(testsupport::WriteWholeFile(Dir.File("T_8x16.F16"), vga));
      EXPECT_TRUE(testsupport::WriteWholeFile(Dir.File("T_16x32.F32"), DoubleGlyphs()));
      EXPECT_TRUE(Font.LoadFromFile(Dir.File("T_8x16.F16")));
      EXPECT_TRUE(Ui.LoadFromFile(Dir.File("T_8x16.F16")));
    }
    if (form == FontForm::Vga8x8) Font.LoadFromMemory(8, 8, kVga8x8Glyphs, sizeof kVga8x8Glyphs);
  }
};

// The screen: every glyph once, in a 32 x 8 grid, with the attribute Kind.
void FillGlyphs(TTerminalBuffer& b, int kind) {
  for (int i = 0; i < 256; ++i) {
    TCell c{uint8_t(i), AnsiPalette[(i + kind) % 16], AnsiPalette[(i / 16 + kind) % 8]};
    c.Underline = kind == 1 || kind == 3;
    c.Reverse = kind == 2 || kind == 3;
    c.Blink = kind == 4 && i % 2 == 0;
    b.SetCell(i % 32, i / 32, c);
  }
}

TEST(FontRendererRoadsTest, DirectRoadDrawsTheReferencePixels) {
  struct Form {
    const char* Name;
    FontForm Form;
  } forms[] = {{"8x16", FontForm::Vga8x16},
               {"8x8", FontForm::Vga8x8},
               {"double-size companion", FontForm::WithDouble},
               {"companion with upscaling off", FontForm::DoubleOff}};
  const char* kinds[] = {"plain", "underline", "reverse", "reverse underline", "blink off phase"};
  for (const Form& form : forms)
    for (int scale = 1; scale <= 4; ++scale) {
      Fonts setup(form.Form);
      TFontRenderer reference(&setup.Font), direct(&setup.Font);
      for (TFontRenderer* r : {&reference, &direct}) {
        r->SetUiFont(&setup.Ui);
        r->SetScale(float(scale));
        r->SetAntiAliasGlyphs(false);
        r->SetUpscaledFont(form.Form != FontForm::DoubleOff);
      }
      reference.SetReferencePath(true);
      ASSERT_TRUE(direct.DirectPath());
      TTerminalBuffer buffer(32, 8);
      buffer.GotoXY(5, 3);
      const int cellH = setup.Font.Height();
      for (int kind = 0; kind < 5; ++kind) {
        SCOPED_TRACE(std::string(form.Name) + ", scale " + std::to_string(scale) + ", " + kinds[kind]);
        FillGlyphs(buffer, kind);
        // A picture over a corner, popups in both fonts, and (in the on
        // phase) the cursor.
        std::vector<TColorRGB> px(36);
        for (size_t i = 0; i < px.size(); ++i) px[i] = AnsiPalette[i % 16];
        std::vector<uint8_t> mask(36, 1);
        mask[7] = 0;
        for (TFontRenderer* r : {&reference, &direct}) r->AddImageSprite(32 * 8 - 4, cellH * 8 - 3, 6, 6, px, mask);
        const bool blinkOn = kind != 4;
        platform::Surface targets[2][2];
        const int sizes[2][2] = {{32 * 8 * 5 / 2, cellH * 8 * 5 / 2}, {32 * 8 * 2 + 30, cellH * 8 * 2}};
        for (int which = 0; which < 2; ++which) {
          TFontRenderer& r = which == 0 ? reference : direct;
          for (int t = 0; t < 2; ++t) {
            targets[which][t].Resize(sizes[t][0], sizes[t][1]);
            buffer.Dirty = true;
            r.RenderBuffer(buffer, targets[which][t], 0, 0, sizes[t][0], sizes[t][1], blinkOn, true, false);
            r.DrawCell(1, 7, TCell{'P', kYellow, kBlue, false, false, true});
            r.DrawCellUiFont(2, 7, TCell{'U', kWhite, kRed, false, false, true, false});
            r.DrawCellUiFont(3, 7, TCell{0xB1, kWhite, kRed, false, false, false, true});
            r.DrawCursor(4, 7, kRed);
            r.Present(targets[which][t], 0, 0, sizes[t][0], sizes[t][1], false);
          }
        }
        ASSERT_TRUE(SamePixels(direct.DisplayBitmap(), reference.DisplayBitmap()));
        ASSERT_TRUE(SamePixels(targets[1][0], targets[0][0])) << "smooth stretch by 2.5";
        ASSERT_TRUE(SamePixels(targets[1][1], targets[0][1])) << "whole multiple with bars";
        for (TFontRenderer* r : {&reference, &direct}) r->ClearSprites();
      }
      EXPECT_TRUE(direct.RenderBitmap().Empty()) << "the direct road needs no full-scale bitmap";
    }
}

// A small random generator, so a failure replays.
struct Rng {
  uint32_t S = 2463534242u;
  uint32_t Next() {
    S ^= S << 13;
    S ^= S >> 17;
    S ^= S << 5;
    return S;
  }
  int Below(int n) { return int(Next() % uint32_t(n)); }
};

// The picture presented whole: the display bitmap fitted with black bars.
platform::Surface PresentedWhole(const platform::Surface& display, int w, int h, bool smooth) {
  platform::Surface whole(w, h);
  const double aspect = double(display.Width()) / display.Height();
  int fitW = w, fitH = h;
  if (double(w) / h > aspect)
    fitW = int(std::nearbyint(h * aspect));
  else
    fitH = int(std::nearbyint(w / aspect));
  const platform::Rect src{0, 0, display.Width(), display.Height()};
  const platform::Rect dst{(w - fitW) / 2, (h - fitH) / 2, (w - fitW) / 2 + fitW, (h - fitH) / 2 + fitH};
  if (smooth)
    whole.StretchSmooth(display, src, dst);
  else
    whole.StretchNearest(display, src, dst);
  return whole;
}

// One window frame as the application paints it: the buffer, then a popup
// line over the bottom row, presented once.
void Frame(TFontRenderer& r, TTerminalBuffer& buffer, platform::Surface& target, bool blinkOn, bool spritesDirty,
           bool popups, std::vector<platform::Rect>& damage) {
  r.BeginFrame();
  r.RenderBuffer(buffer, target, 0, 0, target.Width(), target.Height(), blinkOn, spritesDirty, false);
  if (popups)
    for (int c = 0; c < buffer.FWidth; ++c)
      r.DrawCell(c, buffer.FHeight - 1, TCell{uint8_t('A' + c % 26), kWhite, kBlue});
  r.Present(target, 0, 0, target.Width(), target.Height(), false);
  ASSERT_TRUE(r.EndFrame());
  r.TakeTargetDamage(damage);
}

// A window keeps what it showed and takes only the changed rectangles: frame
// after frame of scattered changes, popups drawn over cells and taken away,
// a blinking cursor and pictures, the window must show what a whole
// presentation of the same bitmap gives, and an unchanged frame changes
// nothing.
TEST(FontRendererRoadsTest, PresentingOnlyChangesKeepsTheWholePicture) {
  struct Window {
    const char* Name;
    int W, H;
    bool Smooth;
  } windows[] = {{"smooth 2.5", 800, 500, true}, {"nearest with bars", 700, 400, false}};
  for (const Window& win : windows) {
    SCOPED_TRACE(win.Name);
    TBitmapFont font;
    TFontRenderer r(&font);
    r.SetScale(4);
    r.SetAntiAliasGlyphs(false);
    r.SetSmoothScaling(win.Smooth);
    TTerminalBuffer buffer(40, 12);  // 320 x 192 pixels
    platform::Surface target(win.W, win.H), shown(win.W, win.H);
    std::vector<platform::Rect> damage;
    Rng rng;
    for (int frame = 0; frame < 60; ++frame) {
      SCOPED_TRACE("frame " + std::to_string(frame));
      const int changes = frame % 7 == 3 ? 0 : rng.Below(12);
      for (int i = 0; i < changes; ++i)
        buffer.SetCell(rng.Below(40), rng.Below(12),
                       TCell{uint8_t(rng.Below(256)), AnsiPalette[rng.Below(16)], AnsiPalette[rng.Below(8)], false,
                             rng.Below(4) == 0, rng.Below(5) == 0, rng.Below(5) == 0});
      if (frame % 11 == 5) {
        std::vector<TColorRGB> px(16, kYellow);
        r.AddImageSprite(rng.Below(320), rng.Below(192), 4, 4, px, std::vector<uint8_t>(16, 1));
      }
      if (frame % 13 == 12) r.ClearSprites();
      buffer.GotoXY(rng.Below(40), rng.Below(12));
      Frame(r, buffer, target, frame % 4 < 2, frame % 11 == 5, frame % 9 != 8, damage);
      for (const platform::Rect& d : damage) shown.Copy(target, d, d.Left, d.Top);
      platform::Surface whole = PresentedWhole(r.DisplayBitmap(), win.W, win.H, win.Smooth);
      ASSERT_TRUE(SamePixels(target, whole));
      ASSERT_TRUE(SamePixels(shown, whole)) << "the changed rectangles missed a change";
    }
    // Nothing changed: the popups are drawn over the cells again, and the
    // window is told of no change.
    r.ClearSprites();
    buffer.Dirty = true;
    Frame(r, buffer, target, true, false, true, damage);
    buffer.Dirty = true;
    Frame(r, buffer, target, true, false, true, damage);
    EXPECT_TRUE(damage.empty());
  }
}

}  // namespace
