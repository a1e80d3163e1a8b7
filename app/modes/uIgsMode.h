// Atari ST IGS graphics as a mode of the call: a call whose terminal type
// names IGS runs every received byte through the IGS command interpreter,
// which hands the text back and draws on its own canvas; commands that wait
// are stepped by a 15 ms replay timer.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TIGSParser;
class TIGSSoundOut;

class TIgsMode : public TCallMode {
 public:
  explicit TIgsMode(TCallModeServices& services);
  ~TIgsMode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  bool Engaged() const override { return FIgsMode; }
  size_t PlainRun(const uint8_t*, size_t) const override { return 0; }
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  bool KeepsScreenSize() const override { return FIgsMode; }
  void TimerTick() override { IgsReplayTick(); }

 private:
  // The replay timer runs while the interpreter has queued or waiting work.
  void StartIgsReplay();
  void IgsReplayTick();

  std::unique_ptr<TIGSSoundOut> FSound;
  std::unique_ptr<TIGSParser> FParser;  // plays through FSound's synthesiser
  bool FIgsMode = false;
  std::vector<uint8_t> FReplayOut;
};
