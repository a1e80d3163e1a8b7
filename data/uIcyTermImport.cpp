#include "data/uIcyTermImport.h"

#include <algorithm>
#include <vector>

#include "core/uDebugLog.h"
#include "core/uUtf8Cp437.h"
#include "data/uConfig.h"
#include "data/uIniFile.h"
#include "data/uPhonebookImport.h"

namespace {

// A value that opens an array or inline table runs until its brackets close,
// maybe lines later. Brackets inside quotes do not count, and a "#" outside
// them ends what a line contributes.
void SkipBracketedValue(std::string_view first, TImportLines& lines) {
  int64_t depth = 0;
  char quote = 0;
  auto scan = [&](std::string_view text) {
    for (char c : text) {
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '#') {
        break;
      } else if (c == '[' || c == '{') {
        ++depth;
      } else if (c == ']' || c == '}') {
        --depth;
      }
    }
  };
  scan(first);
  std::string_view next;
  while (depth > 0 && lines.Next(next)) scan(next);
}

// A string that opens with three quotes of either kind runs until the same
// three, its lines joined with one blank.
std::string MultiLineString(std::string_view value, TImportLines& lines) {
  const std::string_view delimiter = value.substr(0, 3);
  std::string body(value.substr(3));
  size_t end = body.find(delimiter);
  std::string_view next;
  while (end == std::string::npos && lines.Next(next)) {
    size_t from = body.size() < 2 ? 0 : body.size() - 2;  // only what is new can hold the delimiter
    body += ' ';
    body += TrimBlanks(next);
    end = body.find(delimiter, from);
  }
  if (end != std::string::npos) body.resize(end);
  std::string text = Utf8ToCp437(body);
  if (delimiter[0] == '"') text = UnescapeTomlString(text);
  return TrimmedText(text);
}

// "..." with backslash escapes; runs to the end of the line when unclosed.
std::string BasicString(std::string_view value) {
  size_t i = 1;
  while (i < value.size() && value[i] != '"') i += value[i] == '\\' ? 2 : 1;
  return UnescapeTomlString(Utf8ToCp437(value.substr(1, std::min(i, value.size()) - 1)));
}

