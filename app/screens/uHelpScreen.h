// The help screen: the keyboard commands in titled sections laid out in two
// balanced columns inside a double frame, scrolled with the cursor keys when
// the window is too short for them. Any other key, or a click, closes it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"

// The help screen's status line.
extern const char* const kHelpStatus;

struct THelpItem {
  std::string Section, Key, Description;
  int32_t Column = 0;  // 0 or 1, set by the layout
};

// 0 for a blank, "+", "-" and "/"; 1 for the letters A-Z and a-z; 2 for the
// digits; 3 for everything else.
int HelpKeyCharClass(char c);
// Key A sorts before key B: position by position the lower character class
// first, then the lower upper-cased character; a prefix before the longer key.
bool CompareHelpKeys(const std::string& a, const std::string& b);
// The commands in display order: sections as listed, each sorted by key.
std::vector<THelpItem> HelpItems();

class THelpScreen : public TScreen {
 public:
  explicit THelpScreen(TScreenServices& services) : FServices(services) {}

  TScreenMode Mode() const override { return smHelp; }
  void Enter() override;
  void Paint(TScreenFrame& frame) override;
  bool Key(const TKeyEvent& key) override;
  bool Mouse(const TMouseEvent& mouse) override;

  // The first list row shown.
  int Scroll() const { return FScroll; }

 private:
  TScreenServices& FServices;
  bool FOpened = false;
  int FScroll = 0;
  // Set by each paint, for the scroll keys: the rows the taller column
  // needs and the rows that fit.
  int FTotalRows = 0, FVisibleRows = 0;
};
