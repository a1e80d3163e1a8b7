// An entry's login steps over real calls: they log into a real login prompt
// (socat running /bin/login on a pseudo terminal, with a throwaway account),
// and a recording board (socat's own dump of the traffic, with its
// timestamps) shows the exact bytes they send and how long they pause.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/AppFixture.h"
#include "tests/app/LoginPeer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Loopback.h"
#include "platform/Tick.h"

using namespace testsupport;

namespace {

class LoginStepsTest : public AppFixture {
 protected:
  std::shared_ptr<TPhonebookEntry> RawEntry(uint16_t port, std::vector<std::string> steps) {
    auto entry = std::make_shared<TPhonebookEntry>();
    entry->Name = "steps board";
    entry->Host = "127.0.0.1";
    entry->Port = port;
    entry->UseRaw = true;
    entry->Script = std::move(steps);
    return entry;
  }
};

TEST_F(LoginStepsTest, LogIntoARealLoginPrompt) {
  ASSERT_FALSE(FindProgram("socat").empty()) << "socat is missing (scripts/packages.txt)";
  ASSERT_EQ(access("/bin/login", X_OK), 0) << "/bin/login is missing";
  TThrowawayAccount account;
  const std::string why = account.Create();
  ASSERT_EQ(why, "");
  ChildProcess socat;
  ChildProcess::Options options;
  options.OutputFile = Folder.File("socat.log");
  const uint16_t port = StartSocat(socat, {}, LoginAddress(), options);
  ASSERT_NE(port, 0) << ReadWholeFile(options.OutputFile);

  Start();
  App->ConnectToEntry(RawEntry(port, {"# log in, then prove a shell answers",
                                          "WAITFOR \"login: \"",
                                          "SEND \"" + account.Name + "\\r\"",
                                          "WAITFOR \"Password: \"",
                                          "SEND \"" + account.Password + "\\r\"",
                                          "WAITFOR \"$ \"",
                                          "SEND \"echo KORVAN-$((6*7))\\r\""}),
                      false);
  EXPECT_TRUE(RunUntil([&] { return CallScreenHas("KORVAN-42"); }, 60000))
      << "the shell never answered; screen:\n"
      << CallScreenText();
  App->DisconnectCurrent();
  socat.Stop();
}

// One record of socat's traffic dump.
struct TDumpRecord {
  bool FromBoard;     // "<": what the board sent; ">": what it received
  int64_t Micros;     // time of the record
  std::string Bytes;
};

// socat -x writes a header per chunk ("> 2024/06/01 10:00:00.000123456
// length=5 ...") and the bytes in hexadecimal on the lines after it.
std::vector<TDumpRecord> ReadDump(const std::string& text) {
  std::vector<TDumpRecord> records;
  static const std::regex kHeader(R"(^([<>]) (\d{4})/(\d\d)/(\d\d) (\d\d):(\d\d):(\d\d)\.(\d+)\s+length=\d+.*)");
  std::istringstream in(text);
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_match(line, m, kHeader)) {
      std::tm parts{};
      parts.tm_year = std::stoi(m[2]) - 1900;
      parts.tm_mon = std::stoi(m[3]) - 1;
      parts.tm_mday = std::stoi(m[4]);
      parts.tm_hour = std::stoi(m[5]);
      parts.tm_min = std::stoi(m[6]);
      parts.tm_sec = std::stoi(m[7]);
      // socat prints the microseconds in a nine-digit field.
      int64_t fraction = std::stoll(m[8]);
      if (fraction >= 1000000) fraction /= 1000;
      records.push_back({m[1] == "<", int64_t(timegm(&parts)) * 1000000 + fraction, ""});
    } else if (!records.empty() && !line.empty() && line[0] == ' ') {
      std::istringstream hex(line);
      std::string byte;
      while (hex >> byte) records.back().Bytes += char(std::stoi(byte, nullptr, 16));
    }
  }
  return records;
}

