// One TLS client connection over a TCP socket that is already connected and
// non-blocking, on OpenSSL 3 loaded at run time from the dll folder (a
// missing library switches TLS off, nothing else). By default no authority
// checks the server's certificate and callers pin its SHA-256 fingerprint
// (TelnetS); a caller that fetches from a public web site asks for the usual
// check against the system's trusted authorities and the host name instead
// (the HTTPS downloader). It knows nothing of either caller.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class TTlsSession {
 public:
  // Read result: the server closed the TLS connection in an orderly way.
  static constexpr int kClosedCleanly = -1000;
  // The handshake gives up after this long.
  static constexpr uint32_t kHandshakeTimeoutMs = 15000;

  // Loads the libraries on first use in the process.
  TTlsSession();
  // Shuts the connection down (close notification) and frees it.
  ~TTlsSession();
  TTlsSession(const TTlsSession&) = delete;
  TTlsSession& operator=(const TTlsSession&) = delete;

  // Runs the client handshake, sending Host as the server name. CertFile
  // (and KeyFile, or the same file when empty) name an optional PEM client
  // certificate and key; Password unlocks the key. StopRequested, when set,
  // is asked while waiting: a true answer cancels the handshake. On failure
  // LastError says why.
  bool Connect(int socket, const std::string& host, const std::string& certFile, const std::string& keyFile,
               const std::string& password, const std::function<bool()>& stopRequested = {});

  // More than 0: bytes read; 0: nothing now; kClosedCleanly; -1: error.
  int Read(void* buf, int len);
  // 0 or more: bytes written (0 when the library must read or write first);
  // -1: error.
  int Write(const void* buf, int len);
  // Decrypted bytes already waiting in the library.
  int Pending();

  // Set before Connect: the server's certificate must chain to an authority
  // of the system's store (OpenSSL's default paths, which SSL_CERT_FILE and
  // SSL_CERT_DIR override) and be issued for the host name (or address)
  // handed to Connect; otherwise the handshake fails and LastError says why.
  // The allowances for old boards are not made for such a connection.
  bool CheckServerCertificate = false;

  std::string LastError;
  // The server certificate's SHA-256 digest as 64 upper-case hex digits;
  // empty when none could be made.
  std::string Fingerprint;

 private:
  void* FCtx = nullptr;  // SSL_CTX*
  void* FSsl = nullptr;  // SSL*
};

// Whether OpenSSL could be loaded (loads it on first call).
bool TlsLibraryUsable();
