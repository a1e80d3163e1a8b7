// iTerm2 inline images (OSC 1337 File=) as a mode of the call: while the call's entry asks for them the
// decoder takes their bytes out of the stream and places the pictures over
// the text grid.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TITerm2Parser;

class TITerm2Mode : public TCallMode {
 public:
  explicit TITerm2Mode(TCallModeServices& services);
  ~TITerm2Mode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  bool Engaged() const override { return FEnabled; }
  size_t PlainRun(const uint8_t* data, size_t count) const override;
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  void Cleared() override;

 private:
  std::unique_ptr<TITerm2Parser> FParser;
  bool FEnabled;  // the call's entry asks for these pictures
};
