// The call's transfer engines: made with the call, their bytes go out on its
// transport, their progress and results become the status text and the
// transfer window, files are counted for the call's summary, and downloaded
// files are offered to the call's modes (door assets).
#include <cmath>
#include <cstdio>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/screens/uTransferPrompts.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Tick.h"

namespace {

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Percent(int64_t done, int64_t total) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f%%", double(done) / double(total) * 100.0);
  return text;
}

}  // namespace

void TCall::WireTransferEngines() {
  FZmodem->OnSend = [this](const uint8_t* data, int count) { OnTransferSend(data, count); };
  FZmodem->OnProgress = [this](const std::string& n, int64_t d, int64_t t) { OnZmodemProgress(n, d, t); };
  FZmodem->OnFileDone = [this](const std::string& n, bool ok) { OnZmodemFileDone(n, ok); };
  FZmodem->OnFileSkipped = [this](const std::string& n) { OnZmodemSkipped(n); };
  FZmodem->OnRemoteSkipped = [this](const std::string& n) { OnZmodemRefused(n); };
  FZmodem->OnUploadRequested = [this] { OnZmodemUploadWanted(); };
  FZmodem->OnSessionEnd = [this] {
    Host.TransferPrompts().Batch.Open = true;
    Host.Invalidate();
  };
  FXYmodem->OnSend = [this](const uint8_t* data, int count) { OnTransferSend(data, count); };
  FXYmodem->OnProgress = [this](const std::string& n, int64_t d, int64_t t) { OnXYmodemProgress(n, d, t); };
  FXYmodem->OnFileDone = [this](const std::string& n, bool ok) { OnXYmodemDone(n, ok); };
  FXYmodem->OnBatchDone = [] {};
  FZmodem->IsProgramPath = [this](const std::string& path) { return Host.IsProgramPath(path); };
  FXYmodem->IsProgramPath = [this](const std::string& path) { return Host.IsProgramPath(path); };
}

void TCall::OnTransferSend(const uint8_t* data, int count) {
  if (FTransport) FTransport->SendBytes(data, count);
}

std::string TCall::FormatTransferRate(const std::string& name, int64_t done, int64_t total) {
  const uint64_t now = platform::TickMs();
  if (name != FRateFile || done == 0 || done < FRateStartBytes) {
    FRateFile = name;
    FRateStartTick = now;
    FRateStartBytes = done;
    return "";
  }
  const uint64_t elapsed = now - FRateStartTick;
  if (elapsed <= 499 || done <= FRateStartBytes) return "";
  const double rate = double(done - FRateStartBytes) / (double(elapsed) / 1000.0);
  if (rate <= 0) return "";
  char text[64];
  if (rate >= 1048576)
    std::snprintf(text, sizeof text, " @ %.1f MB/s", rate / 1048576);
  else if (rate >= 1024)
    std::snprintf(text, sizeof text, " @ %.1f KB/s", rate / 1024);
  else
    std::snprintf(text, sizeof text, " @ %.0f B/s", rate);
  std::string out = text;
  if (total > 0 && done < total) {
    long long eta = std::llround(double(total - done) / rate);
    if (eta < 0) eta = 0;
    if (eta >= 3600)
      std::snprintf(text, sizeof text, ", ETA %lld:%.2lld:%.2lld", eta / 3600, eta % 3600 / 60, eta % 60);
    else
      std::snprintf(text, sizeof text, ", ETA %.2lld:%.2lld", eta / 60, eta % 60);
    out += text;
  }
  return out;
}

void TCall::ShowTransferProgress(const std::string& direction, const std::string& protocol,
                                        const std::string& name, int64_t done, int64_t total, int errors,
                                        int block) {
  const std::string rate = FormatTransferRate(name, done, total);
  const std::string shown = protocol == "Zmodem" ? name : name + " (" + protocol + ")";
  if (total > 0)
    Host.SetStatusText(direction + " " + shown + ": " + std::to_string(done) + " / " + std::to_string(total) +
                       " bytes (" + Percent(done, total) + ")" + rate);
  else
    Host.SetStatusText(direction + " " + shown + ": " + std::to_string(done) + " bytes" + rate);
  FXfer.Title = direction + " via " + protocol;
  FXfer.File = name;
  FXfer.Done = done;
  FXfer.Total = total;
  FXfer.Rate = rate;
  FXfer.Errors = errors;
  FXfer.Block = block;
  FXferPanelUntil = platform::TickMs() + 1500;
}

void TCall::OnZmodemProgress(const std::string& name, int64_t done, int64_t total) {
  const bool sending = FZmodem->Direction == 1;
  int block = sending ? FZmodem->BlockSize : (FZmodem->LargestSubpacket > 0 ? FZmodem->LargestSubpacket : 1024);
  // A file sent is one of this machine's; a file received keeps the bytes
  // the board named it with.
  ShowTransferProgress(sending ? "Sending" : "Receiving", "Zmodem", sending ? ShownFileName(name) : name, done,
                       total, FZmodem->ErrorCount, block);
}

