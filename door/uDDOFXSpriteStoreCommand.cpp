// The engine's two sprite store commands, handed to the store.
#include "door/uDDOFXGfx.h"
#include "door/uDDOFXSpriteStore.h"

bool TDDOFXGfx::SpriteStoreCommand(const TGfxCommand& c, bool& result) {
  const auto log = [this](const std::string& text) { Log(text); };
  if (c.Name == "2STORES") {
    ddofxspritestore::StoreSprites(AssetDir, c.ParamText, Sprites, log);
    result = false;  // the interpreter lists the two files among the door's assets
    return true;
  }
  if (c.Name == "2LOADS") {
    TParams p;
    SplitParams(c.ParamText, 2, p);
    ddofxspritestore::LoadSprites(AssetDir, StrParam(p, 1), IntParam(p, 0, 0) == 1, Sprites, SpriteNames,
                                  SpriteBytes, log);
    return true;
  }
  return false;
}
