// How much of the calling thread's stack is left, for code whose recursion
// depth comes from its input (a script's nesting) and must stop with an
// error before the stack runs out.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// The lowest address of the calling thread's stack plus Reserve: a frame
// below it leaves less than Reserve bytes. 0 when the system cannot tell.
uintptr_t StackFloor(size_t reserve);

// The address of the caller's own frame.
inline uintptr_t CurrentFrame() { return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)); }

}  // namespace platform
