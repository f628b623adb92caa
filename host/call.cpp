#include "call.h"

extern "C" void tarnwix_call_checked(uint32_t routine, const uint32_t* arguments, uint32_t count,
                                     uint32_t returns_double, tarnwix::host::CallResult* result);

namespace tarnwix::host {

CallResult call_stdcall(uint32_t routine, const uint32_t* arguments, uint32_t count, bool returns_double) {
  CallResult result{};
  tarnwix_call_checked(routine, arguments, count, returns_double ? 1 : 0, &result);
  return result;
}

}  // namespace tarnwix::host
