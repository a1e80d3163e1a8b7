// The optional-library loader looks in the dll folder beside the program and
// nowhere else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/uDllLoader.h"
#include "platform/AppFolder.h"

namespace {

class DllLoaderTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetAppFolder(""); }
};

}  // namespace

TEST_F(DllLoaderTest, NamesMapToLinuxFiles) {
  EXPECT_EQ(LinuxLibraryName("libssl-3.dll"), "libssl.so.3");
  EXPECT_EQ(LinuxLibraryName("libcrypto-3.dll"), "libcrypto.so.3");
  EXPECT_EQ(LinuxLibraryName("libssh2.dll"), "libssh2.so.1");
  EXPECT_EQ(LinuxLibraryName("vorbisfile.dll"), "libvorbisfile.so.3");
  EXPECT_EQ(LinuxLibraryName("jxl.dll"), "libjxl.so");
  EXPECT_EQ(LinuxLibraryName("libjxl.dll"), "libjxl.so");
  platform::SetAppFolder("/opt/k");
  EXPECT_EQ(DllFolderPath("libssh2.dll"), "/opt/k/dll/libssh2.so.1");
}

TEST_F(DllLoaderTest, TheBuildFillsTheDllFolderAndEveryLibraryLoads) {
  // The test programs sit beside the built korvan, so this is its dll folder.
  for (const char* name : {"libcrypto-3.dll", "libssl-3.dll", "libssh2.dll", "vorbisfile.dll", "jxl.dll"}) {
    TModuleHandle module = LoadDllFromAppFolder(name);
    EXPECT_NE(module, nullptr) << name << " from " << DllFolderPath(name);
  }
  TModuleHandle ssl = LoadDllFromAppFolder("libssl-3.dll");
  EXPECT_NE(DllSymbol(ssl, "SSL_new"), nullptr);
  EXPECT_EQ(DllSymbol(ssl, "no_such_export"), nullptr);
}

TEST_F(DllLoaderTest, ARemovedLinkMakesOnlyThatLibraryMissing) {
  char dir[] = "/tmp/korvan_dll_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string app = dir;
  ASSERT_EQ(mkdir((app + "/dll").c_str(), 0755), 0);
  std::string real = platform::AppFolder() + "dll/";
  for (const char* file : {"libssl.so.3", "libcrypto.so.3", "libssh2.so.1"})
    ASSERT_EQ(symlink((real + file).c_str(), (app + "/dll/" + file).c_str()), 0) << file;
  platform::SetAppFolder(app);
  EXPECT_NE(LoadDllFromAppFolder("libssh2.dll"), nullptr);
  ASSERT_EQ(unlink((app + "/dll/libssh2.so.1").c_str()), 0);
  EXPECT_EQ(LoadDllFromAppFolder("libssh2.dll"), nullptr);
  EXPECT_NE(LoadDllFromAppFolder("libssl-3.dll"), nullptr);
  // Present elsewhere on the system is not enough: only the dll folder counts.
  EXPECT_EQ(LoadDllFromAppFolder("vorbisfile.dll"), nullptr);
  std::string cleanup = "rm -rf " + app;
  EXPECT_EQ(std::system(cleanup.c_str()), 0);
}
