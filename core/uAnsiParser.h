// The ANSI-BBS emulation: turns a board's byte stream into operations on one
// TTerminalBuffer. It tokenises C0 controls, ESC and CSI sequences, ANSI
// music, OSC/DCS/PM strings (skipped) and APC strings (delivered whole), and
// in VT mode the G0/G1 character sets. It owns no cells and no connection:
// replies and everything other subsystems act on leave through its events.
// The CSI finals, replies and SGR colours live in uAnsiControls.cpp.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"

using TParserReplyEvent = std::function<void(const std::string& S)>;
using TParserResizeEvent = std::function<void(int Rows, int Cols)>;
// Fills in the font's cell size; 8 x 16 is assumed while nobody listens.
using TCellSizeQueryEvent = std::function<void(int& CellW, int& CellH)>;
// True while the audio channel is busy.
using TAudioChannelQueryEvent = std::function<bool(int Channel)>;
using TFontSelectEvent = std::function<void(int Slot, int FontId)>;

// The numeric parameters of one control sequence. "Omitted" (-1) stays
// distinct from an explicit 0 until a use applies its own default. Values
// that do not fit 32 bits count as omitted, so digits are never stored.
struct TCsiParams {
  static constexpr int MaxParams = 16;  // later parameters are ignored
  static constexpr int32_t Omitted = -1;
  std::array<int32_t, MaxParams> Values{};
  int32_t Count = 0;
  int64_t Digits = 0;  // the parameter being read
  bool HasDigits = false;
  bool TooLarge = false;

  // Values past Count are never read, so they are left as they are.
  void Clear() {
    Count = 0;
    Digits = 0;
    HasDigits = false;
    TooLarge = false;
  }
  void AddDigit(uint8_t D) {
    HasDigits = true;
    if (TooLarge) return;
    Digits = Digits * 10 + (D - '0');
    if (Digits > INT32_MAX) TooLarge = true;
  }
  // Ends the parameter being read (";" or the final byte).
  void Push() {
    if (Count < MaxParams) Values[size_t(Count++)] = (HasDigits && !TooLarge) ? int32_t(Digits) : Omitted;
    Digits = 0;
    HasDigits = false;
    TooLarge = false;
  }
  bool Empty() const { return Count == 0 && !HasDigits; }
  // The stored value when it is 0 or more, else Default.
  int32_t OrDefault(int Index, int32_t Default) const {
    return (Index >= 0 && Index < Count && Values[size_t(Index)] >= 0) ? Values[size_t(Index)] : Default;
  }
  // A count or a 1-based position: omitted and an explicit 0 both mean 1
  // (ECMA-48 5.4.2: a zero parameter stands for the default).
  int32_t Count1(int Index) const {
    int32_t v = OrDefault(Index, 1);
    return v < 1 ? 1 : v;
  }
};

class TAnsiParser {
 public:
  enum TState : int32_t {
    stGround = 0,
    stEscape = 1,
    stCsiEntry = 2,
    stCsiParam = 3,
    stMusic = 4,
    stSkipString = 5,  // OSC, DCS or PM
    stG0Charset = 6,
    stG1Charset = 7,
    stApcString = 8,
    stCsiIgnore = 9,  // a sequence with ":" or an intermediate, read to its final and dropped
  };
  static constexpr int MusicMax = 255;
  static constexpr int ApcShortMax = 48;
  static constexpr size_t ApcBulkMax = 6 * 1024 * 1024;
  // CSI b repeats at most this many characters (a screenful of the largest grid).
  static constexpr int32_t RepeatMax = TTerminalBuffer::MaxWidth * TTerminalBuffer::MaxHeight;

  explicit TAnsiParser(TTerminalBuffer* ABuffer);
  TAnsiParser(const TAnsiParser&) = delete;
  TAnsiParser& operator=(const TAnsiParser&) = delete;

