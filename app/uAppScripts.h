// The program's scripts and the login recorder: choosing and starting a
// script (the picker, the Shift+F script keys, the logon script of the call
// just connected), stopping it and reporting how it ended, the callbacks
// through which a running script reaches the call, the screen and the user,
// and the one-line input prompt a script's "ask" opens. A script may outlive
// the call it started on (it can hang up and dial another board); the
// logon script ends with its call. The recorder (Ctrl+O) notes the keys
// typed into a call and the prompts before them and saves them as a script.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/screens/uEditLine.h"

class TApplication;
class TScriptRunner;
class TScriptRecorder;
struct TScriptRunnerEvents;

// The file of a script name as a setting or an entry gives it: always in the
// scripts folder, whatever folders or drive the name carries, with ".kvs"
// when it has no extension, found ignoring case. Empty for no usable name.
std::string ScriptPathFor(const std::string& name);
// A script's description for the picker: its first comment line, without
// the script's own file name leading it.
std::string ReadScriptDescription(const std::string& path);

class TAppScripts {
 public:
  explicit TAppScripts(TApplication& app);
  ~TAppScripts();
  TAppScripts(const TAppScripts&) = delete;
  TAppScripts& operator=(const TAppScripts&) = delete;

  // --- Running scripts ------------------------------------------------------
  void RunScript(const std::string& path, bool logon);
  // Wait: gives the script's thread a moment to end.
  void StopScript(bool wait);
  // Reaps an ended script and reports how it ended.
  void ScriptTick();
  // Alt+O: the picker, or a stop of the running script.
  void PickScript();
  void RunScriptHotkey(int n);
  // The entry's logon script, when the call just connected has one.
  void RunLogonScript();
  // A script is running or has not been reaped yet.
  bool ScriptRunning() const { return FScriptRunner != nullptr; }
  // The end of a call ends a script started for it; other scripts run on.
  void CallEnded();

  // --- The input prompt a script's "ask" opens ------------------------------
  bool PromptOpen() const { return FScriptPromptOpen; }
  bool ScriptInputKey(uint16_t key, bool ctrl);
  void ScriptInputChar(uint8_t ch);
  std::string ScriptInputDisplayText(int width) const;

  // --- The login recorder ---------------------------------------------------
  void ToggleRecorder();
  void StopRecording(bool quiet);
  bool Recording() const { return FRecorder != nullptr; }
  // Every road of typed text to the board hands it the text.
  void RecordTypedText(const std::string& text);
  // A call connected: the recording takes its entry.
  void CallConnected();

  // At shutdown: the recording is saved, a running script stopped, waiting
  // for its thread, and scripts still stopping are waited for.
  void Shutdown();

  // A received chunk as the board sent it, for the script and the recorder.
  void Received(const uint8_t* data, int count);

 private:
  void SetScriptStatus(const std::string& text);
  TScriptRunnerEvents ScriptEvents();
  void ScriptSend(const std::string& text);
  std::string ScriptRowText(int32_t row) const;
  void ScriptGeometry(int32_t& rows, int32_t& cols, int32_t& cursorX, int32_t& cursorY) const;
  int32_t ScriptConnState() const;
  bool ScriptConnect(const std::string& name);
  void ScriptHangUp();
  void ScriptInput(const std::string& prompt, const std::string& defaultText);
  void EndScriptInput(bool useDefault);

  TApplication& A;
  // The running script, and scripts told to stop that have not ended yet.
  std::unique_ptr<TScriptRunner> FScriptRunner;
  std::vector<std::unique_ptr<TScriptRunner>> FStoppingRunners;
  bool FScriptIsLogon = false;  // started for this call: it ends with the call
  bool FScriptPromptOpen = false;
  std::string FScriptPromptText, FScriptPromptDefault;
  TEditLine FScriptInput;
  std::unique_ptr<TScriptRecorder> FRecorder;
  bool FRecordAwaitsConnect = false;  // recording began with no call connected
};
