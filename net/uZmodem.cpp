// The engine's shared part: creation, folders, the upload queue, the
// automatic-start filter in front of the decoder, header dispatch, ticks,
// abort and the outgoing control frames. Receiving and sending live in
// uZmodemReceive.cpp and uZmodemSend.cpp.
#include "net/uZmodem.h"

#include <unistd.h>

#include <algorithm>

#include "core/uDebugLog.h"
#include "platform/Tick.h"

using namespace zm;

namespace {

std::string WithTrailingSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

// The standard abort: a row of CAN stops any Zmodem peer, the backspaces
// wipe what a shell may have echoed of it.
constexpr uint8_t kCancelBytes[] = {ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, ZDLE, ZDLE,
                                    BS,   BS,   BS,   BS,   BS,   BS,   BS,   BS};

}  // namespace

TZmodemEngine::TZmodemEngine(const std::string& downloadDir)
    : FWriteBuf(kWriteBufSize), FReadBuf(kMaxBurstBytes) {
  SetDownloadDir(downloadDir);
  ReceiveFolder = DownloadDir;
  FFileInfo.reserve(kFileInfoSize);
}

TZmodemEngine::~TZmodemEngine() {
  if (FRecvFd >= 0) ::close(FRecvFd);
  if (FSendFd >= 0) ::close(FSendFd);
}

uint64_t TZmodemEngine::Now() const { return Clock ? Clock() : platform::TickMs(); }

void TZmodemEngine::SetDownloadDir(const std::string& dir) { DownloadDir = WithTrailingSlash(dir); }
void TZmodemEngine::SetDdofxDir(const std::string& dir) { DdofxDir = WithTrailingSlash(dir); }

void TZmodemEngine::AddUploadFile(const std::string& path) { FSendList.push_back(path); }

std::string TZmodemEngine::GetUploadFile(int index) const {
  if (index < 0 || index >= UploadFileCount()) return {};
  return FSendList[size_t(index)];
}

// ---------------------------------------------------------------- frames out

void TZmodemEngine::SendData(const uint8_t* data, size_t count) {
  if (OnSend && count > 0) OnSend(data, int(count));
}

void TZmodemEngine::SendHexHeader(uint8_t type, uint32_t pos) {
  std::vector<uint8_t> out;
  out.reserve(24);
  TZmodemEncoder::AppendHexHeader(out, TZHeader::At(type, pos));
  SendData(out.data(), out.size());
}

void TZmodemEngine::SendZrinit() {
  // Buffer size 0: the sender may stream without limit.
  TZHeader h{ZRINIT, {0, 0, 0, CANFDX | CANOVIO | CANFC32}};
  std::vector<uint8_t> out;
  TZmodemEncoder::AppendHexHeader(out, h);
  SendData(out.data(), out.size());
}

void TZmodemEngine::CancelSession() {
  SendData(kCancelBytes, sizeof kCancelBytes);
  if (FRecvOpen) FinishReceiveFile(false);
  CloseSendStream();
  EndSession();
}

void TZmodemEngine::EndSession() {
  State = 0;
  Direction = 0;
  FDecoder.Reset();
  FHeldCount = 0;
  FEofSent = false;
  FReceiverWaiting = false;
  FFinSent = false;
  FResendZfile = false;
  FAwaitingAck = false;
  FAwaitNextFile = false;
  FWindowCap = 0;
  FLastAckedBurst = 0;
  FRestartUnseen = false;
}

// ---------------------------------------------------------------- bytes in

void TZmodemEngine::ProcessIncomingByte(uint8_t ch, uint8_t* buf, int& count) {
  count = 0;
  if (FSwallowTail > 0) {
    // A hex header ends with CR, LF and XON, sent with or without their high
    // bit; none of them is text for the screen.
    const uint8_t low7 = ch & 0x7F;
    if (!FDecoder.Busy() && (low7 == CR || low7 == LF || low7 == XON)) {
      --FSwallowTail;
      return;
    }
    FSwallowTail = 0;
  }
  if (FSwallowO > 0) {
    // The sender's closing "OO" follows the end of its ZFIN header.
    if (!FDecoder.Busy() && ch == 'O') {
      --FSwallowO;
      return;
    }
    FSwallowO = 0;
  }
  // While a session is open, the screen sees nothing of it.
  if (Muted()) {
    DecodeByte(ch);
    return;
  }
  if (ch == ZPAD) {
    if (FHeldCount == 0) FHeldSince = Now();
    if (FHeldCount == 3) {
      buf[count++] = FHeld[0];
      FHeld[0] = FHeld[1];
      FHeld[1] = FHeld[2];
      FHeldCount = 2;
    }
    FHeld[FHeldCount++] = ch;
    DecodeByte(ch);
    return;
  }
  if (ch == ZDLE && FHeldCount > 0) {
    // The held "*" belong to a header: never shown.
    FHeldCount = 0;
    DecodeByte(ch);
    return;
  }
  for (int i = 0; i < FHeldCount; ++i) buf[count++] = FHeld[i];
  FHeldCount = 0;
  // A ZDLE without "*" before it is board text, not a header start.
  if (ch != ZDLE) DecodeByte(ch);
  buf[count++] = ch;
}

