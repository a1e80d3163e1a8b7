// Starting transfers from the keyboard and the window: the Zmodem upload
// picker and its queue, files dropped on the window, the message-upload
// warning and the batch question, the X/Ymodem protocol menus, the paced
// text upload, and the phonebook import picker on the directory.
#include <filesystem>
#include <system_error>

#include "app/call/uCall.h"
#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uFilePicker.h"
#include "app/uApp.h"
#include "app/uAppReader.h"
#include "app/uAppUploads.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "data/uConfig.h"
#include "data/uPhonebookImport.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/AppFolder.h"
#include "platform/Keys.h"
#include "platform/Tick.h"

namespace fs = std::filesystem;
namespace vk = platform::vk;

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name a board is given for a file is its plain name; a local name that
// a board would read as a path or as control codes is not sent.
bool PlainUploadName(const std::string& path) {
  std::string why;
  if (IsPlainFileName(BaseName(path), &why)) return true;
  LogLine("Upload: " + path + " not sent - its name is not a plain file name (" + why + ")");
  return false;
}

}  // namespace

bool IsTextFileName(const std::string& name) {
  const std::string base = BaseName(name);
  const size_t dot = base.find_last_of('.');
  if (dot == std::string::npos) return true;
  std::string ext = base.substr(dot);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  for (const char* text : {".ans", ".asc", ".txt", ".msg", ".diz", ".nfo", ".ice", ".avt", ".pcb", ".doc", ".me",
                           ".1st"})
    if (ext == text) return true;
  return false;
}

