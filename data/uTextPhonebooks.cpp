#include "data/uTextPhonebooks.h"

#include <string>

#include "data/uConfig.h"
#include "data/uIniFile.h"
#include "data/uPhonebookImport.h"

namespace {

// "address =" anywhere in the line, in any case: looked for at each "=", so
// that a long line costs one scan for "=".
bool HasMagiTermAddressKey(std::string_view line) {
  constexpr std::string_view key = "address =";
  for (size_t eq = line.find('=', key.size() - 1); eq != std::string_view::npos; eq = line.find('=', eq + 1))
    if (SameTextAscii(line.substr(eq + 1 - key.size(), key.size()), key)) return true;
  return false;
}

// --- Qodem ---

struct TQodemBoard {
  std::string Name, Address, Port, Username, Password;
  std::string Method = "TELNET";
  std::string Emulation = "ANSI";
  std::string Notes;
};

void ApplyQodemEmulation(TPhonebookEntry& e, const std::string& emulation) {
  const std::string lower = LowerAscii(emulation);
  if (lower.starts_with("avatar")) {
    e.TermType = "Avatar";
  } else if (lower.starts_with("xterm") || lower.starts_with("linux") || lower.starts_with("ansi")) {
    e.UseUTF8 = lower.find("utf8") != std::string::npos;
  } else if (lower == "tty" || lower == "debug") {
    e.TermType = "ASCII (no color)";
  } else {
    e.Notes += " (Qodem emulation \"" + emulation + "\" has no KORVAN equivalent - imported as ANSI-BBS)";
  }
}

// Qodem names its local shell LOCAL and a command line CMDLINE; both become
// shell entries. LOCAL runs the user's own shell whatever the address says.
bool IsQodemShell(const std::string& method) {
  return SameTextAscii(method, "SHELL") || SameTextAscii(method, "COMMANDLINE") || SameTextAscii(method, "CMDLINE");
}

// Appends the board's entry; false when the import is full.
bool FinishQodemBoard(TPhonebook& book, const TQodemBoard& b, int32_t& added) {
  const std::string address = TrimmedText(b.Address);
  const bool local = SameTextAscii(b.Method, "LOCAL");
  if (SameTextAscii(b.Method, "MODEM") || (address.empty() && !local)) return true;
  TPhonebookEntryPtr e = AddImportedEntry(book, added, "ImportQodem");
  if (!e) return false;
  e->Name = TrimmedText(b.Name);
  if (e->Name.empty()) e->Name = address;
  e->Username = b.Username;
  e->Password = b.Password;
  e->Notes = "Imported from a Qodem phonebook";
  if (!TrimmedText(b.Notes).empty()) e->Notes += " - " + TrimmedText(b.Notes);
  ApplyQodemEmulation(*e, b.Emulation);
  uint16_t port = ImportPort(TrimmedText(b.Port), 0);
  uint16_t usual = 23;
  if (SameTextAscii(b.Method, "SSH")) {
    e->UseSSH = true;
    e->Host = address;
    usual = 22;
  } else if (SameTextAscii(b.Method, "RLOGIN")) {
    e->UseRLogin = true;
    e->RLoginClientUser = e->RLoginServerUser = b.Username;
    e->Host = address;
    usual = 513;
  } else if (SameTextAscii(b.Method, "SOCKET")) {
    e->UseRaw = true;
    e->Host = address;
    usual = 0;
  } else if (IsQodemShell(b.Method) || local) {
    e->UseShell = true;
    e->ShellCommand = local ? std::string() : address;
    usual = 0;
  } else {
    e->Host = address;
  }
  e->Port = port != 0 ? port : usual;
  ++added;
  return true;
}

// --- PuTTY ---

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || text.size() - i < 3) {
      out += text[i];
      continue;
    }
    int high = HexDigitValue(text[i + 1]), low = HexDigitValue(text[i + 2]);
    out += high >= 0 && low >= 0 ? char(high << 4 | low) : '?';
    i += 2;
  }
  return out;
}

// A registry string value: the quotes around it gone, every backslash
// escaping the character after it.
std::string RegistryString(std::string_view value) {
  std::string_view inner = value.substr(1);
  if (value.size() >= 2 && value.back() == '"') inner.remove_suffix(1);
  std::string out;
  for (size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '\\' && i + 1 < inner.size()) ++i;
    out += inner[i];
  }
  return out;
}

struct TPuttySession {
  std::string Name, Host, Username, KeyFile, CodePage;
  std::string Protocol = "telnet";
  uint16_t Port = 0;
};

bool FinishPuttySession(TPhonebook& book, const TPuttySession& s, int32_t& added) {
  if (s.Host.empty() || SameTextAscii(s.Name, "Default Settings")) return true;
  TPhonebookEntryPtr e = AddImportedEntry(book, added, "ImportPuTTY");
  if (!e) return false;
  e->Name = s.Name;
  e->Host = s.Host;
  e->Username = s.Username;
  e->Notes = "Imported from a PuTTY .reg export";
  e->UseUTF8 = SameTextAscii(s.CodePage, "UTF-8");
  uint16_t usual = 23;
  if (SameTextAscii(s.Protocol, "ssh")) {
    e->UseSSH = true;
    e->SSHKeyFile = SlashPath(s.KeyFile);
    usual = 22;
  } else if (SameTextAscii(s.Protocol, "rlogin")) {
    e->UseRLogin = true;
    e->RLoginClientUser = e->RLoginServerUser = s.Username;
    usual = 513;
  } else if (SameTextAscii(s.Protocol, "raw")) {
    e->UseRaw = true;
    usual = 0;
  } else if (!SameTextAscii(s.Protocol, "telnet")) {
    e->Notes += " (PuTTY protocol \"" + s.Protocol +
                "\" has no KORVAN equivalent - imported as plain Telnet, check Host/Port)";
  }
  e->Port = s.Port != 0 ? s.Port : usual;
  ++added;
  return true;
}

