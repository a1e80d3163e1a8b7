#include "app/modes/uApcImageMode.h"

#include "core/uFontRenderer.h"
#include "graphics/uApcImages.h"

namespace {

const char kEsc = 27;

}  // namespace

TApcImageMode::TApcImageMode(TCallModeServices& services)
    : TCallMode(services), FEngine(std::make_unique<TApcImageEngine>(&services.Renderer())) {
  FEngine->OnScreenPixels = [this](int& w, int& h) { Services().ScreenPixels(w, h); };
}

TApcImageMode::~TApcImageMode() = default;

void TApcImageMode::Reset() { FEngine->Reset(); }

bool TApcImageMode::Apc(const std::string& text) {
  std::string reply;
  if (FEngine->HandleApc(text, reply)) {
    if (!reply.empty()) Services().SendToHost(reply);
    if (FEngine->TakeImagePlaced()) Services().PicturePlaced();
    return true;
  }
  if (text == "SyncTERM:Q;JXL") {
    Services().SendToHost(std::string(1, kEsc) + "[=1;" + (LoadJxlLibrary() ? "1" : "0") + "-n");
    return true;
  }
  return false;
}
