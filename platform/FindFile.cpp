#include "platform/FindFile.h"

#include <strings.h>

#include <filesystem>
#include <system_error>

namespace platform {

std::string FindFileNoCase(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty()) return {};
  if (fs::is_regular_file(path, ec)) return path;
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return {};
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::string candidate = it->path().filename().string();
    if (strcasecmp(candidate.c_str(), name.c_str()) == 0 && it->is_regular_file(ec))
      return slash == std::string::npos ? candidate : folder + candidate;
  }
  return {};
}

}  // namespace platform
