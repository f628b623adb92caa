#include "reference.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <set>

#include "host/records.h"

namespace tarnwix::guide {

using host::FrameSnapshot;
using host::KeyEvent;
using host::Module;
using host::Panel;

namespace {

// Updates followed after the last click of a trial: enough to see a light
// of ten updates end.
constexpr int kFollowed = 14;
// The second click of the trial `during` comes this many updates after the first.
constexpr int kDuring = 4;

// The version resource's FileVersion text, or empty.
std::string file_version(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
  char* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\FileVersion", reinterpret_cast<void**>(&text),
                      &length) ||
      text == nullptr || length == 0)
    return {};
  return std::string(text, strnlen(text, length));
}

bool same_value(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Two states of an element look the same: both hidden, or the same values.
bool same_state(const host::ElementSnapshot& a, const host::ElementSnapshot& b) {
  if (a.hidden && b.hidden) return true;
  if (a.hidden != b.hidden || a.text != b.text || a.values.size() != b.values.size()) return false;
  for (size_t i = 0; i < a.values.size(); ++i)
    if (!same_value(a.values[i], b.values[i])) return false;
  return true;
}

std::vector<KeyEvent> take_key_events() {
  std::vector<KeyEvent> events = Panel::instance().key_events();
  Panel::instance().clear_key_events();
  return events;
}

std::map<std::string, uint32_t> named_values() {
  std::map<std::string, uint32_t> values;
  for (const auto& [name, variable] : Panel::instance().named_variables())
    values[name] = Panel::instance().read_named(name).value_or(0);
  return values;
}

void unload_gauge(std::unique_ptr<Module> module) {
  module->kill();
  module->call_module_deinit();
}

// The pictures that are pure black throughout, by resource id.
using BlankPictures = std::map<int, bool>;

Look look_of(const host::ElementSnapshot& element, const BlankPictures& blank) {
  if (element.hidden) return Look::kHidden;
  if (element.kind != host::ElementKind::kIcon) return Look::kLit;
  const auto found = blank.find(element.resource_id + element.image_index());
  return found != blank.end() && found->second ? Look::kDark : Look::kLit;
}

struct Step {
  enum class Kind { kClick, kUpdates, kPower, kSettingsEnd } kind;
  int count = 1;  // updates
};

// What a trial starts from and how it is driven.
struct Setup {
  std::string path;
  double power = 1.0;
  bool settings = false;  // the active settings in place from the start
  bool answers = true;    // the simulator answers key events
  std::pair<int, int> point;
  const std::vector<host::VariableSetting>* active = nullptr;
  const std::vector<uint32_t>* tokens = nullptr;  // the module's, for the simulator's answers
  const BlankPictures* blank = nullptr;
  ModuleReference* seen = nullptr;  // where the pictures chosen are noted
};

// Notes the picture each drawn icon chose, by whether the panel is powered.
void note_pictures(ModuleReference* reference, const FrameSnapshot& frame) {
  if (reference == nullptr) return;
  const double power = Panel::instance().variable(769);
  auto& into = power >= 1.0 && power < 2.0 ? reference->pictures_powered : reference->pictures_unpowered;
  for (const host::ElementSnapshot& element : frame.elements)
    if (element.kind == host::ElementKind::kIcon && !element.hidden) into[element.index].insert(element.image_index());
}

// A fresh load of the module, installed and settled for two updates.
std::unique_ptr<Module> settled(const Setup& setup, std::string* error) {
  Panel& panel = Panel::instance();
  panel.reset();
  panel.set_answers_key_events(setup.answers);
  auto module = Module::load(setup.path, error);
  if (!module) return nullptr;
  module->call_module_init();
  module->install();
  panel.set_variable(769, setup.power);
  if (setup.settings)
    for (const host::VariableSetting& setting : *setup.active) panel.set_variable(setting.token, setting.value);
  module->frame();
  module->frame();
  panel.clear_key_events();
  return module;
}

struct Played {
  std::vector<ClickSeen> clicks;
  std::vector<FrameSnapshot> frames;  // the updates after the first click
  std::vector<int> click_before;
  int power_returns = -1, settings_end = -1;
  std::map<std::string, uint32_t> named_after;
};

std::optional<Played> play_once(const Setup& setup, const std::vector<Step>& script, bool click, std::string* error) {
  auto module = settled(setup, error);
  if (!module) return std::nullopt;
  Panel& panel = Panel::instance();
  Played played;
  for (const Step& step : script) {
    switch (step.kind) {
      case Step::Kind::kClick: {
        played.click_before.push_back(static_cast<int>(played.frames.size()));
        if (!click) break;
        ClickSeen seen;
        const auto named_before = named_values();
        std::vector<double> before;
        for (uint32_t token : *setup.tokens) before.push_back(panel.variable(token));
        seen.record = module->click(setup.point.first, setup.point.second);
        seen.sent = take_key_events();
        for (const auto& [name, value] : named_values()) {
          const auto was = named_before.find(name);
          const uint32_t earlier = was != named_before.end() ? was->second : 0;
          if (earlier != value)
            seen.named.push_back({name, 0, static_cast<double>(earlier), static_cast<double>(value)});
        }
        for (size_t i = 0; i < setup.tokens->size(); ++i) {
          const double after = panel.variable((*setup.tokens)[i]);
          if (!same_value(before[i], after)) seen.answered.push_back({"", (*setup.tokens)[i], before[i], after});
        }
        played.clicks.push_back(std::move(seen));
        break;
      }
      case Step::Kind::kUpdates:
        for (int i = 0; i < step.count; ++i) {
          played.frames.push_back(module->frame());
          if (click) note_pictures(setup.seen, played.frames.back());
          panel.clear_key_events();
        }
        break;
      case Step::Kind::kPower:
        panel.set_variable(769, 1.0);
        played.power_returns = static_cast<int>(played.frames.size());
        break;
      case Step::Kind::kSettingsEnd:
        for (const host::VariableSetting& setting : *setup.active) panel.set_variable(setting.token, 0);
        played.settings_end = static_cast<int>(played.frames.size());
        break;
    }
  }
  played.named_after = named_values();
  unload_gauge(std::move(module));
  panel.set_answers_key_events(true);
  return played;
}

// The script played with its clicks and without them; each update of the
// first set beside the same update of the second.
std::optional<Trial> play(const Setup& setup, const std::vector<Step>& script, std::string* error) {
  const std::optional<Played> clicked = play_once(setup, script, true, error);
  if (!clicked) return std::nullopt;
  const std::optional<Played> plain = play_once(setup, script, false, error);
  if (!plain) return std::nullopt;
  Trial trial;
  trial.clicks = clicked->clicks;
  trial.click_before = clicked->click_before;
  trial.power_returns = clicked->power_returns;
  trial.settings_end = clicked->settings_end;
  for (const auto& [name, value] : clicked->named_after) trial.named_after[name] = value;
  for (size_t u = 0; u < clicked->frames.size(); ++u) {
    const FrameSnapshot& with = clicked->frames[u];
    const FrameSnapshot& without = plain->frames[u];
    if (with.elements.size() != without.elements.size()) {
      *error = "the element chain changed its length after a click";
      return std::nullopt;
    }
    UpdateSeen seen{with.key_events, {}};
    for (size_t i = 0; i < with.elements.size(); ++i)
      if (!same_state(with.elements[i], without.elements[i]))
        seen.changed.push_back(
            {static_cast<int>(i), look_of(with.elements[i], *setup.blank), look_of(without.elements[i], *setup.blank)});
    trial.updates.push_back(std::move(seen));
  }
  return trial;
}

using Kind = Step::Kind;

// One click from each starting value of VALUE (named, or a simulation variable).
std::optional<ToggleSeen> toggle(const Setup& setup, const ValueChange& value, std::string* error) {
  ToggleSeen seen;
  for (const uint32_t from : {0u, 1u, kOtherValue}) {
    auto module = settled(setup, error);
    if (!module) return std::nullopt;
    Panel& panel = Panel::instance();
    if (value.name.empty())
      panel.set_variable(value.token, from);
    else
      panel.write_named(value.name, from);
    module->click(setup.point.first, setup.point.second);
    const double after = value.name.empty() ? panel.variable(value.token)
                                            : static_cast<double>(panel.read_named(value.name).value_or(0));
    ValueChange change{value.name, value.token, static_cast<double>(from), after};
    (from == 0 ? seen.from_zero : from == 1 ? seen.from_one : seen.from_other) = change;
    unload_gauge(std::move(module));
    panel.set_answers_key_events(true);
  }
  return seen;
}

std::optional<AreaReference> observe_area(Setup setup, const host::MouseRectView& rect, int record,
                                          std::string* error) {
  AreaReference area{record, rect.x, rect.y, rect.width, rect.height, rect.cursor, {}, {}, {},
                     {},     {},     {},     {},         {},          {},          {}, {}, {}};
  setup.point = {rect.x + rect.width / 2, rect.y + rect.height / 2};
  const std::vector<Step> once{{Kind::kClick}, {Kind::kUpdates, kFollowed}};
  const std::vector<Step> twice{{Kind::kClick}, {Kind::kUpdates, 1}, {Kind::kClick}, {Kind::kUpdates, kFollowed}};
  struct Planned {
    Trial* into;
    double power;
    bool settings, answers;
    std::vector<Step> script;
  };
  const std::vector<Planned> plan = {
      {&area.once, 1.0, false, true, once},
      {&area.once_unpowered, 0.0, false, true, once},
      {&area.once_unanswered, 1.0, false, false, once},
      {&area.twice, 1.0, false, true, twice},
      {&area.twice_unpowered, 0.0, false, true, twice},
      {&area.power_returns,
       0.0,
       false,
       true,
       {{Kind::kClick}, {Kind::kUpdates, 2}, {Kind::kPower}, {Kind::kUpdates, kFollowed}}},
      {&area.during,
       1.0,
       false,
       true,
       {{Kind::kClick}, {Kind::kUpdates, kDuring}, {Kind::kClick}, {Kind::kUpdates, kFollowed}}},
      {&area.active, 1.0, true, true, {{Kind::kClick}, {Kind::kUpdates, 3}, {Kind::kSettingsEnd}, {Kind::kUpdates, 2}}},
      {&area.active_unpowered,
       0.0,
       true,
       true,
       {{Kind::kClick}, {Kind::kUpdates, 3}, {Kind::kSettingsEnd}, {Kind::kUpdates, 2}}},
      {&area.disarmed, 1.0, true, true, {{Kind::kClick}, {Kind::kUpdates, 2}, {Kind::kClick}, {Kind::kUpdates, 2}}},
  };
  for (const Planned& planned : plan) {
    Setup trial_setup = setup;
    trial_setup.power = planned.power;
    trial_setup.settings = planned.settings;
    trial_setup.answers = planned.answers;
    std::optional<Trial> trial = play(trial_setup, planned.script, error);
    if (!trial) return std::nullopt;
    *planned.into = std::move(*trial);
  }
  if (area.once.clicks.empty() || area.once.clicks.front().record != record) {
    *error = "area " + std::to_string(record) + " is not reached by a click at its centre (" +
             std::to_string(setup.point.first) + ", " + std::to_string(setup.point.second) + ")";
    return std::nullopt;
  }
  const ClickSeen& first = area.once.clicks.front();
  for (const auto& [changes, into] : {std::pair{&first.named, &area.named}, std::pair{&first.answered, &area.answered}})
    for (const ValueChange& change : *changes) {
      std::optional<ToggleSeen> seen = toggle(setup, change, error);
      if (!seen) return std::nullopt;
      into->push_back(*seen);
    }
  return area;
}

uint64_t digest(const host::Bitmap& bitmap) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (uint8_t byte : bitmap.rgb) hash = (hash ^ byte) * 1099511628211ull;
  return hash;
}

