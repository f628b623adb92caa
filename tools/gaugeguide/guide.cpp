#include "guide.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "clicks.h"
#include "host/version.h"
#include "scenario.h"
#include "words.h"

namespace tarnwix::guide {

namespace {

constexpr const char* kVirtualCockpitModule = "Tarnwix_UtilsVC";
constexpr const char* kBezelModule = "Tarnwix_Background_S";
// Text elements at one row whose left edges lie this close are one window:
// a window whose text changes with a value's sign or a switch is several
// elements at one place.
constexpr int kWindowSlack = 5;

std::string underline(const std::string& text, char mark) {
  return text + "\n" + std::string(text.size(), mark) + "\n";
}

std::string panel_line(const ModuleReference& module, const std::string& number, const std::string& x,
                       const std::string& y) {
  return "gauge" + number + "=" + module.module + "!" + module.gauge_name + ", " + x + ", " + y + ", " +
         std::to_string(module.width) + ", " + std::to_string(module.height);
}

const ModuleReference* find(const std::vector<ModuleReference>& modules, const std::string& name) {
  for (const ModuleReference& module : modules)
    if (module.module == name) return &module;
  return nullptr;
}

// What a picture is to the gauge: the picture of an element, an icon's later
// picture, a moving image's mask, or nothing drawn.
std::string picture_role(const ModuleReference& module, const host::Meanings& meanings, int id) {
  auto name = [&](const ElementReference& element) {
    const char* text = meanings.picture(module.module, element.resource_id);
    return text != nullptr ? std::string(text) : format("element %d", element.index + 1);
  };
  for (const ElementReference& element : module.elements)
    if (element.resource_id == id && element.kind != host::ElementKind::kString) return name(element);
  for (int step = 1; step <= 8; ++step)
    for (const ElementReference& element : module.elements) {
      if (element.resource_id != id - step) continue;
      if (element.kind == host::ElementKind::kMovingImage && step == 1) return name(element) + ", its mask";
      if (element.kind != host::ElementKind::kIcon) continue;
      // When the icon chose it, in every update observed.
      auto chose = [&](const std::map<int, std::set<int>>& seen) {
        const auto found = seen.find(element.index);
        return found != seen.end() && found->second.count(step) != 0;
      };
      const bool powered = chose(module.pictures_powered), unpowered = chose(module.pictures_unpowered);
      const auto bitmap = std::find_if(module.bitmaps.begin(), module.bitmaps.end(),
                                       [&](const BitmapReference& b) { return b.id == id; });
      const bool blank =
          bitmap != module.bitmaps.end() && bitmap->pure_black == static_cast<int64_t>(bitmap->width) * bitmap->height;
      const char* use = !powered && !unpowered ? "carried, never shown"
                        : !powered             ? "drawn without power"
                        : blank                ? "out"
                                               : "lit";
      return name(element) + format(", picture %d: ", step + 1) + use;
    }
  return "not drawn by any element";
}

// The text windows of a module: groups of text elements (chain indices).
std::vector<std::vector<int>> text_windows(const ModuleReference& module) {
  std::vector<std::vector<int>> windows;
  for (const ElementReference& element : module.elements) {
    if (element.kind != host::ElementKind::kString) continue;
    auto window = std::find_if(windows.begin(), windows.end(), [&](const std::vector<int>& w) {
      const ElementReference& first = module.elements[static_cast<size_t>(w.front())];
      return first.y == element.y && std::abs(first.x - element.x) <= kWindowSlack;
    });
    if (window == windows.end())
      windows.push_back({element.index});
    else
      window->push_back(element.index);
  }
  return windows;
}

// How far a module's text boxes reach past its picture, and which window's
// box reaches furthest each way.
struct Overhang {
  int right = 0, bottom = 0;  // pixels past the last column and row
  int right_element = -1, bottom_element = -1;
};

Overhang overhang_of(const ModuleReference& module) {
  Overhang overhang;
  for (const ElementReference& element : module.elements) {
    if (element.kind != host::ElementKind::kString) continue;
    const int right = element.x + element.box_width - module.width;
    const int bottom = element.y + element.box_height - module.height;
    if (right > overhang.right) overhang.right = right, overhang.right_element = element.index;
    if (bottom > overhang.bottom) overhang.bottom = bottom, overhang.bottom_element = element.index;
  }
  return overhang;
}

bool names_everything(const ModuleReference& module, const host::Meanings& meanings, std::string* error) {
  for (const ElementReference& element : module.elements)
    if (element.index > 0 && element_name(module, meanings, element.index).empty()) {
      *error = format("%s has %s element %d at (%d, %d), which the meanings table does not name", module.module.c_str(),
                      element.kind == host::ElementKind::kString ? "the text" : "the picture", element.index + 1,
                      element.x, element.y);
      return false;
    }
  return true;
}

void variables_section(std::string& out, const ModuleReference& module, const host::Meanings& meanings) {
  out += "\n" + wrap(
                    "Simulation variables it reads (token, what the gauge takes the value for), in the order "
                    "it looks them up on every update:",
                    "", "");
  if (module.lookups.empty()) out += "  none\n";
  for (uint32_t token : module.lookups)
    out += wrap(meanings.token(module.module, token), format("  %5u  ", token), std::string(9, ' '));
}

// A text's first word, as a window shows it ("OFF" of " OFF   0").
std::string first_word(const std::string& text) {
  const size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find(' ', begin) - begin);
}

std::string show_or_shows(const std::vector<std::string>& names) { return names.size() == 1 ? " shows" : " show"; }

// The classes a switch's values fall in, as the gauge shows them: 0, 1, and
// any other value (one class when the other values show alike).
struct SwitchClasses {
  std::vector<std::vector<size_t>> members;  // indices into kSwitchValues
  std::vector<std::string> labels;           // "0", "1", "another value"
};

const ModuleReference::Combination* combination_at(const ModuleReference& module, const std::vector<double>& values) {
  for (const ModuleReference::Combination& combination : module.combinations)
    if (combination.values == values) return &combination;
  return nullptr;
}

SwitchClasses switch_classes(const ModuleReference& module) {
  // The two other values are alike when swapping them at any switch shows the same.
  bool alike = true;
  for (const ModuleReference::Combination& combination : module.combinations)
    for (size_t k = 0; k < combination.values.size(); ++k) {
      std::vector<double> swapped = combination.values;
      if (swapped[k] == kSwitchValues[2])
        swapped[k] = kSwitchValues[3];
      else if (swapped[k] == kSwitchValues[3])
        swapped[k] = kSwitchValues[2];
      else
        continue;
      const ModuleReference::Combination* other = combination_at(module, swapped);
      alike = alike && other != nullptr && other->shown == combination.shown &&
              other->shown_at_two == combination.shown_at_two;
    }
  if (alike) return {{{0}, {1}, {2, 3}}, {"0", "1", "another value"}};
  return {{{0}, {1}, {2}, {3}}, {"0", "1", value_text(kSwitchValues[2]), value_text(kSwitchValues[3])}};
}

// Whether element E shows (at power 1, or 2) at a tuple of classes, one per switch.
bool shows_at(const ModuleReference& module, const SwitchClasses& classes, const std::vector<size_t>& tuple, int e,
              bool at_two) {
  std::vector<double> values;
  for (size_t c : tuple) values.push_back(kSwitchValues[classes.members[c].front()]);
  const ModuleReference::Combination* combination = combination_at(module, values);
  if (combination == nullptr) return false;
  const std::vector<int>& shown = at_two ? combination->shown_at_two : combination->shown;
  return std::find(shown.begin(), shown.end(), e) != shown.end();
}

// Every tuple of classes over COUNT switches.
std::vector<std::vector<size_t>> class_tuples(size_t count, size_t classes) {
  std::vector<std::vector<size_t>> tuples{{}};
  for (size_t k = 0; k < count; ++k) {
    std::vector<std::vector<size_t>> longer;
    for (const std::vector<size_t>& tuple : tuples)
      for (size_t c = 0; c < classes; ++c) {
        longer.push_back(tuple);
        longer.back().push_back(c);
      }
    tuples = std::move(longer);
  }
  return tuples;
}

// The switches (indices) element E's visibility depends on.
std::vector<size_t> depends_on(const ModuleReference& module, const SwitchClasses& classes, int e, bool at_two) {
  std::vector<size_t> switches;
  const size_t count = module.switch_tokens.size();
  for (size_t k = 0; k < count; ++k) {
    bool depends = false;
    for (const std::vector<size_t>& tuple : class_tuples(count, classes.labels.size())) {
      std::vector<size_t> other = tuple;
      for (size_t c = 0; c < classes.labels.size() && !depends; ++c) {
        other[k] = c;
        depends = shows_at(module, classes, other, e, at_two) != shows_at(module, classes, tuple, e, at_two);
      }
      if (depends) break;
    }
    if (depends) switches.push_back(k);
  }
  return switches;
}

// A set of classes in words: "0", "anything but 0", "neither 0 nor 1".
std::string classes_text(const SwitchClasses& classes, const std::set<size_t>& set) {
  const size_t all = classes.labels.size();
  if (set.size() + 1 == all && all > 2)
    for (size_t c = 0; c < all; ++c)
      if (set.count(c) == 0) return "anything but " + (c < 2 ? classes.labels[c] : std::string("another value"));
  if (all == 3 && set == std::set<size_t>{2}) return "neither 0 nor 1";
  std::vector<std::string> labels;
  for (size_t c : set) labels.push_back(classes.labels[c]);
  return listed(labels, "or");
}

// When element E shows, over the switches it depends on: "115 is 1", "both
// 115 and 117 are 0", "115 is 0 and 117 is 1, or ...".
std::string condition_text(const ModuleReference& module, const SwitchClasses& classes,
                           const std::vector<size_t>& switches, int e, bool at_two) {
  const size_t count = module.switch_tokens.size();
  std::vector<std::vector<size_t>> shown_tuples;
  std::vector<std::set<size_t>> per_switch(switches.size());
  for (const std::vector<size_t>& tuple : class_tuples(switches.size(), classes.labels.size())) {
    std::vector<size_t> full(count, 0);
    for (size_t i = 0; i < switches.size(); ++i) full[switches[i]] = tuple[i];
    if (!shows_at(module, classes, full, e, at_two)) continue;
    shown_tuples.push_back(tuple);
    for (size_t i = 0; i < switches.size(); ++i) per_switch[i].insert(tuple[i]);
  }
  size_t product = 1;
  for (const std::set<size_t>& set : per_switch) product *= set.size();
  auto token = [&](size_t i) { return std::to_string(module.switch_tokens[switches[i]]); };
  if (product == shown_tuples.size()) {
    const bool same = std::all_of(per_switch.begin(), per_switch.end(),
                                  [&](const std::set<size_t>& set) { return set == per_switch.front(); });
    if (switches.size() == 2 && same)
      return "both " + token(0) + " and " + token(1) + " are " + classes_text(classes, per_switch.front());
    std::vector<std::string> parts;
    for (size_t i = 0; i < switches.size(); ++i)
      parts.push_back(token(i) + " is " + classes_text(classes, per_switch[i]));
    return listed(parts);
  }
  std::vector<std::string> alternatives;
  for (const std::vector<size_t>& tuple : shown_tuples) {
    std::vector<std::string> parts;
    for (size_t i = 0; i < switches.size(); ++i) parts.push_back(token(i) + " is " + classes.labels[tuple[i]]);
    alternatives.push_back(listed(parts));
  }
  return listed(alternatives, "or");
}

// An element's name as the switches' lines tell it: a window that shows a
// word ("OFF") is named with it.
std::string switched_name(const ModuleReference& module, const host::Meanings& meanings, int e) {
  std::string name = element_name(module, meanings, e);
  for (const ModuleReference::Combination& combination : module.combinations) {
    const auto text = combination.texts.find(e);
    if (text == combination.texts.end()) continue;
    const std::string word = first_word(text->second);
    const bool letters = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
      return std::isalpha(static_cast<unsigned char>(c)) != 0;
    });
    if (letters && name.find(word) == std::string::npos) name += " showing \"" + word + "\"";
    break;
  }
  return name;
}

