#include "net/uSSHClient.h"
#include "core/uErrnoText.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "core/uDebugLog.h"
#include "core/uFileReplace.h"
#include "net/uTelnetClient.h"
#include "platform/AppFolder.h"
#include "platform/Tick.h"

namespace {

constexpr int kConnectWaitMs = 10000, kConnectSliceMs = 200;
constexpr long kLoginTimeoutMs = 10000, kShellTimeoutMs = 50;
constexpr size_t kReadChunk = 4096;
// How long a pass waits while the received bytes cannot be taken.
constexpr int kHoldPassMs = 20;
constexpr int kTelnetLookAhead = 64, kTelnetIacWindow = 16;

// libssh2 starts and stops process-wide; the first transport in starts it and
// the last one out stops it. A lock (not bare counting) keeps one transport's
// stop from racing another's start.
std::mutex gUseLock;
int gUseCount = 0;

bool AcquireLibSsh2() {
  std::lock_guard<std::mutex> hold(gUseLock);
  if (gUseCount == 0) {
    if (!LoadLibSsh2()) return false;
    LibSsh2().init(0);
  }
  ++gUseCount;
  return true;
}

void ReleaseLibSsh2() {
  std::lock_guard<std::mutex> hold(gUseLock);
  if (--gUseCount == 0) LibSsh2().exit();
}

// The session allocates through these, so keyboard-interactive answers made
// with SshAlloc are freed by libssh2 with the matching call.
void* SshAlloc(size_t count, void**) { return std::malloc(count); }
void SshFree(void* ptr, void**) { std::free(ptr); }
void* SshRealloc(void* ptr, size_t count, void**) { return std::realloc(ptr, count); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool SameText(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::string HexUpper(const uint8_t* p, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 15];
  }
  return s;
}


// The pin file is read and written whole; lines it does not understand are
// carried along.
std::vector<std::string> PinLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::string SshKnownHostsPath() { return platform::AppFolder() + "ssh_known_hosts.txt"; }

std::string SshHostKeyTypeName(int keyType) {
  switch (keyType) {
    case ssh2::kHostkeyTypeRsa: return "ssh-rsa";
    case ssh2::kHostkeyTypeEcdsa256: return "ecdsa-sha2-nistp256";
    case ssh2::kHostkeyTypeEcdsa384: return "ecdsa-sha2-nistp384";
    case ssh2::kHostkeyTypeEcdsa521: return "ecdsa-sha2-nistp521";
    case ssh2::kHostkeyTypeEd25519: return "ssh-ed25519";
    default: return "unknown";
  }
}

std::string SshDisconnectReasonText(int code) {
  static const char* const kTexts[] = {"host not allowed to connect",
                                       "protocol error",
                                       "key exchange failed",
                                       "reserved",
                                       "MAC error",
                                       "compression error",
                                       "service not available",
                                       "protocol version not supported",
                                       "host key not verifiable",
                                       "connection lost",
                                       "disconnected by application",
                                       "too many connections",
                                       "authentication cancelled by user",
                                       "no more authentication methods available",
                                       "illegal user name"};
  if (code >= 1 && code <= 15) return kTexts[code - 1];
  return "unknown reason " + std::to_string(code);
}

void TIacPairFolder::Fold(const uint8_t* data, int count, std::vector<uint8_t>& out) {
  for (int i = 0; i < count; ++i) {
    uint8_t b = data[i];
    if (FHeldFF) {
      FHeldFF = false;
      out.push_back(tnIAC);
      if (b == tnIAC) continue;  // the pair became the one $FF just written
    } else if (b == tnIAC) {
      FHeldFF = true;
      continue;
    }
    out.push_back(b);
  }
}

void TIacPairFolder::Flush(std::vector<uint8_t>& out) {
  if (FHeldFF) out.push_back(tnIAC);
  FHeldFF = false;
}

std::shared_ptr<TSSHClient> TSSHClient::Create(const std::string& host, uint16_t port, const std::string& user,
                                               const std::string& password, const std::string& keyFile,
                                               uint16_t cols, uint16_t rows, bool trustNewKey) {
  std::shared_ptr<TSSHClient> client(
      new TSSHClient(host, port, user, password, keyFile, cols, rows, trustNewKey));
  if (!client->Start()) {
    LogLine("SSH: could not start the transport thread for " + host);
    return nullptr;
  }
  return client;
}

TSSHClient::TSSHClient(const std::string& host, uint16_t port, const std::string& user, const std::string& password,
                       const std::string& keyFile, uint16_t cols, uint16_t rows, bool trustNewKey)
    : FHost(host),
      FPort(port),
      FUser(user),
      FPassword(password),
      FKeyFile(keyFile),
      FTrustNewKey(trustNewKey),
      FCols(cols),
      FRows(rows) {
  FSendBuf.reserve(4096);
}

TSSHClient::~TSSHClient() {
  // The thread body releases everything on every path; this only covers a
  // transport whose thread never ran.
  FreeSession();
  CloseSocket();
}

void TSSHClient::SendBytes(const uint8_t* data, int count) {
  if (count <= 0) return;
  BytesSent += count;
  bool doubleIac = FTelnetShaped.load();
  std::lock_guard<std::mutex> hold(FSendLock);
  for (int i = 0; i < count; ++i) {
    FSendBuf.push_back(data[i]);
    if (doubleIac && data[i] == tnIAC) FSendBuf.push_back(tnIAC);
  }
}

size_t TSSHClient::SendBacklog() {
  std::lock_guard<std::mutex> hold(FSendLock);
  return FSendBuf.size() + FWriteQueued;
}

void TSSHClient::SendString(const std::string& s) {
  if (s.empty()) return;
  SendBytes(reinterpret_cast<const uint8_t*>(s.data()), static_cast<int>(s.size()));
}

void TSSHClient::Disconnect() { FStop = true; }

void TSSHClient::SetWindowSize(uint16_t cols, uint16_t rows) {
  // libssh2 serves one thread per session: the transport thread sends the
  // change on its next pass.
  FCols = cols;
  FRows = rows;
  FResizePending = true;
}

void TSSHClient::Execute() {
  if (!AcquireLibSsh2()) {
    Report(TReportKind::rkDisconnected, "SSH connection failed: " + LibSsh2LoadError());
    return;
  }
  if (ConnectSocket() && StartSession() && CheckHostKey() && Authenticate() && OpenShell()) {
    LibSsh2().session_set_timeout(FSession, kShellTimeoutMs);
    Connected = true;
    Report(TReportKind::rkConnected, "Connected to " + FHost + " (SSH)");
    ReceiveLoop();
    Teardown();
  }
  FreeSession();
  CloseSocket();
  ReleaseLibSsh2();
}

bool TSSHClient::ConnectSocket() {
  sockaddr_in addr;
  if (!ResolveHostAddr(FHost, FPort, addr)) {
    Report(TReportKind::rkDisconnected, "SSH connection failed: could not resolve " + FHost);
    return false;
  }
  FSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FSocket < 0) {
    Report(TReportKind::rkDisconnected, "SSH connection failed: socket() error " + ErrnoText(errno));
    return false;
  }
  int one = 1;
  setsockopt(FSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  int flags = fcntl(FSocket, F_GETFL, 0);
  fcntl(FSocket, F_SETFL, flags | O_NONBLOCK);
  if (connect(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS) {
    int err = errno;
    CloseSocket();
    Report(TReportKind::rkDisconnected, "SSH connection failed: connect() error " + ErrnoText(err));
    return false;
  }
  bool connected = false;
  for (int elapsed = 0; elapsed < kConnectWaitMs && !FStop && !Terminated(); elapsed += kConnectSliceMs) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(FSocket, &writable);
    FD_SET(FSocket, &failed);
    timeval tv{0, kConnectSliceMs * 1000};
    int n = select(FSocket + 1, nullptr, &writable, &failed, &tv);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || FD_ISSET(FSocket, &failed)) break;
    if (FD_ISSET(FSocket, &writable)) {
      int err = 0;
      socklen_t len = sizeof err;
      connected = getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
      break;
    }
  }
  if (FStop || Terminated()) {
    // Hung up before the call existed: end without a word.
    CloseSocket();
    return false;
  }
  if (!connected) {
    CloseSocket();
    Report(TReportKind::rkDisconnected, "SSH connection failed: could not connect to " + FHost);
    return false;
  }
  fcntl(FSocket, F_SETFL, flags & ~O_NONBLOCK);
  return true;
}

