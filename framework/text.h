// Bounded formatting of a string element's text with the system's printf-style
// formatter (msvcrt's, which every Windows machine carries).
#pragma once

#include <cstddef>

namespace tarnwix {

// Formats one double with `format` into `buffer`, which holds `capacity`
// characters. The text is cut at capacity - 1 characters and always
// terminated. A null buffer or zero capacity writes nothing.
void format_text(char* buffer, std::size_t capacity, const char* format, double value);

}  // namespace tarnwix
