// Rewriting a file the program keeps (pin files, phonebooks, settings) so
// that it is either the old file or the complete new one, never a torn mix:
// the new contents go to a temporary file beside it, which then replaces it.
#pragma once
#include <string>

// Writes Contents to Path + ".tmp", flushes it to disk and renames it over
// Path. On failure the old file is left as it was, the temporary file is
// removed, false is returned and Error says what failed (with the errno text).
bool WriteFileReplacing(const std::string& path, const std::string& contents, std::string& error);
