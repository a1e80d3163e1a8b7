// Importing the phonebooks of other terminal programs: the driver that tries
// every reader in a fixed order, what the import screen asks of it, and the
// rules every reader follows (how a foreign file is read, how many entries one
// import may add). The readers live in their own units; they only append.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/uFileReplace.h"
#include "data/uPhonebook.h"

// A foreign phonebook larger than this is refused before it is read: the
// largest real ones (board lists of a few thousand boards) are a few MiB.
constexpr size_t kMaxImportFileBytes = size_t(64) << 20;
// One import adds at most this many entries; further boards are dropped with
// a log line instead of growing the directory without bound.
constexpr int32_t kMaxImportEntries = 50000;

// The whole file, refused (Failed, with the reason in Error) when it holds
// more than kMaxImportFileBytes.
TReadResult ReadImportFile(const std::string& fileName, std::string& data, std::string& error);

// The text without the control characters and blanks (bytes up to 32) at
// either end.
std::string_view TrimBlanks(std::string_view text);
inline std::string TrimmedText(std::string_view text) { return std::string(TrimBlanks(text)); }

// A port written in a foreign file: a decimal integer keeps its low 16 bits
// (as the phonebook file's ports do); anything else gives Default.
uint16_t ImportPort(std::string_view text, uint16_t def);

// One to eight hexadecimal digits and nothing else.
bool TryParseHex32(std::string_view text, uint32_t& value);

// A file's bytes as 8-bit text: UTF-16 text with its byte-order mark (as
// Windows tools save it) becomes CP437, a UTF-8 byte-order mark is dropped,
// anything else is the bytes as they stand. The result views Data or Storage.
std::string_view ImportText(std::string_view data, std::string& storage);

// The lines of 8-bit text; CR, LF or CR LF ends a line, and a line break at
// the very end opens no further line.
class TImportLines {
 public:
  explicit TImportLines(std::string_view text) : FRest(text) {}
  // The next line without its line break; false after the last.
  bool Next(std::string_view& line);
  bool AtEnd() const { return FRest.empty(); }
  // 1-based number of the line Next returned last.
  int32_t Number() const { return FNumber; }

 private:
  // The next CR and the next LF at or after where they were last looked
  // for (the text's end when there is none), so that each is searched for
  // once over the whole text, in memchr's stride.
  const char* NextOf(char c, const char*& cached);
  std::string_view FRest;
  const char* FCr = nullptr;
  const char* FLf = nullptr;
  int32_t FNumber = 0;
};

// True when some line of Text, without its surrounding blanks, passes Test:
// how the readers recognise their format.
template <typename Test>
bool SomeImportLine(std::string_view text, Test test) {
  TImportLines lines(text);
  std::string_view line;
  while (lines.Next(line))
    if (test(TrimBlanks(line))) return true;
  return false;
}

// Appends an entry with the creation values for a reader that has added
// Added entries so far, or returns null (with a log line naming the reader)
// once the import holds kMaxImportEntries; the reader then stops.
TPhonebookEntryPtr AddImportedEntry(TPhonebook& book, int32_t added, const char* reader);

// --- the driver ---

// Tries the readers on a file's bytes in this order: NetRunner, IcyTerm,
// MagiTerm, Qodem, the sectioned list, PuTTY, mTelnet. The first that appends
// entries ends the search, and Source is then its name ("NetRunner",
// "IcyTerm", "MagiTerm", "Qodem", "SyncTERM", "PuTTY", "mTelnet"); a reader
// that knows the format but finds no board lets the search go on. Qodem comes before the
// sectioned list, whose reader would take its [entry] blocks for boards named
// "entry", and mTelnet, known by nothing but the file's size, comes last.
// Returns the number of entries appended; 0 (Source empty) when none applies.
int32_t ImportFromData(TPhonebook& book, std::string_view data, std::string& source);

// ImportFromData over a file. Gives 0 with Error set, and Book untouched, when
// the file cannot be read, is larger than kMaxImportFileBytes, or is one of
// the program's own files (either phonebook or the settings file, however the
// path names it). A missing file gives 0 with Error empty.
int32_t ImportFromFile(TPhonebook& book, const std::string& fileName, std::string& source, std::string& error);

// What the import screen shows after ImportIntoPhonebook.
struct TImportOutcome {
  int32_t Count = 0;           // entries appended
  std::string Source;          // the reader's name; empty when Count is 0
  int32_t FirstNewIndex = -1;  // the first appended entry's place after sorting; -1 when Count is 0
  bool Saved = false;          // the phonebook was written to its file
  std::string Message;         // the status text
};

// The import screen's work on a picked file: appends what ImportFromFile
// finds to Book, sorts it by name and saves it (through a temporary file);
// FirstNewIndex tells which entry to select. Nothing found: Book is neither
// changed nor saved, and Message says why.
TImportOutcome ImportIntoPhonebook(TPhonebook& book, const std::string& fileName);
