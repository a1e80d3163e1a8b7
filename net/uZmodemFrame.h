// Zmodem framing: the protocol's constants, the encoder of hex and binary
// headers and data subpackets (with ZDLE escaping), and the byte-at-a-time
// decoder of received frames. It knows nothing of files or sessions; the
// engine (uZmodem) drives it and decides what each frame means.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zm {

// Framing bytes (the published Zmodem values).
enum TZByte : uint8_t {
  ZPAD = '*',
  ZDLE = 0x18,  // escape character; also CAN
  ZHEX = 'B',
  ZBIN32 = 'C',
  ZBIN = 'A',
  ZCRCE = 'h',  // end of frame
  ZCRCG = 'i',  // frame goes on
  ZCRCQ = 'j',  // frame goes on, ZACK wanted
  ZCRCW = 'k',  // end of frame, ZACK wanted
  ZRUB0 = 'l',  // escaped $7F
  ZRUB1 = 'm',  // escaped $FF
  DLE = 0x10,
  XON = 0x11,
  XOFF = 0x13,
  BS = 0x08,
  CR = 0x0D,
  LF = 0x0A,
};

// Frame types (type byte of a header).
enum TZFrame : uint8_t {
  ZRQINIT = 0,
  ZRINIT = 1,
  ZSINIT = 2,
  ZACK = 3,
  ZFILE = 4,
  ZSKIP = 5,
  ZNAK = 6,
  ZABORT = 7,
  ZFIN = 8,
  ZRPOS = 9,
  ZDATA = 10,
  ZEOF = 11,
  ZCAN = 16,
};

// ZRINIT capability flags (ZF0 = P3).
enum TZRinitFlag : uint8_t { CANFDX = 0x01, CANOVIO = 0x02, CANFC32 = 0x20, ESCCTL = 0x40 };
// ZFILE conversion option ZF0: resume an interrupted file.
constexpr uint8_t ZCRESUM = 3;

// A header: the type byte and P0..P3 (ZF0 is P3; positions have P0 lowest).
struct TZHeader {
  uint8_t Type = 0;
  std::array<uint8_t, 4> P{};
  uint32_t Position() const {
    return P[0] | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
  }
  static TZHeader At(uint8_t type, uint32_t pos) {
    return {type, {uint8_t(pos), uint8_t(pos >> 8), uint8_t(pos >> 16), uint8_t(pos >> 24)}};
  }
};

// Builds outgoing frames into a caller-owned byte vector (appending), so a
// whole header or subpacket leaves in one write.
class TZmodemEncoder {
 public:
  // ESCCTL from the receiver widens the escaping to every control byte.
  void SetEscapeCtl(bool on) { FEscape = on ? &kEscapeCtlTable : &kEscapeTable; }
  bool EscapeCtl() const { return FEscape == &kEscapeCtlTable; }

  // "**" ZDLE "B", type/P0..P3/CRC-16 as lower-case hex, CR LF, XON (not
  // after ZACK and ZFIN).
  static void AppendHexHeader(std::vector<uint8_t>& out, const TZHeader& h);
  // "*" ZDLE "C", the five header bytes and their CRC-32, escaped.
  void AppendBinaryHeader(std::vector<uint8_t>& out, const TZHeader& h) const;
  // Escaped data, ZDLE + end type, escaped CRC-32 of data and end type.
  void AppendSubpacket(std::vector<uint8_t>& out, const uint8_t* data, size_t count,
                       uint8_t endType) const;

 private:
  // Per byte: 0 = send as it is, else the byte to send after ZDLE.
  using TEscapeTable = std::array<uint8_t, 256>;
  static const TEscapeTable kEscapeTable;
  static const TEscapeTable kEscapeCtlTable;
  static TEscapeTable BuildEscapeTable(bool escapeCtl);
  void AppendEscaped(std::vector<uint8_t>& out, const uint8_t* data, size_t count) const;

  const TEscapeTable* FEscape = &kEscapeTable;
};

// The frame decoder. Feed returns what a byte completed; the header or the
// subpacket stays readable until the next Feed.
class TZmodemDecoder {
 public:
  enum class TResult { None, Header, GoodSubpacket, BadSubpacket, Cancelled };

  // Bounds a subpacket: no sender uses more than 8 KiB; anything past this
  // is treated as a damaged subpacket instead of growing memory.
  static constexpr size_t kMaxSubpacket = 32 * 1024;
  // A row of this many CAN bytes is a cancel (no frame ever holds two in a row).
  static constexpr int kCancelRun = 5;

