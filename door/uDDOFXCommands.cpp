// The engine's single command entry: the mode words, the raycaster's "5"
// words, the graphics-window group, then the drawing, sprite, animation,
// flic, palette and gadget words in a fixed order. True means the command
// was consumed; false lets the interpreter go on with it (the word also
// concerns the interpreter, or the engine does not know it).
#include <algorithm>
#include <cctype>

#include "door/uDDOFXGfx.h"
#include "door/uDDOFXText.h"

using namespace ddofxgfx;

namespace {

int32_t I32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

void TDDOFXGfx::SplitParams(const std::string& text, int maxFields, TParams& list) {
  list.clear();
  size_t from = 0;
  while (!(maxFields > 0 && int(list.size()) >= maxFields - 1)) {
    const size_t comma = text.find(',', from);
    if (comma == std::string::npos) break;
    list.push_back(text.substr(from, comma - from));
    from = comma + 1;
  }
  list.push_back(text.substr(from));
}

int64_t TDDOFXGfx::IntParam(const TParams& list, size_t index, int64_t def) {
  if (index >= list.size()) return def;
  // A decimal integer with an optional sign that fits 32 bits; anything
  // else is not a number.
  int64_t v = 0;
  if (!ddofxtext::ParseInt64(ddofxtext::Trim(list[index]), v) || v < INT32_MIN || v > INT32_MAX) return def;
  return v;
}

std::string TDDOFXGfx::StrParam(const TParams& list, size_t index) {
  return index < list.size() ? list[index] : std::string();
}

int TDDOFXGfx::PageIndex(char letter) {
  switch (letter) {
    case 'V': return 0;
    case 'B': return 2;
    case 'H': return 3;
    default: return 1;
  }
}

bool TDDOFXGfx::ExecCommand(const std::string& text) {
  if (text.empty()) return false;
  if (text == "LIGMODE") {
    GraphicsModeOn();
    return true;
  }
  if (text == "2GEXIT") {
    GraphicsModeOff();
    return true;
  }
  if (ddofxtext::StartsWith(text, "2f")) {
    PackBase = ddofxtext::Trim(text.substr(2));
    return false;
  }
  if (text[0] == 'f' && text.size() > 1) {
    FontName = ddofxtext::Trim(text.substr(1));
    Dirty = true;
    return false;
  }
  if (!FGraphicsMode) return false;
  if (text[0] == '5' && Ray->ExecCommand(text, Page(0), Page(3))) {
    Dirty = true;
    return true;
  }
  if (Ray->Visible) Ray->MarkRedraw();
  TGfxCommand c;
  c.Text = text;
  const size_t comma = text.find(',');
  c.Name = text.substr(0, comma);
  if (comma != std::string::npos) c.ParamText = text.substr(comma + 1);
  RefreshWindows();
  bool result = true;
  if (c.Name[0] == '1' && c.Name != "1CLOSE" && c.Name != "1HIDE") ChangedTextWindow = -1;
  if (!GraphicsWindowCommand(c, result) && !RunWord(c, result)) result = false;
  static const char* const kOwned[] = {"2ANIM", "2ICON", "3MREG", "3MREGN", "3MFLD",
                                       "5CPUSHB", "5CRBUTTON", "5CCHKBOX", "5CLBOX"};
  for (const char* word : kOwned)
    if (c.Name == word) StampOwner(c);
  return result;
}

bool TDDOFXGfx::RunWord(const TGfxCommand& c, bool& result) {
  TParams p;
  const std::string& name = c.Name;
  if (name == "1SCALE") {
    SplitParams(c.ParamText, 0, p);
    CellWidth = int32_t(std::clamp<int64_t>(IntParam(p, 0, 8), 1, 8));
    CellHeight = int32_t(std::clamp<int64_t>(IntParam(p, 1, 16), 1, 16));
    Dirty = true;
    return true;
  }
  if (name == "1SETC") {
    SplitParams(c.ParamText, 0, p);
    WrapColumns = int32_t(std::clamp<int64_t>(IntParam(p, 0, 80), 1, 80));
    return true;
  }
  if (name[0] == '1' && TextWindowCommand(c, result)) return true;
  if (ddofxtext::StartsWith(c.Text, "2b") || ddofxtext::StartsWith(c.Text, "2w") || ddofxtext::StartsWith(c.Text, "2v")) {
    LoadPcx(c.Text.substr(2), c.Text[1] == 'b' ? 2 : c.Text[1] == 'w' ? 1 : 0, 0, 0);
    return true;
  }
  if (RunDrawingWord(c) || RunSpriteWord(c) || RunAnimationWord(c) || RunPaletteWord(c)) return true;
  if (GadgetCommand(c, result) || ListBoxCommand(c, result) || MouseCommand(c, result) ||
      PauseCommand(c, result) || SpriteStoreCommand(c, result))
    return true;
  if (name == "2MPICON" || name == "6DEFJOY") return true;
  if (c.Text == "2RESET") {
    ClearAll();
    result = false;
    return true;
  }
  return false;
}

bool TDDOFXGfx::RunDrawingWord(const TGfxCommand& c) {
  const std::string& name = c.Name;
  TParams p;
  if (name.size() == 9 && ddofxtext::StartsWith(name, "2CPY") && name[6] == '2') {
    CopyPage(PageIndex(name[4]), PageIndex(name[7]));
    return true;
  }
  if (name.size() >= 9 && ddofxtext::StartsWith(name, "2CUT") && name[6] == '2') {
    SplitParams(c.ParamText, 0, p);
    CopyRect(PageIndex(name[4]), PageIndex(name[7]), name.size() == 10 && name[9] == 'T', p);
    return true;
  }
  if (name == "2CCOL") {
    SplitParams(c.ParamText, 0, p);
    const int64_t colour = IntParam(p, 0, 0), mode = IntParam(p, 1, 0);
    if (colour == 0 && mode == 3)
      TransparentColours.fill(1);
    else if (colour == 0 && mode == 4)
      TransparentColours.fill(0);
    else if (colour >= 0 && colour <= 255)
      TransparentColours[size_t(colour)] = mode == 1;
    return true;
  }
  if (name == "2C") {
    SplitParams(c.ParamText, 0, p);
    Colour = uint8_t(IntParam(p, 0, 0) & 0xFF);
    return true;
  }
  if (c.Text == "2aERASE" || c.Text == "2aFILL") {
    uint8_t* w = Page(1);
    std::fill(w, w + kPageSize, c.Text == "2aFILL" ? Colour : uint8_t(0));
    Dirty = true;
    return true;
  }
  if (name == "2aSCROLL") {
    SplitParams(c.ParamText, 0, p);
    const std::string letter = StrParam(p, 6);
    const int page = letter.empty() ? 0 : PageIndex(char(std::toupper(static_cast<unsigned char>(letter[0]))));
    const bool wrap = IntParam(p, 5, 0) == 0;
    const int64_t x1 = IntParam(p, 0, 0), x2 = IntParam(p, 1, 0), y1 = IntParam(p, 2, 0), y2 = IntParam(p, 3, 0);
    const int64_t amount = IntParam(p, 4, 0);
    ScrollRect(page, x1, x2, y1, y2, amount, wrap);
    if (page == 0) ScrollRect(3, x1, x2, y1, y2, amount, wrap);
    Dirty = true;
    return true;
  }
  if (name == "2aP") {
    SplitParams(c.ParamText, 0, p);
    PutPixel(1, IntParam(p, 0, 0), IntParam(p, 1, 0), Colour);
    Dirty = true;
    return true;
  }
  if (name == "2aM") {
    SplitParams(c.ParamText, 0, p);
    PenX = I32(IntParam(p, 0, 0));
    PenY = I32(IntParam(p, 1, 0));
    return true;
  }
  if (name == "2aDRAW") {
    SplitParams(c.ParamText, 0, p);
    const int32_t x = I32(IntParam(p, 0, 0)), y = I32(IntParam(p, 1, 0));
    DrawLine(1, PenX, PenY, x, y, Colour);
    PenX = x;
    PenY = y;
    return true;
  }
  if (name == "2aRECT" || name == "2aDRWBOX") {
    SplitParams(c.ParamText, 0, p);
    const int64_t x1 = IntParam(p, 0, 0), x2 = IntParam(p, 1, 0), y1 = IntParam(p, 2, 0), y2 = IntParam(p, 3, 0);
    if (name == "2aRECT") {
      FillRect(1, x1, y1, x2, y2, Colour);
    } else {
      DrawLine(1, x1, y1, x2, y1, Colour);
      DrawLine(1, x2, y1, x2, y2, Colour);
      DrawLine(1, x2, y2, x1, y2, Colour);
      DrawLine(1, x1, y2, x1, y1, Colour);
    }
    return true;
  }
  if (name == "2XT" || name == "2XTWP" || name == "2XTBP" || name == "2XTHP") {
    SplitParams(c.ParamText, 5, p);
    const int page = name == "2XT" ? 0 : PageIndex(name[3]);
    TextCommand(page, I32(IntParam(p, 0, 0)), I32(IntParam(p, 1, 0)), int(IntParam(p, 2, 0) & 0xFF),
                I32(IntParam(p, 3, 0)), StrParam(p, 4));
    return true;
  }
  return false;
}

bool TDDOFXGfx::RunSpriteWord(const TGfxCommand& c) {
  const std::string& name = c.Name;
  TParams p;
  if (name == "2S" || name == "2SV" || name == "2SB" || name == "2SH") {
    SplitParams(c.ParamText, 0, p);
    DefineSprite(name.size() == 2 ? 1 : PageIndex(name[2]), p);
    return true;
  }
  if ((name.size() == 3 || name.size() == 4) && ddofxtext::StartsWith(name, "2s") &&
      std::string("CDFPR").find(name[2]) != std::string::npos && c.Text != "2sFF") {
    SplitParams(c.ParamText, 3, p);
    const char mode = name[2];
    const int page = name.size() == 4 ? PageIndex(name[3]) : 1;
    const bool transparent = mode != 'P', clip = mode == 'C' || mode == 'F', mirror = mode == 'F' || mode == 'R';
    DrawSprite(FindSprite(StrParam(p, 2)), page, I32(IntParam(p, 0, 0)), I32(IntParam(p, 1, 0)), transparent, clip,
               mirror);
    return true;
  }
  if (name == "2sI") {
    SplitParams(c.ParamText, 0, p);
    FlipSprite(StrParam(p, 0));
    return true;
  }
  if (name == "2SS" || name == "2SSA") {
    SplitParams(c.ParamText, 0, p);
    if (name == "2SS")
      AddSingleSequence(p);
    else
      DefineSequence(p);
    return true;
  }
  if (c.Text == "2CSS") {
    ClearSingleSequences();
    return true;
  }
  if (c.Text == "2ACSS") {
    ClearAllSequences();
    return true;
  }
  if (c.Text == "2DSS") {
    SpriteSequence();
    return true;
  }
  if (name == "5OFLIC" || name == "5PFLIC" || name == "5UFLIC" || name == "5SFLIC") {
    SplitParams(c.ParamText, 8, p);
    OpenFlic(name, p);
    return true;
  }
  if (c.Text == "2sFF") {
    FreeSprites();
    return true;
  }
  return false;
}

bool TDDOFXGfx::RunAnimationWord(const TGfxCommand& c) {
  const std::string& name = c.Name;
  if (name != "2ANIM" && name != "2AFLY" && name != "2ANIMSOUND" && name != "2PLAYA" && name != "2STOPA" &&
      name != "2MOTION")
    return false;
  TParams p;
  SplitParams(c.ParamText, 0, p);
  if (name == "2ANIM")
    DefineAnimation(p);
  else if (name == "2AFLY")
    FlyAnimation(p);
  else if (name == "2ANIMSOUND")
    AnimationSound(p);
  else if (name == "2PLAYA")
    PlayAnimation(I32(IntParam(p, 0, 0)));
  else if (name == "2STOPA")
    StopAnimation(I32(IntParam(p, 0, 0)));
  else
    DefineMotion(p);
  return true;
}

bool TDDOFXGfx::RunPaletteWord(const TGfxCommand& c) {
  const std::string& name = c.Name;
  if (name == "2aSRGB") {
    TParams p;
    SplitParams(c.ParamText, 0, p);
    const int64_t index = IntParam(p, 0, 0);
    if (index >= 0 && index <= 255) {
      // Components are limited to the palette's 6 bits on both sides, so a
      // negative value cannot wrap into a bright one.
      for (int k = 0; k < 3; ++k)
        Palette[size_t(index * 3 + k)] = uint8_t(std::clamp<int64_t>(IntParam(p, size_t(k + 1), 0), 0, 63));
      Dirty = true;
    }
    return true;
  }
  if (c.Text == "2aDEFPAL") {
    // Only the 16 text-mode colours return; the rest and the saved palette stay.
    const std::array<uint8_t, 768> keep = Palette, saved = SavedPalette;
    ResetPalette();
    std::copy(keep.begin() + 48, keep.end(), Palette.begin() + 48);
    SavedPalette = saved;
    Dirty = true;
    return true;
  }
  if (c.Text == "2aSTOREPAL") {
    SavedPalette = Palette;
    return true;
  }
  if (c.Text == "2aRESTOREPAL") {
    Palette = SavedPalette;
    Dirty = true;
    return true;
  }
  if (c.Text == "2aZEROPAL") {
    Palette.fill(0);
    Dirty = true;
    return true;
  }
  if (c.Text == "2aFPALOUT" || name == "2aFPALOUTA") {
    SavedPalette = Palette;
    FadeOut = true;
    FadeStart = 0;
    std::fill(Pages[0].begin(), Pages[0].end(), uint8_t(0));
    std::fill(Pages[3].begin(), Pages[3].end(), uint8_t(0));
    ++PageVersion;
    Dirty = true;
    return true;
  }
  if (c.Text == "2aFPALIN") {
    Palette = SavedPalette;
    if (FadeOut) FadeStart = Now == 0 ? 1 : Now;
    FadeOut = false;
    Dirty = true;
    return true;
  }
  if (c.Text == "2aSHAKE") {
    ShakeUntil = Now + 450;
    Dirty = true;
    return true;
  }
  return false;
}
