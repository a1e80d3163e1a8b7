// TelnetS against openssl s_server with throwaway certificates made by the
// test: certificate pinning in tls_known_hosts.txt, client certificates,
// old servers, and handshakes that never finish.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <thread>

#include "TelnetFixture.h"
#include "TlsPeer.h"
#include "core/uDebugLog.h"
#include "net/uOpenSSLTls.h"
#include "platform/AppFolder.h"
#include "tests/support/ChildProcess.h"

using namespace telnettest;
using testsupport::ChildProcess;
using testsupport::ReadWholeFile;
using testsupport::ScratchAppFolder;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class TelnetSTest : public TelnetFixture {
 protected:
  void SetUp() override {
    TelnetFixture::SetUp();
    ASSERT_FALSE(testsupport::FindProgram("openssl").empty()) << "the openssl program is needed (package openssl)";
    ASSERT_TRUE(TlsLibraryUsable()) << "OpenSSL 3 must be linked in the build's dll folder";
  }
  std::string PinFile() const { return ReadWholeFile(FApp.File("tls_known_hosts.txt")); }
  static std::shared_ptr<TTelnetClient> Dial(const std::string& host, uint16_t port, bool trust = false,
                                             const std::string& cert = "", const std::string& key = "",
                                             const std::string& password = "") {
    return TTelnetClient::Create(host, port, "ansi", 80, 25, true, trust, cert, key, password);
  }

  ScratchAppFolder FApp;
  TempDir FDir;
};

}  // namespace

TEST_F(TelnetSTest, FirstContactPinsTheCertificateSilentlyAndTheCallRunsOverTls) {
  TCert cert = MakeCert(FDir, "board");
  TlsServer server(FDir, cert);
  const uint16_t port = server.Port();
  const std::string pinLine = "localhost:" + std::to_string(port) + "=" + cert.Fingerprint + "\n";

  TCall call(Dial("LocalHost", port));
  ASSERT_TRUE(call.WaitConnected()) << call.Log->DisconnectText();
  EXPECT_EQ(call.Log->Events.front().Text, "Connected to LocalHost");
  EXPECT_TRUE(call.Log->Statuses().empty());
  EXPECT_EQ(PinFile(), pinLine);

  // The opening offers travel inside TLS, then data both ways.
  const std::string offers(kOffers.begin(), kOffers.end());
  ASSERT_TRUE(testsupport::ServeUntil([&] { return server.Output().find(offers) != std::string::npos; }, 5000))
      << testsupport::HexText(ToBytes(server.Output()));
  server.Send("hello from the board\n");
  ASSERT_TRUE(testsupport::ServeUntil([&] { return call.Log->Data.find("hello from the board") != std::string::npos; }));
  call.Client->SendString("typed\r");
  const std::string typed("typed\r\0", 7);
  EXPECT_TRUE(testsupport::ServeUntil([&] { return server.Output().find(typed) != std::string::npos; }, 5000));
  call.Client->Disconnect();
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->DisconnectText(), "Disconnected");
  EXPECT_TRUE(call.WaitFreed());

  // The second call matches the pin and leaves the file as it was.
  TCall again(Dial("localhost", port));
  ASSERT_TRUE(again.WaitConnected()) << again.Log->DisconnectText();
  EXPECT_TRUE(again.Log->Statuses().empty());
  EXPECT_EQ(PinFile(), pinLine);
  // At the end of its input s_server ends the call. It must have read the
  // offers first: a close with unread data would be a reset.
  auto offersSeen = [&] {
    const std::string out = server.Output();
    size_t first = out.find(offers);
    return first != std::string::npos && out.find(offers, first + 1) != std::string::npos;
  };
  ASSERT_TRUE(testsupport::ServeUntil(offersSeen, 5000));
  server.EndInput();
  ASSERT_TRUE(again.WaitDisconnected());
  EXPECT_EQ(again.Log->DisconnectText(), "Disconnected");
  EXPECT_TRUE(again.Client->RemoteClosed);
}

// Placeholders in the rows: {P} the port, {A} the old certificate's
// fingerprint, {B} the board's current one, {b} the same in lower case.
struct TPinRow {
  const char* Name;
  std::string FileBefore;
  bool Trust;
  bool Accepted;
  std::string Text;  // the status text (accepted) or the disconnect text (refused)
  std::string FileAfter;
};

const std::string kRefused =
    "TelnetS REFUSED: certificate for LocalHost:{P} does not match the one seen previously (SHA256:{B}). This "
    "usually means the server's certificate was renewed or reinstalled - or someone is intercepting the "
    "connection. If you're sure the new certificate is correct, set 'TelnetS Trust New Cert' to Yes on this "
    "entry and reconnect (it turns itself back off afterward), or edit tls_known_hosts.txt by hand.";
