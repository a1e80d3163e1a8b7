#include "sound/uApcCommands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A decimal number: optional sign, digits with at most one '.', optional
// exponent, blanks around it. The locale plays no part.
bool ReadNumber(std::string text, double& value) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);
  size_t i = 0, digits = 0;
  auto skipDigits = [&](size_t& count) {
    while (i < text.size() && std::isdigit(uint8_t(text[i]))) ++i, ++count;
  };
  if (text[i] == '+' || text[i] == '-') ++i;
  skipDigits(digits);
  if (i < text.size() && text[i] == '.') {
    ++i;
    skipDigits(digits);
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent = 0;
    skipDigits(exponent);
    if (exponent == 0) return false;
  }
  if (i != text.size()) return false;
  const char* begin = text.c_str() + (text[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text.c_str() + text.size(), value);
  return error == std::errc() && end == text.c_str() + text.size() && std::isfinite(value);
}

// The slot of a Load: decimal digits with an optional sign; -1 otherwise.
int ReadSlotNumber(const std::string& text) {
  if (text.empty()) return -1;
  int value = -1;
  const char* begin = text.c_str() + (text[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text.c_str() + text.size(), value);
  return error == std::errc() && end == text.c_str() + text.size() ? value : -1;
}

TApcCommand Refused(const std::string& line) {
  TApcCommand c;
  c.Error = line;
  return c;
}

TApcCommand ParseStore(const std::string& text) {
  const size_t semi = text.find(';');
  if (semi == std::string::npos) return Refused("ApcAudio: Store command missing name/payload separator - ignored");
  TApcCommand c;
  c.Kind = TApcCommand::acStore;
  c.Name = text.substr(0, semi);
  c.Payload = text.substr(semi + 1);
  return c;
}

TApcCommand ParseLoad(const std::string& text) {
  const size_t semi = text.find(';');
  if (semi == std::string::npos || text.compare(0, 2, "S=") != 0)
    return Refused("ApcAudio: Load command missing S=<slot> - ignored");
  TApcCommand c;
  c.Slot = ReadSlotNumber(text.substr(2, semi - 2));
  if (c.Slot < 0 || c.Slot > 63) return Refused("ApcAudio: Load - implausible slot number, ignored");
  c.Kind = TApcCommand::acLoad;
  c.Name = text.substr(semi + 1);
  return c;
}

TApcCommand ParseQueue(const std::string& text) {
  const std::vector<std::string> items = SplitApcArgs(text);
  TApcCommand c;
  c.Channel = ApcRound(ApcParam(items, "C", -1), -1);
  c.Slot = ApcRound(ApcParam(items, "S", -1), -1);
  c.Left = DbToGain(ApcParam(items, "VL", 0));
  c.Right = DbToGain(ApcParam(items, "VR", 0));
  if (c.Channel < 0 || c.Channel > 15) return Refused("ApcAudio: Queue - invalid/missing C=<chan>, ignored");
  c.Kind = TApcCommand::acQueue;
  return c;
}

}  // namespace

TApcCommand ParseApcCommand(const std::string& item) {
  const std::string rest = item.size() > 9 ? item.substr(9) : "";  // after "SyncTERM:"
  const size_t semi = rest.find(';');
  if (semi == std::string::npos) return {};
  const std::string group = rest.substr(0, semi), remainder = rest.substr(semi + 1);
  if (group == "A") {
    const size_t verbEnd = remainder.find(';');
    const std::string verb = remainder.substr(0, verbEnd);
    const std::string args = verbEnd == std::string::npos ? "" : remainder.substr(verbEnd + 1);
    if (verb == "Load") return ParseLoad(args);
    if (verb == "Queue") return ParseQueue(args);
    if (verb == "Flush") {
      TApcCommand c;
      c.Kind = TApcCommand::acFlush;
      c.Channel = ApcRound(ApcParam(SplitApcArgs(args), "C", -1), -1);
      return c;
    }
    if (verb == "Update") {
      TApcCommand c;
      c.Kind = TApcCommand::acUpdate;
      return c;
    }
    return Refused("ApcAudio: unrecognized A; verb " + Quoted(verb) + " - ignored");
  }
  if (group == "C") {
    if (remainder.size() >= 2 && remainder[0] == 'S' && remainder[1] == ';') return ParseStore(remainder.substr(2));
    return Refused("ApcAudio: unrecognized C; command - ignored");
  }
  return {};
}

std::vector<std::string> SplitApcArgs(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t semi = text.find(';', start);
    items.push_back(text.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (semi == std::string::npos) return items;
    start = semi + 1;
  }
}

double ApcParam(const std::vector<std::string>& items, const std::string& key, double def) {
  for (const std::string& item : items) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos || item.compare(0, eq, key) != 0) continue;
    std::string value = item.substr(eq + 1);
    const size_t db = value.find("dB");
    if (db != std::string::npos) value.resize(db);
    double number;
    return ReadNumber(value, number) ? number : def;
  }
  return def;
}

int ApcRound(double value, int def) {
  if (!std::isfinite(value) || value > 1e9 || value < -1e9) return def;
  return int(std::nearbyint(value));  // the default rounding mode: halves to even
}

double DbToGain(double db) { return std::pow(10.0, std::clamp(db, kApcMinDb, kApcMaxDb) / 20.0); }

std::vector<uint8_t> ApplyGain(const std::vector<uint8_t>& samples, int channels, double left, double right) {
  std::vector<uint8_t> out(samples.size() & ~size_t(1));
  for (size_t i = 0; i < out.size() / 2; ++i) {
    const int16_t s = int16_t(samples[2 * i] | samples[2 * i + 1] << 8);
    const double gain = channels == 2 && (i & 1) ? right : left;
    const int16_t r = int16_t(std::nearbyint(std::clamp(double(s) * gain, -32768.0, 32767.0)));
    out[2 * i] = uint8_t(r);
    out[2 * i + 1] = uint8_t(uint16_t(r) >> 8);
  }
  return out;
}
