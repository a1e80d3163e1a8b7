#include "app/uDoorRelay.h"
#include "core/uErrnoText.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/uDoorViewer.h"
#include "core/uDebugLog.h"
#include "data/uIniFile.h"
#include "net/uTelnetClient.h"
#include "platform/AppFolder.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kConnectWaitMs = 15000;
constexpr int kCallerPollMs = 20;
constexpr size_t kCallerReadSize = 4096;
// How long the end of a session waits for a caller to take what is left.
constexpr uint32_t kFinalFlushMs = 10000;
constexpr uint32_t kOutboundEndMs = 5000;
// A drop file is a dozen short lines: only the first eleven are read, and a
// longer line than this refuses the file as soon as the reading passes it.
constexpr size_t kDoor32Lines = 11;
constexpr size_t kMaxDoor32LineLength = 4096;
// Texts from the drop file go into the log cut to this many bytes.
constexpr size_t kLogQuoteLength = 64;

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

// A decimal number (an optional sign, then digits only, within 32 bits).
bool ReadNumber(const std::string& s, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  if (i >= s.size() || s.size() - i > 10) return false;
  int64_t n = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    n = n * 10 + (s[i] - '0');
  }
  n = negative ? -n : n;
  if (n < INT32_MIN || n > INT32_MAX) return false;
  value = n;
  return true;
}

int32_t NumberOr(const std::string& s, int32_t fallback) {
  int64_t n = 0;
  return ReadNumber(s, n) ? int32_t(n) : fallback;
}

// Text from outside as the log quotes it: at most a short prefix.
std::string LogQuote(const std::string& s) {
  if (s.size() <= kLogQuoteLength) return s;
  return s.substr(0, kLogQuoteLength) + "... (" + std::to_string(s.size()) + " bytes)";
}

std::string Upper(char c) { return std::string(1, char(std::toupper(static_cast<unsigned char>(c)))); }

enum TCallerTelnet { ctData = 0, ctIac, ctOption, ctSub, ctSubIac };

}  // namespace

std::string LocateDoor32Sys(const std::string& arg) {
  if (!arg.empty() && arg[0] != '*') return arg;
  std::error_code ec;
  const std::string beside = platform::AppFolder() + "DOOR32.SYS";
  if (fs::exists(beside, ec)) return beside;
  if (fs::exists("DOOR32.SYS", ec)) return fs::absolute("DOOR32.SYS", ec).string();
  return "";
}

bool ParseDoor32Sys(const std::string& path, TDoor32Info& info, std::string* error) {
  info = TDoor32Info{};
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // a line has begun and not ended yet
  for (char c; lines.size() < kDoor32Lines && in.get(c);) {
    if (c == '\n') {
      lines.push_back(Trim(line));
      line.clear();
      open = false;
      continue;
    }
    // The CR of a CR LF end does not count.
    if (line.size() > kMaxDoor32LineLength || (line.size() == kMaxDoor32LineLength && c != '\r')) {
      if (error)
        *error = "line " + std::to_string(lines.size() + 1) + " is longer than " +
                 std::to_string(kMaxDoor32LineLength) + " bytes";
      return false;
    }
    line += c;
    open = true;
  }
  if (open && lines.size() < kDoor32Lines) lines.push_back(Trim(line));
  if (lines.size() < 2) return false;
  auto at = [&](size_t n) { return n <= lines.size() ? lines[n - 1] : std::string(); };
  info.CommType = NumberOr(at(1), -1);
  info.CommHandle = at(2);
  info.Baud = NumberOr(at(3), 0);
  info.BBSName = at(4);
  info.UserRecord = NumberOr(at(5), 0);
  info.RealName = at(6);
  info.Alias = at(7);
  info.Security = NumberOr(at(8), 0);
  info.TimeLeft = NumberOr(at(9), 0);
  info.Emulation = NumberOr(at(10), 0);
  info.Node = NumberOr(at(11), 0);
  return info.Valid();
}

