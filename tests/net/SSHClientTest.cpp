// The SSH transport against a real OpenSSH server on loopback: every login
// method, host-key pinning, the pty size, binary data and the telnet-shaped
// sessions some board front ends produce.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <regex>

#include "net/uSSHClient.h"
#include "tests/net/SshTestServer.h"

using namespace kit;

namespace {

class SSHClientThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    platform::ResetSynchronize();
    unsetenv("SSH_AUTH_SOCK");  // only the agent test offers an agent
  }
  void TearDown() override {
    WaitFinished(Client);
    unsetenv("SSH_AUTH_SOCK");
  }

  // Starts the server; a missing peer fails the test with its reason.
  void StartServer(const std::string& config) {
    std::string why = Server.Start(App.File(""), config);
    ASSERT_EQ(why, "") << why;
  }

  void Connect(const std::string& password = kSshPassword, const std::string& keyFile = "", bool trust = false,
               uint16_t cols = 80, uint16_t rows = 24) {
    Client = TSSHClient::Create("127.0.0.1", Server.Port, kSshUser, password, keyFile, cols, rows, trust);
    ASSERT_NE(Client, nullptr);
    Log = RecordTransport(*Client);
  }

  std::string PinFile() const { return SshKnownHostsPath(); }
  std::string HostPin() const {
    return Server.PinKey() + "=ssh-ed25519:" + KeygenSha256Hex(Server.HostKey + ".pub");
  }

  ScratchAppFolder App;
  TSshServer Server;
  std::shared_ptr<TSSHClient> Client;
  std::shared_ptr<TransportLog> Log;
};

// A TCP socket bound to a free loopback port (in Addr); -1 on failure.
int BoundLoopbackSocket(sockaddr_in& addr) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  addr = sockaddr_in{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) return -1;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return fd;
}

constexpr const char* kAnnounce = "ForceCommand echo korvan-login-ok\n";

struct LoginRow {
  const char* Name;
  const char* Config;
  bool KeyFile, Agent, RightPassword;
  const char* Accepted;  // what sshd logs for the method that let us in
  friend void PrintTo(const LoginRow& row, std::ostream* os) { *os << row.Name; }
};

class SSHLoginThreads : public SSHClientThreads, public ::testing::WithParamInterface<LoginRow> {};

}  // namespace

