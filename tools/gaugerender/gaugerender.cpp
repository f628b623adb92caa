// gaugerender: plays scenario files on the stand-in simulator and writes what
// the gauges draw as PNG pictures, with a log of key events and named
// variables; or draws one powered frame of every module as its preview.
//
//   gaugerender [--modules DIR] [--out DIR] [--every-frame] [--no-sheet | --last-frame]
//               [--skip-missing] [--quiet] SCENARIO.txt...
//   gaugerender --preview [--modules DIR] [--out DIR]
//   gaugerender --panel PATH/panel.cfg [--window N|all] [--modules DIR] [--out DIR]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/version.h"
#include "panel.h"
#include "render.h"
#include "scenario.h"

using namespace tarnwix::host;

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: gaugerender [--modules DIR] [--out DIR] [--every-frame] [--no-sheet | --last-frame]\n"
               "                   [--skip-missing] [--quiet] SCENARIO.txt...\n"
               "       gaugerender --preview [--modules DIR] [--out DIR]\n"
               "       gaugerender --panel PATH/panel.cfg [--window N|all] [--modules DIR] [--out DIR]\n");
  return 2;
}

// A module's preview: the panel powered (token 769 at 1) for two frames.
bool preview(const std::string& folder, const std::string& name, const std::string& out) {
  Scenario scenario;
  scenario.source = name;
  scenario.title = name + ", powered";
  scenario.modules.push_back({name});
  scenario.steps.push_back({.kind = ScenarioStep::Kind::kSet, .token = 769, .value = 1.0});
  scenario.steps.push_back({.kind = ScenarioStep::Kind::kFrames, .frames = 2});
  const RunOptions options{.modules_folder = folder,
                           .output_folder = out,
                           .output_name = name,
                           .last_frame = true,
                           .write_log = false,
                           .progress = false};
  const RunResult result = run_scenario(scenario, options);
  if (!result.ok) {
    std::fprintf(stderr, "gaugerender: %s\n", result.message.c_str());
    return false;
  }
  std::printf("  %s/%s.png\n", out.c_str(), name.c_str());
  return true;
}

// Every window of a panel.cfg that `which` names ("all", "N", "WindowNN",
// "VCockpitNN"), powered for two frames, one picture each; the gauges that
// are not drawn are listed. The file is read whole before anything is drawn.
int draw_panel(const std::string& path, const std::string& which, RunOptions options) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "gaugerender: cannot read %s\n", path.c_str());
    return 1;
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::string error;
  const std::optional<PanelConfig> config = parse_panel_config(text.str(), path, &error);
  if (!config) {
    std::fprintf(stderr, "gaugerender: %s\n", error.c_str());
    return 1;
  }
  std::vector<const PanelWindow*> windows;
  for (const PanelWindow& window : config->windows)
    if (which == "all" || config->find(which) == &window) windows.push_back(&window);
  if (windows.empty()) {
    std::fprintf(stderr, "gaugerender: %s has no window %s\n", path.c_str(), which.c_str());
    return 1;
  }
  CreateDirectoryA(options.output_folder.c_str(), nullptr);
  options.last_frame = true;
  options.write_log = false;
  options.progress = false;
  int status = 0;
  for (const PanelWindow* window : windows) {
    Scenario scenario;
    scenario.source = path;
    scenario.title = window->title;
    scenario.panel = path;
    scenario.panel_window = window->name();
    scenario.steps.push_back({.kind = ScenarioStep::Kind::kSet, .token = 769, .value = 1.0});
    scenario.steps.push_back({.kind = ScenarioStep::Kind::kFrames, .frames = 2});
    options.output_name = window_file_stem(*window);
    const RunResult result = run_scenario(scenario, options);
    if (!result.ok) {
      std::fprintf(stderr, "gaugerender: %s\n", result.message.c_str());
      status = 1;
      continue;
    }
    for (const std::string& written : result.written) std::printf("  %s\n", written.c_str());
    for (const std::string& line : result.not_drawn) std::printf("  not drawn: %s\n", line.c_str());
    for (const std::string& line : result.log)
      if (line.rfind("FAULT", 0) == 0 || line.rfind("PROBLEM", 0) == 0) {
        std::fprintf(stderr, "gaugerender: %s: %s\n", path.c_str(), line.c_str());
        status = 1;
      }
  }
  return status;
}

