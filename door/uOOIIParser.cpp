#include "door/uOOIIParser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"

namespace {

constexpr uint8_t kCommandStart = 0xAB;  // opens a door command
constexpr uint8_t kHandshakeReply = 0xAF;
constexpr char kCommandEnd = '|';
constexpr char kFieldSeparator = '_';
constexpr char kEsc = 0x1B;

// PC colour number to ANSI colour number.
constexpr int kAnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

std::string Pointer(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

// Art numbers of the menu letters: A-E the "cmenus" set, F-K "bmenus".
constexpr int kCMenuNumber[5] = {0, 1, 3, 2, 4};
constexpr int kBMenuNumber[6] = {0, 1, 3, 5, 2, 4};

// A field read as an integer: the whole field a decimal number, else 0.
long FieldNumber(const std::string& s) {
  if (s.empty() || s.size() > 11) return 0;
  size_t i = s[0] == '-' || s[0] == '+' ? 1 : 0;
  if (i == s.size()) return 0;
  long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return 0;
    v = v * 10 + (s[i] - '0');
  }
  return s[0] == '-' ? -v : v;
}

// An attribute argument: a number, or a field of the command ("%1").
int AttrNumber(const std::string& s) {
  long v = 0;
  return ParseOOIINumber(s, v) ? int(v & 0xFF) : -1;
}

// The game's random choices when no test decides them.
int AnyOf(int n) {
  static std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, n - 1)(generator);
}

std::string PadRight(std::string s, size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

}  // namespace

// --- Banner matching ------------------------------------------------------

void TOOIIParser::Matcher::Set(const std::string& banner) {
  Banner = banner;
  Matched = 0;
  Fallback.assign(banner.size() + 1, 0);
  for (size_t i = 1, k = 0; i < banner.size(); ++i) {
    while (k > 0 && banner[i] != banner[k]) k = Fallback[k];
    if (banner[i] == banner[k]) ++k;
    Fallback[i + 1] = k;
  }
}

bool TOOIIParser::Matcher::Step(uint8_t b) {
  if (Banner.empty()) return false;
  while (Matched > 0 && uint8_t(Banner[Matched]) != b) Matched = Fallback[Matched];
  if (uint8_t(Banner[Matched]) == b) ++Matched;
  if (Matched < Banner.size()) return false;
  Matched = Fallback[Matched];
  return true;
}

void TOOIIParser::MatchBanner(uint8_t b) {
  const size_t before = std::max(FMatch1.Matched, FMatch2.Matched);
  const bool full1 = FMatch1.Step(b);
  const bool full2 = FMatch2.Step(b);
  if (full1 || full2) {
    FOOIIMode = full1 ? 1 : 2;
    FMatch1.Matched = FMatch2.Matched = 0;
    LogLine(full1 ? "OOII: banner 1 fully matched - FOOIIMode=1" : "OOII: banner 2 fully matched - FOOIIMode=2");
    return;
  }
  const size_t after = std::max(FMatch1.Matched, FMatch2.Matched);
  if (before > 0 && after <= before) {
    ++FResetCount;
    if (FResetCount == 1 || FResetCount % 2000 == 0) {
      const std::string& had = FMatch1.Matched >= FMatch2.Matched && before <= FMatch1.Banner.size()
                                   ? FMatch1.Banner
                                   : FMatch2.Banner;
      char text[160];
      std::snprintf(text, sizeof text, "OOII: banner match reset #%lld (last: after %zu byte(s), diverged on $%.2x (%c) - had matched: ",
                    static_cast<long long>(FResetCount), before, b, b >= 32 && b < 127 ? char(b) : '.');
      LogLine(text + had.substr(0, before) + ")");
    }
  }
}

// --- Bytes ------------------------------------------------------------------

TOOIIParser::TOOIIParser(TAnsiParser* ansiParser, TSender sender)
    : FSender(std::move(sender)), FAnsiParser(ansiParser) {
  LogLine("OOII: TOOIIParser.Create (instance $" + Pointer(this) + ")");
}

