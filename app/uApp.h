// The application object: owns the main window, the screen buffer and its
// emulations, the fonts and renderer, the settings and phonebooks and every
// engine, and runs the one interface thread's event loop. Its methods are
// spread over several units by role (start-up and shutdown, the loop and
// timers, the receive pipeline, the call life cycle, keys, painting, the
// emulator events); the text-mode screens are its other half.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"
#include "core/uUtf8Cp437.h"
#include "platform/EventLoop.h"
#include "platform/Surface.h"

class TAnsiParser;
class TTextEmulation;
class TAvatarParser;
class TVT52Parser;
class TAsciiParser;
class TViewdataParser;
class TPetsciiParser;
class TBitmapFont;
class TFontRenderer;
class TAppConfig;
class TPhonebook;
class TPhonebookEntry;
class TWireTransport;
class TZmodemEngine;
class TXYmodemEngine;
class TIEMSIResponder;
class TAnsiMusicPlayer;
class TApcAudioEngine;
class TApcImageEngine;
class TRipCanvas;
class TRipParser;
class TBGIStrokeFont;
class TIGSParser;
class TIGSSoundOut;
class TSixelParser;
class TITerm2Parser;
class TDDOFXParser;
class TDDOFXSoundOut;
class TOOIIParser;

// How the program is started: the process arguments, and for tests a
// headless window and a scratch folder in place of the executable's.
struct TAppOptions {
  std::vector<std::string> Args;  // without the program name
  bool Headless = false;
  std::string AppFolder;          // empty: the executable's folder
};

// Screen modes of FMode.
enum TScreenMode : int32_t {
  smDirectory = 0, smOnline = 1, smEditor = 2, smConfig = 3, smHelp = 4,
  smAbout = 5, smSplash = 6, smFilePicker = 7, smQuickConnect = 8
};

// Window timer ids.
enum TAppTimer : int {
  tmMain = 1, tmFocus = 2, tmSplash = 3, tmQuit = 4, tmIgsReplay = 6, tmHeldInput = 7, tmDoor = 8
};

// A copy of the online screen kept while a program screen borrows the buffer.
struct TScreenSnapshot {
  std::vector<TCell> Cells;
  int Cols = 0, Rows = 0;
  int CursorX = 0, CursorY = 0;
  bool CursorVisible = true;
  TTextAttributes Pen{};
  bool Valid = false;
};

// Rows of the entry editor, in screen order.
enum TEditField : int32_t {
  efName, efHost, efPort, efTermType, efScreenSize, efFontName, efUseSixel, efUseITerm2Images, efIceColors,
  efUseUTF8, efUseIEMSI, efSimBaud, efUsername, efPassword, efScript, efProtocol, efSSHKeyFile, efSSHTrustNewKey,
  efTlsTrustNewCert, efTlsClientCertFile, efTlsClientKeyFile, efRLoginClientUser, efRLoginServerUser, efShellCommand
};
constexpr int kEditFieldCount = 24;

// The popup layer of the last frame: cells that popups, the bottom line and
// the transfer window drew straight into the renderer over the screen.
struct TPopupCell {
  TCell Cell;
  bool Used = false;
  bool UiFont = false;
};
struct TPopupLayer {
  int Cols = 0, Rows = 0;
  std::vector<TPopupCell> Cells;
  // Null where no popup drew.
  const TPopupCell* At(int col, int row) const;
};

struct TQuickListRow {
  std::string Name, Host;
  int32_t Port = 23;
};

class TApplication {
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
  void WakeMainThread();
  void Invalidate();
  void PumpMessages();

  // Receive pipeline.
  void OnTelnetData(const uint8_t* data, int count);
  void DrainInput();
  int32_t BaudBudget();
  void ProcessIncoming(const uint8_t* data, int count, bool replay);
  void FeedByte(uint8_t b);
  void TogglePause();
  void ReplayHeldInput();
  void StartIgsReplay();
  void IgsReplayTick();

  // Connect road and call life cycle.
  void ParseCommandLine();
  void AutoConnect();
  bool LoadQuickConnectList(const std::string& fileName);
  void ConnectListRow(int index);
  void ConnectToEntry(const std::shared_ptr<TPhonebookEntry>& entry, bool skipDial);
  void StartDial(const std::shared_ptr<TPhonebookEntry>& entry);
  void DialTick();
  void LoadFontForEntry(const TPhonebookEntry& entry);
  void RestoreDefaultFont();
  void LoadAtariFont();
  void OnTelnetStatus(const std::string& msg);
  void OnTelnetConnected(const std::string& msg);
  void OnTelnetDisconnected(const std::string& msg, bool live);
  void DisconnectCurrent();
  void ResetSessionState();
  void AnswerRedial(bool yes);

