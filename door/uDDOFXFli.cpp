// Autodesk FLI/FLC players: each keeps its whole file and one frame buffer,
// decodes the next frame when due and copies it into pages 0 and 3 at its
// position. Chunk reads never pass the file's end (a missing byte reads as
// 0) and frame writes never leave the frame buffer.
#include <algorithm>
#include <cstdio>

#include "door/uDDOFXGfx.h"
#include "door/uDDOFXText.h"

using namespace ddofxgfx;

namespace {

constexpr int kFliMagic = 0xAF11, kFlcMagic = 0xAF12;
constexpr int kFrameChunk = 0xF1FA, kPrefixChunk = 0xF100;
enum : int { kColor256 = 4, kDeltaFlc = 7, kColor64 = 11, kDeltaFli = 12, kBlack = 13, kByteRun = 15, kFliCopy = 16 };


// Reads of the flic's bytes: past the end a byte reads as 0.
struct TFlicReader {
  const std::string& Data;
  uint32_t U8(int64_t at) const { return at >= 0 && at < int64_t(Data.size()) ? uint8_t(Data[size_t(at)]) : 0; }
  uint32_t U16(int64_t at) const { return U8(at) | (U8(at + 1) << 8); }
  uint32_t U32(int64_t at) const { return U16(at) | (U16(at + 2) << 16); }
};

// The frame buffer with writes outside it dropped.
struct TFrame {
  std::vector<uint8_t>& Pixels;
  int64_t Width, Height;
  void Put(int64_t x, int64_t y, uint8_t v) {
    if (x >= 0 && x < Width && y >= 0 && y < Height) Pixels[size_t(y * Width + x)] = v;
  }
};

void RunColourChunk(const TFlicReader& r, int64_t pos, int64_t end, bool sixBit, std::array<uint8_t, 768>& palette) {
  const uint32_t packets = r.U16(pos);
  pos += 2;
  int index = 0;
  for (uint32_t p = 0; p < packets && pos < end; ++p) {
    index += int(r.U8(pos++));
    int count = int(r.U8(pos++));
    if (count == 0) count = 256;
    for (int i = 0; i < count; ++i, pos += 3) {
      if (index >= 256) continue;
      for (int c = 0; c < 3; ++c) {
        const uint32_t v = r.U8(pos + c);
        palette[size_t(index * 3 + c)] = uint8_t(sixBit ? (v & 63) : (v >> 2));
      }
      ++index;
    }
  }
}

void RunDeltaFlc(const TFlicReader& r, int64_t pos, int64_t end, TFrame& f) {
  const uint32_t lines = r.U16(pos);
  pos += 2;
  int64_t line = 0;
  for (uint32_t done = 0; done < lines && pos < end;) {
    uint32_t word = r.U16(pos);
    pos += 2;
    // Skip words (top bits 11) and the last-pixel word (10) come before
    // the packet count.
    while ((word & 0xC000) == 0xC000 || (word & 0xC000) == 0x8000) {
      if ((word & 0xC000) == 0xC000)
        line += 65536 - int64_t(word);
      else
        f.Put(f.Width - 1, line, uint8_t(word & 0xFF));
      if (pos >= end) return;
      word = r.U16(pos);
      pos += 2;
    }
    int64_t column = 0;
    for (uint32_t p = 0; p < word && pos < end; ++p) {
      column += r.U8(pos++);
      const int8_t count = int8_t(r.U8(pos++));
      if (count > 0) {
        for (int i = 0; i < count; ++i, pos += 2, column += 2) {
          f.Put(column, line, uint8_t(r.U8(pos)));
          f.Put(column + 1, line, uint8_t(r.U8(pos + 1)));
        }
      } else {
        const uint8_t a = uint8_t(r.U8(pos)), b = uint8_t(r.U8(pos + 1));
        pos += 2;
        for (int i = 0; i < -count; ++i, column += 2) {
          f.Put(column, line, a);
          f.Put(column + 1, line, b);
        }
      }
    }
    ++line;
    ++done;
  }
}

void RunDeltaFli(const TFlicReader& r, int64_t pos, int64_t end, TFrame& f) {
  int64_t line = r.U16(pos);
  const uint32_t lines = r.U16(pos + 2);
  pos += 4;
  for (uint32_t l = 0; l < lines && pos < end; ++l, ++line) {
    int64_t column = 0;
    const uint32_t packets = r.U8(pos++);
    for (uint32_t p = 0; p < packets && pos < end; ++p) {
      column += r.U8(pos++);
      const int8_t count = int8_t(r.U8(pos++));
      if (count > 0) {
        for (int i = 0; i < count; ++i) f.Put(column++, line, uint8_t(r.U8(pos++)));
      } else {
        const uint8_t v = uint8_t(r.U8(pos++));
        for (int i = 0; i < -count; ++i) f.Put(column++, line, v);
      }
    }
  }
}

void RunByteRun(const TFlicReader& r, int64_t pos, int64_t end, TFrame& f) {
  for (int64_t line = 0; line < f.Height && pos < end; ++line) {
    ++pos;  // the packet count, not needed
    int64_t column = 0;
    while (column < f.Width && pos < end) {
      const int8_t count = int8_t(r.U8(pos++));
      if (count > 0) {
        const uint8_t v = uint8_t(r.U8(pos++));
        for (int i = 0; i < count; ++i) f.Put(column++, line, v);
      } else if (count < 0) {
        for (int i = 0; i < -count; ++i) f.Put(column++, line, uint8_t(r.U8(pos++)));
      }
    }
  }
}

}  // namespace

