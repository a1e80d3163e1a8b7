// The application's side of file transfers: a real sz on the board's end of
// a raw call sends into the download folder; the status, counters and
// transfer window follow; rates and door-asset archives.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>

#include "app/modes/uDoorGraphicsMode.h"
#include "core/uTerminalBuffer.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "net/uZmodemFrame.h"
#include "platform/Tick.h"
#include "tests/app/AppFixture.h"

using namespace testsupport;
class TransferGlueTest : public AppFixture {
 protected:
  // Starts the application and calls a board whose end of the call is
  // "sz -q Files" (a raw call: binary data straight, as a raw TCP board sends it).
  // The board keeps the line open after sz has ended, so that the end of
  // the call cannot replace the transfer's status before the test reads it.
  void CallSzBoard(ChildProcess& board, const std::string& files) {
    ASSERT_EQ(system("command -v sz >/dev/null && command -v socat >/dev/null"), 0)
        << "sz (lrzsz) and socat are needed for this test";
    const uint16_t port = FreeLoopbackPort();
    ASSERT_TRUE(board.Start({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                             "SYSTEM:sz -q " + files + "; cat >/dev/null"}));
    Start();
    for (int i = 0; i < 100 && !App->CallOpen(); ++i) {
      auto entry = std::make_shared<TPhonebookEntry>();
      entry->Name = "sz board";
      entry->Host = "127.0.0.1";
      entry->Port = port;
      entry->UseRaw = true;
      usleep(50000);
      App->ConnectToEntry(entry, false);
      RunUntil([&] { return App->CallConnected() || !App->CallOpen(); }, 1000);
      if (!App->CallConnected()) App->DisconnectCurrent();
    }
    ASSERT_TRUE(App->CallConnected()) << "no call to the sz board";
  }
};

std::string RandomText(size_t size, unsigned seed) {
  std::string data(size, '\0');
  std::mt19937 rng(seed);
  for (auto& b : data) b = char(rng());
  return data;
}

TEST_F(TransferGlueTest, AFileSentBySzArrivesAndIsReported) {
  TempDir boardFiles;
  const std::string text = RandomText(60000, 7);
  const std::vector<uint8_t> data(text.begin(), text.end());
  ASSERT_TRUE(WriteWholeFile(boardFiles.File("door.dat"), text));
  WriteWholeFile(Folder.File("korvan_config.ini"), "[Config]\nDownloadDir=downloads\n[Debug]\nRawLog=1\n");
  ChildProcess board;
  CallSzBoard(board, boardFiles.File("door.dat"));
  if (HasFatalFailure()) return;
  bool sawWindow = false;
  ASSERT_TRUE(RunUntil([&] {
    sawWindow = sawWindow || Probe().TransferTitle() == "Receiving via Zmodem";
    return Probe().FilesDown() == 1;
  }, 60000)) << App->StatusText();
  EXPECT_TRUE(sawWindow);
  EXPECT_EQ(App->StatusText(), "Transfer complete: door.dat");
  EXPECT_EQ(ReadWholeFile(Folder.File("downloads/door.dat")), std::string(data.begin(), data.end()));
}

