// A parser on an 80x25 terminal buffer with a clock the test moves, the
// replies and column switches it raised, and the text bytes it passed on.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/uBuiltinGlyphs.h"
#include "core/uTerminalBuffer.h"
#include "graphics/uIGSParser.h"

namespace igstest {

// A 14-row font whose every glyph is its own code in binary on row 0 and a
// full row 13, so a test can see where each glyph row and column lands.
inline const uint8_t* Font8x14() {
  static const std::vector<uint8_t> font = [] {
    std::vector<uint8_t> f(256 * 14, 0);
    for (int ch = 0; ch < 256; ++ch) {
      f[size_t(ch) * 14] = uint8_t(ch);
      f[size_t(ch) * 14 + 13] = 0xFF;
    }
    return f;
  }();
  return font.data();
}

struct TIGSRig {
  TTerminalBuffer Buffer{80, 25};
  TIGSParser Parser{&Buffer};
  uint64_t Now = 100000;
  std::string Replies;
  std::vector<int> Switches;
  std::string Text;  // bytes passed on for the text emulation

  TIGSRig() {
    Parser.Clock = [this] { return Now; };
    Parser.OnReply = [this](const std::string& s) { Replies += s; };
    Parser.OnColumnModeSwitch = [this](int r) { Switches.push_back(r); };
    Parser.FFont8x8 = kVga8x8Glyphs;
    Parser.FFont8x14 = Font8x14();
  }

  void Feed(const std::string& bytes) {
    std::vector<uint8_t> out;
    for (char c : bytes) {
      out.clear();
      Parser.FeedByte(uint8_t(c), out);
      Text.append(out.begin(), out.end());
    }
  }
  // Replays until the parser has nothing left that can run now.
  void Replay() {
    std::vector<uint8_t> out;
    for (int guard = 0; guard < 100000 && Parser.ProcessQueued(out); ++guard) {
    }
    Text.append(out.begin(), out.end());
  }
  int Pixel(int x, int y) const { return Parser.Canvas().PixelAt(x, y); }
};

}  // namespace igstest
