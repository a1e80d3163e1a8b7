// The paced text upload: which lines leave at which tick for a given line
// delay (with a clock of the test's own), how a file's lines are read, and
// through the whole program to a raw loopback board: the bytes, the board's
// own receive times, no pacing at a delay of 0, and a hang-up mid-upload.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/uAsciiUpload.h"
#include "platform/Tick.h"
#include "tests/app/TransferBoardFixture.h"

namespace vk = platform::vk;
using namespace testsupport;

TEST(AsciiUploadLinesTest, LinesLeaveAtTheFirstTickTheirTimeHasCome) {
  TempDir dir;
  std::string twelve;
  for (int i = 1; i <= 12; ++i) twelve += "line " + std::to_string(i) + "\r\n";
  ASSERT_TRUE(WriteWholeFile(dir.File("twelve.txt"), twelve));
  struct Row {
    const char* Name;
    int32_t Delay;
    std::vector<size_t> PerTick;  // lines sent at the ticks 500, 1000, 1500 ... ms after the start
  };
  const Row rows[] = {
      {"100 ms: about five a tick, the last at the first tick after 1200 ms", 100, {5, 5, 2}},
      {"700 ms: none at the first tick, then one or none a tick", 700,
       {0, 1, 1, 0, 1, 1, 1, 0, 1, 1, 0, 1, 1, 1, 0, 1, 1}},
      {"0 ms: all at once", 0, {12}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TAsciiUpload upload;
    ASSERT_EQ(upload.Start(dir.File("twelve.txt"), 1000), TAsciiUpload::TStart::Started);
    EXPECT_EQ(upload.LineCount(), 12);
    std::vector<std::string> sent;
    std::vector<size_t> perTick;
    for (uint64_t now = 1500; upload.Running(); now += 500) {
      const size_t before = sent.size();
      upload.Tick(now, row.Delay, [&](const std::string& line) { sent.push_back(line); });
      perTick.push_back(sent.size() - before);
      if (perTick.size() > 20) break;
    }
    EXPECT_EQ(perTick, row.PerTick);
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent[0], "line 1\r\n");
    EXPECT_EQ(sent[11], "line 12\r\n");
  }
}

