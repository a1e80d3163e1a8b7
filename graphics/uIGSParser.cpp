#include "graphics/uIGSParser.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "core/uDebugLog.h"
#include "core/uTerminalBuffer.h"
#include "platform/Tick.h"
#include "sound/uGistSynth.h"

namespace {

constexpr uint8_t kEsc = 27;
constexpr uint8_t kTab = 9;
constexpr uint8_t kLf = 10;
constexpr uint8_t kCr = 13;

// What parsing one byte or running one command or loop step costs against
// the per-call budget, on top of the pixels it visits.
constexpr int64_t kByteWork = 16;
constexpr int64_t kCommandWork = 16;

int32_t Saturate(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool IsCommandLetter(uint8_t b) {
  if (b >= 'A' && b <= 'Z') return true;
  switch (b) {
    case '<': case '?': case 'b': case 'c': case 'd': case 'f': case 'g': case 'i': case 'k': case 'l':
    case 'm': case 'n': case 'p': case 'q': case 'r': case 's': case 't': case 'v': case 'w': case 'z':
      return true;
    default: return false;
  }
}

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }

// A decimal integer: an optional "-" and at least one digit, nothing else.
// Values beyond 32 bits saturate; anything else reads as 0.
int32_t DecimalValue(const std::string& s, bool moreDigits = false) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (negative) i = 1;
  if (i >= s.size()) return 0;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!IsDigit(uint8_t(s[i]))) return 0;
    v = std::min<int64_t>(v * 10 + (s[i] - '0'), int64_t(1) << 40);
  }
  if (moreDigits) v = int64_t(1) << 40;
  return Saturate(negative ? -v : v);
}

}  // namespace

TIGSParser::TIGSParser(TTerminalBuffer* buffer) : FBuffer(buffer) { Reset(); }

void TIGSParser::Reset() {
  FState = psText;
  FCommand = 0;
  ClearCommand();
  FLoopItems.clear();
  FLoopItem.clear();
  FLoopItemsOverflow = false;
  FVt52ArgCount = 0;
  FEscPending = false;
  FGraphicsShown = false;
  FRandomLo1 = FRandomLo2 = 0;
  FRandomHi1 = FRandomHi2 = 199;
  for (auto& pattern : FCanvas.UserPatterns) pattern.clear();
  FCanvas.ClearBlock();
  FQueue.clear();
  FQueue.shrink_to_fit();
  FQueuePos = FQueueCount = 0;
  FWaitUntil = 0;
  FPendingSoundOp = FPendingSoundVoice = 0;
  FLoopActive = false;
  FLoopParams.clear();
  FLoopPrefixes.clear();
  FLoopLetters.clear();
  FLoopXor = false;
  FZones.clear();
  if (FSynth) FSynth->Reset();
  FCanvas.SetResolution(0, true);
  FCanvas.LoadPalettePreset(0);
  FCanvas.ResetAttributes();
  FCanvas.Dirty = true;
}

uint64_t TIGSParser::Now() const { return Clock ? Clock() : platform::TickMs(); }

// ---------------------------------------------------------------- bytes

void TIGSParser::FeedByte(uint8_t b, std::vector<uint8_t>& out) {
  if (IsBusy()) {
    AppendToQueue(b);
    return;
  }
  FCanvas.Work = 0;
  ParseByte(b, out);
}

bool TIGSParser::IsBusy() const { return FQueueCount > 0 || FLoopActive || IsWaiting() || FPendingSoundOp != 0; }

size_t TIGSParser::PlainRun(const uint8_t* data, size_t count) const {
  if (FState != psText || FVt52ArgCount > 0 || FEscPending || IsBusy()) return 0;
  size_t n = 0;
  while (n < count && data[n] != 'G' && data[n] != kEsc) ++n;
  return n;
}

bool TIGSParser::IsWaiting() const { return FWaitUntil != 0 && Now() < FWaitUntil; }

void TIGSParser::StartWait(int64_t ms) {
  if (ms <= 0) return;
  FWaitUntil = Now() + uint64_t(std::min<int64_t>(ms, kMaxWaitMs));
}

void TIGSParser::AppendToQueue(uint8_t b) {
  if (FQueuePos + FQueueCount == FQueue.size()) {
    if (FQueuePos > 0) {
      std::move(FQueue.begin() + ptrdiff_t(FQueuePos), FQueue.begin() + ptrdiff_t(FQueuePos + FQueueCount),
                FQueue.begin());
      FQueuePos = 0;
    }
    if (FQueueCount == FQueue.size()) FQueue.resize(FQueue.size() * 2 + 4096);
  }
  FQueue[FQueuePos + FQueueCount++] = b;
  if (FQueueCount > kQueueCatchUp) {
    // So much is held that the replay must catch up: waits and loop delays
    // stop applying.
    FWaitUntil = 0;
    FLoopDelay = 0;
  }
}

