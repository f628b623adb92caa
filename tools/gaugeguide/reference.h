// What a built module shows the stand-in simulator: its size, the variables it
// looks up and in which order, the named variables it registers, its tooltips,
// its text windows, what it shows with and without power, its click areas with
// what clicks on each do over the updates that follow, and its pictures. Every
// figure here is observed by loading and driving the module, never typed.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "host/meanings.h"

namespace tarnwix::guide {

// How an element looks after an update: not drawn, an icon whose picture is
// pure black (transparent: nothing of it shows), any other picture or text.
enum class Look { kHidden, kDark, kLit };

// An element that looks otherwise than in the same run without the clicks.
struct ElementChange {
  int element = 0;  // chain index
  Look look = Look::kHidden, without = Look::kHidden;
  friend bool operator==(const ElementChange&, const ElementChange&) = default;
};

// A value that a click changed: a named variable (by the gauge) or a
// simulation variable (by the simulator's answer to the key event it sent).
struct ValueChange {
  std::string name;    // a named variable's name; empty for a simulation variable
  uint32_t token = 0;  // a simulation variable's token
  double before = 0, after = 0;
  friend bool operator==(const ValueChange&, const ValueChange&) = default;
};

struct ClickSeen {
  int record = -1;  // the mouse rectangle reached, -1 for none
  std::vector<host::KeyEvent> sent;
  std::vector<ValueChange> named;     // named variables the handler changed
  std::vector<ValueChange> answered;  // simulation variables the simulator's answer changed
};

struct UpdateSeen {
  std::vector<host::KeyEvent> sent;
  std::vector<ElementChange> changed;
};

// One scripted run after the gauge settled: its clicks and, for every update
// after the first click, what it sent and what looked otherwise than in the
// same script without the clicks.
struct Trial {
  std::vector<ClickSeen> clicks;
  std::vector<UpdateSeen> updates;
  std::vector<int> click_before;              // for each click, the index of the first update after it
  int power_returns = -1;                     // index of the first powered update, in a trial that powers the panel
  int settings_end = -1;                      // index of the first update after the active settings are taken away
  std::map<std::string, double> named_after;  // the named variables after the last update
};

// A click's effect on one value, seen from each of several starting values.
struct ToggleSeen {
  ValueChange from_zero, from_one, from_other;
};

struct AreaReference {
  int record = 0;  // index in the mouse rectangle list
  int x = 0, y = 0, width = 0, height = 0, cursor = 0;
  Trial once, once_unpowered;        // one click, with the power variable at 1 and at 0
  Trial once_unanswered;             // one click, powered, with a simulator that does not answer key events
  Trial twice, twice_unpowered;      // a click, an update, a second click
  Trial power_returns;               // a click without power, two updates, then power
  Trial during;                      // a second click a few updates after the first, powered
  Trial active, active_unpowered;    // a click under the active settings, then the settings end
  Trial disarmed;                    // under the active settings: a click, two updates, a second click
  std::vector<ToggleSeen> named;     // per named variable a click changes
  std::vector<ToggleSeen> answered;  // per simulation variable the simulator's answer changes
};

// A click on this module where a sibling module has an area it lacks.
struct MissingAreaReference {
  std::string sibling;  // the module that has the area there
  int x = 0, y = 0;     // the sibling area's top-left corner, which names it
  Trial once;           // powered
};

struct ElementReference {
  int index = 0;
  host::ElementKind kind = host::ElementKind::kStaticImage;
  int resource_id = 0;
  int x = 0, y = 0;
  int box_width = 0, box_height = 0;  // a string element's
  std::string font_face;              // a string element's
};

struct BitmapReference {
  int id = 0, width = 0, height = 0, bits_per_pixel = 0;
  int64_t pure_black = 0;  // pixels of exactly (0, 0, 0), which the simulator leaves transparent
  uint64_t digest = 0;     // of the pixels, to tell identical pictures of two modules
};

// The values a switch is set to: off, on, and two others (any value but 0
// and 1 is one class when both others show alike).
inline constexpr double kSwitchValues[] = {0.0, 1.0, 0.5, 2.0};
// A value another gauge may write into a named variable, or a variable may
// hold, other than 0 and 1.
inline constexpr uint32_t kOtherValue = 5;

struct ModuleReference {
  std::string module;                        // file name without .gau
  std::string gauge_name;                    // as the gauge header names it
  std::string version;                       // the version resource's FileVersion
  int width = 0, height = 0;                 // the root element's picture
  std::vector<uint32_t> lookups;             // tokens of one update, in call order
  std::vector<std::string> named_variables;  // registered at install, in order
  std::vector<std::string> withdrawn;        // unregistered when the gauge is removed, in order
  std::vector<std::string> tooltips;
  std::vector<AreaReference> areas;
  std::vector<MissingAreaReference> missing_areas;
  std::vector<host::KeyEvent> unprompted;  // sent by an update without any click
  std::vector<ElementReference> elements;  // chain order
  std::vector<BitmapReference> bitmaps;    // id order
  // Elements that show something after an update with the power variable
  // at 1, 0 and 2.
  std::vector<int> shown_powered, shown_unpowered, shown_at_two;
  // The switch tokens, and every combination of kSwitchValues over them:
  // the elements shown with the power variable at 1 and at 2, and the
  // texts shown at 1, by element.
  std::vector<uint32_t> switch_tokens;
  struct Combination {
    std::vector<double> values;  // one per switch token
    std::vector<int> shown, shown_at_two;
    std::map<int, std::string> texts;
  };
  std::vector<Combination> combinations;
  // Powered, the switches at 1 and every other variable at 0; then each
  // variable but power and the switches at -1 and at 1 alone: the elements
  // shown, to tell when a text box shows.
  std::vector<int> shown_base;
  struct Varied {
    uint32_t token = 0;
    double value = 0;
    std::vector<int> shown;
  };
  std::vector<Varied> varied;
  // The picture indices each icon element chose in every update observed,
  // with the power variable at 1, and at other values.
  std::map<int, std::set<int>> pictures_powered, pictures_unpowered;
  // Each named variable: its type code; whether the first draw set it back
  // to 0 and later updates kept what was written; the elements that follow
  // it when another gauge writes 0 and 1, and the picture index the first of
  // them chose at kOtherValue.
  struct NamedSeen {
    std::string name;
    uint32_t type = 0;
    bool reset_at_first_draw = false, kept_after = false;
    std::vector<int> followers;
    int index_at_other = -1;
  };
  std::vector<NamedSeen> named_seen;
  // Two placements of the module on one load, each updated in turn: per
  // area, a click on the first; what looked otherwise in each placement
  // than without the click; under the active settings, what each
  // placement's update sent; and the named variables left once the first
  // placement is removed.
  struct TwiceArea {
    int record = 0;
    std::vector<int> both;                   // elements changed in both placements
    std::map<int, std::pair<int, int>> lit;  // a passing change: updates of each placement it lasted
    std::map<int, Look> look;                // the changed look of each element
    std::vector<host::KeyEvent> first_sent, second_sent;
  };
  std::vector<TwiceArea> twice;
  std::vector<std::string> named_left;  // after the first placement was removed
  bool observed_twice = false;
  // Without GaugeSound: the loads of it that one update tries.
  int sound_loads_per_update = 0;
};

// Loads MODULE_PATH and observes it with `active` as its active settings and
// `switches` as the tokens to try at 1 and 0. On failure (no module, no gauge,
// a record the host cannot read, an area whose centre another area covers)
// returns nothing and says why in *error.
std::optional<ModuleReference> observe(const std::string& module_path, const std::vector<host::VariableSetting>& active,
                                       const std::vector<uint32_t>& switches, std::string* error);

// Clicks MODULE at the centres of the areas SIBLING has where MODULE has none
// (the virtual cockpit's strip at the 2D strip's areas).
void observe_missing_areas(const std::string& module_path, ModuleReference& module, const ModuleReference& sibling);

// Two modules loaded together, each armed alone and then both, under the
// active settings: the key events each sends on one update.
struct SharedSeen {
  std::vector<host::KeyEvent> first_alone, second_alone;  // the other loaded, not armed
  std::vector<host::KeyEvent> both;                       // both armed: all sent on one update
};
std::optional<SharedSeen> observe_together(const std::string& first_path, const AreaReference& first_area,
                                           const std::string& second_path, const AreaReference& second_area,
                                           const std::vector<host::VariableSetting>& active, std::string* error);

}  // namespace tarnwix::guide
