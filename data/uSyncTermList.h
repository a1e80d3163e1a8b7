// The sectioned list: one "[Board name]" section of Key=Value lines per
// board, the form of SyncTERM's phonebook and of the board list that the
// outside list service publishes. Reads the list into sections and turns the
// sections into phonebook entries; appends only, never saves.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/uIniFile.h"
#include "data/uPhonebook.h"

// The list's sections in file order (Sections is emptied first). Sections of
// the same name stay separate; a key given twice in one section keeps its
// last value; values are looked up by key without regard to case. Malformed
// lines are logged and skipped. True when at least one section was found; a
// missing file gives false, and so does one that cannot be read or is larger
// than an import may be (with a log line).
bool LoadSyncTermSections(const std::string& fileName, std::vector<TIniSection>& sections);
// The same over the file's bytes.
bool ParseSyncTermSections(std::string_view data, std::vector<TIniSection>& sections);

// Where a list comes from. A list from the network never makes a shell entry:
// its "address" would be a command run on this machine when the user dials
// an innocent-looking board. A file the user picked may hold shell entries.
enum class TListOrigin { PickedFile, Network };

// Appends one entry per board of the list file to Book and returns how many:
// the board-list download and the import driver read lists through this.
// From the network, shell boards are skipped with a log line and counted in
// ShellSkipped. Without an origin the list is a file the user picked.
int32_t ImportSyncTerm(TPhonebook& book, const std::string& fileName, TListOrigin origin, int32_t& shellSkipped);
int32_t ImportSyncTerm(TPhonebook& book, const std::string& fileName);
// The same over the file's bytes.
int32_t ImportSyncTermData(TPhonebook& book, std::string_view data, TListOrigin origin, int32_t& shellSkipped);
int32_t ImportSyncTermData(TPhonebook& book, std::string_view data);
