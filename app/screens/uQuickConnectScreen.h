// The quick-connect screen: the boards of a list file named on the command
// line, each a name, host and port, with a selected row that the list
// scrolls to keep in view; Enter calls it, Esc goes to the directory.
// Reading the list file is here too.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"

struct TQuickListRow {
  std::string Name, Host;
  int32_t Port = 23;
};

// The usable rows of a list file: one per section with a host (S=), at most
// 99; a port (P=) outside 1-65535 reads as 23. Empty when the file cannot
// be read.
std::vector<TQuickListRow> LoadQuickConnectList(const std::string& fileName);

class TQuickConnectScreen : public TScreen {
 public:
  TQuickConnectScreen(TScreenServices& services, std::string fileName, std::vector<TQuickListRow> rows)
      : FServices(services), FFileName(std::move(fileName)), FRows(std::move(rows)) {}

  TScreenMode Mode() const override { return smQuickConnect; }
  void Paint(TScreenFrame& frame) override;
  bool Key(const TKeyEvent& key) override;
  // Digits select the row of the number typed (up to two digits).
  bool Char(uint8_t ch, uint32_t codePoint) override;

  const std::vector<TQuickListRow>& Rows() const { return FRows; }
  int Selected() const { return FIndex; }
  // Calls the board of a row as an 80 x 25 ANSI-BBS entry.
  void ConnectRow(int index);

 private:
  TScreenServices& FServices;
  std::string FFileName;
  std::vector<TQuickListRow> FRows;
  int FIndex = 0;
  int FTop = 0;  // the first row shown
  int FTyped = 0;  // the row number typed so far, 0 for none
};