void TDDOFXGfx::CloseFlic(int n) {
  if (n < 1 || n > kFlics) return;
  TGfxFlic& f = Flics[size_t(n)];
  f.Open = f.Playing = false;
  std::string().swap(f.Data);
  std::vector<uint8_t>().swap(f.Frame);
}

void TDDOFXGfx::OpenFlic(const std::string& word, const TParams& params) {
  const int64_t n = IntParam(params, 0, 0);
  if (word == "5OFLIC") {
    if (n == 0) {
      for (int k = 1; k <= kFlics; ++k) CloseFlic(k);
      return;
    }
    if (n < 1 || n > kFlics) return;
    CloseFlic(int(n));
    const std::string name = StrParam(params, 7);
    std::string data;
    if (!ReadAsset(ddofxtext::Trim(name), false, data) || data.size() < 128) {
      Log("flic not found: " + name);
      return;
    }
    TFlicReader r{data};
    const uint32_t magic = r.U16(4);
    if (magic != kFliMagic && magic != kFlcMagic) {
      Log("not a FLI/FLC: " + name);
      return;
    }
    TGfxFlic& f = Flics[size_t(n)];
    f.FrameCount = int32_t(r.U16(6));
    f.FrameWidth = std::max<int32_t>(int32_t(r.U16(8)), 1);
    f.FrameHeight = std::max<int32_t>(int32_t(r.U16(10)), 1);
    f.X = int32_t(IntParam(params, 1, 0));
    f.Y = int32_t(IntParam(params, 2, 0));
    f.LastFrame = int32_t(IntParam(params, 3, 0));
    if (f.LastFrame < 1 || f.LastFrame > f.FrameCount) f.LastFrame = f.FrameCount;
    f.Mode = int32_t(IntParam(params, 4, 0));
    f.Speed = int32_t(std::clamp<int64_t>(IntParam(params, 5, 10), 1, 100));
    f.UsePalette = IntParam(params, 6, 0) == 1;
    f.FirstFrameAt = 128;
    if (magic == kFlcMagic && data.size() >= 84 && r.U32(80) > 0) f.FirstFrameAt = r.U32(80);
    if (r.U16(f.FirstFrameAt + 4) == kPrefixChunk) f.FirstFrameAt += r.U32(f.FirstFrameAt);
    f.FramePos = f.FirstFrameAt;
    f.FrameIndex = 0;
    // At most 65535 x 65535 from the header's two 16-bit fields: a 4 GiB
    // frame buffer is not taken for a file of a few bytes.
    if (int64_t(f.FrameWidth) * f.FrameHeight > kPageSize * 4) {
      Log("flic frame too large: " + name);
      return;
    }
    f.Frame.assign(size_t(f.FrameWidth) * size_t(f.FrameHeight), 0);
    f.Data = std::move(data);
    f.Open = true;
    f.Playing = false;
    char text[64];
    std::snprintf(text, sizeof text, " %dx%d, %d frames", f.FrameWidth, f.FrameHeight, f.FrameCount);
    Log("flic " + std::to_string(n) + ": " + name + text);
    Dirty = true;
    return;
  }
  for (int k = 1; k <= kFlics; ++k) {
    TGfxFlic& f = Flics[size_t(k)];
    if (!f.Open || (n != 0 && k != n)) continue;
    if (word == "5PFLIC") {
      f.Playing = false;
    } else if (word == "5UFLIC") {
      f.Playing = true;
      f.NextDue = 0;
    } else {
      CloseFlic(k);
    }
  }
  Dirty = true;
}

