// A Borland BGI stroke font (.CHR). Reading the stroke format is not built
// yet: a font only records whether its file exists.
#pragma once
#include <string>

class TBGIStrokeFont {
 public:
  bool LoadFromFile(const std::string& path);
  bool Valid = false;
};
