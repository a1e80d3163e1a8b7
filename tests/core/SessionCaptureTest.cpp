// Call capture: the .ans file holds exactly the bytes fed; the .log notes
// carry their formats; names, restarts and write failures behave.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "core/uSessionCapture.h"
#include "tests/support/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) { return testsupport::ReadWholeFile(path.string()); }

class SessionCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Tick = 1000;
    CaptureSetClocks([this] { return Tick; }, [] { return platform::LocalTime{2026, 12, 9, 14, 5, 9, 0}; });
  }
  void TearDown() override {
    StopCapture();
    CaptureSetClocks({}, {});
  }
  testsupport::TempDir Temp;
  fs::path Dir{Temp.Path()};
  uint64_t Tick;
};

TEST_F(SessionCaptureTest, FileStem) {
  EXPECT_EQ(CaptureFileStem("name:2323"), "name_2323");
  EXPECT_EQ(CaptureFileStem("bbs.Example-1.org"), "bbs.Example-1.org");
  EXPECT_EQ(CaptureFileStem(""), "session");
}

TEST_F(SessionCaptureTest, RawStreamIsByteIdenticalAndNotesAreWritten) {
  std::string path;
  StartCapture(Dir.string(), "bbs.example.org:23", path);
  ASSERT_EQ(path, (Dir / "bbs.example.org_23_20261209_140509.ans").string());
  EXPECT_TRUE(CaptureActive());
  // Every byte value, in chunks of odd sizes, with time passing between them.
  std::vector<uint8_t> fed;
  std::mt19937 rng(7);
  for (int chunk = 0; chunk < 195; ++chunk) {
    std::vector<uint8_t> data(1 + rng() % 700);
    for (uint8_t& b : data) b = uint8_t(rng());
    fed.insert(fed.end(), data.begin(), data.end());
    CaptureWrite(data.data(), data.size());
    CaptureWrite(data.data(), 0);  // nothing, and no progress note
    Tick += 20000;                 // 1 h 5 min over the run
  }
  // One more write after exactly 1 h 5 min 30 s since the start.
  Tick = 1000 + (3600 + 5 * 60 + 30) * 1000;
  uint8_t last = 0x1B;
  fed.push_back(last);
  CaptureWrite(&last, 1);
  StopCapture();
  EXPECT_FALSE(CaptureActive());
  EXPECT_EQ(CapturePath(), path);  // kept after the stop
  std::string ans = ReadFile(path);
  EXPECT_EQ(ans, std::string(fed.begin(), fed.end()));

  std::string log = ReadFile(Dir / "bbs.example.org_23_20261209_140509.log");
  std::istringstream lines(log);
  std::string first, line, progress, stop;
  std::getline(lines, first);
  EXPECT_EQ(first,
            "[2026-12-09 14:05:09] Capture started - host \"bbs.example.org:23\", raw stream -> "
            "bbs.example.org_23_20261209_140509.ans\r");
  int progressLines = 0;
  while (std::getline(lines, line)) {
    if (line.find("still capturing") != std::string::npos) {
      ++progressLines;
      progress = line;
    } else {
      stop = line;
    }
  }
  // 195 chunks 20 s apart: a note every third chunk (60 s), then the last one.
  EXPECT_EQ(progressLines, 65);
  std::string total = std::to_string(fed.size());
  EXPECT_EQ(progress, "[2026-12-09 14:05:09] ...still capturing (" + total + " bytes so far, 05:30 elapsed)\r");
  EXPECT_EQ(stop, "[2026-12-09 14:05:09] Capture stopped - " + total + " bytes, duration 01:05:30\r");
}

TEST_F(SessionCaptureTest, RestartClosesTheFirstAndKeepsIt) {
  std::string first, second;
  StartCapture(Dir.string(), "", first);
  uint8_t a[] = {'A'};
  CaptureWrite(a, 1);
  // Same host, same second: the first capture is not overwritten.
  StartCapture(Dir.string(), "", second);
  EXPECT_EQ(first, (Dir / "session_20261209_140509.ans").string());
  EXPECT_EQ(second, (Dir / "session_20261209_140509_2.ans").string());
  uint8_t b[] = {'B'};
  CaptureWrite(b, 1);
  StopCapture();
  EXPECT_EQ(ReadFile(first), "A");
  EXPECT_EQ(ReadFile(second), "B");
  std::string log = ReadFile(Dir / "session_20261209_140509.log");
  EXPECT_NE(log.find("Capture stopped - 1 bytes, duration 00:00:00\r\n"), std::string::npos) << log;
}

TEST_F(SessionCaptureTest, FailuresLeaveItIdle) {
  std::ofstream(Dir / "plainfile") << "x";
  std::string path = "x";
  StartCapture((Dir / "plainfile" / "sub").string(), "h", path);
  EXPECT_EQ(path, "");
  EXPECT_FALSE(CaptureActive());
  uint8_t a[] = {'A'};
  CaptureWrite(a, 1);  // ignored while idle
  CaptureLogLine("ignored");
}

}  // namespace
