// The board-list download in the running program: Ctrl+F11 against a local
// HTTPS server whose certificate comes from a test authority, the archive of
// this month or last month, the list taken out of the archive and merged
// with the list it replaces, the question when the user's edits would be
// overwritten, the backup of the old list, and every way an archive can fail.
#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/screens/uEntryEditor.h"
#include "app/uAppGuide.h"
#include "core/uDebugLog.h"
#include "data/uPhonebook.h"
#include "data/uPhonebookImport.h"
#include "net/uOpenSSLTls.h"
#include "net/uWireTransport.h"
#include "platform/Tick.h"
#include "tests/app/ScreenFixture.h"
#include "tests/support/HttpsPeer.h"
#include "tests/support/Loopback.h"

namespace fs = std::filesystem;
namespace vk = platform::vk;
using namespace testsupport;

namespace {

using TZipEntries = std::vector<std::pair<std::string, std::string>>;

// A zip archive with the entries under exactly the names given.
std::string ZipOf(const TempDir& dir, const TZipEntries& entries) {
  const std::string path = dir.File("made.zip");
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  EXPECT_NE(z, nullptr);
  if (!z) return "";
  for (const auto& [name, data] : entries) {
    zip_source_t* source = zip_source_buffer(z, data.data(), data.size(), 0);
    EXPECT_GE(zip_file_add(z, name.c_str(), source, ZIP_FL_ENC_RAW), 0) << name;
  }
  EXPECT_EQ(zip_close(z), 0);
  return ReadWholeFile(path);
}

std::string TwoDigits(int n) { return std::string(1, char('0' + n / 10 % 10)) + char('0' + n % 10); }

// The board list of this month: three boards in sectioned form.
const char* const kNewList =
    "[Alpha BBS]\nConnectionType=Telnet\nAddress=alpha.example\nPort=23\n\n"
    "[Beta BBS]\nConnectionType=Telnet\nAddress=beta.example\nPort=2323\n\n"
    "[Gamma BBS]\nConnectionType=SSH\nAddress=gamma.example\nPort=22\n";

class GuideDownloadThreads : public WithTrustedLocalhost<ScreenFixture> {
 protected:
  void SetUp() override {
    ScreenFixture::SetUp();
    ASSERT_FALSE(FindProgram("python3").empty()) << "python3 is needed for the scripted HTTPS server";
    FServer = std::make_unique<ScriptedHttpsServer>(FSite, FTls->Localhost, FSite.Path());
    const platform::LocalTime now = platform::NowLocal();
    FThisMonth = TwoDigits(now.Month) + TwoDigits(now.Year);
    FLastMonth = now.Month == 1 ? "12" + TwoDigits(now.Year - 1) : TwoDigits(now.Month - 1) + TwoDigits(now.Year);
    UseArchiveName("https://localhost:" + std::to_string(FServer->Port()) + "/file/guide%MMYY%.zip");
  }

  void UseArchiveName(const std::string& name) {
    WriteWholeFile(Folder.File("korvan_config.ini"), "[Config]\nLastPhonebookBackup=" +
                                                         FormatIsoDate(NowDateTime()) + "\nUseGuidePhonebook=1\n" +
                                                         "GuideArchiveName=" + name + "\n[Debug]\nRawLog=1\n");
  }
  // The archive the server offers for a month ("MMYY").
  void Offer(const std::string& month, const std::string& archive) {
    ASSERT_TRUE(WriteWholeFile(FSite.File("guide" + month + ".zip"), archive));
  }
  void OfferList(const std::string& month, const std::string& list) {
    Offer(month, ZipOf(FZips, {{"syncterm.lst", list}}));
  }
  // The previous board list on disk, entries as the test builds them.
  void WriteBoardList(const std::vector<TPhonebookEntryPtr>& entries) {
    TPhonebook book(Folder.File("bbsguide.ini"));
    book.Entries() = entries;
    ASSERT_TRUE(book.SaveToFile());
  }
  static TPhonebookEntryPtr Board(const std::string& name, const std::string& host, uint16_t port) {
    auto e = std::make_shared<TPhonebookEntry>();
    e->Name = name;
    e->Host = host;
    e->Port = port;
    return e;
  }
  TPhonebook SavedBoardList() const {
    TPhonebook book(Folder.File("bbsguide.ini"));
    EXPECT_TRUE(book.LoadFromFile());
    return book;
  }
  static std::vector<std::string> Names(const TPhonebook& book) {
    std::vector<std::string> names;
    for (const auto& e : book.Entries()) names.push_back(e->Name);
    return names;
  }

