#include "graphics/uITerm2Parser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "core/uBase64.h"
#include "core/uControlChars.h"
#include "core/uDebugLog.h"
#include "core/uEscapeRun.h"
#include "core/uFontRenderer.h"
#include "graphics/uImageFiles.h"

namespace {

constexpr char kIntroducer[] = "1337;File=";
constexpr int kIntroducerLength = 10;

uint8_t Low7(uint8_t b) { return b & 0x7F; }

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(uint8_t(a[i])) != std::tolower(uint8_t(b[i]))) return false;
  return true;
}

bool EndsWithIgnoringCase(const std::string& text, const char* tail) {
  const size_t n = std::strlen(tail);
  return text.size() >= n && EqualsIgnoringCase(text.substr(text.size() - n), tail);
}

// A whole text as a signed decimal number within 32 bits.
bool ParseInteger(const std::string& text, int64_t& value) {
  value = 0;
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  if (i >= text.size()) return false;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return false;
  }
  if (negative) value = -value;
  return true;
}

std::string Trimmed(const std::string& s) {
  const size_t from = s.find_first_not_of(" \t");
  if (from == std::string::npos) return "";
  return s.substr(from, s.find_last_not_of(" \t") - from + 1);
}

}  // namespace

TITerm2Parser::TITerm2Parser(TTerminalBuffer* buffer, TFontRenderer* renderer, int cellW, int cellH)
    : FBuffer(buffer), FRenderer(renderer), FCellWidth(std::max(1, cellW)), FCellHeight(std::max(1, cellH)) {
  Reset();
}

void TITerm2Parser::Reset() {
  FState = isGround;
  FMatched = 0;
  FImagePlaced = false;
  ClearPayload();
}

void TITerm2Parser::ClearPayload() {
  FArgs.clear();
  FPayload = std::vector<uint8_t>();
  FAborted = false;
}

bool TITerm2Parser::TakeImagePlaced() {
  const bool placed = FImagePlaced;
  FImagePlaced = false;
  return placed;
}

size_t TITerm2Parser::PlainRun(const uint8_t* data, size_t count) const {
  // ESC with anything but "]" goes on as the two bytes it was.
  if (FState != isGround) return 0;
  return PassedEscapeRun(data, count, {']', uint8_t(']' | 0x80)});
}

void TITerm2Parser::ProcessByte(uint8_t b, std::vector<uint8_t>& out) {
  switch (FState) {
    case isGround:
      if (b == cc::ESC)
        FState = isEscape;
      else
        out.push_back(b);
      return;
    case isEscape:
      EscapeByte(b, out);
      return;
    case isMatch:
      if (Low7(b) == uint8_t(kIntroducer[FMatched])) {
        FMatchedBytes[FMatched++] = b;
        if (FMatched == kIntroducerLength) {
          FState = isArgs;
          FSpriteX = FBuffer ? FBuffer->CursorX * FCellWidth : 0;
          FSpriteY = FBuffer ? FBuffer->CursorY * FCellHeight : 0;
          ClearPayload();
        }
        return;
      }
      // Another OSC string (a window title and the like): it goes on whole.
      out.push_back(cc::ESC);
      out.push_back(']');
      out.insert(out.end(), FMatchedBytes, FMatchedBytes + FMatched);
      out.push_back(b);
      FState = isGround;
      return;
    case isArgs:
      if (Low7(b) == ':') {
        FState = isPayload;
      } else if (b == cc::BEL) {
        EndImage();
      } else if (b == cc::ESC) {
        EndImage();
        FState = isDiscardEscape;
      } else if (FArgs.size() < ArgsLimit) {
        FArgs.push_back(char(Low7(b)));
      } else {
        // Too many arguments: the string is dropped up to its terminator, so
        // none of its base64 reaches the screen.
        EndImage();
        FState = isDiscard;
      }
      return;
    case isPayload:
      if (b == cc::BEL) {
        DecodeImage();
      } else if (b == cc::ESC) {
        FState = isPayloadEscape;
      } else {
        AppendBase64(b);
      }
      return;
    case isPayloadEscape:
      if (Low7(b) == '\\') {
        DecodeImage();
      } else if (b != cc::ESC) {
        AppendBase64(b);
        FState = isPayload;
      }
      return;
    case isDiscard:
      if (b == cc::BEL)
        FState = isGround;
      else if (b == cc::ESC)
        FState = isDiscardEscape;
      return;
    case isDiscardEscape:
      if (Low7(b) == '\\')
        FState = isGround;
      else
        EscapeByte(b, out);
      return;
  }
}

void TITerm2Parser::EscapeByte(uint8_t b, std::vector<uint8_t>& out) {
  if (Low7(b) == ']') {
    FState = isMatch;
    FMatched = 0;
    return;
  }
  out.push_back(cc::ESC);
  out.push_back(b);
  FState = isGround;
}

void TITerm2Parser::AppendBase64(uint8_t b) {
  if (FAborted) return;
  if (FPayload.size() >= PayloadLimit) {
    FAborted = true;
    FPayload = std::vector<uint8_t>();
    LogLine("ITERM2: base64 payload exceeded " + std::to_string(PayloadLimit) + " bytes - aborting this image");
    return;
  }
  if (FPayload.size() == FPayload.capacity())
    FPayload.reserve(std::min(std::max<size_t>(4096, FPayload.capacity() * 2), PayloadLimit));
  FPayload.push_back(b);
}

std::string TITerm2Parser::GetArg(const std::string& key) const {
  size_t at = 0;
  for (;;) {
    const size_t end = std::min(FArgs.find(';', at), FArgs.size());
    const std::string item = FArgs.substr(at, end - at);
    const size_t eq = item.find('=');
    if (eq != std::string::npos && EqualsIgnoringCase(Trimmed(item.substr(0, eq)), key.c_str()))
      return item.substr(eq + 1);
    if (end >= FArgs.size()) return "";
    at = end + 1;
  }
}

