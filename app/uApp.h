// The application object, the program's composition root: owns the main
// window, the screen buffer and the ANSI emulation, the fonts and renderer,
// the settings and phonebooks, the screen stack and the popups, runs the one
// interface thread's event loop and timers, the command table and start-up
// and shutdown. The live call is a TCall (app/call), made when a call starts
// and thrown away by the end-of-call reset; the application sees it through
// its public face and lends it TCallHost. The program's other duties are
// units it owns, each a TApp... of its own file: the scripts and the login
// recorder, uploads and the transfer questions, the board list and the
// phonebooks' upkeep, the screen reader, local doors, the screen's saves
// and the scrollback view, the terminal font. The program screens
// (app/screens) see it only through TScreenServices.
#pragma once
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/screens/uCellGrid.h"
#include "app/screens/uEditLine.h"
#include "app/screens/uPopupLayer.h"
#include "app/screens/uPopups.h"
#include "app/screens/uQuickDial.h"
#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"
#include "app/screens/uScreenStack.h"
#include "core/uTerminalBuffer.h"
#include "core/uUtf8Cp437.h"
#include "platform/EventLoop.h"
#include "platform/Surface.h"

class TAnsiParser;
class TTextEmulation;
class TBitmapFont;
class TFontRenderer;
class TAppConfig;
class TPhonebook;
class TPhonebookEntry;
class TWireTransport;
class TCall;
class TAppCallHost;
class TCallModes;
class TAppModeServices;
class TDirectoryScreen;
class TOnlineScreen;
class TOnlineMouse;
template <class Host>
struct TCommand;
class TAppScripts;
class TAppUploads;
class TAppGuide;
class TAppReader;
class TAppDoors;
class TAppOutput;
class TAppFonts;

// How the program is started: the process arguments, and for tests a
// headless window and a scratch folder in place of the executable's.
struct TAppOptions {
  std::vector<std::string> Args;  // without the program name
  bool Headless = false;
  std::string AppFolder;          // empty: the executable's folder
};

// Window timer ids; the screen timer is the current screen's (the splash's).
// Each row of the call's mode table has its own timer, from tmModeFirst on.
enum TAppTimer : int {
  tmMain = 1, tmFocus = 2, tmScreen = 3, tmQuit = 4, tmHeldInput = 7, tmDoorProcess = 9, tmModeFirst = 16
};

// A copy of the online screen kept while a program screen borrows the buffer.
struct TScreenSnapshot {
  std::vector<TCell> Cells;
  int Cols = 0, Rows = 0;
  int CursorX = 0, CursorY = 0;
  bool CursorVisible = true;
  TTextAttributes Pen{};
  bool Valid = false;

  // Keeps what Buffer shows (the cells of its view, the cursor, the pen).
  void Save(const TTerminalBuffer& buffer);
  // Puts a kept screen back into Buffer, once.
  void Restore(TTerminalBuffer& buffer);
};

class TApplication : public TScreenServices {
 public:
  explicit TApplication(const TAppOptions& options);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // False when the window could not be made; StartError says why.
  bool Started() const { return FStarted; }
  const std::string& StartError() const { return FStartError; }

