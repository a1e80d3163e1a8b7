// KVScript, the program's own script language: its values, tokens and syntax
// tree, the parser that turns a script's text into that tree, the abstract
// host through which a running script reaches the outside world, and the
// interpreter that walks the tree. The engine knows nothing of the
// application: every effect of a script goes through TScriptHost.
#pragma once
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// --- Values ----------------------------------------------------------------

enum TValueKind : int32_t { vkInt = 0, vkStr = 1 };

// The language has exactly two kinds: signed 64-bit integers and 8-bit
// strings. Truth values are the integers 1 and 0.
struct TValue {
  int32_t Kind = vkInt;
  int64_t Int = 0;  // 0 in a string value
  std::string Str;  // empty in an integer value
};
using TValueArray = std::vector<TValue>;

TValue MakeIntValue(int64_t n);
TValue MakeStrValue(std::string s);
// An integer in decimal with a leading minus when negative; a string as it is.
std::string ValueToStr(const TValue& v);
// A string is read as a whole, bytes 0..32 trimmed at both ends: an optional
// sign, then decimal digits, or hexadecimal digits after "$", "x", "X", "0x"
// or "0X", binary after "%", octal after "&". The non-decimal forms may fill
// all 64 bits and wrap into negative values. Anything else, a decimal value
// outside the signed 64-bit range or a wider non-decimal one gives 0.
int64_t ValueToInt(const TValue& v);
// Integers: not 0. Strings: not empty (so "0" and "  " are true).
bool ValueIsTrue(const TValue& v);

// 64-bit arithmetic of the language: every result wraps around through
// unsigned arithmetic, so no overflow is ever undefined. The lowest value
// divided by -1 gives itself, with remainder 0.
int64_t WrapAdd(int64_t a, int64_t b);
int64_t WrapSub(int64_t a, int64_t b);
int64_t WrapMul(int64_t a, int64_t b);
int64_t WrapNeg(int64_t a);
// Quotient truncated toward zero; B must not be 0.
int64_t WrapDiv(int64_t a, int64_t b);
// Remainder with the sign of A; B must not be 0.
int64_t WrapMod(int64_t a, int64_t b);

// --- Errors ------------------------------------------------------------------

// Every lexical, syntax and run-time error of a script: the message and the
// 1-based line of the script it belongs to.
class EScriptError : public std::runtime_error {
 public:
  EScriptError(int32_t line, const std::string& message) : std::runtime_error(message), Line(line) {}
  static EScriptError CreateAt(int32_t line, const std::string& message) { return EScriptError(line, message); }
  int32_t Line;
};

// A request to stop the script, not an error.
class EScriptAbort : public std::runtime_error {
 public:
  EScriptAbort() : std::runtime_error("script stopped") {}
};

// --- Tokens and syntax tree --------------------------------------------------

enum TTokenKind : int32_t { tkIdent = 0, tkInt = 1, tkStr = 2, tkOp = 3, tkEnd = 4 };

struct TToken {
  int32_t Kind = tkEnd;
  std::string Text;   // identifier in lower case, string contents, or operator
  int64_t Value = 0;  // of an integer token
  int32_t Line = 1;
};

enum TNodeKind : int32_t {
  nkInt, nkStr, nkVar, nkBinary, nkUnary, nkCall, nkAssign, nkVarDecl, nkCallStmt,
  nkIf, nkWhile, nkFor, nkRepeat, nkReturn, nkBreak, nkContinue, nkExit, nkBlock
};

// Operators of binary and unary nodes, decided once when the node is built so
// the interpreter does not compare operator texts on every evaluation.
enum TOperator : int32_t {
  opNone, opOr, opAnd, opEq, opNe, opLt, opGt, opLe, opGe, opAdd, opSub, opMul, opDiv, opMod, opNot, opNeg
};

struct TBuiltin;

class TNode {
 public:
  TNode(int32_t kind, int32_t line) : Kind(kind), Line(line) {}
  ~TNode();  // frees the children without recursing, whatever the tree's depth
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  int32_t Kind;
  int32_t Line;
  std::string Op;       // operator text; "auto" on the step of a FOR without STEP
  std::string Name;     // variable, function or loop-variable name (lower case)
  int64_t IntVal = 0;
  std::string StrVal;
  bool HasElse = false;
  std::vector<std::unique_ptr<TNode>> Children;

