// What a built module shows the stand-in simulator: its size, the variables it
// looks up and in which order, the named variables it registers, its tooltips,
// its click areas with what a click on each does, and its pictures. Every
// figure here is observed by loading and driving the module, never typed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"

namespace tarnwix::guide {

// Settings under which a module acts on its own at every update (for the
// button strips: brake help's conditions), so that a click that arms such a
// behaviour shows the key events it leads to.
struct VariableSetting {
  uint32_t token;
  double value;
};

// What one click did, with the power variable at one value.
struct ClickEffect {
  std::vector<host::KeyEvent> on_click;    // sent by the area's handler
  std::vector<host::KeyEvent> on_update;   // sent by the next update, with the active settings
  std::vector<host::KeyEvent> on_release;  // sent by the update after the settings end
  struct NamedChange {
    std::string name;
    uint32_t before, after;
    friend bool operator==(const NamedChange&, const NamedChange&) = default;
  };
  std::vector<NamedChange> named;  // named variables the click changed
  // Elements (chain index) whose state after the next update differs from
  // that of the same run without the click.
  std::vector<int> elements_changed;
  friend bool operator==(const ClickEffect&, const ClickEffect&) = default;
};

struct AreaReference {
  int record = 0;  // index in the mouse rectangle list
  int x = 0, y = 0, width = 0, height = 0, cursor = 0;
  ClickEffect powered, unpowered;
};

struct ElementReference {
  int index = 0;
  host::ElementKind kind = host::ElementKind::kStaticImage;
  int resource_id = 0;
  int x = 0, y = 0;
  std::string font_face;  // a string element's
};

struct BitmapReference {
  int id = 0, width = 0, height = 0, bits_per_pixel = 0;
};

struct ModuleReference {
  std::string module;                        // file name without .gau
  std::string gauge_name;                    // as the gauge header names it
  std::string version;                       // the version resource's FileVersion
  int width = 0, height = 0;                 // the root element's picture
  std::vector<uint32_t> lookups;             // tokens of one update, in call order
  std::vector<std::string> named_variables;  // registered at install, in order
  std::vector<std::string> tooltips;
  std::vector<AreaReference> areas;
  std::vector<host::KeyEvent> unprompted;  // sent by an update without any click
  std::vector<ElementReference> elements;  // chain order
  std::vector<BitmapReference> bitmaps;    // id order
};

// Loads MODULE_PATH and observes it with `active` as its active settings. On
// failure (no module, no gauge, a record the host cannot read, an area whose
// centre another area covers) returns nothing and says why in *error.
std::optional<ModuleReference> observe(const std::string& module_path, const std::vector<VariableSetting>& active,
                                       std::string* error);

}  // namespace tarnwix::guide
