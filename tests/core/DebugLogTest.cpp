// The debug log: exact line formats, flush pacing, and whole lines from many
// threads at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/uDebugLog.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      out.push_back(text.substr(start));
      break;
    }
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

class DebugLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/korvan_log_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    Path = std::string(dir) + "/korvan_debug.log";
    LogEnabled = true;
  }
  void TearDown() override {
    LogClose();
    LogEnabled = false;
    unlink(Path.c_str());
  }
  std::string Path;
};

const std::regex kStamp("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ");

}  // namespace

TEST(HexDumpTest, Format) {
  const uint8_t bytes[] = {0x48, 0x65, 0x0A};
  EXPECT_EQ(HexDumpLine(bytes, 3), "48 65 0A | He.");
  const uint8_t edge[] = {31, 32, 126, 127, 255};
  EXPECT_EQ(HexDumpLine(edge, 5), "1F 20 7E 7F FF | . ~..");
  EXPECT_EQ(HexDumpLine(nullptr, 0), "| ");
}

TEST_F(DebugLogTest, LinesHaveTheTimeAndExactDumpForm) {
  LogOpen(Path);
  LogLine("Telnet: hello");
  const uint8_t bytes[] = {0x48, 0x65, 0x0A};
  LogHex("RECV", bytes, 3);
  LogHex("RECV", bytes, 0);  // nothing
  LogClose();
  auto lines = Lines(ReadFile(Path));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("^--- log opened \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ---$")))
      << lines[0];
  EXPECT_TRUE(std::regex_search(lines[1], kStamp));
  EXPECT_EQ(lines[1].substr(13), "Telnet: hello");
  EXPECT_EQ(lines[2].substr(13), "RECV (3 bytes): 48 65 0A | He.");
  EXPECT_TRUE(std::regex_match(lines[3], std::regex("^--- log closed .* ---$")));
}

TEST_F(DebugLogTest, DisabledOrClosedLogWritesNothing) {
  LogClose();  // without an open: nothing happens
  LogLine("before open");
  LogEnabled = false;
  LogOpen(Path);
  LogLine("while off");
  EXPECT_TRUE(access(Path.c_str(), F_OK) != 0);
}

TEST_F(DebugLogTest, ASecondOpenAppends) {
  LogOpen(Path);
  LogLine("first");
  LogClose();
  LogOpen(Path);
  LogLine("second");
  LogClose();
  auto lines = Lines(ReadFile(Path));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2].rfind("--- log closed", 0), 0u);
  EXPECT_EQ(lines[3].rfind("--- log opened", 0), 0u);
}

TEST_F(DebugLogTest, FlushesAtMostEvery200Ms) {
  LogOpen(Path);  // the opening line reaches the disk at once
  EXPECT_EQ(Lines(ReadFile(Path)).size(), 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  LogLine("one");  // more than 200 ms after the last flush: flushed
  EXPECT_EQ(Lines(ReadFile(Path)).size(), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  LogLine("two");  // 50 ms later: stays buffered
  EXPECT_EQ(Lines(ReadFile(Path)).size(), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  LogLine("three");  // 250 ms after the flush: both reach the disk
  EXPECT_EQ(Lines(ReadFile(Path)).size(), 4u);
  LogLine("four");
  LogClose();
  EXPECT_EQ(Lines(ReadFile(Path)).size(), 6u);
}

TEST_F(DebugLogTest, EightThreadsNeverInterleaveALine) {
  constexpr int kThreads = 8, kLines = 10000;
  LogOpen(Path);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      std::string body = "Worker" + std::to_string(t) + ": " + std::string(40, char('a' + t));
      const uint8_t bytes[] = {uint8_t(t), 0x41, 0x42};
      for (int i = 0; i < kLines; ++i) {
        if (i % 2)
          LogLine(body);
        else
          LogHex("T" + std::to_string(t), bytes, 3);
      }
    });
  for (auto& th : threads) th.join();
  LogClose();
  auto lines = Lines(ReadFile(Path));
  ASSERT_EQ(lines.size(), size_t(kThreads * kLines + 2));
  const std::regex whole(
      "^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d (Worker(\\d): ([a-h])\\3{39}|T(\\d) \\(3 bytes\\): 0(\\d) 41 42 \\| \\.AB)$");
  std::vector<int> perThread(kThreads, 0);
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, whole)) << "line " << i << ": " << lines[i];
    int t = m[2].matched ? std::stoi(m[2]) : std::stoi(m[4]);
    if (m[2].matched) EXPECT_EQ(m[3].str()[0], char('a' + t));
    else EXPECT_EQ(std::stoi(m[5]), t);
    ++perThread[size_t(t)];
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(perThread[size_t(t)], kLines);
}
