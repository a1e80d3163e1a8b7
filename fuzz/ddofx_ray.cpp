// Feeds arbitrary door commands to the raycaster, one a line, with the
// input's tail as every asset it asks for (text maps and demos), ticking a
// simulated clock between commands; then reads the input as a sprite store
// pair (.DAT before the first NUL, .RAW after it). Checks that nothing
// crashes or hangs and that loaded sprites stay within their limits.
// fuzz-sources: door/uDDOFXRay.cpp door/uDDOFXRayView.cpp door/uDDOFXRayCommands.cpp
// fuzz-sources: door/uDDOFXSpriteStore.cpp core/uPlainFileName.cpp
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "door/uDDOFXRay.h"
#include "door/uDDOFXSpriteStore.h"

#include "door/uDDOFXGfx.h"  // the sprite record and its limits

namespace {

void Write(const std::string& path, const std::string& data) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
  }
}

const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/ddofx_ray_fuzz_XXXXXX";
    return std::string(mkdtemp(pattern)) + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  std::vector<uint8_t> sprite(40 * 40, 5);
  TDDOFXRay::TCallbacks calls;
  calls.SpriteIndexByName = [](const std::string& name) { return name.empty() ? -1 : int(name[0] & 3); };
  calls.SpritePixels = [&](int index, int& w, int& h, const uint8_t*& pixels) {
    w = 40 - index;
    h = 40;
    pixels = sprite.data();
    return index != 3;
  };
  calls.ReadAsset = [&](const std::string&, bool, std::string& data) {
    data = input.substr(input.size() / 2);
    return true;
  };
  calls.ForwardReply = [](const std::string&) {};
  calls.FireGadget = [](const std::string&, const std::string&) {};
  TDDOFXRay ray(calls);
  std::vector<uint8_t> page0(640 * 480), page3(640 * 480);
  uint64_t now = 1000;
  size_t start = 0;
  int commands = 0;
  while (start < Size && commands++ < 64) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = Size;
    ray.ExecCommand(input.substr(start, end - start), page0.data(), page3.data());
    now += 35;
    // A cast costs far more than a command: every eighth command ticks.
    if (commands % 8 == 0) ray.Tick(page0.data(), commands % 16 ? page3.data() : nullptr, now);
    start = end + 1;
  }
  ray.Tick(page0.data(), page3.data(), now + 35);

  const size_t nul = input.find('\0');
  Write(Folder() + "F.DAT", input.substr(0, nul));
  Write(Folder() + "F.RAW", nul == std::string::npos ? "" : input.substr(nul + 1));
  ddofxspritestore::TSprites sprites;
  std::map<std::string, int> names;
  size_t bytes = 0;
  ddofxspritestore::LoadSprites(Folder(), "f", false, sprites, names, bytes, [](const std::string&) {});
  for (const auto& s : sprites)
    if (s->Width < 0 || s->Height < 0 || size_t(s->Width) * size_t(s->Height) != s->Pixels.size() ||
        s->Pixels.size() > size_t(ddofxgfx::kMaxSpritePixels))
      abort();
  return 0;
}
