// What the viewer has open, running live: a window of a panel.cfg, a single
// module, or a scenario played frame by frame. Knows nothing of windows on
// the screen, so that the tests drive it without a display:
//
//   - every frame runs what the simulator runs, in each placement of each
//     running gauge (pre-update, the element callbacks, pre-draw) and draws
//     the window with the renderer's own code, as gaugerender draws it; a
//     module the window places twice is one load with one state, each line
//     its own placement, called in turn and drawn from its own frame;
//   - the inputs are the variables the gauges look up, in the order they
//     first look them up, named from the guide's table of meanings;
//   - clicks at a point of the window reach the placement under it, at its
//     own pixels, exactly as a scenario's click does;
//   - key events, clicks, named variables, reloads and faults are logged
//     with their frame, and the inputs and clicks recorded as a scenario;
//   - a module whose file changes is reloaded in place, all its placements
//     with it, the inputs kept;
//   - a module that crashes, hangs past the call budget or breaks the calling
//     convention is stopped, every placement of it (never called again until
//     reloaded), its places outlined in red with the fault named; the other
//     gauges go on.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "event_log.h"
#include "host/meanings.h"
#include "panel.h"
#include "recorder.h"
#include "render.h"
#include "scenario_reader.h"

namespace tarnwix::view {

using host::Picture;
inline constexpr host::Rgb kFaultColour{230, 20, 20};

struct SessionOptions {
  std::string modules_folder;      // where NAME.gau are, for a panel.cfg or a scenario's module lines
  std::string window;              // of a panel.cfg: "N", "WindowNN" or "VCockpitNN"; empty for the first
  std::string sound_library;       // the GaugeSound the panel provides; empty for none
  uint32_t call_budget_ms = 1000;  // a call into a module running longer is stopped
  // Values set before the first frame, in order (--set).
  std::vector<std::pair<uint32_t, double>> start_values;
};

// A simulation variable the gauges look up, as a row of the inputs pane.
struct Input {
  uint32_t token = 0;
  std::string name;  // from the table of meanings; "unknown" when it has none
  std::string unit;
  double low = 0, high = 0;  // a slider's range
  bool is_switch = false;
  bool known = false;
  double value = 0;  // as the gauges read it at the next frame
};

struct NamedShown {
  std::string name;
  uint32_t value = 0;
};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// What lies under a point of the window.
struct PointInfo {
  std::string gauge;    // the module, empty over no running gauge
  int area = -1;        // the click area a click would reach
  int cursor = -1;      // that area's cursor code (-1: the gauge declares none)
  std::string tooltip;  // the gauge's tooltip text
};

class Session {
 public:
  // Opens a panel.cfg (.cfg), a module (.gau) or a scenario (anything else);
  // null, with one line saying why in *error, when it cannot be opened.
  static std::unique_ptr<Session> open(const std::string& path, const SessionOptions& options, EventLog& log,
                                       std::string* error);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // What is open, for the window's title: "panel.cfg, Window00 Main Panel".
  const std::string& title() const { return title_; }
  const std::string& path() const { return path_; }
  // A panel.cfg's windows as "Window00 Main Panel", and the one open.
  const std::vector<std::string>& windows() const { return window_names_; }
  int window_index() const { return window_index_; }
  bool is_scenario() const { return scenario_.has_value(); }
  // Where a scenario is: "line 12 of 20, frame 3 of 30", or that it ended.
  std::string scenario_state() const;

  // Runs one frame and draws it.
  void frame();
  int frame_number() const { return frame_; }
  const Picture& picture() const { return picture_; }
  // The parts of the picture the last frame changed (with those set_panel
  // drew since the frame before); all of it after the first. After
  // set_panel, the parts it drew.
  const std::vector<Rect>& changed() const { return changed_; }
  // The window's size in pixels, known before the first frame.
  int width() const { return layout_.background.width; }
  int height() const { return layout_.background.height; }
  // What the last frame cost: running the gauges, and drawing the window.
  double update_ms() const { return update_ms_; }
  double draw_ms() const { return draw_ms_; }

  const std::vector<Input>& inputs() const { return inputs_; }
  // Takes effect at the next frame; logged and recorded.
  void set_input(uint32_t token, double value);
  std::vector<NamedShown> named() const;

  PointInfo at(int x, int y) const;
  // A click at a point of the window: the placement under it gets it at its own pixels.
  void click(int x, int y);
  // A click at a gauge's own pixels, as a scenario names it: the module's
  // first placement gets it, as in gaugerender.
  void click_gauge(const std::string& module, int x, int y);

