// The call's modes as one table in receive-chain order, and the operations
// the call runs over them: the byte chain, the hand-offs of the text
// emulation, painting, mouse, keys and time. See uCallMode.h for how a mode
// attaches.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/call/uCallMode.h"

// How a row takes part in the receive chain.
enum class TModeStage {
  Filter,     // sees every byte that reaches its row while engaged
  Emulation,  // a graphics emulation: only the first engaged one takes bytes
};

// One registration row: a name for the log, the stage, and how to make it.
struct TModeRow {
  const char* Name;
  TModeStage Stage;
  std::function<std::unique_ptr<TCallMode>(TCallModeServices&)> Make;
};

// The program's modes, in the order the receive chain gives them bytes.
const std::vector<TModeRow>& CallModeRows();

class TCallModes {
 public:
  TCallModes(TCallModeServices& services, const std::vector<TModeRow>& rows = CallModeRows());

  size_t Count() const { return FModes.size(); }
  TCallMode& At(size_t row) const { return *FModes[row]; }
  const char* NameAt(size_t row) const { return FRows[row].Name; }
  // The row of Mode; Count() when it is not one of the table's.
  size_t RowOf(const TCallMode& mode) const;

  // A call's life, every row in order.
  void Open(const TPhonebookEntry& entry);
  void Reset();
  void FoldersChanged(const std::string& downloadFolder, const std::string& doorFolder);
  void SoundSwitched(bool on);

  // How many leading bytes of Data every engaged mode passes unchanged.
  size_t PlainRun(const uint8_t* data, size_t count) const;
  // B through the engaged modes; what comes out reaches the text emulation
  // through the services' FeedText. True when any byte reached it.
  bool Pass(uint8_t b) { return PassFrom(0, b); }
  // After a chunk: the changes of every mode, or-ed.
  unsigned EndChunk();
  bool HidesText() const;
  bool KeepsScreenSize() const;
  bool HoldsInput() const;
  bool DoorSession() const;
  void FileReceived(const std::string& path, const std::string& folder);

  // The text emulation's hand-offs: the first mode that takes one has it.
  bool Apc(const std::string& text);
  bool AnsiMusic(const std::string& text);
  bool AudioChannelBusy(int channel) const;
  bool CellPixelSize(int& width, int& height) const;
  void Cleared();
  void Scrolled(int lines);
  void TextFed();
  void StreamScheduled();

  // The mode whose picture replaces the text grid now; null for the grid.
  TCallMode* FrameMode() const;
  void PaintOver(TModeFrame& frame);
  bool HoldsPromptLine(int cols, std::string& text) const;
  bool Mouse(const TModeMouse& m);
  bool LinkClicked(const std::string& url);
  bool Pointer(const TModeMouse& at, platform::CursorKind& kind) const;
  bool Key(const TKeyEvent& key);
  bool Char(uint8_t ch, uint16_t scanCode);
  void MainTick();

 private:
  bool PassFrom(size_t row, uint8_t b);
  // Whether Row takes bytes now: engaged, and the first engaged emulation
  // when it is one.
  bool TakesBytes(size_t row) const;

  TCallModeServices& FServices;
  std::vector<TModeRow> FRows;
  std::vector<std::unique_ptr<TCallMode>> FModes;
  // One scratch buffer per row, so a byte passing a row takes no allocation.
  std::vector<std::vector<uint8_t>> FOut;
};
