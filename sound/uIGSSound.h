// The output thread of IGS sound. Not built yet: owns the synthesiser, which
// the IGS parser drives, and plays nothing.
#pragma once
#include "sound/uGistSynth.h"

class TIGSSoundOut {
 public:
  void Wake() {}
  TGistSynth FSynth{22050};
};
