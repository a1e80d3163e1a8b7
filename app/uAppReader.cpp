// The screen reader: its two switches, the scan that speaks the board's new
// lines every 500 ms, and the operations that speak a directory row, a line
// or the whole screen on request. The voice itself is sound/uSapiSpeech;
// nothing here waits for it.
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

void TApplication::Speak(const std::string& text, bool purge) {
  const std::string utf8 = SpeechText(text);
  if (!utf8.empty()) SpeakText(utf8, purge);
}

void TApplication::ToggleScreenReader() {
  FReaderOn = !FReaderOn;
  if (FReaderOn && !InitSpeech()) {
    FReaderOn = false;
    FConfig->ScreenReaderMode = false;
    FConfig->Save();
    LogLine("Accessibility: Alt+R pressed but espeak-ng is unavailable - staying off");
    return;
  }
  FConfig->ScreenReaderMode = FReaderOn;
  FConfig->Save();
  if (FReaderOn) {
    SpeakText("Screen reader mode on", true);
    FStatus = "Screen reader mode: ON (Alt+R to toggle)";
  } else {
    SpeakText("Screen reader mode off", true);
    FStatus = "Screen reader mode: OFF (Alt+R to toggle)";
  }
  Invalidate();
}

void TApplication::TogglePromptOnly() {
  FPromptOnly = !FPromptOnly;
  FConfig->PromptOnlyMode = FPromptOnly;
  FConfig->Save();
  FStatus = FPromptOnly ? "Screen reader: prompt-only ON (Alt+F to toggle)"
                        : "Screen reader: prompt-only OFF (Alt+F to toggle)";
  if (FReaderOn) Speak(FStatus, true);
  Invalidate();
}

void TApplication::SpeakChanges() {
  if (!FReaderOn || !FBuffer || ScreenMode() != smOnline) return;
  FSpokenLines.clear();
  std::vector<std::string> rows;
  FBuffer->CollectChangedRows(&FSpokenLines, &rows);
  if (FPromptOnly && !FSpokenLines.empty()) {
    // Only the line being typed on: the cursor's row when it changed, else
    // the lowest row that did.
    std::string line = FSpokenLines.back();
    for (size_t i = 0; i < rows.size() && i < FSpokenLines.size(); ++i)
      if (rows[i] == std::to_string(FBuffer->CursorY)) line = FSpokenLines[i];
    FSpokenLines.assign(1, line);
  }
  if (FSpokenLines.empty()) return;
  // The reader never falls behind the screen: what is still being said of
  // older text gives way to the new.
  if (IsSpeaking()) PurgeSpeechQueue();
  for (const std::string& line : FSpokenLines) SpeakText(line, false);
}

void TApplication::SpeakDirectoryLine(int index) {
  if (!FReaderOn) return;
  TPhonebook* book = ActivePhonebook();
  TPhonebookEntryPtr entry = book && index >= 0 && index < book->Count() ? book->GetEntry(index) : nullptr;
  if (!entry) return;
  const std::string name = TrimText(entry->Name);
  Speak(name.empty() ? entry->Host + ":" + std::to_string(entry->Port) : name, true);
}

void TApplication::SpeakTerminalLine(int row, bool purge) {
  if (!FReaderOn || !FBuffer) return;
  const std::string text = SpokenRowText(FBuffer->GetDisplayRowText(row));
  SpeakText(text.empty() ? "Blank line" : text, purge);
}

void TApplication::SpeakScreen(bool purge) {
  if (!FReaderOn || !FBuffer) return;
  // The board's rows; a reserved status row holds none of its text.
  bool first = true;
  for (int row = 0; row < FBuffer->VisibleRows(); ++row) {
    const std::string text = SpokenRowText(FBuffer->GetDisplayRowText(row));
    if (text.empty()) continue;
    SpeakText(text, first ? purge : false);
    first = false;
  }
  if (first) SpeakText("Blank screen", purge);
}

void TApplication::SpeakAfterMove(int oldOffset, int newOffset) {
  if (!FReaderOn || !FBuffer || oldOffset == newOffset) return;
  if (newOffset == oldOffset + 1)
    SpeakTerminalLine(0, true);
  else if (newOffset == oldOffset - 1)
    SpeakTerminalLine(FBuffer->VisibleRows() - 1, true);
  else
    SpeakScreen(true);
}
