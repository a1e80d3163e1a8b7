// Receiving: answering a sender, naming, skipping and resuming files in the
// receive folder, storing and acknowledging data, and the end of a session.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "net/uZmodem.h"

using namespace zm;

namespace {

// The announced size: decimal digits up to NUL or a blank; anything else,
// or more digits than a 64-bit size can hold, reads as 0 (unknown).
int64_t ParseSize(const uint8_t* p, const uint8_t* end) {
  int64_t v = 0;
  int digits = 0;
  for (; p < end && *p != 0 && *p != ' '; ++p) {
    if (*p < '0' || *p > '9' || ++digits > 18) return 0;
    v = v * 10 + (*p - '0');
  }
  return v;
}

// What is already there under a name: the size of a regular file, kNoFile,
// or kNotAFile for anything else (a folder, a link, a device, or a name that
// cannot be looked at).
constexpr int64_t kNoFile = -1, kNotAFile = -2;
int64_t ExistingSize(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT ? kNoFile : kNotAFile;
  return S_ISREG(st.st_mode) ? int64_t(st.st_size) : kNotAFile;
}

}  // namespace

void TZmodemEngine::OnZrqinit() {
  Direction = 2;
  State = 1;
  // A sender that offers nothing ends the session as after a file.
  FAwaitNextFile = true;
  FAwaitNextFileAt = Now();
  SendZrinit();
}

void TZmodemEngine::OnZfile() {
  Direction = 2;
  State = 2;
  FFileInfo.clear();
}

void TZmodemEngine::OnZdata(const TZHeader& h) {
  if (Direction != 2 || !FRecvOpen) {
    // Data for no file (a sender repeating itself after its ZEOF, or still
    // sending a file we refused): read to its end and dropped.
    FDiscardData = true;
    return;
  }
  // Data must continue exactly where ours ends; anything else is stale
  // (sent before our last ZRPOS arrived) and is dropped.
  if (h.Position() != uint32_t(ReceivedPos())) {
    FDecoder.Reset();
    SendZrpos(ReceivedPos());
    return;
  }
  State = 3;
}

void TZmodemEngine::OnZeof(const TZHeader& h) {
  if (State != 3 || !FRecvOpen) return;
  // A ZEOF that does not match the data received went out before our ZRPOS;
  // the sender repeats it once it has resent the rest.
  if (h.Position() != uint32_t(ReceivedPos())) return;
  FinishReceiveFile(true);
}

void TZmodemEngine::OnZfinAsReceiver() {
  if (State != 0) {
    if (FRecvOpen) FinishReceiveFile(false);
    SendZfin();
    FSwallowO = 2;
    FRecvSessionEnded = true;
    State = 0;
    Direction = 0;
    FAwaitNextFile = false;
  } else if (FRecvSessionEnded) {
    // The sender missed our answer and repeats its ZFIN.
    SendZfin();
    FSwallowO = 2;
  }
}

void TZmodemEngine::OpenReceiveFile(const uint8_t* info, size_t count) {
  FAwaitNextFile = false;
  FRecvSessionEnded = false;
  const auto* nul = static_cast<const uint8_t*>(std::memchr(info, 0, count));
  FRecvName.assign(reinterpret_cast<const char*>(info), nul ? size_t(nul - info) : count);
  ReceiveFolder = (UseDdofxDir && !DdofxDir.empty()) ? DdofxDir : DownloadDir;
  FRecvSize = nul ? ParseSize(nul + 1, info + count) : 0;
  ErrorCount = 0;
  LargestSubpacket = 0;
  FWriteCount = 0;
  CloseReceiveStream();
  FResumeOffset = 0;

  // Only a plain file name is used: nothing may land outside the folder.
  std::string why;
  if (!IsPlainFileName(FRecvName, &why)) {
    RefuseFile("refused the file name (" + why + ")");
    return;
  }
  std::string target = ReceiveFolder + FRecvName;
  if (IsProgramPath && IsProgramPath(target)) {
    RefuseFile("refused the file name (one of the program's own files)");
    return;
  }
  const int64_t existing = ExistingSize(target);
  if (!DdofxActive && FRecvSize > 0 && existing >= 0) {
    if (existing >= FRecvSize) {
      if (OnFileSkipped) OnFileSkipped(FRecvName);
      SendHexHeader(ZSKIP);
      State = 1;
      FAwaitNextFile = true;
      FAwaitNextFileAt = Now();
      return;
    }
    if (existing > 0) FResumeOffset = existing;
  }
  std::error_code ec;
  if (!ReceiveFolder.empty()) std::filesystem::create_directories(ReceiveFolder, ec);
  if (FResumeOffset > 0) {
    FRecvFd = ::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (FRecvFd >= 0 && ::lseek(FRecvFd, FResumeOffset, SEEK_SET) != FResumeOffset) CloseReceiveStream();
  } else if (DdofxActive || existing == 0) {
    // Door assets are replaced by name; an empty file holds nothing to lose.
    FRecvFd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  } else {
    // Anything already there is kept: the download takes the next free name.
    if (existing != kNoFile) {
      target = FirstFreeFileName(target, IsProgramPath);
      LogLine("Zmodem: " + FRecvName + " already exists, saving as " + std::filesystem::path(target).filename().string());
    }
    FRecvFd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  }
  ReceivePath = target;
  if (FRecvFd < 0) {
    FResumeOffset = 0;
    RefuseFile(std::string("cannot create ") + target + ": " + std::strerror(errno));
    return;
  }
  FRecvOpen = true;
  FRecvDone = FResumeOffset;
  if (FRecvDone > 0 && OnProgress) OnProgress(FRecvName, FRecvDone, FRecvSize);
  State = 3;
  SendZrpos(FResumeOffset);
}

