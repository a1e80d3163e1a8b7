// The door graphics engine on a bench: a real interpreter and engine, an
// asset folder and a font folder of their own, a simulated clock ticked in
// 30 ms steps as the door mode does, the texts sent to the door, the log,
// and the composed frame with pixel probes and a PNG of it.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/uScreenshot.h"
#include "door/uDDOFXGfx.h"
#include "door/uDDOFXParser.h"
#include "tests/door/DDOFXTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace ddofxgfxtest {

constexpr char kGS = 0x1D;
constexpr uint64_t kTickMs = 30;

using ddofxtest::MakePack;

// An 8 x 16 font whose every glyph is a solid block of rows Top..Bottom.
inline std::vector<uint8_t> BlockFont(int top = 0, int bottom = 15) {
  std::vector<uint8_t> glyphs(4096, 0);
  for (int c = 0; c < 256; ++c)
    for (int r = top; r <= bottom; ++r) glyphs[size_t(c * 16 + r)] = 0xFF;
  return glyphs;
}

class TGfxHarness {
 public:
  TGfxHarness() {
    auto gfx = std::make_unique<TDDOFXGfx>();
    Gfx = gfx.get();
    Gfx->FontDir = Fonts.Path();
    Parser = std::make_unique<TDDOFXParser>(nullptr, std::move(gfx));
    Parser->Sender = [this](const std::string& text) { Sent += text; };
    Parser->Clock = [this] { return NowMs; };
    Parser->Sleep = [](uint32_t) {};
    Parser->ProgramFolder = Program.Path();
    Parser->SetAssetDir(Assets.Path());
    Gfx->OnLog = [this](const std::string& line) { LogLines.push_back(line); };
    Gfx->OnPlayBite = [this](int bite, int rate) { Bites.push_back({bite, rate}); };
    Frame.assign(size_t(ddofxgfx::kPageSize), 0);
  }

  // Runs one command as the door frames it.
  void Run(const std::string& command) {
    const std::string bytes = std::string(1, kGS) + "{" + command + "}";
    for (char c : bytes) Parser->FilterByte(uint8_t(c));
  }
  // Runs a script: a step "+N" lets N milliseconds pass in 30 ms ticks,
  // any other step is a command.
  void Play(const std::vector<std::string>& steps) {
    for (const std::string& s : steps)
      if (!s.empty() && s[0] == '+')
        Advance(std::stoull(s.substr(1)));
      else
        Run(s);
  }
  // Ticks the engine as the door timer does; true when any tick asked for
  // a repaint.
  bool Advance(uint64_t ms) {
    bool repaint = false;
    const uint64_t end = NowMs + ms;
    while (NowMs + kTickMs <= end) {
      NowMs += kTickMs;
      if (Gfx->Tick(NowMs)) {
        repaint = true;
        Compose();
      }
    }
    NowMs = end;
    return repaint;
  }
  // The frame as the online screen would get it now.
  const std::vector<uint32_t>& Compose(const std::string& status = "") {
    Gfx->RenderFrame(Frame.data(), status);
    return Frame;
  }
  uint32_t At(int x, int y) const { return Frame[size_t(y * ddofxgfx::kWidth + x)]; }
  uint8_t PageAt(int page, int x, int y) const { return Gfx->Pages[size_t(page)][size_t(y * ddofxgfx::kWidth + x)]; }
  // Writes the last composed frame as a PNG; the reply bytes go beside it.
  bool WritePng(const std::string& path) {
    std::string error;
    const platform::Surface picture = platform::Surface::Over(Frame.data(), ddofxgfx::kWidth, ddofxgfx::kHeight);
    return SaveScreenshotPng(picture, ddofxgfx::kWidth, ddofxgfx::kHeight, path, error) &&
           testsupport::WriteWholeFile(path + ".reply", Sent);
  }
  void AddAsset(const std::string& name, const std::string& bytes) {
    testsupport::WriteWholeFile(Assets.File(name), bytes);
  }
  bool Logged(const std::string& text) const {
    for (const std::string& l : LogLines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  size_t LogCount(const std::string& text) const {
    size_t n = 0;
    for (const std::string& l : LogLines) n += l.find(text) != std::string::npos;
    return n;
  }

  testsupport::TempDir Program, Assets, Fonts;
  TDDOFXGfx* Gfx = nullptr;
  std::unique_ptr<TDDOFXParser> Parser;
  std::string Sent;
  uint64_t NowMs = 100000;
  std::vector<uint32_t> Frame;
  std::vector<std::string> LogLines;
  std::vector<std::pair<int, int>> Bites;
};

}  // namespace ddofxgfxtest
