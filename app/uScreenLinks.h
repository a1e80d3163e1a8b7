// Links on the screen: http and https addresses in the displayed text, as
// the pointer finds them to highlight and open.
#pragma once
#include <string>

class TTerminalBuffer;

struct TLinkSpan {
  std::string Url;
  int Start = 0, End = 0;  // first and last character, both included
};

// The first link in Text at or after From: where "http://" or "https://"
// (lower case) begins, over the characters 33..126 that follow (so trailing
// punctuation belongs to it). False when there is none.
bool FindUrlInText(const std::string& text, size_t from, TLinkSpan& link);

// The link covering a cell of the displayed rows (the scrollback view
// applied); the row's links are found one after another until one covers
// the column.
bool UrlAtCell(const TTerminalBuffer& buffer, int row, int col, TLinkSpan& link);

// The first http:// link on the screen: rows from the top, only the first
// link of each row looked at, https links never chosen (the automatic start
// of an audio stream takes it). Empty when there is none.
std::string FirstUrlOnScreen(const TTerminalBuffer& buffer);