void switches_section(std::string& out, const ModuleReference& module, const host::Meanings& meanings) {
  if (module.combinations.empty()) return;
  const SwitchClasses classes = switch_classes(module);
  std::set<int> everything;
  for (const ModuleReference::Combination& combination : module.combinations)
    everything.insert(combination.shown.begin(), combination.shown.end());
  // Elements by the switches they depend on; switches that share an element
  // are told together.
  std::vector<std::pair<int, std::vector<size_t>>> dependent;
  for (int e : everything)
    if (e != 0)
      if (std::vector<size_t> on = depends_on(module, classes, e, false); !on.empty()) dependent.push_back({e, on});
  std::vector<std::set<size_t>> groups;
  for (const auto& [e, on] : dependent) {
    std::set<size_t> joined(on.begin(), on.end());
    for (auto group = groups.begin(); group != groups.end();)
      if (std::any_of(on.begin(), on.end(), [&](size_t k) { return group->count(k) != 0; })) {
        joined.insert(group->begin(), group->end());
        group = groups.erase(group);
      } else {
        ++group;
      }
    groups.push_back(joined);
  }
  const std::vector<std::vector<int>> windows = text_windows(module);
  auto window_of = [&](int e) {
    for (size_t w = 0; w < windows.size(); ++w)
      if (std::find(windows[w].begin(), windows[w].end(), e) != windows[w].end()) return static_cast<int>(w);
    return -1;
  };
  for (const std::set<size_t>& group : groups) {
    const std::vector<size_t> switches(group.begin(), group.end());
    std::vector<std::string> tokens;
    for (size_t k : switches) tokens.push_back(std::to_string(module.switch_tokens[k]));
    // Each element, or elements alike, with when it shows.
    std::vector<std::pair<std::string, std::vector<std::string>>> whens;
    std::vector<int> members;
    for (const auto& [e, on] : dependent) {
      if (!group.count(on.front())) continue;
      members.push_back(e);
      const std::string when = condition_text(module, classes, on, e, false);
      const std::string name = switched_name(module, meanings, e);
      auto found = std::find_if(whens.begin(), whens.end(), [&](const auto& w) { return w.first == when; });
      if (found == whens.end()) found = whens.insert(whens.end(), {when, {}});
      if (std::find(found->second.begin(), found->second.end(), name) == found->second.end())
        found->second.push_back(name);
    }
    std::vector<std::string> sentences;
    for (const auto& [when, names] : whens) sentences.push_back(listed(names) + show_or_shows(names) + " when " + when);
    std::string text = "With power, variable" + std::string(tokens.size() > 1 ? "s " : " ") + listed(tokens) +
                       (tokens.size() > 1 ? " together choose" : " chooses") +
                       " what of these shows: " + listed_apart(sentences) + ". By value";
    const bool other = std::find(classes.labels.begin(), classes.labels.end(), "another value") != classes.labels.end();
    if (other) text += " (another value: any but 0 and 1, such as 0.5 or 2)";
    text += ":";
    out += wrap(text, "  ", "    ");
    for (const std::vector<size_t>& tuple : class_tuples(switches.size(), classes.labels.size())) {
      std::vector<size_t> full(module.switch_tokens.size(), 0);
      std::vector<std::string> label;
      for (size_t i = 0; i < switches.size(); ++i) {
        full[switches[i]] = tuple[i];
        label.push_back(tokens[i] + " at " + classes.labels[tuple[i]]);
      }
      // What shows, two texts in one window told as over each other.
      std::vector<int> shown;
      for (int e : members)
        if (shows_at(module, classes, full, e, false)) shown.push_back(e);
      std::vector<std::string> items;
      std::set<int> told;
      for (int e : shown) {
        if (told.count(e)) continue;
        std::vector<std::string> together{switched_name(module, meanings, e)};
        for (int f : shown)
          if (f != e && window_of(f) >= 0 && window_of(f) == window_of(e)) {
            together.push_back(switched_name(module, meanings, f));
            told.insert(f);
          }
        told.insert(e);
        std::string item = listed(together);
        if (together.size() > 1) item += " (over each other)";
        if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
      }
      const bool last = tuple == class_tuples(switches.size(), classes.labels.size()).back();
      out += wrap(
          listed(label) + ": " + (items.empty() ? std::string("none of these") : listed(items)) + (last ? "." : ";"),
          "    ", "      ");
    }
  }
}