  // The message loop: runs until FRunning is cleared.
  void Run();
  // Tests: runs the loop until Done holds, the loop ends or TimeoutMs pass.
  bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs);

  // The window procedure: one event of the loop.
  void WndProc(const platform::Event& e);
  platform::EventLoop& Window() const { return *FWindow; }
  bool Running() const { return FRunning; }

  // What the user sees: the screen shown, the call's own screen, and the
  // last frame painted (the grid a program screen composed, or the call's
  // screen, and the popup layer over it).
  TScreenMode ScreenMode() const override { return FScreens.Mode(); }
  std::shared_ptr<TScreen> CurrentScreen() const { return FScreens.Current(); }
  TDirectoryScreen& Directory() const { return *FDirectory; }
  const TTerminalBuffer& CallScreen() const { return *FBuffer; }
  // Paints one frame now, as a paint event of the window does.
  void PaintFrame();
  const TTerminalBuffer& LastFrameGrid() const { return FLastFrameWasList ? *FScreenBuffer : *FBuffer; }
  const TPopupLayer& LastFramePopups() const { return FPopupLayer; }

  // The call: opening one (a simulated modem dials first unless SkipDial),
  // hanging up, the entry it belongs to, and whether it is connected.
  void ConnectToEntry(const std::shared_ptr<TPhonebookEntry>& entry, bool skipDial);
  void DisconnectCurrent();
  const std::shared_ptr<TPhonebookEntry>& CallEntry() const;
  bool CallConnected() const;

  // --- What the program screens see of the application -------------------
  TPhonebook* ActivePhonebook() const override;
  bool ShowingBoardList() const override;
  TAppConfig& Config() override { return *FConfig; }
  const std::vector<std::string>& FontList() override;
  const std::string& StatusText() const override { return FStatus; }
  void SetStatusText(const std::string& text) override { FStatus = text; }
  const TPopups& Popups() const override { return FPopups; }
  void ShowToast(const std::string& title, const std::string& text, uint32_t ms) override;
  void ShowScreen(TScreenMode mode) override;
  void OpenScreen(std::shared_ptr<TScreen> screen) override;
  void CloseScreen() override;
  void SetScreenTimer(uint32_t ms) override;
  void Repaint() override { Invalidate(); }
  void ConnectToEntry(const std::shared_ptr<TPhonebookEntry>& entry) override { ConnectToEntry(entry, false); }
  bool CallOpen() const override;
  void BeginEntryEdit(const std::shared_ptr<TPhonebookEntry>& entry) override;
  void EndEntryEdit() override;
  std::string ClipboardText() override;
  void Quit(const std::string& reason) override;
  // The window's client area to 640 x 400 times the scale, or full screen.
  void ApplyScreenScale() override;
  void ApplyFolderSettings() override;

 private:
  // The online screen is the program's own view of the call; the units the
  // application owns and the call's and modes' adapters work on it; the
  // tests' probe reaches what nothing outside shows.
  friend class TOnlineScreen;
  friend class TOnlineMouse;
  friend struct TAppProbe;
  friend class TAppModeServices;
  friend class TAppCallHost;
  friend class TAppScripts;
  friend class TAppUploads;
  friend class TAppGuide;
  friend class TAppReader;
  friend class TAppDoors;
  friend class TAppOutput;
  friend class TAppFonts;

  void WakeMainThread();
  void Invalidate();
  void PumpMessages();

  // Scroll Lock's pause of the call's received bytes.
  void TogglePause();
  // A new call for Entry (null: the empty one between calls).
  void MakeCall(std::shared_ptr<TPhonebookEntry> entry);

  // Connect road and call life cycle.
  void ParseCommandLine();
  void AutoConnect();
  void StartDial(const std::shared_ptr<TPhonebookEntry>& entry);
  void DialTick();
  void OnTelnetStatus(const std::string& msg);
  void OnTelnetConnected();
  void OnTelnetDisconnected(const std::string& msg, bool live);
  void ResetSessionState();
  void AnswerRedial(bool yes);

  // The window title: the board and the call's time.
  void UpdateWindowTitle();

  // Terminal geometry.
  void ApplyTermGeometry();
  void OnResizeRequest(int rows, int cols);
  void ForceForeground();

  // Painting.
  void FreeBackBuffer();
  void PaintScreen(platform::Surface& target);
  void SnapAspectAfterResize();

  // Shows a registered screen, the timer of the screen it replaces stopped.
  void SwitchScreen(TScreenMode mode);

  // Keys.
  void HandleKeyDown(uint16_t vk, bool shift, bool ctrl, uint16_t scanCode, bool alt);
  // Ch is the typed character in CP437; CodePoint, when known, the Unicode
  // character typed, which UTF-8 mode sends as it is.
  void HandleChar(uint8_t ch, uint32_t codePoint = 0);
  void SendTyped(const std::string& text);

  // The hotkeys and function keys, as rows of one command table.
  static const std::vector<TCommand<TApplication>>& Commands();
  // A command row's run: the key goes to the current screen.
  static bool ToCurrentScreen(TApplication& app, const TKeyEvent& key);
  void SendFKeyMacro(int n);

  // Window, look and list commands.
  void StepWindowScale(int delta);
  void ToggleFullscreen();
  // Full screen on or off; leaving it puts the window back where it was.
  void SetFullscreen(bool on);
  void ToggleStatusBar();
  void TogglePhonebookList();

  // The screen reader speaks the directory's rows too.
  void SpeakDirectoryLine(int index) override;

  // The window's mouse events: offered to the call's modes (door graphics),
  // then to the screen shown; the pointer's shape follows what is under it.
  void HandleMouseEvent(const platform::Event& e);
  void UpdatePointer();
  TOnlineMouse& OnlineMouse() { return *FMouse; }

  void PlaceWindow();

  // Status line helpers.
  void SetStatus(const std::string& text, uint32_t showMs);

  void ShowSplash();
  // The configuration, help and about screens over the current one.
  void OpenConfig();
  void OpenHelp();
  void OpenAbout();
  void ToggleSoundMute();

  // The grid the program screens compose into, the size of the call's screen.
  TTerminalBuffer& ScreenGrid();
  // Every frame starts here (a composed picture or the call's buffer).
  void BeginFrame(bool composedPicture);
  // Draws what the popup layer recorded over the rendered screen; true
  // when anything was drawn.
  bool DrawPopupLayer();
  // False when the current screen composes its picture and composing it
  // now gives the frame shown last: the grid, the popups and the caret.
  bool ComposedPictureChanged();

  bool PixelToCell(int x, int y, int& col, int& row) const;

  // --- state, by role ------------------------------------------------------
  TAppOptions FOptions;
  bool FStarted = false;
  std::string FStartError;
  std::unique_ptr<platform::EventLoop> FWindow;

  // Window, loop and input.
  bool FRunning = false;
  int32_t FFocusTries = 0;
  bool FNoForceFocus = false;
  std::string FWindowTitle;
  uint64_t FLastAudioPoll = 0;
  int32_t FMouseX = 0, FMouseY = 0;
  uint16_t FLastVKey = 0, FLastScanCode = 0;
  bool FBlinkPhase = true;

  // Screen and the ANSI emulation.
  std::unique_ptr<TTerminalBuffer> FBuffer;
  std::unique_ptr<TAnsiParser> FParser;
  bool FGfxDirty = false;
  TScreenSnapshot FScreenSnapshot;
  std::unique_ptr<TBitmapFont> FMainFont, FUiFont;
  std::unique_ptr<TFontRenderer> FRenderer;
  bool FDefaultFontLoaded = true;

  // The live call (an empty one between calls) and what it sees of the program.
  std::unique_ptr<TAppCallHost> FCallHost;
  std::shared_ptr<TCall> FCall;
  uint64_t FLastKeyTick = 0;
  bool FQuitting = false;
  std::shared_ptr<TPhonebookEntry> FDialEntry;
  int32_t FDialStage = 0;
  uint64_t FDialDue = 0;
  bool FDoorwayMode = false;
  bool FStdFontLoaded = true;

  // Command line.
  bool FCmdAutoConnect = false;
  std::string FCmdHost;
  int32_t FCmdPort = 0;
  bool FCmdRLogin = false;
  std::string FCmdClientUser, FCmdServerUser;
  std::string FCmdTermType = "ansi-bbs";
  bool FCmdEcho = false;
  int32_t FCmdQuitDelay = 5;
  bool FCmdKeep = false;
  std::shared_ptr<TPhonebookEntry> FCmdEntry;
  std::string FCmdListFile;

  // Local door programs and the shell, with the bridge to the call.
  std::unique_ptr<TAppDoors> FDoors;
  // The scripts and the login recorder.
  std::unique_ptr<TAppScripts> FScripts;

  // The graphics, sound and door modes, in receive-chain order, and what
  // they see of the call.
  std::unique_ptr<TAppModeServices> FModeServices;
  std::unique_ptr<TCallModes> FModes;

  // Data and user interface.
  std::unique_ptr<TAppConfig> FConfig;
  std::unique_ptr<TPhonebook> FPhonebook, FGuidebook;
  bool FShowGuide = false;
  std::unique_ptr<TAppReader> FReader;  // the screen reader
  bool FStatusBar = false;
  std::string FStatus;
  uint64_t FStatusUntil = 0;
  bool FStatusShort = false;
  // The screen's saves to disk and the scrollback view.
  std::unique_ptr<TAppOutput> FOutput;
  // The terminal font's loading and keys.
  std::unique_ptr<TAppFonts> FFonts;
  std::unique_ptr<TOnlineMouse> FMouse;  // selection, links and reports of the online screen
  TQuickDialBox FQuickDial{*this};
  platform::Rect FSavedWindow;  // outer position and client size before full screen
  // Uploads, the transfer questions and menus, the phonebook import.
  std::unique_ptr<TAppUploads> FUploads;
  // A protocol menu was answered by a digit's key-down: the character the
  // same key types next is dropped, so the digit never reaches the board.
  bool FSwallowKeyText = false;

  // Program screens and popups.
  TScreenStack FScreens;
  TDirectoryScreen* FDirectory = nullptr;  // registered in FScreens
  TOnlineScreen* FOnline = nullptr;        // registered in FScreens
  TPopups FPopups;
  std::unique_ptr<TTerminalBuffer> FScreenBuffer;  // the grid program screens compose into
  TPopupLayer FPopupLayer;
  bool FPopupsDrawn = false;
  bool FLastFrameWasList = false;
  std::vector<std::string> FFontList;
  // The board list's download and the phonebooks' upkeep.
  std::unique_ptr<TAppGuide> FGuide;

  // Painting.
  uint64_t FBackId = 0;  // the back buffer the last frame was drawn into
  bool FScreenshotDue = false;
  int32_t FPaintedMode = -1;  // the screen last painted, for the debug log
  bool FLastFrameByRenderer = false;  // the renderer presented the last frame
  // The composed screen painted last and its caret; a scratch grid and
  // popup layer to compose the picture again into, to tell whether it changed.
  const TScreen* FComposedScreen = nullptr;
  bool FShownCaret = false;
  int FShownCaretCol = 0, FShownCaretRow = 0;
  TColorRGB FShownCaretColour;
  std::unique_ptr<TTerminalBuffer> FRecomposeGrid;
  TPopupLayer FRecomposePopups;
  platform::Surface FNoTarget;
  std::vector<platform::Rect> FFrameDamage;
  platform::Rect FTermRect;

  void Create();
  void Destroy();
  void OnMainTimer();
  void OnTimer(int id);
  // Handlers given to transports check this before touching the object, so
  // a report queued by a transport after shutdown does nothing.
  std::shared_ptr<int> FLifeToken = std::make_shared<int>(0);
};

// The receive folder and the door-graphics folder ("" for none) the settings
// give, each ending in "/".
void TransferFoldersOf(const TAppConfig& config, std::string& download, std::string& door);
// Where the main window's outer frame goes in the work area.
void PlaceMainWindow(const platform::Rect& work, int outerWidth, int outerHeight, int& x, int& y);
std::string TruncateWithDots(const std::string& s, int n);
bool SplitUserPassHost(const std::string& text, std::string& user, std::string& password, std::string& host);
// The host of an entry as shown to the user: an SSH host without the
// "user:password@" it may carry.
std::string ShownHost(const TPhonebookEntry& entry);

// The program body of the interactive program.
int RunApplication(const TAppOptions& options);

// The application object while it lives, for the few places that cannot
// be handed it (null otherwise).
extern TApplication* Application;
