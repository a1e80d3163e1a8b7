#include "core/uSessionCapture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/uDebugLog.h"

namespace {

constexpr uint64_t kProgressEveryMs = 60000;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct CaptureState {
  bool Active = false;
  FilePtr Ans, Log;
  std::string CurrentPath;
  int64_t TotalBytes = 0;
  uint64_t StartTick = 0;
  uint64_t LastProgressTick = 0;
  std::function<uint64_t()> Tick;
  std::function<platform::LocalTime()> Now;
};

CaptureState& State() {
  static CaptureState state;
  return state;
}

uint64_t Tick() { return State().Tick ? State().Tick() : platform::TickMs(); }
platform::LocalTime Now() { return State().Now ? State().Now() : platform::NowLocal(); }

// "hh:nn:ss" (WithHours) or "nn:ss" of an elapsed time; the minutes wrap at
// an hour in the short form, as the progress note shows only the minutes.
std::string FormatElapsed(uint64_t ms, bool withHours) {
  uint64_t s = ms / 1000;
  char buf[32];
  if (withHours)
    std::snprintf(buf, sizeof buf, "%02llu:%02llu:%02llu", (unsigned long long)(s / 3600),
                  (unsigned long long)(s / 60 % 60), (unsigned long long)(s % 60));
  else
    std::snprintf(buf, sizeof buf, "%02llu:%02llu", (unsigned long long)(s / 60 % 60), (unsigned long long)(s % 60));
  return buf;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string CaptureFileStem(const std::string& host) {
  if (host.empty()) return "session";
  std::string out = host;
  for (char& c : out) {
    bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
                 c == '.' || c == '_';
    if (!plain) c = '_';
  }
  return out;
}

void CaptureLogLine(const std::string& text) {
  CaptureState& s = State();
  if (!s.Log) return;
  std::string line = "[" + platform::FormatDateTime(Now()) + "] " + text + "\r\n";
  std::fwrite(line.data(), 1, line.size(), s.Log.get());
  std::fflush(s.Log.get());
}

void StopCapture() {
  CaptureState& s = State();
  if (s.Active) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "Capture stopped - %lld bytes, duration %s", (long long)s.TotalBytes,
                  FormatElapsed(Tick() - s.StartTick, true).c_str());
    CaptureLogLine(buf);
  }
  s.Ans.reset();
  s.Log.reset();
  s.Active = false;
}

void StartCapture(const std::string& folder, const std::string& host, std::string& path) {
  namespace fs = std::filesystem;
  CaptureState& s = State();
  path.clear();
  StopCapture();
  std::string dir = folder.empty() ? "captures" : folder;
  for (char& c : dir)
    if (c == '\\') c = '/';
  if (dir.back() != '/') dir += '/';
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    LogLine("Capture: could not create folder " + dir);
    return;
  }
  platform::LocalTime t = Now();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second);
  std::string base = dir + CaptureFileStem(host) + "_" + stamp;
  std::string stem = base;
  for (int n = 2; fs::exists(stem + ".ans", ec) || fs::exists(stem + ".log", ec); ++n)
    stem = base + "_" + std::to_string(n);
  FilePtr ans(std::fopen((stem + ".ans").c_str(), "wb"));
  FilePtr log(ans ? std::fopen((stem + ".log").c_str(), "wb") : nullptr);
  if (!ans || !log) {
    LogLine("Capture: could not create " + stem + ".ans/.log: " + std::strerror(errno));
    if (ans) std::remove((stem + ".ans").c_str());
    return;
  }
  s.Ans = std::move(ans);
  s.Log = std::move(log);
  s.CurrentPath = stem + ".ans";
  s.TotalBytes = 0;
  s.StartTick = s.LastProgressTick = Tick();
  s.Active = true;
  CaptureLogLine("Capture started - host \"" + host + "\", raw stream -> " + FileNameOf(s.CurrentPath));
  path = s.CurrentPath;
}

void CaptureWrite(const uint8_t* data, size_t count) {
  CaptureState& s = State();
  if (!s.Active || !s.Ans || count == 0 || !data) return;
  if (std::fwrite(data, 1, count, s.Ans.get()) != count || std::fflush(s.Ans.get()) != 0) {
    // A full disk must not pass for a complete recording.
    std::string reason = std::strerror(errno);
    LogLine("Capture: write to " + s.CurrentPath + " failed: " + reason);
    CaptureLogLine("Capture write failed: " + reason);
    StopCapture();
    return;
  }
  s.TotalBytes += int64_t(count);
  uint64_t now = Tick();
  if (now - s.LastProgressTick >= kProgressEveryMs) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "...still capturing (%lld bytes so far, %s elapsed)", (long long)s.TotalBytes,
                  FormatElapsed(now - s.StartTick, false).c_str());
    CaptureLogLine(buf);
    s.LastProgressTick = now;
  }
}

bool CaptureActive() { return State().Active; }
std::string CapturePath() { return State().CurrentPath; }
int64_t CaptureTotalBytes() { return State().TotalBytes; }

void CaptureSetClocks(std::function<uint64_t()> tickMs, std::function<platform::LocalTime()> now) {
  State().Tick = std::move(tickMs);
  State().Now = std::move(now);
}