bool TSSHClient::StartSession() {
  const TLibSsh2Api& api = LibSsh2();
  FSession = api.session_init_ex(SshAlloc, SshFree, SshRealloc, this);
  if (!FSession) {
    Report(TReportKind::rkDisconnected, "SSH connection failed: libssh2_session_init failed");
    return false;
  }
  api.session_callback_set(FSession, ssh2::kCallbackDisconnect, reinterpret_cast<void*>(&DisconnectCallback));
  api.session_set_blocking(FSession, 1);
  api.session_set_timeout(FSession, kLoginTimeoutMs);
  if (api.session_handshake(FSession, FSocket) != 0) {
    Report(TReportKind::rkDisconnected, "SSH handshake with " + FHost + " failed" + LastErrorText());
    return false;
  }
  return true;
}

bool TSSHClient::CheckHostKey() {
  const TLibSsh2Api& api = LibSsh2();
  const char* hash = api.hostkey_hash(FSession, ssh2::kHostkeyHashSha256);
  if (!hash) {
    Report(TReportKind::rkDisconnected, "SSH handshake failed: could not read " + FHost + "'s host key");
    return false;
  }
  std::string fingerprint = HexUpper(reinterpret_cast<const uint8_t*>(hash), 32);
  size_t keyLen = 0;
  int keyType = 0;
  std::string type = api.session_hostkey(FSession, &keyLen, &keyType) ? SshHostKeyTypeName(keyType) : "unknown";

  std::string key = Lower(FHost) + ":" + std::to_string(FPort);
  std::replace_if(key.begin(), key.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  std::string path = SshKnownHostsPath();
  // Only a missing file is a first contact. A pin file that is there but
  // cannot be read verifies nothing, and saving over it would lose every pin.
  std::string text, readError;
  if (ReadFileContents(path, text, readError) == TReadResult::Failed) {
    LogLine("SSH: " + readError);
    Report(TReportKind::rkDisconnected,
           "SSH REFUSED: " + readError + " - the host key of " + FHost + " cannot be verified");
    api.session_disconnect_ex(FSession, ssh2::kDisconnectByApplication, "Host key rejected", "");
    return false;
  }
  std::vector<std::string> lines = PinLines(text);
  std::string pinLine = key + "=" + type + ":" + fingerprint;
  auto found = std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.rfind(key + "=", 0) == 0; });
  auto save = [&] {
    std::string text, err;
    for (const std::string& line : lines) text += line + "\n";
    if (WriteFileReplacing(path, text, err)) return;
    LogLine("SSH: pin file not saved: " + err);
    Report(TReportKind::rkStatus, "SSH: could not save " + path + " - " + err);
  };
  if (found == lines.end()) {
    lines.push_back(pinLine);
    save();
    return true;
  }
  std::string value = found->substr(key.size() + 1);
  size_t colon = value.find(':');
  std::string storedType = colon == std::string::npos ? "" : value.substr(0, colon);
  std::string storedPrint = colon == std::string::npos ? value : value.substr(colon + 1);
  std::string hostPort = FHost + ":" + std::to_string(FPort);
  if (SameText(storedPrint, fingerprint)) {
    if (storedType.empty() || !SameText(storedType, type)) {
      *found = pinLine;
      save();
    }
    return true;
  }
  if (FTrustNewKey) {
    FTrustNewKey = false;
    *found = pinLine;
    save();
    Report(TReportKind::rkStatus, "SSH: host key for " + hostPort + " changed and was accepted (" + type +
                                      " SHA256:" + fingerprint + ") - " +
                                      "SSH Trust New Key is now back off for this entry");
    return true;
  }
  Report(TReportKind::rkDisconnected,
         "SSH REFUSED: host key for " + hostPort + " does not match the one seen previously (now offering " + type +
             " SHA256:" + fingerprint + "). " + "This usually means the server was reinstalled - or someone is " +
             "intercepting the connection. If you're sure the new key is " +
             "correct, set 'SSH Trust New Key' to Yes on this entry and " +
             "reconnect (it turns itself back off afterward), or edit " + "ssh_known_hosts.txt" + " by hand.");
  api.session_disconnect_ex(FSession, ssh2::kDisconnectByApplication, "Host key rejected", "");
  return false;
}

