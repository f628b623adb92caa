// Playing scenario files on the stand-in simulator.
#include "scenario.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "host/host.h"
#include "panel.h"
#include "render.h"

namespace tarnwix::host {

namespace {

std::string file_stem(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool file_exists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

std::string format_event(const KeyEvent& event) {
  char text[64];
  std::snprintf(text, sizeof text, "%u %d", event.id, static_cast<int32_t>(event.value));
  return text;
}

std::string format_value(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

// One run of a scenario: the loaded panel, the pictures and the log so far.
// Each step of the run is a routine of its own; run_scenario calls them in
// order.
class ScenarioRun {
 public:
  ScenarioRun(const Scenario& scenario, const RunOptions& options)
      : scenario_(scenario), options_(options), panel_(Panel::instance()) {}
  // Whatever happens, every installed gauge is killed before its module is
  // unloaded, so that it withdraws what it registered.
  ~ScenarioRun() {
    for (Loaded& entry : loaded_) retire(entry);
    // A run that failed on its way leaves nothing half-written behind.
    if (written_ != nullptr)
      for (const std::string& path : *written_) std::remove(path.c_str());
  }
  ScenarioRun(const ScenarioRun&) = delete;
  ScenarioRun& operator=(const ScenarioRun&) = delete;

  RunResult run() {
    panel_.reset();
    panel_.set_sound_library(SoundLibraryMode::kAbsent);
    const bool loaded = scenario_.panel.empty() ? load_modules() : load_panel();
    if (!loaded || !install_and_place() || !check_actions()) return result_;
    if (!scenario_.panel.empty()) {
      lay_out_panel();
      if (!place_again()) return result_;
    }
    size_panel();
    if (!scenario_.title.empty()) log("title " + scenario_.title);
    log_panel();
    total_ = scenario_.total_frames();
    for (const ScenarioStep& step : scenario_.steps)
      if (!play(step)) return result_;
    retire_and_report();
    if (!write_outputs()) return result_;
    written_ = nullptr;
    result_.ok = true;
    return result_;
  }

 private:
  struct Loaded {
    ScenarioModule place;
    std::unique_ptr<Module> module;
    std::unique_ptr<BitmapCache> bitmaps;
    int width = 0, height = 0;  // the background's size
    bool installed = false;
    int gauge_number = -1;  // with a panel: the gaugeNN line this placement draws, -1 for none
    bool again = false;     // a further placement of a load: its module is started and ended once
  };

  // Kills an installed gauge, so that it withdraws what it registered, and
  // deinitialises its module; once.
  static void retire(Loaded& entry) {
    if (!entry.installed) return;
    entry.module->kill();
    if (!entry.again) entry.module->call_module_deinit();
    entry.installed = false;
  }

  bool refuse(const std::string& message) {
    result_.message = message;
    return false;
  }
  void log(const std::string& line) { result_.log.push_back(line); }
  std::string at_line(const ScenarioStep& step) const {
    return scenario_.source + ":" + std::to_string(step.line) + ": ";
  }
  static std::string step_line(const ScenarioStep& step) { return "line " + std::to_string(step.line) + ": "; }
  Loaded* find(const std::string& name) {
    for (Loaded& entry : loaded_)
      if (entry.place.name == name) return &entry;
    return nullptr;
  }
  // Writes a file of the run and names it among those written; false, with
  // the reason in the result's message, when it cannot.
  bool write(const Picture& picture, const std::string& path) {
    if (!write_png(picture, path, &result_.message)) return false;
    result_.written.push_back(path);
    return true;
  }

  // Loads every module of the panel.
  bool load_modules() {
    for (const ScenarioModule& place : scenario_.modules) {
      const std::string path = options_.modules_folder + "/" + place.name + ".gau";
      if (!file_exists(path)) {
        if (options_.skip_missing) {
          result_.ok = true;
          result_.skipped = true;
          return refuse(scenario_.source + ": skipped, " + place.name + " is not built (" + path + ")");
        }
        return refuse(scenario_.source + ": no module " + place.name + " (" + path + ")");
      }
      std::string error;
      Loaded entry{place, Module::load(path, &error)};
      if (!entry.module) return refuse(scenario_.source + ": cannot load " + path + ": " + error);
      entry.bitmaps = std::make_unique<BitmapCache>(*entry.module);
      loaded_.push_back(std::move(entry));
    }
    return true;
  }

  // With a panel line: reads the panel.cfg and loads each module of the
  // window's gauges that is one of ours and built, once; every other gauge
  // is outlined, with its reason. Further lines of a module become further
  // placements of that load once the window is laid out (place_again).
  bool load_panel() {
    const std::string at = scenario_.source + ":" + std::to_string(scenario_.panel_line) + ": ";
    std::string error;
    panel_path_ = scenario_panel_path(scenario_, options_.modules_folder, &error);
    if (panel_path_.empty()) return refuse(error);
    std::ifstream file(panel_path_, std::ios::binary);
    if (!file) return refuse(at + "cannot read " + panel_path_);
    std::ostringstream text;
    text << file.rdbuf();
    config_ = parse_panel_config(text.str(), panel_path_, &error);
    if (!config_) return refuse(error);
    window_ = scenario_.panel_window.empty() ? &config_->windows.front() : config_->find(scenario_.panel_window);
    if (window_ == nullptr) return refuse(at + panel_path_ + " has no window " + scenario_.panel_window);
    for (const PanelGauge& gauge : window_->gauges) {
      const std::string name = our_module(gauge.module);
      if (name.empty()) {
        why_[gauge.module] = "not one of our modules";
        continue;
      }
      if (find(name) != nullptr || why_.count(name)) continue;
      const std::string path = options_.modules_folder + "/" + name + ".gau";
      if (!file_exists(path)) {
        why_[name] = "its module is not built (" + path + ")";
        continue;
      }
      Loaded entry;
      entry.place.name = name;
      entry.module = Module::load(path, &error);
      if (!entry.module) {
        why_[name] = "its module does not load: " + error;
        continue;
      }
      entry.bitmaps = std::make_unique<BitmapCache>(*entry.module);
      loaded_.push_back(std::move(entry));
    }
    return true;
  }

  // Our module's name as it is spelt, for a name in any case; empty when the
  // name is not one of ours.
  static std::string our_module(const std::string& name) { return our_module_name(name); }
  static bool same_text(const std::string& a, const std::string& b) { return same_name(a, b); }

  // Places the window's gauges; what is not drawn is listed and logged.
  void lay_out_panel() {
    auto size_of = [&](const PanelGauge& gauge, std::string* why) -> std::optional<GaugeSize> {
      const std::string name = our_module(gauge.module);
      const Loaded* entry = name.empty() ? nullptr : find(name);
      if (entry == nullptr) {
        *why = why_[name.empty() ? gauge.module : name];
        return std::nullopt;
      }
      if (!same_text(entry->module->gauge_name(), gauge.gauge)) {
        *why = name + " holds no gauge " + gauge.gauge;
        return std::nullopt;
      }
      return GaugeSize{entry->width, entry->height};
    };
    layout_ = lay_out_window(*window_, folder_of(panel_path_), size_of);
    result_.not_drawn = layout_.notes;
  }

  // Every drawn line of the window is a placement of its own, as the
  // simulator makes one gauge per line: the first line of a module takes
  // its load, each further line is another placement of that load (one
  // state, its own calls), installed after the others. A click reaches a
  // module's first placement.
  bool place_again() {
    std::vector<Loaded> more;
    for (const PanelPlacement& place : layout_.placements) {
      if (!place.drawn) continue;
      const std::string name = our_module(place.line.module);
      Loaded* first = find(name);
      if (first == nullptr) continue;
      if (first->gauge_number < 0) {
        first->gauge_number = place.line.number;
        continue;
      }
      std::string error;
      Loaded entry{first->place, Module::load(first->module->path(), &error)};
      if (!entry.module) return refuse(scenario_.source + ": cannot place " + name + " again: " + error);
      entry.bitmaps = std::make_unique<BitmapCache>(*entry.module);
      entry.width = first->width;
      entry.height = first->height;
      entry.gauge_number = place.line.number;
      entry.again = true;
      more.push_back(std::move(entry));
    }
    for (Loaded& entry : more) {
      entry.module->install();
      entry.installed = true;
      loaded_.push_back(std::move(entry));
    }
    return true;
  }

  // The window drawn and what it could not draw, at the head of the log.
  void log_panel() {
    if (!config_) return;
    log("panel " + window_->name() + (window_->title.empty() ? std::string() : " \"" + window_->title + "\""));
    for (const std::string& note : layout_.notes) log("NOT DRAWN: " + note);
  }

  // Installs every gauge, and places those without a position left to right.
  bool install_and_place() {
    int next_x = 0;
    for (Loaded& entry : loaded_) {
      entry.module->call_module_init();
      entry.module->install();
      entry.installed = true;
      // The gauge's size is its background's: the root's bitmap.
      const std::vector<uint8_t*> chain = entry.module->chain();
      const Bitmap* root = chain.empty() ? nullptr : entry.bitmaps->find(i32(chain.front(), element::kResourceId));
      if (root == nullptr) return refuse(scenario_.source + ": " + entry.place.name + " has no background bitmap");
      entry.width = root->width;
      entry.height = root->height;
      if (!entry.place.placed) {
        entry.place.x = next_x;
        entry.place.y = 0;
      }
      next_x = std::max(next_x, entry.place.x + entry.width + kPanelGap);
    }
    return true;
  }

  // Checks every action against the panel before the first frame.
  bool check_actions() {
    for (const ScenarioStep& step : scenario_.steps) {
      if (step.kind == ScenarioStep::Kind::kClick) {
        const Loaded* target =
            step.module.empty() ? (loaded_.size() == 1 ? &loaded_.front() : nullptr) : find(step.module);
        if (target == nullptr)
          return refuse(at_line(step) + (step.module.empty()
                                             ? "click wants a MODULE on a panel of several modules"
                                             : "click on " + step.module + ", which is not on the panel"));
        if (step.x < 0 || step.y < 0 || step.x >= target->width || step.y >= target->height)
          return refuse(at_line(step) + "click at (" + std::to_string(step.x) + ", " + std::to_string(step.y) +
                        ") is outside " + target->place.name + " (" + std::to_string(target->width) + " x " +
                        std::to_string(target->height) + ")");
      } else if (step.kind == ScenarioStep::Kind::kNamed) {
        if (panel_.named_variables().count(step.name) == 0)
          return refuse(at_line(step) + "no module of the panel registers the named variable \"" + step.name + "\"");
      }
    }
    return true;
  }

  // The panel picture's size, and where its files go.
  void size_panel() {
    if (config_) {
      panel_width_ = layout_.background.width;
      panel_height_ = layout_.background.height;
    }
    for (const Loaded& entry : loaded_) {
      if (config_) break;
      panel_width_ = std::max(panel_width_, entry.place.x + entry.width);
      panel_height_ = std::max(panel_height_, entry.place.y + entry.height);
    }
    stem_ = options_.output_name.empty() ? file_stem(scenario_.source) : options_.output_name;
    base_ = options_.output_folder + "/" + stem_;
  }

  bool play(const ScenarioStep& step) {
    switch (step.kind) {
      case ScenarioStep::Kind::kSet:
        panel_.set_variable(step.token, step.value);
        ramp_targets_.erase(step.token);
        log(step_line(step) + "set " + std::to_string(step.token) + " " + format_value(step.value));
        return true;
      case ScenarioStep::Kind::kRamp:
        ramp_targets_[step.token] = step.value;
        log(step_line(step) + "ramp " + std::to_string(step.token) + " to " + format_value(step.value));
        return true;
      case ScenarioStep::Kind::kClick:
        click(step);
        return true;
      case ScenarioStep::Kind::kNamed:
        panel_.write_named(step.name, step.word);
        log(step_line(step) + "named " + step.name + " " + std::to_string(step.word));
        return true;
      case ScenarioStep::Kind::kFrames:
        return play_frames(step);
    }
    return true;
  }

  void click(const ScenarioStep& step) {
    Loaded& target = step.module.empty() ? loaded_.front() : *find(step.module);
    panel_.clear_key_events();
    const int record = target.module->click(step.x, step.y);
    std::string line = step_line(step) + "click " + target.place.name + " (" + std::to_string(step.x) + ", " +
                       std::to_string(step.y) + "): " + (record < 0 ? "no area" : "area " + std::to_string(record));
    for (const KeyEvent& event : panel_.key_events()) line += ", key " + format_event(event);
    panel_.clear_key_events();
    log(line);
  }

  // Moves every ramped variable to its place on frame i of n; the last frame
  // sets the target itself.
  void apply_ramps(const std::map<uint32_t, double>& ramp_start, int i, int n) {
    for (const auto& [token, target] : ramp_targets_)
      panel_.set_variable(token, ramp_value(ramp_start.at(token), target, i, n));
  }

  // Advances every gauge one frame and draws the panel; the key events sent
  // are logged.
  Picture draw_frame() {
    Picture picture(panel_width_, panel_height_, loaded_.size() == 1 ? kPureBlack : kPanelGrey);
    std::string events;
    std::map<int, Picture> gauges;  // with a panel: each placement's picture, by its gaugeNN
    for (Loaded& entry : loaded_) {
      panel_.clear_key_events();
      const FrameSnapshot frame = entry.module->frame();
      for (const KeyEvent& event : frame.key_events)
        events += (events.empty() ? "" : ", ") + entry.place.name + " key " + format_event(event);
      std::vector<std::string> found;
      if (config_)
        gauges[entry.gauge_number] = render_frame(frame, entry.bitmaps->source(), &found);
      else
        picture.paste(render_frame(frame, entry.bitmaps->source(), &found), entry.place.x, entry.place.y);
      for (const std::string& problem : found)
        if (std::find(problems_.begin(), problems_.end(), entry.place.name + " " + problem) == problems_.end())
          problems_.push_back(entry.place.name + " " + problem);
    }
    panel_.clear_key_events();
    if (!events.empty()) log("frame " + std::to_string(frame_number_) + ": " + events);
    if (config_)
      picture = draw_window(layout_, [&](const PanelGauge& gauge) -> const Picture* {
        const auto found = gauges.find(gauge.number);
        return found == gauges.end() ? nullptr : &found->second;
      });
    return picture;
  }

  bool play_frames(const ScenarioStep& step) {
    std::map<uint32_t, double> ramp_start;
    for (const auto& [token, target] : ramp_targets_) ramp_start[token] = panel_.variable(token);
    const bool show_progress = options_.progress && total_ >= 50;
    for (int i = 1; i <= step.frames; ++i) {
      apply_ramps(ramp_start, i, step.frames);
      ++frame_number_;
      const Picture picture = draw_frame();
      if (options_.every_frame) {
        char name[32];
        std::snprintf(name, sizeof name, "-%05d.png", frame_number_);
        if (!write(picture, base_ + name)) return false;
      }
      if (i == step.frames) {
        tiles_.push_back(picture);
        captions_.push_back(std::to_string(tiles_.size()) + ". " + step.caption);
      }
      if (show_progress && (frame_number_ % 25 == 0 || frame_number_ == total_))
        std::fprintf(stderr, "\r%s: frame %d of %d%s", stem_.c_str(), frame_number_, total_,
                     frame_number_ == total_ ? "\n" : "");
    }
    ramp_targets_.clear();
    std::string line = "after frame " + std::to_string(frame_number_) + " (line " + std::to_string(step.line) +
                       (step.caption.empty() ? "" : ", " + step.caption) + "):";
    for (const auto& [name, variable] : panel_.named_variables())
      line += " " + name + "=" + std::to_string(panel_.read_named(name).value_or(0));
    log(line);
    return true;
  }

  // Ends every gauge and logs the faults the host saw and the problems the
  // drawing found.
  void retire_and_report() {
    for (Loaded& entry : loaded_) {
      retire(entry);
      for (const CallFault& fault : entry.module->call_faults())
        log("FAULT: " + entry.place.name + " " + fault.routine + " left the stack " +
            std::to_string(fault.stack_delta) + " bytes off" +
            (fault.registers_clobbered ? " and changed a callee-saved register" : ""));
      for (const std::string& fault : entry.module->text_faults()) log("FAULT: " + entry.place.name + " " + fault);
    }
    for (const std::string& problem : problems_) log("PROBLEM: " + problem);
  }

  // The last frame or the contact sheet, and the log.
  bool write_outputs() {
    if (options_.last_frame && !tiles_.empty()) {
      if (!write(tiles_.back(), base_ + ".png")) return false;
    } else if (options_.sheet && !tiles_.empty()) {
      const int columns = std::clamp(2400 / std::max(panel_width_, 1), 1, 8);
      if (!write(contact_sheet(tiles_, captions_, columns, scenario_.title), base_ + ".png")) return false;
    }
    if (options_.write_log) {
      std::ofstream log_file(base_ + ".log", std::ios::binary);
      for (const std::string& line : result_.log) log_file << line << "\n";
      if (!log_file) return refuse("cannot write " + base_ + ".log");
      result_.written.push_back(base_ + ".log");
    }
    return true;
  }

  const Scenario& scenario_;
  std::string panel_path_;  // the panel.cfg read, with a panel line
  const RunOptions& options_;
  Panel& panel_;
  RunResult result_;
  std::vector<Loaded> loaded_;
  int panel_width_ = 0, panel_height_ = 0;
  std::string stem_, base_;
  int total_ = 0;
  int frame_number_ = 0;
  std::vector<Picture> tiles_;
  std::vector<std::string> captions_;
  std::vector<std::string> problems_;
  std::map<uint32_t, double> ramp_targets_;
  std::optional<PanelConfig> config_;    // with a panel line
  const PanelWindow* window_ = nullptr;  // the window drawn
  WindowLayout layout_;
  std::map<std::string, std::string> why_;                      // why a module is not drawn, by name
  const std::vector<std::string>* written_ = &result_.written;  // removed unless the run ends well
};

}  // namespace

std::string scenario_panel_path(const Scenario& scenario, const std::string& modules_folder, std::string* error) {
  auto readable = [](const std::string& path) { return static_cast<bool>(std::ifstream(path, std::ios::binary)); };
  if (readable(scenario.panel)) return scenario.panel;
  const std::string at =
      scenario.source + ":" + std::to_string(scenario.panel_line) + ": cannot read " + scenario.panel;
  const std::string& written = scenario.panel_as_written;
  const std::string in_modules = join_path(modules_folder, written);
  if (written.empty() || in_modules == written) {
    *error = at;
    return {};
  }
  if (readable(in_modules)) return in_modules;
  *error = at + ", nor " + in_modules;
  return {};
}

RunResult run_scenario(const Scenario& scenario, const RunOptions& options) {
  return ScenarioRun(scenario, options).run();
}

}  // namespace tarnwix::host
