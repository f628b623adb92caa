// Checks that a 32-bit program's fault handlers see the trap numbers a
// kernel running it natively gives: run natively it checks the expectations
// themselves, run under qemu with the fault-code library preloaded it checks
// the library (and fails under qemu without it). Prints each failed check and
// exits 1 when any failed.
#define _GNU_SOURCE
#include <setjmp.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <ucontext.h>

static sigjmp_buf resume;
static volatile int seen_signal, seen_code, calls_without_info;
static volatile greg_t seen_trap_number, seen_error_code;
static int failures;

static void check(int ok, const char *what) {
  if (!ok) {
    printf("FAILED: %s\n", what);
    ++failures;
  }
}

static void with_info(int signo, siginfo_t *info, void *context) {
  greg_t *registers = ((ucontext_t *)context)->uc_mcontext.gregs;
  seen_signal = signo;
  seen_code = info->si_code;
  seen_trap_number = registers[REG_TRAPNO];
  seen_error_code = registers[REG_ERR];
  siglongjmp(resume, 1);
}

static void without_info(int signo) {
  seen_signal = signo;
  ++calls_without_info;
  siglongjmp(resume, 1);
}

static void install(int signo, int flags) {
  struct sigaction action = {.sa_sigaction = with_info, .sa_flags = SA_SIGINFO | flags};
  sigemptyset(&action.sa_mask);
  sigaction(signo, &action, NULL);
}

typedef void fault_function(void);

static int run_fault(fault_function *fault) {
  seen_signal = 0;
  seen_trap_number = -2;
  if (sigsetjmp(resume, 1) == 0) fault();
  return seen_signal;
}

static volatile int *volatile unmapped_address = (int *)16;
static void read_unmapped(void) { (void)*unmapped_address; }
static volatile int *read_only_page;
static void write_read_only(void) { *read_only_page = 1; }
static void privileged_instruction(void) { __asm__ volatile("hlt"); }
static volatile int zero;
static void divide_by_zero(void) { __asm__ volatile("cltd; idivl %1" : : "a"(1), "m"(zero) : "edx"); }
static void invalid_opcode(void) { __asm__ volatile("ud2"); }
static void breakpoint(void) { __asm__ volatile("int3"); }

int main(void) {
  read_only_page = mmap(NULL, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  (void)*read_only_page;  // present, so that a write is a protection fault
  const int fault_signals[] = {SIGSEGV, SIGFPE, SIGILL, SIGTRAP};
  for (size_t i = 0; i < sizeof fault_signals / sizeof *fault_signals; ++i) install(fault_signals[i], 0);

  // The faults Wine turns into exceptions, with the kernel's trap numbers.
  check(run_fault(read_unmapped) == SIGSEGV && seen_code == SEGV_MAPERR, "unmapped read raises SIGSEGV/SEGV_MAPERR");
  check(seen_trap_number == 14, "unmapped read: trap number 14 (page fault)");
  check((seen_error_code & 1) == 0, "unmapped read: error code says not present");
  check(run_fault(write_read_only) == SIGSEGV && seen_code == SEGV_ACCERR, "read-only write raises SEGV_ACCERR");
  check(seen_trap_number == 14, "read-only write: trap number 14 (page fault)");
  check((seen_error_code & 1) == 1, "read-only write: error code says protection");
  check(run_fault(privileged_instruction) == SIGSEGV, "hlt raises SIGSEGV");
  check(seen_trap_number == 13, "hlt: trap number 13 (general protection)");
  check(run_fault(divide_by_zero) == SIGFPE && seen_code == FPE_INTDIV, "idiv by zero raises SIGFPE/FPE_INTDIV");
  check(seen_trap_number == 0, "idiv by zero: trap number 0 (divide error)");
  check(run_fault(invalid_opcode) == SIGILL, "ud2 raises SIGILL");
  check(seen_trap_number == 6, "ud2: trap number 6 (invalid opcode)");
  check(run_fault(breakpoint) == SIGTRAP, "int3 raises SIGTRAP");
  check(seen_trap_number == 3, "int3: trap number 3 (breakpoint)");

  // The program sees its own handler when it asks, never a wrapper's.
  struct sigaction current;
  sigaction(SIGSEGV, NULL, &current);
  check(current.sa_sigaction == with_info && (current.sa_flags & SA_SIGINFO), "query returns the program's handler");
  struct sigaction replaced, previous;
  memset(&replaced, 0, sizeof replaced);
  replaced.sa_handler = SIG_DFL;
  sigaction(SIGSEGV, &replaced, &previous);
  check(previous.sa_sigaction == with_info, "replacing returns the program's previous handler");
  sigaction(SIGSEGV, &previous, NULL);

  // Handlers installed without SA_SIGINFO, through signal() too, get one argument.
  check((uintptr_t)signal(SIGILL, without_info) == (uintptr_t)with_info, "signal() returns the previous handler");
  calls_without_info = 0;
  check(run_fault(invalid_opcode) == SIGILL && calls_without_info == 1, "signal() handler runs on ud2");
  check(signal(SIGILL, SIG_DFL) == without_info, "signal() reports the one-argument handler");

  // A one-shot handler is gone after its delivery, for the kernel and the program alike.
  install(SIGTRAP, SA_RESETHAND);
  check(run_fault(breakpoint) == SIGTRAP && seen_trap_number == 3, "one-shot handler runs with trap number 3");
  sigaction(SIGTRAP, NULL, &current);
  check(current.sa_handler == SIG_DFL, "one-shot handler reset to the default after its delivery");

  // Other signals pass through untouched.
  check(signal(SIGUSR1, without_info) == SIG_DFL, "SIGUSR1 installed through signal()");
  calls_without_info = 0;
  if (sigsetjmp(resume, 1) == 0) raise(SIGUSR1);
  check(seen_signal == SIGUSR1 && calls_without_info == 1, "SIGUSR1 handler runs");

  printf("%s\n", failures ? "fault codes: FAILED" : "fault codes: all checks passed");
  return failures ? 1 : 0;
}
