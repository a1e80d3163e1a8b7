// Start-up and shutdown of the application object: the ordered construction
// of the window, buffer, emulations, fonts, engines and phonebooks, and the
// ordered teardown with its log lines. The online screen's snapshot lives
// here too.
#include "app/uApp.h"
#include "app/uDoorRelay.h"

#include <sys/stat.h>

#include <algorithm>

#include <cmath>
#include <cstdio>

#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uQuickConnectScreen.h"
#include "app/uOnlineMouse.h"
#include "app/uOnlineScreen.h"
#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/uAppCallHost.h"
#include "app/uAppModeServices.h"
#include "app/uAppDoors.h"
#include "app/uAppFonts.h"
#include "app/uAppGuide.h"
#include "app/uAppOutput.h"
#include "app/uAppReader.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"
#include "core/uAnsiParser.h"
#include "core/uAsciiParser.h"
#include "core/uAvatarParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uPetsciiParser.h"
#include "core/uVT52Parser.h"
#include "core/uViewdataParser.h"
#include "data/uConfig.h"
#include "data/uDateTime.h"
#include "data/uLoginScript.h"
#include "data/uPhonebook.h"
#include "data/uScriptRunner.h"
#include "net/uHttpsDownload.h"
#include "net/uIEMSI.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/AppFolder.h"
#include "platform/Audio.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "platform/Tick.h"
#include "sound/uSapiSpeech.h"

TApplication* Application = nullptr;

namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Folders from settings keep a trailing "/" so file names can be appended.
std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string Trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

}  // namespace

TApplication::TApplication(const TAppOptions& options) : FOptions(options) {
  if (!options.AppFolder.empty()) platform::SetAppFolder(options.AppFolder);
  Application = this;
  Create();
}

TApplication::~TApplication() {
  Destroy();
  Application = nullptr;
}

