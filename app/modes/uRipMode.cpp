#include "app/modes/uRipMode.h"

#include <cstdio>

#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "graphics/uBGIFont.h"
#include "graphics/uRipParser.h"
#include "platform/AppFolder.h"

namespace {

const char* const kStrokeFontFiles[11] = {"",         "TRIP.CHR", "LITT.CHR", "SANS.CHR", "GOTH.CHR", "SCRI.CHR",
                                          "SIMP.CHR", "TSCR.CHR", "LCOM.CHR", "EURO.CHR", "BOLD.CHR"};

}  // namespace

TRipMode::TRipMode(TCallModeServices& services)
    : TCallMode(services), FRipCanvas(std::make_unique<TRipCanvas>()) {
  FRipParser = std::make_unique<TRipParser>(FRipCanvas.get());
  FRipParser->OnReply = [this](const std::string& s) { Services().SendToHost(s); };
  // The ten stroke fonts.
  for (int slot = 1; slot <= 10; ++slot) {
    FBgiFonts[slot] = std::make_unique<TBGIStrokeFont>();
    FBgiFonts[slot]->LoadFromFile(platform::AppFolder() + "fonts/" + kStrokeFontFiles[slot]);
    FRipCanvas->SetFontSlot(slot, FBgiFonts[slot].get());
    if (LogEnabled) {
      char line[96];
      std::snprintf(line, sizeof line, "BGIFont: slot %d (%s) Valid=%s", slot, kStrokeFontFiles[slot],
                    FBgiFonts[slot]->Valid ? "True" : "False");
      LogLine(line);
    }
  }
  FRipDib.Resize(TRipCanvas::kWidth, TRipCanvas::kHeight);
}

TRipMode::~TRipMode() {
  FRipParser.reset();
  FRipCanvas.reset();
  for (auto& font : FBgiFonts) font.reset();
}

void TRipMode::Open(const TPhonebookEntry& entry) {
  FRipMode = entry.UseRIP;
  FRipGridSet = false;
  FRipCanvas->Clear();
  FRipParser->Reset();
  FRipParser->SkyPixHideFontNames = Services().Settings().SkyPixHideFontNames;
}

void TRipMode::Reset() {
  FRipMode = false;
  FRipCellW = 8;
  FRipCellH = 8;
  FRipGridSet = false;
  FRipTextHidden = false;
}

bool TRipMode::TakeByte(uint8_t b, std::vector<uint8_t>& out) {
  FRipParser->Feed(b, out);
  return true;
}

unsigned TRipMode::EndChunk() { return FRipMode && FRipCanvas->Dirty() ? ccCanvasChanged : ccNone; }

void TRipMode::Cleared() { FRipCanvas->Clear(); }

void TRipMode::Scrolled(int lines) {
  if (FRipMode) FRipParser->ScrollUp(lines * 14);
}
