// The Zmodem session engine: receives files into the download folder and
// sends queued files, over whatever connection the application forwards.
// It owns no thread and no socket: bytes come in through ProcessIncoming,
// time through Tick (every 500 ms), bytes leave through OnSend and results
// through the events. Framing and CRCs live in uZmodemFrame and uCrc.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "net/uTransferEvents.h"
#include "net/uWireTransport.h"
#include "net/uZmodemFrame.h"

class TZmodemEngine {
 public:
  explicit TZmodemEngine(const std::string& downloadDir);
  ~TZmodemEngine();
  TZmodemEngine(const TZmodemEngine&) = delete;
  TZmodemEngine& operator=(const TZmodemEngine&) = delete;

  // Folders keep a trailing "/" when not empty.
  void SetDownloadDir(const std::string& dir);
  void SetDdofxDir(const std::string& dir);

  // The upload queue: full paths, sent in order.
  void AddUploadFile(const std::string& path);
  int UploadFileCount() const { return int(FSendList.size()); }
  std::string GetUploadFile(int index) const;
  void ClearUploadFiles() { FSendList.clear(); }

  // Send the queued files now (asks the board's receiver with ZRQINIT).
  void StartUpload();
  // Send the queued files once the board's receiver is (or was) ready.
  void SendToWaitingReceiver();

  // One received byte; buf (at least 4 bytes) gets what goes on to the
  // screen, count how many (0..4).
  void ProcessIncoming(uint8_t ch, uint8_t* buf, int& count) {
    ++FBytesIn;
    // Most bytes of a transfer are plain data: stored without more ado.
    if (FSwallowO == 0 && FDecoder.TakePlainData(ch)) {
      count = 0;
      return;
    }
    ProcessIncomingByte(ch, buf, count);
  }
  // ProcessIncoming over the leading bytes of Data that are plain subpacket
  // data (none of them reaches the screen); how many it took.
  size_t TakeDataRun(const uint8_t* data, size_t count) {
    if (FSwallowO != 0) return 0;
    const size_t n = FDecoder.TakePlainRun(data, count);
    FBytesIn += n;
    return n;
  }
  bool HasHeldBytes() const { return FHeldCount > 0; }
  // How many leading bytes of Data are plain board text to the detector as
  // it stands: no "*" or CAN among them, and no session, header or held
  // bytes under way. ProcessIncoming would hand each on unchanged and
  // change nothing but the count, which SkipPlainRun keeps instead.
  size_t PlainRun(const uint8_t* data, size_t count) const {
    if (FSwallowTail != 0 || FSwallowO != 0 || FHeldCount != 0 || Muted() || !FDecoder.Quiet()) return 0;
    size_t n = count;
    if (const void* pad = std::memchr(data, zm::ZPAD, n)) n = size_t(static_cast<const uint8_t*>(pad) - data);
    if (const void* dle = std::memchr(data, zm::ZDLE, n)) n = size_t(static_cast<const uint8_t*>(dle) - data);
    return n;
  }
  void SkipPlainRun(size_t count) { FBytesIn += count; }
  // Releases held "*" bytes once they are minAgeMs old and no session began.
  bool TakeHeldBytes(uint64_t minAgeMs, uint8_t* buf, int& count);
  // Timeouts of both directions; called every 500 ms.
  void Tick();
  // Ends everything at once. A live session is cancelled towards the peer
  // with the standard abort (CAN bytes) so it stops instead of timing out.
  void Abort();

  // 0 idle; 1 waiting (sender: for ZRINIT, receiver: for ZFILE); 2 ZFILE
  // seen, its information awaited; 3 receiving data; 4 offering or sending a
  // file; 5 our ZFIN sent, the receiver's awaited.
  int State = 0;
  // 0 none, 1 sending, 2 receiving.
  int Direction = 0;
  // Retries and bad subpackets of the current file.
  int ErrorCount = 0;
  // Subpacket size while sending: 1024 or 8192.
  int BlockSize = 1024;
  // 8 KiB subpackets allowed when the receiver's buffer takes them.
  bool Allow8K = true;
  // Written by the application before each received chunk.
  bool UseDdofxDir = false;
  bool DdofxActive = false;
  // The folder the current or last received file went to, and the file it
  // is stored as (the sender's name, or the next free one when that was taken).
  std::string ReceiveFolder;
  std::string ReceivePath;
  // Largest data subpacket received for the current file.
  int LargestSubpacket = 0;

  TTransferProgressEvent OnProgress;
  TTransferDoneEvent OnFileDone;
  TTransferFileEvent OnFileSkipped;    // incoming file already complete here
  TTransferFileEvent OnRemoteSkipped;  // receiver answered ZSKIP (full path)
  TTransferNotifyEvent OnUploadRequested;
  TWireDataEvent OnSend;
  TTransferNotifyEvent OnSessionEnd;  // no file left to send, ZFIN sent
  // The program's own files and folders: an offer of one is refused.
  TProgramPathCheck IsProgramPath;
  // Millisecond clock; platform::TickMs unless a test drives time itself.
  std::function<uint64_t()> Clock;

  // Limits and timings of the session logic.
  static constexpr uint64_t kNextFileWaitMs = 3000;
  static constexpr uint64_t kZfileRepeatMs = 1000;
  static constexpr uint64_t kAckTimeoutMs = 5000;
  static constexpr int kAckRetries = 5;
  static constexpr uint64_t kEofConfirmMs = 8000;
  static constexpr uint64_t kFinQuietMs = 5000;
  // Our ZFIN unanswered for this long: the session is over anyway.
  static constexpr uint64_t kFinAnswerMs = 10000;
  static constexpr int kRposRepeatLimit = 10;
  // Nothing at all from the peer for this long in a running transfer
  // cancels it (a peer that vanished mid-file).
  static constexpr uint64_t kPeerSilenceMs = 60000;
  static constexpr size_t kWriteBufSize = 8192;
  static constexpr size_t kFileInfoSize = 512;
  static constexpr int kMaxBurstBytes = 8192;

