// The board-list downloader on its own thread against local HTTPS servers
// whose certificates come from a test authority handed to OpenSSL through
// SSL_CERT_FILE: bodies by length, by chunks and by the close, redirects of
// every kind, the limits on requests, size and time, and certificates that
// must be refused.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/uHttpsDownload.h"
#include "net/uOpenSSLTls.h"
#include "platform/Sync.h"
#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HttpsPeer.h"
#include "tests/support/Loopback.h"
#include "tests/support/Serve.h"

using namespace testsupport;

namespace {

struct TDownload {
  bool Ended = false;
  bool Success = false;
  std::string Error;
  std::string Data;
  std::vector<std::string> Statuses;
  uint64_t EndTick = 0;
};

// Runs one download as the application does: events served on this thread,
// the result read in the end handler, the thread joined afterwards.
TDownload Download(const std::string& url, uint32_t limitMs = 60000) {
  TDownload r;
  auto d = std::make_unique<TBBSGuideDownloader>(url);
  d->OnStatus = [&](const std::string& text) { r.Statuses.push_back(text); };
  TBBSGuideDownloader* raw = d.get();
  d->OnTerminate = [&r, raw] {
    r.Ended = true;
    r.EndTick = platform::TickMs();
    r.Success = raw->Success;
    r.Error = raw->ErrorText;
    r.Data.assign(raw->Data.begin(), raw->Data.end());
  };
  EXPECT_TRUE(d->Start());
  EXPECT_TRUE(ServeUntil([&] { return r.Ended; }, limitMs)) << "the download did not end: " << url;
  d->Terminate();
  d->WaitFor();
  return r;
}

class HttpsDownloadThreads : public WithTrustedLocalhost<::testing::Test> {
 protected:
  void SetUp() override {
    platform::SetInterfaceThread();
    ASSERT_TRUE(TlsLibraryUsable()) << "OpenSSL 3 must be linked in the build's dll folder";
    ASSERT_FALSE(FindProgram("python3").empty()) << "python3 is needed for the scripted HTTPS server";
  }
  // The scripted server, started once per test that needs it.
  ScriptedHttpsServer& Server() {
    if (!FServer) FServer = std::make_unique<ScriptedHttpsServer>(FServerDir, FTls->Localhost);
    return *FServer;
  }
  std::string Url(const std::string& path) { return "https://localhost:" + std::to_string(Server().Port()) + path; }

  TempDir FServerDir;
  std::unique_ptr<ScriptedHttpsServer> FServer;
};

}  // namespace

TEST_F(HttpsDownloadThreads, PlainBodyFromOpensslWebServerWithProgressTexts) {
  TempDir site;
  const std::string body = "[Some Board]\nAddress=bbs.example\n";
  ASSERT_TRUE(WriteWholeFile(site.File("list.lst"), body));
  OpensslWebServer server(site, FTls->Localhost);
  const TDownload r = Download("https://localhost:" + std::to_string(server.Port()) + "/list.lst");
  EXPECT_TRUE(r.Success) << r.Error;
  EXPECT_EQ(r.Data, body);
  EXPECT_EQ(r.Statuses, (std::vector<std::string>{"Downloading BBS list...",
                                                  "Downloaded " + std::to_string(body.size()) + " bytes"}));
}

TEST_F(HttpsDownloadThreads, RequestNamesTheBareHostAndThePath) {
  const TDownload r = Download(Url("/echo"));
  ASSERT_TRUE(r.Success) << r.Error;
  EXPECT_EQ(r.Data.substr(0, r.Data.find("\r\n")), "GET /echo HTTP/1.1");
  EXPECT_NE(r.Data.find("\nHost: localhost\n"), std::string::npos) << r.Data;
  EXPECT_NE(r.Data.find("\nUser-Agent: korvan\n"), std::string::npos) << r.Data;
  EXPECT_NE(r.Data.find("\nConnection: close\n"), std::string::npos) << r.Data;
}

struct TBodyCase {
  std::string Name, Path;
  bool Success;
  std::string DataOrError;
};

class HttpsDownloadBodies : public HttpsDownloadThreads, public ::testing::WithParamInterface<TBodyCase> {};

