// RIPscrip framing, MegaNum parameters, the host query and the level-0
// command table.
#include "graphics/uRipParser.h"

#include <exception>

#include "core/uControlChars.h"
#include "core/uDebugLog.h"

namespace {

bool IsLineStartByte(uint8_t b) { return b == cc::NUL || b == cc::CR || b == cc::LF || b == cc::VT; }

// A "|" is escaped when the text before it ends in an odd number of backslashes.
bool EndsEscaped(const std::string& s) {
  size_t n = 0;
  for (auto it = s.rbegin(); it != s.rend() && *it == '\\'; ++it) ++n;
  return n % 2 == 1;
}

int MegaDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c == '-') return 0;
  return -1;
}

}  // namespace

TRipParser::TRipParser(TRipCanvas* canvas) : FCanvas(canvas) {
  if (FCanvas) FCanvas->ResetPalette();
}

void TRipParser::Reset() {
  F = TFraming{};
  RipDisabledByHost = false;
  FButtonStyleSet = false;
  FSkyPixStarted = false;
  FSkyPenX = FSkyPenY = FTextX = FTextY = FPenB = 0;
  FInlineText = FCaptionMode = FGlyphDrawn = false;
  FLineY = 0;
  FShapeValid = false;
  FShapeCX = FShapeCY = FShapeRX = FShapeRY = 0;
  FFontActive = false;
  FFont = nullptr;
  FMarginX = FSkyPixMaxDrawnY = 0;
  if (FCanvas) {
    FCanvas->Clear();
    FCanvas->ResetPalette();
  }
}

void TRipParser::ScrollUp(int n) {
  if (FCanvas && n > 0) FCanvas->ScrollUp(n, TRipCanvas::kHeight);
}

void TRipParser::FeedByte(uint8_t b) {
  std::vector<uint8_t> dropped;
  Feed(b, dropped);
}

void TRipParser::FeedString(const std::string& s) {
  std::vector<uint8_t> dropped;
  for (unsigned char c : s) {
    dropped.clear();
    Feed(c, dropped);
  }
}

// ---------------------------------------------------------------- framing

void TRipParser::Feed(uint8_t b, std::vector<uint8_t>& out) {
  const size_t first = out.size();

  // 1. Which bytes belong to an escape sequence (SkyPix font text leaves them undrawn).
  bool escByte = false;
  switch (F.EscState) {
    case 0:
      if (b == cc::ESC) F.EscState = 1, escByte = true;
      break;
    case 1:
      escByte = true;
      F.EscState = b == '[' ? 2 : 0;
      break;
    default:
      escByte = true;
      if (b < '0' || b > '?') F.EscState = 0;
      break;
  }

  // 2. A SkyPix string argument runs to the next "!".
  if (F.StringMode) {
    if (b == '!') {
      const std::string params = std::move(F.StringParams), arg = std::move(F.StringArg);
      F.StringMode = false, F.StringParams.clear(), F.StringArg.clear();
      LogLine("SkyPix DIAG: string-read complete, params=\"" + params + "\" string=\"" + arg + "\"");
      DoSkyPix(params, arg);
      return;
    }
    if (b != cc::CR && b != cc::LF && b != cc::ESC && F.StringArg.size() <= 255) {
      F.StringArg += char(b);
      return;
    }
    const std::string params = std::move(F.StringParams), arg = std::move(F.StringArg);
    F.StringMode = false, F.StringParams.clear(), F.StringArg.clear();
    LogLine("SkyPix DIAG: string-read ABANDONED (hit CR/LF/ESC), params=\"" + params + "\" partial=\"" + arg +
            "\" nextByte=" + std::to_string(b));
    DoSkyPix(params, arg);
  }

  // 3. Line start.
  const bool wasLineStart = F.AtLineStart;
  F.AtLineStart = IsLineStartByte(b);

  // 4. The query tracker: ESC [ digits and ";" then "!".
  bool queryEnded = false;
  switch (F.QueryState) {
    case 0:
      if (b == cc::ESC) F.QueryState = 1;
      break;
    case 1:
      F.QueryState = b == '[' ? 2 : 0;
      break;
    default:
      if (b == '!') {
        queryEnded = true;
      } else if ((b >= '0' && b <= '9') || b == ';') {
        if (F.QueryParams.size() < kMaxQueryLength) {
          F.QueryParams += char(b);
        } else {
          F.QueryState = 0;
          F.QueryParams.clear();
        }
      } else {
        // An ESC that ends one sequence starts the next, as in the text emulation.
        F.QueryState = b == cc::ESC ? 1 : 0;
        F.QueryParams.clear();
      }
      break;
  }

  // 5. A query or SkyPix command ends; its "!" goes on below.
  // The "!" that ends a command is not text while a SkyPix font is on, also
  // when the command itself switches the font off.
  const bool bangWhileFontOn = queryEnded && FFontActive;
  if (queryEnded) {
    std::string params;
    params.swap(F.QueryParams);
    F.QueryState = 0;
    EndQuery(params);
  }

  // 6. The LF after a CR that ended a RIPscrip line.
  if (F.SkipLFEnd) {
    F.SkipLFEnd = false;
    if (b == cc::LF) return;
  }

  // 7. Inside a RIPscrip line nothing is output.
  if (F.InLine) {
    if (F.SkipLFCont) {
      F.SkipLFCont = false;
      if (b == cc::LF) return;
    }
    if (b == cc::CR || b == cc::LF) {
      if (!F.LineTooLong && !F.Cmd.empty() && F.Cmd.back() == '\\') {
        F.Cmd.pop_back();  // a backslash joins the next line
        F.SkipLFCont = true;
        return;
      }
      // The command leaves the line state before it runs: a scene it plays
      // then frames its own bytes from a clean line start.
      std::string cmd = std::move(F.Cmd);
      const bool tooLong = F.LineTooLong;
      F.Cmd.clear();
      F.InLine = false;
      F.LineTooLong = false;
      if (b == cc::CR) F.SkipLFEnd = true;
      if (!tooLong) DispatchCommand(cmd);
      return;
    }
    if (F.LineTooLong) return;
    if (b == '|' && !EndsEscaped(F.Cmd)) {
      std::string cmd = std::move(F.Cmd);
      F.Cmd.clear();
      DispatchCommand(cmd);
      return;
    }
    F.Cmd += char(b);
    if (F.Cmd.size() > kMaxLineLength) {
      LogLine("RIP: command longer than " + std::to_string(kMaxLineLength) + " bytes dropped, up to the line's end");
      F.Cmd.clear();
      F.Cmd.shrink_to_fit();
      F.LineTooLong = true;
    }
    return;
  }

  // 8. A "!" held at a line start opens a line when "|" follows.
  if (F.BangPending) {
    F.BangPending = false;
    if (b == '|') {
      F.InLine = true;
      F.Cmd.clear();
      return;
    }
    out.push_back('!');
  }

  // 9.
  if (b == '!' && wasLineStart) {
    F.BangPending = true;
    return;
  }
  if (!bangWhileFontOn && !(queryEnded && FFontActive)) out.push_back(b);

  // 10. While a SkyPix font is on, text is drawn on the canvas instead, and
  // escape sequences are dropped.
  if (FFontActive && out.size() > first) {
    for (size_t i = first; i < out.size(); ++i) {
      if (i + 1 == out.size() && escByte) break;
      DrawSkyPixChar(out[i]);
    }
    out.resize(first);
  }
}

