// The live session: loading, running, drawing and watching the gauges.
#include "session.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "file_stamp.h"
#include "host/call.h"
#include "host/host.h"
#include "host/pe.h"
#include "scenario.h"

namespace tarnwix::view {

using host::BitmapCache;
using host::FrameSnapshot;
using host::KeyEvent;
using host::Module;
using host::Panel;

namespace {

std::string lower_extension(const std::string& path) {
  const std::string name = file_name(path);
  const size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::string stem(const std::string& path) {
  const std::string name = file_name(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// Where a fault happened: an offset into the module, or the library it lies in.
std::string where(uint32_t address, const Module& module) {
  const uint32_t base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module.handle()));
  if (address >= base && address - base < host::loaded_image_size(module.handle()))
    return file_name(module.path()) + "+" + hex(address - base);
  HMODULE owner = nullptr;
  char name[MAX_PATH] = "";
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(address)), &owner) &&
      GetModuleFileNameA(owner, name, MAX_PATH) > 0)
    return hex(address) + " in " + file_name(name);
  return hex(address);
}

std::string describe(const host::CallFault& fault, const Module& module, uint32_t budget_ms) {
  if (fault.crash_code == host::kCallTimedOut)
    return fault.routine + " ran past the budget of " + std::to_string(budget_ms) + " ms and was stopped at " +
           where(fault.crash_address, module);
  if (fault.crash_code != 0)
    return fault.routine + " crashed with exception " + hex(fault.crash_code) + " at " +
           where(fault.crash_address, module);
  std::string text = fault.routine;
  if (fault.stack_delta != 0) text += " left the stack pointer " + std::to_string(fault.stack_delta) + " bytes off";
  if (fault.registers_clobbered)
    text += std::string(fault.stack_delta != 0 ? " and" : "") + " changed a callee-saved register";
  return text;
}

// The frame's drawing depends on these alone: an unchanged snapshot draws
// the same picture again.
bool same_drawing(const FrameSnapshot& a, const FrameSnapshot& b) {
  if (a.elements.size() != b.elements.size()) return false;
  for (size_t i = 0; i < a.elements.size(); ++i) {
    const host::ElementSnapshot& x = a.elements[i];
    const host::ElementSnapshot& y = b.elements[i];
    const bool same_values = x.values.size() == y.values.size() &&
                             std::equal(x.values.begin(), x.values.end(), y.values.begin(),
                                        [](double p, double q) { return std::memcmp(&p, &q, sizeof p) == 0; });
    if (x.kind != y.kind || x.resource_id != y.resource_id || x.x != y.x || x.y != y.y ||
        x.image_flags != y.image_flags || !same_values || x.text != y.text || x.first_bound != y.first_bound ||
        x.second_bound != y.second_bound || x.y_scale != y.y_scale || x.box_width != y.box_width ||
        x.box_height != y.box_height || x.text_colour != y.text_colour)
      return false;
  }
  return true;
}

// Whether a placement draws the same pixels as another, given the same
// gauge pictures.
bool same_place(const host::PanelPlacement& a, const host::PanelPlacement& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height && a.drawn == b.drawn &&
         a.line.module == b.line.module && a.line.gauge == b.line.gauge;
}

host::PixelRect place_of(const host::PanelPlacement& place) { return {place.x, place.y, place.width, place.height}; }

host::PixelRect union_of(const host::PixelRect& a, const host::PixelRect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  return {left, top, std::max(a.x + a.width, b.x + b.width) - left, std::max(a.y + a.height, b.y + b.height) - top};
}

host::PixelRect clipped(const host::PixelRect& rect, int width, int height) {
  const int left = std::max(rect.x, 0), top = std::max(rect.y, 0);
  const int right = std::min(rect.x + rect.width, width), bottom = std::min(rect.y + rect.height, height);
  if (left >= right || top >= bottom) return {};
  return {left, top, right - left, bottom - top};
}

std::string gauge_line_name(int line) {
  char text[24];
  std::snprintf(text, sizeof text, "gauge%02d", line);
  return text;
}

// A folder of this process for the copies of the modules it loads: the
// files the user builds stay free to be replaced while they run.
const std::string& copies_folder() {
  static const std::string folder = [] {
    char temp[MAX_PATH] = "";
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    std::string path = length > 0 && length < MAX_PATH ? std::string(temp, length) : std::string(".\\");
    path += "gaugeview-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
  }();
  return folder;
}

// Removes the copies when the viewer ends; a copy still loaded (a stopped
// module is never unloaded) goes where the system lets it.
struct CopiesCleanup {
  std::vector<std::string> files;
  ~CopiesCleanup() {
    for (const std::string& file : files) DeleteFileA(file.c_str());
    for (auto it = files.rbegin(); it != files.rend(); ++it)
      RemoveDirectoryA(it->substr(0, it->find_last_of('\\')).c_str());
    RemoveDirectoryA(copies_folder().c_str());
  }
};
CopiesCleanup copies;

std::string copy_of(const std::string& path, std::string* error) {
  static int generation = 0;
  const std::string folder = copies_folder() + "\\" + std::to_string(++generation);
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string copy = folder + "\\" + file_name(path);
  if (!CopyFileA(path.c_str(), copy.c_str(), FALSE)) {
    *error = "cannot read " + path;
    return {};
  }
  copies.files.push_back(copy);
  return copy;
}

// The sound library the panel provides, loaded once for the whole run.
bool provide_sound_library(const std::string& path) {
  static std::map<std::string, HMODULE> loaded;
  auto found = loaded.find(path);
  if (found == loaded.end()) found = loaded.emplace(path, LoadLibraryA(path.c_str())).first;
  return found->second != nullptr;
}

}  // namespace

// One placement of a module's gauge, as the simulator makes one for each
// panel line that names it: calls, text buffers and a picture of its own.
struct Session::Placement {
  std::unique_ptr<Module> module;
  int line = -1;  // the gaugeNN it draws; -1 for none
  bool installed = false;
  size_t faults_seen = 0, text_faults_seen = 0;
  std::optional<FrameSnapshot> latest;  // the frame just run, to be drawn
  std::optional<FrameSnapshot> drawn;   // the snapshot the picture shows
  Picture picture;
  bool changed = true;
};

