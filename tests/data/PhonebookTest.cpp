// The phonebook: file text in, entries out (with the reading rules), entries
// in, file text out; RLogin boards keep their kind; a file we could not read
// is never written over; a file we could only partly read is read as far as
// it goes and kept as it was; and Python's configparser reads what we write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "data/uIniFile.h"
#include "data/uPhonebook.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

class PhonebookTest : public ::testing::Test {
 protected:
  TPhonebook LoadedFrom(const std::string& text) {
    WriteWholeFile(Path, text);
    TPhonebook book(Path);
    EXPECT_TRUE(book.LoadFromFile()) << book.LastError();
    return book;
  }
  TempDir Dir;
  std::string Path = Dir.File("korvan.ini");
};

struct LoadRow {
  const char* Name;
  const char* Text;
  int Count;
  std::function<void(const TPhonebook&)> Check;
};

const LoadRow kLoadRows[] = {
    {"EmptyFile", "", 0, [](const TPhonebook&) {}},
    {"DigitsAfterEntryDoNotMatter", "[Entry5]\nName=Five\n[Entry1]\nName=One\n", 2,
     [](const TPhonebook& b) {
       EXPECT_EQ(b.GetEntry(0)->Name, "Five");
       EXPECT_EQ(b.GetEntry(1)->Name, "One");
     }},
    {"OtherSectionsAndLowerCaseEntryIgnored", "[Other]\nName=x\n[entry1]\nName=y\n[Entry]\nName=z\n", 1,
     [](const TPhonebook& b) { EXPECT_EQ(b.GetEntry(0)->Name, "z"); }},
    {"MissingKeysTakeLoadDefaults", "[Entry0]\n", 1,
     [](const TPhonebook& b) {
       const auto& e = *b.GetEntry(0);
       EXPECT_EQ(e.Name, "Unnamed");
       EXPECT_EQ(e.Port, 23);
       EXPECT_EQ(e.TermType, "ANSI-BBS");
       EXPECT_EQ(e.Cols, 80);
       EXPECT_EQ(e.Rows, 25);
       EXPECT_EQ(e.FontName, "IBM_VGA_8x16");
       EXPECT_TRUE(e.UseSixel);
       EXPECT_FALSE(e.UseRLogin);
       EXPECT_EQ(e.LastConnected, 0);
       EXPECT_TRUE(e.Script.empty());
     }},
    {"NumbersBeyondTheFieldReadAsDefaults", "[Entry0]\nPort=70000\nCols=-5\nRows=65536\n[Entry1]\nPort=65535\nCols=0\n", 2,
     [](const TPhonebook& b) {
       EXPECT_EQ(b.GetEntry(0)->Port, 23);
       EXPECT_EQ(b.GetEntry(0)->Cols, 80);
       EXPECT_EQ(b.GetEntry(0)->Rows, 25);
       EXPECT_EQ(b.GetEntry(1)->Port, 65535);
       EXPECT_EQ(b.GetEntry(1)->Cols, 0);
     }},
    {"NotANumberGivesTheDefault", "[Entry0]\nPort=telnet\nTimesConnected=many\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(b.GetEntry(0)->Port, 23);
       EXPECT_EQ(b.GetEntry(0)->TimesConnected, 0);
     }},
    {"BooleansReadTheFirstCharacter", "[Entry0]\nUseRIP=true\nUseUTF8=1abc\nUseSixel=\nUseIEMSI=1\nIceColors=0\n", 1,
     [](const TPhonebook& b) {
       const auto& e = *b.GetEntry(0);
       EXPECT_FALSE(e.UseRIP);
       EXPECT_TRUE(e.UseUTF8);
       EXPECT_TRUE(e.UseSixel);  // empty: the default
       EXPECT_TRUE(e.UseIEMSI);
       EXPECT_FALSE(e.IceColors);
     }},
    {"ScriptLinesBeyondThePresentKeysAreEmpty", "[Entry0]\nScriptLines=3\nScript0=WAITFOR login:\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(b.GetEntry(0)->Script, (std::vector<std::string>{"WAITFOR login:", "", ""}));
     }},
    {"HugeScriptLineCountIsBounded", "[Entry0]\nScriptLines=2000000000\n", 1,
     [](const TPhonebook& b) { EXPECT_EQ(b.GetEntry(0)->Script.size(), 10000u); }},
    {"KeysIgnoreCase", "[Entry0]\nNAME=Loud\nhost=bbs.example\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(b.GetEntry(0)->Name, "Loud");
       EXPECT_EQ(b.GetEntry(0)->Host, "bbs.example");
     }},
    {"LastConnectedInOtherForms", "[Entry0]\nLastConnected=01.05.2024 13:45:30\n[Entry1]\nLastConnected=garbage\n"
     "[Entry2]\nLastConnected=1899-12-30\n[Entry3]\nLastConnected=2024-05-01 13:45:30,5\n", 4,
     [](const TPhonebook& b) {
       EXPECT_EQ(FormatIsoDateTime(b.GetEntry(0)->LastConnected), "2024-05-01 13:45:30");
       EXPECT_EQ(b.GetEntry(1)->LastConnected, 0);
       EXPECT_EQ(b.GetEntry(2)->LastConnected, 0);
       EXPECT_EQ(DecodeDateTime(b.GetEntry(3)->LastConnected).Millisecond, 500);
     }},
    {"StoredKeyFilesUseSlashes",
     "[Entry0]\nSSHKeyFile=keys\\id_ed25519\nTlsClientCertFile=\\certs\\me.pem\nTlsClientKeyFile=certs\\me.key\n"
     "ShellCommand=dosbox -c \"mount c c:\\doors\"\n", 1,
     [](const TPhonebook& b) {
       const auto& e = *b.GetEntry(0);
       EXPECT_EQ(e.SSHKeyFile, "keys/id_ed25519");
       EXPECT_EQ(e.TlsClientCertFile, "/certs/me.pem");
       EXPECT_EQ(e.TlsClientKeyFile, "certs/me.key");
       EXPECT_EQ(e.ShellCommand, "dosbox -c \"mount c c:\\doors\"");  // a command line, not a path
     }},
    {"FileWithoutRLoginKeysLoadsAsBefore", "[Entry0]\nName=Old\nUseSSH=1\n", 1,
     [](const TPhonebook& b) {
       EXPECT_FALSE(b.GetEntry(0)->UseRLogin);
       EXPECT_TRUE(b.GetEntry(0)->RLoginClientUser.empty());
       EXPECT_TRUE(b.GetEntry(0)->UseSSH);
     }},
};

