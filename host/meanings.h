// What each token, key event, named variable, click area and picture means
// to the gauge that uses it: the one hand-written table that the guide's
// reference and the viewer's inputs and log both take their words from.
// Everything else in the reference is observed from the built modules; the
// guide refuses a token, key event, named variable or area that this table
// does not name, so the two cannot drift apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwix::host {

// Settings under which a module acts on its own at every update (for the
// button strips: brake help's conditions), so that a click that arms such a
// behaviour shows the key events it leads to.
struct VariableSetting {
  uint32_t token;
  double value;
};

struct TokenMeaning {
  const char* module;
  uint32_t token;
  const char* meaning;  // what the gauge takes the value for
};

// A simulation variable as a person sets it: what it is, its unit and the
// range a slider offers (a typed value may lie outside it). The same token
// means the same to every gauge that reads it.
struct VariableMeaning {
  uint32_t token;
  const char* name;
  const char* unit;  // empty for a switch or a plain number
  double low, high;
  bool is_switch;  // 1 on, 0 off
};

struct KeyEventMeaning {
  uint32_t id;
  const char* meaning;
};

struct NamedMeaning {
  const char* name;
  const char* meaning;
};

struct AreaMeaning {
  const char* module;
  int x, y;  // the area's top-left corner identifies it
  const char* name;
  // For an area that toggles a state of the gauge's own: that state, and
  // what the legend that lights with it tells.
  const char* state = nullptr;
  const char* lit_means = nullptr;
};

// A text element's window, by the element's position.
struct WindowMeaning {
  const char* module;
  int x, y;
  const char* name;
};

struct PictureMeaning {
  const char* module;
  int id;  // an element's resource id
  const char* name;
};

struct ModuleMeaning {
  const char* module;
  const char* summary;  // one line: what the gauge is
  // Settings under which the gauge acts on its own at every update, and
  // those conditions in words; empty when it never does.
  std::vector<VariableSetting> active;
  const char* active_conditions;
  // Variables that switch displays on at 1 and off at 0.
  std::vector<uint32_t> switches = {};
  // The module whose areas this one's panel picture shares, for a strip
  // that lacks some of them.
  const char* sibling = nullptr;
};

struct Meanings {
  std::vector<ModuleMeaning> modules;
  std::vector<TokenMeaning> tokens;
  std::vector<VariableMeaning> variables;
  std::vector<KeyEventMeaning> key_events;
  std::vector<NamedMeaning> named;
  std::vector<AreaMeaning> areas;
  std::vector<PictureMeaning> pictures;
  std::vector<WindowMeaning> windows;

  const ModuleMeaning* module(const std::string& name) const;
  const char* token(const std::string& module, uint32_t token) const;
  const VariableMeaning* variable(uint32_t token) const;
  const char* key_event(uint32_t id) const;
  const char* named_variable(const std::string& name) const;
  const AreaMeaning* area(const std::string& module, int x, int y) const;
  const char* window(const std::string& module, int x, int y) const;
  const char* picture(const std::string& module, int id) const;
};

// The Tarnwix gauges' meanings.
const Meanings& tarnwix_meanings();

}  // namespace tarnwix::host