TEST_P(HttpsDownloadBodies, AnswerOfTheServer) {
  const TBodyCase& c = GetParam();
  const TDownload r = Download(Url(c.Path));
  EXPECT_EQ(r.Success, c.Success) << r.Error;
  if (c.Success)
    EXPECT_TRUE(r.Data == c.DataOrError) << r.Data.size() << " bytes: " << r.Data.substr(0, 80);
  else
    EXPECT_EQ(r.Error, c.DataOrError);
  // Only the start and the success are reported as progress.
  EXPECT_EQ(r.Statuses.size(), c.Success ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Threads, HttpsDownloadBodies,
    ::testing::Values(
        TBodyCase{"ContentLength", "/length/12", true, std::string(12, 'x')},
        TBodyCase{"EmptyBody", "/length/0", true, ""},
        TBodyCase{"ShorterThanContentLength", "/length/100/50", false,
                  "body length mismatch (got 50 bytes, Content-Length said 100)"},
        TBodyCase{"ChunkedWithExtensionAndTrailer", "/chunked", true, "hello, world"},
        TBodyCase{"ChunkedCutInsideAChunk", "/cutchunk", false, "chunked response ended before the final chunk"},
        TBodyCase{"NotFound", "/status/404", false, "HTTP 404 (expected 200)"},
        TBodyCase{"RedirectWithoutLocation", "/redirect/302/", false, "HTTP 302 redirect with no Location header"},
        TBodyCase{"RedirectToPlainHttp", "/redirect/301/http%3A%2F%2Flocalhost%2Flength%2F3", false,
                  "unsupported redirect target: http://localhost/length/3"},
        TBodyCase{"RedirectLoopStopsAfterFiveRequests", "/loop/1", false, "too many redirects"},
        TBodyCase{"ExactlyTheSizeLimit", "/exact/20971520", true,
                  std::string(20971520 - std::string("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n").size(), 'y')},
        TBodyCase{"OneByteOverTheSizeLimit", "/exact/20971521", false, "response too large"}),
    [](const ::testing::TestParamInfo<TBodyCase>& info) { return info.param.Name; });

// Each redirect code with a target path on the same server: the port of the
// server stays with it.
TEST_F(HttpsDownloadThreads, EveryRedirectCodeWithAPathContinuesOnTheSameHostAndPort) {
  for (const char* code : {"301", "302", "303", "307", "308"}) {
    const TDownload r = Download(Url(std::string("/redirect/") + code + "/%2Flength%2F4"));
    EXPECT_TRUE(r.Success) << code << ": " << r.Error;
    EXPECT_EQ(r.Data, "xxxx") << code;
  }
  EXPECT_EQ(Server().Requests("/length/4"), 5);
}

TEST_F(HttpsDownloadThreads, RedirectToAFullHttpsAddressIsFollowed) {
  const std::string target = Url("/length/2");
  std::string quoted;
  for (char c : target) quoted += c == '/' ? std::string("%2F") : c == ':' ? std::string("%3A") : std::string(1, c);
  const TDownload r = Download(Url("/redirect/307/" + quoted));
  EXPECT_TRUE(r.Success) << r.Error;
  EXPECT_EQ(r.Data, "xx");
}

TEST_F(HttpsDownloadThreads, RedirectLoopMakesFiveRequests) {
  EXPECT_EQ(Download(Url("/loop/1")).Error, "too many redirects");
  EXPECT_EQ(Server().Requests("/loop/"), 5);
}

TEST_F(HttpsDownloadThreads, CertificatesThatMustBeRefused) {
  TempDir dir;
  // Issued by the trusted authority, but for another host.
  const TServerCert other = FTls->Authority.Issue("otherhost");
  // For the right host, but from an authority nobody trusts.
  TestCertificateAuthority stranger(dir);
  const TServerCert untrusted = stranger.Issue("localhost");
  struct {
    const TServerCert& Cert;
    std::string Error;
  } cases[] = {
      {other, "TLS handshake failed: the certificate of localhost is not trusted (hostname mismatch)"},
      {untrusted, "TLS handshake failed: the certificate of localhost is not trusted (unable to get local issuer "
                  "certificate)"},
  };
  for (const auto& c : cases) {
    TempDir site;
    WriteWholeFile(site.File("list.lst"), "never fetched");
    OpensslWebServer server(site, c.Cert);
    const TDownload r = Download("https://localhost:" + std::to_string(server.Port()) + "/list.lst");
    EXPECT_FALSE(r.Success);
    EXPECT_TRUE(r.Data.empty());
    EXPECT_EQ(r.Error, c.Error);
  }
}

TEST_F(HttpsDownloadThreads, UnreachableAndMalformedAddresses) {
  const std::string port = std::to_string(FreeLoopbackPort());  // nobody listens there
  struct {
    std::string Url, Error;
  } cases[] = {
      {"HTTPS://localhost/list.zip", "not a valid https:// URL: HTTPS://localhost/list.zip"},
      {"https:///list.zip", "not a valid https:// URL: https:///list.zip"},
      {"https://no-such-host.invalid/list.zip", "could not resolve host: no-such-host.invalid"},
      {"https://127.0.0.1:" + port + "/", "connect() failed (error 111: Connection refused)"},
  };
  for (const auto& c : cases) {
    const TDownload r = Download(c.Url);
    EXPECT_FALSE(r.Success) << c.Url;
    EXPECT_EQ(r.Error, c.Error);
  }
}

// A server that sends its headers and then nothing: the download gives up
// once the response has taken longer than its limit since the request.
TEST_F(HttpsDownloadThreads, StalledServerTimesOutAfterThirtySeconds) {
  uint64_t requestSeen = 0;
  auto d = std::make_unique<TBBSGuideDownloader>(Url("/stall"));
  bool ended = false;
  uint64_t endTick = 0;
  d->OnTerminate = [&] {
    ended = true;
    endTick = platform::TickMs();
  };
  ASSERT_TRUE(d->Start());
  ASSERT_TRUE(ServeUntil([&] {
    if (!requestSeen && Server().Requests("/stall") > 0) requestSeen = platform::TickMs();
    return ended;
  }, 120000));
  d->WaitFor();
  EXPECT_FALSE(d->Success);
  EXPECT_EQ(d->ErrorText, "response timed out");
  ASSERT_NE(requestSeen, 0u);
  // Measured from the moment the server had the request (the client sent
  // it a little earlier), with room for a slow machine after the limit.
  EXPECT_GE(endTick - requestSeen + 1000, uint64_t(TBBSGuideDownloader::kResponseTimeoutMs));
  EXPECT_LT(endTick - requestSeen, uint64_t(TBBSGuideDownloader::kResponseTimeoutMs) + 30000);
}

// Stopping the thread while it waits ends it quietly: no error text.
TEST_F(HttpsDownloadThreads, StopWhileWaitingEndsWithoutAnErrorText) {
  auto d = std::make_unique<TBBSGuideDownloader>(Url("/stall"));
  bool ended = false;
  d->OnTerminate = [&] { ended = true; };
  ASSERT_TRUE(d->Start());
  ASSERT_TRUE(ServeUntil([&] { return Server().Requests("/stall") > 0; }, 20000));
  d->Terminate();
  ASSERT_TRUE(ServeUntil([&] { return ended; }, 10000));
  d->WaitFor();
  EXPECT_FALSE(d->Success);
  EXPECT_EQ(d->ErrorText, "");
}

// The address forms a board-list setting may hold.
TEST(SplitHttpsUrl, Parts) {
  struct {
    std::string Url;
    bool Ok;
    std::string Host;
    uint16_t Port;
    std::string Path;
  } cases[] = {
      {"https://bbs.example/bbslist/ibbs0525.zip", true, "bbs.example", 443, "/bbslist/ibbs0525.zip"},
      {"https://bbs.example", true, "bbs.example", 443, "/"},
      {"https://bbs.example:8443/x?y=1", true, "bbs.example", 8443, "/x?y=1"},
      {"https://bbs.example:port/x", true, "bbs.example", 443, "/x"},
      {"https://bbs.example:70000/x", true, "bbs.example", 443, "/x"},
      {"Https://bbs.example/x", false, "", 443, "/"},
      {"http://bbs.example/x", false, "", 443, "/"},
      {"https://:8443/x", false, "", 8443, "/x"},
  };
  for (const auto& c : cases) {
    std::string host = "stale", path = "stale";
    uint16_t port = 1;
    EXPECT_EQ(SplitHttpsUrl(c.Url, host, port, path), c.Ok) << c.Url;
    EXPECT_EQ(host, c.Host) << c.Url;
    EXPECT_EQ(port, c.Port) << c.Url;
    EXPECT_EQ(path, c.Path) << c.Url;
  }
}

// Responses no server in these tests sends: status lines and chunk sizes.
TEST(ParseHttpResponse, MalformedResponses) {
  struct {
    std::string Response;
    std::string Error;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n", "connection closed before headers finished"},
      {"HTTP/1.1 abc OK\r\n\r\n", "malformed HTTP status line: HTTP/1.1 abc OK"},
      {"HTTP/1.1 000 OK\r\n\r\n", "malformed HTTP status line: HTTP/1.1 000 OK"},
      {"HTTP/1.1\r\n\r\n", "malformed HTTP status line: HTTP/1.1"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n",
       "chunked response ended before the final chunk"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFF\r\nhello\r\n0\r\n\r\n",
       "chunked response ended before the final chunk"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n", "chunked response ended before the final chunk"},
  };
  for (const auto& c : cases) {
    std::string location, error;
    std::vector<uint8_t> data;
    EXPECT_FALSE(ParseHttpResponse(c.Response, location, data, error)) << c.Response;
    EXPECT_EQ(error, c.Error);
  }
  // Header names in any case; a Content-Length that is not a number is no length.
  std::string location, error;
  std::vector<uint8_t> data;
  ASSERT_TRUE(ParseHttpResponse("HTTP/1.0 200 ok\r\ncontent-length: twelve\r\n\r\nabc", location, data, error)) << error;
  EXPECT_EQ(std::string(data.begin(), data.end()), "abc");
  ASSERT_TRUE(ParseHttpResponse("HTTP/1.1 308 Moved\r\nLOCATION:   /next  \r\n\r\n", location, data, error));
  EXPECT_EQ(location, "/next");
}
