#include "net/uIEMSI.h"

#include <cstdio>

#include "net/uCrc.h"

namespace {

constexpr char kPrefix[] = "**EMSI_";
constexpr int kPrefixLen = 7;
constexpr uint8_t kStar = '*';
constexpr uint8_t kCR = 13;
// Room a long packet needs beyond its data: CRC-32 digits, CR and slack.
constexpr int kTrailerRoom = 12;

int HexValue(uint8_t b) {
  if (b >= '0' && b <= '9') return b - '0';
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  if (b >= 'a' && b <= 'f') return b - 'a' + 10;
  return -1;
}

std::string Hex(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, static_cast<unsigned>(value));
  return buf;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

uint16_t Crc16Xmodem(const std::string& s) { return Crc16Block(Bytes(s), s.size()); }
uint32_t Crc32Iemsi(const std::string& s) { return Crc32Raw(Bytes(s), s.size()); }

std::string BuildIemsiIci(const std::string& name, const std::string& password, int cols,
                          int rows) {
  return "{" + name + "}{" + name + "}{}{}{}{" + password + "}{}{ANSI," + std::to_string(rows) +
         "," + std::to_string(cols) + ",0}{ZMO}{}{}{KORVAN,1.0}{}";
}

std::string BuildEmsiPacket(const std::string& packetType, const std::string& data) {
  std::string body = "EMSI_" + packetType + Hex(data.size() % 65536, 4) + data;
  return "**" + body + Hex(Crc32Iemsi(body), 8) + "\r";
}

std::string BuildEmsiShort(const std::string& packetType) {
  std::string body = "EMSI_" + packetType;
  return "**" + body + Hex(Crc16Xmodem(body), 4) + "\r";
}

void TIEMSIResponder::Reset() {
  ClearDetector();
  SendIciWanted = false;
  SendAckWanted = false;
}

void TIEMSIResponder::ClearDetector() {
  FState = dsIdle;
  FHeldCount = 0;
  FMatched = 0;
  FType.clear();
  FHexCount = 0;
  FHexValue = 0;
  FDataLen = 0;
  FDataCount = 0;
}

void TIEMSIResponder::Hold(uint8_t b) {
  if (FHeldCount < kHeldMax) FHeld[FHeldCount++] = b;
}

void TIEMSIResponder::Release(uint8_t b, bool butLast, std::vector<uint8_t>& out) {
  int n = butLast ? FHeldCount - 1 : FHeldCount;
  out.insert(out.end(), FHeld, FHeld + n);
  ClearDetector();
  Idle(b, out);
}

void TIEMSIResponder::Idle(uint8_t b, std::vector<uint8_t>& out) {
  if (b != kStar) {
    out.push_back(b);
    return;
  }
  ClearDetector();
  Hold(b);
  FMatched = 1;
  FState = dsPrefix;
}

void TIEMSIResponder::Complete() {
  if (FType == "IRQ") SendIciWanted = true;
  if (FType == "ISI" || FType == "ISM") SendAckWanted = true;
  ClearDetector();
}

void TIEMSIResponder::ProcessByte(uint8_t b, std::vector<uint8_t>& out) {
  switch (FState) {
    case dsIdle:
      Idle(b, out);
      return;

    case dsPrefix:
      if (b == static_cast<uint8_t>(kPrefix[FMatched])) {
        Hold(b);
        if (++FMatched == kPrefixLen) FState = dsType;
      } else if (b == kStar && FMatched == 2) {
        // A third "*": the oldest one was text, the newest two may still
        // start a packet ("***EMSI_IRQ...").
        out.push_back(kStar);
      } else {
        Release(b, false, out);
      }
      return;

    case dsType:
      if (b < 'A' || b > 'Z') return Release(b, false, out);
      Hold(b);
      FType.push_back(static_cast<char>(b));
      if (FType.size() < 3) return;
      if (FType == "IRQ" || FType == "ACK" || FType == "NAK" || FType == "HBT") {
        FState = dsCrc16;
      } else if (FType == "ICI" || FType == "ISI" || FType == "ISM") {
        FState = dsLength;
      } else {
        Release(b, true, out);
      }
      return;

    case dsCrc16:
    case dsLength:
    case dsCrc32: {
      int v = HexValue(b);
      if (v < 0) return Release(b, false, out);
      Hold(b);
      FHexValue = (FHexValue << 4) | static_cast<uint32_t>(v);
      ++FHexCount;
      if (FState == dsCrc16 && FHexCount == 4) FState = dsEnd;
      if (FState == dsCrc32 && FHexCount == 8) FState = dsEnd;
      if (FState == dsLength && FHexCount == 4) {
        FDataLen = static_cast<int>(FHexValue);
        FHexCount = 0;
        FHexValue = 0;
        if (FDataLen > kHeldMax - FHeldCount - kTrailerRoom) return Release(b, true, out);
        FState = FDataLen == 0 ? dsCrc32 : dsData;
      }
      return;
    }

    case dsData:
      Hold(b);
      if (++FDataCount == FDataLen) FState = dsCrc32;
      return;

    case dsEnd:
      if (b == kCR) return Complete();
      Release(b, false, out);
      return;
  }
}
