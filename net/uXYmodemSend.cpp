// X/Ymodem engine, sending side: the upload list, start characters, header
// and data blocks, resending on NAK, EOT and the end of a Ymodem batch.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "core/uDebugLog.h"
#include "net/uXYmodem.h"
#include "net/uXYmodemBytes.h"

using namespace xy;

void TXYmodemEngine::AddSendFile(const std::string& path) { FSendList.push_back(path); }

bool TXYmodemEngine::IsWaitingForReceiver() const {
  return Mode == xmSending && FSendState == ssWaitStart;
}

void TXYmodemEngine::StartSend(int protocol) {
  FSendStream.reset();
  FSendPath.clear();
  FLastSentPath.clear();
  FSendSize = 0;
  FSent = 0;
  FBlockNo = 1;
  FNakCount = 0;
  FStreamG = false;
  FSendBegun = false;
  FEotNaks = 0;
  FLastBlockLen = 0;
  ErrorCount = 0;
  LastAbortReason.clear();

  Mode = xmSending;
  Protocol = protocol;
  FBatch = protocol == xpYmodem || protocol == xpYmodemG;
  UseCrc = protocol != xpXmodem;
  FHeaderAcked = false;
  FSendState = ssWaitStart;  // so that Abort below knows it was sending
  if (protocol < xpXmodem || protocol > xpYmodemG) {
    Abort("Unknown protocol " + std::to_string(protocol));
    return;
  }
  if (!OpenSendFile()) {
    Abort("No file to send");
    return;
  }
  FWaitSince = Now();
}

