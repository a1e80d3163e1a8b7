// The KVScript parser: recursive descent over the token list into the syntax
// tree, collecting every function definition into the one function table.
// The language is free-form except where RETURN and call statements look at
// line breaks. Nesting is bounded, so no script can exhaust the stack while
// it is parsed, run or freed.
#include "data/uScript.h"
#include "platform/Stack.h"

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return out;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

bool IsWord(const TToken& t, std::string_view word) { return t.Kind == tkIdent && t.Text == word; }

int32_t BinaryOpCode(std::string_view op) {
  static const struct {
    std::string_view Text;
    int32_t Code;
  } kOps[] = {{"or", opOr}, {"and", opAnd}, {"=", opEq},  {"<>", opNe},  {"<", opLt},  {">", opGt},  {"<=", opLe},
              {">=", opGe}, {"+", opAdd},   {"-", opSub}, {"*", opMul}, {"/", opDiv}, {"%", opMod}};
  for (const auto& op2 : kOps)
    if (op2.Text == op) return op2.Code;
  return opNone;
}

}  // namespace

// One level of a parse function that can recurse, refused beyond the limit
// (or where the thread's stack would run short).
class TParseLevel {
 public:
  TParseLevel(int32_t& nesting, uintptr_t stackFloor, int32_t line) : FNesting(nesting) {
    if (++FNesting > kMaxTreeHeight || platform::CurrentFrame() < stackFloor) {
      --FNesting;
      throw EScriptError::CreateAt(line, kNestingError);
    }
  }
  ~TParseLevel() { --FNesting; }
  TParseLevel(const TParseLevel&) = delete;
  TParseLevel& operator=(const TParseLevel&) = delete;

 private:
  int32_t& FNesting;
};

const TToken& TScript::Peek(int32_t ahead) const {
  const size_t i = size_t(Pos) + size_t(ahead);
  return i < Tokens.size() ? Tokens[i] : Tokens.back();
}

const TToken& TScript::Next() {
  const TToken& t = Peek();
  if (size_t(Pos) < Tokens.size()) ++Pos;
  return t;
}

bool TScript::PeekWord(std::string_view word) const { return IsWord(Peek(), word); }

bool TScript::PeekOp(std::string_view op) const { return Peek().Kind == tkOp && Peek().Text == op; }

void TScript::ExpectWord(std::string_view word) {
  if (!PeekWord(word)) throw EScriptError::CreateAt(Peek().Line, "expected " + Quoted(Upper(word)));
  Next();
}

void TScript::ExpectOp(std::string_view op) {
  if (!PeekOp(op)) throw EScriptError::CreateAt(Peek().Line, "expected " + Quoted(op));
  Next();
}

void TScript::Adopt(TNode& parent, std::unique_ptr<TNode> child) {
  if (child->Height + 1 > parent.Height) {
    parent.Height = child->Height + 1;
    if (parent.Height > kMaxTreeHeight) throw EScriptError::CreateAt(parent.Line, kNestingError);
  }
  parent.Children.push_back(std::move(child));
}

std::unique_ptr<TNode> TScript::ParseBlock(std::initializer_list<std::string_view> terminators) {
  TParseLevel level(FNesting, FStackFloor, Peek().Line);
  auto block = std::make_unique<TNode>(nkBlock, Peek().Line);
  for (;;) {
    const TToken& t = Peek();
    if (t.Kind == tkEnd) break;
    if (t.Kind == tkIdent) {
      bool ends = false;
      for (std::string_view word : terminators) ends = ends || t.Text == word;
      if (ends) break;
      if (t.Text == "function") {
        ParseFunction();
        continue;
      }
    }
    Adopt(*block, ParseStatement());
  }
  return block;
}

void TScript::ParseFunction() {
  const TToken& word = Next();
  const TToken& name = Peek();
  if (name.Kind != tkIdent) throw EScriptError::CreateAt(name.Line, "function name expected");
  Next();
  TFuncDef def;
  def.Name = name.Text;
  def.Line = word.Line;
  if (PeekOp("(")) {
    Next();
    if (PeekOp(")")) {
      Next();
    } else {
      for (;;) {
        const TToken& param = Peek();
        if (param.Kind != tkIdent) throw EScriptError::CreateAt(param.Line, "parameter name expected");
        Next();
        def.Params.push_back(param.Text);
        if (PeekOp(",")) {
          Next();
          if (PeekOp(")")) {
            Next();
            break;
          }
          continue;
        }
        ExpectOp(")");
        break;
      }
    }
  }
  if (FFuncIndex.count(def.Name))
    throw EScriptError::CreateAt(word.Line, "function " + Quoted(def.Name) + " defined twice");
  // Entered before the body is read, so a definition of the same name
  // inside the body is a second definition too.
  const size_t index = Funcs.size();
  FFuncIndex.emplace(def.Name, int32_t(index));
  Funcs.push_back(std::move(def));
  std::unique_ptr<TNode> body = ParseBlock({"end"});
  ExpectWord("end");
  Funcs[index].Body = std::move(body);
}