class PhonebookLoadTest : public PhonebookTest, public ::testing::WithParamInterface<LoadRow> {};

TEST_P(PhonebookLoadTest, Rows) {
  TPhonebook book = LoadedFrom(GetParam().Text);
  ASSERT_EQ(book.Count(), GetParam().Count);
  GetParam().Check(book);
}

INSTANTIATE_TEST_SUITE_P(Rows, PhonebookLoadTest, ::testing::ValuesIn(kLoadRows),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PhonebookTest, MissingFileLoadsEmpty) {
  TPhonebook book(Path);
  book.Add();
  EXPECT_TRUE(book.LoadFromFile());
  EXPECT_EQ(book.Count(), 0);
  EXPECT_FALSE(book.LoadFailed());
}

TEST_F(PhonebookTest, EntryWrittenAsTheFileHoldsIt) {
  TPhonebook book(Path);
  auto e = book.Add();
  e->Name = "My BBS";
  e->Host = "bbs.example";
  e->Port = 2323;
  e->Notes = "first line\r\nsecond line";
  e->Script = {"WAITFOR name:", "SEND sysop^M"};
  TDateTime when;
  ASSERT_TRUE(TryParseDateTime("2024-05-01 13:45:30", when));
  e->LastConnected = when;
  e->TimesConnected = 7;
  book.Add()->UserEdited = true;
  ASSERT_TRUE(book.SaveToFile()) << book.LastError();
  const std::string expected =
      "[Entry0]\nName=My BBS\nHost=bbs.example\nPort=2323\nTermType=ANSI-BBS\nCols=80\nRows=25\n"
      "FontName=IBM_VGA_8x16\nUseRIP=0\nUseSixel=1\nUseITerm2Images=0\nIceColors=0\nUseUTF8=0\nUseIEMSI=0\n"
      "SimBaudRate=0\nUseRLogin=0\nRLoginClientUser=\nRLoginServerUser=\nUsername=\nPassword=\nUseSSH=0\n"
      "SSHKeyFile=\nSSHTrustNewKey=0\nUseTelnetS=0\nTlsClientCertFile=\nTlsClientKeyFile=\nTlsTrustNewCert=0\n"
      "UseRaw=0\nUseShell=0\nShellCommand=\nKVScript=\nNotes=first line  second line\n"
      "LastConnected=2024-05-01 13:45:30\nTimesConnected=7\nScriptLines=2\nScript0=WAITFOR name:\n"
      "Script1=SEND sysop^M\n"
      "\n[Entry1]\nName=New Entry\nHost=\nPort=23\nTermType=ANSI-BBS\nCols=80\nRows=25\n"
      "FontName=IBM_VGA_8x16\nUseRIP=0\nUseSixel=1\nUseITerm2Images=0\nIceColors=0\nUseUTF8=0\nUseIEMSI=0\n"
      "SimBaudRate=0\nUseRLogin=0\nRLoginClientUser=\nRLoginServerUser=\nUsername=\nPassword=\nUseSSH=0\n"
      "SSHKeyFile=\nSSHTrustNewKey=0\nUseTelnetS=0\nTlsClientCertFile=\nTlsClientKeyFile=\nTlsTrustNewCert=0\n"
      "UseRaw=0\nUseShell=0\nShellCommand=\nKVScript=\nNotes=\nLastConnected=1899-12-30 00:00:00\n"
      "TimesConnected=0\nUserEdited=1\nScriptLines=0\n";
  EXPECT_EQ(ReadWholeFile(Path), expected);
}