  TZmodemDecoder();

  TResult Feed(uint8_t b) { return TakePlainData(b) ? TResult::None : FeedSlow(b); }
  // The hot path: takes b when it is a plain or simply escaped data byte
  // inside a subpacket (nothing else to decide); false leaves b to Feed.
  bool TakePlainData(uint8_t b) {
    if (FState != TState::Data || FPacketLen >= FPacket.size()) return false;
    if (FSub == TSub::Data) {
      if (kPlainData[b]) {
        FPacket[FPacketLen++] = b;
        FCanRun = 0;
        return true;
      }
      if (b != ZDLE || FCanRun != 0) return false;
      FCanRun = 1;  // the first CAN of a possible cancel row
      FSub = TSub::DataEsc;
      return true;
    }
    if (FSub != TSub::DataEsc || kDataUnescape[b] < 0) return false;
    FPacket[FPacketLen++] = uint8_t(kDataUnescape[b]);
    FSub = TSub::Data;
    FCanRun = 0;
    return true;
  }
  // TakePlainData over the leading bytes of Data, as many as it takes in a
  // row; how many that was. A row of plain bytes is copied in one loop.
  size_t TakePlainRun(const uint8_t* data, size_t count) {
    size_t n = 0;
    while (n < count) {
      if (FState == TState::Data && FSub == TSub::Data) {
        const size_t end = n + std::min(count - n, FPacket.size() - FPacketLen);
        size_t i = n;
        while (i < end && kPlainData[data[i]]) FPacket[FPacketLen++] = data[i++];
        if (i > n) {
          FCanRun = 0;
          n = i;
          continue;
        }
      }
      if (!TakePlainData(data[n])) break;
      ++n;
    }
    return n;
  }

  // Back to hunting for a header (drops a subpacket in progress).
  void Reset();
  // True while not hunting (a header or subpacket is being read).
  bool Busy() const { return FState != TState::Hunt; }
  // Hunting with no CAN just seen: any byte but ZDLE leaves it as it is.
  bool Quiet() const { return FState == TState::Hunt && FCanRun == 0; }
  bool InData() const { return FState == TState::Data; }
  bool InHexHeader() const { return FState == TState::Hex; }

  const TZHeader& Header() const { return FHeader; }
  // After a binary header: whether its subpackets carry a CRC-32.
  bool Crc32() const { return FCrc32; }
  const uint8_t* Packet() const { return FPacket.data(); }
  size_t PacketLength() const { return FDeliveredLen; }
  uint8_t EndType() const { return FEndType; }

 private:
  enum class TState : uint8_t { Hunt, AfterZdle, Hex, Bin32, Bin32Esc, Data, Bin16, Bin16Esc };
  enum class TSub : uint8_t { Data, DataEsc, Crc, CrcEsc };

  // Bytes stored as they are inside subpacket data (not ZDLE, XON, XOFF).
  static const std::array<bool, 256> kPlainData;
  // The data byte a byte after ZDLE stands for; -1 where more is to decide
  // (end types, dropped bytes, another ZDLE).
  static const std::array<int16_t, 256> kDataUnescape;

  TResult FeedSlow(uint8_t b);
  TResult HexByte(uint8_t b);
  TResult BinaryByte(uint8_t b, size_t want, bool crc32);
  TResult DataByte(uint8_t b);
  TResult CheckSubpacket();
  // Decodes the byte after ZDLE inside a subpacket: -1 when it is dropped.
  static int Unescape(uint8_t b);

  TState FState = TState::Hunt;
  TSub FSub = TSub::Data;
  int FCanRun = 0;
  // Hex header: up to 7 decoded bytes (type, P0..P3, CRC-16).
  std::array<uint8_t, 10> FHex{};
  int FHexCount = 0;
  int FNibble = -1;
  // Binary header: up to 9 decoded bytes (type, P0..P3, CRC-32).
  std::array<uint8_t, 9> FBin{};
  size_t FBinCount = 0;
  bool FCrc32 = true;
  TZHeader FHeader;
  std::vector<uint8_t> FPacket;
  size_t FPacketLen = 0;
  size_t FDeliveredLen = 0;
  uint8_t FEndType = 0;
  std::array<uint8_t, 4> FCrc{};
  int FCrcCount = 0;
  int FCrcWant = 0;
};

}  // namespace zm
