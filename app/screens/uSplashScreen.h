// The splash screen shown at start-up: a picture with the program's name,
// until its timer runs out or a key is pressed. Alt+X on it quits; any other
// key goes to the directory without acting on the key.
#pragma once
#include <string_view>

#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"

// The splash picture as the ANSI text that draws it.
std::string_view SplashArt();

class TSplashScreen : public TScreen {
 public:
  explicit TSplashScreen(TScreenServices& services) : FServices(services) {}

  TScreenMode Mode() const override { return smSplash; }
  void Enter() override;
  void Paint(TScreenFrame& frame) override;
  bool KeyFirst(const TKeyEvent& key) override;
  void Tick() override;

  // How long the splash stays without a key.
  static constexpr uint32_t kShowMs = 2500;

 private:
  TScreenServices& FServices;
};