TEST_F(PhonebookTest, EmptyPhonebookSavesNoSections) {
  TPhonebook book(Path);
  ASSERT_TRUE(book.SaveToFile());
  EXPECT_EQ(ReadWholeFile(Path), "");
  ASSERT_TRUE(book.LoadFromFile());
  EXPECT_EQ(book.Count(), 0);
}

TEST_F(PhonebookTest, SaveRenumbersSectionsAndDropsForeignOnes) {
  TPhonebook book = LoadedFrom("[Other]\nX=1\n[Entry5]\nName=Only\n[entry1]\nName=lower\n");
  ASSERT_TRUE(book.SaveToFile());
  TIniFile ini;
  ini.Parse(ReadWholeFile(Path));
  EXPECT_EQ(ini.SectionNames(), std::vector<std::string>{"Entry0"});
  EXPECT_EQ(ini.ReadString("Entry0", "Name", ""), "Only");
}

TEST_F(PhonebookTest, EveryFieldSurvivesSaveAndLoad) {
  TPhonebook book(Path);
  auto e = book.Add();
  e->Name = "RLogin board";
  e->Host = "rlogin.example";
  e->Port = 513;
  e->TermType = "VT100";
  e->Cols = 132;
  e->Rows = 50;
  e->FontName = "Topaz";
  e->UseRIP = e->UseITerm2Images = e->IceColors = e->UseUTF8 = e->UseIEMSI = true;
  e->UseSixel = false;
  e->SimBaudRate = 9600;
  e->UseRLogin = true;
  e->RLoginClientUser = "me";
  e->RLoginServerUser = "sysop";
  e->Username = "user";
  e->Password = "pa=ss;#word";
  e->SSHKeyFile = "keys/id";
  e->TlsClientCertFile = "c.pem";
  e->TlsClientKeyFile = "k.pem";
  e->TlsTrustNewCert = e->SSHTrustNewKey = true;
  e->ShellCommand = "bash -l";
  e->Script = {"WAITFOR login:", "", "SEND me^M"};
  e->KVScript = "login.kvs";
  e->Notes = "imported";
  ASSERT_TRUE(TryParseDateTime("2024-12-24 18:00:05", e->LastConnected));
  e->TimesConnected = 12;
  e->UserEdited = true;
  ASSERT_TRUE(book.SaveToFile());

  TPhonebook back(Path);
  ASSERT_TRUE(back.LoadFromFile());
  ASSERT_EQ(back.Count(), 1);
  const auto& b = *back.GetEntry(0);
  EXPECT_TRUE(b.SameAs(*e));
  EXPECT_TRUE(b.UseRLogin);
  EXPECT_EQ(b.RLoginClientUser, "me");
  EXPECT_EQ(b.RLoginServerUser, "sysop");
  EXPECT_EQ(b.Password, "pa=ss;#word");
  EXPECT_TRUE(b.TlsTrustNewCert);
  EXPECT_TRUE(b.SSHTrustNewKey);
  EXPECT_EQ(b.LastConnected, e->LastConnected);
  EXPECT_EQ(b.TimesConnected, 12);
  EXPECT_TRUE(b.UserEdited);
}

