// The sound-chip synthesiser of IGS. Not built yet.
#pragma once

class TGistSynth {
 public:
  void StopAll() {}
};
