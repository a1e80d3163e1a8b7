// A call's life after it is opened: the transport's status, connected and
// disconnected reports, hanging up, how a call ended (and whether a redial
// is offered), the per-call reset, the window title and the call summary.
#include <climits>
#include <cstdio>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uAppReader.h"
#include "app/uAppCallHost.h"
#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "data/uLoginScript.h"
#include "app/uAppScripts.h"
#include "app/uAppUploads.h"
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


void TApplication::OnTelnetStatus(const std::string& msg) {
  LogLine("Status: " + msg);
  SetStatus(msg, 10000);
  if (FReader->On()) FReader->Speak(msg, true);
  Invalidate();
}

const std::shared_ptr<TPhonebookEntry>& TApplication::CallEntry() const { return FCall->Entry(); }

bool TApplication::CallConnected() const { return FCall->ConnectTick() != 0; }

bool TApplication::CallOpen() const { return FCall && FCall->Transport() != nullptr; }

void TApplication::MakeCall(std::shared_ptr<TPhonebookEntry> entry) {
  if (!FCallHost) FCallHost = std::make_unique<TAppCallHost>(*this);
  // The files queued for an upload stay queued from call to call.
  const std::vector<std::string> uploads = FCall ? FCall->QueuedUploads() : std::vector<std::string>();
  FCall = std::make_shared<TCall>(*FCallHost, TCallParts{*FBuffer, *FParser, *FModes}, std::move(entry), FLifeToken,
                                  uploads);
}

// The board answered: the call's time runs from now and its login steps
// have started.
void TApplication::OnTelnetConnected() {
  FStatus.clear();
  FBuffer->ClearScreen(false);
  FScripts->CallConnected();
  Invalidate();
}

void TApplication::DisconnectCurrent() {
  FCall->Disconnect();
  FCall->EndCapture();
  ResetSessionState();
}

void TApplication::OnTelnetDisconnected(const std::string& msg, bool live) {
  if (!live && FCall->Transport()) {
    LogLine("Telnet: ignoring late disconnect event from a replaced session, AMsg=" + msg);
    return;
  }
  std::shared_ptr<TPhonebookEntry> entry = FCall->Entry();
  const bool cleanClose = FCall->Transport() && FCall->Transport()->RemoteClosed.load();
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
  FCall->DropTransport();
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
    if (FReader->On()) FReader->Speak("Connection lost. " + msg + ". Redial? Press Y or N.", true);
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
  const bool hadCall = FCall->ConnectTick() != 0;
  // 1-2. The call's modes: door graphics, music, APC audio and pictures,
  // the graphics emulations and picture decoders.
  FModes->Reset();
  // 3, 5-7. Transfers. The call's questions close (the files held by the
  // message-upload warning are forgotten) and a text upload stops. Both
  // engines stop; the Zmodem one keeps only its list of files, which the
  // next upload picker shows again. The hold on the upload picker was this
  // call's: the next board's first upload request opens it.
  FUploads->CallEnded();
  FCall->StopTransfers();
  FDoorwayMode = false;
  // 8. The summary of a call that had connected.
  if (FCall->ConnectTick() != 0) {
    FPopups.Terminated.Summary = FCall->OnlineStatusText(int64_t((platform::TickMs() - FCall->ConnectTick()) / 1000));
    FCall->SetConnectTick(0);
  }
  // A script started for this call ends with it; other scripts run on.
  FScripts->CallEnded();
  // The end of a call ends its recording; a recording waiting for a call
  // to begin goes on.
  if (hadCall) FScripts->StopRecording(false);
  // 4, 9-20. The call itself goes: board recognition, its screen size, login
  // steps and IEMSI, its minor emulation (a PETSCII font stays until the
  // directory returns), its entry and the bytes it received. Whatever still
  // holds it (a drain that let this reset through) finds it ended.
  if (FCall->PetsciiActive())
    LogLine(
        "Session: ResetSessionState leaving font in place (FPetsciiActive was True) - reverted later, right before "
        "the phonebook loads");
  const TCallCounts counts = FCall->Counts();
  FCall->End();
  FParser->AnnounceSixel = true;
  FBuffer->Resize(80, 25);
  FRenderer->ClearSprites();
  FGfxDirty = false;
  MakeCall(nullptr);
  // The empty call keeps the ended call's figures until the next one starts.
  FCall->Counts() = counts;
}

void TApplication::UpdateWindowTitle() {
  std::string title = "KORVAN";
  const std::shared_ptr<TPhonebookEntry>& entry = FCall->Entry();
  if (FCall->Transport() && entry) {
    std::string name = Trim(entry->Name);
    title += " - " + (name.empty() ? ShownHost(*entry) : name);
    if (FCall->ConnectTick() != 0) {
      uint64_t s = (platform::TickMs() - FCall->ConnectTick()) / 1000;
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


void TApplication::TogglePause() {
  if (FCall->Paused()) {
    FCall->Resume();
    if (FReader->On()) FReader->Speak("Resumed", true);
    FStatusUntil = 0;
    FCall->DrainInput();
  } else {
    if (!FCall->Transport()) return;
    if (FCall->TransferRunning()) {
      SetStatus("Can't pause during a file transfer", 2500);
    } else {
      FCall->Pause();
      if (FReader->On()) FReader->Speak("Paused", true);
    }
  }
  Invalidate();
}
