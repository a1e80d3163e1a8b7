// The transport contract as the Telnet client keeps it (connect failures,
// ends, freeing itself), RLogin against a loopback stub, and raw TCP with its
// Telnet detector.
#include <arpa/inet.h>

#include <cstdlib>

#include "TelnetFixture.h"
#include "platform/Tick.h"

#include <thread>

using namespace telnettest;
using testsupport::HexText;

TEST_F(TelnetFixture, AHostThatCannotBeResolvedEndsWithOneDisconnectedAndNoConnected) {
  TCall call(TTelnetClient::Create("no-such-host.invalid", 23, "ansi", 80, 25, false, false, "", "", ""));
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->Sequence(), "disconnected");
  EXPECT_EQ(call.Log->DisconnectText(), "Connection failed: could not resolve no-such-host.invalid");
  EXPECT_TRUE(call.WaitFreed());
  EXPECT_EQ(call.Log->EventsAfterDisconnect, 0);
}

TEST_F(TelnetFixture, ARefusedConnectNamesTheErrorNumberAndItsText) {
  uint16_t port = testsupport::ClosedLoopbackPort();
  TCall call(DialTelnet(port));
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->Sequence(), "disconnected");
  EXPECT_EQ(call.Log->DisconnectText(), "Connection failed: connect() error 111 (Connection refused)");
  EXPECT_TRUE(call.WaitFreed());
}

TEST_F(TelnetFixture, AHangUpWhileTheConnectIsPendingEndsSilentlyAndFreesTheTransport) {
  testsupport::StalledListener stalled;
  TCall call(DialTelnet(stalled.Port()));
  testsupport::ServeFor(300);
  call.Client->Disconnect();
  uint64_t start = platform::TickMs();
  // Far sooner than the connect's own 10 s time-out, even on a busy machine.
  EXPECT_TRUE(call.WaitFreed(8000));
  EXPECT_LT(platform::TickMs() - start, 5000u);
  testsupport::ServeFor(100);
  EXPECT_TRUE(call.Log->Events.empty()) << call.Log->Sequence();
}

TEST_F(TelnetFixture, AConnectThatNeverCompletesTimesOutAfterTenSeconds) {
  testsupport::StalledListener stalled;
  uint64_t start = platform::TickMs();
  TCall call(DialTelnet(stalled.Port()));
  ASSERT_TRUE(call.WaitDisconnected(20000));
  uint64_t took = platform::TickMs() - start;
  EXPECT_EQ(call.Log->DisconnectText(), "Connection failed: timed out connecting to 127.0.0.1 after 10 s");
  EXPECT_GE(took, 9500u);
  EXPECT_LT(took, 15000u) << "a busy machine may run the thread late, but not by seconds";
  EXPECT_EQ(call.Log->Sequence(), "disconnected");
}

TEST_F(TelnetFixture, TheServerClosingIsAnOrderlyRemoteCloseAndTheLastEvent) {
  testsupport::LoopbackListener board;
  TCall call(DialTelnet(board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitConnected());
  // Read first: closing with unread data would reset the connection.
  ReadServing(*peer, kOffers.size());
  peer->Write("bye");
  peer->Close();
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->Sequence(), "connected,data,disconnected");
  EXPECT_EQ(call.Log->Data, "bye");
  EXPECT_EQ(call.Log->DisconnectText(), "Disconnected");
  EXPECT_TRUE(call.Client->RemoteClosed);
  EXPECT_FALSE(call.Client->Connected);
  EXPECT_TRUE(call.WaitFreed());
  EXPECT_EQ(call.Log->EventsAfterDisconnect, 0);
  EXPECT_EQ(call.Log->OffThreadEvents, 0);
}

TEST_F(TelnetFixture, AResetByTheServerIsNotAnOrderlyClose) {
  testsupport::LoopbackListener board;
  TCall call(TTelnetClient::CreateRaw("127.0.0.1", board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitConnected());
  peer->Abort();
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->DisconnectText(), "Disconnected");
  EXPECT_FALSE(call.Client->RemoteClosed);
}

TEST_F(TelnetFixture, ATransportNobodyListensToRunsAndFreesItself) {
  testsupport::LoopbackListener board;
  std::weak_ptr<TTelnetClient> weak;
  {
    auto client = DialTelnet(board.Port());
    weak = client;
    auto peer = board.Accept();
    ASSERT_TRUE(peer);
    EXPECT_EQ(HexText(ReadServing(*peer, kOffers.size())), HexText(kOffers));
    peer->Write("data nobody reads");
    testsupport::ServeFor(100);
  }  // the board hangs up and the creator has let go
  EXPECT_TRUE(testsupport::ServeUntil([&] { return weak.expired(); }));
}

