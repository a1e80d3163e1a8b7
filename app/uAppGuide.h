// The board list and the phonebooks' upkeep: the board-list download
// (Ctrl+F11) with the archive address for a month and the list picked out
// of the downloaded archive, its merge with the list it replaces and the
// question about the user's edits; the entries of the board list the user
// edits; the dated backups the reminder offers, and the report of a
// phonebook the start-up load repaired.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TApplication;
class TBBSGuideDownloader;
class TPhonebookEntry;

// The board-list service: the monthly archives lie under
// "https://" + kGuideServiceHost + "/bbslist/".
extern const char* const kGuideServiceHost;

// The archive's address for a month from the GuideArchiveName setting:
// %MMYY%, %YYYY%, %MM% and %YY% (any case) become the date; a full http(s)
// address stands as it is, a file name goes under the service's folder.
std::string GuideArchiveUrl(const std::string& nameTemplate, int year, int month);

// How the update's report counts the shell boards it left out of a list:
// "1 shell entry skipped", "2 shell entries skipped".
std::string ShellSkippedText(int32_t count);

enum class TGuideExtract { Extracted, NotFound, TooLarge, Failed };

// Copies the archive's list (the first entry whose own name is
// "syncterm.lst", any case, also inside a folder) to Target. Entries that
// name an absolute path, a parent folder, a drive or control characters are
// refused with a log line; nothing but Target is ever written. TooLarge:
// the list is larger than an import may be, and is not kept. Failed: the
// archive could not be read, or the list not written (Error says why).
TGuideExtract ExtractGuideList(const std::string& zipPath, const std::string& target, std::string& error);

class TAppGuide {
 public:
  explicit TAppGuide(TApplication& app);
  ~TAppGuide();
  TAppGuide(const TAppGuide&) = delete;
  TAppGuide& operator=(const TAppGuide&) = delete;

  // --- The board-list download ---------------------------------------------
  void StartGuideDownload();
  bool DownloadRunning() const { return FGuideDownloader != nullptr; }
  // The answer to the question about edited entries: K keeps them.
  void AnswerGuideUpdate(bool keepEdited);
  // At shutdown: a download still running is stopped (its end is not
  // handled) and an open question is answered as Esc answers it.
  void Shutdown();

  // --- Entries of the board list the user edits -----------------------------
  void BeginEntryEdit(const std::shared_ptr<TPhonebookEntry>& entry);
  // An entry the editor really changed is marked as the user's.
  void EndGuideEntryEdit();

  // --- The phonebooks -------------------------------------------------------
  void ReportRepairedPhonebooks();
  // The answer to the backup reminder.
  void AnswerBackupPrompt(bool yes);

 private:
  void LaunchGuideDownload(const std::string& url);
  void OnGuideStatus(const std::string& text);
  void OnGuideDownloadDone(TBBSGuideDownloader* done);
  void ImportGuideArchive(const std::vector<uint8_t>& data, const std::string& folder, const std::string& zipPath,
                          const std::string& listPath);
  void ReportGuideUpdate(int editedKept);
  void FreeGuideUpdateList();

  TApplication& A;
  std::unique_ptr<TPhonebookEntry> FGuideSnapshot;
  std::shared_ptr<TPhonebookEntry> FGuideEditEntry;
  // The running board-list download, the previous month's archive tried,
  // and the entries the downloaded list replaces while its question is open.
  std::shared_ptr<TBBSGuideDownloader> FGuideDownloader;
  bool FGuideRetried = false;
  std::vector<std::shared_ptr<TPhonebookEntry>> FGuidePending;
  // Shell boards the downloaded list held and the update left out, for its
  // report.
  int32_t FGuideShellSkipped = 0;
};