// A board list saved, loaded and saved again is the same file: nothing
// grows or changes from one save to the next.
TEST_F(PhonebookTest, AnUnchangedPhonebookSavesToTheSameBytes) {
  TPhonebook book(Path);
  for (int i = 0; i < 3; ++i) {
    auto e = book.Add();
    e->Name = "Board " + std::to_string(i);
    e->Host = "bbs.example";
    e->Port = uint16_t(2323 + i);
    e->Password = "pw";
    e->Notes = "two\r\nlines";
    e->SSHKeyFile = "keys/id";
    e->Script = {"WAITFOR login:", ""};
    e->LastConnected = 45000.123456789;  // a fraction of a second beyond what is written
    e->UseRLogin = i == 1;
    e->UserEdited = i == 2;
  }
  ASSERT_TRUE(book.SaveToFile());
  const std::string first = ReadWholeFile(Path);
  TPhonebook back(Path);
  ASSERT_TRUE(back.LoadFromFile());
  EXPECT_FALSE(back.LoadRepaired());
  ASSERT_TRUE(back.SaveToFile());
  EXPECT_EQ(ReadWholeFile(Path), first);
}

// Python's configparser reads every entry key back with the same value.
TEST_F(PhonebookTest, ConfigParserReadsWhatWeWrite) {
  TPhonebook book(Path);
  auto e = book.Add();
  e->Name = "100% [Real] BBS";
  e->Password = "; not a comment";
  e->Notes = "a:b=c";
  e->Script = {"SEND ^[[A"};
  e->UseRLogin = true;
  ASSERT_TRUE(book.SaveToFile());
  const char* script = R"(
import configparser, sys
p = configparser.RawConfigParser(interpolation=None)
p.optionxform = str
p.read(sys.argv[1], encoding='latin-1')
e = p['Entry0']
print('|'.join([e['Name'], e['Password'], e['Notes'], e['Script0'], e['UseRLogin'], e['ScriptLines'], e['Port']]))
)";
  PeerResult run = RunPeer({"python3", "-c", script, Path});
  ASSERT_EQ(run.ExitCode, 0) << "python3 is needed for this test: " << run.Output;
  EXPECT_EQ(run.Output, "100% [Real] BBS|; not a comment|a:b=c|SEND ^[[A|1|1|23\n");
}

TEST_F(PhonebookTest, UnreadableFileIsNeverSavedOver) {
  ASSERT_EQ(mkdir(Path.c_str(), 0755), 0);
  WriteWholeFile(Path + "/inside", "x");
  TPhonebook book(Path);
  EXPECT_FALSE(book.LoadFromFile());
  EXPECT_TRUE(book.LoadFailed());
  EXPECT_EQ(book.Count(), 0);
  book.Add()->Name = "typed after the failure";
  EXPECT_FALSE(book.SaveToFile());
  EXPECT_NE(book.LastError().find("not written over"), std::string::npos) << book.LastError();
  struct stat st {};
  EXPECT_NE(stat((Path + ".tmp").c_str(), &st), 0);
  EXPECT_EQ(ReadWholeFile(Path + "/inside"), "x");
}

TEST_F(PhonebookTest, FailedSaveKeepsTheOldFile) {
  const std::string old = "[Entry0]\nName=Keep me\n";
  TPhonebook book = LoadedFrom(old);
  ASSERT_EQ(mkdir((Path + ".tmp").c_str(), 0755), 0);
  book.Add();
  EXPECT_FALSE(book.SaveToFile());
  EXPECT_NE(book.LastError().find("korvan.ini.tmp"), std::string::npos) << book.LastError();
  EXPECT_EQ(ReadWholeFile(Path), old);
}

