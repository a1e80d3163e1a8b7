// The commands that put the online screen on disk (screenshot, ANSI export,
// scrollback save) and the scrollback view the wheel, Alt+B and its keys
// browse. Each save reports on the status line and in the centred message
// popup.
#pragma once
#include <cstdint>
#include <string>

class TApplication;
namespace platform {
class Surface;
}

class TAppOutput {
 public:
  explicit TAppOutput(TApplication& app) : A(app) {}
  TAppOutput(const TAppOutput&) = delete;
  TAppOutput& operator=(const TAppOutput&) = delete;

  // Alt+P: the frame just painted as a PNG.
  void TakeScreenshot(const platform::Surface& frame);
  // Alt+N: the screen as an ANSI file.
  void ExportAnsi();
  // Alt+Shift+N (and S in the view): the scrollback and the screen as .ans
  // and .txt files.
  void SaveScrollback();

  // --- The scrollback view --------------------------------------------------
  bool Browsing() const { return FWheelScrollback; }
  void ToggleScrollback();
  // The wheel on the online screen browses the scrollback.
  void ScrollbackWheel(bool up);
  // A key while the view is shown; false when it goes on to the board.
  bool HandleScrollbackKey(uint16_t vk, bool ctrl, bool alt);
  void LeaveScrollback();

 private:
  void ScrollbackStatusText();
  std::string OutputFolder() const;
  std::string OutputStem(bool scrollback) const;

  TApplication& A;
  bool FWheelScrollback = false;
  std::string FSavedStatus;  // the status line the view replaced
};
