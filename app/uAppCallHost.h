// What a live call sees of the application: the adapter between TCallHost
// and the application's window, loop, status line and listeners.
#pragma once
#include "app/call/uCallHost.h"

class TApplication;

class TAppCallHost final : public TCallHost {
 public:
  explicit TAppCallHost(TApplication& app) : A(app) {}

  bool LoopRunning() const override;
  void PumpMessages() override;
  void ShowFrameNow() override;
  void Invalidate() override;
  void PicturePlaced() override;
  void StartTimer(TCallTimer timer, uint32_t ms) override;
  void StopTimer(TCallTimer timer) override;
  bool TimerRunning(TCallTimer timer) const override;
  const TAppConfig* Settings() const override;
  void ShowStatus(const std::string& text, uint32_t showMs) override;
  void SetStatusText(const std::string& text) override;
  void ShowToast(const std::string& title, const std::string& text, uint32_t ms) override;
  void SpeakStatus(const std::string& text) override;
  void Received(const uint8_t* data, int count) override;
  void ReceivedChunk(const uint8_t* data, int count) override;
  void RecordTypedText(const std::string& text) override;
  void ResizeRequest(int rows, int cols) override;
  bool StatusBarShown() const override;
  bool LoadTerminalFont(const std::string& path) override;
  void FontCellSize(int& width, int& height) const override;
  void ScreenCleared() override;
  void TransferFolders(std::string& download, std::string& door) const override;
  bool IsProgramPath(const std::string& path) const override;
  TTransferPrompts& TransferPrompts() override;
  void UploadWanted() override;
  void CallStatus(const std::string& text) override;
  void CallConnected() override;
  void CallDisconnected(const std::string& text, bool live) override;

 private:
  TApplication& A;
};
