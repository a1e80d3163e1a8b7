// The board-list download: Ctrl+F11 fetches this month's archive of the list
// service on the downloader's thread (last month's when that fails), takes
// the list out of it, reads it into a fresh board list and reconciles that
// with the list it replaces, asking first when the user's edits would be
// overwritten. Every outcome ends in a status text.
#include "app/uAppGuide.h"

#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/screens/uEntryEditor.h"
#include "data/uDateTime.h"
#include "app/uScreenText.h"
#include "app/screens/uDirectoryScreen.h"
#include "app/uApp.h"
#include "core/uDebugLog.h"
#include "core/uFileReplace.h"
#include "core/uPlainFileName.h"
#include "data/uConfig.h"
#include "data/uIniFile.h"
#include "data/uPhonebook.h"
#include "data/uPhonebookImport.h"
#include "data/uSyncTermList.h"
#include "net/uHttpsDownload.h"
#include "platform/AppFolder.h"
#include "platform/Tick.h"

namespace fs = std::filesystem;

const char* const kGuideServiceHost = "www.telnetbbsguide.com";

namespace {

constexpr const char* kListName = "syncterm.lst";

// Every occurrence of From (ASCII case ignored) replaced by To.
std::string ReplaceNoCase(std::string s, const std::string& from, const std::string& to) {
  const std::string lowerFrom = LowerAscii(from);
  for (size_t at = LowerAscii(s).find(lowerFrom); at != std::string::npos;
       at = LowerAscii(s).find(lowerFrom, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

std::string TwoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n % 100);
  return text;
}

// The base name of an archive entry that may be used: entries naming an
// absolute path, a drive, a parent folder or control characters are not.
bool EntryBaseName(const std::string& name, std::string& base, std::string& why) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') {
    why = "an absolute path";
    return false;
  }
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '/' && name[i] != '\\') continue;
    base = name.substr(start, i - start);
    if (i < name.size() && !IsPlainFileName(base, &why)) return false;  // a folder part
    start = i + 1;
  }
  return IsPlainFileName(base, &why);
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A dated copy of the phonebook file FileName beside it; empty when there
// is no such file or it could not be copied.
std::string BackupIniFile(const std::string& fileName, const std::string& prefix) {
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

std::string BackupPhonebooks() {
  std::string user = BackupIniFile("korvan.ini", "phonebook");
  BackupIniFile("bbsguide.ini", "bbsguide");
  return user;
}

}  // namespace

std::string ShellSkippedText(int32_t count) {
  return std::to_string(count) + (count == 1 ? " shell entry" : " shell entries") + " skipped";
}

std::string GuideArchiveUrl(const std::string& nameTemplate, int year, int month) {
  std::string name = TrimmedText(nameTemplate);
  if (name.empty()) name = "ibbs%MMYY%.zip";
  name = ReplaceNoCase(name, "%MMYY%", TwoDigits(month) + TwoDigits(year));
  name = ReplaceNoCase(name, "%YYYY%", std::to_string(year));
  name = ReplaceNoCase(name, "%MM%", TwoDigits(month));
  name = ReplaceNoCase(name, "%YY%", TwoDigits(year));
  const std::string lower = LowerAscii(name);
  if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0) return name;
  return std::string("https://") + kGuideServiceHost + "/bbslist/" + name;
}

