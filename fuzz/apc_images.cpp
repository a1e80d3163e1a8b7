// The APC image engine and its decoders with arbitrary bytes: as a PPM or
// JPEG XL file stored and drawn with arbitrary arguments, inline, and as a
// whole APC string. Every picture placed must lie on the screen and the
// cache stay within its bound. libjxl is bound from a dll folder beside the
// fuzzer, linked to the system's copy.
// fuzz-sources: graphics/uApcImages.cpp graphics/uApcDecoders.cpp core/uBase64.cpp core/uDllLoader.cpp
// fuzz-sources: core/uDebugLog.cpp platform/AppFolder.cpp platform/Tick.cpp
// fuzz-sources: core/uFontRenderer.cpp core/uFontRendererFont.cpp core/uFontRendererFrame.cpp
// fuzz-sources: core/uFontRendererPresent.cpp core/uBuiltinGlyphs.cpp core/uTerminalBuffer.cpp core/uUtf8Cp437.cpp
// fuzz-sources: platform/Surface.cpp platform/FindFile.cpp
// fuzz-libs: -lcrypto
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/uFontRenderer.h"
#include "fuzz/FuzzBase64.h"
#include "graphics/uApcImages.h"
#include "platform/AppFolder.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::error_code ec;
  const std::string dll = platform::AppFolder() + "dll";
  std::filesystem::create_directory(dll, ec);
  std::filesystem::create_symlink("/usr/lib/x86_64-linux-gnu/libjxl.so.0.7", dll + "/libjxl.so", ec);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  TBitmapFont font(8, 16);
  TFontRenderer renderer(&font);
  TApcImageEngine engine(&renderer);
  const int screenW = 1 + data[1] * 4, screenH = 1 + data[2] * 2;
  engine.OnScreenPixels = [&](int& w, int& h) { w = screenW, h = screenH; };
  uint64_t now = 0;
  engine.Clock = [&] { return now += 5000; };
  std::string reply;
  const uint8_t mode = data[0];
  // The arguments: up to 48 bytes after the first four, cut at a '|'.
  const std::string rest(reinterpret_cast<const char*>(data + 4), size - 4);
  const size_t bar = rest.find('|');
  const std::string args = bar != std::string::npos && bar < 48 ? rest.substr(0, bar) : "";
  const size_t fileAt = bar != std::string::npos && bar < 48 ? bar + 1 : 0;
  const uint8_t* file = data + 4 + fileAt;
  const size_t fileSize = rest.size() - fileAt;
  const std::string format = mode & 1 ? "JXL" : "PPM";
  switch (mode % 4) {
    case 0:
    case 1:
      engine.HandleApc("SyncTERM:C;S;f." + std::string(mode & 1 ? "jxl" : "ppm") + ";" + FuzzBase64(file, fileSize),
                       reply);
      engine.HandleApc("SyncTERM:C;L;" + args, reply);
      engine.HandleApc("SyncTERM:C;Draw" + format + ";" + args + (args.empty() ? "" : ";") + "f." +
                           std::string(mode & 1 ? "jxl" : "ppm"),
                       reply);
      break;
    case 2:
    case 3:
      engine.HandleApc(
          "SyncTERM:C;Draw" + format + "Blob;" + args + (args.empty() ? "" : ";") + FuzzBase64(file, fileSize), reply);
      break;
  }
  engine.HandleApc(std::string(reinterpret_cast<const char*>(data), size), reply);
  Check(engine.TotalBytes() <= TApcImageEngine::CacheLimit);
  for (const TImageSprite& s : renderer.Sprites())
    Check(s.W > 0 && s.H > 0 && s.X >= 0 && s.Y >= 0 && s.X + s.W <= screenW && s.Y + s.H <= screenH);
  return 0;
}
