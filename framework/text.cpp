#include "text.h"

// msvcrt's own bounded formatter. Named directly so that the module links the
// system's formatter, not the compiler runtime's C99 replacement.
extern "C" __declspec(dllimport) int __cdecl _snprintf(char* buffer, std::size_t count, const char* format, ...);

namespace tarnwix {

void format_text(char* buffer, std::size_t capacity, const char* format, double value) {
  if (buffer == nullptr || capacity == 0) return;
  // _snprintf leaves the buffer unterminated when the text fills `count`.
  _snprintf(buffer, capacity - 1, format, value);
  buffer[capacity - 1] = '\0';
}

}  // namespace tarnwix
