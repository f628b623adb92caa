// libFuzzer entry: edits made to any panel.cfg the reader accepts. The text
// is the input up to its first NUL; the bytes after it (or, without one, the
// text's own last bytes) choose the edits. Of every edit it checks that
//   - the reader reads from the text what the document's model holds, and
//     that model is what the edit means (the model kept here beside it);
//   - a refused edit leaves the bytes, and a place of sound numbers given to
//     a gauge that is there is never refused;
//   - every line the edit does not name is written back byte for byte;
// and that undoing every edit gives back the bytes read.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "panel_config.h"
#include "panel_document.h"
#include "panel_lines.h"

namespace {

using namespace tarnwix::host;

void require(bool holds) {
  if (!holds) __builtin_trap();
}

class Bytes {
 public:
  explicit Bytes(std::string_view bytes) : bytes_(bytes) {}
  bool empty() const { return at_ >= bytes_.size(); }
  unsigned next() { return empty() ? 0 : static_cast<unsigned char>(bytes_[at_++]); }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

double pick_number(Bytes& bytes) {
  const unsigned kind = bytes.next();
  switch (kind % 16) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return std::numeric_limits<double>::infinity();
    case 2:
      return kMaxPanelCoordinate + 0.5;
    case 3:
      return -kMaxPanelCoordinate;
    case 4:
      return -1;
    default:
      return static_cast<int>(bytes.next() | bytes.next() << 8) / 8.0 - 1000.0;
  }
}

std::optional<double> pick_size(Bytes& bytes) {
  if (bytes.next() % 3 == 0) return std::nullopt;
  return pick_number(bytes);
}

GaugePlace pick_place(Bytes& bytes) {
  GaugePlace place{pick_number(bytes), pick_number(bytes), pick_size(bytes), std::nullopt};
  if (place.width && bytes.next() % 2) place.height = pick_size(bytes);
  return place;
}

bool sound(double value) { return std::isfinite(value) && std::fabs(value) <= kMaxPanelCoordinate; }
bool sound_place(const GaugePlace& place) {
  return sound(place.x) && sound(place.y) && (!place.width || (sound(*place.width) && *place.width >= 0)) &&
         (!place.height || (place.width && sound(*place.height) && *place.height >= 0));
}
double written(double value) { return std::strtod(panel_number_text(value).c_str(), nullptr); }
std::optional<double> written(const std::optional<double>& value) {
  return value ? std::optional<double>(written(*value)) : std::nullopt;
}

// The windows read from more than one section, which the document does not edit.
bool split_window(std::string_view text, const PanelWindow& window) {
  int sections = 0;
  for (const PanelLine& line : scan_panel_lines(text)) {
    if (line.kind != PanelLine::Kind::kSection || !line.first_section) continue;
    const std::string prefix = window.virtual_cockpit ? "vcockpit" : "window";
    if (panel_numbered(line.section, prefix) == window.number) ++sections;
  }
  return sections > 1;
}

// ---- The model as the edits mean it

void require_same(const PanelConfig& a, const PanelConfig& b) {
  require(a.windows.size() == b.windows.size());
  for (size_t w = 0; w < a.windows.size(); ++w) {
    const PanelWindow &x = a.windows[w], &y = b.windows[w];
    require(x.name() == y.name() && x.title == y.title && x.ident == y.ident && x.position == y.position &&
            x.visible == y.visible && x.texture == y.texture && x.size_mm_width == y.size_mm_width &&
            x.size_mm_height == y.size_mm_height && x.gauges.size() == y.gauges.size());
    for (size_t g = 0; g < x.gauges.size(); ++g) {
      const PanelGauge &p = x.gauges[g], &q = y.gauges[g];
      require(p.number == q.number && p.module == q.module && p.gauge == q.gauge && p.x == q.x && p.y == q.y &&
              p.width == q.width && p.height == q.height && p.parameters == q.parameters);
    }
  }
}

PanelWindow* find(PanelConfig& config, const std::string& name) {
  return const_cast<PanelWindow*>(std::as_const(config).find(name));
}

void expect_change(PanelConfig& model, const PanelChange& change) {
  if (const auto* c = std::get_if<change::Place>(&change)) {
    PanelGauge& gauge = find(model, c->window)->gauges[c->index];
    gauge.x = written(c->place.x);
    gauge.y = written(c->place.y);
    gauge.width = written(c->place.width);
    gauge.height = written(c->place.height);
  } else if (const auto* c = std::get_if<change::AddGauge>(&change)) {
    PanelWindow& window = *find(model, c->window);
    PanelGauge gauge;
    for (const PanelGauge& other : window.gauges) gauge.number = std::max(gauge.number, other.number + 1);
    gauge.module = c->module;
    gauge.gauge = c->gauge.empty() ? c->module : c->gauge;
    gauge.x = written(c->place.x);
    gauge.y = written(c->place.y);
    gauge.width = written(c->place.width);
    gauge.height = written(c->place.height);
    window.gauges.push_back(gauge);
  } else if (const auto* c = std::get_if<change::RemoveGauge>(&change)) {
    std::vector<PanelGauge>& gauges = find(model, c->window)->gauges;
    const int number = gauges[c->index].number;
    gauges.erase(gauges.begin() + static_cast<std::ptrdiff_t>(c->index));
    if (std::none_of(gauges.begin(), gauges.end(), [&](const PanelGauge& g) { return g.number == number; }))
      for (PanelGauge& gauge : gauges)
        if (gauge.number > number) --gauge.number;
  } else if (const auto* c = std::get_if<change::Reorder>(&change)) {
    std::vector<PanelGauge>& gauges = find(model, c->window)->gauges;
    PanelGauge &a = gauges[c->index], &b = gauges[static_cast<size_t>(static_cast<long>(c->index) + c->offset)];
    std::swap(a, b);
    std::swap(a.number, b.number);
  } else if (const auto* c = std::get_if<change::SetWindowKey>(&change)) {
    PanelWindow& window = *find(model, c->window);
    if (c->key == "title") window.title = c->value;
    if (c->key == "ident") window.ident = c->value;
    if (c->key == "position") window.position = c->value;
    if (c->key == "texture") window.texture = c->value;
    if (c->key == "visible") window.visible = !(c->value == "0" || c->value == "no");
    if (c->key == "size_mm") {
      window.size_mm_width = c->value.empty() ? std::nullopt : std::optional<double>(std::atof(c->value.c_str()));
      const size_t comma = c->value.find(',');
      window.size_mm_height =
          comma == std::string::npos ? std::nullopt : std::optional<double>(std::atof(c->value.c_str() + comma + 1));
    }
  } else if (const auto* c = std::get_if<change::AddWindow>(&change)) {
    PanelWindow window;
    window.virtual_cockpit = c->window.rfind("VCockpit", 0) == 0;
    window.number = std::atoi(c->window.c_str() + (window.virtual_cockpit ? 8 : 6));
    window.title = c->title;
    auto after = std::find_if(model.windows.begin(), model.windows.end(), [&](const PanelWindow& other) {
      return other.virtual_cockpit != window.virtual_cockpit ? !other.virtual_cockpit < !window.virtual_cockpit
                                                             : other.number > window.number;
    });
    model.windows.insert(after, window);
  } else if (const auto* c = std::get_if<change::RemoveWindow>(&change)) {
    model.windows.erase(model.windows.begin() + (find(model, c->window) - model.windows.data()));
  }
}

// ---- Choosing edits

PanelChange pick_change(Bytes& bytes, const PanelConfig& config) {
  const PanelWindow& window = config.windows[bytes.next() % config.windows.size()];
  const std::string name = bytes.next() % 29 == 0 ? "Window77" : window.name();
  const size_t index = window.gauges.empty() ? 0 : bytes.next() % (window.gauges.size() + 1);
  static const char* const kModules[] = {"Acme", "Tarnwix_Airspeed", "a,b", "x//y", ""};
  static const char* const kKeys[] = {"title", "ident", "visible", "size_mm", "position", "texture", "colour"};
  static const char* const kValues[] = {"", "0", "Main Panel", "300,200", "12.5", "0,0", "a // b"};
  switch (bytes.next() % 8) {
    case 0:
    case 1:
      return change::Place{name, index, pick_place(bytes)};
    case 2: {
      const char* module = kModules[bytes.next() % 5];
      return change::AddGauge{name, module, bytes.next() % 2 ? "Gauge" : "", pick_place(bytes)};
    }
    case 3:
      return change::RemoveGauge{name, index};
    case 4:
      return change::Reorder{name, index, static_cast<int>(bytes.next() % 5) - 2};
    case 5:
      return change::SetWindowKey{name, kKeys[bytes.next() % 7], kValues[bytes.next() % 7]};
    case 6: {
      const unsigned number = bytes.next();
      const std::string digits = std::to_string(number % 6);
      return change::AddWindow{(number & 8 ? "VCockpit0" : "Window0") + digits, number & 16 ? "Added" : ""};
    }
    default:
      return change::RemoveWindow{name};
  }
}

// ---- Lines an edit does not name

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for (const PanelLine& line : scan_panel_lines(text)) lines.push_back(std::string(line.text) + std::string(line.end));
  return lines;
}

