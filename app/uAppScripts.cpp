// The program's scripts: choosing and starting one, stopping it and reporting
// how it ended, the callbacks through which it reaches the call, the screen
// and the user, its input prompt; and the login recorder, whose Ctrl+O
// again (or the end of the call) saves the recording as a script in the
// scripts folder, which becomes the board's logon script when it has none.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/call/uCall.h"
#include "app/screens/uFilePicker.h"
#include "app/uApp.h"
#include "app/uAppReader.h"
#include "app/uAppScripts.h"
#include "app/uClipboardText.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "core/uFileReplace.h"
#include "data/uScriptRecorder.h"
#include "data/uScriptRunner.h"
#include "net/uWireTransport.h"
#include "platform/FindFile.h"
#include "platform/Keys.h"
#include "platform/Sync.h"
#include "platform/Tick.h"

namespace vk = platform::vk;

namespace {

// How long a stop that waits gives the script's thread.
constexpr uint64_t kStopWaitMs = 5000;
constexpr uint32_t kScriptStatusMs = 4000, kScriptErrorMs = 8000, kSavedStatusMs = 6000;
// The script input prompt takes at most this many typed characters.
constexpr size_t kInputMax = 200;

std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

bool StartsWithNoCase(const std::string& text, const std::string& head) {
  return text.size() >= head.size() && SameTextNoCase(text.substr(0, head.size()), head);
}

// The first entry whose trimmed name equals the trimmed search text ignoring
// case, or with Substring, holds it anywhere.
std::shared_ptr<TPhonebookEntry> FindEntry(const TPhonebook* book, const std::string& search, bool substring) {
  if (!book) return nullptr;
  const std::string wanted = LowerAscii(TrimText(search));
  for (const auto& entry : book->Entries()) {
    const std::string name = LowerAscii(TrimText(entry->Name));
    if (substring ? name.find(wanted) != std::string::npos : name == wanted) return entry;
  }
  return nullptr;
}

}  // namespace

std::string ScriptPathFor(const std::string& name) {
  std::string n = TrimText(name);
  std::replace(n.begin(), n.end(), '\\', '/');
  n = n.substr(n.find_last_of('/') + 1);
  const size_t colon = n.find_last_of(':');
  if (colon != std::string::npos) n = n.substr(colon + 1);
  n = TrimText(n);
  if (n.empty() || n == "." || n == "..") return "";
  std::string why;
  if (!IsPlainFileName(n, &why)) {
    LogLine("Script: refused the name \"" + n + "\": " + why);
    return "";
  }
  const size_t dot = n.find_last_of('.');
  if (dot == std::string::npos || dot == 0) n += ".kvs";
  const std::string path = ScriptsFolder() + n;
  const std::string found = platform::FindFileNoCase(path);
  return found.empty() ? path : found;
}

std::string ReadScriptDescription(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::string stem = FileNameOf(path);
  const size_t dot = stem.find_last_of('.');
  if (dot != std::string::npos && dot > 0) stem.erase(dot);
  std::string line;
  for (int count = 0; count < 30 && std::getline(in, line); ++count) {
    line = TrimText(line);
    if (line.empty()) continue;
    if (line.compare(0, 2, "//") == 0)
      line = TrimText(line.substr(2));
    else if (line[0] == '#')
      line = TrimText(line.substr(1));
    else
      return "";  // code before any comment: no description
    if (line.empty()) continue;
    if (!stem.empty() && StartsWithNoCase(line, stem)) {
      line.erase(0, stem.size());
      if (StartsWithNoCase(line, ".kvs")) line.erase(0, 4);
      line = TrimText(line);
      const size_t start = line.find_first_not_of(" -:");
      return start == std::string::npos ? "" : TrimText(line.substr(start));
    }
    return line;
  }
  return "";
}

TAppScripts::TAppScripts(TApplication& app) : A(app) {}

TAppScripts::~TAppScripts() = default;

void TAppScripts::Shutdown() {
  StopRecording(true);
  StopScript(true);
  FStoppingRunners.clear();
}

void TAppScripts::CallEnded() {
  if (FScriptIsLogon) StopScript(false);
}

void TAppScripts::CallConnected() {
  const std::shared_ptr<TPhonebookEntry>& entry = A.FCall->Entry();
  if (FRecorder && entry) FRecorder->SetEntry(entry->Name, entry->Username, entry->Password);
  RunLogonScript();
}