// One module of what is open: one load, whose state every placement shares.
struct Session::Gauge {
  std::string name;  // the module's name, as the panel.cfg or scenario spells ours
  std::string file;  // the module file, watched for changes
  std::string copy;  // the copy loaded: every placement loads this path, so that all are one load
  // Holds the load for its whole life (module init and deinit, records,
  // bitmaps) while placements come and go; never called as a gauge.
  Placement load;
  // The first runs first and takes a click by name; at least one while the
  // module runs, none drawn when no line draws it.
  std::vector<std::unique_ptr<Placement>> placements;
  std::unique_ptr<BitmapCache> bitmaps;
  bool initialised = false;  // module init called; deinit owed
  std::string fault;         // non-empty: stopped, every placement with it
  int width = 0, height = 0;
  int x = 0, y = 0;  // placed by name
  bool placed = false;
  FileStamp stamp, pending;
  bool changed = true;  // loaded or stopped: every place of it drawn again
  uint32_t image_begin = 0, image_end = 0;
};

// The window's background bitmap, kept between layouts and watched on disk.
struct Session::Background {
  host::BackgroundCache cache;
  std::string file;  // empty: the window has none
  FileStamp stamp, pending;
};

// A scenario played in the window, a frame at a time.
struct Session::Player {
  const host::Scenario& scenario;
  size_t index = 0;  // the next step
  int frame_in_step = 0;
  std::map<uint32_t, double> ramp_start, ramp_targets;
  bool ended_logged = false;

  bool at_end() const { return index >= scenario.steps.size(); }

  // Applies every step up to the next frames line.
  void advance(Session& session) {
    while (!at_end() && scenario.steps[index].kind != host::ScenarioStep::Kind::kFrames) {
      const host::ScenarioStep& step = scenario.steps[index++];
      switch (step.kind) {
        case host::ScenarioStep::Kind::kSet:
          ramp_targets.erase(step.token);
          session.set_input(step.token, step.value);
          break;
        case host::ScenarioStep::Kind::kRamp:
          ramp_targets[step.token] = step.value;
          session.log_.add(session.frame_, "scenario line " + std::to_string(step.line) + ": ramp " +
                                               std::to_string(step.token) + " to " + number(step.value));
          break;
        case host::ScenarioStep::Kind::kClick:
          session.click_gauge(
              step.module.empty() && !session.gauges_.empty() ? session.gauges_.front()->name : step.module, step.x,
              step.y);
          break;
        case host::ScenarioStep::Kind::kNamed:
          if (Panel::instance().write_named(step.name, step.word)) {
            session.recorder_.named(session.frame_, step.name, step.word);
            session.log_.add(session.frame_, "named \"" + step.name + "\" written " + std::to_string(step.word));
          } else {
            session.log_.add(session.frame_, "scenario line " + std::to_string(step.line) +
                                                 ": no gauge registers the named variable \"" + step.name +
                                                 "\"; not written");
          }
          break;
        case host::ScenarioStep::Kind::kFrames:
          break;
      }
    }
    if (at_end() && !ended_logged) {
      ended_logged = true;
      session.log_.add(session.frame_, "scenario ended; the gauges run on live");
    }
  }

  void before_frame(Session& session) {
    advance(session);
    if (at_end()) return;
    const host::ScenarioStep& step = scenario.steps[index];
    if (frame_in_step == 0) {
      ramp_start.clear();
      for (const auto& [token, target] : ramp_targets) ramp_start[token] = Panel::instance().variable(token);
    }
    ++frame_in_step;
    for (const auto& [token, target] : ramp_targets)
      session.set_input(token, host::ramp_value(ramp_start[token], target, frame_in_step, step.frames));
  }

  void after_frame(Session& session) {
    if (at_end()) return;
    const host::ScenarioStep& step = scenario.steps[index];
    if (frame_in_step < step.frames) return;
    session.log_.add(session.frame_, "scenario line " + std::to_string(step.line) + ": " + std::to_string(step.frames) +
                                         " frames done" + (step.caption.empty() ? "" : ", " + step.caption));
    ramp_targets.clear();
    frame_in_step = 0;
    ++index;
    advance(session);
  }
};

Session::Session(EventLog& log, const SessionOptions& options)
    : log_(log), options_(options), background_(std::make_unique<Background>()) {}

Session::~Session() {
  for (auto& gauge : gauges_) {
    retire(*gauge);
    unload(*gauge);
  }
}

std::unique_ptr<Session> Session::open(const std::string& path, const SessionOptions& options, EventLog& log,
                                       std::string* error) {
  if (!readable_file(path)) {
    *error = "cannot read " + path;
    return nullptr;
  }
  std::unique_ptr<Session> session(new Session(log, options));
  session->path_ = path;
  Panel& panel = Panel::instance();
  panel.reset();
  if (!options.sound_library.empty() && provide_sound_library(options.sound_library)) {
    panel.set_sound_library_path(options.sound_library);
    panel.set_sound_library(host::SoundLibraryMode::kPresent);
  } else {
    panel.set_sound_library(host::SoundLibraryMode::kAbsent);
    if (!options.sound_library.empty())
      log.add(0, "cannot load the sound library " + options.sound_library + "; the gauges run without it");
  }
  host::set_call_time_limit(options.call_budget_ms);
  log.add(0, "open " + path);
  const std::string extension = lower_extension(path);
  const bool opened = extension == ".cfg"   ? session->open_panel(path, error)
                      : extension == ".gau" ? session->open_module(path, error)
                                            : session->open_scenario(path, error);
  if (!opened) return nullptr;
  return session;
}

