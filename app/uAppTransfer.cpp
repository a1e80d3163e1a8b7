// The application's side of the transfer engines: their bytes go out through
// the live call, their progress and results become the status text and the
// transfer window, files are counted, and downloaded files are offered to the
// call's modes (door assets).
#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uSSHClient.h"
#include "net/uTelnetClient.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/AppFolder.h"
#include "platform/Tick.h"

namespace fs = std::filesystem;

namespace {

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The path with every link and "." or ".." of its existing part resolved.
fs::path Resolved(const std::string& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(path, ec);
  return ec ? fs::path(path).lexically_normal() : resolved;
}

// True when Path is Folder or lies inside it.
bool Within(const fs::path& path, const fs::path& folder) {
  const fs::path relative = path.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

std::string Percent(int64_t done, int64_t total) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f%%", double(done) / double(total) * 100.0);
  return text;
}

}  // namespace

// The program's own files and folders, which no download may touch: the
// settings, both phonebooks and every copy kept beside them (backups and
// dated copies begin with their names), the pin files, the debug log and the
// executable; the fonts, icons, dll and scripts folders; and the capture
// folder when it is not the download folder itself. Names in the program's
// folder compare without regard to case, as its own look-ups do.
bool TApplication::IsProgramPath(const std::string& path) const {
  const fs::path target = Resolved(path);
  const std::string appFolder = platform::AppFolder();
  for (const char* folder : {"fonts", "icons", "dll", "scripts"})
    if (Within(target, Resolved(appFolder + folder))) return true;
  if (FConfig && !FConfig->CaptureDir.empty()) {
    const fs::path captures = Resolved(OutputFolder());
    if (captures != Resolved(ResolvePath(FConfig->DownloadDir)) && Within(target, captures)) return true;
  }
  if (target == Resolved("/proc/self/exe")) return true;
  // A name that begins like one of these, beside it, is the program's (the
  // backup reminder's copies are phonebook_backup_<date>.ini).
  std::vector<std::string> files = {appFolder + "korvan_debug.log", appFolder + "phonebook_backup_",
                                    SshKnownHostsPath(), TlsKnownHostsPath()};
  if (FConfig) files.push_back(FConfig->FFileName);
  if (FPhonebook) files.push_back(FPhonebook->FileName());
  if (FGuidebook) files.push_back(FGuidebook->FileName());
  const std::string name = LowerCase(target.filename().string());
  for (const std::string& file : files) {
    const fs::path own = Resolved(file);
    if (target.parent_path() == own.parent_path() && name.rfind(LowerCase(own.stem().string()), 0) == 0) return true;
  }
  return false;
}

void TApplication::WireTransferEngines() {
  FZmodem->OnSend = [this](const uint8_t* data, int count) { OnTransferSend(data, count); };
  FZmodem->OnProgress = [this](const std::string& n, int64_t d, int64_t t) { OnZmodemProgress(n, d, t); };
  FZmodem->OnFileDone = [this](const std::string& n, bool ok) { OnZmodemFileDone(n, ok); };
  FZmodem->OnFileSkipped = [this](const std::string& n) { OnZmodemSkipped(n); };
  FZmodem->OnRemoteSkipped = [this](const std::string& n) { OnZmodemRefused(n); };
  FZmodem->OnUploadRequested = [this] { OnZmodemUploadWanted(); };
  FZmodem->OnSessionEnd = [this] {
    FTransferPrompts.Batch.Open = true;
    Invalidate();
  };
  FXYmodem->OnSend = [this](const uint8_t* data, int count) { OnTransferSend(data, count); };
  FXYmodem->OnProgress = [this](const std::string& n, int64_t d, int64_t t) { OnXYmodemProgress(n, d, t); };
  FXYmodem->OnFileDone = [this](const std::string& n, bool ok) { OnXYmodemDone(n, ok); };
  FXYmodem->OnBatchDone = [] {};
  FZmodem->IsProgramPath = [this](const std::string& path) { return IsProgramPath(path); };
  FXYmodem->IsProgramPath = [this](const std::string& path) { return IsProgramPath(path); };
}

void TApplication::OnTransferSend(const uint8_t* data, int count) {
  if (FTelnet) FTelnet->SendBytes(data, count);
}

