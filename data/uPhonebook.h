// Phonebook entries (everything needed to call one board) and the phonebook:
// the ordered list of entries bound to one ini file. Entries are shared
// pointers so a live call can keep its entry alive whatever the user deletes
// or reloads meanwhile. Nothing here saves by itself; callers save.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/uDateTime.h"

class TIniSection;
class TIniWriter;

// What a load found in a phonebook file that its entries cannot hold: lines,
// sections and keys it skipped, values it read as their defaults, text it
// converted. Kept for the log, the first ones word for word.
struct TPhonebookLoadNotes {
  void Add(std::string note);
  bool Empty() const { return Count == 0; }
  static constexpr size_t kKept = 20;
  size_t Count = 0;
  std::vector<std::string> First;
};

// The name of a dated copy of a phonebook beside it:
// Prefix + "_backup_" + yyyymmdd (today) + Tag + ".ini".
std::string PhonebookBackupName(const std::string& prefix, const std::string& tag = "");
// Copies Source over Target with Source's permission bits (phonebooks hold
// passwords), through Target + ".tmp", so a failed copy leaves an earlier
// Target as it was. False with Error set on failure.
bool CopyPhonebookFile(const std::string& source, const std::string& target, std::string& error);

class TPhonebookEntry {
 public:
  std::string Name = "New Entry";
  std::string Host;
  uint16_t Port = 23;
  std::string TermType = "ANSI-BBS";
  uint16_t Cols = 80;
  uint16_t Rows = 25;
  std::string FontName = "IBM_VGA_8x16";
  bool UseRIP = false;
  bool UseSixel = true;
  bool UseITerm2Images = false;
  bool IceColors = false;
  bool UseUTF8 = false;
  bool UseIEMSI = false;
  int32_t SimBaudRate = 0;  // bits per second, 0 off
  bool UseRLogin = false;
  std::string RLoginClientUser;
  std::string RLoginServerUser;
  std::string Username;
  std::string Password;
  bool UseSSH = false;
  std::string SSHKeyFile;
  bool UseTelnetS = false;
  std::string TlsClientCertFile;
  std::string TlsClientKeyFile;
  bool UseRaw = false;
  bool UseShell = false;
  std::string ShellCommand;
  bool TlsTrustNewCert = false;
  bool SSHTrustNewKey = false;
  std::vector<std::string> Script;  // login steps, one per line
  std::string KVScript;             // script file run when the call connects
  std::string Notes;
  TDateTime LastConnected = 0;      // 0: never
  int32_t TimesConnected = 0;
  bool UserEdited = false;

  // A copy of every field with its own Script list; the caller owns it.
  std::unique_ptr<TPhonebookEntry> Clone() const;
  // All settings equal: Host, TermType and FontName ignoring ASCII case, other
  // texts exactly, Script as its whole text. The trust flags, LastConnected,
  // TimesConnected and UserEdited are not compared.
  bool SameAs(const TPhonebookEntry& other) const;

  // The entry's keys as a phonebook section holds them, and back. Missing
  // keys read as the load defaults ("Unnamed" for the name), and so do values
  // of the wrong form and numbers outside their field's range. Notes, when
  // given, learns what the section holds that the entry cannot keep.
  void WriteTo(TIniWriter& out) const;
  void ReadFrom(const TIniSection& section, TPhonebookLoadNotes* notes = nullptr);
};

using TPhonebookEntryPtr = std::shared_ptr<TPhonebookEntry>;

// How a freshly downloaded board list takes in the entries it replaces.
enum TGuideMergeMode : int32_t {
  gmSurvey = 0,       // change nothing; count what an update would overwrite
  gmKeepEdited = 1,   // edited entries stay as the user left them
  gmUpdateAll = 2     // the download wins everywhere
};

class TPhonebook {
 public:
  // An empty list bound to that path; nothing is read. BackupPrefix names
  // the dated copies of the file (PhonebookBackupName); empty: the file's
  // name without its extension.
  explicit TPhonebook(std::string fileName, std::string backupPrefix = "");
  // A copy would share its entries with the original; move it instead.
  TPhonebook(const TPhonebook&) = delete;
  TPhonebook& operator=(const TPhonebook&) = delete;
  TPhonebook(TPhonebook&&) = default;
  TPhonebook& operator=(TPhonebook&&) = default;

