// The KVScript interpreter: walks the syntax tree, keeps the global and the
// running function's variables, carries BREAK, CONTINUE, RETURN and EXIT
// outward through Flow, calls user functions up to the depth limit and hands
// every other call to the built-in table. A stop request is checked before
// every statement and after every loop round.
#include <cstdio>
#include <cstring>

#include "data/uScript.h"
#include "platform/Stack.h"
#include "platform/Tick.h"

namespace {

// Each statement and each operator or call being evaluated takes stack; a
// script nested so deeply (through its calls) that its thread's stack would
// run short ends with an error instead.
inline void CheckStack(uintptr_t floor, int32_t line) {
  if (platform::CurrentFrame() < floor) throw EScriptError::CreateAt(line, kNestingError);
}

// Texts compare byte by byte as unsigned values, a prefix being the smaller.
int CompareBytes(const std::string& a, const std::string& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;  // memcmp compares unsigned bytes
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool Holds(int32_t op, int c) {
  switch (op) {
    case opEq: return c == 0;
    case opNe: return c != 0;
    case opLt: return c < 0;
    case opGt: return c > 0;
    case opLe: return c <= 0;
    default: return c >= 0;
  }
}

}  // namespace

void TScript::Run(TScriptHost* host) {
  Host = host;
  Flow = fsNone;
  Depth = 0;
  Locals = nullptr;
  FStackFloor = platform::StackFloor(kStackReserve);
  Random.seed(platform::TickMs());
  struct TFinally {
    TScript& S;
    ~TFinally() {
      S.Flow = fsNone;
      S.Locals = nullptr;
      S.Depth = 0;
    }
  } finally{*this};
  if (Root) ExecBlock(*Root);
}

void TScript::ExecBlock(const TNode& block) {
  for (const auto& statement : block.Children) {
    ExecStatement(*statement);
    if (Flow != fsNone) return;
  }
}

// The rule every loop applies after a run of its body: BREAK ends the loop,
// CONTINUE goes on, RETURN and EXIT end it and travel outward. False when
// the loop ends.
bool TScript::AfterLoopBody() {
  switch (Flow) {
    case fsBreak:
      Flow = fsNone;
      return false;
    case fsContinue:
      Flow = fsNone;
      return true;
    case fsReturn:
    case fsExit:
      return false;
    default:
      return true;
  }
}

void TScript::ExecStatement(const TNode& node) {
  CheckStopped();
  CheckStack(FStackFloor, node.Line);
  switch (node.Kind) {
    case nkAssign:
      SetVar(node, Eval(*node.Children[0]), false);
      break;
    case nkVarDecl:
      SetVar(node, node.Children.empty() ? MakeIntValue(0) : Eval(*node.Children[0]), true);
      break;
    case nkCallStmt:
      Eval(*node.Children[0]);
      break;
    case nkIf: {
      const size_t pairs = (node.Children.size() - (node.HasElse ? 1 : 0)) / 2;
      for (size_t i = 0; i < pairs; ++i) {
        if (ValueIsTrue(Eval(*node.Children[2 * i]))) {
          ExecBlock(*node.Children[2 * i + 1]);
          return;
        }
      }
      if (node.HasElse) ExecBlock(*node.Children.back());
      break;
    }
    case nkWhile:
      for (;;) {
        if (!ValueIsTrue(Eval(*node.Children[0]))) break;
        ExecBlock(*node.Children[1]);
        if (!AfterLoopBody()) break;
        CheckStopped();
      }
      break;
    case nkRepeat:
      for (;;) {
        ExecBlock(*node.Children[0]);
        if (!AfterLoopBody()) break;
        CheckStopped();
        if (ValueIsTrue(Eval(*node.Children[1]))) break;
      }
      break;
    case nkFor:
      ExecFor(node);
      break;
    case nkReturn:
      ReturnValue = node.Children.empty() ? MakeIntValue(0) : Eval(*node.Children[0]);
      Flow = fsReturn;
      break;
    case nkBreak:
      Flow = fsBreak;
      break;
    case nkContinue:
      Flow = fsContinue;
      break;
    case nkExit:
      Flow = fsExit;
      break;
    case nkBlock:
      ExecBlock(node);
      break;
    default:
      break;
  }
}

// FOR: start, limit and step are read once; each round writes the counter
// into the loop variable, and the next counter is the variable as the body
// left it plus the step, so the body can move the loop on.
void TScript::ExecFor(const TNode& node) {
  const int64_t from = ValueToInt(Eval(*node.Children[0]));
  const int64_t limit = ValueToInt(Eval(*node.Children[1]));
  const TNode& stepNode = *node.Children[2];
  int64_t step;
  if (stepNode.Kind == nkInt && stepNode.Op == "auto")
    step = limit >= from ? 1 : -1;
  else
    step = ValueToInt(Eval(stepNode));
  if (step == 0) throw EScriptError::CreateAt(node.Line, "FOR step is 0");
  const TNode& body = *node.Children[3];
  int64_t counter = from;
  SetVar(node, MakeIntValue(counter), false);
  while ((step > 0 && counter <= limit) || (step < 0 && counter >= limit)) {
    SetVar(node, MakeIntValue(counter), false);
    ExecBlock(body);
    if (!AfterLoopBody()) break;
    CheckStopped();
    counter = WrapAdd(ValueToInt(GetVar(node)), step);
  }
}

const TValue& TScript::GetVar(const TNode& node) const {
  if (!Locals && node.GlobalSlot >= 0) return Globals->Values[size_t(node.GlobalSlot)];
  if (Locals) {
    const int32_t i = Locals->IndexOfLower(node.Name);
    if (i >= 0) return Locals->Values[size_t(i)];
  }
  const int32_t g = Globals->IndexOfLower(node.Name);
  if (g < 0)
    throw EScriptError::CreateAt(node.Line,
                                 node.Name + " is not a variable - put text in quotes: \"" + node.Name + "\"");
  if (!Locals) node.GlobalSlot = g;
  return Globals->Values[size_t(g)];
}

// At top level every name is global. In a function: a declared or already
// local name is local; else an existing global is written; else a new local.
void TScript::SetVar(const TNode& node, TValue value, bool declare) {
  if (!Locals && node.GlobalSlot >= 0) {
    Globals->Values[size_t(node.GlobalSlot)] = std::move(value);
    return;
  }
  if (Locals) {
    const int32_t i = Locals->IndexOfLower(node.Name);
    if (i >= 0) {
      Locals->Values[size_t(i)] = std::move(value);
      return;
    }
    if (declare || Globals->IndexOfLower(node.Name) < 0) {
      Locals->SetValue(node.Name, std::move(value));
      return;
    }
  }
  int32_t g = Globals->IndexOfLower(node.Name);
  if (g < 0) {
    g = int32_t(Globals->Names.size());
    Globals->SetValue(node.Name, std::move(value));
  } else {
    Globals->Values[size_t(g)] = std::move(value);
  }
  if (!Locals) node.GlobalSlot = g;
}

TValue TScript::Eval(const TNode& node) {
  switch (node.Kind) {
    case nkInt:
      return MakeIntValue(node.IntVal);
    case nkStr:
      return MakeStrValue(node.StrVal);
    case nkVar:
      return GetVar(node);
    case nkCall: {
      CheckStack(FStackFloor, node.Line);
      return CallFunction(node);
    }
    case nkUnary: {
      CheckStack(FStackFloor, node.Line);
      TValue v = Eval(*node.Children[0]);
      if (node.OpCode == opNot) return MakeIntValue(ValueIsTrue(v) ? 0 : 1);
      return MakeIntValue(WrapNeg(ValueToInt(v)));
    }
    case nkBinary: {
      CheckStack(FStackFloor, node.Line);
      return EvalBinary(node);
    }
    default:
      return MakeIntValue(0);
  }
}

TValue TScript::EvalBinary(const TNode& node) {
  const int32_t op = node.OpCode;
  if (op == opAnd) {
    if (!ValueIsTrue(Eval(*node.Children[0]))) return MakeIntValue(0);
    return MakeIntValue(ValueIsTrue(Eval(*node.Children[1])) ? 1 : 0);
  }
  if (op == opOr) {
    if (ValueIsTrue(Eval(*node.Children[0]))) return MakeIntValue(1);
    return MakeIntValue(ValueIsTrue(Eval(*node.Children[1])) ? 1 : 0);
  }
  TValue left = Eval(*node.Children[0]);
  TValue right = Eval(*node.Children[1]);
  switch (op) {
    case opAdd:
      if (left.Kind == vkStr || right.Kind == vkStr) {
        std::string text = left.Kind == vkStr ? std::move(left.Str) : ValueToStr(left);
        const std::string tail = right.Kind == vkStr ? std::move(right.Str) : ValueToStr(right);
        CheckTextLength(uint64_t(text.size()) + tail.size(), node.Line);
        text += tail;
        return MakeStrValue(std::move(text));
      }
      return MakeIntValue(WrapAdd(left.Int, right.Int));
    case opSub:
      return MakeIntValue(WrapSub(ValueToInt(left), ValueToInt(right)));
    case opMul:
      return MakeIntValue(WrapMul(ValueToInt(left), ValueToInt(right)));
    case opDiv:
    case opMod: {
      const int64_t divisor = ValueToInt(right);
      if (divisor == 0) throw EScriptError::CreateAt(node.Line, "division by zero");
      const int64_t dividend = ValueToInt(left);
      return MakeIntValue(op == opDiv ? WrapDiv(dividend, divisor) : WrapMod(dividend, divisor));
    }
    default: {
      int c;
      if (left.Kind == vkInt && right.Kind == vkInt)
        c = left.Int < right.Int ? -1 : left.Int > right.Int ? 1 : 0;
      else if (left.Kind == vkStr && right.Kind == vkStr)
        c = CompareBytes(left.Str, right.Str);
      else
        c = CompareBytes(ValueToStr(left), ValueToStr(right));
      return MakeIntValue(Holds(op, c) ? 1 : 0);
    }
  }
}

TValue TScript::CallFunction(const TNode& call) {
  TValueArray args;
  args.reserve(call.Children.size());
  for (const auto& arg : call.Children) args.push_back(Eval(*arg));
  if (call.UserFunc == -2) {
    auto it = FFuncIndex.find(call.Name);
    call.UserFunc = it == FFuncIndex.end() ? -1 : it->second;
  }
  if (call.UserFunc >= 0) return CallUser(Funcs[size_t(call.UserFunc)], args, call.Line);
  return CallBuiltin(call, args);
}

TValue TScript::CallUser(const TFuncDef& func, TValueArray& args, int32_t line) {
  if (args.size() != func.Params.size()) {
    char text[160];
    std::snprintf(text, sizeof text, "%s() takes %d argument(s), got %d", func.Name.c_str(), int(func.Params.size()),
                  int(args.size()));
    throw EScriptError::CreateAt(line, text);
  }
  if (Depth >= kMaxCallDepth) throw EScriptError::CreateAt(line, "functions nested too deeply");
  TVarScope scope;
  for (size_t i = 0; i < args.size(); ++i) scope.SetValue(func.Params[i], std::move(args[i]));
  // The caller's variables and depth come back however the body ends.
  struct TRestore {
    TScript& S;
    TVarScope* Saved;
    ~TRestore() {
      S.Locals = Saved;
      --S.Depth;
    }
  } restore{*this, Locals};
  Locals = &scope;
  ++Depth;
  ExecBlock(*func.Body);
  TValue result = Flow == fsReturn ? std::move(ReturnValue) : MakeIntValue(0);
  if (Flow != fsExit) Flow = fsNone;
  return result;
}
