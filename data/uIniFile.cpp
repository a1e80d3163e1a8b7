#include "data/uIniFile.h"

#include <charconv>
#include <cmath>

namespace {

char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Blanks, tabs and stray CRs (of CR CR LF line ends) around names and values.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string OneLine(std::string_view value) {
  std::string out(value);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// Section and key names are looked up as they are stored: one line, trimmed, case folded.
std::string NameKey(std::string_view name) { return LowerAscii(Trim(OneLine(name))); }

}  // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool TryParseInt32(std::string_view text, int32_t& value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return false;  // one sign only
  }
  if (text.empty()) return false;
  int32_t parsed = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

bool TryParseDecimal(std::string_view text, double& value) {
  std::string s(text);
  for (char& c : s)
    if (c == ',') c = '.';
  size_t start = !s.empty() && s.front() == '+' ? 1 : 0;
  if (start == s.size() || (start == 1 && s[1] == '-')) return false;  // one sign only
  // Digits, one point, an exponent: nothing that from_chars would read as
  // "inf", "nan" or hexadecimal.
  for (size_t i = start; i < s.size(); ++i) {
    char c = s[i];
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E')) return false;
  }
  double parsed = 0;
  auto [end, ec] = std::from_chars(s.data() + start, s.data() + s.size(), parsed, std::chars_format::general);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

std::string FormatDecimal(double value) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("0");
}

// --- TIniSection ---

TIniSection::Line* TIniSection::FindLine(std::string_view key) {
  auto it = FKeyIndex.find(NameKey(key));
  return it == FKeyIndex.end() ? nullptr : &FLines[it->second];
}

void TIniSection::AddLine(Line line) {
  if (line.IsEntry) FKeyIndex.emplace(NameKey(line.Key), FLines.size());  // the first one wins
  FLines.push_back(std::move(line));
}

const TIniSection::Line* TIniSection::FindLine(std::string_view key) const {
  return const_cast<TIniSection*>(this)->FindLine(key);
}

const std::string* TIniSection::Find(std::string_view key) const {
  const Line* line = FindLine(key);
  return line ? &line->Value : nullptr;
}

std::string TIniSection::ReadString(std::string_view key, const std::string& def) const {
  const std::string* value = Find(key);
  return value ? *value : def;
}

int32_t TIniSection::ReadInteger(std::string_view key, int32_t def) const {
  const std::string* value = Find(key);
  int32_t parsed;
  return value && TryParseInt32(*value, parsed) ? parsed : def;
}

bool TIniSection::ReadBool(std::string_view key, bool def) const {
  const std::string* value = Find(key);
  if (!value || value->empty()) return def;
  return value->front() == '1';
}

double TIniSection::ReadFloat(std::string_view key, double def) const {
  const std::string* value = Find(key);
  double parsed;
  return value && TryParseDecimal(*value, parsed) ? parsed : def;
}

void TIniSection::WriteString(std::string_view key, std::string_view value) {
  if (Line* line = FindLine(key)) {
    line->Value = OneLine(value);
    return;
  }
  AddLine(Line{true, std::string(Trim(OneLine(key))), OneLine(value), {}});
}

void TIniSection::WriteInteger(std::string_view key, int64_t value) { WriteString(key, std::to_string(value)); }

void TIniSection::WriteBool(std::string_view key, bool value) { WriteString(key, value ? "1" : "0"); }

void TIniSection::WriteFloat(std::string_view key, double value) { WriteString(key, FormatDecimal(value)); }

// --- TIniFile ---

void TIniFile::Clear() {
  FPreamble.clear();
  FSections.clear();
  FIndex.clear();
}

void TIniFile::Parse(std::string_view text) {
  Clear();
  while (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  TIniSection* current = nullptr;
  // Blank lines at a section's end are dropped here and written back as the
  // one blank line between sections, so keys appended later stay with their
  // section instead of landing after a gap.
  auto dropTrailingBlanks = [](std::vector<TIniSection::Line>& lines) {
    while (!lines.empty() && !lines.back().IsEntry && Trim(lines.back().Raw).empty()) lines.pop_back();
  };
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    std::string_view line = Trim(raw);

    if (!line.empty() && line.front() == '[' && line.find(']') != std::string_view::npos) {
      std::string_view name = Trim(line.substr(1, line.rfind(']') - 1));
      if (current) dropTrailingBlanks(current->FLines);
      current = &AddSection(name);
      continue;
    }
    size_t eq = line.find('=');
    bool comment = !line.empty() && (line.front() == ';' || line.front() == '#');
    if (current && !comment && eq != std::string_view::npos && !Trim(line.substr(0, eq)).empty()) {
      current->AddLine(
          TIniSection::Line{true, std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1))), {}});
    } else if (current) {
      current->AddLine(TIniSection::Line{false, {}, {}, std::string(raw)});
    } else {
      FPreamble.emplace_back(raw);
    }
  }
  if (current) dropTrailingBlanks(current->FLines);
}

std::string TIniFile::Text() const {
  std::string out;
  for (const std::string& line : FPreamble) out += line + "\n";
  for (size_t i = 0; i < FSections.size(); ++i) {
    const auto& section = FSections[i];
    if (i > 0) out += "\n";
    out += "[" + section->FName + "]\n";
    for (const TIniSection::Line& line : section->FLines) {
      if (line.IsEntry) out += line.Key + "=" + line.Value + "\n";
      else out += line.Raw + "\n";
    }
  }
  return out;
}

TReadResult TIniFile::LoadFromFile(const std::string& path, std::string& error) {
  std::string text;
  TReadResult result = ReadFileContents(path, text, error);
  Parse(result == TReadResult::Ok ? text : std::string());
  return result;
}

bool TIniFile::SaveToFile(const std::string& path, std::string& error) const {
  return WriteFileReplacing(path, Text(), error);
}

std::vector<std::string> TIniFile::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(FSections.size());
  for (const auto& section : FSections) names.push_back(section->FName);
  return names;
}

const TIniSection* TIniFile::Section(std::string_view name) const {
  auto it = FIndex.find(NameKey(name));
  return it == FIndex.end() ? nullptr : FSections[it->second].get();
}

TIniSection* TIniFile::Section(std::string_view name) {
  return const_cast<TIniSection*>(static_cast<const TIniFile*>(this)->Section(name));
}

TIniSection& TIniFile::AddSection(std::string_view name) {
  if (TIniSection* existing = Section(name)) return *existing;
  // A name is one line; a "]" inside it reads back, since a header ends at its last "]".
  std::string clean(Trim(OneLine(name)));
  FIndex.emplace(NameKey(clean), FSections.size());
  FSections.push_back(std::make_unique<TIniSection>(std::move(clean)));
  return *FSections.back();
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, const std::string& def) const {
  const TIniSection* s = Section(section);
  return s ? s->ReadString(key, def) : def;
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  const TIniSection* s = Section(section);
  return s ? s->ReadInteger(key, def) : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  const TIniSection* s = Section(section);
  return s ? s->ReadBool(key, def) : def;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key, double def) const {
  const TIniSection* s = Section(section);
  return s ? s->ReadFloat(key, def) : def;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  AddSection(section).WriteString(key, value);
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int64_t value) {
  AddSection(section).WriteInteger(key, value);
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  AddSection(section).WriteBool(key, value);
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value) {
  AddSection(section).WriteFloat(key, value);
}
