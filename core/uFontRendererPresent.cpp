// TFontRenderer, presentation: the aspect-keeping Present with its inverse
// ClientToCell, the window frame that presents once after the popups, and
// the changed-cells bookkeeping that lets a frame stretch only the part of
// the picture that changed since the last one went to the same place.
#include <algorithm>
#include <cmath>

#include "core/uFontRenderer.h"

namespace {

// The fitted size of a picture of the given aspect in a rectangle.
void FitInto(double aspect, int width, int height, int& fitW, int& fitH) {
  fitW = width;
  fitH = height;
  if (double(width) / height > aspect)
    fitW = int(std::nearbyint(height * aspect));
  else
    fitH = int(std::nearbyint(width / aspect));
}

// The target pixels whose footprint, in a stretch of a source axis Src long
// onto Dst pixels, overlaps source pixels From..To-1. The box filter's
// footprints overlap their neighbours, so this range also holds every pixel
// that nearest sampling or a plain copy takes from those source pixels.
void AffectedRange(int from, int to, int src, int dst, int& first, int& last) {
  first = int(int64_t(from) * dst / src);
  last = int((int64_t(to) * dst + src - 1) / src);  // exclusive
}

}  // namespace

void TFontRenderer::BeginFrame() {
  FInFrame = true;
  FPendingPresent = false;
  FPresentedInFrame = false;
}

bool TFontRenderer::EndFrame() {
  FInFrame = false;
  if (FPendingPresent) {
    FPendingPresent = false;
    PresentNow(*FPendingTarget, FPendingLeft, FPendingTop, FPendingWidth, FPendingHeight, FPendingFill);
    FPresentedInFrame = true;
  }
  return FPresentedInFrame;
}

void TFontRenderer::TakeTargetDamage(std::vector<platform::Rect>& out) {
  out.clear();
  out.swap(FTargetDamage);
}

void TFontRenderer::ForgetTarget() { FLastPlace = TPresentPlace{}; }

void TFontRenderer::Present(platform::Surface& target, int left, int top, int width, int height, bool fill) {
  if (!FInFrame) {
    PresentNow(target, left, top, width, height, fill);
    return;
  }
  // Within a frame only the last request per place counts; a request for
  // another place presents the earlier one first.
  if (FPendingPresent && (FPendingTarget != &target || FPendingLeft != left || FPendingTop != top ||
                          FPendingWidth != width || FPendingHeight != height || FPendingFill != fill)) {
    PresentNow(*FPendingTarget, FPendingLeft, FPendingTop, FPendingWidth, FPendingHeight, FPendingFill);
    FPresentedInFrame = true;
  }
  FPendingPresent = true;
  FPendingTarget = &target;
  FPendingLeft = left;
  FPendingTop = top;
  FPendingWidth = width;
  FPendingHeight = height;
  FPendingFill = fill;
}

void TFontRenderer::PresentNow(platform::Surface& target, int left, int top, int width, int height, bool fill) {
  DownsampleToDisplayDib();
  if (DirectPath()) EnsureDisplayDib();
  const int dw = FDisplay.Width(), dh = FDisplay.Height();
  int fitW = width, fitH = height;
  if (!fill && dw > 0 && dh > 0 && width > 0 && height > 0) FitInto(double(dw) / dh, width, height, fitW, fitH);
  const int offX = left + (width - fitW) / 2, offY = top + (height - fitH) / 2;
  const bool uneven = dw > 0 && dh > 0 && (fitW % dw != 0 || fitH % dh != 0);
  const bool smooth = FAntiAliasGlyphs || (FSmoothScaling && uneven);
  TPresentPlace place{&target, target.Id(), target.Width(), target.Height(), left, top, width, height, dw, dh, fill, smooth,
                      FAntiAliasGlyphs};
  // Anti-aliased reductions may change every pixel (the fast and the full
  // quality reduction take turns), so those frames are presented whole.
  if (!FPresentAll && place == FLastPlace && !FAntiAliasGlyphs && FShown.size() == FPresented.size()) {
    if (dw > 0 && dh > 0 && fitW > 0 && fitH > 0) PresentChangedCells(target, offX, offY, fitW, fitH, smooth);
    return;
  }
  FLastPlace = place;
  FPresentAll = false;
  FPresented = FShown;
  FTargetDamage.push_back(platform::Intersect(platform::Rect{left, top, left + width, top + height},
                                              platform::Rect{0, 0, target.Width(), target.Height()}));
  if (fitW != width || fitH != height) {
    const uint32_t black = 0;
    if (offX > left) {
      target.FillRect(platform::Rect{left, top, offX, top + height}, black);
      target.FillRect(platform::Rect{offX + fitW, top, left + width, top + height}, black);
    }
    if (offY > top) {
      target.FillRect(platform::Rect{left, top, left + width, offY}, black);
      target.FillRect(platform::Rect{left, offY + fitH, left + width, top + height}, black);
    }
  }
  if (dw <= 0 || dh <= 0 || fitW <= 0 || fitH <= 0) return;
  FLastPresentSmooth = smooth;
  StretchPart(target, platform::Rect{0, 0, dw, dh}, offX, offY, fitW, fitH, smooth);
}