// The rate is measured from the clock, which moves on while the text is
// made: each shown figure is checked against the range of rates that the
// time read around the call allows, within the rounding of its last digit.
TEST_F(TransferGlueTest, RateAndEtaFollowTheMeasurement) {
  Start();
  struct Row {
    const char* Name;
    uint32_t AgoMs;
    int64_t Bytes;  // since the measurement started
    int64_t Total;
    const char* Unit;
    double UnitBytes;
  };
  const Row rows[] = {
      {"KB/s with an ETA", 10000, 1000000, 4000000, "KB", 1024},
      {"MB/s, size unknown", 1000, 3000000, 0, "MB", 1048576},
      {"B/s", 2000, 1800, 10000, "B", 1},
  };
  const std::regex shape(R"( @ ([0-9.]+) (B|KB|MB)/s(, ETA (\d\d):(\d\d))?)");
  int file = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    const std::string name = "f" + std::to_string(file++);
    EXPECT_EQ(Probe().FormatTransferRate(name, 10, r.Total), "") << "a new file starts a measurement";
    const uint64_t from = platform::TickMs();
    Probe().RateStartTick() = from - r.AgoMs;
    const std::string text = Probe().FormatTransferRate(name, 10 + r.Bytes, r.Total);
    const uint64_t spent = platform::TickMs() - from;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, shape)) << text;
    EXPECT_EQ(m[2].str(), r.Unit) << text;
    const double fastest = r.Bytes / (r.AgoMs / 1000.0), slowest = r.Bytes / ((r.AgoMs + spent) / 1000.0);
    const double shown = std::stod(m[1].str()) * r.UnitBytes, digit = r.UnitBytes == 1 ? 0.5 : 0.05 * r.UnitBytes;
    EXPECT_GE(shown, slowest - digit - 1e-6) << text << " after " << spent << " ms";
    EXPECT_LE(shown, fastest + digit + 1e-6) << text << " after " << spent << " ms";
    EXPECT_EQ(m[3].matched, r.Total > 0) << text << ": an ETA only while the size is known";
    if (r.Total > 0) {
      const int eta = std::stoi(m[4].str()) * 60 + std::stoi(m[5].str());
      const double remaining = double(r.Total - 10 - r.Bytes);
      EXPECT_GE(eta, remaining / fastest - 0.5 - 1e-6) << text;
      EXPECT_LE(eta, remaining / slowest + 0.5 + 1e-6) << text;
    }
  }
  EXPECT_EQ(Probe().FormatTransferRate("g", 10, 0), "");
  const uint64_t from = platform::TickMs();
  Probe().RateStartTick() = from - 200;
  const std::string early = Probe().FormatTransferRate("g", 3000020, 0);
  if (platform::TickMs() - from + 200 < 500) {
    EXPECT_EQ(early, "") << "under half a second shows no rate yet";
  }
}

TEST_F(TransferGlueTest, DoorArchivesUnpackOnlyPlainNamesIntoTheirFolder) {
  Start();
  TempDir work;
  const std::string good = work.File("assets.zip"), evil = work.File("evil.zip");
  std::string make = "python3 -c \"import zipfile,sys\n"
                     "z=zipfile.ZipFile(sys.argv[1],'w'); z.writestr('a.pcx','x'*300); z.writestr('b.wav','y'*7); z.close()\n"
                     "z=zipfile.ZipFile(sys.argv[2],'w'); z.writestr('ok.txt','1'); z.writestr('../escaped.txt','2'); z.close()\" " +
                     good + " " + evil;
  ASSERT_EQ(system(make.c_str()), 0);
  std::filesystem::create_directory(work.Path() + "door");
  const std::string folder = work.Path() + "door/";
  EXPECT_TRUE(UnzipDoorAssets(good, folder));
  EXPECT_EQ(std::filesystem::file_size(folder + "a.pcx"), 300u);
  EXPECT_EQ(std::filesystem::file_size(folder + "b.wav"), 7u);
  EXPECT_FALSE(UnzipDoorAssets(evil, folder));
  EXPECT_FALSE(std::filesystem::exists(work.Path() + "escaped.txt")) << "nothing lands outside its folder";
}

// An Xmodem-CRC block as a sender puts it on the wire.
std::string XmodemBlock(uint8_t number, const std::string& data128) {
  std::string f = {char(0x01), char(number), char(255 - number)};
  f += data128;
  const uint16_t crc = BlockCrc(reinterpret_cast<const uint8_t*>(data128.data()), data128.size());
  f += char(crc >> 8);
  f += char(crc & 0xFF);
  return f;
}

TEST_F(TransferGlueTest, XmodemBlocksPassTheZmodemDetectorUntouched) {
  WriteWholeFile(Folder.File("korvan_config.ini"), "[Config]\nDownloadDir=downloads\n[Debug]\nRawLog=1\n");
  Start();
  // Binary data holding what the Zmodem detector would take for the start
  // of a header: "*" before CAN, and a whole hex header lead-in.
  std::string data = "one*\x18two**\x18" "B0100000023be50\r\n*";
  while (data.size() < 128) data += char('a' + data.size() % 26);
  Probe().XYmodem().StartReceive(xpXmodemCrc, "chain.bin");
  const std::string wire = XmodemBlock(1, data) + "\x04";
  Probe().ProcessIncoming(wire);
  EXPECT_EQ(Probe().XYmodem().Mode, TXYmodemEngine::xmIdle) << "the block and the EOT all arrived";
  EXPECT_EQ(ReadWholeFile(Folder.File("downloads/chain.bin")), data);
  EXPECT_EQ(App->StatusText(), "Transfer complete: chain.bin");
  EXPECT_EQ(Probe().FilesDown(), 1);
}

