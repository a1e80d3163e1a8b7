// X/Ymodem engine: protocol names, block checks, the shared operations and
// the receiving side. The sending side is in uXYmodemSend.cpp.
#include "net/uXYmodem.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "net/uCrc.h"
#include "net/uXYmodemBytes.h"
#include "platform/Tick.h"

using namespace xy;

namespace {

// A received size: decimal digits only, at most 18 of them so it cannot
// overflow; anything else is "unknown" (0).
int64_t ParseDeclaredSize(const std::string& text) {
  size_t a = text.find_first_not_of(' ');
  size_t b = text.find_last_not_of(' ');
  if (a == std::string::npos) return 0;
  std::string digits = text.substr(a, b - a + 1);
  if (digits.empty() || digits.size() > 18) return 0;
  int64_t v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Control bytes of a name shown as \xNN, for log lines.
std::string Printable(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 32 || c == 127) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string DefaultXmodemName() {
  platform::LocalTime t = platform::NowLocal();
  char buf[64];
  std::snprintf(buf, sizeof buf, "XMODEM_%04d%02d%02d_%02d%02d%02d.bin", t.Year, t.Month, t.Day,
                t.Hour, t.Minute, t.Second);
  return buf;
}

}  // namespace

std::string XYProtocolName(int protocol) {
  switch (protocol) {
    case xpXmodem: return "Xmodem";
    case xpXmodemCrc: return "Xmodem-CRC";
    case xpXmodem1K: return "Xmodem-1K";
    case xpYmodem: return "Ymodem";
    case xpYmodemG: return "Ymodem-G";
    default: return "";
  }
}

uint8_t XYChecksum(const uint8_t* data, size_t len) {
  unsigned sum = 0;
  for (size_t i = 0; i < len; ++i) sum += data[i];
  return static_cast<uint8_t>(sum);
}

uint16_t BlockCrc(const uint8_t* data, size_t len) { return Crc16Block(data, len); }

TXYmodemEngine::TXYmodemEngine(const std::string& downloadDir) : Clock(platform::TickMs) {
  SetDownloadDir(downloadDir);
}

TXYmodemEngine::~TXYmodemEngine() = default;

void TXYmodemEngine::SetDownloadDir(const std::string& dir) {
  DownloadDir = dir;
  for (char& c : DownloadDir)
    if (c == '\\') c = '/';
  if (!DownloadDir.empty() && DownloadDir.back() != '/') DownloadDir += '/';
}

uint64_t TXYmodemEngine::Now() const { return Clock ? Clock() : platform::TickMs(); }

void TXYmodemEngine::SendControl(uint8_t b) { SendBytes(&b, 1); }

void TXYmodemEngine::SendBytes(const uint8_t* data, int count) {
  if (OnSend && count > 0) OnSend(data, count);
}

bool TXYmodemEngine::ProcessByte(uint8_t b) {
  if (Mode == xmReceiving) return ReceiveByte(b);
  if (Mode == xmSending) {
    // Board text before the receiver's first start character stays visible.
    bool passOn = !FSendBegun && b != kC && b != kNAK && b != kG && b != kCAN;
    SendByte(b);
    return passOn;
  }
  return true;
}

void TXYmodemEngine::Tick() {
  uint64_t now = Now();
  if (Mode == xmReceiving) ReceiveTick(now);
  else if (Mode == xmSending) SendTick(now);
}

void TXYmodemEngine::Abort(const std::string& reason) {
  if (Mode == xmIdle) return;
  bool receiving = Mode == xmReceiving;
  std::string name = receiving ? FRecvName : FSendPath;
  LogLine("XYmodem: aborted: " + reason);
  LastAbortReason = reason;
  static const uint8_t kCancel[3] = {kCAN, kCAN, kCAN};
  SendBytes(kCancel, 3);
  FRecvStream.reset();
  FSendStream.reset();
  FSendList.clear();
  Mode = xmIdle;
  FRecvState = rsNone;
  FSendState = ssNone;
  if (OnFileDone) OnFileDone(name, false);
  if (!receiving && OnBatchDone) OnBatchDone();
}

// ---------------------------------------------------------------- receiving

void TXYmodemEngine::StartReceive(int protocol, const std::string& fileName) {
  FRecvStream.reset();
  FRecvName.clear();
  FDeclaredSize = 0;
  FWritten = 0;
  FExpectedBlock = 1;
  FBlockCount = 0;
  FBlockLength = 0;
  FBatch = false;
  FPokeCount = 0;
  FBlockErrors = 0;
  FCanCount = 0;
  ErrorCount = 0;
  LastAbortReason.clear();

  Mode = xmReceiving;
  FRequestedProtocol = protocol;
  Protocol = xpAuto;
  FDefaultName = fileName.empty() ? DefaultXmodemName() : fileName;
  UseCrc = protocol != xpXmodem;
  FRecvState = rsWaitFirst;
  SendControl(protocol == xpYmodemG ? kG : UseCrc ? kC : kNAK);
  FLastActivity = Now();
}

bool TXYmodemEngine::ReceiveByte(uint8_t b) {
  if (FRecvState == rsInBlock) {
    FBlock[FBlockCount++] = b;
    FCanCount = 0;
    if (FBlockCount == FBlockLength) HandleBlock();
    return false;
  }
  switch (b) {
    case kSOH:
    case kSTX:
      FBlockLength = (b == kSOH ? 128 : 1024) + (UseCrc ? 5 : 4);
      FBlock[0] = b;
      FBlockCount = 1;
      FBlockCountAtTick = 1;
      FCanCount = 0;
      FRecvState = rsInBlock;
      FLastActivity = Now();
      return false;
    case kEOT:
      FCanCount = 0;
      // An Xmodem file with no data at all is still a file, not a batch end.
      if (!FBatch && !FRecvStream && !CreateRecvFile(FDefaultName)) return false;
      SendControl(kACK);
      if (!FBatch) {
        Mode = xmIdle;
        FRecvState = rsNone;
        FinishReceiveFile(true);
      } else {
        FinishReceiveFile(true);
        FRecvState = rsWaitFirst;
        SendControl(kC);
        FLastActivity = Now();
        FPokeCount = 0;
      }
      return false;
    case kCAN:
      if (++FCanCount >= 2) Abort("Transfer cancelled by remote");
      return false;
    default:
      FCanCount = 0;
      return FRecvState == rsWaitFirst;
  }
}

void TXYmodemEngine::ReceiveTick(uint64_t now) {
  // Inside a block the clock is not read per byte: a block that grew since
  // the last tick counts as activity.
  if (FRecvState == rsInBlock && FBlockCount != FBlockCountAtTick) {
    FBlockCountAtTick = FBlockCount;
    FLastActivity = now;
    return;
  }
  uint64_t limit = FRecvState == rsWaitFirst ? kFirstBlockWaitMs : kBlockWaitMs;
  if (now - FLastActivity < limit) return;
  if (++FPokeCount > kMaxPokes) {
    Abort("No response from sender - download timed out");
    return;
  }
  FLastActivity = now;
  if (FRecvState == rsInBlock) {
    // The sender stopped inside a block: drop the part and ask again.
    FBlockCount = 0;
    FRecvState = rsBetween;
    ++ErrorCount;
  }
  if (FRecvState == rsBetween) {
    SendControl(kNAK);
  } else if (FRequestedProtocol == xpYmodemG) {
    SendControl(kG);
  } else if (!UseCrc) {
    SendControl(kNAK);
  } else if (FPokeCount <= 10) {
    SendControl(kC);
  } else {
    UseCrc = false;  // the sender may not know CRC
    SendControl(kNAK);
  }
}

void TXYmodemEngine::HandleBlock() {
  FLastActivity = Now();
  FPokeCount = 0;
  const int dataLen = FBlock[0] == kSTX ? 1024 : 128;
  const uint8_t number = FBlock[1];
  const uint8_t* data = FBlock + 3;
  bool good = FBlock[2] == static_cast<uint8_t>(255 - number);
  if (good && UseCrc) {
    good = BlockCrc(data, dataLen) == ((FBlock[3 + dataLen] << 8) | FBlock[4 + dataLen]);
  } else if (good) {
    good = XYChecksum(data, dataLen) == FBlock[3 + dataLen];
  }
  FBlockCount = 0;
  if (!good) {
    ++FBlockErrors;
    ++ErrorCount;
    if (FBlockErrors > kMaxBlockErrors) {
      Abort("Too many block errors");
      return;
    }
    FRecvState = rsBetween;
    SendControl(kNAK);
    return;
  }
  FBlockErrors = 0;

  if (number == 0 && !FRecvStream) {
    HandleBlock0(data, dataLen);
    return;
  }
  if (number == static_cast<uint8_t>(FExpectedBlock - 1)) {
    FRecvState = rsBetween;
    SendControl(kACK);
    return;
  }
  if (number != FExpectedBlock) {
    Abort("Block sequence error (expected " + std::to_string(FExpectedBlock) + ", got " +
          std::to_string(number) + ")");
    return;
  }
  if (!FRecvStream) {
    if (Protocol == xpAuto) Protocol = FBlock[0] == kSTX ? xpXmodem1K : UseCrc ? xpXmodemCrc : xpXmodem;
    if (!CreateRecvFile(FDefaultName)) return;
  }
  if (!WriteBlock(data, dataLen)) return;
  ++FExpectedBlock;
  FRecvState = rsBetween;
  // Streamed (Ymodem-G) blocks are acknowledged too; streaming senders read
  // no answers until their EOT and take the first of these as its answer.
  SendControl(kACK);
}

void TXYmodemEngine::HandleBlock0(const uint8_t* data, int len) {
  const char* text = reinterpret_cast<const char*>(data);
  size_t nameLen = strnlen(text, len);
  std::string name(text, nameLen);
  if (name.empty()) {
    SendControl(kACK);
    Mode = xmIdle;
    FRecvState = rsNone;
    if (OnFileDone) OnFileDone("", true);
    return;
  }
  std::string why;
  if (!IsPlainFileName(name, &why)) {
    LogLine("XYmodem: refused file name \"" + Printable(name) + "\" (" + why + ")");
    Abort("Refused file name from sender");
    return;
  }
  std::string sizeText;
  for (size_t i = nameLen + 1; i < static_cast<size_t>(len); ++i) {
    if (data[i] == 0 || data[i] == ' ') break;
    sizeText += static_cast<char>(data[i]);
  }
  FDeclaredSize = ParseDeclaredSize(sizeText);
  FBatch = true;
  if (!CreateRecvFile(name)) return;
  FExpectedBlock = 1;
  FBlockErrors = 0;
  if (Protocol == xpAuto) Protocol = xpYmodem;
  SendControl(kACK);
  SendControl(FRequestedProtocol == xpYmodemG ? kG : kC);
  FRecvState = rsBetween;
}

bool TXYmodemEngine::CreateRecvFile(const std::string& name) {
  FRecvName = name;
  FWritten = 0;
  std::string path = DownloadDir + xy::NamePart(name);
  if (IsProgramPath && IsProgramPath(path)) {
    LogLine("XYmodem: refused file name \"" + Printable(name) + "\" (one of the program's own files)");
    Abort("Refused file name from sender");
    return false;
  }
  std::error_code ec;
  if (!DownloadDir.empty()) std::filesystem::create_directories(DownloadDir, ec);
  // A file already there is kept: the download takes the next free name.
  const std::string wanted = path;
  path = FirstFreeFileName(path, IsProgramPath);
  if (path != wanted)
    LogLine("XYmodem: " + xy::NamePart(name) + " already exists, saving as " + xy::NamePart(path));
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) FRecvStream.reset(::fdopen(fd, "w+b"));
  if (fd >= 0 && !FRecvStream) ::close(fd);
  if (!FRecvStream) {
    std::string err = std::strerror(errno);
    LogLine("XYmodem: cannot create " + path + ": " + err);
    Abort("Cannot create " + path + ": " + err);
    return false;
  }
  return true;
}

