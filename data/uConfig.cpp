#include "data/uConfig.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/uDebugLog.h"
#include "data/uIniFile.h"
#include "platform/AppFolder.h"

namespace {

constexpr const char* kConfig = "Config";
constexpr const char* kDoors = "ExternalDoors";
constexpr const char* kFKeys = "FKeys";
constexpr const char* kScriptKeys = "ScriptKeys";
constexpr const char* kDebug = "Debug";
constexpr const char* kTransfers = "Transfers";

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return "/";
}

// The digits of a fixed-width date part; anything else counts as 0.
int DatePart(std::string_view digits) {
  int32_t value;
  return TryParseInt32(digits, value) && digits.front() != '+' && digits.front() != '-' ? value : 0;
}

// "yyyy-mm-dd" with hyphens in their places and a real calendar date gives
// that day at midnight; anything else gives the current moment.
TDateTime ReadBackupDate(const std::string& text) {
  if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
    TDateTime date;
    if (TryEncodeDate(DatePart(std::string_view(text).substr(0, 4)), DatePart(std::string_view(text).substr(5, 2)),
                      DatePart(std::string_view(text).substr(8, 2)), date))
      return date;
  }
  return NowDateTime();
}

// Whole and half steps only, ties to the even step, within 1.0..3.0.
double SnapScreenScale(double value) {
  double snapped = std::nearbyint(value * 2) / 2;
  return std::clamp(snapped, 1.0, 3.0);
}

std::string Numbered(const char* prefix, size_t index) { return prefix + std::to_string(index + 1); }

}  // namespace

TAppConfig::TAppConfig(std::string fileName) : LastPhonebookBackup(NowDateTime()), FFileName(std::move(fileName)) {}

