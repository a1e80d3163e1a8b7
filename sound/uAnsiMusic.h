// ANSI music (CSI M ... SO). Playing is not built yet: strings are accepted
// and dropped.
#pragma once
#include <string>

class TAnsiMusicPlayer {
 public:
  void Enqueue(const std::string&) {}
  void StopAll() {}
};
