#include "platform/Stack.h"

#include <pthread.h>

namespace platform {

uintptr_t StackFloor(size_t reserve) {
  // The stack's bounds never change for a thread; reading them for the main
  // thread means parsing the process's memory map, so it is done once.
  thread_local const uintptr_t low = [] {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return uintptr_t(0);
    void* addr = nullptr;
    size_t size = 0;
    const bool known = pthread_attr_getstack(&attr, &addr, &size) == 0;
    pthread_attr_destroy(&attr);
    return known ? reinterpret_cast<uintptr_t>(addr) : uintptr_t(0);
  }();
  return low == 0 ? 0 : low + reserve;
}

}  // namespace platform
