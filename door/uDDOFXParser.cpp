// Framing, the executor's order of tests, the connection reset and the
// graphics window a door announces while graphics mode is off. The command
// families live in the other uDDOFX*.cpp units of this folder.
#include "door/uDDOFXParser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/uDebugLog.h"
#include "door/uDDOFXText.h"
#include "platform/Tick.h"

using namespace ddofxtext;

namespace {

constexpr uint8_t kGS = 0x1D;

std::string Hex(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

}  // namespace

// Opens a fresh budget when no other top-level entry is running.
TDDOFXParser::TTopLevel::TTopLevel(TDDOFXParser& p) : FParser(p) {
  if (FParser.FTopLevel++ == 0) {
    FParser.FReplaysLeft = kReplayBudget;
    FParser.FScriptBytesLeft = kScriptByteBudget;
    FParser.FWaitLeftMs = kWaitBudgetMs;
    FParser.FBudgetLogged = false;
  }
}

TDDOFXParser::TDDOFXParser(TAnsiParser* ansiParser, std::unique_ptr<TDDOFXEngine> engine)
    : FAnsiParser(ansiParser), FGfx(engine ? std::move(engine) : std::make_unique<TDDOFXEngine>()) {
  Clock = [] { return platform::TickMs(); };
  LocalTime = [] {
    std::tm local{};
    const time_t now = time(nullptr);
    localtime_r(&now, &local);
    return local;
  };
  Sleep = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  FGfx->OnLog = [this](const std::string& text) { OnGfxLog(text); };
  FGfx->OnGadget = [this](const std::string& send, const std::string& macro) { OnGadget(send, macro); };
  FGfx->OnFieldClick = [this](int n) { OnFieldClick(n); };
  FGfx->OnPlayBite = [this](int n, int rate) { OnPlayBite(n, rate); };
  FGfx->OnResult = [this](const std::string& send, const std::string& macro, int reg, int64_t value) {
    OnResult(send, macro, reg, value);
  };
  FGfx->OnReply = [this](const std::string& text) { SendReply(text); };
  FGfx->OnMusicLevel = [this](int channel) { return OnMusicLevel(channel); };
  FGfx->Reset();
  LogLine("DDOFX: TDDOFXParser.Create (instance $" + Hex(this) + ")");
}

TDDOFXParser::~TDDOFXParser() = default;

void TDDOFXParser::OnGfxLog(const std::string& text) { LogLine(text); }

bool TDDOFXParser::FilterByte(uint8_t b) {
  ++FCallCount;
  if (FCallCount == 1 || FCallCount % 4000 == 0)
    LogLine("DDOFX: FilterByte alive (instance $" + Hex(this) + ", call #" + std::to_string(FCallCount) +
            ", inCmd=" + (FInCommand ? "True" : "False") + ")");
  if (!FInCommand) {
    if (b == kGS) {
      FInCommand = true;
      FCommandBuffer.clear();
      return true;
    }
    if (FGfx->TextWindowActive()) {
      FGfx->FeedTextWindow(b);
      return true;
    }
    return false;
  }
  if (FCommandBuffer.empty() && b != '{') {
    // The GS stays swallowed; the byte after it is ordinary.
    FInCommand = false;
    return false;
  }
  FCommandBuffer.push_back(char(b));
  if (b == '}') {
    const std::string command = FCommandBuffer.substr(1, FCommandBuffer.size() - 2);
    FInCommand = false;
    FCommandBuffer.clear();
    ExecuteCommand(command);
  } else if (FCommandBuffer.size() > kCommandLimit) {
    LogLine("DDOFX: command buffer exceeded 512 bytes without a closing brace, aborting");
    FInCommand = false;
    FCommandBuffer.clear();
  }
  return true;
}

size_t TDDOFXParser::PlainRun(const uint8_t* data, size_t count) const {
  if (FInCommand || FGfx->TextWindowActive()) return 0;
  const void* gs = std::memchr(data, kGS, count);
  return gs ? size_t(static_cast<const uint8_t*>(gs) - data) : count;
}

void TDDOFXParser::ExecuteCommand(const std::string& command) {
  TTopLevel top(*this);
  RunCommand(command);
}

void TDDOFXParser::RunCommand(const std::string& command) {
  if (command.empty()) return;
  FCommandSeen = true;
  if (command[0] == '~' && ExecuteVarCommand(command)) return;
  if (FIgnoreCommands) return;
  const std::string c = SubstituteVariables(command);

  if (StartsWith(c, "7CEVENT,")) return DefineEvent(c.substr(8));
  if (StartsWith(c, "7AEVENT,")) return ArmEvent(c.substr(8), true);
  if (StartsWith(c, "7DEVENT,")) return ArmEvent(c.substr(8), false);
  if (!FGfx->GraphicsMode() && HandleGraphicsWindow(c)) return;
  if (c == "2GEXIT") LeaveGraphicsMode();
  if (FGfx->ExecCommand(c)) {
    if (c == "2CPYWP2VP") UpdateMenuLine();
    return;
  }
  if (AnswerDetect(c)) return;
  if (AnswerQuery(c)) return;
  if (StartsWith(c, "2STORES,")) return StoreSpriteFiles(c.substr(8));
  if (c.size() >= 2 && c[0] == '*') return RunLocalScript(c.substr(1));

  auto fieldNumber = [&c](size_t prefix) { return IntDef(Trim(c.substr(prefix)), 0); };
  if (StartsWith(c, "5CTXTFLD,")) {
    DefineTextField(c.substr(9));
    return LogUnimplemented("5CTXTFLD", c);
  }
  if (StartsWith(c, "5ACTTFLD,")) return ActivateTextField(fieldNumber(9));
  if (StartsWith(c, "5SHOWTFLD,")) return FGfx->DrawField(fieldNumber(10));
  if (StartsWith(c, "5EXTFLD,")) return ExitTextField(fieldNumber(8));
  for (const char* gadget : {"5CPUSHB,", "5CRBUTTON,", "5CCHKBOX,", "3MREG,", "3MREGN,"})
    if (StartsWith(c, gadget)) {
      DefineControl(c);
      return LogUnimplemented("gui:" + c.substr(0, c.find(',')), c);
    }
  if (c == "2RESET") {
    ClearPendingWindow();
    ClearMenuItems();
    ClearTextFields();
    ClearKeyMacros();
    return LogUnimplemented("2RESET", c);
  }
  if (c == "2CPYWP2VP") {
    UpdateMenuLine();
    return LogUnimplemented("2CPYWP2VP", c);
  }
  if (c == "MGVOL") return SendReply(std::to_string(Audio.GetVolume()));
  if (c == "MICMF") return SendReply("N");
  if (c == "MMPR") {
    Audio.TogglePause();
    return SoundWake();
  }
  if (StartsWith(c, "dm") || StartsWith(c, "dt") || StartsWith(c, "dr") || StartsWith(c, "df") ||
      StartsWith(c, "dRESOURCE,")) {
    AnswerResourceQuery(c);
    return;
  }
  if (StartsWith(c, "dVMEM,")) return LogUnimplemented("dVMEM", c);
  if (StartsWith(c, "4MKEY,")) return DefineKeyMacro(c.substr(6));
  if (StartsWith(c, "4DEFM,")) return DefineMacro(c.substr(6));
  if (StartsWith(c, "4CLRM,")) return ClearMacro(c.substr(6));
  if (StartsWith(c, "4RUNM,")) return RunMacro(c.substr(6));
  if (StartsWith(c, "4EXCM,")) return RunMacroLine(c.substr(6));
  if (StartsWith(c, "7DEFRET,")) return DefineReturn(c.substr(8));
  if (StartsWith(c, "7SRET,")) return SendReturnRegister(c.substr(6));
  if (c.size() >= 2 && c[0] == 'w' && c[1] >= '0' && c[1] <= '9') return Wait(c.substr(1));
  if (c[0] == '6') return SoundBiteCommand(c);
  if (StartsWith(c, "tb")) return SoundBites(c.substr(2));
  if (StartsWith(c, "pb")) return PlayTableEntry(FBites, c.substr(2), false);
  if (StartsWith(c, "PB")) return PlayTableEntry(FBites, c.substr(2), true);
  if (c[0] == 'f') return LogUnimplemented("f:loadfont", c);
  if (c[0] == 'm') return LoadMusic(c.substr(1));
  if (c[0] == 't') return LoadTheme(c.substr(1));
  if (c[0] == 'T') return LogUnimplemented("T:loadtermtheme", c);
  if (c[0] == 'p') return PlayTableEntry(FThemeSamples, c.substr(1), false);
  if (c[0] == 'P') return PlayTableEntry(FThemeSamples, c.substr(1), true);
  if (StartsWith(c, "2f")) {
    AssignPack(Trim(c.substr(2)));
    return LogUnimplemented("2f:assignresource", c);
  }
  if (StartsWith(c, "MPREAL,")) return PlayRealSound(c.substr(7));
  if (StartsWith(c, "MTALK,")) return Talk(c.substr(6));
  if (StartsWith(c, "MMPAT,")) return Audio.StepPattern(IntDef(Trim(c.substr(6)), 0));
  if (StartsWith(c, "MSVOL,")) return Audio.SetVolume(IntDef(Trim(c.substr(6)), 64));
  if (StartsWith(c, "MMVOL,")) {
    // In 64 bits: a step near the integer limits cannot wrap the volume.
    const int64_t v = int64_t(Audio.GetVolume()) + IntDef(Trim(c.substr(6)), 0);
    return Audio.SetVolume(int(std::clamp<int64_t>(v, 0, 64)));
  }
  if (c[0] == '0') return LogUnimplemented("0:textfx", c);
  if (c[0] == '!') return LogUnimplemented("!:rawansi", c);
  LogUnimplemented("unknown:" + c.substr(0, 12), c);
}

void TDDOFXParser::LogUnimplemented(const std::string& tag, const std::string& command) {
  if (!FLoggedTags.insert(Upper(tag)).second) return;
  LogLine("DDOFX: swallowed unimplemented command {" + command + "} (tag=" + tag + ")");
}

bool TDDOFXParser::HandleGraphicsWindow(const std::string& c) {
  if (StartsWith(c, "2GWIN,")) {
    ClearPendingWindow();
    FPendingWindow = true;
    FPendingWindowName = c.substr(c.rfind(',') + 1);
    LogLine("DDOFX: graphics window \"" + FPendingWindowName + "\" opened (not drawn)");
    return true;
  }
  if (StartsWith(c, "2DCGWIN,")) {
    size_t at = 0;
    int commas = 0;
    for (size_t i = 0; i < c.size() && commas < 5; ++i)
      if (c[i] == ',') {
        ++commas;
        at = i;
      }
    if (commas == 5) FPendingWindowMacro = c.substr(at + 1);
    return true;
  }
  if (StartsWith(c, "2ALERTGWIN")) {
    FAlertWindow = true;
    return true;
  }
  if (c == "2CALMGWIN") {
    FAlertWindow = false;
    return true;
  }
  if (c == "2RGWINI") {
    if (FPendingWindow) ToggleSoundMaster();
    return true;
  }
  if (c[0] == '2' && c.find("GWIN") != std::string::npos) return true;
  return FAlertWindow;
}

void TDDOFXParser::ClearPendingWindow() {
  FPendingWindow = false;
  FAlertWindow = false;
  FPendingWindowName.clear();
  FPendingWindowMacro.clear();
}

void TDDOFXParser::ToggleSoundMaster() {
  if (Upper(FPendingWindowName).find("SOUND") == std::string::npos) return;
  const std::string macro = FPendingWindowMacro;
  ClearPendingWindow();
  LogLine("DDOFX: SOUND MASTER -> toggling mute");
  if (OnToggleMute) OnToggleMute();
  if (!macro.empty()) ReplayMacro(macro);
}

void TDDOFXParser::LeaveGraphicsMode() {
  ClearPendingWindow();
  FKeysLocked = false;
  FGfxExitTick = Clock();
  ClearKeyMacros();
  FBites.clear();
  FBiteBytes = 0;
  FBiteLibrary.clear();
  for (TDDOFXEvent& e : FEvents) e.Running = false;
  ClearTextFields();
  ClearMenuItems();
  Audio.StopSamples();
  if (FMusicInGfx) {
    Audio.StopMusic();
    FMusicName.clear();
    FMusicInGfx = false;
  }
}

void TDDOFXParser::Wait(const std::string& rest) {
  const int n = IntDef(Trim(rest), 0);
  if (n <= 0) return;
  // One command from the line may hold the program still for 1.5 s at
  // most, however many waits its macros repeat.
  const uint32_t wanted = uint32_t(std::min<int64_t>(int64_t(n) * 10, 1500));
  const uint32_t ms = std::min(wanted, FWaitLeftMs);
  FWaitLeftMs -= ms;
  if (ms > 0) Sleep(ms);
}

void TDDOFXParser::Reset() {
  ClearPendingWindow();
  FInCommand = false;
  FCommandBuffer.clear();
  FDepth = 0;
  FCommandSeen = false;
  FGfx->Reset();
  StopAudio();
  ClearVariables();
  FMacroTried.fill(false);
  FPackBase.clear();
  ClearMenuItems();
  ClearTextFields();
  ClearKeyMacros();
}

void TDDOFXParser::StopAudio() {
  Audio.StopMusic();
  Audio.StopSamples();
  FMusicName.clear();
  FThemeName.clear();
  FThemeData.clear();
  FBiteLibrary.clear();
  FThemeSamples.clear();
  FBites.clear();
  FBiteBytes = 0;
  ClearBigSample(0);
  FMusicInGfx = false;
}