bool Session::open_panel(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  std::optional<host::PanelConfig> config = host::parse_panel_config(text.str(), path, error);
  if (!config) return false;
  if (config->windows.empty()) {
    *error = path + " has no [WindowNN] or [VCockpitNN] section";
    return false;
  }
  config_ = std::move(config);
  window_ = options_.window.empty() ? &config_->windows.front() : config_->find(options_.window);
  if (window_ == nullptr) {
    std::string names;
    for (const host::PanelWindow& window : config_->windows) names += (names.empty() ? "" : ", ") + window.name();
    *error = path + " has no window " + options_.window + " (it has " + names + ")";
    return false;
  }
  name_windows();
  title_ = file_name(path) + ", " + window_names_[window_index_];
  for (const std::string& name : modules_named()) {
    auto gauge = std::make_unique<Gauge>();
    gauge->name = name;
    gauge->file = options_.modules_folder + "/" + name + ".gau";
    gauges_.push_back(std::move(gauge));
  }
  // The replay may run from another folder: the panel by its full path.
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  start("panel " + (length > 0 && length < MAX_PATH ? std::string(full) : path) + " window " + window_->name());
  return true;
}

void Session::name_windows() {
  window_names_.clear();
  for (size_t i = 0; i < config_->windows.size(); ++i) {
    const host::PanelWindow& window = config_->windows[i];
    window_names_.push_back(window.name() + (window.title.empty() ? "" : " " + window.title));
    if (&window == window_) window_index_ = static_cast<int>(i);
  }
}

// Our modules the open window names that can run, once each in the order it
// first names them; not_drawn_ says why of the others.
std::vector<std::string> Session::modules_named() {
  not_drawn_.clear();
  std::vector<std::string> names;
  for (const host::PanelGauge& line : window_->gauges) {
    const std::string name = host::our_module_name(line.module);
    if (name.empty()) {
      not_drawn_[line.module] = "not one of our modules";
      continue;
    }
    if (std::find(names.begin(), names.end(), name) != names.end() || not_drawn_.count(name) != 0) continue;
    const std::string module_path = options_.modules_folder + "/" + name + ".gau";
    if (!readable_file(module_path)) {
      not_drawn_[name] = "its module is not built (" + module_path + ")";
      continue;
    }
    names.push_back(name);
  }
  return names;
}

bool Session::set_panel(const host::PanelConfig& config, std::string* error) {
  if (!config_) {
    *error = "no panel.cfg is open (" + title_ + "): there is no window to lay out";
    return false;
  }
  const std::string name = window_->name();
  const host::PanelWindow* found = config.find(name);
  if (found == nullptr) {
    *error = config.source + " has no window " + name + " any more";
    return false;
  }
  const size_t index = static_cast<size_t>(found - config.windows.data());
  config_ = config;
  window_ = &config_->windows[index];
  name_windows();
  if (!scenario_) title_ = file_name(config_->source) + ", " + window_names_[window_index_];
  std::vector<std::string> was_not_drawn;
  for (const auto& [module, why] : not_drawn_) was_not_drawn.push_back(module);
  const std::vector<std::string> named = modules_named();
  // A module the window no longer names goes, with what it registered.
  for (auto it = gauges_.begin(); it != gauges_.end();) {
    Gauge& gauge = **it;
    if (std::find(named.begin(), named.end(), gauge.name) != named.end()) {
      ++it;
      continue;
    }
    log_.add(frame_, "remove " + gauge.name + ": the window no longer names it");
    retire(gauge);
    unload(gauge);
    it = gauges_.erase(it);
  }
  for (const std::string& module : named) {
    if (find(module) != nullptr) continue;
    auto gauge = std::make_unique<Gauge>();
    gauge->name = module;
    gauge->file = options_.modules_folder + "/" + module + ".gau";
    gauges_.push_back(std::move(gauge));
    load(*gauges_.back());
  }
  for (const auto& [module, why] : not_drawn_)
    if (std::find(was_not_drawn.begin(), was_not_drawn.end(), module) == was_not_drawn.end())
      log_.add(frame_, "not drawn: " + module + ": " + why);

  const std::string background_file = background_->file;
  const uint64_t background_reads = background_->cache.reads();
  const bool whole = recompose_all_;
  const host::WindowLayout before = lay_out();
  if (whole || picture_.width != layout_.background.width || picture_.height != layout_.background.height ||
      background_->file != background_file || background_->cache.reads() != background_reads) {
    recompose_all_ = true;
    compose();
    changed_since_frame_ = changed_;
    return true;
  }
  // Only where a placement changed, its old place and its new.
  std::vector<host::PixelRect> parts;
  for (size_t i = 0; i < std::max(before.placements.size(), layout_.placements.size()); ++i) {
    const host::PanelPlacement* was = i < before.placements.size() ? &before.placements[i] : nullptr;
    const host::PanelPlacement* now = i < layout_.placements.size() ? &layout_.placements[i] : nullptr;
    // A line whose placement is new or another draws anew in place.
    const Gauge* gauge = now != nullptr ? find(host::our_module_name(now->line.module)) : nullptr;
    const Placement* placement = gauge != nullptr ? placement_of(*gauge, now->line) : nullptr;
    const bool redrawn = placement != nullptr && placement->changed;
    if (was != nullptr && now != nullptr && same_place(*was, *now) && !redrawn) continue;
    host::PixelRect part = was != nullptr ? place_of(*was) : place_of(*now);
    if (was != nullptr && now != nullptr) part = union_of(part, place_of(*now));
    part = clipped(part, picture_.width, picture_.height);
    if (!part.empty()) parts.push_back(part);
  }
  redraw(parts);
  changed_.clear();
  for (const host::PixelRect& part : parts) changed_.push_back({part.x, part.y, part.width, part.height});
  changed_since_frame_.insert(changed_since_frame_.end(), changed_.begin(), changed_.end());
  return true;
}

bool Session::open_module(const std::string& path, std::string* error) {
  auto gauge = std::make_unique<Gauge>();
  gauge->name = stem(path);
  gauge->file = path;
  gauges_.push_back(std::move(gauge));
  title_ = file_name(path);
  load(*gauges_.front());
  // One module alone is all there is to see: one that does not load is not opened.
  if (!gauges_.front()->fault.empty()) {
    *error = path + ": " + gauges_.front()->fault;
    return false;
  }
  start("module " + gauges_.front()->name);
  return true;
}

bool Session::open_scenario(const std::string& path, std::string* error) {
  scenario_ = host::read_scenario(path, error);
  if (!scenario_) return false;
  player_ = std::make_unique<Player>(Player{*scenario_});
  if (!scenario_->panel.empty()) {
    const std::string panel = host::scenario_panel_path(*scenario_, options_.modules_folder, error);
    if (panel.empty()) return false;
    options_.window = scenario_->panel_window;
    if (!open_panel(panel, error)) return false;
  } else if (!open_module_lines(scenario_->modules, error)) {
    return false;
  }
  title_ = file_name(path) + (scenario_->title.empty() ? "" : ": " + scenario_->title);
  return true;
}

