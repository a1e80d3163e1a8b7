// The client side of the ZUD-O/D door command language: it takes the
// GS "{" ... "}" commands out of the received stream, runs them (variables,
// replies, queries, macros, key macros, text fields, timed events, local
// scripts) and hands the drawing commands to the door graphics engine. It
// never draws, and it reads and writes files only inside its asset folder,
// by plain names.
#pragma once
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "door/uDDOFXAudio.h"
#include "door/uDDOFXEngine.h"

class TAnsiParser;

// A file the door may ask about: its size and last-write date and time.
struct TDDOFXAssetInfo {
  int64_t Size = 0;
  uint16_t Year = 0, Day = 0, Month = 0, Hour = 0, Minute = 0, Second = 0;
};

struct TDDOFXVariable {
  bool Defined = false;
  bool IsNumber = false;
  std::string Value;
};

struct TDDOFXKeyMacro {
  bool Defined = false;
  bool PassKey = false;
  int HKey = 0, LKey = 0;
  std::string SendText;
  std::string Macro;
};

struct TDDOFXTextField {
  bool Defined = false;
  std::string Text, SendPrefix, SendSuffix, Macro;
  int MaxLen = 30;
  bool Masked = false;
  char MaskChar = '*';
  int NextField = 0;
  bool EnterSends = true;
  int Group = 0;
  int Filter = 0;
  bool Upper = false;
  int HotKey = 0;
  bool PassHotKey = false;
  int X = 0, Y = 0;
  uint8_t Bg = 1, FocusBg = 4, Fg = 15;
  std::string FontName;
};

// A sound effect a door assembles from parts of its theme.
struct TDDOFXBigSample {
  int Count = 0;  // parts it needs, 0..20
  std::vector<TSfxChunk> Parts;
};

struct TDDOFXEvent {
  bool Defined = false, Running = false, Repeat = false;
  int Kind = 0, Rate = 0;
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  uint64_t NextDue = 0;
  std::string SendText, Macro;
};

class TDDOFXParser {
 public:
  static constexpr int kMacros = 32, kMacroLines = 10, kReturnRegs = 300, kKeyMacros = 300;
  static constexpr int kVars = 1000, kFields = 250, kEvents = 200;
  static constexpr size_t kCommandLimit = 512;  // the opening brace counts
  static constexpr int kMaxDepth = 8;
  static constexpr size_t kValueCap = 255;
  // A door's loops run inside one received command (or key, click or timer
  // tick): these bound what one such command may set off.
  static constexpr int kReplayBudget = 20000;
  static constexpr uint64_t kScriptByteBudget = 32u << 20;
  static constexpr uint32_t kWaitBudgetMs = 1500;
  static constexpr int kBigSamples = 150, kBigSampleParts = 20;
  // The sound data one table (theme samples, bites, multi-part samples) may
  // hold: pack entries may overlap, so a small file could name far more.
  static constexpr size_t kSoundTableBytes = 64u << 20;

  // Engine: the graphics engine to hand drawing commands to; the base
  // engine (nothing drawn) when null.
  TDDOFXParser(TAnsiParser* ansiParser, std::unique_ptr<TDDOFXEngine> engine = nullptr);
  ~TDDOFXParser();
  TDDOFXParser(const TDDOFXParser&) = delete;
  TDDOFXParser& operator=(const TDDOFXParser&) = delete;

  // --- Bytes from the board -------------------------------------------------
  // True when B was swallowed (a command byte, or a byte drawn into the
  // engine's text window); false when the caller passes it on.
  bool FilterByte(uint8_t b);
  // How many leading bytes of Data FilterByte would pass on untouched.
  size_t PlainRun(const uint8_t* data, size_t count) const;
  // Runs one command, the text between the braces.
  void ExecuteCommand(const std::string& command);
  // A new connection: everything of the last one is forgotten except the
  // macros, return registers, the asset list and the logged tags.
  void Reset();
  // Music and sound of the door stop and are forgotten.
  void StopAudio();

  // --- Assets ---------------------------------------------------------------
  // Folder ends in "/" (or is empty: no asset folder).
  void SetAssetDir(const std::string& folder);
  const std::string& AssetDir() const { return FAssetDir; }
  void AddAssetFromFile(const std::string& path);
  void AddAssetFromZipEntry(const std::string& name, uint16_t dosDate, uint16_t dosTime, int64_t size);
  // The folder beside the program where named door fonts also live.
  std::string FontDir() const;

  // --- Input from the application -------------------------------------------
  // A door key: HKey the PC scan code, LKey the character (0 for none).
  // True when a hot key or key macro took it; Pass false: it goes no further.
  bool KeyPress(int hkey, int lkey, bool& pass);
  bool IsTextFieldActive() const;
  void TextFieldKey(uint8_t ch);
  void TextFieldBackspace();
  void TextFieldEnter();
  void TextFieldEscape();
  bool TextFieldHotKey(uint8_t ch, bool& pass);
  // The prompt shown in place of the status line while a field is edited.
  std::string DrawInputPrompt(int width) const;

