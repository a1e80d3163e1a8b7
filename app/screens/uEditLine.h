// One line of editable text with its caret, as the entry editor's fields
// keep it (and the configuration page and the one-line prompts after it):
// insert at the caret, delete either side of it, move it.
#pragma once
#include <string>

// The first line of the clipboard's text (UTF-8) as CP437 characters, the
// way a paste enters an edit line: up to the first Tab, LF or CR, other
// control characters dropped.
std::string PastableLine(const std::string& clipboardUtf8);

struct TEditLine {
  std::string Text;
  int Caret = 0;  // 0..length

  // New text with the caret at its end.
  void Set(const std::string& text);
  // Characters at the caret, which moves past them.
  void Insert(const std::string& text);
  // The character before the caret (caret one left) / at the caret.
  void Backspace();
  void Delete();
  // False when the caret is already at that end.
  bool Left();
  bool Right();
  void Home() { Caret = 0; }
  void End() { Caret = int(Text.size()); }
};