bool Session::open_module_lines(const std::vector<host::ScenarioModule>& modules, std::string* error) {
  std::string head;
  for (const host::ScenarioModule& place : modules) {
    const std::string module_path = options_.modules_folder + "/" + place.name + ".gau";
    if (!readable_file(module_path)) {
      *error = scenario_->source + ": no module " + place.name + " (" + module_path + ")";
      return false;
    }
    auto gauge = std::make_unique<Gauge>();
    gauge->name = place.name;
    gauge->file = module_path;
    gauge->x = place.x;
    gauge->y = place.y;
    gauge->placed = place.placed;
    gauges_.push_back(std::move(gauge));
    head += std::string(head.empty() ? "" : "\n") + "module " + place.name;
    if (place.placed) head += " at " + std::to_string(place.x) + " " + std::to_string(place.y);
  }
  start(head);
  return true;
}

// Loads and installs every gauge, lays out the window and sets the start values.
void Session::start(const std::string& head) {
  for (auto& gauge : gauges_)
    if (gauge->load.module == nullptr && gauge->fault.empty()) load(*gauge);
  lay_out();
  for (const std::string& note : layout_.notes) log_.add(frame_, "not drawn: " + note);
  std::vector<std::string> lines = {
      "title Recorded in gaugeview: " + title_,
      "# Replay: gaugerender --modules " + options_.modules_folder + " --last-frame --out DIR THIS_FILE"};
  std::istringstream heads(head);
  for (std::string line; std::getline(heads, line);) lines.push_back(line);
  recorder_.start(lines, frame_);
  for (const auto& [token, value] : options_.start_values) set_input(token, value);
}

void Session::load(Gauge& gauge) {
  std::string error;
  const std::string copy = copy_of(gauge.file, &error);
  gauge.stamp = gauge.pending = stamp_of(gauge.file);
  gauge.load = {};
  gauge.load.module = copy.empty() ? nullptr : Module::load(copy, &error);
  if (gauge.load.module == nullptr) {
    gauge.fault = "does not load: " + error;
    log_.add(frame_, "fault " + gauge.name + ": " + gauge.fault);
    return;
  }
  gauge.copy = copy;
  gauge.fault.clear();
  gauge.changed = true;
  const Module& module = *gauge.load.module;
  gauge.image_begin = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module.handle()));
  gauge.image_end = gauge.image_begin + host::loaded_image_size(module.handle());
  gauge.bitmaps = std::make_unique<BitmapCache>(module);
  host::set_interruptible_code(gauge.image_begin, gauge.image_end);
  gauge.load.module->call_module_init();
  gauge.initialised = true;
  if (check_faults(gauge, gauge.load, "while it was installed")) return;
  std::unique_ptr<Placement> first = new_placement(gauge, -1);
  if (first == nullptr) return;
  gauge.placements.push_back(std::move(first));
  if (!gauge.fault.empty()) return;
  const std::vector<uint8_t*> chain = module.chain();
  const host::Bitmap* root =
      chain.empty() ? nullptr : gauge.bitmaps->find(host::i32(chain.front(), host::element::kResourceId));
  // A gauge without a background runs all the same; its place is outlined.
  gauge.width = root != nullptr ? root->width : 0;
  gauge.height = root != nullptr ? root->height : 0;
  log_.add(frame_, "load " + gauge.name + " from " + gauge.file + " (" + module.gauge_name() + ", " +
                       (root != nullptr ? std::to_string(gauge.width) + " x " + std::to_string(gauge.height)
                                        : std::string("no background bitmap: outlined")) +
                       ")");
}

// Another placement of the gauge's load, installed; null (the gauge
// stopped) when it cannot be made.
std::unique_ptr<Session::Placement> Session::new_placement(Gauge& gauge, int line) {
  std::string error;
  auto placement = std::make_unique<Placement>();
  placement->line = line;
  placement->module = Module::load(gauge.copy, &error);
  if (placement->module == nullptr) {
    stop(gauge, "cannot be placed again: " + error);
    return nullptr;
  }
  host::set_interruptible_code(gauge.image_begin, gauge.image_end);
  placement->module->install();
  placement->installed = true;
  log_registrations(gauge.name);
  check_faults(gauge, *placement, "while it was installed");
  return placement;
}

// Kills one placement, so that it withdraws what it registered, and lets go
// of it; the load stays with the others.
void Session::remove_placement(Gauge& gauge, std::unique_ptr<Placement> placement) {
  if (placement->installed && gauge.fault.empty()) {
    host::set_interruptible_code(gauge.image_begin, gauge.image_end);
    placement->module->kill();
    placement->installed = false;
    log_registrations(gauge.name);
    check_faults(gauge, *placement, "while it was removed");
  }
}

// Each drawn line of the window that names the module is a placement of
// its load, in the window's order; a line renumbered keeps its placement.
void Session::place(Gauge& gauge) {
  if (!config_ || gauge.load.module == nullptr || !gauge.fault.empty() || gauge.placements.empty()) return;
  std::vector<int> wanted;
  for (const host::PanelPlacement& place : layout_.placements)
    if (place.drawn && host::our_module_name(place.line.module) == gauge.name &&
        std::find(wanted.begin(), wanted.end(), place.line.number) == wanted.end())
      wanted.push_back(place.line.number);
  if (wanted.empty()) wanted.push_back(-1);  // runs undrawn, as the window names it
  std::vector<std::unique_ptr<Placement>> kept(wanted.size()), spare;
  for (auto& placement : gauge.placements) {
    const size_t at = static_cast<size_t>(std::find(wanted.begin(), wanted.end(), placement->line) - wanted.begin());
    if (at < wanted.size() && kept[at] == nullptr)
      kept[at] = std::move(placement);
    else
      spare.push_back(std::move(placement));
  }
  for (size_t i = 0; i < wanted.size() && !spare.empty(); ++i) {
    if (kept[i] != nullptr) continue;
    kept[i] = std::move(spare.front());
    spare.erase(spare.begin());
    kept[i]->line = wanted[i];
    kept[i]->changed = true;
  }
  gauge.placements.clear();
  for (auto& placement : spare) {
    log_.add(frame_, "remove " + gauge.name + " " + gauge_line_name(placement->line) +
                         ": the window no longer places it (the module runs on)");
    remove_placement(gauge, std::move(placement));
  }
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (kept[i] != nullptr || !gauge.fault.empty()) continue;
    log_.add(frame_, "place " + gauge.name + " " + gauge_line_name(wanted[i]) +
                         ": another placement of the one load, sharing its state");
    kept[i] = new_placement(gauge, wanted[i]);
  }
  for (auto& placement : kept)
    if (placement != nullptr) gauge.placements.push_back(std::move(placement));
}