bool TDDOFXGfx::DecodeFlicFrame(int n) {
  TGfxFlic& f = Flics[size_t(n)];
  const std::array<uint8_t, 768> palette = Palette;
  if (f.FrameIndex >= f.LastFrame) {
    if (f.Mode == 1) return false;
    f.FramePos = f.FirstFrameAt;
    f.FrameIndex = 0;
  }
  const TFlicReader r{f.Data};
  const int64_t length = int64_t(f.Data.size());
  while (f.FramePos + 6 <= length && r.U16(f.FramePos + 4) != kFrameChunk) {
    const uint32_t size = r.U32(f.FramePos);
    if (size < 6) return false;
    f.FramePos += size;
  }
  if (f.FramePos + 16 > length) {
    f.FrameIndex = f.LastFrame;
    return f.Mode != 1;
  }
  const int64_t frameSize = std::max<int64_t>(r.U32(f.FramePos), 16);
  const int64_t frameEnd = f.FramePos + frameSize;
  const uint32_t chunks = r.U16(f.FramePos + 6);
  int64_t chunk = f.FramePos + 16;
  const int64_t limit = std::min(frameEnd, length);
  TFrame frame{f.Frame, f.FrameWidth, f.FrameHeight};
  bool paletteChanged = false;
  for (uint32_t i = 0; i < chunks; ++i) {
    if (chunk + 6 > limit) break;
    const int64_t size = r.U32(chunk);
    const uint32_t type = r.U16(chunk + 4);
    const int64_t data = chunk + 6;
    const int64_t end = std::min(chunk + size, length);
    switch (type) {
      case kColor256:
      case kColor64:
        RunColourChunk(r, data, end, type == kColor64, Palette);
        paletteChanged = true;
        break;
      case kDeltaFlc: RunDeltaFlc(r, data, end, frame); break;
      case kDeltaFli: RunDeltaFli(r, data, end, frame); break;
      case kBlack: std::fill(f.Frame.begin(), f.Frame.end(), uint8_t(0)); break;
      case kByteRun: RunByteRun(r, data, end, frame); break;
      case kFliCopy: {
        const int64_t count = std::min<int64_t>(int64_t(f.Frame.size()), size - 6);
        for (int64_t k = 0; k < count; ++k) f.Frame[size_t(k)] = uint8_t(r.U8(data + k));
        break;
      }
      default: break;
    }
    if (size < 6) break;
    chunk += size;
  }
  f.FramePos = frameEnd;
  ++f.FrameIndex;
  if (paletteChanged && !f.UsePalette) Palette = palette;
  // Flic frames go straight to the screen's pages, never a window's canvas.
  const int64_t r0 = std::max<int64_t>(0, -int64_t(f.Y)), r1 = std::min<int64_t>(f.FrameHeight, kHeight - int64_t(f.Y));
  const int64_t c0 = std::max<int64_t>(0, -int64_t(f.X)), c1 = std::min<int64_t>(f.FrameWidth, kWidth - int64_t(f.X));
  for (int64_t row = r0; row < r1; ++row)
    for (int64_t c = c0; c < c1; ++c) {
      const size_t at = size_t((f.Y + row) * kWidth + f.X + c);
      const uint8_t v = f.Frame[size_t(row * f.FrameWidth + c)];
      Pages[0][at] = v;
      Pages[3][at] = v;
    }
  Dirty = true;
  return true;
}

bool TDDOFXGfx::AdvanceFlics() {
  bool drawn = false;
  for (int k = 1; k <= kFlics; ++k) {
    TGfxFlic& f = Flics[size_t(k)];
    if (!f.Open || !f.Playing) continue;
    if (f.NextDue != 0 && Now < f.NextDue) continue;
    if (f.NextDue == 0) f.NextDue = Now;
    const uint64_t interval = uint64_t(1000 / std::max(f.Speed, 1));
    f.NextDue += interval;
    // More than half a second behind: resume from here, no catching up.
    if (f.NextDue + 500 < Now) f.NextDue = Now + interval;
    if (DecodeFlicFrame(k))
      drawn = true;
    else
      CloseFlic(k);
  }
  return drawn;
}
