// The layout editor: the selection, drags and keys turned into edits of the
// panel.cfg document, laid out at once by the session; the file watched.
#include "layout_editor.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "file_stamp.h"
#include "scenario_reader.h"

namespace tarnwix::view {

namespace {

using host::GaugePlace;
using host::PanelDocument;
using host::PanelEdit;
using host::PanelWindow;

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Pixel arithmetic is done in 64 bits and kept within this reach, so that a
// point far outside the window cannot overflow.
constexpr int64_t kPixelReach = int64_t{1} << 30;
int64_t reach(int64_t value) { return std::clamp(value, -kPixelReach, kPixelReach); }
int to_int(int64_t value) { return static_cast<int>(reach(value)); }

// A whole number of units within what the reader accepts.
double whole(double units) {
  if (!std::isfinite(units)) return 0;
  return std::round(std::clamp(units, -host::kMaxPanelCoordinate, host::kMaxPanelCoordinate));
}

// A value moved by `pixels` picture pixels: unchanged when not moved, so that
// a value written with decimals stays as written until it is dragged.
double shifted(double units, int64_t pixels, double scale) {
  if (pixels == 0) return units;
  return whole(units + static_cast<double>(pixels) / scale);
}

struct Box {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  int64_t width() const { return right - left; }
  int64_t height() const { return bottom - top; }
};

Box box_of(const Rect& rect) { return {rect.x, rect.y, int64_t{rect.x} + rect.width, int64_t{rect.y} + rect.height}; }

// The snap the positions take: the offset bringing the nearest of them onto
// a target within `reach_pixels`, or 0.
int64_t snap_offset(const std::vector<int64_t>& moving, const std::vector<int64_t>& targets, int reach_pixels) {
  int64_t best = 0;
  int64_t best_distance = std::numeric_limits<int64_t>::max();
  for (int64_t from : moving)
    for (int64_t to : targets) {
      const int64_t distance = std::llabs(to - from);
      if (distance <= reach_pixels && distance < best_distance) {
        best_distance = distance;
        best = to - from;
      }
    }
  return best;
}

void add_guides(const std::vector<int64_t>& moving, const std::vector<int64_t>& targets, bool vertical,
                std::vector<SnapGuide>& guides) {
  for (int64_t at : moving) {
    if (std::find(targets.begin(), targets.end(), at) == targets.end()) continue;
    const SnapGuide guide{vertical, to_int(at)};
    const bool known = std::any_of(guides.begin(), guides.end(), [&](const SnapGuide& g) {
      return g.vertical == guide.vertical && g.position == guide.position;
    });
    if (!known) guides.push_back(guide);
  }
}

bool sizes_left(Grip grip) { return grip == Grip::kTopLeft || grip == Grip::kLeft || grip == Grip::kBottomLeft; }
bool sizes_right(Grip grip) { return grip == Grip::kTopRight || grip == Grip::kRight || grip == Grip::kBottomRight; }
bool sizes_top(Grip grip) { return grip == Grip::kTopLeft || grip == Grip::kTop || grip == Grip::kTopRight; }
bool sizes_bottom(Grip grip) {
  return grip == Grip::kBottomLeft || grip == Grip::kBottom || grip == Grip::kBottomRight;
}
bool is_corner(Grip grip) { return (sizes_left(grip) || sizes_right(grip)) && (sizes_top(grip) || sizes_bottom(grip)); }

GaugePlace place_of(const host::PanelGauge& gauge) { return {gauge.x, gauge.y, gauge.width, gauge.height}; }

// A gauge line as it reads: without its leading blanks and its line-end comment.
std::string line_text(const std::string& text, int line) {
  size_t start = 0;
  for (int n = 1; n < line && start != std::string::npos; ++n) {
    start = text.find('\n', start);
    if (start != std::string::npos) ++start;
  }
  if (start == std::string::npos || start > text.size()) return "";
  size_t end = text.find('\n', start);
  std::string result = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const size_t comment = result.find("//");
  if (comment != std::string::npos) result.erase(comment);
  const size_t first = result.find_first_not_of(" \t");
  const size_t last = result.find_last_not_of(" \t\r");
  return first == std::string::npos ? "" : result.substr(first, last - first + 1);
}

}  // namespace

struct LayoutEditor::State {
  State(Session& s, EventLog& l) : session(&s), log(l) {}

