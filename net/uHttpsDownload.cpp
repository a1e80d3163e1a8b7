#include "net/uHttpsDownload.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/uDebugLog.h"
#include "net/uOpenSSLTls.h"
#include "net/uTelnetClient.h"
#include "platform/Tick.h"

namespace {

constexpr std::string_view kScheme = "https://";
constexpr size_t kReadChunk = 8192;

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

// The whole text as a decimal number no larger than Max; -1 otherwise.
int64_t DecimalOrMinusOne(std::string_view s, int64_t max) {
  if (s.empty() || s.size() > 18) return -1;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v <= max ? v : -1;
}

std::string Formatted(const char* format, long long a, long long b = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// Closes the socket on every path out of a request.
class TSocketGuard {
 public:
  explicit TSocketGuard(int fd) : FFd(fd) {}
  ~TSocketGuard() {
    if (FFd >= 0) close(FFd);
  }
  TSocketGuard(const TSocketGuard&) = delete;
  TSocketGuard& operator=(const TSocketGuard&) = delete;

 private:
  int FFd;
};

}  // namespace

bool SplitHttpsUrl(const std::string& url, std::string& host, uint16_t& port, std::string& path) {
  host.clear();
  port = 443;
  path = "/";
  if (url.compare(0, kScheme.size(), kScheme) != 0) return false;
  const std::string rest = url.substr(kScheme.size());
  const size_t slash = rest.find('/');
  std::string hostPart = rest.substr(0, slash);
  if (slash != std::string::npos) path = rest.substr(slash);
  const size_t colon = hostPart.find(':');
  if (colon != std::string::npos) {
    const int64_t n = DecimalOrMinusOne(hostPart.substr(colon + 1), 65535);
    port = n > 0 ? uint16_t(n) : 443;
    hostPart.erase(colon);
  }
  host = hostPart;
  return !host.empty();
}

bool DecodeChunkedBody(std::string_view body, std::vector<uint8_t>& data) {
  data.clear();
  size_t pos = 0;
  for (;;) {
    const size_t eol = body.find("\r\n", pos);
    if (eol == std::string_view::npos) return false;
    std::string_view line = body.substr(pos, eol - pos);
    line = Trimmed(line.substr(0, line.find(';')));
    if (line.empty() || line.size() > 15) return false;  // 15 hex digits already exceed any body
    uint64_t size = 0;
    for (char c : line) {
      const char l = LowerAscii(c);
      int digit = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
      if (digit < 0) return false;
      size = size * 16 + uint64_t(digit);
    }
    if (size == 0) return true;
    pos = eol + 2;
    if (size > body.size() - pos) return false;
    data.insert(data.end(), body.begin() + pos, body.begin() + pos + size);
    pos += size_t(size) + 2;  // the CR LF that ends the chunk, not examined
    if (pos > body.size()) return false;
  }
}

bool ParseHttpResponse(std::string_view response, std::string& location, std::vector<uint8_t>& data,
                       std::string& error) {
  location.clear();
  data.clear();
  const size_t end = response.find("\r\n\r\n");
  if (end == std::string_view::npos) {
    error = "connection closed before headers finished";
    return false;
  }
  const std::string_view headers = response.substr(0, end), body = response.substr(end + 4);
  size_t eol = headers.find("\r\n");
  const std::string_view statusLine = headers.substr(0, eol);
  // "HTTP/1.1 200 OK": the code is the three characters after the protocol
  // name, its version and one blank.
  const int64_t status = statusLine.size() > 9 ? DecimalOrMinusOne(statusLine.substr(9, 3), 999) : -1;
  if (status <= 0) {
    error = "malformed HTTP status line: " + std::string(statusLine);
    return false;
  }
  int64_t contentLength = -1;
  bool chunked = false;
  std::string target;
  while (eol != std::string_view::npos) {
    const size_t start = eol + 2;
    eol = headers.find("\r\n", start);
    const std::string_view line = headers.substr(start, eol == std::string_view::npos ? eol : eol - start);
    if (StartsWithNoCase(line, "Content-Length:")) {
      contentLength = DecimalOrMinusOne(Trimmed(line.substr(15)), INT64_MAX / 10);
    } else if (StartsWithNoCase(line, "Transfer-Encoding:")) {
      std::string lower(line);
      for (char& c : lower) c = LowerAscii(c);
      chunked = lower.find("chunked") != std::string::npos;
    } else if (StartsWithNoCase(line, "Location:")) {
      target = std::string(Trimmed(line.substr(9)));
    }
  }
  if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
    if (target.empty()) {
      error = Formatted("HTTP %lld redirect with no Location header", status);
      return false;
    }
    location = target;
    return true;
  }
  if (status != 200) {
    error = Formatted("HTTP %lld (expected 200)", status);
    return false;
  }
  if (chunked) {
    if (DecodeChunkedBody(body, data)) return true;
    data.clear();
    error = "chunked response ended before the final chunk";
    return false;
  }
  if (contentLength >= 0 && uint64_t(contentLength) != body.size()) {
    error = Formatted("body length mismatch (got %lld bytes, Content-Length said %lld)", (long long)body.size(),
                      contentLength);
    return false;
  }
  data.assign(body.begin(), body.end());
  return true;
}

