#include "app/uDoorCommand.h"

#include <cctype>

#include "data/uPhonebook.h"
#include "net/uShellClient.h"

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Every occurrence of Name (upper case), in any letter case, replaced by
// Value; what a replacement inserts is not searched again.
void ReplaceAll(std::string& word, const std::string& name, const std::string& value) {
  std::string upper = Upper(word);
  size_t at = 0;
  while ((at = upper.find(name, at)) != std::string::npos) {
    word.replace(at, name.size(), value);
    upper.replace(at, name.size(), std::string(value.size(), '\0'));
    at += value.size();
  }
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

}  // namespace

std::vector<std::string> ExpandDoorCommand(const std::string& templ, const TPhonebookEntry* entry) {
  std::vector<std::string> words = SplitCommandLine(templ);
  if (!entry) return words;
  for (std::string& w : words) {
    ReplaceAll(w, "%HOST%", entry->Host);
    ReplaceAll(w, "%PORT%", std::to_string(entry->Port));
    ReplaceAll(w, "%USER%", entry->Username);
    ReplaceAll(w, "%PASSWORD%", entry->Password);
  }
  return words;
}

uint16_t ParseTcpBridgePort(const std::string& setting) {
  std::string s = Trim(setting);
  if (s.size() > 4 && Upper(s.substr(0, 4)) == "TCP:") s.erase(0, 4);
  if (s.empty() || s.size() > 5) return 0;
  uint32_t n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + uint32_t(c - '0');
  }
  return n >= 1 && n <= 65535 ? uint16_t(n) : 0;
}
