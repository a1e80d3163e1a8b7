#include "net/uZmodemFrame.h"

#include <algorithm>

#include "net/uCrc.h"

namespace zm {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(uint8_t b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  return -1;
}

bool IsFlowControl(uint8_t b) { return b == XON || b == XOFF || b == (XON | 0x80) || b == (XOFF | 0x80); }

}  // namespace

// ---------------------------------------------------------------- encoding

TZmodemEncoder::TEscapeTable TZmodemEncoder::BuildEscapeTable(bool escapeCtl) {
  TEscapeTable t{};
  for (int b = 0; b < 256; ++b) {
    const int low7 = b & 0x7F;
    uint8_t code = 0;
    if (b == 0xFF)
      code = ZRUB1;
    else if (b == ZDLE || low7 == DLE || low7 == XON || low7 == XOFF || low7 == CR)
      code = uint8_t(b ^ 0x40);
    else if (escapeCtl && low7 < 0x20)
      code = uint8_t(b ^ 0x40);
    t[b] = code;
  }
  return t;
}

const TZmodemEncoder::TEscapeTable TZmodemEncoder::kEscapeTable = TZmodemEncoder::BuildEscapeTable(false);
const TZmodemEncoder::TEscapeTable TZmodemEncoder::kEscapeCtlTable = TZmodemEncoder::BuildEscapeTable(true);

void TZmodemEncoder::AppendEscaped(std::vector<uint8_t>& out, const uint8_t* data, size_t count) const {
  // Worst case every byte doubles; size once, fill through a pointer.
  const size_t start = out.size();
  out.resize(start + 2 * count);
  uint8_t* w = out.data() + start;
  const TEscapeTable& esc = *FEscape;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = data[i];
    const uint8_t code = esc[b];
    if (code == 0) {
      *w++ = b;
    } else {
      *w++ = ZDLE;
      *w++ = code;
    }
  }
  out.resize(size_t(w - out.data()));
}

void TZmodemEncoder::AppendHexHeader(std::vector<uint8_t>& out, const TZHeader& h) {
  uint8_t raw[7] = {h.Type, h.P[0], h.P[1], h.P[2], h.P[3], 0, 0};
  const uint16_t crc = Crc16Block(raw, 5);
  raw[5] = uint8_t(crc >> 8);
  raw[6] = uint8_t(crc);
  out.insert(out.end(), {ZPAD, ZPAD, ZDLE, ZHEX});
  for (uint8_t b : raw) {
    out.push_back(uint8_t(kHexDigits[b >> 4]));
    out.push_back(uint8_t(kHexDigits[b & 15]));
  }
  out.push_back(CR);
  out.push_back(LF);
  if (h.Type != ZACK && h.Type != ZFIN) out.push_back(XON);
}

void TZmodemEncoder::AppendBinaryHeader(std::vector<uint8_t>& out, const TZHeader& h) const {
  uint8_t raw[9] = {h.Type, h.P[0], h.P[1], h.P[2], h.P[3]};
  const uint32_t crc = Crc32Block(raw, 5);
  for (int i = 0; i < 4; ++i) raw[5 + i] = uint8_t(crc >> (8 * i));
  out.insert(out.end(), {ZPAD, ZDLE, ZBIN32});
  AppendEscaped(out, raw, sizeof raw);
}

