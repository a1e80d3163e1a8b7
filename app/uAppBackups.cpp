// Answers behind two popups and one duty of the entry editor: dated backups
// of both phonebooks (the backup reminder), the report after a board-list
// update, and marking a downloaded-list entry as edited by the user when the
// editor really changed it.
#include <filesystem>

#include "app/screens/uDirectoryScreen.h"
#include "app/uApp.h"
#include "app/uAppGuide.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/AppFolder.h"

namespace fs = std::filesystem;

std::string TApplication::BackupIniFile(const std::string& fileName, const std::string& prefix) {
  const std::string folder = platform::AppFolder();
  const std::string source = folder + fileName;
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) return "";
  const std::string target = folder + PhonebookBackupName(prefix);
  std::string error;
  if (!CopyPhonebookFile(source, target, error)) {
    LogLine("Backup: " + error);
    return "";
  }
  return target;
}

std::string TApplication::BackupPhonebooks() {
  std::string user = BackupIniFile("korvan.ini", "phonebook");
  BackupIniFile("bbsguide.ini", "bbsguide");
  return user;
}

// A phonebook the start-up load did not wholly understand was read as far as
// it could be and copied as it stood before anything saves over it; the
// user hears of it once, here.
void TApplication::ReportRepairedPhonebooks() {
  const TPhonebook* user = FPhonebook && FPhonebook->LoadRepaired() ? FPhonebook.get() : nullptr;
  const TPhonebook* guide = FGuidebook && FGuidebook->LoadRepaired() ? FGuidebook.get() : nullptr;
  if (!user && !guide) return;
  if ((user && user->OriginalCopy().empty()) || (guide && guide->OriginalCopy().empty())) {
    FStatus = "Phonebook only partly readable and not copied - it will not be saved.";
  } else if (user && guide) {
    FStatus = "Phonebook and BBS Guide repaired - originals kept as *_original.ini";
  } else {
    const TPhonebook* book = user ? user : guide;
    FStatus = std::string(user ? "Phonebook" : "BBS Guide") + " repaired - original kept: " +
              TruncateWithDots(fs::path(book->OriginalCopy()).filename().string(), 40);
  }
  LogLine("Phonebook: " + FStatus);
}

void TApplication::AnswerBackupPrompt(bool yes) {
  FPopups.BackupDue = false;
  bool failed = false;
  if (yes) {
    const std::string path = BackupPhonebooks();
    failed = path.empty();
    FStatus = failed ? "Phonebook backup failed - check the KORVAN folder is writable."
                     : "Phonebook backed up: " + TruncateWithDots(fs::path(path).filename().string(), 40);
  } else {
    FStatus = "Not backing up now - will ask again in 90 days.";
  }
  // A failed backup is not a backup: the date stays, so the reminder comes
  // back at the next start.
  if (!failed) {
    FConfig->LastPhonebookBackup = NowDateTime();
    if (!FConfig->Save()) LogLine("Backup: the settings could not be saved");
  }
  Invalidate();
}

void TApplication::ReportGuideUpdate(int editedKept) {
  if (!FGuidebook) return;
  FGuidebook->Sort();
  const bool saved = FGuidebook->SaveToFile();
  FStatus = "Telnet BBS Guide updated: " + std::to_string(FGuidebook->Count()) + " entries" +
            (editedKept > 0 ? ", " + std::to_string(editedKept) + " edited kept" : std::string()) +
            (FGuideShellSkipped > 0 ? ", " + ShellSkippedText(FGuideShellSkipped) : std::string()) +
            (FShowGuide ? std::string() : std::string(" (F11 to view)"));
  // An update that did not reach the file is not reported as done.
  if (!saved) FStatus = "Telnet BBS Guide updated but not saved: " + FGuidebook->LastError();
  FGuideShellSkipped = 0;
  if (FShowGuide) FDirectory->ClampSelection(FGuidebook->Count());
  Invalidate();
}

void TApplication::BeginEntryEdit(const std::shared_ptr<TPhonebookEntry>& entry) {
  EndGuideEntryEdit();
  if (entry && FGuidebook && FGuidebook->IndexOf(entry.get()) >= 0) {
    FGuideSnapshot = entry->Clone();
    FGuideEditEntry = entry;
  }
}

void TApplication::EndGuideEntryEdit() {
  if (!FGuideSnapshot) return;
  std::shared_ptr<TPhonebookEntry> entry = FGuideEditEntry;
  if (entry && FGuidebook && FGuidebook->IndexOf(entry.get()) >= 0 && !entry->UserEdited &&
      !entry->SameAs(*FGuideSnapshot)) {
    entry->UserEdited = true;
    if (!FGuidebook->SaveToFile()) LogLine("Guide: board list not saved: " + FGuidebook->LastError());
  }
  FGuideSnapshot.reset();
  FGuideEditEntry.reset();
}
