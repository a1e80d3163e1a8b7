#include "graphics/uApcDecoders.h"

// Only the types and constants of libjxl's decoder interface are taken from
// its header; the functions are bound at run time from the dll folder.
#include <jxl/decode.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "core/uDebugLog.h"
#include "core/uDllLoader.h"

namespace {

bool IsPnmBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Skips blanks and '#' comments, then reads a decimal number; false when no
// digit comes or the number grows above 100000.
bool ReadPnmNumber(const uint8_t* data, size_t size, size_t& at, int& value) {
  for (;;) {
    while (at < size && IsPnmBlank(data[at])) ++at;
    if (at < size && data[at] == '#') {
      while (at < size && data[at] != '\n' && data[at] != '\r') ++at;
      continue;
    }
    break;
  }
  if (at >= size || data[at] < '0' || data[at] > '9') return false;
  int64_t v = 0;
  while (at < size && data[at] >= '0' && data[at] <= '9') {
    v = v * 10 + (data[at++] - '0');
    if (v > 100000) return false;
  }
  value = int(v);
  return true;
}

bool SizeAccepted(int64_t w, int64_t h) {
  return w >= 1 && h >= 1 && w <= ApcMaxSide && h <= ApcMaxSide && w * h <= ApcMaxPixels;
}

}  // namespace

bool DecodePnm(const uint8_t* data, size_t size, TRgbaPicture& picture) {
  picture = TRgbaPicture{};
  if (!data || size < 3 || data[0] != 'P' || (data[1] != '6' && data[1] != '3')) return false;
  const bool raw = data[1] == '6';
  size_t at = 2;
  int w = 0, h = 0, maxValue = 0;
  if (!ReadPnmNumber(data, size, at, w) || !ReadPnmNumber(data, size, at, h) ||
      !ReadPnmNumber(data, size, at, maxValue))
    return false;
  if (!SizeAccepted(w, h) || maxValue < 1 || maxValue > 255) return false;
  const size_t samples = size_t(w) * size_t(h) * 3;
  // Both forms need at least a byte a sample: a file too short for its
  // header's size is refused before the picture's memory is taken.
  if (raw) {
    ++at;  // the one blank after the maximum value
    if (at > size || size - at < samples) return false;
  } else if (size - at < samples) {
    return false;
  }
  picture.Rgba.resize(size_t(w) * size_t(h) * 4);
  uint8_t* p = picture.Rgba.data();
  for (size_t i = 0; i < samples; ++i) {
    int s = 0;
    if (raw) {
      s = data[at + i];
    } else if (!ReadPnmNumber(data, size, at, s)) {
      picture = TRgbaPicture{};
      return false;
    }
    *p++ = uint8_t(std::min(s, maxValue) * 255 / maxValue);
    if (i % 3 == 2) *p++ = 255;
  }
  picture.Width = w;
  picture.Height = h;
  return true;
}

// ---- JPEG XL through libjxl, bound at run time.

namespace {

struct TJxlLibrary {
  bool Tried = false;
  bool Available = false;
  TModuleHandle Module = nullptr;
  decltype(&::JxlDecoderCreate) Create = nullptr;
  decltype(&::JxlDecoderDestroy) Destroy = nullptr;
  decltype(&::JxlDecoderSubscribeEvents) SubscribeEvents = nullptr;
  decltype(&::JxlDecoderSetInput) SetInput = nullptr;
  decltype(&::JxlDecoderCloseInput) CloseInput = nullptr;
  decltype(&::JxlDecoderProcessInput) ProcessInput = nullptr;
  decltype(&::JxlDecoderGetBasicInfo) GetBasicInfo = nullptr;
  decltype(&::JxlDecoderImageOutBufferSize) ImageOutBufferSize = nullptr;
  decltype(&::JxlDecoderSetImageOutBuffer) SetImageOutBuffer = nullptr;
};

TJxlLibrary Jxl;

template <typename T>
bool Bind(T& slot, const char* name) {
  slot = reinterpret_cast<T>(DllSymbol(Jxl.Module, name));
  return slot != nullptr;
}

// Every way out of a decode destroys its decoder.
struct TJxlDecoderHolder {
  JxlDecoder* Decoder;
  ~TJxlDecoderHolder() {
    if (Decoder) Jxl.Destroy(Decoder);
  }
};

}  // namespace