TEST_F(TelnetFixture, HangUpSilencesEveryLaterEventOfTheCall) {
  testsupport::LoopbackListener board;
  TCall call(DialTelnet(board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitConnected());
  // The board keeps talking; the worker is waiting to hand data over when
  // the interface thread hangs up.
  peer->Write("first");
  ASSERT_TRUE(testsupport::ServeUntil([&] { return !call.Log->Data.empty(); }));
  for (int i = 0; i < 50; ++i) peer->Write("late data ");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  size_t before = call.Log->Events.size();
  call.Client->HangUp();
  EXPECT_TRUE(call.WaitFreed());
  EXPECT_EQ(call.Log->Events.size(), before) << call.Log->Sequence();
}

// ---------------------------------------------------------------------------
// RLogin

TEST_F(TelnetFixture, RLoginSendsTheLoginStringAndPassesDataUninterpretedOnceAccepted) {
  testsupport::LoopbackListener board;
  TCall call(TTelnetClient::CreateRLogin("127.0.0.1", board.Port(), "alice", "bob", "ansi-bbs", 80, 25));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  const std::string login("\0alice\0bob\0ansi-bbs\0", 20);
  EXPECT_EQ(HexText(ReadServing(*peer, login.size())), HexText(ToBytes(login)));
  ASSERT_TRUE(peer->Write(Bytes{0}));
  ASSERT_TRUE(peer->Write(Bytes{'h', 0xFF, 0xFB, 0x01, '\r', 0}));
  ASSERT_TRUE(testsupport::ServeUntil([&] { return call.Log->Data.size() >= 6; }));
  EXPECT_EQ(HexText(ToBytes(call.Log->Data)), "68 FF FB 01 0D 00");
  call.Client->SendString("\xFF\r");
  EXPECT_EQ(HexText(ReadServing(*peer, 2)), "FF 0D");
  EXPECT_EQ(HexText(ReadAllServing(*peer, 100)), "");
  call.Client->Disconnect();
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->Sequence(), "connected,data,disconnected");
  EXPECT_EQ(call.Log->Statuses().size(), 0u);
}

TEST_F(TelnetFixture, RLoginKeysTypedAsTheCallComesUpFollowTheLoginString) {
  testsupport::LoopbackListener board;
  TCall call(TTelnetClient::CreateRLogin("127.0.0.1", board.Port(), "alice", "bob", "ansi", 80, 25));
  // The application may send from its connected handler, before the
  // transport thread has sent the login string.
  auto log = call.Log;
  TTelnetClient* client = call.Client.get();
  call.Client->OnConnected = [log, client](const std::string& msg) {
    log->Add(testsupport::TransportLog::Kind::Connected, msg);
    client->SendString("k");
  };
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  const std::string login("\0alice\0bob\0ansi\0", 16);
  EXPECT_EQ(HexText(ReadServing(*peer, login.size())), HexText(ToBytes(login)));
  ASSERT_TRUE(peer->Write(Bytes{0}));
  EXPECT_EQ(HexText(ReadServing(*peer, 1)), "6B");
  EXPECT_EQ(call.Client->BytesSent.load(), 1);
  call.Client->Disconnect();
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->Sequence(), "connected,disconnected");
}

struct TRLoginRefusal {
  const char* Name;
  Bytes Answer;  // empty: the server stays silent
};

void PrintTo(const TRLoginRefusal& row, std::ostream* os) { *os << row.Name; }

class RLoginRefusalTest : public TelnetFixture, public ::testing::WithParamInterface<TRLoginRefusal> {};

TEST_P(RLoginRefusalTest, FailsAfterConnectedWithTheRefusalText) {
  testsupport::LoopbackListener board;
  TCall call(TTelnetClient::CreateRLogin("127.0.0.1", board.Port(), "alice", "bob", "ansi", 80, 25));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ReadServing(*peer, 16);
  if (!GetParam().Answer.empty()) peer->Write(GetParam().Answer);
  ASSERT_TRUE(call.WaitDisconnected(8000));
  EXPECT_EQ(call.Log->Sequence(), "connected,disconnected");
  EXPECT_EQ(call.Log->DisconnectText(), "RLogin failed: 127.0.0.1 doesn't accept RLogin connections");
  EXPECT_FALSE(call.Client->Connected);
  EXPECT_TRUE(peer->WaitClosed());
  EXPECT_TRUE(call.WaitFreed());
}

