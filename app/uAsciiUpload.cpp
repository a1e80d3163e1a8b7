#include "app/uAsciiUpload.h"

#include <fstream>
#include <iterator>

#include "data/uPhonebookImport.h"

TAsciiUpload::TStart TAsciiUpload::Start(const std::string& path, uint64_t now) {
  Cancel();
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in) text.assign(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) return TStart::Unreadable;
  std::vector<std::string> lines;
  TImportLines reader(text);
  for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
  if (lines.empty()) return TStart::Empty;
  FLines = std::move(lines);
  FNext = 0;
  FStart = now;
  FRunning = true;
  return TStart::Started;
}

bool TAsciiUpload::Tick(uint64_t now, int32_t delayMs, const std::function<void(const std::string&)>& send) {
  if (!FRunning) return false;
  size_t due = FLines.size();
  if (delayMs > 0) due = std::min<uint64_t>(due, (now - FStart) / uint64_t(delayMs));
  while (FNext < due) send(FLines[FNext++] + "\r\n");
  if (FNext < FLines.size()) return false;
  Cancel();
  return true;
}

bool TAsciiUpload::Cancel() {
  const bool was = FRunning;
  FRunning = false;
  FLines.clear();
  FNext = 0;
  return was;
}