  // Window title and call summary.
  void UpdateWindowTitle();
  std::string OnlineStatusText(int64_t seconds) const;

  // Emulator events.
  void OnParserReply(const std::string& s);
  void OnAnsiMusic(const std::string& s);
  void OnApcString(const std::string& s);
  void OnCellPixelSize(int& w, int& h);
  bool OnApcChannelBusy(int channel);
  void OnFontSelect(int slot, int fontId);
  void OnPetsciiFontSwitch(bool lower);
  void OnBufferCleared();
  void OnBufferScrolled(int lines);
  void OnApcScreenPixels(int& w, int& h);
  void OnColumnModeSwitch(bool is80);
  void SendToHost(const std::string& text);

  // Terminal geometry.
  int TextRows(int rows) const;
  int TermCols() const;
  int TermRows() const;
  void ApplyTermGeometry();
  void OnResizeRequest(int rows, int cols);
  void ChooseFontForRows(int rows);
  void ForceForeground();

  // Painting.
  void EnsureBackBuffer(int width, int height);
  void FreeBackBuffer();
  void PaintScreen(platform::Surface& target);
  void SnapAspectAfterResize();

  // Keys.
  void HandleKeyDown(uint16_t vk, bool shift, bool ctrl, uint16_t scanCode, bool alt);
  // Ch is the typed character in CP437; CodePoint, when known, the Unicode
  // character typed, which UTF-8 mode sends as it is.
  void HandleChar(uint8_t ch, uint32_t codePoint = 0);
  void SendTyped(const std::string& text);

  bool HandleHotkey(uint16_t vk, bool shift, bool ctrl, bool alt);
  bool HandleScrollbackKey(uint16_t vk, bool ctrl, bool alt);
  void HandleOnlineKey(uint16_t vk, bool shift, bool ctrl, bool alt);
  void LeaveScrollback();
  void SendFKeyMacro(int n);
  void StepWindowScale(int delta);
  void HandleWheel(bool up, bool shift);

  // Capture, screenshot, export and scrollback commands.
  void ToggleCapture();
  void TakeScreenshot();
  void ExportAnsi();
  void SaveScrollback();
  void ToggleScrollback();
  void ScrollbackStatusText();
  std::string OutputFolderSetting() const;
  std::string OutputFolder() const;
  std::string OutputStem(bool scrollback) const;
  void ShowToast(const std::string& title, const std::string& text, uint32_t ms);

  // Transfer engines.
  void WireTransferEngines();
  void OnTransferSend(const uint8_t* data, int count);
  std::string FormatTransferRate(const std::string& name, int64_t done, int64_t total);
  void ShowTransferProgress(const std::string& direction, const std::string& protocol, const std::string& name,
                            int64_t done, int64_t total, int errors, int block);
  void OnZmodemProgress(const std::string& name, int64_t done, int64_t total);
  void OnXYmodemProgress(const std::string& name, int64_t done, int64_t total);
  void OnZmodemFileDone(const std::string& name, bool ok);
  void OnXYmodemDone(const std::string& name, bool ok);
  void OnZmodemSkipped(const std::string& name);
  void OnZmodemRefused(const std::string& name);
  void OnZmodemUploadWanted();
  void RegisterZipAssets(const std::string& path);
  bool UnzipDoorAssets(const std::string& path, const std::string& folder);

  // IEMSI answers.
  void SendIemsiIci();
  void SendIemsiReply();
  void SendAutoLogin();

  // Door graphics glue.
  void UpdateDoorTimer();
  void DoorAnimationTick();
  bool IsDoorGraphicsMode() const;

  TPhonebook* ActivePhonebook() const;
  std::string CanonicalTermType(const std::string& type) const;
  bool TransferRunning() const;
  TTextEmulation* ActiveMinorEmulation() const;

  void PlaceWindow();

  // Screen snapshot.
  void SaveScreen();
  void RestoreScreen();

  // Status line helpers.
  void SetStatus(const std::string& text, uint32_t showMs);

  // Text-mode screen services used by the core.
  void ShowSplash();
  void ToggleSoundMute();
  void DrawSplash(platform::Surface& target, int width, int height);
  void DrawQuickConnect(platform::Surface& target, int width, int height);

