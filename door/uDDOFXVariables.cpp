// The reply road, the 1000 door variables, their substitution into
// commands, the comparison rule and the "~" command family.
#include <algorithm>

#include "door/uDDOFXPack.h"
#include "door/uDDOFXParser.h"
#include "door/uDDOFXText.h"
#include "core/uPlainFileName.h"

using namespace ddofxtext;

namespace {

constexpr int kRepeatLimit = 10000;

// Piece P trimmed as a 32-bit integer, Def when missing or not a number.
int Arg(const std::vector<std::string>& pieces, size_t p, int def) {
  return p < pieces.size() ? IntDef(Trim(pieces[p]), def) : def;
}

std::string Piece(const std::vector<std::string>& pieces, size_t p) {
  return p < pieces.size() ? pieces[p] : std::string();
}

}  // namespace

// --- Arithmetic ---------------------------------------------------------------

int64_t TDDOFXParser::WrapAdd(int64_t a, int64_t b) { return int64_t(uint64_t(a) + uint64_t(b)); }
int64_t TDDOFXParser::WrapSub(int64_t a, int64_t b) { return int64_t(uint64_t(a) - uint64_t(b)); }
int64_t TDDOFXParser::WrapMul(int64_t a, int64_t b) { return int64_t(uint64_t(a) * uint64_t(b)); }

int64_t TDDOFXParser::RoundedQuotient(int64_t a, int64_t b) {
  if (b == -1) return WrapSub(0, a);  // the lowest value over -1 wraps to itself
  const int64_t q = a / b, r = a % b;
  if (r == 0) return q;
  // Compare the remainder with half the divisor in unsigned magnitudes, so
  // no step can overflow: up when |r| > |b| - |r|, or equal and q is odd.
  const uint64_t ar = r < 0 ? 0 - uint64_t(r) : uint64_t(r);
  const uint64_t ab = b < 0 ? 0 - uint64_t(b) : uint64_t(b);
  const uint64_t rest = ab - ar;
  if (ar > rest || (ar == rest && (q & 1) != 0)) return (a < 0) != (b < 0) ? q - 1 : q + 1;
  return q;
}

// --- Splitting ----------------------------------------------------------------

std::vector<std::string> TDDOFXParser::SplitParams(const std::string& text, int limit) {
  std::vector<std::string> pieces;
  std::string current;
  int depth = 0;
  for (char c : text) {
    if (c == '(' || c == '[') ++depth;
    if ((c == ')' || c == ']') && depth > 0) --depth;
    if (c == ',' && depth == 0 && (limit <= 0 || int(pieces.size()) < limit - 1)) {
      pieces.push_back(current);
      current.clear();
      continue;
    }
    current.push_back(c);
  }
  pieces.push_back(current);
  return pieces;
}

// --- Replies and storage ------------------------------------------------------

void TDDOFXParser::SendReply(const std::string& text) {
  if (FCapturing) {
    FCaptured = text;
    return;
  }
  if (FPendingVar > 0) {
    int64_t v = 0;
    SetVariable(FPendingVar, text, !text.empty() && ParseInt64(text, v));
    return;
  }
  Send(text + '\xFF');
}

void TDDOFXParser::Send(const std::string& text) {
  if (Sender && !text.empty()) Sender(text);
}

void TDDOFXParser::SetVariable(int n, const std::string& text, bool isNumber) {
  if (n < 1 || n > kVars) return;
  TDDOFXVariable& v = FVars[size_t(n - 1)];
  v.Defined = true;
  v.IsNumber = isNumber;
  v.Value = text.substr(0, kValueCap);
}

const TDDOFXVariable& TDDOFXParser::Variable(int n) const {
  static const TDDOFXVariable none;
  return n >= 1 && n <= kVars ? FVars[size_t(n - 1)] : none;
}

std::string TDDOFXParser::VarValue(int n) const { return Variable(n).Value; }

int64_t TDDOFXParser::VarNumber(int n) const { return Int64Def(Trim(VarValue(n)), 0); }