  // Runs the loop until the download has ended in a final status text.
  bool AwaitGuide(uint32_t ms = 60000) {
    return RunUntil([&] {
      const std::string& s = App->StatusText();
      return !Probe().GuideDownloadRunning() &&
             (s.rfind("Telnet BBS Guide updated", 0) == 0 || s.rfind("BBS Guide", 0) == 0);
    }, ms);
  }
  void CtrlF11() { Key(vk::Fn(11), false, true, false); }
  std::string Backup() const {
    const platform::LocalTime now = platform::NowLocal();
    return Folder.File("bbsguide_backup_" + std::to_string(now.Year) + TwoDigits(now.Month) + TwoDigits(now.Day) +
                       ".ini");
  }

  TempDir FSite, FZips;
  std::unique_ptr<ScriptedHttpsServer> FServer;
  std::string FThisMonth, FLastMonth;
};

}  // namespace

TEST(GuideArchiveUrl, NamesForAMonth) {
  const std::string base = std::string("https://") + kGuideServiceHost + "/bbslist/";
  struct {
    std::string Template, Url;
  } cases[] = {
      {"", base + "ibbs0525.zip"},
      {"   ", base + "ibbs0525.zip"},
      {"ibbs%MMYY%.zip", base + "ibbs0525.zip"},
      {" list_%mmyy%.ZIP ", base + "list_0525.ZIP"},
      {"%YYYY%-%MM%/%yy%.zip", base + "2025-05/25.zip"},
      {"https://mirror.example/fixed.zip", "https://mirror.example/fixed.zip"},
      {"HTTPS://mirror.example/%MM%.zip", "HTTPS://mirror.example/05.zip"},
      {"http://mirror.example/%YYYY%.zip", "http://mirror.example/2025.zip"},
  };
  for (const auto& c : cases) EXPECT_EQ(GuideArchiveUrl(c.Template, 2025, 5), c.Url) << c.Template;
  EXPECT_EQ(GuideArchiveUrl("", 2030, 12), base + "ibbs1230.zip");
}

// Ctrl+F11 on the directory: the new list replaces the old one, a board
// still listed keeps its call statistics, the old file is kept as a dated
// backup, and the directory shows the new boards.
TEST_F(GuideDownloadThreads, DownloadReplacesTheBoardListKeepsABackupAndTheDirectoryShowsIt) {
  auto alpha = Board("Alpha BBS", "alpha.example", 23);
  alpha->TimesConnected = 4;
  alpha->LastConnected = 45000;
  WriteBoardList({alpha, Board("Delta BBS", "delta.example", 23)});
  const std::string oldFile = ReadWholeFile(Folder.File("bbsguide.ini"));
  OfferList(FThisMonth, kNewList);
  Start();
  ASSERT_EQ(App->ScreenMode(), smDirectory);

  CtrlF11();
  ASSERT_TRUE(AwaitGuide()) << App->StatusText();
  EXPECT_EQ(App->StatusText(), "Telnet BBS Guide updated: 3 entries");
  const TPhonebook saved = SavedBoardList();
  EXPECT_EQ(Names(saved), (std::vector<std::string>{"Alpha BBS", "Beta BBS", "Gamma BBS"}));
  EXPECT_EQ(saved.GetEntry(0)->TimesConnected, 4);
  EXPECT_EQ(saved.GetEntry(0)->LastConnected, 45000);
  EXPECT_TRUE(saved.GetEntry(2)->UseSSH);
  ASSERT_TRUE(fs::exists(Backup()));
  EXPECT_EQ(ReadWholeFile(Backup()), oldFile);
  EXPECT_FALSE(fs::exists(Folder.File("bbsguide_tmp")));

  ASSERT_TRUE(App->ShowingBoardList());
  Paint();
  EXPECT_EQ(Text(2, 5, 9), "Alpha BBS");
  EXPECT_EQ(Text(2, 6, 8), "Beta BBS");
  EXPECT_EQ(Text(35, 6, 12), "beta.example");
  EXPECT_EQ(Text(2, 7, 9), "Gamma BBS");
}

