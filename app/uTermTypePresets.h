// The fixed lists that the entry editor steps through with Left and Right:
// terminal-type presets (with the type each announces to the board), screen
// sizes, simulated line rates and protocols, the wrap-around step, and the
// steppers of the entry editor and the configuration page.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TEditLine;
class TAppConfig;
class TPhonebookEntry;

struct TTermTypePreset {
  const char* Name;
  const char* TType;
  uint16_t Cols;
  uint16_t Rows;
  int32_t RipFlag;
  const char* FontName;
  const char* Description;
};

struct TScreenSize {
  uint16_t Cols, Rows;
};

extern const std::array<TTermTypePreset, 16> TermTypePresets;
extern const std::array<TScreenSize, 12> ScreenSizes;
extern const std::array<int32_t, 21> SimBaudRates;
extern const std::array<const char*, 6> ProtocolNames;
extern const std::array<uint16_t, 4> ProtocolDefaultPorts;

extern const char* const DefaultFontStem;     // "IBM_VGA_8x16"
extern const char* const DefaultTermTypeName; // "ANSI-BBS"

// Index of the preset whose Name equals the text ignoring case, or -1.
int FindTermTypePreset(const std::string& name);
// The preset's announced type, or the text itself.
std::string CanonicalTermTypeOf(const std::string& name);
std::string TermTypeDescription(const std::string& name);
// Index + Delta wrapped into 0..Count-1.
int WrapStep(int index, int delta, int count);
// "Off" for 0 or less, else the rate and " bps".
std::string SimBaudText(int32_t rate);
// "2x" for whole numbers, else one decimal ("1.5x").
std::string ScaleText(double scale);

// Steppers of the entry editor: one step (Delta -1 or +1) through a list
// from the edit line's value; the line gets the new value with the caret at
// its end. Term type, screen size, rate and protocol change the entry at
// once; the font only when the field is committed.
void CycleTermType(TPhonebookEntry& entry, TEditLine& line, int delta);
void CycleEntryScreenSize(TPhonebookEntry& entry, TEditLine& line, int delta);
void CycleSimBaud(TPhonebookEntry& entry, TEditLine& line, int delta);
void CycleProtocol(TPhonebookEntry& entry, TEditLine& line, int delta);
// Nothing when Fonts is empty; a name not in the list gives the first font.
void CycleFont(const std::vector<std::string>& fonts, TEditLine& line, int delta);
// The names of the .F16 files in Folder without extension, sorted without
// regard to case, the standard font first.
std::vector<std::string> FontStemsIn(const std::string& folder);

// Steppers of the configuration page: the default terminal type, and the
// window scale through 1.0 .. 3.0 and full screen (the caller applies the
// new scale to the window).
void CycleDefaultTermType(TEditLine& line, int delta);
void CycleScreenScale(TAppConfig& config, TEditLine& line, int delta);