// --- TBBSGuideDownloader ---

TBBSGuideDownloader::TBBSGuideDownloader(std::string url)
    : platform::Thread(kTransportStackSize), Url(std::move(url)) {}

void TBBSGuideDownloader::ReportStatus(const std::string& text) {
  platform::Synchronize([this, &text] {
    if (OnStatus) OnStatus(text);
  });
}

void TBBSGuideDownloader::Execute() {
  ReportStatus("Downloading BBS list...");
  std::string url = Url;
  for (int request = 0; request < kMaxRequests; ++request) {
    std::string host, path, location, error;
    uint16_t port = 443;
    if (!SplitHttpsUrl(url, host, port, path)) {
      ErrorText = "not a valid https:// URL: " + url;
      return;
    }
    std::vector<uint8_t> body;
    if (!HttpsGet(host, port, path, location, body, error)) {
      ErrorText = error;
      return;
    }
    if (location.empty()) {
      Data = std::move(body);
      Success = true;
      ReportStatus("Downloaded " + std::to_string(Data.size()) + " bytes");
      return;
    }
    if (location.compare(0, kScheme.size(), kScheme) == 0) {
      url = location;
    } else if (location[0] == '/') {
      // The same server: its port stays with it.
      url = std::string(kScheme) + host + (port != 443 ? ":" + std::to_string(port) : std::string()) + location;
    } else {
      ErrorText = "unsupported redirect target: " + location;
      return;
    }
    LogLine("BBSGuideDownload: redirected to " + url);
  }
  ErrorText = "too many redirects";
}

int TBBSGuideDownloader::ConnectTcp(const std::string& host, uint16_t port, std::string& error) {
  sockaddr_in addr;
  if (!ResolveHostAddr(host, port, addr)) {
    error = "could not resolve host: " + host;
    return -1;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = "socket() failed";
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  auto failed = [&](int err) {
    error = "connect() failed (error " + std::to_string(err) + ": " + std::strerror(err) + ")";
    close(fd);
    return -1;
  };
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (errno != EINPROGRESS) return failed(errno);
  const uint64_t started = platform::TickMs();
  while (!Terminated()) {
    if (platform::TickMs() - started >= kConnectTimeoutMs) {
      error = "connect() timed out";
      close(fd);
      return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    const int rc = poll(&p, 1, int(kConnectPollMs));
    if (rc < 0 && errno != EINTR) return failed(errno);
    if (rc > 0) {
      // Writable also when the connect failed: the socket says which.
      int err = 0;
      socklen_t len = sizeof err;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      return err == 0 ? fd : failed(err);
    }
  }
  close(fd);
  return -1;
}

bool TBBSGuideDownloader::HttpsGet(const std::string& host, uint16_t port, const std::string& path,
                                   std::string& location, std::vector<uint8_t>& data, std::string& error) {
  location.clear();
  data.clear();
  error.clear();
  const int fd = ConnectTcp(host, port, error);
  if (fd < 0) return false;
  TSocketGuard socketGuard(fd);
  // Declared after the guard: the session says goodbye before the socket closes.
  TTlsSession tls;
  tls.CheckServerCertificate = true;
  if (!tls.Connect(fd, host, "", "", "", [this] { return Terminated(); })) {
    if (!Terminated()) error = "TLS handshake failed: " + tls.LastError;
    return false;
  }

  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host +
                              "\r\nUser-Agent: korvan\r\nAccept: */*\r\nConnection: close\r\n\r\n";
  size_t sent = 0;
  const uint64_t writeStarted = platform::TickMs();
  while (sent < request.size()) {
    if (Terminated()) return false;
    const int n = tls.Write(request.data() + sent, int(request.size() - sent));
    if (n < 0) {
      error = "TLS write failed";
      return false;
    }
    if (n > 0) {
      sent += size_t(n);
      continue;
    }
    // A server that never takes the request must not hold the thread.
    if (platform::TickMs() - writeStarted > kResponseTimeoutMs) {
      error = "TLS write failed";
      return false;
    }
    pollfd p{fd, POLLOUT | POLLIN, 0};
    poll(&p, 1, 10);
  }

  // The response ends with the connection (the request asked for that).
  const uint64_t requestSent = platform::TickMs();
  std::string response;
  char chunk[kReadChunk];
  for (;;) {
    if (Terminated()) return false;
    const int n = tls.Read(chunk, int(sizeof chunk));
    if (n < 0) break;  // the server's close, clean or not
    if (n > 0) {
      const size_t needed = response.size() + size_t(n);
      if (needed > kMaxResponseBytes) {
        error = "response too large";
        return false;
      }
      if (needed > response.capacity()) response.reserve(std::min(kMaxResponseBytes, needed + needed / 2 + kReadChunk));
      response.append(chunk, size_t(n));
      continue;
    }
    if (platform::TickMs() - requestSent > kResponseTimeoutMs) {
      error = "response timed out";
      return false;
    }
    if (tls.Pending() == 0) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 200);
    }
  }
  return ParseHttpResponse(response, location, data, error);
}