// The elements that show something: drawn, and not a pure black picture.
std::vector<int> shown(const FrameSnapshot& frame, const BlankPictures& blank) {
  std::vector<int> indices;
  for (const host::ElementSnapshot& element : frame.elements)
    if (look_of(element, blank) == Look::kLit) indices.push_back(element.index);
  return indices;
}

// The module's state after two updates with these variables, the sound
// library absent; the pictures chosen are noted in SEEN.
std::optional<FrameSnapshot> settled_frame(const std::string& path, const std::vector<host::VariableSetting>& variables,
                                           ModuleReference* seen, std::string* error) {
  Panel& panel = Panel::instance();
  panel.reset();
  auto module = Module::load(path, error);
  if (!module) return std::nullopt;
  module->call_module_init();
  module->install();
  for (const host::VariableSetting& setting : variables) panel.set_variable(setting.token, setting.value);
  module->frame();
  FrameSnapshot frame = module->frame();
  note_pictures(seen, frame);
  unload_gauge(std::move(module));
  return frame;
}

// Every combination of kSwitchValues over the switches, powered and at 2.
bool observe_switches(const std::string& path, ModuleReference& reference, const BlankPictures& blank,
                      std::string* error) {
  const size_t count = reference.switch_tokens.size();
  if (count == 0) return true;
  constexpr size_t kValues = std::size(kSwitchValues);
  size_t combinations = 1;
  for (size_t i = 0; i < count; ++i) combinations *= kValues;
  for (size_t c = 0; c < combinations; ++c) {
    ModuleReference::Combination combination;
    std::vector<host::VariableSetting> settings{{769, 1.0}};
    for (size_t i = 0, rest = c; i < count; ++i, rest /= kValues) {
      combination.values.push_back(kSwitchValues[rest % kValues]);
      settings.push_back({reference.switch_tokens[i], combination.values.back()});
    }
    const std::optional<FrameSnapshot> powered = settled_frame(path, settings, &reference, error);
    if (!powered) return false;
    combination.shown = shown(*powered, blank);
    for (const host::ElementSnapshot& element : powered->elements)
      if (element.kind == host::ElementKind::kString && !element.hidden)
        combination.texts[element.index] = element.text;
    settings.front().value = 2.0;
    const std::optional<FrameSnapshot> at_two = settled_frame(path, settings, &reference, error);
    if (!at_two) return false;
    combination.shown_at_two = shown(*at_two, blank);
    reference.combinations.push_back(std::move(combination));
  }
  return true;
}

