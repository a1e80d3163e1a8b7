// Macros the door leaves on the client (and fetches from its pack when a
// macro is used before it was defined), return registers, key macros and
// the caret notation of send texts. Replays feed the macro's commands back
// through the framing, so they run the whole executor.
#include "core/uDebugLog.h"
#include "door/uDDOFXPack.h"
#include "door/uDDOFXParser.h"
#include "door/uDDOFXText.h"

using namespace ddofxtext;

namespace {

constexpr char kGS = 0x1D;

}  // namespace

std::string TDDOFXParser::DecodeCarets(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '^' && i + 1 < text.size()) {
      char next = text[i + 1];
      if (next >= 'a' && next <= 'z') next = char(next - 32);
      if (next >= 64 && next <= 95) {
        out.push_back(char(next - 64));
        ++i;
        continue;
      }
    }
    out.push_back(c == '~' ? ',' : c);
  }
  return out;
}

const std::string& TDDOFXParser::MacroLine(int n, int line) const {
  static const std::string none;
  if (n < 1 || n > kMacros || line < 1 || line > kMacroLines) return none;
  return FMacros[size_t(n - 1)][size_t(line - 1)];
}

const std::string& TDDOFXParser::ReturnRegister(int n) const {
  static const std::string none;
  return n >= 1 && n <= kReturnRegs ? FReturnRegs[size_t(n - 1)] : none;
}

void TDDOFXParser::DefineMacro(const std::string& text) {
  const size_t first = text.find(',');
  if (first == std::string::npos) return;
  const size_t second = text.find(',', first + 1);
  if (second == std::string::npos) return;
  const int n = IntDef(Trim(text.substr(0, first)), -1);
  const int line = IntDef(Trim(text.substr(first + 1, second - first - 1)), -1);
  if (n == 0) {
    for (auto& macro : FMacros)
      for (std::string& l : macro) l.clear();
    return;
  }
  if (n >= 1 && n <= kMacros && line >= 1 && line <= kMacroLines)
    FMacros[size_t(n - 1)][size_t(line - 1)] = text.substr(second + 1);
}

void TDDOFXParser::ClearMacro(const std::string& text) {
  const int n = IntDef(Trim(text), -1);
  if (n >= 1 && n <= kMacros)
    for (std::string& l : FMacros[size_t(n - 1)]) l.clear();
}

void TDDOFXParser::RunMacro(const std::string& text) {
  const int n = IntDef(Trim(text), -1);
  if (n < 1 || n > kMacros) return;
  if (FMacros[size_t(n - 1)][0].empty()) LoadMacroFromPack(n);
  // A copy: a line may redefine its own macro while it runs.
  const auto lines = FMacros[size_t(n - 1)];
  for (const std::string& line : lines)
    if (!line.empty()) ReplayMacro(line);
}

void TDDOFXParser::RunMacroLine(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return;
  const int n = IntDef(Trim(text.substr(0, comma)), -1);
  const int line = IntDef(Trim(text.substr(comma + 1)), -1);
  if (n < 1 || n > kMacros || line < 1 || line > kMacroLines) return;
  if (FMacros[size_t(n - 1)][size_t(line - 1)].empty()) LoadMacroFromPack(n);
  const std::string macro = FMacros[size_t(n - 1)][size_t(line - 1)];
  if (!macro.empty()) ReplayMacro(macro);
}

bool TDDOFXParser::LoadMacroFromPack(int n) {
  if (n < 1 || n > kMacros || FMacroTried[size_t(n - 1)]) return false;
  FMacroTried[size_t(n - 1)] = true;
  const std::string pack = PackPath('M');
  if (pack.empty()) return false;
  const std::string number = std::to_string(n);
  const std::string key = std::string(1, kGS) + "{4DEFM," + number + ",";
  std::vector<std::string> entries;
  ddofxpack::ListPackEntries(pack, entries);
  for (const std::string& entry : entries) {
    std::string data;
    if (!ddofxpack::LoadPackEntry(pack, entry, data) || data.find(key) == std::string::npos) continue;
    LogLine("DDOFX: macro " + number + " is used before it was defined - taking it from " + entry);
    size_t at = 0;
    while ((at = data.find(kGS, at)) != std::string::npos) {
      if (at + 1 >= data.size() || data[at + 1] != '{') {
        ++at;
        continue;
      }
      const size_t close = data.find('}', at + 2);
      if (close == std::string::npos) break;
      const std::string command = data.substr(at + 2, close - at - 2);
      at = close + 1;
      if (StartsWith(command, "4DEFM," + number + ",")) {
        DefineMacro(command.substr(6));
      } else if (StartsWith(command, "7DEFRET,")) {
        const std::string rest = command.substr(8);
        const int reg = IntDef(Trim(rest.substr(0, rest.find(','))), -1);
        if (reg >= 1 && reg <= kReturnRegs && FReturnRegs[size_t(reg - 1)].empty()) DefineReturn(rest);
      }
    }
    return true;
  }
  return false;
}