// --- list operations ---

std::vector<std::string> Names(const TPhonebook& book) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < book.Count(); ++i) names.push_back(book.GetEntry(i)->Name);
  return names;
}

TPhonebook ListOf(std::initializer_list<const char*> names) {
  TPhonebook book("unused.ini");
  for (const char* name : names) book.Add()->Name = name;
  return book;
}

TEST(PhonebookListTest, IndexBoundsAreHarmless) {
  TPhonebook book = ListOf({"a", "b", "c"});
  EXPECT_EQ(book.GetEntry(-1), nullptr);
  EXPECT_EQ(book.GetEntry(3), nullptr);
  book.Delete(3);
  book.Delete(-1);
  book.MoveUp(0);
  book.MoveDown(2);
  book.MoveUp(3);
  EXPECT_EQ(Names(book), (std::vector<std::string>{"a", "b", "c"}));
  book.MoveUp(2);
  EXPECT_EQ(Names(book), (std::vector<std::string>{"a", "c", "b"}));
  book.MoveDown(0);
  EXPECT_EQ(Names(book), (std::vector<std::string>{"c", "a", "b"}));
  book.Delete(1);
  EXPECT_EQ(Names(book), (std::vector<std::string>{"c", "b"}));
}

TEST(PhonebookListTest, SortFindAndIndexIgnoreCase) {
  TPhonebook book = ListOf({"zeta", "My BBS", "alpha", "Beta", "ALPHA"});
  book.Sort();
  EXPECT_EQ(Names(book), (std::vector<std::string>{"alpha", "ALPHA", "Beta", "My BBS", "zeta"}));
  auto found = book.FindByName("my bbs");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Name, "My BBS");
  EXPECT_EQ(book.IndexOf(found.get()), 3);
  EXPECT_EQ(book.FindByName("nobody"), nullptr);
  TPhonebookEntry stranger;
  EXPECT_EQ(book.IndexOf(&stranger), -1);
}

// A call keeps its entry alive when the user deletes it from the list.
TEST(PhonebookListTest, DeletedEntryLivesOnForWhoeverHoldsIt) {
  TPhonebook book = ListOf({"live call"});
  TPhonebookEntryPtr held = book.GetEntry(0);
  book.Delete(0);
  book.Clear();
  held->TimesConnected += 1;
  EXPECT_EQ(held->Name, "live call");
}

TEST(PhonebookEntryTest, CloneIsIndependent) {
  TPhonebookEntry e;
  e.Script = {"one"};
  e.UseRLogin = true;
  e.RLoginServerUser = "srv";
  e.TimesConnected = 4;
  auto copy = e.Clone();
  copy->Script.push_back("two");
  EXPECT_EQ(e.Script.size(), 1u);
  EXPECT_TRUE(copy->UseRLogin);
  EXPECT_EQ(copy->RLoginServerUser, "srv");
  EXPECT_EQ(copy->TimesConnected, 4);
}

TEST(PhonebookEntryTest, SameAs) {
  const std::pair<const char*, std::function<void(TPhonebookEntry&)>> rows[] = {
      {"HostCase", [](TPhonebookEntry& e) { e.Host = "BBS.EXAMPLE"; }},
      {"TermTypeCase", [](TPhonebookEntry& e) { e.TermType = "ansi-bbs"; }},
      {"FontNameCase", [](TPhonebookEntry& e) { e.FontName = "ibm_vga_8x16"; }},
      {"TrustFlags", [](TPhonebookEntry& e) { e.TlsTrustNewCert = e.SSHTrustNewKey = true; }},
      {"Statistics", [](TPhonebookEntry& e) { e.LastConnected = 45000; e.TimesConnected = 9; }},
      {"UserEdited", [](TPhonebookEntry& e) { e.UserEdited = true; }},
  };
  const std::pair<const char*, std::function<void(TPhonebookEntry&)>> different[] = {
      {"NameCase", [](TPhonebookEntry& e) { e.Name = "my bbs"; }},
      {"PasswordCase", [](TPhonebookEntry& e) { e.Password = "SECRET"; }},
      {"Port", [](TPhonebookEntry& e) { e.Port = 24; }},
      {"RLogin", [](TPhonebookEntry& e) { e.UseRLogin = true; }},
      {"ScriptLine", [](TPhonebookEntry& e) { e.Script.push_back(""); }},
      {"Baud", [](TPhonebookEntry& e) { e.SimBaudRate = 2400; }},
  };
  TPhonebookEntry base;
  base.Name = "My BBS";
  base.Host = "bbs.example";
  base.Password = "secret";
  for (const auto& [name, change] : rows) {
    auto other = base.Clone();
    change(*other);
    EXPECT_TRUE(base.SameAs(*other)) << name;
  }
  for (const auto& [name, change] : different) {
    auto other = base.Clone();
    change(*other);
    EXPECT_FALSE(base.SameAs(*other)) << name;
  }
}

