// The login recorder commands: Ctrl+O starts recording the keys typed into a
// call and the prompts before them, Ctrl+O again (or the end of the call)
// saves the recording as a script in the scripts folder, which becomes the
// board's logon script when it has none.
#include <filesystem>

#include "app/call/uCall.h"
#include "app/uApp.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "core/uFileReplace.h"
#include "data/uPhonebook.h"
#include "data/uScriptRecorder.h"
#include "data/uScriptRunner.h"

namespace {

constexpr uint32_t kSavedStatusMs = 6000;

}  // namespace

void TApplication::ToggleRecorder() {
  if (FRecorder) {
    StopRecording(false);
    return;
  }
  FRecorder = std::make_unique<TScriptRecorder>();
  FRecordAwaitsConnect = !CallConnected();
  if (const TPhonebookEntry* entry = FCall->Transport() ? FCall->Entry().get() : nullptr)
    FRecorder->SetEntry(entry->Name, entry->Username, entry->Password);
  SetScriptStatus(FRecordAwaitsConnect ? "Recording script - connect to a board and log in; Ctrl+O to stop"
                                       : "Recording script - Ctrl+O to stop");
  LogLine("Recorder: started");
}

void TApplication::StopRecording(bool quiet) {
  std::unique_ptr<TScriptRecorder> recorder = std::move(FRecorder);
  if (!recorder) return;
  recorder->BuildScriptText("");  // closes a step still open
  const int32_t steps = recorder->StepCount();
  if (steps == 0) {
    if (!quiet) SetScriptStatus("Recording stopped - nothing was typed, no script saved");
    return;
  }
  const std::string folder = ScriptsFolder();
  std::string base = SanitizeScriptName(recorder->EntryName());
  if (base.empty()) base = "recorded";
  std::string name = base;
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(folder + name + ".kvs", ec); ++n) name = base + "-" + std::to_string(n);
  const std::string path = folder + name + ".kvs";
  std::string error;
  if (!WriteFileReplacing(path, recorder->BuildScriptText(name), error)) {
    SetScriptStatus("Could not save " + name + ".kvs: " + error);
    return;
  }
  LogLine("Recorder: saved " + path + " (" + std::to_string(steps) + " steps)");
  std::string message = "Recorded " + std::to_string(steps) + " steps -> scripts/" + name + ".kvs";
  if (FRecordAwaitsConnect && !recorder->EntryName().empty()) {
    TPhonebook* book = FPhonebook.get();
    std::shared_ptr<TPhonebookEntry> entry = book ? book->FindByName(recorder->EntryName()) : nullptr;
    if (!entry && FGuidebook) {
      book = FGuidebook.get();
      entry = book->FindByName(recorder->EntryName());
    }
    if (entry && TrimText(entry->KVScript).empty()) {
      entry->KVScript = name;
      book->SaveToFile();
      message += " (set as its logon script)";
    }
  }
  SetStatus(message, kSavedStatusMs);
  Invalidate();
}

void TApplication::RecordTypedText(const std::string& text) {
  if (FRecorder) FRecorder->KeysTyped(text);
}