// The placements in the order they run: each module's first, then the
// others in the window's order, as gaugerender runs them.
std::vector<std::pair<Session::Gauge*, Session::Placement*>> Session::running() {
  std::vector<std::pair<Gauge*, Placement*>> order;
  for (auto& gauge : gauges_)
    if (!gauge->placements.empty()) order.emplace_back(gauge.get(), gauge->placements.front().get());
  for (const host::PanelPlacement& place : layout_.placements) {
    Gauge* gauge = config_ ? find(host::our_module_name(place.line.module)) : nullptr;
    if (gauge == nullptr) continue;
    for (size_t i = 1; i < gauge->placements.size(); ++i) {
      Placement* placement = gauge->placements[i].get();
      if (placement->line == place.line.number &&
          std::find(order.begin(), order.end(), std::pair{gauge, placement}) == order.end())
        order.emplace_back(gauge, placement);
    }
  }
  for (auto& gauge : gauges_)
    for (auto& placement : gauge->placements)
      if (std::find(order.begin(), order.end(), std::pair{gauge.get(), placement.get()}) == order.end())
        order.emplace_back(gauge.get(), placement.get());
  return order;
}

// Kills every placement of a gauge that still runs, so that it withdraws
// what it registered, and ends the module.
void Session::retire(Gauge& gauge) {
  if (!gauge.fault.empty() || gauge.load.module == nullptr) return;
  host::set_interruptible_code(gauge.image_begin, gauge.image_end);
  for (auto& placement : gauge.placements) {
    if (!placement->installed) continue;
    placement->module->kill();
    placement->installed = false;
    log_registrations(gauge.name);
    if (check_faults(gauge, *placement, "while it was removed")) return;
  }
  if (!gauge.initialised) return;
  gauge.load.module->call_module_deinit();
  gauge.initialised = false;
  check_faults(gauge, gauge.load, "while it was removed");
}

void Session::unload(Gauge& gauge) {
  // Whatever a stopped module left registered goes with it: nobody reads
  // its words once it is gone.
  Panel& panel = Panel::instance();
  std::vector<std::string> left;
  for (const auto& [name, variable] : panel.named_variables()) {
    const uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(variable.address));
    if (address >= gauge.image_begin && address < gauge.image_end) left.push_back(name);
  }
  for (const std::string& name : left) {
    panel.record_unregister(name.c_str());
    log_.add(frame_, "unregister \"" + name + "\" (left by " + gauge.name + ", withdrawn by the viewer)");
  }
  registrations_seen_ = panel.registration_log().size();
  gauge.bitmaps.reset();
  // A stopped module is left loaded: unloading runs its own code once more.
  const bool stopped = !gauge.fault.empty();
  for (auto& placement : gauge.placements)
    if (stopped && placement->module != nullptr) (void)placement->module.release();
  gauge.placements.clear();
  if (stopped && gauge.load.module != nullptr) (void)gauge.load.module.release();
  gauge.load = {};
  gauge.initialised = false;
  gauge.image_begin = gauge.image_end = 0;
}

void Session::reload(Gauge& gauge, const std::string& why) {
  log_.add(frame_, "reload " + gauge.name + ": " + why);
  recorder_.note(frame_, "frame " + std::to_string(frame_) + ": " + gauge.name + " reloaded (" + why +
                             "); a replay does not reload");
  retire(gauge);
  unload(gauge);
  gauge.fault.clear();
  load(gauge);
  lay_out();
  recompose_all_ = true;
}

void Session::reload_all() {
  for (auto& gauge : gauges_) reload(*gauge, "Reload");
}

void Session::reload_changed() {
  for (auto& gauge : gauges_) {
    const FileStamp now = stamp_of(gauge->file);
    if (now == gauge->stamp) continue;
    // A file still being written changes between two looks: wait for it.
    if (now.exists && now == gauge->pending)
      reload(*gauge, "its file changed");
    else
      gauge->pending = now;
  }
  // The background by the same rule; one gone or unreadable is drawn black.
  Background& background = *background_;
  if (!config_ || background.file.empty()) return;
  const FileStamp now = stamp_of(background.file);
  if (now == background.stamp) return;
  if (!(now == background.pending)) {
    background.pending = now;
    return;
  }
  log_.add(frame_, "reload " + window_->background + ": its file changed");
  lay_out();
  background.stamp = background.pending = now;
  const std::string about = layout_.name + ": background ";
  for (const std::string& note : layout_.notes)
    if (note.compare(0, about.size(), about) == 0) log_.add(frame_, "not drawn: " + note);
  recompose_all_ = true;
}

void Session::stop(Gauge& gauge, const std::string& fault) {
  gauge.fault = fault;
  gauge.changed = true;
  for (auto& placement : gauge.placements) placement->changed = true;
  log_.add(frame_, "fault " + gauge.name + ": " + fault + "; stopped (Reload tries it again)");
  recorder_.note(frame_, "frame " + std::to_string(frame_) + ": " + gauge.name + " stopped: " + fault);
}

