// SyncTERM APC audio as a mode of the call: the capability queries for the
// sound library and its formats, the audio commands while the setting lets
// them play, and the ANSI emulation's question whether a channel plays.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TApcAudioEngine;

class TApcAudioMode : public TCallMode {
 public:
  explicit TApcAudioMode(TCallModeServices& services);
  ~TApcAudioMode() override;

  void Reset() override;
  bool Apc(const std::string& text) override;
  bool AudioChannelBusy(int channel) const override;

 private:
  std::unique_ptr<TApcAudioEngine> FEngine;
};
