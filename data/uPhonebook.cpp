#include "data/uPhonebook.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/uDebugLog.h"
#include "core/uFileReplace.h"
#include "data/uConfig.h"
#include "data/uIniFile.h"
#include "platform/Tick.h"

namespace fs = std::filesystem;

namespace {

// A file may claim any number of script lines; more than this is refused
// rather than allocated.
constexpr int32_t kMaxScriptLines = 10000;

// One entry's reading of its section. Every key read is marked; a value the
// entry cannot keep as written (wrong form, out of range) is noted; at the
// end, whatever the section holds that no read used (unknown keys, keys
// given twice, lines that are no key) is noted as skipped. Notes name keys
// and numbers only: text values may be passwords, and notes reach the log.
class TSectionReading {
 public:
  TSectionReading(const TIniSection& section, TPhonebookLoadNotes* notes)
      : FSection(section), FUsed(notes ? section.Lines().size() : 0, false), FNotes(notes) {}

  std::string Text(std::string_view key, const char* def) {
    const std::string* value = Find(key);
    return value ? *value : std::string(def);
  }
  // True when the value begins with "1", false for any other non-empty text
  // (noted unless it begins with "0"), the default when absent or empty.
  bool Bool(std::string_view key, bool def) {
    const std::string* value = Find(key);
    if (!value || value->empty()) return def;
    const char first = value->front();
    if (first != '0' && first != '1') Note(key, "neither 0 nor 1, read as off");
    return first == '1';
  }
  // The default when absent or empty, and (noted) when the value is no
  // decimal number or lies outside Low..High.
  int32_t Integer(std::string_view key, int32_t def, int32_t low = INT32_MIN, int32_t high = INT32_MAX) {
    const std::string* value = Find(key);
    if (!value || value->empty()) return def;
    int32_t parsed = 0;
    if (!TryParseInt32(*value, parsed)) {
      Note(key, "not a number, read as " + std::to_string(def));
      return def;
    }
    if (parsed < low || parsed > high) {
      Note(key, std::to_string(parsed) + " is out of range, read as " + std::to_string(def));
      return def;
    }
    return parsed;
  }
  // 0 (never) when absent, empty or (noted) not a date.
  TDateTime Date(std::string_view key) {
    const std::string* value = Find(key);
    TDateTime when = 0;
    if (value && !value->empty() && !TryParseDateTime(*value, when)) {
      Note(key, "not a date, read as never");
      when = 0;
    }
    return when;
  }
  void Note(std::string_view key, const std::string& what) {
    if (FNotes) FNotes->Add("[" + FSection.Name() + "] " + std::string(key) + ": " + what);
  }
  // Notes what no read used.
  void Finish() {
    if (!FNotes) return;
    const auto& lines = FSection.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (FUsed[i]) continue;
      if (lines[i].IsEntry) {
        const bool twice = FSection.LineOf(lines[i].Key) != int32_t(i);
        Note(lines[i].Key, twice ? "given twice, the later one skipped" : "unknown key skipped");
      } else if (lines[i].Raw.find_first_not_of(" \t") != std::string::npos) {
        FNotes->Add("[" + FSection.Name() + "] a line that is no key skipped");
      }
    }
  }

 private:
  const std::string* Find(std::string_view key) {
    const int32_t at = FSection.LineOf(key);
    if (at < 0) return nullptr;
    if (FNotes) FUsed[size_t(at)] = true;
    return &FSection.Lines()[size_t(at)].Value;
  }
  const TIniSection& FSection;
  std::vector<bool> FUsed;
  TPhonebookLoadNotes* FNotes;
};

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return lower(x) < lower(y); });
}

std::string ScriptText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace

void TPhonebookLoadNotes::Add(std::string note) {
  if (First.size() < kKept) First.push_back(std::move(note));
  ++Count;
}

std::string PhonebookBackupName(const std::string& prefix, const std::string& tag) {
  const platform::LocalTime now = platform::NowLocal();
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", now.Year, now.Month, now.Day);
  return prefix + "_backup_" + date + tag + ".ini";
}