// Whether the next token, on the given line, starts a value: RETURN's value
// and the arguments of a command-form call must stand on the line of their
// word and not begin with a reserved word other than "not".
bool TScript::StartsValueOnLine(int32_t line) const {
  const TToken& t = Peek();
  if (t.Line != line || t.Kind == tkEnd) return false;
  return !(t.Kind == tkIdent && IsReservedWord(t.Text) && t.Text != "not");
}

std::unique_ptr<TNode> TScript::ParseStatement() {
  const TToken& t = Peek();
  if (t.Kind != tkIdent) throw EScriptError::CreateAt(t.Line, "statement expected");
  const std::string& word = t.Text;
  if (word == "if") return ParseIf(t);
  if (word == "for") return ParseFor(t);
  if (word == "while") {
    Next();
    auto node = std::make_unique<TNode>(nkWhile, t.Line);
    Adopt(*node, ParseExpr());
    if (PeekWord("do")) Next();
    Adopt(*node, ParseBlock({"end"}));
    ExpectWord("end");
    return node;
  }
  if (word == "repeat") {
    Next();
    auto node = std::make_unique<TNode>(nkRepeat, t.Line);
    Adopt(*node, ParseBlock({"until"}));
    ExpectWord("until");
    Adopt(*node, ParseExpr());
    return node;
  }
  if (word == "return") {
    Next();
    auto node = std::make_unique<TNode>(nkReturn, t.Line);
    if (StartsValueOnLine(t.Line)) Adopt(*node, ParseExpr());
    return node;
  }
  if (word == "break" || word == "continue" || word == "exit") {
    Next();
    return std::make_unique<TNode>(word == "break" ? nkBreak : word == "continue" ? nkContinue : nkExit, t.Line);
  }
  if (word == "var") {
    Next();
    const TToken& name = Peek();
    if (name.Kind != tkIdent) throw EScriptError::CreateAt(name.Line, "variable name expected");
    Next();
    auto node = std::make_unique<TNode>(nkVarDecl, t.Line);
    node->Name = name.Text;
    if (PeekOp("=")) {
      Next();
      Adopt(*node, ParseExpr());
    }
    return node;
  }
  if (IsReservedWord(word)) throw EScriptError::CreateAt(t.Line, "unexpected " + Quoted(Upper(word)));
  if (Peek(1).Kind == tkOp && Peek(1).Text == "=") {
    Next();
    Next();
    auto node = std::make_unique<TNode>(nkAssign, t.Line);
    node->Name = word;
    Adopt(*node, ParseExpr());
    return node;
  }
  return ParseCallStatement(t);
}

std::unique_ptr<TNode> TScript::ParseIf(const TToken& first) {
  Next();
  auto node = std::make_unique<TNode>(nkIf, first.Line);
  Adopt(*node, ParseExpr());
  ExpectWord("then");
  Adopt(*node, ParseBlock({"elseif", "else", "end"}));
  while (PeekWord("elseif")) {
    Next();
    Adopt(*node, ParseExpr());
    ExpectWord("then");
    Adopt(*node, ParseBlock({"elseif", "else", "end"}));
  }
  if (PeekWord("else")) {
    Next();
    Adopt(*node, ParseBlock({"end"}));
    node->HasElse = true;
  }
  ExpectWord("end");
  return node;
}

std::unique_ptr<TNode> TScript::ParseFor(const TToken& first) {
  Next();
  const TToken& var = Peek();
  if (var.Kind != tkIdent) throw EScriptError::CreateAt(var.Line, "loop variable expected");
  Next();
  auto node = std::make_unique<TNode>(nkFor, first.Line);
  node->Name = var.Text;
  ExpectOp("=");
  Adopt(*node, ParseExpr());
  ExpectWord("to");
  Adopt(*node, ParseExpr());
  if (PeekWord("step")) {
    Next();
    Adopt(*node, ParseExpr());
  } else {
    auto step = std::make_unique<TNode>(nkInt, first.Line);
    step->Op = "auto";
    Adopt(*node, std::move(step));
  }
  if (PeekWord("do")) Next();
  Adopt(*node, ParseBlock({"end"}));
  ExpectWord("end");
  return node;
}

std::unique_ptr<TNode> TScript::ParseCallStatement(const TToken& name) {
  Next();
  auto call = std::make_unique<TNode>(nkCall, name.Line);
  call->Name = name.Text;
  if (PeekOp("(") && Peek().Line == name.Line) {
    ParseArgList(*call);
  } else if (StartsValueOnLine(name.Line)) {
    Adopt(*call, ParseExpr());
    while (PeekOp(",")) {
      Next();
      Adopt(*call, ParseExpr());
    }
  }
  auto statement = std::make_unique<TNode>(nkCallStmt, name.Line);
  Adopt(*statement, std::move(call));
  return statement;
}