bool TOOIIParser::FilterByte(uint8_t b) {
  ++FCallCount;
  if (FCallCount == 1 || FCallCount % 2000 == 0)
    LogLine("OOII: FilterByte alive (instance $" + Pointer(this) + ", call #" + std::to_string(FCallCount) +
            ", mode=" + std::to_string(FOOIIMode) + ")");
  if (FOOIIMode == 0) {
    MatchBanner(b);
    return false;
  }
  if (!FCommand.empty()) {
    if (FCommand.size() >= kMaxOOIICommandBytes) {
      // A lost "|" would otherwise hide everything the door sends from now on.
      LogLine("OOII: command dropped after " + std::to_string(FCommand.size()) + " bytes without its closing \"|\"");
      FCommand.clear();
    } else {
      FCommand += char(b);
      if (b == uint8_t(kCommandEnd)) {
        const std::string cmd = std::move(FCommand);
        FCommand.clear();
        if (DispatchCommand(cmd)) FOOIIMode = 0;
      }
      return true;
    }
  }
  if (b == kCommandStart) {
    FCommand.assign(1, char(b));
    return true;
  }
  return false;
}

size_t TOOIIParser::PlainRun(const uint8_t* data, size_t count) const {
  if (FOOIIMode != 0) {
    if (!FCommand.empty()) return 0;
    const void* start = std::memchr(data, kCommandStart, count);
    return start ? size_t(static_cast<const uint8_t*>(start) - data) : count;
  }
  if (FMatch1.Matched > 0 || FMatch2.Matched > 0) return 0;
  const bool has1 = !FMatch1.Banner.empty(), has2 = !FMatch2.Banner.empty();
  if (!has1 && !has2) return count;
  const uint8_t first1 = has1 ? uint8_t(FMatch1.Banner[0]) : uint8_t(FMatch2.Banner[0]);
  const uint8_t first2 = has2 ? uint8_t(FMatch2.Banner[0]) : first1;
  if (first1 == first2) {
    const void* start = std::memchr(data, first1, count);
    return start ? size_t(static_cast<const uint8_t*>(start) - data) : count;
  }
  size_t n = 0;
  while (n < count && data[n] != first1 && data[n] != first2) ++n;
  return n;
}

void TOOIIParser::Connected(TSender sender, const std::string& baseDir) {
  FSender = std::move(sender);
  FOOIIMode = 0;
  FBaseDir = baseDir;
  LoadGameData();
}

void TOOIIParser::LoadGameData() {
  TOOIIData data;
  std::string text;
  for (int n = 1; n <= 2; ++n) {
    const std::string path = FindAsset("banner" + std::to_string(n) + ".bin");
    if (!path.empty() && ReadOOIIFile(path, kMaxOOIIBannerBytes, text)) (n == 1 ? data.Banner1 : data.Banner2) = text;
  }
  const std::string screens = FindAsset("screens.txt");
  if (!screens.empty() && ReadOOIIFile(screens, kMaxOOIIScreensBytes, text)) data.ParseScreens(text);
  UseGameData(std::move(data));
}

void TOOIIParser::UseGameData(TOOIIData data) {
  Data = std::move(data);
  FMatch1.Set(Data.Banner1);
  FMatch2.Set(Data.Banner2);
}

bool TOOIIParser::TakeDrawn() {
  const bool drawn = FDrawn;
  FDrawn = false;
  return drawn;
}

// --- Drawing ------------------------------------------------------------------

void TOOIIParser::WriteText(const std::string& s) {
  if (!FAnsiParser) return;
  for (char c : s) FAnsiParser->ProcessChar(uint8_t(c));
  FDrawn = true;
}

