// gaugeview's command line, read before any window opens.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnwix::view {

struct Arguments {
  std::string modules_folder;                             // empty: the program's default
  double rate = 18;                                       // frames a second
  int zoom = 100;                                         // percent
  std::vector<std::pair<uint32_t, double>> start_values;  // --set, in order
  std::string log_file, record_file;
  bool sound = true;
  std::string target;        // PANEL.cfg, MODULE.gau or SCENARIO.txt; empty: the example panel
  std::string window;        // --window, with a panel.cfg
  int bench_frames = 0;      // --bench N: time N frames and quit
  int bench_drag_steps = 0;  // --bench-drag N: time N steps of a drag of the window's first gauge and quit
  bool help = false;
};

inline constexpr double kMaxRate = 1000;
inline constexpr int kMinZoom = 10, kMaxZoom = 800;
inline constexpr int kMaxBenchFrames = 100000;

// The usage text of --help.
const char* usage_text();

// Reads the arguments after the program's name; nothing, with one line
// saying what is wrong in *error, when they cannot be run.
std::optional<Arguments> parse_arguments(const std::vector<std::string>& arguments, std::string* error);

}  // namespace tarnwix::view