  // --- Text-mode screens ----------------------------------------------------
  // Cell-grid toolkit: writes into DrawTarget(), the call's buffer unless a
  // list screen is composing into its own (FScreenBuffer).
  TTerminalBuffer& DrawTarget();
  void DrawTextAt(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg);
  void FillRect(int x0, int y0, int x1, int y1, TColorRGB color);
  void DrawHRule(int x0, int x1, int row, TColorRGB fg, TColorRGB bg, bool dbl, uint8_t leftCap, uint8_t rightCap);
  void DrawFramedBox(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title, bool dbl,
                     TColorRGB titleFg);
  void DrawListFrame(int x0, int y0, int x1, int y1, TColorRGB fg, TColorRGB bg, const std::string& title, bool dbl);
  // List screens: BeginListScreen sizes FScreenBuffer to the call buffer,
  // blanks it and points the toolkit at it; RenderListScreen paints it.
  TTerminalBuffer& BeginListScreen();
  void RenderListScreen(platform::Surface& target, int width, int height);
  void DrawFooter(int cols, int rows);
  // Every painter starts its frame here (list screen or the call's buffer).
  void BeginFrame(bool listScreen);
  // Popup layer: cells drawn straight into the renderer, recorded for the frame.
  void ClearPopupLayer();
  void PutPopupCell(int col, int row, uint8_t ch, TColorRGB fg, TColorRGB bg, bool uiFont);
  void PutPopupText(int col, int row, const std::string& text, TColorRGB fg, TColorRGB bg, bool uiFont);
  void PutCenteredPopupText(int x, int w, int row, const std::string& text, TColorRGB fg, TColorRGB face, bool uiFont);
  void DrawPopupFrame(int x, int y, int w, int h, TColorRGB face, TColorRGB bevel, bool uiFont, bool asciiFrame);

  // Popups.
  void DrawTerminatedBox();
  void DrawRedialBox();
  std::string RedialQuestion() const;
  void DrawBackupReminder();
  void DrawGuideUpdatePrompt();
  void DrawMessageBox();

  // Online screen, status bar and transfer window.
  void PaintTerminal(platform::Surface& target, int width, int height);
  std::string BottomLineText(bool& promptOrStatus) const;
  void DrawBottomLine();
  std::string StatusBarText() const;
  void DrawTransferWindow();

  // Dialing directory.
  void DrawDirectory(platform::Surface& target, int width, int height);
  bool DirectoryRowAt(int cellRow, int& index) const;
  void HandleDirectoryKey(uint16_t key, bool shift, bool ctrl, bool alt);
  void MoveDirectoryEntry(int delta);
  bool PixelToCell(int x, int y, int& col, int& row) const;
  // Left clicks and double clicks on the directory and the editor.
  void ScreenMouseDown(int x, int y);
  void ScreenDoubleClick(int x, int y);

  // Terminal-type presets and steppers of the entry editor.
  void SetEditText(const std::string& text);
  void CycleTermType(TPhonebookEntry& entry, int delta);
  void CycleEntryScreenSize(TPhonebookEntry& entry, int delta);
  void CycleSimBaud(TPhonebookEntry& entry, int delta);
  void CycleProtocol(TPhonebookEntry& entry, int delta);
  void CycleFont(TPhonebookEntry& entry, int delta);
  void BuildFontList();
  // Configuration page steppers: they change FConfigText and FConfigCaret.
  void CycleDefaultTermType(int delta);
  void CycleScreenScale(int delta);
  // The window's client area to 640 x 400 times the scale, or full screen.
  void ApplyScreenScale();

  // Entry editor.
  std::shared_ptr<TPhonebookEntry> EditorEntry() const;
  void OpenEntryEditor(const std::shared_ptr<TPhonebookEntry>& entry);
  void BeginEditField(const TPhonebookEntry& entry, int field);
  std::string EditFieldText(const TPhonebookEntry& entry, int field) const;
  void CommitEditField(TPhonebookEntry& entry);
  void MoveEditField(TPhonebookEntry& entry, int delta, bool leaveAfterLast);
  void EditorClickField(TPhonebookEntry& entry, int field);
  void LeaveEntryEditor();
  void HandleEditorKey(uint16_t key, bool shift, bool ctrl, bool alt);
  void HandleEditorChar(uint8_t ch);
  void PasteToEditor();
  void DrawEntryEditor(platform::Surface& target, int width, int height);
  static int EditFieldColumn(int field);
  static bool IsToggleEditField(int field);
  static bool IsPortField(int field);
  static bool IsTermTypeField(int field);
  static bool IsScreenSizeField(int field);
  static bool IsFontField(int field);
  static bool IsSimBaudField(int field);
  static bool IsProtocolField(int field);
  static std::string FontDisplayName(const std::string& stem);
  static std::string LastCallAgeText(double lastConnected);

