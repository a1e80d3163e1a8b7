// The IGS byte parser: what reaches the text emulation, timed waits that hold
// later input back (on the test's clock), "&" loops, the sound commands, and
// the bounds that keep a board from making it spin or grow.
#include <gtest/gtest.h>

#include <chrono>

#include "IGSTestSupport.h"
#include "sound/uGistSynth.h"

namespace {

using igstest::TIGSRig;

constexpr char kEsc = 27;

struct TTextCase {
  std::string Name;
  std::vector<std::string> Feeds;
  std::string Text;
  bool Shown;
};

void PrintTo(const TTextCase& c, std::ostream* os) { *os << c.Name; }

const TTextCase kTextCases[] = {
    {"PlainTextPasses", {"Hello, World\r\n"}, "Hello, World\r\n", false},
    {"DoubleGPassesOneThenDraws", {"GG#L>0,0,5,0:"}, "G", true},
    {"GFollowedByOtherByte", {"Go"}, "Go", false},
    {"GAtTheEndOfAWriteWaits", {"xG", "#Z>0,0,1,1:"}, "x", true},
    {"GThenEscapeIsNotExamined", {"G\x1bY"}, "G\x1bY", false},
    {"CursorAddressOfGHashPasses", {std::string(1, kEsc) + "YG#L>0,0,5,0:"}, std::string(1, kEsc) + "YG#L>0,0,5,0:", false},
    {"ColourArgumentOfGPasses", {std::string(1, kEsc) + "bG#Z>0,0,1,1:"}, std::string(1, kEsc) + "bG#Z>0,0,1,1:", false},
    {"UnknownByteAfterGHashIsDropped", {"G#xyz"}, "yz", false},
    {"BlockCommandWithoutTheLetterG", {"G#G>1,3,0,0,5,5:\nok"}, "ok", true},
    {"ChainedCommandsEndAtLineEnd", {"G#C>1,1:L>0,0,5,5:\r\nnext"}, "\nnext", true},
    {"WTextEndsAtLineEnd", {"G#W>10,20,Hi\nafter"}, "after", true},
    {"WWithoutTwoParametersAtAt", {"G#W>10@rest"}, "rest", false},
    {"LoopOfTooFewItemsIsDropped", {"G#&>0,10,2,0,P:after"}, "after", false},
};

class IGSTextTest : public ::testing::TestWithParam<TTextCase> {};

TEST_P(IGSTextTest, PassesOn) {
  TIGSRig rig;
  for (const std::string& f : GetParam().Feeds) rig.Feed(f);
  rig.Replay();
  EXPECT_EQ(rig.Text, GetParam().Text);
  EXPECT_EQ(rig.Parser.FGraphicsShown, GetParam().Shown);
}

// The call's fast road for text: the bytes PlainRun counts go straight to
// the text emulation, the others through FeedByte, with the same result.
TEST_P(IGSTextTest, PlainRunsGiveTheSameText) {
  TIGSRig rig;
  std::vector<uint8_t> out;
  for (const std::string& f : GetParam().Feeds) {
    const auto* data = reinterpret_cast<const uint8_t*>(f.data());
    for (size_t i = 0; i < f.size();) {
      if (const size_t run = rig.Parser.PlainRun(data + i, f.size() - i)) {
        rig.Text.append(f, i, run);
        i += run;
        continue;
      }
      out.clear();
      rig.Parser.FeedByte(data[i++], out);
      rig.Text.append(out.begin(), out.end());
    }
  }
  rig.Replay();
  EXPECT_EQ(rig.Text, GetParam().Text);
  EXPECT_EQ(rig.Parser.FGraphicsShown, GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(Bytes, IGSTextTest, ::testing::ValuesIn(kTextCases),
                         [](const auto& info) { return info.param.Name; });

TEST(IGSParserTest, NoPlainRunWhileBusyOrInsideAnEscapeOrCommand) {
  const struct {
    std::string Before, Run;
    size_t Plain;
  } cases[] = {
      {"", "abc", 3},
      {"", "abGcd", 2},
      {"", "ab\x1bY!!", 2},
      {"G#q1:", "abc", 0},  // held during the wait
      {"\x1b", "abc", 0},
      {"\x1bY", "abc", 0},
      {"\x1bYa", "abc", 0},
      {"\x1bYab", "abc", 3},
      {"G", "abc", 0},
      {"G#L", "abc", 0},
      {"G#?9:", "abc", 0},  // a chain of commands goes on until a byte ends it
      {"G#?9:\n", "abc", 3},
  };
  for (const auto& c : cases) {
    TIGSRig rig;
    rig.Feed(c.Before);
    EXPECT_EQ(rig.Parser.PlainRun(reinterpret_cast<const uint8_t*>(c.Run.data()), c.Run.size()), c.Plain)
        << "after \"" << c.Before << "\"";
  }
}

TEST(IGSParserTest, DoubleGDrawsTheLine) {
  TIGSRig rig;
  rig.Feed("GG#L>0,0,5,0:");
  EXPECT_EQ(rig.Pixel(5, 0), 15);
}

TEST(IGSParserTest, WTextAfterCommaOrAt) {
  // Both forms draw "|" at (10,20); the second takes the text after "@".
  for (const std::string& feed : {std::string("G#W>10,20,|@"), std::string("G#W>10,20@|@")}) {
    TIGSRig rig;
    rig.Feed(feed);
    EXPECT_EQ(rig.Pixel(13, 14), 15) << feed;
    EXPECT_EQ(rig.Text, "") << feed;
  }
}

// ---------------------------------------------------------------- waits

TEST(IGSWaitTest, SecondsHoldLaterInputInOrder) {
  TIGSRig rig;
  rig.Feed("G#t>3:\nabc");
  EXPECT_EQ(rig.Text, "");
  EXPECT_TRUE(rig.Parser.IsBusy());
  rig.Now += 2999;
  rig.Replay();
  EXPECT_EQ(rig.Text, "");
  rig.Feed("d");
  rig.Now += 1;
  rig.Replay();
  EXPECT_EQ(rig.Text, "abcd");
  EXPECT_FALSE(rig.Parser.IsBusy());
}

TEST(IGSWaitTest, WaitLengths) {
  struct TRow {
    std::string Command;
    uint64_t HeldMs;  // 0: no wait
  } rows[] = {
      {"t>3", 3000}, {"t>20", 10000}, {"t>0", 0},   {"t>-5", 0},  {"q>60", 1000}, {"q>1", 16},
      {"q>180", 3000}, {"q>181", 0},  {"q>0", 0},   {"t>2147483647", 10000},
  };
  for (const TRow& row : rows) {
    TIGSRig rig;
    rig.Feed("G#" + row.Command + ":\nx");
    if (row.HeldMs == 0) {
      EXPECT_EQ(rig.Text, "x") << row.Command;
      continue;
    }
    rig.Now += row.HeldMs - 1;
    rig.Replay();
    EXPECT_EQ(rig.Text, "") << row.Command;
    rig.Now += 1;
    rig.Replay();
    EXPECT_EQ(rig.Text, "x") << row.Command;
  }
}

TEST(IGSWaitTest, CommandsAfterAWaitRunWhenItEnds) {
  TIGSRig rig;
  rig.Feed("G#q>60:Z>0,0,3,3:");
  EXPECT_EQ(rig.Pixel(0, 0), 0);
  rig.Now += 1000;
  rig.Replay();
  EXPECT_EQ(rig.Pixel(0, 0), 15);
}

TEST(IGSWaitTest, AFloodOfHeldInputCancelsTheWait) {
  TIGSRig rig;
  rig.Feed("G#t>9:\n");
  std::vector<uint8_t> out;
  for (size_t i = 0; i <= TIGSParser::kQueueCatchUp; ++i) rig.Parser.FeedByte('a', out);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(rig.Parser.QueueFull());
  // The clock has not moved: the replay runs because the wait was cancelled.
  size_t calls = 0;
  while (rig.Parser.ProcessQueued(out)) ++calls;
  EXPECT_EQ(out.size(), TIGSParser::kQueueCatchUp + 1);
  EXPECT_GT(calls, 1u);  // caught up over several calls, a bounded share each
  EXPECT_FALSE(rig.Parser.IsBusy());
  EXPECT_FALSE(rig.Parser.QueueFull());
}

// ---------------------------------------------------------------- loops

TEST(IGSLoopTest, PlotsAtOnceWithoutDelay) {
  TIGSRig rig;
  rig.Feed("G#&>0,10,2,0,P,2,x,y:after");
  for (int x = 0; x <= 10; x += 2) EXPECT_EQ(rig.Pixel(x, 10 - x), 15) << x;
  EXPECT_EQ(rig.Pixel(1, 9), 0);
  EXPECT_EQ(rig.Pixel(12, 0), 0);
  EXPECT_EQ(rig.Text, "after");
  EXPECT_FALSE(rig.Parser.IsBusy());
}

TEST(IGSLoopTest, Forms) {
  struct TRow {
    std::string Name;
    std::string Loop;
    std::vector<std::pair<int, int>> Set;
    std::vector<std::pair<int, int>> Clear;
  } rows[] = {
      {"StepZeroDoesNothing", "G#&>0,10,0,0,P,2,x,y:", {}, {{0, 10}}},
      {"DescendingRange", "G#&>10,0,5,0,P,2,x,20:", {{10, 20}, {5, 20}, {0, 20}}, {{15, 20}}},
      {"NegativeStepCountsAsItsSize", "G#&>0,10,-5,0,P,2,x,20:", {{0, 20}, {5, 20}, {10, 20}}, {{1, 20}}},
      {"CountInTheModifier", "G#&>0,4,4,0,P@2,x,30:", {{0, 30}, {4, 30}}, {{2, 30}}},
      {"PlusAddsTheValue", "G#&>0,2,1,0,P,2,+100,50:", {{100, 50}, {101, 50}, {102, 50}}, {{103, 50}}},
      {"MinusSubtractsFromTheValue", "G#&>60,62,2,0,P,2,-10,40:", {{50, 40}, {52, 40}}, {{51, 40}}},
      {"BangSubtractsTheValue", "G#&>0,2,2,0,P,2,!100,40:", {{100, 40}, {98, 40}}, {{102, 40}}},
      {"GroupsOfTheCommandsCount", "G#&>0,0,1,0,P,4,10,60,20,60:", {{10, 60}, {20, 60}}, {{15, 60}}},
      {"ColonInsideTheDataIsAnItem", "G#&>0,0,1,0,L,4,0,70:10,70:", {{0, 70}, {5, 70}, {10, 70}}, {{11, 70}}},
      {"LettersPickedByTheFirstValue", "G#&>0,1,1,0,>PL@5,x,50,80,60,80:", {{50, 80}, {55, 80}, {60, 80}},
       {{61, 80}, {55, 81}}},
      {"UnknownCommandDoesNotRun", "G#&>0,4,1,0,x,2,10,90:", {}, {{10, 90}}},
  };
  for (const TRow& row : rows) {
    TIGSRig rig;
    rig.Feed(row.Loop);
    rig.Replay();
    for (auto [x, y] : row.Set) EXPECT_EQ(rig.Pixel(x, y), 15) << row.Name << " at " << x << "," << y;
    for (auto [x, y] : row.Clear) EXPECT_EQ(rig.Pixel(x, y), 0) << row.Name << " at " << x << "," << y;
  }
}

TEST(IGSLoopTest, XorLoopRestoresTheWritingMode) {
  TIGSRig rig;
  // Two XOR boxes over one spot cancel; afterwards replace mode is back.
  rig.Feed("G#&>0,1,1,0,Z|4,0,0,3,3:G#Z>10,10,11,11:");
  EXPECT_EQ(rig.Pixel(1, 1), 0);
  EXPECT_EQ(rig.Pixel(10, 10), 15);
  rig.Feed("G#Z>10,10,11,11:");
  EXPECT_EQ(rig.Pixel(10, 10), 15);
}

TEST(IGSLoopTest, DelayedStepsComeOnePerWait) {
  TIGSRig rig;
  // Delay 4: 20 ms between steps; input after the loop waits for it.
  rig.Feed("G#&>0,20,10,4,P,2,x,100:z");
  EXPECT_EQ(rig.Pixel(0, 100), 15);
  EXPECT_EQ(rig.Pixel(10, 100), 0);
  EXPECT_EQ(rig.Text, "");
  rig.Now += 19;
  rig.Replay();
  EXPECT_EQ(rig.Pixel(10, 100), 0);
  rig.Now += 1;
  rig.Replay();
  EXPECT_EQ(rig.Pixel(10, 100), 15);
  EXPECT_EQ(rig.Pixel(20, 100), 0);
  rig.Now += 20;
  rig.Replay();
  EXPECT_EQ(rig.Pixel(20, 100), 15);
  EXPECT_EQ(rig.Text, "z");
  EXPECT_FALSE(rig.Parser.IsBusy());
}

TEST(IGSLoopTest, AHeavyLoopRunsInSlices) {
  TIGSRig rig;
  // 100001 XOR boxes (the step count is bounded): more than one call may draw.
  const auto start = std::chrono::steady_clock::now();
  rig.Feed("G#&>0,2000000000,1,0,Z|4,0,0,19,19:after");
  const auto firstCall = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(rig.Parser.IsBusy());
  EXPECT_EQ(rig.Text, "");
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(firstCall).count(), 5);
  std::vector<uint8_t> out;
  int calls = 0;
  while (rig.Parser.ProcessQueued(out)) ++calls;
  EXPECT_GT(calls, 1);
  EXPECT_EQ(std::string(out.begin(), out.end()), "after");
  EXPECT_EQ(rig.Pixel(0, 0), 15);  // an odd number of XOR boxes
  EXPECT_EQ(rig.Pixel(20, 20), 0);
}

TEST(IGSLoopTest, HugeCountsAndItemFloodsAreBounded) {
  TIGSRig rig;
  std::string flood = "G#&>0,1,1,0,P,2147483647";
  for (int i = 0; i < 5000; ++i) flood += ",1";
  flood += ":after";
  rig.Feed(flood);
  rig.Replay();
  EXPECT_NE(rig.Text.find("after"), std::string::npos);

  TIGSRig count;
  count.Feed("G#&>0,3,1,0,P@2147483647,x,5:after");
  count.Replay();
  EXPECT_EQ(count.Pixel(3, 5), 15);
  EXPECT_EQ(count.Text, "after");
}

// ---------------------------------------------------------------- bounds

TEST(IGSBoundsTest, ManyParametersAndLongTexts) {
  TIGSRig rig;
  std::string feed = "G#f>3,10,10,50,10,30,40";
  for (int i = 0; i < 100000; ++i) feed += ",7";
  feed += ":";
  rig.Feed(feed);
  EXPECT_EQ(rig.Pixel(30, 20), 15);

  TIGSRig text;
  text.Feed("G#W>0,100," + std::string(200000, '|') + "@\nafter");
  EXPECT_EQ(text.Text, "after");
  EXPECT_EQ(text.Pixel(3, 94), 15);
}

TEST(IGSBoundsTest, ResetEmptiesEverything) {
  TIGSRig rig;
  TGistSynth synth(22050);
  rig.Parser.FSynth = &synth;
  rig.Feed("G#R>1:Z>0,0,5,5:X>4,1,0,0,9,9,0,z:n>1,0,15,60,0,0:t>5:abc");
  EXPECT_TRUE(synth.IsActive());
  EXPECT_TRUE(rig.Parser.IsBusy());
  rig.Parser.Reset();
  EXPECT_FALSE(rig.Parser.IsBusy());
  EXPECT_FALSE(rig.Parser.FGraphicsShown);
  EXPECT_EQ(rig.Parser.CanvasWidth(), 320);
  EXPECT_EQ(rig.Pixel(0, 0), 0);
  std::string zone;
  EXPECT_FALSE(rig.Parser.MouseZoneAt(1, 1, zone));
  EXPECT_TRUE(rig.Parser.TakeDirty());
  EXPECT_FALSE(synth.IsActive());
  rig.Feed("xyz");
  EXPECT_EQ(rig.Text, "xyz");
}

// ---------------------------------------------------------------- sound

struct TSoundRig : TIGSRig {
  TGistSynth Synth{22050};
  int Started = 0;
  TSoundRig() {
    Parser.FSynth = &Synth;
    Parser.OnSoundStarted = [this] { ++Started; };
  }
};

TEST(IGSSoundTest, EffectWordOfCommandTwenty) {
  TSoundRig rig;
  rig.Feed("G#b>20,0,3,1,1,40,500:");
  EXPECT_EQ(rig.Started, 1);
  EXPECT_FALSE(rig.Synth.IsActive());  // stored, not played
  // The stored word -32500 is the tone period of effect 3: no tone.
  rig.Feed("G#b>20,1,3,1,1,40,500:");
  EXPECT_TRUE(rig.Synth.IsActive());
  EXPECT_EQ(rig.Synth.Register(7) & 1, 1);
  rig.Feed("G#b>22,3:b>3:");  // restored: the next start (on voice 1) has its tone
  EXPECT_EQ(rig.Synth.Register(7) & 2, 0);
  EXPECT_EQ(rig.Started, 4);
}

TEST(IGSSoundTest, EffectsRepeatsAndStop) {
  TSoundRig rig;
  rig.Feed("G#b>23,3:b>2:");
  EXPECT_EQ(rig.Synth.RepeatCount(), 3);
  EXPECT_EQ(rig.Synth.ScheduledCount(), 2u);
  rig.Feed("G#b>21:");
  EXPECT_FALSE(rig.Synth.IsActive());
  rig.Feed("G#b>20:b>99:");  // too few words; an unknown effect: nothing, but the wake-up comes
  EXPECT_FALSE(rig.Synth.IsActive());
  EXPECT_EQ(rig.Started, 5);
}

TEST(IGSSoundTest, NoteKeyedOffAfterItsTime) {
  TSoundRig rig;
  // Effect 1 on voice 0, note 60, 20 x 5 ms, then key-off; "x" waits for it.
  rig.Feed("G#n>1,0,15,60,20,1:\nx");
  EXPECT_EQ(rig.Started, 1);
  EXPECT_TRUE(rig.Synth.IsActive());
  EXPECT_EQ(rig.Text, "");
  int16_t samples[4096];
  rig.Now += 99;
  rig.Replay();
  rig.Synth.Render(samples, 4096);
  EXPECT_TRUE(rig.Synth.IsActive());  // a note holds
  rig.Now += 1;
  rig.Replay();
  EXPECT_EQ(rig.Text, "x");
  rig.Synth.Render(samples, 4096);  // released over 16 ticks
  EXPECT_FALSE(rig.Synth.IsActive());
}

TEST(IGSSoundTest, NoteWithoutTimeRunsItsOperationAtOnce) {
  TSoundRig rig;
  rig.Feed("G#n>1,2,15,60,0,0:");
  EXPECT_TRUE(rig.Synth.IsActive());
  rig.Feed("G#n>1,2,15,0,0,4:\nx");  // note 0 plays nothing; operation 4 stops all
  EXPECT_FALSE(rig.Synth.IsActive());
  EXPECT_EQ(rig.Text, "x");
  EXPECT_EQ(rig.Started, 1);
}

TEST(IGSSoundTest, WithoutASynthesiserNothingIsStarted) {
  TIGSRig rig;
  int started = 0;
  rig.Parser.OnSoundStarted = [&] { ++started; };
  rig.Feed("G#b>2:n>1,0,15,60,0,1:\nx");
  EXPECT_EQ(started, 0);
  EXPECT_EQ(rig.Text, "x");
}

}  // namespace
