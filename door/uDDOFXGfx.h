// The door graphics engine: four 640 x 480 pages of palette indices, a
// 256-colour palette of 6-bit components, and every table of things a door
// draws or clicks (sprites, animations, flics, text windows, gadgets, list
// boxes, graphics windows, regions, pointers, music bars) with the raycaster
// that draws into its pages. The door command interpreter owns it and is the
// only caller of ExecCommand; the door mode ticks it, paints RenderFrame and
// passes it the mouse. It reads files only through the door file helper.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "door/uDDOFXEngine.h"
#include "door/uDDOFXRay.h"

namespace ddofxgfx {
constexpr int kWidth = 640, kHeight = 480;
constexpr int kPageSize = kWidth * kHeight;
constexpr int kPages = 4;
constexpr int kAnims = 400, kMotions = 256, kSequences = 3000, kFlics = 300;
constexpr int kTextWindows = 10, kFields = 250, kGadgets = 300, kListBoxes = 300;
constexpr int kRegions = 300, kMouseFields = 300, kCollisions = 300, kPointers = 100;
constexpr int kGraphicsWindows = 10, kMusicBars = 16, kAnimSounds = 19;
constexpr int kTextWindowCols = 80, kTextWindowRows = 100;
// A sprite cut from a page holds at most this many pixels.
constexpr int kMaxSpritePixels = 64000;
// All sprites together: a door defining name after name is refused here
// rather than taking the machine's memory.
constexpr size_t kMaxSprites = 65536;
constexpr size_t kMaxSpriteBytes = size_t(128) << 20;
// A flic file is read whole; a longer one is cut here.
constexpr int64_t kMaxLooseFileBytes = 64 << 20;
}  // namespace ddofxgfx

// A named rectangle of palette indices, drawn by its bottom-left pixel.
struct TGfxSprite {
  std::string Name;  // upper case, trimmed
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // Width x Height, top row first
};

// A named 8 x 16 door font: 256 glyphs of 16 rows, bit 7 the leftmost pixel.
struct TGfxFontObj {
  std::array<uint8_t, 4096> Glyphs{};
  int32_t Top = 0, Bottom = 15;  // first and last row with ink
};

struct TGfxAnimSound {
  int32_t Bite = 0, Rate = 0, OnFrame = 0;
};

// A range of sprites shown in turn, optionally along motion paths.
struct TGfxAnim {
  bool Defined = false, Playing = false;
  int32_t X = 0, Y = 0;
  int32_t FrameMode = 0;  // 0 still, 1 and 4 loop, 2 once, 3 back and forth
  int32_t FirstSprite = -1, LastSprite = -1;
  int32_t FirstPath = 0, LastPath = 0;
  int32_t PathMode = 0;  // 0 none, 1 loop, 3 back and forth, else stop at the end
  int32_t DrawMode = 0;  // 0 opaque and whole, 1 transparent and clipped, 2 also mirrored
  int32_t Speed = 0;
  int32_t FrameOffset = 0, FrameDir = 0;
  int32_t PathIndex = 0, PathStep = 0, PathDir = 0;
  bool PathDone = false;
  uint64_t NextDue = 0;
  bool SoundsOn = false;
  std::array<TGfxAnimSound, ddofxgfx::kAnimSounds + 1> Sounds{};  // 1..19
  int32_t Owner = 0;  // graphics window, 0 = the screen
};

// A cubic Bezier curve from (X0, Y0) to (X3, Y3).
struct TGfxMotion {
  bool Defined = false;
  int32_t X0 = 0, Y0 = 0, X3 = 0, Y3 = 0, X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  int32_t Steps = 1;
};

struct TGfxSequence {
  uint8_t Kind = 0;  // 0 free, 1 single sprite, 2 sprite range
  int32_t X = 0, Y = 0, Margin = 0;
  int32_t FirstSprite = -1, LastSprite = -1;
  int32_t Mode = 0, Flip = 0, Step = 0, Dir = 0;
};

