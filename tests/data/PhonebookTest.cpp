// The phonebook: file text in, entries out (with the reading rules), entries
// in, file text out; RLogin boards keep their kind; a file we could not read
// is never written over; and Python's configparser reads what we write.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    {"SixteenBitFieldsKeepTheLowBits", "[Entry0]\nPort=70000\nCols=65616\nRows=-1\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(b.GetEntry(0)->Port, 4464);
       EXPECT_EQ(b.GetEntry(0)->Cols, 80);
       EXPECT_EQ(b.GetEntry(0)->Rows, 65535);
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

}  // namespace