 private:
  uint64_t Now() const;
  void ProcessIncomingByte(uint8_t ch, uint8_t* buf, int& count);

  // --- frames out
  void SendData(const uint8_t* data, size_t count);
  void SendHexHeader(uint8_t type, uint32_t pos = 0);
  void SendZrinit();
  void SendZrpos(int64_t pos) { SendHexHeader(zm::ZRPOS, uint32_t(pos)); }
  void SendZack(int64_t pos) { SendHexHeader(zm::ZACK, uint32_t(pos)); }
  void SendZfin() { SendHexHeader(zm::ZFIN); }
  void CancelSession();
  // Both directions back to idle: state, decoder, hold and session flags.
  void EndSession();

  // --- frames in
  void DecodeByte(uint8_t b);
  void HandleHeader(const zm::TZHeader& h);
  void HandleSubpacket(const uint8_t* data, size_t count, uint8_t endType);
  void HandleBadSubpacket();

  // --- receiving (uZmodemReceive.cpp)
  void OnZrqinit();
  // Received bytes go to the decoder only, never to the screen: while a frame
  // is read, a file is offered, sent or received, our ZFIN awaits its answer,
  // and through a whole receive session (from the sender's first frame to
  // its end).
  bool Muted() const { return FDecoder.Busy() || (State != 0 && State != 1) || Direction == 2; }
  void OnZfile();
  void OnZdata(const zm::TZHeader& h);
  void OnZeof(const zm::TZHeader& h);
  void OnZfinAsReceiver();
  void OpenReceiveFile(const uint8_t* info, size_t count);
  void ReceiveData(const uint8_t* data, size_t count, uint8_t endType);
  bool FlushReceiveBuffer();
  void FinishReceiveFile(bool ok);
  void RefuseFile(const std::string& why);
  void CloseReceiveStream();
  int64_t ReceivedPos() const { return FRecvDone + int64_t(FWriteCount); }
  void ReceiveTick(uint64_t now);

  // --- sending (uZmodemSend.cpp)
  void OnZrinit(const zm::TZHeader& h);
  void OnZack(const zm::TZHeader& h);
  void OnZrpos(const zm::TZHeader& h);
  void OnZskip();
  void OnZfinAsSender();
  void OnCancelFromPeer();
  void SendNextFile();
  void SendZfile();
  void SendFileData(bool syncMark = false);
  void CapBurstWindow();
  bool CountRepeatedRpos();
  void FailSendFile(bool cancelAll);
  void CloseSendStream();
  bool SendFileOpen() const { return FSendFd >= 0; }
  bool SeekSend(int64_t pos);
  void ConfirmPendingEof();
  void SendTick(uint64_t now);

  zm::TZmodemEncoder FEncoder;
  zm::TZmodemDecoder FDecoder;
  std::vector<uint8_t> FOut;  // scratch for outgoing frames

  std::string DownloadDir, DdofxDir;

  // Receiving.
  int FRecvFd = -1;
  bool FRecvOpen = false;  // a file is being received (with or without a stream)
  std::string FRecvName;
  int64_t FRecvSize = 0, FRecvDone = 0, FResumeOffset = 0;
  std::vector<uint8_t> FWriteBuf;
  size_t FWriteCount = 0;
  std::vector<uint8_t> FFileInfo;
  bool FAwaitNextFile = false;
  uint64_t FAwaitNextFileAt = 0;
  bool FRecvSessionEnded = false;
  int FSwallowO = 0;
  // Line-end bytes (CR, LF, XON) that may still follow the hex header just
  // read; they belong to the header, not to the board's text.
  int FSwallowTail = 0;
  // The data subpackets now arriving belong to no file: read and dropped.
  bool FDiscardData = false;
  // Activity seen by Tick: bytes counted per byte, compared per tick.
  uint64_t FBytesIn = 0, FBytesInAtTick = 0, FLastActivityAt = 0;

  // Sending.
  std::vector<std::string> FSendList;
  int FSendFd = -1;
  std::string FSendPath;
  int64_t FSendSize = 0, FSendPos = 0;
  std::vector<uint8_t> FZfileData, FReadBuf;
  uint64_t FZfileSentAt = 0;
  bool FResendZfile = false;
  bool FFellBackTo1K = false;
  int FRemoteBufSize = 0;
  bool FStreaming = true;
  int FWindow = 4, FWindowCap = 0, FLastAckedBurst = 0, FBurstCount = 0;
  int64_t FBurstStart = 0;
  bool FAwaitingAck = false;
  uint64_t FAwaitingAckAt = 0;
  int FAckRetries = 0;
  int64_t FHighestRpos = -1;
  int64_t FRestartPos = -1;  // where the last ZRPOS restarted us, until a ZACK
  // The receiver has not yet acknowledged the mark at the head of our
  // restart from FRestartPos: it is still reading what we sent before.
  bool FRestartUnseen = false;
  int FRposFallbackCount = 0, FRposRepeatCount = 0;
  bool FEofSent = false;
  std::string FEofName;
  uint64_t FEofSentAt = 0;
  bool FReceiverWaiting = false;
  bool FFinSent = false;
  uint64_t FFinSentAt = 0;

  // Automatic start: "*" bytes held back while they may begin a header.
  uint8_t FHeld[3] = {};
  int FHeldCount = 0;
  uint64_t FHeldSince = 0;
};
