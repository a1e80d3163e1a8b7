// The application's side of the terminal core's events: replies to the host,
// ANSI music and APC payloads, SyncTERM capability answers, font requests,
// and keeping the picture layers in step with the text screen.
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

#include "app/uApp.h"
#include "app/uOnlineMouse.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uPetsciiParser.h"
#include "data/uConfig.h"
#include "graphics/uApcImages.h"
#include "graphics/uITerm2Parser.h"
#include "graphics/uRipParser.h"
#include "graphics/uSixelParser.h"
#include "net/uWireTransport.h"
#include "platform/AppFolder.h"
#include "sound/uAnsiMusic.h"
#include "sound/uApcAudio.h"

namespace {

const char kEsc = 27;

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A number of a capability query; -1 when it is not one.
int QueryNumber(const std::string& s) {
  if (s.empty() || s.size() > 9) return -1;
  for (char c : s)
    if (c < '0' || c > '9') return -1;
  return std::atoi(s.c_str());
}

}  // namespace

std::string SyncTermFontName(int fontId) {
  switch (fontId) {
    case 0: return "IBM_VGA_8x16";
    case 37: return "AMIGA_POTNOODLE_8x16";
    case 38: return "AMIGA_MOSOUL_8x16";
    case 39: return "AMIGA_MICROKNIGHT_PLUS_8x16";
    case 40: return "AMIGA_TOPAZ_PLUS_8x16";
    case 41: return "AMIGA_MICROKNIGHT_8x16";
    case 42: return "AMIGA_TOPAZ_8x16";
    default: return "";
  }
}

void TApplication::OnParserReply(const std::string& s) {
  if (FTelnet) FTelnet->SendString(s);
}

void TApplication::SendToHost(const std::string& text) {
  if (FTelnet) FTelnet->SendString(text);
}

void TApplication::OnAnsiMusic(const std::string& s) {
  if (FConfig->AnsiMusicEnabled) FMusicPlayer->Enqueue(s);
}

void TApplication::OnCellPixelSize(int& w, int& h) {
  w = FMainFont->Width();
  h = FMainFont->Height();
}

void TApplication::OnApcScreenPixels(int& w, int& h) {
  w = FBuffer->FWidth * FMainFont->Width();
  h = FBuffer->FHeight * FMainFont->Height();
}

bool TApplication::OnApcChannelBusy(int channel) {
  if (channel < 0 || channel > 15) return false;
  return FApcAudio->ChannelBusy(channel);
}

void TApplication::OnApcString(const std::string& s) {
  std::string reply;
  if (FApcImages->HandleApc(s, reply)) {
    if (!reply.empty()) SendToHost(reply);
    if (FApcImages->TakeImagePlaced()) {
      FGfxDirty = true;
      FBuffer->Dirty = true;
      Invalidate();
    }
    return;
  }
  const bool audioOn = FConfig->ApcAudioEnabled;
  if (s == "SyncTERM:Q;libsndfile") {
    SendToHost(std::string(1, kEsc) + "[=7;100;" + (audioOn ? "1" : "0") + "n");
    return;
  }
  static const std::string kFormatQuery = "SyncTERM:Q;libsndfileFormat;";
  if (s.compare(0, kFormatQuery.size(), kFormatQuery) == 0) {
    std::string rest = s.substr(kFormatQuery.size());
    size_t semi = rest.find(';');
    if (semi == std::string::npos) return;
    int major = QueryNumber(rest.substr(0, semi));
    int minor = QueryNumber(rest.substr(semi + 1));
    bool ok = audioOn && FApcAudio->FormatSupported(major, minor);
    SendToHost(std::string(1, kEsc) + "[=1;" + (ok ? "1" : "0") + "-n");
    return;
  }
  if (s == "SyncTERM:Q;JXL") {
    SendToHost(std::string(1, kEsc) + "[=1;" + (LoadJxlLibrary() ? "1" : "0") + "-n");
    return;
  }
  if (audioOn) FApcAudio->HandleApc(s);
}

void TApplication::OnFontSelect(int slot, int fontId) {
  if (slot != 0) return;
  std::string name = SyncTermFontName(fontId);
  if (name.empty()) return;
  std::string path = platform::AppFolder() + "fonts/" + name + ".F16";
  if (IsFile(path) && FMainFont->LoadFromFile(path)) FRenderer->Invalidate();
}

void TApplication::OnPetsciiFontSwitch(bool lower) {
  std::string columns = (FPetscii && FPetscii->GetCol80() == 1) ? "80COL" : "40COL";
  std::string path =
      platform::AppFolder() + "fonts/PETSCII_" + columns + "_" + (lower ? "LOWER" : "UPPER") + "_8x16.F16";
  LogLine(std::string("Font: OnPetsciiFontSwitch(ALower=") + (lower ? "True" : "False") + ") -> " + path);
  if (IsFile(path) && FMainFont->LoadFromFile(path))
    FRenderer->Invalidate();
  else
    LogLine("Font: OnPetsciiFontSwitch FAILED - file not found: " + path);
}

void TApplication::OnBufferCleared() {
  FRenderer->ClearSprites();
  FSixel->Reset();
  FITerm2->Reset();
  FRipCanvas->Clear();
  FMouse->ClearLinkSelection();
  FMouse->ClearHover();
}

void TApplication::OnBufferScrolled(int lines) {
  if (FRipMode) FRipParser->ScrollUp(lines * 14);
}

void TApplication::OnColumnModeSwitch(bool is80) {
  int cols = is80 ? 80 : 40;
  if (FBuffer->FWidth == cols) return;
  FBuffer->Resize(cols, FBuffer->FHeight);
  if (FStatusBar)
    FBuffer->SetMargins(0, 0, cols - 1, FBuffer->FHeight - 2);
  else
    FBuffer->ResetMargins();
  FBuffer->Dirty = true;
}
