#include "core/uDllLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <utility>

#include "core/uDebugLog.h"
#include "platform/AppFolder.h"

std::string LinuxLibraryName(const std::string& name) {
  static const std::pair<const char*, const char*> names[] = {
      {"libssl-3.dll", "libssl.so.3"},       {"libcrypto-3.dll", "libcrypto.so.3"},
      {"libssh2.dll", "libssh2.so.1"},       {"vorbisfile.dll", "libvorbisfile.so.3"},
      {"jxl.dll", "libjxl.so"},              {"libjxl.dll", "libjxl.so"},
  };
  for (const auto& [requested, file] : names)
    if (name == requested) return file;
  return name;
}

std::string DllFolderPath(const std::string& name) {
  return platform::AppFolder() + "dll/" + LinuxLibraryName(name);
}

TModuleHandle LoadDllFromAppFolder(const std::string& name) {
  std::string path = DllFolderPath(name);
  // The file must be there now: a library loaded earlier from the same path
  // would otherwise be handed back after its file was removed.
  if (access(path.c_str(), R_OK) != 0) {
    LogLine("DllLoader: " + path + " is missing");
    return nullptr;
  }
  // A full path keeps the dynamic loader from searching anywhere else for the
  // library itself; its own dependencies resolve as the system resolves them.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    LogLine("DllLoader: cannot load " + path + ": " + (why ? why : "unknown error"));
  }
  return module;
}

void* DllSymbol(TModuleHandle module, const char* symbol) {
  return module ? dlsym(module, symbol) : nullptr;
}