// The lines (from 1) of the text before a change that it may rewrite or remove.
std::vector<int> named_lines(const PanelChange& change, const PanelConfig& config, std::string_view text) {
  const std::vector<PanelLine> lines = scan_panel_lines(text);
  std::vector<int> named{static_cast<int>(lines.size())};  // the last line's end
  auto section = [&](int header) {
    for (int line = header; line <= static_cast<int>(lines.size()); ++line) {
      if (line > header && lines[static_cast<size_t>(line - 1)].kind == PanelLine::Kind::kSection) break;
      named.push_back(line);
    }
  };
  std::visit(
      [&](const auto& c) {
        const PanelWindow* window = config.find(c.window);
        if (!window) return;
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, change::Place>) {
          named.push_back(window->gauges[c.index].line);
        } else if constexpr (std::is_same_v<C, change::RemoveGauge>) {
          for (const PanelGauge& gauge : window->gauges)
            if (gauge.number >= window->gauges[c.index].number) named.push_back(gauge.line);
        } else if constexpr (std::is_same_v<C, change::Reorder>) {
          named.push_back(window->gauges[c.index].line);
          named.push_back(window->gauges[static_cast<size_t>(static_cast<long>(c.index) + c.offset)].line);
        } else if constexpr (std::is_same_v<C, change::SetWindowKey> || std::is_same_v<C, change::RemoveWindow>) {
          section(window->line);
        }
      },
      change);
  for (const PanelLine& line : lines)
    if (line.section == "window titles") named.push_back(line.number);
  return named;
}