  int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
  // Null when the index is outside 0..Count-1.
  TPhonebookEntryPtr GetEntry(int32_t index) const;
  const std::string& FileName() const { return FFileName; }

  // Replaces the list by the file's entries: every section whose name begins
  // with "Entry" (that case exactly), in file order; sections of the same
  // name stay separate entries. A missing file gives an empty list. False
  // when the file exists but cannot be read: the list is empty, LastError
  // says why, and SaveToFile refuses to write over the file until a later
  // load succeeds.
  //
  // A file the load does not wholly understand (see TPhonebookLoadNotes) is
  // read as far as it can be, and copied as it stands to a dated copy beside
  // it (PhonebookBackupName with the tag "_original"; an identical copy of
  // the day is reused, a different one gets "_2", "_3", ...), so the next
  // save loses nothing. When that copy cannot be written, SaveToFile refuses
  // to write over the file.
  bool LoadFromFile();
  // Writes the whole list to the file through FileName + ".tmp". False (with
  // LastError set and logged) when the write or the rename fails, or when the
  // last load failed or its copy of the original could not be kept; the old
  // file then stays as it was.
  bool SaveToFile();
  bool LoadFailed() const { return FLoadFailed; }
  const std::string& LastError() const { return FLastError; }
  // The last load skipped or repaired something; OriginalCopy is the path
  // of the copy of the file as it was (empty when that copy failed).
  bool LoadRepaired() const { return FRepaired; }
  const std::string& OriginalCopy() const { return FOriginalCopy; }

  // Appends an entry with the creation values and returns it.
  TPhonebookEntryPtr Add();
  // Appends an entry made elsewhere (a clone, an import); the list shares it.
  void Append(TPhonebookEntryPtr entry);
  // Outside 0..Count-1: nothing happens.
  void Delete(int32_t index);
  void Clear() { FEntries.clear(); }
  // By Name, ASCII letters compared without regard to case; equal names keep
  // their order.
  void Sort();
  // Exchanges the entry with the one before it when 0 < index < Count.
  void MoveUp(int32_t index);
  // Exchanges the entry with the one after it when 0 <= index < Count - 1.
  void MoveDown(int32_t index);
  // The first entry whose Name equals the text ignoring ASCII case, or null.
  TPhonebookEntryPtr FindByName(std::string_view name) const;
  // The position of that very entry object, or -1.
  int32_t IndexOf(const TPhonebookEntry* entry) const;

  // Reconciles Fresh (a board list just imported) with Previous (copies of
  // the entries it replaces; slots may be null). Each fresh entry is matched
  // to a previous one by name, else by host and port; a match whose
  // settings differ, or that the user edited, counts as edited. Survey
  // reports each edited match and each unmatched entry holding user data
  // (with " (no longer listed)") into Report; KeepEdited puts edited matches
  // in place of their fresh counterparts and appends the unmatched ones with
  // user data; UpdateAll takes every fresh entry. A fresh entry that wins
  // over its match takes the match's call statistics. Entries taken over or
  // dropped leave null slots; the caller frees the rest. Returns the edited
  // matches plus the unmatched entries with user data (0 for UpdateAll);
  // Orphans receives the latter alone.
  static int32_t MergeBBSGuide(TPhonebook& fresh, std::vector<TPhonebookEntryPtr>& previous, TGuideMergeMode mode,
                               int32_t& orphans, std::vector<std::string>* report);

  // The list itself, for the importers and the board-list merge.
  std::vector<TPhonebookEntryPtr>& Entries() { return FEntries; }
  const std::vector<TPhonebookEntryPtr>& Entries() const { return FEntries; }

 private:
  bool KeepOriginal(const std::string& bytes);
  std::vector<TPhonebookEntryPtr> FEntries;
  std::string FFileName;
  std::string FBackupPrefix;
  bool FLoadFailed = false;
  bool FRepaired = false;
  std::string FOriginalCopy;
  std::string FLastError;
};