  Session* session;
  EventLog& log;
  std::string path;
  std::string modules_folder;
  std::optional<PanelDocument> document;
  std::string window_name;
  std::string window_to_open;
  std::vector<size_t> selection;

  // The drag under way: what it started from.
  bool dragging = false;
  Grip grip = Grip::kNone;
  int start_x = 0, start_y = 0;
  std::vector<GaugePlace> start_places;  // of the selection, in its order
  std::vector<Box> start_boxes;
  bool drag_applied = false;
  std::string text_before_drag;
  std::vector<std::string> drag_log;
  std::vector<SnapGuide> guides;

  // The file: the bytes last read or saved, and its stamp then.
  std::string disk_bytes;
  bool saved_once = false;
  FileStamp known_stamp, pending_stamp;
  bool needs_decision = false;
  std::optional<PanelDocument> disk_document;
  std::string disk_document_bytes;
  std::string last_problem;

  int frame() const { return session->frame_number(); }
  void record(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) log.add(frame(), line);
  }
  const host::PanelConfig& config() const { return document->config(); }
  const PanelWindow* window() const { return config().find(window_name); }
  size_t gauge_count() const {
    const PanelWindow* shown = window();
    return shown ? shown->gauges.size() : 0;
  }
  double scale() const {
    const double scale = session->layout().scale;
    return std::isfinite(scale) && scale > 0 ? scale : 1;
  }

  // Where the gauge is drawn; a line past a gap in the numbering is not
  // drawn, and is taken to be where its line puts it.
  Rect rect_of(size_t index) const {
    const auto& placements = session->layout().placements;
    if (index < placements.size()) {
      const host::PanelPlacement& place = placements[index];
      return {place.x, place.y, place.width, place.height};
    }
    const PanelWindow* shown = window();
    if (shown == nullptr || index >= shown->gauges.size()) return {};
    const host::PanelGauge& gauge = shown->gauges[index];
    auto pixels = [&](double units) {
      return to_int(static_cast<int64_t>(std::llround(std::clamp(units * scale(), -1e9, 1e9))));
    };
    const int width = gauge.width ? pixels(*gauge.width) : host::kUnknownSize;
    const int height = gauge.height ? pixels(*gauge.height) : host::kUnknownSize;
    return {pixels(gauge.x), pixels(gauge.y), width, height};
  }

  bool selected(size_t index) const { return std::find(selection.begin(), selection.end(), index) != selection.end(); }

  void keep_valid_selection() {
    const size_t count = gauge_count();
    std::erase_if(selection, [&](size_t index) { return index >= count; });
  }

  // The session lays the window out from the document; when the window it
  // shows is no longer in the document, the caller is to open another.
  void lay_out() {
    const PanelWindow* shown = session->panel_window();
    const std::string shown_name = shown ? shown->name() : "";
    if (!shown_name.empty() && config().find(shown_name) != nullptr) {
      window_name = config().find(shown_name)->name();
      window_to_open.clear();
      std::string why;
      if (!session->set_panel(config(), &why)) log.add(frame(), "cannot lay out " + window_name + ": " + why);
    } else if (config().find(window_name) == nullptr || window_to_open.empty()) {
      window_name = config().windows.empty() ? "" : config().windows.front().name();
      window_to_open = window_name;
      selection.clear();
    }
    keep_valid_selection();
  }

  bool apply(const PanelEdit& edit, std::string* error) {
    std::vector<std::string> lines;
    std::string why;
    if (!document->apply(edit, &lines, &why)) {
      if (error) *error = why;
      return false;
    }
    record(lines);
    lay_out();
    return true;
  }

  void take(PanelDocument fresh, const std::string& bytes, const std::string& why) {
    document = std::move(fresh);
    disk_bytes = bytes;
    needs_decision = false;
    disk_document.reset();
    log.add(frame(), "reread " + file_name(path) + ": " + why);
    lay_out();
  }

  void report_problem(const std::string& why) {
    if (why == last_problem) return;
    last_problem = why;
    log.add(frame(), file_name(path) + " does not read: " + why + " (the window stays as it was)");
  }

