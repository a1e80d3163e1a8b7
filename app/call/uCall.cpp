// A call's life and its own parts: the transport and its reports, hanging
// up, the text emulation set, IEMSI and auto-login, the login steps and the
// board's screen size. The receive pipeline is in uCallReceive.cpp.
#include "app/call/uCall.h"

#include <cstdio>

#include "core/uAnsiParser.h"
#include "core/uAsciiParser.h"
#include "core/uAvatarParser.h"
#include "core/uPetsciiParser.h"
#include "core/uTextEmulation.h"
#include "core/uVT52Parser.h"
#include "core/uViewdataParser.h"
#include "data/uLoginScript.h"
#include "data/uPhonebook.h"
#include "data/uConfig.h"
#include "net/uIEMSI.h"
#include "net/uWireTransport.h"
#include "net/uXYmodem.h"
#include "net/uZmodem.h"
#include "platform/Tick.h"

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

TCall::TCall(TCallHost& host, const TCallParts& parts, std::shared_ptr<TPhonebookEntry> entry, std::weak_ptr<int> life,
             const std::vector<std::string>& uploads)
    : Host(host),
      FBuffer(parts.Buffer),
      FParser(parts.Parser),
      FModes(parts.Modes),
      FLife(std::move(life)),
      FEntry(std::move(entry)),
      FIemsi(std::make_unique<TIEMSIResponder>()) {
  // The transfer engines, with the receive and door-graphics folders.
  std::string download, door;
  Host.TransferFolders(download, door);
  FZmodem = std::make_unique<TZmodemEngine>(download);
  if (const TAppConfig* config = Host.Settings()) FZmodem->Allow8K = config->Zmodem8K;
  FXYmodem = std::make_unique<TXYmodemEngine>(download);
  SetTransferFolders(download, door);
  WireTransferEngines();
  for (const std::string& file : uploads) FZmodem->AddUploadFile(file);
  WireEmulatorEvents();
}

TCall::~TCall() { *FWired = false; }

void TCall::AttachTransport(std::shared_ptr<TWireTransport> transport) {
  FTransport = std::move(transport);
  if (!FTransport) return;
  // Each report checks that this call is still the program's and that the
  // transport is still this call's, so nothing of a replaced call reaches
  // the next.
  std::weak_ptr<TCall> self = weak_from_this();
  std::weak_ptr<TWireTransport> weak = FTransport;
  std::weak_ptr<int> life = FLife;
  TCallHost* host = &Host;
  auto current = [self, weak, life]() -> std::shared_ptr<TCall> {
    if (life.expired() || weak.expired()) return nullptr;
    std::shared_ptr<TCall> call = self.lock();
    if (!call || call->FEnded || call->FTransport != weak.lock()) return nullptr;
    return call;
  };
  FTransport->OnData = [current](const uint8_t* data, int count) {
    if (std::shared_ptr<TCall> call = current()) call->OnTelnetData(data, count);
  };
  FTransport->OnConnected = [current](const std::string& msg) {
    if (std::shared_ptr<TCall> call = current()) call->OnTelnetConnected(msg);
  };
  FTransport->OnStatus = [current, host](const std::string& msg) {
    if (current()) host->CallStatus(msg);
  };
  FTransport->OnDisconnected = [host, life](const std::string& msg) {
    if (!life.expired()) host->CallDisconnected(msg, true);
  };
}

void TCall::Disconnect() {
  if (!FTransport) return;
  // Late reports of this call go to the handler that knows it is over.
  TCallHost* host = &Host;
  std::weak_ptr<int> life = FLife;
  FTransport->OnDisconnected = [host, life](const std::string& msg) {
    if (!life.expired()) host->CallDisconnected(msg, false);
  };
  FCounts.BytesOut = FTransport->BytesSent.load();
  FTransport->Disconnect();
  FTransport.reset();
}

void TCall::DropTransport() {
  if (!FTransport) return;
  FCounts.BytesOut = FTransport->BytesSent.load();
  FTransport.reset();
}

void TCall::End() {
  FEnded = true;
  // What the reset takes of the call, in its order: board recognition, the
  // login steps, IEMSI, the minor emulations, the entry, the received bytes.
  FRxTail.clear();
  FRenegade = false;
  FBbsSizeSet = false;
  FLoginScript.reset();
  FIemsiEnabled = false;
  FIemsi->Reset();
  FreeMinorEmulations();
  FEntry.reset();
  FRxPending.clear();
  FRxHead = 0;
  FSimBytesPerSec = 0;
  FBudgetCarry = 0;
  FPaused = false;
}

void TCall::SendToHost(const std::string& text) {
  if (FTransport) FTransport->SendString(text);
}

void TCall::OnTelnetConnected(const std::string&) {
  FConnectTick = platform::TickMs();
  if (FLoginScript) FLoginScript->Start();
  Host.CallConnected();
}