bool TDDOFXParser::SpendReplay(const std::string& what) {
  if (FReplaysLeft > 0) {
    --FReplaysLeft;
    return true;
  }
  if (!FBudgetLogged) {
    FBudgetLogged = true;
    LogLine("DDOFX: " + std::to_string(kReplayBudget) + " replays in one command - skipping " + what +
            " and every further replay of this command");
  }
  return false;
}

void TDDOFXParser::ReplayMacro(const std::string& macro) {
  if (macro.empty()) return;
  if (FDepth >= kMaxDepth) {
    LogLine("DDOFX: macro recursion depth exceeded, aborting replay");
    return;
  }
  if (!SpendReplay("macro " + macro.substr(0, 40))) return;
  std::string bytes;
  for (char c : macro) {
    switch (c) {
      case kGS: break;
      case '(': bytes += kGS; bytes += '{'; break;
      case ')': bytes += '}'; break;
      case '[': bytes += '('; break;
      case ']': bytes += ')'; break;
      default: bytes += c;
    }
  }
  const bool inCommand = FInCommand;
  const std::string buffer = FCommandBuffer;
  FInCommand = false;
  FCommandBuffer.clear();
  ++FDepth;
  for (char c : bytes) FilterByte(uint8_t(c));
  --FDepth;
  FInCommand = inCommand;
  FCommandBuffer = buffer;
}

void TDDOFXParser::DefineReturn(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return;
  const int n = IntDef(Trim(text.substr(0, comma)), -1);
  if (n == 0) {
    for (std::string& r : FReturnRegs) r.clear();
    return;
  }
  std::string value = text.substr(comma + 1);
  for (char& c : value)
    if (c == '~') c = ',';
  if (n >= 1 && n <= kReturnRegs) FReturnRegs[size_t(n - 1)] = value;
}

void TDDOFXParser::SendReturnRegister(const std::string& text) {
  const int n = IntDef(Trim(text), -1);
  if (n >= 1 && n <= kReturnRegs) Send(FReturnRegs[size_t(n - 1)]);
}

void TDDOFXParser::DefineKeyMacro(const std::string& text) {
  std::vector<std::string> p;
  size_t start = 0;
  while (p.size() < 5) {
    const size_t comma = text.find(',', start);
    if (comma == std::string::npos) break;
    p.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  p.push_back(text.substr(start));
  const int n = IntDef(Trim(p[0]), -1);
  if (n == 0) return ClearKeyMacros();
  if (n < 1 || n > kKeyMacros || p.size() < 5) return;
  TDDOFXKeyMacro& k = FKeyMacros[size_t(n - 1)];
  if (!k.Defined) ++FKeyMacroCount;
  k.Defined = true;
  k.HKey = IntDef(Trim(p[1]), 0);
  k.LKey = IntDef(Trim(p[2]), 0);
  k.PassKey = Trim(p[3]) == "1";
  k.SendText = DecodeCarets(p[4]);
  k.Macro = p.size() > 5 ? p[5] : std::string();
}

void TDDOFXParser::ClearKeyMacros() {
  for (TDDOFXKeyMacro& k : FKeyMacros) k = TDDOFXKeyMacro();
  FKeyMacroCount = 0;
}

bool TDDOFXParser::KeyPress(int hkey, int lkey, bool& pass) {
  TTopLevel top(*this);
  pass = true;
  bool taken = FGfx->HotKey(hkey, lkey, pass);
  if (!taken && FKeyMacroCount > 0) {
    for (int n = 1; n <= kKeyMacros; ++n) {
      const TDDOFXKeyMacro& k = FKeyMacros[size_t(n - 1)];
      const bool match = k.Defined && ((k.HKey == 255 && k.LKey == 255) || (k.LKey != 0 && k.LKey == lkey) ||
                                       (k.LKey == 0 && lkey == 0 && k.HKey == hkey));
      if (!match) continue;
      LogLine("DDOFX: key macro " + std::to_string(n) + " (hkey=" + std::to_string(hkey) +
              " lkey=" + std::to_string(lkey) + ")");
      // Copies: the macro may redefine or clear the key macros.
      const std::string macro = k.Macro, send = k.SendText;
      const bool passKey = k.PassKey;
      if (!macro.empty()) ReplayMacro(macro);
      Send(send);
      pass = passKey;
      taken = true;
      break;
    }
  }
  if (!(taken && !pass)) FGfx->RayKeyPress(hkey, lkey);
  return taken;
}