bool TIGSParser::ProcessQueued(std::vector<uint8_t>& out) {
  FCanvas.Work = 0;
  bool did = false;
  for (;;) {
    if (IsWaiting()) return did;
    if (did && !BudgetLeft()) return did;
    FWaitUntil = 0;
    if (FPendingSoundOp != 0) {
      const int32_t op = FPendingSoundOp;
      FPendingSoundOp = 0;
      SoundOp(op, FPendingSoundVoice);
      did = true;
    }
    if (FLoopActive) {
      LoopStep();
      did = true;
      continue;
    }
    if (FQueueCount == 0) return did;
    const uint8_t b = FQueue[FQueuePos++];
    if (--FQueueCount == 0) FQueuePos = 0;
    FCanvas.Work += kByteWork;
    ParseByte(b, out);
    did = true;
  }
}

void TIGSParser::ParseByte(uint8_t b, std::vector<uint8_t>& out) {
  switch (FState) {
    case psText: ParseText(b, out); break;
    case psAfterG:
      if (b == '#') {
        FState = psLetter;
        ClearCommand();
      } else if (b == 'G') {
        out.push_back('G');
      } else {
        FState = psText;
        out.push_back('G');
        out.push_back(b);
      }
      break;
    case psLetter:
      if (b == 'G') {
        FState = psAfterGG;
      } else if (b == '&') {
        FState = psLoop;
        FLoopItems.clear();
        FLoopItem.clear();
        FLoopItemsOverflow = false;
      } else if (IsCommandLetter(b)) {
        FCommand = char(b);
        FState = psParams;
        ClearCommand();
      } else {
        FState = psText;
      }
      break;
    case psAfterGG:
      if (b == '#') {
        FState = psLetter;
      } else {
        FCommand = 'G';
        ClearCommand();
        FState = psParams;
        ParseParams(b);
      }
      break;
    case psParams: ParseParams(b); break;
    case psWText:
    case psZoneText:
      if (b == (FState == psWText ? '@' : ':') || b == kLf) {
        const bool lineEnd = b == kLf;
        Execute();
        FState = lineEnd ? psText : psLetter;
      } else if (FTextArg.size() < kMaxTextArg) {
        FTextArg.push_back(char(b));
      }
      break;
    case psPatternText:
      if (b == ':') {
        Execute();
        FState = psLetter;
      } else if (b == kTab || b == kLf || b == kCr || b == ' ' || b == '@') {
        // layout inside the pattern
      } else {
        FTextArg.push_back(char(b));
        if (FTextArg.size() > 255) {
          Execute();
          FState = psLetter;
        }
      }
      break;
    case psLoop: ParseLoop(b); break;
    default: FState = psText; break;
  }
}

// Text for the VT52 emulation. The bytes after ESC Y (row and column) and
// ESC b / ESC c (a colour) pass unexamined, so a cursor address of "G#"
// is not taken for a command.
void TIGSParser::ParseText(uint8_t b, std::vector<uint8_t>& out) {
  if (FVt52ArgCount > 0) {
    --FVt52ArgCount;
  } else if (FEscPending) {
    FEscPending = false;
    if (b == 'Y')
      FVt52ArgCount = 2;
    else if (b == 'b' || b == 'c')
      FVt52ArgCount = 1;
  } else if (b == kEsc) {
    FEscPending = true;
  } else if (b == 'G') {
    FState = psAfterG;
    return;
  }
  out.push_back(b);
}

void TIGSParser::ClearCommand() {
  FParams.clear();
  FParamText.clear();
  FParamOverlong = false;
  FTextArg.clear();
}

