#include "core/uPlainFileName.h"

#include <cctype>
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