// Powered with the switches on, and each other variable at -1 and at 1.
bool observe_varied(const std::string& path, ModuleReference& reference, const BlankPictures& blank,
                    std::string* error) {
  std::vector<host::VariableSetting> base{{769, 1.0}};
  for (uint32_t token : reference.switch_tokens) base.push_back({token, 1.0});
  const std::optional<FrameSnapshot> frame = settled_frame(path, base, &reference, error);
  if (!frame) return false;
  reference.shown_base = shown(*frame, blank);
  std::set<uint32_t> done(reference.switch_tokens.begin(), reference.switch_tokens.end());
  done.insert(769);
  for (uint32_t token : reference.lookups) {
    if (!done.insert(token).second) continue;
    for (const double value : {-1.0, 1.0}) {
      std::vector<host::VariableSetting> settings = base;
      settings.push_back({token, value});
      const std::optional<FrameSnapshot> varied = settled_frame(path, settings, &reference, error);
      if (!varied) return false;
      reference.varied.push_back({token, value, shown(*varied, blank)});
    }
  }
  return true;
}

// Each named variable as another gauge of the panel sees and writes it.
bool observe_named(const std::string& path, ModuleReference& reference, std::string* error) {
  Panel& panel = Panel::instance();
  for (const std::string& name : reference.named_variables) {
    panel.reset();
    auto module = Module::load(path, error);
    if (!module) return false;
    module->call_module_init();
    module->install();
    ModuleReference::NamedSeen seen;
    seen.name = name;
    const auto registered = panel.named_variables().find(name);
    if (registered != panel.named_variables().end()) seen.type = registered->second.type;
    panel.set_variable(769, 1.0);
    panel.write_named(name, kOtherValue);
    module->frame();
    seen.reset_at_first_draw = panel.read_named(name) == 0u;
    panel.write_named(name, kOtherValue);
    module->frame();
    seen.kept_after = panel.read_named(name) == kOtherValue;
    panel.write_named(name, 0);
    const FrameSnapshot off = module->frame();
    panel.write_named(name, 1);
    const FrameSnapshot on = module->frame();
    for (size_t i = 0; i < on.elements.size() && i < off.elements.size(); ++i)
      if (!same_state(on.elements[i], off.elements[i])) seen.followers.push_back(static_cast<int>(i));
    panel.write_named(name, kOtherValue);
    const FrameSnapshot other = module->frame();
    if (!seen.followers.empty() && static_cast<size_t>(seen.followers.front()) < other.elements.size())
      seen.index_at_other = other.elements[static_cast<size_t>(seen.followers.front())].image_index();
    unload_gauge(std::move(module));
    reference.named_seen.push_back(std::move(seen));
  }
  return true;
}