// One FLI/FLC player: the whole file, decoded frame by frame.
struct TGfxFlic {
  bool Open = false, Playing = false;
  std::string Data;
  int32_t X = 0, Y = 0;
  int32_t FrameWidth = 1, FrameHeight = 1;
  int32_t LastFrame = 0, FrameCount = 0;
  int32_t Mode = 0;  // 1 play once, else loop
  int32_t Speed = 10;
  bool UsePalette = false;
  int64_t FirstFrameAt = 0, FramePos = 0;
  int32_t FrameIndex = 0;
  std::vector<uint8_t> Frame;
  uint64_t NextDue = 0;
};

struct TGfxCell {
  uint8_t Ch = ' ', Fg = 7, Bg = 0;
};

// A text window: an 80 x 100 character grid seen through a rectangle of
// text cells on the screen.
struct TGfxWindow {
  bool Defined = false;
  int32_t Left = 1, Right = 80, Top = 1, Bottom = 30;  // in cells, 1-based
  int32_t BorderColour = 15, TitleColour = 15;
  bool Border = false, Hidden = false, FollowCol = false, FollowRow = false;
  std::string TopTitle, BottomTitle, FontName;
  std::vector<TGfxCell> Cells;  // kTextWindowRows x kTextWindowCols, taken when opened
  int32_t CursorCol = 0, CursorRow = 0, SavedCol = 0, SavedRow = 0;
  int32_t ViewCol = 1, ViewRow = 1;
  uint8_t Fg = 7, Bg = 0;
  bool Bold = false, Blink = false, Reverse = false;
  int32_t EscState = 0;
  std::string EscParams;
};

// The engine's drawing copy of one of the interpreter's text fields.
struct TGfxField {
  bool Defined = false, Focused = false, Stamped = false;
  int32_t X = 0, Y = 0, Width = 0;
  uint8_t Bg = 0, FocusBg = 0, Fg = 0;
  std::string FontName, Text;
};

struct TGfxButton {
  bool Active = false;
  int32_t UpSprite = -1, DownSprite = -1;
  int32_t X = 0, Y = 0;
  int32_t HotKeyHigh = 0, HotKeyLow = 0, MouseButton = 1;
  bool PassKey = false;
  std::string SendText, Macro;
  int32_t Owner = 0;
};

// A radio button or a check box.
struct TGfxToggle {
  bool Active = false, Checked = false, Enabled = false;
  int32_t SpriteA = -1, SpriteB = -1, DisabledSprite = -1;
  int32_t FillDX = 0, FillDY = 0;
  uint8_t OnColour = 0, OffColour = 0;
  int32_t X = 0, Y = 0, Group = 0, FireGroup = 0;
  int32_t HotKeyHigh = 0, HotKeyLow = 0;
  bool PassKey = false;
  std::string SendText, Macro;
  int32_t Owner = 0;
};

struct TGfxIcon {
  bool Active = false, Open = false;
  int32_t Animation = 0;
  std::string OpenSend, OpenMacro, CloseSend, CloseMacro, ActionSend, ActionMacro;
  int32_t Owner = 0;
};

struct TGfxListItem {
  bool Enabled = false, Selected = false;
  std::string Text, SendText, Macro;
};

struct TGfxListBox {
  bool Active = false, Enabled = false;
  int32_t X = 0, Bottom = 0, Columns = 1, Rows = 1;
  uint8_t Fg = 0, Bg = 0, CursorFg = 0, CursorBg = 0, SelectedFg = 0, SelectedBg = 0;
  int32_t MultiSelect = 0, TopItem = 1, CursorRow = 1;
  std::vector<TGfxListItem> Items;  // entry 0 is never shown
  int32_t Owner = 0;
};

struct TGfxRegion {
  bool Active = false, Repeat = false;
  int32_t X1 = 0, X2 = 0, Y1 = 0, Y2 = 0, MouseButton = 1;
  std::string SendText, Macro;
  int32_t Owner = 0;
};

struct TGfxMFld {
  bool Active = false;
  int32_t X1 = 0, X2 = 0, Y1 = 0, Y2 = 0, Pointer = 0, KeepPointer = 0;
  std::string SendText, Macro;
  int32_t Owner = 0;
};