void TIGSParser::ParseParams(uint8_t b) {
  if (IsDigit(b) || b == '-' || b == 'R' || b == 'r') {
    if (FParamText.size() < kMaxParamText)
      FParamText.push_back(char(b));
    else if (IsDigit(b))
      FParamOverlong = true;
    else
      FParamText = "?";  // no longer a number
    return;
  }
  const bool zoneText = FCommand == 'X' && FParams.size() == 7 && FParams[0].Kind == TIGSParam::pkNumber &&
                        FParams[0].Value == 4;
  const bool patternText = FCommand == 'X' && FParams.size() == 2 && FParams[0].Kind == TIGSParam::pkNumber &&
                           FParams[0].Value == 7;
  switch (b) {
    case ',':
      PushParam();
      if (FCommand == 'W' && FParams.size() == 2) {
        FTextArg.clear();
        FState = psWText;
      }
      return;
    case ':':
      PushParam();
      Execute();
      FState = psLetter;
      return;
    case '@':
      if (FCommand == 'W') {
        PushParam();
        if (FParams.size() == 2) {
          FTextArg.clear();
          FState = psWText;
        } else {
          FState = psText;
        }
      } else {
        ClearCommand();
        FState = psText;
      }
      return;
    case kLf:
    case kCr:
    case ' ':
    case '>':
    case '_':
      if (zoneText) {
        FTextArg.clear();
        FState = psZoneText;
      } else if (patternText) {
        FTextArg.clear();
        FState = psPatternText;
      }
      return;
    default:
      if (zoneText || patternText) {
        FTextArg.assign(1, char(b));
        FState = zoneText ? psZoneText : psPatternText;
      } else {
        ClearCommand();
        FState = psText;
      }
      return;
  }
}

void TIGSParser::PushParam() {
  TIGSParam p;
  if (FParamText == "r")
    p.Kind = TIGSParam::pkRandom1;
  else if (FParamText == "R")
    p.Kind = TIGSParam::pkRandom2;
  else
    p.Value = DecimalValue(FParamText, FParamOverlong);
  FParamText.clear();
  FParamOverlong = false;
  if (FParams.size() < kMaxParams) FParams.push_back(p);
}

int32_t TIGSParser::RandomIn(int32_t lo, int32_t hi) {
  const uint64_t span = uint64_t(std::llabs(int64_t(hi) - int64_t(lo)));
  std::uniform_int_distribution<uint64_t> pick(0, span);
  return Saturate(int64_t(lo) + int64_t(pick(FRandom)));
}

int32_t TIGSParser::ResolveParam(const TIGSParam& p, int64_t x, int64_t y) {
  switch (p.Kind) {
    case TIGSParam::pkRandom1: return RandomIn(FRandomLo1, FRandomHi1);
    case TIGSParam::pkRandom2: return RandomIn(FRandomLo2, FRandomHi2);
    case TIGSParam::pkLoopX: return Saturate(x);
    case TIGSParam::pkLoopY: return Saturate(y);
    default: return p.Value;
  }
}

void TIGSParser::Execute() {
  TIntArray values;
  values.reserve(FParams.size());
  for (const TIGSParam& p : FParams) values.push_back(ResolveParam(p, 0, 0));
  const std::string text = FTextArg;
  ExecuteCommand(FCommand, values, text);
  ClearCommand();
}

// ---------------------------------------------------------------- loops

void TIGSParser::ParseLoop(uint8_t b) {
  auto addItem = [this] {
    if (FLoopItem.empty()) return;
    if (FLoopItems.size() >= kMaxLoopItems) {
      FLoopItemsOverflow = true;
    } else {
      FLoopItems.push_back(FLoopItem);
    }
    FLoopItem.clear();
  };
  switch (b) {
    case kLf:
    case kCr:
    case ' ': return;
    case ',': addItem(); break;
    case ':':
      addItem();
      EndLoopItems();
      return;
    case '>':
      if (!FLoopItems.empty() || !FLoopItem.empty()) FLoopItem.push_back(char(b));
      break;
    default:
      if (FLoopItem.size() < kMaxLoopItemText) FLoopItem.push_back(char(b));
      break;
  }
  if (FLoopItemsOverflow) {
    LogLine("IGS: loop dropped, more than " + std::to_string(kMaxLoopItems) + " items");
    FLoopItems.clear();
    FLoopItem.clear();
    FLoopItemsOverflow = false;
    FState = psText;
  }
}

// At a ":" in a loop: it ends the loop when the items hold the parameters
// the loop announced; otherwise it is one of them.
void TIGSParser::EndLoopItems() {
  if (FLoopItemsOverflow || FLoopItems.size() < 6) {
    if (FLoopItemsOverflow) LogLine("IGS: loop dropped, more than " + std::to_string(kMaxLoopItems) + " items");
    FLoopItems.clear();
    FLoopItemsOverflow = false;
    FState = psText;
    return;
  }
  const int64_t announced = DecimalValue(FLoopItems[5]);
  int64_t data = 0;
  for (size_t i = 6; i < FLoopItems.size(); ++i)
    if (FLoopItems[i] != ":") ++data;
  if (data < announced) {
    if (FLoopItems.size() < kMaxLoopItems) {
      FLoopItems.push_back(":");
      return;
    }
    LogLine("IGS: loop dropped, more than " + std::to_string(kMaxLoopItems) + " items");
    FLoopItems.clear();
    FState = psText;
    return;
  }
  StartLoop();
  FLoopItems.clear();
  FState = psText;
}