std::string TApplication::FormatTransferRate(const std::string& name, int64_t done, int64_t total) {
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

void TApplication::ShowTransferProgress(const std::string& direction, const std::string& protocol,
                                        const std::string& name, int64_t done, int64_t total, int errors,
                                        int block) {
  const std::string rate = FormatTransferRate(name, done, total);
  const std::string shown = protocol == "Zmodem" ? name : name + " (" + protocol + ")";
  if (total > 0)
    FStatus = direction + " " + shown + ": " + std::to_string(done) + " / " + std::to_string(total) + " bytes (" +
              Percent(done, total) + ")" + rate;
  else
    FStatus = direction + " " + shown + ": " + std::to_string(done) + " bytes" + rate;
  FXferTitle = direction + " via " + protocol;
  FXferFile = name;
  FXferDone = done;
  FXferTotal = total;
  FXferRate = rate;
  FXferErrors = errors;
  FXferBlock = block;
  FXferPanelUntil = platform::TickMs() + 1500;
}

void TApplication::OnZmodemProgress(const std::string& name, int64_t done, int64_t total) {
  const bool sending = FZmodem->Direction == 1;
  int block = sending ? FZmodem->BlockSize : (FZmodem->LargestSubpacket > 0 ? FZmodem->LargestSubpacket : 1024);
  // A file sent is one of this machine's; a file received keeps the bytes
  // the board named it with.
  ShowTransferProgress(sending ? "Sending" : "Receiving", "Zmodem", sending ? ShownFileName(name) : name, done,
                       total, FZmodem->ErrorCount, block);
}

void TApplication::OnXYmodemProgress(const std::string& name, int64_t done, int64_t total) {
  const bool sending = FXYmodem->Mode == TXYmodemEngine::xmSending;
  const int protocol = FXYmodem->Protocol;
  const int block = (protocol == xpXmodem || protocol == xpXmodemCrc) ? 128 : 1024;
  ShowTransferProgress(sending ? "Sending" : "Receiving", XYProtocolName(protocol),
                       sending ? ShownFileName(name) : name, done, total, FXYmodem->ErrorCount, block);
}

void TApplication::OnZmodemFileDone(const std::string& name, bool ok) {
  if (ok) (FZmodem->Direction == 1 ? FFilesUp : FFilesDown) += 1;
  FStatus = (ok ? "Transfer complete: " : "Transfer failed: ") + (FZmodem->Direction == 1 ? ShownFileName(name) : name);
  FXferPanelUntil = platform::TickMs() + 1200;
  // A downloaded file may be an asset of a door session.
  if (ok && FZmodem->Direction != 1) FModes->FileReceived(FZmodem->ReceivePath, FZmodem->ReceiveFolder);
  Invalidate();
}

void TApplication::OnXYmodemDone(const std::string& name, bool ok) {
  if (ok && !name.empty()) (FXYmodem->Mode == TXYmodemEngine::xmSending ? FFilesUp : FFilesDown) += 1;
  if (name.empty())
    // No name: the end of a Ymodem batch, or a transfer that failed before
    // any file began, which is told by the engine's reason.
    FStatus = ok ? "Ymodem batch complete." : "Transfer failed: " + FXYmodem->LastAbortReason;
  else
    FStatus = (ok ? "Transfer complete: " : "Transfer failed: ") +
              (FXYmodem->Mode == TXYmodemEngine::xmSending ? ShownFileName(name) : name);
  FXferPanelUntil = platform::TickMs() + 1200;
  Invalidate();
}

void TApplication::OnZmodemSkipped(const std::string& name) {
  FStatus = "Skipped (already exists): " + name;
  ShowToast("SKIPPED", name + " already exists", 1200);
  Invalidate();
}

void TApplication::OnZmodemRefused(const std::string& name) {
  ++FTransferPrompts.Batch.Refused;
  FTransferPrompts.Batch.RefusedName = ShownFileName(BaseName(name));
  FStatus = "BBS refused " + FTransferPrompts.Batch.RefusedName +
            " - already on the board, too big, or can't be saved there";
  LogLine("Zmodem: receiver sent ZSKIP for " + name + " - upload refused by the BBS");
  if (FReaderOn) Speak(FStatus, true);
  Invalidate();
}

void TApplication::OnZmodemUploadWanted() {
  // A receiver repeats its invitation every few seconds: the picker opens
  // again only 30 s after it last opened in this call. Requests ignored
  // meanwhile do not move that on.
  if (FLastUploadAsk != 0 && platform::TickMs() - FLastUploadAsk <= 30000) return;
  if (ScreenMode() != smOnline || FDoorwayMode || FZmodem->UploadFileCount() > 0 || FAsciiUpload.Running()) return;
  LogLine("Zmodem: BBS is waiting for an upload - opening the file picker");
  StartZmodemUpload();
  SetStatus("BBS is ready to receive - pick a file to upload (Esc to cancel).", 4000);
  if (FReaderOn) Speak(FStatus, true);
  Invalidate();
}

