// The Overkill game's own texts, as the user installs them beside its art and
// sounds in the "ooii" folder: the two banners the door sends (banner1.bin,
// banner2.bin, their exact bytes) and the screen texts (screens.txt). This
// unit only reads and holds them; TOOIIParser decides when each is drawn.
//
// screens.txt is a list of sections, "[name]" on a line of its own, each a
// list of steps, one a line, "verb arguments". Lines starting with ";" and
// blank lines are skipped. In texts, "\xHH" is the byte HH and "\\" a
// backslash; "%1".."%9" are the fields the door's command carried ("%%" is
// a percent sign). Screen sections ("bar", "location a".."location v",
// "stats", "monitor frame", "monitor lower", "monitor values") take the
// drawing verbs:
//   clear                 clear the screen, cursor home
//   attr A                PC text attribute A (a number, or %N)
//   at X Y                cursor to column X, row Y (from 1)
//   text S / line S       S as it is / S and a line break
//   title S               S in 10, a line of "~" as long in 2
//   option K S            "-[K]  S" in 11, 9 and 3, then a line break
//   item N S / itemtight N S   "-[N]  - S" / "-[N] - S", padded to 23 columns
//   fields N              read the next N fields of the command
//   hunger N              field N as a hunger level 0..4, one of the words
// "[terrain]" holds the sector map: "cell CODE TEXT", "cell4 CODE TEXT" (the
// map's second variant), "hidden CODE..." (codes shown as "unseen TEXT"
// while the cells are not visible), seven "day ATTR TEXT" (Sunday first,
// for code 30), "colour CHAR ATTR", "desc CODE TEXT" (one or two lines of a
// terrain description) and "blank WIDTH" (columns blanked in rows 10 and 11).
// "[hunger]" holds five "word TEXT"; "[cues]" holds "cue C NAME..." (wave
// names without ".wav").
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Files larger than these are not read: a banner is some 160 bytes, the
// screen texts a few dozen kilobytes.
inline constexpr size_t kMaxOOIIBannerBytes = 4096;
inline constexpr size_t kMaxOOIIScreensBytes = 1 << 20;

enum class TOOIIVerb { Clear, Attr, At, Text, Line, Title, Option, Item, ItemTight, Fields, Hunger };

struct TOOIIStep {
  TOOIIVerb Verb = TOOIIVerb::Text;
  std::string A, B;  // the arguments as written (texts already unescaped)
};

using TOOIIScreen = std::vector<TOOIIStep>;

struct TOOIIDayCell {
  uint8_t Attr = 7;
  std::string Text;
};

struct TOOIITerrain {
  std::map<int, std::string> Cells, Cells4;
  std::vector<int> Hidden;
  std::string Unseen;
  std::vector<TOOIIDayCell> Days;  // Sunday first
  std::map<uint8_t, uint8_t> Colours;
  std::map<int, std::vector<std::string>> Descriptions;
  int BlankWidth = 76;
};

class TOOIIData {
 public:
  std::string Banner1, Banner2;
  std::map<std::string, TOOIIScreen> Screens;
  TOOIITerrain Terrain;
  std::vector<std::string> HungerWords;
  std::map<uint8_t, std::vector<std::string>> Cues;

  // Reads screens.txt's text; lines it cannot use are skipped, each with a
  // log line.
  void ParseScreens(const std::string& text);
  const TOOIIScreen* Screen(const std::string& name) const;
};

// A whole decimal number, or hexadecimal after "0x"; false for anything else.
bool ParseOOIINumber(const std::string& s, long& value);
// "\xHH" and "\\" of a text of screens.txt made bytes.
std::string UnescapeOOIIText(const std::string& s);
// The file's bytes when it exists and is at most Limit bytes; false (with a
// log line for a file too large) otherwise.
bool ReadOOIIFile(const std::string& path, size_t limit, std::string& data);
