// Answers behind two popups and one duty of the entry editor: dated backups
// of both phonebooks (the backup reminder), the report after a board-list
// update, and marking a downloaded-list entry as edited by the user when the
// editor really changed it.
#include <cstdio>
#include <filesystem>

#include "app/uApp.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/AppFolder.h"
#include "platform/Tick.h"

namespace fs = std::filesystem;

std::string TApplication::BackupIniFile(const std::string& fileName, const std::string& prefix) {
  const std::string folder = platform::AppFolder();
  const fs::path source = folder + fileName;
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) return "";
  const platform::LocalTime now = platform::NowLocal();
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", now.Year, now.Month, now.Day);
  const fs::path target = folder + prefix + "_backup_" + date + ".ini";
  // Copied beside the target first and renamed over it, so a failed copy
  // leaves an earlier backup of the day as it was.
  const fs::path temp = target.string() + ".tmp";
  fs::copy_file(source, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temp, target, ec);
  if (ec) {
    LogLine("Backup: copying " + source.string() + " to " + target.string() + " failed: " + ec.message());
    std::error_code ignored;
    fs::remove(temp, ignored);
    return "";
  }
  return target.string();
}

std::string TApplication::BackupPhonebooks() {
  std::string user = BackupIniFile("korvan.ini", "phonebook");
  BackupIniFile("bbsguide.ini", "bbsguide");
  return user;
}

void TApplication::AnswerBackupPrompt(bool yes) {
  FBackupDue = false;
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
  FGuidebook->SaveToFile();
  FStatus = "Telnet BBS Guide updated: " + std::to_string(FGuidebook->Count()) + " entries" +
            (editedKept > 0 ? ", " + std::to_string(editedKept) + " edited kept" : std::string()) +
            (FShowGuide ? std::string() : std::string(" (F11 to view)"));
  if (FShowGuide) {
    const int count = FGuidebook->Count();
    if (count == 0)
      FDirectoryRow = 0;
    else if (FDirectoryRow >= count)
      FDirectoryRow = count - 1;
  }
  Invalidate();
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
