// An IGS board in the whole application (headless) that floods sound
// commands while the IGS sound output plays them on its own thread: every
// command is taken without holding up the board's later text, and the
// board's inquiry after the flood is answered.
#include <gtest/gtest.h>

#include <string>

#include "tests/app/AppFixture.h"
#include "tests/support/Loopback.h"

using namespace testsupport;

namespace {

class IgsSoundThreadsTest : public AppFixture {};

TEST_F(IgsSoundThreadsTest, ABoardFloodingSoundCommandsIsFollowedAtOnce) {
  Start();
  LoopbackListener board;
  auto entry = LoopbackEntry(board, "ST Board");
  entry->UseRaw = true;
  entry->TermType = "Atari ST IGS";
  std::unique_ptr<LoopbackPeer> peer = CallEntry(board, entry);
  ASSERT_TRUE(peer);

  // Effects, notes keyed off at once, changed effect words, repeat counts
  // and stops, chained without a second "G#".
  std::string flood = "G#";
  for (int i = 0; i < 3000; ++i) {
    const std::string n = std::to_string(i % 20);
    flood += "b" + n + ":n" + n + "," + std::to_string(i % 4) + ",15," + std::to_string(24 + i % 85) + ",0,1:";
    if (i % 7 == 0) flood += "b20,1," + n + "," + std::to_string(i % 56) + ",0,1,500:";
    if (i % 50 == 0) flood += "b23," + std::to_string(i % 60) + ":";
    if (i % 97 == 0) flood += "b21:";
  }
  flood += "\nafter the flood G#?0:";
  ASSERT_TRUE(peer->Write(flood));
  EXPECT_EQ(BoardReceives(*peer, 4, 60000), "2.19");
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("after the flood"); }));
}

}  // namespace
