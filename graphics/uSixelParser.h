// DEC Sixel pictures (ESC P ... q sixel data ESC \) in the received stream.
// TSixelParser is a byte filter: it consumes DCS strings, paints sixel data
// into its own rows, and at the string's end places the picture as an image
// sprite of the renderer at the text cursor and moves the cursor below it.
// Every byte outside a DCS string is handed on unchanged. It reads the
// buffer's cursor and moves it only by line feeds and returns; it never
// touches cells. Interface thread only.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"

class TFontRenderer;

class TSixelParser {
 public:
  // Limits of one picture, in sixel pixels: columns and rows 0..4095.
  static constexpr int MaxSide = 4096;
  // Digits and separators kept for one command; a longer run is cut.
  static constexpr size_t MaxCommandText = 64;

  TSixelParser(TTerminalBuffer* buffer, TFontRenderer* renderer, int cellW, int cellH);

  // Back to the ground state: parameters, palette, picture and hold cleared.
  void Reset();
  void ResetPalette();
  // Appends to Out the bytes to hand on for B: none, B itself, or ESC and B.
  void ProcessByte(uint8_t b, std::vector<uint8_t>& out);
  // How many leading bytes of Data ProcessByte would hand on unchanged
  // without noting them.
  size_t PlainRun(const uint8_t* data, size_t count) const;
  // Whether a picture was placed since the last call; clears it.
  bool TakeImagePlaced();

  // While above 0, frames finished within this many milliseconds of the first
  // one finished are dropped (an animation waiting for its sound to start).
  int32_t VideoStartDelayMs = 0;
  // The millisecond clock of that hold.
  std::function<uint64_t()> Clock;

 private:
  enum TSixelState : uint8_t {
    ssGround,
    ssEscape,      // ESC seen in the ground state
    ssDcsParams,   // between ESC P and the final byte
    ssData,        // sixel data
    ssDataEscape,  // ESC inside sixel data
    ssDcsEscape,   // ESC ending a DCS string that is not sixel: its "\" is consumed
  };
  enum TPendingCommand : uint8_t { pcNone, pcColour, pcRepeat, pcRaster };

  void EscapeByte(uint8_t b, std::vector<uint8_t>& out);
  void BeginImage();
  void DataByte(uint8_t b);
  void FinishCommand();
  void SelectColour();
  void RasterAttributes();
  void Widen(int need);
  void PaintSixel(int bits);
  void FinishImage();
  void EndImage();
  // The fields of the pending command's parameters: how many, and the first
  // five (0 when empty or not a number).
  int SplitParams(std::array<int64_t, 5>& fields) const;

  TTerminalBuffer* FBuffer;
  TFontRenderer* FRenderer;
  int FCellWidth, FCellHeight;
  TSixelState FState = ssGround;
  bool FDcsIntermediate = false;  // the DCS string is not sixel
  std::array<uint32_t, 256> FPalette{};
  int FColour = 0;
  std::string FCmdParams;
  TPendingCommand FPendingCmd = pcNone;
  // The painted pixels, FStride to a row, rows added 64 at a time: 0 is
  // transparent, else 0xFF000000 | R << 16 | G << 8 | B. Only pixels that
  // can land on the screen are stored; the picture's size counts in full.
  std::vector<uint32_t> FPixels;
  int FStride = 0, FStoredRows = 0;
  // The picture handed to the renderer, kept for the next one.
  std::vector<TColorRGB> FSpriteRgb;
  std::vector<uint8_t> FSpriteMask;
  int FImageWidth = 0, FImageHeight = 0;  // pixels in use, stored or not
  int FX = 0, FBandTop = 0;
  int64_t FRepeat = 0;
  int FSpriteX = 0, FSpriteY = 0;
  // Columns and rows that can be stored: what lies left of and above the
  // screen's right and bottom edges as seen from the picture's corner.
  int FStoreWidth = MaxSide, FStoreHeight = MaxSide;
  bool FImagePlaced = false;
  int FPan = 1, FPad = 1;
  bool FHoldStarted = false;
  uint64_t FHoldStart = 0;
};
