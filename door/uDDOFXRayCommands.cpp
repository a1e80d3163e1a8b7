// The raycaster's door commands: every command word that begins with "5",
// its parameters read with their defaults, and its reply to the door.
#include <algorithm>
#include <cmath>

#include "door/uDDOFXRay.h"
#include "door/uDDOFXText.h"

using namespace ddofxray;

namespace {

using TList = std::vector<std::string>;

int64_t IntItem(const TList& list, size_t index, int64_t def = 0) {
  return index < list.size() ? ddofxtext::Int64Def(ddofxtext::Trim(list[index]), def) : def;
}

int Int32Item(const TList& list, size_t index, int def = 0) {
  return int(std::clamp<int64_t>(IntItem(list, index, def), INT32_MIN, INT32_MAX));
}

std::string StrItem(const TList& list, size_t index) { return index < list.size() ? list[index] : std::string(); }

int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(hi, v)); }

// The rest of a command cut at commas outside ( ) and [ ] (nesting never
// goes below 0); with Limit > 0 the last item keeps the commas once Limit -
// 1 items exist.
TList SplitList(const std::string& text, int limit) {
  TList items(1);
  int depth = 0;
  for (char c : text) {
    if (c == '(' || c == '[') ++depth;
    if ((c == ')' || c == ']') && depth > 0) --depth;
    if (c == ',' && depth == 0 && (limit <= 0 || int(items.size()) < limit)) {
      items.emplace_back();
      continue;
    }
    items.back() += c;
  }
  return items;
}

// A send text as door gadgets write it: a caret and a character of codes
// 64..95 (letters in either case) make that control character, a tilde a
// comma.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char next = i + 1 < text.size() ? text[i + 1] : 0;
    if (next >= 'a' && next <= 'z') next = char(next - 32);
    if (text[i] == '^' && next >= 64 && next <= 95) {
      out += char(next - 64);
      ++i;
    } else {
      out += text[i] == '~' ? ',' : text[i];
    }
  }
  return out;
}

}  // namespace

bool TDDOFXRay::ExecCommand(const std::string& command, uint8_t* page0, uint8_t* page3) {
  if (command.size() < 2 || command[0] != '5') return false;
  FPage0 = page0;
  FPage3 = page3;
  const size_t comma = command.find(',');
  const std::string name = ddofxtext::Upper(command.substr(0, comma));
  // Without a comma the parameter text is the whole command, which reads as
  // the defaults for numbers.
  const std::string rest = comma == std::string::npos ? command : command.substr(comma + 1);
  return Command(name, command, rest);
}