void ReadPuttyValue(TPuttySession& s, std::string_view line) {
  size_t end = 1;
  while (end + 1 < line.size() && !(line[end] == '"' && line[end + 1] == '=')) ++end;
  if (end + 1 >= line.size()) return;  // no "name"= in the line
  const std::string_view name = line.substr(1, end - 1), value = line.substr(end + 2);
  if (!value.empty() && value.front() == '"') {
    std::string* field = SameTextAscii(name, "HostName")        ? &s.Host
                         : SameTextAscii(name, "Protocol")      ? &s.Protocol
                         : SameTextAscii(name, "UserName")      ? &s.Username
                         : SameTextAscii(name, "PublicKeyFile") ? &s.KeyFile
                         : SameTextAscii(name, "LineCodePage")  ? &s.CodePage
                                                                : nullptr;
    if (field) *field = RegistryString(value);
  } else if (SameTextAscii(value.substr(0, 6), "dword:") && SameTextAscii(name, "PortNumber")) {
    uint32_t port = 0;
    s.Port = TryParseHex32(value.substr(6, 8), port) ? uint16_t(port) : 0;
  }
}

}  // namespace

int32_t ImportQodemData(TPhonebook& book, std::string_view data) {
  std::string storage;
  const std::string_view text = ImportText(data, storage);
  if (!SomeImportLine(text, [](std::string_view line) { return line == "[entry]"; })) return 0;
  TQodemBoard board;
  bool inEntry = false, inNotes = false;
  int32_t added = 0;
  TImportLines lines(text);
  std::string_view raw;
  while (lines.Next(raw)) {
    const std::string_view line = TrimBlanks(raw);
    if (inNotes) {
      if (line == "END") {
        inNotes = false;
      } else {
        if (!board.Notes.empty()) board.Notes += ' ';
        board.Notes += line;
      }
      continue;
    }
    if (line == "[entry]") {
      if (inEntry && !FinishQodemBoard(book, board, added)) return added;
      inEntry = true;
      board = TQodemBoard();
      continue;
    }
    size_t eq = line.find('=');
    if (line.empty() || line.front() == '#' || !inEntry || eq == std::string_view::npos) continue;
    // Qodem writes "key = value": the blanks around "=" belong to neither.
    const std::string key = LowerAscii(TrimBlanks(line.substr(0, eq)));
    const std::string_view value = TrimBlanks(line.substr(eq + 1));
    if (key == "notes") inNotes = value == "<<<END";
    else if (key == "name") board.Name = value;
    else if (key == "address") board.Address = value;
    else if (key == "port") board.Port = value;
    else if (key == "username") board.Username = value;
    else if (key == "password") board.Password = value;
    else if (key == "method") board.Method = value;
    else if (key == "emulation") board.Emulation = value;
  }
  if (inEntry) FinishQodemBoard(book, board, added);
  return added;
}

int32_t ImportMagiTermData(TPhonebook& book, std::string_view data) {
  std::string storage;
  const std::string_view text = ImportText(data, storage);
  if (!SomeImportLine(text, [](std::string_view line) { return line.size() > 3 && line.starts_with("[ "); }) ||
      !SomeImportLine(text, HasMagiTermAddressKey))
    return 0;
  bool section = false;
  std::string name, address, port;
  int32_t added = 0;
  auto finish = [&] {
    if (!section || TrimBlanks(address).empty()) return true;
    TPhonebookEntryPtr e = AddImportedEntry(book, added, "ImportMagiTerm");
    if (!e) return false;
    e->Name = name.empty() ? address : name;
    e->Host = address;
    e->Port = ImportPort(port, 23);
    e->Notes = "Imported from a MagiTerm dialing directory (best-effort format - verify Host/Port)";
    ++added;
    return true;
  };
  TImportLines lines(text);
  std::string_view raw;
  while (lines.Next(raw)) {
    std::string_view line = TrimBlanks(raw);
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (!finish()) return added;
      address.clear();
      port.clear();
      size_t close = line.find(']');
      name = TrimmedText(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      section = !name.empty();
      line = close == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(close + 1));
      if (line.empty()) continue;  // else a key follows the header on its line
    }
    size_t eq = line.find('=');
    if (!section || eq == std::string_view::npos) continue;
    const std::string key = LowerAscii(TrimBlanks(line.substr(0, eq)));
    if (key == "address") address = TrimmedText(line.substr(eq + 1));
    else if (key == "port") port = TrimmedText(line.substr(eq + 1));
  }
  finish();
  return added;
}

int32_t ImportPuTTYData(TPhonebook& book, std::string_view data) {
  std::string storage;
  TImportLines lines(ImportText(data, storage));
  std::string_view raw;
  if (!lines.Next(raw) || !TrimBlanks(raw).starts_with("Windows Registry Editor")) return 0;
  bool session = false;
  TPuttySession s;
  int32_t added = 0;
  while (lines.Next(raw)) {
    const std::string_view line = TrimBlanks(raw);
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (session && !FinishPuttySession(book, s, added)) return added;
      s = TPuttySession();
      session = line.find("\\PuTTY\\Sessions\\") != std::string_view::npos;
      if (session) {
        size_t start = line.rfind('\\') + 1;  // the closing "]" is not part of the name
        s.Name = PercentDecoded(start < line.size() ? line.substr(start, line.size() - 1 - start) : std::string_view());
      }
      continue;
    }
    if (session && line.front() == '"') ReadPuttyValue(s, line);
  }
  if (session) FinishPuttySession(book, s, added);
  return added;
}
