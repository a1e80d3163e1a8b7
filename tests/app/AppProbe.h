// The running program's internals, for the tests that check what nothing
// outside shows (the modem-speed budget, the rate text, the transfer
// handlers and their counts, the dial animation's stages) or that set up a
// state to paint (a call's elapsed time, paused input, the status bar).
// Everything else a test reads through the program's public face: the
// screens, the cells painted, the window, the status text, the call.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/call/uCall.h"
#include "app/uApp.h"
#include "app/uAppCallHost.h"
#include "app/uAppDoors.h"
#include "app/uAppGuide.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"
#include "app/uOnlineScreen.h"
#include "net/uComBridge.h"
#include "net/uComBridgeTcp.h"
#include "net/uWireTransport.h"

struct TAppProbe {
  explicit TAppProbe(TApplication& app) : A(app) {}

  // The call's buffer, the renderer and the terminal font.
  TTerminalBuffer& Buffer() { return *A.FBuffer; }
  TFontRenderer& Renderer() { return *A.FRenderer; }
  TBitmapFont& MainFont() { return *A.FMainFont; }
  bool& StandardFontLoaded() { return A.FStdFontLoaded; }

  // The status line and the popups' state.
  std::string& Status() { return A.FStatus; }
  uint64_t& StatusUntil() { return A.FStatusUntil; }
  bool& StatusBar() { return A.FStatusBar; }
  std::string StatusBarText() const { return A.FOnline->StatusBarText(); }
  TPopups& Popups() { return A.FPopups; }

  // The loop's running flag, which the receive pipeline looks at.
  bool& RunningFlag() { return A.FRunning; }

  // The call and the receive pipeline.
  TCall& Call() { return *A.FCall; }
  uint64_t& ConnectTick() { return A.FCall->FConnectTick; }
  uint64_t& LastKeyTick() { return A.FLastKeyTick; }
  int64_t& BytesIn() { return A.FCall->FCounts.BytesIn; }
  bool& Paused() { return A.FCall->FPaused; }
  std::vector<uint8_t>& Pending() { return A.FCall->FRxPending; }
  double& SimBytesPerSec() { return A.FCall->FSimBytesPerSec; }
  uint32_t& BudgetTick() { return A.FCall->FBudgetTick; }
  double& BudgetCarry() { return A.FCall->FBudgetCarry; }
  int32_t BaudBudget() { return A.FCall->BaudBudget(); }
  void OnTelnetData(const std::string& bytes) {
    A.FCall->OnTelnetData(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
  }
  void ProcessIncoming(const std::string& bytes) {
    A.FCall->ProcessIncoming(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()), false);
  }
  bool AvatarActive() const { return A.FCall->AvatarActive(); }
  // The last characters received, where board prompts are recognised.
  const std::string& RecentText() const { return A.FCall->RecentText(); }
  int32_t& DialStage() { return A.FDialStage; }
  uint64_t& DialDue() { return A.FDialDue; }
  void DialTick() { A.DialTick(); }
  void UpdateWindowTitle() { A.UpdateWindowTitle(); }
  std::string OnlineStatusText(int64_t seconds) const { return A.FCall->OnlineStatusText(seconds); }
  void AnswerBackupPrompt(bool yes) { A.FGuide->AnswerBackupPrompt(yes); }

  // The board list and its download: started directly (the update question
  // takes every key), and whether a download runs.
  TPhonebook& Guidebook() { return *A.FGuidebook; }
  void StartGuideDownload() { A.FGuide->StartGuideDownload(); }
  bool GuideDownloadRunning() const { return A.FGuide->DownloadRunning(); }

  // A script is running or has not been reaped yet.
  bool ScriptRunning() const { return A.FScripts->ScriptRunning(); }
  // Bytes the call has waiting to leave.
  size_t SendBacklog() const { return A.FCall->Transport() ? A.FCall->Transport()->SendBacklog() : 0; }
  // Bytes from the board waiting for a door program, and whether the call
  // has stopped reading the board meanwhile.
  size_t DoorWaiting() const {
    const TAppDoors& doors = *A.FDoors;
    return (doors.FTcpBridge ? doors.FTcpBridge->Waiting() : 0) + (doors.FComBridge ? doors.FComBridge->Waiting() : 0);
  }
  bool ReceiveHeld() const { return A.FCall->Transport() && A.FCall->Transport()->HoldReceive.load(); }
  // Hands bytes on as the call does with each piece the board sends, before
  // they are drained to the screen.
  void HandOnReceived(const std::string& bytes) {
    A.FCallHost->Received(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
  }

  // Transfers.
  TZmodemEngine& Zmodem() { return A.FCall->Zmodem(); }
  TXYmodemEngine& XYmodem() { return A.FCall->XYmodem(); }
  int32_t& FilesDown() { return A.FCall->FCounts.FilesDown; }
  int32_t& FilesUp() { return A.FCall->FCounts.FilesUp; }
  std::string& TransferTitle() { return A.FCall->FXfer.Title; }
  int64_t TransferDone() const { return A.FCall->FXfer.Done; }
  int64_t TransferTotal() const { return A.FCall->FXfer.Total; }
  uint64_t& TransferShownUntil() { return A.FCall->FXferPanelUntil; }
  uint64_t& RateStartTick() { return A.FCall->FRateStartTick; }
  const std::string& RefusedName() const { return A.FUploads->Prompts().Batch.RefusedName; }
  // The transfer questions and menus over the online screen.
  TTransferPrompts& TransferPrompts() { return A.FUploads->Prompts(); }
  std::string FormatTransferRate(const std::string& name, int64_t done, int64_t total) {
    return A.FCall->FormatTransferRate(name, done, total);
  }
  void OnZmodemProgress(const std::string& name, int64_t done, int64_t total) {
    A.FCall->OnZmodemProgress(name, done, total);
  }
  void OnZmodemSkipped(const std::string& name) { A.FCall->OnZmodemSkipped(name); }
  void OnZmodemRefused(const std::string& name) { A.FCall->OnZmodemRefused(name); }
  void OnZmodemFileDone(const std::string& name, bool ok) { A.FCall->OnZmodemFileDone(name, ok); }
  void OnXYmodemDone(const std::string& name, bool ok) { A.FCall->OnXYmodemDone(name, ok); }

  TApplication& A;
};
