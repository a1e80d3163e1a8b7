// Door text fields edited on the client, sent to the door alone or by
// group, their hot keys and prompt, and the gadget menu line.
#include <map>

#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

// "5CTXTFLD," parameters after the field number, by position 1..22.
std::string FieldCommand(int n, std::map<int, std::string> params) {
  std::string c = "5CTXTFLD," + std::to_string(n);
  int last = 0;
  for (const auto& p : params) last = std::max(last, p.first);
  for (int i = 1; i <= last; ++i) c += "," + (params.count(i) ? params[i] : "");
  return c;
}

class DDOFXFields : public DDOFXBench {
 protected:
  void SetUp() override { Engine->Graphics = true; }
  void Type(const std::string& text) {
    for (char c : text) Parser->TextFieldKey(uint8_t(c));
  }
};

TEST_F(DDOFXFields, TheFirstKeyReplacesTheValueBackspaceKeepsIt) {
  Run(FieldCommand(1, {{2, "ABC"}}));
  Run("5ACTTFLD,1");
  EXPECT_TRUE(Parser->IsTextFieldActive());
  Type("X");
  EXPECT_EQ(Parser->EditText(), "X");
  Run("5ACTTFLD,1");
  Parser->TextFieldBackspace();
  Type("X");
  EXPECT_EQ(Parser->EditText(), "ABX");
  EXPECT_TRUE(Engine->Fields[0].Focused);
  EXPECT_EQ(Engine->Fields[0].Text, "ABX");
  EXPECT_EQ(LogCount("DDOFX: text field 1 active (default \"ABC\")"), 2u);
}

TEST_F(DDOFXFields, LengthsAndFilters) {
  struct Row {
    const char* label;
    std::map<int, std::string> params;
    std::string typed, edit;
  };
  const std::string many(100, '7');
  const Row rows[] = {
      {"absent length is 30", {}, many, many.substr(0, 30)},
      {"length 0 is 70", {{7, "0"}}, many, many.substr(0, 70)},
      {"length 100 is 70", {{7, "100"}}, many, many.substr(0, 70)},
      {"length 5", {{7, "5"}}, many, "77777"},
      {"digits only", {{17, "2"}}, "a1b2", "12"},
      {"letters only, either case", {{17, "1"}}, "q1Q-", "qQ"},
      {"control characters never", {}, "a\tb\x1b", "ab"},
  };
  for (const Row& r : rows) {
    Run(FieldCommand(2, r.params));
    Run("5ACTTFLD,2");
    Type(r.typed);
    EXPECT_EQ(Parser->EditText(), r.edit) << r.label;
  }
}

TEST_F(DDOFXFields, MaskAndUpperShowDifferentlyFromWhatIsSent) {
  Run(FieldCommand(1, {{3, "<"}, {4, ">^M"}, {11, "1"}, {12, "#"}}));
  Run("5ACTTFLD,1");
  Type("abcde");
  EXPECT_EQ(Engine->Fields[0].Text, "#####");
  EXPECT_EQ(Parser->DrawInputPrompt(80), " Door input (Enter sends, Esc cancels): #####_");
  Parser->TextFieldEnter();
  EXPECT_EQ(TakeSent(), "<abcde>\r");
  EXPECT_EQ(LogCount("DDOFX: text field 1 sends \"abcde\""), 1u);

  Run(FieldCommand(2, {{18, "1"}}));
  Run("5ACTTFLD,2");
  Type("MiXed");
  EXPECT_EQ(Engine->Fields[1].Text, "MIXED");
  Parser->TextFieldEnter();
  EXPECT_EQ(TakeSent(), "MIXED");
  EXPECT_EQ(Parser->Field(2).Text, "MiXed");
}

TEST_F(DDOFXFields, EnterMovesOnOrSendsTheGroup) {
  Run(FieldCommand(1, {{15, "1"}, {14, "2"}}));
  Run(FieldCommand(2, {}));
  Run("5ACTTFLD,1");
  Type("one");
  Parser->TextFieldEnter();
  EXPECT_EQ(TakeSent(), "");
  EXPECT_EQ(Parser->ActiveField(), 2);

  Run(FieldCommand(3, {{2, "c"}, {3, "[3"}, {4, "]"}, {16, "5"}}));
  Run(FieldCommand(7, {{2, "g"}, {3, "[7"}, {4, "]"}, {16, "5"}}));
  Run(FieldCommand(9, {{2, "i"}, {3, "[9"}, {4, "]"}, {16, "5"}}));
  Run(FieldCommand(8, {{2, "h"}, {16, "4"}}));
  Run("5ACTTFLD,7");
  Type("G");
  Parser->TextFieldEnter();
  EXPECT_EQ(TakeSent(), "[3c][7G][9i]");
}