// Stretches the display bitmap's rows of cells that changed since the last
// presentation, each row's changed columns as one part; runs of rows with
// the same columns go as one part.
void TFontRenderer::PresentChangedCells(platform::Surface& target, int offX, int offY, int fitW, int fitH,
                                        bool smooth) {
  if (!FFont || FCols <= 0 || FRows <= 0) return;
  const int f = FDisplay.Width() / std::max(1, FCols * FFont->Width());
  const int cellW = FFont->Width() * std::max(1, f), cellH = FFont->Height() * std::max(1, f);
  platform::Rect pending{};
  int pendingC0 = -1, pendingC1 = -1;
  auto flush = [&] {
    if (!platform::IsEmpty(pending)) StretchPart(target, pending, offX, offY, fitW, fitH, smooth);
    pending = platform::Rect{};
  };
  for (int r = 0; r < FRows; ++r) {
    const size_t row = size_t(r) * size_t(FCols);
    int c0 = -1, c1 = -1;
    for (int c = 0; c < FCols; ++c)
      if (!(FShown[row + size_t(c)] == FPresented[row + size_t(c)])) {
        if (c0 < 0) c0 = c;
        c1 = c;
      }
    if (c0 < 0) {
      flush();
      continue;
    }
    std::copy(FShown.begin() + long(row + size_t(c0)), FShown.begin() + long(row + size_t(c1) + 1),
              FPresented.begin() + long(row + size_t(c0)));
    if (!platform::IsEmpty(pending) && c0 == pendingC0 && c1 == pendingC1 && pending.Bottom == r * cellH) {
      pending.Bottom += cellH;
      continue;
    }
    flush();
    pending = platform::Rect{c0 * cellW, r * cellH, (c1 + 1) * cellW, (r + 1) * cellH};
    pendingC0 = c0;
    pendingC1 = c1;
  }
  flush();
}

// Brings the target pixels showing the display bitmap's Part up to date.
void TFontRenderer::StretchPart(platform::Surface& target, platform::Rect part, int offX, int offY, int fitW,
                                int fitH, bool smooth) {
  const int dw = FDisplay.Width(), dh = FDisplay.Height();
  part = platform::Intersect(part, platform::Rect{0, 0, dw, dh});
  if (platform::IsEmpty(part)) return;
  int x0, x1, y0, y1;
  AffectedRange(part.Left, part.Right, dw, fitW, x0, x1);
  AffectedRange(part.Top, part.Bottom, dh, fitH, y0, y1);
  const platform::Rect dst{offX, offY, offX + fitW, offY + fitH};
  const platform::Rect clip = platform::Intersect(
      platform::Intersect(platform::Rect{offX + x0, offY + y0, offX + x1, offY + y1}, dst),
      platform::Rect{0, 0, target.Width(), target.Height()});
  if (platform::IsEmpty(clip)) return;
  const platform::Rect src{0, 0, dw, dh};
  if (fitW == dw && fitH == dh)
    target.Copy(FDisplay, platform::Rect{clip.Left - offX, clip.Top - offY, clip.Right - offX, clip.Bottom - offY},
                clip.Left, clip.Top);
  else if (smooth && FCols > 0 && FRows > 0 && dw % FCols == 0 && dh % FRows == 0)
    target.StretchSmoothCells(FDisplay, src, dst, part, dw / FCols, dh / FRows, FStretchPlan);
  else if (smooth)
    target.StretchSmooth(FDisplay, src, dst, clip, &FStretchPlan);
  else
    target.StretchNearest(FDisplay, src, dst, clip);
  FTargetDamage.push_back(clip);
}

bool TFontRenderer::ClientToCell(int x, int y, int left, int top, int width, int height, int& col, int& row) const {
  col = 0;
  row = 0;
  const int pw = PixelWidth(), ph = PixelHeight();
  if (pw <= 0 || ph <= 0 || width <= 0 || height <= 0) return false;
  int fitW, fitH;
  FitInto(double(pw) / ph, width, height, fitW, fitH);
  const int offX = left + (width - fitW) / 2, offY = top + (height - fitH) / 2;
  if (FCols <= 0 || FRows <= 0 || fitW <= 0 || fitH <= 0) return false;
  const int lx = std::clamp(x - offX, 0, fitW - 1), ly = std::clamp(y - offY, 0, fitH - 1);
  col = std::clamp(int(lx / (double(fitW) / FCols)), 0, FCols - 1);
  row = std::clamp(int(ly / (double(fitH) / FRows)), 0, FRows - 1);
  return x >= offX && x < offX + fitW && y >= offY && y < offY + fitH;
}
