// Reading a panel configuration file (panel.cfg) as the simulator reads it.
// Plain C++ over text, free of Windows and of the stand-in simulator, so that
// it also builds natively (the fuzzing build compiles it alone).
//
//   - `[Section]` lines open a section; section names and keys are compared
//     without regard to case; spaces around `=`, around brackets and after
//     commas are allowed; `//` starts a comment, on a line of its own or at a
//     line's end; lines end in LF or CR LF.
//   - As in an INI file, the first section of a name and the first key of a
//     name within it count; later repeats are ignored. Lines without `=`,
//     unknown keys and unknown sections are ignored, as the simulator ignores
//     them.
//   - `[Window Titles]`: `windowNN=TITLE`.
//   - `[WindowNN]`: `file=` (the background bitmap, in the panel's folder;
//     `file_1024=` when there is no `file=`), `size_mm=W[,H]`, `visible=`,
//     `ident=`, `position=`, `gaugeNN=`.
//   - `[VCockpitNN]`: `pixel_size=W,H` (the texture's size), `texture=`,
//     `file=`, `gaugeNN=`.
//   - `gaugeNN=Module!Gauge, X, Y[, W[, H]]`: without `!` the module's name
//     names the gauge too; fields after H (a gauge's parameters) are kept as
//     text. X and Y are required; every number is a decimal within
//     +-kMaxPanelCoordinate; a width or height may not be negative.
// A line that breaks these rules is refused with "SOURCE:LINE: what is wrong".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwix::host {

inline constexpr double kMaxPanelCoordinate = 100000;

struct PanelGauge {
  int line = 0;
  int number = 0;      // NN of gaugeNN
  std::string module;  // before the `!`
  std::string gauge;   // after it; the module's name when there is no `!`
  double x = 0, y = 0;
  std::optional<double> width, height;
  std::string parameters;  // the fields after H, as written
};

struct PanelWindow {
  bool virtual_cockpit = false;
  int number = 0;  // NN of WindowNN or VCockpitNN
  int line = 0;    // the section's line
  std::string title;
  std::string background;  // file name, relative to the panel's folder
  std::optional<double> size_mm_width, size_mm_height;
  std::optional<int> pixel_width, pixel_height;  // a virtual cockpit's texture
  std::string texture;
  bool visible = true;
  std::string ident, position;
  std::vector<PanelGauge> gauges;  // in gaugeNN order
  // "Window00", "VCockpit01".
  std::string name() const;
};

struct PanelConfig {
  std::string source;                // the file name, for messages
  std::vector<PanelWindow> windows;  // the windows in number order, then the virtual cockpits
  // The window named "N", "WindowNN" or "VCockpitNN" (any case); null when none.
  const PanelWindow* find(std::string_view which) const;
};

// The folder of a path ("." for a bare name), and a path joined to a folder
// unless it is absolute.
std::string folder_of(const std::string& path);
std::string join_path(const std::string& folder, const std::string& path);

std::optional<PanelConfig> parse_panel_config(std::string_view text, const std::string& source, std::string* error);

}  // namespace tarnwix::host
