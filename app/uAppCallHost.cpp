#include "app/uAppCallHost.h"

#include "app/call/uCall.h"
#include "app/uApp.h"
#include "core/uDebugLog.h"
#include "data/uScriptRecorder.h"
#include "data/uScriptRunner.h"
#include "net/uComBridge.h"
#include "net/uComBridgeTcp.h"

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
  // A door program that does not read holds back the call's transport.
  const std::shared_ptr<TWireTransport> source = A.FCall ? A.FCall->Transport() : nullptr;
  if (A.FComBridge) A.FComBridge->Write(data, count, source);
  if (A.FTcpBridge) A.FTcpBridge->Write(data, count, source);
}

void TAppCallHost::ReceivedChunk(const uint8_t* data, int count) {
  if (A.FScriptRunner) A.FScriptRunner->Feed(data, count);
  if (A.FRecorder) A.FRecorder->Feed(data, count);
}

void TAppCallHost::SetStatusText(const std::string& text) { A.FStatus = text; }

void TAppCallHost::ShowToast(const std::string& title, const std::string& text, uint32_t ms) {
  A.ShowToast(title, text, ms);
}

void TAppCallHost::SpeakStatus(const std::string& text) {
  if (A.FReaderOn) A.Speak(text, true);
}

void TAppCallHost::TransferFolders(std::string& download, std::string& door) const {
  if (A.FConfig) TransferFoldersOf(*A.FConfig, download, door);
}

bool TAppCallHost::IsProgramPath(const std::string& path) const { return A.IsProgramPath(path); }

TTransferPrompts& TAppCallHost::TransferPrompts() { return A.FTransferPrompts; }

void TAppCallHost::UploadWanted() {
  if (A.ScreenMode() != smOnline || A.FDoorwayMode || A.FAsciiUpload.Running()) return;
  LogLine("Zmodem: BBS is waiting for an upload - opening the file picker");
  A.StartZmodemUpload();
  A.SetStatus("BBS is ready to receive - pick a file to upload (Esc to cancel).", 4000);
  if (A.FReaderOn) A.Speak(A.FStatus, true);
  A.Invalidate();
}

void TAppCallHost::RecordTypedText(const std::string& text) { A.RecordTypedText(text); }

void TAppCallHost::TextGeometry(int& cols, int& rows) const {
  rows = A.TextRows(A.TermRows());
  cols = A.TermCols();
}

void TAppCallHost::PetsciiFontSwitch(bool lower) { A.OnPetsciiFontSwitch(lower); }

void TAppCallHost::CallStatus(const std::string& text) { A.OnTelnetStatus(text); }

void TAppCallHost::CallConnected() { A.OnTelnetConnected(); }

void TAppCallHost::CallDisconnected(const std::string& text, bool live) { A.OnTelnetDisconnected(text, live); }
