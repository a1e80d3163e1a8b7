// Graphics, sound and door modes of a call, and what they see of the call.
//
// How a mode attaches
// -------------------
// A mode is one unit (app/modes/uNameMode.h/.cpp) holding its engine: a
// class derived from TCallMode that overrides only the hooks it needs. It
// attaches by one row in the registration table, CallModeRows() in
// app/call/uCallModes.cpp:
//
//     {"Sixel", TModeStage::Filter, [](TCallModeServices& s) { return std::make_unique<TSixelMode>(s); }},
//
// The rows stand in the order the receive chain gives them bytes: the
// Overkill client, then the door commands, then the pictures (iTerm2, Sixel),
// then the graphics emulations (IGS, RIP/SkyPix), then the modes that take no
// bytes (APC pictures, APC audio, ANSI music, linked audio streams). After
// the last row comes the call's text emulation. Every row's mode is made
// once, when the program starts, and lives until it ends; Open and Reset
// bracket each call.
//
// The receive chain: for each received byte that the call's own stages
// (Zmodem, X/Ymodem, IEMSI) hand on, every Engaged() mode in row order gets
// TakeByte. False passes the byte on unchanged; true means the mode handled
// it, and the bytes it appended to Out (none, the byte itself, or bytes it
// held back earlier) pass the later rows in order instead. Of the rows whose
// stage is TModeStage::Emulation only the first engaged one takes bytes: a
// call runs one graphics emulation at a time. For speed the call first asks
// PlainRun how many leading bytes of a chunk every engaged mode would pass
// unchanged and without noting them; those go to the text emulation in one
// piece. A mode that acts on some bytes must answer PlainRun exactly (a mode
// that parses everything answers 0); it may be asked about the first part of
// a chunk only, and then answers for that part. After each chunk EndChunk reports what
// changed on screen.
//
// Painting: the online screen renders the text grid, unless a mode's
// ReplacesFrame() holds (the RIP/IGS canvas, the door's picture): then that
// mode's PaintFrame draws the whole picture instead. PaintOver draws over the
// rendered grid. Mouse events in window pixels reach the modes before the
// screen; keys and typed characters reach them before they go to the board.
// A mode that wants a timer starts its own with Services().StartTimer and is
// called at TimerTick; MainTick runs with the call's 500 ms tick.
//
// A mode reaches the call only through TCallModeServices: it includes
// nothing of the application.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/screens/uScreen.h"
#include "platform/EventLoop.h"
#include "platform/Surface.h"

class TAnsiParser;
class TAppConfig;
class TBitmapFont;
class TFontRenderer;
class TPhonebookEntry;
class TTerminalBuffer;
class TWireTransport;
class TCallMode;
class TPopupLayer;

// What a mode sees of the call it is attached to.
class TCallModeServices {
 public:
  virtual ~TCallModeServices() = default;

  // The board: text to send, and the live transport (null with no call).
  virtual void SendToHost(const std::string& text) = 0;
  // Text the user's action sends, as if typed: a running login recorder
  // notes it, and it goes to the board while a call is open.
  virtual void SendTyped(const std::string& text) = 0;
  virtual std::shared_ptr<TWireTransport> Transport() const = 0;
  // The call's entry; null between calls.
  virtual const TPhonebookEntry* Entry() const = 0;

  // The call's screen, the renderer that draws it and its font.
  virtual TTerminalBuffer& Buffer() = 0;
  virtual TFontRenderer& Renderer() = 0;
  virtual const TBitmapFont& MainFont() const = 0;
  // The text screen's size in pixels of the current font.
  virtual void ScreenPixels(int& width, int& height) const = 0;
  // The ANSI emulation, which the door clients drive directly.
  virtual TAnsiParser& AnsiParser() = 0;
  // Bytes straight to the text emulation, past the later modes.
  virtual void FeedText(const uint8_t* data, size_t count) = 0;
  // A picture was placed over the grid outside a chunk: drawn whole again.
  virtual void PicturePlaced() = 0;
  // The board switched between 40 and 80 columns.
  virtual void SwitchColumns(bool is80) = 0;
  // A mode that held received bytes back (HoldsInput) takes them again.
  virtual void ResumeInput() = 0;
  // The text emulation is not the ANSI one (PETSCII, Avatar, Viewdata...).
  virtual bool MinorEmulationActive() const = 0;
  // The online screen is the one shown.
  virtual bool OnlineShown() const = 0;

  // The settings; the status line for ShowMs (0: until replaced); a repaint.
  virtual TAppConfig& Settings() = 0;
  virtual void ShowStatus(const std::string& text, uint32_t showMs) = 0;
  virtual void Invalidate() = 0;
  // The Alt+M sound switch, for a mode whose board asks for it.
  virtual void ToggleSoundMute() = 0;
  // Opens Url in the web browser (a failure is shown on the status line).
  virtual void OpenInBrowser(const std::string& url) = 0;
  // The first http:// link on the screen as the link handling finds it (the
  // first link of each row, rows from the top; https links never); empty
  // when there is none.
  virtual std::string FirstUrlOnScreen() const = 0;
  // A mode scheduled the start of a linked media stream: every mode hears
  // it through StreamScheduled.
  virtual void AnnounceStreamScheduled() = 0;

  // The mode's own timer: TimerTick every Ms until stopped.
  virtual void StartTimer(TCallMode& mode, uint32_t ms) = 0;
  virtual void StopTimer(TCallMode& mode) = 0;
  virtual bool TimerRunning(const TCallMode& mode) const = 0;
};

