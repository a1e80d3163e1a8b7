// The application's side of the transfer engines: their bytes go out through
// the live call, their progress and results become the status text and the
// transfer window, files are counted, and door-asset archives received during
// a door-graphics session are registered and unpacked.
#include <sys/stat.h>
#include <zip.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/uApp.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "data/uConfig.h"
#include "door/uDDOFXParser.h"
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

bool HasZipExtension(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".zip";
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

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
  if (ok && FDDOFXParser && FZmodem->Direction != 1) {
    const std::string folder = FZmodem->ReceiveFolder;
    const std::string path = FZmodem->ReceivePath;
    FDDOFXParser->AddAssetFromFile(path);
    if (HasZipExtension(path)) {
      RegisterZipAssets(path);
      if (FDDOFXParser->Active() && UnzipDoorAssets(path, folder) && FConfig->DDOFXDeleteZips) {
        if (std::remove(path.c_str()) == 0)
          LogLine("DDOFX: extracted and removed " + path);
        else
          LogLine("DDOFX: extracted " + path + " but could not delete it");
      }
    }
  }
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

void TApplication::RegisterZipAssets(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  in.seekg(0, std::ios::end);
  const int64_t size = int64_t(in.tellg());
  if (size <= 21) return;
  const int64_t tailSize = std::min<int64_t>(size, 65557);
  std::vector<uint8_t> tail(static_cast<size_t>(tailSize));
  in.seekg(size - tailSize);
  in.read(reinterpret_cast<char*>(tail.data()), tailSize);
  if (!in) return;
  int64_t eocd = -1;
  for (int64_t i = tailSize - 22; i >= 0; --i)
    if (tail[size_t(i)] == 'P' && tail[size_t(i) + 1] == 'K' && tail[size_t(i) + 2] == 5 && tail[size_t(i) + 3] == 6) {
      eocd = i;
      break;
    }
  if (eocd < 0) return;
  const uint16_t count = Le16(&tail[size_t(eocd) + 10]);
  int64_t offset = Le32(&tail[size_t(eocd) + 16]);
  for (int n = 0; n < count; ++n) {
    if (offset + 46 > size) break;
    uint8_t header[46];
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(header), 46);
    if (!in || header[0] != 'P' || header[1] != 'K' || header[2] != 1 || header[3] != 2) break;
    const uint16_t nameLen = Le16(header + 28), extraLen = Le16(header + 30), commentLen = Le16(header + 32);
    const uint16_t time = Le16(header + 12), date = Le16(header + 14);
    const uint32_t entrySize = Le32(header + 24);
    if (nameLen > 0) {
      std::string name(nameLen, '\0');
      in.read(name.data(), nameLen);
      if (!in) break;
      FDDOFXParser->AddAssetFromZipEntry(BaseName(name), date, time, entrySize, 0);
    }
    offset += 46 + nameLen + extraLen + commentLen;
  }
}

bool TApplication::UnzipDoorAssets(const std::string& path, const std::string& folder) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return false;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  bool ok = count > 0;
  std::vector<char> buffer(65536);
  for (zip_int64_t i = 0; ok && i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
      ok = false;
      break;
    }
    std::string name = st.name;
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) continue;
    // Door assets are plain files of the door folder: an entry that names a
    // sub-folder, a parent or an absolute path is refused, never written.
    std::string why;
    if (!IsPlainFileName(name, &why)) {
      LogLine("DDOFX: refused zip entry \"" + name + "\" in " + path + ": " + why);
      ok = false;
      break;
    }
    zip_file_t* entry = zip_fopen_index(archive, zip_uint64_t(i), 0);
    if (!entry) {
      ok = false;
      break;
    }
    const std::string target = folder + name;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    zip_int64_t n;
    uint64_t written = 0;
    while (out && (n = zip_fread(entry, buffer.data(), buffer.size())) > 0) {
      out.write(buffer.data(), n);
      written += uint64_t(n);
    }
    zip_fclose(entry);
    out.close();
    struct stat fileStat {};
    ok = out && stat(target.c_str(), &fileStat) == 0 && uint64_t(fileStat.st_size) == st.size && written == st.size;
  }
  zip_close(archive);
  return ok;
}
