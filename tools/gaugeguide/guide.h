// The panel builders' guide and the sample panel.cfg, written from what the
// built modules showed the stand-in simulator and the meanings table.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/meanings.h"
#include "reference.h"

namespace tarnwix::guide {

// Where a gauge sits on the sample panel (the panel of `module all`).
struct Placement {
  std::string module;
  int x = 0, y = 0;
};

// The places of the shipped panel, in its order.
std::vector<Placement> sample_panel();

// Everything the guide is written from: each module on its own, a strip's
// clicks where its sibling has areas it lacks, and the two button strips
// loaded together.
struct Observed {
  std::vector<ModuleReference> modules;
  std::optional<SharedSeen> strips;  // the strip and its sibling, each armed alone and both
  std::string strip, sibling;        // their names
};

// Observes the modules at PATHS (NAME.gau each) with the meanings' settings.
// Fails, saying which module and why, when one does not load or cannot be
// observed.
std::optional<Observed> observe_modules(const std::vector<std::string>& paths, const host::Meanings& meanings,
                                        std::string* error);

// The guide as plain text with "\n" line ends, no line over 78 columns.
// Fails, saying what is missing, when the modules use a token, key event,
// named variable, area or text window the meanings do not name, or when a
// module the guide needs is absent.
std::optional<std::string> write_guide(const Observed& observed, const host::Meanings& meanings,
                                       const std::string& version, std::string* error);

// The sample panel.cfg: the 2D gauges on one window as the sample panel
// places them, and the virtual-cockpit strip on a section of its own.
std::optional<std::string> write_panel_cfg(const std::vector<ModuleReference>& modules, const std::string& version,
                                           std::string* error);

// "\n" to "\r\n", for Notepad.
std::string windows_lines(const std::string& text);

}  // namespace tarnwix::guide
