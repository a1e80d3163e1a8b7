#include "core/uUtf8Cp437.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// IBM code page 437, bytes 128..255.
const uint16_t Cp437Table[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// The reverse table, sorted by code point for a binary search; built once.
const std::array<std::pair<uint16_t, uint8_t>, 128>& Unicode437Index() {
  static const auto index = [] {
    std::array<std::pair<uint16_t, uint8_t>, 128> pairs{};
    for (int i = 0; i < 128; ++i) pairs[size_t(i)] = {Cp437Table[i], uint8_t(128 + i)};
    std::sort(pairs.begin(), pairs.end());
    return pairs;
  }();
  return index;
}

int BitCount(uint32_t v) { return __builtin_popcount(v); }

uint8_t ShadeForDots(int n) {
  if (n == 0) return ' ';
  if (n <= 2) return 176;
  if (n <= 5) return 177;
  if (n <= 7) return 178;
  return 219;
}

}  // namespace

uint32_t Cp437ToUnicode(uint8_t b) { return b < 128 ? b : Cp437Table[b - 128]; }

uint32_t Cp437GlyphToUnicode(uint8_t b) {
  // The symbols of the PC font's control positions 1..31.
  static const uint16_t kControlGlyphs[32] = {
      0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
      0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
      0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};
  if (b >= 1 && b < 32) return kControlGlyphs[b];
  if (b == 127) return 0x2302;
  return Cp437ToUnicode(b);
}

std::string Cp437GlyphsToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) out += CodePointToUtf8(Cp437GlyphToUnicode(uint8_t(c)));
  return out;
}

std::string Utf8ToCp437(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint8_t lead = uint8_t(text[i++]);
    if (lead < 0x80) {
      out += char(lead);
      continue;
    }
    int more;
    uint32_t cp;
    if ((lead & 0xE0) == 0xC0) {
      more = 1;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      more = 2;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      more = 3;
      cp = lead & 0x07;
    } else {
      out += '?';  // a continuation byte without its lead, or 0xF8..0xFF
      continue;
    }
    for (; more > 0 && i < text.size() && (uint8_t(text[i]) & 0xC0) == 0x80; --more)
      cp = cp << 6 | (uint8_t(text[i++]) & 0x3F);
    out += char(UnicodeToCp437OrQuestion(cp));
  }
  return out;
}

bool UnicodeToCp437(uint32_t cp, uint8_t& b) {
  if (cp < 128) {
    b = uint8_t(cp);
    return true;
  }
  if (cp > 0xFFFF) return false;
  const auto& index = Unicode437Index();
  auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(uint16_t(cp), uint8_t(0)));
  if (it == index.end() || it->first != cp) return false;
  b = it->second;
  return true;
}

bool UnicodeFallbackToCp437(uint32_t cp, uint8_t& b) {
  switch (cp) {
    case 0x22C6: case 0x2605: case 0x2606: case 0x2726: case 0x2727: case 0x2736:
      b = '*';
      return true;
    case 0x2581: case 0x2582: case 0x258F: case 0x2594: case 0x2596: case 0x2597: case 0x2598: case 0x259D:
      b = 176;
      return true;
    case 0x2583: case 0x2585: case 0x258B: case 0x258D: case 0x258E: case 0x259A: case 0x259E:
      b = 177;
      return true;
    case 0x2586: case 0x2587: case 0x2589: case 0x258A: case 0x2599: case 0x259B: case 0x259C: case 0x259F:
      b = 178;
      return true;
    case 0x25C6: case 0x25C7:
      b = 4;
      return true;
    case 0x25CB:
      b = 9;
      return true;
    case 0x25CF:
      b = 7;
      return true;
    case 0x27E6:
      b = '[';
      return true;
    case 0x27E7:
      b = ']';
      return true;
    default:
      break;
  }
  if (cp >= 0x2800 && cp <= 0x28FF) {  // Braille: shade by the number of raised dots
    b = ShadeForDots(BitCount(cp - 0x2800));
    return true;
  }
  if ((cp >= 0x1FB00 && cp <= 0x1FBFF) || (cp >= 0x2580 && cp <= 0x25FF && !(cp >= 0x2591 && cp <= 0x2593))) {
    b = ShadeForDots(BitCount(cp & 0xFF));
    return true;
  }
  return false;
}

uint8_t UnicodeToCp437OrQuestion(uint32_t cp) {
  uint8_t b = 0;
  if (UnicodeToCp437(cp, b) || UnicodeFallbackToCp437(cp, b)) return b;
  return '?';
}

std::string Utf16ToCp437(std::string_view bytes, bool bigEndian) {
  auto unit = [&](size_t i) -> uint32_t {
    const uint32_t a = uint8_t(bytes[i]), b = uint8_t(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  std::string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < bytes.size()) {
      const uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    out += cp >= 0xD800 && cp <= 0xDFFF ? '?' : char(UnicodeToCp437OrQuestion(cp));
  }
  return out;
}

std::string CodePointToUtf8(uint32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | ((cp >> 18) & 0x07));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
  return out;
}

int TUtf8ToCp437Decoder::Decode(uint8_t b, uint8_t out[2]) {
  int n = 0;
  if (Remaining > 0) {
    if ((b & 0xC0) == 0x80) {
      CodePoint = (CodePoint << 6) | (b & 0x3F);
      if (--Remaining == 0) out[n++] = UnicodeToCp437OrQuestion(CodePoint);
      return n;
    }
    out[n++] = '?';  // an unfinished character, cut short by B
    Remaining = 0;
  }
  if (b >= 192 && b <= 223) {
    CodePoint = b & 31;
    Remaining = 1;
  } else if (b >= 224 && b <= 239) {
    CodePoint = b & 15;
    Remaining = 2;
  } else if (b >= 240 && b <= 247) {
    CodePoint = b & 7;
    Remaining = 3;
  } else {
    out[n++] = b;  // ASCII, stray continuation bytes and 248..255 pass as CP437
  }
  return n;
}
