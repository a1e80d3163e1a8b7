#include "door/uOOIIData.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "core/uDebugLog.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The first word of S and what follows the single blank after it.
void SplitWord(const std::string& s, std::string& word, std::string& rest) {
  const size_t blank = s.find(' ');
  word = s.substr(0, blank);
  rest = blank == std::string::npos ? "" : s.substr(blank + 1);
}

}  // namespace

bool ParseOOIINumber(const std::string& s, long& value) {
  if (s.empty() || s.size() > 12) return false;
  const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  char* end = nullptr;
  value = std::strtol(s.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  return end && *end == '\0' && end != s.c_str() + (hex ? 2 : 0);
}

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return s;
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

const struct {
  const char* Name;
  TOOIIVerb Verb;
  bool TwoArgs;  // the first argument is one word, the rest a text
} kVerbs[] = {
    {"clear", TOOIIVerb::Clear, false},   {"attr", TOOIIVerb::Attr, false},
    {"at", TOOIIVerb::At, true},          {"text", TOOIIVerb::Text, false},
    {"line", TOOIIVerb::Line, false},     {"title", TOOIIVerb::Title, false},
    {"option", TOOIIVerb::Option, true},  {"item", TOOIIVerb::Item, true},
    {"itemtight", TOOIIVerb::ItemTight, true}, {"fields", TOOIIVerb::Fields, false},
    {"hunger", TOOIIVerb::Hunger, false},
};

}  // namespace

std::string UnescapeOOIIText(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (s[i] == '\\' && i + 3 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
               HexDigit(s[i + 2]) >= 0 && HexDigit(s[i + 3]) >= 0) {
      out += char(HexDigit(s[i + 2]) * 16 + HexDigit(s[i + 3]));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool ReadOOIIFile(const std::string& path, size_t limit, std::string& data) {
  data.clear();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (uint64_t(st.st_size) > limit) {
    LogLine("OOII: " + path + " refused: " + std::to_string(int64_t(st.st_size)) + " bytes, more than " +
            std::to_string(limit));
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0 && data.size() + n <= limit) data.append(chunk, n);
  const bool grew = n > 0;  // the file grew past the limit while it was read
  std::fclose(f);
  if (grew) data.clear();
  return !grew;
}

void TOOIIData::ParseScreens(const std::string& text) {
  std::string section;
  size_t start = 0;
  int lineNo = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      section = Lower(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      continue;
    }
    auto skip = [&](const char* why) {
      LogLine("OOII: screens.txt line " + std::to_string(lineNo) + " skipped: " + why);
    };
    std::string verb, rest, word, tail;
    SplitWord(line, verb, rest);
    verb = Lower(verb);
    SplitWord(rest, word, tail);
    long n = 0, m = 0;

    if (section == "terrain") {
      if ((verb == "cell" || verb == "cell4") && ParseOOIINumber(word, n)) {
        (verb == "cell" ? Terrain.Cells : Terrain.Cells4)[int(n)] = UnescapeOOIIText(tail);
      } else if (verb == "hidden") {
        std::string codes = rest, code;
        while (!codes.empty()) {
          SplitWord(codes, code, codes);
          if (ParseOOIINumber(code, n)) Terrain.Hidden.push_back(int(n));
        }
      } else if (verb == "unseen") {
        Terrain.Unseen = UnescapeOOIIText(rest);
      } else if (verb == "day" && ParseOOIINumber(word, n) && Terrain.Days.size() < 7) {
        Terrain.Days.push_back({uint8_t(n), UnescapeOOIIText(tail)});
      } else if (verb == "colour" && ParseOOIINumber(tail, n)) {
        const std::string ch = UnescapeOOIIText(word);
        if (ch.size() == 1) Terrain.Colours[uint8_t(ch[0])] = uint8_t(n);
        else skip("a colour is given for one character");
      } else if (verb == "desc" && ParseOOIINumber(word, n)) {
        std::vector<std::string>& lines = Terrain.Descriptions[int(n)];
        if (lines.size() < 2) lines.push_back(UnescapeOOIIText(tail));
        else skip("a description has at most two lines");
      } else if (verb == "blank" && ParseOOIINumber(rest, n) && n >= 0 && n <= 250) {
        Terrain.BlankWidth = int(n);
      } else {
        skip("not a terrain entry");
      }
      continue;
    }
    if (section == "hunger") {
      if (verb == "word" && HungerWords.size() < 5) HungerWords.push_back(UnescapeOOIIText(rest));
      else skip("not a hunger word");
      continue;
    }
    if (section == "cues") {
      const std::string ch = UnescapeOOIIText(word);
      if (verb != "cue" || ch.size() != 1 || tail.empty()) {
        skip("not a cue");
        continue;
      }
      std::vector<std::string>& names = Cues[uint8_t(ch[0])];
      names.clear();
      std::string name;
      while (!tail.empty() && names.size() < 8) {
        SplitWord(tail, name, tail);
        if (!name.empty()) names.push_back(name);
      }
      continue;
    }
    if (section.empty()) {
      skip("outside a section");
      continue;
    }
    bool known = false;
    for (const auto& v : kVerbs) {
      if (verb != v.Name) continue;
      known = true;
      TOOIIStep step;
      step.Verb = v.Verb;
      if (v.Verb == TOOIIVerb::At) {
        if (!ParseOOIINumber(word, n) || !ParseOOIINumber(tail, m)) {
          skip("\"at\" takes a column and a row");
          break;
        }
        step.A = word;
        step.B = tail;
      } else if (v.TwoArgs) {
        step.A = UnescapeOOIIText(word);
        step.B = UnescapeOOIIText(tail);
      } else {
        step.A = UnescapeOOIIText(rest);
      }
      Screens[section].push_back(std::move(step));
      break;
    }
    if (!known) skip("unknown verb");
  }
}

const TOOIIScreen* TOOIIData::Screen(const std::string& name) const {
  const auto it = Screens.find(name);
  return it == Screens.end() ? nullptr : &it->second;
}
