// One live call, from the moment it is opened to the end-of-call reset: the
// entry's copy, the transport and what is sent on it, the receive pipeline
// (counting, pausing, modem-speed pacing, the bytes held back and replayed,
// the chain of stages down to one text emulation), the call's text
// emulation set, the transfer engines with the transfer window they fill and
// the upload queue, IEMSI and auto-login, the entry's login steps, and the
// board's own screen size. A call is made when one starts and thrown away by
// the reset, so nothing of one call reaches the next; between calls an empty
// one stands in, with no entry and no transport.
//
// The call reaches the program only through TCallHost, and the long-lived
// parts it drives (the screen buffer, the ANSI emulation, the call's modes)
// through TCallParts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/call/uCallHost.h"
#include "app/screens/uPopups.h"
#include "core/uUtf8Cp437.h"

class TAnsiParser;
class TAsciiParser;
class TAvatarParser;
class TCallModes;
class TIEMSIResponder;
class TLoginScript;
class TPetsciiParser;
class TPhonebookEntry;
class TTerminalBuffer;
class TTextEmulation;
class TVT52Parser;
class TViewdataParser;
class TWireTransport;
class TXYmodemEngine;
class TZmodemEngine;

// The program's long-lived parts a call drives.
struct TCallParts {
  TTerminalBuffer& Buffer;
  TAnsiParser& Parser;
  TCallModes& Modes;
};

// What a call counts for its summary.
struct TCallCounts {
  int64_t BytesIn = 0, BytesOut = 0;
  int32_t FilesDown = 0, FilesUp = 0;
};

// A byte count as the call's summary shows it (bytes, KB or MB).
std::string FormatByteSize(int64_t n);

class TCall : public std::enable_shared_from_this<TCall> {
 public:
  // Entry is null for the empty call that stands between calls. Life is the
  // program's token: reports a transport queues after it is gone do nothing.
  // Uploads are the files queued before the call, which it keeps queued.
  TCall(TCallHost& host, const TCallParts& parts, std::shared_ptr<TPhonebookEntry> entry, std::weak_ptr<int> life,
        const std::vector<std::string>& uploads);
  ~TCall();
  TCall(const TCall&) = delete;
  TCall& operator=(const TCall&) = delete;

  // --- The call ------------------------------------------------------------
  const std::shared_ptr<TPhonebookEntry>& Entry() const { return FEntry; }
  const std::shared_ptr<TWireTransport>& Transport() const { return FTransport; }
  // Takes Transport for this call and wires its reports to the call.
  void AttachTransport(std::shared_ptr<TWireTransport> transport);
  // Hangs up: later reports of the transport reach the host as late ones.
  void Disconnect();
  // The transport ended by itself: the call lets go of it.
  void DropTransport();
  // The tick the board answered on; 0 until then.
  uint64_t ConnectTick() const { return FConnectTick; }
  void SetConnectTick(uint64_t tick) { FConnectTick = tick; }
  TCallCounts& Counts() { return FCounts; }
  const TCallCounts& Counts() const { return FCounts; }
  // The end-of-call reset took this call: anything still holding it stops.
  void End();
  bool Ended() const { return FEnded; }

  // Alt+G: starts capturing the board's bytes to a file, or stops it.
  void ToggleCapture();
  // Stops a running capture and says so (the user hangs up).
  void EndCapture();
  // The call's summary: time online, bytes in and out, files moved.
  std::string OnlineStatusText(int64_t seconds) const;

  // Bytes to the board (replies of the emulations, the modes' answers).
  void SendToHost(const std::string& text);

  // --- The transport's reports ---------------------------------------------
  void OnTelnetData(const uint8_t* data, int count);
  void OnTelnetConnected(const std::string& msg);

  // --- The receive pipeline ------------------------------------------------
  void DrainInput();
  int32_t BaudBudget();
  // Whether the transport may read on while received data is drained.
  bool ReadAheadAllowed() const;
  void ProcessIncoming(const uint8_t* data, int count, bool replay);
  // One byte into the text emulation unless a mode hides the text.
  void FeedByte(uint8_t b);
  void ReplayHeldInput();
  size_t RxWaiting() const { return FRxPending.size() > FRxHead ? FRxPending.size() - FRxHead : 0; }
  // Modem-speed pacing: bytes a second, 0 for none.
  double SimBytesPerSec() const { return FSimBytesPerSec; }
  void SetSimBytesPerSec(double bytesPerSec);
  // Scroll Lock's pause: received bytes wait until it is lifted.
  bool Paused() const { return FPaused; }
  void Pause() { FPaused = true; }
  void Resume();
  // The last characters received, where board prompts are recognised.
  const std::string& RecentText() const { return FRxTail; }
  // The board is a Renegade one: its paging keys differ.
  bool Renegade() const { return FRenegade; }

  // --- The text emulation set ----------------------------------------------
  // The emulation by canonical terminal type (upper case): PETSCII, ATASCII,
  // Avatar, Viewdata, VT52 and ASCII have their own; others use ANSI.
  void SelectEmulation(const std::string& type, bool lenientLetters, bool lenientCRLF);
  TTextEmulation* ActiveMinorEmulation() const;
  bool MinorEmulationActive() const;
  // PETSCII or ATASCII, when the call runs one.
  TPetsciiParser* Petscii() const { return FPetsciiActive ? FPetscii.get() : nullptr; }
  bool PetsciiActive() const { return FPetsciiActive; }
  bool AvatarActive() const { return FAvatarActive; }
  bool ViewdataActive() const { return FViewdataActive; }
  bool VT52Active() const { return FVT52Active; }
  bool Utf8Mode() const { return FUtf8Mode; }
  void SetUtf8Mode(bool on);