bool TDDOFXRay::Command(const std::string& name, const std::string& text, const std::string& rest) {
  const std::string whole = ddofxtext::Trim(rest);  // the single "whole rest" parameter
  const TList p = SplitList(rest, name == "5MAPPRO" ? 12 : 0);
  auto reply = [this](const std::string& r) {
    if (FCallbacks.ForwardReply) FCallbacks.ForwardReply(r);
  };
  auto spriteIndex = [this](const std::string& spriteName) {
    return FCallbacks.SpriteIndexByName ? FCallbacks.SpriteIndexByName(spriteName) : -1;
  };
  const bool demoPending = DemoPos < Demo.size();

  if (name == "5DANIM") {
    ViewX = Int32Item(p, 0);
    ViewBottom = Int32Item(p, 1, 159);
    Visible = IntItem(p, 2) == 1;
    NeedsRedraw = true;
    // The starting cell is not walked into.
    if (Visible) CameraCell(LastTriggerX, LastTriggerY);
  } else if (name == "5DSCALE") {
    ViewWidth = Clamp(Int32Item(p, 0, kViewW), 16, kPageW);
    ViewHeight = Clamp(Int32Item(p, 1, kViewH), 8, kPageH);
    NeedsRedraw = true;
  } else if (name == "5CMAZE") {
    const int64_t seed = IntItem(p, 3);
    int column = 0, row = 0;
    CreateMaze(Int32Item(p, 0, 1), Int32Item(p, 1, 2), Int32Item(p, 2, 2), seed != 0, uint32_t(uint64_t(seed)), column,
               row);
    PosX = 304;
    PosY = 784;
    reply(std::to_string(column) + "," + std::to_string(row));
  } else if (name == "5LOADMAP") {
    std::string data;
    if (FCallbacks.ReadAsset && (FCallbacks.ReadAsset(whole, true, data) || FCallbacks.ReadAsset(whole, false, data)))
      LoadMap(data);
  } else if (name == "5VD") {
    if (!demoPending) {
      Angle = int32_t((int64_t(Angle) - ddofxtext::Int64Def(whole, 0)) & 511);
      NeedsRedraw = true;
    }
  } else if (name == "5VM") {
    if (!demoPending) Walk(Int32Item(p, 1), IntItem(p, 0) == 1);
  } else if (name == "52DMAP") {
    MapOriginX = Int32Item(p, 0);
    MapOriginY = Int32Item(p, 1);
    MapWallColour = uint8_t(IntItem(p, 2));
    MapFloorColour = uint8_t(IntItem(p, 3));
    DrawMap();
  } else if (name == "52DMMAP") {
    if (MapShown) {
      const int64_t cx = IntItem(p, 0), cy = IntItem(p, 1), radius = std::max<int64_t>(0, IntItem(p, 3));
      const uint8_t colour = uint8_t(IntItem(p, 2));
      const int64_t r = std::min<int64_t>(radius, 1000);  // wider than the map already covers it all
      for (int64_t x = std::max<int64_t>(1, cx - r); x <= std::min<int64_t>(kMapW, cx + r); ++x)
        for (int64_t y = std::max<int64_t>(1, cy - r); y <= std::min<int64_t>(kMapH, cy + r); ++y)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r + r)
            PutMapPixel(int(x), int(y), colour);
    }
  } else if (name == "5CTEXTURE" || name == "5COBJECT") {
    const bool objects = name == "5COBJECT";
    const int set = LayerByName(StrItem(p, 0), objects);
    const int number = Int32Item(p, 1);
    const int sprite = spriteIndex(ddofxtext::Trim(StrItem(p, 2)));
    if (set >= 0 && number >= 1 && number <= (objects ? 15 : kTexNumbers) && sprite >= 0)
      TextureFromSprite(set, number, sprite);
  } else if (name == "5SETXPOS" || name == "5SETYPOS") {
    if (name == "5SETXPOS") PosX = Clamp(Int32Item(p, 0), 2, kMapW - 1) * 32 + 144;
    else PosY = Clamp(Int32Item(p, 0), 2, kMapH - 1) * 32 + 624;
    NeedsRedraw = true;
    CameraCell(LastTriggerX, LastTriggerY);
    if (IntItem(p, 1) == 1) UpdateMapMarker();
  } else if (name == "5SETANGL") {
    const double heading = double(ddofxtext::Int64Def(whole, 0));
    Angle = int32_t(int64_t(std::nearbyint(std::fmod(256 - heading * 512 / 360, 1 << 30))) & 511);
    NeedsRedraw = true;
  } else if (name == "5GETANGL" || name == "5GETXPOS" || name == "5GETYPOS") {
    if (ddofxtext::Upper(text) != name) return false;  // these take no parameters
    int x = 0, y = 0;
    CameraCell(x, y);
    if (name == "5GETANGL") reply(std::to_string(Heading()) + "," + OctantName(CompassOctant()));
    else reply(std::to_string(name == "5GETXPOS" ? x : y));
  } else if (name == "5GETMAP") {
    const int x = Int32Item(p, 0), y = Int32Item(p, 1);
    if (!InMap(x, y)) {
      reply("0,0,0,0,0,0");
    } else {
      const size_t c = size_t(Cell(x, y));
      std::string r = WallKind[c] != 0
                          ? std::to_string(WallKind[c]) + "," + std::to_string(WallTexture[c]) + ",0,0"
                          : "0,0," + std::to_string(FloorTexture[c]) + "," + std::to_string(CeilingTexture[c]);
      const uint8_t b = ObjectLayers[size_t(CurrentObjectLayer - 1)][c];
      r += (b & 15) != 0 ? "," + std::to_string(b >> 6) + "," + std::to_string(b & 15) : ",0,0";
      reply(r);
    }
  } else if (name == "5VANIM") {
    const int set = Int32Item(p, 0), number = Int32Item(p, 1);
    if (set >= 0 && set < kTexSets && number >= 1 && number <= kTexNumbers) {
      TRayTexAnim& a = TexAnims[size_t(set)][size_t(number - 1)];
      a = TRayTexAnim();
      a.Mode = Int32Item(p, 2);
      a.FirstSprite = spriteIndex(ddofxtext::Trim(StrItem(p, 3)));
      a.LastSprite = spriteIndex(ddofxtext::Trim(StrItem(p, 4)));
      a.Rate = Int32Item(p, 5, 10);
      a.Step = 1;
      a.Defined = a.FirstSprite >= 0 && a.LastSprite >= a.FirstSprite;
      if (a.Defined) TextureFromSprite(set, number, a.FirstSprite);
    }
  } else if (name == "5PLAYV" || name == "5STOPV") {
    const int set = Int32Item(p, 0), number = Int32Item(p, 1);
    if (set >= 0 && set < kTexSets && number >= 1 && number <= kTexNumbers) {
      TRayTexAnim& a = TexAnims[size_t(set)][size_t(number - 1)];
      a.Playing = name == "5PLAYV" && a.Defined;
      a.NextAt = 0;
    }
  } else if (name == "5CLSMAP") {
    ClearMap(int(std::clamp<int64_t>(ddofxtext::Int64Def(whole, 1), -1, kTexNumbers)));
  } else if (name == "5CHMAP") {
    const int what = Int32Item(p, 0), x = Int32Item(p, 1), y = Int32Item(p, 2), value = Int32Item(p, 3);
    if (Inner(x, y)) {
      const size_t c = size_t(Cell(x, y));
      if (what >= 1 && what <= 4) {
        WallKind[c] = uint8_t(what);
        WallTexture[c] = uint8_t(Clamp(value, 1, 8));
        FloorTexture[c] = CeilingTexture[c] = 0;
      } else if (what == 5 || what == 6) {
        const uint8_t t = uint8_t(Clamp(value, 1, kTexNumbers));
        if (WallKind[c] != 0) {
          WallKind[c] = WallTexture[c] = 0;
          if (FloorTexture[c] == 0) FloorTexture[c] = t;
          if (CeilingTexture[c] == 0) CeilingTexture[c] = t;
        }
        (what == 5 ? FloorTexture : CeilingTexture)[c] = t;
      }
      NeedsRedraw = true;
      if (MapShown) DrawMapCell(x, y);
    }
  } else if (name == "5CHOBJ") {
    const int shape = Int32Item(p, 0), x = Int32Item(p, 1), y = Int32Item(p, 2);
    const int kind = Int32Item(p, 3), texture = Int32Item(p, 4);
    if (Inner(x, y) && shape >= 1 && shape <= 3) {
      ObjectLayers[size_t(CurrentObjectLayer - 1)][size_t(Cell(x, y))] =
          texture >= 1 && texture <= 15 ? uint8_t(shape * 64 + (kind & 3) * 16 + texture) : 0;
      BillboardsDirty = true;
      NeedsRedraw = true;
    }
  } else if (name == "5DLYR") {
    CurrentObjectLayer = int32_t(std::clamp<int64_t>(ddofxtext::Int64Def(whole, 1), 1, kObjectLayers));
  } else if (name == "5MAPPRO") {
    const int n = Int32Item(p, 0);
    if (n == 0) {
      DeleteProfile(0);
    } else if (n >= 1 && n <= kProfiles) {
      TRayProfile& pro = Profiles[size_t(n)];
      pro.Active = true;
      pro.KeyTriggered = IntItem(p, 1) == 1;
      pro.KeyHigh = Int32Item(p, 2);
      pro.KeyLow = Int32Item(p, 3);
      pro.Extra1 = Int32Item(p, 4);
      pro.Extra2 = Int32Item(p, 5);
      pro.Facing = Int32Item(p, 6, 9);
      pro.Next = Int32Item(p, 7);
      pro.SendText = Unescape(StrItem(p, 10));
      pro.Macro = StrItem(p, 11);
      const int x = Int32Item(p, 8), y = Int32Item(p, 9);
      if (InMap(x, y)) CellChains[size_t(Cell(x, y))] = uint16_t(n);
    }
  } else if (name == "5CPYPRO") {
    const int n = Int32Item(p, 0), x = Int32Item(p, 1), y = Int32Item(p, 2);
    if (n >= 0 && n <= kProfiles && InMap(x, y)) CellChains[size_t(Cell(x, y))] = uint16_t(n);
  } else if (name == "5FILPRO") {
    const int64_t n = ddofxtext::Int64Def(whole, 0);
    if (n >= 0 && n <= kProfiles) {
      std::fill(CellChains.begin(), CellChains.end(), uint16_t(n));
      LastTriggerX = 0;  // the next move walks into its cell again
    }
  } else if (name == "5DELMAPPRO") {
    DeleteProfile(int(std::clamp<int64_t>(ddofxtext::Int64Def(whole, 0), -1, kProfiles + 1)));
  } else if (name == "5DPLY" || name == "5DPLYR") {
    std::string data;
    if (FCallbacks.ReadAsset && FCallbacks.ReadAsset(whole, name == "5DPLYR", data)) LoadDemo(data);
  } else if (name == "5DREC" || name == "5SAVE3D" || name == "5LOAD3D") {
    // Accepted without effect.
  } else {
    return false;
  }
  return true;
}