struct TGfxColl {
  bool Active = false, OneShot = false;
  int32_t X1 = 0, X2 = 0, Y1 = 0, Y2 = 0, Register = 0, AnimFilter = 0;
  std::string SendText, Macro;
  uint64_t LastFire = 0;
};

struct TGfxPointer {
  bool Loaded = false;
  int32_t HotX = 0, HotY = 0;
  std::array<uint8_t, 256> Mask{}, Colours{};
};

struct TGfxGWin {
  bool Defined = false, Hidden = false, Frameless = false, Maximised = false;
  int32_t X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
  int32_t HomeX1 = 0, HomeX2 = 0, HomeY1 = 0, HomeY2 = 0;
  int32_t SavedX1 = 0, SavedX2 = 0, SavedY1 = 0, SavedY2 = 0;
  int32_t ContentWidth = ddofxgfx::kWidth, ContentHeight = ddofxgfx::kHeight;
  int32_t ScrollX = 0, ScrollY = 0;
  int32_t Icon = 0, Fixed = 0, NoResize = 0, NoMaximise = 0, NoHome = 0, NoMinimise = 0;
  int32_t NoHScroll = 0, NoVScroll = 0;
  std::string Title;
  int32_t HotKeyHigh = 0, HotKeyLow = 0;
  bool PassKey = false;
  std::string CloseSend, CloseMacro;
  std::vector<uint8_t> Canvas;  // the window's pages 0 and 1, taken when defined
  std::vector<uint8_t> Mirror;  // its page 3
};

struct TGfxMusicBar {
  bool Defined = false;
  int32_t X = 0, Y = 0, Length = 0, Thickness = 1, Colour = 0;
  int32_t CycleFrom = 0, CycleTo = 0, Direction = 1, Owner = 0;
  bool Cycle = false, Wrap = false;
  int32_t CurrentColour = 0, Step = 1, Level = -1;
};

struct TGfxRect {
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

// A command as the interpreter splits it: Name before the first comma,
// ParamText after it.
struct TGfxCommand {
  std::string Text, Name, ParamText;
};

class TDDOFXGfx : public TDDOFXEngine {
 public:
  using TParams = std::vector<std::string>;

  TDDOFXGfx();
  ~TDDOFXGfx() override;
  TDDOFXGfx(const TDDOFXGfx&) = delete;
  TDDOFXGfx& operator=(const TDDOFXGfx&) = delete;

  // --- What the interpreter and the door mode call -------------------------
  bool GraphicsMode() const override { return FGraphicsMode; }
  bool ExecCommand(const std::string& command) override;
  void Reset() override;
  void SetAssetDir(const std::string& folder) override { AssetDir = folder; }
  bool BackgroundPaused() const override { return FBackgroundPaused; }
  bool TextWindowActive() const override;
  void FeedTextWindow(uint8_t b) override;
  bool HotKey(int hkey, int lkey, bool& pass) override;
  void RayKeyPress(int hkey, int lkey) override;
  void SetField(int n, const TDDOFXFieldView& field) override;
  void DrawField(int n) override;
  void ClearFields() override;
  bool Tick(uint64_t nowMs) override;
  bool MouseDown(int x, int y, int button) override;
  void MouseUp() override;
  bool MouseMove(int x, int y, bool inside) override;
  bool IsDraggingWindow() const override;
  bool HasCustomPointer() const override;
  bool IsOverHotspot(int x, int y) const override;
  void SetTextFont(const uint8_t* glyphs4096) override;

  // The composed 640 x 480 picture, 0x00RRGGBB per pixel, with Status (when
  // not empty) on its bottom 16 rows; clears Dirty.
  void RenderFrame(uint32_t* output, const std::string& status);

  // --- Engine object, pages and palette ------------------------------------
  void ClearAll();
  // The buffer that drawing to page N (0..3) uses: a targeted graphics
  // window's canvas for pages 0 and 1, its mirror for page 3.
  uint8_t* Page(int n);
  // A graphics window is the drawing target.
  bool WindowTargeted() const;
  void ResetPalette();
  void Log(const std::string& text);