INSTANTIATE_TEST_SUITE_P(Answers, RLoginRefusalTest,
                         ::testing::Values(TRLoginRefusal{"ErrorByte", {0x01, 'n', 'o'}},
                                           TRLoginRefusal{"Silence", {}}),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------
// Raw

struct TRawRow {
  const char* Name;
  Bytes Board;
  size_t Warnings;
};

void PrintTo(const TRawRow& row, std::ostream* os) { *os << row.Name; }

class RawDetectorTest : public TelnetFixture, public ::testing::WithParamInterface<TRawRow> {};

TEST_P(RawDetectorTest, WarnsOnceWhenTheServerNegotiatesEarlyAndDeliversEveryByte) {
  const TRawRow& row = GetParam();
  testsupport::LoopbackListener board;
  TCall call(TTelnetClient::CreateRaw("127.0.0.1", board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitConnected());
  for (size_t i = 0; i < row.Board.size(); i += 3) {  // in small reads
    peer->Write(Bytes(row.Board.begin() + long(i), row.Board.begin() + long(std::min(i + 3, row.Board.size()))));
    testsupport::ServeFor(10);
  }
  ASSERT_TRUE(testsupport::ServeUntil([&] { return call.Log->Data.size() >= row.Board.size(); }));
  testsupport::ServeFor(50);
  EXPECT_EQ(HexText(ToBytes(call.Log->Data)), HexText(row.Board));
  auto statuses = call.Log->Statuses();
  ASSERT_EQ(statuses.size(), row.Warnings);
  if (row.Warnings) {
    EXPECT_EQ(statuses[0], "This BBS speaks telnet - set the entry to Telnet, not Raw");
  }
  // Raw sends nothing of its own and sends bytes as they are.
  EXPECT_EQ(HexText(ReadAllServing(*peer, 100)), "");
  call.Client->SendString("\xFF\r\n");
  EXPECT_EQ(HexText(ReadServing(*peer, 3)), "FF 0D 0A");
  call.Client->Disconnect();
  EXPECT_TRUE(call.WaitFreed());
}

Bytes Padded(size_t n, Bytes tail) {
  Bytes b(n, 'a');
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RawDetectorTest,
    ::testing::Values(TRawRow{"IacWillAtTheStart", {0xFF, 0xFB, 0x01, 'x'}, 1},
                      TRawRow{"TwoNegotiationsWarnOnce", {0xFF, 0xFB, 0x01, 0xFF, 0xFD, 0x03, 'x'}, 1},
                      TRawRow{"IacWithinTheFirst16Bytes", Padded(15, {0xFF, 0xFD, 0x18}), 1},
                      TRawRow{"IacAtOffset16IsNotTelnet", Padded(16, {0xFF, 0xFB, 0x01}), 0},
                      TRawRow{"IacWithoutAVerbIsNotTelnet", {0xFF, 'A', 'B', 0xFF, 0xF1, 0x01}, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---------------------------------------------------------------------------
// Helpers of the unit

TEST(ResolveHostAddrTest, DottedAddressesAndNamesResolveAndTheRestFails) {
  struct {
    const char* Host;
    bool Ok;
    const char* Address;
  } rows[] = {{"127.0.0.1", true, "127.0.0.1"},
              {"10.1.2.3", true, "10.1.2.3"},
              {"localhost", true, "127.0.0.1"},
              {"no-such-host.invalid", false, ""},
              {"", false, ""}};
  for (const auto& row : rows) {
    sockaddr_in addr{};
    EXPECT_EQ(ResolveHostAddr(row.Host, 2323, addr), row.Ok) << row.Host;
    if (!row.Ok) continue;
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    EXPECT_STREQ(text, row.Address) << row.Host;
    EXPECT_EQ(addr.sin_family, AF_INET);
    EXPECT_EQ(addr.sin_port, htons(2323)) << "the port is in network order";
  }
}

TEST(DefaultRLoginUserTest, UsernameFirstThenUser) {
  std::string savedUsername = getenv("USERNAME") ? getenv("USERNAME") : "";
  std::string savedUser = getenv("USER") ? getenv("USER") : "";
  setenv("USERNAME", "sysop", 1);
  setenv("USER", "unixname", 1);
  EXPECT_EQ(DefaultRLoginUser(), "sysop");
  unsetenv("USERNAME");
  EXPECT_EQ(DefaultRLoginUser(), "unixname");
  unsetenv("USER");
  EXPECT_EQ(DefaultRLoginUser(), "");
  if (!savedUsername.empty()) setenv("USERNAME", savedUsername.c_str(), 1);
  if (!savedUser.empty()) setenv("USER", savedUser.c_str(), 1);
}