// --- files the load does not wholly understand ---

namespace damaged {

// What a user would hate to lose: passwords, a login script, a name with a
// character beyond ASCII (CP437 e acute).
const std::string kTwoBoards =
    "[Entry0]\nName=Caf\x82 BBS\nHost=cafe.example\nPassword=s3cret\nScriptLines=1\nScript0=SEND me^M\n\n"
    "[Entry1]\nName=Second\nHost=second.example\nPassword=hunter2\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The text as iconv encodes it (an encoder nobody here wrote).
std::string Iconv(const std::string& text, const char* to) {
  TempDir dir;
  WriteWholeFile(dir.File("in"), text);
  PeerResult run = RunPeer({"iconv", "-f", "CP437", "-t", to, "-o", dir.File("out"), dir.File("in")});
  EXPECT_EQ(run.ExitCode, 0) << "iconv is needed for this test: " << run.Output;
  return ReadWholeFile(dir.File("out"));
}

// Bytes no text editor writes, and no "[", "]" or "=" among them.
std::string Garbage(size_t size, uint32_t seed) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    char c = char(seed >> 24);
    out += c == '[' || c == ']' || c == '=' ? '\0' : c;
  }
  return out;
}

void ExpectBothBoards(const TPhonebook& b) {
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b.GetEntry(0)->Name, "Caf\x82 BBS");
  EXPECT_EQ(b.GetEntry(0)->Password, "s3cret");
  EXPECT_EQ(b.GetEntry(0)->Script, std::vector<std::string>{"SEND me^M"});
  EXPECT_EQ(b.GetEntry(1)->Host, "second.example");
  EXPECT_EQ(b.GetEntry(1)->Password, "hunter2");
}

struct Row {
  const char* Name;
  std::function<std::string()> Bytes;  // the file as it lies on disk
  std::function<void(const TPhonebook&)> Check;
};