bool TXYmodemEngine::OpenSendFile() {
  FSendStream.reset();
  if (FSendList.empty()) return false;
  FSendPath = FSendList.front();
  FSendList.pop_front();
  FSendStream.reset(std::fopen(FSendPath.c_str(), "rb"));
  struct stat st {};
  if (!FSendStream || fstat(fileno(FSendStream.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    LogLine("XYmodem: cannot open " + FSendPath + " for sending");
    FSendStream.reset();
    return false;
  }
  FSendSize = st.st_size;
  FSent = 0;
  return true;
}

void TXYmodemEngine::SendByte(uint8_t b) {
  if (b == kCAN && FSendState != ssEndSent) {
    Abort("Cancelled by remote");
    return;
  }
  if (FSendState != ssWaitStart) FWaitSince = Now();
  switch (FSendState) {
    case ssWaitStart:
      if (b == kC) {
        UseCrc = true;
      } else if (b == kNAK) {
        // A NAK asks for the checksum; Ymodem always carries CRC-16.
        UseCrc = FBatch;
      } else if (b == kG) {
        FStreamG = true;
        UseCrc = true;
      } else {
        return;
      }
      FSendBegun = true;
      FWaitSince = Now();
      BeginSending();
      return;

    case ssHeaderSent:
      if (b == kACK) {
        FHeaderAcked = true;
        FSendState = ssWaitStart;
      } else if (b == kG && FStreamG) {
        // Some Ymodem-G receivers (Synchronet's sexyz) answer the header
        // with the next "G" alone: it acknowledges the header and asks for
        // the data in one.
        FHeaderAcked = true;
        FBlockNo = 1;
        SendDataBlock();
      } else if (b == kNAK) {
        if (++FNakCount > kMaxNaks) {
          Abort("Too many retries - receiver keeps rejecting this block");
          return;
        }
        ++ErrorCount;
        SendBlock0(false);
      }
      return;

    case ssDataSent:
      if (b == kACK) {
        ++FBlockNo;
        FEotNaks = 0;
        SendDataBlock();
      } else if (b == kNAK) {
        ++ErrorCount;
        if (++FNakCount > kMaxNaks) {
          Abort("Too many retries - receiver keeps rejecting this block");
          return;
        }
        ResendBlock();
      }
      return;

    case ssEotSent:
      if (b == kACK) {
        if (!FBatch) {
          // Reported while the engine still counts as sending, so the
          // listener files it as an upload.
          FinishSendFile(true);
          Mode = xmIdle;
          FSendState = ssNone;
          if (OnBatchDone) OnBatchDone();
          return;
        }
        FLastSentPath = FSendPath;
        if (OpenSendFile()) {
          FHeaderAcked = false;
          FSendState = ssWaitStart;
          FWaitSince = Now();
          return;
        }
        if (!FSendPath.empty() && FSendPath != FLastSentPath) {
          // A listed file that cannot be read ends the batch early; it is
          // reported failed rather than passed over in silence.
          if (OnFileDone) OnFileDone(FSendPath, false);
        }
        EndBatch();
      } else if (b == kNAK) {
        if (++FEotNaks > kMaxEotNaks) {
          Abort("EOT not acknowledged");
          return;
        }
        SendControl(kEOT);
      }
      return;

    case ssEndSent:
      if (b == kACK || b == kCAN) {
        CompleteBatch();
      } else if (b == kC || b == kNAK) {
        // Receivers clear their input before asking for the next header
        // (lrzsz's rb does), which can swallow the end-of-batch header sent
        // right after the EOT's ACK: ask again, send again.
        if (++FNakCount > kMaxNaks) {
          Abort("Too many retries - receiver keeps rejecting this block");
          return;
        }
        SendBlock0(true);
        FSendState = ssEndSent;
      }
      return;
  }
}

void TXYmodemEngine::SendTick(uint64_t now) {
  if (FSendState == ssWaitStart) {
    if (now - FWaitSince >= kStartWaitMs) Abort("Receiver never started - upload timed out");
    return;
  }
  if (FSendState == ssEndSent && now - FWaitSince >= kEndOfBatchWaitMs) {
    // Every file was acknowledged; a receiver that does not answer the
    // end-of-batch header (sexyz does not) has still received the batch.
    CompleteBatch();
    return;
  }
  // A receiver that stops answering mid-transfer must not hold the upload
  // open. A streamed file is answered only after its EOT, so its wait also
  // allows for the file crossing the link at 1000 bytes a second.
  uint64_t limit = kAnswerWaitMs;
  if (FStreamG && FSendState == ssEotSent) limit += static_cast<uint64_t>(FSendSize);
  if (now - FWaitSince >= limit) Abort("No response from receiver - upload timed out");
}

void TXYmodemEngine::BeginSending() {
  if (FBatch && !FHeaderAcked) {
    FNakCount = 0;
    SendBlock0(false);
    return;
  }
  FBlockNo = 1;
  SendDataBlock();
}

void TXYmodemEngine::EndBatch() {
  FSendStream.reset();
  FNakCount = 0;
  SendBlock0(true);
  FSendState = ssEndSent;
}

void TXYmodemEngine::CompleteBatch() {
  FSendPath = FLastSentPath;
  FinishSendFile(true);
  Mode = xmIdle;
  FSendState = ssNone;
  if (OnBatchDone) OnBatchDone();
}

void TXYmodemEngine::SendBlock0(bool empty) {
  uint8_t data[128] = {};
  if (!empty) {
    std::string info = xy::NamePart(FSendPath);
    info.push_back('\0');
    info += std::to_string(FSendSize);
    std::memcpy(data, info.data(), std::min<size_t>(info.size(), sizeof data));
  }
  SendFramed(0, data, sizeof data);
  FSendState = ssHeaderSent;
}

void TXYmodemEngine::SendFramed(uint8_t blockNo, const uint8_t* data, int len) {
  uint8_t frame[3 + 1024 + 2];
  frame[0] = len == 1024 ? kSTX : kSOH;
  frame[1] = blockNo;
  frame[2] = static_cast<uint8_t>(255 - blockNo);
  std::memcpy(frame + 3, data, len);
  int n = 3 + len;
  if (UseCrc) {
    uint16_t crc = BlockCrc(data, len);
    frame[n++] = static_cast<uint8_t>(crc >> 8);
    frame[n++] = static_cast<uint8_t>(crc);
  } else {
    frame[n++] = XYChecksum(data, len);
  }
  SendBytes(frame, n);
}

// With streaming ("G") the whole file goes out here, block after block, in
// one loop; otherwise one block and then the receiver's answer is awaited.
void TXYmodemEngine::SendDataBlock() {
  const int blockSize = Protocol >= xpXmodem1K ? 1024 : 128;
  while (true) {
    std::memset(FLastBlock, kSUB, blockSize);
    size_t got = FSendStream ? std::fread(FLastBlock, 1, blockSize, FSendStream.get()) : 0;
    if (got == 0) {
      if (FSendStream && std::ferror(FSendStream.get())) {
        Abort("Cannot read " + FSendPath);
        return;
      }
      SendControl(kEOT);
      FEotNaks = 0;
      FSendState = ssEotSent;
      return;
    }
    FLastBlockLen = blockSize;
    FLastBlockNo = FBlockNo;
    FNakCount = 0;
    SendFramed(FBlockNo, FLastBlock, blockSize);
    FSent += static_cast<int64_t>(got);
    if (OnProgress) OnProgress(xy::NamePart(FSendPath), FSent, FSendSize);
    if (Mode != xmSending) return;  // a handler ended the transfer
    if (!FStreamG) {
      FSendState = ssDataSent;
      return;
    }
    ++FBlockNo;
  }
}

void TXYmodemEngine::ResendBlock() { SendFramed(FLastBlockNo, FLastBlock, FLastBlockLen); }

void TXYmodemEngine::FinishSendFile(bool ok) {
  FSendStream.reset();
  if (OnFileDone) OnFileDone(xy::NamePart(FSendPath), ok);
}
