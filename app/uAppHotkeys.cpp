// The program's hotkeys as rows of one command table: the window-size keys
// tried before the modal prompts, the hotkeys after them, and the function
// keys with the font keys. Each row names its key chord, the screens where
// it applies, whether it also runs in doorway mode, and what it runs. Rows are tried top to
// bottom; the last hotkey row keeps every other Alt combination from the
// board.
#include "app/call/uCall.h"
#include "app/screens/uDirectoryScreen.h"
#include "app/uApp.h"
#include "app/uAppFonts.h"
#include "app/uAppDoors.h"
#include "app/uAppGuide.h"
#include "app/uAppOutput.h"
#include "app/uAppReader.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"
#include "app/uCommandTable.h"
#include "app/uOnlineMouse.h"
#include "core/uDebugLog.h"
#include "data/uConfig.h"
#include "platform/Keys.h"
#include "sound/uSapiSpeech.h"

namespace vk = platform::vk;

namespace {

using Row = TCommand<TApplication>;
constexpr auto kBefore = TCommandStage::BeforePrompts;
constexpr auto kHotkey = TCommandStage::Hotkeys;
constexpr auto kFnKey = TCommandStage::FunctionKeys;
constexpr bool kDoorwayToo = true, kNotInDoorway = false;
constexpr TScreenSet kOnline = On(smOnline), kDirectory = On(smDirectory);
constexpr TScreenSet kNotOnline = kAnyScreen & ~On(smOnline);

constexpr TKeyChord Alt(char letter, uint8_t need = 0, uint8_t refuse = 0) {
  return Chord(vk::Letter(letter), uint8_t(mod::Alt | need), refuse);
}

// A local command whose control code must not reach the board, even where
// the command itself has nothing to do.
bool KeepLocal(TApplication&, const TKeyEvent&) { return true; }

// A row that runs one operation of the application and takes the key.
template <void (TApplication::*Operation)()>
bool Do(TApplication& app, const TKeyEvent&) {
  (app.*Operation)();
  return true;
}
template <void (TApplication::*Operation)(int), int Argument>
bool Do(TApplication& app, const TKeyEvent&) {
  (app.*Operation)(Argument);
  return true;
}

// A row that runs one operation of a unit the application owns (Part is
// the application's pointer to it) and takes the key.
template <auto Part, auto Operation>
bool DoOn(TApplication& app, const TKeyEvent&) {
  ((*(app.*Part)).*Operation)();
  return true;
}

}  // namespace

