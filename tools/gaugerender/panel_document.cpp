// The format-keeping panel.cfg document and its atomic writer (see
// panel_document.h). Every change is made to a copy of the lines, read back
// with the reader and checked before it is kept.
#include "panel_document.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "panel_lines.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarnwix::host {

namespace fs = std::filesystem;

std::string panel_number_text(double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.3f", value);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

namespace {

constexpr std::string_view kWindowKeys[] = {"file",     "size_mm",    "visible", "ident",
                                            "position", "pixel_size", "texture", "title"};

std::string_view leading_blanks(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && panel_blank(text[n])) ++n;
  return text.substr(0, n);
}

std::string_view trailing_blanks(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && panel_blank(text[n - 1])) --n;
  return text.substr(n);
}

std::vector<std::string_view> split_commas(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    pieces.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) return pieces;
    start = comma + 1;
  }
}

std::string with_digits(int number, size_t width) {
  std::string digits = std::to_string(number);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

// Why a number cannot be written, or "" when it can.
std::string number_fault(const char* name, double value, bool size) {
  const std::string limit = panel_number_text(kMaxPanelCoordinate);
  if (std::isnan(value)) return std::string(name) + " is not a number";
  if (std::isinf(value)) return std::string(name) + " is infinite";
  if (std::fabs(value) > kMaxPanelCoordinate)
    return std::string(name) + " is " + panel_number_text(value) + ", beyond -" + limit + " to " + limit;
  if (size && value < 0) return std::string(name) + " is negative: " + panel_number_text(value);
  return "";
}

// Why a place cannot be written, or "" when it can.
std::string place_fault(const GaugePlace& place) {
  std::string fault = number_fault("x", place.x, false);
  if (fault.empty()) fault = number_fault("y", place.y, false);
  if (fault.empty() && place.width) fault = number_fault("the width", *place.width, true);
  if (fault.empty() && place.height) fault = number_fault("the height", *place.height, true);
  if (fault.empty() && place.height && !place.width) fault = "a height without a width";
  return fault;
}

std::string place_words(const GaugePlace& place) {
  std::string words = panel_number_text(place.x) + ", " + panel_number_text(place.y);
  if (place.width) words += ", " + panel_number_text(*place.width);
  if (place.height) words += ", " + panel_number_text(*place.height);
  return words;
}

// Text that goes into a line as it is: no line end, no comment, no comma
// where the reader splits fields.
bool plain_text(std::string_view text, bool commas_allowed) {
  return text.find_first_of("\r\n") == std::string_view::npos && text.find("//") == std::string_view::npos &&
         (commas_allowed || text.find(',') == std::string_view::npos);
}

struct WindowName {
  bool virtual_cockpit = false;
  int number = 0;
};

std::optional<WindowName> window_name(std::string_view name) {
  const std::string lowered = panel_lower(panel_trim(name));
  if (std::optional<int> n = panel_numbered(lowered, "window")) return WindowName{false, *n};
  if (std::optional<int> n = panel_numbered(lowered, "vcockpit")) return WindowName{true, *n};
  return std::nullopt;
}

}  // namespace

// One change made to a copy of the document's lines. The lines keep, beside
// them, which line of the state before the change each one is (or -1 for a
// new line), so that the result can be checked line by line against it.
struct PanelDocument::Editor {
  std::string source;
  std::vector<Line> lines;
  std::vector<int> origin;
  std::vector<std::string>* log;
  std::string* error;
  // The state the change starts from.
  std::string before_text;
  std::vector<PanelLine> before;
  PanelConfig config;
  std::string file_end = "\r\n";
  bool ends_without_end = false;

  Editor(std::string source_name, std::vector<Line> start, std::vector<std::string>* log_lines, std::string* why)
      : source(std::move(source_name)), lines(std::move(start)), log(log_lines), error(why) {
    before_text = join(lines);
    before = scan_panel_lines(before_text);
    std::string ignored;
    config = *parse_panel_config(before_text, source, &ignored);
    for (size_t i = 0; i < lines.size(); ++i) origin.push_back(static_cast<int>(i));
    for (const Line& line : lines)
      if (!line.end.empty()) {
        file_end = line.end;
        break;
      }
    ends_without_end = !lines.empty() && lines.back().end.empty();
  }

