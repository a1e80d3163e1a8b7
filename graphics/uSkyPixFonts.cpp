#include "graphics/uSkyPixFonts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <fstream>

#include "platform/AppFolder.h"
#include "platform/FindFile.h"

namespace {

struct TFamily {
  const char* Name;
  std::vector<int> Sizes;
};

const std::vector<TFamily>& Families() {
  static const std::vector<TFamily> kFamilies = {
      {"DIAMOND", {12, 20}},
      {"EMERALD", {17, 20}},
      {"PEARL", {8}},
      {"GARNET", {9, 16}},
      {"HELVETICA", {9, 11, 13, 15, 18, 24}},
      {"OPAL", {9, 12}},
      {"RUBY", {8, 12, 15}},
      {"SAPPHIRE", {14, 19}},
      {"TIMES", {11, 13, 15, 18, 24, 30, 36}},
      {"COURIER", {11, 13, 15, 18, 24, 30, 36}},
      {"TOPAZ", {8}},
  };
  return kFamilies;
}

struct TFontCacheEntry {
  std::string Key;  // family "_" size, e.g. TOPAZ_8
  TSkyPixFont Font;
};

// A deque keeps every entry where it is while the cache grows.
std::deque<TFontCacheEntry>& Cache() {
  static std::deque<TFontCacheEntry> cache;
  return cache;
}

// 256 glyphs of 255 x 255 pixels need under 2 MiB; a larger file is not a font.
constexpr std::streamoff kMaxFileSize = 4 << 20;

}  // namespace

std::string NormalizeSkyPixName(const std::string& name) {
  size_t a = name.find_first_not_of(' '), b = name.find_last_not_of(' ');
  std::string s = a == std::string::npos ? std::string() : name.substr(a, b - a + 1);
  if (s.size() > 5) {
    std::string tail = s.substr(s.size() - 5);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (tail == ".font") s.resize(s.size() - 5);
  }
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return s;
}

int FindSkyPixFamily(const std::string& name) {
  const std::string n = NormalizeSkyPixName(name);
  const auto& f = Families();
  for (size_t i = 0; i < f.size(); ++i)
    if (n == f[i].Name) return int(i);
  return -1;
}

int NearestSkyPixSize(int family, int size) {
  const std::vector<int>& sizes = Families()[size_t(family)].Sizes;
  int best = sizes[0];
  for (int s : sizes)
    if (std::abs(int64_t(s) - size) < std::abs(int64_t(best) - size)) best = s;  // ties keep the smaller
  return best;
}

std::string SkyPixFileName(int family, int size) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02d", size);
  return std::string(Families()[size_t(family)].Name) + "_" + digits + ".SPF";
}

std::string SkyPixFontDir() { return platform::AppFolder() + "fonts/skypix/"; }

bool LoadSpfBytes(const std::vector<uint8_t>& d, TSkyPixFont& font) {
  font = TSkyPixFont{};
  if (d.size() <= 8 || d[0] != 'S' || d[1] != 'P' || d[2] != 'F' || d[3] != '2') return false;
  const uint8_t height = d[4], first = d[5], baseline = d[6];
  const int count = d[7] | d[8] << 8;
  if (height == 0 || count == 0 || count > 256) return false;
  std::vector<TSkyPixGlyph> glyphs(static_cast<size_t>(count));
  size_t at = 9;
  for (TSkyPixGlyph& g : glyphs) {
    if (at + 2 > d.size()) return false;
    g.Advance = d[at], g.Width = d[at + 1];
    at += 2;
    if (g.Width == 0) continue;
    g.BytesPerRow = uint8_t((g.Width + 7) / 8);
    const size_t n = size_t(height) * g.BytesPerRow;
    if (d.size() - at < n) return false;
    g.Bits.assign(d.begin() + std::ptrdiff_t(at), d.begin() + std::ptrdiff_t(at + n));
    at += n;
  }
  font.Height = height, font.FirstChar = first, font.Baseline = baseline, font.Count = count;
  font.Glyphs = std::move(glyphs);
  font.Loaded = true;
  return true;
}

bool LoadSpfFile(const std::string& path, TSkyPixFont& font) {
  font = TSkyPixFont{};
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size <= 8 || size > kMaxFileSize) return false;
  std::vector<uint8_t> data(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(data.data()), size)) return false;
  return LoadSpfBytes(data, font);
}

const TSkyPixFont* GetSkyPixFont(const std::string& name, int size) {
  const int family = FindSkyPixFamily(name);
  if (family < 0) return nullptr;
  const int actual = NearestSkyPixSize(family, size);
  const std::string familyName = Families()[size_t(family)].Name;
  const std::string key = familyName + "_" + std::to_string(actual);
  for (const TFontCacheEntry& e : Cache())
    if (e.Key == key) return &e.Font;
  const std::string path = platform::FindFileNoCase(SkyPixFontDir() + SkyPixFileName(family, actual));
  TSkyPixFont font;
  if (path.empty() || !LoadSpfFile(path, font)) return nullptr;
  font.Name = familyName;
  font.Size = actual;
  Cache().push_back({key, std::move(font)});
  return &Cache().back().Font;
}
