// The about screen: a black screen with one box naming the program and its
// version, until any key or a click.
#pragma once
#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"

class TAboutScreen : public TScreen {
 public:
  explicit TAboutScreen(TScreenServices& services) : FServices(services) {}

  TScreenMode Mode() const override { return smAbout; }
  void Enter() override;
  void Paint(TScreenFrame& frame) override;
  bool Key(const TKeyEvent& key) override;
  bool Mouse(const TMouseEvent& mouse) override;

 private:
  TScreenServices& FServices;
};
