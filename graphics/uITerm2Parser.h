// iTerm2 inline images (ESC ] 1337;File= arguments : base64 file, ended by BEL
// or ESC \) in the received stream. TITerm2Parser is a byte filter: it
// consumes those strings, decodes the PNG, JPEG or GIF file they carry,
// scales it as the arguments ask, places it as an image sprite of the
// renderer at the text cursor and moves the cursor below it. Other OSC
// strings and every other byte are handed on unchanged, in order. It never
// touches cells. Interface thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/uTerminalBuffer.h"

class TFontRenderer;

class TITerm2Parser {
 public:
  // Base64 text of one picture; past it the picture is dropped.
  static constexpr size_t PayloadLimit = 24 * 1024 * 1024;
  // Argument text of one picture; past it the whole string is dropped.
  static constexpr size_t ArgsLimit = 512;
  // Decoded pictures and shown sizes, per side.
  static constexpr int MaxSide = 4096;

  TITerm2Parser(TTerminalBuffer* buffer, TFontRenderer* renderer, int cellW, int cellH);

  void Reset();
  // Appends to Out the bytes to hand on for B (none, B, or the bytes of an
  // OSC string found not to be a picture).
  void ProcessByte(uint8_t b, std::vector<uint8_t>& out);
  // How many leading bytes of Data ProcessByte would hand on unchanged
  // without noting them.
  size_t PlainRun(const uint8_t* data, size_t count) const;
  // Whether a picture was placed since the last call; clears it.
  bool TakeImagePlaced();

  // An argument's value ("width", "height", "preserveAspectRatio"), the key
  // matched ignoring case; empty when absent.
  std::string GetArg(const std::string& key) const;
  // A width or height argument in pixels (0 = automatic): "auto", "N" cells,
  // "Npx" pixels or "N%" of the screen; limited to 0..4096.
  static int ParseSize(const std::string& text, int cellSize, int screenSize);

 private:
  enum TITerm2State : uint8_t {
    isGround,
    isEscape,         // ESC seen in the ground state
    isMatch,          // matching "1337;File=" after ESC ]
    isArgs,           // arguments, up to ':'
    isPayload,        // base64 file data
    isPayloadEscape,  // ESC inside the payload
    isDiscard,        // a dropped string, swallowed up to its terminator
    isDiscardEscape,  // ESC ending a dropped string: its "\" is consumed
  };

  void EscapeByte(uint8_t b, std::vector<uint8_t>& out);
  void ClearPayload();
  void AppendBase64(uint8_t b);
  void DecodeImage();
  void ShowPicture(const uint8_t* rgba, int pictureW, int pictureH);
  void EndImage();

  TTerminalBuffer* FBuffer;
  TFontRenderer* FRenderer;
  int FCellWidth, FCellHeight;
  TITerm2State FState = isGround;
  int FMatched = 0;
  uint8_t FMatchedBytes[10] = {};
  std::string FArgs;
  std::vector<uint8_t> FPayload;
  bool FAborted = false;
  int FSpriteX = 0, FSpriteY = 0;
  bool FImagePlaced = false;
};
