#include "data/uIniFile.h"

#include <charconv>
#include <cmath>

#include "core/uUtf8Cp437.h"

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

// Section and key names are looked up as they are stored: one line, trimmed,
// case folded (in one pass: every key read goes through here).
std::string NameKey(std::string_view name) {
  auto outer = [](char c) { return IsBlank(c) || c == '\n'; };
  while (!name.empty() && outer(name.front())) name.remove_prefix(1);
  while (!name.empty() && outer(name.back())) name.remove_suffix(1);
  std::string key(name);
  for (char& c : key) c = c == '\r' || c == '\n' ? ' ' : LowerChar(c);
  return key;
}

bool IsComment(std::string_view line) { return !line.empty() && (line.front() == ';' || line.front() == '#'); }

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

std::string_view IniText(std::string_view bytes, std::string& storage, bool& utf16) {
  utf16 = false;
  // Until no mark is left at the start, so that the text written back never
  // begins with one and reads the same way again.
  for (;;) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      bytes.remove_prefix(3);
    } else if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
      utf16 = true;
      storage = Utf16ToCp437(bytes.substr(2), bytes[0] == '\xFE');
      bytes = storage;
    } else {
      return bytes;
    }
  }
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

int32_t TIniSection::LineOf(std::string_view key) const {
  auto it = FKeyIndex.find(NameKey(key));
  return it == FKeyIndex.end() ? -1 : static_cast<int32_t>(it->second);
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

// --- TIniSectionReader ---

bool TIniSectionReader::NextLine(std::string_view& raw) {
  if (FRest.empty()) return false;
  size_t end = FRest.find_first_of("\r\n");
  raw = FRest.substr(0, end);
  if (end == std::string_view::npos) {
    FRest = {};
    return true;
  }
  size_t next = end + 1;
  if (FRest[end] == '\r') {
    // CRs before an LF belong to that line end (CR LF, and the CR CR LF of a
    // file converted twice); a CR followed by anything else ends a line alone.
    size_t crs = FRest.find_first_not_of('\r', end);
    if (crs != std::string_view::npos && FRest[crs] == '\n') next = crs + 1;
    else ++FLoneCrs;
  }
  FRest.remove_prefix(next);
  return true;
}

bool TIniSectionReader::IsHeader(std::string_view line, std::string_view& name) {
  if (!line.empty() && line.front() == '[' && line.find(']') != std::string_view::npos) {
    name = Trim(line.substr(1, line.rfind(']') - 1));
    return true;
  }
  if (!LenientHeaders || line.empty() || IsComment(line) || line.find('=') != std::string_view::npos) return false;
  if (line.front() == '[') line.remove_prefix(1);
  else if (line.back() == ']') line.remove_suffix(1);
  else return false;
  name = Trim(line);
  ++FRepairedHeaders;
  return true;
}

bool TIniSectionReader::Next(TIniSection& section) {
  std::string_view raw, name;
  if (!FStarted) {
    FStarted = true;
    while (NextLine(raw)) {
      if (IsHeader(Trim(raw), name)) {
        FHaveHeader = true;
        FHeader = name;
        break;
      }
      FPreamble.emplace_back(raw);
    }
  }
  if (!FHaveHeader) return false;
  section = TIniSection(std::string(FHeader));
  FHaveHeader = false;
  while (NextLine(raw)) {
    std::string_view line = Trim(raw);
    if (IsHeader(line, name)) {
      FHaveHeader = true;
      FHeader = name;
      break;
    }
    size_t eq = line.find('=');
    if (!IsComment(line) && eq != std::string_view::npos && !Trim(line.substr(0, eq)).empty())
      section.AddLine(
          TIniSection::Line{true, std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1))), {}});
    else
      section.AddLine(TIniSection::Line{false, {}, {}, std::string(raw)});
  }
  // Blank lines at a section's end are dropped here and written back as the
  // one blank line between sections, so keys appended later stay with their
  // section instead of landing after a gap.
  auto& lines = section.FLines;
  while (!lines.empty() && !lines.back().IsEntry && Trim(lines.back().Raw).empty()) lines.pop_back();
  return true;
}

// --- TIniWriter ---

void TIniWriter::AppendOneLine(std::string_view text) {
  size_t start = FText.size();
  FText.append(text);
  for (size_t i = start; i < FText.size(); ++i)
    if (FText[i] == '\r' || FText[i] == '\n') FText[i] = ' ';
}

void TIniWriter::WriteLine(std::string_view raw) {
  AppendOneLine(raw);
  FText += '\n';
}

void TIniWriter::WriteSection(std::string_view name) {
  if (FSectionWritten) FText += '\n';
  FSectionWritten = true;
  FText += '[';
  AppendOneLine(name);
  FText += "]\n";
}

void TIniWriter::WriteString(std::string_view key, std::string_view value) {
  AppendOneLine(key);
  FText += '=';
  AppendOneLine(value);
  FText += '\n';
}

void TIniWriter::WriteInteger(std::string_view key, int64_t value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  WriteString(key, std::string_view(digits, size_t(end - digits)));
}

// --- TIniFile ---

void TIniFile::Clear() {
  FPreamble.clear();
  FSections.clear();
  FIndex.clear();
}

void TIniFile::Parse(std::string_view text) {
  Clear();
  std::string storage;
  bool utf16 = false;
  TIniSectionReader reader(IniText(text, storage, utf16));
  TIniSection section("");
  while (reader.Next(section)) {
    if (TIniSection* existing = Section(section.Name())) {
      for (TIniSection::Line& line : section.FLines) existing->AddLine(std::move(line));
      continue;
    }
    FIndex.emplace(NameKey(section.Name()), FSections.size());
    FSections.push_back(std::make_unique<TIniSection>(std::move(section)));
  }
  FPreamble = reader.Preamble();
}

std::string TIniFile::Text() const {
  TIniWriter out;
  for (const std::string& line : FPreamble) out.WriteLine(line);
  for (const auto& section : FSections) {
    out.WriteSection(section->FName);
    for (const TIniSection::Line& line : section->FLines) {
      if (line.IsEntry) out.WriteString(line.Key, line.Value);
      else out.WriteLine(line.Raw);
    }
  }
  return out.Text();
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
