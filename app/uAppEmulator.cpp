// The application's side of the terminal core's events: replies to the host,
// font requests, and the hand-offs to the call's modes (ANSI music, APC
// strings, the audio and cell-size queries, clears and scrolls of the screen).
#include <cstdio>
#include <sys/stat.h>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uOnlineMouse.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uPetsciiParser.h"
#include "data/uConfig.h"
#include "net/uWireTransport.h"
#include "platform/AppFolder.h"

namespace {

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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

void TApplication::OnParserReply(const std::string& s) { FCall->SendToHost(s); }

void TApplication::OnAnsiMusic(const std::string& s) { FModes->AnsiMusic(s); }

void TApplication::OnCellPixelSize(int& w, int& h) {
  if (FModes->CellPixelSize(w, h)) return;
  w = FMainFont->Width();
  h = FMainFont->Height();
}

bool TApplication::OnApcChannelBusy(int channel) { return FModes->AudioChannelBusy(channel); }

void TApplication::OnApcString(const std::string& s) { FModes->Apc(s); }

void TApplication::OnFontSelect(int slot, int fontId) {
  if (slot != 0) return;
  std::string name = SyncTermFontName(fontId);
  if (name.empty()) return;
  std::string path = platform::AppFolder() + "fonts/" + name + ".F16";
  if (IsFile(path) && FMainFont->LoadFromFile(path)) FRenderer->Invalidate();
}

void TApplication::OnPetsciiFontSwitch(bool lower) {
  const TPetsciiParser* petscii = FCall->Petscii();
  std::string columns = (petscii && petscii->GetCol80() == 1) ? "80COL" : "40COL";
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
  if (FModes) FModes->Cleared();
  FMouse->ClearLinkSelection();
  FMouse->ClearHover();
}

void TApplication::OnBufferScrolled(int lines) {
  if (FModes) FModes->Scrolled(lines);
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