bool TSSHClient::Authenticate() {
  const TLibSsh2Api& api = LibSsh2();
  auto authenticated = [&] { return api.userauth_authenticated(FSession) != 0; };
  auto accepted = [&](int rc) { return rc == 0 && authenticated(); };
  bool ok = authenticated();
  if (!ok) {
    const char* list = api.userauth_list(FSession, FUser.c_str(), static_cast<unsigned>(FUser.size()));
    FAuthMethods = "," + Lower(list ? list : "") + ",";
    // A server that lets the user in with "none" answers the list request
    // with success instead of a list.
    ok = authenticated();
  }
  auto offers = [&](const char* method) { return FAuthMethods.find(std::string(",") + method + ",") != std::string::npos; };
  if (!ok && offers("publickey")) ok = AgentAuth();
  if (!ok && !FKeyFile.empty() && offers("publickey"))
    ok = accepted(libssh2_userauth_publickey_fromfile(FSession, FUser, "", FKeyFile, FPassword));
  if (!ok && offers("password")) ok = accepted(libssh2_userauth_password(FSession, FUser, FPassword));
  if (!ok && offers("keyboard-interactive"))
    ok = accepted(libssh2_userauth_keyboard_interactive(FSession, FUser, &KbdInteractiveResponse));
  if (ok) return true;
  Report(TReportKind::rkDisconnected, "SSH login to " + FHost + " as '" + FUser + "' failed - " +
                                          "check the username/password (or key file) on this entry" +
                                          " [server offers: " + FAuthMethods + "]" + LastErrorText());
  api.session_disconnect_ex(FSession, ssh2::kDisconnectByApplication, "Auth failed", "");
  return false;
}