TGuideExtract ExtractGuideList(const std::string& zipPath, const std::string& target, std::string& error) {
  int code = 0;
  zip_t* archive = zip_open(zipPath.c_str(), ZIP_RDONLY, &code);
  if (!archive) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    error = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    return TGuideExtract::Failed;
  }
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  zip_int64_t chosen = -1;
  zip_uint64_t chosenSize = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) continue;
    const std::string name = st.name;
    const zip_uint64_t size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    char line[600];
    std::snprintf(line, sizeof line, "BBSGuideDownload: zip entry \"%.500s\" (%llu bytes)", name.c_str(),
                  (unsigned long long)size);
    LogLine(line);
    if (chosen >= 0) continue;
    std::string base, why;
    if (!EntryBaseName(name, base, why)) {
      LogLine("BBSGuideDownload: refused zip entry " + Quoted(name) + ": " + why);
      continue;
    }
    if (!SameTextAscii(base, kListName)) continue;
    chosen = i;
    chosenSize = size;
  }
  if (chosen < 0) {
    LogLine("BBSGuideDownload: no entry in the zip matched \"syncterm.lst\" by basename");
    zip_close(archive);
    return TGuideExtract::NotFound;
  }
  // The list is read whole later; one larger than an import may be is not
  // unpacked at all.
  if (chosenSize > kMaxImportFileBytes) {
    LogLine("BBSGuideDownload: the list in the zip is " + std::to_string(chosenSize) + " bytes, more than " +
            std::to_string(kMaxImportFileBytes) + " - not unpacked");
    zip_close(archive);
    return TGuideExtract::TooLarge;
  }
  zip_file_t* entry = zip_fopen_index(archive, zip_uint64_t(chosen), 0);
  bool ok = entry != nullptr;
  if (!ok) error = std::string("the list could not be read from the archive: ") + zip_strerror(archive);
  if (ok) {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(65536);
    zip_int64_t n = 0;
    uint64_t written = 0;
    while (out && written <= kMaxImportFileBytes && (n = zip_fread(entry, buffer.data(), buffer.size())) > 0) {
      out.write(buffer.data(), n);
      written += uint64_t(n);
    }
    out.close();
    if (written > kMaxImportFileBytes) {
      // The archive gave its size smaller than the list turned out to be.
      LogLine("BBSGuideDownload: the list in the zip is more than " + std::to_string(kMaxImportFileBytes) +
              " bytes - not kept");
      zip_fclose(entry);
      zip_close(archive);
      std::error_code ignored;
      fs::remove(target, ignored);
      return TGuideExtract::TooLarge;
    }
    if (n < 0) {
      error = std::string("the list could not be unpacked: ") + zip_file_strerror(entry);
      ok = false;
    } else if (!out) {
      error = "the list could not be written to " + target;
      ok = false;
    }
    zip_fclose(entry);
  }
  zip_close(archive);
  if (!ok) {
    std::error_code ignored;
    fs::remove(target, ignored);
    return TGuideExtract::Failed;
  }
  return TGuideExtract::Extracted;
}

// --- The program's half ---

TAppGuide::TAppGuide(TApplication& app) : A(app) {}

TAppGuide::~TAppGuide() = default;

void TAppGuide::Shutdown() {
  if (std::shared_ptr<TBBSGuideDownloader> downloader = std::move(FGuideDownloader)) {
    downloader->Terminate();
    downloader->WaitFor();
  }
  // The question still open: the user's edits are kept, the answer Esc gives.
  if (A.FPopups.GuidePrompt) {
    LogLine("Exit: BBS Guide update question open - keeping edited entries");
    AnswerGuideUpdate(true);
  }
}

void TAppGuide::StartGuideDownload() {
  if (A.FPopups.GuidePrompt) {
    A.FStatus = "Answer the BBS Guide prompt first: K=keep edited, U=update all";
    A.Invalidate();
    return;
  }
  if (FGuideDownloader) {
    A.FStatus = "A BBS Guide download is already in progress...";
    A.Invalidate();
    return;
  }
  FGuideRetried = false;
  const platform::LocalTime now = platform::NowLocal();
  const std::string url = GuideArchiveUrl(A.FConfig->GuideArchiveName, now.Year, now.Month);
  LogLine("BBSGuideDownload: fetching " + url);
  A.FStatus = "Downloading Telnet BBS Guide list...";
  A.Invalidate();
  LaunchGuideDownload(url);
}

void TAppGuide::LaunchGuideDownload(const std::string& url) {
  FGuideDownloader = std::make_shared<TBBSGuideDownloader>(url);
  TBBSGuideDownloader* downloader = FGuideDownloader.get();
  const std::weak_ptr<int> life = A.FLifeToken;
  FGuideDownloader->OnStatus = [this, life](const std::string& text) {
    if (!life.expired()) OnGuideStatus(text);
  };
  FGuideDownloader->OnTerminate = [this, life, downloader] {
    if (!life.expired()) OnGuideDownloadDone(downloader);
  };
  if (!FGuideDownloader->Start()) {
    FGuideDownloader.reset();
    A.FStatus = "BBS Guide download failed: the download thread could not be started";
    A.Invalidate();
  }
}

void TAppGuide::OnGuideStatus(const std::string& text) {
  A.FStatus = text;
  A.Invalidate();
}

