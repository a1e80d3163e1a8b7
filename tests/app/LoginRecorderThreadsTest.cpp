// The login recorder in the whole program: a login typed by hand into a real
// login prompt is recorded, saved as the board's logon script without its
// credentials, and logs in by itself on the next call; a second recording
// of the same board takes the next free name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "data/uDateTime.h"
#include "data/uPhonebook.h"
#include "data/uScript.h"
#include "tests/app/AppFixture.h"
#include "tests/app/LoginPeer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"

using namespace testsupport;
namespace vk = platform::vk;

namespace {

class LoginRecorderThreads : public AppFixture {
 protected:
  // The phonebook backup was made today, so its reminder does not hold the keys.
  void SetUp() override {
    AppFixture::SetUp();
    WriteWholeFile(Folder.File("korvan_config.ini"),
                   "[Config]\nLastPhonebookBackup=" + FormatIsoDate(NowDateTime()) + "\n[Debug]\nRawLog=1\n");
  }
  // Ctrl+O records from the directory or a call; a key pressed while the
  // splash is still up only closes the splash.
  void CtrlO() {
    ASSERT_TRUE(RunUntil([&] { return App->ScreenMode() != smSplash; }));
    Key(vk::Letter('O'), false, true);
  }
  uint16_t LoginPeer(ChildProcess& socat, const std::string& log) {
    ChildProcess::Options options;
    options.OutputFile = Folder.File(log);
    return StartSocat(socat, {}, LoginAddress(), options);
  }
};

TEST_F(LoginRecorderThreads, ARecordedLoginIsSavedAndLogsInOnTheNextCall) {
  ASSERT_FALSE(FindProgram("socat").empty()) << "socat is missing (scripts/packages.txt)";
  ASSERT_EQ(access("/bin/login", X_OK), 0) << "/bin/login is missing";
  if (geteuid() != 0) GTEST_SKIP() << "logging into /bin/login needs a throwaway account, which only root can create";
  TThrowawayAccount account;
  ASSERT_EQ(account.Create(), "");
  ChildProcess first;
  const uint16_t port = LoginPeer(first, "first.log");
  ASSERT_NE(port, 0);

  Start();
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = "login board";
  entry->Host = "127.0.0.1";
  entry->Port = port;
  entry->UseRaw = true;
  entry->Username = account.Name;
  entry->Password = account.Password;
  App->ActivePhonebook()->Entries().push_back(entry);

  CtrlO();  // before the call: the recording waits for it
  ASSERT_TRUE(StatusIs("Recording script - connect to a board and log in; Ctrl+O to stop"));
  App->ConnectToEntry(entry, false);
  ASSERT_TRUE(RunUntil([&] { return CallScreenHas("login: "); }, 30000)) << CallScreenText();
  Type(account.Name);
  Key(vk::Return);
  ASSERT_TRUE(RunUntil([&] { return CallScreenHas("Password: "); }, 30000)) << CallScreenText();
  Type(account.Password);
  Key(vk::Return);
  ASSERT_TRUE(RunUntil([&] { return CallScreenHas("$ "); }, 30000)) << CallScreenText();
  CtrlO();
  ASSERT_TRUE(StatusIs("Recorded 2 steps -> scripts/login board.kvs (set as its logon script)")) << App->StatusText();
  EXPECT_EQ(entry->KVScript, "login board");

  const std::string saved = ReadWholeFile(Folder.Path() + "scripts/login board.kvs");
  EXPECT_NE(saved.find("sendln username()"), std::string::npos) << saved;
  EXPECT_NE(saved.find("sendln password()"), std::string::npos) << saved;
  EXPECT_EQ(saved.find(account.Password), std::string::npos) << saved;
  EXPECT_EQ(saved.find(account.Name), std::string::npos) << saved;
  TScript parsed;
  EXPECT_NO_THROW(parsed.Parse(saved, "login board"));

  // A fresh call: the saved script logs in by itself.
  App->DisconnectCurrent();
  first.Stop();
  ChildProcess second;
  entry->Port = LoginPeer(second, "second.log");
  ASSERT_NE(entry->Port, 0);
  App->ConnectToEntry(entry, false);
  ASSERT_TRUE(StatusIs("Script login board.kvs finished", 60000)) << App->StatusText() << "\n" << CallScreenText();
  Type("echo KORVAN-$((6*7))");
  Key(vk::Return);
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("KORVAN-42"); }, 30000)) << CallScreenText();

  // Recording the same board again takes the next free name.
  CtrlO();
  Type("true");
  Key(vk::Return);
  CtrlO();
  EXPECT_TRUE(StatusIs("Recorded 1 steps -> scripts/login board-2.kvs")) << App->StatusText();
  App->DisconnectCurrent();
  second.Stop();
}

TEST_F(LoginRecorderThreads, ARecordingWithNothingTypedSavesNothing) {
  Start();
  CtrlO();
  ASSERT_TRUE(StatusIs("Recording script - connect to a board and log in; Ctrl+O to stop"));
  CtrlO();
  EXPECT_TRUE(StatusIs("Recording stopped - nothing was typed, no script saved"));
  std::error_code ec;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder.Path() + "scripts", ec),
                          std::filesystem::directory_iterator()),
            1)
      << "only the example";
}

}  // namespace
