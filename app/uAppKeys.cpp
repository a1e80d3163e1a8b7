// The key dispatcher: every key-down and typed character goes, in one fixed
// order, to an open prompt, the global hotkeys, the function keys, the
// current screen, and on the online screen finally to the board as bytes.
#include <algorithm>
#include <cstdio>

#include "app/uApp.h"
#include "app/uTermTypePresets.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uPetsciiParser.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uWireTransport.h"
#include "platform/Keys.h"
#include "platform/Tick.h"
#include "sound/uAnsiMusic.h"
#include "sound/uDDOFXSound.h"
#include "sound/uSapiSpeech.h"
#include "door/uDDOFXParser.h"

namespace vk = platform::vk;

namespace {

const std::string kEsc(1, '\x1b');

// The bytes a special key sends to the board; empty for keys that send none.
std::string SpecialKeyBytes(uint16_t key, bool atascii, bool renegade) {
  switch (key) {
    case vk::Back: return "\x08";
    case vk::Tab: return "\x09";
    case vk::Return: return atascii ? "\x9b" : "\x0d";
    case vk::Up: return kEsc + "[A";
    case vk::Down: return kEsc + "[B";
    case vk::Right: return kEsc + "[C";
    case vk::Left: return kEsc + "[D";
    case vk::Home: return kEsc + "[H";
    case vk::End: return kEsc + "[K";
    case vk::Prior: return kEsc + (renegade ? "[r" : "[V");
    case vk::Next: return kEsc + (renegade ? "[q" : "[U");
    case vk::Insert: return kEsc + (renegade ? "[n" : "[@");
    case vk::Delete: return "\x7f";
    default: return "";
  }
}

}  // namespace

void TApplication::SendTyped(const std::string& text) {
  if (!FTelnet) return;
  FTelnet->SendString(text);
}

void TApplication::HandleKeyDown(uint16_t key, bool shift, bool ctrl, uint16_t scanCode, bool alt) {
  const uint64_t now = platform::TickMs();
  // 1. The key tick; a banner in view is dismissed.
  FLastKeyTick = now;
  if (!FQuitting && FTerminatedUntil > now) {
    FTerminatedUntil = 0;
    Invalidate();
  }
  // 3. A command-line call ended: any key quits.
  if (FQuitting) {
    FWindow->KillTimer(tmQuit);
    FRunning = false;
    FWindow->PostQuit(0);
    return;
  }
  // 4. Splash: Alt+X quits, any other key goes to the directory.
  if (FMode == smSplash) {
    if (alt && key == vk::Letter('X')) {
      LogLine("Exit: Alt+X received (splash mode) - PostQuitMessage");
      FRunning = false;
      FWindow->PostQuit(0);
    } else {
      FWindow->KillTimer(tmSplash);
      FMode = smDirectory;
    }
    return;
  }
  // 5. Ctrl+Left/Right step the window size, even over an open prompt.
  if (ctrl && !alt && !shift && !FDoorwayMode && (key == vk::Left || key == vk::Right)) {
    StepWindowScale(key == vk::Right ? +1 : -1);
    return;
  }
  // 6. The redial question.
  if (FRedialPrompt) {
    if (!alt) {
      if (key == vk::Escape) AnswerRedial(false);
      Invalidate();
      return;
    }
    if (key == vk::Shift || key == vk::Control || key == vk::Menu) return;
    FRedialPrompt = false;
    FRedialEntry.reset();
    FRedialText.clear();
    FStatus = "Not redialing.";
  }
  // 8. The phonebook backup reminder (shown on the directory).
  if (FBackupDue && FMode == smDirectory) {
    if (!alt) {
      if (key == vk::Escape) AnswerBackupPrompt(false);
      return;
    }
    if (key == vk::Shift || key == vk::Control || key == vk::Menu) return;
    AnswerBackupPrompt(false);
  }
  // 14. Global hotkeys.
  if (HandleHotkey(key, shift, ctrl, alt)) return;
  // 15. The scrollback view.
  if (FMode == smOnline && FWheelScrollback && HandleScrollbackKey(key, ctrl, alt)) return;
  // 16. Keyboards that report F11/F12 under another code.
  if (scanCode == 0x57) key = vk::Fn(11);
  if (scanCode == 0x58) key = vk::Fn(12);
  // 17. Function keys.
  if (FMode == smOnline && key >= vk::Fn(1) && key <= vk::Fn(10) && !shift && !ctrl && !alt && FTelnet) {
    int n = key - vk::Fn(1) + 1;
    if (!FConfig->FKey[size_t(n - 1)].empty()) {
      SendFKeyMacro(n);
      return;
    }
  }
  // 20. The current screen; only the screen the key arrived on sees it,
  // even when its handler switches to another screen.
  switch (FMode) {
    case smOnline: HandleOnlineKey(key, shift, ctrl, alt); break;
    case smDirectory: HandleDirectoryKey(key, shift, ctrl, alt); break;
    case smEditor: HandleEditorKey(key, shift, ctrl, alt); break;
    default: break;
  }
}