// What shows at each whole part of the power variable, and at each switch.
void power_section(std::string& out, const ModuleReference& module, const host::Meanings& meanings) {
  if (std::find(module.lookups.begin(), module.lookups.end(), 769u) == module.lookups.end()) return;
  out += "\nWith and without power (the whole part of variable 769):\n";
  // Everything that shows at 1 with some setting of the switches.
  std::set<int> switched(module.shown_powered.begin(), module.shown_powered.end());
  for (const ModuleReference::Combination& combination : module.combinations)
    switched.insert(combination.shown.begin(), combination.shown.end());
  std::vector<int> powered(switched.begin(), switched.end());
  auto shows = [&](const std::vector<int>& shown) {
    const std::vector<std::string> names = element_names(module, meanings, shown);
    return names.empty() ? std::string("nothing shows but the gauge's background")
                         : "only " + listed(names) + show_or_shows(names) + " over the gauge's background";
  };
  const std::vector<std::string> every = element_names(module, meanings, powered);
  std::string at_one = "at 1 (a value from 1 to 1.99): " + listed(every) + show_or_shows(every);
  if (!module.switch_tokens.empty()) at_one += ", each as its variables say (below)";
  if (!module.areas.empty()) at_one += ", and the other legends as clicks light them (below)";
  out += wrap(at_one + ";", "  ", "    ");
  out += wrap("at 0: " + shows(module.shown_unpowered) + ";", "  ", "    ");
  std::string at_two =
      "at 2, or any other whole part: " +
      (module.shown_at_two == module.shown_unpowered ? std::string("as at 0") : shows(module.shown_at_two));
  // What shows at 2 only at some setting of the switches, and when.
  if (!module.combinations.empty()) {
    const SwitchClasses classes = switch_classes(module);
    std::set<int> more;
    for (const ModuleReference::Combination& combination : module.combinations)
      for (int e : combination.shown_at_two)
        if (std::find(module.shown_at_two.begin(), module.shown_at_two.end(), e) == module.shown_at_two.end())
          more.insert(e);
    std::vector<std::pair<std::string, std::vector<std::string>>> whens;
    for (int e : more) {
      const std::vector<size_t> on = depends_on(module, classes, e, true);
      if (on.empty()) continue;
      const std::string when = condition_text(module, classes, on, e, true);
      auto found = std::find_if(whens.begin(), whens.end(), [&](const auto& w) { return w.first == when; });
      if (found == whens.end()) found = whens.insert(whens.end(), {when, {}});
      const std::string name = element_name(module, meanings, e);
      if (std::find(found->second.begin(), found->second.end(), name) == found->second.end())
        found->second.push_back(name);
    }
    for (const auto& [when, names] : whens) at_two += "; " + listed(names) + show_or_shows(names) + " too when " + when;
  }
  out += wrap(at_two + ".", "  ", "    ");
  switches_section(out, module, meanings);
}