bool TZmodemEngine::TakeHeldBytes(uint64_t minAgeMs, uint8_t* buf, int& count) {
  count = 0;
  if (FHeldCount == 0 || Muted()) return false;
  if (Now() - FHeldSince < minAgeMs) return false;
  for (int i = 0; i < FHeldCount; ++i) buf[count++] = FHeld[i];
  FHeldCount = 0;
  return true;
}

void TZmodemEngine::DecodeByte(uint8_t b) {
  const bool inHex = FDecoder.InHexHeader();
  const TZmodemDecoder::TResult result = FDecoder.Feed(b);
  if (inHex && !FDecoder.Busy()) FSwallowTail = 3;
  // A receiver waiting for the next file hears the sender is still there.
  if (result != TZmodemDecoder::TResult::None && Direction == 2 && State == 1) FAwaitNextFileAt = Now();
  switch (result) {
    case TZmodemDecoder::TResult::None:
      break;
    case TZmodemDecoder::TResult::Header:
      HandleHeader(FDecoder.Header());
      break;
    case TZmodemDecoder::TResult::GoodSubpacket:
      HandleSubpacket(FDecoder.Packet(), FDecoder.PacketLength(), FDecoder.EndType());
      break;
    case TZmodemDecoder::TResult::BadSubpacket:
      HandleBadSubpacket();
      break;
    case TZmodemDecoder::TResult::Cancelled:
      // A row of CAN: the peer gave up (its cancel key or a crash guard).
      if (State != 0 || Direction != 0) {
        LogLine("Zmodem: the other side cancelled the session");
        OnCancelFromPeer();
      }
      break;
  }
}

void TZmodemEngine::HandleHeader(const TZHeader& h) {
  FLastActivityAt = Now();
  FDiscardData = false;
  switch (h.Type) {
    case ZRQINIT: OnZrqinit(); break;
    case ZRINIT: OnZrinit(h); break;
    case ZACK: OnZack(h); break;
    case ZFILE: OnZfile(); break;
    case ZSKIP: OnZskip(); break;
    case ZABORT:
    case ZCAN: OnCancelFromPeer(); break;
    case ZFIN:
      if (FFinSent || (State != 0 && Direction == 1))
        OnZfinAsSender();
      else
        OnZfinAsReceiver();
      break;
    case ZRPOS: OnZrpos(h); break;
    case ZDATA: OnZdata(h); break;
    case ZEOF: OnZeof(h); break;
    default: break;  // ZNAK and types this engine does not use
  }
}

void TZmodemEngine::HandleSubpacket(const uint8_t* data, size_t count, uint8_t endType) {
  if (FDiscardData) return;
  if (State == 2 && Direction == 2) {
    // The ZFILE information subpacket; bytes beyond its bound are dropped.
    FFileInfo.assign(data, data + std::min(count, kFileInfoSize));
    OpenReceiveFile(FFileInfo.data(), FFileInfo.size());
  } else if (State == 3 && FRecvOpen) {
    ReceiveData(data, count, endType);
  }
}

void TZmodemEngine::HandleBadSubpacket() {
  if (FDiscardData) return;
  ++ErrorCount;
  // Ask the sender to go back to the end of the good data.
  if (State == 3 && FRecvOpen) SendZrpos(ReceivedPos());
}

void TZmodemEngine::OnCancelFromPeer() {
  if (FRecvOpen) FinishReceiveFile(false);
  CloseSendStream();
  EndSession();
}

// ---------------------------------------------------------------- time

void TZmodemEngine::Tick() {
  const uint64_t now = Now();
  if (FBytesIn != FBytesInAtTick) {
    FBytesInAtTick = FBytesIn;
    FLastActivityAt = now;
  }
  // A peer that vanished mid-session (no byte at all for a minute) must not
  // leave the engine swallowing the board's text for ever.
  if (now - FLastActivityAt >= kPeerSilenceMs) {
    if (State >= 2) {
      LogLine("Zmodem: no answer from the other side, session cancelled");
      if (Direction == 1 && SendFileOpen()) {
        FailSendFile(true);
      } else {
        CancelSession();
      }
      return;
    }
    FDecoder.Reset();  // a frame that never ended
  }
  ReceiveTick(now);
  SendTick(now);
}

void TZmodemEngine::Abort() {
  if (State != 0 || Direction != 0) SendData(kCancelBytes, sizeof kCancelBytes);
  if (FRecvOpen) {
    FlushReceiveBuffer();
    CloseReceiveStream();
    FRecvOpen = false;
    if (OnFileDone) OnFileDone(FRecvName, false);
  }
  CloseSendStream();
  FSendList.clear();
  EndSession();
  FRecvSessionEnded = false;
  FSwallowO = 0;
  FSwallowTail = 0;
  FDiscardData = false;
  // The next call starts with full-size subpackets again.
  FFellBackTo1K = false;
}
