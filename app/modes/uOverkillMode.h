// The Overkill Ansiterm client as a mode of the call: first in the receive
// chain, it takes the bytes of its own commands out of the stream.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TOOIIParser;
class TWaveFilePlayer;

class TOverkillMode : public TCallMode {
 public:
  explicit TOverkillMode(TCallModeServices& services);
  ~TOverkillMode() override;

  void Open(const TPhonebookEntry& entry) override;
  bool Engaged() const override { return true; }
  size_t PlainRun(const uint8_t* data, size_t count) const override;
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  void Reset() override;
  void SoundSwitched(bool on) override;

  // The client itself, for tests.
  TOOIIParser& Parser() { return *FParser; }

 private:
  std::unique_ptr<TOOIIParser> FParser;
  std::unique_ptr<TWaveFilePlayer> FPlayer;
};
