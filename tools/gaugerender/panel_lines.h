// One reading of a panel.cfg line, shared by the reader (panel_config.cpp)
// and the editing document (panel_document.cpp), so that the two cannot
// disagree about where a line ends, where its comment starts, which section
// it is in, or whether it is an ignored repeat.
//
//   - Lines end in LF or CR LF; the last may have no end.
//   - `//` starts a comment anywhere on a line.
//   - A line whose text (comment and blanks aside) starts with `[` opens a
//     section, named by what lies up to `]` (or the line's end).
//   - A line with `=` in a section is a key line: the key before the first
//     `=`, the value after it, both trimmed.
//   - The first section of a name and the first key of a name within that
//     section count; later repeats are ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwix::host {

struct PanelLine {
  enum class Kind { kEmpty, kSection, kKeyed, kText };
  Kind kind = Kind::kEmpty;           // kEmpty: blank or a comment alone
  int number = 0;                     // counted from 1
  std::string_view text;              // the line without its line end
  std::string_view end;               // "\n", "\r\n" or "" (a last line without one)
  size_t comment = 0;                 // where `//` starts in text, or text.size()
  std::string section;                // the lowercase name of the section the line is in; "" before any
  int section_line = 0;               // the line of that section's header; 0 before any
  bool first_section = false;         // that section is the first of its name
  std::string key;                    // kKeyed: lowercase and trimmed
  std::string_view value;             // kKeyed: trimmed, without the comment
  size_t key_begin = 0, key_end = 0;  // kKeyed: the key as written, in text
  size_t equals = 0;                  // kKeyed: the `=` in text
  bool first_key = false;             // kKeyed: the first of its key in its section
  // Whether the line is read at all: a key line or a header that is not an
  // ignored repeat. Other lines are neither read nor ignored.
  bool counts() const {
    return kind == Kind::kSection ? first_section : kind == Kind::kKeyed ? first_section && first_key : true;
  }
};

// The text's lines, in order; their text and ends joined give the text.
std::vector<PanelLine> scan_panel_lines(std::string_view text);

bool panel_blank(char c);
std::string_view panel_trim(std::string_view text);
std::string panel_lower(std::string_view text);
// "prefixNN" (NN one to four digits) gives NN; anything else gives nothing.
std::optional<int> panel_numbered(std::string_view name, std::string_view prefix);

}  // namespace tarnwix::host
