// The key dispatcher: every key-down and typed character goes, in one fixed
// order, to an open prompt, the hotkeys and function keys of the command
// table, the current screen, and on the online screen finally to the board
// as bytes.
#include <algorithm>
#include <cstdio>

#include "app/call/uCall.h"
#include "app/screens/uDirectoryScreen.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uAppReader.h"
#include "app/uAppGuide.h"
#include "app/uAppOutput.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"
#include "app/uCommandTable.h"
#include "app/uTermTypePresets.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uPetsciiParser.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uWireTransport.h"
#include "platform/Keys.h"
#include "platform/Tick.h"

namespace vk = platform::vk;

void TApplication::SendTyped(const std::string& text) {
  if (!FCall->Transport()) return;
  FScripts->RecordTypedText(text);
  FCall->Transport()->SendString(text);
}

void TApplication::HandleKeyDown(uint16_t key, bool shift, bool ctrl, uint16_t scanCode, bool alt) {
  const uint64_t now = platform::TickMs();
  // 1. The key tick; a banner in view is dismissed.
  FLastKeyTick = now;
  FSwallowKeyText = false;
  if (!FQuitting && FPopups.Terminated.Until > now) {
    FPopups.Terminated.Until = 0;
    Invalidate();
  }
  // 2. A script's input prompt takes every key without Alt.
  if (FScripts->PromptOpen() && !alt) {
    FScripts->ScriptInputKey(key, ctrl);
    return;
  }
  // 3. A command-line call ended: any key quits.
  if (FQuitting) {
    FWindow->KillTimer(tmQuit);
    FRunning = false;
    FWindow->PostQuit(0);
    return;
  }
  // 4. A screen that takes every key first (the splash).
  const TKeyEvent event{key, shift, ctrl, alt, scanCode};
  std::shared_ptr<TScreen> screen = FScreens.Current();
  if (screen && screen->KeyFirst(event)) return;
  // 5. The commands tried before the prompts (the window size).
  if (RunCommand(Commands(), TCommandStage::BeforePrompts, *this, event, ScreenMode(), FDoorwayMode)) return;
  // 6. The redial question.
  if (FPopups.Redial.Open) {
    if (!alt) {
      if (key == vk::Escape) AnswerRedial(false);
      Invalidate();
      return;
    }
    if (key == vk::Shift || key == vk::Control || key == vk::Menu) return;
    FPopups.Redial.Open = false;
    FPopups.Redial.Entry.reset();
    FPopups.Redial.Reason.clear();
    FStatus = "Not redialing.";
  }
  // 7. The board-list update question takes every key; Esc keeps the edits
  // (K and U come as characters).
  if (FPopups.GuidePrompt) {
    if (key == vk::Escape) FGuide->AnswerGuideUpdate(true);
    Invalidate();
    return;
  }
  // 8. The phonebook backup reminder (shown on the directory).
  if (FPopups.BackupDue && ScreenMode() == smDirectory) {
    if (!alt) {
      if (key == vk::Escape) FGuide->AnswerBackupPrompt(false);
      return;
    }
    if (key == vk::Shift || key == vk::Control || key == vk::Menu) return;
    FGuide->AnswerBackupPrompt(false);
  }
  // 9-12. The message-upload warning, the upload-batch question and the
  // protocol menus take every key.
  if (FUploads->TransferPromptKey(event)) return;
  // 13. The quick dial box takes every key while open.
  if (FQuickDial.IsOpen()) {
    FQuickDial.Key(event);
    return;
  }
  // 14. The hotkeys.
  if (RunCommand(Commands(), TCommandStage::Hotkeys, *this, event, ScreenMode(), FDoorwayMode)) return;
  // 15. The scrollback view.
  if (ScreenMode() == smOnline && FOutput->Browsing() && FOutput->HandleScrollbackKey(key, ctrl, alt)) return;
  // 16. Keyboards that report F11/F12 under another code.
  if (scanCode == 0x57) key = vk::Fn(11);
  if (scanCode == 0x58) key = vk::Fn(12);
  // 17. The function keys.
  const TKeyEvent fnEvent{key, shift, ctrl, alt, scanCode};
  if (RunCommand(Commands(), TCommandStage::FunctionKeys, *this, fnEvent, ScreenMode(), FDoorwayMode)) return;
  // 20. The current screen; only the screen the key arrived on sees it,
  // even when its handler switches to another screen.
  if (screen) screen->Key(fnEvent);
}

void TApplication::HandleChar(uint8_t ch, uint32_t codePoint) {
  FLastKeyTick = platform::TickMs();
  // The text of a key that answered a menu on key-down is not typed.
  if (FSwallowKeyText) {
    FSwallowKeyText = false;
    return;
  }
  if (FScripts->PromptOpen()) {
    FScripts->ScriptInputChar(ch);
    return;
  }
  if (FQuickDial.IsOpen()) {
    FQuickDial.Char(ch);
    return;
  }
  if (FPopups.Redial.Open) {
    if (ch == 'Y' || ch == 'y') AnswerRedial(true);
    if (ch == 'N' || ch == 'n') AnswerRedial(false);
    return;
  }
  if (FPopups.GuidePrompt) {
    if (ch == 'K' || ch == 'k') FGuide->AnswerGuideUpdate(true);
    if (ch == 'U' || ch == 'u') FGuide->AnswerGuideUpdate(false);
    return;
  }
  if (FPopups.BackupDue && ScreenMode() == smDirectory) {
    if (ch == 'Y' || ch == 'y') FGuide->AnswerBackupPrompt(true);
    if (ch == 'N' || ch == 'n') FGuide->AnswerBackupPrompt(false);
    return;
  }
  if (FUploads->TransferPromptChar(ch)) return;
  if (std::shared_ptr<TScreen> screen = FScreens.Current()) screen->Char(ch, codePoint);
}

void TApplication::SendFKeyMacro(int n) {
  if (!FCall->Transport() || n < 1 || n > 10) return;
  std::string macro = DecodeKeyMacro(FConfig->FKey[size_t(n - 1)]);
  if (!macro.empty()) SendTyped(macro);
  FStatus = "Sent F" + std::to_string(n) + " macro";
}

void TApplication::ToggleSoundMute() {
  FConfig->AnsiMusicEnabled = !FConfig->AnsiMusicEnabled;
  FModes->SoundSwitched(FConfig->AnsiMusicEnabled);
  FConfig->Save();
  SetStatus(FConfig->AnsiMusicEnabled ? "Music/sound ON  (Alt+M to mute)" : "Music/sound MUTED  (Alt+M to turn back on)",
            3000);
  Invalidate();
}
