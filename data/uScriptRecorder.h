// The login recorder: watches a call while the user logs in by hand and
// turns the keys typed, and the prompt on the screen before each step, into
// a KVScript that repeats the login. Typed text equal to the entry's user
// name or password is written as username() or password(), so the script
// holds no credentials. It only builds the script's text; the application
// saves it.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "data/uScriptRunner.h"

class TScriptRecorder {
 public:
  TScriptRecorder();

  // Binds the recorder to the call's entry. The first time a name is given,
  // what was received before is forgotten.
  void SetEntry(const std::string& name, const std::string& username, const std::string& password);
  // Received bytes.
  void Feed(const uint8_t* data, int32_t count);
  // Keys typed into the call, as the bytes sent (CR for Enter).
  void KeysTyped(const std::string& text);
  // Closes the open step and returns the whole script, lines ended by CR LF.
  // Name goes into the header and two string literals as it is, so it must
  // hold no double quote or backslash.
  std::string BuildScriptText(const std::string& name);

  int32_t StepCount() const { return FStepCount; }
  const std::string& EntryName() const { return FEntryName; }

 private:
  bool HasNewOutput() const;
  std::string BuildExpect() const;
  void EmitStep(bool withEnter);

  std::string FEntryName, FUsername, FPassword;
  std::string FRecentOutput;    // the next step's prompt is taken from it
  std::string FOutputSinceKey;  // received since the last typed key
  std::string FTyped, FPrompt;  // of the open step
  bool FStepOpen = false;
  std::string FLastTyped;       // of the last written step
  bool FAfterCR = false;
  TEscapeStripper FStripper;
  std::vector<std::string> FSteps;
  int32_t FStepCount = 0;
  bool FBound = false;
  std::time_t FStartTime;
};

// Text as a KVScript string literal that reads back as the same bytes.
std::string QuoteScriptString(const std::string& text);