void TCall::SelectEmulation(const std::string& type, bool lenientLetters, bool lenientCRLF) {
  FreeMinorEmulations();
  if (type == "PETSCII" || type == "CBM" || type == "C64") {
    FPetscii = std::make_unique<TPetsciiParser>(FBuffer, TPetsciiParser::pmPetscii);
    FPetsciiActive = true;
    FPetscii->OnCharsetChange = [this](bool lower) { OnPetsciiFontSwitch(lower); };
    FPetscii->LenientLetters = lenientLetters;
  } else if (type == "ATASCII" || type == "ATARI") {
    FPetscii = std::make_unique<TPetsciiParser>(FBuffer, TPetsciiParser::pmAtascii);
    FPetsciiActive = true;
    FPetscii->LenientCRLF = lenientCRLF;
  } else if (type == "AVATAR") {
    FAvatar = std::make_unique<TAvatarParser>(FBuffer);
    FAvatarActive = true;
  } else if (type == "VIEWDATA") {
    FViewdata = std::make_unique<TViewdataParser>(FBuffer);
    FViewdataActive = true;
  } else if (type == "VT52") {
    FVT52 = std::make_unique<TVT52Parser>(FBuffer);
    FVT52Active = true;
  } else if (type == "ASCII") {
    FAscii = std::make_unique<TAsciiParser>(FBuffer);
    FAsciiActive = true;
  }
}

TTextEmulation* TCall::ActiveMinorEmulation() const {
  if (FPetsciiActive) return FPetscii.get();
  if (FAvatarActive) return FAvatar.get();
  if (FViewdataActive) return FViewdata.get();
  if (FVT52Active) return FVT52.get();
  if (FAsciiActive) return FAscii.get();
  return nullptr;
}

bool TCall::MinorEmulationActive() const {
  return FPetsciiActive || FViewdataActive || FAvatarActive || FVT52Active || FAsciiActive;
}

void TCall::FreeMinorEmulations() {
  FPetscii.reset();
  FAvatar.reset();
  FViewdata.reset();
  FVT52.reset();
  FAscii.reset();
  FPetsciiActive = FAvatarActive = FViewdataActive = FVT52Active = FAsciiActive = false;
}

void TCall::SetUtf8Mode(bool on) {
  FUtf8Mode = on;
  FUtf8Decoder.Reset();
}

void TCall::ResetIemsi() { FIemsi->Reset(); }

void TCall::SendIemsiIci() {
  if (!FTransport || !FEntry) return;
  const int cols = TermCols(), rows = TextRows(TermRows());
  FTransport->SendString(BuildEmsiPacket("ICI", BuildIemsiIci(FEntry->Username, FEntry->Password, cols, rows)));
}

void TCall::SendIemsiReply() {
  if (FTransport) FTransport->SendString(BuildEmsiShort("ACK"));
}

void TCall::SendAutoLogin() {
  if (!FTransport || !FEntry) return;
  for (const std::string* text : {&FEntry->Username, &FEntry->Password}) {
    if (text->empty()) continue;
    Host.RecordTypedText(*text + "\r");
    FTransport->SendString(*text + "\r");
  }
}

void TCall::LoadLoginSteps(const std::vector<std::string>& lines) {
  FLoginScript = std::make_unique<TLoginScript>(FTransport);
  FLoginScript->LoadFromLines(lines);
}

void TCall::LoginStepsTick() {
  if (FLoginScript) FLoginScript->Tick();
}

int TCall::TextRows(int rows) const {
  int t = Host.StatusBarShown() ? rows - 1 : rows;
  return t < 1 ? 1 : t;
}

int TCall::TermCols() const {
  if (FBbsSizeSet) return FBbsCols;
  if (FEntry) return FEntry->Cols;
  return FBuffer.FWidth;
}

int TCall::TermRows() const {
  if (FBbsSizeSet) return FBbsRows;
  if (FEntry) return FEntry->Rows;
  return FBuffer.FHeight;
}

void TCall::SetBoardSize(int cols, int rows) {
  FBbsSizeSet = true;
  FBbsCols = cols;
  FBbsRows = rows;
}

void TCall::SetSimBytesPerSec(double bytesPerSec) {
  FSimBytesPerSec = bytesPerSec;
  FBudgetTick = uint32_t(platform::TickMs());
  FBudgetCarry = 0;
}

void TCall::Resume() {
  FPaused = false;
  FBudgetTick = uint32_t(platform::TickMs());
  FBudgetCarry = 0;
}

std::string TCall::OnlineStatusText(int64_t s) const {
  const TCallCounts& counts = FCounts;
  char text[160];
  std::snprintf(text, sizeof text, "Online %.2lld:%.2lld:%.2lld   In %s   Out %s", static_cast<long long>(s / 3600),
                static_cast<long long>(s % 3600 / 60), static_cast<long long>(s % 60),
                FormatByteSize(counts.BytesIn).c_str(), FormatByteSize(counts.BytesOut).c_str());
  std::string out = text;
  if (counts.FilesDown > 0 || counts.FilesUp > 0) {
    std::snprintf(text, sizeof text, "   Files: %d down, %d up", counts.FilesDown, counts.FilesUp);
    out += text;
  }
  return out;
}
