#include "door/uDDOFXSpriteStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/uPlainFileName.h"
#include "door/uDDOFXGfx.h"
#include "door/uDDOFXText.h"

namespace ddofxspritestore {

namespace {

// The fields of a .DAT line: only commas separate them; a field may be
// enclosed in double quotes (two quotes inside stand for one).
std::vector<std::string> SplitLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"' && (quoted || fields.back().empty())) {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::string BaseName(const std::string& name, std::string* why) {
  std::string base = ddofxtext::Trim(name);
  const size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  if (base.empty() || !IsPlainPeerName(base, why)) return {};
  return base;
}

void StoreSprites(const std::string& folder, const std::string& name, const TSprites& sprites, const TLog& log) {
  std::string why;
  const std::string base = BaseName(name, &why);
  if (folder.empty() || ddofxtext::Trim(name).empty()) return;
  if (base.empty()) {
    log("2STORES failed: refused name \"" + name + "\": " + why);
    return;
  }
  const std::string path = (folder.back() == '/' ? folder : folder + "/") + base;
  std::string dat;
  FILE* raw = std::fopen((path + ".RAW").c_str(), "wb");
  if (!raw) {
    log("2STORES failed: " + path + ".RAW: " + ErrnoText());
    return;
  }
  bool ok = true;
  for (const auto& s : sprites) {
    char line[64];
    std::snprintf(line, sizeof line, ",%d,%d\r\n", s->Width, s->Height);
    dat += s->Name + line;
    const size_t bytes = s->Width > 0 && s->Height > 0 ? size_t(s->Width) * size_t(s->Height) : 0;
    if (ok && bytes > 0 && std::fwrite(s->Pixels.data(), 1, std::min(bytes, s->Pixels.size()), raw) !=
                               std::min(bytes, s->Pixels.size()))
      ok = false;
  }
  if (std::fclose(raw) != 0) ok = false;
  if (!ok) {
    log("2STORES failed: " + path + ".RAW: " + ErrnoText());
    return;
  }
  FILE* text = std::fopen((path + ".DAT").c_str(), "wb");
  if (!text || std::fwrite(dat.data(), 1, dat.size(), text) != dat.size() || std::fclose(text) != 0) {
    log("2STORES failed: " + path + ".DAT: " + ErrnoText());
    return;
  }
  log("stored " + std::to_string(sprites.size()) + " sprites as " + ddofxtext::Trim(name) + ".DAT/.RAW");
}

void LoadSprites(const std::string& folder, const std::string& name, bool deleteAfter, TSprites& sprites,
                 std::map<std::string, int>& names, size_t& bytes, const TLog& log) {
  std::string why;
  const std::string base = BaseName(name, &why);
  if (folder.empty() || base.empty()) return;
  const std::string datPath = FindPlainFile(folder, base + ".DAT"), rawPath = FindPlainFile(folder, base + ".RAW");
  if (datPath.empty() || rawPath.empty()) return;
  struct stat st {};
  if (stat(datPath.c_str(), &st) != 0 || uint64_t(st.st_size) > kMaxDatBytes) {
    log("2LOADS failed: " + datPath + " is larger than " + std::to_string(kMaxDatBytes) + " bytes");
    return;
  }
  std::string dat(size_t(st.st_size), '\0');
  FILE* f = std::fopen(datPath.c_str(), "rb");
  const bool read = f && std::fread(dat.data(), 1, dat.size(), f) == dat.size();
  if (f) std::fclose(f);
  FILE* raw = std::fopen(rawPath.c_str(), "rb");
  if (!read || !raw) {
    if (raw) std::fclose(raw);
    log("2LOADS failed: " + ErrnoText());
    return;
  }
  // Loading always replaces the whole sprite set.
  sprites.clear();
  names.clear();
  bytes = 0;
  std::string error;
  size_t start = 0;
  while (start < dat.size() && error.empty()) {
    size_t end = dat.find('\n', start);
    if (end == std::string::npos) end = dat.size();
    std::string line = dat.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> fields = SplitLine(line);
    if (fields.size() < 3) continue;
    const int64_t w = ddofxtext::Int64Def(fields[1], 0), h = ddofxtext::Int64Def(fields[2], 0);
    // Sizes are bounded before anything is read: a sprite cut from a page
    // is never wider or taller than the page nor over the pixel cap.
    if (w < 0 || h < 0 || w > ddofxgfx::kWidth || h > ddofxgfx::kHeight ||
        (w > 0 && h > 0 && w * h > ddofxgfx::kMaxSpritePixels)) {
      error = "sprite \"" + fields[0] + "\" claims " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
      break;
    }
    if (sprites.size() >= ddofxgfx::kMaxSprites) {
      error = "more than " + std::to_string(ddofxgfx::kMaxSprites) + " sprites";
      break;
    }
    if (w > 0 && h > 0 && bytes + size_t(w * h) > ddofxgfx::kMaxSpriteBytes) {
      error = "more than " + std::to_string(ddofxgfx::kMaxSpriteBytes) + " bytes of sprites";
      break;
    }
    auto sprite = std::make_unique<TGfxSprite>();
    sprite->Name = ddofxtext::Upper(fields[0]);
    sprite->Width = int32_t(w);
    sprite->Height = int32_t(h);
    if (w > 0 && h > 0) {
      sprite->Pixels.resize(size_t(w * h));
      if (std::fread(sprite->Pixels.data(), 1, sprite->Pixels.size(), raw) != sprite->Pixels.size()) {
        error = rawPath + " ends before sprite \"" + fields[0] + "\"";
        break;
      }
    } else {
      sprite->Width = sprite->Height = 0;
    }
    bytes += sprite->Pixels.size();
    names.emplace(sprite->Name, int(sprites.size()));
    sprites.push_back(std::move(sprite));
  }
  std::fclose(raw);
  if (!error.empty()) {
    log("2LOADS failed: " + error);
    return;
  }
  log("loaded " + std::to_string(sprites.size()) + " sprites from " + ddofxtext::Trim(name));
  if (deleteAfter) {
    unlink(datPath.c_str());
    unlink(rawPath.c_str());
  }
}

}  // namespace ddofxspritestore