const std::string kAcceptedChange =
    "TelnetS: certificate for LocalHost:{P} changed and was accepted (SHA256:{B}) - TelnetS Trust New Cert is now "
    "back off for this entry";

void PrintTo(const TPinRow& row, std::ostream* os) { *os << row.Name; }

class TelnetSPinTest : public TelnetSTest, public ::testing::WithParamInterface<TPinRow> {};

TEST_P(TelnetSPinTest, PinDecision) {
  const TPinRow& row = GetParam();
  TCert old = MakeCert(FDir, "old");
  TCert board = MakeCert(FDir, "board");
  TlsServer server(FDir, board);
  const uint16_t port = server.Port();
  auto fill = [&](std::string s) {
    s = Replace(s, "{P}", std::to_string(port));
    s = Replace(s, "{Q}", std::to_string(port + 1));
    s = Replace(s, "{A}", old.Fingerprint);
    s = Replace(s, "{B}", board.Fingerprint);
    return Replace(s, "{b}", Lower(board.Fingerprint));
  };
  if (!row.FileBefore.empty()) {
    ASSERT_TRUE(WriteWholeFile(FApp.File("tls_known_hosts.txt"), fill(row.FileBefore)));
  }

  TCall call(Dial("LocalHost", port, row.Trust));
  ASSERT_TRUE(testsupport::ServeUntil([&] { return call.Log->WasConnected() || call.Log->Disconnected(); }));
  if (row.Accepted) {
    EXPECT_TRUE(call.Log->WasConnected()) << call.Log->DisconnectText();
    std::vector<std::string> expected;
    if (!row.Text.empty()) expected.push_back(fill(row.Text));
    EXPECT_EQ(call.Log->Statuses(), expected);
    EXPECT_EQ(call.Log->Sequence(), row.Text.empty() ? "connected" : "status,connected");
  } else {
    EXPECT_EQ(call.Log->Sequence(), "disconnected");
    EXPECT_EQ(call.Log->DisconnectText(), fill(row.Text));
  }
  EXPECT_EQ(PinFile(), fill(row.FileAfter));
  call.Client->Disconnect();
  EXPECT_TRUE(call.WaitFreed());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TelnetSPinTest,
    ::testing::Values(
        TPinRow{"FirstContactAppendsOneLineAndKeepsOtherLines", "# pins\nbbs.example:992=00FF\n", false, true, "",
                "# pins\nbbs.example:992=00FF\nlocalhost:{P}={B}\n"},
        TPinRow{"StoredLowerCaseMatches", "localhost:{P}={b}\n", false, true, "", "localhost:{P}={b}\n"},
        TPinRow{"ChangedCertificateIsRefused", "localhost:{P}={A}\n", false, false, kRefused, "localhost:{P}={A}\n"},
        TPinRow{"ChangedCertificateWithTrustIsAcceptedAndReplacesThePin", "x\nlocalhost:{P}={A}\ny\n", true, true,
                kAcceptedChange, "x\nlocalhost:{P}={B}\ny\n"},
        TPinRow{"OnlyTheFirstOfTwoLinesCounts", "localhost:{P}={B}\nlocalhost:{P}={A}\n", false, true, "",
                "localhost:{P}={B}\nlocalhost:{P}={A}\n"},
        TPinRow{"OnlyTheFirstOfTwoLinesIsReplaced", "localhost:{P}={A}\nlocalhost:{P}={A}\n", true, true,
                kAcceptedChange, "localhost:{P}={B}\nlocalhost:{P}={A}\n"},
        TPinRow{"AKeyWithCapitalsNeverMatches", "LocalHost:{P}={A}\n", false, true, "",
                "LocalHost:{P}={A}\nlocalhost:{P}={B}\n"},
        TPinRow{"TheSameHostOnAnotherPortIsAnotherPin", "localhost:{Q}={A}\n", false, true, "",
                "localhost:{Q}={A}\nlocalhost:{P}={B}\n"},
        TPinRow{"CrLfLinesAreRead", "localhost:{P}={B}\r\n", false, true, "", "localhost:{P}={B}\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TelnetSTest, AnUnwritablePinFileIsReportedAndTheCallStillOpens) {
  TCert board = MakeCert(FDir, "board");
  TlsServer server(FDir, board);
  // A folder in the temporary file's place makes the save fail.
  ASSERT_EQ(mkdir(FApp.File("tls_known_hosts.txt.tmp").c_str(), 0755), 0);
  TCall call(Dial("127.0.0.1", server.Port()));
  ASSERT_TRUE(call.WaitConnected()) << call.Log->DisconnectText();
  auto statuses = call.Log->Statuses();
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0].rfind("TelnetS: could not save the certificate pin: ", 0), 0u) << statuses[0];
  call.Client->Disconnect();
  EXPECT_TRUE(call.WaitFreed());
}

