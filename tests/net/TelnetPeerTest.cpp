// The Telnet form against a real telnet server (inetutils telnetd running a
// shell), with a "socat -x" relay in between as an independent witness of the
// bytes on the wire.
#include <sstream>

#include "TelnetFixture.h"
#include "tests/support/ChildProcess.h"

using namespace telnettest;
using testsupport::ChildProcess;
using testsupport::TempDir;

namespace {

// Every byte the relay saw going to the server, in order.
Bytes ClientBytes(const std::string& dump) {
  std::istringstream in(dump);
  std::string line;
  bool toServer = false;
  Bytes out;
  while (std::getline(in, line)) {
    if (!line.empty() && (line[0] == '>' || line[0] == '<')) {
      toServer = line[0] == '>';
      continue;
    }
    if (!toServer) continue;
    std::istringstream hex(line);
    std::string byte;
    while (hex >> byte) out.push_back(uint8_t(std::stoi(byte, nullptr, 16)));
  }
  return out;
}

class TelnetdTest : public TelnetFixture {
 protected:
  void SetUp() override {
    TelnetFixture::SetUp();
    const std::string telnetd = testsupport::FindProgram("telnetd");
    ASSERT_FALSE(telnetd.empty()) << "telnetd is needed (package inetutils-telnetd)";
    ASSERT_FALSE(testsupport::FindProgram("socat").empty()) << "socat is needed (package socat)";
    // telnetd serves the connection on its standard input; "nofork" hands it
    // the accepted socket itself. It runs a plain shell instead of login.
    uint16_t serverPort = testsupport::FreeLoopbackPort();
    ASSERT_TRUE(FServer.Start({"socat", "TCP-LISTEN:" + std::to_string(serverPort) + ",bind=127.0.0.1,reuseaddr",
                               "EXEC:" + telnetd + " -h -E /bin/sh,nofork"}));
    ASSERT_TRUE(testsupport::WaitForPort(serverPort));
    FRelayPort = testsupport::FreeLoopbackPort();
    ChildProcess::Options o;
    o.OutputFile = FDir.File("relay.txt");
    ASSERT_TRUE(FRelay.Start({"socat", "-x", "TCP-LISTEN:" + std::to_string(FRelayPort) + ",bind=127.0.0.1,reuseaddr",
                              "TCP:127.0.0.1:" + std::to_string(serverPort)},
                             o));
    ASSERT_TRUE(testsupport::WaitForPort(FRelayPort));
  }
  std::string Witness() const { return testsupport::ReadWholeFile(FDir.File("relay.txt")); }
  bool WaitForOutput(TCall& call, const std::string& text, size_t from) {
    return testsupport::ServeUntil([&] { return call.Log->Data.find(text, from) != std::string::npos; }, 10000);
  }

  TempDir FDir;
  ChildProcess FServer, FRelay;
  uint16_t FRelayPort = 0;
};

}  // namespace

TEST_F(TelnetdTest, TheServerLearnsTheTerminalTypeAndTheWindowSize) {
  TCall call(DialTelnet(FRelayPort, "ansi-bbs", 100, 30));
  ASSERT_TRUE(call.WaitConnected()) << call.Log->DisconnectText();
  ASSERT_TRUE(testsupport::ServeUntil([&] { return !call.Log->Data.empty(); }, 10000)) << "no shell prompt";

  size_t mark = call.Log->Data.size();
  call.Client->SendString("echo T=$TERM; stty size\r");
  EXPECT_TRUE(WaitForOutput(call, "T=ansi-bbs", mark)) << call.Log->Data;
  EXPECT_TRUE(WaitForOutput(call, "30 100", mark)) << call.Log->Data;

  // A new size goes to the server at once, now that it asked for NAWS.
  call.Client->SetWindowSize(132, 50);
  ASSERT_TRUE(testsupport::ServeUntil([&] {
    return testsupport::HexText(ClientBytes(Witness())).find("FF FA 1F 00 84 00 32 FF F0") != std::string::npos;
  })) << "the new size did not leave";
  testsupport::ServeFor(100);
  mark = call.Log->Data.size();
  call.Client->SendString("stty size\r");
  EXPECT_TRUE(WaitForOutput(call, "50 132", mark)) << call.Log->Data;

  // The relay's record: our first bytes are exactly the offers, and the
  // window size was announced with the server's DO NAWS.
  const std::string sent = testsupport::HexText(ClientBytes(Witness()));
  EXPECT_EQ(sent.substr(0, kOffers.size() * 3 - 1), testsupport::HexText(kOffers)) << sent;
  EXPECT_NE(sent.find("FF FB 1F FF FA 1F 00 64 00 1E FF F0"), std::string::npos) << sent;

  call.Client->SendString("exit\r");
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->DisconnectText(), "Disconnected");
  EXPECT_TRUE(call.Client->RemoteClosed);
  EXPECT_EQ(call.Log->EventsAfterDisconnect, 0);
  EXPECT_TRUE(call.WaitFreed());
}