  // Backups and board-list answers.
  std::string BackupIniFile(const std::string& fileName, const std::string& prefix);
  std::string BackupPhonebooks();
  void AnswerBackupPrompt(bool yes);
  void ReportGuideUpdate(int editedKept);
  void EndGuideEntryEdit();

  // --- state, by role ------------------------------------------------------
  TAppOptions FOptions;
  bool FStarted = false;
  std::string FStartError;
  std::unique_ptr<platform::EventLoop> FWindow;

  // Window, loop and input.
  bool FRunning = false;
  int32_t FMode = smDirectory;
  int32_t FFocusTries = 0;
  bool FNoForceFocus = false;
  std::string FWindowTitle;
  uint64_t FLastAudioPoll = 0;
  int32_t FMouseX = 0, FMouseY = 0;
  uint16_t FLastVKey = 0, FLastScanCode = 0;
  bool FBlinkPhase = true;
  int32_t FDirectoryRow = 0;
  int32_t FMouseButton = -1;
  int32_t FFontIndex = -1;

  // Screen and emulations.
  std::unique_ptr<TTerminalBuffer> FBuffer;
  std::unique_ptr<TAnsiParser> FParser;
  std::unique_ptr<TPetsciiParser> FPetscii;
  std::unique_ptr<TAvatarParser> FAvatar;
  std::unique_ptr<TViewdataParser> FViewdata;
  std::unique_ptr<TVT52Parser> FVT52;
  std::unique_ptr<TAsciiParser> FAscii;
  bool FPetsciiActive = false, FAvatarActive = false, FViewdataActive = false, FVT52Active = false,
       FAsciiActive = false;
  TUtf8ToCp437Decoder FUtf8Decoder;
  bool FUtf8Mode = false;
  bool FSixelEnabled = true;
  bool FITerm2Enabled = false;
  bool FIgsMode = false, FRipMode = false;
  bool FGfxDirty = false;
  TScreenSnapshot FScreenSnapshot;
  std::unique_ptr<TBitmapFont> FMainFont, FUiFont;
  std::unique_ptr<TFontRenderer> FRenderer;
  bool FDefaultFontLoaded = true;

  // Call state.
  std::shared_ptr<TWireTransport> FTelnet;
  std::shared_ptr<TPhonebookEntry> FEntry;
  uint64_t FConnectTick = 0;
  int64_t FBytesIn = 0, FBytesOut = 0;
  int32_t FFilesDown = 0, FFilesUp = 0;
  std::vector<uint8_t> FRxPending;
  bool FDraining = false, FPaused = false;
  double FSimBytesPerSec = 0;
  uint32_t FBudgetTick = 0;
  double FBudgetCarry = 0;
  uint64_t FLastFrameTick = 0;
  std::string FRxTail;
  bool FRenegade = false;
  uint64_t FLastKeyTick = 0;
  std::string FSessionSummary;
  uint64_t FTerminatedUntil = 0;
  std::string FTerminatedText;
  bool FRedialPrompt = false;
  std::shared_ptr<TPhonebookEntry> FRedialEntry;
  std::string FRedialText;
  bool FQuitting = false;
  std::shared_ptr<TPhonebookEntry> FDialEntry;
  int32_t FDialStage = 0;
  uint64_t FDialDue = 0;
  bool FBbsSizeSet = false;
  int32_t FBbsCols = 0, FBbsRows = 0;
  bool FDoorwayMode = false, FDoorTextView = false;
  bool FIemsiEnabled = false;
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
  std::vector<TQuickListRow> FQuickList;
  int32_t FQuickListRow = 0;

  // Engines.
  std::unique_ptr<TZmodemEngine> FZmodem;
  std::unique_ptr<TXYmodemEngine> FXYmodem;
  std::unique_ptr<TIEMSIResponder> FIemsi;
  std::unique_ptr<TAnsiMusicPlayer> FMusicPlayer;
  std::unique_ptr<TApcAudioEngine> FApcAudio;
  std::unique_ptr<TApcImageEngine> FApcImages;
  std::unique_ptr<TRipCanvas> FRipCanvas;
  std::unique_ptr<TRipParser> FRipParser;
  std::unique_ptr<TBGIStrokeFont> FBgiFonts[11];
  platform::Surface FRipDib;
  int32_t FRipCellW = 8, FRipCellH = 8;
  bool FRipTextHidden = false, FRipGridSet = false;
  std::unique_ptr<TIGSParser> FIgsParser;
  std::unique_ptr<TIGSSoundOut> FIgsSound;
  bool FIgsReplayRunning = false;
  std::unique_ptr<TDDOFXParser> FDDOFXParser;
  std::unique_ptr<TDDOFXSoundOut> FDDOFXSound;
  std::unique_ptr<TOOIIParser> FOOIIParser;
  std::unique_ptr<TSixelParser> FSixel;
  std::unique_ptr<TITerm2Parser> FITerm2;

