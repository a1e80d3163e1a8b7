// Local door programs started from the online screen: the command line a
// door gets (placeholders filled inside their own argument, never through a
// shell), the status texts of a run, refusing a second start, and a door
// that talks to the board through the loopback bridge, or holds the board
// back while it does not read.
#include <sys/stat.h>

#include <filesystem>

#include "app/uDoorCommand.h"
#include "data/uConfig.h"
#include "net/uDoorBridge.h"
#include "tests/app/AppFixture.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

TEST(DoorCommand, PlaceholdersFillWholeArguments) {
  TPhonebookEntry entry;
  entry.Host = "bbs.example.org";
  entry.Port = 2323;
  entry.Username = "Joe \"Q\" $(touch x); `id`";
  entry.Password = "p w";
  const struct {
    const char* templ;
    bool withEntry;
    std::vector<std::string> args;
  } rows[] = {
      {"door %USER% %port%", true, {"door", "Joe \"Q\" $(touch x); `id`", "2323"}},
      {"door -h%Host%:%PORT% \"%password% x\"", true, {"door", "-hbbs.example.org:2323", "p w x"}},
      {"door %USER% %port%", false, {"door", "%USER%", "%port%"}},
      {"  \"/opt/my doors/run\"   a  ", true, {"/opt/my doors/run", "a"}},
  };
  for (const auto& r : rows) EXPECT_EQ(ExpandDoorCommand(r.templ, r.withEntry ? &entry : nullptr), r.args) << r.templ;
}

