// The ini files of settings and phonebooks: "[Section]" headers and
// "Key=Value" lines. Section and key names compare without regard to ASCII
// case; keys and values are read without surrounding blanks; the first of
// duplicate keys wins. Lines end at LF, CR LF or a lone CR; text in UTF-16
// with its byte-order mark is read as CP437. Everything a file holds (unknown
// sections and keys, comments, blank lines, their order) is kept when the
// document is written back, and every write replaces the file through a
// temporary one. Files of thousands of sections (phonebooks) are read one
// section at a time (TIniSectionReader) and written as they go (TIniWriter).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/uFileReplace.h"

// ASCII-only, so names never depend on the locale.
bool SameTextAscii(std::string_view a, std::string_view b);
std::string LowerAscii(std::string_view s);

// Decimal integer with an optional sign, nothing else around it; false when
// the text is no number or does not fit 32 bits.
bool TryParseInt32(std::string_view text, int32_t& value);
// Decimal number with "." or "," before the fraction (and an optional
// exponent); false for anything else, including infinities and NaN.
bool TryParseDecimal(std::string_view text, double& value);
// The shortest text that reads back to the same number, with "." decimals.
std::string FormatDecimal(double value);

// A file's bytes as the 8-bit text the reader works on: UTF-16 of either byte
// order, told by its byte-order mark (as Windows editors save "Unicode"
// text), becomes CP437 in Storage and Utf16 is set; a UTF-8 byte-order mark
// is skipped; anything else is the bytes as they stand.
std::string_view IniText(std::string_view bytes, std::string& storage, bool& utf16);

class TIniSection {
 public:
  explicit TIniSection(std::string name) : FName(std::move(name)) {}

  const std::string& Name() const { return FName; }
  // Null when the key is absent.
  const std::string* Find(std::string_view key) const;
  bool ValueExists(std::string_view key) const { return Find(key) != nullptr; }

  // The value as it stands, even when empty; Default only when the key is absent.
  std::string ReadString(std::string_view key, const std::string& def) const;
  // Default when absent, empty, not a number, or beyond 32 bits.
  int32_t ReadInteger(std::string_view key, int32_t def) const;
  // True when the value's first character is "1", false for any other
  // non-empty value, Default when absent or empty.
  bool ReadBool(std::string_view key, bool def) const;
  // Default when absent or not a number (see TryParseDecimal).
  double ReadFloat(std::string_view key, double def) const;

  // Replaces the first value of Key, or appends the key at the section's end.
  // CR and LF in the value become blanks: a value is always one line.
  void WriteString(std::string_view key, std::string_view value);
  void WriteInteger(std::string_view key, int64_t value);
  void WriteBool(std::string_view key, bool value);
  void WriteFloat(std::string_view key, double value);

  struct Line {
    bool IsEntry;       // "Key=Value" (else a comment, blank or foreign line kept as Raw)
    std::string Key;    // as first written, case kept
    std::string Value;  // trimmed
    std::string Raw;
  };
  // Every line in file order, for readers that account for all a section holds.
  const std::vector<Line>& Lines() const { return FLines; }
  // The position in Lines() of the line a read of Key uses (the first with
  // that key), or -1 when the key is absent.
  int32_t LineOf(std::string_view key) const;

 private:
  friend class TIniFile;
  friend class TIniSectionReader;
  Line* FindLine(std::string_view key);
  const Line* FindLine(std::string_view key) const;
  void AddLine(Line line);
  std::string FName;
  std::vector<Line> FLines;
  std::unordered_map<std::string, size_t> FKeyIndex;  // lower-case key -> its first line
};

// Reads ini text one section at a time, in file order, without holding the
// whole document. A header is a line that begins with "[" and holds a "]"
// (the name runs to the last "]"); key lines before the first header are no
// keys; blank lines at a section's end are dropped.
class TIniSectionReader {
 public:
  // Text as IniText gives it.
  explicit TIniSectionReader(std::string_view text) : FRest(text) {}

  // With this set, a line that lost one of its brackets ("[Entry3" or
  // "Entry3]", with no "=" and not a comment) still starts a section, and
  // RepairedHeaders counts it.
  bool LenientHeaders = false;

  // Replaces Section by the next section of the text; false when none is left.
  bool Next(TIniSection& section);
  // The lines before the first header, as they stand (complete once Next
  // has returned a section or false).
  const std::vector<std::string>& Preamble() const { return FPreamble; }
  // Line ends that were a CR on its own (a file with CR-only line ends).
  size_t LoneCrLineEnds() const { return FLoneCrs; }
  size_t RepairedHeaders() const { return FRepairedHeaders; }

 private:
  bool NextLine(std::string_view& raw);
  bool IsHeader(std::string_view line, std::string_view& name);
  std::string_view FRest;
  bool FStarted = false;
  bool FHaveHeader = false;
  std::string_view FHeader;
  std::vector<std::string> FPreamble;
  size_t FLoneCrs = 0;
  size_t FRepairedHeaders = 0;
};

// Ini text built as TIniFile writes it: "[Name]" headers with one blank line
// between sections, "Key=Value" lines, LF line ends; CR and LF inside a name
// or a value are written as blanks, so a value is always one line.
class TIniWriter {
 public:
  void Reserve(size_t bytes) { FText.reserve(bytes); }
  // A line as it stands (comments and lines kept from a file).
  void WriteLine(std::string_view raw);
  void WriteSection(std::string_view name);
  void WriteString(std::string_view key, std::string_view value);
  void WriteInteger(std::string_view key, int64_t value);
  void WriteBool(std::string_view key, bool value) { WriteString(key, value ? "1" : "0"); }
  const std::string& Text() const { return FText; }

 private:
  void AppendOneLine(std::string_view text);
  std::string FText;
  bool FSectionWritten = false;
};

class TIniFile {
 public:
  TIniFile() = default;
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  // Replaces the document by the parsed text (the bytes of a file: see
  // IniText). Sections of the same name are joined into the first one.
  void Parse(std::string_view text);
  std::string Text() const;
  void Clear();

  // Parse of the file's text. Missing: an empty document. Failed: the file
  // exists but cannot be read; the document is left empty and Error says why.
  TReadResult LoadFromFile(const std::string& path, std::string& error);
  // Text() through WriteFileReplacing: on failure the old file stays whole.
  bool SaveToFile(const std::string& path, std::string& error) const;

  size_t SectionCount() const { return FSections.size(); }
  const TIniSection& SectionAt(size_t index) const { return *FSections[index]; }
  std::vector<std::string> SectionNames() const;
  const TIniSection* Section(std::string_view name) const;
  TIniSection* Section(std::string_view name);
  // The section of that name, appended to the document when it is new.
  TIniSection& AddSection(std::string_view name);

  // Shorthands over Section(): an absent section reads as the default.
  std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  double ReadFloat(std::string_view section, std::string_view key, double def) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void WriteFloat(std::string_view section, std::string_view key, double value);

 private:
  std::vector<std::string> FPreamble;  // lines before the first section, kept as they are
  std::vector<std::unique_ptr<TIniSection>> FSections;
  std::unordered_map<std::string, size_t> FIndex;  // lower-case name -> position
};