  void examine(bool forced) {
    std::string why;
    std::optional<std::string> bytes = host::read_panel_file(path, &why);
    if (!bytes) return report_problem(why);
    if (!forced && *bytes == disk_bytes) {
      last_problem.clear();
      needs_decision = false;
      disk_document.reset();
      return;
    }
    std::optional<PanelDocument> fresh = PanelDocument::read(*bytes, path, &why);
    if (!fresh) return report_problem(why);
    if (fresh->config().windows.empty()) return report_problem(path + " has no [WindowNN] or [VCockpitNN] section");
    last_problem.clear();
    if (document->modified()) {
      if (!needs_decision)
        log.add(frame(),
                file_name(path) + " changed on disk while edits of it are unsaved: take the file or keep the edits");
      needs_decision = true;
      disk_document = std::move(fresh);
      disk_document_bytes = *bytes;
      return;
    }
    take(std::move(*fresh), *bytes, forced ? "read again" : "it changed on disk");
  }

  // The places of a drag from its start: the selection moved by (dx, dy),
  // its edges and centres snapped unless `free`.
  std::vector<GaugePlace> moved_places(int64_t dx, int64_t dy, bool free, int snap) {
    guides.clear();
    std::vector<int64_t> target_xs, target_ys;
    auto moved_xs = [&](int64_t offset) {
      std::vector<int64_t> at;
      for (const Box& box : start_boxes)
        at.insert(at.end(), {box.left + offset, box.left + box.width() / 2 + offset, box.right + offset});
      return at;
    };
    auto moved_ys = [&](int64_t offset) {
      std::vector<int64_t> at;
      for (const Box& box : start_boxes)
        at.insert(at.end(), {box.top + offset, box.top + box.height() / 2 + offset, box.bottom + offset});
      return at;
    };
    if (!free && snap > 0) {
      targets(target_xs, target_ys);
      dx += snap_offset(moved_xs(dx), target_xs, snap);
      dy += snap_offset(moved_ys(dy), target_ys, snap);
      add_guides(moved_xs(dx), target_xs, true, guides);
      add_guides(moved_ys(dy), target_ys, false, guides);
    }
    const double scale = this->scale();
    std::vector<GaugePlace> places;
    for (const GaugePlace& start : start_places) {
      GaugePlace place = start;
      place.x = shifted(start.x, dx, scale);
      place.y = shifted(start.y, dy, scale);
      places.push_back(place);
    }
    return places;
  }

  // The place of the one selected gauge sized by its handle.
  GaugePlace sized_place(int64_t dx, int64_t dy, bool keep_aspect, bool free, int snap) {
    guides.clear();
    const Box start = start_boxes.front();
    Box box = start;
    if (sizes_left(grip)) box.left += dx;
    if (sizes_right(grip)) box.right += dx;
    if (sizes_top(grip)) box.top += dy;
    if (sizes_bottom(grip)) box.bottom += dy;
    std::vector<int64_t> target_xs, target_ys;
    if (!free && snap > 0) {
      targets(target_xs, target_ys);
      int64_t& x_edge = sizes_left(grip) ? box.left : box.right;
      int64_t& y_edge = sizes_top(grip) ? box.top : box.bottom;
      if (sizes_left(grip) || sizes_right(grip)) x_edge += snap_offset({x_edge}, target_xs, snap);
      if (sizes_top(grip) || sizes_bottom(grip)) y_edge += snap_offset({y_edge}, target_ys, snap);
    }
    // An edge dragged past the opposite one stops a pixel short of it.
    if (box.width() < 1) (sizes_left(grip) ? box.left : box.right) = sizes_left(grip) ? box.right - 1 : box.left + 1;
    if (box.height() < 1) (sizes_top(grip) ? box.top : box.bottom) = sizes_top(grip) ? box.bottom - 1 : box.top + 1;
    if (keep_aspect) {
      const double start_width = static_cast<double>(std::max<int64_t>(start.width(), 1));
      const double start_height = static_cast<double>(std::max<int64_t>(start.height(), 1));
      int64_t width = box.width(), height = box.height();
      if (is_corner(grip)) {
        const double factor = std::max(width / start_width, height / start_height);
        width = std::max<int64_t>(1, std::llround(std::min(start_width * factor, 1e9)));
        height = std::max<int64_t>(1, std::llround(std::min(start_height * factor, 1e9)));
      } else if (sizes_left(grip) || sizes_right(grip)) {
        height = std::max<int64_t>(1, std::llround(std::min(width * start_height / start_width, 1e9)));
      } else {
        width = std::max<int64_t>(1, std::llround(std::min(height * start_width / start_height, 1e9)));
      }
      if (sizes_left(grip))
        box.left = box.right - width;
      else
        box.right = box.left + width;
      if (sizes_top(grip))
        box.top = box.bottom - height;
      else
        box.bottom = box.top + height;
    }
    if (!free && snap > 0) {
      std::vector<int64_t> xs, ys;
      if (sizes_left(grip) || (keep_aspect && !sizes_right(grip))) xs.push_back(box.left);
      if (sizes_right(grip) || (keep_aspect && !sizes_left(grip))) xs.push_back(box.right);
      if (sizes_top(grip) || (keep_aspect && !sizes_bottom(grip))) ys.push_back(box.top);
      if (sizes_bottom(grip) || (keep_aspect && !sizes_top(grip))) ys.push_back(box.bottom);
      add_guides(xs, target_xs, true, guides);
      add_guides(ys, target_ys, false, guides);
    }
    const double scale = this->scale();
    const GaugePlace& from = start_places.front();
    const double start_width = from.width ? *from.width : whole(static_cast<double>(start.width()) / scale);
    const double start_height = from.height ? *from.height : whole(static_cast<double>(start.height()) / scale);
    GaugePlace place;
    place.x = shifted(from.x, box.left - start.left, scale);
    place.y = shifted(from.y, box.top - start.top, scale);
    place.width = std::max(1.0, shifted(start_width, box.width() - start.width(), scale));
    place.height = std::max(1.0, shifted(start_height, box.height() - start.height(), scale));
    return place;
  }

