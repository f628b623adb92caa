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
      if (element.kind == host::ElementKind::kIcon) return name(element) + format(", picture %d", step + 1);
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

std::vector<std::string> minus(const std::vector<std::string>& names, const std::vector<std::string>& taken) {
  std::vector<std::string> kept;
  for (const std::string& name : names)
    if (std::find(taken.begin(), taken.end(), name) == taken.end()) kept.push_back(name);
  return kept;
}

std::string show_or_shows(const std::vector<std::string>& names) { return names.size() == 1 ? " shows" : " show"; }

// What shows at each whole part of the power variable, and at each switch.
void power_section(std::string& out, const ModuleReference& module, const host::Meanings& meanings) {
  if (std::find(module.lookups.begin(), module.lookups.end(), 769u) == module.lookups.end()) return;
  out += "\nWith and without power (the whole part of variable 769):\n";
  // Everything that shows at 1 with some setting of the switches.
  std::set<int> switched(module.shown_powered.begin(), module.shown_powered.end());
  for (const ModuleReference::SwitchSeen& seen : module.switches) {
    switched.insert(seen.shown_on.begin(), seen.shown_on.end());
    switched.insert(seen.shown_off.begin(), seen.shown_off.end());
  }
  std::vector<int> powered(switched.begin(), switched.end());
  auto shows = [&](const std::vector<int>& shown) {
    const std::vector<std::string> names = element_names(module, meanings, shown);
    return names.empty() ? std::string("nothing shows but the gauge's background")
                         : "only " + listed(names) + show_or_shows(names) + " over the gauge's background";
  };
  const std::vector<std::string> every = element_names(module, meanings, powered);
  std::string at_one = "at 1 (a value from 1 to 1.99): " + listed(every) + show_or_shows(every);
  if (!module.switches.empty()) at_one += ", each as its variables say (below)";
  if (!module.areas.empty()) at_one += ", and the other legends as clicks light them (below)";
  out += wrap(at_one + ";", "  ", "    ");
  out += wrap("at 0: " + shows(module.shown_unpowered) + ";", "  ", "    ");
  std::string at_two =
      "at 2, or any other whole part: " +
      (module.shown_at_two == module.shown_unpowered ? std::string("as at 0") : shows(module.shown_at_two));
  for (const ModuleReference::SwitchSeen& seen : module.switches) {
    std::vector<int> more;
    for (int e : seen.shown_on_at_two)
      if (std::find(module.shown_at_two.begin(), module.shown_at_two.end(), e) == module.shown_at_two.end())
        more.push_back(e);
    const std::vector<std::string> names = element_names(module, meanings, more);
    if (!names.empty())
      at_two += format("; with variable %u at 1, ", seen.token) + listed(names) + show_or_shows(names) + " too";
  }
  out += wrap(at_two + ".", "  ", "    ");
  for (const ModuleReference::SwitchSeen& seen : module.switches) {
    std::vector<int> on_only, off_only;
    for (int e : seen.shown_on)
      if (std::find(seen.shown_off.begin(), seen.shown_off.end(), e) == seen.shown_off.end()) on_only.push_back(e);
    for (int e : seen.shown_off)
      if (std::find(seen.shown_on.begin(), seen.shown_on.end(), e) == seen.shown_on.end()) off_only.push_back(e);
    const std::vector<std::string> on = element_names(module, meanings, on_only);
    const std::vector<std::string> off = element_names(module, meanings, off_only);
    // A window named on both sides shows another text at 0.
    std::vector<std::string> retold;
    std::set<std::string> words;
    for (int e : off_only) {
      const auto text = seen.texts_off.find(e);
      const std::string name = element_name(module, meanings, e);
      if (text != seen.texts_off.end() && std::find(on.begin(), on.end(), name) != on.end() &&
          std::find(retold.begin(), retold.end(), name) == retold.end()) {
        retold.push_back(name);
        words.insert(first_word(text->second));
      }
    }
    const std::vector<std::string> both = minus(on, minus(on, off));
    const std::vector<std::string> hidden = minus(on, both), extra = minus(off, both);
    std::string text = format("With power and variable %u at 1, ", seen.token) +
                       (on.empty() ? std::string("nothing more shows") : listed(on) + show_or_shows(on)) + "; at 0";
    std::vector<std::string> parts;
    if (!hidden.empty()) parts.push_back(listed(hidden) + (hidden.size() == 1 ? " is hidden" : " are hidden"));
    if (!retold.empty() && words.size() == 1)
      parts.push_back(listed(retold) + show_or_shows(retold) + " \"" + *words.begin() + "\" instead");
    else if (!retold.empty())
      parts.push_back(listed(retold) + show_or_shows(retold) + " another text");
    if (!extra.empty()) parts.push_back(listed(extra) + show_or_shows(extra));
    text += parts.empty() ? " nothing changes" : " " + listed(parts);
    out += wrap(text + ".", "  ", "    ");
  }
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
  if (!module.named_variables.empty() && module.withdrawn == module.named_variables) {
    std::vector<std::string> quoted;
    for (const std::string& name : module.named_variables) quoted.push_back("\"" + name + "\"");
    out +=
        "\n" + wrap("It registers " + listed(quoted) + " when the simulator loads it and withdraws them when it " +
                        "is removed: other gauges find them only while " + module.module + " is on the loaded panel.",
                    "", "");
  }
  return true;
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
  if (overhang.right > 0 || overhang.bottom > 0) {
    std::vector<std::string> parts;
    if (overhang.right > 0)
      parts.push_back(element_name(module, meanings, overhang.right_element) +
                      format("'s box reaches furthest to the right, %d pixels past the gauge's right edge (to x = "
                             "%d; the gauge is %d wide)",
                             overhang.right, module.width + overhang.right - 1, module.width));
    if (overhang.bottom > 0)
      parts.push_back(element_name(module, meanings, overhang.bottom_element) +
                      format("'s furthest down, %d pixels past its bottom edge (to y = %d; the gauge is %d high)",
                             overhang.bottom, module.height + overhang.bottom - 1, module.height));
    std::string first = listed(parts, "and");
    first[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(first[0])));
    out += wrap("Its text boxes reach past its picture. " + first + "." +
                    " The simulator may draw a text anywhere in its box: leave that margin beside and below "
                    "the gauge.",
                "", "");
  }
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

  out += "\nPictures (bitmap resources: id, size, colour depth, use):\n";
  for (const BitmapReference& bitmap : module.bitmaps)
    out += format("  0x%04X  %4d x %-4d %2d-bit  ", bitmap.id, bitmap.width, bitmap.height, bitmap.bits_per_pixel) +
           picture_role(module, meanings, bitmap.id) + "\n";
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
      {"named variable", "a number a gauge publishes by name for the other gauges of the panel."},
      {"lit, out",
       "a legend or caption shows its light, or shows nothing of its own (the button painted under it "
       "shows through)."},
      {"cursor 5, cursor 0",
       "the number of the mouse pointer the simulator shows over an area; which shape each "
       "number stands for is the simulator's."},
      {"picture 2", "a picture's second image: a legend's other state, or a blank one drawn without power."},
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
      "simulator does (clicking each area once, twice, without power and then with it, and again while a light "
      "lasts, and following the updates after) and notes what it asks for and what it does. Where the simulator "
      "answers a key event in a way the gauge then shows, that answer is told apart as the simulator's; the "
      "program's stand-in simulator answers so.",
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
