#include "call.h"

#include <windows.h>

extern "C" void tarnwix_call_checked(uint32_t routine, const uint32_t* arguments, uint32_t count,
                                     uint32_t returns_double, tarnwix::host::CallResult* result);
extern "C" void tarnwix_call_recover();
extern "C" uint32_t tarnwix_call_expected_sp;
extern "C" uint32_t tarnwix_call_saved_ebp;
extern "C" volatile uint32_t tarnwix_call_active;

namespace tarnwix::host {

namespace {

CallCrash last_crash{};
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;

// The watchdog's view of the calls: which call is running (a number that
// grows with every call), since when, and on which thread.
volatile LONG call_number = 0;
volatile DWORD call_started = 0;
volatile DWORD time_limit = 0;
HANDLE calling_thread = nullptr;

// The exceptions that end a call: faults of the callee that nobody inside the
// process handled. Anything else goes to the filter that was there before.
bool ends_the_call(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_BREAKPOINT:
      return true;
    default:
      return false;
  }
}

// Runs only for an exception that no handler took. Inside a checked call it
// resumes the thunk at its recovery point, on the thunk's own stack frame.
LONG WINAPI recover_from_crash(EXCEPTION_POINTERS* exception) {
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  if (tarnwix_call_active != 0 && ends_the_call(code)) {
    tarnwix_call_active = 0;
    last_crash = {static_cast<uint32_t>(code),
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(exception->ExceptionRecord->ExceptionAddress))};
    CONTEXT* context = exception->ContextRecord;
    context->Esp = tarnwix_call_expected_sp;
    context->Ebp = tarnwix_call_saved_ebp;
    context->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&tarnwix_call_recover));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return previous_filter != nullptr ? previous_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

// Where a stuck call may be taken out of: only the code named by
// set_interruptible_code (the module under check), never a library it called,
// which may be holding a lock (the loader's, the heap's) that would stay held.
volatile uint32_t interruptible_begin = 0;
volatile uint32_t interruptible_end = 0;

bool safe_to_interrupt(DWORD eip) { return eip >= interruptible_begin && eip < interruptible_end; }

// Every 50 ms: a call that has run longer than the limit is stopped where it
// is and resumed at the thunk's recovery point, as after a crash.
DWORD WINAPI watch_calls(void*) {
  for (;;) {
    Sleep(50);
    const DWORD limit = time_limit;
    if (limit == 0 || tarnwix_call_active == 0 || GetTickCount() - call_started < limit) continue;
    const LONG number = call_number;
    if (SuspendThread(calling_thread) == static_cast<DWORD>(-1)) continue;
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    if (tarnwix_call_active != 0 && number == call_number && GetThreadContext(calling_thread, &context) &&
        safe_to_interrupt(context.Eip)) {
      tarnwix_call_active = 0;
      last_crash = {kCallTimedOut, static_cast<uint32_t>(context.Eip)};
      context.Esp = tarnwix_call_expected_sp;
      context.Ebp = tarnwix_call_saved_ebp;
      context.Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&tarnwix_call_recover));
      SetThreadContext(calling_thread, &context);
    }
    ResumeThread(calling_thread);
  }
}

void install_filter_once() {
  static const bool installed = [] {
    previous_filter = SetUnhandledExceptionFilter(&recover_from_crash);
    return true;
  }();
  (void)installed;
}

}  // namespace

void set_call_time_limit(uint32_t milliseconds) {
  static const bool started = [] {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &calling_thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    CloseHandle(CreateThread(nullptr, 0, &watch_calls, nullptr, 0, nullptr));
    return true;
  }();
  (void)started;
  time_limit = milliseconds;
}

void set_interruptible_code(uint32_t begin, uint32_t end) {
  interruptible_begin = 0;
  interruptible_end = end;
  interruptible_begin = begin;
}

CallResult call_stdcall(uint32_t routine, const uint32_t* arguments, uint32_t count, bool returns_double) {
  install_filter_once();
  last_crash = {};
  InterlockedIncrement(&call_number);
  call_started = GetTickCount();
  CallResult result{};
  tarnwix_call_checked(routine, arguments, count, returns_double ? 1 : 0, &result);
  return result;
}

CallCrash last_call_crash() { return last_crash; }

}  // namespace tarnwix::host
