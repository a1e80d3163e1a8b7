#include "net/uSendQueue.h"

#include <algorithm>

#include "platform/Tick.h"

namespace {

// The written front is shed once it is this long and outweighs what waits,
// so every byte is moved at most about once.
constexpr size_t kShedBytes = 64 * 1024;
// An emptied queue keeps no more room than this.
constexpr size_t kKeptCapacity = 64 * 1024;

}  // namespace

void TSendQueue::Append(const uint8_t* data, size_t count) {
  if (count == 0) return;
  if (Empty()) FWaitSince = platform::TickMs();
  FBytes.insert(FBytes.end(), data, data + count);
}

bool TSendQueue::AppendReply(const uint8_t* data, size_t count, uint8_t topic) {
  if (count == 0) return false;
  TReply& last = FLastReply[topic];
  if (last.Length == count && last.Start >= FLeft) {
    const uint8_t* waiting = FBytes.data() + FHead + (last.Start - FLeft);
    if (std::equal(data, data + count, waiting)) return false;
  }
  last.Start = FLeft + Size();
  last.Length = count;
  Append(data, count);
  return true;
}

void TSendQueue::Consume(size_t count) {
  count = std::min(count, Size());
  if (count == 0) return;
  FHead += count;
  FLeft += count;
  FWaitSince = platform::TickMs();
  if (Empty()) {
    FBytes.clear();
    FHead = 0;
    if (FBytes.capacity() > kKeptCapacity) std::vector<uint8_t>().swap(FBytes);
  } else if (FHead >= kShedBytes && FHead >= Size()) {
    FBytes.erase(FBytes.begin(), FBytes.begin() + std::ptrdiff_t(FHead));
    FHead = 0;
  }
}

void TSendQueue::Clear() { Consume(Size()); }