// "(", arguments separated by ",", an optional "," before ")", then ")".
void TScript::ParseArgList(TNode& call) {
  ExpectOp("(");
  if (PeekOp(")")) {
    Next();
    return;
  }
  for (;;) {
    Adopt(call, ParseExpr());
    if (!PeekOp(",")) break;
    Next();
    if (PeekOp(")")) break;
  }
  ExpectOp(")");
}

std::unique_ptr<TNode> TScript::MakeBinary(const TToken& op, std::unique_ptr<TNode> left,
                                           std::unique_ptr<TNode> right) {
  auto node = std::make_unique<TNode>(nkBinary, op.Line);
  node->Op = op.Text;
  node->OpCode = BinaryOpCode(op.Text);
  Adopt(*node, std::move(left));
  Adopt(*node, std::move(right));
  return node;
}

std::unique_ptr<TNode> TScript::MakeUnary(const TToken& op, std::unique_ptr<TNode> operand) {
  auto node = std::make_unique<TNode>(nkUnary, op.Line);
  node->Op = op.Text;
  node->OpCode = op.Text == "not" ? opNot : opNeg;
  Adopt(*node, std::move(operand));
  return node;
}

// Level 1: "or".
std::unique_ptr<TNode> TScript::ParseExpr() {
  TParseLevel level(FNesting, FStackFloor, Peek().Line);
  std::unique_ptr<TNode> left = ParseAnd();
  while (PeekWord("or")) {
    const TToken& op = Next();
    left = MakeBinary(op, std::move(left), ParseAnd());
  }
  return left;
}

// Level 2: "and".
std::unique_ptr<TNode> TScript::ParseAnd() {
  std::unique_ptr<TNode> left = ParseNot();
  while (PeekWord("and")) {
    const TToken& op = Next();
    left = MakeBinary(op, std::move(left), ParseNot());
  }
  return left;
}

// Level 3: prefix "not", which takes a whole comparison.
std::unique_ptr<TNode> TScript::ParseNot() {
  if (!PeekWord("not")) return ParseCompare();
  TParseLevel level(FNesting, FStackFloor, Peek().Line);
  const TToken& op = Next();
  return MakeUnary(op, ParseNot());
}

// Level 4: comparisons.
std::unique_ptr<TNode> TScript::ParseCompare() {
  std::unique_ptr<TNode> left = ParseAdd();
  for (;;) {
    const TToken& t = Peek();
    if (t.Kind != tkOp || !(t.Text == "=" || t.Text == "<>" || t.Text == "<" || t.Text == ">" || t.Text == "<=" ||
                            t.Text == ">="))
      return left;
    Next();
    left = MakeBinary(t, std::move(left), ParseAdd());
  }
}

// Level 5: "+" and "-".
std::unique_ptr<TNode> TScript::ParseAdd() {
  std::unique_ptr<TNode> left = ParseMul();
  while (PeekOp("+") || PeekOp("-")) {
    const TToken& op = Next();
    left = MakeBinary(op, std::move(left), ParseMul());
  }
  return left;
}

// Level 6: "*", "/" and "%".
std::unique_ptr<TNode> TScript::ParseMul() {
  std::unique_ptr<TNode> left = ParseUnary();
  while (PeekOp("*") || PeekOp("/") || PeekOp("%")) {
    const TToken& op = Next();
    left = MakeBinary(op, std::move(left), ParseUnary());
  }
  return left;
}

// Level 7: prefix "-" (there is no unary "+").
std::unique_ptr<TNode> TScript::ParseUnary() {
  if (!PeekOp("-")) return ParsePrimary();
  TParseLevel level(FNesting, FStackFloor, Peek().Line);
  const TToken& op = Next();
  return MakeUnary(op, ParseUnary());
}

std::unique_ptr<TNode> TScript::ParsePrimary() {
  const TToken& t = Next();
  switch (t.Kind) {
    case tkInt: {
      auto node = std::make_unique<TNode>(nkInt, t.Line);
      node->IntVal = t.Value;
      return node;
    }
    case tkStr: {
      auto node = std::make_unique<TNode>(nkStr, t.Line);
      node->StrVal = t.Text;
      return node;
    }
    case tkIdent: {
      if (t.Text == "true" || t.Text == "false") {
        auto node = std::make_unique<TNode>(nkInt, t.Line);
        node->IntVal = t.Text == "true" ? 1 : 0;
        return node;
      }
      if (IsReservedWord(t.Text)) throw EScriptError::CreateAt(t.Line, "unexpected " + Quoted(Upper(t.Text)));
      if (PeekOp("(")) {
        auto call = std::make_unique<TNode>(nkCall, t.Line);
        call->Name = t.Text;
        ParseArgList(*call);
        return call;
      }
      auto node = std::make_unique<TNode>(nkVar, t.Line);
      node->Name = t.Text;
      return node;
    }
    case tkOp: {
      if (t.Text == "(") {
        std::unique_ptr<TNode> inner = ParseExpr();
        ExpectOp(")");
        return inner;
      }
      throw EScriptError::CreateAt(t.Line, "unexpected " + Quoted(t.Text));
    }
    default:
      throw EScriptError::CreateAt(t.Line, "unexpected end of script");
  }
}