// Each server admits exactly one method; the client offers what the row
// gives it and must get in by that method.
TEST_P(SSHLoginThreads, LogsInByTheMethodTheServerOffers) {
  const LoginRow& row = GetParam();
  StartServer(std::string(row.Config) + kAnnounce);
  TSshAgent agent;
  if (row.Agent) {
    std::string why = agent.Start(App.File(""), Server.UserKey);
    ASSERT_EQ(why, "") << why;
    setenv("SSH_AUTH_SOCK", agent.Socket.c_str(), 1);
  }
  Connect(row.RightPassword ? kSshPassword : "wrong", row.KeyFile ? Server.UserKey : "");
  ASSERT_TRUE(WaitEnd(*Log)) << Log->Data;
  EXPECT_EQ(Log->Sequence(), "connected,data,disconnected") << Log->DisconnectText();
  EXPECT_EQ(EventText(*Log, TransportLog::Kind::Connected), "Connected to 127.0.0.1 (SSH)");
  EXPECT_NE(Log->Data.find("korvan-login-ok"), std::string::npos);
  EXPECT_EQ(Log->DisconnectText(), "Disconnected - remote end sent channel EOF");
  EXPECT_TRUE(Client->RemoteClosed);
  std::string log = Server.Log();
  EXPECT_NE(log.find(std::string("Accepted ") + row.Accepted + " for " + kSshUser), std::string::npos) << log;
  if (std::string(row.Name) == "PasswordOnlyServer") {
    // Key file and agent are at hand, but a server that offers only a
    // password is never asked with them.
    EXPECT_EQ(log.find("method publickey"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, SSHLoginThreads,
    ::testing::Values(
        LoginRow{"PasswordOnlyServer", "AuthenticationMethods password\nKbdInteractiveAuthentication no\n", true,
                 true, true, "password"},
        LoginRow{"KeyFileWithPassphrase", "AuthenticationMethods publickey\n", true, false, true, "publickey"},
        LoginRow{"Agent", "AuthenticationMethods publickey\n", false, true, false, "publickey"},
        LoginRow{"KeyboardInteractive",
                 "AuthenticationMethods keyboard-interactive\nPasswordAuthentication no\n"
                 "KbdInteractiveAuthentication yes\n",
                 false, false, true, "keyboard-interactive/pam"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SSHClientThreads, AWrongPasswordNamesTheServersMethodsAndNeverConnects) {
  StartServer("KbdInteractiveAuthentication yes\n");
  Connect("not-the-password");
  ASSERT_TRUE(WaitEnd(*Log, 40000));
  EXPECT_FALSE(Log->WasConnected());
  const std::string expected =
      "SSH login to 127.0.0.1 as 'korvantest' failed - check the username/password (or key file) on this entry "
      "[server offers: ,publickey,password,keyboard-interactive,]";
  EXPECT_EQ(Log->DisconnectText().substr(0, expected.size()), expected) << Log->DisconnectText();
  EXPECT_NE(Log->DisconnectText().find(", code "), std::string::npos) << "libssh2's detail follows";
  ServeUntil([&] { return Server.Log().find("Auth failed") != std::string::npos; }, 5000);
  EXPECT_NE(Server.Log().find(":11: Auth failed"), std::string::npos) << Server.Log();
}

TEST_F(SSHClientThreads, FirstContactPinsTheHostKeyAsSshKeygenSeesIt) {
  StartServer(kAnnounce);
  WriteWholeFile(PinFile(), "other.example:22=ssh-rsa:00\n");
  Connect();
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_TRUE(Log->WasConnected()) << Log->DisconnectText();
  EXPECT_TRUE(Log->Statuses().empty()) << Log->Statuses()[0];
  EXPECT_EQ(ReadWholeFile(PinFile()), "other.example:22=ssh-rsa:00\n" + HostPin() + "\n");
  EXPECT_TRUE(std::regex_match(HostPin(), std::regex(".*=ssh-ed25519:[0-9A-F]{64}"))) << HostPin();
}

TEST_F(SSHClientThreads, ThePinNamesTheHostKeysType) {
  // libssh2 1.10 signs RSA host keys only the old way (SHA-1), which a
  // current OpenSSH offers only when told to.
  const struct {
    const char* KeygenType;
    const char* PinType;
    const char* Config;
  } types[] = {{"rsa", "ssh-rsa", "HostKeyAlgorithms +ssh-rsa\n"},
               {"ecdsa", "ecdsa-sha2-nistp256", ""},
               {"ed25519", "ssh-ed25519", ""}};
  for (const auto& [keygenType, pinType, config] : types) {
    SCOPED_TRACE(keygenType);
    std::remove(PinFile().c_str());
    TSshServer server;
    server.HostKeyType = keygenType;
    std::string why = server.Start(App.File(""), std::string(config) + kAnnounce);
    ASSERT_EQ(why, "") << why;
    auto client = TSSHClient::Create("127.0.0.1", server.Port, kSshUser, kSshPassword, "", 80, 24, false);
    auto log = RecordTransport(*client);
    ASSERT_TRUE(WaitEnd(*log));
    EXPECT_TRUE(log->WasConnected()) << log->DisconnectText();
    EXPECT_EQ(ReadWholeFile(PinFile()),
              server.PinKey() + "=" + pinType + ":" + KeygenSha256Hex(server.HostKey + ".pub") + "\n");
    WaitFinished(client);
  }
}

TEST_F(SSHClientThreads, APinWithoutTheKeyTypeOrAnotherTypeIsRewrittenSilently) {
  StartServer(kAnnounce);
  std::string hex = KeygenSha256Hex(Server.HostKey + ".pub");
  std::string lower = hex;
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  for (const std::string& stored : {hex, "ssh-rsa:" + lower}) {
    SCOPED_TRACE(stored);
    WriteWholeFile(PinFile(), "# kept\n" + Server.PinKey() + "=" + stored + "\nlast.example:23=x:y\n");
    auto client = TSSHClient::Create("127.0.0.1", Server.Port, kSshUser, kSshPassword, "", 80, 24, false);
    auto log = RecordTransport(*client);
    ASSERT_TRUE(WaitEnd(*log));
    EXPECT_EQ(log->Sequence(), "connected,data,disconnected") << log->DisconnectText();
    EXPECT_EQ(ReadWholeFile(PinFile()), "# kept\n" + HostPin() + "\nlast.example:23=x:y\n");
    WaitFinished(client);
  }
}

TEST_F(SSHClientThreads, APinFileThatCannotBeWrittenIsReportedAndTheCallGoesOn) {
  StartServer(kAnnounce);
  // A folder in the temporary file's place: the new pin cannot be written.
  ASSERT_EQ(mkdir((PinFile() + ".tmp").c_str(), 0755), 0);
  Connect();
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->Sequence(), "status,connected,data,disconnected");
  const std::string status = EventText(*Log, TransportLog::Kind::Status);
  EXPECT_EQ(status.rfind("SSH: could not save " + PinFile() + " - ", 0), 0u) << status;
  EXPECT_NE(access(PinFile().c_str(), F_OK), 0);
}

TEST_F(SSHClientThreads, APinFileThatCannotBeReadRefusesTheCallAndIsKept) {
  StartServer(kAnnounce);
  // A folder in the pin file's place opens but cannot be read (EISDIR, also
  // for root): it is not a first contact, and nothing may be saved over it.
  ASSERT_EQ(mkdir(PinFile().c_str(), 0755), 0);
  Connect();
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->Sequence(), "disconnected");
  EXPECT_EQ(Log->DisconnectText(), "SSH REFUSED: cannot read " + PinFile() + ": " + std::strerror(EISDIR) +
                                       " (errno " + std::to_string(EISDIR) + ") - the host key of 127.0.0.1 cannot "
                                       "be verified");
  struct stat st {};
  EXPECT_TRUE(stat(PinFile().c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  ServeUntil([&] { return Server.Log().find("Host key rejected") != std::string::npos; }, 5000);
  EXPECT_NE(Server.Log().find(":11: Host key rejected"), std::string::npos) << Server.Log();
}

TEST_F(SSHClientThreads, AChangedHostKeyIsRefusedAndThePinKept) {
  StartServer(kAnnounce);
  const std::string oldPin = Server.PinKey() + "=ssh-ed25519:" + std::string(64, 'A');
  WriteWholeFile(PinFile(), oldPin + "\n");
  Connect();
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_FALSE(Log->WasConnected());
  EXPECT_EQ(Log->DisconnectText(),
            "SSH REFUSED: host key for 127.0.0.1:" + std::to_string(Server.Port) +
                " does not match the one seen previously (now offering ssh-ed25519 SHA256:" +
                KeygenSha256Hex(Server.HostKey + ".pub") +
                "). This usually means the server was reinstalled - or someone is intercepting the connection. If "
                "you're sure the new key is correct, set 'SSH Trust New Key' to Yes on this entry and reconnect (it "
                "turns itself back off afterward), or edit ssh_known_hosts.txt by hand.");
  EXPECT_EQ(ReadWholeFile(PinFile()), oldPin + "\n");
  ServeUntil([&] { return Server.Log().find("Host key rejected") != std::string::npos; }, 5000);
  EXPECT_NE(Server.Log().find(":11: Host key rejected"), std::string::npos) << Server.Log();
}

TEST_F(SSHClientThreads, TheTrustFlagAcceptsAChangedKeyOnceWithAStatus) {
  StartServer(kAnnounce);
  WriteWholeFile(PinFile(), Server.PinKey() + "=ssh-ed25519:" + std::string(64, 'A') + "\n");
  Connect(kSshPassword, "", true);
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->Sequence(), "status,connected,data,disconnected");
  EXPECT_EQ(EventText(*Log, TransportLog::Kind::Status), "SSH: host key for 127.0.0.1:" + std::to_string(Server.Port) +
                                 " changed and was accepted (ssh-ed25519 SHA256:" +
                                 KeygenSha256Hex(Server.HostKey + ".pub") +
                                 ") - SSH Trust New Key is now back off for this entry");
  EXPECT_EQ(EventText(*Log, TransportLog::Kind::Connected), "Connected to 127.0.0.1 (SSH)");
  EXPECT_EQ(ReadWholeFile(PinFile()), HostPin() + "\n");
}

TEST_F(SSHClientThreads, ThePtyHasTheAnnouncedSizeAndFollowsAResize) {
  StartServer("ForceCommand stty size; echo \"term=$TERM\"; while read x; do stty size; done\n");
  Connect(kSshPassword, "", false, 91, 27);
  ASSERT_TRUE(WaitForData(*Log, "27 91")) << Log->Data << Log->DisconnectText();
  EXPECT_TRUE(WaitForData(*Log, "term=vt100")) << Log->Data;
  Client->SetWindowSize(132, 43);
  Client->SendString("\r");
  EXPECT_TRUE(WaitForData(*Log, "43 132")) << Log->Data;
  Client->Disconnect();
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_EQ(Log->DisconnectText(), "Disconnected");
  EXPECT_FALSE(Client->RemoteClosed);
}

TEST_F(SSHClientThreads, BinaryDataWithFFPairsArrivesIntactOnAPlainSession) {
  std::string blob;
  for (int i = 0; i < 70000; ++i) blob += static_cast<char>((i * 131 + i / 256) & 0xFF);
  for (int i = 0; i < 300; ++i) blob += (i % 3) ? "\xFF\xFF" : "\xFF";
  blob += "\xFF";  // a lone $FF last of all
  WriteWholeFile(App.File("blob.bin"), blob);
  chmod((App.File("blob.bin")).c_str(), 0644);
  StartServer("ForceCommand stty raw -echo; cat " + App.File("blob.bin") + "\n");
  Connect();
  ASSERT_TRUE(WaitEnd(*Log, 30000));
  EXPECT_EQ(Log->DisconnectText(), "Disconnected - remote end sent channel EOF");
  ASSERT_EQ(Log->Data.size(), blob.size());
  EXPECT_TRUE(Log->Data == blob) << "first difference at "
                                  << std::mismatch(blob.begin(), blob.end(), Log->Data.begin()).first - blob.begin();
}

TEST_F(SSHClientThreads, ATelnetShapedSessionDoublesFFOutAndFoldsPairsIn) {
  // The server opens with IAC DO TTYPE as a Telnet front end would, sends a
  // folded pair, then shows in hex the four bytes it receives from us.
  StartServer(
      "ForceCommand stty raw -echo; printf '\\377\\375\\030'; printf 'A\\377\\377B'; head -c 4 | od -An -tx1\n");
  Connect();
  ASSERT_TRUE(WaitForData(*Log, "A\xFF" "B")) << Log->Data;
  EXPECT_EQ(Log->Data.substr(0, 6), std::string("\xFF\xFD\x18" "A\xFF" "B"));
  Client->SendString("a\xFF" "b");
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_NE(Log->Data.find("61 ff ff 62"), std::string::npos) << Log->Data;
  EXPECT_EQ(Client->BytesSent, 3);
}

TEST_F(SSHClientThreads, InputBeyondTheServersWindowIsWrittenWhole) {
  // More than the channel's window while the far program does not read yet:
  // writes time out for a while and must be carried on, never dropped.
  std::string blob;
  for (int i = 0; i < 3 * 1024 * 1024; ++i) blob += static_cast<char>((i * 7 + i / 251) & 0xFF);
  WriteWholeFile(App.File("in.bin"), blob);
  chmod(App.File("in.bin").c_str(), 0644);
  StartServer("ForceCommand stty raw -echo; echo ready; sleep 1; head -c " + std::to_string(blob.size()) +
              " | cmp - " + App.File("in.bin") + " && echo SAME\n");
  Connect();
  ASSERT_TRUE(WaitForData(*Log, "ready")) << Log->DisconnectText();
  Client->SendBytes(reinterpret_cast<const uint8_t*>(blob.data()), static_cast<int>(blob.size()));
  ASSERT_TRUE(WaitEnd(*Log, 60000));
  EXPECT_NE(Log->Data.find("SAME"), std::string::npos) << Log->Data;
  EXPECT_EQ(Log->DisconnectText(), "Disconnected - remote end sent channel EOF");
}

TEST_F(SSHClientThreads, AServerThatStopsReadingEndsTheCallWithItsText) {
  StartServer("ForceCommand stty raw -echo; echo ready; exec sleep 600\n");
  Connect();
  Client->SendStallMs = 2000;
  ASSERT_TRUE(WaitForData(*Log, "ready")) << Log->DisconnectText();
  const std::string blob(8 * 1024 * 1024, 'k');
  Client->SendBytes(reinterpret_cast<const uint8_t*>(blob.data()), static_cast<int>(blob.size()));
  ASSERT_TRUE(WaitEnd(*Log, 60000));
  EXPECT_EQ(Log->DisconnectText(), "Disconnected - the BBS stopped reading (nothing could be sent for 2 s)");
  EXPECT_FALSE(Client->RemoteClosed);
}

TEST_F(SSHClientThreads, TextTypedBeforeTheShellStartsIsSentOnceItRuns) {
  StartServer("ForceCommand read x; echo \"got:$x\"\n");
  Connect();
  Client->SendString("hello\r");
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_NE(Log->Data.find("got:hello"), std::string::npos) << Log->Data;
}

TEST_F(SSHClientThreads, NoServerOnThePortEndsWithTheConnectText) {
  // A port held bound but not listening refuses connects, and no other
  // test's server can take it meanwhile.
  sockaddr_in addr{};
  int held = BoundLoopbackSocket(addr);
  ASSERT_GE(held, 0);
  uint16_t port = ntohs(addr.sin_port);
  Client = TSSHClient::Create("127.0.0.1", port, kSshUser, kSshPassword, "", 80, 24, false);
  Log = RecordTransport(*Client);
  ASSERT_TRUE(WaitEnd(*Log));
  EXPECT_FALSE(Log->WasConnected());
  EXPECT_EQ(Log->DisconnectText(), "SSH connection failed: could not connect to 127.0.0.1");
  close(held);
}

TEST_F(SSHClientThreads, AHandshakeThatFailsEndsWithItsTextAndTheServersReason) {
  // An SSH disconnect in the clear right after the banner (RFC 4253,
  // sections 6 and 11.1): reason 2, description "go away", 7 bytes of padding.
  const std::string disconnect = std::string("SSH-2.0-Test\r\n") + std::string("\0\0\0\x1c\x07\x01\0\0\0\x02", 10) +
                                 std::string("\0\0\0\x07go away\0\0\0\0", 15) + std::string(7, '\0');
  const struct {
    const char* Name;
    std::string PeerSends;
    std::string Pattern;
  } rows[] = {
      {"no SSH server", "HTTP/1.0 400 Bad Request\r\n\r\n", R"(SSH handshake with 127\.0\.0\.1 failed \(.+, code -?\d+\))"},
      {"server disconnects", disconnect,
       R"(SSH handshake with 127\.0\.0\.1 failed \(.+, code -?\d+\) )"
       R"(\[server sent SSH disconnect: protocol error - "go away"\])"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    sockaddr_in addr{};
    int listener = BoundLoopbackSocket(addr);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(listen(listener, 1), 0);
    auto client = TSSHClient::Create("127.0.0.1", ntohs(addr.sin_port), kSshUser, kSshPassword, "", 80, 24, false);
    auto log = RecordTransport(*client);
    int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(write(peer, row.PeerSends.data(), row.PeerSends.size()), static_cast<ssize_t>(row.PeerSends.size()));
    // The server's end of sending, while it still takes what the client
    // sends: a close with the client's banner unread would answer with a
    // reset, and the reset throws away the server's words before the client
    // has read them.
    shutdown(peer, SHUT_WR);
    ASSERT_TRUE(WaitEnd(*log));
    close(peer);
    EXPECT_EQ(log->Sequence(), "disconnected");
    EXPECT_TRUE(std::regex_match(log->DisconnectText(), std::regex(row.Pattern))) << log->DisconnectText();
    WaitFinished(client);
    close(listener);
  }
}

TEST_F(SSHClientThreads, HangingUpWhileTheConnectWaitsEndsWithoutAWord) {
  // A listener whose accept queue is full drops further connection
  // attempts, so the transport's connect stays in progress.
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  int listener = BoundLoopbackSocket(addr);
  ASSERT_GE(listener, 0);
  ASSERT_EQ(listen(listener, 0), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 3; ++i) {
    int f = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(f, reinterpret_cast<sockaddr*>(&addr), len);
    fillers.push_back(f);
  }
  ServeFor(200);
  Client = TSSHClient::Create("127.0.0.1", ntohs(addr.sin_port), kSshUser, kSshPassword, "", 80, 24, false);
  Log = RecordTransport(*Client);
  ServeFor(600);
  Client->Disconnect();
  EXPECT_TRUE(ServeUntil([&] { return Client->Finished(); }, 5000));
  EXPECT_EQ(Log->Sequence(), "");
  for (int f : fillers) close(f);
  close(listener);
}

TEST(TIacPairFolderTest, FoldsPairsAcrossReads) {
  struct Row {
    const char* Name;
    std::vector<std::string> Reads;
    std::string Expected;
  };
  const std::vector<Row> rows = {
      {"pair in one read", {"a\xFF\xFF" "b"}, "a\xFF" "b"},
      {"pair split across reads", {"a\xFF", "\xFF" "b"}, "a\xFF" "b"},
      {"lone FF then text", {"a\xFF", "b"}, "a\xFF" "b"},
      {"three FF", {"\xFF\xFF\xFF", "c"}, "\xFF\xFF" "c"},
      {"lone FF at the very end", {"a\xFF"}, "a\xFF"},
      {"IAC DO TTYPE untouched", {"\xFF\xFD\x18"}, "\xFF\xFD\x18"},
  };
  for (const Row& row : rows) {
    TIacPairFolder folder;
    std::vector<uint8_t> out;
    for (const std::string& r : row.Reads)
      folder.Fold(reinterpret_cast<const uint8_t*>(r.data()), static_cast<int>(r.size()), out);
    folder.Flush(out);
    EXPECT_EQ(std::string(out.begin(), out.end()), row.Expected) << row.Name;
  }
}
