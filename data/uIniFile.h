// The ini files of settings and phonebooks: "[Section]" headers and
// "Key=Value" lines. Section and key names compare without regard to ASCII
// case; keys and values are read without surrounding blanks; the first of
// duplicate keys wins. Everything a file holds (unknown sections and keys,
// comments, blank lines, their order) is kept when the document is written
// back, and every write replaces the file through a temporary one.
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

 private:
  friend class TIniFile;
  struct Line {
    bool IsEntry;       // "Key=Value" (else a comment, blank or foreign line kept as Raw)
    std::string Key;    // as first written, case kept
    std::string Value;  // trimmed
    std::string Raw;
  };
  Line* FindLine(std::string_view key);
  const Line* FindLine(std::string_view key) const;
  void AddLine(Line line);
  std::string FName;
  std::vector<Line> FLines;
  std::unordered_map<std::string, size_t> FKeyIndex;  // lower-case key -> its first line
};

class TIniFile {
 public:
  TIniFile() = default;
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  // Replaces the document by the parsed text (LF or CR LF line ends; a UTF-8
  // byte-order mark at the start is skipped). Sections of the same name are
  // joined into the first one.
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
