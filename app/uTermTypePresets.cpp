#include "app/uTermTypePresets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/screens/uEditLine.h"
#include "app/uScreenText.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"

const char* const DefaultFontStem = "IBM_VGA_8x16";
const char* const DefaultTermTypeName = "ANSI-BBS";

const std::array<TTermTypePreset, 16> TermTypePresets = {{
    {"ANSI-BBS", "ANSI-BBS", 80, 25, 0, "IBM_VGA_8x16", "Standard ANSI/CP437 BBS terminal, 80x25"},
    {"Amiga (Topaz)", "ANSI-BBS", 80, 25, 0, "AMIGA_TOPAZ_PLUS_8x16",
     "Plain ANSI-BBS with an Amiga font preloaded - the board still auto-selects its own font live once connected; "
     "this just sets the starting look"},
    {"ASCII (no color)", "ASCII", 80, 25, 0, "IBM_VGA_8x16",
     "Plain 7-bit ASCII, no color, no line-drawing glyphs - a dumb terminal (see uAsciiParser)"},
    {"ATARI", "ATASCII", 40, 24, 0, "IBM_VGA_8x16",
     "Atari 8-bit ATASCII, 40x24 - sends the same 'ATASCII' TTYPE as the option above (see below)"},
    {"Atari ST", "VT52", 80, 25, 0, "IBM_VGA_8x16",
     "Atari ST GEM console (VT52 control codes), 80x25 - plain CP437 text, ESC-prefixed commands instead of ANSI "
     "CSI (see uVT52Parser)"},
    {"Atari ST IGS", "VT52", 80, 25, 0, "IBM_VGA_8x16",
     "Atari ST VT52 text plus IGS (Instant Graphics and Sound) graphics, 80x25 - see uIGSParser"},
    {"ATASCII", "ATASCII", 40, 24, 0, "IBM_VGA_8x16", "Atari 8-bit ATASCII, 40x24 text screen"},
    {"Avatar", "ANSI-BBS", 80, 25, 0, "IBM_VGA_8x16",
     "Avatar (DOS-BBS minimal control-code emulation), 80x25 - sends 'ANSI-BBS' as its TTYPE (no real wire-level "
     "TTYPE convention of its own)"},
    {"BBC Mode 7", "VIEWDATA", 40, 25, 0, "IBM_VGA_8x16",
     "BBC Micro Mode 7 teletext, 40x25 (full screen) - same SAA5050 codes as Viewdata below, sends the same "
     "'VIEWDATA' TTYPE"},
    {"C64", "PETSCII", 40, 25, 0, "IBM_VGA_8x16",
     "Commodore 64 PETSCII, 40-column - sends the same 'PETSCII' TTYPE as the option above (see below)"},
    {"CBM", "PETSCII", 40, 25, 0, "IBM_VGA_8x16",
     "Commodore PETSCII, 40-column - sends the same 'PETSCII' TTYPE as the option above (see below)"},
    {"PETSCII (40 col)", "PETSCII", 40, 25, 0, "IBM_VGA_8x16", "Commodore 64/128 PETSCII, 40-column mode"},
    {"PETSCII (80 col)", "PETSCII", 80, 25, 0, "IBM_VGA_8x16", "Commodore 128 PETSCII, 80-column (VDC) mode"},
    {"RIP", "RIP", 80, 25, 1, "IBM_VGA_8x16", "RIPscrip vector-graphics BBS, 80x25"},
    {"SkyPix", "RIP", 80, 25, 1, "IBM_VGA_8x16",
     "Amiga SkyPix graphics (C-Net/AmiExpress) - rides on RIP, so sends the same 'RIP' TTYPE; SkyPix commands are "
     "auto-detected once connected"},
    {"Viewdata", "VIEWDATA", 40, 24, 0, "IBM_VGA_8x16",
     "UK Prestel-style Viewdata/Videotex, 40x24 - 7-bit alpha/mosaic character set, not CP437/ANSI (see "
     "uViewdataParser)"},
}};

const std::array<TScreenSize, 12> ScreenSizes = {{{80, 25},
                                                  {80, 28},
                                                  {80, 43},
                                                  {80, 50},
                                                  {80, 60},
                                                  {132, 25},
                                                  {132, 28},
                                                  {132, 30},
                                                  {132, 34},
                                                  {132, 43},
                                                  {132, 50},
                                                  {132, 60}}};

const std::array<int32_t, 21> SimBaudRates = {0,     300,   600,   1200,  2400,  4800,  7200,
                                              9600,  12000, 14400, 16800, 19200, 21600, 24000,
                                              26400, 28800, 31200, 33600, 38400, 57600, 115200};

const std::array<const char*, 6> ProtocolNames = {"Telnet", "SSH", "TelnetS", "RLogin", "Raw", "Shell"};
const std::array<uint16_t, 4> ProtocolDefaultPorts = {23, 22, 992, 513};

int FindTermTypePreset(const std::string& name) {
  for (size_t i = 0; i < TermTypePresets.size(); ++i)
    if (SameTextNoCase(name, TermTypePresets[i].Name)) return int(i);
  return -1;
}

std::string CanonicalTermTypeOf(const std::string& name) {
  int i = FindTermTypePreset(name);
  return i < 0 ? name : std::string(TermTypePresets[size_t(i)].TType);
}

std::string TermTypeDescription(const std::string& name) {
  int i = FindTermTypePreset(name);
  return i < 0 ? std::string("Custom/unrecognized terminal type string")
               : std::string(TermTypePresets[size_t(i)].Description);
}

int WrapStep(int index, int delta, int count) {
  index += delta;
  if (index < 0) return count - 1;
  if (index >= count) return 0;
  return index;
}

