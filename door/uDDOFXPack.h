// Door files: every file a door names is looked up, read and written here,
// as a plain name inside the door's asset folder (see uPlainFileName.h).
// Door resource packs: a directory of 24-byte entries (a name of up to 12
// characters, the data's offset and size, little-endian) that may continue
// forward through link entries, followed by the entries' data. The walk
// never reads outside the file and always ends.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ddofxpack {

constexpr int kMaxEntries = 100000;           // directory entries read per walk, links included
constexpr uint32_t kMaxEntryBytes = 16u << 20;  // an entry larger than this is not loaded from a file

// Fills Count bytes from Position; false when it cannot.
using TPackReader = std::function<bool(uint32_t count, uint8_t* buffer, int64_t position)>;

// The first entry named Name (ASCII case ignored) in directory order.
bool FindPackEntry(const TPackReader& reader, const std::string& name, int64_t& offset, int64_t& size,
                   int64_t fileSize);
// The entry's bytes from the pack file at Path; false (Data empty) when the
// file, the entry or its bytes are missing, or the entry is too large.
bool LoadPackEntry(const std::string& path, const std::string& name, std::string& data);
// The same over a pack held in memory.
bool ExtractPackEntry(const std::string& pack, const std::string& name, std::string& data);
// Every entry name in directory order (link entries are not listed).
void ListPackEntries(const std::string& path, std::vector<std::string>& names);

// The largest file a door may have read whole.
constexpr int64_t kMaxAssetFileBytes = 64 << 20;

// The path of the file a door names in Folder (which ends in "/"): the file
// of exactly that name (trimmed), else the first whose name equals it
// without regard to case. Empty when there is none, and also, with the
// reason in *why, when the name is not a plain file name.
std::string ResolveAssetFile(const std::string& folder, const std::string& name, std::string* why = nullptr);
// Reads that file whole (without locking others out); false when it is
// missing, refused, unreadable or larger than kMaxAssetFileBytes.
bool ReadAssetFile(const std::string& folder, const std::string& name, std::string& data, std::string* why = nullptr);
// Where a door may write the file it names: the existing file found as
// above, else Folder + the name. Empty (the reason in *why) when the name
// is not a plain file name or there is no folder.
std::string AssetWritePath(const std::string& folder, const std::string& name, std::string* why = nullptr);

}  // namespace ddofxpack
