// Local door programs and the shell: Ctrl+F1..F8 start a configured program
// (typically a DOS door game in an emulator) and bridge its serial line to
// the live call; Alt+J opens a shell in a terminal window. While the program
// runs the window is minimised and the loop goes on, so the call and the
// bridge keep flowing; the door timer watches for the program's end.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

class TApplication;
class TComBridge;
class TComBridgeTcp;

class TAppDoors {
 public:
  explicit TAppDoors(TApplication& app) : A(app) {}
  TAppDoors(const TAppDoors&) = delete;
  TAppDoors& operator=(const TAppDoors&) = delete;

  bool DoorProgramRunning() const;
  void RunExternalDoor(int n);
  void ShellToDos();
  // The door timer: ends the wait once the program has ended.
  void DoorProcessTick();
  // Bytes the board sent, for the door's bridge.
  void Received(const uint8_t* data, int count);
  // At shutdown: a program still running is waited for (its bridge keeps
  // serving it meanwhile), then its bridge is stopped.
  void Shutdown();

 private:
  friend struct TAppProbe;

  void BeginDoorWait(pid_t pid, int slot);
  void EndDoorWait(uint32_t exitCode);
  void FreeBridges();
  void OnBridgeWrite(const uint8_t* data, int count);
  void OnBridgeStatus(const std::string& text);

  TApplication& A;
  // The running door program (0 in FDoorSlot: the shell) and its bridge.
  pid_t FDoorPid = -1;
  int FDoorSlot = 0;
  std::shared_ptr<TComBridge> FComBridge;
  std::shared_ptr<TComBridgeTcp> FTcpBridge;
};