void TApplication::Create() {
  // 1. Initial values are the members' own initialisers.
  FStatus = kDirectoryStatus;

  // 2. Settings.
  FConfig = std::make_unique<TAppConfig>(ResolvePath("korvan_config.ini"));
  FConfig->Load();

  // 3-5. The window: 640x400 client pixels times the scale, titled KORVAN.
  platform::EventLoop::Options window;
  window.Title = "KORVAN";
  window.Width = int(std::lround(FConfig->ScreenScale * 640));
  window.Height = int(std::lround(FConfig->ScreenScale * 400));
  window.Headless = FOptions.Headless;
  FWindow = std::make_unique<platform::EventLoop>(window);
  if (!FWindow->Ok()) {
    FStartError = "Window creation failed: " + FWindow->Error();
    FWindow.reset();
    return;
  }
  FWindowTitle = "KORVAN";
  PlaceWindow();
  // 4. Workers reach the interface thread through the loop's wake-up.
  // 5. The window is shown where it was placed.
  FWindow->Show();
  FFocusTries = 0;
  ForceForeground();
  FWindow->SetTimer(tmFocus, 150);

  // 6. Screen buffer and ANSI parser.
  FBuffer = std::make_unique<TTerminalBuffer>(80, 25);
  FMouse = std::make_unique<TOnlineMouse>(*this);
  FParser = std::make_unique<TAnsiParser>(FBuffer.get());
  FParser->AnnounceSixel = true;

  // 9. Fonts and the renderer.
  const std::string vgaPath = platform::AppFolder() + "fonts/IBM_VGA_8x16.F16";
  FMainFont = std::make_unique<TBitmapFont>(8, 16);
  if (!FMainFont->LoadFromFile(vgaPath)) {
    FMainFont->LoadBuiltinFont();
    FStatus = "No .F16 font found in fonts/ - using fallback. " + FStatus;
  }
  FRenderer = std::make_unique<TFontRenderer>(FMainFont.get());
  FUiFont = std::make_unique<TBitmapFont>(8, 16);
  if (!FUiFont->LoadFromFile(vgaPath)) FUiFont->LoadBuiltinFont();
  FRenderer->SetUiFont(FUiFont.get());

  // 10. Renderer options.
  FRenderer->SetScale(4.0f);
  FRenderer->SetAntiAliasGlyphs(false);
  FRenderer->SetGlyphEmbolden(false, 0.35);
  FRenderer->SetUpscaledFont(FConfig->UpscaledFont);
  FRenderer->SetSmoothScaling(FConfig->SmoothScaling);
  LogEnabled = FConfig->RawLog;

  // 11. The debug log, which the audio output's own lines go to as well.
  LogOpen(platform::AppFolder() + "korvan_debug.log");
  platform::SetAudioLog([](const std::string& line) { LogLine(line); });

  // 12. Screen reader and status bar.
  FReader = std::make_unique<TAppReader>(*this);
  FStatusBar = FConfig->ShowStatusBar;

  // 13. The graphics, sound and door modes of calls (door clients, pictures,
  // RIP with its stroke fonts, IGS, APC pictures and audio, ANSI music).
  FModeServices = std::make_unique<TAppModeServices>(*this);
  FModes = std::make_unique<TCallModes>(*FModeServices);

  FScripts = std::make_unique<TAppScripts>(*this);
  FUploads = std::make_unique<TAppUploads>(*this);
  FGuide = std::make_unique<TAppGuide>(*this);
  FDoors = std::make_unique<TAppDoors>(*this);
  FOutput = std::make_unique<TAppOutput>(*this);
  FFonts = std::make_unique<TAppFonts>(*this);

  // 14. The empty call that stands until the first call starts, with its
  // Zmodem and X/Ymodem engines and the receive and door-graphics folders;
  // each call takes the emulation's and the buffer's events (15-18).
  MakeCall(nullptr);
  ApplyFolderSettings();

  // 19. The user's phonebook; a missing file gets one default board.
  FPhonebook = std::make_unique<TPhonebook>(ResolvePath("korvan.ini"), "phonebook");
  if (FileExists(FPhonebook->FileName())) {
    FPhonebook->LoadFromFile();
  } else {
    TPhonebookEntryPtr board = FPhonebook->Add();
    board->Name = "Local test board";
    board->Host = "127.0.0.1";
    board->Port = 23;
    board->TermType = "ANSI-BBS";
    board->Cols = 80;
    board->Rows = 25;
    board->FontName = "IBM_VGA_8x16";
    board->UseSixel = true;
    FPhonebook->SaveToFile();
  }

  // 20. Backup reminder after 90 days.
  FPopups.BackupDue = std::floor(NowDateTime()) - std::floor(FConfig->LastPhonebookBackup) >= 90;

  // 21. The downloaded board list.
  FGuidebook = std::make_unique<TPhonebook>(ResolvePath("bbsguide.ini"), "bbsguide");
  if (FileExists(FGuidebook->FileName())) FGuidebook->LoadFromFile();
  FShowGuide = FConfig->UseGuidePhonebook;
  FGuide->ReportRepairedPhonebooks();

  // 22. The screens that live for the whole run; the directory first.
  auto online = std::make_shared<TOnlineScreen>(*this);
  FOnline = online.get();
  FScreens.Register(online);
  auto directory = std::make_shared<TDirectoryScreen>(*this);
  FDirectory = directory.get();
  FScreens.Register(directory);
  FScreens.Show(smDirectory);

  // 23-24. Command line and start screen.
  ParseCommandLine();
  if (FCmdAutoConnect) {
    AutoConnect();
  } else if (!FCmdListFile.empty()) {
    const std::string file = ResolvePath(FCmdListFile);
    std::vector<TQuickListRow> rows = LoadQuickConnectList(file);
    if (!rows.empty())
      OpenScreen(std::make_shared<TQuickConnectScreen>(*this, file, std::move(rows)));
    else
      ShowSplash();
  } else {
    ShowSplash();
  }

  // 25. The main timer.
  FWindow->SetTimer(tmMain, 500);
  // 26. Full screen from the settings.
  if (FConfig->ScreenScaleFullScreen) ToggleFullscreen();
  // 27. The scripts folder, with its example when it is new.
  ScriptsFolder();
  FStarted = true;
}

void TApplication::Destroy() {
  if (!FWindow) return;
  LogLine("Exit: TApplication.Destroy starting");
  // A recording is saved; a running script is stopped, waiting for its thread.
  FScripts->Shutdown();
  for (int id : {tmMain, tmFocus, tmScreen, tmQuit, tmHeldInput, tmDoorProcess}) FWindow->KillTimer(id);
  for (size_t row = 0; FModes && row < FModes->Count(); ++row) FWindow->KillTimer(tmModeFirst + int(row));
  // A door program still running is waited for (its bridge keeps serving
  // it meanwhile), then its bridge is stopped.
  FDoors->Shutdown();
  // A board-list download still running is stopped; its end is not handled.
  // The board-list question still open: the user's edits are kept, the
  // answer Esc gives.
  FGuide->Shutdown();
  if (FBuffer) {
    DisconnectCurrent();
    LogLine("Exit: after DisconnectCurrent");
  }
  FLifeToken.reset();  // reports the old transport still queues find nobody
  ShutdownSpeech();
  FGuide->EndGuideEntryEdit();
  if (FPhonebook) {
    if (!FPhonebook->LoadFailed()) FPhonebook->SaveToFile();
    LogLine("Exit: after FPhonebook.Save");
    FPhonebook.reset();
  }
  if (FGuidebook) {
    // A list the user emptied is saved too; only a board list that never
    // had a file gets none.
    if (!FGuidebook->LoadFailed() && (FGuidebook->Count() > 0 || FileExists(FGuidebook->FileName())))
      FGuidebook->SaveToFile();
    FGuidebook.reset();
  }
  FConfig.reset();
  FCmdEntry.reset();
  // The modes end before the renderer and the buffer they draw into.
  LogLine("Exit: before FMusicPlayer.Free");
  FModes.reset();
  LogLine("Exit: after FMusicPlayer.Free");
  FModeServices.reset();
  FRenderer.reset();
  FUiFont.reset();
  FMainFont.reset();
  // The empty call the last reset left goes before the parts it drives.
  FCall.reset();
  FParser.reset();
  FBuffer.reset();
  FreeBackBuffer();
  LogLine("Exit: Destroy finished, closing log");
  LogClose();
  FWindow.reset();
  platform::AudioShutdown();  // every player is gone: the sound output closes
}

