// The application's IEMSI answers and the auto-login key over a real call:
// a board on a loopback socket asks, the caller's entry answers.
#include <gtest/gtest.h>

#include "data/uPhonebook.h"
#include "net/uIEMSI.h"
#include "platform/Keys.h"
#include "tests/app/AppFixture.h"

using namespace testsupport;
using IemsiLoginTest = AppFixture;

TEST_F(IemsiLoginTest, TheBoardsRequestIsAnsweredFromTheEntry) {
  LoopbackListener board;
  Start();
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = "iemsi board";
  entry->Host = "127.0.0.1";
  entry->Port = board.Port();
  entry->UseRaw = true;
  entry->UseIEMSI = true;
  entry->Username = "Caller One";
  entry->Password = "pw";
  App->ConnectToEntry(entry, false);
  std::unique_ptr<LoopbackPeer> peer;
  ASSERT_TRUE(RunUntil([&] {
    if (!peer) peer = board.Accept(10);
    return peer && App->CallConnected();
  }));
  std::string got;
  auto receivedUntil = [&](const std::string& want) {
    return RunUntil([&] {
      Bytes more = peer->ReadFor(5);
      got.append(more.begin(), more.end());
      return got.find(want) != std::string::npos;
    });
  };

  // An 80 x 25 entry with the status bar on announces the 24 rows the board may use.
  ASSERT_TRUE(Probe().StatusBar());
  peer->Write(std::string("Welcome\r\n**EMSI_IRQ8E08\r"));
  const std::string ici = BuildEmsiPacket("ICI", BuildIemsiIci("Caller One", "pw", 80, 24));
  EXPECT_TRUE(receivedUntil(ici)) << got;
  peer->Write(BuildEmsiPacket("ISI", "{Board}{Here}"));
  EXPECT_TRUE(receivedUntil(BuildEmsiShort("ACK"))) << got;
  EXPECT_EQ(Row(0).substr(0, 8), "Welcome ") << "the packets never reach the screen";
  EXPECT_EQ(Row(1).find_first_not_of(' '), std::string::npos);

  // Auto-login with no password types the user name and CR only.
  entry->Password.clear();
  got.clear();
  Key(platform::vk::Letter('L'), false, false, true);
  EXPECT_TRUE(receivedUntil("Caller One\r"));
  RunUntil([] { return false; }, 200);
  got += ToString(peer->ReadFor(100));
  EXPECT_EQ(got, "Caller One\r");
}
