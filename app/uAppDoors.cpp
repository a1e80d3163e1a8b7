// Local door programs and the shell: Ctrl+F1..F8 start a configured program
// (typically a DOS door game in an emulator) and bridge its serial line to
// the live call; Alt+J opens a shell in a terminal window. While the program
// runs the window is minimised and the loop goes on, so the call and the
// bridge keep flowing; a timer watches for the program's end.
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/call/uCall.h"
#include "app/uApp.h"
#include "app/uDoorCommand.h"
#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "net/uComBridge.h"
#include "net/uComBridgeTcp.h"
#include "net/uWireTransport.h"
#include "platform/AppFolder.h"
#include "platform/Process.h"

namespace {

// How often the timer looks whether the program has ended.
constexpr uint32_t kDoorWatchMs = 100;
// A shell needs a terminal of its own: the desktop's terminal program.
constexpr const char* kTerminalProgram = "x-terminal-emulator";

std::string ErrorText(int err) { return std::to_string(uint32_t(err)) + " (" + std::strerror(err) + ")"; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

}  // namespace

bool TApplication::DoorProgramRunning() const { return FDoorPid > 0; }

void TApplication::RunExternalDoor(int n) {
  if (n < 1 || n > 10) return;
  if (DoorProgramRunning()) {
    FStatus = "Ctrl+F" + std::to_string(n) + ": a door program is already running - close it first";
    Invalidate();
    return;
  }
  const std::string& command = FConfig->Command[size_t(n - 1)];
  if (Trim(command).empty()) {
    FStatus = "Ctrl+F" + std::to_string(n) + ": no door configured for this slot - set one on Alt-C page 3";
    Invalidate();
    return;
  }
  const std::string folder =
      FConfig->WorkDir.empty() ? platform::AppFolder() : ResolvePath(FConfig->WorkDir);
  const std::vector<std::string> args = ExpandDoorCommand(command, FCall->Entry().get());

  const std::string comPort = Trim(FConfig->ComPort);
  const bool bridge = !comPort.empty() && FCall->Transport() != nullptr;
  if (!comPort.empty() && !bridge)
    FStatus = "Ctrl+F" + std::to_string(n) + ": no session to bridge to " + FConfig->ComPort +
              " - connect first or it runs with no port";
  else
    FStatus = "Running external program (Ctrl+F" + std::to_string(n) +
              ") - close it (or let it exit) to return to KORVAN...";
  Invalidate();
  FWindow->UpdateNow();

  // The bridge is listening (or holds its port) before the program looks for it.
  if (bridge) {
    if (const uint16_t port = ParseTcpBridgePort(comPort)) {
      FTcpBridge = TComBridgeTcp::Create(port);
      if (FTcpBridge) {
        FTcpBridge->OnData = [this](const uint8_t* data, int count) { OnBridgeWrite(data, count); };
        FTcpBridge->OnStatus = [this](const std::string& text) { OnBridgeStatus(text); };
      }
    } else {
      FComBridge = TComBridge::Create(comPort);
      if (FComBridge) {
        FComBridge->OnData = [this](const uint8_t* data, int count) { OnBridgeWrite(data, count); };
        FComBridge->OnStatus = [this](const std::string& text) { OnBridgeStatus(text); };
      }
    }
  }

  int error = 0;
  const pid_t pid = platform::StartProgram(args, folder, error);
  if (pid < 0) {
    FStatus = "External door failed to start \"" + TruncateWithDots(command, 28) + "\" (error " + ErrorText(error) + ")";
    LogLine("Door: " + FStatus);
    FreeBridges();
    Invalidate();
    return;
  }
  LogLine("Door: Ctrl+F" + std::to_string(n) + " started " + args[0] + " in " + folder);
  BeginDoorWait(pid, n);
}

void TApplication::ShellToDos() {
  if (DoorProgramRunning()) {
    FStatus = "Alt+J: a door program is already running - close it first";
    Invalidate();
    return;
  }
  const char* env = std::getenv("SHELL");
  const std::string shell = env && *env ? env : "/bin/sh";
  FStatus = "Shelling to DOS - exit the command prompt to return to KORVAN...";
  Invalidate();
  FWindow->UpdateNow();
  int error = 0;
  const pid_t pid = platform::StartProgram({kTerminalProgram, "-e", shell}, platform::AppFolder(), error);
  if (pid < 0) {
    FStatus = "Shell to DOS failed to start \"" + TruncateWithDots(shell, 28) + "\" (error " + ErrorText(error) + ")";
    LogLine("Door: " + FStatus);
    Invalidate();
    return;
  }
  BeginDoorWait(pid, 0);
}

void TApplication::BeginDoorWait(pid_t pid, int slot) {
  FDoorPid = pid;
  FDoorSlot = slot;
  FWindow->SetMinimized(true);
  FNoForceFocus = true;
  FWindow->SetTimer(tmDoorProcess, kDoorWatchMs);
}

void TApplication::DoorProcessTick() {
  uint32_t code = 0;
  if (!DoorProgramRunning() || !platform::ProgramEnded(FDoorPid, code)) return;
  EndDoorWait(code);
}

void TApplication::EndDoorWait(uint32_t exitCode) {
  FWindow->KillTimer(tmDoorProcess);
  FDoorPid = -1;
  FNoForceFocus = false;
  FWindow->SetMinimized(false);
  FFocusTries = 0;
  FWindow->SetTimer(tmFocus, 150);
  FreeBridges();
  FStatus = FDoorSlot == 0 ? "Returned from DOS shell (exit code " + std::to_string(exitCode) + ")."
                           : "External program exited (code " + std::to_string(exitCode) + ").";
  LogLine("Door: " + FStatus);
  Invalidate();
}

void TApplication::FreeBridges() {
  // Each bridge's last reports are served while it ends.
  if (std::shared_ptr<TComBridge> bridge = std::move(FComBridge)) {
    bridge->Stop();
    bridge->WaitFor();
  }
  if (std::shared_ptr<TComBridgeTcp> bridge = std::move(FTcpBridge)) {
    bridge->Stop();
    bridge->WaitFor();
  }
}

void TApplication::OnBridgeWrite(const uint8_t* data, int count) {
  if (FCall->Transport() && count > 0) FCall->Transport()->SendBytes(data, count);
}

void TApplication::OnBridgeStatus(const std::string& text) {
  FStatus = text;
  Invalidate();
}