  int32_t OpCode = opNone;  // Op decoded
  int32_t Height = 1;       // levels of nodes from here down, this one included
  // What a call names, looked up on its first run (the function table does
  // not change after parsing): a user function's index (-1: none, -2: not
  // looked up yet), else the built-in.
  mutable int32_t UserFunc = -2;
  mutable const TBuiltin* Builtin = nullptr;
  // The index of the global a variable, assignment or FOR node names, once
  // top-level code has found it (globals are never removed, so it stays).
  mutable int32_t GlobalSlot = -1;
};

struct TFuncDef {
  std::string Name;
  std::vector<std::string> Params;
  std::unique_ptr<TNode> Body;  // an nkBlock
  int32_t Line = 0;             // of the word "function"
};

// The 21 reserved words; identifiers are compared in lower case.
bool IsReservedWord(std::string_view text);

// --- Host ----------------------------------------------------------------------

// Everything a script does to the call, the screen and the user. A host for a
// live call implements it on the script's own thread; IsStopped is the only
// operation the interpreter asks about another thread's doings, and the host
// makes it safe to read. Rows, columns and the cursor are 1-based.
class TScriptHost {
 public:
  virtual ~TScriptHost() = default;
  virtual bool IsStopped() = 0;
  virtual void Send(const std::string& text) = 0;
  // The 1-based number of the pattern seen, or 0 (timeout, offline, stop).
  // A negative timeout waits without limit.
  virtual int32_t WaitFor(const std::vector<std::string>& patterns, int32_t timeoutMs) = 0;
  virtual void ClearReceived() = 0;
  virtual void Delay(int32_t ms) = 0;
  virtual void Print(const std::string& text) = 0;
  virtual std::string GetLine(int32_t row) = 0;
  virtual int32_t Rows() = 0;
  virtual int32_t Cols() = 0;
  virtual int32_t CursorX() = 0;
  virtual int32_t CursorY() = 0;
  virtual bool IsConnected() = 0;
  virtual bool Dial(const std::string& name) = 0;
  virtual void Hangup() = 0;
  virtual void Beep() = 0;
  virtual std::string EntryName() = 0;
  virtual std::string LastLine() { return ""; }
  virtual std::string Username() { return ""; }
  virtual std::string Password() { return ""; }
  virtual std::string Ask(const std::string& prompt, const std::string& defaultText) { return defaultText; }
};

// --- Variables -----------------------------------------------------------------

// One scope of variables. Names are kept in lower case, so lookups made by the
// interpreter (whose names are lower case already) compare them as they are.
class TVarScope {
 public:
  // -1 when the name is not in the scope.
  int32_t IndexOf(std::string_view name) const;
  // The same for a name known to be in lower case (the interpreter's).
  int32_t IndexOfLower(const std::string& name) const {
    auto it = FIndex.find(name);
    return it == FIndex.end() ? -1 : it->second;
  }
  // Replaces the value of a known name, or appends the name with the value.
  void SetValue(std::string_view name, TValue value);

  std::vector<std::string> Names;
  std::vector<TValue> Values;

 private:
  std::unordered_map<std::string, int32_t> FIndex;
};

// --- Script ----------------------------------------------------------------------

enum TFlowState : int32_t { fsNone = 0, fsBreak = 1, fsContinue = 2, fsReturn = 3, fsExit = 4 };

// How deeply expressions and blocks may nest, in levels of the syntax tree.
// Beyond it a script does not parse; and a run whose nested calls would
// leave less than kStackReserve of its thread's stack ends with the same
// error, so no script can run a thread out of stack.
constexpr int32_t kMaxTreeHeight = 1000;
constexpr size_t kStackReserve = 256 * 1024;
constexpr const char* kNestingError = "expressions or blocks nested too deeply";
// User-function calls nest at most this deep.
constexpr int32_t kMaxCallDepth = 200;

// No string a script makes may be longer than this. Every operation that
// builds a longer string checks the length it would reach before taking the
// memory, and ends the script with kTextTooLongError at the line concerned,
// so a script doubling a string in a loop stops at once instead of filling
// the machine's memory.
constexpr size_t kMaxTextLength = 16 * 1024 * 1024;
constexpr const char* kTextTooLongError = "string longer than 16 MiB";
// Raises that error at Line when Length is over the limit.
void CheckTextLength(uint64_t length, int32_t line);

