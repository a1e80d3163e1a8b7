// The transport for every call over a plain TCP socket: Telnet with option
// negotiation (RFC 854, 856, 858, 1091, 1073), TelnetS (the same over TLS
// with the server's certificate pinned), RLogin (RFC 1282 handshake, then an
// uninterpreted stream) and raw TCP (uninterpreted, with a one-time warning
// when the server turns out to speak Telnet). It owns its socket, its TLS
// session and its buffers; the application sees only the transport events.
#pragma once
#include <netinet/in.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/uWireTransport.h"

class TTlsSession;

// Host name or dotted address and port to an IPv4 socket address (port in
// network order): a dotted address is taken as it stands, anything else goes
// to the system resolver, whose first address is used. False when neither
// gives an address.
bool ResolveHostAddr(const std::string& host, uint16_t port, sockaddr_in& addr);

// The default RLogin user: $USERNAME, else $USER, else empty.
std::string DefaultRLoginUser();

// The certificate pin file beside the executable.
std::string TlsKnownHostsPath();

// Telnet command and option bytes (RFC 854, 855 and the option RFCs).
enum TTelnetByte : uint8_t {
  tnIS = 0,
  tnSEND = 1,
  tnSE = 240,
  tnSB = 250,
  tnWILL = 251,
  tnWONT = 252,
  tnDO = 253,
  tnDONT = 254,
  tnIAC = 255,
};
enum TTelnetOption : uint8_t {
  toBINARY = 0,
  toECHO = 1,
  toSGA = 3,
  toTTYPE = 24,
  toNAWS = 31,
};

class TTelnetClient : public TWireTransport {
  struct TPrivate {};  // only the factories construct

 public:
  // A Telnet call, or a TelnetS call when UseTls is set. TrustNewCert
  // accepts a changed certificate once. CertFile/KeyFile/Password name an
  // optional PEM client certificate. The call starts at once.
  static std::shared_ptr<TTelnetClient> Create(const std::string& host, uint16_t port, const std::string& termType,
                                               uint16_t cols, uint16_t rows, bool useTls, bool trustNewCert,
                                               const std::string& certFile, const std::string& keyFile,
                                               const std::string& password);
  static std::shared_ptr<TTelnetClient> CreateRLogin(const std::string& host, uint16_t port,
                                                     const std::string& clientUser, const std::string& serverUser,
                                                     const std::string& termType, uint16_t cols, uint16_t rows);
  static std::shared_ptr<TTelnetClient> CreateRaw(const std::string& host, uint16_t port);

  enum class TMode { tmTelnet, tmTelnetS, tmRLogin, tmRaw };
  struct TSettings {
    TMode Mode = TMode::tmTelnet;
    std::string Host;
    uint16_t Port = 23;
    std::string TermType;
    uint16_t Cols = 0, Rows = 0;
    bool TrustNewCert = false;
    std::string CertFile, KeyFile, Password;
    std::string ClientUser, ServerUser;
  };
  TTelnetClient(TPrivate, const TSettings& settings);
  ~TTelnetClient() override;

  void SendBytes(const uint8_t* data, int count) override;
  void SendString(const std::string& s) override;
  void Disconnect() override;
  void SetWindowSize(uint16_t cols, uint16_t rows) override;
  size_t SendBacklog() override;

  // How long the TCP connect may take, and how long an RLogin server may
  // take to accept the login string.
  static constexpr uint32_t kConnectTimeoutMs = 10000;
  static constexpr uint32_t kRLoginAnswerMs = 5000;

 protected:
  void Execute() override;

 private:
  enum TOptState : uint8_t { osOff = 0, osOn = 1, osRequested = 2 };
  enum TRecvState : uint8_t { rsData, rsIac, rsOption, rsSub, rsSubIac };

  static std::shared_ptr<TTelnetClient> Launch(const TSettings& settings);
  bool StopRequested() const { return FStop.load() || Terminated(); }
  void Wake();

  // Thread body steps.
  bool ConnectSocket();
  bool StartTls();
  bool CheckPinnedCertificate();
  bool RLoginHandshake();
  // Returns the text the call ends with.
  std::string ReceiveLoop();
  void Teardown(const std::string& text);
  void CloseSocket();

  // Received bytes.
  void ProcessReceived(const uint8_t* data, int count);
  void TelnetByte(uint8_t b);
  void DeliverPayload();
  void WatchRawForTelnet(const uint8_t* data, int count);
  void Negotiate(uint8_t verb, uint8_t option);
  void SubnegotiationEnd();
  // IAC SB Option, then First (when 0..255) and the data, IAC doubled, then IAC SE.
  void SendSubnegotiation(uint8_t option, int first, const uint8_t* data, size_t count);
  void SendWindowSize();
  void SendCommand(uint8_t verb, uint8_t option);

  // Sending.
  // A negotiation reply (Reply set; its option is the third byte) is not
  // queued again while the same one is still waiting.
  void QueueSend(const uint8_t* data, size_t count, bool reply = false);
  void FlushSends();
  long WriteSome(const uint8_t* data, size_t count, bool& wouldBlock);

  const TSettings FSettings;
  const bool FNoTelnet;
  const bool FRaw;
  const bool FUseTls;

  int FSocket = -1;  // written under FSendLock; the transport thread also reads it freely
  int FWakeFd = -1;  // rings the receive loop out of its wait (send queued, size, stop)
  std::atomic<bool> FStop{false};
  std::atomic<uint16_t> FCols{0}, FRows{0};
  std::atomic<bool> FSizeChanged{false};
  std::atomic<bool> FLocalBinary{false};
  bool FTrustNewCert;

  // Transport thread only.
  int32_t FRawChecked = 0;
  int FRawState = 0;
  bool FRawWarned = false;
  std::atomic<bool> FConnectionReset{false};  // a write met a reset
  std::array<TOptState, 256> FLocalOpt{};
  std::array<TOptState, 256> FRemoteOpt{};
  std::unique_ptr<TTlsSession> FTls;
  TRecvState FTelnetState = rsData;
  uint8_t FVerb = 0;
  std::array<uint8_t, 256> FSubBuf{};
  size_t FSubLen = 0;
  bool FAfterCR = false;  // the last payload byte was CR
  std::vector<uint8_t> FRecvBuf;
  size_t FRecvCount = 0;
  std::vector<uint8_t> FReadBuf;
  std::vector<uint8_t> FSubOut;  // the subnegotiation being sent

  std::mutex FSendLock;
  TSendQueue FSendQueue;  // guarded by FSendLock
  // RLogin: until the login string is out, sent bytes wait in FSendQueue, so
  // nothing typed as the call comes up can go ahead of it. Guarded by FSendLock.
  bool FHoldSends = false;
};