int TDDOFXParser::VarRef(const std::string& arg) const {
  const std::string u = Upper(Trim(arg));
  if (u.size() <= 6 || !StartsWith(u, "DEFVAR")) return 0;
  const int n = IntDef(u.substr(6), 0);
  return n >= 1 && n <= kVars ? n : 0;
}

void TDDOFXParser::ClearVariables() {
  for (TDDOFXVariable& v : FVars) v = TDDOFXVariable();
  ClearEvents();
  FPendingVar = 0;
  FIgnoreCommands = false;
  FKeysLocked = false;
}

std::string TDDOFXParser::SubstituteVariables(const std::string& c) const {
  if (Upper(c).find("DEFVAR") == std::string::npos) return c;
  std::string out;
  const std::vector<std::string> pieces = SplitParams(c);
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out.push_back(',');
    const int n = VarRef(pieces[i]);
    out += n > 0 ? VarValue(n) : pieces[i];
  }
  return out;
}

// --- Queries a comparison may make ------------------------------------------

std::string TDDOFXParser::CaptureAnswer(const std::string& command) {
  FCapturing = true;
  FCaptured.clear();
  RunCommand(command);
  FCapturing = false;
  std::string answer;
  answer.swap(FCaptured);
  return answer;
}

void TDDOFXParser::QueryValueForVariable(const std::string& x, bool queries, std::string& value, bool& isNumber) {
  if (const int n = VarRef(x)) {
    value = VarValue(n);
    isNumber = Variable(n).IsNumber;
    return;
  }
  value = x;
  std::replace(value.begin(), value.end(), '~', ',');
  isNumber = false;
  if (!queries) return;
  const std::string u = Upper(Trim(x));
  for (const char* word : {"LITERM", "VCARD", "GETMUSIC", "GETTHEME", "GETFONT", "ACARD", "MUSICON", "SOUNDON"})
    if (u == word) {
      value = CaptureAnswer("d" + u);
      return;
    }
  for (const char* word : {"MEM", "DRIVE", "SPEED"})
    if (u == word) {
      value = CaptureAnswer("d" + u);
      isNumber = true;
      return;
    }
  if (u == "MOUSE") {
    value = "3";
    isNumber = true;
    return;
  }
  if (StartsWith(u, "RESOURCE|")) {
    isNumber = true;
    value = "-1";
    std::vector<std::string> pieces;
    std::string rest = Trim(x);
    for (size_t at; (at = rest.find('|')) != std::string::npos; rest.erase(0, at + 1))
      pieces.push_back(rest.substr(0, at));
    pieces.push_back(rest);
    std::string data;
    if (pieces.size() >= 3 && !FAssetDir.empty()) {
      const std::string pack = FindPlainFile(FAssetDir, pieces[1]);
      if (!pack.empty() && ddofxpack::LoadPackEntry(pack, pieces[2], data)) value = "0";
    }
    return;
  }
  if (u.size() > 1 && (u[0] == 'F' || u[0] == 'M' || u[0] == 'R' || u[0] == 'T'))
    value = CaptureAnswer(std::string("d") + char(u[0] + 32) + Trim(x).substr(1));
}

bool TDDOFXParser::Compare(const std::string& l, const std::string& o, const std::string& r) {
  std::string a, b;
  bool number = false, ignored = false;
  QueryValueForVariable(l, true, a, number);
  QueryValueForVariable(r, false, b, ignored);
  int c = 0;
  if (number) {
    const int64_t x = Int64Def(Trim(a), 0), y = Int64Def(Trim(b), 0);
    c = x < y ? -1 : x > y ? 1 : 0;
  } else {
    const int k = Upper(a).compare(Upper(b));
    c = k < 0 ? -1 : k > 0 ? 1 : 0;
  }
  const std::string op = Trim(o);
  if (op == "=") return c == 0;
  if (op == ">") return c > 0;
  if (op == "<") return c < 0;
  if (op == ">=") return c >= 0;
  if (op == "<=") return c <= 0;
  if (op == "<>") return c != 0;
  return false;
}