void TZmodemEncoder::AppendSubpacket(std::vector<uint8_t>& out, const uint8_t* data, size_t count,
                                     uint8_t endType) const {
  AppendEscaped(out, data, count);
  out.push_back(ZDLE);
  out.push_back(endType);
  const uint32_t crc = ~Crc32Raw(&endType, 1, Crc32Raw(data, count));
  const uint8_t c[4] = {uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
  AppendEscaped(out, c, 4);
}

// ---------------------------------------------------------------- decoding

const std::array<bool, 256> TZmodemDecoder::kPlainData = [] {
  std::array<bool, 256> t{};
  for (int b = 0; b < 256; ++b) t[b] = b != ZDLE && !IsFlowControl(uint8_t(b));
  return t;
}();

const std::array<int16_t, 256> TZmodemDecoder::kDataUnescape = [] {
  std::array<int16_t, 256> t{};
  for (int b = 0; b < 256; ++b) {
    const bool end = b == ZCRCE || b == ZCRCG || b == ZCRCQ || b == ZCRCW;
    t[b] = end ? int16_t(-1) : int16_t(Unescape(uint8_t(b)));
  }
  return t;
}();

TZmodemDecoder::TZmodemDecoder() : FPacket(8192) {}

void TZmodemDecoder::Reset() {
  FState = TState::Hunt;
  FSub = TSub::Data;
  FPacketLen = 0;
}

TZmodemDecoder::TResult TZmodemDecoder::FeedSlow(uint8_t b) {
  if (b == ZDLE) {
    if (++FCanRun >= kCancelRun) {
      FCanRun = 0;
      Reset();
      return TResult::Cancelled;
    }
  } else {
    FCanRun = 0;
  }
  switch (FState) {
    case TState::Hunt:
      if (b == ZDLE) FState = TState::AfterZdle;
      return TResult::None;
    case TState::AfterZdle:
      if (IsFlowControl(b)) return TResult::None;
      if (b == ZHEX) {
        FState = TState::Hex;
        FHexCount = 0;
        FNibble = -1;
      } else if (b == ZBIN32 || b == ZBIN) {
        FState = b == ZBIN32 ? TState::Bin32 : TState::Bin16;
        FBinCount = 0;
      } else {
        FState = TState::Hunt;
      }
      return TResult::None;
    case TState::Hex:
      return HexByte(b);
    case TState::Bin32:
    case TState::Bin32Esc:
      return BinaryByte(b, 9, true);
    case TState::Bin16:
    case TState::Bin16Esc:
      return BinaryByte(b, 7, false);
    case TState::Data:
      return DataByte(b);
  }
  return TResult::None;
}

TZmodemDecoder::TResult TZmodemDecoder::HexByte(uint8_t b) {
  if (b == CR || b == LF || b == XON || b == (CR | 0x80) || b == (LF | 0x80) || b == (XON | 0x80))
    return TResult::None;
  const int v = HexValue(b);
  if (v < 0) {
    FState = TState::Hunt;
    return TResult::None;
  }
  if (FNibble < 0) {
    FNibble = v;
    return TResult::None;
  }
  FHex[size_t(FHexCount++)] = uint8_t(FNibble << 4 | v);
  FNibble = -1;
  if (FHexCount < 7) return TResult::None;
  FState = TState::Hunt;
  const uint16_t crc = Crc16Block(FHex.data(), 5);
  if (crc != (uint16_t(FHex[5]) << 8 | FHex[6])) return TResult::None;
  FHeader.Type = FHex[0];
  std::copy_n(FHex.begin() + 1, 4, FHeader.P.begin());
  return TResult::Header;
}

TZmodemDecoder::TResult TZmodemDecoder::BinaryByte(uint8_t b, size_t want, bool crc32) {
  const TState plain = crc32 ? TState::Bin32 : TState::Bin16;
  // Flow-control bytes a modem link inserts are never header bytes: the
  // sender escapes every real one.
  if (IsFlowControl(b)) return TResult::None;
  if (FState == plain) {
    if (b == ZDLE) {
      FState = crc32 ? TState::Bin32Esc : TState::Bin16Esc;
      return TResult::None;
    }
    FBin[FBinCount++] = b;
  } else {
    FBin[FBinCount++] = uint8_t(b ^ 0x40);
    FState = plain;
  }
  if (FBinCount < want) return TResult::None;
  FState = TState::Hunt;
  bool good;
  if (crc32) {
    const uint32_t got = FBin[5] | uint32_t(FBin[6]) << 8 | uint32_t(FBin[7]) << 16 | uint32_t(FBin[8]) << 24;
    good = Crc32Block(FBin.data(), 5) == got;
  } else {
    good = Crc16Block(FBin.data(), 5) == (uint16_t(FBin[5]) << 8 | FBin[6]);
  }
  if (!good) return TResult::None;
  FHeader.Type = FBin[0];
  std::copy_n(FBin.begin() + 1, 4, FHeader.P.begin());
  if (FHeader.Type == ZFILE || FHeader.Type == ZDATA) {
    FState = TState::Data;
    FSub = TSub::Data;
    FPacketLen = 0;
    FCrc32 = crc32;
  }
  return TResult::Header;
}

int TZmodemDecoder::Unescape(uint8_t b) {
  if (IsFlowControl(b) || b == ZDLE) return -1;
  if (b == ZRUB0) return 0x7F;
  if (b == ZRUB1) return 0xFF;
  return (b & 0x60) == 0x40 ? b ^ 0x40 : b;
}

TZmodemDecoder::TResult TZmodemDecoder::DataByte(uint8_t b) {
  switch (FSub) {
    case TSub::Data:
      if (b == ZDLE) {
        FSub = TSub::DataEsc;
        return TResult::None;
      }
      if (IsFlowControl(b)) return TResult::None;
      break;  // a plain byte that did not fit: stored below
    case TSub::DataEsc:
      if (b == ZCRCE || b == ZCRCG || b == ZCRCQ || b == ZCRCW) {
        FEndType = b;
        FSub = TSub::Crc;
        FCrcCount = 0;
        FCrcWant = FCrc32 ? 4 : 2;
        return TResult::None;
      } else {
        const int v = Unescape(b);
        if (v < 0) return TResult::None;
        FSub = TSub::Data;
        b = uint8_t(v);
      }
      break;
    case TSub::Crc:
      if (b == ZDLE) {
        FSub = TSub::CrcEsc;
        return TResult::None;
      }
      if (IsFlowControl(b)) return TResult::None;
      FCrc[size_t(FCrcCount++)] = b;
      return FCrcCount == FCrcWant ? CheckSubpacket() : TResult::None;
    case TSub::CrcEsc: {
      const int v = Unescape(b);
      if (v < 0) return TResult::None;
      FSub = TSub::Crc;
      FCrc[size_t(FCrcCount++)] = uint8_t(v);
      return FCrcCount == FCrcWant ? CheckSubpacket() : TResult::None;
    }
  }
  if (FPacketLen == FPacket.size()) {
    if (FPacket.size() >= kMaxSubpacket) {
      Reset();
      return TResult::BadSubpacket;
    }
    FPacket.resize(std::min(kMaxSubpacket, FPacket.size() * 2 + 1024));
  }
  FPacket[FPacketLen++] = b;
  return TResult::None;
}

TZmodemDecoder::TResult TZmodemDecoder::CheckSubpacket() {
  bool good;
  if (FCrc32) {
    const uint32_t crc = ~Crc32Raw(&FEndType, 1, Crc32Raw(FPacket.data(), FPacketLen));
    good = crc == (FCrc[0] | uint32_t(FCrc[1]) << 8 | uint32_t(FCrc[2]) << 16 | uint32_t(FCrc[3]) << 24);
  } else {
    const uint16_t crc = Crc16Block(&FEndType, 1, Crc16Block(FPacket.data(), FPacketLen));
    good = crc == (uint16_t(FCrc[0]) << 8 | FCrc[1]);
  }
  FSub = TSub::Data;
  // The next subpacket refills the buffer from its start; the delivered one
  // stays readable until then.
  FDeliveredLen = FPacketLen;
  FPacketLen = 0;
  if (!good) {
    Reset();
    return TResult::BadSubpacket;
  }
  // A header follows ZCRCE and ZCRCW; ZCRCG and ZCRCQ go on with data.
  if (FEndType == ZCRCE || FEndType == ZCRCW) FState = TState::Hunt;
  return TResult::GoodSubpacket;
}

}  // namespace zm
