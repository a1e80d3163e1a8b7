#include "graphics/uApcImages.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/uBase64.h"
#include "core/uControlChars.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "platform/Tick.h"

namespace {

const std::string kCommandPrefix = "SyncTERM:C;";
const std::string kStore = "SyncTERM:C;S;";
const std::string kList = "SyncTERM:C;L";
const std::string kDrawJxlBlob = "SyncTERM:C;DrawJXLBlob;";
const std::string kDrawJxl = "SyncTERM:C;DrawJXL;";
const std::string kDrawPpmBlob = "SyncTERM:C;DrawPPMBlob;";
const std::string kDrawPpm = "SyncTERM:C;DrawPPM;";

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool IsImageName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = char(std::tolower(uint8_t(c)));
  return ext == ".jxl" || ext == ".ppm" || ext == ".pbm";
}

std::string Md5Hex(const std::vector<uint8_t>& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr) != 1) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

// A decimal value of a draw argument; 0 when missing or not a number.
int64_t ArgValue(const std::string& text) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  if (i >= text.size()) return 0;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    v = v * 10 + (text[i] - '0');
    if (v > INT32_MAX) return 0;
  }
  return negative ? -v : v;
}

// An argument as it appears in a log line: inline data can be megabytes.
std::string Shown(const std::string& item) { return item.size() <= 64 ? item : item.substr(0, 64) + "..."; }

}  // namespace