  // --- Resource packs and assets --------------------------------------------
  bool FindAsset(char kind, const std::string& name, std::string& data);
  bool ReadAsset(const std::string& name, bool fromPack, std::string& data);

  // --- Pictures, fonts, bitmap text, sprites --------------------------------
  bool LoadPcx(const std::string& name, int page, int x, int y);
  const uint8_t* LoadFont(const std::string& name);
  static void FontMetrics(const uint8_t* glyphs, int32_t& top, int32_t& bottom);
  void GlyphMetrics(const uint8_t* glyphs, int32_t& top, int32_t& bottom) const;
  void DrawGlyph(uint8_t* buffer, const uint8_t* glyphs, int cellWidth, int cellHeight, int x, int topY,
                 uint8_t ch, int fg, int bg) const;
  void DrawGlyph(uint8_t* buffer, const uint8_t* glyphs, int x, int topY, uint8_t ch, int fg, int bg) const;
  void TextCommand(int page, int x, int bottomY, int fg, int bg, const std::string& text);
  int FindSprite(const std::string& name) const;
  void DefineSprite(int page, const TParams& params);
  void BlitSprite(uint8_t* buffer, int index, int x, int bottomY, bool transparent, bool clip, bool mirror) const;
  void DrawSprite(int index, int page, int x, int bottomY, bool transparent, bool clip, bool mirror);
  void FlipSprite(const std::string& name);
  void FreeSprites();
  // Raycaster services
  int SpriteIndexByName(const std::string& name) const { return FindSprite(name); }
  bool SpritePixels(int index, int& width, int& height, const uint8_t*& pixels) const;
  void ForwardReply(const std::string& text);
  void FireGadget(const std::string& send, const std::string& macro);

  // --- Flics ----------------------------------------------------------------
  void OpenFlic(const std::string& name, const TParams& params);
  void CloseFlic(int n);
  bool DecodeFlicFrame(int n);
  bool AdvanceFlics();

  // --- Animations, motion paths, sprite sequences ---------------------------
  bool PlayAnimation(int n);
  bool StopAnimation(int n);
  bool StepAnimation(int n);
  void AnimPosition(int n, int& x, int& y) const;
  void MotionPoint(int path, int step, int& x, int& y) const;
  void PlayFrameSounds(int n);
  void SpriteSequence();

  // --- Drawing primitives ---------------------------------------------------
  void PutPixel(int page, int64_t x, int64_t y, uint8_t colour);
  void DrawLine(int page, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t colour);
  void FillRect(int page, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint8_t colour);
  void ScrollRect(int page, int64_t x1, int64_t x2, int64_t y1, int64_t y2, int64_t amount, bool wrap);
  void CopyPage(int source, int target);
  void CopyRect(int source, int target, bool transparent, const TParams& params);

  // --- Command parameters ---------------------------------------------------
  static void SplitParams(const std::string& text, int maxFields, TParams& list);
  static int64_t IntParam(const TParams& list, size_t index, int64_t def);
  static std::string StrParam(const TParams& list, size_t index);
  static int PageIndex(char letter);

  // --- Entry points of the gadgets, windows and mouse -----------------------
  // Each returns true when it took the command, with Result the answer to
  // the interpreter.
  bool TextWindowCommand(const TGfxCommand& c, bool& result);
  bool GadgetCommand(const TGfxCommand& c, bool& result);
  bool ListBoxCommand(const TGfxCommand& c, bool& result);
  bool MouseCommand(const TGfxCommand& c, bool& result);
  bool PauseCommand(const TGfxCommand& c, bool& result);
  bool SpriteStoreCommand(const TGfxCommand& c, bool& result);
  bool GraphicsWindowCommand(const TGfxCommand& c, bool& result);
  void StampOwner(const TGfxCommand& c);
  void RefreshWindows();
  void PaintLiveFields(uint8_t* work);
  bool WindowVisible(int n) const;
  void PaintGraphicsWindow(int n, uint8_t* work);
  void DrawMusicBars(int owner, uint8_t* work);
  bool UpdateMusicBars();
  bool ReleasePushButton();
  void CheckCollisions();
  void ClearGadgets();

