// What the program screens see of the application (the screen services),
// and switching between screens: the registered online screen and
// directory, and the screens opened over them.
#include "app/call/uCall.h"
#include "app/screens/uAboutScreen.h"
#include "app/screens/uConfigScreen.h"
#include "app/screens/uHelpScreen.h"
#include "app/screens/uSplashScreen.h"
#include "app/uApp.h"
#include "app/uAppGuide.h"
#include "app/uAppReader.h"
#include "app/uTermTypePresets.h"
#include "core/uDebugLog.h"
#include "data/uPhonebook.h"
#include "platform/AppFolder.h"
#include "platform/Tick.h"

void TApplication::BeginEntryEdit(const std::shared_ptr<TPhonebookEntry>& entry) { FGuide->BeginEntryEdit(entry); }

void TApplication::EndEntryEdit() { FGuide->EndGuideEntryEdit(); }

void TApplication::SpeakDirectoryLine(int index) { FReader->SpeakDirectoryLine(index); }

void TApplication::SwitchScreen(TScreenMode mode) {
  if (FScreens.Current().get() == FScreens.Registered(mode)) return;
  // The screen timer belongs to the screen that asked for it.
  if (FWindow) FWindow->KillTimer(tmScreen);
  FScreens.Show(mode);
  Invalidate();
}

void TApplication::ShowScreen(TScreenMode mode) {
  // The online screen comes back as the call left it; with no call open it
  // starts blank.
  if (mode == smOnline && !FCall->Transport()) {
    FBuffer->ClearScreen(false);
    FBuffer->SetCursorVisible(true);
    FBuffer->ResetAttributes();
  }
  SwitchScreen(mode);
}

void TApplication::OpenScreen(std::shared_ptr<TScreen> screen) {
  if (FWindow) FWindow->KillTimer(tmScreen);
  FScreens.Open(std::move(screen));
  Invalidate();
}

void TApplication::CloseScreen() {
  if (FWindow) FWindow->KillTimer(tmScreen);
  FScreens.Close();
  Invalidate();
}

void TApplication::SetScreenTimer(uint32_t ms) {
  if (FWindow) FWindow->SetTimer(tmScreen, ms);
}

void TApplication::ShowSplash() { OpenScreen(std::make_shared<TSplashScreen>(*this)); }

void TApplication::OpenConfig() { OpenScreen(std::make_shared<TConfigScreen>(*this)); }
void TApplication::OpenHelp() { OpenScreen(std::make_shared<THelpScreen>(*this)); }
void TApplication::OpenAbout() { OpenScreen(std::make_shared<TAboutScreen>(*this)); }

bool TApplication::ShowingBoardList() const { return ActivePhonebook() == FGuidebook.get() && FShowGuide; }

const std::vector<std::string>& TApplication::FontList() {
  // Read once and kept; a folder without fonts is looked at again next time.
  if (FFontList.empty()) FFontList = FontStemsIn(platform::AppFolder() + "fonts");
  return FFontList;
}

void TApplication::ShowToast(const std::string& title, const std::string& text, uint32_t ms) {
  FPopups.Toast.Title = title;
  FPopups.Toast.Text = text;
  FPopups.Toast.Until = platform::TickMs() + ms;
}

std::string TApplication::ClipboardText() { return FWindow ? FWindow->ClipboardText() : std::string(); }

void TApplication::Quit(const std::string& reason) {
  LogLine(reason);
  FRunning = false;
  if (FWindow) FWindow->PostQuit(0);
}
