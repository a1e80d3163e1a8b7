// The program's own files, which no download may touch: the call's
// transfers ask the program before they write.
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <vector>

#include "app/uApp.h"
#include "app/uAppCallHost.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "net/uSSHClient.h"
#include "net/uTelnetClient.h"
#include "platform/AppFolder.h"

namespace fs = std::filesystem;

namespace {

std::string LowerCase(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The path with every link and "." or ".." of its existing part resolved.
fs::path Resolved(const std::string& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(path, ec);
  return ec ? fs::path(path).lexically_normal() : resolved;
}

// True when Path is Folder or lies inside it.
bool Within(const fs::path& path, const fs::path& folder) {
  const fs::path relative = path.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

// The program's own files and folders, which no download may touch: the
// settings, both phonebooks and every copy kept beside them (backups and
// dated copies begin with their names), the pin files, the debug log and the
// executable; the fonts, icons, dll and scripts folders; and the capture
// folder when it is not the download folder itself. Names in the program's
// folder compare without regard to case, as its own look-ups do.
bool TAppCallHost::IsProgramPath(const std::string& path) const {
  const fs::path target = Resolved(path);
  const std::string appFolder = platform::AppFolder();
  for (const char* folder : {"fonts", "icons", "dll", "scripts"})
    if (Within(target, Resolved(appFolder + folder))) return true;
  if (A.FConfig && !A.FConfig->CaptureDir.empty()) {
    const fs::path captures = Resolved(ResolvePath(OutputFolderSetting(*A.FConfig)));
    if (captures != Resolved(ResolvePath(A.FConfig->DownloadDir)) && Within(target, captures)) return true;
  }
  if (target == Resolved("/proc/self/exe")) return true;
  // A name that begins like one of these, beside it, is the program's (the
  // backup reminder's copies are phonebook_backup_<date>.ini).
  std::vector<std::string> files = {appFolder + "korvan_debug.log", appFolder + "phonebook_backup_",
                                    SshKnownHostsPath(), TlsKnownHostsPath()};
  if (A.FConfig) files.push_back(A.FConfig->FFileName);
  if (A.FPhonebook) files.push_back(A.FPhonebook->FileName());
  if (A.FGuidebook) files.push_back(A.FGuidebook->FileName());
  const std::string name = LowerCase(target.filename().string());
  for (const std::string& file : files) {
    const fs::path own = Resolved(file);
    if (target.parent_path() == own.parent_path() && name.rfind(LowerCase(own.stem().string()), 0) == 0) return true;
  }
  return false;
}