TEST(DoorCommand, TcpBridgePort) {
  const struct {
    const char* setting;
    uint16_t port;
  } rows[] = {
      {"tcp:5000", 5000}, {"TCP:7000", 7000}, {" 7000 ", 7000}, {"TCP:0", 0},  {"TCP:70000", 0},
      {"COM5", 0},        {"", 0},            {"TCP:", 0},      {"65535", 65535}, {"/dev/ttyS0", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(ParseTcpBridgePort(r.setting), r.port) << r.setting;
}

class ExternalDoor : public AppFixture {
 protected:
  // A door program: a shell script (the door itself, not a shell around it).
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = Folder.File(name);
    WriteWholeFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }
  bool StatusHas(const std::string& part) { return App->StatusText().find(part) != std::string::npos; }
  void CtrlF(int n) { Key(uint16_t(platform::vk::Fn(n)), false, true, false); }
};

TEST_F(ExternalDoor, ArgumentsArriveWholeAndNothingRuns) {
  LoopbackListener board;
  Start();
  auto entry = LoopbackEntry(board, "Doors");
  entry->Username = "Joe \"Q\" $(touch x) `touch y`; touch z";
  entry->Password = "se cret";
  auto peer = CallEntry(board, entry);
  ASSERT_TRUE(peer);
  fs::create_directory(Folder.File("work"));
  App->Config().WorkDir = "work";
  App->Config().Command[2] =
      "\"" + Script("door.sh", "pwd > args.txt\nfor a in \"$@\"; do echo \"[$a]\" >> args.txt; done\nexit 3\n") +
      "\" %USER% \"-p %PASSWORD%\" %port%";
  CtrlF(3);
  ASSERT_TRUE(RunUntil([&] { return StatusHas("External program exited"); })) << App->StatusText();
  EXPECT_EQ(App->StatusText(), "External program exited (code 3).");
  EXPECT_EQ(ReadWholeFile(Folder.File("work/args.txt")),
            fs::canonical(Folder.File("work")).string() + "\n[Joe \"Q\" $(touch x) `touch y`; touch z]\n[-p se cret]\n[" +
                std::to_string(board.Port()) + "]\n");
  for (const char* made : {"x", "y", "z"}) {
    EXPECT_FALSE(fs::exists(Folder.File(std::string("work/") + made))) << made;
    EXPECT_FALSE(fs::exists(Folder.File(made))) << made;
  }
  EXPECT_FALSE(App->Window().Minimized());
}

TEST_F(ExternalDoor, StatusTextsOfARun) {
  Start();
  // An empty slot, and a program that cannot be started.
  App->Config().Command[0] = "";
  App->Config().Command[1] = "/nonexistent/doors/game.bin -with -many -arguments";
  // Ctrl+F9 is no door key, though slot 9 exists.
  App->Config().Command[8] = Script("nine.sh", "touch ran9\n");
  App->ShowScreen(smOnline);
  CtrlF(1);
  ASSERT_TRUE(RunUntil([&] { return StatusHas("Ctrl+F1"); }));
  EXPECT_EQ(App->StatusText(), "Ctrl+F1: no door configured for this slot - set one on Alt-C page 3");
  CtrlF(2);
  ASSERT_TRUE(RunUntil([&] { return StatusHas("failed to start"); }));
  EXPECT_EQ(App->StatusText(),
            "External door failed to start \"...in -with -many -arguments\" (error 2 (No such file or directory))");
  CtrlF(9);
  RunUntil([] { return false; }, 300);
  EXPECT_FALSE(fs::exists(Folder.File("ran9")));

  // With a bridge port set but no call, the program runs without a port;
  // while it runs, a second start is refused and the window is minimised.
  App->Config().ComPort = "TCP:7000";
  App->Config().Command[3] = Script("wait.sh", "while [ ! -e go ]; do sleep 0.05; done\n");
  CtrlF(4);
  ASSERT_TRUE(RunUntil([&] { return StatusHas("no session to bridge to"); }));
  EXPECT_EQ(App->StatusText(), "Ctrl+F4: no session to bridge to TCP:7000 - connect first or it runs with no port");
  EXPECT_TRUE(App->Window().Minimized());
  CtrlF(4);
  ASSERT_TRUE(RunUntil([&] { return StatusHas("already running"); }));
  WriteWholeFile(Folder.File("go"), "");
  ASSERT_TRUE(RunUntil([&] { return StatusHas("exited"); }));
  EXPECT_EQ(App->StatusText(), "External program exited (code 0).");
  EXPECT_FALSE(App->Window().Minimized());
}

// A door whose serial line is a loopback socket: socat plays the emulator's
// null-modem (dialing the bridge) with an echoing program behind it, so what
// the board sends comes back to the board, $FF and all.
TEST_F(ExternalDoor, DoorTalksToTheBoardOverTheLoopbackBridge) {
  ASSERT_FALSE(FindProgram("socat").empty()) << "socat is needed (package socat)";
  LoopbackListener board;
  Start();
  auto peer = CallEntry(board, LoopbackEntry(board, "Echo door"));
  ASSERT_TRUE(peer);
  const uint16_t port = FreeLoopbackPort();
  App->Config().ComPort = "tcp:" + std::to_string(port);
  App->Config().Command[0] =
      "socat -T 2 TCP:127.0.0.1:" + std::to_string(port) + ",retry=100,interval=0.1 EXEC:cat";
  CtrlF(1);
  ASSERT_TRUE(RunUntil([&] { return StatusHas("Bridging live session to DOSBox"); })) << App->StatusText();
  // The board doubles $FF as Telnet asks; the program's Telnet undoes it.
  ASSERT_TRUE(peer->Write(Bytes{'d', 'o', 'o', 'r', 0xFF, 0xFF, '!', '\n'}));
  const std::string echoed = BoardReceives(*peer, 7);
  EXPECT_EQ(echoed, std::string("door\xFF!\n"));
  ASSERT_TRUE(RunUntil([&] { return StatusHas("External program exited"); }, 30000)) << App->StatusText();
}

// A door program that does not read: once a full queue waits for it, the
// call stops reading the board (whose own flow control then holds it back);
// once the door reads it gets every byte in order and the board is read
// again. The bytes are handed on as the call does on their arrival, without
// drawing megabytes of them.
TEST_F(ExternalDoor, ADoorThatDoesNotReadHoldsTheBoardBack) {
  ASSERT_FALSE(FindProgram("socat").empty()) << "socat is needed (package socat)";
  LoopbackListener board;
  Start();
  auto peer = CallEntry(board, LoopbackEntry(board, "Flood door"));
  ASSERT_TRUE(peer);
  const uint16_t port = FreeLoopbackPort();
  App->Config().ComPort = "tcp:" + std::to_string(port);
  // The door reads nothing until the test names how much it is to take.
  const std::string go = Folder.File("go"), got = Folder.File("got.bin");
  const std::string reader =
      Script("reader.sh", "while [ ! -s '" + go + "' ]; do sleep 0.05; done\nhead -c \"$(cat '" + go + "')\" > '" +
                              got + "'\n");
  App->Config().Command[0] = "socat TCP:127.0.0.1:" + std::to_string(port) + ",retry=100,interval=0.1 EXEC:" + reader;
  CtrlF(1);
  ASSERT_TRUE(RunUntil([&] { return StatusHas("Bridging live session to DOSBox"); })) << App->StatusText();
  EXPECT_FALSE(Probe().ReceiveHeld());

  // A long cycle, so a lost or reordered stretch shows.
  auto flood = [](uint64_t at) { return char('A' + (at * 7 + (at >> 12)) % 26); };
  constexpr size_t kPiece = 64 * 1024;
  uint64_t handed = 0;
  size_t mostWaiting = 0;
  while (!Probe().ReceiveHeld() && handed < 4 * TDoorBridge::kHoldBytes) {
    std::string piece(kPiece, ' ');
    for (size_t i = 0; i < kPiece; ++i) piece[i] = flood(handed + i);
    Probe().HandOnReceived(piece);
    handed += kPiece;
    mostWaiting = std::max(mostWaiting, Probe().DoorWaiting());
  }
  EXPECT_TRUE(Probe().ReceiveHeld()) << handed << " bytes handed on, " << mostWaiting << " waited";
  EXPECT_GE(Probe().DoorWaiting(), TDoorBridge::kHoldBytes);
  EXPECT_LE(mostWaiting, TDoorBridge::kHoldBytes + kPiece);

  WriteWholeFile(go, std::to_string(handed));
  ASSERT_TRUE(RunUntil([&] { return StatusHas("External program exited"); }, 120000)) << App->StatusText();
  EXPECT_FALSE(Probe().ReceiveHeld());
  const std::string taken = ReadWholeFile(got);
  ASSERT_EQ(taken.size(), handed);
  size_t same = 0;
  while (same < taken.size() && taken[same] == flood(same)) ++same;
  EXPECT_EQ(same, taken.size()) << "the door got a wrong byte at offset " << same;
}

}  // namespace
