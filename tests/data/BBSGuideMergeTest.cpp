// The merge of a freshly downloaded board list with the entries it
// replaces, in its three modes: what a survey counts and reports, what
// keeping edits leaves in the list, what updating all leaves, and which
// call statistics travel.
#include <gtest/gtest.h>
#include <time.h>

#include <functional>
#include <string>
#include <vector>

#include "data/uPhonebook.h"

namespace {

using TList = std::vector<TPhonebookEntryPtr>;

// Old entries carry "old" in their notes (which the merge never compares)
// and a call count; fresh ones "new" and no calls.
TPhonebookEntryPtr Old(const std::string& name, const std::string& host, uint16_t port = 23, int32_t calls = 5,
                       const std::function<void(TPhonebookEntry&)>& change = {}) {
  auto e = std::make_shared<TPhonebookEntry>();
  e->Name = name;
  e->Host = host;
  e->Port = port;
  e->Notes = "old";
  e->TimesConnected = calls;
  e->LastConnected = 45000 + calls;
  if (change) change(*e);
  return e;
}

TPhonebookEntryPtr New(const std::string& name, const std::string& host, uint16_t port = 23) {
  auto e = std::make_shared<TPhonebookEntry>();
  e->Name = name;
  e->Host = host;
  e->Port = port;
  e->Notes = "new";
  return e;
}

void Password(TPhonebookEntry& e) { e.Password = "secret"; }

// "Name|host|notes|calls" per entry; the last-call date must travel with the count.
std::vector<std::string> Shown(const TPhonebook& book) {
  std::vector<std::string> out;
  for (const TPhonebookEntryPtr& e : book.Entries()) {
    EXPECT_EQ(e->LastConnected, e->TimesConnected ? 45000 + e->TimesConnected : 0) << e->Name;
    out.push_back(e->Name + "|" + e->Host + "|" + e->Notes + "|" + std::to_string(e->TimesConnected));
  }
  return out;
}

struct TMergeCase {
  std::string Name;
  std::function<TList()> Previous;
  std::function<TList()> Fresh;
  int32_t SurveyCount, Orphans;
  std::vector<std::string> Report;
  std::vector<std::string> AfterKeep, AfterUpdate;
  int32_t KeepCount = -1;  // -1: the survey's count
};

std::vector<TMergeCase> MergeCases() {
  return {
      {"UnchangedBoardTakesTheNewEntryWithTheOldStatistics",
       [] { return TList{Old("Alpha", "a.example", 23, 7)}; }, [] { return TList{New("Alpha", "a.example")}; }, 0, 0,
       {}, {"Alpha|a.example|new|7"}, {"Alpha|a.example|new|7"}},
      {"NameDifferingOnlyInCaseMatchesAndCountsAsEdited", [] { return TList{Old("My BBS", "m.example")}; },
       [] { return TList{New("MY BBS", "m.example")}; }, 1, 0, {"My BBS"}, {"My BBS|m.example|old|5"},
       {"MY BBS|m.example|new|5"}},
      {"SameHostAndPortUnderAnotherNameIsEdited", [] { return TList{Old("Old Name", "h.example", 2323)}; },
       [] { return TList{New("New Name", "H.EXAMPLE", 2323)}; }, 1, 0, {"Old Name"}, {"Old Name|h.example|old|5"},
       {"New Name|H.EXAMPLE|new|5"}},
      {"SameNameOnAnotherHostIsNotEditedAndTheNewHostWins", [] { return TList{Old("Moved", "old.example")}; },
       [] { return TList{New("Moved", "new.example")}; }, 0, 0, {}, {"Moved|new.example|new|5"},
       {"Moved|new.example|new|5"}},
      {"PortChangedByTheListCountsAsEdited", [] { return TList{Old("Ported", "p.example", 23)}; },
       [] { return TList{New("Ported", "p.example", 2323)}; }, 1, 0, {"Ported"}, {"Ported|p.example|old|5"},
       {"Ported|p.example|new|5"}},
      {"PasswordOfTheUserIsAnEdit", [] { return TList{Old("Locked", "l.example", 23, 5, Password)}; },
       [] { return TList{New("Locked", "l.example")}; }, 1, 0, {"Locked"}, {"Locked|l.example|old|5"},
       {"Locked|l.example|new|5"}},
      {"EditMarkAloneIsAnEdit",
       [] { return TList{Old("Marked", "k.example", 23, 5, [](TPhonebookEntry& e) { e.UserEdited = true; })}; },
       [] { return TList{New("Marked", "k.example")}; }, 1, 0, {"Marked"}, {"Marked|k.example|old|5"},
       {"Marked|k.example|new|5"}},
      {"TermTypeAndFontCompareWithoutCase",
       [] {
         return TList{Old("Fonts", "f.example", 23, 5, [](TPhonebookEntry& e) {
           e.TermType = "ansi-bbs";
           e.FontName = "ibm_vga_8x16";
         })};
       },
       [] { return TList{New("Fonts", "f.example")}; }, 0, 0, {}, {"Fonts|f.example|new|5"},
       {"Fonts|f.example|new|5"}},
      {"DuplicateFreshNamesCountOneOldEntryTwiceButAnUpdateTakesItOnce",
       [] { return TList{Old("Twin", "t.example", 23, 5, Password)}; },
       [] { return TList{New("Twin", "t.example"), New("Twin", "u.example")}; }, 2, 0, {"Twin", "Twin"},
       {"Twin|t.example|old|5", "Twin|u.example|new|0"}, {"Twin|t.example|new|5", "Twin|u.example|new|0"}, 1},
      {"UnlistedWithoutUserDataDisappearsEvenWithCalls", [] { return TList{Old("Gone", "g.example", 23, 9)}; },
       [] { return TList{New("Other", "o.example")}; }, 0, 0, {}, {"Other|o.example|new|0"},
       {"Other|o.example|new|0"}},
      {"UnlistedWithAPasswordIsAppendedUnderItsOwnName",
       [] { return TList{Old("Kept", "k.example", 23, 5, Password)}; }, [] { return TList{New("Other", "o.example")}; },
       1, 1, {"Kept (no longer listed)"}, {"Other|o.example|new|0", "Kept|k.example|old|5"},
       {"Other|o.example|new|0"}},
      {"UnlistedWithLoginStepsOrAScriptIsKept",
       [] {
         return TList{Old("Steps", "s.example", 23, 5, [](TPhonebookEntry& e) { e.Script = {"WAIT login:"}; }),
                      Old("Script", "c.example", 23, 6, [](TPhonebookEntry& e) { e.KVScript = "login.kvs"; })};
       },
       [] { return TList{}; }, 2, 2, {"Steps (no longer listed)", "Script (no longer listed)"},
       {"Steps|s.example|old|5", "Script|c.example|old|6"}, {}},
      {"UpdateAllWithEveryEntryEditedKeepsOnlyFreshEntriesWithTheirStatistics",
       [] {
         return TList{Old("A", "a.example", 23, 3, [](TPhonebookEntry& e) { e.UserEdited = true; }),
                      Old("B", "b.example", 23, 4, Password)};
       },
       [] { return TList{New("A", "a.example"), New("B", "b.example")}; }, 2, 0, {"A", "B"},
       {"A|a.example|old|3", "B|b.example|old|4"}, {"A|a.example|new|3", "B|b.example|new|4"}},
      // An update takes the first old "Twin"; the second, holding the
      // password, is left over, so the survey must count it, or an update
      // without asking would drop it.
      {"OldEntryHiddenByAnotherOfTheSameNameIsCountedWhenItHoldsUserData",
       [] { return TList{Old("Twin", "u.example", 23, 5), Old("Twin", "u.example", 23, 6, Password)}; },
       [] { return TList{New("Twin", "u.example")}; }, 1, 1, {"Twin (no longer listed)"},
       {"Twin|u.example|new|5", "Twin|u.example|old|6"}, {"Twin|u.example|new|5"}},
  };
}

class BBSGuideMerge : public ::testing::TestWithParam<TMergeCase> {};

TEST_P(BBSGuideMerge, EachModeOnTheSameLists) {
  const TMergeCase& c = GetParam();

  // Survey: counts, reports, changes nothing.
  TPhonebook survey("survey.ini");
  survey.Entries() = c.Fresh();
  TList previous = c.Previous();
  const TList before = previous;
  const std::vector<std::string> freshShown = Shown(survey);
  std::vector<std::string> report;
  int32_t orphans = -1;
  EXPECT_EQ(TPhonebook::MergeBBSGuide(survey, previous, gmSurvey, orphans, &report), c.SurveyCount);
  EXPECT_EQ(orphans, c.Orphans);
  EXPECT_EQ(report, c.Report);
  EXPECT_EQ(Shown(survey), freshShown);
  EXPECT_EQ(previous, before);

  // Keep edited, then update all, each on its own fresh copy.
  TPhonebook keep("keep.ini");
  keep.Entries() = c.Fresh();
  previous = c.Previous();
  orphans = -1;
  EXPECT_EQ(TPhonebook::MergeBBSGuide(keep, previous, gmKeepEdited, orphans, nullptr),
            c.KeepCount < 0 ? c.SurveyCount : c.KeepCount);
  EXPECT_EQ(orphans, c.Orphans);
  EXPECT_EQ(Shown(keep), c.AfterKeep);

  TPhonebook update("update.ini");
  update.Entries() = c.Fresh();
  previous = c.Previous();
  orphans = -1;
  EXPECT_EQ(TPhonebook::MergeBBSGuide(update, previous, gmUpdateAll, orphans, nullptr), 0);
  EXPECT_EQ(orphans, 0);
  EXPECT_EQ(Shown(update), c.AfterUpdate);
}

INSTANTIATE_TEST_SUITE_P(Modes, BBSGuideMerge, ::testing::ValuesIn(MergeCases()),
                         [](const ::testing::TestParamInfo<TMergeCase>& info) { return info.param.Name; });

// What an update takes over leaves an empty slot; what it leaves is the
// caller's to free. A survey, which the program runs first, must leave the
// very same objects for the update that follows it.
TEST(BBSGuideMergeSlots, TakenEntriesLeaveEmptySlotsAndTheRestStaysForTheCaller) {
  TList previous{Old("Listed", "l.example"), Old("Edited", "e.example", 23, 5, Password), Old("Gone", "g.example")};
  TPhonebookEntry* edited = previous[1].get();
  TPhonebookEntry* gone = previous[2].get();
  TPhonebook fresh("fresh.ini");
  fresh.Entries() = {New("Listed", "l.example"), New("Edited", "e.example")};

  int32_t orphans = 0;
  ASSERT_EQ(TPhonebook::MergeBBSGuide(fresh, previous, gmSurvey, orphans, nullptr), 1);
  ASSERT_EQ(TPhonebook::MergeBBSGuide(fresh, previous, gmKeepEdited, orphans, nullptr), 1);
  EXPECT_EQ(previous[0], nullptr);
  EXPECT_EQ(previous[1], nullptr);
  EXPECT_EQ(previous[2].get(), gone);
  EXPECT_EQ(fresh.GetEntry(1).get(), edited);
}

// The processor time this thread has used: unlike the wall clock, it does
// not grow when other programs load the machine.
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Two lists of 50 000 boards that overlap by half merge at once in each mode
// (a merge that scanned the old list for every new board took minutes of
// processor time), with the counts and the list that follow from how the
// lists were made.
TEST(BBSGuideMergeSize, FiftyThousandOverFiftyThousand) {
  constexpr int kCount = 50000;
  // Previous board I: every fourth holds a login, every tenth has calls.
  // Fresh board J (from kCount / 2 on): every fifth renamed, found by address.
  auto lists = [](TList& previous, TPhonebook& fresh) {
    for (int i = 0; i < kCount; ++i) {
      previous.push_back(Old("Board " + std::to_string(i), "h" + std::to_string(i) + ".example", 23, i % 10 ? 0 : 7,
                             [&](TPhonebookEntry& e) { e.Username = i % 4 ? "" : "me"; }));
      const int j = kCount / 2 + i;
      fresh.Append(New((j % 5 ? "Board " : "Renamed ") + std::to_string(j), "H" + std::to_string(j) + ".EXAMPLE"));
    }
  };
  // Matched boards kCount/2..kCount-1 are edited when renamed or with a login;
  // boards below kCount/2 with a login are no longer listed.
  const int32_t edited = kCount / 2 / 4 + kCount / 2 / 5 - kCount / 2 / 20, orphans = kCount / 2 / 4;
  struct {
    TGuideMergeMode Mode;
    int32_t Count, Orphans, ListSize;
  } cases[] = {
      {gmSurvey, edited + orphans, orphans, kCount},
      {gmKeepEdited, edited + orphans, orphans, kCount + orphans},
      {gmUpdateAll, 0, 0, kCount},
  };
  for (const auto& c : cases) {
    TList previous;
    TPhonebook fresh("fresh.ini");
    lists(previous, fresh);
    std::vector<std::string> report;
    int32_t orphanCount = -1;
    const double start = ThreadCpuSeconds();
    EXPECT_EQ(TPhonebook::MergeBBSGuide(fresh, previous, c.Mode, orphanCount, &report), c.Count) << c.Mode;
    EXPECT_LT(ThreadCpuSeconds() - start, 5.0) << c.Mode;
    EXPECT_EQ(orphanCount, c.Orphans) << c.Mode;
    ASSERT_EQ(fresh.Count(), c.ListSize) << c.Mode;
    if (c.Mode == gmSurvey) {
      ASSERT_EQ(report.size(), size_t(c.Count));
      EXPECT_EQ(report.front(), "Board 25000");
      EXPECT_EQ(report.back(), "Board 24996 (no longer listed)");
    }
    // Fresh board 25001 stands for its unchanged old board; 25004's old
    // board holds a login; 25010 was renamed, found by address, and its old
    // board has calls.
    struct {
      int Index;
      std::string Name, Notes, User;
      int32_t Calls;
    } boards[] = {
        {1, "Board 25001", "new", "", 0},
        {4, "Board 25004", c.Mode == gmKeepEdited ? "old" : "new", c.Mode == gmKeepEdited ? "me" : "", 0},
        {10, c.Mode == gmKeepEdited ? "Board 25010" : "Renamed 25010", c.Mode == gmKeepEdited ? "old" : "new", "",
         c.Mode == gmSurvey ? 0 : 7},
    };
    for (const auto& b : boards) {
      const TPhonebookEntry& e = *fresh.GetEntry(b.Index);
      EXPECT_EQ(e.Name + "|" + e.Notes + "|" + e.Username + "|" + std::to_string(e.TimesConnected),
                b.Name + "|" + b.Notes + "|" + b.User + "|" + std::to_string(b.Calls))
          << c.Mode;
    }
    if (c.Mode == gmKeepEdited) {
      EXPECT_EQ(fresh.GetEntry(kCount + orphans - 1)->Name, "Board 24996");
    }
  }
}

}  // namespace
