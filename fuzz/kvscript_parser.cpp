// Script files come from users and from other people's collections: any
// bytes must tokenize and parse to a program or to one script error with a
// line inside the text, never to a fault, however deeply they nest.
// fuzz-sources: data/uScript.cpp data/uScriptLexer.cpp data/uScriptParser.cpp
// fuzz-sources: data/uScriptInterpreter.cpp data/uScriptBuiltins.cpp platform/Stack.cpp platform/Tick.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/uScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source(reinterpret_cast<const char*>(data), size);
  int32_t lines = 1;
  for (char c : source) lines += c == '\n';
  TScript script;
  try {
    script.Parse(source, "fuzz");
    if (!script.Root) std::abort();
  } catch (const EScriptError& e) {
    if (e.Line < 1 || e.Line > lines) std::abort();  // an error points into the text
    if (script.Root) std::abort();                    // nothing of a failed parse is kept
  }
  return 0;
}