bool LoadJxlLibrary() {
  if (Jxl.Tried) return Jxl.Available;
  Jxl.Tried = true;
  Jxl.Module = LoadDllFromAppFolder("jxl.dll");
  if (!Jxl.Module) Jxl.Module = LoadDllFromAppFolder("libjxl.dll");
  if (!Jxl.Module) {
    LogLine("JXL: " + LinuxLibraryName("jxl.dll") +
            " (libjxl) not found in KORVAN's dll/ folder, or one of its dependencies "
            "(brotlicommon/brotlidec/hwy) is missing - JXL images unavailable");
    return false;
  }
  const bool all = Bind(Jxl.Create, "JxlDecoderCreate") & Bind(Jxl.Destroy, "JxlDecoderDestroy") &
                   Bind(Jxl.SubscribeEvents, "JxlDecoderSubscribeEvents") & Bind(Jxl.SetInput, "JxlDecoderSetInput") &
                   Bind(Jxl.CloseInput, "JxlDecoderCloseInput") & Bind(Jxl.ProcessInput, "JxlDecoderProcessInput") &
                   Bind(Jxl.GetBasicInfo, "JxlDecoderGetBasicInfo") &
                   Bind(Jxl.ImageOutBufferSize, "JxlDecoderImageOutBufferSize") &
                   Bind(Jxl.SetImageOutBuffer, "JxlDecoderSetImageOutBuffer");
  if (!all) {
    LogLine("JXL: " + LinuxLibraryName("jxl.dll") +
            " loaded but a JxlDecoder* entry point is missing - JXL images unavailable");
    return false;
  }
  LogLine("JXL: libjxl decoder loaded OK");
  Jxl.Available = true;
  return true;
}

bool DecodeJxl(const uint8_t* data, size_t size, TRgbaPicture& picture) {
  picture = TRgbaPicture{};
  if (!data || size == 0 || !LoadJxlLibrary()) return false;
  TJxlDecoderHolder holder{Jxl.Create(nullptr)};
  JxlDecoder* dec = holder.Decoder;
  if (!dec) return false;
  if (Jxl.SubscribeEvents(dec, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS) return false;
  if (Jxl.SetInput(dec, data, size) != JXL_DEC_SUCCESS) return false;
  Jxl.CloseInput(dec);
  const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  int64_t w = 0, h = 0;
  for (int step = 0; step < 10000; ++step) {
    const JxlDecoderStatus status = Jxl.ProcessInput(dec);
    switch (status) {
      case JXL_DEC_BASIC_INFO: {
        JxlBasicInfo info;
        if (Jxl.GetBasicInfo(dec, &info) != JXL_DEC_SUCCESS) return false;
        w = info.xsize;
        h = info.ysize;
        // Orientations 5 to 8 turn the picture by a quarter.
        if (info.orientation >= JXL_ORIENT_TRANSPOSE) std::swap(w, h);
        if (w == 0 || h == 0 || w > ApcMaxSide || h > ApcMaxSide) {
          char line[120];
          std::snprintf(line, sizeof line, "JXL: image %dx%d rejected (empty or over %d per side)", int(w), int(h),
                        ApcMaxSide);
          LogLine(line);
          return false;
        }
        if (w * h > ApcMaxPixels) {
          char line[120];
          std::snprintf(line, sizeof line, "JXL: image %dx%d rejected (over %lld pixels)", int(w), int(h),
                        (long long)ApcMaxPixels);
          LogLine(line);
          return false;
        }
        break;
      }
      case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
        size_t need = 0;
        if (w == 0 || h == 0 || Jxl.ImageOutBufferSize(dec, &format, &need) != JXL_DEC_SUCCESS ||
            need != size_t(w * h * 4))
          return false;
        picture.Rgba.resize(need);
        if (Jxl.SetImageOutBuffer(dec, &format, picture.Rgba.data(), need) != JXL_DEC_SUCCESS) {
          picture = TRgbaPicture{};
          return false;
        }
        break;
      }
      case JXL_DEC_FULL_IMAGE:
        // The first frame of an animation is the picture.
        if (picture.Rgba.size() != size_t(w * h * 4)) {
          picture = TRgbaPicture{};
          return false;
        }
        picture.Width = int32_t(w);
        picture.Height = int32_t(h);
        return true;
      case JXL_DEC_ERROR:
        LogLine("JXL: decoder reported an error - not a valid JPEG XL image");
        picture = TRgbaPicture{};
        return false;
      case JXL_DEC_SUCCESS:
      case JXL_DEC_NEED_MORE_INPUT:
        // The whole file was given: more input cannot come.
        picture = TRgbaPicture{};
        return false;
      default:
        break;
    }
  }
  picture = TRgbaPicture{};
  return false;
}
