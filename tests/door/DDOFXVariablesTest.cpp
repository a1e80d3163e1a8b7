// Door variables: arithmetic at the 64-bit edges with exact rounding, the
// text commands and their length cap, substitution, comparisons, replies
// captured into a variable, and loops that must end.
#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

const std::string kFF = "\xFF";
const std::string kMax = "9223372036854775807", kMin = "-9223372036854775808";

struct QuotientRow {
  int64_t a, b, q;
};

TEST(DDOFXArithmetic, QuotientRoundsToNearestHalvesToEven) {
  const QuotientRow rows[] = {
      {15, 2, 8},  {8, 2, 4},   {7, 2, 4},   {5, 2, 2},    {-5, 2, -2},  {-7, 2, -4}, {7, -2, -4},
      {-7, -2, 4}, {10, 4, 2},  {11, 4, 3},  {9, 4, 2},    {1, 3, 0},    {2, 3, 1},   {-2, 3, -1},
      {INT64_MAX, 2, 4611686018427387904}, {INT64_MIN, 2, -4611686018427387904},
      {INT64_MIN, -1, INT64_MIN},          {INT64_MIN, INT64_MIN, 1},  {INT64_MAX, INT64_MIN, -1},
      {INT64_MIN, INT64_MAX, -1},          {INT64_MIN + 1, -1, INT64_MAX}, {INT64_MAX, 3, 3074457345618258602},
  };
  for (const QuotientRow& r : rows)
    EXPECT_EQ(TDDOFXParser::RoundedQuotient(r.a, r.b), r.q) << r.a << " / " << r.b;
}

struct VarRow {
  const char* label;
  std::vector<std::string> commands;
  int var;
  std::string value;
  bool isNumber;
};

class DDOFXVariables : public DDOFXBench {};

TEST_F(DDOFXVariables, Table) {
  const std::string long250(250, 'a'), long255(255, 'a');
  const VarRow rows[] = {
      {"add", {"~DEFVAR,1,2,10", "~VARADD,1,5"}, 1, "15", true},
      {"divide 15 by 2", {"~DEFVAR,1,2,15", "~VARDIV,1,2"}, 1, "8", true},
      {"divide 8 by 2, then by 0", {"~DEFVAR,1,2,8", "~VARDIV,1,2", "~VARDIV,1,0"}, 1, "4", true},
      {"subtract and multiply", {"~DEFVAR,2,2,6", "~VARSUB,2,10", "~VARMLT,2,-3"}, 2, "12", true},
      {"add past the top wraps", {"~DEFVAR,1,2," + kMax, "~VARADD,1,1"}, 1, kMin, true},
      {"subtract past the bottom wraps", {"~DEFVAR,1,2," + kMin, "~VARSUB,1,1"}, 1, kMax, true},
      {"multiply wraps", {"~DEFVAR,1,2,4611686018427387904", "~VARMLT,1,2"}, 1, kMin, true},
      {"lowest over -1 is itself", {"~DEFVAR,1,2," + kMin, "~VARDIV,1,-1"}, 1, kMin, true},
      {"increment wraps", {"~DEFVAR,1,2," + kMax, "~INCVAR,1"}, 1, kMin, true},
      {"operand beyond 64 bits counts as 0", {"~DEFVAR,1,2,5", "~VARADD,1,99999999999999999999"}, 1, "5", true},
      {"text is not computed", {"~DEFVAR,1,1,AB", "~VARADD,1,5"}, 1, "AB", false},
      {"increment text adds a blank", {"~DEFVAR,1,1,AB", "~INCVAR,1"}, 1, "AB ", false},
      {"decrement text takes it away", {"~DEFVAR,1,1,AB", "~INCVAR,1", "~DECVAR,1"}, 1, "AB", false},
      {"insert into an empty target", {"~DEFVAR,1,1,x", "~VARINS,1,2"}, 2, "x", false},
      {"upper case", {"~DEFVAR,3,1,mixed Case", "~CAPVAR,3"}, 3, "MIXED CASE", false},
      {"pad left", {"~DEFVAR,1,2,42", "~PADVARL,1,5,0"}, 1, "00042", true},
      {"pad right never passes 255", {"~DEFVAR,1,1,x", "~PADVARR,1,9999,-"}, 1, "x" + std::string(254, '-'),
       false},
      {"position", {"~DEFVAR,1,1,HELLO", "~VARPOS,1,2,LL"}, 2, "3", true},
      {"position absent", {"~DEFVAR,1,1,HELLO", "~VARPOS,1,2,Z"}, 2, "0", true},
      {"copy", {"~DEFVAR,1,1,ABCDEF", "~VARCPY,1,2,2,3"}, 2, "BCD", false},
      {"delete", {"~DEFVAR,1,1,ABCDEF", "~VARDEL,1,2,2"}, 1, "ADEF", false},
      {"length", {"~DEFVAR,1,1,ABCDEF", "~VARLEN,1,9"}, 9, "6", true},
      {"equal copies the value", {"~DEFVAR,1,1,abc", "~DEFVAR,2,2,7", "~VAREQU,2,1"}, 2, "abc", true},
      {"type", {"~DEFVAR,1,1,12", "~VARTYP,1,2", "~VARADD,1,1"}, 1, "13", true},
      {"insert keeps 255", {"~DEFVAR,1,1," + long250.substr(0, 50), "~DEFVAR,2,1,", "~VARINS,1,2", "~VARINS,1,2",
                            "~VARINS,1,2", "~VARINS,1,2", "~VARINS,1,2", "~VARINS,1,2"},
       2, long255, false},
      {"insert before a position", {"~DEFVAR,1,1,XY", "~DEFVAR,2,1,abc", "~VARINS,1,2,2"}, 2, "aXYbc", false},
      {"define takes 50 characters", {"~DEFVAR,5,1," + std::string(80, 'q')}, 5, std::string(50, 'q'), false},
      {"define keeps commas in the value", {"~DEFVAR,6,1,a,b"}, 6, "a,b", false},
      {"variable 1001 does not exist", {"~DEFVAR,1001,2,5", "~VARADD,1001,1"}, 1001, "", false},
      {"define 0 forgets all", {"~DEFVAR,7,2,5", "~DEFVAR,0"}, 7, "", true},
  };
  for (const VarRow& r : rows) {
    Parser->Reset();
    for (const std::string& c : r.commands) Run(c);
    EXPECT_EQ(Parser->Variable(r.var).Value, r.value) << r.label;
    EXPECT_EQ(Parser->Variable(r.var).IsNumber, r.isNumber) << r.label;
  }
}