bool TXYmodemEngine::WriteBlock(const uint8_t* data, int len) {
  if (FDeclaredSize > 0) {
    int64_t room = FDeclaredSize - FWritten;
    if (room < len) len = static_cast<int>(room < 0 ? 0 : room);
  }
  if (len > 0 && std::fwrite(data, 1, len, FRecvStream.get()) != static_cast<size_t>(len)) {
    std::string err = std::strerror(errno);
    Abort("Cannot write " + FRecvName + ": " + err);
    return false;
  }
  FWritten += len;
  if (OnProgress) OnProgress(xy::NamePart(FRecvName), FWritten, FDeclaredSize);
  return true;
}

void TXYmodemEngine::FinishReceiveFile(bool ok) {
  if (!FRecvStream) return;
  if (ok && FDeclaredSize == 0) TrimSubPadding();
  bool closed = std::fclose(FRecvStream.release()) == 0;
  if (!closed) {
    LogLine("XYmodem: cannot finish " + FRecvName + ": " + std::strerror(errno));
    ok = false;
  }
  if (OnFileDone) OnFileDone(xy::NamePart(FRecvName), ok);
}

// Without a declared size the sender's padding is all we have: the run of
// SUB bytes at the end of the last 1024 bytes is cut off.
void TXYmodemEngine::TrimSubPadding() {
  std::FILE* f = FRecvStream.get();
  if (std::fflush(f) != 0) return;
  int64_t size = FWritten;
  int64_t tailLen = size < 1024 ? size : 1024;
  uint8_t tail[1024];
  if (tailLen == 0 || fseeko(f, size - tailLen, SEEK_SET) != 0 ||
      std::fread(tail, 1, tailLen, f) != static_cast<size_t>(tailLen))
    return;
  int64_t keep = tailLen;
  while (keep > 0 && tail[keep - 1] == kSUB) --keep;
  if (keep == tailLen) return;
  if (ftruncate(fileno(f), size - tailLen + keep) != 0) {
    LogLine("XYmodem: cannot trim padding of " + FRecvName + ": " + std::strerror(errno));
    return;
  }
  FWritten = size - tailLen + keep;
}
