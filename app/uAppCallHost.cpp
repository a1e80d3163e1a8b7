#include "app/uAppCallHost.h"

#include "app/uApp.h"
#include "app/uAppDoors.h"
#include "app/uAppReader.h"
#include "app/uOnlineMouse.h"
#include "core/uFontRenderer.h"
#include "core/uDebugLog.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"

namespace {

int WindowTimer(TCallTimer timer) {
  switch (timer) {
    case TCallTimer::HeldInput: return tmHeldInput;
  }
  return tmHeldInput;
}

}  // namespace

bool TAppCallHost::LoopRunning() const { return A.FRunning; }

void TAppCallHost::PumpMessages() { A.PumpMessages(); }

void TAppCallHost::ShowFrameNow() {
  if (A.FWindow) A.FWindow->UpdateNow();
}

void TAppCallHost::Invalidate() { A.Invalidate(); }

void TAppCallHost::PicturePlaced() { A.FGfxDirty = true; }

void TAppCallHost::StartTimer(TCallTimer timer, uint32_t ms) { A.FWindow->SetTimer(WindowTimer(timer), ms); }

void TAppCallHost::StopTimer(TCallTimer timer) { A.FWindow->KillTimer(WindowTimer(timer)); }

bool TAppCallHost::TimerRunning(TCallTimer timer) const { return A.FWindow->HasTimer(WindowTimer(timer)); }

const TAppConfig* TAppCallHost::Settings() const { return A.FConfig.get(); }

void TAppCallHost::ShowStatus(const std::string& text, uint32_t showMs) { A.SetStatus(text, showMs); }

void TAppCallHost::Received(const uint8_t* data, int count) {
  A.FDoors->Received(data, count);
}

void TAppCallHost::ReceivedChunk(const uint8_t* data, int count) {
  A.FScripts->Received(data, count);
}

void TAppCallHost::SetStatusText(const std::string& text) { A.FStatus = text; }

void TAppCallHost::ShowToast(const std::string& title, const std::string& text, uint32_t ms) {
  A.ShowToast(title, text, ms);
}

void TAppCallHost::SpeakStatus(const std::string& text) {
  if (A.FReader->On()) A.FReader->Speak(text, true);
}

void TAppCallHost::TransferFolders(std::string& download, std::string& door) const {
  if (A.FConfig) TransferFoldersOf(*A.FConfig, download, door);
}

TTransferPrompts& TAppCallHost::TransferPrompts() { return A.FUploads->Prompts(); }

void TAppCallHost::UploadWanted() {
  if (A.ScreenMode() != smOnline || A.FDoorwayMode || A.FUploads->AsciiUploadRunning()) return;
  LogLine("Zmodem: BBS is waiting for an upload - opening the file picker");
  A.FUploads->StartZmodemUpload();
  A.SetStatus("BBS is ready to receive - pick a file to upload (Esc to cancel).", 4000);
  if (A.FReader->On()) A.FReader->Speak(A.FStatus, true);
  A.Invalidate();
}

void TAppCallHost::RecordTypedText(const std::string& text) { A.FScripts->RecordTypedText(text); }

void TAppCallHost::ResizeRequest(int rows, int cols) { A.OnResizeRequest(rows, cols); }

bool TAppCallHost::StatusBarShown() const { return A.FStatusBar; }

bool TAppCallHost::LoadTerminalFont(const std::string& path) {
  if (!A.FMainFont->LoadFromFile(path)) return false;
  A.FRenderer->Invalidate();
  return true;
}

void TAppCallHost::FontCellSize(int& width, int& height) const {
  width = A.FMainFont->Width();
  height = A.FMainFont->Height();
}

void TAppCallHost::ScreenCleared() {
  A.FRenderer->ClearSprites();
  A.FMouse->ClearLinkSelection();
  A.FMouse->ClearHover();
}

void TAppCallHost::CallStatus(const std::string& text) { A.OnTelnetStatus(text); }

void TAppCallHost::CallConnected() { A.OnTelnetConnected(); }

void TAppCallHost::CallDisconnected(const std::string& text, bool live) { A.OnTelnetDisconnected(text, live); }