  SaveResult finish_save(const host::PanelSave& request, std::string* error) {
    State& state = *this;
    std::vector<std::string> notes;
    std::string why;
    switch (host::save_panel_file(request, &notes, &why)) {
      case host::SaveOutcome::kSaved:
        break;
      case host::SaveOutcome::kChangedOnDisk:
        *error = request.path + " was changed by another program since it was read: nothing written";
        return SaveResult::kChangedOnDisk;
      case host::SaveOutcome::kFailed:
        *error = why;
        state.log.add(state.frame(), "cannot save " + request.path + ": " + why);
        return SaveResult::kFailed;
    }
    state.path = request.path;
    state.disk_bytes = request.bytes;
    state.saved_once = true;
    state.needs_decision = false;
    state.disk_document.reset();
    state.last_problem.clear();
    state.known_stamp = state.pending_stamp = stamp_of(state.path);
    state.document->mark_saved();
    state.log.add(state.frame(), "saved " + request.path);
    for (const std::string& note : notes) state.log.add(state.frame(), note);
    return SaveResult::kSaved;
  }

  // What the dragged edges snap to: the other gauges' edges and centres, and
  // the window's edges.
  void targets(std::vector<int64_t>& xs, std::vector<int64_t>& ys) const {
    xs = {0, session->width()};
    ys = {0, session->height()};
    const size_t count = std::min(gauge_count(), session->layout().placements.size());
    for (size_t i = 0; i < count; ++i) {
      if (selected(i)) continue;
      const Box box = box_of(rect_of(i));
      xs.insert(xs.end(), {box.left, box.left + box.width() / 2, box.right});
      ys.insert(ys.end(), {box.top, box.top + box.height() / 2, box.bottom});
    }
  }
};

LayoutEditor::LayoutEditor(Session& session, EventLog& log) : state_(std::make_unique<State>(session, log)) {}
LayoutEditor::~LayoutEditor() = default;

