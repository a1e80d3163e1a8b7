// Sending: the two ways an upload starts, the file offer, data bursts with
// their acknowledgements, recovery from ZRPOS requests and timeouts (8 KiB
// to 1 KiB subpackets, streaming to one subpacket per ZACK), and the end of
// the session.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/uDebugLog.h"
#include "net/uZmodem.h"

using namespace zm;

namespace {

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TZmodemEngine::StartUpload() {
  if (FSendList.empty()) return;
  Direction = 1;
  State = 1;
  FRecvSessionEnded = false;
  FReceiverWaiting = false;
  FFinSent = false;
  FFellBackTo1K = false;
  FWindowCap = 0;
  FLastAckedBurst = 0;
  SendHexHeader(ZRQINIT);
}

void TZmodemEngine::SendToWaitingReceiver() {
  if (FSendList.empty() || State == 2 || State == 3 || State == 4) return;
  Direction = 1;
  State = 1;
  FRecvSessionEnded = false;
  FFinSent = false;
  if (FReceiverWaiting) {
    FReceiverWaiting = false;
    SendNextFile();
    FResendZfile = true;
  }
}

void TZmodemEngine::CloseSendStream() {
  if (FSendFd >= 0) ::close(FSendFd);
  FSendFd = -1;
}

bool TZmodemEngine::SeekSend(int64_t pos) {
  if (pos < 0 || pos > FSendSize) return false;
  FSendPos = pos;
  return true;
}

void TZmodemEngine::ConfirmPendingEof() {
  if (!FEofSent) return;
  FEofSent = false;
  if (OnFileDone) OnFileDone(FEofName, true);
}

void TZmodemEngine::SendNextFile() {
  while (true) {
    if (FSendList.empty()) {
      SendZfin();
      FFinSent = true;
      FFinSentAt = Now();
      FReceiverWaiting = false;
      State = 5;
      Direction = 0;
      if (OnSessionEnd) OnSessionEnd();
      return;
    }
    const std::string path = FSendList.front();
    FSendList.erase(FSendList.begin());
    ErrorCount = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) continue;  // gone meanwhile: dropped silently
    const int fd = S_ISREG(st.st_mode) ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      LogLine("Zmodem: cannot read " + path + (fd < 0 ? std::string(": ") + std::strerror(errno) : ""));
      if (fd >= 0) ::close(fd);
      if (OnFileDone) OnFileDone(FileNamePart(path), false);
      continue;
    }
    FSendFd = fd;
    FSendPath = path;
    FSendSize = int64_t(st.st_size);
    break;
  }
  FHighestRpos = -1;
  FRestartPos = -1;
  FRestartUnseen = false;
  FRposFallbackCount = 0;
  FRposRepeatCount = 0;
  FSendPos = 0;
  BlockSize = (Allow8K && !FFellBackTo1K && FRemoteBufSize >= 8192) ? 8192 : 1024;
  FWindow = 4;
  // Name, NUL, size, then modification time, mode, serial, files and bytes
  // left all 0, NUL.
  const std::string name = FileNamePart(FSendPath);
  const std::string rest = std::to_string(FSendSize) + " 0 0 0 0 0";
  FZfileData.assign(name.begin(), name.end());
  FZfileData.push_back(0);
  FZfileData.insert(FZfileData.end(), rest.begin(), rest.end());
  FZfileData.push_back(0);
  FLastActivityAt = Now();
  SendZfile();
  State = 4;
}

void TZmodemEngine::SendZfile() {
  FZfileSentAt = Now();
  FResendZfile = false;
  FOut.clear();
  FEncoder.AppendBinaryHeader(FOut, TZHeader{ZFILE, {0, 0, 0, ZCRESUM}});
  FEncoder.AppendSubpacket(FOut, FZfileData.data(), FZfileData.size(), ZCRCW);
  SendData(FOut.data(), FOut.size());
}