// '...' as it stands.
std::string LiteralString(std::string_view value) {
  size_t end = value.find('\'', 1);
  return Utf8ToCp437(value.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
}

void StoreIcyValue(TIcyRec& rec, const std::string& key, std::string value) {
  std::string* field = key == "system_name"       ? &rec.system_name
                       : key == "address"         ? &rec.address
                       : key == "protocol"        ? &rec.protocol
                       : key == "terminal_type"   ? &rec.terminal_type
                       : key == "screen_mode"     ? &rec.screen_mode
                       : key == "user_name"       ? &rec.user_name
                       : key == "password"        ? &rec.password
                       : key == "comment"         ? &rec.comment
                       : key == "auto_login"      ? &rec.auto_login
                       : key == "ssh_private_key" ? &rec.ssh_private_key
                       : key == "baud_emulation"  ? &rec.baud_emulation
                                                  : nullptr;
  if (field) *field = std::move(value);
  else if (key == "ice_mode") rec.ice_mode = SameTextAscii(value, "true");
}

// The [[addresses]] tables in file order; keys of other tables are ignored.
std::vector<TIcyRec> ReadIcyRecords(std::string_view text) {
  std::vector<TIcyRec> records;
  TIcyRec* current = nullptr;
  TImportLines lines(text);
  std::string_view raw;
  while (lines.Next(raw)) {
    const std::string_view line = TrimBlanks(raw);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      current = nullptr;
      if (line != "[[addresses]]") continue;
      if (records.size() >= size_t(kMaxImportEntries)) {
        LogLine("ImportIcyTerm: more than " + std::to_string(kMaxImportEntries) +
                " boards - the rest of the file is not read");
        break;
      }
      current = &records.emplace_back();
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key = LowerAscii(TrimBlanks(line.substr(0, eq)));
    key.erase(std::remove(key.begin(), key.end(), '"'), key.end());
    const std::string_view value = TrimBlanks(line.substr(eq + 1));
    if (value.empty()) continue;
    std::string text;
    if (value.starts_with("\"\"\"") || value.starts_with("'''")) {
      text = MultiLineString(value, lines);
    } else if (value.front() == '"') {
      text = BasicString(value);
    } else if (value.front() == '\'') {
      text = LiteralString(value);
    } else if (value.front() == '[' || value.front() == '{') {
      SkipBracketedValue(value, lines);
      continue;
    } else {
      text = TrimmedText(value.substr(0, value.find('#')));  // a bare value (number, boolean) as it stands
    }
    if (current) StoreIcyValue(*current, key, std::move(text));
  }
  return records;
}

int32_t IntegerOr(std::string_view text, int32_t def) {
  int32_t value;
  return TryParseInt32(text, value) ? value : def;
}

// "Vga(132, 37)" and "Unicode(80,25)" give the screen size; "Xep80" gives the
// Atari's 80 columns.
void ApplyScreenMode(TPhonebookEntry& e, const std::string& mode, const std::string& terminal) {
  if (mode.starts_with("vga(") || mode.starts_with("unicode(")) {
    size_t open = mode.find('('), comma = mode.find(','), close = mode.find(')', comma);
    if (comma == std::string::npos || close == std::string::npos || comma < open) return;
    int32_t cols = IntegerOr(mode.substr(open + 1, comma - open - 1), 0);
    int32_t rows = IntegerOr(mode.substr(comma + 1, close - comma - 1), 0);
    if (cols > 0 && rows > 0) {
      e.Cols = uint16_t(cols);
      e.Rows = uint16_t(rows);
    }
  } else if (mode == "xep80" && terminal == "atascii") {
    e.Cols = 80;
  }
}

void ApplyTerminalType(TPhonebookEntry& e, const std::string& terminal, const std::string& mode) {
  if (terminal == "utf8ansi") {
    e.UseUTF8 = true;
  } else if (terminal == "avatar") {
    e.TermType = "Avatar";
  } else if (terminal == "ascii") {
    e.TermType = "ASCII (no color)";
  } else if (terminal == "petscii") {
    e.TermType = "C64";
    e.Cols = 40;
  } else if (terminal == "atascii") {
    e.TermType = "ATASCII";
    e.Cols = 40;
    e.Rows = 24;
  } else if (terminal == "viewdata") {
    e.TermType = "Viewdata";
    e.Cols = 40;
    e.Rows = 24;
  } else if (terminal == "mode7") {
    e.TermType = "BBC Mode 7";
    e.Cols = 40;
  } else if (terminal == "rip") {
    e.TermType = "RIP";
    e.UseRIP = true;
  } else if (terminal == "skypix") {
    e.TermType = "SkyPix";
    e.UseRIP = true;
  } else if (terminal == "atarist") {
    bool igs = mode.starts_with("atarist(") && mode.find(",true)") != std::string::npos;
    e.TermType = igs ? "Atari ST IGS" : "Atari ST";
  }
}

void MakeIcyEntry(TPhonebookEntry& e, const TIcyRec& rec) {
  e.Name = TrimmedText(rec.system_name);
  if (e.Name.empty()) e.Name = TrimmedText(rec.address);
  e.Username = rec.user_name;
  e.Password = rec.password;
  e.IceColors = rec.ice_mode;
  e.Notes = "Imported from IcyTerm phonebook";
  if (!TrimmedText(rec.comment).empty()) e.Notes += " - " + TrimmedText(rec.comment);

  const std::string terminal = LowerAscii(rec.terminal_type);
  std::string mode = LowerAscii(rec.screen_mode);
  mode.erase(std::remove_if(mode.begin(), mode.end(), [](char c) { return c == ' ' || c == '\t'; }), mode.end());
  ApplyTerminalType(e, terminal, mode);
  ApplyScreenMode(e, mode, terminal);

  const std::string baud = rec.baud_emulation;
  if (LowerAscii(baud).starts_with("rate(") && baud.size() > 5)
    e.SimBaudRate = IntegerOr(TrimBlanks(std::string_view(baud).substr(5, baud.size() - 6)), 0);

  uint16_t port = 0;
  ParseIcyAddress(rec.address, e.Host, port);
  const std::string protocol = LowerAscii(rec.protocol);
  uint16_t usual = 23;
  if (protocol == "ssh") {
    e.UseSSH = true;
    e.SSHKeyFile = SlashPath(rec.ssh_private_key);
    usual = 22;
  } else if (protocol == "rlogin" || protocol == "rloginswapped") {
    e.UseRLogin = true;
    e.RLoginClientUser = protocol == "rlogin" ? rec.user_name : rec.password;
    e.RLoginServerUser = rec.user_name;
    usual = 513;
  } else if (protocol == "raw") {
    e.UseRaw = true;
    usual = 0;
  } else if (protocol != "telnet") {
    e.Notes += " (IcyTerm connection type \"" + rec.protocol +
               "\" has no KORVAN equivalent - imported as plain Telnet, check Host/Port)";
  }
  e.Port = port != 0 ? port : usual;
  if (!TrimmedText(rec.auto_login).empty()) e.Notes += " [IcyTerm auto-login: " + rec.auto_login + "]";
}

}  // namespace

