#include "net/uOpenSSLTls.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/uDebugLog.h"
#include "core/uDllLoader.h"
#include "platform/Tick.h"

namespace {

// Function pointer types come from OpenSSL's own declarations; nothing links
// against the libraries, they are looked up at run time.
struct TOpenSsl {
  bool Usable = false;
  TModuleHandle Crypto = nullptr, Ssl = nullptr;
  decltype(&::OPENSSL_init_ssl) OPENSSL_init_ssl = nullptr;
  int (*SSL_library_init)() = nullptr;
  decltype(&::TLS_client_method) TLS_client_method = nullptr;
  decltype(&::SSL_CTX_new) SSL_CTX_new = nullptr;
  decltype(&::SSL_CTX_free) SSL_CTX_free = nullptr;
  decltype(&::SSL_CTX_set_verify) SSL_CTX_set_verify = nullptr;
  decltype(&::SSL_new) SSL_new = nullptr;
  decltype(&::SSL_free) SSL_free = nullptr;
  decltype(&::SSL_set_fd) SSL_set_fd = nullptr;
  decltype(&::SSL_connect) SSL_connect = nullptr;
  decltype(&::SSL_read) SSL_read = nullptr;
  decltype(&::SSL_pending) SSL_pending = nullptr;
  decltype(&::SSL_write) SSL_write = nullptr;
  decltype(&::SSL_get_error) SSL_get_error = nullptr;
  decltype(&::SSL_shutdown) SSL_shutdown = nullptr;
  decltype(&::SSL_ctrl) SSL_ctrl = nullptr;
  X509* (*SSL_get_peer_certificate)(const SSL*) = nullptr;
  decltype(&::X509_free) X509_free = nullptr;
  decltype(&::X509_digest) X509_digest = nullptr;
  decltype(&::EVP_sha256) EVP_sha256 = nullptr;
  decltype(&::SSL_CTX_use_certificate_file) SSL_CTX_use_certificate_file = nullptr;
  decltype(&::SSL_CTX_use_PrivateKey_file) SSL_CTX_use_PrivateKey_file = nullptr;
  decltype(&::SSL_CTX_check_private_key) SSL_CTX_check_private_key = nullptr;
  decltype(&::SSL_CTX_set_default_passwd_cb) SSL_CTX_set_default_passwd_cb = nullptr;
  decltype(&::SSL_CTX_set_default_passwd_cb_userdata) SSL_CTX_set_default_passwd_cb_userdata = nullptr;
  // Used to reach old boards, and to keep stale errors out of SSL_get_error.
  decltype(&::SSL_CTX_set_security_level) SSL_CTX_set_security_level = nullptr;
  decltype(&::SSL_CTX_set_cipher_list) SSL_CTX_set_cipher_list = nullptr;
  decltype(&::SSL_CTX_set_options) SSL_CTX_set_options = nullptr;
  decltype(&::SSL_CTX_ctrl) SSL_CTX_ctrl = nullptr;
  decltype(&::ERR_clear_error) ERR_clear_error = nullptr;
  // Checking the certificate against the system's authorities and the host.
  decltype(&::SSL_CTX_set_default_verify_paths) SSL_CTX_set_default_verify_paths = nullptr;
  decltype(&::SSL_set1_host) SSL_set1_host = nullptr;
  decltype(&::SSL_get_verify_result) SSL_get_verify_result = nullptr;
  decltype(&::X509_verify_cert_error_string) X509_verify_cert_error_string = nullptr;
};

TOpenSsl& Lib() {
  static TOpenSsl lib;
  return lib;
}

template <typename T>
void Find(TModuleHandle module, T& slot, const char* name) {
  slot = reinterpret_cast<T>(DllSymbol(module, name));
}

const char* TrueFalse(bool b) { return b ? "True" : "False"; }

void LoadLibraries() {
  TOpenSsl& L = Lib();
  L.Crypto = LoadDllFromAppFolder("libcrypto-3.dll");
  if (!L.Crypto) return;
  L.Ssl = LoadDllFromAppFolder("libssl-3.dll");
  if (!L.Ssl) return;
  Find(L.Ssl, L.OPENSSL_init_ssl, "OPENSSL_init_ssl");
  Find(L.Ssl, L.SSL_library_init, "SSL_library_init");
  Find(L.Ssl, L.TLS_client_method, "TLS_client_method");
  Find(L.Ssl, L.SSL_CTX_new, "SSL_CTX_new");
  Find(L.Ssl, L.SSL_CTX_free, "SSL_CTX_free");
  Find(L.Ssl, L.SSL_CTX_set_verify, "SSL_CTX_set_verify");
  Find(L.Ssl, L.SSL_new, "SSL_new");
  Find(L.Ssl, L.SSL_free, "SSL_free");
  Find(L.Ssl, L.SSL_set_fd, "SSL_set_fd");
  Find(L.Ssl, L.SSL_connect, "SSL_connect");
  Find(L.Ssl, L.SSL_read, "SSL_read");
  Find(L.Ssl, L.SSL_pending, "SSL_pending");
  Find(L.Ssl, L.SSL_write, "SSL_write");
  Find(L.Ssl, L.SSL_get_error, "SSL_get_error");
  Find(L.Ssl, L.SSL_shutdown, "SSL_shutdown");
  Find(L.Ssl, L.SSL_ctrl, "SSL_ctrl");
  Find(L.Ssl, L.SSL_get_peer_certificate, "SSL_get_peer_certificate");
  if (!L.SSL_get_peer_certificate) Find(L.Ssl, L.SSL_get_peer_certificate, "SSL_get1_peer_certificate");
  Find(L.Crypto, L.X509_free, "X509_free");
  Find(L.Crypto, L.X509_digest, "X509_digest");
  Find(L.Crypto, L.EVP_sha256, "EVP_sha256");
  Find(L.Ssl, L.SSL_CTX_use_certificate_file, "SSL_CTX_use_certificate_file");
  Find(L.Ssl, L.SSL_CTX_use_PrivateKey_file, "SSL_CTX_use_PrivateKey_file");
  Find(L.Ssl, L.SSL_CTX_check_private_key, "SSL_CTX_check_private_key");
  Find(L.Ssl, L.SSL_CTX_set_default_passwd_cb, "SSL_CTX_set_default_passwd_cb");
  Find(L.Ssl, L.SSL_CTX_set_default_passwd_cb_userdata, "SSL_CTX_set_default_passwd_cb_userdata");
  Find(L.Ssl, L.SSL_CTX_set_security_level, "SSL_CTX_set_security_level");
  Find(L.Ssl, L.SSL_CTX_set_cipher_list, "SSL_CTX_set_cipher_list");
  Find(L.Ssl, L.SSL_CTX_set_options, "SSL_CTX_set_options");
  Find(L.Ssl, L.SSL_CTX_ctrl, "SSL_CTX_ctrl");
  Find(L.Crypto, L.ERR_clear_error, "ERR_clear_error");
  Find(L.Ssl, L.SSL_CTX_set_default_verify_paths, "SSL_CTX_set_default_verify_paths");
  Find(L.Ssl, L.SSL_set1_host, "SSL_set1_host");
  Find(L.Ssl, L.SSL_get_verify_result, "SSL_get_verify_result");
  Find(L.Crypto, L.X509_verify_cert_error_string, "X509_verify_cert_error_string");

  L.Usable = L.TLS_client_method && L.SSL_CTX_new && L.SSL_new && L.SSL_set_fd && L.SSL_connect && L.SSL_read &&
             L.SSL_write && L.SSL_get_error && L.SSL_ctrl && (L.OPENSSL_init_ssl || L.SSL_library_init);
  char line[160];
  std::snprintf(line, sizeof line, "uOpenSSLTls: EnsureLoaded - core=%s peer_cert=%s x509_digest=%s evp_sha256=%s",
                TrueFalse(L.Usable), TrueFalse(L.SSL_get_peer_certificate != nullptr),
                TrueFalse(L.X509_digest != nullptr), TrueFalse(L.EVP_sha256 != nullptr));
  LogLine(line);
  if (!L.Usable) return;
  if (L.OPENSSL_init_ssl)
    L.OPENSSL_init_ssl(0, nullptr);
  else
    L.SSL_library_init();
}

// At most once per process, also when two threads open their first sessions
// at the same moment.
void EnsureLoaded() {
  static std::once_flag once;
  std::call_once(once, LoadLibraries);
}

void ClearErrors() {
  if (Lib().ERR_clear_error) Lib().ERR_clear_error();
}

// Copies the key password into OpenSSL's buffer, without a terminating zero.
int TlsPasswordCallback(char* buf, int size, int /*rwflag*/, void* userdata) {
  if (!userdata || size <= 0) return 0;
  const std::string& password = *static_cast<const std::string*>(userdata);
  int n = int(password.size()) < size ? int(password.size()) : size;
  std::memcpy(buf, password.data(), size_t(n));
  return n;
}

// OpenSSL writes to the socket with write(), which raises SIGPIPE on a
// connection the server has dropped. Sessions run on the worker thread that
// created them; blocking the signal there turns it into an ordinary error.
void BlockBrokenPipeSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// The distribution's defaults refuse what many boards still speak (TLS 1.0
// and 1.1, SHA-1 signatures, small keys, servers without secure
// renegotiation). No authority is checked anyway; the pin is what protects
// the call, so the context accepts everything OpenSSL can still do.
void AllowOldServers(SSL_CTX* ctx) {
  TOpenSsl& L = Lib();
  if (L.SSL_CTX_set_security_level) L.SSL_CTX_set_security_level(ctx, 0);
  if (L.SSL_CTX_set_cipher_list) L.SSL_CTX_set_cipher_list(ctx, "ALL:@SECLEVEL=0");
  if (L.SSL_CTX_ctrl) L.SSL_CTX_ctrl(ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, 0, nullptr);
  if (L.SSL_CTX_set_options) L.SSL_CTX_set_options(ctx, SSL_OP_LEGACY_SERVER_CONNECT | SSL_OP_IGNORE_UNEXPECTED_EOF);
}

std::string HexUpper(const unsigned char* p, unsigned len) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (unsigned i = 0; i < len; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

}  // namespace

bool TlsLibraryUsable() {
  EnsureLoaded();
  return Lib().Usable;
}

TTlsSession::TTlsSession() {
  EnsureLoaded();
  BlockBrokenPipeSignal();
}

TTlsSession::~TTlsSession() {
  TOpenSsl& L = Lib();
  if (!L.Usable) return;
  SSL* ssl = static_cast<SSL*>(FSsl);
  if (ssl) {
    ClearErrors();
    if (L.SSL_shutdown) L.SSL_shutdown(ssl);
    if (L.SSL_free) L.SSL_free(ssl);
  }
  if (FCtx && L.SSL_CTX_free) L.SSL_CTX_free(static_cast<SSL_CTX*>(FCtx));
}

bool TTlsSession::Connect(int socket, const std::string& host, const std::string& certFile, const std::string& keyFile,
                          const std::string& password, const std::function<bool()>& stopRequested) {
  TOpenSsl& L = Lib();
  Fingerprint.clear();
  if (!L.Usable) {
    LastError = LinuxLibraryName("libssl-3.dll") + " / " + LinuxLibraryName("libcrypto-3.dll") +
                " not found or missing required exports";
    return false;
  }
  ClearErrors();
  SSL_CTX* ctx = L.SSL_CTX_new(L.TLS_client_method());
  FCtx = ctx;
  if (!ctx) {
    LastError = "SSL_CTX_new failed";
    return false;
  }
  if (CheckServerCertificate) {
    if (!L.SSL_CTX_set_verify || !L.SSL_CTX_set_default_verify_paths || !L.SSL_set1_host ||
        !L.SSL_get_verify_result || !L.X509_verify_cert_error_string) {
      LastError = "this OpenSSL build cannot check server certificates";
      return false;
    }
    L.SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    if (L.SSL_CTX_set_default_verify_paths(ctx) != 1) {
      LastError = "the system's certificate authorities could not be loaded";
      return false;
    }
  } else {
    if (L.SSL_CTX_set_verify) L.SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    AllowOldServers(ctx);
  }

  if (!certFile.empty()) {
    if (!L.SSL_CTX_use_certificate_file || !L.SSL_CTX_use_PrivateKey_file || !L.SSL_CTX_check_private_key) {
      LastError = "TLS client certificate requested but this OpenSSL build is missing the required exports";
      return false;
    }
    if (L.SSL_CTX_use_certificate_file(ctx, certFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      LastError = "Could not load TLS client certificate: " + certFile;
      return false;
    }
    const std::string keyPath = keyFile.empty() ? certFile : keyFile;
    // The callback is installed also without a password: OpenSSL's own
    // would otherwise ask for one on the controlling terminal and hold the
    // transport thread there. An empty password simply fails the key.
    const bool withPassword = L.SSL_CTX_set_default_passwd_cb && L.SSL_CTX_set_default_passwd_cb_userdata;
    if (withPassword) {
      L.SSL_CTX_set_default_passwd_cb(ctx, TlsPasswordCallback);
      L.SSL_CTX_set_default_passwd_cb_userdata(ctx, const_cast<std::string*>(&password));
    }
    const bool keyLoaded = L.SSL_CTX_use_PrivateKey_file(ctx, keyPath.c_str(), SSL_FILETYPE_PEM) == 1;
    // The password lives only for this call; the context must not keep it.
    if (withPassword) L.SSL_CTX_set_default_passwd_cb_userdata(ctx, nullptr);
    if (!keyLoaded) {
      LastError = "Could not load TLS client private key: " + keyPath + " (wrong password, or the file was not found)";
      return false;
    }
    if (L.SSL_CTX_check_private_key(ctx) != 1) {
      LastError = "TLS client certificate and private key do not match";
      return false;
    }
  }

  SSL* ssl = L.SSL_new(ctx);
  FSsl = ssl;
  if (!ssl) {
    LastError = "SSL_new failed";
    return false;
  }
  if (L.SSL_set_fd(ssl, socket) != 1) {
    LastError = "SSL_set_fd failed";
    return false;
  }
  // Writes may be partial and may continue from a moved buffer: the caller
  // keeps unsent bytes in a growing queue.
  L.SSL_ctrl(ssl, SSL_CTRL_MODE, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
  L.SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
  // The name the certificate must be issued for (an address is matched as
  // an address).
  if (CheckServerCertificate && L.SSL_set1_host(ssl, host.c_str()) != 1) {
    LastError = "the host name " + host + " cannot be checked against a certificate";
    return false;
  }

  // The handshake sleeps in poll until the socket is ready in the direction
  // the library asks for, looks at the stop request between waits, and gives
  // up after a fixed time: a server that never speaks TLS cannot hold the
  // call forever.
  const uint64_t deadline = platform::TickMs() + kHandshakeTimeoutMs;
  for (;;) {
    ClearErrors();
    int rc = L.SSL_connect(ssl);
    if (rc == 1) break;
    int err = L.SSL_get_error(ssl, rc);
    if (err != SSL_ERROR_WANT_READ && err != SSL_ERROR_WANT_WRITE) {
      const long verify = CheckServerCertificate ? L.SSL_get_verify_result(ssl) : X509_V_OK;
      if (verify != X509_V_OK) {
        LastError = "the certificate of " + host + " is not trusted (" +
                    L.X509_verify_cert_error_string(verify) + ")";
        return false;
      }
      char text[64];
      std::snprintf(text, sizeof text, "TLS handshake failed (SSL_get_error=%d)", err);
      LastError = text;
      return false;
    }
    for (;;) {
      if (stopRequested && stopRequested()) {
        LastError = "TLS handshake cancelled";
        return false;
      }
      uint64_t now = platform::TickMs();
      if (now >= deadline) {
        char text[64];
        std::snprintf(text, sizeof text, "TLS handshake timed out after %u s", unsigned(kHandshakeTimeoutMs / 1000));
        LastError = text;
        return false;
      }
      pollfd p{socket, short(err == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
      int wait = int(deadline - now < 100 ? deadline - now : 100);
      if (poll(&p, 1, wait) != 0) break;  // ready, hung up or failed: let the library look
    }
  }

  if (!L.SSL_get_peer_certificate || !L.X509_digest || !L.EVP_sha256) {
    LogLine("uOpenSSLTls: fingerprint exports unavailable, skipping pin");
    return true;
  }
  X509* cert = L.SSL_get_peer_certificate(ssl);
  if (!cert) {
    LogLine("uOpenSSLTls: SSL_get_peer_certificate returned nil");
    return true;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (L.X509_digest(cert, L.EVP_sha256(), digest, &len) == 1)
    Fingerprint = HexUpper(digest, len);
  else
    LogLine("uOpenSSLTls: X509_digest failed");
  if (L.X509_free) L.X509_free(cert);
  return true;
}

int TTlsSession::Read(void* buf, int len) {
  TOpenSsl& L = Lib();
  SSL* ssl = static_cast<SSL*>(FSsl);
  if (!L.Usable || !ssl || len <= 0) return -1;
  ClearErrors();
  int rc = L.SSL_read(ssl, buf, len);
  if (rc > 0) return rc;
  switch (L.SSL_get_error(ssl, rc)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      return 0;
    case SSL_ERROR_ZERO_RETURN:
      return kClosedCleanly;
    default:
      return -1;
  }
}

int TTlsSession::Write(const void* buf, int len) {
  TOpenSsl& L = Lib();
  SSL* ssl = static_cast<SSL*>(FSsl);
  if (!L.Usable || !ssl) return -1;
  if (len <= 0) return 0;
  ClearErrors();
  int rc = L.SSL_write(ssl, buf, len);
  if (rc > 0) return rc;
  int err = L.SSL_get_error(ssl, rc);
  return err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE ? 0 : -1;
}

int TTlsSession::Pending() {
  TOpenSsl& L = Lib();
  SSL* ssl = static_cast<SSL*>(FSsl);
  if (!L.Usable || !ssl || !L.SSL_pending) return 0;
  return L.SSL_pending(ssl);
}
