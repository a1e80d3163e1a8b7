// Local door programs and the shell, and the bridge between a door's serial
// line and the live call.
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/call/uCall.h"
#include "app/uAppDoors.h"

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

bool TAppDoors::DoorProgramRunning() const { return FDoorPid > 0; }

void TAppDoors::RunExternalDoor(int n) {
  if (n < 1 || n > 10) return;
  if (DoorProgramRunning()) {
    A.FStatus = "Ctrl+F" + std::to_string(n) + ": a door program is already running - close it first";
    A.Invalidate();
    return;
  }
  const std::string& command = A.FConfig->Command[size_t(n - 1)];
  if (Trim(command).empty()) {
    A.FStatus = "Ctrl+F" + std::to_string(n) + ": no door configured for this slot - set one on Alt-C page 3";
    A.Invalidate();
    return;
  }
  const std::string folder =
      A.FConfig->WorkDir.empty() ? platform::AppFolder() : ResolvePath(A.FConfig->WorkDir);
  const std::vector<std::string> args = ExpandDoorCommand(command, A.FCall->Entry().get());

  const std::string comPort = Trim(A.FConfig->ComPort);
  const bool bridge = !comPort.empty() && A.FCall->Transport() != nullptr;
  if (!comPort.empty() && !bridge)
    A.FStatus = "Ctrl+F" + std::to_string(n) + ": no session to bridge to " + A.FConfig->ComPort +
              " - connect first or it runs with no port";
  else
    A.FStatus = "Running external program (Ctrl+F" + std::to_string(n) +
              ") - close it (or let it exit) to return to KORVAN...";
  A.Invalidate();
  A.FWindow->UpdateNow();

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
    A.FStatus = "External door failed to start \"" + TruncateWithDots(command, 28) + "\" (error " + ErrorText(error) + ")";
    LogLine("Door: " + A.FStatus);
    FreeBridges();
    A.Invalidate();
    return;
  }
  LogLine("Door: Ctrl+F" + std::to_string(n) + " started " + args[0] + " in " + folder);
  BeginDoorWait(pid, n);
}

void TAppDoors::ShellToDos() {
  if (DoorProgramRunning()) {
    A.FStatus = "Alt+J: a door program is already running - close it first";
    A.Invalidate();
    return;
  }
  const char* env = std::getenv("SHELL");
  const std::string shell = env && *env ? env : "/bin/sh";
  A.FStatus = "Shelling to DOS - exit the command prompt to return to KORVAN...";
  A.Invalidate();
  A.FWindow->UpdateNow();
  int error = 0;
  const pid_t pid = platform::StartProgram({kTerminalProgram, "-e", shell}, platform::AppFolder(), error);
  if (pid < 0) {
    A.FStatus = "Shell to DOS failed to start \"" + TruncateWithDots(shell, 28) + "\" (error " + ErrorText(error) + ")";
    LogLine("Door: " + A.FStatus);
    A.Invalidate();
    return;
  }
  BeginDoorWait(pid, 0);
}

void TAppDoors::BeginDoorWait(pid_t pid, int slot) {
  FDoorPid = pid;
  FDoorSlot = slot;
  A.FWindow->SetMinimized(true);
  A.FNoForceFocus = true;
  A.FWindow->SetTimer(tmDoorProcess, kDoorWatchMs);
}

void TAppDoors::DoorProcessTick() {
  uint32_t code = 0;
  if (!DoorProgramRunning() || !platform::ProgramEnded(FDoorPid, code)) return;
  EndDoorWait(code);
}

void TAppDoors::EndDoorWait(uint32_t exitCode) {
  A.FWindow->KillTimer(tmDoorProcess);
  FDoorPid = -1;
  A.FNoForceFocus = false;
  A.FWindow->SetMinimized(false);
  A.FFocusTries = 0;
  A.FWindow->SetTimer(tmFocus, 150);
  FreeBridges();
  A.FStatus = FDoorSlot == 0 ? "Returned from DOS shell (exit code " + std::to_string(exitCode) + ")."
                           : "External program exited (code " + std::to_string(exitCode) + ").";
  LogLine("Door: " + A.FStatus);
  A.Invalidate();
}

void TAppDoors::Received(const uint8_t* data, int count) {
  // A door program that does not read holds back the call's transport.
  const std::shared_ptr<TWireTransport> source = A.FCall ? A.FCall->Transport() : nullptr;
  if (FComBridge) FComBridge->Write(data, count, source);
  if (FTcpBridge) FTcpBridge->Write(data, count, source);
}

void TAppDoors::Shutdown() {
  if (DoorProgramRunning()) {
    LogLine("Exit: waiting for the door program to end");
    platform::WaitForProgram(FDoorPid);
    FDoorPid = -1;
  }
  FreeBridges();
}

void TAppDoors::FreeBridges() {
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

void TAppDoors::OnBridgeWrite(const uint8_t* data, int count) {
  if (A.FCall->Transport() && count > 0) A.FCall->Transport()->SendBytes(data, count);
}

void TAppDoors::OnBridgeStatus(const std::string& text) {
  A.FStatus = text;
  A.Invalidate();
}