void TRipParser::EndQuery(const std::string& params) {
  if (params.empty() || params == "0") {
    if (OnReply) OnReply(kVersionReply);
  } else if (params == "1") {
    RipDisabledByHost = true;  // the painter shows the text screen, the mouse regions rest
  } else if (params == "2") {
    RipDisabledByHost = false;
  } else if (SkyPixTakesString(params)) {
    F.StringParams = params;
    F.StringArg.clear();
    F.StringMode = true;
    LogLine("SkyPix DIAG: entering string-read mode for \"" + params + "\"");
  } else {
    LogLine("SkyPix DIAG: immediate dispatch \"" + params + "\" (no string arg)");
    DoSkyPix(params, std::string());
  }
}

// ---------------------------------------------------------------- commands

int32_t TRipParser::ReadMegaNum(size_t& pos, const std::string& s, int digits) {
  int32_t value = 0;
  for (int i = 0; i < digits && pos < s.size(); ++i) {
    const int d = MegaDigit(s[pos]);
    if (d < 0) break;
    value = value * 36 + d;
    ++pos;
  }
  return value;
}

void TRipParser::DispatchCommand(const std::string& cmd) {
  if (cmd.empty()) return;
  size_t i = 0;
  int level = 0;
  if (cmd[0] >= '1' && cmd[0] <= '9') {
    level = cmd[0] - '0';
    i = 1;
    if (i < cmd.size() && cmd[i] >= '0' && cmd[i] <= '9') ++i;  // a two-digit level is read by its first digit
  }
  if (i >= cmd.size() || !FCanvas) return;
  const char letter = cmd[i];
  try {
    if (level == 0)
      DispatchLevel0(letter, cmd, i + 1);
    else if (level == 1)
      DispatchLevel1(letter, cmd, i + 1);
  } catch (const std::exception& e) {
    LogLine(std::string(level == 0 ? "RIP dispatch error on \"" : "RIP level-1 dispatch error on \"") + cmd +
            "\": " + e.what());
  }
}