TEST(AsciiUploadLinesTest, LineEndsAndFilesThatCannotBeSent) {
  TempDir dir;
  struct Row {
    const char* Name;
    std::string Content;
    std::vector<std::string> Lines;
  };
  const Row rows[] = {
      {"CR LF, LF and a lone CR each end a line", "a\r\nb\nc\rd", {"a\r\n", "b\r\n", "c\r\n", "d\r\n"}},
      {"a last line end opens no further line", "a\nb\n", {"a\r\n", "b\r\n"}},
      {"one line end alone is one empty line", "\r\n", {"\r\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    ASSERT_TRUE(WriteWholeFile(dir.File("f.txt"), row.Content));
    TAsciiUpload upload;
    ASSERT_EQ(upload.Start(dir.File("f.txt"), 0), TAsciiUpload::TStart::Started);
    std::vector<std::string> sent;
    EXPECT_TRUE(upload.Tick(0, 0, [&](const std::string& line) { sent.push_back(line); }));
    EXPECT_EQ(sent, row.Lines);
    EXPECT_FALSE(upload.Running());
  }
  ASSERT_TRUE(WriteWholeFile(dir.File("empty.txt"), ""));
  TAsciiUpload upload;
  EXPECT_EQ(upload.Start(dir.File("empty.txt"), 0), TAsciiUpload::TStart::Empty);
  EXPECT_EQ(upload.Start(dir.File("missing.txt"), 0), TAsciiUpload::TStart::Unreadable);
  EXPECT_FALSE(upload.Running());
}

class AsciiUploadTest : public TransferBoardFixture {
 protected:
  // A call to a raw board; Alt+A; the picker's Enter on Name is posted at
  // the tick returned.
  uint64_t StartUpload(LoopbackListener& board, std::unique_ptr<LoopbackPeer>& peer, const std::string& name) {
    Start();
    peer = CallRawBoard(board);
    EXPECT_TRUE(peer);
    if (!peer) return 0;
    KeyAndPump(vk::Letter('A'), true);
    EXPECT_TRUE(AwaitPicker());
    SelectInPicker(name);
    const uint64_t posted = platform::TickMs();
    Key(vk::Return);
    return posted;
  }
};

TEST_F(AsciiUploadTest, LinesArriveNoSoonerThanTheirDelayAllows) {
  WriteSettings("AsciiLineDelayMs=1000");
  ASSERT_TRUE(WriteWholeFile(Up + "three.txt", "one\r\ntwo\nthree"));
  LoopbackListener board;
  std::unique_ptr<LoopbackPeer> peer;
  const uint64_t posted = StartUpload(board, peer, "three.txt");
  ASSERT_TRUE(peer);
  ASSERT_TRUE(RunUntil([&] { return App->StatusText().rfind("Sending three.txt", 0) == 0; }));
  EXPECT_EQ(App->StatusText(), "Sending three.txt (3 lines)...");
  // The board's own receive times: line k (from 0) is due (k + 1) s after
  // the start, which came after the Enter was posted.
  std::string got;
  std::vector<uint64_t> arrived;
  ASSERT_TRUE(RunUntil([&] {
    const Bytes chunk = peer->ReadFor(2);
    if (!chunk.empty()) {
      got += ToString(chunk);
      while (arrived.size() < size_t(std::count(got.begin(), got.end(), '\n'))) arrived.push_back(platform::TickMs());
    }
    return arrived.size() == 3;
  }, 30000)) << got;
  EXPECT_EQ(got, "one\r\ntwo\r\nthree\r\n");
  for (size_t k = 0; k < 3; ++k) EXPECT_GE(arrived[k] - posted, (k + 1) * 1000) << "line " << k;
  ASSERT_TRUE(RunUntil([&] { return App->StatusText() == "ASCII upload complete (3 lines sent)."; }));
}

TEST_F(AsciiUploadTest, NoDelaySendsTheWholeFileWithTheKey) {
  WriteSettings("AsciiLineDelayMs=0");
  ASSERT_TRUE(WriteWholeFile(Up + "three.asc", "one\ntwo\nthree\n"));
  LoopbackListener board;
  std::unique_ptr<LoopbackPeer> peer;
  StartUpload(board, peer, "three.asc");
  ASSERT_TRUE(peer);
  ASSERT_TRUE(RunUntil([&] { return Picker() == nullptr; }));
  EXPECT_EQ(App->StatusText(), "ASCII upload complete (3 lines sent).") << "the completion replaces the sending message";
  EXPECT_EQ(ToString(peer->ReadUntil("three\r\n")), "one\r\ntwo\r\nthree\r\n");
  // A second upload while none runs is fine; an empty file says so.
  ASSERT_TRUE(WriteWholeFile(Up + "empty.txt", ""));
  KeyAndPump(vk::Letter('A'), true);
  ASSERT_TRUE(AwaitPicker());
  SelectInPicker("empty.txt");
  KeyAndPump(vk::Return);
  EXPECT_EQ(App->StatusText(), "empty.txt is empty - nothing to send.");
}

TEST_F(AsciiUploadTest, HangingUpEndsTheUploadAndTheRestIsNeverSent) {
  // Lines 2 s apart: the hang-up comes long before the last line is due,
  // however slowly a loaded machine handles the keys in between.
  WriteSettings("AsciiLineDelayMs=2000");
  ASSERT_TRUE(WriteWholeFile(Up + "five.txt", "1\n2\n3\n4\n5\n"));
  LoopbackListener board;
  std::unique_ptr<LoopbackPeer> peer;
  StartUpload(board, peer, "five.txt");
  ASSERT_TRUE(peer);
  std::string got;
  ASSERT_TRUE(RunUntil([&] {
    got += ToString(peer->ReadFor(2));
    return !got.empty();
  }));
  KeyAndPump(vk::Letter('A'), true);
  EXPECT_EQ(App->StatusText(), "An ASCII upload is already in progress.");
  KeyAndPump(vk::Letter('H'), true);
  EXPECT_TRUE(WasShown("ASCII upload cancelled.")) << SeenText();
  got += ToString(peer->ReadFor(1500));
  EXPECT_LT(got.size(), std::string("1\r\n2\r\n3\r\n4\r\n5\r\n").size()) << got;
  EXPECT_EQ(got.find("5\r\n"), std::string::npos);
}
