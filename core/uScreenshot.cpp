#include "core/uScreenshot.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/uFileReplace.h"
#include "platform/Tick.h"

namespace {

bool IsPlainNameChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.' ||
         c == '_';
}

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

// libpng reports errors through a callback that must not return; the message
// is kept and control goes back to the setjmp in WritePng.
void PngError(png_structp png, png_const_charp msg) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(png));
  *error = msg;
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

void PngAppend(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}
void PngFlush(png_structp) {}

// Writes 8-bit RGB rows as PNG into Out. Only plain values live in this
// frame, since libpng leaves it by longjmp on an error.
bool WriteRgbPng(png_bytep* rows, int width, int height, std::string* out, std::string* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, PngError, PngWarning);
  if (!png) {
    *error = "could not start the PNG writer";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    if (error->empty()) *error = "could not start the PNG writer";
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, PngAppend, PngFlush);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

// Encodes the top-left Width x Height pixels as 8-bit RGB into Out. Pixels
// outside the source read as black, as a copy from beyond a window's edge does.
bool EncodePng(const platform::Surface& source, int width, int height, std::string& out, std::string& error) {
  const size_t stride = size_t(width) * 3;
  std::vector<png_byte> rgb(stride * size_t(height), 0);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    png_byte* row = rgb.data() + size_t(y) * stride;
    rows[size_t(y)] = row;
    if (y >= source.Height()) continue;
    const uint32_t* src = source.Row(y);
    for (int x = 0, n = std::min(width, source.Width()); x < n; ++x) {
      row[size_t(x) * 3] = png_byte(src[x] >> 16);
      row[size_t(x) * 3 + 1] = png_byte(src[x] >> 8);
      row[size_t(x) * 3 + 2] = png_byte(src[x]);
    }
  }
  return WriteRgbPng(rows.data(), width, height, &out, &error);
}

}  // namespace

std::string SanitizeFileNamePart(const std::string& name) {
  if (name.empty()) return "korvan";
  std::string out = name;
  for (char& c : out)
    if (!IsPlainNameChar(c)) c = '_';
  return out;
}

void MakeCaptureFileName(const std::string& folder, const std::string& name, const std::string& ext,
                         std::string& fileName) {
  namespace fs = std::filesystem;
  fileName.clear();
  std::string dir = folder.empty() ? "screenshots" : folder;
  for (char& c : dir)
    if (c == '\\') c = '/';
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) return;
  }
  if (dir.back() != '/') dir += '/';
  platform::LocalTime t = platform::NowLocal();
  std::string base = dir + SanitizeFileNamePart(name) + "_" + std::to_string(t.Year) + TwoDigits(t.Month) +
                     TwoDigits(t.Day) + "_" + TwoDigits(t.Hour) + TwoDigits(t.Minute) + TwoDigits(t.Second);
  fileName = FirstFreeFileName(base + "." + ext);
}

bool SaveScreenshotPng(const platform::Surface& source, int width, int height, const std::string& fileName,
                       std::string& error) {
  error.clear();
  if (source.Empty() || width <= 0 || height <= 0) {
    error = "nothing to capture";
    return false;
  }
  if (width > platform::Surface::kMaxSide || height > platform::Surface::kMaxSide) {
    error = "picture too large";
    return false;
  }
  // Written beside the target and renamed over it, so a failed write never
  // leaves a truncated picture under the final name.
  std::string encoded;
  return EncodePng(source, width, height, encoded, error) && WriteFileReplacing(fileName, encoded, error);
}
