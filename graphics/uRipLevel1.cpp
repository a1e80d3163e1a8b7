// RIPscrip level-1 commands: button styles and buttons, mouse regions, the
// image clipboard, icon files and scene files from the icons folder.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "core/uDebugLog.h"
#include "core/uPlainFileName.h"
#include "graphics/uRipParser.h"
#include "platform/AppFolder.h"
#include "platform/FindFile.h"

namespace {

constexpr int kMaxIconSide = 4096;  // stored width - 1 and height - 1 stay below it

bool ReadWholeFile(const std::string& path, uintmax_t limit, std::string& data) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || uintmax_t(size) > limit) return false;
  data.resize(size_t(size));
  in.seekg(0);
  return bool(in.read(data.data(), size));
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TRipParser::DispatchLevel1(char letter, const std::string& cmd, size_t pos) {
  TRipCanvas& c = *FCanvas;
  auto n = [&](int digits) { return ReadMegaNum(pos, cmd, digits); };
  switch (letter) {
    case 'B': {
      TRipButtonStyle& s = FButtonStyle;
      s.wid = n(2), s.hgt = n(2), s.orient = n(2), s.flags = n(4), s.bevsize = n(2), s.dfore = n(2);
      s.dback = n(2), s.bright = n(2), s.dark = n(2), s.surface = n(2), s.grp_no = n(2), s.flags2 = n(2);
      s.uline_col = n(2), s.corner_col = n(2);
      FButtonStyleSet = true;
      break;
    }
    case 'C': {
      const int x0 = n(2), y0 = n(2), x1 = n(2), y1 = n(2);
      c.GetImage(x0, y0, x1, y1);
      break;
    }
    case 'I': {
      const int x = n(2), y = n(2), mode = n(2), clip = n(1);
      n(2);
      LoadIcon(ResolveRipAsset(cmd.substr(pos), ".ICN"), x, y, mode, clip != 0);
      break;
    }
    case 'K': c.ClearHotspots(); break;
    case 'M': {
      n(2);  // region number
      const int x0 = n(2), y0 = n(2), x1 = n(2), y1 = n(2);
      n(1), n(1), n(5);  // click, clear, reserved
      const std::string text = cmd.substr(pos);
      if (!text.empty()) c.AddHotspot(x0, y0, x1, y1, text);
      break;
    }
    case 'P': {
      const int x = n(2), y = n(2), mode = n(2);
      c.PutImage(x, y, mode);
      break;
    }
    case 'R':
      for (int i = 0; i < 4; ++i) n(2);
      PlayScene(ResolveRipAsset(cmd.substr(pos), ".RIP"));
      break;
    case 'U': ButtonCommand(cmd, pos); break;
    default: break;
  }
}

void TRipParser::ButtonCommand(const std::string& cmd, size_t pos) {
  if (!FButtonStyleSet) return;
  auto n = [&](int digits) { return ReadMegaNum(pos, cmd, digits); };
  int x0 = n(2), y0 = n(2), x1 = n(2), y1 = n(2);
  if (FButtonStyle.wid > 0) x1 = x0 + FButtonStyle.wid - 1;
  if (FButtonStyle.hgt > 0) y1 = y0 + FButtonStyle.hgt - 1;
  n(2), n(1), n(1);  // hot key, flags, reserved
  const std::string text = cmd.substr(pos);
  std::string label = text, command;
  const size_t first = text.find("<>");
  if (first != std::string::npos) {
    const size_t second = text.find("<>", first + 2);
    if (second == std::string::npos) {
      label = text.substr(first + 2);
    } else {
      label = text.substr(first + 2, second - first - 2);
      command = text.substr(second + 2);
    }
  }
  DrawButton(x0, y0, x1, y1, FButtonStyle, label, command);
  if (!command.empty()) FCanvas->AddHotspot(x0, y0, x1, y1, command);
}