bool TApplication::HandleHotkey(uint16_t key, bool shift, bool ctrl, bool alt) {
  const bool online = FMode == smOnline;
  const bool doorway = FDoorwayMode;
  if (alt && key == vk::Letter('W') && online) {
    FDoorwayMode = !FDoorwayMode;
    FStatus = FDoorwayMode ? "DOORWAY MODE ON - local hotkeys suppressed. Alt+W to exit." : "Doorway mode off.";
    return true;
  }
  if ((key == vk::Scroll || key == vk::Pause) && online) {
    TogglePause();
    return true;
  }
  if (doorway) return false;
  // The local Ctrl commands (script recorder, copy screen, paste) are the
  // program's own outside doorway mode: their control codes never reach the
  // board, even where the command itself is not available.
  if (ctrl && !alt) {
    const bool listOrOnline = online || FMode == smDirectory;
    if (key == vk::Letter('O') && !shift && listOrOnline) return true;
    if (key == vk::Letter('C') && shift && online) return true;
    if (key == vk::Letter('V') && online) return true;
  }
  if (alt) {
    switch (key) {
      case vk::Letter('X'):
        LogLine("Exit: Alt+X received (mode=" + std::to_string(FMode) + ") - PostQuitMessage");
        FRunning = false;
        FWindow->PostQuit(0);
        return true;
      case vk::Letter('H'):
        if (!online) break;
        DisconnectCurrent();
        return true;
      case vk::Letter('G'):
        if (!online) break;
        ToggleCapture();
        return true;
      case vk::Letter('P'):
        if (!online) break;
        FScreenshotDue = true;
        return true;
      case vk::Letter('N'):
        if (!online) break;
        if (shift)
          SaveScrollback();
        else
          ExportAnsi();
        return true;
      case vk::Letter('M'):
        if (!online) break;
        ToggleSoundMute();
        return true;
      case vk::Letter('D'):
        if (FTelnet)
          SaveScreen();
        else
          RestoreDefaultFont();
        FMode = smDirectory;
        FStatus = kDirectoryStatus;
        return true;
      case vk::Letter('E'):
        if (FMode != smDirectory || !ActivePhonebook() || !ActivePhonebook()->GetEntry(FDirectoryRow)) break;
        OpenEntryEditor(ActivePhonebook()->GetEntry(FDirectoryRow));
        return true;
      case vk::Up:
      case vk::Down:
        if (FMode == smDirectory) MoveDirectoryEntry(key == vk::Up ? -1 : +1);
        return true;
      case vk::Letter('L'):
        if (!online) break;
        SendAutoLogin();
        return true;
      case vk::Letter('B'):
        if (!online) break;
        ToggleScrollback();
        return true;
      case vk::Digit(8):
        if (!online) break;
        FUtf8Mode = !FUtf8Mode;
        FUtf8Decoder.Reset();
        LogLine(std::string("UTF8: Alt+8 toggled live UTF-8 mode to ") + (FUtf8Mode ? "True" : "False") +
                " (session-only, not saved to entry)");
        FStatus = FUtf8Mode ? "UTF-8 mode: ON (Alt+8 to toggle)" : "UTF-8 mode: OFF - CP437 (Alt+8 to toggle)";
        return true;
      case vk::Letter('V'):
        if (!online || ctrl || shift || FReaderOn) break;
        SaveScrollback();
        return true;
      default:
        break;
    }
    // Alt combinations are never sent to the board.
    return true;
  }
  return false;
}

bool TApplication::HandleScrollbackKey(uint16_t key, bool ctrl, bool alt) {
  const int before = FBuffer->ScrollbackView;
  const int page = FBuffer->FHeight;
  switch (key) {
    case vk::Prior: FBuffer->SetScrollbackView(before + page); break;
    case vk::Next: FBuffer->SetScrollbackView(before - page); break;
    case vk::Up: FBuffer->SetScrollbackView(before + 1); break;
    case vk::Down: FBuffer->SetScrollbackView(before - 1); break;
    case vk::Home: FBuffer->SetScrollbackView(FBuffer->ScrollbackCount); break;
    default:
      if (key == vk::Letter('S') && !alt && !ctrl) {
        SaveScrollback();
        ScrollbackStatusText();
        return true;
      }
      if (key == vk::Letter('S') && ctrl) return true;
      LeaveScrollback();
      // Esc and End only leave the view; any other key also goes on.
      return key == vk::Escape || key == vk::End;
  }
  ScrollbackStatusText();
  Invalidate();
  return true;
}

void TApplication::LeaveScrollback() {
  FBuffer->SetScrollbackView(0);
  FWheelScrollback = false;
  FStatus = FSavedStatus;
  Invalidate();
}