void TIGSParser::StartLoop() {
  const int64_t from = DecimalValue(FLoopItems[0]);
  const int64_t to = DecimalValue(FLoopItems[1]);
  const int64_t step = DecimalValue(FLoopItems[2]);
  const int32_t delay = DecimalValue(FLoopItems[3]);
  const std::string& spec = FLoopItems[4];
  if (step == 0) return;

  std::string command, modifier, letters;
  const size_t at = spec.find('@');
  if (spec.size() >= 2 && spec[0] == '>' && at != std::string::npos) {
    letters = spec.substr(1, at - 1);
    modifier = spec.substr(at + 1);
  } else {
    const size_t cut = spec.find_first_of("@|");
    command = spec.substr(0, cut);
    if (cut != std::string::npos) modifier = spec.substr(cut);
  }
  const bool xorMode = modifier.find('|') != std::string::npos;
  int64_t count;
  size_t first;
  const size_t digit = modifier.find_first_of("0123456789");
  if (digit != std::string::npos) {
    count = DecimalValue(modifier.substr(digit));
    first = 5;
  } else {
    count = DecimalValue(FLoopItems[5]);
    first = 6;
  }

  std::vector<TIGSParam> params;
  std::vector<char> prefixes;
  for (size_t i = first; i < FLoopItems.size(); ++i) {
    std::string item = FLoopItems[i];
    if (item == ":") continue;
    char prefix = 0;
    if (item.size() > 1 && (item[0] == '!' || item[0] == '+' || item[0] == '-')) {
      prefix = item[0];
      item.erase(0, 1);
    }
    TIGSParam p;
    if (item == "r")
      p.Kind = TIGSParam::pkRandom1;
    else if (item == "R")
      p.Kind = TIGSParam::pkRandom2;
    else if (item == "x")
      p.Kind = TIGSParam::pkLoopX;
    else if (item == "y")
      p.Kind = TIGSParam::pkLoopY;
    else
      p.Value = DecimalValue(item);
    params.push_back(p);
    prefixes.push_back(prefix);
  }
  if (params.empty() || count < 1) return;
  if (letters.empty() && (command.empty() || !IsCommandLetter(uint8_t(command[0])))) return;

  FLoopParams = std::move(params);
  FLoopPrefixes = std::move(prefixes);
  FLoopLetters = letters;
  FLoopCommand = letters.empty() ? command[0] : 0;
  FLoopParamCount = int32_t(std::min<int64_t>(count, kMaxLoopCount));
  FLoopXor = xorMode;
  if (FLoopXor) {
    FSavedWritingMode = FCanvas.WritingMode;
    FCanvas.WritingMode = TIGSCanvas::wmXor;
  }
  FLoopFrom = from;
  FLoopTo = to;
  FLoopAscending = to >= from;
  FLoopStep = FLoopAscending ? std::llabs(step) : -std::llabs(step);
  FLoopDelay = delay;
  FLoopValue = from;
  FLoopParamCursor = 0;
  FLoopIterations = 0;
  FLoopActive = true;
  RunLoop();
}

// A loop without a delay runs its steps at once, as far as the budget of
// this call goes; the rest follow from ProcessQueued. With a delay, one
// step runs now and the others one per wait.
void TIGSParser::RunLoop() {
  if (FLoopDelay >= 1) {
    LoopStep();
    return;
  }
  while (FLoopActive && BudgetLeft() && LoopStep()) {
  }
}

bool TIGSParser::LoopStep() {
  const bool passed = FLoopAscending ? FLoopValue > FLoopTo : FLoopValue < FLoopTo;
  if (!passed && FLoopIterations <= kMaxLoopSteps) {
    const int64_t x = FLoopValue;
    const int64_t y = FLoopTo + FLoopFrom - x;
    TIntArray values(static_cast<size_t>(FLoopParamCount));
    for (int32_t k = 0; k < FLoopParamCount; ++k) {
      const TIGSParam& p = FLoopParams[FLoopParamCursor];
      int64_t v = ResolveParam(p, x, y);
      switch (FLoopPrefixes[FLoopParamCursor]) {
        case '!': v = v - x; break;
        case '+': v = v + x; break;
        case '-': v = x - v; break;
        default: break;
      }
      values[size_t(k)] = Saturate(v);
      FLoopParamCursor = (FLoopParamCursor + 1) % FLoopParams.size();
    }
    FCanvas.Work += kCommandWork + FLoopParamCount;
    if (!FLoopLetters.empty()) {
      if (values.size() >= 2) {
        const char letter = FLoopLetters[size_t(std::llabs(int64_t(values[0])) % int64_t(FLoopLetters.size()))];
        const int32_t n = ParamCount(letter, values[1]);
        if (n > 0 && int64_t(values.size()) - 1 >= n)
          ExecuteCommand(letter, TIntArray(values.begin() + 1, values.begin() + 1 + n), std::string());
      }
    } else {
      const int32_t n = ParamCount(FLoopCommand, values[0]);
      if (n > 0)
        for (size_t g = 0; g + size_t(n) <= values.size(); g += size_t(n))
          ExecuteCommand(FLoopCommand, TIntArray(values.begin() + ptrdiff_t(g), values.begin() + ptrdiff_t(g + n)),
                         std::string());
    }
    FLoopValue += FLoopStep;
    ++FLoopIterations;
    const bool within = FLoopAscending ? FLoopValue <= FLoopTo : FLoopValue >= FLoopTo;
    if (within) {
      if (FLoopDelay > 0) StartWait(int64_t(FLoopDelay) * 5);
      return true;
    }
  }
  FLoopActive = false;
  if (FLoopXor) FCanvas.WritingMode = FSavedWritingMode;
  return false;
}

