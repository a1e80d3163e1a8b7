// KVScript's 64-bit integers against Python's exact integers: thousands of
// expressions of "+", "-", "*", unary minus and literals (decimal and
// hexadecimal, many wider than 64 bits) run through the interpreter must give
// what Python computes, reduced to two's complement. A reduction taken at the
// end equals one taken after every step, so Python works exactly and reduces
// once.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "data/uScript.h"
#include "tests/data/ScriptTestHost.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PeerProgram.h"

namespace {

class TExpressionMaker {
 public:
  std::string Expression(int depth) {
    if (depth == 0 || Pick(3) == 0) return Leaf();
    static const char* kOps[] = {" + ", " - ", " * "};
    std::string e = "(" + Expression(depth - 1) + kOps[Pick(3)] + Expression(depth - 1) + ")";
    return Pick(5) == 0 ? "- " + e : e;
  }

 private:
  uint64_t Pick(uint64_t n) { return FRandom() % n; }

  // A literal with an optional unary minus: an edge value, a random value of
  // random width, or a decimal or hexadecimal literal wider than 64 bits.
  std::string Leaf() {
    static const uint64_t kEdges[] = {0,
                                      1,
                                      2,
                                      3,
                                      0x7FFFFFFFFFFFFFFFull,
                                      0x8000000000000000ull,
                                      0x8000000000000001ull,
                                      0xFFFFFFFFFFFFFFFFull,
                                      0xFFFFFFFFull,
                                      0x100000000ull,
                                      0x80000000ull,
                                      3037000499ull,
                                      3037000500ull,
                                      0x4000000000000000ull};
    std::string text;
    switch (Pick(5)) {
      case 0:
        text = std::to_string(kEdges[Pick(sizeof kEdges / sizeof kEdges[0])]);
        break;
      case 1:
        text = std::to_string(FRandom() >> Pick(64));
        break;
      case 2: {
        text = std::to_string(1 + Pick(9));  // no leading zero: Python refuses those
        for (uint64_t n = Pick(30); n > 0; --n) text += char('0' + Pick(10));
        break;
      }
      case 3: {
        static const char kHex[] = "0123456789abcdefABCDEF";
        text = Pick(2) ? "0x" : "0X";
        for (uint64_t n = 1 + Pick(24); n > 0; --n) text += kHex[Pick(22)];
        break;
      }
      default:
        text = std::to_string(FRandom());
        break;
    }
    return Pick(3) == 0 ? "-" + text : text;
  }

  std::mt19937_64 FRandom{20240611};
};

TEST(ScriptWrapAgainstPython, SumsDifferencesProductsNegationsAndLiterals) {
  TExpressionMaker maker;
  std::vector<std::string> expressions;
  for (int i = 0; i < 4000; ++i) expressions.push_back(maker.Expression(i % 4));

  std::string source, list;
  for (const std::string& e : expressions) {
    source += "print(" + e + ")\n";
    list += e + "\n";
  }
  scripttest::TRecordingHost host;
  const std::string ours = scripttest::RunScript(source, &host);

  testsupport::TempDir dir;
  testsupport::WriteWholeFile(dir.File("expressions.txt"), list);
  const PeerResult python = RunPeer({"python3", "-c",
                                     "import sys\n"
                                     "for line in open(sys.argv[1]):\n"
                                     "    v = eval(line) % 2**64\n"
                                     "    print(v - 2**64 if v >= 2**63 else v)\n",
                                     dir.File("expressions.txt")});
  ASSERT_EQ(python.ExitCode, 0) << python.Output;

  std::istringstream a(ours), b(python.Output);
  std::string mine, theirs;
  int mismatches = 0;
  for (const std::string& e : expressions) {
    std::getline(a, mine);
    std::getline(b, theirs);
    if (mine != theirs && ++mismatches <= 10) ADD_FAILURE() << e << "\n  KVScript: " << mine << "\n  Python:   " << theirs;
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