void TOOIIParser::SetAttr(uint8_t a) {
  if (a == FAttr) return;
  std::string seq = "\x1b[";
  if ((a ^ FAttr) & 0x80) seq += a & 0x80 ? "5;" : "25;";
  if ((a ^ FAttr) & 0x08) seq += a & 0x08 ? "1;" : "22;";
  if ((a ^ FAttr) & 0x07) seq += "3" + std::to_string(kAnsiColour[a & 7]) + ";";
  if ((a ^ FAttr) & 0x70) seq += "4" + std::to_string(kAnsiColour[(a >> 4) & 7]) + ";";
  seq.back() = 'm';
  FAttr = a;
  WriteText(seq);
}

void TOOIIParser::GotoXY(int x, int y) {
  char seq[48];
  std::snprintf(seq, sizeof seq, "%c[%d;%dH", kEsc, y, x);
  WriteText(seq);
}

void TOOIIParser::ClearScreen() { WriteText("\x1b[0m\x1b[2J\x1b[H"); }

std::string TOOIIParser::FindAsset(const std::string& rel) const {
  std::string first, why;
  if (!FBaseDir.empty()) {
    first = FBaseDir + "ooii/" + rel;
    const std::string found = FindPlainPath(FBaseDir, "ooii/" + rel, &why);
    if (!found.empty()) return found;
  }
  const std::string second = ProgramFolder + "ooii/" + rel;
  const std::string found = FindPlainPath(ProgramFolder.empty() ? "./" : ProgramFolder, "ooii/" + rel, &why);
  if (!found.empty()) return found;
  LogLine("OOII: asset MISSING - tried: " + (first.empty() ? second : first + " and " + second) +
          (why.empty() ? "" : " (" + why + ")"));
  return {};
}

void TOOIIParser::PlaySound(const std::string& name) {
  const std::string path = FindAsset("sounds/" + name + ".wav");
  if (path.empty()) return;
  LogLine("OOII: PlaySound FOUND - " + path);
  if (PlayWave) PlayWave(path);
}

void TOOIIParser::PlayArtAsset(const std::string& set, int mode, int number) {
  char rel[64];
  std::snprintf(rel, sizeof rel, "art/%s/m%d_%d.bin", set.c_str(), mode, number);
  const std::string path = FindAsset(rel);
  std::string bytes;
  if (path.empty() || !ReadOOIIFile(path, kMaxOOIIArtBytes, bytes)) return;
  char line[64];
  std::snprintf(line, sizeof line, "OOII: PlayArtAsset FOUND (%zu bytes) - ", bytes.size());
  LogLine(line + path);
  WriteText(bytes);
  LogLine("OOII: PlayArtAsset fed " + std::to_string(bytes.size()) + " bytes to FAnsiParser");
}

// --- Commands -------------------------------------------------------------

std::string TOOIIParser::ReadField(Walk& w) {
  if (w.At < w.Cmd.size() && w.Cmd[w.At] == kFieldSeparator) ++w.At;
  std::string field;
  while (w.At < w.Cmd.size() && w.Cmd[w.At] != '\0' && w.Cmd[w.At] != kFieldSeparator && w.Cmd[w.At] != kCommandEnd) {
    if (field.size() < kMaxOOIIFieldChars) field += w.Cmd[w.At];
    ++w.At;
  }
  return field;
}

int TOOIIParser::ReadIntField(Walk& w) { return int(FieldNumber(ReadField(w))); }