// A step from a found index, or from just outside the list when the value
// is not in it (Right then gives the first item, Left the last).
static int StepFromFound(int index, int delta, int count) {
  if (index < 0) return delta > 0 ? 0 : count - 1;
  return WrapStep(index, delta, count);
}

std::string SimBaudText(int32_t rate) { return rate <= 0 ? "Off" : std::to_string(rate) + " bps"; }

std::string ScaleText(double scale) {
  if (scale == std::floor(scale)) return std::to_string(int64_t(scale)) + "x";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", scale);
  std::string s = text;
  if (s.size() > 2 && s.substr(s.size() - 2) == ".0") s.resize(s.size() - 2);
  return s + "x";
}

// ---- Steppers of the entry editor.

void CycleTermType(TPhonebookEntry& entry, TEditLine& line, int delta) {
  int i = FindTermTypePreset(line.Text);
  if (i < 0) i = 0;
  const TTermTypePreset& p = TermTypePresets[size_t(WrapStep(i, delta, int(TermTypePresets.size())))];
  line.Set(p.Name);
  entry.Cols = p.Cols;
  entry.Rows = p.Rows;
  entry.UseRIP = p.RipFlag == 1;
  entry.FontName = p.FontName;
}

void CycleEntryScreenSize(TPhonebookEntry& entry, TEditLine& line, int delta) {
  int i = -1;
  for (size_t k = 0; k < ScreenSizes.size(); ++k)
    if (ScreenSizes[k].Cols == entry.Cols && ScreenSizes[k].Rows == entry.Rows) i = int(k);
  i = StepFromFound(i, delta, int(ScreenSizes.size()));
  entry.Cols = ScreenSizes[size_t(i)].Cols;
  entry.Rows = ScreenSizes[size_t(i)].Rows;
  line.Set(std::to_string(entry.Cols) + "x" + std::to_string(entry.Rows));
}

void CycleSimBaud(TPhonebookEntry& entry, TEditLine& line, int delta) {
  auto at = std::find(SimBaudRates.begin(), SimBaudRates.end(), entry.SimBaudRate);
  const int i = StepFromFound(at == SimBaudRates.end() ? -1 : int(at - SimBaudRates.begin()), delta,
                              int(SimBaudRates.size()));
  entry.SimBaudRate = SimBaudRates[size_t(i)];
  line.Set(SimBaudText(entry.SimBaudRate));
}

void CycleProtocol(TPhonebookEntry& entry, TEditLine& line, int delta) {
  int i = 0;
  for (size_t k = 0; k < ProtocolNames.size(); ++k)
    if (SameTextNoCase(line.Text, ProtocolNames[k])) {
      i = int(k);
      break;
    }
  i = WrapStep(i, delta, int(ProtocolNames.size()));
  const bool defaultPort =
      std::find(ProtocolDefaultPorts.begin(), ProtocolDefaultPorts.end(), entry.Port) != ProtocolDefaultPorts.end();
  if (i <= 3 && defaultPort) entry.Port = ProtocolDefaultPorts[size_t(i)];
  entry.UseSSH = i == 1;
  entry.UseTelnetS = i == 2;
  entry.UseRLogin = i == 3;
  entry.UseRaw = i == 4;
  entry.UseShell = i == 5;
  line.Set(ProtocolNames[size_t(i)]);
}

std::vector<std::string> FontStemsIn(const std::string& folder) {
  std::vector<std::string> fonts;
  // "*.F16" matched without regard to case, as font names are everywhere.
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
    if (!item.is_regular_file(ec)) continue;
    const std::string name = item.path().filename().string();
    if (name.size() > 4 && SameTextNoCase(name.substr(name.size() - 4), ".F16"))
      fonts.push_back(name.substr(0, name.size() - 4));
  }
  std::stable_sort(fonts.begin(), fonts.end(),
                   [](const std::string& a, const std::string& b) { return UpperText(a) < UpperText(b); });
  auto vga = std::find_if(fonts.begin(), fonts.end(),
                          [](const std::string& s) { return SameTextNoCase(s, DefaultFontStem); });
  if (vga != fonts.end()) std::rotate(fonts.begin(), vga, vga + 1);
  return fonts;
}

void CycleFont(const std::vector<std::string>& fonts, TEditLine& line, int delta) {
  if (fonts.empty()) return;
  auto at = std::find_if(fonts.begin(), fonts.end(), [&](const std::string& s) { return SameTextNoCase(s, line.Text); });
  int i = at == fonts.end() ? 0 : WrapStep(int(at - fonts.begin()), delta, int(fonts.size()));
  line.Set(fonts[size_t(i)]);
}

// ---- Steppers of the configuration page.

void CycleDefaultTermType(TEditLine& line, int delta) {
  int i = FindTermTypePreset(line.Text);
  if (i < 0) i = 0;
  line.Set(TermTypePresets[size_t(WrapStep(i, delta, int(TermTypePresets.size())))].Name);
}

void CycleScreenScale(TAppConfig& c, TEditLine& line, int delta) {
  if (delta > 0) {
    if (c.ScreenScaleFullScreen) {
      c.ScreenScaleFullScreen = false;
      c.ScreenScale = 1.0;
    } else if (c.ScreenScale >= 3.0) {
      c.ScreenScaleFullScreen = true;
    } else {
      c.ScreenScale += 0.5;
    }
  } else {
    if (c.ScreenScaleFullScreen) {
      c.ScreenScaleFullScreen = false;
      c.ScreenScale = 3.0;
    } else if (c.ScreenScale <= 1.0) {
      c.ScreenScaleFullScreen = true;
    } else {
      c.ScreenScale -= 0.5;
    }
  }
  line.Set(c.ScreenScaleFullScreen ? "Full Screen" : ScaleText(c.ScreenScale));
}
