// Door relay mode: the program started as another BBS's door with a
// DOOR32.SYS naming the caller's socket. The real program is started the way
// a BBS starts a door (the caller's socket inherited, its number in the drop
// file) and relays the caller to a telnetd board; set-up failures end it with
// exit code 1 and a line in korvan_door.log.
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "app/uDoorRelay.h"
#include "net/uSendQueue.h"
#include "platform/Tick.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "tests/support/PeerProcess.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// A drop file for a socket handoff on Handle.
std::string DropFile(const std::string& commType, const std::string& handle) {
  return commType + "\r\n" + handle + "\r\n115200\r\nTest BBS\r\n12\r\nJoe Caller\r\n  joe  \r\n50\r\n60\r\n1\r\n3\r\n";
}

TEST(Door32Sys, ReadsTheLinesItNeeds) {
  TempDir dir;
  const struct {
    const char* name;
    std::string text;
    bool ok;
    int32_t commType;
    const char* handle;
  } rows[] = {
      {"socket handoff", DropFile("2", "7"), true, 2, "7"},
      {"comm type not a number", DropFile("two", "7"), false, -1, "7"},
      {"one line only", "2\r\n", false, 0, ""},
      {"two lines, handle blank", "2\n   \n", false, 2, ""},
      {"two lines are enough", "1\n 1234 \n", true, 1, "1234"},
      {"a line of 4096 bytes", "2\r\n7\r\n115200\r\n" + std::string(4096, 'B') + "\r\n", true, 2, "7"},
      {"a line of 4097 bytes", "2\r\n7\r\n115200\r\n" + std::string(4097, 'B') + "\r\n", false, 0, ""},
      {"a long handle line", "2\r\n" + std::string(100000, '7') + "\r\n", false, 0, ""},
      {"a long last line without its end", "2\r\n7\r\n" + std::string(5000, 'x'), false, 0, ""},
      {"a long line past the eleventh is not read", DropFile("2", "7") + std::string(100000, 'x') + "\r\n", true, 2, "7"},
  };
  for (const auto& r : rows) {
    const std::string path = dir.File("DOOR32.SYS");
    WriteWholeFile(path, r.text);
    TDoor32Info info;
    EXPECT_EQ(ParseDoor32Sys(path, info), r.ok) << r.name;
    EXPECT_EQ(info.CommType, r.commType) << r.name;
    EXPECT_EQ(info.CommHandle, r.handle) << r.name;
  }
  // A drop file of one endless line is refused as soon as the limit is
  // passed, saying which line it was.
  WriteWholeFile(dir.File("DOOR32.SYS"), "2\r\n7\r\n115200\r\n" + std::string(64 << 20, 'B'));
  TDoor32Info endless;
  std::string error;
  EXPECT_FALSE(ParseDoor32Sys(dir.File("DOOR32.SYS"), endless, &error));
  EXPECT_EQ(error, "line 4 is longer than 4096 bytes");
  TDoor32Info info;
  WriteWholeFile(dir.File("DOOR32.SYS"), DropFile("2", "7"));
  ASSERT_TRUE(ParseDoor32Sys(dir.File("DOOR32.SYS"), info));
  EXPECT_EQ(info.Alias, "joe");
  EXPECT_EQ(info.Node, 3);
  EXPECT_EQ(info.TimeLeft, 60);
  EXPECT_FALSE(ParseDoor32Sys(dir.File("missing.sys"), info));
}

TEST(DoorMode, OnlyTheDoorSwitchAsksForIt) {
  int code = -1;
  EXPECT_FALSE(RunDoorMode({"/S127.0.0.1:2323", "-R", "D", "--"}, code));
  EXPECT_EQ(code, -1);
}

