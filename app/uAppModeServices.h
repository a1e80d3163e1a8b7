// What the call's modes see of the application's call: the adapter between
// TCallModeServices and the application's fields.
#pragma once
#include "app/call/uCallMode.h"

class TApplication;

class TAppModeServices final : public TCallModeServices {
 public:
  explicit TAppModeServices(TApplication& app) : A(app) {}

  void SendToHost(const std::string& text) override;
  void SendTyped(const std::string& text) override;
  std::shared_ptr<TWireTransport> Transport() const override;
  const TPhonebookEntry* Entry() const override;
  TTerminalBuffer& Buffer() override;
  TFontRenderer& Renderer() override;
  const TBitmapFont& MainFont() const override;
  void ScreenPixels(int& width, int& height) const override;
  TAnsiParser& AnsiParser() override;
  void FeedText(const uint8_t* data, size_t count) override;
  void PicturePlaced() override;
  void SwitchColumns(bool is80) override;
  void ResumeInput() override;
  bool MinorEmulationActive() const override;
  bool OnlineShown() const override;
  TAppConfig& Settings() override;
  void ShowStatus(const std::string& text, uint32_t showMs) override;
  void Invalidate() override;
  void ToggleSoundMute() override;
  void OpenInBrowser(const std::string& url) override;
  std::string FirstUrlOnScreen() const override;
  void AnnounceStreamScheduled() override;
  void StartTimer(TCallMode& mode, uint32_t ms) override;
  void StopTimer(TCallMode& mode) override;
  bool TimerRunning(const TCallMode& mode) const override;

 private:
  TApplication& A;
};
