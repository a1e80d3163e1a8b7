// SyncTERM APC image commands: a board stores image files in a cache on the
// caller's side, lists what is cached (names with MD5 digests, so each file
// is sent once), and draws a cached or inline PPM or JPEG XL picture at a
// pixel position with cropping, integer zoom and mirroring. TApcImageEngine
// owns that cache and places every drawn picture as an image sprite of the
// renderer; it never touches cells and never writes a file. Repeated draws to
// one spot faster than once a second are video, and ignored. Interface
// thread only.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graphics/uApcDecoders.h"

class TFontRenderer;

class TApcImageEngine {
 public:
  // What the cache may hold, counted as every file's bytes plus its name and
  // a fixed charge per entry; a store that would pass it empties the cache.
  static constexpr int64_t CacheLimit = 48 * 1024 * 1024;
  static constexpr int64_t EntryCharge = 64;
  // Files in the cache; a new name past this many empties the cache first.
  static constexpr size_t MaxFiles = 4096;
  // Longest file name stored, and longest list pattern matched.
  static constexpr size_t MaxNameLength = 255;
  static constexpr size_t MaxPatternLength = 256;

  explicit TApcImageEngine(TFontRenderer* renderer);

  // Empties the cache and forgets the repeated-draw history; pictures on
  // the screen stay.
  void Reset();
  // True when S was an image command (handled, even when it failed); Reply
  // is then what goes back to the board (only a list has one).
  bool HandleApc(const std::string& s, std::string& reply);
  // Whether a picture was placed since the last call; clears it.
  bool TakeImagePlaced();

  // The screen's size in pixels (columns x glyph width, rows x glyph
  // height); 640 x 400 when not set.
  std::function<void(int& w, int& h)> OnScreenPixels;
  // The millisecond clock of the repeated-draw rule.
  std::function<uint64_t()> Clock;

  int64_t TotalBytes() const { return FTotalBytes; }

 private:
  struct TCachedFile {
    std::string Name;
    std::vector<uint8_t> Data;
  };

  void StoreFile(const std::string& name, std::vector<uint8_t> data);
  std::string ListFiles(const std::string& pattern) const;
  void DrawImage(const std::string& args, bool jxl, bool inlineData);
  bool IsVideoRepeat(int64_t dx, int64_t dy);

  TFontRenderer* FRenderer;
  std::vector<TCachedFile> FFiles;  // in the order stored
  int64_t FTotalBytes = 0;
  bool FImagePlaced = false;
  int64_t FLastX = 0, FLastY = 0;
  int32_t FRepeatCount = 0;
  uint64_t FLastTick = 0;
  bool FSuppressing = false;
  uint64_t FSuppressUntil = 0;
  bool FVideoLogged = false;
};

// Whole-name match, case-sensitive: '?' one character, '*' any run.
bool MatchGlob(const std::string& name, const std::string& pattern);
