// Decodes arbitrary bytes as an APC audio clip: RIFF/WAVE by our own chunk
// walk, Ogg/Vorbis through libvorbisfile from memory. Nothing may read
// outside the input, loop on a chunk size, or hold more than the clip limit;
// a clip that decodes has whole 16-bit samples and a plausible shape.
// fuzz-sources: sound/uApcClip.cpp sound/uVorbisFile.cpp core/uDebugLog.cpp core/uDllLoader.cpp
// fuzz-sources: platform/AppFolder.cpp platform/Tick.cpp
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/AppFolder.h"
#include "sound/uApcClip.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A program folder whose dll folder holds the system's libvorbisfile, so
  // Ogg input reaches the library.
  char folder[] = "/tmp/korvan-fuzz-XXXXXX";
  if (mkdtemp(folder)) {
    const std::string dll = std::string(folder) + "/dll";
    if (mkdir(dll.c_str(), 0755) == 0)
      (void)symlink("/usr/lib/x86_64-linux-gnu/libvorbisfile.so.3", (dll + "/libvorbisfile.so.3").c_str());
    platform::SetAppFolder(folder);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  TApcClip clip;
  const bool ok = DecodeClip(bytes, clip);
  if (ok != clip.Valid) std::abort();
  if (ok) {
    if (!clip.Samples || clip.Bytes() % 2 != 0 || clip.Bytes() > kMaxClipBytes) std::abort();
    if (clip.Channels <= 0 || clip.Rate <= 0) std::abort();
    // A WAVE clip never holds more than twice its input (8-bit widened).
    if (size >= 4 && data[0] == 'R' && clip.Bytes() > 2 * size) std::abort();
  }
  return 0;
}