void TAppGuide::OnGuideDownloadDone(TBBSGuideDownloader* done) {
  // A download stopped at shutdown, or one this handler no longer waits for.
  if (!done || FGuideDownloader.get() != done) return;
  std::shared_ptr<TBBSGuideDownloader> downloader = std::move(FGuideDownloader);
  // Its thread waits for this handler to return; it is joined and freed after.
  platform::Queue([downloader] { downloader->WaitFor(); });

  if (!downloader->Success) {
    const platform::LocalTime now = platform::NowLocal();
    const int year = now.Month == 1 ? now.Year - 1 : now.Year, month = now.Month == 1 ? 12 : now.Month - 1;
    const std::string previous = GuideArchiveUrl(A.FConfig->GuideArchiveName, year, month);
    if (!FGuideRetried && GuideArchiveUrl(A.FConfig->GuideArchiveName, now.Year, now.Month) != previous) {
      FGuideRetried = true;
      LogLine("BBSGuideDownload: " + downloader->ErrorText + " - retrying with previous month's list: " + previous);
      A.FStatus = "This month's list not found yet - trying last month's...";
      A.Invalidate();
      LaunchGuideDownload(previous);
      return;
    }
    // The status line may cut a long reason short; the log keeps it whole.
    LogLine("BBSGuideDownload: " + downloader->ErrorText);
    A.FStatus = "BBS Guide download failed: " + downloader->ErrorText;
    A.Invalidate();
    return;
  }

  const std::string folder = platform::AppFolder() + "bbsguide_tmp/";
  const std::string zipPath = folder + "download.zip", listPath = folder + kListName;
  try {
    ImportGuideArchive(downloader->Data, folder, zipPath, listPath);
  } catch (const std::exception& e) {
    // Nothing of the archive may take the interface thread down.
    LogLine(std::string("BBSGuideDownload: ") + e.what());
    A.FStatus = std::string("BBS Guide: the downloaded list could not be used: ") + e.what();
  }
  std::error_code ignored;
  fs::remove(zipPath, ignored);
  fs::remove(listPath, ignored);
  fs::remove(folder, ignored);
  A.Invalidate();
}

void TAppGuide::ImportGuideArchive(const std::vector<uint8_t>& data, const std::string& folder,
                                      const std::string& zipPath, const std::string& listPath) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  fs::remove(listPath, ec);
  std::string error;
  if (!WriteFileReplacing(zipPath, std::string(data.begin(), data.end()), error)) {
    LogLine("BBSGuideDownload: " + error);
    A.FStatus = "BBS Guide: the download could not be saved: " + error;
    return;
  }
  const TGuideExtract extracted = ExtractGuideList(zipPath, listPath, error);
  if (extracted == TGuideExtract::Failed) {
    LogLine("BBSGuideDownload: " + error);
    A.FStatus = "BBS Guide: the downloaded ZIP could not be read: " + error;
    return;
  }
  if (extracted == TGuideExtract::TooLarge) {
    A.FStatus = "BBS Guide: the list in the downloaded ZIP is too large (more than " +
              std::to_string(kMaxImportFileBytes >> 20) + " MB)";
    return;
  }
  if (extracted == TGuideExtract::NotFound || !fs::is_regular_file(listPath, ec)) {
    A.FStatus = "BBS Guide: downloaded ZIP did not contain syncterm.lst";
    return;
  }
  char line[600];
  std::snprintf(line, sizeof line, "BBSGuideDownload: extracted %.500s (%llu bytes)", listPath.c_str(),
                (unsigned long long)fs::file_size(listPath, ec));
  LogLine(line);

  // An edit still open in the entry editor counts: the editor is left as
  // with Esc, so the line being typed goes into the entry, and a changed
  // board-list entry is marked as the user's before the merge looks at it.
  // The directory then shows the list and any question about it.
  if (auto editor = std::dynamic_pointer_cast<TEntryEditorScreen>(A.FScreens.Current())) editor->CommitAndLeave();
  EndGuideEntryEdit();

  // A board of a list from the network never runs a local command.
  TPhonebook fresh(A.FGuidebook->FileName());
  if (ImportSyncTerm(fresh, listPath, TListOrigin::Network, FGuideShellSkipped) == 0) {
    // The old list stays as it is.
    A.FStatus = FGuideShellSkipped > 0
                  ? "BBS Guide: downloaded list had no boards to take (" + ShellSkippedText(FGuideShellSkipped) + ")"
                  : "BBS Guide: downloaded list didn't parse (format may have changed)";
    FGuideShellSkipped = 0;
    return;
  }
  // The list on disk is kept as a dated backup before anything replaces it.
  const std::string backup = BackupIniFile(fs::path(A.FGuidebook->FileName()).filename().string(), "bbsguide");
  if (!backup.empty()) LogLine("BBSGuideDownload: previous list backed up to " + backup);

  std::vector<TPhonebookEntryPtr> previous;
  for (const TPhonebookEntryPtr& entry : A.FGuidebook->Entries()) previous.push_back(entry->Clone());
  A.FGuidebook->Entries() = std::move(fresh.Entries());
  if (previous.empty()) {
    ReportGuideUpdate(0);
    return;
  }
  A.FPopups.GuideEdited.clear();
  int32_t orphans = 0;
  if (TPhonebook::MergeBBSGuide(*A.FGuidebook, previous, gmSurvey, orphans, &A.FPopups.GuideEdited) == 0) {
    TPhonebook::MergeBBSGuide(*A.FGuidebook, previous, gmUpdateAll, orphans, nullptr);
    ReportGuideUpdate(0);
    return;
  }
  FGuidePending = std::move(previous);
  A.FPopups.GuidePrompt = true;
  const size_t n = A.FPopups.GuideEdited.size();
  A.FStatus = "BBS Guide: " + std::to_string(n) + " edited entr" + (n == 1 ? "y" : "ies") +
            " found - K=keep edited, U=update all";
}

