// The application's side of scripting: choosing and starting a script (the
// picker, the Shift+F script keys, the logon script of the call just
// connected), stopping it and reporting how it ended, the callbacks through
// which a running script reaches the call, the screen and the user, and the
// one-line input prompt a script's "ask" opens.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/call/uCall.h"
#include "app/screens/uFilePicker.h"
#include "app/uApp.h"
#include "app/uClipboardText.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
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
constexpr uint32_t kScriptStatusMs = 4000, kScriptErrorMs = 8000;
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

void TApplication::SetScriptStatus(const std::string& text) {
  SetStatus(text, kScriptStatusMs);
  Invalidate();
}

TScriptRunnerEvents TApplication::ScriptEvents() {
  TScriptRunnerEvents events;
  events.OnSend = [this](const std::string& text) { ScriptSend(text); };
  events.OnSendHeldBack = [this] { return FCall->Transport() && FCall->Transport()->SendHeldBack(); };
  events.OnPrint = [this](const std::string& text) { SetScriptStatus(text); };
  events.OnGetLine = [this](int32_t row) { return ScriptRowText(row); };
  events.OnScreenInfo = [this](int32_t& rows, int32_t& cols, int32_t& x, int32_t& y) { ScriptGeometry(rows, cols, x, y); };
  events.OnGetState = [this] { return ScriptConnState(); };
  events.OnDial = [this](const std::string& name) { return ScriptConnect(name); };
  events.OnHangup = [this] { ScriptHangUp(); };
  events.OnBeep = [this] { FWindow->Beep(); };
  events.OnGetEntry = [this] { return FCall->Entry() ? FCall->Entry()->Name : std::string(); };
  events.OnGetUsername = [this] { return FCall->Entry() ? FCall->Entry()->Username : std::string(); };
  events.OnGetPassword = [this] { return FCall->Entry() ? FCall->Entry()->Password : std::string(); };
  events.OnAsk = [this](const std::string& prompt, const std::string& def) { ScriptInput(prompt, def); };
  return events;
}

void TApplication::RunScript(const std::string& path, bool logon) {
  const std::string name = FileNameOf(path);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    SetScriptStatus("Script not found: " + name);
    return;
  }
  StopScript(true);
  const std::string bbsName = FCall->Entry() ? FCall->Entry()->Name : "";
  std::unique_ptr<TScript> script;
  try {
    script = LoadScriptFile(path);
  } catch (const EScriptError& e) {
    const std::string where = " line " + std::to_string(e.Line) + ": " + e.what();
    SetStatus(name + where, kScriptErrorMs);
    LogLine("Script: " + path + where);
    Invalidate();
    return;
  } catch (const std::exception& e) {
    SetStatus("Could not load " + name + ": " + e.what(), kScriptErrorMs);
    Invalidate();
    return;
  }
  FScriptRunner = std::make_unique<TScriptRunner>(std::move(script), bbsName, ScriptEvents(), path);
  FScriptIsLogon = logon;
  LogLine("Script: started " + path);
  SetScriptStatus(logon ? "Script " + name + " running" : "Script " + name + " running  (Alt+O to stop)");
}

void TApplication::StopScript(bool wait) {
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
  Invalidate();
}

void TApplication::ScriptTick() {
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
    SetStatus(name + " line " + std::to_string(FScriptRunner->ErrorLine()) + ": " + message, kScriptErrorMs);
  } else {
    SetStatus(name + ": " + result, kScriptErrorMs);
  }
  LogLine("Script: " + name + " ended (" + result + ")");
  FScriptRunner.reset();
  FScriptIsLogon = false;
  Invalidate();
}

void TApplication::PickScript() {
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
  TFilePickerScreen::Open(*this, std::move(spec));
  FStatus = "Enter: Run script   Esc: Cancel";
  Invalidate();
}