// The real program in a scratch folder (its log lands beside it), started as
// a BBS starts a door.
class DoorRelay : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(std::string(KORVAN_BINARY_DIR) + "/korvan", Dir.File("korvan"));
    fs::create_directory_symlink(std::string(KORVAN_BINARY_DIR) + "/fonts", Dir.File("fonts"));
  }
  void TearDown() override {
    if (Program.Pid() > 0) Program.Stop();
  }

  // Accepts a caller on the BBS's listener: the caller's end stays with the
  // test, the BBS's end becomes a descriptor the program inherits.
  void AcceptCaller() {
    Caller = std::make_unique<LoopbackPeer>(ConnectTo(Bbs.Port()));
    BbsSide = Bbs.Accept();
    ASSERT_TRUE(BbsSide);
    Inherited = dup(BbsSide->Fd());  // without close-on-exec: the door gets it
    ASSERT_GE(Inherited, 0);
  }
  static int ConnectTo(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
  }
  // Starts the door; the BBS keeps no copy of the caller's socket.
  void StartDoor(const std::vector<std::string>& switches, const std::vector<std::string>& env = {}) {
    std::vector<std::string> argv = {Dir.File("korvan")};
    argv.insert(argv.end(), switches.begin(), switches.end());
    ChildProcess::Options options;
    options.WorkingDir = Dir.Path();
    options.OutputFile = Dir.File("door.out");
    options.Env = {"SDL_VIDEODRIVER=", "DISPLAY=", "WAYLAND_DISPLAY="};
    options.Env.insert(options.Env.end(), env.begin(), env.end());
    ASSERT_TRUE(Program.Start(argv, options));
    if (Inherited >= 0) close(Inherited);
    Inherited = -1;
    BbsSide.reset();
  }
  std::string Log() { return ReadWholeFile(Dir.File("korvan_door.log")); }

  TempDir Dir;
  LoopbackListener Bbs;
  std::unique_ptr<LoopbackPeer> Caller, BbsSide;
  int Inherited = -1;
  ChildProcess Program;
};

TEST_F(DoorRelay, SetUpFailuresEndWithCodeOneAndALogLine) {
  const int notSocket = open("/dev/null", O_RDONLY);  // inherited, but no socket
  ASSERT_GE(notSocket, 0);
  const std::string n = std::to_string(notSocket);
  const uint16_t closed = ClosedLoopbackPort();
  const struct {
    const char* name;
    std::string drop;  // empty: no drop file
    std::vector<std::string> switches;
    std::string logLine;
  } rows[] = {
      {"malformed drop file", "2\r\n", {"-D", "-L", "-S127.0.0.1"}, "DOOR: failed to parse dropfile at "},
      {"no drop file", "", {"/D*", "/L", "/S127.0.0.1"}, "DOOR: could not locate a DOOR32.SYS dropfile (arg was \"*\")"},
      {"descriptor is no socket", DropFile("2", n), {"-D", "-L", "-S127.0.0.1"},
       "DOOR: inherited handle " + n + " is not a usable socket in this process (error 88 (Socket operation on non-socket))"},
      {"descriptor not open", DropFile("2", "987"), {"-D", "-L", "-S127.0.0.1"},
       "DOOR: inherited handle 987 is not a usable socket in this process (error 9 (Bad file descriptor))"},
      {"handle not a number", DropFile("2", "0x1F"), {"-D", "-L", "-S127.0.0.1"},
       "DOOR: dropfile socket handle \"0x1F\" did not parse"},
      {"long handle quoted in part", DropFile("2", "0x" + std::string(4000, 'F')), {"-D", "-L", "-S127.0.0.1"},
       "DOOR: dropfile socket handle \"0x" + std::string(62, 'F') + "... (4002 bytes)\" did not parse"},
      {"handle line too long", DropFile("2", std::string(300000, '7')), {"-D", "-L", "-S127.0.0.1"},
       "DOOR: failed to parse dropfile at " + Dir.File("DOOR32.SYS") + " (line 2 is longer than 4096 bytes)"},
      {"comm type 1", DropFile("1", n), {"-D", "-L", "-S127.0.0.1"},
       "DOOR: comm type 1 is not a socket handoff - unsupported in this build, aborting"},
      {"no host", DropFile("2", n), {"-D", "-L"}, "DOOR: no -S<host> given on the command line, aborting"},
      {"board refuses", DropFile("2", n), {"-D" + Dir.File("DOOR32.SYS"), "-L", "-S127.0.0.1:" + std::to_string(closed)},
       "DOOR: outbound disconnected - "},
  };
  for (const auto& r : rows) {
    std::error_code ec;
    fs::remove(Dir.File("DOOR32.SYS"), ec);
    fs::remove(Dir.File("korvan_door.log"), ec);
    if (!r.drop.empty()) WriteWholeFile(Dir.File("DOOR32.SYS"), r.drop);
    if (std::string(r.name) == "board refuses") {
      AcceptCaller();
      WriteWholeFile(Dir.File("DOOR32.SYS"), DropFile("2", std::to_string(Inherited)));
    }
    StartDoor(r.switches);
    EXPECT_EQ(Program.Wait(30000), 1) << r.name << "\n" << Log();
    const std::string log = Log();
    EXPECT_NE(log.find(r.logLine), std::string::npos) << r.name << "\n" << log;
    EXPECT_NE(log.find("DOOR: launched, args = "), std::string::npos) << r.name;
  }
  close(notSocket);
  // The caller of the refused board is let go.
  ASSERT_TRUE(Caller);
  EXPECT_TRUE(Caller->WaitClosed(10000));
}

