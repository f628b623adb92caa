// Calls into a module through a thunk that checks the calling convention: the
// stack pointer must come back where a standard-call callee leaves it, and the
// callee-saved registers (EBX, ESI, EDI, EBP) must be unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwix::host {

// Laid out as call.S writes it: packed to 4 bytes, so the double sits at +12
// (the target would otherwise align it to 8 and read it from +16).
#pragma pack(push, 4)
struct CallResult {
  int32_t stack_delta;          // 0 when the callee removed exactly its arguments
  uint32_t registers_clobbered; // non-zero when a callee-saved register changed
  uint32_t eax;                 // a 32-bit result
  double st0;                   // a double result (only when asked for)
};
#pragma pack(pop)
static_assert(offsetof(CallResult, st0) == 12 && sizeof(CallResult) == 20);

// Calls `routine` with `count` 32-bit arguments, the first one first.
CallResult call_stdcall(uint32_t routine, const uint32_t* arguments, uint32_t count, bool returns_double);

}  // namespace tarnwix::host
