// The shared reading of a panel.cfg line (see panel_lines.h).
#include "panel_lines.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace tarnwix::host {

bool panel_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view panel_trim(std::string_view text) {
  while (!text.empty() && panel_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && panel_blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string panel_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::optional<int> panel_numbered(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 4 || name.substr(0, prefix.size()) != prefix)
    return std::nullopt;
  int number = 0;
  for (char c : name.substr(prefix.size())) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::vector<PanelLine> scan_panel_lines(std::string_view text) {
  std::vector<PanelLine> lines;
  std::set<std::string> sections_seen;
  std::set<std::string> keys_seen;  // of the current section
  std::string section;
  int section_line = 0;
  bool first_section = false;
  size_t position = 0;
  while (position < text.size()) {
    const size_t newline = std::min(text.find('\n', position), text.size());
    PanelLine line;
    line.number = static_cast<int>(lines.size()) + 1;
    line.text = text.substr(position, newline - position);
    if (newline < text.size()) {
      const bool crlf = !line.text.empty() && line.text.back() == '\r';
      if (crlf) line.text.remove_suffix(1);
      line.end = text.substr(newline - (crlf ? 1 : 0), crlf ? 2 : 1);
    }
    position = newline + 1;
    line.comment = std::min(line.text.find("//"), line.text.size());
    const std::string_view content = panel_trim(line.text.substr(0, line.comment));
    if (content.empty()) {
      line.kind = PanelLine::Kind::kEmpty;
    } else if (content.front() == '[') {
      const size_t close = content.find(']');
      section = panel_lower(panel_trim(content.substr(1, close == std::string_view::npos ? content.npos : close - 1)));
      section_line = line.number;
      first_section = sections_seen.insert(section).second;
      keys_seen.clear();
      line.kind = PanelLine::Kind::kSection;
    } else if (const size_t equals = line.text.find('='); equals < line.comment) {
      line.kind = PanelLine::Kind::kKeyed;
      line.equals = equals;
      line.key_begin = line.text.find_first_not_of(" \t\r\v\f");
      line.key_end = line.key_begin;
      for (size_t i = line.key_begin; i < equals; ++i)
        if (!panel_blank(line.text[i])) line.key_end = i + 1;
      line.key = panel_lower(line.text.substr(line.key_begin, line.key_end - line.key_begin));
      line.value = panel_trim(line.text.substr(equals + 1, line.comment - equals - 1));
      line.first_key = keys_seen.insert(line.key).second;
    } else {
      line.kind = PanelLine::Kind::kText;
    }
    line.section = section;
    line.section_line = section_line;
    line.first_section = first_section;
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace tarnwix::host