  // Reloads every module (Reload), or those whose file changed since it was
  // loaded and has not changed since the last call (called twice a second);
  // a window's background bitmap that changed so is read again and the
  // window laid out anew, logged. (The panel.cfg itself is the layout
  // editor's to watch.)
  void reload_all();
  void reload_changed();

  bool save_scenario(const std::string& path, std::string* error) const;
  bool save_picture(const std::string& path, std::string* error) const;

  // The layout editor's side. The window of a panel.cfg as laid out: the
  // placement at index i is the window's gauge at index i (gaugeNN order; a
  // gap in the numbering ends the placements).
  const host::WindowLayout& layout() const { return layout_; }
  // The model the window is laid out from, and the open window in it; null
  // for a module or a scenario of module lines.
  const host::PanelConfig* panel() const { return config_ ? &*config_ : nullptr; }
  const host::PanelWindow* panel_window() const { return window_; }
  // Lays the window out anew from an edited model (the layout editor's, or
  // the file read again), the open window found by its name: the running
  // modules and the inputs kept, a module the window newly names loaded, one
  // it no longer names removed; a line added or taken out of a module that
  // stays is a placement of its load installed or killed. The picture is
  // drawn again at once where the layout changed (each moved gauge's old and
  // new places), and changed() names those parts, so that a drag is followed
  // without waiting for the next frame. False, with why, when the model
  // lacks the open window.
  bool set_panel(const host::PanelConfig& config, std::string* error);

  // The module names of the running gauges, in the order they run.
  std::vector<std::string> gauge_names() const;
  // A gauge's fault ("" when it runs), or nullopt when it is not open.
  std::optional<std::string> fault_of(const std::string& module) const;

 private:
  struct Gauge;
  struct Placement;
  struct Player;
  struct Background;
  Session(EventLog& log, const SessionOptions& options);

  bool open_panel(const std::string& path, std::string* error);
  bool open_module(const std::string& path, std::string* error);
  bool open_scenario(const std::string& path, std::string* error);
  bool open_module_lines(const std::vector<host::ScenarioModule>& modules, std::string* error);
  void name_windows();
  std::vector<std::string> modules_named();
  void start(const std::string& head);

  void load(Gauge& gauge);
  std::unique_ptr<Placement> new_placement(Gauge& gauge, int line);
  void remove_placement(Gauge& gauge, std::unique_ptr<Placement> placement);
  void place(Gauge& gauge);
  std::vector<std::pair<Gauge*, Placement*>> running();
  void retire(Gauge& gauge);
  void unload(Gauge& gauge);
  void reload(Gauge& gauge, const std::string& why);
  void stop(Gauge& gauge, const std::string& fault);
  bool check_faults(Gauge& gauge, Placement& placement, const std::string& during);
  void log_registrations(const std::string& module);
  void run(Gauge& gauge, Placement& placement);
  void render(Gauge& gauge, Placement& placement);
  host::WindowLayout lay_out();
  void compose();
  void redraw(const std::vector<host::PixelRect>& parts);
  void draw_faults(Picture& part, const host::PixelRect& where) const;
  const Picture* picture_of(const host::PanelGauge& line) const;
  void learn_inputs();
  void watch_named();
  Gauge* find(const std::string& module);
  const Gauge* find(const std::string& module) const;
  Placement* placement_of(const Gauge& gauge, const host::PanelGauge& line) const;
  Gauge* gauge_at(int x, int y, Placement** placement, int* gauge_x, int* gauge_y) const;
  void click_placement(Gauge& gauge, Placement* placement, int x, int y);

  EventLog& log_;
  SessionOptions options_;
  std::string path_, title_;
  std::vector<std::unique_ptr<Gauge>> gauges_;
  // A panel.cfg's window, or the modules placed by name.
  std::optional<host::PanelConfig> config_;
  const host::PanelWindow* window_ = nullptr;
  std::vector<std::string> window_names_;
  int window_index_ = -1;
  std::map<std::string, std::string> not_drawn_;  // a module of ours the window cannot run, and why
  host::WindowLayout layout_;
  bool laid_out_ = false;
  std::unique_ptr<Background> background_;

  std::optional<host::Scenario> scenario_;
  std::unique_ptr<Player> player_;
  int frame_ = 0;
  double update_ms_ = 0, draw_ms_ = 0;
  Picture picture_;
  std::vector<Rect> changed_;
  std::vector<Rect> changed_since_frame_;  // drawn by set_panel, shown again with the next frame's
  bool recompose_all_ = true;
  std::vector<Input> inputs_;
  std::map<std::string, std::optional<uint32_t>> named_seen_;
  size_t registrations_seen_ = 0;
  size_t traps_seen_ = 0;
  Recorder recorder_;
  std::vector<std::string> problems_;
};

}  // namespace tarnwix::view
