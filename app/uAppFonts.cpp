// The terminal font's loading and its keys.
#include "app/uAppFonts.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>

#include "app/call/uCall.h"
#include "app/screens/uEntryEditor.h"
#include "app/uApp.h"
#include "app/uAppReader.h"
#include "app/uScreenText.h"
#include "app/uTermTypePresets.h"
#include "core/uBuiltinGlyphs.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/AppFolder.h"
#include "platform/FindFile.h"

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void TAppFonts::LoadFontForEntry(const TPhonebookEntry& entry) {
  std::string name = entry.FontName;
  if (Upper(name) == "CP437_8X16") name = "IBM_VGA_8x16";
  std::string path = platform::AppFolder() + "fonts/" + name + ".F16";
  LogLine("Font: LoadFontForEntry -> " + path);
  if (IsFile(path) && A.FMainFont->LoadFromFile(path)) {
    A.FRenderer->Invalidate();
    A.FDefaultFontLoaded = Upper(name) == "IBM_VGA_8X16";
    A.FStdFontLoaded = A.FDefaultFontLoaded;
  } else {
    LogLine("Font: LoadFontForEntry FAILED - file not found: " + path);
  }
}

void TAppFonts::RestoreDefaultFont() {
  std::string path = platform::AppFolder() + "fonts/IBM_VGA_8x16.F16";
  LogLine("Font: RestoreDefaultFont -> " + path);
  if (IsFile(path) && A.FMainFont->LoadFromFile(path)) {
    A.FRenderer->Invalidate();
    A.FDefaultFontLoaded = true;
    A.FStdFontLoaded = true;
  } else {
    LogLine("Font: RestoreDefaultFont FAILED - file not found: " + path);
  }
}

void TAppFonts::LoadAtariFont() {
  std::string path = platform::AppFolder() + "fonts/ATASCII_8x16.F16";
  LogLine("Font: LoadAtariFont -> " + path);
  if (IsFile(path) && A.FMainFont->LoadFromFile(path)) {
    A.FRenderer->Invalidate();
    A.FStdFontLoaded = false;
  } else {
    LogLine("Font: LoadAtariFont FAILED - file not found: " + path);
  }
}

void TAppFonts::ChooseFontForRows(int rows) {
  char line[64];
  if (rows >= 40) {
    if (A.FMainFont->Height() != 8) {
      std::snprintf(line, sizeof line, "Font: %d rows - switching to 8x8", rows);
      LogLine(line);
      A.FMainFont->LoadFromMemory(8, 8, kVga8x8Glyphs, 2048);
      A.FStdFontLoaded = true;
      A.FRenderer->Invalidate();
    }
  } else if (!A.FMainFont->IsBaseSize()) {
    std::snprintf(line, sizeof line, "Font: %d rows - back to the entry font", rows);
    LogLine(line);
    if (A.FCall->Entry()) LoadFontForEntry(*A.FCall->Entry());
    if (!A.FMainFont->IsBaseSize()) RestoreDefaultFont();
  }
}

void TAppFonts::PickFont() {
  // The fonts folder is read on the first F12; the standard font comes first.
  const std::vector<std::string>& fonts = A.FontList();
  if (fonts.empty()) {
    A.FStatus = "No .F16 fonts found in fonts/";
    return;
  }
  FFontIndex = (FFontIndex + 1) % int(fonts.size());
  const std::string& stem = fonts[size_t(FFontIndex)];
  const std::string path = platform::FindFileNoCase(platform::AppFolder() + "fonts/" + stem + ".F16");
  if (!path.empty() && A.FMainFont->LoadFromFile(path)) {
    A.FStatus = "Font: " + TruncateWithDots(FontDisplayName(stem), 50);
    A.FDefaultFontLoaded = SameTextNoCase(stem, DefaultFontStem);
    A.FStdFontLoaded = A.FDefaultFontLoaded;
    A.FRenderer->Invalidate();
  } else {
    // The glyphs shown stay as they were.
    const std::string name = path.empty() ? stem + ".F16" : path.substr(path.find_last_of('/') + 1);
    A.FStatus = "Failed to load font: " + TruncateWithDots(name, 40);
  }
  A.FBuffer->Dirty = true;
  A.Invalidate();
}

void TAppFonts::ToggleSharpFont() {
  A.FConfig->UpscaledFont = !A.FConfig->UpscaledFont;
  A.FRenderer->SetUpscaledFont(A.FConfig->UpscaledFont);
  A.FRenderer->Invalidate();
  A.FConfig->Save();
  if (!A.FConfig->UpscaledFont)
    A.FStatus = "Font: NORMAL 8x16 (Shift+F12 to toggle)";
  else if (A.FMainFont->Has2x())
    A.FStatus = "Font: SHARP 16x32 upscaled (Shift+F12 to toggle)";
  else
    A.FStatus = "Font: SHARP - this font has no 16x32 version (Shift+F12)";
  if (A.FReader->On()) A.FReader->Speak(A.FStatus, true);
  A.FBuffer->Dirty = true;
  A.Invalidate();
}