bool TSSHClient::AgentAuth() {
  if (!LibSsh2AgentAvailable()) return false;
  const TLibSsh2Api& api = LibSsh2();
  LIBSSH2_AGENT* agent = api.agent_init(FSession);
  if (!agent) return false;
  bool ok = false;
  if (api.agent_connect(agent) == 0 && api.agent_list_identities(agent) == 0) {
    libssh2_agent_publickey* identity = nullptr;
    libssh2_agent_publickey* previous = nullptr;
    // Identities in the agent's order; one the server turns down is not an
    // error that ends the search.
    while (!ok && api.agent_get_identity(agent, &identity, previous) == 0) {
      ok = api.agent_userauth(agent, FUser.c_str(), identity) == 0 && api.userauth_authenticated(FSession);
      previous = identity;
    }
  }
  api.agent_disconnect(agent);
  api.agent_free(agent);
  return ok;
}

bool TSSHClient::OpenShell() {
  FChannel = libssh2_channel_open_session(FSession);
  if (!FChannel) {
    Report(TReportKind::rkDisconnected, "SSH channel open to " + FHost + " failed" + LastErrorText());
    return false;
  }
  FResizePending = false;  // the pty is asked for at the latest size
  if (libssh2_channel_request_pty(FChannel, "vt100", FCols, FRows) != 0) {
    Report(TReportKind::rkDisconnected, "SSH pty request to " + FHost + " failed" + LastErrorText());
    return false;
  }
  if (libssh2_channel_shell(FChannel) != 0) {
    Report(TReportKind::rkDisconnected, "SSH shell request to " + FHost + " failed" + LastErrorText());
    return false;
  }
  return true;
}

