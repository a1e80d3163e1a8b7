#include "tests/support/Serve.h"

#include "platform/Sync.h"
#include "platform/Tick.h"

namespace testsupport {

bool ServeUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
  uint64_t until = platform::TickMs() + timeoutMs;
  while (!done() && platform::TickMs() < until) platform::CheckSynchronize(5);
  return done();
}

void ServeFor(uint32_t ms) {
  uint64_t until = platform::TickMs() + ms;
  while (platform::TickMs() < until) platform::CheckSynchronize(5);
}

}  // namespace testsupport
