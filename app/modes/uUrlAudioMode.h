// Linked audio streams as a mode of the call: a plain click on a link hands
// it to one URL audio player at a time (a second click on the playing link
// stops it, a click on another link stops the running one and starts the new
// one once the old thread has ended), the player's statuses go to the status
// line, and links it cannot play go on to the web browser. While Sixel
// pictures are on and one is shown, the first http link that appears on the
// screen starts by itself two seconds later. A cleared screen or a new call
// stops the stream. Every step is logged under "UrlAudio:".
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "app/call/uCallMode.h"

class TUrlAudioPlayer;

class TUrlAudioMode : public TCallMode {
 public:
  static constexpr uint32_t kAutoPlayDelayMs = 2000;
  static constexpr uint32_t kPollMs = 250;
  // How long the online screen shows a status of the stream, as it shows
  // those of the connection.
  static constexpr uint32_t kStatusMs = 10000;

  explicit TUrlAudioMode(TCallModeServices& services);
  ~TUrlAudioMode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  unsigned EndChunk() override;
  void TextFed() override;
  void Cleared() override;
  bool LinkClicked(const std::string& url) override;
  void MainTick() override;
  void TimerTick() override;

 private:
  void HandleUrlClick(const std::string& url);
  void StartAudioPlayer(const std::string& url);
  void StopAudioPlayer();
  void OnAudioPlayerStatus(const std::string& url, const std::string& text, bool openInBrowser);
  void OnAudioPlayerTerminated(const TUrlAudioPlayer* sender);
  void PollAudioPlayerStopped();
  void FinishAudioPlayerStop();
  void CheckAutoPlayAudioUrl();
  void PollPendingAutoPlay();
  // The stream stops and both auto-play addresses are forgotten, so the
  // next screen can schedule its stream again.
  void StopAndForgetAutoPlay();
  // The poll timer runs while a player exists or an auto-play waits.
  void UpdatePollTimer();

  std::shared_ptr<TUrlAudioPlayer> FAudioPlayer;
  bool FPendingRequested = false;
  std::string FNextAudioUrl;
  std::string FAutoPlayUrl;
  std::string FPendingAutoPlayUrl;
  uint64_t FAutoPlayDue = 0;
  bool FSixelEnabled = true;  // the call's entry shows Sixel pictures
  // The players' queued calls find this mode only while it lives.
  std::shared_ptr<int> FLife = std::make_shared<int>(0);
};
