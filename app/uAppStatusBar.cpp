// The online screen's one-line status bar: board, size, state, type, call
// time and a help hint.
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
  const std::string state = FRecorder ? "*REC*" : online ? "ONLINE" : "OFFLINE";
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
