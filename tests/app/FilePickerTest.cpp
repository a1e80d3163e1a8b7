// The file picker on its own, over a real scratch folder: listings against
// what find(1) sees for each purpose's masks, walking folders, the typed
// path with variables, quotes and file names, the next volume, paging, the
// mouse, the upload-queue pane and how the picker closes.
#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uFilePicker.h"
#include "tests/app/ScreenServicesFixture.h"

namespace fs = std::filesystem;
namespace vk = platform::vk;
using testsupport::CommandOutput;
using testsupport::WriteWholeFile;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

bool CaseInsensitiveBefore(const std::string& a, const std::string& b) {
  const int c = strcasecmp(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

// A variable set for one test.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::string& value) : Name(name) {
    if (const char* old = std::getenv(name)) Old = old, HadOld = true;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (HadOld)
      setenv(Name.c_str(), Old.c_str(), 1);
    else
      unsetenv(Name.c_str());
  }
  std::string Name, Old;
  bool HadOld = false;
};

class FilePickerTest : public ScreenUnitTest {
 protected:
  void SetUp() override {
    Dir = Folder.Path() + "files/";
    fs::create_directories(Dir + "sub/deeper");
    fs::create_directories(Dir + ".dotdir");
    fs::create_directories(Dir + "My Folder");
    for (const char* name : {"a.txt", "B.TXT", "c.Txt", "notes.asc", "art.ans", "README", ".hidden", ".profile.txt",
                             "photo.jpg", "phonebook", "Phonebook.lst", "x.phn", "y.ini", "z.reg", "w.toml", "v.fon",
                             "run.kvs", "Other.KVS", "both.txt.ans", "My Folder/inside.txt", "sub/deep.txt"})
      ASSERT_TRUE(WriteWholeFile(Dir + name, std::string("data of ") + name));
    ASSERT_EQ(mkfifo((Dir + "pipe.txt").c_str(), 0600), 0);
    fs::create_symlink(Dir + "a.txt", Dir + "link.txt");
  }

  std::shared_ptr<TFilePickerScreen> Open(TPickerPurpose purpose, const std::string& masks,
                                          const std::string& folder = "") {
    TPickerSpec spec;
    spec.Folder = folder.empty() ? Dir : folder;
    spec.Title = "Pick";
    spec.Masks = masks;
    spec.Purpose = purpose;
    spec.OnPick = [this](const std::string& path) { Picked.push_back(path); };
    spec.OnCommit = [this](const std::vector<std::string>& queue) { Committed.push_back(queue); };
    spec.Describe = [](const std::string& path) { return "about " + path.substr(path.find_last_of('/') + 1); };
    return TFilePickerScreen::Open(Services, spec);
  }

  static std::vector<std::string> Names(const TFilePickerScreen& p, bool folders) {
    std::vector<std::string> out;
    for (const auto& item : p.Items())
      if (item.IsFolder == folders) out.push_back(item.Name);
    return out;
  }

  void Press(TFilePickerScreen& p, uint16_t key, int times = 1) {
    for (int i = 0; i < times; ++i) p.Key(KeyOf(key));
  }
  // F5, the line emptied, Text typed, Enter.
  void TypePath(TFilePickerScreen& p, const std::string& text) {
    Press(p, vk::Fn(5));
    Press(p, vk::Back, 130);
    for (unsigned char c : text) p.Char(c, c);
    Press(p, vk::Return);
  }
  int IndexOf(const TFilePickerScreen& p, const std::string& name) {
    for (size_t i = 0; i < p.Items().size(); ++i)
      if (p.Items()[i].Name == name) return int(i);
    return -1;
  }
  void Select(TFilePickerScreen& p, const std::string& name) {
    Press(p, vk::Home);
    Press(p, vk::Down, IndexOf(p, name));
    ASSERT_EQ(p.Selected(), IndexOf(p, name)) << name;
  }

  std::string Dir;
  std::vector<std::string> Picked;
  std::vector<std::vector<std::string>> Committed;
};

}  // namespace

