// The SSH transport: TCP connect, libssh2 handshake, the host key checked
// against the pin kept in ssh_known_hosts.txt beside the program, login by
// agent, key file, password or keyboard-interactive, a "vt100" pty of the
// terminal's size and a shell, then bytes both ways until the call ends.
// Some board front ends speak Telnet inside the channel; such a session is
// noticed in its first bytes and treated as telnet-shaped from then on.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/uSSHLib.h"
#include "net/uWireTransport.h"

// The pin file: AppFolder + "ssh_known_hosts.txt".
std::string SshKnownHostsPath();
// The name of a libssh2 host-key type ("ssh-ed25519"); "unknown" for others.
std::string SshHostKeyTypeName(int keyType);
// The text of an SSH disconnect reason code (RFC 4253, section 11.1).
std::string SshDisconnectReasonText(int code);

// Folds IAC IAC ($FF $FF) into one $FF across reads of a telnet-shaped
// session: a lone $FF at the end of a read waits for the next read.
class TIacPairFolder {
 public:
  void Fold(const uint8_t* data, int count, std::vector<uint8_t>& out);
  // Hands over a $FF still held back (the call is ending).
  void Flush(std::vector<uint8_t>& out);

 private:
  bool FHeldFF = false;
};

class TSSHClient : public TWireTransport {
 public:
  // Creates the transport and starts its thread; null when no thread could be
  // started. Assign the events right after, on the interface thread.
  static std::shared_ptr<TSSHClient> Create(const std::string& host, uint16_t port, const std::string& user,
                                            const std::string& password, const std::string& keyFile, uint16_t cols,
                                            uint16_t rows, bool trustNewKey);
  ~TSSHClient() override;

  void SendBytes(const uint8_t* data, int count) override;
  void SendString(const std::string& s) override;
  void Disconnect() override;
  void SetWindowSize(uint16_t cols, uint16_t rows) override;
  size_t SendBacklog() override;

 protected:
  void Execute() override;

 private:
  TSSHClient(const std::string& host, uint16_t port, const std::string& user, const std::string& password,
             const std::string& keyFile, uint16_t cols, uint16_t rows, bool trustNewKey);

  // Transport thread only.
  bool ConnectSocket();  // false: failed (reported), or hung up while connecting (silent)
  bool StartSession();
  bool CheckHostKey();
  bool Authenticate();
  bool AgentAuth();
  bool OpenShell();
  void ReceiveLoop();
  void Teardown();
  void FreeSession();
  void CloseSocket();
  void ApplyPendingResize();
  // Writes what is pending. A write the server's window holds up keeps the
  // rest for the next pass; on the last pass (the call is ending) it ends it.
  void Flush(bool lastPass);
  void DetectTelnet(const uint8_t* data, int count);
  std::string LastErrorText() const;

  static void DisconnectCallback(LIBSSH2_SESSION* session, int reason, const char* message, int messageLen,
                                 const char* language, int languageLen, void** abstract);
  static void KbdInteractiveResponse(const char* name, int nameLen, const char* instruction, int instructionLen,
                                     int numPrompts, const TSsh2KbdPrompt* prompts, TSsh2KbdResponse* responses,
                                     void** abstract);

  int FSocket = -1;
  const std::string FHost;
  const uint16_t FPort;
  const std::string FUser;
  const std::string FPassword;  // also the key passphrase and the keyboard-interactive answer
  const std::string FKeyFile;
  bool FTrustNewKey;
  std::atomic<uint16_t> FCols, FRows;
  std::atomic<bool> FResizePending{false};
  std::atomic<bool> FStop{false};
  LIBSSH2_SESSION* FSession = nullptr;
  LIBSSH2_CHANNEL* FChannel = nullptr;

  std::mutex FSendLock;  // guards FSendBuf only
  std::vector<uint8_t> FSendBuf;
  TSendQueue FWriteQueue;  // transport thread: taken from FSendBuf, not yet written

  int FTelnetChecked = 0;
  int FTelnetState = 0;
  std::atomic<bool> FTelnetShaped{false};
  TIacPairFolder FFolder;
  std::vector<uint8_t> FRecvBuf;

  std::string FAuthMethods;
  std::string FEndDetail;
  int FDisconnectReason = -1;
  std::string FDisconnectMessage;
};