int32_t TIGSParser::ParamCount(char letter, int64_t first) {
  switch (letter) {
    case 'H': case 'I': case 'M': case 'd': case 'g': case 'k': case 'l': case 'q': case 'r': case 's':
    case 't': case 'v': case 'w':
      return 1;
    case 'C': case 'D': case 'F': case 'P': case 'R': case 'W': case 'c': case 'i': case 'm': case 'p':
      return 2;
    case 'A': case 'E': case 'O': case 'T': return 3;
    case 'L': case 'Q': case 'S': case 'Z': return 4;
    case 'B': case 'K': case 'U': case 'V': return 5;
    case 'J': case 'Y': case 'n': return 6;
    case 'G':
      if (first == 0 || first == 3 || first == 4) return 8;
      if (first == 1) return 6;
      if (first == 2) return 4;
      return 2;
    case 'f':
    case 'z':
      return first > 0 ? int32_t(std::min<int64_t>(2 * first + 1, int64_t(kMaxParams))) : 1;
    default: return 0;
  }
}

// ---------------------------------------------------------------- commands

TIGSPoints TIGSParser::PointList(const TIntArray& p) const {
  const int64_t n = std::min<int64_t>(p[0], int64_t(p.size() - 1) / 2);
  TIGSPoints points;
  if (n <= 0) return points;
  points.reserve(size_t(n));
  for (int64_t i = 0; i < n; ++i) points.push_back({p[size_t(1 + 2 * i)], p[size_t(2 + 2 * i)]});
  return points;
}

void TIGSParser::DrawEllipse(int64_t x, int64_t y, int64_t rx, int64_t ry, int64_t start, int64_t end, bool pie) {
  TIGSPoints points = FCanvas.EllipsePoints(x, y, start, end, ry, rx);
  if (pie) points.push_back({x, y});
  FCanvas.FillPolygon(points);
}

