#include "graphics/uImageFiles.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it, and jerror.h its types.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace {

std::string SizeText(uint64_t w, uint64_t h) { return std::to_string(w) + "x" + std::to_string(h); }

bool SideFits(uint64_t w, uint64_t h, int maxSide) {
  return w >= 1 && h >= 1 && w <= uint64_t(maxSide) && h <= uint64_t(maxSide);
}

}  // namespace

// ---- PNG, through libpng's simplified reader, which converts every colour
// type, depth and gamma to 8-bit RGBA and reports errors as text.

namespace {

// The reader stops after the last row it needs: a file cut short after its
// pixel data would pass. So the chunk list is walked first, by the lengths
// in the chunk headers, up to the IEND chunk that ends every whole file.
bool PngReachesItsEnd(const uint8_t* data, size_t size) {
  size_t at = 8;  // the signature
  while (at + 12 <= size) {
    const uint64_t length =
        uint64_t(data[at]) << 24 | uint64_t(data[at + 1]) << 16 | uint64_t(data[at + 2]) << 8 | uint64_t(data[at + 3]);
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
    if (length > size - at - 12) return false;
    at += 12 + size_t(length);
  }
  return false;
}

}  // namespace

TImageFileResult ReadPngFile(const uint8_t* data, size_t size, int maxSide, TRgbaPicture& out, std::string& error) {
  out = TRgbaPicture{};
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) {
    error = image.message;
    return TImageFileResult::ifFailed;
  }
  if (!SideFits(image.width, image.height, maxSide)) {
    error = SizeText(image.width, image.height);
    png_image_free(&image);
    return TImageFileResult::ifTooLarge;
  }
  if (!PngReachesItsEnd(data, size)) {
    error = "file cut short before its IEND chunk";
    png_image_free(&image);
    return TImageFileResult::ifFailed;
  }
  image.format = PNG_FORMAT_RGBA;
  out.Rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.Rgba.data(), 0, nullptr)) {
    error = image.message;
    out = TRgbaPicture{};
    return TImageFileResult::ifFailed;
  }
  out.Width = int32_t(image.width);
  out.Height = int32_t(image.height);
  return TImageFileResult::ifOk;
}

// ---- JPEG, through libjpeg. Its errors leave by longjmp back into
// ReadJpegFile; nothing with a destructor lives in that frame between the
// setjmp and the calls that may jump.

namespace {

// A progressive file may hold any number of scans, each a pass over the whole
// picture: past this many it is a time bomb, not a picture.
constexpr int kMaxJpegScans = 500;
// Working memory libjpeg may take (a progressive 4096 x 4096 picture needs
// about 100 MB of coefficients).
constexpr long kMaxJpegMemory = 256L * 1024 * 1024;

struct TJpegErrors {
  jpeg_error_mgr Base;
  jpeg_progress_mgr Progress;
  jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegFail(j_common_ptr cinfo) {
  TJpegErrors* e = reinterpret_cast<TJpegErrors*>(cinfo->err);
  e->Base.format_message(cinfo, e->Message);
  std::longjmp(e->Jump, 1);
}

// Warnings are ignored, except that the data ended early: libjpeg would fill
// the rest of the picture with grey and call it a success.
void JpegMessage(j_common_ptr cinfo, int level) {
  if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) JpegFail(cinfo);
}

void JpegProgress(j_common_ptr cinfo) {
  j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) {
    TJpegErrors* e = reinterpret_cast<TJpegErrors*>(cinfo->err);
    std::snprintf(e->Message, sizeof e->Message, "more than %d scans", kMaxJpegScans);
    std::longjmp(e->Jump, 1);
  }
}

}  // namespace

