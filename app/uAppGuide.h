// The board-list download (Ctrl+F11): the archive address for a month, and
// picking the list out of the downloaded archive. The application's half,
// which runs the download and merges the list, lives in uAppGuide.cpp.
#pragma once
#include <cstdint>
#include <string>

// The board-list service: the monthly archives lie under
// "https://" + kGuideServiceHost + "/bbslist/".
extern const char* const kGuideServiceHost;

// The archive's address for a month from the GuideArchiveName setting:
// %MMYY%, %YYYY%, %MM% and %YY% (any case) become the date; a full http(s)
// address stands as it is, a file name goes under the service's folder.
std::string GuideArchiveUrl(const std::string& nameTemplate, int year, int month);

// How the update's report counts the shell boards it left out of a list:
// "1 shell entry skipped", "2 shell entries skipped".
std::string ShellSkippedText(int32_t count);

enum class TGuideExtract { Extracted, NotFound, TooLarge, Failed };

// Copies the archive's list (the first entry whose own name is
// "syncterm.lst", any case, also inside a folder) to Target. Entries that
// name an absolute path, a parent folder, a drive or control characters are
// refused with a log line; nothing but Target is ever written. TooLarge:
// the list is larger than an import may be, and is not kept. Failed: the
// archive could not be read, or the list not written (Error says why).
TGuideExtract ExtractGuideList(const std::string& zipPath, const std::string& target, std::string& error);