  // --- Text windows ---------------------------------------------------------
  static int64_t TextWindowWidth(const TGfxWindow& w);
  static int64_t TextWindowHeight(const TGfxWindow& w);
  void OpenTextWindow(int n, const TParams& list, bool create);
  void CloseTextWindow();
  void ClearTextWindow(int n);
  void TextWindowLineFeed(int n);
  void TextWindowPutChar(int n, uint8_t ch);
  void ExecuteWindowCsi(int n, const std::string& params, uint8_t final);
  void FollowCursor(int n);
  void PaintTextWindow(uint8_t* buffer, int n);
  void EraseTextWindow(int n);

  // --- Text fields and the paused background --------------------------------
  void PaintField(uint8_t* buffer, int n);
  void PauseBackground();
  void ResumeBackground();

  // --- Push buttons, radio buttons, check boxes, icons ----------------------
  static std::string UnescapeSendText(const std::string& text);
  bool SpriteRect(int sprite, int64_t x, int64_t y, TGfxRect& r) const;
  static bool PointInRect(const TGfxRect& r, int64_t x, int64_t y);
  void DefinePushButton(const TParams& p);
  void PressButton(int n);
  void DefineToggle(bool checkBox, const TParams& p);
  void DrawToggle(bool checkBox, int n, int page);
  void ClickToggle(bool checkBox, int n);
  void FireToggles(bool checkBox, int n);
  void FloodFill(int page, int x, int y, uint8_t colour, const TGfxRect& bounds);
  void OpenIcon(int n);
  void CloseIcon(int n);
  bool IconRect(int n, TGfxRect& r) const;

  // --- List boxes -----------------------------------------------------------
  void DrawListBox(int n, int page);
  void ScrollListBox(int n, int64_t mode, int64_t amount);
  void MoveListCursor(int n, int64_t mode, int64_t amount);
  void ToggleListSelection(int n);
  void ModifyListItem(int n, int64_t item, const TParams& p);
  bool ListBoxAt(int level, int x, int y, int& box, int& row) const;
  void ListBoxClick(int box, int row);

  // --- Graphics windows -----------------------------------------------------
  bool WindowExists(int n) const;
  TGfxRect ClientRect(int n) const;
  void ClampScroll(int n);
  int TitleButtonX(int n, int kind) const;
  bool NeedsScrollBar(int n, bool vertical) const;
  int WindowAt(int x, int y, int& part, int& localX, int& localY) const;
  void ToggleMaximise(int n);
  void RestoreWindowRect(int n);
  void CloseGraphicsWindow(int n);
  uint8_t NearestColour(int r, int g, int b) const;

  // --- Music level bars -----------------------------------------------------
  void MusicBarCommand(const TGfxCommand& c);

  // --- The door's mouse, hot keys and pointers ------------------------------
  bool DispatchClick(int x, int y, int level, int button);
  bool HoverTest(int x, int y, int level) const;
  static bool KeyMatches(int hkey, int lkey, int high, int low);
  void LoadPointer(int n, const std::string& name);

  // --- State ----------------------------------------------------------------
  std::array<std::vector<uint8_t>, ddofxgfx::kPages> Pages;
  std::array<uint8_t, 768> Palette{}, SavedPalette{};
  bool FadeOut = false;
  uint64_t FadeStart = 0;
  int32_t FadeMs = 350;
  uint64_t ShakeUntil = 0;
  bool Dirty = false;
  uint64_t Now = 0;
  uint32_t PageVersion = 0;

  uint8_t Colour = 0;
  int32_t PenX = 0, PenY = 0;
  std::array<uint8_t, 256> TransparentColours{};
  int32_t CellWidth = 0, CellHeight = 0;
  int32_t WrapColumns = 80;
  std::array<uint8_t, 4096> TextFont{};
  int32_t TextFontTop = 0, TextFontBottom = 15;
  std::string FontName;
  // Upper-cased font name to its font; null for a name looked for and missed.
  std::map<std::string, std::unique_ptr<TGfxFontObj>> Fonts;

