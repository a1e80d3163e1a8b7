#include "door/uDDOFXRay.h"

void TDDOFXRay::Reset() {
  Visible = false;
  NeedsRedraw = false;
}

bool TDDOFXRay::ExecCommand(const std::string&, uint8_t*, uint8_t*) { return false; }

bool TDDOFXRay::Tick(uint8_t*, uint8_t*, uint64_t) { return false; }

void TDDOFXRay::KeyPress(int, int) {}
