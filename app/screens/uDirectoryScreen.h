// The dialing directory: the framed list of the active phonebook with its
// banner, column header, selection bar, colour families by terminal type
// and the status footer, with the board-list update question or the backup
// reminder over it; its keys and mouse rows. The selection survives while
// other screens are shown.
#pragma once
#include <memory>

#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"

// The status line of the dialing directory.
extern const char* const kDirectoryStatus;

class TDirectoryScreen : public TScreen {
 public:
  explicit TDirectoryScreen(TScreenServices& services) : FServices(services) {}

  TScreenMode Mode() const override { return smDirectory; }
  void Paint(TScreenFrame& frame) override;
  bool Key(const TKeyEvent& key) override;
  bool Mouse(const TMouseEvent& mouse) override;

  // Index of the selected entry in the active phonebook; -1 when the list
  // is empty.
  int Selected() const { return FIndex; }
  void Select(int index) { FIndex = index; }
  // Index of the entry shown on the first list line of the last paint.
  int TopIndex() const { return FTop; }
  // The entry shown on a grid row of the last paint; Index -1 and false on
  // a row that shows none.
  bool RowAt(int cellRow, int& index) const;
  // Keeps the selection inside a list of Count entries (0 when empty).
  void ClampSelection(int count);

 private:
  bool SelectionKey(const TKeyEvent& key);
  void OpenEditor(const std::shared_ptr<TPhonebookEntry>& entry);
  void MoveEntry(int delta);

  TScreenServices& FServices;
  int FIndex = 0;
  int FTop = 0;
  int FListRow = 5;
  int FListRows = 0;
};
