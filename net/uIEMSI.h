// IEMSI (interactive EMSI) on the caller's side: a detector that watches the
// received stream for EMSI_IRQ, EMSI_ISI and EMSI_ISM, swallows complete
// packets, passes every other byte on unchanged and raises a flag for each
// reply the owner has to send; plus the builders of the packets we send. It
// never sends anything itself and knows nothing of phonebooks or transports.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class TIEMSIResponder {
 public:
  static constexpr int kHeldMax = 2200;  // longest packet held back from the stream

  TIEMSIResponder() = default;

  // Forget the packet being matched (its held bytes are dropped) and both flags.
  void Reset();

  // Feed one received byte; the bytes to pass on to the next stage in its
  // place are appended to out (none while a packet is being matched, the
  // byte itself normally, held bytes first when a match fails).
  void ProcessByte(uint8_t b, std::vector<uint8_t>& out);
  // How many leading bytes of Data ProcessByte would hand on unchanged with
  // nothing matched: up to the first "*" while no packet is being matched.
  size_t PlainRun(const uint8_t* data, size_t count) const {
    if (FState != dsIdle) return 0;
    const void* star = std::memchr(data, '*', count);
    return star ? size_t(static_cast<const uint8_t*>(star) - data) : count;
  }

  // Set when a packet is complete; the owner clears the flag before replying.
  bool SendIciWanted = false;  // EMSI_IRQ: answer with an ICI packet
  bool SendAckWanted = false;  // EMSI_ISI or EMSI_ISM: answer with EMSI_ACK

 private:
  enum TDetectState {
    dsIdle = 0, dsPrefix, dsType, dsCrc16, dsLength, dsData, dsCrc32, dsEnd
  };

  void ClearDetector();
  void Hold(uint8_t b);
  // Held bytes (all, or all but the newest) go out, then b is read afresh.
  void Release(uint8_t b, bool butLast, std::vector<uint8_t>& out);
  void Idle(uint8_t b, std::vector<uint8_t>& out);
  void Complete();

  TDetectState FState = dsIdle;
  uint8_t FHeld[kHeldMax] = {};
  int FHeldCount = 0;
  int FMatched = 0;       // characters of "**EMSI_" matched
  std::string FType;      // packet type letters so far
  int FHexCount = 0;      // hexadecimal digits of the current field
  uint32_t FHexValue = 0;
  int FDataLen = 0;       // announced data length of a long packet
  int FDataCount = 0;     // data bytes collected
};

// The data of an ICI packet: user name (also as alias), password, terminal
// "ANSI,rows,cols,0", protocols "ZMO", software "KORVAN,1.0"; name and
// password go in unchanged.
std::string BuildIemsiIci(const std::string& name, const std::string& password, int cols,
                          int rows);
// "**EMSI_" type, 4-digit length, data, 8-digit CRC-32, CR.
std::string BuildEmsiPacket(const std::string& packetType, const std::string& data);
// "**EMSI_" type, 4-digit CRC-16, CR.
std::string BuildEmsiShort(const std::string& packetType);

// CRC-16/XMODEM and the EMSI CRC-32 (start $FFFFFFFF, no final inversion)
// over the bytes of s.
uint16_t Crc16Xmodem(const std::string& s);
uint32_t Crc32Iemsi(const std::string& s);