void PlaceMainWindow(const platform::Rect& work, int outerWidth, int outerHeight, int& x, int& y) {
  // Centred across; vertically centred but never lower than a sixteenth of
  // the work area from its top, so tall windows sit near the top. The
  // divisions truncate toward zero, as integer division does.
  x = work.Left + (work.Width() - outerWidth) / 2;
  y = work.Top + std::min((work.Height() - outerHeight) / 2, work.Height() / 16);
  x = std::max(x, work.Left);
  y = std::max(y, work.Top);
}

void TApplication::PlaceWindow() {
  platform::Rect work;
  if (!FWindow->WorkArea(work)) return;  // the window system's default position stands
  int left = 0, top = 0, right = 0, bottom = 0;
  FWindow->FrameBorders(left, top, right, bottom);
  int x = 0, y = 0;
  PlaceMainWindow(work, FWindow->ClientWidth() + left + right, FWindow->ClientHeight() + top + bottom, x, y);
  FWindow->SetOuterPosition(x, y);
}

void TransferFoldersOf(const TAppConfig& config, std::string& download, std::string& door) {
  download = WithSlash(ResolvePath(config.DownloadDir));
  const std::string doorSetting = Trimmed(config.DDOFXDir);
  door = doorSetting.empty() ? "" : WithSlash(ResolvePath(doorSetting));
}

void TApplication::ApplyFolderSettings() {
  std::string downloadDir, doorDir;
  TransferFoldersOf(*FConfig, downloadDir, doorDir);
  FCall->SetTransferFolders(downloadDir, doorDir);
  FModes->FoldersChanged(downloadDir, doorDir);
}

void TScreenSnapshot::Save(const TTerminalBuffer& buffer) {
  Cols = buffer.FWidth;
  Rows = buffer.FHeight;
  Cells.resize(size_t(Cols) * size_t(Rows));
  for (int y = 0; y < Rows; ++y)
    for (int x = 0; x < Cols; ++x) Cells[size_t(y) * size_t(Cols) + size_t(x)] = buffer.GetDisplayCell(x, y);
  CursorX = buffer.CursorX;
  CursorY = buffer.CursorY;
  CursorVisible = buffer.CursorVisible;
  buffer.SaveAttributes(Pen);
  Valid = true;
}

void TScreenSnapshot::Restore(TTerminalBuffer& buffer) {
  if (!Valid) return;
  for (int y = 0; y < Rows && y < buffer.FHeight; ++y)
    for (int x = 0; x < Cols && x < buffer.FWidth; ++x) buffer.SetCell(x, y, Cells[size_t(y) * size_t(Cols) + size_t(x)]);
  buffer.MoveCursor(CursorX, CursorY);
  buffer.SetCursorVisible(CursorVisible);
  buffer.RestoreAttributes(Pen);
  buffer.Dirty = true;
  Valid = false;
}

void TApplication::SetStatus(const std::string& text, uint32_t showMs) {
  FStatus = text;
  FStatusUntil = showMs ? platform::TickMs() + showMs : 0;
}

int RunApplication(const TAppOptions& options) {
  // Door mode comes first: started as another BBS's door, the program
  // relays the caller and ends without a window.
  int code = 0;
  if (RunDoorMode(options.Args, code)) {
    platform::ReleaseSynchronize();
    return code;
  }
  {
    TApplication app(options);
    if (!app.Started()) {
      std::fprintf(stderr, "korvan: %s\n", app.StartError().c_str());
      return 1;
    }
    app.Run();
  }
  platform::ReleaseSynchronize();
  return code;
}
