// Reading APC audio commands: verbs, items and their numbers, the refusals
// with their log lines, and the gains applied to a clip's samples.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sound/uApcCommands.h"

namespace {

struct CommandRow {
  const char* Name;
  std::string Input;
  TApcCommand::TKind Kind;
  int Channel, Slot;
  std::string NameOrError;  // the command's name, or the refusal's log line
};

class ApcCommandsTest : public ::testing::TestWithParam<CommandRow> {};

const std::string kBadChannel = "ApcAudio: Queue - invalid/missing C=<chan>, ignored";

const CommandRow kCommands[] = {
    {"queue", "SyncTERM:A;Queue;C=1;S=0", TApcCommand::acQueue, 1, 0, ""},
    {"verb in lower case", "SyncTERM:A;queue;C=1;S=0", TApcCommand::acNone, -1, -1,
     "ApcAudio: unrecognized A; verb \"queue\" - ignored"},
    {"queue without C", "SyncTERM:A;Queue;S=0", TApcCommand::acNone, -1, -1, kBadChannel},
    {"channel 15", "SyncTERM:A;Queue;C=15;S=3", TApcCommand::acQueue, 15, 3, ""},
    {"channel 16", "SyncTERM:A;Queue;C=16;S=3", TApcCommand::acNone, -1, -1, kBadChannel},
    {"C=1.5 rounds to 2", "SyncTERM:A;Queue;C=1.5;S=0", TApcCommand::acQueue, 2, 0, ""},
    {"C=2.5 rounds to 2", "SyncTERM:A;Queue;C=2.5;S=0", TApcCommand::acQueue, 2, 0, ""},
    {"the first C decides", "SyncTERM:A;Queue;C=3;C=4;S=1", TApcCommand::acQueue, 3, 1, ""},
    {"an unreadable first C decides", "SyncTERM:A;Queue;C=x;C=4;S=1", TApcCommand::acNone, -1, -1, kBadChannel},
    {"items without = are skipped", "SyncTERM:A;Queue;junk;S=2;C=5", TApcCommand::acQueue, 5, 2, ""},
    {"a huge channel is refused", "SyncTERM:A;Queue;C=1e300;S=0", TApcCommand::acNone, -1, -1, kBadChannel},
    {"400 digits are no number", "SyncTERM:A;Queue;S=0;C=" + std::string(400, '9'), TApcCommand::acNone, -1, -1,
     kBadChannel},
    {"no slot is slot -1", "SyncTERM:A;Queue;C=0", TApcCommand::acQueue, 0, -1, ""},
    {"load", "SyncTERM:A;Load;S=7;bell", TApcCommand::acLoad, -1, 7, "bell"},
    {"load of a name with ;", "SyncTERM:A;Load;S=63;a;b", TApcCommand::acLoad, -1, 63, "a;b"},
    {"load of slot 64", "SyncTERM:A;Load;S=64;bell", TApcCommand::acNone, -1, -1,
     "ApcAudio: Load - implausible slot number, ignored"},
    {"load of slot abc", "SyncTERM:A;Load;S=abc;bell", TApcCommand::acNone, -1, -1,
     "ApcAudio: Load - implausible slot number, ignored"},
    {"load with S= but no ;", "SyncTERM:A;Load;S=5", TApcCommand::acNone, -1, -1,
     "ApcAudio: Load command missing S=<slot> - ignored"},
    {"load without S=", "SyncTERM:A;Load;5;bell", TApcCommand::acNone, -1, -1,
     "ApcAudio: Load command missing S=<slot> - ignored"},
    {"flush", "SyncTERM:A;Flush;C=9", TApcCommand::acFlush, 9, -1, ""},
    {"flush without C", "SyncTERM:A;Flush", TApcCommand::acFlush, -1, -1, ""},
    {"update", "SyncTERM:A;Update;C=1;VL=3", TApcCommand::acUpdate, -1, -1, ""},
    {"store", "SyncTERM:C;S;bell;UklGRg==", TApcCommand::acStore, -1, -1, "bell"},
    {"store of an empty name", "SyncTERM:C;S;;UklGRg==", TApcCommand::acStore, -1, -1, ""},
    {"store without payload", "SyncTERM:C;S;bell", TApcCommand::acNone, -1, -1,
     "ApcAudio: Store command missing name/payload separator - ignored"},
    {"other C command", "SyncTERM:C;X;bell;AAAA", TApcCommand::acNone, -1, -1,
     "ApcAudio: unrecognized C; command - ignored"},
    {"other group", "SyncTERM:B;Queue;C=1", TApcCommand::acNone, -1, -1, ""},
    {"no group separator", "SyncTERM:A", TApcCommand::acNone, -1, -1, ""},
};

}  // namespace