void TZmodemEngine::SendFileData(bool syncMark) {
  if (!SendFileOpen()) return;
  FAwaitingAck = false;
  const int b = BlockSize == 8192 ? 8192 : 1024;
  const int largest = kMaxBurstBytes / b;
  if (FWindow < 1) FWindow = 4;
  FWindow = std::min(FWindow, largest);
  if (FWindowCap > 0 && FWindowCap < FWindow) FWindow = FWindowCap;
  int n;
  if (!FStreaming)
    n = 1;
  else if (FRemoteBufSize <= 0)
    n = FWindow;
  else
    n = std::clamp(FRemoteBufSize / b, 1, FWindow);
  FBurstCount = n;
  FBurstStart = FSendPos;

  // The whole burst is read with one call and leaves with one OnSend.
  const size_t want = size_t(std::min<int64_t>(int64_t(n) * b, FSendSize - FSendPos));
  size_t got = 0;
  while (got < want) {
    const ssize_t r = ::pread(FSendFd, FReadBuf.data() + got, want - got, FSendPos + int64_t(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += size_t(r);
  }
  if (got < want) {
    // The file shrank or cannot be read: it fails rather than looping on
    // empty subpackets that never reach its announced end.
    LogLine("Zmodem: cannot read " + FSendPath + (got < want && errno ? std::string(": ") + std::strerror(errno) : ""));
    FailSendFile(false);
    return;
  }
  FOut.clear();
  FEncoder.AppendBinaryHeader(FOut, TZHeader::At(ZDATA, uint32_t(FBurstStart)));
  // A restart opens with an empty subpacket that asks for an acknowledgement:
  // its ZACK tells that the receiver has read past everything sent before.
  FRestartUnseen = syncMark && got > 0;
  if (FRestartUnseen) FEncoder.AppendSubpacket(FOut, nullptr, 0, ZCRCQ);
  const std::string name = FileNamePart(FSendPath);
  size_t offset = 0;
  for (int i = 0; i < n; ++i) {
    const size_t chunk = std::min(size_t(b), got - offset);
    FSendPos += int64_t(chunk);
    const uint8_t end = FSendPos >= FSendSize ? ZCRCE : (i == n - 1 ? ZCRCW : ZCRCG);
    FEncoder.AppendSubpacket(FOut, FReadBuf.data() + offset, chunk, end);
    offset += chunk;
    if (OnProgress) OnProgress(name, FSendPos, FSendSize);
    if (end == ZCRCE) {
      TZmodemEncoder::AppendHexHeader(FOut, TZHeader::At(ZEOF, uint32_t(FSendSize)));
      FEofSent = true;
      FEofName = name;
      FEofSentAt = Now();
      break;
    }
    if (end == ZCRCW) {
      FAwaitingAck = true;
      FAwaitingAckAt = Now();
    }
  }
  SendData(FOut.data(), FOut.size());
}

void TZmodemEngine::CapBurstWindow() {
  const int v = std::max(FLastAckedBurst, 4);
  if (FWindowCap == 0 || v < FWindowCap) FWindowCap = v;
}

void TZmodemEngine::OnZrinit(const TZHeader& h) {
  FRemoteBufSize = h.P[0] + 256 * h.P[1];
  FStreaming = (h.P[3] & CANOVIO) != 0;
  FEncoder.SetEscapeCtl((h.P[3] & ESCCTL) != 0);
  if (Direction == 1 && SendFileOpen() && State == 4 && !FEofSent) {
    if (FHighestRpos < 0 && (FResendZfile || Now() - FZfileSentAt >= kZfileRepeatMs)) {
      SendZfile();
    } else if (FHighestRpos >= 0 && FRposRepeatCount > 0) {
      FailSendFile(false);
    }
    return;
  }
  if (Direction == 1) {
    ConfirmPendingEof();
    CloseSendStream();
    SendNextFile();
    return;
  }
  if (FFinSent && Now() - FFinSentAt < kFinQuietMs) return;
  FReceiverWaiting = true;
  if (OnUploadRequested) OnUploadRequested();
}

void TZmodemEngine::OnZack(const TZHeader& h) {
  if (Direction != 1 || State != 4 || !SendFileOpen()) return;
  if (FRestartUnseen && int64_t(h.Position()) == FRestartPos) {
    // The mark at the head of our restart: the rest of the burst follows.
    FRestartUnseen = false;
    return;
  }
  if (FEofSent) return;
  FAckRetries = 0;
  FRposRepeatCount = 0;
  FRestartPos = -1;
  FRestartUnseen = false;
  FLastAckedBurst = FBurstCount;
  FWindow *= 2;
  SendFileData();
}

void TZmodemEngine::OnZrpos(const TZHeader& h) {
  if (!SendFileOpen()) return;
  const int64_t pos = h.Position();
  // The same request again before the receiver has acknowledged the mark at
  // the head of our restart from there: it is still reading the bytes we
  // sent before the restart and asks once more at a frame end among them.
  // It counts towards the fallbacks and the cancel, but sends nothing: each
  // copy would make the receiver ask again, and the requests would never die
  // down. Once the mark is acknowledged, a request for the same position
  // means the restart itself was damaged, and it is answered at once.
  if (FAwaitingAck && FRestartUnseen && pos == FRestartPos) {
    CountRepeatedRpos();
    return;
  }
  const bool restart = FHighestRpos >= 0;  // not the first request for this file
  FEofSent = false;
  State = 4;
  if (!SeekSend(pos)) {
    LogLine("Zmodem: receiver asked for position " + std::to_string(pos) + " beyond the end of " + FSendPath);
    FailSendFile(false);
    return;
  }
  if (pos > FHighestRpos) {
    FHighestRpos = pos;
    FRposFallbackCount = 0;
    FRposRepeatCount = 0;
    FAckRetries = 0;
  } else if (!CountRepeatedRpos()) {
    return;
  }
  FRestartPos = pos;
  SendFileData(restart);
}

// A request for a position at or below one asked before: the sender gets
// more careful step by step, and the tenth cancels the session (false).
bool TZmodemEngine::CountRepeatedRpos() {
  if (++FRposRepeatCount >= kRposRepeatLimit) {
    LogLine("Zmodem: receiver keeps asking for the same position, session cancelled");
    FailSendFile(true);
    return false;
  }
  ++FRposFallbackCount;
  FWindow = 4;
  CapBurstWindow();
  if (BlockSize == 8192) {
    BlockSize = 1024;
    FFellBackTo1K = true;
    FRposFallbackCount = 0;
  } else if (FRposFallbackCount > 4) {
    FStreaming = false;
    FRposFallbackCount = 0;
  }
  return true;
}

void TZmodemEngine::OnZskip() {
  FEofSent = false;
  if (Direction != 1 || State != 4) return;
  if (OnRemoteSkipped) OnRemoteSkipped(FSendPath);
  CloseSendStream();
  SendNextFile();
}

void TZmodemEngine::OnZfinAsSender() {
  static constexpr uint8_t kOverAndOut[] = {'O', 'O'};
  SendData(kOverAndOut, 2);
  if (FFinSent) {
    FFinSent = false;
    FReceiverWaiting = false;
    FRecvSessionEnded = false;
  } else {
    ConfirmPendingEof();
  }
  CloseSendStream();
  State = 0;
  Direction = 0;
}

void TZmodemEngine::FailSendFile(bool cancelAll) {
  const std::string name = FileNamePart(FSendPath);
  FAwaitingAck = false;
  FEofSent = false;
  FRposFallbackCount = 0;
  FRposRepeatCount = 0;
  if (cancelAll) {
    CancelSession();
    if (OnFileDone) OnFileDone(name, false);
  } else {
    CloseSendStream();
    if (OnFileDone) OnFileDone(name, false);
    SendNextFile();
  }
}

void TZmodemEngine::SendTick(uint64_t now) {
  if (FEofSent && now - FEofSentAt >= kEofConfirmMs) {
    // Never confirmed: counts as done; the next file waits for ZRINIT.
    FEofSent = false;
    CloseSendStream();
    if (OnFileDone) OnFileDone(FEofName, true);
  }
  if (State == 5 && FFinSent && now - FFinSentAt >= kFinAnswerMs) {
    // The receiver never answered our ZFIN: the session is over anyway.
    FFinSent = false;
    State = 0;
  }
  if (!FAwaitingAck) return;
  if (Direction != 1 || !SendFileOpen()) {
    FAwaitingAck = false;
    return;
  }
  if (now - FAwaitingAckAt < kAckTimeoutMs) return;
  FAwaitingAck = false;
  ++FAckRetries;
  ++ErrorCount;
  if (FAckRetries <= kAckRetries) {
    SeekSend(FBurstStart);
    FWindow = 4;
    CapBurstWindow();
    if (BlockSize == 8192) {
      BlockSize = 1024;
      FFellBackTo1K = true;
    }
    SendFileData();
    return;
  }
  LogLine("Zmodem: no acknowledgement from the receiver, " + FileNamePart(FSendPath) + " failed");
  CloseSendStream();
  if (OnFileDone) OnFileDone(FileNamePart(FSendPath), false);
  State = 0;
  Direction = 0;
}
