// The program's settings (korvan_config.ini beside the executable), the path
// helpers that resolve configured files and folders against the executable's
// folder, and the decoder of function-key macro texts.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/uDateTime.h"

class TAppConfig {
 public:
  // Every field at its default; the file is not read.
  explicit TAppConfig(std::string fileName);

  // Reads the file over the current values; keys that are missing keep them.
  // A missing file changes nothing and is no error. False (with LastError set
  // and logged) when the file exists but cannot be read.
  bool Load();
  // Writes every setting into the file as it stands on disk, keeping sections,
  // keys and comments this store does not know, and replaces the file through
  // a temporary one. False (with LastError set and logged) when the old file
  // cannot be read or the new one cannot be written; the old file stays whole.
  bool Save();
  const std::string& LastError() const { return FLastError; }

  // Section Config unless noted.
  std::string DefaultTermType = "ANSI-BBS";
  std::string DownloadDir = ".";
  std::string UploadDir = ".";
  bool RawLog = false;                     // Debug
  bool Zmodem8K = true;                    // Transfers
  std::string DDOFXDir = "doors/ddofx";    // Transfers
  bool DDOFXDeleteZips = true;             // Transfers
  int32_t VideoStartDelayMs = 2500;        // Debug; never negative after Load
  bool ApcAudioEnabled = true;             // Debug
  int32_t DoorFramePaceMs = 0;             // Debug; never negative after Load
  bool AnsiMusicEnabled = true;
  bool AtasciiLenientCRLF = false;
  bool PetsciiLenientLetters = false;
  bool SkyPixHideFontNames = false;
  bool UpscaledFont = true;
  bool SmoothScaling = true;
  int32_t AsciiLineDelayMs = 100;          // never negative after Load
  std::string GuideArchiveName = "ibbs%MMYY%.zip";
  double ScreenScale = 2.5;                // 1.0 to 3.0 in steps of 0.5 after Load
  bool ScreenScaleFullScreen = false;
  TDateTime LastPhonebookBackup;           // the moment of construction
  std::string CaptureDir;                  // empty: the download folder
  std::array<std::string, 10> Command;     // ExternalDoors Command1..Command10 ([0] is Command1)
  std::string WorkDir;                     // ExternalDoors; empty: the executable's folder
  std::string ComPort;                     // ExternalDoors; empty: none
  bool ScreenReaderMode = false;
  bool ShowStatusBar = true;
  bool PromptOnlyMode = false;
  bool UseGuidePhonebook = false;
  std::array<std::string, 10> FKey;        // FKeys F1..F10 ([0] is F1); empty: the key's own function
  std::array<std::string, 10> ShiftF;      // ScriptKeys ShiftF1..ShiftF10: script names
  std::string FFileName;

  static constexpr const char* kDefaultGuideArchiveName = "ibbs%MMYY%.zip";

 private:
  std::string FLastError;
};

// A stored or typed path the way it is used here: every "\" becomes "/".
std::string SlashPath(std::string path);
// True for "/..." and "~/..." ("\" counts as "/", so "\temp" is absolute).
bool IsAbsolutePath(std::string_view path);
// Path with every "\" turned into "/" and a leading "~/" into the home folder;
// a relative path is appended to Base as it stands (Base ends in "/").
std::string ResolvePath(const std::string& base, const std::string& path);
// ResolvePath against the executable's folder.
std::string ResolvePath(const std::string& path);
// The folder setting captures, screenshots and exports go to: the capture
// folder, or the download folder when none is set.
std::string OutputFolderSetting(const TAppConfig& config);

// 0..15 for "0".."9", "A".."F", "a".."f"; -1 otherwise.
int HexDigitValue(char c);
// The bytes a function-key macro sends: \r \n \t \b \e \\ \^ and \xHH escapes,
// ^ followed by @..._ (either case for letters) for control codes; anything
// else, including an escape that does not complete, stands for itself.
std::string DecodeKeyMacro(std::string_view text);
