// Qodem, MagiTerm and PuTTY phonebooks: boards, methods and protocols in,
// entries out; a PuTTY export saved as UTF-16 (made with iconv) imports the
// same entries as the same export in 8 bits.
#include <gtest/gtest.h>

#include "data/uPhonebookImport.h"
#include "data/uSyncTermList.h"
#include "data/uTextPhonebooks.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

const TPhonebookEntry& At(const TPhonebook& book, int i) { return *book.GetEntry(i); }

TPhonebook ImportedFrom(const TempDir& dir, const std::string& text, const char* source) {
  const std::string path = dir.File("phonebook");
  EXPECT_TRUE(WriteWholeFile(path, text));
  TPhonebook book(dir.File("korvan.ini"));
  std::string found, error;
  ImportFromFile(book, path, found, error);
  EXPECT_EQ(found, source);
  EXPECT_EQ(error, "");
  return book;
}

const char* kQodem =
    "# Qodem phonebook\n"
    "[entry]\n"
    "name = My BBS\n"
    "address=telnet.example\n"
    "port=0\n"
    "method=TELNET\n"
    "emulation=ANSI\n"
    "notes=<<<END\n"
    "   First note line   \n"
    "[entry] inside the notes\n"
    "   END   \n"
    "[entry]\n"
    "name=Secure\n"
    "address= ssh.example \n"
    "port = 2222\n"
    "username = bob\n"
    "password=pw\n"
    "method= SSH \n"
    "emulation=XTERM-UTF8\n"
    "[entry]\n"
    "name=Dosbox\n"
    "address=dosbox -c \"mount c ~/doors\"\n"
    "method=CMDLINE\n"
    "emulation=PETSCII\n"
    "[entry]\n"
    "name=Here\n"
    "method=LOCAL\n"
    "emulation=tty\n"
    "[entry]\n"
    "name=Phone\n"
    "address=5551234\n"
    "method=modem\n"
    "[entry]\n"
    "address=noname.example\n"
    "method=FOO\n"
    "emulation=avatar\n"
    "[entry]\n"
    "name=Raw\n"
    "address=raw.example\n"
    "method=SOCKET\n"
    "[entry]\n"
    "name=RL\n"
    "address=rl.example\n"
    "username=me\n"
    "method=rlogin\n"
    "emulation=debug\n";

TEST(QodemImportTest, MethodsEmulationsAndNotes) {
  TempDir dir;
  TPhonebook book = ImportedFrom(dir, kQodem, "Qodem");
  ASSERT_EQ(book.Count(), 7);

  const auto& telnet = At(book, 0);
  EXPECT_EQ(telnet.Name, "My BBS");
  EXPECT_EQ(telnet.Host, "telnet.example");
  EXPECT_EQ(telnet.Port, 23);
  EXPECT_EQ(telnet.TermType, "ANSI-BBS");
  EXPECT_EQ(telnet.Notes, "Imported from a Qodem phonebook - First note line [entry] inside the notes");

  const auto& ssh = At(book, 1);
  EXPECT_TRUE(ssh.UseSSH);
  EXPECT_EQ(ssh.Host, "ssh.example");
  EXPECT_EQ(ssh.Port, 2222);
  EXPECT_EQ(ssh.Username, "bob");
  EXPECT_EQ(ssh.Password, "pw");
  EXPECT_TRUE(ssh.UseUTF8);
  EXPECT_EQ(ssh.Notes, "Imported from a Qodem phonebook");

  const auto& cmdline = At(book, 2);
  EXPECT_TRUE(cmdline.UseShell);
  EXPECT_EQ(cmdline.ShellCommand, "dosbox -c \"mount c ~/doors\"");
  EXPECT_EQ(cmdline.Host, "");
  EXPECT_EQ(cmdline.Port, 0);
  EXPECT_EQ(cmdline.Notes, "Imported from a Qodem phonebook (Qodem emulation \"PETSCII\" has no KORVAN equivalent - "
                           "imported as ANSI-BBS)");

  const auto& local = At(book, 3);  // the user's own shell, whatever the address
  EXPECT_EQ(local.Name, "Here");
  EXPECT_TRUE(local.UseShell);
  EXPECT_EQ(local.ShellCommand, "");
  EXPECT_EQ(local.TermType, "ASCII (no color)");

  const auto& unnamed = At(book, 4);  // the modem board before it added nothing
  EXPECT_EQ(unnamed.Name, "noname.example");
  EXPECT_EQ(unnamed.Port, 23);
  EXPECT_EQ(unnamed.TermType, "Avatar");
  EXPECT_EQ(unnamed.Notes, "Imported from a Qodem phonebook");

  EXPECT_TRUE(At(book, 5).UseRaw);
  EXPECT_EQ(At(book, 5).Port, 0);

  const auto& rlogin = At(book, 6);
  EXPECT_TRUE(rlogin.UseRLogin);
  EXPECT_EQ(rlogin.Port, 513);
  EXPECT_EQ(rlogin.RLoginClientUser, "me");
  EXPECT_EQ(rlogin.RLoginServerUser, "me");
  EXPECT_EQ(rlogin.TermType, "ASCII (no color)");
}

