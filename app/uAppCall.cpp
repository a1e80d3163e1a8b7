// A call's life after it is opened: the transport's status, connected and
// disconnected reports, hanging up, how a call ended (and whether a redial
// is offered), the per-call reset, the window title and the call summary.
#include <climits>
#include <cstdio>

#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uSessionCapture.h"
#include "data/uLoginScript.h"
#include "data/uScriptRecorder.h"
#include "data/uPhonebook.h"
#include "net/uIEMSI.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Tick.h"

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

}  // namespace

std::string FormatByteSize(int64_t n) {
  char text[48];
  if (n < 1024)
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(n));
  else if (n < 1048576)
    std::snprintf(text, sizeof text, "%.0f KB", double(n) / 1024.0);
  else
    std::snprintf(text, sizeof text, "%.1f MB", double(n) / 1048576.0);
  return text;
}

void TApplication::OnTelnetStatus(const std::string& msg) {
  LogLine("Status: " + msg);
  SetStatus(msg, 10000);
  if (FReaderOn) Speak(msg, true);
  Invalidate();
}

void TApplication::OnTelnetConnected(const std::string&) {
  FStatus.clear();
  FConnectTick = platform::TickMs();
  FBuffer->ClearScreen(false);
  if (FLoginScript) FLoginScript->Start();
  if (FRecorder && FEntry) FRecorder->SetEntry(FEntry->Name, FEntry->Username, FEntry->Password);
  RunLogonScript();
  Invalidate();
}

void TApplication::DisconnectCurrent() {
  if (FTelnet) {
    // Late reports of this call go to the handler that knows it is over.
    std::weak_ptr<int> life = FLifeToken;
    FTelnet->OnDisconnected = [this, life](const std::string& msg) {
      if (!life.expired()) OnTelnetDisconnected(msg, false);
    };
    FBytesOut = FTelnet->BytesSent.load();
    FTelnet->Disconnect();
    FTelnet.reset();
  }
  if (CaptureActive()) {
    std::string path = CapturePath();
    StopCapture();
    FStatus = "Capture stopped: " + path;
    ShowToast("CAPTURE STOPPED", path.substr(path.find_last_of('/') + 1), 2000);
  }
  ResetSessionState();
}

void TApplication::OnTelnetDisconnected(const std::string& msg, bool live) {
  if (!live && FTelnet) {
    LogLine("Telnet: ignoring late disconnect event from a replaced session, AMsg=" + msg);
    return;
  }
  std::shared_ptr<TPhonebookEntry> entry = FEntry;
  const bool cleanClose = FTelnet && FTelnet->RemoteClosed.load();
  const int64_t sinceInput =
      FLastKeyTick == 0 ? INT64_MAX : int64_t(platform::TickMs() - FLastKeyTick);
  const bool recentInput = sinceInput < 3000;
  const bool offerRedial = live && !cleanClose && !recentInput;
  char line[200];
  std::snprintf(line, sizeof line,
                "Telnet: disconnect classified - unexpected=%s cleanClose=%s msSinceInput=%lld offerRedial=%s",
                live ? "True" : "False", cleanClose ? "True" : "False", static_cast<long long>(sinceInput),
                offerRedial ? "True" : "False");
  LogLine(line);
  LogLine("Telnet: OnTelnetDisconnected fired, AMsg=" + msg);
  if (FTelnet) {
    FBytesOut = FTelnet->BytesSent.load();
    FTelnet.reset();
  }
  ResetSessionState();
  FBuffer->ClearScreen(false);
  SwitchScreen(smOnline);
  if (FStatusBar) FStatus = "Connection terminated: " + msg;
  FPopups.Terminated.Reason = msg;
  const uint64_t now = platform::TickMs();
  FPopups.Terminated.Until = now + (FPopups.Terminated.Summary.empty() ? 500 : 5000);
  Invalidate();
  if (FCmdAutoConnect && !FCmdKeep) {
    if (FCmdQuitDelay < 1) {
      FRunning = false;
      FWindow->PostQuit(0);
    } else {
      FQuitting = true;
      char text[64];
      std::snprintf(text, sizeof text, " - quitting in %ds (press any key)", FCmdQuitDelay);
      FPopups.Terminated.Reason = msg + text;
      FPopups.Terminated.Until = now + uint64_t(FCmdQuitDelay) * 1000;
      FWindow->SetTimer(tmQuit, uint32_t(FCmdQuitDelay) * 1000);
    }
  } else if (offerRedial && entry) {
    FPopups.Redial.Entry = entry;
    FPopups.Redial.Reason = msg;
    FPopups.Redial.Open = true;
    FPopups.Terminated.Until = 0;
    if (FReaderOn) Speak("Connection lost. " + msg + ". Redial? Press Y or N.", true);
    Invalidate();
  }
}

void TApplication::AnswerRedial(bool yes) {
  std::shared_ptr<TPhonebookEntry> entry = FPopups.Redial.Entry;
  FPopups.Redial.Open = false;
  FPopups.Redial.Entry.reset();
  FPopups.Redial.Reason.clear();
  if (yes && entry) {
    FStatus = "Redialing " + entry->Name + "...";
    ConnectToEntry(entry, false);
  } else {
    FStatus = "Not redialing. Alt+D: dialing directory.";
  }
  Invalidate();
}

