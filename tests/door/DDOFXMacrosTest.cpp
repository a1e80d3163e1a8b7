// Door macros, return registers, macros fetched from the door's pack, key
// macros matched by PC scan code or character, and the caret notation.
#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

const std::string kFF = "\xFF";

class DDOFXMacros : public DDOFXBench {
 protected:
  std::vector<std::string> EngineSince(size_t from) const {
    return std::vector<std::string>(Engine->Commands.begin() + long(from), Engine->Commands.end());
  }
};

TEST(DDOFXCarets, Table) {
  struct Row {
    std::string in, out;
  };
  const Row rows[] = {
      {"^M", "\r"},      {"^m", "\r"},       {"^[", "\x1b"},   {"a~b", "a,b"},   {"x^", "x^"},
      {"^1", "^1"},      {"^@", std::string(1, '\0')},         {"^_", "\x1f"},   {"^^", "\x1e"},
      {"q^Mz", "q\rz"},  {"^~", "^,"},
  };
  for (const Row& r : rows) EXPECT_EQ(TDDOFXParser::DecodeCarets(r.in), r.out) << r.in;
}

TEST_F(DDOFXMacros, LinesReplayInOrderWithBracketsAsParentheses) {
  Run("4DEFM,1,1,(2v,A.PCX)(2v,B.PCX)");
  Run("4DEFM,1,3,(5RAY,[1,2],x)");
  const size_t from = Engine->Commands.size();
  Run("4RUNM,1");
  EXPECT_EQ(EngineSince(from), (std::vector<std::string>{"4RUNM,1", "2v,A.PCX", "2v,B.PCX", "5RAY,(1,2),x"}));
  const size_t line = Engine->Commands.size();
  Run("4EXCM,1,3");
  EXPECT_EQ(EngineSince(line), (std::vector<std::string>{"4EXCM,1,3", "5RAY,(1,2),x"}));
  Run("4CLRM,1");
  EXPECT_EQ(Parser->MacroLine(1, 1), "");
  Run("4DEFM,33,1,(x)");
  Run("4DEFM,1,11,(x)");
  Run("4DEFM,1");
  EXPECT_EQ(Parser->MacroLine(1, 1), "");
}

TEST_F(DDOFXMacros, AMacroThatReplaysItselfStopsAtDepthEight) {
  Run("4DEFM,1,1,(4RUNM,1)(2aX)");
  Run("4RUNM,1");
  EXPECT_EQ(EngineCount("2aX"), 8u) << "every level finishes its own line";
  EXPECT_EQ(LogCount("DDOFX: macro recursion depth exceeded, aborting replay"), 1u);
}

TEST_F(DDOFXMacros, AMacroUsedBeforeItWasDefinedComesFromThePack) {
  const std::string gs(1, kGS);
  ASSERT_TRUE(testsupport::WriteWholeFile(
      Assets.File("doorm"),
      MakePack({{"NOTES", "no macros here"},
                {"MAIN", "junk" + gs + "{4DEFM,6,1,(2aSIX)}" + gs + "{4DEFM,5,2,(2aB)}" + gs + "x" + gs +
                             "{7DEFRET,9,from~pack}" + gs + "{7DEFRET,4,other}" + gs + "{4DEFM,5,1,(2aA)}" + gs +
                             "{4DEFM,5,3,(2aC)"},
                {"LATER", gs + "{4DEFM,5,1,(2aWRONG)}"}})));
  Run("7DEFRET,4,kept");
  Run("2fDOOR");
  const size_t from = Engine->Commands.size();
  Run("4RUNM,5");
  EXPECT_EQ(EngineSince(from), (std::vector<std::string>{"4RUNM,5", "2aA", "2aB"}))
      << "lines from the first entry holding the key; an unterminated command ends the scan";
  EXPECT_EQ(Parser->MacroLine(6, 1), "") << "other macros of the entry are skipped";
  EXPECT_EQ(Parser->ReturnRegister(9), "from,pack");
  EXPECT_EQ(Parser->ReturnRegister(4), "kept") << "a register holding a text keeps it";
  EXPECT_EQ(LogCount("DDOFX: macro 5 is used before it was defined - taking it from MAIN"), 1u);
  // Looked for once per connection.
  Run("4CLRM,5");
  Run("4RUNM,5");
  EXPECT_EQ(EngineCount("2aA"), 1u);
  Parser->Reset();
  Run("2fDOOR");
  Run("4RUNM,5");
  EXPECT_EQ(EngineCount("2aA"), 2u) << "a new connection looks again";
}

