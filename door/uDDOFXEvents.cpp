// Timers a door leaves on the client: up to 200 events that fire at a rate
// per second, every few seconds or at a calendar moment, and then replay a
// macro and send a text. The application ticks them from its door timer.
#include <algorithm>
#include <tuple>

#include "door/uDDOFXParser.h"
#include "door/uDDOFXText.h"

using namespace ddofxtext;

namespace {

int PieceInt(const std::vector<std::string>& p, size_t i) { return i < p.size() ? IntDef(Trim(p[i]), 0) : 0; }

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

void TDDOFXParser::DefineEvent(const std::string& params) {
  const std::vector<std::string> p = SplitParams(params, 12);
  const int n = PieceInt(p, 0);
  if (n == 0) {
    for (TDDOFXEvent& e : FEvents) e.Defined = e.Running = false;
    return;
  }
  if (n < 1 || n > kEvents) return;
  TDDOFXEvent& e = FEvents[size_t(n - 1)];
  e.Defined = true;
  e.Running = false;
  e.Kind = PieceInt(p, 1);
  e.Rate = PieceInt(p, 2);
  e.Month = PieceInt(p, 3);
  e.Day = PieceInt(p, 4);
  e.Year = PieceInt(p, 5);
  e.Hour = PieceInt(p, 6);
  e.Minute = PieceInt(p, 7);
  e.Second = PieceInt(p, 8);
  e.Repeat = PieceInt(p, 9) != 0;
  e.SendText = p.size() > 10 ? DecodeCarets(p[10]) : std::string();
  e.Macro = p.size() > 11 ? p[11] : std::string();
}

void TDDOFXParser::ArmEvent(const std::string& rest, bool run) {
  const int n = IntDef(Trim(rest), 0);
  if (n < 1 || n > kEvents || !FEvents[size_t(n - 1)].Defined) return;
  TDDOFXEvent& e = FEvents[size_t(n - 1)];
  e.Running = run;
  const uint64_t now = Clock();
  e.NextDue = e.Kind == 0 ? now + uint64_t(1000 / std::max(1, e.Rate)) : now + uint64_t(std::max(0, e.Rate)) * 1000;
}

void TDDOFXParser::ClearEvents() {
  for (TDDOFXEvent& e : FEvents) e = TDDOFXEvent();
}

bool TDDOFXParser::HasActiveEvents() const {
  return std::any_of(FEvents.begin(), FEvents.end(), [](const TDDOFXEvent& e) { return e.Running; });
}

void TDDOFXParser::TickEvents(uint64_t now) {
  if (FGfx->GraphicsMode() && FGfx->BackgroundPaused()) return;
  bool haveLocal = false;
  std::tm local{};
  for (int i = 1; i <= kEvents; ++i) {
    TDDOFXEvent& e = FEvents[size_t(i - 1)];
    if (!e.Running) continue;
    bool due = false;
    if (e.Kind == 1) {
      const int year = uint16_t(e.Year), month = std::max(1, e.Month), day = std::max(1, e.Day);
      // No moment can be formed from an impossible date or a negative
      // time: the event is disarmed without firing.
      if (year < 1 || year > 9999 || month > 12 || day > DaysIn(year, month) || e.Hour < 0 || e.Minute < 0 ||
          e.Second < 0) {
        e.Running = false;
        continue;
      }
      if (!haveLocal) {
        local = LocalTime();
        haveLocal = true;
      }
      const auto at = std::make_tuple(year, month, day, std::min(23, e.Hour), std::min(59, e.Minute),
                                      std::min(59, e.Second));
      const auto current = std::make_tuple(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                           local.tm_min, local.tm_sec);
      due = current >= at;
    } else {
      due = e.NextDue <= now;
    }
    if (!due) continue;
    if (e.Repeat && e.Kind != 1)
      e.NextDue = e.Kind == 0 ? now + uint64_t(1000 / std::max(1, e.Rate)) : now + uint64_t(std::max(1, e.Rate)) * 1000;
    else
      e.Running = false;
    TTopLevel top(*this);
    // Copies: the macro may redefine the event.
    const std::string macro = e.Macro, send = e.SendText;
    if (!macro.empty()) ReplayMacro(macro);
    Send(send);
  }
}