void TApplication::ResetSessionState() {
  const bool hadCall = FConnectTick != 0;
  // 1-2. The call's modes: door graphics, music, APC audio and pictures,
  // the graphics emulations and picture decoders.
  FModes->Reset();
  // 4. Board recognition.
  FRxTail.clear();
  FRenegade = false;
  // 3, 5-7. Transfers. The call's questions close (the files held by the
  // message-upload warning are forgotten) and a text upload stops. An
  // upload armed for this call must never reach the next board: the engine
  // is stopped, forgets that a receiver was waiting and keeps only its list
  // of files, which the next upload picker shows again.
  FTransferPrompts.MessageUpload = {};
  FTransferPrompts.DownloadMenu = false;
  FTransferPrompts.UploadMenu = {};
  CancelAsciiUpload();
  std::vector<std::string> queued;
  for (int i = 0; i < FZmodem->UploadFileCount(); ++i) queued.push_back(FZmodem->GetUploadFile(i));
  FZmodem->Abort();
  for (const std::string& file : queued) FZmodem->AddUploadFile(file);
  // An X/Ymodem transfer belongs to its call as much as a Zmodem one does:
  // left running, it would take the next call's bytes for its blocks.
  if (FXYmodem->Mode != TXYmodemEngine::xmIdle) FXYmodem->Abort("Call ended");
  FXferPanelUntil = 0;
  // The hold on the upload picker was this call's: the next board's first
  // upload request opens it.
  FLastUploadAsk = 0;
  FDoorwayMode = false;
  // 8. The summary of a call that had connected.
  if (FConnectTick != 0) {
    FPopups.Terminated.Summary = OnlineStatusText(int64_t((platform::TickMs() - FConnectTick) / 1000));
    FConnectTick = 0;
  }
  // 9-14.
  FBbsSizeSet = false;
  FLoginScript.reset();
  // A script started for this call ends with it; other scripts run on.
  if (FScriptIsLogon) StopScript(false);
  // The end of a call ends its recording; a recording waiting for a call
  // to begin goes on.
  if (hadCall) StopRecording(false);
  FIemsiEnabled = false;
  FIemsi->Reset();
  // 15-16. The minor emulations; a PETSCII font stays until the directory returns.
  if (FPetsciiActive)
    LogLine(
        "Session: ResetSessionState leaving font in place (FPetsciiActive was True) - reverted later, right before "
        "the phonebook loads");
  FreeMinorEmulations();
  // 17-19.
  FParser->AnnounceSixel = true;
  FEntry.reset();
  FBuffer->Resize(80, 25);
  FRenderer->ClearSprites();
  FGfxDirty = false;
  // 20. Received bytes of the old call go with it.
  FRxPending.clear();
  FRxHead = 0;
  FSimBytesPerSec = 0;
  FBudgetCarry = 0;
  FPaused = false;
}

void TApplication::UpdateWindowTitle() {
  std::string title = "KORVAN";
  if (FTelnet && FEntry) {
    std::string name = Trim(FEntry->Name);
    title += " - " + (name.empty() ? ShownHost(*FEntry) : name);
    if (FConnectTick != 0) {
      uint64_t s = (platform::TickMs() - FConnectTick) / 1000;
      char text[48];
      std::snprintf(text, sizeof text, " - %.2llu:%.2llu:%.2llu", static_cast<unsigned long long>(s / 3600),
                    static_cast<unsigned long long>(s % 3600 / 60), static_cast<unsigned long long>(s % 60));
      title += text;
    } else {
      title += " - connecting";
    }
  }
  if (title != FWindowTitle) {
    FWindowTitle = title;
    FWindow->SetTitle(title);
  }
}

std::string TApplication::OnlineStatusText(int64_t s) const {
  char text[160];
  std::snprintf(text, sizeof text, "Online %.2lld:%.2lld:%.2lld   In %s   Out %s", static_cast<long long>(s / 3600),
                static_cast<long long>(s % 3600 / 60), static_cast<long long>(s % 60),
                FormatByteSize(FBytesIn).c_str(), FormatByteSize(FBytesOut).c_str());
  std::string out = text;
  if (FFilesDown > 0 || FFilesUp > 0) {
    std::snprintf(text, sizeof text, "   Files: %d down, %d up", FFilesDown, FFilesUp);
    out += text;
  }
  return out;
}

void TApplication::SendIemsiIci() {
  if (!FTelnet || !FEntry) return;
  const int rows = TextRows(TermRows()), cols = TermCols();
  FTelnet->SendString(BuildEmsiPacket("ICI", BuildIemsiIci(FEntry->Username, FEntry->Password, cols, rows)));
}

void TApplication::SendIemsiReply() {
  if (FTelnet) FTelnet->SendString(BuildEmsiShort("ACK"));
}

void TApplication::SendAutoLogin() {
  if (!FTelnet || !FEntry) return;
  for (const std::string* text : {&FEntry->Username, &FEntry->Password}) {
    if (text->empty()) continue;
    RecordTypedText(*text + "\r");
    FTelnet->SendString(*text + "\r");
  }
}
