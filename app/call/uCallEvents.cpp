// The call's side of the text emulation's events: replies to the board, the
// board's font requests, and the hand-offs to the call's modes (ANSI music,
// APC strings, the audio and cell-size queries, clears and scrolls of the
// screen, the switch between 40 and 80 columns).
#include <sys/stat.h>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uPetsciiParser.h"
#include "core/uTerminalBuffer.h"
#include "platform/AppFolder.h"

namespace {

// The file name of a SyncTERM font number, for the fonts this program has.
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

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void TCall::WireEmulatorEvents() {
  // The parser and the buffer outlive calls: each call hands their events
  // to itself when it is made, and a destroyed call takes none.
  std::shared_ptr<bool> wired = FWired;
  FParser.OnSendReply = [this, wired](const std::string& s) {
    if (*wired) OnParserReply(s);
  };
  FParser.OnResize = [this, wired](int rows, int cols) {
    if (*wired) Host.ResizeRequest(rows, cols);
  };
  FParser.OnPlayMusic = [this, wired](const std::string& s) {
    if (*wired) OnAnsiMusic(s);
  };
  FParser.OnApc = [this, wired](const std::string& s) {
    if (*wired) OnApcString(s);
  };
  FParser.OnFontSelect = [this, wired](int slot, int id) {
    if (*wired) OnFontSelect(slot, id);
  };
  FParser.OnGetCellSize = [this, wired](int& w, int& h) {
    if (*wired) OnCellPixelSize(w, h);
  };
  FParser.OnQueryAudioChannel = [this, wired](int channel) { return *wired && OnApcChannelBusy(channel); };
  FBuffer.OnCleared = [this, wired](TTerminalBuffer*) {
    if (*wired) OnBufferCleared();
  };
  FBuffer.OnScrolled = [this, wired](int lines) {
    if (*wired) OnBufferScrolled(lines);
  };
}

void TCall::OnParserReply(const std::string& s) { SendToHost(s); }

void TCall::OnAnsiMusic(const std::string& s) { FModes.AnsiMusic(s); }

void TCall::OnCellPixelSize(int& w, int& h) {
  if (FModes.CellPixelSize(w, h)) return;
  Host.FontCellSize(w, h);
}

bool TCall::OnApcChannelBusy(int channel) { return FModes.AudioChannelBusy(channel); }

void TCall::OnApcString(const std::string& s) { FModes.Apc(s); }

void TCall::OnFontSelect(int slot, int fontId) {
  if (slot != 0) return;
  std::string name = SyncTermFontName(fontId);
  if (name.empty()) return;
  std::string path = platform::AppFolder() + "fonts/" + name + ".F16";
  if (IsFile(path)) Host.LoadTerminalFont(path);
}

void TCall::OnPetsciiFontSwitch(bool lower) {
  const TPetsciiParser* petscii = Petscii();
  std::string columns = (petscii && petscii->GetCol80() == 1) ? "80COL" : "40COL";
  std::string path =
      platform::AppFolder() + "fonts/PETSCII_" + columns + "_" + (lower ? "LOWER" : "UPPER") + "_8x16.F16";
  LogLine(std::string("Font: OnPetsciiFontSwitch(ALower=") + (lower ? "True" : "False") + ") -> " + path);
  if (!IsFile(path) || !Host.LoadTerminalFont(path))
    LogLine("Font: OnPetsciiFontSwitch FAILED - file not found: " + path);
}

void TCall::OnBufferCleared() {
  Host.ScreenCleared();
  FModes.Cleared();
}

void TCall::OnBufferScrolled(int lines) { FModes.Scrolled(lines); }

void TCall::OnColumnModeSwitch(bool is80) {
  int cols = is80 ? 80 : 40;
  if (FBuffer.FWidth == cols) return;
  FBuffer.Resize(cols, FBuffer.FHeight);
  if (Host.StatusBarShown())
    FBuffer.SetMargins(0, 0, cols - 1, FBuffer.FHeight - 2);
  else
    FBuffer.ResetMargins();
  FBuffer.Dirty = true;
}