void TSSHClient::ReceiveLoop() {
  const TLibSsh2Api& api = LibSsh2();
  char chunk[kReadChunk];
  while (!FStop && !Terminated()) {
    ApplyPendingResize();
    Flush(false);
    if (FWriteQueue.Stalled(platform::TickMs(), SendStallMs)) {
      const std::string seconds = std::to_string(SendStallMs / 1000);
      LogLine("SSH: nothing could be sent for " + seconds + " s (" + std::to_string(FWriteQueue.Size()) +
              " bytes waiting) - the BBS stopped reading; call ended");
      FEndDetail = " - the BBS stopped reading (nothing could be sent for " + seconds + " s)";
      break;
    }
    // While the queue is long the board is not read: what it sends waits
    // in its window, and nothing it asks for is answered meanwhile. The
    // write above has waited for room already.
    if (!FWriteQueue.MayRead(platform::TickMs())) continue;
    if (HoldReceive) {
      // Whoever takes the received bytes is full: the server's window holds
      // the rest meanwhile.
      poll(nullptr, 0, kHoldPassMs);
      continue;
    }
    ssize_t n = libssh2_channel_read(FChannel, chunk, sizeof chunk);
    if (n > 0) {
      const uint8_t* bytes = reinterpret_cast<const uint8_t*>(chunk);
      LogHex("RECV", bytes, static_cast<size_t>(n));
      DetectTelnet(bytes, static_cast<int>(n));
      FRecvBuf.clear();
      if (FTelnetShaped)
        FFolder.Fold(bytes, static_cast<int>(n), FRecvBuf);
      else
        FRecvBuf.assign(bytes, bytes + n);
      DeliverData(FRecvBuf.data(), static_cast<int>(FRecvBuf.size()));
    } else if (n < 0) {
      int err = api.session_last_errno(FSession);
      if (err != ssh2::kErrorEagain && err != ssh2::kErrorTimeout && err != ssh2::kErrorSocketTimeout) {
        FEndDetail = " - libssh2_channel_read failed" + LastErrorText();
        break;
      }
    }
    if (api.channel_eof(FChannel)) {
      FEndDetail = " - remote end sent channel EOF";
      RemoteClosed = true;
      break;
    }
  }
}

void TSSHClient::Teardown() {
  const TLibSsh2Api& api = LibSsh2();
  Flush(true);
  // A $FF held back for its partner goes out as it came.
  FRecvBuf.clear();
  FFolder.Flush(FRecvBuf);
  DeliverData(FRecvBuf.data(), static_cast<int>(FRecvBuf.size()));
  Connected = false;
  Report(TReportKind::rkDisconnected, "Disconnected" + FEndDetail);
  api.channel_close(FChannel);
  api.channel_free(FChannel);
  FChannel = nullptr;
  api.session_disconnect_ex(FSession, ssh2::kDisconnectByApplication, "", "");
}

void TSSHClient::FreeSession() {
  if (!FSession) return;
  const TLibSsh2Api& api = LibSsh2();
  if (FChannel) api.channel_free(FChannel);
  FChannel = nullptr;
  api.session_free(FSession);
  FSession = nullptr;
}

void TSSHClient::CloseSocket() {
  if (FSocket >= 0) close(FSocket);
  FSocket = -1;
}

void TSSHClient::ApplyPendingResize() {
  if (!FResizePending.exchange(false)) return;
  libssh2_channel_request_pty_size(FChannel, FCols, FRows);
}

