#include "door/uDDOFXPack.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "core/uPlainFileName.h"
#include "door/uDDOFXText.h"

namespace ddofxpack {

namespace {

constexpr int kEntrySize = 24;
constexpr size_t kNameSize = 12;

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Walks the directory; Visit gets each named entry and returns true to stop.
bool Walk(const TPackReader& reader, int64_t fileSize,
          const std::function<bool(const std::string&, int64_t, int64_t)>& visit) {
  int64_t position = 0, previousLink = -1;
  int count = 0;
  uint8_t entry[kEntrySize];
  while (position >= 0 && position + kEntrySize <= fileSize && count < kMaxEntries) {
    ++count;
    if (!reader(kEntrySize, entry, position)) return false;
    const int64_t offset = Le32(entry + 12), size = Le32(entry + 16);
    if (entry[0] == 0xFF) {
      // Links only move forward, so a walk cannot come back to where it was.
      if (offset <= position || offset <= previousLink || offset + kEntrySize > fileSize) return false;
      previousLink = position;
      position = offset;
      continue;
    }
    size_t length = 0;
    while (length < kNameSize && entry[length] != 0) ++length;
    if (length == 0) return false;
    if (visit(std::string(reinterpret_cast<const char*>(entry), length), offset, size)) return true;
    position += kEntrySize;
  }
  return false;
}

struct TFileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<FILE, TFileCloser>;

TFile OpenPack(const std::string& path, int64_t& size) {
  TFile f(std::fopen(path.c_str(), "rb"));
  if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return nullptr;
  size = int64_t(std::ftell(f.get()));
  if (size < 0) return nullptr;
  return f;
}

TPackReader FileReader(FILE* f) {
  return [f](uint32_t count, uint8_t* buffer, int64_t position) {
    return std::fseek(f, long(position), SEEK_SET) == 0 && std::fread(buffer, 1, count, f) == count;
  };
}

}  // namespace

bool FindPackEntry(const TPackReader& reader, const std::string& name, int64_t& offset, int64_t& size,
                   int64_t fileSize) {
  offset = 0;
  size = 0;
  if (name.empty() || name.size() > kNameSize) return false;
  bool found = false;
  Walk(reader, fileSize, [&](const std::string& entryName, int64_t entryOffset, int64_t entrySize) {
    if (!SameName(entryName, name)) return false;
    // The first entry of that name decides, even when its data is broken.
    if (entryOffset + entrySize <= fileSize) {
      offset = entryOffset;
      size = entrySize;
      found = true;
    }
    return true;
  });
  return found;
}

bool LoadPackEntry(const std::string& path, const std::string& name, std::string& data) {
  data.clear();
  int64_t fileSize = 0;
  TFile f = OpenPack(path, fileSize);
  if (!f) return false;
  int64_t offset = 0, size = 0;
  if (!FindPackEntry(FileReader(f.get()), name, offset, size, fileSize)) return false;
  if (size > int64_t(kMaxEntryBytes)) return false;
  data.resize(size_t(size));
  if (size > 0 && !FileReader(f.get())(uint32_t(size), reinterpret_cast<uint8_t*>(data.data()), offset)) {
    data.clear();
    return false;
  }
  return true;
}

bool ExtractPackEntry(const std::string& pack, const std::string& name, std::string& data) {
  data.clear();
  const int64_t fileSize = int64_t(pack.size());
  TPackReader reader = [&pack](uint32_t count, uint8_t* buffer, int64_t position) {
    if (position < 0 || position + int64_t(count) > int64_t(pack.size())) return false;
    std::memcpy(buffer, pack.data() + position, count);
    return true;
  };
  int64_t offset = 0, size = 0;
  if (!FindPackEntry(reader, name, offset, size, fileSize)) return false;
  data = pack.substr(size_t(offset), size_t(size));
  return true;
}

void ListPackEntries(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  int64_t fileSize = 0;
  TFile f = OpenPack(path, fileSize);
  if (!f) return;
  Walk(FileReader(f.get()), fileSize, [&names](const std::string& entryName, int64_t, int64_t) {
    names.push_back(entryName);
    return false;
  });
}

std::string ResolveAssetFile(const std::string& folder, const std::string& name, std::string* why) {
  if (why) why->clear();
  const std::string x = ddofxtext::Trim(name);
  if (folder.empty() || x.empty()) return {};
  return FindPlainFile(folder, x, why);
}

bool ReadAssetFile(const std::string& folder, const std::string& name, std::string& data, std::string* why) {
  data.clear();
  const std::string path = ResolveAssetFile(folder, name, why);
  if (path.empty()) return false;
  TFile f(std::fopen(path.c_str(), "rb"));
  if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(f.get());
  if (size < 0 || size > kMaxAssetFileBytes) {
    if (why && size > kMaxAssetFileBytes) *why = "larger than 64 MiB";
    return false;
  }
  std::rewind(f.get());
  data.resize(size_t(size));
  if (size > 0 && std::fread(data.data(), 1, data.size(), f.get()) != data.size()) {
    data.clear();
    return false;
  }
  return true;
}

std::string AssetWritePath(const std::string& folder, const std::string& name, std::string* why) {
  if (why) why->clear();
  const std::string x = ddofxtext::Trim(name);
  if (folder.empty()) return {};
  std::string reason;
  if (!IsPlainPeerName(x, &reason)) {
    if (why) *why = reason;
    return {};
  }
  const std::string found = FindPlainFile(folder, x);
  return found.empty() ? folder + x : found;
}

}  // namespace ddofxpack
