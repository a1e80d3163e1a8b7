// Zmodem framing: exact header bytes, the escaping both ways, and the
// decoder's handling of damaged, escaped, oversized and cancelled frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/uZmodemFrame.h"

using namespace zm;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Decoded {
  std::vector<TZHeader> Headers;
  std::vector<Bytes> Packets;
  std::vector<uint8_t> Ends;
  int Bad = 0, Cancels = 0;
};

// Feeds In byte by byte, or (InRuns) taking runs of plain data at once.
Decoded Decode(const Bytes& in, TZmodemDecoder& d, bool inRuns) {
  Decoded r;
  for (size_t i = 0; i < in.size();) {
    if (inRuns)
      if (const size_t n = d.TakePlainRun(in.data() + i, in.size() - i)) {
        i += n;
        continue;
      }
    switch (d.Feed(in[i++])) {
      case TZmodemDecoder::TResult::Header: r.Headers.push_back(d.Header()); break;
      case TZmodemDecoder::TResult::GoodSubpacket:
        r.Packets.emplace_back(d.Packet(), d.Packet() + d.PacketLength());
        r.Ends.push_back(d.EndType());
        break;
      case TZmodemDecoder::TResult::BadSubpacket: ++r.Bad; break;
      case TZmodemDecoder::TResult::Cancelled: ++r.Cancels; break;
      case TZmodemDecoder::TResult::None: break;
    }
  }
  return r;
}

// Every stream is decoded both ways, from the same decoder state: taking
// runs must find the same headers, subpackets, faults and cancels.
Decoded DecodeAll(const Bytes& in, TZmodemDecoder& d) {
  TZmodemDecoder runs = d;
  const Decoded inRuns = Decode(in, runs, true);
  const Decoded r = Decode(in, d, false);
  EXPECT_EQ(inRuns.Headers.size(), r.Headers.size());
  for (size_t i = 0; i < std::min(inRuns.Headers.size(), r.Headers.size()); ++i) {
    EXPECT_EQ(inRuns.Headers[i].Type, r.Headers[i].Type);
    EXPECT_EQ(inRuns.Headers[i].P, r.Headers[i].P);
  }
  EXPECT_EQ(inRuns.Packets, r.Packets);
  EXPECT_EQ(inRuns.Ends, r.Ends);
  EXPECT_EQ(inRuns.Bad, r.Bad);
  EXPECT_EQ(inRuns.Cancels, r.Cancels);
  return r;
}

Decoded DecodeAll(const Bytes& in) {
  TZmodemDecoder d;
  return DecodeAll(in, d);
}

Bytes AllBytes() {
  Bytes b(256);
  for (int i = 0; i < 256; ++i) b[size_t(i)] = uint8_t(i);
  return b;
}

}  // namespace

