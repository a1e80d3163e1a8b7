#include "data/uSyncTermList.h"

#include <unordered_set>

#include "core/uDebugLog.h"
#include "data/uPhonebookImport.h"

namespace {

// A list holds a few dozen keys per board. Beyond these, further keys of a
// section are dropped and further pairs of the file are not read, rather than
// held in memory whole.
constexpr size_t kMaxSectionKeys = 256;
constexpr size_t kMaxListPairs = 500000;
// Skipped lines are logged one by one up to this many, so a large file that
// is no list does not flood the debug log.
constexpr int kMaxSkipLogLines = 100;

class TSkipLog {
 public:
  // Who logs: the first words of the closing line.
  explicit TSkipLog(const char* who) : FWho(who) {}
  // Text is only made while lines are still logged.
  template <typename Text>
  void Line(Text text) {
    if (FCount < kMaxSkipLogLines) LogLine(text());
    else if (FCount == kMaxSkipLogLines) LogLine(std::string(FWho) + ": further skipped lines are not logged");
    ++FCount;
  }

 private:
  const char* FWho;
  int FCount = 0;
};

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

bool ParseSyncTermSections(std::string_view data, std::vector<TIniSection>& sections) {
  sections.clear();
  std::string storage;
  TImportLines lines(ImportText(data, storage));
  TSkipLog skipped("LoadSyncTermSections");
  std::unordered_set<std::string> seen;  // lower-case names
  TIniSection* current = nullptr;
  size_t pairs = 0, keys = 0;  // in the list, in the current section
  std::string_view raw;
  while (lines.Next(raw)) {
    const std::string_view line = TrimBlanks(raw);
    auto n = [&] { return std::to_string(lines.Number()); };
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        skipped.Line([&] {
          return "LoadSyncTermSections: line " + n() + " looks like an unterminated section header - skipped (" +
                 Quoted(line) + ")";
        });
        continue;
      }
      std::string name(line.substr(1, line.size() - 2));
      if (name.empty()) {
        skipped.Line(
            [&] { return "LoadSyncTermSections: line " + n() + " has an empty section name - skipped (" + Quoted(line) + ")"; });
        current = nullptr;
        continue;
      }
      if (sections.size() >= size_t(kMaxImportEntries)) {
        LogLine("LoadSyncTermSections: more than " + std::to_string(kMaxImportEntries) +
                " sections - the rest of the list is not read");
        break;
      }
      if (!seen.insert(LowerAscii(name)).second)
        LogLine("LoadSyncTermSections: duplicate section name " + Quoted(name) + " at line " + n() +
                " - kept as a separate entry rather than merged");
      current = &sections.emplace_back(std::move(name));
      keys = 0;
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      skipped.Line([&] {
        return "LoadSyncTermSections: line " + n() + " is neither a section header nor a Key=Value pair - skipped (" +
               Quoted(line) + ")";
      });
      continue;
    }
    if (!current) {
      skipped.Line([&] {
        return "LoadSyncTermSections: line " + n() + " has a Key=Value pair before any [Section] header - skipped (" +
               Quoted(line) + ")";
      });
      continue;
    }
    std::string_view key = TrimBlanks(line.substr(0, eq));
    if (key.empty()) continue;
    if (!current->ValueExists(key)) {
      if (++keys > kMaxSectionKeys) {
        if (keys == kMaxSectionKeys + 1)
          LogLine("LoadSyncTermSections: section " + Quoted(current->Name()) + " has more than " +
                  std::to_string(kMaxSectionKeys) + " keys - the rest of them are dropped");
        continue;
      }
      if (++pairs > kMaxListPairs) {
        LogLine("LoadSyncTermSections: more than " + std::to_string(kMaxListPairs) +
                " Key=Value pairs - the rest of the list is not read");
        break;
      }
    }
    current->WriteString(key, TrimBlanks(line.substr(eq + 1)));  // a later value replaces an earlier one
  }
  LogLine("LoadSyncTermSections: " + std::to_string(lines.Number()) + " lines read, " +
          std::to_string(sections.size()) + " sections found");
  if (!sections.empty())
    LogLine("LoadSyncTermSections: first=" + Quoted(sections.front().Name()) + " last=" + Quoted(sections.back().Name()));
  return !sections.empty();
}