void TAppScripts::Received(const uint8_t* data, int count) {
  if (FScriptRunner) FScriptRunner->Feed(data, count);
  if (FRecorder) FRecorder->Feed(data, count);
}

void TAppScripts::SetScriptStatus(const std::string& text) {
  A.SetStatus(text, kScriptStatusMs);
  A.Invalidate();
}

TScriptRunnerEvents TAppScripts::ScriptEvents() {
  TScriptRunnerEvents events;
  events.OnSend = [this](const std::string& text) { ScriptSend(text); };
  events.OnSendHeldBack = [this] { return A.FCall->Transport() && A.FCall->Transport()->SendHeldBack(); };
  events.OnPrint = [this](const std::string& text) { SetScriptStatus(text); };
  events.OnGetLine = [this](int32_t row) { return ScriptRowText(row); };
  events.OnScreenInfo = [this](int32_t& rows, int32_t& cols, int32_t& x, int32_t& y) { ScriptGeometry(rows, cols, x, y); };
  events.OnGetState = [this] { return ScriptConnState(); };
  events.OnDial = [this](const std::string& name) { return ScriptConnect(name); };
  events.OnHangup = [this] { ScriptHangUp(); };
  events.OnBeep = [this] { A.FWindow->Beep(); };
  events.OnGetEntry = [this] { return A.FCall->Entry() ? A.FCall->Entry()->Name : std::string(); };
  events.OnGetUsername = [this] { return A.FCall->Entry() ? A.FCall->Entry()->Username : std::string(); };
  events.OnGetPassword = [this] { return A.FCall->Entry() ? A.FCall->Entry()->Password : std::string(); };
  events.OnAsk = [this](const std::string& prompt, const std::string& def) { ScriptInput(prompt, def); };
  return events;
}

void TAppScripts::RunScript(const std::string& path, bool logon) {
  const std::string name = FileNameOf(path);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    SetScriptStatus("Script not found: " + name);
    return;
  }
  StopScript(true);
  const std::string bbsName = A.FCall->Entry() ? A.FCall->Entry()->Name : "";
  std::unique_ptr<TScript> script;
  try {
    script = LoadScriptFile(path);
  } catch (const EScriptError& e) {
    const std::string where = " line " + std::to_string(e.Line) + ": " + e.what();
    A.SetStatus(name + where, kScriptErrorMs);
    LogLine("Script: " + path + where);
    A.Invalidate();
    return;
  } catch (const std::exception& e) {
    A.SetStatus("Could not load " + name + ": " + e.what(), kScriptErrorMs);
    A.Invalidate();
    return;
  }
  FScriptRunner = std::make_unique<TScriptRunner>(std::move(script), bbsName, ScriptEvents(), path);
  FScriptIsLogon = logon;
  LogLine("Script: started " + path);
  SetScriptStatus(logon ? "Script " + name + " running" : "Script " + name + " running  (Alt+O to stop)");
}

void TAppScripts::StopScript(bool wait) {
  if (!FScriptRunner) return;
  FScriptPromptOpen = false;
  FScriptRunner->Stop();
  if (!wait) return;
  const uint64_t until = platform::TickMs() + kStopWaitMs;
  while (!FScriptRunner->Done() && platform::TickMs() < until) platform::CheckSynchronize(20);
  if (!FScriptRunner->Done()) {
    // Kept until its thread ends; every callback of a stopped script does
    // nothing, so it cannot act on anything meanwhile.
    LogLine("Script: thread did not stop in time");
    FStoppingRunners.push_back(std::move(FScriptRunner));
  }
  FScriptRunner.reset();
  FScriptIsLogon = false;
  A.Invalidate();
}

void TAppScripts::ScriptTick() {
  // Runners that did not stop in time are freed once their threads end.
  std::erase_if(FStoppingRunners, [](const std::unique_ptr<TScriptRunner>& r) { return r->Done(); });
  if (!FScriptRunner || !FScriptRunner->Done()) return;
  FScriptPromptOpen = false;
  const std::string name = FileNameOf(FScriptRunner->ScriptPath());
  const std::string result = FScriptRunner->ResultText();
  if (result.empty()) {
    SetScriptStatus("Script " + name + " finished");
  } else if (result == "stopped") {
    SetScriptStatus("Script " + name + " stopped");
  } else if (FScriptRunner->ErrorLine() > 0) {
    const std::string message = result.compare(0, 7, "error: ") == 0 ? result.substr(7) : result;
    A.SetStatus(name + " line " + std::to_string(FScriptRunner->ErrorLine()) + ": " + message, kScriptErrorMs);
  } else {
    A.SetStatus(name + ": " + result, kScriptErrorMs);
  }
  LogLine("Script: " + name + " ended (" + result + ")");
  FScriptRunner.reset();
  FScriptIsLogon = false;
  A.Invalidate();
}

