// Calls into a module through a thunk that checks the calling convention: the
// stack pointer must come back where a standard-call callee leaves it, and the
// callee-saved registers (EBX, ESI, EDI, EBP) must be unchanged.
#pragma once

#include <cstdint>

namespace tarnwix::host {

struct CallResult {
  int32_t stack_delta;          // 0 when the callee removed exactly its arguments
  uint32_t registers_clobbered; // non-zero when a callee-saved register changed
  uint32_t eax;                 // a 32-bit result
  double st0;                   // a double result (only when asked for)
};

// Calls `routine` with `count` 32-bit arguments, the first one first.
CallResult call_stdcall(uint32_t routine, const uint32_t* arguments, uint32_t count, bool returns_double);

}  // namespace tarnwix::host
