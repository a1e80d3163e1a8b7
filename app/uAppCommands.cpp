// The user's commands that put the screen or the call on disk (capture,
// screenshot, ANSI export, scrollback save) and the scrollback view switch.
// Each reports on the status line and in the centred message popup.
#include <cstdio>
#include <fstream>

#include "app/call/uCall.h"
#include "app/uApp.h"
#include "core/uAnsiExport.h"
#include "core/uScreenshot.h"
#include "core/uSessionCapture.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/Tick.h"

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

std::string TApplication::OutputFolderSetting() const {
  return FConfig->CaptureDir.empty() ? FConfig->DownloadDir : FConfig->CaptureDir;
}

std::string TApplication::OutputFolder() const { return ResolvePath(OutputFolderSetting()); }

std::string TApplication::OutputStem(bool scrollback) const {
  std::string stem = (FCall->Transport() && FCall->Entry()) ? FCall->Entry()->Host : "korvan";
  return scrollback ? stem + "-scrollback" : stem;
}

void TApplication::ToggleCapture() {
  if (CaptureActive()) {
    std::string path = CapturePath();
    StopCapture();
    FStatus = "Capture stopped: " + path;
    ShowToast("CAPTURE STOPPED", FileNameOf(path), 2000);
  } else if (!FCall->Transport() || !FCall->Entry()) {
    FStatus = "Capture: not connected - connect first, then Alt+G.";
    ShowToast("CAPTURE NOT STARTED", "Not connected - connect first", 2000);
  } else {
    std::string path;
    StartCapture(OutputFolder(), FCall->Entry()->Host, path);
    if (path.empty()) {
      FStatus = "Capture: could not create capture file in \"" + TruncateWithDots(OutputFolderSetting(), 28) + "\".";
      ShowToast("CAPTURE FAILED", "Could not create capture file", 2000);
    } else {
      FStatus = "Capture started: " + TruncateWithDots(path, 28);
      ShowToast("CAPTURE STARTED", FileNameOf(path), 2000);
    }
  }
}

void TApplication::TakeScreenshot(const platform::Surface& frame) {
  FScreenshotDue = false;
  std::string name;
  MakeCaptureFileName(OutputFolder(), OutputStem(false), "png", name);
  if (name.empty()) {
    FStatus = "Screenshot: could not create folder \"" + TruncateWithDots(OutputFolderSetting(), 28) + "\".";
    ShowToast("SCREENSHOT FAILED", "Could not create folder", 2000);
  } else {
    std::string error;
    if (SaveScreenshotPng(frame, frame.Width(), frame.Height(), name, error)) {
      FStatus = "Screenshot saved: " + TruncateWithDots(name, 28);
      ShowToast("SCREENSHOT SAVED", FileNameOf(name), 2000);
    } else {
      FStatus = "Screenshot failed: " + error;
      ShowToast("SCREENSHOT FAILED", error, 2000);
    }
  }
  Invalidate();
}

void TApplication::ExportAnsi() {
  std::string name;
  MakeCaptureFileName(OutputFolder(), OutputStem(false), "ans", name);
  if (name.empty()) {
    FStatus = "ANSI export: could not create folder \"" + TruncateWithDots(OutputFolderSetting(), 28) + "\".";
    ShowToast("ANSI EXPORT FAILED", "Could not create folder", 2000);
  } else {
    std::vector<uint8_t> bytes;
    ExportScreenAnsi(*FBuffer, bytes);
    std::string error;
    if (WriteBytes(name, bytes, error)) {
      FStatus = "ANSI export saved: " + TruncateWithDots(name, 28);
      ShowToast("ANSI EXPORT SAVED", FileNameOf(name), 2000);
    } else {
      FStatus = "ANSI export failed: " + error;
      ShowToast("ANSI EXPORT FAILED", error, 2000);
    }
  }
  Invalidate();
}

void TApplication::SaveScrollback() {
  std::string ans;
  MakeCaptureFileName(OutputFolder(), OutputStem(true), "ans", ans);
  std::string error;
  int lines = 0;
  if (ans.empty()) {
    error = "could not create folder \"" + TruncateWithDots(OutputFolderSetting(), 28) + "\"";
  } else {
    std::string txt = ans.substr(0, ans.size() - 4) + ".txt";
    std::vector<uint8_t> bytes;
    ExportBufferText(*FBuffer, true, lines, bytes);
    if (WriteBytes(ans, bytes, error)) {
      ExportBufferText(*FBuffer, false, lines, bytes);
      WriteBytes(txt, bytes, error);
    }
  }
  if (error.empty()) {
    std::string stem = ans.substr(0, ans.size() - 4);
    FStatus = "Scrollback saved (" + std::to_string(lines) + " lines): " + TruncateWithDots(stem + ".ans/.txt", 30);
    ShowToast("SCROLLBACK SAVED", FileNameOf(stem) + " .ans + .txt", 2500);
  } else {
    FStatus = "Scrollback save failed: " + error;
    ShowToast("SCROLLBACK SAVE FAILED", error, 2500);
  }
  FStatusUntil = platform::TickMs() + 3000;
  Invalidate();
}

void TApplication::ToggleScrollback() {
  if (FWheelScrollback) {
    FBuffer->SetScrollbackView(0);
    FWheelScrollback = false;
    FStatus = FSavedStatus;
    if (FReaderOn) Speak("Back to live", true);
  } else {
    FSavedStatus = FStatus;
    FWheelScrollback = true;
    ScrollbackStatusText();
    if (FReaderOn) Speak("Scrollback mode. Page up or up arrow to go back.", true);
  }
  Invalidate();
}

void TApplication::ScrollbackStatusText() {
  if (!FWheelScrollback) return;
  char text[128];
  std::snprintf(text, sizeof text, "SCROLLBACK %d/%d  PgUp/PgDn/Home: browse  S: save to file  End/Esc: live",
                FBuffer->ScrollbackView, FBuffer->ScrollbackCount);
  FStatus = text;
}
