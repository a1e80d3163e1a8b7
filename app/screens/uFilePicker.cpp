#include "app/screens/uFilePicker.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/screens/uDirectoryScreen.h"
#include "app/screens/uInputBox.h"
#include "app/uScreenText.h"
#include "core/uPlainFileName.h"
#include "platform/FindFile.h"
#include "platform/Keys.h"

namespace fs = std::filesystem;
namespace vk = platform::vk;

const char* const kPickerStatus = "Enter: Select/Open folder   Backspace: Up one folder   Esc: Cancel";

namespace {

constexpr size_t kPathLimit = 120;
const std::string kQueueFooter = "ENTER/Add   TAB/Switch Windows   DEL/Delete   F5/Jump   F6/Drive   ESC/Quit";
constexpr TColorRGB kFolderCyan{0, 255, 255}, kQueuedGreen{0, 255, 0}, kEmptyNote{170, 170, 0};

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Listed order: without regard to case, then byte order so that names
// differing only in case (distinct files here) keep a fixed order.
bool ListedBefore(const std::string& a, const std::string& b) {
  const int c = strcasecmp(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

void SortUnique(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), ListedBefore);
  names.erase(std::unique(names.begin(), names.end()), names.end());
}

std::vector<std::string> SplitMasks(const std::string& masks) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= masks.size()) {
    size_t semi = masks.find(';', at);
    if (semi == std::string::npos) semi = masks.size();
    const std::string mask = TrimText(masks.substr(at, semi - at));
    if (!mask.empty()) out.push_back(mask);
    at = semi + 1;
  }
  return out;
}

bool IsVariableChar(char c, bool first) {
  return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (!first && c >= '0' && c <= '9');
}

