// HTTPS peers for the downloader tests: a throwaway certificate authority
// and server certificates signed by it (made with the openssl tool), handed
// to the program through OpenSSL's SSL_CERT_FILE; openssl s_server -WWW for a
// plain body; and a small Python HTTPS server (its ssl module and http.server)
// whose paths answer in the ways a web server may: lengths, chunks,
// redirects, errors, oversized and stalled responses, and files.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"

namespace testsupport {

inline bool RunOpensslTool(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"openssl"};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess p;
  return p.Start(argv) && p.Wait(30000) == 0;
}

struct TServerCert {
  std::string Cert, Key;
};

// A certificate authority of its own, in Dir; Issue() makes server
// certificates for a host name signed by it.
class TestCertificateAuthority {
 public:
  explicit TestCertificateAuthority(const TempDir& dir) : FDir(dir), FCert(dir.File("ca.crt")), FKey(dir.File("ca.key")) {
    EXPECT_TRUE(RunOpensslTool({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                                "-keyout", FKey, "-out", FCert, "-days", "2", "-subj", "/CN=KORVAN test authority"}))
        << "the openssl program is needed (package openssl)";
  }
  const std::string& CertFile() const { return FCert; }

  TServerCert Issue(const std::string& host) const {
    TServerCert c{FDir.File(host + ".crt"), FDir.File(host + ".key")};
    const std::string csr = FDir.File(host + ".csr"), ext = FDir.File(host + ".ext");
    WriteWholeFile(ext, "subjectAltName=DNS:" + host + "\nbasicConstraints=CA:FALSE\n");
    EXPECT_TRUE(RunOpensslTool({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                                "-keyout", c.Key, "-out", csr, "-subj", "/CN=" + host}));
    EXPECT_TRUE(RunOpensslTool({"x509", "-req", "-in", csr, "-CA", FCert, "-CAkey", FKey, "-CAcreateserial", "-out",
                                c.Cert, "-days", "2", "-extfile", ext}));
    return c;
  }

 private:
  const TempDir& FDir;
  std::string FCert, FKey;
};

// While it lives, OpenSSL in this process trusts exactly the given
// authority (set before any worker thread reads the environment).
class TrustedAuthorityFile {
 public:
  explicit TrustedAuthorityFile(const std::string& file) {
    const char* old = std::getenv("SSL_CERT_FILE");
    FHad = old != nullptr;
    if (FHad) FOld = old;
    setenv("SSL_CERT_FILE", file.c_str(), 1);
  }
  ~TrustedAuthorityFile() {
    if (FHad)
      setenv("SSL_CERT_FILE", FOld.c_str(), 1);
    else
      unsetenv("SSL_CERT_FILE");
  }

 private:
  bool FHad = false;
  std::string FOld;
};

// What a test suite sets up once: an authority, a certificate it issued for
// "localhost", and OpenSSL told to trust that authority.
struct TrustedLocalhost {
  TempDir Dir;
  TestCertificateAuthority Authority{Dir};
  TServerCert Localhost = Authority.Issue("localhost");
  TrustedAuthorityFile Trust{Authority.CertFile()};
};

// A test fixture on Base whose suite shares one TrustedLocalhost.
template <class Base>
class WithTrustedLocalhost : public Base {
 protected:
  static void SetUpTestSuite() { FTls = new TrustedLocalhost; }
  static void TearDownTestSuite() {
    delete FTls;
    FTls = nullptr;
  }
  static inline TrustedLocalhost* FTls = nullptr;
};

// A server process on a loopback port it chose and announced in its output.
class AnnouncedServer {
 public:
  uint16_t Port() const { return FPort; }
  std::string Output() const { return ReadWholeFile(FOutput); }

 protected:
  void Launch(const std::vector<std::string>& argv, const std::string& output, const std::string& workDir,
              const std::string& mark) {
    FOutput = output;
    ChildProcess::Options o;
    o.OutputFile = output;
    o.WorkingDir = workDir;
    if (!FProcess.Start(argv, o)) {
      ADD_FAILURE() << argv[0] << " could not be started";
      return;
    }
    const uint64_t until = platform::TickMs() + 20000;
    while (FPort == 0 && platform::TickMs() < until) {
      const std::string out = Output();
      const size_t at = out.find(mark);
      if (at != std::string::npos && out.find('\n', at) != std::string::npos)
        FPort = uint16_t(std::stoi(out.substr(at + mark.size())));
      else
        usleep(10000);
    }
    if (FPort == 0) ADD_FAILURE() << argv[0] << " did not announce its port: " << Output();
  }