void TAppGuide::AnswerGuideUpdate(bool keepEdited) {
  if (!A.FPopups.GuidePrompt) return;
  A.FPopups.GuidePrompt = false;
  int32_t orphans = 0, kept = 0;
  if (keepEdited)
    kept = TPhonebook::MergeBBSGuide(*A.FGuidebook, FGuidePending, gmKeepEdited, orphans, nullptr);
  else
    TPhonebook::MergeBBSGuide(*A.FGuidebook, FGuidePending, gmUpdateAll, orphans, nullptr);
  FreeGuideUpdateList();
  A.FPopups.GuideEdited.clear();
  ReportGuideUpdate(kept);
}

void TAppGuide::FreeGuideUpdateList() { FGuidePending.clear(); }

// A phonebook the start-up load did not wholly understand was read as far as
// it could be and copied as it stood before anything saves over it; the
// user hears of it once, here.
void TAppGuide::ReportRepairedPhonebooks() {
  const TPhonebook* user = A.FPhonebook && A.FPhonebook->LoadRepaired() ? A.FPhonebook.get() : nullptr;
  const TPhonebook* guide = A.FGuidebook && A.FGuidebook->LoadRepaired() ? A.FGuidebook.get() : nullptr;
  if (!user && !guide) return;
  if ((user && user->OriginalCopy().empty()) || (guide && guide->OriginalCopy().empty())) {
    A.FStatus = "Phonebook only partly readable and not copied - it will not be saved.";
  } else if (user && guide) {
    A.FStatus = "Phonebook and BBS Guide repaired - originals kept as *_original.ini";
  } else {
    const TPhonebook* book = user ? user : guide;
    A.FStatus = std::string(user ? "Phonebook" : "BBS Guide") + " repaired - original kept: " +
              TruncateWithDots(fs::path(book->OriginalCopy()).filename().string(), 40);
  }
  LogLine("Phonebook: " + A.FStatus);
}

void TAppGuide::AnswerBackupPrompt(bool yes) {
  A.FPopups.BackupDue = false;
  bool failed = false;
  if (yes) {
    const std::string path = BackupPhonebooks();
    failed = path.empty();
    A.FStatus = failed ? "Phonebook backup failed - check the KORVAN folder is writable."
                     : "Phonebook backed up: " + TruncateWithDots(fs::path(path).filename().string(), 40);
  } else {
    A.FStatus = "Not backing up now - will ask again in 90 days.";
  }
  // A failed backup is not a backup: the date stays, so the reminder comes
  // back at the next start.
  if (!failed) {
    A.FConfig->LastPhonebookBackup = NowDateTime();
    if (!A.FConfig->Save()) LogLine("Backup: the settings could not be saved");
  }
  A.Invalidate();
}

void TAppGuide::ReportGuideUpdate(int editedKept) {
  if (!A.FGuidebook) return;
  A.FGuidebook->Sort();
  const bool saved = A.FGuidebook->SaveToFile();
  A.FStatus = "Telnet BBS Guide updated: " + std::to_string(A.FGuidebook->Count()) + " entries" +
            (editedKept > 0 ? ", " + std::to_string(editedKept) + " edited kept" : std::string()) +
            (FGuideShellSkipped > 0 ? ", " + ShellSkippedText(FGuideShellSkipped) : std::string()) +
            (A.FShowGuide ? std::string() : std::string(" (F11 to view)"));
  // An update that did not reach the file is not reported as done.
  if (!saved) A.FStatus = "Telnet BBS Guide updated but not saved: " + A.FGuidebook->LastError();
  FGuideShellSkipped = 0;
  if (A.FShowGuide) A.FDirectory->ClampSelection(A.FGuidebook->Count());
  A.Invalidate();
}

void TAppGuide::BeginEntryEdit(const std::shared_ptr<TPhonebookEntry>& entry) {
  EndGuideEntryEdit();
  if (entry && A.FGuidebook && A.FGuidebook->IndexOf(entry.get()) >= 0) {
    FGuideSnapshot = entry->Clone();
    FGuideEditEntry = entry;
  }
}

void TAppGuide::EndGuideEntryEdit() {
  if (!FGuideSnapshot) return;
  std::shared_ptr<TPhonebookEntry> entry = FGuideEditEntry;
  if (entry && A.FGuidebook && A.FGuidebook->IndexOf(entry.get()) >= 0 && !entry->UserEdited &&
      !entry->SameAs(*FGuideSnapshot)) {
    entry->UserEdited = true;
    if (!A.FGuidebook->SaveToFile()) LogLine("Guide: board list not saved: " + A.FGuidebook->LastError());
  }
  FGuideSnapshot.reset();
  FGuideEditEntry.reset();
}