void TApplication::RunScriptHotkey(int n) {
  if (n < 1 || n > int(FConfig->ShiftF.size())) return;
  const std::string setting = TrimText(FConfig->ShiftF[size_t(n - 1)]);
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

void TApplication::RunLogonScript() {
  if (!FCall->Entry() || TrimText(FCall->Entry()->KVScript).empty()) return;
  ScriptTick();
  if (FScriptRunner) return;
  const std::string path = ScriptPathFor(FCall->Entry()->KVScript);
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

void TApplication::ScriptSend(const std::string& text) {
  if (FCall->Transport()) FCall->Transport()->SendString(text);
}

std::string TApplication::ScriptRowText(int32_t row) const {
  if (!FBuffer || row < 1 || row > FBuffer->FHeight) return "";
  std::string text = FBuffer->GetDisplayRowText(row - 1);
  while (!text.empty() && uint8_t(text.back()) <= ' ') text.pop_back();
  return text;
}

void TApplication::ScriptGeometry(int32_t& rows, int32_t& cols, int32_t& cursorX, int32_t& cursorY) const {
  if (!FBuffer) {
    rows = 25, cols = 80, cursorX = 1, cursorY = 1;
    return;
  }
  // The rows the board was told it has: a reserved status row is not the
  // board's.
  rows = FBuffer->VisibleRows();
  cols = FBuffer->FWidth;
  cursorX = FBuffer->CursorX + 1;
  cursorY = FBuffer->CursorY + 1;
}

int32_t TApplication::ScriptConnState() const {
  if (FCall->Transport() && FCall->ConnectTick() != 0) return 2;
  if (FCall->Transport() || FDialStage > 0) return 1;
  return 0;
}

bool TApplication::ScriptConnect(const std::string& name) {
  const std::string wanted = TrimText(name);
  if (wanted.empty()) return false;
  std::shared_ptr<TPhonebookEntry> entry = FindEntry(FPhonebook.get(), wanted, false);
  if (!entry) entry = FindEntry(FGuidebook.get(), wanted, false);
  if (!entry) entry = FindEntry(FPhonebook.get(), wanted, true);
  if (!entry) entry = FindEntry(FGuidebook.get(), wanted, true);
  if (!entry) return false;
  // The script outlives the call it was started for.
  FScriptIsLogon = false;
  if (FCall->Transport()) DisconnectCurrent();
  ConnectToEntry(entry, false);
  return true;
}

void TApplication::ScriptHangUp() {
  FScriptIsLogon = false;
  if (FCall->Transport()) DisconnectCurrent();
}

// --- The script input prompt -------------------------------------------------------

void TApplication::ScriptInput(const std::string& prompt, const std::string& defaultText) {
  FScriptPromptText = prompt;
  FScriptPromptDefault = defaultText;
  FScriptInput.Set(defaultText);
  FScriptPromptOpen = true;
  if (FReaderOn) Speak(prompt, true);
  Invalidate();
}

bool TApplication::ScriptInputKey(uint16_t key, bool ctrl) {
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
      if (ctrl && key == vk::Letter('V')) FScriptInput.Insert(PasteLineBytes(ClipboardText(), FCall->Utf8Mode()));
      break;
  }
  Invalidate();
  return true;
}

void TApplication::ScriptInputChar(uint8_t ch) {
  if (ch < 32 || FScriptInput.Text.size() >= kInputMax) return;
  FScriptInput.Insert(std::string(1, char(ch)));
  Invalidate();
}

void TApplication::EndScriptInput(bool useDefault) {
  FScriptPromptOpen = false;
  if (FScriptRunner) FScriptRunner->Answer(useDefault ? FScriptPromptDefault : FScriptInput.Text);
  Invalidate();
}

std::string TApplication::ScriptInputDisplayText(int width) const {
  std::string text = " " + FScriptPromptText + " " + FScriptInput.Text;
  text.insert(text.size() - FScriptInput.Text.size() + size_t(FScriptInput.Caret), "_");
  if (width >= 0 && text.size() > size_t(width)) text = text.substr(text.size() - size_t(width));
  return text;
}
