// Named assets of the door: entries of its resource packs (the door's own
// pack first, then every pack of that kind in the asset folder, in the
// helper's fixed order) and loose files of the asset folder, all found by
// plain names with letter case ignored.
#include <cctype>
#include <cstdio>
#include <memory>

#include "core/uPlainFileName.h"
#include "door/uDDOFXGfx.h"
#include "door/uDDOFXText.h"
#include "door/uDDOFXPack.h"

using namespace ddofxgfx;

namespace {

struct TFileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

bool TDDOFXGfx::FindAsset(char kind, const std::string& name, std::string& data) {
  data.clear();
  if (AssetDir.empty()) return false;
  if (!PackBase.empty()) {
    const std::string own = FindPlainFile(AssetDir, PackBase + kind);
    if (!own.empty() && ddofxpack::LoadPackEntry(own, name, data)) return true;
  }
  const char want = char(std::toupper(static_cast<unsigned char>(kind)));
  for (const std::string& file : ListPlainFiles(AssetDir)) {
    if (file.empty() || char(std::toupper(static_cast<unsigned char>(file.back()))) != want) continue;
    TPlainFileInfo info;
    if (!ReadPlainFileInfo(AssetDir + file, info) || info.Size < 24) continue;
    if (ddofxpack::LoadPackEntry(AssetDir + file, name, data)) return true;
  }
  data.clear();
  return false;
}

bool TDDOFXGfx::ReadAsset(const std::string& name, bool fromPack, std::string& data) {
  data.clear();
  if (fromPack) return FindAsset('M', name, data);
  if (AssetDir.empty()) return false;
  std::string why;
  const std::string path = FindPlainFile(AssetDir, ddofxtext::Trim(name), &why);
  if (path.empty()) {
    if (!why.empty()) Log("refused asset name \"" + name + "\": " + why);
    return false;
  }
  std::unique_ptr<FILE, TFileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  // Read at most the cap; a longer file is cut there.
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
    const size_t room = size_t(kMaxLooseFileBytes) - data.size();
    data.append(buffer, std::min(n, room));
    if (data.size() >= size_t(kMaxLooseFileBytes)) break;
  }
  if (std::ferror(f.get())) {
    data.clear();
    return false;
  }
  return true;
}
