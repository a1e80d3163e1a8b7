#include "app/modes/uSixelMode.h"

#include "core/uFontRenderer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "graphics/uSixelParser.h"

TSixelMode::TSixelMode(TCallModeServices& services)
    : TCallMode(services),
      FParser(std::make_unique<TSixelParser>(&services.Buffer(), &services.Renderer(), services.MainFont().Width(),
                                             services.MainFont().Height())),
      FEnabled(true) {
  FParser->VideoStartDelayMs = 0;
}

TSixelMode::~TSixelMode() = default;

void TSixelMode::Open(const TPhonebookEntry& entry) {
  FEnabled = entry.UseSixel;
  FParser->Reset();
}

void TSixelMode::Reset() {
  // Between calls pictures are on, as for a new entry.
  FEnabled = true;
  FParser->Reset();
}

size_t TSixelMode::PlainRun(const uint8_t* data, size_t count) const { return FParser->PlainRun(data, count); }

bool TSixelMode::TakeByte(uint8_t b, std::vector<uint8_t>& out) {
  FParser->ProcessByte(b, out);
  return true;
}

unsigned TSixelMode::EndChunk() { return FEnabled && FParser->TakeImagePlaced() ? ccPicturePlaced : ccNone; }

void TSixelMode::Cleared() { FParser->Reset(); }

// A video's first frames are held back for a while, so that its sound,
// which starts later, is not left behind.
void TSixelMode::StreamScheduled() { FParser->VideoStartDelayMs = Services().Settings().VideoStartDelayMs; }
