// The call as a mode sees it, without the application: a screen, a font and
// an ANSI parser of its own, and a record of what the mode sent, fed to the
// text emulation, shown on the status line, opened in the browser, asked
// of the timer and switched.
#pragma once
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/call/uCallMode.h"
#include "core/uAnsiParser.h"
#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"

namespace testsupport {

class FakeCall : public TCallModeServices {
 public:
  std::string Text;               // what reached the text emulation
  std::vector<std::string> Sent;  // to the board, typed or not
  std::vector<bool> ColumnSwitches;
  int Resumes = 0;
  bool TimerOn = false;
  bool Online = true;
  std::vector<std::string> Statuses;  // shown on the status line
  std::vector<std::string> Opened;    // opened in the web browser
  std::string UrlOnScreen;            // the first http link the screen shows
  int StreamsScheduled = 0;

  void SendToHost(const std::string& text) override { Sent.push_back(text); }
  void SendTyped(const std::string& text) override { Sent.push_back(text); }
  std::shared_ptr<TWireTransport> Transport() const override { return nullptr; }
  const TPhonebookEntry* Entry() const override { return nullptr; }
  TTerminalBuffer& Buffer() override { return FBuffer; }
  TFontRenderer& Renderer() override { throw std::logic_error("no renderer here"); }
  const TBitmapFont& MainFont() const override { return FFont; }
  void ScreenPixels(int& width, int& height) const override { width = height = 0; }
  TAnsiParser& AnsiParser() override { return FParser; }
  void FeedText(const uint8_t* data, size_t count) override { Text.append(reinterpret_cast<const char*>(data), count); }
  void PicturePlaced() override {}
  void SwitchColumns(bool is80) override { ColumnSwitches.push_back(is80); }
  void ResumeInput() override { ++Resumes; }
  bool MinorEmulationActive() const override { return false; }
  bool OnlineShown() const override { return Online; }
  TAppConfig& Settings() override { throw std::logic_error("no settings here"); }
  void ShowStatus(const std::string& text, uint32_t) override { Statuses.push_back(text); }
  void Invalidate() override {}
  void ToggleSoundMute() override {}
  void OpenInBrowser(const std::string& url) override { Opened.push_back(url); }
  std::string FirstUrlOnScreen() const override { return UrlOnScreen; }
  void AnnounceStreamScheduled() override { ++StreamsScheduled; }
  void StartTimer(TCallMode&, uint32_t) override { TimerOn = true; }
  void StopTimer(TCallMode&) override { TimerOn = false; }
  bool TimerRunning(const TCallMode&) const override { return TimerOn; }

 private:
  TTerminalBuffer FBuffer{80, 25};
  TAnsiParser FParser{&FBuffer};
  TBitmapFont FFont;
};

}  // namespace testsupport