// A file we will not store: the sender skips it, the application sees it
// fail, and the session goes on with the next file.
void TZmodemEngine::RefuseFile(const std::string& why) {
  LogLine("Zmodem: " + why + " (\"" + FRecvName + "\")");
  CloseReceiveStream();
  FRecvOpen = false;
  // What the sender has on its way for this file is read and dropped.
  FDiscardData = true;
  SendHexHeader(ZSKIP);
  State = 1;
  FAwaitNextFile = true;
  FAwaitNextFileAt = Now();
  if (OnFileDone) OnFileDone(FRecvName, false);
}

void TZmodemEngine::ReceiveData(const uint8_t* data, size_t count, uint8_t endType) {
  LargestSubpacket = std::max(LargestSubpacket, int(count));
  while (count > 0) {
    const size_t n = std::min(count, kWriteBufSize - FWriteCount);
    std::memcpy(FWriteBuf.data() + FWriteCount, data, n);
    FWriteCount += n;
    data += n;
    count -= n;
    if (FWriteCount == kWriteBufSize && !FlushReceiveBuffer()) {
      RefuseFile(std::string("cannot write ") + ReceiveFolder + FRecvName + ": " + std::strerror(errno));
      return;
    }
  }
  if (endType == ZCRCE)
    FinishReceiveFile(true);
  else if (endType == ZCRCQ || endType == ZCRCW)
    SendZack(ReceivedPos());
}

bool TZmodemEngine::FlushReceiveBuffer() {
  if (FWriteCount == 0) return true;
  size_t done = 0;
  while (done < FWriteCount && FRecvFd >= 0) {
    const ssize_t n = ::write(FRecvFd, FWriteBuf.data() + done, FWriteCount - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += size_t(n);
  }
  FRecvDone += int64_t(FWriteCount);
  FWriteCount = 0;
  if (OnProgress) OnProgress(FRecvName, FRecvDone, FRecvSize);
  return true;
}

void TZmodemEngine::CloseReceiveStream() {
  if (FRecvFd >= 0) ::close(FRecvFd);
  FRecvFd = -1;
}

void TZmodemEngine::FinishReceiveFile(bool ok) {
  if (!FlushReceiveBuffer()) {
    LogLine(std::string("Zmodem: cannot write ") + ReceiveFolder + FRecvName + ": " + std::strerror(errno));
    ok = false;
  }
  if (FRecvFd >= 0 && ::close(FRecvFd) != 0) ok = false;
  FRecvFd = -1;
  FRecvOpen = false;
  if (OnFileDone) OnFileDone(FRecvName, ok);
  State = 1;
  SendZrinit();
  FAwaitNextFile = true;
  FAwaitNextFileAt = Now();
}

void TZmodemEngine::ReceiveTick(uint64_t now) {
  // A frame still being read ends first (its bytes are the sender's).
  if (!FAwaitNextFile || now - FAwaitNextFileAt < kNextFileWaitMs || FDecoder.Busy()) return;
  FAwaitNextFile = false;
  if (State == 1 && Direction == 2) {
    FRecvSessionEnded = true;
    State = 0;
    Direction = 0;
  }
}
