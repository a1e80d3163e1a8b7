// Table runner shared by the text-emulation tests: each row feeds one or more
// byte chunks (a split write has two) into a fresh buffer and emulation, then
// checks cells, row texts and the cursor.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/uTerminalBuffer.h"
#include "core/uTextEmulation.h"

// The tables name only the fields a row checks.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace emutest {

// A byte string from numbers, so control codes read as cc:: names.
inline std::string Bytes(std::initializer_list<int> Values) {
  std::string s;
  for (int v : Values) s.push_back(char(uint8_t(v)));
  return s;
}

inline std::string Times(int N, const std::string& Piece) {
  std::string s;
  for (int i = 0; i < N; ++i) s += Piece;
  return s;
}

// The raw cell characters of a live row, trailing blanks cut.
inline std::string RawRow(const TTerminalBuffer& B, int Row) {
  std::string s;
  for (int c = 0; c < B.FWidth; ++c) s.push_back(char(B.GetCell(c, Row).Ch));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

inline void FeedAll(TTextEmulation& E, const std::string& Data) {
  for (char ch : Data) E.Feed(uint8_t(ch));
}

struct TCellCheck {
  int Col = 0;
  int Row = 0;
  int Ch = -1;  // -1: not checked
  std::optional<TColorRGB> Fg;
  std::optional<TColorRGB> Bg;
  std::optional<bool> Blink;
  std::optional<bool> Reverse;
};

struct TEmulationCase {
  std::string Name;
  std::vector<std::string> Feeds;
  std::vector<TCellCheck> Cells;
  std::vector<std::pair<int, std::string>> Rows;  // row number, RawRow text
  int CursorX = -1;  // -1: not checked
  int CursorY = -1;
  int Flags = 0;  // per-emulation options, read by the factory
  std::optional<bool> CursorVisible;
};

using TEmulationFactory =
    std::function<std::unique_ptr<TTextEmulation>(TTerminalBuffer&, const TEmulationCase&)>;

inline std::string Hex(TColorRGB C) {
  char s[8];
  snprintf(s, sizeof s, "%02X%02X%02X", C.R, C.G, C.B);
  return s;
}

inline void CheckCase(const TTerminalBuffer& B, const TEmulationCase& C) {
  for (const TCellCheck& k : C.Cells) {
    const TCell cell = B.GetCell(k.Col, k.Row);
    const std::string at = " at " + std::to_string(k.Col) + "," + std::to_string(k.Row);
    if (k.Ch >= 0) {
      EXPECT_EQ(int(cell.Ch), k.Ch) << "character" << at;
    }
    if (k.Fg) {
      EXPECT_EQ(Hex(cell.Fg), Hex(*k.Fg)) << "foreground" << at;
    }
    if (k.Bg) {
      EXPECT_EQ(Hex(cell.Bg), Hex(*k.Bg)) << "background" << at;
    }
    if (k.Blink) {
      EXPECT_EQ(cell.Blink, *k.Blink) << "blink" << at;
    }
    if (k.Reverse) {
      EXPECT_EQ(cell.Reverse, *k.Reverse) << "reverse" << at;
    }
  }
  for (const auto& [row, text] : C.Rows) EXPECT_EQ(RawRow(B, row), text) << "row " << row;
  if (C.CursorX >= 0) {
    EXPECT_EQ(B.CursorX, C.CursorX) << "cursor column";
  }
  if (C.CursorVisible) {
    EXPECT_EQ(B.CursorVisible, *C.CursorVisible) << "cursor visibility";
  }
  if (C.CursorY >= 0) {
    EXPECT_EQ(B.CursorY, C.CursorY) << "cursor row";
  }
}

inline void RunCases(int Width, int Height, const std::vector<TEmulationCase>& Cases,
                     const TEmulationFactory& Make) {
  for (const TEmulationCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    TTerminalBuffer buffer(Width, Height);
    std::unique_ptr<TTextEmulation> emulation = Make(buffer, c);
    for (const std::string& chunk : c.Feeds) FeedAll(*emulation, chunk);
    CheckCase(buffer, c);
  }
}

}  // namespace emutest
