// Runs arbitrary command texts through the door graphics engine, one per
// line, with an asset folder holding a door pack (a PCX picture and a font)
// and a flic, while control bytes tick the engine's clock (0x01 by 30 ms,
// 0x03 by a second) and compose frames (0x02). Further control bytes work
// the door's mouse and keys with the bytes after them: 0x04 x y button
// presses, 0x05 releases, 0x06 x y moves, 0x07 high low is a hot key, 0x0E b
// feeds b to the text window, 0x0F n x y width flags stores a text field.
// A fired gadget's macro is run as a command, as a door's macros do, so
// gadgets can redefine themselves while they fire. Checks that nothing
// crashes, hangs or writes outside its buffers.
// fuzz-sources: door/uDDOFXGfx.cpp door/uDDOFXAssets.cpp door/uDDOFXDraw.cpp door/uDDOFXPcx.cpp
// fuzz-sources: door/uDDOFXFont.cpp door/uDDOFXSprites.cpp door/uDDOFXFli.cpp door/uDDOFXAnim.cpp
// fuzz-sources: door/uDDOFXComposer.cpp door/uDDOFXCommands.cpp door/uDDOFXSpriteStoreCommand.cpp door/uDDOFXRay.cpp
// fuzz-sources: door/uDDOFXButtons.cpp door/uDDOFXFieldPaint.cpp door/uDDOFXGfxWindows.cpp
// fuzz-sources: door/uDDOFXLevelBars.cpp door/uDDOFXListBox.cpp door/uDDOFXMouse.cpp door/uDDOFXTextWindow.cpp
// fuzz-sources: door/uDDOFXRayCommands.cpp door/uDDOFXRayView.cpp door/uDDOFXSpriteStore.cpp door/uDDOFXPack.cpp core/uPlainFileName.cpp
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "door/uDDOFXGfx.h"

namespace {

void Put16(std::string& s, uint32_t v) {
  s += char(v & 0xFF);
  s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

void PutAt(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// A pack of two entries: a 4 x 2 PCX with a palette and a font.
std::string MakePack() {
  std::string pcx(128, '\0');
  pcx[0] = 10;
  pcx[3] = 8;
  pcx[8] = 3;
  pcx[10] = 1;
  pcx[65] = 1;
  pcx[66] = 4;
  pcx += std::string("\xC4\x05\x01\x02\x03\x04", 6) + '\x0C' + std::string(768, '\x40');
  const std::string font(4096, '\x3C');
  std::string pack(72, '\0');
  pack.replace(0, 7, "PIC.PCX");
  PutAt(pack, 12, 72);
  PutAt(pack, 16, uint32_t(pcx.size()));
  pack.replace(24, 8, "FONT.F16");
  PutAt(pack, 36, uint32_t(72 + pcx.size()));
  PutAt(pack, 40, uint32_t(font.size()));
  return pack + pcx + font;
}

// A two-frame 8 x 4 FLC: a byte-run frame, then a word delta.
std::string MakeFlic() {
  std::string brun;
  for (int y = 0; y < 4; ++y) brun += std::string("\x00\x08", 2) + char(y + 1);
  std::string delta;
  Put16(delta, 1);
  Put16(delta, 1);
  delta += std::string("\x01\x02\x07\x08\x09\x0A", 6);
  std::string frames;
  for (const std::string* data : {&brun, &delta}) {
    std::string chunk;
    Put32(chunk, uint32_t(6 + data->size()));
    Put16(chunk, data == &brun ? 15 : 7);
    chunk += *data;
    Put32(frames, uint32_t(16 + chunk.size()));
    Put16(frames, 0xF1FA);
    Put16(frames, 1);
    frames += std::string(8, '\0') + chunk;
  }
  std::string head;
  Put32(head, uint32_t(128 + frames.size()));
  Put16(head, 0xAF12);
  Put16(head, 2);
  Put16(head, 8);
  Put16(head, 4);
  head.resize(128, '\0');
  return head + frames;
}

const std::string& AssetFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/ddofx_gfx_fuzz_XXXXXX";
    std::string dir = mkdtemp(pattern);
    dir += "/";
    WriteFile(dir + "DOORS", MakePack());
    WriteFile(dir + "DOORM", MakePack());
    WriteFile(dir + "ANIM.FLC", MakeFlic());
    return dir;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static std::vector<uint32_t> frame(static_cast<size_t>(ddofxgfx::kPageSize));
  TDDOFXGfx gfx;
  gfx.Reset();
  gfx.SetAssetDir(AssetFolder());
  gfx.FontDir = AssetFolder();
  uint64_t now = 1000;
  gfx.ExecCommand("LIGMODE");
  gfx.ExecCommand("2fDOOR");
  int depth = 0;
  auto replay = [&](const std::string& macro) {
    if (depth >= 3 || macro.empty()) return;
    ++depth;
    // Parameters cannot hold commas, so a tilde stands for one here.
    std::string command = macro;
    for (char& c : command)
      if (c == '~') c = ',';
    gfx.ExecCommand(command);
    --depth;
  };
  gfx.OnGadget = [&](const std::string&, const std::string& macro) { replay(macro); };
  gfx.OnResult = [&](const std::string&, const std::string& macro, int, int64_t) { replay(macro); };
  gfx.OnFieldClick = [&](int n) { replay("5LBCLSLST," + std::to_string(n)); };
  gfx.OnMusicLevel = [](int channel) { return channel * 7 % 50 - 5; };
  std::string command;
  auto run = [&] {
    if (!command.empty()) gfx.ExecCommand(command);
    command.clear();
  };
  auto next = [&](size_t& i) -> int { return i + 1 < Size ? Data[++i] : 0; };
  for (size_t i = 0; i < Size; ++i) {
    switch (Data[i]) {
      case '\n': run(); break;
      case 0x01: run(); gfx.Tick(now += 30); break;
      case 0x02: run(); gfx.RenderFrame(frame.data(), "status"); break;
      case 0x03: run(); gfx.Tick(now += 1000); break;
      case 0x04: {
        run();
        const int x = next(i) * 5 / 2, y = next(i) * 2;
        gfx.MouseDown(x, y, next(i) & 7);
        break;
      }
      case 0x05: run(); gfx.MouseUp(); break;
      case 0x06: {
        run();
        const int x = next(i) * 5 / 2, y = next(i) * 2;
        gfx.MouseMove(x, y, true);
        gfx.IsOverHotspot(x, y);
        break;
      }
      case 0x07: {
        run();
        bool pass = true;
        const int high = next(i);
        gfx.HotKey(high, next(i), pass);
        break;
      }
      case 0x0E: run(); gfx.FeedTextWindow(uint8_t(next(i))); break;
      case 0x0F: {
        run();
        TDDOFXFieldView f;
        const int n = next(i);
        f.X = next(i) * 3 - 20;
        f.Y = next(i) * 2;
        f.Width = next(i);
        const int flags = next(i);
        f.Defined = (flags & 1) != 0;
        f.Focused = (flags & 2) != 0;
        f.Fg = uint8_t(flags);
        f.Text = std::string(size_t(flags & 0x3F), 'x');
        gfx.SetField(n, f);
        break;
      }
      default:
        // The interpreter takes commands of at most 512 bytes.
        if (command.size() < 512) command.push_back(char(Data[i]));
    }
  }
  run();
  gfx.Tick(now + 30);
  gfx.RenderFrame(frame.data(), std::string(100, 'x'));
  return 0;
}