TEST_F(DoorRelay, SwitchesChooseTheOutboundCall) {
  const std::string closed = std::to_string(ClosedLoopbackPort());
  const struct {
    std::vector<std::string> switches;
    std::string line;
  } rows[] = {
      {{"-S127.0.0.1:" + closed}, "127.0.0.1:" + closed + " (rlogin=False clientuser=sysop serveruser=sysop term=ansi-bbs)"},
      {{"/S127.0.0.1", "/R"}, "127.0.0.1:513 (rlogin=True clientuser=sysop serveruser=sysop term=ansi-bbs)"},
      {{"-S127.0.0.1", "-P" + closed, "-Zvt100"}, "127.0.0.1:" + closed + " (rlogin=True clientuser=sysop serveruser=sysop term=vt100)"},
      {{"-s127.0.0.1:" + closed, "-xalice", "-Ybob"}, "127.0.0.1:" + closed + " (rlogin=True clientuser=alice serveruser=bob term=ansi-bbs)"},
  };
  for (const auto& r : rows) {
    std::error_code ec;
    fs::remove(Dir.File("korvan_door.log"), ec);
    AcceptCaller();
    WriteWholeFile(Dir.File("DOOR32.SYS"), DropFile("2", std::to_string(Inherited)));
    std::vector<std::string> switches = {"-d", "-l"};
    switches.insert(switches.end(), r.switches.begin(), r.switches.end());
    StartDoor(switches, {"USERNAME=sysop"});
    EXPECT_EQ(Program.Wait(30000), 1) << Log();
    EXPECT_NE(Log().find("DOOR: connecting outbound to " + r.line), std::string::npos) << r.line << "\n" << Log();
  }
}

TEST_F(DoorRelay, NoLogWithoutTheSwitchOrTheSetting) {
  WriteWholeFile(Dir.File("DOOR32.SYS"), "2\r\n");
  StartDoor({"-D"});
  EXPECT_EQ(Program.Wait(30000), 1);
  EXPECT_FALSE(fs::exists(Dir.File("korvan_door.log")));
  // The setting alone turns it on.
  WriteWholeFile(Dir.File("korvan_config.ini"), "[Debug]\nDoorLog=1\n");
  StartDoor({"-D"});
  EXPECT_EQ(Program.Wait(30000), 1);
  EXPECT_NE(Log().find("DOOR: failed to parse dropfile at " + Dir.File("DOOR32.SYS")), std::string::npos) << Log();
}

// Caller side of a Telnet session: $FF doubled going out, IAC IAC undone
// coming in.
Bytes Doubled(const uint8_t* data, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    out.push_back(data[i]);
    if (data[i] == 0xFF) out.push_back(0xFF);
  }
  return out;
}

