#include "app/modes/uIgsMode.h"

#include <cctype>

#include "core/uBuiltinGlyphs.h"
#include "core/uTerminalBuffer.h"
#include "data/uPhonebook.h"
#include "graphics/uIGSParser.h"
#include "sound/uIGSSound.h"

namespace {

constexpr uint32_t kReplayMs = 15;

bool NamesIgs(std::string type) {
  for (char& c : type) c = char(std::toupper(static_cast<unsigned char>(c)));
  return type.find("IGS") != std::string::npos;
}

}  // namespace

TIgsMode::TIgsMode(TCallModeServices& services)
    : TCallMode(services),
      FSound(std::make_unique<TIGSSoundOut>()),
      FParser(std::make_unique<TIGSParser>(&services.Buffer())) {
  FParser->OnReply = [this](const std::string& s) { Services().SendToHost(s); };
  FParser->FSynth = &FSound->FSynth;
  FParser->FFont8x8 = kVga8x8Glyphs;
  FParser->OnSoundStarted = [this] { FSound->Wake(); };
  FParser->OnColumnModeSwitch = [this](int resolution) { Services().SwitchColumns(resolution != 0); };
}

TIgsMode::~TIgsMode() {
  FParser.reset();
  FSound.reset();
}

void TIgsMode::Open(const TPhonebookEntry& entry) {
  FIgsMode = NamesIgs(entry.TermType);
  FParser->Reset();
}

void TIgsMode::Reset() {
  FIgsMode = false;
  FParser->Reset();
  FSound->FSynth.StopAll();
}

bool TIgsMode::TakeByte(uint8_t b, std::vector<uint8_t>& out) {
  FParser->FeedByte(b, out);
  return true;
}

unsigned TIgsMode::EndChunk() {
  const bool dirty = FIgsMode && FParser->TakeDirty();
  if (FIgsMode) StartIgsReplay();
  return dirty ? ccCanvasChanged : ccNone;
}

void TIgsMode::StartIgsReplay() {
  if (!Services().TimerRunning(*this) && FIgsMode && FParser->IsBusy()) Services().StartTimer(*this, kReplayMs);
}

void TIgsMode::IgsReplayTick() {
  FReplayOut.clear();
  if (FIgsMode && FParser->ProcessQueued(FReplayOut)) {
    Services().FeedText(FReplayOut.data(), FReplayOut.size());
    FParser->TakeDirty();
    Services().Buffer().Dirty = true;
    Services().Invalidate();
  }
  if (!(FIgsMode && FParser->IsBusy())) Services().StopTimer(*this);
}