// What changed on screen in one chunk of received bytes.
enum TChunkChange : unsigned {
  ccNone = 0,
  ccPicturePlaced = 1,  // a picture was placed over the grid: the grid is drawn whole again
  ccCanvasChanged = 2,  // the mode's own picture changed: the screen is painted again
};

// A mouse event in window pixels, offered to the modes before the screen.
struct TModeMouse {
  TMouseKind Kind = TMouseKind::Move;  // Move, Down, DoubleClick (left button) or Up
  int Button = 0;                      // button::Left, Right or Middle
  int X = 0, Y = 0;
  int ClientWidth = 0, ClientHeight = 0;
  bool Shift = false;
};

// One frame of the online screen as a mode paints it.
struct TModeFrame {
  platform::Surface& Target;
  std::string BottomLine;  // the bottom line as the online screen shows it
  bool BlinkOn = true;
  // The online screen's bottom line, popups and highlights as cells. A mode
  // that draws them into its picture sets OverlaysDrawn; otherwise they are
  // drawn over it as over the text grid.
  const TPopupLayer* Overlays = nullptr;
  bool OverlaysDrawn = false;
};

class TCallMode {
 public:
  explicit TCallMode(TCallModeServices& services) : FServices(services) {}
  virtual ~TCallMode() = default;
  TCallMode(const TCallMode&) = delete;
  TCallMode& operator=(const TCallMode&) = delete;

  // --- A call's life ------------------------------------------------------
  // A call opens for Entry (its transport is made); the mode takes the
  // entry's switches.
  virtual void Open(const TPhonebookEntry& entry) {}
  // The end-of-call reset: nothing of the call may reach the next one.
  virtual void Reset() {}
  // The download and door folders from the settings, at start and on change.
  virtual void FoldersChanged(const std::string& downloadFolder, const std::string& doorFolder) {}
  // The Alt+M sound switch was turned.
  virtual void SoundSwitched(bool on) {}

  // --- Received bytes -----------------------------------------------------
  // Whether the mode is in the receive chain now.
  virtual bool Engaged() const { return false; }
  // How many leading bytes of Data TakeByte would pass unchanged and unnoted.
  virtual size_t PlainRun(const uint8_t* data, size_t count) const { return 0; }
  // False: B goes on unchanged. True: handled; Out's bytes go on instead.
  virtual bool TakeByte(uint8_t b, std::vector<uint8_t>& out) { return false; }
  // After each chunk (a replay too): what changed on screen.
  virtual unsigned EndChunk() { return ccNone; }
  // Bytes reaching the text emulation are dropped while this holds.
  virtual bool HidesText() const { return false; }
  // The board may not resize the screen while this holds.
  virtual bool KeepsScreenSize() const { return false; }
  // The mode holds so many received bytes of its own that the call stops
  // handing it more (the board is kept waiting) until the mode calls
  // Services().ResumeInput().
  virtual bool HoldsInput() const { return false; }
  // A door session runs: received files go to the door folder.
  virtual bool DoorSession() const { return false; }
  // A file arrived complete in Folder.
  virtual void FileReceived(const std::string& path, const std::string& folder) {}

  // --- Hand-offs from the text emulation ----------------------------------
  // An APC string; true when this mode answered it (no later mode sees it).
  virtual bool Apc(const std::string& text) { return false; }
  // An ANSI music string; true when taken.
  virtual bool AnsiMusic(const std::string& text) { return false; }
  // Whether audio channel Channel (0..15) is playing.
  virtual bool AudioChannelBusy(int channel) const { return false; }
  // The cell size the board is told, when this mode decides it.
  virtual bool CellPixelSize(int& width, int& height) const { return false; }
  // The text screen was cleared, or scrolled up by Lines.
  virtual void Cleared() {}
  virtual void Scrolled(int lines) {}
  // After a chunk of which some bytes reached the text emulation (after
  // EndChunk): the screen may show new text.
  virtual void TextFed() {}
  // The start of a linked media stream was scheduled (see
  // TCallModeServices::AnnounceStreamScheduled).
  virtual void StreamScheduled() {}

  // --- The online screen --------------------------------------------------
  // The mode's picture replaces the text grid now.
  virtual bool ReplacesFrame() const { return false; }
  virtual void PaintFrame(TModeFrame& frame) {}
  virtual void PaintOver(TModeFrame& frame) {}
  // The bottom line is a prompt of this mode (Text may be set to show it).
  virtual bool HoldsPromptLine(int cols, std::string& text) const { return false; }
  // True when the event is the mode's (nothing else sees it).
  virtual bool Mouse(const TModeMouse& m) { return false; }
  // A plain click (no Ctrl) on a link of the online screen; true when the
  // mode took it. A link no mode takes opens in the web browser.
  virtual bool LinkClicked(const std::string& url) { return false; }
  // The pointer's shape over (X, Y), when the mode decides it.
  virtual bool Pointer(const TModeMouse& at, platform::CursorKind& kind) const { return false; }
  // A key-down or typed character on the online screen during a call; true
  // when the mode took it (it does not reach the board).
  virtual bool Key(const TKeyEvent& key) { return false; }
  virtual bool Char(uint8_t ch, uint16_t scanCode) { return false; }

  // --- Time ---------------------------------------------------------------
  virtual void MainTick() {}
  virtual void TimerTick() {}

 protected:
  TCallModeServices& Services() const { return FServices; }

 private:
  TCallModeServices& FServices;
};
