// The screen reader: its two switches (Alt+R, and Alt+F for prompt-only),
// the scan that speaks the board's new lines every 500 ms, and the
// operations that speak a directory row, a line or the whole screen on
// request. The voice itself is sound/uSapiSpeech; nothing here waits for
// it. The Speak operations other than Speak itself do nothing while the
// reader is off.
#pragma once
#include <string>
#include <vector>

class TApplication;

class TAppReader {
 public:
  // The switches as the settings leave them; the voice starts when on.
  explicit TAppReader(TApplication& app);
  TAppReader(const TAppReader&) = delete;
  TAppReader& operator=(const TAppReader&) = delete;

  bool On() const { return FReaderOn; }
  void ToggleScreenReader();
  void TogglePromptOnly();
  // Hands a status or name (CP437) to the voice as UTF-8; decoration says
  // nothing. The buffer's row texts are UTF-8 already.
  void Speak(const std::string& text, bool purge);
  // Every 500 ms: speaks the board's rows that changed and then held still.
  void SpeakChanges();
  void SpeakDirectoryLine(int index);
  void SpeakTerminalLine(int row, bool purge);
  void SpeakScreen(bool purge);
  // After a move of the scrollback view: the row that came in, or the screen.
  void SpeakAfterMove(int oldOffset, int newOffset);

 private:
  TApplication& A;
  bool FReaderOn = false, FPromptOnly = false;
  std::vector<std::string> FSpokenLines;  // the lines found changed by the last scan
};
