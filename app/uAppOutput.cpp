// The commands that put the online screen on disk and the scrollback view.
#include <cstdio>
#include <fstream>

#include "app/call/uCall.h"
#include "app/uAppOutput.h"

#include "app/uApp.h"
#include "app/uAppReader.h"
#include "platform/Keys.h"
#include "app/uAppReader.h"
#include "core/uAnsiExport.h"
#include "core/uScreenshot.h"
#include "core/uSessionCapture.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/Tick.h"

namespace vk = platform::vk;

namespace {

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "cannot create " + path;
    return false;
  }
  if (!bytes.empty()) out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

std::string TruncateWithDots(const std::string& s, int n) {
  if (int(s.size()) <= n) return s;
  if (n <= 3) return s.substr(s.size() - size_t(std::max(n, 0)));
  return "..." + s.substr(s.size() - size_t(n - 3));
}

std::string TAppOutput::OutputFolder() const { return ResolvePath(OutputFolderSetting(*A.FConfig)); }

std::string TAppOutput::OutputStem(bool scrollback) const {
  std::string stem = (A.FCall->Transport() && A.FCall->Entry()) ? A.FCall->Entry()->Host : "korvan";
  return scrollback ? stem + "-scrollback" : stem;
}

void TAppOutput::TakeScreenshot(const platform::Surface& frame) {
  A.FScreenshotDue = false;
  std::string name;
  MakeCaptureFileName(OutputFolder(), OutputStem(false), "png", name);
  if (name.empty()) {
    A.FStatus = "Screenshot: could not create folder \"" + TruncateWithDots(OutputFolderSetting(*A.FConfig), 28) + "\".";
    A.ShowToast("SCREENSHOT FAILED", "Could not create folder", 2000);
  } else {
    std::string error;
    if (SaveScreenshotPng(frame, frame.Width(), frame.Height(), name, error)) {
      A.FStatus = "Screenshot saved: " + TruncateWithDots(name, 28);
      A.ShowToast("SCREENSHOT SAVED", FileNameOf(name), 2000);
    } else {
      A.FStatus = "Screenshot failed: " + error;
      A.ShowToast("SCREENSHOT FAILED", error, 2000);
    }
  }
  A.Invalidate();
}

void TAppOutput::ExportAnsi() {
  std::string name;
  MakeCaptureFileName(OutputFolder(), OutputStem(false), "ans", name);
  if (name.empty()) {
    A.FStatus = "ANSI export: could not create folder \"" + TruncateWithDots(OutputFolderSetting(*A.FConfig), 28) + "\".";
    A.ShowToast("ANSI EXPORT FAILED", "Could not create folder", 2000);
  } else {
    std::vector<uint8_t> bytes;
    ExportScreenAnsi(*A.FBuffer, bytes);
    std::string error;
    if (WriteBytes(name, bytes, error)) {
      A.FStatus = "ANSI export saved: " + TruncateWithDots(name, 28);
      A.ShowToast("ANSI EXPORT SAVED", FileNameOf(name), 2000);
    } else {
      A.FStatus = "ANSI export failed: " + error;
      A.ShowToast("ANSI EXPORT FAILED", error, 2000);
    }
  }
  A.Invalidate();
}

void TAppOutput::SaveScrollback() {
  std::string ans;
  MakeCaptureFileName(OutputFolder(), OutputStem(true), "ans", ans);
  std::string error;
  int lines = 0;
  if (ans.empty()) {
    error = "could not create folder \"" + TruncateWithDots(OutputFolderSetting(*A.FConfig), 28) + "\"";
  } else {
    std::string txt = ans.substr(0, ans.size() - 4) + ".txt";
    std::vector<uint8_t> bytes;
    ExportBufferText(*A.FBuffer, true, lines, bytes);
    if (WriteBytes(ans, bytes, error)) {
      ExportBufferText(*A.FBuffer, false, lines, bytes);
      WriteBytes(txt, bytes, error);
    }
  }
  if (error.empty()) {
    std::string stem = ans.substr(0, ans.size() - 4);
    A.FStatus = "Scrollback saved (" + std::to_string(lines) + " lines): " + TruncateWithDots(stem + ".ans/.txt", 30);
    A.ShowToast("SCROLLBACK SAVED", FileNameOf(stem) + " .ans + .txt", 2500);
  } else {
    A.FStatus = "Scrollback save failed: " + error;
    A.ShowToast("SCROLLBACK SAVE FAILED", error, 2500);
  }
  A.FStatusUntil = platform::TickMs() + 3000;
  A.Invalidate();
}

void TAppOutput::ToggleScrollback() {
  if (FWheelScrollback) {
    A.FBuffer->SetScrollbackView(0);
    FWheelScrollback = false;
    A.FStatus = FSavedStatus;
    if (A.FReader->On()) A.FReader->Speak("Back to live", true);
  } else {
    FSavedStatus = A.FStatus;
    FWheelScrollback = true;
    ScrollbackStatusText();
    if (A.FReader->On()) A.FReader->Speak("Scrollback mode. Page up or up arrow to go back.", true);
  }
  A.Invalidate();
}

void TAppOutput::ScrollbackStatusText() {
  if (!FWheelScrollback) return;
  char text[128];
  std::snprintf(text, sizeof text, "SCROLLBACK %d/%d  PgUp/PgDn/Home: browse  S: save to file  End/Esc: live",
                A.FBuffer->ScrollbackView, A.FBuffer->ScrollbackCount);
  A.FStatus = text;
}

void TAppOutput::ScrollbackWheel(bool up) {
  if (!FWheelScrollback) {
    FSavedStatus = A.FStatus;
    FWheelScrollback = true;
  }
  A.FBuffer->SetScrollbackView(A.FBuffer->ScrollbackView + (up ? 3 : -3));
  if (A.FBuffer->ScrollbackView <= 0) {
    A.FBuffer->SetScrollbackView(0);
    FWheelScrollback = false;
    A.FStatus = FSavedStatus;
  } else {
    ScrollbackStatusText();
  }
  A.Invalidate();
}

bool TAppOutput::HandleScrollbackKey(uint16_t key, bool ctrl, bool alt) {
  const int before = A.FBuffer->ScrollbackView;
  const int page = A.FBuffer->FHeight;
  switch (key) {
    case vk::Prior: A.FBuffer->SetScrollbackView(before + page); break;
    case vk::Next: A.FBuffer->SetScrollbackView(before - page); break;
    case vk::Up: A.FBuffer->SetScrollbackView(before + 1); break;
    case vk::Down: A.FBuffer->SetScrollbackView(before - 1); break;
    case vk::Home: A.FBuffer->SetScrollbackView(A.FBuffer->ScrollbackCount); break;
    default:
      if (key == vk::Letter('S') && !alt && !ctrl) {
        SaveScrollback();
        ScrollbackStatusText();
        return true;
      }
      if (key == vk::Letter('S') && ctrl) return true;
      LeaveScrollback();
      // Esc and End only leave the view; any other key also goes on.
      return key == vk::Escape || key == vk::End;
  }
  A.FReader->SpeakAfterMove(before, A.FBuffer->ScrollbackView);
  ScrollbackStatusText();
  A.Invalidate();
  return true;
}

void TAppOutput::LeaveScrollback() {
  A.FBuffer->SetScrollbackView(0);
  FWheelScrollback = false;
  A.FStatus = FSavedStatus;
  if (A.FReader->On()) A.FReader->Speak("Back to live", true);
  A.Invalidate();
}
