// Tells an emulator that runs Wine at full speed from one that does not.
// Wine reserves its address space with MAP_FIXED_NOREPLACE; an emulator that
// ignores the flag (qemu before 8.1) makes every Wine process spend about a
// minute before it starts. Maps a page, then asks for the same page again
// without replacing it: exit 0 when that is refused with EEXIST, as the kernel
// does, 1 otherwise.
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <sys/mman.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

int main(void) {
  const size_t page = 4096;
  void *first = mmap(NULL, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (first == MAP_FAILED) {
    perror("mapping probe: mmap");
    return 1;
  }
  void *second = mmap(first, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (second == MAP_FAILED && errno == EEXIST) return 0;
  fprintf(stderr, "mapping probe: a mapping that must not replace another %s\n",
          second == MAP_FAILED ? "failed for another reason" : "was placed anyway");
  return 1;
}
