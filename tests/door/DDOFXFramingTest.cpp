// Door commands taken out of the stream: framing, the length limit, the
// executor's order of tests, replies with their 0xFF, the detect answers,
// the graphics window announced while graphics mode is off, and waits.
#include "tests/door/DDOFXTestSupport.h"

namespace {

using namespace ddofxtest;

const std::string kFF = "\xFF";

struct FramingRow {
  const char* label;
  std::vector<std::string> feeds;  // received in these pieces
  std::string passed;              // handed on to the terminal
  std::vector<std::string> engine;  // commands the engine was handed
  std::string sent;                // what the door got
};

class DDOFXFraming : public DDOFXBench {};

TEST_F(DDOFXFraming, Table) {
  const std::string x511(511, 'x'), x512(512, 'x');
  const FramingRow rows[] = {
      {"a command is swallowed whole", {"A" + Cmd("dLITERM") + "B"}, "AB", {"dLITERM"}, "LITERM Ver. 2.00" + kFF},
      {"cut across two reads", {"\x1d{dLI", "TERM}"}, "", {"dLITERM"}, "LITERM Ver. 2.00" + kFF},
      {"cut right after GS", {"\x1d", "{dMEM}"}, "", {"dMEM"}, "8388608" + kFF},
      {"a lone GS vanishes, the next byte stays", {"\x1d" "A"}, "A", {}, ""},
      {"braces inside are not counted", {"\x1d{a{b}c"}, "c", {"a{b"}, ""},
      {"no GS: plain text", {"{dLITERM}"}, "{dLITERM}", {}, ""},
      {"511 characters execute", {"\x1d{" + x511 + "}"}, "", {x511}, ""},
      {"512 characters abort, what follows is text", {"\x1d{" + x512, "}ok"}, "}ok", {}, ""},
      {"empty command does nothing", {"\x1d{}z"}, "z", {}, ""},
      {"two commands in a row", {Cmd("dVCARD") + Cmd("dACARD")}, "", {"dVCARD", "dACARD"}, "S" + kFF + "SB 16" + kFF},
  };
  for (const FramingRow& r : rows) {
    Parser->Reset();
    Engine->Commands.clear();
    Sent.clear();
    std::string passed;
    for (const std::string& piece : r.feeds) passed += Feed(piece);
    EXPECT_EQ(passed, r.passed) << r.label;
    EXPECT_EQ(Engine->Commands, r.engine) << r.label;
    EXPECT_EQ(Sent, r.sent) << r.label;
  }
  EXPECT_EQ(LogCount("DDOFX: command buffer exceeded 512 bytes without a closing brace, aborting"), 1u);
}

TEST_F(DDOFXFraming, PlainRunStopsAtGSAndInsideACommand) {
  const std::string text = "hello\x1d{dMEM}";
  EXPECT_EQ(Parser->PlainRun(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 5u);
  Feed("\x1d{dM");
  EXPECT_EQ(Parser->PlainRun(reinterpret_cast<const uint8_t*>("EM}"), 3), 0u);
  Engine->WindowOpen = true;
  Feed("EM}");
  EXPECT_EQ(Parser->PlainRun(reinterpret_cast<const uint8_t*>("abc"), 3), 0u);
}

TEST_F(DDOFXFraming, AnOpenTextWindowTakesThePlainBytes) {
  Engine->WindowOpen = true;
  EXPECT_EQ(Feed("Hi" + Cmd("dVCARD") + "!"), "");
  EXPECT_EQ(Engine->Window, "Hi!");
  EXPECT_EQ(Sent, "S" + kFF);
}

struct AnswerRow {
  const char* command;
  std::string answer;
};

TEST_F(DDOFXFraming, DetectAndFallbackAnswersEndInOneFF) {
  const AnswerRow rows[] = {
      {"dLITERM", "LITERM Ver. 2.00"}, {"dMEM", "8388608"},   {"dDRIVE", "104857600"}, {"dVCARD", "S"},
      {"dACARD", "SB 16"},             {"dSPEED", "20000"},   {"dVIDMODE", "0"},       {"dMUSICON", "YES"},
      {"dSOUNDON", "YES"},             {"dGETMUSIC", "NONE"}, {"dGETTHEME", "NONE"},   {"dGETFONT", "0"},
      {"dMOUSE", "0"},                 {"1GETPOS", "1,1,1,1"}, {"6TESTJOY1", "N"},     {"3MINF", "0,0,0"},
      {"2aGRGB,4", "0,0,0"}, {"8CFILE,X", "N"},       {"MGVOL", "64"},
      {"MICMF", "N"},
  };
  for (const AnswerRow& r : rows) {
    Run(r.command);
    EXPECT_EQ(TakeSent(), r.answer + kFF) << r.command;
  }
  Parser->Audio.FEnabled = false;
  Run("dMUSICON");
  Run("dSOUNDON");
  EXPECT_EQ(TakeSent(), "NO" + kFF + "NO" + kFF);
  // Window queries reach the fallback only in graphics mode: outside it a
  // window command is taken as an announced window.
  Run("2HGWIN?,3");
  EXPECT_EQ(TakeSent(), "");
  Engine->Graphics = true;
  Run("2HGWIN?,3");
  Run("2VGWIN?,3");
  EXPECT_EQ(TakeSent(), "-2" + kFF + "N" + kFF);
  Engine->Graphics = false;
  // A detect name must match whole.
  Run("dMEMX");
  Run("dLITERM ");
  EXPECT_EQ(TakeSent(), "");
}

TEST_F(DDOFXFraming, WithoutAConnectionRepliesVanishButStateChanges) {
  Parser->Sender = nullptr;
  Run("dLITERM");
  Run("~DEFVAR,4,2,7");
  EXPECT_EQ(Parser->Variable(4).Value, "7");
  EXPECT_TRUE(Parser->CommandSeen());
}

TEST_F(DDOFXFraming, IgnoredCommandsLetOnlyVariableCommandsRun) {
  Run("~IGNORCMD");
  Run("dLITERM");
  Run("~DEFVAR,1,2,5");
  EXPECT_EQ(TakeSent(), "");
  EXPECT_EQ(Parser->Variable(1).Value, "5");
  Run("~HEARCMD");
  Run("dLITERM");
  EXPECT_EQ(TakeSent(), "LITERM Ver. 2.00" + kFF);
}

TEST_F(DDOFXFraming, EachUnservedTagIsLoggedOncePerRunEvenAcrossConnections) {
  Run("5CTXTFLD,1,,abc");
  Parser->Reset();
  Run("5CTXTFLD,2,,def");
  Run("~XYZ");
  Run("~XYZ,1");
  Run("wA");
  EXPECT_EQ(LogCount("(tag=5CTXTFLD)"), 1u);
  EXPECT_EQ(LogCount("DDOFX: swallowed unimplemented command {5CTXTFLD,1,,abc} (tag=5CTXTFLD)"), 1u);
  EXPECT_EQ(LogCount("(tag=unknown:~XYZ)"), 1u) << "an unknown ~ name is no variable command";
  EXPECT_EQ(LogCount("(tag=unknown:wA)"), 1u) << "w and a letter is no wait";
  EXPECT_TRUE(Slept.empty());
}

TEST_F(DDOFXFraming, WaitsAreCappedPerCommandAndInTotal) {
  Run("w50");
  Run("w999");
  Run("w0");
  EXPECT_EQ(Slept, (std::vector<uint32_t>{500, 1500}));
  Slept.clear();
  // One command whose macro waits again and again holds the program still
  // for no longer than one long wait.
  Run("4DEFM,1,1,(w100)");
  Run("~REPMAC,10,(4RUNM,1)");
  uint32_t total = 0;
  for (uint32_t ms : Slept) total += ms;
  EXPECT_EQ(total, 1500u);
  Slept.clear();
  Run("w20");
  EXPECT_EQ(Slept, (std::vector<uint32_t>{200})) << "the next command waits again";
}

TEST_F(DDOFXFraming, GraphicsWindowWhileGraphicsModeIsOff) {
  int toggles = 0;
  Parser->OnToggleMute = [&toggles] { ++toggles; };
  Run("2GWIN,1,2,3,MY SOUND BOX");
  Run("2DCGWIN,1,2,3,4,(dVCARD)");
  Run("2RGWINI");
  EXPECT_EQ(toggles, 1);
  EXPECT_EQ(TakeSent(), "S" + kFF) << "the window's macro is replayed";
  EXPECT_EQ(Engine->Commands, (std::vector<std::string>{"dVCARD"})) << "window commands stay out of the engine";
  Engine->Commands.clear();
  EXPECT_EQ(LogCount("DDOFX: graphics window \"MY SOUND BOX\" opened (not drawn)"), 1u);
  EXPECT_EQ(LogCount("DDOFX: SOUND MASTER -> toggling mute"), 1u);
  Run("2RGWINI");
  EXPECT_EQ(toggles, 1) << "the window was forgotten";

  Run("2ALERTGWIN");
  Run("dLITERM");
  Run("2aRECT,1,1,5,5");
  Run("~DEFVAR,1,2,3");
  EXPECT_EQ(TakeSent(), "");
  EXPECT_TRUE(Engine->Commands.empty());
  EXPECT_EQ(Parser->Variable(1).Value, "3");
  Run("2CALMGWIN");
  Run("dLITERM");
  EXPECT_EQ(TakeSent(), "LITERM Ver. 2.00" + kFF);
}

TEST_F(DDOFXFraming, LeavingGraphicsModeStopsEventsKeysAndFieldsButKeepsMacros) {
  Run("4DEFM,2,1,(dVCARD)");
  Run("7DEFRET,3,A~B");
  Run("4MKEY,1,0,65,0,x");
  Run("7CEVENT,1,0,2,0,0,0,0,0,0,1,tick");
  Run("7AEVENT,1");
  Run("~LOCKKEYS");
  EXPECT_TRUE(Parser->HasActiveEvents());
  Engine->Commands.clear();
  Run("2GEXIT");
  EXPECT_FALSE(Parser->HasActiveEvents());
  EXPECT_FALSE(Parser->KeysLocked());
  bool pass = false;
  EXPECT_FALSE(Parser->KeyPress(30, 'A', pass));
  EXPECT_EQ(Engine->Commands, (std::vector<std::string>{"2GEXIT"})) << "the engine leaves graphics mode too";
  Run("7AEVENT,1");
  EXPECT_TRUE(Parser->HasActiveEvents()) << "the definition stays";
  Parser->Reset();
  Run("4RUNM,2");
  Run("7SRET,3");
  EXPECT_EQ(TakeSent(), "S" + kFF + "A,B") << "macros and registers outlive a reconnect";
  EXPECT_FALSE(Parser->HasActiveEvents());
}

}  // namespace