const Row kRows[] = {
    {"Utf16LittleEndianWithByteOrderMark", [] { return Iconv(Replaced(kTwoBoards, "\n", "\r\n"), "UTF-16"); },
     ExpectBothBoards},
    {"Utf16BigEndianWithByteOrderMark", [] { return "\xFE\xFF" + Iconv(kTwoBoards, "UTF-16BE"); }, ExpectBothBoards},
    {"CrOnlyLineEnds", [] { return Replaced(kTwoBoards, "\n", "\r"); }, ExpectBothBoards},
    {"HeaderWithoutClosingBracket", [] { return Replaced(kTwoBoards, "[Entry1]", "[Entry1"); }, ExpectBothBoards},
    {"HeaderWithoutOpeningBracket", [] { return Replaced(kTwoBoards, "[Entry1]", "Entry1]"); }, ExpectBothBoards},
    {"HeaderBeyondReading", [] { return Replaced(kTwoBoards, "[Entry1]", "{Entry1}"); },
     [](const TPhonebook& b) {
       // The second board's keys would be the first's given twice: not read,
       // but kept in the copy.
       ASSERT_EQ(b.Count(), 1);
       EXPECT_EQ(b.GetEntry(0)->Password, "s3cret");
     }},
    {"BinaryGarbageBetweenEntries",
     [] { return Replaced(kTwoBoards, "\n\n[Entry1]", "\n" + Garbage(300, 7) + "\n[Entry1]"); }, ExpectBothBoards},
    {"BinaryFile", [] { return "\x89PNG\r\n\x1A\n" + Garbage(4096, 11); },
     [](const TPhonebook& b) { EXPECT_EQ(b.Count(), 0); }},
    {"NumbersOutOfRange", [] { return "[Entry0]\nName=Wide\nCols=-5\nRows=100000\nPort=-1\n"; },
     [](const TPhonebook& b) {
       ASSERT_EQ(b.Count(), 1);
       EXPECT_EQ(b.GetEntry(0)->Cols, 80);
       EXPECT_EQ(b.GetEntry(0)->Rows, 25);
       EXPECT_EQ(b.GetEntry(0)->Port, 23);
     }},
    {"ValuesOfTheWrongForm", [] { return "[Entry0]\nUseRIP=true\nLastConnected=yesterday\nTimesConnected=many\n"; },
     [](const TPhonebook& b) {
       ASSERT_EQ(b.Count(), 1);
       EXPECT_FALSE(b.GetEntry(0)->UseRIP);
       EXPECT_EQ(b.GetEntry(0)->LastConnected, 0);
     }},
    {"UnknownKeysCommentsAndForeignSections",
     [] { return "; my boards\n[Entry0]\nName=A\nColour=blue\n# old host\n[Other]\nX=1\n[entry1]\nName=lower\n"; },
     [](const TPhonebook& b) {
       ASSERT_EQ(b.Count(), 1);
       EXPECT_EQ(b.GetEntry(0)->Name, "A");
     }},
    {"KeyGivenTwice", [] { return "[Entry0]\nName=A\nPassword=first\nPassword=second\n"; },
     [](const TPhonebook& b) { EXPECT_EQ(b.GetEntry(0)->Password, "first"); }},
};

class DamagedPhonebookTest : public PhonebookTest, public ::testing::WithParamInterface<Row> {};

// What is readable is read; the file as it was is copied beside it before
// anything saves over it, and stays so after the save; what the save writes
// is understood wholly.
TEST_P(DamagedPhonebookTest, ReadsWhatItCanAndKeepsTheOriginal) {
  const std::string original = GetParam().Bytes();
  ASSERT_FALSE(original.empty());
  WriteWholeFile(Path, original);
  TPhonebook book(Path);
  ASSERT_TRUE(book.LoadFromFile()) << book.LastError();
  EXPECT_TRUE(book.LoadRepaired());
  GetParam().Check(book);
  ASSERT_FALSE(book.OriginalCopy().empty()) << book.LastError();
  EXPECT_EQ(book.OriginalCopy(), Dir.File(PhonebookBackupName("korvan", "_original")));
  EXPECT_EQ(ReadWholeFile(book.OriginalCopy()), original);

  ASSERT_TRUE(book.SaveToFile()) << book.LastError();
  EXPECT_EQ(ReadWholeFile(book.OriginalCopy()), original);
  TPhonebook back(Path);
  ASSERT_TRUE(back.LoadFromFile());
  EXPECT_FALSE(back.LoadRepaired());
  GetParam().Check(back);
}