TEST_F(DDOFXFields, EscKeepsTheEditForALaterExit) {
  Run(FieldCommand(4, {{2, "old"}, {22, "(dVCARD)"}}));
  Run("5ACTTFLD,4");
  Type("new");
  Parser->TextFieldEscape();
  EXPECT_EQ(TakeSent(), "");
  EXPECT_EQ(Parser->ActiveField(), 0);
  Run("5EXTFLD,4");
  EXPECT_EQ(TakeSent(), "S\xFFnew") << "the field's macro runs before its text is sent";
  std::string stored;
  Run("~GTXTFLD-,1,4");
  EXPECT_EQ(Parser->Variable(1).Value, "new");
}

TEST_F(DDOFXFields, HotKeysActivateFields) {
  Run(FieldCommand(5, {{20, "104"}}));
  Run(FieldCommand(6, {{20, "112"}, {21, "1"}}));
  bool pass = true;
  EXPECT_TRUE(Parser->TextFieldHotKey('h', pass));
  EXPECT_FALSE(pass);
  EXPECT_EQ(Parser->ActiveField(), 5);
  EXPECT_FALSE(Parser->TextFieldHotKey('p', pass)) << "no hot key while a field is edited";
  Parser->TextFieldEscape();
  EXPECT_TRUE(Parser->TextFieldHotKey('p', pass));
  EXPECT_TRUE(pass);
  EXPECT_EQ(Parser->ActiveField(), 6);
  Parser->TextFieldEscape();
  EXPECT_FALSE(Parser->TextFieldHotKey('z', pass));
}

TEST_F(DDOFXFields, PromptKeepsTheLastCharactersOfALongEdit) {
  Run(FieldCommand(1, {{7, "70"}}));
  Run("5ACTTFLD,1");
  Type("abcdefghijklmnopqrstuvwxyz0123456789");
  const std::string prompt = Parser->DrawInputPrompt(40);
  EXPECT_EQ(prompt.size(), 40u);
  EXPECT_EQ(prompt.substr(prompt.size() - 6), "56789_");
  Parser->TextFieldEscape();
  EXPECT_EQ(Parser->DrawInputPrompt(40), "");
}

TEST_F(DDOFXFields, FieldsAreForgottenOnReset) {
  Run(FieldCommand(1, {{2, "x"}}));
  Run("5ACTTFLD,1");
  Parser->Reset();
  EXPECT_FALSE(Parser->IsTextFieldActive());
  EXPECT_FALSE(Parser->Field(1).Defined);
  Run("5ACTTFLD,1");
  EXPECT_EQ(Parser->ActiveField(), 0);
  Run(FieldCommand(251, {{2, "x"}}));
  EXPECT_FALSE(Parser->Field(251).Defined);
}

TEST_F(DDOFXFields, GadgetsMakeTheMenuLine) {
  Engine->Graphics = false;
  Run("5CPUSHB,1,OKU,a,b,c,d,e,f,g,y^M,z");
  Run("5CPUSHB,2,QUITU,a,b,c,d,e,f,g,q~x,z");
  Run("5CPUSHB,1,OKU,a,b,c,d,e,f,g,y^M,z");
  Run("3MREG,4,1,2,3,4,5,^[");
  Run("2CPYWP2VP");
  EXPECT_EQ(Parser->MenuLine(), "[Y+Enter] OK  [Q,X] QUIT  [Esc]");
  EXPECT_EQ(LogCount("DDOFX: ZUD-O/D menu:  [Y+Enter] OK  [Q,X] QUIT  [Esc]"), 1u);
  Run("5CPUSHB,1,OKU,a,b,c,d,e,f,g,y^M,z");
  Run("5CPUSHB,2,QUITU,a,b,c,d,e,f,g,q~x,z");
  Run("3MREG,4,1,2,3,4,5,^[");
  Run("2CPYWP2VP");
  EXPECT_EQ(LogCount("DDOFX: ZUD-O/D menu:"), 1u) << "an unchanged line is not logged again";
}

}  // namespace
