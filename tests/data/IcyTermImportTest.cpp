// IcyTerm's TOML phone book: a file with every string form, arrays and inline
// tables reads the same names, hosts and ports as Python's tomllib; the
// mapping of IcyTerm's names onto entry settings; the text helpers.
#include <gtest/gtest.h>

#include <functional>

#include "core/uUtf8Cp437.h"
#include "data/uIcyTermImport.h"
#include "data/uPhonebookImport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

using testsupport::TempDir;
using testsupport::WriteWholeFile;

namespace {

const TPhonebookEntry& At(const TPhonebook& book, int i) { return *book.GetEntry(i); }

const char* kEveryStringForm = R"TOML(# IcyTerm phone book
version = "1.1"
system_name = "before any table"

[[addresses]]
system_name = "Basic \"Quoted\" \\ Board\tTab"
address = "basic.example.com:2323"
protocol = "Telnet"
tags = ["a", "b]", 'c[',
  "d{", { x = "]" }]
comment = """
First line
second line
third line"""

[[addresses]]
system_name = 'Literal C:\path'
address = 'telnet://literal.example.net:2424/menu'
ui = { font = "x", size = [1, 2], note = "}" }

[[addresses]]
system_name = """Multi "quoted" on one line"""
address = "[::1]:2525"
protocol = "Ssh"

[[addresses]]
system_name = '''Multi literal \n stays'''
address = "ssh.example.org"
protocol = "SSH"

[[addresses]]
system_name = "Caf\u00e9 Unicode \U0001F600"
address = "unicode.example"
ice_mode = true

[[addresses]]
"system_name" = "Café Direct"   # a quoted key, and é written in UTF-8
address = "direct.example:23"
protocol = "Raw"
screen_mode = "Vga(132, 37)"

[[servers]]
system_name = "not a board"
address = "servers.example"

[[addresses]]
system_name = ""
address = "noname.example:2727"
)TOML";

// Name, host and port of every board as tomllib reads the file: TOML's
// newline and tab become a blank, the control escapes vanish, and the text is
// CP437 as the program keeps it. Hosts and ports come from urllib's reading
// of the address, the port by protocol when the address has none.
const char* kTomllibBoards = R"(
import sys, tomllib, urllib.parse
doc = tomllib.load(open(sys.argv[1], 'rb'))
usual = {'telnet': 23, 'ssh': 22, 'raw': 0}
out = b''
for board in doc['addresses']:
    name = board.get('system_name', '')
    for c, r in (('\n', ' '), ('\t', ' '), ('\r', ''), ('\b', ''), ('\f', '')):
        name = name.replace(c, r)
    address = board['address']
    name = name.strip() or address
    split = urllib.parse.urlsplit(address if '://' in address else '//' + address)
    port = split.port if split.port else usual[board.get('protocol', 'Telnet').lower()]
    out += name.encode('cp437', errors='replace') + b'|' + split.hostname.encode() + b'|' + str(port).encode() + b'\n'
sys.stdout.buffer.write(out)
)";

TEST(IcyTermImportTest, EveryStringFormReadsAsTomllibReadsIt) {
  TempDir dir;
  const std::string path = dir.File("phonebook.toml");
  ASSERT_TRUE(WriteWholeFile(path, kEveryStringForm));
  PeerResult python = RunPeer({"python3", "-c", kTomllibBoards, path});
  ASSERT_EQ(python.ExitCode, 0) << "python3 (3.11 or later, for tomllib) is needed: " << python.Output;

  TPhonebook book(dir.File("korvan.ini"));
  std::string source, error;
  ASSERT_EQ(ImportFromFile(book, path, source, error), 7) << error;
  EXPECT_EQ(source, "IcyTerm");
  std::string ours;
  for (const auto& e : book.Entries()) ours += e->Name + "|" + e->Host + "|" + std::to_string(e->Port) + "\n";
  EXPECT_EQ(ours, python.Output);

  EXPECT_EQ(At(book, 4).Name, "Caf\x82 Unicode ?");  // U+00E9 is CP437 0x82; the emoji has no CP437 form
  EXPECT_EQ(At(book, 5).Name, "Caf\x82 Direct");
  EXPECT_EQ(At(book, 1).Name, "Literal C:\\path");
  EXPECT_EQ(At(book, 0).Notes, "Imported from IcyTerm phonebook - First line second line third line");
  EXPECT_TRUE(At(book, 4).IceColors);
  EXPECT_FALSE(At(book, 3).IceColors);
  EXPECT_TRUE(At(book, 5).UseRaw);
  EXPECT_EQ(At(book, 5).Cols, 132);
  EXPECT_EQ(At(book, 5).Rows, 37);
  EXPECT_TRUE(At(book, 2).UseSSH);
}

struct MapRow {
  const char* Name;
  const char* Board;  // the lines of one [[addresses]] table
  std::function<void(const TPhonebookEntry&)> Check;
};

