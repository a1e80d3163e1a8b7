#include "door/uDDOFXGfx.h"

#include <algorithm>
#include <cstring>

using namespace ddofxgfx;

namespace {

// The VGA text-mode colours, 6 bits per component.
constexpr uint8_t kDefaultPalette[16][3] = {
    {0, 0, 0},    {0, 0, 42},   {0, 42, 0},   {0, 42, 42},  {42, 0, 0},   {42, 0, 42},
    {42, 21, 0},  {42, 42, 42}, {21, 21, 21}, {21, 21, 63}, {21, 63, 21}, {21, 63, 63},
    {63, 21, 21}, {63, 21, 63}, {63, 63, 21}, {63, 63, 63}};

}  // namespace

TDDOFXGfx::TDDOFXGfx() {
  for (auto& page : Pages) page.assign(kPageSize, 0);
  Anims.resize(kAnims + 1);
  Motions.resize(kMotions + 1);
  Sequences.resize(kSequences + 1);
  Flics.resize(kFlics + 1);
  TextWindows.resize(kTextWindows + 1);
  Fields.resize(kFields + 1);
  Buttons.resize(kGadgets + 1);
  RadioButtons.resize(kGadgets + 1);
  CheckBoxes.resize(kGadgets + 1);
  Icons.resize(kGadgets + 1);
  ListBoxes.resize(kListBoxes + 1);
  Regions.resize(kRegions + 1);
  MouseFields.resize(kMouseFields + 1);
  Collisions.resize(kCollisions + 1);
  Pointers.resize(kPointers + 1);
  GraphicsWindows.resize(kGraphicsWindows + 1);
  MusicBars.resize(kMusicBars + 1);
  FWork.assign(kPageSize, 0);
  TDDOFXRay::TCallbacks calls;
  calls.SpriteIndexByName = [this](const std::string& name) { return SpriteIndexByName(name); };
  calls.SpritePixels = [this](int index, int& w, int& h, const uint8_t*& pixels) {
    return SpritePixels(index, w, h, pixels);
  };
  calls.ReadAsset = [this](const std::string& name, bool fromPack, std::string& data) {
    return ReadAsset(name, fromPack, data);
  };
  calls.ForwardReply = [this](const std::string& text) { ForwardReply(text); };
  calls.FireGadget = [this](const std::string& send, const std::string& macro) { FireGadget(send, macro); };
  Ray = std::make_unique<TDDOFXRay>(std::move(calls));
  ClearAll();
}

TDDOFXGfx::~TDDOFXGfx() = default;

void TDDOFXGfx::Reset() {
  FGraphicsMode = false;
  FadeOut = false;
  PackBase.clear();
  FontName.clear();
  CellWidth = 8;
  CellHeight = 16;
  ResetPalette();
  ClearAll();
}

void TDDOFXGfx::ClearAll() {
  for (auto& page : Pages) std::fill(page.begin(), page.end(), uint8_t(0));
  FreeSprites();
  std::fill(Anims.begin(), Anims.end(), TGfxAnim{});
  PlayList.clear();
  std::fill(Motions.begin(), Motions.end(), TGfxMotion{});
  std::fill(Sequences.begin(), Sequences.end(), TGfxSequence{});
  for (int n = 1; n <= kFlics; ++n) CloseFlic(n);
  SequenceCount = 0;
  for (auto& w : TextWindows) w = TGfxWindow{};
  CurrentTextWindow = 0;
  ChangedTextWindow = 0;
  FBackgroundPaused = false;
  PausedRects.clear();
  ClearFields();
  ClearGadgets();
  for (auto& r : Collisions) r = TGfxColl{};
  for (auto& f : MouseFields) f = TGfxMFld{};
  MouseFieldOrder.clear();
  HoveredMouseField = 0;
  CurrentPointer = 0;
  ShakeUntil = 0;
  for (auto& w : GraphicsWindows) w = TGfxGWin{};
  ActiveWindow = OwnerWindow = DrawWindow = 0;
  HitWindow = DragWindow = DragDX = DragDY = 0;
  DragResize = false;
  for (auto& b : MusicBars) b = TGfxMusicBar{};
  MusicBarsOn = false;
  NextBarPoll = 0;
  Ray->Reset();
  ++PageVersion;
  WrapColumns = 80;
  TransparentColours.fill(0);
  Dirty = true;
}

void TDDOFXGfx::ClearGadgets() {
  for (auto& b : Buttons) b = TGfxButton{};
  for (auto& t : RadioButtons) t = TGfxToggle{};
  for (auto& t : CheckBoxes) t = TGfxToggle{};
  for (auto& i : Icons) i = TGfxIcon{};
  for (auto& l : ListBoxes) l = TGfxListBox{};
  for (auto& r : Regions) r = TGfxRegion{};
  HeldRegions.clear();
  NextRegionRepeat = 0;
  PressedButton = 0;
  PressGeneration = 0;
  ButtonReleaseAt = 0;
  LastListBox = LastListItem = 0;
  LastListClickAt = 0;
}