  static std::string join(const std::vector<Line>& lines) {
    std::string text;
    for (const Line& line : lines) text += line.text + line.end;
    return text;
  }

  bool refuse(const std::string& what, const std::string& why) {
    if (error) *error = "cannot " + what + ": " + why;
    return false;
  }

  void insert(size_t at, std::string text) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), file_end});
    origin.insert(origin.begin() + static_cast<std::ptrdiff_t>(at), -1);
  }
  void erase(size_t at) {
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
    origin.erase(origin.begin() + static_cast<std::ptrdiff_t>(at));
  }
  // Where a line of the state before the change is now.
  size_t now(int before_line) const {
    for (size_t i = 0; i < origin.size(); ++i)
      if (origin[i] == before_line - 1) return i;
    return lines.size();
  }

  // The window a change names, when it is there and read from one section.
  const PanelWindow* find_window(const std::string& name, const std::string& what) {
    const PanelWindow* window = config.find(name);
    if (!window || !window_name(name)) {
      refuse(what, "there is no window " + name + " in " + source);
      return nullptr;
    }
    for (const PanelLine& line : before) {
      if (line.kind != PanelLine::Kind::kSection || !line.first_section || line.number == window->line) continue;
      const std::optional<WindowName> other = window_name(line.section);
      if (other && other->virtual_cockpit == window->virtual_cockpit && other->number == window->number) {
        refuse(what, window->name() + " is read from two sections, lines " + std::to_string(line.number) + " and " +
                         std::to_string(window->line) + "; join them into one to edit it");
        return nullptr;
      }
    }
    return window;
  }

  std::string key_text(int line_number) const {
    const PanelLine& line = before[static_cast<size_t>(line_number - 1)];
    return std::string(line.text.substr(line.key_begin, line.key_end - line.key_begin));
  }
  std::string gauge_words(const PanelWindow& window, const PanelGauge& gauge) const {
    return window.name() + " " + key_text(gauge.line) + " " + gauge.gauge;
  }

  const PanelGauge* find_gauge(const PanelWindow& window, size_t index, const std::string& what) {
    if (index < window.gauges.size()) return &window.gauges[index];
    const size_t count = window.gauges.size();
    refuse(what, window.name() + " has " + std::to_string(count) + (count == 1 ? " gauge" : " gauges") +
                     "; there is no gauge " + std::to_string(index));
    return nullptr;
  }

  // The separator the line writes after its commas.
  static std::string separator_of(std::string_view value) {
    const size_t comma = value.find(',');
    if (comma == std::string_view::npos) return " ";
    return std::string(leading_blanks(value.substr(comma + 1)));
  }

  // The gauge line with its place rewritten; every other byte as it was.
  std::string placed_line(const PanelLine& line, const GaugePlace& place) const {
    const std::string_view text = line.text;
    const std::string_view head = text.substr(0, line.equals + 1);
    std::string_view body = text.substr(line.equals + 1, line.comment - line.equals - 1);
    const std::string_view blanks = trailing_blanks(body);
    body.remove_suffix(blanks.size());
    std::vector<std::string_view> pieces = split_commas(body);
    const std::string separator = separator_of(body);
    const bool parameters = pieces.size() > 5;
    const std::optional<double> values[4] = {place.x, place.y, place.width, place.height};
    std::vector<std::string> written{std::string(pieces[0])};
    for (size_t i = 1; i <= 4; ++i) {
      const std::optional<double>& value = values[i - 1];
      if (i >= pieces.size()) {
        if (value) written.push_back(separator + panel_number_text(*value));
        continue;
      }
      const std::string_view piece = pieces[i];
      const std::string_view core = panel_trim(piece);
      const std::string_view lead = leading_blanks(piece);
      const std::string_view trail = core.empty() ? std::string_view() : trailing_blanks(piece);
      std::string number;
      if (value) {
        number = panel_number_text(*value);
        // A number already written as this value keeps its spelling ("480.0").
        if (!core.empty() && std::strtod(std::string(core).c_str(), nullptr) == std::strtod(number.c_str(), nullptr))
          number = std::string(core);
      } else if (core.empty()) {
        written.push_back(std::string(piece));
        continue;
      } else if (!parameters) {
        break;  // a size no longer given, and nothing after it
      }
      written.push_back(std::string(lead) + number + std::string(trail));
    }
    for (size_t i = 5; i < pieces.size(); ++i) written.push_back(std::string(pieces[i]));
    std::string out(head);
    for (size_t i = 0; i < written.size(); ++i) out += (i ? "," : "") + written[i];
    return out + std::string(blanks) + std::string(text.substr(line.comment));
  }

  // The keyed line with its value replaced.
  static std::string valued_line(const PanelLine& line, std::string_view value) {
    const std::string_view text = line.text;
    const std::string_view region = text.substr(line.equals + 1, line.comment - line.equals - 1);
    if (panel_trim(region).empty())
      return std::string(text.substr(0, line.equals + 1)) + std::string(value) + std::string(region) +
             std::string(text.substr(line.comment));
    return std::string(text.substr(0, line.equals + 1)) + std::string(leading_blanks(region)) + std::string(value) +
           std::string(trailing_blanks(region)) + std::string(text.substr(line.comment));
  }

  // A new key line spaced like `like` (its indent and the blanks around its
  // `=`), or bare.
  static std::string keyed_like(const PanelLine* like, const std::string& key, const std::string& value) {
    if (!like) return key + "=" + value;
    const std::string_view text = like->text;
    const std::string_view after = text.substr(like->equals + 1, like->comment - like->equals - 1);
    return std::string(leading_blanks(text)) + key +
           std::string(text.substr(like->key_end, like->equals - like->key_end)) + "=" +
           std::string(leading_blanks(after).substr(0, panel_trim(after).empty() ? 0 : std::string_view::npos)) + value;
  }

  // Lines of the section whose header is on `header`: [first, last) indexes
  // in `before`.
  std::pair<size_t, size_t> section_range(int header) const {
    size_t last = static_cast<size_t>(header);
    while (last < before.size() && before[last].kind != PanelLine::Kind::kSection) ++last;
    return {static_cast<size_t>(header - 1), last};
  }
  const PanelLine* last_key_line(int header, bool gauges_too) const {
    const auto [first, last] = section_range(header);
    const PanelLine* found = nullptr;
    for (size_t i = first + 1; i < last; ++i)
      if (before[i].kind == PanelLine::Kind::kKeyed && (gauges_too || !panel_numbered(before[i].key, "gauge")))
        found = &before[i];
    return found;
  }

  // Places a new line after the given line of the state before (0: at the
  // top), keeping a file without a final line end without one.
  void insert_after(int before_line, std::string text) {
    const size_t at = before_line == 0 ? 0 : now(before_line) + 1;
    insert(at, std::move(text));
  }

  bool place(const change::Place& c) {
    const std::string what = "move " + c.window + " gauge " + std::to_string(c.index);
    const PanelWindow* window = find_window(c.window, what);
    if (!window) return false;
    const PanelGauge* gauge = find_gauge(*window, c.index, what);
    if (!gauge) return false;
    auto written = [](const std::optional<double>& size) { return size ? panel_number_text(*size) : ""; };
    const bool sized =
        written(c.place.width) != written(gauge->width) || written(c.place.height) != written(gauge->height);
    const std::string words = (sized ? "size " : "move ") + gauge_words(*window, *gauge);
    if (const std::string fault = place_fault(c.place); !fault.empty()) return refuse(words, fault);
    const PanelLine& line = before[static_cast<size_t>(gauge->line - 1)];
    lines[now(gauge->line)].text = placed_line(line, c.place);
    log->push_back(words + " to " + place_words(c.place));
    return true;
  }

  bool add_gauge(const change::AddGauge& c) {
    const std::string module(panel_trim(c.module)), name(panel_trim(c.gauge));
    const std::string words = "add " + c.window + " " + module + (name.empty() ? "" : "!" + name);
    const PanelWindow* window = find_window(c.window, words);
    if (!window) return false;
    if (module.empty() || !plain_text(module, false) || module.find('!') != std::string::npos)
      return refuse(words, "a module is named without ',', '!', '//' or a line end, not '" + module + "'");
    if (!plain_text(name, false)) return refuse(words, "a gauge is named without ',', '//' or a line end");
    if (const std::string fault = place_fault(c.place); !fault.empty()) return refuse(words, fault);
    // Keyed and spaced as the window's last gauge line, else the file's first.
    const PanelLine* like = nullptr;
    int last_line = 0, next = 0;
    for (const PanelGauge& gauge : window->gauges) {
      last_line = std::max(last_line, gauge.line);
      next = std::max(next, gauge.number + 1);
    }
    if (last_line) like = &before[static_cast<size_t>(last_line - 1)];
    for (size_t i = 0; !like && i < before.size(); ++i)
      if (before[i].kind == PanelLine::Kind::kKeyed && panel_numbered(before[i].key, "gauge")) like = &before[i];
    if (next > 9999) return refuse(words, window->name() + " has no gauge number left after 9999");
    std::string prefix = "gauge", separator = " ";
    size_t width = 2;
    if (like) {
      const std::string key(like->text.substr(like->key_begin, like->key_end - like->key_begin));
      prefix = key.substr(0, 5);
      width = key.size() - 5;
      separator = separator_of(like->value);
    }
    const std::string key = prefix + with_digits(next, width);
    std::string value = module + (name.empty() ? "" : "!" + name);
    for (const std::optional<double>& number :
         {std::optional<double>(c.place.x), std::optional<double>(c.place.y), c.place.width, c.place.height})
      if (number) value += "," + separator + panel_number_text(*number);
    if (!last_line) {
      const PanelLine* key_line = last_key_line(window->line, true);
      last_line = key_line ? key_line->number : window->line;
    }
    insert_after(last_line, keyed_like(like, key, value));
    log->push_back("add " + window->name() + " " + key + " " + module + (name.empty() ? "" : "!" + name) + " at " +
                   place_words(c.place));
    return true;
  }

  bool remove_gauge(const change::RemoveGauge& c) {
    const std::string what = "remove " + c.window + " gauge " + std::to_string(c.index);
    const PanelWindow* window = find_window(c.window, what);
    if (!window) return false;
    const PanelGauge* gauge = find_gauge(*window, c.index, what);
    if (!gauge) return false;
    log->push_back("remove " + gauge_words(*window, *gauge) + " (line " + std::to_string(gauge->line) + ")");
    erase(now(gauge->line));
    // The gauges after it close the gap, unless another keeps its number.
    for (const PanelGauge& other : window->gauges)
      if (&other != gauge && other.number == gauge->number) return true;
    for (const PanelGauge& other : window->gauges) {
      if (other.number <= gauge->number) continue;
      const PanelLine& line = before[static_cast<size_t>(other.line - 1)];
      const std::string key = key_text(other.line);
      const std::string renumbered = key.substr(0, 5) + with_digits(other.number - 1, key.size() - 5);
      lines[now(other.line)].text =
          std::string(line.text.substr(0, line.key_begin)) + renumbered + std::string(line.text.substr(line.key_end));
      log->push_back("renumber " + window->name() + " " + key + " (line " + std::to_string(other.line) + ") to " +
                     renumbered);
    }
    return true;
  }

  bool reorder(const change::Reorder& c) {
    const std::string what = "reorder " + c.window + " gauge " + std::to_string(c.index);
    const PanelWindow* window = find_window(c.window, what);
    if (!window) return false;
    const PanelGauge* gauge = find_gauge(*window, c.index, what);
    if (!gauge) return false;
    const long long target = static_cast<long long>(c.index) + c.offset;
    const std::string words = (c.offset >= 0 ? "bring forward " : "send back ") + gauge_words(*window, *gauge);
    if (c.offset == 0) return refuse(words, "an offset of 0 moves it nowhere");
    if (target < 0 || target >= static_cast<long long>(window->gauges.size()))
      return refuse(words, c.offset > 0 ? "it is drawn last already" : "it is drawn first already");
    const PanelGauge& other = window->gauges[static_cast<size_t>(target)];
    const PanelLine& a = before[static_cast<size_t>(gauge->line - 1)];
    const PanelLine& b = before[static_cast<size_t>(other.line - 1)];
    lines[now(a.number)].text = std::string(a.text.substr(0, a.equals)) + std::string(b.text.substr(b.equals));
    lines[now(b.number)].text = std::string(b.text.substr(0, b.equals)) + std::string(a.text.substr(a.equals));
    log->push_back(words + " to " + key_text(other.line) + " (" + (c.offset > 0 ? "over " : "under ") + other.gauge +
                   ")");
    return true;
  }

  // The lines of the counting [Window Titles] that name the window.
  std::vector<const PanelLine*> title_lines(int number, int* header) const {
    std::vector<const PanelLine*> found;
    *header = 0;
    for (const PanelLine& line : before) {
      if (line.section != "window titles" || !line.first_section) continue;
      if (line.kind == PanelLine::Kind::kSection) *header = line.number;
      if (line.kind == PanelLine::Kind::kKeyed && line.first_key && panel_numbered(line.key, "window") == number)
        found.push_back(&line);
    }
    return found;
  }

  bool set_title(const PanelWindow& window, const std::string& value) {
    const std::string what = "set " + window.name() + " title";
    if (window.virtual_cockpit) return refuse(what, "a virtual cockpit has no title");
    int header = 0;
    const std::vector<const PanelLine*> found = title_lines(window.number, &header);
    if (found.size() > 1)
      return refuse(what, "[Window Titles] names " + window.name() + " on lines " + std::to_string(found[0]->number) +
                              " and " + std::to_string(found[1]->number));
    if (!found.empty()) {
      if (value.empty()) {
        erase(now(found[0]->number));
        log->push_back("remove " + window.name() + " title (line " + std::to_string(found[0]->number) + ")");
      } else {
        lines[now(found[0]->number)].text = valued_line(*found[0], value);
        log->push_back("set " + window.name() + " title to " + value);
      }
      return true;
    }
    if (value.empty()) return true;
    // After the section's last key line, keyed and spaced as its last title.
    const PanelLine* last = header ? last_key_line(header, true) : nullptr;
    const PanelLine* like = nullptr;
    if (header)
      for (size_t i = static_cast<size_t>(header); i < section_range(header).second; ++i)
        if (before[i].kind == PanelLine::Kind::kKeyed && panel_numbered(before[i].key, "window")) like = &before[i];
    std::string prefix = "Window";
    if (like) prefix = std::string(like->text.substr(like->key_begin, 6));
    const std::string key = prefix + with_digits(window.number, 2);
    if (header) {
      insert_after(last ? last->number : header, keyed_like(like, key, value));
    } else {
      // No [Window Titles] yet: one before the first section.
      int first = 0;
      for (const PanelLine& line : before)
        if (line.kind == PanelLine::Kind::kSection) {
          first = line.number;
          break;
        }
      const size_t at = first ? now(first) : lines.size();
      insert(at, "[Window Titles]");
      insert(at + 1, key + "=" + value);
      insert(at + 2, "");
    }
    log->push_back("set " + window.name() + " title to " + value);
    return true;
  }

  bool set_window_key(const change::SetWindowKey& c) {
    const std::string key = panel_lower(panel_trim(c.key));
    const std::string value(panel_trim(c.value));
    const std::string what = "set " + c.window + " " + key;
    if (std::find(std::begin(kWindowKeys), std::end(kWindowKeys), key) == std::end(kWindowKeys))
      return refuse(what, "a window has no key '" + c.key +
                              "' to set (file, size_mm, visible, ident, position, pixel_size, texture or title)");
    if (!plain_text(value, true)) return refuse(what, "a value holds no '//' and no line end");
    const PanelWindow* window = find_window(c.window, what);
    if (!window) return false;
    if (key == "title") return set_title(*window, value);
    const auto [first, last] = section_range(window->line);
    const PanelLine* found = nullptr;
    for (size_t i = first + 1; i < last && !found; ++i)
      if (before[i].kind == PanelLine::Kind::kKeyed && before[i].first_key && before[i].key == key) found = &before[i];
    if (found && value.empty()) {
      erase(now(found->number));
      log->push_back("remove " + window->name() + " " + key + " (line " + std::to_string(found->number) + ")");
    } else if (found) {
      lines[now(found->number)].text = valued_line(*found, value);
      log->push_back("set " + window->name() + " " + key + " to " + value);
    } else if (!value.empty()) {
      const PanelLine* like = last_key_line(window->line, false);
      insert_after(like ? like->number : window->line, keyed_like(like, key, value));
      log->push_back("set " + window->name() + " " + key + " to " + value);
    }
    return true;
  }

  bool add_window(const change::AddWindow& c) {
    const std::string what = "add window " + c.window;
    const std::optional<WindowName> name = window_name(c.window);
    if (!name) return refuse(what, "a window is named WindowNN or VCockpitNN");
    PanelWindow window;
    window.virtual_cockpit = name->virtual_cockpit;
    window.number = name->number;
    if (config.find(window.name())) return refuse(what, window.name() + " is there already");
    const std::string title(panel_trim(c.title));
    if (window.virtual_cockpit && !title.empty()) return refuse(what, "a virtual cockpit has no title");
    if (!plain_text(title, true)) return refuse(what, "a title holds no '//' and no line end");
    if (!lines.empty() && !panel_trim(lines.back().text).empty()) insert(lines.size(), "");
    insert(lines.size(), "[" + window.name() + "]");
    log->push_back("add window " + window.name());
    if (window.virtual_cockpit) return true;
    // The title goes in with the section there (or an entry left from an
    // older window of that number goes): read the lines again.
    std::vector<Line> added = lines;
    fix_ends(added);
    Editor titled(source, added, log, error);
    if (!titled.set_title(*titled.config.find(window.name()), title)) return false;
    std::vector<int> origins;
    for (int o : titled.origin) origins.push_back(o < 0 ? -1 : origin[static_cast<size_t>(o)]);
    lines = std::move(titled.lines);
    origin = std::move(origins);
    return true;
  }

  bool remove_window(const change::RemoveWindow& c) {
    const std::string what = "remove window " + c.window;
    const PanelWindow* window = find_window(c.window, what);
    if (!window) return false;
    const auto [first, last] = section_range(window->line);
    int header = 0;
    const std::vector<const PanelLine*> titles =
        window->virtual_cockpit ? std::vector<const PanelLine*>{} : title_lines(window->number, &header);
    log->push_back("remove window " + window->name() + " (lines " + std::to_string(first + 1) + " to " +
                   std::to_string(last) + ")");
    for (const PanelLine* title : titles)
      log->push_back("remove " + window->name() + " title (line " + std::to_string(title->number) + ")");
    for (size_t i = first; i < last; ++i) erase(now(static_cast<int>(i) + 1));
    for (const PanelLine* title : titles) erase(now(title->number));
    return true;
  }

  // Every line but the last ends as the file's lines end; the last ends as
  // the file's last line ended.
  void fix_ends(std::vector<Line>& target) const {
    for (size_t i = 0; i + 1 < target.size(); ++i)
      if (target[i].end.empty()) target[i].end = file_end;
    // A blank last line keeps its end: without it, it would be no line at all.
    if (!target.empty() && ends_without_end && !target.back().text.empty()) target.back().end.clear();
  }

  // Reads the result back; true when the reader takes it and every line
  // counts, or is ignored, as before.
  bool check(const std::string& what) {
    fix_ends(lines);
    const std::string text = join(lines);
    std::string why;
    if (!parse_panel_config(text, source, &why)) return refuse(what, "the panel would not read: " + why);
    const std::vector<PanelLine> after = scan_panel_lines(text);
    for (size_t i = 0; i < after.size(); ++i) {
      const bool counted = origin[i] < 0 || before[static_cast<size_t>(origin[i])].counts();
      if (after[i].counts() == counted) continue;
      const int was = origin[i] + 1;
      if (counted)
        return refuse(what, "line " + std::to_string(was) + " ('" +
                                std::string(before[static_cast<size_t>(was - 1)].text) +
                                "') would become an ignored repeat");
      return refuse(what, "line " + std::to_string(was) + " ('" +
                              std::string(before[static_cast<size_t>(was - 1)].text) +
                              "'), ignored now as a repeat, would be read instead");
    }
    return true;
  }

  bool make_one(const change::Place& c) { return place(c); }
  bool make_one(const change::AddGauge& c) { return add_gauge(c); }
  bool make_one(const change::RemoveGauge& c) { return remove_gauge(c); }
  bool make_one(const change::Reorder& c) { return reorder(c); }
  bool make_one(const change::SetWindowKey& c) { return set_window_key(c); }
  bool make_one(const change::AddWindow& c) { return add_window(c); }
  bool make_one(const change::RemoveWindow& c) { return remove_window(c); }

  bool make(const PanelChange& change) {
    const size_t logged = log->size();
    const bool made = std::visit([this](const auto& c) { return make_one(c); }, change);
    if (!made) return false;
    return check(log->size() > logged ? (*log)[logged] : std::string("edit ") + source);
  }
};