TEST_F(DDOFXMacros, ReturnRegistersAreSentAsTheyStandAndOutliveTheConnection) {
  Run("7DEFRET,3,A~B");
  Run("7SRET,3");
  EXPECT_EQ(TakeSent(), "A,B");
  Parser->Reset();
  Run("7SRET,3");
  Run("7SRET,301");
  EXPECT_EQ(TakeSent(), "A,B");
  Run("7DEFRET,0,");
  Run("7SRET,3");
  EXPECT_EQ(TakeSent(), "");
}

struct KeyRow {
  const char* label;
  std::vector<std::string> define;
  int hkey, lkey;
  bool taken, pass;
  std::string sent;
};

TEST_F(DDOFXMacros, KeyMacros) {
  // PC scan codes: A 30, B 48, H 35, Up 72, F1 59.
  const KeyRow rows[] = {
      {"typed A sends CR and stops", {"4MKEY,1,0,65,0,^M"}, 30, 'A', true, false, "\r"},
      {"pass 1 lets A through after the CR", {"4MKEY,1,0,65,1,^M"}, 30, 'A', true, true, "\r"},
      {"scan code 72 matches Up", {"4MKEY,1,72,0,0,up"}, 72, 0, true, false, "up"},
      {"scan code 72 does not match a typed H", {"4MKEY,1,72,0,0,up"}, 35, 'H', false, true, ""},
      {"character wins over scan code", {"4MKEY,1,99,65,0,a"}, 30, 'A', true, false, "a"},
      {"255/255 takes every key", {"4MKEY,1,255,255,0,any"}, 59, 0, true, false, "any"},
      {"255/255 takes typed characters", {"4MKEY,1,255,255,0,any"}, 48, 'b', true, false, "any"},
      {"first defined slot wins", {"4MKEY,7,0,65,0,seven", "4MKEY,3,0,65,0,three"}, 30, 'A', true, false, "three"},
      {"macro only", {"4MKEY,2,0,66,0,,(dVCARD)"}, 48, 'B', true, false, "S" + kFF},
      {"macro before the send text", {"4MKEY,2,0,66,0,t,(dVCARD)"}, 48, 'B', true, false, "S" + kFF + "t"},
      {"a caret at the end stays", {"4MKEY,1,0,65,0,x^"}, 30, 'A', true, false, "x^"},
      {"too few parameters define nothing", {"4MKEY,1,0,65,0"}, 30, 'A', false, true, ""},
      {"0 clears them all", {"4MKEY,1,0,65,0,a", "4MKEY,0"}, 30, 'A', false, true, ""},
  };
  for (const KeyRow& r : rows) {
    Parser->Reset();
    for (const std::string& d : r.define) Run(d);
    TakeSent();
    Engine->RayKeys.clear();
    bool pass = false;
    EXPECT_EQ(Parser->KeyPress(r.hkey, r.lkey, pass), r.taken) << r.label;
    EXPECT_EQ(pass, r.pass) << r.label;
    EXPECT_EQ(TakeSent(), r.sent) << r.label;
    EXPECT_EQ(Engine->RayKeys.size(), r.taken && !r.pass ? 0u : 1u) << r.label << ": the raycaster's turn";
  }
  EXPECT_GE(LogCount("DDOFX: key macro 1 (hkey=30 lkey=65)"), 1u);
}

}  // namespace