// Stops the gauge, every placement of it, at the first fault the calls of
// one placement left since the last look.
bool Session::check_faults(Gauge& gauge, Placement& placement, const std::string& during) {
  Panel& panel = Panel::instance();
  const auto& traps = panel.trapped_slots();
  for (; traps_seen_ < traps.size(); ++traps_seen_)
    log_.add(frame_, "fault " + gauge.name + ": called the panel service at byte offset " +
                         std::to_string(traps[traps_seen_]) + ", which the panel does not offer (it returned 0)");
  const auto& faults = placement.module->call_faults();
  const auto& text_faults = placement.module->text_faults();
  std::string fault;
  if (placement.faults_seen < faults.size())
    fault = describe(faults[placement.faults_seen], *placement.module, options_.call_budget_ms) + " " + during;
  else if (placement.text_faults_seen < text_faults.size())
    fault = text_faults[placement.text_faults_seen] + " " + during;
  placement.faults_seen = faults.size();
  placement.text_faults_seen = text_faults.size();
  if (fault.empty()) return false;
  stop(gauge, fault);
  return true;
}

void Session::log_registrations(const std::string& module) {
  const auto& registrations = Panel::instance().registration_log();
  for (; registrations_seen_ < registrations.size(); ++registrations_seen_) {
    const std::string& entry = registrations[registrations_seen_];
    const size_t space = entry.find(' ');
    log_.add(frame_, entry.substr(0, space) + " \"" + entry.substr(space + 1) + "\" (" + module + ")");
  }
}

// Lays the window out anew, and gives back the layout it replaced. A
// placement of the same gauge at the same size keeps its scaled picture.
host::WindowLayout Session::lay_out() {
  host::WindowLayout before = std::move(layout_);
  if (config_) {
    auto size_of = [&](const host::PanelGauge& line, std::string* why) -> std::optional<host::GaugeSize> {
      const std::string name = host::our_module_name(line.module);
      const Gauge* gauge = name.empty() ? nullptr : find(name);
      if (gauge == nullptr) {
        *why = not_drawn_[name.empty() ? line.module : name];
        return std::nullopt;
      }
      if (gauge->load.module == nullptr || gauge->width == 0) {
        *why = gauge->load.module == nullptr ? gauge->fault : "it has no background bitmap";
        return std::nullopt;
      }
      if (!host::same_name(gauge->load.module->gauge_name(), line.gauge)) {
        *why = name + " holds no gauge " + line.gauge;
        return std::nullopt;
      }
      return host::GaugeSize{gauge->width, gauge->height};
    };
    const std::string folder = host::folder_of(config_->source);
    const uint64_t reads = background_->cache.reads();
    const std::string file = window_->background.empty() ? "" : host::join_path(folder, window_->background);
    layout_ = host::lay_out_window(*window_, folder, size_of, &background_->cache);
    // The watch starts from the file as read.
    if (file != background_->file || background_->cache.reads() != reads) {
      background_->file = file;
      background_->stamp = background_->pending = file.empty() ? FileStamp{} : stamp_of(file);
    }
    std::vector<bool> taken(before.placements.size());
    for (size_t i = 0; i < layout_.placements.size(); ++i) {
      const host::PanelPlacement& place = layout_.placements[i];
      auto same_gauge = [&](size_t k) {
        const host::PanelPlacement& old = before.placements[k];
        return !taken[k] && !old.last_scaled.empty() && old.width == place.width && old.height == place.height &&
               old.line.module == place.line.module && old.line.gauge == place.line.gauge;
      };
      size_t k = i < before.placements.size() && same_gauge(i) ? i : 0;
      while (k < before.placements.size() && !same_gauge(k)) ++k;
      if (k == before.placements.size()) continue;
      taken[k] = true;
      place.last_picture = std::move(before.placements[k].last_picture);
      place.last_scaled = std::move(before.placements[k].last_scaled);
    }
    for (auto& gauge : gauges_) place(*gauge);
  } else {
    // Modules placed by name, as a scenario's module lines place them.
    layout_ = {};
    int next_x = 0, width = 0, height = 0;
    for (auto& gauge : gauges_) {
      if (!gauge->placed) {
        gauge->x = next_x;
        gauge->y = 0;
      }
      const int w = gauge->width > 0 ? gauge->width : host::kUnknownSize;
      const int h = gauge->height > 0 ? gauge->height : host::kUnknownSize;
      next_x = std::max(next_x, gauge->x + w + host::kPanelGap);
      width = std::max(width, gauge->x + w);
      height = std::max(height, gauge->y + h);
      host::PanelPlacement place{{.module = gauge->name, .gauge = gauge->name}};
      place.x = gauge->x;
      place.y = gauge->y;
      place.width = w;
      place.height = h;
      place.drawn = gauge->width > 0;
      place.why = gauge->fault;
      layout_.placements.push_back(place);
    }
    layout_.background =
        Picture(std::max(width, 1), std::max(height, 1), gauges_.size() == 1 ? host::kPureBlack : host::kPanelGrey);
  }
  laid_out_ = true;
  return before;
}

Session::Gauge* Session::find(const std::string& module) {
  for (auto& gauge : gauges_)
    if (gauge->name == module) return gauge.get();
  return nullptr;
}

const Session::Gauge* Session::find(const std::string& module) const {
  for (const auto& gauge : gauges_)
    if (gauge->name == module) return gauge.get();
  return nullptr;
}

// The placement that draws a line of the window (a module placed by name
// has the one).
Session::Placement* Session::placement_of(const Gauge& gauge, const host::PanelGauge& line) const {
  for (const auto& placement : gauge.placements)
    if (!config_ || placement->line == line.number) return placement.get();
  return nullptr;
}

void Session::run(Gauge& gauge, Placement& placement) {
  if (!placement.installed || !gauge.fault.empty()) return;
  Panel& panel = Panel::instance();
  host::set_interruptible_code(gauge.image_begin, gauge.image_end);
  panel.clear_key_events();
  const FrameSnapshot frame = placement.module->frame();
  const host::Meanings& meanings = host::tarnwix_meanings();
  for (const KeyEvent& event : frame.key_events) {
    const char* meaning = meanings.key_event(event.id);
    log_.add(frame_, "key " + std::to_string(event.id) + " value " + std::to_string(static_cast<int32_t>(event.value)) +
                         " from " + gauge.name + (meaning != nullptr ? std::string(" (") + meaning + ")" : ""));
  }
  panel.clear_key_events();
  log_registrations(gauge.name);
  if (check_faults(gauge, placement, "in frame " + std::to_string(frame_))) return;
  placement.latest = frame;
}