std::optional<PanelDocument> PanelDocument::read(std::string text, const std::string& source, std::string* error) {
  std::optional<PanelConfig> config = parse_panel_config(text, source, error);
  if (!config) return std::nullopt;
  PanelDocument document;
  document.source_ = source;
  for (const PanelLine& line : scan_panel_lines(text))
    document.lines_.push_back(Line{std::string(line.text), std::string(line.end)});
  document.config_ = std::move(*config);
  document.original_ = std::move(text);
  document.saved_ = document.original_;
  return document;
}

std::string PanelDocument::text() const { return Editor::join(lines_); }

void PanelDocument::settle(std::vector<Line> lines) {
  lines_ = std::move(lines);
  std::string ignored;
  config_ = *parse_panel_config(text(), source_, &ignored);
}

bool PanelDocument::run(const PanelEdit& edit, bool merge, std::vector<std::string>* log, std::string* error) {
  std::vector<Line> lines = lines_;
  std::vector<std::string> step_log;
  for (const PanelChange& change : edit.changes) {
    Editor editor(source_, lines, &step_log, error);
    if (!editor.make(change)) return false;
    lines = std::move(editor.lines);
  }
  if (step_log.empty()) return true;  // nothing to do: a key to remove that is not there
  if (merge && merging_ && !undo_.empty()) {
    // The step of a drag: its changes, each as it stands last.
    Step& last = undo_.back();
    std::vector<std::string> merged;
    auto subject = [](const std::string& line) { return line.substr(0, line.find(" to ")); };
    for (const std::string& old : last.log)
      if (std::none_of(step_log.begin(), step_log.end(),
                       [&](const std::string& line) { return subject(line) == subject(old); }))
        merged.push_back(old);
    merged.insert(merged.end(), step_log.begin(), step_log.end());
    last.after = lines;
    last.log = merged;
    step_log = merged;
  } else {
    undo_.push_back(Step{lines_, lines, step_log});
    if (merge) redo_before_merge_ = redo_;
  }
  redo_.clear();
  merging_ = merge;
  settle(std::move(lines));
  if (log) log->insert(log->end(), step_log.begin(), step_log.end());
  return true;
}