std::unique_ptr<LayoutEditor> LayoutEditor::open(Session& session, EventLog& log, std::string* error) {
  const host::PanelConfig* panel = session.panel();
  const host::PanelWindow* shown = session.panel_window();
  if (panel == nullptr || shown == nullptr) {
    *error = session.title() + " is not a window of a panel.cfg: there is no layout to edit";
    return nullptr;
  }
  std::unique_ptr<LayoutEditor> editor(new LayoutEditor(session, log));
  State& state = *editor->state_;
  state.path = panel->source;
  state.known_stamp = state.pending_stamp = stamp_of(state.path);
  std::optional<std::string> bytes = host::read_panel_file(state.path, error);
  if (!bytes) return nullptr;
  state.document = PanelDocument::read(*bytes, state.path, error);
  if (!state.document) return nullptr;
  state.disk_bytes = *bytes;
  state.window_name = shown->name();
  if (state.window() == nullptr) {
    *error = state.path + " has no window " + state.window_name + " any more";
    return nullptr;
  }
  // The file may have changed since the session read it.
  state.lay_out();
  return editor;
}

const host::PanelDocument& LayoutEditor::document() const { return *state_->document; }
const std::string& LayoutEditor::path() const { return state_->path; }

const host::PanelWindow& LayoutEditor::window() const {
  static const host::PanelWindow none;
  const PanelWindow* shown = state_->window();
  return shown ? *shown : none;
}

const std::string& LayoutEditor::window_to_open() const { return state_->window_to_open; }

void LayoutEditor::attach(Session& session) {
  state_->session = &session;
  state_->dragging = false;
  state_->guides.clear();
  state_->selection.clear();
  state_->lay_out();
}

void LayoutEditor::set_modules_folder(const std::string& folder) { state_->modules_folder = folder; }

// --- Selection -------------------------------------------------------------

const std::vector<size_t>& LayoutEditor::selection() const { return state_->selection; }

std::optional<size_t> LayoutEditor::gauge_at(int x, int y) const {
  const auto& placements = state_->session->layout().placements;
  for (size_t i = std::min(placements.size(), state_->gauge_count()); i-- > 0;) {
    const Box box = box_of(state_->rect_of(i));
    if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) return i;
  }
  return std::nullopt;
}

void LayoutEditor::click(int x, int y, bool toggle) {
  const std::optional<size_t> hit = gauge_at(x, y);
  auto& selection = state_->selection;
  if (!hit) {
    if (!toggle) selection.clear();
    return;
  }
  if (!toggle) {
    selection = {*hit};
  } else if (state_->selected(*hit)) {
    std::erase(selection, *hit);
  } else {
    selection.push_back(*hit);
    std::sort(selection.begin(), selection.end());
  }
}

void LayoutEditor::select_in(const Rect& band, bool add) {
  // A band dragged up or left has a negative size.
  const int64_t left = std::min<int64_t>(band.x, int64_t{band.x} + band.width);
  const int64_t right = std::max<int64_t>(band.x, int64_t{band.x} + band.width);
  const int64_t top = std::min<int64_t>(band.y, int64_t{band.y} + band.height);
  const int64_t bottom = std::max<int64_t>(band.y, int64_t{band.y} + band.height);
  auto& selection = state_->selection;
  if (!add) selection.clear();
  const size_t count = std::min(state_->gauge_count(), state_->session->layout().placements.size());
  for (size_t i = 0; i < count; ++i) {
    const Box box = box_of(state_->rect_of(i));
    const bool touches = left < box.right && box.left <= right && top < box.bottom && box.top <= bottom;
    if (touches && !state_->selected(i)) selection.push_back(i);
  }
  std::sort(selection.begin(), selection.end());
}

void LayoutEditor::step(bool backward) {
  const size_t count = state_->gauge_count();
  auto& selection = state_->selection;
  if (count == 0) {
    selection.clear();
    return;
  }
  size_t next;
  if (selection.empty())
    next = backward ? count - 1 : 0;
  else
    next = backward ? (selection.back() + count - 1) % count : (selection.back() + 1) % count;
  selection = {next};
}

void LayoutEditor::clear_selection() { state_->selection.clear(); }

std::vector<Rect> LayoutEditor::selected_rects() const {
  std::vector<Rect> rects;
  for (size_t index : state_->selection) rects.push_back(state_->rect_of(index));
  return rects;
}

// --- Move and size ---------------------------------------------------------

