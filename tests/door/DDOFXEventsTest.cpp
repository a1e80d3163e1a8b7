// Timed door events counted over a few seconds of a simulated clock ticked
// every 30 ms, as the door timer does, and calendar events against a set
// local time.
#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

class DDOFXEvents : public DDOFXBench {
 protected:
  void SetUp() override {
    Local.tm_year = 2024 - 1900;
    Local.tm_mon = 2;
    Local.tm_mday = 5;
    Local.tm_hour = 14;
    Local.tm_min = 7;
    Local.tm_sec = 8;
  }
  // Ticks every 30 ms for Ms; returns how many sends of Text arrived.
  int Count(const std::string& text, uint64_t ms) {
    Sent.clear();
    for (uint64_t t = 0; t < ms; t += 30) {
      NowMs += 30;
      Parser->TickEvents(NowMs);
    }
    int n = 0;
    for (size_t at = Sent.find(text); at != std::string::npos; at = Sent.find(text, at + 1)) ++n;
    return n;
  }
  // n, kind, rate, month, day, year, hour, minute, second, repeat, send, macro
  void Define(const std::string& params) { Run("7CEVENT," + params); }
};

TEST_F(DDOFXEvents, RatePerSecondRepeatsUntilStopped) {
  Define("1,0,2,0,0,0,0,0,0,1,T");
  Run("7AEVENT,1");
  EXPECT_EQ(Count("T", 3000), 5) << "every 500 ms, counted from each firing";
  Run("7DEVENT,1");
  EXPECT_EQ(Count("T", 3000), 0);
  EXPECT_FALSE(Parser->HasActiveEvents());
}

TEST_F(DDOFXEvents, OneShotFiresOnceAndDisarms) {
  Define("1,0,2,0,0,0,0,0,0,0,once^M,(dVCARD)");
  Run("7AEVENT,1");
  EXPECT_TRUE(Parser->HasActiveEvents());
  EXPECT_EQ(Count("once\r", 3000), 1);
  EXPECT_NE(Sent.find("S\xFFonce\r"), std::string::npos) << "the macro runs before the text is sent";
  EXPECT_FALSE(Parser->HasActiveEvents());
}

TEST_F(DDOFXEvents, SecondsBetweenFirings) {
  Define("2,5,3,0,0,0,0,0,0,1,K");
  Run("7AEVENT,2");
  EXPECT_EQ(Count("K", 10000), 3);
  Define("3,5,0,0,0,0,0,0,0,1,Z");
  Run("7AEVENT,3");
  EXPECT_EQ(Count("Z", 30), 1) << "rate 0 fires at once";
  EXPECT_EQ(Count("Z", 2990), 2) << "then every second";
}

TEST_F(DDOFXEvents, CalendarEvents) {
  struct Row {
    const char* label;
    std::string define;
    int fired;
    bool stillArmed;
  };
  const Row rows[] = {
      {"a past moment fires at once", "1,1,0,3,5,2024,14,7,8,0,C", 1, false},
      {"a future moment waits", "1,1,0,3,5,2024,14,7,9,0,C", 0, true},
      {"month 0 and day 0 are January 1", "1,1,0,0,0,2024,0,0,0,0,C", 1, false},
      {"times are capped at 23:59:59", "1,1,0,3,4,2024,99,99,99,0,C", 1, false},
      {"month 13 disarms without firing", "1,1,0,13,1,2024,0,0,0,0,C", 0, false},
      {"30 February disarms without firing", "1,1,0,2,30,2024,0,0,0,0,C", 0, false},
      {"a negative hour disarms without firing", "1,1,0,3,5,2024,-1,0,0,0,C", 0, false},
      {"a negative second disarms without firing", "1,1,0,1,1,2000,0,0,-5,0,C", 0, false},
      {"29 February of a leap year", "1,1,0,2,29,2024,0,0,0,0,C", 1, false},
  };
  for (const Row& r : rows) {
    Parser->Reset();
    Define(r.define);
    Run("7AEVENT,1");
    EXPECT_EQ(Count("C", 60), r.fired) << r.label;
    EXPECT_EQ(Parser->HasActiveEvents(), r.stillArmed) << r.label;
  }
}

TEST_F(DDOFXEvents, APausedBackgroundHoldsEventsInGraphicsMode) {
  Define("1,0,10,0,0,0,0,0,0,1,P");
  Run("7AEVENT,1");
  Engine->Graphics = true;
  Engine->Paused = true;
  EXPECT_EQ(Count("P", 1000), 0);
  Engine->Paused = false;
  EXPECT_EQ(Count("P", 30), 1) << "fires at the first tick after the pause";
}

TEST_F(DDOFXEvents, OnlyDefinedEventsArmAndRedefiningDisarms) {
  Run("7AEVENT,4");
  Run("7AEVENT,0");
  Run("7AEVENT,201");
  EXPECT_FALSE(Parser->HasActiveEvents());
  Define("4,0,1,0,0,0,0,0,0,1,R");
  Run("7AEVENT,4");
  Define("4,0,1,0,0,0,0,0,0,1,R");
  EXPECT_FALSE(Parser->HasActiveEvents());
  Run("7AEVENT,4");
  Define("0");
  EXPECT_FALSE(Parser->HasActiveEvents());
  Run("7AEVENT,4");
  EXPECT_FALSE(Parser->HasActiveEvents()) << "0 undefines every event";
}

}  // namespace