TImageFileResult ReadJpegFile(const uint8_t* data, size_t size, int maxSide, TRgbaPicture& out, std::string& error) {
  out = TRgbaPicture{};
  jpeg_decompress_struct cinfo;
  TJpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.Base);
  errors.Base.error_exit = JpegFail;
  errors.Base.emit_message = JpegMessage;
  errors.Message[0] = 0;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    error = errors.Message;
    out = TRgbaPicture{};
    return TImageFileResult::ifFailed;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxJpegMemory;
  errors.Progress.progress_monitor = JpegProgress;
  cinfo.progress = &errors.Progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (!SideFits(cinfo.image_width, cinfo.image_height, maxSide)) {
    error = SizeText(cinfo.image_width, cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    return TImageFileResult::ifTooLarge;
  }
  // CMYK pictures (Adobe's, stored inverted) are converted here; every other
  // colour space libjpeg turns into RGBA itself.
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_start_decompress(&cinfo);
  const size_t w = cinfo.output_width, h = cinfo.output_height;
  out.Rgba.resize(w * h * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.Rgba.data() + size_t(cinfo.output_scanline) * w * 4;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  if (cmyk) {
    for (size_t i = 0; i < w * h; ++i) {
      uint8_t* p = out.Rgba.data() + i * 4;
      const unsigned k = p[3];
      p[0] = uint8_t(p[0] * k / 255);
      p[1] = uint8_t(p[1] * k / 255);
      p[2] = uint8_t(p[2] * k / 255);
      p[3] = 255;
    }
  }
  out.Width = int32_t(w);
  out.Height = int32_t(h);
  return TImageFileResult::ifOk;
}

// ---- GIF, through giflib's record reader: only the records up to the first
// frame are read, so an animation costs no more than its first picture.

namespace {

struct TGifSource {
  const uint8_t* Data;
  size_t Size;
  size_t At;
};

int GifRead(GifFileType* gif, GifByteType* to, int count) {
  TGifSource* s = static_cast<TGifSource*>(gif->UserData);
  const size_t n = std::min(size_t(count < 0 ? 0 : count), s->Size - s->At);
  std::memcpy(to, s->Data + s->At, n);
  s->At += n;
  return int(n);
}

struct TGifCloser {
  GifFileType* Gif;
  ~TGifCloser() {
    int ignored = 0;
    if (Gif) DGifCloseFile(Gif, &ignored);
  }
};

TImageFileResult GifFailed(GifFileType* gif, std::string& error, TRgbaPicture& out) {
  const char* text = GifErrorString(gif->Error);
  error = text ? text : "GIF read error";
  out = TRgbaPicture{};
  return TImageFileResult::ifFailed;
}

}  // namespace

TImageFileResult ReadGifFile(const uint8_t* data, size_t size, int maxSide, TRgbaPicture& out, std::string& error) {
  out = TRgbaPicture{};
  TGifSource source{data, size, 0};
  int openError = 0;
  TGifCloser file{DGifOpen(&source, GifRead, &openError)};
  GifFileType* gif = file.Gif;
  if (!gif) {
    const char* text = GifErrorString(openError);
    error = text ? text : "GIF open error";
    return TImageFileResult::ifFailed;
  }
  if (gif->SWidth < 0 || gif->SHeight < 0 || (gif->SWidth > 0 && !SideFits(gif->SWidth, gif->SHeight, maxSide))) {
    error = SizeText(gif->SWidth, gif->SHeight);
    return TImageFileResult::ifTooLarge;
  }
  int transparent = -1;
  for (;;) {
    GifRecordType record;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) return GifFailed(gif, error, out);
    if (record == TERMINATE_RECORD_TYPE) {
      error = "no picture in the file";
      return TImageFileResult::ifFailed;
    }
    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return GifFailed(gif, error, out);
      // Graphic control: flags, delay (2 bytes), transparent index.
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) transparent = (block[1] & 1) ? block[4] : -1;
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return GifFailed(gif, error, out);
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) return GifFailed(gif, error, out);
    const GifImageDesc& frame = gif->Image;
    if (!SideFits(frame.Width, frame.Height, maxSide)) {
      error = SizeText(frame.Width, frame.Height);
      return TImageFileResult::ifTooLarge;
    }
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map || !map->Colors) {
      error = "no colour table";
      return TImageFileResult::ifFailed;
    }
    // The picture is the logical screen with the frame at its place;
    // without a screen size, the frame alone.
    const bool onScreen = gif->SWidth > 0 && gif->SHeight > 0;
    const int w = onScreen ? gif->SWidth : frame.Width, h = onScreen ? gif->SHeight : frame.Height;
    const int left = onScreen ? frame.Left : 0, top = onScreen ? frame.Top : 0;
    out.Rgba.assign(size_t(w) * size_t(h) * 4, 0);
    std::vector<GifPixelType> line(size_t(frame.Width));
    // Interlaced frames store rows in four passes: every 8th from 0, every
    // 8th from 4, every 4th from 2, every 2nd from 1.
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      const int start = frame.Interlace ? kStart[pass] : 0, step = frame.Interlace ? kStep[pass] : 1;
      for (int y = start; y < frame.Height; y += step) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return GifFailed(gif, error, out);
        const int oy = top + y;
        if (oy < 0 || oy >= h) continue;
        for (int x = 0; x < frame.Width; ++x) {
          const int ox = left + x, index = line[size_t(x)];
          if (ox < 0 || ox >= w || index == transparent || index >= map->ColorCount) continue;
          uint8_t* p = out.Rgba.data() + (size_t(oy) * size_t(w) + size_t(ox)) * 4;
          p[0] = map->Colors[index].Red;
          p[1] = map->Colors[index].Green;
          p[2] = map->Colors[index].Blue;
          p[3] = 255;
        }
      }
    }
    out.Width = w;
    out.Height = h;
    return TImageFileResult::ifOk;
  }
}