int TITerm2Parser::ParseSize(const std::string& text, int cellSize, int screenSize) {
  if (text.empty() || EqualsIgnoringCase(text, "auto")) return 0;
  int64_t n = 0, pixels = 0;
  if (EndsWithIgnoringCase(text, "px")) {
    if (!ParseInteger(text.substr(0, text.size() - 2), n)) return 0;
    pixels = n;
  } else if (text.back() == '%') {
    if (!ParseInteger(text.substr(0, text.size() - 1), n)) return 0;
    pixels = std::llround(double(n) / 100.0 * screenSize);
  } else {
    if (!ParseInteger(text, n)) return 0;
    pixels = n * cellSize;
  }
  return int(std::clamp<int64_t>(pixels, 0, MaxSide));
}

void TITerm2Parser::DecodeImage() {
  if (FAborted || FPayload.empty()) {
    EndImage();
    return;
  }
  std::vector<uint8_t> file;
  const bool decoded =
      Base64Decode(std::string_view(reinterpret_cast<const char*>(FPayload.data()), FPayload.size()), file);
  FPayload = std::vector<uint8_t>();
  if (!decoded || file.empty()) {
    LogLine("ITERM2: base64 decode failed or empty - dropping image");
    EndImage();
    return;
  }
  TRgbaPicture picture;
  std::string error;
  TImageFileResult result;
  const uint8_t* d = file.data();
  if (file.size() >= 8 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') {
    result = ReadPngFile(d, file.size(), MaxSide, picture, error);
  } else if (file.size() >= 3 && d[0] == 0xFF && d[1] == 0xD8) {
    result = ReadJpegFile(d, file.size(), MaxSide, picture, error);
  } else if (file.size() >= 6 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F' && d[3] == '8') {
    result = ReadGifFile(d, file.size(), MaxSide, picture, error);
  } else {
    LogLine("ITERM2: decoded payload is not a recognized PNG/JPEG/GIF (unrecognized magic bytes) - dropping image");
    EndImage();
    return;
  }
  if (result == TImageFileResult::ifTooLarge) {
    LogLine("ITERM2: picture of " + error + " is over " + std::to_string(MaxSide) + " per side - dropping image");
  } else if (result == TImageFileResult::ifFailed) {
    LogLine("ITERM2: image decode raised " + error + " - dropping image");
  } else {
    file = std::vector<uint8_t>();
    ShowPicture(picture.Rgba.data(), picture.Width, picture.Height);
  }
  EndImage();
}

void TITerm2Parser::ShowPicture(const uint8_t* rgba, int pictureW, int pictureH) {
  const int screenW = FBuffer ? FBuffer->FWidth * FCellWidth : 0;
  const int screenH = FBuffer ? FBuffer->FHeight * FCellHeight : 0;
  int64_t w = ParseSize(GetArg("width"), FCellWidth, screenW);
  int64_t h = ParseSize(GetArg("height"), FCellHeight, screenH);
  const bool keepAspect = GetArg("preserveAspectRatio") != "0";
  if (w == 0 && h == 0) {
    w = pictureW;
    h = pictureH;
  } else if (w == 0 && keepAspect) {
    w = std::llround(double(h) * pictureW / pictureH);
  } else if (h == 0 && keepAspect) {
    h = std::llround(double(w) * pictureH / pictureW);
  } else {
    if (w == 0) w = pictureW;
    if (h == 0) h = pictureH;
  }
  w = std::clamp<int64_t>(w, 1, MaxSide);
  h = std::clamp<int64_t>(h, 1, MaxSide);

  if (FRenderer) {
    // Nearest-neighbour scaling of the part that lies on the screen.
    const int64_t visibleW = FBuffer ? std::clamp<int64_t>(screenW - FSpriteX, 0, w) : w;
    const int64_t visibleH = FBuffer ? std::clamp<int64_t>(screenH - FSpriteY, 0, h) : h;
    if (visibleW > 0 && visibleH > 0) {
      const size_t n = size_t(visibleW) * size_t(visibleH);
      std::vector<TColorRGB> rgb(n);
      std::vector<uint8_t> mask(n, 0);
      std::vector<int> columnOf(static_cast<size_t>(visibleW), 0);
      for (int64_t x = 0; x < visibleW; ++x)
        columnOf[size_t(x)] = int(std::min<int64_t>(x * pictureW / w, pictureW - 1));
      for (int64_t y = 0; y < visibleH; ++y) {
        const int64_t sy = std::min<int64_t>(y * pictureH / h, pictureH - 1);
        const uint8_t* row = rgba + size_t(sy) * size_t(pictureW) * 4;
        const size_t at = size_t(y) * size_t(visibleW);
        for (int64_t x = 0; x < visibleW; ++x) {
          const uint8_t* p = row + size_t(columnOf[size_t(x)]) * 4;
          if (p[3] == 0) continue;
          rgb[at + size_t(x)] = TColorRGB{p[0], p[1], p[2]};
          mask[at + size_t(x)] = 1;
        }
      }
      FRenderer->AddImageSprite(FSpriteX, FSpriteY, int(visibleW), int(visibleH), rgb, mask);
      FImagePlaced = true;
    }
  }
  if (FBuffer) {
    const int64_t lines = std::max<int64_t>(1, (h + FCellHeight - 1) / FCellHeight);
    for (int64_t i = 0; i < lines; ++i) FBuffer->NewLine(false);
    FBuffer->CarriageReturn();
  }
}

void TITerm2Parser::EndImage() {
  ClearPayload();
  FState = isGround;
}