bool key_events_section(std::string& out, const ModuleReference& module, const host::Meanings& meanings,
                        std::string* error) {
  struct Sent {
    host::KeyEvent event;
    std::string when;
  };
  std::vector<Sent> sent;
  auto add = [&](const std::vector<host::KeyEvent>& events, const std::string& when) {
    for (const host::KeyEvent& event : events) {
      const bool known =
          std::any_of(sent.begin(), sent.end(), [&](const Sent& s) { return s.event == event && s.when == when; });
      if (!known) sent.push_back({event, when});
    }
  };
  const host::ModuleMeaning* meaning = meanings.module(module.module);
  add(module.unprompted, "On every update, without any click");
  for (const AreaReference& area : module.areas) {
    const host::AreaMeaning* name = meanings.area(module.module, area.x, area.y);
    if (name == nullptr) {
      *error = format("%s has a click area at (%d, %d) that the meanings table does not name", module.module.c_str(),
                      area.x, area.y);
      return false;
    }
    add(area.once.clicks.front().sent, std::string("On a click on ") + name->name);
    const Trial& active = area.active;
    for (int u = 0; u < active.settings_end; ++u)
      add(active.updates[static_cast<size_t>(u)].sent, std::string("On every update while ") +
                                                           meaning->active_conditions +
                                                           " (armed and disarmed by a click on " + name->name + ")");
    if (active.settings_end >= 0 && static_cast<size_t>(active.settings_end) < active.updates.size())
      add(active.updates[static_cast<size_t>(active.settings_end)].sent,
          "Once, on the first update after those conditions end");
  }
  out += "\nKey events it sends (id = value), and when:\n";
  if (sent.empty()) out += "  none\n";
  std::vector<std::string> whens;
  for (const Sent& entry : sent)
    if (std::find(whens.begin(), whens.end(), entry.when) == whens.end()) whens.push_back(entry.when);
  for (const std::string& when : whens) {
    out += wrap(when + ":", "  ", "    ");
    for (const Sent& entry : sent) {
      if (entry.when != when) continue;
      const char* text = meanings.key_event(entry.event.id);
      if (text == nullptr) {
        *error = format("%s sends key event %u, which the meanings table does not name", module.module.c_str(),
                        entry.event.id);
        return false;
      }
      out += wrap(text, format("    %-13s ", event_text(entry.event).c_str()), std::string(18, ' '));
    }
  }
  return true;
}

bool named_section(std::string& out, const ModuleReference& module, const host::Meanings& meanings,
                   std::string* error) {
  out += "\nNamed variables it publishes for other gauges:\n";
  if (module.named_variables.empty()) out += "  none\n";
  for (const std::string& name : module.named_variables) {
    const char* text = meanings.named_variable(name);
    if (text == nullptr) {
      *error = module.module + " registers the named variable \"" + name + "\", which the meanings table does not name";
      return false;
    }
    out += wrap(name + ": " + text, "  ", "    ");
  }
  // What the words are, as another gauge sees and writes them.
  std::vector<std::string> quoted, followers;
  bool whole = !module.named_seen.empty(), reset = whole, kept = whole;
  int other_index = -1;
  for (const ModuleReference::NamedSeen& seen : module.named_seen) {
    quoted.push_back("\"" + seen.name + "\"");
    whole = whole && seen.type == 0x13;
    reset = reset && seen.reset_at_first_draw;
    kept = kept && seen.kept_after;
    const std::vector<std::string> names = element_names(module, meanings, seen.followers);
    if (!names.empty())
      followers.push_back(listed(names) + (names.size() == 1 ? " follows " : " follow ") + quoted.back());
    if (other_index < 0) other_index = seen.index_at_other;
  }
  if (!module.named_seen.empty()) {
    std::string text = std::string(module.named_seen.size() == 1 ? "It is" : "Each is") +
                       (whole ? " a 32-bit whole number (type 0x13)" : " a number") +
                       (reset ? ", reset to 0 at the gauge's first draw" : "") +
                       (kept ? " and kept from then on but for clicks" : "") +
                       "; any gauge of the panel may write them, and the gauge shows what was written";
    if (!followers.empty()) text += ": " + listed(followers);
    text += ". So another gauge that writes 1 or 0 lights or puts out that legend as a click would";
    if (other_index > 1)
      text += format(
          "; another value (%u) asks it for picture %d, which it does not have, and what the simulator "
          "shows then is its own",
          kOtherValue, other_index + 1);
    out += "\n" + wrap(text + ".", "", "");
  }
  if (!module.named_variables.empty() && module.withdrawn == module.named_variables) {
    quoted.clear();
    for (const std::string& name : module.named_variables) quoted.push_back("\"" + name + "\"");
    out +=
        "\n" + wrap("It registers " + listed(quoted) + " when the simulator loads it and withdraws them when it " +
                        "is removed: other gauges find them only while " + module.module + " is on the loaded panel.",
                    "", "");
  }
  return true;
}

