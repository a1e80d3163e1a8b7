// Text windows, gadgets, list boxes, graphics windows, the door's mouse and
// pointers, the paused background and the music bars keep their tables in
// the engine (cleared with everything else); until their commands are
// taken here none of them is ever defined, so there is nothing to paint,
// tick or hit, and their words go on to the interpreter.
#include "door/uDDOFXGfx.h"

using namespace ddofxgfx;

bool TDDOFXGfx::TextWindowActive() const { return false; }
void TDDOFXGfx::FeedTextWindow(uint8_t) {}
bool TDDOFXGfx::HotKey(int, int, bool&) { return false; }
void TDDOFXGfx::DrawField(int) {}
bool TDDOFXGfx::MouseDown(int, int, int) { return false; }
void TDDOFXGfx::MouseUp() {}
bool TDDOFXGfx::MouseMove(int x, int y, bool inside) {
  LastMouseX = x;
  LastMouseY = y;
  MouseInside = inside;
  return false;
}
bool TDDOFXGfx::IsDraggingWindow() const { return false; }
bool TDDOFXGfx::HasCustomPointer() const { return false; }
bool TDDOFXGfx::IsOverHotspot(int, int) const { return false; }

bool TDDOFXGfx::TextWindowCommand(const TGfxCommand&, bool&) { return false; }
bool TDDOFXGfx::GadgetCommand(const TGfxCommand&, bool&) { return false; }
bool TDDOFXGfx::ListBoxCommand(const TGfxCommand&, bool&) { return false; }
bool TDDOFXGfx::MouseCommand(const TGfxCommand&, bool&) { return false; }
bool TDDOFXGfx::PauseCommand(const TGfxCommand&, bool&) { return false; }
bool TDDOFXGfx::SpriteStoreCommand(const TGfxCommand&, bool&) { return false; }
bool TDDOFXGfx::GraphicsWindowCommand(const TGfxCommand&, bool&) { return false; }
void TDDOFXGfx::StampOwner(const std::string&) {}
void TDDOFXGfx::RefreshWindows() {}
void TDDOFXGfx::PaintLiveFields(uint8_t*) {}
bool TDDOFXGfx::WindowVisible(int) const { return false; }
void TDDOFXGfx::PaintGraphicsWindow(int, uint8_t*) {}
void TDDOFXGfx::DrawMusicBars(int, uint8_t*) {}
bool TDDOFXGfx::UpdateMusicBars() { return false; }
bool TDDOFXGfx::ReleasePushButton() { return false; }
void TDDOFXGfx::CheckCollisions() {}

void TDDOFXGfx::FireGadget(const std::string& send, const std::string& macro) {
  if (OnGadget) OnGadget(send, macro);
}
