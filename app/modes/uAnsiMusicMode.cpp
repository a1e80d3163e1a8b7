#include "app/modes/uAnsiMusicMode.h"

#include "data/uConfig.h"
#include "sound/uAnsiMusic.h"

TAnsiMusicMode::TAnsiMusicMode(TCallModeServices& services)
    : TCallMode(services), FPlayer(std::make_unique<TAnsiMusicPlayer>()) {}

TAnsiMusicMode::~TAnsiMusicMode() = default;

void TAnsiMusicMode::Reset() { FPlayer->StopAll(); }

void TAnsiMusicMode::SoundSwitched(bool on) {
  if (!on) FPlayer->StopAll();
}

bool TAnsiMusicMode::AnsiMusic(const std::string& text) {
  if (Services().Settings().AnsiMusicEnabled) FPlayer->Enqueue(text);
  return true;
}
