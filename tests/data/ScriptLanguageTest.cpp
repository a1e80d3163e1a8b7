// KVScript as its lexer and parser read it: every syntax error with its text
// and line, the odd readings of the lexical and line rules, the value
// conversions, and scripts nested far deeper than any stack would hold.
#include <gtest/gtest.h>

#include <string>

#include "data/uScript.h"
#include "tests/data/ScriptTestHost.h"

using scripttest::RunScript;
using scripttest::TRecordingHost;

namespace {

std::string ParseError(const std::string& source) {
  TScript script;
  try {
    script.Parse(source, "t");
  } catch (const EScriptError& e) {
    EXPECT_EQ(script.Root, nullptr) << "a failed parse keeps no program";
    return std::to_string(e.Line) + ": " + e.what();
  }
  return "parsed";
}

struct TErrorRow {
  const char* Name;
  std::string Source;
  const char* Expected;  // "line: message"
};

class ScriptSyntaxErrors : public ::testing::TestWithParam<TErrorRow> {};

TEST_P(ScriptSyntaxErrors, GiveTheirTextAndLine) { EXPECT_EQ(ParseError(GetParam().Source), GetParam().Expected); }

const TErrorRow kSyntaxErrors[] = {
    {"StringRunsToTheEnd", "x = 1\nprint \"abc", "2: unterminated string"},
    {"StringMeetsALineFeed", "print 'ab\nc'", "1: unterminated string"},
    {"BackslashBeforeTheLastByte", "print \"ab\\", "1: unterminated string"},
    {"EscapedLineBreakCountsItsLine", "s = \"one\\\ntwo\"\nprint \"x", "3: unterminated string"},
    {"LaterLinesStayRightAfterAnEscapedBreak", "s = \"a\\\nb\" + \"c\\\nd\"\n\n)", "5: statement expected"},
    {"LoneBang", "if 1 ! 2 then end", "1: unexpected character \"!\""},
    {"Brace", "\n\nx = {", "3: unexpected character \"{\""},
    {"FullStop", "x = 1.5", "1: unexpected character \".\""},
    {"FormFeed", "x = 1\f", "1: unexpected character \"\f\""},
    {"HighByte", "x = \xC4", "1: unexpected character \"\xC4\""},
    {"MissingThen", "if 1 print 2 end", "1: expected \"THEN\""},
    {"MissingEndAtTheEnd", "while 1\n  print 2\n", "3: expected \"END\""},
    {"MissingEndOfIf", "if 1 then\nprint 1\nelse\nprint 2\n", "5: expected \"END\""},
    {"UntilInsideAnIf", "repeat\nif 1 then\nuntil 1", "3: unexpected \"UNTIL\""},
    {"MissingUntil", "repeat\n  x = 1\n", "3: expected \"UNTIL\""},
    {"MissingTo", "for i = 1 10\nend", "1: expected \"TO\""},
    {"MissingEqualsInFor", "for i 1 to 2 end", "1: expected \"=\""},
    {"MissingCloseOfCall", "print(1, 2\n\n", "3: expected \")\""},
    {"MissingCloseOfGroup", "x = (1 + 2\ny = 3", "2: expected \")\""},
    {"MissingCloseOfParameters", "function f(a b) end", "1: expected \")\""},
    {"FunctionNameMissing", "function (a)\nend", "1: function name expected"},
    {"ParameterNotAName", "function f(a, 1)\nend", "1: parameter name expected"},
    {"ParameterListOnlyComma", "function f(,)\nend", "1: parameter name expected"},
    {"DefinedTwice", "function f()\nend\n\nFUNCTION F()\nend", "4: function \"f\" defined twice"},
    {"DefinedTwiceInsideItsOwnBody", "function f\n  function f\n  end\nend", "2: function \"f\" defined twice"},
    {"DefinedTwiceInAnIfBranch", "function g end\nif 0 then\n function g end\nend", "3: function \"g\" defined twice"},
    {"StatementStartsWithNumber", "5", "1: statement expected"},
    {"StatementStartsWithString", "\"text\"", "1: statement expected"},
    {"ParenthesisedCallEndsTheStatement", "print(\"a\") + \"b\"", "1: statement expected"},
    {"LoopVariableMissing", "for 1 = 1 to 2 end", "1: loop variable expected"},
    {"VariableNameMissing", "var 5", "1: variable name expected"},
    {"StrayEnd", "x = 1\nend", "2: unexpected \"END\""},
    {"ElseOutsideIf", "else", "1: unexpected \"ELSE\""},
    {"ThenWithoutIf", "then", "1: unexpected \"THEN\""},
    {"ReservedWordAsValue", "x = then", "1: unexpected \"THEN\""},
    {"NotInsideASum", "x = 1 + not 2", "1: unexpected \"NOT\""},
    {"UnaryPlus", "x = +1", "1: unexpected \"+\""},
    {"StrayClose", "x = )", "1: unexpected \")\""},
    {"DoubledEqualsAsAValue", "x = == 1", "1: unexpected \"=\""},
    {"EndWhereAValueMustStart", "x = 1 +", "1: unexpected end of script"},
    {"EndOnALaterLine", "x =\n\n", "3: unexpected end of script"},
    {"ElseIfWithoutThen", "if 1 then\nelseif 2\nprint 3\nend", "3: expected \"THEN\""},
};

INSTANTIATE_TEST_SUITE_P(Table, ScriptSyntaxErrors, ::testing::ValuesIn(kSyntaxErrors),
                         [](const auto& info) { return std::string(info.param.Name); });

// Scripts that parse and what they print: the lexical rules, the line rules
// and precedence, as the interpreter then shows them.
struct TOutputRow {
  const char* Name;
  std::string Source;
  std::string Expected;
};

class ScriptReadings : public ::testing::TestWithParam<TOutputRow> {};

TEST_P(ScriptReadings, PrintWhatTheRulesSay) {
  TRecordingHost host;
  EXPECT_EQ(RunScript(GetParam().Source, &host), GetParam().Expected);
}

const TOutputRow kReadings[] = {
    {"EmptySource", "", ""},
    {"CommentsOnly", "# one\n// two\n   # three", ""},
    {"SlashAloneDivides", "print 8/2 // and a comment", "4\n"},
    {"WholeIfOnOneLineInCapitals", "X = 2\nIF X = 2 THEN PRINT \"Two\" ELSE PRINT \"other\" END", "Two\n"},
    {"DoubledEqualsAssigns", "x == 1\nprint x", "1\n"},
    {"DoubledEqualsComparesAfterIf", "x = 1\nif x == 1 then print \"eq\" end", "eq\n"},
    {"BangEqualsIsNotEqual", "print 1 != 2, 2 <> 2", "10\n"},
    {"SemicolonIsWhitespace", "x = 1; y = 2; print x + y;", "3\n"},
    {"DecimalLiteralWraps", "print 9223372036854775808", "-9223372036854775808\n"},
    {"HexPrefixAlone", "print 0x", "0\n"},
    {"SixteenHexF", "print 0xFFFFFFFFFFFFFFFF", "-1\n"},
    {"NumberThenName", "x = 12ab = 5\nprint x, ab", "125\n"},
    {"BackslashXWithOneDigit", "print \"\\x4\", len(\"\\x4\")", "x42\n"},
    {"BackslashOther", "print \"\\q\\\"\\\\\\^\"", "q\"\\^\n"},
    {"BackslashCodes", "print asc(\"\\0\"), asc(\"\\b\"), asc(\"\\e\"), asc(\"\\n\"), asc(\"\\r\"), asc(\"\\t\"), "
                       "asc(\"\\x41\"), asc(\"\\xfF\")",
     "08271013965255\n"},
    {"CaretBeforeClosingQuote", "print \"a^\"", "a^\n"},
    {"CaretCodes", "print asc(\"^@\"), asc(\"^A\"), asc(\"^a\"), asc(\"^M\"), asc(\"^[\"), asc(\"^_\"), asc(\"^^\")",
     "01113273130\n"},
    {"CaretBeforeOther", "print \"^1^`\"", "^1^`\n"},
    {"OtherQuoteInside", "print 'say \"hi\"', \" it's\"", "say \"hi\" it's\n"},
    {"HighBytesInStrings", "print asc(\"\xE9\")", "233\n"},
    {"ReturnThenEndOnItsLine", "function f() return end\nprint f()", "0\n"},
    {"ReturnNotTakesAValue", "function f(x)\nreturn not x\nend\nprint f(0)", "1\n"},
    {"ReturnAloneOnItsLine", "function f()\nreturn\n5\nend\nprint f()", "error 3: statement expected"},
    {"CallOfFunctionDefinedLater", "print twice(21)\nfunction twice(n)\nreturn n * 2\nend", "42\n"},
    {"FunctionInsideAnIfBranchIsGlobal", "if 0 then\nfunction g() return 7 end\nend\nprint g()", "7\n"},
    {"CommandFormNegativeNumber", "print -5", "-5\n"},
    {"CommandFormArgumentOnNextLineAfterComma", "print \"a\",\n  1, \"b\"", "a1b\n"},
    {"BareNameIsACallWithoutArguments", "beep\nprint \"done\"", "done\n"},
    {"ParenthesesOnTheNextLineAreNotArguments", "print\n(1)", "error 2: statement expected"},
    {"TrailingCommaInArguments", "print(\"a\", \"b\",)", "ab\n"},
    {"ExpressionOverLineBreaks", "x = 1 +\n 2 *\n 3\nprint x", "7\n"},
    {"UnaryMinusBindsTighterThanTimes", "print -2 * 3 + - - 1", "-5\n"},
    {"NotTakesTheWholeComparison", "print not 1 = 2", "1\n"},
    {"ComparisonChainsLeftToRight", "print 3 > 2 > 1, 1 < 2 < 3", "01\n"},
    {"AndBindsTighterThanOr", "print 1 or 0 and 0", "1\n"},
    {"TrueAndFalse", "print true, false, true + true", "102\n"},
    {"VariableNamedTrueCannotBeRead", "true = 5\nprint true", "1\n"},
    {"NamesIgnoreCase", "Count = 3\nPRINT count + COUNT", "6\n"},
    {"StringsKeepTheirCase", "PRINT \"MiXeD\"", "MiXeD\n"},
    {"OptionalDo", "for i = 1 to 2 do print i end\nn = 0 while n < 2 do n = n + 1 end print n", "1\n2\n2\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, ScriptReadings, ::testing::ValuesIn(kReadings),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ScriptTokens, CarryTheirLinesAndTheEndTokenTheLast) {
  TScript script;
  script.Tokenize("a = \"x\\\ny\"\n  b\n");
  ASSERT_EQ(script.Tokens.size(), 5u);
  EXPECT_EQ(script.Tokens[0].Line, 1);
  EXPECT_EQ(script.Tokens[2].Kind, tkStr);
  EXPECT_EQ(script.Tokens[2].Text, "x\ny");
  EXPECT_EQ(script.Tokens[3].Text, "b");
  EXPECT_EQ(script.Tokens[3].Line, 3) << "the escaped line break is counted";
  EXPECT_EQ(script.Tokens[4].Kind, tkEnd);
  EXPECT_EQ(script.Tokens[4].Line, 4);
}

TEST(ScriptTree, NodesTakeTheLinesOfTheirTokens) {
  TScript script;
  script.Parse("x = 1 +\n 2\nfor i = 1 to 2\nend", "t");
  const TNode& assign = *script.Root->Children[0];
  EXPECT_EQ(assign.Kind, nkAssign);
  EXPECT_EQ(assign.Line, 1);
  const TNode& sum = *assign.Children[0];
  EXPECT_EQ(sum.Kind, nkBinary);
  EXPECT_EQ(sum.Op, "+");
  EXPECT_EQ(sum.Line, 1) << "a binary node takes its operator's line";
  EXPECT_EQ(sum.Children[1]->Line, 2);
  const TNode& loop = *script.Root->Children[1];
  ASSERT_EQ(loop.Kind, nkFor);
  EXPECT_EQ(loop.Children[2]->Op, "auto");
  EXPECT_EQ(loop.Children[3]->Kind, nkBlock);
}

TEST(ScriptValues, StringsReadAsIntegersOnlyWhenWhole) {
  struct {
    const char* Text;
    int64_t Expected;
  } rows[] = {
      {" 42 ", 42},       {"\t42\r\n", 42},   {"42ab", 0},        {"$ff", 255},
      {"0x10", 16},       {"x10", 16},        {"X1f", 31},        {"- 5", 0},
      {"-", 0},           {"", 0},            {"+7", 7},          {"-$10", -16},
      {"%101", 5},        {"&17", 15},        {"4 2", 0},         {"$", 0},
      {"0x", 0},          {"%2", 0},          {"&8", 0},          {"$FFFFFFFFFFFFFFFF", -1},
      {"$8000000000000000", INT64_MIN},       {"$1FFFFFFFFFFFFFFFF", 0},
      {"9223372036854775807", INT64_MAX},     {"9223372036854775808", 0},
      {"-9223372036854775808", INT64_MIN},    {"-9223372036854775809", 0},
      {"0000000000000000000000001", 1},       {"$00000000000000000001", 1},
  };
  for (const auto& row : rows) EXPECT_EQ(ValueToInt(MakeStrValue(row.Text)), row.Expected) << "\"" << row.Text << "\"";
  EXPECT_EQ(ValueToInt(MakeIntValue(-3)), -3);
  EXPECT_EQ(ValueToStr(MakeIntValue(INT64_MIN)), "-9223372036854775808");
  EXPECT_TRUE(ValueIsTrue(MakeStrValue("0")));
  EXPECT_TRUE(ValueIsTrue(MakeStrValue("  ")));
  EXPECT_FALSE(ValueIsTrue(MakeStrValue("")));
  EXPECT_FALSE(ValueIsTrue(MakeIntValue(0)));
}

TEST(ScriptReservedWords, AreExactlyTheTwentyOne) {
  const char* words[] = {"if",    "then",     "elseif", "else",   "end",   "while",    "do",
                         "for",   "to",       "step",   "repeat", "until", "function", "return",
                         "break", "continue", "exit",   "var",    "and",   "or",       "not"};
  for (const char* w : words) EXPECT_TRUE(IsReservedWord(w)) << w;
  for (const char* w : {"true", "false", "print", "waitfor", "If", "elif"}) EXPECT_FALSE(IsReservedWord(w)) << w;
}

// Nesting far beyond any real script ends in an error text at parse time;
// without the limit each of these would exhaust the stack (or, for the long
// chain, the interpreter's and the tree's release would).
TEST(ScriptNesting, HundredThousandLevelsEndInTheErrorText) {
  const int n = 100000;
  auto repeat = [](const std::string& s, int times) {
    std::string out;
    out.reserve(s.size() * size_t(times));
    for (int i = 0; i < times; ++i) out += s;
    return out;
  };
  const std::string error = std::string("1: ") + kNestingError;
  EXPECT_EQ(ParseError("x = " + repeat("(", n) + "1" + repeat(")", n)), error);
  EXPECT_EQ(ParseError("x = " + repeat("- ", n) + "1"), error);
  EXPECT_EQ(ParseError("x = " + repeat("not ", n) + "1"), error);
  EXPECT_EQ(ParseError("x = 1" + repeat(" + 1", n)), error);
  EXPECT_EQ(ParseError("x = f(" + repeat("g(", n) + repeat(")", n + 1)), error);
  EXPECT_EQ(ParseError(repeat("if 1 then ", n) + repeat(" end", n)), error);
  std::string definitions;
  for (int i = 0; i < n; ++i) definitions += "function f" + std::to_string(i) + " ";
  EXPECT_EQ(ParseError(definitions), error) << "definitions nest their bodies too";
  // The error's line is where the limit was met.
  EXPECT_EQ(ParseError("x = 1\n\ny = " + repeat("(\n", n) + "1"), std::to_string(3 + kMaxTreeHeight - 1) + ": " +
                                                                   kNestingError);
}

TEST(ScriptNesting, ScriptsWithinTheLimitStillRun) {
  std::string deep = "x = ";
  for (int i = 0; i < 300; ++i) deep += "(";
  deep += "2";
  for (int i = 0; i < 300; ++i) deep += ") * 1";
  deep += "\nprint x";
  TRecordingHost host;
  EXPECT_EQ(RunScript(deep, &host), "2\n");
}

}  // namespace
