// The Overkill Ansiterm client: watches the received bytes for the door's
// two banners, then takes the door's commands (0xAB, command characters,
// "|") out of the stream and draws what they ask for as ANSI text or art
// files into the call's ANSI parser, plays the game's sound cues and
// answers the client handshake. It owns no screen and no connection; the
// game's texts, art and sounds come from the "ooii" folders.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "door/uOOIIData.h"

class TAnsiParser;

// A command that never ends is given up after this many bytes; what follows
// reaches the screen again.
inline constexpr size_t kMaxOOIICommandBytes = 4096;
// A field of a command keeps at most this many characters.
inline constexpr size_t kMaxOOIIFieldChars = 254;
// An art file larger than this is not drawn.
inline constexpr size_t kMaxOOIIArtBytes = 8u << 20;

class TOOIIParser {
 public:
  // The sender is the live connection's send-text operation; empty until a
  // call is connected.
  using TSender = std::function<void(const std::string&)>;
  TOOIIParser(TAnsiParser* ansiParser, TSender sender);
  TOOIIParser(const TOOIIParser&) = delete;
  TOOIIParser& operator=(const TOOIIParser&) = delete;

  // True when B was taken out of the stream.
  bool FilterByte(uint8_t b);
  // How many leading bytes of Data FilterByte would pass without taking or
  // noting them.
  size_t PlainRun(const uint8_t* data, size_t count) const;

  // A new call: the sender, mode 0, the door folder (with a trailing "/")
  // and the game's banners and texts read again from the "ooii" folders.
  void Connected(TSender sender, const std::string& baseDir);
  // Reads the game's banners and texts from the "ooii" folders.
  void LoadGameData();
  // Takes the game's banners and texts as given.
  void UseGameData(TOOIIData data);

  // The drawing operations the commands are made of.
  void WriteText(const std::string& s);
  void SetAttr(uint8_t a);
  void GotoXY(int x, int y);
  void ClearScreen();
  // The first existing file of Rel ("art/cmenus/m1_0.bin") under the door
  // folder's "ooii" and then the program's; empty (with a log line) if none.
  std::string FindAsset(const std::string& rel) const;
  void PlaySound(const std::string& name);
  void PlayArtAsset(const std::string& set, int mode, int number);
  // Runs one complete command; true when it held the end item.
  bool DispatchCommand(const std::string& cmd);

  // Drawn something since the last call (and forgets it).
  bool TakeDrawn();

  TSender FSender;
  int64_t FResetCount = 0;
  int64_t FCallCount = 0;
  int FOOIIMode = 0;
  uint8_t FAttr = 7;
  std::string FCommand;
  std::string FBaseDir;
  // The program's folder, whose "ooii" folder is the second place looked in.
  std::string ProgramFolder;
  TOOIIData Data;

  // Plays a wave file by path (the newest replaces the one playing); unset,
  // cues are only logged.
  std::function<void(const std::string& path)> PlayWave;
  // 0..n-1 for the game's random choices; the day of the week (0 Sunday).
  std::function<int(int n)> Random;
  std::function<int()> Weekday;

 private:
  // Banner matching: how many bytes of each banner the stream ends with
  // (Knuth-Morris-Pratt, so a banner that begins inside a broken partial
  // match, or on the byte that broke it, is still found).
  struct Matcher {
    std::string Banner;
    std::vector<size_t> Fallback;  // longest proper border of each prefix
    size_t Matched = 0;
    void Set(const std::string& banner);
    bool Step(uint8_t b);  // true when the banner is complete
  };
  void MatchBanner(uint8_t b);

  // The walk of DispatchCommand over Cmd from At.
  struct Walk {
    const std::string& Cmd;
    size_t At;
    std::array<std::string, 10> Fields{};  // %1..%9
    bool AtEnd() const { return At >= Cmd.size() || Cmd[At] == '\0' || Cmd[At] == '|'; }
  };
  std::string ReadField(Walk& w);
  int ReadIntField(Walk& w);
  void RunScreen(const std::string& name, Walk& w);
  std::string Substitute(const std::string& s, const Walk& w) const;
  void Monitor(Walk& w);
  void SectorMap(Walk& w);
  void BlankDescription();
  void SoundCue(uint8_t cue);
  void Handshake(Walk& w);

  TAnsiParser* FAnsiParser;
  Matcher FMatch1, FMatch2;
  bool FDrawn = false;
};
