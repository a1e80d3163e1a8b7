#include "app/modes/uOverkillMode.h"

#include <cstdio>

#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "door/uOOIIParser.h"
#include "net/uWireTransport.h"
#include "platform/AppFolder.h"
#include "sound/uWaveFilePlayer.h"

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
    : TCallMode(services),
      FParser(std::make_unique<TOOIIParser>(&services.AnsiParser(), nullptr)),
      FPlayer(std::make_unique<TWaveFilePlayer>()) {
  FParser->ProgramFolder = platform::AppFolder();
  FParser->PlayWave = [this](const std::string& path) {
    // The game's cues follow the program's sound switch (Alt+M).
    if (Services().Settings().AnsiMusicEnabled) FPlayer->Play(path);
  };
}

TOverkillMode::~TOverkillMode() = default;

void TOverkillMode::Open(const TPhonebookEntry&) {
  // The client follows the new call; the game's banners and texts are read
  // again, so files installed meanwhile count.
  const std::string workDir = TrimBlanks(Services().Settings().WorkDir);
  FParser->ProgramFolder = platform::AppFolder();
  std::shared_ptr<TWireTransport> transport = Services().Transport();
  TOOIIParser::TSender sender;
  if (transport) sender = [transport](const std::string& text) { transport->SendString(text); };
  FParser->Connected(std::move(sender), workDir.empty() ? platform::AppFolder() + "doors/" : ResolvePath(workDir) + "/");
  LogLine("OOII: (re)connected - FOOIIParser instance $" + Hex(FParser.get()) + " re-armed, FTelnet=$" +
          Hex(transport.get()));
}

void TOverkillMode::Reset() {
  // A command left open by this call would swallow the next call's text
  // once that board's banner is seen.
  FPlayer->Stop();
  FParser->FSender = nullptr;
  FParser->FCommand.clear();
}

void TOverkillMode::SoundSwitched(bool on) {
  if (!on) FPlayer->Stop();
}

size_t TOverkillMode::PlainRun(const uint8_t* data, size_t count) const { return FParser->PlainRun(data, count); }

bool TOverkillMode::TakeByte(uint8_t b, std::vector<uint8_t>&) { return FParser->FilterByte(b); }

unsigned TOverkillMode::EndChunk() { return FParser->TakeDrawn() ? ccCanvasChanged : ccNone; }
