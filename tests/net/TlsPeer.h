// TLS peers for the TelnetS tests: throwaway certificates made with the
// openssl tool, and openssl s_server on a loopback port.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/Tick.h"
#include "tests/support/ChildProcess.h"

namespace telnettest {

using testsupport::ChildProcess;
using testsupport::ReadWholeFile;
using testsupport::TempDir;

// Runs the openssl command line tool to the end; its output goes to OutFile.
inline bool RunOpenssl(const std::vector<std::string>& args, const std::string& outFile = "") {
  std::vector<std::string> argv{"openssl"};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess p;
  ChildProcess::Options o;
  o.OutputFile = outFile;
  return p.Start(argv, o) && p.Wait(30000) == 0;
}

struct TCert {
  std::string Cert, Key, Fingerprint;  // fingerprint as openssl x509 shows it, without colons
};

inline TCert MakeCert(const TempDir& dir, const std::string& name, const std::string& keyPassword = "") {
  TCert c{dir.File(name + ".crt"), dir.File(name + ".key"), ""};
  std::vector<std::string> args{"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                "-keyout", c.Key, "-out", c.Cert, "-days", "2", "-subj", "/CN=" + name};
  if (keyPassword.empty()) {
    args.push_back("-nodes");
  } else {
    args.push_back("-passout");
    args.push_back("pass:" + keyPassword);
  }
  EXPECT_TRUE(RunOpenssl(args));
  const std::string out = dir.File(name + ".fp");
  EXPECT_TRUE(RunOpenssl({"x509", "-in", c.Cert, "-noout", "-fingerprint", "-sha256"}, out));
  std::string text = ReadWholeFile(out);
  size_t eq = text.find('=');
  if (eq != std::string::npos) {
    for (char ch : text.substr(eq + 1))
      if (std::isxdigit(static_cast<unsigned char>(ch))) c.Fingerprint += ch;
  }
  EXPECT_EQ(c.Fingerprint.size(), 64u) << text;
  return c;
}

// openssl s_server on a loopback port the system picks (so parallel tests
// never race for one); what it receives lands in Output(). It runs without
// -quiet to announce its port, so its output also holds its own notes.
class TlsServer {
 public:
  TlsServer(const TempDir& dir, const TCert& cert, std::vector<std::string> extra = {})
      : FOutput(dir.File("server-" + std::to_string(++FCount) + ".out")) {
    std::vector<std::string> argv{"openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", cert.Cert, "-key",
                                  cert.Key};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ChildProcess::Options o;
    o.StdinPipe = true;
    o.OutputFile = FOutput;
    if (!FProcess.Start(argv, o)) {
      ADD_FAILURE() << "openssl s_server could not be started (package openssl)";
      return;
    }
    const std::string mark = "ACCEPT 127.0.0.1:";
    uint64_t until = platform::TickMs() + 10000;
    while (FPort == 0 && platform::TickMs() < until) {
      std::string out = Output();
      size_t at = out.find(mark);
      if (at != std::string::npos && out.find('\n', at) != std::string::npos)
        FPort = uint16_t(std::stoi(out.substr(at + mark.size())));
      else
        usleep(10000);
    }
    if (FPort == 0) ADD_FAILURE() << "openssl s_server did not announce its port: " << Output();
  }
  uint16_t Port() const { return FPort; }
  std::string Output() const { return ReadWholeFile(FOutput); }
  bool Send(const std::string& s) { return FProcess.WriteStdin(s); }
  void EndInput() { FProcess.CloseStdin(); }

 private:
  static inline int FCount = 0;
  std::string FOutput;
  uint16_t FPort = 0;
  ChildProcess FProcess;
};

}  // namespace telnettest
