#include "words.h"

#include <algorithm>

namespace tarnwix::guide {

std::string wrap(const std::string& text, const std::string& first, const std::string& rest) {
  std::string out, line = first;
  bool empty = true;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    if (!empty && line.size() + 1 + word.size() > kLineWidth) {
      out += line + "\n";
      line = rest;
      empty = true;
    }
    line += (empty ? "" : " ") + word;
    empty = false;
  }
  return out + line + "\n";
}

std::string event_text(const host::KeyEvent& event) {
  return format("%u = %d", event.id, static_cast<int32_t>(event.value));
}

std::string events_text(const std::vector<host::KeyEvent>& events) {
  std::string text;
  for (const host::KeyEvent& event : events) text += (text.empty() ? "" : ", ") + event_text(event);
  return text;
}

std::string listed(const std::vector<std::string>& items, const char* joint) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? std::string(" ") + joint + " " : std::string(", ");
    text += items[i];
  }
  return text;
}

std::string listed_apart(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) text += (i == 0 ? "" : i + 1 == items.size() ? "; and " : "; ") + items[i];
  return text;
}

std::string ordinal(int number) {
  const int tens = number % 100, ones = number % 10;
  const char* suffix = tens >= 11 && tens <= 13 ? "th" : ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th";
  return std::to_string(number) + suffix;
}

std::string updates(int count) { return std::to_string(count) + (count == 1 ? " update" : " updates"); }

std::string value_text(double value) { return format("%g", value); }

std::string element_name(const ModuleReference& module, const host::Meanings& meanings, int index) {
  const ElementReference& element = module.elements[static_cast<size_t>(index)];
  if (element.kind == host::ElementKind::kString) {
    const char* name = meanings.window(module.module, element.x, element.y);
    return name != nullptr ? std::string("the ") + name : std::string();
  }
  const char* name = meanings.picture(module.module, element.resource_id);
  return name != nullptr ? std::string("the ") + name : std::string();
}

std::vector<std::string> element_names(const ModuleReference& module, const host::Meanings& meanings,
                                       const std::vector<int>& indices) {
  std::vector<std::string> names;
  for (int index : indices) {
    if (index == 0) continue;
    const std::string name = element_name(module, meanings, index);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

}  // namespace tarnwix::guide