Grip LayoutEditor::grip_at(int x, int y, int tolerance) const {
  const auto& selection = state_->selection;
  tolerance = std::max(tolerance, 0);
  if (selection.size() == 1) {
    const Box box = box_of(state_->rect_of(selection.front()));
    const int64_t middle_x = box.left + box.width() / 2, middle_y = box.top + box.height() / 2;
    const struct {
      Grip grip;
      int64_t x, y;
    } handles[] = {{Grip::kTopLeft, box.left, box.top},         {Grip::kTop, middle_x, box.top},
                   {Grip::kTopRight, box.right, box.top},       {Grip::kRight, box.right, middle_y},
                   {Grip::kBottomRight, box.right, box.bottom}, {Grip::kBottom, middle_x, box.bottom},
                   {Grip::kBottomLeft, box.left, box.bottom},   {Grip::kLeft, box.left, middle_y}};
    for (const auto& handle : handles)
      if (std::llabs(x - handle.x) <= tolerance && std::llabs(y - handle.y) <= tolerance) return handle.grip;
  }
  for (size_t index : selection) {
    const Box box = box_of(state_->rect_of(index));
    if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) return Grip::kBody;
  }
  return Grip::kNone;
}

void LayoutEditor::begin_drag(int x, int y, Grip grip) {
  State& state = *state_;
  state.dragging = false;
  state.guides.clear();
  const PanelWindow* shown = state.window();
  if (grip == Grip::kNone || state.selection.empty() || shown == nullptr) return;
  if (grip != Grip::kBody && state.selection.size() != 1) return;
  state.grip = grip;
  state.start_x = x;
  state.start_y = y;
  state.start_places.clear();
  state.start_boxes.clear();
  for (size_t index : state.selection) {
    state.start_places.push_back(place_of(shown->gauges[index]));
    state.start_boxes.push_back(box_of(state.rect_of(index)));
  }
  state.drag_applied = false;
  state.drag_log.clear();
  state.text_before_drag = state.document->text();
  state.dragging = true;
}

void LayoutEditor::drag_to(int x, int y, bool keep_aspect, bool free, int snap) {
  State& state = *state_;
  if (!state.dragging) return;
  const int64_t dx = reach(int64_t{x} - state.start_x), dy = reach(int64_t{y} - state.start_y);
  std::vector<GaugePlace> places = state.grip == Grip::kBody
                                       ? state.moved_places(dx, dy, free, snap)
                                       : std::vector<GaugePlace>{state.sized_place(dx, dy, keep_aspect, free, snap)};
  if (!state.drag_applied && places == state.start_places) return;
  PanelEdit edit;
  for (size_t i = 0; i < places.size(); ++i)
    edit.changes.push_back(host::change::Place{state.window_name, state.selection[i], places[i]});
  std::vector<std::string> lines;
  std::string why;
  if (!state.document->apply_merged(edit, &lines, &why)) {
    state.log.add(state.frame(), "cannot move: " + why);
    return;
  }
  state.drag_applied = true;
  state.drag_log = std::move(lines);
  state.lay_out();
}

void LayoutEditor::end_drag() {
  State& state = *state_;
  if (!state.dragging) return;
  state.dragging = false;
  state.guides.clear();
  if (!state.drag_applied) return;
  if (state.document->text() == state.text_before_drag) {
    // Dragged back to where it started: no edit, and the history as it was.
    state.document->withdraw_merged();
    state.lay_out();
    return;
  }
  state.document->end_merge();
  state.record(state.drag_log);
}

bool LayoutEditor::dragging() const { return state_->dragging; }
const std::vector<SnapGuide>& LayoutEditor::guides() const { return state_->guides; }

void LayoutEditor::nudge(int dx, int dy) {
  State& state = *state_;
  const PanelWindow* shown = state.window();
  if (state.dragging || shown == nullptr || state.selection.empty() || (dx == 0 && dy == 0)) return;
  PanelEdit edit;
  for (size_t index : state.selection) {
    GaugePlace place = place_of(shown->gauges[index]);
    place.x = whole(place.x + dx);
    place.y = whole(place.y + dy);
    edit.changes.push_back(host::change::Place{state.window_name, index, place});
  }
  std::string why;
  if (!state.apply(edit, &why)) state.log.add(state.frame(), "cannot move: " + why);
}

// --- Exact values ----------------------------------------------------------

std::string LayoutEditor::selected_line() const {
  const PanelWindow* shown = state_->window();
  if (shown == nullptr || state_->selection.size() != 1) return "";
  return line_text(state_->document->text(), shown->gauges[state_->selection.front()].line);
}