const MapRow kMapRows[] = {
    {"Defaults", "address = \"bbs.example\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.Name, "bbs.example");
       EXPECT_EQ(e.Port, 23);
       EXPECT_EQ(e.TermType, "ANSI-BBS");
       EXPECT_EQ(e.Cols, 80);
       EXPECT_EQ(e.Rows, 25);
       EXPECT_EQ(e.Notes, "Imported from IcyTerm phonebook");
     }},
    {"Utf8Ansi", "address = \"a\"\nterminal_type = \"Utf8Ansi\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.TermType, "ANSI-BBS");
       EXPECT_TRUE(e.UseUTF8);
     }},
    {"Avatar", "address = \"a\"\nterminal_type = \"Avatar\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.TermType, "Avatar"); }},
    {"Ascii", "address = \"a\"\nterminal_type = \"Ascii\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.TermType, "ASCII (no color)"); }},
    {"Petscii", "address = \"a\"\nterminal_type = \"Petscii\"\nscreen_mode = \"Vic\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.TermType, "C64");
       EXPECT_EQ(e.Cols, 40);
       EXPECT_EQ(e.Rows, 25);
     }},
    {"AtasciiOnXep80", "address = \"a\"\nterminal_type = \"Atascii\"\nscreen_mode = \"Xep80\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.TermType, "ATASCII");
       EXPECT_EQ(e.Cols, 80);
       EXPECT_EQ(e.Rows, 24);
     }},
    {"Viewdata", "address = \"a\"\nterminal_type = \"ViewData\"\nscreen_mode = \"Videotex\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.TermType, "Viewdata");
       EXPECT_EQ(e.Cols, 40);
       EXPECT_EQ(e.Rows, 24);
     }},
    {"Mode7", "address = \"a\"\nterminal_type = \"Mode7\"\nscreen_mode = \"Mode7\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.TermType, "BBC Mode 7");
       EXPECT_EQ(e.Cols, 40);
     }},
    {"Rip", "address = \"a\"\nterminal_type = \"Rip\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.TermType, "RIP");
       EXPECT_TRUE(e.UseRIP);
     }},
    {"SkyPix", "address = \"a\"\nterminal_type = \"SkyPix\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.TermType, "SkyPix");
       EXPECT_TRUE(e.UseRIP);
     }},
    {"AtariStIgs", "address = \"a\"\nterminal_type = \"AtariST\"\nscreen_mode = \"AtariST(Medium, true)\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.TermType, "Atari ST IGS"); }},
    {"AtariStWithoutIgs", "address = \"a\"\nterminal_type = \"AtariST\"\nscreen_mode = \"AtariST(Medium, false)\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.TermType, "Atari ST"); }},
    {"ScreenSizeNeedsBothAboveZero", "address = \"a\"\nscreen_mode = \"Vga(0, 50)\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.Cols, 80);
       EXPECT_EQ(e.Rows, 25);
     }},
    {"UnicodeScreenSize", "address = \"a\"\nscreen_mode = \"Unicode(100,40)\"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.Cols, 100);
       EXPECT_EQ(e.Rows, 40);
     }},
    {"BaudRate", "address = \"a\"\nbaud_emulation = \"Rate( 2400 )\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.SimBaudRate, 2400); }},
    {"BaudOff", "address = \"a\"\nbaud_emulation = \"Off\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.SimBaudRate, 0); }},
    {"SshWithKey", "address = \"a\"\nprotocol = \"Ssh\"\nssh_private_key = \"keys\\\\id_ed25519\"",
     [](const TPhonebookEntry& e) {
       EXPECT_TRUE(e.UseSSH);
       EXPECT_EQ(e.Port, 22);
       EXPECT_EQ(e.SSHKeyFile, "keys/id_ed25519");
     }},
    {"RLogin", "address = \"a\"\nprotocol = \"RLogin\"\nuser_name = \"me\"\npassword = \"pw\"",
     [](const TPhonebookEntry& e) {
       EXPECT_TRUE(e.UseRLogin);
       EXPECT_EQ(e.Port, 513);
       EXPECT_EQ(e.RLoginClientUser, "me");
       EXPECT_EQ(e.RLoginServerUser, "me");
       EXPECT_EQ(e.Username, "me");
       EXPECT_EQ(e.Password, "pw");
     }},
    {"RLoginSwapped", "address = \"a:600\"\nprotocol = \"RLoginSwapped\"\nuser_name = \"me\"\npassword = \"pw\"",
     [](const TPhonebookEntry& e) {
       EXPECT_TRUE(e.UseRLogin);
       EXPECT_EQ(e.Port, 600);
       EXPECT_EQ(e.RLoginClientUser, "pw");
       EXPECT_EQ(e.RLoginServerUser, "me");
     }},
    {"RawWithoutPortKeepsZero", "address = \"a\"\nprotocol = \"Raw\"",
     [](const TPhonebookEntry& e) {
       EXPECT_TRUE(e.UseRaw);
       EXPECT_EQ(e.Port, 0);
     }},
    {"UnknownProtocolIsTelnetWithARemarkThenAutoLogin",
     "address = \"a\"\nprotocol = \"WebSocket\"\nauto_login = \"bob\"\ncomment = \"  spaced  \"",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.Port, 23);
       EXPECT_EQ(e.Notes,
                 "Imported from IcyTerm phonebook - spaced (IcyTerm connection type \"WebSocket\" has no KORVAN "
                 "equivalent - imported as plain Telnet, check Host/Port) [IcyTerm auto-login: bob]");
     }},
    {"EscapedQuoteAndCommentAfterTheString", "system_name = \"a \\\"b\\\" c\" # \"x\"\naddress = \"h\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.Name, "a \"b\" c"); }},
    {"ArrayOverLinesDoesNotSwallowTheNextKey",
     "address = \"first\"\nlist = [\n  \"]\", '[',\n  [1, 2], # ] a comment\n]\naddress = \"after\"",
     [](const TPhonebookEntry& e) { EXPECT_EQ(e.Host, "after"); }},
    {"BareValueStopsAtItsComment", "address = bare.example # comment\nice_mode = TRUE",
     [](const TPhonebookEntry& e) {
       EXPECT_EQ(e.Host, "bare.example");
       EXPECT_TRUE(e.IceColors);
     }},
};

