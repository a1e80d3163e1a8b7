#include "data/uPhonebookImport.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "core/uDebugLog.h"
#include "core/uUtf8Cp437.h"
#include "data/uBinaryPhonebooks.h"
#include "data/uConfig.h"
#include "data/uIcyTermImport.h"
#include "data/uIniFile.h"
#include "data/uSyncTermList.h"
#include "data/uTextPhonebooks.h"

TReadResult ReadImportFile(const std::string& fileName, std::string& data, std::string& error) {
  return ReadFileContents(fileName, data, error, kMaxImportFileBytes);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && uint8_t(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && uint8_t(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

uint16_t ImportPort(std::string_view text, uint16_t def) {
  int32_t value;
  return TryParseInt32(text, value) ? uint16_t(value) : def;
}

bool TryParseHex32(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t parsed = 0;
  for (char c : text) {
    int digit = HexDigitValue(c);
    if (digit < 0) return false;
    parsed = parsed << 4 | uint32_t(digit);
  }
  value = parsed;
  return true;
}

std::string_view ImportText(std::string_view data, std::string& storage) {
  if (data.substr(0, 2) == "\xFF\xFE") return storage = Utf16ToCp437(data.substr(2), false);
  if (data.substr(0, 2) == "\xFE\xFF") return storage = Utf16ToCp437(data.substr(2), true);
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  return data;
}

const char* TImportLines::NextOf(char c, const char*& cached) {
  if (!cached || cached < FRest.data()) {
    const void* found = std::memchr(FRest.data(), c, FRest.size());
    cached = found ? static_cast<const char*>(found) : FRest.data() + FRest.size();
  }
  return cached;
}

bool TImportLines::Next(std::string_view& line) {
  if (FRest.empty()) return false;
  const char* end = std::min(NextOf('\r', FCr), NextOf('\n', FLf));
  const size_t length = size_t(end - FRest.data());
  line = FRest.substr(0, length);
  if (length == FRest.size()) {
    FRest = {};
  } else {
    size_t next = length + 1;
    if (FRest[length] == '\r' && next < FRest.size() && FRest[next] == '\n') ++next;
    FRest.remove_prefix(next);
  }
  ++FNumber;
  return true;
}

TPhonebookEntryPtr AddImportedEntry(TPhonebook& book, int32_t added, const char* reader) {
  if (added >= kMaxImportEntries) {
    LogLine(std::string(reader) + ": " + std::to_string(kMaxImportEntries) +
            " entries imported - the rest of the file is left out");
    return nullptr;
  }
  return book.Add();
}

// --- the driver ---

namespace {

struct TReader {
  const char* Source;
  int32_t (*Import)(TPhonebook&, std::string_view);
};

// The sectioned list makes a board only of a section with an address or a
// connection type; a file without such a key anywhere (a registry export,
// for one) is not read into sections at all, which for a large file of
// another format took longer than its own reader.
int32_t ImportSyncTermWhenKeyed(TPhonebook& book, std::string_view data) {
  std::string storage;
  const bool keyed = SomeImportLine(ImportText(data, storage), [](std::string_view line) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    const std::string_view key = TrimBlanks(line.substr(0, eq));
    return SameTextAscii(key, "Address") || SameTextAscii(key, "ConnectionType");
  });
  return keyed ? ImportSyncTermData(book, data) : 0;
}

const TReader kReaders[] = {
    {"NetRunner", ImportNetRunnerData}, {"IcyTerm", ImportIcyTermData},        {"MagiTerm", ImportMagiTermData},
    {"Qodem", ImportQodemData},         {"SyncTERM", ImportSyncTermWhenKeyed}, {"PuTTY", ImportPuTTYData},
    {"mTelnet", ImportMTelnetData},
};

// By device and inode, so that another spelling of the path or a link to the
// file is caught too.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Why a file of the program's own must not be imported, or empty.
std::string OwnFileRefusal(const TPhonebook& book, const std::string& fileName) {
  const std::string phonebooks[] = {book.FileName(), ResolvePath("korvan.ini"), ResolvePath("bbsguide.ini")};
  for (const std::string& own : phonebooks)
    if (SameFile(fileName, own))
      return "Phonebook not imported: " + BaseName(fileName) + " is KORVAN's own phonebook.";
  if (SameFile(fileName, ResolvePath("korvan_config.ini")))
    return "Phonebook not imported: " + BaseName(fileName) + " is KORVAN's settings file.";
  return {};
}

}  // namespace

int32_t ImportFromData(TPhonebook& book, std::string_view data, std::string& source) {
  source.clear();
  for (const TReader& reader : kReaders) {
    if (int32_t count = reader.Import(book, data); count > 0) {
      source = reader.Source;
      return count;
    }
  }
  return 0;
}

int32_t ImportFromFile(TPhonebook& book, const std::string& fileName, std::string& source, std::string& error) {
  source.clear();
  error = OwnFileRefusal(book, fileName);
  if (!error.empty()) return 0;
  std::string data;
  TReadResult read = ReadImportFile(fileName, data, error);
  if (read == TReadResult::Failed) error = "Phonebook not imported: " + error;
  if (read != TReadResult::Ok) return 0;
  return ImportFromData(book, data, source);
}

TImportOutcome ImportIntoPhonebook(TPhonebook& book, const std::string& fileName) {
  TImportOutcome outcome;
  std::string error;
  outcome.Count = ImportFromFile(book, fileName, outcome.Source, error);
  if (outcome.Count == 0) {
    outcome.Message = error.empty() ? "Not a recognized phonebook format, or it had no entries." : error;
    return outcome;
  }
  const TPhonebookEntryPtr first = book.GetEntry(book.Count() - outcome.Count);
  book.Sort();
  outcome.FirstNewIndex = std::max(book.IndexOf(first.get()), 0);
  outcome.Saved = book.SaveToFile();
  outcome.Message = "Imported " + (outcome.Count == 1 ? std::string("1 entry") : std::to_string(outcome.Count) + " entries") +
                    " from " + outcome.Source + " phonebook.";
  if (!outcome.Saved) outcome.Message += " " + book.LastError();
  return outcome;
}