void TRipParser::ReadPoints(const std::string& cmd, size_t& pos, int count, TRipPointArray& points) {
  points.clear();
  points.reserve(size_t(count));
  for (int k = 0; k < count; ++k) {
    const int32_t x = ReadMegaNum(pos, cmd, 2);
    const int32_t y = ReadMegaNum(pos, cmd, 2);
    points.push_back({x, y});
  }
}

void TRipParser::DispatchLevel0(char letter, const std::string& cmd, size_t pos) {
  TRipCanvas& c = *FCanvas;
  auto n = [&](int digits) { return ReadMegaNum(pos, cmd, digits); };
  switch (letter) {
    case '*':
      c.SetViewport(0, 0, TRipCanvas::kWidth - 1, TRipCanvas::kHeight - 1);
      c.ResetPaletteAndStyles();
      c.ClearHotspots();
      break;
    case '=': {
      const int style = n(2), user = n(4), thick = n(2);
      c.SetLineStyle(style, uint32_t(user), thick);
      break;
    }
    case '@': {
      const int x = n(2), y = n(2);
      c.OutTextXY(x, y, cmd.substr(pos));
      break;
    }
    case 'A':
    case 'I': {
      const int x = n(2), y = n(2), st = n(2), en = n(2), r = n(2);
      if (letter == 'A')
        c.Arc(x, y, r, r * 7750 / 10000, st, en);
      else
        c.PieSlice(x, y, r, r * 7750 / 10000, st, en);
      break;
    }
    case 'B':
    case 'L':
    case 'R':
    case 'v': {
      const int x0 = n(2), y0 = n(2), x1 = n(2), y1 = n(2);
      if (letter == 'B') c.Bar(x0, y0, x1, y1);
      if (letter == 'L') c.Line(x0, y0, x1, y1);
      if (letter == 'R') c.Rectangle(x0, y0, x1, y1);
      if (letter == 'v') c.SetViewport(x0, y0, x1, y1);
      break;
    }
    case 'C': {
      const int x = n(2), y = n(2), r = n(2);
      c.Circle(x, y, r);
      break;
    }
    case 'E': c.EraseViewport(); break;
    case 'F': {
      const int x = n(2), y = n(2), border = n(2);
      if (border <= 255 && c.InClip(x, y)) c.FloodFill(x, y, border & 15);
      break;
    }
    case 'O':
    case 'V':
    case 'i': {
      const int x = n(2), y = n(2), st = n(2), en = n(2), rx = n(2), ry = n(2);
      if (letter == 'i')
        c.PieSlice(x, y, rx, ry, st, en);
      else
        c.Arc(x, y, rx, ry, st, en);
      break;
    }
    case 'P':
    case 'l':
    case 'p': {
      const int count = n(2);
      if (count < 1) break;
      TRipPointArray pts;
      ReadPoints(cmd, pos, count, pts);
      if (letter == 'P') c.DrawPolygon(pts);
      if (letter == 'l') c.Polyline(pts);
      if (letter == 'p') c.FillPolygon(pts);
      break;
    }
    case 'Q':
      for (int i = 0; i < 16; ++i) c.SetPaletteEntry(i, n(2));
      break;
    case 'S': {
      const int pattern = n(2), color = n(2);
      if (pattern > 11 || color > 255) break;
      c.SetFillStyle(pattern);
      c.SetFillColor(color & 15);
      break;
    }
    case 'T': c.OutText(cmd.substr(pos)); break;
    case 'X': {
      const int x = n(2), y = n(2);
      c.PutPixel(x, y, c.GetColor());
      c.MoveTo(x, y);
      break;
    }
    case 'Y': {
      const int font = n(2);
      n(2);  // direction: text is always drawn left to right
      const int size = n(2);
      n(2);
      c.SetFont(font, size);
      break;
    }
    case 'Z': {
      TRipPointArray pts;
      ReadPoints(cmd, pos, 4, pts);
      c.Bezier(pts, 3, n(2));
      break;
    }
    case 'a': {
      const int index = n(2), value = n(2);
      c.SetPaletteEntry(index, value);
      break;
    }
    case 'c': c.SetColor(n(2) & 15); break;
    case 'm': {
      const int x = n(2), y = n(2);
      c.MoveTo(x, y);
      break;
    }
    case 'o': {
      const int x = n(2), y = n(2), rx = n(2), ry = n(2);
      c.FillEllipse(x, y, rx, ry);
      break;
    }
    case 's': {
      uint8_t bytes[8];
      for (uint8_t& b : bytes) b = uint8_t(n(2));
      const int color = n(2);
      c.SetFillPattern(bytes);
      c.SetFillColor(color & 15);
      break;
    }
    case 'w': {
      const int x0 = n(2), y0 = n(2), x1 = n(2), y1 = n(2), wrap = n(1), size = n(1);
      if (OnTextWindow) OnTextWindow(x0, y0, x1, y1, wrap, size);
      break;
    }
    default: break;
  }
}