void TIGSParser::ExecuteCommand(char letter, const TIntArray& p, const std::string& text) {
  FGraphicsShown = true;
  FCanvas.Dirty = true;
  FCanvas.Work += kCommandWork;
  const size_t count = p.size();
  auto P = [&](size_t i) -> int64_t { return i < count ? p[i] : 0; };
  auto needs = [&](size_t n) { return count >= n; };
  TIGSCanvas& c = FCanvas;

  switch (letter) {
    case '?':
      if (!needs(1) || !OnReply) return;
      if (P(0) == 0) OnReply("2.19");
      if (P(0) == 3) OnReply(std::to_string(c.Resolution()) + ":");
      return;
    case 'A': {
      if (!needs(3)) return;
      const int64_t style = P(0), index = P(1);
      if (style == TIGSCanvas::fsHollow || style == TIGSCanvas::fsSolid) {
        c.FillStyle = int32_t(style);
      } else if ((style == TIGSCanvas::fsPattern && index >= 1 && index <= 24) ||
                 (style == TIGSCanvas::fsHatch && index >= 1 && index <= 12) ||
                 (style == TIGSCanvas::fsUser && index >= 0 && index <= 9)) {
        c.FillStyle = int32_t(style);
        c.FillIndex = int32_t(index);
      }
      c.Outline = P(2) != 0;
      return;
    }
    case 'B':
      if (!needs(4)) return;
      if (count >= 5 && P(4) != 0) {
        c.RoundedBox(P(0), P(1), P(2), P(3), true);
        if (c.Outline) c.RoundedBox(P(0), P(1), P(2), P(3), false);
      } else {
        c.Box(P(0), P(1), P(2), P(3));
        if (c.Outline) c.Rectangle(P(0), P(1), P(2), P(3), c.FillColor);
      }
      return;
    case 'C': {
      if (!needs(2)) return;
      const uint8_t reg = c.PenToRegister(P(1));
      switch (P(0)) {
        case 0: c.MarkerColor = reg; break;
        case 1: c.LineColor = reg; break;
        case 2: c.FillColor = reg; break;
        case 3: c.TextColorReg = reg; break;
        default: break;
      }
      return;
    }
    case 'D':
      if (!needs(2)) return;
      c.Line(c.PenX, c.PenY, P(0), P(1), c.LinePattern(), c.LineColor);
      c.PenX = P(0);
      c.PenY = P(1);
      return;
    case 'E':
      if (!needs(3)) return;
      c.TextEffects = int32_t(P(0) & 31);
      c.TextHeight = int32_t(P(1));
      c.TextRotation = (P(2) >= 0 && P(2) <= 3) ? int32_t(P(2)) : 0;
      return;
    case 'F':
      if (needs(2)) c.FloodFill(P(0), P(1));
      return;
    case 'G':
      if (needs(2)) c.BlockOp(p);
      return;
    case 'H':
      if (!needs(1)) return;
      if (P(0) != 0) {
        c.FillStyle = TIGSCanvas::fsHollow;
        c.WritingMode = TIGSCanvas::wmTransparent;
        c.Outline = true;
      } else {
        c.FillStyle = TIGSCanvas::fsSolid;
        c.WritingMode = TIGSCanvas::wmReplace;
        c.Outline = false;
      }
      return;
    case 'I':
      if (!needs(1) || c.Resolution() != 0) return;
      switch (P(0)) {
        case 0:
          c.LoadPalettePreset(0);
          c.ResetAttributes();
          break;
        case 1:
        case 4: c.LoadPalettePreset(0); break;
        case 2: c.ResetAttributes(); break;
        case 3: c.LoadPalettePreset(1); break;
        default: break;
      }
      return;
    case 'J':
      if (!needs(6)) return;
      c.Polyline(c.EllipsePoints(P(0), P(1), P(4) * 10, P(5) * 10, P(3), P(2)), c.LineColor, false);
      return;
    case 'K':
      if (!needs(5)) return;
      c.Polyline(c.EllipsePoints(P(0), P(1), P(3) * 10, P(4) * 10, P(2), P(2)), c.LineColor, false);
      return;
    case 'L':
      if (!needs(4)) return;
      c.Line(P(0), P(1), P(2), P(3), c.LinePattern(), c.LineColor);
      c.PenX = P(2);
      c.PenY = P(3);
      return;
    case 'M':
      if (needs(1) && P(0) >= 1 && P(0) <= 4) c.WritingMode = int32_t(P(0));
      return;
    case 'O':
      if (needs(3)) DrawEllipse(P(0), P(1), P(2), c.AspectY(P(2)), 0, 3600, false);
      return;
    case 'P':
      if (!needs(2)) return;
      c.Plot(P(0), P(1));
      c.PenX = P(0);
      c.PenY = P(1);
      return;
    case 'Q':
      if (needs(4)) DrawEllipse(P(0), P(1), P(2), P(3), 0, 3600, false);
      return;
    case 'R': {
      if (!needs(1)) return;
      const int resolution = (P(0) >= 0 && P(0) <= 2) ? int(P(0)) : 0;
      c.SetResolution(resolution, true);
      if (OnColumnModeSwitch) OnColumnModeSwitch(resolution);
      if (resolution == 0) {
        if (P(1) == 1 || P(1) == 3) c.LoadPalettePreset(0);
        if (P(1) == 2) c.LoadPalettePreset(1);
      } else {
        c.LoadPalettePreset(resolution == 1 ? 2 : 3);
      }
      return;
    }
    case 'S':
      if (!needs(4) || P(0) < 0 || P(0) >= c.ColorCount()) return;
      c.SetPaletteEntry(c.PenToRegister(P(0)), int(P(1) & 7), int(P(2) & 7), int(P(3) & 7));
      return;
    case 'T':
      if (!needs(3)) return;
      if (P(0) == 1) {
        c.MarkerType = (P(1) >= 1 && P(1) <= 6) ? int32_t(P(1)) : 1;
        c.MarkerSize = (P(2) >= 1 && P(2) <= 8) ? int32_t(P(2)) : 1;
      } else if (P(0) == 2) {
        c.LineType = (P(1) >= 1 && P(1) <= 7) ? int32_t(P(1)) : 1;
      }
      return;
    case 'U':
      if (!needs(4)) return;
      c.RoundedBox(P(0), P(1), P(2), P(3), true);
      if (c.Outline) c.RoundedBox(P(0), P(1), P(2), P(3), false);
      return;
    case 'V':
      if (needs(5)) DrawEllipse(P(0), P(1), P(2), c.AspectY(P(2)), P(3) * 10, P(4) * 10, true);
      return;
    case 'W':
      if (!needs(2)) return;
      c.Font8x8 = FFont8x8;
      c.Font8x14 = FFont8x14;
      c.DrawText(text, P(0), P(1));
      return;
    case 'X':
      if (needs(1)) ExecuteX(p, text);
      return;
    case 'Y':
      if (needs(6)) DrawEllipse(P(0), P(1), P(2), c.AspectY(P(3)), P(4) * 10, P(5) * 10, true);
      return;
    case 'Z':
      if (needs(4)) c.Box(P(0), P(1), P(2), P(3));
      return;
    case 'b':
      if (needs(1)) ExecuteSound(p);
      return;
    case 'f':
      if (needs(3) && P(0) > 0) c.FillPolygon(PointList(p));
      return;
    case 'k':
      if (!needs(1) || !FBuffer) return;
      if (P(0) == 0) FBuffer->SetCursorVisible(false);
      if (P(0) == 1) FBuffer->SetCursorVisible(true);
      return;
    case 'l':
      if (FBuffer) FBuffer->EraseToEndOfLine();
      return;
    case 'm': {
      if (!needs(2) || !FBuffer) return;
      // Moves are cut to the largest grid, so the cursor arithmetic cannot wrap.
      auto cut = [](int64_t v) { return int(std::clamp<int64_t>(v, -TTerminalBuffer::MaxWidth, TTerminalBuffer::MaxWidth)); };
      const int64_t a = P(0), b = P(1);
      if (a != 0 && b == 0)
        FBuffer->MoveCursorBy(cut(a), 0);
      else if (a == 0 && b != 0)
        FBuffer->MoveCursorBy(0, cut(b));  // a bare row count moves down (up when negative)
      else if (a == 1)
        FBuffer->MoveCursorBy(0, cut(b));
      else if (a == 2)
        FBuffer->MoveCursorBy(cut(-b), 0);
      else if (a != 0)
        FBuffer->MoveCursorBy(cut(b), 0);
      return;
    }
    case 'n': {
      if (!needs(6)) return;
      const int64_t effect = P(0), voice = P(1), volume = P(2), note = P(3), time = P(4), then = P(5);
      if (FSynth && note > 0) {
        FSynth->PlayNote(int(std::clamp<int64_t>(effect, -1, 99)), int(std::clamp<int64_t>(voice, -1, 99)),
                         int(std::min<int64_t>(note, INT32_MAX)), int(std::clamp<int64_t>(volume, -1, 99)));
        if (OnSoundStarted) OnSoundStarted();
      }
      if (time > 0) {
        StartWait(time * 5);
        FPendingSoundOp = int32_t(then);
        FPendingSoundVoice = int32_t(voice);
      } else {
        SoundOp(int32_t(then), int32_t(voice));
      }
      return;
    }
    case 'p':
      if (needs(2) && FBuffer) FBuffer->GotoXY(int(P(0)), int(P(1)));
      return;
    case 'q':
      if (needs(1) && P(0) >= 1 && P(0) <= 180) StartWait(P(0) * 1000 / 60);
      return;
    case 's': ExecuteScreen(int32_t(P(0))); return;
    case 't':
      if (needs(1)) StartWait(P(0) * 1000);
      return;
    case 'v':
      if (needs(1) && FBuffer) FBuffer->SetReverse(P(0) != 0);
      return;
    case 'z': {
      if (!needs(3) || P(0) <= 0) return;
      const TIGSPoints points = PointList(p);
      if (points.empty()) return;
      c.Polyline(points, c.LineColor, false);
      c.PenX = points.back().X;
      c.PenY = points.back().Y;
      return;
    }
    default: return;  // "<", "N", "c", "d", "g", "i", "r", "w" take parameters and do nothing
  }
}

