// RIPscrip and SkyPix: the parser that lifts RIPscrip command lines ("!|" at
// a line start) and SkyPix sequences (ESC [ ... !) out of a board's stream,
// runs them on the shared TRipCanvas and hands every other byte back for the
// text emulation. It answers the RIPscrip version query and lets the host
// switch RIP display off. It never touches the terminal buffer: cursor moves
// and text windows leave through its events.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graphics/uRipCanvas.h"

struct TSkyPixFont;

// A board's button style; drawing uses wid, hgt, orient, flags (bevel),
// bevsize, dfore, bright, dark, surface and uline_col.
struct TRipButtonStyle {
  int32_t wid = 0, hgt = 0, orient = 0, flags = 0, flags2 = 0, bevsize = 0, dfore = 0, dback = 0, bright = 0,
          dark = 0, surface = 0, grp_no = 0, uline_col = 0, corner_col = 0;
};

class TRipParser {
 public:
  static constexpr const char* kVersionReply = "RIPSCRIP015410";
  // A RIPscrip line longer than this is dropped whole with a log line.
  static constexpr size_t kMaxLineLength = 65536;
  static constexpr size_t kMaxQueryLength = 300;
  static constexpr int kMaxSceneDepth = 4;
  // Scene files larger than this are refused instead of read.
  static constexpr uintmax_t kMaxSceneFileSize = 4u << 20;

  explicit TRipParser(TRipCanvas* canvas);

  // One received byte; the bytes meant for the text emulation (zero, one or
  // two) are appended to Out, in order.
  void Feed(uint8_t b, std::vector<uint8_t>& out);
  void FeedByte(uint8_t b);
  void FeedString(const std::string& s);
  // On every connect: framing, host switch, button style flag and SkyPix
  // state cleared, canvas cleared and back to the EGA palette.
  void Reset();
  void ScrollUp(int n);
  void DispatchCommand(const std::string& cmd);
  // Reads up to Digits base-36 digits of S from Pos (0-based), moving Pos
  // past each one; "-" counts as 0, any other character stops the reading.
  static int32_t ReadMegaNum(size_t& pos, const std::string& s, int digits);

  // SkyPix.
  void DoSkyPix(const std::string& params, const std::string& stringArg);
  static bool SkyPixTakesString(const std::string& params);
  void DrawSkyPixChar(uint8_t b);
  void NoteShape(int32_t cx, int32_t cy, int32_t rx, int32_t ry);

  // Level 1.
  void DrawButton(int x0, int y0, int x1, int y1, const TRipButtonStyle& style, const std::string& label,
                  const std::string& command);
  bool LoadIcon(const std::string& path, int x, int y, int mode, bool toClipboard);
  void PlayScene(const std::string& path);
  // The icons folder's file for a name a board sent: empty for an unsafe or
  // empty name; DefaultExt added when the name has none; found ignoring case.
  static std::string ResolveRipAsset(const std::string& name, const std::string& defaultExt);
  static std::string IconsFolder();

  std::function<void(const std::string&)> OnReply;
  std::function<void(int x0, int y0, int x1, int y1, int wrap, int size)> OnTextWindow;
  std::function<void(int x, int y)> OnGotoPixels;
  std::function<void(int& x, int& y)> OnGetCursorPixels;
  std::function<void()> OnSkyPixEnd;
  std::function<void()> OnSkyPixStart;
  bool RipDisabledByHost = false;
  bool SkyPixHideFontNames = false;  // the setting's copy; nothing draws with it

  // For the painter and tests.
  TRipCanvas* Canvas() const { return FCanvas; }
  bool ButtonStyleSet() const { return FButtonStyleSet; }
  const TRipButtonStyle& ButtonStyle() const { return FButtonStyle; }
  bool SkyPixFontActive() const { return FFontActive; }
  int SceneDepth() const { return FSceneDepth; }

 private:
  // What decides how the next byte is framed. A scene plays with a fresh one
  // and the outer one is put back afterwards.
  struct TFraming {
    bool InLine = false;
    std::string Cmd;
    bool LineTooLong = false;  // the rest of an over-long line is dropped
    bool BangPending = false, SkipLFCont = false, SkipLFEnd = false, AtLineStart = true;
    int QueryState = 0;
    std::string QueryParams;
    int EscState = 0;
    bool StringMode = false;
    std::string StringArg, StringParams;
  };

  void EndQuery(const std::string& params);
  void DispatchLevel0(char letter, const std::string& cmd, size_t pos);
  void DispatchLevel1(char letter, const std::string& cmd, size_t pos);
  void ButtonCommand(const std::string& cmd, size_t pos);
  void SkyPixSetFont(const std::vector<int32_t>& l, size_t n, const std::string& name);
  void SkyPixTextPosition(int32_t x, int32_t y);
  void SkyPixEndPage();
  void ReadPoints(const std::string& cmd, size_t& pos, int count, TRipPointArray& points);

  TRipCanvas* FCanvas;
  TFraming F;
  TRipButtonStyle FButtonStyle;
  bool FButtonStyleSet = false;
  int FSceneDepth = 0;

  // SkyPix state.
  bool FSkyPixStarted = false;
  int32_t FSkyPenX = 0, FSkyPenY = 0, FTextX = 0, FTextY = 0, FPenB = 0;
  bool FInlineText = false, FCaptionMode = false, FGlyphDrawn = false;
  int32_t FLineY = 0;
  bool FShapeValid = false;
  int32_t FShapeCX = 0, FShapeCY = 0, FShapeRX = 0, FShapeRY = 0;
  bool FFontActive = false;
  const TSkyPixFont* FFont = nullptr;
  int32_t FMarginX = 0, FSkyPixMaxDrawnY = 0;
};