class IcyTermMapTest : public ::testing::TestWithParam<MapRow> {};

TEST_P(IcyTermMapTest, Rows) {
  TPhonebook book("unused.ini");
  ASSERT_EQ(ImportIcyTermData(book, std::string("[[addresses]]\n") + GetParam().Board + "\n"), 1);
  GetParam().Check(At(book, 0));
}

INSTANTIATE_TEST_SUITE_P(Rows, IcyTermMapTest, ::testing::ValuesIn(kMapRows),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(IcyTermImportTest, BoardsWithoutAddressOrOutsideAddressesAddNothing) {
  TPhonebook book("unused.ini");
  EXPECT_EQ(ImportIcyTermData(book, "[[servers]]\naddress = \"x\"\n"), 0);
  EXPECT_EQ(ImportIcyTermData(book, "address = \"x\"\n[[addresses]]\nsystem_name = \"No address\"\n"), 0);
  EXPECT_EQ(ImportIcyTermData(book, "[[addresses]]\naddress = \"   \"\n[[ addresses ]]\naddress = \"y\"\n"), 0);
  EXPECT_EQ(book.Count(), 0);
}

TEST(IcyTermHelpersTest, Utf8ToCp437) {
  const std::pair<const char*, const char*> rows[] = {
      {"plain", "plain"},
      {"Caf\xC3\xA9", "Caf\x82"},            // two bytes
      {"\xE2\x96\x88", "\xDB"},              // full block, three bytes
      {"\xF0\x9F\x98\x80!", "?!"},           // four bytes, not in CP437
      {"\xC3x", "\x03x"},                    // cut short: converted from the bits gathered
      {"\xE0\x81x", "\x01x"},
      {"\x80x", "?x"},                       // a continuation byte alone
      {"\xFF", "?"},
      {"\xE2\x98\x85", "*"},                 // a star CP437 lacks: its approximation
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(Utf8ToCp437(in), out) << in;
}

TEST(IcyTermHelpersTest, UnescapeTomlString) {
  const std::pair<const char*, const char*> rows[] = {
      {"a\\nb\\tc", "a b c"},   {"x\\b\\f\\ry", "xy"},     {"\\u00e9", "\x82"},   {"\\U000000E9", "\x82"},
      {"\\\"\\\\\\q", "\"\\q"}, {"\\uZZZZ!", "?!"},       {"\\u41", "A"},        {"end\\", "end\\"},
      {"\\u", "?"},
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(UnescapeTomlString(in), out) << in;
}

TEST(IcyTermHelpersTest, ParseIcyAddress) {
  struct Row {
    const char* Text;
    const char* Host;
    uint16_t Port;
  };
  const Row rows[] = {
      {"telnet://host.name:2323/path", "host.name", 2323}, {"[::1]:23", "::1", 23}, {"::1", "::1", 0},
      {"[fe80::1]", "fe80::1", 0},  {" host:abc ", "host", 0}, {"host", "host", 0}, {"ssh://h", "h", 0},
      {"a/b:99", "a", 0},
  };
  for (const Row& row : rows) {
    std::string host;
    uint16_t port = 99;
    ParseIcyAddress(row.Text, host, port);
    EXPECT_EQ(host, row.Host) << row.Text;
    EXPECT_EQ(port, row.Port) << row.Text;
  }
}

}  // namespace