void TApplication::HandleOnlineKey(uint16_t key, bool shift, bool ctrl, bool alt) {
  // 1. No call open: Esc goes back to the directory.
  if (!FTelnet) {
    if (key == vk::Escape) {
      FDialStage = 0;
      FDialEntry.reset();
      RestoreDefaultFont();
      FMode = smDirectory;
      FStatus = kDirectoryStatus;
    }
    return;
  }
  // 4. Ctrl+letter sends its control code.
  if (ctrl && !alt && key >= vk::Letter('A') && key <= vk::Letter('Z')) {
    SendTyped(std::string(1, char(key - vk::Letter('A') + 1)));
    return;
  }
  // Esc while the call is still connecting cancels it.
  if (key == vk::Escape) {
    if (FTelnet->Connected.load()) {
      SendTyped(kEsc);
      return;
    }
    FTerminatedText = FEntry ? "Cancelled connecting to " + ShownHost(*FEntry) + "." : "Cancelled connecting.";
    FStatus = FStatusBar ? FTerminatedText : "";
    FTerminatedUntil = platform::TickMs() + 500;
    DisconnectCurrent();
    FBuffer->ClearScreen(true);
    FBuffer->ResetAttributes();
    FBuffer->Dirty = true;
    return;
  }
  // 5. Special keys.
  const bool atascii = FPetsciiActive && FPetscii && FPetscii->GetMode() == TPetsciiParser::pmAtascii;
  std::string bytes = SpecialKeyBytes(key, atascii, FRenegade);
  if (!bytes.empty()) SendTyped(bytes);
}

void TApplication::HandleChar(uint8_t ch, uint32_t codePoint) {
  FLastKeyTick = platform::TickMs();
  if (FRedialPrompt) {
    if (ch == 'Y' || ch == 'y') AnswerRedial(true);
    if (ch == 'N' || ch == 'n') AnswerRedial(false);
    return;
  }
  if (FBackupDue && FMode == smDirectory) {
    if (ch == 'Y' || ch == 'y') AnswerBackupPrompt(true);
    if (ch == 'N' || ch == 'n') AnswerBackupPrompt(false);
    return;
  }
  if (FMode == smEditor) {
    HandleEditorChar(ch);
    return;
  }
  if (FMode != smOnline || !FTelnet) return;
  if (FWheelScrollback) LeaveScrollback();
  // In UTF-8 mode the typed character goes out in UTF-8 as typed; without
  // it, a byte above 127 as the code point with the same value.
  if (FUtf8Mode && codePoint > 127)
    SendTyped(CodePointToUtf8(codePoint));
  else if (FUtf8Mode && ch > 127)
    SendTyped(CodePointToUtf8(ch));
  else
    SendTyped(std::string(1, char(ch)));
  if (FCmdEcho) {
    FParser->ProcessChar(ch);
    Invalidate();
  }
}

void TApplication::SendFKeyMacro(int n) {
  if (!FTelnet || n < 1 || n > 10) return;
  std::string macro = DecodeKeyMacro(FConfig->FKey[size_t(n - 1)]);
  if (!macro.empty()) FTelnet->SendString(macro);
  FStatus = "Sent F" + std::to_string(n) + " macro";
}

// One step of the window size: 1.0, 1.5 ... 3.0, then full screen going up;
// full screen, then the stored scale ... 1.0 going down.
void TApplication::StepWindowScale(int delta) {
  TAppConfig& c = *FConfig;
  const bool full = c.ScreenScaleFullScreen || FWindow->FullScreen();
  if (delta > 0) {
    if (full) return;
    if (c.ScreenScale >= 3.0)
      c.ScreenScaleFullScreen = true;
    else
      c.ScreenScale += 0.5;
  } else if (full) {
    c.ScreenScaleFullScreen = false;
  } else if (c.ScreenScale > 1.0) {
    c.ScreenScale -= 0.5;
  } else {
    return;
  }
  c.ScreenScale = std::clamp(c.ScreenScale, 1.0, 3.0);
  ApplyScreenScale();
  c.Save();
  FStatusShort = true;
  FStatus = c.ScreenScaleFullScreen ? "Screen size: Full Screen (Ctrl+Left/Right)"
                                    : "Screen size: " + ScaleText(c.ScreenScale) + " (Ctrl+Left/Right)";
  if (FReaderOn) SpeakText(FStatus, true);
  FBuffer->Dirty = true;
  Invalidate();
}

void TApplication::ToggleSoundMute() {
  FConfig->AnsiMusicEnabled = !FConfig->AnsiMusicEnabled;
  if (!FConfig->AnsiMusicEnabled) FMusicPlayer->StopAll();
  FDDOFXParser->Audio.FEnabled = FConfig->AnsiMusicEnabled;
  if (!FConfig->AnsiMusicEnabled) FDDOFXParser->Audio.StopSamples();
  FDDOFXSound->Wake();
  FConfig->Save();
  SetStatus(FConfig->AnsiMusicEnabled ? "Music/sound ON  (Alt+M to mute)" : "Music/sound MUTED  (Alt+M to turn back on)",
            3000);
  Invalidate();
}
