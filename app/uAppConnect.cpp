// The connect road: the command line, the automatic connection it can ask
// for, the quick-connect list, the dial animation, and ConnectToEntry, which
// every way of calling a board ends in. It picks the text emulation by
// terminal type and the transport by protocol and wires the call's events.
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "app/call/uCall.h"
#include "app/call/uCallModes.h"
#include "app/uApp.h"
#include "app/uAppFonts.h"
#include "app/uOnlineMouse.h"
#include "app/uTermTypePresets.h"
#include "core/uAnsiParser.h"
#include "core/uAsciiParser.h"
#include "core/uAvatarParser.h"
#include "core/uTextEmulation.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uPetsciiParser.h"
#include "core/uVT52Parser.h"
#include "core/uViewdataParser.h"
#include "data/uConfig.h"
#include "data/uDateTime.h"
#include "data/uLoginScript.h"
#include "data/uPhonebook.h"
#include "net/uIEMSI.h"
#include "net/uShellClient.h"
#include "net/uSSHClient.h"
#include "net/uTelnetClient.h"
#include "platform/AppFolder.h"
#include "platform/Tick.h"

namespace {

const TColorRGB kLightGrey{170, 170, 170};
const TColorRGB kBlack{0, 0, 0};

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimBlanks(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// A decimal number, or Fallback when the text is not one.
int32_t NumberOr(const std::string& s, int32_t fallback) {
  if (s.empty() || s.size() > 10) return fallback;
  size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
  if (i == s.size()) return fallback;
  for (size_t k = i; k < s.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(s[k]))) return fallback;
  long long v = std::atoll(s.c_str());
  return (v < INT32_MIN || v > INT32_MAX) ? fallback : int32_t(v);
}

std::string PadOrCut(const std::string& s, int width) {
  if (width <= 0) return "";
  std::string out = s.substr(0, size_t(width));
  out.resize(size_t(width), ' ');
  return out;
}

}  // namespace

bool SplitUserPassHost(const std::string& text, std::string& user, std::string& password, std::string& host) {
  user.clear();
  password.clear();
  host.clear();
  size_t at = text.find('@');
  if (at == std::string::npos) return false;
  host = text.substr(at + 1);
  std::string left = text.substr(0, at);
  size_t colon = left.find(':');
  if (colon == std::string::npos) {
    user = left;
  } else {
    user = left.substr(0, colon);
    password = left.substr(colon + 1);
  }
  return true;
}

std::string ShownHost(const TPhonebookEntry& entry) {
  std::string user, password, host;
  if (entry.UseSSH && SplitUserPassHost(entry.Host, user, password, host)) return host;
  return entry.Host;
}


void TApplication::ParseCommandLine() {
  const char* env = std::getenv("USERNAME");
  if (!env || !*env) env = std::getenv("USER");  // the Linux name of the same thing
  FCmdClientUser = env ? env : "";
  FCmdServerUser = FCmdClientUser;
  for (const std::string& arg : FOptions.Args) {
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) continue;
    char letter = char(std::toupper(static_cast<unsigned char>(arg[1])));
    std::string value = arg.substr(2);
    switch (letter) {
      case 'S': {
        size_t colon = value.find(':');
        FCmdHost = value.substr(0, colon);
        if (colon != std::string::npos) FCmdPort = NumberOr(value.substr(colon + 1), 0);
        break;
      }
      case 'P': FCmdPort = NumberOr(value, 0); break;
      case 'R': FCmdRLogin = true; break;
      case 'X': FCmdClientUser = value; FCmdRLogin = true; break;
      case 'Y': FCmdServerUser = value; FCmdRLogin = true; break;
      case 'Z': FCmdTermType = value; FCmdRLogin = true; break;
      case 'W': FCmdQuitDelay = NumberOr(value, 5); break;
      case 'E': FCmdEcho = true; break;
      case 'K': FCmdKeep = true; break;
      case 'M': FCmdListFile = value; break;
      default: break;
    }
  }
  FCmdAutoConnect = !FCmdHost.empty();
  if (FCmdAutoConnect && (FCmdPort < 1 || FCmdPort > 65535)) FCmdPort = FCmdRLogin ? 513 : 23;
}

void TApplication::AutoConnect() {
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = FCmdHost;
  entry->Host = FCmdHost;
  entry->Port = uint16_t(FCmdPort);
  entry->Cols = 80;
  entry->Rows = 25;
  entry->UseRIP = false;
  entry->UseSixel = true;
  entry->UseUTF8 = false;
  entry->UseRLogin = FCmdRLogin;
  entry->RLoginClientUser = FCmdClientUser;
  entry->RLoginServerUser = FCmdServerUser;
  entry->TermType = FCmdRLogin ? FCmdTermType : "ANSI-BBS";
  FCmdEntry = entry;
  ConnectToEntry(FCmdEntry, false);
}

