// The terminal font: the entry's font when a call starts, the standard font
// and the Atari one, the 8x8 font for tall screens, and the F12 and
// Shift+F12 keys that step through the fonts folder and switch the sharp
// upscaled glyphs. The font and the renderer themselves are the
// application's.
#pragma once

class TApplication;
class TPhonebookEntry;

class TAppFonts {
 public:
  explicit TAppFonts(TApplication& app) : A(app) {}
  TAppFonts(const TAppFonts&) = delete;
  TAppFonts& operator=(const TAppFonts&) = delete;

  void LoadFontForEntry(const TPhonebookEntry& entry);
  void RestoreDefaultFont();
  void LoadAtariFont();
  // 40 rows or more take the 8x8 font; fewer, the entry's font again.
  void ChooseFontForRows(int rows);
  // F12: the next font of the fonts folder.
  void PickFont();
  // Shift+F12: the sharp upscaled glyphs on or off.
  void ToggleSharpFont();

 private:
  TApplication& A;
  int FFontIndex = -1;  // the font F12 chose last
};
