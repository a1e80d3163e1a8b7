// What a door asks before it draws: the fixed detect answers, whether the
// client holds a file and how old it is (from the asset list, filled from
// received files, zip entries and the asset folder), and neutral answers
// to the queries the graphics engine did not take.
#include <cstdio>
#include <filesystem>

#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "door/uDDOFXParser.h"
#include "door/uDDOFXText.h"

using namespace ddofxtext;

std::string TDDOFXParser::FontDir() const { return ProgramFolder + "fonts/ddofx/"; }

void TDDOFXParser::SetAssetDir(const std::string& folder) {
  FAssetDir = folder;
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  std::filesystem::create_directories(FontDir(), ec);
  FGfx->SetAssetDir(folder);
}

void TDDOFXParser::StoreAsset(const std::string& name, const TDDOFXAssetInfo& info) { FAssets[Upper(name)] = info; }

bool TDDOFXParser::Knows(const std::string& assetName, TDDOFXAssetInfo* info) const {
  const auto it = FAssets.find(Upper(assetName));
  if (it == FAssets.end()) return false;
  if (info) *info = it->second;
  return true;
}

void TDDOFXParser::AddAssetFromFile(const std::string& path) {
  TPlainFileInfo file;
  if (path.empty() || !ReadPlainFileInfo(path, file)) return;
  TDDOFXAssetInfo info;
  info.Size = file.Size;
  info.Year = uint16_t(file.Year);
  info.Month = uint16_t(file.Month);
  info.Day = uint16_t(file.Day);
  info.Hour = uint16_t(file.Hour);
  info.Minute = uint16_t(file.Minute);
  info.Second = uint16_t(file.Second);
  StoreAsset(path.substr(path.find_last_of('/') + 1), info);
}

void TDDOFXParser::AddAssetFromZipEntry(const std::string& name, uint16_t d, uint16_t t, int64_t size) {
  if (name.empty()) return;
  TDDOFXAssetInfo info;
  info.Year = uint16_t(((d >> 9) & 127) + 1980);
  info.Month = uint16_t((d >> 5) & 15);
  info.Day = uint16_t(d & 31);
  info.Hour = uint16_t((t >> 11) & 31);
  info.Minute = uint16_t((t >> 5) & 63);
  info.Second = uint16_t((t & 31) * 2);
  info.Size = size;
  StoreAsset(name, info);
}

bool TDDOFXParser::AddAssetFromFolder(const std::string& folder, const std::string& name,
                                      const std::string& command) {
  std::string why;
  const std::string path = FindPlainFile(folder, name, &why);
  if (!why.empty()) {
    LogLine("DDOFX: refused file name \"" + name + "\" in {" + command + "}: " + why);
    return false;
  }
  if (path.empty()) return false;
  AddAssetFromFile(path);
  return true;
}

std::string TDDOFXParser::PackPath(char kind) const {
  if (FAssetDir.empty() || FPackBase.empty()) return {};
  return FindPlainFile(FAssetDir, FPackBase + kind);
}

void TDDOFXParser::AssignPack(const std::string& name) {
  // The pack's name becomes part of a path: only a plain name is kept.
  std::string why;
  if (!name.empty() && !IsPlainPeerName(name + "M", &why)) {
    LogLine("DDOFX: refused resource pack name \"" + name + "\": " + why);
    FPackBase.clear();
    return;
  }
  FPackBase = name;
}

void TDDOFXParser::StoreSpriteFiles(const std::string& name) {
  if (FAssetDir.empty()) return;
  const std::string base = Trim(name);
  AddAssetFromFolder(FAssetDir, base + ".RAW", "2STORES," + name);
  AddAssetFromFolder(FAssetDir, base + ".DAT", "2STORES," + name);
}

