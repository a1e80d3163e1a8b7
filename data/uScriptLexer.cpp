// The KVScript lexer: turns a script's 8-bit text into tokens, each carrying
// the line it starts on. Semicolons are whitespace, "#" and "//" start line
// comments, identifiers are folded to lower case, and string literals have
// their backslash and caret escapes resolved here.
#include "data/uScript.h"

namespace {

constexpr char kLF = 10;
constexpr char kCR = 13;
constexpr char kTab = 9;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte a backslash gives before C (other than "x" and a line feed).
char BackslashEscape(char c) {
  switch (c) {
    case '0': return 0;
    case 'b': return 8;
    case 'e': return 27;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    default: return c;
  }
}

class TLexer {
 public:
  TLexer(const std::string& source, std::vector<TToken>& out) : FSrc(source), FOut(out) {}

  void Run() {
    const size_t n = FSrc.size();
    while (FPos < n) {
      const char c = FSrc[FPos];
      if (c == kLF) {
        ++FLine;
        ++FPos;
      } else if (c == kTab || c == kCR || c == ' ' || c == ';') {
        ++FPos;
      } else if (c == '#' || (c == '/' && FPos + 1 < n && FSrc[FPos + 1] == '/')) {
        while (FPos < n && FSrc[FPos] != kLF) ++FPos;  // the LF itself counts the line
      } else if (IsLetter(c)) {
        ReadIdentifier();
      } else if (IsDigit(c)) {
        ReadNumber();
      } else if (c == '"' || c == '\'') {
        ReadString(c);
      } else {
        ReadOperator(c);
      }
    }
    Add(tkEnd, "", FLine);
  }

 private:
  void Add(int32_t kind, std::string text, int32_t line, int64_t value = 0) {
    TToken t;
    t.Kind = kind;
    t.Text = std::move(text);
    t.Value = value;
    t.Line = line;
    FOut.push_back(std::move(t));
  }

  void ReadIdentifier() {
    const size_t start = FPos;
    while (FPos < FSrc.size() && (IsLetter(FSrc[FPos]) || IsDigit(FSrc[FPos]))) ++FPos;
    std::string text = FSrc.substr(start, FPos - start);
    for (char& c : text)
      if (c >= 'A' && c <= 'Z') c = char(c + 32);
    Add(tkIdent, std::move(text), FLine);
  }

  // Decimal, or hexadecimal after "0x"; accumulated with wrap-around, so a
  // literal of any length is a value (never an overflow).
  void ReadNumber() {
    const size_t start = FPos;
    uint64_t acc = 0;
    if (FSrc[FPos] == '0' && FPos + 1 < FSrc.size() && (FSrc[FPos + 1] == 'x' || FSrc[FPos + 1] == 'X')) {
      FPos += 2;
      int d;
      while (FPos < FSrc.size() && (d = HexValue(FSrc[FPos])) >= 0) {
        acc = acc * 16 + uint64_t(d);
        ++FPos;
      }
    } else {
      while (FPos < FSrc.size() && IsDigit(FSrc[FPos])) {
        acc = acc * 10 + uint64_t(FSrc[FPos] - '0');
        ++FPos;
      }
    }
    Add(tkInt, FSrc.substr(start, FPos - start), FLine, int64_t(acc));
  }

  void ReadString(char quote) {
    const int32_t line = FLine;
    const size_t n = FSrc.size();
    std::string text;
    ++FPos;
    for (;;) {
      if (FPos >= n || FSrc[FPos] == kLF) throw EScriptError::CreateAt(FLine, "unterminated string");
      const char c = FSrc[FPos];
      if (c == quote) {
        ++FPos;
        break;
      }
      if (c == '\\' && FPos + 1 < n) {
        const char e = FSrc[FPos + 1];
        FPos += 2;
        if (e == 'x') {
          if (FPos + 1 < n && HexValue(FSrc[FPos]) >= 0 && HexValue(FSrc[FPos + 1]) >= 0) {
            text += char(HexValue(FSrc[FPos]) * 16 + HexValue(FSrc[FPos + 1]));
            FPos += 2;
          } else {
            text += 'x';
          }
        } else if (e == kLF) {
          // A line break kept in the string is still a line of the source,
          // so the lines of later tokens and errors stay right.
          text += kLF;
          ++FLine;
        } else {
          text += BackslashEscape(e);
        }
        continue;
      }
      if (c == '^' && FPos + 1 < n) {
        char e = FSrc[FPos + 1];
        if (e >= 'a' && e <= 'z') e = char(e - 32);
        if (e >= 64 && e <= 95) {
          text += char(e - 64);
          FPos += 2;
          continue;
        }
      }
      text += c;
      ++FPos;
    }
    Add(tkStr, std::move(text), line);
  }

  void ReadOperator(char c) {
    const char next = FPos + 1 < FSrc.size() ? FSrc[FPos + 1] : 0;
    static const struct {
      char First, Second;
      const char* Token;
    } kPairs[] = {{'<', '>', "<>"}, {'<', '=', "<="}, {'>', '=', ">="}, {'=', '=', "="}, {'!', '=', "<>"}};
    for (const auto& pair : kPairs) {
      if (c == pair.First && next == pair.Second) {
        Add(tkOp, pair.Token, FLine);
        FPos += 2;
        return;
      }
    }
    static const std::string_view kSingles = "%()*+,-/<=>";
    if (kSingles.find(c) != std::string_view::npos) {
      Add(tkOp, std::string(1, c), FLine);
      ++FPos;
      return;
    }
    throw EScriptError::CreateAt(FLine, std::string("unexpected character \"") + c + "\"");
  }

  const std::string& FSrc;
  std::vector<TToken>& FOut;
  size_t FPos = 0;
  int32_t FLine = 1;
};

}  // namespace

void TScript::Tokenize(const std::string& source) {
  Tokens.clear();
  Pos = 0;
  TLexer(source, Tokens).Run();
}