TEST_F(FilePickerTest, ListingsMatchFindForEachPurposesMasks) {
  struct Row {
    const char* Name;
    TPickerPurpose Purpose;
    const char* Masks;
    const char* FindTest;  // find's test for the files the masks select
  };
  const Row rows[] = {
      {"every file", fpZmodemUpload, "*.*", "-xtype f"},
      {"text uploads", fpAsciiUpload, "*.txt;*.asc;*.ans", "-xtype f ( -iname *.txt -o -iname *.asc -o -iname *.ans )"},
      {"two masks for one kind, once each", fpAsciiUpload, "*.txt;*.TXT", "-xtype f -iname *.txt"},
      {"blanks and empty masks", fpAsciiUpload, " *.asc ;; ", "-xtype f -iname *.asc"},
      {"scripts", fpRunScript, "*.kvs", "-xtype f -iname *.kvs"},
      {"foreign phonebooks", fpImportPhonebook, "*.phn;*.lst;*.fon;*.toml;*.reg;*.ini;phonebook",
       "-xtype f ( -iname *.phn -o -iname *.lst -o -iname *.fon -o -iname *.toml -o -iname *.reg -o -iname *.ini "
       "-o -iname phonebook )"},
  };
  std::vector<std::string> folders = Lines(CommandOutput("find '" + Dir + "' -mindepth 1 -maxdepth 1 -xtype d -printf '%f\\n'"));
  std::sort(folders.begin(), folders.end(), CaseInsensitiveBefore);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    auto picker = Open(row.Purpose, row.Masks);
    std::string test = row.FindTest;
    std::string quoted;
    for (std::istringstream words(test); words >> test;) quoted += " '" + test + "'";
    std::vector<std::string> files =
        Lines(CommandOutput("find '" + Dir + "' -mindepth 1 -maxdepth 1" + quoted + " -printf '%f\\n'"));
    std::sort(files.begin(), files.end(), CaseInsensitiveBefore);
    EXPECT_EQ(Names(*picker, false), files) << "files, in order without regard to case";
    std::vector<std::string> shownFolders = Names(*picker, true);
    if (row.Purpose == fpRunScript) {
      EXPECT_TRUE(shownFolders.empty()) << "the script picker lists no folders and no \"..\"";
    } else {
      ASSERT_FALSE(shownFolders.empty());
      EXPECT_EQ(shownFolders.front(), "..");
      EXPECT_EQ(std::vector<std::string>(shownFolders.begin() + 1, shownFolders.end()), folders);
    }
  }
  EXPECT_EQ(Services.Status, kPickerStatus);
}

TEST_F(FilePickerTest, WalkingFoldersAndTheRoot) {
  auto picker = Open(fpXYmodemUpload, "*.*");
  Select(*picker, "sub");
  Press(*picker, vk::Return);
  EXPECT_EQ(picker->Folder(), Dir + "sub/");
  EXPECT_EQ(Names(*picker, false), std::vector<std::string>{"deep.txt"});
  EXPECT_EQ(picker->Selected(), 0);
  Press(*picker, vk::Back);
  EXPECT_EQ(picker->Folder(), Dir);
  Press(*picker, vk::Home);
  Press(*picker, vk::Return);  // on ".."
  EXPECT_EQ(picker->Folder(), Folder.Path());

  auto root = Open(fpXYmodemUpload, "*.*", "/");
  EXPECT_EQ(root->Folder(), "/");
  ASSERT_FALSE(root->Items().empty());
  EXPECT_NE(root->Items().front().Name, "..") << "the root lists no \"..\"";
  Press(*root, vk::Back);
  EXPECT_EQ(root->Folder(), "/") << "Backspace does nothing at the root";

  auto missing = Open(fpXYmodemUpload, "*.*", Dir + "gone/");
  EXPECT_EQ(Names(*missing, false), std::vector<std::string>{}) << "a missing folder lists nothing";
}

