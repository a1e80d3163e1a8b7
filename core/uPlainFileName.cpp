#include "core/uPlainFileName.h"

#include <cctype>

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