// The sectioned-list reader alone would take every [entry] block for a board
// named "entry"; the import recognises the file as Qodem's.
TEST(QodemImportTest, NotTakenForASectionedList) {
  TempDir dir;
  const std::string qodem = "[entry]\nname=One\naddress=one.example\n[entry]\nname=Two\naddress=two.example\n";
  TPhonebook listOnly("unused.ini");
  ASSERT_EQ(ImportSyncTermData(listOnly, qodem), 2);
  EXPECT_EQ(At(listOnly, 0).Name, "entry");
  TPhonebook book = ImportedFrom(dir, qodem, "Qodem");
  ASSERT_EQ(book.Count(), 2);
  EXPECT_EQ(At(book, 0).Name, "One");
  EXPECT_EQ(At(book, 1).Name, "Two");
}

// The blanks around "=" are not part of any value: an auto-login would send
// a user name or password with them.
TEST(QodemImportTest, BlanksAroundTheEqualsSignAreNotKept) {
  struct {
    const char* Line;
    std::string TPhonebookEntry::*Field;
    const char* Value;
  } rows[] = {
      {"username = bob", &TPhonebookEntry::Username, "bob"},
      {"username=\t bob smith ", &TPhonebookEntry::Username, "bob smith"},
      {"password =  se = cret", &TPhonebookEntry::Password, "se = cret"},
      {"name =   Far Away ", &TPhonebookEntry::Name, "Far Away"},
      {"address =  far.example", &TPhonebookEntry::Host, "far.example"},
  };
  for (const auto& r : rows) {
    TPhonebook book("unused.ini");
    ASSERT_EQ(ImportQodemData(book, std::string("[entry]\naddress=a.example\n") + r.Line + "\n"), 1) << r.Line;
    EXPECT_EQ(At(book, 0).*r.Field, r.Value) << r.Line;
  }
}

TEST(QodemImportTest, UnclosedNotesRunToTheEndAndTheLastBoardCounts) {
  TPhonebook book("unused.ini");
  ASSERT_EQ(ImportQodemData(book, "[entry]\naddress=a\nnotes=<<<END\none\n[entry]\naddress=b\n"), 1);
  EXPECT_EQ(At(book, 0).Notes, "Imported from a Qodem phonebook - one [entry] address=b");
  EXPECT_EQ(ImportQodemData(book, "[Entry]\naddress=a\n"), 0);  // the marker is exact
}

TEST(MagiTermImportTest, SectionsAddressesAndPorts) {
  TempDir dir;
  TPhonebook book = ImportedFrom(dir,
                                 "; MagiTerm dialing directory\n"
                                 "[ Magi BBS ]\n"
                                 "address = magi.example\n"
                                 "Port = 2323\n"
                                 "[Inline] Address = inline.example\n"
                                 "[No Port]\n"
                                 "address = noport.example\n"
                                 "port = abc\n"
                                 "[ ]\n"
                                 "address = nameless.example\n"
                                 "[Empty Address]\n"
                                 "address =\n",
                                 "MagiTerm");
  ASSERT_EQ(book.Count(), 3);
  EXPECT_EQ(At(book, 0).Name, "Magi BBS");
  EXPECT_EQ(At(book, 0).Host, "magi.example");
  EXPECT_EQ(At(book, 0).Port, 2323);
  EXPECT_EQ(At(book, 0).Notes, "Imported from a MagiTerm dialing directory (best-effort format - verify Host/Port)");
  EXPECT_EQ(At(book, 1).Name, "Inline");
  EXPECT_EQ(At(book, 1).Host, "inline.example");
  EXPECT_EQ(At(book, 1).Port, 23);
  EXPECT_EQ(At(book, 2).Port, 23);
}

TEST(MagiTermImportTest, HeadersWithoutAddressKeysAreNotRecognised) {
  TPhonebook book("unused.ini");
  EXPECT_EQ(ImportMagiTermData(book, "[ Board ]\nhost = x\naddress= y\n"), 0);  // no blank before "="
  EXPECT_EQ(ImportMagiTermData(book, "[Board]\naddress = y\n"), 0);          // no "[ " header
  EXPECT_EQ(ImportMagiTermData(book, "[ Board ]\nADDRESS = y\n"), 1);
}