TEST(ZmodemFrame, HexHeadersAreExact) {
  struct Row {
    const char* Name;
    TZHeader Header;
    std::string Expected;
  };
  // The ZRINIT line is what lrzsz's rz itself sends for the same flags.
  const Row rows[] = {
      {"ZRINIT", {ZRINIT, {0, 0, 0, 0x23}}, "**\x18" "B0100000023be50\r\n\x11"},
      {"ZACK ends without XON", TZHeader::At(ZACK, 3000), "**\x18" "B03b80b0000"},
      {"ZFIN ends without XON", {ZFIN, {0, 0, 0, 0}}, "**\x18" "B0800000000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Bytes out;
    TZmodemEncoder::AppendHexHeader(out, row.Header);
    const std::string text(out.begin(), out.end());
    ASSERT_EQ(text.compare(0, row.Expected.size(), row.Expected), 0) << text;
    const bool xon = row.Header.Type != ZACK && row.Header.Type != ZFIN;
    EXPECT_EQ(text.size(), 4u + 14u + 2u + (xon ? 1u : 0u));
    EXPECT_EQ(text.substr(text.size() - (xon ? 3 : 2)), xon ? "\r\n\x11" : "\r\n");
    const Decoded d = DecodeAll(out);
    ASSERT_EQ(d.Headers.size(), 1u);
    EXPECT_EQ(d.Headers[0].Type, row.Header.Type);
    EXPECT_EQ(d.Headers[0].P, row.Header.P);
  }
}

TEST(ZmodemFrame, EscapingOfSpecialBytes) {
  struct Row {
    const char* Name;
    bool EscapeCtl;
    uint8_t In;
    Bytes Out;
  };
  const Row rows[] = {
      {"FF as ZRUB1", false, 0xFF, {ZDLE, 'm'}},
      {"ZDLE", false, ZDLE, {ZDLE, 0x58}},
      {"CR always", false, 0x0D, {ZDLE, 0x4D}},
      {"CR high bit", false, 0x8D, {ZDLE, 0xCD}},
      {"XON high bit", false, 0x91, {ZDLE, 0xD1}},
      {"DLE", false, 0x10, {ZDLE, 0x50}},
      {"ctl plain without ESCCTL", false, 0x01, {0x01}},
      {"ctl with ESCCTL", true, 0x01, {ZDLE, 0x41}},
      {"DEL plain", true, 0x7F, {0x7F}},
      {"ZDLE|0x80 plain", false, 0x98, {0x98}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TZmodemEncoder enc;
    enc.SetEscapeCtl(row.EscapeCtl);
    Bytes out;
    enc.AppendSubpacket(out, &row.In, 1, ZCRCW);
    ASSERT_GE(out.size(), row.Out.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + long(row.Out.size())), row.Out);
  }
}

TEST(ZmodemFrame, SubpacketsRoundTripEveryByte) {
  for (bool escapeCtl : {false, true}) {
    SCOPED_TRACE(escapeCtl ? "ESCCTL" : "plain");
    TZmodemEncoder enc;
    enc.SetEscapeCtl(escapeCtl);
    Bytes stream;
    enc.AppendBinaryHeader(stream, TZHeader::At(ZDATA, 0x12345678));
    const Bytes all = AllBytes();
    enc.AppendSubpacket(stream, all.data(), all.size(), ZCRCG);
    enc.AppendSubpacket(stream, all.data() + 200, 56, ZCRCQ);
    enc.AppendSubpacket(stream, nullptr, 0, ZCRCE);
    const Decoded d = DecodeAll(stream);
    ASSERT_EQ(d.Headers.size(), 1u);
    EXPECT_EQ(d.Headers[0].Position(), 0x12345678u);
    ASSERT_EQ(d.Packets.size(), 3u);
    EXPECT_EQ(d.Packets[0], all);
    EXPECT_EQ(d.Packets[1], Bytes(all.begin() + 200, all.end()));
    EXPECT_TRUE(d.Packets[2].empty());
    EXPECT_EQ(d.Ends, (Bytes{ZCRCG, ZCRCQ, ZCRCE}));
    EXPECT_EQ(d.Bad, 0);
  }
}

TEST(ZmodemFrame, DecoderFaults) {
  TZmodemEncoder enc;
  const Bytes payload = B("payload");
  auto dataFrame = [&](const TZHeader& h) {
    Bytes s;
    enc.AppendBinaryHeader(s, h);
    enc.AppendSubpacket(s, payload.data(), payload.size(), ZCRCW);
    return s;
  };
  struct Row {
    const char* Name;
    Bytes Stream;
    size_t Headers, Packets;
    int Bad, Cancels;
  };
  std::vector<Row> rows;
  {
    Bytes s;
    TZmodemEncoder::AppendHexHeader(s, TZHeader::At(ZRPOS, 5));
    s[10] ^= 1;  // one digit of P0 wrong: the CRC no longer matches
    rows.push_back({"hex header with a wrong CRC is ignored", s, 0, 0, 0, 0});
  }
  {
    Bytes s = dataFrame(TZHeader::At(ZDATA, 0));
    s[4] ^= 0x01;  // inside the header: the data after it is not taken
    rows.push_back({"damaged ZDATA header drops its data", s, 0, 0, 0, 0});
  }
  {
    Bytes s = dataFrame(TZHeader::At(ZDATA, 0));
    *std::search(s.begin(), s.end(), payload.begin(), payload.end()) ^= 0x20;  // inside the payload
    rows.push_back({"damaged data is a bad subpacket", s, 1, 0, 1, 0});
  }
  {
    // A CRC-32 whose bytes need escaping: data chosen until one does.
    Bytes s;
    enc.AppendBinaryHeader(s, TZHeader::At(ZDATA, 0));
    for (uint32_t n = 0;; ++n) {
      Bytes data = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16)};
      Bytes sub;
      enc.AppendSubpacket(sub, data.data(), data.size(), ZCRCE);
      size_t dataLen = 0;
      for (size_t i = 0; i < sub.size(); ++i)
        if (sub[i] == ZDLE && sub[i + 1] == ZCRCE) dataLen = i + 2;
      if (sub.size() - dataLen > 4) {
        s.insert(s.end(), sub.begin(), sub.end());
        break;
      }
    }
    rows.push_back({"escaped CRC bytes", s, 1, 1, 0, 0});
  }
  {
    // A CRC-16 binary header ("A") with a CRC-16 subpacket, as old senders use.
    Bytes s = {ZPAD, ZDLE, ZBIN, ZDATA, 0, 0, 0, 0};
    const uint8_t hdr[5] = {ZDATA, 0, 0, 0, 0};
    uint16_t crc = 0;
    for (uint8_t b : hdr)
      for (int i = 0; i < 8; ++i) crc = uint16_t((crc << 1) ^ ((((crc >> 15) ^ (b >> (7 - i))) & 1) ? 0x1021 : 0));
    s.push_back(uint8_t(crc >> 8));
    s.push_back(uint8_t(crc));
    Bytes data = {'h', 'i', ZCRCE};
    crc = 0;
    for (uint8_t b : data)
      for (int i = 0; i < 8; ++i) crc = uint16_t((crc << 1) ^ ((((crc >> 15) ^ (b >> (7 - i))) & 1) ? 0x1021 : 0));
    s.insert(s.end(), {'h', 'i', ZDLE, ZCRCE, uint8_t(crc >> 8), uint8_t(crc)});
    rows.push_back({"CRC-16 header and subpacket", s, 1, 1, 0, 0});
  }
  {
    Bytes s;
    enc.AppendBinaryHeader(s, TZHeader::At(ZDATA, 0));
    s.insert(s.end(), TZmodemDecoder::kMaxSubpacket + 10, 'x');
    rows.push_back({"over-long subpacket is refused", s, 1, 0, 1, 0});
  }
  {
    Bytes s;
    enc.AppendBinaryHeader(s, TZHeader::At(ZDATA, 0));
    s.insert(s.end(), {'a', 'b', ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, ZDLE});
    rows.push_back({"row of CAN cancels", s, 1, 0, 0, 1});
  }
  {
    Bytes s = dataFrame(TZHeader::At(ZDATA, 0));
    Bytes split;
    for (uint8_t b : s) {  // flow-control bytes sprinkled in are dropped
      split.push_back(b);
      split.push_back(XON);
    }
    rows.push_back({"XON between every byte", split, 1, 1, 0, 0});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const Decoded d = DecodeAll(row.Stream);
    EXPECT_EQ(d.Headers.size(), row.Headers);
    EXPECT_EQ(d.Packets.size(), row.Packets);
    EXPECT_EQ(d.Bad, row.Bad);
    EXPECT_EQ(d.Cancels, row.Cancels);
  }
}

TEST(ZmodemFrame, DecoderRecoversAfterDamage) {
  // After a damaged subpacket the decoder hunts; the next header is read.
  TZmodemEncoder enc;
  Bytes s;
  const Bytes data = B("0123456789");
  enc.AppendBinaryHeader(s, TZHeader::At(ZDATA, 0));
  enc.AppendSubpacket(s, data.data(), data.size(), ZCRCG);
  *std::search(s.begin(), s.end(), data.begin(), data.end()) ^= 0x04;
  enc.AppendSubpacket(s, data.data(), data.size(), ZCRCG);  // dropped while hunting
  enc.AppendBinaryHeader(s, TZHeader::At(ZDATA, 0));
  enc.AppendSubpacket(s, data.data(), data.size(), ZCRCE);
  const Decoded d = DecodeAll(s);
  EXPECT_EQ(d.Bad, 1);
  EXPECT_EQ(d.Headers.size(), 2u);
  ASSERT_EQ(d.Packets.size(), 1u);
  EXPECT_EQ(d.Packets[0], data);
}
