#include "platform/AppFolder.h"

#include <unistd.h>

#include <mutex>
#include <vector>

namespace platform {
namespace {

std::mutex folderLock;
std::string overrideFolder;

std::string ExecutableFolder() {
  std::vector<char> path(4096);
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "./";
  std::string full(path.data(), static_cast<size_t>(n));
  size_t slash = full.rfind('/');
  return slash == std::string::npos ? std::string("./") : full.substr(0, slash + 1);
}

}  // namespace

std::string AppFolder() {
  std::lock_guard<std::mutex> hold(folderLock);
  if (!overrideFolder.empty()) return overrideFolder;
  static const std::string own = ExecutableFolder();
  return own;
}

void SetAppFolder(const std::string& folder) {
  std::lock_guard<std::mutex> hold(folderLock);
  overrideFolder = folder;
  if (!overrideFolder.empty() && overrideFolder.back() != '/') overrideFolder += '/';
}

}  // namespace platform