void require_untouched_kept(const std::vector<std::string>& before, const std::vector<int>& named,
                            const std::vector<std::string>& after) {
  size_t at = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (std::find(named.begin(), named.end(), static_cast<int>(i) + 1) != named.end()) continue;
    // The last line may lose its end when the lines after it go, as the file had no final end.
    auto same = [&](const std::string& line) {
      if (line == before[i]) return true;
      const std::string& was = before[i];
      const size_t end = was.size() >= 2 && was.compare(was.size() - 2, 2, "\r\n") == 0 ? 2
                         : !was.empty() && was.back() == '\n'                           ? 1
                                                                                        : 0;
      return at + 1 == after.size() && line.find('\n') == std::string::npos && was.substr(0, was.size() - end) == line;
    };
    while (at < after.size() && !same(after[at])) ++at;
    require(at < after.size());
    ++at;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view text = input.substr(0, nul);
  std::string error;
  std::optional<PanelDocument> document = PanelDocument::read(std::string(text), "f.cfg", &error);
  if (!document) return 0;
  require(document->text() == text && !document->modified());
  Bytes bytes(nul == std::string_view::npos ? text.substr(text.size() - std::min<size_t>(text.size(), 48))
                                            : input.substr(nul + 1));
  PanelConfig model = document->config();
  for (int round = 0; round < 12 && !bytes.empty(); ++round) {
    const unsigned what = bytes.next();
    if (what % 11 == 0 && document->can_undo()) {  // back and forth again
      const std::string now = document->text();
      require(document->undo(nullptr) && document->redo(nullptr) && document->text() == now);
      continue;
    }
    PanelEdit edit;
    edit.changes.push_back(pick_change(bytes, document->config()));
    if (what % 7 == 0) edit.changes.push_back(pick_change(bytes, document->config()));
    const std::string before = document->text();
    const PanelConfig config = document->config();
    std::vector<std::string> log;
    const bool merged = what % 5 == 0;
    const bool applied = merged ? document->apply_merged(edit, &log, &error) : document->apply(edit, &log, &error);
    if (!merged) document->end_merge();
    if (!applied) {
      require(document->text() == before && !error.empty());
      const auto* place = std::get_if<change::Place>(&edit.changes[0]);
      const PanelWindow* window = place ? config.find(place->window) : nullptr;
      require(!(edit.changes.size() == 1 && window && place->index < window->gauges.size() &&
                sound_place(place->place) && !split_window(before, *window)));
      continue;
    }
    for (const PanelChange& change : edit.changes) expect_change(model, change);
    require(!log.empty() || document->text() == before);
    const auto read_back = parse_panel_config(document->text(), "f.cfg", &error);
    require(read_back.has_value());
    require_same(*read_back, document->config());
    require_same(model, document->config());
    if (edit.changes.size() == 1)
      require_untouched_kept(lines_of(before), named_lines(edit.changes[0], config, before),
                             lines_of(document->text()));
    model = document->config();  // merged steps and line numbers as the document has them
  }
  const std::string last = document->text();
  while (document->undo(nullptr)) {
  }
  require(document->text() == text && !document->modified());
  while (document->redo(nullptr)) {
  }
  require(document->text() == last);
  return 0;
}
