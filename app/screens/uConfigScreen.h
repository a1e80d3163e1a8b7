// The configuration screen: the program settings as 43 rows on four pages
// (general settings, the F1-F10 macros, the external door programs, the
// script hotkeys). One row is current; its value is edited in a line with a
// caret and stored into the settings when the row is left. The file is
// written only when the screen is left with Esc or Enter past the last row;
// a save that fails keeps the screen open and says why.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "app/screens/uEditLine.h"
#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"

class TAppConfig;

// Rows of the configuration, in walking order: page 1 holds rows 0 to 12,
// page 2 rows 13 to 22, page 3 rows 23 to 32, page 4 rows 33 to 42.
enum TConfigField : int32_t {
  cfTermType, cfScreenScale, cfDownloadDir, cfUploadDir, cfCaptureDir, cfGuideArchiveName, cfAnsiMusic,
  cfAtasciiLenientCRLF, cfPetsciiLenientLetters, cfAsciiLineDelay, cfFKeyMacrosLink, cfExternalDoorsLink,
  cfScriptKeysLink,
  cfFKey1, cfFKey10 = cfFKey1 + 9,
  cfExtDoorWorkDir, cfExtDoorComPort,
  cfExtDoorCmd1, cfExtDoorCmd8 = cfExtDoorCmd1 + 7,
  cfScriptKey1, cfScriptKey10 = cfScriptKey1 + 9
};
constexpr int kConfigFieldCount = 43;

// The configuration's status line.
extern const char* const kConfigStatus;

bool IsToggleConfigField(int field);
bool IsFKeyField(int field);
bool IsDoorField(int field);
bool IsScriptKeyField(int field);
// The page (1 to 4) that shows Field.
int ConfigPageOf(int field);

class TConfigScreen : public TScreen {
 public:
  explicit TConfigScreen(TScreenServices& services) : FServices(services) {}

  TScreenMode Mode() const override { return smConfig; }
  void Enter() override;
  void Paint(TScreenFrame& frame) override;
  bool Key(const TKeyEvent& key) override;
  bool Char(uint8_t ch, uint32_t codePoint) override;
  bool Mouse(const TMouseEvent& mouse) override;

  int Field() const { return FField; }
  const TEditLine& Line() const { return FLine; }
  // The value text of a row from the settings.
  static std::string ConfigFieldText(const TAppConfig& config, int field);
  // Makes Field current with its value from the settings (caret at the end).
  void SelectConfigField(int field);
  // Stores the edit line into the setting of the current row.
  void CommitConfigField();
  // Up, Down (Enter false) and Enter: Enter on a link row opens its page,
  // Enter past the last row saves.
  void MoveConfigField(int delta, bool isEnter);
  // Page Down (Forward) and Page Up: the first row of the next page.
  void ChangeConfigPage(bool forward);
  // Commits, writes the settings file, re-applies the folders and closes;
  // when the file cannot be written the screen stays and says why.
  void SaveSettings();

  // Where the last paint put a row: its screen row (-1 when the page shown
  // does not draw it) and the columns the mouse finds it in.
  struct TRowPlace {
    int Y = -1, X0 = -1, X1 = -1;
  };
  const TRowPlace& RowPlace(int field) const { return FPlaces[size_t(field)]; }

 private:
  void ClickField(int field);
  void Flip();
  void Paste();
  void PaintPageOne(TScreenFrame& frame);
  void PaintList(TScreenFrame& frame, int page);
  // One labelled row; Shown is the value text, Placeholder true when it
  // stands for an empty value.
  void DrawRow(TScreenFrame& frame, int field, const std::string& label, int lx, int lw, int vx, int vw, int y,
               const std::string& shown, bool placeholder);
  void DrawHelp(TCellGrid& grid, const std::string& help, int firstRow);

  TScreenServices& FServices;
  bool FOpened = false;
  int FField = cfTermType;
  TEditLine FLine;
  std::array<TRowPlace, kConfigFieldCount> FPlaces{};
};