  // --- Timed events ---------------------------------------------------------
  bool HasActiveEvents() const;
  void TickEvents(uint64_t nowMs);

  // --- State read by the application and by tests --------------------------
  TDDOFXEngine& Gfx() { return *FGfx; }
  const TDDOFXEngine& Gfx() const { return *FGfx; }
  bool CommandSeen() const { return FCommandSeen; }
  bool KeysLocked() const { return FKeysLocked; }
  const TDDOFXVariable& Variable(int n) const;
  const std::string& MacroLine(int n, int line) const;
  const std::string& ReturnRegister(int n) const;
  const TDDOFXTextField& Field(int n) const;
  int ActiveField() const { return FActiveField; }
  const std::string& EditText() const { return FEditText; }
  const std::string& MenuLine() const { return FMenuLine; }
  const std::string& PackBase() const { return FPackBase; }
  bool Knows(const std::string& assetName, TDDOFXAssetInfo* info = nullptr) const;
  const std::string& MusicName() const { return FMusicName; }
  const std::string& ThemeName() const { return FThemeName; }
  const std::vector<TSfxChunk>& ThemeSamples() const { return FThemeSamples; }
  const std::vector<TSfxChunk>& Bites() const { return FBites; }
  const TDDOFXBigSample& BigSample(int n) const;

  // --- Set by the application -----------------------------------------------
  // Texts for the door (replies already carry their 0xFF); empty with no
  // connection, which turns every reply and send into nothing.
  std::function<void(const std::string&)> Sender;
  std::function<void()> OnSoundWake;
  std::function<void()> OnToggleMute;
  // The millisecond clock that arms timed events; the local date and time
  // that calendar events compare with; the sleep of the wait command.
  std::function<uint64_t()> Clock;
  std::function<std::tm()> LocalTime;
  std::function<void(uint32_t)> Sleep;
  // The folder of ALWAYSDENY.TXT and of the door font folder.
  std::string ProgramFolder;
  TDDOFXAudio Audio;

  // Helpers of the command language, public for their tests.
  static std::string DecodeCarets(const std::string& text);
  // Cut at commas outside () and []; with Limit > 0 the last piece keeps
  // the commas once Limit - 1 pieces exist.
  static std::vector<std::string> SplitParams(const std::string& text, int limit = 0);
  // Signed 64-bit arithmetic that wraps; the quotient rounds to the nearest
  // integer, halves to the even one; the lowest value over -1 is itself.
  static int64_t WrapAdd(int64_t a, int64_t b);
  static int64_t WrapSub(int64_t a, int64_t b);
  static int64_t WrapMul(int64_t a, int64_t b);
  static int64_t RoundedQuotient(int64_t a, int64_t b);

 private:
  // Framing
  void LogUnimplemented(const std::string& tag, const std::string& command);
  bool HandleGraphicsWindow(const std::string& c);
  void ClearPendingWindow();
  void ToggleSoundMaster();
  void LeaveGraphicsMode();
  void Wait(const std::string& rest);
  void OnGfxLog(const std::string& text);
  void RunCommand(const std::string& command);

  // Replies and variables
  void SendReply(const std::string& text);
  void Send(const std::string& text);
  void SetVariable(int n, const std::string& text, bool isNumber);
  std::string SubstituteVariables(const std::string& c) const;
  bool ExecuteVarCommand(const std::string& c);
  void QueryValueForVariable(const std::string& x, bool queries, std::string& value, bool& isNumber);
  std::string CaptureAnswer(const std::string& command);
  bool Compare(const std::string& l, const std::string& o, const std::string& r);
  void OnResult(const std::string& send, const std::string& macro, int reg, int64_t value);
  void ClearVariables();
  int VarRef(const std::string& arg) const;
  std::string VarValue(int n) const;
  int64_t VarNumber(int n) const;

  // Queries and assets
  bool AnswerDetect(const std::string& c);
  bool AnswerResourceQuery(const std::string& c);
  bool AnswerQuery(const std::string& c);
  void StoreAsset(const std::string& name, const TDDOFXAssetInfo& info);
  // Adds Name found in Folder by the peer-name rules; false (with a log
  // line for a refused name) when there is none.
  bool AddAssetFromFolder(const std::string& folder, const std::string& name, const std::string& command);
  // The path of the door's pack of Kind ("M", "S"), empty when none.
  std::string PackPath(char kind) const;
  void StoreSpriteFiles(const std::string& name);
  void AssignPack(const std::string& name);