  // --- IEMSI, auto-login and the login steps -------------------------------
  void SetIemsiEnabled(bool on) { FIemsiEnabled = on; }
  void ResetIemsi();
  void SendIemsiIci();
  void SendIemsiReply();
  void SendAutoLogin();
  // The entry's login steps, for this call only.
  void LoadLoginSteps(const std::vector<std::string>& lines);
  void LoginStepsTick();

  // --- Transfers (uCallTransfers.cpp) --------------------------------------
  TZmodemEngine& Zmodem() const { return *FZmodem; }
  TXYmodemEngine& XYmodem() const { return *FXYmodem; }
  // A Zmodem or X/Ymodem transfer is under way (not only waiting).
  bool TransferRunning() const;
  // The transfer window: shown while a transfer runs and for a moment after.
  bool TransferWindowShown(uint64_t now) const;
  const TTransferView& TransferView() const { return FXfer; }
  // The files queued for the next Zmodem upload.
  std::vector<std::string> QueuedUploads() const;
  // The receive and door folders changed.
  void SetTransferFolders(const std::string& download, const std::string& door);
  // The upload picker opened for this call's board.
  void NoteUploadAsked();
  // The 500 ms tick of the engines' timeouts.
  void TransfersTick();
  // The end-of-call stop of both engines: Zmodem keeps only its queue.
  void StopTransfers();

  // --- The text emulation's events (uCallEvents.cpp) -----------------------
  // Replies of the ANSI emulation go to the board; its music, APC strings,
  // audio and cell-size queries go to the call's modes; its font requests
  // load the board's font; clears and scrolls of the screen reach the modes.
  void OnParserReply(const std::string& s);
  void OnAnsiMusic(const std::string& s);
  void OnApcString(const std::string& s);
  void OnCellPixelSize(int& w, int& h);
  bool OnApcChannelBusy(int channel);
  void OnFontSelect(int slot, int fontId);
  void OnPetsciiFontSwitch(bool lower);
  void OnBufferCleared();
  void OnBufferScrolled(int lines);
  // The board switched between 40 and 80 columns.
  void OnColumnModeSwitch(bool is80);

  // --- The board's own screen size -----------------------------------------
  bool BoardSizeSet() const { return FBbsSizeSet; }
  int BoardCols() const { return FBbsCols; }
  int BoardRows() const { return FBbsRows; }
  void SetBoardSize(int cols, int rows);
  // The screen size: the board's request, else the entry's, else the
  // buffer's as it is.
  int TermCols() const;
  int TermRows() const;
  // The rows of Rows the board may write: the status bar takes one.
  int TextRows(int rows) const;

 private:
  friend struct TAppProbe;

  // Hands the text emulation's and the screen's events to this call.
  void WireEmulatorEvents();

  void PassFilters(uint8_t b, bool& fed);
  size_t PlainRun(const uint8_t* data, size_t count, bool replay) const;
  void FeedBytes(const uint8_t* data, size_t count);
  // One byte into the text emulation, whatever the modes hide.
  void FeedTextByte(uint8_t b);
  void FreeMinorEmulations();

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

  TCallHost& Host;
  TTerminalBuffer& FBuffer;
  TAnsiParser& FParser;
  TCallModes& FModes;
  std::weak_ptr<int> FLife;
  // Cleared when the call is destroyed: events of the long-lived parts then
  // reach it no more.
  std::shared_ptr<bool> FWired = std::make_shared<bool>(true);

  std::shared_ptr<TPhonebookEntry> FEntry;
  std::shared_ptr<TWireTransport> FTransport;
  uint64_t FConnectTick = 0;
  TCallCounts FCounts;
  bool FEnded = false;

  // Received bytes not yet passed through the chain start FRxHead bytes into
  // FRxPending: a drain moves the front past what it took and sheds it now
  // and then, so a long backlog is not moved up once per chunk.
  std::vector<uint8_t> FRxPending;
  size_t FRxHead = 0;
  bool FDraining = false, FPaused = false;
  double FSimBytesPerSec = 0;
  uint32_t FBudgetTick = 0;
  double FBudgetCarry = 0;
  uint64_t FLastFrameTick = 0;
  uint64_t FLastPumpTick = 0;  // when the drain last let the window's events through
  std::string FRxTail;
  bool FRenegade = false;

  std::unique_ptr<TPetsciiParser> FPetscii;
  std::unique_ptr<TAvatarParser> FAvatar;
  std::unique_ptr<TViewdataParser> FViewdata;
  std::unique_ptr<TVT52Parser> FVT52;
  std::unique_ptr<TAsciiParser> FAscii;
  bool FPetsciiActive = false, FAvatarActive = false, FViewdataActive = false, FVT52Active = false,
       FAsciiActive = false;
  TUtf8ToCp437Decoder FUtf8Decoder;
  bool FUtf8Mode = false;

  std::unique_ptr<TIEMSIResponder> FIemsi;
  bool FIemsiEnabled = false;
  // The IEMSI stage's scratch buffer, so a byte passing it takes no allocation.
  std::vector<uint8_t> FIemsiOut;
  std::unique_ptr<TLoginScript> FLoginScript;

  bool FBbsSizeSet = false;
  int32_t FBbsCols = 0, FBbsRows = 0;

  std::unique_ptr<TZmodemEngine> FZmodem;
  std::unique_ptr<TXYmodemEngine> FXYmodem;
  // What the transfer window shows, and the tick until which it stays.
  TTransferView FXfer;
  uint64_t FXferPanelUntil = 0;
  // The file whose rate is measured, and the tick and count it started at.
  std::string FRateFile;
  uint64_t FRateStartTick = 0;
  int64_t FRateStartBytes = 0;
  // When the upload picker last opened for a waiting receiver in this call.
  uint64_t FLastUploadAsk = 0;
};
