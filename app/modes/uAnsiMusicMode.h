// ANSI music (CSI M ... SO) as a mode of the call: the ANSI emulation hands
// it each music string, played while the sound setting is on.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TAnsiMusicPlayer;

class TAnsiMusicMode : public TCallMode {
 public:
  explicit TAnsiMusicMode(TCallModeServices& services);
  ~TAnsiMusicMode() override;

  void Reset() override;
  void SoundSwitched(bool on) override;
  bool AnsiMusic(const std::string& text) override;

 private:
  std::unique_ptr<TAnsiMusicPlayer> FPlayer;
};
