// Local scripts: whole screens a door ships in its "M" pack and asks the
// client to play by name. Their bytes run through the framing as if they
// had been received; their plain text reaches the screen line by line.
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "door/uDDOFXPack.h"
#include "door/uDDOFXParser.h"
#include "door/uDDOFXText.h"

using namespace ddofxtext;

namespace {

constexpr uint8_t kGS = 0x1D, kEOF = 0x1A, kCR = 0x0D, kLF = 0x0A;
constexpr int64_t kMinPackSize = 24;

// A brace command that lost its GS: "{", no blank, no second "{", "}".
bool BareBraceToken(const std::string& line) {
  const std::string t = Trim(line);
  return t.size() >= 3 && t.front() == '{' && t.back() == '}' && t.find(' ') == std::string::npos &&
         t.find('{', 1) == std::string::npos;
}

}  // namespace

bool TDDOFXParser::LoadLocalScript(char kind, const std::string& entry, std::string& bytes) const {
  bytes.clear();
  if (FAssetDir.empty()) return false;
  const std::string pack = PackPath(kind);
  if (!pack.empty() && ddofxpack::LoadPackEntry(pack, entry, bytes)) return true;
  for (const std::string& name : ListPlainFiles(FAssetDir)) {
    if (Upper(name).back() != Upper(std::string(1, kind))[0]) continue;
    TPlainFileInfo info;
    if (!ReadPlainFileInfo(FAssetDir + name, info) || info.Size < kMinPackSize) continue;
    if (ddofxpack::LoadPackEntry(FAssetDir + name, entry, bytes)) return true;
  }
  return false;
}

void TDDOFXParser::RunLocalScript(const std::string& name) {
  if (FDepth > kMaxDepth - 1) {
    LogLine("DDOFX: local script nesting too deep, skipping {*" + name + "}");
    return;
  }
  std::string bytes;
  if (!LoadLocalScript('M', Trim(name), bytes)) {
    LogLine("DDOFX: RUN LOCAL SCRIPT {*" + name + "} - not found in resource file \"" + FPackBase + "M\" (asset dir \"" +
            FAssetDir + "\")");
    return;
  }
  LogLine("DDOFX: RUN LOCAL SCRIPT {*" + name + "} - " + std::to_string(bytes.size()) + " bytes from \"" +
          FPackBase + "M\"");
  if (!SpendReplay("local script " + name)) return;
  if (bytes.size() > FScriptBytesLeft) {
    LogLine("DDOFX: local script {*" + name + "} would pass the 32 MiB one command may play - skipped");
    return;
  }
  FScriptBytesLeft -= bytes.size();
  ++FDepth;
  FInCommand = false;
  FCommandBuffer.clear();
  std::string line;
  bool lineHadCommand = false;
  for (char c : bytes) {
    const uint8_t b = uint8_t(c);
    if (b == kEOF) break;
    if ((FInCommand || b == kGS) && FilterByte(b)) {
      lineHadCommand = true;
      continue;
    }
    if (b == kCR) continue;
    if (b == kLF) {
      if (!(lineHadCommand && Trim(line).empty())) ShowScriptLine(line, true);
      line.clear();
      lineHadCommand = false;
      continue;
    }
    line.push_back(c);
  }
  if (!(lineHadCommand && Trim(line).empty())) ShowScriptLine(line, false);
  FInCommand = false;
  FCommandBuffer.clear();
  --FDepth;
  UpdateMenuLine();
}

void TDDOFXParser::ShowScriptLine(const std::string& line, bool ended) {
  if (BareBraceToken(line)) return;
  EchoText(ended ? line + "\r\n" : line);
}

void TDDOFXParser::EchoText(const std::string& text) {
  if (FGfx->TextWindowActive()) {
    for (char c : text) FGfx->FeedTextWindow(uint8_t(c));
  } else if (FAnsiParser) {
    for (char c : text) FAnsiParser->ProcessChar(uint8_t(c));
  }
}