bool DoorLogEnabled() {
  const std::string path = platform::AppFolder() + "korvan_config.ini";
  std::error_code ec;
  if (!fs::exists(path, ec)) return false;
  TIniFile ini;
  std::string error;
  ini.LoadFromFile(path, error);
  return ini.ReadBool("Debug", "DoorLog", false);
}

TDoorRelay::TDoorRelay() = default;

TDoorRelay::~TDoorRelay() { CloseCaller(); }

bool TDoorRelay::Run(const std::vector<std::string>& args, int& exitCode) {
  for (const std::string& a : args)
    if (a.size() >= 2 && (a[0] == '/' || a[0] == '-') && Upper(a[1]) == "D") {
      exitCode = Session(args);
      if (LogIsOpen()) LogClose();
      return true;
    }
  return false;
}

int TDoorRelay::Session(const std::vector<std::string>& args) {
  std::string dropArg, host, clientUser = DefaultRLoginUser(), serverUser = clientUser, termType = "ansi-bbs";
  bool logOn = false, rlogin = false;
  int64_t port = 0;
  for (const std::string& a : args) {
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) continue;
    const std::string value = a.substr(2);
    const char sw = Upper(a[1])[0];
    int64_t n = 0;
    switch (sw) {
      case 'D': dropArg = value; break;
      case 'L': logOn = true; break;
      case 'S': {
        const size_t colon = value.find(':');
        host = value.substr(0, colon);
        if (colon != std::string::npos) port = ReadNumber(value.substr(colon + 1), n) ? n : 0;
        break;
      }
      case 'P': port = ReadNumber(value, n) ? n : 0; break;
      case 'R': rlogin = true; break;
      case 'X': rlogin = true; clientUser = value; break;
      case 'Y': rlogin = true; serverUser = value; break;
      case 'Z': rlogin = true; termType = value; break;
      default: break;
    }
  }

  if (logOn || DoorLogEnabled()) {
    LogEnabled = true;
    LogOpen(platform::AppFolder() + "korvan_door.log");
  }
  std::string launched = "DOOR: launched, args = ";
  for (const std::string& a : args) launched += a + " ";
  LogLine(launched);

  const std::string dropFile = LocateDoor32Sys(dropArg);
  if (dropFile.empty()) {
    LogLine("DOOR: could not locate a DOOR32.SYS dropfile (arg was \"" + dropArg + "\")");
    return 1;
  }
  TDoor32Info info;
  std::string dropError;
  if (!ParseDoor32Sys(dropFile, info, &dropError)) {
    LogLine("DOOR: failed to parse dropfile at " + dropFile + (dropError.empty() ? "" : " (" + dropError + ")"));
    return 1;
  }
  char text[512];
  std::snprintf(text, sizeof text, "DOOR: dropfile OK - commtype=%d handle=%s alias=%s node=%d", info.CommType,
                LogQuote(info.CommHandle).c_str(), LogQuote(info.Alias).c_str(), info.Node);
  LogLine(text);
  if (info.CommType != 2) {
    LogLine("DOOR: comm type " + std::to_string(info.CommType) +
            " is not a socket handoff - unsupported in this build, aborting");
    return 1;
  }
  if (host.empty()) {
    LogLine("DOOR: no -S<host> given on the command line, aborting");
    return 1;
  }
  if (port <= 0 || port > 65535) port = rlogin ? 513 : 23;

  int64_t handle = 0;
  if (!ReadNumber(info.CommHandle, handle) || handle < 0) {
    LogLine("DOOR: dropfile socket handle \"" + LogQuote(info.CommHandle) + "\" did not parse");
    return 1;
  }
  // The handle must be a socket this process inherited: anything else (a
  // closed number, a file, a pipe) is refused before a byte is written to it.
  int type = 0, err = 0;
  socklen_t len = sizeof type;
  const int fd = int(handle);
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0)
    err = errno;
  else if (type != SOCK_STREAM)
    err = ENOTSOCK;
  else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
    err = errno;
  if (err != 0) {
    LogLine("DOOR: inherited handle " + info.CommHandle + " is not a usable socket in this process (error " +
            ErrnoText(err) + ")");
    return 1;
  }
  FCaller = fd;

  std::snprintf(text, sizeof text, "DOOR: connecting outbound to %s:%d (rlogin=%s clientuser=%s serveruser=%s term=%s)",
                host.c_str(), int(port), rlogin ? "True" : "False", clientUser.c_str(), serverUser.c_str(),
                termType.c_str());
  LogLine(text);
  platform::SetInterfaceThread();
  FOutbound = rlogin ? TTelnetClient::CreateRLogin(host, uint16_t(port), clientUser, serverUser, termType, 80, 24)
                     : TTelnetClient::Create(host, uint16_t(port), termType, 80, 24, false, false, "", "", "");
  if (!FOutbound) {
    LogLine("DOOR: outbound call could not be started");
    CloseCaller();
    return 1;
  }
  FOutbound->OnData = [this](const uint8_t* data, int count) { OnOutboundData(data, count); };
  FOutbound->OnStatus = [this](const std::string& msg) { OnOutboundStatus(msg); };
  FOutbound->OnConnected = [this](const std::string& msg) { OnOutboundConnected(msg); };
  FOutbound->OnDisconnected = [this](const std::string& msg) { OnOutboundDisconnected(msg); };

  const uint64_t waitStart = platform::TickMs();
  while (!Connected && !Ended) {
    platform::CheckSynchronize(15);
    if (!Connected && !Ended && platform::TickMs() - waitStart > kConnectWaitMs) {
      LogLine("DOOR: outbound connect timed out after " + std::to_string(kConnectWaitMs) + "ms");
      Ended = true;
    }
  }
  if (Ended) {
    CloseCaller();
    std::weak_ptr<TTelnetClient> outbound = FOutbound;
    FOutbound->HangUp();
    FOutbound.reset();
    const uint64_t until = platform::TickMs() + kOutboundEndMs;
    while (!outbound.expired() && platform::TickMs() < until) platform::CheckSynchronize(10);
    return 1;
  }

  LogLine("DOOR: relay loop starting");
  std::string error;
  FViewer = TDoorViewer::Create("KORVAN Door Viewer - " + host, 80, 24, error);
  if (!FViewer) LogLine("DOOR: local viewer window failed to create (" + error + ") - continuing headless");

  RelayLoop();

  platform::CheckSynchronize(0);
  const uint64_t flushUntil = platform::TickMs() + kFinalFlushMs;
  while (!FCallerGone && FHead < FBuffer.size() && platform::TickMs() < flushUntil) ServeCaller(kCallerPollMs);
  LogLine("DOOR: session ended, cleaning up");
  FViewer.reset();
  // The outbound call ends and its last reports are served, so its thread
  // is done before the process ends.
  std::weak_ptr<TTelnetClient> outbound = FOutbound;
  FOutbound->HangUp();
  FOutbound.reset();
  const uint64_t until = platform::TickMs() + kOutboundEndMs;
  while (!outbound.expired() && platform::TickMs() < until) platform::CheckSynchronize(10);
  CloseCaller();
  LogLine("DOOR: exiting");
  return 0;
}