void TApplication::ConnectToEntry(const std::shared_ptr<TPhonebookEntry>& entryRef, bool skipDial) {
  if (!entryRef) return;
  // Hold our own reference: the caller's may be the field this road clears.
  std::shared_ptr<TPhonebookEntry> entry = entryRef;

  // 1-2. SSH may carry user and password in the host text.
  std::string sshUser, sshPass, sshHost;
  bool split = entry->UseSSH && SplitUserPassHost(entry->Host, sshUser, sshPass, sshHost);
  if (entry->UseSSH && !split && TrimBlanks(entry->Username).empty()) {
    FStatus = "No SSH username set - Alt+E to add one, or use user:pass@host in Host";
    Invalidate();
    return;
  }
  // 3-5. Close what runs.
  FPopups.Redial.Open = false;
  FPopups.Redial.Entry.reset();
  DisconnectCurrent();
  // A dial still playing for another board is over: left running, it would
  // write onto this call's screen and then replace this call with its own.
  FDialStage = 0;
  FDialEntry.reset();
  FMouse->ClearLinkSelection();
  FMouse->ClearHover();
  // 6. A simulated modem dials first.
  if (!skipDial && entry->SimBaudRate > 0) {
    StartDial(entry);
    return;
  }
  // 7-8. The call, made for the entry, and the screen geometry.
  MakeCall(entry);
  FPopups.Terminated.Summary.clear();
  ApplyTermGeometry();
  FBuffer->SetIceColors(entry->IceColors);

  // 9. The text emulation by terminal type. "Avatar" announces ANSI-BBS
  // but runs the Avatar emulation, which no other type name reaches.
  const bool avatar = Upper(TrimBlanks(entry->TermType)) == "AVATAR";
  const std::string type = avatar ? "AVATAR" : Upper(CanonicalTermTypeOf(entry->TermType));
  FCall->SelectEmulation(type, FConfig->PetsciiLenientLetters, FConfig->AtasciiLenientCRLF);
  if (FCall->Petscii() && FCall->Petscii()->GetMode() == TPetsciiParser::pmPetscii)
    FCall->OnPetsciiFontSwitch(false);
  else if (FCall->Petscii())
    FFonts->LoadAtariFont();
  else
    FFonts->LoadFontForEntry(*entry);

  // 10. The call's switches (the modes take theirs when the call opens).
  FCall->SetUtf8Mode(entry->UseUTF8);
  FCall->SetIemsiEnabled(entry->UseIEMSI);
  FCall->SetSimBytesPerSec(entry->SimBaudRate / 10.0);

  // 11. Fresh emulator state.
  FCall->ResetIemsi();
  FParser->Reset();
  FBuffer->ResetMargins();
  ApplyTermGeometry();
  FBuffer->ResetAttributes();
  FBuffer->SetCursorVisible(true);
  FParser->AnnounceSixel = entry->UseSixel;
  FRenderer->ClearSprites();
  FGfxDirty = false;

  // 12. The terminal type announced to the board.
  std::string announced = CanonicalTermTypeOf(entry->TermType);
  if (!entry->UseRIP && Upper(announced) == "RIP") announced = "ANSI-BBS";
  if (entry->UseRIP && Upper(announced) != "RIP") announced = "RIP";

  // 13. TelnetS on the Telnet port goes to the TelnetS port.
  if (entry->UseTelnetS && entry->Port == 23) entry->Port = 992;

  // 14. The transport, by the first protocol switch that is on.
  const uint16_t rows = uint16_t(FCall->TextRows(entry->Rows));
  const uint16_t cols = entry->Cols;
  std::shared_ptr<TWireTransport> transport;
  if (entry->UseSSH) {
    transport = TSSHClient::Create(split ? sshHost : entry->Host, entry->Port, split ? sshUser : entry->Username,
                                   split ? sshPass : entry->Password, entry->SSHKeyFile, cols, rows,
                                   entry->SSHTrustNewKey);
  } else if (entry->UseRLogin) {
    transport = TTelnetClient::CreateRLogin(entry->Host, entry->Port, entry->RLoginClientUser,
                                            entry->RLoginServerUser, announced, cols, rows);
  } else if (entry->UseRaw) {
    transport = TTelnetClient::CreateRaw(entry->Host, entry->Port);
  } else if (entry->UseShell) {
    transport = TShellClient::Create(entry->ShellCommand, cols, rows);
  } else {
    transport = TTelnetClient::Create(entry->Host, entry->Port, announced, cols, rows, entry->UseTelnetS,
                                      entry->TlsTrustNewCert, entry->TlsClientCertFile, entry->TlsClientKeyFile,
                                      entry->Password);
  }
  // 15. SSH and the local shell speak VT100 rather than ANSI-BBS.
  FParser->VtMode = entry->UseSSH || entry->UseShell;
  // 16. The one-time trust switches are used up.
  if (entry->UseTelnetS) entry->TlsTrustNewCert = false;
  if (entry->UseSSH) entry->SSHTrustNewKey = false;
  // 17. The call takes the transport and its events; each report checks
  // that its call and transport are still the current ones, so nothing of a
  // replaced call reaches the next.
  FCall->AttachTransport(transport);
  // 18. The modes follow the new call: the door clients take its transport,
  // the graphics emulations and picture decoders the entry's switches.
  FModes->Open(*entry);
  // 19. The entry's login steps, for this call.
  if (!entry->Script.empty()) FCall->LoadLoginSteps(entry->Script);
  // 20. Call statistics of the entry (saved with the phonebook later).
  entry->LastConnected = NowDateTime();
  if (entry->TimesConnected < INT32_MAX) entry->TimesConnected += 1;  // a stored count at its top stays there
  // 21-22. The online screen with the connecting message.
  SwitchScreen(smOnline);
  FBuffer->ClearScreen(false);
  FBuffer->SetCursorVisible(true);
  FBuffer->ResetAttributes();
  // The pen reset is the ANSI one; an emulation with colours of its own
  // (PETSCII, ATASCII) sets them again, so the call starts in them.
  if (TTextEmulation* minor = FCall->ActiveMinorEmulation()) minor->Reset();
  std::string text;
  if (entry->UseShell) {
    if (FStatusBar) FStatus = "Starting local shell...";
    text = entry->ShellCommand.empty() ? "Starting local shell ... (Esc to cancel)"
                                       : "Starting local shell (" + entry->ShellCommand + ") ... (Esc to cancel)";
  } else {
    const std::string host = split ? sshHost : entry->Host;
    if (FStatusBar) FStatus = "Connecting to " + host + "...";
    text = "Connecting to " + host + ":" + std::to_string(entry->Port) + " ... (Esc to cancel)";
  }
  TCellGrid(*FBuffer).DrawTextAt(1, 1, PadOrCut(text, entry->Cols - 2), kLightGrey, kBlack);
  Invalidate();
}

