// KVScript values and their conversions, the wrapping 64-bit arithmetic of
// the language, variable scopes, and the life of a TScript object (parse
// entry, globals, stop checks). The lexer, parser, interpreter and built-in
// functions live in their own units.
#include "data/uScript.h"

#include <array>
#include <limits>

#include "platform/Stack.h"

namespace {

bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 32; }

bool HasUpper(std::string_view s) {
  for (char c : s)
    if (c >= 'A' && c <= 'Z') return true;
  return false;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return out;
}

// The value of one digit in Base, or -1.
int DigitValue(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

// Digits of Base as an unsigned 64-bit value; false when a character is not a
// digit, there is none, or the value does not fit in 64 bits.
bool ReadDigits(std::string_view s, int base, uint64_t& value) {
  if (s.empty()) return false;
  const int shift = base == 16 ? 4 : base == 8 ? 3 : base == 2 ? 1 : 0;
  uint64_t acc = 0;
  for (char c : s) {
    int d = DigitValue(c, base);
    if (d < 0) return false;
    if (shift == 0) {
      if (__builtin_mul_overflow(acc, uint64_t(10), &acc) || __builtin_add_overflow(acc, uint64_t(d), &acc))
        return false;
    } else {
      if ((acc >> (64 - shift)) != 0) return false;
      acc = (acc << shift) | uint64_t(d);
    }
  }
  value = acc;
  return true;
}

constexpr std::array<std::string_view, 21> kReservedWords = {
    "if",     "then", "elseif", "else",     "end",      "while",  "do",  "for", "to",  "step", "repeat",
    "until", "function", "return", "break", "continue", "exit", "var", "and", "or",  "not"};

}  // namespace

TValue MakeIntValue(int64_t n) {
  TValue v;
  v.Int = n;
  return v;
}

TValue MakeStrValue(std::string s) {
  TValue v;
  v.Kind = vkStr;
  v.Str = std::move(s);
  return v;
}

std::string ValueToStr(const TValue& v) { return v.Kind == vkStr ? v.Str : std::to_string(v.Int); }

int64_t ValueToInt(const TValue& v) {
  if (v.Kind == vkInt) return v.Int;
  std::string_view s = v.Str;
  while (!s.empty() && IsBlankByte(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankByte(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && (s.front() == '$' || s.front() == 'x' || s.front() == 'X')) {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && s.front() == '%') {
    base = 2;
    s.remove_prefix(1);
  } else if (!s.empty() && s.front() == '&') {
    base = 8;
    s.remove_prefix(1);
  }
  uint64_t magnitude = 0;
  if (!ReadDigits(s, base, magnitude)) return 0;
  if (base == 10) {
    const uint64_t limit = uint64_t(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0);
    if (magnitude > limit) return 0;
  }
  return negative ? WrapNeg(int64_t(magnitude)) : int64_t(magnitude);
}

bool ValueIsTrue(const TValue& v) { return v.Kind == vkInt ? v.Int != 0 : !v.Str.empty(); }

int64_t WrapAdd(int64_t a, int64_t b) { return int64_t(uint64_t(a) + uint64_t(b)); }
int64_t WrapSub(int64_t a, int64_t b) { return int64_t(uint64_t(a) - uint64_t(b)); }
int64_t WrapMul(int64_t a, int64_t b) { return int64_t(uint64_t(a) * uint64_t(b)); }
int64_t WrapNeg(int64_t a) { return int64_t(uint64_t(0) - uint64_t(a)); }

int64_t WrapDiv(int64_t a, int64_t b) {
  if (b == -1) return WrapNeg(a);  // the lowest value over -1 would trap
  return a / b;
}

int64_t WrapMod(int64_t a, int64_t b) {
  if (b == -1) return 0;
  return a % b;
}

void CheckTextLength(uint64_t length, int32_t line) {
  if (length > kMaxTextLength) throw EScriptError::CreateAt(line, kTextTooLongError);
}

bool IsReservedWord(std::string_view text) {
  for (std::string_view word : kReservedWords)
    if (word == text) return true;
  return false;
}

TNode::~TNode() {
  // Children are taken apart through a list of their own, so freeing a tall
  // tree needs no stack in proportion to its height.
  std::vector<std::unique_ptr<TNode>> pending = std::move(Children);
  while (!pending.empty()) {
    std::unique_ptr<TNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->Children) pending.push_back(std::move(child));
    node->Children.clear();
  }
}

int32_t TVarScope::IndexOf(std::string_view name) const {
  auto it = HasUpper(name) ? FIndex.find(Lower(name)) : FIndex.find(std::string(name));
  return it == FIndex.end() ? -1 : it->second;
}

void TVarScope::SetValue(std::string_view name, TValue value) {
  std::string key = Lower(name);
  auto it = FIndex.find(key);
  if (it != FIndex.end()) {
    Values[size_t(it->second)] = std::move(value);
    return;
  }
  FIndex.emplace(key, int32_t(Names.size()));
  Names.push_back(std::move(key));
  Values.push_back(std::move(value));
}

TScript::TScript() : Globals(std::make_unique<TVarScope>()) {}

TScript::~TScript() = default;

void TScript::Parse(const std::string& source, const std::string& name) {
  Name = name;
  Root.reset();
  Funcs.clear();
  FFuncIndex.clear();
  Tokens.clear();
  Pos = 0;
  FNesting = 0;
  FStackFloor = platform::StackFloor(kStackReserve);
  try {
    Tokenize(source);
    Root = ParseBlock({});
  } catch (...) {
    Root.reset();
    Funcs.clear();
    FFuncIndex.clear();
    throw;
  }
}

void TScript::SetGlobal(const std::string& name, const std::string& text) {
  Globals->SetValue(Lower(name), MakeStrValue(text));
}

void TScript::CheckStopped() {
  if (Host && Host->IsStopped()) throw EScriptAbort();
}
