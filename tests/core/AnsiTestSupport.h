// A buffer with a parser on it that records every event, for the tests of
// the ANSI-BBS emulation.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "core/uAnsiParser.h"
#include "core/uTerminalBuffer.h"

// Control characters as string pieces, to be joined with literal text
// (ESC "[2J"): the names keep bare hex out of the tables.
#define ESC "\x1b"
#define BEL "\x07"
#define SO "\x0e"
#define SI "\x0f"

struct TAnsiTerm {
  TTerminalBuffer Buf;
  TAnsiParser Parser;
  std::string Replies;
  std::vector<std::string> Music;
  std::vector<std::string> Apc;
  std::vector<std::pair<int, int>> Resizes;
  std::vector<std::pair<int, int>> Fonts;

  explicit TAnsiTerm(int W = 80, int H = 25) : Buf(W, H), Parser(&Buf) {
    Parser.OnSendReply = [this](const std::string& s) { Replies += s; };
    Parser.OnPlayMusic = [this](const std::string& s) { Music.push_back(s); };
    Parser.OnApc = [this](const std::string& s) { Apc.push_back(s); };
    Parser.OnResize = [this](int rows, int cols) { Resizes.emplace_back(rows, cols); };
    Parser.OnFontSelect = [this](int slot, int id) { Fonts.emplace_back(slot, id); };
  }
  void Feed(const std::string& bytes) {
    Parser.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  // Byte by byte through ProcessChar, the way the other filters hand bytes on.
  void FeedBytes(const std::string& bytes) {
    for (unsigned char b : bytes) Parser.ProcessChar(b);
  }
  // A live row's text without trailing blanks.
  std::string Row(int r) const {
    std::string t = Buf.GetRowText(r);
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
  }
  // Every row, trailing blank rows dropped.
  std::vector<std::string> Screen() const {
    std::vector<std::string> rows;
    for (int r = 0; r < Buf.FHeight; ++r) rows.push_back(Row(r));
    while (!rows.empty() && rows.back().empty()) rows.pop_back();
    return rows;
  }
};