bool TOOIIParser::DispatchCommand(const std::string& cmd) {
  LogLine("OOII: dispatching command '" + cmd + "'");
  Walk w{cmd, 1};
  bool done = false;
  while (!w.AtEnd()) {
    const uint8_t c = uint8_t(cmd[w.At++]);
    if (c >= 'A' && c <= 'Z') {
      ClearScreen();
      GotoXY(1, 1);
      if (c <= 'E') PlayArtAsset("cmenus", FOOIIMode, kCMenuNumber[c - 'A']);
      else if (c <= 'K') PlayArtAsset("bmenus", FOOIIMode, kBMenuNumber[c - 'F']);
    } else if (c == '0') {
      ClearScreen();
      GotoXY(1, 1);
      PlayArtAsset("logons", FOOIIMode, Random ? Random(10) : AnyOf(10));
    } else if (c == '1') {
      RunScreen("bar", w);
    } else if (c >= 'a' && c <= 'v') {
      RunScreen(std::string("location ") + char(c), w);
    } else if (c == '!') {
      w.Fields[1] = std::to_string(ReadIntField(w));
      ClearScreen();
      GotoXY(1, 1);
      RunScreen("stats", w);
      GotoXY(1, 23);
    } else if (c == '#') {
      Monitor(w);
    } else if (c == '$') {
      if (!w.AtEnd()) SoundCue(uint8_t(cmd[w.At++]));
    } else if (c == '?') {
      Handshake(w);
    } else if (c == '\\') {
      done = true;
    }
    // Anything else, "_" and "2".."9" and "w".."z" among them, is skipped.
  }
  return done;
}

void TOOIIParser::Handshake(Walk& w) {
  const int n = std::clamp(ReadIntField(w), 1, 2);
  FOOIIMode = n + 1;
  if (!FSender) return;
  FSender(std::string(1, char(kHandshakeReply)) + std::to_string(n) + kCommandEnd);
}

std::string TOOIIParser::Substitute(const std::string& s, const Walk& w) const {
  if (s.find('%') == std::string::npos) return s;
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 1 < s.size() && s[i + 1] >= '1' && s[i + 1] <= '9') {
      out += w.Fields[size_t(s[i + 1] - '0')];
      ++i;
    } else if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

void TOOIIParser::RunScreen(const std::string& name, Walk& w) {
  const TOOIIScreen* screen = Data.Screen(name);
  if (!screen) {
    LogLine("OOII: no screen \"" + name + "\" in screens.txt");
    return;
  }
  for (const TOOIIStep& step : *screen) {
    switch (step.Verb) {
      case TOOIIVerb::Clear:
        ClearScreen();
        GotoXY(1, 1);
        break;
      case TOOIIVerb::Attr:
        if (const int a = AttrNumber(Substitute(step.A, w)); a >= 0) SetAttr(uint8_t(a));
        break;
      case TOOIIVerb::At:
        GotoXY(int(FieldNumber(step.A)), int(FieldNumber(step.B)));
        break;
      case TOOIIVerb::Text:
        WriteText(Substitute(step.A, w));
        break;
      case TOOIIVerb::Line:
        WriteText(Substitute(step.A, w) + "\r\n");
        break;
      case TOOIIVerb::Title: {
        const std::string title = Substitute(step.A, w);
        SetAttr(10);
        WriteText(title + "\r\n");
        SetAttr(2);
        WriteText(std::string(title.size(), '~') + "\r\n");
        break;
      }
      case TOOIIVerb::Option:
        SetAttr(11);
        WriteText("-[");
        SetAttr(9);
        WriteText(Substitute(step.A, w));
        SetAttr(11);
        WriteText("]  ");
        SetAttr(3);
        WriteText(Substitute(step.B, w) + "\r\n");
        break;
      case TOOIIVerb::Item:
      case TOOIIVerb::ItemTight:
        WriteText(PadRight("-[" + Substitute(step.A, w) + (step.Verb == TOOIIVerb::Item ? "]  - " : "] - ") +
                               Substitute(step.B, w),
                           23));
        break;
      case TOOIIVerb::Fields: {
        const long n = std::clamp(FieldNumber(step.A), 0L, 9L);
        for (long i = 1; i <= n; ++i) w.Fields[size_t(i)] = ReadField(w);
        break;
      }
      case TOOIIVerb::Hunger: {
        const long field = std::clamp(FieldNumber(step.A), 1L, 9L);
        const long level = FieldNumber(w.Fields[size_t(field)]);
        if (level < 0 || level > 4 || size_t(level) >= Data.HungerWords.size()) break;
        SetAttr(level == 4 ? 0x8C : level == 3 ? 12 : 14);
        WriteText(Data.HungerWords[size_t(level)]);
        break;
      }
    }
  }
}