bool TAppConfig::Load() {
  TIniFile ini;
  std::string error;
  switch (ini.LoadFromFile(FFileName, error)) {
    case TReadResult::Missing:
      return true;
    case TReadResult::Failed:
      FLastError = "Settings not loaded: " + error;
      LogLine(FLastError);
      return false;
    case TReadResult::Ok:
      break;
  }
  FLastError.clear();
  DefaultTermType = ini.ReadString(kConfig, "DefaultTermType", DefaultTermType);
  DownloadDir = SlashPath(ini.ReadString(kConfig, "DownloadDir", DownloadDir));
  UploadDir = SlashPath(ini.ReadString(kConfig, "UploadDir", UploadDir));
  AnsiMusicEnabled = ini.ReadBool(kConfig, "AnsiMusicEnabled", AnsiMusicEnabled);
  AtasciiLenientCRLF = ini.ReadBool(kConfig, "AtasciiLenientCRLF", AtasciiLenientCRLF);
  PetsciiLenientLetters = ini.ReadBool(kConfig, "PetsciiLenientLetters", PetsciiLenientLetters);
  SkyPixHideFontNames = ini.ReadBool(kConfig, "SkyPixHideFontNames", SkyPixHideFontNames);
  UpscaledFont = ini.ReadBool(kConfig, "UpscaledFont", UpscaledFont);
  SmoothScaling = ini.ReadBool(kConfig, "SmoothScaling", SmoothScaling);
  AsciiLineDelayMs = std::max(0, ini.ReadInteger(kConfig, "AsciiLineDelayMs", AsciiLineDelayMs));
  GuideArchiveName = ini.ReadString(kConfig, "GuideArchiveName", GuideArchiveName);
  GuideArchiveName.erase(GuideArchiveName.find_last_not_of(" \t") + 1);
  GuideArchiveName.erase(0, GuideArchiveName.find_first_not_of(" \t"));
  if (GuideArchiveName.empty()) GuideArchiveName = kDefaultGuideArchiveName;
  ScreenScale = SnapScreenScale(ini.ReadFloat(kConfig, "ScreenScale", ScreenScale));
  ScreenScaleFullScreen = ini.ReadBool(kConfig, "ScreenScaleFullScreen", ScreenScaleFullScreen);
  // A missing date reads as 91 days ago, so a backup falls due at start-up.
  TDateTime today = std::floor(NowDateTime());
  LastPhonebookBackup = ReadBackupDate(ini.ReadString(kConfig, "LastPhonebookBackup", FormatIsoDate(today - 91)));
  CaptureDir = SlashPath(ini.ReadString(kConfig, "CaptureDir", CaptureDir));
  WorkDir = SlashPath(ini.ReadString(kDoors, "WorkDir", WorkDir));
  ComPort = ini.ReadString(kDoors, "ComPort", ComPort);
  for (size_t i = 0; i < Command.size(); ++i) Command[i] = ini.ReadString(kDoors, Numbered("Command", i), Command[i]);
  ScreenReaderMode = ini.ReadBool(kConfig, "ScreenReaderMode", ScreenReaderMode);
  ShowStatusBar = ini.ReadBool(kConfig, "ShowStatusBar", ShowStatusBar);
  UseGuidePhonebook = ini.ReadBool(kConfig, "UseGuidePhonebook", UseGuidePhonebook);
  PromptOnlyMode = ini.ReadBool(kConfig, "PromptOnlyMode", PromptOnlyMode);
  for (size_t i = 0; i < FKey.size(); ++i) FKey[i] = ini.ReadString(kFKeys, Numbered("F", i), FKey[i]);
  for (size_t i = 0; i < ShiftF.size(); ++i)
    ShiftF[i] = ini.ReadString(kScriptKeys, Numbered("ShiftF", i), ShiftF[i]);
  RawLog = ini.ReadBool(kDebug, "RawLog", RawLog);
  Zmodem8K = ini.ReadBool(kTransfers, "Zmodem8K", Zmodem8K);
  DDOFXDir = SlashPath(ini.ReadString(kTransfers, "DDOFXDir", DDOFXDir));
  DDOFXDeleteZips = ini.ReadBool(kTransfers, "DDOFXDeleteZips", DDOFXDeleteZips);
  VideoStartDelayMs = std::max(0, ini.ReadInteger(kDebug, "VideoStartDelayMs", VideoStartDelayMs));
  ApcAudioEnabled = ini.ReadBool(kDebug, "ApcAudioEnabled", ApcAudioEnabled);
  DoorFramePaceMs = std::max(0, ini.ReadInteger(kDebug, "DoorFramePaceMs", DoorFramePaceMs));
  return true;
}

