// Preloaded into 32-bit x86 programs that run under qemu's user-mode
// emulation (machines whose kernel runs no 32-bit code).
//
// qemu delivers a guest's fault signals with the trap number in the signal
// context (REG_TRAPNO) at -1. Wine decides which Windows exception a fault
// raises from that number, so under qemu every access violation would become
// an illegal-instruction exception, and a program's own crash handling (the
// stand-in simulator's included) would see the wrong fault. This library wraps
// the installation of handlers for the fault signals; before the program's
// handler runs, it sets the trap number (and the page-fault error code's
// protection bit) the kernel would have given, and only when it is -1, so on
// a kernel that fills them in nothing changes.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdbool.h>
#include <stddef.h>
#include <ucontext.h>

#if !defined(__i386__)
#error "built for 32-bit x86 only; the 64-bit library of the same name is faultcodes_stub.c"
#endif

// x86 exception vectors, as the kernel reports them in REG_TRAPNO.
enum {
  kDivideError = 0,
  kDebug = 1,
  kBreakpoint = 3,
  kOverflow = 4,
  kInvalidOpcode = 6,
  kGeneralProtection = 13,
  kPageFault = 14,
  kFloatingPointError = 16,
  kAlignmentCheck = 17,
};
// Bit 0 of a page fault's error code: set when the page was present (a
// protection fault), clear when nothing was mapped.
static const greg_t kPageFaultProtection = 1;

static int trap_number_of(int signo, const siginfo_t *info) {
  switch (signo) {
    case SIGSEGV:
      return (info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR) ? kPageFault : kGeneralProtection;
    case SIGBUS:
      return kAlignmentCheck;
    case SIGILL:
      return kInvalidOpcode;
    case SIGFPE:
      return info->si_code == FPE_INTDIV ? kDivideError : info->si_code == FPE_INTOVF ? kOverflow : kFloatingPointError;
    default:  // SIGTRAP
      return info->si_code == TRAP_TRACE ? kDebug : kBreakpoint;
  }
}

static void mend_context(int signo, const siginfo_t *info, ucontext_t *context) {
  if (info == NULL || context == NULL) return;
  greg_t *registers = context->uc_mcontext.gregs;
  if (registers[REG_TRAPNO] != -1) return;
  registers[REG_TRAPNO] = trap_number_of(signo, info);
  if (signo == SIGSEGV && info->si_code == SEGV_ACCERR) registers[REG_ERR] |= kPageFaultProtection;
  if (signo == SIGSEGV && info->si_code == SEGV_MAPERR) registers[REG_ERR] &= ~kPageFaultProtection;
}

static bool is_fault_signal(int signo) {
  return signo == SIGSEGV || signo == SIGBUS || signo == SIGFPE || signo == SIGILL || signo == SIGTRAP;
}

typedef int sigaction_function(int, const struct sigaction *, struct sigaction *);
static sigaction_function *real_sigaction_function;

// Resolved on the first call, which is never inside a signal handler: the
// forwarding handler only exists once a handler was installed through here.
static int real_sigaction(int signo, const struct sigaction *action, struct sigaction *previous) {
  if (real_sigaction_function == NULL) real_sigaction_function = (sigaction_function *)dlsym(RTLD_NEXT, "sigaction");
  if (real_sigaction_function == NULL) {
    errno = ENOSYS;
    return -1;
  }
  return real_sigaction_function(signo, action, previous);
}

// The action the program asked for, per fault signal, once it asked for one;
// the kernel holds the forwarding handler instead. The program installs these
// handlers while it starts, before it faults, so the records are not guarded
// against a fault in another thread during an installation.
static struct sigaction programs_action[NSIG];
static volatile sig_atomic_t program_has_set[NSIG];

static void forward(int signo, siginfo_t *info, void *context) {
  mend_context(signo, info, (ucontext_t *)context);
  const struct sigaction action = programs_action[signo];
  // The kernel reset its own action to the default on this delivery.
  if (action.sa_flags & SA_RESETHAND) programs_action[signo].sa_handler = SIG_DFL;
  if (action.sa_flags & SA_SIGINFO) {
    action.sa_sigaction(signo, info, context);
  } else if (action.sa_handler == SIG_IGN) {
    return;
  } else if (action.sa_handler == SIG_DFL) {
    // Only when the program reset the action while this signal was on its
    // way: do what the default would have done.
    struct sigaction default_action = {.sa_handler = SIG_DFL};
    real_sigaction(signo, &default_action, NULL);
    raise(signo);
  } else {
    action.sa_handler(signo);
  }
}

int sigaction(int signo, const struct sigaction *action, struct sigaction *previous) {
  if (!is_fault_signal(signo)) return real_sigaction(signo, action, previous);
  const bool had_set = program_has_set[signo];
  const struct sigaction programs_previous = programs_action[signo];
  int result;
  if (action == NULL) {
    result = real_sigaction(signo, NULL, previous);
  } else {
    struct sigaction installed = *action;
    const bool is_handler = action->sa_handler != SIG_DFL && action->sa_handler != SIG_IGN;
    if (is_handler) {
      installed.sa_sigaction = forward;
      installed.sa_flags |= SA_SIGINFO;
      programs_action[signo] = *action;
      program_has_set[signo] = 1;
    }
    result = real_sigaction(signo, &installed, previous);
    if (result != 0) {
      programs_action[signo] = programs_previous;
      program_has_set[signo] = had_set;
    } else if (!is_handler) {
      programs_action[signo] = *action;
      program_has_set[signo] = 1;
    }
  }
  // The program sees its own handler, never the forwarding one.
  if (result == 0 && previous != NULL && had_set) *previous = programs_previous;
  return result;
}

// signal() and its variants install through glibc's internal sigaction, past
// the wrapper above: they are rebuilt on it with their documented semantics.
static __sighandler_t install_simple(int signo, __sighandler_t handler, int flags) {
  struct sigaction action = {.sa_handler = handler, .sa_flags = flags};
  sigemptyset(&action.sa_mask);
  if (!(flags & SA_NODEFER)) sigaddset(&action.sa_mask, signo);
  struct sigaction previous;
  if (sigaction(signo, &action, &previous) != 0) return SIG_ERR;
  return previous.sa_handler;
}

typedef __sighandler_t signal_function(int, __sighandler_t);

static __sighandler_t call_real(const char *name, int signo, __sighandler_t handler) {
  signal_function *real = (signal_function *)dlsym(RTLD_NEXT, name);
  if (real == NULL) {
    errno = ENOSYS;
    return SIG_ERR;
  }
  return real(signo, handler);
}

__sighandler_t signal(int signo, __sighandler_t handler) {
  if (!is_fault_signal(signo)) return call_real("signal", signo, handler);
  return install_simple(signo, handler, SA_RESTART);
}

__sighandler_t bsd_signal(int signo, __sighandler_t handler) {
  if (!is_fault_signal(signo)) return call_real("bsd_signal", signo, handler);
  return install_simple(signo, handler, SA_RESTART);
}

__sighandler_t sysv_signal(int signo, __sighandler_t handler) {
  if (!is_fault_signal(signo)) return call_real("sysv_signal", signo, handler);
  return install_simple(signo, handler, SA_RESETHAND | SA_NODEFER);
}
