// NetRunner and mTelnet phone books: the files are written by Python's struct
// module from the two formats' layout tables, so a slot read at the wrong
// offset or past its end shows against an independent writer.
#include <gtest/gtest.h>

#include <functional>

#include "data/uBinaryPhonebooks.h"
#include "data/uPhonebookImport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

using testsupport::TempDir;

namespace {

// argv: kind ("netrunner" or "mtelnet"), output path, JSON description.
// A text field is "text" (its length byte is its length) or [length byte, "text"].
const char* kWriter = R"(
import json, struct, sys
kind, path, spec = sys.argv[1], sys.argv[2], json.loads(sys.argv[3])

def lp(field, size):
    if isinstance(field, str):
        field = [len(field), field]
    length, text = field
    return struct.pack('B%ds' % (size - 1), length, text.encode('latin-1'))

out = b''
if kind == 'netrunner':
    header = struct.pack('<B20s27x', len(spec['signature']), spec['signature'].encode('latin-1'))
    assert len(header) == 48
    out += header
    for rec in spec['records']:
        fields = rec + [''] * (8 - len(rec))
        b = b''.join(lp(f, 41) for f in fields) + bytes(34)
        assert len(b) == 362
        out += b
else:
    layout = struct.Struct('<52s9s61s13s31s31s')
    assert layout.size == 197
    for rec in spec['records']:
        name, term, host, date, password, user = rec
        out += layout.pack(lp(name, 52), term.encode('latin-1'), lp(host, 61), lp(date, 13),
                           lp(password, 31), lp(user, 31))
out += spec.get('tail', '').encode('latin-1')
open(path, 'wb').write(out)
)";

struct BinaryRow {
  const char* Name;
  const char* Kind;
  const char* Spec;  // JSON
  int Count;
  const char* Source;
  std::function<void(const TPhonebook&)> Check;
};

const TPhonebookEntry& At(const TPhonebook& book, int i) { return *book.GetEntry(i); }

const std::string k40(40, 'A');

const BinaryRow kRows[] = {
    {"NetRunnerRecordsAndTheirFields", "netrunner",
     R"({"signature": "NetRunner Phone Book", "records": [
         ["My BBS", "bbs.example.com:2323", "bob", "secret", "unused", "bbs.cap", "x", "y"],
         ["", "skipped.example"],
         ["Plain", "host.only"]]})",
     2, "NetRunner",
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Name, "My BBS");
       EXPECT_EQ(At(b, 0).Host, "bbs.example.com");
       EXPECT_EQ(At(b, 0).Port, 2323);
       EXPECT_EQ(At(b, 0).Username, "bob");
       EXPECT_EQ(At(b, 0).Password, "secret");
       EXPECT_EQ(At(b, 0).Notes, "Imported from NetRunner phonebook (capture file: bbs.cap)");
       EXPECT_EQ(At(b, 1).Name, "Plain");
       EXPECT_EQ(At(b, 1).Host, "host.only");
       EXPECT_EQ(At(b, 1).Port, 23);
       EXPECT_EQ(At(b, 1).Notes, "Imported from NetRunner phonebook");
       EXPECT_EQ(At(b, 1).TermType, "ANSI-BBS");
     }},
    {"NetRunnerHeaderAloneGivesNothing", "netrunner", R"({"signature": "NetRunner Phone Book", "records": []})", 0,
     "", [](const TPhonebook&) {}},
    {"NetRunnerSignatureInOtherCase", "netrunner",
     R"({"signature": "NETRUNNER PHONE BOOK", "records": [["Loud", "loud.example"]]})", 1, "NetRunner",
     [](const TPhonebook& b) { EXPECT_EQ(At(b, 0).Host, "loud.example"); }},
    {"NetRunnerWrongSignature", "netrunner",
     R"({"signature": "NetRunner Phone Bok", "records": [["Nope", "nope.example"]]})", 0, "",
     [](const TPhonebook&) {}},
    {"NetRunnerPartialRecordAtTheEndIsIgnored", "netrunner",
     R"({"signature": "NetRunner Phone Book", "records": [["Whole", "whole.example"]], "tail": "\u0004Half"})", 1,
     "NetRunner", [](const TPhonebook& b) { EXPECT_EQ(At(b, 0).Name, "Whole"); }},
    // The length byte says 200, the slot holds 40 characters: the name stops
    // there and the address slot after it is read as the address.
    {"NetRunnerOverlongLengthByteIsCutAtTheSlot", "netrunner",
     R"({"signature": "NetRunner Phone Book", "records": [[[200, "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"],
         [255, "h.example:2424"], "u"]]})",
     1, "NetRunner",
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Name, k40);
       EXPECT_EQ(At(b, 0).Host.substr(0, 14), "h.example:2424");  // 40 bytes: the text and the slot's zeros
       EXPECT_EQ(At(b, 0).Host.size(), 40u);
       EXPECT_EQ(At(b, 0).Port, 23);
       EXPECT_EQ(At(b, 0).Username, "u");
     }},
    {"MTelnetRecordsAndTheirFields", "mtelnet",
     R"({"records": [["Board One", "ANSI", "one.example:2323", "01-02-03", "pw", "me"],
                     ["Board Two", "", "two.example", "", "", ""]]})",
     2, "mTelnet",
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Name, "Board One");
       EXPECT_EQ(At(b, 0).Host, "one.example:2323");  // no port is split off
       EXPECT_EQ(At(b, 0).Port, 23);
       EXPECT_EQ(At(b, 0).Username, "me");
       EXPECT_EQ(At(b, 0).Password, "pw");
       EXPECT_EQ(At(b, 0).TermType, "ANSI-BBS");
       EXPECT_EQ(At(b, 0).Notes, "Imported from mTelnet phonebook (date: 01-02-03) (possible terminal type: ANSI)");
       EXPECT_EQ(At(b, 1).Notes, "Imported from mTelnet phonebook");
     }},
    {"MTelnetSizeNotAMultipleOfTheRecordGivesNothing", "mtelnet",
     R"({"records": [["One", "", "a", "", "", ""], ["Two", "", "b", "", "", ""]], "tail": "x"})", 0, "",
     [](const TPhonebook&) {}},
    {"MTelnetEmptyNameIsSkippedAndFieldsStayInTheirSlots", "mtelnet",
     R"({"records": [["", "", "skipped", "", "", ""],
                     [[255, "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN"], "VT100xxxx", [99, "h"], "", "", ""]]})",
     1, "mTelnet",
     [](const TPhonebook& b) {
       EXPECT_EQ(At(b, 0).Name, std::string(51, 'N'));
       EXPECT_EQ(At(b, 0).Notes, "Imported from mTelnet phonebook (possible terminal type: VT100xxxx)");
       EXPECT_EQ(At(b, 0).Host, std::string("h") + std::string(59, '\0'));  // cut at the slot's 60
     }},
};