// When the first of ELEMENTS shows, from the variables varied one at a
// time: " while variable 74 (altitude in feet) is below 0".
std::string when_shown(const ModuleReference& module, const host::Meanings& meanings,
                       const std::vector<int>& elements) {
  auto shown_in = [](const std::vector<int>& shown, int e) {
    return std::find(shown.begin(), shown.end(), e) != shown.end();
  };
  for (const ModuleReference::Varied& low : module.varied) {
    if (low.value >= 0) continue;
    const auto high = std::find_if(module.varied.begin(), module.varied.end(), [&](const ModuleReference::Varied& v) {
      return v.token == low.token && v.value > 0;
    });
    if (high == module.varied.end()) continue;
    for (int e : elements) {
      const bool below = shown_in(low.shown, e), zero = shown_in(module.shown_base, e),
                 above = shown_in(high->shown, e);
      if (below == zero && zero == above) continue;
      const char* when = below && !zero && !above   ? "below 0"
                         : !below && zero && above  ? "0 or more"
                         : !below && !zero && above ? "above 0"
                         : below && zero && !above  ? "0 or less"
                         : !below && zero && !above ? "0"
                                                    : "other than 0";
      std::string text = format(" while variable %u", low.token);
      if (const char* what = meanings.token(module.module, low.token)) {
        const std::string meaning = what;
        text += " (" + meaning.substr(0, meaning.find(':')) + ")";
      }
      return text + " is " + when;
    }
  }
  return " at times";
}

void windows_section(std::string& out, const ModuleReference& module, const host::Meanings& meanings) {
  const std::vector<std::vector<int>> windows = text_windows(module);
  if (windows.empty()) return;
  std::set<std::string> faces;
  size_t elements = 0;
  std::vector<std::string> names;
  for (const std::vector<int>& window : windows) {
    elements += window.size();
    for (int index : window) faces.insert(module.elements[static_cast<size_t>(index)].font_face);
    names.push_back(listed(element_names(module, meanings, window), "or"));
  }
  std::vector<std::string> quoted;
  for (const std::string& face : faces) quoted.push_back("\"" + face + "\"");
  // Windows apart by semicolons: one window may be several elements' ("a, b or c").
  std::string windows_text;
  for (size_t i = 0; i < names.size(); ++i)
    windows_text += (i == 0 ? "" : i + 1 == names.size() ? "; and " : "; ") + names[i];
  std::string text =
      format("Text windows: %zu, drawn in the face ", windows.size()) + listed(quoted) + ": " + windows_text + ".";
  if (elements > windows.size())
    text += format(
        " They are %zu text elements: where a window's text changes with a value's sign or a switch, "
        "several elements share its place.",
        elements);
  out += "\n" + wrap(text, "", "");
  const Overhang overhang = overhang_of(module);
  if (overhang.right <= 0 && overhang.bottom <= 0) return;
  // Each window whose box reaches past the gauge, by how far; a window
  // whose elements reach differently is told with when each shows.
  std::vector<std::string> parts;
  for (const std::vector<int>& window : windows) {
    struct Reach {
      int right, bottom;
      std::vector<int> elements;
    };
    std::vector<Reach> reaches;
    for (int index : window) {
      const ElementReference& element = module.elements[static_cast<size_t>(index)];
      const int right = std::max(element.x + element.box_width - module.width, 0);
      const int bottom = std::max(element.y + element.box_height - module.height, 0);
      auto found = std::find_if(reaches.begin(), reaches.end(),
                                [&](const Reach& r) { return r.right == right && r.bottom == bottom; });
      if (found == reaches.end()) found = reaches.insert(reaches.end(), {right, bottom, {}});
      found->elements.push_back(index);
    }
    std::erase_if(reaches, [](const Reach& r) { return r.right == 0 && r.bottom == 0; });
    if (reaches.empty()) continue;
    // The reach of what shows with every variable at 0 first.
    auto in_base = [&](const Reach& r) {
      return std::any_of(r.elements.begin(), r.elements.end(), [&](int e) {
        return std::find(module.shown_base.begin(), module.shown_base.end(), e) != module.shown_base.end();
      });
    };
    std::stable_partition(reaches.begin(), reaches.end(), in_base);
    auto how_far = [](const Reach& r, bool short_form) {
      if (r.right > 0 && r.bottom > 0) return format("%d pixels to the right and %d below", r.right, r.bottom);
      if (r.right > 0) return short_form ? std::to_string(r.right) : format("%d pixels to the right", r.right);
      return short_form ? format("%d below", r.bottom) : format("%d pixels below", r.bottom);
    };
    std::string part = listed(element_names(module, meanings, window), "or") + " " + how_far(reaches.front(), false);
    for (size_t i = 1; i < reaches.size(); ++i) {
      const bool short_form = reaches[i].bottom == 0 && reaches.front().bottom == 0;
      part += ", " + how_far(reaches[i], short_form) + when_shown(module, meanings, reaches[i].elements);
    }
    parts.push_back(part);
  }
  out += wrap("Its text boxes reach past its picture: " + listed_apart(parts) + "." +
                  (overhang.right > 0 ? format(" The furthest reach is to x = %d (the gauge is %d wide)",
                                               module.width + overhang.right - 1, module.width)
                                      : std::string()) +
                  (overhang.bottom > 0 ? format("%s to y = %d (the gauge is %d high)",
                                                overhang.right > 0 ? " and" : " The furthest reach is",
                                                module.height + overhang.bottom - 1, module.height)
                                       : std::string()) +
                  ". The simulator may draw a text anywhere in its box: leave that margin beside and below "
                  "the gauge.",
              "", "");
}

