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
  // keys read as the load defaults ("Unnamed" for the name).
  void WriteTo(TIniSection& section) const;
  void ReadFrom(const TIniSection& section);
};

using TPhonebookEntryPtr = std::shared_ptr<TPhonebookEntry>;

class TPhonebook {
 public:
  // An empty list bound to that path; nothing is read.
  explicit TPhonebook(std::string fileName) : FFileName(std::move(fileName)) {}
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
  // with "Entry" (that case exactly), in file order. A missing file gives an
  // empty list. False when the file exists but cannot be read: the list is
  // empty, LastError says why, and SaveToFile refuses to write over the file
  // until a later load succeeds.
  bool LoadFromFile();
  // Writes the whole list to the file through FileName + ".tmp". False (with
  // LastError set and logged) when the write or the rename fails, or when the
  // last load failed; the old file then stays as it was.
  bool SaveToFile();
  bool LoadFailed() const { return FLoadFailed; }
  const std::string& LastError() const { return FLastError; }

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

  // The list itself, for the importers and the board-list merge.
  std::vector<TPhonebookEntryPtr>& Entries() { return FEntries; }
  const std::vector<TPhonebookEntryPtr>& Entries() const { return FEntries; }

 private:
  std::vector<TPhonebookEntryPtr> FEntries;
  std::string FFileName;
  bool FLoadFailed = false;
  std::string FLastError;
};