// Two placements of the module on one load, settled, each updated in turn
// for ROUNDS after an optional click on the first.
struct TwoPlayed {
  std::vector<FrameSnapshot> first, second;
  std::vector<std::string> named_left;
};

std::optional<TwoPlayed> play_two(const Setup& setup, bool click, bool active, int rounds, std::string* error) {
  Panel& panel = Panel::instance();
  panel.reset();
  auto first = Module::load(setup.path, error);
  if (!first) return std::nullopt;
  auto second = Module::load(setup.path, error);
  if (!second) return std::nullopt;
  first->call_module_init();
  first->install();
  second->install();
  panel.set_variable(769, 1.0);
  if (active)
    for (const host::VariableSetting& setting : *setup.active) panel.set_variable(setting.token, setting.value);
  for (int i = 0; i < 2; ++i) {
    first->frame();
    second->frame();
  }
  if (click) first->click(setup.point.first, setup.point.second);
  panel.clear_key_events();
  TwoPlayed played;
  for (int r = 0; r < rounds; ++r) {
    played.first.push_back(first->frame());
    played.second.push_back(second->frame());
  }
  first->kill();
  for (const auto& [name, variable] : panel.named_variables()) played.named_left.push_back(name);
  second->kill();
  first->call_module_deinit();
  return played;
}

