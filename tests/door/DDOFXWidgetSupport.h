// Small fixtures for the door widget tests: solid sprites cut from the work
// page, and the composed colour of a palette index.
#pragma once
#include <cmath>
#include <string>

#include "tests/door/DDOFXGfxHarness.h"

namespace ddofxgfxtest {

// The 24-bit colour the composer shows for palette index I.
inline uint32_t Rgb(const TDDOFXGfx& g, int i) {
  uint32_t rgb = 0;
  for (int c = 0; c < 3; ++c)
    rgb = (rgb << 8) | uint32_t(std::nearbyint(double(g.Palette[size_t(i * 3 + c)]) * 255.0 / 63.0));
  return rgb;
}

// A W x H sprite named Name of colour Colour with, when Ring is not 0, a
// one-pixel frame of that colour; cut from a corner of page 1 that is
// cleared again afterwards.
inline void SolidSprite(TGfxHarness& h, const std::string& name, int w, int hgt, int colour, int ring = 0) {
  h.Run("2C," + std::to_string(colour));
  h.Run("2aRECT,600,"+ std::to_string(600 + w - 1) + ",400," + std::to_string(400 + hgt - 1));
  if (ring != 0) {
    h.Run("2C," + std::to_string(ring));
    h.Run("2aDRWBOX,600," + std::to_string(600 + w - 1) + ",400," + std::to_string(400 + hgt - 1));
  }
  h.Run("2S,600," + std::to_string(600 + w - 1) + ",400," + std::to_string(400 + hgt - 1) + "," + name);
  h.Run("2C,0");
  h.Run("2aRECT,600,639,400,479");
}

}  // namespace ddofxgfxtest