TEST_F(DDOFXVariables, IncrementedTextNeverPassesItsCap) {
  Run("~DEFVAR,1,1,x");
  Run("4DEFM,1,1,(~INCVAR,1)");
  Run("~REPMAC,400,(4RUNM,1)");
  EXPECT_EQ(Parser->Variable(1).Value.size(), 255u);
}

TEST_F(DDOFXVariables, RepliesGoIntoACapturingVariable) {
  Run("dMEM");
  EXPECT_EQ(TakeSent(), "8388608" + kFF);
  Run("~VARCAP,3");
  Run("dMEM");
  Run("dVCARD");
  EXPECT_EQ(TakeSent(), "");
  EXPECT_EQ(Parser->Variable(3).Value, "S");
  EXPECT_FALSE(Parser->Variable(3).IsNumber);
  Run("~VARCAP,3");
  Run("dMEM");
  EXPECT_EQ(Parser->Variable(3).Value, "8388608");
  EXPECT_TRUE(Parser->Variable(3).IsNumber);
  Run("~VARCAP,0");
  Run("dMEM");
  EXPECT_EQ(TakeSent(), "8388608" + kFF);
  Run("~VARCAP,5000");
  Run("dDRIVE");
  EXPECT_EQ(Parser->Variable(1000).Value, "104857600");
  EXPECT_EQ(TakeSent(), "");
}

TEST_F(DDOFXVariables, ReferencesAreReplacedOutsideBrackets) {
  Run("~DEFVAR,1,2,10");
  Run("~DEFVAR,2,2,20");
  Run("2aRECT,DEFVAR1, defvar2 ,(DEFVAR1,2),[DEFVAR2],DEFVAR1001,DEFVAR");
  EXPECT_EQ(Engine->Commands, (std::vector<std::string>{"2aRECT,10,20,(DEFVAR1,2),[DEFVAR2],DEFVAR1001,DEFVAR"}));
}