std::string TAppUploads::UploadFolder() const {
  std::string folder = ResolvePath(A.FConfig->UploadDir);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// ------------------------------------------------------------ Zmodem uploads

void TAppUploads::StartZmodemUpload() {
  // Without a call there is no board to send to, as for a download.
  if (!A.FCall->Transport()) return;
  if (A.FCall->Zmodem().State >= 2 && A.FCall->Zmodem().State <= 4) {
    A.SetStatus("A transfer is already in progress.", 3000);
    return;
  }
  TPickerSpec spec;
  spec.Folder = UploadFolder();
  FExpectMessageUpload = ExpectingMessageUpload();
  spec.Title = "Select file to upload";
  spec.Masks = "*.*";
  spec.Purpose = fpZmodemUpload;
  for (int i = 0; i < A.FCall->Zmodem().UploadFileCount(); ++i) spec.Queue.push_back(A.FCall->Zmodem().GetUploadFile(i));
  spec.OnCommit = [this](const std::vector<std::string>& queue) { CommitUploads(queue); };
  TFilePickerScreen::Open(A, std::move(spec));
  // The board's repeated upload requests leave the picker alone for a while.
  A.FCall->NoteUploadAsked();
}

bool TAppUploads::ExpectingMessageUpload() const {
  return UpperText(A.FCall->RecentText()).find("TEMPMSG") != std::string::npos;
}

void TAppUploads::CommitUploads(const std::vector<std::string>& queue) {
  if (queue.empty()) {
    A.FCall->Zmodem().ClearUploadFiles();
    A.SetStatus("Upload queue cleared.", 3000);
  } else {
    CheckAndSendUploads(queue);
  }
  A.Invalidate();
}

bool TAppUploads::CheckAndSendUploads(const std::vector<std::string>& files) {
  bool allText = true;
  for (const std::string& f : files) allText = allText && IsTextFileName(f);
  if (FExpectMessageUpload && !allText) {
    FTransferPrompts.MessageUpload.Files = files;
    FTransferPrompts.MessageUpload.Open = true;
    A.FStatus = "This looks like a message upload - send a non-text file as the message? Y/N";
    if (A.FReader->On()) A.FReader->Speak(A.FStatus, true);
    A.Invalidate();
    return false;
  }
  QueueOrSendUploads(files);
  return true;
}

void TAppUploads::QueueOrSendUploads(const std::vector<std::string>& files) {
  if (files.empty()) return;
  A.FCall->Zmodem().ClearUploadFiles();
  int queued = 0;
  std::string first;  // named before a waiting receiver takes it off the list
  for (const std::string& f : files)
    if (PlainUploadName(f)) {
      A.FCall->Zmodem().AddUploadFile(f);
      if (queued++ == 0) first = f;
    }
  if (queued == 0) {
    A.SetStatus("Nothing to upload.", 3000);
    return;
  }
  // Armed only for the call that is open; the session reset disarms it.
  if (A.FCall->Transport()) A.FCall->Zmodem().SendToWaitingReceiver();
  A.SetStatus(queued == 1 ? KeepTailText(ShownFileName(BaseName(first)), 40) +
                              " queued - sends once the BBS starts the upload"
                        : std::to_string(queued) + " files queued - sends once the BBS starts the upload",
            3000);
}

void TAppUploads::AnswerMessageUpload(bool yes) {
  FTransferPrompts.MessageUpload.Open = false;
  std::vector<std::string> kept;
  kept.swap(FTransferPrompts.MessageUpload.Files);
  if (yes) {
    QueueOrSendUploads(kept);
  } else {
    A.FCall->Zmodem().ClearUploadFiles();
    StartZmodemUpload();
    FExpectMessageUpload = true;
    A.SetStatus("Pick a text or ANSI file for the message (Esc to cancel).", 4000);
  }
  A.Invalidate();
}

void TAppUploads::AnswerClearQueue(bool yes) {
  FTransferPrompts.Batch.Open = false;
  FTransferPrompts.Batch.Refused = 0;
  FTransferPrompts.Batch.RefusedName.clear();
  if (yes) A.FCall->Zmodem().ClearUploadFiles();
  A.SetStatus(yes ? "Upload queue cleared." : "Upload queue kept.", 3000);
  A.Invalidate();
}

void TAppUploads::HandleDroppedFiles(const std::vector<std::string>& paths) {
  if (!A.FCall->Transport()) {
    A.SetStatus("Connect first - nowhere to send a dropped file to yet.", 3000);
    A.Invalidate();
    return;
  }
  if (A.FCall->Zmodem().State >= 2 && A.FCall->Zmodem().State <= 4) {
    A.SetStatus("A transfer is already in progress.", 3000);
    return;
  }
  int files = 0, folders = 0;
  for (const std::string& path : paths) {
    std::error_code ec;
    if (path.empty()) continue;
    if (fs::is_directory(path, ec)) {
      ++folders;
    } else if (fs::is_regular_file(path, ec) && PlainUploadName(path)) {
      // Only plain files: reading a pipe or a device would never end.
      A.FCall->Zmodem().AddUploadFile(path);
      ++files;
    }
  }
  if (files == 0) {
    A.SetStatus(folders > 0 ? "Nothing to upload - folders can't be dropped directly (drop the files inside instead)."
                          : "Nothing to upload.",
              3000);
    A.Invalidate();
    return;
  }
  A.FCall->Zmodem().StartUpload();
  std::string text = files == 1 ? "Sending dropped file..." : "Sending " + std::to_string(files) + " dropped files...";
  if (folders > 0) text += " (" + std::to_string(folders) + " folder(s) skipped)";
  A.SetStatus(text, 3000);
  A.Invalidate();
}

// ------------------------------------------------------- X/Ymodem and menus

bool TAppUploads::RefuseWhileTransferring() {
  if (A.FCall->Zmodem().State >= 2 && A.FCall->Zmodem().State <= 4) {
    A.SetStatus("A Zmodem transfer is already in progress.", 3000);
    return true;
  }
  if (A.FCall->XYmodem().Mode != TXYmodemEngine::xmIdle) {
    A.SetStatus("An Xmodem/Ymodem transfer is already in progress.", 3000);
    return true;
  }
  return false;
}

void TAppUploads::OpenDownloadMenu() {
  if (!A.FCall->Transport()) return;
  if (RefuseWhileTransferring()) return;
  FTransferPrompts.DownloadMenu = true;
  A.Invalidate();
}

void TAppUploads::StartXYmodemDownload(int protocol) {
  FTransferPrompts.DownloadMenu = false;
  A.FCall->XYmodem().StartReceive(protocol, "");
  A.SetStatus(protocol == xpAuto ? std::string("Waiting for Xmodem/Ymodem sender...")
                               : "Waiting for " + XYProtocolName(protocol) + " sender...",
            3000);
  A.Invalidate();
}

void TAppUploads::StartXYmodemUpload() {
  // Without a call there is no board to send to, as for a download.
  if (!A.FCall->Transport()) return;
  if (RefuseWhileTransferring()) return;
  TPickerSpec spec;
  spec.Folder = UploadFolder();
  spec.Title = "Select file to upload (Xmodem/Ymodem)";
  spec.Masks = "*.*";
  spec.Purpose = fpXYmodemUpload;
  spec.OnPick = [this](const std::string& path) {
    FTransferPrompts.UploadMenu.File = path;
    FTransferPrompts.UploadMenu.Open = true;
    A.FStatus = "Select upload protocol...";
    A.Invalidate();
  };
  TFilePickerScreen::Open(A, std::move(spec));
}

void TAppUploads::SendXYmodemFile(int protocol) {
  FTransferPrompts.UploadMenu.Open = false;
  std::string file;
  file.swap(FTransferPrompts.UploadMenu.File);
  if (!PlainUploadName(file)) {
    A.SetStatus("Nothing to upload.", 3000);
    A.Invalidate();
    return;
  }
  A.FCall->XYmodem().AddSendFile(file);
  A.FCall->XYmodem().StartSend(protocol);
  // A start that failed at once (the file is gone) keeps the engine's
  // "Transfer failed" report.
  if (A.FCall->XYmodem().Mode == TXYmodemEngine::xmSending)
    A.SetStatus("Sending " + KeepTailText(ShownFileName(BaseName(file)), 30) + " (" + XYProtocolName(protocol) +
                  "), waiting for receiver...",
              3000);
  A.Invalidate();
}

// The questions are drawn over the online screen only; on any other screen
// (a dropped file's batch can end while the user is on the directory) they
// wait there instead of swallowing keys the user cannot see them take.
bool TAppUploads::TransferPromptKey(const TKeyEvent& key) {
  TTransferPrompts& p = FTransferPrompts;
  if (A.ScreenMode() != smOnline) return false;
  if (p.MessageUpload.Open) {
    if (key.Key == vk::Return || key.Key == vk::Escape) AnswerMessageUpload(false);
    return true;
  }
  if (p.Batch.Open) {
    if (key.Key == vk::Return) AnswerClearQueue(true);
    if (key.Key == vk::Escape) AnswerClearQueue(false);
    return true;
  }
  if (p.DownloadMenu) {
    if (key.Key == vk::Escape) {
      p.DownloadMenu = false;
      A.FStatus = "Download cancelled.";
    } else if (const int protocol = TTransferPrompts::DownloadProtocolFor(key.Key); protocol >= 0) {
      A.FSwallowKeyText = key.Key != vk::Return;
      StartXYmodemDownload(protocol);
    }
    return true;
  }
  if (p.UploadMenu.Open) {
    if (key.Key == vk::Escape) {
      p.UploadMenu.Open = false;
      p.UploadMenu.File.clear();
      A.FStatus = "Upload cancelled.";
    } else if (const int protocol = TTransferPrompts::UploadProtocolFor(key.Key); protocol >= 0) {
      A.FSwallowKeyText = key.Key != vk::Return;
      SendXYmodemFile(protocol);
    }
    return true;
  }
  return false;
}

bool TAppUploads::TransferPromptChar(uint8_t ch) {
  TTransferPrompts& p = FTransferPrompts;
  if (A.ScreenMode() != smOnline) return false;
  const bool yes = ch == 'Y' || ch == 'y', no = ch == 'N' || ch == 'n';
  if (p.MessageUpload.Open) {
    if (yes || no) AnswerMessageUpload(yes);
    return true;
  }
  if (p.Batch.Open) {
    if (yes || no) AnswerClearQueue(yes);
    return true;
  }
  // The menus answer digits on key-down.
  return p.DownloadMenu || p.UploadMenu.Open;
}

// ------------------------------------------------------------- text upload

void TAppUploads::StartAsciiUpload() {
  if (!A.FCall->Transport()) return;
  if (A.FCall->Zmodem().State >= 2 && A.FCall->Zmodem().State <= 4) {
    A.SetStatus("A transfer is already in progress.", 3000);
    return;
  }
  if (FAsciiUpload.Running()) {
    A.SetStatus("An ASCII upload is already in progress.", 3000);
    return;
  }
  TPickerSpec spec;
  spec.Folder = UploadFolder();
  spec.Title = "Select text file for ASCII upload";
  spec.Masks = "*.txt;*.asc;*.ans";
  spec.Purpose = fpAsciiUpload;
  spec.OnPick = [this](const std::string& path) { StartAsciiUploadFile(path); };
  TFilePickerScreen::Open(A, std::move(spec));
}

void TAppUploads::StartAsciiUploadFile(const std::string& path) {
  const std::string name = ShownFileName(BaseName(path));
  switch (FAsciiUpload.Start(path, platform::TickMs())) {
    case TAsciiUpload::TStart::Unreadable:
      A.SetStatus("Could not read " + KeepTailText(name, 30) + " for ASCII upload.", 3000);
      return;
    case TAsciiUpload::TStart::Empty:
      A.SetStatus(KeepTailText(name, 40) + " is empty - nothing to send.", 3000);
      return;
    case TAsciiUpload::TStart::Started:
      break;
  }
  A.SetStatus("Sending " + KeepTailText(name, 30) + " (" + std::to_string(FAsciiUpload.LineCount()) + " lines)...",
            3000);
  if (A.FConfig->AsciiLineDelayMs <= 0) AsciiUploadTick();
}

void TAppUploads::AsciiUploadTick() {
  if (!FAsciiUpload.Running()) return;
  if (!A.FCall->Transport() || !A.FCall->Transport()->Connected.load()) {
    CancelAsciiUpload();
    return;
  }
  const int32_t lines = FAsciiUpload.LineCount();
  const bool done = FAsciiUpload.Tick(platform::TickMs(), A.FConfig->AsciiLineDelayMs,
                                      [this](const std::string& line) { A.FCall->Transport()->SendString(line); });
  if (!done) return;
  A.SetStatus("ASCII upload complete (" + std::to_string(lines) + " lines sent).", 3000);
  A.Invalidate();
}

void TAppUploads::CancelAsciiUpload() {
  if (FAsciiUpload.Cancel()) A.SetStatus("ASCII upload cancelled.", 3000);
}

void TAppUploads::CallEnded() {
  FTransferPrompts.MessageUpload = {};
  FTransferPrompts.DownloadMenu = false;
  FTransferPrompts.UploadMenu = {};
  CancelAsciiUpload();
}

// --------------------------------------------------------- phonebook import

void TAppUploads::StartPhonebookImport() {
  TPickerSpec spec;
  spec.Folder = platform::AppFolder();
  spec.Title =
      "Import phonebook (NetRunner .phn, SyncTERM .lst, mTelnet .fon, IcyTerm .toml, Qodem phonebook, MagiTerm "
      ".ini, PuTTY .reg export)";
  spec.Masks = "*.phn;*.lst;*.fon;*.toml;*.reg;*.ini;phonebook";
  spec.Purpose = fpImportPhonebook;
  spec.OnPick = [this](const std::string& path) { ImportPhonebookFile(path); };
  TFilePickerScreen::Open(A, std::move(spec));
  A.FStatus = "Enter: Import/Open folder   F5: Type path   F6: Drive   Esc: Cancel";
  A.Invalidate();
}

void TAppUploads::ImportPhonebookFile(const std::string& path) {
  TPhonebook* book = A.ActivePhonebook();
  if (!book) return;
  const TImportOutcome outcome = ImportIntoPhonebook(*book, path);
  if (outcome.Count > 0) A.Directory().Select(outcome.FirstNewIndex);
  A.FStatus = outcome.Message;
  A.Invalidate();
}