TEST_P(ApcCommandsTest, ReadsTheCommandOrItsRefusal) {
  const CommandRow& row = GetParam();
  const TApcCommand c = ParseApcCommand(row.Input);
  EXPECT_EQ(c.Kind, row.Kind);
  if (row.Kind == TApcCommand::acNone) {
    EXPECT_EQ(c.Error, row.NameOrError);
    return;
  }
  EXPECT_TRUE(c.Error.empty());
  const bool hasChannel = row.Kind == TApcCommand::acQueue || row.Kind == TApcCommand::acFlush;
  const bool hasSlot = row.Kind == TApcCommand::acQueue || row.Kind == TApcCommand::acLoad;
  const bool hasName = row.Kind == TApcCommand::acLoad || row.Kind == TApcCommand::acStore;
  EXPECT_EQ(c.Channel, hasChannel ? row.Channel : -1);
  EXPECT_EQ(c.Slot, hasSlot ? row.Slot : -1);
  EXPECT_EQ(c.Name, hasName ? row.NameOrError : "");
  EXPECT_EQ(c.Payload, row.Kind == TApcCommand::acStore ? "UklGRg==" : "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ApcCommandsTest, ::testing::ValuesIn(kCommands),
                         [](const auto& info) {
                           std::string name;
                           for (char ch : std::string(info.param.Name)) name += std::isalnum(uint8_t(ch)) ? ch : '_';
                           return name;
                         });

TEST(ApcGainTest, DecibelsBecomeGainsWithinASaneRange) {
  struct Row {
    const char* Items;
    double Gain;
  };
  const Row rows[] = {
      {"C=0;S=0", 1.0},
      {"VL=-6", std::pow(10.0, -6 / 20.0)},
      {"VL=-6dB", std::pow(10.0, -6 / 20.0)},
      {"VL=-6dBm and more", std::pow(10.0, -6 / 20.0)},
      {"VL= -6.0 ", std::pow(10.0, -6 / 20.0)},
      {"VL=-6db", 1.0},  // does not parse: 0 dB
      {"VL=-6,5", 1.0},  // a comma is no decimal point, whatever the locale
      {"VL=nan", 1.0},
      {"VL=inf", 1.0},
      {"VL=1e999", 1.0},  // beyond a double: no number
      {"VL=-1000", std::pow(10.0, kApcMinDb / 20)},
      {"VL=+100", std::pow(10.0, kApcMaxDb / 20)},
      {"VL=.5", std::pow(10.0, 0.5 / 20)},
      {"VL=3;VL=-20", std::pow(10.0, 3 / 20.0)},
  };
  for (const Row& row : rows) {
    const TApcCommand c = ParseApcCommand(std::string("SyncTERM:A;Queue;C=0;") + row.Items);
    ASSERT_EQ(c.Kind, TApcCommand::acQueue) << row.Items;
    EXPECT_NEAR(c.Left, row.Gain, 1e-9) << row.Items;
    EXPECT_TRUE(std::isfinite(c.Left) && c.Left > 0) << row.Items;
    EXPECT_EQ(c.Right, 1.0) << row.Items;
  }
}

TEST(ApcGainTest, GainsReachTheirSideLimitAtTheRangeAndRoundHalvesToEven) {
  auto bytes = [](std::vector<int16_t> s) {
    std::vector<uint8_t> b;
    for (int16_t v : s) b.insert(b.end(), {uint8_t(v), uint8_t(uint16_t(v) >> 8)});
    return b;
  };
  const std::vector<uint8_t> stereo = bytes({1000, 1000, -2000, -2000, 3, 5});
  // Only VR given: only the odd (right) samples change.
  EXPECT_EQ(ApplyGain(stereo, 2, 1.0, 0.5), bytes({1000, 500, -2000, -1000, 3, 2}));
  // A mono clip takes the left gain for every sample.
  EXPECT_EQ(ApplyGain(stereo, 1, 0.5, 4.0), bytes({500, 500, -1000, -1000, 2, 2}));
  // +12 dB on a loud clip stops at the 16-bit ends.
  const double loud = DbToGain(12);
  EXPECT_EQ(ApplyGain(bytes({20000, -20000, 32767, -32768}), 2, loud, loud), bytes({32767, -32768, 32767, -32768}));
  // An odd byte count loses its last byte.
  EXPECT_EQ(ApplyGain({1, 0, 9}, 1, 1.0, 1.0), bytes({1}));
}