bool reference_section(std::string& out, const ModuleReference& module, const Observed& observed,
                       const host::Meanings& meanings, std::string* error) {
  const host::ModuleMeaning* meaning = meanings.module(module.module);
  if (meaning == nullptr) {
    *error = module.module + ": no description of this gauge";
    return false;
  }
  for (uint32_t token : module.lookups)
    if (meanings.token(module.module, token) == nullptr) {
      *error = format("%s looks up token %u, which the meanings table does not name", module.module.c_str(), token);
      return false;
    }
  if (!names_everything(module, meanings, error)) return false;
  out += "\n" + underline(format("%s, %d x %d pixels", module.module.c_str(), module.width, module.height), '-');
  out += wrap(std::string("The ") + meaning->summary + ".", "", "");
  out += "panel.cfg: " + panel_line(module, "NN", "X", "Y") + "\n";
  if (module.gauge_name != module.module) out += "The gauge inside is named " + module.gauge_name + ".\n";

  variables_section(out, module, meanings);
  power_section(out, module, meanings);
  if (!key_events_section(out, module, meanings, error) || !named_section(out, module, meanings, error)) return false;

  out += "\nTooltip: ";
  if (module.tooltips.empty()) out += "none";
  for (size_t i = 0; i < module.tooltips.size(); ++i) out += (i ? ", \"" : "\"") + module.tooltips[i] + "\"";
  out += "\n";
  windows_section(out, module, meanings);

  out += "\n" + wrap(
                    "Click areas, in the gauge's own pixels, and what clicks do over the updates that follow, "
                    "with the power variable (769) at 1 and at 0:",
                    "", "");
  if (module.areas.empty()) out += "  none: nothing on this gauge reacts to the mouse\n";
  for (const AreaReference& area : module.areas)
    if (!describe_area(out, area, module, meanings, error)) return false;
  if (meaning->sibling != nullptr)
    if (const ModuleReference* sibling = find(observed.modules, meaning->sibling))
      describe_missing_areas(out, module, *sibling, meanings);
  describe_twice(out, module, meanings);

  out += "\nPictures (bitmap resources: id, size, colour depth, use):\n";
  for (const BitmapReference& bitmap : module.bitmaps)
    out += wrap(picture_role(module, meanings, bitmap.id),
                format("  0x%04X  %4d x %-4d %2d-bit  ", bitmap.id, bitmap.width, bitmap.height, bitmap.bits_per_pixel),
                std::string(31, ' '));
  return true;
}

void installing_section(std::string& out, const std::vector<ModuleReference>& modules) {
  std::vector<std::string> flat;
  for (const ModuleReference& module : modules)
    if (module.module != kVirtualCockpitModule) flat.push_back(module.module);
  out += "\n" + underline("Installing", '-');
  out +=
      "1. Close the simulator.\n"
      "2. Copy the .gau files from the Gauges folder of this package into the\n"
      "   simulator's own Gauges folder (for example C:\\Program Files\\Microsoft\n"
      "   Games\\Flight Simulator 9\\Gauges).\n";
  out += wrap("3. Make a copy of your aircraft's panel\\panel.cfg, then add the lines of the 2D gauges (" +
                  listed(flat) + ") to a [WindowNN] section of it, and the line of " + kVirtualCockpitModule +
                  " to a [VcockpitNN] section (the lines are below); or start from the sample panel.cfg of this "
                  "package.",
              "", "   ");
  out += wrap(
      "4. If your panel comes with a GaugeSound.dll, put it in the simulator's own folder (where FS9.exe is), "
      "not in Gauges (see \"The GaugeSound library\" below).",
      "", "   ");
  out +=
      "5. Start the simulator and load the aircraft.\n"
      "To remove the gauges, delete the lines from panel.cfg and the files from the\n"
      "Gauges folder.\n";
}

void placing_section(std::string& out, const Observed& observed) {
  const std::vector<ModuleReference>& modules = observed.modules;
  out += "\n" + underline("panel.cfg lines", '-');
  out +=
      "A line names the file and the gauge inside it (file!gauge), then the gauge's\n"
      "left, top, width and height. Replace NN by the next free number of the\n"
      "section, and X, Y by where the gauge goes. The sizes below are each gauge's\n"
      "own; another size stretches its pictures.\n\n";
  for (const ModuleReference& module : modules) out += "  " + panel_line(module, "NN", "X", "Y") + "\n";
  out += "\n" + wrap(
                    "Positions and sizes are in the units of the window's size_mm= line, not in screen pixels: "
                    "they are pixels of the window's background picture only where size_mm matches that "
                    "picture's size (size_mm=1024,768 for a background of 1024 x 768). Elsewhere the simulator "
                    "scales them, the gauges' pictures with them.",
                    "", "");
  if (find(modules, kVirtualCockpitModule) != nullptr)
    out += "\n" + wrap(std::string(kVirtualCockpitModule) +
                           " is the button strip for the virtual cockpit: place it in a [VcockpitNN] section, on "
                           "the texture of the 3D model that shows it; the sample panel.cfg has one. Tarnwix_Utils "
                           "is the same strip for the 2D panel, with the CALL OUT and ANNUN. TEST buttons working "
                           "as well.",
                       "", "");
  if (const ModuleReference* bezel = find(modules, kBezelModule); bezel != nullptr && !bezel->bitmaps.empty()) {
    const BitmapReference& picture = bezel->bitmaps.front();
    out += "\n" + wrap(std::string(kBezelModule) + " is the frame of an attitude display, and it is opaque: " +
                           format("only %lld of its %d x %d pixels, outside its rounded corners, are pure black, "
                                  "which the simulator leaves transparent; its screen is near-black, not "
                                  "transparent. ",
                                  static_cast<long long>(picture.pure_black), picture.width, picture.height) +
                           "None of these gauges is the attitude indicator: put the one you use on a line after " +
                           kBezelModule +
                           " in the same section, over the bezel's screen. The simulator draws a section's gauges "
                           "in the order of their lines, so a gauge on a line before the bezel is hidden under it.",
                       "", "");
  }
  for (const ModuleReference& module : modules) {
    const Overhang overhang = overhang_of(module);
    if (overhang.right > 0 || overhang.bottom > 0)
      out += "\n" + wrap(module.module + format("'s text boxes reach %d pixels past its right edge and %d past its "
                                                "bottom: leave that margin free (its reference below says which "
                                                "boxes).",
                                                overhang.right, overhang.bottom),
                         "", "");
  }
  std::vector<std::string> twice;
  for (const ModuleReference& module : modules)
    if (module.observed_twice && !module.twice.empty()) twice.push_back(module.module);
  if (!twice.empty())
    out += "\n" + wrap("A gauge placed twice, in one window or in two (say " + twice.front() +
                           " in the main panel and again in a pop-up window), is one gauge with one state: a click "
                           "on either placement shows in both, and each placement's updates count. The reference "
                           "of " +
                           listed(twice) + " below says what follows, under \"Placed twice\".",
                       "", "");
  if (observed.strips) {
    const SharedSeen& seen = *observed.strips;
    out += "\n" + wrap(observed.strip + " and " + observed.sibling +
                           " share nothing: each has its own brake help, armed by its own button. Loaded together "
                           "and both armed, both send the brake events" +
                           format(" (%zu events on one update where one strip alone sends %zu). ", seen.both.size(),
                                  seen.first_alone.size()) +
                           "Arm only the strip of the view the pilot uses.",
                       "", "");
  }
}