void TOOIIParser::Monitor(Walk& w) {
  if (w.AtEnd()) return;
  const char part = w.Cmd[w.At++];
  switch (part) {
    case 'F':
      ClearScreen();
      RunScreen("monitor frame", w);
      break;
    case 'T':
      RunScreen("monitor lower", w);
      break;
    case 'M':
      SectorMap(w);
      break;
    case 'O':
      for (size_t i = 1; i <= 8; ++i) w.Fields[i] = ReadField(w);
      RunScreen("monitor values", w);
      break;
    case 'D': {
      const int code = ReadIntField(w);
      const auto it = Data.Terrain.Descriptions.find(code);
      if (code < 2 || code > 15 || it == Data.Terrain.Descriptions.end()) {
        BlankDescription();
        break;
      }
      SetAttr(11);
      for (int row = 0; row < 2; ++row) {
        GotoXY(3, 10 + row);
        const std::string text = size_t(row) < it->second.size() ? it->second[size_t(row)] : "";
        WriteText(PadRight(text, size_t(Data.Terrain.BlankWidth)));
      }
      break;
    }
    case 'P':
      BlankDescription();
      break;
    default:
      break;
  }
}

void TOOIIParser::BlankDescription() {
  for (int row = 10; row <= 11; ++row) {
    GotoXY(3, row);
    WriteText(std::string(size_t(Data.Terrain.BlankWidth), ' '));
  }
}

void TOOIIParser::SectorMap(Walk& w) {
  // Two flag characters, taken whatever they are: the map's variant and
  // whether its cells have been seen.
  if (w.AtEnd()) return;
  const bool variant4 = w.Cmd[w.At++] == 'A';
  if (w.AtEnd()) return;
  const bool visible = w.Cmd[w.At++] == 'T';
  int codes[9];
  for (int& code : codes) code = ReadIntField(w);
  const TOOIITerrain& t = Data.Terrain;
  int weekday = 0;
  if (Weekday) {
    weekday = Weekday();
  } else {
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    weekday = local.tm_wday;
  }
  for (int i = 0; i < 9; ++i) {
    const int code = codes[i];
    GotoXY(5 + 3 * (i % 3), 4 + i / 3);
    std::string text;
    bool coloured = false;
    if (!visible && std::find(t.Hidden.begin(), t.Hidden.end(), code) != t.Hidden.end()) {
      text = t.Unseen;
    } else if (code == 30 && weekday >= 0 && size_t(weekday) < t.Days.size()) {
      SetAttr(t.Days[size_t(weekday)].Attr);
      text = t.Days[size_t(weekday)].Text;
      coloured = true;
    } else {
      const auto alt = t.Cells4.find(code);
      const auto cell = t.Cells.find(code);
      if (variant4 && alt != t.Cells4.end()) text = alt->second;
      else if (cell != t.Cells.end()) text = cell->second;
    }
    if (text.empty()) continue;
    if (!coloured) {
      const auto colour = t.Colours.find(uint8_t(text[0]));
      if (colour != t.Colours.end()) SetAttr(colour->second);
    }
    WriteText(text.size() == 2 ? text + " " : text);
  }
}

void TOOIIParser::SoundCue(uint8_t cue) {
  if (!((cue >= '1' && cue <= '9') || (cue >= 'A' && cue <= 'Z'))) return;
  const auto it = Data.Cues.find(cue);
  if (it == Data.Cues.end() || it->second.empty()) {
    LogLine(std::string("OOII: no sound for cue '") + char(cue) + "' in screens.txt");
    return;
  }
  const std::vector<std::string>& names = it->second;
  if (cue == '3') {
    // Two sounds in a row; the second, started at once, replaces the first.
    for (const std::string& name : names) PlaySound(name);
    return;
  }
  const int n = int(names.size());
  const int pick = n > 1 ? (Random ? Random(n) : AnyOf(n)) : 0;
  PlaySound(names[size_t(std::clamp(pick, 0, n - 1))]);
}
