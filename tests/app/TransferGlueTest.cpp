// The application's side of file transfers: a real sz on the board's end of
// a raw call sends into the download folder; the status, counters and
// transfer window follow; rates and door-asset archives.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "data/uConfig.h"
#include "data/uPhonebook.h"
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