// Any failure of this month's archive tries last month's once; a failure
// of that too reports the second error.
TEST_F(GuideDownloadThreads, LastMonthsArchiveWhenThisMonthsFails) {
  Start();
  Probe().StartGuideDownload();
  ASSERT_TRUE(AwaitGuide());
  EXPECT_EQ(App->StatusText(), "BBS Guide download failed: HTTP 404 (expected 200)");
  EXPECT_EQ(FServer->Requests("/file/guide" + FThisMonth + ".zip"), 1);
  EXPECT_EQ(FServer->Requests("/file/guide" + FLastMonth + ".zip"), 1);
  EXPECT_EQ(Probe().Guidebook().Count(), 0);

  OfferList(FLastMonth, kNewList);
  Probe().StartGuideDownload();
  ASSERT_TRUE(AwaitGuide());
  EXPECT_EQ(App->StatusText(), "Telnet BBS Guide updated: 3 entries");
  EXPECT_EQ(FServer->Requests("/file/guide" + FLastMonth + ".zip"), 2);
  const std::string logLine = "BBSGuideDownload: HTTP 404 (expected 200) - retrying with previous month's list: "
                              "https://localhost:" + std::to_string(FServer->Port()) + "/file/guide" + FLastMonth +
                              ".zip";
  EXPECT_TRUE(RunUntil([&] { return ReadWholeFile(Folder.File("korvan_debug.log")).find(logLine) != std::string::npos; },
                       5000));
}

// A fixed address without a date is not retried.
TEST_F(GuideDownloadThreads, FixedAddressIsNotRetried) {
  UseArchiveName("https://localhost:" + std::to_string(FServer->Port()) + "/status/500");
  Start();
  Probe().StartGuideDownload();
  ASSERT_TRUE(AwaitGuide());
  EXPECT_EQ(App->StatusText(), "BBS Guide download failed: HTTP 500 (expected 200)");
  EXPECT_EQ(FServer->Requests("/status/500"), 1);
  // The whole reason is in the log, however short the status line cuts it.
  EXPECT_TRUE(RunUntil([&] {
    return ReadWholeFile(Folder.File("korvan_debug.log")).find("BBSGuideDownload: HTTP 500 (expected 200)\r\n") !=
           std::string::npos;
  }));
}

// The user typed a user name into a board-list entry in the editor and,
// still on that row, started the download; another old entry holds a
// password and is no longer listed. Both count as edits, and the answer
// decides what survives.
struct TAnswerCase {
  std::string Name;
  enum { Keys, Chars, Quit } How;
  uint16_t Key;
  char Char;
  bool Kept;
};

class GuideUpdateAnswers : public GuideDownloadThreads, public ::testing::WithParamInterface<TAnswerCase> {};