bool PanelDocument::apply(const PanelEdit& edit, std::vector<std::string>* log, std::string* error) {
  return run(edit, false, log, error);
}

bool PanelDocument::apply_merged(const PanelEdit& edit, std::vector<std::string>* log, std::string* error) {
  return run(edit, true, log, error);
}

void PanelDocument::end_merge() {
  merging_ = false;
  redo_before_merge_.clear();
}

bool PanelDocument::withdraw_merged() {
  if (!merging_ || undo_.empty()) return false;
  Step step = std::move(undo_.back());
  undo_.pop_back();
  settle(std::move(step.before));
  redo_ = std::move(redo_before_merge_);
  redo_before_merge_.clear();
  merging_ = false;
  return true;
}

bool PanelDocument::can_undo() const { return !undo_.empty(); }
bool PanelDocument::can_redo() const { return !redo_.empty(); }

bool PanelDocument::undo(std::vector<std::string>* log) {
  if (undo_.empty()) return false;
  Step step = std::move(undo_.back());
  undo_.pop_back();
  if (log)
    for (const std::string& line : step.log) log->push_back("undo " + line);
  settle(step.before);
  redo_.push_back(std::move(step));
  merging_ = false;
  return true;
}

bool PanelDocument::redo(std::vector<std::string>* log) {
  if (redo_.empty()) return false;
  Step step = std::move(redo_.back());
  redo_.pop_back();
  if (log)
    for (const std::string& line : step.log) log->push_back("redo " + line);
  settle(step.after);
  undo_.push_back(std::move(step));
  merging_ = false;
  return true;
}

