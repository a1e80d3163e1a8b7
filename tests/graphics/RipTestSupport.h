// Shared pieces of the RIPscrip and SkyPix tests: a canvas with its parser,
// feeding helpers that collect what goes on to the text emulation, and pixel
// probes by palette index.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/uRipParser.h"
#include "tests/support/RipBytes.h"

#define ESC "\x1b"

// A pixel expected on the canvas: its palette index, or kUndrawn for a pixel
// no graphics command touched.
struct Probe {
  int X, Y, Index;
};
constexpr int kUndrawn = -1;

struct RipRig {
  TRipCanvas Canvas;
  TRipParser Parser{&Canvas};
  std::vector<std::string> Replies;

  RipRig() {
    Parser.OnReply = [this](const std::string& s) { Replies.push_back(s); };
  }
  // Every byte through the parser; returns what reached the text side.
  std::string Feed(const std::string& bytes) {
    std::vector<uint8_t> out;
    for (unsigned char c : bytes) Parser.Feed(c, out);
    return std::string(out.begin(), out.end());
  }
  int Pixel(int x, int y) const {
    return Canvas.DrawnAt(x, y) ? Canvas.IndexAt(x, y) : kUndrawn;
  }
};

inline std::string ProbeText(const Probe& p) {
  return "(" + std::to_string(p.X) + "," + std::to_string(p.Y) + ")";
}

inline void ExpectProbes(const RipRig& rig, const std::vector<Probe>& probes) {
  for (const Probe& p : probes) EXPECT_EQ(rig.Pixel(p.X, p.Y), p.Index) << "at " << ProbeText(p);
}

struct RowName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (char c : std::string(info.param.Name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
  }
};
