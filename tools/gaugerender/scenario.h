// Playing scenario files (scenario_reader.h reads them) on the stand-in
// simulator, rendered frame by frame.
#pragma once

#include <string>
#include <vector>

#include "scenario_reader.h"

namespace tarnwix::host {

struct RunOptions {
  std::string modules_folder;  // where NAME.gau are
  std::string output_folder;   // where the pictures and the log go (must exist)
  std::string output_name;     // file names' stem; empty: the scenario file's
  bool every_frame = false;    // also STEM-NNNNN.png for every frame
  bool sheet = true;           // STEM.png: the contact sheet of the tiles
  bool last_frame = false;     // STEM.png: the last frame alone, no sheet
  bool write_log = true;       // STEM.log
  bool skip_missing = false;   // a module missing from the folder skips the run
  bool progress = true;        // frame counts on stderr for long runs
};

struct RunResult {
  bool ok = false;
  bool skipped = false;                // skip_missing and a module was missing
  std::string message;                 // the fault, or why it was skipped
  std::vector<std::string> written;    // files written
  std::vector<std::string> log;        // the log's lines, also written to STEM.log
  std::vector<std::string> not_drawn;  // with a panel: what is outlined or missing, one line each
};

// Loads the modules (with a panel line: reads the panel.cfg and loads the
// modules of its window that are ours), checks what needs them (clicks,
// named variables), and only then plays the scenario; a fault found before
// the first frame writes nothing, and a run that fails later removes what it
// wrote. With a panel line every drawn gauge line is a placement of its own,
// as in the simulator: a module the window places twice is one load with one
// state, each placement updated in turn and drawn from its own frame.
RunResult run_scenario(const Scenario& scenario, const RunOptions& options);

// The panel.cfg a scenario's panel line names: beside the scenario, else (a
// relative path) in MODULES_FOLDER, where the build assembles the example
// panel. Empty when neither can be read, with the reason in *error.
std::string scenario_panel_path(const Scenario& scenario, const std::string& modules_folder, std::string* error);

}  // namespace tarnwix::host
