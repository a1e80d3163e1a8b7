// A throwaway OpenSSH server on a loopback port for the SSH transport tests.
//
// The tests run as root (as CI does). Root is not used for logging in: the
// server admits a dedicated local account, "korvantest", which the fixture
// creates with useradd when it is missing and whose password it sets each
// time (under a lock, since test processes run in parallel). Each server gets
// its own folder with a fresh ed25519 host key, its own config (authorized
// keys in that folder, no strict modes), logs at DEBUG1 to a file the tests
// read, and is ended when the fixture goes.
#pragma once
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>

#include <string>
#include <vector>

#include "core/uBase64.h"
#include "tests/net/TransportTestKit.h"
#include "platform/Tick.h"
#include "tests/support/Loopback.h"

namespace kit {

constexpr const char* kSshUser = "korvantest";
constexpr const char* kSshPassword = "Korvan-Test-Pw1";

// Empty on success, else what went wrong.
inline std::string EnsureTestUser() {
  int lock = open("/tmp/korvan_ssh_user.lock", O_RDWR | O_CREAT, 0600);
  flock(lock, LOCK_EX);
  std::string out, why;
  if (!getpwnam(kSshUser) && Run({"useradd", "-m", "-s", "/bin/sh", kSshUser}, &out) != 0)
    why = "useradd " + std::string(kSshUser) + " failed: " + out;
  if (why.empty() && Run({"chpasswd"}, &out, std::string(kSshUser) + ":" + kSshPassword + "\n") != 0)
    why = "chpasswd failed: " + out;
  flock(lock, LOCK_UN);
  close(lock);
  return why;
}

// SHA-256 of a public key file as 64 upper-case hex digits, from ssh-keygen.
inline std::string KeygenSha256Hex(const std::string& pubFile) {
  std::string out;
  if (Run({"ssh-keygen", "-l", "-E", "sha256", "-f", pubFile}, &out) != 0) return "ssh-keygen failed: " + out;
  size_t at = out.find("SHA256:");
  if (at == std::string::npos) return "no SHA256 in: " + out;
  std::string b64 = out.substr(at + 7, out.find(' ', at) - at - 7);
  while (b64.size() % 4) b64 += '=';
  std::vector<uint8_t> bytes;
  if (!Base64Decode(b64, bytes)) return "bad base64: " + b64;
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

class TSshServer {
 public:
  // Dir: a folder the server user can read. Config: lines added to the
  // server's config (login methods, ForceCommand and the like).
  std::string Start(const std::string& dir, const std::string& config) {
    for (const char* tool : {"/usr/sbin/sshd", "/usr/bin/ssh-keygen", "/usr/bin/ssh-agent"})
      if (access(tool, X_OK) != 0)
        return std::string(tool) + " is missing: install openssh-server and openssh-client";
    std::string why = EnsureTestUser();
    if (!why.empty()) return why;
    mkdir("/run/sshd", 0755);  // sshd's privilege separation folder
    Dir = dir;
    HostKey = Dir + "/host_" + HostKeyType;
    UserKey = Dir + "/user_ed25519";
    std::string out;
    if (access(HostKey.c_str(), R_OK) != 0 &&
        Run({"ssh-keygen", "-q", "-t", HostKeyType, "-N", "", "-f", HostKey}, &out) != 0)
      return "ssh-keygen (host) failed: " + out;
    // The user's key is protected by the same text as the password, which is
    // also the passphrase the transport offers.
    if (access(UserKey.c_str(), R_OK) != 0 &&
        Run({"ssh-keygen", "-q", "-t", "ed25519", "-N", kSshPassword, "-f", UserKey}, &out) != 0)
      return "ssh-keygen (user) failed: " + out;
    WriteWholeFile(Dir + "/authorized_keys", ReadWholeFile(UserKey + ".pub"));
    chmod((Dir + "/authorized_keys").c_str(), 0644);
    for (int attempt = 0; attempt < 5; ++attempt) {
      Port = FreeLoopbackPort();
      std::string cfg = "Port " + std::to_string(Port) +
                        "\nListenAddress 127.0.0.1\nHostKey " + HostKey +
                        "\nPidFile none\nUsePAM yes\nStrictModes no\nAuthorizedKeysFile " + Dir +
                        "/authorized_keys\nLogLevel DEBUG1\nPrintMotd no\nMaxAuthTries 10\n" + config + "\n";
      WriteWholeFile(Dir + "/sshd_config", cfg);
      LogPath = Dir + "/sshd.log";
      ChildProcess::Options options;
      options.OutputFile = LogPath;
      if (!Sshd.Start({"/usr/sbin/sshd", "-D", "-e", "-f", Dir + "/sshd_config"}, options)) break;
      uint64_t until = platform::TickMs() + 10000;
      // Its own word that it listens: another test's server may have taken
      // the same free port a moment earlier.
      std::string listening = "Server listening on 127.0.0.1 port " + std::to_string(Port) + ".";
      while (Sshd.Running() && platform::TickMs() < until) {
        if (ReadWholeFile(LogPath).find(listening) != std::string::npos) return "";
        usleep(10000);
      }
      Sshd.Stop();  // the port was taken meanwhile: try another
    }
    return "sshd did not start: " + ReadWholeFile(LogPath);
  }
  std::string Log() const { return ReadWholeFile(LogPath); }
  std::string PinKey() const { return "127.0.0.1:" + std::to_string(Port); }

  std::string HostKeyType = "ed25519";  // as ssh-keygen -t names it
  std::string Dir, HostKey, UserKey, LogPath;
  uint16_t Port = 0;
  ChildProcess Sshd;
};

// ssh-agent holding the user's key, for the agent login.
class TSshAgent {
 public:
  std::string Start(const std::string& dir, const std::string& keyFile) {
    Socket = dir + "/agent.sock";
    ChildProcess::Options options;
    options.OutputFile = dir + "/agent.log";
    if (!Agent.Start({"ssh-agent", "-D", "-a", Socket}, options)) return "ssh-agent did not start";
    ServeUntil([&] { return access(Socket.c_str(), F_OK) == 0; }, 10000);
    // ssh-add reads the key's passphrase from SSH_ASKPASS when it has no
    // terminal.
    std::string askpass = dir + "/askpass.sh";
    WriteWholeFile(askpass, std::string("#!/bin/sh\necho '") + kSshPassword + "'\n");
    chmod(askpass.c_str(), 0755);
    std::string out;
    if (Run({"env", "SSH_AUTH_SOCK=" + Socket, "SSH_ASKPASS=" + askpass, "SSH_ASKPASS_REQUIRE=force",
             "setsid", "-w", "ssh-add", keyFile},
            &out) != 0)
      return "ssh-add failed: " + out;
    return "";
  }
  std::string Socket;
  ChildProcess Agent;
};

}  // namespace kit
