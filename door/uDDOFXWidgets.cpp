// The sprite-store words belong to the raycaster's store; until it takes
// them they go on to the interpreter.
#include "door/uDDOFXGfx.h"

bool TDDOFXGfx::SpriteStoreCommand(const TGfxCommand&, bool&) { return false; }