TEST_F(TransferGlueTest, StatusTextsAndFileCounts) {
  Start();
  TempDir work;
  WriteWholeFile(work.File("up.txt"), "upload");
  auto feed = [this](const std::string& bytes) { Probe().ProcessIncoming(bytes); };
  struct Row {
    const char* Name;
    std::function<void()> Act;
    std::string Status;
    int Up, Down;
  };
  const Row rows[] = {
      {"Zmodem progress with a size", [&] { Probe().OnZmodemProgress("a.bin", 500, 1000); },
       "Receiving a.bin: 500 / 1000 bytes (50%)", 0, 0},
      {"Zmodem progress without a size", [&] { Probe().OnZmodemProgress("b.bin", 700, 0); },
       "Receiving b.bin: 700 bytes", 0, 0},
      {"incoming file already here", [&] { Probe().OnZmodemSkipped("r.txt"); }, "Skipped (already exists): r.txt", 0, 0},
      {"board refused an upload", [&] { Probe().OnZmodemRefused(work.File("up.txt")); },
       "BBS refused up.txt - already on the board, too big, or can't be saved there", 0, 0},
      {"Zmodem file failed", [&] { Probe().OnZmodemFileDone("x.bin", false); }, "Transfer failed: x.bin", 0, 0},
      {"Xmodem upload counts as sent",
       [&] {
         Probe().XYmodem().AddSendFile(work.File("up.txt"));
         Probe().XYmodem().StartSend(xpXmodemCrc);
         feed("C");
         EXPECT_EQ(App->StatusText(), "Sending up.txt (Xmodem-CRC): 6 / 6 bytes (100%)");
         EXPECT_EQ(Probe().TransferTitle(), "Sending via Xmodem-CRC");
         feed("\x06");  // the block
         feed("\x06");  // the EOT
       },
       "Transfer complete: up.txt", 1, 0},
      {"end of a Ymodem batch", [&] { Probe().OnXYmodemDone("", true); }, "Ymodem batch complete.", 0, 0},
      {"upload with nothing to send",
       [&] { Probe().XYmodem().StartSend(xpYmodem); }, "Transfer failed: No file to send", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Probe().FilesUp() = Probe().FilesDown() = 0;
    row.Act();
    EXPECT_EQ(App->StatusText(), row.Status);
    EXPECT_EQ(Probe().FilesUp(), row.Up);
    EXPECT_EQ(Probe().FilesDown(), row.Down);
  }
  EXPECT_EQ(App->Popups().Toast.Text, "r.txt already exists");
  EXPECT_EQ(Probe().RefusedName(), "up.txt");
}

// What a Zmodem sender on a board puts on the wire, built with the framing
// unit; hex headers end the way lrzsz ends them (CR, LF with its high bit,
// XON).
class SenderScript {
 public:
  SenderScript& Text(const std::string& text) {
    Out.insert(Out.end(), text.begin(), text.end());
    return *this;
  }
  SenderScript& Hex(uint8_t type, uint32_t pos = 0) {
    const size_t start = Out.size();
    zm::TZmodemEncoder::AppendHexHeader(Out, zm::TZHeader::At(type, pos));
    for (size_t i = start; i < Out.size(); ++i)
      if (Out[i] == '\n') Out[i] = 0x8A;
    return *this;
  }
  SenderScript& Bin(uint8_t type, uint32_t pos = 0) {
    Enc.AppendBinaryHeader(Out, zm::TZHeader::At(type, pos));
    return *this;
  }
  SenderScript& Sub(const std::string& data, uint8_t end) {
    Enc.AppendSubpacket(Out, reinterpret_cast<const uint8_t*>(data.data()), data.size(), end);
    return *this;
  }
  // ZFILE with its information subpacket: name, NUL, size (none when empty).
  SenderScript& Offer(const std::string& name, const std::string& size) {
    return Bin(zm::ZFILE).Sub(name + std::string(1, '\0') + size, zm::ZCRCW);
  }
  // A whole file offered and sent, ending with ZEOF.
  SenderScript& File(const std::string& name, const std::string& size, const std::string& data) {
    Offer(name, size).Bin(zm::ZDATA, 0).Sub(data, zm::ZCRCE);
    return Hex(zm::ZEOF, uint32_t(data.size()));
  }
  Bytes Out;

 private:
  zm::TZmodemEncoder Enc;
};

// The screen's rows with trailing blanks cut, down to the last non-empty one.
std::vector<std::string> ScreenText(const TTerminalBuffer& buffer) {
  std::vector<std::string> rows;
  for (int y = 0; y < buffer.FHeight; ++y) {
    std::string row;
    for (int x = 0; x < buffer.FWidth; ++x) row += char(buffer.GetCell(x, y).Ch);
    row.erase(row.find_last_not_of(std::string(" \0", 2)) + 1);
    rows.push_back(row);
  }
  while (!rows.empty() && rows.back().empty()) rows.pop_back();
  return rows;
}

TEST_F(TransferGlueTest, NothingASenderSendsDuringASessionReachesTheScreen) {
  WriteWholeFile(Folder.File("korvan_config.ini"), "[Config]\nDownloadDir=downloads\n");
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  const std::string inFlight(48 * 1024, 'I');  // text a write failure used to leave on the screen
  struct Row {
    const char* Name;
    std::string File, Stored;
    Bytes Script;
    bool DiskFull;
  };
  // Each session ends with the board's own text: "DONE" and the file's name.
  auto session = [](const std::string& name, const std::string& data, const std::function<void(SenderScript&)>& more) {
    SenderScript s;
    s.Text("\x1b[2J\x1b[Hrz\r").Hex(zm::ZRQINIT).Offer(name, std::to_string(data.size())).Bin(zm::ZDATA, 0);
    for (size_t at = 0; at < data.size(); at += 8192)
      s.Sub(data.substr(at, 8192), at + 8192 >= data.size() ? zm::ZCRCE : zm::ZCRCG);
    s.Hex(zm::ZEOF, uint32_t(data.size()));
    more(s);
    s.Hex(zm::ZFIN).Text("OO\r\nDONE " + name);
    return s.Out;
  };
  const Row rows[] = {
      {"the line ends of the sender's headers", "one.txt", "hello", session("one.txt", "hello", [](SenderScript&) {}),
       false},
      {"data for no file, repeated after ZEOF", "two.txt", "hello",
       session("two.txt", "hello",
               [](SenderScript& s) {
                 s.Bin(zm::ZDATA, 0).Sub("REPEATED ", zm::ZCRCG).Sub("DATA", zm::ZCRCW).Hex(zm::ZEOF, 5);
               }),
       false},
      {"data in flight after a write failed", "big.txt", "", session("big.txt", inFlight, [](SenderScript&) {}),
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    std::unique_ptr<FileSizeLimit> full;
    if (row.DiskFull) full = std::make_unique<FileSizeLimit>(20000);
    ASSERT_TRUE(peer->Write(row.Script));
    ASSERT_TRUE(RunUntil([&] {
      peer->ReadFor(1);
      const auto screen = ScreenText(App->CallScreen());
      return !screen.empty() && screen.back().find("DONE " + row.File) != std::string::npos;
    })) << App->StatusText();
    full.reset();
    EXPECT_EQ(ScreenText(App->CallScreen()), (std::vector<std::string>{"rz", "DONE " + row.File}));
    EXPECT_EQ(Probe().Zmodem().State, 0);
    if (row.DiskFull) {
      EXPECT_EQ(App->StatusText(), "Transfer failed: " + row.File);
    } else {
      EXPECT_EQ(ReadWholeFile(Folder.File("downloads/" + row.File)), row.Stored);
    }
  }
}

// With the download folder at its default, the program's folder, a board
// offers the program's own files and a file the user keeps there.
TEST_F(TransferGlueTest, ABoardCannotReplaceTheProgramsFilesOrTheUsersOwn) {
  const std::string settings = "[Debug]\nRawLog=1\n";
  WriteWholeFile(Folder.File("korvan_config.ini"), settings);
  WriteWholeFile(Folder.File("notes.txt"), "the user's notes");
  const std::string evil = "[Config]\nDownloadDir=/tmp\n";
  LoopbackListener board;
  auto peer = CallBoard(board);
  ASSERT_TRUE(peer);
  const std::string phonebook = ReadWholeFile(Folder.File("korvan.ini"));
  ASSERT_FALSE(phonebook.empty());
  SenderScript script;
  script.Text("rz\r").Hex(zm::ZRQINIT);
  const char* refused[] = {"korvan_config.ini", "KORVAN.INI", "korvan_debug.log", "ssh_known_hosts.txt", "fonts"};
  for (const char* name : refused) script.File(name, "", evil);
  script.File("korvan.ini", "100000", evil);  // larger than the phonebook: would be resumed
  script.File("notes.txt", "", "from the board").Hex(zm::ZFIN).Text("OO\r\nDONE");
  ASSERT_TRUE(peer->Write(script.Out));
  ASSERT_TRUE(RunUntil([&] {
    peer->ReadFor(1);
    return Row(1).find("DONE") != std::string::npos;
  })) << App->StatusText();
  EXPECT_EQ(Probe().FilesDown(), 1);
  App.reset();

  EXPECT_EQ(ReadWholeFile(Folder.File("korvan_config.ini")), settings);
  EXPECT_EQ(ReadWholeFile(Folder.File("korvan.ini")), phonebook);
  EXPECT_EQ(ReadWholeFile(Folder.File("notes.txt")), "the user's notes");
  EXPECT_EQ(ReadWholeFile(Folder.File("notes_2.txt")), "from the board");
  EXPECT_FALSE(std::filesystem::exists(Folder.File("KORVAN.INI")));
  EXPECT_FALSE(std::filesystem::exists(Folder.File("ssh_known_hosts.txt")));
  const std::string log = ReadWholeFile(Folder.File("korvan_debug.log"));
  EXPECT_EQ(log.find(evil), std::string::npos) << "the board's data is in no file";
  for (const std::string name : {"korvan_config.ini", "KORVAN.INI", "korvan_debug.log", "ssh_known_hosts.txt", "fonts",
                                 "korvan.ini"})
    EXPECT_NE(log.find("Zmodem: refused the file name (one of the program's own files) (\"" + name + "\")"),
              std::string::npos)
        << name;
  EXPECT_NE(log.find("Zmodem: notes.txt already exists, saving as notes_2.txt"), std::string::npos);
}

// The default download folder (the program's) resumes a partial file from sz.
TEST_F(TransferGlueTest, APartialDownloadIsResumedFromSz) {
  TempDir boardFiles;
  const std::string data = RandomText(200000, 8);
  ASSERT_TRUE(WriteWholeFile(boardFiles.File("big.zip"), data));
  ASSERT_TRUE(WriteWholeFile(Folder.File("big.zip"), data.substr(0, 70000)));
  ChildProcess board;
  CallSzBoard(board, boardFiles.File("big.zip"));
  if (HasFatalFailure()) return;
  int64_t firstDone = -1;
  ASSERT_TRUE(RunUntil([&] {
    if (firstDone < 0 && Probe().TransferTotal() > 0) firstDone = Probe().TransferDone();
    return Probe().FilesDown() == 1;
  }, 60000)) << App->StatusText();
  // The window starts at the resume point, or past it when the first
  // progress came in the same turn of the loop as more data; only the rest
  // of the file crossed the wire.
  EXPECT_GE(firstDone, 70000) << "the transfer window starts at the resume point";
  EXPECT_LT(Probe().BytesIn(), 180000) << "the first 70000 bytes were sent again";
  EXPECT_EQ(ReadWholeFile(Folder.File("big.zip")), data);
  EXPECT_FALSE(std::filesystem::exists(Folder.File("big_2.zip")));
}
