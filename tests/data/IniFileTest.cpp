// The ini reader and writer: text in, values out; writes in, text out; and
// agreement with independent readers and writers (Python's configparser,
// crudini) on real files.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "data/uIniFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"


using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

struct ReadRow {
  const char* Name;
  const char* Text;
  const char* Section;
  const char* Key;
  const char* Expected;  // ReadString with default "<default>"
};

const ReadRow kReadRows[] = {
    {"Plain", "[Config]\nName=My BBS\n", "Config", "Name", "My BBS"},
    {"SectionAndKeyIgnoreCase", "[CONFIG]\nNAME=x\n", "config", "name", "x"},
    {"BlanksAroundKeyAndValue", "[A]\n  Name \t=  My BBS  \n", "A", "Name", "My BBS"},
    {"EmptyValueIsNotTheDefault", "[A]\nName=\n", "A", "Name", ""},
    {"MissingKeyGivesDefault", "[A]\nOther=1\n", "A", "Name", "<default>"},
    {"MissingSectionGivesDefault", "[A]\nName=1\n", "B", "Name", "<default>"},
    {"FirstOfDuplicateKeysWins", "[A]\nName=first\nname=second\n", "A", "Name", "first"},
    {"DuplicateSectionsAreJoined", "[A]\nX=1\n[B]\n[a]\nName=late\n", "A", "Name", "late"},
    {"CrLfLineEnds", "[A]\r\nName=x\r\nNext=y\r\n", "A", "Name", "x"},
    {"CrOnlyLineEnds", "[A]\rOther=y\r[B]\rName=x\r", "B", "Name", "x"},
    {"ByteOrderMarkSkipped", "\xEF\xBB\xBF[A]\nName=x\n", "A", "Name", "x"},
    {"CommentLineIsNoKey", "[A]\n;Name=x\n#Name=y\n", "A", "Name", "<default>"},
    {"KeyBeforeAnySectionIgnored", "Name=x\n[A]\n", "A", "Name", "<default>"},
    {"EqualsInsideValue", "[A]\nName=a=b\n", "A", "Name", "a=b"},
    {"HeaderWithTrailingText", "[A] ; note\nName=x\n", "A", "Name", "x"},
    {"LastLineWithoutLineEnd", "[A]\nName=x", "A", "Name", "x"},
    {"HighBytesKept", "[A]\nName=\xC9\xCD\xBB\n", "A", "Name", "\xC9\xCD\xBB"},
    {"LineWithoutEqualsIsNoKey", "[A]\nName\n", "A", "Name", "<default>"},
};

class IniReadTest : public ::testing::TestWithParam<ReadRow> {};