TEST_P(GuideUpdateAnswers, EditJustBeforeTheDownloadAsksAndTheAnswerDecides) {
  const TAnswerCase& c = GetParam();
  auto alpha = Board("Alpha BBS", "alpha.example", 23);
  alpha->TimesConnected = 4;
  auto epsilon = Board("Epsilon BBS", "epsilon.example", 23);
  epsilon->Password = "secret";
  WriteBoardList({alpha, Board("Delta BBS", "delta.example", 23), epsilon});
  OfferList(FThisMonth, kNewList);
  Start();
  Key(vk::Letter('E'), false, false, true);
  ASSERT_TRUE(RunUntil([&] { return App->ScreenMode() == smEditor; }));
  for (int i = 0; i < efUsername; ++i) Key(vk::Down);
  Type("sysop");
  CtrlF11();
  ASSERT_TRUE(AwaitGuide()) << App->StatusText();
  ASSERT_EQ(App->StatusText(), "BBS Guide: 2 edited entries found - K=keep edited, U=update all");
  EXPECT_EQ(App->Popups().GuideEdited, (std::vector<std::string>{"Alpha BBS", "Epsilon BBS (no longer listed)"}));
  // The editor was left as with Esc, and the edit recorded in the list on
  // disk before the merge.
  EXPECT_EQ(App->ScreenMode(), smDirectory);
  EXPECT_EQ(SavedBoardList().GetEntry(0)->Username, "sysop");
  EXPECT_TRUE(SavedBoardList().GetEntry(0)->UserEdited);
  Paint();
  bool shown = false;
  for (int y = 0; y < App->LastFramePopups().Rows(); ++y)
    shown |= PopupRow(y).find("2 entries you edited would be overwritten.") != std::string::npos;
  EXPECT_TRUE(shown);
  // No second download while the question is open (the question takes
  // every key, so only a direct start could reach this).
  Probe().StartGuideDownload();
  EXPECT_EQ(App->StatusText(), "Answer the BBS Guide prompt first: K=keep edited, U=update all");
  EXPECT_FALSE(Probe().GuideDownloadRunning());

  if (c.How == TAnswerCase::Keys) Key(c.Key);
  if (c.How == TAnswerCase::Chars) Type(std::string(1, c.Char));
  if (c.How == TAnswerCase::Quit) {
    App.reset();
  } else {
    ASSERT_TRUE(RunUntil([&] { return !App->Popups().GuidePrompt; }));
    EXPECT_EQ(App->StatusText(), c.Kept ? "Telnet BBS Guide updated: 4 entries, 2 edited kept"
                                   : "Telnet BBS Guide updated: 3 entries");
  }
  const TPhonebook saved = SavedBoardList();
  if (c.Kept) {
    EXPECT_EQ(Names(saved), (std::vector<std::string>{"Alpha BBS", "Beta BBS", "Epsilon BBS", "Gamma BBS"}));
    EXPECT_EQ(saved.GetEntry(0)->Username, "sysop");
    EXPECT_EQ(saved.GetEntry(2)->Password, "secret");
  } else {
    EXPECT_EQ(Names(saved), (std::vector<std::string>{"Alpha BBS", "Beta BBS", "Gamma BBS"}));
    EXPECT_EQ(saved.GetEntry(0)->Username, "");
  }
  EXPECT_EQ(saved.GetEntry(0)->TimesConnected, 4);
}

INSTANTIATE_TEST_SUITE_P(Threads, GuideUpdateAnswers,
                         ::testing::Values(TAnswerCase{"K", TAnswerCase::Chars, 0, 'k', true},
                                           TAnswerCase{"U", TAnswerCase::Chars, 0, 'U', false},
                                           TAnswerCase{"Esc", TAnswerCase::Keys, vk::Escape, 0, true},
                                           TAnswerCase{"ProgramEnds", TAnswerCase::Quit, 0, 0, true}),
                         [](const ::testing::TestParamInfo<TAnswerCase>& info) { return info.param.Name; });

