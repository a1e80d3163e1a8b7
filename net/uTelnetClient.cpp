#include "net/uTelnetClient.h"
#include "core/uErrnoText.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/uDebugLog.h"
#include "core/uFileReplace.h"
#include "net/uOpenSSLTls.h"
#include "platform/AppFolder.h"
#include "platform/Tick.h"

namespace {

constexpr size_t kReadSize = 16384;
constexpr size_t kInitialBufferSize = 4096;
constexpr uint32_t kPollMs = 50;
constexpr uint32_t kConnectPollMs = 200;
constexpr int32_t kRawCheckLimit = 64;
constexpr int32_t kRawIacWindow = 16;


bool AcceptableLocal(uint8_t option) {
  return option == toBINARY || option == toSGA || option == toTTYPE || option == toNAWS;
}
bool AcceptableRemote(uint8_t option) { return option == toBINARY || option == toECHO || option == toSGA; }

std::string LowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

std::string UpperCase(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

}  // namespace

bool ResolveHostAddr(const std::string& host, uint16_t port, sockaddr_in& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  addr.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

std::string DefaultRLoginUser() {
  for (const char* name : {"USERNAME", "USER"}) {
    const char* v = std::getenv(name);
    if (v && *v) return v;
  }
  return "";
}

std::string TlsKnownHostsPath() { return platform::AppFolder() + "tls_known_hosts.txt"; }

// ---------------------------------------------------------------------------
// Construction

std::shared_ptr<TTelnetClient> TTelnetClient::Launch(const TSettings& settings) {
  auto client = std::make_shared<TTelnetClient>(TPrivate{}, settings);
  client->Start();
  return client;
}

std::shared_ptr<TTelnetClient> TTelnetClient::Create(const std::string& host, uint16_t port,
                                                     const std::string& termType, uint16_t cols, uint16_t rows,
                                                     bool useTls, bool trustNewCert, const std::string& certFile,
                                                     const std::string& keyFile, const std::string& password) {
  TSettings s;
  s.Mode = useTls ? TMode::tmTelnetS : TMode::tmTelnet;
  s.Host = host;
  s.Port = port;
  s.TermType = termType;
  s.Cols = cols;
  s.Rows = rows;
  s.TrustNewCert = trustNewCert;
  s.CertFile = certFile;
  s.KeyFile = keyFile;
  s.Password = password;
  return Launch(s);
}

std::shared_ptr<TTelnetClient> TTelnetClient::CreateRLogin(const std::string& host, uint16_t port,
                                                           const std::string& clientUser,
                                                           const std::string& serverUser,
                                                           const std::string& termType, uint16_t cols,
                                                           uint16_t rows) {
  TSettings s;
  s.Mode = TMode::tmRLogin;
  s.Host = host;
  s.Port = port;
  s.ClientUser = clientUser;
  s.ServerUser = serverUser;
  s.TermType = termType;
  s.Cols = cols;
  s.Rows = rows;
  return Launch(s);
}

std::shared_ptr<TTelnetClient> TTelnetClient::CreateRaw(const std::string& host, uint16_t port) {
  TSettings s;
  s.Mode = TMode::tmRaw;
  s.Host = host;
  s.Port = port;
  return Launch(s);
}

TTelnetClient::TTelnetClient(TPrivate, const TSettings& settings)
    : FSettings(settings),
      FNoTelnet(settings.Mode == TMode::tmRLogin || settings.Mode == TMode::tmRaw),
      FRaw(settings.Mode == TMode::tmRaw),
      FUseTls(settings.Mode == TMode::tmTelnetS),
      FTrustNewCert(settings.TrustNewCert),
      FRecvBuf(kInitialBufferSize),
      FReadBuf(kReadSize) {
  FCols = FRaw ? 0 : settings.Cols;
  FRows = FRaw ? 0 : settings.Rows;
  FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  FHoldSends = settings.Mode == TMode::tmRLogin;
}

TTelnetClient::~TTelnetClient() {
  FTls.reset();
  CloseSocket();
  if (FWakeFd >= 0) close(FWakeFd);
}

void TTelnetClient::Wake() {
  if (FWakeFd < 0) return;
  uint64_t one = 1;
  ssize_t ignored = write(FWakeFd, &one, sizeof one);
  (void)ignored;
}

void TTelnetClient::CloseSocket() {
  std::lock_guard<std::mutex> hold(FSendLock);
  if (FSocket >= 0) close(FSocket);
  FSocket = -1;
}

// ---------------------------------------------------------------------------
// Thread body

void TTelnetClient::Execute() {
  if (!ConnectSocket()) return;
  if (FUseTls && !StartTls()) {
    FTls.reset();
    CloseSocket();
    return;
  }
  Connected = true;
  Report(TReportKind::rkConnected, "Connected to " + FSettings.Host);
  if (FSettings.Mode == TMode::tmRLogin) {
    if (!RLoginHandshake()) return;
  } else if (!FNoTelnet) {
    // Initial offers (RFC 854 negotiation): marked as requested first, so the
    // server's agreeing answers get no reply.
    FLocalOpt[toSGA] = FLocalOpt[toBINARY] = FLocalOpt[toTTYPE] = osRequested;
    FRemoteOpt[toSGA] = FRemoteOpt[toBINARY] = FRemoteOpt[toECHO] = osRequested;
    static const uint8_t offers[] = {tnIAC, tnWILL, toSGA,    tnIAC, tnDO, toSGA,  tnIAC, tnWILL, toBINARY,
                                     tnIAC, tnDO,   toBINARY, tnIAC, tnDO, toECHO, tnIAC, tnWILL, toTTYPE};
    QueueSend(offers, sizeof offers);
  }
  Teardown(ReceiveLoop());
}

bool TTelnetClient::ConnectSocket() {
  const std::string& host = FSettings.Host;
  sockaddr_in addr;
  if (!ResolveHostAddr(host, FSettings.Port, addr)) {
    Report(TReportKind::rkDisconnected, "Connection failed: could not resolve " + host);
    return false;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Report(TReportKind::rkDisconnected, "Connection failed: socket() error " + ErrnoText(errno));
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(FSendLock);
    FSocket = fd;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    if (!StopRequested()) return true;
    CloseSocket();  // hung up before the call came up: end silently, as below
    return false;
  }
  if (errno != EINPROGRESS) {
    std::string why = ErrnoText(errno);
    CloseSocket();
    Report(TReportKind::rkDisconnected, "Connection failed: connect() error " + why);
    return false;
  }
  uint32_t elapsed = 0;
  bool ok = false;
  int err = 0;
  while (elapsed < kConnectTimeoutMs && !StopRequested()) {
    pollfd p{fd, POLLOUT, 0};
    int rc = poll(&p, 1, int(kConnectPollMs));
    if (rc < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (rc > 0) {
      socklen_t len = sizeof err;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      ok = err == 0;
      break;
    }
    elapsed += kConnectPollMs;
  }
  if (ok) return true;
  CloseSocket();
  // A hang-up while the connect is still pending ends the call without any
  // report: nobody is listening to it any more.
  if (StopRequested()) return false;
  if (elapsed >= kConnectTimeoutMs) {
    char text[512];
    std::snprintf(text, sizeof text, "Connection failed: timed out connecting to %s after %d s", host.c_str(),
                  int(kConnectTimeoutMs / 1000));
    Report(TReportKind::rkDisconnected, text);
  } else {
    Report(TReportKind::rkDisconnected, "Connection failed: connect() error " + ErrnoText(err));
  }
  return false;
}

bool TTelnetClient::StartTls() {
  FTls = std::make_unique<TTlsSession>();
  if (!FTls->Connect(FSocket, FSettings.Host, FSettings.CertFile, FSettings.KeyFile, FSettings.Password,
                     [this] { return StopRequested(); })) {
    Report(TReportKind::rkDisconnected, "TelnetS failed: " + FTls->LastError);
    return false;
  }
  return CheckPinnedCertificate();
}

bool TTelnetClient::CheckPinnedCertificate() {
  const std::string& host = FSettings.Host;
  const std::string hostPort = host + ":" + std::to_string(FSettings.Port);
  const std::string fingerprint = FTls->Fingerprint;
  if (fingerprint.empty()) {
    Report(TReportKind::rkDisconnected,
           "TelnetS REFUSED: could not read a certificate fingerprint from " + host + " to verify");
    return false;
  }
  const std::string key = LowerCase(host) + ":" + std::to_string(FSettings.Port);
  const std::string path = TlsKnownHostsPath();

  std::vector<std::string> lines;
  // Only a missing file is a first contact. A pin file that is there but
  // cannot be read verifies nothing, and saving over it would lose every pin.
  std::string text, readError;
  if (ReadFileContents(path, text, readError) == TReadResult::Failed) {
    LogLine("TelnetS: " + readError);
    Report(TReportKind::rkDisconnected,
           "TelnetS REFUSED: " + readError + " - the certificate of " + host + " cannot be verified");
    return false;
  }
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  auto save = [&] {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    std::string error;
    if (WriteFileReplacing(path, out, error)) return;
    // The decision stands; the user learns why the pin was not kept.
    LogLine("TelnetS: could not save the certificate pin: " + error);
    Report(TReportKind::rkStatus, "TelnetS: could not save the certificate pin: " + error);
  };

  const std::string prefix = key + "=";
  auto found = std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
  if (found == lines.end()) {
    lines.push_back(prefix + fingerprint);
    save();
    return true;
  }
  if (UpperCase(found->substr(prefix.size())) == UpperCase(fingerprint)) return true;
  if (FTrustNewCert) {
    FTrustNewCert = false;
    *found = prefix + fingerprint;
    save();
    Report(TReportKind::rkStatus, "TelnetS: certificate for " + hostPort + " changed and was accepted (SHA256:" +
                                      fingerprint + ") - " + "TelnetS Trust New Cert is now back off for this entry");
    return true;
  }
  Report(TReportKind::rkDisconnected,
         "TelnetS REFUSED: certificate for " + hostPort + " does not match the one seen previously (SHA256:" +
             fingerprint + "). " + "This usually means the server's certificate was renewed or " +
             "reinstalled - or someone is intercepting the connection. If " +
             "you're sure the new certificate is correct, set 'TelnetS " +
             "Trust New Cert' to Yes on this entry and reconnect (it turns " + "itself back off afterward), or edit " +
             "tls_known_hosts.txt" + " by hand.");
  return false;
}

bool TTelnetClient::RLoginHandshake() {
  const std::string& host = FSettings.Host;
  // RFC 1282: NUL, client user, NUL, server user, NUL, terminal type, NUL.
  std::string login;
  login += '\0';
  login += FSettings.ClientUser;
  login += '\0';
  login += FSettings.ServerUser;
  login += '\0';
  login += FSettings.TermType;
  login += '\0';
  LogHex("SEND", reinterpret_cast<const uint8_t*>(login.data()), login.size());

  auto fail = [&](const std::string& text) {
    Connected = false;
    Report(TReportKind::rkDisconnected, text);
    CloseSocket();
    return false;
  };
  size_t done = 0;
  while (done < login.size()) {
    if (StopRequested()) break;
    ssize_t n = send(FSocket, login.data() + done, login.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      usleep(10000);
    } else {
      return fail("RLogin failed: could not send login string to " + host);
    }
  }
  if (done == login.size()) {
    // What was typed meanwhile leaves with the first flush of the receive loop.
    std::lock_guard<std::mutex> hold(FSendLock);
    FHoldSends = false;
  }
  // The server accepts with a single zero byte.
  const uint64_t until = platform::TickMs() + kRLoginAnswerMs;
  while (!StopRequested()) {
    uint64_t now = platform::TickMs();
    if (now >= until) break;
    pollfd p{FSocket, POLLIN, 0};
    if (poll(&p, 1, int(std::min<uint64_t>(until - now, kPollMs))) <= 0) continue;
    uint8_t answer = 0xFF;
    ssize_t n = recv(FSocket, &answer, 1, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n == 1) LogHex("RECV", &answer, 1);
    if (n == 1 && answer == 0) return true;
    break;
  }
  // A hang-up during the wait is an ordinary end of the call.
  if (StopRequested()) {
    Teardown("Disconnected");
    return false;
  }
  return fail("RLogin failed: " + host + " doesn't accept RLogin connections");
}

std::string TTelnetClient::ReceiveLoop() {
  while (!StopRequested()) {
    FlushSends();
    if (FSizeChanged.exchange(false) && FLocalOpt[toNAWS] == osOn) SendWindowSize();

    bool pending, mayRead;
    size_t stuck = 0;
    // An idle call waits for the board, a wake-up (bytes to send, a new
    // size, the hang-up) or nothing else: no time-out. Bytes waiting to
    // leave wake it when the socket takes more, or when they would count as
    // stalled; a TLS session, which cannot wait for room on the socket, and
    // a receiver that takes nothing for now are looked at again shortly.
    int waitMs = -1;
    {
      std::lock_guard<std::mutex> hold(FSendLock);
      const uint64_t now = platform::TickMs();
      pending = !FSendQueue.Empty();
      // While the queue is long the board is not read: whatever it sends
      // waits in the network, and nothing it asks for is answered meanwhile.
      mayRead = FSendQueue.MayRead(now) && !HoldReceive;
      if (FSendQueue.Stalled(now, SendStallMs)) stuck = FSendQueue.Size();
      if (pending) waitMs = int(std::min<uint64_t>(FSendQueue.StallsIn(now, SendStallMs), INT32_MAX));
      if ((pending && FUseTls) || HoldReceive) waitMs = waitMs < 0 ? int(kPollMs) : std::min(waitMs, int(kPollMs));
    }
    if (stuck > 0) {
      const std::string seconds = std::to_string(SendStallMs / 1000);
      LogLine("Telnet: nothing could be sent for " + seconds + " s (" + std::to_string(stuck) +
              " bytes waiting) - the BBS stopped reading; call ended");
      return "Disconnected - the BBS stopped reading (nothing could be sent for " + seconds + " s)";
    }
    const short events = short((mayRead ? POLLIN : 0) | (pending && !FUseTls ? POLLOUT : 0));
    pollfd p[2] = {{FSocket, events, 0}, {FWakeFd, POLLIN, 0}};
    int rc = poll(p, 2, waitMs);
    if (rc <= 0) continue;
    if (p[1].revents & POLLIN) {
      uint64_t count;
      ssize_t ignored = read(FWakeFd, &count, sizeof count);
      (void)ignored;
    }
    if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;

    if (!FUseTls) {
      ssize_t n = recv(FSocket, FReadBuf.data(), kReadSize, 0);
      if (n > 0) {
        ProcessReceived(FReadBuf.data(), int(n));
        continue;
      }
      if (n == 0 && FConnectionReset) {
        LogLine("Telnet: connection reset by the remote side (seen by a write) - treated as an abnormal close");
        return "Disconnected";
      }
      if (n == 0) {
        RemoteClosed = true;
        LogLine("Telnet: remote closed connection gracefully (recv=0)");
        return "Disconnected";
      }
      if (errno == EAGAIN || errno == EINTR) continue;
      LogLine("Telnet: recv failed, error " + ErrnoText(errno) + " - treated as an abnormal close");
      return "Disconnected";
    }

    // TLS: one record can hold more than the socket shows, so read until the
    // library has nothing more, then take what it still holds decrypted.
    int got = 0, last = 0;
    while (got < int(kReadSize)) {
      last = FTls->Read(FReadBuf.data() + got, int(kReadSize) - got);
      if (last <= 0) break;
      got += last;
    }
    if (got > 0) {
      ProcessReceived(FReadBuf.data(), got);
      while (FTls->Pending() > 0) {
        int more = FTls->Read(FReadBuf.data(), int(kReadSize));
        if (more <= 0) break;
        ProcessReceived(FReadBuf.data(), more);
      }
    }
    if (last < 0) {
      if (last == TTlsSession::kClosedCleanly) RemoteClosed = true;
      LogLine(last == TTlsSession::kClosedCleanly ? "Telnet: TLS connection closed by the server"
                                                  : "Telnet: TLS read failed - treated as an abnormal close");
      return "Disconnected";
    }
  }
  return "Disconnected";
}

void TTelnetClient::Teardown(const std::string& text) {
  FlushSends();
  Connected = false;
  Report(TReportKind::rkDisconnected, text);
  FTls.reset();
  CloseSocket();
}

void TTelnetClient::Disconnect() {
  FStop = true;
  Wake();
}

void TTelnetClient::SetWindowSize(uint16_t cols, uint16_t rows) {
  FCols = cols;
  FRows = rows;
  // The transport thread owns the option states; it sends the new size when
  // NAWS is on.
  if (Connected && !FNoTelnet) {
    FSizeChanged = true;
    Wake();
  }
}

// ---------------------------------------------------------------------------
// Receiving

void TTelnetClient::ProcessReceived(const uint8_t* data, int count) {
  LogHex("RECV", data, size_t(count));
  if (FNoTelnet) {
    if (FRaw && !FRawWarned && FRawChecked < kRawCheckLimit) WatchRawForTelnet(data, count);
    DeliverData(data, count);
    return;
  }
  // Payload is never longer than what came in.
  if (FRecvBuf.size() < FRecvCount + size_t(count)) {
    size_t size = FRecvBuf.size();
    while (size < FRecvCount + size_t(count)) size *= 2;
    FRecvBuf.resize(size);
  }
  for (int i = 0; i < count;) {
    // Runs of plain data (no IAC, no NUL that may be CR padding) are copied
    // as they are; the bytes the state machine acts on go one at a time.
    if (FTelnetState == rsData) {
      int end = i;
      while (end < count && data[end] != tnIAC && data[end] != 0) ++end;
      if (end > i) {
        std::memcpy(FRecvBuf.data() + FRecvCount, data + i, size_t(end - i));
        FRecvCount += size_t(end - i);
        FAfterCR = data[end - 1] == '\r';
        i = end;
        continue;
      }
    }
    TelnetByte(data[i++]);
  }
  DeliverPayload();
}

void TTelnetClient::DeliverPayload() {
  if (FRecvCount == 0) return;
  DeliverData(FRecvBuf.data(), int(FRecvCount));
  FRecvCount = 0;
}

void TTelnetClient::TelnetByte(uint8_t b) {
  switch (FTelnetState) {
    case rsData:
      if (b == tnIAC) {
        FTelnetState = rsIac;
        return;
      }
      // RFC 854: outside BINARY, CR NUL stands for a bare CR; the NUL is
      // padding, not a character.
      if (b == 0 && FAfterCR && FRemoteOpt[toBINARY] != osOn) {
        FAfterCR = false;
        return;
      }
      FAfterCR = b == '\r';
      FRecvBuf[FRecvCount++] = b;
      return;
    case rsIac:
      if (b == tnWILL || b == tnWONT || b == tnDO || b == tnDONT) {
        FVerb = b;
        FTelnetState = rsOption;
      } else if (b == tnSB) {
        FSubLen = 0;
        FTelnetState = rsSub;
      } else if (b == tnIAC) {
        FAfterCR = false;
        FRecvBuf[FRecvCount++] = tnIAC;
        FTelnetState = rsData;
      } else {
        FTelnetState = rsData;  // NOP, GA, data mark and the like
      }
      return;
    case rsOption:
      FTelnetState = rsData;
      Negotiate(FVerb, b);
      return;
    case rsSub:
      if (b == tnIAC) {
        FTelnetState = rsSubIac;
      } else if (FSubLen < FSubBuf.size()) {
        FSubBuf[FSubLen++] = b;
      }
      return;
    case rsSubIac:
      if (b == tnSE) {
        FTelnetState = rsData;
        SubnegotiationEnd();
      } else if (b == tnIAC) {
        if (FSubLen < FSubBuf.size()) FSubBuf[FSubLen++] = tnIAC;
        FTelnetState = rsSub;
      } else {
        FTelnetState = rsData;  // malformed: the subnegotiation is abandoned
      }
      return;
  }
}

void TTelnetClient::Negotiate(uint8_t verb, uint8_t option) {
  TOptState& local = FLocalOpt[option];
  TOptState& remote = FRemoteOpt[option];
  switch (verb) {
    case tnDO:
      if (local == osOff) {
        if (!AcceptableLocal(option)) {
          SendCommand(tnWONT, option);
          return;
        }
        SendCommand(tnWILL, option);
      } else if (local == osOn) {
        if (option == toNAWS) SendWindowSize();
        return;
      }
      local = osOn;
      if (option == toBINARY) FLocalBinary = true;
      if (option == toNAWS) SendWindowSize();
      return;
    case tnDONT:
      if (local == osOn) SendCommand(tnWONT, option);
      local = osOff;
      if (option == toBINARY) FLocalBinary = false;
      return;
    case tnWILL:
      if (remote == osOff) {
        if (!AcceptableRemote(option)) {
          SendCommand(tnDONT, option);
          return;
        }
        SendCommand(tnDO, option);
      }
      remote = osOn;
      return;
    case tnWONT:
      if (remote == osOn) SendCommand(tnDONT, option);
      remote = osOff;
      return;
  }
}

void TTelnetClient::SendCommand(uint8_t verb, uint8_t option) {
  const uint8_t cmd[3] = {tnIAC, verb, option};
  QueueSend(cmd, sizeof cmd, true);
}

void TTelnetClient::SubnegotiationEnd() {
  // RFC 1091: IAC SB TTYPE SEND IAC SE asks for the terminal type; it is
  // given the same every time it is asked.
  if (FSubLen >= 2 && FSubBuf[0] == toTTYPE && FSubBuf[1] == tnSEND) {
    const std::string& type = FSettings.TermType;
    SendSubnegotiation(toTTYPE, tnIS, reinterpret_cast<const uint8_t*>(type.data()), type.size());
  }
}

void TTelnetClient::SendSubnegotiation(uint8_t option, int first, const uint8_t* data, size_t count) {
  // Built in a buffer kept for the purpose: a board may ask thousands of
  // times a second.
  std::vector<uint8_t>& out = FSubOut;
  out.assign({tnIAC, tnSB, option});
  auto add = [&out](uint8_t b) {
    out.push_back(b);
    if (b == tnIAC) out.push_back(tnIAC);
  };
  if (first >= 0) add(uint8_t(first));
  for (size_t i = 0; i < count; ++i) add(data[i]);
  out.push_back(tnIAC);
  out.push_back(tnSE);
  QueueSend(out.data(), out.size(), true);
}

void TTelnetClient::SendWindowSize() {
  // RFC 1073: columns then rows, 16 bits each, high byte first.
  const uint16_t cols = FCols, rows = FRows;
  const uint8_t size[4] = {uint8_t(cols >> 8), uint8_t(cols), uint8_t(rows >> 8), uint8_t(rows)};
  SendSubnegotiation(toNAWS, -1, size, sizeof size);
}

void TTelnetClient::WatchRawForTelnet(const uint8_t* data, int count) {
  for (int i = 0; i < count && !FRawWarned && FRawChecked < kRawCheckLimit; ++i) {
    const uint8_t b = data[i];
    switch (FRawState) {
      case 0:
        if (b == tnIAC && FRawChecked < kRawIacWindow) FRawState = 1;
        break;
      case 1:
        FRawState = (b == tnWILL || b == tnWONT || b == tnDO || b == tnDONT) ? 2 : 0;
        break;
      default:
        FRawState = 0;
        FRawWarned = true;
        LogLine("Telnet: Raw connection to " + FSettings.Host + ":" + std::to_string(FSettings.Port) +
                " received telnet option negotiation - the server speaks telnet; " +
                "this entry should use Telnet, not Raw (uploads with 0xFF bytes will be corrupted)");
        Report(TReportKind::rkStatus, "This BBS speaks telnet - set the entry to Telnet, not Raw");
        break;
    }
    ++FRawChecked;
  }
}

// ---------------------------------------------------------------------------
// Sending

void TTelnetClient::SendBytes(const uint8_t* data, int count) {
  if (count <= 0 || !Connected) return;
  BytesSent += count;
  if (FNoTelnet) {
    QueueSend(data, size_t(count));
    return;
  }
  // RFC 854: IAC is doubled; outside BINARY a CR is followed by NUL so the
  // server does not take it for the start of CR LF.
  const bool binary = FLocalBinary;
  std::vector<uint8_t> out;
  out.reserve(size_t(count) + size_t(count) / 8 + 4);
  for (int i = 0; i < count; ++i) {
    out.push_back(data[i]);
    if (data[i] == tnIAC)
      out.push_back(tnIAC);
    else if (data[i] == '\r' && !binary)
      out.push_back(0);
  }
  QueueSend(out.data(), out.size());
}

size_t TTelnetClient::SendBacklog() {
  std::lock_guard<std::mutex> hold(FSendLock);
  return FSendQueue.Size();
}

void TTelnetClient::SendString(const std::string& s) {
  SendBytes(reinterpret_cast<const uint8_t*>(s.data()), int(s.size()));
}

long TTelnetClient::WriteSome(const uint8_t* data, size_t count, bool& wouldBlock) {
  wouldBlock = false;
  if (FUseTls) {
    int n = FTls ? FTls->Write(data, int(std::min<size_t>(count, 1 << 30))) : -1;
    wouldBlock = n == 0;
    return n;
  }
  ssize_t n = send(FSocket, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
    wouldBlock = true;
    return 0;
  }
  // A reset can be reported to a write instead of the next read; the read
  // then sees only the end of the stream, which must not pass for an
  // orderly close.
  if (n < 0 && (errno == ECONNRESET || errno == EPIPE)) FConnectionReset = true;
  return long(n);
}

void TTelnetClient::QueueSend(const uint8_t* data, size_t count, bool reply) {
  if (count == 0 || !Connected) return;
  {
    std::lock_guard<std::mutex> hold(FSendLock);
    if (FSocket < 0) return;
    size_t written = 0;
    // A TLS session belongs to the transport thread alone: its writes wait
    // for the flush, which the wake-up brings on at once.
    if (FSendQueue.Empty() && !FUseTls && !FHoldSends) {
      bool wouldBlock;
      long n = WriteSome(data, count, wouldBlock);
      if (n > 0) written = size_t(n);
    }
    if (written == 0 && reply) {
      // The same answer still waiting says all this one would: a board that
      // asks again and again without reading gets it once.
      if (!FSendQueue.AppendReply(data, count, data[2])) return;
    } else if (written < count) {
      FSendQueue.Append(data + written, count - written);
    }
    LogHex("SEND", data, count);
    if (written == count) return;
  }
  Wake();
}

void TTelnetClient::FlushSends() {
  std::lock_guard<std::mutex> hold(FSendLock);
  while (!FSendQueue.Empty() && FSocket >= 0 && !FHoldSends) {
    bool wouldBlock;
    long n = WriteSome(FSendQueue.Data(), FSendQueue.Size(), wouldBlock);
    if (n > 0) {
      FSendQueue.Consume(size_t(n));
      continue;
    }
    if (!wouldBlock) FSendQueue.Clear();  // the receive loop ends on the failed socket
    break;
  }
}
