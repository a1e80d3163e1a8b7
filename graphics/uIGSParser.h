// Atari ST IGS ("Instant Graphics and Sound") as boards embed it in VT52
// text: the byte parser that takes "G#" commands out of the stream, its
// queue of input held back during timed waits and loops, the "&" loops, and
// the command executor that draws on the IGS canvas, moves the terminal's
// cursor, plays sound-chip effects, answers inquiries and keeps mouse zones.
// Text bytes go back to the caller for the text emulation; the parser never
// writes text cells itself. Interface thread only.
#pragma once
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "graphics/uIGSCanvas.h"

class TTerminalBuffer;
class TGistSynth;

using TIntArray = std::vector<int32_t>;

// One collected parameter: a number, a random pick from one of the two
// random ranges, or the loop's value or its mirror.
struct TIGSParam {
  enum TKind : int32_t { pkNumber = 0, pkRandom1 = 1, pkRandom2 = 2, pkLoopX = 3, pkLoopY = 4 };
  int32_t Kind = pkNumber;
  int32_t Value = 0;
};

struct TIGSZone {
  int32_t Id = 0;
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;  // canvas pixels, borders included
  std::string Text;
};

class TIGSParser {
 public:
  // Bounds on what a board can make the parser hold or do.
  static constexpr size_t kMaxParams = 2048;        // per command; more are dropped
  static constexpr size_t kMaxParamText = 24;       // digits of one parameter
  static constexpr size_t kMaxTextArg = 1024;       // text of "W" and mouse zones
  static constexpr size_t kMaxLoopItems = 4096;     // items of one "&" loop
  static constexpr size_t kMaxLoopItemText = 64;
  static constexpr int32_t kMaxLoopCount = 4096;    // values a loop step makes
  static constexpr int32_t kMaxLoopSteps = 100000;
  static constexpr size_t kMaxZones = 1024;
  static constexpr size_t kQueueCatchUp = size_t(8) << 20;  // beyond this, waits stop applying
  // Held input from which the caller is asked to stop feeding until the
  // replay has caught up (see QueueFull).
  static constexpr size_t kQueueHoldBack = size_t(1) << 20;
  // Drawing one call of FeedByte or ProcessQueued may do (pixels visited);
  // a loop that needs more goes on at the next ProcessQueued.
  static constexpr int64_t kWorkPerCall = 2000000;
  static constexpr int32_t kMaxWaitMs = 10000;

  explicit TIGSParser(TTerminalBuffer* buffer);

  void Reset();
  // One received byte. While the parser is busy the byte is queued;
  // otherwise it is parsed. Bytes for the text emulation are appended to Out
  // (at most two).
  void FeedByte(uint8_t b, std::vector<uint8_t>& out);
  // Waiting, holding input, running a loop or holding a sound operation.
  bool IsBusy() const;
  // How many leading bytes of Data FeedByte would hand straight back as
  // text without noting anything: plain text between commands and escapes.
  size_t PlainRun(const uint8_t* data, size_t count) const;
  // The queue is long enough that the caller should stop feeding bytes
  // until ProcessQueued has worked it down.
  bool QueueFull() const { return FQueueCount >= kQueueHoldBack; }
  size_t QueuedBytes() const { return FQueueCount; }
  // Replays held input and loop steps, appending text bytes to Out. True
  // when anything was done.
  bool ProcessQueued(std::vector<uint8_t>& out);

  void ExecuteCommand(char letter, const TIntArray& params, const std::string& text);
  void SoundOp(int32_t op, int32_t voice);
  // The text of the last added zone that holds the canvas point.
  bool MouseZoneAt(int x, int y, std::string& text) const;

  bool TakeDirty();
  void RenderScaled(uint32_t* dest, int destWidth, int destHeight) const {
    FCanvas.RenderScaled(dest, destWidth, destHeight);
  }
  void TextColor(uint8_t& r, uint8_t& g, uint8_t& b) const { FCanvas.TextColor(r, g, b); }
  int CanvasWidth() const { return FCanvas.Width(); }
  int CanvasHeight() const { return FCanvas.Height(); }
  const TIGSCanvas& Canvas() const { return FCanvas; }

