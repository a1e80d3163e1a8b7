// Readers that turn a whole PNG, JPEG or GIF file held in memory into an RGBA
// picture, for the pictures boards send inline. Each reads the picture's size
// from the file's header first and refuses one over the caller's limit before
// any pixel memory is taken, so a small file that claims a huge picture never
// reaches the decoder. Truncated files are failures, not grey remainders.
// No state between calls; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// 8 bits per channel in the order R, G, B, A; rows top to bottom, no gaps.
struct TRgbaPicture {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Rgba;
};

enum class TImageFileResult {
  ifOk,
  ifTooLarge,  // the header names a picture over the limit; nothing decoded
  ifFailed,    // not a valid file of its format, or cut short
};

// Error is the decoder's message on ifFailed, and "WxH" on ifTooLarge.
TImageFileResult ReadPngFile(const uint8_t* data, size_t size, int maxSide, TRgbaPicture& out, std::string& error);
TImageFileResult ReadJpegFile(const uint8_t* data, size_t size, int maxSide, TRgbaPicture& out, std::string& error);
// The first frame, with its transparent colour; the picture has the size of
// the file's logical screen (the frame's own size when that is 0).
TImageFileResult ReadGifFile(const uint8_t* data, size_t size, int maxSide, TRgbaPicture& out, std::string& error);
