// The panel.cfg reader: plain C++ over text (see panel_config.h).
#include "panel_config.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

#include "panel_lines.h"

namespace tarnwix::host {

namespace {

std::string_view trim(std::string_view text) { return panel_trim(text); }
std::string lower(std::string_view text) { return panel_lower(text); }
std::optional<int> numbered(std::string_view name, std::string_view prefix) { return panel_numbered(name, prefix); }

// A plain decimal: optional sign, digits, optional fraction; no exponent,
// no hex, no nan or inf. Within +-kMaxPanelCoordinate.
bool parse_number(std::string_view text, double* value) {
  text = trim(text);
  if (text.empty() || text.size() > 32) return false;
  size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
  size_t digits = 0, points = 0;
  for (size_t k = i; k < text.size(); ++k) {
    if (std::isdigit(static_cast<unsigned char>(text[k])))
      ++digits;
    else if (text[k] == '.')
      ++points;
    else
      return false;
  }
  if (digits == 0 || points > 1) return false;
  const std::string copy(text);
  const double parsed = std::strtod(copy.c_str(), nullptr);
  if (!std::isfinite(parsed) || std::fabs(parsed) > kMaxPanelCoordinate) return false;
  *value = parsed;
  return true;
}

std::vector<std::string_view> split_fields(std::string_view value) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t comma = value.find(',', start);
    fields.push_back(
        trim(value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

struct SectionKey {
  bool virtual_cockpit;
  int number;
  friend bool operator<(const SectionKey& a, const SectionKey& b) {
    return a.virtual_cockpit != b.virtual_cockpit ? !a.virtual_cockpit : a.number < b.number;
  }
};

}  // namespace

std::string PanelWindow::name() const {
  std::string digits = std::to_string(number);
  if (digits.size() < 2) digits.insert(0, 2 - digits.size(), '0');
  return (virtual_cockpit ? "VCockpit" : "Window") + digits;
}

const PanelWindow* PanelConfig::find(std::string_view which) const {
  const std::string wanted = lower(trim(which));
  std::optional<int> number = numbered(wanted, "window");
  bool virtual_cockpit = false;
  if (!number) number = numbered("window" + wanted, "window");
  if (!number) {
    number = numbered(wanted, "vcockpit");
    virtual_cockpit = true;
  }
  if (!number) return nullptr;
  for (const PanelWindow& window : windows)
    if (window.virtual_cockpit == virtual_cockpit && window.number == *number) return &window;
  return nullptr;
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string join_path(const std::string& folder, const std::string& path) {
  const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
  if (absolute || folder.empty() || folder == ".") return path;
  return folder + "/" + path;
}

std::optional<PanelConfig> parse_panel_config(std::string_view text, const std::string& source, std::string* error) {
  PanelConfig config;
  config.source = source;
  std::map<SectionKey, PanelWindow> windows;
  std::map<int, std::string> titles;
  enum class Section { kIgnored, kTitles, kWindow };
  Section section = Section::kIgnored;
  PanelWindow* window = nullptr;
  bool file_seen = false;  // a file= line in the current section, so that file_1024= gives way
  int number = 0;
  auto fail = [&](const std::string& message) {
    if (error) *error = source + ":" + std::to_string(number) + ": " + message;
    return std::nullopt;
  };

  for (const PanelLine& line : scan_panel_lines(text)) {
    number = line.number;
    if (line.kind == PanelLine::Kind::kSection) {
      const std::string& name = line.section;
      section = Section::kIgnored;
      window = nullptr;
      file_seen = false;
      if (!line.first_section) continue;  // a repeated section: the first counts
      if (name == "window titles") {
        section = Section::kTitles;
      } else if (std::optional<int> n = numbered(name, "window")) {
        section = Section::kWindow;
        window = &windows[{false, *n}];
      } else if (std::optional<int> n = numbered(name, "vcockpit")) {
        section = Section::kWindow;
        window = &windows[{true, *n}];
        window->virtual_cockpit = true;
      }
      if (window) {
        window->number = *numbered(name, window->virtual_cockpit ? "vcockpit" : "window");
        window->line = number;
      }
      continue;
    }
    if (section == Section::kIgnored || line.kind != PanelLine::Kind::kKeyed) continue;
    const std::string& key = line.key;
    const std::string_view value = line.value;
    if (key == "file") file_seen = true;
    if (!line.first_key) continue;  // a repeated key: the first counts

    if (section == Section::kTitles) {
      if (std::optional<int> n = numbered(key, "window")) titles[*n] = std::string(value);
      continue;
    }
    if (key == "file") {
      window->background = std::string(value);
    } else if (key == "file_1024") {
      if (!file_seen) window->background = std::string(value);
    } else if (key == "size_mm" || key == "pixel_size") {
      const std::vector<std::string_view> fields = split_fields(value);
      double width = 0, height = 0;
      const bool pixels = key == "pixel_size";
      if (fields.size() > 2 || !parse_number(fields[0], &width) ||
          (fields.size() == 2 && !parse_number(fields[1], &height)) || (pixels && fields.size() != 2))
        return fail(key + " wants " + (pixels ? "W, H" : "W[, H]") + ", two numbers up to " +
                    std::to_string(static_cast<int>(kMaxPanelCoordinate)) + ", not '" + std::string(value) + "'");
      if (width <= 0 || height < 0 || (fields.size() == 2 && height == 0))
        return fail(key + " wants sizes above 0, not '" + std::string(value) + "'");
      if (pixels) {
        window->pixel_width = static_cast<int>(std::lround(width));
        window->pixel_height = static_cast<int>(std::lround(height));
      } else {
        window->size_mm_width = width;
        if (fields.size() == 2) window->size_mm_height = height;
      }
    } else if (key == "visible") {
      window->visible = !(value == "0" || lower(value) == "false" || lower(value) == "no");
    } else if (key == "ident") {
      window->ident = std::string(value);
    } else if (key == "position") {
      window->position = std::string(value);
    } else if (key == "texture") {
      window->texture = std::string(value);
    } else if (std::optional<int> n = numbered(key, "gauge")) {
      const std::vector<std::string_view> fields = split_fields(value);
      PanelGauge gauge;
      gauge.line = number;
      gauge.number = *n;
      const std::string_view name = fields[0];
      const size_t bang = name.find('!');
      gauge.module = std::string(trim(name.substr(0, bang)));
      gauge.gauge = bang == std::string_view::npos ? gauge.module : std::string(trim(name.substr(bang + 1)));
      if (gauge.module.empty()) return fail(key + " names no module");
      if (gauge.gauge.empty()) return fail(key + " names no gauge after '!'");
      if (fields.size() < 3 || fields[1].empty() || fields[2].empty())
        return fail(key + " wants Module!Gauge, X, Y[, W[, H]]: a coordinate is missing");
      const char* axis[] = {"X", "Y", "W", "H"};
      double numbers[4] = {};
      for (size_t i = 1; i < fields.size() && i <= 4; ++i) {
        if (i >= 3 && fields[i].empty()) continue;  // an empty size: not given
        if (!parse_number(fields[i], &numbers[i - 1]))
          return fail(key + ": " + axis[i - 1] + " is not a number up to " +
                      std::to_string(static_cast<int>(kMaxPanelCoordinate)) + ": '" + std::string(fields[i]) + "'");
        if (i >= 3 && numbers[i - 1] < 0)
          return fail(key + ": " + axis[i - 1] + " is a negative size: '" + std::string(fields[i]) + "'");
      }
      gauge.x = numbers[0];
      gauge.y = numbers[1];
      if (fields.size() > 3 && !fields[3].empty()) gauge.width = numbers[2];
      if (fields.size() > 4 && !fields[4].empty()) {
        if (!gauge.width) return fail(key + ": a height without a width");
        gauge.height = numbers[3];
      }
      if (fields.size() > 5) {
        size_t after = 0;  // just past the fifth comma
        for (int comma = 0; comma < 5; ++comma) after = value.find(',', after) + 1;
        gauge.parameters = std::string(trim(value.substr(after)));
      }
      window->gauges.push_back(std::move(gauge));
    }
  }

  for (auto& [key, entry] : windows) {
    if (!entry.virtual_cockpit)
      if (auto title = titles.find(entry.number); title != titles.end()) entry.title = title->second;
    std::stable_sort(entry.gauges.begin(), entry.gauges.end(),
                     [](const PanelGauge& a, const PanelGauge& b) { return a.number < b.number; });
    config.windows.push_back(std::move(entry));
  }
  if (config.windows.empty()) {
    if (error) *error = source + ": no [WindowNN] or [VCockpitNN] section";
    return std::nullopt;
  }
  return config;
}

}  // namespace tarnwix::host