void TIGSParser::ExecuteScreen(int32_t what) {
  TIGSCanvas& c = FCanvas;
  switch (what) {
    case 0:
    case 4:
      c.ClearCanvas();
      if (FBuffer) {
        FBuffer->ClearScreen(false);
        FBuffer->GotoXY(0, 0);
      }
      break;
    case 1:
      if (FBuffer) FBuffer->EraseToStartOfScreen();
      break;
    case 2:
      if (FBuffer) FBuffer->EraseToEndOfScreen();
      break;
    case 3:
      c.ClearCanvas();
      if (FBuffer) {
        const int x = FBuffer->CursorX, y = FBuffer->CursorY;
        FBuffer->ClearScreen(false);
        FBuffer->GotoXY(x, y);
      }
      break;
    case 5:
      c.ClearCanvas();
      c.LoadPalettePreset(c.Resolution() == 0 ? 0 : c.Resolution() == 1 ? 2 : 3);
      if (FBuffer) {
        FBuffer->ClearScreen(false);
        FBuffer->GotoXY(0, 0);
        FBuffer->SetReverse(false);
      }
      break;
    default: break;
  }
}

void TIGSParser::ExecuteX(const TIntArray& p, const std::string& text) {
  const size_t count = p.size();
  auto P = [&](size_t i) -> int32_t { return i < count ? p[i] : 0; };
  switch (P(0)) {
    case 2:
      if (count == 3) {
        FRandomLo1 = P(1);
        FRandomHi1 = P(2);
      } else if (count >= 4) {
        FRandomLo2 = P(1);
        FRandomHi2 = P(3);
      }
      return;
    case 4: {
      if (P(1) == 9999) {
        FZones.clear();
        return;
      }
      if (P(1) > 9996 || count < 7) return;
      TIGSZone z;
      z.Id = P(1);
      z.X1 = std::min(P(2), P(4));
      z.Y1 = std::min(P(3), P(5));
      z.X2 = std::max(P(2), P(4));
      z.Y2 = std::max(P(3), P(5));
      z.Text = text;
      if (P(6) > 0 && size_t(P(6)) < z.Text.size()) z.Text.resize(size_t(P(6)));
      if (FZones.size() >= kMaxZones) {
        // The newest zone wins a click, so the oldest is the one to lose.
        FZones.erase(FZones.begin());
        LogLine("IGS: more than " + std::to_string(kMaxZones) + " mouse zones, the oldest dropped");
      }
      FZones.push_back(std::move(z));
      return;
    }
    case 7: {
      const int32_t index = P(1);
      if (index < 0 || index > 7) return;
      std::vector<uint16_t>& rows = FCanvas.UserPatterns[size_t(index)];
      rows.clear();
      for (size_t g = 0; g + 16 <= text.size() && rows.size() < 16; g += 16) {
        uint16_t row = 0;
        for (int col = 0; col < 16; ++col)
          if (text[g + size_t(col)] == 'X' || text[g + size_t(col)] == 'x') row |= uint16_t(1u << (15 - col));
        rows.push_back(row);
      }
      return;
    }
    case 10:
      if (count >= 3) {
        FCanvas.PenX = P(1);
        FCanvas.PenY = P(2);
      }
      return;
    default: return;
  }
}

