// Shared pieces of the picture tests: a screen of 80 x 25 cells of 8 x 16
// pixels with its renderer, the debug log caught in a file, pictures made by
// ImageMagick and compared with it, and sprites written out as PPM files.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"
#include "tests/support/ChildProcess.h"

namespace imagetest {

using testsupport::CommandOutput;
using testsupport::ReadWholeFile;
using testsupport::TempDir;
using testsupport::WriteWholeFile;

// ImageMagick's own programs (a "convert" earlier on the path may be
// something else).
inline const std::string kConvert = "/usr/bin/convert";
inline const std::string kCompare = "/usr/bin/compare";

// Fails the calling test with a clear message when a peer program is missing.
inline ::testing::AssertionResult HavePeer(const std::string& program, const std::string& package) {
  if (system(("test -x " + program + " || command -v " + program + " >/dev/null 2>&1").c_str()) == 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << program << " (Debian package " << package
                                       << ") is needed for this test: run scripts/setup.sh";
}

// The screen pictures land on: 80 x 25 cells of 8 x 16 pixels.
struct TScreenRig {
  TBitmapFont Font{8, 16};
  TTerminalBuffer Buffer{80, 25};
  TFontRenderer Renderer{&Font};
  static constexpr int CellW = 8, CellH = 16;

  const TImageSprite* Only() const { return Renderer.Sprites().size() == 1 ? &Renderer.Sprites()[0] : nullptr; }
};

// Runs a byte filter over Bytes and returns what it handed on.
template <typename TFilter>
std::string Feed(TFilter& filter, const std::string& bytes) {
  std::vector<uint8_t> out;
  for (char c : bytes) filter.ProcessByte(uint8_t(c), out);
  return std::string(out.begin(), out.end());
}

// The call's road: Bytes arrive in chunks of ChunkSize; in each, the run
// PlainRun counts is handed on whole and the byte after it goes through
// ProcessByte.
template <class TFilter>
std::string FeedByRuns(TFilter& filter, const std::string& bytes, size_t chunkSize) {
  std::string text;
  std::vector<uint8_t> out;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t start = 0; start < bytes.size(); start += chunkSize) {
    const size_t end = std::min(bytes.size(), start + chunkSize);
    for (size_t i = start; i < end;) {
      if (const size_t run = filter.PlainRun(data + i, end - i)) {
        text.append(bytes, i, run);
        i += run;
        continue;
      }
      out.clear();
      filter.ProcessByte(data[i++], out);
      text.append(out.begin(), out.end());
    }
  }
  return text;
}

// The debug log of one test, in a scratch file.
class TLogCapture {
 public:
  TLogCapture() {
    LogEnabled = true;
    LogOpen(FDir.File("debug.log"));
  }
  ~TLogCapture() {
    LogClose();
    LogEnabled = false;
  }
  std::string Text() {
    LogFlushPending();
    return ReadWholeFile(FDir.File("debug.log"));
  }
  bool Has(const std::string& line) { return Text().find(line) != std::string::npos; }

 private:
  TempDir FDir;
};

// A sprite as a P6 file; pixels it does not draw get Background.
inline std::string SpriteAsPpm(const TImageSprite& s, TColorRGB background = {0, 0, 0}) {
  std::string ppm = "P6\n" + std::to_string(s.W) + " " + std::to_string(s.H) + "\n255\n";
  for (size_t i = 0; i < s.Pixels.size(); ++i) {
    const TColorRGB c = s.Mask[i] ? s.Pixels[i] : background;
    ppm.push_back(char(c.R));
    ppm.push_back(char(c.G));
    ppm.push_back(char(c.B));
  }
  return ppm;
}

// ImageMagick's count of differing pixels between two files ("AE"), or the
// text it printed when it could not compare them.
// Fuzz is the colour distance under which two pixels count as equal.
inline std::string DifferingPixels(const std::string& a, const std::string& b, const std::string& fuzz = "0") {
  std::string out = CommandOutput(kCompare + " -metric AE -fuzz " + fuzz + " '" + a + "' '" + b + "' null: 2>&1");
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// Makes a picture with ImageMagick: Args come before the output file name.
inline bool Magick(const std::string& args, const std::string& outFile) {
  return system((kConvert + " " + args + " '" + outFile + "' 2>/dev/null").c_str()) == 0;
}

inline std::string Escape() { return std::string(1, '\x1b'); }

}  // namespace imagetest
