// SyncTERM APC picture commands as a mode of the call: the ANSI emulation
// hands every APC string to the modes, and this one takes the picture
// commands and the JPEG XL capability query.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"

class TApcImageEngine;

class TApcImageMode : public TCallMode {
 public:
  explicit TApcImageMode(TCallModeServices& services);
  ~TApcImageMode() override;

  void Reset() override;
  bool Apc(const std::string& text) override;

 private:
  std::unique_ptr<TApcImageEngine> FEngine;
};