std::optional<host::GaugePlace> LayoutEditor::selected_place() const {
  const PanelWindow* shown = state_->window();
  if (shown == nullptr || state_->selection.size() != 1) return std::nullopt;
  return place_of(shown->gauges[state_->selection.front()]);
}

bool LayoutEditor::set_selected_place(const host::GaugePlace& place, std::string* error) {
  State& state = *state_;
  if (state.selection.size() != 1) {
    *error = "select one gauge to place it";
    return false;
  }
  return state.apply({{host::change::Place{state.window_name, state.selection.front(), place}}}, error);
}

// --- Order, add, remove ----------------------------------------------------

// The selection moves one place in the drawing order as one edit; the gauge
// nearest the end it moves to goes first, so that none overtakes another.
void LayoutEditor::bring_forward() {
  State& state = *state_;
  auto selection = state.selection;
  if (selection.empty() || selection.back() + 1 >= state.gauge_count()) return;
  PanelEdit edit;
  for (auto it = selection.rbegin(); it != selection.rend(); ++it)
    edit.changes.push_back(host::change::Reorder{state.window_name, *it, +1});
  std::string why;
  if (!state.apply(edit, &why)) return state.log.add(state.frame(), "cannot bring forward: " + why);
  for (size_t& index : selection) ++index;
  state.selection = selection;
  state.keep_valid_selection();
}

void LayoutEditor::send_backward() {
  State& state = *state_;
  auto selection = state.selection;
  if (selection.empty() || selection.front() == 0) return;
  PanelEdit edit;
  for (size_t index : selection) edit.changes.push_back(host::change::Reorder{state.window_name, index, -1});
  std::string why;
  if (!state.apply(edit, &why)) return state.log.add(state.frame(), "cannot send backward: " + why);
  for (size_t& index : selection) --index;
  state.selection = selection;
  state.keep_valid_selection();
}

std::vector<LayoutEditor::Offer> LayoutEditor::offers() const {
  std::vector<Offer> offers;
  std::vector<std::string> folders;
  if (!state_->modules_folder.empty()) folders.push_back(state_->modules_folder);
  folders.push_back(host::folder_of(state_->path));
  for (const std::string& folder : folders) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "/*.gau").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      const std::string name = found.cFileName;
      // The system's pattern also matches longer extensions (*.gaux).
      if (name.size() <= 4 || lower(name.substr(name.size() - 4)) != ".gau") continue;
      const std::string stem = name.substr(0, name.size() - 4);
      const std::string ours = host::our_module_name(stem);
      const std::string module = ours.empty() ? stem : ours;
      const bool known = std::any_of(offers.begin(), offers.end(),
                                     [&](const Offer& offer) { return host::same_name(offer.module, module); });
      if (known) continue;
      // Another maker's module is not run to learn its gauges: it is offered
      // under its module's name, the name a line without `!` gives.
      offers.push_back({module, folder + "/" + name, {module}, !ours.empty()});
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::sort(offers.begin(), offers.end(),
            [](const Offer& a, const Offer& b) { return lower(a.module) < lower(b.module); });
  return offers;
}

bool LayoutEditor::add_gauge(const std::string& module, const std::string& gauge, std::optional<std::pair<int, int>> at,
                             std::string* error) {
  State& state = *state_;
  if (state.window() == nullptr) {
    *error = "no window to place the gauge in";
    return false;
  }
  const double scale = state.scale();
  GaugePlace place;
  if (at) {
    place.x = whole(at->first / scale);
    place.y = whole(at->second / scale);
  } else {
    place.x = whole(state.session->width() / 2.0 / scale);
    place.y = whole(state.session->height() / 2.0 / scale);
  }
  if (!state.apply({{host::change::AddGauge{state.window_name, module, gauge.empty() ? module : gauge, place}}}, error))
    return false;
  state.selection = {state.gauge_count() - 1};
  return true;
}

void LayoutEditor::delete_selected() {
  State& state = *state_;
  if (state.selection.empty() || state.dragging) return;
  std::vector<size_t> doomed = state.selection;
  std::sort(doomed.rbegin(), doomed.rend());
  PanelEdit edit;
  for (size_t index : doomed) edit.changes.push_back(host::change::RemoveGauge{state.window_name, index});
  state.selection.clear();
  std::string why;
  if (!state.apply(edit, &why)) state.log.add(state.frame(), "cannot remove: " + why);
}

