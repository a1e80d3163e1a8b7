// SyncTERM APC audio. Playing is not built yet: no channel is ever busy and
// no format is offered.
#pragma once
#include <string>

class TApcAudioEngine {
 public:
  void HandleApc(const std::string&) {}
  bool ChannelBusy(int) const { return false; }
  bool FormatSupported(int, int) const { return false; }
  void Flush() {}
};
