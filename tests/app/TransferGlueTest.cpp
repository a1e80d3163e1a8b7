// The application's side of file transfers: a real sz on the board's end of
// a raw call sends into the download folder; the status, counters and
// transfer window follow; rates and door-asset archives.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Tick.h"
#include "tests/app/AppFixture.h"

using namespace testsupport;
using TransferGlueTest = AppFixture;

TEST_F(TransferGlueTest, AFileSentBySzArrivesAndIsReported) {
  ASSERT_EQ(system("command -v sz >/dev/null && command -v socat >/dev/null"), 0)
      << "sz (lrzsz) and socat are needed for this test";
  TempDir boardFiles;
  std::vector<uint8_t> data(60000);
  std::mt19937 rng(7);
  for (auto& b : data) b = uint8_t(rng());
  ASSERT_TRUE(WriteWholeFile(boardFiles.File("door.dat"), std::string(data.begin(), data.end())));
  WriteWholeFile(Folder.File("korvan_config.ini"), "[Config]\nDownloadDir=downloads\n[Debug]\nRawLog=1\n");

  const uint16_t port = FreeLoopbackPort();
  ChildProcess board;
  ASSERT_TRUE(board.Start({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr",
                           "EXEC:sz -q " + boardFiles.File("door.dat")}));
  Start();
  for (int i = 0; i < 100 && !App->FTelnet; ++i) {
    auto entry = std::make_shared<TPhonebookEntry>();
    entry->Name = "sz board";
    entry->Host = "127.0.0.1";
    entry->Port = port;
    entry->UseRaw = true;  // binary data straight, as a raw TCP board sends it
    usleep(50000);
    App->ConnectToEntry(entry, false);
    RunUntil([&] { return App->FConnectTick != 0 || !App->FTelnet; }, 1000);
    if (App->FConnectTick == 0) App->DisconnectCurrent();
  }
  ASSERT_NE(App->FConnectTick, 0u) << "no call to the sz board";
  bool sawWindow = false;
  ASSERT_TRUE(RunUntil([&] {
    sawWindow = sawWindow || App->FXferTitle == "Receiving via Zmodem";
    return App->FFilesDown == 1;
  }, 60000)) << App->FStatus;
  EXPECT_TRUE(sawWindow);
  EXPECT_EQ(App->FStatus, "Transfer complete: door.dat");
  EXPECT_EQ(ReadWholeFile(Folder.File("downloads/door.dat")), std::string(data.begin(), data.end()));
}

TEST_F(TransferGlueTest, RateAndEtaFollowTheMeasurement) {
  Start();
  EXPECT_EQ(App->FormatTransferRate("f", 0, 4000000), "") << "a new file starts a measurement";
  App->FRateStartTick = platform::TickMs() - 10000;
  EXPECT_EQ(App->FormatTransferRate("f", 1000000, 4000000), " @ 97.7 KB/s, ETA 00:30");
  EXPECT_EQ(App->FormatTransferRate("g", 10, 0), "") << "another file restarts it";
  App->FRateStartTick = platform::TickMs() - 1000;
  EXPECT_EQ(App->FormatTransferRate("g", 3000010, 0), " @ 2.9 MB/s");
  App->FRateStartTick = platform::TickMs() - 200;
  EXPECT_EQ(App->FormatTransferRate("g", 3000020, 0), "") << "under half a second shows no rate yet";
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
  EXPECT_TRUE(App->UnzipDoorAssets(good, folder));
  EXPECT_EQ(std::filesystem::file_size(folder + "a.pcx"), 300u);
  EXPECT_EQ(std::filesystem::file_size(folder + "b.wav"), 7u);
  EXPECT_FALSE(App->UnzipDoorAssets(evil, folder));
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
  App->FXYmodem->StartReceive(xpXmodemCrc, "chain.bin");
  const std::string wire = XmodemBlock(1, data) + "\x04";
  App->ProcessIncoming(reinterpret_cast<const uint8_t*>(wire.data()), int(wire.size()), false);
  EXPECT_EQ(App->FXYmodem->Mode, TXYmodemEngine::xmIdle) << "the block and the EOT all arrived";
  EXPECT_EQ(ReadWholeFile(Folder.File("downloads/chain.bin")), data);
  EXPECT_EQ(App->FStatus, "Transfer complete: chain.bin");
  EXPECT_EQ(App->FFilesDown, 1);
}

TEST_F(TransferGlueTest, StatusTextsAndFileCounts) {
  Start();
  TempDir work;
  WriteWholeFile(work.File("up.txt"), "upload");
  auto feed = [this](const std::string& bytes) {
    App->ProcessIncoming(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()), false);
  };
  struct Row {
    const char* Name;
    std::function<void()> Act;
    std::string Status;
    int Up, Down;
  };
  const Row rows[] = {
      {"Zmodem progress with a size", [&] { App->OnZmodemProgress("a.bin", 500, 1000); },
       "Receiving a.bin: 500 / 1000 bytes (50%)", 0, 0},
      {"Zmodem progress without a size", [&] { App->OnZmodemProgress("b.bin", 700, 0); },
       "Receiving b.bin: 700 bytes", 0, 0},
      {"incoming file already here", [&] { App->OnZmodemSkipped("r.txt"); }, "Skipped (already exists): r.txt", 0, 0},
      {"board refused an upload", [&] { App->OnZmodemRefused(work.File("up.txt")); },
       "BBS refused up.txt - already on the board, too big, or can't be saved there", 0, 0},
      {"Zmodem file failed", [&] { App->OnZmodemFileDone("x.bin", false); }, "Transfer failed: x.bin", 0, 0},
      {"Xmodem upload counts as sent",
       [&] {
         App->FXYmodem->AddSendFile(work.File("up.txt"));
         App->FXYmodem->StartSend(xpXmodemCrc);
         feed("C");
         EXPECT_EQ(App->FStatus, "Sending up.txt (Xmodem-CRC): 6 / 6 bytes (100%)");
         EXPECT_EQ(App->FXferTitle, "Sending via Xmodem-CRC");
         feed("\x06");  // the block
         feed("\x06");  // the EOT
       },
       "Transfer complete: up.txt", 1, 0},
      {"end of a Ymodem batch", [&] { App->OnXYmodemDone("", true); }, "Ymodem batch complete.", 0, 0},
      {"upload with nothing to send",
       [&] { App->FXYmodem->StartSend(xpYmodem); }, "Transfer failed: No file to send", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    App->FFilesUp = App->FFilesDown = 0;
    row.Act();
    EXPECT_EQ(App->FStatus, row.Status);
    EXPECT_EQ(App->FFilesUp, row.Up);
    EXPECT_EQ(App->FFilesDown, row.Down);
  }
  EXPECT_EQ(App->FToastText, "r.txt already exists");
  EXPECT_EQ(App->FRefusedName, "up.txt");
}
