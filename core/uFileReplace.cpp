#include "core/uFileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// "what path: text (errno n)" for the current errno.
std::string ErrnoText(const std::string& what, const std::string& path) {
  int code = errno;
  return what + " " + path + ": " + std::strerror(code) + " (errno " + std::to_string(code) + ")";
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool WriteFileReplacing(const std::string& path, const std::string& contents, std::string& error) {
  const std::string tmp = path + ".tmp";
  auto fail = [&](const std::string& what) {
    error = ErrnoText(what, tmp);
    unlink(tmp.c_str());
    return false;
  };
  // Phonebooks hold passwords: a file the user narrowed to 0600 stays so.
  struct stat old {};
  bool keepMode = stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  // A leftover temporary file is removed rather than truncated: should the
  // name be a link, truncating would write through it into another file.
  // Whatever stays in its place (a folder) makes the exclusive create fail.
  unlink(tmp.c_str());
  // Created with the old file's bits, so a 0600 file's contents are never readable to others.
  mode_t mode = keepMode ? (old.st_mode & 0777) : 0644;
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    error = ErrnoText("cannot create", tmp);
    return false;
  }
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int saved = n < 0 ? errno : EIO;
      close(fd);
      errno = saved;
      return fail("cannot write");
    }
    done += size_t(n);
  }
  if (keepMode) fchmod(fd, old.st_mode & 07777);
  if (fsync(fd) != 0) {
    int saved = errno;
    close(fd);
    errno = saved;
    return fail("cannot flush");
  }
  if (close(fd) != 0) return fail("cannot close");
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    error = ErrnoText("cannot rename " + tmp + " to", path);
    unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here loses nothing already written.
  int folder = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return true;
}

TReadResult ReadFileContents(const std::string& path, std::string& contents, std::string& error, size_t maxBytes) {
  contents.clear();
  error.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return TReadResult::Missing;
    error = ErrnoText("cannot open", path);
    return TReadResult::Failed;
  }
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = ErrnoText("cannot read", path);
      contents.clear();
      close(fd);
      return TReadResult::Failed;
    }
    if (n == 0) break;
    if (size_t(n) > maxBytes - contents.size()) {
      errno = EFBIG;
      error = ErrnoText("cannot read", path);
      contents.clear();
      close(fd);
      return TReadResult::Failed;
    }
    contents.append(chunk, size_t(n));
  }
  close(fd);
  return TReadResult::Ok;
}
