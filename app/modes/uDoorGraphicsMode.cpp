#include "app/modes/uDoorGraphicsMode.h"

#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <vector>

#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "data/uConfig.h"
#include "door/uDDOFXGfx.h"
#include "door/uDDOFXParser.h"
#include "net/uWireTransport.h"
#include "core/uFontRenderer.h"
#include "platform/AppFolder.h"
#include "platform/Keys.h"
#include "platform/Tick.h"
#include "sound/uDDOFXSound.h"

namespace {

constexpr uint32_t kDoorTimerMs = 30;

std::string Hex(const void* p) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", p);
  return text;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool HasZipExtension(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".zip";
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

TDoorGraphicsMode::TDoorGraphicsMode(TCallModeServices& services)
    : TCallMode(services) {
  auto gfx = std::make_unique<TDDOFXGfx>();
  FGfx = gfx.get();
  FGfx->FontDir = platform::AppFolder() + "fonts/ddofx/";
  FParser = std::make_unique<TDDOFXParser>(&services.AnsiParser(), std::move(gfx));
  const bool soundOn = services.Settings().AnsiMusicEnabled;
  FParser->Audio.FEnabled = soundOn;
  FSound = std::make_unique<TDDOFXSoundOut>(&FParser->Audio);
  FParser->OnSoundWake = [this] { FSound->Wake(); };
  FParser->OnToggleMute = [this] { Services().ToggleSoundMute(); };
  FParser->ProgramFolder = platform::AppFolder();
  LoadDoorFont();
}

TDoorGraphicsMode::~TDoorGraphicsMode() {
  // The sound output pulls from the parser's audio engine: it ends first.
  FSound.reset();
  FParser.reset();
}

void TDoorGraphicsMode::Open(const TPhonebookEntry&) {
  const std::shared_ptr<TWireTransport> transport = Services().Transport();
  FParser->Sender = [this](const std::string& text) { Services().SendToHost(text); };
  FParser->Reset();
  LogLine("DDOFX: (re)connected - FDDOFXParser instance $" + Hex(FParser.get()) + " reset, FTelnet=$" +
          Hex(transport.get()));
}

void TDoorGraphicsMode::Reset() {
  FParser->Sender = nullptr;
  FParser->Gfx().Reset();
  FParser->StopAudio();
  FDoorTextView = false;
  FPictureShown = false;
}

void TDoorGraphicsMode::FoldersChanged(const std::string& downloadFolder, const std::string& doorFolder) {
  FParser->SetAssetDir(doorFolder.empty() ? downloadFolder : doorFolder);
  FSound->SetCaptureFile((doorFolder.empty() ? platform::AppFolder() : doorFolder) + "DDOFXSND.WAV");
}

void TDoorGraphicsMode::SoundSwitched(bool on) {
  FParser->Audio.FEnabled = on;
  if (!on) FParser->Audio.StopSamples();
  FSound->Wake();
}

bool TDoorGraphicsMode::Engaged() const { return !Services().MinorEmulationActive(); }

size_t TDoorGraphicsMode::PlainRun(const uint8_t* data, size_t count) const {
  return FParser->PlainRun(data, count);
}

bool TDoorGraphicsMode::TakeByte(uint8_t b, std::vector<uint8_t>&) { return FParser->FilterByte(b); }

unsigned TDoorGraphicsMode::EndChunk() {
  // A changed door picture is painted again; when the door leaves graphics
  // the text grid comes back whole, not only the cells that changed.
  const bool shown = IsDoorGraphicsMode();
  unsigned change = shown && FGfx->Dirty ? ccCanvasChanged : ccNone;
  if (FPictureShown && !shown) change |= ccPicturePlaced;
  FPictureShown = shown;
  return change;
}

bool TDoorGraphicsMode::DoorSession() const { return FParser->CommandSeen(); }

void TDoorGraphicsMode::FileReceived(const std::string& path, const std::string& folder) {
  FParser->AddAssetFromFile(path);
  if (!HasZipExtension(path)) return;
  RegisterZipAssets(path);
  if (FParser->CommandSeen() && UnzipDoorAssets(path, folder) && Services().Settings().DDOFXDeleteZips) {
    if (std::remove(path.c_str()) == 0)
      LogLine("DDOFX: extracted and removed " + path);
    else
      LogLine("DDOFX: extracted " + path + " but could not delete it");
  }
}

bool TDoorGraphicsMode::IsDoorGraphicsMode() const {
  return Services().OnlineShown() && FParser->Gfx().GraphicsMode() && !FDoorTextView;
}

void TDoorGraphicsMode::PaintFrame(TModeFrame& frame) {
  // The bottom line rides in the door's picture as its status line.
  std::string status = frame.BottomLine;
  while (!status.empty() && static_cast<unsigned char>(status.back()) <= ' ') status.pop_back();
  FFrame.resize(size_t(ddofxgfx::kPageSize));
  FGfx->RenderFrame(FFrame.data(), status);
  // The picture keeps its 4:3 shape, centred between black bars.
  const int w = frame.Target.Width(), h = frame.Target.Height();
  int rw = w, rh = h;
  if (w > 0 && h > 0) {
    if (w * 3 > h * 4)
      rw = h * 4 / 3;
    else
      rh = w * 3 / 4;
  }
  const int left = (w - rw) / 2, top = (h - rh) / 2;
  frame.Target.Fill(0);
  const platform::Surface picture =
      platform::Surface::Over(FFrame.data(), ddofxgfx::kWidth, ddofxgfx::kHeight);
  frame.Target.StretchSmooth(picture, platform::Rect{0, 0, ddofxgfx::kWidth, ddofxgfx::kHeight},
                             platform::Rect{left, top, left + rw, top + rh});
  frame.OverlaysDrawn = true;
}

bool TDoorGraphicsMode::HoldsPromptLine(int cols, std::string& text) const {
  if (!Services().OnlineShown() || !FParser->IsTextFieldActive() || IsDoorGraphicsMode()) return false;
  text = FParser->DrawInputPrompt(cols);
  return true;
}

bool TDoorGraphicsMode::DoorKey(int hkey, int lkey) {
  bool pass = true;
  const bool taken = FParser->KeyPress(hkey, lkey, pass);
  if (taken) Services().Invalidate();
  if (taken && !pass) return true;
  return !taken && FParser->KeysLocked();
}

bool TDoorGraphicsMode::Key(const TKeyEvent& key) {
  namespace vk = platform::vk;
  if (FParser->IsTextFieldActive()) {
    // The field being edited takes its editing keys; nothing of them
    // reaches the board.
    if (key.Key == vk::Back) FParser->TextFieldBackspace();
    else if (key.Key == vk::Return) FParser->TextFieldEnter();
    else if (key.Key == vk::Escape) FParser->TextFieldEscape();
    else return false;
    Services().Invalidate();
    return true;
  }
  // The keys a door hears at key-down: four with their character code, the
  // moving and function keys without one. The rest arrive as characters.
  int lkey = 0;
  switch (key.Key) {
    case vk::Back: lkey = 8; break;
    case vk::Tab: lkey = 9; break;
    case vk::Return: lkey = 13; break;
    case vk::Escape: lkey = 27; break;
    case vk::Prior: case vk::Next: case vk::End: case vk::Home: case vk::Left: case vk::Up:
    case vk::Right: case vk::Down: case vk::Insert: case vk::Delete: break;
    default:
      if (key.Key < vk::F1 || key.Key > vk::F24) return false;
  }
  return DoorKey(key.ScanCode, lkey);
}

bool TDoorGraphicsMode::Char(uint8_t ch, uint16_t scanCode) {
  if (FParser->IsTextFieldActive()) {
    FParser->TextFieldKey(ch);
    Services().Invalidate();
    return true;
  }
  bool pass = true;
  if (FParser->TextFieldHotKey(ch, pass) && !pass) return true;
  return DoorKey(scanCode, ch);
}

void TDoorGraphicsMode::LoadDoorFont() {
  std::vector<uint8_t> glyphs;
  const std::string path = FindPlainFile(platform::AppFolder() + "fonts/", "IBM_VGA_8x16.F16");
  if (!path.empty()) {
    std::ifstream in(path, std::ios::binary);
    glyphs.resize(4096);
    if (!in.read(reinterpret_cast<char*>(glyphs.data()), 4096)) glyphs.clear();
  }
  if (glyphs.empty()) {
    // Row r of a 16-row glyph is the main font's row H * r / 16.
    const TBitmapFont& font = Services().MainFont();
    const int h = font.Height();
    glyphs.assign(4096, 0);
    for (int c = 0; c < 256; ++c)
      for (int r = 0; r < 16; ++r)
        for (int x = 0; x < 8; ++x)
          if (font.GetPixel(uint8_t(c), x, h * r / 16)) glyphs[size_t(c * 16 + r)] |= uint8_t(0x80 >> x);
  }
  FParser->Gfx().SetTextFont(glyphs.data());
}

bool TDoorGraphicsMode::Mouse(const TModeMouse& m) {
  if (m.Kind == TMouseKind::Move) {
    if (IsDoorGraphicsMode()) {
      int px = 0, py = 0;
      const bool inside = ClientToDoorPixel(m, px, py);
      if (FParser->Gfx().MouseMove(inside ? px : 0, inside ? py : 0, inside)) Services().Invalidate();
    }
    return false;
  }
  if (m.Kind == TMouseKind::Up) return ForwardDoorMouse(m, false);
  if (m.Kind == TMouseKind::Down || m.Kind == TMouseKind::DoubleClick) return ForwardDoorMouse(m, true);
  return false;
}

bool TDoorGraphicsMode::Pointer(const TModeMouse& at, platform::CursorKind& kind) const {
  int px = 0, py = 0;
  if (!IsDoorGraphicsMode() || !ClientToDoorPixel(at, px, py)) return false;
  const TDDOFXEngine& gfx = FParser->Gfx();
  kind = gfx.HasCustomPointer()       ? platform::CursorKind::None
         : gfx.IsOverHotspot(px, py) ? platform::CursorKind::Hand
                                     : platform::CursorKind::Arrow;
  return true;
}

void TDoorGraphicsMode::UpdateDoorTimer() {
  // The door audio engine follows the sound setting; the 30 ms door timer
  // runs while door graphics or timed door events are active.
  const bool soundOn = Services().Settings().AnsiMusicEnabled;
  if (FParser->Audio.FEnabled != soundOn) {
    FParser->Audio.FEnabled = soundOn;
    if (!soundOn) FParser->Audio.StopSamples();
    FSound->Wake();
  }
  const bool wanted = FParser->Gfx().GraphicsMode() || FParser->HasActiveEvents();
  const bool running = Services().TimerRunning(*this);
  if (wanted && !running) Services().StartTimer(*this, kDoorTimerMs);
  if (!wanted && running) Services().StopTimer(*this);
}

void TDoorGraphicsMode::DoorAnimationTick() {
  const uint64_t now = platform::TickMs();
  FParser->TickEvents(now);
  if (FParser->Gfx().GraphicsMode()) {
    if (FParser->Gfx().Tick(now) && IsDoorGraphicsMode()) Services().Invalidate();
  } else {
    UpdateDoorTimer();
  }
}

bool TDoorGraphicsMode::ClientToDoorPixel(const TModeMouse& at, int& px, int& py) const {
  // The door's picture keeps its 4:3 shape, centred with black bars.
  const int w = at.ClientWidth, h = at.ClientHeight;
  if (w <= 0 || h <= 0) return false;
  int rw = w, rh = h;
  if (w * 3 > h * 4)
    rw = h * 4 / 3;
  else
    rh = w * 3 / 4;
  const int left = (w - rw) / 2, top = (h - rh) / 2;
  if (rw <= 0 || rh <= 0 || at.X < left || at.Y < top || at.X >= left + rw || at.Y >= top + rh) return false;
  px = (at.X - left) * 640 / rw;
  py = (at.Y - top) * 480 / rh;
  return true;
}

bool TDoorGraphicsMode::ForwardDoorMouse(const TModeMouse& m, bool down) {
  if (!IsDoorGraphicsMode()) return false;
  TDDOFXEngine& gfx = FParser->Gfx();
  int px = 0, py = 0;
  if (!down)
    gfx.MouseUp();
  else if (ClientToDoorPixel(m, px, py))
    gfx.MouseDown(px, py, m.Button);
  Services().Invalidate();
  return true;
}

void TDoorGraphicsMode::RegisterZipAssets(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  in.seekg(0, std::ios::end);
  const int64_t size = int64_t(in.tellg());
  if (size <= 21) return;
  const int64_t tailSize = std::min<int64_t>(size, 65557);
  std::vector<uint8_t> tail(static_cast<size_t>(tailSize));
  in.seekg(size - tailSize);
  in.read(reinterpret_cast<char*>(tail.data()), tailSize);
  if (!in) return;
  int64_t eocd = -1;
  for (int64_t i = tailSize - 22; i >= 0; --i)
    if (tail[size_t(i)] == 'P' && tail[size_t(i) + 1] == 'K' && tail[size_t(i) + 2] == 5 && tail[size_t(i) + 3] == 6) {
      eocd = i;
      break;
    }
  if (eocd < 0) return;
  const uint16_t count = Le16(&tail[size_t(eocd) + 10]);
  int64_t offset = Le32(&tail[size_t(eocd) + 16]);
  for (int n = 0; n < count; ++n) {
    if (offset + 46 > size) break;
    uint8_t header[46];
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(header), 46);
    if (!in || header[0] != 'P' || header[1] != 'K' || header[2] != 1 || header[3] != 2) break;
    const uint16_t nameLen = Le16(header + 28), extraLen = Le16(header + 30), commentLen = Le16(header + 32);
    const uint16_t time = Le16(header + 12), date = Le16(header + 14);
    const uint32_t entrySize = Le32(header + 24);
    if (nameLen > 0) {
      std::string name(nameLen, '\0');
      in.read(name.data(), nameLen);
      if (!in) break;
      FParser->AddAssetFromZipEntry(BaseName(name), date, time, entrySize);
    }
    offset += 46 + nameLen + extraLen + commentLen;
  }
}

bool UnzipDoorAssets(const std::string& path, const std::string& folder) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!archive) return false;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  bool ok = count > 0;
  std::vector<char> buffer(65536);
  for (zip_int64_t i = 0; ok && i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
      ok = false;
      break;
    }
    std::string name = st.name;
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) continue;
    // Door assets are plain files of the door folder: an entry that names a
    // sub-folder, a parent or an absolute path is refused, never written.
    std::string why;
    if (!IsPlainPeerName(name, &why)) {
      LogLine("DDOFX: refused zip entry \"" + name + "\" in " + path + ": " + why);
      ok = false;
      break;
    }
    zip_file_t* entry = zip_fopen_index(archive, zip_uint64_t(i), 0);
    if (!entry) {
      ok = false;
      break;
    }
    const std::string target = folder + name;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    zip_int64_t n;
    uint64_t written = 0;
    while (out && (n = zip_fread(entry, buffer.data(), buffer.size())) > 0) {
      out.write(buffer.data(), n);
      written += uint64_t(n);
    }
    zip_fclose(entry);
    out.close();
    struct stat fileStat {};
    ok = out && stat(target.c_str(), &fileStat) == 0 && uint64_t(fileStat.st_size) == st.size && written == st.size;
  }
  zip_close(archive);
  return ok;
}
