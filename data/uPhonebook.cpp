#include "data/uPhonebook.h"

#include <algorithm>

#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "data/uIniFile.h"

namespace {

// A file may claim any number of script lines; more than this is refused
// rather than allocated.
constexpr int32_t kMaxScriptLines = 10000;

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

void TPhonebookEntry::WriteTo(TIniSection& s) const {
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

void TPhonebookEntry::ReadFrom(const TIniSection& s) {
  Name = s.ReadString("Name", "Unnamed");
  Host = s.ReadString("Host", "");
  // The file holds plain integers; these fields keep their low 16 bits.
  Port = static_cast<uint16_t>(s.ReadInteger("Port", 23));
  TermType = s.ReadString("TermType", "ANSI-BBS");
  Cols = static_cast<uint16_t>(s.ReadInteger("Cols", 80));
  Rows = static_cast<uint16_t>(s.ReadInteger("Rows", 25));
  FontName = s.ReadString("FontName", "IBM_VGA_8x16");
  UseRIP = s.ReadBool("UseRIP", false);
  UseSixel = s.ReadBool("UseSixel", true);
  UseITerm2Images = s.ReadBool("UseITerm2Images", false);
  IceColors = s.ReadBool("IceColors", false);
  UseUTF8 = s.ReadBool("UseUTF8", false);
  UseIEMSI = s.ReadBool("UseIEMSI", false);
  SimBaudRate = s.ReadInteger("SimBaudRate", 0);
  UseRLogin = s.ReadBool("UseRLogin", false);
  RLoginClientUser = s.ReadString("RLoginClientUser", "");
  RLoginServerUser = s.ReadString("RLoginServerUser", "");
  Username = s.ReadString("Username", "");
  Password = s.ReadString("Password", "");
  UseSSH = s.ReadBool("UseSSH", false);
  // Key and certificate files stored the Windows way ("keys\id") read with "/".
  SSHKeyFile = SlashPath(s.ReadString("SSHKeyFile", ""));
  SSHTrustNewKey = s.ReadBool("SSHTrustNewKey", false);
  UseTelnetS = s.ReadBool("UseTelnetS", false);
  TlsClientCertFile = SlashPath(s.ReadString("TlsClientCertFile", ""));
  TlsClientKeyFile = SlashPath(s.ReadString("TlsClientKeyFile", ""));
  TlsTrustNewCert = s.ReadBool("TlsTrustNewCert", false);
  UseRaw = s.ReadBool("UseRaw", false);
  UseShell = s.ReadBool("UseShell", false);
  ShellCommand = s.ReadString("ShellCommand", "");
  KVScript = s.ReadString("KVScript", "");
  Notes = s.ReadString("Notes", "");
  LastConnected = 0;
  TryParseDateTime(s.ReadString("LastConnected", ""), LastConnected);
  TimesConnected = s.ReadInteger("TimesConnected", 0);
  UserEdited = s.ReadBool("UserEdited", false);
  int32_t lines = s.ReadInteger("ScriptLines", 0);
  if (lines > kMaxScriptLines) {
    LogLine("Phonebook: section " + s.Name() + " claims " + std::to_string(lines) + " script lines; " +
            std::to_string(kMaxScriptLines) + " read");
    lines = kMaxScriptLines;
  }
  Script.clear();
  for (int32_t i = 0; i < lines; ++i) Script.push_back(s.ReadString("Script" + std::to_string(i), ""));
}

// --- TPhonebook ---

TPhonebookEntryPtr TPhonebook::GetEntry(int32_t index) const {
  return index >= 0 && index < Count() ? FEntries[static_cast<size_t>(index)] : nullptr;
}

bool TPhonebook::LoadFromFile() {
  FEntries.clear();
  TIniFile ini;
  std::string error;
  TReadResult result = ini.LoadFromFile(FFileName, error);
  FLoadFailed = result == TReadResult::Failed;
  if (FLoadFailed) {
    FLastError = "Phonebook not loaded: " + error;
    LogLine(FLastError);
    return false;
  }
  FLastError.clear();
  for (size_t i = 0; i < ini.SectionCount(); ++i) {
    const TIniSection& section = ini.SectionAt(i);
    if (section.Name().compare(0, 5, "Entry") != 0) continue;
    auto entry = std::make_shared<TPhonebookEntry>();
    entry->ReadFrom(section);
    FEntries.push_back(std::move(entry));
  }
  return true;
}

bool TPhonebook::SaveToFile() {
  if (FLoadFailed) {
    FLastError = "Phonebook not saved: " + FFileName + " could not be read, so it is not written over";
    LogLine(FLastError);
    return false;
  }
  TIniFile ini;
  for (size_t i = 0; i < FEntries.size(); ++i) FEntries[i]->WriteTo(ini.AddSection("Entry" + std::to_string(i)));
  std::string error;
  if (!ini.SaveToFile(FFileName, error)) {
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
