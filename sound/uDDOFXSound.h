// The output thread of door music and sound effects. Not built yet.
#pragma once
#include <string>

class TDDOFXAudio;

class TDDOFXSoundOut {
 public:
  explicit TDDOFXSoundOut(TDDOFXAudio* audio) {}
  void Wake() {}
  std::string FCaptureFile;
};