void TApplication::StartDial(const std::shared_ptr<TPhonebookEntry>& entry) {
  FBuffer->ClearScreen(false);
  FBuffer->SetCursorVisible(false);
  SwitchScreen(smOnline);
  FDialEntry = entry;
  FDialStage = 1;
  FDialDue = platform::TickMs();
  FStatus = "Dialing " + entry->Name + "... (Esc to cancel)";
  Invalidate();
}

void TApplication::DialTick() {
  if (FDialStage <= 0 || !FDialEntry || platform::TickMs() < FDialDue) return;
  struct Stage {
    int Row;
    const char* Text;
    uint32_t Delay;
  };
  static const Stage kStages[8] = {
      {1, nullptr, 900},
      {3, "Resolving Hostname .... ", 700},
      {3, "Resolving Hostname .... OK", 500},
      {4, "Opening Connection .... ", 700},
      {4, "Opening Connection .... OK", 500},
      {5, "Waiting for Carrier ... ", 900},
      {5, "Waiting for Carrier ... OK", 600},
      {7, nullptr, 900},
  };
  if (FDialStage >= 9) {
    std::shared_ptr<TPhonebookEntry> entry = FDialEntry;
    FDialStage = 0;
    FDialEntry.reset();
    ConnectToEntry(entry, true);
    return;
  }
  const Stage& stage = kStages[FDialStage - 1];
  std::string text;
  if (FDialStage == 1)
    text = "Dialing " + FDialEntry->Name + " ...";
  else if (FDialStage == 8)
    text = "CONNECT " + std::to_string(FDialEntry->SimBaudRate) + (FDialEntry->SimBaudRate >= 9600 ? "/ARQ" : "");
  else
    text = stage.Text;
  TCellGrid(*FBuffer).DrawTextAt(1, stage.Row, text, kLightGrey, kBlack);
  FDialDue = platform::TickMs() + stage.Delay;
  ++FDialStage;
  Invalidate();
}
