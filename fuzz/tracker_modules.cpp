// Feeds arbitrary bytes to the door tracker's MOD and S3M loaders, then
// plays what loaded for a while, steps its orders and starts a sound effect
// from the same bytes. Checks that nothing crashes, that the mix never
// takes long, and that the samples a module holds stay within its size.
// fuzz-sources: door/uDDOFXAudio.cpp door/uDDOFXTracker.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "door/uDDOFXAudio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TDDOFXAudio audio;
  if (audio.LoadMusic(bytes, "fuzz")) {
    if (audio.SampleMemory() > 2 * size + 64 * 1024) std::abort();
    std::vector<int16_t> out(2 * 2048);
    for (int i = 0; i < 10; ++i) {
      audio.Mix(out.data(), 2048);
      if (i == 4) audio.StepPattern(size > 0 ? int(data[0]) - 128 : 1);
    }
    for (int c = 0; c < audio.ChannelCount(); ++c)
      if (audio.ChannelLevel(c) < 0 || audio.ChannelLevel(c) > 64) std::abort();
  }
  // The same bytes as a sound effect at a rate taken from them.
  const int rate = size >= 4 ? int(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                                   uint32_t(data[3]) << 24)
                             : 0;
  audio.PlaySample({std::make_shared<const std::string>(bytes)}, int(size % 160), rate);
  std::vector<int16_t> out(2 * 1024);
  audio.Mix(out.data(), 1024);
  return 0;
}
