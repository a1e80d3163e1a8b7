// Reads arbitrary text as an APC audio command, as the decode thread does,
// and applies the gains it carries to a small clip. Every command is either
// one the engine can carry out with values in range, or a refusal; gains
// are finite and within the sane range; nothing reads past the text.
// fuzz-sources: sound/uApcCommands.cpp
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/uApcCommands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double minGain = std::pow(10.0, kApcMinDb / 20), maxGain = std::pow(10.0, kApcMaxDb / 20);
  for (const std::string& prefix : {std::string("SyncTERM:A;"), std::string("SyncTERM:C;"), std::string("SyncTERM:")}) {
    const TApcCommand c = ParseApcCommand(prefix + text);
    switch (c.Kind) {
      case TApcCommand::acQueue:
        if (c.Channel < 0 || c.Channel > 15) std::abort();
        if (!std::isfinite(c.Left) || !std::isfinite(c.Right)) std::abort();
        if (c.Left < minGain * 0.999 || c.Left > maxGain * 1.001 || c.Right < minGain * 0.999 ||
            c.Right > maxGain * 1.001)
          std::abort();
        {
          const std::vector<uint8_t> clip = {0x00, 0x80, 0xFF, 0x7F, 0x34, 0x12, 0xCC, 0xED};
          if (ApplyGain(clip, 2, c.Left, c.Right).size() != clip.size()) std::abort();
        }
        break;
      case TApcCommand::acLoad:
        if (c.Slot < 0 || c.Slot > 63) std::abort();
        break;
      case TApcCommand::acStore:
        if (c.Name.size() + c.Payload.size() > text.size()) std::abort();
        break;
      case TApcCommand::acFlush:
      case TApcCommand::acUpdate:
        break;
      case TApcCommand::acNone:
        if (!c.Error.empty() && c.Error.compare(0, 10, "ApcAudio: ") != 0) std::abort();
        break;
    }
  }
  return 0;
}