// The value of a set, non-empty variable; false otherwise.
bool Variable(const std::string& name, std::string& value) {
  const char* v = name.empty() ? nullptr : std::getenv(name.c_str());
  if (!v || !*v) return false;
  value = v;
  return true;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

// A typed path as a full path: "\" read as "/", "~" the home folder, and a
// relative path taken from the process's current folder.
std::string FullTypedPath(std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  if (text == "~" || text.rfind("~/", 0) == 0) text = HomeFolder() + text.substr(1);
  fs::path p(text);
  std::error_code ec;
  if (p.is_relative()) p = fs::current_path(ec) / p;
  return p.lexically_normal().string();
}

// True when Path is Volume or lies inside it (both with trailing "/").
bool OnVolume(const std::string& path, const std::string& volume) { return path.rfind(volume, 0) == 0; }

// A mount point as /proc/self/mounts writes it: blanks and the like as
// octal escapes ("\040").
std::string UnescapeMount(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                       std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
                       std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
                       std::isdigit(static_cast<unsigned char>(field[i + 3]));
    if (octal) {
      out += char(std::stoi(field.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

std::string ExpandEnvVars(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    std::string value;
    if (text[i] == '%') {
      const size_t close = text.find('%', i + 1);
      if (close != std::string::npos && close > i + 1 && Variable(text.substr(i + 1, close - i - 1), value)) {
        out += value;
        i = close + 1;
        continue;
      }
    } else if (text[i] == '$') {
      size_t start = i + 1, end = start;
      const bool braced = start < text.size() && text[start] == '{';
      if (braced) end = ++start;
      while (end < text.size() && IsVariableChar(text[end], end == start)) ++end;
      const bool closed = !braced || (end < text.size() && text[end] == '}');
      if (end > start && closed && Variable(text.substr(start, end - start), value)) {
        out += value;
        i = end + (braced ? 1 : 0);
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

std::vector<std::string> PickerVolumes() {
  std::vector<std::string> volumes = {"/", WithSlash(HomeFolder())};
  std::vector<std::string> mounts;
  std::ifstream table("/proc/self/mounts");
  std::string device, point, rest;
  while (table >> device >> point && std::getline(table, rest)) {
    point = WithSlash(UnescapeMount(point));
    if (point.rfind("/media/", 0) == 0 || point.rfind("/mnt/", 0) == 0) mounts.push_back(point);
  }
  SortUnique(mounts);
  for (const std::string& m : mounts)
    if (std::find(volumes.begin(), volumes.end(), m) == volumes.end()) volumes.push_back(m);
  if (volumes[1] == volumes[0]) volumes.erase(volumes.begin() + 1);
  return volumes;
}

std::string NextVolume(const std::string& folder, const std::vector<std::string>& volumes) {
  // The volume holding the folder is the longest one it lies in; for a
  // folder on none the search starts with the first.
  const size_t n = volumes.size();
  size_t current = n;
  for (size_t i = 0; i < n; ++i)
    if (OnVolume(folder, volumes[i]) && (current == n || volumes[i].size() > volumes[current].size())) current = i;
  const size_t start = current == n ? n - 1 : current;
  for (size_t step = 1; step <= n; ++step) {
    const size_t i = (start + step) % n;
    if (i == current) break;  // round to the start again
    std::error_code ec;
    if (fs::is_directory(volumes[i], ec)) return volumes[i];
  }
  return {};
}

TFilePickerScreen::TFilePickerScreen(TScreenServices& services, TPickerSpec spec)
    : FServices(services), FSpec(std::move(spec)) {
  FFromDirectory = FServices.ScreenMode() == smDirectory;
  FFolder = WithSlash(FSpec.Folder);
  if (HasQueuePane()) FQueue = FSpec.Queue;
  RefreshFileList();
}

std::shared_ptr<TFilePickerScreen> TFilePickerScreen::Open(TScreenServices& services, TPickerSpec spec) {
  auto picker = std::make_shared<TFilePickerScreen>(services, std::move(spec));
  services.OpenScreen(picker);
  services.SetStatusText(kPickerStatus);
  return picker;
}

void TFilePickerScreen::RefreshFileList() {
  std::vector<std::string> folders, files;
  const std::vector<std::string> masks = SplitMasks(FSpec.Masks);
  std::error_code ec;
  // An unreadable or missing folder lists nothing. Names starting with a
  // dot (hidden here) are listed like any other.
  for (fs::directory_iterator it(FFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (it->is_directory(typeError)) {
      if (FSpec.Purpose != fpRunScript) folders.push_back(name);
      continue;
    }
    // Only plain files: a pipe or device would hang whatever reads it.
    if (!it->is_regular_file(typeError)) continue;
    for (const std::string& mask : masks)
      if (platform::MatchesFileMask(name, mask)) {
        files.push_back(name);
        break;
      }
  }
  SortUnique(folders);
  SortUnique(files);
  FHasParent = FSpec.Purpose != fpRunScript && FFolder != "/";
  FItems.clear();
  if (FHasParent) FItems.push_back({"..", true, ""});
  for (const std::string& f : folders) FItems.push_back({f, true, ""});
  for (const std::string& f : files)
    FItems.push_back({f, false, FSpec.Purpose == fpRunScript && FSpec.Describe ? FSpec.Describe(FFolder + f) : ""});
  FIndex = std::max(0, std::min(FIndex, int(FItems.size()) - 1));
  FTop = 0;
}

// ----------------------------------------------------------------- painting

void TFilePickerScreen::Paint(TScreenFrame& frame) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols(), H = g.Rows();
  FRows = H;
  if (HasQueuePane()) {
    // The queue pane leaves a row for the status text above the key line.
    const int split = (H - 1) * 6 / 10;
    PaintBrowser(frame, split, split - 1);
    PaintQueue(frame, split + 1, H - 3);
    g.DrawFooter(FServices.StatusText());
    std::string keys = kQueueFooter;
    if (!FQueue.empty()) keys += "   (" + std::to_string(FQueue.size()) + " queued)";
    g.DrawTextAt(2, H - 1, PadText(EllipsizeText(keys, W - 4), W - 4), scr::LightGrey, scr::Black);
  } else {
    PaintBrowser(frame, H - 1, H - 4);
    const TColorRGB frameColour = scr::FaceBlue;
    g.DrawHRule(1, W - 2, H - 3, frameColour, scr::Black, false, cp::TeeLeft, cp::TeeRight);
    g.DrawFooter(FServices.StatusText());
  }
  if (FPromptOpen) DrawInputBox(frame.Popups(), kJumpToFolderBox, FPath);
}

void TFilePickerScreen::PaintBrowser(TScreenFrame& frame, int bottom, int listLast) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols();
  const int L = 2, R = W - 3;
  const bool active = !(HasQueuePane() && FQueuePane);
  const TColorRGB paneColour = active ? scr::FaceBlue : scr::Navy;
  g.DrawListFrame(0, 0, W - 1, bottom, paneColour, scr::Black, FSpec.Title, true);
  const bool scripts = FSpec.Purpose == fpRunScript;
  int nameWidth = 0;
  if (scripts) {
    size_t longest = 0;
    for (const TItem& item : FItems) longest = std::max(longest, ShownFileName(item.Name).size());
    nameWidth = std::clamp(int(longest) + 3, 12, 30);
    g.DrawTextAt(L, 2, "File Name", scr::TitleYellow, scr::Black);
    g.DrawTextAt(L + nameWidth, 2, "Description", scr::TitleYellow, scr::Black);
  } else {
    std::string shown = ShownFileName(FFolder);
    if (int(shown.size()) > R - L + 1) shown = "..." + shown.substr(shown.size() - size_t(R - L - 2));
    g.DrawTextAt(L, 2, shown, scr::TitleYellow, scr::Black);
  }
  g.DrawHRule(1, W - 2, 3, paneColour, scr::Black, false, cp::TeeLeft, cp::TeeRight);
  FListRow = 4;
  FListLines = std::max(0, listLast - FListRow + 1);
  if (FItems.empty()) {
    g.DrawTextAt(L + 2, FListRow,
                 scripts ? "(no .kvs scripts in the scripts folder yet)" : "(no matching files in this folder)",
                 kEmptyNote, scr::Black);
    return;
  }
  if (FIndex < FTop) FTop = FIndex;
  if (FIndex > FTop + FListLines - 1) FTop = FIndex - FListLines + 1;
  if (FTop < 0) FTop = 0;
  for (int i = 0; i < FListLines && FTop + i < int(FItems.size()); ++i) {
    const TItem& item = FItems[size_t(FTop + i)];
    const int row = FListRow + i;
    const bool selected = FTop + i == FIndex;
    const std::string name = ShownFileName(item.Name);
    std::string text = item.Name == ".." ? "[..]" : item.IsFolder ? "[" + name + "]" : name;
    TColorRGB fg = scr::LightGrey, bg = scr::Black;
    if (selected) {
      fg = scr::White;
      bg = paneColour;
      g.FillRect(L, row, R, row, bg);
    } else if (item.IsFolder) {
      fg = kFolderCyan;
    } else if (HasQueuePane() && std::any_of(FQueue.begin(), FQueue.end(), [&](const std::string& q) {
                 return SameTextNoCase(q, FFolder + item.Name);
               })) {
      fg = kQueuedGreen;
    }
    g.DrawTextAt(L, row, PadText(text, R - L + 1), fg, bg);
    if (scripts && !item.Note.empty() && L + nameWidth < R)
      g.DrawTextAt(L + nameWidth, row, PadText(item.Note, R - L - nameWidth + 1), selected ? scr::White : scr::Cyan,
                   bg);
  }
}

void TFilePickerScreen::PaintQueue(TScreenFrame& frame, int top, int bottom) {
  TCellGrid& g = frame.Grid();
  const int W = g.Cols();
  const int L = 2, R = W - 3;
  const TColorRGB paneColour = FQueuePane ? scr::FaceBlue : scr::Navy;
  g.DrawListFrame(0, top, W - 1, bottom, paneColour, scr::Black, "Upload Queue", true);
  FQueueRow = top + 1;
  FQueueLines = std::max(0, bottom - top - 1);
  if (FQueue.empty()) {
    g.DrawTextAt(L + 2, FQueueRow, "(nothing queued yet - Enter on a file above to add it)", kEmptyNote, scr::Black);
    return;
  }
  FQueueIndex = std::clamp(FQueueIndex, 0, int(FQueue.size()) - 1);
  // The pane scrolls so that the selected file stays in view.
  if (FQueueIndex < FQueueTop) FQueueTop = FQueueIndex;
  if (FQueueIndex > FQueueTop + FQueueLines - 1) FQueueTop = FQueueIndex - FQueueLines + 1;
  FQueueTop = std::clamp(FQueueTop, 0, std::max(0, int(FQueue.size()) - FQueueLines));
  for (int i = 0; i < FQueueLines && FQueueTop + i < int(FQueue.size()); ++i) {
    const int n = FQueueTop + i, row = FQueueRow + i;
    const bool selected = n == FQueueIndex;
    if (selected) g.FillRect(L, row, R, row, paneColour);
    g.DrawTextAt(L, row, PadText(ShownFileName(BaseName(FQueue[size_t(n)])), R - L + 1),
                 selected ? scr::White : scr::LightGrey, selected ? paneColour : scr::Black);
  }
}

// --------------------------------------------------------------------- keys

bool TFilePickerScreen::Key(const TKeyEvent& k) {
  if (FPromptOpen) return PromptKey(k);
  if (k.Key == vk::Tab && HasQueuePane()) {
    FQueuePane = !FQueuePane;
    return true;
  }
  if ((k.Key == vk::Fn(5) || k.Key == vk::Fn(6)) && FSpec.Purpose != fpRunScript) {
    if (k.Key == vk::Fn(5))
      OpenPathPrompt();
    else
      NextDrive();
    return true;
  }
  if (HasQueuePane() && FQueuePane) return QueueKey(k);
  return BrowserKey(k);
}

bool TFilePickerScreen::PromptKey(const TKeyEvent& k) {
  switch (k.Key) {
    case vk::Return: JumpToTypedPath(); break;
    case vk::Escape: ClosePathPrompt(); break;
    case vk::Back: FPath.Backspace(); break;
    case vk::Delete: FPath.Delete(); break;
    case vk::Left: FPath.Left(); break;
    case vk::Right: FPath.Right(); break;
    case vk::Home: FPath.Home(); break;
    case vk::End: FPath.End(); break;
    default: break;
  }
  return true;
}

bool TFilePickerScreen::QueueKey(const TKeyEvent& k) {
  const int last = int(FQueue.size()) - 1;
  switch (k.Key) {
    case vk::Up:
      if (FQueueIndex > 0) --FQueueIndex;
      return true;
    case vk::Down:
      if (FQueueIndex < last) ++FQueueIndex;
      return true;
    case vk::Home: FQueueIndex = 0; return true;
    case vk::End: FQueueIndex = std::max(0, last); return true;
    case vk::Delete: RemoveFromUploadQueue(); return true;
    case vk::Escape: CommitUploadQueue(); return true;
    default: return false;
  }
}

bool TFilePickerScreen::BrowserKey(const TKeyEvent& k) {
  const int last = int(FItems.size()) - 1;
  const int page = FRows - 7;
  switch (k.Key) {
    case vk::Up:
      if (FIndex > 0) --FIndex;
      return true;
    case vk::Down:
      if (FIndex < last) ++FIndex;
      return true;
    case vk::Home: FIndex = 0; return true;
    case vk::End: FIndex = std::max(0, last); return true;
    case vk::Prior: FIndex = std::max(0, FIndex - page); return true;
    case vk::Next: FIndex = std::max(0, std::min(last, FIndex + page)); return true;
    case vk::Return: EnterSelected(); return true;
    case vk::Back:
      if (FHasParent) EnterFolder("..");
      return true;
    case vk::Escape:
      if (HasQueuePane())
        CommitUploadQueue();
      else
        Cancel();
      return true;
    default: return false;
  }
}

bool TFilePickerScreen::Char(uint8_t ch, uint32_t) {
  if (!FPromptOpen) return false;
  if (ch >= 32 && FPath.Text.size() < kPathLimit) FPath.Insert(std::string(1, char(ch)));
  return true;
}

bool TFilePickerScreen::Mouse(const TMouseEvent& m) {
  if (FPromptOpen) return false;
  if (m.Kind == TMouseKind::Wheel) {
    if (HasQueuePane() && FQueuePane)
      QueueKey(TKeyEvent{m.WheelUp ? vk::Up : vk::Down});
    else
      BrowserKey(TKeyEvent{m.WheelUp ? vk::Up : vk::Down});
    return true;
  }
  if (m.Kind != TMouseKind::Down && m.Kind != TMouseKind::DoubleClick) return false;
  if (m.Button != button::Left || !m.OnCell) return false;
  if (const int q = QueueAtRow(m.Row); q >= 0) {
    FQueuePane = true;
    FQueueIndex = q;
    return true;
  }
  const int n = ItemAtRow(m.Row);
  if (n < 0) return false;
  FQueuePane = false;
  FIndex = n;
  if (m.Kind == TMouseKind::DoubleClick) EnterSelected();
  return true;
}

int TFilePickerScreen::ItemAtRow(int row) const {
  const int n = FTop + row - FListRow;
  return row >= FListRow && row < FListRow + FListLines && n < int(FItems.size()) ? n : -1;
}

int TFilePickerScreen::QueueAtRow(int row) const {
  if (!HasQueuePane() || FQueueRow < 0) return -1;
  const int n = FQueueTop + row - FQueueRow;
  return row >= FQueueRow && row < FQueueRow + FQueueLines && n < int(FQueue.size()) ? n : -1;
}

// ------------------------------------------------------------------ actions

void TFilePickerScreen::EnterSelected() {
  if (FIndex < 0 || FIndex >= int(FItems.size())) return;
  const TItem& item = FItems[size_t(FIndex)];
  if (item.IsFolder)
    EnterFolder(item.Name);
  else if (HasQueuePane())
    AddToUploadQueue();
  else
    PickerOpenFile();
}

void TFilePickerScreen::EnterFolder(const std::string& name) {
  FFolder = WithSlash(fs::path(FFolder + name).lexically_normal().string());
  FIndex = 0;
  RefreshFileList();
}

void TFilePickerScreen::OpenPathPrompt() {
  FPromptOpen = true;
  FPath.Set(FFolder);
}

void TFilePickerScreen::JumpToTypedPath() {
  FPromptOpen = false;
  std::string text = TrimText(FPath.Text);
  if (text.empty()) return;
  text = ExpandEnvVars(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  const std::string full = FullTypedPath(text);
  std::error_code ec;
  if (fs::is_regular_file(full, ec)) {
    const std::string name = BaseName(full);
    FFolder = WithSlash(fs::path(full).parent_path().string());
    FIndex = 0;
    RefreshFileList();
    // The file itself, else a name differing only in case.
    int match = -1;
    for (size_t i = 0; i < FItems.size(); ++i) {
      if (FItems[i].IsFolder) continue;
      if (FItems[i].Name == name) {
        match = int(i);
        break;
      }
      if (match < 0 && SameTextNoCase(FItems[i].Name, name)) match = int(i);
    }
    if (match >= 0) FIndex = match;
  } else if (fs::is_directory(full, ec)) {
    FFolder = WithSlash(full);
    FIndex = 0;
    RefreshFileList();
  } else {
    FServices.SetStatusText("No such folder: " + KeepTailText(text, 40));
  }
}

void TFilePickerScreen::NextDrive() {
  const std::string next = NextVolume(FFolder, PickerVolumes());
  if (next.empty()) {
    FServices.SetStatusText("No other drives available.");
    return;
  }
  FFolder = next;
  FIndex = 0;
  RefreshFileList();
}

void TFilePickerScreen::AddToUploadQueue() {
  if (FIndex < 0 || FIndex >= int(FItems.size()) || FItems[size_t(FIndex)].IsFolder) return;
  const std::string name = FItems[size_t(FIndex)].Name, path = FFolder + name;
  // A board is given the file's plain name: one it would read as a path or
  // as control codes is refused now, not dropped from the batch later.
  if (std::string why; !IsPlainFileName(name, &why)) {
    FServices.SetStatusText(KeepTailText(ShownFileName(name), 30) + " not queued - a board can't take a name with a " +
                            why + ".");
    return;
  }
  if (std::any_of(FQueue.begin(), FQueue.end(), [&](const std::string& q) { return SameTextNoCase(q, path); })) {
    FServices.SetStatusText(KeepTailText(ShownFileName(name), 40) + " is already queued.");
    return;
  }
  FQueue.push_back(path);
  FQueueIndex = int(FQueue.size()) - 1;
  FServices.SetStatusText("Added " + KeepTailText(ShownFileName(name), 30) + " to upload queue (" +
                          std::to_string(FQueue.size()) + " queued).");
}

void TFilePickerScreen::RemoveFromUploadQueue() {
  if (FQueueIndex < 0 || FQueueIndex >= int(FQueue.size())) return;
  const std::string name = BaseName(FQueue[size_t(FQueueIndex)]);
  FQueue.erase(FQueue.begin() + FQueueIndex);
  FQueueIndex = std::max(0, std::min(FQueueIndex, int(FQueue.size()) - 1));
  FServices.SetStatusText("Removed " + KeepTailText(ShownFileName(name), 40) + " from upload queue.");
}

void TFilePickerScreen::CommitUploadQueue() {
  const std::vector<std::string> queue = FQueue;
  auto commit = FSpec.OnCommit;
  CloseFilePicker();
  if (commit) commit(queue);
}

void TFilePickerScreen::PickerOpenFile() {
  if (FIndex < 0 || FIndex >= int(FItems.size()) || FItems[size_t(FIndex)].IsFolder) return;
  const std::string path = FFolder + FItems[size_t(FIndex)].Name;
  auto pick = FSpec.OnPick;
  CloseFilePicker();
  if (pick) pick(path);
}

void TFilePickerScreen::Cancel() {
  CloseFilePicker();
  if (!FFromDirectory) FServices.SetStatusText("File browse cancelled.");
}

void TFilePickerScreen::CloseFilePicker() {
  FItems.clear();
  FQueue.clear();
  FQueueIndex = 0;
  FQueuePane = false;
  FPromptOpen = false;
  if (FFromDirectory) FServices.SetStatusText(kDirectoryStatus);
  FServices.CloseScreen();
}