bool observe_twice(Setup setup, const std::vector<host::MouseRectView>& rects, ModuleReference& reference,
                   std::string* error) {
  for (size_t i = 0; i < rects.size(); ++i) {
    const host::MouseRectView& rect = rects[i];
    if (rect.kind != host::mouse_rect::kChild) continue;
    setup.point = {rect.x + rect.width / 2, rect.y + rect.height / 2};
    const std::optional<TwoPlayed> clicked = play_two(setup, true, false, kFollowed, error);
    const std::optional<TwoPlayed> plain = clicked ? play_two(setup, false, false, kFollowed, error) : std::nullopt;
    const std::optional<TwoPlayed> active = plain ? play_two(setup, true, true, 1, error) : std::nullopt;
    if (!active) return false;
    ModuleReference::TwiceArea area;
    area.record = static_cast<int>(i);
    std::map<int, std::pair<int, int>> changed;  // updates each placement looked otherwise
    std::map<int, std::pair<bool, bool>> at_end;
    for (size_t r = 0; r < clicked->first.size(); ++r)
      for (int which = 0; which < 2; ++which) {
        const FrameSnapshot& with = which == 0 ? clicked->first[r] : clicked->second[r];
        const FrameSnapshot& without = which == 0 ? plain->first[r] : plain->second[r];
        for (size_t e = 0; e < with.elements.size() && e < without.elements.size(); ++e) {
          if (same_state(with.elements[e], without.elements[e])) continue;
          const int element = static_cast<int>(e);
          (which == 0 ? changed[element].first : changed[element].second) += 1;
          area.look.emplace(element, look_of(with.elements[e], *setup.blank));
          if (r + 1 == clicked->first.size()) (which == 0 ? at_end[element].first : at_end[element].second) = true;
        }
      }
    for (const auto& [element, counts] : changed) {
      if (counts.first == 0 || counts.second == 0) continue;
      area.both.push_back(element);
      if (!at_end[element].first && !at_end[element].second) area.lit[element] = counts;
    }
    area.first_sent = active->first.front().key_events;
    area.second_sent = active->second.front().key_events;
    reference.twice.push_back(std::move(area));
    reference.named_left = clicked->named_left;
  }
  reference.observed_twice = true;
  return true;
}

}  // namespace