TEST_F(DoorRelay, ZmodemDownloadThroughTheRelayArrivesIntact) {
  for (const char* p : {"telnetd", "socat", "sz", "rz"})
    ASSERT_FALSE(FindProgram(p).empty()) << p << " is needed (packages inetutils-telnetd, socat, lrzsz)";
  fs::create_directories(Dir.File("board"));
  fs::create_directories(Dir.File("caller"));
  std::mt19937 rng(11);
  std::string data(600 * 1024, '\0');
  for (auto& c : data) c = char(rng());
  data.replace(1000, 400, 400, '\xFF');
  ASSERT_TRUE(WriteWholeFile(Dir.File("board/down.bin"), data));

  // The board: telnetd running sz instead of a login.
  const std::string script = Dir.File("board.sh");
  WriteWholeFile(script, "#!/bin/sh\ncd '" + Dir.File("board") + "' && exec sz -q down.bin\n");
  fs::permissions(script, fs::perms::owner_all);
  const uint16_t boardPort = FreeLoopbackPort();
  ChildProcess board;
  ASSERT_TRUE(board.Start({"socat", "TCP-LISTEN:" + std::to_string(boardPort) + ",bind=127.0.0.1,reuseaddr",
                           "EXEC:" + FindProgram("telnetd") + " -h -E " + script + ",nofork"}));
  ASSERT_TRUE(WaitForPort(boardPort));

  AcceptCaller();
  WriteWholeFile(Dir.File("DOOR32.SYS"), DropFile("2", std::to_string(Inherited)));
  StartDoor({"/D" + Dir.File("DOOR32.SYS"), "/L", "/S127.0.0.1:" + std::to_string(boardPort)});

  // The caller runs rz behind its Telnet.
  PeerProcess rz;
  std::string error;
  ASSERT_TRUE(rz.Start({"rz", "-q"}, Dir.File("caller"), "", &error)) << error;
  bool iac = false;
  const uint64_t until = platform::TickMs() + 120000;
  int status = -1;
  while (platform::TickMs() < until) {
    Bytes in = Caller->ReadFor(2);
    Bytes plain;
    for (uint8_t b : in) {
      if (iac) {
        iac = false;
        if (b == 0xFF) plain.push_back(b);
        continue;
      }
      if (b == 0xFF)
        iac = true;
      else
        plain.push_back(b);
    }
    if (!plain.empty()) rz.Send(plain.data(), int(plain.size()));
    // rz's last words may find the session over already: the board ends
    // the call as soon as sz is done.
    const bool open = rz.Pump(5, [&](const uint8_t* d, int n) { Caller->Write(Doubled(d, n)); });
    if (!open && rz.Wait(100, &status)) break;
  }
  EXPECT_EQ(status, 0) << "rz did not finish\n" << Log();
  EXPECT_TRUE(ReadWholeFile(Dir.File("caller/down.bin")) == data) << "the file differs\n" << Log();

  // The board ended the call after sz; the door lets the caller go and ends.
  EXPECT_TRUE(Caller->WaitClosed(20000));
  EXPECT_EQ(Program.Wait(20000), 0) << Log();
  const std::string log = Log();
  for (const char* line : {"DOOR: dropfile OK - commtype=2 handle=", " alias=joe node=3",
                           "DOOR: connecting outbound to 127.0.0.1:", "(rlogin=False clientuser=",
                           " term=ansi-bbs)", "DOOR: outbound connected - ", "DOOR: relay loop starting",
                           "DOOR: local viewer window failed to create (", "- continuing headless",
                           "DOOR: session ended, cleaning up", "DOOR: exiting"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  board.Stop();
}

// The caller's Telnet commands stay with the caller's BBS, and $FF keeps its
// meaning both ways: the caller's IAC IAC reaches the board as one $FF (which
// the board's Telnet sees doubled again), and the board's $FF reaches the
// caller doubled.
TEST_F(DoorRelay, TelnetOnTheCallerSideIsKeptApart) {
  LoopbackListener board;
  AcceptCaller();
  WriteWholeFile(Dir.File("DOOR32.SYS"), DropFile("2", std::to_string(Inherited)));
  StartDoor({"-D", "-L", "-S127.0.0.1", "-P" + std::to_string(board.Port())});
  std::unique_ptr<LoopbackPeer> boardSide = board.Accept(20000);
  ASSERT_TRUE(boardSide) << Log();

  const Bytes fromCaller = {'a', 0xFF, 0xFD, 0x01,                          // IAC DO ECHO
                            0xFF, 0xFA, 0x18, 0x00, 'x', 0xFF, 0xF0,        // IAC SB TTYPE IS x IAC SE
                            'b', 0xFF, 0xFF, 'c', 0xFF, 0xF1, 'd'};         // IAC IAC, IAC NOP
  // Split inside a command, as a network may deliver it.
  ASSERT_TRUE(Caller->Write(Bytes(fromCaller.begin(), fromCaller.begin() + 6)));
  usleep(100000);
  ASSERT_TRUE(Caller->Write(Bytes(fromCaller.begin() + 6, fromCaller.end())));
  std::string atBoard;
  const uint64_t until = platform::TickMs() + 10000;
  while (atBoard.size() < 5 && platform::TickMs() < until) atBoard += WithoutTelnetCommands(boardSide->ReadFor(50));
  EXPECT_EQ(atBoard, std::string("ab\xFF" "cd"));

  ASSERT_TRUE(boardSide->Write(Bytes{'z', 0xFF, 0xFF, 'y'}));  // the board's Telnet: one data $FF
  EXPECT_EQ(Caller->ReadExactly(4, 10000), (Bytes{'z', 0xFF, 0xFF, 'y'}));

  // The board hangs up: the caller is let go, the door ends with 0.
  boardSide->Close();
  EXPECT_TRUE(Caller->WaitClosed(20000));
  EXPECT_EQ(Program.Wait(20000), 0) << Log();
  EXPECT_NE(Log().find("DOOR: outbound disconnected - "), std::string::npos) << Log();
}

// The most the kernel lets a socket hold for sending once it has grown.
size_t SocketSendBufferMax() {
  size_t low = 0, initial = 0, most = 0;
  std::istringstream(ReadWholeFile("/proc/sys/net/ipv4/tcp_wmem")) >> low >> initial >> most;
  return most;
}

// A board that does not read holds the caller back instead of filling the
// relay's memory: the caller gets no more through than what the board's
// queue may hold and the sockets on the way take, and once the board reads,
// everything arrives, in order.
TEST_F(DoorRelay, ABoardThatDoesNotReadHoldsTheCallerBack) {
  LoopbackListener board;
  AcceptCaller();
  // Small fixed buffers at the caller's end, so what the sockets hold there
  // does not hide what the relay takes.
  const int small = 256 * 1024;
  ASSERT_EQ(setsockopt(BbsSide->Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
  ASSERT_EQ(setsockopt(Caller->Fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
  WriteWholeFile(Dir.File("DOOR32.SYS"), DropFile("2", std::to_string(Inherited)));
  StartDoor({"-D", "-L", "-S127.0.0.1", "-P" + std::to_string(board.Port())});
  std::unique_ptr<LoopbackPeer> boardSide = board.Accept(20000);
  ASSERT_TRUE(boardSide) << Log();

  std::mt19937 rng(5);
  std::string data(size_t(48) << 20, '\0');
  for (char& c : data) c = char('a' + rng() % 26);  // no $FF, no CR: Telnet passes it as it is
  const size_t bound = TSendQueue::kHoldBackBytes + SocketSendBufferMax() + (size_t(4) << 20);
  ASSERT_LT(bound, data.size());
  const int caller = Caller->Fd();
  ASSERT_EQ(fcntl(caller, F_SETFL, fcntl(caller, F_GETFL) | O_NONBLOCK), 0);
  size_t sent = 0;
  auto sendMore = [&] {
    const ssize_t n = send(caller, data.data() + sent, std::min<size_t>(65536, data.size() - sent), MSG_NOSIGNAL);
    if (n > 0) sent += size_t(n);
    return n > 0;
  };
  // The caller sends until three seconds pass with nothing taken.
  uint64_t lastTaken = platform::TickMs();
  while (sent < data.size() && platform::TickMs() - lastTaken < 3000) {
    if (sendMore()) {
      lastTaken = platform::TickMs();
      continue;
    }
    pollfd p{caller, POLLOUT, 0};
    poll(&p, 1, 50);
  }
  EXPECT_LT(sent, bound) << "the relay took the caller's bytes the board did not read";

  // The board reads now: the rest flows on.
  std::string atBoard;
  const uint64_t until = platform::TickMs() + 180000;
  while (atBoard.size() < data.size() && platform::TickMs() < until) {
    while (sent < data.size() && sendMore()) {
    }
    atBoard += WithoutTelnetCommands(boardSide->ReadFor(5));
  }
  EXPECT_EQ(sent, data.size());
  ASSERT_EQ(atBoard.size(), data.size()) << Log();
  EXPECT_TRUE(atBoard == data) << "bytes were lost or reordered on the way";
}

}  // namespace
