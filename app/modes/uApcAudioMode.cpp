#include "app/modes/uApcAudioMode.h"

#include <cstdlib>

#include "data/uConfig.h"
#include "sound/uApcAudio.h"

namespace {

const char kEsc = 27;

// A number of a capability query; -1 when it is not one.
int QueryNumber(const std::string& s) {
  if (s.empty() || s.size() > 9) return -1;
  for (char c : s)
    if (c < '0' || c > '9') return -1;
  return std::atoi(s.c_str());
}

}  // namespace

TApcAudioMode::TApcAudioMode(TCallModeServices& services)
    : TCallMode(services), FEngine(std::make_unique<TApcAudioEngine>()) {}

TApcAudioMode::~TApcAudioMode() = default;

void TApcAudioMode::Reset() { FEngine->Flush(); }

bool TApcAudioMode::Apc(const std::string& text) {
  const bool audioOn = Services().Settings().ApcAudioEnabled;
  if (text == "SyncTERM:Q;libsndfile") {
    Services().SendToHost(std::string(1, kEsc) + "[=7;100;" + (audioOn ? "1" : "0") + "n");
    return true;
  }
  static const std::string kFormatQuery = "SyncTERM:Q;libsndfileFormat;";
  if (text.compare(0, kFormatQuery.size(), kFormatQuery) == 0) {
    std::string rest = text.substr(kFormatQuery.size());
    size_t semi = rest.find(';');
    if (semi == std::string::npos) return true;
    int major = QueryNumber(rest.substr(0, semi));
    int minor = QueryNumber(rest.substr(semi + 1));
    bool ok = audioOn && FEngine->FormatSupported(major, minor);
    Services().SendToHost(std::string(1, kEsc) + "[=1;" + (ok ? "1" : "0") + "-n");
    return true;
  }
  if (!audioOn) return false;
  FEngine->HandleApc(text);
  return true;
}

bool TApcAudioMode::AudioChannelBusy(int channel) const {
  if (channel < 0 || channel > 15) return false;
  return FEngine->ChannelBusy(channel);
}