// A downloaded list cannot make a board that runs a local command: a shell
// board, new or listed where the old list had a plain board of that name, is
// left out with a log line and counted in the report, whatever the answer to
// the question about edits. Dialling every board of the updated list then
// reaches the boards and runs nothing.
TEST_F(GuideDownloadThreads, ShellBoardsOfADownloadedListAreLeftOut) {
  LoopbackListener board, oldBoard;  // Alpha BBS, and the board Innocent BBS was
  const std::string ran = FZips.File("ran");
  OfferList(FThisMonth, "[Alpha BBS]\nAddress=127.0.0.1\nPort=" + std::to_string(board.Port()) +
                            "\n\n[Innocent BBS]\nConnectionType=Shell\nAddress=touch " + ran + "\n");
  auto innocent = [&](const std::string& password) {
    auto e = Board("Innocent BBS", "127.0.0.1", oldBoard.Port());
    e->Password = password;
    return e;
  };
  struct {
    std::string Name;
    std::vector<TPhonebookEntryPtr> Old;
    char Answer;  // to the question about edits; 0: none is asked
    std::string Status;
    std::vector<std::string> Names;
  } cases[] = {
      {"new board", {}, 0, "Telnet BBS Guide updated: 1 entries, 1 shell entry skipped", {"Alpha BBS"}},
      {"listed plain board", {innocent("")}, 0, "Telnet BBS Guide updated: 1 entries, 1 shell entry skipped",
       {"Alpha BBS"}},
      {"listed board with a password, update all", {innocent("pw")}, 'U',
       "Telnet BBS Guide updated: 1 entries, 1 shell entry skipped", {"Alpha BBS"}},
      {"listed board with a password, keep edited", {innocent("pw")}, 'K',
       "Telnet BBS Guide updated: 2 entries, 1 edited kept, 1 shell entry skipped", {"Alpha BBS", "Innocent BBS"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    App.reset();
    std::error_code ignored;
    fs::remove(Folder.File("bbsguide.ini"), ignored);
    if (!c.Old.empty()) WriteBoardList(c.Old);
    Start();
    CtrlF11();
    ASSERT_TRUE(AwaitGuide()) << App->StatusText();
    if (c.Answer) {
      ASSERT_TRUE(App->Popups().GuidePrompt) << App->StatusText();
      Type(std::string(1, c.Answer));
      ASSERT_TRUE(RunUntil([&] { return !App->Popups().GuidePrompt; }));
    }
    EXPECT_EQ(App->StatusText(), c.Status);
    EXPECT_EQ(Names(Probe().Guidebook()), c.Names);
    const TPhonebook saved = SavedBoardList();
    for (const TPhonebookEntryPtr& e : saved.Entries()) EXPECT_FALSE(e->UseShell) << e->Name;

    for (const TPhonebookEntryPtr& e : std::vector<TPhonebookEntryPtr>(Probe().Guidebook().Entries())) {
      EXPECT_FALSE(e->UseShell) << e->Name;
      App->ConnectToEntry(e, false);
      std::unique_ptr<LoopbackPeer> peer;
      RunUntil([&] {
        if (!peer) peer = (e->Port == board.Port() ? board : oldBoard).Accept(10);
        return fs::exists(ran) || (peer && App->CallConnected());
      }, 10000);
      EXPECT_TRUE(peer) << e->Name;
      App->DisconnectCurrent();
      ASSERT_TRUE(RunUntil([&] { return !App->CallOpen(); }));
    }
    EXPECT_FALSE(RunUntil([&] { return fs::exists(ran); }, 1000));
  }
  EXPECT_TRUE(RunUntil([&] {
    return ReadWholeFile(Folder.File("korvan_debug.log"))
               .find("ImportSyncTerm: section \"Innocent BBS\" is a shell entry (a local command) - not taken from a "
                     "downloaded list") != std::string::npos;
  }));
}

// Entries that would land outside the work folder are never read; the list
// inside a folder of the archive is found by its own name.
TEST_F(GuideDownloadThreads, ArchiveEntriesOutsideTheFolderAreNotRead) {
  const std::string evil = "[Evil BBS]\nAddress=evil.example\n";
  Offer(FThisMonth, ZipOf(FZips, {{"../x", evil},
                                  {"../syncterm.lst", evil},
                                  {Folder.File("syncterm.lst"), evil},
                                  {"..\\syncterm.lst", evil},
                                  {"lists/SYNCTERM.LST", kNewList}}));
  Start();
  Probe().StartGuideDownload();
  ASSERT_TRUE(AwaitGuide());
  EXPECT_EQ(App->StatusText(), "Telnet BBS Guide updated: 3 entries");
  EXPECT_EQ(Names(Probe().Guidebook()), (std::vector<std::string>{"Alpha BBS", "Beta BBS", "Gamma BBS"}));
  for (const char* name : {"x", "syncterm.lst", "bbsguide_tmp"}) EXPECT_FALSE(fs::exists(Folder.File(name))) << name;
  EXPECT_TRUE(RunUntil([&] {
    return ReadWholeFile(Folder.File("korvan_debug.log")).find("BBSGuideDownload: refused zip entry \"../syncterm.lst\"") !=
           std::string::npos;
  }));
}

// Archives that give no list leave the board list as it was, make no
// backup, and remove the work folder.
TEST_F(GuideDownloadThreads, ArchivesWithoutAUsableListLeaveTheBoardListAsItWas) {
  WriteBoardList({Board("Alpha BBS", "alpha.example", 23), Board("Delta BBS", "delta.example", 23)});
  const std::string oldFile = ReadWholeFile(Folder.File("bbsguide.ini"));
  struct {
    std::string Archive, Status;
  } cases[] = {
      {ZipOf(FZips, {{"readme.txt", "no list here"}}), "BBS Guide: downloaded ZIP did not contain syncterm.lst"},
      {ZipOf(FZips, {{"syncterm.lst", std::string(kMaxImportFileBytes + 1, '\n')}}),
       "BBS Guide: the list in the downloaded ZIP is too large (more than 64 MB)"},
      {"this is not a zip archive", "BBS Guide: the downloaded ZIP could not be read: Not a zip archive"},
      {ZipOf(FZips, {{"syncterm.lst", "no sections in this file\n"}}),
       "BBS Guide: downloaded list didn't parse (format may have changed)"},
  };
  Start();
  for (const auto& c : cases) {
    Offer(FThisMonth, c.Archive);
    Probe().StartGuideDownload();
    ASSERT_TRUE(AwaitGuide());
    EXPECT_EQ(App->StatusText(), c.Status);
    EXPECT_EQ(Names(Probe().Guidebook()), (std::vector<std::string>{"Alpha BBS", "Delta BBS"}));
    EXPECT_EQ(ReadWholeFile(Folder.File("bbsguide.ini")), oldFile);
    EXPECT_FALSE(fs::exists(Folder.File("bbsguide_tmp")));
    EXPECT_FALSE(fs::exists(Backup()));
  }
}

// A list that cannot be written is not reported as updated.
TEST_F(GuideDownloadThreads, UpdateThatCannotBeSavedSaysSo) {
  fs::create_directories(Folder.File("bbsguide.ini") + "/in-the-way");  // the file's place is taken
  OfferList(FThisMonth, kNewList);
  Start();
  Probe().StartGuideDownload();
  ASSERT_TRUE(AwaitGuide());
  EXPECT_EQ(App->StatusText().rfind("Telnet BBS Guide updated but not saved: Phonebook not saved: ", 0), 0u)
      << App->StatusText();
  EXPECT_TRUE(fs::is_directory(Folder.File("bbsguide.ini")));
}

// One download at a time; a program that ends meanwhile stops it at once
// and leaves the board list alone.
TEST_F(GuideDownloadThreads, SecondDownloadIsRefusedAndTheProgramEndStopsTheRunningOne) {
  WriteBoardList({Board("Alpha BBS", "alpha.example", 23)});
  const std::string oldFile = ReadWholeFile(Folder.File("bbsguide.ini"));
  UseArchiveName("https://localhost:" + std::to_string(FServer->Port()) + "/stall");
  Start();
  CtrlF11();
  ASSERT_TRUE(RunUntil([&] { return FServer->Requests("/stall") == 1; }, 20000));
  EXPECT_EQ(App->StatusText(), "Downloading BBS list...");
  CtrlF11();
  ASSERT_TRUE(RunUntil([&] { return App->StatusText().rfind("A BBS", 0) == 0; }));
  EXPECT_EQ(App->StatusText(), "A BBS Guide download is already in progress...");
  const uint64_t before = platform::TickMs();
  App.reset();
  EXPECT_LT(platform::TickMs() - before, 10000u);
  EXPECT_EQ(ReadWholeFile(Folder.File("bbsguide.ini")), oldFile);
}

// A call to a board of the list goes on while a download replaces the list;
// the listed board takes over the call's statistics.
TEST_F(GuideDownloadThreads, LiveCallToABoardListEntrySurvivesTheReplacement) {
  LoopbackListener board;
  WriteBoardList({Board("Alpha BBS", "127.0.0.1", board.Port())});
  OfferList(FThisMonth, "[Alpha BBS]\nAddress=127.0.0.1\nPort=" + std::to_string(board.Port()) + "\n");
  Start();
  std::unique_ptr<LoopbackPeer> peer = CallEntry(board, Probe().Guidebook().GetEntry(0));
  ASSERT_TRUE(peer);
  const std::shared_ptr<TPhonebookEntry> callEntry = App->CallEntry();
  Key(vk::Letter('D'), false, false, true);
  ASSERT_TRUE(RunUntil([&] { return App->ScreenMode() == smDirectory; }));
  CtrlF11();
  ASSERT_TRUE(AwaitGuide());
  EXPECT_EQ(App->StatusText(), "Telnet BBS Guide updated: 1 entries");
  EXPECT_NE(Probe().Guidebook().GetEntry(0), callEntry);
  EXPECT_EQ(Probe().Guidebook().GetEntry(0)->TimesConnected, 1);
  EXPECT_EQ(App->CallEntry(), callEntry);
  EXPECT_EQ(callEntry->Name, "Alpha BBS");
  const int64_t received = Probe().BytesIn();
  ASSERT_TRUE(peer->Write("still here"));
  EXPECT_TRUE(RunUntil([&] { return Probe().BytesIn() >= received + 10; }, 10000));
  ASSERT_TRUE(App->CallOpen());
}
