// Transfers started from the keyboard and the window: the Zmodem upload
// picker and its queue, files dropped on the window, the message-upload
// warning and the batch question, the X/Ymodem protocol menus, the paced
// text upload; and the phonebook import picker on the directory. The
// questions and menus are drawn over the online screen and take its keys
// while open; the end of a call closes them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/screens/uTransferPrompts.h"
#include "app/uAsciiUpload.h"

class TApplication;
struct TKeyEvent;

// A name that a board taking a message would read as text: one of the
// text extensions, or none at all.
bool IsTextFileName(const std::string& name);

class TAppUploads {
 public:
  explicit TAppUploads(TApplication& app) : A(app) {}
  TAppUploads(const TAppUploads&) = delete;
  TAppUploads& operator=(const TAppUploads&) = delete;

  // The questions and menus a transfer puts over the online screen.
  TTransferPrompts& Prompts() { return FTransferPrompts; }
  bool AsciiUploadRunning() const { return FAsciiUpload.Running(); }

  // The commands (Alt+U, Alt+A, Alt+Y, Alt+K, Alt+I) and dropped files.
  void StartZmodemUpload();
  void StartAsciiUpload();
  void OpenDownloadMenu();
  void StartXYmodemUpload();
  void StartPhonebookImport();
  void HandleDroppedFiles(const std::vector<std::string>& paths);
  // The questions and menus take keys and characters while open.
  bool TransferPromptKey(const TKeyEvent& key);
  bool TransferPromptChar(uint8_t ch);
  // The main timer's step of a text upload.
  void AsciiUploadTick();
  // The end of a call: its questions close (the files held by the
  // message-upload warning are forgotten) and a text upload stops.
  void CallEnded();

 private:
  std::string UploadFolder() const;
  bool ExpectingMessageUpload() const;
  void CommitUploads(const std::vector<std::string>& queue);
  bool CheckAndSendUploads(const std::vector<std::string>& files);
  void QueueOrSendUploads(const std::vector<std::string>& files);
  void AnswerMessageUpload(bool yes);
  void AnswerClearQueue(bool yes);
  // Says so on the status line and returns true while a transfer runs.
  bool RefuseWhileTransferring();
  void StartXYmodemDownload(int protocol);
  void SendXYmodemFile(int protocol);
  void StartAsciiUploadFile(const std::string& path);
  void CancelAsciiUpload();
  void ImportPhonebookFile(const std::string& path);

  TApplication& A;
  TTransferPrompts FTransferPrompts;
  bool FExpectMessageUpload = false;
  TAsciiUpload FAsciiUpload;
};