void TAppScripts::PickScript() {
  if (FScriptRunner) {
    SetScriptStatus("Stopping script " + FileNameOf(FScriptRunner->ScriptPath()) + "...");
    StopScript(false);
    return;
  }
  TPickerSpec spec;
  spec.Folder = ScriptsFolder();
  spec.Title = "Select script to run (scripts/*.kvs)";
  spec.Masks = "*.kvs";
  spec.Purpose = fpRunScript;
  spec.OnPick = [this](const std::string& path) { RunScript(path, false); };
  spec.Describe = [](const std::string& path) { return ReadScriptDescription(path); };
  TFilePickerScreen::Open(A, std::move(spec));
  A.FStatus = "Enter: Run script   Esc: Cancel";
  A.Invalidate();
}

void TAppScripts::RunScriptHotkey(int n) {
  if (n < 1 || n > int(A.FConfig->ShiftF.size())) return;
  const std::string setting = TrimText(A.FConfig->ShiftF[size_t(n - 1)]);
  if (setting.empty()) {
    SetScriptStatus("Shift+F" + std::to_string(n) + " has no script - set one on Alt+C page 4");
    return;
  }
  const std::string path = ScriptPathFor(setting);
  if (path.empty()) return;
  const std::string name = FileNameOf(path);
  if (FScriptRunner && !FScriptRunner->Done() && SameTextNoCase(FScriptRunner->ScriptPath(), path)) {
    SetScriptStatus("Stopping script " + name + "...");
    StopScript(false);
    return;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    SetScriptStatus("Script not found: scripts/" + name);
    return;
  }
  RunScript(path, false);
}

void TAppScripts::RunLogonScript() {
  if (!A.FCall->Entry() || TrimText(A.FCall->Entry()->KVScript).empty()) return;
  ScriptTick();
  if (FScriptRunner) return;
  const std::string path = ScriptPathFor(A.FCall->Entry()->KVScript);
  if (path.empty()) return;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    SetScriptStatus("Script not found: scripts/" + FileNameOf(path));
    LogLine("Script: not found " + path);
    return;
  }
  RunScript(path, true);
}

// --- Callbacks of the running script ---------------------------------------------

void TAppScripts::ScriptSend(const std::string& text) {
  if (A.FCall->Transport()) A.FCall->Transport()->SendString(text);
}

std::string TAppScripts::ScriptRowText(int32_t row) const {
  if (!A.FBuffer || row < 1 || row > A.FBuffer->FHeight) return "";
  std::string text = A.FBuffer->GetDisplayRowText(row - 1);
  while (!text.empty() && uint8_t(text.back()) <= ' ') text.pop_back();
  return text;
}

void TAppScripts::ScriptGeometry(int32_t& rows, int32_t& cols, int32_t& cursorX, int32_t& cursorY) const {
  if (!A.FBuffer) {
    rows = 25, cols = 80, cursorX = 1, cursorY = 1;
    return;
  }
  // The rows the board was told it has: a reserved status row is not the
  // board's.
  rows = A.FBuffer->VisibleRows();
  cols = A.FBuffer->FWidth;
  cursorX = A.FBuffer->CursorX + 1;
  cursorY = A.FBuffer->CursorY + 1;
}

int32_t TAppScripts::ScriptConnState() const {
  if (A.FCall->Transport() && A.FCall->ConnectTick() != 0) return 2;
  if (A.FCall->Transport() || A.FDialStage > 0) return 1;
  return 0;
}

