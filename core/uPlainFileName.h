// Names that arrive from outside (transfer headers, archive entries, door
// files, script names) are used only when they are a plain file name, so
// nothing is ever written outside the folder chosen for them.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// True for a plain file name: not empty, not "." or "..", no "/" or "\", no
// drive prefix ("C:"), no control character (bytes below 32 and 127).
// Otherwise false, with the reason in *why when given.
bool IsPlainFileName(const std::string& name, std::string* why = nullptr);

// Path itself when nothing of that name exists (a link counts, even one that
// leads nowhere) and Taken, when given, does not object to it; otherwise the
// first such of stem_2.ext, stem_3.ext and so on. The extension is what
// follows the last dot of the file name; a name without one (or whose only
// dot leads it, ".profile") gets the number at its end.
std::string FirstFreeFileName(const std::string& path, const std::function<bool(const std::string&)>& taken = {});

// Folders whose files are named by a peer (a door's assets, an archive's
// entries) are read through the three calls below: the peer names a plain
// file, letter case does not matter (DOS programs send names in any case),
// and a listing comes in one fixed order, so "the first that matches wins"
// picks the same file on every machine.

// A name a peer may use to look a file up: a plain file name, and no ":"
// anywhere (a drive or a stream to the programs that send these names).
// Otherwise false, with the reason in *why when given.
bool IsPlainPeerName(const std::string& name, std::string* why = nullptr);

// The regular files of Folder (no folders, no dot entries), by name,
// compared without regard to ASCII case and then byte by byte. Empty when
// the folder cannot be read.
std::vector<std::string> ListPlainFiles(const std::string& folder);

// The path of the regular file Name in Folder (which ends in "/"): the file
// of exactly that name when there is one, else the first of the listing
// whose name equals Name without regard to ASCII case. Empty when there is
// none (*why stays empty), or when Name is not a plain peer name (the
// reason in *why).
std::string FindPlainFile(const std::string& folder, const std::string& name, std::string* why = nullptr);

// The same through sub-folders: Path is plain peer names joined by "/"
// ("art/cmenus/m1_0.bin"), each folder on the way found as Name is, letter
// case ignored, the first of a sorted listing winning.
std::string FindPlainPath(const std::string& folder, const std::string& path, std::string* why = nullptr);

// A regular file's size and last-write time in local time.
struct TPlainFileInfo {
  int64_t Size = 0;
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
bool ReadPlainFileInfo(const std::string& path, TPlainFileInfo& info);
