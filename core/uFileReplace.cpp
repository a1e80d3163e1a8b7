#include "core/uFileReplace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool WriteFileReplacing(const std::string& path, const std::string& contents, std::string& error) {
  const std::string tmp = path + ".tmp";
  auto fail = [&](const std::string& what) {
    error = what + " " + tmp + ": " + std::strerror(errno);
    unlink(tmp.c_str());
    return false;
  };
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot create " + tmp + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < contents.size()) {
    ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int saved = errno ? errno : EIO;
      close(fd);
      errno = saved;
      return fail("cannot write");
    }
    done += size_t(n);
  }
  if (fsync(fd) != 0) {
    int saved = errno;
    close(fd);
    errno = saved;
    return fail("cannot flush");
  }
  if (close(fd) != 0) return fail("cannot close");
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    error = "cannot rename " + tmp + " to " + path + ": " + std::strerror(saved);
    unlink(tmp.c_str());
    return false;
  }
  return true;
}
