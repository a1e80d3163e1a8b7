#include "app/uScreenLinks.h"

#include "core/uTerminalBuffer.h"

bool FindUrlInText(const std::string& text, size_t from, TLinkSpan& link) {
  for (size_t i = from; i < text.size(); ++i) {
    if (text.compare(i, 7, "http://") != 0 && text.compare(i, 8, "https://") != 0) continue;
    size_t end = i;
    while (end + 1 < text.size() && uint8_t(text[end + 1]) >= 33 && uint8_t(text[end + 1]) <= 126) ++end;
    link.Url = text.substr(i, end - i + 1);
    link.Start = int(i);
    link.End = int(end);
    return true;
  }
  link = TLinkSpan{};
  return false;
}

namespace {

// A displayed row as text, NUL cells read as blanks.
std::string RowText(const TTerminalBuffer& buffer, int row) {
  std::string text(size_t(buffer.FWidth), ' ');
  for (int x = 0; x < buffer.FWidth; ++x) {
    const uint8_t ch = buffer.GetDisplayCell(x, row).Ch;
    if (ch != 0) text[size_t(x)] = char(ch);
  }
  return text;
}

}  // namespace

bool UrlAtCell(const TTerminalBuffer& buffer, int row, int col, TLinkSpan& link) {
  if (row < 0 || row >= buffer.FHeight || col < 0 || col >= buffer.FWidth) return false;
  const std::string text = RowText(buffer, row);
  size_t from = 0;
  while (FindUrlInText(text, from, link)) {
    if (col >= link.Start && col <= link.End) return true;
    from = size_t(link.End) + 1;
  }
  link = TLinkSpan{};
  return false;
}

std::string FirstUrlOnScreen(const TTerminalBuffer& buffer) {
  TLinkSpan link;
  for (int row = 0; row < buffer.FHeight; ++row)
    if (FindUrlInText(RowText(buffer, row), 0, link) && link.Url.compare(0, 7, "http://") == 0) return link.Url;
  return "";
}
