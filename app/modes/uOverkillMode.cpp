#include "app/modes/uOverkillMode.h"

#include <cstdio>

#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "door/uOOIIParser.h"
#include "net/uWireTransport.h"
#include "platform/AppFolder.h"

namespace {

std::string Hex(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

std::string TrimBlanks(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

}  // namespace

TOverkillMode::TOverkillMode(TCallModeServices& services)
    : TCallMode(services), FParser(std::make_unique<TOOIIParser>(&services.AnsiParser(), false)) {}

TOverkillMode::~TOverkillMode() = default;

void TOverkillMode::Open(const TPhonebookEntry&) {
  // The client follows the new call.
  FParser->Sender = Services().Transport();
  FParser->FOOIIMode = 0;
  const std::string workDir = TrimBlanks(Services().Settings().WorkDir);
  FParser->AssetDir = workDir.empty() ? platform::AppFolder() + "doors/" : ResolvePath(workDir) + "/";
  LogLine("OOII: (re)connected - FOOIIParser instance $" + Hex(FParser.get()) + " re-armed, FTelnet=$" +
          Hex(FParser->Sender.get()));
}

size_t TOverkillMode::PlainRun(const uint8_t* data, size_t count) const { return FParser->PlainRun(data, count); }

bool TOverkillMode::TakeByte(uint8_t b, std::vector<uint8_t>&) { return FParser->FilterByte(b); }
