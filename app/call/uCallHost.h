// What a live call sees of the program around it: the loop it lets events
// through while it drains, the window's repaint, the call's own timers, the
// status line, and the program's reactions to the call's events. The call
// includes nothing of the application; the application hands it one of these.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class TAppConfig;
struct TTransferPrompts;

// The call's own timers, each with its window timer in the program.
enum class TCallTimer {
  HeldInput,  // bytes the Zmodem detector holds back are replayed when it fires
};

class TCallHost {
 public:
  virtual ~TCallHost() = default;

  // --- The loop and the window ---------------------------------------------
  // False once the program is ending: a drain stops.
  virtual bool LoopRunning() const = 0;
  // Keys, timers and worker reports get through during a long drain.
  virtual void PumpMessages() = 0;
  // A frame is shown now if one is due.
  virtual void ShowFrameNow() = 0;
  virtual void Invalidate() = 0;
  // Received text changed the grid; a placed picture draws it whole again.
  virtual void PicturePlaced() = 0;

  // --- The call's timers ---------------------------------------------------
  virtual void StartTimer(TCallTimer timer, uint32_t ms) = 0;
  virtual void StopTimer(TCallTimer timer) = 0;
  virtual bool TimerRunning(TCallTimer timer) const = 0;

  // --- Settings and the status line ----------------------------------------
  // Null while the program shuts down.
  virtual const TAppConfig* Settings() const = 0;
  virtual void ShowStatus(const std::string& text, uint32_t showMs) = 0;
  // The status line's text, its time left as it is.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void ShowToast(const std::string& title, const std::string& text, uint32_t ms) = 0;
  // Said by the screen reader when it is on.
  virtual void SpeakStatus(const std::string& text) = 0;

  // --- What the call hands the program --------------------------------------
  // Received bytes for the program's listeners (the door's bridges).
  virtual void Received(const uint8_t* data, int count) = 0;
  // A received chunk as the board sent it, for the running script and the
  // login recorder.
  virtual void ReceivedChunk(const uint8_t* data, int count) = 0;
  // Text the call types for the user (auto-login), for the login recorder.
  virtual void RecordTypedText(const std::string& text) = 0;
  // The board asked for another screen size.
  virtual void ResizeRequest(int rows, int cols) = 0;
  // The status bar takes the screen's bottom row.
  virtual bool StatusBarShown() const = 0;

  // --- The board's font ------------------------------------------------------
  // Loads the font file at Path as the terminal font; false when it cannot.
  virtual bool LoadTerminalFont(const std::string& path) = 0;
  // The terminal font's cell size in pixels.
  virtual void FontCellSize(int& width, int& height) const = 0;
  // The screen was cleared: pictures placed over it and the marks of links
  // and selection on it go.
  virtual void ScreenCleared() = 0;

  // --- Transfers -----------------------------------------------------------
  // The receive folder and the door-graphics folder ("" for none), each
  // ending in "/".
  virtual void TransferFolders(std::string& download, std::string& door) const = 0;
  // A file the program keeps for itself, which no download may touch.
  virtual bool IsProgramPath(const std::string& path) const = 0;
  // The questions a transfer puts over the online screen.
  virtual TTransferPrompts& TransferPrompts() = 0;
  // A board waits for an upload: the picker opens if nothing else holds it.
  virtual void UploadWanted() = 0;

  // --- The transport's reports ---------------------------------------------
  virtual void CallStatus(const std::string& text) = 0;
  virtual void CallConnected() = 0;
  // Live: the current call's transport ended; otherwise a late report of a
  // call already hung up.
  virtual void CallDisconnected(const std::string& text, bool live) = 0;
};