bool TDDOFXParser::AnswerDetect(const std::string& c) {
  struct Fixed {
    const char* command;
    const char* answer;
  };
  static const Fixed kFixed[] = {{"dLITERM", "LITERM Ver. 2.00"}, {"dMEM", "8388608"}, {"dDRIVE", "104857600"},
                                 {"dVCARD", "S"},   {"dACARD", "SB 16"}, {"dSPEED", "20000"},
                                 {"dVIDMODE", "0"}, {"dGETFONT", "0"}};
  for (const Fixed& f : kFixed)
    if (c == f.command) {
      SendReply(f.answer);
      return true;
    }
  if (c == "dMUSICON" || c == "dSOUNDON") {
    SendReply(Audio.FEnabled ? "YES" : "NO");
    return true;
  }
  if (c == "dGETMUSIC" || c == "dGETTHEME") {
    const std::string& name = c == "dGETMUSIC" ? FMusicName : FThemeName;
    SendReply(name.empty() ? "NONE" : name);
    return true;
  }
  return false;
}

bool TDDOFXParser::AnswerResourceQuery(const std::string& c) {
  if (!FDenyChecked) {
    FDenyAll = !FindPlainFile(ProgramFolder.empty() ? "./" : ProgramFolder, "ALWAYSDENY.TXT").empty();
    FDenyChecked = true;
    if (FDenyAll)
      LogLine("DDOFX: ALWAYSDENY.TXT present - every dm/dt/dr/df/dRESOURCE query will answer NO this session");
  }
  if (FDenyAll) {
    SendReply("NO");
    return true;
  }
  const bool resource = StartsWith(c, "dRESOURCE,");
  std::string name;
  if (resource) {
    const std::string rest = c.substr(10);
    const size_t first = rest.find(',');
    if (first != std::string::npos) {
      const size_t second = rest.find(',', first + 1);
      name = rest.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    }
  } else {
    name = c.substr(2);
  }
  TDDOFXAssetInfo info;
  bool found = false;
  if (!name.empty()) {
    found = Knows(name, &info);
    if (!found && StartsWith(c, "df") && AddAssetFromFolder(FontDir(), name, c)) found = Knows(name, &info);
    if (!found && !FAssetDir.empty() && AddAssetFromFolder(FAssetDir, name, c)) found = Knows(name, &info);
  }
  if (resource) {
    SendReply(found ? "YES" : "NO");
  } else if (found) {
    char text[160];
    std::snprintf(text, sizeof text, "%lld,%d,%d,%d,%d,%d,%d", static_cast<long long>(info.Size), info.Year,
                  info.Month, info.Day, info.Hour, info.Minute, info.Second);
    SendReply(text);
  } else {
    SendReply("NO");
  }
  return true;
}

bool TDDOFXParser::AnswerQuery(const std::string& c) {
  struct Fallback {
    const char* command;
    bool prefix;
    const char* answer;
  };
  static const Fallback kFallbacks[] = {
      {"6TESTJOY", true, "N"},     {"dMOUSE", false, "0"},        {"3MACT", false, "N"},
      {"3MINF", false, "0,0,0"},   {"3MIOLD,", true, "0,0,0"},    {"1GETPOS", false, "1,1,1,1"},
      {"2FGWIN", false, "0"},      {"2HGWIN?,", true, "-2"},      {"2AGWIN?,", true, "-2"},
      {"2SGWIN?,", true, "-2"},    {"2VGWIN?,", true, "N"},       {"2GICON?,", true, "0,0,0,0"},
      {"2aGRGB,", true, "0,0,0"},  {"2aG,", true, "0"},           {"5DSCALE,", true, "0"},
      {"5CMAZE,", true, "0"},      {"5GETMAP,", true, "0"},       {"5GETANGL", false, "0"},
      {"5GETXPOS", false, "0"},    {"5GETYPOS", false, "0"},      {"8CDIR,", true, "N"},
      {"8CFILE,", true, "N"},
  };
  for (const Fallback& f : kFallbacks)
    if (f.prefix ? StartsWith(c, f.command) : c == f.command) {
      SendReply(f.answer);
      LogUnimplemented("query:" + c.substr(0, 8), c);
      return true;
    }
  return false;
}