void TSSHClient::Flush(bool lastPass) {
  {
    std::lock_guard<std::mutex> hold(FSendLock);
    if (!FSendBuf.empty()) {
      LogHex("SEND", FSendBuf.data(), FSendBuf.size());
      FWriteQueue.Append(FSendBuf.data(), FSendBuf.size());
      FSendBuf.clear();
    }
    FWriteQueued = FWriteQueue.Size();
  }
  while (!FWriteQueue.Empty()) {
    ssize_t n = libssh2_channel_write(FChannel, reinterpret_cast<const char*>(FWriteQueue.Data()), FWriteQueue.Size());
    if (n > 0) {
      FWriteQueue.Consume(static_cast<size_t>(n));
      continue;
    }
    int err = LibSsh2().session_last_errno(FSession);
    bool busy = n == 0 || err == ssh2::kErrorEagain || err == ssh2::kErrorTimeout || err == ssh2::kErrorSocketTimeout;
    if (busy && !lastPass) {
      // The server's window is full: keep the rest, read what it sends, and
      // carry on with the same bytes on the next pass.
      break;
    }
    LogLine("SSH: write failed" + LastErrorText() + "; " + std::to_string(FWriteQueue.Size()) + " bytes not sent");
    FWriteQueue.Clear();
  }
  FWriteQueued = FWriteQueue.Size();
}

void TSSHClient::DetectTelnet(const uint8_t* data, int count) {
  // A Telnet front end opens with IAC WILL/WONT/DO/DONT <option> (RFC 854)
  // within its first bytes.
  for (int i = 0; i < count && !FTelnetShaped && FTelnetChecked < kTelnetLookAhead; ++i) {
    uint8_t b = data[i];
    switch (FTelnetState) {
      case 0:
        if (b == tnIAC && FTelnetChecked < kTelnetIacWindow) FTelnetState = 1;
        break;
      case 1:
        FTelnetState = b >= tnWILL && b <= tnDONT ? 2 : 0;
        break;
      default:
        FTelnetState = 0;
        FTelnetShaped = true;
        LogLine(
            "SSH: server opened with telnet option negotiation - session is telnet-shaped; doubling $FF in "
            "outgoing data from now on");
        break;
    }
    ++FTelnetChecked;
  }
}

std::string TSSHClient::LastErrorText() const {
  if (!FSession) return "";
  char* message = nullptr;
  int length = 0;
  int code = LibSsh2().session_last_error(FSession, &message, &length, 0);
  std::string text = message && length > 0
                         ? " (" + std::string(message, static_cast<size_t>(length)) + ", code " +
                               std::to_string(code) + ")"
                         : " (code " + std::to_string(code) + ")";
  if (FDisconnectReason >= 0) {
    text += " [server sent SSH disconnect: " + SshDisconnectReasonText(FDisconnectReason);
    if (!FDisconnectMessage.empty()) text += " - \"" + FDisconnectMessage + "\"";
    text += "]";
  }
  return text;
}

void TSSHClient::DisconnectCallback(LIBSSH2_SESSION*, int reason, const char* message, int messageLen, const char*,
                                    int, void** abstract) {
  auto* self = static_cast<TSSHClient*>(*abstract);
  self->FDisconnectReason = reason;
  self->FDisconnectMessage = message && messageLen > 0 ? std::string(message, static_cast<size_t>(messageLen)) : "";
}

void TSSHClient::KbdInteractiveResponse(const char*, int, const char*, int, int numPrompts, const TSsh2KbdPrompt*,
                                        TSsh2KbdResponse* responses, void** abstract) {
  // The password of this transport answers every prompt. It is taken from
  // the session's own transport, so two calls logging in at once never
  // answer with each other's password.
  const std::string& password = static_cast<TSSHClient*>(*abstract)->FPassword;
  for (int i = 0; i < numPrompts; ++i) {
    responses[i].text = nullptr;
    responses[i].length = 0;
    if (password.empty()) continue;
    auto* text = static_cast<char*>(SshAlloc(password.size(), nullptr));
    if (!text) continue;
    std::memcpy(text, password.data(), password.size());
    responses[i].text = text;
    responses[i].length = static_cast<unsigned>(password.size());
  }
}