  // Data and user interface.
  std::unique_ptr<TAppConfig> FConfig;
  std::unique_ptr<TPhonebook> FPhonebook, FGuidebook;
  bool FShowGuide = false;
  bool FBackupDue = false;
  bool FReaderOn = false, FPromptOnly = false;
  bool FStatusBar = false;
  std::string FStatus;
  uint64_t FStatusUntil = 0;
  bool FStatusShort = false;
  std::string FSavedStatus;
  bool FWheelScrollback = false;
  uint64_t FToastUntil = 0;
  std::string FToastTitle, FToastText;
  std::string FXferTitle, FXferFile, FXferRate;
  int64_t FXferDone = 0, FXferTotal = 0;
  int32_t FXferErrors = 0, FXferBlock = 0;
  uint64_t FXferPanelUntil = 0;
  std::string FRateFile;
  uint64_t FRateStartTick = 0;
  int64_t FRateStartBytes = 0;
  int32_t FRefusedCount = 0;
  std::string FRefusedName;
  bool FUploadBatchDone = false;
  uint64_t FLastUploadAsk = 0;
  bool FLinkHover = false;

  // Text-mode screens.
  std::unique_ptr<TTerminalBuffer> FScreenBuffer;  // what list screens compose into
  TTerminalBuffer* FDrawTarget = nullptr;          // null: the call's buffer
  TPopupLayer FPopupLayer;
  bool FPopupsDrawn = false;
  bool FLastFrameWasList = false;
  int32_t FDirTop = 0, FDirListRow = 5, FDirListRows = 0;
  int32_t FEditField = efName;
  std::string FEditText;
  int32_t FEditCaret = 0;
  bool FPasswordVisible = false;
  std::array<int32_t, kEditFieldCount> FEditRowY{}, FEditRowX0{}, FEditRowX1{};
  int32_t FEditorCaretX = -1, FEditorCaretY = -1;  // where the last paint put the caret
  std::vector<std::string> FFontList;
  std::string FConfigText;  // the configuration page's edit text and caret
  int32_t FConfigCaret = 0;
  bool FGuidePrompt = false;
  std::vector<std::shared_ptr<TPhonebookEntry>> FGuideEdited;
  std::unique_ptr<TPhonebookEntry> FGuideSnapshot;
  std::shared_ptr<TPhonebookEntry> FGuideEditEntry;

  // Painting.
  platform::Surface FBack;
  bool FScreenshotDue = false;
  platform::Rect FTermRect;

 private:
  void Create();
  void Destroy();
  void OnMainTimer();
  void OnTimer(int id);
  bool MinorEmulationActive() const;
  void FreeMinorEmulations();
  void PassFilters(uint8_t b, bool& fed);
  void PassDoorAndGraphics(uint8_t b, bool& fed);
  void PassSixel(uint8_t b, bool& fed);
  void PassGraphics(uint8_t b, bool& fed);
  // One scratch buffer per stage of the receive chain, so a byte passing a
  // stage takes no allocation; each stage uses only its own.
  std::vector<uint8_t> FIemsiOut, FITerm2Out, FSixelOut, FGraphicsOut;
  // Handlers given to transports check this before touching the object, so
  // a report queued by a transport after shutdown does nothing.
  std::shared_ptr<int> FLifeToken = std::make_shared<int>(0);
};

// The status line of the dialing directory.
extern const char* const kDirectoryStatus;

std::string FormatByteSize(int64_t n);
// Where the main window's outer frame goes in the work area.
void PlaceMainWindow(const platform::Rect& work, int outerWidth, int outerHeight, int& x, int& y);
std::string TruncateWithDots(const std::string& s, int n);
std::string SyncTermFontName(int fontId);
bool SplitUserPassHost(const std::string& text, std::string& user, std::string& password, std::string& host);
// The host of an entry as shown to the user: an SSH host without the
// "user:password@" it may carry.
std::string ShownHost(const TPhonebookEntry& entry);

// The program body of the interactive program.
int RunApplication(const TAppOptions& options);

// The application object while it lives, for the few places that cannot
// be handed it (null otherwise).
extern TApplication* Application;
