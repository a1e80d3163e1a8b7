// The sectioned list (SyncTERM's phonebook, the board list's form): list text
// in, entries out; the malformed lines it skips and logs; what it reads from
// a file that is missing, unreadable or no list at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "core/uDebugLog.h"
#include "data/uSyncTermList.h"
#include "tests/support/ChildProcess.h"

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

struct ListRow {
  const char* Name;
  const char* Text;
  int Count;
  std::function<void(const TPhonebook&)> Check;
};

const TPhonebookEntry& At(const TPhonebook& book, int i) { return *book.GetEntry(i); }

const ListRow kListRows[] = {
    {"TelnetBoardWithEveryField",
     "; SyncTERM dialing directory\n[My BBS]\nAddress = bbs.example.com\nPort=2323\nUserName=bob\n"
     "Password=se=cret\nTerminalType=PETSCII\nConnectionType=Telnet\nComment=ignored\n",
     1,
     [](const TPhonebook& b) {
       const auto& e = At(b, 0);
       EXPECT_EQ(e.Name, "My BBS");
       EXPECT_EQ(e.Host, "bbs.example.com");
       EXPECT_EQ(e.Port, 2323);
       EXPECT_EQ(e.Username, "bob");
       EXPECT_EQ(e.Password, "se=cret");
       EXPECT_EQ(e.TermType, "PETSCII");
       EXPECT_EQ(e.Notes, "Imported from SyncTERM phonebook");
       EXPECT_FALSE(e.UseSSH || e.UseTelnetS || e.UseRLogin || e.UseRaw || e.UseShell || e.UseRIP);
       EXPECT_EQ(e.Cols, 80);  // what the list does not give keeps the creation value
       EXPECT_TRUE(e.UseSixel);
     }},
    {"ConnectionTypesAndTheirPorts",
     "[ssh]\nAddress=a\nConnectionType=ssh\n[sshna]\nAddress=a\nConnectionType=SSHNA\nPort=2222\n"
     "[tls]\nAddress=a\nConnectionType=TelnetS\n[rl]\nAddress=a\nConnectionType=RLoginReversed\nUsername=me\n"
     "[raw]\nAddress=a\nConnectionType=Raw\n[telnet]\nAddress=a\n",
     6,
     [](const TPhonebook& b) {
       EXPECT_TRUE(At(b, 0).UseSSH);
       EXPECT_EQ(At(b, 0).Port, 22);
       EXPECT_TRUE(At(b, 1).UseSSH);
       EXPECT_EQ(At(b, 1).Port, 2222);
       EXPECT_TRUE(At(b, 2).UseTelnetS);
       EXPECT_EQ(At(b, 2).Port, 992);
       EXPECT_TRUE(At(b, 3).UseRLogin);
       EXPECT_EQ(At(b, 3).Port, 513);
       EXPECT_EQ(At(b, 3).RLoginClientUser, "me");
       EXPECT_EQ(At(b, 3).RLoginServerUser, "me");
       EXPECT_TRUE(At(b, 4).UseRaw);
       EXPECT_EQ(At(b, 4).Port, 0);
       EXPECT_EQ(At(b, 5).Port, 23);
       for (int i = 0; i < 6; ++i) EXPECT_EQ(At(b, i).Notes, "Imported from SyncTERM phonebook");
     }},
    {"PortThatIsNoNumberGivesTheDefault", "[a]\nAddress=x\nConnectionType=SSH\nPort=abc\n", 1,
     [](const TPhonebook& b) { EXPECT_EQ(At(b, 0).Port, 22); }},
    {"UnknownConnectionTypeIsTelnetWithARemark", "[Modem board]\nAddress=5551234\nConnectionType=Modem\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Port, 23);
       EXPECT_EQ(At(b, 0).Notes,
                 "Imported from SyncTERM phonebook (original connection type \"Modem\" has no KORVAN equivalent - "
                 "imported as plain Telnet, check Port/settings)");
     }},
    {"ShellWithoutAddressIsALocalShell", "[Local]\nConnectionType=shell\nPort=99\n[Gone]\nConnectionType=Telnet\n", 1,
     [](const TPhonebook& b) {
       EXPECT_TRUE(At(b, 0).UseShell);
       EXPECT_EQ(At(b, 0).ShellCommand, "");
       EXPECT_EQ(At(b, 0).Host, "");
       EXPECT_EQ(At(b, 0).Port, 23);  // a shell reads no port
     }},
    {"ShellAddressIsTheCommand", "[Cmd]\nConnectionType=Shell\nAddress=bash -l\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).ShellCommand, "bash -l");
       EXPECT_EQ(At(b, 0).Host, "");
     }},
    {"EmptyAddressIsSkipped", "[Empty]\nAddress=\n[Kept]\nAddress=k\n", 1,
     [](const TPhonebook& b) { EXPECT_EQ(At(b, 0).Name, "Kept"); }},
    {"RipPresentButEmptyIsOn", "[a]\nAddress=x\nRIP=\n[b]\nAddress=x\n[c]\nAddress=x\nRIP=OFF\n[d]\nAddress=x\nRIP=v1\n",
     4,
     [](const TPhonebook& b) {
       EXPECT_TRUE(At(b, 0).UseRIP);
       EXPECT_FALSE(At(b, 1).UseRIP);
       EXPECT_FALSE(At(b, 2).UseRIP);
       EXPECT_TRUE(At(b, 3).UseRIP);
     }},
    {"EmptyTerminalTypeIsAnsiBbs", "[a]\nAddress=x\nTerminalType=\n", 1,
     [](const TPhonebook& b) { EXPECT_EQ(At(b, 0).TermType, "ANSI-BBS"); }},
    {"SameNameTwiceGivesTwoEntries", "[My BBS]\nAddress=one\n[my bbs]\nAddress=two\n[My BBS]\nAddress=three\n", 3,
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Host, "one");
       EXPECT_EQ(At(b, 1).Name, "my bbs");
       EXPECT_EQ(At(b, 2).Host, "three");
     }},
    {"BlanksInsideTheBracketsStayInTheName", "  [  Spaced  Out ]  \nAddress=x\n", 1,
     [](const TPhonebook& b) { EXPECT_EQ(At(b, 0).Name, "  Spaced  Out "); }},
    {"PairsAfterAnEmptyHeaderAreDropped", "[First]\nAddress=1\n[]\nAddress=2\nPort=99\n[Third]\nAddress=3\n", 2,
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Host, "1");
       EXPECT_EQ(At(b, 0).Port, 23);
       EXPECT_EQ(At(b, 1).Name, "Third");
     }},
    {"LinesAfterAnUnterminatedHeaderStayInTheSectionBefore", "[First]\nAddress=1\n[Broken\nAddress=2\nPort=99\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Name, "First");
       EXPECT_EQ(At(b, 0).Host, "2");
       EXPECT_EQ(At(b, 0).Port, 99);
     }},
    {"LastOfARepeatedKeyWinsAndKeysIgnoreCase", "[a]\nADDRESS=old\naddress = new\nport=1\nPORT=2\n", 1,
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Host, "new");
       EXPECT_EQ(At(b, 0).Port, 2);
     }},
    {"CrOnlyAndCrLfLineEnds", "[Mac]\rAddress=cr\r[Dos]\r\nAddress=crlf\r\n", 2,
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Host, "cr");
       EXPECT_EQ(At(b, 1).Host, "crlf");
     }},
    {"PortKeepsTheLowSixteenBits", "[a]\nAddress=x\nPort=70000\n", 1,
     [](const TPhonebook& b) { EXPECT_EQ(At(b, 0).Port, 4464); }},
    {"NoSectionsGiveNothing", "Address=x\njust text\n; comment\n", 0, [](const TPhonebook&) {}},
};

