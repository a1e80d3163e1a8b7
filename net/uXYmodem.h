// The block protocols Xmodem, Xmodem-CRC, Xmodem-1K, Ymodem and Ymodem-G in
// both directions. The engine owns the transfer state and the open files; it
// takes received bytes and the time, and puts out bytes (OnSend) and events.
// It never blocks, reads no socket and starts only when told to: the owner
// feeds every received byte while Mode is not idle and calls Tick regularly.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "net/uTransferEvents.h"
#include "net/uWireTransport.h"

// Protocol numbers as the callers use them.
enum TXYProtocol : int {
  xpAuto = 0,  // receiving only: whatever the first block shows, CRC-16 asked for first
  xpXmodem = 1,
  xpXmodemCrc = 2,
  xpXmodem1K = 3,
  xpYmodem = 4,
  xpYmodemG = 5,
};

// "Xmodem", "Xmodem-CRC", "Xmodem-1K", "Ymodem", "Ymodem-G"; "" for any other number.
std::string XYProtocolName(int protocol);
// 8-bit arithmetic sum of the data bytes.
uint8_t XYChecksum(const uint8_t* data, size_t len);
// CRC-16/XMODEM of the data bytes.
uint16_t BlockCrc(const uint8_t* data, size_t len);

class TXYmodemEngine {
 public:
  enum TMode : int { xmIdle = 0, xmReceiving = 1, xmSending = 2 };

  // Receiver: inactivity before the start request is repeated (no block yet),
  // before a NAK between or inside blocks; 20 repeats, the 21st ends it.
  static constexpr uint64_t kFirstBlockWaitMs = 3000;
  static constexpr uint64_t kBlockWaitMs = 10000;
  static constexpr int kMaxPokes = 20;
  static constexpr int kMaxBlockErrors = 10;
  // Sender: wait for the receiver's start character, and for any answer
  // after something was sent.
  static constexpr uint64_t kStartWaitMs = 60000;
  static constexpr uint64_t kAnswerWaitMs = 60000;
  static constexpr int kMaxNaks = 10;
  static constexpr int kMaxEotNaks = 3;
  // The end-of-batch header unanswered for this long ends a batch whose
  // files were all acknowledged as complete.
  static constexpr uint64_t kEndOfBatchWaitMs = 5000;

  explicit TXYmodemEngine(const std::string& downloadDir);
  ~TXYmodemEngine();
  TXYmodemEngine(const TXYmodemEngine&) = delete;
  TXYmodemEngine& operator=(const TXYmodemEngine&) = delete;

  // Stored with a trailing "/" when not empty; "\" is read as "/".
  void SetDownloadDir(const std::string& dir);

  // Begin a download; an empty fileName names an Xmodem file
  // "XMODEM_yyyymmdd_hhnnss.bin". Ymodem files take the sender's name.
  void StartReceive(int protocol, const std::string& fileName);
  // Queue a file (full path) for the next StartSend.
  void AddSendFile(const std::string& path);
  // Begin an upload of the queued files (protocol 1..5); nothing is sent
  // until the receiver asks.
  void StartSend(int protocol);
  bool IsWaitingForReceiver() const;

  // One received byte while Mode is not idle. Returns true when the byte is
  // not part of the transfer (board text before it really began) and goes
  // on to the rest of the receive chain.
  bool ProcessByte(uint8_t b);
  // Timeouts of both directions; call at least every 500 ms.
  void Tick();
  // End the transfer in either direction: three CAN sent, files closed (a
  // partly received file stays on disk), OnFileDone(name, false), and unless
  // it was receiving OnBatchDone. Does nothing while idle.
  void Abort(const std::string& reason);

  void SendControl(uint8_t b);
  void SendBytes(const uint8_t* data, int count);

  std::string DownloadDir;
  int Mode = xmIdle;
  int Protocol = xpAuto;       // in effect; receiving: 0 until the first block shows it
  bool UseCrc = true;
  int ErrorCount = 0;          // bad and rejected blocks of this transfer
  std::string LastAbortReason; // why the last transfer was aborted ("" after success)

  // Millisecond clock; tests may replace it.
  std::function<uint64_t()> Clock;

  TWireDataEvent OnSend;
  TTransferProgressEvent OnProgress;  // file-name part, bytes done, size (0 unknown)
  TTransferDoneEvent OnFileDone;      // file name and success; "" ends a Ymodem batch
  TTransferNotifyEvent OnBatchDone;   // an upload ended (done or aborted)
  // The program's own files and folders: a download named as one is refused.
  TProgramPathCheck IsProgramPath;

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using TFilePtr = std::unique_ptr<std::FILE, FileCloser>;

  enum TRecvState { rsNone = 0, rsWaitFirst, rsBetween, rsInBlock };
  enum TSendState { ssNone = 0, ssWaitStart, ssHeaderSent, ssDataSent, ssEotSent, ssEndSent };

  uint64_t Now() const;
  void Emit(const std::string& s);

  // Receiving (uXYmodem.cpp).
  bool ReceiveByte(uint8_t b);
  void ReceiveTick(uint64_t now);
  void HandleBlock();
  void HandleBlock0(const uint8_t* data, int len);
  bool CreateRecvFile(const std::string& name);
  bool WriteBlock(const uint8_t* data, int len);
  void FinishReceiveFile(bool ok);
  void TrimSubPadding();

  // Sending (uXYmodemSend.cpp).
  void SendByte(uint8_t b);
  void SendTick(uint64_t now);
  void BeginSending();
  bool OpenSendFile();
  void SendBlock0(bool empty);
  void SendDataBlock();
  void ResendBlock();
  void SendFramed(uint8_t blockNo, const uint8_t* data, int len);
  void FinishSendFile(bool ok);
  void EndBatch();
  // The end-of-batch header was answered (or its answer waited for long
  // enough): the batch is reported done.
  void CompleteBatch();

  // Receive side.
  int FRequestedProtocol = xpAuto;
  int FRecvState = rsNone;
  TFilePtr FRecvStream;
  std::string FRecvName;
  std::string FDefaultName;
  int64_t FDeclaredSize = 0;
  int64_t FWritten = 0;
  uint8_t FExpectedBlock = 1;
  uint8_t FBlock[1029] = {};
  int FBlockCount = 0;
  int FBlockLength = 0;
  int FBlockCountAtTick = 0;  // FBlockCount seen by the last tick inside a block
  bool FBatch = false;
  uint64_t FLastActivity = 0;
  int FPokeCount = 0;
  int FBlockErrors = 0;
  int FCanCount = 0;

  // Send side.
  int FSendState = ssNone;
  bool FHeaderAcked = false;
  std::deque<std::string> FSendList;
  TFilePtr FSendStream;
  std::string FSendPath;
  std::string FLastSentPath;  // the last file whose data went out in this batch
  int64_t FSendSize = 0;
  int64_t FSent = 0;
  uint8_t FBlockNo = 1;
  int FNakCount = 0;
  int FEotNaks = 0;
  bool FStreamG = false;
  bool FSendBegun = false;  // the receiver's first start character has arrived
  uint8_t FLastBlock[1024] = {};
  int FLastBlockLen = 0;
  uint8_t FLastBlockNo = 0;
  uint64_t FWaitSince = 0;
};