TEST_P(IniReadTest, ReadString) {
  TIniFile ini;
  ini.Parse(GetParam().Text);
  EXPECT_EQ(ini.ReadString(GetParam().Section, GetParam().Key, "<default>"), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, IniReadTest, ::testing::ValuesIn(kReadRows),
                         [](const auto& info) { return std::string(info.param.Name); });

struct TypedRow {
  const char* Name;
  const char* Value;  // null: key absent
  int32_t Integer;    // ReadInteger with default -99
  bool Boolean;       // ReadBool with default true
};

const TypedRow kTypedRows[] = {
    {"Decimal", "42", 42, false},
    {"Negative", "-7", -7, false},
    {"PlusSign", "+5", 5, false},
    {"TwoSigns", "+-5", -99, false},
    {"One", "1", 1, true},
    {"OneWithTail", "1abc", -99, true},
    {"Zero", "0", 0, false},
    {"WordTrue", "true", -99, false},
    {"Empty", "", -99, true},
    {"Absent", nullptr, -99, true},
    {"BeyondThirtyTwoBits", "2147483648", -99, false},
    {"LowestThirtyTwoBit", "-2147483648", INT32_MIN, false},
    {"HexIsNoDecimal", "0x10", -99, false},
};

class IniTypedReadTest : public ::testing::TestWithParam<TypedRow> {};

TEST_P(IniTypedReadTest, IntegerAndBoolean) {
  TIniFile ini;
  ini.Parse(GetParam().Value ? std::string("[A]\nK=") + GetParam().Value + "\n" : "[A]\n");
  EXPECT_EQ(ini.ReadInteger("A", "K", -99), GetParam().Integer);
  EXPECT_EQ(ini.ReadBool("A", "K", true), GetParam().Boolean);
}

INSTANTIATE_TEST_SUITE_P(Rows, IniTypedReadTest, ::testing::ValuesIn(kTypedRows),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(IniFloatTest, PointOrCommaAndNothingElse) {
  const std::pair<const char*, double> rows[] = {
      {"1.5", 1.5}, {"1,5", 1.5}, {"-0.25", -0.25}, {"3", 3.0},   {"1e0", 1.0},
      {"abc", -9},  {"", -9},     {"inf", -9},      {"nan", -9}, {"1.5x", -9}, {"0x1p3", -9}, {"+-1.5", -9},
  };
  for (const auto& [text, expected] : rows) {
    TIniFile ini;
    ini.Parse(std::string("[A]\nK=") + text + "\n");
    EXPECT_EQ(ini.ReadFloat("A", "K", -9), expected) << text;
  }
  EXPECT_EQ(FormatDecimal(2.5), "2.5");
  EXPECT_EQ(FormatDecimal(3.0), "3");
  EXPECT_EQ(FormatDecimal(0.1), "0.1");
}

struct WriteRow {
  const char* Name;
  const char* Before;
  std::function<void(TIniFile&)> Writes;
  const char* After;
};

const WriteRow kWriteRows[] = {
    {"FreshDocument", "",
     [](TIniFile& ini) {
       ini.WriteString("Config", "A", "x");
       ini.WriteBool("Config", "B", true);
       ini.WriteBool("Config", "C", false);
       ini.WriteInteger("Other", "D", -3);
       ini.WriteFloat("Config", "E", 2.5);
     },
     "[Config]\nA=x\nB=1\nC=0\nE=2.5\n\n[Other]\nD=-3\n"},
    {"UnknownKeysCommentsAndOrderKept",
     "; written by hand\n[config]\nfoo=bar\n; a note\nA=old\n\n\n[Unknown]\nx = 1\n",
     [](TIniFile& ini) {
       ini.WriteString("Config", "a", "new");
       ini.WriteString("Config", "Added", "v");
       ini.WriteString("NewSection", "K", "1");
     },
     "; written by hand\n[config]\nfoo=bar\n; a note\nA=new\nAdded=v\n\n[Unknown]\nx=1\n\n[NewSection]\nK=1\n"},
    {"LineBreaksInValuesBecomeBlanks", "",
     [](TIniFile& ini) { ini.WriteString("A", "Notes", "one\r\ntwo\nthree\rfour"); },
     "[A]\nNotes=one  two three four\n"},
    {"OnlyFirstOfDuplicateKeysChanges", "[A]\nK=1\nk=2\n", [](TIniFile& ini) { ini.WriteString("A", "K", "9"); },
     "[A]\nK=9\nk=2\n"},
    {"CrLfFileWrittenWithLf", "[A]\r\nK=1\r\n", [](TIniFile&) {}, "[A]\nK=1\n"},
};

class IniWriteTest : public ::testing::TestWithParam<WriteRow> {};

TEST_P(IniWriteTest, TextAfterWrites) {
  TIniFile ini;
  ini.Parse(GetParam().Before);
  GetParam().Writes(ini);
  EXPECT_EQ(ini.Text(), GetParam().After);
}

INSTANTIATE_TEST_SUITE_P(Rows, IniWriteTest, ::testing::ValuesIn(kWriteRows),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(IniFileTest, WrittenTextReadsBackTheSameValues) {
  TIniFile ini;
  ini.WriteString("A", "Notes", "line one\r\nline two");
  ini.WriteString("A", "Empty", "");
  ini.WriteString("B", "Brackets", "[not a section]");
  TIniFile again;
  again.Parse(ini.Text());
  EXPECT_EQ(again.ReadString("A", "Notes", "?"), "line one  line two");
  EXPECT_EQ(again.ReadString("A", "Empty", "?"), "");
  EXPECT_EQ(again.ReadString("B", "Brackets", "?"), "[not a section]");
  EXPECT_EQ(again.Text(), ini.Text());
}

// Inputs the fuzzer found: writing what was read and reading it again must
// give the same document.
TEST(IniFileTest, WritingIsStableForOddInput) {
  const std::pair<const char*, std::string> rows[] = {
      {"CrInsideSectionName", std::string("[\r\0\0x]Tail=1\n[A]\nK=1\n", 21)},
      {"CrBeforeTrailingBlank", "[A]\nx = y\r \n"},
      {"CrCrLf", "[A]\r\r\n; note\r\r\nK=v\r\r\n"},
      {"TwoByteOrderMarks", "\xEF\xBB\xBF\xEF\xBB\xBF[A]\n"},
      {"Utf8MarkBeforeAUtf16Mark", "\xEF\xBB\xBF\xFE\xFF[Config]\nK=1\n"},
      {"HeaderWithTextAfterIt", "[Ent]ry0]\nName=b]\n]\n;c\n =0x\n"},
  };
  for (const auto& [name, text] : rows) {
    TIniFile first;
    first.Parse(text);
    TIniFile second;
    second.Parse(first.Text());
    EXPECT_EQ(second.Text(), first.Text()) << name;
  }
  TIniFile ini;
  ini.Parse("[A]\nK=v\r\r\n");
  EXPECT_EQ(ini.ReadString("A", "K", ""), "v");
}

// --- independent readers and writers ---

// Every section, key and value as Python's configparser reads the file: one
// line "section<TAB>key<TAB>hex of the value's bytes" each.
const char* kConfigParserDump = R"(
import configparser, sys
p = configparser.RawConfigParser(interpolation=None, strict=False)
p.optionxform = str
p.read(sys.argv[1], encoding='latin-1')
for s in p.sections():
    for k, v in p.items(s):
        print(s + '\t' + k + '\t' + v.encode('latin-1').hex())
)";

std::map<std::string, std::string> ReadWithConfigParser(const std::string& path) {
  PeerResult run = RunPeer({"python3", "-c", kConfigParserDump, path});
  EXPECT_EQ(run.ExitCode, 0) << "python3 is needed for this test: " << run.Output;
  const std::string& out = run.Output;
  std::map<std::string, std::string> values;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t a = line.find('\t'), b = line.rfind('\t');
    std::string hex = line.substr(b + 1), bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    values[line.substr(0, a) + "/" + line.substr(a + 1, b - a - 1)] = bytes;
  }
  return values;
}

TEST(IniInteropTest, ConfigParserReadsWhatWeWrite) {
  TempDir dir;
  TIniFile ini;
  const std::map<std::string, std::string> written = {
      {"Config/GuideArchiveName", "ibbs%MMYY%.zip"},
      {"Config/Semicolon", "; not a comment"},
      {"Config/Hash", "#1 board"},
      {"Config/Colon", "host:23"},
      {"Config/Equals", "a=b"},
      {"Config/Empty", ""},
      {"Config/Cp437", "\xB0\xB1\xB2 \xDB"},
      {"Entry0/Name", "[bracketed]"},
      {"Entry0/Notes", "two lines"},
  };
  for (const auto& [name, value] : written) {
    size_t slash = name.find('/');
    ini.WriteString(name.substr(0, slash), name.substr(slash + 1), value);
  }
  std::string error;
  ASSERT_TRUE(ini.SaveToFile(dir.File("out.ini"), error)) << error;
  EXPECT_EQ(ReadWithConfigParser(dir.File("out.ini")), written);
}

TEST(IniInteropTest, WeReadWhatConfigParserWrites) {
  TempDir dir;
  const char* script = R"(
import configparser, sys
p = configparser.RawConfigParser(interpolation=None)
p['config'] = {'screenscale': '1,5', 'name': 'Board  with  blanks'}
p['Other'] = {'flag': '1'}
with open(sys.argv[1], 'w') as f:
    p.write(f)
)";
  PeerResult run = RunPeer({"python3", "-c", script, dir.File("py.ini")});
  ASSERT_EQ(run.ExitCode, 0) << "python3 is needed for this test: " << run.Output;
  TIniFile ini;
  std::string error;
  ASSERT_EQ(ini.LoadFromFile(dir.File("py.ini"), error), TReadResult::Ok) << error;
  EXPECT_EQ(ini.ReadFloat("Config", "ScreenScale", 0), 1.5);
  EXPECT_EQ(ini.ReadString("CONFIG", "Name", ""), "Board  with  blanks");
  EXPECT_TRUE(ini.ReadBool("other", "Flag", false));
}

TEST(IniInteropTest, WeReadWhatCrudiniEdits) {
  TempDir dir;
  std::string path = dir.File("edit.ini");
  WriteWholeFile(path, "[Config]\nKeep=1\nValue=old\n");
  PeerResult run = RunPeer({"crudini", "--set", path, "Config", "Value", "new value"});
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  run = RunPeer({"crudini", "--set", path, "Added", "Key", "x"});
  ASSERT_EQ(run.ExitCode, 0) << run.Output;
  TIniFile ini;
  std::string error;
  ASSERT_EQ(ini.LoadFromFile(path, error), TReadResult::Ok);
  EXPECT_EQ(ini.ReadString("Config", "Value", ""), "new value");
  EXPECT_EQ(ini.ReadString("Config", "Keep", ""), "1");
  EXPECT_EQ(ini.ReadString("Added", "Key", ""), "x");
  EXPECT_EQ(ReadWholeFile(path).find("\r"), std::string::npos);
}

}  // namespace