  void Reset();
  void ResetState();
  void ClearParams();
  void Feed(const uint8_t* Data, size_t Count);
  void ProcessChar(uint8_t B);
  void DispatchCSI(uint8_t Final);

  // ---- State. Read freely; the application sets VtMode and AnnounceSixel.
  TTerminalBuffer* Buffer;
  int32_t State = stGround;
  bool EscInString = false;
  bool StringEndsOnBel = false;  // the skipped string is an OSC (BEL ends it)
  TCsiParams Params;
  uint8_t PrivateMarker = 0;  // 0, '?', '<', '=' or '>'
  int32_t CsiSavedX = 0;
  int32_t CsiSavedY = 0;
  TParserReplyEvent OnSendReply;
  TParserResizeEvent OnResize;
  TParserReplyEvent OnPlayMusic;
  TParserReplyEvent OnApc;
  TCellSizeQueryEvent OnGetCellSize;
  TAudioChannelQueryEvent OnQueryAudioChannel;
  std::array<uint8_t, ApcShortMax> ApcText{};
  int32_t ApcLength = 0;
  std::vector<uint8_t> ApcBulk;  // its size is the bulk length
  bool ApcBulkMode = false;
  bool ApcOverflow = false;  // the string outgrew its buffer: dropped at its end
  std::string MusicText;
  bool MusicEcho = false;
  int32_t MusicStartX = 0;
  int32_t MusicStartY = 0;
  bool AnnounceSixel = true;
  int32_t MouseMode = 0;  // 0 off, 1 X10, 2 normal, 3 button-event, 4 any-event
  bool SgrMouse = false;
  bool SpaceIntermediate = false;
  TFontSelectEvent OnFontSelect;
  std::vector<bool> TabStops;
  uint8_t LastChar = 32;
  bool SavedCursorVisible = true;
  bool VtMode = false;
  int32_t G0Graphics = 0;  // 1 DEC special graphics, 0 ASCII
  int32_t G1Graphics = 0;
  bool ShiftOut = false;
  bool DecSaved = false;
  int32_t DecSavedX = 0;
  int32_t DecSavedY = 0;
  TTextAttributes DecSavedAttrs;
  int32_t DecSavedG0 = 0;
  int32_t DecSavedG1 = 0;
  bool DecSavedShift = false;

  // ---- Control sequences (uAnsiControls.cpp).
  void InsertChars(int N);
  void DeleteChars(int N);
  void DeviceStatusReport();
  void DeviceAttributes();
  void WindowOps();
  void GraphicsGeometryQuery();
  void ApplySGR();
  void ParseExtendedColor(int Index, bool IsForeground);
  void DesignateCharset(bool ForG1, uint8_t Final);

 private:
  void ProcessGround(uint8_t B);
  void ProcessEscape(uint8_t B);
  void ProcessCsi(uint8_t B);
  void ProcessCsiIgnore(uint8_t B);
  void ProcessMusic(uint8_t B);
  void ProcessSkipString(uint8_t B);
  void ProcessApc(uint8_t B);
  void Print(uint8_t B);
  void LineFeed();
  void ReverseIndex();
  void EraseMusicEcho();
  void DeliverApc();
  void BuildTabStops();
  void GrowTabStops();
  bool GraphicsInUse() const { return VtMode && (ShiftOut ? G1Graphics : G0Graphics) == 1; }

  // uAnsiControls.cpp
  bool DispatchKey(uint32_t Key);
  bool HandleCursor(uint32_t Key);
  bool HandleEdit(uint32_t Key);
  bool HandleModes(uint32_t Key);
  bool HandleReports(uint32_t Key);
  void SetPrivateMode(int Mode, bool On);
  void TabForward(int N);
  void TabBackward(int N);
  void Repeat(int32_t N);
  int BoardRow(int64_t Row) const;
  void CellSize(int& CellW, int& CellH);
  void Reply(const std::string& S);
};

// The DEC special graphics set (line drawing) in CP437; other bytes unchanged.
uint8_t DecGraphicsToCp437(uint8_t B);
