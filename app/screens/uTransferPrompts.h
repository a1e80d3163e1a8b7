// The questions a transfer puts over the online screen: the upload-batch
// box after a Zmodem upload (clear the queue?), the warning before a
// non-text file goes out as a board's message, and the DOWNLOAD and UPLOAD
// PROTOCOL menus with the engine protocol behind each digit. They only hold
// and show state; the key dispatcher answers them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/screens/uPopupLayer.h"

struct TTransferPrompts {
  // The upload-batch box, and what the board refused since it was answered.
  struct {
    bool Open = false;
    int32_t Refused = 0;
    std::string RefusedName;  // the last refused file, without its folder
  } Batch;
  // The message-upload warning and the files kept while it is open.
  struct {
    bool Open = false;
    std::vector<std::string> Files;
  } MessageUpload;
  bool DownloadMenu = false;
  // The upload menu and the picked file waiting for its protocol.
  struct {
    bool Open = false;
    std::string File;
  } UploadMenu;

  // The open boxes in their fixed order: batch box, warning, download menu,
  // upload menu.
  void Draw(TPopupLayer& layer) const;
  // The first of them that is open takes the keys.
  bool AnyOpen() const { return Batch.Open || MessageUpload.Open || DownloadMenu || UploadMenu.Open; }

  // The engine protocol that a key-down picks on the open menu: Enter and
  // the main row's digits (not the keypad's); -1 for any other key.
  static int DownloadProtocolFor(uint16_t key);
  static int UploadProtocolFor(uint16_t key);
};

// A centred popup of a title, the lines and "Esc: Cancel".
void DrawMenuBox(TPopupLayer& layer, const std::string& title, const std::vector<std::string>& lines);