// An export with the sessions PuTTY writes, in CP437 ("Jos\x82").
const char* kPuttyExport =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\Default%20Settings]\r\n"
    "\"HostName\"=\"default.example\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\My%20BBS]\r\n"
    "\"HostName\"=\"bbs.example\"\r\n"
    "\"PortNumber\"=dword:00000017\r\n"
    "\"Protocol\"=\"telnet\"\r\n"
    "\"UserName\"=\"Jos\x82\"\r\n"
    "\"LineCodePage\"=\"utf-8\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\Secure%2x]\r\n"
    "\"HostName\"=\"ssh.example\"\r\n"
    "\"Protocol\"=\"ssh\"\r\n"
    "\"PortNumber\"=dword:00000000\r\n"
    "\"PublicKeyFile\"=\"keys\\\\my \\\"key\\\".ppk\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\Serial]\r\n"
    "\"HostName\"=\"serial.example\"\r\n"
    "\"Protocol\"=\"serial\"\r\n"
    "\"PortNumber\"=dword:0000zz17\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\NoHost]\r\n"
    "\"Protocol\"=\"ssh\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\OtherProgram\\Sessions\\Foreign]\r\n"
    "\"HostName\"=\"foreign.example\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\RL]\r\n"
    "\"HostName\"=\"rl.example\"\r\n"
    "\"Protocol\"=\"RLogin\"\r\n"
    "\"UserName\"=\"me\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\Raw%]\r\n"
    "\"HostName\"=\"raw.example\"\r\n"
    "\"Protocol\"=\"raw\"\r\n";

void ExpectPuttySessions(const TPhonebook& book) {
  ASSERT_EQ(book.Count(), 5);
  const auto& telnet = At(book, 0);
  EXPECT_EQ(telnet.Name, "My BBS");
  EXPECT_EQ(telnet.Host, "bbs.example");
  EXPECT_EQ(telnet.Port, 23);
  EXPECT_EQ(telnet.Username, "Jos\x82");
  EXPECT_TRUE(telnet.UseUTF8);
  EXPECT_EQ(telnet.Notes, "Imported from a PuTTY .reg export");

  const auto& ssh = At(book, 1);
  EXPECT_EQ(ssh.Name, "Secure?");
  EXPECT_TRUE(ssh.UseSSH);
  EXPECT_EQ(ssh.Port, 22);
  EXPECT_EQ(ssh.SSHKeyFile, "keys/my \"key\".ppk");  // escapes resolved, then the "\" read as "/"

  const auto& serial = At(book, 2);
  EXPECT_EQ(serial.Port, 23);
  EXPECT_EQ(serial.Notes, "Imported from a PuTTY .reg export (PuTTY protocol \"serial\" has no KORVAN equivalent - "
                          "imported as plain Telnet, check Host/Port)");

  const auto& rlogin = At(book, 3);
  EXPECT_TRUE(rlogin.UseRLogin);
  EXPECT_EQ(rlogin.Port, 513);
  EXPECT_EQ(rlogin.RLoginClientUser, "me");
  EXPECT_EQ(rlogin.RLoginServerUser, "me");

  EXPECT_EQ(At(book, 4).Name, "Raw%");
  EXPECT_TRUE(At(book, 4).UseRaw);
  EXPECT_EQ(At(book, 4).Port, 0);
}

TEST(PuTTYImportTest, SessionsOfAnEightBitExport) {
  TempDir dir;
  TPhonebook book = ImportedFrom(dir, kPuttyExport, "PuTTY");
  ExpectPuttySessions(book);
}

// What Windows' registry editor saves: UTF-16 little-endian with its
// byte-order mark. It imports exactly as the 8-bit export does.
TEST(PuTTYImportTest, Utf16ExportImportsTheSameEntries) {
  TempDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("cp437.reg"), kPuttyExport));
  PeerResult iconv = RunPeer({"iconv", "-f", "CP437", "-t", "UTF-16LE", "-o", dir.File("utf16.body"),
                              dir.File("cp437.reg")});
  ASSERT_EQ(iconv.ExitCode, 0) << "iconv is needed for this test: " << iconv.Output;
  const std::string wide = "\xFF\xFE" + ReadWholeFile(dir.File("utf16.body"));
  ASSERT_EQ(wide.size(), 2 + 2 * std::string(kPuttyExport).size());
  ASSERT_TRUE(WriteWholeFile(dir.File("utf16.reg"), wide));

  TPhonebook eight(dir.File("a.ini")), sixteen(dir.File("b.ini"));
  std::string source, error;
  ASSERT_EQ(ImportFromFile(eight, dir.File("cp437.reg"), source, error), 5);
  ASSERT_EQ(ImportFromFile(sixteen, dir.File("utf16.reg"), source, error), 5);
  EXPECT_EQ(source, "PuTTY");
  ExpectPuttySessions(sixteen);
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(At(sixteen, i).SameAs(At(eight, i))) << At(sixteen, i).Name;
    EXPECT_EQ(At(sixteen, i).Notes, At(eight, i).Notes);
  }
}

TEST(PuTTYImportTest, OnlyARegistryExportIsRecognised) {
  TPhonebook book("unused.ini");
  const std::string session = "[HKEY_CURRENT_USER\\Software\\SimonTatham\\PuTTY\\Sessions\\A]\n\"HostName\"=\"a\"\n";
  EXPECT_EQ(ImportPuTTYData(book, "REGEDIT4\n" + session), 0);
  EXPECT_EQ(ImportPuTTYData(book, "\n  Windows Registry Editor Version 5.00\n" + session), 0);  // first line only
  EXPECT_EQ(ImportPuTTYData(book, "  Windows Registry Editor Version 5.00  \n" + session), 1);
}

}  // namespace
