// Calls into a module through a thunk that checks the calling convention: the
// stack pointer must come back where a standard-call callee leaves it, and the
// callee-saved registers (EBX, ESI, EDI, EBP) must be unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwix::host {

// Packed to 4 bytes: the thunk in call.S writes st0 at offset 12, where the
// target's default alignment of a double would put it at 16.
#pragma pack(push, 4)
struct CallResult {
  int32_t stack_delta;          // 0 when the callee removed exactly its arguments
  uint32_t registers_clobbered; // non-zero when a callee-saved register changed
  uint32_t eax;                 // a 32-bit result
  double st0;                   // a double result (only when asked for)
};
#pragma pack(pop)
static_assert(offsetof(CallResult, eax) == 8 && offsetof(CallResult, st0) == 12, "offsets call.S writes");

// Calls `routine` with `count` 32-bit arguments, the first one first.
CallResult call_stdcall(uint32_t routine, const uint32_t* arguments, uint32_t count, bool returns_double);

}  // namespace tarnwix::host

namespace tarnwix::host {

// A crash (an access violation, an illegal instruction, a division by zero...)
// inside the last checked call: the call returned as though it produced
// nothing, and this says what happened and where.
struct CallCrash {
  uint32_t code;     // the exception code, e.g. 0xC0000005
  uint32_t address;  // where it happened
};
// The crash of the most recent call_stdcall, or code 0 when it completed.
CallCrash last_call_crash();

// The code of a call stopped because it ran past the time limit (its address
// is where it was running).
inline constexpr uint32_t kCallTimedOut = 0x00000102;  // STATUS_TIMEOUT

// From now on a call that runs longer than this is stopped and reported as a
// crash with kCallTimedOut; 0 (the default) lets calls run as long as they do.
// The calls must then all come from the thread that set the limit, and only a
// call stuck inside the code given to set_interruptible_code is stopped (a call
// stuck anywhere else runs on).
void set_call_time_limit(uint32_t milliseconds);
// The addresses [begin, end) where a stuck call may be stopped: the image of
// the module whose calls are timed.
void set_interruptible_code(uint32_t begin, uint32_t end);

}  // namespace tarnwix::host