void TDDOFXParser::OnResult(const std::string& send, const std::string& macro, int reg, int64_t value) {
  TTopLevel top(*this);
  if (reg > 0) SetVariable(reg, std::to_string(value), true);
  if (!macro.empty()) ReplayMacro(macro);
  if (!send.empty()) Send(DecodeCarets(send));
}

// --- The "~" family -----------------------------------------------------------

bool TDDOFXParser::ExecuteVarCommand(const std::string& c) {
  const std::string name = Upper(c.substr(0, c.find(',')));
  if (name == "~HEARCMD") {
    FIgnoreCommands = false;
    return true;
  }
  if (name == "~IGNORCMD") {
    FIgnoreCommands = true;
    return true;
  }
  if (name == "~LOCKKEYS" || name == "~UNLOCKKEYS") {
    FKeysLocked = name == "~LOCKKEYS";
    return true;
  }
  if (name == "~IFVAR" || name == "~REPVAR") {
    const std::vector<std::string> p = SplitParams(c, 5);
    if (p.size() < 5) return true;
    if (name == "~IFVAR") {
      if (Compare(p[1], p[2], p[3])) ReplayMacro(p[4]);
      return true;
    }
    for (int i = 0; i < kRepeatLimit && FReplaysLeft > 0 && !Compare(p[1], p[2], p[3]); ++i) ReplayMacro(p[4]);
    return true;
  }
  if (name == "~REPMAC") {
    const std::vector<std::string> p = SplitParams(SubstituteVariables(c), 3);
    const int count = std::clamp(Arg(p, 1, 0), 0, kRepeatLimit);
    const std::string macro = Piece(p, 2);
    for (int i = 0; i < count && FReplaysLeft > 0; ++i) ReplayMacro(macro);
    return true;
  }
  if (name == "~DEFVAR") {
    const std::vector<std::string> p = SplitParams(c, 4);
    const int n = Arg(p, 1, 0);
    if (n == 0) {
      for (TDDOFXVariable& v : FVars) {
        v.Defined = false;
        v.Value.clear();
      }
    } else {
      SetVariable(n, Piece(p, 3).substr(0, 50), Arg(p, 2, 0) == 2);
    }
    return true;
  }
  if (name == "~PADVARL" || name == "~PADVARR") {
    const std::vector<std::string> p = SplitParams(c, 4);
    const int n = Arg(p, 1, 0);
    const std::string pad = Piece(p, 3);
    if (!pad.empty() && n >= 1 && n <= kVars) {
      std::string& value = FVars[size_t(n - 1)].Value;
      const size_t length = size_t(std::clamp(Arg(p, 2, 0), 0, int(kValueCap)));
      if (value.size() < length) value.insert(name == "~PADVARL" ? 0 : value.size(), length - value.size(), pad[0]);
    }
    return true;
  }
  if (name == "~VARPOS") {
    const std::vector<std::string> p = SplitParams(c, 4);
    const std::string needle = Piece(p, 3);
    const size_t at = needle.empty() ? std::string::npos : VarValue(Arg(p, 1, 0)).find(needle);
    SetVariable(Arg(p, 2, 0), std::to_string(at == std::string::npos ? 0 : at + 1), true);
    return true;
  }

  static const char* const kSecond[] = {"~VARCAP", "~CAPVAR", "~INCVAR", "~DECVAR", "~RNDVAR", "~VARCPY",
                                        "~VARINS", "~VARDEL", "~VARLEN", "~VAREQU", "~VARTYP", "~VARADD",
                                        "~VARSUB", "~VARMLT", "~VARDIV", "~GTXTFLD+", "~GTXTFLD-"};
  const bool known = std::find_if(std::begin(kSecond), std::end(kSecond),
                                  [&name](const char* k) { return name == k; }) != std::end(kSecond);
  if (!known && !StartsWith(name, "~GTXTFLD")) return false;
  const std::vector<std::string> p = SplitParams(SubstituteVariables(c));
  const int n = Arg(p, 1, 0);
  if (name == "~VARCAP") {
    FPendingVar = std::clamp(n, 0, kVars);
    return true;
  }
  if (n < 1 || n > kVars) return true;
  if (!known) return false;  // "~GTXTFLD" without its sign
  TDDOFXVariable& v = FVars[size_t(n - 1)];

  if (name == "~CAPVAR") {
    v.Value = Upper(v.Value);
  } else if (name == "~INCVAR" || name == "~DECVAR") {
    const bool inc = name == "~INCVAR";
    if (v.IsNumber) {
      v.Value = std::to_string(inc ? WrapAdd(VarNumber(n), 1) : WrapSub(VarNumber(n), 1));
    } else if (inc) {
      if (v.Value.size() < kValueCap) v.Value.push_back(' ');
    } else if (!v.Value.empty()) {
      v.Value.pop_back();
    }
    v.Defined = true;
  } else if (name == "~RNDVAR") {
    const int64_t m = std::clamp<int64_t>(Arg(p, 2, 1), 1, 2147483647);
    FRandom ^= FRandom << 13;
    FRandom ^= FRandom >> 17;
    FRandom ^= FRandom << 5;
    SetVariable(n, std::to_string(1 + int64_t(FRandom % uint64_t(m))), !(v.Defined && !v.IsNumber));
  } else if (name == "~VARCPY") {
    const int target = Arg(p, 2, 0);
    if (target >= 1 && target <= kVars) {
      const std::string source = v.Value;
      const int start = std::max(1, Arg(p, 3, 1)), count = Arg(p, 4, 0);
      TDDOFXVariable& t = FVars[size_t(target - 1)];
      t.Defined = true;
      t.Value = count <= 0 || size_t(start) > source.size() ? std::string()
                                                             : source.substr(size_t(start - 1), size_t(count));
    }
  } else if (name == "~VARINS") {
    const int target = Arg(p, 2, 0);
    if (target >= 1 && target <= kVars) {
      const std::string source = v.Value;
      TDDOFXVariable& t = FVars[size_t(target - 1)];
      const size_t at = std::min(size_t(std::max(1, Arg(p, 3, 1)) - 1), t.Value.size());
      t.Value.insert(at, source);
      t.Value.resize(std::min(t.Value.size(), kValueCap));
      t.Defined = true;
    }
  } else if (name == "~VARDEL") {
    const int start = Arg(p, 2, 1), count = Arg(p, 3, 0);
    if (start >= 1 && size_t(start) <= v.Value.size() && count > 0) v.Value.erase(size_t(start - 1), size_t(count));
  } else if (name == "~VARLEN") {
    SetVariable(Arg(p, 2, 0), std::to_string(v.Value.size()), true);
  } else if (name == "~VAREQU") {
    const std::string source = VarValue(Arg(p, 2, 0));
    v.Defined = true;
    v.Value = source;
  } else if (name == "~VARTYP") {
    v.Defined = true;
    v.IsNumber = Arg(p, 2, 0) == 2;
  } else if (name == "~VARADD" || name == "~VARSUB" || name == "~VARMLT" || name == "~VARDIV") {
    if (v.Defined && !v.IsNumber) return true;
    const int64_t a = VarNumber(n);
    const int64_t b = p.size() > 2 ? Int64Def(Trim(p[2]), 0) : 0;
    int64_t result = a;
    if (name == "~VARADD") result = WrapAdd(a, b);
    if (name == "~VARSUB") result = WrapSub(a, b);
    if (name == "~VARMLT") result = WrapMul(a, b);
    if (name == "~VARDIV" && b != 0) result = RoundedQuotient(a, b);
    if (name != "~VARDIV" || b != 0) v.Value = std::to_string(result);
    v.Defined = true;
    v.IsNumber = true;
  } else {  // ~GTXTFLD+ and ~GTXTFLD-
    const int f = Arg(p, 2, 0);
    if (f >= 1 && f <= kFields && FFields[size_t(f - 1)].Defined) {
      const TDDOFXTextField& field = FFields[size_t(f - 1)];
      const std::string text = name == "~GTXTFLD+" ? field.SendPrefix + field.Text + field.SendSuffix : field.Text;
      SetVariable(n, text.substr(0, 50), false);
    }
  }
  return true;
}
