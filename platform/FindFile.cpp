#include "platform/FindFile.h"

#include <strings.h>

#include <cctype>
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

namespace {

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// Glob match with one backtracking point: the last "*" seen.
bool Glob(const std::string& name, const std::string& mask) {
  size_t n = 0, m = 0, starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && (mask[m] == '?' || SameLetter(mask[m], name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesFileMask(const std::string& name, const std::string& mask) {
  if (Glob(name, mask)) return true;
  if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0)
    return name.find('.') == std::string::npos && Glob(name, mask.substr(0, mask.size() - 2));
  return false;
}

}  // namespace platform