// Without --modules: the Gauges folder beside the program, else the
// program's own folder, so that an unpacked release runs as it is.
std::string default_modules_folder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = length > 0 && length < MAX_PATH ? std::string(path, length) : std::string(".\\x");
  folder.resize(folder.find_last_of("\\/"));
  const DWORD gauges = GetFileAttributesA((folder + "\\Gauges").c_str());
  if (gauges != INVALID_FILE_ATTRIBUTES && (gauges & FILE_ATTRIBUTE_DIRECTORY) != 0) return folder + "\\Gauges";
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (tarnwix::host::print_version_if_asked(argc, argv, "gaugerender")) return 0;
  RunOptions options{.modules_folder = default_modules_folder(), .output_folder = "."};
  bool previews = false;
  std::string panel, window = "all";
  std::vector<std::string> scenarios;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    auto argument = [&](std::string* into) {
      if (i + 1 >= argc) return false;
      *into = argv[++i];
      return true;
    };
    if (option == "--modules") {
      if (!argument(&options.modules_folder)) return usage();
    } else if (option == "--out") {
      if (!argument(&options.output_folder)) return usage();
    } else if (option == "--every-frame") {
      options.every_frame = true;
    } else if (option == "--no-sheet") {
      options.sheet = false;
    } else if (option == "--last-frame") {
      options.last_frame = true;
    } else if (option == "--skip-missing") {
      options.skip_missing = true;
    } else if (option == "--quiet") {
      options.progress = false;
    } else if (option == "--panel") {
      if (!argument(&panel)) return usage();
    } else if (option == "--window") {
      if (!argument(&window)) return usage();
    } else if (option == "--preview") {
      previews = true;
    } else if (!option.empty() && option[0] == '-') {
      return usage();
    } else {
      scenarios.push_back(option);
    }
  }
  if ((previews ? 1 : 0) + (scenarios.empty() ? 0 : 1) + (panel.empty() ? 0 : 1) != 1) return usage();
  if (!panel.empty()) return draw_panel(panel, window, options);
  CreateDirectoryA(options.output_folder.c_str(), nullptr);

  if (previews) {
    const std::vector<std::string> names = module_names_in(options.modules_folder);
    if (names.empty()) {
      std::fprintf(stderr, "gaugerender: no modules in %s\n", options.modules_folder.c_str());
      return 1;
    }
    int status = 0;
    for (const std::string& name : names)
      if (!preview(options.modules_folder, name, options.output_folder)) status = 1;
    return status;
  }

  // Every file is read and checked before the first one runs.
  std::vector<Scenario> parsed;
  for (const std::string& path : scenarios) {
    std::string error;
    std::optional<Scenario> scenario = read_scenario(path, &error);
    if (!scenario) {
      std::fprintf(stderr, "gaugerender: %s\n", error.c_str());
      return 1;
    }
    parsed.push_back(std::move(*scenario));
  }
  int status = 0;
  for (const Scenario& scenario : parsed) {
    const RunResult result = run_scenario(scenario, options);
    if (result.skipped) {
      std::printf("gaugerender: %s\n", result.message.c_str());
    } else if (!result.ok) {
      std::fprintf(stderr, "gaugerender: %s\n", result.message.c_str());
      status = 1;
    } else {
      for (const std::string& file : result.written)
        if (file.size() > 4 && file.compare(file.size() - 4, 4, ".png") == 0 && !options.every_frame)
          std::printf("  %s\n", file.c_str());
      for (const std::string& line : result.log)
        if (line.rfind("FAULT", 0) == 0 || line.rfind("PROBLEM", 0) == 0) {
          std::fprintf(stderr, "gaugerender: %s: %s\n", scenario.source.c_str(), line.c_str());
          status = 1;
        }
    }
  }
  return status;
}