void TIGSParser::ExecuteSound(const TIntArray& p) {
  if (!FSynth) return;
  const size_t count = p.size();
  auto P = [&](size_t i) -> int64_t { return i < count ? p[i] : 0; };
  const int64_t what = P(0);
  if (what >= 0 && what <= 19) {
    FSynth->PlayEffect(int(what));
  } else if (what == 20) {
    if (count >= 7) {
      int64_t value = std::min<int64_t>(P(5), 32) * 1000 + P(6);
      if (P(4) != 0) value = -value;
      const int effect = int(std::clamp<int64_t>(P(2), -1, 99));
      FSynth->SetEffectWord(effect, int(std::clamp<int64_t>(P(3), -1, 99)), int32_t(value));
      if (P(1) != 0) FSynth->PlayEffect(effect);
    }
  } else if (what == 21) {
    FSynth->StopAll();
  } else if (what == 22) {
    if (count >= 2) FSynth->RestoreEffect(int(std::clamp<int64_t>(P(1), -1, 99)));
  } else if (what == 23) {
    if (count >= 2) FSynth->SetRepeatCount(int(std::clamp<int64_t>(P(1), -1, 99)));
  }
  if (OnSoundStarted) OnSoundStarted();
}

void TIGSParser::SoundOp(int32_t op, int32_t voice) {
  if (!FSynth) return;
  switch (op) {
    case 1: FSynth->KeyOff(voice); break;
    case 2: FSynth->ReleaseVoice(voice); break;
    case 3: FSynth->KeyOffAll(); break;
    case 4: FSynth->StopAll(); break;
    default: break;
  }
}

bool TIGSParser::MouseZoneAt(int x, int y, std::string& text) const {
  for (auto it = FZones.rbegin(); it != FZones.rend(); ++it) {
    if (x >= it->X1 && x <= it->X2 && y >= it->Y1 && y <= it->Y2) {
      text = it->Text;
      return true;
    }
  }
  text.clear();
  return false;
}

bool TIGSParser::TakeDirty() {
  const bool d = FCanvas.Dirty;
  FCanvas.Dirty = false;
  return d;
}