  std::string AssetDir;  // ends in "/" (or is empty)
  std::string PackBase;
  std::string FontDir;  // the named-font folder beside the program, ends in "/"

  std::vector<std::unique_ptr<TGfxSprite>> Sprites;
  // Upper-cased name to sprite index; the first sprite of a name keeps it.
  std::map<std::string, int> SpriteNames;
  // Pixel bytes held by all sprites (checked against kMaxSpriteBytes).
  size_t SpriteBytes = 0;

  std::vector<TGfxAnim> Anims;  // 1..kAnims
  std::vector<int32_t> PlayList;
  std::vector<TGfxMotion> Motions;      // 1..kMotions
  std::vector<TGfxSequence> Sequences;  // 1..kSequences
  int32_t SequenceCount = 0;
  std::vector<TGfxFlic> Flics;  // 1..kFlics

  std::vector<TGfxWindow> TextWindows;  // 1..kTextWindows
  int32_t CurrentTextWindow = 0, ChangedTextWindow = 0;
  std::vector<TGfxField> Fields;  // 1..kFields
  bool FBackgroundPaused = false;
  std::vector<TGfxRect> PausedRects;

  std::vector<TGfxButton> Buttons;  // 1..kGadgets
  std::vector<TGfxToggle> RadioButtons, CheckBoxes;
  std::vector<TGfxIcon> Icons;
  int32_t PressedButton = 0;
  uint32_t PressGeneration = 0;
  uint64_t ButtonReleaseAt = 0;
  std::vector<TGfxListBox> ListBoxes;  // 1..kListBoxes
  int32_t LastListBox = 0, LastListItem = 0;
  uint64_t LastListClickAt = 0;

  std::vector<TGfxRegion> Regions;     // 1..kRegions
  std::vector<TGfxMFld> MouseFields;   // 1..kMouseFields
  std::vector<int32_t> MouseFieldOrder;
  int32_t HoveredMouseField = 0;
  std::vector<TGfxColl> Collisions;    // 1..kCollisions
  std::vector<TGfxPointer> Pointers;   // 1..kPointers
  int32_t CurrentPointer = 0;
  int32_t LastMouseX = 0, LastMouseY = 0;
  bool MouseInside = false;
  std::vector<int32_t> HeldRegions;
  uint64_t NextRegionRepeat = 0;

  std::vector<TGfxGWin> GraphicsWindows;  // 1..kGraphicsWindows
  int32_t ActiveWindow = 0, OwnerWindow = 0, DrawWindow = 0;
  int32_t HitWindow = 0, DragWindow = 0, DragDX = 0, DragDY = 0;
  bool DragResize = false;

  std::vector<TGfxMusicBar> MusicBars;  // 1..kMusicBars
  bool MusicBarsOn = false;
  uint64_t NextBarPoll = 0;

  std::unique_ptr<TDDOFXRay> Ray;

 private:
  bool FGraphicsMode = false;
  std::vector<uint8_t> FWork;  // the composer's palette-index picture

  void GraphicsModeOn();
  void GraphicsModeOff();
  bool RunWord(const TGfxCommand& c, bool& result);
  bool RunDrawingWord(const TGfxCommand& c);
  bool RunSpriteWord(const TGfxCommand& c);
  bool RunAnimationWord(const TGfxCommand& c);
  bool RunPaletteWord(const TGfxCommand& c);
  void DefineAnimation(const TParams& p);
  void FlyAnimation(const TParams& p);
  void AnimationSound(const TParams& p);
  void DefineMotion(const TParams& p);
  void AddSingleSequence(const TParams& p);
  void DefineSequence(const TParams& p);
  void ClearSingleSequences();
  void ClearAllSequences();
  void FlicCommand(const std::string& name, const std::string& paramText);
  void StartFadeIn();
};
