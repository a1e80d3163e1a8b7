// Test helper: plays the interface thread. Workers hand their calls over with
// Synchronize/Queue; a test serves them by running CheckSynchronize in a loop.
#pragma once
#include <cstdint>
#include <functional>

namespace testsupport {

// Serves queued calls until Done returns true or the time runs out; returns
// Done's last answer.
bool ServeUntil(const std::function<bool()>& done, uint32_t timeoutMs = 10000);
// Serves queued calls for the whole time (for "nothing more happens" checks).
void ServeFor(uint32_t ms);

}  // namespace testsupport