std::string UnescapeTomlString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i++];
    if (c != '\\' || i == text.size()) {
      out += c;  // a backslash that ends the text stays
      continue;
    }
    char escaped = text[i++];
    switch (escaped) {
      case 'n':
      case 't':
        out += ' ';
        break;
      case 'b':
      case 'f':
      case 'r':
        break;
      case 'u':
      case 'U': {
        std::string_view hex = text.substr(i, escaped == 'u' ? 4 : 8);
        i += hex.size();
        uint32_t cp = 0;
        out += TryParseHex32(hex, cp) ? char(UnicodeToCp437OrQuestion(cp)) : '?';
        break;
      }
      default:
        out += escaped;
    }
  }
  return out;
}

void ParseIcyAddress(std::string_view text, std::string& host, uint16_t& port) {
  text = TrimBlanks(text);
  host.clear();
  port = 0;
  if (size_t scheme = text.find("://"); scheme != std::string_view::npos) text.remove_prefix(scheme + 3);
  text = text.substr(0, text.find('/'));
  if (!text.empty() && text.front() == '[') {
    if (size_t close = text.find(']'); close != std::string_view::npos) {
      host = std::string(text.substr(1, close - 1));
      if (close + 1 < text.size() && text[close + 1] == ':') port = ImportPort(text.substr(close + 2), 0);
      return;
    }
  }
  if (std::count(text.begin(), text.end(), ':') == 1) {
    size_t colon = text.find(':');
    host = std::string(text.substr(0, colon));
    port = ImportPort(text.substr(colon + 1), 0);
    return;
  }
  host = std::string(text);
}

int32_t ImportIcyTermData(TPhonebook& book, std::string_view data) {
  std::string storage;
  const std::string_view text = ImportText(data, storage);
  TImportLines scan(text);
  std::string_view line;
  bool recognised = false;
  while (!recognised && scan.Next(line)) recognised = TrimBlanks(line) == "[[addresses]]";
  if (!recognised) return 0;
  int32_t added = 0;
  for (const TIcyRec& rec : ReadIcyRecords(text)) {
    if (TrimBlanks(rec.address).empty()) continue;
    TPhonebookEntryPtr e = AddImportedEntry(book, added, "ImportIcyTerm");
    if (!e) break;
    MakeIcyEntry(*e, rec);
    ++added;
  }
  return added;
}
