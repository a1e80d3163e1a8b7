// The screens the window can show: registered screens that live for the
// whole run and are shown by their number (the online screen, the
// directory), and screens opened over them until they close (the editor,
// later help, configuration, the file picker). Only the top one is current;
// it is told when it is shown and when another replaces it.
#pragma once
#include <memory>
#include <vector>

#include "app/screens/uScreen.h"

class TScreenStack {
 public:
  void Register(std::shared_ptr<TScreen> screen);
  TScreen* Registered(TScreenMode mode) const;
  // Shows the registered screen of Mode and closes every opened one; false
  // when no screen of that number is registered.
  bool Show(TScreenMode mode);
  void Open(std::shared_ptr<TScreen> screen);
  // Closes the top opened screen; false when none is open.
  bool Close();
  // Null before the first screen is shown. Callers that call into it hold
  // the returned pointer, so a screen that switches screens from inside its
  // own handler lives until that handler returns.
  std::shared_ptr<TScreen> Current() const;
  TScreenMode Mode() const;

 private:
  std::vector<std::shared_ptr<TScreen>> FRegistered;
  std::shared_ptr<TScreen> FBase;
  std::vector<std::shared_ptr<TScreen>> FOpened;
};
