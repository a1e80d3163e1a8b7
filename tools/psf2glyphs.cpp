// Converts a Linux console font (PSF1 or PSF2, optionally gzip-compressed)
// into the raw 256-glyph layout of KORVAN's bitmap fonts: glyph-major, then
// row-major, most significant bit the leftmost pixel. It was run once to make
// core/uBuiltinGlyphs.cpp and assets/fonts/IBM_VGA_8x16.F16; the output is
// checked in, so the build does not need it (nor the font packages).
//
//   g++ -std=c++20 -O2 tools/psf2glyphs.cpp -lz -o /tmp/psf2glyphs
//   /tmp/psf2glyphs cpp NAME BASE.psf.gz [DST=SRC@OTHER.psf.gz ...] > part.cpp
//   /tmp/psf2glyphs raw BASE.psf.gz > file.F16
//
// The first 256 glyphs of BASE are taken in their stored order (the font must
// already be in code page 437 order); each DST=SRC@OTHER replaces glyph DST
// by glyph SRC of another font of the same size (codes in decimal or 0x hex).
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Font {
  int Width = 0, Height = 0, BytesPerRow = 0;
  std::vector<uint8_t> Glyphs;  // 256 glyphs
};

[[noreturn]] void Fail(const std::string& msg) {
  std::fprintf(stderr, "psf2glyphs: %s\n", msg.c_str());
  std::exit(1);
}

std::vector<uint8_t> ReadGz(const std::string& path) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) Fail("cannot open " + path);
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  int n;
  while ((n = gzread(f, buf, sizeof buf)) > 0) data.insert(data.end(), buf, buf + n);
  gzclose(f);
  return data;
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

Font Load(const std::string& path) {
  std::vector<uint8_t> d = ReadGz(path);
  Font f;
  size_t offset = 0, count = 0;
  if (d.size() >= 4 && d[0] == 0x36 && d[1] == 0x04) {  // PSF1: 8 pixels wide
    f.Width = 8;
    f.Height = d[3];
    offset = 4;
    count = (d[2] & 1) ? 512 : 256;
  } else if (d.size() >= 32 && Le32(d, 0) == 0x864AB572u) {  // PSF2
    offset = Le32(d, 8);
    count = Le32(d, 16);
    f.Height = int(Le32(d, 24));
    f.Width = int(Le32(d, 28));
  } else {
    Fail(path + " is not a PSF font");
  }
  f.BytesPerRow = (f.Width + 7) / 8;
  size_t glyphBytes = size_t(f.Height) * size_t(f.BytesPerRow);
  if (count < 256 || d.size() < offset + 256 * glyphBytes) Fail(path + " holds fewer than 256 glyphs");
  f.Glyphs.assign(d.begin() + long(offset), d.begin() + long(offset + 256 * glyphBytes));
  return f;
}

int ParseCode(const std::string& s) {
  int v = int(std::strtol(s.c_str(), nullptr, 0));
  if (v < 0 || v > 255) Fail("glyph code out of range: " + s);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) Fail("usage: psf2glyphs cpp NAME BASE [DST=SRC@OTHER ...] | raw BASE");
  std::string mode = argv[1];
  bool cpp = mode == "cpp";
  if (!cpp && mode != "raw") Fail("mode must be cpp or raw");
  int baseArg = cpp ? 3 : 2;  // NAME comes first in cpp mode
  if (argc <= baseArg) Fail("missing font");
  Font base = Load(argv[baseArg]);
  size_t glyphBytes = size_t(base.Height) * size_t(base.BytesPerRow);
  for (int i = baseArg + 1; i < argc; ++i) {
    std::string arg = argv[i];
    size_t eq = arg.find('='), at = arg.find('@');
    if (eq == std::string::npos || at == std::string::npos || at < eq) Fail("bad patch " + arg);
    Font other = Load(arg.substr(at + 1));
    if (other.Width != base.Width || other.Height != base.Height) Fail("patch font size differs: " + arg);
    int dst = ParseCode(arg.substr(0, eq)), src = ParseCode(arg.substr(eq + 1, at - eq - 1));
    std::copy(other.Glyphs.begin() + long(src * glyphBytes), other.Glyphs.begin() + long((src + 1) * glyphBytes),
              base.Glyphs.begin() + long(dst * glyphBytes));
  }
  if (!cpp) {
    std::fwrite(base.Glyphs.data(), 1, base.Glyphs.size(), stdout);
    return 0;
  }
  std::printf("const uint8_t %s[%zu] = {\n", argv[2], base.Glyphs.size());
  for (int g = 0; g < 256; ++g) {
    std::printf("    ");
    for (size_t b = 0; b < glyphBytes; ++b) std::printf("0x%02X,", base.Glyphs[g * glyphBytes + b]);
    std::printf("  // %02X\n", g);
  }
  std::printf("};\n");
  return 0;
}