bool PanelDocument::modified() const { return text() != saved_; }
void PanelDocument::mark_saved() { saved_ = text(); }

// ---- Saving

namespace {

std::string errno_words(int number) {
  switch (number) {
    case ENOSPC:
      return "the disk is full";
    case EACCES:
    case EPERM:
      return "its folder cannot be written to";
    case ENOENT:
      return "its folder does not exist";
    case EROFS:
      return "the disk is read-only";
    default:
      return std::strerror(number);
  }
}

bool read_only(const fs::path& path) {
  std::error_code failed;
  const fs::file_status status = fs::status(path, failed);
  return !failed && fs::exists(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool flush_to_disk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

bool replace_file(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  const int folder = open(fs::path(to).parent_path().empty() ? "." : fs::path(to).parent_path().c_str(), O_RDONLY);
  if (folder >= 0) {
    fsync(folder);  // the rename itself on the disk
    close(folder);
  }
  return true;
#endif
}

// Writes `bytes` to a temporary file beside `path`, flushed, then renames it
// over `path`. On failure, why in *why and the temporary file gone.
bool write_atomically(const std::string& path, const std::string& bytes, std::string* why) {
  const std::string temporary = path + ".saving";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    *why = errno_words(errno);
    return false;
  }
  errno = 0;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && flush_to_disk(file);
  const int write_error = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    *why = errno_words(write_error ? write_error : errno ? errno : EIO);
    std::remove(temporary.c_str());
    return false;
  }
  std::error_code ignored;
  if (fs::exists(path, ignored)) fs::permissions(temporary, fs::status(path, ignored).permissions(), ignored);
  if (!replace_file(temporary, path)) {
    *why = "it could not be replaced";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> read_panel_file(const std::string& path, std::string* error) {
  std::error_code failed;
  if (fs::is_directory(path, failed)) {
    if (error) *error = "cannot read " + path + ": it is a folder";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error)
      *error = "cannot read " + path + ": " + (fs::exists(path, failed) ? "it cannot be opened" : "it does not exist");
    return std::nullopt;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    if (error) *error = "cannot read " + path + ": reading it failed";
    return std::nullopt;
  }
  return bytes.str();
}

SaveOutcome save_panel_file(const PanelSave& save, std::vector<std::string>* notes, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = "cannot save " + save.path + ": " + why;
    return SaveOutcome::kFailed;
  };
  const fs::path target(save.path);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::error_code failed;
  if (!fs::is_directory(folder, failed)) return fail("its folder " + folder.string() + " does not exist");
  const bool exists = fs::exists(target, failed);
  if (exists && fs::is_directory(target, failed)) return fail("it is a folder");
  if (save.expected) {
    const std::optional<std::string> on_disk = read_panel_file(save.path, nullptr);
    if (!on_disk || *on_disk != *save.expected) {
      if (error)
        *error = save.path + (on_disk ? " was changed on disk since it was read" : " is no longer there") +
                 "; nothing was written";
      return SaveOutcome::kChangedOnDisk;
    }
  }
  if (exists && read_only(target)) return fail("the file is read-only");
  if (save.keep_backup && exists) {
    const std::string backup = save.path + ".bak";
    const std::string backup_name = fs::path(backup).filename().string();
    std::string why;
    const std::optional<std::string> current = read_panel_file(save.path, &why);
    if (!current) return fail("its backup cannot be made: " + why);
    const bool older = fs::exists(backup, failed);
    if (older && read_only(backup)) return fail("the older backup " + backup + " is read-only");
    if (!write_atomically(backup, *current, &why)) return fail("the backup " + backup + " cannot be written: " + why);
    if (notes) notes->push_back(older ? "replaced an older " + backup_name : "kept the original as " + backup_name);
  }
  std::string why;
  if (!write_atomically(save.path, save.bytes, &why)) return fail(why);
  return SaveOutcome::kSaved;
}

}  // namespace tarnwix::host
