/* Preloaded into 32-bit wine when it runs under qemu's user-mode emulator (kernels
 * without 32-bit program support).
 *
 * Why it exists: qemu hands a signal handler an i386 context whose trap number is -1,
 * and wine's i386 fault handler decides what a fault was from that number alone. Without
 * this library every access violation reaches Windows code as an illegal instruction
 * without an address, a division by zero as a floating-point fault, and a stack overflow
 * kills the process. Here `sigaction` is wrapped: for the fault signals the handler that
 * wine installs is called through a small handler of ours, which first writes the trap
 * number the kernel would have written (derived from the signal and its si_code).
 * Natively the kernel fills the number and nothing is changed.
 *
 * Built without C library headers (no 32-bit development files are needed):
 *   gcc -m32 -ffreestanding -nostdinc -fPIC -O2 -c wine32_trapno_fix.c
 *   ld -m elf_i386 -shared -o libwine32trapfix.so wine32_trapno_fix.o libc.so.6
 * so every layout below is the i386 Linux one, written out by hand. */

#define SIGILL 4
#define SIGTRAP 5
#define SIGBUS 7
#define SIGFPE 8
#define SIGSEGV 11
#define SIGNAL_LIMIT 65
#define SA_SIGINFO 4

#define SI_KERNEL 0x80
#define FPE_INTDIV 1
#define FPE_INTOVF 2
#define TRAP_TRACE 2

/* Trap numbers of the x86 exceptions, as wine reads them. */
#define TRAP_DIVIDE 0
#define TRAP_SINGLE_STEP 1
#define TRAP_BREAKPOINT 3
#define TRAP_OVERFLOW 4
#define TRAP_INVALID_OPCODE 6
#define TRAP_PROTECTION 13
#define TRAP_PAGE_FAULT 14
#define TRAP_FPU 16
#define TRAP_ALIGNMENT 17

/* In the i386 ucontext the general registers start after uc_flags, uc_link and the
 * three words of uc_stack; the trap number and the error code are registers 12 and 13. */
#define GREGS_OFFSET 20
#define REG_TRAPNO 12
#define REG_ERR 13
#define ERR_USER_MODE 4

typedef void (*sigaction_fn)(int, void*, void*);

struct kv_sigaction {
  sigaction_fn handler; /* sa_handler or sa_sigaction */
  unsigned int mask[32]; /* sigset_t: 1024 bits */
  int flags;
  void (*restorer)(void);
};

extern void* dlsym(void* handle, const char* name);
#define RTLD_NEXT ((void*)-1l)

typedef int (*real_sigaction_fn)(int, const struct kv_sigaction*, struct kv_sigaction*);

static real_sigaction_fn real_sigaction;
/* The handler wine installed for each wrapped signal (written before our handler is
 * installed, read only inside it). */
static sigaction_fn wine_handlers[SIGNAL_LIMIT];

static int trap_number(int sig, int code, int* err) {
  switch (sig) {
  case SIGSEGV:
    if (code == SI_KERNEL) return TRAP_PROTECTION;
    *err |= ERR_USER_MODE;
    return TRAP_PAGE_FAULT;
  case SIGFPE:
    if (code == FPE_INTDIV) return TRAP_DIVIDE;
    if (code == FPE_INTOVF) return TRAP_OVERFLOW;
    return TRAP_FPU;
  case SIGBUS:
    return TRAP_ALIGNMENT;
  case SIGILL:
    return TRAP_INVALID_OPCODE;
  case SIGTRAP:
    return code == TRAP_TRACE ? TRAP_SINGLE_STEP : TRAP_BREAKPOINT;
  }
  return -1;
}

static void fill_trap_number(int sig, void* info, void* ucontext) {
  int* gregs = (int*)((char*)ucontext + GREGS_OFFSET);
  if (gregs[REG_TRAPNO] != -1) return;
  const int code = ((const int*)info)[2]; /* si_signo, si_errno, si_code */
  gregs[REG_TRAPNO] = trap_number(sig, code, &gregs[REG_ERR]);
}

static void fault_handler(int sig, void* info, void* ucontext) {
  if (ucontext && info) fill_trap_number(sig, info, ucontext);
  wine_handlers[sig](sig, info, ucontext);
}

static int is_fault_signal(int sig) {
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGTRAP;
}

__attribute__((visibility("default"))) int sigaction(int sig, const struct kv_sigaction* act,
                                                     struct kv_sigaction* old) {
  if (!real_sigaction) real_sigaction = (real_sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
  const int wrapped = is_fault_signal(sig);
  const sigaction_fn previous = wrapped ? wine_handlers[sig] : 0;
  int result;
  if (wrapped && act && (act->flags & SA_SIGINFO)) {
    struct kv_sigaction ours = *act;
    wine_handlers[sig] = act->handler;
    ours.handler = fault_handler;
    result = real_sigaction(sig, &ours, old);
  } else {
    result = real_sigaction(sig, act, old);
  }
  /* Callers see the handler they installed, never ours. */
  if (result == 0 && old && old->handler == fault_handler) old->handler = previous;
  return result;
}