// --- Windows ---------------------------------------------------------------

bool LayoutEditor::set_window_key(const std::string& key, const std::string& value, std::string* error) {
  State& state = *state_;
  return state.apply({{host::change::SetWindowKey{state.window_name, key, value}}}, error);
}

bool LayoutEditor::add_window(const std::string& title, std::string* error) {
  State& state = *state_;
  int next = 0;
  for (const PanelWindow& window : state.config().windows)
    if (!window.virtual_cockpit) next = std::max(next, window.number + 1);
  if (next > 99) {
    *error = "the panel has Window99 already: no window number is left";
    return false;
  }
  char name[16];
  std::snprintf(name, sizeof name, "Window%02d", next);
  return state.apply({{host::change::AddWindow{name, title}}}, error);
}

bool LayoutEditor::remove_window(std::string* error) {
  State& state = *state_;
  if (state.config().windows.size() <= 1) {
    *error = "a panel.cfg keeps at least one window: " + state.window_name + " is its last";
    return false;
  }
  state.selection.clear();
  return state.apply({{host::change::RemoveWindow{state.window_name}}}, error);
}

// --- History ---------------------------------------------------------------

bool LayoutEditor::undo() {
  State& state = *state_;
  if (state.dragging) return false;
  std::vector<std::string> lines;
  if (!state.document->undo(&lines)) return false;
  state.record(lines);
  state.lay_out();
  return true;
}

bool LayoutEditor::redo() {
  State& state = *state_;
  if (state.dragging) return false;
  std::vector<std::string> lines;
  if (!state.document->redo(&lines)) return false;
  state.record(lines);
  state.lay_out();
  return true;
}

bool LayoutEditor::can_undo() const { return state_->document->can_undo(); }
bool LayoutEditor::can_redo() const { return state_->document->can_redo(); }
bool LayoutEditor::modified() const { return state_->document->modified(); }

// --- The file --------------------------------------------------------------

LayoutEditor::SaveResult LayoutEditor::save(bool overwrite, std::string* error) {
  State& state = *state_;
  host::PanelSave request{state.path, state.document->text(),
                          overwrite ? std::nullopt : std::optional<std::string>(state.disk_bytes), !state.saved_once};
  return state_->finish_save(request, error);
}

LayoutEditor::SaveResult LayoutEditor::save_as(const std::string& path, std::string* error) {
  // Another file is new to the session: whatever it holds is replaced, and kept.
  host::PanelSave request{path, state_->document->text(), std::nullopt, readable_file(path)};
  return state_->finish_save(request, error);
}

void LayoutEditor::check_disk() {
  State& state = *state_;
  if (state.dragging) return;
  const FileStamp now = stamp_of(state.path);
  if (now == state.known_stamp) {
    state.pending_stamp = now;
    return;
  }
  // A file still being written changes between two looks: wait for it.
  if (!(now == state.pending_stamp)) {
    state.pending_stamp = now;
    return;
  }
  state.known_stamp = now;
  state.examine(false);
}

bool LayoutEditor::needs_decision() const { return state_->needs_decision; }

void LayoutEditor::take_disk() {
  State& state = *state_;
  if (!state.needs_decision || !state.disk_document) return;
  PanelDocument fresh = std::move(*state.disk_document);
  state.take(std::move(fresh), state.disk_document_bytes, "the edits dropped for the file on disk");
  state.selection.clear();
}

void LayoutEditor::keep_edits() {
  State& state = *state_;
  if (!state.needs_decision) return;
  // The bytes read stay what a save expects, so the next save asks.
  state.needs_decision = false;
  state.disk_document.reset();
  state.log.add(state.frame(), "kept the edits of " + file_name(state.path) + " over the file changed on disk");
}

void LayoutEditor::reload() {
  State& state = *state_;
  if (state.dragging) return;
  state.known_stamp = state.pending_stamp = stamp_of(state.path);
  state.examine(true);
}

const std::string& LayoutEditor::last_problem() const { return state_->last_problem; }

}  // namespace tarnwix::view
