// The call's capture (Alt+G): the bytes the board sends are written to a
// file named after its host in the output folder, from the command until
// the command again or the user's hang-up. The receive pipeline writes
// them; here it starts and stops, with its reports.
#include "app/call/uCall.h"
#include "app/uScreenText.h"
#include "core/uSessionCapture.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"

namespace {

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TCall::ToggleCapture() {
  if (CaptureActive()) {
    EndCapture();
  } else if (!FTransport || !FEntry) {
    Host.SetStatusText("Capture: not connected - connect first, then Alt+G.");
    Host.ShowToast("CAPTURE NOT STARTED", "Not connected - connect first", 2000);
  } else {
    const TAppConfig* config = Host.Settings();
    const std::string setting = config ? OutputFolderSetting(*config) : std::string();
    std::string path;
    StartCapture(ResolvePath(setting), FEntry->Host, path);
    if (path.empty()) {
      Host.SetStatusText("Capture: could not create capture file in \"" + KeepTailText(setting, 28) + "\".");
      Host.ShowToast("CAPTURE FAILED", "Could not create capture file", 2000);
    } else {
      Host.SetStatusText("Capture started: " + KeepTailText(path, 28));
      Host.ShowToast("CAPTURE STARTED", FileNameOf(path), 2000);
    }
  }
}

void TCall::EndCapture() {
  if (!CaptureActive()) return;
  const std::string path = CapturePath();
  StopCapture();
  Host.SetStatusText("Capture stopped: " + path);
  Host.ShowToast("CAPTURE STOPPED", FileNameOf(path), 2000);
}