 private:
  std::string FOutput;
  uint16_t FPort = 0;
  ChildProcess FProcess;
};

// openssl s_server -WWW: GET /name answers with the file Dir/name.
class OpensslWebServer : public AnnouncedServer {
 public:
  OpensslWebServer(const TempDir& dir, const TServerCert& cert) {
    Launch({"openssl", "s_server", "-WWW", "-accept", "127.0.0.1:0", "-cert", cert.Cert, "-key", cert.Key},
           dir.File("s_server.out"), dir.Path(), "ACCEPT 127.0.0.1:");
  }
};

// The scripted server. Paths:
//   /echo                 the request as received, as the body
//   /length/N[/M]         Content-Length N, then M bytes ('x'; M = N when absent)
//   /chunked              "hello, world" in two chunks, one with an extension, and a trailer
//   /cutchunk             a chunked body cut off inside its second chunk
//   /redirect/CODE/T      status CODE with Location T (URL-quoted; none when T is empty)
//   /loop/N               302 to /loop/N+1
//   /status/CODE          status CODE, empty body
//   /exact/TOTAL          a response of TOTAL bytes, headers included, ended by the close
//   /stall                headers of a 10-byte body, then nothing
//   /file/NAME            the file Root/NAME, or 404
// Every request's path is printed as a line "GET path".
class ScriptedHttpsServer : public AnnouncedServer {
 public:
  ScriptedHttpsServer(const TempDir& dir, const TServerCert& cert, const std::string& root = "") {
    const std::string script = dir.File("https_server.py");
    WriteWholeFile(script, kScript);
    // The distribution's interpreter when there is one: wrappers on PATH
    // (version managers) can take seconds to start.
    const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    Launch({python, script, cert.Cert, cert.Key, root.empty() ? dir.Path() : root},
           dir.File("https_server-" + std::to_string(++FCount) + ".out"), "", "PORT ");
  }
  // How many requests reached the server for a path beginning with Prefix.
  int Requests(const std::string& prefix) const {
    const std::string out = Output(), mark = "GET " + prefix;
    int n = 0;
    for (size_t at = out.find(mark); at != std::string::npos; at = out.find(mark, at + 1)) ++n;
    return n;
  }

 private:
  static inline int FCount = 0;
  static constexpr const char* kScript = R"PY(
import os, ssl, sys, time, urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

cert, key, root = sys.argv[1], sys.argv[2], sys.argv[3]

class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, data):
        self.wfile.write(data if isinstance(data, bytes) else data.encode("latin-1"))
        self.wfile.flush()

    def do_GET(self):
        self.close_connection = True
        print("GET " + self.path, flush=True)
        parts = self.path.split("/")[1:]
        kind = parts[0]
        if kind == "echo":
            body = (self.requestline + "\r\n" + str(self.headers)).encode("latin-1")
            self.send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        elif kind == "length":
            claimed = int(parts[1])
            sent = int(parts[2]) if len(parts) > 2 else claimed
            self.send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % claimed + b"x" * sent)
        elif kind == "chunked":
            self.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n"
                      "5;name=value\r\nhello\r\n7\r\n, world\r\n0\r\nX-Trailer: 1\r\n\r\n")
        elif kind == "cutchunk":
            self.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n10\r\nshort")
        elif kind == "redirect":
            target = urllib.parse.unquote("/".join(parts[2:]))
            location = "Location: " + target + "\r\n" if target else ""
            self.send("HTTP/1.1 " + parts[1] + " Moved\r\n" + location + "Content-Length: 0\r\n\r\n")
        elif kind == "loop":
            self.send("HTTP/1.1 302 Found\r\nLocation: /loop/%d\r\nContent-Length: 0\r\n\r\n" % (int(parts[1]) + 1))
        elif kind == "status":
            self.send("HTTP/1.1 " + parts[1] + " Whatever\r\nContent-Length: 0\r\n\r\n")
        elif kind == "exact":
            head = b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"
            self.send(head + b"y" * (int(parts[1]) - len(head)))
        elif kind == "stall":
            self.send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n")
            time.sleep(600)
        elif kind == "file":
            path = os.path.join(root, parts[1])
            if os.path.isfile(path):
                data = open(path, "rb").read()
                self.send(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(data) + data)
            else:
                self.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")

class Server(ThreadingHTTPServer):
    daemon_threads = True

server = Server(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
print("PORT %d" % server.server_address[1], flush=True)
server.serve_forever()
)PY";
};

}  // namespace testsupport
