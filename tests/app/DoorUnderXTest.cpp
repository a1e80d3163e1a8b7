// A door speaking the GS "{" ... "}" command language to the real program
// under a virtual X server: a door simulator (tests/app/door_simulator.py)
// asks its questions over a raw TCP call and over a Telnet call behind a
// real inetutils telnetd, checks every answer and its 0xFF, arms a timed
// event, and defines a key macro that a real key press (xdotool) fires.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/app/ProgramUnderX.h"
#include "tests/support/Loopback.h"

using namespace testsupport;

namespace {

const std::string kSimulator = std::string(KORVAN_SOURCE_DIR) + "/tests/app/door_simulator.py";

class DoorUnderXTest : public EndToEndTest {
 protected:
  std::string SimLog() const { return ReadWholeFile(Dir.File("door.log")); }
  bool SimSaid(const std::string& text, uint32_t ms) {
    return WaitFor([&] { return SimLog().find(text) != std::string::npos; }, ms);
  }
  // The simulator waits for a typed "a"; the key is given until its key
  // macro's text arrived (a key sent before the window takes input is lost);
  // then the rest of the dialog runs.
  void PressAUntilDone() {
    ASSERT_TRUE(SimSaid("PRESS-A", 90000)) << SimLog() << LinesWith(Log(), {"DDOFX", "Telnet"});
    WaitFor(
        [&] {
          Focus();
          Keys("a");
          return SimSaid("key macro", 3000);
        },
        60000);
    EXPECT_TRUE(SimSaid("DONE", 120000)) << SimLog();
  }
  // A zip made by zip(1) of two files with set times, as a door sends its
  // assets: song.mod of 1234 bytes and PIC.PCX of 10.
  std::string MakeAssetZip() {
    const std::string folder = Dir.File("made/");
    std::filesystem::create_directory(folder);
    WriteWholeFile(folder + "song.mod", std::string(1234, 'm'));
    WriteWholeFile(folder + "PIC.PCX", std::string(10, 'p'));
    EXPECT_EQ(system(("cd '" + folder + "' && touch -d '2024-03-05 14:07:08' song.mod && touch -d '2023-12-31 23:59:58' "
                      "PIC.PCX && zip -q -X assets.zip song.mod PIC.PCX")
                         .c_str()),
              0)
        << "zip is needed (package zip)";
    return folder + "assets.zip";
  }
  void ExpectZipSteps() {
    const std::string log = SimLog();
    for (const char* step : {"ok zip entry by its upper-case name", "ok zip entry by its lower-case name",
                             "ok zip entry as a resource"})
      EXPECT_NE(log.find(step), std::string::npos) << step << "\n" << log;
    EXPECT_EQ(ReadWholeFile(Dir.File("doors/ddofx/song.mod")), std::string(1234, 'm')) << "unpacked into the door folder";
  }
  void ExpectEveryStep() {
    const std::string log = SimLog();
    for (const char* step : {"ok detect", "ok memory", "ok variable", "ok rounding", "ok absent file",
                             "ok path refused", "ok return register", "ok timed event", "ok key macro", "DONE"})
      EXPECT_NE(log.find(step), std::string::npos) << step << "\n" << log;
    EXPECT_EQ(log.find("FAIL"), std::string::npos) << log;
    EXPECT_TRUE(LogHas("DDOFX: key macro 1 (hkey=30 lkey=97)", 10000))
        << "the key came with its PC scan code\n"
        << LinesWith(Log(), {"DDOFX"});
  }
  ChildProcess Sim, Server, Relay;
};

TEST_F(DoorUnderXTest, ADoorGetsItsAnswersOverRawTcp) {
  WriteConfig();
  ChildProcess::Options o;
  o.OutputFile = Dir.File("sim.out");
  const std::string zip = MakeAssetZip();
  ASSERT_TRUE(Sim.Start(
      {"python3", kSimulator, "--listen", Dir.File("door.port"), "--log", Dir.File("door.log"), "--zip", zip}, o));
  ASSERT_TRUE(WaitFor([&] { return !ReadWholeFile(Dir.File("door.port")).empty(); }, 20000))
      << ReadWholeFile(Dir.File("sim.out"));
  WriteBoard("Door Board", uint16_t(std::stoi(ReadWholeFile(Dir.File("door.port")))));
  Launch();
  CallSelectedBoard();
  PressAUntilDone();
  ExpectEveryStep();
  ExpectZipSteps();
}

TEST_F(DoorUnderXTest, ADoorBehindTelnetdGetsOneFFWhileTheWireCarriesTwo) {
  const std::string telnetd = FindProgram("telnetd");
  ASSERT_FALSE(telnetd.empty()) << "telnetd is needed (package inetutils-telnetd)";
  ASSERT_FALSE(FindProgram("socat").empty()) << "socat is needed (package socat)";
  WriteConfig();
  // telnetd runs the simulator on its terminal instead of a login.
  const std::string wrapper = Dir.File("door.sh");
  WriteWholeFile(wrapper, "#!/bin/sh\nexec python3 '" + kSimulator + "' --stdio --log '" + Dir.File("door.log") +
                              "' --zip '" + MakeAssetZip() + "'\n");
  ASSERT_EQ(chmod(wrapper.c_str(), 0755), 0);
  const uint16_t serverPort = FreeLoopbackPort();
  ASSERT_TRUE(Server.Start({"socat", "TCP-LISTEN:" + std::to_string(serverPort) + ",bind=127.0.0.1,reuseaddr",
                            "EXEC:" + telnetd + " -h -E " + wrapper + ",nofork"}));
  ASSERT_TRUE(WaitForPort(serverPort));
  // A relay between the program and telnetd writes down the wire's bytes.
  const uint16_t relayPort = FreeLoopbackPort();
  ChildProcess::Options o;
  o.OutputFile = Dir.File("wire.txt");
  ASSERT_TRUE(Relay.Start({"socat", "-x", "TCP-LISTEN:" + std::to_string(relayPort) + ",bind=127.0.0.1,reuseaddr",
                           "TCP:127.0.0.1:" + std::to_string(serverPort)},
                          o));
  ASSERT_TRUE(WaitForPort(relayPort));
  WriteBoard("Door Board", relayPort, false);
  Launch();
  CallSelectedBoard();
  PressAUntilDone();
  ExpectEveryStep();
  ExpectZipSteps();
  // The program's first answer, "LITERM Ver. 2.00" and its 0xFF, went out
  // with the 0xFF doubled as Telnet wants it.
  EXPECT_NE(ReadWholeFile(Dir.File("wire.txt")).find("2e 30 30 ff ff"), std::string::npos)
      << ReadWholeFile(Dir.File("wire.txt"));
}

}  // namespace