class TScript {
 public:
  TScript();
  ~TScript();
  TScript(const TScript&) = delete;
  TScript& operator=(const TScript&) = delete;

  // Reads the whole script into Root and Funcs. Raises EScriptError at the
  // first lexical or syntax error; nothing of a failed parse is kept.
  void Parse(const std::string& source, const std::string& name);
  // Runs the parsed program against Host. EScriptError, EScriptAbort and
  // whatever a host operation raises pass to the caller.
  void Run(TScriptHost* host);
  // Sets the global of the lower-cased name to a string value.
  void SetGlobal(const std::string& name, const std::string& text);
  // Raises EScriptAbort when the host says the script is to stop.
  void CheckStopped();

  // Parsing.
  std::vector<TToken> Tokens;
  int32_t Pos = 0;
  std::unique_ptr<TNode> Root;
  std::vector<TFuncDef> Funcs;
  // Running.
  TScriptHost* Host = nullptr;
  std::unique_ptr<TVarScope> Globals;
  TVarScope* Locals = nullptr;
  int32_t Flow = fsNone;
  TValue ReturnValue;
  int32_t Depth = 0;
  std::string Name;

  // The lexer: fills Tokens from the source.
  void Tokenize(const std::string& source);

 private:
  // Parser (uScriptParser).
  const TToken& Peek(int32_t ahead = 0) const;
  const TToken& Next();
  bool PeekWord(std::string_view word) const;
  bool PeekOp(std::string_view op) const;
  void ExpectWord(std::string_view word);
  void ExpectOp(std::string_view op);
  std::unique_ptr<TNode> ParseBlock(std::initializer_list<std::string_view> terminators);
  void ParseFunction();
  std::unique_ptr<TNode> ParseStatement();
  std::unique_ptr<TNode> ParseIf(const TToken& first);
  std::unique_ptr<TNode> ParseFor(const TToken& first);
  std::unique_ptr<TNode> ParseCallStatement(const TToken& name);
  void ParseArgList(TNode& call);
  bool StartsValueOnLine(int32_t line) const;
  std::unique_ptr<TNode> ParseExpr();
  std::unique_ptr<TNode> ParseAnd();
  std::unique_ptr<TNode> ParseNot();
  std::unique_ptr<TNode> ParseCompare();
  std::unique_ptr<TNode> ParseAdd();
  std::unique_ptr<TNode> ParseMul();
  std::unique_ptr<TNode> ParseUnary();
  std::unique_ptr<TNode> ParsePrimary();
  std::unique_ptr<TNode> MakeBinary(const TToken& op, std::unique_ptr<TNode> left, std::unique_ptr<TNode> right);
  std::unique_ptr<TNode> MakeUnary(const TToken& op, std::unique_ptr<TNode> operand);
  void Adopt(TNode& parent, std::unique_ptr<TNode> child);
  int32_t FNesting = 0;  // parse functions in progress that can recurse
  uintptr_t FStackFloor = 0;  // parsing or running stops with an error below it

  // Interpreter (uScriptInterpreter).
  void ExecBlock(const TNode& block);
  void ExecStatement(const TNode& node);
  void ExecFor(const TNode& node);
  bool AfterLoopBody();
  TValue Eval(const TNode& node);
  TValue EvalBinary(const TNode& node);
  // Read or write the variable that Node names (nkVar, nkAssign, nkVarDecl,
  // nkFor).
  const TValue& GetVar(const TNode& node) const;
  void SetVar(const TNode& node, TValue value, bool declare);
  TValue CallFunction(const TNode& call);
  TValue CallUser(const TFuncDef& func, TValueArray& args, int32_t line);
  std::unordered_map<std::string, int32_t> FFuncIndex;  // Funcs by name

  // Built-in functions (uScriptBuiltins).
  TValue CallBuiltin(const TNode& call, TValueArray& args);

 public:
  // Run time: the generator behind "random", seeded at the start of a run.
  std::mt19937_64 Random;
  // Run time: the line of the built-in call being run, for its errors.
  int32_t BuiltinLine = 0;
};

// The first number in a text: the digits from its first decimal digit on, a
// "," between two digits skipped, at most 18 digits used, negative when a "-"
// stands directly before the first digit. 0 without a digit.
int64_t ExtractNumber(std::string_view text);