void TDoorRelay::RelayLoop() {
  while (!Ended) {
    if (FViewer && !FViewer->Pump()) {
      // The sysop closed the mirror; the relay goes on without it.
      FViewer.reset();
    }
    if (!ServeCaller(kCallerPollMs)) return;
    platform::CheckSynchronize(0);
    if (FCallerGone) return;
    if (FHead < FBuffer.size() && !FlushToCaller()) {
      LogLine("DOOR: caller socket gone while flushing outbound data");
      return;
    }
  }
}

bool TDoorRelay::ServeCaller(int waitMs) {
  if (FCallerGone) return false;
  // While the board leaves too much unread the caller is not read either:
  // what it sends waits in the network, and its own flow control holds it.
  const bool takeCaller = !FOutbound || !FOutbound->SendHeldBack();
  pollfd p{FCaller, short((takeCaller ? POLLIN : 0) | (FHead < FBuffer.size() ? POLLOUT : 0)), 0};
  const int ready = poll(&p, 1, waitMs);
  if (ready <= 0) return true;
  if (p.revents & (POLLERR | POLLNVAL)) {
    LogLine("DOOR: caller socket signalled error, ending session");
    FCallerGone = true;
    return false;
  }
  if ((p.revents & (POLLIN | POLLHUP)) && !ReadCaller()) return false;
  if ((p.revents & POLLOUT) && !FlushToCaller()) {
    LogLine("DOOR: caller socket gone while flushing outbound data");
    return false;
  }
  return true;
}

