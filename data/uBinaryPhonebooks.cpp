#include "data/uBinaryPhonebooks.h"

#include <algorithm>

#include "data/uIniFile.h"
#include "data/uPhonebookImport.h"

namespace {

// NetRunner: a 48-byte header opening with its length-prefixed signature,
// then records of eight 41-byte text slots and 34 unused bytes.
constexpr size_t kNetRunnerHeader = 48;
constexpr size_t kNetRunnerRecord = 362;
constexpr size_t kNetRunnerSlot = 41;
constexpr std::string_view kNetRunnerSignature = "NetRunner Phone Book";
enum TNetRunnerSlot { nsName = 0, nsAddress = 1, nsUser = 2, nsPassword = 3, nsCapture = 5 };

// mTelnet: records of 197 bytes, at most 200 of them.
constexpr size_t kMTelnetRecord = 197;
constexpr size_t kMTelnetMaxRecords = 200;
struct TSlot {
  size_t Offset, Size;
};
constexpr TSlot kMtName{0, 52}, kMtTermType{52, 9}, kMtHost{61, 61}, kMtDate{122, 13}, kMtPassword{135, 31},
    kMtUser{166, 31};

// One length byte, then the text: as many characters as it says, but never
// more than the slot holds after the length byte.
std::string LengthPrefixed(std::string_view block, TSlot slot) {
  uint8_t length = uint8_t(block[slot.Offset]);
  return std::string(block.substr(slot.Offset + 1, std::min<size_t>(length, slot.Size - 1)));
}

// The slot's bytes up to the first zero byte.
std::string NulEnded(std::string_view block, TSlot slot) {
  std::string_view field = block.substr(slot.Offset, slot.Size);
  return std::string(field.substr(0, field.find('\0')));
}

}  // namespace

void SplitHostPort(std::string_view text, std::string& host, uint16_t& port) {
  host = std::string(text);
  size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon + 1 == text.size()) return;
  uint32_t value = 0;
  for (char c : text.substr(colon + 1)) {
    if (c < '0' || c > '9') return;
    value = std::min<uint32_t>(value * 10 + uint32_t(c - '0'), 65536);  // saturates past the range
  }
  if (value < 1 || value > 65535) return;
  host = std::string(text.substr(0, colon));
  port = uint16_t(value);
}

int32_t ImportNetRunnerData(TPhonebook& book, std::string_view data) {
  if (data.size() < kNetRunnerHeader) return 0;
  if (!SameTextAscii(LengthPrefixed(data, {0, kNetRunnerHeader}), kNetRunnerSignature)) return 0;
  const size_t records = (data.size() - kNetRunnerHeader) / kNetRunnerRecord;
  int32_t added = 0;
  for (size_t r = 0; r < records; ++r) {
    std::string_view record = data.substr(kNetRunnerHeader + r * kNetRunnerRecord, kNetRunnerRecord);
    auto text = [&](TNetRunnerSlot slot) { return LengthPrefixed(record, {slot * kNetRunnerSlot, kNetRunnerSlot}); };
    std::string name = text(nsName);
    if (name.empty()) continue;
    TPhonebookEntryPtr e = AddImportedEntry(book, added, "ImportNetRunner");
    if (!e) break;
    e->Name = name;
    e->Username = text(nsUser);
    e->Password = text(nsPassword);
    e->Port = 23;
    e->Notes = "Imported from NetRunner phonebook";
    std::string capture = text(nsCapture);
    if (!capture.empty()) e->Notes += " (capture file: " + capture + ")";
    SplitHostPort(text(nsAddress), e->Host, e->Port);
    ++added;
  }
  return added;
}

int32_t ImportMTelnetData(TPhonebook& book, std::string_view data) {
  if (data.empty() || data.size() % kMTelnetRecord != 0) return 0;
  const size_t records = std::min(data.size() / kMTelnetRecord, kMTelnetMaxRecords);
  int32_t added = 0;
  for (size_t r = 0; r < records; ++r) {
    std::string_view record = data.substr(r * kMTelnetRecord, kMTelnetRecord);
    std::string name = LengthPrefixed(record, kMtName);
    if (name.empty()) continue;
    TPhonebookEntryPtr e = AddImportedEntry(book, added, "ImportMTelnet");
    if (!e) break;
    e->Name = name;
    e->Host = LengthPrefixed(record, kMtHost);  // host:port stays one text here
    e->Username = LengthPrefixed(record, kMtUser);
    e->Password = LengthPrefixed(record, kMtPassword);
    e->Port = 23;
    e->Notes = "Imported from mTelnet phonebook";
    std::string date = LengthPrefixed(record, kMtDate), type = NulEnded(record, kMtTermType);
    if (!date.empty()) e->Notes += " (date: " + date + ")";
    if (!type.empty()) e->Notes += " (possible terminal type: " + type + ")";
    ++added;
  }
  return added;
}