INSTANTIATE_TEST_SUITE_P(Rows, DamagedPhonebookTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace damaged

// Files other writers make in forms the load reads in full: no copy is made.
TEST_F(PhonebookTest, FilesReadInFullAreNotCopied) {
  const std::pair<const char*, std::string> rows[] = {
      {"CrLfLineEnds", "[Entry0]\r\nName=A\r\nPort=23\r\n\r\n[Entry1]\r\nName=B\r\n"},
      {"Utf8ByteOrderMark", "\xEF\xBB\xBF[Entry0]\nName=A\n"},
      {"RegionalDateAndBackslashPath", "[Entry0]\nLastConnected=31.01.2025 13:45:30\nSSHKeyFile=keys\\id\n"},
      {"SectionsOfTheSameName", "[Entry0]\nName=A\n[Entry0]\nName=B\n"},
      {"EmptyValuesAndBooleanWithTail", "[Entry0]\nPort=\nName=\nUseRIP=1abc\nUseSixel=0\n\n\n"},
      {"WrittenByThisProgram", damaged::kTwoBoards},
  };
  for (const auto& [name, text] : rows) {
    TPhonebook book = LoadedFrom(text);
    EXPECT_FALSE(book.LoadRepaired()) << name;
    EXPECT_TRUE(book.OriginalCopy().empty()) << name;
  }
  TPhonebook same = LoadedFrom("[Entry0]\nName=A\n[Entry0]\nName=B\n");
  EXPECT_EQ(Names(same), (std::vector<std::string>{"A", "B"}));
  for (const auto& item : std::filesystem::directory_iterator(Dir.Path()))
    EXPECT_EQ(item.path().filename().string().find("_original"), std::string::npos) << item.path();
}

// A start that did not save loads the same damaged file again: its copy of
// the day is reused. A different damaged file gets a copy of its own.
TEST_F(PhonebookTest, CopiesOfTheDayAreReusedOrNumbered) {
  const std::string first = "[Entry0]\nCols=-5\n", second = "[Entry0]\nRows=-5\n";
  std::string copies[3];
  const std::string* texts[3] = {&first, &first, &second};
  for (int i = 0; i < 3; ++i) {
    WriteWholeFile(Path, *texts[i]);
    TPhonebook book(Path, "phonebook");
    ASSERT_TRUE(book.LoadFromFile());
    copies[i] = book.OriginalCopy();
  }
  EXPECT_EQ(copies[0], Dir.File(PhonebookBackupName("phonebook", "_original")));
  EXPECT_EQ(copies[1], copies[0]);
  EXPECT_EQ(copies[2], Dir.File(PhonebookBackupName("phonebook", "_original_2")));
  EXPECT_EQ(ReadWholeFile(copies[0]), first);
  EXPECT_EQ(ReadWholeFile(copies[2]), second);
}

TEST_F(PhonebookTest, NoCopyNoSave) {
  const std::string original = "[Entry0]\nName=Keep me\nPassword=x\nCols=-5\n";
  WriteWholeFile(Path, original);
  const std::string copy = Dir.File(PhonebookBackupName("korvan", "_original"));
  ASSERT_EQ(mkdir((copy + ".tmp").c_str(), 0755), 0);  // the copy cannot be written
  TPhonebook book(Path);
  ASSERT_TRUE(book.LoadFromFile());
  if (Dir.File(PhonebookBackupName("korvan", "_original")) != copy) GTEST_SKIP() << "the date changed meanwhile";
  EXPECT_TRUE(book.LoadRepaired());
  EXPECT_TRUE(book.OriginalCopy().empty());
  EXPECT_EQ(book.GetEntry(0)->Name, "Keep me");
  EXPECT_FALSE(book.SaveToFile());
  EXPECT_NE(book.LastError().find("not written over"), std::string::npos) << book.LastError();
  EXPECT_EQ(ReadWholeFile(Path), original);
}

// Python reads the UTF-16 original with its own decoder and our rewrite as
// CP437: every key of every board has the same value in both.
TEST_F(PhonebookTest, ConfigParserFindsTheUtf16OriginalInTheRewrite) {
  WriteWholeFile(Path, damaged::Iconv(damaged::Replaced(damaged::kTwoBoards, "\n", "\r\n"), "UTF-16"));
  TPhonebook book(Path);
  ASSERT_TRUE(book.LoadFromFile());
  ASSERT_TRUE(book.SaveToFile());
  const char* script = R"(
import configparser, sys
def read(path, encoding):
    p = configparser.RawConfigParser(interpolation=None)
    p.optionxform = str
    p.read(path, encoding=encoding)
    return p
original, ours = read(sys.argv[1], 'utf-16'), read(sys.argv[2], 'cp437')
for s in original.sections():
    for k, v in original.items(s):
        if ours[s][k] != v:
            print('differs', s, k)
print(len(original.sections()), len(ours.sections()))
)";
  PeerResult run = RunPeer({"python3", "-c", script, book.OriginalCopy(), Path});
  ASSERT_EQ(run.ExitCode, 0) << "python3 is needed for this test: " << run.Output;
  EXPECT_EQ(run.Output, "2 2\n");
}

}  // namespace