bool MatchGlob(const std::string& name, const std::string& pattern) {
  size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

TApcImageEngine::TApcImageEngine(TFontRenderer* renderer) : Clock(platform::TickMs), FRenderer(renderer) {}

void TApcImageEngine::Reset() {
  FFiles.clear();
  FFiles.shrink_to_fit();
  FTotalBytes = 0;
  FRepeatCount = 0;
  FLastTick = 0;
  FSuppressing = false;
  FSuppressUntil = 0;
  FVideoLogged = false;
}

bool TApcImageEngine::TakeImagePlaced() {
  const bool placed = FImagePlaced;
  FImagePlaced = false;
  return placed;
}

bool TApcImageEngine::HandleApc(const std::string& s, std::string& reply) {
  reply.clear();
  if (!StartsWith(s, kCommandPrefix)) return false;
  if (StartsWith(s, kStore)) {
    const size_t semi = s.find(';', kStore.size());
    if (semi == std::string::npos) return false;
    const std::string name = s.substr(kStore.size(), semi - kStore.size());
    // Other files (sounds) are the APC audio engine's.
    if (!IsImageName(name)) return false;
    if (name.size() > MaxNameLength) {
      LogLine("APC images: store of a name over " + std::to_string(MaxNameLength) + " characters - skipped");
      return true;
    }
    std::vector<uint8_t> data;
    if (!Base64Decode(std::string_view(s).substr(semi + 1), data)) {
      LogLine("APC images: store of " + name + " was not valid base64");
      return true;
    }
    StoreFile(name, std::move(data));
    return true;
  }
  if (s == kList || StartsWith(s, kList + ";")) {
    reply = ListFiles(s.size() > kList.size() ? s.substr(kList.size() + 1) : "");
    return true;
  }
  if (StartsWith(s, kDrawJxlBlob)) {
    DrawImage(s.substr(kDrawJxlBlob.size()), true, true);
  } else if (StartsWith(s, kDrawJxl)) {
    DrawImage(s.substr(kDrawJxl.size()), true, false);
  } else if (StartsWith(s, kDrawPpmBlob)) {
    DrawImage(s.substr(kDrawPpmBlob.size()), false, true);
  } else if (StartsWith(s, kDrawPpm)) {
    DrawImage(s.substr(kDrawPpm.size()), false, false);
  } else {
    return false;
  }
  return true;
}

void TApcImageEngine::StoreFile(const std::string& name, std::vector<uint8_t> data) {
  const int64_t cost = int64_t(data.size() + name.size()) + EntryCharge;
  if (cost > CacheLimit) return;
  auto known = std::find_if(FFiles.begin(), FFiles.end(), [&](const TCachedFile& f) { return f.Name == name; });
  const bool full = known == FFiles.end() && FFiles.size() >= MaxFiles;
  if (FTotalBytes + cost > CacheLimit || full) {
    FFiles.clear();
    FTotalBytes = 0;
    known = FFiles.end();
  }
  if (known != FFiles.end()) {
    FTotalBytes -= int64_t(known->Data.size() + known->Name.size()) + EntryCharge;
    known->Data = std::move(data);
  } else {
    FFiles.push_back(TCachedFile{name, std::move(data)});
  }
  FTotalBytes += cost;
}

std::string TApcImageEngine::ListFiles(const std::string& requested) const {
  const std::string pattern = requested.empty() ? "*" : requested;
  std::string reply = std::string(1, char(cc::ESC)) + "_SyncTERM:C;L\n";
  if (pattern.size() <= MaxPatternLength)
    for (const TCachedFile& f : FFiles)
      if (MatchGlob(f.Name, pattern)) reply += f.Name + "\t" + Md5Hex(f.Data) + "\n";
  reply += std::string(1, char(cc::ESC)) + "\\";
  return reply;
}

bool TApcImageEngine::IsVideoRepeat(int64_t dx, int64_t dy) {
  const uint64_t now = Clock();
  const bool same = FRepeatCount > 0 && dx == FLastX && dy == FLastY && now - FLastTick < 1000;
  FRepeatCount = same ? FRepeatCount + 1 : 1;
  FLastX = dx;
  FLastY = dy;
  FLastTick = now;
  if (same && FSuppressing && FSuppressUntil > now) {
    FSuppressUntil = now + 3000;
    return true;
  }
  if (FRepeatCount >= 3) {
    FSuppressing = true;
    FSuppressUntil = now + 3000;
    if (!FVideoLogged) {
      LogLine(
          "APC images: repeated image draws to the same spot, each under a second apart - treating it as video and "
          "ignoring it (still images only)");
      FVideoLogged = true;
    }
    return true;
  }
  return false;
}

void TApcImageEngine::DrawImage(const std::string& args, bool jxl, bool inlineData) {
  if (args.empty()) return;
  std::vector<std::string> items;
  for (size_t at = 0;;) {
    const size_t end = std::min(args.find(';', at), args.size());
    items.push_back(args.substr(at, end - at));
    if (end >= args.size()) break;
    at = end + 1;
  }
  const std::string last = items.back();
  items.pop_back();

  int64_t sx = 0, sy = 0, sw = 0, sh = 0, dx = 0, dy = 0, zx = 1, zy = 1;
  bool mirrorX = false, mirrorY = false, swGiven = false, shGiven = false;
  // A key sets its value, notes that it was given, or both; a repeated key
  // takes the last value.
  struct TDrawKey {
    const char* Key;
    int64_t* Value;
    bool* Seen;
  };
  const TDrawKey keys[] = {{"SX", &sx, nullptr},     {"SY", &sy, nullptr}, {"SW", &sw, &swGiven},
                           {"SH", &sh, &shGiven},    {"DX", &dx, nullptr}, {"DY", &dy, nullptr},
                           {"ZX", &zx, nullptr},     {"ZY", &zy, nullptr}, {"FX", nullptr, &mirrorX},
                           {"FY", nullptr, &mirrorY}};
  for (const std::string& item : items) {
    const size_t eq = item.find('=');
    std::string key = item.substr(0, eq);
    for (char& c : key) c = char(std::toupper(uint8_t(c)));
    const int64_t value = eq == std::string::npos ? 0 : ArgValue(item.substr(eq + 1));
    for (const TDrawKey& k : keys)
      if (key == k.Key) {
        if (k.Value) *k.Value = value;
        if (k.Seen) *k.Seen = true;
      }
  }
  if (zx < 1 || zx > 16 || zy < 1 || zy > 16) return;
  if (IsVideoRepeat(dx, dy)) return;

  std::vector<uint8_t> decodedBlob;
  const std::vector<uint8_t>* data = &decodedBlob;
  if (inlineData) {
    if (!Base64Decode(last, decodedBlob)) {
      LogLine("APC images: blob is not valid base64 - skipped");
      return;
    }
  } else {
    auto found = std::find_if(FFiles.begin(), FFiles.end(), [&](const TCachedFile& f) { return f.Name == last; });
    if (found == FFiles.end()) {
      LogLine("APC images: \"" + Shown(last) + "\" is not in the cache - skipped");
      return;
    }
    data = &found->Data;
  }
  if (data->empty()) return;
  TRgbaPicture picture;
  const bool decoded =
      jxl ? DecodeJxl(data->data(), data->size(), picture) : DecodePnm(data->data(), data->size(), picture);
  decodedBlob = std::vector<uint8_t>();
  if (!decoded) {
    LogLine("APC images: could not decode " + Shown(last));
    return;
  }

  const int64_t pw = picture.Width, ph = picture.Height;
  if (sx < 0 || sy < 0 || sx >= pw || sy >= ph) return;
  if (!swGiven) sw = pw - sx;
  if (!shGiven) sh = ph - sy;
  sw = std::min(sw, pw - sx);
  sh = std::min(sh, ph - sy);
  if (sw <= 0 || sh <= 0) return;

  int screenW = 640, screenH = 400;
  if (OnScreenPixels) OnScreenPixels(screenW, screenH);
  const int64_t left = std::max<int64_t>(dx, 0), top = std::max<int64_t>(dy, 0);
  const int64_t right = std::min<int64_t>(dx + sw * zx, screenW), bottom = std::min<int64_t>(dy + sh * zy, screenH);
  if (right <= left || bottom <= top) return;

  const int64_t w = right - left, h = bottom - top;
  const size_t n = size_t(w) * size_t(h);
  std::vector<TColorRGB> rgb(n);
  std::vector<uint8_t> mask(n, 0);
  for (int64_t y = top; y < bottom; ++y) {
    int64_t row = (y - dy) / zy;
    if (mirrorY) row = sh - 1 - row;
    const uint8_t* source = picture.Rgba.data() + size_t(sy + row) * size_t(pw) * 4;
    const size_t at = size_t(y - top) * size_t(w);
    for (int64_t x = left; x < right; ++x) {
      int64_t column = (x - dx) / zx;
      if (mirrorX) column = sw - 1 - column;
      const uint8_t* p = source + size_t(sx + column) * 4;
      if (p[3] == 0) continue;
      rgb[at + size_t(x - left)] = TColorRGB{p[0], p[1], p[2]};
      mask[at + size_t(x - left)] = 1;
    }
  }
  if (FRenderer) {
    FRenderer->AddImageSprite(int(left), int(top), int(w), int(h), rgb, mask);
    FImagePlaced = true;
  }
}
