#include "core/uPlainFileName.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>

bool IsPlainFileName(const std::string& name, std::string* why) {
  auto refuse = [why](const char* reason) {
    if (why) *why = reason;
    return false;
  };
  if (name.empty()) return refuse("empty name");
  if (name == "." || name == "..") return refuse("relative folder name");
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
    return refuse("drive prefix");
  for (unsigned char c : name) {
    if (c == '/' || c == '\\') return refuse("path separator");
    if (c < 32 || c == 127) return refuse("control character");
  }
  return true;
}

std::string FirstFreeFileName(const std::string& path, const std::function<bool(const std::string&)>& taken) {
  namespace fs = std::filesystem;
  auto used = [&](const std::string& candidate) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(candidate, ec)) || (taken && taken(candidate));
  };
  if (!used(path)) return path;
  const size_t slash = path.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  const std::string stem = path.substr(0, dot), ext = path.substr(dot);
  std::string candidate;
  for (int n = 2;; ++n) {
    candidate = stem + "_" + std::to_string(n) + ext;
    if (!used(candidate)) return candidate;
  }
}

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string WithSlash(const std::string& folder) {
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

}  // namespace

bool IsPlainPeerName(const std::string& name, std::string* why) {
  if (!IsPlainFileName(name, why)) return false;
  if (name.find(':') != std::string::npos) {
    if (why) *why = "drive prefix";
    return false;
  }
  return true;
}

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entries of Folder that Keep accepts, in the listing order below.
std::vector<std::string> ListSorted(const std::string& folder, bool (*keep)(const std::string&)) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  const std::string base = WithSlash(folder);
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (keep(base + name)) names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      const char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
      if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  });
  return names;
}

}  // namespace

std::vector<std::string> ListPlainFiles(const std::string& folder) { return ListSorted(folder, IsRegularFile); }

std::string FindPlainFile(const std::string& folder, const std::string& name, std::string* why) {
  if (!IsPlainPeerName(name, why)) return {};
  const std::string base = WithSlash(folder);
  if (IsRegularFile(base + name)) return base + name;
  for (const std::string& candidate : ListPlainFiles(folder))
    if (EqualIgnoringCase(candidate, name)) return base + candidate;
  return {};
}

std::string FindPlainPath(const std::string& folder, const std::string& path, std::string* why) {
  std::string base = WithSlash(folder);
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (slash == std::string::npos) return FindPlainFile(base, part, why);
    if (!IsPlainPeerName(part, why)) return {};
    std::string found;
    if (IsFolder(base + part)) {
      found = part;
    } else {
      for (const std::string& candidate : ListSorted(base, IsFolder))
        if (EqualIgnoringCase(candidate, part)) {
          found = candidate;
          break;
        }
    }
    if (found.empty()) return {};
    base += found + "/";
    start = slash + 1;
  }
}

bool ReadPlainFileInfo(const std::string& path, TPlainFileInfo& info) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::tm local {};
  const time_t when = st.st_mtime;
  if (!localtime_r(&when, &local)) return false;
  info.Size = int64_t(st.st_size);
  info.Year = local.tm_year + 1900;
  info.Month = local.tm_mon + 1;
  info.Day = local.tm_mday;
  info.Hour = local.tm_hour;
  info.Minute = local.tm_min;
  info.Second = local.tm_sec;
  return true;
}
