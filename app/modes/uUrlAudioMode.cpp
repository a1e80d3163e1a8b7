#include "app/modes/uUrlAudioMode.h"

#include <unistd.h>

#include <cstdio>

#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "data/uPhonebook.h"
#include "platform/Tick.h"
#include "sound/uUrlAudioPlayer.h"

namespace {

std::string PointerText(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "$%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

const char* TrueFalse(bool b) { return b ? "True" : "False"; }

}  // namespace

TUrlAudioMode::TUrlAudioMode(TCallModeServices& services) : TCallMode(services) {}

TUrlAudioMode::~TUrlAudioMode() {
  // The program ends: the stream is asked to stop, and its thread is given
  // a moment to close its sound stream before the sound output goes.
  FLife.reset();
  StopAudioPlayer();
  for (int waited = 0; FAudioPlayer && !FAudioPlayer->IsStopConfirmed() && waited < 2000; waited += 10) usleep(10000);
}

void TUrlAudioMode::Open(const TPhonebookEntry& entry) {
  FSixelEnabled = entry.UseSixel;
  StopAndForgetAutoPlay();
}

void TUrlAudioMode::Reset() {
  // Between calls pictures are on, as for a new entry. A stream the user
  // started plays on until a new call or a cleared screen.
  FSixelEnabled = true;
}

unsigned TUrlAudioMode::EndChunk() {
  PollAudioPlayerStopped();
  return ccNone;
}

void TUrlAudioMode::TextFed() {
  if (FSixelEnabled && Services().Renderer().HasSprites()) CheckAutoPlayAudioUrl();
}

void TUrlAudioMode::Cleared() { StopAndForgetAutoPlay(); }

bool TUrlAudioMode::LinkClicked(const std::string& url) {
  HandleUrlClick(url);
  return true;
}

void TUrlAudioMode::MainTick() { PollAudioPlayerStopped(); }

void TUrlAudioMode::TimerTick() {
  PollAudioPlayerStopped();
  PollPendingAutoPlay();
  UpdatePollTimer();
}

void TUrlAudioMode::UpdatePollTimer() {
  const bool wanted = FAudioPlayer || !FPendingAutoPlayUrl.empty();
  if (wanted && !Services().TimerRunning(*this))
    Services().StartTimer(*this, kPollMs);
  else if (!wanted && Services().TimerRunning(*this))
    Services().StopTimer(*this);
}

void TUrlAudioMode::HandleUrlClick(const std::string& url) {
  LogLine("UrlAudio: HandleUrlClick called, AUrl=" + url + ", FAudioPlayer=" + (FAudioPlayer ? "non-nil" : "nil"));
  PollAudioPlayerStopped();
  if (FAudioPlayer && FAudioPlayer->FUrl == url) {
    // A second click on the playing stream stops it.
    FPendingRequested = false;
    FNextAudioUrl.clear();
    StopAudioPlayer();
  } else if (FAudioPlayer) {
    // Another stream plays: it stops, and this one starts once it has.
    FNextAudioUrl = url;
    FPendingRequested = true;
    StopAudioPlayer();
    Services().ShowStatus("Connecting to audio stream...", kStatusMs);
    Services().Invalidate();
  } else {
    StartAudioPlayer(url);
  }
}

void TUrlAudioMode::StartAudioPlayer(const std::string& url) {
  LogLine("UrlAudio: StartAudioPlayer called, AUrl=" + url);
  auto player = std::make_shared<TUrlAudioPlayer>(url);
  std::weak_ptr<int> life = FLife;
  const TUrlAudioPlayer* sender = player.get();
  player->OnStatus = [this, life, url](const std::string& text, bool openInBrowser) {
    if (!life.expired()) OnAudioPlayerStatus(url, text, openInBrowser);
  };
  player->OnTerminate = [this, life, sender] {
    if (!life.expired()) OnAudioPlayerTerminated(sender);
  };
  FAudioPlayer = player;
  if (!player->Start()) {
    LogLine("UrlAudio: the player thread could not be started");
    FAudioPlayer.reset();
    Services().ShowStatus("Audio stream: could not start the player", 4000);
    Services().Invalidate();
    return;
  }
  Services().ShowStatus("Connecting to audio stream...", kStatusMs);
  Services().Invalidate();
  UpdatePollTimer();
}

void TUrlAudioMode::StopAudioPlayer() {
  LogLine(std::string("UrlAudio: StopAudioPlayer called, FAudioPlayer=") + (FAudioPlayer ? "non-nil" : "nil"));
  // The reference stays until the thread has ended: no new stream starts
  // before the old one has let go of the sound output and the network.
  if (FAudioPlayer) FAudioPlayer->RequestStop();
}

void TUrlAudioMode::OnAudioPlayerStatus(const std::string& url, const std::string& text, bool openInBrowser) {
  Services().ShowStatus(text, kStatusMs);
  Services().Invalidate();
  // The browser gets the address of the player that gave up on it, even when
  // its end has already been seen and another player runs.
  if (openInBrowser) Services().OpenInBrowser(url);
}

void TUrlAudioMode::OnAudioPlayerTerminated(const TUrlAudioPlayer* sender) {
  LogLine("UrlAudio: OnAudioPlayerTerminated called, Sender=" + PointerText(sender) +
          ", FAudioPlayer=" + PointerText(FAudioPlayer.get()) + ", FPendingRequested=" + TrueFalse(FPendingRequested));
  // The late end of a player that was already replaced changes nothing.
  if (FAudioPlayer && sender == FAudioPlayer.get()) FinishAudioPlayerStop();
}

void TUrlAudioMode::PollAudioPlayerStopped() {
  if (!FAudioPlayer || !FAudioPlayer->IsStopConfirmed()) return;
  LogLine("UrlAudio: PollAudioPlayerStopped saw IsStopConfirmed=True");
  FinishAudioPlayerStop();
}

void TUrlAudioMode::FinishAudioPlayerStop() {
  LogLine("UrlAudio: FinishAudioPlayerStop running, FAudioPlayer=" + PointerText(FAudioPlayer.get()) +
          ", FPendingRequested=" + TrueFalse(FPendingRequested));
  FAudioPlayer.reset();
  if (FPendingRequested) {
    FPendingRequested = false;
    const std::string url = std::move(FNextAudioUrl);
    FNextAudioUrl.clear();
    StartAudioPlayer(url);
  }
  UpdatePollTimer();
}

void TUrlAudioMode::CheckAutoPlayAudioUrl() {
  const std::string url = Services().FirstUrlOnScreen();
  if (url.empty() || url == FAutoPlayUrl) return;
  FAutoPlayUrl = FPendingAutoPlayUrl = url;
  FAutoPlayDue = platform::TickMs() + kAutoPlayDelayMs;
  Services().AnnounceStreamScheduled();
  LogLine("UrlAudio: CheckAutoPlayAudioUrl scheduling " + url + " (+" + std::to_string(kAutoPlayDelayMs) + "ms)");
  UpdatePollTimer();
}

void TUrlAudioMode::PollPendingAutoPlay() {
  if (FPendingAutoPlayUrl.empty() || platform::TickMs() < FAutoPlayDue) return;
  const std::string url = std::move(FPendingAutoPlayUrl);
  FPendingAutoPlayUrl.clear();
  LogLine("UrlAudio: PollPendingAutoPlay auto-starting " + url);
  HandleUrlClick(url);
}

void TUrlAudioMode::StopAndForgetAutoPlay() {
  StopAudioPlayer();
  FAutoPlayUrl.clear();
  FPendingAutoPlayUrl.clear();
}