bool TAppConfig::Save() {
  TIniFile ini;
  std::string error;
  // The file as it stands, so that what this store does not know survives;
  // a file that exists but cannot be read is not written over.
  if (ini.LoadFromFile(FFileName, error) == TReadResult::Failed) {
    FLastError = "Settings not saved: " + error;
    LogLine(FLastError);
    return false;
  }
  ini.WriteString(kConfig, "DefaultTermType", DefaultTermType);
  ini.WriteString(kConfig, "DownloadDir", DownloadDir);
  ini.WriteString(kConfig, "UploadDir", UploadDir);
  ini.WriteBool(kConfig, "AnsiMusicEnabled", AnsiMusicEnabled);
  ini.WriteBool(kConfig, "AtasciiLenientCRLF", AtasciiLenientCRLF);
  ini.WriteBool(kConfig, "PetsciiLenientLetters", PetsciiLenientLetters);
  ini.WriteBool(kConfig, "SkyPixHideFontNames", SkyPixHideFontNames);
  ini.WriteBool(kConfig, "UpscaledFont", UpscaledFont);
  ini.WriteBool(kConfig, "SmoothScaling", SmoothScaling);
  ini.WriteInteger(kConfig, "AsciiLineDelayMs", AsciiLineDelayMs);
  ini.WriteString(kConfig, "GuideArchiveName", GuideArchiveName);
  ini.WriteFloat(kConfig, "ScreenScale", ScreenScale);
  ini.WriteBool(kConfig, "ScreenScaleFullScreen", ScreenScaleFullScreen);
  ini.WriteString(kConfig, "LastPhonebookBackup", FormatIsoDate(LastPhonebookBackup));
  ini.WriteString(kConfig, "CaptureDir", CaptureDir);
  ini.WriteString(kDoors, "WorkDir", WorkDir);
  ini.WriteString(kDoors, "ComPort", ComPort);
  for (size_t i = 0; i < Command.size(); ++i) ini.WriteString(kDoors, Numbered("Command", i), Command[i]);
  ini.WriteBool(kConfig, "ScreenReaderMode", ScreenReaderMode);
  ini.WriteBool(kConfig, "ShowStatusBar", ShowStatusBar);
  ini.WriteBool(kConfig, "UseGuidePhonebook", UseGuidePhonebook);
  ini.WriteBool(kConfig, "PromptOnlyMode", PromptOnlyMode);
  for (size_t i = 0; i < FKey.size(); ++i) ini.WriteString(kFKeys, Numbered("F", i), FKey[i]);
  for (size_t i = 0; i < ShiftF.size(); ++i) ini.WriteString(kScriptKeys, Numbered("ShiftF", i), ShiftF[i]);
  ini.WriteBool(kDebug, "RawLog", RawLog);
  ini.WriteBool(kTransfers, "Zmodem8K", Zmodem8K);
  ini.WriteString(kTransfers, "DDOFXDir", DDOFXDir);
  ini.WriteBool(kTransfers, "DDOFXDeleteZips", DDOFXDeleteZips);
  ini.WriteInteger(kDebug, "VideoStartDelayMs", VideoStartDelayMs);
  ini.WriteBool(kDebug, "ApcAudioEnabled", ApcAudioEnabled);
  ini.WriteInteger(kDebug, "DoorFramePaceMs", DoorFramePaceMs);
  if (!ini.SaveToFile(FFileName, error)) {
    FLastError = "Settings not saved: " + error;
    LogLine(FLastError);
    return false;
  }
  FLastError.clear();
  return true;
}

std::string SlashPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool IsAbsolutePath(std::string_view path) {
  if (path.empty()) return false;
  if (path.front() == '/' || path.front() == '\\') return true;
  return path.size() >= 2 && path[0] == '~' && (path[1] == '/' || path[1] == '\\');
}

std::string ResolvePath(const std::string& base, const std::string& path) {
  std::string p = SlashPath(path);
  if (p.size() >= 2 && p[0] == '~' && p[1] == '/') {
    std::string home = HomeFolder();
    if (!home.empty() && home.back() == '/') home.pop_back();
    return home + p.substr(1);
  }
  return IsAbsolutePath(p) ? p : base + p;
}

std::string ResolvePath(const std::string& path) { return ResolvePath(platform::AppFolder(), path); }

std::string OutputFolderSetting(const TAppConfig& config) {
  return config.CaptureDir.empty() ? config.DownloadDir : config.CaptureDir;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeKeyMacro(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      char e = text[i + 1];
      char plain = 0;
      switch (e) {
        case 'r': plain = 13; break;
        case 'n': plain = 10; break;
        case 't': plain = 9; break;
        case 'b': plain = 8; break;
        case 'e': plain = 27; break;
        case '\\': plain = '\\'; break;
        case '^': plain = '^'; break;
        default: break;
      }
      if (plain) {
        out += plain;
        i += 2;
      } else if ((e == 'x' || e == 'X') && i + 3 < text.size() && HexDigitValue(text[i + 2]) >= 0 &&
                 HexDigitValue(text[i + 3]) >= 0) {
        out += static_cast<char>(HexDigitValue(text[i + 2]) * 16 + HexDigitValue(text[i + 3]));
        i += 4;
      } else {
        // Not an escape: both characters stand for themselves.
        out += c;
        out += e;
        i += 2;
      }
      continue;
    }
    if (c == '^' && i + 1 < text.size()) {
      char upper = text[i + 1] >= 'a' && text[i + 1] <= 'z' ? static_cast<char>(text[i + 1] - 32) : text[i + 1];
      if (upper >= '@' && upper <= '_') {
        out += static_cast<char>(upper & 0x1F);
        i += 2;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}
