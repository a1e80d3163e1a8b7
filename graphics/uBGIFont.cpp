#include "graphics/uBGIFont.h"

bool TBGIStrokeFont::LoadFromFile(const std::string&) {
  Valid = false;
  return false;
}
