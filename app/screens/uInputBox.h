// The one-line input box drawn over a finished picture: a bevelled popup
// with a title, an optional hint, a field showing a window of the typed
// text with a reversed caret cell, and a key line. It only draws; the
// screen that owns the text takes the keys. The file picker's
// "JUMP TO FOLDER" box is one; the quick dial box has the same look.
#pragma once
#include <string>

#include "app/screens/uEditLine.h"
#include "app/screens/uPopupLayer.h"

struct TInputBoxLook {
  int Width = 0, Height = 0;  // cells, frame included
  std::string Title;          // centred on box row 1
  std::string Hint;           // box row 2 from inner column 1; none when empty
  int InputRow = 0;           // box row of the field
  int FieldCells = 0;         // field cells from inner column 1
  int Window = 0;             // characters of the text shown at once
  std::string Keys;           // centred key line
  int KeysRow = 0;
};

// The file picker's typed-path box.
extern const TInputBoxLook kJumpToFolderBox;
// The online screen's host[:port] box.
extern const TInputBoxLook kQuickDialBox;

// Draws the box centred on the layer with Line's text and caret.
void DrawInputBox(TPopupLayer& layer, const TInputBoxLook& look, const TEditLine& line);
