#include "app/screens/uEditLine.h"

#include <algorithm>

#include "core/uUtf8Cp437.h"

std::string PastableLine(const std::string& clipboardUtf8) {
  const std::string all = Utf8ToCp437(clipboardUtf8);
  std::string text;
  for (char c : all) {
    if (c == '\t' || c == '\n' || c == '\r') break;
    if (uint8_t(c) >= 32) text += c;
  }
  return text;
}

void TEditLine::Set(const std::string& text) {
  Text = text;
  Caret = int(Text.size());
}

void TEditLine::Insert(const std::string& text) {
  Caret = std::clamp(Caret, 0, int(Text.size()));
  Text.insert(size_t(Caret), text);
  Caret += int(text.size());
}

void TEditLine::Backspace() {
  Caret = std::clamp(Caret, 0, int(Text.size()));
  if (Caret > 0) Text.erase(size_t(--Caret), 1);
}

void TEditLine::Delete() {
  if (Caret >= 0 && Caret < int(Text.size())) Text.erase(size_t(Caret), 1);
}

bool TEditLine::Left() {
  if (Caret <= 0) return false;
  --Caret;
  return true;
}

bool TEditLine::Right() {
  if (Caret >= int(Text.size())) return false;
  ++Caret;
  return true;
}