void Session::render(Gauge& gauge, Placement& placement) {
  if (!placement.latest) return;
  const FrameSnapshot frame = std::move(*placement.latest);
  placement.latest.reset();
  if (!gauge.fault.empty() || gauge.bitmaps == nullptr) return;
  if (placement.drawn && same_drawing(*placement.drawn, frame)) return;
  std::vector<std::string> problems;
  placement.picture = host::render_frame(frame, gauge.bitmaps->source(), &problems);
  placement.drawn = frame;
  placement.changed = true;
  for (const std::string& problem : problems)
    if (std::find(problems_.begin(), problems_.end(), gauge.name + " " + problem) == problems_.end()) {
      problems_.push_back(gauge.name + " " + problem);
      log_.add(frame_, "problem " + gauge.name + ": " + problem);
    }
}

void Session::frame() {
  LARGE_INTEGER start, updated, drawn, frequency;
  QueryPerformanceCounter(&start);
  ++frame_;
  if (player_) player_->before_frame(*this);
  for (const auto& [gauge, placement] : running()) run(*gauge, *placement);
  learn_inputs();
  watch_named();
  QueryPerformanceCounter(&updated);
  for (auto& gauge : gauges_)
    for (auto& placement : gauge->placements) render(*gauge, *placement);
  compose();
  QueryPerformanceCounter(&drawn);
  QueryPerformanceFrequency(&frequency);
  const double scale = 1000.0 / static_cast<double>(frequency.QuadPart);
  update_ms_ = static_cast<double>(updated.QuadPart - start.QuadPart) * scale;
  draw_ms_ = static_cast<double>(drawn.QuadPart - updated.QuadPart) * scale;
  if (player_) player_->after_frame(*this);
}

const Picture* Session::picture_of(const host::PanelGauge& line) const {
  const Gauge* gauge = find(config_ ? host::our_module_name(line.module) : line.module);
  const Placement* placement = gauge != nullptr ? placement_of(*gauge, line) : nullptr;
  return placement == nullptr || placement->picture.empty() ? nullptr : &placement->picture;
}

// A stopped gauge's place outlined in red with its fault, over everything.
void Session::draw_faults(Picture& part, const host::PixelRect& where) const {
  for (const host::PanelPlacement& place : layout_.placements) {
    if (place.x >= where.x + where.width || place.y >= where.y + where.height || place.x + place.width <= where.x ||
        place.y + place.height <= where.y)
      continue;
    const std::string name = config_ ? host::our_module_name(place.line.module) : place.line.module;
    for (const auto& gauge : gauges_)
      if (gauge->name == name && !gauge->fault.empty())
        host::draw_outline(part, place.x - where.x, place.y - where.y, place.width, place.height,
                           {place.line.module + "!" + place.line.gauge + ": stopped", gauge->fault}, kFaultColour);
  }
}

void Session::redraw(const std::vector<host::PixelRect>& parts) {
  auto picture_of = [this](const host::PanelGauge& line) { return this->picture_of(line); };
  auto faults = [this](Picture& part, const host::PixelRect& where) { draw_faults(part, where); };
  for (const host::PixelRect& part : parts) host::redraw_window_part(picture_, layout_, picture_of, part, faults);
}

void Session::compose() {
  changed_ = std::move(changed_since_frame_);
  changed_since_frame_.clear();
  bool any = recompose_all_;
  for (const auto& gauge : gauges_) {
    any = any || gauge->changed;
    for (const auto& placement : gauge->placements) any = any || placement->changed;
  }
  if (any && recompose_all_) {
    picture_ = host::draw_window(layout_, [this](const host::PanelGauge& line) { return picture_of(line); });
    draw_faults(picture_, {0, 0, picture_.width, picture_.height});
    changed_ = {{0, 0, picture_.width, picture_.height}};
  } else if (any) {
    // Only the places of the gauges whose picture changed.
    std::vector<host::PixelRect> parts;
    for (const host::PanelPlacement& place : layout_.placements) {
      const std::string name = config_ ? host::our_module_name(place.line.module) : place.line.module;
      const Gauge* gauge = find(name);
      const Placement* placement = gauge != nullptr ? placement_of(*gauge, place.line) : nullptr;
      if (gauge == nullptr || !(gauge->changed || (placement != nullptr && placement->changed))) continue;
      const host::PixelRect part = clipped(place_of(place), picture_.width, picture_.height);
      if (part.empty()) continue;
      parts.push_back(part);
      changed_.push_back({part.x, part.y, part.width, part.height});
    }
    redraw(parts);
  }
  recompose_all_ = false;
  for (auto& gauge : gauges_) {
    gauge->changed = false;
    for (auto& placement : gauge->placements) placement->changed = false;
  }
}

void Session::learn_inputs() {
  Panel& panel = Panel::instance();
  const host::Meanings& meanings = host::tarnwix_meanings();
  for (uint32_t token : panel.lookups()) {
    if (std::any_of(inputs_.begin(), inputs_.end(), [&](const Input& input) { return input.token == token; })) continue;
    Input input;
    input.token = token;
    if (const host::VariableMeaning* meaning = meanings.variable(token)) {
      input.name = meaning->name;
      input.unit = meaning->unit;
      input.low = meaning->low;
      input.high = meaning->high;
      input.is_switch = meaning->is_switch;
      input.known = true;
    } else {
      input.name = "unknown";
      input.low = -100000;
      input.high = 100000;
    }
    inputs_.push_back(input);
  }
  panel.clear_lookups();
  for (Input& input : inputs_) input.value = panel.variable(input.token);
}

void Session::watch_named() {
  const Panel& panel = Panel::instance();
  for (auto& [name, seen] : named_seen_)
    if (panel.named_variables().count(name) == 0) seen.reset();
  for (const auto& [name, variable] : panel.named_variables()) {
    const std::optional<uint32_t> value = panel.read_named(name);
    auto found = named_seen_.find(name);
    if (found != named_seen_.end() && found->second == value) continue;
    if (value)
      log_.add(frame_,
               "named \"" + name + "\" " +
                   (found != named_seen_.end() && found->second ? std::to_string(*found->second) + " -> " : "is ") +
                   std::to_string(*value));
    named_seen_[name] = value;
  }
}

