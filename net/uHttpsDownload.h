// Fetches one file over HTTPS on a worker thread: the monthly board-list
// archive. A minimal HTTP/1.1 client: one GET per request over a TLS session
// that checks the server's certificate against the system's authorities and
// the host name, fixed limits on time and size, chunked and length-delimited
// bodies, and redirects followed within https. It touches only its own
// fields; the owner reads the result after the thread has ended.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/uWireTransport.h"

class TBBSGuideDownloader : public platform::Thread {
 public:
  // TCP connect, in waits for writability of kConnectPollMs.
  static constexpr uint32_t kConnectTimeoutMs = 15000;
  static constexpr uint32_t kConnectPollMs = 200;
  // The whole response after the request was sent.
  static constexpr uint32_t kResponseTimeoutMs = 30000;
  // Headers and body together; more is refused.
  static constexpr size_t kMaxResponseBytes = 20971520;
  // The first request and up to four redirects.
  static constexpr int kMaxRequests = 5;

  // Not started: the owner sets OnStatus and OnTerminate, then Start()s it,
  // and frees it only after the thread has ended (OnTerminate runs while the
  // thread still waits for it; WaitFor then joins).
  explicit TBBSGuideDownloader(std::string url);

  const std::string Url;
  // Progress texts ("Downloading BBS list...", "Downloaded N bytes"), raised
  // on the interface thread.
  TWireTextEvent OnStatus;

  // The result, written by the thread; read after it ended.
  bool Success = false;
  std::vector<uint8_t> Data;  // the body, when Success
  std::string ErrorText;      // why not, when not Success (empty when stopped)

  // One GET, on the downloader's thread. True with the body in Data (status
  // 200), or with a redirect target in Location (Data empty).
  bool HttpsGet(const std::string& host, uint16_t port, const std::string& path, std::string& location,
                std::vector<uint8_t>& data, std::string& error);

 protected:
  void Execute() override;

 private:
  void ReportStatus(const std::string& text);
  // Connected non-blocking socket, or -1 (Error empty when stopped).
  int ConnectTcp(const std::string& host, uint16_t port, std::string& error);
};

// "https://host[:port][/path]" into its parts: Port 443 and Path "/" when
// missing, a port that is not a number reads as 443. The scheme must be
// written exactly so (lower case). False when it is not, or the host is empty.
bool SplitHttpsUrl(const std::string& url, std::string& host, uint16_t& port, std::string& path);

// A whole response as received (status line, headers, body) into the body
// of a 200 or the target of a redirect. False with the error text otherwise.
bool ParseHttpResponse(std::string_view response, std::string& location, std::vector<uint8_t>& data,
                       std::string& error);

// A chunked body (RFC 9112, section 7.1) into its data; chunk extensions and
// trailers are ignored. False when it ends before the final chunk or a size
// line is not a hexadecimal number.
bool DecodeChunkedBody(std::string_view body, std::vector<uint8_t>& data);