  // Set by the application after construction.
  std::function<void(const std::string&)> OnReply;
  std::function<void()> OnSoundStarted;
  std::function<void(int resolution)> OnColumnModeSwitch;
  TGistSynth* FSynth = nullptr;
  const uint8_t* FFont8x8 = nullptr;   // 8 bytes a glyph
  const uint8_t* FFont8x14 = nullptr;  // 14 bytes a glyph
  // The clock of timed waits, in milliseconds; the monotonic tick by default.
  std::function<uint64_t()> Clock;
  // The drawing one call may do; tests and the fuzz target lower it.
  int64_t WorkPerCall = kWorkPerCall;

  // Set by every executed command, cleared by Reset: the online screen shows
  // the canvas only while it is set.
  bool FGraphicsShown = false;

 private:
  enum TState : int32_t {
    psText = 0,
    psAfterG = 1,
    psLetter = 2,
    psAfterGG = 3,
    psParams = 4,
    psWText = 5,
    psZoneText = 6,
    psPatternText = 7,
    psLoop = 8,
  };

  void ParseByte(uint8_t b, std::vector<uint8_t>& out);
  void ParseText(uint8_t b, std::vector<uint8_t>& out);
  void ParseParams(uint8_t b);
  void ParseLoop(uint8_t b);
  void ClearCommand();
  void PushParam();
  void Execute();
  int32_t ResolveParam(const TIGSParam& p, int64_t x, int64_t y);
  int32_t RandomIn(int32_t lo, int32_t hi);

  void StartWait(int64_t ms);
  bool IsWaiting() const;
  uint64_t Now() const;
  void AppendToQueue(uint8_t b);
  bool BudgetLeft() const { return FCanvas.Work < WorkPerCall; }

  void EndLoopItems();
  void StartLoop();
  bool LoopStep();
  void RunLoop();
  static int32_t ParamCount(char letter, int64_t first);

  void ExecuteSound(const TIntArray& p);
  void ExecuteX(const TIntArray& p, const std::string& text);
  void ExecuteScreen(int32_t what);
  void DrawEllipse(int64_t x, int64_t y, int64_t rx, int64_t ry, int64_t start, int64_t end, bool pie);
  TIGSPoints PointList(const TIntArray& p) const;

  TTerminalBuffer* FBuffer;
  TIGSCanvas FCanvas;

  int32_t FState = psText;
  char FCommand = 0;
  std::vector<TIGSParam> FParams;
  std::string FParamText;
  bool FParamOverlong = false;
  std::string FTextArg;
  std::vector<std::string> FLoopItems;
  std::string FLoopItem;
  bool FLoopItemsOverflow = false;
  int32_t FVt52ArgCount = 0;
  bool FEscPending = false;

  int32_t FRandomLo1 = 0, FRandomHi1 = 199;
  int32_t FRandomLo2 = 0, FRandomHi2 = 199;
  int32_t FSavedWritingMode = 1;

  std::vector<uint8_t> FQueue;
  size_t FQueuePos = 0, FQueueCount = 0;
  uint64_t FWaitUntil = 0;
  int32_t FPendingSoundOp = 0, FPendingSoundVoice = 0;

  bool FLoopActive = false;
  int64_t FLoopFrom = 0, FLoopTo = 0, FLoopStep = 0, FLoopValue = 0;
  int32_t FLoopDelay = 0;
  size_t FLoopParamCursor = 0;
  int32_t FLoopParamCount = 0, FLoopIterations = 0;
  std::vector<TIGSParam> FLoopParams;
  std::vector<char> FLoopPrefixes;
  char FLoopCommand = 0;
  std::string FLoopLetters;
  bool FLoopAscending = true, FLoopXor = false;

  std::vector<TIGSZone> FZones;
  std::mt19937 FRandom{0x1657u};
};