std::optional<ModuleReference> observe(const std::string& module_path, const std::vector<host::VariableSetting>& active,
                                       const std::vector<uint32_t>& switches, std::string* error) {
  ModuleReference reference;
  const size_t slash = module_path.find_last_of("/\\");
  reference.module = module_path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (reference.module.size() > 4 && reference.module.compare(reference.module.size() - 4, 4, ".gau") == 0)
    reference.module.resize(reference.module.size() - 4);
  reference.version = file_version(module_path);

  Panel& panel = Panel::instance();
  panel.reset();
  auto module = Module::load(module_path, error);
  if (!module) return std::nullopt;
  reference.gauge_name = module->gauge_name();
  module->call_module_init();
  module->install();
  for (const std::string& entry : panel.registration_log())
    if (entry.rfind("register ", 0) == 0) reference.named_variables.push_back(entry.substr(9));
  panel.set_variable(769, 1.0);
  panel.clear_lookups();
  module->reset_import_counts();
  const FrameSnapshot frame = module->frame();
  reference.sound_loads_per_update = module->imports().load_library;
  reference.lookups = panel.lookups();
  reference.unprompted = take_key_events();
  if (frame.elements.empty()) {
    *error = "the gauge has no elements";
    unload_gauge(std::move(module));
    return std::nullopt;
  }
  const std::vector<uint8_t*> chain = module->chain();
  for (size_t i = 0; i < frame.elements.size(); ++i) {
    const host::ElementSnapshot& element = frame.elements[i];
    ElementReference entry{static_cast<int>(i), element.kind,      element.resource_id, element.x,
                           element.y,           element.box_width, element.box_height,  {}};
    if (element.kind == host::ElementKind::kString && i < chain.size()) {
      const char* face = reinterpret_cast<const char*>(chain[i] + host::string_element::kFontFace);
      entry.font_face.assign(face, strnlen(face, 32));
    }
    reference.elements.push_back(entry);
  }
  std::vector<int> ids = module->bitmap_ids();
  std::sort(ids.begin(), ids.end());
  BlankPictures blank;
  for (int id : ids) {
    const std::optional<host::Bitmap> bitmap = module->bitmap(id);
    if (!bitmap) continue;
    int64_t black = 0;
    for (size_t p = 0; p + 2 < bitmap->rgb.size(); p += 3)
      black += bitmap->rgb[p] == 0 && bitmap->rgb[p + 1] == 0 && bitmap->rgb[p + 2] == 0;
    reference.bitmaps.push_back({id, bitmap->width, bitmap->height, bitmap->bits_per_pixel, black, digest(*bitmap)});
    blank[id] = black == static_cast<int64_t>(bitmap->width) * bitmap->height;
  }
  const std::optional<host::Bitmap> root = module->bitmap(frame.elements.front().resource_id);
  if (!root) {
    *error = "the root element's picture " + std::to_string(frame.elements.front().resource_id) + " is missing";
    unload_gauge(std::move(module));
    return std::nullopt;
  }
  reference.width = root->width;
  reference.height = root->height;
  const std::vector<host::MouseRectView> rects = module->mouse_rects();
  const size_t registrations = panel.registration_log().size();
  unload_gauge(std::move(module));
  for (size_t i = registrations; i < panel.registration_log().size(); ++i)
    if (panel.registration_log()[i].rfind("unregister ", 0) == 0)
      reference.withdrawn.push_back(panel.registration_log()[i].substr(11));

  for (const auto& [power, into] :
       {std::pair{1.0, &reference.shown_powered}, std::pair{0.0, &reference.shown_unpowered},
        std::pair{2.0, &reference.shown_at_two}}) {
    const std::optional<FrameSnapshot> seen = settled_frame(module_path, {{769, power}}, &reference, error);
    if (!seen) return std::nullopt;
    *into = shown(*seen, blank);
  }
  reference.switch_tokens = switches;
  if (!observe_switches(module_path, reference, blank, error) ||
      !observe_varied(module_path, reference, blank, error) || !observe_named(module_path, reference, error))
    return std::nullopt;

  Setup setup;
  setup.path = module_path;
  setup.active = &active;
  setup.tokens = &reference.lookups;
  setup.blank = &blank;
  setup.seen = &reference;
  if (std::any_of(rects.begin(), rects.end(),
                  [](const host::MouseRectView& r) { return r.kind == host::mouse_rect::kChild; }) &&
      !observe_twice(setup, rects, reference, error))
    return std::nullopt;
  for (size_t i = 0; i < rects.size(); ++i) {
    const host::MouseRectView& rect = rects[i];
    if (rect.kind == host::mouse_rect::kTooltip) reference.tooltips.push_back(rect.tooltip);
    if (rect.kind != host::mouse_rect::kChild) continue;
    std::optional<AreaReference> area = observe_area(setup, rect, static_cast<int>(i), error);
    if (!area) return std::nullopt;
    reference.areas.push_back(std::move(*area));
  }
  return reference;
}

