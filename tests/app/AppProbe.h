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

#include "app/uApp.h"
#include "app/uOnlineScreen.h"

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
  uint64_t& ConnectTick() { return A.FConnectTick; }
  uint64_t& LastKeyTick() { return A.FLastKeyTick; }
  int64_t& BytesIn() { return A.FBytesIn; }
  bool& Paused() { return A.FPaused; }
  std::vector<uint8_t>& Pending() { return A.FRxPending; }
  double& SimBytesPerSec() { return A.FSimBytesPerSec; }
  uint32_t& BudgetTick() { return A.FBudgetTick; }
  double& BudgetCarry() { return A.FBudgetCarry; }
  int32_t BaudBudget() { return A.BaudBudget(); }
  void OnTelnetData(const std::string& bytes) {
    A.OnTelnetData(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()));
  }
  void ProcessIncoming(const std::string& bytes) {
    A.ProcessIncoming(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()), false);
  }
  bool AvatarActive() const { return A.FAvatarActive; }
  // The last characters received, where board prompts are recognised.
  const std::string& RecentText() const { return A.FRxTail; }
  int32_t& DialStage() { return A.FDialStage; }
  uint64_t& DialDue() { return A.FDialDue; }
  void DialTick() { A.DialTick(); }
  void UpdateWindowTitle() { A.UpdateWindowTitle(); }
  std::string OnlineStatusText(int64_t seconds) const { return A.OnlineStatusText(seconds); }
  void AnswerBackupPrompt(bool yes) { A.AnswerBackupPrompt(yes); }

  // The board list and its download: started directly (the update question
  // takes every key), and whether a download runs.
  TPhonebook& Guidebook() { return *A.FGuidebook; }
  void StartGuideDownload() { A.StartGuideDownload(); }
  bool GuideDownloadRunning() const { return A.FGuideDownloader != nullptr; }

  // A script is running or has not been reaped yet.
  bool ScriptRunning() const { return A.FScriptRunner != nullptr; }

  // Transfers.
  TZmodemEngine& Zmodem() { return *A.FZmodem; }
  TXYmodemEngine& XYmodem() { return *A.FXYmodem; }
  int32_t& FilesDown() { return A.FFilesDown; }
  int32_t& FilesUp() { return A.FFilesUp; }
  std::string& TransferTitle() { return A.FXferTitle; }
  int64_t TransferDone() const { return A.FXferDone; }
  int64_t TransferTotal() const { return A.FXferTotal; }
  uint64_t& TransferShownUntil() { return A.FXferPanelUntil; }
  uint64_t& RateStartTick() { return A.FRateStartTick; }
  const std::string& RefusedName() const { return A.FTransferPrompts.Batch.RefusedName; }
  // The transfer questions and menus over the online screen.
  TTransferPrompts& TransferPrompts() { return A.FTransferPrompts; }
  std::string FormatTransferRate(const std::string& name, int64_t done, int64_t total) {
    return A.FormatTransferRate(name, done, total);
  }
  void OnZmodemProgress(const std::string& name, int64_t done, int64_t total) { A.OnZmodemProgress(name, done, total); }
  void OnZmodemSkipped(const std::string& name) { A.OnZmodemSkipped(name); }
  void OnZmodemRefused(const std::string& name) { A.OnZmodemRefused(name); }
  void OnZmodemFileDone(const std::string& name, bool ok) { A.OnZmodemFileDone(name, ok); }
  void OnXYmodemDone(const std::string& name, bool ok) { A.OnXYmodemDone(name, ok); }

  TApplication& A;
};