void TRipParser::DrawButton(int x0, int y0, int x1, int y1, const TRipButtonStyle& style, const std::string& label,
                            const std::string& command) {
  TRipCanvas& c = *FCanvas;
  if (style.wid > 0 && style.hgt > 0) {
    // The face is one pixel wider and taller than the button's mouse region.
    x1 = x0 + style.wid;
    y1 = y0 + style.hgt;
  }
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  const uint8_t savedColor = c.GetColor(), savedFill = c.GetFillColor();

  c.SetFillColor(style.surface & 15);
  c.Bar(x0, y0, x1, y1);

  if (style.flags & 512) {
    const int bevel = std::max(style.bevsize, 1);
    for (int m = 0; m < bevel; ++m) {
      c.StyledLine(x0 + m, y0 + m, x1 - m, y0 + m, style.bright & 15, 0xFFFF);
      c.StyledLine(x0 + m, y0 + m, x0 + m, y1 - m, style.bright & 15, 0xFFFF);
    }
    for (int m = 0; m < bevel; ++m) {
      c.StyledLine(x0 + m, y1 - m, x1 - m, y1 - m, style.dark & 15, 0xFFFF);
      c.StyledLine(x1 - m, y0 + m, x1 - m, y1 - m, style.dark & 15, 0xFFFF);
    }
  }

  if (!label.empty()) {
    const int w = c.TextWidth(label);
    const int cy = (y1 - y0) / 2 + y0 - 4;
    int lx, ly;
    switch (style.orient) {
      case 0: lx = x0 + 2, ly = y0 - 10; break;
      case 1: lx = x0 - w - 4, ly = cy; break;
      case 3: lx = x1 + 4, ly = cy; break;
      case 4: lx = x0 + 2, ly = y1 + 2; break;
      default: lx = (x1 - x0) / 2 + x0 - w / 2, ly = cy; break;
    }
    size_t p = std::string::npos;  // where the hot key sits in the label
    if (command.size() == 1) {
      const auto up = [](unsigned char ch) { return char(std::toupper(ch)); };
      std::string upper = label;
      std::transform(upper.begin(), upper.end(), upper.begin(), up);
      p = upper.find(up(static_cast<unsigned char>(command[0])));
    }
    c.SetColor(style.dfore & 15);
    if (p == std::string::npos) {
      c.RipDrawText(lx, ly, label);
    } else {
      const std::string before = label.substr(0, p), key = label.substr(p, 1), after = label.substr(p + 1);
      c.RipDrawText(lx, ly, before);
      c.SetColor(style.uline_col & 15);
      c.RipDrawText(lx + c.TextWidth(before), ly, key);
      c.SetColor(style.dfore & 15);
      c.RipDrawText(lx + c.TextWidth(before + key), ly, after);
    }
  }
  c.SetColor(savedColor);
  c.SetFillColor(savedFill);
}

std::string TRipParser::IconsFolder() { return platform::AppFolder() + "icons/"; }

std::string TRipParser::ResolveRipAsset(const std::string& name, const std::string& defaultExt) {
  if (name.empty() || name.find("..") != std::string::npos || name.find('/') != std::string::npos ||
      name.find('\\') != std::string::npos || !IsPlainFileName(name))
    return {};
  const std::string file = name.find('.') == std::string::npos ? name + defaultExt : name;
  const std::string path = IconsFolder() + file;
  const std::string found = platform::FindFileNoCase(path);  // boards send DOS upper-case names
  return found.empty() ? path : found;
}

bool TRipParser::LoadIcon(const std::string& path, int x, int y, int mode, bool toClipboard) {
  if (path.empty()) return false;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 4) return false;
  uint8_t head[4];
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(head), 4)) return false;
  const int wm1 = head[0] | head[1] << 8, hm1 = head[2] | head[3] << 8;
  if (wm1 >= kMaxIconSide || hm1 >= kMaxIconSide) {
    LogLine("RIP: icon " + BaseName(path) + " refused: " + std::to_string(wm1 + 1) + "x" + std::to_string(hm1 + 1) +
            " is too large");
    return false;
  }
  const int w = wm1 + 1, h = hm1 + 1;
  const platform::Rect view = FCanvas->Viewport();
  if (int64_t(x) + w - 1 > view.Right - 1 || int64_t(y) + h - 1 > view.Bottom - 1) return false;
  const size_t planeBytes = size_t(w + 7) / 8, rowBytes = planeBytes * 4;
  if (uintmax_t(size) - 4 < rowBytes * size_t(h)) return false;  // rows cut short
  std::vector<uint8_t> rows(rowBytes * size_t(h));
  if (!in.read(reinterpret_cast<char*>(rows.data()), std::streamsize(rows.size()))) return false;
  std::vector<uint32_t> pixels(size_t(w) * size_t(h));
  for (int r = 0; r < h; ++r) {
    const uint8_t* row = rows.data() + size_t(r) * rowBytes;
    for (int px = 0; px < w; ++px) {
      const int byte = px / 8, bit = 7 - px % 8;
      int index = 0;
      for (int plane = 0; plane < 4; ++plane) index = index << 1 | ((row[plane * planeBytes + byte] >> bit) & 1);
      const TRipPaletteEntry e = TRipCanvas::kEgaPalette[index];
      pixels[size_t(r) * w + px] = platform::PackRGB(e.R, e.G, e.B);
    }
  }
  FCanvas->PutImageData(pixels, w, h, x, y, mode);
  if (toClipboard) FCanvas->SetClipboard(std::move(pixels), w, h);
  return true;
}

void TRipParser::PlayScene(const std::string& path) {
  if (path.empty() || FSceneDepth >= kMaxSceneDepth) return;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return;
  std::string data;
  if (!ReadWholeFile(path, kMaxSceneFileSize, data)) {
    LogLine("RIP: scene " + BaseName(path) + " not played: unreadable or larger than " +
            std::to_string(kMaxSceneFileSize) + " bytes");
    return;
  }
  // The scene frames its bytes from a clean line start with its own state;
  // the line that asked for it goes on afterwards where it stood.
  struct TRestore {
    TRipParser& P;
    TFraming Saved;
    ~TRestore() {
      P.F = std::move(Saved);
      --P.FSceneDepth;
    }
  } restore{*this, std::move(F)};
  F = TFraming{};
  ++FSceneDepth;
  FeedString(data);
  if (F.InLine && !F.LineTooLong && !F.Cmd.empty()) {
    // The file's end also ends its last line.
    std::string cmd = std::move(F.Cmd);
    F = TFraming{};
    DispatchCommand(cmd);
  }
}
