#include "app/uClipboardText.h"

#include <algorithm>

#include "core/uTerminalBuffer.h"
#include "core/uUtf8Cp437.h"

std::string SelectionText(const TTerminalBuffer& buffer, TCellPoint first, TCellPoint last) {
  std::string out;
  const int lastCol = buffer.FWidth - 1;
  for (int row = std::max(first.Row, 0); row <= last.Row && row < buffer.FHeight; ++row) {
    const int from = row == first.Row ? std::max(first.Col, 0) : 0;
    const int to = row == last.Row ? std::min(last.Col, lastCol) : lastCol;
    std::string line;
    for (int col = from; col <= to; ++col) {
      const uint8_t ch = buffer.GetDisplayCell(col, row).Ch;
      line += ch == 0 ? ' ' : char(ch);
    }
    line.erase(line.find_last_not_of(' ') + 1);
    if (row != std::max(first.Row, 0)) out += "\r\n";
    out += Cp437GlyphsToUtf8(line);
  }
  return out;
}

std::string PasteBytes(const std::string& clipboardUtf8, bool utf8Mode) {
  std::string text;
  text.reserve(clipboardUtf8.size());
  for (size_t i = 0; i < clipboardUtf8.size(); ++i) {
    const char c = clipboardUtf8[i];
    if (c == '\r' && i + 1 < clipboardUtf8.size() && clipboardUtf8[i + 1] == '\n') continue;  // the LF ends it
    text += c == '\n' ? '\r' : c;
  }
  return utf8Mode ? text : Utf8ToCp437(text);
}

std::string PasteLineBytes(const std::string& clipboardUtf8, bool utf8Mode) {
  const std::string all = PasteBytes(clipboardUtf8, utf8Mode);
  std::string line;
  for (char c : all) {
    if (c == '\r') break;
    if (uint8_t(c) >= 32) line += c;
  }
  return line;
}