bool CopyPhonebookFile(const std::string& source, const std::string& target, std::string& error) {
  const std::string temp = target + ".tmp";
  std::error_code ec;
  fs::copy_file(source, temp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(temp, target, ec);
  if (!ec) return true;
  error = "copying " + source + " to " + target + " failed: " + ec.message();
  std::error_code ignored;
  fs::remove(temp, ignored);
  return false;
}

// --- TPhonebookEntry ---

std::unique_ptr<TPhonebookEntry> TPhonebookEntry::Clone() const { return std::make_unique<TPhonebookEntry>(*this); }

bool TPhonebookEntry::SameAs(const TPhonebookEntry& o) const {
  return Name == o.Name && SameTextAscii(Host, o.Host) && Port == o.Port && SameTextAscii(TermType, o.TermType) &&
         Cols == o.Cols && Rows == o.Rows && SameTextAscii(FontName, o.FontName) && UseRIP == o.UseRIP &&
         UseSixel == o.UseSixel && UseITerm2Images == o.UseITerm2Images && IceColors == o.IceColors &&
         UseUTF8 == o.UseUTF8 && UseIEMSI == o.UseIEMSI && SimBaudRate == o.SimBaudRate &&
         UseRLogin == o.UseRLogin && RLoginClientUser == o.RLoginClientUser &&
         RLoginServerUser == o.RLoginServerUser && Username == o.Username && Password == o.Password &&
         UseSSH == o.UseSSH && SSHKeyFile == o.SSHKeyFile && UseTelnetS == o.UseTelnetS &&
         TlsClientCertFile == o.TlsClientCertFile && TlsClientKeyFile == o.TlsClientKeyFile && UseRaw == o.UseRaw &&
         UseShell == o.UseShell && ShellCommand == o.ShellCommand && ScriptText(Script) == ScriptText(o.Script) &&
         KVScript == o.KVScript && Notes == o.Notes;
}

void TPhonebookEntry::WriteTo(TIniWriter& s) const {
  s.WriteString("Name", Name);
  s.WriteString("Host", Host);
  s.WriteInteger("Port", Port);
  s.WriteString("TermType", TermType);
  s.WriteInteger("Cols", Cols);
  s.WriteInteger("Rows", Rows);
  s.WriteString("FontName", FontName);
  s.WriteBool("UseRIP", UseRIP);
  s.WriteBool("UseSixel", UseSixel);
  s.WriteBool("UseITerm2Images", UseITerm2Images);
  s.WriteBool("IceColors", IceColors);
  s.WriteBool("UseUTF8", UseUTF8);
  s.WriteBool("UseIEMSI", UseIEMSI);
  s.WriteInteger("SimBaudRate", SimBaudRate);
  // Without these an RLogin board would come back as a Telnet board.
  s.WriteBool("UseRLogin", UseRLogin);
  s.WriteString("RLoginClientUser", RLoginClientUser);
  s.WriteString("RLoginServerUser", RLoginServerUser);
  s.WriteString("Username", Username);
  s.WriteString("Password", Password);
  s.WriteBool("UseSSH", UseSSH);
  s.WriteString("SSHKeyFile", SSHKeyFile);
  s.WriteBool("SSHTrustNewKey", SSHTrustNewKey);
  s.WriteBool("UseTelnetS", UseTelnetS);
  s.WriteString("TlsClientCertFile", TlsClientCertFile);
  s.WriteString("TlsClientKeyFile", TlsClientKeyFile);
  s.WriteBool("TlsTrustNewCert", TlsTrustNewCert);
  s.WriteBool("UseRaw", UseRaw);
  s.WriteBool("UseShell", UseShell);
  s.WriteString("ShellCommand", ShellCommand);
  s.WriteString("KVScript", KVScript);
  s.WriteString("Notes", Notes);
  s.WriteString("LastConnected", FormatIsoDateTime(LastConnected));
  s.WriteInteger("TimesConnected", TimesConnected);
  if (UserEdited) s.WriteBool("UserEdited", true);
  s.WriteInteger("ScriptLines", static_cast<int64_t>(Script.size()));
  for (size_t i = 0; i < Script.size(); ++i) s.WriteString("Script" + std::to_string(i), Script[i]);
}

void TPhonebookEntry::ReadFrom(const TIniSection& section, TPhonebookLoadNotes* notes) {
  TSectionReading s(section, notes);
  Name = s.Text("Name", "Unnamed");
  Host = s.Text("Host", "");
  // A number these 16-bit fields cannot hold reads as the default instead
  // of wrapping (Cols=-5 would become 65531 columns).
  Port = static_cast<uint16_t>(s.Integer("Port", 23, 0, UINT16_MAX));
  TermType = s.Text("TermType", "ANSI-BBS");
  Cols = static_cast<uint16_t>(s.Integer("Cols", 80, 0, UINT16_MAX));
  Rows = static_cast<uint16_t>(s.Integer("Rows", 25, 0, UINT16_MAX));
  FontName = s.Text("FontName", "IBM_VGA_8x16");
  UseRIP = s.Bool("UseRIP", false);
  UseSixel = s.Bool("UseSixel", true);
  UseITerm2Images = s.Bool("UseITerm2Images", false);
  IceColors = s.Bool("IceColors", false);
  UseUTF8 = s.Bool("UseUTF8", false);
  UseIEMSI = s.Bool("UseIEMSI", false);
  SimBaudRate = s.Integer("SimBaudRate", 0);
  UseRLogin = s.Bool("UseRLogin", false);
  RLoginClientUser = s.Text("RLoginClientUser", "");
  RLoginServerUser = s.Text("RLoginServerUser", "");
  Username = s.Text("Username", "");
  Password = s.Text("Password", "");
  UseSSH = s.Bool("UseSSH", false);
  // Key and certificate files stored the Windows way ("keys\id") read with "/".
  SSHKeyFile = SlashPath(s.Text("SSHKeyFile", ""));
  SSHTrustNewKey = s.Bool("SSHTrustNewKey", false);
  UseTelnetS = s.Bool("UseTelnetS", false);
  TlsClientCertFile = SlashPath(s.Text("TlsClientCertFile", ""));
  TlsClientKeyFile = SlashPath(s.Text("TlsClientKeyFile", ""));
  TlsTrustNewCert = s.Bool("TlsTrustNewCert", false);
  UseRaw = s.Bool("UseRaw", false);
  UseShell = s.Bool("UseShell", false);
  ShellCommand = s.Text("ShellCommand", "");
  KVScript = s.Text("KVScript", "");
  Notes = s.Text("Notes", "");
  LastConnected = s.Date("LastConnected");
  TimesConnected = s.Integer("TimesConnected", 0);
  UserEdited = s.Bool("UserEdited", false);
  int32_t lines = s.Integer("ScriptLines", 0, 0);
  if (lines > kMaxScriptLines) {
    s.Note("ScriptLines", std::to_string(lines) + " claimed, " + std::to_string(kMaxScriptLines) + " read");
    lines = kMaxScriptLines;
  }
  Script.clear();
  Script.reserve(size_t(lines));
  for (int32_t i = 0; i < lines; ++i) Script.push_back(s.Text("Script" + std::to_string(i), ""));
  s.Finish();
}

// --- TPhonebook ---

TPhonebookEntryPtr TPhonebook::GetEntry(int32_t index) const {
  return index >= 0 && index < Count() ? FEntries[static_cast<size_t>(index)] : nullptr;
}

TPhonebook::TPhonebook(std::string fileName, std::string backupPrefix)
    : FFileName(std::move(fileName)), FBackupPrefix(std::move(backupPrefix)) {
  if (FBackupPrefix.empty()) FBackupPrefix = fs::path(FFileName).stem().string();
}

bool TPhonebook::LoadFromFile() {
  FEntries.clear();
  FRepaired = false;
  FOriginalCopy.clear();
  std::string bytes, error;
  TReadResult result = ReadFileContents(FFileName, bytes, error);
  FLoadFailed = result == TReadResult::Failed;
  if (FLoadFailed) {
    FLastError = "Phonebook not loaded: " + error;
    LogLine(FLastError);
    return false;
  }
  FLastError.clear();

  // One section at a time: a board list of thousands of entries is never
  // held as a whole ini document beside its entries.
  TPhonebookLoadNotes notes;
  std::string converted;
  bool utf16 = false;
  TIniSectionReader reader(IniText(bytes, converted, utf16));
  reader.LenientHeaders = true;
  TIniSection section("");
  while (reader.Next(section)) {
    if (section.Name().compare(0, 5, "Entry") != 0) {
      notes.Add("section [" + section.Name() + "] is no entry, skipped");
      continue;
    }
    auto entry = std::make_shared<TPhonebookEntry>();
    entry->ReadFrom(section, &notes);
    FEntries.push_back(std::move(entry));
  }
  for (const std::string& line : reader.Preamble())
    if (line.find_first_not_of(" \t") != std::string::npos) notes.Add("a line before the first section skipped");
  if (reader.RepairedHeaders() > 0)
    notes.Add(std::to_string(reader.RepairedHeaders()) + " section header(s) missing a bracket read as headers");
  if (utf16) notes.Add("UTF-16 text read as CP437");
  if (reader.LoneCrLineEnds() > 0) notes.Add("CR-only line ends read as line ends");
  if (notes.Empty()) return true;

  FRepaired = true;
  LogLine("Phonebook: " + FFileName + " was not wholly understood (" + std::to_string(notes.Count) + " finding(s)):");
  for (const std::string& note : notes.First) LogLine("Phonebook:   " + note);
  if (notes.Count > notes.First.size())
    LogLine("Phonebook:   ... and " + std::to_string(notes.Count - notes.First.size()) + " more");
  KeepOriginal(bytes);
  return true;
}

bool TPhonebook::KeepOriginal(const std::string& bytes) {
  const std::string folder = fs::path(FFileName).parent_path().string();
  const std::string prefix = folder.empty() ? std::string() : folder + "/";
  std::string error;
  for (int n = 1; n <= 99; ++n) {
    const std::string copy =
        prefix + PhonebookBackupName(FBackupPrefix, n == 1 ? "_original" : "_original_" + std::to_string(n));
    std::string existing, readError;
    const TReadResult there = ReadFileContents(copy, existing, readError);
    if (there == TReadResult::Ok && existing == bytes) {  // kept already today (a start that did not save)
      FOriginalCopy = copy;
      LogLine("Phonebook: the original is kept as " + copy);
      return true;
    }
    if (there != TReadResult::Missing) continue;
    if (!CopyPhonebookFile(FFileName, copy, error)) break;
    FOriginalCopy = copy;
    LogLine("Phonebook: the original is kept as " + copy);
    return true;
  }
  FLastError = "Phonebook: no copy of " + FFileName + " as it was could be kept, so it will not be saved" +
               (error.empty() ? std::string() : " (" + error + ")");
  LogLine(FLastError);
  return false;
}

bool TPhonebook::SaveToFile() {
  if (FLoadFailed) {
    FLastError = "Phonebook not saved: " + FFileName + " could not be read, so it is not written over";
    LogLine(FLastError);
    return false;
  }
  if (FRepaired && FOriginalCopy.empty()) {
    FLastError = "Phonebook not saved: no copy of " + FFileName + " as it was could be kept, so it is not written over";
    LogLine(FLastError);
    return false;
  }
  TIniWriter out;
  out.Reserve(FEntries.size() * 640);
  for (size_t i = 0; i < FEntries.size(); ++i) {
    out.WriteSection("Entry" + std::to_string(i));
    FEntries[i]->WriteTo(out);
  }
  std::string error;
  if (!WriteFileReplacing(FFileName, out.Text(), error)) {
    FLastError = "Phonebook not saved: " + error;
    LogLine(FLastError);
    return false;
  }
  FLastError.clear();
  return true;
}

TPhonebookEntryPtr TPhonebook::Add() {
  FEntries.push_back(std::make_shared<TPhonebookEntry>());
  return FEntries.back();
}

void TPhonebook::Append(TPhonebookEntryPtr entry) {
  if (entry) FEntries.push_back(std::move(entry));
}

void TPhonebook::Delete(int32_t index) {
  if (index >= 0 && index < Count()) FEntries.erase(FEntries.begin() + index);
}

void TPhonebook::Sort() {
  std::stable_sort(FEntries.begin(), FEntries.end(),
                   [](const TPhonebookEntryPtr& a, const TPhonebookEntryPtr& b) { return LessIgnoringCase(a->Name, b->Name); });
}

void TPhonebook::MoveUp(int32_t index) {
  if (index > 0 && index < Count()) std::swap(FEntries[static_cast<size_t>(index)], FEntries[static_cast<size_t>(index - 1)]);
}

void TPhonebook::MoveDown(int32_t index) {
  if (index >= 0 && index < Count() - 1)
    std::swap(FEntries[static_cast<size_t>(index)], FEntries[static_cast<size_t>(index + 1)]);
}

TPhonebookEntryPtr TPhonebook::FindByName(std::string_view name) const {
  for (const auto& entry : FEntries)
    if (SameTextAscii(entry->Name, name)) return entry;
  return nullptr;
}

int32_t TPhonebook::IndexOf(const TPhonebookEntry* entry) const {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].get() == entry) return static_cast<int32_t>(i);
  return -1;
}
