#include "app/screens/uQuickDial.h"

#include <memory>

#include "app/uScreenText.h"
#include "data/uConfig.h"
#include "data/uPhonebook.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

bool ParseQuickDial(const std::string& text, std::string& host, uint16_t& port) {
  host = TrimText(text);
  port = 23;
  const size_t colon = host.rfind(':');
  if (colon != std::string::npos) {
    const std::string digits = host.substr(colon + 1);
    const bool number = !digits.empty() && digits.size() <= 9 && digits.find_first_not_of("0123456789") == std::string::npos;
    const long value = number ? std::stol(digits) : 0;
    if (value >= 1 && value <= 65535) {
      port = uint16_t(value);
      host = TrimText(host.substr(0, colon));
    }
  }
  return !host.empty();
}

void TQuickDialBox::Open() {
  FOpen = true;
  FLine = TEditLine{};
}

void TQuickDialBox::Key(const TKeyEvent& key) {
  switch (key.Key) {
    case vk::Back: FLine.Backspace(); break;
    case vk::Delete: FLine.Delete(); break;
    case vk::Left: FLine.Left(); break;
    case vk::Right: FLine.Right(); break;
    case vk::Home: FLine.Home(); break;
    case vk::End: FLine.End(); break;
    case vk::Return: Connect(); break;
    case vk::Escape: Close(); break;
    default: break;
  }
}

void TQuickDialBox::Char(uint8_t ch) {
  if (ch < 32 || FLine.Text.size() >= kMaxLength) return;
  FLine.Insert(std::string(1, char(ch)));
}

void TQuickDialBox::Connect() {
  std::string host;
  uint16_t port = 23;
  if (!ParseQuickDial(FLine.Text, host, port)) return;
  // An entry of the call's own, with the defaults of a new phonebook entry;
  // the call keeps it alive for as long as it runs.
  auto entry = std::make_shared<TPhonebookEntry>();
  entry->Name = host;
  entry->Host = host;
  entry->Port = port;
  entry->Cols = 80;
  entry->Rows = 25;
  entry->TermType = FServices.Config().DefaultTermType;
  entry->UseSixel = true;
  Close();
  FServices.ConnectToEntry(entry);
}
