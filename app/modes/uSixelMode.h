// Sixel pictures (DCS ... q ... ST) as a mode of the call: while the call's entry asks for them the
// decoder takes their bytes out of the stream and places the pictures over
// the text grid.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TSixelParser;

class TSixelMode : public TCallMode {
 public:
  explicit TSixelMode(TCallModeServices& services);
  ~TSixelMode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  bool Engaged() const override { return FEnabled; }
  size_t PlainRun(const uint8_t* data, size_t count) const override;
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  void Cleared() override;
  void StreamScheduled() override;

 private:
  std::unique_ptr<TSixelParser> FParser;
  bool FEnabled;  // the call's entry asks for these pictures
};