void sound_section(std::string& out, const std::vector<ModuleReference>& modules) {
  int loads = 0;
  for (const ModuleReference& module : modules) loads = std::max(loads, module.sound_loads_per_update);
  out += "\n" + underline("The GaugeSound library (optional)", '-');
  out += wrap(
      "Every gauge looks for a library named GaugeSound, which some panels provide, when it starts and again on "
      "every update. The gauges play no sound: when one is removed it only asks the library to stop its sounds.",
      "", "");
  out += "\n" + wrap(
                    "They ask Windows for it by name alone, without a folder, so Windows' own search finds it: "
                    "first in the simulator's own folder (where FS9.exe is), then in Windows' system folders, the "
                    "current folder and the folders of PATH. The Gauges folder is not among them: a GaugeSound.dll "
                    "put there is not found.",
                    "", "");
  out += "\n" + wrap(format("Without the library the gauges look and work the same; each simply searches for it "
                            "again on every update (%d search%s per gauge and update), which costs a little time.",
                            loads, loads == 1 ? "" : "es"),
                     "", "");
  out += "\n" + wrap(
                    "The GaugeSound.dll of the gauge tools' package is a stand-in for those tools only: it plays "
                    "nothing. Do not install it for the simulator.",
                    "", "");
}

void quartz_section(std::string& out) {
  out += "\n" + underline("The \"Quartz\" face", '-');
  out += wrap(
      "The readouts of the altitude and airspeed displays ask Windows for a font named \"Quartz\", a face drawn "
      "like the figures of a digital display. No font comes with these gauges, and Windows does not come with one: "
      "install a font named exactly \"Quartz\" (font sellers offer faces of that name) for the look the gauges "
      "were drawn for. Without it Windows draws the readouts in a face of its own choosing: the figures stay the "
      "same, but they look different and may not fill their windows as drawn.",
      "", "");
}

void words_section(std::string& out) {
  out += "\n" + underline("Words used in this guide", '-');
  const char* const entries[][2] = {
      {"update",
       "the simulator's panel update, about 18 a second: on each, every gauge reads its variables and "
       "draws. \"At the next update\" is the first after a click."},
      {"variable N", "the simulation variable with the simulator's token number N, as a gauge reads it."},
      {"whole part", "a number without its fraction: 1.7 has the whole part 1, 0.99 has 0."},
      {"key event",
       "an event a gauge sends into the simulation, by number with a value (\"65584 = 0\"), as a "
       "keyboard command would."},
      {"named variable",
       "a number a gauge publishes by name for the other gauges of the panel, which may read it and write "
       "it."},
      {"lit, out",
       "a legend or caption shows its light, or shows nothing of its own (the button painted under it "
       "shows through)."},
      {"cursor 5, cursor 0",
       "the number of the mouse pointer the simulator shows over an area; which shape each "
       "number stands for is the simulator's."},
      {"picture 2",
       "a picture's second image: a legend's other state (lit, or out), one drawn without power, or one the "
       "gauge carries but never shows; the list of pictures says which."},
      {"size_mm",
       "the units of a panel window in panel.cfg, in which its gauge lines place and size the "
       "gauges."},
  };
  for (const auto& entry : entries) out += wrap(std::string(entry[0]) + ": " + entry[1], "  ", "    ");
}

}  // namespace

std::vector<Placement> sample_panel() {
  std::string error;
  const std::optional<host::Scenario> panel = host::parse_scenario("module all\n", "panel", &error);
  std::vector<Placement> places;
  if (panel)
    for (const host::ScenarioModule& module : panel->modules) places.push_back({module.name, module.x, module.y});
  return places;
}

std::optional<Observed> observe_modules(const std::vector<std::string>& paths, const host::Meanings& meanings,
                                        std::string* error) {
  Observed observed;
  for (const std::string& path : paths) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.size() > 4) name.resize(name.size() - 4);
    const host::ModuleMeaning* meaning = meanings.module(name);
    static const std::vector<host::VariableSetting> kNone;
    static const std::vector<uint32_t> kNoSwitches;
    std::optional<ModuleReference> reference =
        observe(path, meaning ? meaning->active : kNone, meaning ? meaning->switches : kNoSwitches, error);
    if (!reference) {
      *error = path + ": " + *error;
      return std::nullopt;
    }
    observed.modules.push_back(std::move(*reference));
  }
  for (size_t i = 0; i < observed.modules.size(); ++i) {
    ModuleReference& module = observed.modules[i];
    const host::ModuleMeaning* meaning = meanings.module(module.module);
    if (meaning == nullptr || meaning->sibling == nullptr) continue;
    const auto sibling = std::find_if(paths.begin(), paths.end(), [&](const std::string& path) {
      return path.size() >= std::string(meaning->sibling).size() + 4 &&
             path.compare(path.size() - std::string(meaning->sibling).size() - 4, std::string::npos,
                          std::string(meaning->sibling) + ".gau") == 0;
    });
    const ModuleReference* theirs = find(observed.modules, meaning->sibling);
    if (sibling == paths.end() || theirs == nullptr) continue;
    observe_missing_areas(paths[i], module, *theirs);
    // Each strip's area that switches a state of its own arms it.
    auto arming = [&](const ModuleReference& strip) -> const AreaReference* {
      for (const AreaReference& area : strip.areas)
        if (const host::AreaMeaning* named = meanings.area(strip.module, area.x, area.y); named && named->state)
          return &area;
      return nullptr;
    };
    const AreaReference* ours = arming(module);
    const AreaReference* other = arming(*theirs);
    if (ours == nullptr || other == nullptr) continue;
    observed.strips = observe_together(*sibling, *other, paths[i], *ours, meaning->active, error);
    if (!observed.strips) return std::nullopt;
    observed.strip = theirs->module;
    observed.sibling = module.module;
  }
  return observed;
}

