// The run-time libssh2 binding: what it says when the library is missing or
// incomplete. It loads once per process, so every case runs in a fresh
// process of its own (a death test in "threadsafe" style runs this program
// again for just that case).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "net/uSSHClient.h"
#include "net/uSSHLib.h"
#include "tests/net/TransportTestKit.h"

using namespace kit;

namespace {

class SSHLibDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Points the program folder at one whose dll/libssh2.so.1 is Library (none
// when empty), then loads the binding.
bool LoadFrom(const TempDir& dir, const std::string& library) {
  mkdir(dir.File("dll").c_str(), 0755);
  if (!library.empty()) symlink(library.c_str(), dir.File("dll/libssh2.so.1").c_str());
  platform::SetAppFolder(dir.Path());
  return LoadLibSsh2();
}

// Ends the process: 0 when Got equals Want, else 1 with both on stderr.
void ExitChecking(const std::string& got, const std::string& want) {
  if (got == want) std::exit(0);
  std::fprintf(stderr, "got  [%s]\nwant [%s]\n", got.c_str(), want.c_str());
  std::exit(1);
}

}  // namespace

TEST_F(SSHLibDeathTest, WithoutTheLibraryEverySshCallEndsWithTheLoadText) {
  EXPECT_EXIT(
      {
        TempDir dir;
        bool loaded = LoadFrom(dir, "");
        platform::SetInterfaceThread();
        auto client = TSSHClient::Create("127.0.0.1", 22, "u", "p", "", 80, 24, false);
        auto log = RecordTransport(*client);
        WaitEnd(*log, 10000);
        WaitFinished(client);
        ExitChecking((loaded ? "loaded; " : "") + log->Sequence() + ": " + log->DisconnectText(),
                     "disconnected: SSH connection failed: libssh2.so.1 could not be loaded (not found, or one of "
                     "its own dependencies - libcrypto/libssl/zlib - is missing)");
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(SSHLibDeathTest, WhatLoadsAndWhatIsMissing) {
  struct Row {
    const char* Name;
    std::string Library;
    std::string Want;
  };
  const Row rows[] = {
      {"the first missing export is named, and only that one", FAKE_LIBSSH2_DIR "/libfake_libssh2_no_eof.so",
       "not loaded [libssh2.so.1 loaded but is missing export(s): libssh2_channel_eof]"},
      {"no agent calls: loads, agent login off", FAKE_LIBSSH2_DIR "/libfake_libssh2_no_agent.so", "loaded []"},
      {"the real library, with agent support", platform::AppFolder() + "dll/libssh2.so.1", "loaded, agent []"},
  };
  for (const Row& row : rows) {
    EXPECT_EXIT(
        {
          TempDir dir;
          bool loaded = LoadFrom(dir, row.Library);
          ExitChecking(std::string(loaded ? "loaded" : "not loaded") + (LibSsh2AgentAvailable() ? ", agent" : "") +
                           " [" + LibSsh2LoadError() + "]",
                       row.Want);
        },
        ::testing::ExitedWithCode(0), "")
        << row.Name;
  }
}