const std::vector<TCommand<TApplication>>& TApplication::Commands() {
  static const std::vector<Row> table = {
      // Window size, tried even over an open prompt.
      {kBefore, Chord(vk::Left, mod::Ctrl, mod::Alt | mod::Shift), kAnyScreen, kNotInDoorway, nullptr,
       Do<&TApplication::StepWindowScale, -1>},
      {kBefore, Chord(vk::Right, mod::Ctrl, mod::Alt | mod::Shift), kAnyScreen, kNotInDoorway, nullptr,
       Do<&TApplication::StepWindowScale, +1>},

      // Hotkeys.
      {kHotkey, Alt('W'), kOnline, kDoorwayToo, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.FDoorwayMode = !a.FDoorwayMode;
         a.FStatus = a.FDoorwayMode ? "DOORWAY MODE ON - local hotkeys suppressed. Alt+W to exit." : "Doorway mode off.";
         return true;
       }},
      {kHotkey, Chord(vk::Scroll), kOnline, kDoorwayToo, nullptr, Do<&TApplication::TogglePause>},
      {kHotkey, Chord(vk::Pause), kOnline, kDoorwayToo, nullptr, Do<&TApplication::TogglePause>},
      {kHotkey, Alt('X'), kAnyScreen, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.Quit("Exit: Alt+X received (mode=" + std::to_string(a.ScreenMode()) + ") - PostQuitMessage");
         return true;
       }},
      {kHotkey, Chord(vk::Return, mod::Alt), kAnyScreen, kNotInDoorway, nullptr, Do<&TApplication::ToggleFullscreen>},
      {kHotkey, Alt('C'), kAnyScreen & ~On(smConfig), kNotInDoorway, nullptr, Do<&TApplication::OpenConfig>},
      {kHotkey, Alt('Z'), kAnyScreen & ~On(smHelp), kNotInDoorway, nullptr, Do<&TApplication::OpenHelp>},
      {kHotkey, Chord(vk::OemPlus, mod::Alt), kAnyScreen & ~On(smAbout), kNotInDoorway, nullptr,
       Do<&TApplication::OpenAbout>},
      {kHotkey, Alt('H'), kOnline, kNotInDoorway, nullptr, Do<&TApplication::DisconnectCurrent>},
      {kHotkey, Alt('G'), kOnline, kNotInDoorway, nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FCall->ToggleCapture();
         return true;
       }},
      {kHotkey, Alt('P'), kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.FScreenshotDue = true;  // taken at the next paint
         return true;
       }},
      {kHotkey, Alt('N', mod::Shift), kOnline, kNotInDoorway, nullptr, DoOn<&TApplication::FOutput, &TAppOutput::SaveScrollback>},
      {kHotkey, Alt('M'), kOnline, kNotInDoorway, nullptr, Do<&TApplication::ToggleSoundMute>},
      {kHotkey, Alt('N'), kOnline, kNotInDoorway, nullptr, DoOn<&TApplication::FOutput, &TAppOutput::ExportAnsi>},
      {kHotkey, Alt('Q'), kOnline, kNotInDoorway, [](const TApplication& a) { return a.FCall->Transport() == nullptr; },
       [](TApplication& a, const TKeyEvent&) {
         a.FQuickDial.Open();
         return true;
       }},
      {kHotkey, Alt('D'), kAnyScreen, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         // A call's screen is kept for the way back; without a call the
         // board's font goes.
         if (a.FCall->Transport())
           a.FScreenSnapshot.Save(*a.FBuffer);
         else
           a.FFonts->RestoreDefaultFont();
         a.SwitchScreen(smDirectory);
         a.FStatus = kDirectoryStatus;
         return true;
       }},
      {kHotkey, Chord(vk::Letter('O'), mod::Ctrl, mod::Alt | mod::Shift), kDirectory | kOnline, kNotInDoorway,
       nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FScripts->ToggleRecorder();
         return true;
       }},
      {kHotkey, Alt('O'), kDirectory | kOnline, kNotInDoorway, nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FScripts->PickScript();
         return true;
       }},
      // The directory's own Alt keys: edit the selected entry, move it.
      {kHotkey, Alt('E'), kDirectory, kNotInDoorway, nullptr, &TApplication::ToCurrentScreen},
      {kHotkey, Chord(vk::Up, mod::Alt), kDirectory, kNotInDoorway, nullptr, &TApplication::ToCurrentScreen},
      {kHotkey, Chord(vk::Down, mod::Alt), kDirectory, kNotInDoorway, nullptr, &TApplication::ToCurrentScreen},
      // Transfers started from the keyboard, and the phonebook import.
      {kHotkey, Alt('U'), kOnline, kNotInDoorway, nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FUploads->StartZmodemUpload();
         return true;
       }},
      {kHotkey, Alt('A'), kOnline, kNotInDoorway, nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FUploads->StartAsciiUpload();
         return true;
       }},
      {kHotkey, Alt('Y'), kOnline, kNotInDoorway, nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FUploads->OpenDownloadMenu();
         return true;
       }},
      {kHotkey, Alt('K'), kOnline, kNotInDoorway, nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FUploads->StartXYmodemUpload();
         return true;
       }},
      {kHotkey, Alt('I'), kDirectory, kNotInDoorway, nullptr, 
       [](TApplication& a, const TKeyEvent&) {
         a.FUploads->StartPhonebookImport();
         return true;
       }},
      {kHotkey, Alt('L'), kOnline, kNotInDoorway, nullptr, [](TApplication& a, const TKeyEvent&) {
         a.FCall->SendAutoLogin();
         return true;
       }},
      {kHotkey, Alt('B'), kOnline, kNotInDoorway, nullptr, DoOn<&TApplication::FOutput, &TAppOutput::ToggleScrollback>},
      {kHotkey, Chord(vk::Digit(8), mod::Alt), kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.FCall->SetUtf8Mode(!a.FCall->Utf8Mode());
         LogLine(std::string("UTF8: Alt+8 toggled live UTF-8 mode to ") + (a.FCall->Utf8Mode() ? "True" : "False") +
                 " (session-only, not saved to entry)");
         a.FStatus =
             a.FCall->Utf8Mode() ? "UTF-8 mode: ON (Alt+8 to toggle)" : "UTF-8 mode: OFF - CP437 (Alt+8 to toggle)";
         return true;
       }},
      {kHotkey, Alt('V', 0, mod::Ctrl | mod::Shift), kOnline, kNotInDoorway,
       [](const TApplication& a) { return !a.FReader->On(); },
       DoOn<&TApplication::FOutput, &TAppOutput::SaveScrollback>},
      // The screen reader: its switches, then the lines it reads on request.
      {kHotkey, Alt('F', 0, mod::Ctrl | mod::Shift), kAnyScreen, kNotInDoorway, nullptr,
       DoOn<&TApplication::FReader, &TAppReader::TogglePromptOnly>},
      {kHotkey, Alt('R', mod::Ctrl), kAnyScreen, kNotInDoorway, nullptr, DoOn<&TApplication::FReader, &TAppReader::TogglePromptOnly>},
      {kHotkey, Alt('R', 0, mod::Ctrl), kAnyScreen, kNotInDoorway, nullptr, DoOn<&TApplication::FReader, &TAppReader::ToggleScreenReader>},
      {kHotkey, Chord(vk::Space, mod::Ctrl), kAnyScreen, kNotInDoorway, [](const TApplication& a) { return a.FReader->On(); },
       [](TApplication&, const TKeyEvent&) {
         PurgeSpeechQueue();
         return true;
       }},
      {kHotkey, Alt('S'), kAnyScreen, kNotInDoorway, nullptr, Do<&TApplication::ToggleStatusBar>},
      {kHotkey, Chord(vk::Fn(11), 0, mod::Ctrl | mod::Alt), kNotOnline, kNotInDoorway, nullptr,
       Do<&TApplication::TogglePhonebookList>},
      {kHotkey, Chord(vk::Fn(11), mod::Ctrl, mod::Alt), kNotOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.FGuide->StartGuideDownload();
         return true;
       }},
      // Copy and paste on the online screen.
      {kHotkey, Alt('T', 0, mod::Ctrl | mod::Shift), kOnline, kNotInDoorway,
       [](const TApplication& a) { return !a.FReader->On(); },
       [](TApplication& a, const TKeyEvent&) {
         a.OnlineMouse().CopyScreenToClipboard();
         return true;
       }},
      // With the reader on (or with Ctrl or Shift), Alt+T and Alt+V read aloud.
      {kHotkey, Alt('T'), kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.FReader->SpeakTerminalLine(a.FBuffer->CursorY, true);
         return true;
       }},
      {kHotkey, Alt('V'), kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.FReader->SpeakScreen(true);
         return true;
       }},
      {kHotkey, Chord(vk::Letter('C'), mod::Ctrl | mod::Shift, mod::Alt), kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.OnlineMouse().CopyScreenToClipboard();
         return true;
       }},
      // Without a selection Ctrl+C goes to the board.
      {kHotkey, Chord(vk::Letter('C'), mod::Ctrl, mod::Alt), kOnline, kNotInDoorway,
       [](const TApplication& a) { return a.FMouse->HasSelection(); },
       [](TApplication& a, const TKeyEvent&) {
         a.OnlineMouse().CopySelectionToClipboard();
         return true;
       }},
      {kHotkey, Chord(vk::Letter('V'), mod::Ctrl, mod::Alt), kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent&) {
         a.OnlineMouse().PasteToSession();
         return true;
       }},
      {kHotkey, Alt('J'), kOnline, kNotInDoorway, nullptr, DoOn<&TApplication::FDoors, &TAppDoors::ShellToDos>},
      // Alt combinations are never sent to the board.
      {kHotkey, TKeyChord{0, 0, mod::Alt, 0}, kAnyScreen, kNotInDoorway, nullptr, KeepLocal},

      // Function keys: F1..F10 send their macro while a call is open.
      {kFnKey, TKeyChord{vk::Fn(1), vk::Fn(10), 0, mod::Shift | mod::Ctrl | mod::Alt}, kOnline, kDoorwayToo,
       [](const TApplication& a) { return a.FCall->Transport() != nullptr; },
       [](TApplication& a, const TKeyEvent& key) {
         const int n = key.Key - vk::Fn(1) + 1;
         if (a.FConfig->FKey[size_t(n - 1)].empty()) return false;  // on to the board's own keys
         a.SendFKeyMacro(n);
         return true;
       }},
      // Ctrl+F1..F8 start the local door programs of their slots.
      {kFnKey, TKeyChord{vk::Fn(1), vk::Fn(8), mod::Ctrl, mod::Shift | mod::Alt}, kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent& key) {
         a.FDoors->RunExternalDoor(key.Key - vk::Fn(1) + 1);
         return true;
       }},
      // Shift+F1..F10 run the script set for the key, or stop it while it
      // runs, even after the call has ended.
      {kFnKey, TKeyChord{vk::Fn(1), vk::Fn(10), mod::Shift, mod::Ctrl | mod::Alt}, kOnline, kNotInDoorway, nullptr,
       [](TApplication& a, const TKeyEvent& key) {
         a.FScripts->RunScriptHotkey(key.Key - vk::Fn(1) + 1);
         return true;
       }},
      // F12 steps the font and Shift+F12 switches the sharp glyphs, on every
      // screen and in doorway mode too.
      {kFnKey, Chord(vk::Fn(12), mod::Shift, mod::Ctrl | mod::Alt), kAnyScreen, kDoorwayToo, nullptr,
       DoOn<&TApplication::FFonts, &TAppFonts::ToggleSharpFont>},
      {kFnKey, Chord(vk::Fn(12)), kAnyScreen, kDoorwayToo, nullptr, DoOn<&TApplication::FFonts, &TAppFonts::PickFont>},
  };
  return table;
}

bool TApplication::ToCurrentScreen(TApplication& app, const TKeyEvent& key) {
  std::shared_ptr<TScreen> screen = app.FScreens.Current();
  return screen && screen->Key(key);
}