std::optional<std::string> write_guide(const Observed& observed, const host::Meanings& meanings,
                                       const std::string& version, std::string* error) {
  const std::vector<ModuleReference>& modules = observed.modules;
  if (modules.empty()) {
    *error = "no modules to describe";
    return std::nullopt;
  }
  for (const ModuleReference& module : modules)
    if (module.version != version) {
      *error = module.module + " carries version \"" + module.version + "\", not " + version;
      return std::nullopt;
    }
  std::string out = underline("Tarnwix panel gauges " + version, '=');
  out +=
      "\nGauges for the panel of an aircraft in Microsoft Flight Simulator 2004. Each\n"
      "file in the Gauges folder holds one gauge:\n\n";
  for (const ModuleReference& module : modules) {
    const host::ModuleMeaning* meaning = meanings.module(module.module);
    out += wrap(meaning ? meaning->summary : "",
                format("  %-24s %3d x %-3d  ", (module.module + ".gau").c_str(), module.width, module.height),
                std::string(38, ' '));
  }
  out +=
      "\nAlso in this package: panel.cfg, a sample panel with every gauge placed; and\n"
      "the Previews folder, a picture of each gauge with power on.\n";
  // Two toolchains make modules that behave alike but differ in their bytes.
  out += "\n" + wrap(std::string("Built on ") + host::toolchain() + ".", "", "");

  installing_section(out, modules);
  placing_section(out, observed);
  sound_section(out, modules);
  quartz_section(out);
  words_section(out);

  out += "\n" + underline("Reference", '-');
  out += wrap(
      "What follows is written by a program that loads each gauge file of this release, drives it as the "
      "simulator does (setting its switches in every combination, clicking each area once, twice, without power "
      "and then with it, and again while a light lasts, placing it twice on one panel, and following the updates "
      "after) and notes what it asks for and what it does. Where a gauge shows the simulator's answer to a key "
      "event it sends, that answer is told apart as the simulator's part: it is what the gauge expects of the "
      "simulator, which the program stands in for.",
      "", "");
  for (const ModuleReference& module : modules)
    if (!reference_section(out, module, observed, meanings, error)) return std::nullopt;
  return out;
}

std::optional<std::string> write_panel_cfg(const std::vector<ModuleReference>& modules, const std::string& version,
                                           std::string* error) {
  std::string window;
  int number = 0, right = 0, bottom = 0;
  for (const Placement& place : sample_panel()) {
    if (place.module == kVirtualCockpitModule) continue;
    const ModuleReference* module = find(modules, place.module);
    if (module == nullptr) {
      *error = "the sample panel needs " + place.module + ".gau";
      return std::nullopt;
    }
    window +=
        "// " + module->module + format(" at (%d, %d), its own size", place.x, place.y) +
        (module->module == kBezelModule ? ":\n// an attitude gauge goes on a line after it, over its screen\n" : "\n");
    window += panel_line(*module, format("%02d", number++), std::to_string(place.x), std::to_string(place.y)) + "\n";
    // Room for the text boxes that reach past a gauge, as the guide advises.
    const Overhang overhang = overhang_of(*module);
    right = std::max(right, place.x + module->width + overhang.right);
    bottom = std::max(bottom, place.y + module->height + overhang.bottom);
  }
  const ModuleReference* cockpit = find(modules, kVirtualCockpitModule);
  if (number == 0 || cockpit == nullptr) {
    *error = "the sample panel needs the 2D gauges and " + std::string(kVirtualCockpitModule) + ".gau";
    return std::nullopt;
  }
  std::string out = "// Tarnwix panel gauges " + version +
                    ": a sample panel.cfg.\n"
                    "// Lines starting with // are comments. Merge these sections into your\n"
                    "// aircraft's panel\\panel.cfg, renumbering them if it has sections of\n"
                    "// the same names.\n"
                    "\n"
                    "// The names of the panel's windows, as the simulator's menus list them.\n"
                    "[Window Titles]\n"
                    "// Window00 is the main panel.\n"
                    "Window00=Tarnwix Main Panel\n"
                    "\n"
                    "// The main panel: the 2D gauges in one window.\n"
                    "[Window00]\n"
                    "// The window's size in size_mm units, the units of the gauge lines below;\n"
                    "// here one unit per pixel of the gauges, large enough for them and\n"
                    "// for the text boxes that reach past them.\n" +
                    format("size_mm=%d,%d\n", right, bottom) +
                    "// No background picture: the window is black behind the gauges.\n"
                    "background_color=0,0,0\n"
                    "// Shown when the aircraft is loaded.\n"
                    "visible=1\n"
                    "// This window is the main panel.\n"
                    "ident=MAIN_PANEL\n"
                    "// One line per gauge: file!gauge, left, top, width, height.\n" +
                    window +
                    "\n"
                    "// The virtual cockpit: the button strip drawn on a texture of the 3D model.\n"
                    "[Vcockpit01]\n"
                    "// The texture's size in pixels.\n"
                    "size_mm=1024,256\n"
                    "pixel_size=1024,256\n"
                    "// The model's texture the gauges are drawn on: use the name your model\n"
                    "// gives it.\n"
                    "texture=$tarnwix_utils\n"
                    "// Black behind the gauge.\n"
                    "background_color=0,0,0\n"
                    "// The strip at the texture's top-left corner, at its own size.\n" +
                    panel_line(*cockpit, "00", "0", "0") + "\n";
  return out;
}

std::string windows_lines(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace tarnwix::guide
