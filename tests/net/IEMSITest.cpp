// IEMSI: byte-exact packets we send, and the detector on the received stream
// (what passes on to the screen, which flags rise), including split feeds,
// extra asterisks and over-long packets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/uIEMSI.h"

namespace {

TEST(IemsiBuild, ShortPacketsAreByteExact) {
  EXPECT_EQ(BuildEmsiShort("IRQ"), "**EMSI_IRQ8E08\r");
  EXPECT_EQ(BuildEmsiShort("ACK"), "**EMSI_ACKA490\r");
}

TEST(IemsiBuild, IciForAKnownEntryIsByteExact) {
  // CRC-32 worked out independently (zlib's CRC-32 with the final inversion undone).
  std::string data = BuildIemsiIci("sysop", "secret", 80, 24);
  EXPECT_EQ(data, "{sysop}{sysop}{}{}{}{secret}{}{ANSI,24,80,0}{ZMO}{}{}{KORVAN,1.0}{}");
  EXPECT_EQ(BuildEmsiPacket("ICI", data),
            "**EMSI_ICI0043{sysop}{sysop}{}{}{}{secret}{}{ANSI,24,80,0}{ZMO}{}{}{KORVAN,1.0}{}"
            "2D9FFFAF\r");
}

TEST(IemsiBuild, EmptyDataAndCrcDefinitions) {
  EXPECT_EQ(Crc32Iemsi(""), 0xFFFFFFFFu);  // no final inversion
  EXPECT_EQ(Crc16Xmodem("123456789"), 0x31C3);
  EXPECT_EQ(BuildEmsiPacket("ISM", "").substr(0, 14), "**EMSI_ISM0000");
}

struct DetectRow {
  const char* label;
  std::vector<std::string> feeds;  // fed in turn, as separate chunks
  std::string passed;              // everything handed on to the screen
  bool ici, ack;
};

std::string Feed(TIEMSIResponder& r, const std::vector<std::string>& feeds) {
  std::vector<uint8_t> out;
  for (const std::string& f : feeds)
    for (unsigned char c : f) r.ProcessByte(c, out);
  return std::string(out.begin(), out.end());
}

std::string LongPacket(const std::string& type, int len) {
  return BuildEmsiPacket(type, std::string(len, 'x'));
}

TEST(IemsiDetector, Table) {
  const std::string isi = BuildEmsiPacket("ISI", "{Board}{Somewhere}");
  const DetectRow rows[] = {
      {"plain text passes", {"Hello, caller\r\n"}, "Hello, caller\r\n", false, false},
      {"lone star released by next byte", {"a*", "b"}, "a*b", false, false},
      {"request swallowed", {"Login\r\n**EMSI_IRQ8E08\r"}, "Login\r\n", true, false},
      {"request split across feeds", {"**EM", "SI_IR", "Q8E", "08", "\r!"}, "!", true, false},
      {"three stars: first passes", {"***EMSI_IRQ8E08\r"}, "*", true, false},
      {"five stars: three pass", {"*****EMSI_IRQ8E08\r"}, "***", true, false},
      {"lower-case hex accepted", {"**EMSI_IRQ8e08\r"}, "", true, false},
      {"wrong CRC still accepted", {"**EMSI_IRQ0000\r"}, "", true, false},
      {"ISI asks for ACK", {isi}, "", false, true},
      {"ISM with empty data", {BuildEmsiPacket("ISM", "")}, "", false, true},
      {"our own ACK echoed sets nothing", {"**EMSI_ACKA490\r"}, "", false, false},
      {"unknown type restarts at last letter", {"**EMSI_INQ"}, "**EMSI_INQ", false, false},
      {"broken prefix released", {"**EMX"}, "**EMX", false, false},
      {"no CR after CRC releases", {"**EMSI_IRQ8E08x"}, "**EMSI_IRQ8E08x", false, false},
      {"CR inside data is data", {BuildEmsiPacket("ISI", "a\rb")}, "", false, true},
      {"largest data taken", {LongPacket("ISI", 2174)}, "", false, true},
      {"over-long data released",
       {LongPacket("ISI", 2175)},
       LongPacket("ISI", 2175),
       false,
       false},
      {"star inside broken packet restarts", {"**EMSI_IR*", "*EMSI_IRQ8E08\r"}, "**EMSI_IR", true, false},
  };
  for (const DetectRow& row : rows) {
    TIEMSIResponder r;
    EXPECT_EQ(Feed(r, row.feeds), row.passed) << row.label;
    EXPECT_EQ(r.SendIciWanted, row.ici) << row.label;
    EXPECT_EQ(r.SendAckWanted, row.ack) << row.label;
  }
}

TEST(IemsiDetector, ResetDropsHeldBytesAndFlags) {
  TIEMSIResponder r;
  EXPECT_EQ(Feed(r, {"**EMSI_IRQ8E08\r", "**EMSI_IS"}), "");
  EXPECT_TRUE(r.SendIciWanted);
  r.Reset();
  EXPECT_FALSE(r.SendIciWanted);
  EXPECT_EQ(Feed(r, {"I0000FFFFFFFF\r"}), "I0000FFFFFFFF\r");
  EXPECT_FALSE(r.SendAckWanted);
}

TEST(IemsiDetector, FlagsStayUntilCleared) {
  TIEMSIResponder r;
  Feed(r, {"**EMSI_IRQ8E08\rtext"});
  EXPECT_TRUE(r.SendIciWanted);
  r.SendIciWanted = false;
  Feed(r, {"more text"});
  EXPECT_FALSE(r.SendIciWanted);
}

}  // namespace