class SyncTermListTest : public ::testing::TestWithParam<ListRow> {
 protected:
  TempDir Dir;
};

TEST_P(SyncTermListTest, Rows) {
  const std::string path = Dir.File("syncterm.lst");
  ASSERT_TRUE(WriteWholeFile(path, GetParam().Text));
  TPhonebook book(Dir.File("korvan.ini"));
  book.Add()->Name = "Already there";
  EXPECT_EQ(ImportSyncTerm(book, path), GetParam().Count);
  ASSERT_EQ(book.Count(), GetParam().Count + 1);
  EXPECT_EQ(book.GetEntry(0)->Name, "Already there");
  book.Delete(0);
  GetParam().Check(book);
}

INSTANTIATE_TEST_SUITE_P(Rows, SyncTermListTest, ::testing::ValuesIn(kListRows),
                         [](const auto& info) { return std::string(info.param.Name); });

// Every skipped line is named in the debug log with its number, and the
// reader sums up what it found.
TEST(SyncTermListLogTest, MalformedLinesAreLoggedAndSkipped) {
  TempDir dir;
  const std::string list =
      "Address=orphan\n"  // 1
      "[One]\n"           // 2
      "Address=1\n"       // 3
      "no pair here\n"    // 4
      "[Half\n"           // 5
      "[]\n"              // 6
      "Port=5\n"          // 7
      "[one]\n"           // 8
      "Address=2\n"       // 9
      "[Shell only]\n";   // 10
  ASSERT_TRUE(WriteWholeFile(dir.File("x.lst"), list));
  LogEnabled = true;
  LogOpen(dir.File("debug.log"));
  std::vector<TIniSection> sections;
  EXPECT_TRUE(LoadSyncTermSections(dir.File("x.lst"), sections));
  TPhonebook book(dir.File("korvan.ini"));
  EXPECT_EQ(ImportSyncTerm(book, dir.File("x.lst")), 2);
  LogClose();
  LogEnabled = false;
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[1].Name(), "one");
  EXPECT_EQ(sections[1].ReadString("address", ""), "2");
  const std::string log = ReadWholeFile(dir.File("debug.log"));
  for (const char* line : {
           "LoadSyncTermSections: line 1 has a Key=Value pair before any [Section] header - skipped (\"Address=orphan\")",
           "LoadSyncTermSections: line 4 is neither a section header nor a Key=Value pair - skipped (\"no pair here\")",
           "LoadSyncTermSections: line 5 looks like an unterminated section header - skipped (\"[Half\")",
           "LoadSyncTermSections: line 6 has an empty section name - skipped (\"[]\")",
           "LoadSyncTermSections: line 7 has a Key=Value pair before any [Section] header - skipped (\"Port=5\")",
           "LoadSyncTermSections: duplicate section name \"one\" at line 8 - kept as a separate entry rather than merged",
           "LoadSyncTermSections: 10 lines read, 3 sections found",
           "LoadSyncTermSections: first=\"One\" last=\"Shell only\"",
           "ImportSyncTerm: imported 2 of 3 sections",
       })
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n--- log:\n" << log;
}

