// RIPscrip and SkyPix as a mode of the call: a call whose entry asks for RIP
// runs every received byte through the RIP parser, which takes its framing
// out of the stream and draws on the 640 x 350 canvas; the canvas scrolls
// with the text screen and is cleared with it.
#pragma once
#include <memory>

#include "app/call/uCallMode.h"
#include "platform/Surface.h"

class TBGIStrokeFont;
class TRipCanvas;
class TRipParser;

class TRipMode : public TCallMode {
 public:
  explicit TRipMode(TCallModeServices& services);
  ~TRipMode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  bool Engaged() const override { return FRipMode; }
  size_t PlainRun(const uint8_t*, size_t) const override { return 0; }
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  bool HidesText() const override { return FRipTextHidden; }
  bool KeepsScreenSize() const override { return FRipMode; }
  void Cleared() override;
  void Scrolled(int lines) override;

 private:
  std::unique_ptr<TBGIStrokeFont> FBgiFonts[11];
  std::unique_ptr<TRipCanvas> FRipCanvas;
  platform::Surface FRipDib;
  std::unique_ptr<TRipParser> FRipParser;  // draws on FRipCanvas
  bool FRipMode = false;
  int32_t FRipCellW = 8, FRipCellH = 8;
  bool FRipTextHidden = false, FRipGridSet = false;
};