struct CompareRow {
  const char* label;
  std::string setup;  // a command run first, may be empty
  std::string condition;
  bool holds;
};

TEST_F(DDOFXVariables, ComparisonsDecideMacroReplays) {
  const CompareRow rows[] = {
      {"number equals", "~DEFVAR,1,2,15", "DEFVAR1,=,15", true},
      {"number equals with a leading zero", "~DEFVAR,1,2,15", "DEFVAR1,=,015", true},
      {"text differs from a leading zero", "~DEFVAR,1,1,15", "DEFVAR1,=,015", false},
      {"text ignores case", "~DEFVAR,1,1,abc", "DEFVAR1,=,ABC", true},
      {"numbers order as numbers", "~DEFVAR,1,2,9", "DEFVAR1,<,10", true},
      {"texts order as texts", "~DEFVAR,1,1,9", "DEFVAR1,<,10", false},
      {"not equal", "~DEFVAR,1,2,3", "DEFVAR1,<>,4", true},
      {"greater or equal", "~DEFVAR,1,2,4", "DEFVAR1,>=,4", true},
      {"unknown operator", "~DEFVAR,1,2,4", "DEFVAR1,=>,4", false},
      {"left word asks the detect answer", "", "LITERM,=,LITERM Ver. 2.00", true},
      {"right word is plain text", "", "LITERM Ver. 2.00,=,LITERM", false},
      {"memory is a number", "", "MEM,>,8000000", true},
      {"mouse", "", "MOUSE,=,3", true},
      {"a file the client lacks", "", "FNOFONT.F16,=,NO", true},
      {"a tilde stands for a comma", "~DEFVAR,1,1,a,b", "DEFVAR1,=,a~b", true},
  };
  for (const CompareRow& r : rows) {
    Parser->Reset();
    if (!r.setup.empty()) Run(r.setup);
    TakeSent();
    Run("~IFVAR," + r.condition + ",(dVCARD)");
    EXPECT_EQ(TakeSent(), r.holds ? "S" + kFF : "") << r.label;
  }
  // Fewer than five pieces: nothing.
  Run("~IFVAR,1,=");
  EXPECT_EQ(TakeSent(), "");
}

TEST_F(DDOFXVariables, LoopsEnd) {
  Run("~REPVAR,1,=,2,(2aTICK)");
  EXPECT_EQ(EngineCount("2aTICK"), 10000u) << "a condition that never holds";
  Engine->Commands.clear();
  Run("~DEFVAR,1,2,0");
  Run("~REPVAR,DEFVAR1,=,5,(~INCVAR,1)(2aTICK)");
  EXPECT_EQ(EngineCount("2aTICK"), 5u);
  Engine->Commands.clear();
  Run("~REPMAC,50000,(2aTICK)");
  EXPECT_EQ(EngineCount("2aTICK"), 10000u);
  Engine->Commands.clear();
  Run("~DEFVAR,2,2,3");
  Run("~REPMAC,DEFVAR2,(2aTICK)");
  EXPECT_EQ(EngineCount("2aTICK"), 3u) << "the count may be a variable";
}

TEST_F(DDOFXVariables, AMacroThatMultipliesItselfIsStoppedByTheBudget) {
  // Each line of macro 1 runs macro 1 ten times: without a budget this is
  // ten to the eighth replays.
  Run("4DEFM,1,1,(~REPMAC,100,[4RUNM,1])(2aTICK)");
  Run("4RUNM,1");
  EXPECT_GT(EngineCount("2aTICK"), 0u);
  EXPECT_LE(EngineCount("2aTICK"), size_t(TDDOFXParser::kReplayBudget));
  EXPECT_EQ(LogCount("replays in one command - skipping"), 1u);
  Run("4DEFM,1,1,");
  Engine->Commands.clear();
  Run("2aAFTER");
  Run("~REPMAC,3,(2aTICK)");
  EXPECT_EQ(Engine->Commands, (std::vector<std::string>{"2aAFTER", "2aTICK", "2aTICK", "2aTICK"}))
      << "the next command has its own budget";
}

}  // namespace