void observe_missing_areas(const std::string& module_path, ModuleReference& module, const ModuleReference& sibling) {
  BlankPictures blank;
  for (const BitmapReference& bitmap : module.bitmaps)
    blank[bitmap.id] = bitmap.pure_black == static_cast<int64_t>(bitmap.width) * bitmap.height;
  const std::vector<host::VariableSetting> none;
  for (const AreaReference& theirs : sibling.areas) {
    const bool ours = std::any_of(module.areas.begin(), module.areas.end(),
                                  [&](const AreaReference& a) { return a.x == theirs.x && a.y == theirs.y; });
    if (ours) continue;
    Setup setup;
    setup.path = module_path;
    setup.active = &none;
    setup.tokens = &module.lookups;
    setup.blank = &blank;
    setup.point = {theirs.x + theirs.width / 2, theirs.y + theirs.height / 2};
    std::string ignored;
    std::optional<Trial> trial = play(setup, {{Kind::kClick}, {Kind::kUpdates, kFollowed}}, &ignored);
    if (trial) module.missing_areas.push_back({sibling.module, theirs.x, theirs.y, std::move(*trial)});
  }
}

std::optional<SharedSeen> observe_together(const std::string& first_path, const AreaReference& first_area,
                                           const std::string& second_path, const AreaReference& second_area,
                                           const std::vector<host::VariableSetting>& active, std::string* error) {
  auto run = [&](bool arm_first, bool arm_second) -> std::optional<std::vector<KeyEvent>> {
    Panel& panel = Panel::instance();
    panel.reset();
    auto first = Module::load(first_path, error);
    auto second = first ? Module::load(second_path, error) : nullptr;
    if (!first || !second) return std::nullopt;
    for (Module* module : {first.get(), second.get()}) {
      module->call_module_init();
      module->install();
    }
    panel.set_variable(769, 1.0);
    for (const host::VariableSetting& setting : active) panel.set_variable(setting.token, setting.value);
    for (int i = 0; i < 2; ++i)
      for (Module* module : {first.get(), second.get()}) module->frame();
    if (arm_first) first->click(first_area.x + first_area.width / 2, first_area.y + first_area.height / 2);
    if (arm_second) second->click(second_area.x + second_area.width / 2, second_area.y + second_area.height / 2);
    panel.clear_key_events();
    first->frame();
    second->frame();
    std::vector<KeyEvent> sent = take_key_events();
    unload_gauge(std::move(second));
    unload_gauge(std::move(first));
    return sent;
  };
  SharedSeen seen;
  for (const auto& [arm_first, arm_second, into] :
       {std::tuple{true, false, &seen.first_alone}, std::tuple{false, true, &seen.second_alone},
        std::tuple{true, true, &seen.both}}) {
    std::optional<std::vector<KeyEvent>> sent = run(arm_first, arm_second);
    if (!sent) return std::nullopt;
    *into = std::move(*sent);
  }
  return seen;
}

}  // namespace tarnwix::guide
