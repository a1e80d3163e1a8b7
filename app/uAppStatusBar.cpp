// Two overlays of the online screen: the one-line status bar (board, size,
// state, type, call time, help hint) and the transfer progress window with
// its fields and bar, drawn into the popup layer.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/uApp.h"
#include "app/uScreenText.h"
#include "data/uPhonebook.h"
#include "platform/Tick.h"

std::string TApplication::StatusBarText() const {
  const std::string sep = std::string(" ") + char(cp::SingleV) + " ";
  const bool online = FTelnet != nullptr;
  std::string name = "KORVAN";
  if (online && FEntry) name = TrimText(FEntry->Name).empty() ? FEntry->Host : FEntry->Name;
  const std::string size = std::to_string(FBuffer->FWidth) + "x" + std::to_string(FBuffer->FHeight);
  const std::string state = online ? "ONLINE" : "OFFLINE";
  std::string type = "-";
  if (online && FEntry && !TrimText(FEntry->TermType).empty()) type = UpperText(FEntry->TermType);
  const int64_t secs = FConnectTick ? int64_t((platform::TickMs() - FConnectTick) / 1000) : 0;
  char time[32];
  if (secs >= 3600)
    std::snprintf(time, sizeof time, "%.2d:%.2d:%.2d", int(secs / 3600), int(secs / 60 % 60), int(secs % 60));
  else
    std::snprintf(time, sizeof time, "%.2d:%.2d", int(secs / 60), int(secs % 60));
  const std::string tail = sep + CenterText(size, 7) + sep + CenterText(state, 7) + sep + CenterText(type, 10) + sep +
                           CenterText(time, 8) + sep + "Alt+Z:Help";
  const int width = std::clamp(FBuffer->FWidth - 2 - int(tail.size()), 0, 20);
  name = name.substr(0, size_t(width));
  while (!name.empty() && uint8_t(name.back()) <= ' ') name.pop_back();
  return " " + CenterText(name, width) + tail;
}

void TApplication::DrawTransferWindow() {
  const int cols = FPopupLayer.Cols, rows = FPopupLayer.Rows;
  const int inner = std::max(std::min(60, cols - 4), 30);
  const int x = (cols - (inner + 2)) / 2, y = (rows - 12) / 2;
  const TColorRGB face = scr::FaceBlue;
  DrawPopupFrame(x, y, inner, 12, face, scr::BevelBlue, false, false);
  auto centred = [&](int row, const std::string& text, TColorRGB fg) {
    PutPopupText(x + 1 + (inner - int(text.size())) / 2, row, text, fg, face, false);
  };
  centred(y + 2, FXferTitle.substr(0, size_t(std::max(0, inner - 2))), scr::TitleYellow);
  auto labelRow = [&](int row, bool marker, TColorRGB markerFg, const std::string& label, const std::string& value) {
    if (marker) PutPopupCell(x + 3, row, cp::SmallSquare, markerFg, face, false);
    PutPopupText(x + 5, row, label + ": " + value, scr::White, face, false);
  };
  labelRow(y + 4, true, scr::White, "File", UpperText(KeepTailText(FXferFile, inner - 12)));
  labelRow(y + 5, true, scr::TitleYellow, "Size", GroupThousands(FXferTotal));
  labelRow(y + 6, false, scr::White, " Pos", GroupThousands(FXferDone));
  labelRow(y + 7, true, TColorRGB{255, 85, 85}, "Rate",
           FXferRate.empty() ? std::string("(measuring...)") : FXferRate.substr(std::min<size_t>(3, FXferRate.size())));
  if (x + inner + 1 > x + 47) {
    PutPopupText(x + 35, y + 6, "Errors: " + std::to_string(FXferErrors), scr::White, face, false);
    PutPopupText(x + 35, y + 7, "Block: " + std::to_string(FXferBlock), scr::White, face, false);
  }
  const int bar = std::clamp(inner - 12, 10, 40);
  int filled = 0;
  std::string percent = " --%";
  if (FXferTotal > 0) {
    const double part = double(FXferDone) / double(FXferTotal);
    filled = std::clamp(int(std::lround(part * bar)), 0, bar);
    char text[32];
    std::snprintf(text, sizeof text, "%3.0f%%", part * 100.0);
    percent = text;
  }
  int col = x + 1 + (inner - (bar + 7)) / 2;
  PutPopupCell(col++, y + 9, '[', scr::White, face, false);
  for (int i = 0; i < bar; ++i)
    PutPopupCell(col++, y + 9, i < filled ? cp::FullBlock : cp::LightShade,
                 i < filled ? TColorRGB{85, 255, 85} : scr::DarkGreen, face, false);
  PutPopupCell(col++, y + 9, ']', scr::White, face, false);
  PutPopupText(col + 1, y + 9, percent, scr::White, face, false);
}