  // Macros and keys
  void DefineMacro(const std::string& text);
  void ClearMacro(const std::string& text);
  void RunMacro(const std::string& text);
  void RunMacroLine(const std::string& text);
  bool LoadMacroFromPack(int n);
  void ReplayMacro(const std::string& macro);
  void DefineReturn(const std::string& text);
  void SendReturnRegister(const std::string& text);
  void DefineKeyMacro(const std::string& text);
  void ClearKeyMacros();
  // Counts one replay (or script) against the budget of the command that
  // set it off; false, with one log line, once the budget is spent.
  bool SpendReplay(const std::string& what);

  // Gadgets and fields
  void OnGadget(const std::string& send, const std::string& macro);
  void OnFieldClick(int n);
  void DefineControl(const std::string& c);
  void UpdateMenuLine();
  void ClearMenuItems();
  void DefineTextField(const std::string& text);
  void HandFieldToEngine(int n);
  void ActivateTextField(int n);
  void ExitTextField(int n);
  void SendTextField(int i);
  void ClearTextFields();

  // Timed events
  void DefineEvent(const std::string& params);
  void ArmEvent(const std::string& rest, bool run);
  void ClearEvents();

  // Audio
  bool LoadAssetFile(const std::string& name, std::string& data);
  void LoadMusic(const std::string& name);
  void LoadTheme(const std::string& name);
  void SoundBites(const std::string& argument);
  void PlayBite(const TSfxChunk& bytes, int rate);
  void PlayTableEntry(const std::vector<TSfxChunk>& table, const std::string& rest, bool withRate);
  void SoundBiteCommand(const std::string& c);
  void PlayRealSound(const std::string& text);
  void Talk(const std::string& text);
  void OnPlayBite(int n, int rate);
  int OnMusicLevel(int channel);
  void ClearBigSample(int n);
  void SoundWake();
  // Appends pack entry Name of Pack to Table while the table stays within
  // kSoundTableBytes; false when the entry is missing or too much.
  bool AppendPackSound(const std::string& pack, const std::string& name, std::vector<TSfxChunk>& table,
                       size_t& tableBytes, const std::string& command);

  // Local scripts
  void RunLocalScript(const std::string& name);
  bool LoadLocalScript(char kind, const std::string& entry, std::string& bytes) const;
  void ShowScriptLine(const std::string& line, bool ended);
  void EchoText(const std::string& text);

  // One top-level entry (a command from the line, a key, a click, a timer
  // tick) opens a fresh budget for the loops it sets off.
  class TTopLevel {
   public:
    explicit TTopLevel(TDDOFXParser& p);
    ~TTopLevel() { --FParser.FTopLevel; }
    TTopLevel(const TTopLevel&) = delete;
    TTopLevel& operator=(const TTopLevel&) = delete;

   private:
    TDDOFXParser& FParser;
  };
  int FTopLevel = 0;
  int FReplaysLeft = kReplayBudget;
  uint64_t FScriptBytesLeft = kScriptByteBudget;
  uint32_t FWaitLeftMs = kWaitBudgetMs;
  bool FBudgetLogged = false;

  TAnsiParser* FAnsiParser;
  std::unique_ptr<TDDOFXEngine> FGfx;
  uint64_t FCallCount = 0;
  bool FInCommand = false;
  std::string FCommandBuffer;
  bool FCommandSeen = false;
  std::array<std::array<std::string, kMacroLines>, kMacros> FMacros;
  std::array<bool, kMacros> FMacroTried{};
  std::array<std::string, kReturnRegs> FReturnRegs;
  int FDepth = 0;
  std::set<std::string> FLoggedTags;  // upper-cased
  std::map<std::string, TDDOFXAssetInfo> FAssets;  // keyed upper-cased
  bool FDenyChecked = false, FDenyAll = false;
  std::string FAssetDir, FPackBase;
  std::vector<std::string> FMenuItems, FMenuSends;
  std::string FMenuLine, FMenuLogged;
  std::array<TDDOFXTextField, kFields> FFields;
  int FActiveField = 0;
  std::string FEditText;
  bool FEditFresh = false;
  std::array<TDDOFXKeyMacro, kKeyMacros> FKeyMacros;
  int FKeyMacroCount = 0;
  std::array<TDDOFXVariable, kVars> FVars;
  int FPendingVar = 0;
  bool FCapturing = false;
  std::string FCaptured;
  bool FIgnoreCommands = false, FKeysLocked = false;
  std::array<TDDOFXEvent, kEvents> FEvents;
  bool FPendingWindow = false, FAlertWindow = false;
  std::string FPendingWindowName, FPendingWindowMacro;
  std::string FMusicName, FThemeName;
  std::string FThemeData, FBiteLibrary;
  std::vector<TSfxChunk> FThemeSamples, FBites;
  size_t FBiteBytes = 0;
  std::array<TDDOFXBigSample, kBigSamples> FBigSamples;
  bool FMusicInGfx = false;
  uint64_t FGfxExitTick = 0;
  uint32_t FRandom = 0x2545F491u;
};
