// The guide's ways of putting what was observed into words: lines wrapped
// at 78 columns, key events, element names, lists and counts.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "host/meanings.h"
#include "reference.h"

namespace tarnwix::guide {

constexpr size_t kLineWidth = 78;

template <typename... Values>
std::string format(const char* pattern, Values... values) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

// TEXT as lines of at most kLineWidth characters (a longer word stands
// alone), the first after FIRST, the others after REST; FIRST and REST are
// kept as they are, spaces and all.
std::string wrap(const std::string& text, const std::string& first, const std::string& rest);

std::string event_text(const host::KeyEvent& event);                 // "65584 = 0"
std::string events_text(const std::vector<host::KeyEvent>& events);  // "a, b, c"

// "a", "a and b", "a, b and c" (JOINT in place of "and").
std::string listed(const std::vector<std::string>& items, const char* joint = "and");

// "a", "a; and b", "a; b; and c": items that hold commas of their own.
std::string listed_apart(const std::vector<std::string>& items);

// "1st", "2nd", "3rd", "4th", "11th", ...
std::string ordinal(int number);

// "1 update", "10 updates".
std::string updates(int count);

// A value as the guide writes it: 0, 1, 5, 29.92.
std::string value_text(double value);

// The name of the element at INDEX: its picture's or its text window's
// meaning; empty when the meanings name neither.
std::string element_name(const ModuleReference& module, const host::Meanings& meanings, int index);

// The distinct names of the elements at INDICES, in chain order, without the
// root (the gauge's background, always drawn).
std::vector<std::string> element_names(const ModuleReference& module, const host::Meanings& meanings,
                                       const std::vector<int>& indices);

}  // namespace tarnwix::guide