bool LoadSyncTermSections(const std::string& fileName, std::vector<TIniSection>& sections) {
  sections.clear();
  std::string data, error;
  TReadResult read = ReadImportFile(fileName, data, error);
  if (read == TReadResult::Failed) LogLine("LoadSyncTermSections: " + error);
  if (read != TReadResult::Ok) return false;
  return ParseSyncTermSections(data, sections);
}

namespace {

int32_t ImportSyncTermSections(TPhonebook& book, const std::vector<TIniSection>& sections, TListOrigin origin,
                               int32_t& shellSkipped) {
  int32_t added = 0;
  shellSkipped = 0;
  TSkipLog refused("ImportSyncTerm");
  for (const TIniSection& s : sections) {
    const std::string type = s.ReadString("ConnectionType", "Telnet");
    const std::string address = s.ReadString("Address", "");
    const bool shell = SameTextAscii(type, "Shell");
    if (shell && origin == TListOrigin::Network) {
      refused.Line([&] {
        return "ImportSyncTerm: section " + Quoted(s.Name()) +
               " is a shell entry (a local command) - not taken from a downloaded list";
      });
      ++shellSkipped;
      continue;
    }
    if (address.empty() && !shell) continue;
    TPhonebookEntryPtr e = AddImportedEntry(book, added, "ImportSyncTerm");
    if (!e) break;
    e->Name = s.Name();
    e->Host = address;
    e->Username = s.ReadString("UserName", "");
    e->Password = s.ReadString("Password", "");
    e->TermType = s.ReadString("TerminalType", "");
    if (e->TermType.empty()) e->TermType = "ANSI-BBS";
    e->Notes = "Imported from SyncTERM phonebook";
    e->UseRIP = !SameTextAscii(s.ReadString("RIP", "Off"), "Off");
    auto port = [&](uint16_t def) { return ImportPort(s.ReadString("Port", ""), def); };
    if (SameTextAscii(type, "SSH") || SameTextAscii(type, "SSHNA")) {
      e->UseSSH = true;
      e->Port = port(22);
    } else if (SameTextAscii(type, "TelnetS")) {
      e->UseTelnetS = true;
      e->Port = port(992);
    } else if (SameTextAscii(type, "RLogin") || SameTextAscii(type, "RLoginReversed")) {
      e->UseRLogin = true;
      e->RLoginClientUser = e->Username;
      e->RLoginServerUser = e->Username;
      e->Port = port(513);
    } else if (SameTextAscii(type, "Raw")) {
      e->UseRaw = true;
      e->Port = port(0);
    } else if (shell) {
      e->UseShell = true;
      e->ShellCommand = e->Host;
      e->Host.clear();
    } else {
      if (!SameTextAscii(type, "Telnet"))
        e->Notes += " (original connection type \"" + type +
                    "\" has no KORVAN equivalent - imported as plain Telnet, check Port/settings)";
      e->Port = port(23);
    }
    ++added;
  }
  LogLine("ImportSyncTerm: imported " + std::to_string(added) + " of " + std::to_string(sections.size()) +
          " sections");
  return added;
}

}  // namespace

int32_t ImportSyncTerm(TPhonebook& book, const std::string& fileName, TListOrigin origin, int32_t& shellSkipped) {
  shellSkipped = 0;
  std::vector<TIniSection> sections;
  return LoadSyncTermSections(fileName, sections) ? ImportSyncTermSections(book, sections, origin, shellSkipped) : 0;
}

int32_t ImportSyncTerm(TPhonebook& book, const std::string& fileName) {
  int32_t shellSkipped = 0;
  return ImportSyncTerm(book, fileName, TListOrigin::PickedFile, shellSkipped);
}

int32_t ImportSyncTermData(TPhonebook& book, std::string_view data, TListOrigin origin, int32_t& shellSkipped) {
  shellSkipped = 0;
  std::vector<TIniSection> sections;
  return ParseSyncTermSections(data, sections) ? ImportSyncTermSections(book, sections, origin, shellSkipped) : 0;
}

int32_t ImportSyncTermData(TPhonebook& book, std::string_view data) {
  int32_t shellSkipped = 0;
  return ImportSyncTermData(book, data, TListOrigin::PickedFile, shellSkipped);
}
