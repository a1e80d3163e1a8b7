// One program screen: the dialing directory, the entry editor, the splash,
// the quick-connect list and every later screen that fills the window. A
// screen owns its own state, paints its picture into a cell grid (and its
// boxes into the popup layer over it), takes the keys, typed characters,
// mouse events and timer ticks that reach it, and sees the application only
// through TScreenServices. A new screen is a new unit here; nothing else
// grows a branch for it.
#pragma once
#include <cstdint>

#include "app/screens/uCellGrid.h"
#include "app/screens/uPopupLayer.h"
#include "platform/Surface.h"

// The screen numbers the rest of the program (logs, the hotkey table's
// "where" column) knows the screens by.
enum TScreenMode : int32_t {
  smDirectory = 0, smOnline = 1, smEditor = 2, smConfig = 3, smHelp = 4,
  smAbout = 5, smSplash = 6, smFilePicker = 7, smQuickConnect = 8
};

// A key-down as the key dispatcher received it.
struct TKeyEvent {
  uint16_t Key = 0;  // virtual-key code (platform/Keys.h)
  bool Shift = false, Ctrl = false, Alt = false;
  uint16_t ScanCode = 0;
};

enum class TMouseKind { Down, DoubleClick, Up, Move, Wheel };

// Mouse buttons, as the window numbers them.
namespace button {
constexpr int Left = 1, Right = 2, Middle = 4;
}

// A mouse event in window pixels, with the grid cell under the pointer. On
// the black bars around the painted grid OnCell is false and Col, Row are
// the nearest cell.
struct TMouseEvent {
  TMouseKind Kind = TMouseKind::Down;
  int Button = 0;  // Down, DoubleClick, Up: button::Left, Right or Middle
  int X = 0, Y = 0;
  bool OnCell = false;
  int Col = -1, Row = -1;
  bool WheelUp = false;  // Wheel: towards the user's screen top
  bool Shift = false, Ctrl = false, Alt = false;  // held when the event happened
};

// What a screen paints into for one frame: its grid, already blank and black
// and the size of the call's screen; the popup layer drawn over the rendered
// grid; a caret; and the window surface for a screen that draws pixels.
class TScreenFrame {
 public:
  TScreenFrame(TTerminalBuffer& grid, TPopupLayer& popups, platform::Surface& target, bool standardFont)
      : FGrid(grid), FPopups(popups), FTarget(target), FStandardFont(standardFont) {}

  TCellGrid& Grid() { return FGrid; }
  TPopupLayer& Popups() { return FPopups; }
  platform::Surface& Target() { return FTarget; }
  // The standard CP437 font is loaded; popups switch to plain ASCII frames
  // while another font is.
  bool StandardFont() const { return FStandardFont; }

  // A text cursor drawn over the rendered grid in Colour.
  void ShowCaret(int col, int row, TColorRGB colour) {
    FCaret = true;
    FCaretCol = col;
    FCaretRow = row;
    FCaretColour = colour;
  }
  bool HasCaret() const { return FCaret; }
  // The screen drew its popup layer into its own picture: the layer is not
  // drawn over it again.
  void SetPopupsComposed() { FPopupsComposed = true; }
  bool PopupsComposed() const { return FPopupsComposed; }
  int CaretCol() const { return FCaretCol; }
  int CaretRow() const { return FCaretRow; }
  TColorRGB CaretColour() const { return FCaretColour; }

 private:
  TCellGrid FGrid;
  TPopupLayer& FPopups;
  platform::Surface& FTarget;
  bool FStandardFont;
  bool FCaret = false;
  bool FPopupsComposed = false;
  int FCaretCol = 0, FCaretRow = 0;
  TColorRGB FCaretColour{255, 255, 255};
};

class TScreen {
 public:
  virtual ~TScreen() = default;

  virtual TScreenMode Mode() const = 0;
  // The screen is shown, or another one replaces it.
  virtual void Enter() {}
  virtual void Leave() {}

  // False for a screen that shows the call's own buffer rather than a
  // picture composed in its grid.
  virtual bool ComposesPicture() const { return true; }
  virtual void Paint(TScreenFrame& frame) = 0;

  // Offered every key before the prompts and hotkeys; true when taken (the
  // splash takes every key).
  virtual bool KeyFirst(const TKeyEvent&) { return false; }
  // The keys that no prompt, hotkey or function-key command took; true when
  // taken. Only the screen the key arrived on sees it.
  virtual bool Key(const TKeyEvent&) { return false; }
  // A typed character (CP437), with the Unicode character when known.
  virtual bool Char(uint8_t, uint32_t) { return false; }
  virtual bool Mouse(const TMouseEvent&) { return false; }
  // The timer the screen asked for (TScreenServices::SetScreenTimer) fell due.
  virtual void Tick() {}
};
