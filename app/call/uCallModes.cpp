#include "app/call/uCallModes.h"

#include "app/modes/uAnsiMusicMode.h"
#include "app/modes/uApcAudioMode.h"
#include "app/modes/uApcImageMode.h"
#include "app/modes/uDoorGraphicsMode.h"
#include "app/modes/uITerm2Mode.h"
#include "app/modes/uIgsMode.h"
#include "app/modes/uOverkillMode.h"
#include "app/modes/uRipMode.h"
#include "app/modes/uSixelMode.h"
#include "app/modes/uUrlAudioMode.h"

namespace {

template <class Mode>
std::unique_ptr<TCallMode> Make(TCallModeServices& services) {
  return std::make_unique<Mode>(services);
}

}  // namespace

const std::vector<TModeRow>& CallModeRows() {
  // The order is the receive chain's: the Overkill client before the door
  // commands, the pictures, then one graphics emulation; the modes that
  // take no bytes last. A new mode is a new unit and a row here.
  static const std::vector<TModeRow> rows = {
      {"Overkill", TModeStage::Filter, Make<TOverkillMode>},
      {"DoorGraphics", TModeStage::Filter, Make<TDoorGraphicsMode>},
      {"ITerm2", TModeStage::Filter, Make<TITerm2Mode>},
      {"Sixel", TModeStage::Filter, Make<TSixelMode>},
      {"IGS", TModeStage::Emulation, Make<TIgsMode>},
      {"RIP", TModeStage::Emulation, Make<TRipMode>},
      {"ApcImages", TModeStage::Filter, Make<TApcImageMode>},
      {"ApcAudio", TModeStage::Filter, Make<TApcAudioMode>},
      {"AnsiMusic", TModeStage::Filter, Make<TAnsiMusicMode>},
      {"UrlAudio", TModeStage::Filter, Make<TUrlAudioMode>},
  };
  return rows;
}

TCallModes::TCallModes(TCallModeServices& services, const std::vector<TModeRow>& rows)
    : FServices(services), FRows(rows), FOut(rows.size()) {
  FModes.reserve(rows.size());
  for (const TModeRow& row : rows) FModes.push_back(row.Make(services));
}

size_t TCallModes::RowOf(const TCallMode& mode) const {
  for (size_t i = 0; i < FModes.size(); ++i)
    if (FModes[i].get() == &mode) return i;
  return FModes.size();
}

void TCallModes::Open(const TPhonebookEntry& entry) {
  for (auto& mode : FModes) mode->Open(entry);
}

void TCallModes::Reset() {
  for (auto& mode : FModes) mode->Reset();
}

void TCallModes::FoldersChanged(const std::string& downloadFolder, const std::string& doorFolder) {
  for (auto& mode : FModes) mode->FoldersChanged(downloadFolder, doorFolder);
}

void TCallModes::SoundSwitched(bool on) {
  for (auto& mode : FModes) mode->SoundSwitched(on);
}

bool TCallModes::TakesBytes(size_t row) const {
  if (!FModes[row]->Engaged()) return false;
  if (FRows[row].Stage != TModeStage::Emulation) return true;
  for (size_t i = 0; i < row; ++i)
    if (FRows[i].Stage == TModeStage::Emulation && FModes[i]->Engaged()) return false;
  return true;
}

size_t TCallModes::PlainRun(const uint8_t* data, size_t count) const {
  for (size_t i = 0; i < FModes.size() && count > 0; ++i)
    if (TakesBytes(i)) count = FModes[i]->PlainRun(data, count);
  return count;
}

bool TCallModes::PassFrom(size_t row, uint8_t b) {
  for (size_t i = row; i < FModes.size(); ++i) {
    if (!TakesBytes(i)) continue;
    std::vector<uint8_t>& out = FOut[i];
    out.clear();
    if (!FModes[i]->TakeByte(b, out)) continue;
    bool fed = false;
    for (uint8_t o : out) fed = PassFrom(i + 1, o) || fed;
    return fed;
  }
  FServices.FeedText(&b, 1);
  return true;
}

unsigned TCallModes::EndChunk() {
  unsigned changes = ccNone;
  for (auto& mode : FModes) changes |= mode->EndChunk();
  return changes;
}

bool TCallModes::HidesText() const {
  for (const auto& mode : FModes)
    if (mode->HidesText()) return true;
  return false;
}

bool TCallModes::KeepsScreenSize() const {
  for (const auto& mode : FModes)
    if (mode->KeepsScreenSize()) return true;
  return false;
}

bool TCallModes::HoldsInput() const {
  for (const auto& mode : FModes)
    if (mode->HoldsInput()) return true;
  return false;
}

bool TCallModes::DoorSession() const {
  for (const auto& mode : FModes)
    if (mode->DoorSession()) return true;
  return false;
}

void TCallModes::FileReceived(const std::string& path, const std::string& folder) {
  for (auto& mode : FModes) mode->FileReceived(path, folder);
}

bool TCallModes::Apc(const std::string& text) {
  for (auto& mode : FModes)
    if (mode->Apc(text)) return true;
  return false;
}

bool TCallModes::AnsiMusic(const std::string& text) {
  for (auto& mode : FModes)
    if (mode->AnsiMusic(text)) return true;
  return false;
}

bool TCallModes::AudioChannelBusy(int channel) const {
  for (const auto& mode : FModes)
    if (mode->AudioChannelBusy(channel)) return true;
  return false;
}

bool TCallModes::CellPixelSize(int& width, int& height) const {
  for (const auto& mode : FModes)
    if (mode->CellPixelSize(width, height)) return true;
  return false;
}

void TCallModes::Cleared() {
  for (auto& mode : FModes) mode->Cleared();
}

void TCallModes::Scrolled(int lines) {
  for (auto& mode : FModes) mode->Scrolled(lines);
}

void TCallModes::TextFed() {
  for (auto& mode : FModes) mode->TextFed();
}

void TCallModes::StreamScheduled() {
  for (auto& mode : FModes) mode->StreamScheduled();
}

TCallMode* TCallModes::FrameMode() const {
  for (const auto& mode : FModes)
    if (mode->ReplacesFrame()) return mode.get();
  return nullptr;
}

void TCallModes::PaintOver(TModeFrame& frame) {
  for (auto& mode : FModes) mode->PaintOver(frame);
}

bool TCallModes::HoldsPromptLine(int cols, std::string& text) const {
  for (const auto& mode : FModes)
    if (mode->HoldsPromptLine(cols, text)) return true;
  return false;
}

bool TCallModes::Mouse(const TModeMouse& m) {
  for (auto& mode : FModes)
    if (mode->Mouse(m)) return true;
  return false;
}

bool TCallModes::LinkClicked(const std::string& url) {
  for (auto& mode : FModes)
    if (mode->LinkClicked(url)) return true;
  return false;
}

bool TCallModes::Pointer(const TModeMouse& at, platform::CursorKind& kind) const {
  for (const auto& mode : FModes)
    if (mode->Pointer(at, kind)) return true;
  return false;
}

bool TCallModes::Key(const TKeyEvent& key) {
  for (auto& mode : FModes)
    if (mode->Key(key)) return true;
  return false;
}

bool TCallModes::Char(uint8_t ch, uint16_t scanCode) {
  for (auto& mode : FModes)
    if (mode->Char(ch, scanCode)) return true;
  return false;
}

void TCallModes::MainTick() {
  for (auto& mode : FModes) mode->MainTick();
}