bool TDoorRelay::ReadCaller() {
  uint8_t buf[kCallerReadSize];
  const ssize_t n = recv(FCaller, buf, sizeof buf, MSG_DONTWAIT);
  if (n > 0) {
    CallerToBoard(buf, size_t(n));
    return true;
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
  LogLine(n == 0 ? "DOOR: caller hung up" : "DOOR: caller socket recv error " + ErrnoText(errno));
  FCallerGone = true;
  return false;
}

void TDoorRelay::CallerToBoard(const uint8_t* data, size_t count) {
  // The caller's Telnet commands (RFC 854: IAC verb option, IAC SB ... IAC
  // SE, IAC and a one-byte command) are its BBS's business, not the board's;
  // IAC IAC is a data $FF.
  std::vector<uint8_t> out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = data[i];
    switch (FTelnetState) {
      case ctData:
        if (b == 0xFF)
          FTelnetState = ctIac;
        else
          out.push_back(b);
        break;
      case ctIac:
        if (b == 0xFF) {
          out.push_back(b);
          FTelnetState = ctData;
        } else if (b >= 251 && b <= 254) {
          FTelnetState = ctOption;
        } else if (b == 250) {
          FTelnetState = ctSub;
        } else {
          FTelnetState = ctData;
        }
        break;
      case ctOption:
        FTelnetState = ctData;
        break;
      case ctSub:
        if (b == 0xFF) FTelnetState = ctSubIac;
        break;
      case ctSubIac:
        FTelnetState = b == 240 ? ctData : ctSub;
        break;
    }
  }
  if (!out.empty() && FOutbound) FOutbound->SendBytes(out.data(), int(out.size()));
}

bool TDoorRelay::FlushToCaller() {
  while (FHead < FBuffer.size()) {
    const ssize_t n = send(FCaller, FBuffer.data() + FHead, FBuffer.size() - FHead, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      FHead += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;  // the rest goes when it takes it
    LogLine("DOOR: caller socket send error " + ErrnoText(n < 0 ? errno : EPIPE));
    FCallerGone = true;
    return false;
  }
  FBuffer.clear();
  FHead = 0;
  return true;
}

void TDoorRelay::OnOutboundData(const uint8_t* data, int count) {
  if (count <= 0) return;
  if (FViewer) FViewer->Feed(data, count);
  // A caller slower than the board holds the board back: its transport
  // waits here until the caller has taken enough, and the caller is still
  // read meanwhile, so neither side can wait for the other for ever.
  while (!FCallerGone && FBuffer.size() - FHead > kBufferSize) ServeCaller(5);
  if (FCallerGone) return;
  if (FHead > 0 && FHead == FBuffer.size()) {
    FBuffer.clear();
    FHead = 0;
  }
  for (int i = 0; i < count; ++i) {
    FBuffer.push_back(data[i]);
    if (data[i] == 0xFF) FBuffer.push_back(0xFF);
  }
}

void TDoorRelay::OnOutboundConnected(const std::string& msg) {
  Connected = true;
  LogLine("DOOR: outbound connected - " + msg);
}

void TDoorRelay::OnOutboundDisconnected(const std::string& msg) {
  Ended = true;
  LogLine("DOOR: outbound disconnected - " + msg);
}

void TDoorRelay::OnOutboundStatus(const std::string& msg) { LogLine("DOOR: outbound status - " + msg); }

void TDoorRelay::CloseCaller() {
  if (FCaller >= 0) close(FCaller);
  FCaller = -1;
}

bool RunDoorMode(const std::vector<std::string>& args, int& exitCode) {
  TDoorRelay relay;
  return relay.Run(args, exitCode);
}
