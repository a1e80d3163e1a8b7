// Rewriting a file the program keeps (pin files, phonebooks, settings) so
// that it is either the old file or the complete new one, never a torn mix:
// the new contents go to a temporary file beside it, which then replaces it.
// Reading such a file tells a missing file from one that cannot be read, so a
// caller never writes over a file it failed to read.
#pragma once
#include <cstdint>
#include <string>

// Writes Contents to Path + ".tmp", flushes it to disk and renames it over
// Path; the new file keeps the permission bits of the one it replaces. On
// failure the old file is left as it was, the temporary file is removed,
// false is returned and Error says what failed (with the errno value and text).
bool WriteFileReplacing(const std::string& path, const std::string& contents, std::string& error);

enum class TReadResult { Ok, Missing, Failed };

// Reads the whole file into Contents. Missing: no file of that name (Contents
// and Error empty). Failed: the name exists but cannot be read (a folder, an
// I/O error), or it holds more than MaxBytes; Contents is then empty and Error
// says why.
TReadResult ReadFileContents(const std::string& path, std::string& contents, std::string& error,
                             size_t maxBytes = SIZE_MAX);