std::string Joined(const std::vector<TDumpRecord>& records, bool fromBoard) {
  std::string out;
  for (const auto& r : records)
    if (r.FromBoard == fromBoard) out += r.Bytes;
  return out;
}

TEST_F(LoginStepsTest, ARecordingBoardSeesTheExactBytesAndThePause) {
  ASSERT_FALSE(FindProgram("socat").empty()) << "socat is missing (scripts/packages.txt)";
  Start();
  ChildProcess board;
  ChildProcess::Options options;
  options.StdinPipe = true;
  options.OutputFile = Folder.File("dump.txt");
  const uint16_t port = StartSocat(board, {"-x"}, "STDIN!!OPEN:/dev/null", options);
  ASSERT_NE(port, 0) << ReadWholeFile(options.OutputFile);
  App->ConnectToEntry(
      RawEntry(port, {"WAITFOR \"login: \"", "SEND \"user\\r\"", "PAUSE 1500", "SEND \"pass\\r\""}), false);
  ASSERT_TRUE(RunUntil([&] { return App->CallConnected(); }));

  // The prompt in capitals first, then the real one in two pieces; the
  // second piece goes only once the first has reached the screen.
  board.WriteStdin("Welcome\r\nLOGIN: \r\nlog");
  ASSERT_TRUE(RunUntil([&] { return CallScreenHas("log") && Probe().BytesIn() >= 20; }));
  board.WriteStdin("in: ");
  std::vector<TDumpRecord> records;
  ASSERT_TRUE(RunUntil(
      [&] {
        records = ReadDump(ReadWholeFile(options.OutputFile));
        return Joined(records, false).size() >= 10;
      },
      30000))
      << ReadWholeFile(options.OutputFile);
  RunUntil([] { return false; }, 700);  // anything further would arrive meanwhile
  records = ReadDump(ReadWholeFile(options.OutputFile));
  EXPECT_EQ(Joined(records, true), "Welcome\r\nLOGIN: \r\nlogin: ");
  EXPECT_EQ(Joined(records, false), "user\rpass\r");

  int64_t promptDone = -1, userAt = -1, passAt = -1;
  for (const auto& r : records) {
    if (r.FromBoard) promptDone = r.Micros;
    else if (r.Bytes.find("user") != std::string::npos) userAt = r.Micros;
    else if (r.Bytes.find("pass") != std::string::npos) passAt = r.Micros;
  }
  ASSERT_GE(userAt, 0);
  ASSERT_GE(passAt, 0);
  EXPECT_GE(userAt, promptDone) << "the user name went before the whole prompt had come";
  const int64_t pauseMs = (passAt - userAt) / 1000;
  // A pause ends on the first 500 ms timer tick at or after its time; the
  // upper bound leaves room for a heavily loaded machine.
  EXPECT_GE(pauseMs, 1450);
  EXPECT_LE(pauseMs, 1500 + 500 + 3000);
  std::printf("login steps: pause of 1500 ms measured as %lld ms at the board\n", static_cast<long long>(pauseMs));
  App->DisconnectCurrent();
  board.Stop();
}

TEST_F(LoginStepsTest, StepsEndWithTheirCall) {
  LoopbackListener first, second;
  Start();
  auto withSteps = RawEntry(first.Port(), {"WAITFOR \"go\"", "SEND \"from the first call\""});
  auto peer = CallEntry(first, withSteps);
  ASSERT_TRUE(peer);
  App->DisconnectCurrent();
  auto plain = RawEntry(second.Port(), {});
  auto peer2 = CallEntry(second, plain);
  ASSERT_TRUE(peer2);
  peer2->Write(std::string("go"));
  ASSERT_TRUE(RunUntil([&] { return CallScreenHas("go"); }));
  EXPECT_EQ(BoardReceives(*peer2, 1, 600), "");
  EXPECT_EQ(ToString(peer->ReadFor(100)), "");
}

}  // namespace
