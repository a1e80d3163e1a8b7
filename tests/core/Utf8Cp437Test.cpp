// CP437 and UTF-8 conversion against an independent reference: the text
// below is code page 437's bytes 128..255 as printed by Python's cp437 codec.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/uUtf8Cp437.h"

namespace {

const char* const kCp437HighHalf =
    "ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒ"
    "áíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
    "└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
    "αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■ ";

std::vector<uint8_t> DecodeAll(TUtf8ToCp437Decoder& d, const std::string& bytes) {
  std::vector<uint8_t> out;
  uint8_t buf[2];
  for (unsigned char b : bytes) {
    int n = d.Decode(b, buf);
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

}  // namespace

TEST(Cp437Test, TableAgreesWithTheReferenceBothWays) {
  std::string rendered;
  for (int b = 128; b < 256; ++b) rendered += CodePointToUtf8(Cp437ToUnicode(uint8_t(b)));
  EXPECT_EQ(rendered, std::string(kCp437HighHalf));

  TUtf8ToCp437Decoder d;
  std::vector<uint8_t> back = DecodeAll(d, kCp437HighHalf);
  ASSERT_EQ(back.size(), 128u);
  for (int i = 0; i < 128; ++i) EXPECT_EQ(back[size_t(i)], 128 + i) << "byte " << 128 + i;
  for (int b = 1; b < 128; ++b) EXPECT_EQ(Cp437ToUnicode(uint8_t(b)), uint32_t(b));
}

TEST(Cp437Test, CodePointToUtf8UsesTheShortestForm) {
  EXPECT_EQ(CodePointToUtf8(0x41), "A");
  EXPECT_EQ(CodePointToUtf8(0x7FF), "\xDF\xBF");
  EXPECT_EQ(CodePointToUtf8(0x800), "\xE0\xA0\x80");
  EXPECT_EQ(CodePointToUtf8(0xFFFF), "\xEF\xBF\xBF");
  EXPECT_EQ(CodePointToUtf8(0x1F600), "\xF0\x9F\x98\x80");
}

TEST(Utf8DecoderTest, StreamCases) {
  struct Row {
    const char* Name;
    std::string In;
    std::vector<uint8_t> Out;
  };
  const Row rows[] = {
      {"e acute", "\xC3\xA9", {130}},
      {"full block", "\xE2\x96\x88", {219}},
      {"euro has no CP437 form", "\xE2\x82\xAC", {'?'}},
      {"cut short by ASCII", "\xC3\x41", {'?', 0x41}},
      {"cut short by a new lead byte", "\xC3\xC3\xA9", {'?', 130}},
      {"stray continuation passes", "\xA9", {169}},
      {"high bytes pass", "\xF8\xFF", {0xF8, 0xFF}},
      {"eight braille dots", "\xE2\xA3\xBF", {219}},
      {"one braille dot", "\xE2\xA0\x81", {176}},
      {"three braille dots", "\xE2\xA0\x87", {177}},
      {"white square, three bits", "\xE2\x96\xA1", {177}},
      {"smiley is not approximated", "\xE2\x98\xBA", {'?'}},
      {"star", "\xE2\x98\x85", {'*'}},
      {"legacy computing block, three bits", "\xF0\x9F\xAC\x87", {177}},
      {"shade itself stays exact", "\xE2\x96\x92", {177}},
      {"white square bracket", "\xE2\x9F\xA6", {'['}},
  };
  for (const Row& r : rows) {
    TUtf8ToCp437Decoder d;
    EXPECT_EQ(DecodeAll(d, r.In), r.Out) << r.Name;
  }
}

TEST(Utf8DecoderTest, ACharacterSplitAcrossChunksStillDecodes) {
  TUtf8ToCp437Decoder d;
  EXPECT_TRUE(DecodeAll(d, "\xE2\x94").empty());
  EXPECT_EQ(DecodeAll(d, "\x80"), std::vector<uint8_t>{196});
  d.Reset();
  EXPECT_TRUE(DecodeAll(d, "\xE2").empty());
  d.Reset();  // a reset forgets the partial character
  EXPECT_EQ(DecodeAll(d, "A"), std::vector<uint8_t>{'A'});
}

TEST(Utf16Cp437Test, Cases) {
  struct Row {
    const char* Name;
    std::string In;
    bool BigEndian;
    std::string Out;
  };
  const Row rows[] = {
      {"little endian", std::string("A\0\xE9\0", 4), false, "A\x82"},
      {"big endian", std::string("\0A\0\xE9", 4), true, "A\x82"},
      {"box drawing", std::string("\x00\x25", 2), false, "\xC4"},
      {"surrogate pair is one character", std::string("\x3E\xD8\x07\xDF", 4), false, "\xB1"},
      {"lone high surrogate", std::string("\x3D\xD8" "A\0", 4), false, "?A"},
      {"lone low surrogate", std::string("\x00\xDE", 2), false, "?"},
      {"odd last byte dropped", std::string("A\0B", 3), false, "A"},
  };
  for (const Row& r : rows) EXPECT_EQ(Utf16ToCp437(r.In, r.BigEndian), r.Out) << r.Name;
}
