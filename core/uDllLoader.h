// Optional run-time libraries are loaded from the "dll" folder beside the
// executable and from nowhere else: a missing file switches its feature off.
// The program asks for libraries by their historic names; each maps to the
// Linux file that provides it.
#pragma once
#include <string>

using TModuleHandle = void*;

// The Linux file name for a requested library name ("libssl-3.dll" gives
// "libssl.so.3"); names without a mapping are used as they stand.
std::string LinuxLibraryName(const std::string& name);

// AppFolder + "dll/" + the mapped file name.
std::string DllFolderPath(const std::string& name);

// Null when the library is not there or cannot be loaded; the reason goes to
// the debug log.
TModuleHandle LoadDllFromAppFolder(const std::string& name);

// Looks up an export of a loaded library; null when missing.
void* DllSymbol(TModuleHandle module, const char* symbol);
