// The door's sprite store: every sprite written to a pair of files in the
// asset folder (name.DAT, one "name,width,height" line a sprite; name.RAW,
// their pixels back to back) and the whole sprite set read back from them,
// so a door cuts its sprites once and reuses them on the next call.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct TGfxSprite;

namespace ddofxspritestore {

// A .DAT file larger than this is not loaded. The sprites it lists are
// held to the engine's limits on their count and their pixels in all.
constexpr size_t kMaxDatBytes = 1 << 20;

using TLog = std::function<void(const std::string&)>;
using TSprites = std::vector<std::unique_ptr<TGfxSprite>>;

// The file-name part of the door's name, trimmed; empty (with the reason in
// Why) when that is not a plain file name.
std::string BaseName(const std::string& name, std::string* why = nullptr);
// Writes Folder/base.DAT and Folder/base.RAW.
void StoreSprites(const std::string& folder, const std::string& name, const TSprites& sprites, const TLog& log);
// Replaces Sprites and Names from the pair (nothing when either file is
// missing); with DeleteAfter both files go once every sprite was read.
// Bytes becomes the pixel bytes the new sprites hold.
void LoadSprites(const std::string& folder, const std::string& name, bool deleteAfter, TSprites& sprites,
                 std::map<std::string, int>& names, size_t& bytes, const TLog& log);

}  // namespace ddofxspritestore