TEST_F(FilePickerTest, TypedPaths) {
  ScopedEnv var("KORVAN_PICKER_DIR", Dir);
  unsetenv("KORVAN_NOT_SET");
  const std::string cwd = fs::current_path().string();
  fs::current_path(Dir);
  struct Row {
    const char* Name;
    std::string Typed;
    std::string Folder;    // where the picker lands; empty: it stays
    std::string Selected;  // the selected name
    std::string Status;    // the status text after it; empty: unchanged
  };
  const Row rows[] = {
      {"variable in percent signs", "%KORVAN_PICKER_DIR%\\sub", Dir + "sub/", "..", ""},
      {"variable after a dollar sign", "$KORVAN_PICKER_DIR/sub/deeper", Dir + "sub/deeper/", "..", ""},
      {"variable in braces", "${KORVAN_PICKER_DIR}sub", Dir + "sub/", "..", ""},
      {"variable not set", "%KORVAN_NOT_SET%/sub", "", "", "No such folder: %KORVAN_NOT_SET%/sub"},
      {"quoted path with blanks", "\"" + Dir + "My Folder\"", Dir + "My Folder/", "..", ""},
      {"a file's path selects it", Dir + "sub/../notes.asc", Dir, "notes.asc", ""},
      {"a relative path", "sub", Dir + "sub/", "..", ""},
      {"a long missing path keeps its end", "/no/such/folder/anywhere/at/all/on/this/machine",
       "", "", "No such folder: ...older/anywhere/at/all/on/this/machine"},
      {"blanks only", "   ", "", "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    auto picker = Open(fpXYmodemUpload, "*.*", "/");
    Services.Status = "before";
    TypePath(*picker, row.Typed);
    EXPECT_FALSE(picker->PathPromptOpen());
    EXPECT_EQ(picker->Folder(), row.Folder.empty() ? "/" : row.Folder);
    if (!row.Selected.empty()) {
      ASSERT_LT(size_t(picker->Selected()), picker->Items().size());
      EXPECT_EQ(picker->Items()[size_t(picker->Selected())].Name, row.Selected);
    }
    EXPECT_EQ(Services.Status, row.Status.empty() ? "before" : row.Status);
  }
  fs::current_path(cwd);
}

TEST_F(FilePickerTest, PathPromptEditsItsLineAndEscOnlyClosesIt) {
  auto picker = Open(fpZmodemUpload, "*.*");
  Press(*picker, vk::Fn(5));
  ASSERT_TRUE(picker->PathPromptOpen());
  auto painted = PaintScreen(*picker);
  const std::string box = painted->PopupText();
  EXPECT_NE(box.find("JUMP TO FOLDER"), std::string::npos);
  EXPECT_NE(box.find("Enter: Go   Esc: Cancel"), std::string::npos);
  EXPECT_NE(box.find("files/"), std::string::npos) << "the prompt starts with the folder";
  Press(*picker, vk::Left);
  Press(*picker, vk::Back);  // the "s" of "files/"
  picker->Char('X', 'X');
  Press(*picker, vk::Escape);
  EXPECT_FALSE(picker->PathPromptOpen());
  EXPECT_EQ(picker->Folder(), Dir) << "Esc only closes the prompt";
  Press(*picker, vk::Fn(5));
  for (int i = 0; i < 200; ++i) picker->Char('a', 'a');
  EXPECT_TRUE(picker->PathPromptOpen());
  painted = PaintScreen(*picker);
  // 120 characters at most; the last 51 shown, then the caret's cell.
  EXPECT_NE(painted->PopupRow(12).find(std::string(51, 'a') + " "), std::string::npos);
  EXPECT_EQ(painted->PopupRow(12).find(std::string(52, 'a')), std::string::npos);
}

TEST_F(FilePickerTest, NextVolumeStepsThroughExistingVolumes) {
  const std::string home = Folder.Path() + "home/", media = Folder.Path() + "media/stick/";
  fs::create_directories(home);
  fs::create_directories(media);
  const std::vector<std::string> volumes = {"/", home, Folder.Path() + "mnt/gone/", media};
  EXPECT_EQ(NextVolume("/", volumes), home);
  EXPECT_EQ(NextVolume(home + "docs/", volumes), media) << "a volume that is not there is passed over";
  EXPECT_EQ(NextVolume(media, volumes), "/") << "wraps round";
  EXPECT_EQ(NextVolume("/", {"/"}), "") << "no other volume";
  EXPECT_EQ(NextVolume("/", {"/", Folder.Path() + "nothing/"}), "");

  ScopedEnv homeVar("HOME", home);
  const std::vector<std::string> found = PickerVolumes();
  ASSERT_GE(found.size(), 2u);
  EXPECT_EQ(found[0], "/");
  EXPECT_EQ(found[1], home);
  auto picker = Open(fpAsciiUpload, "*.txt", "/");
  Press(*picker, vk::Fn(6));
  EXPECT_EQ(picker->Folder(), home);
}

TEST_F(FilePickerTest, PagingScrollsToKeepTheSelectionInView) {
  const std::string many = Folder.Path() + "many/";
  fs::create_directories(many);
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(WriteWholeFile(many + "f" + std::to_string(100 + i) + ".bin", "x"));
  auto picker = Open(fpZmodemUpload, "*.*", many);
  PaintScreen(*picker);
  Press(*picker, vk::Next);
  EXPECT_EQ(picker->Selected(), 18) << "Page Down moves by the rows - 7";
  auto painted = PaintScreen(*picker);
  // The split screen's browser shows rows 4..13: the selection on its last.
  EXPECT_EQ(painted->Text(2, 13, 8), "f117.bin");
  EXPECT_COLOUR(painted->Cell(2, 13).Fg, 255, 255, 255);
  Press(*picker, vk::Next, 5);
  EXPECT_EQ(picker->Selected(), 60) << "clamped to the last entry";
  Press(*picker, vk::Prior);
  EXPECT_EQ(picker->Selected(), 42);
}

TEST_F(FilePickerTest, SinglePickerLayout) {
  auto picker = Open(fpRunScript, "*.kvs");
  auto painted = PaintScreen(*picker);
  EXPECT_NE(painted->Row(0).find(" Pick "), std::string::npos);
  EXPECT_EQ(painted->Text(2, 2, 9), "File Name");
  EXPECT_EQ(painted->Text(2 + 12, 2, 11), "Description") << "names column: the longest name + 3, at least 12";
  EXPECT_EQ(painted->Text(2, 4, 9), "Other.KVS");
  EXPECT_EQ(painted->Text(14, 4, 15), "about Other.KVS");
  EXPECT_EQ(painted->Cell(1, 22).Ch, 195);
  EXPECT_EQ(painted->Cell(78, 22).Ch, 180);
  EXPECT_NE(painted->Row(23).find(kPickerStatus), std::string::npos) << "the status text in the footer";

  auto empty = Open(fpRunScript, "*.kvs", Dir + "sub/");
  painted = PaintScreen(*empty);
  EXPECT_EQ(painted->Text(4, 4, 43), "(no .kvs scripts in the scripts folder yet)");
  Press(*empty, vk::Fn(5));
  EXPECT_FALSE(empty->PathPromptOpen()) << "F5 does nothing in the script picker";
}

TEST_F(FilePickerTest, UploadQueuePane) {
  auto picker = Open(fpZmodemUpload, "*.*");
  Select(*picker, "a.txt");
  Press(*picker, vk::Return);
  EXPECT_EQ(Services.Status, "Added a.txt to upload queue (1 queued).");
  Select(*picker, "notes.asc");
  Press(*picker, vk::Return);
  EXPECT_EQ(picker->Queue(), (std::vector<std::string>{Dir + "a.txt", Dir + "notes.asc"}));
  Press(*picker, vk::Home);
  auto painted = PaintScreen(*picker);
  EXPECT_EQ(painted->Text(2, IndexOf(*picker, "a.txt") + 4, 5), "a.txt");
  EXPECT_COLOUR(painted->Cell(2, IndexOf(*picker, "a.txt") + 4).Fg, 0, 255, 0);
  EXPECT_NE(painted->Row(15).find(" Upload Queue "), std::string::npos);
  EXPECT_EQ(painted->Text(2, 16, 5), "a.txt");
  EXPECT_EQ(painted->Text(2, 17, 9), "notes.asc");
  EXPECT_NE(painted->Row(23).find("Added notes.asc"), std::string::npos) << "the split picker shows its status";
  EXPECT_EQ(painted->Text(2, 24, 76).back(), char(26)) << "the key line and count, cut to the width";
  EXPECT_NE(PaintScreen(*picker, 100)->Row(24).find("ESC/Quit   (2 queued)"), std::string::npos);

  // Tab to the queue pane; Delete removes the selected (last added) file.
  Press(*picker, vk::Tab);
  EXPECT_TRUE(picker->QueuePaneActive());
  Press(*picker, vk::Delete);
  EXPECT_EQ(Services.Status, "Removed notes.asc from upload queue.");
  EXPECT_EQ(picker->Queue(), std::vector<std::string>{Dir + "a.txt"});
  Press(*picker, vk::Escape);
  ASSERT_EQ(Committed.size(), 1u);
  EXPECT_EQ(Committed[0], std::vector<std::string>{Dir + "a.txt"});
  EXPECT_EQ(Services.Closed, 1);
}

// This machine's file names are UTF-8; the screen shows them in CP437 (a
// character CP437 lacks as "?"). A name a board cannot be given is refused
// when it is queued, saying why, so the queue holds only what is sent.
TEST_F(FilePickerTest, FileNamesShowInCp437AndNamesABoardCannotTakeAreNotQueued) {
  const std::string folder = Folder.Path() + "names/";
  fs::create_directories(folder);
  const std::string unicode = "\xc3\x9cn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9\xe2\x82\xac.txt";  // Ünïcödé€.txt
  const std::string shown = "\x9an\x8b" "c\x94" "d\x82?.txt";
  for (const std::string& name : {unicode, std::string("bad\x01name.txt"), std::string("back\\slash.txt")})
    ASSERT_TRUE(WriteWholeFile(folder + name, "data"));
  auto picker = Open(fpZmodemUpload, "*.*", folder);
  Select(*picker, unicode);
  Press(*picker, vk::Return);
  EXPECT_EQ(Services.Status, "Added " + shown + " to upload queue (1 queued).");
  auto painted = PaintScreen(*picker);
  EXPECT_EQ(painted->Text(2, 4 + IndexOf(*picker, unicode), int(shown.size())), shown) << "the list";
  EXPECT_EQ(painted->Text(2, 16, int(shown.size())), shown) << "the queue pane";
  EXPECT_NE(painted->Row(2).find("names/"), std::string::npos) << "the folder";

  const struct {
    std::string Name, Status;
  } refused[] = {
      {"bad\x01name.txt", "bad\x01name.txt not queued - a board can't take a name with a control character."},
      {"back\\slash.txt", "back\\slash.txt not queued - a board can't take a name with a path separator."},
  };
  for (const auto& r : refused) {
    Select(*picker, r.Name);
    Press(*picker, vk::Return);
    EXPECT_EQ(Services.Status, r.Status);
  }
  EXPECT_EQ(picker->Queue(), std::vector<std::string>{folder + unicode});
  EXPECT_NE(PaintScreen(*picker, 100)->Row(24).find("ESC/Quit   (1 queued)"), std::string::npos);
}

TEST_F(FilePickerTest, QueueingTwiceAndAQueuePaneThatScrolls) {
  std::vector<std::string> queued;
  for (int i = 0; i < 20; ++i) queued.push_back(Dir + "q" + std::to_string(10 + i) + ".bin");
  queued.push_back(Dir + "b.txt");
  TPickerSpec spec;
  spec.Folder = Dir;
  spec.Masks = "*.*";
  spec.Purpose = fpZmodemUpload;
  spec.Queue = queued;
  auto picker = TFilePickerScreen::Open(Services, spec);
  // A file queued already, in another letter case, stays queued once.
  Select(*picker, "B.TXT");
  Press(*picker, vk::Return);
  EXPECT_EQ(Services.Status, "B.TXT is already queued.");
  EXPECT_EQ(picker->Queue().size(), 21u);
  Press(*picker, vk::Tab);
  Press(*picker, vk::Home);
  auto painted = PaintScreen(*picker);
  EXPECT_EQ(painted->Text(2, 16, 7), "q10.bin");
  Press(*picker, vk::Down, 10);
  painted = PaintScreen(*picker);
  // Six queue lines on 25 rows: the selected 11th file is on the last one.
  EXPECT_EQ(painted->Text(2, 21, 7), "q20.bin");
  EXPECT_COLOUR(painted->Cell(2, 21).Bg, 0, 0, 170);
  Press(*picker, vk::End);
  painted = PaintScreen(*picker);
  EXPECT_EQ(painted->Text(2, 21, 5), "b.txt");
}

TEST_F(FilePickerTest, PickingAndLeaving) {
  // Enter on a file hands it over once the picker has closed.
  auto picker = Open(fpAsciiUpload, "*.txt");
  Select(*picker, "c.Txt");
  Press(*picker, vk::Return);
  EXPECT_EQ(Picked, std::vector<std::string>{Dir + "c.Txt"});
  EXPECT_EQ(Services.Closed, 1);

  struct Row {
    const char* Name;
    TScreenMode From;
    std::string Status;
  };
  const Row rows[] = {{"from the online screen", smOnline, "File browse cancelled."},
                      {"from the directory", smDirectory, kDirectoryStatus}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Services.Mode = row.From;
    auto p = Open(fpImportPhonebook, "*.lst");
    Press(*p, vk::Escape);
    EXPECT_EQ(Services.Status, row.Status);
  }
}

TEST_F(FilePickerTest, MouseSelectsAndOpens) {
  auto picker = Open(fpXYmodemUpload, "*.*");
  PaintScreen(*picker);
  const int sub = IndexOf(*picker, "sub");
  TMouseEvent click;
  click.Button = 1;
  click.OnCell = true;
  click.Row = 4 + sub;
  EXPECT_TRUE(picker->Mouse(click));
  EXPECT_EQ(picker->Selected(), sub);
  click.Kind = TMouseKind::DoubleClick;
  picker->Mouse(click);
  EXPECT_EQ(picker->Folder(), Dir + "sub/");
  TMouseEvent wheel;
  wheel.Kind = TMouseKind::Wheel;
  picker->Mouse(wheel);
  EXPECT_EQ(picker->Selected(), 1);
}

TEST(ExpandEnvVarsTest, Forms) {
  ScopedEnv var("KORVAN_X", "/v");
  ScopedEnv empty("KORVAN_EMPTY", "");
  unsetenv("KORVAN_NONE");
  const std::pair<std::string, std::string> rows[] = {
      {"%KORVAN_X%/a", "/v/a"},        {"$KORVAN_X/a", "/v/a"},         {"${KORVAN_X}a", "/va"},
      {"%KORVAN_NONE%/a", "%KORVAN_NONE%/a"}, {"%KORVAN_EMPTY%", "%KORVAN_EMPTY%"}, {"%%", "%%"},
      {"50%", "50%"},                  {"$", "$"},                      {"${KORVAN_X", "${KORVAN_X"},
      {"$KORVAN_NONE/x", "$KORVAN_NONE/x"}, {"a%KORVAN_X%b%KORVAN_X%", "a/vb/v"}};
  for (const auto& [in, out] : rows) EXPECT_EQ(ExpandEnvVars(in), out) << in;
}