TEST(SyncTermListFileTest, MissingUnreadableAndEmptyFilesGiveNothing) {
  TempDir dir;
  std::vector<TIniSection> sections(1, TIniSection("stale"));
  EXPECT_FALSE(LoadSyncTermSections(dir.File("none.lst"), sections));
  EXPECT_TRUE(sections.empty());
  ASSERT_EQ(mkdir(dir.File("folder.lst").c_str(), 0755), 0);
  EXPECT_FALSE(LoadSyncTermSections(dir.File("folder.lst"), sections));
  ASSERT_TRUE(WriteWholeFile(dir.File("empty.lst"), ""));
  TPhonebook book(dir.File("korvan.ini"));
  EXPECT_EQ(ImportSyncTerm(book, dir.File("empty.lst")), 0);
  EXPECT_EQ(ImportSyncTerm(book, dir.File("folder.lst")), 0);
  EXPECT_EQ(book.Count(), 0);
}

// A list saved by a Windows tool as UTF-16 reads like the same list in 8 bits.
TEST(SyncTermListFileTest, Utf16ListReadsLikeEightBits) {
  std::u16string wide = u"\uFEFF[Caf\u00E9 BBS]\r\nAddress=cafe.example\r\n";
  std::string bytes;
  for (char16_t c : wide) {
    bytes += char(c & 0xFF);
    bytes += char(c >> 8);
  }
  TPhonebook book("unused.ini");
  ASSERT_EQ(ImportSyncTermData(book, bytes), 1);
  EXPECT_EQ(book.GetEntry(0)->Name, "Caf\x82 BBS");  // CP437
  EXPECT_EQ(book.GetEntry(0)->Host, "cafe.example");
}

// A list from the network makes no shell entry, whatever the case of the
// type and with or without a command; the same list picked by the user
// keeps its shell boards. Every left-out board is counted and logged.
TEST(SyncTermListOriginTest, ANetworkListMakesNoShellEntry) {
  const std::string list =
      "[Innocent BBS]\nConnectionType=Shell\nAddress=touch /tmp/x\n"
      "[Plain BBS]\nAddress=plain.example\n"
      "[Loud]\nConnectionType=SHELL\n"
      "[Secure]\nConnectionType=SSH\nAddress=ssh.example\n";
  struct {
    TListOrigin Origin;
    int Count, Skipped;
    std::vector<std::string> Names;
  } cases[] = {
      {TListOrigin::Network, 2, 2, {"Plain BBS", "Secure"}},
      {TListOrigin::PickedFile, 4, 0, {"Innocent BBS", "Plain BBS", "Loud", "Secure"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    LogEnabled = true;
    LogOpen(dir.File("debug.log"));
    TPhonebook book("unused.ini");
    int32_t skipped = -1;
    EXPECT_EQ(ImportSyncTermData(book, list, c.Origin, skipped), c.Count);
    LogClose();
    LogEnabled = false;
    EXPECT_EQ(skipped, c.Skipped);
    std::vector<std::string> names;
    for (const auto& e : book.Entries()) {
      names.push_back(e->Name);
      if (c.Origin == TListOrigin::Network) {
        EXPECT_FALSE(e->UseShell || !e->ShellCommand.empty()) << e->Name;
      }
    }
    EXPECT_EQ(names, c.Names);
    const std::string log = ReadWholeFile(dir.File("debug.log"));
    const bool logged = log.find("ImportSyncTerm: section \"Innocent BBS\" is a shell entry (a local command) - not "
                                 "taken from a downloaded list") != std::string::npos;
    EXPECT_EQ(logged, c.Origin == TListOrigin::Network) << log;
  }
}

}  // namespace
