// The call's mode table: bytes pass the engaged modes in row order, a mode
// that handles a byte decides what the later rows see, only one graphics
// emulation takes bytes, the plain-run fast path agrees with the byte path,
// and the text emulation's hand-offs go to the first mode that takes them.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/call/uCallModes.h"
#include "tests/app/FakeCallServices.h"

namespace {

using testsupport::FakeCall;

// A mode driven by a little script: it takes the bytes of Eats without
// passing anything, holds the bytes of Holds and releases them (behind the
// byte) at Release, and logs every byte it sees.
class ScriptedMode : public TCallMode {
 public:
  ScriptedMode(TCallModeServices& services, char tag) : TCallMode(services), Tag(tag) {}

  char Tag;
  bool On = true;
  bool ParsesAll = false;  // a graphics emulation: every byte is its to parse
  std::string Eats, Holds;
  char Release = 0;
  std::string Seen, Held;
  std::string ApcTaken;

  bool Engaged() const override { return On; }
  size_t PlainRun(const uint8_t* data, size_t count) const override {
    if (ParsesAll) return 0;
    size_t n = 0;
    while (n < count && !Acts(char(data[n]))) ++n;
    return n;
  }
  bool TakeByte(uint8_t b, std::vector<uint8_t>& out) override {
    const char c = char(b);
    Seen += c;
    if (Eats.find(c) != std::string::npos) return true;
    if (Holds.find(c) != std::string::npos) {
      Held += c;
      return true;
    }
    if (c == Release) {
      out.assign(Held.begin(), Held.end());
      out.push_back(b);
      Held.clear();
      return true;
    }
    return false;
  }
  bool Apc(const std::string& text) override {
    if (text.rfind(std::string(1, Tag), 0) != 0) return false;
    ApcTaken += text;
    return true;
  }

 private:
  bool Acts(char c) const { return Eats.find(c) != std::string::npos || Holds.find(c) != std::string::npos || c == Release; }
};

struct Table {
  FakeCall Call;
  std::vector<ScriptedMode*> Modes;
  std::unique_ptr<TCallModes> Chain;

  explicit Table(const std::vector<TModeStage>& stages) {
    std::vector<TModeRow> rows;
    for (size_t i = 0; i < stages.size(); ++i) {
      const char tag = char('A' + i);
      rows.push_back({"scripted", stages[i], [this, tag, stage = stages[i]](TCallModeServices& s) {
                        auto mode = std::make_unique<ScriptedMode>(s, tag);
                        mode->ParsesAll = stage == TModeStage::Emulation;
                        Modes.push_back(mode.get());
                        return mode;
                      }});
    }
    Chain = std::make_unique<TCallModes>(Call, rows);
  }
  ScriptedMode& operator[](size_t i) { return *Modes[i]; }

  // The bytes as the call passes them: plain runs in one piece, the rest
  // one at a time.
  void Receive(const std::string& bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
      if (const size_t run = Chain->PlainRun(data + i, bytes.size() - i)) {
        Call.FeedText(data + i, run);
        i += run;
      } else {
        Chain->Pass(data[i++]);
      }
    }
  }
};

constexpr TModeStage F = TModeStage::Filter, E = TModeStage::Emulation;

TEST(CallModesTest, BytesPassTheEngagedModesInRowOrder) {
  struct Case {
    const char* Name;
    std::vector<TModeStage> Stages;
    std::vector<bool> On;
    std::string Eats0, Holds0;
    char Release0;
    std::string Eats1;
    std::string Input;
    std::string Text;               // what reaches the text emulation
    std::vector<std::string> Seen;  // per row, the bytes it was offered
  };
  const Case cases[] = {
      {"an eaten byte reaches no later row", {F, F}, {true, true}, "x", "", 0, "", "axb", "ab", {"x", ""}},
      {"held bytes come out behind the release, through the later rows", {F, F}, {true, true}, "", "h", '!', "h",
       "ah!k", "a!k", {"h!", "h!"}},
      {"a mode that is not engaged sees nothing", {F, F}, {false, true}, "a", "", 0, "b", "abc", "ac", {"", "b"}},
      {"only the first engaged emulation takes bytes", {E, E}, {true, true}, "", "", 0, "q", "pq", "pq",
       {"pq", ""}},
      {"an emulation that is off leaves the next one its bytes", {E, E}, {false, true}, "", "", 0, "q", "pq", "p",
       {"", "pq"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Table t(c.Stages);
    for (size_t i = 0; i < c.On.size(); ++i) t[i].On = c.On[i];
    t[0].Eats = c.Eats0;
    t[0].Holds = c.Holds0;
    t[0].Release = c.Release0;
    t[1].Eats = c.Eats1;
    t.Receive(c.Input);
    EXPECT_EQ(t.Call.Text, c.Text);
    for (size_t i = 0; i < c.Seen.size(); ++i) EXPECT_EQ(t[i].Seen, c.Seen[i]) << "row " << i;
  }
}

TEST(CallModesTest, PlainRunStopsAtTheFirstByteAnyEngagedModeActsOn) {
  Table t({F, F, F});
  t[0].Eats = "x";
  t[1].Holds = "y";
  t[2].On = false;
  t[2].Eats = "a";  // not engaged: its answer does not count
  const std::string data = "abcyxz";
  const auto* p = reinterpret_cast<const uint8_t*>(data.data());
  EXPECT_EQ(t.Chain->PlainRun(p, data.size()), 3u);
  t[1].On = false;
  EXPECT_EQ(t.Chain->PlainRun(p, data.size()), 4u);
  t[2].On = true;
  EXPECT_EQ(t.Chain->PlainRun(p, data.size()), 0u);
  // A graphics emulation parses everything: no run is plain while it is on.
  Table g({F, E});
  g[1].On = false;
  EXPECT_EQ(g.Chain->PlainRun(p, data.size()), data.size());
  g[1].On = true;
  EXPECT_EQ(g.Chain->PlainRun(p, data.size()), 0u);
}

TEST(CallModesTest, FastPathAndBytePathGiveTheSameText) {
  // A flood of mixed bytes through the table, once as the call passes it
  // (plain runs in one piece) and once byte by byte: the same text arrives.
  std::string input;
  for (int i = 0; i < 20000; ++i) input += char("abcxyh!k\x1b["[(i * 7919) % 10]);
  auto run = [&](bool fast) {
    Table t({F, F, E});
    t[0].Eats = "x";
    t[0].Holds = "h";
    t[0].Release = '!';
    t[1].Eats = "k";
    t[2].On = false;
    if (fast) {
      t.Receive(input);
    } else {
      for (char c : input) t.Chain->Pass(uint8_t(c));
    }
    return t.Call.Text;
  };
  const std::string fast = run(true);
  EXPECT_EQ(fast, run(false));
  EXPECT_EQ(fast.find_first_of("xk"), std::string::npos);
}

TEST(CallModesTest, TheFirstModeThatTakesAnApcStringHasIt) {
  Table t({F, F});
  EXPECT_TRUE(t.Chain->Apc("Bpicture"));
  EXPECT_TRUE(t.Chain->Apc("Asound"));
  EXPECT_FALSE(t.Chain->Apc("Cnobody"));
  EXPECT_EQ(t[0].ApcTaken, "Asound");
  EXPECT_EQ(t[1].ApcTaken, "Bpicture");
}

}  // namespace
