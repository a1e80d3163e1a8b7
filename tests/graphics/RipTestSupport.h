// Shared pieces of the RIPscrip and SkyPix tests: a canvas with its parser,
// feeding helpers that collect what goes on to the text emulation, and pixel
// probes by palette index.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/uRipParser.h"

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

// A MegaNum of Digits base-36 digits.
inline std::string Mega(int value, int digits = 2) {
  std::string s(size_t(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value /= 36) s[size_t(i)] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[value % 36];
  return s;
}

struct RowName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (char c : std::string(info.param.Name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
  }
};
