// The user's commands on the window and its look: the window-size steps
// (Ctrl+Left/Right), full screen and back (Alt+Enter), the status bar
// (Alt+S), the phonebook shown by the directory (F11), the next terminal
// font (F12) and the sharp upscaled glyphs (Shift+F12). Each says what it
// did on the status line, and the ones that change a setting save it.
#include <algorithm>
#include <cstdio>

#include "app/call/uCall.h"
#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uEntryEditor.h"
#include "app/uApp.h"
#include "app/uAppReader.h"
#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "core/uFontRenderer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uWireTransport.h"
#include "platform/AppFolder.h"
#include "platform/FindFile.h"

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
  if (FReader->On()) FReader->Speak(FStatus, true);
  FBuffer->Dirty = true;
  Invalidate();
}

void TApplication::SetFullscreen(bool on) {
  if (on == FWindow->FullScreen()) return;
  if (on) {
    // The window as it is now is where leaving full screen puts it back.
    FWindow->OuterPosition(FSavedWindow.Left, FSavedWindow.Top);
    FSavedWindow.Right = FSavedWindow.Left + FWindow->ClientWidth();
    FSavedWindow.Bottom = FSavedWindow.Top + FWindow->ClientHeight();
    FWindow->SetFullScreen(true);
  } else {
    FWindow->SetFullScreen(false);
    FWindow->SetClientSize(FSavedWindow.Width(), FSavedWindow.Height());
    FWindow->SetOuterPosition(FSavedWindow.Left, FSavedWindow.Top);
  }
  FreeBackBuffer();
  FBuffer->Dirty = true;
  Invalidate();
}

void TApplication::ToggleFullscreen() {
  const bool on = !FWindow->FullScreen();
  SetFullscreen(on);
  FStatus = on ? "Fullscreen (Alt+Enter to restore)" : "Windowed (Alt+Enter for fullscreen)";
}

void TApplication::ToggleStatusBar() {
  FStatusBar = !FStatusBar;
  FConfig->ShowStatusBar = FStatusBar;
  FConfig->Save();
  FStatusShort = true;
  FStatus = FStatusBar ? "Status bar: ON (Alt+S to toggle)" : "Status bar: OFF (Alt+S to toggle)";
  if (FReader->On()) FReader->Speak(FStatus, true);
  // The board's rows grow or shrink by the status row, and a call is told.
  ApplyTermGeometry();
  if (FCall->Entry() && FCall->Transport())
    FCall->Transport()->SetWindowSize(uint16_t(FCall->TermCols()), uint16_t(FCall->TextRows(FCall->TermRows())));
  FBuffer->Dirty = true;
  Invalidate();
}

void TApplication::TogglePhonebookList() {
  FShowGuide = !FShowGuide;
  FConfig->UseGuidePhonebook = FShowGuide;
  FConfig->Save();
  FDirectory->Select(0);
  TPhonebook* book = ActivePhonebook();
  const int count = book ? book->Count() : 0;
  char text[96];
  std::snprintf(text, sizeof text,
                FShowGuide ? "Phonebook: Telnet BBS Guide (%d entries) - F11 to switch back"
                           : "Phonebook: Custom - korvan.ini (%d entries) - F11 to switch",
                count);
  FStatus = text;
  if (FReader->On()) FReader->Speak(FStatus, true);
  Invalidate();
}
