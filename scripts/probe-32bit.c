/* Tells whether this machine runs 32-bit x86 code, the way Wine's WoW64 mode needs it: a 64-bit
 * process makes a far call into the 32-bit user code segment, the 32-bit code returns a value
 * with a far return, and the process goes on. Where the kernel's IA-32 emulation is off, the
 * segment is not usable and the far call faults: the child that tries it dies of a signal.
 *
 * Exit status: 0 the machine runs 32-bit code, 1 it does not (the reason on standard output),
 * 2 the probe itself could not be run.
 * Built and run by scripts/machine with the machine's own C compiler (x86-64 Linux). */
#define _GNU_SOURCE
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

enum { kUser32CodeSelector = 0x23, kAnswer = 0x2a };

/* 32-bit code: mov eax, kAnswer; lret */
static const unsigned char kCode32[] = {0xb8, kAnswer, 0x00, 0x00, 0x00, 0xcb};

/* 64-bit code, called as int f(void *low_stack_top):
 *   mov rsi, rsp ; mov rsp, rdi ; push rsi ; lcall [rip + far] ; pop rsi ; mov rsp, rsi ; ret
 * followed by the far pointer (32-bit offset, 16-bit selector). The far call pushes a 32-bit
 * return address, so this code, its stack and the 32-bit code all lie below 4 GiB. */
static const unsigned char kCode64[] = {0x48, 0x89, 0xe6, 0x48, 0x89, 0xfc, 0x56, 0xff, 0x1d,
                                        0x05, 0x00, 0x00, 0x00, 0x5e, 0x48, 0x89, 0xf4, 0xc3};

static int Attempt(void) {
  const size_t page = 4096;
  unsigned char *code = mmap(NULL, page, PROT_READ | PROT_WRITE | PROT_EXEC,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  unsigned char *stack = mmap(NULL, 16 * page, PROT_READ | PROT_WRITE,
                              MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (code == MAP_FAILED || stack == MAP_FAILED)
    return -1;
  unsigned char *code32 = code + 0x100;
  memcpy(code32, kCode32, sizeof kCode32);
  memcpy(code, kCode64, sizeof kCode64);
  uint32_t offset = (uint32_t)(uintptr_t)code32;
  uint16_t selector = kUser32CodeSelector;
  memcpy(code + sizeof kCode64, &offset, sizeof offset);
  memcpy(code + sizeof kCode64 + sizeof offset, &selector, sizeof selector);
  int (*enter)(void *) = (int (*)(void *))(void *)code;
  return enter(stack + 16 * page - 64);
}

int main(void) {
  fflush(stdout);
  pid_t child = fork();
  if (child < 0) {
    perror("probe-32bit: fork");
    return 2;
  }
  if (child == 0)
    _exit(Attempt() == kAnswer ? 0 : 3);
  int status = 0;
  if (waitpid(child, &status, 0) != child) {
    perror("probe-32bit: waitpid");
    return 2;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    printf("runs 32-bit x86 code (a far call into the 32-bit code segment returned)\n");
    return 0;
  }
  if (WIFSIGNALED(status)) {
    printf("runs no 32-bit x86 code (a far call into the 32-bit code segment died of signal %d: %s)\n",
           WTERMSIG(status), strsignal(WTERMSIG(status)));
    return 1;
  }
  printf("runs no 32-bit x86 code (the 32-bit code segment answered wrongly: status %d)\n", status);
  return 1;
}