TEST_F(TelnetSTest, APinFileThatCannotBeReadRefusesTheCallAndIsKept) {
  TCert board = MakeCert(FDir, "board");
  TlsServer server(FDir, board);
  // A folder in the pin file's place opens but cannot be read (EISDIR, also
  // for root): it is not a first contact.
  ASSERT_EQ(mkdir(FApp.File("tls_known_hosts.txt").c_str(), 0755), 0);
  TCall call(Dial("127.0.0.1", server.Port()));
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->Sequence(), "disconnected");
  EXPECT_EQ(call.Log->DisconnectText(), "TelnetS REFUSED: cannot read " + FApp.File("tls_known_hosts.txt") + ": " +
                                            std::strerror(EISDIR) + " (errno " + std::to_string(EISDIR) +
                                            ") - the certificate of 127.0.0.1 cannot be verified");
  struct stat st {};
  ASSERT_EQ(stat(FApp.File("tls_known_hosts.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_TRUE(call.WaitFreed());
}

TEST_F(TelnetSTest, AnOldTls10BoardIsReached) {
  TCert board = MakeCert(FDir, "board");
  TlsServer server(FDir, board, {"-tls1", "-cipher", "ALL:@SECLEVEL=0"});
  TCall call(Dial("127.0.0.1", server.Port()));
  ASSERT_TRUE(call.WaitConnected()) << call.Log->DisconnectText();
  server.Send("old board\n");
  EXPECT_TRUE(testsupport::ServeUntil([&] { return call.Log->Data.find("old board") != std::string::npos; }));
  call.Client->Disconnect();
  EXPECT_TRUE(call.WaitFreed());
}

struct TClientCertRow {
  const char* Name;
  const char* Cert;  // "client", "other" or a missing file
  const char* Key;   // "" for the key in the certificate's own key file
  const char* Password;
  const char* Failure;  // empty: the call opens; else the text after "TelnetS failed: "
};

void PrintTo(const TClientCertRow& row, std::ostream* os) { *os << row.Name; }

class TelnetSClientCertTest : public TelnetSTest, public ::testing::WithParamInterface<TClientCertRow> {};

TEST_P(TelnetSClientCertTest, ClientCertificate) {
  const TClientCertRow& row = GetParam();
  TCert board = MakeCert(FDir, "board");
  TCert client = MakeCert(FDir, "client", "secret");
  TCert other = MakeCert(FDir, "other");
  auto path = [&](const std::string& name, bool key) {
    if (name.empty()) return std::string();
    if (name == "client") return key ? client.Key : client.Cert;
    if (name == "other") return key ? other.Key : other.Cert;
    return FDir.File(name);
  };
  const std::string certPath = path(row.Cert, false);
  const std::string keyPath = *row.Key ? path(row.Key, true) : path(row.Cert, true);
  // TLS 1.2 so that a missing client certificate fails the handshake itself.
  TlsServer server(FDir, board, {"-tls1_2", "-Verify", "1", "-CAfile", client.Cert});
  TCall call(Dial("127.0.0.1", server.Port(), false, certPath, keyPath, row.Password));
  ASSERT_TRUE(testsupport::ServeUntil([&] { return call.Log->WasConnected() || call.Log->Disconnected(); }, 20000));
  if (!*row.Failure) {
    EXPECT_TRUE(call.Log->WasConnected()) << call.Log->DisconnectText();
  } else {
    EXPECT_EQ(call.Log->Sequence(), "disconnected");
    EXPECT_EQ(call.Log->DisconnectText(),
              Replace(Replace(std::string("TelnetS failed: ") + row.Failure, "{cert}", certPath), "{key}", keyPath));
  }
  call.Client->Disconnect();
  EXPECT_TRUE(call.WaitFreed());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TelnetSClientCertTest,
    ::testing::Values(
        TClientCertRow{"KeyUnlockedWithThePassword", "client", "", "secret", ""},
        TClientCertRow{"WrongPassword", "client", "", "wrong",
                       "Could not load TLS client private key: {key} (wrong password, or the file was not found)"},
        // Without a password the key fails at once instead of waiting for
        // someone to type one on a terminal.
        TClientCertRow{"EncryptedKeyWithoutPassword", "client", "", "",
                       "Could not load TLS client private key: {key} (wrong password, or the file was not found)"},
        TClientCertRow{"MissingCertificateFile", "missing.crt", "client", "secret",
                       "Could not load TLS client certificate: {cert}"},
        // OpenSSL 3 checks the key against the loaded certificate already
        // while loading it.
        TClientCertRow{"KeyOfAnotherCertificate", "client", "other", "",
                       "Could not load TLS client private key: {key} (wrong password, or the file was not found)"},
        TClientCertRow{"NoClientCertificateForABoardThatWantsOne", "", "", "",
                       "TLS handshake failed (SSL_get_error=1)"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TelnetSTest, ABoardThatNeverAnswersTlsEndsTheCallAfterFifteenSeconds) {
  testsupport::LoopbackListener silent;
  uint64_t start = platform::TickMs();
  TCall call(Dial("127.0.0.1", silent.Port()));
  auto peer = silent.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitDisconnected(30000));
  uint64_t took = platform::TickMs() - start;
  EXPECT_EQ(call.Log->DisconnectText(), "TelnetS failed: TLS handshake timed out after 15 s");
  EXPECT_EQ(call.Log->Sequence(), "disconnected");
  EXPECT_GE(took, 14500u);
  EXPECT_LT(took, 20000u) << "a busy machine may run the thread late, but not by seconds";
  EXPECT_TRUE(call.WaitFreed());
}

TEST_F(TelnetSTest, AHangUpDuringTheHandshakeEndsTheThreadAtOnce) {
  testsupport::LoopbackListener silent;
  TCall call(Dial("127.0.0.1", silent.Port()));
  auto peer = silent.Accept();
  ASSERT_TRUE(peer);
  testsupport::ServeFor(300);
  call.Client->Disconnect();
  uint64_t start = platform::TickMs();
  // A busy machine may take a while to run the thread, but far less than
  // the handshake's own 15 s time-out.
  ASSERT_TRUE(call.WaitDisconnected(10000));
  EXPECT_LT(platform::TickMs() - start, 5000u);
  EXPECT_EQ(call.Log->Sequence(), "disconnected");
  EXPECT_EQ(call.Log->DisconnectText(), "TelnetS failed: TLS handshake cancelled");
  EXPECT_TRUE(call.WaitFreed(10000));
  EXPECT_TRUE(peer->WaitClosed());
}

TEST_F(TelnetSTest, ABoardThatDropsTheConnectionDuringTheHandshakeFailsTheCall) {
  testsupport::LoopbackListener board;
  TCall call(Dial("127.0.0.1", board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  peer->ReadExactly(1);  // the client hello has started
  peer->Close();
  ASSERT_TRUE(call.WaitDisconnected(5000));
  EXPECT_EQ(call.Log->DisconnectText().rfind("TelnetS failed: TLS handshake failed (SSL_get_error=", 0), 0u)
      << call.Log->DisconnectText();
}

// Loading happens once per process, so these run in a fresh copy of this
// test program.
TEST(TelnetSWithoutOpenSsl, EveryCallFailsWithTheLibraryText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TempDir empty;  // no dll folder in it
        platform::SetAppFolder(empty.Path());
        platform::SetInterfaceThread();
        const std::string text = "libssl.so.3 / libcrypto.so.3 not found or missing required exports";
        TTlsSession session;
        if (session.Connect(-1, "host", "", "", "") || session.LastError != text) _exit(1);
        testsupport::LoopbackListener board;
        TCall call(TTelnetClient::Create("127.0.0.1", board.Port(), "ansi", 80, 25, true, false, "", "", ""));
        if (!call.WaitDisconnected(5000)) _exit(2);
        if (call.Log->Sequence() != "disconnected" || call.Log->DisconnectText() != "TelnetS failed: " + text) _exit(3);
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(TelnetSLibraryLoading, LogsWhatItFoundOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ScratchAppFolder app;
        LogEnabled = true;
        LogOpen(app.File("debug.log"));
        TTlsSession first;
        TTlsSession second;
        LogClose();
        const std::string log = ReadWholeFile(app.File("debug.log"));
        const std::string line =
            "uOpenSSLTls: EnsureLoaded - core=True peer_cert=True x509_digest=True evp_sha256=True";
        size_t at = log.find(line);
        if (at == std::string::npos) _exit(1);
        if (log.find(line, at + 1) != std::string::npos) _exit(2);  // loaded once only
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}
