// The file picker: a full-screen browser of one folder at a time, listing
// ".." and its sub-folders and the files that match the purpose's masks.
// The user walks the folder tree, jumps to a typed path or to the next
// volume, and picks a file, which goes to the action the opener gave. For a
// Zmodem upload the screen is split: an upload-queue pane below the browser
// collects files, and the queue goes to the opener when the picker closes.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/screens/uEditLine.h"
#include "app/screens/uScreen.h"
#include "app/screens/uScreenServices.h"

enum TPickerPurpose : int32_t {
  fpZmodemUpload = 0, fpAsciiUpload = 1, fpXYmodemUpload = 2, fpRunScript = 3, fpImportPhonebook = 4
};

// What an opener asks the picker for.
struct TPickerSpec {
  std::string Folder;  // listed first; a trailing "/" is added
  std::string Title;   // on the browser's frame
  std::string Masks;   // ";"-separated, case ignored
  TPickerPurpose Purpose = fpZmodemUpload;
  // fpZmodemUpload: the files queued before (full paths), shown in the
  // queue pane from the start.
  std::vector<std::string> Queue;
  // Enter on a file (not fpZmodemUpload): the file's full path, once the
  // picker has closed.
  std::function<void(const std::string& path)> OnPick;
  // fpZmodemUpload, Esc: the queue as it stands, once the picker has closed.
  std::function<void(const std::vector<std::string>& queue)> OnCommit;
  // fpRunScript: the description shown beside a script file (full path).
  std::function<std::string(const std::string& path)> Describe;
};

// The picker's own key line, set as the status text when it opens.
extern const char* const kPickerStatus;

class TFilePickerScreen : public TScreen {
 public:
  TFilePickerScreen(TScreenServices& services, TPickerSpec spec);

  // Opens a picker over the current screen, listed and with its key line.
  static std::shared_ptr<TFilePickerScreen> Open(TScreenServices& services, TPickerSpec spec);

  TScreenMode Mode() const override { return smFilePicker; }
  void Paint(TScreenFrame& frame) override;
  bool Key(const TKeyEvent& key) override;
  bool Char(uint8_t ch, uint32_t codePoint) override;
  bool Mouse(const TMouseEvent& mouse) override;

  // The listed folder (with a trailing "/"), the listed names in display
  // order ("..", the folders, then the files) and the selection.
  const std::string& Folder() const { return FFolder; }
  struct TItem {
    std::string Name;
    bool IsFolder = false;
    std::string Note;  // a script's description
  };
  const std::vector<TItem>& Items() const { return FItems; }
  int Selected() const { return FIndex; }
  const std::vector<std::string>& Queue() const { return FQueue; }
  int QueueSelected() const { return FQueueIndex; }
  bool QueuePaneActive() const { return FQueuePane; }
  bool PathPromptOpen() const { return FPromptOpen; }

  // Rebuilds the list for the current folder.
  void RefreshFileList();
  // The typed-path prompt: opened on the current folder, closed, or acted on.
  void OpenPathPrompt();
  void ClosePathPrompt() { FPromptOpen = false; }
  void JumpToTypedPath();
  void NextDrive();

 private:
  bool HasQueuePane() const { return FSpec.Purpose == fpZmodemUpload; }
  bool PromptKey(const TKeyEvent& key);
  bool QueueKey(const TKeyEvent& key);
  bool BrowserKey(const TKeyEvent& key);
  void EnterSelected();
  void EnterFolder(const std::string& name);
  void AddToUploadQueue();
  void RemoveFromUploadQueue();
  void CommitUploadQueue();
  void PickerOpenFile();
  void Cancel();
  // Leaves the screen; opened from the directory, its key line comes back.
  void CloseFilePicker();
  // The list row under a grid row of the last paint; -1 when none.
  int ItemAtRow(int row) const;
  int QueueAtRow(int row) const;
  void PaintBrowser(TScreenFrame& frame, int bottom, int listLast);
  void PaintQueue(TScreenFrame& frame, int top, int bottom);

  TScreenServices& FServices;
  TPickerSpec FSpec;
  bool FFromDirectory = false;
  std::string FFolder;
  std::vector<TItem> FItems;
  bool FHasParent = false;
  int FIndex = 0, FTop = 0;
  std::vector<std::string> FQueue;
  int FQueueIndex = 0, FQueueTop = 0;
  bool FQueuePane = false;
  bool FPromptOpen = false;
  TEditLine FPath;
  // Geometry of the last paint, for paging and the mouse.
  int FRows = 25;
  int FListRow = 4, FListLines = 0;
  int FQueueRow = -1, FQueueLines = 0;
};

// "%NAME%" replaced by the variable's value when it is set and not empty,
// and "$NAME" or "${NAME}" the same way; anything else stays as written.
std::string ExpandEnvVars(const std::string& text);

// The volumes "next drive" steps through: "/", the home folder, then the
// mount points under /media and /mnt, each with a trailing "/".
std::vector<std::string> PickerVolumes();
// The volume after the one holding Folder, skipping any that is not an
// existing folder; empty when there is no other.
std::string NextVolume(const std::string& folder, const std::vector<std::string>& volumes);
