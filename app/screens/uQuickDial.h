// The quick dial box: a host and optional port typed on the online screen
// while no call is open (Alt+Q), called at Enter with an entry of its own
// that no phonebook holds. While open it takes every key and character.
#pragma once
#include <cstdint>
#include <string>

#include "app/screens/uEditLine.h"
#include "app/screens/uInputBox.h"
#include "app/screens/uScreenServices.h"

// Host[:port]: the text trimmed; after its last ":" a whole number 1..65535
// is the port and what comes before it the host; anything else there leaves
// the whole text as the host on port 23. False when no host is left.
bool ParseQuickDial(const std::string& text, std::string& host, uint16_t& port);

class TQuickDialBox {
 public:
  static constexpr size_t kMaxLength = 60;

  explicit TQuickDialBox(TScreenServices& services) : FServices(services) {}

  // Opens empty with the caret at 0.
  void Open();
  void Close() { FOpen = false; }
  bool IsOpen() const { return FOpen; }
  const TEditLine& Line() const { return FLine; }

  // Backspace and Del delete either side of the caret, Left, Right, Home
  // and End move it, Enter calls the typed host (nothing happens while none
  // is typed), Esc closes; other keys do nothing.
  void Key(const TKeyEvent& key);
  // Inserted at the caret; control characters, and any character once the
  // text is full, are ignored.
  void Char(uint8_t ch);
  void Draw(TPopupLayer& layer) const { DrawInputBox(layer, kQuickDialBox, FLine); }

 private:
  void Connect();

  TScreenServices& FServices;
  bool FOpen = false;
  TEditLine FLine;
};
