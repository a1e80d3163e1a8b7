// What a program screen sees of the application: the phonebooks and
// settings, the status line, the popups, switching screens, calling a
// board, the clipboard and the window. The application implements it; a
// screen never reaches further.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/screens/uScreen.h"

class TAppConfig;
class TPhonebook;
class TPhonebookEntry;
class TPopups;

class TScreenServices {
 public:
  virtual ~TScreenServices() = default;

  // The downloaded board list while the directory shows it, else the
  // user's phonebook.
  virtual TPhonebook* ActivePhonebook() const = 0;
  virtual bool ShowingBoardList() const = 0;
  virtual TAppConfig& Config() = 0;
  // The font file names (without extension) in the fonts folder, the
  // standard font first; read once and kept.
  virtual const std::vector<std::string>& FontList() = 0;

  // The status text: the list screens' footer, the online screen's bottom line.
  virtual const std::string& StatusText() const = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // The popup boxes and questions, to draw over a screen.
  virtual const TPopups& Popups() const = 0;
  // A short notice in a box over the screen for Ms milliseconds.
  virtual void ShowToast(const std::string& title, const std::string& text, uint32_t ms) = 0;

  // The screen shown now.
  virtual TScreenMode ScreenMode() const = 0;
  // The registered screen of Mode (the directory, or the online screen as
  // the call left it, blank with no call open); every opened screen closes.
  virtual void ShowScreen(TScreenMode mode) = 0;
  // Screen shown over the current one until it closes.
  virtual void OpenScreen(std::shared_ptr<TScreen> screen) = 0;
  // Closes the screen shown last; the one it covered comes back.
  virtual void CloseScreen() = 0;
  // Tick of the current screen after Ms milliseconds, once.
  virtual void SetScreenTimer(uint32_t ms) = 0;
  virtual void Repaint() = 0;
  // With the screen reader on, says the directory's row Index.
  virtual void SpeakDirectoryLine(int index) = 0;

  // Opens a call to Entry (a simulated modem dials first).
  virtual void ConnectToEntry(const std::shared_ptr<TPhonebookEntry>& entry) = 0;
  virtual bool CallOpen() const = 0;

  // An entry opened for editing, and the end of that edit: an entry of the
  // downloaded board list that really changed is marked as edited by the
  // user, so later downloads keep it.
  virtual void BeginEntryEdit(const std::shared_ptr<TPhonebookEntry>& entry) = 0;
  virtual void EndEntryEdit() = 0;

  // The clipboard's text (UTF-8).
  virtual std::string ClipboardText() = 0;
  // Ends the program; Reason goes to the log.
  virtual void Quit(const std::string& reason) = 0;
  // Sizes the window by the settings' scale (640 x 400 times it), or makes
  // it full screen.
  virtual void ApplyScreenScale() = 0;
  // The folders of the settings put to use after they changed: the receive
  // folder of the file transfers, the door-graphics folder and its assets,
  // and where the door sound is captured.
  virtual void ApplyFolderSettings() = 0;
};
