// The screen reader: its switches, the scan of the board's new lines, and
// what it speaks on request.
#include "app/uAppReader.h"

#include "app/uApp.h"
#include "app/uScreenText.h"
#include "core/uDebugLog.h"
#include "core/uUtf8Cp437.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "sound/uSapiSpeech.h"

namespace {

// A row's text as it is spoken: without trailing blanks and control codes.
std::string SpokenRowText(std::string text) {
  while (!text.empty() && uint8_t(text.back()) <= ' ') text.pop_back();
  return text;
}

// The shades, box lines and blocks of CP437, and its small square: what
// boards draw frames, rules and bars with.
bool IsDrawingCharacter(uint8_t b) { return (b >= 0xB0 && b <= 0xDF) || b == 0xFE; }

// A text of the program's own (CP437: a status, an entry's name) as the
// voice reads it, UTF-8, as the buffer already gives the board's rows. A
// text of nothing but line and block drawing characters and blanks is
// decoration, which a reader passes over in silence: it gives no text.
std::string SpeechText(const std::string& cp437) {
  std::string utf8;
  bool words = false;
  for (char c : cp437) {
    const uint8_t b = uint8_t(c);
    words = words || (b > ' ' && !IsDrawingCharacter(b));
    utf8 += CodePointToUtf8(Cp437ToUnicode(b));
  }
  return words ? utf8 : std::string();
}

}  // namespace

TAppReader::TAppReader(TApplication& app) : A(app) {
  FReaderOn = A.FConfig->ScreenReaderMode;
  if (FReaderOn) FReaderOn = InitSpeech();
  FPromptOnly = A.FConfig->PromptOnlyMode;
}

void TAppReader::Speak(const std::string& text, bool purge) {
  const std::string utf8 = SpeechText(text);
  if (!utf8.empty()) SpeakText(utf8, purge);
}

void TAppReader::ToggleScreenReader() {
  FReaderOn = !FReaderOn;
  if (FReaderOn && !InitSpeech()) {
    FReaderOn = false;
    A.FConfig->ScreenReaderMode = false;
    A.FConfig->Save();
    LogLine("Accessibility: Alt+R pressed but espeak-ng is unavailable - staying off");
    return;
  }
  A.FConfig->ScreenReaderMode = FReaderOn;
  A.FConfig->Save();
  if (FReaderOn) {
    SpeakText("Screen reader mode on", true);
    A.FStatus = "Screen reader mode: ON (Alt+R to toggle)";
  } else {
    SpeakText("Screen reader mode off", true);
    A.FStatus = "Screen reader mode: OFF (Alt+R to toggle)";
  }
  A.Invalidate();
}

void TAppReader::TogglePromptOnly() {
  FPromptOnly = !FPromptOnly;
  A.FConfig->PromptOnlyMode = FPromptOnly;
  A.FConfig->Save();
  A.FStatus = FPromptOnly ? "Screen reader: prompt-only ON (Alt+F to toggle)"
                        : "Screen reader: prompt-only OFF (Alt+F to toggle)";
  if (FReaderOn) Speak(A.FStatus, true);
  A.Invalidate();
}

void TAppReader::SpeakChanges() {
  if (!FReaderOn || !A.FBuffer || A.ScreenMode() != smOnline) return;
  FSpokenLines.clear();
  std::vector<std::string> rows;
  A.FBuffer->CollectChangedRows(&FSpokenLines, &rows);
  if (FPromptOnly && !FSpokenLines.empty()) {
    // Only the line being typed on: the cursor's row when it changed, else
    // the lowest row that did.
    std::string line = FSpokenLines.back();
    for (size_t i = 0; i < rows.size() && i < FSpokenLines.size(); ++i)
      if (rows[i] == std::to_string(A.FBuffer->CursorY)) line = FSpokenLines[i];
    FSpokenLines.assign(1, line);
  }
  if (FSpokenLines.empty()) return;
  // The reader never falls behind the screen: what is still being said of
  // older text gives way to the new.
  if (IsSpeaking()) PurgeSpeechQueue();
  for (const std::string& line : FSpokenLines) SpeakText(line, false);
}

void TAppReader::SpeakDirectoryLine(int index) {
  if (!FReaderOn) return;
  TPhonebook* book = A.ActivePhonebook();
  TPhonebookEntryPtr entry = book && index >= 0 && index < book->Count() ? book->GetEntry(index) : nullptr;
  if (!entry) return;
  const std::string name = TrimText(entry->Name);
  Speak(name.empty() ? entry->Host + ":" + std::to_string(entry->Port) : name, true);
}

void TAppReader::SpeakTerminalLine(int row, bool purge) {
  if (!FReaderOn || !A.FBuffer) return;
  const std::string text = SpokenRowText(A.FBuffer->GetDisplayRowText(row));
  SpeakText(text.empty() ? "Blank line" : text, purge);
}

void TAppReader::SpeakScreen(bool purge) {
  if (!FReaderOn || !A.FBuffer) return;
  // The board's rows; a reserved status row holds none of its text.
  bool first = true;
  for (int row = 0; row < A.FBuffer->VisibleRows(); ++row) {
    const std::string text = SpokenRowText(A.FBuffer->GetDisplayRowText(row));
    if (text.empty()) continue;
    SpeakText(text, first ? purge : false);
    first = false;
  }
  if (first) SpeakText("Blank screen", purge);
}

void TAppReader::SpeakAfterMove(int oldOffset, int newOffset) {
  if (!FReaderOn || !A.FBuffer || oldOffset == newOffset) return;
  if (newOffset == oldOffset + 1)
    SpeakTerminalLine(0, true);
  else if (newOffset == oldOffset - 1)
    SpeakTerminalLine(A.FBuffer->VisibleRows() - 1, true);
  else
    SpeakScreen(true);
}
