// The phonebook entry editor: one entry of the active phonebook as 24
// labelled rows in the CONNECTION, DISPLAY & LOGIN and SECURITY groups. One
// row is current; its value is edited in a line with a caret and written
// back into the entry (committed) whenever the row is left. Text rows take
// characters, Yes/No rows toggle, value rows step through fixed lists. A
// help line explains the current row and warns when the entry cannot
// connect. Leaving saves the active phonebook and shows the directory.
#pragma once
#include <array>
#include <memory>
#include <string>

#include "app/screens/uEditLine.h"
#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"
#include "data/uDateTime.h"

class TPhonebookEntry;

// Rows of the entry editor, in screen order.
enum TEditField : int32_t {
  efName, efHost, efPort, efTermType, efScreenSize, efFontName, efUseSixel, efUseITerm2Images, efIceColors,
  efUseUTF8, efUseIEMSI, efSimBaud, efUsername, efPassword, efScript, efProtocol, efSSHKeyFile, efSSHTrustNewKey,
  efTlsTrustNewCert, efTlsClientCertFile, efTlsClientKeyFile, efRLoginClientUser, efRLoginServerUser, efShellCommand
};
constexpr int kEditFieldCount = 24;

// The editor's status line.
extern const char* const kEditorStatus;

class TEntryEditorScreen : public TScreen {
 public:
  TEntryEditorScreen(TScreenServices& services, std::shared_ptr<TPhonebookEntry> entry);

  TScreenMode Mode() const override { return smEditor; }
  void Enter() override;
  void Paint(TScreenFrame& frame) override;
  bool Key(const TKeyEvent& key) override;
  bool Char(uint8_t ch, uint32_t codePoint) override;
  bool Mouse(const TMouseEvent& mouse) override;

  const std::shared_ptr<TPhonebookEntry>& Entry() const { return FEntry; }
  int Field() const { return FField; }
  const TEditLine& Line() const { return FLine; }
  // Makes Field current with its value from the entry (caret at the end).
  void BeginEditField(int field);
  // Writes the edit line into the entry field of the current row.
  void CommitEditField();
  // Leaves as Esc does: the line being edited goes into the entry, the edit
  // is ended, the phonebook saved and the directory shown.
  void CommitAndLeave();
  // The display text of a row from the entry.
  static std::string EditFieldText(const TPhonebookEntry& entry, int field);
  // Where the last paint put a row: its screen row, label column and the
  // last column of its value.
  struct TRowPlace {
    int Y = -1, X0 = -1, X1 = -1;
  };
  const TRowPlace& RowPlace(int field) const { return FPlaces[size_t(field)]; }

  static bool IsToggleEditField(int field);

 private:
  // The entry is still in the active phonebook; when not, the editor gives
  // way to the directory.
  bool EntryStillListed();
  void MoveEditField(int delta, bool leaveAfterLast);
  void ClickField(int field);
  void LeaveEditor();
  void Paste();

  TScreenServices& FServices;
  std::shared_ptr<TPhonebookEntry> FEntry;
  bool FOpened = false;
  int FField = efName;
  TEditLine FLine;
  bool FPasswordVisible = false;
  std::array<TRowPlace, kEditFieldCount> FPlaces{};
};

// "Never", "just now", "5 min ago", "3 hr ago", "1 day ago", "4 days ago".
std::string LastCallAgeText(TDateTime lastConnected);
// A font file stem as the user reads it.
std::string FontDisplayName(const std::string& stem);
