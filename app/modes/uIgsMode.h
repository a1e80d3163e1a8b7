// Atari ST IGS graphics as a mode of the call: a call whose terminal type
// names IGS runs every received byte through the IGS command interpreter,
// which hands the text back and draws on its own canvas; commands that wait
// are stepped by a 15 ms replay timer, and while the interpreter holds a
// large backlog the call stops handing it more. Once a command has run, the
// online screen shows the IGS picture scaled to 640 x 350 with the text cells
// over it, and a click in one of the board's mouse zones sends the zone's
// text. The interpreter plays its sound through the IGS sound output.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "app/call/uCallMode.h"
#include "core/uTerminalBuffer.h"

class TIGSParser;
class TIGSSoundOut;
class TRipCanvas;

class TIgsMode : public TCallMode {
 public:
  explicit TIgsMode(TCallModeServices& services);
  ~TIgsMode() override;

  void Open(const TPhonebookEntry& entry) override;
  void Reset() override;
  bool Engaged() const override { return FIgsMode; }
  size_t PlainRun(const uint8_t* data, size_t count) const override;
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override;
  unsigned EndChunk() override;
  bool KeepsScreenSize() const override { return FIgsMode; }
  bool HoldsInput() const override;

  bool ReplacesFrame() const override { return IgsActive(); }
  void PaintFrame(TModeFrame& frame) override;
  bool Mouse(const TModeMouse& m) override;

  void TimerTick() override { IgsReplayTick(); }

  // The interpreter, for what the tests look at.
  const TIGSParser& Parser() const { return *FParser; }

 private:
  // The IGS picture replaces the text grid: an IGS call in which a command
  // has run.
  bool IgsActive() const;
  // The replay timer runs while the interpreter has queued or waiting work.
  void StartIgsReplay();
  void IgsReplayTick();
  // One text cell over the picture, at Cell's place in a grid of CellW x CellH.
  void DrawCell(int col, int row, int cellW, int cellH, const TCell& cell, bool hidden, bool transparent);

  std::unique_ptr<TIGSSoundOut> FSound;
  std::unique_ptr<TIGSParser> FParser;  // plays through FSound's synthesiser
  std::unique_ptr<TRipCanvas> FPicture;  // the composed screen, made at the first paint
  bool FIgsMode = false;
  std::vector<uint8_t> FReplayOut;
};

// A mouse zone's text as it is sent: "^" and a character from "@" to "_"
// (either case) become that control code.
std::string IgsZoneTextToSend(const std::string& text);
