// Door relay mode: the program started by another BBS as a door, with a
// DOOR32.SYS drop file naming the socket its caller is connected on, relays
// that caller to another board over Telnet or RLogin, then ends. No main
// window is made; an optional small window mirrors the session for the
// sysop, and korvan_door.log beside the executable records every step.
//
// The caller's socket carries Telnet (the calling BBS negotiated it): the
// caller's Telnet commands are taken out of what goes to the board, and
// every $FF from the board is doubled towards the caller, so binary
// transfers arrive intact in both directions.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TTelnetClient;
class TDoorViewer;

// The drop file's contents; a missing line leaves its field at 0 or empty.
struct TDoor32Info {
  int32_t CommType = 0;  // -1 when not a number; 2: a socket
  std::string CommHandle;
  int32_t Baud = 0;
  std::string BBSName;
  int32_t UserRecord = 0;
  std::string RealName;
  std::string Alias;
  int32_t Security = 0;
  int32_t TimeLeft = 0;  // minutes
  int32_t Emulation = 0;
  int32_t Node = 0;

  bool Valid() const { return CommType >= 0 && !CommHandle.empty(); }
};

// The drop file: Arg when it is given and does not begin with "*", else
// DOOR32.SYS beside the executable, else DOOR32.SYS in the current folder;
// empty when none exists.
std::string LocateDoor32Sys(const std::string& arg);
// Reads Path into Info (cleared first); false when it is missing, unreadable,
// shorter than two lines or holds a line of more than 4096 bytes among the
// eleven it reads, else whether the contents are valid. Error, when given,
// says which line was too long.
bool ParseDoor32Sys(const std::string& path, TDoor32Info& info, std::string* error = nullptr);
// The DoorLog switch of korvan_config.ini's [Debug] section beside the
// executable; false without the file.
bool DoorLogEnabled();

class TDoorRelay {
 public:
  TDoorRelay();
  ~TDoorRelay();
  TDoorRelay(const TDoorRelay&) = delete;
  TDoorRelay& operator=(const TDoorRelay&) = delete;

  // Reads the command line; without the door switch returns false and does
  // nothing. Otherwise runs the whole session and returns true with the
  // process's exit code: 1 when set-up failed, 0 after a relayed session.
  bool Run(const std::vector<std::string>& args, int& exitCode);

  // Outbound events, on this thread inside CheckSynchronize.
  void OnOutboundData(const uint8_t* data, int count);
  void OnOutboundConnected(const std::string& msg);
  void OnOutboundDisconnected(const std::string& msg);
  void OnOutboundStatus(const std::string& msg);

 private:
  int Session(const std::vector<std::string>& args);
  void RelayLoop();
  // One look at the caller: what it sent goes to the board (its Telnet
  // commands taken out), and what waits for it is sent as far as it takes
  // it now. False when the caller is gone (the reason is logged).
  bool ServeCaller(int waitMs);
  bool ReadCaller();
  bool FlushToCaller();
  void CallerToBoard(const uint8_t* data, size_t count);
  void CloseCaller();

  // Bytes from the board waiting for the caller, $FF already doubled.
  // Past this many, the board is held back until the caller takes them.
  static constexpr size_t kBufferSize = 65536;
  std::vector<uint8_t> FBuffer;
  size_t FHead = 0;
  bool Connected = false;
  bool Ended = false;
  bool FCallerGone = false;
  int FCaller = -1;
  std::shared_ptr<TTelnetClient> FOutbound;
  std::unique_ptr<TDoorViewer> FViewer;
  // The caller's Telnet command being taken out: 0 none, else the state.
  int FTelnetState = 0;
};

// Door mode at start-up: true with the exit code when the command line asked
// for it (the session has then run), false otherwise.
bool RunDoorMode(const std::vector<std::string>& args, int& exitCode);