void TCall::OnXYmodemProgress(const std::string& name, int64_t done, int64_t total) {
  const bool sending = FXYmodem->Mode == TXYmodemEngine::xmSending;
  const int protocol = FXYmodem->Protocol;
  const int block = (protocol == xpXmodem || protocol == xpXmodemCrc) ? 128 : 1024;
  ShowTransferProgress(sending ? "Sending" : "Receiving", XYProtocolName(protocol),
                       sending ? ShownFileName(name) : name, done, total, FXYmodem->ErrorCount, block);
}

void TCall::OnZmodemFileDone(const std::string& name, bool ok) {
  if (ok) (FZmodem->Direction == 1 ? FCounts.FilesUp : FCounts.FilesDown) += 1;
  Host.SetStatusText((ok ? "Transfer complete: " : "Transfer failed: ") +
                     (FZmodem->Direction == 1 ? ShownFileName(name) : name));
  FXferPanelUntil = platform::TickMs() + 1200;
  // A downloaded file may be an asset of a door session.
  if (ok && FZmodem->Direction != 1) FModes.FileReceived(FZmodem->ReceivePath, FZmodem->ReceiveFolder);
  Host.Invalidate();
}

void TCall::OnXYmodemDone(const std::string& name, bool ok) {
  if (ok && !name.empty())
    (FXYmodem->Mode == TXYmodemEngine::xmSending ? FCounts.FilesUp : FCounts.FilesDown) += 1;
  if (name.empty())
    // No name: the end of a Ymodem batch, or a transfer that failed before
    // any file began, which is told by the engine's reason.
    Host.SetStatusText(ok ? "Ymodem batch complete." : "Transfer failed: " + FXYmodem->LastAbortReason);
  else
    Host.SetStatusText((ok ? "Transfer complete: " : "Transfer failed: ") +
                       (FXYmodem->Mode == TXYmodemEngine::xmSending ? ShownFileName(name) : name));
  FXferPanelUntil = platform::TickMs() + 1200;
  Host.Invalidate();
}

void TCall::OnZmodemSkipped(const std::string& name) {
  Host.SetStatusText("Skipped (already exists): " + name);
  Host.ShowToast("SKIPPED", name + " already exists", 1200);
  Host.Invalidate();
}

void TCall::OnZmodemRefused(const std::string& name) {
  TTransferPrompts& prompts = Host.TransferPrompts();
  ++prompts.Batch.Refused;
  prompts.Batch.RefusedName = ShownFileName(BaseName(name));
  const std::string status =
      "BBS refused " + prompts.Batch.RefusedName + " - already on the board, too big, or can't be saved there";
  Host.SetStatusText(status);
  LogLine("Zmodem: receiver sent ZSKIP for " + name + " - upload refused by the BBS");
  Host.SpeakStatus(status);
  Host.Invalidate();
}

void TCall::OnZmodemUploadWanted() {
  // A receiver repeats its invitation every few seconds: the picker opens
  // again only 30 s after it last opened in this call. Requests ignored
  // meanwhile do not move that on.
  if (FLastUploadAsk != 0 && platform::TickMs() - FLastUploadAsk <= 30000) return;
  if (FZmodem->UploadFileCount() > 0) return;
  Host.UploadWanted();
}


bool TCall::TransferRunning() const {
  return (FZmodem->State >= 2 && FZmodem->State <= 4) ||
         (FXYmodem->Mode != TXYmodemEngine::xmIdle && !FXYmodem->IsWaitingForReceiver());
}

bool TCall::TransferWindowShown(uint64_t now) const { return TransferRunning() || now < FXferPanelUntil; }

std::vector<std::string> TCall::QueuedUploads() const {
  std::vector<std::string> queued;
  for (int i = 0; i < FZmodem->UploadFileCount(); ++i) queued.push_back(FZmodem->GetUploadFile(i));
  return queued;
}

void TCall::SetTransferFolders(const std::string& download, const std::string& door) {
  FZmodem->SetDownloadDir(download);
  FXYmodem->SetDownloadDir(download);
  FZmodem->SetDdofxDir(door);
}

void TCall::NoteUploadAsked() { FLastUploadAsk = platform::TickMs(); }

void TCall::TransfersTick() {
  FZmodem->Tick();
  FXYmodem->Tick();
}

void TCall::StopTransfers() {
  // An upload armed for this call must never reach the next board: the
  // engine is stopped, forgets that a receiver was waiting and keeps only
  // its list of files, which the next upload picker shows again.
  const std::vector<std::string> queued = QueuedUploads();
  FZmodem->Abort();
  for (const std::string& file : queued) FZmodem->AddUploadFile(file);
  // An X/Ymodem transfer belongs to its call as much as a Zmodem one does:
  // left running, it would take the next call's bytes for its blocks.
  if (FXYmodem->Mode != TXYmodemEngine::xmIdle) FXYmodem->Abort("Call ended");
  FXferPanelUntil = 0;
  // The hold on the upload picker was this call's.
  FLastUploadAsk = 0;
}