class BinaryPhonebooksTest : public ::testing::TestWithParam<BinaryRow> {
 protected:
  TempDir Dir;
};

TEST_P(BinaryPhonebooksTest, Rows) {
  const BinaryRow& row = GetParam();
  const std::string path = Dir.File("phonebook.bin");
  PeerResult run = RunPeer({"python3", "-c", kWriter, row.Kind, path, row.Spec});
  ASSERT_EQ(run.ExitCode, 0) << "python3 is needed for this test: " << run.Output;
  TPhonebook book(Dir.File("korvan.ini"));
  std::string source, error;
  EXPECT_EQ(ImportFromFile(book, path, source, error), row.Count);
  EXPECT_EQ(source, row.Source);
  EXPECT_EQ(error, "");
  ASSERT_EQ(book.Count(), row.Count);
  row.Check(book);
}

INSTANTIATE_TEST_SUITE_P(Rows, BinaryPhonebooksTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(BinaryPhonebooksLimitTest, MTelnetReadsAtMostTwoHundredRecords) {
  std::string record(197, '\0');
  record[0] = 4;
  record.replace(1, 4, "Name");
  std::string data;
  for (int i = 0; i < 201; ++i) data += record;
  TPhonebook book("unused.ini");
  EXPECT_EQ(ImportMTelnetData(book, data), 200);
}

struct SplitRow {
  const char* Text;
  const char* Host;
  uint16_t Port;
};

TEST(SplitHostPortTest, OnlyAValidPortAfterTheLastColonIsSplitOff) {
  const SplitRow rows[] = {
      {"myhost:2323", "myhost", 2323},  {"myhost:0", "myhost:0", 23},      {"myhost:99999", "myhost:99999", 23},
      {"myhost:", "myhost:", 23},       {"myhost:23a", "myhost:23a", 23},  {"a:b:2424", "a:b", 2424},
      {"myhost:65535", "myhost", 65535}, {"myhost:000000000023", "myhost", 23}, {"myhost:-5", "myhost:-5", 23},
      {"plain", "plain", 23},
  };
  for (const SplitRow& row : rows) {
    std::string host;
    uint16_t port = 23;
    SplitHostPort(row.Text, host, port);
    EXPECT_EQ(host, row.Host) << row.Text;
    EXPECT_EQ(port, row.Port) << row.Text;
  }
}

}  // namespace
