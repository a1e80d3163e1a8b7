// The popup boxes drawn over a finished screen, never into its buffer: the
// connection-terminated banner, the redial question, the phonebook backup
// reminder, the board-list update question, the toast, and the transfer
// progress window. The boxes share one geometry and one bevelled frame.
// They only show what is set here; the key dispatcher answers the questions.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/screens/uPopupLayer.h"

class TPhonebookEntry;

// What the transfer window shows.
struct TTransferView {
  std::string Title;  // "Receiving via Zmodem"
  std::string File;
  int64_t Done = 0, Total = 0;  // Total 0 or less: size not known
  std::string Rate;  // " @ " followed by the rate and estimate; empty until measured
  int32_t Errors = 0, Block = 0;
};

class TPopups {
 public:
  // The banner after a call ended or was cancelled, shown until the tick Until.
  struct {
    std::string Reason;
    std::string Summary;  // online time and bytes of the call that ended
    uint64_t Until = 0;
  } Terminated;
  // The redial question after a call was lost.
  struct {
    bool Open = false;
    std::shared_ptr<TPhonebookEntry> Entry;
    std::string Reason;
  } Redial;
  // The phonebook backup reminder (drawn over the directory).
  bool BackupDue = false;
  // The board-list update question and what an update would overwrite: the
  // names of the edited entries, and of the unlisted ones holding the user's
  // data (with " (no longer listed)").
  bool GuidePrompt = false;
  std::vector<std::string> GuideEdited;
  // A short notice, shown until the tick Until.
  struct {
    std::string Title, Text;
    uint64_t Until = 0;
  } Toast;

  void DrawTerminatedBox(TPopupLayer& layer) const;
  void DrawRedialBox(TPopupLayer& layer) const;
  // "Redial " + the entry's name (or host) + "?  Y/N", a long name cut.
  std::string RedialQuestion() const;
  void DrawBackupReminder(TPopupLayer& layer, bool asciiFrame) const;
  void DrawGuideUpdatePrompt(TPopupLayer& layer, bool asciiFrame) const;
  void DrawMessageBox(TPopupLayer& layer) const;
};

void DrawTransferWindow(TPopupLayer& layer, const TTransferView& view);
// The about box: the program's name, its version and "Press any key to
// continue", in the popups' frame.
void DrawAboutBox(TPopupLayer& layer, bool asciiFrame);
