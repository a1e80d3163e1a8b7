// Text crossing between the screen and the clipboard: the text of a
// selection as the screen shows it, and clipboard text as the bytes a paste
// sends to a board. The screen holds CP437 characters, the clipboard UTF-8.
#pragma once
#include <string>

class TTerminalBuffer;

// A cell of the displayed rows (the scrollback view applied).
struct TCellPoint {
  int Col = 0, Row = 0;
  bool operator==(const TCellPoint&) const = default;
};

// The characters from First to Last in reading order, as other programs
// read them from the clipboard: the first row from First's column, rows
// between whole, the last row up to Last's column; a NUL cell reads as a
// blank, each row loses its trailing blanks, and rows are joined with CR LF.
// Each character is the UTF-8 of the symbol the screen shows for it (box
// lines, shades, and the smileys and arrows of the control bytes).
std::string SelectionText(const TTerminalBuffer& buffer, TCellPoint first, TCellPoint last);

// What a paste sends: every line end (CR LF, a lone CR, a lone LF) becomes
// one CR, as the Enter key sends; the text is CP437, or stays UTF-8 for a
// call in UTF-8 mode.
std::string PasteBytes(const std::string& clipboardUtf8, bool utf8Mode);

// What a paste puts into a one-line answer (a script's input prompt): the
// same bytes as PasteBytes, up to where the first line ends, other control
// characters left out.
std::string PasteLineBytes(const std::string& clipboardUtf8, bool utf8Mode);
