// Reading scenario files: a flight, or any sequence of states, to be played on
// one module or on several on one panel (scenario.h plays them). Plain C++
// over text, free of Windows and of the stand-in simulator, so that it also
// builds natively (the fuzzing build compiles it alone).
//
// A scenario is a text file of lines `key arguments`; `#` starts a comment,
// blank lines are skipped, keys are lower case:
//
//   title TEXT             what the scenario shows: the sheet's heading
//   module NAME [at X Y]   a module of the panel, NAME.gau in the modules
//                          folder, with its top-left corner at (X, Y) on the
//                          panel; without `at` the modules are placed left to
//                          right. `module all` places the five modules as one
//                          panel. At least one module, all before any action.
//   panel PATH [window N] instead of module lines: the gauges of a panel.cfg
//                          (PATH relative to the scenario's folder), drawn
//                          in the layout of its window N (WindowNN, or
//                          VCockpitNN; the first window when left out)
//   set TOKEN VALUE        sets a simulation variable by token (decimal or 0x
//                          hex) to VALUE (a decimal number; nan, inf, -inf too)
//   ramp TOKEN VALUE       moves the variable from its value to VALUE over the
//                          next `frames` line, reaching it on its last frame
//   click [MODULE] X Y     clicks at (X, Y) in the module's own pixels; MODULE
//                          may be left out when the panel has one module; on
//                          a panel.cfg window that places the module twice,
//                          the click reaches its first placement (the two are
//                          one gauge with one state)
//   named NAME VALUE       writes a named variable as another gauge would
//                          (VALUE 0 to 4294967295); a module must register it
//   frames N [CAPTION]     advances N frames (1 to 100000); the last one is
//                          a tile of the contact sheet, captioned CAPTION
//
// Anything else, a malformed number, a missing or extra argument, a click
// outside its gauge or a module that is not in the panel is refused before
// anything runs, with the file, the line and what is wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwix::host {

struct ScenarioModule {
  std::string name;
  bool placed = false;  // `at X Y` given
  int x = 0, y = 0;
};

struct ScenarioStep {
  enum class Kind { kSet, kRamp, kClick, kNamed, kFrames };
  Kind kind = Kind::kSet;
  int line = 0;
  uint32_t token = 0;   // set, ramp
  double value = 0;     // set, ramp
  std::string module;   // click: empty for the panel's only module
  int x = 0, y = 0;     // click
  std::string name;     // named
  uint32_t word = 0;    // named
  int frames = 0;       // frames
  std::string caption;  // frames
};

struct Scenario {
  std::string source;  // the file name, for messages
  std::string title;
  std::vector<ScenarioModule> modules;  // module lines; or, from a panel line:
  std::string panel;                    // the panel.cfg's path, from the scenario's folder
  std::string panel_as_written;         // the path as the panel line gives it
  std::string panel_window;             // its window; empty for the first
  int panel_line = 0;
  std::vector<ScenarioStep> steps;
  int total_frames() const;
};

// The five modules, in the order `module all` places them.
const std::vector<std::string>& all_module_names();
// Two names alike but for case, as the simulator compares module and gauge names.
bool same_name(std::string_view a, std::string_view b);
// One of the five modules as it is spelt, for its name in any case; empty
// for any other name.
std::string our_module_name(std::string_view name);

// A ramped variable's value on frame i of the n frames of its `frames` line:
// linear from `from`, exactly `target` on the last frame (and on every frame
// when either end is not finite).
double ramp_value(double from, double target, int i, int n);

// Parses a scenario; on a fault returns nothing and sets *error to
// "SOURCE:LINE: what is wrong".
std::optional<Scenario> parse_scenario(std::string_view text, const std::string& source, std::string* error);
std::optional<Scenario> read_scenario(const std::string& path, std::string* error);

}  // namespace tarnwix::host
