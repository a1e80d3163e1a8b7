#include "sound/uVorbisFile.h"

// The library's own header gives the types; its functions are reached only
// through the loaded module, so its default stdio callbacks are left out.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <dlfcn.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "core/uDebugLog.h"
#include "core/uDllLoader.h"

namespace {

const char* const kVorbisLibrary = "vorbisfile.dll";

struct TVorbisApi {
  decltype(&ov_open_callbacks) OpenCallbacks = nullptr;
  decltype(&ov_read) Read = nullptr;
  decltype(&ov_pcm_total) PcmTotal = nullptr;
  decltype(&ov_clear) Clear = nullptr;
  decltype(&ov_info) Info = nullptr;
};

TVorbisApi vorbis;
bool vorbisAvailable = false;
std::once_flag vorbisTried;

void ProbeVorbisFile() {
  const std::string file = LinuxLibraryName(kVorbisLibrary);
  TModuleHandle module = LoadDllFromAppFolder(kVorbisLibrary);
  if (!module) {
    LogLine("VorbisFile: " + file + " not found - OGG/Vorbis audio disabled");
    return;
  }
  TVorbisApi api;
  api.OpenCallbacks = reinterpret_cast<decltype(api.OpenCallbacks)>(DllSymbol(module, "ov_open_callbacks"));
  api.Read = reinterpret_cast<decltype(api.Read)>(DllSymbol(module, "ov_read"));
  api.PcmTotal = reinterpret_cast<decltype(api.PcmTotal)>(DllSymbol(module, "ov_pcm_total"));
  api.Clear = reinterpret_cast<decltype(api.Clear)>(DllSymbol(module, "ov_clear"));
  api.Info = reinterpret_cast<decltype(api.Info)>(DllSymbol(module, "ov_info"));
  if (!api.OpenCallbacks || !api.Read || !api.PcmTotal || !api.Clear || !api.Info) {
    LogLine("VorbisFile: " + file + " loaded but missing expected exports - OGG/Vorbis audio disabled");
    dlclose(module);
    return;
  }
  vorbis = api;
  vorbisAvailable = true;
  LogLine("VorbisFile: " + file + " loaded OK - OGG/Vorbis audio available");
}

}  // namespace

bool LoadVorbisFile() {
  // The APC decode thread and the interface thread's format query may both
  // be first; one of them probes, the other waits for its answer.
  std::call_once(vorbisTried, ProbeVorbisFile);
  return vorbisAvailable;
}

size_t VorbisMemRead(void* buffer, size_t size, size_t count, void* source) {
  auto* s = static_cast<TVorbisMemSource*>(source);
  const int64_t remaining = s->Size - s->Position;
  if (remaining <= 0 || size == 0) return 0;
  // size x count may not fit 64 bits; only whole elements are delivered.
  uint64_t wanted = count > uint64_t(remaining) / size ? uint64_t(remaining) : uint64_t(size) * count;
  wanted -= wanted % size;
  if (wanted == 0) return 0;
  std::memcpy(buffer, s->Data + s->Position, size_t(wanted));
  s->Position += int64_t(wanted);
  return size_t(wanted / size);
}

int VorbisMemSeek(void* source, int64_t offset, int whence) {
  auto* s = static_cast<TVorbisMemSource*>(source);
  int64_t base;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = s->Position; break;
    case SEEK_END: base = s->Size; break;
    default: return -1;
  }
  int64_t position;
  if (__builtin_add_overflow(base, offset, &position) || position < 0 || position > s->Size) return -1;
  s->Position = position;
  return 0;
}

int VorbisMemClose(void*) { return 0; }  // the bytes belong to the caller

long VorbisMemTell(void* source) { return long(static_cast<TVorbisMemSource*>(source)->Position); }

bool DecodeOggVorbis(const uint8_t* data, int64_t length, std::vector<uint8_t>& samples, int& channels, int& rate,
                     size_t maxBytes) {
  samples.clear();
  channels = 0;
  rate = 0;
  if (!LoadVorbisFile() || !data || length <= 0) return false;
  TVorbisMemSource source{data, length, 0};
  OggVorbis_File state;
  std::memset(&state, 0, sizeof state);
  const ov_callbacks callbacks{VorbisMemRead, VorbisMemSeek, VorbisMemClose, VorbisMemTell};
  if (vorbis.OpenCallbacks(&source, &state, nullptr, 0, callbacks) != 0) {
    LogLine("VorbisFile: ov_open_callbacks failed - not a valid Ogg/Vorbis stream");
    return false;
  }
  struct TClear {
    OggVorbis_File* State;
    ~TClear() { vorbis.Clear(State); }
  } clear{&state};

  vorbis_info* info = vorbis.Info(&state, -1);
  if (!info) {
    LogLine("VorbisFile: ov_info returned nil");
    return false;
  }
  channels = info->channels;
  rate = int(info->rate);
  if (channels < 1 || channels > 2 || rate < 1000) {
    LogLine("VorbisFile: implausible stream (channels=" + std::to_string(channels) + " rate=" + std::to_string(rate) +
            ") - rejected");
    return false;
  }
  char chunk[8192];
  int section = 0;
  for (;;) {
    const long got = vorbis.Read(&state, chunk, int(sizeof chunk), 0, 2, 1, &section);
    if (got == 0) break;
    if (got < 0) {
      LogLine("VorbisFile: ov_read reported stream error (" + std::to_string(got) +
              ") partway through - clip discarded");
      samples.clear();
      return false;
    }
    if (samples.size() + size_t(got) > maxBytes) {
      LogLine("VorbisFile: stream decodes to more than " + std::to_string(maxBytes) + " bytes - clip discarded");
      samples.clear();
      samples.shrink_to_fit();
      return false;
    }
    if (samples.capacity() < samples.size() + size_t(got)) {
      size_t capacity = samples.capacity() == 0 ? 32768 : samples.capacity();
      while (capacity < samples.size() + size_t(got)) capacity *= 2;
      samples.reserve(std::min(capacity, maxBytes));
    }
    samples.insert(samples.end(), chunk, chunk + got);
  }
  return !samples.empty();
}
