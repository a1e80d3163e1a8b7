#include "app/uAppModeServices.h"

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uOnlineMouse.h"
#include "app/uScreenLinks.h"
#include "core/uFontRenderer.h"
#include "net/uWireTransport.h"

void TAppModeServices::SendToHost(const std::string& text) { A.FCall->SendToHost(text); }

void TAppModeServices::SendTyped(const std::string& text) { A.SendTyped(text); }

std::shared_ptr<TWireTransport> TAppModeServices::Transport() const { return A.FCall->Transport(); }

const TPhonebookEntry* TAppModeServices::Entry() const { return A.FCall->Entry().get(); }

TTerminalBuffer& TAppModeServices::Buffer() { return *A.FBuffer; }

TFontRenderer& TAppModeServices::Renderer() { return *A.FRenderer; }

const TBitmapFont& TAppModeServices::MainFont() const { return *A.FMainFont; }

void TAppModeServices::ScreenPixels(int& width, int& height) const {
  width = A.FBuffer->FWidth * A.FMainFont->Width();
  height = A.FBuffer->FHeight * A.FMainFont->Height();
}

TAnsiParser& TAppModeServices::AnsiParser() { return *A.FParser; }

void TAppModeServices::FeedText(const uint8_t* data, size_t count) {
  for (size_t i = 0; i < count; ++i) A.FCall->FeedByte(data[i]);
}

void TAppModeServices::PicturePlaced() {
  A.FGfxDirty = true;
  A.FBuffer->Dirty = true;
  A.Invalidate();
}

void TAppModeServices::SwitchColumns(bool is80) { A.FCall->OnColumnModeSwitch(is80); }

void TAppModeServices::ResumeInput() { A.FCall->DrainInput(); }

bool TAppModeServices::MinorEmulationActive() const { return A.FCall->MinorEmulationActive(); }

bool TAppModeServices::OnlineShown() const { return A.ScreenMode() == smOnline; }

TAppConfig& TAppModeServices::Settings() { return *A.FConfig; }

void TAppModeServices::ShowStatus(const std::string& text, uint32_t showMs) { A.SetStatus(text, showMs); }

void TAppModeServices::Invalidate() { A.Invalidate(); }

void TAppModeServices::ToggleSoundMute() { A.ToggleSoundMute(); }

void TAppModeServices::OpenInBrowser(const std::string& url) { A.OnlineMouse().OpenUrlInBrowser(url); }

std::string TAppModeServices::FirstUrlOnScreen() const { return ::FirstUrlOnScreen(*A.FBuffer); }

void TAppModeServices::AnnounceStreamScheduled() { A.FModes->StreamScheduled(); }

void TAppModeServices::StartTimer(TCallMode& mode, uint32_t ms) {
  A.FWindow->SetTimer(tmModeFirst + int(A.FModes->RowOf(mode)), ms);
}

void TAppModeServices::StopTimer(TCallMode& mode) { A.FWindow->KillTimer(tmModeFirst + int(A.FModes->RowOf(mode))); }

bool TAppModeServices::TimerRunning(const TCallMode& mode) const {
  return A.FWindow->HasTimer(tmModeFirst + int(A.FModes->RowOf(mode)));
}