bool TDDOFXGfx::WindowTargeted() const {
  if (DrawWindow <= 0 || DrawWindow > kGraphicsWindows) return false;
  const TGfxGWin& w = GraphicsWindows[size_t(DrawWindow)];
  return w.Defined && w.Canvas.size() == size_t(kPageSize) && w.Mirror.size() == size_t(kPageSize);
}

uint8_t* TDDOFXGfx::Page(int n) {
  if (n < 0 || n >= kPages) n = 1;
  if (n != 2 && WindowTargeted()) {
    TGfxGWin& w = GraphicsWindows[size_t(DrawWindow)];
    return n == 3 ? w.Mirror.data() : w.Canvas.data();
  }
  return Pages[size_t(n)].data();
}

void TDDOFXGfx::ResetPalette() {
  Palette.fill(0);
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 3; ++c) Palette[size_t(i * 3 + c)] = kDefaultPalette[i][c];
  SavedPalette = Palette;
}

void TDDOFXGfx::Log(const std::string& text) {
  if (OnLog) OnLog("DDOFX gfx: " + text);
}

void TDDOFXGfx::SetTextFont(const uint8_t* glyphs4096) {
  if (!glyphs4096) return;
  std::memcpy(TextFont.data(), glyphs4096, TextFont.size());
  FontMetrics(TextFont.data(), TextFontTop, TextFontBottom);
}

void TDDOFXGfx::GraphicsModeOn() {
  if (FGraphicsMode) return;
  FGraphicsMode = true;
  ResetPalette();
  ClearAll();
  FadeOut = false;
  Log("graphics mode on");
}

void TDDOFXGfx::GraphicsModeOff() {
  if (FGraphicsMode) Log("graphics mode off");
  FGraphicsMode = false;
  ClearAll();
}

void TDDOFXGfx::RayKeyPress(int hkey, int lkey) {
  if (FGraphicsMode) Ray->KeyPress(hkey, lkey);
}

bool TDDOFXGfx::SpritePixels(int index, int& width, int& height, const uint8_t*& pixels) const {
  width = height = 0;
  pixels = nullptr;
  if (index < 0 || size_t(index) >= Sprites.size()) return false;
  const TGfxSprite& s = *Sprites[size_t(index)];
  if (s.Width <= 0 || s.Height <= 0) return false;
  width = s.Width;
  height = s.Height;
  pixels = s.Pixels.data();
  return true;
}

void TDDOFXGfx::ForwardReply(const std::string& text) {
  if (OnReply) OnReply(text);
}

bool TDDOFXGfx::Tick(uint64_t nowMs) {
  bool result = Dirty;
  Now = nowMs;
  if (!FGraphicsMode) return result;
  if (ReleasePushButton()) result = true;
  if (!HeldRegions.empty() && nowMs >= NextRegionRepeat) {
    NextRegionRepeat = nowMs + 120;
    for (int32_t n : std::vector<int32_t>(HeldRegions))
      if (n >= 1 && n <= kRegions && Regions[size_t(n)].Active) FireGadget(Regions[size_t(n)].SendText, Regions[size_t(n)].Macro);
    result = true;
  }
  if (FadeStart != 0) {
    result = true;
    if (nowMs >= FadeStart + uint64_t(FadeMs)) FadeStart = 0;
  }
  if (ShakeUntil != 0) {
    result = true;
    if (nowMs >= ShakeUntil) ShakeUntil = 0;
  }
  if (UpdateMusicBars()) result = true;
  if (FBackgroundPaused) return result;
  if (!FadeOut) {
    if (AdvanceFlics()) result = true;
    if (Ray->Tick(Page(0), Page(3), nowMs)) result = true;
  }
  for (int32_t n : std::vector<int32_t>(PlayList)) {
    if (n < 1 || n > kAnims) continue;
    TGfxAnim& a = Anims[size_t(n)];
    if (!a.Playing || !(a.FrameMode != 0 || (a.FirstPath != 0 && a.PathMode != 0))) continue;
    const uint64_t interval = uint64_t(1000 / std::clamp<int32_t>(a.Speed, 1, 100));
    if (a.NextDue == 0) a.NextDue = nowMs + interval;
    if (nowMs >= a.NextDue) {
      if (StepAnimation(n)) result = true;
      a.NextDue += interval;
      // A stalled timer costs one step, never a burst of catching up.
      if (a.NextDue + 4 * interval < nowMs) a.NextDue = nowMs + interval;
    }
  }
  if (result) CheckCollisions();
  return result;
}
