// The phonebook import picker through the whole program: Alt+I on the
// directory, a foreign list picked in the program's folder, the entries
// added, sorted and saved with the first new one selected; the program's
// own phonebook refused; Esc back to the directory's own key line.
#include <gtest/gtest.h>

#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uFilePicker.h"
#include "tests/app/ScreenFixture.h"

namespace vk = platform::vk;
using namespace testsupport;

class ImportPickerTest : public ScreenFixture {
 protected:
  std::shared_ptr<TFilePickerScreen> Picker() const {
    return std::dynamic_pointer_cast<TFilePickerScreen>(App->CurrentScreen());
  }
  void OpenAndPick(const std::string& name) {
    Key(vk::Letter('I'), false, false, true);
    Pump();
    auto picker = Picker();
    ASSERT_TRUE(picker);
    EXPECT_EQ(picker->Folder(), Folder.Path());
    EXPECT_EQ(App->StatusText(), "Enter: Import/Open folder   F5: Type path   F6: Drive   Esc: Cancel");
    int index = -1;
    for (size_t i = 0; i < picker->Items().size(); ++i)
      if (picker->Items()[i].Name == name) index = int(i);
    ASSERT_GE(index, 0) << name;
    Key(vk::Home);
    for (int i = 0; i < index; ++i) Key(vk::Down);
    Key(vk::Return);
    Pump();
    EXPECT_EQ(App->ScreenMode(), smDirectory);
  }
};

TEST_F(ImportPickerTest, AForeignListIsAddedSortedAndItsFirstBoardSelected) {
  WritePhonebook({"Alpha|a.example|23", "Zulu|z.example|23"});
  ASSERT_TRUE(WriteWholeFile(Folder.File("boards.lst"), "[Mike]\nAddress=m.example\n[Bravo]\nAddress=b.example\n"));
  ASSERT_TRUE(WriteWholeFile(Folder.File("notes.txt"), "not listed"));
  Start();
  OpenAndPick("boards.lst");
  EXPECT_EQ(App->StatusText(), "Imported 2 entries from SyncTERM phonebook.");
  EXPECT_EQ(App->Directory().Selected(), 2) << "Mike, first in the file, at its sorted place";
  TPhonebook saved(Folder.File("korvan.ini"));
  ASSERT_TRUE(saved.LoadFromFile());
  ASSERT_EQ(saved.Count(), 4);
  EXPECT_EQ(saved.GetEntry(1)->Name, "Bravo");

  OpenAndPick("korvan.ini");
  EXPECT_EQ(App->StatusText(), "Phonebook not imported: korvan.ini is KORVAN's own phonebook.");

  Key(vk::Letter('I'), false, false, true);
  Pump();
  ASSERT_TRUE(Picker());
  for (const auto& item : Picker()->Items()) EXPECT_NE(item.Name, "notes.txt");
  Key(vk::Escape);
  Pump();
  EXPECT_EQ(App->ScreenMode(), smDirectory);
  EXPECT_EQ(App->StatusText(), kDirectoryStatus);
}

// While the directory shows the downloaded board list, an import goes into
// that list and its file; a file no reader knows changes nothing.
TEST_F(ImportPickerTest, TheBoardListShownTakesTheImportAndAnUnknownFileChangesNothing) {
  WritePhonebook({"Alpha|a.example|23"});
  WriteWholeFile(Folder.File("korvan_config.ini"), "[Config]\nUseGuidePhonebook=1\nLastPhonebookBackup=" +
                                                       FormatIsoDate(NowDateTime()) + "\n[Debug]\nRawLog=1\n");
  ASSERT_TRUE(WriteWholeFile(Folder.File("boards.lst"), "[Mike]\nAddress=m.example\n"));
  ASSERT_TRUE(WriteWholeFile(Folder.File("notes.toml"), "just some text\nnothing a reader knows\n"));
  Start();
  OpenAndPick("boards.lst");
  EXPECT_EQ(App->StatusText(), "Imported 1 entry from SyncTERM phonebook.");
  TPhonebook guide(Folder.File("bbsguide.ini"));
  ASSERT_TRUE(guide.LoadFromFile());
  ASSERT_EQ(guide.Count(), 1);
  EXPECT_EQ(guide.GetEntry(0)->Name, "Mike");
  const std::string own = ReadWholeFile(Folder.File("korvan.ini"));

  OpenAndPick("notes.toml");
  EXPECT_EQ(App->StatusText(), "Not a recognized phonebook format, or it had no entries.");
  TPhonebook after(Folder.File("bbsguide.ini"));
  ASSERT_TRUE(after.LoadFromFile());
  EXPECT_EQ(after.Count(), 1);
  EXPECT_EQ(ReadWholeFile(Folder.File("korvan.ini")), own);
}
