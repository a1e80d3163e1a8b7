#include "app/modes/uITerm2Mode.h"

#include "core/uFontRenderer.h"
#include "data/uPhonebook.h"
#include "graphics/uITerm2Parser.h"

TITerm2Mode::TITerm2Mode(TCallModeServices& services)
    : TCallMode(services),
      FParser(std::make_unique<TITerm2Parser>(&services.Buffer(), &services.Renderer(), services.MainFont().Width(),
                                              services.MainFont().Height())),
      FEnabled(false) {}

TITerm2Mode::~TITerm2Mode() = default;

void TITerm2Mode::Open(const TPhonebookEntry& entry) {
  FEnabled = entry.UseITerm2Images;
  FParser->Reset();
}

void TITerm2Mode::Reset() {
  FEnabled = false;
  FParser->Reset();
}

size_t TITerm2Mode::PlainRun(const uint8_t* data, size_t count) const { return FParser->PlainRun(data, count); }

bool TITerm2Mode::TakeByte(uint8_t b, std::vector<uint8_t>& out) {
  FParser->ProcessByte(b, out);
  return true;
}

unsigned TITerm2Mode::EndChunk() { return FEnabled && FParser->TakeImagePlaced() ? ccPicturePlaced : ccNone; }

void TITerm2Mode::Cleared() { FParser->Reset(); }