bool TAppScripts::ScriptConnect(const std::string& name) {
  const std::string wanted = TrimText(name);
  if (wanted.empty()) return false;
  std::shared_ptr<TPhonebookEntry> entry = FindEntry(A.FPhonebook.get(), wanted, false);
  if (!entry) entry = FindEntry(A.FGuidebook.get(), wanted, false);
  if (!entry) entry = FindEntry(A.FPhonebook.get(), wanted, true);
  if (!entry) entry = FindEntry(A.FGuidebook.get(), wanted, true);
  if (!entry) return false;
  // The script outlives the call it was started for.
  FScriptIsLogon = false;
  if (A.FCall->Transport()) A.DisconnectCurrent();
  A.ConnectToEntry(entry, false);
  return true;
}

void TAppScripts::ScriptHangUp() {
  FScriptIsLogon = false;
  if (A.FCall->Transport()) A.DisconnectCurrent();
}

// --- The script input prompt -------------------------------------------------------

void TAppScripts::ScriptInput(const std::string& prompt, const std::string& defaultText) {
  FScriptPromptText = prompt;
  FScriptPromptDefault = defaultText;
  FScriptInput.Set(defaultText);
  FScriptPromptOpen = true;
  if (A.FReader->On()) A.FReader->Speak(prompt, true);
  A.Invalidate();
}

bool TAppScripts::ScriptInputKey(uint16_t key, bool ctrl) {
  switch (key) {
    case vk::Return: EndScriptInput(false); break;
    case vk::Escape: EndScriptInput(true); break;
    case vk::Back: FScriptInput.Backspace(); break;
    case vk::Delete: FScriptInput.Delete(); break;
    case vk::Left: FScriptInput.Left(); break;
    case vk::Right: FScriptInput.Right(); break;
    case vk::Home: FScriptInput.Home(); break;
    case vk::End: FScriptInput.End(); break;
    default:
      // The answer goes to the board as a paste would send it: CP437, or
      // UTF-8 on a call in UTF-8 mode.
      if (ctrl && key == vk::Letter('V')) FScriptInput.Insert(PasteLineBytes(A.ClipboardText(), A.FCall->Utf8Mode()));
      break;
  }
  A.Invalidate();
  return true;
}

void TAppScripts::ScriptInputChar(uint8_t ch) {
  if (ch < 32 || FScriptInput.Text.size() >= kInputMax) return;
  FScriptInput.Insert(std::string(1, char(ch)));
  A.Invalidate();
}

void TAppScripts::EndScriptInput(bool useDefault) {
  FScriptPromptOpen = false;
  if (FScriptRunner) FScriptRunner->Answer(useDefault ? FScriptPromptDefault : FScriptInput.Text);
  A.Invalidate();
}

std::string TAppScripts::ScriptInputDisplayText(int width) const {
  std::string text = " " + FScriptPromptText + " " + FScriptInput.Text;
  text.insert(text.size() - FScriptInput.Text.size() + size_t(FScriptInput.Caret), "_");
  if (width >= 0 && text.size() > size_t(width)) text = text.substr(text.size() - size_t(width));
  return text;
}

// --- The login recorder ----------------------------------------------------------

void TAppScripts::ToggleRecorder() {
  if (FRecorder) {
    StopRecording(false);
    return;
  }
  FRecorder = std::make_unique<TScriptRecorder>();
  FRecordAwaitsConnect = !A.CallConnected();
  if (const TPhonebookEntry* entry = A.FCall->Transport() ? A.FCall->Entry().get() : nullptr)
    FRecorder->SetEntry(entry->Name, entry->Username, entry->Password);
  SetScriptStatus(FRecordAwaitsConnect ? "Recording script - connect to a board and log in; Ctrl+O to stop"
                                       : "Recording script - Ctrl+O to stop");
  LogLine("Recorder: started");
}

void TAppScripts::StopRecording(bool quiet) {
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
    TPhonebook* book = A.FPhonebook.get();
    std::shared_ptr<TPhonebookEntry> entry = book ? book->FindByName(recorder->EntryName()) : nullptr;
    if (!entry && A.FGuidebook) {
      book = A.FGuidebook.get();
      entry = book->FindByName(recorder->EntryName());
    }
    if (entry && TrimText(entry->KVScript).empty()) {
      entry->KVScript = name;
      book->SaveToFile();
      message += " (set as its logon script)";
    }
  }
  A.SetStatus(message, kSavedStatusMs);
  A.Invalidate();
}

void TAppScripts::RecordTypedText(const std::string& text) {
  if (FRecorder) FRecorder->KeysTyped(text);
}
