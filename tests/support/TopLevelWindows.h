// Test helper: watches the top-level windows of an X display (those the root
// window holds) from the moment it is made: each window created, whether it
// was shown and whether it was destroyed again.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

class TopLevelWindows {
 public:
  struct Window {
    unsigned long Id = 0;
    int Width = 0, Height = 0;  // as created
    bool Mapped = false, Destroyed = false;
  };

  explicit TopLevelWindows(const std::string& display);
  ~TopLevelWindows();
  TopLevelWindows(const TopLevelWindows&) = delete;
  TopLevelWindows& operator=(const TopLevelWindows&) = delete;

  bool Ok() const { return FDisplay != nullptr; }
  // Every window seen so far, in the order of creation.
  const std::vector<Window>& Seen();

 private:
  void* FDisplay = nullptr;
  std::vector<Window> FWindows;
};

}  // namespace testsupport