std::vector<NamedShown> Session::named() const {
  std::vector<NamedShown> shown;
  const Panel& panel = Panel::instance();
  for (const auto& [name, variable] : panel.named_variables())
    shown.push_back({name, panel.read_named(name).value_or(0)});
  return shown;
}

void Session::set_input(uint32_t token, double value) {
  Panel::instance().set_variable(token, value);
  for (Input& input : inputs_)
    if (input.token == token) input.value = value;
  const host::VariableMeaning* meaning = host::tarnwix_meanings().variable(token);
  log_.add(frame_, "set " + std::to_string(token) + " " + scenario_number(value) +
                       (meaning != nullptr ? std::string(" (") + meaning->name + ")" : ""));
  recorder_.set(frame_, token, value);
}

Session::Gauge* Session::gauge_at(int x, int y, Placement** placement, int* gauge_x, int* gauge_y) const {
  for (auto place = layout_.placements.rbegin(); place != layout_.placements.rend(); ++place) {
    if (x < place->x || y < place->y || x >= place->x + place->width || y >= place->y + place->height) continue;
    const std::string name = config_ ? host::our_module_name(place->line.module) : place->line.module;
    for (const auto& gauge : gauges_) {
      if (gauge->name != name || !place->drawn || gauge->width == 0) continue;
      *placement = placement_of(*gauge, place->line);
      if (*placement == nullptr) return nullptr;
      // The window's pixel as the gauge's own: the placement scales it.
      *gauge_x = static_cast<int>((int64_t{x} - place->x) * gauge->width / place->width);
      *gauge_y = static_cast<int>((int64_t{y} - place->y) * gauge->height / place->height);
      return gauge.get();
    }
    return nullptr;  // the topmost place there is not a gauge that runs
  }
  return nullptr;
}

PointInfo Session::at(int x, int y) const {
  PointInfo info;
  int gx = 0, gy = 0;
  Placement* placement = nullptr;
  const Gauge* gauge = gauge_at(x, y, &placement, &gx, &gy);
  if (gauge == nullptr || gauge->load.module == nullptr || !gauge->fault.empty()) return info;
  info.gauge = gauge->name;
  const Module& module = *gauge->load.module;
  const std::vector<host::MouseRectView> rects = module.mouse_rects();
  info.area = module.area_at(gx, gy);
  if (info.area >= 0) info.cursor = rects[static_cast<size_t>(info.area)].cursor;
  for (const host::MouseRectView& rect : rects)
    if (rect.kind == host::mouse_rect::kTooltip && !rect.tooltip.empty()) info.tooltip = rect.tooltip;
  return info;
}

// The placement under the point gets the click; by name, the first.
void Session::click(int x, int y) {
  int gx = 0, gy = 0;
  Placement* placement = nullptr;
  Gauge* gauge = gauge_at(x, y, &placement, &gx, &gy);
  if (gauge != nullptr) click_placement(*gauge, placement, gx, gy);
}

void Session::click_gauge(const std::string& module, int x, int y) {
  Gauge* gauge = find(module);
  if (gauge == nullptr) {
    log_.add(frame_, "click on " + module + ", which is not open: nothing called");
    return;
  }
  click_placement(*gauge, gauge->placements.empty() ? nullptr : gauge->placements.front().get(), x, y);
}

void Session::click_placement(Gauge& gauge, Placement* placement, int x, int y) {
  const std::string& module = gauge.name;
  if (!gauge.fault.empty() || placement == nullptr || !placement->installed) {
    log_.add(frame_, "click " + module + " (" + std::to_string(x) + ", " + std::to_string(y) +
                         "): the gauge is stopped, nothing called");
    return;
  }
  Panel& panel = Panel::instance();
  panel.clear_key_events();
  host::set_interruptible_code(gauge.image_begin, gauge.image_end);
  const int area = placement->module->click(x, y);
  recorder_.click(frame_, module, x, y);
  std::string line = "click " + module + " (" + std::to_string(x) + ", " + std::to_string(y) + "): ";
  if (area < 0) {
    line += "no area";
  } else {
    const host::MouseRectView rect = placement->module->mouse_rects()[static_cast<size_t>(area)];
    const host::AreaMeaning* meaning = host::tarnwix_meanings().area(module, rect.x, rect.y);
    line += "area " + std::to_string(area) + (meaning != nullptr ? std::string(", ") + meaning->name : "");
  }
  log_.add(frame_, line);
  const host::Meanings& meanings = host::tarnwix_meanings();
  for (const KeyEvent& event : panel.key_events()) {
    const char* meaning = meanings.key_event(event.id);
    log_.add(frame_, "key " + std::to_string(event.id) + " value " + std::to_string(static_cast<int32_t>(event.value)) +
                         " from " + module + (meaning != nullptr ? std::string(" (") + meaning + ")" : ""));
  }
  panel.clear_key_events();
  log_registrations(module);
  check_faults(gauge, *placement, "when clicked");
}

bool Session::save_scenario(const std::string& path, std::string* error) const {
  if (!recorder_.write(path, frame_, error)) return false;
  log_.add(frame_, "scenario saved to " + path);
  return true;
}

bool Session::save_picture(const std::string& path, std::string* error) const {
  if (!host::write_png(picture_, path, error)) return false;
  log_.add(frame_, "picture saved to " + path);
  return true;
}

std::string Session::scenario_state() const {
  if (!player_) return {};
  if (player_->at_end()) return "scenario ended";
  const host::ScenarioStep& step = scenario_->steps[player_->index];
  return "scenario line " + std::to_string(step.line) + ", frame " + std::to_string(player_->frame_in_step) + " of " +
         std::to_string(step.frames);
}

std::vector<std::string> Session::gauge_names() const {
  std::vector<std::string> names;
  for (const auto& gauge : gauges_) names.push_back(gauge->name);
  return names;
}

std::optional<std::string> Session::fault_of(const std::string& module) const {
  for (const auto& gauge : gauges_)
    if (gauge->name == module) return gauge->fault;
  return std::nullopt;
}

}  // namespace tarnwix::view
