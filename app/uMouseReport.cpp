#include "app/uMouseReport.h"

#include <algorithm>

int MouseModifierBits(bool shift, bool alt, bool ctrl) {
  return (shift ? mousecode::Shift : 0) + (alt ? mousecode::Alt : 0) + (ctrl ? mousecode::Ctrl : 0);
}

std::string MouseReportBytes(int tracking, bool sgr, int code, int col, int row, bool release) {
  if (tracking == mtX10) code &= ~mousecode::Modifiers;
  if (sgr)
    return "\x1b[<" + std::to_string(code) + ";" + std::to_string(col + 1) + ";" + std::to_string(row + 1) +
           (release ? "m" : "M");
  if (release) code = (code & mousecode::Modifiers) + 3;
  auto byte = [](int v) { return char(std::clamp(v, 0, 255)); };
  std::string out = "\x1b[M";
  out += byte(code + 32);
  out += byte(col + 1 + 32);
  out += byte(row + 1 + 32);
  return out;
}
