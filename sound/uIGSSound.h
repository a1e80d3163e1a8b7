// The output thread of IGS sound. Not built yet: owns a silent synthesiser.
#pragma once
#include "sound/uGistSynth.h"

class TIGSSoundOut {
 public:
  void Wake() {}
  TGistSynth Synth;
};
